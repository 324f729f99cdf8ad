#include "core/gdi/GdiInternal.h"
#include "core/menu/MenuInternal.h"
#include "core/win/WinInternal.h"
#include "plat/Gdi.h"
#include "plat/System.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plat::core {

namespace {

DiagnosticSink s_sink = nullptr;

const char* const kBuiltInClasses[] = {"BUTTON",   "EDIT",      "STATIC", "LISTBOX",
                                       "COMBOBOX", "SCROLLBAR", "#32770", "msctls_statusbar32"};

bool isBuiltInName(std::string_view name) {
    for (const char* b : kBuiltInClasses) {
        if (EqualNoCase(name, b))
            return true;
    }
    return false;
}

std::shared_ptr<WindowClass> findClass(std::string_view name) {
    for (auto& c : state().classes) {
        if (EqualNoCase(c->name, name))
            return c;
    }
    return nullptr;
}

// The built-in classes exist from the start with the default procedure; the dialog manager
// replaces them with its controls through RegisterSystemClass.
void ensureBuiltInClasses() {
    for (const char* b : kBuiltInClasses) {
        if (!findClass(b)) {
            auto c = std::make_shared<WindowClass>();
            c->name = b;
            c->proc = EqualNoCase(b, "msctls_statusbar32") ? &StatusBarProc : &DefWindowProc;
            c->builtIn = true;
            if (EqualNoCase(b, "#32770"))
                c->background =
                    reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_BTNFACE + 1));
            state().classes.push_back(c);
        }
    }
}

// Nominal frame sizes of the virtual screen.
constexpr int kCaption = 18;
constexpr int kDialogFrame = 3;
constexpr int kSizingFrame = 4;
constexpr int kScrollBar = 16;

RECT frameInsets(DWORD style, DWORD exStyle) {
    int f = 0;
    if (style & WS_THICKFRAME)
        f = kSizingFrame;
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
        f = kDialogFrame;
    else if (style & WS_BORDER)
        f = 1;
    if (exStyle & WS_EX_CLIENTEDGE)
        f += 2;
    RECT r{f, f, f, f};
    if ((style & WS_CAPTION) == WS_CAPTION)
        r.top += kCaption;
    if (style & WS_VSCROLL)
        r.right += kScrollBar;
    if (style & WS_HSCROLL)
        r.bottom += kScrollBar;
    return r;
}

void unlink(Window* w) {
    State& st = state();
    if (w->isChild()) {
        if (Window* p = FindWindow(w->parent)) {
            auto& v = p->children;
            v.erase(std::remove(v.begin(), v.end(), w->hwnd), v.end());
        }
    } else {
        auto& v = st.topLevels;
        v.erase(std::remove(v.begin(), v.end(), w->hwnd), v.end());
    }
}

} // namespace

// Puts a top-level window at the front of its band: topmost windows stay above the others.
namespace {

// Puts one top-level window in front of the others of its band (topmost or not).
void placeInFront(Window* w) {
    auto& v = state().topLevels;
    v.erase(std::remove(v.begin(), v.end(), w->hwnd), v.end());
    auto pos = v.begin();
    if (!(w->exStyle & WS_EX_TOPMOST)) {
        while (pos != v.end()) {
            Window* o = FindWindow(*pos);
            if (!o || !(o->exStyle & WS_EX_TOPMOST))
                break;
            ++pos;
        }
    }
    v.insert(pos, w->hwnd);
}

bool ownedBy(const Window* w, HWND owner) {
    for (int depth = 0; w && w->owner && depth < 64; ++depth) {
        if (w->owner == owner)
            return true;
        w = FindWindow(w->owner);
    }
    return false;
}

} // namespace

void BringToFront(Window* w) {
    if (w->isChild())
        return;
    placeInFront(w);
    // Owned windows (the palette, the find window, dialogs) stay above their owner, as they do on
    // the screen; otherwise a click on one after its owner came forward (at the end of every
    // modal run) would reach the owner under it. They keep their order among themselves.
    std::vector<Window*> owned;
    for (HWND t : state().topLevels) {
        Window* o = FindWindow(t);
        if (o && o != w && ownedBy(o, w->hwnd))
            owned.push_back(o);
    }
    for (auto it = owned.rbegin(); it != owned.rend(); ++it)
        placeInFront(*it);
}

namespace {

void setTitleOnBackend(Window* w) {
    if (w->isChild() || !w->image)
        return;
    std::string shown = w->text;
    std::replace(shown.begin(), shown.end(), '\n', ' ');
    backend().setTitle(w->hwnd, shown);
}

// Re-lays out after a geometry change: the backing image of a top-level window follows its client
// size, and the newly exposed area is invalidated.
void afterResize(Window* w, int oldW, int oldH) {
    const int cw = w->clientWidth(), ch = w->clientHeight();
    if (cw == oldW && ch == oldH)
        return;
    if (!w->isChild() && w->image) {
        EnsureImage(w);
    }
    InvalidateClient(w, nullptr, true);
    SendMessage(w->hwnd, WM_SIZE, SIZE_RESTORED,
                MAKELPARAM(static_cast<WORD>(std::max(cw, 0)), static_cast<WORD>(std::max(ch, 0))));
}

} // namespace

// --- Module state and helpers
// ---------------------------------------------------------------------

State& state() {
    static State s;
    return s;
}

