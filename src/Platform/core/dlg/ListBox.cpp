// The list box (single selection, owner-drawn fixed rows or strings, its own scroll bar) and the
// drop-down list combo box (closed field and a popup list of per-item heights). Owner-drawn items
// follow the usual action rules: a full repaint sends ODA_DRAWENTIRE with the item's state, a
// selection change ODA_SELECT for the old item and the new one, a focus change ODA_FOCUS.

#include "core/dlg/DlgInternal.h"
#include "core/win/WinInternal.h"
#include "plat/Font.h"
#include "plat/Input.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace plat::core {

namespace {

struct Item {
    std::string text;
    DWORD_PTR data = 0;
    UINT height = 0;
};

DWORD styleOf(HWND h) {
    return static_cast<DWORD>(GetWindowLongPtr(h, GWL_STYLE));
}

bool equalNoCase(const std::string& a, const char* b) {
    return b && EqualNoCase(a, b);
}

// --- List box
// -------------------------------------------------------------------------------------

struct ListState {
    std::vector<Item> items;
    int cur = -1;
    int top = 0;
    int itemHeight = 0;
    DWORD frame = 0;
    int dragPart = 0; // 1 thumb drag on the scroll bar
    int grab = 0;
    bool tracking = false;
};

std::map<HWND, ListState>& lists() {
    static std::map<HWND, ListState> m;
    return m;
}

bool ownerDraw(HWND h) {
    return (styleOf(h) & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0;
}

bool hasStrings(HWND h) {
    return !ownerDraw(h) || (styleOf(h) & LBS_HASSTRINGS);
}

struct ListGeometry {
    RECT items; // the rows' area
    RECT bar;   // the scroll bar (empty without WS_VSCROLL)
    int visible = 1;
};

ListGeometry geometryOf(HWND h, const ListState& s) {
    RECT rc;
    GetClientRect(h, &rc);
    ListGeometry g;
    const int b = (s.frame & WS_BORDER) ? 2 : 0;
    g.items = RECT{rc.left + b, rc.top + b, rc.right - b, rc.bottom - b};
    if (s.frame & WS_VSCROLL) {
        g.bar = RECT{g.items.right - 16, g.items.top, g.items.right, g.items.bottom};
        g.items.right = g.bar.left;
    }
    g.visible =
        std::max(1, static_cast<int>(g.items.bottom - g.items.top) / std::max(1, s.itemHeight));
    return g;
}

RECT itemRect(const ListGeometry& g, const ListState& s, int i) {
    const int y = g.items.top + (i - s.top) * s.itemHeight;
    return RECT{g.items.left, y, g.items.right, y + s.itemHeight};
}

void drawListItem(HWND h, HDC hdc, const ListState& s, int i, UINT action) {
    const ListGeometry g = geometryOf(h, s);
    if (i < s.top || i >= s.top + g.visible + 1 || i >= static_cast<int>(s.items.size()))
        return;
    const RECT r = itemRect(g, s, i);
    const bool enabled = IsWindowEnabled(h) != FALSE;
    const bool focused = GetFocus() == h;
    UINT state = 0;
    if (i == s.cur)
        state |= ODS_SELECTED;
    if (i == s.cur && focused)
        state |= ODS_FOCUS;
    if (!enabled)
        state |= ODS_DISABLED;
    SaveDC(hdc);
    IntersectClipRect(hdc, g.items.left, g.items.top, g.items.right, g.items.bottom);
    SelectObject(hdc, GuiFont(h));
    if (ownerDraw(h)) {
        DRAWITEMSTRUCT d;
        d.CtlType = ODT_LISTBOX;
        d.CtlID = static_cast<UINT>(GetDlgCtrlID(h));
        d.itemID = static_cast<UINT>(i);
        d.itemAction = action;
        d.itemState = state;
        d.hwndItem = h;
        d.hDC = hdc;
        d.rcItem = r;
        d.itemData = s.items[static_cast<std::size_t>(i)].data;
        SetTextColor(hdc, SysColor(COLOR_WINDOWTEXT));
        SetBkColor(hdc, SysColor(COLOR_WINDOW));
        if (HWND parent = GetParent(h))
            SendMessage(parent, WM_DRAWITEM, d.CtlID, reinterpret_cast<LPARAM>(&d));
    } else {
        const bool sel = (state & ODS_SELECTED) != 0;
        FillSolid(hdc, r, sel ? SysColor(COLOR_HIGHLIGHT) : SysColor(COLOR_WINDOW));
        RECT tr{r.left + 2, r.top + (s.itemHeight - GuiLineHeight()) / 2, r.right, r.bottom};
        DrawLabel(hdc, tr, s.items[static_cast<std::size_t>(i)].text, 0, false, false,
                  sel ? SysColor(COLOR_HIGHLIGHTTEXT)
                      : (enabled ? SysColor(COLOR_WINDOWTEXT) : SysColor(COLOR_GRAYTEXT)),
                  GuiFont(h));
        if (state & ODS_FOCUS)
            DrawFocusFrame(hdc, r);
    }
    RestoreDC(hdc, -1);
}

// Draws one item at once (selection and focus changes).
void redrawItemNow(HWND h, int i, UINT action) {
    auto it = lists().find(h);
    if (it == lists().end() || i < 0 || !IsWindowVisible(h))
        return;
    HDC hdc = GetDC(h);
    if (!hdc)
        return;
    drawListItem(h, hdc, it->second, i, action);
    ReleaseDC(h, hdc);
}

void paintList(HWND h) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(h, &ps);
    if (!hdc)
        return;
    ListState& s = lists()[h];
    RECT rc;
    GetClientRect(h, &rc);
    HBRUSH bg = GetSysColorBrush(COLOR_WINDOW);
    if (HWND parent = GetParent(h)) {
        HBRUSH b = reinterpret_cast<HBRUSH>(SendMessage(parent, WM_CTLCOLORLISTBOX,
                                                        reinterpret_cast<WPARAM>(hdc),
                                                        reinterpret_cast<LPARAM>(h)));
        if (b)
            bg = b;
    }
    FillRect(hdc, &rc, bg);
    if (s.frame & WS_BORDER)
        DrawSunkenEdge(hdc, rc);
    const ListGeometry g = geometryOf(h, s);
    for (int i = s.top; i < static_cast<int>(s.items.size()) && i <= s.top + g.visible; ++i)
        drawListItem(h, hdc, lists()[h], i, ODA_DRAWENTIRE);
    if (g.bar.right > g.bar.left) {
        const int n = static_cast<int>(s.items.size());
        DrawVScrollBar(hdc, g.bar, 0, std::max(0, n - 1), g.visible, s.top,
                       IsWindowEnabled(h) && n > g.visible);
    }
    EndPaint(h, &ps);
}

void clampTop(HWND h, ListState& s) {
    const ListGeometry g = geometryOf(h, s);
    const int n = static_cast<int>(s.items.size());
    s.top = std::clamp(s.top, 0, std::max(0, n - g.visible));
}

// Makes row i visible; returns true when the list scrolled.
bool scrollIntoView(HWND h, ListState& s, int i) {
    if (i < 0)
        return false;
    const ListGeometry g = geometryOf(h, s);
    const int old = s.top;
    if (i < s.top)
        s.top = i;
    else if (i >= s.top + g.visible)
        s.top = i - g.visible + 1;
    clampTop(h, s);
    return s.top != old;
}

void syncBar(HWND h, const ListState& s) {
    if (!(s.frame & WS_VSCROLL))
        return;
    const ListGeometry g = geometryOf(h, s);
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = std::max(0, static_cast<int>(s.items.size()) - 1);
    si.nPage = static_cast<UINT>(g.visible);
    si.nPos = s.top;
    SetScrollInfo(h, SB_VERT, &si, FALSE);
}

// Changes the selection; `user` set: notifies the parent (LBS_NOTIFY).
void setSelection(HWND h, int i, bool user) {
    auto it = lists().find(h);
    if (it == lists().end())
        return;
    ListState& s = it->second;
    const int n = static_cast<int>(s.items.size());
    if (i >= n)
        i = n - 1;
    if (i < -1)
        i = -1;
    const int old = s.cur;
    const bool scrolled = scrollIntoView(h, s, i);
    if (old == i && !scrolled)
        return;
    s.cur = i;
    syncBar(h, s);
    if (scrolled) {
        InvalidateRect(h, nullptr, FALSE);
    } else {
        redrawItemNow(h, old, ODA_SELECT);
        redrawItemNow(h, i, ODA_SELECT);
    }
    if (user && old != i && (styleOf(h) & LBS_NOTIFY))
        NotifyParent(h, LBN_SELCHANGE);
}

int rowAt(HWND h, const ListState& s, int x, int y) {
    const ListGeometry g = geometryOf(h, s);
    if (x < g.items.left || x >= g.items.right || y < g.items.top || y >= g.items.bottom)
        return -1;
    const int i = s.top + (y - static_cast<int>(g.items.top)) / std::max(1, s.itemHeight);
    return i < static_cast<int>(s.items.size()) ? i : -1;
}

int copyText(const std::string& t, char* buf) {
    if (buf) {
        std::memcpy(buf, t.c_str(), t.size() + 1);
    }
    return static_cast<int>(t.size());
}

// --- Item messages list boxes and combo boxes answer alike; `err` is the
// control's own error value.

bool validIndex(const std::vector<Item>& items, WPARAM wParam) {
    const int i = static_cast<int>(wParam);
    return i >= 0 && i < static_cast<int>(items.size());
}

// Puts a new item at `index` (negative: at the end; -2 from ADDSTRING keeps a
// sorted control in order) and keeps the current selection on its item.
int insertItem(std::vector<Item>& items, int& cur, int index, LPARAM lParam, bool strings,
               bool sorted, int itemHeight) {
    Item item;
    if (strings) {
        const char* t = reinterpret_cast<const char*>(lParam);
        item.text = t ? t : "";
    } else {
        item.data = static_cast<DWORD_PTR>(lParam);
    }
    item.height = static_cast<UINT>(itemHeight);
    int at = index < 0 || index > static_cast<int>(items.size()) ? static_cast<int>(items.size())
                                                                 : index;
    if (index == -2 && strings && sorted) {
        at = 0;
        while (at < static_cast<int>(items.size()) &&
               items[static_cast<std::size_t>(at)].text <= item.text)
            ++at;
    }
    items.insert(items.begin() + at, item);
    if (cur >= at)
        ++cur;
    return at;
}

// Removes item `wParam`; false when there is no such item.
bool eraseItem(std::vector<Item>& items, int& cur, WPARAM wParam) {
    if (!validIndex(items, wParam))
        return false;
    const int i = static_cast<int>(wParam);
    items.erase(items.begin() + i);
    if (cur == i)
        cur = -1;
    else if (cur > i)
        --cur;
    return true;
}

LRESULT getItemText(const std::vector<Item>& items, WPARAM wParam, LPARAM lParam, bool strings,
                    LRESULT err) {
    if (!validIndex(items, wParam))
        return err;
    const Item& item = items[wParam];
    if (!strings) {
        if (lParam)
            std::memcpy(reinterpret_cast<void*>(lParam), &item.data, sizeof item.data);
        return sizeof item.data;
    }
    return copyText(item.text, reinterpret_cast<char*>(lParam));
}

LRESULT getItemTextLen(const std::vector<Item>& items, WPARAM wParam, bool strings, LRESULT err) {
    if (!validIndex(items, wParam))
        return err;
    return strings ? static_cast<LRESULT>(items[wParam].text.size())
                   : static_cast<LRESULT>(sizeof(DWORD_PTR));
}

LRESULT getItemData(const std::vector<Item>& items, WPARAM wParam, LRESULT err) {
    if (!validIndex(items, wParam))
        return err;
    return static_cast<LRESULT>(items[wParam].data);
}

LRESULT setItemData(std::vector<Item>& items, WPARAM wParam, LPARAM lParam, LRESULT err) {
    if (!validIndex(items, wParam))
        return err;
    items[wParam].data = static_cast<DWORD_PTR>(lParam);
    return 0;
}

// Searches, case-blind and wrapping round, from the item after `wParam`.
LRESULT findStringExact(const std::vector<Item>& items, WPARAM wParam, LPARAM lParam, bool strings,
                        LRESULT err) {
    const int n = static_cast<int>(items.size());
    if (!strings || n == 0)
        return err;
    const int start = static_cast<int>(wParam);
    for (int k = 1; k <= n; ++k) {
        const int i = ((start < 0 ? -1 : start) + k) % n;
        if (equalNoCase(items[static_cast<std::size_t>(i)].text,
                        reinterpret_cast<const char*>(lParam)))
            return i;
    }
    return err;
}

int addItem(HWND h, ListState& s, int index, LPARAM lParam) {
    const int at = insertItem(s.items, s.cur, index, lParam, hasStrings(h),
                              (styleOf(h) & LBS_SORT) != 0, s.itemHeight);
    syncBar(h, s);
    InvalidateRect(h, nullptr, FALSE);
    return at;
}

} // namespace

