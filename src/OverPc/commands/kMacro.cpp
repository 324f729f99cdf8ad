#include "OverPc/commands/kMacro.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/oPixMap.h"
#include "OverPc/shell/oListBox.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"
#include "OverSrcs/oWindows.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace {

// One line of a "Mc" record, and the whole of its encoding, at most.
constexpr uint32_t kMaxMacroLine = 1u << 20;
constexpr size_t kMaxMacroText = 4u << 20;
// The style entries whose ink measure the macro pictures make compact.
constexpr int kCompactEntries = 12;
constexpr uint8_t kCompactInkMode = 1;

// While alive, the first twelve style entries measure glyphs by their ink, so that small pictures
// of an expression are not padded by the fonts' line spacing.
class CompactInkMeasure {
public:
    CompactInkMeasure() {
        for (int i = 0; i < kCompactEntries; ++i) {
            m_saved[static_cast<size_t>(i)] = StyleTable[static_cast<size_t>(i)].packed;
            StyleTable[static_cast<size_t>(i)].setInkMode(kCompactInkMode);
        }
    }
    ~CompactInkMeasure() {
        for (int i = 0; i < kCompactEntries; ++i)
            StyleTable[static_cast<size_t>(i)].packed = m_saved[static_cast<size_t>(i)];
    }
    CompactInkMeasure(const CompactInkMeasure&) = delete;
    CompactInkMeasure& operator=(const CompactInkMeasure&) = delete;

private:
    std::array<uint8_t, kCompactEntries> m_saved{};
};

// A copy of the expression laid out on the port (the macro's own tree keeps its layout).
ExprPtr laidOutCopy(const eExpr* expression, oMeasurePort& port) {
    if (expression == nullptr)
        return nullptr;
    ExprPtr copy = CopyExpr(expression);
    if (copy)
        MeasureExpr(copy.get(), &port);
    return copy;
}

// Draws a laid-out copy with its top-left at (x, y).
void drawLaidOut(eExpr* copy, oGraphPort& port, int32_t x, int32_t y) {
    const Zone& z = copy->m_zone;
    DrawExpr(copy, &port, 0, 0, 0, 0, x - z.left, y - z.top);
}

// A white 32-bit pixmap of the size at the resolution.
std::unique_ptr<oPixMap> whitePixMap(int32_t width, int32_t height, int32_t resolution) {
    const Zone area{0, 0, width, height, 0, 0};
    std::unique_ptr<oPixMap> pixmap(NewPixMap(area, resolution, kPixelDepth32));
    if (pixmap)
        pixmap->paintZone(area, kColorWhite);
    return pixmap;
}

// Which pixels of a 32-bit pixmap are ink (darker than mid-grey), row by row.
std::vector<uint8_t> inkOf(oPixMap& pixmap) {
    const int32_t w = pixmap.bounds().width(), h = pixmap.bounds().height();
    std::vector<uint8_t> ink(static_cast<size_t>(w * h), 0);
    uint8_t* bits = nullptr;
    int32_t step = 0;
    pixmap.lockBits(&bits, &step);
    if (bits != nullptr) {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const Color c = ReadLockedPixel(bits, step, pixmap.format(), x, y);
                ink[static_cast<size_t>(y * w + x)] = (c.r * 3 + c.g * 6 + c.b) < 1280 ? 1 : 0;
            }
    }
    pixmap.unlockBits(bits, false);
    return ink;
}

// Paints the icon's ink into a square of `side` pixels at (x, y).
void paintIcon(oGraphPort& port, const MacroIcon& icon, int32_t x, int32_t y, int32_t side) {
    for (int32_t row = 0; row < kMacroIconSide; ++row)
        for (int32_t column = 0; column < kMacroIconSide; ++column) {
            if (!MacroIconPixel(icon, column, row))
                continue;
            const int32_t left = x + column * side / kMacroIconSide;
            const int32_t top = y + row * side / kMacroIconSide;
            const int32_t right = std::max(left + 1, x + (column + 1) * side / kMacroIconSide);
            const int32_t bottom = std::max(top + 1, y + (row + 1) * side / kMacroIconSide);
            port.paintZone(Zone{left, top, right, bottom}, kColorBlack);
        }
}

