#include "Dialogs/PicturePrefsDialogs.h"

#include "Dialogs/DialogRecordItems.h"
#include "Dialogs/PopupCombo.h"
#include "Dialogs/PrefsSaving.h"
#include "ExprSrcs/EPane.h"
#include "OverPc/PFONTS.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/oPixMap.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/PMENU.h"
#include "plat/Dialog.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::array<int32_t, 2> kClipboardTypeValues{0, 1};
constexpr std::array<int32_t, 2> kOutputTypeValues{0, kSimplifiedPostScript};
constexpr std::array<int32_t, 5> kPaletteSizeValues{0, kPopupSeparator, 1, 2, 3};
constexpr std::array<int32_t, 4> kEmbedFontsValues{0, 1, 2, 3};
constexpr std::array<int32_t, 4> kFontBlockTargetValues{0, kPopupSeparator, 1, 2};

// The resolution a metafile gets when none is typed.
constexpr int32_t kDefaultMetafileResolution = 2540;

template <class Record> Record shownRecord(int dialogId) {
    const Record* record = DialogRecord<Record>(dialogId);
    return record != nullptr ? *record : Record{};
}

void showText(int dialogId, int editId) {
    if (const DialogText* text = DialogRecord<DialogText>(dialogId)) {
        char shown[kDialogTextSize + 1] = {};
        std::memcpy(shown, text->data(), text->size());
        SetItemText(editId, shown);
    }
}

void readText(int editId, DialogText& text) {
    text.fill('\0');
    CopyItemTextToField(editId, text.data(), text.size());
}

// The output type now chosen in the popup; -1 when it shows no entry.
int32_t chosenOutputType() {
    return ReadPopupValue(kEpsOutputTypeItem, GetPopupMenu(kEpsOutputTypeMenu),
                          kOutputTypeValues.data(), static_cast<int>(kOutputTypeValues.size()), -1);
}

const DialogFrame& epsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEpsPrefsDialogId;
        f.checkBoxes = {kEpsScreenFontNamesItem, kEpsUnifyOutputItem};
        // A press on the popup's label, "PostScript Type:", applies the entry the popup shows.
        f.labels = {{{141, 81, 379, 99}, kEpsOutputTypeItem}};
        f.init = [](plat::HWND) {
            const auto r = shownRecord<EpsPrefsDlgRecord>(kEpsPrefsDialogId);
            SetCheck(kEpsScreenFontNamesItem, r.useScreenFontNames != 0);
            SetCheck(kEpsUnifyOutputItem, r.unifyOutput != 0);
            char shown[kDialogTextSize + 1] = {};
            std::memcpy(shown, r.resolution.data(), r.resolution.size());
            SetItemText(kEpsResolutionItem, shown);
            SetupPopupFromMenu(kEpsClipboardTypeMenu, nullptr, nullptr, kEpsClipboardTypeItem,
                               kClipboardTypeValues.data(), r.clipboardType,
                               static_cast<int>(kClipboardTypeValues.size()));
            SetupPopupFromMenu(kEpsOutputTypeMenu, nullptr, nullptr, kEpsOutputTypeItem,
                               kOutputTypeValues.data(), r.outputType,
                               static_cast<int>(kOutputTypeValues.size()));
            UpdateEpsPrefsControls(r.outputType);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            static bool running = false;
            if (id != kEpsOutputTypeItem || running)
                return;
            // With no entry shown there is no choice to apply: the boxes stay as they opened.
            const int32_t type = chosenOutputType();
            if (type < 0)
                return;
            running = true;
            UpdateEpsPrefsControls(type);
            running = false;
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<EpsPrefsDlgRecord>(kEpsPrefsDialogId);
            if (r == nullptr)
                return;
            r->useScreenFontNames = CheckByte(kEpsScreenFontNamesItem);
            r->unifyOutput = CheckByte(kEpsUnifyOutputItem);
            readText(kEpsResolutionItem, r->resolution);
            r->clipboardType =
                ReadPopupValue(kEpsClipboardTypeItem, GetPopupMenu(kEpsClipboardTypeMenu),
                               kClipboardTypeValues.data(),
                               static_cast<int>(kClipboardTypeValues.size()), r->clipboardType);
            r->outputType = ReadPopupValue(
                kEpsOutputTypeItem, GetPopupMenu(kEpsOutputTypeMenu), kOutputTypeValues.data(),
                static_cast<int>(kOutputTypeValues.size()), r->outputType);
        };
        return f;
    }();
    return frame;
}

