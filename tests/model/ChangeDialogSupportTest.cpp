#include "ExprSrcs/Change.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/oWindows.h"
#include "support/RecordingPort.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// The open dialog's items: radio groups by their first id, texts, enabled states.
struct FakeDialog {
    std::map<int, int> radio;
    std::map<int, std::string> text;
    std::map<int, bool> enabled;
    std::vector<std::string> writes;
    int selStart = -1;
    int selEnd = -1;
};
FakeDialog g_dialog;

void InstallFakeItems() {
    ModifyDialogItems& items = TheModifyDialogItems();
    items.getRadioIndex = [](int first, int) {
        auto it = g_dialog.radio.find(first);
        return it == g_dialog.radio.end() ? -1 : it->second;
    };
    items.setRadioGroup = [](int first, int, int index) { g_dialog.radio[first] = index; };
    items.enableItem = [](int id, bool on) { g_dialog.enabled[id] = on; };
    items.getItemText = [](int id) { return g_dialog.text[id]; };
    items.setItemText = [](int id, const char* text) {
        g_dialog.text[id] = text;
        g_dialog.writes.push_back(std::to_string(id) + "=" + text);
    };
    items.setEditSelection = [](int, int start, int end) {
        g_dialog.selStart = start;
        g_dialog.selEnd = end;
    };
}

// A preview control that records its drawing and replays a scripted drag.
class PreviewWidget : public oWidget {
public:
    explicit PreviewWidget(const Zone& zone) { m_bounds = zone; }
    void trackDrag(DragMoveCallback moveCb, DragEndCallback endCb, DragRestoreCallback,
                   int32_t pressToo) override {
        ++drags;
        pressedToo = pressToo;
        for (const oPoint& p : path)
            moveCb(p);
        if (!path.empty())
            endCb(path.back());
    }
    std::vector<oPoint> path;
    int drags = 0;
    int32_t pressedToo = -1;
};

class DialogSupportTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_dialog = FakeDialog{};
        ResetModifyDialogItems();
        InstallFakeItems();
        ResetMatrixModifyState();
        m_beeps = CommandBeepCount();
    }
    void TearDown() override {
        ResetModifyDialogItems();
        ResetMatrixModifyState();
    }
    int32_t Beeps() const { return CommandBeepCount() - m_beeps; }

    int32_t m_beeps = 0;
};

// ---- The row dialog -----------------------------------------------------------------------------

TEST_F(DialogSupportTest, RowDialogItemsFollowTheRulerChoice) {
    struct Case {
        int ruler;
        bool vertical;
        bool horizontal;
        bool reset;
    };
    const Case cases[] = {{0, false, false, true}, {1, true, false, false}, {2, true, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ruler);
        g_dialog.radio[kStringRulerFirst] = c.ruler;
        g_dialog.radio[kStringVerticalFirst] = 1;
        g_dialog.radio[kStringHorizontalFirst] = 2;
        UpdateStringDialogItems();
        for (int id = kStringVerticalFirst; id <= kStringVerticalLast; ++id)
            EXPECT_EQ(g_dialog.enabled[id], c.vertical) << id;
        for (int id = kStringHorizontalFirst; id <= kStringHorizontalLast; ++id)
            EXPECT_EQ(g_dialog.enabled[id], c.horizontal) << id;
        // Without a ruler the row aligns on the math axis, left.
        EXPECT_EQ(g_dialog.radio[kStringVerticalFirst], c.reset ? 3 : 1);
        EXPECT_EQ(g_dialog.radio[kStringHorizontalFirst], c.reset ? 0 : 2);
    }
}

// ---- Count fields -------------------------------------------------------------------------------

