// The X11 back end: one X window per top-level window, showing its backing image with XPutImage,
// and X input turned into back-end events (virtual keys and cp1252 characters).

#include "backend/Backend.h"
#include "core/win/WinInternal.h"
#include "plat/Input.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace plat::x11 {

namespace {

// X errors arrive asynchronously (a window gone between two requests); they are logged, never
// fatal.
int onXError(Display* d, XErrorEvent* e) {
    char text[128];
    XGetErrorText(d, e->error_code, text, sizeof text);
    core::Diagnostic(std::string("X error: ") + text);
    return 0;
}

char32_t unicodeOfKeysym(KeySym ks) {
    if ((ks >= 0x20 && ks <= 0x7E) || (ks >= 0xA0 && ks <= 0xFF))
        return static_cast<char32_t>(ks);
    if ((ks & 0xFF000000) == 0x01000000)
        return static_cast<char32_t>(ks & 0x00FFFFFF);
    switch (ks) {
    case XK_EuroSign:
        return 0x20AC;
    case XK_BackSpace:
        return 0x08;
    case XK_Tab:
    case XK_ISO_Left_Tab:
        return 0x09;
    case XK_Return:
    case XK_KP_Enter:
        return 0x0D;
    case XK_Escape:
        return 0x1B;
    case XK_KP_Space:
        return ' ';
    case XK_KP_Multiply:
        return '*';
    case XK_KP_Add:
        return '+';
    case XK_KP_Separator:
        return ',';
    case XK_KP_Subtract:
        return '-';
    case XK_KP_Decimal:
        return '.';
    case XK_KP_Divide:
        return '/';
    default:
        if (ks >= XK_KP_0 && ks <= XK_KP_9)
            return static_cast<char32_t>('0' + (ks - XK_KP_0));
        return 0;
    }
}

// One cp1252 byte for a Unicode character, 0 when it has none.
BYTE cp1252Of(char32_t u) {
    if (u == 0)
        return 0;
    std::string utf8;
    if (u < 0x80) {
        return static_cast<BYTE>(u);
    } else if (u < 0x800) {
        utf8 += static_cast<char>(0xC0 | (u >> 6));
        utf8 += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (u >> 12));
        utf8 += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        return 0;
    }
    const std::string b = core::Cp1252FromUtf8Text(utf8);
    if (b.size() != 1 || b[0] == '?')
        return 0;
    return static_cast<BYTE>(b[0]);
}

// Virtual keys of the keys that are not characters.
int vkOfFunctionKeysym(KeySym ks) {
    struct Pair {
        KeySym ks;
        int vk;
    };
    static const Pair kTable[] = {
        {XK_BackSpace, VK_BACK},
        {XK_Tab, VK_TAB},
        {XK_ISO_Left_Tab, VK_TAB},
        {XK_Return, VK_RETURN},
        {XK_KP_Enter, VK_RETURN},
        {XK_Shift_L, VK_SHIFT},
        {XK_Shift_R, VK_SHIFT},
        {XK_Control_L, VK_CONTROL},
        {XK_Control_R, VK_CONTROL},
        {XK_Alt_L, VK_MENU},
        {XK_Alt_R, VK_MENU},
        {XK_Meta_L, VK_MENU},
        {XK_Meta_R, VK_MENU},
        {XK_Pause, VK_PAUSE},
        {XK_Caps_Lock, VK_CAPITAL},
        {XK_Escape, VK_ESCAPE},
        {XK_space, VK_SPACE},
        {XK_Prior, VK_PRIOR},
        {XK_Next, VK_NEXT},
        {XK_End, VK_END},
        {XK_Home, VK_HOME},
        {XK_Left, VK_LEFT},
        {XK_Up, VK_UP},
        {XK_Right, VK_RIGHT},
        {XK_Down, VK_DOWN},
        {XK_Select, VK_SELECT},
        {XK_Print, VK_SNAPSHOT},
        {XK_Insert, VK_INSERT},
        {XK_Delete, VK_DELETE},
        {XK_Help, VK_HELP},
        {XK_Super_L, VK_LWIN},
        {XK_Super_R, VK_RWIN},
        {XK_Menu, VK_APPS},
        {XK_KP_Multiply, VK_MULTIPLY},
        {XK_KP_Add, VK_ADD},
        {XK_KP_Separator, VK_SEPARATOR},
        {XK_KP_Subtract, VK_SUBTRACT},
        {XK_KP_Decimal, VK_DECIMAL},
        {XK_KP_Divide, VK_DIVIDE},
        {XK_KP_Home, VK_HOME},
        {XK_KP_End, VK_END},
        {XK_KP_Prior, VK_PRIOR},
        {XK_KP_Next, VK_NEXT},
        {XK_KP_Left, VK_LEFT},
        {XK_KP_Up, VK_UP},
        {XK_KP_Right, VK_RIGHT},
        {XK_KP_Down, VK_DOWN},
        {XK_KP_Insert, VK_INSERT},
        {XK_KP_Delete, VK_DELETE},
        {XK_KP_Begin, VK_CLEAR},
        {XK_Num_Lock, VK_NUMLOCK},
        {XK_Scroll_Lock, VK_SCROLL},
    };
    for (const Pair& p : kTable) {
        if (p.ks == ks)
            return p.vk;
    }
    if (ks >= XK_KP_0 && ks <= XK_KP_9)
        return VK_NUMPAD0 + static_cast<int>(ks - XK_KP_0);
    if (ks >= XK_F1 && ks <= XK_F24)
        return VK_F1 + static_cast<int>(ks - XK_F1);
    return 0;
}