Window* FindWindow(HWND hwnd, const char* caller) {
    if (!hwnd)
        return nullptr;
    Window* w = state().windows.find(IdFromHandle(hwnd));
    if (!w && caller) {
        char line[128];
        std::snprintf(line, sizeof line, "%s: invalid window handle 0x%08x", caller,
                      IdFromHandle(hwnd));
        Diagnostic(line);
    }
    return w;
}

Window* TopLevelOf(Window* w) {
    while (w && w->isChild())
        w = FindWindow(w->parent);
    return w;
}

RECT ClientOnScreen(const Window* w) {
    RECT r{w->rect.left + w->insets.left, w->rect.top + w->insets.top,
           w->rect.right - w->insets.right, w->rect.bottom - w->insets.bottom};
    if (w->isChild()) {
        if (const Window* p = FindWindow(w->parent)) {
            const RECT pc = ClientOnScreen(p);
            r.left += pc.left;
            r.right += pc.left;
            r.top += pc.top;
            r.bottom += pc.top;
        }
    }
    return r;
}

POINT ClientOriginInImage(const Window* w) {
    const RECT c = ClientOnScreen(w);
    const Window* top = TopLevelOf(const_cast<Window*>(w));
    const RECT tc = ClientOnScreen(top);
    return POINT{c.left - tc.left, c.top - tc.top + (top ? top->menuBarHeight : 0)};
}

RECT ImageOnScreen(const Window* top) {
    RECT r = ClientOnScreen(top);
    r.top -= top->menuBarHeight;
    return r;
}

bool ReallyVisible(const Window* w) {
    while (w) {
        if (!(w->style & WS_VISIBLE))
            return false;
        if (!w->isChild())
            return true;
        w = FindWindow(w->parent);
    }
    return false;
}

bool ReallyEnabled(const Window* w) {
    while (w) {
        if (w->style & WS_DISABLED)
            return false;
        if (!w->isChild())
            return true;
        w = FindWindow(w->parent);
    }
    return false;
}

bool TakesInput(const Window* w) {
    while (w) {
        if (w->style & WS_DISABLED)
            return false;
        if (!w->isChild())
            return w->behindModal == 0;
        w = FindWindow(w->parent);
    }
    return false;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool ClassIs(const Window* w, std::string_view name) {
    return EqualNoCase(w->cls->name, name);
}

void Diagnostic(const std::string& line) {
    if (s_sink)
        s_sink(line.c_str());
    else
        std::fprintf(stderr, "korvaline: %s\n", line.c_str());
}

ATOM RegisterSystemClass(const WNDCLASS& wc) {
    if (!wc.lpszClassName || !wc.lpfnWndProc)
        return 0;
    ensureBuiltInClasses();
    auto& classes = state().classes;
    classes.erase(
        std::remove_if(classes.begin(), classes.end(),
                       [&](const auto& c) { return EqualNoCase(c->name, wc.lpszClassName); }),
        classes.end());
    auto c = std::make_shared<WindowClass>();
    c->name = wc.lpszClassName;
    c->style = wc.style;
    c->proc = wc.lpfnWndProc;
    c->instance = wc.hInstance;
    c->icon = wc.hIcon;
    c->cursor = wc.hCursor;
    c->background = wc.hbrBackground;
    c->menuName = wc.lpszMenuName;
    c->builtIn = true;
    classes.push_back(c);
    return static_cast<ATOM>(0xC000 + classes.size());
}

namespace {
// The five bytes cp1252 leaves undefined map to the C1 controls of the same value, so the
// conversion is lossless both ways.
const char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
} // namespace

std::string Utf8FromCp1252Text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        char32_t u = c;
        if (c >= 0x80 && c < 0xA0)
            u = kHigh[c - 0x80];
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

// Characters without a cp1252 byte, and malformed sequences, become "?".
std::string Cp1252FromUtf8Text(std::string_view utf8) {
    std::string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        int extra = c < 0x80             ? 0
                    : (c & 0xE0) == 0xC0 ? 1
                    : (c & 0xF0) == 0xE0 ? 2
                    : (c & 0xF8) == 0xF0 ? 3
                                         : -1;
        if (extra < 0 ||
            i + static_cast<std::size_t>(extra) >= utf8.size() + (extra == 0 ? 1 : 0)) {
            out += '?';
            ++i;
            continue;
        }
        char32_t u = extra == 0 ? c : (c & (0x3F >> extra));
        bool bad = false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char cc =
                static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80)
                bad = true;
            u = (u << 6) | (cc & 0x3F);
        }
        if (bad) {
            out += '?';
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out += static_cast<char>(u);
            continue;
        }
        char byte = '?';
        for (int b = 0; b < 32; ++b) {
            if (kHigh[b] == u)
                byte = static_cast<char>(0x80 + b);
        }
        out += byte;
    }
    return out;
}

void ResetWindowSystem() {
    State& st = state();
    // Destroy front to back without messages reaching stale procedures twice.
    while (!st.topLevels.empty()) {
        const HWND h = st.topLevels.front();
        if (!DestroyWindow(h)) {
            st.topLevels.erase(st.topLevels.begin());
        }
    }
    st.windows.clear();
    // The program's classes go; the system classes (controls registered by the dialog manager)
    // stay, as they are registered once per process.
    st.classes.erase(std::remove_if(st.classes.begin(), st.classes.end(),
                                    [](const auto& c) { return !c->builtIn; }),
                     st.classes.end());
    st.registeredMessages.clear();
    st.focus = st.active = st.capture = nullptr;
    st.cursor = nullptr;
    ResetQueue();
    ResetInput();
    ResetNonClient();
    ensureBuiltInClasses();
    ResetMenus();
}

