#include "core/font/FontCatalogue.h"

#include "core/gdi/GdiInternal.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include FT_TRUETYPE_TABLES_H

#include <algorithm>

namespace plat::fontcore {

namespace {

constexpr const char* kLiberation = "/usr/share/fonts/truetype/liberation/";
constexpr const char* kUrw = "/usr/share/fonts/opentype/urw-base35/";
constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/";

std::vector<std::string> makeFileList() {
    std::vector<std::string> list;
    for (const char* family : {"LiberationSerif", "LiberationSans", "LiberationMono"}) {
        for (const char* style : {"Regular", "Bold", "Italic", "BoldItalic"}) {
            list.push_back(std::string(kLiberation) + family + "-" + style + ".ttf");
        }
    }
    for (const char* family : {"NimbusRoman", "NimbusSans", "NimbusMonoPS"}) {
        for (const char* style : {"Regular", "Bold", "Italic", "BoldItalic"}) {
            list.push_back(std::string(kUrw) + family + "-" + style + ".otf");
        }
    }
    list.push_back(std::string(kUrw) + "StandardSymbolsPS.otf");
    // The DejaVu core package has no italic files: italic DejaVu text is synthesised.
    for (const char* file :
         {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf",
          "DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf"}) {
        list.push_back(std::string(kDejaVu) + file);
    }
    return list;
}

struct FaceDef {
    const char* name;
    BYTE charSet;
    BYTE pitchAndFamily;
    std::vector<FaceLink> links;
};

// The faces the program sees. The ANSI aliases fall back to a DejaVu family of the same kind for
// characters their own family lacks; the symbol faces reach ordinary fonts through the symbol
// encoding table.
std::vector<FaceDef> faceDefinitions() {
    const ByteMap A = ByteMap::Ansi;
    const ByteMap T = ByteMap::SymbolTable;
    const ByteMap B = ByteMap::SymbolByte;
    const BYTE roman = FF_ROMAN | VARIABLE_PITCH;
    const BYTE swiss = FF_SWISS | VARIABLE_PITCH;
    const BYTE modern = FF_MODERN | FIXED_PITCH;
    return {
        {"Times New Roman",
         ANSI_CHARSET,
         roman,
         {{"Liberation Serif", A}, {"DejaVu Serif", A}, {"DejaVu Sans", A}}},
        {"Arial", ANSI_CHARSET, swiss, {{"Liberation Sans", A}, {"DejaVu Sans", A}}},
        {"Courier New",
         ANSI_CHARSET,
         modern,
         {{"Liberation Mono", A}, {"DejaVu Sans Mono", A}, {"DejaVu Sans", A}}},
        {"Times",
         ANSI_CHARSET,
         roman,
         {{"Nimbus Roman", A}, {"DejaVu Serif", A}, {"DejaVu Sans", A}}},
        {"Helvetica", ANSI_CHARSET, swiss, {{"Nimbus Sans", A}, {"DejaVu Sans", A}}},
        {"Courier",
         ANSI_CHARSET,
         modern,
         {{"Nimbus Mono PS", A}, {"DejaVu Sans Mono", A}, {"DejaVu Sans", A}}},
        {"DejaVu Sans", ANSI_CHARSET, swiss, {{"DejaVu Sans", A}}},
        {"DejaVu Serif", ANSI_CHARSET, roman, {{"DejaVu Serif", A}, {"DejaVu Sans", A}}},
        {"DejaVu Sans Mono", ANSI_CHARSET, modern, {{"DejaVu Sans Mono", A}, {"DejaVu Sans", A}}},
        {"Symbol", SYMBOL_CHARSET, roman, {{"Standard Symbols PS", B}, {"DejaVu Sans", T}}},
        {"Rudize",
         SYMBOL_CHARSET,
         roman,
         {{"DejaVu Serif", T}, {"DejaVu Sans", T}, {"Standard Symbols PS", B}}},
    };
}

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        const unsigned char lx = (x >= 'A' && x <= 'Z') ? x + 32 : x;
        const unsigned char ly = (y >= 'A' && y <= 'Z') ? y + 32 : y;
        if (lx != ly) {
            return false;
        }
    }
    return true;
}

