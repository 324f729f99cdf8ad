#include "Dialogs/DialogFrame.h"

#include "Dialogs/AboutDialogs.h"
#include "Dialogs/ChooseExampleDialog.h"
#include "Dialogs/CustomizePaletteDialogs.h"
#include "Dialogs/FontCommandDialogs.h"
#include "Dialogs/FontStyleDialog.h"
#include "Dialogs/HelpScreens.h"
#include "Dialogs/InsertExpressionDialog.h"
#include "Dialogs/KeyboardDialogs.h"
#include "Dialogs/MacroDefinitionsDialog.h"
#include "Dialogs/MatrixDialogs.h"
#include "Dialogs/ModifyDialogs.h"
#include "Dialogs/ModifyTemplateDialogs.h"
#include "Dialogs/OutputPrefsDialogs.h"
#include "Dialogs/PictureDialogs.h"
#include "Dialogs/PicturePrefsDialogs.h"
#include "Dialogs/PopupCombo.h"
#include "Dialogs/SecondaryCommandDialog.h"
#include "Dialogs/SetupWizard.h"
#include "Dialogs/SmallDialogs.h"
#include "Dialogs/TargetPrefsDialogs.h"
#include "Dialogs/TranslatorDialogs.h"
#include "Dialogs/TypesettingDialogs.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "OverPc/shell/oDlgWidget.h"
#include "plat/Dialog.h"
#include "plat/Window.h"

#include <algorithm>
#include <array>

