// Ruled rows laid out through the recording port at 16 units per 16 points, so one point is one
// device unit and a 12-point 'a' is 6 units wide: tab stops, justification, vertical alignment,
// line breaking, the highlight and hit-testing checked against the ruler arithmetic.
#include "OverSrcs/eDxStr.h"

#include "OverSrcs/eBox.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {
namespace {

// One element of a test row: a word, or "\t" for a tab and " " for a space pseudo-character.
struct El {
    std::string text;
    int32_t points = 12;
};

class eDxStrTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        MeasurementUnitSetting = 0;
    }
    void TearDown() override {
        MeasurementUnitSetting = 0;
        WholeRowClickOption = 0;
        ModelTest::TearDown();
    }

    static ExprPtr Word(const char* text) { return NewWord(text, 0, SizedStyle(12), 0); }
    static ExprPtr Element(const El& el) {
        const FSSRecord style = SizedStyle(el.points);
        if (el.text == "\t")
            return NewPseudo(kPseudoTab, &style, 0);
        if (el.text == " ")
            return NewPseudo(kPseudoSpace, &style, 0);
        return NewWord(el.text, 0, style, 0);
    }
    static OwnedNode<eDxString> Row(const std::vector<El>& els) {
        OwnedNode<eDxString> row = NewDxString(static_cast<int32_t>(els.size()), nullptr);
        for (size_t i = 0; i < els.size(); ++i)
            row->setChild(static_cast<int32_t>(i), Element(els[i]));
        return row;
    }
    // Only one stop, the others empty.
    static void OneStop(eDxString* row, int32_t kind, int32_t points) {
        for (uint16_t& s : row->m_tabStops)
            s = kTabEmptyWord;
        row->m_tabStops[0] = MakeTabStop(kind, points);
    }
    static int32_t W(const std::string& text) { return ExpectedWidth(text, 12, 16); }
    static const eExpr* At(const eDxString* row, int32_t i) { return row->getChild(i); }
};

