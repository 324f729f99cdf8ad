#include "Dialogs/KeyboardDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/HelpTours.h"
#include "Dialogs/InsertExpressionDialog.h"
#include "Dialogs/SecondaryCommandDialog.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PPRINT.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/KeyCodes.h"
#include "OverPc/shell/oDlgWidget.h"
#include "plat/Files.h"
#include "plat/Window.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

KeyboardEquivalentsDlgRecord TheKeyboardRecord;
KeyMapTable WorkingKeyMap{};
int32_t SelectedKey = 32;
bool SelectedKeyAppliesToPrevious = false;
int32_t (*KeyboardFontCommandChooser)(int32_t code) = nullptr;

namespace {

KeyboardEquivalentsDlgRecord* record() {
    return DialogRecord<KeyboardEquivalentsDlgRecord>(kKeyboardDialogId);
}

int32_t* selectedEntry() {
    if (SelectedKey < 0 || SelectedKey >= kKeyMapSize)
        return nullptr;
    return &WorkingKeyMap[static_cast<size_t>(SelectedKey)];
}

void paintPreview(int32_t controlId) {
    if (controlId == kKeyboardPreviewItem)
        DrawKeyCommandIcon();
}

// The radio buttons of the kinds are handled here rather than as a frame radio group: three of
// them close the dialog, and the first changes the working entry.
void chooseKind(int id) {
    CheckRadioInRange(kKeyboardNothingButton, kKeyboardSecondaryButton, id);
    switch (id) {
    case kKeyboardNothingButton:
        ClearSelectedKey();
        DrawKeyCommandIcon();
        break;
    case kKeyboardInsertButton:
        DialogResult = kKeyboardResultInsert;
        break;
    case kKeyboardFontButton:
        DialogResult = kKeyboardResultFont;
        break;
    case kKeyboardSecondaryButton:
        DialogResult = kKeyboardResultSecondary;
        break;
    default:
        break;
    }
}

const DialogFrame& keyboardFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kKeyboardDialogId;
        // The modifier keys that may go with the key, and the arrow to the key field.
        f.pictures = {{16176, 34, 80, kBitmapTransparent},
                      {16144, 74, 80, kBitmapTransparent},
                      {16080, 56, 80, kBitmapTransparent},
                      {16112, 34, 80, kBitmapTransparent},
                      {16016, 14, 96, kBitmapTransparent}};
        f.closingButtons = {{kKeyboardPrintButton, kKeyboardResultPrint},
                            {kKeyboardRevertButton, kKeyboardResultRevert}};
        f.labels = {{{281, 69, 523, 87}, kKeyboardNothingButton},
                    {{281, 93, 547, 111}, kKeyboardInsertButton},
                    {{281, 117, 523, 135}, kKeyboardFontButton},
                    {{281, 141, 523, 159}, kKeyboardSecondaryButton},
                    {{337, 173, 535, 191}, kKeyboardPreviousItem}};
        f.init = [](plat::HWND dialog) {
            KeyboardEquivalentsDlgRecord* r = record();
            if (r == nullptr)
                return;
            SubclassKeyCaptureItem(dialog, kKeyboardKeyItem);
            SetItemKeyName(kKeyboardKeyItem, r->key);
            r->preview = CreateDlgWidgetForItem(kKeyboardPreviewItem, &paintPreview);
            SetRadioGroup(kKeyboardNothingButton, kKeyboardSecondaryButton, r->kind);
            SetCheck(kKeyboardPreviousItem, r->appliesToPrevious != 0);
            SelectKeyEntry();
        };
        f.editReaction = [](plat::HWND, int id) {
            if (id == kKeyboardKeyItem)
                SelectKeyEntry();
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            if (id >= kKeyboardNothingButton && id <= kKeyboardSecondaryButton) {
                chooseKind(id);
            } else if (id == kKeyboardPreviousItem) {
                ToggleCheck(kKeyboardPreviousItem);
                SetKeyAppliesToPrevious();
            }
        };
        f.writeBack = [](plat::HWND) {
            KeyboardEquivalentsDlgRecord* r = record();
            if (r == nullptr)
                return;
            r->key = GetItemKeyCode();
            r->kind = GetRadioIndex(kKeyboardNothingButton, kKeyboardSecondaryButton);
            r->appliesToPrevious = IsChecked(kKeyboardPreviousItem) ? 1 : 0;
        };
        f.destroy = [](plat::HWND dialog) {
            UnsubclassKeyCaptureItem(dialog, kKeyboardKeyItem);
            KeyboardEquivalentsDlgRecord* r = record();
            if (r == nullptr)
                return;
            delete r->preview;
            r->preview = nullptr;
        };
        return f;
    }();
    return frame;
}

