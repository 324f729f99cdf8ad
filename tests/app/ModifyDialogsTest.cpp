// The Modify dialogs on the headless back end, with the program's own resources.
#include "Dialogs/ModifyDialogs.h"

#include "BuiltinResources.h"
#include "ExprSrcs/Change.h"
#include "OverPc/PERROR.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "plat/Testing.h"

#include <gtest/gtest.h>
#include <string>

namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

constexpr int kNone = kStringRulerFirst;
constexpr int kRecall = kStringRulerFirst + 1;
constexpr int kIndependent = kStringRulerFirst + 2;

using ModifyDialogsTest = kvtest::ModifyDialogTestFixture;

TEST_F(ModifyDialogsTest, APlainRowOpensWithNoRulerAndGreyedJustifications) {
    StringDlgRecord record; // a plain row: 0, 3, 0
    bool noneChecked = false;
    bool axisChecked = false;
    bool leftChecked = false;
    bool verticalEnabled = true;
    bool horizontalEnabled = true;
    pt::onDialog(kEditStringDialogId, [&](DialogDriver& d) {
        noneChecked = d.checked(kNone);
        axisChecked = d.checked(kStringVerticalFirst + 3);
        leftChecked = d.checked(kStringHorizontalFirst);
        verticalEnabled = false;
        horizontalEnabled = false;
        for (int id = kStringVerticalFirst; id <= kStringVerticalLast; ++id)
            verticalEnabled = verticalEnabled || d.enabled(id);
        for (int id = kStringHorizontalFirst; id <= kStringHorizontalLast; ++id)
            horizontalEnabled = horizontalEnabled || d.enabled(id);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunEditStringDlg(&record), 0);
    EXPECT_TRUE(noneChecked);
    EXPECT_TRUE(axisChecked);
    EXPECT_TRUE(leftChecked);
    EXPECT_FALSE(verticalEnabled);
    EXPECT_FALSE(horizontalEnabled);
}

TEST_F(ModifyDialogsTest, TheRulerChoiceEnablesTheGroupsAndOkWritesTheRecordBack) {
    StringDlgRecord record;
    bool recallVertical = false;
    bool recallHorizontal = true;
    bool independentHorizontal = false;
    pt::onDialog(kEditStringDialogId, [&](DialogDriver& d) {
        d.click(kRecall);
        recallVertical = d.enabled(kStringVerticalFirst);
        recallHorizontal = d.enabled(kStringHorizontalFirst);
        d.click(kIndependent);
        independentHorizontal = d.enabled(kStringHorizontalLast);
        d.click(kStringVerticalFirst + 1);
        d.click(kStringHorizontalLast);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditStringDlg(&record), 1);
    EXPECT_TRUE(recallVertical);
    EXPECT_FALSE(recallHorizontal);
    EXPECT_TRUE(independentHorizontal);
    EXPECT_EQ(record.ruler, 2);
    EXPECT_EQ(record.vertical, 1);
    EXPECT_EQ(record.horizontal, 2);
}

TEST_F(ModifyDialogsTest, ChoosingNoRulerResetsTheJustificationsAndCancelKeepsTheRecord) {
    StringDlgRecord record{1, 0, 2}; // a ruled row following its ring's ruler
    bool axis = false;
    pt::onDialog(kEditStringDialogId, [&](DialogDriver& d) {
        d.click(kNone);
        axis = d.checked(kStringVerticalFirst + 3) && d.checked(kStringHorizontalFirst);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunEditStringDlg(&record), 0);
    EXPECT_TRUE(axis);
    EXPECT_EQ(record.ruler, 1);
    EXPECT_EQ(record.vertical, 0);
    EXPECT_EQ(record.horizontal, 2);
}

TEST_F(ModifyDialogsTest, ModifyOnAWholeRowThroughTheRealDialogMakesARuledRow) {
    ResetCommandHooks();
    ResetCommandState();
    InstallSelectionHooks();
    InstallCommandModelHooks();
    FSSRecord style;
    InitFSSRecord(style);
    OwnedNode<eSimpString> row = NewSimpString(2);
    eExpr* a = row->setChild(0, NewWord("a", 0, style, 0));
    row->setChild(1, NewWord("b", 0, style, 0));
    eExpr* top = row.get();
    SelectionRecord record;
    CreateSelectionRecord(record, std::move(row), 0, 0, 0, 0);
    ActiveRecord = &record;
    ActiveList = record.m_entries;
    ClearSelectionList(record);
    SelectRange(top, 0, 2, 0, 0);
    pt::onDialog(kEditStringDialogId, [&](DialogDriver& d) {
        d.click(kRecall);
        d.click(kStringVerticalFirst + 4);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(CatchFail([] { DoCommand(kCmdModify, 0); }), 0);
    eExpr* now = record.m_root->getChild(0);
    ASSERT_TRUE(now->isDxString());
    auto* ruled = static_cast<eDxString*>(now);
    EXPECT_EQ(ruled->getChild(0), a);
    EXPECT_EQ(ruled->m_followRuler, 1);
    EXPECT_EQ(ruled->m_verticalAlign, 4);
    EXPECT_EQ(ruled->m_justification, 0);
    ActiveRecord = nullptr;
    ActiveList = nullptr;
    DestroySelectionRecord(record);
    ResetCommandState();
    ResetCommandHooks();
}

} // namespace
