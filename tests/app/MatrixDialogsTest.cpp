// The matrix dialogs on the headless back end, with the program's own resources: the size picker,
// the separating-lines preview, the numbering dialog and the matrix Modify run through them.
#include "Dialogs/MatrixDialogs.h"

#include "BuiltinResources.h"
#include "Dialogs/ModifyDialogs.h"
#include "ExprSrcs/Change.h"
#include "OverPc/PERROR.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/Window.h"

#include <gtest/gtest.h>
#include <string>

namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

class MatrixDialogsTest : public kvtest::ModifyDialogTestFixture {
protected:
    void SetUp() override {
        ModifyDialogTestFixture::SetUp();
        ResetMatrixModifyState();
        ResetMatrixIndexSettings();
        InstallMatrixDialogs();
    }
    void TearDown() override {
        ResetMatrixModifyState();
        ModifyDialogTestFixture::TearDown();
    }
};

MatrixDlgRecord plainRecord(int32_t rows, int32_t columns) {
    MatrixDlgRecord record;
    SetDialogNumber(record.rows, rows);
    SetDialogNumber(record.columns, columns);
    std::snprintf(record.alignChar.data(), record.alignChar.size(), "=");
    MatrixState.rows = rows;
    MatrixState.columns = columns;
    return record;
}

std::string text(const DialogText& field) {
    return std::string(field.data());
}

plat::RECT clientOf(plat::HWND item) {
    plat::RECT r{};
    plat::GetClientRect(item, &r);
    return r;
}

// The middle of picker cell (row, column), both from 0, in the picker's client pixels; the grid
// spans the control less one line unit.
plat::POINT pickerCell(plat::HWND picker, int row, int column) {
    const plat::RECT r = clientOf(picker);
    const int w = r.right - 1;
    const int h = r.bottom - 1;
    return plat::POINT{(2 * column + 1) * w / 16, (2 * row + 1) * h / 16};
}

// The middle of a segment of the lines preview: the preview is 17 units each way, cells on the
// even units from the half unit at the top left, lines on the odd ones.
plat::POINT segmentPoint(plat::HWND preview, int row, int column, bool vertical) {
    const plat::RECT r = clientOf(preview);
    const int ux = r.right / 17;
    const int uy = r.bottom / 17;
    const int a = vertical ? 2 * column : 2 * column + 1;
    const int b = vertical ? 2 * row + 1 : 2 * row;
    return plat::POINT{a * ux + ux / 2, b * uy + uy / 2};
}

void clickAt(DialogDriver& d, plat::HWND item, plat::POINT p) {
    pt::click(item, p.x, p.y);
    d.pump();
}

// A press on the line above `row` over column 0, a drag along it to column `last` and back, and the
// release where the press was.
void dragAlongRowLine(DialogDriver& d, plat::HWND preview, int row, int last) {
    const plat::POINT from = segmentPoint(preview, row, 0, false);
    const plat::POINT to = segmentPoint(preview, row, last, false);
    pt::press(preview, from.x, from.y);
    const int steps = 4 * last;
    for (int i = 1; i <= steps; ++i)
        pt::move(preview, from.x + (to.x - from.x) * i / steps, from.y);
    for (int i = steps - 1; i >= 0; --i)
        pt::move(preview, from.x + (to.x - from.x) * i / steps, from.y);
    pt::release(preview, from.x, from.y);
    d.pump();
}

// ---- "Modifier\n la matrice"

