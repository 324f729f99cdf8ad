#include "Dialogs/TranslatorDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/FontStyleDialog.h"
#include "Dialogs/PrefsSaving.h"
#include "ExprSrcs/etBrowse.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PFONTS.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/Translations.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oListBox.h"
#include "OverSrcs/etTranslator.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int32_t kRowHeight = 18;

std::vector<std::string> s_files;

ConversionTableDlgRecord* record() {
    return DialogRecord<ConversionTableDlgRecord>(kConversionTableDialogId);
}

// The row of the translator in use (the chosen one, else the shipped one): the first file of the
// same name.
int32_t currentRow() {
    const std::string current = FileNameOfPath(CopyAsTranslatorPath().c_str());
    if (current.empty())
        return -1;
    for (size_t i = 0; i < s_files.size(); ++i) {
        if (FileNameOfPath(s_files[i].c_str()) == current)
            return static_cast<int32_t>(i);
    }
    return -1;
}

void makeList() {
    ConversionTableDlgRecord* r = record();
    if (r == nullptr || r->list != nullptr)
        return;
    r->list = CreateListBoxForItem(
        kConversionTableList, static_cast<int32_t>(s_files.size()), currentRow(), kRowHeight,
        [](oListBox& list, int32_t row, const Zone& zone, uint32_t) {
            if (row < 0 || static_cast<size_t>(row) >= s_files.size())
                return;
            const std::string name = FileNameOfPath(s_files[static_cast<size_t>(row)].c_str());
            list.drawString(name.c_str(), DefaultFontIndex(), zone.left + 4, zone.bottom - 4);
        });
}

const DialogFrame& conversionTableFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kConversionTableDialogId;
        f.lists = {kConversionTableList};
        f.labels = {{{217, 49, 439, 143}, kConversionTableList}};
        f.measureList = [](plat::HWND, plat::MEASUREITEMSTRUCT& measure) {
            makeList();
            if (ConversionTableDlgRecord* r = record(); r != nullptr && r->list != nullptr)
                r->list->measureItem(measure);
        };
        f.init = [](plat::HWND) {
            makeList();
            if (ConversionTableDlgRecord* r = record(); r != nullptr && r->list != nullptr) {
                const int32_t selection = r->list->getSelection();
                r->list->fillItems();
                r->list->setSelection(selection);
            }
        };
        f.drawList = [](plat::HWND, const plat::DRAWITEMSTRUCT& draw) {
            if (ConversionTableDlgRecord* r = record(); r != nullptr && r->list != nullptr)
                r->list->drawItem(draw);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            ConversionTableDlgRecord* r = record();
            if (id != kConversionTableList || r == nullptr || r->list == nullptr)
                return;
            // A double click on a file chooses it.
            if (r->list->handleNotify() && DialogResult < 0 && DoubleClickFlag != 0)
                DialogResult = 1;
        };
        f.writeBack = [](plat::HWND) {
            if (ConversionTableDlgRecord* r = record())
                r->selection = r->list != nullptr ? r->list->getSelection() : -1;
        };
        f.destroy = [](plat::HWND) {
            if (ConversionTableDlgRecord* r = record()) {
                delete r->list;
                r->list = nullptr;
            }
        };
        return f;
    }();
    return frame;
}

} // namespace

void FillTranslatorFileList() {
    ScanFolderForTypes(s_files, PrefsFolderPath().c_str(), 'c');
    // Kept within the table's size of 99 files.
    if (s_files.size() > 99)
        s_files.resize(99);
}

const std::vector<std::string>& TranslatorFiles() {
    return s_files;
}

int32_t RunConversionTableDlg(ConversionTableDlgRecord* r) {
    return LaunchDialog(kConversionTableDialogId, &ConversionTableDlgProc,
                        reinterpret_cast<std::uintptr_t>(r));
}

plat::INT_PTR ConversionTableDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam) {
    return HandleDialogFrame(conversionTableFrame(), dialog, message, wParam, lParam);
}