// Character keys take their code from the unshifted keysym, as on a US keyboard.
int vkOfCharacterKeysym(KeySym ks) {
    if (ks >= XK_a && ks <= XK_z)
        return static_cast<int>('A' + (ks - XK_a));
    if (ks >= XK_A && ks <= XK_Z)
        return static_cast<int>(ks);
    if (ks >= XK_0 && ks <= XK_9)
        return static_cast<int>(ks);
    switch (ks) {
    case XK_semicolon:
        return VK_OEM_1;
    case XK_equal:
        return VK_OEM_PLUS;
    case XK_comma:
        return VK_OEM_COMMA;
    case XK_minus:
        return VK_OEM_MINUS;
    case XK_period:
        return VK_OEM_PERIOD;
    case XK_slash:
        return VK_OEM_2;
    case XK_grave:
        return VK_OEM_3;
    case XK_bracketleft:
        return VK_OEM_4;
    case XK_backslash:
        return VK_OEM_5;
    case XK_bracketright:
        return VK_OEM_6;
    case XK_apostrophe:
        return VK_OEM_7;
    case XK_less:
        return VK_OEM_102;
    default:
        return 0;
    }
}

int cursorShape(int id) {
    switch (id) {
    case 32513:
        return XC_xterm;
    case 32514:
    case 32650:
        return XC_watch;
    case 32515:
        return XC_crosshair;
    case 32516:
        return XC_sb_up_arrow;
    case 32642:
        return XC_bottom_right_corner;
    case 32643:
        return XC_bottom_left_corner;
    case 32644:
        return XC_sb_h_double_arrow;
    case 32645:
        return XC_sb_v_double_arrow;
    case 32646:
        return XC_fleur;
    case 32648:
        return XC_pirate;
    case 32649:
        return XC_hand2;
    default:
        return XC_left_ptr;
    }
}

struct TopWindow {
    ::Window xwin = 0;
    XIC ic = nullptr;
    RECT client;
    bool mapped = false;
};

} // namespace

