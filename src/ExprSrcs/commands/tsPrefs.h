// Style records (font, style and size), the style table, the size-step ladder and the typesetting
// settings that layout reads, and the function-name list.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------------------
// FSSRecord: font, style and size, 48 bytes.

inline constexpr int kFontNameSize = 32; // 31 characters and a terminating zero
inline constexpr int kStyleByteCount = 7;

// Style byte indices, in their declared order.
inline constexpr int kStyleBold = 0;
inline constexpr int kStyleItalic = 1;
inline constexpr int kStyleUnderline = 2;
inline constexpr int kStyleOutline = 3;
inline constexpr int kStyleShadow = 4;
inline constexpr int kStyleCondense = 5;
inline constexpr int kStyleExtend = 6;

// Values of a style byte and of the two fields of the packed byte. 5 also means inherit.
inline constexpr uint8_t kStyleOff = 0;
inline constexpr uint8_t kStyleOn = 1;
inline constexpr uint8_t kStyleInherit = 2;
inline constexpr uint8_t kStyleInheritToo = 5;

// Italic modes (low field of the packed byte).
inline constexpr uint8_t kItalicOff = 0;
inline constexpr uint8_t kItalicOn = 1;
inline constexpr uint8_t kItalicLetters = 3;             // letters italic, the rest upright
inline constexpr uint8_t kItalicLettersNotFunctions = 4; // ... and function names upright

// Sizes: >= 0 absolute points; -1000 + n is n size steps relative; -1000 inherits; -2000 is the
// reset marker, copied like an absolute size and resolving to the base size.
inline constexpr int32_t kSizeInherit = -1000;
inline constexpr int32_t kSizeReset = -2000;
inline constexpr int32_t kSizeRelativeMin = -1020; // what the style dialog keeps
inline constexpr int32_t kSizeRelativeMax = -950;

inline constexpr char kFontInherit[] = "*";
inline constexpr char kFontUnknown[] = "?";

struct FSSRecord {
    char fontName[kFontNameSize] = {'*'};
    int32_t size = kSizeInherit;
    uint8_t style[kStyleByteCount] = {2, 2, 2, 2, 2, 2, 2};
    uint8_t further = 0;
    // Bits 0-3 italic mode, bits 4-6 ink-measure (vertical compression) mode, bit 7 a flag.
    uint8_t packed = 0x22;
    uint8_t shortcut = ' ';
    uint8_t slippery = 0; // a one-shot typing style
    uint8_t reserved = 0;

    uint8_t italicMode() const { return packed & 0x0F; }
    uint8_t inkMode() const { return (packed >> 4) & 0x07; }
    void setItalicMode(uint8_t mode) { packed = (packed & 0xF0) | (mode & 0x0F); }
    void setInkMode(uint8_t mode) { packed = (packed & 0x8F) | ((mode & 0x07) << 4); }
};
static_assert(sizeof(FSSRecord) == 48, "the style record is 48 bytes");

// A bounded, terminated copy of a font name (longer names are cut to 31 characters).
void SetFSSFontName(FSSRecord& record, std::string_view name);
bool IsRelativeSize(int32_t size);

// Sets the record to inherit everything: "*", -1000, style bytes 2, both packed fields 2 (bit 7
// kept), shortcut a space. The further, slippery and reserved bytes are left alone.
void InitFSSRecord(FSSRecord& record);
// The source overrides the destination where it does not inherit.
void MergeFSS(FSSRecord& dst, const FSSRecord& src);
void MergeFSSSize(FSSRecord& dst, const FSSRecord& src);
void MergeFSSFlags(FSSRecord& dst, const FSSRecord& src);
// Equal font names, sizes, style bytes, further byte and both packed fields.
bool SameFSS(const FSSRecord& a, const FSSRecord& b);