void showField(int editId, const DialogText& text) {
    char shown[kDialogTextSize + 1] = {};
    std::memcpy(shown, text.data(), text.size());
    SetItemText(editId, shown);
}

const DialogFrame& pictFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kPictPrefsDialogId;
        f.radioGroups = {{kPictPureCommandsItem, kPictBitmapsOnlyItem}};
        f.checkBoxes = {kPictEmbedPostScriptItem};
        f.init = [](plat::HWND) {
            const auto r = shownRecord<PictPrefsDlgRecord>(kPictPrefsDialogId);
            SetRadioGroup(kPictPureCommandsItem, kPictBitmapsOnlyItem, r.choice);
            SetCheck(kPictEmbedPostScriptItem, r.embedPostScript != 0);
            showField(kPictResolutionItem, r.resolution);
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<PictPrefsDlgRecord>(kPictPrefsDialogId);
            if (r == nullptr)
                return;
            ReadRadio(kPictPureCommandsItem, kPictBitmapsOnlyItem, r->choice);
            r->embedPostScript = CheckByte(kPictEmbedPostScriptItem);
            readText(kPictResolutionItem, r->resolution);
        };
        return f;
    }();
    return frame;
}

const DialogFrame& fontBlockFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kFontBlockPrefsDialogId;
        f.checkBoxes = {kFontBlockArtworkItem, kFontBlockListingItem};
        f.init = [](plat::HWND) {
            const auto r = shownRecord<FontBlockPrefsDlgRecord>(kFontBlockPrefsDialogId);
            showField(kFontBlockHeightItem, r.height);
            showField(kFontBlockWidthItem, r.width);
            SetCheck(kFontBlockArtworkItem, r.useArtwork != 0);
            SetCheck(kFontBlockListingItem, r.listFonts != 0);
            SetupPopupFromMenu(kFontBlockEmbedMenu, nullptr, nullptr, kFontBlockEmbedItem,
                               kEmbedFontsValues.data(), r.embedFonts,
                               static_cast<int>(kEmbedFontsValues.size()));
            SetupPopupFromMenu(kFontBlockTargetMenu, nullptr, nullptr, kFontBlockTargetItem,
                               kFontBlockTargetValues.data(), r.target,
                               static_cast<int>(kFontBlockTargetValues.size()));
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<FontBlockPrefsDlgRecord>(kFontBlockPrefsDialogId);
            if (r == nullptr)
                return;
            readText(kFontBlockHeightItem, r->height);
            readText(kFontBlockWidthItem, r->width);
            r->useArtwork = CheckByte(kFontBlockArtworkItem);
            r->listFonts = CheckByte(kFontBlockListingItem);
            r->embedFonts = ReadPopupValue(
                kFontBlockEmbedItem, GetPopupMenu(kFontBlockEmbedMenu), kEmbedFontsValues.data(),
                static_cast<int>(kEmbedFontsValues.size()), r->embedFonts);
            r->target = ReadPopupValue(kFontBlockTargetItem, GetPopupMenu(kFontBlockTargetMenu),
                                       kFontBlockTargetValues.data(),
                                       static_cast<int>(kFontBlockTargetValues.size()), r->target);
        };
        return f;
    }();
    return frame;
}

