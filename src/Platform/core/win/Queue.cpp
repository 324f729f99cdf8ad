// The message queue, timers, the journal, focus, activation, enabling and capture.

#include "core/win/WinInternal.h"
#include "plat/Dialog.h"
#include "plat/System.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace plat::core {

namespace {

struct NamedMessage {
    UINT id;
    const char* name;
};

const NamedMessage kNames[] = {
    {WM_NULL, "WM_NULL"},
    {WM_CREATE, "WM_CREATE"},
    {WM_DESTROY, "WM_DESTROY"},
    {WM_MOVE, "WM_MOVE"},
    {WM_SIZE, "WM_SIZE"},
    {WM_ACTIVATE, "WM_ACTIVATE"},
    {WM_SETFOCUS, "WM_SETFOCUS"},
    {WM_KILLFOCUS, "WM_KILLFOCUS"},
    {WM_ENABLE, "WM_ENABLE"},
    {WM_SETREDRAW, "WM_SETREDRAW"},
    {WM_SETTEXT, "WM_SETTEXT"},
    {WM_GETTEXT, "WM_GETTEXT"},
    {WM_GETTEXTLENGTH, "WM_GETTEXTLENGTH"},
    {WM_PAINT, "WM_PAINT"},
    {WM_CLOSE, "WM_CLOSE"},
    {WM_QUIT, "WM_QUIT"},
    {WM_ERASEBKGND, "WM_ERASEBKGND"},
    {WM_SHOWWINDOW, "WM_SHOWWINDOW"},
    {WM_WININICHANGE, "WM_WININICHANGE"},
    {WM_CANCELMODE, "WM_CANCELMODE"},
    {WM_SETCURSOR, "WM_SETCURSOR"},
    {WM_MOUSEACTIVATE, "WM_MOUSEACTIVATE"},
    {WM_DRAWITEM, "WM_DRAWITEM"},
    {WM_MEASUREITEM, "WM_MEASUREITEM"},
    {WM_SETFONT, "WM_SETFONT"},
    {WM_GETFONT, "WM_GETFONT"},
    {WM_WINDOWPOSCHANGED, "WM_WINDOWPOSCHANGED"},
    {WM_CONTEXTMENU, "WM_CONTEXTMENU"},
    {WM_NCCREATE, "WM_NCCREATE"},
    {WM_NCDESTROY, "WM_NCDESTROY"},
    {WM_NCHITTEST, "WM_NCHITTEST"},
    {WM_GETDLGCODE, "WM_GETDLGCODE"},
    {WM_KEYDOWN, "WM_KEYDOWN"},
    {WM_KEYUP, "WM_KEYUP"},
    {WM_CHAR, "WM_CHAR"},
    {WM_DEADCHAR, "WM_DEADCHAR"},
    {WM_SYSKEYDOWN, "WM_SYSKEYDOWN"},
    {WM_SYSKEYUP, "WM_SYSKEYUP"},
    {WM_SYSCHAR, "WM_SYSCHAR"},
    {WM_INITDIALOG, "WM_INITDIALOG"},
    {WM_COMMAND, "WM_COMMAND"},
    {WM_SYSCOMMAND, "WM_SYSCOMMAND"},
    {WM_TIMER, "WM_TIMER"},
    {WM_HSCROLL, "WM_HSCROLL"},
    {WM_VSCROLL, "WM_VSCROLL"},
    {WM_INITMENU, "WM_INITMENU"},
    {WM_INITMENUPOPUP, "WM_INITMENUPOPUP"},
    {WM_CTLCOLORDLG, "WM_CTLCOLORDLG"},
    {WM_CTLCOLORSTATIC, "WM_CTLCOLORSTATIC"},
    {WM_MOUSEMOVE, "WM_MOUSEMOVE"},
    {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"},
    {WM_LBUTTONUP, "WM_LBUTTONUP"},
    {WM_LBUTTONDBLCLK, "WM_LBUTTONDBLCLK"},
    {WM_RBUTTONDOWN, "WM_RBUTTONDOWN"},
    {WM_RBUTTONUP, "WM_RBUTTONUP"},
    {WM_RBUTTONDBLCLK, "WM_RBUTTONDBLCLK"},
    {WM_MBUTTONDOWN, "WM_MBUTTONDOWN"},
    {WM_MBUTTONUP, "WM_MBUTTONUP"},
    {WM_MBUTTONDBLCLK, "WM_MBUTTONDBLCLK"},
    {WM_MOUSEWHEEL, "WM_MOUSEWHEEL"},
    {WM_CAPTURECHANGED, "WM_CAPTURECHANGED"},
    {WM_MDIACTIVATE, "WM_MDIACTIVATE"},
    {WM_IME_CHAR, "WM_IME_CHAR"},
    {WM_QUERYNEWPALETTE, "WM_QUERYNEWPALETTE"},
    {WM_PALETTECHANGED, "WM_PALETTECHANGED"},
};

std::string windowLabel(HWND hwnd) {
    if (!hwnd)
        return "-";
    Window* w = FindWindow(hwnd);
    if (!w) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "stale#%u",
                      HandleTable<Window>::indexOf(IdFromHandle(hwnd)));
        return buf;
    }
    if (!w->text.empty() && w->text.find('\n') == std::string::npos)
        return "'" + w->text + "'";
    return w->cls->name + "#" + std::to_string(HandleTable<Window>::indexOf(IdFromHandle(hwnd)));
}