namespace {

// A launcher takes its argument as the typed record (or buffer) the caller passes; the table
// holds them all under one signature, the argument being the record's address.
template <class Record, int32_t (*Run)(Record*)> int32_t launchWith(std::uintptr_t argument) {
    return Run(reinterpret_cast<Record*>(argument));
}

// A launcher that takes the argument as it comes.
template <int32_t (*Run)(std::uintptr_t)> int32_t launchPlain(std::uintptr_t argument) {
    return Run(argument);
}

// The launchers of the dialogs built so far, by ascending id; each dialog adds its row here.
constexpr std::array kLaunchers{
    DialogLauncherEntry{4098, &launchWith<DialogText, &RunRenameToolbarDlg>},
    DialogLauncherEntry{4099, &launchPlain<&RunPrintProgressDlg>},
    DialogLauncherEntry{4100, &launchWith<DialogText, &RunPrinterResolutionDlg>},
    DialogLauncherEntry{4102, &launchWith<DialogText, &RunBrowserFallbackDlg>},
    DialogLauncherEntry{4103, &launchWith<FontStyleSizeRecord, &RunFontStyleSizeDlg>},
    DialogLauncherEntry{4104, &launchPlain<&RunMoreStylesDlg>},
    DialogLauncherEntry{4105, &launchPlain<&RunInsertExpressionDlg>},
    DialogLauncherEntry{4106, &launchWith<IntegralDlgRecord, &RunEditIntegralDlg>},
    DialogLauncherEntry{4107, &launchWith<ScriptsDlgRecord, &RunEditScriptsDlg>},
    DialogLauncherEntry{4108, &launchWith<MatrixIndicesDlgRecord, &RunInsertMatrixIndicesDlg>},
    DialogLauncherEntry{4109, &launchWith<StringDlgRecord, &RunEditStringDlg>},
    DialogLauncherEntry{4110, &launchWith<MatrixLinesDlgRecord, &RunMatrixDelimitersDlg>},
    DialogLauncherEntry{4111, &launchWith<MatrixDlgRecord, &RunEditMatrixDlg>},
    DialogLauncherEntry{4112, &launchWith<DelimiterDlgRecord, &RunEditDelimiterDlg>},
    DialogLauncherEntry{4113, &launchWith<EmbellishmentDlgRecord, &RunEditEmbellishmentDlg>},
    DialogLauncherEntry{4114, &launchWith<FractionDlgRecord, &RunEditFractionDlg>},
    DialogLauncherEntry{4115, &launchWith<TreeNodeDlgRecord, &RunEditTreeNodeDlg>},
    DialogLauncherEntry{4116, &launchWith<TensorDlgRecord, &RunEditTensorDlg>},
    DialogLauncherEntry{4117, &launchWith<BoxDlgRecord, &RunEditBoxDlg>},
    DialogLauncherEntry{4118, &launchPlain<&RunSecondaryCommandDlg>},
    DialogLauncherEntry{4119, &launchPlain<&RunCustomizePaletteDlg>},
    DialogLauncherEntry{4120, &launchPlain<&RunCustomizeSubPaletteButtonDlg>},
    DialogLauncherEntry{4121, &launchPlain<&RunPaletteCustomizeHintDlg>},
    DialogLauncherEntry{4122, &launchPlain<&RunKeyboardEquivalentsDlg>},
    DialogLauncherEntry{4123, &launchPlain<&RunRevertToOriginalDlg>},
    DialogLauncherEntry{4124, &launchWith<ChangeFontDlgRecord, &RunChangeFontDlg>},
    DialogLauncherEntry{4125, &launchWith<CharacterCommandsDlgRecord, &RunCharacterCommandsDlg>},
    DialogLauncherEntry{4126, &launchWith<MacroDefinitionsDlgRecord, &RunMacroDefinitionsDlg>},
    DialogLauncherEntry{4127, &launchWith<SizeStepsDlgRecord, &RunSizeStepsDlg>},
    DialogLauncherEntry{4128, &launchWith<DelimiterSettingsDlgRecord, &RunDelimiterSettingsDlg>},
    DialogLauncherEntry{4129,
                        &launchWith<EmbellishmentSettingsDlgRecord, &RunEmbellishmentSettingsDlg>},
    DialogLauncherEntry{4130, &launchWith<IntegralSettingsDlgRecord, &RunIntegralSettingsDlg>},
    DialogLauncherEntry{4131, &launchWith<ScriptSettingsDlgRecord, &RunScriptSettingsDlg>},
    DialogLauncherEntry{4132, &launchWith<FractionSettingsDlgRecord, &RunFractionSettingsDlg>},
    DialogLauncherEntry{4133, &launchWith<RootSettingsDlgRecord, &RunRootSettingsDlg>},
    DialogLauncherEntry{4134, &launchWith<ImageRotationDlgRecord, &RunImageRotationDlg>},
    DialogLauncherEntry{4135, &launchWith<ImageMarginsDlgRecord, &RunImageMarginsDlg>},
    DialogLauncherEntry{4136, &launchWith<ConversionTableDlgRecord, &RunConversionTableDlg>},
    DialogLauncherEntry{4137, &launchWith<RulerUnitsDlgRecord, &RunRulerUnitsDlg>},
    DialogLauncherEntry{4138, &launchWith<OtherOptionsDlgRecord, &RunOtherOptionsDlg>},
    DialogLauncherEntry{4139, &launchWith<TranslationTableDlgRecord, &RunTranslationTableDlg>},
    DialogLauncherEntry{4140, &launchWith<SavingPrefsDlgRecord, &RunSavingPrefsDlg>},
    DialogLauncherEntry{4141, &launchWith<CopySetPrefsDlgRecord, &RunCopySetPrefsDlg>},
    DialogLauncherEntry{4142, &launchWith<PluginTagPrefsDlgRecord, &RunPluginTagPrefsDlg>},
    DialogLauncherEntry{4143, &launchWith<EpsPrefsDlgRecord, &RunEpsPrefsDlg>},
    DialogLauncherEntry{4144, &launchWith<PngPrefsDlgRecord, &RunPngPrefsDlg>},
    DialogLauncherEntry{4145, &launchWith<DialogText, &RunBitmapPrefsDlg>},
    DialogLauncherEntry{4146, &launchWith<DialogText, &RunMetafilePrefsDlg>},
    DialogLauncherEntry{4147, &launchWith<PictPrefsDlgRecord, &RunPictPrefsDlg>},
    DialogLauncherEntry{4148, &launchWith<WordTargetPrefsRecord, &RunTargetWordPrefsDlg>},
    DialogLauncherEntry{4149, &launchWith<void, &RunTargetOpenOfficePrefsDlg>},
    DialogLauncherEntry{4150, &launchWith<PictureTargetPrefsRecord, &RunTargetFrameMakerPrefsDlg>},
    DialogLauncherEntry{4151, &launchWith<PictureTargetPrefsRecord, &RunTargetPageMakerPrefsDlg>},
    DialogLauncherEntry{4152, &launchWith<PictureTargetPrefsRecord, &RunTargetInDesignPrefsDlg>},
    DialogLauncherEntry{4153, &launchWith<WebTargetPrefsRecord, &RunTargetGoLivePrefsDlg>},
    DialogLauncherEntry{4154, &launchWith<PictureTargetPrefsRecord, &RunTargetIllustratorPrefsDlg>},
    DialogLauncherEntry{4155,
                        &launchWith<TwoResolutionTargetPrefsRecord, &RunTargetCanvasPrefsDlg>},
    DialogLauncherEntry{4156, &launchWith<PictureTargetPrefsRecord, &RunTargetPhotoshopPrefsDlg>},
    DialogLauncherEntry{4157,
                        &launchWith<OneResolutionTargetPrefsRecord, &RunTargetMellelPrefsDlg>},
    DialogLauncherEntry{4158,
                        &launchWith<OneResolutionTargetPrefsRecord, &RunTargetMarinerPrefsDlg>},
    DialogLauncherEntry{4159, &launchWith<WebTargetPrefsRecord, &RunTargetDreamweaverPrefsDlg>},
    DialogLauncherEntry{4160, &launchWith<PictureTargetPrefsRecord, &RunTargetFlashPrefsDlg>},
    DialogLauncherEntry{4161, &launchWith<void, &RunTargetDirectorPrefsDlg>},
    DialogLauncherEntry{4162, &launchWith<PictureTargetPrefsRecord, &RunTargetFreehandPrefsDlg>},
    DialogLauncherEntry{4163, &launchWith<PictureTargetPrefsRecord, &RunTargetFireworksPrefsDlg>},
    DialogLauncherEntry{4164,
                        &launchWith<TwoResolutionTargetPrefsRecord, &RunTargetQuarkXPressPrefsDlg>},
    DialogLauncherEntry{4165, &launchWith<WebTargetPrefsRecord, &RunTargetBlackboardPrefsDlg>},
    DialogLauncherEntry{4166, &launchWith<WebTargetPrefsRecord, &RunTargetWebCTPrefsDlg>},
    DialogLauncherEntry{4167, &launchWith<SymbolFontPrefsDlgRecord, &RunSymbolFontPrefsDlg>},
    DialogLauncherEntry{4168, &launchWith<FontBlockPrefsDlgRecord, &RunFontBlockPrefsDlg>},
    DialogLauncherEntry{4169, &launchWith<NewWindowPrefsDlgRecord, &RunNewWindowPrefsDlg>},
    DialogLauncherEntry{4170, &launchWith<PaletteSizePrefsDlgRecord, &RunPaletteSizePrefsDlg>},
    DialogLauncherEntry{4171, &launchWith<void, &RunTranslatorHelpScreen1Dlg>},
    DialogLauncherEntry{4172, &launchWith<void, &RunTranslatorHelpScreen2Dlg>},
    DialogLauncherEntry{4173, &launchWith<void, &RunTranslatorHelpScreen3Dlg>},
    DialogLauncherEntry{4174, &launchWith<void, &RunTranslatorHelpScreen4Dlg>},
    DialogLauncherEntry{4175, &launchWith<void, &RunFontBlockHelpScreen1Dlg>},
    DialogLauncherEntry{4176, &launchWith<void, &RunFontBlockHelpScreen2Dlg>},
    DialogLauncherEntry{4177, &launchWith<void, &RunFontBlockHelpScreen3Dlg>},
    DialogLauncherEntry{4178, &launchWith<void, &RunFontBlockHelpScreen4Dlg>},
    DialogLauncherEntry{4179, &launchWith<void, &RunFontBlockHelpScreen5Dlg>},
    DialogLauncherEntry{4180, &launchWith<void, &RunCustomizePaletteHelpScreen1Dlg>},
    DialogLauncherEntry{4181, &launchWith<void, &RunCustomizePaletteHelpScreen2Dlg>},
    DialogLauncherEntry{4182, &launchWith<void, &RunCustomizePaletteHelpScreen3Dlg>},
    DialogLauncherEntry{4183, &launchWith<void, &RunCustomizePaletteHelpScreen4Dlg>},
    DialogLauncherEntry{4184, &launchWith<void, &RunWordHelpScreen1Dlg>},
    DialogLauncherEntry{4185, &launchWith<void, &RunWordHelpScreen2Dlg>},
    DialogLauncherEntry{4186, &launchWith<void, &RunWordHelpScreen3Dlg>},
    DialogLauncherEntry{4187, &launchWith<void, &RunWordHelpScreen4Dlg>},
    DialogLauncherEntry{4188, &launchWith<void, &RunWordHelpScreen5Dlg>},
    DialogLauncherEntry{4189, &launchWith<void, &RunOtherAppsHelpScreen1Dlg>},
    DialogLauncherEntry{4190, &launchWith<void, &RunOtherAppsHelpScreen2Dlg>},
    DialogLauncherEntry{4191, &launchWith<void, &RunOtherAppsHelpScreen3Dlg>},
    DialogLauncherEntry{4192, &launchWith<void, &RunPictVsBitmapsHelpScreen1Dlg>},
    DialogLauncherEntry{4193, &launchWith<void, &RunPictVsBitmapsHelpScreen2Dlg>},
    DialogLauncherEntry{4194, &launchWith<void, &RunPictVsBitmapsHelpScreen3Dlg>},
    DialogLauncherEntry{4195, &launchWith<void, &RunPictVsBitmapsHelpScreen4Dlg>},
    DialogLauncherEntry{4196, &launchWith<void, &RunPictureResolutionHelpScreen1Dlg>},
    DialogLauncherEntry{4197, &launchWith<void, &RunPictureResolutionHelpScreen2Dlg>},
    DialogLauncherEntry{4198, &launchWith<void, &RunPictureResolutionHelpScreen3Dlg>},
    DialogLauncherEntry{4199, &launchWith<void, &RunPictureResolutionHelpScreen4Dlg>},
    DialogLauncherEntry{4200, &launchWith<void, &RunPictureResolutionHelpScreen5Dlg>},
    DialogLauncherEntry{4201, &launchWith<void, &RunPostScriptHelpScreen1Dlg>},
    DialogLauncherEntry{4202, &launchWith<void, &RunPostScriptHelpScreen2Dlg>},
    DialogLauncherEntry{4203, &launchWith<void, &RunPostScriptHelpScreen3Dlg>},
    DialogLauncherEntry{4204, &launchWith<void, &RunPostScriptHelpScreen4Dlg>},
    DialogLauncherEntry{4205, &launchWith<void, &RunPostScriptHelpScreen5Dlg>},
    DialogLauncherEntry{4206, &launchWith<void, &RunTargetAppHelpScreen1Dlg>},
    DialogLauncherEntry{4207, &launchWith<void, &RunTargetAppHelpScreen2Dlg>},
    DialogLauncherEntry{4208, &launchWith<void, &RunTargetAppHelpScreen3Dlg>},
    DialogLauncherEntry{4209, &launchWith<void, &RunKeystrokesHelpScreen1Dlg>},
    DialogLauncherEntry{4210, &launchWith<void, &RunKeystrokesHelpScreen2Dlg>},
    DialogLauncherEntry{4211, &launchWith<void, &RunKeystrokesHelpScreen3Dlg>},
    DialogLauncherEntry{4212, &launchWith<void, &RunKeystrokesHelpScreen4Dlg>},
    DialogLauncherEntry{4213, &launchWith<void, &RunKeystrokesHelpScreen5Dlg>},
    DialogLauncherEntry{4214, &launchWith<void, &RunBlankHelpScreenDlg>},
    DialogLauncherEntry{4215, &launchWith<WizardChoice, &RunSetupStep1Dlg>},
    DialogLauncherEntry{4216, &launchWith<void, &RunSetupStep2Dlg>},
    DialogLauncherEntry{4217, &launchWith<WizardChoice, &RunSetupPrinterTypeDlg>},
    DialogLauncherEntry{4218, &launchWith<WizardChoice, &RunSetupFontStrategyDlg>},
    DialogLauncherEntry{4219, &launchWith<WizardChoice, &RunSetupImageQualityDlg>},
    DialogLauncherEntry{4220, &launchWith<WizardChoice, &RunSetupVerticalAlignmentDlg>},
    DialogLauncherEntry{4221, &launchWith<WizardChoice, &RunSetupCopyCommandDlg>},
    DialogLauncherEntry{4222, &launchWith<void, &RunSetupFinishedDlg>},
    DialogLauncherEntry{kAboutDialogId, &launchWith<void, &RunAboutDlg>},
    DialogLauncherEntry{kSplashDialogId, &launchWith<void, &RunSplashScreenDlg>},
    DialogLauncherEntry{kCreditsDialogId, &launchWith<void, &RunCreditsDlg>},
    DialogLauncherEntry{kPreviousUseDialogId, &launchWith<void, &RunPreviousUseDlg>},
    DialogLauncherEntry{kChooseExampleDialogId,
                        &launchWith<ChooseExampleParams, &RunChooseExampleDlg>},
};

bool isCurrent(plat::HWND dialog) {
    return CurrentDialog == dialog;
}

// The closing step: the record is written while the dialog is still current, because the item
// operations act on it; a second command after it finds no current dialog and does nothing.
void closeDialog(const DialogFrame& frame, plat::HWND dialog) {
    if (!isCurrent(dialog))
        return;
    if (DialogResult >= 1 && frame.writeBack)
        frame.writeBack(dialog);
    CurrentDialog = nullptr;
    plat::EndDialog(dialog, DialogResult);
}

plat::INT_PTR handleCommand(const DialogFrame& frame, plat::HWND dialog, int id, int code,
                            plat::HWND control) {
    SnapshotModifierKeys();
    SetListBoxNotifyCode(code);
    if (!isCurrent(dialog))
        return plat::TRUE;
    if (id == plat::IDOK) {
        DialogResult = 1;
        closeDialog(frame, dialog);
        return plat::TRUE;
    }
    if (id == plat::IDCANCEL) {
        DialogResult = 0;
        CurrentDialog = nullptr;
        plat::EndDialog(dialog, 0);
        return plat::TRUE;
    }
    for (const RadioGroup& g : frame.radioGroups) {
        if (id >= g.first && id <= g.last) {
            CheckRadioInRange(g.first, g.last, id);
            if (frame.enablingRules)
                frame.enablingRules(dialog, id);
            return plat::TRUE;
        }
    }
    if (std::find(frame.checkBoxes.begin(), frame.checkBoxes.end(), id) != frame.checkBoxes.end()) {
        // A label click arrives with notification 0 like the box's own click.
        ToggleCheck(id);
        if (frame.enablingRules)
            frame.enablingRules(dialog, id);
        return plat::TRUE;
    }
    if (code == plat::EN_UPDATE) {
        if (DialogInitDone == 1 && DialogCallbackBusy == 0 && frame.editReaction) {
            DialogCallbackBusy = 1;
            frame.editReaction(dialog, id);
            DialogCallbackBusy = 0;
        }
        return plat::TRUE;
    }
    for (const ClosingButton& b : frame.closingButtons) {
        if (b.id == id) {
            DialogResult = b.result;
            closeDialog(frame, dialog);
            return plat::TRUE;
        }
    }
    const bool isList = std::find(frame.lists.begin(), frame.lists.end(), id) != frame.lists.end();
    if (isList && DialogResult >= 0)
        return plat::TRUE;
    if (frame.command)
        frame.command(dialog, id, code, control);
    if (DialogResult >= 0) {
        // The reaction chose to close (a double click taken as a choice plus OK).
        if (DialogResult == 0) {
            CurrentDialog = nullptr;
            plat::EndDialog(dialog, 0);
        } else {
            closeDialog(frame, dialog);
        }
    } else if (isList && (code == plat::LBN_SELCHANGE || code == plat::LBN_DBLCLK)) {
        DoubleClickFlag = 0;
    }
    return plat::TRUE;
}

} // namespace

