// The font manager and the process-wide font table.
//
// One FontManager knows every installed face (enumerated once at graphics start-up), gives each a
// small face id, resolves the seven system font roles to faces and keeps three small character
// tables read from data resources. Every string that any port measures or draws names its font by
// an index into the font table; each record caches one GDI font, remade whenever a different
// resolution or escapement is asked of it, and at most 253 GDI fonts are alive at once.
//
// The text measurer that every port shares (stringWidth, measureString, stringEdges and the
// metric words) is installed into the graph port layer when the manager is made.
#pragma once

#include "OverSrcs/oGraph.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Types.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

// ---------------------------------------------------------------------------------------------
// Settings the commands layer writes and the font manager reads.

// On: prefer the face "Rudize" over "Symbol" for symbol text.
extern uint8_t RudizeSetting;
// While RudizeSetting is on, a font-table key naming `face` is looked up (and entered) under
// `replacement` instead. Face ids are issued per run, so this pair is set after every rebuild.
struct SymbolFaceReplacementIds {
    int16_t face = 0;
    int16_t replacement = 0;
};
extern SymbolFaceReplacementIds SymbolFaceReplacement;
// Points; every size asked through FontIndexForDesc is raised to it.
extern int32_t MinimumFontSize;

// ---------------------------------------------------------------------------------------------
// Constants

inline constexpr int kOSFontRoleCount = 7;
inline constexpr int kSymbolRole = 3;
// GDI fonts kept alive at once; the oldest is let go past this.
inline constexpr int kMaxLiveFonts = 253;
inline constexpr int kFontFaceNameSize = 32;

// Data resources (RCDATA) of the character tables.
inline constexpr int kFontBitTableResource = 11004;
inline constexpr int kOverhangResource = 11005;
inline constexpr int kCharClassResource = 11006;

// Style bits of a font-table key.
inline constexpr int32_t kFontStyleBold = 1;
inline constexpr int32_t kFontStyleItalic = 2;
inline constexpr int32_t kFontStyleUnderline = 4;
// The record draws the program's own texts (resource strings, labels and rows the program fills),
// which are Windows-1252 under every code page; the other records read text in the active code
// page, as an expression's text is.
inline constexpr int32_t kFontStyleProgramText = 8;

// ---------------------------------------------------------------------------------------------
// Font table records

// What names a font: the match uses face, size and style only; resolution (device units per 16
// points, as every port resolution) and escapement (tenths of a degree) say what the cached GDI
// font was made for.
struct FontKey {
    int32_t faceId = 0;
    int32_t resolution = 0;
    int32_t size = 0;
    int32_t escapement = 0;
    int32_t style = 0;
};

// The text metrics of a record's GDI font on its device.
struct FontTextMetrics {
    int32_t height = 0;
    int32_t ascent = 0;
    int32_t descent = 0;
    int32_t internalLeading = 0;
    int32_t externalLeading = 0;
    int32_t overhang = 0;
    uint8_t pitchAndFamily = 0; // bit 4: an outline (TrueType) font
};

struct FontRecord {
    FontMetricWords words; // for metricsResolution
    FontKey key;
    plat::HFONT font = nullptr; // owned; null until made or after being let go
    FontTextMetrics metrics;
    int32_t metricsResolution = -1; // -1: words never computed
    int32_t nominalSize = 0;        // points, for the metric words

    bool isTrueType() const { return (metrics.pitchAndFamily & plat::TMPF_TRUETYPE) != 0; }
    bool isItalic() const { return (key.style & kFontStyleItalic) != 0; }
};

// A font as the style records describe it.
struct FontDesc {
    char faceName[kFontFaceNameSize] = {};
    int32_t size = 0;
    uint8_t bold = 0;
    uint8_t italic = 0;
    uint8_t underline = 0;
    uint8_t reserved[2] = {};
};

// ---------------------------------------------------------------------------------------------
// FontManager

// Bytewise order, a shorter name first on a common prefix: the order of the face list.
struct FaceNameLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

class FontManager {
public:
    FontManager();
    // Lets go of every GDI font of the font table and frees the table.
    ~FontManager();
    FontManager(const FontManager&) = delete;
    FontManager& operator=(const FontManager&) = delete;