const DialogFrame& newWindowFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kNewWindowPrefsDialogId;
        f.init = [](plat::HWND) {
            const auto r = shownRecord<NewWindowPrefsDlgRecord>(kNewWindowPrefsDialogId);
            showField(kNewWindowBottomItem, r.bottom);
            showField(kNewWindowTopItem, r.top);
            showField(kNewWindowRightItem, r.right);
            showField(kNewWindowLeftItem, r.left);
        };
        f.writeBack = [](plat::HWND) {
            auto* r = DialogRecord<NewWindowPrefsDlgRecord>(kNewWindowPrefsDialogId);
            if (r == nullptr)
                return;
            readText(kNewWindowBottomItem, r->bottom);
            readText(kNewWindowTopItem, r->top);
            readText(kNewWindowRightItem, r->right);
            readText(kNewWindowLeftItem, r->left);
        };
        return f;
    }();
    return frame;
}

DialogFrame resolutionFrame(int id, int editId) {
    DialogFrame f;
    f.id = id;
    f.init = [id, editId](plat::HWND) { showText(id, editId); };
    f.writeBack = [id, editId](plat::HWND) {
        if (DialogText* text = DialogRecord<DialogText>(id))
            readText(editId, *text);
    };
    return f;
}

const DialogFrame& symbolFontFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kSymbolFontPrefsDialogId;
        f.radioGroups = {{kSymbolFontFirst, kSymbolFontLast}};
        f.init = [](plat::HWND) {
            const auto r = shownRecord<SymbolFontPrefsDlgRecord>(kSymbolFontPrefsDialogId);
            SetRadioGroup(kSymbolFontFirst, kSymbolFontLast, r.choice);
        };
        f.writeBack = [](plat::HWND) {
            if (auto* r = DialogRecord<SymbolFontPrefsDlgRecord>(kSymbolFontPrefsDialogId))
                ReadRadio(kSymbolFontFirst, kSymbolFontLast, r->choice);
        };
        return f;
    }();
    return frame;
}

const DialogFrame& paletteSizeFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kPaletteSizePrefsDialogId;
        f.init = [](plat::HWND) {
            const auto r = shownRecord<PaletteSizePrefsDlgRecord>(kPaletteSizePrefsDialogId);
            SetupPopupFromMenu(kPaletteSizeMenu, nullptr, nullptr, kPaletteSizeItem,
                               kPaletteSizeValues.data(), r.size,
                               static_cast<int>(kPaletteSizeValues.size()));
        };
        f.writeBack = [](plat::HWND) {
            if (auto* r = DialogRecord<PaletteSizePrefsDlgRecord>(kPaletteSizePrefsDialogId))
                r->size = ReadPopupValue(kPaletteSizeItem, GetPopupMenu(kPaletteSizeMenu),
                                         kPaletteSizeValues.data(),
                                         static_cast<int>(kPaletteSizeValues.size()), r->size);
        };
        return f;
    }();
    return frame;
}

bool accepted(int32_t result) {
    return ResultAsCancel(result) == 1;
}

void keepInRange(std::string_view tag, int field, int32_t low, int32_t high, int32_t replacement) {
    const int32_t value = GeneralPrefValue(tag, field);
    if (value < low || value > high)
        SetGeneralPrefValue(tag, field, replacement);
}

void formatInto(DialogText& text, int32_t value) {
    std::snprintf(text.data(), text.size(), "%d", value);
}

} // namespace

void UpdateEpsPrefsControls(int32_t outputType) {
    const bool simplified = outputType == kSimplifiedPostScript;
    for (const int id : {kEpsScreenFontNamesItem, kEpsUnifyOutputItem}) {
        if (!simplified)
            SetCheck(id, false);
        EnableItem(id, simplified);
    }
}

int32_t RunEpsPrefsDlg(EpsPrefsDlgRecord* record) {
    return LaunchWithRecord(kEpsPrefsDialogId, &EpsPrefsDlgProc, record);
}
plat::INT_PTR EpsPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                              plat::LPARAM lParam) {
    return HandleDialogFrame(epsFrame(), dialog, message, wParam, lParam);
}

int32_t RunBitmapPrefsDlg(DialogText* resolution) {
    return LaunchWithRecord(kBitmapPrefsDialogId, &BitmapPrefsDlgProc, resolution);
}
plat::INT_PTR BitmapPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam) {
    static const DialogFrame frame = resolutionFrame(kBitmapPrefsDialogId, kBitmapResolutionItem);
    return HandleDialogFrame(frame, dialog, message, wParam, lParam);
}