class X11Backend final : public Backend {
public:
    ~X11Backend() override;
    bool open() override;
    bool headless() const override { return false; }
    void createTopLevel(HWND hwnd, const RECT& client, DWORD style, DWORD exStyle, HWND owner,
                        const std::string& title) override;
    void destroyTopLevel(HWND hwnd) override;
    void setTitle(HWND hwnd, const std::string& title) override;
    void show(HWND hwnd, bool visible) override;
    void moveResize(HWND hwnd, const RECT& client) override;
    void raise(HWND hwnd) override;
    void present(HWND hwnd, cairo_surface_t* image, const RECT& rect) override;
    bool poll(BackendEvent& ev) override;
    bool wait(int timeoutMs) override;
    void wake() override;
    POINT pointer() override;
    bool asyncKeyDown(int vk) override;
    void setCursor(int standardId) override;
    void grabPointer(HWND hwnd) override;
    void beep(UINT type) override;
    DWORD now() override;
    void sleep(DWORD ms) override;
    bool readBack(HWND hwnd, std::vector<std::uint32_t>& pixels, int& width, int& height) override;

private:
    bool translate(XEvent& xe, BackendEvent& ev);
    void translateKey(XKeyEvent& xk, BackendEvent& ev);
    HWND hwndOf(::Window w) const;
    TopWindow* find(HWND hwnd);
    RECT clampToScreen(const RECT& r) const;
    void queueClampReport(HWND hwnd, const RECT& asked, const RECT& placed);

    Display* m_display = nullptr;
    bool m_tried = false;
    int m_screen = 0;
    Visual* m_visual = nullptr;
    int m_depth = 0;
    GC m_gc = nullptr;
    XIM m_im = nullptr;
    int m_wakePipe[2] = {-1, -1};
    std::map<HWND, TopWindow> m_windows;
    Atom m_wmProtocols = 0, m_wmDelete = 0, m_netWmName = 0, m_utf8 = 0, m_netWmState = 0,
         m_netWmStateAbove = 0, m_netWmType = 0, m_netWmTypeDialog = 0, m_netWmTypeUtility = 0;
    Cursor m_cursor = 0;
    int m_cursorId = 32512;
    std::map<int, Cursor> m_cursors;
    // Events the back end makes itself (a window clamped to the screen), served first.
    std::deque<BackendEvent> m_synthetic;
};

X11Backend::~X11Backend() {
    if (m_display)
        XCloseDisplay(m_display);
}

bool X11Backend::open() {
    if (m_display)
        return true;
    if (m_tried)
        return false;
    m_tried = true;
    // Xutf8LookupString and the input method follow the locale's character type.
    if (std::strcmp(std::setlocale(LC_CTYPE, nullptr), "C") == 0)
        std::setlocale(LC_CTYPE, "");
    m_display = XOpenDisplay(nullptr);
    if (!m_display)
        return false;
    XSetErrorHandler(&onXError);
    m_screen = DefaultScreen(m_display);
    m_visual = DefaultVisual(m_display, m_screen);
    m_depth = DefaultDepth(m_display, m_screen);
    m_gc = XCreateGC(m_display, RootWindow(m_display, m_screen), 0, nullptr);
    Bool detectable = False;
    XkbSetDetectableAutoRepeat(m_display, True, &detectable);
    XSetLocaleModifiers("");
    m_im = XOpenIM(m_display, nullptr, nullptr, nullptr);
    if (pipe(m_wakePipe) == 0) {
        fcntl(m_wakePipe[0], F_SETFL, O_NONBLOCK);
        fcntl(m_wakePipe[1], F_SETFL, O_NONBLOCK);
    }
    m_wmProtocols = XInternAtom(m_display, "WM_PROTOCOLS", False);
    m_wmDelete = XInternAtom(m_display, "WM_DELETE_WINDOW", False);
    m_netWmName = XInternAtom(m_display, "_NET_WM_NAME", False);
    m_utf8 = XInternAtom(m_display, "UTF8_STRING", False);
    m_netWmState = XInternAtom(m_display, "_NET_WM_STATE", False);
    m_netWmStateAbove = XInternAtom(m_display, "_NET_WM_STATE_ABOVE", False);
    m_netWmType = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE", False);
    m_netWmTypeDialog = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    m_netWmTypeUtility = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_UTILITY", False);
    m_cursor = XCreateFontCursor(m_display, XC_left_ptr);
    m_cursors[32512] = m_cursor;
    return true;
}

TopWindow* X11Backend::find(HWND hwnd) {
    auto it = m_windows.find(hwnd);
    return it == m_windows.end() ? nullptr : &it->second;
}