const DialogFrame& revertFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kRevertKeysDialogId;
        return f;
    }();
    return frame;
}

// Stores an editor's answer in the selected key's working entry: nothing for 0, else the command
// with bit 0x8000 as the key's applies-to-previous state says.
void storeChosen(int32_t code) {
    int32_t* entry = selectedEntry();
    if (code == 0 || entry == nullptr)
        return;
    const int32_t c = code & kCmdCodeMask;
    *entry = SelectedKeyAppliesToPrevious ? (c | kCmdWidenBit) : c;
}

} // namespace

void SelectKeyEntry() {
    SetEditSelection(kKeyboardKeyItem, 0, 32000);
    SelectedKey = GetItemKeyCode();
    const int32_t* entry = selectedEntry();
    const int32_t code = entry != nullptr ? *entry : 0;
    const int kind = CommandKind(code);
    // A sub-palette binding has no button of its own: none is checked.
    SetRadioGroup(kKeyboardNothingButton, kKeyboardSecondaryButton,
                  kind == kKindSubPalette ? -1 : kind);
    SelectedKeyAppliesToPrevious = (code & kCmdWidenBit) != 0;
    SetCheck(kKeyboardPreviousItem, SelectedKeyAppliesToPrevious);
    DrawKeyCommandIcon();
}

void ClearSelectedKey() {
    if (int32_t* entry = selectedEntry())
        *entry = 0;
}

void SetKeyAppliesToPrevious() {
    SelectedKeyAppliesToPrevious = IsChecked(kKeyboardPreviousItem);
    int32_t* entry = selectedEntry();
    if (entry == nullptr)
        return;
    // An unbound key stays 0: the bit alone would bind it to nothing and hide it from the
    // dispatcher's "not handled" answer. The state is kept for the command an editor stores next.
    if (SelectedKeyAppliesToPrevious && (*entry & kCmdCodeMask) != 0)
        *entry |= kCmdWidenBit;
    else
        *entry &= ~kCmdWidenBit;
}

void DrawKeyCommandIcon() {
    KeyboardEquivalentsDlgRecord* r = record();
    if (r == nullptr || r->preview == nullptr)
        return;
    oDlgWidget& w = *r->preview;
    const plat::DWORD face = plat::GetSysColor(plat::COLOR_BTNFACE);
    w.paintZone(Zone{0, 0, w.width(), w.height()},
                Color{plat::GetRValue(face), plat::GetGValue(face), plat::GetBValue(face), 255});
    const int32_t* entry = selectedEntry();
    const int32_t code = entry != nullptr ? (*entry & kCmdCodeMask) : 0;
    // The picture as a palette cell shows it: white, framed, black on white.
    const Zone cell{2, 2, w.width() - 2, w.height() - 2};
    w.paintZone(cell, kColorWhite);
    w.frameZone(cell, 1, kColorLightGrey, kLineSolid, kDrawPaint);
    w.setColors(&kColorBlack, &kColorWhite);
    DrawCommandPicture(w, cell, code);
}

