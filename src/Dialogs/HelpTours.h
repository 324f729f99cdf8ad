#pragma once
// The help tours: the pages of one tutorial shown one after the other until the last page or a
// cancel; and the notice that answers commands the program offers but does not provide.

#include <cstdint>

// One per page of a tour, handed to that page's launcher; no page reads it.
struct HelpScreenParam {
    std::uint8_t bytes[2];
};
static_assert(sizeof(HelpScreenParam) == 2);

// "This feature has not yet been implemented."
inline constexpr int kNotYetImplementedStringId = 517;

// A page launcher as the tours call it.
using HelpScreenLauncher = int32_t (*)(void* param);

// Runs `pages` in order, each with its own zero-filled record (all made before the first page):
// 0 as soon as a page returns 0 (the rest are not shown); otherwise the last page's result. Any
// other result, the runner's failure value included, moves on to the next page.
int32_t RunHelpTour(const HelpScreenLauncher* pages, int count);

// Each tour: 0 when a page was cancelled, otherwise the result of its last page (1 after "Done").
int32_t ShowTranslatorHelpTour();        // 4171-4174
int32_t ShowCustomizePaletteHelpTour();  // 4180-4183
int32_t ShowWordHelpTour();              // 4184-4188
int32_t ShowOtherAppsHelpTour();         // 4189-4191
int32_t ShowPictVsBitmapsHelpTour();     // 4192-4195
int32_t ShowPictureResolutionHelpTour(); // 4196-4200
int32_t ShowPostScriptHelpTour();        // 4201-4205
int32_t ShowTargetAppHelpTour();         // 4206-4208
int32_t ShowKeystrokesHelpTour();        // 4209-4213

int32_t ShowTranslatorHelp();
int32_t ShowCustomizePaletteHelp();

// The notice in an information box; returns what the box returns.
int32_t NotYetImplemented();
int32_t HelpPodcastsNotImplemented();
