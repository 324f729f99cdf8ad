#include "Dialogs/SetupWizard.h"

#include "Dialogs/DialogFrame.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "plat/Dialog.h"
#include "plat/Window.h"

#include <array>
#include <cstddef>

namespace {

// The pictures of a page beyond its banner, at dialog points.
struct PagePicture {
    int bitmapId;
    int x;
    int y;
};

struct PageLayout {
    int id;
    SetupWizardChoices choices;
    std::array<PagePicture, 4> pictures; // unused entries have bitmap id 0
};

// The wizard pages in id order.
constexpr std::array<PageLayout, kLastSetupWizardPageId - kFirstSetupWizardPageId + 1> kPages{{
    {4215,
     {30318, 30339},
     {{{17584, 12, 106}, {17648, 106, 134}, {17616, 160, 36}, {17872, 12, 56}}}},
    {4216, {0, 0}, {{{17712, 158, 40}}}},
    {4217, {30829, 30833}, {}},
    {4218, {31089, 31092}, {{{17712, 162, 52}}}},
    {4219, {31341, 31342}, {}},
    {4220, {31596, 31599}, {}},
    {4221, {31849, 31850}, {}},
    {4222, {0, 0}, {}},
}};

const PageLayout& layoutOf(int pageId) {
    return kPages[static_cast<std::size_t>(pageId - kFirstSetupWizardPageId)];
}

// One frame per page. A page with choices fills its group from the caller's index and writes the
// checked index back on "Next"; the frame leaves the index alone on "Annuler".
const DialogFrame& pageFrame(int pageId) {
    static const auto s_frames = [] {
        std::array<DialogFrame, kPages.size()> frames;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const PageLayout& layout = kPages[i];
            DialogFrame& f = frames[i];
            f.id = layout.id;
            f.pictures = {{kSetupBannerBitmapId, 0, 0, kBitmapTransparent}};
            for (const PagePicture& p : layout.pictures) {
                if (p.bitmapId != 0)
                    f.pictures.push_back({p.bitmapId, p.x, p.y, kBitmapTransparent});
            }
            const SetupWizardChoices choices = layout.choices;
            if (choices.first == 0)
                continue;
            const int id = layout.id;
            f.radioGroups = {{choices.first, choices.last}};
            f.init = [id, choices](plat::HWND) {
                if (const WizardChoice* choice = DialogRecord<WizardChoice>(id))
                    SetRadioGroup(choices.first, choices.last, *choice);
            };
            f.writeBack = [id, choices](plat::HWND) {
                if (WizardChoice* choice = DialogRecord<WizardChoice>(id))
                    *choice = GetRadioIndex(choices.first, choices.last);
            };
        }
        return frames;
    }();
    return s_frames[static_cast<std::size_t>(pageId - kFirstSetupWizardPageId)];
}

plat::INT_PTR pageProc(int pageId, plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                       plat::LPARAM lParam) {
    return HandleDialogFrame(pageFrame(pageId), dialog, message, wParam, lParam);
}

// The question's three buttons; its two arrows point at the answers for "If No," and "If Yes,".
constexpr int kBrandNewUserButton = DialogControlId(kPreviousUseDialogId, 8);
constexpr int kFreshPreferencesButton = DialogControlId(kPreviousUseDialogId, 9);
constexpr int kImportPreferencesButton = DialogControlId(kPreviousUseDialogId, 10);
constexpr int kAnswerArrowBitmapId = 14384;

const DialogFrame& previousUseFrame() {
    static const DialogFrame s_frame = [] {
        DialogFrame f;
        f.id = kPreviousUseDialogId;
        f.pictures = {{kAnswerArrowBitmapId, 46, 38, kBitmapTransparent},
                      {kAnswerArrowBitmapId, 148, 38, kBitmapTransparent}};
        f.closingButtons = {
            {kBrandNewUserButton, 1}, {kFreshPreferencesButton, 1}, {kImportPreferencesButton, 2}};
        return f;
    }();
    return s_frame;
}

} // namespace

SetupWizardChoices SetupWizardPageChoices(int pageId) {
    if (pageId < kFirstSetupWizardPageId || pageId > kLastSetupWizardPageId)
        return {0, 0};
    return layoutOf(pageId).choices;
}

plat::INT_PTR PreviousUseDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam) {
    // The question has neither OK nor Cancel: Escape, the close box (which sends Cancel)
    // and a stray OK must not answer it for the user.
    if (message == plat::WM_COMMAND) {
        const int id = plat::LOWORD(wParam);
        if (id == plat::IDOK || id == plat::IDCANCEL) {
            SnapshotModifierKeys();
            return plat::TRUE;
        }
    }
    return HandleDialogFrame(previousUseFrame(), dialog, message, wParam, lParam);
}

int32_t RunPreviousUseDlg(void* param) {
    return LaunchDialog(kPreviousUseDialogId, &PreviousUseDlgProc,
                        reinterpret_cast<std::uintptr_t>(param));
}

// Each page's launcher and procedure: the same procedure under the page's own name and id.
#define KV_SETUP_PAGE(Run, Proc, Id, Param)                                                        \
    plat::INT_PTR Proc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,                 \
                       plat::LPARAM lParam) {                                                      \
        return pageProc(Id, dialog, message, wParam, lParam);                                      \
    }                                                                                              \
    int32_t Run(Param* param) {                                                                    \
        return LaunchDialog(Id, &Proc, reinterpret_cast<std::uintptr_t>(param));                   \
    }

// clang-format off
KV_SETUP_PAGE(RunSetupStep1Dlg, SetupStep1DlgProc, 4215, WizardChoice)
KV_SETUP_PAGE(RunSetupStep2Dlg, SetupStep2DlgProc, 4216, void)
KV_SETUP_PAGE(RunSetupPrinterTypeDlg, SetupPrinterTypeDlgProc, 4217, WizardChoice)
KV_SETUP_PAGE(RunSetupFontStrategyDlg, SetupFontStrategyDlgProc, 4218, WizardChoice)
KV_SETUP_PAGE(RunSetupImageQualityDlg, SetupImageQualityDlgProc, 4219, WizardChoice)
KV_SETUP_PAGE(RunSetupVerticalAlignmentDlg, SetupVerticalAlignmentDlgProc, 4220, WizardChoice)
KV_SETUP_PAGE(RunSetupCopyCommandDlg, SetupCopyCommandDlgProc, 4221, WizardChoice)
KV_SETUP_PAGE(RunSetupFinishedDlg, SetupFinishedDlgProc, 4222, void)
// clang-format on

#undef KV_SETUP_PAGE
