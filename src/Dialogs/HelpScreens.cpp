#include "Dialogs/HelpScreens.h"

#include "Dialogs/DialogFrame.h"
#include "OverPc/shell/DialogItems.h"

#include <array>
#include <cstddef>

namespace {

// The four pages that illustrate the choices of a customisation dialog with radio buttons.
constexpr struct {
    int page;
    HelpScreenButtons buttons;
} kIllustrated[] = {
    {4181, {21613, 21614}},
    {4182, {21865, 21867}},
    {4211, {29290, 29291}},
    {4212, {29545, 29546}},
};

// One frame per page: the pages share everything but their id (and so their remembered place)
// and their illustration buttons. Selecting an illustration button only shows it selected.
const DialogFrame& pageFrame(int pageId) {
    static const auto s_frames = [] {
        std::array<DialogFrame, kLastHelpScreenId - kFirstHelpScreenId + 1> frames;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            DialogFrame& f = frames[i];
            f.id = kFirstHelpScreenId + static_cast<int>(i);
            f.pictures = {{kHelpBannerBitmapId, 0, 0, kBitmapTransparent}};
            const HelpScreenButtons buttons = HelpScreenIllustrationButtons(f.id);
            if (buttons.first != 0)
                f.radioGroups = {{buttons.first, buttons.last}};
        }
        return frames;
    }();
    return s_frames[static_cast<std::size_t>(pageId - kFirstHelpScreenId)];
}

plat::INT_PTR pageProc(int pageId, plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                       plat::LPARAM lParam) {
    return HandleDialogFrame(pageFrame(pageId), dialog, message, wParam, lParam);
}

} // namespace

HelpScreenButtons HelpScreenIllustrationButtons(int pageId) {
    for (const auto& entry : kIllustrated) {
        if (entry.page == pageId)
            return entry.buttons;
    }
    return {0, 0};
}

// Each page's launcher and procedure: the same procedure under the page's own name and id.
#define KV_HELP_SCREEN(Run, Proc, Id)                                                              \
    plat::INT_PTR Proc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,                 \
                       plat::LPARAM lParam) {                                                      \
        return pageProc(Id, dialog, message, wParam, lParam);                                      \
    }                                                                                              \
    int32_t Run(void* param) {                                                                     \
        return LaunchDialog(Id, &Proc, reinterpret_cast<std::uintptr_t>(param));                   \
    }

