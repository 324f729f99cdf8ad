#include "Dialogs/PopupCombo.h"

#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/PMENU.h"
#include "plat/Dialog.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Menu.h"
#include "plat/Window.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

plat::HWND currentDialog() {
    return (CurrentDialog && CurrentDialog != kSystemDialogRunning && plat::IsWindow(CurrentDialog))
               ? CurrentDialog
               : nullptr;
}

// The popup table remembered for the dialog being filled: each combo set up from a menu with
// its value table, in the order they were set up. A new dialog starts a new table.
struct RememberedPopup {
    int controlId;
    int32_t firstValue;
};
plat::HWND s_popupTableDialog = nullptr;
std::vector<RememberedPopup> s_popupTable;

void rememberPopup(plat::HWND dialog, int controlId, const int32_t* values, int count) {
    if (dialog != s_popupTableDialog) {
        s_popupTableDialog = dialog;
        s_popupTable.clear();
    }
    if (values != nullptr && count > 0)
        s_popupTable.push_back({controlId, values[0]});
}

bool isSeparatorAt(plat::HMENU menu, int position) {
    if (position < 0 || position >= plat::GetMenuItemCount(menu))
        return false;
    plat::MENUITEMINFO info;
    info.fMask = plat::MIIM_TYPE;
    if (!plat::GetMenuItemInfo(menu, static_cast<plat::UINT>(position), plat::TRUE, &info))
        return false;
    return (info.fType & plat::MFT_SEPARATOR) != 0;
}

// The text of menu position `position` in the shared item buffer (at most 1024 characters);
// false when the item cannot be read.
bool menuText(plat::HMENU menu, int position) {
    char* buffer = ItemTextBuffer();
    buffer[0] = '\0';
    if (!menu || position < 0 || position >= plat::GetMenuItemCount(menu))
        return false;
    plat::GetMenuString(menu, static_cast<plat::UINT>(position), buffer,
                        static_cast<int>(kItemTextBufferSize), plat::MF_BYPOSITION);
    return true;
}

struct EntryLook {
    const char* text = "";
    bool lineAbove = false;
    bool lineBelow = false;
};

// The text and separator lines of an entry, as measuring and drawing find them.
EntryLook lookOf(plat::HWND combo, plat::UINT itemId, plat::DWORD_PTR itemData, bool measuring) {
    EntryLook look;
    if (itemId == static_cast<plat::UINT>(-1)) {
        look.text = measuring ? "MMM" : "";
        return look;
    }
    auto menu = reinterpret_cast<plat::HMENU>(
        combo ? plat::GetWindowLongPtr(combo, plat::GWLP_USERDATA) : 0);
    const int p = static_cast<int>(itemData);
    if (menu && plat::IsMenu(menu)) {
        look.lineAbove = isSeparatorAt(menu, p - 1);
        look.lineBelow = isSeparatorAt(menu, p + 1);
    }
    look.text = (menu && plat::IsMenu(menu) && menuText(menu, p)) ? ItemTextBuffer() : "error";
    if (itemId == 0)
        look.lineAbove = true;
    return look;
}

} // namespace

plat::SIZE MeasurePopupText(const char* text) {
    plat::HDC screen = plat::GetDC(nullptr);
    plat::HDC dc = plat::CreateCompatibleDC(screen);
    plat::ReleaseDC(nullptr, screen);
    plat::HGDIOBJ old = plat::SelectObject(dc, plat::GetStockObject(plat::DEFAULT_GUI_FONT));
    plat::SIZE size{};
    plat::GetTextExtentPoint32(dc, text, static_cast<int>(std::strlen(text)), &size);
    plat::SelectObject(dc, old);
    plat::DeleteDC(dc);
    return size;
}

void SetupPopupFromMenu(int menuId, plat::HMENU* menuOut, int* indexOut, int controlId,
                        const int32_t* values, int32_t current, int count) {
    plat::HMENU menu = GetPopupMenu(menuId);
    if (menuOut)
        *menuOut = menu;
    if (indexOut)
        *indexOut = -1;
    plat::HWND dialog = currentDialog();
    plat::HWND combo = dialog ? plat::GetDlgItem(dialog, controlId) : nullptr;
    if (!combo)
        return;
    rememberPopup(dialog, controlId, values, count);
    // Kept before the entries are added: each addition is measured from the menu.
    plat::SetWindowLongPtr(combo, plat::GWLP_USERDATA, reinterpret_cast<plat::LONG_PTR>(menu));
    if (!menu || !values)
        return;
    const int items = std::min(count, plat::GetMenuItemCount(menu));
    int index = -1;
    int separatorsBefore = 0;
    int widest = 0;
    for (int i = 0; i < items; ++i) {
        if (values[i] == kPopupSeparator) {
            if (index == -1)
                ++separatorsBefore;
            continue;
        }
        if (values[i] == current && index == -1)
            index = i;
        menuText(menu, i);
        plat::SendMessage(combo, plat::CB_ADDSTRING, 0, static_cast<plat::LPARAM>(i));
        menuText(menu, i); // measuring the entry reused the buffer
        widest = std::max(widest, static_cast<int>(MeasurePopupText(ItemTextBuffer()).cx));
    }
    if (indexOut)
        *indexOut = index;
    plat::SendMessage(combo, plat::CB_SETCURSEL,
                      static_cast<plat::WPARAM>(index >= 0 ? index - separatorsBefore : -1), 0);
    plat::RECT r{};
    plat::GetWindowRect(combo, &r);
    plat::POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    plat::MapWindowPoints(nullptr, dialog, corners, 2);
    plat::RECT client{};
    plat::GetClientRect(dialog, &client);
    const int left = corners[0].x;
    const int right = std::min(left + widest + 25, static_cast<int>(client.right) - 10);
    plat::SetWindowPos(combo, nullptr, left, corners[0].y, std::max(right - left, 0),
                       corners[1].y - corners[0].y, plat::SWP_NOZORDER | plat::SWP_NOACTIVATE);
    plat::MENUITEMINFO info;
    info.fMask = plat::MIIM_DATA;
    info.dwItemData = static_cast<plat::DWORD_PTR>(controlId);
    plat::SetMenuItemInfo(menu, 0, plat::TRUE, &info);
}

