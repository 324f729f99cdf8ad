// Structural equality of expression trees and the pattern search of find and replace. Equality
// compares classes, shapes and text only: fonts, styles, sizes, colours, nudges and layout never
// take part, so a pattern typed in any style finds its matches.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>

class eWord;

// Looks for the pattern word's text inside the word's text between byte positions `from` and `to`
// (double-byte text only on whole characters). On success the entry's node, start and end become
// (word, position, position + pattern length); its row fields are left alone. An empty pattern
// word never matches, and a word never matches a pattern of the other byte width.
bool MatchWordText(const eWord* word, int32_t from, int32_t to, const eWord* pattern,
                   SelectionEntry& entry, int32_t options);

// Looks for the pattern row inside the range [start, end) of the row the entry names. A pattern of
// exactly one word is searched as text inside the range's words; any other pattern as consecutive
// whole elements. On a match the entry is rewritten to it and true is returned. With a counter, a
// word match goes on through the same word and the entry grows to the end of the last match; the
// counter receives the number of matches (0 when none).
bool FindPatternInRange(SelectionEntry& entry, const eExpr* pattern, int32_t options,
                        int32_t* count);
