// The font calls on DCs and font handles, over the GDI module's object table and DC state.

#include "core/emf/EmfRecorder.h"
#include "core/font/Encoding.h"
#include "core/font/FontObject.h"
#include "core/font/TextRenderer.h"
#include "core/gdi/WindowDc.h"
#include "plat/Testing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

namespace plat {

using fontcore::FontInstance;
using fontcore::FontObject;

namespace {

// What tests asked to see of the text drawn (see plat::testing::recordDrawnText).
bool s_recordDrawnText = false;
std::vector<testing::DrawnText> s_drawnTexts;

void noteDrawnText(HDC hdc, const FontInstance& font, const char* text, UINT count) {
    testing::DrawnText drawn;
    drawn.window = core::WindowOfDc(hdc);
    drawn.codePage = font.codePage();
    drawn.bytes.assign(text, count);
    for (unsigned code : font.codes(text, count))
        fontcore::AppendUtf8(drawn.text, fontcore::CodeToUnicode(code, font.codePage()));
    s_drawnTexts.push_back(std::move(drawn));
}

LOGFONT makeLogFont(const char* face, LONG height, LONG weight, BYTE pitchAndFamily) {
    LOGFONT lf;
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfCharSet = ANSI_CHARSET;
    lf.lfPitchAndFamily = pitchAndFamily;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return lf;
}

std::optional<LOGFONT> stockLogFont(int stockId) {
    switch (stockId) {
    case DEFAULT_GUI_FONT:
    case ANSI_VAR_FONT:
        return makeLogFont("Arial", -11, FW_NORMAL, FF_SWISS | VARIABLE_PITCH);
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
        return makeLogFont("Arial", -16, FW_BOLD, FF_SWISS | VARIABLE_PITCH);
    case SYSTEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case OEM_FIXED_FONT:
        return makeLogFont("Courier New", -13, FW_NORMAL, FF_MODERN | FIXED_PITCH);
    default:
        return std::nullopt;
    }
}

// The font a DC without a selected font uses.
const std::shared_ptr<FontInstance>& systemFont() {
    static std::shared_ptr<FontInstance> font = FontInstance::create(*stockLogFont(SYSTEM_FONT));
    return font;
}

std::optional<std::vector<InstalledFontEntry>> s_injectedEntries;

// A font realised at the device size of a scaled mapping. The last few are kept, so that a run of
// text drawn through one scaled DC keeps its glyph caches.
std::shared_ptr<FontInstance> deviceSizedFont(const std::shared_ptr<FontInstance>& logical,
                                              const LOGFONT& deviceLogFont) {
    struct Entry {
        std::weak_ptr<FontInstance> logical;
        LONG height = 0;
        std::shared_ptr<FontInstance> device;
    };
    static std::vector<Entry> cache;
    for (std::size_t i = 0; i < cache.size(); ++i) {
        if (cache[i].logical.lock() == logical && cache[i].height == deviceLogFont.lfHeight) {
            std::rotate(cache.begin(), cache.begin() + static_cast<std::ptrdiff_t>(i),
                        cache.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return cache.front().device;
        }
    }
    auto device = FontInstance::create(deviceLogFont);
    if (!device) {
        return nullptr;
    }
    constexpr std::size_t kKept = 8;
    if (cache.size() == kKept) {
        cache.pop_back();
    }
    cache.insert(cache.begin(), Entry{logical, deviceLogFont.lfHeight, device});
    return device;
}

// The font a DC's mapping draws with: the logical font itself, or the same font realised at
// the device size when the mapping scales (the vertical scale sets the size).
std::shared_ptr<FontInstance> deviceFontFor(const std::shared_ptr<FontInstance>& font,
                                            const core::DcMapping& map) {
    const double scale = std::fabs(map.scaleY);
    if (std::fabs(scale - 1.0) <= 1e-9) {
        return font;
    }
    LOGFONT lf = font->logFont();
    const double h = lf.lfHeight == 0 ? -12.0 : static_cast<double>(lf.lfHeight);
    lf.lfHeight = static_cast<LONG>(std::lround(h * scale));
    if (lf.lfHeight == 0) {
        lf.lfHeight = h < 0 ? -1 : 1;
    }
    return deviceSizedFont(font, lf);
}

// What measuring needs of a DC: its font at the device size and the scales back to logical
// units. Measuring at the device size keeps measured and drawn widths equal: each advance rounds
// at the size the glyphs are drawn, and only the total is converted back.
struct MeasuringFont {
    std::shared_ptr<FontInstance> device;
    double scaleX = 1.0; // device units per logical unit, magnitudes
    double scaleY = 1.0;

    LONG logicalX(long device) const { return toLogical(device, scaleX); }
    LONG logicalY(long device) const { return toLogical(device, scaleY); }

private:
    static LONG toLogical(long v, double scale) {
        if (scale == 1.0) {
            return static_cast<LONG>(v);
        }
        return static_cast<LONG>(std::lround(static_cast<double>(v) / scale));
    }
};

std::optional<MeasuringFont> measuringFontOf(HDC hdc) {
    auto font = fontcore::FontInstanceOfDc(hdc);
    if (!font) {
        return std::nullopt;
    }
    core::DcMapping map;
    if (!core::GetDcMapping(hdc, &map)) {
        map = core::DcMapping();
    }
    MeasuringFont m;
    m.device = deviceFontFor(font, map);
    if (!m.device) {
        return std::nullopt;
    }
    // When only the horizontal axis scales the glyphs are drawn at the logical size, and a
    // logical unit across still holds 1 / scaleX of their width.
    m.scaleX = std::fabs(map.scaleX);
    m.scaleY = std::fabs(map.scaleY);
    return m;
}

} // namespace

int FontObject::getObject(int size, void* buffer) const {
    constexpr int full = static_cast<int>(sizeof(LOGFONT));
    if (buffer == nullptr) {
        return full;
    }
    if (size <= 0) {
        return 0;
    }
    const int n = std::min(size, full);
    std::memcpy(buffer, &m_logFont, static_cast<std::size_t>(n));
    return n;
}

namespace fontcore {

std::shared_ptr<FontInstance> FontInstanceOf(HFONT font) {
    auto obj = core::LookupGdiObjectAs<FontObject>(font, core::GdiKind::Font, "font");
    return obj ? obj->instance() : nullptr;
}

std::shared_ptr<FontInstance> FontInstanceOfDc(HDC hdc) {
    core::DcTextState state;
    if (!core::GetDcTextState(hdc, &state)) {
        return nullptr;
    }
    if (state.font != nullptr) {
        if (auto font = FontInstanceOf(state.font)) {
            return font;
        }
    }
    return systemFont();
}

} // namespace fontcore

namespace core {

std::shared_ptr<GdiObject> CreateStockFontObject(int stockId) {
    const std::optional<LOGFONT> lf = stockLogFont(stockId);
    if (!lf) {
        return nullptr;
    }
    auto instance = FontInstance::create(*lf);
    if (!instance) {
        return nullptr;
    }
    return std::make_shared<FontObject>(*lf, std::move(instance));
}

} // namespace core

HFONT CodePageGuiFont() {
    const UINT page = GetACP();
    if (page == 1252)
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    // One font per code page: a font remembers the page it was made under.
    static std::map<UINT, HFONT> fonts;
    HFONT& font = fonts[page];
    if (font == nullptr) {
        LOGFONT lf = makeLogFont("Arial", -11, FW_NORMAL, FF_SWISS | VARIABLE_PITCH);
        lf.lfCharSet = DEFAULT_CHARSET;
        font = CreateFontIndirect(&lf);
    }
    return font != nullptr ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HFONT CreateFontIndirect(const LOGFONT* logFont) {
    if (logFont == nullptr) {
        return nullptr;
    }
    LOGFONT lf = *logFont;
    lf.lfFaceName[LF_FACESIZE - 1] = '\0';
    auto instance = FontInstance::create(lf);
    if (!instance) {
        core::GdiDiagnostic("CreateFontIndirect: the font catalogue is empty");
        return nullptr;
    }
    return core::AddGdiObject(std::make_shared<FontObject>(lf, std::move(instance)));
}

BOOL GetTextMetrics(HDC hdc, TEXTMETRIC* metric) {
    if (metric == nullptr) {
        return FALSE;
    }
    const auto m = measuringFontOf(hdc);
    if (!m) {
        return FALSE;
    }
    TEXTMETRIC tm = m->device->textMetrics();
    if (m->scaleX != 1.0 || m->scaleY != 1.0) {
        tm.tmAscent = m->logicalY(tm.tmAscent);
        tm.tmDescent = m->logicalY(tm.tmDescent);
        const LONG ppem = tm.tmHeight - tm.tmInternalLeading;
        tm.tmHeight = tm.tmAscent + tm.tmDescent;
        tm.tmInternalLeading = tm.tmHeight - m->logicalY(ppem);
        tm.tmExternalLeading = m->logicalY(tm.tmExternalLeading);
        tm.tmAveCharWidth = m->logicalX(tm.tmAveCharWidth);
        tm.tmMaxCharWidth = m->logicalX(tm.tmMaxCharWidth);
        tm.tmOverhang = m->logicalX(tm.tmOverhang);
    }
    *metric = tm;
    return TRUE;
}

int GetTextFace(HDC hdc, int count, char* faceName) {
    auto font = fontcore::FontInstanceOfDc(hdc);
    if (!font) {
        return 0;
    }
    const std::string& name = font->face().name;
    if (faceName == nullptr) {
        return static_cast<int>(name.size()) + 1;
    }
    if (count <= 0) {
        return 0;
    }
    const std::size_t n = std::min(name.size(), static_cast<std::size_t>(count - 1));
    std::memcpy(faceName, name.data(), n);
    faceName[n] = '\0';
    return static_cast<int>(n);
}

// Under a scaled mapping text is measured with the font it is drawn with (the device size) and
// the total converted back to logical units, so the drawn run is as wide as the measured one
// times the scale, up to the rounding of that one conversion.
BOOL GetTextExtentPoint(HDC hdc, const char* text, int count, SIZE* size) {
    if (size == nullptr || count < 0 || (text == nullptr && count > 0)) {
        return FALSE;
    }
    const auto m = measuringFontOf(hdc);
    if (!m) {
        return FALSE;
    }
    const TEXTMETRIC tm = m->device->textMetrics();
    size->cx =
        m->logicalX(static_cast<long>(m->device->extent(text, static_cast<std::size_t>(count))));
    size->cy = m->logicalY(tm.tmAscent) + m->logicalY(tm.tmDescent);
    return TRUE;
}

BOOL GetTextExtentPoint32(HDC hdc, const char* text, int count, SIZE* size) {
    return GetTextExtentPoint(hdc, text, count, size);
}

DWORD GetGlyphOutline(HDC hdc, UINT ch, UINT format, GLYPHMETRICS* metrics, DWORD /*bufferSize*/,
                      void* /*buffer*/, const MAT2* matrix) {
    const auto error = static_cast<DWORD>(GDI_ERROR);
    if (format != GGO_METRICS || metrics == nullptr || ch > 0xFFFF) {
        return error;
    }
    if (matrix != nullptr) {
        const MAT2 id;
        auto same = [](const FIXED& a, const FIXED& b) {
            return a.fract == b.fract && a.value == b.value;
        };
        if (!same(matrix->eM11, id.eM11) || !same(matrix->eM12, id.eM12) ||
            !same(matrix->eM21, id.eM21) || !same(matrix->eM22, id.eM22)) {
            return error;
        }
    }
    const auto m = measuringFontOf(hdc);
    GLYPHMETRICS gm;
    if (!m || !m->device->glyphMetrics(ch, &gm)) {
        return error;
    }
    if (m->scaleX != 1.0 || m->scaleY != 1.0) {
        // The box edges convert, and the box is what lies between them.
        const LONG left = m->logicalX(gm.gmptGlyphOrigin.x);
        const LONG right = m->logicalX(gm.gmptGlyphOrigin.x + static_cast<long>(gm.gmBlackBoxX));
        const LONG top = m->logicalY(gm.gmptGlyphOrigin.y);
        const LONG bottom = m->logicalY(gm.gmptGlyphOrigin.y - static_cast<long>(gm.gmBlackBoxY));
        gm.gmptGlyphOrigin = POINT{left, top};
        gm.gmBlackBoxX = static_cast<UINT>(right - left);
        gm.gmBlackBoxY = static_cast<UINT>(top - bottom);
        gm.gmCellIncX = static_cast<SHORT>(m->logicalX(gm.gmCellIncX));
    }
    *metrics = gm;
    return 1;
}

BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, const char* text, UINT count,
                const int* dx) {
    if (text == nullptr && count > 0) {
        return FALSE;
    }
    if (core::EmfRecorder* recorder = core::RecorderOfDc(hdc)) { // a recording DC
        return recorder->textOut(*core::LookupDc(hdc, "ExtTextOut"), hdc, x, y, options, rect, text,
                                 count, dx);
    }
    core::DcTextState state;
    if (!core::GetDcTextState(hdc, &state)) {
        return FALSE;
    }
    // The DC's font as FontInstanceOfDc finds it, from the state already read.
    std::shared_ptr<FontInstance> font =
        state.font != nullptr ? fontcore::FontInstanceOf(state.font) : nullptr;
    if (!font) {
        font = systemFont();
    }
    if (!font) {
        return FALSE;
    }
    core::DcMapping map;
    core::GetDcMapping(hdc, &map);
    const bool updateCp = (state.textAlign & TA_UPDATECP) != 0;
    if (updateCp) {
        x = state.currentPosition.x;
        y = state.currentPosition.y;
    }
    // A scaled mapping draws the font at its device size; positions round like LPtoDP.
    auto devX = [&](double lx) { return std::round(lx * map.scaleX + map.offsetX); };
    auto devY = [&](double ly) { return std::round(ly * map.scaleY + map.offsetY); };
    const std::shared_ptr<FontInstance> deviceFont = deviceFontFor(font, map);
    if (!deviceFont) {
        return FALSE;
    }
    std::vector<int> deviceDx;
    if (dx != nullptr && count > 0) {
        // Distances scale cumulatively, so rounding never drifts along the run.
        deviceDx.resize(count);
        double sum = 0;
        double previous = 0;
        for (UINT i = 0; i < count; ++i) {
            sum += dx[i];
            const double at = std::round(sum * std::fabs(map.scaleX));
            deviceDx[i] = static_cast<int>(at - previous);
            previous = at;
        }
    }
    RECT deviceRect{};
    if (rect != nullptr) {
        const double l = devX(rect->left), r = devX(rect->right);
        const double t = devY(rect->top), b = devY(rect->bottom);
        deviceRect = RECT{static_cast<LONG>(std::min(l, r)), static_cast<LONG>(std::min(t, b)),
                          static_cast<LONG>(std::max(l, r)), static_cast<LONG>(std::max(t, b))};
    }

    if (s_recordDrawnText && count > 0) {
        noteDrawnText(hdc, *deviceFont, text, count);
    }

    fontcore::TextRun run;
    run.x = devX(x);
    run.y = devY(y);
    run.align = state.textAlign;
    run.options = options;
    run.rect = rect != nullptr ? &deviceRect : nullptr;
    run.text = text;
    run.count = count;
    run.dx = deviceDx.empty() ? nullptr : deviceDx.data();
    run.textColor = state.textColor;
    run.bkColor = state.bkColor;
    run.opaqueBackground = state.bkMode == OPAQUE;

    fontcore::TextRunResult result;
    bool blitted = false;
    if (fontcore::TextBlitting()) {
        // Text on a 32-bit image surface is drawn from cached glyph masks, without Cairo's
        // set-up per string; what the blitter does not draw goes through Cairo below.
        core::DcPixels pixels(hdc);
        if (pixels.ok()) {
            fontcore::PixelTarget target;
            target.data = pixels.data();
            target.stride = pixels.stride();
            target.width = pixels.width();
            target.height = pixels.height();
            target.origin = pixels.origin();
            target.clip = &pixels.clipRects();
            blitted = fontcore::BlitTextRun(target, *deviceFont, run, &result);
            if (blitted && result.anyTouched) {
                pixels.touch(result.touched);
            }
        }
    }
    if (!blitted) {
        core::DcCairo target(hdc);
        if (target.ok()) {
            result = fontcore::DrawTextRun(target.cr(), *deviceFont, run);
            if (result.anyTouched) {
                target.touch(result.touched);
            }
        } else {
            // No raster target (a measuring DC): the advance is still the text's width.
            result.advance = run.dx != nullptr ? 0 : deviceFont->extent(text, count);
            if (run.dx != nullptr) {
                for (UINT i = 0; i < count; ++i) {
                    result.advance += run.dx[i];
                }
            }
        }
    }
    if (updateCp) {
        // The current position moves along the baseline by the run's logical width.
        const double logical =
            static_cast<double>(result.advance) / (map.scaleX != 0 ? std::fabs(map.scaleX) : 1.0);
        const double angle = font->logFont().lfEscapement / 10.0 * M_PI / 180.0;
        long e = font->logFont().lfEscapement % 3600;
        double c = std::cos(angle), s = std::sin(angle);
        if (e % 900 == 0) {
            c = std::round(c);
            s = std::round(s);
        }
        POINT cp{x + static_cast<LONG>(std::lround(logical * c)),
                 y - static_cast<LONG>(std::lround(logical * s))};
        core::SetDcCurrentPosition(hdc, cp);
    }
    return TRUE;
}

BOOL TextOut(HDC hdc, int x, int y, const char* text, int count) {
    if (count < 0) {
        return FALSE;
    }
    return ExtTextOut(hdc, x, y, 0, nullptr, text, static_cast<UINT>(count), nullptr);
}

int EnumFontFamilies(HDC /*hdc*/, const char* family, FONTENUMPROC proc, LPARAM data) {
    if (proc == nullptr) {
        return 0;
    }
    auto& catalogue = fontcore::FontCatalogue::get();
    // Every device shows the same catalogue, so the DC only names the caller's context.
    struct Style {
        bool bold;
        bool italic;
    };
    int last = 0;
    auto report = [&](const fontcore::FaceEntry& face, Style style) {
        LOGFONT lf;
        lf.lfWeight = style.bold ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = style.italic ? 1 : 0;
        lf.lfCharSet = face.charSet;
        lf.lfOutPrecision = OUT_TT_PRECIS;
        lf.lfPitchAndFamily = face.pitchAndFamily;
        std::strncpy(lf.lfFaceName, face.name.c_str(), LF_FACESIZE - 1);
        auto instance = FontInstance::create(lf);
        if (!instance) {
            return true;
        }
        const TEXTMETRIC tm = instance->textMetrics();
        lf.lfHeight = tm.tmHeight;
        lf.lfWidth = tm.tmAveCharWidth;
        last = proc(&lf, &tm, TRUETYPE_FONTTYPE, data);
        return last != 0;
    };
    if (family == nullptr || family[0] == '\0') {
        for (const fontcore::FaceEntry& face : catalogue.faces()) {
            if (!report(face, {false, false})) {
                break;
            }
        }
        return last;
    }
    const fontcore::FaceEntry* face = catalogue.find(family);
    if (face == nullptr) {
        return 0;
    }
    for (Style style :
         {Style{false, false}, Style{true, false}, Style{false, true}, Style{true, true}}) {
        const fontcore::FontFile* file =
            catalogue.styledFile(face->links.front().family, style.bold, style.italic);
        const bool real =
            file != nullptr && file->bold == style.bold && file->italic == style.italic;
        // Regular is always listed; the other styles only when a file of their own exists.
        if ((real || (!style.bold && !style.italic)) && !report(*face, style)) {
            break;
        }
    }
    return last;
}

std::vector<InstalledFontEntry> InstalledFontEntries() {
    if (s_injectedEntries) {
        return *s_injectedEntries;
    }
    auto& catalogue = fontcore::FontCatalogue::get();
    std::vector<InstalledFontEntry> entries;
    struct Style {
        bool bold;
        bool italic;
        const char* suffix;
    };
    for (const fontcore::FaceEntry& face : catalogue.faces()) {
        for (Style style : {Style{false, false, ""}, Style{true, false, " Bold"},
                            Style{false, true, " Italic"}, Style{true, true, " Bold Italic"}}) {
            const fontcore::FontFile* file =
                catalogue.styledFile(face.links.front().family, style.bold, style.italic);
            if (file == nullptr || file->bold != style.bold || file->italic != style.italic) {
                continue;
            }
            entries.push_back({face.name + style.suffix + " (TrueType)", file->path});
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const InstalledFontEntry& a, const InstalledFontEntry& b) {
                  return a.valueName < b.valueName;
              });
    return entries;
}

void SetInstalledFontEntriesForTesting(const std::vector<InstalledFontEntry>* entries) {
    if (entries == nullptr) {
        s_injectedEntries.reset();
    } else {
        s_injectedEntries = *entries;
    }
}

} // namespace plat

namespace plat::testing {

void recordDrawnText(bool on) {
    s_recordDrawnText = on;
    if (!on) {
        s_drawnTexts.clear();
    }
}

std::vector<DrawnText> takeDrawnTexts() {
    return std::exchange(s_drawnTexts, {});
}

} // namespace plat::testing
