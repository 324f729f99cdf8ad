#pragma once
// The document lines: the keyed-line records that make a document file (".pvx", ".exp"), and that
// also ride at the end of every EPS export and in the text of every PNG export, so that all of them
// open again as editable documents.
//
// Every line starts with "%%" (so the block is a set of PostScript comments too), CR LF line ends:
//   %%Ve n                       version of the lines (1)
//   %%Wz left top right bottom   the window's outer rectangle (documents only)
//   %%Fl o1 o2 o3 o4             the four view options (documents only)
//   %%Ex <encoding>              the expression encoding, running over "%%<TAB>|...|" lines to
//   "]|["
// Numbers are compact numbers. Other lines (PostScript, unknown records) are skipped, so the same
// reader takes a whole EPS file. Text with no "Ex" record is searched for a bare encoding.

#include "OverSrcs/eObject.h"
#include "OverSrcs/oGraph.h"

#include <cstdint>
#include <optional>

class oIStream;
class oOStream;

inline constexpr std::int32_t kDocumentLinesVersion = 1;
// The alert for text that holds no expression.
inline constexpr int kNoExpressionInText = 495;

struct DocumentBackground {
    Color color{255, 255, 255, 255};
    bool none = true;
};

// What a document's lines hold.
struct DocumentLines {
    ExprPtr expression;
    std::optional<Zone> windowZone;
    std::uint8_t options[4] = {0, 0, 0, 0};
    DocumentBackground background;
    std::int32_t version = 0; // 0: no "Ve" record
};

// Writes the lines of a document: zone and options are written only when given (the exports leave
// them out). Fails like the stream.
void WriteDocumentLines(oOStream& stream, const eExpr* expression,
                        const DocumentBackground& background, const Zone* windowZone,
                        const std::uint8_t* options);

// Reads the lines from the stream's position to its end. No "Ex" record: a bare encoding anywhere
// in the text is taken. An "Ex" record that cannot be read fails with its error (462); text with
// no expression at all fails with 495. Nothing is kept on failure.
DocumentLines ReadDocumentLines(oIStream& stream);
DocumentLines ReadDocumentLinesFromMemory(const void* data, std::uint32_t length);
