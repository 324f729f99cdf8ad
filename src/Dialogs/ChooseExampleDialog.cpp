#include "Dialogs/ChooseExampleDialog.h"

#include "Dialogs/DialogFrame.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PFONTS.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oListBox.h"
#include "plat/Dialog.h"
#include "plat/Files.h"
#include "plat/Font.h"
#include "plat/Window.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace {

constexpr int32_t kRowHeight = 18;
// "Open Blank Pad" is the dialog's OK button but closes with 2; its command is passed on to the
// frame under this id, which names no control of the template.
constexpr int kOpenBlankCommand = 41066;

struct ExampleLevelState {
    std::vector<std::string> entries;
    std::string remembered;
    oListBox* list = nullptr;
};

std::array<ExampleLevelState, kExampleLevelCount> s_levels;
std::string s_currentExample;

bool validLevel(int32_t level) {
    return level >= 0 && level < kExampleLevelCount;
}

// A file or folder whose name the code page cannot write is listed by its system name (UTF-8)
// after kNameOutsideCodePageMark, a folder's with a '/' after it: it is shown, with '?' for what
// the page lacks, but cannot be opened.
bool isOutside(const std::string& entry) {
    return !entry.empty() && entry.front() == kNameOutsideCodePageMark;
}

bool isOutsideFolder(const std::string& entry) {
    return isOutside(entry) && entry.back() == '/';
}

// The system name of an entry the code page cannot write.
std::string_view outsideName(const std::string& entry) {
    std::string_view name = std::string_view(entry).substr(1);
    if (isOutsideFolder(entry))
        name.remove_suffix(1);
    return name;
}

bool isFolder(const std::string& path) {
    return !isOutside(path) && FileTypeOfPath(path.c_str()) == 'd';
}

// A folder's row, whether or not it can be opened: choosing it never opens a document.
bool isAnyFolder(const std::string& entry) {
    return isFolder(entry) || isOutsideFolder(entry);
}

// The name an entry is remembered by.
std::string entryName(const std::string& entry) {
    return isOutside(entry) ? entry : FileNameOfPath(entry.c_str());
}

// Opening a file or folder the code page cannot name says why (478), and the dialog stays.
void reportOutside(const std::string& entry) {
    SetErrorDetail(plat::ShownNameFromNative(outsideName(entry)).c_str());
    ErrorAlert(errNameOutsideCodePage);
    SetErrorDetail(nullptr);
}

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    const std::string na = FileNameOfPath(a.c_str()), nb = FileNameOfPath(b.c_str());
    return std::lexicographical_compare(na.begin(), na.end(), nb.begin(), nb.end(),
                                        [](char x, char y) {
                                            return std::tolower(static_cast<unsigned char>(x)) <
                                                   std::tolower(static_cast<unsigned char>(y));
                                        });
}

int32_t rememberedIndex(int32_t level) {
    const ExampleLevelState& state = s_levels[static_cast<size_t>(level)];
    if (state.remembered.empty())
        return -1;
    for (size_t i = 0; i < state.entries.size(); ++i)
        if (entryName(state.entries[i]) == state.remembered)
            return static_cast<int32_t>(i);
    return -1;
}

int32_t levelOfList(int id) {
    for (int32_t level = 0; level < kExampleLevelCount; ++level)
        if (kExampleListItems[level] == id)
            return level;
    return -1;
}

ListRowDrawer rowDrawerOf(int32_t level) {
    return [level](oListBox& list, int32_t row, const Zone& zone, uint32_t) {
        const std::string text = ExampleRowText(level, row);
        if (!text.empty())
            list.drawString(text.c_str(), DefaultFontIndex(), zone.left + 4, zone.bottom - 4);
    };
}

// The level's list shows its entries again, with no selection.
void refillList(int32_t level) {
    ExampleLevelState& state = s_levels[static_cast<size_t>(level)];
    if (state.list == nullptr)
        return;
    state.list->setCount(static_cast<int32_t>(state.entries.size()));
    state.list->setSelection(-1);
    state.list->fillItems();
    state.list->redraw();
}

