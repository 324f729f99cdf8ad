// The menu model: menus are data objects in a checked handle table; windows only point at them.

#include "core/menu/MenuInternal.h"
#include "core/win/HandleTable.h"
#include "core/win/WinInternal.h"
#include "plat/Resources.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace plat::core {

namespace {

HandleTable<Menu>& menus() {
    static HandleTable<Menu> t;
    return t;
}

// System menus by window; each is an ordinary menu with one SC_CLOSE item.
std::map<HWND, HMENU>& systemMenus() {
    static std::map<HWND, HMENU> m;
    return m;
}

HMENU newMenu(bool popup) {
    auto m = std::make_unique<Menu>();
    m->popup = popup;
    const std::uint32_t id = menus().add(std::move(m));
    return id ? HandleFromId<HMENU>(id) : nullptr;
}

void destroyTree(HMENU h) {
    std::unique_ptr<Menu> m = menus().remove(IdFromHandle(h));
    if (!m)
        return;
    if (Window* w = FindWindow(m->window)) {
        if (w->menu == h)
            SetMenu(w->hwnd, nullptr);
    }
    for (MenuItem& it : m->items) {
        if (it.sub)
            destroyTree(it.sub);
    }
}

bool locateIn(Menu* m, UINT id, Menu*& owner, std::size_t& position, int depth) {
    // A menu cannot contain itself through the API, but a damaged tree must not recurse forever.
    if (depth > 32)
        return false;
    for (std::size_t i = 0; i < m->items.size(); ++i) {
        const MenuItem& it = m->items[i];
        if (!it.sub && !it.separator && it.id == id) {
            owner = m;
            position = i;
            return true;
        }
    }
    for (MenuItem& it : m->items) {
        if (Menu* s = FindMenu(it.sub); s && locateIn(s, id, owner, position, depth + 1))
            return true;
    }
    return false;
}

UINT stateBits(const MenuItem& it) {
    UINT s = it.state & (MF_GRAYED | MF_DISABLED | MF_CHECKED);
    if (it.separator)
        s |= MF_SEPARATOR;
    if (it.sub)
        s |= MF_POPUP;
    return s;
}

bool fillItem(MenuItem& it, UINT flags, UINT_PTR idOrPopup, const char* text, const char* caller) {
    if (flags & MF_POPUP) {
        const HMENU sub = reinterpret_cast<HMENU>(idOrPopup);
        if (!FindMenu(sub, caller))
            return false;
        it.sub = sub;
        it.id = 0;
    } else {
        it.sub = nullptr;
        it.id = static_cast<UINT>(idOrPopup);
    }
    it.separator = (flags & MF_SEPARATOR) != 0;
    it.text = it.separator || !text ? "" : text;
    it.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED);
    return true;
}

void redrawBarOf(const Menu* m) {
    if (m && m->window)
        DrawMenuBar(m->window);
}

} // namespace

Menu* FindMenu(HMENU menu, const char* caller) {
    if (!menu)
        return nullptr;
    Menu* m = menus().find(IdFromHandle(menu));
    if (!m && caller) {
        char line[128];
        std::snprintf(line, sizeof line, "%s: invalid menu handle 0x%08x", caller,
                      IdFromHandle(menu));
        Diagnostic(line);
    }
    return m;
}

bool LocateItem(HMENU menu, UINT item, UINT flags, Menu*& owner, std::size_t& position) {
    Menu* m = FindMenu(menu);
    if (!m)
        return false;
    if (flags & MF_BYPOSITION) {
        if (item >= m->items.size())
            return false;
        owner = m;
        position = item;
        return true;
    }
    return locateIn(m, item, owner, position, 0);
}

BYTE FoldCase(BYTE c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<BYTE>(c + 32);
    // Latin capitals of cp1252: 0xC0-0xDE except the multiplication sign.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<BYTE>(c + 32);
    if (c == 0x8A || c == 0x8C || c == 0x8E)
        return static_cast<BYTE>(c + 16);
    return c;
}

