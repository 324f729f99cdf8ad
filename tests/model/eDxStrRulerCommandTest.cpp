// The ruler command: ruler view mode is turned on, the selection is widened until a ruled row
// holds it, and Modify (0x6153) runs there; a plain expression is selected whole for Modify.
#include "BuiltinResources.h"
#include "ExprSrcs/Change.h"
#include "OverPc/Presourc.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/EditModelFixture.h"
#include "model/ModelFixture.h"
#include "plat/Resources.h"
#include "plat/Testing.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {
namespace {

// A ruled row that records the Modify commands it receives instead of opening a dialog.
class RecordingDx : public eDxString {
    KV_NODE_CLONE(RecordingDx)
    int32_t change(bool query) override {
        if (query)
            return 1;
        s_modified.push_back(this);
        if (EntryBeingActedUpon != nullptr)
            s_entries.push_back(*EntryBeingActedUpon);
        return 0;
    }
    static inline std::vector<eExpr*> s_modified;
    static inline std::vector<SelectionEntry> s_entries;
};

int g_rowDialogs = 0;

class RulerCommandTest : public EditModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        plat::testing::reset();
        // The program's own string table, for the message of a missing selection.
        plat::RegisterBuiltinResources(BuiltinResourceTables());
        FreeStringCache();
        ResetModifyDialogLaunchers();
        installCommands();
        TheCommandHooks().refreshActivePane = [] {};
        // A plain row's Modify dialog is answered Cancel, and counted.
        g_rowDialogs = 0;
        TheModifyDialogLaunchers().runEditStringDlg = [](StringDlgRecord*) {
            ++g_rowDialogs;
            return 0;
        };
        RecordingDx::s_modified.clear();
        RecordingDx::s_entries.clear();
    }
    void TearDown() override {
        EditModelTest::TearDown();
        ResetModifyDialogLaunchers();
    }

    static ExprPtr Word(const char* text) { return NewWord(text, 0, SizedStyle(12), 0); }
    void Use(ExprPtr expression) {
        useExpression(std::move(expression));
        Measure(m_record.m_root);
    }
    void Select(eExpr* node, int32_t start, int32_t end) {
        ClearSelectionList(m_record);
        SelectRange(node, start, end, 0, 0);
    }
    eExpr* Top() const { return m_record.m_root->getChild(0); }
};

TEST_F(RulerCommandTest, ACaretInARuledRowModifiesThatRow) {
    OwnedNode<RecordingDx> row = NewDxStringOf<RecordingDx>(2, nullptr);
    row->setChild(0, Word("ab"));
    row->setChild(1, Word("cd"));
    eExpr* ruled = row.get();
    Use(std::move(row));
    Select(ruled, 1, 1);
    ASSERT_EQ(ViewModes[kOptionRuler], 0);

    RulerCommand();
    EXPECT_EQ(ViewModes[kOptionRuler], 1);
    ASSERT_EQ(RecordingDx::s_modified.size(), 1u);
    EXPECT_EQ(RecordingDx::s_modified[0], ruled);
    EXPECT_EQ(RecordingDx::s_entries[0].node, ruled);
    EXPECT_TRUE(plat::testing::messageBoxes().empty());

    // A second run leaves ruler mode on (the command never turns it off).
    RulerCommand();
    EXPECT_EQ(ViewModes[kOptionRuler], 1);
    EXPECT_EQ(RecordingDx::s_modified.size(), 2u);
}

TEST_F(RulerCommandTest, ASelectionInsideARuledRowWidensToIt) {
    // A ruled row holding a word and a box; the caret sits in the box's own (plain) row.
    OwnedNode<eSimpString> inner = NewSimpString(1);
    inner->setChild(0, Word("y"));
    eExpr* innerRow = inner.get();
    OwnedNode<RecordingDx> row = NewDxStringOf<RecordingDx>(2, nullptr);
    row->setChild(0, Word("ab"));
    row->setChild(1, NewBox(std::move(inner)));
    eExpr* ruled = row.get();
    Use(std::move(row));
    Select(innerRow, 1, 1);

    RulerCommand();
    EXPECT_EQ(ViewModes[kOptionRuler], 1);
    ASSERT_EQ(RecordingDx::s_modified.size(), 1u);
    EXPECT_EQ(RecordingDx::s_modified[0], ruled);
    // Modify ran on the selection widened into the ruled row, and it is still selected there.
    ASSERT_EQ(RecordingDx::s_entries.size(), 1u);
    EXPECT_EQ(RecordingDx::s_entries[0].node, ruled);
    ASSERT_GT(m_record.count(), 0);
    EXPECT_EQ(m_record.entry(0).node, ruled);
    EXPECT_EQ(g_rowDialogs, 0);
}

TEST_F(RulerCommandTest, APlainExpressionGetsAThinSpaceAndIsModifiedWhole) {
    OwnedNode<eSimpString> row = NewSimpString(2);
    row->setChild(0, Word("ab"));
    row->setChild(1, Word("cd"));
    eExpr* top = row.get();
    Use(std::move(row));
    Select(top, 1, 1);

    RulerCommand();
    EXPECT_EQ(ViewModes[kOptionRuler], 1);
    // The expression ends with a thin space now, and nothing was lost.
    eExpr* now = Top();
    ASSERT_EQ(now->childCount(), 3);
    EXPECT_EQ(static_cast<eWord*>(now->getChild(0))->view(), "ab");
    EXPECT_EQ(static_cast<eWord*>(now->getChild(1))->view(), "cd");
    const auto* thin = dynamic_cast<const ePseudo*>(now->getChild(2));
    ASSERT_NE(thin, nullptr);
    EXPECT_EQ(thin->m_code, kPseudoThinSpace);
    // Modify ran on the whole expression: the plain row's dialog was asked once.
    EXPECT_EQ(g_rowDialogs, 1);
    EXPECT_TRUE(RecordingDx::s_modified.empty());
    // No stray ruled row was made anywhere.
    for (int32_t i = 0; i < now->childCount(); ++i)
        EXPECT_FALSE(now->getChild(i)->isDxString());
}

TEST_F(RulerCommandTest, WithoutASelectionItSaysSo) {
    OwnedNode<RecordingDx> row = NewDxStringOf<RecordingDx>(1, nullptr);
    row->setChild(0, Word("ab"));
    Use(std::move(row));
    std::vector<std::string> texts;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
        texts.push_back(box.text);
        return 1;
    });
    ClearSelectionList(m_record);
    ASSERT_EQ(m_record.count(), 0);

    RulerCommand();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("Change command could not be found"), std::string::npos);
    EXPECT_TRUE(RecordingDx::s_modified.empty());
    EXPECT_EQ(g_rowDialogs, 0);

    // With no record at all, the same message and nothing else.
    ActiveRecord = nullptr;
    ActiveList = nullptr;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
        texts.push_back(box.text);
        return 1;
    });
    RulerCommand();
    EXPECT_EQ(texts.size(), 2u);
    EXPECT_TRUE(RecordingDx::s_modified.empty());
}

} // namespace
} // namespace kvtest
