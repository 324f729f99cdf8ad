// The X11 back end: one X window per top-level window, showing its backing image with XPutImage,
// and X input turned into back-end events (virtual keys and cp1252 characters).

#include "backend/Backend.h"
#include "core/font/Encoding.h"
#include "core/sys/SelectionData.h"
#include "core/sys/SelectionServer.h"
#include "core/win/WinInternal.h"
#include "plat/Font.h"
#include "plat/Input.h"
#include "plat/System.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace plat::x11 {

namespace {

// Windows the display said do not exist, noted by the error handler (which may not call the
// display) and taken by the selection owner's side afterwards: another client's window gone
// before its requests were served.
std::vector<unsigned long>& missingWindows() {
    static std::vector<unsigned long> windows;
    return windows;
}

// X errors arrive asynchronously (a window gone between two requests); they are logged, never
// fatal.
int onXError(Display* d, XErrorEvent* e) {
    char text[128];
    XGetErrorText(d, e->error_code, text, sizeof text);
    core::Diagnostic(std::string("X error: ") + text);
    if (e->error_code == BadWindow && missingWindows().size() < 4096) {
        try {
            missingWindows().push_back(e->resourceid);
        } catch (const std::bad_alloc&) {
        }
    }
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

// The single byte of the active code page for a Unicode character, 0 when it has none (or only
// two bytes).
BYTE singleByteOf(char32_t u) {
    if (u == 0)
        return 0;
    std::string utf8;
    fontcore::AppendUtf8(utf8, u);
    std::vector<unsigned> codes;
    if (!AnsiCodesFromUtf8(utf8, codes) || codes.size() != 1 || codes[0] > 0xFF)
        return 0;
    return static_cast<BYTE>(codes[0]);
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
    // Mapped with every ancestor (a window manager's frame maps after its client): only then may
    // it take the keyboard, else XSetInputFocus fails with BadMatch.
    bool viewable = false;
    HWND owner = nullptr;
    // The window's parent: the root, or the frame a reparenting window manager put it in.
    ::Window parent = 0;
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
    void restyle(HWND hwnd) override;
    void raiseOwnedAbove(HWND hwnd);
    void focus(HWND hwnd) override;
    void present(HWND hwnd, cairo_surface_t* image, const RECT& rect) override;
    bool poll(BackendEvent& ev) override;
    bool wait(int timeoutMs) override;
    void wake() override;
    int signalWakeFd() override { return m_wakePipe[1]; }
    POINT pointer() override;
    bool asyncKeyDown(int vk) override;
    void setCursor(int standardId) override;
    void setImeSpot(HWND hwnd, POINT client) override;
    void grabPointer(HWND hwnd) override;
    void beep(UINT type) override;
    DWORD now() override;
    void sleep(DWORD ms) override;
    bool waitAnswering(int timeoutMs) override;
    void answerWhileBusy() override;
    bool readBack(HWND hwnd, std::vector<std::uint32_t>& pixels, int& width, int& height) override;
    void clipboardOffer(std::vector<ClipboardItem> items) override;
    bool clipboardOwned() override;
    std::vector<std::string> clipboardTypes() override;
    bool clipboardRead(const std::string& type, std::vector<std::uint8_t>& bytes) override;
    void clipboardFlush() override;
    SIZE screenSize() override;

private:
    // The selection owner's requests to the display.
    class SelectionPort final : public core::SelectionPort {
    public:
        explicit SelectionPort(X11Backend& backend)
            : m_backend(backend) {}
        void setProperty(core::XId window, core::XId property, core::XId type, int format,
                         const void* items, std::size_t count) override;
        void follow(core::XId window, bool on) override;
        core::XId clientOf(core::XId window) const override;
        std::uint32_t now() override { return m_backend.now(); }

    private:
        X11Backend& m_backend;
    };
    bool selectionEvent(XEvent& xe);
    void answerRequest(const XSelectionRequestEvent& req);
    // Drops the transfers to windows that are gone and those past their deadline.
    void tidyTransfers();
    // Asks the owner of `selection` for `target` and waits (bounded) for the answer.
    bool requestSelection(Atom selection, Atom target, std::vector<std::uint8_t>& bytes, Atom& type,
                          int& format);
    // Waits for an event accepted by `match`, serving selection requests meanwhile; false after
    // `timeoutMs` without one.
    bool waitForEvent(XEvent& out, int timeoutMs, const std::function<bool(const XEvent&)>& match);
    // Reads a property's whole value into `into` (within its limit) and deletes the property;
    // `items` is the number of items the value held. False when there is no such property or
    // its format cannot be taken.
    bool readProperty(::Window w, Atom property, core::SelectionData& into, Atom& type,
                      unsigned long& items);
    ::Window clipboardWindow();
    bool translate(XEvent& xe, BackendEvent& ev);
    // The window-manager protocols: false when the message needs no event of the core.
    bool protocolMessage(XClientMessageEvent& xc, BackendEvent& ev);
    // A window manager's _NET_WM_PING.
    bool isPing(const XClientMessageEvent& xc) const {
        return xc.message_type == m_wmProtocols && xc.format == 32 &&
               static_cast<Atom>(xc.data.l[0]) == m_netWmPing;
    }
    void takeFocus(::Window w, Time time);
    // The window the window manager shows as active (its _NET_ACTIVE_WINDOW on the root); 0
    // when there is none or no window manager says.
    ::Window wmActiveWindow();
    // Before `hwnd` is hidden or destroyed: if the window manager shows it as the active window,
    // the window the program activates next asks the window manager for that activation.
    void noteActiveLeaving(HWND hwnd, const TopWindow& t);
    // What the window manager reads of a top-level window: class, process, type, owner, hints
    // and protocols. Set before the window is first mapped.
    void applyWindowManagerHints(HWND hwnd, TopWindow& t);
    void makeLeader();
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
    Atom m_wmProtocols = 0, m_wmDelete = 0, m_wmTakeFocus = 0, m_netWmPing = 0, m_netWmPid = 0,
         m_wmClientLeader = 0, m_netWmName = 0, m_utf8 = 0, m_netWmState = 0,
         m_netWmStateAbove = 0, m_netWmType = 0, m_netWmTypeNormal = 0, m_netWmTypeDialog = 0,
         m_netWmTypeUtility = 0, m_netWmTypeSplash = 0, m_netWmTypePopupMenu = 0,
         m_netWmTypeTooltip = 0, m_motifWmHints = 0, m_netActiveWindow = 0;
    // The unmapped window that leads the group of the program's top-level windows.
    ::Window m_leader = 0;
    Cursor m_cursor = 0;
    int m_cursorId = 32512;
    // The keyboard as the server last told it, and when (see asyncKeyDown).
    char m_keymap[32] = {};
    DWORD m_keymapTime = 0;
    bool m_keymapKnown = false;
    std::map<int, Cursor> m_cursors;
    // Events the back end makes itself (a window clamped to the screen), served first.
    std::deque<BackendEvent> m_synthetic;
    // The clipboard: an unmapped window owns the CLIPBOARD selection and receives conversions.
    ::Window m_clipWindow = 0;
    Atom m_clipboardAtom = 0, m_targets = 0, m_timestamp = 0, m_multiple = 0, m_incr = 0,
         m_atomPair = 0, m_clipProperty = 0, m_manager = 0, m_saveTargets = 0;
    // Incoming INCR transfers given up (each leaves its property to the owner).
    unsigned m_abandonedTransfers = 0;
    Time m_ownTime = CurrentTime;
    Time m_lastEventTime = CurrentTime;
    // The window the program last made active (or followed the window manager to), and the
    // serial of the first request after that decision: focus reports made before it are old news.
    HWND m_focusWanted = nullptr;
    unsigned long m_focusSerial = 0;
    // The window the window manager showed as active when the program hid or destroyed it (a
    // message box that closes), until the program activates the next window or reads events.
    ::Window m_activeLeaving = 0;
    // Answers other clients' requests for what this program offers, and runs the INCR transfers.
    SelectionPort m_selectionPort{*this};
    std::unique_ptr<core::SelectionServer> m_selectionServer;
    // The types another owner offered, and when it was asked.
    ::Window m_typesOwner = 0;
    DWORD m_typesTime = 0;
    std::vector<std::string> m_types;
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
    // A locale the system does not have installed still types: its characters are read as
    // UTF-8 and converted to the program's code page.
    if (std::strcmp(std::setlocale(LC_CTYPE, nullptr), "C") == 0 &&
        std::setlocale(LC_CTYPE, "") == nullptr)
        std::setlocale(LC_CTYPE, "C.UTF-8");
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
    m_wmTakeFocus = XInternAtom(m_display, "WM_TAKE_FOCUS", False);
    m_netWmPing = XInternAtom(m_display, "_NET_WM_PING", False);
    m_netWmPid = XInternAtom(m_display, "_NET_WM_PID", False);
    m_wmClientLeader = XInternAtom(m_display, "WM_CLIENT_LEADER", False);
    m_netWmName = XInternAtom(m_display, "_NET_WM_NAME", False);
    m_utf8 = XInternAtom(m_display, "UTF8_STRING", False);
    m_netWmState = XInternAtom(m_display, "_NET_WM_STATE", False);
    m_netWmStateAbove = XInternAtom(m_display, "_NET_WM_STATE_ABOVE", False);
    m_netWmType = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE", False);
    m_netWmTypeDialog = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    m_netWmTypeUtility = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_UTILITY", False);
    m_netWmTypeNormal = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_NORMAL", False);
    m_netWmTypeSplash = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_SPLASH", False);
    m_netWmTypePopupMenu = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
    m_netWmTypeTooltip = XInternAtom(m_display, "_NET_WM_WINDOW_TYPE_TOOLTIP", False);
    m_motifWmHints = XInternAtom(m_display, "_MOTIF_WM_HINTS", False);
    m_netActiveWindow = XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False);
    makeLeader();
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

void X11Backend::createTopLevel(HWND hwnd, const RECT& client, DWORD /*style*/, DWORD /*exStyle*/,
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
                       PointerMotionMask | ExposureMask | StructureNotifyMask | FocusChangeMask |
                       VisibilityChangeMask;
    attrs.cursor = m_cursor;
    // Menus and balloons are placed and stacked by us alone: no window manager frames them.
    const WindowRole role = core::RoleOf(core::FindWindow(hwnd));
    attrs.override_redirect =
        role == WindowRole::Menu || role == WindowRole::Tooltip ? True : False;
    const int w = std::max<int>(placed.right - placed.left, 1);
    const int h = std::max<int>(placed.bottom - placed.top, 1);
    t.xwin = XCreateWindow(m_display, RootWindow(m_display, m_screen), placed.left, placed.top,
                           static_cast<unsigned>(w), static_cast<unsigned>(h), 0, CopyFromParent,
                           InputOutput, CopyFromParent,
                           CWBackPixel | CWEventMask | CWCursor | CWOverrideRedirect, &attrs);
    t.parent = RootWindow(m_display, m_screen);
    XSizeHints hints;
    std::memset(&hints, 0, sizeof hints);
    // The position the program gives is the client area's, never the window manager's frame's
    // (static gravity): the frame goes around the client where it was asked, and a place read
    // back and given again stays where it is instead of moving down by the title bar each time.
    hints.flags = USPosition | PPosition | PSize | PWinGravity;
    hints.x = placed.left;
    hints.y = placed.top;
    hints.width = w;
    hints.height = h;
    hints.win_gravity = StaticGravity;
    XSetWMNormalHints(m_display, t.xwin, &hints);
    t.owner = owner;
    applyWindowManagerHints(hwnd, t);
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

namespace {

constexpr const char* kResourceName = "korvaline";
constexpr const char* kResourceClass = "Korvaline";

} // namespace

void X11Backend::makeLeader() {
    XSetWindowAttributes wa;
    std::memset(&wa, 0, sizeof wa);
    m_leader = XCreateWindow(m_display, RootWindow(m_display, m_screen), -10, -10, 1, 1, 0,
                             CopyFromParent, InputOnly, CopyFromParent, 0, &wa);
    // The session's view of the program: who runs it, where, and which windows belong together.
    XClassHint cls;
    cls.res_name = const_cast<char*>(kResourceName);
    cls.res_class = const_cast<char*>(kResourceClass);
    XSetClassHint(m_display, m_leader, &cls);
    XChangeProperty(m_display, m_leader, m_wmClientLeader, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&m_leader), 1);
    XWMHints* wm = XAllocWMHints();
    if (wm) {
        wm->flags = WindowGroupHint;
        wm->window_group = m_leader;
        XSetWMHints(m_display, m_leader, wm);
        XFree(wm);
    }
}

void X11Backend::applyWindowManagerHints(HWND hwnd, TopWindow& t) {
    const core::Window* w = core::FindWindow(hwnd);
    if (!w)
        return;
    const WindowRole role = core::RoleOf(w);
    const ::Window root = RootWindow(m_display, m_screen);

    XClassHint cls;
    cls.res_name = const_cast<char*>(kResourceName);
    cls.res_class = const_cast<char*>(kResourceClass);
    XSetClassHint(m_display, t.xwin, &cls);
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0]) {
        char* list[1] = {host};
        XTextProperty tp;
        if (XStringListToTextProperty(list, 1, &tp)) {
            XSetWMClientMachine(m_display, t.xwin, &tp);
            XFree(tp.value);
        }
    }
    long pid = static_cast<long>(getpid());
    XChangeProperty(m_display, t.xwin, m_netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
    if (m_leader)
        XChangeProperty(m_display, t.xwin, m_wmClientLeader, XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&m_leader), 1);

