// What a window manager reads of the program's windows, read back the way xprop does from a
// second connection: the class, process and host of every top-level window, its title in UTF-8,
// its type (normal frame, utility palette, dialog for a message box, an undecorated menu), its
// owner, its input hint and the protocols it answers. Then the protocols themselves, sent as a
// window manager sends them: a ping is answered while a message box runs, focus offered to the
// frame a message box disabled goes to the box, and the close request closes the box; the
// keyboard then goes back to the frame's child that had it, and the next key reaches it. A box
// over a dialog (its frame disabled), closed with Enter while the window manager shows it as the
// active window, leaves the dialog active as the window manager sees it too, not the frame.

#include "SmokeSupport.h"
#include "backend/Backend.h"
#include "plat/Dialog.h"
#include "plat/Input.h"
#include "plat/Menu.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

Display* s_d = nullptr; // the observer's connection
int s_failures = 0;
plat::HWND s_frame = nullptr;
plat::HWND s_child = nullptr; // has the keyboard when the box opens
std::vector<plat::WPARAM> s_childKeys;
bool s_menuSeen = false, s_boxSeen = false;

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "smoke: %s\n", what.c_str());
        ++s_failures;
    }
}

Atom atom(const char* name) {
    return XInternAtom(s_d, name, False);
}

std::string atomName(Atom a) {
    if (a == None)
        return "None";
    char* n = XGetAtomName(s_d, a);
    std::string s = n ? n : "?";
    if (n)
        XFree(n);
    return s;
}

// A property's items: bytes for format 8, longs for 32.
bool readProperty(::Window w, const char* name, Atom& type, int& format,
                  std::vector<unsigned char>& bytes, std::vector<long>& longs) {
    bytes.clear();
    longs.clear();
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(s_d, w, atom(name), 0, 4096, False, AnyPropertyType, &type, &format,
                           &count, &after, &data) != Success ||
        type == None) {
        if (data)
            XFree(data);
        return false;
    }
    if (format == 8)
        bytes.assign(data, data + count);
    else if (format == 32)
        longs.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
    XFree(data);
    return true;
}