int32_t LaunchDialog(int id, plat::DLGPROC proc, std::uintptr_t argument) {
    if (id >= kFirstDialogId && id < kFirstDialogId + kDialogIdCount)
        DialogParam[id - kFirstDialogId] = argument;
    return RunModalDialog(id, proc);
}

std::uintptr_t DialogArgument(int id) {
    if (id < kFirstDialogId || id >= kFirstDialogId + kDialogIdCount)
        return 0;
    return DialogParam[id - kFirstDialogId];
}

std::span<const DialogLauncherEntry> DialogLauncherTable() {
    return kLaunchers;
}

int32_t (*FindDialogLauncher(int id))(std::uintptr_t) {
    for (const DialogLauncherEntry& e : DialogLauncherTable())
        if (e.id == id)
            return e.launcher;
    return nullptr;
}

plat::RECT ScaledLabelRect(const plat::RECT& rect) {
    // The rectangles match their controls at 2 pixels per dialog unit (base width 8); they follow
    // the dialog when the base units grow with the screen's resolution.
    const int base = plat::LOWORD(plat::GetDialogBaseUnits());
    auto scale = [base](plat::LONG v) { return static_cast<plat::LONG>(v * base / 8); };
    return plat::RECT{scale(rect.left), scale(rect.top), scale(rect.right), scale(rect.bottom)};
}

