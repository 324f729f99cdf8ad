#pragma once
// Fonts and text: the font catalogue, logical fonts, text metrics, glyph metrics, measuring and
// drawing single-byte (Windows-1252) text, and the character classifiers of the active code page.
//
// The catalogue is private and fixed (a known list of font files), and every metric is computed
// from the font tables with integer arithmetic, without hinting or kerning, so that layout is
// identical on every machine. Text is measured one glyph per byte (one per double-byte character
// under a double-byte code page); a text's width is the sum of its glyphs' advances.

#include "plat/Types.h"

#include <string>
#include <string_view>
#include <vector>

namespace plat {

constexpr int LF_FACESIZE = 32;

// Weights.
constexpr LONG FW_DONTCARE = 0;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;

// Character sets.
constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE SYMBOL_CHARSET = 2;
constexpr BYTE SHIFTJIS_CHARSET = 128;
constexpr BYTE HANGUL_CHARSET = 129;
constexpr BYTE GB2312_CHARSET = 134;
constexpr BYTE CHINESEBIG5_CHARSET = 136;
constexpr BYTE RUSSIAN_CHARSET = 204;
constexpr BYTE OEM_CHARSET = 255;

// Precision and quality (accepted, not used: every face is an outline face).
constexpr BYTE OUT_DEFAULT_PRECIS = 0;
constexpr BYTE OUT_TT_PRECIS = 4;
constexpr BYTE CLIP_DEFAULT_PRECIS = 0;
constexpr BYTE DEFAULT_QUALITY = 0;

// Pitch (low 2 bits) and family (high 4 bits) of lfPitchAndFamily.
constexpr BYTE DEFAULT_PITCH = 0;
constexpr BYTE FIXED_PITCH = 1;
constexpr BYTE VARIABLE_PITCH = 2;
constexpr BYTE FF_DONTCARE = 0x00;
constexpr BYTE FF_ROMAN = 0x10;
constexpr BYTE FF_SWISS = 0x20;
constexpr BYTE FF_MODERN = 0x30;
constexpr BYTE FF_SCRIPT = 0x40;
constexpr BYTE FF_DECORATIVE = 0x50;

// tmPitchAndFamily bits. TMPF_FIXED_PITCH set means the pitch is *variable*.
constexpr BYTE TMPF_FIXED_PITCH = 0x01;
constexpr BYTE TMPF_VECTOR = 0x02;
constexpr BYTE TMPF_TRUETYPE = 0x04;
constexpr BYTE TMPF_DEVICE = 0x08;

// Font types passed to an enumeration callback.
constexpr DWORD RASTER_FONTTYPE = 1;
constexpr DWORD DEVICE_FONTTYPE = 2;
constexpr DWORD TRUETYPE_FONTTYPE = 4;

// ExtTextOut options.
constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;

// Text alignment (SetTextAlign): horizontal left, right or centre; vertical top, bottom or
// baseline; TA_UPDATECP draws at the current position and moves it.
constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_UPDATECP = 1;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;

// GetGlyphOutline.
constexpr DWORD GDI_ERROR = 0xFFFFFFFFu;
constexpr UINT GGO_METRICS = 0;

struct LOGFONT {
    LONG lfHeight = 0; // < 0: pixels per em; > 0: cell height; 0: default (12 px per em)
    LONG lfWidth = 0;
    LONG lfEscapement = 0; // tenths of a degree, anticlockwise
    LONG lfOrientation = 0;
    LONG lfWeight = 0;
    BYTE lfItalic = 0;
    BYTE lfUnderline = 0;
    BYTE lfStrikeOut = 0;
    BYTE lfCharSet = 0;
    BYTE lfOutPrecision = 0;
    BYTE lfClipPrecision = 0;
    BYTE lfQuality = 0;
    BYTE lfPitchAndFamily = 0;
    char lfFaceName[LF_FACESIZE] = {};
};

struct TEXTMETRIC {
    LONG tmHeight = 0;
    LONG tmAscent = 0;
    LONG tmDescent = 0;
    LONG tmInternalLeading = 0;
    LONG tmExternalLeading = 0;
    LONG tmAveCharWidth = 0;
    LONG tmMaxCharWidth = 0;
    LONG tmWeight = 0;
    LONG tmOverhang = 0;
    LONG tmDigitizedAspectX = 96;
    LONG tmDigitizedAspectY = 96;
    BYTE tmFirstChar = 0;
    BYTE tmLastChar = 0;
    BYTE tmDefaultChar = 0;
    BYTE tmBreakChar = 0;
    BYTE tmItalic = 0;
    BYTE tmUnderlined = 0;
    BYTE tmStruckOut = 0;
    BYTE tmPitchAndFamily = 0;
    BYTE tmCharSet = 0;
};

// 16.16 fixed point, as GetGlyphOutline's transformation takes it.
struct FIXED {
    WORD fract = 0;
    SHORT value = 0;
};

struct MAT2 {
    FIXED eM11{0, 1};
    FIXED eM12{0, 0};
    FIXED eM21{0, 0};
    FIXED eM22{0, 1};
};

struct GLYPHMETRICS {
    UINT gmBlackBoxX = 0;
    UINT gmBlackBoxY = 0;
    POINT gmptGlyphOrigin; // top-left of the black box relative to the pen, y up
    SHORT gmCellIncX = 0;
    SHORT gmCellIncY = 0;
};

// Called once per font (family, or style within a family); returning 0 stops the enumeration.
using FONTENUMPROC = int (*)(const LOGFONT* logFont, const TEXTMETRIC* metric, DWORD fontType,
                             LPARAM data);

// Enumerates the catalogue. With a null or empty family, one call per face name in bytewise name
// order; with a name, one call per style of that face (regular, bold, italic, bold italic).
// Returns the last value the callback returned (0 when nothing was enumerated).
int EnumFontFamilies(HDC hdc, const char* family, FONTENUMPROC proc, LPARAM data);

// Makes a font object; the face need not exist (an unknown name resolves by its family bits, or
// to "Symbol" with SYMBOL_CHARSET). Returns null only for a null argument or when no font file of
// the catalogue could be loaded.
HFONT CreateFontIndirect(const LOGFONT* logFont);

// The calls below use the font selected into the DC.
BOOL GetTextMetrics(HDC hdc, TEXTMETRIC* metric);
// Copies the catalogue name the font was made from (an alias stays the alias), at most count - 1
// bytes plus a terminating zero. Returns the number of bytes copied without the zero; with a
// null buffer, the length including the zero.
int GetTextFace(HDC hdc, int count, char* faceName);
BOOL GetTextExtentPoint(HDC hdc, const char* text, int count, SIZE* size);
BOOL GetTextExtentPoint32(HDC hdc, const char* text, int count, SIZE* size);
// Only GGO_METRICS with the identity transformation (or a null matrix) is supported; anything
// else returns GDI_ERROR. A code above 0xFF is a double-byte character, lead byte high.
// Returns 1 on success.
DWORD GetGlyphOutline(HDC hdc, UINT ch, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize,
                      void* buffer, const MAT2* matrix);
// Draws in the DC's text colour at the reference point (x, y) placed by the DC's text alignment,
// along the font's escapement. OPAQUE background mode fills the text cell with the background
// colour; ETO_OPAQUE fills `rect` and ETO_CLIPPED clips to it. `dx`, when given, holds one
// distance per byte to the next character (a double-byte character moves by the sum of its two);
// otherwise characters advance by their measured widths. Returns TRUE on a DC without a raster
// target too (nothing is drawn).
BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, const char* text, UINT count,
                const int* dx);
