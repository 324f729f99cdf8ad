#include "OverPc/shell/oDlgWidget.h"

#include "OverPc/PERROR.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Portdc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/WidgetItem.h"
#include "plat/Dialog.h"
#include "plat/Window.h"

#include <set>

namespace {

// Where the press was, for a procedure that reads it after later input has moved the cursor on.
void keepPressPoint(plat::HWND item, plat::LPARAM lParam) {
    if (oDlgWidget* widget = DlgWidgetOfItem(item))
        widget->setPressPoint(oPoint{plat::GET_X_LPARAM(lParam), plat::GET_Y_LPARAM(lParam)});
}

} // namespace

bool PortPaintInProgress = false;

namespace {

std::set<const oDlgWidget*>& liveDlgWidgets() {
    static std::set<const oDlgWidget*> s_widgets;
    return s_widgets;
}

} // namespace

oDlgWidget::oDlgWidget(plat::HWND item, DlgPaintCallback paint)
    : m_item(item)
    , m_controlId(plat::GetDlgCtrlID(item))
    , m_paint(paint) {
    liveDlgWidgets().insert(this);
    SetupItemWidget(*this, item);
    plat::SetWindowLongPtr(item, plat::GWLP_USERDATA, reinterpret_cast<plat::LONG_PTR>(this));
}

oDlgWidget::~oDlgWidget() {
    liveDlgWidgets().erase(this);
}

void oDlgWidget::cursorPoint(int32_t& x, int32_t& y) {
    plat::POINT p{};
    plat::GetCursorPos(&p);
    if (m_item && plat::IsWindow(m_item))
        plat::ScreenToClient(m_item, &p);
    x = p.x;
    y = p.y;
}

oDlgWidget* DlgWidgetOfItem(plat::HWND item) {
    if (!item || !plat::IsWindow(item))
        return nullptr;
    auto* w = reinterpret_cast<oDlgWidget*>(plat::GetWindowLongPtr(item, plat::GWLP_USERDATA));
    return (w && liveDlgWidgets().count(w)) ? w : nullptr;
}

bool RegisterOtherPortClass() {
    plat::WNDCLASS existing;
    if (plat::GetClassInfo(CQVApp::instance().m_hInstance, kOtherPortClass, &existing))
        return true;
    plat::WNDCLASS wc;
    wc.style = plat::CS_DBLCLKS;
    wc.lpfnWndProc = &OtherPortWndProc;
    wc.hInstance = CQVApp::instance().m_hInstance;
    wc.hbrBackground = plat::GetSysColorBrush(plat::COLOR_WINDOW);
    wc.lpszClassName = kOtherPortClass;
    return plat::RegisterClass(&wc) != 0;
}

namespace {

plat::LRESULT otherPortMessage(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                               plat::LPARAM lParam) {
    const plat::WORD id = static_cast<plat::WORD>(plat::GetDlgCtrlID(hwnd));
    switch (message) {
    case plat::WM_PAINT: {
        oDlgWidget* widget = DlgWidgetOfItem(hwnd);
        if (!widget || !widget->paintCallback()) {
            plat::PAINTSTRUCT ps;
            plat::BeginPaint(hwnd, &ps);
            plat::EndPaint(hwnd, &ps);
            return 0;
        }
        PortPaintInProgress = true;
        BeginPortPaint(hwnd);
        const int16_t code = CatchFail([&] { widget->paintCallback()(id); });
        // A line left open would hold the paint DC's wrapper past the paint.
        CloseLineDrawing();
        EndPortPaint(hwnd);
        PortPaintInProgress = false;
        if (code != 0)
            ErrorAlert(code);
        return 0;
    }
    case plat::WM_LBUTTONDOWN:
        keepPressPoint(hwnd, lParam);
        plat::SendMessage(plat::GetParent(hwnd), plat::WM_COMMAND, plat::MAKEWPARAM(id, 0),
                          reinterpret_cast<plat::LPARAM>(hwnd));
        return 0;
    case plat::WM_LBUTTONUP:
        return 0;
    case plat::WM_LBUTTONDBLCLK:
        keepPressPoint(hwnd, lParam);
        DoubleClickFlag = 1;
        if (CurrentDialog && CurrentDialog != kSystemDialogRunning && plat::IsWindow(CurrentDialog))
            plat::SendMessage(CurrentDialog, plat::WM_COMMAND, plat::MAKEWPARAM(id, 0), 0);
        return plat::DefWindowProc(hwnd, message, wParam, lParam);
    default:
        return plat::DefWindowProc(hwnd, message, wParam, lParam);
    }
}

} // namespace

plat::LRESULT OtherPortWndProc(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                               plat::LPARAM lParam) {
    plat::LRESULT result = 0;
    RunUserAction([&] { result = otherPortMessage(hwnd, message, wParam, lParam); });
    return result;
}

oDlgWidget* CreateDlgWidgetForItem(int32_t controlId, DlgPaintCallback paint) {
    if (!CurrentDialog || CurrentDialog == kSystemDialogRunning || !plat::IsWindow(CurrentDialog))
        return nullptr;
    plat::HWND item = plat::GetDlgItem(CurrentDialog, controlId);
    if (!item)
        return nullptr;
    return new oDlgWidget(item, paint);
}
