#pragma once
// The Examples Library and its browser. Premade documents live in up to three levels of folders
// under "Examples" in the preferences folder; the Choose Example dialog shows one list per level,
// a folder chosen in one list fills the next, and a file chosen anywhere can be opened. The
// choices are remembered between runs, so the dialog reopens where the user left it.

#include "plat/Types.h"

#include <cstdint>
#include <string>
#include <vector>

class oListBox;

inline constexpr int kChooseExampleDialogId = 4257;
inline constexpr int kOpenExampleButton = 41065;
inline constexpr int kExampleSubjectHeading = 41068;
inline constexpr int kExampleFilesHeading = 41069;
inline constexpr int kExampleVersionItem = 41075;
inline constexpr int kExampleDomainHeading = 41076;
// The lists of levels 0, 1 and 2.
inline constexpr int kExampleListItems[3] = {41077, 41078, 41079};
inline constexpr int kExampleLevelCount = 3;
// The program's version line shown in the dialog.
inline constexpr int kVersionString = 138;
// The dialog's results.
inline constexpr int32_t kExampleOpenChosen = 1;
inline constexpr int32_t kExampleOpenBlank = 2;

// The dialog's record: per level the list's selection when the dialog closed (1 or 2) and the
// level's list object while the dialog runs (null once the dialog is gone).
struct ChooseExampleLevel {
    int32_t selection = -1;
    oListBox* list = nullptr;
};
struct ChooseExampleParams {
    ChooseExampleLevel level[kExampleLevelCount];
};

// 1 open the chosen example, 2 open a blank document, 0 cancelled.
int32_t RunChooseExampleDlg(ChooseExampleParams* params);
plat::INT_PTR ChooseExampleDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam);

// ---- The Examples services ----------------------------------------------------------------------

// A new list object for the level's list of the current dialog, stored as the level's list, with
// the level's remembered entry selected (no selection when it has none, or when the remembered
// entry has left its folder).
oListBox* FillExampleList(int32_t listId, int32_t level);
// The reaction to a selection or a double click in the level's list: deeper levels are cleared;
// a folder is listed into the next level (levels 0 and 1) and disables "Open Example"; a file
// enables it, and a double click on it closes the dialog with 1.
void SelectExampleEntry(int32_t listId, int32_t level);

// Lists a folder into a level: its sub-folders and its files of the known document types, sorted
// together by name ignoring case. Deeper levels keep what they had.
void ListExampleFolder(int32_t level, const std::string& folder);
// The level's entries (full paths) and the name of its remembered entry ("" when none).
const std::vector<std::string>& ExampleEntries(int32_t level);
const std::string& RememberedExampleName(int32_t level);
// The entry chosen last (a folder or a file), "" before any choice.
const std::string& CurrentExamplePath();
// The text of a row of a level's list as it is drawn: the display name of the entry, a folder's
// followed by a pointer to the next list; a name the code page cannot write with '?' for what the
// page lacks. Empty past the end.
std::string ExampleRowText(int32_t level, int32_t row);
// A file name as the lists show it: without a leading numbering prefix (digits then "_", "-", "."
// or a blank), without an extension the program knows, underscores as blanks.
std::string ExampleDisplayName(const std::string& fileName);
// Forgets every level and the remembered choices (a fresh start of the program).
void ResetExamplesLibrary();

// The "Examples" folder (ending with a separator) inside the first of the data, program, Windows
// and current folders whose preferences folder has one; "" when none has.
std::string FindExamplesFolder();
// Lists the folder, follows the remembered choices down the levels and runs the dialog; the
// result is the dialog's (the current example path is the entry to open for 1). On 0 the listed
// entries are dropped and the remembered names kept.
int32_t BrowseExamples(const std::string& examplesFolder);
// Browses the library in that folder and opens the chosen example as a document of its file type,
// or a blank document (result 2), or nothing (cancelled).
void OpenExampleFrom(const std::string& examplesFolder);
// Fichier > "Example Library...": browses the library and opens the chosen example as a document
// of its file type, or a blank document; without a library a blank document opens at once.
void ShowExamplesCommand();