TEST_F(DialogSupportTest, CountFieldsAreKeptInRangeWithABeep) {
    struct Case {
        const char* typed;
        int sign;
        const char* expected; // null: left as typed
    };
    const Case integral[] = {
        {"3", 0, nullptr}, {"8", 3, nullptr}, {"9", 0, "8"},     {"0", 1, "1"},
        {"", 0, "1"},      {"2", 4, "1"},     {"1", 4, nullptr}, {"12", -1, "8"},
    };
    for (const Case& c : integral) {
        SCOPED_TRACE(std::string(c.typed) + " sign " + std::to_string(c.sign));
        g_dialog.writes.clear();
        g_dialog.text[kIntegralCountItem] = c.typed;
        if (c.sign >= 0)
            g_dialog.radio[kIntegralSignFirst] = c.sign;
        else
            g_dialog.radio.erase(kIntegralSignFirst);
        const int32_t before = Beeps();
        ValidateIntegralCount();
        EXPECT_EQ(g_dialog.text[kIntegralCountItem], c.expected ? c.expected : c.typed);
        EXPECT_EQ(Beeps() - before, c.expected ? 1 : 0);
    }
    const Case counts[] = {{"14", 0, nullptr}, {"15", 0, "14"}, {"-3", 0, "1"}, {"7", 0, nullptr}};
    for (const Case& c : counts) {
        SCOPED_TRACE(c.typed);
        g_dialog.text[4970] = c.typed;
        const int32_t before = Beeps();
        ValidateCountField(4970);
        EXPECT_EQ(g_dialog.text[4970], c.expected ? c.expected : c.typed);
        EXPECT_EQ(Beeps() - before, c.expected ? 1 : 0);
    }
}

TEST_F(DialogSupportTest, MatrixSizeFieldsUseOneForBadTextButKeepIt) {
    RecordingPort picker(16, Zone{0, 0, 81, 81, 0, 0});
    g_dialog.text[3699] = "";
    g_dialog.text[3697] = "40";
    ValidateMatrixSize(&picker, 3699, 3697);
    EXPECT_EQ(MatrixState.rows, 1);
    EXPECT_EQ(MatrixState.columns, 40);
    EXPECT_EQ(Beeps(), 1);
    EXPECT_TRUE(g_dialog.writes.empty());
    g_dialog.text[3699] = "0";
    g_dialog.text[3697] = "32001";
    ValidateMatrixSize(&picker, 3699, 3697);
    EXPECT_EQ(MatrixState.rows, 1);
    EXPECT_EQ(MatrixState.columns, 1);
    EXPECT_EQ(Beeps(), 3);
    EXPECT_FALSE(picker.calls().empty()); // redrawn each time
}

TEST_F(DialogSupportTest, TheAlignmentCharacterFieldKeepsOneSelectedCharacter) {
    g_dialog.radio[kMatrixHorizontalFirst] = 1;
    g_dialog.text[kMatrixAlignCharItem] = "=+";
    InitMatrixDialogFields();
    EXPECT_EQ(g_dialog.radio[kMatrixHorizontalFirst], 3);
    EXPECT_EQ(g_dialog.text[kMatrixAlignCharItem], "=");
    EXPECT_EQ(g_dialog.selStart, 0);
    EXPECT_EQ(g_dialog.selEnd, 1);
    g_dialog.text[kMatrixAlignCharItem] = "";
    InitMatrixDialogFields();
    EXPECT_EQ(g_dialog.text[kMatrixAlignCharItem], "");
    EXPECT_EQ(g_dialog.selEnd, 0);
}

// ---- The size picker ----------------------------------------------------------------------------

int CountCalls(const RecordingPort& port, const std::string& prefix) {
    int n = 0;
    for (const std::string& call : port.calls())
        if (call.rfind(prefix, 0) == 0)
            ++n;
    return n;
}

