#include "OverSrcs/ePseudo.h"

#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class ePseudoTest : public ModelTest {
protected:
    // One pseudo-character of 12 points in a row, laid out; returns it.
    ePseudo* LaidOut(unsigned char code, OwnedNode<eSimpString>& row, int32_t points = 12) {
        row = NewSimpString(1);
        FSSRecord style = SizedStyle(points);
        auto* p = static_cast<ePseudo*>(row->setChild(0, NewPseudo(code, &style, 0)));
        Measure(row.get());
        return p;
    }
};

struct WidthCase {
    unsigned char code;
    const char* name;
};

class PseudoWidth : public ePseudoTest, public ::testing::WithParamInterface<WidthCase> {};

TEST_P(PseudoWidth, FollowsTheCodesRule) {
    OwnedNode<eSimpString> row;
    ePseudo* p = LaidOut(GetParam().code, row);
    const ExpectedFont m = ExpectedMetrics(12, 16);
    const int32_t space = ExpectedWidth(" ", 12, 16);
    int32_t expected = m.h;
    switch (GetParam().code) {
    case 's':
        expected = space;
        break;
    case 't':
        expected = std::max(1, (space + 2) / 4);
        break;
    case 'T':
        expected = ExpectedWidth("\t    ", 12, 16);
        break;
    default:
        break;
    }
    EXPECT_EQ(p->width(), expected);
    EXPECT_EQ(p->m_size, m.h);
    EXPECT_EQ(p->m_zone.ref1, m.ascent - m.descent);
    EXPECT_EQ(p->m_zone.ref2, m.ascent);
}

INSTANTIATE_TEST_SUITE_P(Codes, PseudoWidth,
                         ::testing::Values(WidthCase{'s', "space"}, WidthCase{'t', "thin"},
                                           WidthCase{'T', "tab"}, WidthCase{'-', "ellipsis"},
                                           WidthCase{'|', "vertical"}, WidthCase{'?', "unknown"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ePseudoTest, SpacesAndTabsAreInvisibleUnlessStructureOrRulerIsShown) {
    for (unsigned char code : {'s', 't', 'T'}) {
        SCOPED_TRACE(static_cast<char>(code));
        OwnedNode<eSimpString> row;
        LaidOut(code, row);
        port->clear();
        DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 0, 0);
        EXPECT_TRUE(port->calls().empty());
        DrawExpr(row.get(), port.get(), 0, 0, 1, 0, 0, 0);
        EXPECT_FALSE(port->calls().empty());
        EXPECT_EQ(port->protocolErrors(), 0);
        EXPECT_FALSE(port->lineOpen());
    }
}

TEST_F(ePseudoTest, ASpaceShowsAsADotOnTheAxis) {
    OwnedNode<eSimpString> row;
    ePseudo* p = LaidOut('s', row);
    port->clear();
    DrawExpr(row.get(), port.get(), 0, 0, 1, 0, 40, 10);
    // At 16 units per 16 points the dot is 1 unit: resolution / 16 = 1, below 2.
    const std::vector<std::string> expected = {
        "startDeluxeLine width=1 color=#000000ff style=0 mode=1",
        "dotAt " + std::to_string((40 + 40 + p->width() - 1) / 2) + "," +
            std::to_string(10 + p->m_zone.ref1),
        "endLine"};
    EXPECT_EQ(port->calls(), expected);
}

TEST_F(ePseudoTest, AnEllipsisDrawsThreeDotsAcrossItsInnerBox) {
    OwnedNode<eSimpString> row;
    ePseudo* p = LaidOut('-', row, 24);
    port->clear();
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 0, 0);
    const int32_t q = (4 * p->m_size + 16) / 32;
    const int32_t left = q;
    const int32_t right = p->width() - 2 * q;
    const int32_t top = q;
    const int32_t bottom = p->height() - 2 * q;
    const int32_t step = (right - left) / 2;
    const int32_t x = (left + right) / 2 - step;
    const int32_t y = (top + bottom) / 2;
    const std::vector<std::string> expected = {
        "startDeluxeLine width=" + std::to_string(q) + " color=#000000ff style=0 mode=1",
        "dotAt " + std::to_string(x) + "," + std::to_string(y),
        "dotAt " + std::to_string(x + step) + "," + std::to_string(y),
        "dotAt " + std::to_string(x + 2 * step) + "," + std::to_string(y), "endLine"};
    EXPECT_EQ(port->calls(), expected);
}

TEST_F(ePseudoTest, TheHBarIsSetInTimesOutsideASymbolFont) {
    std::vector<std::string> faces;
    static std::vector<std::string>* s_faces = nullptr;
    s_faces = &faces;
    TheModelHooks().fontIndexForDesc = [](const char* face, int32_t points, bool b, bool i,
                                          bool u) {
        s_faces->push_back(face);
        return RecordingFont(face, points, b, i, u);
    };
    OwnedNode<eSimpString> row;
    ePseudo* p = LaidOut('h', row);
    ASSERT_EQ(faces.size(), 2u);
    EXPECT_EQ(faces.back(), "Times");
    EXPECT_EQ(p->width(), ExpectedWidth("h", 12, 16));
    EXPECT_EQ(p->m_zone.bottom, ExpectedMetrics(12, 16).ascent);
    faces.clear();
    FSSRecord symbol = SizedStyle(12);
    SetFSSFontName(symbol, "Symbol");
    OwnedNode<eSimpString> row2 = NewSimpString(1);
    row2->setChild(0, NewPseudo('h', &symbol, 0));
    Measure(row2.get());
    ASSERT_EQ(faces.size(), 1u);
    EXPECT_EQ(faces[0], "Symbol");
}