HWND X11Backend::hwndOf(::Window w) const {
    for (const auto& [h, t] : m_windows) {
        if (t.xwin == w)
            return h;
    }
    return nullptr;
}

void X11Backend::createTopLevel(HWND hwnd, const RECT& client, DWORD style, DWORD exStyle,
                                HWND owner, const std::string& title) {
    if (!m_display)
        return;
    TopWindow t;
    // The program lays out on its virtual screen; a real screen may be smaller. A window that
    // would run off it is pulled inside and, if need be, shrunk to it; the core then hears the
    // real rectangle through the same path as a window-manager move.
    const RECT placed = clampToScreen(client);
    t.client = placed;
    XSetWindowAttributes attrs;
    std::memset(&attrs, 0, sizeof attrs);
    attrs.background_pixel = WhitePixel(m_display, m_screen);
    attrs.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                       PointerMotionMask | ExposureMask | StructureNotifyMask | FocusChangeMask;
    attrs.cursor = m_cursor;
    // Popups without a caption (menus, drop-downs) are placed and stacked by us alone.
    attrs.override_redirect =
        (style & WS_POPUP) && (style & WS_CAPTION) != WS_CAPTION && !(exStyle & WS_EX_TOOLWINDOW)
            ? True
            : False;
    const int w = std::max<int>(placed.right - placed.left, 1);
    const int h = std::max<int>(placed.bottom - placed.top, 1);
    t.xwin = XCreateWindow(m_display, RootWindow(m_display, m_screen), placed.left, placed.top,
                           static_cast<unsigned>(w), static_cast<unsigned>(h), 0, CopyFromParent,
                           InputOutput, CopyFromParent,
                           CWBackPixel | CWEventMask | CWCursor | CWOverrideRedirect, &attrs);
    XSetWMProtocols(m_display, t.xwin, &m_wmDelete, 1);
    XSizeHints hints;
    std::memset(&hints, 0, sizeof hints);
    hints.flags = USPosition | PPosition | PSize;
    hints.x = placed.left;
    hints.y = placed.top;
    hints.width = w;
    hints.height = h;
    XSetWMNormalHints(m_display, t.xwin, &hints);
    if (owner) {
        if (TopWindow* o = find(owner))
            XSetTransientForHint(m_display, t.xwin, o->xwin);
    }
    if (exStyle & WS_EX_TOPMOST) {
        XChangeProperty(m_display, t.xwin, m_netWmState, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&m_netWmStateAbove), 1);
    }
    Atom type = (exStyle & WS_EX_TOOLWINDOW) ? m_netWmTypeUtility : owner ? m_netWmTypeDialog : 0;
    if (type)
        XChangeProperty(m_display, t.xwin, m_netWmType, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&type), 1);
    if (m_im) {
        t.ic = XCreateIC(m_im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow,
                         t.xwin, XNFocusWindow, t.xwin, nullptr);
        if (t.ic) {
            long mask = 0;
            XGetICValues(t.ic, XNFilterEvents, &mask, nullptr);
            XSelectInput(m_display, t.xwin, attrs.event_mask | mask);
        }
    }
    m_windows[hwnd] = t;
    setTitle(hwnd, title);
    queueClampReport(hwnd, client, placed);
}

// The core learns the rectangle the window really got as from a window-manager move, so the
// program hears the real size through WM_SIZE.
void X11Backend::queueClampReport(HWND hwnd, const RECT& asked, const RECT& placed) {
    if (placed.left == asked.left && placed.top == asked.top && placed.right == asked.right &&
        placed.bottom == asked.bottom)
        return;
    BackendEvent ev;
    ev.kind = BackendEvent::Kind::Configure;
    ev.hwnd = hwnd;
    ev.rect = placed;
    m_synthetic.push_back(ev);
}

RECT X11Backend::clampToScreen(const RECT& r) const {
    const int sw = DisplayWidth(m_display, m_screen), sh = DisplayHeight(m_display, m_screen);
    const int w = std::clamp<int>(r.right - r.left, 0, sw);
    const int h = std::clamp<int>(r.bottom - r.top, 0, sh);
    const int x = std::clamp<int>(r.left, 0, std::max(sw - w, 0));
    const int y = std::clamp<int>(r.top, 0, std::max(sh - h, 0));
    return RECT{x, y, x + w, y + h};
}

