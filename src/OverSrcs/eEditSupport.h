// Editing commands that work by driving other commands and node operations: "Alignement magique"
// (linking the corresponding rows of like structures into alignment rings, and unlinking them),
// the checks that keep a ring from holding a row together with a row that contains it, the reset
// style command, and turning plain text into a row of words.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>
#include <string_view>

class eString;

// The error of linking when nothing could be linked.
inline constexpr int errNothingToLink = 504;

// Linking state: the first structure met, the one being linked with it, and whether any pair was
// linked.
extern eExpr* LinkFirstStructure;
extern eExpr* LinkSecondStructure;
extern uint8_t LinkedAnything;

// With link 0 the selected rows leave their rings; otherwise every structure of the selection
// after the first is linked with the first. Fails with errNothingToLink when nothing was linked.
void LinkRowsCommand(int32_t link);
// Takes every row of the selection (and below it) out of its ring.
void UnlinkSelectedRows();
// Takes the node's rows and every row below it out of their rings; the number of rows unlinked.
int32_t UnlinkTree(eExpr* node);
// Links LinkSecondStructure with LinkFirstStructure: templates of the same code slot by slot.
void LinkStructurePair();
// Whether climbing from the row through the rows that contain it, and through every ring member
// met on the way, reaches the target.
bool CheckLinkNesting(const eString* row, const eString* target, bool first);
// Whether climbing from any other member of the row's ring reaches the target.
bool CheckRingContains(const eString* row, const eString* target);
// A row whose ring holds a row containing it (or contained by it) is taken out again, with a
// beep. True when the row was left linked.
bool ValidateRowLinks(eString* row);

// Modify by kind: the query state shared with the Modify command. While the query flag is set a
// node's change only reports its Modify kind.
extern uint8_t ChangeQueryFlag;
extern int32_t ChangeReportedKind;
extern uint8_t ChangeFoundFlag;
// The message shown when no node of the kind is found.
inline constexpr int kChangeNotFoundMessage = 496;

// Finds the node of the Modify kind the selection means, selects it whole and runs Modify on it;
// shows message 496 when there is none, leaving the selection as it was. A caret, or a lone
// placeholder selected, means the nearest node of the kind round it. A selection means the
// matrix whose cells it selects, else the first node of the kind inside it at any depth in reading
// order, else the first one in the node that holds the selection (SearchSubtreeForKind, as is the
// search below a selected node); a matrix is also looked for round the selection, up to ten levels
// out.
void ModifyNodeOfKind(int32_t kind);
// Looks for the kind among the node's descendants at any depth, in reading order (a node before
// what it holds); the first match is selected whole and modified. True when one was found. A
// descendant laid out with no width is passed over with all it holds, and so is one that holds
// nothing unless it is alone in its slot (a letter alone in a numerator, not one of a row's).
bool SearchSubtreeForKind(eExpr* node, int32_t kind);

// The ruler command: turns ruler view mode on and runs Modify on the ruled row that holds the
// selection (the selection first widened outward, then the whole expression); without a selection
// it shows message 496.
void RulerCommand();

// The matrix numbering: every selected cell gets the number start + rowStep × r + columnStep × c,
// r and c the cell's row and column in the matrix `depth` levels out from the selection (0 the
// innermost; the outermost found when there are fewer). A block of selected cells numbers each
// cell in place of its contents; any other selection gets the number in place of its range.
// Fails with errNotInMatrix when no selection lies in a matrix.
inline constexpr int errNotInMatrix = 503;
void NumberMatrixCells(int32_t start, int32_t rowStep, int32_t columnStep, int32_t depth);

// The reset style: inherits everything, ink-measure mode 1; then command 0x6040 applies it.
void ApplyResetStyleCommand();

// Text to a row: the row under construction and the colour byte of the nodes made.
extern eString* TextRowUnderConstruction;
extern uint8_t TextColour;
// Appends the text to TextRowUnderConstruction (which may be replaced by a bigger row): runs of
// letters or of other alphanumerics become words of at most 11 characters, every other character a
// word of its own, a tab a tab pseudo-character and other white space a space. Returns the row.
// Long text polls HookCheckUserAbort: a stopped conversion fails and leaves the row as it was.
eString* TextToExpr(std::string_view text);
// A new row holding the text (fails, freeing it, when the conversion is stopped).
ExprPtr TextToRow(std::string_view text, uint8_t colour);

// ---- Glyphs of pseudo-characters
// A glyph is a polyline of points given in 64ths of the node's rectangle, x then y.
struct GlyphPoint {
    uint8_t x;
    uint8_t y;
};
// Draws a glyph in the absolute rectangle of the node being drawn (DrawState.absZone), as one
// line of width `lineWidth`; with `slant` the top leans right by a quarter of the height.
void DrawGlyphPolyline(const GlyphPoint* points, int32_t count, int32_t lineWidth, bool slant);
// The box of a pseudo-character measured on `text` in font-table font `font`: by ink, the port's
// ink zone moved so that its left edge is 0 (growing the right edge when it lay left of 0);
// otherwise the text's width and the line's ascent (the second metric word) as the bottom.
void MeasureGlyphText(int32_t font, std::string_view text, oMeasurePort* port, bool byInk,
                      const FontMetricWords& metrics, Zone& zone);