// "Open Example" is on exactly while the deepest chosen entry is a file.
void updateOpenButton() {
    bool file = false;
    for (int32_t level = 0; level < kExampleLevelCount; ++level) {
        const int32_t index = rememberedIndex(level);
        if (index < 0)
            break;
        file =
            !isAnyFolder(s_levels[static_cast<size_t>(level)].entries[static_cast<size_t>(index)]);
    }
    EnableItem(kOpenExampleButton, file);
}

ChooseExampleParams* params() {
    return DialogRecord<ChooseExampleParams>(kChooseExampleDialogId);
}

const DialogFrame& chooseExampleFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kChooseExampleDialogId;
        // The pictures of the three list headings, then the banner across the top.
        f.pictures = {{19248, 230, 82, kBitmapTransparent},
                      {19184, 10, 82, kBitmapTransparent},
                      {19216, 120, 82, kBitmapTransparent},
                      {19152, 0, -2, kBitmapTransparent}};
        f.lists = {kExampleListItems[0], kExampleListItems[1], kExampleListItems[2]};
        f.closingButtons = {{kOpenExampleButton, kExampleOpenChosen},
                            {kOpenBlankCommand, kExampleOpenBlank}};
        // A click on the dialog just inside a list's frame reaches the list as a plain command.
        f.labels = {{{21, 201, 223, 355}, kExampleListItems[0]},
                    {{241, 201, 443, 355}, kExampleListItems[1]},
                    {{461, 201, 663, 355}, kExampleListItems[2]}};
        f.measureList = [](plat::HWND, plat::MEASUREITEMSTRUCT& measure) {
            ChooseExampleParams* p = params();
            const int32_t level = levelOfList(static_cast<int>(measure.CtlID));
            if (p == nullptr || level < 0)
                return;
            ChooseExampleLevel& entry = p->level[level];
            if (entry.list == nullptr)
                entry.list = FillExampleList(kExampleListItems[level], level);
            if (entry.list != nullptr)
                entry.list->measureItem(measure);
        };
        f.init = [](plat::HWND) {
            ChooseExampleParams* p = params();
            if (p == nullptr)
                return;
            for (int32_t level = 0; level < kExampleLevelCount; ++level) {
                ChooseExampleLevel& entry = p->level[level];
                // A list never measured (no owner-draw message came) is made here.
                if (entry.list == nullptr)
                    entry.list = FillExampleList(kExampleListItems[level], level);
                if (entry.list == nullptr)
                    continue;
                const int32_t selection = entry.list->getSelection();
                entry.list->fillItems();
                entry.list->setSelection(selection);
            }
            updateOpenButton();
            SetItemText(kExampleVersionItem, LoadResString(kVersionString));
        };
        f.drawList = [](plat::HWND, const plat::DRAWITEMSTRUCT& draw) {
            ChooseExampleParams* p = params();
            const int32_t level = levelOfList(static_cast<int>(draw.CtlID));
            if (p != nullptr && level >= 0 && p->level[level].list != nullptr)
                p->level[level].list->drawItem(draw);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            ChooseExampleParams* p = params();
            const int32_t level = levelOfList(id);
            if (p == nullptr || level < 0 || p->level[level].list == nullptr)
                return;
            if (!p->level[level].list->handleNotify() || DialogCallbackBusy != 0)
                return;
            DialogCallbackBusy = 1;
            SelectExampleEntry(id, level);
            DialogCallbackBusy = 0;
        };
        f.writeBack = [](plat::HWND) {
            ChooseExampleParams* p = params();
            if (p == nullptr)
                return;
            for (ChooseExampleLevel& entry : p->level)
                entry.selection = entry.list != nullptr ? entry.list->getSelection() : -1;
        };
        f.destroy = [](plat::HWND) {
            ChooseExampleParams* p = params();
            for (int32_t level = 0; level < kExampleLevelCount; ++level) {
                // The shared state and the record both point at the list: neither may keep it.
                s_levels[static_cast<size_t>(level)].list = nullptr;
                if (p != nullptr) {
                    delete p->level[level].list;
                    p->level[level].list = nullptr;
                }
            }
        };
        return f;
    }();
    return frame;
}

} // namespace