// The style of a character packed into one number, as the expression encoding writes it:
// bits 0-1 bold, 2-4 italic mode, 5-6 underline, 7-8 outline, 9-10 shadow, 11-12 condense, 13-14
// extend, 15-17 ink-measure mode. The italic byte is not stored; it follows the italic mode.
int32_t PackStyleBits(const FSSRecord& record);
// Unpacks into the record's style bytes and fields; bit 7 of the packed byte is kept. The italic
// byte follows the italic mode: 0 off, an inheriting mode inherits, any other mode on.
void UnpackStyleBits(int32_t bits, FSSRecord& record);

// ---------------------------------------------------------------------------------------------
// FontRef: the compact form kept in character nodes.

struct FontRef {
    int32_t nameOffset = 0; // into the shared font-name buffer
    int32_t size = kSizeInherit;
    int32_t styleBits = 0;
    friend bool operator==(const FontRef&, const FontRef&) = default;
};
static_assert(sizeof(FontRef) == 12, "the font reference is 12 bytes");

// Fills the record from the reference: name, size, style fields; the italic byte is derived, the
// further and slippery bytes are cleared and the shortcut becomes a space.
void ExpandFontRef(FSSRecord& record, const FontRef& ref);
// Packs the record, adding its font name to the shared buffer when it is new.
void InternFontRef(const FSSRecord& record, FontRef& ref);
// The name at an offset of the shared buffer; "*" for an offset that names none.
const char* FontNameAtOffset(int32_t offset);
// Number of distinct names held.
int32_t FontNameCount();

// ---------------------------------------------------------------------------------------------
// Style table: 64 entries (0 is the base style), then the reset record; and the default style.

inline constexpr int kStyleTableSize = 64;
inline constexpr int kResetStyleIndex = 0x40;

extern std::array<FSSRecord, kStyleTableSize> StyleTable;
extern FSSRecord ResetStyleRecord;
// Typed for style index 0, the typing style of a new selection record, and the style of
// pseudo-characters made without one. Inherits everything, so typing follows the base style.
extern FSSRecord DefaultStyle;

// Entry 0..63 of the table, the reset record for 0x40, null for anything else.
FSSRecord* StyleRecordAt(int index);
// Puts the shipped table, reset record and default style back.
void ResetStyleTable();
// The base style's size when it is absolute, else 12.
int32_t BaseStyleSize();

// ---------------------------------------------------------------------------------------------
// Size steps: the ladder of character sizes. Four steps double a size.

struct SizeStepRecord {
    int32_t minimum = 6; // the minimum character size
    int32_t step1 = 14;
    int32_t step2 = 18;
    int32_t step3 = 20;
};
extern SizeStepRecord SizeStepSettings;
// The ascending table built from the settings and the base size.
extern std::vector<int32_t> SizeStepTable;
// Sizes beyond the ladder saturate here (a point size; far beyond any use).
inline constexpr int32_t kMaxStepSize = 32767;

// The smallest of the four sizes of the size-step setting; rows, grids and lines are never laid
// out smaller.
inline int32_t MinimumCharacterSize() {
    return SizeStepSettings.minimum;
}

// m <= minimum <= base < s1 < s2 < s3 < 2 * base.
bool SizeStepsValid(const SizeStepRecord& steps, int32_t baseSize, int32_t minimumFontSize);
// The ladder for these numbers: top five entries base, s1, s2, s3, 2 * base; below, each entry is
// half the one four places above, kept below its upper neighbour, down to the minimum. Empty when
// the numbers do not make an ascending ladder.
std::vector<int32_t> BuildSizeStepLadder(const SizeStepRecord& steps, int32_t baseSize);
// Rebuilds SizeStepTable from the settings and the base size; false (table unchanged) when the
// settings do not make a ladder.
bool BuildSizeStepTable();
// The list of sizes the size-step settings show: "n, " for each entry of the ladder while the text
// is shorter than 88 characters, then the next four sizes and "...".
std::string SizeStepListText(const std::vector<int32_t>& ladder);
// The three steps filled geometrically from a base size (ratio 2^(1/4)).
std::array<int32_t, 3> GeometricSizeSteps(int32_t baseSize);

