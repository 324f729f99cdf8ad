#include "OverPc/PFONTS.h"

#include "OverPc/PERROR.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/Portdc.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/oListBox.h"
#include "OverSrcs/TraceOut.h"
#include "OverSrcs/oWindows.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

uint8_t RudizeSetting = 0;
SymbolFaceReplacementIds SymbolFaceReplacement;
int32_t MinimumFontSize = 4;

namespace {

// ---------------------------------------------------------------------------------------------
// The system font roles: faces tried in order, the stock font asked next, and a pitch-and-family
// value that any face may match last.

struct OSFontRole {
    const char* const* faces;
    int faceCount;
    int stockObject;        // -1: none
    uint8_t pitchAndFamily; // 0: none
};

const char* const kFixedFaces[] = {"Courier New", "Lucida Console", "Fixedsys", "Terminal",
                                   "Courier"};
const char* const kSansFaces[] = {"Arial",        "Verdana",   "Tahoma", "Microsoft Sans Serif",
                                  "Trebuchet MS", "Helvetica", "Helv"};
const char* const kSymbolFaces[] = {"Symbol", "Rudize"};
const char* const kSerifFaces[] = {"Times New Roman", "Georgia", "Palatino Linotype",
                                   "Garamond",        "Times",   "Tms Rmn"};

const OSFontRole kOSFontRoles[kOSFontRoleCount] = {
    {nullptr, 0, plat::DEFAULT_GUI_FONT, 0},
    {kFixedFaces, 5, plat::SYSTEM_FIXED_FONT, 0x15},
    {kSansFaces, 7, -1, 0x16},
    {kSymbolFaces, 2, -1, 0},
    {nullptr, 0, plat::ANSI_VAR_FONT, 0},
    {kSerifFaces, 6, -1, 0x0C},
    {nullptr, 0, plat::SYSTEM_FONT, 0},
};

int RoleOfLetter(char letter) {
    switch (letter) {
    case 'd':
        return 0;
    case 'c':
    case 'f':
        return 1;
    case 'h':
        return 2;
    case 's':
        return 3;
    case 'v':
        return 4;
    case 'p':
        return 6;
    default:
        return 5;
    }
}

// The shipped tables, used when a data resource is missing or too short (a damaged resource
// file must not leave text without classes or overhangs).
std::array<int16_t, 256> BuiltinOverhangUnits() {
    std::array<int16_t, 256> units;
    units.fill(1);
    for (unsigned char c : std::string("AL_bhk"))
        units[c] = 0;
    units[127] = 0;
    for (unsigned char c : std::string("FPTVWYfvw"))
        units[c] = 2;
    return units;
}

int16_t BuiltinCharClass(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return 0;
    if ((c >= '0' && c <= '9') || c == '@' || c == '`')
        return 1;
    if (c == ' ' || c == '\t')
        return 3;
    return 2;
}

// Copies the table's size in little-endian 16-bit values of a data resource; false (table
// untouched) when the resource is missing or shorter than that.
template <size_t N> bool ReadWordTable(int id, std::array<int16_t, N>& table) {
    ResourceData data(id);
    if (!data.found() || data.size() < 2 * N)
        return false;
    for (size_t i = 0; i < N; ++i)
        table[i] = static_cast<int16_t>(data.data()[2 * i] | (data.data()[2 * i + 1] << 8));
    return true;
}

// A bounded, always terminated copy of a face name into a fixed field.
void CopyName(char* dst, size_t size, const char* src) {
    const size_t n = src ? strnlen(src, size - 1) : 0;
    std::memcpy(dst, src ? src : "", n);
    std::memset(dst + n, 0, size - n);
}

FontManager* s_manager = nullptr;
int32_t s_screenResolution = 21;
std::unique_ptr<std::vector<FontRecord>> s_fontTable;
int32_t s_fontTableCapacity = 0;
int32_t s_defaultFontIndex = 0;
int32_t s_defaultLineHeight = 0;

FontRecord* RecordAt(int32_t index) {
    if (!s_fontTable || index < 0 || index >= static_cast<int32_t>(s_fontTable->size()))
        return nullptr;
    return &(*s_fontTable)[static_cast<size_t>(index)];
}

// A "DISPLAY" DC for the length of a scope.
class DisplayDcScope {
public:
    DisplayDcScope()
        : m_dc(plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr)) {}
    ~DisplayDcScope() {
        if (m_dc != nullptr)
            plat::DeleteDC(m_dc);
    }
    DisplayDcScope(const DisplayDcScope&) = delete;
    DisplayDcScope& operator=(const DisplayDcScope&) = delete;
    plat::HDC hdc() const { return m_dc; }

private:
    plat::HDC m_dc;
};

// A font selected into a DC for the length of a scope.
class FontSelection {
public:
    FontSelection(plat::HDC dc, plat::HFONT font)
        : m_dc(dc) {
        if (m_dc != nullptr && font != nullptr)
            m_old = plat::SelectObject(m_dc, font);
    }
    ~FontSelection() {
        if (m_old != nullptr)
            plat::SelectObject(m_dc, m_old);
    }
    FontSelection(const FontSelection&) = delete;
    FontSelection& operator=(const FontSelection&) = delete;

private:
    plat::HDC m_dc;
    plat::HGDIOBJ m_old = nullptr;
};

// The manager's measuring DC set for the length of a scope.
class MeasuringDcScope {
public:
    explicit MeasuringDcScope(plat::HDC dc) {
        if (s_manager != nullptr)
            s_manager->setMeasuringDc(dc);
    }
    ~MeasuringDcScope() {
        if (s_manager != nullptr)
            s_manager->setMeasuringDc(nullptr);
    }
    MeasuringDcScope(const MeasuringDcScope&) = delete;
    MeasuringDcScope& operator=(const MeasuringDcScope&) = delete;
};

// Makes the font's instance for `resolution` and `escapement`, measuring through a DC over `dc`.
bool EnsureFontThrough(plat::HDC dc, int32_t font, int32_t resolution, int32_t escapement) {
    MeasuringDcScope measuring(dc);
    return EnsureFontFor(font, resolution, escapement);
}

// The DC a port measures text on: a metafile port measures on a "DISPLAY" DC (a recording DC has
// no font metrics of its own), every other port on its own DC.
class PortTextDc {
public:
    explicit PortTextDc(oMeasurePort& port) {
        if (PortDeviceKind(&port) == kDeviceMetafile)
            m_display = std::make_unique<DisplayDcScope>();
        else
            m_holder = std::make_unique<PortDcHolder>(&port);
    }
    plat::HDC hdc() const { return m_display ? m_display->hdc() : m_holder->hdc(); }

private:
    std::unique_ptr<DisplayDcScope> m_display;
    std::unique_ptr<PortDcHolder> m_holder;
};

// The advance of the first `count` bytes in the font selected into the DC.
int32_t ExtentOf(plat::HDC dc, const char* text, int32_t count) {
    plat::SIZE size{};
    if (count <= 0 || !plat::GetTextExtentPoint(dc, text, count, &size))
        return 0;
    return size.cx;
}