std::string textProperty(::Window w, const char* name, Atom* typeOut = nullptr) {
    Atom type = None;
    int format = 0;
    std::vector<unsigned char> bytes;
    std::vector<long> longs;
    if (!readProperty(w, name, type, format, bytes, longs) || format != 8)
        return "";
    if (typeOut)
        *typeOut = type;
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> atomList(::Window w, const char* name) {
    Atom type = None;
    int format = 0;
    std::vector<unsigned char> bytes;
    std::vector<long> longs;
    std::vector<std::string> out;
    if (readProperty(w, name, type, format, bytes, longs) && format == 32)
        for (long a : longs)
            out.push_back(atomName(static_cast<Atom>(a)));
    return out;
}

bool has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

::Window transientFor(::Window w) {
    ::Window owner = None;
    return XGetTransientForHint(s_d, w, &owner) ? owner : None;
}

int inputHint(::Window w) {
    XWMHints* h = XGetWMHints(s_d, w);
    if (!h)
        return -1;
    const int input = (h->flags & InputHint) ? (h->input ? 1 : 0) : -1;
    XFree(h);
    return input;
}

// The mapped window named `title` (found below the window manager's frames too), or, with an
// empty title, the mapped override-redirect child of the root.
::Window findBelow(::Window parentWindow, const std::string& title, int depth) {
    ::Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    ::Window found = 0;
    if (!XQueryTree(s_d, parentWindow, &rootReturn, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes wa;
        if (!XGetWindowAttributes(s_d, children[i], &wa) || wa.map_state != IsViewable)
            continue;
        if (title.empty()) {
            if (wa.override_redirect && depth == 0) {
                Atom type = None;
                int format = 0;
                std::vector<unsigned char> bytes;
                std::vector<long> longs;
                if (readProperty(children[i], "_NET_WM_PID", type, format, bytes, longs) &&
                    longs.size() == 1 && longs[0] == static_cast<long>(getpid()))
                    found = children[i];
            }
        } else if (textProperty(children[i], "_NET_WM_NAME") == title) {
            found = children[i];
        } else if (depth < 3) {
            found = findBelow(children[i], title, depth + 1);
        }
    }
    if (children)
        XFree(children);
    return found;
}

::Window windowNamed(const std::string& title) {
    return findBelow(DefaultRootWindow(s_d), title, 0);
}

// Everything every top-level window carries, then its type.
void checkCommon(::Window w, const std::string& who, const char* type) {
    if (!w) {
        check(false, who + ": no X window found");
        return;
    }
    XClassHint cls{};
    const bool gotClass = XGetClassHint(s_d, w, &cls) != 0;
    check(gotClass && std::strcmp(cls.res_name, "korvaline") == 0 &&
              std::strcmp(cls.res_class, "Korvaline") == 0,
          who + ": WM_CLASS is not korvaline/Korvaline");
    if (gotClass) {
        XFree(cls.res_name);
        XFree(cls.res_class);
    }
    Atom t = None;
    int format = 0;
    std::vector<unsigned char> bytes;
    std::vector<long> longs;
    check(readProperty(w, "_NET_WM_PID", t, format, bytes, longs) && t == XA_CARDINAL &&
              longs.size() == 1 && longs[0] == static_cast<long>(getpid()),
          who + ": _NET_WM_PID is not this process");
    check(!textProperty(w, "WM_CLIENT_MACHINE").empty(), who + ": no WM_CLIENT_MACHINE");
    const std::vector<std::string> types = atomList(w, "_NET_WM_WINDOW_TYPE");
    check(types.size() == 1 && types[0] == type,
          who + ": _NET_WM_WINDOW_TYPE is " + (types.empty() ? "missing" : types[0]) + ", not " +
              type);
}

// The functions _MOTIF_WM_HINTS offers (-1 when it is missing).
long motifFunctions(::Window w) {
    Atom type = None;
    int format = 0;
    std::vector<unsigned char> bytes;
    std::vector<long> longs;
    if (!readProperty(w, "_MOTIF_WM_HINTS", type, format, bytes, longs) || longs.size() < 3 ||
        !(longs[0] & 1))
        return -1;
    return longs[1];
}
constexpr long kMotifMaximize = 16, kMotifClose = 32;

// What a window manager sends: a WM_PROTOCOLS client message.
void sendProtocol(::Window w, const char* protocol, long extra = 0) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = atom("WM_PROTOCOLS");
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(atom(protocol));
    e.xclient.data.l[1] = CurrentTime;
    e.xclient.data.l[2] = extra;
    XSendEvent(s_d, w, False, NoEventMask, &e);
    XFlush(s_d);
}

// Pings `w` and waits up to `ms` for the answer on the root, as a window manager does.
bool pingAnswered(::Window w, int ms) {
    const ::Window root = DefaultRootWindow(s_d);
    XSelectInput(s_d, root, SubstructureNotifyMask);
    const long stamp = 4242;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = atom("WM_PROTOCOLS");
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(atom("_NET_WM_PING"));
    e.xclient.data.l[1] = stamp;
    e.xclient.data.l[2] = static_cast<long>(w);
    XSendEvent(s_d, w, False, NoEventMask, &e);
    XFlush(s_d);
    const plat::DWORD start = plat::GetTickCount();
    while (plat::GetTickCount() - start < static_cast<plat::DWORD>(ms)) {
        // The program's own loop must run meanwhile: this is called from inside it.
        kvtest::DispatchPending();
        while (XPending(s_d)) {
            XEvent got;
            XNextEvent(s_d, &got);
            if (got.type == ClientMessage && got.xclient.window == root &&
                static_cast<Atom>(got.xclient.data.l[0]) == atom("_NET_WM_PING") &&
                got.xclient.data.l[1] == stamp && got.xclient.data.l[2] == static_cast<long>(w))
                return true;
        }
        pollfd fd{ConnectionNumber(s_d), POLLIN, 0};
        ::poll(&fd, 1, 10);
    }
    return false;
}

void checkFrameAndPalette() {
    // "Cadre \xe9" in cp1252 is "Cadre é" in UTF-8.
    const ::Window frame = windowNamed("Cadre \xc3\xa9");
    checkCommon(frame, "frame", "_NET_WM_WINDOW_TYPE_NORMAL");
    const ::Window pal = windowNamed("Palette");
    checkCommon(pal, "palette", "_NET_WM_WINDOW_TYPE_UTILITY");
    if (!frame || !pal)
        return;
    Atom nameType = None;
    textProperty(frame, "_NET_WM_NAME", &nameType);
    check(nameType == atom("UTF8_STRING"), "frame: _NET_WM_NAME is not UTF8_STRING");
    const std::vector<std::string> protocols = atomList(frame, "WM_PROTOCOLS");
    for (const char* p : {"WM_DELETE_WINDOW", "WM_TAKE_FOCUS", "_NET_WM_PING"})
        check(has(protocols, p), std::string("frame: WM_PROTOCOLS lacks ") + p);
    check(inputHint(frame) == 1, "frame: the input hint is not True");
    check(motifFunctions(frame) >= 0 && (motifFunctions(frame) & kMotifMaximize),
          "frame: the window manager may not maximise it");
    check(transientFor(frame) == None, "frame: transient for another window");
    check(transientFor(pal) == frame, "palette: not transient for the frame");
    // The palette never takes the keyboard from the document.
    check(inputHint(pal) == 0, "palette: the input hint is not False");
    check(!has(atomList(pal, "WM_PROTOCOLS"), "WM_TAKE_FOCUS"), "palette: offers WM_TAKE_FOCUS");
    check(has(atomList(pal, "WM_PROTOCOLS"), "WM_DELETE_WINDOW"),
          "palette: WM_PROTOCOLS lacks WM_DELETE_WINDOW");
    check(pingAnswered(frame, 2000), "frame: _NET_WM_PING not answered");
}

// Runs inside the message box's modal loop.
void onBoxTimer(plat::HWND, plat::UINT, plat::UINT_PTR id, plat::DWORD) {
    plat::KillTimer(nullptr, id);
    s_boxSeen = true;
    const ::Window box = windowNamed("Bo\xc3\xae" "te");
    const ::Window frame = windowNamed("Cadre \xc3\xa9");
    checkCommon(box, "message box", "_NET_WM_WINDOW_TYPE_DIALOG");
    if (!box || !frame) {
        plat::EndDialog(plat::GetActiveWindow(), plat::IDCANCEL);
        return;
    }
    check(transientFor(box) == frame, "message box: not transient for the frame");
    const long functions = motifFunctions(box);
    check(functions >= 0 && !(functions & kMotifMaximize) && (functions & kMotifClose),
          "message box: _MOTIF_WM_HINTS does not offer close without maximise");
    check(pingAnswered(box, 2000), "message box: _NET_WM_PING not answered during its run");
    // The window manager offers the keyboard to the frame the box disabled: the box takes it.
    XSetInputFocus(s_d, PointerRoot, RevertToPointerRoot, CurrentTime);
    sendProtocol(frame, "WM_TAKE_FOCUS");
    ::Window focus = 0;
    int revert = 0;
    for (int i = 0; i < 50; ++i) {
        kvtest::DispatchPending();
        XSync(s_d, False);
        XGetInputFocus(s_d, &focus, &revert);
        if (focus == box)
            break;
        usleep(20000);
    }
    check(focus == box, "WM_TAKE_FOCUS on the disabled frame did not focus the message box");
    // The window manager's close button closes the box as its own close does.
    sendProtocol(box, "WM_DELETE_WINDOW");
}

// The window the window manager shows as active; 0 without one.
::Window wmActive() {
    Atom type = None;
    int format = 0;
    std::vector<unsigned char> bytes;
    std::vector<long> longs;
    if (!readProperty(DefaultRootWindow(s_d), "_NET_ACTIVE_WINDOW", type, format, bytes, longs) ||
        longs.size() != 1)
        return 0;
    return static_cast<::Window>(longs[0]);
}

bool underWindowManager() {
    Atom type = None;
    int format = 0;
    std::vector<unsigned char> bytes;
    std::vector<long> longs;
    return readProperty(DefaultRootWindow(s_d), "_NET_SUPPORTING_WM_CHECK", type, format, bytes,
                        longs) &&
           longs.size() == 1 && longs[0] != 0;
}

// Whether `w` is the active window: as the window manager shows it, or without one, the window
// with the keyboard.
bool isActive(::Window w, bool wm) {
    if (wm)
        return wmActive() == w;
    ::Window focus = 0;
    int revert = 0;
    XGetInputFocus(s_d, &focus, &revert);
    return focus == w;
}

// Waits (serving the program) until `done` holds; whether it did within `ms`.
bool settles(const std::function<bool()>& done, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        kvtest::DispatchPending();
        XSync(s_d, False);
        if (done())
            return true;
        usleep(20000);
    }
    return false;
}