std::string params(UINT msg, WPARAM wp, LPARAM lp) {
    char buf[160];
    switch (msg) {
    case WM_COMMAND:
        std::snprintf(buf, sizeof buf, "id=%u code=%u ctl=%s", LOWORD(wp), HIWORD(wp),
                      lp ? windowLabel(reinterpret_cast<HWND>(lp)).c_str() : "0");
        return buf;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        std::snprintf(buf, sizeof buf, "vk=0x%02X%s%s", static_cast<unsigned>(wp),
                      (lp & KF_ALTDOWN_BIT) ? " alt" : "", (lp & KF_PREVDOWN_BIT) ? " repeat" : "");
        return buf;
    case WM_CHAR:
    case WM_SYSCHAR:
    case WM_DEADCHAR:
        std::snprintf(buf, sizeof buf, "ch=0x%02X", static_cast<unsigned>(wp & 0xFF));
        return buf;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
    case WM_CONTEXTMENU:
        std::snprintf(buf, sizeof buf, "x=%d y=%d keys=0x%X", GET_X_LPARAM(lp), GET_Y_LPARAM(lp),
                      static_cast<unsigned>(msg == WM_CONTEXTMENU ? 0 : wp));
        return buf;
    case WM_TIMER:
        std::snprintf(buf, sizeof buf, "id=%lu", static_cast<unsigned long>(wp));
        return buf;
    case WM_SIZE:
        std::snprintf(buf, sizeof buf, "type=%lu cx=%u cy=%u", static_cast<unsigned long>(wp),
                      LOWORD(lp), HIWORD(lp));
        return buf;
    case WM_ACTIVATE:
        std::snprintf(buf, sizeof buf, "state=%u other=%s", LOWORD(wp),
                      windowLabel(reinterpret_cast<HWND>(lp)).c_str());
        return buf;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        std::snprintf(buf, sizeof buf, "other=%s", windowLabel(reinterpret_cast<HWND>(wp)).c_str());
        return buf;
    case WM_ENABLE:
        std::snprintf(buf, sizeof buf, "enable=%lu", static_cast<unsigned long>(wp));
        return buf;
    case WM_SETTEXT: {
        const char* t = reinterpret_cast<const char*>(lp);
        return std::string("text='") + (t ? t : "") + "'";
    }
    case WM_CREATE:
    case WM_NCCREATE:
    case WM_GETTEXT:
    case WM_ERASEBKGND:
    case WM_PAINT:
    case WM_DESTROY:
    case WM_NCDESTROY:
        return "";
    default:
        std::snprintf(buf, sizeof buf, "wp=0x%lX lp=0x%lX", static_cast<unsigned long>(wp),
                      static_cast<unsigned long>(lp));
        return buf;
    }
}

bool inRange(UINT msg, UINT lo, UINT hi) {
    if (lo == 0 && hi == 0)
        return true;
    if (msg == WM_QUIT)
        return true; // the quit request passes every filter
    return msg >= lo && msg <= hi;
}

