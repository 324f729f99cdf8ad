// The test driver: scripted input into the headless back end, the clock, the journal and
// inspection of windows and message boxes.

#include "core/dlg/DlgInternal.h"
#include "core/win/WinInternal.h"
#include "headless/HeadlessBackend.h"
#include "plat/CommonDialogs.h"
#include "plat/Controls.h"
#include "plat/Dialog.h"
#include "plat/System.h"
#include "plat/Testing.h"

#include <cairo.h>
#ifdef KV_HEADLESS_GTEST
#include <gtest/gtest.h>
#endif

#include <cctype>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>

namespace plat::headless {
// Kept by the headless voice (Speech.cpp).
std::vector<testing::Utterance>& utteranceLog();
} // namespace plat::headless

namespace plat::testing {

namespace {

using plat::core::state;
using plat::headless::headlessBackend;
using K = BackendEvent::Kind;

std::deque<std::function<int(const MessageBoxCall&)>>& boxScripts() {
    static std::deque<std::function<int(const MessageBoxCall&)>> s;
    return s;
}

std::vector<MessageBoxCall>& boxCalls() {
    static std::vector<MessageBoxCall> v;
    return v;
}

void reportFailure(const std::string& message) {
#ifdef KV_HEADLESS_GTEST
    ADD_FAILURE() << message;
#else
    std::fprintf(stderr, "test failure: %s\n", message.c_str());
#endif
}

UnscriptedAnswers& unscripted() {
    static UnscriptedAnswers s;
    return s;
}

bool answerBox(HWND owner, const std::string& text, const std::string& names,
               const std::string& caption, UINT type, int& result) {
    MessageBoxCall call{owner, text, caption, type, names};
    boxCalls().push_back(call);
    auto& scripts = boxScripts();
    if (scripts.empty() && unscripted().box) {
        result = unscripted().box(call);
        return true;
    }
    if (scripts.empty()) {
        reportFailure("a message box opened with no script: \"" + text + "\" (caption \"" +
                      caption + "\")");
        const UINT kind = type & MB_TYPEMASK;
        result = kind == MB_OK ? IDOK : kind == MB_YESNO ? IDNO : IDCANCEL;
        return true;
    }
    auto script = std::move(scripts.front());
    scripts.pop_front();
    const int r = script(call);
    if (r == kShowBox)
        return false;
    result = r;
    return true;
}

// The characters a key types on a US layout, as the X back end would report them.
void charsOf(int vk, unsigned mods, BYTE& typed, BYTE& base, bool& keypad) {
    const bool shift = (mods & kShift) != 0;
    const bool ctrl = (mods & kCtrl) != 0;
    typed = base = 0;
    keypad = false;
    if (vk >= 'A' && vk <= 'Z') {
        base = static_cast<BYTE>(shift ? vk : vk + 32);
        typed = ctrl ? static_cast<BYTE>(vk - 'A' + 1) : base;
        return;
    }
    if (vk >= '0' && vk <= '9') {
        static const char kShifted[] = ")!@#$%^&*(";
        base = static_cast<BYTE>(shift ? kShifted[vk - '0'] : vk);
        typed = ctrl ? 0 : base;
        return;
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE && vk != VK_SEPARATOR) {
        static const char kPad[] = "0123456789*+,-./";
        base = typed = static_cast<BYTE>(kPad[vk - VK_NUMPAD0]);
        keypad = true;
        return;
    }
    struct Oem {
        int vk;
        char plain, shifted;
    };
    static const Oem kOem[] = {
        {VK_OEM_1, ';', ':'},     {VK_OEM_PLUS, '=', '+'},   {VK_OEM_COMMA, ',', '<'},
        {VK_OEM_MINUS, '-', '_'}, {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_2, '/', '?'},
        {VK_OEM_3, '`', '~'},     {VK_OEM_4, '[', '{'},      {VK_OEM_5, '\\', '|'},
        {VK_OEM_6, ']', '}'},     {VK_OEM_7, '\'', '"'}};
    for (const Oem& o : kOem) {
        if (o.vk == vk) {
            base = static_cast<BYTE>(shift ? o.shifted : o.plain);
            typed = ctrl ? 0 : base;
            return;
        }
    }
    switch (vk) {
    case VK_SPACE:
        base = typed = ' ';
        return;
    case VK_RETURN:
        base = typed = 0x0D;
        return;
    case VK_TAB:
        base = typed = 0x09;
        return;
    case VK_BACK:
        base = typed = 0x08;
        return;
    case VK_ESCAPE:
        base = typed = 0x1B;
        return;
    default:
        return;
    }
}

void pushKey(bool down, int vk, BYTE typed = 0, BYTE base = 0, bool keypad = false,
             bool altGr = false) {
    BackendEvent ev;
    ev.kind = down ? K::KeyDown : K::KeyUp;
    ev.vk = vk;
    ev.typed = down ? typed : 0;
    ev.base = down ? base : 0;
    ev.keypad = keypad;
    ev.altGr = altGr;
    headlessBackend().push(ev);
}

POINT toScreen(HWND hwnd, int x, int y) {
    POINT p{x, y};
    if (hwnd && !ClientToScreen(hwnd, &p))
        reportFailure("input aimed at an invalid window");
    return p;
}

void pushPointer(K kind, POINT screen, int button, bool holdAfter = false) {
    BackendEvent ev;
    ev.kind = kind;
    ev.screen = screen;
    ev.button = button;
    headlessBackend().push(ev, holdAfter);
}

void collect(HWND h, std::vector<HWND>& out) {
    core::Window* w = core::FindWindow(h);
    if (!w)
        return;
    out.push_back(h);
    for (HWND k : w->children)
        collect(k, out);
}

// The client area of a window as a standalone image (RGB24).
cairo_surface_t* clientImage(HWND hwnd) {
    core::Window* w = core::FindWindow(hwnd);
    if (!w)
        return nullptr;
    core::Window* top = core::TopLevelOf(w);
    core::EnsureImage(top);
    const POINT o = core::ClientOriginInImage(w);
    const int wd = std::max(w->clientWidth(), 1), ht = std::max(w->clientHeight(), 1);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, wd, ht);
    cairo_t* cr = cairo_create(s);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, top->image, -o.x, -o.y);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    return s;
}