// The expression drawn as large as fits the zone (no larger than at the port's resolution),
// centred (or at the left), over the port's background.
void drawExpressionFitted(oGraphPort& port, const Zone& zone, const eExpr* expression,
                          bool centred = true) {
    const int32_t screen = port.resolution();
    CompactInkMeasure compact;
    std::unique_ptr<oMeasurePort> measure = NewMeasurePort(screen, 0);
    ExprPtr copy = laidOutCopy(expression, *measure);
    if (!copy)
        return;
    const int32_t w = std::max(1, copy->width()), h = std::max(1, copy->height());
    const int32_t resolution = std::max<int32_t>(
        4, std::min({screen, screen * zone.width() / w, screen * zone.height() / h}));
    const Zone area{0, 0, zone.width(), zone.height(), 0, 0};
    std::unique_ptr<oPixMap> pixmap(NewPixMap(area, resolution, kPixelDepth32));
    if (!pixmap)
        return;
    pixmap->paintZone(area, port.backColor());
    MeasureExpr(copy.get(), pixmap.get());
    drawLaidOut(copy.get(), *pixmap, centred ? (area.width() - copy->width()) / 2 : 0,
                (area.height() - copy->height()) / 2);
    port.restorePix(zone.left, zone.top, *pixmap);
}

// The open macro windows.
std::vector<ExprMacroPane*>& macroPanes() {
    static std::vector<ExprMacroPane*> panes;
    return panes;
}

void clearCodeInPalette(PaletteRecord& palette, int32_t code) {
    for (PaletteButton& b : palette.cells)
        if ((b.code & kCmdCodeMask) == code)
            b = PaletteButton{};
}

} // namespace

// ---- The list --------------------------------------------------------------------------------

MacroRecord* FindMacroRecord(int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    for (MacroRecord& macro : MacroList)
        if (macro.code == c)
            return &macro;
    return nullptr;
}

int32_t LowestFreeMacroCode() {
    for (int32_t code = kMacroFirstCode; code <= kMacroLastCode; ++code)
        if (FindMacroRecord(code) == nullptr)
            return code;
    return 0;
}

int32_t AddNewMacro() {
    const int32_t code = LowestFreeMacroCode();
    if (code == 0)
        return 0;
    MacroRecord macro;
    macro.code = code;
    macro.expression = NewSimpString(0);
    MacroList.insert(MacroList.begin(), std::move(macro));
    return code;
}

bool RemoveMacro(int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    auto it = std::find_if(MacroList.begin(), MacroList.end(),
                           [c](const MacroRecord& m) { return m.code == c; });
    if (it == MacroList.end())
        return false;
    clearCodeInPalette(MainPalette(), c);
    for (int32_t slot = 0; slot < kSubPaletteSlots; ++slot)
        if (std::unique_ptr<PaletteRecord>& sub = SubPalette(slot))
            clearCodeInPalette(*sub, c);
    // A key bound to "the macro, applied to the item before the caret" goes too: a later macro
    // given the freed code must not inherit it.
    for (int32_t& entry : KeyMap)
        if ((entry & kCmdCodeMask) == c)
            entry = 0;
    if (ExprMacroPane* pane = MacroWindowOf(c)) {
        it->openInWindow = 0;
        delete pane->window();
        it = std::find_if(MacroList.begin(), MacroList.end(),
                          [c](const MacroRecord& m) { return m.code == c; });
        if (it == MacroList.end())
            return true;
    }
    MacroList.erase(it);
    return true;
}

std::vector<MacroRecord> CopyMacroList(const std::vector<MacroRecord>& list) {
    std::vector<MacroRecord> copy;
    copy.reserve(list.size());
    for (const MacroRecord& m : list) {
        MacroRecord r;
        r.code = m.code;
        r.expression = m.expression ? CopyExpr(m.expression.get()) : nullptr;
        r.icon = m.icon;
        r.openInWindow = m.openInWindow;
        r.autoRender = m.autoRender;
        copy.push_back(std::move(r));
    }
    return copy;
}

// ---- Icons ----------------------------------------------------------------------------------

bool MacroIconPixel(const MacroIcon& icon, int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= kMacroIconSide || y >= kMacroIconSide)
        return false;
    const uint8_t byte = icon[static_cast<size_t>(y * kMacroIconRowBytes + x / 8)];
    return (byte & (0x80 >> (x % 8))) != 0;
}

