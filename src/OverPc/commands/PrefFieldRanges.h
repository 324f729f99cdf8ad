#pragma once
// What each number of a general.prf record may hold: every value the program's own dialogs and
// commands can store there, and nothing that none of them could have written. The reader of
// general.prf refuses a record with a value outside these ranges; the dialogs correct a stored
// value with the same ranges before they show it, and check at compile time that their popups
// offer nothing outside them. So a file the program wrote always reads back.
//
// Most numbers are typed in a dialog (resolutions, points) or derived from typed ones: any 32-bit
// value can be stored, and the code that uses one makes it safe (0 or less means the default, a
// huge one is clamped where it is used).

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/oPixMap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

struct PrefFieldRange {
    int32_t low;
    int32_t high;
    constexpr bool holds(int32_t v) const { return low <= v && v <= high; }
};

inline constexpr PrefFieldRange kAnyPrefValue{std::numeric_limits<int32_t>::min(),
                                              std::numeric_limits<int32_t>::max()};
// The typesetting popups: size steps (smaller or larger), thicknesses, distances, script heights
// and integral heights, in the units the settings keep.
inline constexpr PrefFieldRange kSizeStepRange{-6, 6};
inline constexpr PrefFieldRange kThicknessRange{1, 16};
inline constexpr PrefFieldRange kDistanceRange{0, 20};
inline constexpr PrefFieldRange kScriptHeightRange{0, 7};
inline constexpr PrefFieldRange kIntegralHeightRange{8, 32};
// Three-way choices (a root's right hook, a delimiter's increase of height).
inline constexpr PrefFieldRange kThreeWayRange{0, 2};
// The sizes of the size-step ladder: positive and no larger than a size can be.
inline constexpr PrefFieldRange kStepSizeRange{1, kMaxStepSize};
// Picture margins in points.
inline constexpr PrefFieldRange kPictureMarginRange{-5, 100};
// The permanent picture rotation, hundredths of a degree.
inline constexpr PrefFieldRange kRotationRange{-36000, 36000};
// Window places (the palette's, a new document's): far beyond any screen.
inline constexpr PrefFieldRange kScreenPlaceRange{-16384, 16384};
// The magnification ratio: the copy and export commands set it from a picture's resolution
// (made safe before use) over 300.
inline constexpr PrefFieldRange kMagnificationRange{1, kMaxPictDotsPerInch};

// The range of field `field` (counted from 0) of record `tag`.
constexpr PrefFieldRange PrefFieldRangeOf(std::string_view tag, size_t field) {
    struct Row {
        std::string_view tag;
        std::array<PrefFieldRange, 7> fields; // fields past the list take any value
        size_t count;
    };
    constexpr PrefFieldRange A = kAnyPrefValue;
    constexpr PrefFieldRange T = kThicknessRange;
    constexpr PrefFieldRange D = kDistanceRange;
    constexpr PrefFieldRange S = kSizeStepRange;
    constexpr PrefFieldRange H = kScriptHeightRange;
    constexpr PrefFieldRange Z = kStepSizeRange;
    constexpr PrefFieldRange P = kScreenPlaceRange;
    constexpr Row kRows[] = {
        {"Ss", {Z, Z, Z, Z, Z, A, A}, 5},
        {"Rf", {T, D, S, S, T, kThreeWayRange, A}, 6},
        {"Sc", {S, S, H, H, D, D, A}, 6},
        {"In", {S, T, kIntegralHeightRange, A, A, A, A}, 3},
        {"Fe", {T, T, kThreeWayRange, A, A, A, A}, 3},
        {"Mk", {T, T, A, A, A, A, A}, 2},
        {"Co", {kRotationRange, A, A, A, A, A, A}, 1},
        {"Bd",
         {kPictureMarginRange, kPictureMarginRange, kPictureMarginRange, kPictureMarginRange, A, A,
          A},
         4},
        {"Mr", {kMagnificationRange, kMagnificationRange, A, A, A, A, A}, 2},
        {"Pw", {A, P, P, A, A, A, A}, 3},
        {"Nw", {P, P, P, P, A, A, A}, 4},
    };
    for (const Row& row : kRows)
        if (row.tag == tag)
            return field < row.count ? row.fields[field] : kAnyPrefValue;
    return kAnyPrefValue;
}

// Whether every value of a dialog's popup table (separators aside) lies in a range.
template <size_t N>
constexpr bool PopupValuesWithin(const std::array<int32_t, N>& values, PrefFieldRange range,
                                 int32_t separator) {
    for (int32_t v : values)
        if (v != separator && !range.holds(v))
            return false;
    return true;
}

// A picture resolution as the picture code may use it: 0 (the caller's default) for 0 or less,
// and no more than the largest resolution a picture is made at.
constexpr int32_t UsablePictureResolution(int32_t dotsPerInch) {
    return dotsPerInch <= 0
               ? 0
               : (dotsPerInch > kMaxPictDotsPerInch ? kMaxPictDotsPerInch : dotsPerInch);
}