// Index i to its size: the first entry below 0, the entry inside the table, twice the size four
// places down beyond it (saturating at kMaxStepSize).
int32_t StepToSize(int32_t index);
// The largest index whose size is at most the given size (0 at or below the first entry).
int32_t SizeToStep(int32_t size);
// Moves a point size by a number of steps, one step at a time.
int32_t StepSizeBy(int32_t size, int32_t steps);

// ---------------------------------------------------------------------------------------------
// Typesetting settings read by the template layouts. Ranges are kept by their editors.

struct TypesettingRecord {
    int32_t fractionBarThickness = 4;  // 1..16
    int32_t fractionDistance = 8;      // 0..20, numerator and denominator from the bar
    int32_t fractionSize = 3;          // -6..6, steps smaller
    int32_t scriptSize = 2;            // -6..6, scripts and limits
    int32_t bigOperatorSize = 2;       // -6..6, Sigma and Pi characters
    int32_t superscriptHeight = 4;     // 0..7
    int32_t subscriptDepth = 2;        // 0..7
    int32_t superscriptSeparation = 8; // 0..20
    int32_t subscriptSeparation = 8;   // 0..20
};

struct RootRecord {
    int32_t indexSize = 4;    // -6..6, steps smaller
    int32_t strokeWeight = 4; // 1..16, 128ths of the size
    int32_t rightHook = 1;    // 0 none, 1 small, 2 large
};

struct IntegralRecord {
    int32_t limitsSize = 4;     // -6..6
    int32_t strokeWeight = 4;   // 1..16
    int32_t defaultHeight = 16; // 8..32
    uint8_t fixedHeight = 0;
    uint8_t quantiseHeight = 0;
    uint8_t straightSegments = 0;
    uint8_t removeInnerSpace = 0;
};

struct DelimiterRecord {
    int32_t verticalWeight = 4;   // 1..16, 64ths of the size
    int32_t horizontalWeight = 4; // 1..16
    int32_t increaseHeight = 0;   // 0 none, 1 a little, 2 a lot
    uint8_t quantiseSize = 0;
    uint8_t straightSegments = 0;
    uint8_t balanceAboutAxis = 0;
};

struct EmbellishmentRecord {
    int32_t dotWeight = 4;    // 1..16
    int32_t strokeWeight = 4; // 1..16
};

extern TypesettingRecord TypesettingSettings;
extern RootRecord RootSettings;
extern IntegralRecord IntegralSettings;
extern DelimiterRecord DelimiterSettings;
extern EmbellishmentRecord EmbellishmentSettings;

// 0 inches, 1 centimetres, 2 points, 3 picas.
extern int32_t MeasurementUnitSetting;
// While non-zero the drawing options double the structure margin, outline width and inset.
extern int32_t WideStructureSetting;
// 1: "?" is replaced by the original expression.
extern uint8_t ReplacePlaceholdersOption;
extern uint8_t AutoSpaceOption;

// Puts every setting above (and the size-step settings and table) back to its initial value.
void ResetTypesettingSettings();

// ---------------------------------------------------------------------------------------------
// Function names: one name a line in "function.txt" (then "function") of a folder.

inline constexpr char kFunctionNamesFile[] = "function.txt";
inline constexpr char kFunctionNamesFileAlt[] = "function";
inline constexpr int kNoFunctionNamesMessage = 508;
// Longest name kept; a longer line is not a name.
inline constexpr int kMaxFunctionNameLength = 31;

// Consecutive zero-terminated names and their count.
extern std::string FunctionNameText;
extern int32_t FunctionNameCount;

enum class FunctionNamesResult {
    Read,     // the file was read (names that were unusable were skipped)
    NotFound, // neither file opened: message 508 was shown, no names
};
// Reads the names from the folder; lines of one character or less, lines that are too long and
// lines with control or binary bytes are skipped. On failure the list is empty and the
// information box 508 is shown.
FunctionNamesResult ReadFunctionNames(const std::string& folder);
// The names read, in file order.
std::vector<std::string_view> FunctionNameList();