    // Enumerates the faces on the screen DC (a "DISPLAY" DC made for the call when null), reads
    // the screen character set and the character tables, then resolves the roles.
    void init(plat::HDC screenDc);
    void initOSFonts();

    // Stores the face under the id (-1: the next id) and returns the id.
    int32_t addFace(int32_t id, const plat::LOGFONT& logFont);
    // The id of a face name, -1 when unknown.
    int32_t idOfName(const char* name) const;
    // The list position of a face name, -1 when unknown.
    int32_t findFace(const char* name) const;
    // The face at a list position; null out of range.
    const plat::LOGFONT* faceEntry(int32_t position) const;
    // The face of an id; null when unknown.
    const plat::LOGFONT* faceOfId(int32_t id) const;
    int32_t faceCount() const { return static_cast<int32_t>(m_names.size()); }

    plat::HDC measuringDc() const { return m_measuringDc; }
    void setMeasuringDc(plat::HDC dc) { m_measuringDc = dc; }
    uint8_t screenCharSet() const { return m_screenCharSet; }
    int32_t osFont(int role) const;
    int32_t symbolFallback() const { return m_symbolFallback; }
    int32_t lastFaceId() const { return m_lastFaceId; }
    int16_t overhangUnits(uint8_t byte) const { return m_overhangUnits[byte]; }
    int16_t charClass(uint8_t ascii) const { return m_charClasses[ascii & 0x7F]; }
    // Font-table indices that hold a GDI font, most recently made first (-1 past the end).
    const std::array<int32_t, kMaxLiveFonts>& creationOrder() const { return m_creationOrder; }
    int32_t highestFontIndex() const { return m_highestFontIndex; }

    // Font-table bookkeeping after a record received its first GDI font: the index goes to the
    // front of the creation order; past kMaxLiveFonts the oldest record loses its font.
    void noteFontMade(int32_t index);
    void noteFontIndex(int32_t index);
    // Takes an index out of the creation order (its record lost its font).
    void forgetFontIndex(int32_t index);

private:
    friend int FontEnumProc(const plat::LOGFONT*, const plat::TEXTMETRIC*, plat::DWORD,
                            plat::LPARAM);

    plat::HDC m_measuringDc = nullptr;
    std::map<int32_t, plat::LOGFONT> m_faces;
    std::map<std::string, int32_t, FaceNameLess> m_names;
    uint8_t m_screenCharSet = plat::ANSI_CHARSET;

public:
    std::array<int32_t, kOSFontRoleCount> m_OSFonts{};

private:
    std::array<int16_t, 256> m_overhangUnits{};
    std::array<int16_t, 128> m_charClasses{};
    std::array<uint8_t, 128> m_bitTable{};
    int32_t m_lastFaceId = 0;
    int32_t m_symbolFallback = -1;
    int32_t m_highestFontIndex = 0;
    std::array<int32_t, kMaxLiveFonts> m_creationOrder{};
};

// The enumeration callback: adds a face (an outline face replaces a stored one under its id) and
// notes the first symbol face as the fallback. Always goes on (1).
int FontEnumProc(const plat::LOGFONT* logFont, const plat::TEXTMETRIC* metric, plat::DWORD fontType,
                 plat::LPARAM manager);

// ---------------------------------------------------------------------------------------------
// Manager life

// The manager, or null before start-up and after shut-down.
FontManager* TheFontManager();
// Makes and starts the manager (replacing one that exists) with the screen resolution the ports
// use, on the screen DC (null: a "DISPLAY" DC made for the call), and installs the text measurer.
// The font table is started separately (InitFontTable).
FontManager* NewFontManager(int32_t screenResolution, plat::HDC screenDc = nullptr);
// Makes an initialised manager the process-wide one (replacing one that exists) and installs
// the text measurer; the screen resolution stays as it is.
FontManager* InstallFontManager(std::unique_ptr<FontManager> manager);
// The start-up step of the drawing layer: the manager at the ports' screen resolution on the
// screen's "DISPLAY" DC.
void StartFontManager(plat::HDC display);
// Has graphics start-up start the manager and the font table (StartFontManager, InitFontTable).
void InstallGraphicsFontHooks();
// Shut-down: destroys the manager (and with it the font table) and removes the text measurer.
void DeleteFontManager();
// Remakes the manager (new face ids) and restarts the font table: every face id and font index
// held before is stale afterwards.
void RebuildFontManager();
// The screen resolution the manager was made with (21 before).
int32_t FontScreenResolution();

