#pragma once
// Rich text with the program's object in it: the object (its packet in hexadecimal), the picture
// word processors show for it, and the expression's encoding token in a destination that other
// readers skip, so a paste back into the program finds the expression first hand.

#include "OverSrcs/eObject.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct RtfObject {
    std::vector<std::uint8_t> packet; // the embedded-object packet
    std::vector<std::uint8_t> emf;    // the picture shown in its place
    std::int32_t widthHimetric = 1;   // the picture's size in hundredths of a millimetre
    std::int32_t heightHimetric = 1;
    std::int32_t shiftHalfPoints = 0; // positive lowers the object, negative raises it
    std::string token;                // the encoding token, "]|Expr|[B64...]|["
};

// The in-line alignments of the word-processor target.
enum class RtfAlignment : std::int32_t {
    MathAxis = 0,
    Centre = 1,
    Between = 2,
    Bottom = 3,
    Top = 4
};

// How far the object is lowered below the text's baseline for an alignment, in the units of its
// arguments: the picture's height, its axis height from the top and the base size.
std::int32_t RtfObjectShift(std::int32_t alignment, std::int32_t pictureHeight,
                            std::int32_t axisHeight, std::int32_t baseSize);

std::string RtfWithObject(const RtfObject& object);

// The text of the first "\kvexpr" destination (empty when there is none).
std::string RtfExpressionToken(const char* text, std::size_t length);
// The bytes of the first "\objdata" destination; false when there is none or its hexadecimal
// text is malformed.
bool RtfObjectData(const char* text, std::size_t length, std::vector<std::uint8_t>& bytes);

// The expression of rich text: the encoding token, else the first object's data (the program's
// own storage, or another editor's equation stream); null when neither reads.
ExprPtr ExprFromRtf(const char* text, std::size_t length);
