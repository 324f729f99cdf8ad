#include "Dialogs/FontCommandDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/FontStyleDialog.h"
#include "Dialogs/SecondaryCommandDialog.h"
#include "ExprSrcs/EPane.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/PMENU.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oListBox.h"
#include "OverSrcs/commands/kEdit.h"

#include <array>
#include <bitset>
#include <cstring>
#include <string>

CharacterCommandsDlgRecord TheCharacterCommandsRecord;
int32_t SelectedStyleIndex = 0;
void (*SaveGeneralPrefsHook)() = nullptr;

namespace {

constexpr int32_t kStyleRowHeight = 20;
constexpr int32_t kShortcutPoints = 12;
constexpr int32_t kDescriptionX = 24;

// Whether an entry has an item in "&Apply Font Command...", so that an edit replaces the item
// instead of adding a second one. The menu's own list of items is asked, so the answer goes with
// the menu bar the items are in.
bool hasMenuItem(int32_t index) {
    return HasAdHocMenuItem(kApplyFontCommandMenu, index);
}

std::bitset<kStyleTableSize> entriesWithMenuItems() {
    std::bitset<kStyleTableSize> items;
    for (int32_t i = 0; i < kStyleTableSize; ++i)
        items[static_cast<size_t>(i)] = hasMenuItem(i);
    return items;
}

bool inheritsField(uint8_t value) {
    return value == kStyleInherit || value == kStyleInheritToo;
}

// The selected index as an entry of the table (the "ask" row and anything outside the table
// stand for entry 0 here).
int32_t currentEntry() {
    return SelectedStyleIndex >= 0 && SelectedStyleIndex < kStyleTableSize ? SelectedStyleIndex : 0;
}

FSSRecord& entryAt(int32_t index) {
    return StyleTable[static_cast<size_t>(index)];
}

uint8_t shortcutOf(const char* text) {
    // An empty field leaves a blank: a zero byte would end the entry's menu text and row.
    const uint8_t c = text != nullptr ? static_cast<uint8_t>(text[0]) : 0;
    return c == 0 ? static_cast<uint8_t>(' ') : c;
}

// The font an entry's shortcut is drawn in: the entry completed from the base style, at 12 points.
int32_t shortcutFont(int32_t index) {
    FSSRecord style = StyleTable[0];
    if (index > 0)
        MergeFSS(style, entryAt(index));
    const char* face = style.fontName;
    if (face[0] == '\0' || face[0] == '*' || face[0] == '?')
        face = "Times New Roman";
    const uint8_t italic = style.italicMode();
    return FontIndexForFace(face, kShortcutPoints, style.style[kStyleBold] == kStyleOn,
                            italic == kItalicOn || italic == kItalicLetters ||
                                italic == kItalicLettersNotFunctions,
                            style.style[kStyleUnderline] == kStyleOn);
}

void drawEntryRow(oListBox& list, int32_t entry, const Zone& zone) {
    const int32_t baseline = zone.top + kStyleRowHeight - 5;
    const char shortcut[2] = {static_cast<char>(entryAt(entry).shortcut), '\0'};
    list.drawString(shortcut, shortcutFont(entry), zone.left + 4, baseline);
    list.drawString(StyleEntryDescription(entry).c_str(), DefaultProgramTextFontIndex(),
                    zone.left + kDescriptionX, baseline);
}

void drawChangeFontRow(oListBox& list, int32_t row, const Zone& zone, uint32_t) {
    if (row == 0) {
        list.drawString(LoadResString(kAskFontRowString), DefaultProgramTextFontIndex(),
                        zone.left + 4, zone.top + kStyleRowHeight - 5);
        return;
    }
    if (row >= 1 && row <= kStyleTableSize)
        drawEntryRow(list, row - 1, zone);
}

void drawCharacterCommandRow(oListBox& list, int32_t row, const Zone& zone, uint32_t) {
    if (row >= 0 && row < kStyleTableSize)
        drawEntryRow(list, row, zone);
}

void applyFontCommand(std::intptr_t index) {
    DoCommand(kCmdStyleBase + static_cast<int32_t>(index), 0);
}

// ---- Change the Font ---------------------------------------------------------------------------

ChangeFontDlgRecord* changeFontRecord() {
    return DialogRecord<ChangeFontDlgRecord>(kChangeFontDialogId);
}

void makeChangeFontList(ChangeFontDlgRecord& r) {
    if (r.list != nullptr)
        return;
    // A code whose low byte is no entry opens on no row.
    const int32_t row = SelectedStyleIndex >= -1 && SelectedStyleIndex < kStyleTableSize
                            ? SelectedStyleIndex + 1
                            : -1;
    r.list = CreateListBoxForItem(kChangeFontListItem, kStyleTableSize + 1, row, kStyleRowHeight,
                                  &drawChangeFontRow);
}

const DialogFrame& changeFontFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kChangeFontDialogId;
        f.lists = {kChangeFontListItem};
        f.labels = {{{25, 65, 287, 171}, kChangeFontListItem}};
        f.measureList = [](plat::HWND, plat::MEASUREITEMSTRUCT& measure) {
            ChangeFontDlgRecord* r = changeFontRecord();
            if (r == nullptr || measure.CtlID != static_cast<plat::UINT>(kChangeFontListItem))
                return;
            makeChangeFontList(*r);
            if (r->list != nullptr)
                r->list->measureItem(measure);
        };
        f.drawList = [](plat::HWND, const plat::DRAWITEMSTRUCT& draw) {
            ChangeFontDlgRecord* r = changeFontRecord();
            if (r != nullptr && r->list != nullptr &&
                draw.CtlID == static_cast<plat::UINT>(kChangeFontListItem))
                r->list->drawItem(draw);
        };
        f.init = [](plat::HWND) {
            ChangeFontDlgRecord* r = changeFontRecord();
            if (r == nullptr)
                return;
            makeChangeFontList(*r);
            if (r->list != nullptr)
                r->list->fillItems();
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            ChangeFontDlgRecord* r = changeFontRecord();
            if (id != kChangeFontListItem || r == nullptr || r->list == nullptr)
                return;
            if (!r->list->handleNotify() || DialogCallbackBusy != 0)
                return;
            DialogCallbackBusy = 1;
            SelectStyleForFont(r->list->getSelection());
            if (DoubleClickFlag != 0)
                DialogResult = 1;
            DialogCallbackBusy = 0;
        };
        f.writeBack = [](plat::HWND) {
            if (ChangeFontDlgRecord* r = changeFontRecord())
                r->selection = r->list != nullptr ? r->list->getSelection() : -1;
        };
        f.destroy = [](plat::HWND) {
            if (ChangeFontDlgRecord* r = changeFontRecord()) {
                delete r->list;
                r->list = nullptr;
            }
        };
        return f;
    }();
    return frame;
}

