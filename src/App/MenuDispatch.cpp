#include "App/MenuDispatch.h"

#include "App/AppHooks.h"
#include "Dialogs/HelpTours.h"
#include "OverPc/PERROR.h"
#include "OverPc/PUTIL.h"
#include "OverPc/shell/CQVApp.h"
#include "OverSrcs/commands/kCommandScope.h"
#include "OverSrcs/commands/kEdit.h"
#include "plat/Resources.h"
#include "plat/Window.h"

#include <algorithm>
#include <map>

namespace {

// The notice of a command whose subsystem is not in this build.
constexpr int kNotInstalledNotice = errNotInstalled;

void NewDocumentCommand() {
    if (!AppHooks().openDocumentWindow) {
        NoteAlert(kNotInstalledNotice);
        return;
    }
    AppHooks().openDocumentWindow(nullptr, 'e');
}

// A command whose handler returns a result the menu does not look at.
template <int32_t (*Run)()> void ignoringResult() {
    Run();
}

void ShowAboutBoxCommand() {
    if (!AppHooks().showAboutBox) {
        NoteAlert(kNotInstalledNotice);
        return;
    }
    AppHooks().showAboutBox();
}

struct MenuRow {
    int id;
    MenuHandler handler; // null: served by a subsystem once it installs its handler
};

// Every bar item without a command code. Items with a code (Undo, Modify Font, Change Smart, the
// Select submenu) are run by their code and need no row.
constexpr MenuRow kMenuTable[] = {
    // Fichier
    {257, &NewDocumentCommand},
    {258, nullptr},
    {259, nullptr},
    {261, nullptr},
    {263, nullptr},
    {264, nullptr},
    {265, nullptr},
    {266, nullptr},
    {267, nullptr},
    {269, &QuitCommand},
    // Édition and its submenus
    {515, nullptr},
    {516, nullptr},
    {517, nullptr},
    {518, nullptr},
    {525, nullptr},
    {527, nullptr},
    {528, nullptr},
    {530, nullptr},
    {531, nullptr},
    {769, nullptr},
    {771, nullptr},
    {772, nullptr},
    {773, nullptr},
    {774, nullptr},
    {775, nullptr},
    {776, nullptr},
    {778, nullptr},
    {779, nullptr},
    {780, nullptr},
    {781, nullptr},
    {783, nullptr},
    {784, nullptr},
    {1025, nullptr},
    {1026, nullptr},
    {1027, nullptr},
    {1028, nullptr},
    {1030, nullptr},
    {1031, nullptr},
    {1032, nullptr},
    {1033, nullptr},
    {1035, nullptr},
    {1036, nullptr},
    {1037, nullptr},
    {1281, nullptr},
    {1282, nullptr},
    {1537, &ignoringResult<&ShowTranslatorHelpTour>},
    {1539, nullptr},
    // Insertion
    {2049, nullptr},
    {2051, nullptr},
    {2052, nullptr},
    // Modifier
    {5378, nullptr},
    {5380, nullptr},
    {5381, nullptr},
    {5382, nullptr},
    {5383, nullptr},
    {5384, nullptr},
    {5385, nullptr},
    {5386, nullptr},
    {5387, nullptr},
    {5388, nullptr},
    {5391, nullptr},
    // Options
    {6657, nullptr},
    {6658, nullptr},
    {6659, nullptr},
    {6662, nullptr},
    // Préférences and its submenus
    {6913, nullptr},
    {6914, nullptr},
    {6916, nullptr},
    {6917, nullptr},
    {7169, nullptr},
    {7170, nullptr},
    {7171, nullptr},
    {7173, nullptr},
    {7174, nullptr},
    {7425, nullptr},
    {7426, nullptr},
    {7427, nullptr},
    {7428, nullptr},
    {7429, nullptr},
    {7430, nullptr},
    {7431, nullptr},
    {7433, nullptr},
    {7434, nullptr},
    {7435, nullptr},
    {7681, nullptr},
    {7682, nullptr},
    {7683, nullptr},
    {7684, nullptr},
    {7685, nullptr},
    {7686, nullptr},
    {7687, nullptr},
    {7688, nullptr},
    {7689, nullptr},
    {7690, nullptr},
    {7691, nullptr},
    {7692, nullptr},
    {7693, nullptr},
    {7937, nullptr},
    {7938, nullptr},
    {8193, nullptr},
    {8194, nullptr},
    // Fenêtres
    {8449, nullptr},
    // Aide
    {8705, &ignoringResult<&HelpPodcastsNotImplemented>},
    {8707, &ignoringResult<&ShowWordHelpTour>},
    {8708, &ignoringResult<&ShowPostScriptHelpTour>},
    {8710, &ignoringResult<&ShowCustomizePaletteHelpTour>},
    {8711, &ignoringResult<&ShowKeystrokesHelpTour>},
    {8712, &ignoringResult<&ShowTranslatorHelp>},
    {8714, &SendAboutCommand},
    // Sent by the About item.
    {kAboutCommandId, &ShowAboutBoxCommand},
};

// The rows no subsystem serves yet: the feature that will serve each. Delete a row's line when
// its handler is installed.
const std::vector<UnservedMenuRow> kUnservedMenuRows = {};

const MenuRow* findRow(int id) {
    for (const MenuRow& row : kMenuTable) {
        if (row.id == id)
            return &row;
    }
    return nullptr;
}

// Handlers installed by the subsystems, by id.
std::map<int, MenuHandler>& installedHandlers() {
    static std::map<int, MenuHandler> s_handlers;
    return s_handlers;
}

std::map<int, int>& commandCodes() {
    static std::map<int, int> s_codes;
    return s_codes;
}

MenuHandler handlerOf(int id) {
    auto it = installedHandlers().find(id);
    if (it != installedHandlers().end() && it->second)
        return it->second;
    const MenuRow* row = findRow(id);
    return row ? row->handler : nullptr;
}

void readCodes(plat::HINSTANCE module, int menuId) {
    const plat::ResMenu* menu =
        plat::FindMenuTemplate(module, plat::MAKEINTRESOURCE(static_cast<plat::WORD>(menuId)));
    if (!menu)
        return;
    for (plat::UINT i = 0; i < menu->count; ++i) {
        const plat::ResMenuItem& item = menu->items[i];
        if (item.kind == plat::ResMenuKind::Item && item.code != 0)
            commandCodes()[static_cast<int>(item.id)] = item.code;
    }
}

} // namespace

