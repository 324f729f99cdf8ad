#include "OverPc/commands/kPalette.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/oPixMap.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"
#include "plat/Files.h"
#include "plat/Window.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace {

constexpr char kPaletteTitle[] = "Palette";
// A standard button is two cells by two.
constexpr int32_t kButtonCells = 2;
constexpr int32_t kButtonsPerSubRow = 8;
constexpr int32_t kSymbolStyle = 1;
constexpr int32_t kTypingStyleCode = 0x6400;
constexpr int32_t kFirstToggle = 0x6201;
constexpr int32_t kLastToggle = 0x6203;

void drawCommandPicture(oGraphPort& port, const Zone& zone, int32_t code) {
    if (const auto draw = ThePaletteDrawingHooks().drawCommandPicture)
        draw(port, zone, code);
}

PaletteRecord& mainPalette() {
    static PaletteRecord s_main;
    return s_main;
}

std::array<std::unique_ptr<PaletteRecord>, kSubPaletteSlots>& subPalettes() {
    static std::array<std::unique_ptr<PaletteRecord>, kSubPaletteSlots> s_subs;
    return s_subs;
}

PalettePane* s_pane = nullptr;
// The typing-style description the style buttons show now.
std::string s_styleText;

int32_t sym(unsigned char ch) {
    return MakeCharCode(kSymbolStyle, ch);
}
int32_t plain(unsigned char ch) {
    return MakeCharCode(-1, ch);
}

// Codes laid out as rows of up to eight standard buttons, default button (0, 0).
std::unique_ptr<PaletteRecord> rowsOf(const std::vector<int32_t>& codes) {
    const int32_t n = static_cast<int32_t>(codes.size());
    const int32_t perRow = std::min(n, kButtonsPerSubRow);
    const int32_t rows = (n + kButtonsPerSubRow - 1) / kButtonsPerSubRow;
    auto palette = std::make_unique<PaletteRecord>(rows * kButtonCells, perRow * kButtonCells);
    for (int32_t i = 0; i < n; ++i)
        palette->setBlock((i / kButtonsPerSubRow) * kButtonCells,
                          (i % kButtonsPerSubRow) * kButtonCells, kButtonCells, kButtonCells,
                          codes[static_cast<size_t>(i)]);
    palette->defaultRow = 0;
    palette->defaultColumn = 0;
    return palette;
}

std::vector<int32_t> symbols(std::string_view bytes) {
    std::vector<int32_t> out;
    for (char c : bytes)
        out.push_back(sym(static_cast<unsigned char>(c)));
    return out;
}

std::vector<int32_t> range(int32_t first, int32_t last) {
    std::vector<int32_t> out;
    for (int32_t c = first; c <= last; ++c)
        out.push_back(c);
    return out;
}

// ---- palette.prf reading ----

struct ReadState {
    PalettePrefsReadResult* result = nullptr;
    bool versionSeen = false;
    PaletteRecord main;
    bool mainSeen = false;
    std::array<std::unique_ptr<PaletteRecord>, kSubPaletteSlots> subs;
};

PaletteRecord* paletteOfSlot(ReadState& state, int32_t slot) {
    if (slot == -1)
        return state.mainSeen ? &state.main : nullptr;
    if (slot < 0 || slot >= kSubPaletteSlots)
        return nullptr;
    return state.subs[static_cast<size_t>(slot)].get();
}

constexpr int32_t kMaxPaletteSide = 64;

void readVersion(oReader& reader, void* context) {
    auto& state = *static_cast<ReadState*>(context);
    if (reader.getNumber() != kPalettePrefsVersion)
        state.result->unknownVersion = true;
    state.versionSeen = true;
}