bool matchesWindow(HWND msgWindow, HWND filter) {
    if (!filter)
        return true;
    if (filter == reinterpret_cast<HWND>(-1))
        return msgWindow == nullptr;
    return msgWindow == filter || IsChild(filter, msgWindow);
}

DWORD clockNow() {
    return backend().now();
}

void journalGenerated(const MSG& m) {
    Journal('P', m.hwnd, m.message, m.wParam, m.lParam);
}

bool isPress(UINT m) {
    return m == WM_KEYDOWN || m == WM_SYSKEYDOWN || m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN ||
           m == WM_MBUTTONDOWN || m == WM_LBUTTONDBLCLK || m == WM_RBUTTONDBLCLK ||
           m == WM_MBUTTONDBLCLK || m == WM_SYSCOMMAND;
}

// Input goes to a window when its event arrives, but the window may have been disabled, or put
// behind a modal run, before the message is taken (the events of a burst are read at once, and
// the first may open a dialog). Such input is dropped here, a press with the beep, so that
// nothing reaches a window that no longer takes input; only a dialog's keys go on to the dialog
// when the control they were for is disabled.
void dropRefusedInput() {
    State& st = state();
    for (auto it = st.input.begin(); it != st.input.end();) {
        Window* w = FindWindow(it->msg.hwnd);
        if (w && TakesInput(w)) {
            ++it;
            continue;
        }
        // A key for a control its dialog has disabled meanwhile is the dialog's.
        if (it->msg.message >= WM_KEYFIRST && it->msg.message <= WM_KEYLAST) {
            if (Window* dialog = KeyTarget(w)) {
                it->msg.hwnd = dialog->hwnd;
                ++it;
                continue;
            }
        }
        const InputMessage im = *it;
        it = st.input.erase(it);
        st.keys = im.keys;
        if (w && isPress(im.msg.message)) {
            RefuseInput(TopLevelOf(w));
            // Refusing may activate the dialog, which can change the queue.
            it = st.input.begin();
        }
    }
}

// A system command (the window manager's close, a press on the menu bar) is posted when its event
// arrives; like input, it is dropped, with the beep, when its window no longer takes input by the
// time it is taken: a close read in the same burst as the press that opened a dialog must not
// close the window the dialog's command works on.
void dropRefusedCommands() {
    State& st = state();
    std::vector<HWND> refused;
    {
        std::lock_guard<std::mutex> lock(st.postLock);
        for (auto it = st.posted.begin(); it != st.posted.end();) {
            Window* w = it->message == WM_SYSCOMMAND ? FindWindow(it->hwnd) : nullptr;
            if (!w || TakesInput(w)) {
                ++it;
                continue;
            }
            refused.push_back(it->hwnd);
            it = st.posted.erase(it);
        }
    }
    for (HWND h : refused)
        RefuseInput(TopLevelOf(FindWindow(h)));
}