// --- Diagnostic sink (public) ------------------------------------------------------------------

} // namespace plat::core

namespace plat {

using namespace plat::core;

void SetDiagnosticSink(DiagnosticSink sink) {
    s_sink = sink;
    // The drawing module's lines go to the same place.
    SetGdiDiagnosticSink([](std::string_view message) { Diagnostic(std::string(message)); });
}

// --- Classes -------------------------------------------------------------------------------------

ATOM RegisterClass(const WNDCLASS* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || IS_INTRESOURCE(wc->lpszClassName)) {
        Diagnostic("RegisterClass: missing class name or procedure");
        return 0;
    }
    ensureBuiltInClasses();
    if (isBuiltInName(wc->lpszClassName) || findClass(wc->lpszClassName))
        return 0; // the name is taken
    auto c = std::make_shared<WindowClass>();
    c->name = wc->lpszClassName;
    c->style = wc->style;
    c->proc = wc->lpfnWndProc;
    c->instance = wc->hInstance;
    c->icon = wc->hIcon;
    c->cursor = wc->hCursor;
    c->background = wc->hbrBackground;
    c->menuName = wc->lpszMenuName;
    state().classes.push_back(c);
    return static_cast<ATOM>(0xC000 + state().classes.size());
}

BOOL UnregisterClass(const char* className, HINSTANCE) {
    if (!className || IS_INTRESOURCE(className) || isBuiltInName(className))
        return FALSE;
    auto& classes = state().classes;
    auto it = std::find_if(classes.begin(), classes.end(),
                           [&](const auto& c) { return EqualNoCase(c->name, className); });
    if (it == classes.end())
        return FALSE;
    // A class with live windows stays (the windows hold it); only its name is released.
    classes.erase(it);
    return TRUE;
}

BOOL GetClassInfo(HINSTANCE, const char* className, WNDCLASS* out) {
    if (!className || IS_INTRESOURCE(className))
        return FALSE;
    ensureBuiltInClasses();
    auto c = findClass(className);
    if (!c)
        return FALSE;
    if (out) {
        out->style = c->style;
        out->lpfnWndProc = c->proc;
        out->hInstance = c->instance;
        out->hIcon = c->icon;
        out->hCursor = c->cursor;
        out->hbrBackground = c->background;
        out->lpszMenuName = c->menuName;
        out->lpszClassName = c->name.c_str();
    }
    return TRUE;
}

int GetClassName(HWND hwnd, char* buffer, int size) {
    Window* w = FindWindow(hwnd, "GetClassName");
    if (!w || !buffer || size <= 0)
        return 0;
    const int n = std::min<int>(size - 1, static_cast<int>(w->cls->name.size()));
    std::memcpy(buffer, w->cls->name.data(), static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n;
}

// --- Creation and destruction ------------------------------------------------------------------

HWND CreateWindowEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                    int x, int y, int cx, int cy, HWND parent, HMENU menu, HINSTANCE instance,
                    void* param) {
    State& st = state();
    ensureBuiltInClasses();
    if (!className || IS_INTRESOURCE(className)) {
        Diagnostic("CreateWindowEx: missing class name");
        return nullptr;
    }
    auto cls = findClass(className);
    if (!cls) {
        Diagnostic(std::string("CreateWindowEx: unknown class \"") + className + "\"");
        return nullptr;
    }
    Window* parentWin = nullptr;
    if (parent) {
        parentWin = FindWindow(parent, "CreateWindowEx");
        if (!parentWin)
            return nullptr;
    }
    if ((style & WS_CHILD) && !parentWin) {
        Diagnostic("CreateWindowEx: a child window needs a parent");
        return nullptr;
    }
    if (!(style & WS_CHILD) && parentWin) {
        // A top-level window's "parent" is its owner, which is always a top-level window.
        parentWin = TopLevelOf(parentWin);
    }
    if (!backend().open()) {
        Diagnostic("CreateWindowEx: no display");
        return nullptr;
    }

    auto owned = std::make_unique<Window>();
    Window* w = owned.get();
    const std::uint32_t id = st.windows.add(std::move(owned));
    if (id == 0)
        return nullptr;
    w->hwnd = HandleFromId<HWND>(id);
    w->cls = cls;
    w->proc = cls->proc;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->instance = instance;
    if (windowName)
        w->text = windowName;
    w->insets = frameInsets(style, exStyle);
    if (x == CW_USEDEFAULT) {
        x = 64;
        y = 48;
    }
    if (cx == CW_USEDEFAULT) {
        cx = 640;
        cy = 480;
    }
    if ((style & WS_THICKFRAME) || !(style & (WS_POPUP | WS_CHILD))) {
        // A sizable or overlapped window is made no larger than the largest size the user can
        // drag it to: the screen and its sizing frame.
        const SIZE screen = backend().screenSize();
        cx = std::min(cx, screen.cx + 2 * kSizingFrame);
        cy = std::min(cy, screen.cy + 2 * kSizingFrame);
    }
    w->rect = RECT{x, y, x + std::max(cx, 0), y + std::max(cy, 0)};
    if (style & WS_CHILD) {
        w->parent = parentWin->hwnd;
        w->id = static_cast<int>(reinterpret_cast<std::uintptr_t>(menu) & 0xFFFF);
        parentWin->children.push_back(w->hwnd); // new children go below their older siblings
    } else {
        w->owner = parentWin ? parentWin->hwnd : nullptr;
        AttachMenuAtCreation(w, menu);
        BringToFront(w);
        EnsureImage(w);
        backend().createTopLevel(w->hwnd, ImageOnScreen(w), style, exStyle, w->owner, w->text);
        setTitleOnBackend(w);
    }

    CREATESTRUCT cs;
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cy = cy;
    cs.cx = cx;
    cs.y = y;
    cs.x = x;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    const HWND hwnd = w->hwnd;
    // Only WM_CREATE is sent: procedures written like dialog procedures return 0 for what they
    // do not handle, which WM_NCCREATE would take as a refusal.
    if (SendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        if (FindWindow(hwnd))
            DestroyWindow(hwnd);
        return nullptr;
    }
    w = FindWindow(hwnd);
    if (!w)
        return nullptr;
    w->created = true;
    SendMessage(hwnd, WM_SIZE, SIZE_RESTORED,
                MAKELPARAM(static_cast<WORD>(std::max(w->clientWidth(), 0)),
                           static_cast<WORD>(std::max(w->clientHeight(), 0))));
    if (!FindWindow(hwnd))
        return nullptr;
    if (style & WS_VISIBLE)
        ShowWindow(hwnd, SW_SHOW);
    return FindWindow(hwnd) ? hwnd : nullptr;
}