// ---- Commandes de caractères -------------------------------------------------------------------

CharacterCommandsDlgRecord* charCmdRecord() {
    return DialogRecord<CharacterCommandsDlgRecord>(kCharacterCommandsDialogId);
}

oListBox* charCmdList() {
    CharacterCommandsDlgRecord* r = charCmdRecord();
    return r != nullptr ? r->list : nullptr;
}

void redrawCharCmdList() {
    if (oListBox* list = charCmdList())
        list->redraw();
}

void makeCharCmdList(CharacterCommandsDlgRecord& r) {
    if (r.list == nullptr)
        r.list = CreateListBoxForItem(kCharCmdListItem, kStyleTableSize, currentEntry(),
                                      kStyleRowHeight, &drawCharacterCommandRow);
}

// The field's character and the box into the selected entry (the box is disabled, and shows the
// entry's own flag, for entry 0).
void storeFieldIntoEntry() {
    FSSRecord& entry = entryAt(currentEntry());
    entry.shortcut = shortcutOf(GetItemText(kCharCmdShortcutItem));
    entry.slippery = IsChecked(kCharCmdSlipperyItem) ? 1 : 0;
}

// The selected entry's shortcut and flag into the field and the box.
void showEntryFields() {
    const FSSRecord& entry = entryAt(currentEntry());
    const char text[2] = {static_cast<char>(entry.shortcut), '\0'};
    SetItemText(kCharCmdShortcutItem, text);
    SetCheck(kCharCmdSlipperyItem, entry.slippery != 0);
}