// Fills `out` with the next matching message; removes it when `remove`. Returns false when none.
bool takeMessage(MSG* out, HWND filter, UINT lo, UINT hi, bool remove) {
    State& st = state();
    PumpBackend();
    dropRefusedInput();
    dropRefusedCommands();
    {
        std::lock_guard<std::mutex> lock(st.postLock);
        for (auto it = st.posted.begin(); it != st.posted.end(); ++it) {
            if (matchesWindow(it->hwnd, filter) && inRange(it->message, lo, hi)) {
                MSG m = *it;
                if (remove)
                    st.posted.erase(it);
                if (out)
                    *out = m;
                if (remove)
                    st.lastMessageTime = m.time;
                return true;
            }
        }
    }
    if (st.quitPending) {
        if (out) {
            *out = MSG{};
            out->message = WM_QUIT;
            out->wParam = static_cast<WPARAM>(st.quitCode);
            out->time = clockNow();
        }
        if (remove)
            st.quitPending = false;
        return true;
    }
    for (auto it = st.input.begin(); it != st.input.end(); ++it) {
        if (matchesWindow(it->msg.hwnd, filter) && inRange(it->msg.message, lo, hi)) {
            InputMessage im = *it;
            if (remove) {
                st.input.erase(it);
                st.keys = im.keys;
                st.lastMessageTime = im.msg.time;
                if (im.msg.message >= WM_KEYFIRST && im.msg.message <= WM_KEYLAST) {
                    st.lastChars = im.chars;
                    st.lastKeyMsg = im.msg;
                }
                journalGenerated(im.msg);
            }
            if (out)
                *out = im.msg;
            return true;
        }
    }
    if (inRange(WM_PAINT, lo, hi) && filter != reinterpret_cast<HWND>(-1)) {
        if (HWND h = NextWindowToPaint(filter)) {
            // WM_PAINT stays "in the queue" until the window validates its update region.
            MSG m;
            m.hwnd = h;
            m.message = WM_PAINT;
            m.time = clockNow();
            if (remove)
                journalGenerated(m);
            if (out)
                *out = m;
            return true;
        }
    }
    if (inRange(WM_TIMER, lo, hi)) {
        const DWORD now = clockNow();
        for (Timer& t : st.timers) {
            if (static_cast<std::int32_t>(now - t.due) < 0 || !matchesWindow(t.hwnd, filter))
                continue;
            MSG m;
            m.hwnd = t.hwnd;
            m.message = WM_TIMER;
            m.wParam = t.id;
            m.lParam = reinterpret_cast<LPARAM>(t.proc);
            m.time = now;
            if (remove) {
                // One WM_TIMER at a time: the next is due a full period after this one is taken.
                t.due = now + t.elapse;
                journalGenerated(m);
            }
            if (out)
                *out = m;
            return true;
        }
    }
    return false;
}

// Milliseconds until the next timer a retrieval with this filter could take falls due (0 when
// one is due), -1 when there is none. A loop filtered to one window does not wake for the timers
// of others: they stay due until an unfiltered loop takes them.
int nextTimerTimeout(HWND filter = nullptr, UINT lo = 0, UINT hi = 0) {
    if (!inRange(WM_TIMER, lo, hi))
        return -1;
    const DWORD now = clockNow();
    int best = -1;
    for (const Timer& t : state().timers) {
        if (!matchesWindow(t.hwnd, filter))
            continue;
        const std::int32_t d = static_cast<std::int32_t>(t.due - now);
        const int ms = d < 0 ? 0 : d;
        if (best < 0 || ms < best)
            best = ms;
    }
    return best;
}

// Waits for something a retrieval with this filter could take. False when nothing ever can
// (headless, nothing scripted).
bool waitForInput(HWND filter = nullptr, UINT lo = 0, UINT hi = 0) {
    return backend().wait(nextTimerTimeout(filter, lo, hi));
}

} // namespace

std::string MessageName(UINT msg) {
    for (const auto& n : kNames) {
        if (n.id == msg)
            return n.name;
    }
    State& st = state();
    if (msg >= 0xC000 && msg - 0xC000 < st.registeredMessages.size())
        return st.registeredMessages[msg - 0xC000];
    char buf[24];
    if (msg >= WM_USER && msg < WM_APP)
        std::snprintf(buf, sizeof buf, "WM_USER+%u", msg - WM_USER);
    else
        std::snprintf(buf, sizeof buf, "0x%04X", msg);
    return buf;
}

void Journal(char kind, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    State& st = state();
    if (!st.journalOn)
        return;
    std::string line(1, kind);
    line += ' ';
    line += windowLabel(hwnd);
    line += ' ';
    line += MessageName(msg);
    const std::string p = params(msg, wParam, lParam);
    if (!p.empty()) {
        line += ' ';
        line += p;
    }
    st.journal.push_back(std::move(line));
}

void PumpBackend() {
    // Every loop takes its events here: a termination signal is answered from whichever runs.
    ServeTerminationSignal();
    BackendEvent ev;
    while (backend().poll(ev))
        HandleEvent(ev);
}

void ResetQueue() {
    State& st = state();
    {
        std::lock_guard<std::mutex> lock(st.postLock);
        st.posted.clear();
    }
    st.input.clear();
    st.modalRuns.clear();
    st.quitPending = false;
    st.quitCode = 0;
    st.timers.clear();
    st.nextThreadTimerId = 0x7F00;
    st.journal.clear();
}

