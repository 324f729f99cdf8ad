// Input events from the back end turned into queued messages: keyboard state, mouse routing,
// double clicks, activation on click, cursors.

#include "core/dlg/DlgInternal.h"
#include "core/menu/MenuInternal.h"
#include "core/win/WinInternal.h"
#include "plat/System.h"

#include <algorithm>
#include <cstdlib>

namespace plat::core {

namespace {

// Cursor handles carry their standard id with this tag in the top four bits.
constexpr std::uint32_t kCursorTag = 0xC0000000u;

constexpr int kStandardCursors[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643,
                                    32644, 32645, 32646, 32648, 32649, 32650};

int cursorIdOf(HCURSOR h) {
    const std::uint32_t v = IdFromHandle(h);
    if ((v & 0xF0000000u) != kCursorTag)
        return 0;
    return static_cast<int>(v & 0xFFFF);
}

DWORD clockNow() {
    return backend().now();
}

BYTE vkOfButton(int button) {
    return static_cast<BYTE>(button == 0 ? VK_LBUTTON : button == 1 ? VK_RBUTTON : VK_MBUTTON);
}

WPARAM mouseKeys(const std::array<BYTE, 256>& k) {
    WPARAM w = 0;
    if (k[VK_LBUTTON] & 0x80)
        w |= MK_LBUTTON;
    if (k[VK_RBUTTON] & 0x80)
        w |= MK_RBUTTON;
    if (k[VK_MBUTTON] & 0x80)
        w |= MK_MBUTTON;
    if (k[VK_SHIFT] & 0x80)
        w |= MK_SHIFT;
    if (k[VK_CONTROL] & 0x80)
        w |= MK_CONTROL;
    return w;
}

void queueInput(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, const KeyChars& chars) {
    State& st = state();
    InputMessage im;
    im.msg.hwnd = hwnd;
    im.msg.message = message;
    im.msg.wParam = wParam;
    im.msg.lParam = lParam;
    im.msg.time = clockNow();
    im.msg.pt = st.lastPointer;
    im.keys = st.eventKeys;
    im.chars = chars;
    st.input.push_back(im);
}

void handleKey(const BackendEvent& ev) {
    State& st = state();
    const bool down = ev.kind == BackendEvent::Kind::KeyDown;
    KeyChars chars;
    chars.typed = ev.typed;
    chars.base = ev.base;
    chars.keypad = ev.keypad;
    chars.dead = ev.dead;

    Window* tw = KeyTarget(FindWindow(st.focus ? st.focus : st.active));
    const HWND target = tw ? tw->hwnd : nullptr;
    if (down && !ev.codes.empty()) {
        // Text that is not one single-byte character (an ideograph, an input method's commit):
        // a character message for each, WM_IME_CHAR for a double-byte one, and no key message.
        if (tw && ReallyEnabled(tw))
            for (unsigned code : ev.codes)
                queueInput(target, code > 0xFF ? WM_IME_CHAR : WM_CHAR, code, 1, chars);
        return;
    }
    if (ev.vk == 0) {
        // A character with no key of its own (an input method's commit): WM_CHAR alone.
        if (down && ev.typed && tw && TakesInput(tw))
            queueInput(target, WM_CHAR, ev.typed, 1, chars);
        return;
    }
    const int vk = ev.vk & 0xFF;
    const bool wasDown = (st.eventKeys[vk] & 0x80) != 0;
    const bool altBefore = (st.eventKeys[VK_MENU] & 0x80) != 0;
    if (down) {
        if (!wasDown && (vk == VK_CAPITAL || vk == VK_NUMLOCK || vk == VK_SCROLL))
            st.eventKeys[vk] ^= 0x01;
        st.eventKeys[vk] |= 0x80;
    } else {
        st.eventKeys[vk] &= static_cast<BYTE>(~0x80);
    }
    if (!tw || !TakesInput(tw))
        return;
    const bool alt = down ? (st.eventKeys[VK_MENU] & 0x80) != 0 : altBefore;
    const bool ctrl = (st.eventKeys[VK_CONTROL] & 0x80) != 0;
    // Alt without Ctrl makes the system forms; F10 alone too (it opens the menu bar).
    const bool sys = (alt && !ctrl && !ev.altGr) || (vk == VK_F10 && !ctrl);
    LPARAM lp = 1;
    if (alt && !ev.altGr)
        lp |= KF_ALTDOWN_BIT;
    if (down && wasDown)
        lp |= KF_PREVDOWN_BIT;
    if (!down)
        lp |= KF_PREVDOWN_BIT | KF_UP_BIT;
    const UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    queueInput(target, msg, static_cast<WPARAM>(vk), lp, down ? chars : KeyChars{});
}

// Activates a clicked top-level window the way a click does.
void activateOnClick(Window* top) {
    if (!top || state().active == top->hwnd || (top->exStyle & WS_EX_NOACTIVATE))
        return;
    ActivateTopLevel(top->hwnd, WA_CLICKACTIVE, true);
}

void handlePointer(const BackendEvent& ev) {
    State& st = state();
    using K = BackendEvent::Kind;
    st.lastPointer = ev.screen;
    if (ev.kind == K::ButtonDown)
        st.eventKeys[vkOfButton(ev.button)] |= 0x80;
    else if (ev.kind == K::ButtonUp)
        st.eventKeys[vkOfButton(ev.button)] &= static_cast<BYTE>(~0x80);
    // The frames of captioned child windows, and the move or resize a press there started.
    if (NonClientPointer(ev))
        return;

    if (ev.kind == K::Wheel) {
        HWND target = st.focus ? st.focus : st.active;
        Window* tw = FindWindow(target);
        if (!tw || !TakesInput(tw))
            return;
        const int delta = ev.wheel * WHEEL_DELTA;
        queueInput(target, WM_MOUSEWHEEL,
                   MAKEWPARAM(static_cast<WORD>(mouseKeys(st.eventKeys)),
                              static_cast<WORD>(static_cast<SHORT>(delta))),
                   MAKELPARAM(static_cast<WORD>(ev.screen.x), static_cast<WORD>(ev.screen.y)),
                   KeyChars{});
        return;
    }

    Window* target = FindWindow(st.capture);
    if (!target) {
        Window* w = WindowAtPoint(ev.screen, true);
        if (!w)
            return;
        Window* top = TopLevelOf(w);
        if ((top->style & WS_DISABLED) || top->behindModal > 0) {
            if (ev.kind == K::ButtonDown)
                RefuseInput(top);
            return;
        }
        // The deepest enabled window: a disabled window and its descendants are deaf, so the
        // click goes to the parent of the highest disabled ancestor.
        target = w;
        for (Window* a = w; a && a->isChild(); a = FindWindow(a->parent)) {
            if (a->style & WS_DISABLED)
                target = FindWindow(a->parent);
        }
        if (ev.kind == K::ButtonDown) {
            const HWND hit = target ? target->hwnd : nullptr;
            activateOnClick(top);
            // A press inside a document window makes it the active one, with the focus,
            // unless the focus is inside it already.
            if (Window* doc = DocumentWindowOf(FindWindow(hit))) {
                const HWND dh = doc->hwnd;
                ActivateDocumentChild(doc);
                if (FindWindow(dh) && !(st.focus == dh || IsChild(dh, st.focus)))
                    SetFocus(dh);
            }
            target = FindWindow(hit);
        }
        // The menu bar above the frame's client area: a press opens the title under it through
        // the frame's WM_SYSCOMMAND; nothing else there reaches the client.
        if (top->menuBarHeight > 0 && w == top) {
            const RECT c = ClientOnScreen(top);
            if (ev.screen.y < c.top && ev.screen.y >= c.top - top->menuBarHeight &&
                ev.screen.x >= c.left && ev.screen.x < c.right) {
                if (ev.kind == K::ButtonDown && FindWindow(top->hwnd))
                    queueInput(
                        top->hwnd, WM_SYSCOMMAND, SC_MOUSEMENU,
                        MAKELPARAM(static_cast<WORD>(ev.screen.x), static_cast<WORD>(ev.screen.y)),
                        KeyChars{});
                return;
            }
        }
        target = FindWindow(target ? target->hwnd : nullptr);
        if (!target)
            return;
    }

    const RECT c = ClientOnScreen(target);
    const int x = ev.screen.x - c.left, y = ev.screen.y - c.top;
    const LPARAM lp = MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(x)),
                                 static_cast<WORD>(static_cast<SHORT>(y)));
    const WPARAM keys = mouseKeys(st.eventKeys);
    UINT msg = WM_MOUSEMOVE;
    if (ev.kind == K::Motion) {
        st.lastMouseWindow = target->hwnd;
        ApplyClassCursor(target);
    } else if (ev.kind == K::ButtonDown) {
        static const UINT kDown[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
        const int b = ev.button < 0 || ev.button > 2 ? 0 : ev.button;
        msg = kDown[b];
        const DWORD now = clockNow();
        ClickMemory& last = st.lastClick;
        const int half = GetSystemMetrics(SM_CXDOUBLECLK) / 2;
        const bool second = last.hwnd == target->hwnd && last.button == b &&
                            now - last.time <= GetDoubleClickTime() &&
                            std::abs(ev.screen.x - last.screen.x) <= half &&
                            std::abs(ev.screen.y - last.screen.y) <= half;
        if (second && (target->cls->style & CS_DBLCLKS)) {
            msg += 2; // *BUTTONDBLCLK
            last.hwnd = nullptr;
        } else {
            last.hwnd = target->hwnd;
            last.button = b;
            last.time = now;
            last.screen = ev.screen;
        }
    } else {
        static const UINT kUp[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
        msg = kUp[ev.button < 0 || ev.button > 2 ? 0 : ev.button];
    }
    queueInput(target->hwnd, msg, keys, lp, KeyChars{});
}

void handleConfigure(const BackendEvent& ev) {
    Window* w = FindWindow(ev.hwnd);
    if (!w || w->isChild())
        return;
    const int oldW = w->clientWidth(), oldH = w->clientHeight();
    // The event gives what the back end displays: the client area with the menu bar above it.
    w->rect = RECT{ev.rect.left - w->insets.left, ev.rect.top - w->insets.top + w->menuBarHeight,
                   ev.rect.right + w->insets.right, ev.rect.bottom + w->insets.bottom};
    if (w->clientWidth() != oldW || w->clientHeight() != oldH) {
        EnsureImage(w);
        InvalidateClient(w, nullptr, true);
        SendMessage(w->hwnd, WM_SIZE, SIZE_RESTORED,
                    MAKELPARAM(static_cast<WORD>(std::max(w->clientWidth(), 0)),
                               static_cast<WORD>(std::max(w->clientHeight(), 0))));
    }
}

} // namespace

Window* KeyTarget(Window* w) {
    if (!w || TakesInput(w))
        return w;
    if (!w->isChild())
        return nullptr;
    Window* dialog = FindWindow(DialogOfControl(w->hwnd));
    return dialog && TakesInput(dialog) ? dialog : nullptr;
}

void RefuseInput(Window* top) {
    State& st = state();
    backend().beep(0);
    if (!top)
        return;
    // Behind a modal run: its dialog comes forward.
    if (top->behindModal > 0 && !st.modalRuns.empty()) {
        const HWND dialog = st.modalRuns.back();
        if (FindWindow(dialog) && st.active != dialog)
            SetActiveWindow(dialog);
        return;
    }
    // A disabled window: its enabled owned popup (the modal dialog) comes forward.
    for (HWND t : st.topLevels) {
        Window* o = FindWindow(t);
        if (o && o->owner == top->hwnd && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED) &&
            !(o->exStyle & WS_EX_NOACTIVATE)) {
            SetActiveWindow(t);
            return;
        }
    }
}

