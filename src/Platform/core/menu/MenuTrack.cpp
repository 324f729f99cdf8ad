// The menu bar and popup menus: layout, drawing, and the modal loop that tracks them.
//
// Popups are topmost popup windows that never take the activation; while a menu is open the loop
// holds the mouse capture and reads every key and mouse message itself, so nothing typed or clicked
// reaches the program's windows until the menu has closed. Other messages (paints, timers, posted
// messages) are dispatched as usual.

#include "backend/Backend.h"
#include "core/gdi/WindowDc.h"
#include "core/menu/MenuInternal.h"
#include "core/win/WinInternal.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Input.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <algorithm>
#include <deque>

namespace plat::core {

namespace {

constexpr const char* kPopupClass = "#32768";
constexpr int kBorder = 1;
constexpr int kGutter = 18;      // left column: the check mark
constexpr int kArrowColumn = 16; // right column: the submenu arrow
constexpr int kShortcutGap = 20; // between the text and the right-aligned shortcut text
constexpr int kSeparatorHeight = 7;
constexpr int kTitlePadding = 6; // each side of a bar title

struct Level {
    HMENU menu = nullptr;
    HWND wnd = nullptr;
    int hot = -1;
    std::vector<RECT> rects; // items, popup client coordinates
    int shortcutX = 0;       // where the shortcut column starts
};

struct Tracker {
    HWND owner = nullptr;
    HWND bar = nullptr; // the frame whose bar is tracked, or null for TrackPopupMenu
    int barIndex = -1;
    std::vector<Level> levels;
    bool done = false;
    UINT chosen = 0;
    bool hasChoice = false;
    bool sawInput = false;
    bool popupCall = false;
    bool unscriptedAnswered = false;
};

Tracker* s_tracker = nullptr;

std::function<void()>& unscriptedMenuAnswer() {
    static std::function<void()> s;
    return s;
}

std::deque<std::function<void()>>& menuScripts() {
    static std::deque<std::function<void()>> s;
    return s;
}

bool runNextScript() {
    auto& q = menuScripts();
    if (q.empty())
        return false;
    auto script = std::move(q.front());
    q.pop_front();
    script();
    return true;
}

struct Metrics {
    int itemHeight = 18;
    int ascent = 11;
    int textHeight = 13;
};

// Measuring happens on the scratch DC with the menu font selected.
class MeasureDc {
public:
    MeasureDc()
        : m_dc(GetDC(nullptr)) {
        m_old = SelectObject(m_dc, GetStockObject(DEFAULT_GUI_FONT));
    }
    ~MeasureDc() {
        SelectObject(m_dc, m_old);
        ReleaseDC(nullptr, m_dc);
    }
    MeasureDc(const MeasureDc&) = delete;
    MeasureDc& operator=(const MeasureDc&) = delete;
    HDC dc() const { return m_dc; }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

int textWidth(HDC dc, const std::string& s) {
    if (s.empty())
        return 0;
    SIZE sz;
    GetTextExtentPoint(dc, s.data(), static_cast<int>(s.size()), &sz);
    return sz.cx;
}

Metrics metricsOf(HDC dc) {
    TEXTMETRIC tm;
    Metrics m;
    if (GetTextMetrics(dc, &tm)) {
        m.textHeight = tm.tmHeight;
        m.ascent = tm.tmAscent;
        m.itemHeight = std::max<int>(tm.tmHeight + 5, 17);
    }
    return m;
}

bool selectable(const MenuItem& it) {
    return !it.separator;
}

bool enabled(const MenuItem& it) {
    return !(it.state & (MF_GRAYED | MF_DISABLED));
}

// Text with its mnemonic underlined, top-left at (x, y).
void drawLabel(HDC dc, int x, int y, const std::string& text, const Metrics& m, COLORREF colour) {
    int mnemonic = -1;
    const std::string shown = ShownText(text, nullptr, &mnemonic);
    SetTextColor(dc, colour);
    ExtTextOut(dc, x, y, 0, nullptr, shown.data(), static_cast<UINT>(shown.size()), nullptr);
    if (mnemonic >= 0 && mnemonic < static_cast<int>(shown.size())) {
        const int before = textWidth(dc, shown.substr(0, static_cast<std::size_t>(mnemonic)));
        const int w = textWidth(dc, shown.substr(static_cast<std::size_t>(mnemonic), 1));
        const RECT u{x + before, y + m.ascent + 1, x + before + w, y + m.ascent + 2};
        HBRUSH b = CreateSolidBrush(colour);
        FillRect(dc, &u, b);
        DeleteObject(b);
    }
}

// --- The menu bar -----------------------------------------------------------------------------

std::vector<RECT> barLayout(const Menu& m, int width) {
    MeasureDc md;
    std::vector<RECT> out;
    int x = 0;
    for (const MenuItem& it : m.items) {
        const int w = textWidth(md.dc(), ShownText(it.text, nullptr, nullptr)) + 2 * kTitlePadding;
        out.push_back(RECT{x, 0, std::min(x + w, std::max(width, x)), kMenuBarHeight});
        x += w;
    }
    return out;
}

int barIndexAt(Window* top, POINT screen) {
    Menu* m = FindMenu(top->menu);
    if (!m)
        return -1;
    const RECT c = ImageOnScreen(top);
    const int x = screen.x - c.left, y = screen.y - c.top;
    if (y < 0 || y >= top->menuBarHeight)
        return -1;
    const auto rects = barLayout(*m, top->clientWidth());
    for (std::size_t i = 0; i < rects.size(); ++i) {
        if (x >= rects[i].left && x < rects[i].right)
            return static_cast<int>(i);
    }
    return -1;
}

// --- Popups -----------------------------------------------------------------------------------

void drawPopup(HDC dc, const Level& lv) {
    Menu* m = FindMenu(lv.menu);
    if (!m)
        return;
    RECT client;
    GetClientRect(lv.wnd, &client);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    const Metrics mt = metricsOf(dc);
    SetBkMode(dc, TRANSPARENT);
    FillRect(dc, &client, GetSysColorBrush(COLOR_MENU));
    FrameRect(dc, &client, GetSysColorBrush(COLOR_3DSHADOW));
    for (std::size_t i = 0; i < m->items.size() && i < lv.rects.size(); ++i) {
        const MenuItem& it = m->items[i];
        const RECT r = lv.rects[i];
        if (it.separator) {
            const int y = (r.top + r.bottom) / 2;
            RECT line{r.left + 1, y - 1, r.right - 1, y};
            FillRect(dc, &line, GetSysColorBrush(COLOR_3DSHADOW));
            line.top += 1;
            line.bottom += 1;
            FillRect(dc, &line, GetSysColorBrush(COLOR_3DHIGHLIGHT));
            continue;
        }
        const bool hot = static_cast<int>(i) == lv.hot;
        if (hot)
            FillRect(dc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
        const COLORREF colour = !enabled(it) ? GetSysColor(COLOR_GRAYTEXT)
                                : hot        ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                                             : GetSysColor(COLOR_MENUTEXT);
        const int ty = r.top + (r.bottom - r.top - mt.textHeight) / 2;
        const HGDIOBJ guiFont = it.codePageText ? SelectObject(dc, CodePageGuiFont()) : nullptr;
        drawLabel(dc, r.left + kGutter, ty, it.text, mt, colour);
        if (guiFont)
            SelectObject(dc, guiFont);
        std::string shortcut;
        ShownText(it.text, &shortcut, nullptr);
        if (!shortcut.empty()) {
            // Shortcut texts are right-aligned in their column.
            const int w = textWidth(dc, shortcut);
            const int x = r.right - kArrowColumn - w;
            SetTextColor(dc, colour);
            ExtTextOut(dc, x, ty, 0, nullptr, shortcut.data(), static_cast<UINT>(shortcut.size()),
                       nullptr);
        }
        HBRUSH mark = CreateSolidBrush(colour);
        if (it.state & MF_CHECKED) {
            // A tick drawn as three-pixel-high columns: down 2 then up 4.
            const int cx = r.left + 5, cy = (r.top + r.bottom) / 2 - 1;
            static const int kRise[7] = {0, 1, 2, 1, 0, -1, -2};
            for (int k = 0; k < 7; ++k) {
                const RECT col{cx + k, cy + kRise[k], cx + k + 1, cy + kRise[k] + 3};
                FillRect(dc, &col, mark);
            }
        }
        if (it.sub) {
            // A right-pointing triangle, 4 wide and 7 tall.
            const int ax = r.right - kArrowColumn / 2 - 2, ay = (r.top + r.bottom) / 2;
            for (int k = 0; k < 4; ++k) {
                const RECT col{ax + k, ay - 3 + k, ax + k + 1, ay + 4 - k};
                FillRect(dc, &col, mark);
            }
        }
        DeleteObject(mark);
    }
    SelectObject(dc, oldFont);
}

LRESULT popupProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (s_tracker) {
            for (const Level& lv : s_tracker->levels) {
                if (lv.wnd == hwnd)
                    drawPopup(dc, lv);
            }
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEACTIVATE:
        return 3; // MA_NOACTIVATE
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

void ensurePopupClass() {
    WNDCLASS wc;
    if (GetClassInfo(nullptr, kPopupClass, &wc) && wc.lpfnWndProc == &popupProc)
        return;
    wc = WNDCLASS{};
    wc.style = CS_SAVEBITS;
    wc.lpfnWndProc = &popupProc;
    wc.lpszClassName = kPopupClass;
    RegisterSystemClass(wc);
}

void repaint(const Level& lv) {
    if (IsWindow(lv.wnd)) {
        InvalidateRect(lv.wnd, nullptr, FALSE);
        UpdateWindow(lv.wnd);
    }
}

int firstSelectable(const Menu& m) {
    for (std::size_t i = 0; i < m.items.size(); ++i) {
        if (selectable(m.items[i]))
            return static_cast<int>(i);
    }
    return -1;
}

// Opens `menu` as a new level. `at` is the requested top-left corner (or top-right with
// TPM_RIGHTALIGN); `flipX` is where the popup goes instead when it would leave the screen on the
// right (the left edge of the parent popup, for submenus).
bool openLevel(Tracker& t, HMENU menu, POINT at, UINT align, int flipX, int hot) {
    Menu* m = FindMenu(menu);
    if (!m)
        return false;
    if (IsWindow(t.owner))
        SendMessage(t.owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
                    static_cast<LPARAM>(t.levels.size()));
    m = FindMenu(menu); // the owner may have changed it
    if (!m)
        return false;
    ensurePopupClass();
    Level lv;
    lv.menu = menu;
    int textW = 0, shortcutW = 0, height = kBorder;
    Metrics mt;
    {
        MeasureDc md;
        mt = metricsOf(md.dc());
        for (const MenuItem& it : m->items) {
            std::string shortcut;
            const std::string shown = ShownText(it.text, &shortcut, nullptr);
            const HGDIOBJ old =
                it.codePageText ? SelectObject(md.dc(), CodePageGuiFont()) : nullptr;
            textW = std::max(textW, textWidth(md.dc(), shown));
            if (old)
                SelectObject(md.dc(), old);
            shortcutW = std::max(shortcutW, textWidth(md.dc(), shortcut));
        }
    }
    int width =
        2 * kBorder + kGutter + textW + kArrowColumn + (shortcutW ? kShortcutGap + shortcutW : 0);
    width = std::max(width, 60);
    for (const MenuItem& it : m->items) {
        const int h = it.separator ? kSeparatorHeight : mt.itemHeight;
        lv.rects.push_back(RECT{kBorder, height, width - kBorder, height + h});
        height += h;
    }
    height += kBorder;
    if (m->items.empty())
        height = 2 * kBorder + mt.itemHeight / 2;
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    int x = at.x, y = at.y;
    if (align & TPM_RIGHTALIGN)
        x -= width;
    else if (align & TPM_CENTERALIGN)
        x -= width / 2;
    if (x + width > sw)
        x = flipX >= 0 ? flipX - width : sw - width;
    if (y + height > sh)
        y = std::max(0, sh - height);
    x = std::max(0, x);
    lv.hot = hot;
    const HWND wnd =
        CreateWindowEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kPopupClass, "",
                       WS_POPUP, x, y, width, height, nullptr, nullptr, nullptr, nullptr);
    if (!wnd)
        return false;
    lv.wnd = wnd;
    t.levels.push_back(std::move(lv));
    ShowWindow(wnd, SW_SHOWNA);
    UpdateWindow(wnd);
    return true;
}

void closeFrom(Tracker& t, std::size_t level) {
    while (t.levels.size() > level) {
        const HWND w = t.levels.back().wnd;
        t.levels.pop_back();
        if (IsWindow(w))
            DestroyWindow(w);
    }
}

void choose(Tracker& t, UINT id) {
    t.chosen = id;
    t.hasChoice = true;
    t.done = true;
}

void cancel(Tracker& t) {
    t.done = true;
}

// Opens the submenu of item `pos` at `level`, closing anything deeper.
bool openSubmenu(Tracker& t, std::size_t level, int pos, bool selectFirst) {
    if (level >= t.levels.size())
        return false;
    Menu* m = FindMenu(t.levels[level].menu);
    if (!m || pos < 0 || static_cast<std::size_t>(pos) >= m->items.size())
        return false;
    const MenuItem& it = m->items[static_cast<std::size_t>(pos)];
    if (!it.sub || !enabled(it) || static_cast<std::size_t>(pos) >= t.levels[level].rects.size())
        return false;
    closeFrom(t, level + 1);
    if (t.levels[level].hot != pos) {
        t.levels[level].hot = pos;
        repaint(t.levels[level]);
    }
    RECT wr;
    GetWindowRect(t.levels[level].wnd, &wr);
    const RECT ir = t.levels[level].rects[static_cast<std::size_t>(pos)];
    Menu* sub = FindMenu(it.sub);
    const int hot = selectFirst && sub ? firstSelectable(*sub) : -1;
    return openLevel(t, it.sub, POINT{wr.right - 3, wr.top + ir.top - kBorder}, 0, wr.left + 3,
                     hot);
}

// Enter on an item, or a click released on it.
void activate(Tracker& t, std::size_t level, int pos, bool fromKeyboard) {
    Menu* m = FindMenu(t.levels[level].menu);
    if (!m || pos < 0 || static_cast<std::size_t>(pos) >= m->items.size())
        return;
    const MenuItem& it = m->items[static_cast<std::size_t>(pos)];
    if (it.separator || !enabled(it))
        return;
    if (it.sub) {
        if (t.levels.size() <= level + 1 || t.levels[level + 1].menu != it.sub)
            openSubmenu(t, level, pos, fromKeyboard);
        return;
    }
    choose(t, it.id);
}

void setHot(Tracker& t, std::size_t level, int pos) {
    if (t.levels[level].hot == pos)
        return;
    t.levels[level].hot = pos;
    repaint(t.levels[level]);
}

void paintBarOf(Tracker& t) {
    if (Window* top = FindWindow(t.bar))
        PaintMenuBar(top);
}

// Shows bar title `index` as open, with its popup.
void openTitle(Tracker& t, int index, bool fromKeyboard) {
    Window* top = FindWindow(t.bar);
    Menu* m = top ? FindMenu(top->menu) : nullptr;
    if (!m || m->items.empty())
        return;
    const int n = static_cast<int>(m->items.size());
    index = ((index % n) + n) % n;
    closeFrom(t, 0);
    t.barIndex = index;
    paintBarOf(t);
    const MenuItem& it = m->items[static_cast<std::size_t>(index)];
    if (!it.sub || !enabled(it))
        return;
    const auto rects = barLayout(*m, top->clientWidth());
    const RECT img = ImageOnScreen(top);
    Menu* sub = FindMenu(it.sub);
    const int hot = fromKeyboard && sub ? firstSelectable(*sub) : -1;
    openLevel(
        t, it.sub,
        POINT{img.left + rects[static_cast<std::size_t>(index)].left, img.top + kMenuBarHeight}, 0,
        -1, hot);
}

void moveHot(Tracker& t, int step) {
    if (t.levels.empty())
        return;
    Level& lv = t.levels.back();
    Menu* m = FindMenu(lv.menu);
    if (!m || m->items.empty())
        return;
    const int n = static_cast<int>(m->items.size());
    int pos = lv.hot < 0 ? (step > 0 ? -1 : n) : lv.hot;
    for (int k = 0; k < n; ++k) {
        pos = ((pos + step) % n + n) % n;
        if (selectable(m->items[static_cast<std::size_t>(pos)])) {
            setHot(t, t.levels.size() - 1, pos);
            return;
        }
    }
}

void onKey(Tracker& t, const MSG& msg) {
    const int vk = static_cast<int>(msg.wParam);
    const std::size_t deepest = t.levels.empty() ? 0 : t.levels.size() - 1;
    switch (vk) {
    case VK_UP:
        moveHot(t, -1);
        return;
    case VK_DOWN:
        if (t.levels.empty() && t.bar)
            openTitle(t, t.barIndex, true);
        else
            moveHot(t, 1);
        return;
    case VK_RIGHT:
        if (!t.levels.empty()) {
            const Level& lv = t.levels.back();
            Menu* m = FindMenu(lv.menu);
            if (m && lv.hot >= 0 && static_cast<std::size_t>(lv.hot) < m->items.size() &&
                m->items[static_cast<std::size_t>(lv.hot)].sub &&
                enabled(m->items[static_cast<std::size_t>(lv.hot)])) {
                openSubmenu(t, deepest, lv.hot, true);
                return;
            }
        }
        if (t.bar)
            openTitle(t, t.barIndex + 1, true);
        return;
    case VK_LEFT:
        if (t.levels.size() > 1) {
            closeFrom(t, t.levels.size() - 1);
            return;
        }
        if (t.bar)
            openTitle(t, t.barIndex - 1, true);
        return;
    case VK_RETURN:
        if (!t.levels.empty() && t.levels.back().hot >= 0) {
            activate(t, deepest, t.levels.back().hot, true);
        } else if (t.levels.empty() && t.bar) {
            Window* top = FindWindow(t.bar);
            Menu* m = top ? FindMenu(top->menu) : nullptr;
            if (m && t.barIndex >= 0 && static_cast<std::size_t>(t.barIndex) < m->items.size()) {
                const MenuItem& it = m->items[static_cast<std::size_t>(t.barIndex)];
                if (!it.sub && !it.separator && enabled(it))
                    choose(t, it.id);
            }
        }
        return;
    case VK_ESCAPE:
        if (t.levels.size() > 1)
            closeFrom(t, t.levels.size() - 1);
        else
            cancel(t);
        return;
    case VK_F10:
        cancel(t);
        return;
    case VK_MENU:
    case VK_SHIFT:
    case VK_CONTROL:
        return;
    default:
        // Other keys may type a mnemonic.
        TranslateMessage(&msg);
        return;
    }
}

void onChar(Tracker& t, BYTE c) {
    if (c < 0x20 || t.levels.empty())
        return;
    const BYTE want = FoldCase(c);
    const std::size_t level = t.levels.size() - 1;
    Level& lv = t.levels.back();
    Menu* m = FindMenu(lv.menu);
    if (!m)
        return;
    std::vector<int> matches;
    for (std::size_t i = 0; i < m->items.size(); ++i) {
        if (selectable(m->items[i]) && MnemonicOf(m->items[i].text) == want)
            matches.push_back(static_cast<int>(i));
    }
    if (matches.empty()) {
        MessageBeep(0);
        return;
    }
    if (matches.size() == 1) {
        setHot(t, level, matches[0]);
        activate(t, level, matches[0], true);
        return;
    }
    // Several items share the letter: each press moves to the next of them.
    auto next = std::upper_bound(matches.begin(), matches.end(), lv.hot);
    setHot(t, level, next == matches.end() ? matches.front() : *next);
}

void onMouse(Tracker& t, const MSG& msg) {
    POINT pt{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
    if (msg.hwnd)
        ClientToScreen(msg.hwnd, &pt);
    int hitLevel = -1, hitItem = -1;
    for (int i = static_cast<int>(t.levels.size()) - 1; i >= 0; --i) {
        RECT wr;
        if (!GetWindowRect(t.levels[static_cast<std::size_t>(i)].wnd, &wr))
            continue;
        if (pt.x >= wr.left && pt.x < wr.right && pt.y >= wr.top && pt.y < wr.bottom) {
            hitLevel = i;
            const auto& rects = t.levels[static_cast<std::size_t>(i)].rects;
            for (std::size_t k = 0; k < rects.size(); ++k) {
                if (pt.y - wr.top >= rects[k].top && pt.y - wr.top < rects[k].bottom)
                    hitItem = static_cast<int>(k);
            }
            break;
        }
    }
    int title = -1;
    if (hitLevel < 0 && t.bar) {
        if (Window* top = FindWindow(t.bar))
            title = barIndexAt(top, pt);
    }
    const UINT m = msg.message;
    if (m == WM_MOUSEMOVE) {
        if (hitLevel >= 0 && hitItem >= 0) {
            const std::size_t lvl = static_cast<std::size_t>(hitLevel);
            Menu* menu = FindMenu(t.levels[lvl].menu);
            // The program may have shortened the menu while it was open.
            if (!menu || static_cast<std::size_t>(hitItem) >= menu->items.size())
                return;
            if (t.levels[lvl].hot != hitItem || t.levels.size() > lvl + 1) {
                const bool sameSubOpen =
                    t.levels.size() > lvl + 1 &&
                    menu->items[static_cast<std::size_t>(hitItem)].sub == t.levels[lvl + 1].menu;
                if (!sameSubOpen) {
                    closeFrom(t, lvl + 1);
                    setHot(t, lvl,
                           menu && selectable(menu->items[static_cast<std::size_t>(hitItem)])
                               ? hitItem
                               : -1);
                    openSubmenu(t, lvl, hitItem, false);
                }
            }
        } else if (title >= 0 && title != t.barIndex) {
            openTitle(t, title, false);
        }
        return;
    }
    const bool down = m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_LBUTTONDBLCLK ||
                      m == WM_RBUTTONDBLCLK;
    const bool up = m == WM_LBUTTONUP || m == WM_RBUTTONUP;
    if (down) {
        if (hitLevel >= 0) {
            if (hitItem >= 0)
                openSubmenu(t, static_cast<std::size_t>(hitLevel), hitItem, false);
        } else if (title >= 0) {
            if (title == t.barIndex)
                cancel(t); // a second click on the open title closes it
            else
                openTitle(t, title, false);
        } else {
            cancel(t); // a click outside closes the menu
        }
    } else if (up && hitLevel >= 0 && hitItem >= 0) {
        activate(t, static_cast<std::size_t>(hitLevel), hitItem, false);
    }
}

// The modal loop. Returns when an item is chosen or the menu is cancelled.
void runLoop(Tracker& t) {
    const HWND captureTo =
        IsWindow(t.owner) ? t.owner : (t.levels.empty() ? nullptr : t.levels[0].wnd);
    if (captureTo)
        SetCapture(captureTo);
    while (!t.done) {
        if (!IsWindow(t.owner)) {
            cancel(t);
            break;
        }
        MSG msg;
        if (!PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (backend().headless()) {
                // Nothing is left to read: a test script answers the menu, or it closes.
                if (runNextScript())
                    continue;
                if (!t.unscriptedAnswered && unscriptedMenuAnswer()) {
                    t.unscriptedAnswered = true;
                    t.sawInput = true;
                    unscriptedMenuAnswer()();
                    continue;
                }
                if (t.popupCall && !t.sawInput)
                    ReportTestFailure("a popup menu opened with nothing to answer it");
                cancel(t);
                break;
            }
            WaitMessage();
            continue;
        }
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            cancel(t);
            break;
        }
        if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
            t.sawInput = true;
            onKey(t, msg);
        } else if (msg.message == WM_CHAR || msg.message == WM_SYSCHAR) {
            onChar(t, static_cast<BYTE>(msg.wParam));
        } else if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
            // Releases and dead keys belong to the menu too.
        } else if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) {
            if (msg.message != WM_MOUSEMOVE)
                t.sawInput = true;
            onMouse(t, msg);
        } else {
            DispatchMessage(&msg);
        }
    }
    closeFrom(t, 0);
    if (GetCapture() == captureTo)
        ReleaseCapture();
}

class TrackerScope {
public:
    explicit TrackerScope(Tracker& t)
        : m_prev(s_tracker) {
        s_tracker = &t;
    }
    ~TrackerScope() { s_tracker = m_prev; }
    TrackerScope(const TrackerScope&) = delete;
    TrackerScope& operator=(const TrackerScope&) = delete;

private:
    Tracker* m_prev;
};

} // namespace