void RevertKeyMapToTyping(KeyMapTable& map) {
    const KeyMapTable& typing = DefaultKeyMap();
    for (int32_t i = 32; i <= 255; ++i)
        map[static_cast<size_t>(i)] = typing[static_cast<size_t>(i)];
    for (int32_t i = 288; i <= 319; ++i)
        map[static_cast<size_t>(i)] = typing[static_cast<size_t>(i)];
}

std::string DescribeCommand(int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    std::string text;
    if (IsCharCode(c)) {
        const int style = CharCodeStyle(c);
        const std::string character(1, static_cast<char>(c & 0xFF));
        text = style == kTypingStyleSelector ? ResStringWith(kCharacterCommandString, {character})
                                             : ResStringWith(kStyledCharacterCommandString,
                                                             {character, std::to_string(style)});
    } else if (const int32_t row = FindEditCatalogRow(c); row >= 0) {
        text = ResStringWith(EditCommandCatalog()[static_cast<size_t>(row)].helpStringId, {});
    } else if ((c & 0xFF00) == kCmdColourBase) {
        text = ResStringWith(kColourCommandString, {});
        for (const CommandColour& k : CommandColourTable())
            if (CommandColourByte(k.r, k.g, k.b) == (c & 0xFF))
                text = ResStringWith(kNamedColourCommandString, {ResStringWith(k.nameString, {})});
    } else if ((c & 0xFF00) == kCmdMacroBase) {
        text = ResStringWith(kMacroCommandString, {std::to_string(c & 0xFF)});
    } else if ((c & 0xFF00) == kCmdSubPaletteBase) {
        text = ResStringWith(kSubPaletteCommandString, {std::to_string(c & 0xFF)});
    } else if ((c & 0xFF00) == kCmdStyleBase) {
        text = ResStringWith(kStyleCommandString, {std::to_string(c & 0xFF)});
    } else if (const int32_t insert = FindInsertCatalogRow(c); insert >= 0) {
        const char* help = InsertCatalogHelp(insert);
        text = help != nullptr && help[0] != '\0'
                   ? std::string(help)
                   : ResStringWith(kInsertCommandString,
                                   {InsertCommandCatalog()[static_cast<size_t>(insert)].label});
    } else {
        char number[8];
        std::snprintf(number, sizeof number, "%04X", static_cast<unsigned>(c));
        text = ResStringWith(kOtherCommandString, {number});
    }
    if ((code & kCmdWidenBit) != 0)
        text = ResStringWith(kBackwardSelectionString, {text});
    return text;
}

std::vector<std::string> KeyAssignmentLines(const KeyMapTable& map) {
    std::vector<std::string> lines;
    for (int32_t i = 1; i < kKeyMapSize; ++i) {
        const int32_t code = map[static_cast<size_t>(i)];
        if (code != 0)
            lines.push_back(GetKeyName(i) + "\t" + DescribeCommand(code));
    }
    return lines;
}

void PrintKeyAssignments(const KeyMapTable& map) {
    const std::vector<std::string> lines = KeyAssignmentLines(map);
    PrinterPageMetrics metrics;
    GetPrinterPageMetrics(metrics);
    // Ten-point lines of twelve points, at the printer's resolution.
    const int32_t lineHeight = std::max<int32_t>(1, metrics.resolution * 12 / 72);
    const int32_t perPage = std::max<int32_t>(1, metrics.zone.height() / lineHeight);
    const int32_t pages =
        std::max<int32_t>(1, (static_cast<int32_t>(lines.size()) + perPage - 1) / perPage);
    const int32_t tab = metrics.resolution * 2;
    const int code = CatchFail([&] {
        PrintPages(pages, [&](wPrinterPort& port, int32_t page) {
            // Key names and command descriptions: the program's own (Windows-1252) texts.
            const int32_t font =
                ProgramTextFontIndex(FontIndexForFace("Arial", 10, false, false, false));
            const int32_t first = (page - 1) * perPage;
            for (int32_t n = 0; n < perPage; ++n) {
                const size_t k = static_cast<size_t>(first + n);
                if (k >= lines.size())
                    break;
                const std::string& line = lines[k];
                const size_t t = line.find('\t');
                const int32_t y = metrics.zone.top + (n + 1) * lineHeight;
                port.drawString(line.substr(0, t).c_str(), font, metrics.zone.left, y);
                port.drawString(line.substr(t + 1).c_str(), font, metrics.zone.left + tab, y);
            }
        });
    });
    if (code != 0 && code != errUserInterrupt && code != errPrintCancelled)
        ErrorAlert(code);
}