void KillTimersOf(HWND hwnd) {
    auto& t = state().timers;
    t.erase(std::remove_if(t.begin(), t.end(), [&](const Timer& x) { return x.hwnd == hwnd; }),
            t.end());
}

HWND ActivateTopLevel(HWND hwnd, WORD how, bool request) {
    State& st = state();
    const HWND old = st.active;
    // Activating the active window does nothing: no message, no request to the display.
    if (old == hwnd)
        return old;
    if (old && FindWindow(old)) {
        if (st.focus && (st.focus == old || IsChild(old, st.focus)))
            SetFocus(nullptr);
        st.active = nullptr;
        SendMessage(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
    }
    st.active = hwnd;
    if (Window* aw = FindWindow(hwnd)) {
        // Activation brings the window to the front of its band.
        BringToFront(aw);
        // Asked before the window hears of it, so that an activation its handler makes in turn
        // is the later request, and the one the display ends with.
        if (request) {
            if (aw->style & WS_VISIBLE)
                backend().raise(hwnd);
            backend().focus(hwnd);
        }
        SendMessage(hwnd, WM_ACTIVATE, how, reinterpret_cast<LPARAM>(old));
    }
    return old;
}

void ForgetWindow(HWND hwnd) {
    State& st = state();
    KillTimersOf(hwnd);
    {
        std::lock_guard<std::mutex> lock(st.postLock);
        st.posted.erase(std::remove_if(st.posted.begin(), st.posted.end(),
                                       [&](const MSG& m) { return m.hwnd == hwnd; }),
                        st.posted.end());
    }
    st.input.erase(std::remove_if(st.input.begin(), st.input.end(),
                                  [&](const InputMessage& m) { return m.msg.hwnd == hwnd; }),
                   st.input.end());
    if (st.focus == hwnd)
        st.focus = nullptr;
    if (st.active == hwnd)
        st.active = nullptr;
    if (st.capture == hwnd) {
        st.capture = nullptr;
        backend().grabPointer(nullptr);
    }
    if (st.lastMouseWindow == hwnd)
        st.lastMouseWindow = nullptr;
    if (st.lastClick.hwnd == hwnd)
        st.lastClick.hwnd = nullptr;
}

} // namespace plat::core

namespace plat {

using namespace plat::core;

// --- Messages ------------------------------------------------------------------------------------

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (hwnd && hwnd != reinterpret_cast<HWND>(-1) && !FindWindow(hwnd, "PeekMessage"))
        return FALSE;
    return takeMessage(msg, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0);
}

BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (hwnd && hwnd != reinterpret_cast<HWND>(-1) && !FindWindow(hwnd, "GetMessage"))
        return -1;
    MSG local;
    MSG* out = msg ? msg : &local;
    for (;;) {
        if (takeMessage(out, hwnd, filterMin, filterMax, true))
            return out->message == WM_QUIT ? FALSE : TRUE;
        if (!waitForInput(hwnd, filterMin, filterMax)) {
            // Nothing can ever arrive: end the loop rather than block forever.
            ReportTestFailure("GetMessage would wait for input that can never come");
            PostQuitMessage(0);
        }
    }
}

DWORD GetQueueStatus(UINT flags) {
    State& st = state();
    PumpBackend();
    UINT have = 0;
    {
        std::lock_guard<std::mutex> lock(st.postLock);
        if (!st.posted.empty() || st.quitPending)
            have |= QS_POSTMESSAGE;
    }
    for (const InputMessage& im : st.input) {
        const UINT m = im.msg.message;
        if (m >= WM_KEYFIRST && m <= WM_KEYLAST)
            have |= QS_KEY;
        else if (m == WM_MOUSEMOVE)
            have |= QS_MOUSEMOVE;
        else if (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST)
            have |= QS_MOUSEBUTTON;
    }
    if (NextWindowToPaint(nullptr))
        have |= QS_PAINT;
    if (nextTimerTimeout() == 0)
        have |= QS_TIMER;
    have &= flags;
    return (static_cast<DWORD>(have) << 16) | have;
}