void readPalette(oReader& reader, void* context) {
    auto& state = *static_cast<ReadState*>(context);
    const int32_t slot = reader.getNumber();
    const int32_t rows = reader.getNumber();
    const int32_t columns = reader.getNumber();
    const int32_t defaultRow = reader.getNumber();
    const int32_t defaultColumn = reader.getNumber();
    if (slot < -1 || slot >= kSubPaletteSlots || rows < 0 || columns < 0 ||
        rows > kMaxPaletteSide || columns > kMaxPaletteSide) {
        state.result->inconsistent = true;
        return;
    }
    PaletteRecord palette(rows, columns);
    palette.defaultRow = defaultRow;
    palette.defaultColumn = defaultColumn;
    if (slot == -1) {
        state.main = std::move(palette);
        state.mainSeen = true;
    } else {
        state.subs[static_cast<size_t>(slot)] = std::make_unique<PaletteRecord>(std::move(palette));
    }
}

void readRow(oReader& reader, void* context) {
    auto& state = *static_cast<ReadState*>(context);
    const int32_t slot = reader.getNumber();
    const int32_t row = reader.getNumber();
    PaletteRecord* palette = paletteOfSlot(state, slot);
    if (palette == nullptr || row < 0 || row >= palette->rows) {
        state.result->inconsistent = true;
        return;
    }
    std::vector<int32_t> codes;
    for (int32_t c = 0; c < palette->columns; ++c)
        codes.push_back(reader.getNumber());
    if (reader.hasMore()) {
        state.result->inconsistent = true;
        return;
    }
    for (int32_t c = 0; c < palette->columns; ++c)
        palette->setCode(row, c, codes[static_cast<size_t>(c)] & 0xFFFF);
}

void showDamagedNotice(const std::string& path) {
    const char* format = LoadResString(kPalettePrefsDamagedMessage);
    std::string text = format != nullptr ? format : "%s";
    const size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, path);
    AppMessageBox(text.c_str(), nullptr, 0x2040);
}

void writePalette(oOStream& out, const PaletteRecord& palette, int32_t slot) {
    WriteRecordTag(out, "Pa");
    for (int32_t v :
         {slot, palette.rows, palette.columns, palette.defaultRow, palette.defaultColumn})
        out.putNumber(v);
    EndRecord(out);
    for (int32_t r = 0; r < palette.rows; ++r) {
        WriteRecordTag(out, "Pr");
        out.putNumber(slot);
        out.putNumber(r);
        for (int32_t c = 0; c < palette.columns; ++c)
            out.putNumber(palette.code(r, c));
        EndRecord(out);
    }
}

oWindow* paletteWindow() {
    return s_pane != nullptr ? s_pane->window() : nullptr;
}

plat::HWND handleOf(const oPane* pane) {
    if (pane == nullptr)
        return nullptr;
    const plat::HWND h = HandleOfWindow(pane->windowHandle());
    return h && plat::IsWindow(h) ? h : nullptr;
}

// Opens a pane in a window whose client area is the pane's size at screen point (x, y).
// The palette's kept place is relative to the main frame's client area, so that it opens over the
// frame's work area wherever the frame itself is placed, never over the frame's menu bar.
oPoint frameClientOrigin() {
    plat::POINT origin{0, 0};
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    if (frame != nullptr && plat::IsWindow(frame))
        plat::ClientToScreen(frame, &origin);
    return {origin.x, origin.y};
}

void keepPalettePlace(const oWindow& window) {
    const Zone place = window.currentPlacement();
    const oPoint origin = frameClientOrigin();
    SetGeneralPrefValue("Pw", 1, place.left - origin.x);
    SetGeneralPrefValue("Pw", 2, place.top - origin.y);
}

// Sizes the pane's window so that its client area holds the palette exactly.
void fitWindowToPalette(PalettePane& pane, const PaletteRecord& palette) {
    const plat::HWND h = handleOf(pane.window());
    if (h == nullptr)
        return;
    const oPoint size = PalettePane::paneSize(palette, pane.cellSize());
    plat::RECT outer, client;
    plat::GetWindowRect(h, &outer);
    plat::GetClientRect(h, &client);
    const int dw = size.x - (client.right - client.left);
    const int dh = size.y - (client.bottom - client.top);
    if (dw != 0 || dh != 0)
        plat::MoveWindow(h, outer.left, outer.top, outer.right - outer.left + dw,
                         outer.bottom - outer.top + dh, plat::TRUE);
}

