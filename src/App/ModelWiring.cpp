#include "App/ModelWiring.h"

#include "App/AppHooks.h"
#include "ExprSrcs/EPane.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PFONTS.h"
#include "OverPc/shell/PMENU.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eWord.h"

#include <string>

namespace {

// The pane asks for the modifier keys of the event it is handling; the shell keeps them in its
// globals, refreshed from the keyboard state of the current message.
void paneInputState(bool& shift, bool& ctrl, bool& altShift, bool& doubleClick) {
    SnapshotModifierKeys();
    shift = (ModifierFlags & kModShift) != 0;
    ctrl = (ModifierFlags & kModCtrl) != 0;
    altShift = (ModifierFlags & kModAltShift) != 0;
    doubleClick = DoubleClickFlag != 0;
}

void paneEnableMenuCommand(int32_t command, bool on) {
    EnableMenuCommand(command, on);
}

void loadCustomisation() {
    LoadEditingCustomisation();
}

} // namespace

void InstallModelWiring() {
    ModelHooks& model = TheModelHooks();
    model.fontIndexForDesc = &FontIndexForFace;
    model.charClassOf = &CharClassOf;

    InstallCommandModelHooks();
    AppHooks().doCommand = &DoCommand;
    InstallDocumentWindowHooks();
    TheExprPaneShellHooks().inputState = &paneInputState;
    TheExprPaneShellHooks().enableMenuCommand = &paneEnableMenuCommand;
    AppHooks().runAdHocMenuItem = &RunAdHocMenuItem;
    if (AppHooks().loadCustomisation == nullptr)
        AppHooks().loadCustomisation = &loadCustomisation;
}

void LoadEditingCustomisation() {
    const std::string folder = PrefsFolderPath();
    // A missing function list has already been reported by the reader; words then simply have no
    // function names.
    ReadFunctionNames(folder);
    LoadFunctionNames();

    const std::string keys = folder + "/" + kKeysPrefsFile;
    const int code = CatchFail([&] {
        const KeyMapReadResult result = LoadKeyMapFile(keys);
        if (!result.problems.empty()) {
            const std::string text = keys + "\n\n" + result.report();
            AppMessageBox(text.c_str(), nullptr, 0x2040); // task-modal information box
        }
    });
    // No key file (a fresh preferences folder) is normal: the built-in map stays in force.
    if (code != 0 && code != errFileNotFound)
        ErrorAlert(code);
}