    Atom type = m_netWmTypeNormal;
    switch (role) {
    case WindowRole::Normal:
        type = m_netWmTypeNormal;
        break;
    case WindowRole::Dialog:
        type = m_netWmTypeDialog;
        break;
    case WindowRole::Utility:
        type = m_netWmTypeUtility;
        break;
    case WindowRole::Splash:
        type = m_netWmTypeSplash;
        break;
    case WindowRole::Menu:
        type = m_netWmTypePopupMenu;
        break;
    case WindowRole::Tooltip:
        type = m_netWmTypeTooltip;
        break;
    }
    XChangeProperty(m_display, t.xwin, m_netWmType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&type), 1);

    // Owned windows stay with their owner; a dialog without one belongs to the whole group.
    ::Window transientFor = None;
    if (const TopWindow* o = t.owner ? find(t.owner) : nullptr)
        transientFor = o->xwin;
    else if (role == WindowRole::Dialog || role == WindowRole::Splash)
        transientFor = root;
    if (transientFor != None)
        XSetTransientForHint(m_display, t.xwin, transientFor);
    else
        XDeleteProperty(m_display, t.xwin, XA_WM_TRANSIENT_FOR);

    // What the window manager's frame offers follows the style: a message box or the palette can
    // be moved and closed but neither resized, minimised nor maximised; the splash is bare.
    constexpr long kMwmFunctions = 1, kMwmDecorations = 2;
    constexpr long kFuncResize = 2, kFuncMove = 4, kFuncMinimize = 8, kFuncMaximize = 16,
                   kFuncClose = 32;
    constexpr long kDecorBorder = 2, kDecorResize = 4, kDecorTitle = 8, kDecorMenu = 16,
                   kDecorMinimize = 32, kDecorMaximize = 64;
    long motif[5] = {kMwmFunctions | kMwmDecorations, 0, 0, 0, 0};
    if (role != WindowRole::Splash) {
        const DWORD s = w->style;
        motif[1] = kFuncMove | ((s & WS_THICKFRAME) ? kFuncResize : 0L) |
                   ((s & WS_MINIMIZEBOX) ? kFuncMinimize : 0L) |
                   ((s & WS_MAXIMIZEBOX) ? kFuncMaximize : 0L) | ((s & WS_SYSMENU) ? kFuncClose : 0L);
        motif[2] = kDecorBorder | kDecorTitle | ((s & WS_SYSMENU) ? kDecorMenu : 0L) |
                   ((s & WS_THICKFRAME) ? kDecorResize : 0L) |
                   ((s & WS_MINIMIZEBOX) ? kDecorMinimize : 0L) |
                   ((s & WS_MAXIMIZEBOX) ? kDecorMaximize : 0L);
    }
    XChangeProperty(m_display, t.xwin, m_motifWmHints, m_motifWmHints, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(motif), 5);

    if (w->exStyle & WS_EX_TOPMOST)
        XChangeProperty(m_display, t.xwin, m_netWmState, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&m_netWmStateAbove), 1);
    else
        XDeleteProperty(m_display, t.xwin, m_netWmState);

    // Windows that never take activation (the palette, menus) never take the keyboard either: the
    // window manager leaves it with the document.
    const bool input = !(w->exStyle & WS_EX_NOACTIVATE) && role != WindowRole::Menu &&
                       role != WindowRole::Tooltip;
    XWMHints* wm = XAllocWMHints();
    if (wm) {
        wm->flags = InputHint | StateHint | (m_leader ? WindowGroupHint : 0);
        wm->input = input ? True : False;
        wm->initial_state = NormalState;
        wm->window_group = m_leader;
        XSetWMHints(m_display, t.xwin, wm);
        XFree(wm);
    }
    Atom protocols[3] = {m_wmDelete, m_netWmPing, m_wmTakeFocus};
    XSetWMProtocols(m_display, t.xwin, protocols, input ? 3 : 2);
}