void SetMacroIconPixel(MacroIcon& icon, int32_t x, int32_t y, bool on) {
    if (x < 0 || y < 0 || x >= kMacroIconSide || y >= kMacroIconSide)
        return;
    uint8_t& byte = icon[static_cast<size_t>(y * kMacroIconRowBytes + x / 8)];
    const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
    byte = on ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
}

bool MacroIconIsBlank(const MacroIcon& icon) {
    return std::all_of(icon.begin(), icon.end(), [](uint8_t b) { return b == 0; });
}

std::string MacroIconHex(const MacroIcon& icon) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(kMacroIconHexDigits);
    for (uint8_t b : icon) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 15]);
    }
    return text;
}

bool ParseMacroIconHex(std::string_view text, MacroIcon& icon) {
    if (text.size() != kMacroIconHexDigits)
        return false;
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    MacroIcon read{};
    for (size_t i = 0; i < read.size(); ++i) {
        const int high = digit(text[2 * i]), low = digit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        read[i] = static_cast<uint8_t>(high * 16 + low);
    }
    // Bits beyond the 20th of a row are not pixels: a file that sets them is not ours.
    for (int32_t row = 0; row < kMacroIconSide; ++row)
        if ((read[static_cast<size_t>(row * kMacroIconRowBytes + 2)] & 0x0F) != 0)
            return false;
    icon = read;
    return true;
}

std::unique_ptr<oPixMap> MacroIconPixMap(const MacroIcon& icon) {
    const Zone area{0, 0, kMacroIconSide, kMacroIconSide, 0, 0};
    std::unique_ptr<oPixMap> pixmap(NewPixMap(area, ScreenResolution(), kPixelMonochrome));
    if (!pixmap)
        return nullptr;
    pixmap->setColors(&kColorBlack, &kColorWhite);
    pixmap->paintZone(area, kColorWhite);
    for (int32_t y = 0; y < kMacroIconSide; ++y)
        for (int32_t x = 0; x < kMacroIconSide; ++x)
            if (MacroIconPixel(icon, x, y))
                pixmap->setPixel(x, y, true);
    return pixmap;
}

void MacroIconFromPixMap(oPixMap& pixmap, MacroIcon& icon) {
    MacroIcon read{};
    for (int32_t y = 0; y < kMacroIconSide; ++y)
        for (int32_t x = 0; x < kMacroIconSide; ++x)
            SetMacroIconPixel(read, x, y, pixmap.isPixelSet(x, y));
    icon = read;
}

Zone DrawMacroExpression(oGraphPort& port, const eExpr* expression, int32_t x, int32_t y) {
    CompactInkMeasure compact;
    ExprPtr copy = laidOutCopy(expression, port);
    if (!copy)
        return Zone{x, y, x, y};
    drawLaidOut(copy.get(), port, x, y);
    return Zone{x, y, x + copy->width(), y + copy->height()};
}

bool MacroIconFromExpressionPart(const eExpr* expression, int32_t resolution, const Zone& part,
                                 MacroIcon& icon) {
    const int32_t w = part.width(), h = part.height();
    if (w <= 0 || h <= 0 || expression == nullptr)
        return false;
    std::unique_ptr<oPixMap> pixmap = whitePixMap(w, h, resolution);
    if (!pixmap)
        return false;
    DrawMacroExpression(*pixmap, expression, 4 - part.left, 4 - part.top);
    const std::vector<uint8_t> ink = inkOf(*pixmap);
    // Each icon pixel stands for a cell of the picture; a quarter of it inked sets the pixel.
    MacroIcon made{};
    for (int32_t y = 0; y < kMacroIconSide; ++y) {
        const int32_t top = y * h / kMacroIconSide;
        const int32_t bottom = std::max(top + 1, (y + 1) * h / kMacroIconSide);
        for (int32_t x = 0; x < kMacroIconSide; ++x) {
            const int32_t left = x * w / kMacroIconSide;
            const int32_t right = std::max(left + 1, (x + 1) * w / kMacroIconSide);
            int32_t count = 0;
            for (int32_t sy = top; sy < bottom && sy < h; ++sy)
                for (int32_t sx = left; sx < right && sx < w; ++sx)
                    count += ink[static_cast<size_t>(sy * w + sx)];
            SetMacroIconPixel(made, x, y, count * 4 >= (bottom - top) * (right - left));
        }
    }
    icon = made;
    return true;
}

