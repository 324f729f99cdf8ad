#include "OverSrcs/eFence.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// Child used throughout: the row "x" in a font of `points` at resolution 16. By the recording
// port's metrics (the axis is the ascent less the descent): 12 pt: width 6, height 13, axis 7,
// baseline 10, size 13; 24 pt: 12, 27, 13, 20, 27; 48 pt: 24, 54, 26, 40, 54.
ExprPtr WordRow(const char* text, int32_t points) {
    return NewSimpStringWith(NewWord(text, 0, SizedStyle(points), 0));
}

// Remembers the horn mode at each horn, so the straight-segment mode can be checked in flight.
class HornModePort : public RecordingPort {
public:
    using RecordingPort::RecordingPort;
    void paintHorn(const Zone& zone, int32_t width, int32_t direction, int32_t vertical) override {
        modes.push_back(FenceHornMode);
        RecordingPort::paintHorn(zone, width, direction, vertical);
    }
    std::vector<int32_t> modes;
};

class eFenceTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        SetLoggedInformation("");
        RegisterFenceTemplates();
        PostScriptDocumentOpen = 0;
        FenceHornMode = 0;
    }
    void TearDown() override {
        PostScriptDocumentOpen = 0;
        ModelTest::TearDown();
    }

    // A fence of that kind around "x" at that size, alone in a root row, laid out.
    eFence* Laid(int32_t kind, int32_t points) {
        root = NewSimpString(1);
        auto* f = static_cast<eFence*>(root->setChild(0, NewFence(WordRow("x", points), kind)));
        Measure(root.get());
        return f;
    }
    // The fence's own strokes: the drawing calls less colours and text.
    std::vector<std::string> Strokes(RecordingPort& p) {
        p.clear();
        DrawExpr(root.get(), &p, 0, 0, 0, 0, 0, 0);
        EXPECT_EQ(p.protocolErrors(), 0);
        std::vector<std::string> out;
        for (const std::string& c : p.calls())
            if (c.rfind("setColors", 0) != 0 && c.rfind("drawDeluxeString", 0) != 0)
                out.push_back(c);
        return out;
    }
    std::vector<std::string> Strokes() { return Strokes(*port); }

    OwnedNode<eSimpString> root;
};

std::string Horn(const char* zone, int32_t width, int32_t direction, int32_t vertical = 0) {
    char b[96];
    std::snprintf(b, sizeof b, "paintHorn %s;0,0 width=%d direction=%d vertical=%d", zone, width,
                  direction, vertical);
    return b;
}
std::string Start(int32_t width) {
    return "startDeluxeLine width=" + std::to_string(width) + " color=#000000ff style=0 mode=1";
}

// ---- Layout ----

TEST_F(eFenceTest, ParenthesesAroundALetterTakeTheChildsHeightAndTwoBands) {
    // s = 13, t = max(1, (13 * 4 + 32) >> 6) = 1; above max(7, 6) = 7, below max(6, 6) = 6, so
    // the stretched length is 13 and a parenthesis is 13/16 + 13/8 + 2 = 3 wide: bands of 5.
    eFence* f = Laid(FenceKind(kDelimParen, kDelimParen), 12);
    EXPECT_EQ(ZoneText(f->m_zone), "0,0,16,13;7,10");
    EXPECT_EQ(ZoneText(f->getChild(0)->m_zone), "5,0,11,13;7,10");
    EXPECT_EQ(f->m_size, 13);
}

struct WidthCase {
    int32_t type;
    int32_t delimiterWidth; // at s = 27 over a length of 27
};

class FenceWidths : public eFenceTest, public ::testing::WithParamInterface<WidthCase> {};

TEST_P(FenceWidths, EachTypeReservesItsWidthPlusTwoStrokesOnEachSide) {
    SCOPED_TRACE(GetParam().type);
    // 24 pt: s = 27, t = 2, child 12 wide; the length is 14 + 13 = 27.
    eFence* f = Laid(FenceKind(GetParam().type, GetParam().type), 24);
    const int32_t band = GetParam().delimiterWidth + 4;
    EXPECT_EQ(f->width(), 2 * band + 12);
    EXPECT_EQ(f->height(), 27);
    EXPECT_EQ(f->getChild(0)->m_zone.left, band);
    EXPECT_EQ(FenceDelimiterWidth(GetParam().type, 27, 27), GetParam().delimiterWidth);
}