std::string ShownText(const std::string& text, std::string* shortcut, int* mnemonicAt) {
    std::string out;
    int mnemonic = -1;
    std::size_t end = text.find('\t');
    if (shortcut)
        *shortcut = end == std::string::npos ? "" : text.substr(end + 1);
    if (end == std::string::npos)
        end = text.size();
    for (std::size_t i = 0; i < end; ++i) {
        char c = text[i];
        if (c == '&') {
            if (i + 1 < end && text[i + 1] == '&') {
                out += '&';
                ++i;
                continue;
            }
            if (i + 1 < end && mnemonic < 0)
                mnemonic = static_cast<int>(out.size());
            continue;
        }
        if (c == '\n' || c == '\r')
            c = ' ';
        out += c;
    }
    if (mnemonicAt)
        *mnemonicAt = mnemonic;
    return out;
}

BYTE MnemonicOf(const std::string& text) {
    int at = -1;
    const std::string shown = ShownText(text, nullptr, &at);
    if (at < 0 || at >= static_cast<int>(shown.size()))
        return 0;
    return FoldCase(static_cast<BYTE>(shown[static_cast<std::size_t>(at)]));
}

bool SystemCloseEnabled(HWND hwnd) {
    auto it = systemMenus().find(hwnd);
    if (it == systemMenus().end())
        return true;
    const UINT s = GetMenuState(it->second, static_cast<UINT>(SC_CLOSE), MF_BYCOMMAND);
    return s == static_cast<UINT>(-1) || !(s & (MF_GRAYED | MF_DISABLED));
}

void ResetMenus() {
    menus().clear();
    systemMenus().clear();
    ClearMenuScripts();
    ResetStatusBars();
}

} // namespace plat::core