TEST_F(MatrixDialogsTest, TheMatrixDialogShowsTheRecordAndOkWritesEveryFieldBack) {
    MatrixDlgRecord record = plainRecord(2, 3);
    record.vertical = 2;
    record.unequalColumns = 1;
    std::string shownRows, shownColumns, shownAlign;
    bool bottom = false, centre = false, unequalColumns = false, unequalRows = true;
    pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
        shownRows = d.text(kMatrixRowsItem);
        shownColumns = d.text(kMatrixColumnsItem);
        shownAlign = d.text(kMatrixAlignCharItem);
        bottom = d.checked(kMatrixVerticalLast);
        centre = d.checked(kMatrixHorizontalFirst + 1);
        unequalColumns = d.checked(kMatrixUnequalColumnsItem);
        unequalRows = d.checked(kMatrixUnequalRowsItem);
        d.click(kMatrixVerticalFirst);
        d.click(kMatrixHorizontalFirst + 2);
        d.click(kMatrixUnequalRowsItem);
        d.click(kMatrixUnequalColumnsItem);
        d.click(kMatrixOuterSpaceItem);
        d.setText(kMatrixRowsItem, "5");
        d.setText(kMatrixColumnsItem, "12");
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditMatrixDlg(&record), 1);
    EXPECT_EQ(shownRows, "2");
    EXPECT_EQ(shownColumns, "3");
    EXPECT_EQ(shownAlign, "=");
    EXPECT_TRUE(bottom);
    EXPECT_TRUE(centre);
    EXPECT_TRUE(unequalColumns);
    EXPECT_FALSE(unequalRows);
    EXPECT_EQ(text(record.rows), "5");
    EXPECT_EQ(text(record.columns), "12");
    EXPECT_EQ(record.vertical, 0);
    EXPECT_EQ(record.horizontal, 2);
    EXPECT_EQ(record.unequalRows, 1);
    EXPECT_EQ(record.unequalColumns, 0);
    EXPECT_EQ(record.removeOuterSpace, 1);
    // The typed sizes reached the working set the previews show.
    EXPECT_EQ(MatrixState.rows, 5);
    EXPECT_EQ(MatrixState.columns, 12);
}

TEST_F(MatrixDialogsTest, CancelAndTheLinesButton) {
    MatrixDlgRecord record = plainRecord(2, 2);
    pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
        d.setText(kMatrixRowsItem, "4");
        d.click(kMatrixOuterSpaceItem);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunEditMatrixDlg(&record), 0);
    EXPECT_EQ(text(record.rows), "2");
    EXPECT_EQ(record.removeOuterSpace, 0);

    pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
        d.setText(kMatrixRowsItem, "4");
        d.click(kMatrixOuterSpaceItem);
        d.click(kMatrixSeparationButton);
    });
    EXPECT_EQ(RunEditMatrixDlg(&record), kMatrixLinesButtonResult);
    EXPECT_EQ(text(record.rows), "4");
    EXPECT_EQ(record.removeOuterSpace, 1);
}

TEST_F(MatrixDialogsTest, APickerClickSetsBothSizesFromTheClickedCell) {
    struct Case {
        int row, column;
    };
    for (const Case c : {Case{0, 0}, Case{2, 4}, Case{7, 7}, Case{5, 1}}) {
        SCOPED_TRACE(testing::Message() << "cell " << c.row << ", " << c.column);
        MatrixDlgRecord record = plainRecord(1, 1);
        std::string rows, columns;
        int32_t stateRows = 0, stateColumns = 0;
        pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
            clickAt(d, d.item(kMatrixSizePickerItem),
                    pickerCell(d.item(kMatrixSizePickerItem), c.row, c.column));
            rows = d.text(kMatrixRowsItem);
            columns = d.text(kMatrixColumnsItem);
            stateRows = MatrixState.rows;
            stateColumns = MatrixState.columns;
            d.click(plat::IDOK);
        });
        EXPECT_EQ(RunEditMatrixDlg(&record), 1);
        EXPECT_EQ(rows, std::to_string(c.row + 1));
        EXPECT_EQ(columns, std::to_string(c.column + 1));
        EXPECT_EQ(stateRows, c.row + 1);
        EXPECT_EQ(stateColumns, c.column + 1);
        EXPECT_EQ(text(record.rows), rows);
        EXPECT_EQ(text(record.columns), columns);
    }
}