INSTANTIATE_TEST_SUITE_P(
    Types, FenceWidths,
    ::testing::Values(WidthCase{kDelimNone, 0}, WidthCase{kDelimParen, 27 / 16 + 27 / 8 + 2},
                      WidthCase{kDelimBrace, 27 / 16 + 27 / 4 + 3},
                      WidthCase{kDelimAngle, (27 + 27) / 8}, WidthCase{kDelimBar, 27 / 4},
                      WidthCase{kDelimFloor, 27 / 8 + 27 / 16 + 2},
                      WidthCase{kDelimCeiling, 27 / 8 + 27 / 16 + 2},
                      WidthCase{kDelimSquare, 27 / 8 + 27 / 16 + 2},
                      WidthCase{kDelimWhiteSquare, 27 / 8 + 27 / 4 + 2},
                      WidthCase{kDelimReversedSquare, 27 / 8 + 27 / 16 + 2},
                      // a bar and two light strokes of max(1, (3 * 27 * 4 + 128) / 256) = 1
                      WidthCase{kDelimDoubleBar, 27 / 4 + 2},
                      // reserved types hold a square bracket's width
                      WidthCase{11, 6}, WidthCase{15, 6}));

TEST_F(eFenceTest, TheLengthGrowsWithTheLongerDelimiterTypes) {
    // Parentheses, braces and angle brackets widen with the length; the others do not.
    EXPECT_EQ(FenceDelimiterWidth(kDelimParen, 160, 27), 10 + 3 + 2);
    EXPECT_EQ(FenceDelimiterWidth(kDelimBrace, 160, 27), 10 + 6 + 3);
    EXPECT_EQ(FenceDelimiterWidth(kDelimAngle, 160, 27), (160 + 27) / 8);
    EXPECT_EQ(FenceDelimiterWidth(kDelimSquare, 160, 27), 6);
    // Tiny sizes keep a visible width.
    EXPECT_EQ(FenceDelimiterWidth(kDelimBar, 2, 2), 1);
    EXPECT_EQ(FenceDelimiterWidth(kDelimAngle, 1, 2), 1);
}

TEST_F(eFenceTest, IncreaseHeightAddsLengthAboveAndBelow) {
    DelimiterSettings.increaseHeight = 2;
    // e = ((12 / 4 + 27) * 2) >> 4 = 3: above 13 + 3, below 14 + 3.
    eFence* f = Laid(FenceKind(kDelimSquare, kDelimSquare), 24);
    EXPECT_EQ(f->m_zone.ref1, 16);
    EXPECT_EQ(f->height(), 33);
    EXPECT_EQ(f->getChild(0)->m_zone.top, 16 - 13);
    EXPECT_EQ(f->m_zone.ref2, 16 - 13 + 20);
}

TEST_F(eFenceTest, BalancedFencesExtendEquallyAboutTheAxis) {
    DelimiterSettings.balanceAboutAxis = 1;
    eFence* f = Laid(FenceKind(kDelimParen, kDelimParen), 24);
    // The deeper half (14 below the axis) is taken above it too.
    EXPECT_EQ(f->m_zone.ref1, 14);
    EXPECT_EQ(f->height(), 28);
    EXPECT_EQ(f->getChild(0)->m_zone.top, 1);
}

TEST_F(eFenceTest, QuantisingRoundsEachHalfUpUnlessStructureIsShown) {
    DelimiterSettings.quantiseSize = 1;
    // q = (27 * 9 >> 4) + 1 = 16: above 13 and below 14 both become 16.
    eFence* f = Laid(FenceKind(kDelimParen, kDelimParen), 24);
    EXPECT_EQ(f->m_zone.ref1, 16);
    EXPECT_EQ(f->height(), 32);
    EXPECT_EQ(f->getChild(0)->m_zone.top, 3);

    InvalidateTree(root.get());
    MeasureExprWithOptions(root.get(), port.get(), 1, 0, 0, 0);
    const eExpr* child = f->getChild(0);
    EXPECT_EQ(f->m_zone.ref1, std::max(child->m_zone.ref1, 13));
    EXPECT_EQ(f->height(), std::max(child->m_zone.ref1, 13) +
                               std::max(child->height() - child->m_zone.ref1, 13));
}