oWindow* openPaneWindow(PalettePane* pane, const PaletteRecord& palette, int32_t x, int32_t y,
                        int32_t kind, const char* title) {
    const oPoint size = PalettePane::paneSize(palette, pane->cellSize());
    oWindow* win = pane->openInWindow(title, Zone{x, y, x + size.x, y + size.y, 0, 0}, kind);
    if (win == nullptr)
        return nullptr;
    // The outer rectangle was given: grow it by what the frame takes.
    fitWindowToPalette(*pane, palette);
    return win;
}

void paletteToggles(const uint8_t*) {
    if (s_pane != nullptr)
        s_pane->releaseImage();
}

bool toggleIsOn(int32_t code) {
    if (code < kFirstToggle || code > kLastToggle)
        return false;
    return ViewModes[static_cast<size_t>(code - kFirstToggle)] != 0;
}

} // namespace

// ---- Records ------------------------------------------------------------------------------------

int32_t PaletteRecord::code(int32_t row, int32_t column) const {
    if (row < 0 || column < 0 || row >= rows || column >= columns)
        return 0;
    return cells[static_cast<size_t>(row * columns + column)].code;
}

void PaletteRecord::setCode(int32_t row, int32_t column, int32_t code) {
    if (row < 0 || column < 0 || row >= rows || column >= columns)
        return;
    PaletteButton& cell = cells[static_cast<size_t>(row * columns + column)];
    cell.code = code;
    cell.bitmapId = (code & kPaletteContinuation) ? 0 : BitmapIdForCode(code);
}

void PaletteRecord::setBlock(int32_t row, int32_t column, int32_t height, int32_t width,
                             int32_t code) {
    for (int32_t r = 0; r < height; ++r)
        for (int32_t c = 0; c < width; ++c)
            setCode(row + r, column + c, (r == 0 && c == 0) ? code : (code | kPaletteContinuation));
}

bool PaletteRecord::operator==(const PaletteRecord& other) const {
    if (rows != other.rows || columns != other.columns || defaultRow != other.defaultRow ||
        defaultColumn != other.defaultColumn)
        return false;
    for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i].code != other.cells[i].code)
            return false;
    return true;
}

bool FindPaletteBlock(const PaletteRecord& palette, int32_t row, int32_t column,
                      PaletteBlock& block) {
    const int32_t here = palette.code(row, column);
    const int32_t code = here & ~kPaletteContinuation;
    if (code == 0)
        return false;
    const int32_t continuation = code | kPaletteContinuation;
    // Back to the top-left cell: left along continuation cells, then up.
    int32_t r = row, c = column;
    while (palette.code(r, c) == continuation && palette.code(r, c - 1) == continuation)
        --c;
    if (palette.code(r, c) == continuation && palette.code(r, c - 1) == code)
        --c;
    while (palette.code(r, c) == continuation &&
           (palette.code(r - 1, c) == continuation || palette.code(r - 1, c) == code))
        --r;
    if (palette.code(r, c) != code)
        return false;
    int32_t width = 1, height = 1;
    while (palette.code(r, c + width) == continuation)
        ++width;
    while (palette.code(r + height, c) == continuation)
        ++height;
    if (row >= r + height || column >= c + width)
        return false;
    block = PaletteBlock{r, c, height, width, code};
    return true;
}

std::vector<PaletteBlock> PaletteBlocks(const PaletteRecord& palette) {
    std::vector<PaletteBlock> out;
    for (int32_t r = 0; r < palette.rows; ++r)
        for (int32_t c = 0; c < palette.columns; ++c) {
            const int32_t code = palette.code(r, c);
            if (code == 0 || (code & kPaletteContinuation))
                continue;
            PaletteBlock block;
            if (FindPaletteBlock(palette, r, c, block) && block.row == r && block.column == c)
                out.push_back(block);
        }
    return out;
}

