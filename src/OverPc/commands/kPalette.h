#pragma once
// The palettes: a main palette and up to 100 sub-palettes of command buttons, the palette.prf file
// that keeps them, and the floating "Palette" tool window that shows the main palette.
//
// A palette is a grid of cells. A button is a block of cells: its top-left cell holds the command
// code, every other cell of the block holds code | 0x8000, so that two neighbouring buttons with
// the same code stay apart. A main-palette button with code 0x68nn opens sub-palette nn: pressing
// it pops the sub-palette up below the button, releasing over one of its buttons runs that button,
// and releasing over the main button runs the sub-palette's default button.

#include "OverSrcs/oGraph.h"
#include "OverSrcs/oWindows.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class oIStream;
class oOStream;
class oPixMap;

inline constexpr char kPalettePrefsFile[] = "palette.prf";
inline constexpr int32_t kPalettePrefsVersion = 1;
inline constexpr int32_t kSubPaletteSlots = 100;
inline constexpr int32_t kPaletteContinuation = 0x8000;
// The damaged palette.prf notice (the file's path is put in its "%s").
inline constexpr int kPalettePrefsDamagedMessage = 1297;

struct PaletteButton {
    int32_t code = 0;
    int32_t bitmapId = 0;
};

struct PaletteRecord {
    int32_t rows = 0;
    int32_t columns = 0;
    int32_t defaultRow = -1;
    int32_t defaultColumn = -1;
    std::vector<PaletteButton> cells; // rows × columns, row by row

    PaletteRecord() = default;
    PaletteRecord(int32_t r, int32_t c)
        : rows(r)
        , columns(c)
        , cells(static_cast<size_t>(r * c)) {}
    // The code of a cell; 0 outside the grid.
    int32_t code(int32_t row, int32_t column) const;
    void setCode(int32_t row, int32_t column, int32_t code);
    // Fills a block: code in its top-left cell, code | 0x8000 in the others.
    void setBlock(int32_t row, int32_t column, int32_t height, int32_t width, int32_t code);
    bool operator==(const PaletteRecord& other) const;
};

// A button of a palette: its top-left cell, size in cells and code (without the continuation bit).
struct PaletteBlock {
    int32_t row = 0;
    int32_t column = 0;
    int32_t rows = 0;
    int32_t columns = 0;
    int32_t code = 0;
};
// The button that holds the cell; false for an empty cell or one outside the grid.
bool FindPaletteBlock(const PaletteRecord& palette, int32_t row, int32_t column,
                      PaletteBlock& block);
// Every button of the palette, row by row.
std::vector<PaletteBlock> PaletteBlocks(const PaletteRecord& palette);

// The palettes in use: the main palette and the sub-palette slots (null: free).
PaletteRecord& MainPalette();
std::unique_ptr<PaletteRecord>& SubPalette(int32_t slot);
// The built-in palettes.
PaletteRecord BuiltInMainPalette();
// Null for slots that have no built-in sub-palette.
std::unique_ptr<PaletteRecord> BuiltInSubPalette(int32_t slot);
// Every palette back to the built-in ones.
void ResetPalettes();
// The code the default button of sub-palette `slot` runs (0 when none).
int32_t SubPaletteDefaultCode(int32_t slot);
// The bitmap of a code's button: the insert catalog's picture, else 0.
int32_t BitmapIdForCode(int32_t code);

// ---- palette.prf --------------------------------------------------------------------------------

struct PalettePrefsReadResult {
    int recordsRead = 0;
    int recordsFailed = 0;
    bool unknownVersion = false;
    // A record that does not fit its palette (a row out of range, a count that disagrees).
    bool inconsistent = false;
    bool damaged() const { return recordsFailed > 0 || unknownVersion || inconsistent; }
};
// Reads the palettes of the file; when the file is damaged the palettes in use are left as they
// were.
PalettePrefsReadResult ReadPalettePrefs(oIStream& stream);
void WritePalettePrefs(oOStream& stream);
// Start-up: the built-in palettes, then palette.prf of the folder when there is one; a damaged file
// is reported and the built-in palettes kept.
void LoadPalettePrefs(const std::string& folder);
// Writes palette.prf through a sibling renamed over it; false (reported unless silent) on failure.
bool SavePalettePrefs(const std::string& folder, bool silent);