TEST_F(eFenceTest, AHorizontalFenceIsAtLeastOneSizeLongAndCentresItsChild) {
    // Over-brace above "x" (24 pt): length max(12, 27) = 27; the brace band is 10 + 4 above,
    // the empty side keeps 4 below.
    eFence* f = Laid(FenceKind(kDelimBrace, kDelimNone, true), 24);
    EXPECT_EQ(ZoneText(f->m_zone), "0,0,27,45;27,34");
    EXPECT_EQ(ZoneText(f->getChild(0)->m_zone), "7,14,19,41;13,20");

    // Under-brace: the band moves below, the axis follows the child.
    f = Laid(FenceKind(kDelimNone, kDelimBrace, true), 24);
    EXPECT_EQ(ZoneText(f->m_zone), "0,0,27,45;17,24");
    EXPECT_EQ(f->getChild(0)->m_zone.top, 4);
}

TEST_F(eFenceTest, AroundAnEmptyRowTheFenceReachesHalfASizeEachWay) {
    root = NewSimpString(1);
    auto* f = static_cast<eFence*>(
        root->setChild(0, NewFence(NewEmptySimpString(), FenceKind(kDelimParen, kDelimParen))));
    Measure(root.get());
    ASSERT_GT(f->m_size, 0);
    EXPECT_GE(f->m_zone.ref1, f->m_size / 2);
    EXPECT_GE(f->height() - f->m_zone.ref1, f->m_size / 2);
}

TEST_F(eFenceTest, ChildNudgesMoveTheChildOnly) {
    root = NewSimpString(1);
    ExprPtr child = WordRow("x", 24);
    child->m_nudgeX = 64; // one size right
    auto* f = static_cast<eFence*>(
        root->setChild(0, NewFence(std::move(child), FenceKind(kDelimParen, kDelimParen))));
    Measure(root.get());
    // Parenthesis 27/16 + 27/8 + 2 = 6 wide: bands of 10.
    EXPECT_EQ(f->getChild(0)->m_zone.left, 10 + f->getChild(0)->m_size);
    EXPECT_EQ(f->width(), 2 * 10 + 12);
}

// ---- Strokes ----

TEST_F(eFenceTest, ParenthesesAreTwoHornsASide) {
    Laid(FenceKind(kDelimParen, kDelimParen), 12);
    // Opening box from t = 1, 3 wide; closing box ends at 16 - 1.
    const std::vector<std::string> expected = {Horn("1,0,4,6", 1, 4), Horn("1,6,4,13", 1, 3),
                                               Horn("12,0,15,6", 1, 1), Horn("12,6,15,13", 1, 2)};
    EXPECT_EQ(Strokes(), expected);
}

TEST_F(eFenceTest, BracesAreFourHornsWithThePointsAwayFromTheChild) {
    Laid(FenceKind(kDelimBrace, kDelimBrace), 24);
    // Box 2..12 (t = 2, width 10): k = 4, p = (27 + 2) / 4 = 7. Closing box 28..38 mirrored.
    const std::vector<std::string> expected = {
        Horn("6,0,12,7", 2, 4),    Horn("2,7,8,14", 2, 2),   Horn("2,14,8,21", 2, 1),
        Horn("6,21,12,28", 2, 3),  Horn("28,0,34,7", 2, 1),  Horn("32,7,38,14", 2, 3),
        Horn("32,14,38,21", 2, 4), Horn("28,21,34,28", 2, 2)};
    EXPECT_EQ(Strokes(), expected);
}

