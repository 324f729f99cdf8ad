#pragma once
// "Do Secondary Command": picks an edit command or a colour for a palette button or a key. The
// list holds the edit command catalog, the fixed colour commands and a last row that asks the
// colour chooser for any other colour; RunSecondaryCommand turns the chosen row into a command
// code.

#include "OverSrcs/oGraph.h"
#include "plat/Types.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

class oListBox;

inline constexpr int kSecondaryCommandDialogId = 4118;
inline constexpr int kSecondaryHeadingItem = 5479;
inline constexpr int kSecondaryBindingsItem = 5480;
inline constexpr int kSecondaryListItem = 5481;
// The text of the colour rows, and the colour chooser's prompt.
inline constexpr int kColourRowString = 85;
inline constexpr int kChooseColourString = 223;
// "ligne %d bouton %d" and "non assignée".
inline constexpr int kPaletteCellBindingString = 235;
inline constexpr int kUnboundString = 239;
// "ligne %d bouton %d": a main-palette button bound to a command.
inline constexpr int kPaletteButtonString = 235;
// The most the bindings line shows (the terminating zero included).
inline constexpr std::size_t kBindingsTextSize = 101;

// The dialog's record: the row selected when the dialog closed, and the list object while it runs.
struct SecondaryCommandDlgRecord {
    int32_t selection = -1;
    oListBox* list = nullptr;
};

// One edit command as the dialog lists it: its code, the bitmap of its button (0: drawn from the
// label), its help text and a short label for its button picture.
struct EditCatalogRow {
    int32_t code;
    int32_t bitmapId;
    int32_t helpStringId;
    int32_t labelString; // the short words its button shows without a picture
};
std::span<const EditCatalogRow> EditCommandCatalog();
// The catalog row of a code (bit 0x8000 ignored) for a button picture: the first one, -1 when none.
int32_t FindEditCatalogRow(int32_t code);

// The colours the colour commands offer, in list order.
struct CommandColour {
    uint8_t r;
    uint8_t g;
    uint8_t b;
    int32_t nameString; // the colour's name in the string table
};
std::span<const CommandColour> CommandColourTable();
// The colour byte of a colour command: red bits 7-5, green bits 4-2, blue bits 1-0, each from the
// top bits of its component.
uint8_t CommandColourByte(uint8_t r, uint8_t g, uint8_t b);

// Rows of the list: the catalog, then the colours, then "another colour".
int32_t SecondaryCommandRowCount();
int32_t SecondaryOtherColourRow();
// The code a row gives (0 for the last row and for rows outside the list).
int32_t SecondaryRowCode(int32_t row);
// The row the dialog opens on for `code` (bit 0x8000 ignored): the last catalog row with that
// code; for a colour command the last colour row of the same colour, else the last row; -1 for
// anything else.
int32_t SecondaryPreselectedRow(int32_t code);

// Where a command is bound: the names of the keys of the live key map bound to it, joined by "; ",
// or "non assignée"; at most size - 1 characters.
std::string DescribeCommandBindings(int32_t code, std::size_t size);

// Draws the button picture of a command code inside `zone`: the insert catalog's bitmap, else the
// glyph of a typed character, the node an insertion builds drawn small, a colour swatch, the
// typing-style description, a style command's shortcut, or the command's short label.
void DrawCommandPicture(oGraphPort& port, const Zone& zone, int32_t code);
// What the typing-style buttons show: the face, size and style letters of the selection's style
// resolved against the base style.
std::string TypingStyleDescription();
inline constexpr int32_t kTypingStyleCommand = 0x6400;

// The services the dialog's procedure runs.
oListBox* FillSecondaryCommandList(int controlId);
void ShowSecondaryCommandHelp(oListBox* list);
void SelectSecondaryCommand(oListBox* list);

int32_t RunSecondaryCommandDlg(std::uintptr_t record);
plat::INT_PTR SecondaryCommandDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);

// Runs the dialog preselecting `code` and answers the chosen command code: 0 after Cancel, with
// no selection, or when the colour chooser is cancelled.
int32_t RunSecondaryCommand(int32_t code);
