#pragma once
// Macros: stored expressions with a command code 0x5000-0x50FE that insert a copy of themselves
// around the selection, through a key, a palette button or Insert Expression. Each has a 20 × 20
// icon that a palette button bound to it shows (or, with auto-render, the expression drawn small).
// general.prf keeps them as "Mc" records; a macro's expression is edited in a window of its own
// (ExprMacroPane), which gives the expression back to the macro when it closes.

#include "ExprSrcs/EPane.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/oGraph.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class oIStream;
class oOStream;
class oPixMap;
class oReader;
class oListBox;

inline constexpr int32_t kMacroFirstCode = kCmdMacroBase;
inline constexpr int32_t kMacroLastCode = kCmdMacroBase + 0xFE;
// "Fichier de travail macro": the title of a macro's editing window.
inline constexpr int kMacroWindowTitleString = 232;
// The notice added to the damaged general.prf message when macros could not be read ("%d" is
// their count).
inline constexpr int kMacrosDamagedString = 1270;
inline constexpr char kMacroRecordTag[] = "Mc";
// Hex digits of an icon in a "Mc" record.
inline constexpr size_t kMacroIconHexDigits = 2 * sizeof(MacroIcon);

// ---- The list --------------------------------------------------------------------------------

// The macro with the code (bit 0x8000 ignored), or null.
MacroRecord* FindMacroRecord(int32_t code);
// The lowest code from 0x5000 that no macro uses; 0 when all 255 are taken.
int32_t LowestFreeMacroCode();
// A new macro with the lowest free code, an empty expression and a blank icon at the head of the
// list; its code, or 0 (nothing made) when every code is taken.
int32_t AddNewMacro();
// Removes the macro: every palette cell of its code (its buttons' continuation cells too) and
// every key bound to it (with or without bit 0x8000) are cleared. False when there is none.
bool RemoveMacro(int32_t code);
// A deep copy of the list.
std::vector<MacroRecord> CopyMacroList(const std::vector<MacroRecord>& list);

// ---- Icons ----------------------------------------------------------------------------------

bool MacroIconPixel(const MacroIcon& icon, int32_t x, int32_t y);
void SetMacroIconPixel(MacroIcon& icon, int32_t x, int32_t y, bool on);
bool MacroIconIsBlank(const MacroIcon& icon);
// 120 hex digits, row by row.
std::string MacroIconHex(const MacroIcon& icon);
// False (icon untouched) unless the text is exactly 120 hex digits.
bool ParseMacroIconHex(std::string_view text, MacroIcon& icon);
// A 20 × 20 monochrome pixmap of the icon, and back.
std::unique_ptr<oPixMap> MacroIconPixMap(const MacroIcon& icon);
void MacroIconFromPixMap(oPixMap& pixmap, MacroIcon& icon);
// The zone of the expression drawn into `port` (which it is measured on) with its top-left at
// (x, y), the expression laid out on a copy; the macro's own tree is left as it is. While it is
// measured and drawn the first twelve style entries use the compact ink measure.
Zone DrawMacroExpression(oGraphPort& port, const eExpr* expression, int32_t x, int32_t y);
// The icon made from a rectangle of the expression as the preview draws it (top-left at (4, 4) on
// a port of `resolution`), scaled into 20 × 20. False when the rectangle is empty.
bool MacroIconFromExpressionPart(const eExpr* expression, int32_t resolution, const Zone& part,
                                 MacroIcon& icon);
// The icon of the whole expression: drawn at the largest size from 2 to 30 points at which it
// fits under 22 × 22 pixels (16 when none does), centred in 20 × 20.
void SnapshotMacroIcon(const eExpr* expression, MacroIcon& icon);
// A palette cell's picture of the macro: its icon centred, or the expression drawn small when the
// macro renders itself or its icon is blank.
void DrawMacroPicture(oGraphPort& port, const Zone& zone, const MacroRecord& macro);
// A row of a macro list: the icon framed at the left, the expression to its right.
void DrawMacroListRow(oListBox& list, const MacroRecord& macro, const Zone& zone);

// ---- general.prf ------------------------------------------------------------------------------

// "Mc" records in list order: code, auto-render, the icon's hex digits, then the expression's
// encoding on continuation lines.
void WriteMacroRecords(oOStream& stream);
// The "Mc" handler: appends the macro to the list when its record reads whole (a code in range
// and not yet used, a good icon, an expression that reads); otherwise fails, changing nothing.
void ReadMacroRecord(oReader& reader, void* context);

// ---- The macro's editing window ------------------------------------------------------------

class ExprMacroPane : public ExprPane {
public:
    explicit ExprMacroPane(int32_t code);
    ~ExprMacroPane() override;
    // Gives the expression back to the macro and writes general.prf; always closes.
    bool canClose() override;
    std::string fileName() const override;
    int32_t macroCode() const { return m_code; }
    // Copies the pane's expression into its macro and clears the macro's open-in-window byte.
    void giveBack();

private:
    int32_t m_code;
};

// Opens the window on a copy of the macro's expression and marks the macro open; null (nothing
// opened) when there is no such macro or it is open already.
ExprMacroPane* OpenMacroWindow(int32_t code);
// The open macro window of a macro, or null.
ExprMacroPane* MacroWindowOf(int32_t code);
// Every open macro window gives its expression back and closes (without writing the file).
void CloseMacroWindows();