namespace {

void sendDestroy(Window* w) {
    const HWND h = w->hwnd;
    SendMessage(h, WM_DESTROY, 0, 0);
    Window* again = FindWindow(h);
    if (!again)
        return;
    const std::vector<HWND> kids = again->children;
    for (HWND k : kids) {
        if (Window* kw = FindWindow(k)) {
            kw->destroying = true;
            sendDestroy(kw);
        }
    }
}

void markDestroying(Window* w) {
    w->destroying = true;
    for (HWND k : w->children) {
        if (Window* kw = FindWindow(k))
            markDestroying(kw);
    }
}

void freeTree(HWND h) {
    Window* w = FindWindow(h);
    if (!w)
        return;
    const std::vector<HWND> kids = w->children;
    for (HWND k : kids)
        freeTree(k);
    ForgetWindow(h);
    w = FindWindow(h);
    if (!w)
        return;
    unlink(w);
    if (!w->isChild()) {
        backend().destroyTopLevel(h);
        FreeImage(w);
    }
    state().windows.remove(IdFromHandle(h));
}

} // namespace

BOOL DestroyWindow(HWND hwnd) {
    State& st = state();
    Window* w = FindWindow(hwnd, "DestroyWindow");
    if (!w)
        return FALSE;
    if (w->destroying)
        return TRUE;
    // Owned top-level windows go first, as their owner's life bounds theirs.
    if (!w->isChild()) {
        const std::vector<HWND> tops = st.topLevels;
        for (HWND t : tops) {
            Window* o = FindWindow(t);
            if (o && o->owner == hwnd && !o->destroying)
                DestroyWindow(t);
        }
        w = FindWindow(hwnd);
        if (!w)
            return TRUE;
    }
    markDestroying(w);
    const bool wasVisible = ReallyVisible(w);
    if (wasVisible) {
        if (w->isChild()) {
            if (Window* p = FindWindow(w->parent)) {
                RECT r = w->rect;
                InvalidateClient(p, &r, true);
            }
        }
    }
    if (!w->isChild())
        w->style &= ~WS_VISIBLE;
    const HWND parentOfChild = w->isChild() ? w->parent : nullptr;
    sendDestroy(w);
    // Focus, activation and capture leave the dying windows before they are freed.
    const bool hadFocus = st.focus && (st.focus == hwnd || IsChild(hwnd, st.focus));
    if (hadFocus)
        st.focus = nullptr;
    if (st.capture && (st.capture == hwnd || IsChild(hwnd, st.capture)))
        ReleaseCapture();
    const bool wasActive = st.active == hwnd;
    const HWND owner = w->isChild() ? nullptr : w->owner;
    if (wasActive)
        st.active = nullptr;
    freeTree(hwnd);
    if (parentOfChild) {
        // A closed document window hands activation, and the focus it had, to the next one.
        DocumentChildGone(parentOfChild, hwnd);
        Window* p = FindWindow(parentOfChild);
        if (hadFocus && p && FindWindow(p->activeChild) && !p->destroying)
            SetFocus(p->activeChild);
    }
    if (wasActive) {
        // Hand activation to the owner, else to the front visible, enabled top-level window.
        auto usable = [](HWND t) {
            Window* o = FindWindow(t);
            return o && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED);
        };
        HWND next = owner && usable(owner) ? owner : nullptr;
        for (HWND t : st.topLevels) {
            if (!next && usable(t))
                next = t;
        }
        if (next)
            SetActiveWindow(next);
    }
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    return FindWindow(hwnd) != nullptr;
}