TEST_F(DialogSupportTest, SizePickerShowsAtMostEightByEightAndClicksChooseTheSize) {
    // 81 wide with a line unit of 1: cells of 10 units.
    RecordingPort picker(16, Zone{0, 0, 81, 81, 0, 0});
    MatrixState.columns = 3;
    MatrixState.rows = 20;
    DrawMatrixSizePicker(&picker);
    // The filled part: three columns, eight rows (the rest of the rows do not show).
    EXPECT_EQ(CountCalls(picker, "paintZone 0,0,30,80;"), 1) << picker.text();
    EXPECT_EQ(CountCalls(picker, "startDeluxeLine"), 18);
    EXPECT_EQ(CountCalls(picker, "startDeluxeLine width=1 color=#000000ff"), 6);
    EXPECT_EQ(CountCalls(picker, "startDeluxeLine width=1 color=#404040ff"), 12);

    struct Click {
        oPoint point;
        int32_t columns; // 0: ignored
        int32_t rows;
    };
    const Click clicks[] = {{{5, 5}, 1, 1},  {{79, 12}, 8, 2}, {{25, 79}, 3, 8},
                            {{80, 5}, 0, 0}, {{-1, 5}, 0, 0},  {{5, 95}, 0, 0}};
    for (const Click& c : clicks) {
        SCOPED_TRACE(std::to_string(c.point.x) + "," + std::to_string(c.point.y));
        MatrixState.columns = 5;
        MatrixState.rows = 5;
        g_dialog.writes.clear();
        MatrixSizePickerClick(&picker, c.point, 3699, 3697);
        if (c.columns == 0) {
            EXPECT_TRUE(g_dialog.writes.empty());
            EXPECT_EQ(MatrixState.columns, 5);
            continue;
        }
        EXPECT_EQ(MatrixState.columns, c.columns);
        EXPECT_EQ(MatrixState.rows, c.rows);
        EXPECT_EQ(g_dialog.text[3697], std::to_string(c.columns));
        EXPECT_EQ(g_dialog.text[3699], std::to_string(c.rows));
    }
    // A control too small for a grid ignores clicks.
    RecordingPort tiny(16, Zone{0, 0, 1, 1, 0, 0});
    g_dialog.writes.clear();
    MatrixSizePickerClick(&tiny, {0, 0}, 3699, 3697);
    EXPECT_TRUE(g_dialog.writes.empty());
}

// ---- The lines preview --------------------------------------------------------------------------

// A control of 170 x 170: units of 10, so line column c lies at x in [20c, 20c + 10) and the middle
// of cell row r at y in [20r + 10, 20r + 20).
constexpr Zone kPreview{0, 0, 170, 170, 0, 0};
oPoint OnVertical(int32_t c, int32_t r) {
    return {20 * c + 5, 20 * r + 15};
}
oPoint OnHorizontal(int32_t c, int32_t r) {
    return {20 * c + 15, 20 * r + 5};
}

TEST_F(DialogSupportTest, PreviewClicksToggleOnlyLinesBetweenCells) {
    PreviewWidget control(kPreview);
    MatrixState.columns = 3;
    MatrixState.rows = 2;
    g_dialog.radio[kMatrixLineKindFirst] = 1; // dotted
    struct Case {
        const char* name;
        oPoint point;
        bool vertical;
        int32_t c;
        int32_t r;
    };
    // One press on a fresh 3 × 2 grid.
    const auto pressAt = [&](oPoint point) {
        ResetMatrixModifyState();
        MatrixState.columns = 3;
        MatrixState.rows = 2;
        control.path = {point};
        InitMatrixLinesControl(&control);
    };
    const Case toggles[] = {
        {"left edge", OnVertical(0, 0), true, 0, 0},
        {"between columns", OnVertical(2, 1), true, 2, 1},
        {"right edge", OnVertical(3, 1), true, 3, 1},
        {"top edge", OnHorizontal(1, 0), false, 1, 0},
        {"bottom edge", OnHorizontal(2, 2), false, 2, 2},
    };
    for (const Case& c : toggles) {
        SCOPED_TRACE(c.name);
        pressAt(c.point);
        EXPECT_EQ(control.pressedToo, 1);
        const auto& words = c.vertical ? MatrixState.columnLines : MatrixState.rowLines;
        EXPECT_EQ(LineStyleAt(words[static_cast<size_t>(c.r)], c.c), kMatrixLineDotted);
        EXPECT_EQ(MatrixState.linesPresent, 1);
    }
    const Case ignored[] = {
        {"inside a cell", {25, 25}, false, 0, 0},
        {"on a crossing", {15, 15}, false, 0, 0},
        {"below the last row", OnVertical(1, 2), true, 0, 0},
        {"right of the last column", OnHorizontal(3, 1), false, 0, 0},
        {"beyond eight columns", OnHorizontal(8, 0), false, 0, 0},
    };
    for (const Case& c : ignored) {
        SCOPED_TRACE(c.name);
        pressAt(c.point);
        EXPECT_EQ(MatrixState.linesPresent, 0);
        for (size_t i = 0; i < 8; ++i) {
            EXPECT_EQ(MatrixState.columnLines[i], 0);
            EXPECT_EQ(MatrixState.rowLines[i], 0);
        }
    }
}