std::map<int, std::deque<std::function<void(DialogDriver&)>>>& dialogScripts() {
    static std::map<int, std::deque<std::function<void(DialogDriver&)>>> m;
    return m;
}

// Answers queued for the file dialogs: a path, or none for Cancel.
std::deque<std::pair<bool, std::string>>& fileAnswers() {
    static std::deque<std::pair<bool, std::string>> q;
    return q;
}

bool dialogEnded(HWND dlg) {
    const core::DialogData* d = core::DialogOf(dlg);
    return !d || d->ended || !IsWindow(dlg);
}

// Ends a dialog the test did not (or could not) answer, the way Escape would, then for good.
void cancelDialog(HWND dlg) {
    if (dialogEnded(dlg))
        return;
    SendMessage(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDCANCEL)));
    if (!dialogEnded(dlg))
        EndDialog(dlg, IDCANCEL);
}

void dialogIdle(HWND dlg, int id, int count) {
    if (count == 0) {
        auto it = dialogScripts().find(id);
        const bool fileDialog = id == IDD_OPENFILE || id == IDD_SAVEFILE;
        if ((it == dialogScripts().end() || it->second.empty()) && fileDialog &&
            !fileAnswers().empty()) {
            const auto answer = fileAnswers().front();
            fileAnswers().pop_front();
            DialogDriver driver(dlg, id);
            if (answer.first) {
                driver.setText(IDC_FILE_NAME, answer.second);
                driver.click(IDOK);
            } else {
                driver.click(IDCANCEL);
            }
            return;
        }
        if ((it == dialogScripts().end() || it->second.empty()) && unscripted().dialog) {
            DialogDriver driver(dlg, id);
            unscripted().dialog(driver);
            cancelDialog(dlg);
            return;
        }
        if (it == dialogScripts().end() || it->second.empty()) {
            reportFailure("dialog " + std::to_string(id) +
                          " opened with no script; it ends with Cancel");
            cancelDialog(dlg);
            return;
        }
        auto script = std::move(it->second.front());
        it->second.pop_front();
        DialogDriver driver(dlg, id);
        script(driver);
        return;
    }
    if (!dialogEnded(dlg)) {
        reportFailure("dialog " + std::to_string(id) +
                      " is still open after its script; it ends with Cancel");
        cancelDialog(dlg);
    }
}

} // namespace