void readTables(FontFile& f) {
    FT_Face face = f.face;
    f.upem = face->units_per_EM > 0 ? face->units_per_EM : 1000;
    f.maxAdvance = face->max_advance_width;
    f.lineGap = face->height - (face->ascender - face->descender);
    if (auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA))) {
        f.lineGap = hhea->Line_Gap;
        f.maxAdvance = hhea->advance_Width_Max;
    }
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 != nullptr && os2->version != 0xFFFF) {
        f.winAscent = os2->usWinAscent;
        f.winDescent = os2->usWinDescent;
        f.avgCharWidth = os2->xAvgCharWidth;
        f.strikeoutPosition = os2->yStrikeoutPosition;
        f.strikeoutSize = os2->yStrikeoutSize;
    } else {
        f.winAscent = face->ascender;
        f.winDescent = -face->descender;
        f.avgCharWidth = f.maxAdvance / 2;
        f.strikeoutPosition = f.upem / 4;
        f.strikeoutSize = face->underline_thickness;
    }
    if (f.winAscent + f.winDescent <= 0) {
        f.winAscent = f.upem;
        f.winDescent = 0;
    }
    f.underlinePosition = face->underline_position;
    f.underlineThickness = face->underline_thickness;
    if (auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST))) {
        f.underlinePosition = post->underlinePosition;
        f.underlineThickness = post->underlineThickness;
    }
}

} // namespace

cairo_font_face_t* FontFile::cairoFace() const {
    if (m_cairoFace == nullptr) {
        // Outlines only: bitmap strikes would bypass the metric rules.
        m_cairoFace = cairo_ft_font_face_create_for_ft_face(drawFace, FT_LOAD_NO_BITMAP);
    }
    return m_cairoFace;
}

const std::vector<std::string>& FontCatalogue::fileList() {
    static const std::vector<std::string> list = makeFileList();
    return list;
}

FontCatalogue& FontCatalogue::get() {
    // Never destroyed: Cairo font faces made from the files may outlive any static order.
    static FontCatalogue* catalogue = new FontCatalogue();
    return *catalogue;
}

FontCatalogue::FontCatalogue() {
    if (FT_Init_FreeType(&m_library) != 0) {
        m_library = nullptr;
        return;
    }
    FcConfig* config = FcConfigCreate();
    m_config = config;
    for (const std::string& path : fileList()) {
        auto file = std::make_unique<FontFile>();
        file->path = path;
        if (FT_New_Face(m_library, path.c_str(), 0, &file->face) != 0) {
            m_missing.push_back(path);
            continue;
        }
        if (FT_New_Face(m_library, path.c_str(), 0, &file->drawFace) != 0 ||
            !FT_IS_SCALABLE(file->face) ||
            !FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(path.c_str()))) {
            FT_Done_Face(file->face);
            if (file->drawFace != nullptr) {
                FT_Done_Face(file->drawFace);
            }
            m_missing.push_back(path);
            continue;
        }
        file->family = file->face->family_name != nullptr ? file->face->family_name : "";
        file->bold = (file->face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
        file->italic = (file->face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
        readTables(*file);
        m_files.push_back(std::move(file));
    }
    // Every style of every family is chosen now, once; the configuration is then released, so
    // fontconfig holds no state for the rest of the run.
    std::vector<FaceDef> defs = faceDefinitions();
    for (const FaceDef& def : defs) {
        for (const FaceLink& link : def.links) {
            for (int style = 0; style < 4; ++style) {
                const bool bold = (style & 1) != 0;
                const bool italic = (style & 2) != 0;
                if (styledFile(link.family, bold, italic) == nullptr) {
                    if (const FontFile* f = matchStyle(link.family, bold, italic)) {
                        m_styles.push_back({link.family, bold, italic, f});
                    }
                }
            }
        }
    }
    FcConfigDestroy(config);
    m_config = nullptr;
    for (const std::string& path : m_missing) {
        core::GdiDiagnostic("font catalogue: cannot load " + path);
    }
    for (FaceDef& def : defs) {
        const FontFile* own = styledFile(def.links.front().family, false, false);
        if (own == nullptr) {
            continue;
        }
        FaceEntry entry;
        entry.name = def.name;
        entry.charSet = def.charSet;
        entry.pitchAndFamily = def.pitchAndFamily;
        entry.links = std::move(def.links);
        m_faces.push_back(std::move(entry));
    }
    std::sort(m_faces.begin(), m_faces.end(),
              [](const FaceEntry& a, const FaceEntry& b) { return a.name < b.name; });
}

const FaceEntry* FontCatalogue::find(std::string_view name) const {
    for (const FaceEntry& f : m_faces) {
        if (sameNoCase(f.name, name)) {
            return &f;
        }
    }
    return nullptr;
}

const FaceEntry* FontCatalogue::resolve(const LOGFONT& lf) const {
    std::size_t len = 0;
    while (len < static_cast<std::size_t>(LF_FACESIZE) && lf.lfFaceName[len] != '\0') {
        ++len;
    }
    if (const FaceEntry* f = find(std::string_view(lf.lfFaceName, len))) {
        return f;
    }
    const char* name = "DejaVu Sans";
    if (lf.lfCharSet == SYMBOL_CHARSET) {
        name = "Symbol";
    } else {
        switch (lf.lfPitchAndFamily & 0xF0) {
        case FF_ROMAN:
            name = "Times New Roman";
            break;
        case FF_SWISS:
            name = "Arial";
            break;
        case FF_MODERN:
            name = "Courier New";
            break;
        default:
            break;
        }
    }
    if (const FaceEntry* f = find(name)) {
        return f;
    }
    if (const FaceEntry* f = find("DejaVu Sans")) {
        return f;
    }
    return m_faces.empty() ? nullptr : &m_faces.front();
}

const FontFile* FontCatalogue::styledFile(std::string_view family, bool bold, bool italic) const {
    for (const StyleChoice& c : m_styles) {
        if (c.bold == bold && c.italic == italic && sameNoCase(c.family, family)) {
            return c.file;
        }
    }
    return nullptr;
}

const FontFile* FontCatalogue::matchStyle(const std::string& family, bool bold, bool italic) const {
    auto* config = static_cast<FcConfig*>(m_config);
    if (config == nullptr) {
        return nullptr;
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcResult result = FcResultNoMatch;
    // No substitution step: the private configuration has no rules, and the defaults would only
    // add properties the match does not need.
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) {
        return nullptr;
    }
    const FontFile* chosen = nullptr;
    bool familyMatches = false;
    FcChar8* fam = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &fam) == FcResultMatch; ++i) {
        familyMatches = familyMatches || sameNoCase(reinterpret_cast<const char*>(fam), family);
    }
    FcChar8* path = nullptr;
    if (familyMatches && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
        for (const auto& f : m_files) {
            if (f->path == reinterpret_cast<const char*>(path)) {
                chosen = f.get();
                break;
            }
        }
    }
    FcPatternDestroy(match);
    return chosen;
}