void X11Backend::restyle(HWND hwnd) {
    TopWindow* t = find(hwnd);
    if (!t || t->mapped)
        return;
    const WindowRole role = core::RoleOf(core::FindWindow(hwnd));
    XSetWindowAttributes attrs;
    std::memset(&attrs, 0, sizeof attrs);
    attrs.override_redirect =
        role == WindowRole::Menu || role == WindowRole::Tooltip ? True : False;
    XChangeWindowAttributes(m_display, t->xwin, CWOverrideRedirect, &attrs);
    applyWindowManagerHints(hwnd, *t);
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
    noteActiveLeaving(hwnd, *t);
    if (t->ic)
        XDestroyIC(t->ic);
    XDestroyWindow(m_display, t->xwin);
    XFlush(m_display);
    m_windows.erase(hwnd);
    if (m_focusWanted == hwnd)
        m_focusWanted = nullptr;
}

void X11Backend::setImeSpot(HWND hwnd, POINT client) {
    TopWindow* t = find(hwnd);
    if (!t || !t->ic)
        return;
    // Input methods that draw over the spot put the text being composed there; the others
    // ignore it.
    XPoint spot;
    spot.x = static_cast<short>(client.x);
    spot.y = static_cast<short>(client.y);
    XVaNestedList list = XVaCreateNestedList(0, XNSpotLocation, &spot, nullptr);
    if (list) {
        XSetICValues(t->ic, XNPreeditAttributes, list, nullptr);
        XFree(list);
    }
}