TEST_F(eDxStrTest, NewRowsHaveInchStopsOrCentimetreStops) {
    struct Case {
        int32_t unit;
        std::vector<int32_t> positions;
    };
    // An inch is 72 points; 2.5 cm is 70.87 points, taken to the nearest point.
    const std::vector<Case> cases = {
        {0, {72, 144, 216, 288, 360, 432}},
        {1, {71, 142, 213, 283, 354, 425}},
        {3, {72, 144, 216, 288, 360, 432}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        MeasurementUnitSetting = c.unit;
        OwnedNode<eDxString> row = NewDxString(0, nullptr);
        EXPECT_EQ(row->m_width, 300);
        EXPECT_EQ(row->m_justification, kDxJustifyLeft);
        EXPECT_EQ(row->m_verticalAlign, kDxAlignBaseline);
        EXPECT_FALSE(row->isLinked());
        for (int32_t i = 0; i < kTabStopCount; ++i) {
            SCOPED_TRACE(i);
            if (i < 6) {
                EXPECT_EQ(TabKindOf(row->m_tabStops[i]), kTabLeft);
                EXPECT_EQ(TabPositionOf(row->m_tabStops[i]), c.positions[static_cast<size_t>(i)]);
            } else {
                EXPECT_TRUE(TabIsEmpty(row->m_tabStops[i]));
            }
        }
    }
}

TEST_F(eDxStrTest, AModelGivesItsRulerAndItsRing) {
    OwnedNode<eDxString> model = NewDxString(0, nullptr);
    model->m_width = 123;
    model->m_justification = kDxJustifyRight;
    model->m_verticalAlign = kDxAlignTop;
    model->m_tabStops[0] = MakeTabStop(kTabDecimal, 50);
    model->m_colour = 0xE0;
    OwnedNode<eDxString> row = NewDxString(2, model.get());
    EXPECT_EQ(row->m_width, 123);
    EXPECT_EQ(row->m_justification, kDxJustifyRight);
    EXPECT_EQ(row->m_verticalAlign, kDxAlignTop);
    EXPECT_EQ(row->m_tabStops[0], MakeTabStop(kTabDecimal, 50));
    EXPECT_EQ(row->m_colour, 0xE0);
    EXPECT_TRUE(InSameRing(model.get(), row.get()));
    EXPECT_TRUE(row->isDxString());
}

TEST_F(eDxStrTest, TheElementAfterATabAlignsOnItsStop) {
    struct Case {
        const char* name;
        int32_t kind;
        std::string after; // the word after the tab
        // Where the stop must fall within that word, from its left edge.
        int32_t expectedOffset;
    };
    const std::vector<Case> cases = {
        {"left", kTabLeft, "cd", 0},
        {"centre", kTabCentre, "cdef", W("cdef") / 2},
        {"right", kTabRight, "cd", W("cd")},
        {"decimal", kTabDecimal, "3.14", W("3")},
        {"decimal, no period", kTabDecimal, "314", W("314")},
        {"relation prefers =", kTabRelation, "a<b=c", W("a<b")},
        {"relation <", kTabRelation, "a<b", W("a")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedNode<eDxString> row = Row({{"ab"}, {"\t"}, {c.after}});
        OneStop(row.get(), c.kind, 144);
        Measure(row.get());
        const eExpr* tab = At(row.get(), 1);
        const eExpr* word = At(row.get(), 2);
        EXPECT_EQ(word->m_zone.left + c.expectedOffset, 144);
        // The tab fills the gap exactly.
        EXPECT_EQ(tab->m_zone.left, W("ab"));
        EXPECT_EQ(tab->m_zone.right, word->m_zone.left);
        ASSERT_NE(row->lines(), nullptr);
        EXPECT_EQ(row->lines()->lineCount(), 1);
    }
}

TEST_F(eDxStrTest, StopsFollowTheMagnifier) {
    OwnedNode<eDxString> row = Row({{"ab"}, {"\t"}, {"cd"}});
    OneStop(row.get(), kTabLeft, 100);
    MeasureExprWithOptions(row.get(), port.get(), 0, 1, 0, 0);
    EXPECT_EQ(At(row.get(), 2)->m_zone.left, 200);
}

TEST_F(eDxStrTest, AnElementWiderThanItsTabOverrunsTheStopInsteadOfOverlapping) {
    // A right stop at 10 points cannot hold "abc" after "ab": the tab shrinks to nothing and the
    // word simply follows.
    OwnedNode<eDxString> row = Row({{"ab"}, {"\t"}, {"abc"}});
    OneStop(row.get(), kTabRight, 20);
    Measure(row.get());
    EXPECT_EQ(At(row.get(), 1)->width(), 0);
    EXPECT_EQ(At(row.get(), 2)->m_zone.left, W("ab"));
}

TEST_F(eDxStrTest, ATabWithoutAStopEndsTheLineAndStartsTheNext) {
    OwnedNode<eDxString> row = Row({{"ab"}, {"\t"}, {"cd"}, {"\t"}, {"ef"}});
    for (uint16_t& s : row->m_tabStops)
        s = kTabEmptyWord;
    Measure(row.get());
    const eDxStringInfo* lines = row->lines();
    ASSERT_NE(lines, nullptr);
    ASSERT_EQ(lines->lineCount(), 3);
    EXPECT_EQ(lines->line(0).first, 0);
    EXPECT_EQ(lines->line(1).first, 1);
    EXPECT_EQ(lines->line(2).first, 3);
    EXPECT_EQ(lines->line(3).first, row->childCount() + 1);
    EXPECT_EQ(lines->line(3).top, row->height());
    for (int32_t i : {1, 3}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(At(row.get(), i)->width(), 0);
        EXPECT_EQ(At(row.get(), i)->m_zone.left, 0);
    }
    EXPECT_EQ(At(row.get(), 2)->m_zone.left, 0);
    EXPECT_EQ(At(row.get(), 4)->m_zone.left, 0);
    EXPECT_GT(At(row.get(), 2)->m_zone.top, At(row.get(), 0)->m_zone.top);

    // A stop beyond the line length does the same. Alone at the start of its line the tab still
    // reaches its stop, and the word after it, now beyond the line length, goes on the next line.
    OwnedNode<eDxString> narrow = Row({{"ab"}, {"\t"}, {"cd"}});
    OneStop(narrow.get(), kTabLeft, 144);
    narrow->m_width = 100;
    Measure(narrow.get());
    ASSERT_EQ(narrow->lines()->lineCount(), 3);
    EXPECT_EQ(narrow->lines()->line(1).first, 1);
    EXPECT_EQ(narrow->lines()->line(2).first, 2);
    EXPECT_EQ(At(narrow.get(), 1)->width(), 144);
    EXPECT_EQ(At(narrow.get(), 2)->m_zone.left, 0);

    // Rows of many such lines outgrow the line table's first room (elements / 8 + 3 lines): every
    // line keeps its record, once the room has grown from the share of the row laid out.
    for (int32_t lineCount : {1, 4, 5, 6, 60, 2000}) {
        SCOPED_TRACE(lineCount);
        std::vector<El> els{{"w"}};
        for (int32_t k = 1; k < lineCount; ++k) {
            els.push_back({"\t"});
            els.push_back({"w"});
        }
        OwnedNode<eDxString> many = Row(els);
        for (uint16_t& s : many->m_tabStops)
            s = kTabEmptyWord;
        Measure(many.get());
        const eDxStringInfo* table = many->lines();
        ASSERT_EQ(table->lineCount(), lineCount);
        EXPECT_GE(table->capacity(), lineCount);
        // No more room than the row has elements (and the first room's three spare lines).
        EXPECT_LE(table->capacity(), many->childCount() + 3);
        for (int32_t k = 1; k < lineCount; ++k) {
            ASSERT_EQ(table->line(k).first, 2 * k - 1) << k;
            ASSERT_GT(table->line(k).top, table->line(k - 1).top) << k;
        }
        EXPECT_EQ(table->line(lineCount).first, many->childCount() + 1);
        EXPECT_EQ(table->line(lineCount).top, many->height());
    }
}

TEST_F(eDxStrTest, LinesBreakAtTheWidthKeepingSpacesAndPunctuation) {
    // Four-letter words are 24 units wide; a space pseudo-character has its own width s.
    OwnedNode<eDxString> row =
        Row({{"aaaa"}, {" "}, {"bbbb"}, {" "}, {"cccc"}, {" "}, {"dddd"}, {" "}});
    Measure(row.get());
    const int32_t s = At(row.get(), 1)->width();
    ASSERT_GT(s, 0);
    ASSERT_EQ(W("aaaa"), 24);

    // Three words and their spaces fit in 72 + 2s + 1; the fourth word does not.
    row->m_width = 72 + 2 * s + 1;
    row->invalidate();
    Measure(row.get());
    const eDxStringInfo* lines = row->lines();
    ASSERT_EQ(lines->lineCount(), 2);
    // The space after "cccc" stays on the first line; "dddd" opens the second at the left edge.
    EXPECT_EQ(lines->line(1).first, 6);
    EXPECT_EQ(At(row.get(), 6)->m_zone.left, 0);
    EXPECT_EQ(At(row.get(), 6)->m_zone.top - At(row.get(), 0)->m_zone.top, lines->line(1).top);
    EXPECT_EQ(At(row.get(), 4)->m_zone.left, 48 + 2 * s);
    // More than one line: as wide as the line length; the ascent is the top of line 1.
    EXPECT_EQ(row->width(), 72 + 2 * s + 1);
    EXPECT_EQ(row->m_zone.ref1, lines->line(1).top);

    // Trailing spaces do not count: the whole row fits when only the spaces overflow.
    row->m_width = 96 + 3 * s;
    row->invalidate();
    Measure(row.get());
    EXPECT_EQ(row->lines()->lineCount(), 1);

    // Punctuation that does not fit stays with the word before it.
    OwnedNode<eDxString> comma = Row({{"aaaa"}, {"bbbb"}, {"cccc"}, {","}});
    comma->m_width = 72 + W(",") - 1;
    Measure(comma.get());
    EXPECT_EQ(comma->lines()->lineCount(), 1);
    EXPECT_EQ(At(comma.get(), 3)->m_zone.left, 72);
}

TEST_F(eDxStrTest, AnElementWiderThanTheLineStandsAloneOnIt) {
    OwnedNode<eDxString> row = Row({{"aaaa"}, {"bbbb"}});
    row->m_width = 10;
    Measure(row.get());
    ASSERT_EQ(row->lines()->lineCount(), 2);
    for (int32_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(row->lines()->line(i).first, i);
        EXPECT_EQ(At(row.get(), i)->m_zone.left, 0);
    }
    // The row is as wide as its widest line, not the narrower line length.
    EXPECT_EQ(row->width(), 24);
}

TEST_F(eDxStrTest, JustificationPlacesTheLineWithinTheWidth) {
    for (uint8_t j : {kDxJustifyLeft, kDxJustifyCentre, kDxJustifyRight}) {
        SCOPED_TRACE(static_cast<int>(j));
        OwnedNode<eDxString> row = Row({{"ab"}, {"cd"}});
        row->m_width = 100;
        row->m_justification = j;
        Measure(row.get());
        const int32_t x = W("ab") + W("cd");
        EXPECT_EQ(At(row.get(), 0)->m_zone.left, (100 - x) * j / 2);
        EXPECT_EQ(At(row.get(), 1)->m_zone.left, (100 - x) * j / 2 + W("ab"));
        // A left-justified root row is as wide as its text; the others span the width.
        EXPECT_EQ(row->width(), j == kDxJustifyLeft ? x : 100);
    }
}

TEST_F(eDxStrTest, CentredRowsIgnoreTheirStops) {
    OwnedNode<eDxString> row = Row({{"ab"}, {"\t"}, {"cd"}});
    OneStop(row.get(), kTabLeft, 144);
    row->m_justification = kDxJustifyCentre;
    Measure(row.get());
    // The stop is still used for the tab's width: the line is laid out as with left
    // justification and then centred as a whole within the width.
    const int32_t x = 144 + W("cd");
    EXPECT_EQ(At(row.get(), 0)->m_zone.left, (300 - x) / 2);
}

TEST_F(eDxStrTest, VerticalAlignmentLinesUpTheChosenEdge) {
    struct Case {
        uint8_t align;
        const char* name;
    };
    for (const Case& c : {Case{kDxAlignTop, "tops"}, Case{kDxAlignMiddle, "middles"},
                          Case{kDxAlignBottom, "bottoms"}, Case{kDxAlignBaseline, "baselines"},
                          Case{kDxAlignLastBaseline, "last baselines"}}) {
        SCOPED_TRACE(c.name);
        OwnedNode<eDxString> row = Row({{"ab", 12}, {"CD", 24}});
        row->m_verticalAlign = c.align;
        Measure(row.get());
        const Zone& a = At(row.get(), 0)->m_zone;
        const Zone& b = At(row.get(), 1)->m_zone;
        switch (c.align) {
        case kDxAlignTop:
            EXPECT_EQ(a.top, b.top);
            break;
        case kDxAlignMiddle:
            EXPECT_EQ(a.top + a.height() / 2, b.top + b.height() / 2);
            break;
        case kDxAlignBottom:
            EXPECT_EQ(a.bottom, b.bottom);
            break;
        case kDxAlignBaseline:
            EXPECT_EQ(a.top + a.ref1, b.top + b.ref1);
            // One line: the row's axis is its first element's.
            EXPECT_EQ(row->m_zone.ref1, a.top + a.ref1);
            break;
        default:
            EXPECT_EQ(a.top + a.ref2, b.top + b.ref2);
            break;
        }
        // The line is at least v = S / 8 + S high (S the larger size); with top alignment the
        // room below the tops is made up to v and a little room is kept above them.
        const int32_t S = At(row.get(), 1)->m_size;
        const int32_t v = S / 8 + S;
        if (c.align == kDxAlignTop) {
            EXPECT_EQ(row->height(), v / 8 + std::max(v, b.height()));
        }
        // (The quarters of v for last baselines may lose a unit to truncation.)
        EXPECT_GE(row->height(), std::max(v - 1, b.height()));
        EXPECT_EQ(row->m_zone.ref2, std::max(a.top + a.ref2, b.top + b.ref2));
    }
}

TEST_F(eDxStrTest, RulerModeReservesTheBandUnlessTheRulerIsInherited) {
    OwnedNode<eDxString> row = Row({{"ab"}});
    MeasureExprWithOptions(row.get(), port.get(), 0, 0, 1, 0);
    // 2 × res above the first line; a root row spans its line length in ruler mode.
    EXPECT_EQ(At(row.get(), 0)->m_zone.top, 32);
    EXPECT_EQ(row->lines()->line(0).top, 32);
    EXPECT_EQ(row->width(), 300);

    // An empty row: h = (res × size + 8) / 16 = 12 at 12 points, plus 3 and the band.
    OwnedNode<eDxString> empty = NewDxString(0, nullptr);
    MeasureExprWithOptions(empty.get(), port.get(), 0, 0, 1, 0);
    EXPECT_EQ(empty->height(), 12 + 3 + 32);
    MeasureExprWithOptions(empty.get(), port.get(), 0, 0, 0, 0);
    empty->invalidate();
    MeasureExprWithOptions(empty.get(), port.get(), 0, 0, 0, 0);
    EXPECT_EQ(empty->height(), 12);
    EXPECT_EQ(empty->m_zone.ref1, 6);
    EXPECT_EQ(empty->m_zone.ref2, 6 + 3);
}

TEST_F(eDxStrTest, AFollowingRowTakesTheEnclosingRuler) {
    OwnedNode<eDxString> inner = Row({{"ab"}, {"\t"}, {"cd"}});
    inner->m_followRuler = 1;
    eDxString* in = inner.get();
    OwnedNode<eDxString> outer = NewDxString(1, nullptr);
    OneStop(outer.get(), kTabRight, 100);
    outer->m_width = 250;
    outer->setChild(0, NewBox(std::move(inner)));
    Measure(outer.get());
    EXPECT_EQ(in->m_rulerInherited, 1);
    EXPECT_EQ(in->m_width, 250);
    EXPECT_EQ(in->m_tabStops[0], MakeTabStop(kTabRight, 100));
    EXPECT_EQ(in->getChild(2)->m_zone.right, 100);

    // In ruler mode the inner row shows no band of its own.
    InvalidateTree(outer.get());
    MeasureExprWithOptions(outer.get(), port.get(), 0, 0, 1, 0);
    EXPECT_EQ(in->lines()->line(0).top, 0);
    EXPECT_EQ(outer->lines()->line(0).top, 32);

    // Without the flag the inner row keeps its own ruler.
    in->m_followRuler = 0;
    in->m_width = 300;
    in->m_tabStops[0] = MakeTabStop(kTabLeft, 72);
    InvalidateTree(outer.get());
    Measure(outer.get());
    EXPECT_EQ(in->m_rulerInherited, 0);
    EXPECT_EQ(in->getChild(2)->m_zone.left, 72);
}

TEST_F(eDxStrTest, HighlightsFollowTheLines) {
    OwnedNode<eDxString> row = Row({{"aaaa"}, {"bbbb"}, {"cccc"}});
    row->m_width = 50; // two words a line
    Measure(row.get());
    const eDxStringInfo* lines = row->lines();
    ASSERT_EQ(lines->lineCount(), 2);
    const Zone origin{100, 200, 100 + row->width(), 200 + row->height(), 0, 0};

    // Within one line: from the left edge of the first selected element to that of the next.
    DrawState.absZone = origin;
    std::fill(DrawState.highlightBands, DrawState.highlightBands + 4, 0);
    row->getHighlightArea({row.get(), 0, 1, 0, 1});
    EXPECT_EQ(DrawState.absZone.left, 100);
    EXPECT_EQ(DrawState.absZone.right, 124);
    EXPECT_EQ(DrawState.absZone.top, 200);
    EXPECT_EQ(DrawState.absZone.bottom, 200 + lines->line(1).top);
    EXPECT_EQ(DrawState.highlightBands[1], 0);

    // An end at the first element of a line belongs to that line: nothing of it is highlighted.
    DrawState.absZone = origin;
    row->getHighlightArea({row.get(), 1, 2, 0, 1});
    EXPECT_EQ(DrawState.absZone.bottom, 200 + row->height());
    EXPECT_EQ(DrawState.highlightBands[0], 24);
    EXPECT_EQ(DrawState.highlightBands[2], row->width());

    // Across lines: the whole height, less the part of the first line left of the start and the
    // part of the last line right of the end.
    DrawState.absZone = origin;
    row->getHighlightArea({row.get(), 1, 3, 0, 1});
    EXPECT_EQ(DrawState.absZone.top, 200);
    EXPECT_EQ(DrawState.absZone.bottom, 200 + row->height());
    EXPECT_EQ(DrawState.highlightBands[0], 24);
    EXPECT_EQ(DrawState.highlightBands[1], lines->line(1).top);
    EXPECT_EQ(DrawState.highlightBands[2], row->width() - 24);
    EXPECT_EQ(DrawState.highlightBands[3], row->height() - lines->line(1).top);
}

TEST_F(eDxStrTest, AnEmptyRowShowsItsCaretOnItsJustifiedSide) {
    for (uint8_t j : {kDxJustifyLeft, kDxJustifyCentre, kDxJustifyRight}) {
        SCOPED_TRACE(static_cast<int>(j));
        OwnedNode<eDxString> row = NewDxString(0, nullptr);
        row->m_justification = j;
        row->m_width = 100;
        Measure(row.get());
        EXPECT_EQ(row->width(), j == kDxJustifyLeft ? 0 : 100);
        DrawState.absZone = Zone{10, 20, 10 + row->width(), 20 + row->height(), 0, 0};
        row->getHighlightArea({row.get(), 0, 0, 0, 1});
        EXPECT_EQ(DrawState.absZone.left, 10 + row->width() * j / 2);
        EXPECT_EQ(DrawState.absZone.right, DrawState.absZone.left);
    }
}

TEST_F(eDxStrTest, PressesBesideTheElementsSelectByLine) {
    // Two lines in a row 60 wide: "aaaa bbbb" (48) and "cccc" (24).
    OwnedNode<eDxString> row = Row({{"aaaa"}, {"bbbb"}, {"cccc"}});
    row->m_width = 60;
    Measure(row.get());
    ASSERT_EQ(row->lines()->lineCount(), 2);
    ASSERT_EQ(row->width(), 60);
    const int32_t line1 = row->lines()->line(1).top;
    DrawState.absZone = Zone{0, 0, row->width(), row->height(), 0, 0};
    struct Case {
        const char* name;
        oPoint anchor;
        oPoint point;
        int32_t start;
        int32_t end;
    };
    const std::vector<Case> cases = {
        // Right of "bbbb" on the first line: a caret at the end of that line.
        {"end of first line", {55, 2}, {55, 2}, 2, 2},
        // Right of the last element on the last line: the end of the row.
        {"end of row", {40, line1 + 2}, {40, line1 + 2}, 3, 3},
        // A drag between the two: ordered.
        {"drag across lines", {40, line1 + 2}, {55, 2}, 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SelectionEntry entry;
        ASSERT_TRUE(row->hitClick(c.anchor, c.point, entry));
        EXPECT_EQ(entry, (SelectionEntry{row.get(), c.start, c.end, 0, 1}));
    }
    // A press on an element is the element's.
    SelectionEntry inWord;
    ASSERT_TRUE(row->hitClick({5, 2}, {5, 2}, inWord));
    EXPECT_EQ(inWord.node, row->getChild(0));
    // The second press of a double click selects the whole row.
    WholeRowClickOption = 1;
    SelectionEntry whole;
    DrawState.absZone = Zone{0, 0, row->width(), row->height(), 0, 0};
    ASSERT_TRUE(row->hitClick({55, 2}, {55, 2}, whole));
    EXPECT_EQ(whole, (SelectionEntry{row.get(), 0, 3, 0, 1}));
}

TEST_F(eDxStrTest, EditsKeepTheRulerAndCopiesLeaveTheRing) {
    OwnedNode<eDxString> row = Row({{"ab"}, {"cd"}, {"ef"}});
    row->m_width = 77;
    row->m_tabStops[2] = MakeTabStop(kTabCentre, 99);
    OwnedNode<eDxString> partner = NewDxString(0, row.get());
    ASSERT_TRUE(InSameRing(row.get(), partner.get()));

    const OwnedNode<eDxString> copy(
        static_cast<eDxString*>(row->copyOut({row.get(), 1, 3, 0, 1}).release()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->childCount(), 2);
    EXPECT_EQ(copy->m_width, 77);
    EXPECT_FALSE(copy->isLinked());
    EXPECT_EQ(row->copyOut({row.get(), 2, 2, 0, 1}), nullptr);

    // A detached row is replaced by the resized one, which keeps the ring and the ruler.
    eDxString* old = row.release();
    eString* resized = old->resizeRange(1, 2, 2);
    OwnedNode<eDxString> grown(static_cast<eDxString*>(resized));
    ASSERT_TRUE(grown->isDxString());
    EXPECT_EQ(grown->childCount(), 4);
    EXPECT_EQ(grown->m_width, 77);
    EXPECT_EQ(grown->m_tabStops[2], MakeTabStop(kTabCentre, 99));
    EXPECT_TRUE(InSameRing(grown.get(), partner.get()));
    EXPECT_EQ(grown->getChild(1), nullptr);
    EXPECT_EQ(grown->getChild(2), nullptr);
    ASSERT_NE(grown->getChild(3), nullptr);
    EXPECT_EQ(static_cast<eWord*>(grown->getChild(3))->view(), "ef");
    EXPECT_EQ(grown->getChild(3)->m_index, 3);
}

TEST_F(eDxStrTest, ARuledRowPutIntoAPlainRowMakesItRuled) {
    OwnedNode<eSimpString> plain = NewSimpString(2);
    plain->setChild(0, Word("ab"));
    plain->setChild(1, Word("ef"));
    OwnedNode<eSimpString> partner = NewSimpString(0);
    LinkRows(plain.get(), partner.get());
    plain->m_colour = 0x1C;
    eSimpString* old = plain.get();
    OwnedNode<eBox> box = NewBox(std::move(plain));

    OwnedNode<eDxString> inserted = Row({{"cd"}});
    inserted->m_width = 77;
    inserted->m_justification = kDxJustifyRight;
    eString* result = old->replaceRange(1, 1, std::move(inserted));
    ASSERT_NE(result, nullptr);
    ASSERT_TRUE(result->isDxString());
    EXPECT_EQ(box->getChild(0), result);
    const auto* ruled = static_cast<const eDxString*>(result);
    EXPECT_EQ(ruled->m_width, 77);
    EXPECT_EQ(ruled->m_justification, kDxJustifyRight);
    EXPECT_EQ(ruled->m_colour, 0x1C); // the row's own colour, not the inserted row's
    ASSERT_EQ(result->childCount(), 3);
    const char* texts[] = {"ab", "cd", "ef"};
    for (int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(static_cast<eWord*>(result->getChild(i))->view(), texts[i]);
        EXPECT_EQ(result->getChild(i)->m_parent, result);
    }
    // The new row keeps the plain row's place in its alignment ring.
    EXPECT_TRUE(InSameRing(result, partner.get()));
}

TEST_F(eDxStrTest, RescalingScalesTheLineTops) {
    OwnedNode<eDxString> row = Row({{"aaaa"}, {"bbbb"}});
    row->m_width = 10;
    Measure(row.get());
    const int32_t top1 = row->lines()->line(1).top;
    const int32_t bottom = row->lines()->line(2).top;
    MagnificationNum = 2;
    MagnificationDen = 1;
    RescaleExpr(row.get());
    EXPECT_EQ(row->lines()->line(1).top, 2 * top1);
    EXPECT_EQ(row->lines()->line(2).top, 2 * bottom);
}

} // namespace
} // namespace kvtest