void X11Backend::destroyTopLevel(HWND hwnd) {
    TopWindow* t = find(hwnd);
    if (!t)
        return;
    if (t->ic)
        XDestroyIC(t->ic);
    XDestroyWindow(m_display, t->xwin);
    XFlush(m_display);
    m_windows.erase(hwnd);
}

void X11Backend::setTitle(HWND hwnd, const std::string& title) {
    TopWindow* t = find(hwnd);
    if (!t)
        return;
    const std::string utf8 = core::Utf8FromCp1252Text(title);
    XChangeProperty(m_display, t->xwin, m_netWmName, m_utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()),
                    static_cast<int>(utf8.size()));
    XStoreName(m_display, t->xwin, utf8.c_str());
}

void X11Backend::show(HWND hwnd, bool visible) {
    TopWindow* t = find(hwnd);
    if (!t)
        return;
    if (visible)
        XMapRaised(m_display, t->xwin);
    else
        XUnmapWindow(m_display, t->xwin);
    XFlush(m_display);
}

void X11Backend::moveResize(HWND hwnd, const RECT& client) {
    TopWindow* t = find(hwnd);
    if (!t)
        return;
    // The program placed the window again: a clamp still waiting to be reported is out of date.
    m_synthetic.erase(std::remove_if(m_synthetic.begin(), m_synthetic.end(),
                                     [&](const BackendEvent& e) { return e.hwnd == hwnd; }),
                      m_synthetic.end());
    // A placement made for the virtual screen (a saved frame position) is kept on the real one
    // as at creation.
    const RECT placed = clampToScreen(client);
    t->client = placed;
    XMoveResizeWindow(m_display, t->xwin, placed.left, placed.top,
                      static_cast<unsigned>(std::max<int>(placed.right - placed.left, 1)),
                      static_cast<unsigned>(std::max<int>(placed.bottom - placed.top, 1)));
    XFlush(m_display);
    queueClampReport(hwnd, client, placed);
}

void X11Backend::raise(HWND hwnd) {
    TopWindow* t = find(hwnd);
    if (!t)
        return;
    XRaiseWindow(m_display, t->xwin);
    if (t->mapped)
        XSetInputFocus(m_display, t->xwin, RevertToParent, CurrentTime);
    XFlush(m_display);
}

