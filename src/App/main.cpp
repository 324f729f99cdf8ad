// Entry of the editor: the subsystems built so far install their hooks, then the application runs.

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverSrcs/commands/kEdit.h"

int main(int argc, char** argv) {
    InstallCommandModelHooks();
    AppHooks().doCommand = &DoCommand;
    InstallDocumentWindowHooks();
    return AppMain(argc, argv);
}
