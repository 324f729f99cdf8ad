#pragma once
// Menu commands: every item of the menu bar and of the context menus is a row of one static table
// (the command code comes from the menu resource, the handler from this table or from the
// subsystem that installed it), run inside an error environment.

#include <cstdint>
#include <vector>

using MenuHandler = void (*)();

// The id the About item sends to the frame; the frame then shows the About box.
inline constexpr int kAboutCommandId = 15999;
// The resources of the menu bar and of the two context menus of the expression pane.
inline constexpr int kMenuBarResourceId = 128;
inline constexpr int kSelectionMenuResourceId = 54;
inline constexpr int kPlainMenuResourceId = 55;

// Runs menu command `id`: an ad-hoc item first, else the table row (a command code through the
// command hook, else the handler). A Fail inside is shown with ErrorAlert and the program goes on.
// 1 when the id is known (handled, even when it failed), 0 for an unknown id.
int DoMenuCommand(int id);
// A menu choice made below the application (context menus): the frame runs it as if it came from
// its menu bar.
void RunMenuCommand(int id);

// Installs the handler of a table row (a subsystem does this at start-up for the commands it
// serves). False for an id that has no row.
bool SetMenuHandler(int id, MenuHandler handler);
// Takes back every handler SetMenuHandler installed; the program is stopping.
void ForgetMenuHandlers();
// The command code of a menu item from the menu resources (0 when none).
int MenuCommandCode(int id);
// Reads the command codes of the menu bar and context menus from the resource module.
void LoadMenuCommandCodes();
// Ids of the static table (for checks that menus and table agree).
std::vector<int> MenuTableIds();
// The rows the running program does not serve yet, each with the feature that will serve it (the
// start-up test holds the two lists equal: serving a row means deleting its line).
struct UnservedMenuRow {
    int id;
    const char* feature;
};
std::vector<UnservedMenuRow> UnservedMenuRows();
// True when `id` has a row and neither a handler nor a command hook serves it yet.
bool MenuCommandIsMissing(int id);

// The two handlers the shell itself serves.
void QuitCommand();
void SendAboutCommand();
