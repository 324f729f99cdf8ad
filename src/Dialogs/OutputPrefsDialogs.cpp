#include "Dialogs/OutputPrefsDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/DialogRecordItems.h"
#include "Dialogs/PopupCombo.h"
#include "Dialogs/PrefsSaving.h"
#include "ExprSrcs/EPane.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/PMENU.h"
#include "plat/Menu.h"
#include "plat/Resources.h"

#include <array>

namespace {

template <class Record> int32_t launch(int id, plat::DLGPROC proc, Record* record) {
    return LaunchDialog(id, proc, reinterpret_cast<std::uintptr_t>(record));
}

// Save type of each radio index of "Saving Preferences".
constexpr std::array<int32_t, 7> kSaveTypes{1, 2, 3, 4, 12, 13, 6};

// Copy format of each radio index of "Copy Set Preferences"; the last stands for 20 + the
// application's value.
constexpr int32_t kApplicationBase = 20;
constexpr std::array<int32_t, 12> kCopyFormats{4, 5, 17, 21, 11, 15, 16, 1, 8, 9, 10, 20};

// Values of the "Other Apps" menu, one per menu position.
constexpr int32_t S = kPopupSeparator;
constexpr std::array<int32_t, 19> kOtherAppsValues{0, S, 1,  S,  3,  4,  5, 6,  7, 8,
                                                   S, 9, 10, 11, 12, 13, S, 21, 22};
plat::HMENU s_otherAppsMenu = nullptr;

// Values of the "Smooth Redraw Amount" menu.
constexpr std::array<int32_t, 4> kSmoothingValues{0, 1, 2, 3};
plat::HMENU s_smoothingMenu = nullptr;

// The "Pn" and "Qv" fields.
constexpr int kPngImgTagField = 0;
constexpr int kPngMathSpeakField = 1;
constexpr int kPngSmoothingField = 2;
constexpr int kPluginMathSpeakField = 0;
constexpr int kPluginSecondField = 1;

const DialogFrame& savingPrefsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kSavingPrefsDialogId;
        f.radioGroups = {{kSaveTypeFirstItem, kSaveTypeLastItem}};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<SavingPrefsDlgRecord>(kSavingPrefsDialogId);
            SetRadioGroup(kSaveTypeFirstItem, kSaveTypeLastItem, record ? record->choice : 0);
        };
        f.writeBack = [](plat::HWND) {
            if (auto* record = DialogRecord<SavingPrefsDlgRecord>(kSavingPrefsDialogId))
                ReadRadio(kSaveTypeFirstItem, kSaveTypeLastItem, record->choice);
        };
        return f;
    }();
    return frame;
}

const DialogFrame& copySetPrefsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kCopySetPrefsDialogId;
        f.radioGroups = {{kCopyFormatFirstItem, kCopyFormatLastItem}};
        // A press on the text beside the popup counts as a click on "Choose Application:".
        f.labels = {{{13, 325, 163, 343}, kCopyFormatLastItem}};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<CopySetPrefsDlgRecord>(kCopySetPrefsDialogId);
            const CopySetPrefsDlgRecord empty;
            const CopySetPrefsDlgRecord& r = record != nullptr ? *record : empty;
            SetupPopupFromMenu(kOtherAppsMenu, &s_otherAppsMenu, nullptr, kCopyApplicationItem,
                               kOtherAppsValues.data(), r.application,
                               static_cast<int>(kOtherAppsValues.size()));
            SetRadioGroup(kCopyFormatFirstItem, kCopyFormatLastItem, r.choice);
        };
        f.enablingRules = [](plat::HWND, int id) {
            if (id == kCopyFormatLastItem)
                EnableItem(kCopyApplicationItem, true);
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<CopySetPrefsDlgRecord>(kCopySetPrefsDialogId);
            if (record == nullptr)
                return;
            record->application =
                ReadPopupValue(kCopyApplicationItem, s_otherAppsMenu, kOtherAppsValues.data(),
                               static_cast<int>(kOtherAppsValues.size()), record->application);
            ReadRadio(kCopyFormatFirstItem, kCopyFormatLastItem, record->choice);
        };
        return f;
    }();
    return frame;
}