// Runs inside the run of the box over the dialog: once the window manager shows the box as the
// active window (without one: once it has the keyboard), Enter closes it.
void onDialogBoxTimer(plat::HWND, plat::UINT, plat::UINT_PTR id, plat::DWORD) {
    plat::KillTimer(nullptr, id);
    s_boxSeen = true;
    const ::Window box = windowNamed("Bo\xc3\xaete du dialogue");
    if (!box) {
        check(false, "the box over the dialog is not shown");
        plat::EndDialog(plat::GetActiveWindow(), plat::IDCANCEL);
        return;
    }
    const bool wm = underWindowManager();
    check(settles([&] { return isActive(box, wm); }, 2000),
          "the box over the dialog never became the active window");
    kvtest::SendKey(s_d, box, XK_Return);
}

void onMenuTimer(plat::HWND, plat::UINT, plat::UINT_PTR id, plat::DWORD) {
    plat::KillTimer(nullptr, id);
    s_menuSeen = true;
    const ::Window menu = windowNamed("");
    checkCommon(menu, "menu", "_NET_WM_WINDOW_TYPE_POPUP_MENU");
    XWindowAttributes wa{};
    check(menu && XGetWindowAttributes(s_d, menu, &wa) && wa.override_redirect,
          "menu: not override-redirect");
    plat::PostMessage(s_frame, plat::WM_KEYDOWN, plat::VK_ESCAPE, 0);
}