// The italic correction of fonts without outlines (they report an overhang).
int32_t FittingCorrection(const FontRecord& record) {
    return (record.isItalic() && !record.isTrueType()) ? 3 * (record.metrics.overhang / 4) : 0;
}

// A lead byte of the active code page in text the record reads in that page; the program's own
// texts are single bytes.
bool LeadByteIn(const FontRecord* record, uint8_t byte) {
    return (record == nullptr || (record->key.style & kFontStyleProgramText) == 0) &&
           IsLeadByte(byte);
}

// Byte offsets where each character of the text starts, and the text's length last.
std::vector<int32_t> CharacterBoundaries(const char* text, int32_t length,
                                         const FontRecord* record) {
    std::vector<int32_t> bounds;
    int32_t i = 0;
    while (i < length) {
        bounds.push_back(i);
        const bool lead = LeadByteIn(record, static_cast<uint8_t>(text[i]));
        i += (lead && i + 1 < length) ? 2 : 1;
    }
    bounds.push_back(length);
    return bounds;
}

// The zone of a text from its glyphs' outline metrics, asked of `glyphOf(code, metrics)`; false
// when any glyph has no metrics.
template <class GlyphOf>
bool OutlineZone(const char* text, const FontRecord& record, Zone& zone, GlyphOf&& glyphOf) {
    const int32_t em = (record.key.size * record.key.resolution + 8) / 16;
    const int32_t length = static_cast<int32_t>(std::strlen(text));
    int32_t left = 0;
    int32_t advance = 0;
    int32_t ascent = 0;
    int32_t descent = 0;
    plat::GLYPHMETRICS last{};
    bool first = true;
    for (int32_t i = 0; i < length;) {
        plat::UINT code = static_cast<uint8_t>(text[i]);
        if (LeadByteIn(&record, static_cast<uint8_t>(text[i])) && i + 1 < length) {
            code = (code << 8) | static_cast<uint8_t>(text[i + 1]);
            i += 2;
        } else {
            i += 1;
        }
        plat::GLYPHMETRICS gm{};
        if (!glyphOf(code, gm))
            return false;
        if (first && gm.gmptGlyphOrigin.x < 0)
            left = gm.gmptGlyphOrigin.x;
        first = false;
        advance += gm.gmCellIncX;
        ascent = std::max<int32_t>(ascent, gm.gmptGlyphOrigin.y);
        descent =
            std::max<int32_t>(descent, static_cast<int32_t>(gm.gmBlackBoxY) - gm.gmptGlyphOrigin.y);
        last = gm;
    }
    // A last glyph that reaches past its advance (an italic "f") widens the text so that nothing
    // drawn is cut off by the next item.
    if (!first && static_cast<int32_t>(last.gmBlackBoxX) > last.gmCellIncX) {
        advance += static_cast<int32_t>(last.gmBlackBoxX) - last.gmCellIncX;
        if (last.gmptGlyphOrigin.x < 0)
            advance += last.gmptGlyphOrigin.x;
    }
    zone.left = left;
    zone.top = 0;
    zone.right = advance;
    zone.bottom = ascent + descent;
    zone.ref1 = ascent - (em + 2) / 4;
    zone.ref2 = ascent;
    return true;
}

// Measures through the glyph outlines; false when any glyph has no metrics.
bool MeasureByOutlines(plat::HDC dc, const char* text, const FontRecord& record, Zone& zone) {
    const plat::MAT2 identity;
    return OutlineZone(text, record, zone, [&](plat::UINT code, plat::GLYPHMETRICS& gm) {
        return plat::GetGlyphOutline(dc, code, plat::GGO_METRICS, &gm, 0, nullptr, &identity) !=
               plat::GDI_ERROR;
    });
}

// The zone of a text of advance `width` from the font's text metrics.
void ExtentZone(int32_t width, const FontRecord& record, Zone& zone) {
    const FontTextMetrics& m = record.metrics;
    if (record.isItalic())
        width -= m.overhang >> 1;
    zone.left = 0;
    zone.top = -m.externalLeading;
    zone.right = width;
    zone.bottom = m.ascent + m.descent;
    zone.ref1 = (3 * m.ascent - m.descent) >> 2;
    zone.ref2 = m.ascent;
}

void MeasureByExtent(plat::HDC dc, const char* text, const FontRecord& record, Zone& zone) {
    ExtentZone(ExtentOf(dc, text, static_cast<int32_t>(std::strlen(text))), record, zone);
}

// ---- Measures kept per font
//
// Measuring a string through a DC costs a DC, a font selection and a platform call. On a DC
// whose mapping does not scale, a text's advance is the sum of its characters' advances and its
// outline zone is made of per-character glyph metrics, all fixed by the GDI font alone; so they
// are kept per font record and byte, and strings on such DCs are measured from them. Each entry
// is asked of the platform, through the port's real DC, the first time its byte is measured. The
// measures are bound to the record's GDI font, its resolution and the active code page, and are
// forgotten whenever the record's font is remade or let go and when the font table restarts.

constexpr int32_t kAdvanceUnknown = -1;
constexpr int32_t kLeadByte = -2; // never kept: a double-byte character is measured whole
constexpr uint8_t kGlyphUnknown = 0;
constexpr uint8_t kGlyphKnown = 1;
constexpr uint8_t kGlyphMissing = 2; // the platform has no metrics for it
constexpr uint8_t kGlyphLead = 3;

struct ByteMeasures {
    plat::HFONT font = nullptr;
    int32_t resolution = 0;
    plat::UINT codePage = 0;
    std::array<int32_t, 256> advance{};
    std::array<uint8_t, 256> glyphState{};
    std::array<plat::GLYPHMETRICS, 256> glyph{};

    void bind(const FontRecord& record, plat::UINT cp) {
        font = record.font;
        resolution = record.key.resolution;
        codePage = cp;
        for (int b = 0; b < 256; ++b) {
            const bool lead = LeadByteIn(&record, static_cast<uint8_t>(b));
            advance[static_cast<size_t>(b)] = lead ? kLeadByte : kAdvanceUnknown;
            glyphState[static_cast<size_t>(b)] = lead ? kGlyphLead : kGlyphUnknown;
        }
    }
};

std::vector<std::unique_ptr<ByteMeasures>> s_byteMeasures;

void ForgetByteMeasures(int32_t index) {
    if (index >= 0 && index < static_cast<int32_t>(s_byteMeasures.size()))
        s_byteMeasures[static_cast<size_t>(index)].reset();
}

// ---- Recent font indices
//
// The answers FontIndexForDesc gave last, so that measuring a run of characters in one style
// does not look its face name up and search the table for every character. An answer depends on
// the manager's faces and roles, on the table, and on the settings kept with the answers: the
// manager and the table count their changes in s_fontsChanged, and a change of either or of a
// setting forgets every answer.