const DialogFrame& characterCommandsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kCharacterCommandsDialogId;
        f.closingButtons = {{kCharCmdModifyButton, kCharCmdResultEdit}};
        f.lists = {kCharCmdListItem};
        f.labels = {{{245, 233, 267, 247}, kCharCmdShortcutItem},
                    {{13, 265, 423, 283}, kCharCmdSlipperyItem},
                    {{13, 29, 383, 223}, kCharCmdListItem}};
        f.measureList = [](plat::HWND, plat::MEASUREITEMSTRUCT& measure) {
            CharacterCommandsDlgRecord* r = charCmdRecord();
            if (r == nullptr || measure.CtlID != static_cast<plat::UINT>(kCharCmdListItem))
                return;
            makeCharCmdList(*r);
            if (r->list != nullptr)
                r->list->measureItem(measure);
        };
        f.drawList = [](plat::HWND, const plat::DRAWITEMSTRUCT& draw) {
            oListBox* list = charCmdList();
            if (list != nullptr && draw.CtlID == static_cast<plat::UINT>(kCharCmdListItem))
                list->drawItem(draw);
        };
        f.init = [](plat::HWND) {
            CharacterCommandsDlgRecord* r = charCmdRecord();
            if (r == nullptr)
                return;
            r->shortcutText[kShortcutTextSize - 1] = '\0';
            SetItemText(kCharCmdShortcutItem, r->shortcutText);
            SetCheck(kCharCmdSlipperyItem, r->slippery != 0);
            makeCharCmdList(*r);
            if (r->list != nullptr)
                r->list->fillItems();
            ShowCharacterCommand();
            SetEditSelection(kCharCmdShortcutItem, 0, 32000);
        };
        f.editReaction = [](plat::HWND, int id) {
            if (id == kCharCmdShortcutItem)
                StoreCharacterCommandKey();
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            switch (id) {
            case kCharCmdDeleteButton:
                ClearStyleEntry();
                break;
            case kCharCmdNewButton:
                FindFreeStyleEntry();
                break;
            case kCharCmdSlipperyItem:
                // A label click reaches the box even while it is disabled (entry 0 has no flag).
                if (currentEntry() == 0)
                    break;
                ToggleCheck(kCharCmdSlipperyItem);
                StoreCharacterCommandFlag();
                break;
            case kCharCmdListItem: {
                oListBox* list = charCmdList();
                if (list == nullptr || !list->handleNotify() || DialogCallbackBusy != 0)
                    break;
                DialogCallbackBusy = 1;
                SelectCharacterCommand();
                if (DoubleClickFlag != 0)
                    DialogResult = kCharCmdResultEdit;
                DialogCallbackBusy = 0;
                break;
            }
            default:
                break;
            }
        };
        f.writeBack = [](plat::HWND) {
            CharacterCommandsDlgRecord* r = charCmdRecord();
            if (r == nullptr)
                return;
            CopyItemTextToField(kCharCmdShortcutItem, r->shortcutText, sizeof r->shortcutText);
            r->slippery = IsChecked(kCharCmdSlipperyItem) ? 1 : 0;
            r->selection = r->list != nullptr ? r->list->getSelection() : -1;
        };
        f.destroy = [](plat::HWND) {
            if (CharacterCommandsDlgRecord* r = charCmdRecord()) {
                delete r->list;
                r->list = nullptr;
            }
        };
        return f;
    }();
    return frame;
}

// Puts back the entries a cancelled pass of the dialog changed, with the menu items it removed.
void restoreTable(const std::array<FSSRecord, kStyleTableSize>& saved,
                  const std::bitset<kStyleTableSize>& items) {
    StyleTable = saved;
    for (int32_t i = 0; i < kStyleTableSize; ++i)
        if (items[static_cast<size_t>(i)] && !hasMenuItem(i))
            AddFontCommandMenuItem(i);
}

} // namespace

// ---- Entries
// -------------------------------------------------------------------------------------

int32_t FirstFreeStyleEntry() {
    for (int32_t i = 0; i < kStyleTableSize; ++i)
        if (IsFreeStyleEntry(entryAt(i)))
            return i;
    return -1;
}

