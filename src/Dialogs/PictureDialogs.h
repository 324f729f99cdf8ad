#pragma once
// The two dialogs that shape copied and exported pictures of an expression: the turn of the
// picture (the expression itself is always edited upright) and the blank margins around it; and
// the commands of the Préférences menu that run them on the program-wide settings. "OK, en
// permanence" keeps the turn for every later picture and, like the margins, in the general
// preference file.

#include "ExprSrcs/Change.h"
#include "OverPc/commands/PrefFieldRanges.h"
#include "plat/Types.h"

#include <array>
#include <cstdint>

inline constexpr int kImageRotationDialogId = 4134;
inline constexpr int kImageMarginsDialogId = 4135;

// Menu items that run the commands.
inline constexpr int kImageRotationMenuId = 7173;
inline constexpr int kImageMarginsMenuId = 7174;

// ---- "Rotation de l'image"

inline constexpr int kRotationPermanentItem = 9574; // "OK, en permanence"
inline constexpr int kRotationClockwiseItem = 9578;
inline constexpr int kRotationUprightItem = 9579;
inline constexpr int kRotationAnticlockwiseItem = 9580;
// Commands that no control has: clicks on the pictures beside the buttons send them.
inline constexpr int kRotationClockwisePictureCommand = 9581;
inline constexpr int kRotationUprightPictureCommand = 9582;
inline constexpr int kRotationAnticlockwisePictureCommand = 9583;
// The pictures of the three rows.
inline constexpr int kRotationUprightBitmap = 15968;
inline constexpr int kRotationClockwiseBitmap = 15984;
inline constexpr int kRotationAnticlockwiseBitmap = 16000;

// One quarter turn in hundredths of a degree; positive turns anticlockwise.
inline constexpr int32_t kQuarterTurn = 9000;

struct ImageRotationDlgRecord {
    // 0 clockwise, 1 upright, 2 anticlockwise: the rotation is (index - 1) x 9000.
    int32_t index = 1;
};

// The radio index that shows `rotation` (rotation / 9000 + 1, truncating toward zero).
int32_t RotationIndexOf(int32_t rotation);
// `rotation` snapped to the nearest of -9000, 0 and 9000 (an angle with no button of its own
// would otherwise show none).
int32_t SnapRotation(int32_t rotation);

// Result 1 "Image suivante seulement", 2 "OK, en permanence", 0 "Annuler".
int32_t RunImageRotationDlg(ImageRotationDlgRecord* record);
plat::INT_PTR ImageRotationDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam);

// ---- "Bords de l'image"

inline constexpr int kMarginLeftItem = 9833;
inline constexpr int kMarginRightItem = 9834;
inline constexpr int kMarginTopItem = 9835;
inline constexpr int kMarginBottomItem = 9836;

// The margins general.prf may hold.
inline constexpr int32_t kMinimumPictureMargin = kPictureMarginRange.low;
inline constexpr int32_t kMaximumPictureMargin = kPictureMarginRange.high;

// The margins in points as decimal text: left, right, top, bottom.
struct ImageMarginsDlgRecord {
    std::array<DialogText, 4> fields{};
};

// A margin field as the commands read it: a decimal integer after optional blanks and a sign
// (text without a number reads as 0), clamped to -5..100.
int32_t MarginFromText(const char* text);

// Result 1 "OK", 0 "Annuler".
int32_t RunImageMarginsDlg(ImageMarginsDlgRecord* record);
plat::INT_PTR ImageMarginsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam);

// ---- The commands

// Runs "Rotation de l'image" on the next picture's turn; "Image suivante seulement" sets the next
// picture's turn only, "OK, en permanence" the permanent one as well (and writes the general
// preference file); Cancel changes nothing.
void ChooseImageRotation();
// Runs "Bords de l'image" on the picture margins; after OK each field is read and clamped.
void ChooseImageMargins();