namespace plat {

using namespace plat::core;

HMENU CreateMenu() {
    return newMenu(false);
}

HMENU CreatePopupMenu() {
    return newMenu(true);
}

BOOL IsMenu(HMENU menu) {
    return FindMenu(menu) ? TRUE : FALSE;
}

BOOL DestroyMenu(HMENU menu) {
    if (!FindMenu(menu, "DestroyMenu"))
        return FALSE;
    for (auto it = systemMenus().begin(); it != systemMenus().end(); ++it) {
        if (it->second == menu) {
            systemMenus().erase(it);
            break;
        }
    }
    destroyTree(menu);
    return TRUE;
}

HMENU LoadMenu(HINSTANCE module, const char* name) {
    const ResMenu* t = FindMenuTemplate(module, name);
    if (!t) {
        Diagnostic("LoadMenu: no such menu");
        return nullptr;
    }
    const HMENU root = CreateMenu();
    std::vector<HMENU> stack{root};
    for (UINT i = 0; i < t->count; ++i) {
        const ResMenuItem& e = t->items[i];
        const HMENU into = stack.back();
        switch (e.kind) {
        case ResMenuKind::Item: {
            UINT flags = MF_STRING;
            if (e.flags & RES_MENU_GRAYED)
                flags |= MF_GRAYED;
            if (e.flags & RES_MENU_CHECKED)
                flags |= MF_CHECKED;
            AppendMenu(into, flags, e.id, e.text ? e.text : "");
            break;
        }
        case ResMenuKind::Separator:
            AppendMenu(into, MF_SEPARATOR, 0, nullptr);
            break;
        case ResMenuKind::PopupBegin: {
            const HMENU sub = CreatePopupMenu();
            UINT flags = MF_POPUP;
            if (e.flags & RES_MENU_GRAYED)
                flags |= MF_GRAYED;
            AppendMenu(into, flags, reinterpret_cast<UINT_PTR>(sub), e.text ? e.text : "");
            stack.push_back(sub);
            break;
        }
        case ResMenuKind::PopupEnd:
            // An unbalanced end in a damaged table must not pop the root.
            if (stack.size() > 1)
                stack.pop_back();
            break;
        }
    }
    return root;
}

HMENU GetSubMenu(HMENU menu, int position) {
    Menu* m = FindMenu(menu, "GetSubMenu");
    if (!m || position < 0 || static_cast<std::size_t>(position) >= m->items.size())
        return nullptr;
    return m->items[static_cast<std::size_t>(position)].sub;
}

int GetMenuItemCount(HMENU menu) {
    Menu* m = FindMenu(menu, "GetMenuItemCount");
    return m ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
    Menu* m = FindMenu(menu, "GetMenuItemID");
    if (!m || position < 0 || static_cast<std::size_t>(position) >= m->items.size())
        return static_cast<UINT>(-1);
    const MenuItem& it = m->items[static_cast<std::size_t>(position)];
    return it.sub ? static_cast<UINT>(-1) : it.id;
}

int GetMenuString(HMENU menu, UINT item, char* buffer, int size, UINT flags) {
    Menu* owner = nullptr;
    std::size_t pos = 0;
    if (!FindMenu(menu, "GetMenuString") || !LocateItem(menu, item, flags, owner, pos)) {
        if (buffer && size > 0)
            buffer[0] = '\0';
        return 0;
    }
    const std::string& text = owner->items[pos].text;
    if (!buffer)
        return static_cast<int>(text.size());
    if (size <= 0)
        return 0;
    const int n = std::min<int>(size - 1, static_cast<int>(text.size()));
    std::memcpy(buffer, text.data(), static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n;
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
    Menu* owner = nullptr;
    std::size_t pos = 0;
    if (!LocateItem(menu, item, flags, owner, pos))
        return static_cast<UINT>(-1);
    return stateBits(owner->items[pos]);
}

BOOL GetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, MENUITEMINFO* info) {
    Menu* owner = nullptr;
    std::size_t pos = 0;
    if (!info || !FindMenu(menu, "GetMenuItemInfo") ||
        !LocateItem(menu, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND, owner, pos))
        return FALSE;
    const MenuItem& it = owner->items[pos];
    if (info->fMask & MIIM_STATE)
        info->fState = (it.state & (MF_GRAYED | MF_DISABLED) ? MFS_GRAYED : 0) |
                       (it.state & MF_CHECKED ? MFS_CHECKED : 0);
    if (info->fMask & MIIM_ID)
        info->wID = it.id;
    if (info->fMask & MIIM_SUBMENU)
        info->hSubMenu = it.sub;
    if (info->fMask & MIIM_DATA)
        info->dwItemData = it.data;
    if (info->fMask & MIIM_TYPE) {
        info->fType = it.separator ? MFT_SEPARATOR : MFT_STRING;
        if (!it.separator && info->dwTypeData && info->cch > 0) {
            const std::size_t n = std::min<std::size_t>(info->cch - 1, it.text.size());
            std::memcpy(info->dwTypeData, it.text.data(), n);
            info->dwTypeData[n] = '\0';
        }
        info->cch = it.separator ? 0 : static_cast<UINT>(it.text.size());
    }
    return TRUE;
}

BOOL SetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFO* info) {
    Menu* owner = nullptr;
    std::size_t pos = 0;
    if (!info || !FindMenu(menu, "SetMenuItemInfo") ||
        !LocateItem(menu, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND, owner, pos))
        return FALSE;
    if ((info->fMask & MIIM_SUBMENU) && info->hSubMenu &&
        !FindMenu(info->hSubMenu, "SetMenuItemInfo"))
        return FALSE;
    MenuItem& it = owner->items[pos];
    if (info->fMask & MIIM_STATE)
        it.state = (info->fState & MFS_GRAYED ? MF_GRAYED : 0) |
                   (info->fState & MFS_CHECKED ? MF_CHECKED : 0);
    if (info->fMask & MIIM_ID)
        it.id = info->wID;
    if (info->fMask & MIIM_SUBMENU)
        it.sub = info->hSubMenu;
    if (info->fMask & MIIM_DATA)
        it.data = info->dwItemData;
    if (info->fMask & MIIM_TYPE) {
        it.separator = (info->fType & MFT_SEPARATOR) != 0;
        it.text = it.separator || !info->dwTypeData ? "" : info->dwTypeData;
    }
    redrawBarOf(owner);
    return TRUE;
}

BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR idOrPopup, const char* text) {
    Menu* m = FindMenu(menu, "AppendMenu");
    if (!m)
        return FALSE;
    MenuItem it;
    if (!fillItem(it, flags, idOrPopup, text, "AppendMenu"))
        return FALSE;
    m->items.push_back(std::move(it));
    redrawBarOf(m);
    return TRUE;
}

BOOL InsertMenu(HMENU menu, UINT item, UINT flags, UINT_PTR idOrPopup, const char* text) {
    Menu* m = FindMenu(menu, "InsertMenu");
    if (!m)
        return FALSE;
    Menu* owner = m;
    std::size_t pos = m->items.size(); // an unknown item appends, as documented
    if (LocateItem(menu, item, flags, owner, pos) == false) {
        owner = m;
        pos = m->items.size();
    }
    MenuItem it;
    if (!fillItem(it, flags, idOrPopup, text, "InsertMenu"))
        return FALSE;
    owner->items.insert(owner->items.begin() + static_cast<std::ptrdiff_t>(pos), std::move(it));
    redrawBarOf(owner);
    return TRUE;
}

