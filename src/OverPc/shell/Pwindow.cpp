#include "OverPc/shell/Pwindow.h"

#include "OverPc/PERROR.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Portdc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Cursors.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/PMENU.h"
#include "plat/Controls.h"
#include "plat/Input.h"
#include "plat/Menu.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <algorithm>
#include <cstdlib>
#include <set>

plat::HWND VisiblePlacementWindow = nullptr;
uint32_t ModifierFlags = 0;
uint8_t DoubleClickFlag = 0;

namespace {

std::set<oWidget*>& liveWidgets() {
    static std::set<oWidget*> s_widgets;
    return s_widgets;
}

uint32_t s_lastTick = 0;
bool s_tickStarted = false;

plat::RECT toRect(const Zone& z) {
    return plat::RECT{z.left, z.top, z.right, z.bottom};
}

// The native window of a port, when it is still a window.
plat::HWND liveHandle(const oNativePort& port) {
    plat::HWND h = HandleOfWindow(port.windowHandle());
    return (h && plat::IsWindow(h)) ? h : nullptr;
}

bool ownsHandle(plat::HWND hwnd, const void* object) {
    return hwnd && plat::IsWindow(hwnd) &&
           plat::GetWindowLongPtr(hwnd, plat::GWLP_USERDATA) ==
               reinterpret_cast<plat::LONG_PTR>(object);
}

// Where a document window may lie: the frame's client area above the status bar, in frame-client
// coordinates. Empty while the frame is iconic (its size then says nothing of where it opens).
Zone documentArea(plat::HWND frame) {
    Zone area;
    if (!frame || !plat::IsWindow(frame) || plat::IsIconic(frame))
        return area;
    plat::RECT client;
    plat::GetClientRect(frame, &client);
    area = Zone{0, 0, client.right, client.bottom, 0, 0};
    const plat::HWND bar = CQVApp::instance().m_StatusBar;
    if (bar && plat::IsWindow(bar) && plat::IsWindowVisible(bar)) {
        plat::RECT own;
        plat::GetWindowRect(bar, &own);
        plat::POINT top{own.left, own.top};
        plat::ScreenToClient(frame, &top);
        if (own.bottom > own.top && top.y > 0 && top.y < area.bottom)
            area.bottom = top.y;
    }
    return area;
}

// A document window opened where it would stick out of the frame (a place stored on a larger
// screen, or the size a wide expression asks for) is moved and shrunk into the frame, so that its
// caption, close box and scroll bars can be reached. It keeps room for its caption and scroll bars.
Zone fitInFrame(const Zone& zone, plat::HWND frame) {
    const Zone area = documentArea(frame);
    if (area.right <= 0 || area.bottom <= 0)
        return zone;
    const int minWidth = 7 * plat::GetSystemMetrics(plat::SM_CXVSCROLL);
    const int minHeight = plat::GetSystemMetrics(plat::SM_CYCAPTION) +
                          2 * plat::GetSystemMetrics(plat::SM_CYFRAME) +
                          3 * plat::GetSystemMetrics(plat::SM_CYHSCROLL);
    return FitZoneInside(zone, area, minWidth, minHeight);
}

// The program's menu bar is shared by every window that shows it: a window gives it back before
// it goes, so that the bar outlives the window.
void takeMenuBarOff(plat::HWND hwnd) {
    plat::HMENU bar = CQVApp::instance().m_MenuBar;
    if (hwnd && bar && plat::GetMenu(hwnd) == bar)
        plat::SetMenu(hwnd, nullptr);
}

// Follows the mouse while the button is down. `autoscroll` (scroll panes) may move the contents
// under a point outside the visible zone; it then returns true and updates the point.
void runDrag(oWidget& widget, const DragMoveCallback& moveCb, const DragEndCallback& endCb,
             const DragRestoreCallback& restoreCb, int32_t pressToo,
             const std::function<bool(oPoint&)>& autoscroll) {
    plat::HWND hwnd = liveHandle(widget);
    if (!hwnd)
        return;
    auto toWidget = [&](plat::LONG x, plat::LONG y) {
        return oPoint{x - widget.originX(), y - widget.originY()};
    };
    plat::POINT cursor;
    plat::GetCursorPos(&cursor);
    plat::ScreenToClient(hwnd, &cursor);
    oPoint last = toWidget(cursor.x, cursor.y);

    plat::SetCapture(hwnd);
    if (pressToo == 1 && moveCb)
        moveCb(last);
    auto scrollAt = [&](oPoint& p) {
        if (autoscroll && autoscroll(p)) {
            if (restoreCb)
                restoreCb();
            if (moveCb)
                moveCb(p);
            return true;
        }
        return false;
    };
    for (;;) {
        plat::MSG msg;
        if (plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_REMOVE)) {
            if (msg.message == plat::WM_MOUSEMOVE && msg.hwnd == hwnd) {
                const oPoint p =
                    toWidget(plat::GET_X_LPARAM(msg.lParam), plat::GET_Y_LPARAM(msg.lParam));
                if (p.x == last.x && p.y == last.y)
                    continue;
                last = p;
                if (!scrollAt(last) && moveCb)
                    moveCb(last);
                continue;
            }
            if (msg.message == plat::WM_LBUTTONUP) {
                if (msg.hwnd == hwnd)
                    last = toWidget(plat::GET_X_LPARAM(msg.lParam), plat::GET_Y_LPARAM(msg.lParam));
                break;
            }
            if (msg.message == plat::WM_QUIT) {
                plat::PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            plat::TranslateMessage(&msg);
            plat::DispatchMessage(&msg);
            if (plat::GetCapture() != hwnd)
                break;
            continue;
        }
        // The release may have gone elsewhere (a window that took the capture, a grab the window
        // system broke): with the queue empty and the button up, the drag is over.
        if (plat::GetCapture() != hwnd || (plat::GetAsyncKeyState(plat::VK_LBUTTON) & 0x8000) == 0)
            break;
        if (autoscroll) {
            oPoint p = last;
            plat::Sleep(kAutoScrollTicks);
            if (scrollAt(p)) {
                last = p;
                continue;
            }
        }
        plat::WaitMessage();
    }
    if (plat::GetCapture() == hwnd)
        plat::ReleaseCapture();
    if (endCb)
        endCb(last);
}

// The first scroll pane of a window whose bar is `bar` (any scroll pane when `bar` is null).
oScrollPane* scrollPaneOf(oWindow* win, plat::HWND bar) {
    for (oPane* c = win->firstChild(); c; c = c->nextSibling()) {
        auto* s = dynamic_cast<oScrollPane*>(c);
        if (s && (bar == nullptr || HandleOfWindow(s->horizontalBar()) == bar ||
                  HandleOfWindow(s->verticalBar()) == bar))
            return s;
    }
    return nullptr;
}

// Set once the last document window has gone and the quit is posted, so that it is posted once;
// a new document window clears it.
bool s_lastWindowQuitPosted = false;

// A document window (a child of the main frame) is being destroyed: when no other is left, the
// program ends, unless it serves an embedding container.
void quitAfterLastDocumentWindow(plat::HWND closing) {
    CQVApp& app = CQVApp::instance();
    if (app.m_Embedded || s_lastWindowQuitPosted || !app.m_MainFrame ||
        plat::GetParent(closing) != app.m_MainFrame)
        return;
    for (oWidget* w : liveWidgets()) {
        auto* win = dynamic_cast<oWindow*>(w);
        if (!win || (win->kind() & kWindowChildOfFrame) == 0)
            continue;
        plat::HWND h = liveHandle(*win);
        if (h && h != closing)
            return;
    }
    s_lastWindowQuitPosted = true;
    plat::PostQuitMessage(2);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Handles

oWindow* WindowOfHandle(plat::HWND hwnd) {
    if (!hwnd || !plat::IsWindow(hwnd))
        return nullptr;
    auto* w = reinterpret_cast<oWidget*>(plat::GetWindowLongPtr(hwnd, plat::GWLP_USERDATA));
    if (!w || !liveWidgets().count(w))
        return nullptr;
    return dynamic_cast<oWindow*>(w);
}

plat::HWND HandleOfWindow(WindowHandle window) {
    return reinterpret_cast<plat::HWND>(window);
}

WindowHandle HandleToWindow(plat::HWND hwnd) {
    return reinterpret_cast<WindowHandle>(hwnd);
}

void InvalidateWidgetWindows() {
    std::set<plat::HWND> done;
    for (oWidget* w : liveWidgets()) {
        plat::HWND h = liveHandle(*w);
        if (h && done.insert(h).second)
            plat::InvalidateRect(h, nullptr, plat::TRUE);
    }
}

int32_t LiveWidgetCount() {
    return static_cast<int32_t>(liveWidgets().size());
}

// ---------------------------------------------------------------------------------------------
// oWidget (native part)

oWidget::oWidget() {
    liveWidgets().insert(this);
}

oWidget::~oWidget() {
    liveWidgets().erase(this);
    plat::HWND hwnd = liveHandle(*this);
    if (ownsHandle(hwnd, this)) {
        plat::SetWindowLongPtr(hwnd, plat::GWLP_USERDATA, 0);
        plat::ShowWindow(hwnd, plat::SW_HIDE);
        takeMenuBarOff(hwnd);
        UnregisterWidgetWindow(hwnd);
    }
}

void oWidget::attachWindow(WindowHandle window) {
    if (!HasDeviceRecord(m_device))
        adoptDevice(NewPortDevice(kDeviceDisplay));
    m_device->kind = kDeviceDisplay;
    m_device->window = HandleOfWindow(window);
}

bool oWidget::fitsInside(int32_t x, int32_t y, int32_t width, int32_t height) {
    const Zone block{x, y, x + width, y + height, 0, 0};
    if (width <= 0 || height <= 0 || !ZoneContainsZone(m_bounds, block))
        return false;
    plat::HWND hwnd = liveHandle(*this);
    if (!hwnd)
        return false;
    plat::RECT client;
    plat::GetClientRect(hwnd, &client);
    const plat::RECT inClient{block.left + m_originX, block.top + m_originY,
                              block.right + m_originX, block.bottom + m_originY};
    if (inClient.left < client.left || inClient.top < client.top || inClient.right > client.right ||
        inClient.bottom > client.bottom)
        return false;
    const plat::POINT corners[4] = {{inClient.left, inClient.top},
                                    {inClient.right - 1, inClient.top},
                                    {inClient.left, inClient.bottom - 1},
                                    {inClient.right - 1, inClient.bottom - 1}};
    plat::RECT onScreen{};
    for (int i = 0; i < 4; ++i) {
        plat::POINT c = corners[i];
        plat::ClientToScreen(hwnd, &c);
        if (plat::WindowFromPoint(c) != hwnd)
            return false;
        if (i == 0) {
            onScreen.left = c.x;
            onScreen.top = c.y;
        }
        if (i == 3) {
            onScreen.right = c.x + 1;
            onScreen.bottom = c.y + 1;
        }
    }
    if (VisiblePlacementWindow && plat::IsWindow(VisiblePlacementWindow) &&
        plat::IsWindowVisible(VisiblePlacementWindow)) {
        plat::RECT pc;
        plat::GetClientRect(VisiblePlacementWindow, &pc);
        plat::POINT tl{pc.left, pc.top};
        plat::POINT br{pc.right, pc.bottom};
        plat::ClientToScreen(VisiblePlacementWindow, &tl);
        plat::ClientToScreen(VisiblePlacementWindow, &br);
        if (onScreen.left < br.x && tl.x < onScreen.right && onScreen.top < br.y &&
            tl.y < onScreen.bottom)
            return false;
    }
    return true;
}

void oWidget::trackDrag(DragMoveCallback moveCb, DragEndCallback endCb,
                        DragRestoreCallback restoreCb, int32_t pressToo) {
    runDrag(*this, moveCb, endCb, restoreCb, pressToo, nullptr);
}

void oWidget::startXorLine(int32_t width) {
    startDeluxeLine(width, kXorLineColor, kLineSolid, kDrawXor);
}

void oWidget::drawXorString(const char* text, int32_t font, int32_t x, int32_t y) {
    static constexpr Color kXorTextColor{0xC0, 0xC0, 0xC0, 255};
    drawDeluxeString(text, font, x, y, &kXorTextColor, kDrawXor);
}

void oWidget::invertPolygon(int32_t count, const oPoint* points) {
    if (count < 2 || !points)
        return;
    PortDcHolder holder(this);
    plat::HDC dc = holder.hdc();
    if (!dc)
        return;
    std::vector<plat::POINT> moved(static_cast<std::size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        moved[static_cast<std::size_t>(i)] =
            plat::POINT{points[i].x + m_originX, points[i].y + m_originY};
    const int oldRop = plat::SetROP2(dc, plat::R2_NOT);
    plat::HGDIOBJ oldPen = plat::SelectObject(dc, plat::GetStockObject(plat::BLACK_PEN));
    plat::HGDIOBJ oldBrush = plat::SelectObject(dc, plat::GetStockObject(plat::BLACK_BRUSH));
    plat::Polygon(dc, moved.data(), count);
    plat::SelectObject(dc, oldBrush);
    plat::SelectObject(dc, oldPen);
    plat::SetROP2(dc, oldRop);
}

void oWidget::invertZone(const Zone& zone) {
    PortDcHolder holder(this);
    if (!holder.dc())
        return;
    Zone z = zone;
    ZoneOffset(z, m_originX, m_originY);
    holder->invertZone(z);
    noteDirectInk(zone);
}

void oWidget::hiliteZone(const Zone& zone) {
    PortDcHolder holder(this);
    plat::HDC dc = holder.hdc();
    if (!dc)
        return;
    // White XOR the brush is the highlight colour, so the highlight shows on the usual white
    // background; drawn twice it is gone.
    plat::HGDIOBJ old = plat::SelectObject(dc, GetXorBrush(kColorWhite));
    plat::PatBlt(dc, zone.left + m_originX, zone.top + m_originY, zone.width(), zone.height(),
                 plat::PATINVERT);
    plat::SelectObject(dc, old);
    noteDirectInk(zone);
}

void oWidget::noteDirectInk(const Zone&) {}

// ---------------------------------------------------------------------------------------------
// oWindow (native part)

oWindow::~oWindow() {
    // The panes go first: they still draw on the window while they are destroyed.
    while (m_firstChild)
        delete m_firstChild;
    m_target = nullptr;
    if (FrontWindow() == this)
        SetFrontWindow(nullptr);
    plat::HWND hwnd = liveHandle(*this);
    if (ownsHandle(hwnd, this)) {
        releaseNativeWindow();
        takeMenuBarOff(hwnd);
        if (m_kind & kWindowChildOfFrame)
            quitAfterLastDocumentWindow(hwnd);
        plat::DestroyWindow(hwnd);
    }
}

bool oWindow::createNativeWindow(const char* title, const Zone& wanted, int32_t kind) {
    if (!RegisterPaneWindowClass())
        return false;
    m_kind = kind;
    CQVApp& app = CQVApp::instance();
    plat::DWORD style = 0;
    plat::DWORD exStyle = 0;
    plat::HWND parent = nullptr;
    if (kind & kWindowCaption)
        style |= plat::WS_CAPTION | plat::WS_SYSMENU;
    if (kind & kWindowSizing)
        style |= plat::WS_THICKFRAME;
    if (kind & kWindowChildOfFrame) {
        if (!app.m_MainFrame || !plat::IsWindow(app.m_MainFrame)) {
            plat::WNDCLASS frameClass;
            if (plat::GetClassInfo(app.m_hInstance, kFrameWindowClass, &frameClass)) {
                const int sw = plat::GetSystemMetrics(plat::SM_CXSCREEN);
                const int sh = plat::GetSystemMetrics(plat::SM_CYSCREEN);
                const int fw = sw * 9 / 10;
                const int fh = sh * 9 / 10;
                app.m_MainFrame = plat::CreateWindowEx(0, kFrameWindowClass, "Korvaline",
                                                       plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE,
                                                       (sw - fw) / 2, (sh - fh) / 2, fw, fh,
                                                       nullptr, nullptr, app.m_hInstance, nullptr);
            }
        }
        if (app.m_MainFrame && plat::IsWindow(app.m_MainFrame)) {
            parent = app.m_MainFrame;
            style |= plat::WS_CHILD | plat::WS_CLIPSIBLINGS;
        }
    }
    const Zone zone = parent && (style & plat::WS_CHILD) ? fitInFrame(wanted, parent) : wanted;
    if (!parent) {
        style |= plat::WS_POPUP;
        if (kind & kWindowFloating) {
            exStyle |= plat::WS_EX_TOOLWINDOW;
            if (app.m_MainFrame && plat::IsWindow(app.m_MainFrame))
                parent = app.m_MainFrame; // the owner
        }
        if (kind & kWindowNoActivate)
            exStyle |= plat::WS_EX_NOACTIVATE;
    }
    plat::HWND hwnd = plat::CreateWindowEx(exStyle, kPaneWindowClass, title ? title : "", style,
                                           zone.left, zone.top, zone.width(), zone.height(), parent,
                                           nullptr, app.m_hInstance, nullptr);
    if (!hwnd)
        return false;
    plat::SetWindowLongPtr(hwnd, plat::GWLP_USERDATA, reinterpret_cast<plat::LONG_PTR>(this));
    attachWindow(HandleToWindow(hwnd));
    if (kind & kWindowChildOfFrame) {
        s_lastWindowQuitPosted = false;
        // A document window's caption is its file's name, written in the code page of the text.
        plat::SetWindowTextInCodePage(hwnd, plat::TRUE);
    }
    plat::RECT client;
    plat::GetClientRect(hwnd, &client);
    setDrawableSize(client.right - client.left, client.bottom - client.top);
    setResolution(ScreenResolution());
    m_lineUnit = ScreenDrawingUnit();
    m_placement = zone;
    RegisterWidgetWindow(hwnd);
    return true;
}

Zone oWindow::currentPlacement() const {
    plat::HWND hwnd = liveHandle(*this);
    if (!hwnd || plat::IsIconic(hwnd))
        return m_placement;
    plat::RECT r;
    plat::GetWindowRect(hwnd, &r);
    plat::POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    if (plat::HWND parent = plat::GetParent(hwnd);
        parent && (plat::GetWindowLongPtr(hwnd, plat::GWL_STYLE) & plat::WS_CHILD))
        plat::MapWindowPoints(nullptr, parent, corners, 2);
    return Zone{corners[0].x, corners[0].y, corners[1].x, corners[1].y, 0, 0};
}

void oWindow::releaseNativeWindow() {
    plat::HWND hwnd = liveHandle(*this);
    if (!hwnd)
        return;
    if (!plat::IsIconic(hwnd)) {
        plat::RECT r;
        plat::GetWindowRect(hwnd, &r);
        m_placement = Zone{r.left, r.top, r.right, r.bottom, 0, 0};
    }
    if (ownsHandle(hwnd, this))
        plat::SetWindowLongPtr(hwnd, plat::GWLP_USERDATA, 0);
    UnregisterWidgetWindow(hwnd);
    // The panes share this record: from now on they draw nowhere visible.
    if (HasDeviceRecord(m_device))
        m_device->window = nullptr;
}

void oWindow::clientResized(int32_t width, int32_t height) {
    const int32_t dx = width - m_width;
    const int32_t dy = height - m_height;
    if (dx == 0 && dy == 0)
        return;
    m_width = width;
    m_height = height;
    m_bounds.right += dx;
    m_bounds.bottom += dy;
    m_clip = m_bounds;
    resize(dx, dy);
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        if (auto* scroll = dynamic_cast<oScrollPane*>(c))
            scroll->placeScrollBars();
}

void oWindow::show() {
    if (plat::HWND h = liveHandle(*this)) {
        plat::ShowWindow(h, plat::SW_SHOW);
        plat::BringWindowToTop(h);
    }
}

void oWindow::closeSoon() {
    if (plat::HWND h = liveHandle(*this))
        plat::PostMessage(h, plat::WM_SYSCOMMAND, plat::SC_CLOSE, 0);
}

void oWindow::takeFocus() {
    if (plat::HWND h = liveHandle(*this))
        plat::SetFocus(h);
}

void oWindow::getScreenZone(Zone& zone) {
    plat::HWND h = liveHandle(*this);
    if (!h) {
        zone = Zone{};
        return;
    }
    plat::RECT r;
    plat::GetClientRect(h, &r);
    plat::POINT tl{r.left, r.top};
    plat::ClientToScreen(h, &tl);
    zone = Zone{tl.x, tl.y, tl.x + (r.right - r.left), tl.y + (r.bottom - r.top), 0, 0};
}

void oWindow::setTitle(const char* text) {
    if (plat::HWND h = liveHandle(*this))
        plat::SetWindowText(h, text ? text : "");
    // The Windows menu lists the window under its pane's title: it follows the new one.
    if (m_target)
        RenameAdHocMenuItems(reinterpret_cast<std::intptr_t>(m_target), text);
}

void oWindow::getTitle(std::string& text) {
    text.clear();
    plat::HWND h = liveHandle(*this);
    if (!h)
        return;
    const int n = plat::GetWindowTextLength(h);
    std::string buffer(static_cast<std::size_t>(n) + 1, '\0');
    const int got = plat::GetWindowText(h, buffer.data(), n + 1);
    buffer.resize(static_cast<std::size_t>(std::max(0, got)));
    text = buffer;
}

void oWindow::invalidate(const Zone* zone) {
    plat::HWND h = liveHandle(*this);
    if (!h)
        return;
    if (zone) {
        const plat::RECT r = toRect(*zone);
        plat::InvalidateRect(h, &r, plat::FALSE);
    } else {
        plat::InvalidateRect(h, nullptr, plat::FALSE);
    }
}

bool oWindow::needsDrawing(const Zone* zone) {
    if (PaintRegionPort() != this || !PaintRegion())
        return true;
    const plat::RECT r = toRect(zone ? *zone : m_bounds);
    return plat::RectInRegion(PaintRegion(), &r) != 0;
}

bool oWindow::paintArea(Zone& box, bool& whole) {
    if (PaintRegionPort() != this || !PaintRegion())
        return false;
    plat::RECT r{};
    const int kind = plat::GetRgnBox(PaintRegion(), &r);
    box = Zone{r.left, r.top, r.right, r.bottom, 0, 0};
    whole = kind == plat::SIMPLEREGION || kind == plat::NULLREGION;
    return true;
}

bool oWindow::paintInside(const std::vector<Zone>& zones) {
    if (PaintRegionPort() != this || !PaintRegion())
        return false;
    plat::HRGN rest = plat::CreateRectRgn(0, 0, 0, 0);
    plat::CombineRgn(rest, PaintRegion(), nullptr, plat::RGN_COPY);
    for (const Zone& z : zones) {
        plat::HRGN part = plat::CreateRectRgn(z.left, z.top, z.right, z.bottom);
        plat::CombineRgn(rest, rest, part, plat::RGN_DIFF);
        plat::DeleteObject(part);
    }
    plat::RECT box{};
    const bool inside = plat::GetRgnBox(rest, &box) == plat::NULLREGION;
    plat::DeleteObject(rest);
    return inside;
}

void oWindow::becomeFront() {
    oWindow* front = FrontWindow();
    if (front == this)
        return;
    if (front)
        front->resignFront();
    SetFrontWindow(this);
    activate();
    if (m_target)
        m_target->becomeFront();
}

void oWindow::resignFront() {
    if (FrontWindow() != this)
        return;
    if (m_target)
        m_target->resignFront();
    deactivate();
    SetFrontWindow(nullptr);
}

void PeriodicTick(oPane* pane) {
    if (!pane)
        return;
    // Measured from the last tick, so that a clock that was set back does not stop the blink.
    const uint32_t now = plat::GetTickCount();
    if (s_tickStarted && now - s_lastTick < plat::GetCaretBlinkTime())
        return;
    s_tickStarted = true;
    s_lastTick = now;
    pane->idle();
}

// ---------------------------------------------------------------------------------------------
// Pane windows

bool RegisterPaneWindowClass() {
    plat::WNDCLASS existing;
    if (plat::GetClassInfo(CQVApp::instance().m_hInstance, kPaneWindowClass, &existing))
        return true;
    plat::WNDCLASS wc;
    wc.style = plat::CS_DBLCLKS;
    wc.lpfnWndProc = &PaneWndProc;
    wc.hInstance = CQVApp::instance().m_hInstance;
    wc.lpszClassName = kPaneWindowClass;
    return plat::RegisterClass(&wc) != 0;
}

void PaintPaneWindow(plat::HWND hwnd) {
    oWindow* win = WindowOfHandle(hwnd);
    if (!win) {
        plat::PAINTSTRUCT ps;
        plat::BeginPaint(hwnd, &ps);
        plat::EndPaint(hwnd, &ps);
        return;
    }
    plat::HRGN region = plat::CreateRectRgn(0, 0, 0, 0);
    plat::GetUpdateRgn(hwnd, region, plat::FALSE);
    SetPaintRegion(win, region);
    BeginPortPaint(hwnd);
    const int16_t code = CatchFail([&] { win->draw(); });
    // A line left open would hold the paint DC's wrapper past the paint.
    CloseLineDrawing();
    EndPortPaint(hwnd);
    ClearPaintRegion();
    plat::DeleteObject(region);
    if (code != 0)
        ErrorAlert(code);
}

void SnapshotModifierKeys() {
    auto down = [](int vk) { return (plat::GetKeyState(vk) & 0x8000) != 0; };
    const bool shift = down(plat::VK_SHIFT);
    const bool ctrl = down(plat::VK_CONTROL);
    const bool alt = down(plat::VK_MENU);
    uint32_t flags = 0;
    if (shift)
        flags |= kModShift;
    if (ctrl)
        flags |= kModCtrl;
    if (alt)
        flags |= kModAlt;
    if (alt && shift)
        flags |= kModAltShift;
    if (alt && ctrl)
        flags |= kModAltCtrl;
    if (plat::GetKeyState(plat::VK_CAPITAL) & 1)
        flags |= kModCapsLock;
    ModifierFlags = flags;
}

void PlaceCompositionWindow(oWindow* window) {
    if (!window || !CQVApp::instance().m_DoubleByte)
        return;
    plat::HWND hwnd = liveHandle(*window);
    oPoint point;
    if (!hwnd || !window->compositionPoint(point))
        return;
    plat::HIMC context = plat::ImmGetContext(hwnd);
    if (!context)
        return;
    plat::COMPOSITIONFORM form;
    form.dwStyle = plat::CFS_POINT;
    form.ptCurrentPos = plat::POINT{point.x, point.y};
    plat::ImmSetCompositionWindow(context, &form);
    plat::ImmReleaseContext(hwnd, context);
}

void SetCursorForKind(int32_t kind) {
    const char* id = plat::IDC_ARROW;
    if (kind == 1)
        id = plat::IDC_IBEAM;
    else if (kind == 4)
        id = plat::IDC_CROSS;
    SetCurrentCursor(plat::LoadCursor(nullptr, id));
    ApplyCursor();
}

namespace {

plat::LRESULT paneMessage(oWindow* win, plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                          plat::LPARAM lParam) {
    const oPoint point{plat::GET_X_LPARAM(lParam), plat::GET_Y_LPARAM(lParam)};
    switch (message) {
    case plat::WM_PAINT:
        PaintPaneWindow(hwnd);
        return 0;
    case plat::WM_ERASEBKGND:
        return 1;
    case plat::WM_LBUTTONDOWN:
    case plat::WM_LBUTTONDBLCLK:
        // A window that is never activated (the palette) leaves the focus where it is, so that
        // its commands act on the front document.
        if (plat::GetFocus() != hwnd && !(win->kind() & kWindowNoActivate))
            plat::SetFocus(hwnd);
        SnapshotModifierKeys();
        DoubleClickFlag = message == plat::WM_LBUTTONDBLCLK ? 1 : 0;
        win->click(point);
        return 0;
    case plat::WM_RBUTTONUP:
        SnapshotModifierKeys();
        DoubleClickFlag = 0;
        win->contextClick(point);
        return 0;
    case plat::WM_MOUSEMOVE: {
        int32_t kind = 0;
        int32_t info = 0;
        Zone zone;
        win->infoAtPoint(point, kind, info, zone);
        SetCursorForKind(kind);
        return 0;
    }
    case plat::WM_CHAR: {
        // Characters typed with Ctrl or Alt were offered to the key filter already.
        SnapshotModifierKeys();
        if ((ModifierFlags & (kModCtrl | kModAlt)) == 0) {
            win->doKey(static_cast<int32_t>(wParam & 0xFF));
            PlaceCompositionWindow(win);
        }
        return 0;
    }
    case plat::WM_IME_CHAR:
        win->doDoubleByteChar(static_cast<int32_t>(wParam & 0xFFFF));
        PlaceCompositionWindow(win);
        return 0;
    case plat::WM_SETFOCUS:
        // A window that is never activated (the palette) never becomes the front window either:
        // the frame would hand it the focus, and with it the activation, each time it is
        // activated itself.
        if (!(win->kind() & kWindowNoActivate))
            win->becomeFront();
        PlaceCompositionWindow(win);
        return 0;
    case plat::WM_SIZE:
        if (wParam != plat::SIZE_MINIMIZED)
            win->clientResized(plat::LOWORD(static_cast<plat::WPARAM>(lParam)),
                               plat::HIWORD(static_cast<plat::WPARAM>(lParam)));
        return 0;
    case plat::WM_HSCROLL:
    case plat::WM_VSCROLL: {
        auto bar = reinterpret_cast<plat::HWND>(lParam);
        if (oScrollPane* pane = scrollPaneOf(win, bar)) {
            const int32_t code = static_cast<int32_t>(plat::LOWORD(wParam));
            int32_t position = static_cast<int32_t>(static_cast<int16_t>(plat::HIWORD(wParam)));
            // The message carries 16 bits of the thumb position; the bar holds all of it.
            plat::SCROLLINFO info;
            info.fMask = plat::SIF_TRACKPOS | plat::SIF_POS;
            if (bar && (code == kScrollThumbTrack || code == kScrollThumbPosition) &&
                plat::GetScrollInfo(bar, plat::SB_CTL, &info))
                position = code == kScrollThumbTrack ? info.nTrackPos : info.nPos;
            pane->handleScroll(message == plat::WM_HSCROLL ? 0 : 1, code, position);
        }
        return 0;
    }
    case plat::WM_MOUSEWHEEL:
        // Each notch scrolls the pane three lines, away from the user scrolling up.
        if (oScrollPane* pane = scrollPaneOf(win, nullptr)) {
            const int notches = static_cast<int16_t>(plat::HIWORD(wParam)) / plat::WHEEL_DELTA;
            for (int i = 0; i < 3 * std::abs(notches); ++i)
                pane->handleScroll(1, notches > 0 ? kScrollLineUp : kScrollLineDown, 0);
        }
        return 0;
    case plat::WM_CLOSE:
        win->close();
        return 0;
    case plat::WM_DESTROY:
        win->releaseNativeWindow();
        if (win->kind() & kWindowChildOfFrame)
            quitAfterLastDocumentWindow(hwnd);
        return 0;
    default:
        return plat::DefWindowProc(hwnd, message, wParam, lParam);
    }
}

} // namespace

plat::LRESULT PaneWndProc(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                          plat::LPARAM lParam) {
    oWindow* win = WindowOfHandle(hwnd);
    if (!win)
        return plat::DefWindowProc(hwnd, message, wParam, lParam);
    // Keys, clicks, paints and the rest each run as one user action: a failure is shown and the
    // window and its document stay as they were.
    plat::LRESULT result = 0;
    RunUserAction([&] { result = paneMessage(win, hwnd, message, wParam, lParam); });
    return result;
}

// ---------------------------------------------------------------------------------------------
// oScrollPane (native part)

oScrollPane::~oScrollPane() {
    for (WindowHandle bar : {m_hBar, m_vBar})
        if (plat::HWND h = HandleOfWindow(bar); h && plat::IsWindow(h))
            plat::DestroyWindow(h);
    m_hBar = m_vBar = 0;
}

void oScrollPane::setPanorama(int32_t width, int32_t height, const oPoint* point, bool centre) {
    m_panoramaWidth = width;
    m_panoramaHeight = height;
    m_centring = centre;
    auto axis = [&](int32_t extent, int32_t frame, int32_t wanted) {
        if (extent > frame)
            return clampScroll(wanted, extent, frame);
        return centre ? -(frame - extent) / 2 : 0;
    };
    // Without a point the bars' positions stand; a pane without bars keeps its own.
    auto barPosition = [](WindowHandle bar, int32_t own) {
        plat::HWND h = HandleOfWindow(bar);
        return h && plat::IsWindow(h) ? plat::GetScrollPos(h, plat::SB_CTL) : own;
    };
    const int32_t x = axis(width, m_width, point ? point->x : barPosition(m_hBar, m_bounds.left));
    const int32_t y = axis(height, m_height, point ? point->y : barPosition(m_vBar, m_bounds.top));
    if (x != m_bounds.left || y != m_bounds.top) {
        setOrigin(x, y);
        for (oPane* c = m_firstChild; c; c = c->nextSibling())
            c->updateOrigin();
        invalidate(nullptr);
    }
    syncScrollBars();
}

void oScrollPane::syncScrollBars() {
    const WindowHandle bars[2] = {m_hBar, m_vBar};
    const int32_t extents[2] = {m_panoramaWidth, m_panoramaHeight};
    const int32_t frames[2] = {m_width, m_height};
    const int32_t positions[2] = {m_bounds.left, m_bounds.top};
    for (int i = 0; i < 2; ++i) {
        plat::HWND h = HandleOfWindow(bars[i]);
        if (!h || !plat::IsWindow(h) || extents[i] < 0)
            continue;
        plat::SCROLLINFO info;
        info.fMask = plat::SIF_RANGE | plat::SIF_PAGE | plat::SIF_POS | plat::SIF_DISABLENOSCROLL;
        info.nMin = 0;
        info.nMax = extents[i];
        info.nPage = static_cast<plat::UINT>(std::max<int32_t>(0, frames[i]));
        // Centred contents sit at a negative origin; the bar is disabled then and shows 0.
        info.nPos = std::max<int32_t>(0, positions[i]);
        plat::SetScrollInfo(h, plat::SB_CTL, &info, plat::TRUE);
    }
}

void oScrollPane::scrollBy(int32_t dx, int32_t dy) {
    const int32_t x = m_panoramaWidth > m_width
                          ? clampScroll(m_bounds.left + dx, m_panoramaWidth, m_width)
                          : m_bounds.left;
    const int32_t y = m_panoramaHeight > m_height
                          ? clampScroll(m_bounds.top + dy, m_panoramaHeight, m_height)
                          : m_bounds.top;
    const int32_t mx = x - m_bounds.left;
    const int32_t my = y - m_bounds.top;
    if (mx == 0 && my == 0)
        return;
    plat::HWND hwnd = liveHandle(*this);
    // The frame in client coordinates, before the origin moves.
    const plat::RECT frame{m_bounds.left + m_originX, m_bounds.top + m_originY,
                           m_bounds.right + m_originX, m_bounds.bottom + m_originY};
    setOrigin(x, y);
    for (oPane* c = m_firstChild; c; c = c->nextSibling())
        c->updateOrigin();
    if (hwnd) {
        plat::ScrollWindowEx(hwnd, -mx, -my, &frame, &frame, nullptr, nullptr, plat::SW_INVALIDATE);
        syncScrollBars();
        plat::UpdateWindow(hwnd);
    } else {
        syncScrollBars();
    }
}

oWindow* oScrollPane::makeWindow(const char* title, const Zone& zone, int32_t kind) {
    oWindow* win = openInWindow(title, zone, kind);
    if (!win)
        return nullptr;
    const Zone client = win->bounds();
    const Zone paneZone{
        client.left, client.top, client.right - kScrollBarSize, client.bottom - kScrollBarSize,
        0,           0};
    placeInParent(win, paneZone, oPoint{0, 0});
    plat::HWND parent = liveHandle(*win);
    // The scroll-bar class comes with the standard controls.
    plat::InitCommonControls();
    const int32_t bars[2][4] = {{paneZone.left, paneZone.bottom, paneZone.width(), kScrollBarSize},
                                {paneZone.right, paneZone.top, kScrollBarSize, paneZone.height()}};
    for (int i = 0; i < 2; ++i) {
        plat::HWND bar = plat::CreateWindowEx(
            0, "SCROLLBAR", nullptr,
            plat::WS_CHILD | plat::WS_VISIBLE | (i == 1 ? plat::SBS_VERT : plat::SBS_HORZ),
            bars[i][0], bars[i][1], bars[i][2], bars[i][3], parent,
            plat::HandleFromId<plat::HMENU>(static_cast<uint32_t>(i + 1)),
            CQVApp::instance().m_hInstance, nullptr);
        if (bar)
            plat::SetWindowLongPtr(bar, plat::GWLP_USERDATA,
                                   reinterpret_cast<plat::LONG_PTR>(this));
        (i == 0 ? m_hBar : m_vBar) = HandleToWindow(bar);
    }
    if (m_panoramaWidth >= 0 && m_panoramaHeight >= 0)
        syncScrollBars();
    return win;
}

void oScrollPane::placeScrollBars() {
    const Zone& z = m_zoneInParent;
    if (plat::HWND h = HandleOfWindow(m_hBar); h && plat::IsWindow(h))
        plat::MoveWindow(h, z.left, z.bottom, z.width(), kScrollBarSize, plat::TRUE);
    if (plat::HWND v = HandleOfWindow(m_vBar); v && plat::IsWindow(v))
        plat::MoveWindow(v, z.right, z.top, kScrollBarSize, z.height(), plat::TRUE);
    // The page follows the new frame.
    if (m_panoramaWidth >= 0 && m_panoramaHeight >= 0)
        syncScrollBars();
}

void oScrollPane::handleScroll(int32_t bar, int32_t code, int32_t position) {
    const int32_t frame = bar == 0 ? m_width : m_height;
    const int32_t extent = bar == 0 ? m_panoramaWidth : m_panoramaHeight;
    const int32_t current = bar == 0 ? m_bounds.left : m_bounds.top;
    const int32_t lineStep = std::max<int32_t>(1, m_resolution);
    const int32_t pageStep = std::max<int32_t>(1, frame - lineStep);
    int32_t delta = 0;
    switch (code) {
    case kScrollLineUp:
        delta = -lineStep;
        break;
    case kScrollLineDown:
        delta = lineStep;
        break;
    case kScrollPageUp:
        delta = -pageStep;
        break;
    case kScrollPageDown:
        delta = pageStep;
        break;
    case kScrollThumbPosition:
    case kScrollThumbTrack: {
        delta = position - current;
        break;
    }
    case kScrollTop:
        delta = -current;
        break;
    case kScrollBottom:
        delta = extent - frame + 1 - current;
        break;
    default:
        return;
    }
    if (bar == 0)
        scrollBy(delta, 0);
    else
        scrollBy(0, delta);
}

void oScrollPane::trackDrag(DragMoveCallback moveCb, DragEndCallback endCb,
                            DragRestoreCallback restoreCb, int32_t pressToo) {
    auto autoscroll = [this](oPoint& p) {
        auto overshoot = [](int32_t v, int32_t lo, int32_t hi, int32_t frame) {
            int32_t d = 0;
            if (v < lo)
                d = v - lo;
            else if (v >= hi)
                d = v - hi + 1;
            return std::clamp(d, -frame, frame);
        };
        const int32_t dx = overshoot(p.x, m_bounds.left, m_bounds.right, m_width);
        const int32_t dy = overshoot(p.y, m_bounds.top, m_bounds.bottom, m_height);
        if (dx == 0 && dy == 0)
            return false;
        const int32_t oldX = m_bounds.left;
        const int32_t oldY = m_bounds.top;
        scrollBy(dx, dy);
        const int32_t mx = m_bounds.left - oldX;
        const int32_t my = m_bounds.top - oldY;
        if (mx == 0 && my == 0)
            return false;
        // The mouse stays where it is on the screen, over contents that moved.
        p.x += mx;
        p.y += my;
        return true;
    };
    runDrag(*this, moveCb, endCb, restoreCb, pressToo, autoscroll);
}