std::string StyleEntryDescription(int32_t index) {
    if (index < 0 || index >= kStyleTableSize)
        return std::string();
    if (index == 0)
        return LoadResString(kBaseStyleRowString);
    const FSSRecord& e = entryAt(index);
    std::string text = e.fontName[0] == '\0' ? std::string(kFontInherit) : std::string(e.fontName);
    text += ' ';
    if (e.size == kSizeInherit)
        text += '*';
    else if (IsRelativeSize(e.size)) {
        if (e.size > kSizeInherit)
            text += '+';
        text += std::to_string(e.size - kSizeInherit);
    } else if (e.size == kSizeReset)
        text += "0";
    else
        text += std::to_string(e.size);
    // The legend's letters for what the entry turns on; "*" when every style field inherits.
    std::string letters;
    bool inheritsAll = true;
    auto letter = [&](int field, char c) {
        const uint8_t v = e.style[field];
        if (!inheritsField(v))
            inheritsAll = false;
        if (v == kStyleOn)
            letters += c;
    };
    letter(kStyleBold, 'b');
    switch (e.italicMode()) {
    case kItalicOn:
        letters += 'I';
        inheritsAll = false;
        break;
    case kItalicLetters:
        letters += '!';
        inheritsAll = false;
        break;
    case kItalicLettersNotFunctions:
        letters += 'i';
        inheritsAll = false;
        break;
    case kItalicOff:
        inheritsAll = false;
        break;
    default:
        break;
    }
    letter(kStyleUnderline, 'u');
    letter(kStyleOutline, 'o');
    letter(kStyleShadow, 's');
    letter(kStyleCondense, 'c');
    letter(kStyleExtend, 'e');
    if (!inheritsField(e.inkMode())) {
        inheritsAll = false;
        if (e.inkMode() != kStyleOff)
            letters += 'v';
    }
    if (inheritsAll)
        text += " *";
    else if (!letters.empty())
        text += " " + letters;
    return text;
}

std::string StyleEntryMenuText(int32_t index) {
    if (index < 0 || index >= kStyleTableSize)
        return std::string();
    std::string text(1, static_cast<char>(entryAt(index).shortcut));
    text += "  ";
    text += StyleEntryDescription(index);
    return text;
}

void AddFontCommandMenuItem(int32_t index) {
    if (index < 0 || index >= kStyleTableSize)
        return;
    RemoveFontCommandMenuItem(index);
    AddAdHocMenuItem(kApplyFontCommandMenu, 0, StyleEntryMenuText(index).c_str(), &applyFontCommand,
                     index);
}

void RemoveFontCommandMenuItem(int32_t index) {
    if (index < 0 || index >= kStyleTableSize || !hasMenuItem(index))
        return;
    RemoveAdHocMenuItem(kApplyFontCommandMenu, index);
}

// ---- Services of the procedures
// ------------------------------------------------------------------

void SelectStyleForFont(int32_t row) {
    SelectedStyleIndex = row - 1;
}

void ShowCharacterCommand() {
    if (SelectedStyleIndex < 0 || SelectedStyleIndex >= kStyleTableSize)
        SelectedStyleIndex = 0;
    EnableItem(kCharCmdSlipperyItem, SelectedStyleIndex != 0);
    SetItemText(
        kCharCmdBindingsItem,
        DescribeCommandBindings(kCmdStyleBase + SelectedStyleIndex, kBindingsTextSize).c_str());
}

void StoreCharacterCommandFlag() {
    entryAt(currentEntry()).slippery = IsChecked(kCharCmdSlipperyItem) ? 1 : 0;
    redrawCharCmdList();
}

void SelectCharacterCommand() {
    oListBox* list = charCmdList();
    if (list == nullptr)
        return;
    storeFieldIntoEntry();
    const int32_t row = list->getSelection();
    if (row >= 0 && row < kStyleTableSize)
        SelectedStyleIndex = row;
    showEntryFields();
    ShowCharacterCommand();
    SetEditSelection(kCharCmdShortcutItem, 0, 32000);
    list->redraw();
}

void StoreCharacterCommandKey() {
    entryAt(currentEntry()).shortcut = shortcutOf(GetItemText(kCharCmdShortcutItem));
    SetEditSelection(kCharCmdShortcutItem, 0, 32000);
    redrawCharCmdList();
}