plat::LRESULT proc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam) {
    if (hwnd == s_child && msg == plat::WM_KEYDOWN)
        s_childKeys.push_back(wParam);
    return plat::DefWindowProc(hwnd, msg, wParam, lParam);
}

} // namespace

int main() {
    if (!kvtest::OpenDisplayWithClass("WmHints", &proc))
        return 1;
    s_d = XOpenDisplay(nullptr);
    if (!s_d)
        return 1;
    s_frame = plat::CreateWindowEx(0, "WmHints", "Cadre \xe9",
                                   plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE, 40, 40, 600, 400,
                                   nullptr, nullptr, nullptr, nullptr);
    const plat::HWND palette = plat::CreateWindowEx(
        plat::WS_EX_TOOLWINDOW | plat::WS_EX_NOACTIVATE, "WmHints", "Palette",
        plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU, 700, 40, 200, 120, s_frame, nullptr,
        nullptr, nullptr);
    plat::ShowWindow(palette, plat::SW_SHOWNOACTIVATE);
    s_child = plat::CreateWindowEx(0, "WmHints", "", plat::WS_CHILD | plat::WS_VISIBLE, 10, 10, 200,
                                   100, s_frame, nullptr, nullptr, nullptr);
    plat::SetFocus(s_child);
    kvtest::Pump(400);
    checkFrameAndPalette();

    plat::SetTimer(nullptr, 0, 300, &onBoxTimer);
    const int answer = plat::MessageBox(s_frame, "Un message", "Bo\xee" "te", plat::MB_OK);
    check(s_boxSeen, "the message box was never inspected");
    check(answer == plat::IDOK, "WM_DELETE_WINDOW did not close the message box as its close does");
    // The window manager's focus changes after the box have settled: the child has the keyboard,
    // and a key pressed on the frame reaches it.
    kvtest::Pump(400);
    check(plat::GetFocus() == s_child, "after the box the keyboard is not back on the child");
    if (const ::Window frame = windowNamed("Cadre \xc3\xa9")) {
        s_childKeys.clear();
        kvtest::SendKey(s_d, frame, XK_Down);
        kvtest::Pump(300);
        check(s_childKeys.size() == 1 && s_childKeys[0] == plat::VK_DOWN,
              "after the box a key on the frame does not reach the child");
    }

    // A dialog over the frame, the frame disabled as a modal run leaves it, and a box over the
    // dialog closed with Enter: the dialog is the active window again, for the program and for
    // the window manager (which would otherwise move its focus to the frame at the group's
    // foot and grey the dialog's title), and it has the keyboard.
    // The box is owned by the dialog, or by the disabled frame (a box raised for the program
    // at large while the dialog runs): a window manager that hands the focus back to the
    // window a closed one is transient for gives it to the frame.
    for (const bool boxOfTheFrame : {false, true}) {
        const std::string which = boxOfTheFrame ? " (a box of the frame)" : " (a box of the dialog)";
        const plat::HWND dialog = plat::CreateWindowEx(
            plat::WS_EX_DLGMODALFRAME, "WmHints", "Dialogue",
            plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU | plat::WS_VISIBLE, 120, 120, 320,
            200, s_frame, nullptr, nullptr, nullptr);
        plat::EnableWindow(s_frame, plat::FALSE);
        kvtest::Pump(400);
        const ::Window dialogWindow = windowNamed("Dialogue");
        s_boxSeen = false;
        plat::SetTimer(nullptr, 0, 300, &onDialogBoxTimer);
        const int closed = plat::MessageBox(boxOfTheFrame ? s_frame : dialog, "Un message",
                                            "Bo\xeete du dialogue", plat::MB_OK);
        check(s_boxSeen && closed == plat::IDOK, "Enter did not close the box" + which);
        check(plat::GetActiveWindow() == dialog, "after the box the dialog is not active" + which);
        const bool wm = underWindowManager();
        check(settles([&] { return isActive(dialogWindow, wm); }, 1500),
              (wm ? "after the box the window manager shows another window than the dialog as "
                    "active"
                  : "after the box the dialog does not have the keyboard") +
                  which);
        kvtest::Pump(300);
        check(!wm || wmActive() == dialogWindow,
              "the window manager took the activation from the dialog again" + which);
        plat::EnableWindow(s_frame, plat::TRUE);
        plat::DestroyWindow(dialog);
        kvtest::Pump(200);
    }

    plat::HMENU menu = plat::CreatePopupMenu();
    plat::AppendMenu(menu, plat::MF_STRING, 1, "Un");
    plat::AppendMenu(menu, plat::MF_STRING, 2, "Deux");
    plat::SetTimer(nullptr, 0, 300, &onMenuTimer);
    plat::TrackPopupMenu(menu, 0, 100, 100, 0, s_frame, nullptr);
    check(s_menuSeen, "the menu was never inspected");
    plat::DestroyMenu(menu);

    plat::DestroyWindow(palette);
    plat::DestroyWindow(s_frame);
    XCloseDisplay(s_d);
    if (s_failures == 0)
        std::puts("smoke: window-manager hints and protocols ok");
    return s_failures == 0 ? 0 : 1;
}