void reset() {
    core::SetTestFailureReporter(&reportFailure);
    core::SetMessageBoxHook(&answerBox);
    headlessBackend().reset();
    core::ResetWindowSystem();
    headlessBackend().reset(); // destruction may have beeped or moved the pointer
    state().journalOn = true;
    state().journal.clear();
    boxScripts().clear();
    boxCalls().clear();
    dialogScripts().clear();
    fileAnswers().clear();
    headless::utteranceLog().clear();
    recordDrawnText(false);
    core::SetDialogIdleHook(&dialogIdle);
    setUnscriptedAnswers({});
}

void key(int vk, unsigned mods) {
    BYTE typed = 0, base = 0;
    bool keypad = false;
    charsOf(vk, mods, typed, base, keypad);
    if (mods & kAlt && !(mods & kCtrl) && typed < 0x20 && typed != 0 && vk >= 'A' && vk <= 'Z')
        typed = base;
    if (mods & kShift)
        pushKey(true, VK_SHIFT);
    if (mods & kCtrl)
        pushKey(true, VK_CONTROL);
    if (mods & kAlt)
        pushKey(true, VK_MENU);
    pushKey(true, vk, typed, base, keypad, (mods & kAltGr) != 0);
    pushKey(false, vk);
    if (mods & kAlt)
        pushKey(false, VK_MENU);
    if (mods & kCtrl)
        pushKey(false, VK_CONTROL);
    if (mods & kShift)
        pushKey(false, VK_SHIFT);
}

void keyDown(int vk) {
    pushKey(true, vk);
}

void keyUp(int vk) {
    pushKey(false, vk);
}

void type(std::string_view cp1252) {
    for (char ch : cp1252) {
        const unsigned char c = static_cast<unsigned char>(ch);
        int vk = 0;
        unsigned mods = 0;
        if (c >= 'a' && c <= 'z') {
            vk = c - 32;
        } else if (c >= 'A' && c <= 'Z') {
            vk = c;
            mods = kShift;
        } else if (c >= '0' && c <= '9') {
            vk = c;
        } else if (c == ' ') {
            vk = VK_SPACE;
        } else if (c == '\r' || c == '\n') {
            vk = VK_RETURN;
        } else if (c == '\t') {
            vk = VK_TAB;
        } else if (c == '\b') {
            vk = VK_BACK;
        } else if (c == 0x1B) {
            vk = VK_ESCAPE;
        }
        if (vk) {
            key(vk, mods);
            continue;
        }
        // Punctuation of the US layout, else the character alone.
        bool found = false;
        for (int v : {VK_OEM_1, VK_OEM_PLUS, VK_OEM_COMMA, VK_OEM_MINUS, VK_OEM_PERIOD, VK_OEM_2,
                      VK_OEM_3, VK_OEM_4,    VK_OEM_5,     VK_OEM_6,     VK_OEM_7,      int('0'),
                      int('1'), int('2'),    int('3'),     int('4'),     int('5'),      int('6'),
                      int('7'), int('8'),    int('9')}) {
            for (unsigned m : {0u, kShift}) {
                BYTE t = 0, b = 0;
                bool kp = false;
                charsOf(v, m, t, b, kp);
                if (t == c && !found) {
                    key(v, m);
                    found = true;
                }
            }
        }
        if (!found) {
            pushKey(true, 0, c, c);
            pushKey(false, 0);
        }
    }
}

