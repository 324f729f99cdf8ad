#pragma once
// What the PostScript writer needs to know of the window system's fonts: the facts of a font-table
// entry, the installed font files, and the glyph names of the symbol encoding. Portable code may
// include this header: it names no platform type.

#include <cstdint>
#include <string>
#include <vector>

inline constexpr int kPostScriptFaceNameSize = 32;

struct PostScriptFontInfo {
    char faceName[kPostScriptFaceNameSize] = {}; // the face map's name of the entry's face
    int32_t faceId = 0;
    int32_t symbolFaceId = -1; // the face id of "Symbol"
    int32_t size = 0;          // points
    int32_t style = 0;         // 1 bold, 2 italic, 4 underline
    // The font the window system makes for the entry: the face it was made from, its weight and
    // slant, and its pitch-and-family byte on the display.
    char madeFace[kPostScriptFaceNameSize] = {};
    bool madeBold = false;
    bool madeItalic = false;
    uint8_t pitchAndFamily = 0;
};

// False when the index names no font-table entry.
bool PostScriptFontInfoOf(int32_t fontIndex, PostScriptFontInfo& info);
// A font made for a face name and style the way the writer's substitute search makes it: the
// face it was made from (an alias keeps its own name).
void PostScriptMadeFace(const char* face, bool bold, bool italic,
                        char (&madeFace)[kPostScriptFaceNameSize]);

// The installed font files as the system lists them: value names such as "Arial Bold (TrueType)"
// with the file's absolute path, in bytewise order of the value name.
struct PostScriptFontFile {
    std::string valueName;
    std::string path;
};
std::vector<PostScriptFontFile> InstalledPostScriptFontFiles();

// The PostScript glyph name of a byte of symbol-font text; null when the byte has none.
const char* SymbolGlyphName(uint8_t byte);

// Pixel maps as the PostScript writer uses them. The maps are made and read here, where their
// bitmaps are known; the writer only passes them along and deletes them with
// DeletePostScriptPixMap.
class oPixMap;
struct PostScriptPixMapFacts {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t format = 0; // pixel format; 0 monochrome
};
PostScriptPixMapFacts PixMapFactsOf(oPixMap& pixmap);
// Rows as hexadecimal text, top row first: 2 digits per 8 pixels of a monochrome map (bit 1
// white, inverted when asked), 6 per pixel (red, green, blue) of a colour map.
std::vector<std::string> PixMapHexRowsOf(oPixMap& pixmap, bool invert);
// An image resource drawn at its own size into a new map: monochrome below 8192, 32-bit colour
// from there on. Null when the image is missing or no map can be made.
oPixMap* NewImagePixMap(int32_t resourceId, int32_t resolution);
// Double-byte text drawn in black at (0, baseline) into a new screen-compatible map of that size.
oPixMap* NewTextPixMap(const char* text, int32_t font, int32_t width, int32_t height,
                       int32_t baseline, int32_t resolution);
void DeletePostScriptPixMap(oPixMap* pixmap);