void X11Backend::setTitle(HWND hwnd, const std::string& title) {
    TopWindow* t = find(hwnd);
    if (!t)
        return;
    const std::string utf8 = core::Utf8FromCp1252Text(title);
    XChangeProperty(m_display, t->xwin, m_netWmName, m_utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()),
                    static_cast<int>(utf8.size()));
    // WM_NAME for older window managers: Latin-1 when the title fits, compound text otherwise.
    char* list[1] = {const_cast<char*>(utf8.c_str())};
    XTextProperty tp;
    if (Xutf8TextListToTextProperty(m_display, list, 1, XStdICCTextStyle, &tp) >= Success) {
        XSetWMName(m_display, t->xwin, &tp);
        XFree(tp.value);
    } else {
        XStoreName(m_display, t->xwin, utf8.c_str());
    }
}

void X11Backend::show(HWND hwnd, bool visible) {
    TopWindow* t = find(hwnd);
    if (!t)
        return;
    if (visible) {
        XMapRaised(m_display, t->xwin);
    } else {
        noteActiveLeaving(hwnd, *t);
        XUnmapWindow(m_display, t->xwin);
    }
    XFlush(m_display);
}

::Window X11Backend::wmActiveWindow() {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* value = nullptr;
    ::Window active = 0;
    if (XGetWindowProperty(m_display, RootWindow(m_display, m_screen), m_netActiveWindow, 0, 1,
                           False, XA_WINDOW, &type, &format, &items, &after, &value) == Success &&
        type == XA_WINDOW && format == 32 && items == 1 && value)
        active = static_cast<::Window>(*reinterpret_cast<unsigned long*>(value));
    if (value)
        XFree(value);
    return active;
}

void X11Backend::noteActiveLeaving(HWND hwnd, const TopWindow& t) {
    // Only the program's own active window hands the activation on: one of its windows closing
    // while another program is active must not take the keyboard from that program.
    if (t.mapped && hwnd == m_focusWanted && wmActiveWindow() == t.xwin)
        m_activeLeaving = t.xwin;
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
    raiseOwnedAbove(hwnd);
    XFlush(m_display);
}

void X11Backend::focus(HWND hwnd) {
    TopWindow* t = find(hwnd);
    if (!t)
        return;
    m_focusWanted = hwnd;
    m_focusSerial = NextRequest(m_display);
    const ::Window leaving = m_activeLeaving;
    m_activeLeaving = 0;
    // A window not yet shown takes the keyboard when it is (VisibilityNotify).
    if (!t->viewable)
        return;
    XSetInputFocus(m_display, t->xwin, RevertToParent, CurrentTime);
    // The active window (a message box) went: the window manager moves its focus on as it sees
    // fit (some to the window the one that went was transient for, a frame a dialog's run keeps
    // disabled) and shows that one as active, greying the title of the window the program
    // activates. An application's request (source 1) with the time of the last input asks it
    // for this one; it reaches the window manager after the unmap or destruction of the window
    // that went, so it is the later decision.
    if (leaving && leaving != t->xwin) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = t->xwin;
        e.xclient.message_type = m_netActiveWindow;
        e.xclient.format = 32;
        e.xclient.data.l[0] = 1;
        e.xclient.data.l[1] = static_cast<long>(m_lastEventTime);
        e.xclient.data.l[2] = static_cast<long>(leaving);
        const ::Window root = RootWindow(m_display, m_screen);
        XSendEvent(m_display, root, False, SubstructureNotifyMask | SubstructureRedirectMask, &e);
    }
    XFlush(m_display);
}