// While another reaction holds the busy flag, a click in either preview changes nothing.
TEST_F(MatrixDialogsTest, PreviewClicksWaitForTheReactionRunning) {
    MatrixDlgRecord record = plainRecord(2, 3);
    std::string rows, columns;
    pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
        DialogCallbackBusy = 1;
        clickAt(d, d.item(kMatrixSizePickerItem), pickerCell(d.item(kMatrixSizePickerItem), 5, 6));
        DialogCallbackBusy = 0;
        rows = d.text(kMatrixRowsItem);
        columns = d.text(kMatrixColumnsItem);
        d.click(plat::IDCANCEL);
    });
    RunEditMatrixDlg(&record);
    EXPECT_EQ(rows, "2");
    EXPECT_EQ(columns, "3");

    ResetMatrixModifyState();
    MatrixState.rows = 3;
    MatrixState.columns = 2;
    MatrixLinesDlgRecord lines;
    uint16_t word = 0xFFFF;
    pt::onDialog(kMatrixDelimitersDialogId, [&](DialogDriver& d) {
        plat::HWND preview = d.item(kMatrixLinesPreviewItem);
        DialogCallbackBusy = 1;
        clickAt(d, preview, segmentPoint(preview, 1, 1, false));
        DialogCallbackBusy = 0;
        word = MatrixState.rowLines[1];
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunMatrixDelimitersDlg(&lines), 1);
    EXPECT_EQ(word, 0);
}

TEST_F(MatrixDialogsTest, ThePickerShadesTheCellsOfTheSizeAndFollowsAClick) {
    constexpr uint32_t kGrey = 0xBFBFBF;
    constexpr uint32_t kWhite = 0xFFFFFF;
    MatrixDlgRecord record = plainRecord(3, 5);
    uint32_t inside = 0, rightOf = 0, below = 0, afterClick = 0, farAfterClick = 0;
    pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
        plat::HWND picker = d.item(kMatrixSizePickerItem);
        d.pump();
        auto at = [&](int row, int column) {
            const plat::POINT p = pickerCell(picker, row, column);
            return pt::pixels(picker).at(p.x, p.y);
        };
        inside = at(2, 4);
        rightOf = at(2, 5);
        below = at(3, 4);
        clickAt(d, picker, pickerCell(picker, 6, 6));
        afterClick = at(6, 6);
        farAfterClick = at(7, 7);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunEditMatrixDlg(&record), 0);
    EXPECT_EQ(inside, kGrey);
    EXPECT_EQ(rightOf, kWhite);
    EXPECT_EQ(below, kWhite);
    EXPECT_EQ(afterClick, kGrey);
    EXPECT_EQ(farAfterClick, kWhite);
}

TEST_F(MatrixDialogsTest, TypedSizesOutsideTheRangeBeepUseOneAndKeepTheirText) {
    struct Case {
        const char* typed;
        int32_t used;
        bool beeps;
    };
    for (const Case c : {Case{"7", 7, false}, Case{"32000", 32000, false}, Case{"0", 1, true},
                         Case{"32001", 1, true}, Case{"-3", 1, true}, Case{"abc", 1, true}}) {
        SCOPED_TRACE(c.typed);
        MatrixDlgRecord record = plainRecord(3, 3);
        std::string shown;
        int32_t used = 0;
        int32_t beeps = 0;
        pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
            const int32_t before = CommandBeepCount();
            d.setText(kMatrixColumnsItem, c.typed);
            beeps = CommandBeepCount() - before;
            shown = d.text(kMatrixColumnsItem);
            used = MatrixState.columns;
            d.click(plat::IDCANCEL);
        });
        EXPECT_EQ(RunEditMatrixDlg(&record), 0);
        EXPECT_EQ(shown, c.typed);
        EXPECT_EQ(used, c.used);
        EXPECT_EQ(beeps > 0, c.beeps);
        EXPECT_EQ(MatrixState.rows, 3);
    }
}