void press(HWND hwnd, int x, int y, int button) {
    const POINT p = toScreen(hwnd, x, y);
    pushPointer(K::Motion, p, 0);
    pushPointer(K::ButtonDown, p, button);
}

void release(HWND hwnd, int x, int y, int button) {
    pushPointer(K::ButtonUp, toScreen(hwnd, x, y), button);
}

void click(HWND hwnd, int x, int y, int button) {
    press(hwnd, x, y, button);
    release(hwnd, x, y, button);
}

void doubleClick(HWND hwnd, int x, int y, int button) {
    click(hwnd, x, y, button);
    click(hwnd, x, y, button);
}

void move(HWND hwnd, int x, int y) {
    pushPointer(K::Motion, toScreen(hwnd, x, y), 0);
}

void drag(HWND hwnd, POINT from, POINT to, int steps) {
    // The program reads the press (and the pointer at the press) before the moves arrive.
    const POINT start = toScreen(hwnd, from.x, from.y);
    pushPointer(K::Motion, start, 0);
    pushPointer(K::ButtonDown, start, kLeft, true);
    const int n = std::max(steps, 1);
    for (int i = 1; i <= n; ++i) {
        move(hwnd, from.x + (to.x - from.x) * i / n, from.y + (to.y - from.y) * i / n);
    }
    release(hwnd, to.x, to.y, kLeft);
}

bool releaseHeldInput() {
    return headlessBackend().releaseHold();
}

void closeRequest(HWND hwnd) {
    BackendEvent ev;
    ev.kind = K::Close;
    ev.hwnd = hwnd;
    headlessBackend().push(ev);
}

void focusReport(HWND hwnd) {
    BackendEvent ev;
    ev.kind = K::FocusGained;
    ev.hwnd = hwnd;
    headlessBackend().push(ev);
}

void advanceClock(DWORD ms) {
    headlessBackend().advance(ms);
}
void onWaitAnswering(std::function<void()> step) {
    headlessBackend().waitStep = std::move(step);
}
DWORD now() {
    return headlessBackend().now();
}

int runUntilIdle() {
    // A window that never validates its update region would get WM_PAINT forever; the limit
    // turns that into a failure instead of a hang.
    constexpr int kLimit = 100000;
    int n = 0;
    MSG msg;
    while (n < kLimit) {
        if (!PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            // Idle with input held back after a press: the input comes now.
            if (releaseHeldInput())
                continue;
            return n;
        }
        if (msg.message == WM_QUIT)
            return n;
        PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE);
        TranslateMessage(&msg);
        DispatchMessage(&msg);
        ++n;
    }
    reportFailure("runUntilIdle: the queue never empties (last message " +
                  core::MessageName(msg.message) + ")");
    return n;
}

const std::vector<std::string>& journal() {
    return state().journal;
}
void clearJournal() {
    state().journal.clear();
}

std::string expectSubsequence(std::initializer_list<std::string_view> fragments) {
    const auto& j = state().journal;
    std::size_t line = 0;
    for (std::string_view f : fragments) {
        while (line < j.size() && j[line].find(f) == std::string::npos)
            ++line;
        if (line == j.size()) {
            std::string out =
                "no line containing \"" + std::string(f) + "\" in order; the journal:\n";
            for (const auto& l : j)
                out += "  " + l + "\n";
            return out;
        }
        ++line;
    }
    return "";
}

std::vector<std::string> journalLines(std::string_view fragment) {
    std::vector<std::string> out;
    for (const auto& l : state().journal) {
        if (l.find(fragment) != std::string::npos)
            out.push_back(l);
    }
    return out;
}

HWND findWindow(std::string_view name) {
    std::vector<HWND> all;
    for (HWND t : state().topLevels)
        collect(t, all);
    for (HWND h : all) {
        core::Window* w = core::FindWindow(h);
        if (w && (core::EqualNoCase(w->cls->name, name) || w->text == name))
            return h;
    }
    return nullptr;
}