BOOL WaitMessage() {
    if (takeMessage(nullptr, nullptr, 0, 0, false))
        return TRUE;
    if (!waitForInput()) {
        ReportTestFailure("WaitMessage would wait for input that can never come");
        PostQuitMessage(0);
    }
    return TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
    State& st = state();
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN))
        return FALSE;
    // The character belongs to the key message last retrieved.
    const MSG& k = st.lastKeyMsg;
    if (k.hwnd != msg->hwnd || k.message != msg->message || k.wParam != msg->wParam ||
        k.lParam != msg->lParam)
        return FALSE;
    if (!st.lastChars.typed)
        return FALSE;
    const UINT charMsg = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    MSG c = *msg;
    c.message = charMsg;
    c.wParam = st.lastChars.typed;
    {
        std::lock_guard<std::mutex> lock(st.postLock);
        // The character comes before anything posted meanwhile would: it belongs to this key.
        st.posted.push_front(c);
    }
    Journal('P', c.hwnd, c.message, c.wParam, c.lParam);
    return TRUE;
}

LRESULT DispatchMessage(const MSG* msg) {
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (!msg->hwnd)
        return 0;
    Window* w = FindWindow(msg->hwnd, "DispatchMessage");
    if (!w)
        return 0;
    return CallWindowProc(w->proc, msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd, "SendMessage");
    if (!w)
        return 0;
    Journal('S', hwnd, msg, wParam, lParam);
    return CallWindowProc(w->proc, hwnd, msg, wParam, lParam);
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    State& st = state();
    // Helper threads may post, but the window table and the journal belong to the main thread:
    // their messages are checked when dispatched instead.
    const bool mainThread = std::this_thread::get_id() == st.mainThread;
    if (mainThread && hwnd && !FindWindow(hwnd, "PostMessage"))
        return FALSE;
    MSG m;
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = clockNow();
    if (mainThread)
        m.pt = st.lastPointer;
    {
        std::lock_guard<std::mutex> lock(st.postLock);
        st.posted.push_back(m);
    }
    if (mainThread)
        Journal('P', hwnd, msg, wParam, lParam);
    backend().wake();
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    State& st = state();
    st.quitPending = true;
    st.quitCode = exitCode;
    Journal('P', nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

UINT RegisterWindowMessage(const char* name) {
    if (!name || !*name)
        return 0;
    auto& reg = state().registeredMessages;
    for (std::size_t i = 0; i < reg.size(); ++i) {
        if (EqualNoCase(reg[i], name))
            return static_cast<UINT>(0xC000 + i);
    }
    if (reg.size() >= 0x3FFF)
        return 0;
    reg.emplace_back(name);
    return static_cast<UINT>(0xC000 + reg.size() - 1);
}

BOOL ReplyMessage(LRESULT) {
    return FALSE;
} // every sent message is a direct call

LONG GetMessageTime() {
    return static_cast<LONG>(state().lastMessageTime);
}

// --- Timers --------------------------------------------------------------------------------------

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    State& st = state();
    if (hwnd && !FindWindow(hwnd, "SetTimer"))
        return 0;
    // Timers are checked to 10 ms.
    const UINT elapse = std::max<UINT>(elapseMs, 10);
    if (!hwnd) {
        // A thread timer: an existing id restarts it, otherwise a new id is made.
        for (Timer& t : st.timers) {
            if (!t.hwnd && t.id == id && id != 0) {
                t.elapse = elapse;
                t.proc = proc;
                t.due = clockNow() + elapse;
                return id;
            }
        }
        id = ++st.nextThreadTimerId;
    } else {
        for (Timer& t : st.timers) {
            if (t.hwnd == hwnd && t.id == id) {
                t.elapse = elapse;
                t.proc = proc;
                t.due = clockNow() + elapse;
                return id ? id : 1;
            }
        }
    }
    Timer t;
    t.hwnd = hwnd;
    t.id = id;
    t.elapse = elapse;
    t.proc = proc;
    t.due = clockNow() + elapse;
    st.timers.push_back(t);
    backend().wake();
    return id ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    auto& timers = state().timers;
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == timers.end())
        return FALSE;
    timers.erase(it);
    return TRUE;
}

