#pragma once

#include "OverPc/PUTIL.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverSrcs/commands/kCommandScope.h"
#include "plat/Types.h"

// While a system dialog (a chooser) runs, CurrentDialog marks it and the program's other windows
// are disabled; both come back however the run ends.
class SystemDialogScope {
public:
    explicit SystemDialogScope(plat::HWND owner)
        : m_owner(owner)
        , m_savedDialog(CurrentDialog) {
        CurrentDialog = kSystemDialogRunning;
        EnableWidgetWindows(m_owner, false);
    }
    ~SystemDialogScope() {
        EnableWidgetWindows(m_owner, true);
        CurrentDialog = m_savedDialog;
        NoteModalClosed();
    }
    SystemDialogScope(const SystemDialogScope&) = delete;
    SystemDialogScope& operator=(const SystemDialogScope&) = delete;

private:
    plat::HWND m_owner;
    plat::HWND m_savedDialog;
    ModalRunScope m_modalRun;
};