BOOL ModifyMenu(HMENU menu, UINT item, UINT flags, UINT_PTR idOrPopup, const char* text) {
    Menu* owner = nullptr;
    std::size_t pos = 0;
    if (!FindMenu(menu, "ModifyMenu") || !LocateItem(menu, item, flags, owner, pos))
        return FALSE;
    MenuItem it = owner->items[pos];
    const HMENU oldSub = it.sub;
    it.data = owner->items[pos].data;
    if (!fillItem(it, flags, idOrPopup, text, "ModifyMenu"))
        return FALSE;
    owner->items[pos] = std::move(it);
    // A submenu replaced by something else is destroyed, as its owner held it.
    if (oldSub && owner->items[pos].sub != oldSub)
        destroyTree(oldSub);
    redrawBarOf(owner);
    return TRUE;
}

BOOL SetMenuItemTextInCodePage(HMENU menu, UINT item, UINT flags, BOOL on) {
    Menu* owner = nullptr;
    std::size_t pos = 0;
    if (!FindMenu(menu, "SetMenuItemTextInCodePage") || !LocateItem(menu, item, flags, owner, pos))
        return FALSE;
    owner->items[pos].codePageText = on != FALSE;
    redrawBarOf(owner);
    return TRUE;
}

namespace {
BOOL removeItem(HMENU menu, UINT item, UINT flags, bool destroySub, const char* caller) {
    Menu* owner = nullptr;
    std::size_t pos = 0;
    if (!FindMenu(menu, caller) || !LocateItem(menu, item, flags, owner, pos))
        return FALSE;
    const HMENU sub = owner->items[pos].sub;
    owner->items.erase(owner->items.begin() + static_cast<std::ptrdiff_t>(pos));
    redrawBarOf(owner);
    if (sub && destroySub)
        destroyTree(sub);
    return TRUE;
}
} // namespace

BOOL DeleteMenu(HMENU menu, UINT item, UINT flags) {
    return removeItem(menu, item, flags, true, "DeleteMenu");
}

BOOL RemoveMenu(HMENU menu, UINT item, UINT flags) {
    return removeItem(menu, item, flags, false, "RemoveMenu");
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags) {
    Menu* owner = nullptr;
    std::size_t pos = 0;
    if (!FindMenu(menu, "CheckMenuItem") || !LocateItem(menu, item, flags, owner, pos))
        return static_cast<DWORD>(-1);
    MenuItem& it = owner->items[pos];
    const DWORD before = it.state & MF_CHECKED;
    it.state = (it.state & ~MF_CHECKED) | (flags & MF_CHECKED);
    return before;
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags) {
    Menu* owner = nullptr;
    std::size_t pos = 0;
    if (!FindMenu(menu, "EnableMenuItem") || !LocateItem(menu, item, flags, owner, pos))
        return -1;
    MenuItem& it = owner->items[pos];
    const BOOL before = static_cast<BOOL>(it.state & (MF_GRAYED | MF_DISABLED));
    it.state = (it.state & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
    redrawBarOf(owner);
    return before;
}

HMENU GetSystemMenu(HWND hwnd, BOOL revert) {
    if (!FindWindow(hwnd, "GetSystemMenu"))
        return nullptr;
    auto& sm = systemMenus();
    auto it = sm.find(hwnd);
    if (revert) {
        if (it != sm.end()) {
            destroyTree(it->second);
            sm.erase(it);
        }
        return nullptr;
    }
    if (it != sm.end() && FindMenu(it->second))
        return it->second;
    const HMENU m = CreatePopupMenu();
    AppendMenu(m, MF_STRING, static_cast<UINT_PTR>(SC_CLOSE), "&Fermer\tAlt+F4");
    sm[hwnd] = m;
    return m;
}

HMENU GetMenu(HWND hwnd) {
    Window* w = FindWindow(hwnd, "GetMenu");
    if (!w || w->isChild())
        return nullptr;
    return FindMenu(w->menu) ? w->menu : nullptr;
}

} // namespace plat
