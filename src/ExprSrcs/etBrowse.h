// The category tables of the translator editor ("Table de traduction"): which entry codes of a
// translator the editor offers, grouped into categories, with the string-table ids of their
// labels. Three tables, one per radio button of the editor: composites (the structural rules),
// characters (style changes, pseudo-characters and the character blocks) and strings (row
// strings, the global entries and the special words).
#pragma once

#include <cstdint>
#include <span>

// One row of a table: an entry code and its labels. Consecutive rows with the same category
// label form one category, in table order; a row with category label 0 ends a table.
struct CatTableRow {
    int32_t code;
    int32_t categoryLabel;
    int32_t entryLabel;  // 0 for a character block (the row stands for 256 character codes)
    int32_t entryLabel2; // a second label shown after the first, or 0
    int32_t reserved;
};

inline constexpr int32_t kCatTableComposites = 0;
inline constexpr int32_t kCatTableCharacters = 1;
inline constexpr int32_t kCatTableStrings = 2;
inline constexpr int32_t kCatTableCount = 3;

// The rows of table `kind` (0 to 2) up to its end row; empty for any other kind.
std::span<const CatTableRow> CatTable(int32_t kind);

// A category: its rows within the table.
struct CatCategory {
    int32_t firstRow = -1;
    int32_t rowCount = 0;
    // The category's entry codes form the 256-entry block starting at `blockBase`.
    int32_t blockBase = 0;
    // True for a character block, whose 256 entries are all characters.
    bool characterBlock = false;
    int32_t label = 0;
};

// The number of categories of table `kind`.
int32_t CatCategoryCount(int32_t kind);
// Category `index` of table `kind`; firstRow is -1 past the table's last category.
CatCategory CatCategoryAt(int32_t kind, int32_t index);
// The table row of `code` within the category, or null when the category has no such entry.
// Every code of a character block belongs to it.
const CatTableRow* CatEntryRow(int32_t kind, const CatCategory& category, int32_t code);
// The first entry code of the category.
int32_t CatFirstCode(int32_t kind, const CatCategory& category);
