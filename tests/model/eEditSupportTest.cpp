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