void ChooseTranslatorCommand() {
    FillTranslatorFileList();
    ConversionTableDlgRecord r;
    const int32_t result = RunConversionTableDlg(&r);
    if (result != 1 || r.selection < 0 || static_cast<size_t>(r.selection) >= s_files.size())
        return;
    const std::string path = s_files[static_cast<size_t>(r.selection)];
    Translator chosen;
    std::string message;
    if (!LoadTranslatorFile(path.c_str(), chosen, message)) {
        SetErrorDetail(message.c_str());
        ErrorAlert(errDataCorrupted);
        return;
    }
    InstallCopyAsTranslator(std::move(chosen), path);
    SetTranslatorPrefText(path);
    SaveGeneralPrefsAfterChange();
}

// ---------------------------------------------------------------------------------------------
// "Table de traduction"

namespace {

constexpr int32_t kCatRowHeight = 18;
constexpr unsigned kStopBox = 0x10; // stop icon, one OK button
constexpr int32_t kCatEntryCount = 256;
// Codes whose block has a font record the editor sets: the character blocks 1 to 16.
constexpr int32_t kFirstFontCode = 0x101;
constexpr int32_t kLastFontCode = 0x10D3;

TranslationTableDlgRecord s_catRecord;

// What the editor shows: the table, its current category and the entry being edited. Edits go
// straight into the Copy As translator; DoCATEdit keeps the copy that Cancel restores.
struct CatEditState {
    int32_t table = kCatTableComposites;
    CatCategory category;
    int32_t code = -1;
    int32_t entryFont = -1;
};
CatEditState s_cat;

TranslationTableDlgRecord* catRecord() {
    return DialogRecord<TranslationTableDlgRecord>(kTranslationTableDialogId);
}

bool isSpecialWord(int32_t code) {
    return code >= kSpecialWordBase && code < kTranslatorEntries;
}

// A special word's entry: "name::text"; an entry without "::" is all name.
void splitSpecialWord(const std::string& entry, std::string& name, std::string& text) {
    const size_t sep = entry.find("::");
    name = entry.substr(0, sep);
    text = sep == std::string::npos ? std::string() : entry.substr(sep + 2);
}

// Entry strings keep LF line ends; the edit shows CR LF.
std::string toEditText(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}
std::string fromEditText(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            if (i + 1 < s.size() && s[i + 1] == '\n')
                continue;
            out += '\n';
            continue;
        }
        out += s[i];
    }
    return out;
}

// The text the edit shows for an entry: a special word's text without its name.
std::string entryEditText(int32_t code) {
    if (code < 0 || code >= kTranslatorEntries)
        return {};
    const std::string& entry = CopyAsTranslator().entries[static_cast<size_t>(code)];
    if (!isSpecialWord(code))
        return toEditText(entry);
    std::string name, text;
    splitSpecialWord(entry, name, text);
    return toEditText(text);
}

// Stores edit text into an entry; a special word keeps its name ("name::text").
void storeEntryText(int32_t code, const std::string& editText) {
    if (code < 0 || code >= kTranslatorEntries)
        return;
    std::string& entry = CopyAsTranslator().entries[static_cast<size_t>(code)];
    const std::string text = fromEditText(editText);
    if (!isSpecialWord(code)) {
        entry = text;
        return;
    }
    std::string name, old;
    splitSpecialWord(entry, name, old);
    entry = name.empty() && text.empty() ? std::string() : name + "::" + text;
}

// The row of the entry list that a category opens on: the letter a in a block of characters from
// 0x100 on, otherwise the category's first entry.
int32_t openingRow(const CatCategory& category) {
    if (category.characterBlock && category.blockBase >= 0x100)
        return 'a';
    const int32_t first = CatFirstCode(s_cat.table, category);
    return first < 0 ? 0 : first & 0xFF;
}

int32_t codeOfRow(int32_t row) {
    if (row < 0 || row >= kCatEntryCount || s_cat.category.firstRow < 0)
        return -1;
    const int32_t code = s_cat.category.blockBase + row;
    return CatEntryRow(s_cat.table, s_cat.category, code) != nullptr ? code : -1;
}

// The font of a character block's rows: the base style at 14 points, with the block's font
// record for blocks above the standard one.
int32_t blockFont(const CatCategory& category) {
    FSSRecord style = StyleTable[0];
    const int32_t block = category.blockBase / 256;
    if (block > 1 && block < kTranslatorFonts) {
        const FSSRecord& own = CopyAsTranslator().fonts[static_cast<size_t>(block)];
        if (FontRecordUsed(own))
            MergeFSS(style, own);
    }
    const char* face = style.fontName;
    if (face[0] == '\0' || face[0] == '*' || face[0] == '?')
        face = "Times New Roman";
    return FontIndexForFace(face, 14, style.style[kStyleBold] == 1, style.style[kStyleItalic] == 1,
                            false);
}