plat::INT_PTR HandleDialogFrame(const DialogFrame& frame, plat::HWND dialog, plat::UINT message,
                                plat::WPARAM wParam, plat::LPARAM lParam) {
    switch (message) {
    case plat::WM_INITDIALOG: {
        CurrentDialog = dialog;
        DialogInitDone = 0;
        if (DialogPosition* entry = DialogPositionEntry(frame.id))
            PlaceDialog(dialog, *entry);
        SetDialogFont(dialog);
        if (frame.init)
            frame.init(dialog);
        DialogInitDone = 1;
        return plat::TRUE;
    }
    case plat::WM_MEASUREITEM: {
        // Owner-drawn items are measured before WM_INITDIALOG: the item operations need the
        // dialog already.
        CurrentDialog = dialog;
        auto* measure = reinterpret_cast<plat::MEASUREITEMSTRUCT*>(lParam);
        if (!measure)
            return plat::FALSE;
        if (measure->CtlType == plat::ODT_COMBOBOX)
            MeasurePopupComboItem(dialog, *measure);
        else if (frame.measureList)
            frame.measureList(dialog, *measure);
        return plat::TRUE;
    }
    case plat::WM_DRAWITEM: {
        const auto* draw = reinterpret_cast<const plat::DRAWITEMSTRUCT*>(lParam);
        if (!draw)
            return plat::FALSE;
        if (draw->CtlType == plat::ODT_COMBOBOX)
            DrawPopupComboItem(*draw);
        else if (DialogInitDone == 1 && DialogResult < 0 && frame.drawList)
            frame.drawList(dialog, *draw);
        return plat::TRUE;
    }
    case plat::WM_COMMAND:
        return handleCommand(frame, dialog, plat::LOWORD(wParam), plat::HIWORD(wParam),
                             reinterpret_cast<plat::HWND>(lParam));
    case plat::WM_DESTROY:
        if (DialogPosition* entry = DialogPositionEntry(frame.id))
            RememberDialogPosition(dialog, *entry);
        if (frame.destroy)
            frame.destroy(dialog);
        if (CurrentDialog == dialog)
            CurrentDialog = nullptr;
        return plat::TRUE;
    case plat::WM_PAINT: {
        if (frame.pictures.empty())
            return plat::FALSE;
        plat::PAINTSTRUCT ps;
        plat::HDC dc = plat::BeginPaint(dialog, &ps);
        for (const DialogPicture& p : frame.pictures)
            DrawDialogBitmap(dialog, dc, p.bitmapId, p.x, p.y, p.flags);
        plat::EndPaint(dialog, &ps);
        return plat::TRUE;
    }
    case plat::WM_LBUTTONDOWN: {
        const int x = plat::GET_X_LPARAM(lParam);
        const int y = plat::GET_Y_LPARAM(lParam);
        for (const LabelRect& label : frame.labels) {
            const plat::RECT r = ScaledLabelRect(label.rect);
            if (x < r.left || x > r.right || y < r.top || y > r.bottom)
                continue;
            // A preview reads where it was pressed: a press on its label is that press, in
            // the preview's own coordinates (it may lie just outside the preview).
            if (oDlgWidget* widget = DlgWidgetOfItem(plat::GetDlgItem(dialog, label.controlId))) {
                plat::POINT p{x, y};
                plat::MapWindowPoints(dialog, widget->item(), &p, 1);
                widget->setPressPoint(oPoint{p.x, p.y});
            }
            plat::SendMessage(dialog, plat::WM_COMMAND,
                              plat::MAKEWPARAM(static_cast<plat::WORD>(label.controlId), 0), 0);
        }
        return plat::FALSE;
    }
    default:
        return plat::FALSE;
    }
}