// Owned windows (tool windows, dialogs) stay above their owner, as a window manager keeps
// transient windows; without one nobody else would, and a raised frame would hide its palette.
// They are raised in their present stacking order, so their order among themselves is kept.
void X11Backend::raiseOwnedAbove(HWND hwnd) {
    auto ownedBy = [&](const TopWindow& w) {
        for (HWND o = w.owner; o;) {
            if (o == hwnd)
                return true;
            const TopWindow* up = find(o);
            o = up ? up->owner : nullptr;
        }
        return false;
    };
    std::vector<::Window> owned;
    for (const auto& entry : m_windows)
        if (entry.second.mapped && ownedBy(entry.second))
            owned.push_back(entry.second.xwin);
    if (owned.empty())
        return;
    ::Window rootReturn = 0;
    ::Window parentReturn = 0;
    ::Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(m_display, RootWindow(m_display, m_screen), &rootReturn, &parentReturn,
                    &children, &count))
        return;
    // Bottom to top: each raise puts the window on top, so the last one raised stays highest.
    for (unsigned i = 0; i < count; ++i)
        if (std::find(owned.begin(), owned.end(), children[i]) != owned.end())
            XRaiseWindow(m_display, children[i]);
    if (children)
        XFree(children);
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
        std::string committed; // an input method's text too long for `buf`
        if (t && t->ic) {
            n = Xutf8LookupString(t->ic, &xk, buf, sizeof buf - 1, &typedSym, &status);
            if (status == XBufferOverflow && n > 0) {
                committed.resize(static_cast<std::size_t>(n) + 1);
                n = Xutf8LookupString(t->ic, &xk, committed.data(), n + 1, &typedSym, &status);
                committed.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
            }
            if (status != XLookupChars && status != XLookupBoth)
                n = 0;
        } else {
            n = XLookupString(&xk, buf, sizeof buf - 1, &typedSym, nullptr);
            // XLookupString gives Latin-1 text; a key beyond it is known by its keysym.
            if (n == 1)
                typed = static_cast<unsigned char>(buf[0]);
            else if (n == 0 && (typedSym & 0xFF000000) == 0x01000000)
                typed = unicodeOfKeysym(typedSym);
            n = 0;
        }
        std::string utf8;
        if (n > 0 && !committed.empty())
            utf8 = committed;
        else if (n > 0)
            utf8.assign(buf, static_cast<std::size_t>(n));
        else if (typed)
            fontcore::AppendUtf8(utf8, typed);
        if (!utf8.empty()) {
            // Each character in the active code page; one the page cannot hold is dropped.
            std::vector<unsigned> codes;
            bool dropped = false;
            for (std::size_t i = 0; i < utf8.size();) {
                std::size_t j = i + 1;
                while (j < utf8.size() && (static_cast<unsigned char>(utf8[j]) & 0xC0) == 0x80)
                    ++j;
                std::vector<unsigned> one;
                if (AnsiCodesFromUtf8(std::string_view(utf8).substr(i, j - i), one))
                    codes.insert(codes.end(), one.begin(), one.end());
                else
                    dropped = true;
                i = j;
            }
            if (dropped)
                beep(0);
            if (codes.size() == 1 && codes[0] <= 0xFF)
                ev.typed = static_cast<BYTE>(codes[0]);
            else
                ev.codes = std::move(codes);
        }
        if (typedSym == NoSymbol)
            typedSym = XLookupKeysym(&xk, 0);
        // X gives Delete the character DEL; here Delete is an editing key like the arrows and
        // types nothing.
        if (typedSym == XK_Delete || typedSym == XK_KP_Delete)
            ev.typed = 0;
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
        ev.base = singleByteOf(unicodeOfKeysym(baseSym));
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
        m_lastEventTime = xe.xkey.time;
        ev.hwnd = hwndOf(xe.xkey.window);
        translateKey(xe.xkey, ev);
        // A key that is neither a known key nor a character is ignored.
        return ev.vk != 0 || ev.typed != 0 || !ev.codes.empty();
    case ButtonPress:
    case ButtonRelease: {
        m_lastEventTime = xe.xbutton.time;
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
        // A window manager's own report (synthetic, after it moved the frame) is in root
        // coordinates, and so is the server's while the parent is the root. The server's report
        // on a window in a frame is relative to the frame: only then is the root asked.
        int x = xe.xconfigure.x, y = xe.xconfigure.y;
        if (!xe.xconfigure.send_event && t->parent != RootWindow(m_display, m_screen)) {
            ::Window child;
            if (!XTranslateCoordinates(m_display, t->xwin, RootWindow(m_display, m_screen), 0, 0,
                                       &x, &y, &child))
                return false;
        }
        const RECT r{x, y, x + xe.xconfigure.width, y + xe.xconfigure.height};
        if (r.left == t->client.left && r.top == t->client.top && r.right == t->client.right &&
            r.bottom == t->client.bottom)
            return false;
        t->client = r;
        ev.kind = K::Configure;
        ev.rect = r;
        return true;
    }
    case ReparentNotify:
        if (TopWindow* t = find(hwndOf(xe.xreparent.window)))
            t->parent = xe.xreparent.parent;
        return false;
    case MapNotify:
        if (TopWindow* t = find(hwndOf(xe.xmap.window)))
            t->mapped = true;
        return false;
    case VisibilityNotify: {
        // The first report after the window was mapped: it is viewable now, its frame too.
        const HWND h = hwndOf(xe.xvisibility.window);
        TopWindow* t = find(h);
        if (t && t->mapped && !t->viewable) {
            t->viewable = true;
            // Without a window manager nobody else gives the active window the keyboard.
            if (m_focusWanted == h) {
                m_focusSerial = NextRequest(m_display);
                XSetInputFocus(m_display, t->xwin, RevertToParent, CurrentTime);
            }
        }
        return false;
    }
    case UnmapNotify:
        if (TopWindow* t = find(hwndOf(xe.xunmap.window))) {
            t->mapped = false;
            t->viewable = false;
        }
        return false;
    case ClientMessage:
        return protocolMessage(xe.xclient, ev);
    case FocusIn:
    case FocusOut: {
        if (xe.xfocus.mode != NotifyNormal && xe.xfocus.mode != NotifyWhileGrabbed)
            return false;
        // The pointer's window while the focus is the root, and moves to or from a window
        // inside, say nothing about which top-level window has the keyboard.
        if (xe.xfocus.detail == NotifyPointer || xe.xfocus.detail == NotifyInferior)
            return false;
        ev.hwnd = hwndOf(xe.xfocus.window);
        TopWindow* t = find(ev.hwnd);
        if (!t)
            return false;
        if (t->ic) {
            if (xe.type == FocusIn)
                XSetICFocus(t->ic);
            else
                XUnsetICFocus(t->ic);
        }
        // What the program asked for, reported back, is no news; nor is a change made before
        // its last request, which that request has overtaken. Taking either as a new activation
        // would answer it with a request of its own, and two windows would hand the keyboard to
        // each other for ever.
        if (xe.type == FocusIn) {
            if (ev.hwnd == m_focusWanted || xe.xfocus.serial < m_focusSerial)
                return false;
            // The window manager or the user moved the keyboard: the program follows.
            m_focusWanted = ev.hwnd;
        } else if (ev.hwnd != m_focusWanted || xe.xfocus.serial < m_focusSerial) {
            return false;
        }
        ev.kind = xe.type == FocusIn ? K::FocusGained : K::FocusLost;
        return true;
    }
    default:
        return false;
    }
}

bool X11Backend::protocolMessage(XClientMessageEvent& xc, BackendEvent& ev) {
    if (xc.message_type != m_wmProtocols || xc.format != 32)
        return false;
    const Atom protocol = static_cast<Atom>(xc.data.l[0]);
    const Time time = static_cast<Time>(xc.data.l[1]);
    if (protocol == m_netWmPing) {
        // Answered from the message loop: a program that stops serving it is seen as hung.
        const ::Window root = RootWindow(m_display, m_screen);
        xc.window = root;
        XSendEvent(m_display, root, False, SubstructureNotifyMask | SubstructureRedirectMask,
                   reinterpret_cast<XEvent*>(&xc));
        XFlush(m_display);
        return false;
    }
    if (protocol == m_wmTakeFocus) {
        takeFocus(xc.window, time);
        return false;
    }
    if (protocol == m_wmDelete) {
        // The window manager's close button does what the window's own close does.
        ev.kind = BackendEvent::Kind::Close;
        ev.hwnd = hwndOf(xc.window);
        return ev.hwnd != nullptr;
    }
    return false;
}

void X11Backend::takeFocus(::Window xwin, Time time) {
    if (time != CurrentTime)
        m_lastEventTime = time;
    const HWND hwnd = hwndOf(xwin);
    const core::Window* w = core::FindWindow(hwnd);
    if (!w)
        return;
    HWND target = hwnd;
    // A window a modal run disabled passes the keyboard on to the window the program made
    // active (the dialog that runs).
    if (w->style & WS_DISABLED) {
        const core::Window* wanted = core::FindWindow(m_focusWanted);
        target = wanted && !(wanted->style & WS_DISABLED) ? m_focusWanted : nullptr;
    }
    TopWindow* t = find(target);
    if (!t || !t->viewable)
        return;
    if (target == m_focusWanted)
        m_focusSerial = NextRequest(m_display);
    XSetInputFocus(m_display, t->xwin, RevertToParent, time);
    XFlush(m_display);
}