struct RecentFontIndex {
    char name[kFontFaceNameSize] = {};
    int32_t size = 0;
    int32_t style = 0;
    int32_t index = -1;
};

struct RecentFontIndices {
    uint32_t epoch = 0; // counts the times the answers were forgotten
    uint32_t changes = 0;
    uint8_t rudize = 0;
    SymbolFaceReplacementIds replacement;
    int32_t minimumSize = 0;
    int32_t screenResolution = 0;
    std::array<RecentFontIndex, 8> answers;
    size_t next = 0;
};

uint32_t s_fontsChanged = 0;
RecentFontIndices s_recentIndices;

void NoteFontsChanged() {
    ++s_fontsChanged;
}

// Forgets the answers unless they were given under the present faces, table and settings.
RecentFontIndices& CurrentRecentIndices() {
    RecentFontIndices& r = s_recentIndices;
    if (r.changes != s_fontsChanged || r.rudize != RudizeSetting ||
        r.replacement.face != SymbolFaceReplacement.face ||
        r.replacement.replacement != SymbolFaceReplacement.replacement ||
        r.minimumSize != MinimumFontSize || r.screenResolution != s_screenResolution) {
        const uint32_t epoch = r.epoch + 1;
        r = RecentFontIndices{};
        r.epoch = epoch;
        r.changes = s_fontsChanged;
        r.rudize = RudizeSetting;
        r.replacement = SymbolFaceReplacement;
        r.minimumSize = MinimumFontSize;
        r.screenResolution = s_screenResolution;
    }
    return r;
}

// The answer for a face name (of which the first kFontFaceNameSize - 1 bytes count), size and
// style; -1 when none is kept. The record's font is made again if it was let go.
int32_t RecentFontIndexOf(const char* name, int32_t size, int32_t style) {
    const RecentFontIndices& r = CurrentRecentIndices();
    for (const RecentFontIndex& a : r.answers) {
        if (a.index >= 0 && a.size == size && a.style == style &&
            std::strncmp(a.name, name, kFontFaceNameSize - 1) == 0) {
            const FontRecord* record = RecordAt(a.index);
            if (record != nullptr && record->font == nullptr)
                FontCacheFill(s_manager, record->key, a.index);
            return a.index;
        }
    }
    return -1;
}

void NoteRecentFontIndex(const char* name, int32_t size, int32_t style, int32_t index) {
    if (index < 0)
        return;
    RecentFontIndices& r = CurrentRecentIndices();
    RecentFontIndex& a = r.answers[r.next];
    r.next = (r.next + 1) % r.answers.size();
    CopyName(a.name, sizeof a.name, name);
    a.size = size;
    a.style = style;
    a.index = index;
}

// Ports whose measuring DC this layer makes afresh and never maps: a window's or the screen's
// DC, a memory DC, and the display DC that metafile ports measure on. A printer's DC and DCs
// borrowed from elsewhere (list boxes, pictures, which scale) are asked every time.
bool MeasuresOnPlainDc(const oMeasurePort& port) {
    switch (PortDeviceKind(&port)) {
    case kDeviceDisplay:
    case kDeviceMemory:
    case kDeviceMetafile:
    case kDeviceUnknown:
        return true;
    default:
        return false;
    }
}

// Whether the record holds the GDI font that measuring on the port would use as it stands (what
// EnsureFontFor leaves alone).
bool HoldsFontFor(const FontRecord& record, const oMeasurePort& port) {
    return record.font != nullptr && record.key.resolution == port.resolution() &&
           record.key.escapement == 0;
}

// The kept measures of the font for text on the port; null when they do not apply.
const ByteMeasures* KeptMeasures(const oMeasurePort& port, int32_t font, const FontRecord& record) {
    if (font < 0 || font >= static_cast<int32_t>(s_byteMeasures.size()))
        return nullptr;
    const ByteMeasures* m = s_byteMeasures[static_cast<size_t>(font)].get();
    if (m == nullptr || m->font != record.font || !HoldsFontFor(record, port) ||
        m->resolution != record.key.resolution || m->codePage != plat::GetACP() ||
        !MeasuresOnPlainDc(port))
        return nullptr;
    return m;
}

// The measures to fill from `dc`, which has the record's font selected; null when the port or
// the DC may scale.
ByteMeasures* MeasuresToFill(const oMeasurePort& port, plat::HDC dc, int32_t font,
                             const FontRecord& record) {
    if (dc == nullptr || font < 0 || !HoldsFontFor(record, port) || !MeasuresOnPlainDc(port))
        return nullptr;
    const int mode = plat::GetMapMode(dc);
    if (mode == plat::MM_ANISOTROPIC || mode == plat::MM_ISOTROPIC)
        return nullptr;
    if (font >= static_cast<int32_t>(s_byteMeasures.size()))
        s_byteMeasures.resize(static_cast<size_t>(font) + 1);
    std::unique_ptr<ByteMeasures>& slot = s_byteMeasures[static_cast<size_t>(font)];
    if (!slot)
        slot = std::make_unique<ByteMeasures>();
    const plat::UINT codePage = plat::GetACP();
    if (slot->font != record.font || slot->resolution != record.key.resolution ||
        slot->codePage != codePage)
        slot->bind(record, codePage);
    return slot.get();
}

void FillAdvances(plat::HDC dc, ByteMeasures& m, const char* text) {
    for (const char* p = text; *p != 0; ++p) {
        const auto b = static_cast<uint8_t>(*p);
        if (m.advance[b] != kAdvanceUnknown)
            continue;
        plat::SIZE size{};
        if (plat::GetTextExtentPoint(dc, p, 1, &size))
            m.advance[b] = size.cx;
    }
}

void FillGlyphs(plat::HDC dc, ByteMeasures& m, const char* text) {
    const plat::MAT2 identity;
    for (const char* p = text; *p != 0; ++p) {
        const auto b = static_cast<uint8_t>(*p);
        if (m.glyphState[b] != kGlyphUnknown)
            continue;
        plat::GLYPHMETRICS gm{};
        if (plat::GetGlyphOutline(dc, b, plat::GGO_METRICS, &gm, 0, nullptr, &identity) ==
            plat::GDI_ERROR) {
            m.glyphState[b] = kGlyphMissing;
        } else {
            m.glyph[b] = gm;
            m.glyphState[b] = kGlyphKnown;
        }
    }
}

// The text's advance from kept measures; false when a byte is not kept.
bool KeptAdvance(const ByteMeasures& m, const char* text, int32_t& width) {
    int32_t sum = 0;
    for (const char* p = text; *p != 0; ++p) {
        const int32_t a = m.advance[static_cast<uint8_t>(*p)];
        if (a < 0)
            return false;
        sum += a;
    }
    width = sum;
    return true;
}