void PaintMenuBar(Window* top) {
    if (!top || !top->image || top->menuBarHeight <= 0)
        return;
    const int width = cairo_image_surface_get_width(top->image);
    const RECT barRect{0, 0, width, top->menuBarHeight};
    HDC dc = CreateSurfaceDc(top->image, POINT{0, 0}, Region(barRect), top->hwnd);
    if (!dc)
        return;
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    FillRect(dc, &barRect, GetSysColorBrush(COLOR_MENU));
    if (Menu* m = FindMenu(top->menu)) {
        const Metrics mt = metricsOf(dc);
        const auto rects = barLayout(*m, width);
        const int open = s_tracker && s_tracker->bar == top->hwnd ? s_tracker->barIndex : -1;
        for (std::size_t i = 0; i < rects.size(); ++i) {
            const MenuItem& it = m->items[i];
            const bool hot = static_cast<int>(i) == open;
            if (hot)
                FillRect(dc, &rects[i], GetSysColorBrush(COLOR_HIGHLIGHT));
            const COLORREF c = !enabled(it) ? GetSysColor(COLOR_GRAYTEXT)
                               : hot        ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                                            : GetSysColor(COLOR_MENUTEXT);
            drawLabel(dc, rects[i].left + kTitlePadding, (kMenuBarHeight - mt.textHeight) / 2,
                      it.text, mt, c);
        }
    }
    SelectObject(dc, oldFont);
    DestroySurfaceDc(dc);
    Present(top, barRect);
}