void ClearStyleEntry() {
    const int32_t index = currentEntry();
    if (index == 0) {
        Beep();
        return;
    }
    FSSRecord& entry = entryAt(index);
    InitFSSRecord(entry);
    entry.slippery = 0;
    SetItemText(kCharCmdShortcutItem, " ");
    SetCheck(kCharCmdSlipperyItem, false);
    RemoveFontCommandMenuItem(index);
    redrawCharCmdList();
}

void FindFreeStyleEntry() {
    storeFieldIntoEntry();
    const int32_t free = FirstFreeStyleEntry();
    if (free < 0) {
        Beep();
        redrawCharCmdList();
        return;
    }
    SelectedStyleIndex = free;
    if (oListBox* list = charCmdList())
        list->setSelection(free);
    showEntryFields();
    DialogResult = kCharCmdResultEdit;
}

// ---- Launchers and commands
// ----------------------------------------------------------------------

int32_t RunChangeFontDlg(ChangeFontDlgRecord* record) {
    return LaunchDialog(kChangeFontDialogId, &ChangeFontDlgProc,
                        reinterpret_cast<std::uintptr_t>(record));
}

int32_t RunCharacterCommandsDlg(CharacterCommandsDlgRecord* record) {
    return LaunchDialog(kCharacterCommandsDialogId, &CharacterCommandsDlgProc,
                        reinterpret_cast<std::uintptr_t>(record));
}

plat::INT_PTR ChangeFontDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam) {
    return HandleDialogFrame(changeFontFrame(), dialog, message, wParam, lParam);
}

plat::INT_PTR CharacterCommandsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                       plat::LPARAM lParam) {
    return HandleDialogFrame(characterCommandsFrame(), dialog, message, wParam, lParam);
}

int32_t AskFSSCmd(int32_t code) {
    SelectedStyleIndex = code & 0xFF;
    ChangeFontDlgRecord record;
    if (ResultAsCancel(RunChangeFontDlg(&record)) == 0)
        return 0;
    // The row is what the user saw chosen; with none (a code that named no entry) nothing is.
    if (record.selection < 0 || record.selection > kStyleTableSize)
        return 0;
    SelectedStyleIndex = record.selection - 1;
    return SelectedStyleIndex < 0 ? kCmdAskFont : kCmdStyleBase + SelectedStyleIndex;
}

void RunCharacterCommands() {
    CharacterCommandsDlgRecord& r = TheCharacterCommandsRecord;
    for (;;) {
        SelectedStyleIndex = currentEntry();
        const FSSRecord& shown = entryAt(SelectedStyleIndex);
        std::memset(r.shortcutText, 0, sizeof r.shortcutText);
        r.shortcutText[0] = static_cast<char>(shown.shortcut);
        r.slippery = shown.slippery;
        // Shortcuts, flags and cleared entries change the live table while the dialog is open;
        // Cancel puts back the table this pass of the dialog opened on.
        const std::array<FSSRecord, kStyleTableSize> saved = StyleTable;
        const std::bitset<kStyleTableSize> items = entriesWithMenuItems();
        const int32_t result = ResultAsCancel(RunCharacterCommandsDlg(&r));
        if (result == 0) {
            restoreTable(saved, items);
            return;
        }
        if (result != 1 && result != kCharCmdResultEdit)
            continue;
        const int32_t index = currentEntry();
        FSSRecord& entry = entryAt(index);
        entry.shortcut = shortcutOf(r.shortcutText);
        entry.slippery = index == 0 ? entry.slippery : (r.slippery != 0 ? 1 : 0);
        if (result == 1) {
            // The menu items show the shortcuts as they now are.
            const std::bitset<kStyleTableSize> shown = entriesWithMenuItems();
            for (int32_t i = 0; i < kStyleTableSize; ++i)
                if (shown[static_cast<size_t>(i)])
                    AddFontCommandMenuItem(i);
            SaveGeneralPrefsAfterChange();
            RefreshAllPanes();
            return;
        }
        FSSRecord working = entry;
        if (!RunFSSDialogOn(working, LoadResString(kEditStyleTitleString)))
            continue;
        // The dialog edits the font, size and style; the shortcut and flag stay the entry's.
        working.shortcut = entry.shortcut;
        working.slippery = entry.slippery;
        entry = working;
        if (index == 0)
            BuildSizeStepTable(); // the base size may have changed
        else
            AddFontCommandMenuItem(index);
    }
}