PaletteRecord& MainPalette() {
    return mainPalette();
}

std::unique_ptr<PaletteRecord>& SubPalette(int32_t slot) {
    static std::unique_ptr<PaletteRecord> s_none;
    if (slot < 0 || slot >= kSubPaletteSlots) {
        s_none.reset();
        return s_none;
    }
    return subPalettes()[static_cast<size_t>(slot)];
}

PaletteRecord BuiltInMainPalette() {
    PaletteRecord palette(2 * kButtonCells, 16 * kButtonCells);
    for (int32_t i = 0; i < 16; ++i)
        palette.setBlock(0, i * kButtonCells, kButtonCells, kButtonCells, 0x6800 + i);
    int32_t column = 0;
    auto add = [&](int32_t code, int32_t width) {
        palette.setBlock(kButtonCells, column, kButtonCells, width, code);
        column += width;
    };
    for (int32_t code : {0x4001, 0x4010, 0x4201, 0x4202, 0x4111, 0x4177, 0x4700, 0x4601, 0x5222})
        add(code, kButtonCells);
    add(kTypingStyleCode, 2 * kButtonCells);
    for (int32_t code : {0x6201, 0x6202, 0x6203, 0x6111, 0x6153})
        add(code, kButtonCells);
    palette.defaultRow = 0;
    palette.defaultColumn = 0;
    return palette;
}

std::unique_ptr<PaletteRecord> BuiltInSubPalette(int32_t slot) {
    switch (slot) {
    case 0:
        return rowsOf(
            {0x4001, 0x4006, 0x4002, 0x4007, 0x4005, 0x4010, 0x4011, 0x4030, 0x4040, 0x4020});
    case 1:
        return rowsOf({0x4201, 0x4202, 0x4203, 0x4204, 0x4205, 0x420A, 0x4206, 0x4207, 0x4208,
                       0x4209, 0x4210, 0x4211});
    case 2:
        return rowsOf({0x4111, 0x4177, 0x4122, 0x4133, 0x4144, 0x41AA, 0x4155, 0x4166, 0x4188,
                       0x4197, 0x4110, 0x4101, 0x4520, 0x4502});
    case 3:
        return rowsOf({0x4300, 0x4301, 0x4302, 0x4310, 0x4700, 0x4701, 0x4720, 0x4710, 0x4708});
    case 4:
        return rowsOf({0x4601, 0x4602, 0x4603, 0x4604, 0x4611, 0x4612, 0x4613, 0x4614});
    case 5:
        return rowsOf({0x4411, 0x4412, 0x4419, 0x4417, 0x4413, 0x4418, 0x4414, 0x441A, 0x4415,
                       0x4416, 0x441B, 0x4436});
    case 6:
        return rowsOf({0x5212, 0x5221, 0x5222, 0x5213, 0x5231, 0x5233, 0x5244, 0x5214, 0x5241});
    case 7:
        return rowsOf(range(0x5301, 0x5309));
    case 8:
        return rowsOf(symbols("abgdezhqiklmnxoprstufcywjJvV"));
    case 9:
        return rowsOf(symbols("/GDQLXPSUFYW"));
    case 10: {
        std::vector<int32_t> codes{plain('='), plain('<'), plain('>')};
        for (int32_t c : symbols("\xA3\xB3\xB9\xBB\xBA\xB5\x7E\x40\x5E\xCE\xCF\xCC\xC9\xCD\xCA"))
            codes.push_back(c);
        return rowsOf(codes);
    }
    case 11: {
        std::vector<int32_t> codes{plain('+'), sym('-')};
        for (int32_t c :
             symbols("\xB1\xB4\xB8\xD7\x2A\xC5\xC4\xD1\xB6\xD6\xE5\xD5\xF2\xA5\xA2\xB2"))
            codes.push_back(c);
        return rowsOf(codes);
    }
    case 12:
        return rowsOf(symbols("\xAE\xAC\xAB\xAD\xAF\xDE\xDC\xDB\xDD\xDF\xBF"));
    case 13:
        return rowsOf(symbols("\x22\x24\xD8\xD9\xDA\xC7\xC8\xC6\x5C\xCB\xC0\xC1\xC2\xC3"));
    case 14: {
        std::vector<int32_t> codes = symbols("\xB0\xBC\xD0\xA2\xB2\xE1\xF1");
        codes.push_back(0x5308);
        codes.push_back(0x5309);
        return rowsOf(codes);
    }
    case 15:
        return rowsOf({0x67FF, 0x67B6, 0x6749, 0x6700, 0x67E0, 0x67EC, 0x67FC, 0x671C, 0x671F,
                       0x6703, 0x6783, 0x67E3, 0x67F4, 0x6764});
    default:
        return nullptr;
    }
}