bool X11Backend::poll(BackendEvent& ev) {
    if (!m_display)
        return false;
    // A window that went with no other activated after it hands nothing on later.
    m_activeLeaving = 0;
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
    tidyTransfers();
    while (XPending(m_display)) {
        XEvent xe;
        XNextEvent(m_display, &xe);
        if (XFilterEvent(&xe, None))
            continue;
        if (selectionEvent(xe))
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
    // A transfer's deadline wakes the loop, which drops it.
    const int deadline = m_selectionServer ? m_selectionServer->msUntilDeadline(now()) : -1;
    if (deadline >= 0 && (timeoutMs < 0 || deadline < timeoutMs))
        timeoutMs = deadline + 1;
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

SIZE X11Backend::screenSize() {
    if (!m_display && !open())
        return SIZE{1920, 1080};
    return SIZE{DisplayWidth(m_display, m_screen), DisplayHeight(m_display, m_screen)};
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
    // Asking the server is a round trip. A long walk over a document checks for Escape every few
    // nodes; asked each time, the server's answers, not the walk, would set its pace (a 25 MB
    // document took 20 s to copy or save). The keyboard is asked again only after a moment.
    constexpr DWORD kKeymapLifeMs = 20;
    const DWORD t = now();
    if (!m_keymapKnown || t - m_keymapTime >= kKeymapLifeMs) {
        XQueryKeymap(m_display, m_keymap);
        m_keymapTime = t;
        m_keymapKnown = true;
    }
    const char* keys = m_keymap;
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

bool X11Backend::waitAnswering(int timeoutMs) {
    if (!m_display) {
        sleep(static_cast<DWORD>(timeoutMs));
        return true;
    }
    // The wait for selection transfers serves the pings and the selection; Escape is the one
    // event it takes here, and it ends the wait.
    XEvent escape;
    return !waitForEvent(escape, timeoutMs, [](const XEvent& e) {
        if (e.type != KeyPress)
            return false;
        XKeyEvent key = e.xkey;
        return XLookupKeysym(&key, 0) == XK_Escape;
    });
}

void X11Backend::answerWhileBusy() {
    if (!m_display)
        return;
    // What arrived is read without waiting; the pings and the selection traffic that can be
    // answered at once are served. A request whose data would have to be made first (a picture)
    // and a MULTIPLE stay queued with every other event, for the message loop: nothing is made
    // inside the work under way.
    XEventsQueued(m_display, QueuedAfterReading);
    auto predicate = [](Display*, XEvent* e, XPointer arg) -> Bool {
        const X11Backend* self = reinterpret_cast<const X11Backend*>(arg);
        switch (e->type) {
        case ClientMessage:
            return self->isPing(e->xclient);
        case SelectionClear:
            return e->xselectionclear.window == self->m_clipWindow;
        case PropertyNotify:
            // A requestor reading a transfer's chunk.
            return e->xproperty.state == PropertyDelete && self->m_selectionServer &&
                   self->m_selectionServer->pendingFor(e->xproperty.window) > 0;
        case SelectionRequest:
            return e->xselectionrequest.owner == self->m_clipWindow &&
                   e->xselectionrequest.target != self->m_multiple &&
                   !(self->m_selectionServer &&
                     self->m_selectionServer->needsMaking(e->xselectionrequest.target));
        default:
            return False;
        }
    };
    XEvent xe;
    while (XCheckIfEvent(m_display, &xe, predicate, reinterpret_cast<XPointer>(this))) {
        if (xe.type == ClientMessage) {
            BackendEvent unused;
            protocolMessage(xe.xclient, unused);
        } else {
            selectionEvent(xe);
        }
    }
    XFlush(m_display);
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

// ---- The clipboard
// --------------------------------------------------------------------------------

namespace {

// How long a reply from another client is waited for (each chunk of an incoming INCR transfer
// too), and how long a whole incoming transfer may take.
constexpr int kSelectionWaitMs = 2000;
constexpr DWORD kIncomingTransferMs = 10000;
// How long the types another owner offers are taken as still true.
constexpr DWORD kTypesLifeMs = 1000;

} // namespace

::Window X11Backend::clipboardWindow() {
    if (!m_display)
        return 0;
    if (m_clipWindow)
        return m_clipWindow;
    XSetWindowAttributes wa;
    wa.event_mask = PropertyChangeMask;
    m_clipWindow = XCreateWindow(m_display, RootWindow(m_display, m_screen), -10, -10, 1, 1, 0, 0,
                                 InputOnly, CopyFromParent, CWEventMask, &wa);
    m_clipboardAtom = XInternAtom(m_display, "CLIPBOARD", False);
    m_targets = XInternAtom(m_display, "TARGETS", False);
    m_timestamp = XInternAtom(m_display, "TIMESTAMP", False);
    m_multiple = XInternAtom(m_display, "MULTIPLE", False);
    m_incr = XInternAtom(m_display, "INCR", False);
    m_atomPair = XInternAtom(m_display, "ATOM_PAIR", False);
    m_clipProperty = XInternAtom(m_display, "KV_CLIPBOARD", False);
    m_manager = XInternAtom(m_display, "CLIPBOARD_MANAGER", False);
    m_saveTargets = XInternAtom(m_display, "SAVE_TARGETS", False);
    const core::SelectionAtoms atoms{.targets = m_targets,
                                     .timestamp = m_timestamp,
                                     .multiple = m_multiple,
                                     .incr = m_incr,
                                     .atomPair = m_atomPair,
                                     .atom = XA_ATOM,
                                     .integer = XA_INTEGER};
    m_selectionServer = std::make_unique<core::SelectionServer>(m_selectionPort, atoms);
    return m_clipWindow;
}

void X11Backend::SelectionPort::setProperty(core::XId window, core::XId property, core::XId type,
                                            int format, const void* items, std::size_t count) {
    XChangeProperty(m_backend.m_display, window, property, type, format, PropModeReplace,
                    static_cast<const unsigned char*>(items), static_cast<int>(count));
}

void X11Backend::SelectionPort::follow(core::XId window, bool on) {
    // The program's own windows keep the events they asked for.
    if (window == m_backend.m_clipWindow || window == m_backend.m_leader ||
        m_backend.hwndOf(window) != nullptr)
        return;
    XSelectInput(m_backend.m_display, window,
                 on ? PropertyChangeMask | StructureNotifyMask : NoEventMask);
}

core::XId X11Backend::SelectionPort::clientOf(core::XId window) const {
    // The server gives each connection a base for its ids and one mask (the same for every
    // connection) for the bits a connection picks. Xlib keeps that mask in the display's fourth
    // private field (resource_mask in its own sources); without one, every window is its own.
    Display* d = m_backend.m_display;
    const XID mask = d != nullptr ? reinterpret_cast<_XPrivDisplay>(d)->private4 : 0;
    return window & ~mask;
}

void X11Backend::tidyTransfers() {
    if (!m_selectionServer)
        return;
    std::vector<unsigned long> gone;
    gone.swap(missingWindows());
    for (const unsigned long w : gone)
        m_selectionServer->requestorGone(w);
    m_selectionServer->expire(now());
}

void X11Backend::clipboardOffer(std::vector<ClipboardItem> items) {
    m_clipboard = std::move(items);
    m_clipboardOwned = true;
    const ::Window w = clipboardWindow();
    if (!w)
        return;
    m_ownTime = m_lastEventTime;
    // Each target is made once, on its first request, and shared by every request after it.
    std::vector<core::ServedTarget> targets;
    for (size_t i = 0; i < m_clipboard.size(); ++i)
        targets.push_back(
            core::ServedTarget{XInternAtom(m_display, m_clipboard[i].type.c_str(), False),
                               [this, i]() { return ClipboardItemBytes(m_clipboard[i]); }});
    m_selectionServer->offer(std::move(targets), m_ownTime);
    XSetSelectionOwner(m_display, m_clipboardAtom, w, m_ownTime);
    m_clipboardOwned = XGetSelectionOwner(m_display, m_clipboardAtom) == w;
    if (!m_clipboardOwned)
        m_selectionServer->withdraw();
    XFlush(m_display);
}

bool X11Backend::clipboardOwned() {
    if (!m_display)
        return m_clipboardOwned;
    // A SelectionClear may be waiting in the queue.
    XEvent xe;
    while (m_clipWindow && XCheckTypedWindowEvent(m_display, m_clipWindow, SelectionClear, &xe))
        selectionEvent(xe);
    return m_clipboardOwned;
}

std::vector<std::string> X11Backend::clipboardTypes() {
    std::vector<std::string> types;
    if (clipboardOwned())
        return Backend::clipboardTypes();
    if (!clipboardWindow())
        return types;
    const ::Window owner = XGetSelectionOwner(m_display, m_clipboardAtom);
    if (owner == None)
        return types;
    // One paste asks for the types many times: the answer of the same owner is kept for a
    // moment, and an owner that did not answer is not waited for again meanwhile.
    const DWORD t = now();
    if (owner == m_typesOwner && t - m_typesTime < kTypesLifeMs)
        return m_types;
    m_typesOwner = owner;
    m_typesTime = t;
    m_types.clear();
    std::vector<std::uint8_t> bytes;
    Atom type = 0;
    int format = 0;
    if (!requestSelection(m_clipboardAtom, m_targets, bytes, type, format) || format != 32) {
        m_typesTime = now();
        return types;
    }
    for (const unsigned long atom : core::AtomsOf(format, bytes)) {
        if (atom == 0)
            continue;
        char* name = XGetAtomName(m_display, static_cast<Atom>(atom));
        if (name) {
            types.emplace_back(name);
            XFree(name);
        }
    }
    m_types = types;
    m_typesTime = now();
    return types;
}

bool X11Backend::clipboardRead(const std::string& type, std::vector<std::uint8_t>& bytes) {
    if (clipboardOwned())
        return Backend::clipboardRead(type, bytes);
    if (!clipboardWindow())
        return false;
    Atom got = 0;
    int format = 0;
    return requestSelection(m_clipboardAtom, XInternAtom(m_display, type.c_str(), False), bytes,
                            got, format) &&
           format == 8;
}

void X11Backend::clipboardFlush() {
    if (!clipboardOwned() || !m_clipWindow)
        return;
    if (XGetSelectionOwner(m_display, m_manager) == None)
        return;
    XConvertSelection(m_display, m_manager, m_saveTargets, None, m_clipWindow, m_ownTime);
    XFlush(m_display);
    XEvent xe;
    // The manager reads every target from us (served while waiting), then answers.
    waitForEvent(xe, kSelectionWaitMs, [this](const XEvent& e) {
        return e.type == SelectionNotify && e.xselection.requestor == m_clipWindow &&
               e.xselection.selection == m_manager;
    });
}

bool X11Backend::waitForEvent(XEvent& out, int timeoutMs,
                              const std::function<bool(const XEvent&)>& match) {
    const DWORD deadline = now() + static_cast<DWORD>(timeoutMs);
    for (;;) {
        // A termination signal is served by the message loop: the wait gives up.
        if (TerminationSignalPending())
            return false;
        // Selection traffic addressed to us is served, and so are the window manager's pings; the
        // expected event is taken; Escape gives up; every other event stays queued for the
        // message loop.
        XEvent xe;
        bool took = false;
        while (XPending(m_display)) {
            struct Pick {
                X11Backend* self;
                const std::function<bool(const XEvent&)>* match;
            } pick{this, &match};
            auto predicate = [](Display*, XEvent* e, XPointer arg) -> Bool {
                const Pick* p = reinterpret_cast<const Pick*>(arg);
                if ((*p->match)(*e))
                    return True;
                if (e->type == ClientMessage)
                    return p->self->isPing(e->xclient);
                if (e->type == KeyPress)
                    return XLookupKeysym(&e->xkey, 0) == XK_Escape;
                return e->type == SelectionRequest || e->type == SelectionClear ||
                       (e->type == PropertyNotify && e->xproperty.state == PropertyDelete);
            };
            if (!XCheckIfEvent(m_display, &xe, predicate, reinterpret_cast<XPointer>(&pick)))
                break;
            if (match(xe)) {
                out = xe;
                return true;
            }
            if (xe.type == KeyPress)
                return false;
            if (xe.type == ClientMessage) {
                BackendEvent unused;
                protocolMessage(xe.xclient, unused);
            } else {
                selectionEvent(xe);
            }
            took = true;
        }
        if (took)
            continue;
        const DWORD t = now();
        if (static_cast<std::int32_t>(deadline - t) <= 0)
            return false;
        XFlush(m_display);
        pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(deadline - t));
        // Read what arrived into Xlib's queue.
        if (fd.revents & POLLIN)
            XEventsQueued(m_display, QueuedAfterReading);
    }
}

bool X11Backend::readProperty(::Window w, Atom property, core::SelectionData& into, Atom& type,
                              unsigned long& items) {
    items = 0;
    long offset = 0;
    for (;;) {
        Atom actual = None;
        int actualFormat = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_display, w, property, offset, 1 << 20, False, AnyPropertyType,
                               &actual, &actualFormat, &count, &after, &data) != Success)
            return false;
        type = actual;
        const bool taken = actual != None && into.add(actualFormat, data, count);
        if (data)
            XFree(data);
        if (!taken)
            return false;
        items += count;
        // Offsets count 32-bit units.
        offset += static_cast<long>(count * (actualFormat == 32 ? 1 : actualFormat / 8) / 4);
        // Beyond the limit the rest is not read: the data is known to be too large.
        if (after == 0 || into.overflowed())
            break;
    }
    XDeleteProperty(m_display, w, property);
    return true;
}

bool X11Backend::requestSelection(Atom selection, Atom target, std::vector<std::uint8_t>& bytes,
                                  Atom& type, int& format) {
    XDeleteProperty(m_display, m_clipWindow, m_clipProperty);
    XConvertSelection(m_display, selection, target, m_clipProperty, m_clipWindow, m_lastEventTime);
    XFlush(m_display);
    XEvent xe;
    if (!waitForEvent(xe, kSelectionWaitMs, [this, selection](const XEvent& e) {
            return e.type == SelectionNotify && e.xselection.requestor == m_clipWindow &&
                   e.xselection.selection == selection;
        }))
        return false;
    if (xe.xselection.property == None)
        return false;
    core::SelectionData answer;
    unsigned long items = 0;
    if (!readProperty(m_clipWindow, m_clipProperty, answer, type, items))
        return false;
    if (type != m_incr) {
        format = answer.format();
        bytes = answer.take();
        return true;
    }
    // INCR: every new value of the property is a chunk; an empty one ends the transfer. Chunks
    // beyond the limit are still read (so that the owner finishes) but not kept. An owner that
    // never ends is given up after a bounded time, and Escape gives up at once: nothing is pasted.
    core::SelectionData all;
    const DWORD transferEnd = now() + kIncomingTransferMs;
    for (;;) {
        const auto left = static_cast<std::int32_t>(transferEnd - now());
        if (left <= 0 ||
            !waitForEvent(xe, std::min(kSelectionWaitMs, static_cast<int>(left)),
                          [this](const XEvent& e) {
                              return e.type == PropertyNotify && e.xproperty.window == m_clipWindow &&
                                     e.xproperty.atom == m_clipProperty &&
                                     e.xproperty.state == PropertyNewValue;
                          })) {
            // The owner waits for the chunk to be read, or goes on sending: either way later
            // requests use a property of their own, where no late chunk of this one can land.
            m_clipProperty = XInternAtom(
                m_display, ("KV_CLIPBOARD_" + std::to_string(++m_abandonedTransfers)).c_str(),
                False);
            return false;
        }
        if (!readProperty(m_clipWindow, m_clipProperty, all, type, items)) {
            // The notice of a value already read (the INCR announcement itself).
            if (type == None)
                continue;
            return false;
        }
        if (items == 0)
            break;
    }
    format = all.format();
    bytes = all.take();
    return true;
}

void X11Backend::answerRequest(const XSelectionRequestEvent& req) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = m_display;
    reply.requestor = req.requestor;
    reply.selection = req.selection;
    reply.target = req.target;
    reply.time = req.time;
    // Old clients give no property: the target names it.
    const Atom property = req.property != None ? req.property : req.target;
    reply.property = None;
    const bool ours =
        req.selection == m_clipboardAtom && m_clipboardOwned &&
        (req.time == CurrentTime || m_ownTime == CurrentTime || req.time >= m_ownTime);
    if (ours && m_selectionServer) {
        // A request that cannot be served (even for want of memory) is refused, nothing more.
        try {
            if (req.target == m_multiple) {
                // A list of (target, property) pairs; a pair that cannot be converted gets None.
                core::SelectionData pairs(core::SelectionLimits{}.largestMultiple);
                Atom type = 0;
                unsigned long items = 0;
                if (req.property != None &&
                    readProperty(req.requestor, req.property, pairs, type, items) &&
                    m_selectionServer->convertMultiple(req.requestor, req.property, pairs, now()))
                    reply.property = req.property;
            } else if (m_selectionServer->convert(req.requestor, req.target, property, now())) {
                reply.property = property;
            }
        } catch (const std::bad_alloc&) {
            reply.property = None;
        }
    }
    XSendEvent(m_display, req.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(m_display);
}

bool X11Backend::selectionEvent(XEvent& xe) {
    switch (xe.type) {
    case SelectionRequest:
        if (xe.xselectionrequest.owner != m_clipWindow || !m_clipWindow)
            return false;
        answerRequest(xe.xselectionrequest);
        return true;
    case SelectionClear:
        if (xe.xselectionclear.window != m_clipWindow || !m_clipWindow)
            return false;
        if (xe.xselectionclear.selection == m_clipboardAtom) {
            m_clipboardOwned = false;
            if (m_selectionServer)
                m_selectionServer->withdraw();
        }
        return true;
    case SelectionNotify:
        // A late answer to a request that timed out.
        return m_clipWindow && xe.xselection.requestor == m_clipWindow;
    case PropertyNotify:
        if (xe.xproperty.window == m_clipWindow)
            return true;
        if (xe.xproperty.state != PropertyDelete || !m_selectionServer)
            return false;
        tidyTransfers();
        if (!m_selectionServer->propertyDeleted(xe.xproperty.window, xe.xproperty.atom, now()))
            return false;
        XFlush(m_display);
        return true;
    case DestroyNotify:
        // A requestor gone: its transfers end with it.
        if (!m_selectionServer || hwndOf(xe.xdestroywindow.window) != nullptr ||
            m_selectionServer->pendingFor(xe.xdestroywindow.window) == 0)
            return false;
        m_selectionServer->requestorGone(xe.xdestroywindow.window);
        return true;
    default:
        return false;
    }
}

} // namespace plat::x11

namespace plat {
Backend& backend() {
    static x11::X11Backend b;
    return b;
}
} // namespace plat