oListBox* FillExampleList(int32_t listId, int32_t level) {
    if (!validLevel(level))
        return nullptr;
    ExampleLevelState& state = s_levels[static_cast<size_t>(level)];
    const int32_t selection = rememberedIndex(level);
    oListBox* list = CreateListBoxForItem(listId, static_cast<int32_t>(state.entries.size()),
                                          selection, kRowHeight, rowDrawerOf(level));
    state.list = list;
    if (selection >= 0)
        EnableItem(kOpenExampleButton, !isAnyFolder(state.entries[static_cast<size_t>(selection)]));
    else if (!state.remembered.empty())
        EnableItem(kOpenExampleButton, false);
    return list;
}

void SelectExampleEntry(int32_t, int32_t level) {
    if (!validLevel(level))
        return;
    for (int32_t deeper = level + 1; deeper < kExampleLevelCount; ++deeper) {
        ExampleLevelState& state = s_levels[static_cast<size_t>(deeper)];
        state.entries.clear();
        state.remembered.clear();
        refillList(deeper);
    }
    ExampleLevelState& state = s_levels[static_cast<size_t>(level)];
    const int32_t index = state.list != nullptr ? state.list->getSelection() : -1;
    if (index < 0 || static_cast<size_t>(index) >= state.entries.size()) {
        EnableItem(kOpenExampleButton, false);
        return;
    }
    const std::string& chosen = state.entries[static_cast<size_t>(index)];
    s_currentExample = chosen;
    state.remembered = entryName(chosen);
    if (isOutsideFolder(chosen)) {
        // Choosing a folder opens it; this one cannot be, and a click says why (the double
        // click that may follow says nothing more).
        EnableItem(kOpenExampleButton, false);
        if (DoubleClickFlag == 0)
            reportOutside(chosen);
        return;
    }
    if (isFolder(chosen)) {
        EnableItem(kOpenExampleButton, false);
        if (level + 1 < kExampleLevelCount) {
            ListExampleFolder(level + 1, chosen);
            refillList(level + 1);
        }
        return;
    }
    EnableItem(kOpenExampleButton, true);
    if (DoubleClickFlag == 0)
        return;
    if (isOutside(chosen))
        reportOutside(chosen);
    else
        DialogResult = kExampleOpenChosen;
}

void ListExampleFolder(int32_t level, const std::string& folder) {
    if (!validLevel(level))
        return;
    std::vector<std::string>& entries = s_levels[static_cast<size_t>(level)].entries;
    std::vector<std::string> outside;
    ScanFolderForTypes(entries, folder.c_str(), '*', &outside);
    std::stable_sort(entries.begin(), entries.end(), &lessIgnoringCase);
    // Names the code page cannot write come last, as in the file dialog.
    for (const std::string& name : plat::FolderNamesOutsideCodePage(folder.c_str()))
        outside.push_back(name + '/');
    std::sort(outside.begin(), outside.end());
    for (const std::string& name : outside)
        entries.push_back(kNameOutsideCodePageMark + name);
}

std::string ExampleRowText(int32_t level, int32_t row) {
    if (!validLevel(level))
        return std::string();
    const std::vector<std::string>& entries = s_levels[static_cast<size_t>(level)].entries;
    if (row < 0 || static_cast<size_t>(row) >= entries.size())
        return std::string();
    const std::string& path = entries[static_cast<size_t>(row)];
    std::string text = ExampleDisplayName(
        isOutside(path) ? plat::AnsiTextFromUtf8(outsideName(path)) : FileNameOfPath(path.c_str()));
    // A folder leads somewhere: its row ends with a pointer to the next list.
    if (isAnyFolder(path))
        text += " \xBB";
    return text;
}

const std::vector<std::string>& ExampleEntries(int32_t level) {
    static const std::vector<std::string> none;
    return validLevel(level) ? s_levels[static_cast<size_t>(level)].entries : none;
}

const std::string& RememberedExampleName(int32_t level) {
    static const std::string none;
    return validLevel(level) ? s_levels[static_cast<size_t>(level)].remembered : none;
}

const std::string& CurrentExamplePath() {
    return s_currentExample;
}