void ResetPalettes() {
    mainPalette() = BuiltInMainPalette();
    for (int32_t i = 0; i < kSubPaletteSlots; ++i)
        subPalettes()[static_cast<size_t>(i)] = BuiltInSubPalette(i);
    ReleasePaletteImage();
}

int32_t SubPaletteDefaultCode(int32_t slot) {
    const std::unique_ptr<PaletteRecord>& sub = SubPalette(slot);
    if (!sub)
        return 0;
    return sub->code(sub->defaultRow, sub->defaultColumn) & ~kPaletteContinuation;
}

int32_t BitmapIdForCode(int32_t code) {
    const auto bitmapOf = ThePaletteDrawingHooks().catalogBitmapId;
    return bitmapOf != nullptr ? bitmapOf(code & ~kPaletteContinuation) : 0;
}

// ---- palette.prf --------------------------------------------------------------------------------

PalettePrefsReadResult ReadPalettePrefs(oIStream& stream) {
    PalettePrefsReadResult result;
    ReadState state;
    state.result = &result;
    oReader reader;
    oInstallReaderHandler(reader, "Ve", &readVersion, &state);
    oInstallReaderHandler(reader, "Pa", &readPalette, &state);
    oInstallReaderHandler(reader, "Pr", &readRow, &state);
    reader.read(stream);
    result.recordsRead = reader.recordsRead();
    result.recordsFailed = reader.recordsFailed();
    if (!state.versionSeen)
        result.unknownVersion = true;
    if (!state.mainSeen)
        result.inconsistent = true;
    if (result.damaged())
        return result;
    mainPalette() = std::move(state.main);
    for (size_t i = 0; i < state.subs.size(); ++i)
        subPalettes()[i] = std::move(state.subs[i]);
    ReleasePaletteImage();
    return result;
}

void WritePalettePrefs(oOStream& out) {
    WriteRecordTag(out, "Ve");
    out.putNumber(kPalettePrefsVersion);
    EndRecord(out);
    writePalette(out, mainPalette(), -1);
    for (int32_t i = 0; i < kSubPaletteSlots; ++i)
        if (const auto& sub = subPalettes()[static_cast<size_t>(i)])
            writePalette(out, *sub, i);
}

void LoadPalettePrefs(const std::string& folder) {
    ResetPalettes();
    const std::string path = PrefsFilePath(folder, kPalettePrefsFile);
    if (folder.empty() || plat::GetFileAttributes(path.c_str()) == plat::INVALID_FILE_ATTRIBUTES)
        return;
    PalettePrefsReadResult result;
    const int code = CatchFail([&] {
        oIStreamPtr stream(NewIFileStream(path.c_str(), kLargestPrefsFile));
        result = ReadPalettePrefs(*stream);
        DestroyStream(stream);
    });
    if (code != 0 && code != errDataCorrupted) {
        // Not read at all (no regular file, too large, not permitted): the reason, by name.
        ResetPalettes();
        ErrorAlert(code);
    } else if (code != 0 || result.damaged()) {
        ResetPalettes();
        showDamagedNotice(path);
    }
}