int32_t RunMetafilePrefsDlg(DialogText* resolution) {
    return LaunchWithRecord(kMetafilePrefsDialogId, &MetafilePrefsDlgProc, resolution);
}
plat::INT_PTR MetafilePrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam) {
    static const DialogFrame frame =
        resolutionFrame(kMetafilePrefsDialogId, kMetafileResolutionItem);
    return HandleDialogFrame(frame, dialog, message, wParam, lParam);
}

int32_t RunPictPrefsDlg(PictPrefsDlgRecord* record) {
    return LaunchWithRecord(kPictPrefsDialogId, &PictPrefsDlgProc, record);
}
plat::INT_PTR PictPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                               plat::LPARAM lParam) {
    return HandleDialogFrame(pictFrame(), dialog, message, wParam, lParam);
}

int32_t RunFontBlockPrefsDlg(FontBlockPrefsDlgRecord* record) {
    return LaunchWithRecord(kFontBlockPrefsDialogId, &FontBlockPrefsDlgProc, record);
}
plat::INT_PTR FontBlockPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                    plat::LPARAM lParam) {
    return HandleDialogFrame(fontBlockFrame(), dialog, message, wParam, lParam);
}

int32_t RunNewWindowPrefsDlg(NewWindowPrefsDlgRecord* record) {
    return LaunchWithRecord(kNewWindowPrefsDialogId, &NewWindowPrefsDlgProc, record);
}
plat::INT_PTR NewWindowPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                    plat::LPARAM lParam) {
    return HandleDialogFrame(newWindowFrame(), dialog, message, wParam, lParam);
}

int32_t RunSymbolFontPrefsDlg(SymbolFontPrefsDlgRecord* record) {
    return LaunchWithRecord(kSymbolFontPrefsDialogId, &SymbolFontPrefsDlgProc, record);
}
plat::INT_PTR SymbolFontPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam) {
    return HandleDialogFrame(symbolFontFrame(), dialog, message, wParam, lParam);
}

int32_t RunPaletteSizePrefsDlg(PaletteSizePrefsDlgRecord* record) {
    return LaunchWithRecord(kPaletteSizePrefsDialogId, &PaletteSizePrefsDlgProc, record);
}
plat::INT_PTR PaletteSizePrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam) {
    return HandleDialogFrame(paletteSizeFrame(), dialog, message, wParam, lParam);
}

// ---- Commands

void ChooseEpsPrefs() {
    keepInRange("Ep", kEpsClipboardTypeField, 0, 2, 0);
    keepInRange("Ep", kEpsOutputTypeField, 0, 4, 0);
    keepInRange("Ep", kEpsFurtherField1, 0, 2, 0);
    keepInRange("Ep", kEpsFurtherField2, 0, 4, 0);
    EpsPrefsDlgRecord r;
    r.useScreenFontNames = GeneralPrefValue("Ep", kEpsScreenFontNamesField) != 0 ? 1 : 0;
    r.unifyOutput = GeneralPrefValue("Ep", kEpsUnifyOutputField) != 0 ? 1 : 0;
    formatInto(r.resolution, GeneralPrefValue("Ep", kEpsResolutionField));
    r.clipboardType = GeneralPrefValue("Ep", kEpsClipboardTypeField);
    r.outputType = GeneralPrefValue("Ep", kEpsOutputTypeField);
    if (!accepted(RunEpsPrefsDlg(&r)))
        return;
    SetGeneralPrefValue("Ep", kEpsClipboardTypeField, r.clipboardType);
    SetGeneralPrefValue("Ep", kEpsResolutionField, ParseItemInt(r.resolution.data()));
    SetGeneralPrefValue("Ep", kEpsScreenFontNamesField, r.useScreenFontNames);
    SetGeneralPrefValue("Ep", kEpsUnifyOutputField, r.unifyOutput);
    SetGeneralPrefValue("Ep", kEpsOutputTypeField, r.outputType);
    SaveGeneralPrefsAfterChange();
}