BOOL IsWindowVisible(HWND hwnd) {
    Window* w = FindWindow(hwnd, "IsWindowVisible");
    return w && ReallyVisible(w);
}

BOOL ShowWindow(HWND hwnd, int cmd) {
    State& st = state();
    Window* w = FindWindow(hwnd, "ShowWindow");
    if (!w)
        return FALSE;
    const bool was = (w->style & WS_VISIBLE) != 0;
    const bool show = cmd != SW_HIDE && cmd != SW_MINIMIZE;
    if (show == was) {
        if (show && !w->isChild() && cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE &&
            !(w->exStyle & WS_EX_NOACTIVATE))
            SetActiveWindow(hwnd);
        return was;
    }
    if (show) {
        w->style |= WS_VISIBLE;
        InvalidateClient(w, nullptr, true);
        if (w->isChild()) {
            // The parent's pixels under the child are now the child's.
        } else {
            BringToFront(w);
            backend().show(hwnd, true);
            if (cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWMINNOACTIVE &&
                !(w->exStyle & WS_EX_NOACTIVATE))
                SetActiveWindow(hwnd);
        }
    } else {
        if (st.focus && (st.focus == hwnd || IsChild(hwnd, st.focus)))
            SetFocus(nullptr);
        w = FindWindow(hwnd);
        if (!w)
            return was;
        w->style &= ~WS_VISIBLE;
        if (w->isChild()) {
            if (Window* p = FindWindow(w->parent)) {
                RECT r = w->rect;
                InvalidateClient(p, &r, true);
            }
        } else {
            backend().show(hwnd, false);
            if (st.active == hwnd) {
                HWND next = nullptr;
                if (w->owner && IsWindowVisible(w->owner) && IsWindowEnabled(w->owner))
                    next = w->owner;
                for (HWND t : st.topLevels) {
                    if (next)
                        break;
                    Window* o = FindWindow(t);
                    if (t != hwnd && o && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED))
                        next = t;
                }
                if (next) {
                    SetActiveWindow(next);
                } else {
                    SendMessage(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
                    st.active = nullptr;
                }
            }
        }
    }
    return was;
}

BOOL IsIconic(HWND hwnd) {
    FindWindow(hwnd, "IsIconic");
    return FALSE; // windows are never minimised by this layer
}

BOOL IsChild(HWND parent, HWND hwnd) {
    Window* w = FindWindow(hwnd);
    if (!parent || !w)
        return FALSE;
    while (w && w->isChild()) {
        if (w->parent == parent)
            return TRUE;
        w = FindWindow(w->parent);
    }
    return FALSE;
}

BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* wp) {
    Window* w = FindWindow(hwnd, "GetWindowPlacement");
    if (!w || !wp)
        return FALSE;
    wp->flags = 0;
    wp->showCmd = (w->style & WS_VISIBLE) ? SW_SHOWNORMAL : SW_HIDE;
    wp->ptMinPosition = POINT{-1, -1};
    wp->ptMaxPosition = POINT{-1, -1};
    wp->rcNormalPosition = w->rect;
    return TRUE;
}

// --- Text --------------------------------------------------------------------------------------

BOOL SetWindowText(HWND hwnd, const char* text) {
    if (!FindWindow(hwnd, "SetWindowText"))
        return FALSE;
    return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) != 0;
}

BOOL SetWindowTextInCodePage(HWND hwnd, BOOL on) {
    Window* w = FindWindow(hwnd, "SetWindowTextInCodePage");
    if (!w)
        return FALSE;
    w->textInCodePage = on != FALSE;
    if (HasNonClientFrame(w))
        w->frameDirty = true;
    return TRUE;
}