bool SavePalettePrefs(const std::string& folder, bool silent) {
    return WritePrefsFile(folder, kPalettePrefsFile, &WritePalettePrefs, silent);
}

// ---- The pane -----------------------------------------------------------------------------------

int32_t PaletteCellSize() {
    static constexpr int32_t kCellBySize[] = {12, 16, 20, 24};
    const int32_t size = std::clamp<int32_t>(GeneralPrefValue("Bz", 0), 0, 3);
    return kCellBySize[size] * ScreenDrawingUnit();
}

PalettePane::PalettePane(const PaletteRecord* palette, int32_t slot)
    : m_palette(palette)
    , m_slot(slot)
    , m_cell(PaletteCellSize()) {
    if (slot == -1)
        s_pane = this;
}

PalettePane::~PalettePane() {
    if (s_pane == this)
        s_pane = nullptr;
}

oPoint PalettePane::paneSize(const PaletteRecord& palette, int32_t cell) {
    return {std::max(1, palette.columns * cell + 1), std::max(1, palette.rows * cell + 1)};
}

bool PalettePane::blockAt(oPoint point, PaletteBlock& block) const {
    if (point.x < 0 || point.y < 0 || m_cell <= 0)
        return false;
    return FindPaletteBlock(*m_palette, point.y / m_cell, point.x / m_cell, block);
}

Zone PalettePane::blockZone(const PaletteBlock& block) const {
    return Zone{block.column * m_cell,
                block.row * m_cell,
                (block.column + block.columns) * m_cell,
                (block.row + block.rows) * m_cell,
                0,
                0};
}

void PalettePane::drawBlock(oGraphPort& port, const PaletteBlock& block, bool pressed) {
    const Zone zone = blockZone(block);
    const Zone face{zone.left + 1, zone.top + 1, zone.right, zone.bottom, 0, 0};
    static constexpr Color kFace{236, 236, 236, 255};
    static constexpr Color kPressedFace{200, 206, 216, 255};
    static constexpr Color kLight{255, 255, 255, 255};
    static constexpr Color kShadow{128, 128, 128, 255};
    port.paintZone(face, pressed ? kPressedFace : kFace);
    // A raised edge: light on the top and left, shadow on the bottom and right; pressed, reversed.
    port.startDeluxeLine(1, pressed ? kShadow : kLight, kLineSolid, kDrawPaint);
    port.moveTo(face.left, face.bottom - 1);
    port.lineTo(face.left, face.top);
    port.lineTo(face.right - 1, face.top);
    port.endLine();
    port.startDeluxeLine(1, pressed ? kLight : kShadow, kLineSolid, kDrawPaint);
    port.moveTo(face.right - 1, face.top);
    port.lineTo(face.right - 1, face.bottom - 1);
    port.lineTo(face.left, face.bottom - 1);
    port.endLine();
    int32_t code = block.code;
    if ((code & 0xFF00) == kCmdSubPaletteBase)
        code = SubPaletteDefaultCode(code & 0xFF);
    const int32_t inset = std::max<int32_t>(2, m_cell / 6);
    const Zone picture{
        face.left + inset, face.top + inset, face.right - inset, face.bottom - inset, 0, 0};
    // Pictures drawn off-screen (the inserted nodes) are laid over the button's face.
    const Color foreground = port.foreColor(), background = port.backColor();
    port.setColors(&kColorBlack, pressed ? &kPressedFace : &kFace);
    if (code == kTypingStyleCode) {
        port.clipToZone(&face);
        drawCommandPicture(port, picture, code);
        port.clipToZone(nullptr);
    } else if (code != 0) {
        drawCommandPicture(port, picture, code);
    }
    port.setColors(&foreground, &background);
    if ((block.code & 0xFF00) == kCmdSubPaletteBase) {
        // A small corner mark tells the buttons that open a sub-palette.
        const oPoint corner[3] = {{face.right - 2, face.bottom - 6},
                                  {face.right - 2, face.bottom - 2},
                                  {face.right - 6, face.bottom - 2}};
        port.paintPolygon(3, corner, &kShadow, kDrawPaint, 0, 0);
    }
}

