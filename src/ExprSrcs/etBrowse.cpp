#include "ExprSrcs/etBrowse.h"

#include <array>
#include <cstddef>

namespace {

// Category labels.
constexpr int32_t kLFractions = 2600;
constexpr int32_t kLRoots = 2601;
constexpr int32_t kLScripts = 2602;
constexpr int32_t kLDelimiters = 2603;
constexpr int32_t kLOrnaments = 2604;
constexpr int32_t kLIntegrals = 2605;
constexpr int32_t kLMatrices = 2606;
constexpr int32_t kLOther = 2607;
constexpr int32_t kLFontChanges = 2608;
constexpr int32_t kLPseudo = 2609;
constexpr int32_t kLStandardFonts = 2610;
constexpr int32_t kLStrings = 2611;
constexpr int32_t kLGlobal = 2612;
constexpr int32_t kLSpecialWords = 2613;
// Character blocks 2 to 17: one label each (2622 to 2637), shown when the block's font record
// names no font.
constexpr int32_t kLBlockBase = 2620;

// Entry labels.
constexpr int32_t kBefore = 2650, kAfter = 2651, kForCopy = 2652, kForFile = 2653;
constexpr int32_t kRowBegin = 2654; // to 2663: the ten string entries 4 to 0x0D
constexpr int32_t kBold = 2664, kItalic = 2665, kUpright = 2666, kUnderline = 2667, kColour = 2668;
constexpr int32_t kBegin = 2669, kEnd = 2670;
constexpr int32_t kSpace = 2671, kThinSpace = 2672, kTab = 2673, kEllipsis = 2674;
constexpr int32_t kHorizontal = 2675, kRising = 2676, kFalling = 2677, kVertical = 2678;
constexpr int32_t kHBar = 2679, kScriptEll = 2680, kOtherPseudo = 2681;
constexpr int32_t kFraction = 2682;
constexpr int32_t kFractionStyles = 2683; // 2683 to 2687: styles 1, 2, 5, 6, 7
constexpr int32_t kLongDivision = 2688, kRadical = 2689;
constexpr int32_t kScripts = 2690;
constexpr int32_t kScriptKinds = 2691; // 2691 to 2706: kinds 0 to 15
constexpr int32_t kTensor = 2710, kUpperIndex = 2711, kLowerIndex = 2712;
constexpr int32_t kOpening = 2713, kClosing = 2714, kTop = 2715, kBottom = 2716;
constexpr int32_t kDelimiterTypes = 2717; // 2717 to 2727: types 0 to 10
constexpr int32_t kMarkAbove = 2730, kMarkBelow = 2731;
constexpr int32_t kMarkTypes = 2732; // 2732 to 2743: marks 0 to 11
constexpr int32_t kLimitsBeside = 2745, kLimitsAbove = 2746;
constexpr int32_t kIntegralKinds = 2747; // 2747 to 2751: plain, contour, reversed, direct, evaluate
constexpr int32_t kMatrixEntries = 2755; // 2755 to 2767: entries 0xD0 to 0xDC
constexpr int32_t kOtherEntries = 2770;  // 2770 to 2775: entries 0xE0 to 0xE5
constexpr int32_t kBigOperators = 2776;  // 2776 to 2779: sum, product, union, intersection
constexpr int32_t kSpecialWord = 2780;

constexpr size_t kCompositeRows = 6 + 1 + 16 + 4 + 8 + 44 + 24 + 10 + 13 + 6 + 1;
constexpr size_t kCharacterRows = 10 + 10 + 17 + 1;
constexpr size_t kStringRows = 10 + 4 + 256 + 1;

constexpr std::array<CatTableRow, kCompositeRows> compositeTable() {
    std::array<CatTableRow, kCompositeRows> t{};
    size_t n = 0;
    auto add = [&](int32_t code, int32_t category, int32_t label, int32_t label2) {
        t[n++] = CatTableRow{code, category, label, label2, 0};
    };
    const int32_t fractionStyles[] = {1, 2, 5, 6, 7};
    for (int32_t i = 0; i < 5; ++i)
        add(0x30 + fractionStyles[i], kLFractions, kFraction, kFractionStyles + i);
    add(0x38, kLFractions, kLongDivision, 0);
    add(0x40, kLRoots, kRadical, 0);
    for (int32_t k = 0; k < 16; ++k)
        add(0x48 + k, kLScripts, kScripts, kScriptKinds + k);
    add(0x58, kLScripts, kTensor, kBegin);
    add(0x59, kLScripts, kTensor, kUpperIndex);
    add(0x5A, kLScripts, kTensor, kLowerIndex);
    add(0x5B, kLScripts, kTensor, kEnd);
    for (int32_t above = 1; above >= 0; --above)
        for (int32_t op = 0; op < 4; ++op)
            add((above != 0 ? 0xF0 : 0xF8) + op, kLScripts, kBigOperators + op,
                above != 0 ? kLimitsAbove : kLimitsBeside);
    const int32_t sides[] = {kOpening, kClosing, kTop, kBottom};
    for (int32_t side = 0; side < 4; ++side)
        for (int32_t type = 0; type <= 10; ++type)
            add(0x60 + 0x10 * side + type, kLDelimiters, kDelimiterTypes + type, sides[side]);
    for (int32_t below = 0; below < 2; ++below)
        for (int32_t mark = 0; mark < 12; ++mark)
            add(0xA0 + 0x10 * below + mark, kLOrnaments, kMarkTypes + mark,
                below != 0 ? kMarkBelow : kMarkAbove);
    for (int32_t above = 0; above < 2; ++above)
        for (int32_t s = 0; s < 5; ++s)
            add(0xC0 + 8 * above + s, kLIntegrals, kIntegralKinds + s,
                above != 0 ? kLimitsAbove : kLimitsBeside);
    for (int32_t i = 0; i <= 0x0C; ++i)
        add(0xD0 + i, kLMatrices, kMatrixEntries + i, 0);
    for (int32_t i = 0; i <= 5; ++i)
        add(0xE0 + i, kLOther, kOtherEntries + i, 0);
    add(0, 0, 0, 0);
    return t;
}

constexpr std::array<CatTableRow, kCharacterRows> characterTable() {
    std::array<CatTableRow, kCharacterRows> t{};
    size_t n = 0;
    auto add = [&](int32_t code, int32_t category, int32_t label, int32_t label2) {
        t[n++] = CatTableRow{code, category, label, label2, 0};
    };
    const int32_t changes[] = {kBold, kItalic, kUpright, kUnderline, kColour};
    for (int32_t i = 0; i < 5; ++i) {
        add(0x10 + 2 * i, kLFontChanges, changes[i], kBegin);
        add(0x11 + 2 * i, kLFontChanges, changes[i], kEnd);
    }
    add(0x20, kLPseudo, kSpace, 0);
    add(0x21, kLPseudo, kThinSpace, 0);
    add(0x22, kLPseudo, kTab, 0);
    add(0x23, kLPseudo, kEllipsis, kHorizontal);
    add(0x24, kLPseudo, kEllipsis, kRising);
    add(0x25, kLPseudo, kEllipsis, kFalling);
    add(0x26, kLPseudo, kEllipsis, kVertical);
    add(0x27, kLPseudo, kHBar, 0);
    add(0x28, kLPseudo, kScriptEll, 0);
    add(0x29, kLPseudo, kOtherPseudo, 0);
    add(0x100, kLStandardFonts, 0, 0);
    for (int32_t block = 2; block <= 17; ++block)
        add(block * 256, kLBlockBase + block, 0, 0);
    add(0, 0, 0, 0);
    return t;
}

constexpr std::array<CatTableRow, kStringRows> stringTable() {
    std::array<CatTableRow, kStringRows> t{};
    size_t n = 0;
    auto add = [&](int32_t code, int32_t category, int32_t label, int32_t label2) {
        t[n++] = CatTableRow{code, category, label, label2, 0};
    };
    for (int32_t i = 0; i < 10; ++i)
        add(0x04 + i, kLStrings, kRowBegin + i, 0);
    add(0x00, kLGlobal, kBefore, kForCopy);
    add(0x01, kLGlobal, kAfter, kForCopy);
    add(0x02, kLGlobal, kBefore, kForFile);
    add(0x03, kLGlobal, kAfter, kForFile);
    for (int32_t i = 0; i < 256; ++i)
        add(0x1200 + i, kLSpecialWords, kSpecialWord, 0);
    add(0, 0, 0, 0);
    return t;
}

constexpr auto kComposites = compositeTable();
constexpr auto kCharacters = characterTable();
constexpr auto kStrings = stringTable();

} // namespace

