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
// reader takes a whole EPS file; a document keeps the records a later version wrote, and writes
// them back. Text with no "Ex" record is searched for a bare encoding.

#include "OverSrcs/eObject.h"
#include "OverSrcs/oGraph.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
    // The records of tags this version does not know, in file order, each as it was read: its
    // "%%" prefix if it had one, its tag and fields, then each continuation line after a "\n"
    // (with its prefix and TAB). Only kept when asked for, and only from text that holds an "Ex"
    // record (the lines of foreign text are no records).
    std::vector<std::string> unknownRecords;
};

// Writes the lines of a document: zone and options are written only when given (the exports leave
// them out), then the records of a later version kept by the reader, after the program's own.
// Fails like the stream.
void WriteDocumentLines(oOStream& stream, const eExpr* expression,
                        const DocumentBackground& background, const Zone* windowZone,
                        const std::uint8_t* options,
                        const std::vector<std::string>* unknownRecords = nullptr);

// Reads the lines from the stream's position to its end. No "Ex" record: a bare encoding anywhere
// in the text is taken. An "Ex" record that cannot be read fails with its error (462); text with
// no expression at all fails with 495. Nothing is kept on failure. With keepUnknown, the records
// of unknown tags are kept (a document that is saved again keeps them).
DocumentLines ReadDocumentLines(oIStream& stream, bool keepUnknown = false);
DocumentLines ReadDocumentLinesFromMemory(const void* data, std::uint32_t length,
                                          bool keepUnknown = false);