// The standard block's characters are the Windows-1252 ones its entries name, whatever the code
// page; a block above it shows its own font's characters.
void computeEntryFont() {
    s_cat.entryFont = s_cat.category.characterBlock && s_cat.category.blockBase >= 0x100
                          ? blockFont(s_cat.category)
                          : DefaultProgramTextFontIndex();
}

// A category's line: its label, or for a character block above the standard one the font its
// record names.
std::string categoryText(int32_t row) {
    const CatCategory category = CatCategoryAt(s_cat.table, row);
    if (category.firstRow < 0)
        return {};
    const int32_t block = category.blockBase / 256;
    if (category.characterBlock && block > 1 && block < kTranslatorFonts) {
        const FSSRecord& font = CopyAsTranslator().fonts[static_cast<size_t>(block)];
        if (!FontRecordUsed(font))
            return LoadResString(category.label);
        std::string text = std::string(font.fontName, strnlen(font.fontName, sizeof font.fontName));
        if (font.style[kStyleBold] == 1)
            text += " gras";
        if (font.style[kStyleItalic] == 1)
            text += " italique";
        return text;
    }
    return LoadResString(category.label);
}

void drawCategoryRow(oListBox& list, int32_t row, const Zone& zone, uint32_t) {
    const std::string text = categoryText(row);
    list.drawString(text.c_str(), DefaultProgramTextFontIndex(), zone.left + 4, zone.bottom - 4);
}

void drawEntryRow(oListBox& list, int32_t row, const Zone& zone, uint32_t) {
    const int32_t listFont = DefaultProgramTextFontIndex();
    const int32_t baseline = zone.bottom - 4;
    const int32_t code = codeOfRow(row);
    if (code < 0)
        return;
    const CatTableRow* entry = CatEntryRow(s_cat.table, s_cat.category, code);
    char buffer[64];
    if (s_cat.category.characterBlock) {
        const char ch[2] = {static_cast<char>(row == 0 ? 1 : row), '\0'};
        list.drawString(ch, s_cat.entryFont, zone.left + 4, baseline);
        list.drawString(ch, listFont, zone.left + 28, baseline);
        std::snprintf(buffer, sizeof buffer, "%3d", static_cast<int>(row));
        list.drawString(buffer, listFont, zone.left + 48, baseline);
        std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned>(row));
        list.drawString(buffer, listFont, zone.left + 80, baseline);
        return;
    }
    std::string text;
    if (isSpecialWord(code)) {
        std::string name, rest;
        splitSpecialWord(CopyAsTranslator().entries[static_cast<size_t>(code)], name, rest);
        text = name;
    } else {
        text = LoadResString(entry->entryLabel);
        if (entry->entryLabel2 != 0)
            text += std::string(" ") + LoadResString(entry->entryLabel2);
    }
    list.drawString(text.c_str(), listFont, zone.left + 4, baseline);
}

void makeCatLists() {
    TranslationTableDlgRecord* r = catRecord();
    if (r == nullptr)
        return;
    if (r->categoryList == nullptr)
        r->categoryList = CreateListBoxForItem(kCatCategoryList, CatCategoryCount(s_cat.table),
                                               r->categoryRow, kCatRowHeight, &drawCategoryRow);
    if (r->entryList == nullptr)
        r->entryList = CreateListBoxForItem(kCatEntryList, kCatEntryCount, r->entryRow,
                                            kCatRowHeight, &drawEntryRow);
}

// Shows the entry's text with its first 300 characters selected; the edit is off for a row that
// is no entry of the category.
void showEntryText(int32_t code) {
    const std::string text = entryEditText(code);
    SetItemText(kCatTextItem, text.c_str());
    SetItemEnabled(kCatTextItem, code >= 0);
    SetEditSelection(kCatTextItem, 0, 300);
}

