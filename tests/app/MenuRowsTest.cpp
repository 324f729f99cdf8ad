// Menu items of the editing subsystem run from their ids in the running program (headless back
// end): what each leaves in the document, the settings and the menu.

#include "App/MenuDispatch.h"
#include "AppDocumentFixture.h"
#include "Dialogs/FontStyleDialog.h"
#include "Dialogs/HelpTours.h"
#include "Dialogs/MatrixDialogs.h"
#include "Dialogs/TypesettingDialogs.h"
#include "ExprSrcs/EPane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PPRINT.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/PMENU.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eString.h"
#include "OverSrcs/eWord.h"
#include "plat/CommonDialogs.h"
#include "plat/Dialog.h"
#include "plat/Input.h"
#include "plat/Memory.h"
#include "plat/Menu.h"
#include "plat/Window.h"

#include <cstring>
#include <string>

namespace kvtest {
namespace {

namespace pt = plat::testing;

class MenuRowsTest : public AppDocumentFixture {
protected:
    // The items of a row: words as their text, spaces as "_", anything else as "#".
    static std::string rowText(const eExpr* row) {
        std::string t;
        for (int32_t i = 0; row != nullptr && i < row->childCount(); ++i) {
            const eExpr* item = row->getChild(i);
            if (item->isWord())
                t += "[" + std::string(static_cast<const eWord*>(item)->view()) + "]";
            else
                t += item->isSpace() ? "_" : "#";
        }
        return t;
    }
    // A document holding one r x c matrix (cells empty), the caret after it.
    ExprFilePane* withMatrix(int rows, int columns) {
        ExprFilePane* pane = typed("");
        DoCommand(kCmdMatrixBase | (rows << 4) | columns, 0);
        return pane;
    }
    static eMatrix* matrixAt(ExprFilePane* pane, int index) {
        return static_cast<eMatrix*>(pane->expression()->getChild(index));
    }
    static void select(eExpr* node, int32_t start, int32_t end, int32_t rowStart, int32_t rowEnd) {
        RedrawSelectionHighlight();
        ClearSelectionList(*ActiveRecord);
        SelectRange(node, start, end, rowStart, rowEnd);
        RedrawSelectionHighlight();
    }
    // Shows every message box and records its text.
    std::vector<std::string> m_boxes;
    void recordBoxes(int count) {
        for (int i = 0; i < count; ++i)
            pt::onMessageBox([this](const pt::MessageBoxCall& box) {
                m_boxes.push_back(box.text);
                return 1;
            });
    }
};

TEST_F(MenuRowsTest, PrintSetUpKeepsTheChosenOrientation) {
    ScopedEnv lpstat("KV_LPSTAT", std::string("/nonexistent/lpstat"));
    pt::onDialog(plat::IDD_PRINTSETUP, [](pt::DialogDriver& d) {
        d.check(plat::IDC_PRINT_LANDSCAPE);
        d.click(plat::IDOK);
    });
    ASSERT_EQ(DoMenuCommand(266), 1);
    plat::HGLOBAL mode = PrintSetupRecord().hDevMode;
    ASSERT_NE(mode, nullptr);
    plat::DEVMODE dm{};
    std::memcpy(&dm, plat::GlobalLock(mode), sizeof dm);
    plat::GlobalUnlock(mode);
    EXPECT_EQ(dm.dmOrientation, plat::DMORIENT_LANDSCAPE);
}

TEST_F(MenuRowsTest, AutoSpacingIsToggledByItsCheckedItem) {
    auto checked = [] {
        return (plat::GetMenuState(CQVApp::instance().m_MenuBar, 2051, plat::MF_BYCOMMAND) &
                plat::MF_CHECKED) != 0;
    };
    ASSERT_NE(AutoSpaceOption, 0);
    EXPECT_TRUE(checked());
    ExprFilePane* on = typed("a+");
    EXPECT_EQ(rowText(on->expression()), "[a]_[+]");
    ASSERT_EQ(DoMenuCommand(2051), 1);
    EXPECT_EQ(AutoSpaceOption, 0);
    EXPECT_FALSE(checked());
    ExprFilePane* off = typed("a+");
    EXPECT_EQ(rowText(off->expression()), "[a][+]");
    DoMenuCommand(2051);
    EXPECT_NE(AutoSpaceOption, 0);
    EXPECT_TRUE(checked());
}

TEST_F(MenuRowsTest, TheBaseFontDialogChangesTheBaseStyleAndEveryPane) {
    ExprFilePane* pane = typed("x");
    const int32_t before = pane->root()->width();
    const FSSRecord saved = StyleTable[0];
    pt::onDialog(kFontStyleDialogId, [](pt::DialogDriver& d) {
        d.check(kFontStyleSizeFirst);
        d.setText(kFontStyleSizeText, "48");
        d.click(plat::IDOK);
    });
    ASSERT_EQ(DoMenuCommand(7434), 1);
    EXPECT_EQ(StyleTable[0].size, 48);
    EXPECT_GT(pane->root()->width(), before);
    StyleTable[0] = saved;
}

TEST_F(MenuRowsTest, MagicAlignmentLinksTheRowsOfLikeMatricesAndUnlinkingUndoesIt) {
    ExprFilePane* pane = withMatrix(2, 3);
    select(pane->expression(), 1, 1, 0, 1);
    DoCommand(kCmdMatrixBase | 0x23, 0);
    eMatrix* a = matrixAt(pane, 0);
    eMatrix* b = matrixAt(pane, 1);
    ASSERT_TRUE(a->isMatrix() && b->isMatrix());
    DoCommand(kCmdSelectAll, 0);
    ASSERT_EQ(DoMenuCommand(527), 1);
    auto ring = [](eExpr* x, eExpr* y) {
        return InSameRing(static_cast<eString*>(x), static_cast<eString*>(y));
    };
    for (int r = 0; r < 2; ++r) {
        EXPECT_TRUE(ring(a->getCell(r, 0), b->getCell(r, 2))) << r;
        EXPECT_TRUE(ring(a->getCell(r, 1), a->getCell(r, 0))) << r;
    }
    EXPECT_FALSE(ring(a->getCell(0, 0), b->getCell(1, 0)));
    ASSERT_EQ(DoMenuCommand(528), 1);
    EXPECT_FALSE(ring(a->getCell(0, 0), b->getCell(0, 0)));

    // One matrix alone has nothing to line up with: message 504, nothing linked.
    recordBoxes(1);
    select(pane->expression(), 0, 1, 0, 1);
    DoMenuCommand(527);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_NE(m_boxes[0].find(LoadResString(errNothingToLink)), std::string::npos);
}

TEST_F(MenuRowsTest, DefaultStyleGivesTheSelectionTheResetStyle) {
    const FSSRecord saved = StyleTable[5];
    StyleTable[5].size = 20;
    ExprFilePane* pane = typed("ab");
    DoCommand(kCmdSelectAll, 0);
    DoCommand(0x6005, 0);
    StyleTable[5] = saved;
    ASSERT_EQ(leafStyles(pane)[0].size, 20);
    DoCommand(kCmdSelectAll, 0);
    ASSERT_EQ(DoMenuCommand(5391), 1);
    for (const FSSRecord& r : leafStyles(pane)) {
        EXPECT_STREQ(r.fontName, "*");
        EXPECT_EQ(r.size, -1000);
    }
}

TEST_F(MenuRowsTest, ChangeRootRunsTheRootSettings) {
    RootSettings.indexSize = 4;
    pt::onDialog(kRootSettingsDialogId, [](pt::DialogDriver& d) {
        d.chooseCombo(kRootIndexSizeItem, 7); // "2 paliers + petit"
        d.click(plat::IDOK);
    });
    ASSERT_EQ(DoMenuCommand(5385), 1);
    EXPECT_EQ(RootSettings.indexSize, 2);
}

TEST_F(MenuRowsTest, MatrixNumberingTypesEachCellsNumberOrSaysItNeedsAMatrix) {
    ExprFilePane* pane = withMatrix(2, 3);
    eMatrix* m = matrixAt(pane, 0);
    select(m, 0, 3, 0, 2);
    pt::onDialog(kMatrixIndicesDialogId, [](pt::DialogDriver& d) {
        d.click(kIndexRuleFirst + 2); // row + column + start
        d.setText(kIndexStartItem, "10");
        d.click(plat::IDOK);
    });
    ASSERT_EQ(DoMenuCommand(2052), 1);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(rowText(m->getCell(r, c)), "[" + std::to_string(10 + r + c) + "]")
                << r << "," << c;

    // Outside a matrix: message 503 and the text stays.
    ExprFilePane* plain = typed("x");
    pt::onDialog(kMatrixIndicesDialogId, [](pt::DialogDriver& d) { d.click(plat::IDOK); });
    recordBoxes(1);
    DoMenuCommand(2052);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_NE(m_boxes[0].find(LoadResString(errNotInMatrix)), std::string::npos);
    EXPECT_EQ(rowText(plain->expression()), "[x]");
}

TEST_F(MenuRowsTest, FontNameMethodSaysItIsNotImplementedYet) {
    recordBoxes(1);
    ASSERT_EQ(DoMenuCommand(7431), 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0], LoadResString(kNotYetImplementedStringId));
}

TEST_F(MenuRowsTest, WordsLeftSideBySideByACommandBecomeOneWord) {
    AutoSpaceOption = 0;
    ExprFilePane* pane = typed("ab+cd");
    ASSERT_EQ(rowText(pane->expression()), "[ab][+][cd]");
    select(pane->expression(), 1, 2, 0, 1);
    DoCommand(kCmdClear, 0);
    EXPECT_EQ(rowText(pane->expression()), "[abcd]");
    // The caret stays where the plus was, now inside the joined word.
    ASSERT_EQ(ActiveRecord->count(), 1);
    EXPECT_TRUE(ActiveRecord->entry(0).node->isWord());
    EXPECT_EQ(ActiveRecord->entry(0).start, 2);
    AutoSpaceOption = 1;
}

TEST_F(MenuRowsTest, ACtrlClickPicksTheCellUnderThePointer) {
    ExprFilePane* pane = withMatrix(2, 2);
    pane->remeasure();
    eMatrix* m = matrixAt(pane, 0);
    eExpr* cell = m->getCell(1, 1);
    // The cell's middle in the pad: the zones nest, each in its parent's.
    Zone z = cell->m_zone;
    for (eExpr* p = cell->m_parent; p != nullptr; p = p->m_parent)
        ZoneOffset(z, p->m_zone.left, p->m_zone.top);
    const Zone& frame = pane->zoneInParent();
    const plat::HWND hwnd = HandleOfWindow(pane->windowHandle());
    pt::keyDown(plat::VK_CONTROL);
    pt::click(hwnd, (z.left + z.right) / 2 - pane->bounds().left + frame.left,
              (z.top + z.bottom) / 2 - pane->bounds().top + frame.top);
    pt::keyUp(plat::VK_CONTROL);
    pt::runUntilIdle();
    ASSERT_EQ(ActiveRecord->count(), 1);
    const SelectionEntry& e = ActiveRecord->entry(0);
    EXPECT_EQ(e.node, m);
    EXPECT_EQ(e.start, 1);
    EXPECT_EQ(e.end, 2);
    EXPECT_EQ(e.rowStart, 1);
    EXPECT_EQ(e.rowEnd, 2);
}

} // namespace
} // namespace kvtest