const DialogFrame& pngPrefsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kPngPrefsDialogId;
        f.checkBoxes = {kPngImgTagItem, kPngMathSpeakItem};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<PngPrefsDlgRecord>(kPngPrefsDialogId);
            const PngPrefsDlgRecord empty;
            const PngPrefsDlgRecord& r = record != nullptr ? *record : empty;
            SetCheck(kPngImgTagItem, r.copyImgTag != 0);
            SetCheck(kPngMathSpeakItem, r.mathSpeakInAlt != 0);
            SetupPopupFromMenu(kPngSmoothingMenu, &s_smoothingMenu, nullptr, kPngSmoothingItem,
                               kSmoothingValues.data(), r.smoothing,
                               static_cast<int>(kSmoothingValues.size()));
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<PngPrefsDlgRecord>(kPngPrefsDialogId);
            if (record == nullptr)
                return;
            record->copyImgTag = CheckByte(kPngImgTagItem);
            record->mathSpeakInAlt = CheckByte(kPngMathSpeakItem);
            record->smoothing =
                ReadPopupValue(kPngSmoothingItem, s_smoothingMenu, kSmoothingValues.data(),
                               static_cast<int>(kSmoothingValues.size()), record->smoothing);
        };
        return f;
    }();
    return frame;
}

const DialogFrame& pluginTagPrefsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kPluginTagPrefsDialogId;
        f.checkBoxes = {kPluginMathSpeakItem};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<PluginTagPrefsDlgRecord>(kPluginTagPrefsDialogId);
            SetCheck(kPluginMathSpeakItem, record != nullptr && record->addMathSpeak != 0);
        };
        f.writeBack = [](plat::HWND) {
            if (auto* record = DialogRecord<PluginTagPrefsDlgRecord>(kPluginTagPrefsDialogId))
                record->addMathSpeak = CheckByte(kPluginMathSpeakItem);
        };
        return f;
    }();
    return frame;
}

} // namespace

int32_t SaveTypeChoice(int32_t saveType) {
    // Type 1 and every type no button offers show the first button.
    for (size_t i = 1; i < kSaveTypes.size(); ++i)
        if (kSaveTypes[i] == saveType)
            return static_cast<int32_t>(i);
    return 0;
}

int32_t SaveTypeOfChoice(int32_t choice) {
    if (choice < 0 || choice >= static_cast<int32_t>(kSaveTypes.size()))
        return 2;
    return kSaveTypes[static_cast<size_t>(choice)];
}

CopySetPrefsDlgRecord CopySetChoiceOf(int32_t format) {
    CopySetPrefsDlgRecord r;
    for (size_t i = 0; i < kCopyFormats.size(); ++i) {
        if (kCopyFormats[i] == format) {
            r.choice = static_cast<int32_t>(i);
            break;
        }
    }
    // Formats past 20 are the applications' (21, from the Rich Text button too).
    if (format > kApplicationBase) {
        r.choice = kCopyFormatLastItem - kCopyFormatFirstItem;
        r.application = format - kApplicationBase;
    }
    return r;
}

int32_t CopyFormatOfChoice(const CopySetPrefsDlgRecord& record) {
    if (record.choice < 0 || record.choice >= static_cast<int32_t>(kCopyFormats.size()))
        return 0;
    const int32_t format = kCopyFormats[static_cast<size_t>(record.choice)];
    if (format != kApplicationBase)
        return format;
    // "Sans" (no application) copies with format 0.
    const int32_t withApplication = kApplicationBase + record.application;
    return withApplication > kApplicationBase ? withApplication : 0;
}

std::string CopyMenuLabel(int32_t format) {
    std::string name;
    if (format > kApplicationBase) {
        const plat::HMENU apps = GetPopupMenu(kOtherAppsMenu);
        for (size_t position = 0; apps != nullptr && position < kOtherAppsValues.size();
             ++position) {
            char text[256] = {};
            if (kOtherAppsValues[position] == format - kApplicationBase &&
                plat::GetMenuString(apps, static_cast<plat::UINT>(position), text, sizeof text,
                                    plat::MF_BYPOSITION) > 0)
                name = text;
        }
    } else if (format != 0 && format != kApplicationBase) {
        // The text of the format's button, as Copy Set Preferences shows it.
        const plat::ResDialog* dialog = plat::FindDialogTemplate(
            CQVApp::instance().m_hResources, plat::MAKEINTRESOURCE(kCopySetPrefsDialogId));
        for (size_t i = 0; dialog != nullptr && i < kCopyFormats.size(); ++i) {
            if (kCopyFormats[i] != format)
                continue;
            const auto id = static_cast<plat::UINT>(kCopyFormatFirstItem + static_cast<int>(i));
            for (plat::UINT k = 0; k < dialog->count; ++k)
                if (dialog->controls[k].id == id && dialog->controls[k].text != nullptr)
                    name = dialog->controls[k].text;
            break;
        }
    }
    return name.empty() ? std::string("&Copier") : "&Copier (" + name + ")";
}