std::vector<HWND> BeginModalRun(HWND dialog) {
    State& st = state();
    std::vector<HWND> behind;
    for (HWND t : st.topLevels) {
        Window* w = FindWindow(t);
        if (!w || t == dialog)
            continue;
        ++w->behindModal;
        behind.push_back(t);
    }
    st.modalRuns.push_back(dialog);
    // Nothing behind the run keeps the pointer or the keyboard.
    if (Window* c = FindWindow(st.capture); c && !TakesInput(c))
        ReleaseCapture();
    if (Window* f = FindWindow(st.focus); f && !TakesInput(f))
        SetFocus(nullptr);
    return behind;
}

void EndModalRun(HWND dialog, const std::vector<HWND>& behind) {
    State& st = state();
    for (HWND t : behind) {
        if (Window* w = FindWindow(t); w && w->behindModal > 0)
            --w->behindModal;
    }
    auto it = std::find(st.modalRuns.rbegin(), st.modalRuns.rend(), dialog);
    if (it != st.modalRuns.rend())
        st.modalRuns.erase(std::next(it).base());
}

void HandleEvent(const BackendEvent& ev) {
    using K = BackendEvent::Kind;
    switch (ev.kind) {
    case K::KeyDown:
    case K::KeyUp:
        handleKey(ev);
        break;
    case K::ButtonDown:
    case K::ButtonUp:
    case K::Motion:
    case K::Wheel:
        handlePointer(ev);
        break;
    case K::Close:
        if (Window* w = FindWindow(ev.hwnd)) {
            // The window manager's close button is the window's own close box: a queued
            // SC_CLOSE, so that a modal loop the close ends sees it end at once.
            if (!TakesInput(w) || !SystemCloseEnabled(ev.hwnd))
                RefuseInput(w);
            else
                PostMessage(ev.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        break;
    case K::Configure:
        handleConfigure(ev);
        break;
    case K::Exposed:
        if (Window* w = FindWindow(ev.hwnd))
            Present(w, ev.rect);
        break;
    case K::FocusGained:
        // The window manager or the user gave a window the keyboard: it becomes the active one,
        // without asking the display again. A window that is never activated (the palette), a
        // disabled one (the owner of a modal dialog) or a hidden one leaves the activation where
        // it is; the keys still reach the focus window.
        if (Window* w = FindWindow(ev.hwnd)) {
            if (!w->isChild() && (w->style & WS_VISIBLE) && TakesInput(w) &&
                !(w->exStyle & WS_EX_NOACTIVATE))
                ActivateTopLevel(ev.hwnd, WA_ACTIVE, false);
        }
        break;
    case K::FocusLost:
        // Another program took the keyboard; our activation model keeps its window, so that
        // modal runs are not disturbed by the window manager.
        break;
    }
}

void ApplyClassCursor(Window* w) {
    if (w && w->cls->cursor)
        SetCursor(w->cls->cursor);
}

void ResetInput() {
    State& st = state();
    st.keys.fill(0);
    st.eventKeys.fill(0);
    st.lastChars = KeyChars{};
    st.lastKeyMsg = MSG{};
    st.lastClick = ClickMemory{};
    st.lastPointer = POINT{};
    st.lastMouseWindow = nullptr;
    st.lastMessageTime = 0;
}

} // namespace plat::core

namespace plat {

using namespace plat::core;

SHORT GetKeyState(int vk) {
    if (vk < 0 || vk > 255)
        return 0;
    const BYTE b = state().keys[static_cast<std::size_t>(vk)];
    return static_cast<SHORT>(((b & 0x80) ? 0x8000 : 0) | (b & 0x01));
}

SHORT GetAsyncKeyState(int vk) {
    if (vk < 0 || vk > 255)
        return 0;
    return static_cast<SHORT>(backend().asyncKeyDown(vk) ? 0x8000 : 0);
}

BOOL GetKeyboardState(BYTE* out) {
    if (!out)
        return FALSE;
    for (std::size_t i = 0; i < 256; ++i)
        out[i] = state().keys[i];
    return TRUE;
}

BOOL SetKeyboardState(const BYTE* in) {
    if (!in)
        return FALSE;
    for (std::size_t i = 0; i < 256; ++i)
        state().keys[i] = in[i];
    return TRUE;
}

bool WindowTakesInput(HWND hwnd) {
    const Window* w = FindWindow(hwnd);
    return w != nullptr && TakesInput(w);
}

KeyChars GetKeyChars(const MSG& msg) {
    const State& st = state();
    if (msg.message == WM_CHAR || msg.message == WM_SYSCHAR)
        return st.lastChars;
    const MSG& k = st.lastKeyMsg;
    if (k.hwnd == msg.hwnd && k.message == msg.message && k.wParam == msg.wParam &&
        k.lParam == msg.lParam)
        return st.lastChars;
    return KeyChars{};
}

HCURSOR LoadCursor(HINSTANCE instance, const char* name) {
    if (!name)
        return nullptr;
    if (instance) {
        // FIXME: resource cursors; the arrow stands in for them.
        return HandleFromId<HCURSOR>(kCursorTag | 32512u);
    }
    if (!IS_INTRESOURCE(name))
        return nullptr;
    const int id = static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
    for (int s : kStandardCursors) {
        if (s == id)
            return HandleFromId<HCURSOR>(kCursorTag | static_cast<std::uint32_t>(id));
    }
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
    State& st = state();
    if (cursor && cursorIdOf(cursor) == 0) {
        Diagnostic("SetCursor: invalid cursor handle");
        return st.cursor;
    }
    const HCURSOR old = st.cursor;
    st.cursor = cursor;
    backend().setCursor(cursorIdOf(cursor));
    return old;
}

HCURSOR GetCursor() {
    return state().cursor;
}

BOOL GetCursorPos(POINT* pt) {
    if (!pt)
        return FALSE;
    *pt = backend().pointer();
    return TRUE;
}

HIMC ImmGetContext(HWND hwnd) {
    return IsWindow(hwnd) ? static_cast<HIMC>(hwnd) : nullptr;
}

BOOL ImmSetCompositionWindow(HIMC context, const COMPOSITIONFORM* form) {
    auto hwnd = static_cast<HWND>(context);
    if (!form || !IsWindow(hwnd) || (form->dwStyle & CFS_POINT) == 0)
        return FALSE;
    // The back end places the composition window in its top-level window's client area.
    HWND top = GetAncestor(hwnd, GA_ROOT);
    if (!top)
        top = hwnd;
    POINT p = form->ptCurrentPos;
    ClientToScreen(hwnd, &p);
    ScreenToClient(top, &p);
    backend().setImeSpot(top, p);
    return TRUE;
}

BOOL ImmReleaseContext(HWND hwnd, HIMC context) {
    return IsWindow(hwnd) && context == static_cast<HIMC>(hwnd) ? TRUE : FALSE;
}

} // namespace plat
