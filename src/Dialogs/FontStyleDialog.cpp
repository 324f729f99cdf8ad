#include "Dialogs/FontStyleDialog.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/FontCommandDialogs.h"
#include "Dialogs/PopupCombo.h"
#include "ExprSrcs/EPane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oListBox.h"
#include "OverSrcs/commands/kEdit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

const int32_t kStyleChangeValues[kStyleChangeCount] = {kStyleOn, kStyleOff, kPopupSeparator,
                                                       kStyleInherit};
const int32_t kItalicChangeValues[kItalicChangeCount] = {
    kItalicOn,  kItalicLetters,  kItalicLettersNotFunctions,
    kItalicOff, kPopupSeparator, kStyleInherit};

namespace {

// The popups' menus of the open dialog, for reading the choices back.
plat::HMENU s_styleMenu = nullptr;
plat::HMENU s_italicMenu = nullptr;

FontStyleSizeRecord* currentRecord() {
    return DialogRecord<FontStyleSizeRecord>(kFontStyleDialogId);
}

void makeFaceList(FontStyleSizeRecord& record) {
    if (record.faceList == nullptr)
        record.faceList = CreateFontListBox(kFontStyleFaceList, record.selectFace);
}

void onCommand(plat::HWND, int id, int, plat::HWND) {
    FontStyleSizeRecord* record = currentRecord();
    if (id == kFontStyleSameFamily) {
        // Keeping the family and choosing a face exclude each other: the box always ends checked
        // and the face list without a choice.
        ToggleCheck(kFontStyleSameFamily);
        if (record != nullptr && record->faceList != nullptr)
            record->faceList->setSelection(-1);
        SetCheck(kFontStyleSameFamily, true);
        return;
    }
    if (id != kFontStyleFaceList || record == nullptr || record->faceList == nullptr)
        return;
    if (!record->faceList->handleNotify() || DialogCallbackBusy != 0)
        return;
    DialogCallbackBusy = 1;
    SetCheck(kFontStyleSameFamily, false);
    // A double click is a choice and OK together.
    if (DoubleClickFlag != 0)
        DialogResult = 1;
    DialogCallbackBusy = 0;
}

const DialogFrame& fontStyleFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kFontStyleDialogId;
        f.radioGroups = {{kFontStyleSizeFirst, kFontStyleSizeLast}};
        f.lists = {kFontStyleFaceList};
        f.labels = {{{13, 77, 207, 179}, kFontStyleFaceList},
                    {{29, 185, 231, 203}, kFontStyleSameFamily}};
        f.measureList = [](plat::HWND, plat::MEASUREITEMSTRUCT& measure) {
            FontStyleSizeRecord* record = currentRecord();
            if (record == nullptr || measure.CtlID != static_cast<plat::UINT>(kFontStyleFaceList))
                return;
            makeFaceList(*record);
            if (record->faceList != nullptr)
                record->faceList->measureItem(measure);
        };
        f.drawList = [](plat::HWND, const plat::DRAWITEMSTRUCT& draw) {
            FontStyleSizeRecord* record = currentRecord();
            if (record != nullptr && record->faceList != nullptr &&
                draw.CtlID == static_cast<plat::UINT>(kFontStyleFaceList))
                record->faceList->drawItem(draw);
        };
        f.init = [](plat::HWND) {
            FontStyleSizeRecord* record = currentRecord();
            const FontStyleSizeRecord empty;
            const FontStyleSizeRecord& r = record != nullptr ? *record : empty;
            if (record != nullptr) {
                makeFaceList(*record);
                if (record->faceList != nullptr)
                    record->faceList->fillItems();
            }
            SetCheck(kFontStyleSameFamily, r.sameFamily != 0);
            SetRadioGroup(kFontStyleSizeFirst, kFontStyleSizeLast, r.sizeMode);
            SetItemText(kFontStyleSizeText, r.sizeText);
            SetupPopupFromMenu(kStyleChangeMenu, &s_styleMenu, nullptr, kFontStyleBoldItem,
                               kStyleChangeValues, r.bold, kStyleChangeCount);
            SetupPopupFromMenu(kItalicChangeMenu, &s_italicMenu, nullptr, kFontStyleItalicItem,
                               kItalicChangeValues, r.italic, kItalicChangeCount);
            SetupPopupFromMenu(kStyleChangeMenu, nullptr, nullptr, kFontStyleUnderlineItem,
                               kStyleChangeValues, r.underline, kStyleChangeCount);
            SetupPopupFromMenu(kStyleChangeMenu, nullptr, nullptr, kFontStyleCompressionItem,
                               kStyleChangeValues, r.compression, kStyleChangeCount);
            SetEditSelection(kFontStyleSizeText, 0, 32000);
            if (r.title != nullptr)
                SetItemText(kFontStyleTitleItem, r.title);
        };
        f.command = &onCommand;
        f.writeBack = [](plat::HWND) {
            FontStyleSizeRecord* record = currentRecord();
            if (record == nullptr)
                return;
            record->faceIndex = record->faceList != nullptr ? record->faceList->getSelection() : -1;
            record->sameFamily = IsChecked(kFontStyleSameFamily) ? 1 : 0;
            const int mode = GetRadioIndex(kFontStyleSizeFirst, kFontStyleSizeLast);
            if (mode >= 0)
                record->sizeMode = mode;
            CopyItemTextToField(kFontStyleSizeText, record->sizeText, sizeof record->sizeText);
            record->bold = ReadPopupValue(kFontStyleBoldItem, s_styleMenu, kStyleChangeValues,
                                          kStyleChangeCount, record->bold);
            record->italic = ReadPopupValue(kFontStyleItalicItem, s_italicMenu, kItalicChangeValues,
                                            kItalicChangeCount, record->italic);
            record->underline =
                ReadPopupValue(kFontStyleUnderlineItem, s_styleMenu, kStyleChangeValues,
                               kStyleChangeCount, record->underline);
            record->compression =
                ReadPopupValue(kFontStyleCompressionItem, s_styleMenu, kStyleChangeValues,
                               kStyleChangeCount, record->compression);
        };
        f.destroy = [](plat::HWND) {
            if (FontStyleSizeRecord* record = currentRecord()) {
                delete record->faceList;
                record->faceList = nullptr;
            }
            s_styleMenu = nullptr;
            s_italicMenu = nullptr;
        };
        return f;
    }();
    return frame;
}