// The text's zone from kept measures, as MeasureByOutlines and MeasureByExtent make it; false
// when a byte is not kept.
bool KeptZone(const ByteMeasures& m, const char* text, const FontRecord& record, Zone& zone) {
    int32_t width = 0;
    if (!KeptAdvance(m, text, width))
        return false;
    bool missing = false;
    for (const char* p = text; *p != 0; ++p) {
        const uint8_t state = m.glyphState[static_cast<uint8_t>(*p)];
        if (state != kGlyphKnown && state != kGlyphMissing)
            return false;
        missing = missing || state == kGlyphMissing;
    }
    if (missing || !OutlineZone(text, record, zone, [&](plat::UINT code, plat::GLYPHMETRICS& gm) {
            gm = m.glyph[code & 0xFF];
            return true;
        }))
        ExtentZone(width, record, zone);
    return true;
}

// The measuring operations that every port shares.
class FontTextMeasurer final : public oTextMeasurer {
public:
    int32_t stringWidth(oMeasurePort& port, const char* text, int32_t font) override {
        const FontRecord* record = RecordAt(font);
        if (record == nullptr) {
            KV_ASSERT_FAILED("stringWidth: no such font");
            return 0;
        }
        int32_t width = 0;
        if (const ByteMeasures* kept = KeptMeasures(port, font, *record);
            kept == nullptr || !KeptAdvance(*kept, text, width)) {
            const int32_t length = static_cast<int32_t>(std::strlen(text));
            PortTextDc dc(port);
            EnsureFontThrough(dc.hdc(), font, port.resolution(), 0);
            record = RecordAt(font);
            FontSelection selected(dc.hdc(), record->font);
            width = ExtentOf(dc.hdc(), text, length);
            if (ByteMeasures* fill = MeasuresToFill(port, dc.hdc(), font, *record))
                FillAdvances(dc.hdc(), *fill, text);
        }
        if (record->isItalic() && !record->isTrueType())
            width -= record->metrics.overhang >> 1;
        return width;
    }

    void measureString(oMeasurePort& port, const char* text, int32_t font, Zone& zone) override {
        zone = Zone{};
        const FontRecord* record = RecordAt(font);
        if (record == nullptr) {
            KV_ASSERT_FAILED("measureString: no such font");
            return;
        }
        if (const ByteMeasures* kept = KeptMeasures(port, font, *record);
            kept != nullptr && KeptZone(*kept, text, *record, zone))
            return;
        PortTextDc dc(port);
        EnsureFontThrough(dc.hdc(), font, port.resolution(), 0);
        record = RecordAt(font);
        FontSelection selected(dc.hdc(), record->font);
        if (!MeasureByOutlines(dc.hdc(), text, *record, zone))
            MeasureByExtent(dc.hdc(), text, *record, zone);
        if (ByteMeasures* fill = MeasuresToFill(port, dc.hdc(), font, *record)) {
            FillAdvances(dc.hdc(), *fill, text);
            FillGlyphs(dc.hdc(), *fill, text);
        }
    }

    void stringEdges(oMeasurePort& port, const char* text, int32_t font, int32_t& left,
                     int32_t& right, int32_t& overhang) override {
        Zone zone;
        measureString(port, text, font, zone);
        left = zone.left;
        right = zone.right;
        // An empty text leans neither way.
        const size_t length = std::strlen(text);
        const int32_t units =
            (length == 0 || s_manager == nullptr)
                ? 1
                : s_manager->overhangUnits(static_cast<uint8_t>(text[length - 1]));
        overhang = ((units - 1) * zone.ref2 + 4) / 8;
        const FontRecord* record = RecordAt(font);
        if (record != nullptr && record->isItalic()) {
            const int32_t q = (zone.ref2 + 2) / 4;
            left += q;
            overhang += q / 4;
        }
    }

    void fontMetrics(int32_t font, int32_t resolution, FontMetricWords& words) override {
        words = FontMetricsFor(font, resolution);
    }
};

FontTextMeasurer s_measurer;

} // namespace

// ---------------------------------------------------------------------------------------------
// FontManager

bool FaceNameLess::operator()(const std::string& a, const std::string& b) const {
    const size_t n = std::min(a.size(), b.size());
    const int c = std::memcmp(a.data(), b.data(), n);
    if (c != 0)
        return c < 0;
    return a.size() < b.size();
}

FontManager::FontManager() {
    m_creationOrder.fill(-1);
    m_overhangUnits = BuiltinOverhangUnits();
    for (int c = 0; c < 128; ++c)
        m_charClasses[static_cast<size_t>(c)] = BuiltinCharClass(static_cast<unsigned char>(c));
}

FontManager::~FontManager() {
    NoteFontsChanged();
    if (s_fontTable) {
        const int32_t last =
            std::min<int32_t>(m_highestFontIndex, static_cast<int32_t>(s_fontTable->size()) - 1);
        for (int32_t i = 0; i <= last; ++i) {
            FontRecord& record = (*s_fontTable)[static_cast<size_t>(i)];
            if (record.font != nullptr) {
                plat::DeleteObject(record.font);
                record.font = nullptr;
            }
        }
        s_fontTable.reset();
        s_fontTableCapacity = 0;
        s_byteMeasures.clear();
    }
}

void FontManager::init(plat::HDC screenDc) {
    std::optional<DisplayDcScope> own;
    if (screenDc == nullptr)
        own.emplace();
    plat::HDC dc = screenDc != nullptr ? screenDc : own->hdc();
    plat::EnumFontFamilies(dc, nullptr, FontEnumProc, reinterpret_cast<plat::LPARAM>(this));
    plat::TEXTMETRIC tm;
    if (plat::GetTextMetrics(dc, &tm))
        m_screenCharSet = tm.tmCharSet;
    if (!ReadWordTable(kOverhangResource, m_overhangUnits))
        KV_ASSERT_FAILED("overhang table missing: the built-in one is used");
    if (!ReadWordTable(kCharClassResource, m_charClasses))
        KV_ASSERT_FAILED("character classes missing: the built-in ones are used");
    ResourceData bits(kFontBitTableResource);
    if (bits.found())
        std::memcpy(m_bitTable.data(), bits.data(),
                    std::min<size_t>(bits.size(), m_bitTable.size()));
    initOSFonts();
}

void FontManager::initOSFonts() {
    NoteFontsChanged();
    DisplayDcScope display;
    for (int role = 0; role < kOSFontRoleCount; ++role) {
        if (role == kSymbolRole)
            continue;
        const OSFontRole& row = kOSFontRoles[role];
        int32_t id = 0;
        for (int i = 0; i < row.faceCount && id == 0; ++i)
            id = std::max(0, idOfName(row.faces[i]));
        if (id == 0 && row.stockObject >= 0) {
            plat::HGDIOBJ old =
                display.hdc() != nullptr
                    ? plat::SelectObject(display.hdc(), plat::GetStockObject(row.stockObject))
                    : nullptr;
            if (old == nullptr) {
                KV_ASSERT_FAILED("! \"stockobj_index is not valid\"");
            } else {
                char face[1024] = {};
                plat::GetTextFace(display.hdc(), sizeof face, face);
                id = idOfName(face);
                if (id < 0) {
                    plat::LOGFONT lf;
                    CopyName(lf.lfFaceName, sizeof lf.lfFaceName, face);
                    id = addFace(-1, lf);
                }
                plat::SelectObject(display.hdc(), old);
            }
        }
        if (id == 0 && row.pitchAndFamily != 0) {
            // Every matching face is taken in id order, so the last one stays.
            for (const auto& [faceId, lf] : m_faces)
                if (lf.lfPitchAndFamily == row.pitchAndFamily)
                    id = faceId;
        }
        if (id == 0) {
            if (m_OSFonts[0] != 0) {
                id = m_OSFonts[0];
            } else {
                id = idOfName("System");
                if (id < 0) {
                    plat::LOGFONT lf;
                    std::strcpy(lf.lfFaceName, "System");
                    lf.lfPitchAndFamily = 0x12;
                    id = addFace(-1, lf);
                }
            }
        }
        m_OSFonts[static_cast<size_t>(role)] = id;
    }
}