TEST_F(eFenceTest, StraightSegmentsJoinTheHornsAndSetTheHornMode) {
    DelimiterSettings.straightSegments = 1;
    HornModePort p(16, Zone{0, 0, 4000, 2000, 0, 0});
    // 48 pt: s = 54, t = 3; above 28, below max(26, 27) = 27, so h = 55.
    // Parenthesis: 55/16 + 54/8 + 2 = 11 wide at x = 3; g = (55 - 16) >> 2 = 9; horns of 27 - 9.
    Laid(FenceKind(kDelimParen, kDelimNone), 48);
    std::vector<std::string> expected = {
        Horn("3,0,14,18", 3, 4), Start(3), "moveTo 3,18", "line 0,15", "endLine",
        Horn("3,37,14,55", 3, 3)};
    EXPECT_EQ(Strokes(p), expected);
    EXPECT_EQ(p.modes, (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(FenceHornMode, 0);

    // Brace: 55/16 + 54/4 + 3 = 19 wide; k = 8, g = (55 - 32) >> 3 = 2, p = 57/4 - 2 = 12.
    p.modes.clear();
    Laid(FenceKind(kDelimBrace, kDelimNone), 48);
    expected = {Horn("11,0,22,12", 3, 4),
                Start(3),
                "moveTo 11,12",
                "line 0,1",
                "endLine",
                Horn("3,16,14,28", 3, 2),
                Horn("3,28,14,40", 3, 1),
                Start(3),
                "moveTo 11,40",
                "line 0,1",
                "endLine",
                Horn("11,44,22,56", 3, 3)};
    EXPECT_EQ(Strokes(p), expected);
    EXPECT_EQ(p.modes, (std::vector<int32_t>{2, 2, 2, 2}));
    EXPECT_EQ(FenceHornMode, 0);

    // Without straight segments the mode stays 0.
    DelimiterSettings.straightSegments = 0;
    p.modes.clear();
    Strokes(p);
    EXPECT_EQ(p.modes, (std::vector<int32_t>{0, 0, 0, 0}));
}

TEST_F(eFenceTest, SquareBracketsDrawSerifsThenTheOuterVertical) {
    // 24 pt: vertical stroke 2, serif stroke max(1, (27 * 4 / 2 + 32) >> 6) = 1; box 2..8 and
    // 24..30 of height 27.
    Laid(FenceKind(kDelimSquare, kDelimSquare), 24);
    const std::vector<std::string> expected = {
        Start(1),       "moveTo 2,0",  "lineTo 7,0",  "endLine",     Start(1),       "moveTo 2,26",
        "lineTo 7,26",  "endLine",     Start(2),      "moveTo 2,0",  "lineTo 2,25",  "endLine",
        Start(1),       "moveTo 29,0", "lineTo 24,0", "endLine",     Start(1),       "moveTo 29,26",
        "lineTo 24,26", "endLine",     Start(2),      "moveTo 28,0", "lineTo 28,25", "endLine"};
    EXPECT_EQ(Strokes(), expected);
}

TEST_F(eFenceTest, FloorCeilingAndReversedBracketsKeepTheirOwnSerifs) {
    Laid(FenceKind(kDelimFloor, kDelimCeiling), 24);
    std::vector<std::string> expected = {Start(1), "moveTo 2,26", "lineTo 7,26",  "endLine",
                                         Start(2), "moveTo 2,0",  "lineTo 2,25",  "endLine",
                                         Start(1), "moveTo 29,0", "lineTo 24,0",  "endLine",
                                         Start(2), "moveTo 28,0", "lineTo 28,25", "endLine"};
    EXPECT_EQ(Strokes(), expected);

    // A reversed bracket on the opening side is the closing bracket's figure in the left box.
    Laid(FenceKind(kDelimReversedSquare, kDelimNone), 24);
    expected = {Start(1), "moveTo 7,0",  "lineTo 2,0",  "endLine",
                Start(1), "moveTo 7,26", "lineTo 2,26", "endLine",
                Start(2), "moveTo 6,0",  "lineTo 6,25", "endLine"};
    EXPECT_EQ(Strokes(), expected);
}

TEST_F(eFenceTest, AngleBracketsAreTwoStrokePolylines) {
    // Stroke max(1, (3 * 27 * 4 + 128) >> 8) = 1; width (27 + 27) / 8 = 6; box 2..8, shrunk to 7.
    Laid(FenceKind(kDelimAngle, kDelimAngle), 24);
    const std::vector<std::string> expected = {
        Start(1), "moveTo 7,0",  "lineTo 2,13",  "lineTo 7,26",  "endLine",
        Start(1), "moveTo 24,0", "lineTo 29,13", "lineTo 24,26", "endLine"};
    EXPECT_EQ(Strokes(), expected);
}

TEST_F(eFenceTest, BarsSitAtTheOuterEdgeAndDoubleBarsAddOneTwoStrokesIn) {
    Laid(FenceKind(kDelimBar, kDelimDoubleBar), 24);
    // Bar 6 wide (box 2..8); double bar 8 wide in the box 24..32 (the fence is 10 + 12 + 12
    // wide): its lines cover 31..32 and, two strokes in, 29..30.
    const std::vector<std::string> expected = {Start(1), "moveTo 2,0",  "line 0,26", "endLine",
                                               Start(1), "moveTo 31,0", "line 0,26", "endLine",
                                               Start(1), "moveTo 29,0", "line 0,26", "endLine"};
    EXPECT_EQ(Strokes(), expected);
}

TEST_F(eFenceTest, BarsKeepADeviceMinimumOnFineDevices) {
    DelimiterSettings.verticalWeight = 1;
    port->setPortResolution(64);
    // 12 pt at 64: em 48, size 54; stroke (3 * 54 + 128) >> 8 = 1, raised to 64 / 32 = 2.
    Laid(FenceKind(kDelimBar, kDelimNone), 12);
    const std::vector<std::string> strokes = Strokes();
    ASSERT_FALSE(strokes.empty());
    EXPECT_EQ(strokes[0], Start(2));
}

TEST_F(eFenceTest, WhiteBracketsHaveTwoVerticalsAndHalfWeightSerifs) {
    // t = 2, serif 1; width 27/8 + 27/4 + 2 = 11: box 2..13, bottom raised to 26, inner edge 11.
    Laid(FenceKind(kDelimWhiteSquare, kDelimNone), 24);
    std::vector<std::string> expected = {Start(1), "moveTo 11,0",  "lineTo 2,0",  "endLine",
                                         Start(2), "moveTo 2,0",   "line 0,24",   "endLine",
                                         Start(2), "moveTo 6,0",   "line 0,24",   "endLine",
                                         Start(1), "moveTo 11,26", "lineTo 2,26", "endLine"};
    EXPECT_EQ(Strokes(), expected);

    // While a PostScript document is written the serifs are full weight.
    PostScriptDocumentOpen = 1;
    expected = {Start(2),    "moveTo 11,0",  "lineTo 2,0",  "endLine",    Start(2),    "moveTo 2,0",
                "line 0,23", "endLine",      Start(2),      "moveTo 6,0", "line 0,23", "endLine",
                Start(2),    "moveTo 11,25", "lineTo 2,25", "endLine"};
    EXPECT_EQ(Strokes(), expected);
}

TEST_F(eFenceTest, EmptyAndReservedTypesDrawNothing) {
    for (int32_t type : {0, 11, 12, 15}) {
        SCOPED_TRACE(type);
        Laid(FenceKind(type, type), 24);
        EXPECT_TRUE(Strokes().empty());
    }
}

TEST_F(eFenceTest, AHorizontalBraceIsTheVerticalFigureTurned) {
    Laid(FenceKind(kDelimBrace, kDelimNone, true), 24);
    // The vertical opening brace of the same length (boxes 2..12 across, 0..27 along), with x and
    // y exchanged and the port told the horns are turned.
    const std::vector<std::string> expected = {Horn("0,6,7,12", 2, 4, 1), Horn("7,2,14,8", 2, 2, 1),
                                               Horn("14,2,21,8", 2, 1, 1),
                                               Horn("21,6,28,12", 2, 3, 1)};
    EXPECT_EQ(Strokes(), expected);
}

TEST_F(eFenceTest, AHorizontalBracketTurnsItsLinesToo) {
    Laid(FenceKind(kDelimNone, kDelimSquare, true), 24);
    // Length 27, depth 4 + 27 + 10 = 41; the closing box runs across 33..39. The outer stroke
    // lies along the bottom, the serifs rise from its ends toward the child.
    const std::vector<std::string> expected = {Start(1), "moveTo 0,38",  "lineTo 0,33",  "endLine",
                                               Start(1), "moveTo 26,38", "lineTo 26,33", "endLine",
                                               Start(2), "moveTo 0,37",  "lineTo 25,37", "endLine"};
    EXPECT_EQ(Strokes(), expected);
}

TEST_F(eFenceTest, ThinStrokesNeverFallBelowOne) {
    // 6 pt: s = 6, every weight rounds to 0 before the minimum.
    DelimiterSettings.verticalWeight = 1;
    DelimiterSettings.horizontalWeight = 1;
    for (bool straight : {false, true}) {
        DelimiterSettings.straightSegments = straight ? 1 : 0;
        for (int32_t type = 1; type <= 10; ++type) {
            for (bool turned : {false, true}) {
                SCOPED_TRACE(type * 4 + turned * 2 + straight);
                Laid(FenceKind(type, type, turned), 6);
                const std::vector<std::string> strokes = Strokes();
                EXPECT_FALSE(strokes.empty());
                for (const std::string& c : strokes) {
                    EXPECT_EQ(c.find("width=0"), std::string::npos) << c;
                    EXPECT_EQ(c.find("width=-"), std::string::npos) << c;
                }
            }
        }
    }
}

TEST_F(eFenceTest, StrokesAreBracketedByTheTemplatesColour) {
    eFence* f = Laid(FenceKind(kDelimBar, kDelimNone), 24);
    f->m_colour = 0x03; // blue
    port->clear();
    DrawExpr(root.get(), port.get(), 0, 0, 0, 0, 0, 0);
    const std::vector<std::string>& calls = port->calls();
    const auto first = std::find(calls.begin(), calls.end(), Start(1));
    ASSERT_EQ(first, calls.end()); // the stroke is not black
    const auto blue = std::find_if(calls.begin(), calls.end(), [](const std::string& c) {
        return c.rfind("startDeluxeLine width=1 color=#0000ffff", 0) == 0;
    });
    ASSERT_NE(blue, calls.end());
    EXPECT_EQ(calls.back(), "setColors #000000ff #ffffffff");
}

// ---- Codes, copies ----

TEST_F(eFenceTest, CodesMakeFencesThatReportTheSameCode) {
    for (int32_t code : {0x1001, 0x1051, 0x1121, 0x1FF1, 0x9001, 0x9051, 0x9201, 0x9FF1}) {
        char name[16];
        std::snprintf(name, sizeof name, "0x%04X", code);
        SCOPED_TRACE(name);
        ExprPtr node = NewTemplateFromCode(code);
        auto* f = dynamic_cast<eFence*>(node.get());
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->childCount(), 1);
        EXPECT_EQ(f->getChild(0), nullptr);
        EXPECT_EQ(f->m_kind, TemplateKindOf(code) + (code >= 0x9000 ? 256 : 0));
        EXPECT_EQ(f->isHorizontal(), code >= 0x9000);
        int32_t back = -1;
        EXPECT_TRUE(f->getTemplateCode(back));
        EXPECT_EQ(back, code);
    }
    EXPECT_EQ(NewTemplateFromCode(0x1052), nullptr);
    EXPECT_EQ(NewTemplateFromCode(0x9050), nullptr);
}

TEST_F(eFenceTest, EachClassReportsItsModifyKind) {
    // The Modify menu looks nodes up by these: 6 fences, 10 integrals, 7 embellishments.
    EXPECT_EQ(NewTemplateFromCode(0x1111)->change(true), 6);
    EXPECT_EQ(NewTemplateFromCode(0x9201)->change(true), 6);
    EXPECT_EQ(NewTemplateFromCode(0x2003)->change(true), 10);
    EXPECT_EQ(NewTemplateFromCode(0x4011)->change(true), 7);
}

TEST_F(eFenceTest, AFenceMadeFromACodeCanBeMeasuredAndDrawnWithItsSlotEmpty) {
    root = NewSimpString(1);
    auto* f = static_cast<eFence*>(root->setChild(0, NewTemplateFromCode(0x1111)));
    Measure(root.get());
    EXPECT_GE(f->width(), 4);
    Strokes();
    EXPECT_EQ(std::string(LoggedInformation()), "");
}

TEST_F(eFenceTest, ACopyIsIndependentAndDestroysItsOwnChild) {
    OwnedNode<eFence> f = NewFence(WordRow("x", 12), FenceKind(kDelimAngle, kDelimBrace, true));
    const eExpr* child = f->getChild(0);
    ExprPtr copy = f->deepCopy();
    auto* c = dynamic_cast<eFence*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->m_kind, f->m_kind);
    ASSERT_NE(c->getChild(0), nullptr);
    EXPECT_NE(c->getChild(0), child);
    EXPECT_EQ(c->getChild(0)->m_parent, c);
    const eExpr* copiedChild = c->getChild(0);
    s_destroyed.clear();
    copy.reset();
    EXPECT_NE(std::find(s_destroyed.begin(), s_destroyed.end(), copiedChild), s_destroyed.end());
    EXPECT_EQ(std::find(s_destroyed.begin(), s_destroyed.end(), child), s_destroyed.end());
    EXPECT_EQ(f->getChild(0), child);
}

} // namespace
} // namespace kvtest