const DialogFrame& moreStylesFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kMoreStylesDialogId;
        return f;
    }();
    return frame;
}

// A style byte as its popup shows it: the three values it offers, the second inherit value as
// "same", anything else as "off".
int32_t styleChoice(uint8_t value) {
    if (value == kStyleInheritToo)
        return kStyleInherit;
    return value <= kStyleInherit ? value : kStyleOff;
}

int32_t italicChoice(uint8_t mode) {
    if (mode == kStyleInheritToo)
        return kStyleInherit;
    return mode <= kItalicLettersNotFunctions ? mode : kItalicOff;
}

// Every compression mode other than 0 measures the ink, which is what "on" stands for.
int32_t compressionChoice(uint8_t mode) {
    if (mode == kStyleInherit || mode == kStyleInheritToo)
        return kStyleInherit;
    return mode == kStyleOff ? kStyleOff : kStyleOn;
}

void setSizeText(FontStyleSizeRecord& record, int32_t value) {
    std::snprintf(record.sizeText, sizeof record.sizeText, "%d", static_cast<int>(value));
}

// The size typed in the dialog, clamped; `clamped` tells whether a limit applied.
int32_t parsedSize(const FontStyleSizeRecord& result, bool& clamped) {
    const int64_t typed = ParseItemInt(result.sizeText);
    int64_t size = 0;
    int64_t low = 0;
    int64_t high = 0;
    switch (result.sizeMode) {
    case kSizeModeSmaller:
        size = int64_t{kSizeInherit} - typed;
        low = kSizeRelativeMin;
        high = kSizeRelativeMax;
        break;
    case kSizeModeLarger:
        size = int64_t{kSizeInherit} + typed;
        low = kSizeRelativeMin;
        high = kSizeRelativeMax;
        break;
    default:
        size = typed;
        low = std::max<int64_t>(MinimumFontSize, 1);
        high = std::max<int64_t>(kMaxStepSize, low);
        break;
    }
    const int64_t kept = std::clamp(size, low, high);
    clamped = kept != size;
    return static_cast<int32_t>(kept);
}

} // namespace

int32_t RunFontStyleSizeDlg(FontStyleSizeRecord* record) {
    return LaunchDialog(kFontStyleDialogId, &FontStyleSizeDlgProc,
                        reinterpret_cast<std::uintptr_t>(record));
}

plat::INT_PTR FontStyleSizeDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam) {
    return HandleDialogFrame(fontStyleFrame(), dialog, message, wParam, lParam);
}

int32_t RunMoreStylesDlg(std::uintptr_t argument) {
    return LaunchDialog(kMoreStylesDialogId, &MoreStylesDlgProc, argument);
}

plat::INT_PTR MoreStylesDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam) {
    return HandleDialogFrame(moreStylesFrame(), dialog, message, wParam, lParam);
}