void UpdateCopyMenuLabel() {
    const plat::HMENU bar = CQVApp::instance().m_MenuBar;
    if (bar == nullptr)
        return;
    const std::string label = CopyMenuLabel(DefaultCopyFormat);
    plat::ModifyMenu(bar, kCopyMenuId, plat::MF_BYCOMMAND | plat::MF_STRING, kCopyMenuId,
                     label.c_str());
}

int32_t RunSavingPrefsDlg(SavingPrefsDlgRecord* record) {
    return launch(kSavingPrefsDialogId, &SavingPrefsDlgProc, record);
}
plat::INT_PTR SavingPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam) {
    return HandleDialogFrame(savingPrefsFrame(), dialog, message, wParam, lParam);
}

int32_t RunCopySetPrefsDlg(CopySetPrefsDlgRecord* record) {
    return launch(kCopySetPrefsDialogId, &CopySetPrefsDlgProc, record);
}
plat::INT_PTR CopySetPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam) {
    return HandleDialogFrame(copySetPrefsFrame(), dialog, message, wParam, lParam);
}

int32_t RunPngPrefsDlg(PngPrefsDlgRecord* record) {
    return launch(kPngPrefsDialogId, &PngPrefsDlgProc, record);
}
plat::INT_PTR PngPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                              plat::LPARAM lParam) {
    return HandleDialogFrame(pngPrefsFrame(), dialog, message, wParam, lParam);
}

int32_t RunPluginTagPrefsDlg(PluginTagPrefsDlgRecord* record) {
    return launch(kPluginTagPrefsDialogId, &PluginTagPrefsDlgProc, record);
}
plat::INT_PTR PluginTagPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                    plat::LPARAM lParam) {
    return HandleDialogFrame(pluginTagPrefsFrame(), dialog, message, wParam, lParam);
}

void ChooseSavingPrefs() {
    SavingPrefsDlgRecord record;
    record.choice = SaveTypeChoice(GeneralPrefValue("Sa", 0));
    if (ResultAsCancel(RunSavingPrefsDlg(&record)) != 1)
        return;
    SetGeneralPrefValue("Sa", 0, SaveTypeOfChoice(record.choice));
    SaveGeneralPrefsAfterChange();
    RefreshAllPanes();
}

void ChooseCopySetPrefs() {
    CopySetPrefsDlgRecord record = CopySetChoiceOf(DefaultCopyFormat);
    if (ResultAsCancel(RunCopySetPrefsDlg(&record)) == 1) {
        DefaultCopyFormat = CopyFormatOfChoice(record);
        SaveGeneralPrefsAfterChange();
    }
    RefreshAllPanes();
}

void ChoosePngPrefs() {
    PngPrefsDlgRecord record;
    record.copyImgTag = static_cast<uint8_t>(GeneralPrefValue("Pn", kPngImgTagField));
    record.mathSpeakInAlt = static_cast<uint8_t>(GeneralPrefValue("Pn", kPngMathSpeakField));
    record.smoothing = GeneralPrefValue("Pn", kPngSmoothingField);
    if (ResultAsCancel(RunPngPrefsDlg(&record)) != 1)
        return;
    SetGeneralPrefValue("Pn", kPngImgTagField, record.copyImgTag);
    SetGeneralPrefValue("Pn", kPngMathSpeakField, record.mathSpeakInAlt);
    SetGeneralPrefValue("Pn", kPngSmoothingField, record.smoothing);
    SaveGeneralPrefsAfterChange();
}

void ChoosePluginTagPrefs() {
    for (const int field : {kPluginMathSpeakField, kPluginSecondField})
        if (GeneralPrefValue("Qv", field) > 1)
            SetGeneralPrefValue("Qv", field, 1);
    PluginTagPrefsDlgRecord record;
    record.addMathSpeak = static_cast<uint8_t>(GeneralPrefValue("Qv", kPluginMathSpeakField));
    if (ResultAsCancel(RunPluginTagPrefsDlg(&record)) != 1)
        return;
    SetGeneralPrefValue("Qv", kPluginMathSpeakField, record.addMathSpeak);
    SaveGeneralPrefsAfterChange();
}