void SnapshotMacroIcon(const eExpr* expression, MacroIcon& icon) {
    MacroIcon made{};
    if (expression == nullptr) {
        icon = made;
        return;
    }
    // A size in points is drawn at the resolution that gives the base size that many pixels.
    const int32_t base = std::max(1, BaseStyleSize());
    const auto resolutionFor = [base](int32_t size) {
        return std::max<int32_t>(4, 72 * size / base);
    };
    int32_t chosen = 16;
    {
        CompactInkMeasure compact;
        for (int32_t size = 30; size >= 2; --size) {
            std::unique_ptr<oMeasurePort> port = NewMeasurePort(resolutionFor(size), 0);
            ExprPtr copy = laidOutCopy(expression, *port);
            if (copy && copy->width() < 22 && copy->height() < 22) {
                chosen = size;
                break;
            }
        }
    }
    std::unique_ptr<oPixMap> pixmap =
        whitePixMap(kMacroIconSide, kMacroIconSide, resolutionFor(chosen));
    if (pixmap) {
        CompactInkMeasure compact;
        ExprPtr copy = laidOutCopy(expression, *pixmap);
        if (copy)
            drawLaidOut(copy.get(), *pixmap, (kMacroIconSide - copy->width()) / 2,
                        (kMacroIconSide - copy->height()) / 2);
        const std::vector<uint8_t> ink = inkOf(*pixmap);
        for (int32_t y = 0; y < kMacroIconSide; ++y)
            for (int32_t x = 0; x < kMacroIconSide; ++x)
                SetMacroIconPixel(made, x, y,
                                  ink[static_cast<size_t>(y * kMacroIconSide + x)] != 0);
    }
    icon = made;
}

void DrawMacroPicture(oGraphPort& port, const Zone& zone, const MacroRecord& macro) {
    if (zone.width() <= 0 || zone.height() <= 0)
        return;
    if (macro.autoRender != 0 || MacroIconIsBlank(macro.icon)) {
        drawExpressionFitted(port, zone, macro.expression.get());
        return;
    }
    // Whole pixels per icon pixel when the zone allows, else the icon shrunk to the zone.
    const int32_t fit = std::min(zone.width(), zone.height());
    const int32_t side = fit >= kMacroIconSide ? fit / kMacroIconSide * kMacroIconSide : fit;
    paintIcon(port, macro.icon, zone.left + (zone.width() - side) / 2,
              zone.top + (zone.height() - side) / 2, side);
}

void DrawMacroListRow(oListBox& list, const MacroRecord& macro, const Zone& zone) {
    const int32_t box = kMacroIconSide + 2;
    const int32_t top = zone.top + (zone.height() - box) / 2;
    const Zone frame{zone.left + 2, top, zone.left + 2 + box, top + box};
    list.paintZone(frame, kColorWhite);
    list.frameZone(frame, 1, kColorLightGrey, kLineSolid, kDrawPaint);
    paintIcon(list, macro.icon, frame.left + 1, frame.top + 1, kMacroIconSide);
    // A tall expression is drawn smaller: a row never spills into its neighbours.
    const Zone area{frame.right + 4, zone.top + 1, zone.right - 2, zone.bottom - 1};
    if (macro.expression && area.width() > 0 && area.height() > 0)
        drawExpressionFitted(list, area, macro.expression.get(), false);
}

// ---- general.prf ------------------------------------------------------------------------------

void WriteMacroRecords(oOStream& out) {
    for (const MacroRecord& m : MacroList) {
        WriteRecordTag(out, kMacroRecordTag);
        out.putNumber(m.code);
        out.putNumber(m.autoRender != 0 ? 1 : 0);
        const std::string hex = MacroIconHex(m.icon);
        out.write(hex.data(), static_cast<uint32_t>(hex.size()));
        ExprPtr empty;
        const eExpr* expression = m.expression.get();
        if (expression == nullptr) {
            empty = NewSimpString(0);
            expression = empty.get();
        }
        WriteExprEncoding(&out, expression, "\n\t", 0, 0, 0, true, true, false, false);
        EndRecord(out);
    }
}

