// Buttons (push, default, check box, radio, group box), statics and scroll bars, drawn in the
// classic 3-D look; the registration of every control class; the scroll-bar calls.

#include "core/dlg/DlgInternal.h"
#include "core/win/WinInternal.h"
#include "plat/Font.h"
#include "plat/Input.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>

namespace plat::core {

LRESULT EditProc(HWND, UINT, WPARAM, LPARAM);     // Edit.cpp
LRESULT ListBoxProc(HWND, UINT, WPARAM, LPARAM);  // ListBox.cpp
LRESULT ComboBoxProc(HWND, UINT, WPARAM, LPARAM); // ListBox.cpp
LRESULT ComboListProc(HWND, UINT, WPARAM, LPARAM);

namespace {

struct ButtonState {
    UINT check = BST_UNCHECKED;
    bool pushed = false; // drawn pressed
    bool tracking = false;
    bool spaceDown = false;
};

std::map<HWND, ButtonState>& buttons() {
    static std::map<HWND, ButtonState> m;
    return m;
}

DWORD styleOf(HWND h) {
    return static_cast<DWORD>(GetWindowLongPtr(h, GWL_STYLE));
}

DWORD buttonType(HWND h) {
    return styleOf(h) & BS_TYPEMASK;
}

bool isRadio(DWORD t) {
    return t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON;
}

bool isPush(DWORD t) {
    return t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON;
}

// The brush and colours the parent chooses for a control drawn on the dialog background.
HBRUSH parentBrush(HWND h, HDC hdc, UINT msg) {
    SetTextColor(hdc, SysColor(COLOR_WINDOWTEXT));
    SetBkColor(hdc, SysColor(COLOR_BTNFACE));
    HBRUSH b = nullptr;
    if (HWND parent = GetParent(h))
        b = reinterpret_cast<HBRUSH>(
            SendMessage(parent, msg, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(h)));
    return b ? b : GetSysColorBrush(COLOR_BTNFACE);
}

// Unchecks the other automatic radio buttons of h's WS_GROUP group.
void uncheckGroupSiblings(HWND h) {
    const std::vector<HWND> all = DialogControls(GetParent(h));
    const auto it = std::find(all.begin(), all.end(), h);
    if (it == all.end())
        return;
    std::size_t start = static_cast<std::size_t>(it - all.begin());
    while (start > 0 && !(styleOf(all[start]) & WS_GROUP))
        --start;
    std::size_t end = static_cast<std::size_t>(it - all.begin()) + 1;
    while (end < all.size() && !(styleOf(all[end]) & WS_GROUP))
        ++end;
    for (std::size_t i = start; i < end; ++i) {
        const HWND o = all[i];
        Window* ow = FindWindow(o);
        if (o != h && ow && ClassIs(ow, "BUTTON") && buttonType(o) == BS_AUTORADIOBUTTON)
            SendMessage(o, BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

void buttonClick(HWND h) {
    const DWORD t = buttonType(h);
    ButtonState& s = buttons()[h];
    if (t == BS_AUTOCHECKBOX) {
        SendMessage(h, BM_SETCHECK, s.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    } else if (t == BS_AUTO3STATE) {
        SendMessage(h, BM_SETCHECK, (s.check + 1) % 3, 0);
    } else if (t == BS_AUTORADIOBUTTON) {
        SendMessage(h, BM_SETCHECK, BST_CHECKED, 0);
        uncheckGroupSiblings(h);
    }
    NotifyParent(h, BN_CLICKED);
}

void drawCheckMark(HDC hdc, int x, int y, COLORREF c) {
    // A 7 x 7 tick, three pixels thick.
    static const int kDy[7] = {2, 3, 4, 3, 2, 1, 0};
    for (int i = 0; i < 7; ++i)
        FillSolid(hdc, RECT{x + i, y + kDy[i], x + i + 1, y + kDy[i] + 3}, c);
}

void paintButton(HWND h) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(h, &ps);
    if (!hdc)
        return;
    RECT rc;
    GetClientRect(h, &rc);
    const DWORD st = styleOf(h);
    const DWORD t = st & BS_TYPEMASK;
    const ButtonState& s = buttons()[h];
    const bool enabled = IsWindowEnabled(h) != FALSE;
    const bool focused = GetFocus() == h;
    Window* w = FindWindow(h);
    const std::string text = w ? w->text : std::string();
    const int lh = GuiLineHeight();
    if (isPush(t) || t == BS_OWNERDRAW) {
        FillSolid(hdc, rc, SysColor(COLOR_BTNFACE));
        RECT r = rc;
        if (t == BS_DEFPUSHBUTTON || focused) {
            FillSolid(hdc, RECT{r.left, r.top, r.right, r.top + 1}, 0);
            FillSolid(hdc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, 0);
            FillSolid(hdc, RECT{r.left, r.top, r.left + 1, r.bottom}, 0);
            FillSolid(hdc, RECT{r.right - 1, r.top, r.right, r.bottom}, 0);
            r = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        }
        if (s.pushed) {
            HBRUSH sh = CreateSolidBrush(SysColor(COLOR_BTNSHADOW));
            FrameRect(hdc, &r, sh);
            DeleteObject(sh);
        } else {
            DrawRaisedEdge(hdc, r);
        }
        const int off = s.pushed ? 1 : 0;
        RECT tr{r.left + 2 + off, (rc.bottom - lh) / 2 + off, r.right - 2 + off,
                (rc.bottom - lh) / 2 + lh + off};
        if (!enabled) {
            RECT sh{tr.left + 1, tr.top + 1, tr.right + 1, tr.bottom + 1};
            DrawLabel(hdc, sh, text, 1, true, false, SysColor(COLOR_3DHIGHLIGHT));
        }
        DrawLabel(hdc, tr, text, 1, true, false,
                  enabled ? SysColor(COLOR_BTNTEXT) : SysColor(COLOR_GRAYTEXT));
        if (focused)
            DrawFocusFrame(hdc, RECT{r.left + 3, r.top + 3, r.right - 3, r.bottom - 3});
    } else if (t == BS_GROUPBOX) {
        HBRUSH bg = parentBrush(h, hdc, WM_CTLCOLORSTATIC);
        const COLORREF color = GetTextColor(hdc);
        FillRect(hdc, &rc, bg);
        const int y = lh / 2;
        RECT frame{rc.left, y, rc.right, rc.bottom};
        HBRUSH sh = CreateSolidBrush(SysColor(COLOR_BTNSHADOW));
        HBRUSH hi = CreateSolidBrush(SysColor(COLOR_3DHIGHLIGHT));
        RECT outer{frame.left, frame.top, frame.right - 1, frame.bottom - 1};
        RECT inner{frame.left + 1, frame.top + 1, frame.right, frame.bottom};
        FrameRect(hdc, &inner, hi);
        FrameRect(hdc, &outer, sh);
        DeleteObject(sh);
        DeleteObject(hi);
        if (!text.empty()) {
            HGDIOBJ old = SelectObject(hdc, GuiFont());
            const int tw = TextWidth(hdc, StripPrefix(text, nullptr));
            SelectObject(hdc, old);
            RECT tr{rc.left + 8, rc.top, rc.left + 8 + tw + 4, rc.top + lh};
            FillRect(hdc, &tr, bg);
            tr.left += 2;
            DrawLabel(hdc, tr, text, 0, true, false, enabled ? color : SysColor(COLOR_GRAYTEXT));
        }
    } else {
        // Check box or radio button: the mark at the left, the label beside it.
        HBRUSH bg = parentBrush(h, hdc, WM_CTLCOLORSTATIC);
        const COLORREF color = GetTextColor(hdc);
        FillRect(hdc, &rc, bg);
        const int box = 13;
        const int by = (rc.bottom - box) / 2;
        const bool left = (st & BS_LEFTTEXT) != 0;
        const int bx = left ? rc.right - box : 0;
        const COLORREF well =
            (s.pushed || !enabled) ? SysColor(COLOR_BTNFACE) : SysColor(COLOR_WINDOW);
        if (isRadio(t)) {
            // A round well drawn with the shadow colours, the dot when checked.
            HBRUSH fillB = CreateSolidBrush(well);
            HGDIOBJ oldB = SelectObject(hdc, fillB);
            HPEN pen = CreatePen(PS_SOLID, 1, SysColor(COLOR_BTNSHADOW));
            HGDIOBJ oldP = SelectObject(hdc, pen);
            Ellipse(hdc, bx, by, bx + 12, by + 12);
            SelectObject(hdc, oldP);
            DeleteObject(pen);
            SelectObject(hdc, oldB);
            DeleteObject(fillB);
            if (s.check == BST_CHECKED) {
                const COLORREF dot =
                    enabled ? SysColor(COLOR_WINDOWTEXT) : SysColor(COLOR_GRAYTEXT);
                FillSolid(hdc, RECT{bx + 4, by + 5, bx + 8, by + 7}, dot);
                FillSolid(hdc, RECT{bx + 5, by + 4, bx + 7, by + 8}, dot);
            }
        } else {
            RECT br{bx, by, bx + box, by + box};
            DrawSunkenEdge(hdc, br);
            FillSolid(hdc, RECT{bx + 2, by + 2, bx + box - 2, by + box - 2}, well);
            if (s.check == BST_CHECKED || s.check == BST_INDETERMINATE)
                drawCheckMark(hdc, bx + 3, by + 3,
                              (s.check == BST_CHECKED && enabled) ? SysColor(COLOR_WINDOWTEXT)
                                                                  : SysColor(COLOR_GRAYTEXT));
        }
        RECT tr{left ? 0 : box + 4, (rc.bottom - lh) / 2, left ? rc.right - box - 4 : rc.right,
                (rc.bottom - lh) / 2 + lh};
        DrawLabel(hdc, tr, text, 0, true, false, enabled ? color : SysColor(COLOR_GRAYTEXT));
        if (focused) {
            HGDIOBJ old = SelectObject(hdc, GuiFont());
            const int tw = TextWidth(hdc, StripPrefix(text, nullptr));
            SelectObject(hdc, old);
            DrawFocusFrame(hdc, RECT{tr.left - 1, tr.top,
                                     std::min<LONG>(tr.left + tw + 1, rc.right), tr.bottom});
        }
    }
    EndPaint(h, &ps);
}

LRESULT buttonProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    const DWORD t = buttonType(h);
    switch (msg) {
    case WM_CREATE:
        buttons()[h] = ButtonState{};
        return 0;
    case WM_DESTROY:
        buttons().erase(h);
        return 0;
    case WM_NCHITTEST:
        return t == BS_GROUPBOX ? HTTRANSPARENT : HTCLIENT;
    case WM_GETDLGCODE:
        if (t == BS_GROUPBOX)
            return DLGC_STATIC;
        if (isRadio(t))
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        if (t == BS_DEFPUSHBUTTON)
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (t == BS_PUSHBUTTON)
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        return DLGC_BUTTON;
    case WM_PAINT:
        paintButton(h);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        if (msg == WM_KILLFOCUS) {
            ButtonState& s = buttons()[h];
            if (s.spaceDown) {
                s.spaceDown = false;
                s.pushed = false;
            }
        }
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProc(h, msg, wParam, lParam);
        InvalidateRect(h, nullptr, FALSE);
        return r;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (t == BS_GROUPBOX)
            return 0;
        SetFocus(h);
        ButtonState& s = buttons()[h];
        s.pushed = true;
        s.tracking = true;
        SetCapture(h);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    }
    case WM_MOUSEMOVE: {
        ButtonState& s = buttons()[h];
        if (!s.tracking)
            return 0;
        RECT rc;
        GetClientRect(h, &rc);
        const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        const bool in = x >= 0 && y >= 0 && x < rc.right && y < rc.bottom;
        if (in != s.pushed) {
            s.pushed = in;
            InvalidateRect(h, nullptr, FALSE);
        }
        return 0;
    }
    case WM_LBUTTONUP: {
        ButtonState& s = buttons()[h];
        if (!s.tracking)
            return 0;
        s.tracking = false;
        const bool fire = s.pushed;
        s.pushed = false;
        if (GetCapture() == h)
            ReleaseCapture();
        InvalidateRect(h, nullptr, FALSE);
        if (fire)
            buttonClick(h);
        return 0;
    }
    case WM_CAPTURECHANGED: {
        ButtonState& s = buttons()[h];
        if (s.tracking) {
            s.tracking = false;
            s.pushed = false;
            InvalidateRect(h, nullptr, FALSE);
        }
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == static_cast<WPARAM>(VK_SPACE) && t != BS_GROUPBOX) {
            ButtonState& s = buttons()[h];
            s.spaceDown = true;
            s.pushed = true;
            InvalidateRect(h, nullptr, FALSE);
            return 0;
        }
        return DefWindowProc(h, msg, wParam, lParam);
    case WM_KEYUP:
        if (wParam == static_cast<WPARAM>(VK_SPACE)) {
            ButtonState& s = buttons()[h];
            if (s.spaceDown) {
                s.spaceDown = false;
                s.pushed = false;
                InvalidateRect(h, nullptr, FALSE);
                buttonClick(h);
            }
            return 0;
        }
        return DefWindowProc(h, msg, wParam, lParam);
    case WM_CHAR:
        return 0;
    case BM_CLICK:
        if (IsWindowEnabled(h))
            buttonClick(h);
        return 0;
    case BM_GETCHECK:
        return static_cast<LRESULT>(buttons()[h].check);
    case BM_SETCHECK: {
        ButtonState& s = buttons()[h];
        const UINT v =
            static_cast<UINT>(wParam) > BST_INDETERMINATE ? BST_CHECKED : static_cast<UINT>(wParam);
        if (s.check != v) {
            s.check = v;
            InvalidateRect(h, nullptr, FALSE);
        }
        return 0;
    }
    case BM_GETSTATE: {
        const ButtonState& s = buttons()[h];
        return static_cast<LRESULT>(s.check | (s.pushed ? BST_PUSHED : 0) |
                                    (GetFocus() == h ? BST_FOCUS : 0));
    }
    case BM_SETSTATE:
        buttons()[h].pushed = wParam != 0;
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case BM_SETSTYLE: {
        const DWORD st = (styleOf(h) & ~BS_TYPEMASK) | (static_cast<DWORD>(wParam) & BS_TYPEMASK);
        SetWindowLongPtr(h, GWL_STYLE, static_cast<LONG_PTR>(st));
        if (lParam)
            InvalidateRect(h, nullptr, FALSE);
        return 0;
    }
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

// --- Static -------------------------------------------------------------------------------------

void paintStatic(HWND h) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(h, &ps);
    if (!hdc)
        return;
    RECT rc;
    GetClientRect(h, &rc);
    const DWORD st = styleOf(h);
    const DWORD type = st & SS_TYPEMASK;
    HBRUSH bg = parentBrush(h, hdc, WM_CTLCOLORSTATIC);
    const COLORREF color = GetTextColor(hdc);
    switch (type) {
    case SS_BLACKRECT:
        FillSolid(hdc, rc, SysColor(COLOR_WINDOWFRAME));
        break;
    case SS_GRAYRECT:
        FillSolid(hdc, rc, SysColor(COLOR_BTNSHADOW));
        break;
    case SS_WHITERECT:
        FillSolid(hdc, rc, SysColor(COLOR_WINDOW));
        break;
    case SS_BLACKFRAME: {
        FillRect(hdc, &rc, bg);
        HBRUSH b = CreateSolidBrush(SysColor(COLOR_WINDOWFRAME));
        FrameRect(hdc, &rc, b);
        DeleteObject(b);
        break;
    }
    case SS_ETCHEDHORZ:
        FillRect(hdc, &rc, bg);
        FillSolid(hdc, RECT{0, 0, rc.right, 1}, SysColor(COLOR_BTNSHADOW));
        FillSolid(hdc, RECT{0, 1, rc.right, 2}, SysColor(COLOR_3DHIGHLIGHT));
        break;
    default: {
        FillRect(hdc, &rc, bg);
        Window* w = FindWindow(h);
        const int align = type == SS_CENTER ? 1 : type == SS_RIGHT ? 2 : 0;
        const bool wrap = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
        DrawLabel(hdc, rc, w ? w->text : std::string(), align, !(st & SS_NOPREFIX), wrap,
                  IsWindowEnabled(h) ? color : SysColor(COLOR_GRAYTEXT), GuiFont(h));
        break;
    }
    }
    if (st & SS_SUNKEN)
        DrawSunkenEdge(hdc, rc);
    EndPaint(h, &ps);
}

LRESULT staticProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_PAINT:
        paintStatic(h);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProc(h, msg, wParam, lParam);
        InvalidateRect(h, nullptr, FALSE);
        return r;
    }
    case WM_ENABLE:
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

// --- Scroll bar control -------------------------------------------------------------------------

struct ScrollState {
    int min = 0;
    int max = 100;
    UINT page = 0;
    int pos = 0;
    int trackPos = 0;
    int part = 0; // pressed: 1 first arrow, 2 second arrow, 3 page before, 4 page after, 5 thumb
    int grabOffset = 0;
    bool repeating = false;
};

std::map<HWND, ScrollState>& scrollBars() {
    static std::map<HWND, ScrollState> m;
    return m;
}

// Window bars (SB_HORZ, SB_VERT) of windows that keep their own.
std::map<std::pair<HWND, int>, SCROLLINFO>& windowBars() {
    static std::map<std::pair<HWND, int>, SCROLLINFO> m;
    return m;
}

constexpr UINT_PTR kRepeatTimer = 0x5B01;

int clampPos(int pos, int min, int max, UINT page) {
    const int hi = std::max(min, max - (page ? static_cast<int>(page) - 1 : 0));
    return std::clamp(pos, min, hi);
}

bool vertical(HWND h) {
    return (styleOf(h) & SBS_VERT) != 0;
}

// Lays the bar out along its length: returns arrow size, thumb start and length (0: none).
void barLayout(int length, int thickness, const ScrollState& s, int& arrow, int& thumbAt,
               int& thumbLen) {
    arrow = std::min(thickness, length / 2);
    const int track = length - 2 * arrow;
    // A long document's range runs to many millions: the products are taken in 64 bits.
    const std::int64_t range = std::int64_t{s.max} - s.min + 1;
    thumbLen = 0;
    thumbAt = arrow;
    if (track < 8 || range <= 0 || (s.page && std::int64_t{s.page} >= range))
        return;
    thumbLen = s.page ? std::max(8, static_cast<int>(std::int64_t{track} * s.page / range))
                      : std::min(thickness, track);
    const std::int64_t span = range - (s.page ? std::int64_t{s.page} : 1);
    const int free = track - thumbLen;
    const std::int64_t p = std::int64_t{s.part == 5 ? s.trackPos : s.pos} - s.min;
    thumbAt = arrow + (span > 0 ? static_cast<int>(free * p / span) : 0);
}

void drawArrow(HDC hdc, const RECT& r, int dir, bool pressed, bool enabled) {
    // dir: 0 up, 1 down, 2 left, 3 right
    FillSolid(hdc, r, SysColor(COLOR_BTNFACE));
    if (pressed) {
        HBRUSH sh = CreateSolidBrush(SysColor(COLOR_BTNSHADOW));
        FrameRect(hdc, &r, sh);
        DeleteObject(sh);
    } else {
        DrawRaisedEdge(hdc, r);
    }
    const COLORREF c = enabled ? SysColor(COLOR_BTNTEXT) : SysColor(COLOR_GRAYTEXT);
    const int cx = (r.left + r.right) / 2 + (pressed ? 1 : 0);
    const int cy = (r.top + r.bottom) / 2 + (pressed ? 1 : 0);
    for (int i = 0; i < 4; ++i) {
        switch (dir) {
        case 0:
            FillSolid(hdc, RECT{cx - i, cy - 2 + i, cx + i + 1, cy - 1 + i}, c);
            break;
        case 1:
            FillSolid(hdc, RECT{cx - 3 + i, cy - 1 + i, cx + 4 - i, cy + i}, c);
            break;
        case 2:
            FillSolid(hdc, RECT{cx - 2 + i, cy - i, cx - 1 + i, cy + i + 1}, c);
            break;
        default:
            FillSolid(hdc, RECT{cx - 1 + i, cy - 3 + i, cx + i, cy + 4 - i}, c);
            break;
        }
    }
}

void paintScrollBar(HWND h) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(h, &ps);
    if (!hdc)
        return;
    RECT rc;
    GetClientRect(h, &rc);
    const ScrollState& s = scrollBars()[h];
    const bool vert = vertical(h);
    const int length = vert ? rc.bottom : rc.right;
    const int thick = vert ? rc.right : rc.bottom;
    int arrow = 0, at = 0, len = 0;
    barLayout(length, thick, s, arrow, at, len);
    const bool enabled = IsWindowEnabled(h) != FALSE;
    FillSolid(hdc, rc, SysColor(COLOR_SCROLLBAR));
    auto span = [&](int a, int b) {
        return vert ? RECT{0, a, rc.right, b} : RECT{a, 0, b, rc.bottom};
    };
    drawArrow(hdc, span(0, arrow), vert ? 0 : 2, s.part == 1, enabled);
    drawArrow(hdc, span(length - arrow, length), vert ? 1 : 3, s.part == 2, enabled);
    if (s.part == 3)
        FillSolid(hdc, span(arrow, at), SysColor(COLOR_3DDKSHADOW));
    if (s.part == 4)
        FillSolid(hdc, span(at + len, length - arrow), SysColor(COLOR_3DDKSHADOW));
    if (len > 0 && enabled) {
        const RECT t = span(at, at + len);
        FillSolid(hdc, t, SysColor(COLOR_BTNFACE));
        DrawRaisedEdge(hdc, t);
    }
    EndPaint(h, &ps);
}

void sendScroll(HWND h, WORD code, int pos) {
    const HWND parent = GetParent(h);
    if (!parent)
        return;
    SendMessage(parent, vertical(h) ? WM_VSCROLL : WM_HSCROLL,
                MAKEWPARAM(code, static_cast<WORD>(pos)), reinterpret_cast<LPARAM>(h));
}

void scrollAction(HWND h) {
    const ScrollState& s = scrollBars()[h];
    switch (s.part) {
    case 1:
        sendScroll(h, SB_LINEUP, 0);
        break;
    case 2:
        sendScroll(h, SB_LINEDOWN, 0);
        break;
    case 3:
        sendScroll(h, SB_PAGEUP, 0);
        break;
    case 4:
        sendScroll(h, SB_PAGEDOWN, 0);
        break;
    default:
        break;
    }
}

// The control's layout along its length and where the pointer in lParam falls
// on it.
struct BarPoint {
    int length = 0;
    int p = 0;
    int arrow = 0;
    int at = 0;
    int len = 0;
};

BarPoint barPoint(HWND h, const ScrollState& s, LPARAM lParam) {
    RECT rc;
    GetClientRect(h, &rc);
    const bool vert = vertical(h);
    BarPoint b;
    b.length = vert ? rc.bottom : rc.right;
    b.p = vert ? GET_Y_LPARAM(lParam) : GET_X_LPARAM(lParam);
    barLayout(b.length, vert ? rc.right : rc.bottom, s, b.arrow, b.at, b.len);
    return b;
}

LRESULT scrollBarProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        scrollBars()[h] = ScrollState{};
        return 0;
    case WM_DESTROY:
        scrollBars().erase(h);
        return 0;
    case WM_PAINT:
        paintScrollBar(h);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_ENABLE:
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        ScrollState& s = scrollBars()[h];
        const auto [length, p, arrow, at, len] = barPoint(h, s, lParam);
        if (p < arrow)
            s.part = 1;
        else if (p >= length - arrow)
            s.part = 2;
        else if (len > 0 && p < at)
            s.part = 3;
        else if (len > 0 && p >= at + len)
            s.part = 4;
        else if (len > 0) {
            s.part = 5;
            s.grabOffset = p - at;
            s.trackPos = s.pos;
        } else {
            return 0;
        }
        SetCapture(h);
        InvalidateRect(h, nullptr, FALSE);
        if (s.part != 5) {
            scrollAction(h);
            // The first repeat comes after 400 ms, then every 50 ms.
            SetTimer(h, kRepeatTimer, 400, nullptr);
            scrollBars()[h].repeating = false;
        }
        return 0;
    }
    case WM_TIMER:
        if (wParam == kRepeatTimer) {
            ScrollState& s = scrollBars()[h];
            if (s.part >= 1 && s.part <= 4) {
                if (!s.repeating) {
                    s.repeating = true;
                    SetTimer(h, kRepeatTimer, 50, nullptr);
                }
                scrollAction(h);
            } else {
                KillTimer(h, kRepeatTimer);
            }
        }
        return 0;
    case WM_MOUSEMOVE: {
        ScrollState& s = scrollBars()[h];
        if (s.part != 5)
            return 0;
        const auto [length, p, arrow, at, len] = barPoint(h, s, lParam);
        const int free = length - 2 * arrow - len;
        const std::int64_t span =
            (std::int64_t{s.max} - s.min + 1) - (s.page ? std::int64_t{s.page} : 1);
        const std::int64_t np64 =
            free > 0 ? s.min + (p - s.grabOffset - arrow) * span / free : s.min;
        const int np = static_cast<int>(std::clamp<std::int64_t>(np64, s.min, s.max));
        const int clamped = clampPos(np, s.min, s.max, s.page);
        if (clamped != s.trackPos) {
            s.trackPos = clamped;
            InvalidateRect(h, nullptr, FALSE);
            sendScroll(h, SB_THUMBTRACK, clamped);
        }
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: {
        auto it = scrollBars().find(h);
        if (it == scrollBars().end() || it->second.part == 0)
            return 0;
        const int part = it->second.part;
        const int track = it->second.trackPos;
        it->second.part = 0;
        KillTimer(h, kRepeatTimer);
        if (msg == WM_LBUTTONUP && GetCapture() == h)
            ReleaseCapture();
        InvalidateRect(h, nullptr, FALSE);
        if (part == 5)
            sendScroll(h, SB_THUMBPOSITION, track);
        sendScroll(h, SB_ENDSCROLL, 0);
        return 0;
    }
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

} // namespace

// --- Shared helpers
// -------------------------------------------------------------------------------

DWORD TakeOwnFrame(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    if (!w)
        return 0;
    const DWORD before = w->style | ((w->exStyle & WS_EX_CLIENTEDGE) ? WS_BORDER : 0);
    w->style &= ~(WS_BORDER | WS_DLGFRAME | WS_VSCROLL | WS_HSCROLL);
    w->exStyle &= ~WS_EX_CLIENTEDGE;
    w->insets = RECT{0, 0, 0, 0};
    return before;
}

RECT VScrollThumb(const RECT& r, int min, int max, int page, int pos) {
    ScrollState s;
    s.min = min;
    s.max = max;
    s.page = static_cast<UINT>(std::max(page, 0));
    s.pos = pos;
    int arrow = 0, at = 0, len = 0;
    barLayout(r.bottom - r.top, r.right - r.left, s, arrow, at, len);
    if (len <= 0)
        return RECT{0, 0, 0, 0};
    return RECT{r.left, r.top + at, r.right, r.top + at + len};
}

void DrawVScrollBar(HDC hdc, const RECT& r, int min, int max, int page, int pos, bool enabled) {
    FillSolid(hdc, r, SysColor(COLOR_SCROLLBAR));
    const int w = r.right - r.left;
    const int arrow = std::min(w, (r.bottom - r.top) / 2);
    drawArrow(hdc, RECT{r.left, r.top, r.right, r.top + arrow}, 0, false, enabled);
    drawArrow(hdc, RECT{r.left, r.bottom - arrow, r.right, r.bottom}, 1, false, enabled);
    const RECT t = VScrollThumb(r, min, max, page, pos);
    if (enabled && t.bottom > t.top) {
        FillSolid(hdc, t, SysColor(COLOR_BTNFACE));
        DrawRaisedEdge(hdc, t);
    }
}

void RegisterControlClasses() {
    struct Entry {
        const char* name;
        WNDPROC proc;
        const char* cursor;
    };
    const Entry entries[] = {
        {"BUTTON", &buttonProc, IDC_ARROW},
        {"STATIC", &staticProc, IDC_ARROW},
        {"EDIT", &EditProc, IDC_IBEAM},
        {"LISTBOX", &ListBoxProc, IDC_ARROW},
        {"COMBOBOX", &ComboBoxProc, IDC_ARROW},
        {"SCROLLBAR", &scrollBarProc, IDC_ARROW},
        {"KvComboList", &ComboListProc, IDC_ARROW},
    };
    for (const Entry& e : entries) {
        WNDCLASS wc;
        wc.lpfnWndProc = e.proc;
        wc.lpszClassName = e.name;
        wc.hCursor = LoadCursor(nullptr, e.cursor);
        wc.style = CS_DBLCLKS;
        RegisterSystemClass(wc);
    }
}

} // namespace plat::core