void PalettePane::drawBlock(const PaletteBlock& block, bool pressed) {
    drawBlock(*this, block, pressed);
}

void PalettePane::renderImage(oGraphPort& port) {
    port.paintZone(Zone{0, 0, width(), height(), 0, 0}, Color{160, 160, 160, 255});
    for (const PaletteBlock& block : PaletteBlocks(*m_palette))
        drawBlock(port, block, toggleIsOn(block.code));
}

void PalettePane::draw() {
    const Zone all{0, 0, width(), height(), 0, 0};
    // The picture of every button is made once and copied to the screen at each paint; it is
    // dropped when the palette, the typing style, a toggle or a setting behind the pictures
    // changes.
    if (m_image && (m_image->width() != all.width() || m_image->height() != all.height()))
        m_image.reset();
    if (!m_image) {
        m_image.reset(TryNewScreenPixMap(all));
        if (m_image)
            renderImage(*m_image);
    }
    if (m_image)
        restorePix(0, 0, *m_image);
    else
        renderImage(*this);
}

void PalettePane::refreshBlock(const PaletteBlock& block) {
    if (m_image)
        drawBlock(*m_image, block, toggleIsOn(block.code));
    const Zone zone = blockZone(block);
    invalidate(&zone);
}

void PalettePane::releaseImage() {
    m_image.reset();
    invalidate(nullptr);
}

bool PalettePane::canClose() {
    // Closed by its frame: the palette is no longer wanted at the next start.
    if (m_slot == -1)
        SetPaletteWindowWanted(false);
    return true;
}

void PalettePane::trackButton(const PaletteBlock& block) {
    bool inside = true;
    drawBlock(block, !toggleIsOn(block.code));
    const Zone zone = blockZone(block);
    trackDrag(
        [&](oPoint p) {
            const bool now = ZoneContainsPoint(zone, p);
            if (now != inside) {
                inside = now;
                drawBlock(block, inside != toggleIsOn(block.code));
            }
        },
        [&](oPoint p) { inside = ZoneContainsPoint(zone, p); });
    drawBlock(block, toggleIsOn(block.code));
    if (inside)
        DoCommand(block.code & ~kPaletteContinuation, 0);
    invalidate(nullptr);
}

void PalettePane::trackSubPalette(const PaletteBlock& block) {
    const int32_t slot = block.code & 0xFF;
    const std::unique_ptr<PaletteRecord>& sub = SubPalette(slot);
    if (!sub) {
        trackButton(block);
        return;
    }
    Zone screen;
    getScreenZone(screen);
    const Zone zone = blockZone(block);
    auto* popup = new PalettePane(sub.get(), slot);
    oWindow* popupWindow =
        openPaneWindow(popup, *sub, screen.left + zone.left, screen.top + zone.bottom,
                       kWindowFloating | kWindowNoActivate, "");
    if (popupWindow == nullptr) {
        delete popup;
        trackButton(block);
        return;
    }
    popupWindow->show();
    if (const plat::HWND h = handleOf(popupWindow))
        plat::UpdateWindow(h);
    drawBlock(block, true);
    PaletteBlock lit{};
    bool anyLit = false;
    auto subBlockAt = [&](oPoint p, PaletteBlock& found) {
        Zone popupScreen;
        popup->getScreenZone(popupScreen);
        const oPoint inPopup{screen.left + p.x - popupScreen.left,
                             screen.top + p.y - popupScreen.top};
        return popup->blockAt(inPopup, found);
    };
    oPoint last{zone.left, zone.top};
    trackDrag(
        [&](oPoint p) {
            PaletteBlock found;
            const bool over = subBlockAt(p, found);
            if (anyLit && (!over || found.row != lit.row || found.column != lit.column)) {
                popup->drawBlock(lit, false);
                anyLit = false;
            }
            if (over && !anyLit) {
                popup->drawBlock(found, true);
                lit = found;
                anyLit = true;
            }
        },
        [&](oPoint p) { last = p; });
    int32_t code = 0;
    PaletteBlock found;
    if (subBlockAt(last, found))
        code = found.code;
    else if (ZoneContainsPoint(zone, last))
        code = SubPaletteDefaultCode(slot);
    delete popupWindow;
    drawBlock(block, false);
    invalidate(nullptr);
    if (code != 0)
        DoCommand(code & ~kPaletteContinuation, 0);
}

