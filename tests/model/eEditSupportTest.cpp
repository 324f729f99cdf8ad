#include "OverSrcs/eEditSupport.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"
#include "plat/Testing.h"

#include <gtest/gtest.h>
#include <vector>

namespace kvtest {
namespace {

// A two-slot template whose code the test chooses.
class Coded : public eTemplate {
    KV_NODE_CLONE(Coded)
    bool getTemplateCode(int32_t& code) const override {
        code = m_code;
        return true;
    }
    int32_t m_code = 0;
};

class LinkingTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        plat::testing::reset();
        InstallSelectionHooks();
        ResetCommandState();
        InstallCommandModelHooks();
    }
    void TearDown() override {
        DestroySelectionRecord(record);
        ResetCommandState();
        ResetCommandHooks();
        ModelTest::TearDown();
    }

    static OwnedNode<Coded> Template(int32_t code) {
        OwnedNode<Coded> t = NewTemplateBlock<Coded>(2, 2);
        t->m_code = code;
        t->setChild(0, NewSimpStringWith(NewWord("a", 0, SizedStyle(12), 0)));
        t->setChild(1, NewSimpStringWith(NewWord("b", 0, SizedStyle(12), 0)));
        return t;
    }
    static eString* Slot(eExpr* t, int32_t i) { return static_cast<eString*>(t->getChild(i)); }
    void Use(ExprPtr expression) {
        CreateSelectionRecord(record, std::move(expression), 0, 0, 0, 0);
        ActiveRecord = &record;
        ActiveList = record.m_entries;
    }

    SelectionRecord record;
};

TEST_F(LinkingTest, LikeTemplatesAreLinkedSlotBySlotWithTheFirst) {
    OwnedNode<eSimpString> row = NewSimpString(4);
    eExpr* t1 = row->setChild(0, Template(0x0012));
    eExpr* t2 = row->setChild(1, Template(0x0012));
    eExpr* other = row->setChild(2, Template(0x0022));
    eExpr* t3 = row->setChild(3, Template(0x0012));
    eExpr* top = row.get();
    Use(std::move(row));
    SelectRange(top, 0, 4, 0, 0);
    LinkRowsCommand(1);
    for (int32_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(InSameRing(Slot(t1, i), Slot(t2, i)));
        EXPECT_TRUE(InSameRing(Slot(t1, i), Slot(t3, i)));
        EXPECT_FALSE(Slot(other, i)->isLinked()); // another template code
    }
    EXPECT_FALSE(InSameRing(Slot(t1, 0), Slot(t1, 1)));

    // Unlinking the selection takes every row below it out of its ring.
    UnlinkSelectedRows();
    for (eExpr* t : {t1, t2, t3})
        for (int32_t i = 0; i < 2; ++i)
            EXPECT_FALSE(Slot(t, i)->isLinked());
}

TEST_F(LinkingTest, NothingToLinkIsAnError) {
    OwnedNode<eSimpString> row = NewSimpString(2);
    row->setChild(0, Template(0x0012));
    row->setChild(1, Template(0x0022));
    eExpr* top = row.get();
    Use(std::move(row));
    SelectRange(top, 0, 2, 0, 0);
    EXPECT_EQ(CatchFail([] { LinkRowsCommand(1); }), errNothingToLink);
    ClearSelectionList(record);
    SelectRange(top, 0, 1, 0, 0); // one structure alone
    EXPECT_EQ(CatchFail([] { LinkRowsCommand(1); }), errNothingToLink);
}

TEST_F(LinkingTest, ARingNeverHoldsARowTogetherWithOneInsideIt) {
    // The outer template's first slot holds an inner template of the same code.
    OwnedNode<Coded> outer = Template(0x0012);
    OwnedNode<Coded> inner = Template(0x0012);
    eExpr* in = inner.get();
    Slot(outer.get(), 0)->setChild(0, std::move(inner));
    eExpr* out = outer.get();
    OwnedNode<eSimpString> row = NewSimpStringWith(std::move(outer));
    Use(std::move(row));
    const size_t beepsBefore = plat::testing::beeps().size();

    LinkRows(Slot(out, 0), Slot(in, 0));
    EXPECT_FALSE(ValidateRowLinks(Slot(in, 0)));
    EXPECT_FALSE(Slot(in, 0)->isLinked());
    EXPECT_FALSE(Slot(out, 0)->isLinked());
    EXPECT_EQ(plat::testing::beeps().size(), beepsBefore + 1);

    // Side by side rows are fine.
    LinkRows(Slot(out, 1), Slot(in, 1));
    EXPECT_TRUE(ValidateRowLinks(Slot(in, 1)));
    EXPECT_TRUE(InSameRing(Slot(out, 1), Slot(in, 1)));
    EXPECT_EQ(plat::testing::beeps().size(), beepsBefore + 1);
}

} // namespace
} // namespace kvtest

namespace kvtest {
namespace {

// Glyph points are 64ths of the node's rectangle less the line width; a slanted glyph narrows by
// a quarter of the height and leans its top right. The expected points are worked out by hand
// for the rectangle (10, 20)-(74, 84) and a line width of 2.
TEST_F(ModelTest, GlyphPolylinesMapTheirPointsIntoTheRectangle) {
    static constexpr GlyphPoint kPoints[3] = {{0, 0}, {64, 64}, {32, 16}};
    DrawState.drawPort = port.get();
    DrawState.absZone = Zone{10, 20, 74, 84, 0, 0};
    port->clear();
    DrawGlyphPolyline(kPoints, 3, 2, false);
    // width = height = 62: x = 10 + (px * 62 + 32) / 64, y = 20 + (py * 62 + 32) / 64.
    ASSERT_EQ(port->calls().size(), 5u);
    EXPECT_EQ(port->calls()[1], "moveTo 10,20");
    EXPECT_EQ(port->calls()[2], "lineTo 72,82");
    EXPECT_EQ(port->calls()[3], "lineTo 41,36");
    EXPECT_EQ(port->protocolErrors(), 0);

    port->clear();
    DrawGlyphPolyline(kPoints, 3, 2, true);
    // width = 74 - 16 - 2 - 10 = 46; the slant adds (64 - py) * 62 / 256.
    ASSERT_EQ(port->calls().size(), 5u);
    EXPECT_EQ(port->calls()[1], "moveTo 25,20");
    EXPECT_EQ(port->calls()[2], "lineTo 56,82");
    EXPECT_EQ(port->calls()[3], "lineTo 44,36");
    DrawState.drawPort = nullptr;
}

// Measured by ink, a box reaching left of the origin is moved to 0 and keeps its whole width.
TEST_F(ModelTest, GlyphTextBoxesStartAtZero) {
    FontMetricWords metrics;
    const int32_t font = RecordingFontIndexForDesc("Times", 12, false, false, false);
    port->fontMetrics(font, metrics);
    Zone plain;
    MeasureGlyphText(font, "h", port.get(), false, metrics, plain);
    EXPECT_EQ(plain.right, port->stringWidth("h", font));
    EXPECT_EQ(plain.bottom, metrics.ascent);
    Zone ink;
    port->measureString("h", font, ink);
    Zone byInk;
    MeasureGlyphText(font, "h", port.get(), true, metrics, byInk);
    EXPECT_EQ(byInk.left, 0);
    EXPECT_EQ(byInk.right - byInk.left, ink.right - std::min(ink.left, 0));
}

} // namespace
} // namespace kvtest
