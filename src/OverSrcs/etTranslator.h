// Translators: tables of rule strings that turn an expression into text (TeX, MathML, spoken
// words, linear text). A translator holds 19 blocks of 256 entry strings and 40 font records.
// Block 0 holds the structural rules, blocks 1-17 the characters of the fonts their font records
// name, block 18 the special words ("name::text").
//
// Translator files (".cat") are keyed lines, cp1252 with CR LF:
//   "Ve" n          format version
//   "Es" mode       escape of raw text: 0 none, 1 XML, 2 TeX
//   "Fo" block ...  a font record: size, the 7 style bytes, further, packed, shortcut, slippery
//                   (compact numbers), then the font name as text
//   "Tr" code text  one entry; a following line that begins with a TAB continues the text
// Unknown tags are skipped; entries that are absent are empty.
#pragma once

#include "ExprSrcs/commands/tsPrefs.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class oIStream;

inline constexpr int32_t kTranslatorBlocks = 19;
inline constexpr int32_t kTranslatorEntries = kTranslatorBlocks * 256;
inline constexpr int32_t kTranslatorFonts = 40;
inline constexpr int32_t kSpecialWordBase = 0x1200;
inline constexpr int32_t kTranslatorFormatVersion = 1;

// Escape modes of raw text.
inline constexpr int32_t kEscapeNone = 0;
inline constexpr int32_t kEscapeXml = 1;
inline constexpr int32_t kEscapeTeX = 2;

// Limits that keep a damaged or hostile file within bounds.
inline constexpr size_t kMaxTranslatorFileBytes = 8u << 20;
inline constexpr size_t kMaxTranslatorEntryBytes = 64u << 10;

// Block 0: the structural entries.
enum TranslatorCode : int32_t {
    kTrCopyBefore = 0x00,
    kTrCopyAfter = 0x01,
    kTrFileBefore = 0x02,
    kTrFileAfter = 0x03,
    kTrRowBegin = 0x04,
    kTrRowEnd = 0x05,
    kTrRowBetween = 0x06,
    kTrRowEmpty = 0x07,
    kTrRuledBegin = 0x08,
    kTrRuledEnd = 0x09,
    kTrPicture = 0x0A,
    kTrDoubleByte = 0x0B,
    kTrUnmapped = 0x0C,
    kTrFunctionName = 0x0D,
    kTrBoldOn = 0x10,
    kTrItalicOn = 0x12,
    kTrUprightOn = 0x14,
    kTrUnderlineOn = 0x16,
    kTrColourOn = 0x18,
    kTrPseudo = 0x20,
    kTrFraction = 0x30,
    kTrLongDivision = 0x38,
    kTrRoot = 0x40,
    kTrScript = 0x48,
    kTrTensorBegin = 0x58,
    kTrTensorUpper = 0x59,
    kTrTensorLower = 0x5A,
    kTrTensorEnd = 0x5B,
    kTrFenceOpen = 0x60,
    kTrFenceClose = 0x70,
    kTrFenceTop = 0x80,
    kTrFenceBottom = 0x90,
    kTrMarkAbove = 0xA0,
    kTrMarkBelow = 0xB0,
    kTrIntegralBeside = 0xC0,
    kTrIntegralAbove = 0xC8,
    kTrMatrixBegin = 0xD0,
    kTrMatrixEnd = 0xD1,
    kTrMatrixRowBegin = 0xD2,
    kTrMatrixRowEnd = 0xD3,
    kTrCellBegin = 0xD4,
    kTrCellEnd = 0xD5,
    kTrCellBetween = 0xD6,
    kTrRowsBetween = 0xD7,
    kTrPileBegin = 0xD8,
    kTrPileEnd = 0xD9,
    kTrPileRowBegin = 0xDA,
    kTrPileRowEnd = 0xDB,
    kTrPileBetween = 0xDC,
    kTrBox = 0xE0,
    kTrOverstrike = 0xE1,
    kTrTreeBegin = 0xE2,
    kTrTreeSon = 0xE3,
    kTrTreeBetween = 0xE4,
    kTrTreeEnd = 0xE5,
    // The big-operator templates: sum, product, union and intersection with limits above and
    // below (0xF0-0xF3) and with limits as scripts (0xF8-0xFB). Slots: 0 the operand, 1 the sign,
    // 2 the lower limit, 3 the upper limit.
    kTrBigOperatorAbove = 0xF0,
    kTrBigOperatorBeside = 0xF8,
};

struct Translator {
    Translator();

    std::array<std::string, kTranslatorEntries> entries;
    std::array<FSSRecord, kTranslatorFonts> fonts;
    int32_t escape = kEscapeNone;
    // The file it was read from or is saved to (empty for one built in memory).
    std::string path;

    friend bool operator==(const Translator& a, const Translator& b);
};

// A font record that names a font (not the inheriting "*" of a fresh record).
bool FontRecordUsed(const FSSRecord& record);

// Reads translator text into `out`. On any malformed content `out` is left as it was, false is
// returned and `message` says where and what (French, for the alert).
bool ReadTranslatorText(std::string_view bytes, Translator& out, std::string& message);
// Reads the rest of the stream (at most kMaxTranslatorFileBytes) as translator text.
bool LoadTranslator(oIStream& stream, Translator& out, std::string& message);
// Reads a translator file; its path is kept in `out` on success.
bool LoadTranslatorFile(const char* path, Translator& out, std::string& message);

// The file text of a translator: Ve, Es, the used font records, then the non-empty entries in
// code order.
std::string TranslatorText(const Translator& translator);
// Writes the translator to its path through a sibling file moved into place, so a failed write
// leaves the previous file untouched. False with a message when the path is empty or the write
// fails.
bool SaveTranslator(const Translator& translator, std::string& message);

// Base64 in the program's alphabet ("+" for 62, "@" for 63), "=" padded.
std::string EncodeB64(std::string_view bytes);