int32_t FontManager::addFace(int32_t id, const plat::LOGFONT& logFont) {
    NoteFontsChanged();
    if (id == -1)
        id = ++m_lastFaceId;
    plat::LOGFONT stored = logFont;
    stored.lfFaceName[plat::LF_FACESIZE - 1] = 0;
    m_faces[id] = stored;
    m_names[std::string(stored.lfFaceName)] = id;
    return id;
}

int32_t FontManager::idOfName(const char* name) const {
    if (name == nullptr)
        return -1;
    const auto it = m_names.find(std::string(name));
    return it == m_names.end() ? -1 : it->second;
}

int32_t FontManager::findFace(const char* name) const {
    if (name == nullptr)
        return -1;
    const auto it = m_names.find(std::string(name));
    return it == m_names.end() ? -1 : static_cast<int32_t>(std::distance(m_names.begin(), it));
}

const plat::LOGFONT* FontManager::faceEntry(int32_t position) const {
    if (position < 0 || position >= faceCount())
        return nullptr;
    auto it = m_names.begin();
    std::advance(it, position);
    return faceOfId(it->second);
}

const plat::LOGFONT* FontManager::faceOfId(int32_t id) const {
    const auto it = m_faces.find(id);
    return it == m_faces.end() ? nullptr : &it->second;
}

int32_t FontManager::osFont(int role) const {
    return (role >= 0 && role < kOSFontRoleCount) ? m_OSFonts[static_cast<size_t>(role)] : 0;
}

void FontManager::noteFontIndex(int32_t index) {
    m_highestFontIndex = std::max(m_highestFontIndex, index);
}

void FontManager::forgetFontIndex(int32_t index) {
    auto end = m_creationOrder.end();
    auto it = std::find(m_creationOrder.begin(), end, index);
    if (it == end)
        return;
    std::move(it + 1, end, it);
    m_creationOrder.back() = -1;
}

void FontManager::noteFontMade(int32_t index) {
    auto begin = m_creationOrder.begin();
    auto end = m_creationOrder.end();
    auto it = std::find(begin, end, index);
    if (it == end) {
        const int32_t oldest = m_creationOrder.back();
        if (oldest >= 0) {
            if (FontRecord* record = RecordAt(oldest); record != nullptr && record->font) {
                plat::DeleteObject(record->font);
                record->font = nullptr;
                ForgetByteMeasures(oldest);
                // Answers naming the record must make its font again.
                NoteFontsChanged();
            }
        }
        it = end - 1;
    }
    std::move_backward(begin, it, it + 1);
    m_creationOrder.front() = index;
}