std::span<const CatTableRow> CatTable(int32_t kind) {
    switch (kind) {
    case kCatTableComposites:
        return {kComposites.data(), kComposites.size() - 1};
    case kCatTableCharacters:
        return {kCharacters.data(), kCharacters.size() - 1};
    case kCatTableStrings:
        return {kStrings.data(), kStrings.size() - 1};
    default:
        return {};
    }
}

int32_t CatCategoryCount(int32_t kind) {
    const std::span<const CatTableRow> rows = CatTable(kind);
    int32_t count = 0;
    for (size_t i = 0; i < rows.size(); ++i)
        if (i == 0 || rows[i].categoryLabel != rows[i - 1].categoryLabel)
            ++count;
    return count;
}

CatCategory CatCategoryAt(int32_t kind, int32_t index) {
    const std::span<const CatTableRow> rows = CatTable(kind);
    CatCategory category;
    int32_t seen = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        const bool starts = i == 0 || rows[i].categoryLabel != rows[i - 1].categoryLabel;
        if (starts)
            ++seen;
        if (seen < index)
            continue;
        if (seen > index)
            break;
        if (category.firstRow < 0) {
            category.firstRow = static_cast<int32_t>(i);
            category.blockBase = rows[i].code & ~0xFF;
            category.characterBlock = rows[i].entryLabel == 0;
            category.label = rows[i].categoryLabel;
        }
        ++category.rowCount;
    }
    return category;
}

const CatTableRow* CatEntryRow(int32_t kind, const CatCategory& category, int32_t code) {
    const std::span<const CatTableRow> rows = CatTable(kind);
    if (category.firstRow < 0)
        return nullptr;
    for (int32_t i = 0; i < category.rowCount; ++i) {
        const CatTableRow& row = rows[static_cast<size_t>(category.firstRow + i)];
        if (row.code == code || (row.entryLabel == 0 && (code & ~0xFF) == row.code))
            return &row;
    }
    return nullptr;
}

int32_t CatFirstCode(int32_t kind, const CatCategory& category) {
    const std::span<const CatTableRow> rows = CatTable(kind);
    if (category.firstRow < 0)
        return -1;
    return rows[static_cast<size_t>(category.firstRow)].code;
}