void FillFontStyleSizeRecord(const FSSRecord& style, const char* defaultFace,
                             FontStyleSizeRecord& record) {
    record = FontStyleSizeRecord{};
    const std::string name(style.fontName, strnlen(style.fontName, sizeof style.fontName));
    const bool keepFamily = name.empty() || name == kFontInherit || name == kFontUnknown;
    record.sameFamily = keepFamily ? 1 : 0;
    const char* face = keepFamily ? defaultFace : name.c_str();
    if (face != nullptr)
        std::snprintf(record.selectFace, sizeof record.selectFace, "%s", face);

    if (!IsRelativeSize(style.size)) {
        record.sizeMode = kSizeModePoints;
        // The reset marker stands for the base size.
        setSizeText(record, style.size == kSizeReset ? BaseStyleSize() : style.size);
    } else {
        const int64_t steps = int64_t{style.size} - kSizeInherit;
        record.sizeMode = steps < 0 ? kSizeModeSmaller : kSizeModeLarger;
        setSizeText(record, static_cast<int32_t>(steps < 0 ? -steps : steps));
    }
    record.bold = styleChoice(style.style[kStyleBold]);
    record.italic = italicChoice(style.italicMode());
    record.underline = styleChoice(style.style[kStyleUnderline]);
    record.compression = compressionChoice(style.inkMode());
}

bool ApplyFontStyleSizeRecord(const FontStyleSizeRecord& shown, const FontStyleSizeRecord& result,
                              const char* chosenFace, FSSRecord& style) {
    if (result.sameFamily != 0)
        SetFSSFontName(style, kFontInherit);
    else if (chosenFace != nullptr && chosenFace[0] != '\0' &&
             !(shown.sameFamily == 0 && result.faceIndex == shown.faceIndex &&
               shown.faceIndex >= 0))
        SetFSSFontName(style, chosenFace);
    // Otherwise no face is chosen (the rule's face is not installed) or the face shown is kept:
    // the rule's own name stays.

    bool clamped = false;
    const bool sizeAsShown = result.sizeMode == shown.sizeMode &&
                             std::strncmp(result.sizeText, shown.sizeText, kSizeTextSize) == 0;
    if (!sizeAsShown)
        style.size = parsedSize(result, clamped);

    if (result.bold != shown.bold)
        style.style[kStyleBold] = static_cast<uint8_t>(result.bold);
    if (result.italic != shown.italic) {
        style.setItalicMode(static_cast<uint8_t>(result.italic));
        // The italic byte follows the mode: inherit, off, or on for every italic mode.
        style.style[kStyleItalic] = result.italic == kStyleInherit ? kStyleInherit
                                    : result.italic == kItalicOff  ? kStyleOff
                                                                   : kStyleOn;
    }
    if (result.underline != shown.underline)
        style.style[kStyleUnderline] = static_cast<uint8_t>(result.underline);
    if (result.compression != shown.compression)
        style.setInkMode(static_cast<uint8_t>(result.compression));
    return clamped;
}

bool RunFSSDialogOn(FSSRecord& style, const char* title) {
    const FSSRecord& base = StyleTable[0];
    const std::string baseFace(base.fontName, strnlen(base.fontName, sizeof base.fontName));
    const bool baseNamed =
        !baseFace.empty() && baseFace != kFontInherit && baseFace != kFontUnknown;
    FontStyleSizeRecord record;
    FillFontStyleSizeRecord(style, baseNamed ? baseFace.c_str() : nullptr, record);
    record.title = title;
    FontStyleSizeRecord shown = record;
    // The row the dialog opens on, so that leaving it chosen keeps the rule's own name.
    shown.faceIndex = -1;
    if (shown.sameFamily == 0 && TheFontManager() != nullptr && record.selectFace[0] != '\0')
        shown.faceIndex = TheFontManager()->findFace(record.selectFace);
    const int32_t result = ResultAsCancel(RunFontStyleSizeDlg(&record));
    delete record.faceList; // normally gone with the dialog
    record.faceList = nullptr;
    if (result == 0)
        return false;
    char face[kFontFaceNameSize] = {};
    const int32_t faces = TheFontManager() != nullptr ? TheFontManager()->faceCount() : 0;
    if (record.faceIndex >= 0 && record.faceIndex < faces)
        FaceNameAtPosition(record.faceIndex, face);
    if (ApplyFontStyleSizeRecord(shown, record, face, style))
        Beep();
    return true;
}

bool RunFSSDialog(int32_t, const char* title) {
    return RunFSSDialogOn(SharedStyleRecord, title);
}

void ChooseBaseFont() {
    FSSRecord base = StyleTable[0];
    if (!RunFSSDialogOn(base, LoadResString(kBaseFontTitleString)))
        return;
    StyleTable[0] = base;
    if (SaveGeneralPrefsHook != nullptr)
        SaveGeneralPrefsHook();
    RefreshAllPanes();
}

void InstallFontStyleDialog() {
    TheCommandHooks().askFont = [](int32_t flags, int32_t titleStringId) {
        return RunFSSDialog(flags, LoadResString(titleStringId));
    };
}
