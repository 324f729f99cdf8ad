#pragma once
// Help balloons: while the settings turn them on, resting the pointer over a part of a document
// window that has help shows that help in a small popup beside the pointer. The step runs from
// the idle step and from the tick.

#include "OverSrcs/oGraph.h"
#include "plat/Types.h"

#include <cstdint>
#include <string>

class oWindow;

// The two switches of the settings store, each a bit of HelpBalloonModes().
inline constexpr int kNotebookTipsMode = 1; // value "NotebookTips"
inline constexpr int kPaletteTipsMode = 2;  // value "PaletteTips"
// The popup's window class.
inline constexpr const char* kBalloonWindowClass = "KorvalineBalloon";
// How long the pointer rests in one place before its balloon shows.
inline constexpr plat::DWORD kBalloonHoverMs = 500;
// The texts shown over a selection when its node has no help of its own.
inline constexpr int kSelectionBalloonString = 1400;
inline constexpr int kPaletteSelectionBalloonString = 1401;

// The modes from the settings store (read on first use; each on when its value's text starts
// with "1" or, for a number, when it is not 0). 0 when neither is set: balloons are off.
int HelpBalloonModes();
// Forgets the modes read and the hover (they are read again on the next step), and hides the
// balloon.
void ResetHelpBalloons();

// Whether the point (client coordinates of the window) lies on the window's selection, and then
// the highlight's area (any fixed coordinates: it only tells one place from another). The
// document layer installs it; without it no point is over a selection.
using SelectionProbe = bool (*)(oWindow* window, oPoint point, Zone& area);
void SetHelpBalloonSelectionProbe(SelectionProbe probe);

// One step: follows the pointer and shows, keeps or hides the balloon.
void HelpBalloonStep();
// Hides the balloon and starts the hover again (a key, a click, a scroll).
void HideHelpBalloon();

// The balloon's window while it shows (null otherwise) and the text it shows.
plat::HWND HelpBalloonWindow();
const std::string& HelpBalloonText();