bool MenuBarTitleRect(HWND hwnd, int index, RECT* screen) {
    Window* top = FindWindow(hwnd);
    Menu* m = top ? FindMenu(top->menu) : nullptr;
    if (!m || index < 0 || static_cast<std::size_t>(index) >= m->items.size() || !screen)
        return false;
    const RECT img = ImageOnScreen(top);
    RECT r = barLayout(*m, top->clientWidth())[static_cast<std::size_t>(index)];
    r.left += img.left;
    r.right += img.left;
    r.top += img.top;
    r.bottom += img.top;
    *screen = r;
    return r.right > r.left;
}

void AttachMenuAtCreation(Window* top, HMENU menu) {
    Menu* m = FindMenu(menu);
    if (!top || !m || top->isChild())
        return;
    top->menu = menu;
    m->window = top->hwnd;
    top->menuBarHeight = kMenuBarHeight;
    top->insets.top += kMenuBarHeight;
}

void MenuBarCommand(HWND hwnd, WPARAM code, LPARAM lParam) {
    Window* top = FindWindow(hwnd);
    if (!top || s_tracker)
        return;
    Menu* m = FindMenu(top->menu);
    if (!m || m->items.empty())
        return;
    int index = -1;
    const bool keyboard = code == SC_KEYMENU;
    if (keyboard) {
        const BYTE c = static_cast<BYTE>(lParam & 0xFF);
        if (c == 0) {
            index = 0;
        } else {
            for (std::size_t i = 0; i < m->items.size(); ++i) {
                if (MnemonicOf(m->items[i].text) == FoldCase(c)) {
                    index = static_cast<int>(i);
                    break;
                }
            }
            if (index < 0) {
                MessageBeep(0);
                return;
            }
        }
    } else {
        index = barIndexAt(top, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (index < 0)
            return;
    }
    SendMessage(hwnd, WM_INITMENU, reinterpret_cast<WPARAM>(top->menu), 0);
    // The owner may have changed the bar, or gone.
    top = FindWindow(hwnd);
    m = top ? FindMenu(top->menu) : nullptr;
    if (!m || static_cast<std::size_t>(index) >= m->items.size())
        return;
    const MenuItem& title = m->items[static_cast<std::size_t>(index)];
    if (!enabled(title) || title.separator)
        return;
    if (!title.sub) {
        // A command directly on the bar runs at once.
        PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(title.id), 0), 0);
        return;
    }
    Tracker t;
    t.owner = hwnd;
    t.bar = hwnd;
    t.sawInput = true;
    {
        TrackerScope scope(t);
        openTitle(t, index, keyboard);
        runLoop(t);
    }
    if (Window* again = FindWindow(hwnd))
        PaintMenuBar(again);
    if (t.hasChoice && IsWindow(hwnd))
        PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(t.chosen), 0), 0);
}