LRESULT ListBoxProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        ListState s;
        s.frame = TakeOwnFrame(h);
        s.itemHeight = GuiLineHeight() + 2;
        lists()[h] = s;
        return 0;
    }
    auto it = lists().find(h);
    if (it == lists().end())
        return DefWindowProc(h, msg, wParam, lParam);
    ListState& s = it->second;
    const int n = static_cast<int>(s.items.size());
    switch (msg) {
    case WM_DESTROY:
        lists().erase(h);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_PAINT:
        paintList(h);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        clampTop(h, s);
        syncBar(h, s);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (s.cur >= 0)
            redrawItemNow(h, s.cur, ODA_FOCUS);
        if (styleOf(h) & LBS_NOTIFY)
            NotifyParent(h, msg == WM_SETFOCUS ? LBN_SETFOCUS : LBN_KILLFOCUS);
        return 0;
    case WM_ENABLE:
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_KEYDOWN: {
        const ListGeometry g = geometryOf(h, s);
        int target = s.cur;
        switch (static_cast<int>(wParam)) {
        case VK_UP:
            target = s.cur < 0 ? 0 : s.cur - 1;
            break;
        case VK_DOWN:
            target = s.cur + 1;
            break;
        case VK_PRIOR:
            target = s.cur < 0 ? 0 : s.cur - (g.visible - 1);
            break;
        case VK_NEXT:
            target = s.cur + (g.visible - 1);
            break;
        case VK_HOME:
            target = 0;
            break;
        case VK_END:
            target = n - 1;
            break;
        default:
            return 0;
        }
        if (n > 0)
            setSelection(h, std::clamp(target, 0, n - 1), true);
        return 0;
    }
    case WM_CHAR: {
        // A letter picks the next string item starting with it.
        if (!hasStrings(h) || n == 0)
            return 0;
        const char c = static_cast<char>(wParam & 0xFF);
        for (int k = 1; k <= n; ++k) {
            const int i = (std::max(s.cur, 0) + k) % n;
            const std::string& t = s.items[static_cast<std::size_t>(i)].text;
            if (!t.empty() && EqualNoCase(t.substr(0, 1), std::string(1, c))) {
                setSelection(h, i, true);
                break;
            }
        }
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const ListGeometry g = geometryOf(h, s);
        const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        if (GetFocus() != h)
            SetFocus(h);
        auto again = lists().find(h);
        if (again == lists().end())
            return 0;
        ListState& ls = again->second;
        if (g.bar.right > g.bar.left && x >= g.bar.left) {
            const RECT thumb = VScrollThumb(g.bar, 0, std::max(0, n - 1), g.visible, ls.top);
            const int arrow = std::min<int>(16, (g.bar.bottom - g.bar.top) / 2);
            if (y < g.bar.top + arrow)
                ls.top -= 1;
            else if (y >= g.bar.bottom - arrow)
                ls.top += 1;
            else if (thumb.bottom > thumb.top && y < thumb.top)
                ls.top -= g.visible;
            else if (thumb.bottom > thumb.top && y >= thumb.bottom)
                ls.top += g.visible;
            else if (thumb.bottom > thumb.top) {
                ls.dragPart = 1;
                ls.grab = y - thumb.top;
                SetCapture(h);
            }
            clampTop(h, ls);
            syncBar(h, ls);
            InvalidateRect(h, nullptr, FALSE);
            return 0;
        }
        const int row = rowAt(h, ls, x, y);
        if (row >= 0) {
            setSelection(h, row, true);
            auto live = lists().find(h);
            if (live == lists().end())
                return 0;
            live->second.tracking = true;
            SetCapture(h);
            if (msg == WM_LBUTTONDBLCLK && (styleOf(h) & LBS_NOTIFY))
                NotifyParent(h, LBN_DBLCLK);
        }
        return 0;
    }
    case WM_MOUSEMOVE: {
        const int y = GET_Y_LPARAM(lParam);
        if (s.dragPart == 1) {
            const ListGeometry g = geometryOf(h, s);
            const int arrow = std::min<int>(16, (g.bar.bottom - g.bar.top) / 2);
            const RECT thumb = VScrollThumb(g.bar, 0, std::max(0, n - 1), g.visible, s.top);
            const int free = (g.bar.bottom - g.bar.top) - 2 * arrow - (thumb.bottom - thumb.top);
            const int span = n - g.visible;
            if (free > 0 && span > 0) {
                s.top = (y - s.grab - g.bar.top - arrow) * span / free;
                clampTop(h, s);
                syncBar(h, s);
                InvalidateRect(h, nullptr, FALSE);
            }
            return 0;
        }
        if (s.tracking) {
            const ListGeometry g = geometryOf(h, s);
            const int yy = std::clamp<int>(y, g.items.top, g.items.bottom - 1);
            const int row = rowAt(h, s, g.items.left, yy);
            if (row >= 0 && row != s.cur)
                setSelection(h, row, true);
        }
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (s.tracking || s.dragPart) {
            s.tracking = false;
            s.dragPart = 0;
            if (msg == WM_LBUTTONUP && GetCapture() == h)
                ReleaseCapture();
        }
        return 0;
    case WM_MOUSEWHEEL: {
        const int delta = static_cast<SHORT>(HIWORD(wParam));
        s.top -= 3 * delta / WHEEL_DELTA;
        clampTop(h, s);
        syncBar(h, s);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    }
    case LB_ADDSTRING:
        return addItem(h, s, -2, lParam);
    case LB_INSERTSTRING:
        return addItem(h, s, static_cast<int>(wParam), lParam);
    case LB_DELETESTRING: {
        if (!eraseItem(s.items, s.cur, wParam))
            return LB_ERR;
        clampTop(h, s);
        syncBar(h, s);
        InvalidateRect(h, nullptr, FALSE);
        return static_cast<LRESULT>(s.items.size());
    }
    case LB_RESETCONTENT:
        s.items.clear();
        s.cur = -1;
        s.top = 0;
        syncBar(h, s);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case LB_SETCURSEL: {
        const int i = static_cast<int>(wParam);
        if (i < -1 || i >= n) {
            setSelection(h, -1, false);
            return LB_ERR;
        }
        setSelection(h, i, false);
        return i < 0 ? LB_ERR : i;
    }
    case LB_GETCURSEL:
        return s.cur;
    case LB_GETCOUNT:
        return n;
    case LB_GETTEXT:
        return getItemText(s.items, wParam, lParam, hasStrings(h), LB_ERR);
    case LB_GETTEXTLEN:
        return getItemTextLen(s.items, wParam, hasStrings(h), LB_ERR);
    case LB_GETITEMDATA:
        return getItemData(s.items, wParam, LB_ERR);
    case LB_SETITEMDATA:
        return setItemData(s.items, wParam, lParam, LB_ERR);
    case LB_GETTOPINDEX:
        return s.top;
    case LB_SETTOPINDEX:
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= std::max(n, 1))
            return LB_ERR;
        s.top = static_cast<int>(wParam);
        clampTop(h, s);
        syncBar(h, s);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case LB_GETITEMRECT: {
        const int i = static_cast<int>(wParam);
        if (i < 0 || i >= n || !lParam)
            return LB_ERR;
        *reinterpret_cast<RECT*>(lParam) = itemRect(geometryOf(h, s), s, i);
        return 1;
    }
    case LB_SETITEMHEIGHT:
        if (lParam <= 0 || lParam > 255)
            return LB_ERR;
        s.itemHeight = static_cast<int>(lParam);
        clampTop(h, s);
        syncBar(h, s);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case LB_GETITEMHEIGHT:
        return s.itemHeight;
    case LB_FINDSTRINGEXACT:
        return findStringExact(s.items, wParam, lParam, hasStrings(h), LB_ERR);
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

// --- Combo box
// ------------------------------------------------------------------------------------

namespace {

struct ComboState {
    std::vector<Item> items;
    int cur = -1;
    int hot = -1;
    int top = 0; // first item shown in the drop-down
    int fieldHeight = 0;
    int itemHeight = 0;
    int droppedHeight = 0; // the template height: field and list together
    HWND popup = nullptr;
    DWORD frame = 0;
    bool pressed = false;
};

std::map<HWND, ComboState>& combos() {
    static std::map<HWND, ComboState> m;
    return m;
}

std::map<HWND, HWND>& popupOwners() {
    static std::map<HWND, HWND> m; // popup -> combo
    return m;
}

bool comboOwnerDraw(HWND h) {
    return (styleOf(h) & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) != 0;
}

bool comboHasStrings(HWND h) {
    return !comboOwnerDraw(h) || (styleOf(h) & CBS_HASSTRINGS);
}

constexpr int kButtonWidth = 16;

void resizeField(HWND h, ComboState& s) {
    RECT wr;
    GetWindowRect(h, &wr);
    POINT tl{wr.left, wr.top};
    if (HWND parent = GetParent(h))
        ScreenToClient(parent, &tl);
    const int height = s.fieldHeight + 6;
    MoveWindow(h, tl.x, tl.y, wr.right - wr.left, height, TRUE);
}

void sendDrawItem(HWND combo, HDC hdc, const ComboState& s, int i, const RECT& r, UINT action,
                  UINT state) {
    DRAWITEMSTRUCT d;
    d.CtlType = ODT_COMBOBOX;
    d.CtlID = static_cast<UINT>(GetDlgCtrlID(combo));
    d.itemID = static_cast<UINT>(i);
    d.itemAction = action;
    d.itemState = state | (IsWindowEnabled(combo) ? 0 : ODS_DISABLED);
    d.hwndItem = combo;
    d.hDC = hdc;
    d.rcItem = r;
    d.itemData = i >= 0 && i < static_cast<int>(s.items.size())
                     ? s.items[static_cast<std::size_t>(i)].data
                     : 0;
    SelectObject(hdc, GuiFont());
    SetTextColor(hdc, SysColor(COLOR_WINDOWTEXT));
    SetBkColor(hdc, SysColor(COLOR_WINDOW));
    if (HWND parent = GetParent(combo))
        SendMessage(parent, WM_DRAWITEM, d.CtlID, reinterpret_cast<LPARAM>(&d));
}

void drawStringItem(HDC hdc, const std::string& text, const RECT& r, bool selected, bool enabled) {
    FillSolid(hdc, r, selected ? SysColor(COLOR_HIGHLIGHT) : SysColor(COLOR_WINDOW));
    RECT tr{r.left + 2, r.top + (r.bottom - r.top - GuiLineHeight()) / 2, r.right, r.bottom};
    DrawLabel(hdc, tr, text, 0, false, false,
              selected ? SysColor(COLOR_HIGHLIGHTTEXT)
                       : (enabled ? SysColor(COLOR_WINDOWTEXT) : SysColor(COLOR_GRAYTEXT)));
}

void paintCombo(HWND h) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(h, &ps);
    if (!hdc)
        return;
    ComboState& s = combos()[h];
    RECT rc;
    GetClientRect(h, &rc);
    const bool enabled = IsWindowEnabled(h) != FALSE;
    FillSolid(hdc, rc, enabled ? SysColor(COLOR_WINDOW) : SysColor(COLOR_BTNFACE));
    DrawSunkenEdge(hdc, rc);
    RECT button{rc.right - 2 - kButtonWidth, rc.top + 2, rc.right - 2, rc.bottom - 2};
    FillSolid(hdc, button, SysColor(COLOR_BTNFACE));
    if (s.pressed) {
        HBRUSH sh = CreateSolidBrush(SysColor(COLOR_BTNSHADOW));
        FrameRect(hdc, &button, sh);
        DeleteObject(sh);
    } else {
        DrawRaisedEdge(hdc, button);
    }
    const int cx = (button.left + button.right) / 2, cy = (button.top + button.bottom) / 2;
    const COLORREF ac = enabled ? SysColor(COLOR_BTNTEXT) : SysColor(COLOR_GRAYTEXT);
    for (int i = 0; i < 4; ++i)
        FillSolid(hdc, RECT{cx - 3 + i, cy - 1 + i, cx + 4 - i, cy + i}, ac);
    const RECT field{rc.left + 3, rc.top + 3, button.left - 1, rc.bottom - 3};
    const bool focused = GetFocus() == h && !s.popup;
    SaveDC(hdc);
    IntersectClipRect(hdc, field.left, field.top, field.right, field.bottom);
    if (comboOwnerDraw(h)) {
        sendDrawItem(h, hdc, s, s.cur, field, ODA_DRAWENTIRE,
                     ODS_COMBOBOXEDIT | (focused ? ODS_SELECTED | ODS_FOCUS : 0));
    } else {
        const std::string t =
            s.cur >= 0 ? s.items[static_cast<std::size_t>(s.cur)].text : std::string();
        drawStringItem(hdc, t, field, focused, enabled);
        if (focused)
            DrawFocusFrame(hdc, field);
    }
    RestoreDC(hdc, -1);
    EndPaint(h, &ps);
}

int popupHeightOf(const ComboState& s) {
    int total = 0;
    for (const Item& it : s.items)
        total += static_cast<int>(it.height);
    const int room = std::max(s.droppedHeight - (s.fieldHeight + 6), s.itemHeight);
    return std::min(total, room) + 2;
}

// The y of item i in the popup's client area.
int popupItemTop(const ComboState& s, int i) {
    int y = 1;
    for (int k = s.top; k < i; ++k)
        y += static_cast<int>(s.items[static_cast<std::size_t>(k)].height);
    return y;
}

int popupRowAt(HWND popup, const ComboState& s, int x, int y) {
    RECT rc;
    GetClientRect(popup, &rc);
    if (x < 0 || x >= rc.right || y < 0 || y >= rc.bottom)
        return -1;
    int top = 1;
    for (int k = s.top; k < static_cast<int>(s.items.size()); ++k) {
        const int hgt = static_cast<int>(s.items[static_cast<std::size_t>(k)].height);
        if (y >= top && y < top + hgt)
            return k;
        top += hgt;
    }
    return -1;
}

void drawPopupItem(HWND popup, HWND combo, HDC hdc, const ComboState& s, int i, UINT action) {
    if (i < s.top || i >= static_cast<int>(s.items.size()))
        return;
    RECT rc;
    GetClientRect(popup, &rc);
    const int y = popupItemTop(s, i);
    if (y >= rc.bottom)
        return;
    const RECT r{1, y, rc.right - 1,
                 y + static_cast<int>(s.items[static_cast<std::size_t>(i)].height)};
    SaveDC(hdc);
    IntersectClipRect(hdc, 1, 1, rc.right - 1, rc.bottom - 1);
    if (comboOwnerDraw(combo))
        sendDrawItem(combo, hdc, s, i, r, action, i == s.hot ? ODS_SELECTED | ODS_FOCUS : 0);
    else
        drawStringItem(hdc, s.items[static_cast<std::size_t>(i)].text, r, i == s.hot, true);
    RestoreDC(hdc, -1);
}

void setHot(HWND combo, int i) {
    auto it = combos().find(combo);
    if (it == combos().end())
        return;
    ComboState& s = it->second;
    const int n = static_cast<int>(s.items.size());
    i = std::clamp(i, -1, n - 1);
    if (i == s.hot)
        return;
    const int old = s.hot;
    s.hot = i;
    if (!s.popup)
        return;
    // Keep the hot item in view.
    RECT rc;
    GetClientRect(s.popup, &rc);
    bool scrolled = false;
    if (i >= 0 && i < s.top) {
        s.top = i;
        scrolled = true;
    }
    while (i >= 0 &&
           popupItemTop(s, i) + static_cast<int>(s.items[static_cast<std::size_t>(i)].height) >
               rc.bottom - 1 &&
           s.top < i) {
        ++s.top;
        scrolled = true;
    }
    if (scrolled) {
        InvalidateRect(s.popup, nullptr, FALSE);
        return;
    }
    HDC hdc = GetDC(s.popup);
    if (!hdc)
        return;
    drawPopupItem(s.popup, combo, hdc, s, old, ODA_SELECT);
    drawPopupItem(s.popup, combo, hdc, s, i, ODA_SELECT);
    ReleaseDC(s.popup, hdc);
}

void setComboSel(HWND h, int i, bool user) {
    auto it = combos().find(h);
    if (it == combos().end())
        return;
    ComboState& s = it->second;
    const int n = static_cast<int>(s.items.size());
    if (i >= n || i < -1)
        i = -1;
    if (i == s.cur)
        return;
    s.cur = i;
    InvalidateRect(h, nullptr, FALSE);
    if (user)
        NotifyParent(h, CBN_SELCHANGE);
}

void closeDrop(HWND h, bool accept) {
    auto it = combos().find(h);
    if (it == combos().end() || !it->second.popup)
        return;
    ComboState& s = it->second;
    const HWND popup = s.popup;
    const int hot = s.hot;
    s.popup = nullptr;
    popupOwners().erase(popup);
    if (GetCapture() == popup)
        ReleaseCapture();
    DestroyWindow(popup);
    InvalidateRect(h, nullptr, FALSE);
    if (accept && hot >= 0)
        setComboSel(h, hot, true);
    if (IsWindow(h))
        NotifyParent(h, CBN_CLOSEUP);
}

void openDrop(HWND h) {
    auto it = combos().find(h);
    if (it == combos().end() || it->second.popup)
        return;
    NotifyParent(h, CBN_DROPDOWN);
    it = combos().find(h);
    if (it == combos().end())
        return;
    ComboState& s = it->second;
    RECT wr;
    GetWindowRect(h, &wr);
    s.hot = s.cur;
    s.top = 0;
    const HWND popup = CreateWindowEx(
        WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, "KvComboList", "", WS_POPUP, wr.left,
        wr.bottom, wr.right - wr.left, popupHeightOf(s), nullptr, nullptr, nullptr, nullptr);
    if (!popup)
        return;
    s.popup = popup;
    popupOwners()[popup] = h;
    if (s.hot >= 0) {
        RECT rc{0, 0, wr.right - wr.left, popupHeightOf(s)};
        while (s.top < s.hot &&
               popupItemTop(s, s.hot) +
                       static_cast<int>(s.items[static_cast<std::size_t>(s.hot)].height) >
                   rc.bottom - 1)
            ++s.top;
    }
    ShowWindow(popup, SW_SHOWNA);
    SetCapture(popup);
    InvalidateRect(h, nullptr, FALSE);
}

int addComboItem(HWND h, ComboState& s, int index, LPARAM lParam) {
    const int at = insertItem(s.items, s.cur, index, lParam, comboHasStrings(h),
                              (styleOf(h) & CBS_SORT) != 0, s.itemHeight);
    if (styleOf(h) & CBS_OWNERDRAWVARIABLE) {
        // Each item of a variable combo is measured as it is added, with its data.
        MEASUREITEMSTRUCT m;
        m.CtlType = ODT_COMBOBOX;
        m.CtlID = static_cast<UINT>(GetDlgCtrlID(h));
        m.itemID = static_cast<UINT>(at);
        RECT rc;
        GetClientRect(h, &rc);
        m.itemWidth = static_cast<UINT>(rc.right);
        m.itemHeight = static_cast<UINT>(s.itemHeight);
        m.itemData = s.items[static_cast<std::size_t>(at)].data;
        if (HWND parent = GetParent(h))
            SendMessage(parent, WM_MEASUREITEM, m.CtlID, reinterpret_cast<LPARAM>(&m));
        auto again = combos().find(h);
        if (again == combos().end())
            return at;
        again->second.items[static_cast<std::size_t>(at)].height = std::max<UINT>(1, m.itemHeight);
    }
    return at;
}

} // namespace