void ChooseBitmapPrefs() {
    keepInRange("Bi", 1, 0, 4, 0);
    keepInRange("Bi", 0, 0, 999, 72);
    DialogText text{};
    formatInto(text, GeneralPrefValue("Bi", 0));
    if (!accepted(RunBitmapPrefsDlg(&text)))
        return;
    // Only an empty (or non-numeric) resolution is replaced; any other number is kept as typed,
    // and the picture code takes one it cannot draw at as its default.
    const int32_t dpi = ParseItemInt(text.data());
    SetGeneralPrefValue("Bi", 0, dpi != 0 ? dpi : PictPortDotsPerInch(0));
    SaveGeneralPrefsAfterChange();
}

void ChooseMetafilePrefs() {
    DialogText text{};
    formatInto(text, GeneralPrefValue("Mf", 0));
    if (!accepted(RunMetafilePrefsDlg(&text)))
        return;
    const int32_t dpi = ParseItemInt(text.data());
    SetGeneralPrefValue("Mf", 0, dpi != 0 ? dpi : kDefaultMetafileResolution);
    SaveGeneralPrefsAfterChange();
}

void ChooseSymbolFont() {
    const uint8_t before = RudizeSetting != 0 ? 1 : 0;
    SymbolFontPrefsDlgRecord r{before};
    if (!accepted(RunSymbolFontPrefsDlg(&r)))
        return;
    const uint8_t choice = r.choice == 1 ? 1 : (r.choice == 0 ? 0 : before);
    if (choice == before)
        return;
    RudizeSetting = choice;
    RebuildFontManager();
    SymbolFaceReplacement = {};
    if (choice != 0 && FaceIdOfName("Symbol") >= 0)
        SymbolFaceReplacement = {static_cast<int16_t>(FaceIdOfName("Symbol")),
                                 static_cast<int16_t>(FaceIdOfName("Rudize"))};
    RefreshAllPanes();
}

void ChoosePaletteSize() {
    PaletteSizePrefsDlgRecord r{GeneralPrefValue("Bz", 0)};
    if (!accepted(RunPaletteSizePrefsDlg(&r)))
        return;
    SetGeneralPrefValue("Bz", 0, r.size);
    SaveGeneralPrefsAfterChange();
    // The first run closes an open window, the second builds it again at the new size; a closed
    // window is opened by the first and closed by the second.
    for (int i = 0; i < 2; ++i) {
        SetPaletteWindowWanted(true);
        ShowPaletteWindow();
    }
}

void ChooseNewWindowPrefs() {
    // The "Nw" fields: left, top, right, bottom.
    NewWindowPrefsDlgRecord r;
    formatInto(r.left, GeneralPrefValue("Nw", 0));
    formatInto(r.top, GeneralPrefValue("Nw", 1));
    formatInto(r.right, GeneralPrefValue("Nw", 2));
    formatInto(r.bottom, GeneralPrefValue("Nw", 3));
    if (!accepted(RunNewWindowPrefsDlg(&r)))
        return;
    const auto within = [](int32_t value, int32_t low, int32_t high, int32_t otherwise) {
        return value < low || value > high ? otherwise : value;
    };
    int32_t left = within(ParseItemInt(r.left.data()), 0, 1000, 5);
    int32_t top = within(ParseItemInt(r.top.data()), 0, 1000, 170);
    int32_t right = within(ParseItemInt(r.right.data()), 50, 1000, 400);
    int32_t bottom = within(ParseItemInt(r.bottom.data()), 50, 1000, 400);
    if (right <= left) {
        left = 5;
        right = 500;
    }
    if (bottom <= top) {
        top = 170;
        bottom = 500;
    }
    SetGeneralPrefValue("Nw", 0, left);
    SetGeneralPrefValue("Nw", 1, top);
    SetGeneralPrefValue("Nw", 2, right);
    SetGeneralPrefValue("Nw", 3, bottom);
    SaveGeneralPrefsAfterChange();
}
