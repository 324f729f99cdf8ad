// Shared set-up of the fraction, long division, radical, box and overstrike tests: rows of one
// word whose metrics follow from the recording port's documented rule, the template factories
// installed, and the stroke calls of a drawing picked out of the recorded calls.
#pragma once

#include "OverSrcs/eFraction.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <string>
#include <vector>

namespace kvtest {

// A row holding one word of that text and point size.
inline ExprPtr WordRow(const std::string& text, int32_t points) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    row->setChild(0, NewWord(text, 0, SizedStyle(points), 0));
    return row;
}

// What a one-word row measures by the recording port's rule at resolution 16: width, height,
// axis height and baseline height.
struct RowFigures {
    int32_t W, H, A, C;
    int32_t D() const { return H - A; }
};
inline RowFigures ExpectedRow(const std::string& text, int32_t points) {
    const ExpectedFont f = ExpectedMetrics(points, 16);
    return RowFigures{ExpectedWidth(text, points, 16), f.h, f.ascent - (f.em + 2) / 4, f.ascent};
}

inline bool IsStrokeCall(const std::string& line) {
    static const char* const kinds[] = {"startDeluxeLine", "moveTo",    "lineTo",
                                        "line ",           "endLine",   "paintPolygon",
                                        "paintHorn",       "frameZone", "!"};
    for (const char* k : kinds)
        if (line.rfind(k, 0) == 0)
            return true;
    return false;
}

class TemplateTest : public ModelTest {
protected:
    // The factories stay installed afterwards, as they are in the program after start-up.
    void SetUp() override {
        ModelTest::SetUp();
        RegisterFractionTemplates();
    }
    // Measures the node as a root and draws it with its top left at (x, y); returns the strokes.
    std::vector<std::string> DrawStrokes(eExpr* node, int32_t x, int32_t y, uint8_t structure = 0) {
        if (structure)
            MeasureExprWithOptions(node, port.get(), structure, 0, 0, 0);
        port->clear();
        DrawExpr(node, port.get(), structure, 0, 0, 0, x, y);
        std::vector<std::string> strokes;
        for (const std::string& line : port->calls())
            if (IsStrokeCall(line))
                strokes.push_back(line);
        EXPECT_EQ(port->protocolErrors(), 0);
        EXPECT_FALSE(port->lineOpen());
        return strokes;
    }
    static std::string Line(int32_t width) {
        return "startDeluxeLine width=" + std::to_string(width) + " color=#000000ff style=0 mode=1";
    }
    static std::string Pt(const char* op, int32_t x, int32_t y) {
        return std::string(op) + " " + std::to_string(x) + "," + std::to_string(y);
    }
};

} // namespace kvtest