TEST_F(DialogSupportTest, ADragFromALineOfTheChosenKindClearsEveryLineItCrosses) {
    PreviewWidget control(kPreview);
    MatrixState.columns = 4;
    MatrixState.rows = 1;
    g_dialog.radio[kMatrixLineKindFirst] = 0; // solid
    // The first press draws three vertical lines (the repeated point is skipped).
    control.path = {OnVertical(1, 0), OnVertical(1, 0), OnVertical(2, 0), OnVertical(3, 0)};
    InitMatrixLinesControl(&control);
    EXPECT_EQ(MatrixState.columnLines[0],
              WithLineStyle(WithLineStyle(WithLineStyle(0, 1, 1), 2, 1), 3, 1));
    // A drag that starts on a solid line clears it and the next, and sets nothing.
    control.path = {OnVertical(2, 0), OnVertical(3, 0), OnVertical(4, 0)};
    InitMatrixLinesControl(&control);
    EXPECT_EQ(MatrixState.columnLines[0], WithLineStyle(0, 1, 1));
    EXPECT_EQ(MatrixState.currentLineKind, kMatrixLineNone);

    // "Tout effacer" clears everything and the flag.
    RecordingPort port(16, kPreview);
    ResetMatrixLinesPreview(&port);
    EXPECT_EQ(MatrixState.columnLines[0], 0);
    EXPECT_EQ(MatrixState.linesPresent, 0);
    EXPECT_EQ(control.drags, 2);
}

TEST_F(DialogSupportTest, PreviewDrawsCellsAndStyledLinesForAtMostEightByEight) {
    RecordingPort port(16, kPreview);
    MatrixState.columns = 12;
    MatrixState.rows = 2;
    MatrixState.columnLines[1] = WithLineStyle(0, 2, kMatrixLineDotted);
    MatrixState.rowLines[0] = WithLineStyle(0, 0, kMatrixLineSolid);
    DrawMatrixLinesPreview(&port);
    // Eight columns of two rows of cells.
    EXPECT_EQ(CountCalls(port, "paintZone"), 16) << port.text();
    // The first cell: unit 10, origin 5: from (5, 5) to (25, 25) inset by 4.
    EXPECT_EQ(CountCalls(port, "paintZone 9,9,21,21;"), 1);
    // One dotted vertical line left of cell (1, 2) and one solid line above cell (0, 0).
    EXPECT_EQ(CountCalls(port, "startDeluxeLine"), 2);
    EXPECT_EQ(CountCalls(port, "moveTo 45,25"), 1);
    EXPECT_EQ(CountCalls(port, "lineTo 45,45"), 1);
    EXPECT_EQ(CountCalls(port, "moveTo 5,5"), 1);
    EXPECT_EQ(CountCalls(port, "lineTo 25,5"), 1);
    EXPECT_EQ(port.protocolErrors(), 0);

    // A control narrower than 17 units still has units of 1.
    RecordingPort narrow(16, Zone{0, 0, 10, 10, 0, 0});
    DrawMatrixLinesPreview(&narrow);
    EXPECT_EQ(MatrixState.halfWidth, 1);
    // The first toggle of a press on a solid line clears it.
    MatrixLinesPreviewClick({1, 0});
    EXPECT_EQ(LineStyleAt(MatrixState.rowLines[0], 0), kMatrixLineNone);
}

} // namespace
} // namespace kvtest
