#pragma once
// The private font catalogue: a fixed list of font files registered in a fontconfig configuration
// of our own (the system's configuration is read only to find a font for the language of a
// double-byte code page), and the table of face names the program
// sees, each an alias of one file family with a chain of fallback families for bytes the family
// lacks.

#include "plat/Font.h"

#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plat::fontcore {

// How a face's bytes reach glyphs.
enum class ByteMap {
    Ansi,        // the active code page (Windows-1252) -> Unicode -> character map
    SymbolByte,  // the byte itself is the character map's key (a symbol-encoded font)
    SymbolTable, // the symbol encoding table -> Unicode -> character map
};

// One font file with the table values the metric rules use (font units).
struct FontFile {
    std::string path;
    std::string family; // as fontconfig reports it
    bool bold = false;
    bool italic = false;
    FT_Face face = nullptr;     // measuring: always loaded unscaled, never transformed
    FT_Face drawFace = nullptr; // handed to Cairo, which sets sizes and transforms on it
    int upem = 1000;
    int winAscent = 0;
    int winDescent = 0;
    int lineGap = 0;
    int avgCharWidth = 0;
    int maxAdvance = 0;
    int underlinePosition = 0;
    int underlineThickness = 0;
    int strikeoutPosition = 0;
    int strikeoutSize = 0;

    cairo_font_face_t* cairoFace() const; // made on first use, lives with the catalogue

private:
    mutable cairo_font_face_t* m_cairoFace = nullptr;
};

struct FaceLink {
    std::string family;
    ByteMap map;
};

struct FaceEntry {
    std::string name;
    BYTE charSet = ANSI_CHARSET;
    BYTE pitchAndFamily = 0;     // LOGFONT form: pitch in bits 0-1, family in bits 4-7
    std::vector<FaceLink> links; // the face's own family first, then its fallbacks
};

class FontCatalogue {
public:
    // The process's catalogue, built on first use.
    static FontCatalogue& get();

    // Faces in bytewise name order (their enumeration order). A face whose own family has no
    // regular file is left out.
    const std::vector<FaceEntry>& faces() const { return m_faces; }
    // By name, ignoring ASCII case; null when the catalogue has no such face.
    const FaceEntry* find(std::string_view name) const;
    // The face a logical font gets: its name when known, else by charset and family bits. Null
    // only when the catalogue is empty.
    const FaceEntry* resolve(const LOGFONT& lf) const;

    // The file of a family in a style, chosen by fontconfig among the family's files; the
    // nearest style when the exact one is missing. Null when the family has no file at all.
    const FontFile* styledFile(std::string_view family, bool bold, bool italic) const;
    // Every file loaded, in the fixed list's order.
    const std::vector<std::unique_ptr<FontFile>>& files() const { return m_files; }

    // The fixed list of font files the catalogue is built from (absolute paths).
    static const std::vector<std::string>& fileList();
    // Files of the fixed list that could not be loaded.
    const std::vector<std::string>& missingFiles() const { return m_missing; }

    FT_Library library() const { return m_library; }

    // The font the system offers for the language of a double-byte code page (fontconfig's
    // choice for "ja", "zh-cn", "ko" or "zh-tw", preferring one that covers the language),
    // loaded on first use and kept for the run; null under another code page or when the system
    // has no scalable font for the language. Faces fall back to it for the page's characters.
    const FontFile* languageFile(UINT codePage) const;

private:
    FontCatalogue();

    // The fontconfig choice for a family in a style.
    const FontFile* matchStyle(const std::string& family, bool bold, bool italic) const;

    struct StyleChoice {
        std::string family;
        bool bold;
        bool italic;
        const FontFile* file;
    };

    FT_Library m_library = nullptr;
    void* m_config = nullptr; // FcConfig*, only while the catalogue is being built
    std::vector<StyleChoice> m_styles;
    std::vector<std::unique_ptr<FontFile>> m_files;
    std::vector<std::string> m_missing;
    std::vector<FaceEntry> m_faces;
    mutable std::vector<std::pair<UINT, std::unique_ptr<FontFile>>> m_languageFiles;
};

} // namespace plat::fontcore
