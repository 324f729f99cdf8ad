// The test driver: scripted input into the headless back end, the clock, the journal and
// inspection of windows and message boxes.

#include "core/win/WinInternal.h"
#include "headless/HeadlessBackend.h"
#include "plat/Dialog.h"
#include "plat/Testing.h"

#include <cairo.h>
#ifdef KV_HEADLESS_GTEST
#include <gtest/gtest.h>
#endif

#include <cctype>
#include <cstdio>
#include <deque>

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

bool answerBox(HWND owner, const std::string& text, const std::string& caption, UINT type,
               int& result) {
    MessageBoxCall call{owner, text, caption, type};
    boxCalls().push_back(call);
    auto& scripts = boxScripts();
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

void pushPointer(K kind, POINT screen, int button) {
    BackendEvent ev;
    ev.kind = kind;
    ev.screen = screen;
    ev.button = button;
    headlessBackend().push(ev);
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
    press(hwnd, from.x, from.y, kLeft);
    const int n = std::max(steps, 1);
    for (int i = 1; i <= n; ++i) {
        move(hwnd, from.x + (to.x - from.x) * i / n, from.y + (to.y - from.y) * i / n);
    }
    release(hwnd, to.x, to.y, kLeft);
}

void closeRequest(HWND hwnd) {
    BackendEvent ev;
    ev.kind = K::Close;
    ev.hwnd = hwnd;
    headlessBackend().push(ev);
}

void advanceClock(DWORD ms) {
    headlessBackend().advance(ms);
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
        if (!PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE))
            return n;
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

const std::vector<UINT>& beeps() {
    return headlessBackend().beeps();
}
int currentCursorId() {
    return headlessBackend().cursor();
}

void onMessageBox(std::function<int(const MessageBoxCall&)> script) {
    boxScripts().push_back(std::move(script));
}

const std::vector<MessageBoxCall>& messageBoxes() {
    return boxCalls();
}

} // namespace plat::testing