int GetWindowText(HWND hwnd, char* buffer, int size) {
    if (buffer && size > 0)
        buffer[0] = '\0';
    if (!FindWindow(hwnd, "GetWindowText") || !buffer || size <= 0)
        return 0;
    return static_cast<int>(
        SendMessage(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND hwnd) {
    if (!FindWindow(hwnd, "GetWindowTextLength"))
        return 0;
    return static_cast<int>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

// --- Geometry ------------------------------------------------------------------------------------

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    Window* w = FindWindow(hwnd, "GetClientRect");
    if (!w || !rect)
        return FALSE;
    *rect = RECT{0, 0, std::max(w->clientWidth(), 0), std::max(w->clientHeight(), 0)};
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    Window* w = FindWindow(hwnd, "GetWindowRect");
    if (!w || !rect)
        return FALSE;
    RECT r = w->rect;
    if (w->isChild()) {
        const RECT pc = ClientOnScreen(FindWindow(w->parent));
        r.left += pc.left;
        r.right += pc.left;
        r.top += pc.top;
        r.bottom += pc.top;
    }
    *rect = r;
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    Window* w = FindWindow(hwnd, "SetWindowPos");
    if (!w)
        return FALSE;
    const int oldW = w->clientWidth(), oldH = w->clientHeight();
    const RECT oldRect = w->rect;
    RECT r = w->rect;
    if (!(flags & SWP_NOMOVE)) {
        r.right += x - r.left;
        r.bottom += y - r.top;
        r.left = x;
        r.top = y;
    }
    if (!(flags & SWP_NOSIZE)) {
        r.right = r.left + std::max(cx, 0);
        r.bottom = r.top + std::max(cy, 0);
    }
    if (flags & SWP_FRAMECHANGED) {
        // The style may have changed (the splash loses its frame): the client area follows.
        w->insets = frameInsets(w->style, w->exStyle);
        w->insets.top += w->menuBarHeight;
        if (!w->isChild())
            backend().restyle(hwnd);
    }
    w->rect = r;
    if (!(flags & SWP_NOZORDER)) {
        if (!w->isChild()) {
            if (insertAfter == HWND_TOPMOST)
                w->exStyle |= WS_EX_TOPMOST;
            else if (insertAfter == HWND_NOTOPMOST)
                w->exStyle &= ~WS_EX_TOPMOST;
            if (insertAfter != HWND_BOTTOM) {
                BringToFront(w);
                backend().raise(hwnd);
            }
        } else if (Window* p = FindWindow(w->parent)) {
            auto& v = p->children;
            const std::vector<HWND> before = v;
            v.erase(std::remove(v.begin(), v.end(), hwnd), v.end());
            if (insertAfter == HWND_BOTTOM)
                v.push_back(hwnd);
            else if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST ||
                     insertAfter == HWND_NOTOPMOST)
                v.insert(v.begin(), hwnd);
            else {
                auto it = std::find(v.begin(), v.end(), insertAfter);
                v.insert(it == v.end() ? v.end() : it + 1, hwnd);
            }
            // A new place among the siblings uncovers or covers parts of the window.
            if (v != before && ReallyVisible(w) && !(flags & SWP_NOREDRAW)) {
                if (Window* pp = FindWindow(w->parent)) {
                    RECT wr = w->rect;
                    InvalidateClient(pp, &wr, true);
                }
            }
        }
    }
    const bool moved = oldRect.left != r.left || oldRect.top != r.top || oldRect.right != r.right ||
                       oldRect.bottom != r.bottom || (flags & SWP_FRAMECHANGED);
    if (moved) {
        if (!w->isChild()) {
            backend().moveResize(hwnd, ImageOnScreen(w));
        } else if (ReallyVisible(w) && !(flags & SWP_NOREDRAW)) {
            // The parent shows through where the child was.
            if (Window* p = FindWindow(w->parent)) {
                RECT old = oldRect;
                InvalidateClient(p, &old, true);
            }
            InvalidateClient(w, nullptr, true);
        }
        afterResize(w, (flags & SWP_FRAMECHANGED) ? -1 : oldW, oldH);
        w = FindWindow(hwnd);
        if (!w)
            return TRUE;
    }
    if (flags & SWP_SHOWWINDOW)
        ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    else if (flags & SWP_HIDEWINDOW)
        ShowWindow(hwnd, SW_HIDE);
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, cx, cy,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL BringWindowToTop(HWND hwnd) {
    return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// --- Tree ----------------------------------------------------------------------------------------

HWND GetParent(HWND hwnd) {
    Window* w = FindWindow(hwnd, "GetParent");
    if (!w)
        return nullptr;
    return w->isChild() ? w->parent : w->owner;
}

HWND GetDesktopWindow() {
    return nullptr;
}

HWND GetWindow(HWND hwnd, UINT cmd) {
    Window* w = FindWindow(hwnd, "GetWindow");
    if (!w)
        return nullptr;
    if (cmd == GW_CHILD)
        return w->children.empty() ? nullptr : w->children.front();
    if (cmd == GW_OWNER)
        return w->isChild() ? nullptr : w->owner;
    const std::vector<HWND>* list = &state().topLevels;
    if (w->isChild()) {
        Window* p = FindWindow(w->parent);
        if (!p)
            return nullptr;
        list = &p->children;
    }
    auto it = std::find(list->begin(), list->end(), hwnd);
    if (it == list->end())
        return nullptr;
    switch (cmd) {
    case GW_HWNDFIRST:
        return list->front();
    case GW_HWNDLAST:
        return list->back();
    case GW_HWNDNEXT:
        return it + 1 == list->end() ? nullptr : *(it + 1);
    case GW_HWNDPREV:
        return it == list->begin() ? nullptr : *(it - 1);
    default:
        return nullptr;
    }
}

HWND GetAncestor(HWND hwnd, UINT flags) {
    Window* w = FindWindow(hwnd, "GetAncestor");
    if (!w)
        return nullptr;
    if (flags == GA_PARENT)
        return w->isChild() ? w->parent : nullptr;
    return TopLevelOf(w)->hwnd;
}

int GetDlgCtrlID(HWND hwnd) {
    Window* w = FindWindow(hwnd, "GetDlgCtrlID");
    return w && w->isChild() ? w->id : 0;
}

// --- Window longs --------------------------------------------------------------------------------

LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
    Window* w = FindWindow(hwnd, "GetWindowLongPtr");
    if (!w)
        return 0;
    switch (index) {
    case GWL_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWL_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(w->isChild() ? w->parent : w->owner);
    case GWL_ID:
        return w->id;
    case GWL_STYLE:
        return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWL_USERDATA:
        return w->userData;
    default:
        Diagnostic("GetWindowLongPtr: unknown index " + std::to_string(index));
        return 0;
    }
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
    Window* w = FindWindow(hwnd, "SetWindowLongPtr");
    if (!w)
        return 0;
    LONG_PTR old = 0;
    switch (index) {
    case GWL_WNDPROC:
        old = reinterpret_cast<LONG_PTR>(w->proc);
        if (value)
            w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
    case GWL_HWNDPARENT:
        if (w->isChild())
            return 0;
        old = reinterpret_cast<LONG_PTR>(w->owner);
        w->owner = reinterpret_cast<HWND>(value);
        return old;
    case GWL_ID:
        old = w->id;
        w->id = static_cast<int>(value);
        return old;
    case GWL_STYLE:
        old = static_cast<LONG_PTR>(w->style);
        // Visibility and enabling change only through their calls; the frame follows at the
        // next SWP_FRAMECHANGED.
        w->style = (static_cast<DWORD>(value) & ~(WS_VISIBLE | WS_DISABLED)) |
                   (w->style & (WS_VISIBLE | WS_DISABLED));
        return old;
    case GWL_EXSTYLE:
        old = static_cast<LONG_PTR>(w->exStyle);
        w->exStyle = static_cast<DWORD>(value);
        return old;
    case GWL_USERDATA:
        old = w->userData;
        w->userData = value;
        return old;
    default:
        Diagnostic("SetWindowLongPtr: unknown index " + std::to_string(index));
        return 0;
    }
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!proc)
        return 0;
    return proc(hwnd, msg, wParam, lParam);
}

// --- Default procedure ---------------------------------------------------------------------------

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd, "DefWindowProc");
    if (!w)
        return 0;
    switch (msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SETTEXT: {
        const char* text = reinterpret_cast<const char*>(lParam);
        w->text = text ? text : "";
        setTitleOnBackend(w);
        if (HasNonClientFrame(w))
            w->frameDirty = true; // the caption shows the text
        return TRUE;
    }
    case WM_GETTEXT: {
        char* buffer = reinterpret_cast<char*>(lParam);
        const int size = static_cast<int>(wParam);
        if (!buffer || size <= 0)
            return 0;
        const int n = std::min<int>(size - 1, static_cast<int>(w->text.size()));
        std::memcpy(buffer, w->text.data(), static_cast<std::size_t>(n));
        buffer[n] = '\0';
        return n;
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        HBRUSH brush = w->cls->background;
        if (!brush)
            return 0;
        const std::uintptr_t v = reinterpret_cast<std::uintptr_t>(brush);
        if (v > 0 && v <= 31)
            brush = GetSysColorBrush(static_cast<int>(v) - 1);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, brush);
        return 1;
    }
    case WM_RBUTTONUP: {
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(hwnd, &pt);
        SendMessage(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd),
                    MAKELPARAM(static_cast<WORD>(pt.x), static_cast<WORD>(pt.y)));
        return 0;
    }
    case WM_CONTEXTMENU:
        // Unhandled context-menu requests travel up to the parent.
        if (w->isChild())
            return SendMessage(w->parent, WM_CONTEXTMENU, wParam, lParam);
        return 0;
    case WM_ACTIVATE:
        // An activated window takes the focus unless it is already inside it.
        if (LOWORD(wParam) != WA_INACTIVE) {
            HWND f = state().focus;
            if (!f || (f != hwnd && !IsChild(hwnd, f)))
                SetFocus(hwnd);
        }
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == static_cast<WPARAM>(VK_F4) && (lParam & KF_ALTDOWN_BIT)) {
            if (Window* top = TopLevelOf(w))
                PostMessage(top->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else if (wParam == static_cast<WPARAM>(VK_F10) && !(lParam & KF_ALTDOWN_BIT)) {
            // F10 opens the menu bar of the window's frame, from any child.
            if (Window* top = TopLevelOf(w))
                SendMessage(top->hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0);
        }
        return 0;
    case WM_SYSCHAR:
        // Alt+letter: the mnemonic of a menu bar title, from any child of the frame.
        if (Window* top = TopLevelOf(w)) {
            if (top->menu)
                SendMessage(top->hwnd, WM_SYSCOMMAND, SC_KEYMENU, wParam);
        }
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            // A greyed close item of the system menu refuses the close.
            if (Window* top = TopLevelOf(w); top && SystemCloseEnabled(top->hwnd))
                SendMessage(top->hwnd, WM_CLOSE, 0, 0);
        } else if ((wParam & 0xFFF0) == SC_KEYMENU || (wParam & 0xFFF0) == SC_MOUSEMENU) {
            if (Window* top = TopLevelOf(w))
                MenuBarCommand(top->hwnd, wParam & 0xFFF0, lParam);
        }
        return 0;
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_MOUSEACTIVATE:
        return 1; // MA_ACTIVATE
    default:
        return 0;
    }
}