namespace plat {

using namespace plat::core;

void InitCommonControls() {
    EnsureDialogClasses();
}

namespace {

// A scroll control keeps its own state and a window's bar a SCROLLINFO; both
// take and give the same fields the same way.

// Takes the fields `info` names and keeps the position inside the range.
void takeScrollInfo(const SCROLLINFO& info, int& min, int& max, UINT& page, int& pos) {
    if (info.fMask & SIF_RANGE) {
        min = info.nMin;
        max = std::max(info.nMin, info.nMax);
    }
    if (info.fMask & SIF_PAGE)
        page = info.nPage;
    if (info.fMask & SIF_POS)
        pos = info.nPos;
    pos = clampPos(pos, min, max, page);
}

void giveScrollInfo(SCROLLINFO& info, int min, int max, UINT page, int pos, int trackPos) {
    if (info.fMask & SIF_RANGE) {
        info.nMin = min;
        info.nMax = max;
    }
    if (info.fMask & SIF_PAGE)
        info.nPage = page;
    if (info.fMask & SIF_POS)
        info.nPos = pos;
    if (info.fMask & SIF_TRACKPOS)
        info.nTrackPos = trackPos;
}

} // namespace

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw) {
    if (!info || !IsWindow(hwnd))
        return 0;
    int pos = 0;
    if (bar == SB_CTL) {
        auto it = scrollBars().find(hwnd);
        if (it == scrollBars().end())
            return 0;
        ScrollState& s = it->second;
        takeScrollInfo(*info, s.min, s.max, s.page, s.pos);
        pos = s.pos;
    } else {
        SCROLLINFO& s = windowBars()[{hwnd, bar}];
        takeScrollInfo(*info, s.nMin, s.nMax, s.nPage, s.nPos);
        pos = s.nPos;
    }
    if (redraw)
        InvalidateRect(hwnd, nullptr, FALSE);
    return pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info) {
    if (!info || !IsWindow(hwnd))
        return FALSE;
    if (bar == SB_CTL) {
        auto it = scrollBars().find(hwnd);
        if (it == scrollBars().end())
            return FALSE;
        const ScrollState& s = it->second;
        giveScrollInfo(*info, s.min, s.max, s.page, s.pos, s.part == 5 ? s.trackPos : s.pos);
        return TRUE;
    }
    auto it = windowBars().find({hwnd, bar});
    if (it == windowBars().end())
        return FALSE;
    const SCROLLINFO& s = it->second;
    giveScrollInfo(*info, s.nMin, s.nMax, s.nPage, s.nPos, s.nPos);
    return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
    SCROLLINFO old;
    old.fMask = SIF_POS;
    const int previous = GetScrollInfo(hwnd, bar, &old) ? old.nPos : 0;
    SCROLLINFO si;
    si.fMask = SIF_POS;
    si.nPos = pos;
    SetScrollInfo(hwnd, bar, &si, redraw);
    return previous;
}

int GetScrollPos(HWND hwnd, int bar) {
    SCROLLINFO si;
    si.fMask = SIF_POS;
    return GetScrollInfo(hwnd, bar, &si) ? si.nPos : 0;
}

namespace {
std::string& editClipboard() {
    static std::string s;
    return s;
}
} // namespace

void SetEditClipboardText(const char* text) {
    editClipboard() = text ? text : "";
}

const char* GetEditClipboardText() {
    return editClipboard().c_str();
}

} // namespace plat