TEST_F(MatrixDialogsTest, OkBringsTheCountsIntoRangeAndRefusesTooManyCells) {
    MatrixDlgRecord record = plainRecord(3, 3);
    bool openAfterFirstOk = false;
    std::string rowsAfterFirstOk;
    int32_t beeps = 0;
    pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
        d.setText(kMatrixRowsItem, "200");
        d.setText(kMatrixColumnsItem, "99999");
        const int32_t before = CommandBeepCount();
        d.click(plat::IDOK);
        beeps = CommandBeepCount() - before;
        openAfterFirstOk = !d.ended();
        rowsAfterFirstOk = d.text(kMatrixColumnsItem);
        d.setText(kMatrixRowsItem, "0");
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditMatrixDlg(&record), 1);
    EXPECT_TRUE(openAfterFirstOk);
    EXPECT_GE(beeps, 1);
    EXPECT_EQ(rowsAfterFirstOk, "32000");
    // 1 x 32000 is the largest grid of one row.
    EXPECT_EQ(text(record.rows), "1");
    EXPECT_EQ(text(record.columns), "32000");
}

TEST_F(MatrixDialogsTest, TypingAnAlignmentCharacterChoosesAlignOnItAndKeepsOneCharacter) {
    MatrixDlgRecord record = plainRecord(2, 2);
    std::string afterPaste, afterTyping;
    bool alignChosen = false;
    pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
        d.setText(kMatrixAlignCharItem, "xy");
        afterPaste = d.text(kMatrixAlignCharItem);
        alignChosen = d.checked(kMatrixHorizontalLast);
        // The kept character is selected, so the next key replaces it.
        d.type(kMatrixAlignCharItem, "z");
        afterTyping = d.text(kMatrixAlignCharItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditMatrixDlg(&record), 1);
    EXPECT_EQ(afterPaste, "x");
    EXPECT_TRUE(alignChosen);
    EXPECT_EQ(afterTyping, "z");
    EXPECT_EQ(record.horizontal, 3);
    EXPECT_EQ(text(record.alignChar), "z");
}

// ---- "Délimitations de la matrice"

TEST_F(MatrixDialogsTest, ClickingASegmentTogglesItsBitsInTheChosenKind) {
    struct Case {
        int row, column;
        bool vertical;
        bool dotted;
    };
    // A 3 x 2 grid: the right edge (column 2) and bottom edge (row 3) have lines too.
    for (const Case c :
         {Case{0, 0, false, false}, Case{1, 1, false, true}, Case{3, 1, false, false},
          Case{0, 0, true, false}, Case{2, 2, true, true}, Case{1, 1, true, false}}) {
        SCOPED_TRACE(testing::Message() << (c.vertical ? "vertical " : "horizontal ") << c.row
                                        << ", " << c.column << (c.dotted ? " dotted" : ""));
        ResetMatrixModifyState();
        MatrixState.rows = 3;
        MatrixState.columns = 2;
        MatrixLinesDlgRecord record;
        const uint16_t style = c.dotted ? kMatrixLineDotted : kMatrixLineSolid;
        uint16_t afterFirst = 0;
        uint16_t afterSecond = 0xFFFF;
        uint8_t present = 0;
        pt::onDialog(kMatrixDelimitersDialogId, [&](DialogDriver& d) {
            if (c.dotted)
                d.click(kMatrixLineKindLast);
            plat::HWND preview = d.item(kMatrixLinesPreviewItem);
            auto& words = c.vertical ? MatrixState.columnLines : MatrixState.rowLines;
            clickAt(d, preview, segmentPoint(preview, c.row, c.column, c.vertical));
            afterFirst = words[static_cast<size_t>(c.row)];
            present = MatrixState.linesPresent;
            // A second press on a line of the chosen kind removes it.
            clickAt(d, preview, segmentPoint(preview, c.row, c.column, c.vertical));
            afterSecond = words[static_cast<size_t>(c.row)];
            d.click(plat::IDOK);
        });
        EXPECT_EQ(RunMatrixDelimitersDlg(&record), 1);
        EXPECT_EQ(afterFirst, style << (2 * c.column));
        EXPECT_EQ(afterSecond, 0);
        EXPECT_EQ(present, 1);
        EXPECT_EQ(record.lineKind, c.dotted ? 1 : 0);
        // Only the one word was touched.
        auto& other = c.vertical ? MatrixState.rowLines : MatrixState.columnLines;
        for (uint16_t w : other)
            EXPECT_EQ(w, 0);
    }
}