int FontEnumProc(const plat::LOGFONT* logFont, const plat::TEXTMETRIC* /*metric*/,
                 plat::DWORD fontType, plat::LPARAM data) {
    auto* manager = reinterpret_cast<FontManager*>(data);
    if (manager == nullptr || logFont == nullptr)
        return 1;
    int32_t id = manager->idOfName(logFont->lfFaceName);
    if (fontType == plat::TRUETYPE_FONTTYPE)
        id = manager->addFace(id, *logFont);
    else if (id < 0)
        id = manager->addFace(-1, *logFont);
    if (manager->m_symbolFallback == -1 && logFont->lfCharSet == plat::SYMBOL_CHARSET) {
        manager->m_symbolFallback = id;
        NoteFontsChanged();
    }
    TraceOut("Font found : %s , PF = %2.2X, CS = %d, IDX = %d", logFont->lfFaceName,
             logFont->lfPitchAndFamily, logFont->lfCharSet, id);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Manager life

FontManager* TheFontManager() {
    return s_manager;
}

int32_t FontScreenResolution() {
    return s_screenResolution;
}

FontManager* InstallFontManager(std::unique_ptr<FontManager> manager) {
    if (s_manager != nullptr)
        DeleteFontManager();
    s_manager = manager.release();
    NoteFontsChanged();
    SetTextMeasurer(&s_measurer);
    return s_manager;
}

FontManager* NewFontManager(int32_t screenResolution, plat::HDC screenDc) {
    if (s_manager != nullptr)
        DeleteFontManager();
    if (screenResolution > 0)
        s_screenResolution = screenResolution;
    auto manager = std::make_unique<FontManager>();
    manager->init(screenDc);
    return InstallFontManager(std::move(manager));
}

void StartFontManager(plat::HDC display) {
    NewFontManager(ScreenResolution(), display);
}

void InstallGraphicsFontHooks() {
    GraphicsFontHooks hooks;
    hooks.startFonts = StartFontManager;
    hooks.startFontTable = InitFontTable;
    SetGraphicsFontHooks(hooks);
}

void DeleteFontManager() {
    if (GetTextMeasurer() == &s_measurer)
        SetTextMeasurer(nullptr);
    delete s_manager;
    s_manager = nullptr;
    NoteFontsChanged();
}

void RebuildFontManager() {
    NewFontManager(s_screenResolution, nullptr);
    InitFontTable();
}

// ---------------------------------------------------------------------------------------------
// Faces

int32_t FaceIdOfName(const char* name) {
    if (s_manager == nullptr)
        return -1;
    const int32_t fallback = s_manager->m_OSFonts[0];
    if (name == nullptr)
        return fallback;
    const int32_t known = s_manager->idOfName(name);
    if (known >= 0)
        return known;
    int32_t id = -1;
    for (int role = 0; role < kOSFontRoleCount && id == -1; ++role) {
        const OSFontRole& row = kOSFontRoles[role];
        for (int i = 0; i < row.faceCount; ++i) {
            if (std::strcmp(row.faces[i], name) == 0) {
                id = s_manager->m_OSFonts[static_cast<size_t>(role)];
                break;
            }
        }
    }
    if (id == -1)
        return fallback;
    if (id == 0)
        return std::strcmp(name, "Rudize") == 0 ? SymbolFontId() : fallback;
    return id;
}

void FaceNameAtPosition(int32_t position, char (&name)[kFontFaceNameSize]) {
    const plat::LOGFONT* face = s_manager ? s_manager->faceEntry(position) : nullptr;
    CopyName(name, sizeof name, face ? face->lfFaceName : "???");
}

int32_t SymbolFontId() {
    if (s_manager == nullptr)
        return -1;
    if (RudizeSetting != 0) {
        const int32_t rudize = s_manager->idOfName("Rudize");
        if (rudize >= 0)
            return rudize;
    }
    const int32_t symbol = s_manager->idOfName("Symbol");
    if (symbol >= 0)
        return symbol;
    // Without any symbol face the default face still draws something.
    return s_manager->symbolFallback() >= 0 ? s_manager->symbolFallback() : s_manager->m_OSFonts[0];
}

char FaceScriptClass(const char* name) {
    if (name == nullptr || name[0] == '?')
        return '?';
    if (std::strcmp(name, "Symbol") == 0 || std::strcmp(name, "Rudize") == 0)
        return 's';
    const int32_t id = FaceIdOfName(name);
    const plat::LOGFONT* face = (id >= 0 && s_manager) ? s_manager->faceOfId(id) : nullptr;
    if (face == nullptr)
        return '?';
    switch (face->lfCharSet) {
    case plat::SYMBOL_CHARSET:
        return 's';
    case plat::ANSI_CHARSET:
        return 'i';
    case plat::SHIFTJIS_CHARSET:
    case plat::HANGUL_CHARSET:
    case plat::RUSSIAN_CHARSET:
        return 'f';
    default:
        return '?';
    }
}

uint8_t SystemCharSet() {
    return s_manager ? s_manager->screenCharSet() : plat::ANSI_CHARSET;
}

bool IsLeadByte(uint8_t byte) {
    return plat::IsDBCSLeadByte(byte) != 0;
}

void NoteFontFace(const char* /*name*/) {}

int CharClassOf(unsigned char c) {
    if (c < 128)
        return s_manager ? s_manager->charClass(c) : BuiltinCharClass(c);
    if (plat::IsCharAlpha(static_cast<char>(c)))
        return 0;
    if (plat::IsCharAlphaNumeric(static_cast<char>(c)))
        return 1;
    return 2;
}

// ---------------------------------------------------------------------------------------------
// Font table

const FontRecord* FontRecordAt(int32_t index) {
    return RecordAt(index);
}

int32_t FontTableCount() {
    return s_fontTable ? static_cast<int32_t>(s_fontTable->size()) : 0;
}

int32_t FontTableCapacity() {
    return s_fontTableCapacity;
}

int32_t DefaultFontIndex() {
    return s_defaultFontIndex;
}

int32_t DefaultLineHeight() {
    return s_defaultLineHeight;
}

int32_t ProgramTextFontIndex(int32_t index) {
    const FontRecord* record = RecordAt(index);
    if (record == nullptr || (record->key.style & kFontStyleProgramText) != 0)
        return index;
    FontKey key = record->key;
    key.style |= kFontStyleProgramText;
    const int32_t own = FontTableLookup(key, record->nominalSize);
    const FontRecord* made = RecordAt(own);
    if (made != nullptr && made->font == nullptr)
        FontCacheFill(s_manager, made->key, own);
    return own < 0 ? index : own;
}

int32_t DefaultProgramTextFontIndex() {
    return ProgramTextFontIndex(s_defaultFontIndex);
}

void InitFontTable() {
    if (s_fontTable) {
        // Restarting a live table lets go of its fonts first.
        for (FontRecord& record : *s_fontTable) {
            if (record.font != nullptr) {
                plat::DeleteObject(record.font);
                record.font = nullptr;
            }
        }
        if (s_manager != nullptr)
            for (int32_t i = 0; i < static_cast<int32_t>(s_fontTable->size()); ++i)
                s_manager->forgetFontIndex(i);
    }
    s_byteMeasures.clear();
    NoteFontsChanged();
    s_fontTable = std::make_unique<std::vector<FontRecord>>();
    s_fontTableCapacity = 8;
    s_fontTable->reserve(static_cast<size_t>(s_fontTableCapacity));
    s_defaultFontIndex = FontIndexForRole('d');
    s_defaultLineHeight = FontMetricsFor(s_defaultFontIndex, s_screenResolution).lineSpacing;
}

int32_t FontTableLookup(const FontKey& key, int32_t nominalSize) {
    if (!s_fontTable)
        return -1;
    FontKey wanted = key;
    // The replacement is entered under its own id, so that a second lookup finds it.
    if (RudizeSetting != 0 && key.faceId == SymbolFaceReplacement.face)
        wanted.faceId = SymbolFaceReplacement.replacement;
    for (size_t i = 0; i < s_fontTable->size(); ++i) {
        const FontKey& k = (*s_fontTable)[i].key;
        if (k.faceId == wanted.faceId && k.size == wanted.size && k.style == wanted.style)
            return static_cast<int32_t>(i);
    }
    if (static_cast<int32_t>(s_fontTable->size()) == s_fontTableCapacity) {
        s_fontTableCapacity *= 2;
        s_fontTable->reserve(static_cast<size_t>(s_fontTableCapacity));
    }
    FontRecord record;
    record.key = wanted;
    record.nominalSize = nominalSize;
    record.metricsResolution = -1;
    s_fontTable->push_back(record);
    return static_cast<int32_t>(s_fontTable->size() - 1);
}

int32_t FontCacheFill(FontManager* manager, FontKey key, int32_t index) {
    FontRecord* record = RecordAt(index);
    if (manager == nullptr || record == nullptr)
        return index;
    if (key.resolution == 0)
        key.resolution = s_screenResolution;
    const plat::LOGFONT* face = manager->faceOfId(key.faceId);
    if (face == nullptr) {
        // A stale face id (kept across a rebuild) draws in the default face rather than nothing.
        KV_ASSERT_FAILED("FontCacheFill: unknown face");
        face = manager->faceOfId(manager->m_OSFonts[0]);
        if (face == nullptr)
            return index;
    }
    plat::LOGFONT lf;
    // The em follows resolution / 16 like every other length of the layout.
    lf.lfHeight = -((key.size * key.resolution * 3 + 47) / 48);
    lf.lfWidth = 0;
    lf.lfEscapement = key.escapement;
    lf.lfOrientation = 0;
    lf.lfWeight = (key.style & kFontStyleBold) ? plat::FW_BOLD : plat::FW_NORMAL;
    lf.lfItalic = (key.style & kFontStyleItalic) ? 1 : 0;
    lf.lfUnderline = (key.style & kFontStyleUnderline) ? 1 : 0;
    lf.lfStrikeOut = 0;
    // Under a double-byte code page text is read in that page (the default character set), as
    // the expression's text is; a record of the program's own texts reads them as Windows-1252
    // whatever the page.
    const bool programText = (key.style & kFontStyleProgramText) != 0;
    lf.lfCharSet = face->lfCharSet == plat::SYMBOL_CHARSET ? plat::SYMBOL_CHARSET
                   : plat::GetACP() == 1252                ? manager->screenCharSet()
                   : programText                           ? plat::ANSI_CHARSET
                                                           : plat::DEFAULT_CHARSET;
    lf.lfOutPrecision = plat::OUT_TT_PRECIS;
    lf.lfClipPrecision = 0;
    lf.lfQuality = 0;
    lf.lfPitchAndFamily = face->lfPitchAndFamily;
    std::memcpy(lf.lfFaceName, face->lfFaceName, sizeof lf.lfFaceName);

    plat::HFONT font = plat::CreateFontIndirect(&lf);
    if (font == nullptr)
        return index;
    plat::TEXTMETRIC tm;
    {
        DisplayDcScope own;
        plat::HDC dc = manager->measuringDc();
        if (dc == nullptr)
            dc = own.hdc();
        FontSelection selected(dc, font);
        plat::GetTextMetrics(dc, &tm);
    }
    record = RecordAt(index);
    if (record->font != nullptr) {
        plat::DeleteObject(record->font);
    } else {
        manager->noteFontMade(index);
    }
    record->key = key;
    record->font = font;
    ForgetByteMeasures(index);
    record->metrics.height = tm.tmHeight;
    record->metrics.ascent = tm.tmAscent;
    record->metrics.descent = tm.tmDescent;
    record->metrics.internalLeading = tm.tmInternalLeading;
    record->metrics.externalLeading = tm.tmExternalLeading;
    record->metrics.overhang = tm.tmOverhang;
    record->metrics.pitchAndFamily = tm.tmPitchAndFamily;
    manager->noteFontIndex(index);
    return index;
}

bool EnsureFontFor(int32_t index, int32_t resolution, int32_t escapement) {
    FontRecord* record = RecordAt(index);
    if (record == nullptr)
        return false;
    if (record->key.resolution != resolution || record->key.escapement != escapement ||
        record->font == nullptr) {
        FontKey key = record->key;
        key.resolution = resolution;
        key.escapement = escapement;
        FontCacheFill(s_manager, key, index);
    }
    record = RecordAt(index);
    return record->font != nullptr;
}

void FontRecordForResolution(int32_t index, int32_t resolution, FontMetricWords& words) {
    words = FontMetricWords{};
    if (!EnsureFontFor(index, resolution, 0))
        return;
    const FontTextMetrics& m = RecordAt(index)->metrics;
    words.lineHeight = m.height;
    words.ascent = m.ascent;
    words.descent = m.descent;
    words.lineSpacing = m.height + m.externalLeading;
    words.halfHeight = m.height >> 1;
    words.quarterHeight = (m.height + 2) >> 2;
}

FontMetricWords FontMetricsFor(int32_t index, int32_t resolution) {
    FontRecord* record = RecordAt(index);
    if (record == nullptr) {
        KV_ASSERT_FAILED("FontMetricsFor: no such font");
        return FontMetricWords{};
    }
    if (record->metricsResolution == resolution)
        return record->words;
    FontMetricWords words;
    FontRecordForResolution(index, resolution, words);
    record = RecordAt(index);
    // Layout spaces lines from the nominal size so that every face of a size lines up alike.
    const int32_t em = (record->nominalSize * resolution + 8) / 16;
    const int32_t h = em + em / 8;
    const int32_t d = (h + 2) / 4;
    record->words = FontMetricWords{h, h - d, d, h + d / 2, h / 2, d};
    record->metricsResolution = resolution;
    return record->words;
}

int32_t FontIndexForDesc(const FontDesc& desc) {
    char name[kFontFaceNameSize];
    std::memcpy(name, desc.faceName, sizeof name);
    name[kFontFaceNameSize - 1] = 0;
    const int32_t style = (desc.bold ? kFontStyleBold : 0) | (desc.italic ? kFontStyleItalic : 0) |
                          (desc.underline ? kFontStyleUnderline : 0);
    if (const int32_t recent = RecentFontIndexOf(name, desc.size, style); recent >= 0)
        return recent;
    FontKey key;
    key.faceId = FaceIdOfName(name);
    key.resolution = s_screenResolution;
    key.size = std::max(desc.size, MinimumFontSize);
    key.escapement = 0;
    key.style = style;
    const int32_t index = FontTableLookup(key, key.size);
    const FontRecord* record = RecordAt(index);
    if (record != nullptr && record->font == nullptr)
        FontCacheFill(s_manager, record->key, index);
    NoteRecentFontIndex(name, desc.size, style, index);
    return index;
}

uint32_t FontIndexEpoch() {
    return CurrentRecentIndices().epoch;
}

int32_t FontIndexForFace(const char* face, int32_t points, bool bold, bool italic, bool underline) {
    const int32_t style = (bold ? kFontStyleBold : 0) | (italic ? kFontStyleItalic : 0) |
                          (underline ? kFontStyleUnderline : 0);
    if (const int32_t recent = RecentFontIndexOf(face != nullptr ? face : "", points, style);
        recent >= 0)
        return recent;
    FontDesc desc;
    CopyName(desc.faceName, sizeof desc.faceName, face);
    desc.size = points;
    desc.bold = bold;
    desc.italic = italic;
    desc.underline = underline;
    return FontIndexForDesc(desc);
}

int32_t FontIndexForRole(char letter) {
    if (s_manager == nullptr)
        return -1;
    FontKey key;
    key.faceId = letter == 's' ? SymbolFontId() : s_manager->osFont(RoleOfLetter(letter));
    key.resolution = s_screenResolution;
    key.size = 12;
    const int32_t index = FontTableLookup(key, 12);
    const FontRecord* record = RecordAt(index);
    if (record != nullptr && record->font == nullptr)
        FontCacheFill(s_manager, record->key, index);
    return index;
}

void FontDescOfIndex(int32_t index, FontDesc& desc) {
    desc = FontDesc{};
    const FontRecord* record = RecordAt(index);
    if (record == nullptr)
        return;
    desc.size = record->key.size;
    desc.bold = (record->key.style & kFontStyleBold) ? 1 : 0;
    desc.italic = (record->key.style & kFontStyleItalic) ? 1 : 0;
    desc.underline = (record->key.style & kFontStyleUnderline) ? 1 : 0;
    const plat::LOGFONT* face = nullptr;
    if (s_manager != nullptr) {
        face = s_manager->faceOfId(record->key.faceId);
        if (face == nullptr)
            face = s_manager->faceOfId(s_manager->m_OSFonts[2]);
    }
    // "?" is the style records' own name for a font that is not known.
    CopyName(desc.faceName, sizeof desc.faceName, face ? face->lfFaceName : "?");
}

// ---------------------------------------------------------------------------------------------
// Text on the screen's resolution

namespace {
// A "DISPLAY" DC with the font's screen-resolution instance selected into it for the length of a
// scope. Without that instance (it cannot be made) nothing is selected and ok() is false.
class ScreenFontScope {
public:
    explicit ScreenFontScope(int32_t font)
        : m_record(EnsureFontThrough(m_display.hdc(), font, s_screenResolution, 0) ? RecordAt(font)
                                                                                   : nullptr) {
        if (m_record != nullptr)
            m_selected.emplace(m_display.hdc(), m_record->font);
    }
    bool ok() const { return m_record != nullptr; }
    plat::HDC hdc() const { return m_display.hdc(); }
    // The italic correction of the selected font; only when ok().
    int32_t correction() const { return FittingCorrection(*m_record); }

private:
    DisplayDcScope m_display;
    const FontRecord* m_record;
    std::optional<FontSelection> m_selected;
};
} // namespace

int32_t CharsFittingWidth(const char* text, int32_t font, int32_t width) {
    if (text == nullptr || text[0] == 0)
        return 0;
    ScreenFontScope screen(font);
    if (!screen.ok())
        return 0;
    const int32_t c = screen.correction();
    const int32_t length = static_cast<int32_t>(std::strlen(text));
    const std::vector<int32_t> bounds = CharacterBoundaries(text, length, RecordAt(font));
    int32_t previousWidth = 0;
    size_t k = 1; // bounds[k]: the end of the character being tried
    int32_t w = 0;
    int32_t half = 0;
    for (;; ++k) {
        w = ExtentOf(screen.hdc(), text, bounds[k]) - c;
        half = (w - previousWidth) >> 1;
        if (w - half > width || k + 1 == bounds.size())
            break;
        previousWidth = w;
    }
    // Character boundaries keep a double-byte character whole.
    const int32_t result = (w - half < width) ? bounds[k] : bounds[k - 1];
    return std::min(result, length);
}

int32_t StringWidthForFont(const char* text, int32_t font, int32_t count) {
    if (text == nullptr || count <= 0 || text[0] == 0)
        return 0;
    const int32_t length = static_cast<int32_t>(std::strlen(text));
    // A count inside a double-byte character takes the whole character. The walk runs from the
    // start because a trail byte may look like a lead byte.
    const std::vector<int32_t> bounds = CharacterBoundaries(text, length, RecordAt(font));
    count = *std::lower_bound(bounds.begin(), bounds.end(), std::min(count, length));
    ScreenFontScope screen(font);
    if (!screen.ok())
        return 0;
    return ExtentOf(screen.hdc(), text, count) - screen.correction();
}

// ---------------------------------------------------------------------------------------------
// Drawing text on native ports

void oNativePort::drawDeluxeString(const char* text, int32_t font, int32_t x, int32_t y,
                                   const Color* color, int32_t flag) {
    if (text == nullptr || RecordAt(font) == nullptr) {
        KV_ASSERT(text != nullptr, "drawDeluxeString: no text");
        KV_ASSERT(RecordAt(font) != nullptr, "drawDeluxeString: no such font");
        return;
    }
    PortDcHolder holder(this);
    EnsureFontThrough(holder.hdc(), font, resolution(), 0);
    const FontRecord& record = *RecordAt(font);
    if (holder.dc() == nullptr)
        return;
    FontSelection selected(holder.hdc(), record.font);
    int32_t px = x + m_originX;
    int32_t py = y + m_originY;
    if (!record.isTrueType()) {
        py += record.metrics.externalLeading;
        if (record.isItalic())
            px -= record.metrics.overhang / 4;
    }
    const plat::RECT clipRect{m_clip.left + m_originX, m_clip.top + m_originY,
                              m_clip.right + m_originX, m_clip.bottom + m_originY};
    holder->drawText(text, -1, px, py, color ? *color : m_foreColor, &clipRect, flag);
}

void oNativePort::drawRotatedString(const char* text, int32_t font, int32_t x, int32_t y,
                                    const Color* color, int32_t flag, int32_t angle) {
    if (angle == 0) {
        drawDeluxeString(text, font, x, y, color, flag);
        return;
    }
    if (text == nullptr || RecordAt(font) == nullptr) {
        KV_ASSERT(text != nullptr, "drawRotatedString: no text");
        KV_ASSERT(RecordAt(font) != nullptr, "drawRotatedString: no such font");
        return;
    }
    PortDcHolder holder(this);
    EnsureFontThrough(holder.hdc(), font, resolution(), angle / 10);
    const FontRecord& record = *RecordAt(font);
    if (holder.dc() == nullptr)
        return;
    FontSelection selected(holder.hdc(), record.font);
    // The rotation port hands over a position whose other axis is already in device space.
    const int32_t px = angle == -9000 ? x + m_originX : x;
    const int32_t py = angle == -9000 ? y : y + m_originY;
    holder->drawText(text, -1, px, py, color ? *color : m_foreColor, nullptr, 0);
}

void oNativePort::drawAsianString(const char* text, int32_t font, int32_t x, int32_t y,
                                  const Color* color, int32_t flag, int32_t angle) {
    drawRotatedString(text, font, x, y, color, flag, angle);
}

// ---------------------------------------------------------------------------------------------
// The owner-drawn face list

void DrawFontListItem(plat::HDC dc, const plat::RECT& item, int32_t originX, int32_t originY,
                      int32_t position) {
    const plat::LOGFONT* face = s_manager ? s_manager->faceEntry(position) : nullptr;
    if (dc == nullptr || face == nullptr)
        return;
    plat::HFONT own = nullptr;
    if (face->lfCharSet != plat::SYMBOL_CHARSET) {
        plat::LOGFONT lf;
        const plat::HGDIOBJ current = plat::GetCurrentObject(dc, plat::OBJ_FONT);
        if (current == nullptr || plat::GetObject(current, sizeof lf, &lf) <= 0)
            lf = plat::LOGFONT{};
        lf.lfPitchAndFamily = face->lfPitchAndFamily;
        std::memcpy(lf.lfFaceName, face->lfFaceName, sizeof lf.lfFaceName);
        own = plat::CreateFontIndirect(&lf);
    }
    {
        FontSelection selected(dc, own);
        plat::ExtTextOut(dc, item.left + originX + 2, item.top + originY + 1, plat::ETO_CLIPPED,
                         &item, face->lfFaceName,
                         static_cast<plat::UINT>(std::strlen(face->lfFaceName)), nullptr);
    }
    if (own != nullptr)
        plat::DeleteObject(own);
}

// ---- The face list box --------------------------------------------------------------------------

namespace {
// Rows are a little taller than the names so that each shows in its own face without clipping.
constexpr int32_t kFontListRowHeight = 16;
} // namespace

oListBox* CreateFontListBox(int32_t controlId, const char* selectedFace) {
    const int32_t count = s_manager != nullptr ? s_manager->faceCount() : 0;
    const int32_t selected =
        s_manager != nullptr && selectedFace != nullptr ? s_manager->findFace(selectedFace) : -1;
    return CreateListBoxForItem(
        controlId, count, selected, kFontListRowHeight,
        [](oListBox& list, int32_t row, const Zone& zone, uint32_t) {
            const plat::RECT item{zone.left, zone.top, zone.right, zone.bottom};
            DrawFontListItem(CurrentPaintDc(), item, list.originX(), list.originY(), row);
        });
}