// ---------------------------------------------------------------------------------------------
// Faces

// The face id for a name; unknown names resolve through the role tables to a role's face.
int32_t FaceIdOfName(const char* name);
// The face name at a list position (at most 31 bytes and a zero); "???" out of range.
void FaceNameAtPosition(int32_t position, char (&name)[kFontFaceNameSize]);
// The face that symbol text is drawn in.
int32_t SymbolFontId();
// 's' symbol, 'i' western text, 'f' a foreign (far-eastern or Cyrillic) face, '?' unknown.
char FaceScriptClass(const char* name);
uint8_t SystemCharSet();
bool IsLeadByte(uint8_t byte);
void NoteFontFace(const char* name);
// 0 letter, 1 other alphanumeric ("@" and "`" included), 2 other, 3 space and tab.
int CharClassOf(unsigned char c);

// ---------------------------------------------------------------------------------------------
// Font table

// Starts an empty table and enters the default font (role 'd').
void InitFontTable();
// The index of the record matching the key's face, size and style; a new record (with that
// nominal size) when none matches. -1 when the font table is not started.
int32_t FontTableLookup(const FontKey& key, int32_t nominalSize);
// (Re)makes the record's GDI font for the key and fills its text metrics. Returns the index.
int32_t FontCacheFill(FontManager* manager, FontKey key, int32_t index);
// Makes sure the record's GDI font is made for that resolution and escapement; false when the
// index names no record or no font could be made.
bool EnsureFontFor(int32_t index, int32_t resolution, int32_t escapement);
// The six metric words from the record's GDI font at that resolution.
void FontRecordForResolution(int32_t index, int32_t resolution, FontMetricWords& words);
// The six metric words that layout uses, scaled from the nominal size (cached per resolution).
FontMetricWords FontMetricsFor(int32_t index, int32_t resolution);
int32_t FontIndexForDesc(const FontDesc& desc);
// The same from separate values (the form the expression model's hook takes).
int32_t FontIndexForFace(const char* face, int32_t points, bool bold, bool italic, bool underline);
// Changes whenever FontIndexForFace could answer a description differently (faces, roles, the
// table or a setting it reads changed) or would make a record's font again (one was let go).
uint32_t FontIndexEpoch();
int32_t FontIndexForRole(char letter);
void FontDescOfIndex(int32_t index, FontDesc& desc);

// The record at an index, null out of range or without a table.
const FontRecord* FontRecordAt(int32_t index);
int32_t FontTableCount();
int32_t FontTableCapacity();
int32_t DefaultFontIndex();
int32_t DefaultLineHeight();
// The record of the same face, size and style as `index` that draws the program's own texts
// (kFontStyleProgramText); `index` itself when it is one or names no record.
int32_t ProgramTextFontIndex(int32_t index);
// The default font for the program's own texts.
int32_t DefaultProgramTextFontIndex();

// ---------------------------------------------------------------------------------------------
// Text on the screen's resolution

// How many bytes of the text fit the width, a character counting when the text up to its middle
// fits; a double-byte character is never split.
int32_t CharsFittingWidth(const char* text, int32_t font, int32_t width);
// The width of the first `count` bytes (a double-byte character is taken whole).
int32_t StringWidthForFont(const char* text, int32_t font, int32_t count);

// ---------------------------------------------------------------------------------------------
// The owner-drawn face list

// Paints the face name of a list position in its item: at (item left + origin x + 2, item top +
// origin y + 1), clipped to the item. A text face's name is shown in that face (a font made from
// the DC's current one with the face's name and pitch-and-family, deleted after the call); a
// symbol face's name in the DC's current font. An out-of-range position paints nothing.
void DrawFontListItem(plat::HDC dc, const plat::RECT& item, int32_t originX, int32_t originY,
                      int32_t position);

class oListBox;
// The face list of item `controlId` of CurrentDialog: one row per face in list order, painted by
// DrawFontListItem, with `selectedFace` selected (no row when it is not in the list). Null when
// the dialog has no such item.
oListBox* CreateFontListBox(int32_t controlId, const char* selectedFace);