void MeasurePopupComboItem(plat::HWND dialog, plat::MEASUREITEMSTRUCT& measure) {
    plat::HWND combo = plat::GetDlgItem(dialog, static_cast<int>(measure.CtlID));
    const EntryLook look = lookOf(combo, measure.itemID, measure.itemData, true);
    const plat::SIZE size = MeasurePopupText(look.text);
    measure.itemWidth = static_cast<plat::UINT>(size.cx + 10);
    measure.itemHeight =
        static_cast<plat::UINT>(size.cy + 2 + (look.lineAbove ? 2 : 0) + (look.lineBelow ? 2 : 0));
}

void DrawPopupComboItem(const plat::DRAWITEMSTRUCT& draw) {
    EntryLook look = lookOf(draw.hwndItem, draw.itemID, draw.itemData, false);
    int back = plat::COLOR_WINDOW;
    int text = plat::COLOR_WINDOWTEXT;
    if (draw.itemAction != plat::ODA_DRAWENTIRE && (draw.itemState & plat::ODS_SELECTED)) {
        back = plat::COLOR_HIGHLIGHT;
        text = plat::COLOR_HIGHLIGHTTEXT;
    }
    if (draw.itemState & plat::ODS_DISABLED)
        text = plat::COLOR_GRAYTEXT;
    if (draw.itemState & plat::ODS_COMBOBOXEDIT)
        look.lineAbove = look.lineBelow = false;
    plat::HDC dc = draw.hDC;
    const plat::COLORREF oldBack = plat::SetBkColor(dc, plat::GetSysColor(back));
    const plat::COLORREF oldText = plat::SetTextColor(dc, plat::GetSysColor(text));
    plat::RECT fill = draw.rcItem;
    if (look.lineAbove)
        fill.top += 2;
    if (look.lineBelow)
        fill.bottom -= 2;
    plat::HBRUSH brush = plat::CreateSolidBrush(plat::GetSysColor(back));
    plat::FillRect(dc, &fill, brush);
    plat::DeleteObject(brush);
    auto line = [&](int color, int y) {
        plat::HPEN pen = plat::CreatePen(plat::PS_SOLID, 1, plat::GetSysColor(color));
        plat::HGDIOBJ old = plat::SelectObject(dc, pen);
        plat::MoveToEx(dc, draw.rcItem.left, y, nullptr);
        plat::LineTo(dc, draw.rcItem.right - 1, y);
        plat::SelectObject(dc, old);
        plat::DeleteObject(pen);
    };
    if (look.lineAbove)
        line(plat::COLOR_BTNFACE, draw.rcItem.top);
    if (look.lineBelow)
        line(plat::COLOR_BTNSHADOW, draw.rcItem.bottom - 1);
    if (*look.text)
        plat::TextOut(dc, draw.rcItem.left + 3, draw.rcItem.top + 1 + (look.lineAbove ? 2 : 0),
                      look.text, static_cast<int>(std::strlen(look.text)));
    plat::SetBkColor(dc, oldBack);
    plat::SetTextColor(dc, oldText);
}

int32_t ReadPopupValue(int controlId, plat::HMENU menu, const int32_t* values, int count,
                       int32_t previous) {
    if (!values || !menu)
        return previous;
    const int position = MenuPositionFromChoice(controlId, menu);
    if (position < 0 || position >= count || values[position] == kPopupSeparator)
        return previous;
    return values[position];
}

int PopupComboId(int menuId) {
    plat::HMENU menu = GetPopupMenu(menuId);
    if (!menu)
        return menuId;
    plat::MENUITEMINFO info;
    info.fMask = plat::MIIM_DATA;
    if (!plat::GetMenuItemInfo(menu, 0, plat::TRUE, &info) || info.dwItemData == 0)
        return menuId;
    return static_cast<int>(info.dwItemData);
}

int GetPopupComboSelection(int menuId) {
    plat::HWND dialog = currentDialog();
    if (!dialog)
        return -1;
    return static_cast<int>(
        plat::SendDlgItemMessage(dialog, PopupComboId(menuId), plat::CB_GETCURSEL, 0, 0));
}

void EnablePopupCombo(int menuId, bool enable) {
    EnableItem(PopupComboId(menuId), enable);
}

void SelectPopupComboDefault(int controlId, int32_t value) {
    plat::HWND dialog = currentDialog();
    if (!dialog || dialog != s_popupTableDialog || s_popupTable.empty())
        return;
    const RememberedPopup& first = s_popupTable.front();
    if (first.controlId != controlId || first.firstValue != value)
        return;
    plat::SendDlgItemMessage(dialog, controlId, plat::CB_SETCURSEL, 0, 0);
}