// clang-format off
KV_HELP_SCREEN(RunTranslatorHelpScreen1Dlg, TranslatorHelpScreen1DlgProc, 4171)
KV_HELP_SCREEN(RunTranslatorHelpScreen2Dlg, TranslatorHelpScreen2DlgProc, 4172)
KV_HELP_SCREEN(RunTranslatorHelpScreen3Dlg, TranslatorHelpScreen3DlgProc, 4173)
KV_HELP_SCREEN(RunTranslatorHelpScreen4Dlg, TranslatorHelpScreen4DlgProc, 4174)
KV_HELP_SCREEN(RunFontBlockHelpScreen1Dlg, FontBlockHelpScreen1DlgProc, 4175)
KV_HELP_SCREEN(RunFontBlockHelpScreen2Dlg, FontBlockHelpScreen2DlgProc, 4176)
KV_HELP_SCREEN(RunFontBlockHelpScreen3Dlg, FontBlockHelpScreen3DlgProc, 4177)
KV_HELP_SCREEN(RunFontBlockHelpScreen4Dlg, FontBlockHelpScreen4DlgProc, 4178)
KV_HELP_SCREEN(RunFontBlockHelpScreen5Dlg, FontBlockHelpScreen5DlgProc, 4179)
KV_HELP_SCREEN(RunCustomizePaletteHelpScreen1Dlg, CustomizePaletteHelpScreen1DlgProc, 4180)
KV_HELP_SCREEN(RunCustomizePaletteHelpScreen2Dlg, CustomizePaletteHelpScreen2DlgProc, 4181)
KV_HELP_SCREEN(RunCustomizePaletteHelpScreen3Dlg, CustomizePaletteHelpScreen3DlgProc, 4182)
KV_HELP_SCREEN(RunCustomizePaletteHelpScreen4Dlg, CustomizePaletteHelpScreen4DlgProc, 4183)
KV_HELP_SCREEN(RunWordHelpScreen1Dlg, WordHelpScreen1DlgProc, 4184)
KV_HELP_SCREEN(RunWordHelpScreen2Dlg, WordHelpScreen2DlgProc, 4185)
KV_HELP_SCREEN(RunWordHelpScreen3Dlg, WordHelpScreen3DlgProc, 4186)
KV_HELP_SCREEN(RunWordHelpScreen4Dlg, WordHelpScreen4DlgProc, 4187)
KV_HELP_SCREEN(RunWordHelpScreen5Dlg, WordHelpScreen5DlgProc, 4188)
KV_HELP_SCREEN(RunOtherAppsHelpScreen1Dlg, OtherAppsHelpScreen1DlgProc, 4189)
KV_HELP_SCREEN(RunOtherAppsHelpScreen2Dlg, OtherAppsHelpScreen2DlgProc, 4190)
KV_HELP_SCREEN(RunOtherAppsHelpScreen3Dlg, OtherAppsHelpScreen3DlgProc, 4191)
KV_HELP_SCREEN(RunPictVsBitmapsHelpScreen1Dlg, PictVsBitmapsHelpScreen1DlgProc, 4192)
KV_HELP_SCREEN(RunPictVsBitmapsHelpScreen2Dlg, PictVsBitmapsHelpScreen2DlgProc, 4193)
KV_HELP_SCREEN(RunPictVsBitmapsHelpScreen3Dlg, PictVsBitmapsHelpScreen3DlgProc, 4194)
KV_HELP_SCREEN(RunPictVsBitmapsHelpScreen4Dlg, PictVsBitmapsHelpScreen4DlgProc, 4195)
KV_HELP_SCREEN(RunPictureResolutionHelpScreen1Dlg, PictureResolutionHelpScreen1DlgProc, 4196)
KV_HELP_SCREEN(RunPictureResolutionHelpScreen2Dlg, PictureResolutionHelpScreen2DlgProc, 4197)
KV_HELP_SCREEN(RunPictureResolutionHelpScreen3Dlg, PictureResolutionHelpScreen3DlgProc, 4198)
KV_HELP_SCREEN(RunPictureResolutionHelpScreen4Dlg, PictureResolutionHelpScreen4DlgProc, 4199)
KV_HELP_SCREEN(RunPictureResolutionHelpScreen5Dlg, PictureResolutionHelpScreen5DlgProc, 4200)
KV_HELP_SCREEN(RunPostScriptHelpScreen1Dlg, PostScriptHelpScreen1DlgProc, 4201)
KV_HELP_SCREEN(RunPostScriptHelpScreen2Dlg, PostScriptHelpScreen2DlgProc, 4202)
KV_HELP_SCREEN(RunPostScriptHelpScreen3Dlg, PostScriptHelpScreen3DlgProc, 4203)
KV_HELP_SCREEN(RunPostScriptHelpScreen4Dlg, PostScriptHelpScreen4DlgProc, 4204)
KV_HELP_SCREEN(RunPostScriptHelpScreen5Dlg, PostScriptHelpScreen5DlgProc, 4205)
KV_HELP_SCREEN(RunTargetAppHelpScreen1Dlg, TargetAppHelpScreen1DlgProc, 4206)
KV_HELP_SCREEN(RunTargetAppHelpScreen2Dlg, TargetAppHelpScreen2DlgProc, 4207)
KV_HELP_SCREEN(RunTargetAppHelpScreen3Dlg, TargetAppHelpScreen3DlgProc, 4208)
KV_HELP_SCREEN(RunKeystrokesHelpScreen1Dlg, KeystrokesHelpScreen1DlgProc, 4209)
KV_HELP_SCREEN(RunKeystrokesHelpScreen2Dlg, KeystrokesHelpScreen2DlgProc, 4210)
KV_HELP_SCREEN(RunKeystrokesHelpScreen3Dlg, KeystrokesHelpScreen3DlgProc, 4211)
KV_HELP_SCREEN(RunKeystrokesHelpScreen4Dlg, KeystrokesHelpScreen4DlgProc, 4212)
KV_HELP_SCREEN(RunKeystrokesHelpScreen5Dlg, KeystrokesHelpScreen5DlgProc, 4213)
KV_HELP_SCREEN(RunBlankHelpScreenDlg, BlankHelpScreenDlgProc, 4214)
// clang-format on

#undef KV_HELP_SCREEN