void QueueMenuScript(std::function<void()> script) {
    menuScripts().push_back(std::move(script));
}

void ClearMenuScripts() {
    menuScripts().clear();
}

void SetUnscriptedMenuAnswer(std::function<void()> answer) {
    unscriptedMenuAnswer() = std::move(answer);
}

bool MenuLoopActive() {
    return s_tracker != nullptr && !s_tracker->done;
}

int MenuLoopDepth() {
    return s_tracker ? static_cast<int>(s_tracker->levels.size()) : 0;
}

HMENU MenuLoopMenu(int level) {
    if (!s_tracker || level < 0 || level >= MenuLoopDepth())
        return nullptr;
    return s_tracker->levels[static_cast<std::size_t>(level)].menu;
}

HWND MenuLoopWindow(int level) {
    if (!s_tracker || level < 0 || level >= MenuLoopDepth())
        return nullptr;
    return s_tracker->levels[static_cast<std::size_t>(level)].wnd;
}

HWND MenuLoopBar() {
    return s_tracker ? s_tracker->bar : nullptr;
}

int MenuLoopHot(int level) {
    if (!s_tracker || level < 0 || level >= MenuLoopDepth())
        return -1;
    return s_tracker->levels[static_cast<std::size_t>(level)].hot;
}

bool MenuLoopOpenSubmenu(int level, int position) {
    if (!MenuLoopActive() || level < 0 || level >= MenuLoopDepth())
        return false;
    return openSubmenu(*s_tracker, static_cast<std::size_t>(level), position, false);
}