TEST_F(MatrixDialogsTest, PointsThatAreNoSegmentOfTheGridToggleNothing) {
    struct Case {
        const char* what;
        int a, b; // preview units
    };
    // A 3 x 2 grid: 2 columns, 3 rows.
    for (const Case c :
         {Case{"inside a cell", 2, 2}, Case{"on a crossing", 1, 1},
          Case{"horizontal right of the last column", 5, 2},
          Case{"vertical below the last row", 4, 7}, Case{"beyond the grid", 9, 9}}) {
        SCOPED_TRACE(c.what);
        ResetMatrixModifyState();
        MatrixState.rows = 3;
        MatrixState.columns = 2;
        MatrixLinesDlgRecord record;
        pt::onDialog(kMatrixDelimitersDialogId, [&](DialogDriver& d) {
            plat::HWND preview = d.item(kMatrixLinesPreviewItem);
            const plat::RECT r = clientOf(preview);
            const int ux = r.right / 17;
            const int uy = r.bottom / 17;
            pt::click(preview, c.a * ux + ux / 2, c.b * uy + uy / 2);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(RunMatrixDelimitersDlg(&record), 1);
        for (size_t i = 0; i < kLinePreviewCells; ++i) {
            EXPECT_EQ(MatrixState.rowLines[i], 0);
            EXPECT_EQ(MatrixState.columnLines[i], 0);
        }
        EXPECT_EQ(MatrixState.linesPresent, 0);
    }
}

TEST_F(MatrixDialogsTest, ADragSetsEverySegmentItCrossesAndClearAllRemovesThem) {
    MatrixState.rows = 4;
    MatrixState.columns = 4;
    MatrixState.columnLines[3] = 0x5;
    MatrixLinesDlgRecord record;
    uint16_t dragged = 0;
    bool clearedAll = false;
    uint8_t presentAfterClear = 1;
    pt::onDialog(kMatrixDelimitersDialogId, [&](DialogDriver& d) {
        plat::HWND preview = d.item(kMatrixLinesPreviewItem);
        dragAlongRowLine(d, preview, 2, 3);
        dragged = MatrixState.rowLines[2];
        d.click(kMatrixLinesClearItem);
        clearedAll = true;
        for (size_t i = 0; i < kLinePreviewCells; ++i)
            clearedAll =
                clearedAll && MatrixState.rowLines[i] == 0 && MatrixState.columnLines[i] == 0;
        presentAfterClear = MatrixState.linesPresent;
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunMatrixDelimitersDlg(&record), 0);
    EXPECT_EQ(dragged, 0x55); // four solid segments
    EXPECT_TRUE(clearedAll);
    EXPECT_EQ(presentAfterClear, 0);
    // The preview is gone with its dialog; the shared state does not keep it.
    EXPECT_EQ(MatrixState.previewControl, nullptr);
}

TEST_F(MatrixDialogsTest, ADragThatStartsOnALineOfTheChosenKindErasesWhatItCrosses) {
    MatrixState.rows = 4;
    MatrixState.columns = 4;
    // Solid over columns 0 to 2, dotted over column 3.
    MatrixState.rowLines[1] = 0x95;
    MatrixLinesDlgRecord record;
    pt::onDialog(kMatrixDelimitersDialogId, [&](DialogDriver& d) {
        dragAlongRowLine(d, d.item(kMatrixLinesPreviewItem), 1, 3);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunMatrixDelimitersDlg(&record), 1);
    EXPECT_EQ(MatrixState.rowLines[1], 0);
    EXPECT_EQ(MatrixState.linesPresent, 1);
}

// ---- The matrix Modify through the real dialogs

class MatrixModifyTest : public MatrixDialogsTest {
protected:
    void SetUp() override {
        MatrixDialogsTest::SetUp();
        ResetCommandHooks();
        ResetCommandState();
        InstallSelectionHooks();
        InstallCommandModelHooks();
        InitFSSRecord(m_style);
    }
    void TearDown() override {
        ActiveRecord = nullptr;
        ActiveList = nullptr;
        if (m_made)
            DestroySelectionRecord(m_record);
        ResetCommandState();
        ResetCommandHooks();
        MatrixDialogsTest::TearDown();
    }
    // A row holding a rows x columns grid whose cell (r, c) holds the word "rc"; the grid is
    // selected.
    void makeGrid(int rows, int columns) {
        OwnedNode<eSimpString> row = NewSimpString(1);
        OwnedNode<eSimpMatrix> grid = NewSimpMatrix(rows, columns);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                OwnedNode<eSimpString> cell = NewSimpString(1);
                const std::string name = std::to_string(r) + std::to_string(c);
                cell->setChild(0, NewWord(name.c_str(), 0, m_style, 0));
                grid->setCell(r, c, ExprPtr(cell.release()));
            }
        row->setChild(0, ExprPtr(grid.release()));
        eExpr* top = row.get();
        CreateSelectionRecord(m_record, std::move(row), 0, 0, 0, 0);
        m_made = true;
        ActiveRecord = &m_record;
        ActiveList = m_record.m_entries;
        ClearSelectionList(m_record);
        SelectRange(top, 0, 1, 0, 0);
    }
    eMatrix* grid() const {
        eExpr* row = m_record.m_root->getChild(0);
        eExpr* node = row != nullptr ? row->getChild(0) : nullptr;
        return node != nullptr && node->isMatrix() ? static_cast<eMatrix*>(node) : nullptr;
    }
    FSSRecord m_style;
    SelectionRecord m_record;
    bool m_made = false;
};

TEST_F(MatrixModifyTest, CancelInTheLinesDialogReturnsToTheMatrixDialogWithTheOldLines) {
    makeGrid(2, 2);
    uint16_t drawn = 0;
    std::string rowsOnReturn;
    pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
        d.setText(kMatrixColumnsItem, "3");
        d.click(kMatrixSeparationButton);
    });
    pt::onDialog(kMatrixDelimitersDialogId, [&](DialogDriver& d) {
        plat::HWND preview = d.item(kMatrixLinesPreviewItem);
        clickAt(d, preview, segmentPoint(preview, 1, 0, false));
        drawn = MatrixState.rowLines[1];
        d.click(plat::IDCANCEL);
    });
    pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
        rowsOnReturn = d.text(kMatrixColumnsItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(CatchFail([] { DoCommand(kCmdModify, 0); }), 0);
    EXPECT_EQ(drawn, kMatrixLineSolid);
    EXPECT_EQ(rowsOnReturn, "3");
    eMatrix* now = grid();
    ASSERT_NE(now, nullptr);
    // No line left: still a plain grid, grown by a column of empty cells.
    EXPECT_FALSE(now->isDxMatrix());
    EXPECT_EQ(now->rows(), 2);
    EXPECT_EQ(now->columns(), 3);
}

TEST_F(MatrixModifyTest, ALineDrawnMakesARuledGridWithThatWordAndShrinkingDropsCells) {
    makeGrid(3, 3);
    eExpr* keptCell = grid()->getCell(1, 1);
    pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) {
        d.setText(kMatrixRowsItem, "2");
        d.setText(kMatrixColumnsItem, "2");
        d.click(kMatrixSeparationButton);
    });
    pt::onDialog(kMatrixDelimitersDialogId, [&](DialogDriver& d) {
        plat::HWND preview = d.item(kMatrixLinesPreviewItem);
        d.click(kMatrixLineKindLast);
        // The vertical line between the two columns, in both rows.
        clickAt(d, preview, segmentPoint(preview, 0, 1, true));
        clickAt(d, preview, segmentPoint(preview, 1, 1, true));
        d.click(plat::IDOK);
    });
    pt::onDialog(kEditMatrixDialogId, [&](DialogDriver& d) { d.click(plat::IDOK); });
    EXPECT_EQ(CatchFail([] { DoCommand(kCmdModify, 0); }), 0);
    eMatrix* now = grid();
    ASSERT_NE(now, nullptr);
    ASSERT_TRUE(now->isDxMatrix());
    auto* ruled = static_cast<eDxMatrix*>(now);
    EXPECT_EQ(ruled->rows(), 2);
    EXPECT_EQ(ruled->columns(), 2);
    EXPECT_EQ(ruled->getCell(1, 1), keptCell);
    const uint32_t dottedAtColumn1 = kMatrixLineDotted << 2;
    EXPECT_EQ(ruled->m_vStyles[0], dottedAtColumn1);
    EXPECT_EQ(ruled->m_vStyles[1], dottedAtColumn1);
    EXPECT_EQ(ruled->m_hStyles[0], 0u);
}