void LoadMenuCommandCodes() {
    commandCodes().clear();
    const plat::HINSTANCE module = CQVApp::instance().m_hResources;
    for (int id : {kMenuBarResourceId, kSelectionMenuResourceId, kPlainMenuResourceId})
        readCodes(module, id);
}

int MenuCommandCode(int id) {
    auto it = commandCodes().find(id);
    return it == commandCodes().end() ? 0 : it->second;
}

bool SetMenuHandler(int id, MenuHandler handler) {
    if (!findRow(id))
        return false;
    installedHandlers()[id] = handler;
    return true;
}

void ForgetMenuHandlers() {
    installedHandlers().clear();
}

std::vector<int> MenuTableIds() {
    std::vector<int> ids;
    for (const MenuRow& row : kMenuTable)
        ids.push_back(row.id);
    return ids;
}

std::vector<UnservedMenuRow> UnservedMenuRows() {
    return kUnservedMenuRows;
}

bool MenuCommandIsMissing(int id) {
    if (MenuCommandCode(id) != 0)
        return AppHooks().doCommand == nullptr;
    if (!findRow(id))
        return false;
    return handlerOf(id) == nullptr;
}

int DoMenuCommand(int id) {
    // A menu item read from the loop of a dialog that a running command opened waits its turn:
    // refused with the beep.
    const CommandScope scope;
    if (scope.refused())
        return 1;
    // Any menu command ends a run of typing: the keys typed after it are an undo step of their own.
    EndEditRun();
    if (AppHooks().runAdHocMenuItem) {
        const bool adHoc = GuardedCall([&] { return AppHooks().runAdHocMenuItem(id); },
                                       [](std::int16_t code) {
                                           ErrorAlert(code);
                                           return true;
                                       });
        if (adHoc)
            return 1;
    }
    const int code = MenuCommandCode(id);
    const MenuHandler handler = code != 0 ? nullptr : handlerOf(id);
    if (code == 0 && !findRow(id)) {
        KV_ASSERT_FAILED("DoMenuCommand");
        return 0;
    }
    RunUserAction(
        [&] {
            if (code != 0 && AppHooks().doCommand)
                AppHooks().doCommand(code, 0);
            else if (handler)
                handler();
            else
                NoteAlert(kNotInstalledNotice);
        },
        [](std::int16_t failure) { ErrorAlert(failure); });
    return 1;
}

void RunMenuCommand(int id) {
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    if (frame && plat::IsWindow(frame))
        plat::SendMessage(frame, plat::WM_COMMAND, static_cast<plat::WPARAM>(id & 0xFFFF), 0);
    else
        DoMenuCommand(id);
}

void SendAboutCommand() {
    RunMenuCommand(kAboutCommandId);
}