bool SaveKeysPrefsIn(const std::string& folder, const KeyMapTable& map, bool silent) {
    std::string dir = folder;
    if (!dir.empty() && dir.back() == '/')
        dir.pop_back();
    const std::string path = dir + "/" + kKeysPrefsFile;
    const int code = CatchFail([&] {
        // A fresh preferences folder may be missing, and so may its parents.
        if (plat::GetFileAttributes(dir.c_str()) == plat::INVALID_FILE_ATTRIBUTES) {
            std::error_code ec;
            std::filesystem::create_directories(plat::NativePath(dir), ec);
        }
        SaveKeyMapFile(path, map);
    });
    if (code == 0)
        return true;
    if (!silent) {
        ErrorAlert(code);
        NoteAlert(kPrefsSaveFailedString);
    }
    return false;
}

bool SaveKeysPrefs(bool silent) {
    if (CQVApp::instance().m_Embedded)
        return false;
    return SaveKeysPrefsIn(PrefsFolderPath(), KeyMap, silent);
}

int32_t RunKeyboardEquivalentsDlg(std::uintptr_t record) {
    return LaunchDialog(kKeyboardDialogId, &KeyboardEquivalentsDlgProc, record);
}

int32_t RunRevertToOriginalDlg(std::uintptr_t unused) {
    return LaunchDialog(kRevertKeysDialogId, &RevertToOriginalDlgProc, unused);
}

plat::INT_PTR KeyboardEquivalentsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                         plat::LPARAM lParam) {
    return HandleDialogFrame(keyboardFrame(), dialog, message, wParam, lParam);
}

plat::INT_PTR RevertToOriginalDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam) {
    return HandleDialogFrame(revertFrame(), dialog, message, wParam, lParam);
}

void CustomizeKeyboard() {
    WorkingKeyMap = KeyMap;
    TheKeyboardRecord = KeyboardEquivalentsDlgRecord{};
    SelectedKey = TheKeyboardRecord.key;
    SelectedKeyAppliesToPrevious = false;
    for (;;) {
        const int32_t result = ResultAsCancel(
            RunKeyboardEquivalentsDlg(reinterpret_cast<std::uintptr_t>(&TheKeyboardRecord)));
        const int32_t* entry = selectedEntry();
        const int32_t current = entry != nullptr ? *entry : 0;
        switch (result) {
        case 0:
            return;
        case 1:
            KeyMap = WorkingKeyMap;
            SaveKeysPrefs(false);
            return;
        case kKeyboardResultInsert:
            storeChosen(InsertSomethingDialog(current & kCmdCodeMask));
            break;
        case kKeyboardResultFont:
            if (KeyboardFontCommandChooser != nullptr)
                storeChosen(KeyboardFontCommandChooser(current));
            else
                NotYetImplemented();
            break;
        case kKeyboardResultSecondary:
            storeChosen(RunSecondaryCommand(current));
            break;
        case kKeyboardResultPrint:
            PrintKeyAssignments(WorkingKeyMap);
            break;
        case kKeyboardResultRevert:
            // Only a real OK reverts: a dialog that could not be made counts as Cancel.
            if (RunRevertToOriginalDlg(0) == 1)
                RevertKeyMapToTyping(WorkingKeyMap);
            break;
        default:
            break;
        }
    }
}