Image pixels(HWND hwnd) {
    Image img;
    cairo_surface_t* s = clientImage(hwnd);
    if (!s)
        return img;
    img.width = cairo_image_surface_get_width(s);
    img.height = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    img.pixels.resize(static_cast<std::size_t>(img.width) * img.height);
    for (int y = 0; y < img.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        for (int x = 0; x < img.width; ++x)
            img.pixels[static_cast<std::size_t>(y) * img.width + x] = row[x] & 0x00FFFFFF;
    }
    cairo_surface_destroy(s);
    return img;
}

bool savePng(HWND hwnd, const std::string& path) {
    cairo_surface_t* s = clientImage(hwnd);
    if (!s)
        return false;
    const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

std::vector<std::string> takeDisplayRequests() {
    std::vector<std::string> out;
    for (const auto& r : headlessBackend().requests()) {
        char title[128] = "";
        GetWindowText(r.hwnd, title, sizeof title);
        out.push_back(std::string(r.focus ? "focus " : "raise ") + title);
    }
    headlessBackend().requests().clear();
    return out;
}

const std::vector<UINT>& beeps() {
    return headlessBackend().beeps();
}
int currentCursorId() {
    return headlessBackend().cursor();
}
HWND imeSpot(POINT& client) {
    client = headlessBackend().imeSpot();
    return headlessBackend().imeWindow();
}

void onMessageBox(std::function<int(const MessageBoxCall&)> script) {
    boxScripts().push_back(std::move(script));
}

const std::vector<MessageBoxCall>& messageBoxes() {
    return boxCalls();
}

// --- Dialog driver ------------------------------------------------------------------------------

DialogDriver::DialogDriver(HWND dialog, int dialogId)
    : m_dialog(dialog)
    , m_id(dialogId) {}

HWND DialogDriver::item(int id) const {
    return GetDlgItem(m_dialog, id);
}

HWND DialogDriver::need(int id) const {
    const HWND h = GetDlgItem(m_dialog, id);
    if (!h)
        reportFailure("dialog " + std::to_string(m_id) + " has no control " + std::to_string(id));
    return h;
}

bool DialogDriver::ended() const {
    return dialogEnded(m_dialog);
}

INT_PTR DialogDriver::result() const {
    const core::DialogData* d = core::DialogOf(m_dialog);
    return d && d->ended ? d->result : -1;
}

void DialogDriver::pump() {
    constexpr int kLimit = 100000;
    MSG msg;
    for (int n = 0; n < kLimit; ++n) {
        if (ended())
            return;
        if (!PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (releaseHeldInput())
                continue; // the input held back after a press comes now
            return;
        }
        if (msg.message == WM_QUIT)
            return;
        PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE);
        if (!IsDialogMessage(m_dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    reportFailure("dialog " + std::to_string(m_id) + ": the queue never empties");
}

void DialogDriver::click(int id) {
    const HWND h = need(id);
    if (!h || ended())
        return;
    if (!IsWindowVisible(h) || !IsWindowEnabled(h)) {
        reportFailure("dialog " + std::to_string(m_id) + ": control " + std::to_string(id) +
                      " is hidden or disabled and cannot be clicked");
        return;
    }
    RECT r;
    GetClientRect(h, &r);
    plat::testing::click(h, r.right / 2, r.bottom / 2);
    pump();
}

void DialogDriver::check(int id, bool on) {
    const HWND h = need(id);
    if (!h)
        return;
    for (int tries = 0; tries < 3 && !ended(); ++tries) {
        if ((SendMessage(h, BM_GETCHECK, 0, 0) == BST_CHECKED) == on)
            return;
        click(id);
        // A plain check box only notifies: its procedure decides.
    }
    if ((SendMessage(h, BM_GETCHECK, 0, 0) == BST_CHECKED) != on)
        reportFailure("dialog " + std::to_string(m_id) + ": control " + std::to_string(id) +
                      " does not take the state asked");
}

void DialogDriver::setText(int id, std::string_view text) {
    if (!need(id) || ended())
        return;
    const std::string t(text);
    SetDlgItemText(m_dialog, id, t.c_str());
    pump();
}

void DialogDriver::type(int id, std::string_view text) {
    const HWND h = need(id);
    if (!h || ended())
        return;
    // Focused as the keyboard would (an edit's text is selected), so the keys replace it.
    SendMessage(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(h), TRUE);
    pump();
    plat::testing::type(text);
    pump();
}

void DialogDriver::selectRow(int id, int row) {
    const HWND h = need(id);
    if (!h || ended())
        return;
    const int count = static_cast<int>(SendMessage(h, LB_GETCOUNT, 0, 0));
    if (row < 0 || row >= count) {
        reportFailure("dialog " + std::to_string(m_id) + ": list " + std::to_string(id) +
                      " has no row " + std::to_string(row));
        return;
    }
    RECT r;
    SendMessage(h, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    RECT c;
    GetClientRect(h, &c);
    if (r.top < 0 || r.bottom > c.bottom) {
        SendMessage(h, LB_SETTOPINDEX, static_cast<WPARAM>(row), 0);
        pump();
        SendMessage(h, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    }
    plat::testing::click(h, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    pump();
}

void DialogDriver::doubleClickRow(int id, int row) {
    const HWND h = need(id);
    if (!h || ended())
        return;
    selectRow(id, row);
    RECT r;
    SendMessage(h, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    // The second click of a double click: within the time and distance of the first.
    plat::testing::click(h, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    pump();
}

void DialogDriver::chooseCombo(int id, int index) {
    const HWND h = need(id);
    if (!h || ended())
        return;
    const int count = static_cast<int>(SendMessage(h, CB_GETCOUNT, 0, 0));
    if (index < 0 || index >= count) {
        reportFailure("dialog " + std::to_string(m_id) + ": combo " + std::to_string(id) +
                      " has no item " + std::to_string(index));
        return;
    }
    SetFocus(h);
    pump();
    plat::testing::key(VK_F4);
    pump();
    plat::testing::key(VK_HOME);
    for (int i = 0; i < index; ++i)
        plat::testing::key(VK_DOWN);
    plat::testing::key(VK_RETURN);
    pump();
}

void DialogDriver::chooseCombo(int id, std::string_view text) {
    const HWND h = need(id);
    if (!h)
        return;
    const std::string t(text);
    const int i = static_cast<int>(SendMessage(h, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(t.c_str())));
    if (i < 0) {
        reportFailure("dialog " + std::to_string(m_id) + ": combo " + std::to_string(id) +
                      " has no item \"" + t + "\"");
        return;
    }
    chooseCombo(id, i);
}

void DialogDriver::clickClient(int x, int y) {
    if (ended())
        return;
    plat::testing::click(m_dialog, x, y);
    pump();
}

void DialogDriver::drag(int fromId, POINT from, int toId, POINT to, int steps) {
    const HWND source = need(fromId);
    const HWND target = need(toId);
    if (!source || !target || ended())
        return;
    // The release point in the pressed control's coordinates: the pointer stays captured there.
    POINT end = to;
    MapWindowPoints(target, source, &end, 1);
    // A fresh press, never the second of a double click.
    advanceClock(GetDoubleClickTime() + 1);
    plat::testing::drag(source, from, end, steps);
    pump();
}

void DialogDriver::key(int vk, unsigned mods) {
    if (ended())
        return;
    plat::testing::key(vk, mods);
    pump();
}

void DialogDriver::enter() {
    key(VK_RETURN);
}

void DialogDriver::escape() {
    key(VK_ESCAPE);
}

void DialogDriver::close() {
    if (ended())
        return;
    closeRequest(m_dialog);
    pump();
}

std::string DialogDriver::text(int id) const {
    const HWND h = need(id);
    if (!h)
        return {};
    const int n = GetWindowTextLength(h);
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    GetWindowText(h, s.data(), n + 1);
    s.resize(std::strlen(s.c_str()));
    return s;
}

bool DialogDriver::checked(int id) const {
    const HWND h = need(id);
    return h && SendMessage(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool DialogDriver::enabled(int id) const {
    const HWND h = need(id);
    return h && IsWindowEnabled(h);
}

int DialogDriver::curSel(int id) const {
    const HWND h = need(id);
    if (!h)
        return -1;
    core::Window* w = core::FindWindow(h);
    if (w && core::ClassIs(w, "COMBOBOX"))
        return static_cast<int>(SendMessage(h, CB_GETCURSEL, 0, 0));
    return static_cast<int>(SendMessage(h, LB_GETCURSEL, 0, 0));
}

bool DialogDriver::exists(int id) const {
    return GetDlgItem(m_dialog, id) != nullptr;
}

bool DialogDriver::snapshot(const std::string& path) const {
    return savePng(m_dialog, path);
}

void onDialog(int id, std::function<void(DialogDriver&)> script) {
    dialogScripts()[id].push_back(std::move(script));
}

void answerFileDialog(std::string_view path) {
    fileAnswers().emplace_back(true, std::string(path));
}

void answerFileDialogCancel() {
    fileAnswers().emplace_back(false, std::string());
}

int pendingDialogScripts() {
    int n = static_cast<int>(fileAnswers().size());
    for (const auto& [id, q] : dialogScripts())
        n += static_cast<int>(q.size());
    return n;
}

} // namespace plat::testing

// --- Menus (appended with the menu module) ------------------------------------------------

#include "core/menu/MenuInternal.h"

namespace plat::testing {

namespace {

int levelOf(int level) {
    const int d = core::MenuLoopDepth();
    return level < 0 ? d - 1 : level;
}

// The positions leading from `menu` to command `id`, depth first.
bool pathTo(HMENU menu, UINT id, std::vector<int>& path, int depth) {
    core::Menu* m = core::FindMenu(menu);
    if (!m || depth > 32)
        return false;
    for (std::size_t i = 0; i < m->items.size(); ++i) {
        const core::MenuItem& it = m->items[i];
        path.push_back(static_cast<int>(i));
        if (!it.sub && !it.separator && it.id == id)
            return true;
        if (it.sub && pathTo(it.sub, id, path, depth + 1))
            return true;
        path.pop_back();
    }
    return false;
}

bool followPath(const std::vector<int>& path) {
    if (path.empty())
        return false;
    for (std::size_t k = 0; k + 1 < path.size(); ++k) {
        if (!core::MenuLoopOpenSubmenu(static_cast<int>(k), path[k]))
            return false;
    }
    return core::MenuLoopChoose(static_cast<int>(path.size()) - 1, path.back());
}

} // namespace

int MenuDriver::depth() const {
    return core::MenuLoopDepth();
}

std::vector<MenuItemView> MenuDriver::items(int level) const {
    std::vector<MenuItemView> out;
    core::Menu* m = core::FindMenu(core::MenuLoopMenu(levelOf(level)));
    if (!m)
        return out;
    for (const core::MenuItem& it : m->items) {
        MenuItemView v;
        v.id = it.sub || it.separator ? 0 : it.id;
        v.text = it.text;
        v.separator = it.separator;
        v.popup = it.sub != nullptr;
        v.grayed = (it.state & (MF_GRAYED | MF_DISABLED)) != 0;
        v.checked = (it.state & MF_CHECKED) != 0;
        out.push_back(std::move(v));
    }
    return out;
}

int MenuDriver::hot(int level) const {
    return core::MenuLoopHot(levelOf(level));
}

HWND MenuDriver::window(int level) const {
    return core::MenuLoopWindow(levelOf(level));
}

bool MenuDriver::choose(UINT id) {
    std::vector<int> path;
    if (!pathTo(core::MenuLoopMenu(0), id, path, 0)) {
        reportFailure("MenuDriver::choose: no item " + std::to_string(id) + " in the open menu");
        return false;
    }
    return followPath(path);
}

bool MenuDriver::choosePath(std::initializer_list<std::string_view> texts) {
    std::vector<int> path;
    HMENU menu = core::MenuLoopMenu(0);
    for (std::string_view want : texts) {
        core::Menu* m = core::FindMenu(menu);
        int found = -1;
        for (std::size_t i = 0; m && i < m->items.size(); ++i) {
            if (core::ShownText(m->items[i].text, nullptr, nullptr) == want) {
                found = static_cast<int>(i);
                break;
            }
        }
        if (found < 0) {
            reportFailure("MenuDriver::choosePath: no item \"" + std::string(want) + "\"");
            return false;
        }
        path.push_back(found);
        menu = m->items[static_cast<std::size_t>(found)].sub;
    }
    return followPath(path);
}

void MenuDriver::cancel() {
    core::MenuLoopCancel();
}

void MenuDriver::key(int vk, unsigned mods) {
    plat::testing::key(vk, mods);
}

bool MenuDriver::snapshot(const std::string& path) const {
    RECT area{0, 0, 0, 0};
    bool any = false;
    auto add = [&](const RECT& r) {
        if (!any) {
            area = r;
            any = true;
            return;
        }
        area.left = std::min(area.left, r.left);
        area.top = std::min(area.top, r.top);
        area.right = std::max(area.right, r.right);
        area.bottom = std::max(area.bottom, r.bottom);
    };
    for (int i = 0; i < core::MenuLoopDepth(); ++i) {
        RECT r;
        if (GetWindowRect(core::MenuLoopWindow(i), &r))
            add(r);
    }
    if (!any)
        return false;
    if (core::Window* frame = core::FindWindow(core::MenuLoopBar())) {
        RECT bar = core::ImageOnScreen(frame);
        bar.bottom = bar.top + frame->menuBarHeight;
        add(bar);
    }
    // A margin shows where the popups end.
    area.left -= 8;
    area.top -= 8;
    area.right += 8;
    area.bottom += 8;
    return saveScreenPng(path, area);
}

void onMenu(std::function<void(MenuDriver&)> script) {
    core::QueueMenuScript([s = std::move(script)]() {
        MenuDriver d;
        s(d);
    });
}

bool openMenuTitle(HWND frame, std::string_view title) {
    core::Window* w = core::FindWindow(frame);
    core::Menu* m = w ? core::FindMenu(w->menu) : nullptr;
    for (std::size_t i = 0; m && i < m->items.size(); ++i) {
        if (core::ShownText(m->items[i].text, nullptr, nullptr) != title)
            continue;
        RECT r;
        if (!core::MenuBarTitleRect(frame, static_cast<int>(i), &r))
            break;
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ScreenToClient(frame, &p);
        click(frame, p.x, p.y);
        return true;
    }
    reportFailure("openMenuTitle: no title \"" + std::string(title) + "\" on the menu bar");
    return false;
}

bool saveScreenPng(const std::string& path, const RECT& area) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w <= 0 || h <= 0)
        return false;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0.0, 0.5, 0.5); // the desktop
    cairo_paint(cr);
    const auto& tops = state().topLevels; // front first
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        core::Window* tw = core::FindWindow(*it);
        if (!tw || !tw->image || !(tw->style & WS_VISIBLE))
            continue;
        const RECT r = core::ImageOnScreen(tw);
        cairo_set_source_surface(cr, tw->image, r.left - area.left, r.top - area.top);
        cairo_paint(cr);
    }
    cairo_destroy(cr);
    const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

} // namespace plat::testing

namespace plat::testing {

const std::vector<Utterance>& utterances() {
    return headless::utteranceLog();
}

void setUnscriptedAnswers(UnscriptedAnswers answers) {
    unscripted() = std::move(answers);
    if (unscripted().menu) {
        core::SetUnscriptedMenuAnswer([menu = unscripted().menu] {
            MenuDriver driver;
            menu(driver);
        });
    } else {
        core::SetUnscriptedMenuAnswer({});
    }
}

} // namespace plat::testing