// ---- "Insérer un indice"

TEST_F(MatrixDialogsTest, EachNumberingRuleHasItsSteps) {
    struct Case {
        int32_t rule, row, column;
    };
    for (const Case c : {Case{0, 1, 0}, Case{1, 0, 1}, Case{2, 1, 1}, Case{3, 1, -1},
                         Case{4, -1, 1}, Case{7, 1, 0}, Case{-1, 1, 0}}) {
        SCOPED_TRACE(c.rule);
        int32_t row = 99, column = 99;
        MatrixIndexSteps(c.rule, row, column);
        EXPECT_EQ(row, c.row);
        EXPECT_EQ(column, c.column);
    }
}

TEST_F(MatrixDialogsTest, TheNumberingDialogShowsTheKeptSettingsAndOkKeepsTheNewOnes) {
    bool firstRule = false;
    int depthShown = -1;
    std::string startShown;
    pt::onDialog(kMatrixIndicesDialogId, [&](DialogDriver& d) {
        firstRule = d.checked(kIndexRuleFirst);
        depthShown = d.curSel(kIndexDepthItem);
        startShown = d.text(kIndexStartItem);
        d.click(kIndexRuleFirst + 3);
        d.chooseCombo(kIndexDepthItem, 2);
        d.setText(kIndexStartItem, "-4");
        d.click(plat::IDOK);
    });
    EXPECT_TRUE(AskMatrixIndexSettings());
    EXPECT_TRUE(firstRule);
    EXPECT_EQ(depthShown, 0);
    EXPECT_EQ(startShown, "1");
    EXPECT_EQ(MatrixIndices.rule, 3);
    EXPECT_EQ(MatrixIndices.depth, 2);
    EXPECT_EQ(MatrixIndices.start, -4);
    EXPECT_EQ(MatrixIndices.rowStep, 1);
    EXPECT_EQ(MatrixIndices.columnStep, -1);

    // The next use starts from them; text without digits counts as 0.
    int depthAgain = -1;
    pt::onDialog(kMatrixIndicesDialogId, [&](DialogDriver& d) {
        depthAgain = d.curSel(kIndexDepthItem);
        d.click(kIndexRuleLast);
        d.setText(kIndexStartItem, "n");
        d.click(plat::IDOK);
    });
    EXPECT_TRUE(AskMatrixIndexSettings());
    EXPECT_EQ(depthAgain, 2);
    EXPECT_EQ(MatrixIndices.start, 0);
    EXPECT_EQ(MatrixIndices.rowStep, -1);
    EXPECT_EQ(MatrixIndices.columnStep, 1);
}

TEST_F(MatrixDialogsTest, CancellingTheNumberingDialogChangesNothing) {
    MatrixIndices.rule = 2;
    MatrixIndices.start = 7;
    MatrixIndexSteps(2, MatrixIndices.rowStep, MatrixIndices.columnStep);
    pt::onDialog(kMatrixIndicesDialogId, [&](DialogDriver& d) {
        d.click(kIndexRuleFirst);
        d.setText(kIndexStartItem, "100");
        d.click(plat::IDCANCEL);
    });
    EXPECT_FALSE(AskMatrixIndexSettings());
    EXPECT_EQ(MatrixIndices.rule, 2);
    EXPECT_EQ(MatrixIndices.start, 7);
    EXPECT_EQ(MatrixIndices.rowStep, 1);
    EXPECT_EQ(MatrixIndices.columnStep, 1);
}

} // namespace