// --- Coordinates ---------------------------------------------------------------------------------

BOOL ClientToScreen(HWND hwnd, POINT* pt) {
    Window* w = FindWindow(hwnd, "ClientToScreen");
    if (!w || !pt)
        return FALSE;
    const RECT c = ClientOnScreen(w);
    pt->x += c.left;
    pt->y += c.top;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* pt) {
    Window* w = FindWindow(hwnd, "ScreenToClient");
    if (!w || !pt)
        return FALSE;
    const RECT c = ClientOnScreen(w);
    pt->x -= c.left;
    pt->y -= c.top;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* pts, UINT count) {
    POINT o{0, 0};
    if (from && !ClientToScreen(from, &o))
        return 0;
    POINT t{0, 0};
    if (to && !ClientToScreen(to, &t))
        return 0;
    const int dx = o.x - t.x, dy = o.y - t.y;
    for (UINT i = 0; pts && i < count; ++i) {
        pts[i].x += dx;
        pts[i].y += dy;
    }
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

namespace {

bool pointIn(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// Deepest visible child of w containing the screen point, w itself if none.
Window* deepestAt(Window* w, POINT screen, bool skipTransparent) {
    const RECT c = ClientOnScreen(w);
    if (!pointIn(c, screen))
        return w;
    for (HWND k : w->children) {
        Window* kw = FindWindow(k);
        if (!kw || !(kw->style & WS_VISIBLE))
            continue;
        RECT r = kw->rect;
        r.left += c.left;
        r.right += c.left;
        r.top += c.top;
        r.bottom += c.top;
        if (!pointIn(r, screen))
            continue;
        if (skipTransparent) {
            const bool isStatic = ClassIs(kw, "STATIC");
            const bool isGroup = ClassIs(kw, "BUTTON") && (kw->style & 0xF) == 7; // BS_GROUPBOX
            if (isStatic || isGroup)
                continue;
        }
        return deepestAt(kw, screen, skipTransparent);
    }
    return w;
}

} // namespace

} // namespace plat

namespace plat::core {

// The window under a screen point: the front-most visible top-level window containing it, then
// its deepest visible child. Statics and group boxes are skipped when `forMouse` is set.
Window* WindowAtPoint(POINT screen, bool forMouse) {
    for (HWND t : state().topLevels) {
        Window* w = FindWindow(t);
        if (!w || !(w->style & WS_VISIBLE))
            continue;
        RECT r = w->rect;
        if (!(r.left <= screen.x && screen.x < r.right && r.top <= screen.y && screen.y < r.bottom))
            continue;
        return plat::deepestAt(w, screen, forMouse);
    }
    return nullptr;
}

} // namespace plat::core

namespace plat {

HWND WindowFromPoint(POINT pt) {
    Window* w = WindowAtPoint(pt, false);
    return w ? w->hwnd : nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT pt) {
    Window* p = FindWindow(parent, "ChildWindowFromPoint");
    if (!p)
        return nullptr;
    if (pt.x < 0 || pt.y < 0 || pt.x >= p->clientWidth() || pt.y >= p->clientHeight())
        return nullptr;
    for (HWND k : p->children) {
        Window* kw = FindWindow(k);
        if (kw && pt.x >= kw->rect.left && pt.x < kw->rect.right && pt.y >= kw->rect.top &&
            pt.y < kw->rect.bottom)
            return k;
    }
    return parent;
}

// --- System colours and metrics
// -------------------------------------------------------------------

DWORD GetSysColor(int index) {
    // The classic 3-D scheme.
    static const COLORREF kColors[31] = {
        RGB(192, 192, 192), // scroll bar
        RGB(0, 128, 128),   // desktop
        RGB(0, 0, 128),     // active caption
        RGB(128, 128, 128), // inactive caption
        RGB(192, 192, 192), // menu
        RGB(255, 255, 255), // window
        RGB(0, 0, 0),       // window frame
        RGB(0, 0, 0),       // menu text
        RGB(0, 0, 0),       // window text
        RGB(255, 255, 255), // caption text
        RGB(192, 192, 192), // active border
        RGB(192, 192, 192), // inactive border
        RGB(128, 128, 128), // application workspace
        RGB(0, 0, 128),     // highlight
        RGB(255, 255, 255), // highlight text
        RGB(192, 192, 192), // button face
        RGB(128, 128, 128), // button shadow
        RGB(128, 128, 128), // grey text
        RGB(0, 0, 0),       // button text
        RGB(192, 192, 192), // inactive caption text
        RGB(255, 255, 255), // button highlight
        RGB(0, 0, 0),       // 3-D dark shadow
        RGB(255, 255, 255), // 3-D light
        RGB(0, 0, 0),       // tooltip text
        RGB(255, 255, 225), // tooltip background
        RGB(180, 180, 180), // (unassigned)
        RGB(0, 0, 255),     // hot-tracked item
        RGB(16, 132, 208),  // active caption gradient
        RGB(181, 181, 181), // inactive caption gradient
        RGB(0, 0, 128),     // menu highlight
        RGB(192, 192, 192), // menu bar
    };
    if (index < 0 || index > 30)
        return 0;
    return kColors[index];
}

int ScreenDpi() {
    const char* env = std::getenv("KV_SCREEN_DPI");
    if (env) {
        const int v = std::atoi(env);
        if (v == 72 || v == 96 || v == 120 || v == 144)
            return v;
    }
    return 96;
}

int GetSystemMetrics(int index) {
    // Windows are placed on the screen the user sees; with no display (tests) that is the
    // virtual screen.
    const SIZE screen = backend().screenSize();
    const int kWidth = screen.cx, kHeight = screen.cy;
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
    case SM_CXVIRTUALSCREEN:
        return kWidth;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
        return kHeight;
    case SM_CYFULLSCREEN:
        return kHeight - kCaption;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
        return kScrollBar;
    case SM_CYCAPTION:
        return kCaption;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return kDialogFrame;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return kSizingFrame;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CYMENU:
        return 19;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 4;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    case SM_CMONITORS:
        return 1;
    default:
        return 0;
    }
}

bool OpenDisplay() {
    return backend().open();
}

} // namespace plat