void X11Backend::present(HWND hwnd, cairo_surface_t* image, const RECT& rect) {
    TopWindow* t = find(hwnd);
    if (!t || !image || rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    cairo_surface_flush(image);
    const int w = cairo_image_surface_get_width(image);
    const int h = cairo_image_surface_get_height(image);
    XImage* xi = XCreateImage(m_display, m_visual, static_cast<unsigned>(m_depth), ZPixmap, 0,
                              reinterpret_cast<char*>(cairo_image_surface_get_data(image)),
                              static_cast<unsigned>(w), static_cast<unsigned>(h), 32,
                              cairo_image_surface_get_stride(image));
    if (!xi)
        return;
    XPutImage(m_display, t->xwin, m_gc, xi, rect.left, rect.top, rect.left, rect.top,
              static_cast<unsigned>(rect.right - rect.left),
              static_cast<unsigned>(rect.bottom - rect.top));
    xi->data = nullptr; // the pixels belong to the backing image
    XDestroyImage(xi);
    XFlush(m_display);
}

void X11Backend::translateKey(XKeyEvent& xk, BackendEvent& ev) {
    ev.kind = xk.type == KeyPress ? BackendEvent::Kind::KeyDown : BackendEvent::Kind::KeyUp;
    const KeySym unshifted = XLookupKeysym(&xk, 0);
    KeySym typedSym = NoSymbol;
    char32_t typed = 0;
    if (xk.type == KeyPress) {
        TopWindow* t = find(hwndOf(xk.window));
        char buf[64];
        Status status = 0;
        int n = 0;
        if (t && t->ic) {
            n = Xutf8LookupString(t->ic, &xk, buf, sizeof buf - 1, &typedSym, &status);
            if (status != XLookupChars && status != XLookupBoth)
                n = 0;
        } else {
            n = XLookupString(&xk, buf, sizeof buf - 1, &typedSym, nullptr);
            // XLookupString gives Latin-1 text.
            if (n == 1)
                typed = static_cast<unsigned char>(buf[0]);
            n = 0;
        }
        if (n > 0) {
            buf[n] = '\0';
            const std::string b =
                core::Cp1252FromUtf8Text(std::string(buf, static_cast<std::size_t>(n)));
            if (b.size() == 1 && !(b[0] == '?' && buf[0] != '?'))
                ev.typed = static_cast<BYTE>(b[0]);
            else
                beep(0); // a character the code page cannot hold is dropped
        } else if (typed) {
            ev.typed = cp1252Of(typed);
        }
        if (typedSym == NoSymbol)
            typedSym = XLookupKeysym(&xk, 0);
        // The base character: Shift and AltGr as held, Ctrl and Alt not applied (and Caps Lock
        // ignored while either is held).
        XKeyEvent plain = xk;
        const bool ctrlOrAlt = (xk.state & (ControlMask | Mod1Mask)) != 0;
        plain.state &= ~(ControlMask | Mod1Mask);
        if (ctrlOrAlt)
            plain.state &= ~LockMask;
        KeySym baseSym = NoSymbol;
        char bb[16];
        XLookupString(&plain, bb, sizeof bb, &baseSym, nullptr);
        ev.base = cp1252Of(unicodeOfKeysym(baseSym));
        ev.dead = typedSym >= XK_dead_grave && typedSym <= XK_dead_greek;
        if (ev.dead)
            ev.typed = 0;
    } else {
        typedSym = XLookupKeysym(&xk, 0);
    }
    const KeySym anySym = typedSym != NoSymbol ? typedSym : unshifted;
    ev.keypad = IsKeypadKey(anySym) || IsKeypadKey(unshifted);
    ev.altGr = (xk.state & Mod5Mask) != 0;
    int vk = vkOfFunctionKeysym(anySym);
    if (!vk)
        vk = vkOfFunctionKeysym(unshifted);
    if (!vk)
        vk = vkOfCharacterKeysym(unshifted);
    if (!vk) {
        // Layouts whose unshifted key is not ASCII (the French digit row) use the shifted one.
        const KeySym shifted = XLookupKeysym(&xk, 1);
        vk = vkOfCharacterKeysym(shifted);
        if (!vk && unshifted != NoSymbol && unicodeOfKeysym(unshifted))
            vk = VK_OEM_8;
    }
    if (unshifted == XK_ISO_Level3_Shift || unshifted == XK_Mode_switch)
        vk = -1; // AltGr is a modifier of its own, never reported as Ctrl+Alt
    ev.vk = vk < 0 ? 0 : vk;
    if (vk < 0)
        ev.typed = 0;
}

bool X11Backend::translate(XEvent& xe, BackendEvent& ev) {
    using K = BackendEvent::Kind;
    ev = BackendEvent{};
    switch (xe.type) {
    case KeyPress:
    case KeyRelease:
        ev.hwnd = hwndOf(xe.xkey.window);
        translateKey(xe.xkey, ev);
        // A key that is neither a known key nor a character is ignored.
        return ev.vk != 0 || ev.typed != 0;
    case ButtonPress:
    case ButtonRelease: {
        ev.hwnd = hwndOf(xe.xbutton.window);
        ev.screen = POINT{xe.xbutton.x_root, xe.xbutton.y_root};
        const unsigned b = xe.xbutton.button;
        if (b == 4 || b == 5) {
            if (xe.type != ButtonPress)
                return false;
            ev.kind = K::Wheel;
            ev.wheel = b == 4 ? 1 : -1;
            return true;
        }
        if (b < 1 || b > 3)
            return false;
        ev.kind = xe.type == ButtonPress ? K::ButtonDown : K::ButtonUp;
        ev.button = b == 1 ? 0 : b == 3 ? 1 : 2;
        return true;
    }
    case MotionNotify:
        ev.kind = K::Motion;
        ev.hwnd = hwndOf(xe.xmotion.window);
        ev.screen = POINT{xe.xmotion.x_root, xe.xmotion.y_root};
        return true;
    case Expose:
        ev.kind = K::Exposed;
        ev.hwnd = hwndOf(xe.xexpose.window);
        ev.rect = RECT{xe.xexpose.x, xe.xexpose.y, xe.xexpose.x + xe.xexpose.width,
                       xe.xexpose.y + xe.xexpose.height};
        return ev.hwnd != nullptr;
    case ConfigureNotify: {
        ev.hwnd = hwndOf(xe.xconfigure.window);
        TopWindow* t = find(ev.hwnd);
        if (!t)
            return false;
        int x = xe.xconfigure.x, y = xe.xconfigure.y;
        ::Window child;
        XTranslateCoordinates(m_display, t->xwin, RootWindow(m_display, m_screen), 0, 0, &x, &y,
                              &child);
        const RECT r{x, y, x + xe.xconfigure.width, y + xe.xconfigure.height};
        if (r.left == t->client.left && r.top == t->client.top && r.right == t->client.right &&
            r.bottom == t->client.bottom)
            return false;
        t->client = r;
        ev.kind = K::Configure;
        ev.rect = r;
        return true;
    }
    case MapNotify: {
        const HWND h = hwndOf(xe.xmap.window);
        if (TopWindow* t = find(h)) {
            t->mapped = true;
            // Without a window manager nobody else gives the active window the keyboard.
            if (core::state().active == h)
                XSetInputFocus(m_display, t->xwin, RevertToParent, CurrentTime);
        }
        return false;
    }
    case UnmapNotify:
        if (TopWindow* t = find(hwndOf(xe.xunmap.window)))
            t->mapped = false;
        return false;
    case ClientMessage:
        if (static_cast<Atom>(xe.xclient.data.l[0]) == m_wmDelete) {
            ev.kind = K::Close;
            ev.hwnd = hwndOf(xe.xclient.window);
            return ev.hwnd != nullptr;
        }
        return false;
    case FocusIn:
    case FocusOut:
        if (xe.xfocus.mode != NotifyNormal && xe.xfocus.mode != NotifyWhileGrabbed)
            return false;
        ev.hwnd = hwndOf(xe.xfocus.window);
        if (TopWindow* t = find(ev.hwnd)) {
            if (t->ic) {
                if (xe.type == FocusIn)
                    XSetICFocus(t->ic);
                else
                    XUnsetICFocus(t->ic);
            }
        }
        ev.kind = xe.type == FocusIn ? K::FocusGained : K::FocusLost;
        return ev.hwnd != nullptr;
    default:
        return false;
    }
}

bool X11Backend::poll(BackendEvent& ev) {
    if (!m_display)
        return false;
    char drain[64];
    while (m_wakePipe[0] >= 0 && read(m_wakePipe[0], drain, sizeof drain) > 0) {
    }
    while (!m_synthetic.empty()) {
        ev = m_synthetic.front();
        m_synthetic.pop_front();
        // A window destroyed meanwhile has nothing left to configure.
        if (find(ev.hwnd)) {
            ev.time = now();
            return true;
        }
    }
    while (XPending(m_display)) {
        XEvent xe;
        XNextEvent(m_display, &xe);
        if (XFilterEvent(&xe, None))
            continue;
        if (translate(xe, ev)) {
            ev.time = now();
            return true;
        }
    }
    return false;
}

bool X11Backend::wait(int timeoutMs) {
    if (!m_display) {
        if (timeoutMs < 0)
            return false;
        sleep(static_cast<DWORD>(timeoutMs));
        return true;
    }
    XFlush(m_display);
    if (!m_synthetic.empty() || XPending(m_display))
        return true;
    pollfd fds[2];
    fds[0].fd = ConnectionNumber(m_display);
    fds[0].events = POLLIN;
    fds[1].fd = m_wakePipe[0];
    fds[1].events = POLLIN;
    ::poll(fds, m_wakePipe[0] >= 0 ? 2 : 1, timeoutMs);
    return true;
}

void X11Backend::wake() {
    if (m_wakePipe[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = write(m_wakePipe[1], &c, 1);
    }
}

POINT X11Backend::pointer() {
    if (!m_display)
        return POINT{};
    ::Window root, child;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(m_display, RootWindow(m_display, m_screen), &root, &child, &rx, &ry, &wx, &wy,
                  &mask);
    return POINT{rx, ry};
}

bool X11Backend::asyncKeyDown(int vk) {
    if (!m_display)
        return false;
    if (vk == VK_LBUTTON || vk == VK_RBUTTON || vk == VK_MBUTTON) {
        ::Window root, child;
        int rx, ry, wx, wy;
        unsigned mask = 0;
        XQueryPointer(m_display, RootWindow(m_display, m_screen), &root, &child, &rx, &ry, &wx, &wy,
                      &mask);
        return (mask & (vk == VK_LBUTTON   ? Button1Mask
                        : vk == VK_RBUTTON ? Button3Mask
                                           : Button2Mask)) != 0;
    }
    char keys[32];
    XQueryKeymap(m_display, keys);
    int minKc = 0, maxKc = 0;
    XDisplayKeycodes(m_display, &minKc, &maxKc);
    for (int kc = minKc; kc <= maxKc; ++kc) {
        if (!(keys[kc / 8] & (1 << (kc % 8))))
            continue;
        const KeySym ks = XkbKeycodeToKeysym(m_display, static_cast<KeyCode>(kc), 0, 0);
        const int v = vkOfFunctionKeysym(ks) ? vkOfFunctionKeysym(ks) : vkOfCharacterKeysym(ks);
        if (v == vk)
            return true;
    }
    return false;
}

void X11Backend::setCursor(int standardId) {
    if (!m_display)
        return;
    if (standardId == 0)
        standardId = 32512; // FIXME: a hidden pointer; the arrow stands in
    if (standardId == m_cursorId)
        return;
    m_cursorId = standardId;
    Cursor& c = m_cursors[standardId];
    if (!c)
        c = XCreateFontCursor(m_display, static_cast<unsigned>(cursorShape(standardId)));
    m_cursor = c;
    for (auto& [h, t] : m_windows)
        XDefineCursor(m_display, t.xwin, c);
    XFlush(m_display);
}

void X11Backend::grabPointer(HWND hwnd) {
    if (!m_display)
        return;
    if (TopWindow* t = find(hwnd)) {
        XGrabPointer(m_display, t->xwin, False,
                     ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                     GrabModeAsync, None, None, CurrentTime);
    } else {
        XUngrabPointer(m_display, CurrentTime);
    }
    XFlush(m_display);
}

void X11Backend::beep(UINT) {
    if (m_display) {
        XBell(m_display, 0);
        XFlush(m_display);
    }
}

DWORD X11Backend::now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u);
}

void X11Backend::sleep(DWORD ms) {
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0) {
    }
}

bool X11Backend::readBack(HWND hwnd, std::vector<std::uint32_t>& pixels, int& width, int& height) {
    TopWindow* t = find(hwnd);
    if (!t)
        return false;
    XSync(m_display, False);
    XWindowAttributes wa;
    if (!XGetWindowAttributes(m_display, t->xwin, &wa) || wa.map_state != IsViewable)
        return false;
    XImage* xi = XGetImage(m_display, t->xwin, 0, 0, static_cast<unsigned>(wa.width),
                           static_cast<unsigned>(wa.height), AllPlanes, ZPixmap);
    if (!xi)
        return false;
    width = wa.width;
    height = wa.height;
    pixels.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint32_t>(XGetPixel(xi, x, y)) & 0x00FFFFFF;
    XDestroyImage(xi);
    return true;
}

} // namespace plat::x11

namespace plat {
Backend& backend() {
    static x11::X11Backend b;
    return b;
}
} // namespace plat
