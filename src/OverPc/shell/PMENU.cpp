#include "OverPc/shell/PMENU.h"

#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverSrcs/oWindows.h"
#include "plat/Controls.h"
#include "plat/Dialog.h"
#include "plat/Input.h"
#include "plat/Menu.h"
#include "plat/Resources.h"
#include "plat/Window.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

struct KeptPopup {
    plat::HMENU root = nullptr;
    plat::HMENU popup = nullptr;
};

std::map<int, KeptPopup>& keptPopups() {
    static std::map<int, KeptPopup> s_popups;
    return s_popups;
}

// Commands enabled or greyed so far, applied to popups loaded later.
std::map<int, bool>& commandStates() {
    static std::map<int, bool> s_states;
    return s_states;
}

struct AdHocItem {
    int number = 0;
    int id = 0;
    AdHocCallback callback = nullptr;
    std::intptr_t argument = 0;
};

// The text is a title (a file name): an "&" in it is shown, not taken as a mnemonic.
std::string menuText(const char* text) {
    std::string shown;
    for (const char* c = text; *c; ++c) {
        shown += *c;
        if (*c == '&')
            shown += '&';
    }
    return shown;
}

std::vector<AdHocItem>& adHocItems() {
    static std::vector<AdHocItem> s_items;
    return s_items;
}

// The highest command id found in `menu` and its submenus (0 when none).
int highestId(plat::HMENU menu) {
    int highest = 0;
    const int count = plat::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (plat::HMENU sub = plat::GetSubMenu(menu, i)) {
            highest = std::max(highest, highestId(sub));
            continue;
        }
        const plat::UINT id = plat::GetMenuItemID(menu, i);
        if (id != static_cast<plat::UINT>(-1))
            highest = std::max(highest, static_cast<int>(id));
    }
    return highest;
}

bool isSeparator(plat::HMENU menu, int position) {
    plat::MENUITEMINFO info;
    info.fMask = plat::MIIM_TYPE;
    info.dwTypeData = nullptr;
    info.cch = 0;
    if (!plat::GetMenuItemInfo(menu, static_cast<plat::UINT>(position), plat::TRUE, &info))
        return false;
    return (info.fType & plat::MFT_SEPARATOR) != 0;
}

} // namespace

plat::HMENU GetPopupMenu(int menuId) {
    auto& kept = keptPopups();
    if (auto it = kept.find(menuId); it != kept.end()) {
        if (plat::IsMenu(it->second.popup))
            return it->second.popup;
        kept.erase(it);
    }
    plat::HMENU root = plat::LoadMenu(CQVApp::instance().m_hResources,
                                      plat::MAKEINTRESOURCE(static_cast<plat::WORD>(menuId)));
    if (!root)
        return nullptr;
    plat::HMENU popup = plat::GetSubMenu(root, 0);
    if (!popup) {
        plat::DestroyMenu(root);
        return nullptr;
    }
    for (const auto& [id, on] : commandStates())
        plat::EnableMenuItem(popup, static_cast<plat::UINT>(id),
                             plat::MF_BYCOMMAND | (on ? plat::MF_ENABLED : plat::MF_GRAYED));
    kept[menuId] = KeptPopup{root, popup};
    return popup;
}

void ForgetPopupMenus() {
    for (auto& [id, p] : keptPopups())
        if (plat::IsMenu(p.root))
            plat::DestroyMenu(p.root);
    keptPopups().clear();
}

plat::HMENU MenuOfNumber(int number) {
    plat::HMENU bar = CQVApp::instance().m_MenuBar;
    if (!bar || !plat::IsMenu(bar))
        return nullptr;
    const plat::ResMenu* tmpl =
        plat::FindMenuTemplate(CQVApp::instance().m_hResources,
                               plat::MAKEINTRESOURCE(static_cast<plat::WORD>(kMenuBarMenuId)));
    if (!tmpl)
        return nullptr;
    // Walk the template beside the loaded menu: each submenu entry of the template is the
    // submenu at the same position of the loaded one.
    std::vector<std::pair<plat::HMENU, int>> stack{{bar, 0}};
    for (plat::UINT i = 0; i < tmpl->count && !stack.empty(); ++i) {
        const plat::ResMenuItem& item = tmpl->items[i];
        auto& top = stack.back();
        switch (item.kind) {
        case plat::ResMenuKind::PopupBegin: {
            plat::HMENU sub = top.first ? plat::GetSubMenu(top.first, top.second) : nullptr;
            ++top.second;
            if (static_cast<int>(item.id) == number)
                return sub;
            stack.emplace_back(sub, 0);
            break;
        }
        case plat::ResMenuKind::PopupEnd:
            stack.pop_back();
            break;
        default:
            ++top.second;
            break;
        }
    }
    return nullptr;
}

int MenuPositionFromChoice(int comboId, plat::HMENU menu) {
    if (!CurrentDialog || CurrentDialog == kSystemDialogRunning || !plat::IsWindow(CurrentDialog))
        return -1;
    const plat::LRESULT sel =
        plat::SendDlgItemMessage(CurrentDialog, comboId, plat::CB_GETCURSEL, 0, 0);
    if (sel < 0)
        return -1;
    const int count = plat::GetMenuItemCount(menu);
    int position = static_cast<int>(sel);
    for (int p = 0; p <= position && p < count; ++p)
        if (isSeparator(menu, p))
            ++position;
    return position < count ? position : -1;
}

