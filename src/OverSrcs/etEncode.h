// The expression encoding: the program's own printable text form of an expression tree, written
// between "]|Expr|[" and "]|[" into every export so that the expression can be edited again, and
// read back from plain text, from an HTML "exprcode" parameter, from a base64 block and from the
// bytes that follow a bitmap's pixels.
//
// Every integer in the text is a compact number (oOStream::putNumber). Font, size, style, colour
// and nudge are state-change records, written only when they differ from the state last written;
// the reader carries the state from record to record. Each node class writes its own record
// through eExpr::writeEncoding; the reader builds the nodes through their factories.
//
// The writer and the reader keep their state in module globals: one write or read at a time (they
// share the font table). Errors go through Fail: errDataCorrupted (462) for any malformed text,
// errTooManyFonts (485) for a 51st font, errUserInterrupt (440) when the user stops a write.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class oIStream;
class oOStream;
class WinUfo;

inline constexpr int32_t kEncodingVersion = 32;
// A version above this is from a newer program: note 482, and the read goes on.
inline constexpr int32_t kNewestReadableVersion = 49;
inline constexpr int errTooManyFonts = 485;
// A tree nested deeper than the reader accepts is not written.
inline constexpr int errNestedTooDeep = 486;
inline constexpr int kNewerVersionNote = 482;

inline constexpr char kEncodingStart[] = "]|Expr|[";
inline constexpr char kEncodingEnd[] = "]|[";

// Nesting deeper than this (rows, templates and grids inside each other) is refused with 462, so
// that a hostile text cannot exhaust the stack of the reader or of anything walking the tree.
inline constexpr int32_t kMaxEncodingDepth = 1000;
// No grid read from text holds more than this many cells (the most a matrix can have); rows are
// bounded by the size of the text alone.
inline constexpr int32_t kMaxEncodingChildren = 32000;

// ---- The font table shared by the writer and the reader
// ------------------------------------------

inline constexpr int32_t kMaxEncodingFonts = 50;

struct EncodingFont {
    // 's' symbol, 'i' western text, 'f' far-eastern or Cyrillic, 'm' Mac OS Roman text (only read),
    // '?' unknown.
    char fontClass = '?';
    std::string name;
};

int32_t EncodingFontCount();
// Null beyond the table.
const EncodingFont* EncodingFontAt(int32_t index);

// The class letter of a font name. The default knows the symbol faces by name and calls every
// other face western text; start-up installs the font manager's classification.
using EncodingFontClassifier = char (*)(const char* name);
void SetEncodingFontClassifier(EncodingFontClassifier classifier); // null: the default

// ---- Pictures inside the encoding ---------------------------------------------------------------
// An opaque leaf's picture travels as picture text between "`g" and "}". The picture-text code
// installs the two halves; until then a picture leaf is written without its picture and read back
// as an empty picture leaf, and the rest of the expression is unaffected.
using UfoPictureWriter = void (*)(oOStream& stream, const char* caption, const WinUfo* picture,
                                  bool optionA, bool optionB);
// Reads the picture records up to and including their end record; may Fail.
using UfoPictureReader = std::unique_ptr<WinUfo> (*)(oIStream& stream);
void SetUfoPictureCodec(UfoPictureWriter writer, UfoPictureReader reader);

// ---- Writer -------------------------------------------------------------------------------------

// Writes one complete encoding of the tree under root (the expression itself, not the pane's
// header). The stream is required (null logs and fails). With a non-empty line prefix the text is
// broken into lines of about 72 characters by "|" prefix "|" comments. resolveStyles writes sizes,
// styles and the inherited font resolved against the base style, so the text stands on its own.
void WriteExprEncoding(oOStream* stream, const eExpr* root, const char* linePrefix, uint8_t red,
                       uint8_t green, uint8_t blue, bool noBackground, bool pictureOptionA,
                       bool pictureOptionB, bool resolveStyles);
// The link records of every linked row below node (root is where paths start).
void WritePyramidEncoding(const eExpr* root, const eExpr* node);
// Convenience: the encoding of the tree with no background, as text; pictures are written with
// their own records.
std::string ExprEncodingText(const eExpr* root, const char* linePrefix = nullptr,
                             bool resolveStyles = false);

// ---- Reader -------------------------------------------------------------------------------------

// Reads one encoding from the stream's position to just after its end marker. The caller owns the
// tree; on failure nothing built is kept.
ExprPtr ReadExprEncoding(oIStream& stream);
ExprPtr ReadExprEncodingFromMemory(const void* buffer, size_t length);

// The background record of the last read: red, green, blue (255 each when there is none).
struct EncodingBackground {
    uint8_t red = 255;
    uint8_t green = 255;
    uint8_t blue = 255;
    bool none = true;
};
const EncodingBackground& LastEncodingBackground();
// How many times the last read showed the newer-version note (0 or 1).
int32_t NewerVersionNotesShown();

// Finds an encoding inside arbitrary text and reads it; null when there is none. HTML-escaped text
// (the text holds "exprcode") is unescaped first and a failure there passes to the caller; a
// failure in plain or base64 text gives null, except a stop by the user or a termination signal
// (errUserInterrupt), which always passes on. The caller's text is never modified.
ExprPtr FindEmbeddedEncoding(const char* text, size_t length);

// Decodes base64 text (A-Z, a-z, 0-9, then "+" 62 and "@" or "/" 63) into out, stopping at "=" or
// the end. CR, LF, blanks and tabs are skipped; any other character makes the decode fail (false,
// out cleared). Megabytes of text poll HookCheckUserAbort, which may stop the decode.
bool DecodeB64(const char* text, size_t length, std::string& out);

// The expression whose encoding follows the pixel bits of a packed device-independent bitmap
// (header, colour table, bits); null when the block ends with the bits, when no encoding can be
// read there, or when the header does not fit the block.
ExprPtr ReadEncodingFromDib(const void* dib, size_t size);