TEST_F(ePseudoTest, TheScriptEllIsAQuarterOfTheHeightWideAndWiderWhenItalic) {
    const ExpectedFont m = ExpectedMetrics(12, 16);
    OwnedNode<eSimpString> row;
    ePseudo* upright = LaidOut('l', row);
    EXPECT_EQ(upright->width(), (m.ascent + m.descent) / 4);
    OwnedNode<eSimpString> row2 = NewSimpString(1);
    FSSRecord italic = SizedStyle(12, kItalicOn);
    auto* slanted = static_cast<ePseudo*>(row2->setChild(0, NewPseudo('l', &italic, 0)));
    Measure(row2.get());
    EXPECT_EQ(slanted->width(), (m.ascent + m.descent) / 4 + m.ascent / 4);
    port->clear();
    DrawExpr(row2.get(), port.get(), 0, 0, 0, 0, 0, 0);
    // One outline of sixteen points inside one line drawing.
    ASSERT_EQ(port->calls().size(), 18u);
    EXPECT_EQ(port->calls().front().rfind("startDeluxeLine", 0), 0u);
    EXPECT_EQ(port->calls()[1].rfind("moveTo", 0), 0u);
    EXPECT_EQ(port->calls().back(), "endLine");
    EXPECT_EQ(port->protocolErrors(), 0);
}

TEST_F(ePseudoTest, TypedCharactersBecomeTheRightNodes) {
    const FSSRecord style = SizedStyle(12);
    ExprPtr tab = NewCharNode('\t', style, 0x20);
    ExprPtr space = NewCharNode(' ', style, 0);
    ExprPtr x = NewCharNode('x', style, 0);
    EXPECT_TRUE(tab->isTab());
    EXPECT_EQ(tab->m_colour, 0x20);
    EXPECT_TRUE(space->isSpace());
    ASSERT_TRUE(x->isWord());
    EXPECT_EQ(static_cast<eWord*>(x.get())->view(), "x");
}

TEST_F(ePseudoTest, APictureIsScaledToThePortAndDoubledWhenMagnified) {
    auto make = [](int32_t dpi) {
        auto picture = std::make_unique<WinUfo>();
        picture->m_width = 90;
        picture->m_height = 45;
        picture->m_descent = 9;
        picture->m_dpi = dpi;
        return picture;
    };
    // A picture at 72 dpi (resolution 16) on a 16-unit port is not scaled.
    OwnedNode<eSimpString> row = NewSimpString(1);
    auto* same = static_cast<eUFO*>(row->setChild(0, NewUFO(make(72), nullptr, 0)));
    Measure(row.get());
    EXPECT_EQ(ZoneText(same->m_zone), ZoneText(Zone{0, 0, 90, 45, 36 - same->m_size / 4, 36}));
    InvalidateTree(row.get());
    MeasureExprWithOptions(row.get(), port.get(), 0, 1, 0, 0);
    EXPECT_EQ(same->width(), 180);
    EXPECT_EQ(same->m_zone.ref2, 72);
    // A 96 dpi picture (resolution 21) on the same port shrinks by 16/21.
    OwnedNode<eSimpString> row2 = NewSimpString(1);
    auto* small = static_cast<eUFO*>(row2->setChild(0, NewUFO(make(96), nullptr, 0)));
    Measure(row2.get());
    EXPECT_EQ(small->width(), static_cast<int32_t>(90 * (16.0 / 21)));
    EXPECT_EQ(small->height(), static_cast<int32_t>(45 * (16.0 / 21)));
}

// A picture that records where it is drawn.
class TracingPicture : public WinUfo {
public:
    explicit TracingPicture(std::vector<std::string>* log)
        : m_log(log) {}
    void draw(oGraphPort&, int32_t x, int32_t y) override {
        m_log->push_back(std::to_string(x) + "," + std::to_string(y));
    }
    std::vector<std::string>* m_log;
};

TEST_F(ePseudoTest, APictureDrawsItselfAtItsAbsoluteTopLeft) {
    std::vector<std::string> log;
    auto picture = std::make_unique<TracingPicture>(&log);
    picture->m_width = 10;
    picture->m_height = 10;
    picture->m_dpi = 72;
    OwnedNode<eSimpString> row = NewSimpString(2);
    row->setChild(0, NewWord("ab", 0, SizedStyle(12), 0));
    row->setChild(1, NewUFO(std::move(picture), nullptr, 0));
    Measure(row.get());
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 5, 7);
    ASSERT_EQ(log.size(), 1u);
    const eExpr* leaf = row->getChild(1);
    EXPECT_EQ(log[0],
              std::to_string(5 + leaf->m_zone.left) + "," + std::to_string(7 + leaf->m_zone.top));
}

} // namespace
} // namespace kvtest