bool MenuLoopChoose(int level, int position) {
    if (!MenuLoopActive() || level < 0 || level >= MenuLoopDepth())
        return false;
    Menu* m = FindMenu(MenuLoopMenu(level));
    if (!m || position < 0 || static_cast<std::size_t>(position) >= m->items.size())
        return false;
    const MenuItem& it = m->items[static_cast<std::size_t>(position)];
    if (it.sub || it.separator || !enabled(it))
        return false;
    choose(*s_tracker, it.id);
    return true;
}

void MenuLoopCancel() {
    if (s_tracker)
        cancel(*s_tracker);
}

} // namespace plat::core

namespace plat {

using namespace plat::core;

BOOL SetMenu(HWND hwnd, HMENU menu) {
    Window* w = FindWindow(hwnd, "SetMenu");
    if (!w || w->isChild())
        return FALSE;
    if (menu && !FindMenu(menu, "SetMenu"))
        return FALSE;
    if (Menu* old = FindMenu(w->menu); old && old->window == hwnd)
        old->window = nullptr;
    w->menu = menu;
    if (Menu* m = FindMenu(menu))
        m->window = hwnd;
    const int want = menu ? kMenuBarHeight : 0;
    if (want != w->menuBarHeight) {
        // The window keeps its rectangle: the bar takes its rows from the client area, and the
        // backing image (bar and client) keeps its size.
        w->insets.top += want - w->menuBarHeight;
        w->menuBarHeight = want;
        // A window being destroyed only forgets its bar: nobody is left to lay out again.
        if (w->image && !w->destroying) {
            InvalidateClient(w, nullptr, true);
            SendMessage(hwnd, WM_SIZE, SIZE_RESTORED,
                        MAKELPARAM(static_cast<WORD>(std::max(w->clientWidth(), 0)),
                                   static_cast<WORD>(std::max(w->clientHeight(), 0))));
        }
        w = FindWindow(hwnd);
        if (!w)
            return TRUE;
    }
    PaintMenuBar(w);
    return TRUE;
}

BOOL DrawMenuBar(HWND hwnd) {
    Window* w = FindWindow(hwnd, "DrawMenuBar");
    if (!w)
        return FALSE;
    PaintMenuBar(w);
    return TRUE;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    if (!FindMenu(menu, "TrackPopupMenu") || !FindWindow(owner, "TrackPopupMenu"))
        return FALSE;
    if (s_tracker) {
        Diagnostic("TrackPopupMenu: a menu is already open");
        return FALSE;
    }
    Tracker t;
    t.owner = owner;
    t.popupCall = true;
    {
        TrackerScope scope(t);
        if (!openLevel(t, menu, POINT{x, y}, flags, -1, -1))
            return FALSE;
        runLoop(t);
    }
    if (!t.hasChoice)
        return 0;
    if (flags & TPM_RETURNCMD)
        return static_cast<BOOL>(t.chosen);
    if (!(flags & TPM_NONOTIFY) && IsWindow(owner))
        PostMessage(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(t.chosen), 0), 0);
    return TRUE;
}

} // namespace plat