std::string ExampleDisplayName(const std::string& fileName) {
    std::string name = fileName;
    size_t digits = 0;
    while (digits < name.size() && std::isdigit(static_cast<unsigned char>(name[digits])))
        ++digits;
    if (digits > 0 && digits < name.size() &&
        std::string_view("_-. ").find(name[digits]) != std::string_view::npos)
        name.erase(0, digits + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && FileTypeFromExtension(name.c_str() + dot) != '?')
        name.erase(dot);
    // Only a whole '_': the second byte of a double-byte character may have its value.
    for (size_t i = 0; i < name.size(); ++i) {
        if (plat::IsDBCSLeadByte(static_cast<plat::BYTE>(name[i])) && i + 1 < name.size())
            ++i;
        else if (name[i] == '_')
            name[i] = ' ';
    }
    return name;
}

void ResetExamplesLibrary() {
    for (ExampleLevelState& state : s_levels)
        state = ExampleLevelState{};
    s_currentExample.clear();
}

std::string FindExamplesFolder() {
    for (int slot : {kDataFolderSlot, kProgramFolderSlot, kWindowsFolderSlot, kCurrentFolderSlot}) {
        const std::string& base = PathSlotText(slot);
        if (base.empty())
            continue;
        const std::string folder = base + kPrefsFolderName + "/Examples/";
        if (FileTypeOfPath(folder.substr(0, folder.size() - 1).c_str()) == 'd')
            return folder;
    }
    return std::string();
}

int32_t BrowseExamples(const std::string& examplesFolder) {
    ListExampleFolder(0, examplesFolder);
    // The remembered choices lead down the levels; the walk ends at a file, at an empty name or at
    // a name no longer in its folder.
    s_currentExample.clear();
    int32_t deepestListed = 0;
    for (int32_t level = 0; level < kExampleLevelCount; ++level) {
        const int32_t index = rememberedIndex(level);
        if (index < 0)
            break;
        const std::string& entry =
            s_levels[static_cast<size_t>(level)].entries[static_cast<size_t>(index)];
        s_currentExample = entry;
        if (!isFolder(entry) || level + 1 >= kExampleLevelCount)
            break;
        ListExampleFolder(level + 1, entry);
        deepestListed = level + 1;
    }
    for (int32_t deeper = deepestListed + 1; deeper < kExampleLevelCount; ++deeper)
        s_levels[static_cast<size_t>(deeper)].entries.clear();
    ChooseExampleParams record;
    const int32_t result = ResultAsCancel(RunChooseExampleDlg(&record));
    if (result == 0)
        for (ExampleLevelState& state : s_levels)
            state.entries.clear();
    return result;
}

void OpenExampleFrom(const std::string& examplesFolder) {
    const int32_t result = BrowseExamples(examplesFolder);
    if (result == 0)
        return;
    if (result == kExampleOpenBlank) {
        OpenDocumentWindow(nullptr, 'e');
        return;
    }
    const std::string path = CurrentExamplePath();
    if (isOutside(path)) {
        reportOutside(path);
        return;
    }
    OpenDocumentWindow(path.c_str(), FileTypeOfPath(path.c_str()));
}

void ShowExamplesCommand() {
    const std::string folder = FindExamplesFolder();
    if (folder.empty()) {
        OpenDocumentWindow(nullptr, 'e');
        return;
    }
    OpenExampleFrom(folder);
}

int32_t RunChooseExampleDlg(ChooseExampleParams* record) {
    return LaunchDialog(kChooseExampleDialogId, &ChooseExampleDlgProc,
                        reinterpret_cast<std::uintptr_t>(record));
}

plat::INT_PTR ChooseExampleDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam) {
    if (message == plat::WM_COMMAND && (wParam & 0xFFFF) == plat::IDOK)
        wParam = (wParam & ~static_cast<plat::WPARAM>(0xFFFF)) | kOpenBlankCommand;
    // "Open Example" on a file the code page cannot name says why and leaves the dialog open.
    if (message == plat::WM_COMMAND && (wParam & 0xFFFF) == kOpenExampleButton &&
        isOutside(s_currentExample)) {
        reportOutside(s_currentExample);
        return plat::TRUE;
    }
    const plat::INT_PTR handled =
        HandleDialogFrame(chooseExampleFrame(), dialog, message, wParam, lParam);
    // "Open Example" is the first control and often starts disabled: the keyboard starts on the
    // default button instead, so Enter and Escape work at once (FALSE: the focus is set).
    if (message == plat::WM_INITDIALOG) {
        plat::SetFocus(plat::GetDlgItem(dialog, plat::IDOK));
        return plat::FALSE;
    }
    return handled;
}
