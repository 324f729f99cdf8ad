#include "Dialogs/HelpTours.h"

#include "Dialogs/HelpScreens.h"
#include "OverPc/PERROR.h"

#include <cstddef>
#include <vector>

int32_t RunHelpTour(const HelpScreenLauncher* pages, int count) {
    // The records live only as long as the tour: no page keeps them.
    std::vector<HelpScreenParam> params(static_cast<std::size_t>(count > 0 ? count : 0),
                                        HelpScreenParam{});
    int32_t result = 0;
    for (int i = 0; i < count; ++i) {
        result = pages[i](&params[static_cast<std::size_t>(i)]);
        if (result == 0)
            return 0;
    }
    return result;
}

namespace {

template <std::size_t N> int32_t tour(const HelpScreenLauncher (&pages)[N]) {
    return RunHelpTour(pages, static_cast<int>(N));
}

} // namespace

int32_t ShowTranslatorHelpTour() {
    static constexpr HelpScreenLauncher kPages[] = {
        &RunTranslatorHelpScreen1Dlg, &RunTranslatorHelpScreen2Dlg, &RunTranslatorHelpScreen3Dlg,
        &RunTranslatorHelpScreen4Dlg};
    return tour(kPages);
}

int32_t ShowCustomizePaletteHelpTour() {
    static constexpr HelpScreenLauncher kPages[] = {
        &RunCustomizePaletteHelpScreen1Dlg, &RunCustomizePaletteHelpScreen2Dlg,
        &RunCustomizePaletteHelpScreen3Dlg, &RunCustomizePaletteHelpScreen4Dlg};
    return tour(kPages);
}

int32_t ShowWordHelpTour() {
    static constexpr HelpScreenLauncher kPages[] = {&RunWordHelpScreen1Dlg, &RunWordHelpScreen2Dlg,
                                                    &RunWordHelpScreen3Dlg, &RunWordHelpScreen4Dlg,
                                                    &RunWordHelpScreen5Dlg};
    return tour(kPages);
}

int32_t ShowOtherAppsHelpTour() {
    static constexpr HelpScreenLauncher kPages[] = {
        &RunOtherAppsHelpScreen1Dlg, &RunOtherAppsHelpScreen2Dlg, &RunOtherAppsHelpScreen3Dlg};
    return tour(kPages);
}

int32_t ShowPictVsBitmapsHelpTour() {
    static constexpr HelpScreenLauncher kPages[] = {
        &RunPictVsBitmapsHelpScreen1Dlg, &RunPictVsBitmapsHelpScreen2Dlg,
        &RunPictVsBitmapsHelpScreen3Dlg, &RunPictVsBitmapsHelpScreen4Dlg};
    return tour(kPages);
}

int32_t ShowPictureResolutionHelpTour() {
    static constexpr HelpScreenLauncher kPages[] = {
        &RunPictureResolutionHelpScreen1Dlg, &RunPictureResolutionHelpScreen2Dlg,
        &RunPictureResolutionHelpScreen3Dlg, &RunPictureResolutionHelpScreen4Dlg,
        &RunPictureResolutionHelpScreen5Dlg};
    return tour(kPages);
}

int32_t ShowPostScriptHelpTour() {
    static constexpr HelpScreenLauncher kPages[] = {
        &RunPostScriptHelpScreen1Dlg, &RunPostScriptHelpScreen2Dlg, &RunPostScriptHelpScreen3Dlg,
        &RunPostScriptHelpScreen4Dlg, &RunPostScriptHelpScreen5Dlg};
    return tour(kPages);
}

int32_t ShowTargetAppHelpTour() {
    static constexpr HelpScreenLauncher kPages[] = {
        &RunTargetAppHelpScreen1Dlg, &RunTargetAppHelpScreen2Dlg, &RunTargetAppHelpScreen3Dlg};
    return tour(kPages);
}

int32_t ShowKeystrokesHelpTour() {
    static constexpr HelpScreenLauncher kPages[] = {
        &RunKeystrokesHelpScreen1Dlg, &RunKeystrokesHelpScreen2Dlg, &RunKeystrokesHelpScreen3Dlg,
        &RunKeystrokesHelpScreen4Dlg, &RunKeystrokesHelpScreen5Dlg};
    return tour(kPages);
}

int32_t ShowTranslatorHelp() {
    return ShowTranslatorHelpTour();
}

int32_t ShowCustomizePaletteHelp() {
    return ShowCustomizePaletteHelpTour();
}

int32_t NotYetImplemented() {
    return NoteAlert(kNotYetImplementedStringId);
}

int32_t HelpPodcastsNotImplemented() {
    return NotYetImplemented();
}