LRESULT ComboBoxProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        ComboState s;
        s.frame = TakeOwnFrame(h);
        RECT rc;
        GetClientRect(h, &rc);
        s.droppedHeight = rc.bottom;
        s.itemHeight = GuiLineHeight() + 2;
        s.fieldHeight = s.itemHeight;
        combos()[h] = s;
        resizeField(h, combos()[h]);
        return 0;
    }
    auto it = combos().find(h);
    if (it == combos().end())
        return DefWindowProc(h, msg, wParam, lParam);
    ComboState& s = it->second;
    const int n = static_cast<int>(s.items.size());
    switch (msg) {
    case WM_DESTROY:
        if (s.popup) {
            popupOwners().erase(s.popup);
            DestroyWindow(s.popup);
        }
        combos().erase(h);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS | (s.popup ? DLGC_WANTALLKEYS : 0);
    case WM_PAINT:
        paintCombo(h);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETFOCUS:
        InvalidateRect(h, nullptr, FALSE);
        NotifyParent(h, CBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        closeDrop(h, false);
        InvalidateRect(h, nullptr, FALSE);
        if (IsWindow(h))
            NotifyParent(h, CBN_KILLFOCUS);
        return 0;
    case WM_ENABLE:
        if (!wParam)
            closeDrop(h, false);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == static_cast<WPARAM>(VK_DOWN) || wParam == static_cast<WPARAM>(VK_UP)) {
            if (s.popup)
                closeDrop(h, true);
            else
                openDrop(h);
            return 0;
        }
        return DefWindowProc(h, msg, wParam, lParam);
    case WM_KEYDOWN: {
        const int vk = static_cast<int>(wParam);
        if (vk == VK_F4) {
            if (s.popup)
                closeDrop(h, true);
            else
                openDrop(h);
            return 0;
        }
        if (s.popup) {
            switch (vk) {
            case VK_ESCAPE:
                closeDrop(h, false);
                return 0;
            case VK_RETURN:
                closeDrop(h, true);
                return 0;
            case VK_UP:
                setHot(h, s.hot < 0 ? 0 : s.hot - 1);
                return 0;
            case VK_DOWN:
                setHot(h, std::min(s.hot + 1, n - 1));
                return 0;
            case VK_HOME:
                setHot(h, 0);
                return 0;
            case VK_END:
                setHot(h, n - 1);
                return 0;
            default:
                return 0;
            }
        }
        if (n == 0)
            return 0;
        switch (vk) {
        case VK_UP:
        case VK_LEFT:
            setComboSel(h, std::max(0, s.cur - 1), true);
            return 0;
        case VK_DOWN:
        case VK_RIGHT:
            setComboSel(h, std::min(n - 1, s.cur + 1), true);
            return 0;
        case VK_HOME:
            setComboSel(h, 0, true);
            return 0;
        case VK_END:
            setComboSel(h, n - 1, true);
            return 0;
        default:
            return 0;
        }
    }
    case WM_CHAR:
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (GetFocus() != h)
            SetFocus(h);
        if (!IsWindow(h))
            return 0;
        if (combos()[h].popup)
            closeDrop(h, false);
        else
            openDrop(h);
        return 0;
    case CB_ADDSTRING:
        return addComboItem(h, s, -2, lParam);
    case CB_INSERTSTRING:
        return addComboItem(h, s, static_cast<int>(wParam), lParam);
    case CB_DELETESTRING: {
        if (!eraseItem(s.items, s.cur, wParam))
            return CB_ERR;
        InvalidateRect(h, nullptr, FALSE);
        return static_cast<LRESULT>(s.items.size());
    }
    case CB_RESETCONTENT:
        closeDrop(h, false);
        s.items.clear();
        s.cur = -1;
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case CB_GETCOUNT:
        return n;
    case CB_SETCURSEL: {
        const int i = static_cast<int>(wParam);
        setComboSel(h, i, false);
        return (i < 0 || i >= n) ? CB_ERR : i;
    }
    case CB_GETCURSEL:
        return s.cur;
    case CB_GETITEMDATA:
        return getItemData(s.items, wParam, CB_ERR);
    case CB_SETITEMDATA:
        return setItemData(s.items, wParam, lParam, CB_ERR);
    case CB_GETLBTEXT:
        return getItemText(s.items, wParam, lParam, comboHasStrings(h), CB_ERR);
    case CB_GETLBTEXTLEN:
        return getItemTextLen(s.items, wParam, comboHasStrings(h), CB_ERR);
    case CB_FINDSTRINGEXACT:
        return findStringExact(s.items, wParam, lParam, comboHasStrings(h), CB_ERR);
    case CB_SHOWDROPDOWN:
        if (wParam)
            openDrop(h);
        else
            closeDrop(h, false);
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return s.popup ? TRUE : FALSE;
    case CB_SETITEMHEIGHT: {
        const int i = static_cast<int>(wParam);
        if (lParam <= 0 || lParam > 255)
            return CB_ERR;
        if (i == -1) {
            s.fieldHeight = static_cast<int>(lParam);
            resizeField(h, s);
        } else if (i >= 0 && i < n) {
            s.items[static_cast<std::size_t>(i)].height = static_cast<UINT>(lParam);
        } else if (i == 0) {
            s.itemHeight = static_cast<int>(lParam);
        } else {
            return CB_ERR;
        }
        if (i == -1 && (styleOf(h) & CBS_OWNERDRAWFIXED))
            s.itemHeight = static_cast<int>(lParam);
        return 0;
    }
    case CB_GETITEMHEIGHT: {
        const int i = static_cast<int>(wParam);
        if (i == -1)
            return s.fieldHeight;
        if (i >= 0 && i < n)
            return static_cast<LRESULT>(s.items[static_cast<std::size_t>(i)].height);
        return s.itemHeight;
    }
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

LRESULT ComboListProc(HWND popup, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto own = popupOwners().find(popup);
    if (own == popupOwners().end())
        return DefWindowProc(popup, msg, wParam, lParam);
    const HWND combo = own->second;
    auto it = combos().find(combo);
    if (it == combos().end())
        return DefWindowProc(popup, msg, wParam, lParam);
    ComboState& s = it->second;
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(popup, &ps);
        if (!hdc)
            return 0;
        RECT rc;
        GetClientRect(popup, &rc);
        FillSolid(hdc, rc, SysColor(COLOR_WINDOW));
        HBRUSH frame = CreateSolidBrush(SysColor(COLOR_WINDOWFRAME));
        FrameRect(hdc, &rc, frame);
        DeleteObject(frame);
        for (int i = s.top; i < static_cast<int>(s.items.size()); ++i) {
            if (popupItemTop(s, i) >= rc.bottom)
                break;
            drawPopupItem(popup, combo, hdc, combos()[combo], i, ODA_DRAWENTIRE);
        }
        EndPaint(popup, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE: {
        const int row = popupRowAt(popup, s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        if (row >= 0)
            setHot(combo, row);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        const int row = popupRowAt(popup, s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        if (row < 0) {
            // A press outside the list closes it; one on the combo's own field is consumed here.
            closeDrop(combo, false);
        }
        return 0;
    }
    case WM_LBUTTONUP: {
        const int row = popupRowAt(popup, s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        if (row >= 0) {
            setHot(combo, row);
            closeDrop(combo, true);
        }
        return 0;
    }
    case WM_MOUSEWHEEL: {
        const int delta = static_cast<SHORT>(HIWORD(wParam));
        s.top = std::clamp(s.top - delta / WHEEL_DELTA, 0,
                           std::max(0, static_cast<int>(s.items.size()) - 1));
        InvalidateRect(popup, nullptr, FALSE);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != popup && s.popup == popup) {
            // Losing the capture (another window took it) closes the list.
            PostMessage(combo, CB_SHOWDROPDOWN, FALSE, 0);
        }
        return 0;
    default:
        return DefWindowProc(popup, msg, wParam, lParam);
    }
}

} // namespace plat::core