void PalettePane::click(oPoint point) {
    PaletteBlock block;
    if (!blockAt(point, block))
        return;
    if ((block.code & 0xFF00) == kCmdSubPaletteBase && m_slot == -1)
        trackSubPalette(block);
    else
        trackButton(block);
}

// ---- The window ---------------------------------------------------------------------------------

PalettePane* ThePalettePane() {
    return s_pane;
}

bool PaletteWindowWanted() {
    return GeneralPrefValue("Pw", 0) != 0;
}

void SetPaletteWindowWanted(bool wanted) {
    SetGeneralPrefValue("Pw", 0, wanted ? 1 : 0);
}

void ShowPaletteWindow() {
    if (PaletteWindowWanted()) {
        if (oWindow* open = paletteWindow()) {
            // Keep where the user left it for the next opening.
            keepPalettePlace(*open);
            delete open;
        } else {
            auto* pane = new PalettePane(&mainPalette(), -1);
            const oPoint origin = frameClientOrigin();
            oWindow* win =
                openPaneWindow(pane, mainPalette(), origin.x + GeneralPrefValue("Pw", 1),
                               origin.y + GeneralPrefValue("Pw", 2),
                               kWindowCaption | kWindowFloating | kWindowNoActivate, kPaletteTitle);
            if (win == nullptr)
                delete pane;
            else
                win->show();
        }
    }
    SaveGeneralPrefs(true);
}

void KeepPaletteWindowPlace() {
    if (oWindow* open = paletteWindow())
        keepPalettePlace(*open);
}

void ClosePaletteWindow() {
    oWindow* open = paletteWindow();
    if (open == nullptr)
        return;
    keepPalettePlace(*open);
    delete open;
}

void TogglePaletteWindowCommand() {
    const bool open = paletteWindow() != nullptr;
    SetPaletteWindowWanted(true);
    ShowPaletteWindow();
    // Closed from the menu: not wanted at the next start either.
    if (open) {
        SetPaletteWindowWanted(false);
        SaveGeneralPrefs(true);
    }
}

void ReleasePaletteImage() {
    if (s_pane == nullptr)
        return;
    // A palette that changed its size changes its window's.
    fitWindowToPalette(*s_pane, mainPalette());
    s_pane->releaseImage();
}

void UpdateStyleButtons(int32_t force, int32_t now) {
    if (s_pane == nullptr)
        return;
    // What the style buttons show: the first selection's style over the base style.
    const auto describe = ThePaletteDrawingHooks().typingStyleDescription;
    std::string text = describe != nullptr ? describe() : std::string();
    if (force == 0 && text == s_styleText)
        return;
    s_styleText = text;
    for (const PaletteBlock& block : PaletteBlocks(mainPalette()))
        if (block.code == kTypingStyleCode)
            s_pane->refreshBlock(block);
    if (now != 0)
        if (const plat::HWND h = handleOf(s_pane))
            plat::UpdateWindow(h);
}

PaletteDrawingHooks& ThePaletteDrawingHooks() {
    static PaletteDrawingHooks s_hooks;
    return s_hooks;
}

void InstallPaletteHooks() {
    CommandHooks& hooks = TheCommandHooks();
    hooks.paletteToggles = &paletteToggles;
    hooks.styleButtons = &UpdateStyleButtons;
    hooks.releasePaletteImage = &ReleasePaletteImage;
}
