#include "OverPc/shell/oListBox.h"

#include "OverPc/PERROR.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/Portdc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/WidgetItem.h"
#include "plat/Dialog.h"
#include "plat/Gdi.h"
#include "plat/Window.h"

namespace {

Color colorOf(plat::DWORD rgb) {
    return Color{static_cast<uint8_t>(rgb & 0xFF), static_cast<uint8_t>((rgb >> 8) & 0xFF),
                 static_cast<uint8_t>((rgb >> 16) & 0xFF), 255};
}

} // namespace

oListBox::oListBox(plat::HWND item, int32_t count, int32_t selected, int32_t itemHeight,
                   ListRowDrawer drawer)
    : m_item(item)
    , m_controlId(plat::GetDlgCtrlID(item))
    , m_count(count < 0 ? 0 : count)
    , m_selection(selected)
    , m_itemHeight(itemHeight)
    , m_drawer(std::move(drawer)) {
    SetupItemWidget(*this, item);
}

oListBox::~oListBox() = default;

void oListBox::fillItems() {
    if (!m_item || !plat::IsWindow(m_item))
        return;
    plat::SendMessage(m_item, plat::LB_RESETCONTENT, 0, 0);
    for (int32_t i = 0; i < m_count; ++i)
        plat::SendMessage(m_item, plat::LB_ADDSTRING, 0, static_cast<plat::LPARAM>(i));
    plat::RECT r{};
    plat::GetClientRect(m_item, &r);
    m_clientWidth = r.right - r.left;
    setSelection(m_selection < m_count ? m_selection : -1);
}

void oListBox::setSelection(int32_t index) {
    m_selection = index;
    if (!m_item || !plat::IsWindow(m_item))
        return;
    plat::SendMessage(m_item, plat::LB_SETCURSEL, static_cast<plat::WPARAM>(-1), 0);
    if (index >= 0)
        plat::SendMessage(m_item, plat::LB_SETCURSEL, static_cast<plat::WPARAM>(index), 0);
}

void oListBox::measureItem(plat::MEASUREITEMSTRUCT& measure) {
    measure.itemHeight = static_cast<plat::UINT>(m_itemHeight);
}

void oListBox::drawItem(const plat::DRAWITEMSTRUCT& draw) {
    const bool selected = (draw.itemState & plat::ODS_SELECTED) != 0;
    const bool disabled = (draw.itemState & plat::ODS_DISABLED) != 0;
    const int back = selected ? plat::COLOR_HIGHLIGHT : plat::COLOR_WINDOW;
    int text = selected ? plat::COLOR_HIGHLIGHTTEXT : plat::COLOR_WINDOWTEXT;
    if (disabled)
        text = plat::COLOR_GRAYTEXT;
    plat::FillRect(draw.hDC, &draw.rcItem, plat::GetSysColorBrush(back));
    const int32_t row = static_cast<int32_t>(draw.itemID);
    if (!m_drawer || row < 0 || row >= m_count)
        return;
    const Color fore = colorOf(plat::GetSysColor(text));
    const Color background = colorOf(plat::GetSysColor(back));
    // The row is drawn on the list's own DC, which the ports take while it is the paint DC.
    const plat::HDC previous = CurrentPaintDc();
    SetPaintDc(draw.hDC, kDeviceDisplay);
    setColors(&fore, &background);
    Zone zone;
    zone.left = draw.rcItem.left;
    zone.top = draw.rcItem.top;
    zone.right = draw.rcItem.right;
    zone.bottom = draw.rcItem.bottom;
    zone.ref1 = zone.ref2 = zone.height();
    const int16_t code = CatchFail([&] { m_drawer(*this, row, zone, draw.itemState); });
    CloseLineDrawing();
    if (previous)
        SetPaintDc(previous, kDeviceDisplay);
    else
        ClearPaintDc(kDeviceDisplay);
    if (code != 0)
        ErrorAlert(code);
}

bool oListBox::handleNotify() {
    switch (ListBoxNotifyCode()) {
    case plat::LBN_SELCHANGE: {
        DoubleClickFlag = 0;
        const plat::LRESULT sel =
            m_item ? plat::SendMessage(m_item, plat::LB_GETCURSEL, 0, 0) : plat::LB_ERR;
        m_selection = sel == plat::LB_ERR ? -1 : static_cast<int32_t>(sel);
        return true;
    }
    case plat::LBN_DBLCLK:
        DoubleClickFlag = 1;
        return true;
    default:
        DoubleClickFlag = 0;
        return false;
    }
}

void oListBox::setCount(int32_t count) {
    m_count = count < 0 ? 0 : count;
}

void oListBox::redraw() {
    if (m_item && plat::IsWindow(m_item))
        plat::InvalidateRect(m_item, nullptr, plat::TRUE);
}

oListBox* CreateListBoxForItem(int32_t controlId, int32_t count, int32_t selected,
                               int32_t itemHeight, ListRowDrawer drawer) {
    if (!CurrentDialog || CurrentDialog == kSystemDialogRunning || !plat::IsWindow(CurrentDialog))
        return nullptr;
    plat::HWND item = plat::GetDlgItem(CurrentDialog, controlId);
    if (!item)
        return nullptr;
    return new oListBox(item, count, selected, itemHeight, std::move(drawer));
}