// ---- The palette window -------------------------------------------------------------------------

// Side of a cell at the palette size of the "Bz" setting (clamped to 0..3).
int32_t PaletteCellSize();

class PalettePane : public oPane {
public:
    // Shows `palette`; slot -1 is the main palette, else a sub-palette pop-up.
    PalettePane(const PaletteRecord* palette, int32_t slot);
    ~PalettePane() override;

    void draw() override;
    void click(oPoint point) override;
    bool canClose() override;
    void becomeFront() override {}

    // The button under a point of the pane; false over nothing.
    bool blockAt(oPoint point, PaletteBlock& block) const;
    Zone blockZone(const PaletteBlock& block) const;
    int32_t cellSize() const { return m_cell; }
    const PaletteRecord* palette() const { return m_palette; }
    // Size of the pane for its palette.
    static oPoint paneSize(const PaletteRecord& palette, int32_t cell);
    // Drops the cached picture of the buttons and invalidates the pane.
    void releaseImage();
    bool hasImage() const { return m_image != nullptr; }
    // Draws one button again into the cached picture and invalidates it.
    void refreshBlock(const PaletteBlock& block);

private:
    void drawBlock(const PaletteBlock& block, bool pressed);
    void drawBlock(oGraphPort& port, const PaletteBlock& block, bool pressed);
    // The background and every button, as they are now.
    void renderImage(oGraphPort& port);
    // Pops sub-palette `slot` up below the block; runs what the release lands on.
    void trackSubPalette(const PaletteBlock& block);
    void trackButton(const PaletteBlock& block);

    const PaletteRecord* m_palette;
    int32_t m_slot;
    int32_t m_cell;
    std::unique_ptr<oPixMap> m_image;
};

// The pane of the open palette window, or null.
PalettePane* ThePalettePane();
// Whether the palette window is wanted (the "Pw" setting's first field).
bool PaletteWindowWanted();
void SetPaletteWindowWanted(bool wanted);
// When wanted: closes the palette window when it is open, else builds and opens it. Then writes
// general.prf silently.
void ShowPaletteWindow();
// Shut-down: keeps the palette window's place and closes it; it stays wanted.
void ClosePaletteWindow();
// Keeps the open palette window's place for the next run, leaving the window as it is.
void KeepPaletteWindowPlace();
// The Fenêtres menu's Palette item: marks the window wanted and shows or hides it.
void TogglePaletteWindowCommand();
// Drops the palette's picture and draws it afresh.
void ReleasePaletteImage();
// Redraws the typing-style buttons when the typing style changed (or always when forced); `now`
// repaints at once, otherwise only invalidates.
void UpdateStyleButtons(int32_t force, int32_t now);
// Start-up: the palette hooks of the command core.
void InstallPaletteHooks();

// What the palette draws with that belongs to the command dialogs above it: the pictures of the
// command catalog and the style buttons' text. Start-up fills these; left null, a button shows no
// picture.
struct PaletteDrawingHooks {
    // Draws the picture of command `code` centred in `zone`.
    void (*drawCommandPicture)(oGraphPort& port, const Zone& zone, int32_t code) = nullptr;
    // The typing style's face, size and style letters, as the style buttons show them.
    std::string (*typingStyleDescription)() = nullptr;
    // The bitmap of command `code` in the insert catalog, 0 when it has none.
    int32_t (*catalogBitmapId)(int32_t code) = nullptr;
};
PaletteDrawingHooks& ThePaletteDrawingHooks();
