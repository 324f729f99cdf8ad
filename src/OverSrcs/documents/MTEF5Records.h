#pragma once
// The records of an MTEF equation as the parser keeps them for the converter.

#include <cstdint>
#include <memory>
#include <vector>

namespace MTEF5 {

constexpr int kMaxDepth = 64;
constexpr int kMaxRecords = 100000;

enum RecordType : int {
    kEnd = 0,
    kLine = 1,
    kChar = 2,
    kTmpl = 3,
    kPile = 4,
    kMatrix = 5,
    kEmbell = 6,
    kRuler = 7,
    kFont = 8,
    kSize = 9,
    kFull = 10,
    kSubSym = 14,
    kColor = 15,
    kColorDef = 16,
    kFontDef = 17,
    kEqnPrefs = 18,
    kEncodingDef = 19,
    kFuture = 100,
};

// The parsed records: a line holds items, a template its slots and extra characters, a pile or
// matrix its lines.
struct Record {
    int type = kEnd;
    int selector = 0;
    int variation = 0;
    int rows = 0;
    int columns = 0;
    uint32_t character = 0;
    int typeface = 0;
    // The character holds only its position in the font, not its own code.
    bool fontPosition = false;
    // Pile and matrix: the horizontal alignment (1 left, 2 centre, 3 right, 4 on relations, 5 on
    // the decimal point); matrix: the style of each row and column partition line (0 none, 1
    // solid, 2 dashed, 3 dotted), the outer lines included.
    int halign = 0;
    std::vector<uint8_t> rowParts;
    std::vector<uint8_t> colParts;
    bool nullLine = false;
    // The colour the record is drawn in, as a 3-3-2 byte (0 black).
    uint8_t colour = 0;
    std::vector<int> embells;
    std::vector<std::unique_ptr<Record>> children;
};

} // namespace MTEF5