const DialogFrame& translationTableFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kTranslationTableDialogId;
        f.radioGroups = {{kCatTableFirst, kCatTableLast}};
        f.closingButtons = {{kCatFontButton, kCatFontResult}};
        f.lists = {kCatCategoryList, kCatEntryList};
        f.labels = {{{17, 61, 155, 79}, kCatTableFirst},
                    {{17, 89, 155, 107}, kCatTableFirst + 1},
                    {{17, 117, 155, 135}, kCatTableLast},
                    {{161, 49, 359, 155}, kCatCategoryList},
                    {{369, 49, 623, 155}, kCatEntryList}};
        f.measureList = [](plat::HWND, plat::MEASUREITEMSTRUCT& measure) {
            makeCatLists();
            TranslationTableDlgRecord* r = catRecord();
            if (r == nullptr)
                return;
            oListBox* list =
                static_cast<int>(measure.CtlID) == kCatEntryList ? r->entryList : r->categoryList;
            if (list != nullptr)
                list->measureItem(measure);
        };
        f.init = [](plat::HWND) {
            TranslationTableDlgRecord* r = catRecord();
            if (r == nullptr)
                return;
            SetRadioGroup(kCatTableFirst, kCatTableLast, s_cat.table);
            makeCatLists();
            computeEntryFont();
            FillCatCategoryList();
            FillCatEntryList();
            const std::string text = r->text;
            SetItemText(kCatTextItem, text.c_str());
            SetItemEnabled(kCatTextItem, s_cat.code >= 0);
            ShowCatCodeInfo();
        };
        f.enablingRules = [](plat::HWND, int id) { SelectCatCategory(id - kCatTableFirst); };
        f.drawList = [](plat::HWND, const plat::DRAWITEMSTRUCT& draw) {
            TranslationTableDlgRecord* r = catRecord();
            if (r == nullptr)
                return;
            oListBox* list =
                static_cast<int>(draw.CtlID) == kCatEntryList ? r->entryList : r->categoryList;
            if (list != nullptr)
                list->drawItem(draw);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            TranslationTableDlgRecord* r = catRecord();
            if (r == nullptr || DialogResult >= 0 || DialogCallbackBusy != 0)
                return;
            oListBox* list = id == kCatCategoryList ? r->categoryList
                             : id == kCatEntryList  ? r->entryList
                                                    : nullptr;
            if (list == nullptr || !list->handleNotify())
                return;
            DialogCallbackBusy = 1;
            if (id == kCatCategoryList)
                UpdateCatEntryView(list->getSelection());
            else
                ShowCatEntry(list->getSelection());
            DialogCallbackBusy = 0;
        };
        f.writeBack = [](plat::HWND) {
            TranslationTableDlgRecord* r = catRecord();
            if (r == nullptr)
                return;
            r->tableKind = GetRadioIndex(kCatTableFirst, kCatTableLast);
            if (r->tableKind < 0)
                r->tableKind = s_cat.table;
            r->categoryRow = r->categoryList != nullptr ? r->categoryList->getSelection() : -1;
            r->entryRow = r->entryList != nullptr ? r->entryList->getSelection() : -1;
            r->text = GetItemTextAll(kCatTextItem);
        };
        f.destroy = [](plat::HWND) {
            if (TranslationTableDlgRecord* r = catRecord()) {
                delete r->categoryList;
                r->categoryList = nullptr;
                delete r->entryList;
                r->entryList = nullptr;
            }
        };
        return f;
    }();
    return frame;
}

// Puts the editor on category `row` of table `table`, on the row it opens on.
void startCategory(int32_t table, int32_t row) {
    s_cat.table = table;
    s_cat.category = CatCategoryAt(table, row);
    TranslationTableDlgRecord& r = s_catRecord;
    r.tableKind = table;
    r.categoryRow = row;
    r.entryRow = openingRow(s_cat.category);
    s_cat.code = codeOfRow(r.entryRow);
}

} // namespace

TranslationTableDlgRecord& TheTranslationTableRecord() {
    return s_catRecord;
}

int32_t CurrentCatCode() {
    return s_cat.code;
}

int32_t RunTranslationTableDlg(TranslationTableDlgRecord* r) {
    return LaunchDialog(kTranslationTableDialogId, &TranslationTableDlgProc,
                        reinterpret_cast<std::uintptr_t>(r));
}