int AddAdHocMenuItem(int number, int /*ignored*/, const char* text, AdHocCallback callback,
                     std::intptr_t argument) {
    if (!text || !*text)
        return 0;
    plat::HMENU menu = MenuOfNumber(number);
    if (!menu)
        return 0;
    const int base = number * 256;
    // Ids follow positions (separators take one too): past the last position and past every id
    // in use.
    int id = std::max(highestId(menu), base + plat::GetMenuItemCount(menu)) + 1;
    for (const AdHocItem& a : adHocItems())
        if (a.number == number)
            id = std::max(id, a.id + 1);
    if (id > base + 255)
        return 0;
    if (!plat::AppendMenu(menu, plat::MF_STRING, static_cast<plat::UINT_PTR>(id),
                          menuText(text).c_str()))
        return 0;
    adHocItems().push_back(AdHocItem{number, id, callback, argument});
    return id;
}

void RemoveAdHocMenuItem(int number, std::intptr_t argument) {
    auto& items = adHocItems();
    for (auto it = items.begin(); it != items.end(); ++it) {
        if (it->number == number && it->argument == argument) {
            if (plat::HMENU menu = MenuOfNumber(number))
                plat::DeleteMenu(menu, static_cast<plat::UINT>(it->id), plat::MF_BYCOMMAND);
            items.erase(it);
            return;
        }
    }
}

void CheckAdHocMenuItem(int number, AdHocCallback callback, std::intptr_t argument, bool on) {
    for (const AdHocItem& a : adHocItems()) {
        if (a.number == number && a.callback == callback && a.argument == argument) {
            if (plat::HMENU menu = MenuOfNumber(number))
                plat::CheckMenuItem(menu, static_cast<plat::UINT>(a.id),
                                    plat::MF_BYCOMMAND |
                                        (on ? plat::MF_CHECKED : plat::MF_UNCHECKED));
            return;
        }
    }
}

void RenameAdHocMenuItems(std::intptr_t argument, const char* text) {
    if (!text || !*text)
        return;
    for (const AdHocItem& a : adHocItems()) {
        if (a.argument != argument)
            continue;
        plat::HMENU menu = MenuOfNumber(a.number);
        if (!menu)
            continue;
        const plat::UINT state =
            plat::GetMenuState(menu, static_cast<plat::UINT>(a.id), plat::MF_BYCOMMAND);
        const plat::UINT checked = (state & plat::MF_CHECKED) ? plat::MF_CHECKED : 0;
        plat::ModifyMenu(menu, static_cast<plat::UINT>(a.id),
                         plat::MF_BYCOMMAND | plat::MF_STRING | checked,
                         static_cast<plat::UINT_PTR>(a.id), menuText(text).c_str());
    }
}

bool RunAdHocMenuItem(int id) {
    for (const AdHocItem& a : adHocItems()) {
        if (a.id == id) {
            // Copied first: the callback may remove its own item.
            const AdHocItem item = a;
            if (item.callback)
                item.callback(item.argument);
            return true;
        }
    }
    return false;
}

bool HasAdHocMenuItem(int number, std::intptr_t argument) {
    for (const AdHocItem& a : adHocItems())
        if (a.number == number && a.argument == argument)
            return true;
    return false;
}

void ForgetAdHocMenuItems() {
    adHocItems().clear();
}

void EnableMenuCommand(int id, bool enable) {
    commandStates()[id] = enable;
    const plat::UINT flags = plat::MF_BYCOMMAND | (enable ? plat::MF_ENABLED : plat::MF_GRAYED);
    if (plat::HMENU bar = CQVApp::instance().m_MenuBar; bar && plat::IsMenu(bar))
        plat::EnableMenuItem(bar, static_cast<plat::UINT>(id), flags);
    for (auto& [menuId, p] : keptPopups())
        if (plat::IsMenu(p.popup))
            plat::EnableMenuItem(p.popup, static_cast<plat::UINT>(id), flags);
}

int MenuItemCommandCode(int menuId, int id) {
    const plat::ResMenu* tmpl = plat::FindMenuTemplate(
        CQVApp::instance().m_hResources, plat::MAKEINTRESOURCE(static_cast<plat::WORD>(menuId)));
    if (!tmpl)
        return 0;
    for (plat::UINT i = 0; i < tmpl->count; ++i)
        if (tmpl->items[i].kind == plat::ResMenuKind::Item &&
            static_cast<int>(tmpl->items[i].id) == id)
            return tmpl->items[i].code;
    return 0;
}

void SetMenuChoice(PopupChoice& choice, int menuId, int firstItem) {
    choice.menuId = menuId;
    choice.currentItem = firstItem;
    choice.chosenItem = firstItem;
    choice.commandCode = MenuItemCommandCode(menuId, firstItem);
}

int TrackContextMenu(PopupChoice& choice, oPoint point, oWidget* pane, int32_t, int32_t, int32_t) {
    plat::HMENU popup = GetPopupMenu(choice.menuId);
    if (!popup)
        return 0;
    plat::HWND hwnd = pane ? reinterpret_cast<plat::HWND>(pane->windowHandle()) : nullptr;
    plat::POINT p{point.x, point.y};
    if (pane) {
        p.x += pane->originX();
        p.y += pane->originY();
    }
    if (hwnd)
        plat::ClientToScreen(hwnd, &p);
    else
        hwnd = GetModalOwnerWindow(false); // the menu needs a window to belong to
    if (!hwnd)
        return 0;
    plat::BYTE keys[256];
    const bool saved = plat::GetKeyboardState(keys) != plat::FALSE;
    const plat::BOOL id =
        plat::TrackPopupMenu(popup, plat::TPM_RETURNCMD, p.x, p.y, 0, hwnd, nullptr);
    if (saved)
        plat::SetKeyboardState(keys);
    if (id == 0)
        return 0;
    choice.chosenItem = static_cast<int32_t>(id);
    if (id == choice.currentItem)
        return 1;
    choice.commandCode = MenuItemCommandCode(choice.menuId, static_cast<int>(id));
    return 2;
}