const FontFile* FontCatalogue::languageFile(UINT codePage) const {
    const char* language = nullptr;
    switch (codePage) {
    case 932:
        language = "ja";
        break;
    case 936:
        language = "zh-cn";
        break;
    case 949:
        language = "ko";
        break;
    case 950:
        language = "zh-tw";
        break;
    default:
        return nullptr;
    }
    for (const auto& entry : m_languageFiles) {
        if (entry.first == codePage) {
            return entry.second.get();
        }
    }
    m_languageFiles.emplace_back(codePage, nullptr);
    std::unique_ptr<FontFile>& slot = m_languageFiles.back().second;
    if (m_library == nullptr) {
        return nullptr;
    }
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) {
        return nullptr;
    }
    FcPattern* pattern = FcPatternCreate();
    FcLangSet* wanted = FcLangSetCreate();
    FcLangSetAdd(wanted, reinterpret_cast<const FcChar8*>(language));
    FcPatternAddLangSet(pattern, FC_LANG, wanted);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    // Best first: the first font whose character set covers the language, else the first that
    // covers it as written in another territory (traditional characters for simplified).
    FcFontSet* sorted = FcFontSort(config, pattern, FcFalse, nullptr, &result);
    FcPatternDestroy(pattern);
    FcLangSetDestroy(wanted);
    std::string path;
    int index = 0;
    for (const FcLangResult enough : {FcLangEqual, FcLangDifferentTerritory}) {
        for (int i = 0; sorted != nullptr && i < sorted->nfont && path.empty(); ++i) {
            FcPattern* font = sorted->fonts[i];
            FcLangSet* has = nullptr;
            FcBool scalable = FcFalse;
            FcChar8* file = nullptr;
            if (FcPatternGetBool(font, FC_SCALABLE, 0, &scalable) != FcResultMatch || !scalable ||
                FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch ||
                FcPatternGetLangSet(font, FC_LANG, 0, &has) != FcResultMatch ||
                FcLangSetHasLang(has, reinterpret_cast<const FcChar8*>(language)) != enough) {
                continue;
            }
            path = reinterpret_cast<const char*>(file);
            if (FcPatternGetInteger(font, FC_INDEX, 0, &index) != FcResultMatch) {
                index = 0;
            }
        }
        if (!path.empty()) {
            break;
        }
    }
    if (sorted != nullptr) {
        FcFontSetDestroy(sorted);
    }
    FcConfigDestroy(config);
    if (path.empty()) {
        return nullptr;
    }
    auto file = std::make_unique<FontFile>();
    file->path = path;
    if (FT_New_Face(m_library, path.c_str(), index, &file->face) != 0) {
        core::GdiDiagnostic("font catalogue: cannot load " + path);
        return nullptr;
    }
    if (FT_New_Face(m_library, path.c_str(), index, &file->drawFace) != 0 ||
        !FT_IS_SCALABLE(file->face)) {
        FT_Done_Face(file->face);
        if (file->drawFace != nullptr) {
            FT_Done_Face(file->drawFace);
        }
        core::GdiDiagnostic("font catalogue: cannot load " + path);
        return nullptr;
    }
    file->family = file->face->family_name != nullptr ? file->face->family_name : "";
    file->bold = (file->face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    file->italic = (file->face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    readTables(*file);
    slot = std::move(file);
    return slot.get();
}

} // namespace plat::fontcore