void ReadMacroRecord(oReader& reader, void*) {
    const int32_t code = reader.getNumber();
    const int32_t autoRender = reader.getNumber();
    if (code < kMacroFirstCode || code > kMacroLastCode || FindMacroRecord(code) != nullptr)
        Fail(errDataCorrupted);
    // The icon, then the encoding, which goes on over the continuation lines; the record is read
    // whole before the encoding is, so that a damaged encoding cannot run into the next records.
    std::string text = reader.restOfLine(kMaxMacroLine);
    MacroIcon icon{};
    if (text.size() < kMacroIconHexDigits ||
        !ParseMacroIconHex(std::string_view(text).substr(0, kMacroIconHexDigits), icon))
        Fail(errDataCorrupted);
    std::string encoding = text.substr(kMacroIconHexDigits);
    std::string line;
    while (reader.continuationLine(line, kMaxMacroLine)) {
        if (encoding.size() + line.size() > kMaxMacroText)
            Fail(errDataCorrupted);
        encoding += "\n\t";
        encoding += line;
    }
    ExprPtr expression = ReadExprEncodingFromMemory(encoding.data(), encoding.size());
    if (!expression)
        Fail(errDataCorrupted);
    MacroRecord macro;
    macro.code = code;
    macro.expression = std::move(expression);
    macro.icon = icon;
    macro.autoRender = autoRender != 0 ? 1 : 0;
    MacroList.push_back(std::move(macro));
}

// ---- The macro's editing window ------------------------------------------------------------

ExprMacroPane::ExprMacroPane(int32_t code)
    : m_code(code) {
    macroPanes().push_back(this);
}

ExprMacroPane::~ExprMacroPane() {
    // A window that goes without being asked to close still leaves its work in the macro.
    if (MacroRecord* macro = FindMacroRecord(m_code); macro != nullptr && macro->openInWindow != 0)
        giveBack();
    std::vector<ExprMacroPane*>& panes = macroPanes();
    panes.erase(std::remove(panes.begin(), panes.end(), this), panes.end());
}

bool ExprMacroPane::canClose() {
    giveBack();
    // A palette button may show the expression.
    ReleasePaletteImage();
    SaveGeneralPrefs(false);
    return true;
}

std::string ExprMacroPane::fileName() const {
    const char* title = LoadResString(kMacroWindowTitleString);
    return title != nullptr ? title : "";
}

void ExprMacroPane::giveBack() {
    MacroRecord* macro = FindMacroRecord(m_code);
    if (macro == nullptr)
        return;
    if (const eExpr* e = expression())
        macro->expression = CopyExpr(e);
    macro->openInWindow = 0;
}

ExprMacroPane* OpenMacroWindow(int32_t code) {
    MacroRecord* macro = FindMacroRecord(code);
    if (macro == nullptr || macro->openInWindow != 0)
        return nullptr;
    ExprPtr copy = macro->expression ? CopyExpr(macro->expression.get()) : NewSimpString(0);
    auto* pane = new ExprMacroPane(macro->code);
    const std::string title = pane->fileName();
    const int16_t error =
        CatchFail([&] { InitExprPane(pane, std::move(copy), nullptr, title.c_str(), 0, 0, 0, 0); });
    if (error != 0) {
        delete pane;
        ErrorAlert(error);
        return nullptr;
    }
    macro->openInWindow = 1;
    pane->takeFocus();
    return pane;
}

ExprMacroPane* MacroWindowOf(int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    for (ExprMacroPane* pane : macroPanes())
        if (pane->macroCode() == c)
            return pane;
    return nullptr;
}

void CloseMacroWindows() {
    while (!macroPanes().empty()) {
        ExprMacroPane* pane = macroPanes().front();
        pane->giveBack();
        if (oWindow* window = pane->window())
            delete window;
        else
            delete pane;
        // A pane its window did not take along is no longer a window of the macro.
        std::vector<ExprMacroPane*>& panes = macroPanes();
        if (!panes.empty() && panes.front() == pane)
            panes.erase(panes.begin());
    }
}