BOOL TextOut(HDC hdc, int x, int y, const char* text, int count);

// Character classes of Windows-1252 (the letters and digits outside ASCII included).
BOOL IsCharAlpha(char ch);
BOOL IsCharAlphaNumeric(char ch);

// Not a window-system call: the interface font (DEFAULT_GUI_FONT's face and size) for text in the
// active code page, such as file names in captions and menus; DEFAULT_GUI_FONT itself under 1252.
// The object lives as long as the program, like a stock object.
HFONT CodePageGuiFont();

// The active code page: 1252 unless set to a double-byte one (932, 936, 949 or 950).
UINT GetACP();
// Not a window-system call: selects the active code page from the settings, at start-up before
// any text is measured (fonts remember the characters they have looked up). Returns FALSE and
// changes nothing for a code page other than 1252, 932, 936, 949 and 950.
BOOL SetActiveCodePage(UINT codePage);
BOOL IsDBCSLeadByte(BYTE byte);
// Not a window-system call: the code page a locale name of the C library implies (language,
// then territory: "ja_JP.UTF-8" is 932, "zh_CN"/"zh_SG" 936, "ko" 949, "zh_TW"/"zh_HK" 950,
// anything else 1252). The locale need not be installed.
UINT CodePageOfLocale(const char* locale);
// The code page of the locale the environment names for character types: LC_ALL, then
// LC_CTYPE, then LANG, the first that is set and not empty.
UINT CodePageFromEnvironment();
// UTF-8 text as characters of the active code page, one code a character: a byte, or under a
// double-byte code page lead byte × 256 + trail byte. False at the first character the page
// cannot hold or at malformed UTF-8; `codes` then holds the characters before it.
bool AnsiCodesFromUtf8(std::string_view utf8, std::vector<unsigned>& codes);
// Text of the active code page as UTF-8; a byte sequence the page does not define becomes '?'.
std::string Utf8FromAnsiText(std::string_view text);
// UTF-8 text in the active code page; a character the page cannot hold becomes '?'.
std::string AnsiTextFromUtf8(std::string_view utf8);
// The next character: skips a lead byte and its trail byte together; never passes the end.
char* CharNext(const char* text);

// What the system's font registry would list: (value name, absolute file path), such as
// "Arial (TrueType)" -> ".../LiberationSans-Regular.ttf", in bytewise order of the value name.
struct InstalledFontEntry {
    std::string valueName;
    std::string path;
};
std::vector<InstalledFontEntry> InstalledFontEntries();
// Tests replace the list with their own; nullptr restores the catalogue's list.
void SetInstalledFontEntriesForTesting(const std::vector<InstalledFontEntry>* entries);

// The symbol encoding: a byte of a symbol-charset text, its PostScript glyph name and its Unicode
// character. Bytes 32-126 and 161-254 are defined (127-160 and 255 are not).
struct SymbolGlyph {
    BYTE code = 0;
    const char* glyphName = nullptr;
    char32_t unicode = 0;
};
// The entry for a byte, or null when the byte has no glyph in the encoding.
const SymbolGlyph* SymbolEncodingEntry(BYTE code);

} // namespace plat