// --- Focus and activation --------------------------------------------------------------------

HWND GetFocus() {
    return state().focus;
}
HWND GetActiveWindow() {
    return state().active;
}
HWND GetForegroundWindow() {
    return state().active;
}
BOOL SetForegroundWindow(HWND hwnd) {
    return SetActiveWindow(hwnd) != nullptr || IsWindow(hwnd);
}

HWND SetActiveWindow(HWND hwnd) {
    if (hwnd) {
        Window* w = FindWindow(hwnd, "SetActiveWindow");
        if (!w)
            return nullptr;
        hwnd = TopLevelOf(w)->hwnd;
    }
    return ActivateTopLevel(hwnd, WA_ACTIVE, true);
}

HWND SetFocus(HWND hwnd) {
    State& st = state();
    if (hwnd && !FindWindow(hwnd, "SetFocus"))
        return nullptr;
    const HWND old = st.focus;
    if (old == hwnd)
        return old;
    if (hwnd) {
        Window* top = TopLevelOf(FindWindow(hwnd));
        if (top && st.active != top->hwnd) {
            SetActiveWindow(top->hwnd);
            // Activation may already have moved the focus somewhere inside; ours wins.
            if (st.focus == hwnd)
                return old;
        }
    }
    if (hwnd) {
        // The focus going into a document window makes it the active one.
        if (Window* doc = DocumentWindowOf(FindWindow(hwnd)); doc && !doc->destroying) {
            ActivateDocumentChild(doc);
            if (st.focus == hwnd || !FindWindow(hwnd))
                return old;
        }
    }
    const HWND previous = st.focus;
    st.focus = hwnd;
    if (previous && FindWindow(previous))
        SendMessage(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && st.focus == hwnd && FindWindow(hwnd))
        SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return old;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    State& st = state();
    Window* w = FindWindow(hwnd, "EnableWindow");
    if (!w)
        return FALSE;
    const bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (enable && wasDisabled) {
        w->style &= ~WS_DISABLED;
        SendMessage(hwnd, WM_ENABLE, TRUE, 0);
    } else if (!enable && !wasDisabled) {
        w->style |= WS_DISABLED;
        // A disabled window cannot keep the keyboard.
        if (st.focus && (st.focus == hwnd || IsChild(hwnd, st.focus)))
            SetFocus(nullptr);
        if (st.capture && (st.capture == hwnd || IsChild(hwnd, st.capture)))
            ReleaseCapture();
        if (FindWindow(hwnd))
            SendMessage(hwnd, WM_ENABLE, FALSE, 0);
    }
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    Window* w = FindWindow(hwnd, "IsWindowEnabled");
    return w && !(w->style & WS_DISABLED);
}

// --- Capture -------------------------------------------------------------------------------------

HWND SetCapture(HWND hwnd) {
    State& st = state();
    if (hwnd && !FindWindow(hwnd, "SetCapture"))
        return nullptr;
    const HWND old = st.capture;
    if (old == hwnd)
        return old;
    st.capture = hwnd;
    if (old && FindWindow(old))
        SendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    if (Window* w = FindWindow(hwnd))
        backend().grabPointer(TopLevelOf(w)->hwnd);
    return old;
}

BOOL ReleaseCapture() {
    State& st = state();
    const HWND old = st.capture;
    st.capture = nullptr;
    backend().grabPointer(nullptr);
    if (old && FindWindow(old))
        SendMessage(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    return state().capture;
}

// --- Clock and system ----------------------------------------------------------------------------

DWORD GetTickCount() {
    return clockNow();
}
void Sleep(DWORD ms) {
    backend().sleep(ms);
}
bool WaitAnswering(DWORD ms) {
    if (TerminationSignalPending())
        return false;
    const bool goOn = backend().waitAnswering(static_cast<int>(ms));
    return goOn && !TerminationSignalPending();
}
void AnswerWhileBusy() {
    backend().answerWhileBusy();
}
UINT GetCaretBlinkTime() {
    return 530;
}
UINT GetDoubleClickTime() {
    return 500;
}

BOOL MessageBeep(UINT type) {
    backend().beep(type);
    return TRUE;
}

} // namespace plat