plat::INT_PTR TranslationTableDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam) {
    return HandleDialogFrame(translationTableFrame(), dialog, message, wParam, lParam);
}

void FillCatCategoryList() {
    TranslationTableDlgRecord* r = catRecord();
    if (r == nullptr || r->categoryList == nullptr)
        return;
    // One row per category of the table, so that every block of characters can be reached.
    r->categoryList->setCount(CatCategoryCount(s_cat.table));
    r->categoryList->fillItems();
    r->categoryList->setSelection(r->categoryRow);
    r->categoryList->redraw();
}

void FillCatEntryList() {
    TranslationTableDlgRecord* r = catRecord();
    if (r == nullptr || r->entryList == nullptr)
        return;
    r->entryList->fillItems();
    r->entryList->setSelection(r->entryRow);
    r->entryList->redraw();
}

void ShowCatEntry(int32_t row) {
    TranslationTableDlgRecord* r = catRecord();
    if (r == nullptr)
        return;
    if (s_cat.code >= 0)
        storeEntryText(s_cat.code, GetItemTextAll(kCatTextItem));
    r->entryRow = row;
    s_cat.code = codeOfRow(row);
    showEntryText(s_cat.code);
    ShowCatCodeInfo();
}

void UpdateCatEntryView(int32_t row) {
    TranslationTableDlgRecord* r = catRecord();
    if (r == nullptr)
        return;
    if (s_cat.code >= 0)
        storeEntryText(s_cat.code, GetItemTextAll(kCatTextItem));
    s_cat.code = -1;
    s_cat.category = CatCategoryAt(s_cat.table, row);
    r->categoryRow = row;
    computeEntryFont();
    const int32_t entryRow = openingRow(s_cat.category);
    if (r->entryList != nullptr) {
        r->entryList->setSelection(entryRow);
        r->entryList->redraw();
    }
    ShowCatEntry(entryRow);
}

void SelectCatCategory(int32_t kind) {
    TranslationTableDlgRecord* r = catRecord();
    if (r == nullptr || kind < 0 || kind >= kCatTableCount || kind == s_cat.table)
        return;
    if (s_cat.code >= 0)
        storeEntryText(s_cat.code, GetItemTextAll(kCatTextItem));
    s_cat.code = -1;
    s_cat.table = kind;
    r->tableKind = kind;
    r->categoryRow = 0;
    FillCatCategoryList();
    UpdateCatEntryView(0);
}

void ShowCatCodeInfo() {
    const bool fontCode = s_cat.table == kCatTableCharacters && s_cat.code >= kFirstFontCode &&
                          s_cat.code <= kLastFontCode;
    SetItemEnabled(kCatFontButton, fontCode);
    const std::string name = FileNameOfPath(CopyAsTranslator().path.c_str());
    SetItemText(kCatFileNameItem, name.c_str());
}

void DoCATEdit() {
    Translator& translator = CopyAsTranslator();
    const Translator backup = translator;
    startCategory(kCatTableComposites, 0);
    TranslationTableDlgRecord& r = s_catRecord;
    r.text = entryEditText(s_cat.code);
    for (;;) {
        const int32_t result = ResultAsCancel(RunTranslationTableDlg(&r));
        if (result == 0) {
            translator = backup;
            return;
        }
        if (result == 1) {
            storeEntryText(s_cat.code, r.text);
            if (translator == backup)
                return;
            std::string message;
            if (!SaveTranslator(translator, message)) {
                // The edits stay in memory; the file keeps its previous content. The box names
                // the reason and the translator's own file (not the sibling that failed).
                const std::string text =
                    message.substr(0, message.find('\n')) + "\n" + translator.path;
                AppMessageBox(text.c_str(), nullptr, kStopBox);
            }
            return;
        }
        if (result == kCatFontResult && s_cat.code >= kFirstFontCode &&
            s_cat.code <= kLastFontCode) {
            // The block's own record when it has one, else the base style.
            const size_t block = static_cast<size_t>(s_cat.code / 256);
            FSSRecord style =
                FontRecordUsed(translator.fonts[block]) ? translator.fonts[block] : StyleTable[0];
            if (RunFSSDialogOn(style, LoadResString(kCatFontTitleString))) {
                translator.fonts[block] = style;
                computeEntryFont();
            }
        }
    }
}
