// The ruler band of a ruled row in ruler view mode, drawn through the recording port at 16 units
// per 16 points (one point per unit, line unit 1), and the ruler edits: dropping stops, the width
// marker and the tools.
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oWindows.h"
#include "model/ModelFixture.h"
#include "plat/Testing.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

struct Label {
    std::string text;
    int32_t x;
    int32_t y;
    int32_t font;
};
struct Image {
    int32_t id;
    int32_t left;
    int32_t top;
};

class RowRulerTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        MeasurementUnitSetting = 0;
        ResetCommandHooks();
        ResetCommandState();
    }
    void TearDown() override {
        MeasurementUnitSetting = 0;
        ResetCommandState();
        ResetCommandHooks();
        ModelTest::TearDown();
    }

    static OwnedNode<eDxString> Row() {
        OwnedNode<eDxString> row = NewDxString(1, nullptr);
        row->setChild(0, NewWord("ab", 0, SizedStyle(12), 0));
        return row;
    }
    // Lays the row out and draws it in ruler mode at (0, 0).
    void DrawInRulerMode(eDxString* row) {
        MeasureExprWithOptions(row, port.get(), 0, 0, 1, 0);
        port->clear();
        DrawExpr(row, port.get(), 0, 0, 1, 0, 0, 0);
    }
    std::vector<Label> Labels() const {
        std::vector<Label> out;
        for (const std::string& line : port->calls()) {
            char text[32] = {};
            Label l;
            if (std::sscanf(line.c_str(), "drawDeluxeString \"%31[^\"]\" font=%d at=%d,%d", text,
                            &l.font, &l.x, &l.y) == 4 &&
                l.y < 32) { // in the band, not the row's own text below it
                l.text = text;
                out.push_back(l);
            }
        }
        return out;
    }
    std::vector<Image> Images() const {
        std::vector<Image> out;
        for (const std::string& line : port->calls()) {
            Image im;
            if (std::sscanf(line.c_str(), "drawImage %d %d,%d", &im.id, &im.left, &im.top) == 3)
                out.push_back(im);
        }
        return out;
    }
    const RowRulerGeometry g = RulerGeometryFor(16, 1);
};

TEST_F(RowRulerTest, ScaleLabelsFollowTheMeasurementUnit) {
    struct Case {
        int32_t unit;
        const char* name;
        std::vector<int32_t> spacings; // allowed distances between labels, in points
        int32_t labelStep;
    };
    const std::vector<Case> cases = {
        {0, "inches", {72}, 1},
        // 2.5 cm is not a whole number of points: labels fall every 28 or 29 points.
        {1, "centimetres", {28, 29}, 1},
        {2, "points", {50}, 50},
        {3, "picas", {60}, 5},
    };
    // The labels are in the sans-serif font of the font manager.
    TheModelHooks().fontIndexForRole = [](char role) {
        return HookFontIndexForDesc(role == 'h' ? "Sans" : "Other", 12, false, false, false);
    };
    const int32_t sans = HookFontIndexForDesc("Sans", 12, false, false, false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeasurementUnitSetting = c.unit;
        OwnedNode<eDxString> row = Row();
        DrawInRulerMode(row.get());
        const std::vector<Label> labels = Labels();
        ASSERT_GE(labels.size(), 3u);
        EXPECT_EQ(labels[0].font, sans);
        int32_t previous = 2; // the label sits 2 units right of its tick (2 res / 16)
        for (size_t k = 0; k < labels.size(); ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(labels[k].text, std::to_string(c.labelStep * static_cast<int32_t>(k + 1)));
            const int32_t step = labels[k].x - previous;
            EXPECT_NE(std::find(c.spacings.begin(), c.spacings.end(), step), c.spacings.end())
                << step;
            previous = labels[k].x;
            // Every label belongs to a tick inside the band.
            EXPECT_LT(labels[k].x, 300 + 2);
        }
    }
}

TEST_F(RowRulerTest, TheRulerColourFollowsTheBackground) {
    struct Case {
        Color background;
        Color expected;
    };
    for (const Case& c : {Case{kColorWhite, kColorGrey64}, Case{kColorBlack, kColorWhite},
                          Case{Color{100, 100, 149, 255}, kColorWhite},
                          Case{Color{100, 100, 150, 255}, kColorGrey64}}) {
        SCOPED_TRACE(ColorText(c.background));
        port->setColors(nullptr, &c.background);
        OwnedNode<eDxString> row = Row();
        DrawInRulerMode(row.get());
        bool framed = false;
        for (const std::string& line : port->calls()) {
            if (line.rfind("frameZone 0,0,300,32", 0) == 0) {
                framed = true;
                EXPECT_NE(line.find("color=" + ColorText(c.expected)), std::string::npos) << line;
            }
        }
        EXPECT_TRUE(framed);
    }
}

TEST_F(RowRulerTest, StopIconsShowOnlyWithLeftJustification) {
    OwnedNode<eDxString> row = Row();
    row->m_tabStops[1] = MakeTabStop(kTabDecimal, 144);
    DrawInRulerMode(row.get());
    std::vector<Image> stops;
    std::vector<Image> tools;
    for (const Image& im : Images())
        (im.top == g.base + g.lu ? stops : tools).push_back(im);
    // All ten stops are walked (the empty ones fall right of the band, under the clip).
    ASSERT_EQ(stops.size(), 10u);
    EXPECT_EQ(stops[0].id, kTabIconBase + kTabLeft);
    EXPECT_EQ(stops[0].left, 72 - 6);
    EXPECT_EQ(stops[1].id, kTabIconBase + kTabDecimal);
    EXPECT_EQ(stops[1].left, 144 - 6);
    // The strip: five stop kinds at 24, 48, ... and three justifications from 240.
    ASSERT_EQ(tools.size(), 8u);
    for (size_t k = 0; k < tools.size(); ++k) {
        SCOPED_TRACE(k);
        const int32_t slot = k < 5 ? static_cast<int32_t>(k) + 1 : static_cast<int32_t>(k) + 5;
        EXPECT_EQ(tools[k].left, 24 * slot);
        EXPECT_EQ(tools[k].top, 32 - 9);
    }

    row->m_justification = kDxJustifyCentre;
    row->invalidate();
    DrawInRulerMode(row.get());
    EXPECT_EQ(Images().size(), 8u);
}

TEST_F(RowRulerTest, DroppedStopsKeepTheirOrder) {
    const Zone abs{0, 0, 300, 60, 0, 0};
    const int32_t bandStopTop = g.base + g.lu;
    auto positions = [](const eDxString* row) {
        std::vector<int32_t> p;
        for (uint16_t s : row->m_tabStops)
            p.push_back(TabIsEmpty(s) ? -1 : TabPositionOf(s));
        return p;
    };
    {
        SCOPED_TRACE("dropped left of another");
        OwnedNode<eDxString> row = NewDxString(0, nullptr);
        // The stop at 216 (slot 2) dropped at 100 points: its icon's left is 6 units before.
        DropTabStop(row.get(), 2, kTabRight, oPoint{100 - 6, bandStopTop}, abs, g, false);
        EXPECT_EQ(positions(row.get()),
                  (std::vector<int32_t>{72, 100, 144, 288, 360, 432, -1, -1, -1, -1}));
        EXPECT_EQ(TabKindOf(row->m_tabStops[1]), kTabRight);
    }
    {
        SCOPED_TRACE("dropped on the same position");
        OwnedNode<eDxString> row = NewDxString(0, nullptr);
        row->m_tabStops[0] = MakeTabStop(kTabCentre, 72);
        DropTabStop(row.get(), 1, kTabDecimal, oPoint{72 - 6, bandStopTop}, abs, g, false);
        EXPECT_EQ(row->m_tabStops[0], MakeTabStop(kTabCentre, 72));
        EXPECT_EQ(row->m_tabStops[1], MakeTabStop(kTabDecimal, 72));
    }
    {
        SCOPED_TRACE("dragged off the ruler");
        OwnedNode<eDxString> row = NewDxString(0, nullptr);
        row->m_justification = kDxJustifyRight;
        DropTabStop(row.get(), 0, kTabRight, oPoint{100, -20}, abs, g, false);
        EXPECT_EQ(positions(row.get()),
                  (std::vector<int32_t>{144, 216, 288, 360, 432, -1, -1, -1, -1, -1}));
        // The kind stays with the emptied stop, now after the set ones (ahead of the stops that
        // were empty already); dropping always returns to left justification.
        EXPECT_EQ(row->m_tabStops[5], kTabEmptyWord | kTabRight);
        EXPECT_EQ(row->m_justification, kDxJustifyLeft);
    }
    {
        SCOPED_TRACE("the last stop dragged off");
        OwnedNode<eDxString> row = NewDxString(0, nullptr);
        for (uint16_t& s : row->m_tabStops)
            s = kTabEmptyWord;
        row->m_tabStops[0] = MakeTabStop(kTabCentre, 100);
        // Into the tool strip: its middle lies below the strip's top.
        DropTabStop(row.get(), 0, kTabCentre, oPoint{100, 32 - 9}, abs, g, false);
        EXPECT_EQ(row->m_tabStops[0], MakeTabStop(kTabLeft, 36));
    }
    {
        SCOPED_TRACE("magnifier");
        OwnedNode<eDxString> row = NewDxString(0, nullptr);
        // 144 units right of the left edge on a screen of res 16 with the magnifier on.
        DropTabStop(row.get(), 0, kTabLeft, oPoint{10 + 144 - 6, bandStopTop},
                    Zone{10, 0, 500, 60, 0, 0}, g, true);
        EXPECT_EQ(row->m_tabStops[0], MakeTabStop(kTabLeft, 72));
    }
    {
        SCOPED_TRACE("far right");
        OwnedNode<eDxString> row = NewDxString(0, nullptr);
        DropTabStop(row.get(), 5, kTabLeft, oPoint{9000 - 6, bandStopTop},
                    Zone{0, 0, 20000, 60, 0, 0}, g, false);
        EXPECT_EQ(TabPositionOf(row->m_tabStops[5]), kTabMaxPosition);
        EXPECT_FALSE(TabIsEmpty(row->m_tabStops[5]));
    }
}

TEST_F(RowRulerTest, TheWidthMarkerSetsTheWidthInPoints) {
    OwnedNode<eDxString> row = NewDxString(0, nullptr);
    const Zone abs{10, 0, 310, 60, 0, 0};
    SetRulerWidthAt(row.get(), 210, abs, g, false);
    EXPECT_EQ(row->m_width, 200);
    SetRulerWidthAt(row.get(), 210, abs, RulerGeometryFor(21, 1), false);
    EXPECT_EQ(row->m_width, 200 * 16 / 21);
    SetRulerWidthAt(row.get(), 210, abs, g, true);
    EXPECT_EQ(row->m_width, 100);
    // Onto or past the left edge: one point, never nothing.
    SetRulerWidthAt(row.get(), 5, abs, g, false);
    EXPECT_EQ(row->m_width, 1);
}

TEST_F(RowRulerTest, ToolsPressedInTheBand) {
    OwnedNode<eDxString> row = Row();
    MeasureExprWithOptions(row.get(), port.get(), 0, 0, 1, 0);
    DrawState.absZone = Zone{0, 0, row->width(), row->height(), 0, 0};
    const int32_t stripY = 32 - 9 + 3;

    // The centring tool (the eleventh strip position) centres the row; the press selects nothing.
    SelectionEntry entry{row.get(), 1, 1, 0, 0};
    ASSERT_TRUE(row->hitClick({24 * 11 + 3, stripY}, {24 * 11 + 3, stripY}, entry));
    EXPECT_EQ(entry.node, nullptr);
    EXPECT_EQ(row->m_justification, kDxJustifyCentre);
    EXPECT_FALSE(row->isLaidOut());

    // A selection drag from the text that passes over the band edits nothing.
    row->m_justification = kDxJustifyLeft;
    MeasureExprWithOptions(row.get(), port.get(), 0, 0, 1, 0);
    const int32_t textY = row->height() - 2;
    SelectionEntry dragged;
    ASSERT_TRUE(row->hitClick({row->width() - 2, textY}, {24 * 11 + 3, stripY}, dragged));
    EXPECT_EQ(dragged.node, row.get());
    EXPECT_EQ(row->m_justification, kDxJustifyLeft);

    // A new stop needs a slot beyond the width: with ten stops within it, a beep and nothing else.
    for (int32_t i = 0; i < kTabStopCount; ++i)
        row->m_tabStops[i] = MakeTabStop(kTabLeft, 20 * (i + 1));
    const std::vector<uint16_t> before(row->m_tabStops, row->m_tabStops + kTabStopCount);
    const int32_t beeps = CommandBeepCount();
    RulerBandClick(row.get(), oPoint{24 + 3, stripY}, DrawState.absZone);
    EXPECT_EQ(CommandBeepCount(), beeps + 1);
    EXPECT_EQ(std::vector<uint16_t>(row->m_tabStops, row->m_tabStops + kTabStopCount), before);
    EXPECT_EQ(FreeTabStopSlot(row.get()), -1);
    row->m_tabStops[9] = kTabEmptyWord;
    EXPECT_EQ(FreeTabStopSlot(row.get()), 9);
}

// A pad whose mouse drags replay a scripted path (in pad coordinates) and end at its last point.
class ScriptedPad : public oPane {
public:
    void trackDrag(DragMoveCallback moveCb, DragEndCallback endCb, DragRestoreCallback,
                   int32_t) override {
        ++drags;
        for (const oPoint& p : path)
            moveCb(p);
        if (!path.empty())
            endCb(path.back());
    }
    void drawImage(int32_t resourceId, const Zone& zone, const Color&, const Color&,
                   int32_t) override {
        images.push_back({resourceId, zone.left, zone.top});
    }
    std::vector<oPoint> path;
    int drags = 0;
    std::vector<Image> images;
};

class RulerDragTest : public RowRulerTest {
protected:
    void SetUp() override {
        RowRulerTest::SetUp();
        plat::testing::reset();
        ActivePad = &pad;
        TheCommandHooks().markEdited = [](eExpr* node) { s_marked.push_back(node); };
        s_marked.clear();
        row = Row();
        MeasureExprWithOptions(row.get(), port.get(), 0, 0, 1, 0);
        DrawState.absZone = Zone{0, 0, row->width(), row->height(), 0, 0};
    }
    void TearDown() override {
        ActivePad = nullptr;
        row.reset();
        RowRulerTest::TearDown();
    }
    // A press at the point (pad coordinates; the row lies at the origin) followed by the path.
    void Press(oPoint at, std::vector<oPoint> path) {
        pad.path = std::move(path);
        SelectionEntry entry;
        ASSERT_TRUE(row->hitClick(at, at, entry));
        EXPECT_EQ(entry.node, nullptr);
    }
    std::vector<int32_t> Positions() const {
        std::vector<int32_t> p;
        for (uint16_t s : row->m_tabStops)
            p.push_back(TabIsEmpty(s) ? -1 : TabPositionOf(s));
        return p;
    }

    ScriptedPad pad;
    OwnedNode<eDxString> row;
    static inline std::vector<eExpr*> s_marked;
};

TEST_F(RulerDragTest, AStopDraggedAlongTheScaleMovesAndResorts) {
    // Grab the stop at 72 points two units right of its hot spot and drop it at 250.
    const int32_t y = g.base + g.lu + 2;
    Press({74, y}, {{120, y}, {252, y}});
    EXPECT_EQ(pad.drags, 1);
    // The stop's own icon follows the mouse, keeping its grip.
    const int32_t top = g.base + g.lu;
    ASSERT_EQ(pad.images.size(), 3u);
    EXPECT_EQ(pad.images[0].id, kTabIconBase + kTabLeft);
    EXPECT_EQ(pad.images[0].left, 72 - g.iconGrip);
    EXPECT_EQ(pad.images[1].left, 120 - 2 - g.iconGrip);
    EXPECT_EQ(pad.images[2].left, 252 - 2 - g.iconGrip);
    EXPECT_EQ(pad.images[2].top, top);
    EXPECT_EQ(Positions(), (std::vector<int32_t>{144, 216, 250, 288, 360, 432, -1, -1, -1, -1}));
    EXPECT_FALSE(row->isLaidOut());
    ASSERT_EQ(s_marked.size(), 1u);
    EXPECT_EQ(s_marked[0], row.get());
}

TEST_F(RulerDragTest, ANewStopComesFromTheStrip) {
    // The new stop takes the first slot beyond the row's width (300 points): the stop at 360,
    // which lay past the line end. The right-stop tool is the third of the strip.
    const int32_t stripY = g.height() - g.strip + 2;
    const int32_t y = g.base + g.lu + 2;
    Press({24 * 3 + 1, stripY}, {{100, y}, {101, y}});
    // The press was 1 unit right of the icon's left: the hot spot (6 units in) lands at 106.
    EXPECT_EQ(Positions(), (std::vector<int32_t>{72, 106, 144, 216, 288, 432, -1, -1, -1, -1}));
    EXPECT_EQ(TabKindOf(row->m_tabStops[1]), kTabRight);
}

TEST_F(RulerDragTest, TheWidthMarkerFollowsTheMouse) {
    // In ruler mode a root row spans its width (300): the marker is its last 6 units.
    ASSERT_EQ(row->width(), 300);
    Press({297, 10}, {{250, 10}, {180, 10}});
    EXPECT_EQ(row->m_width, 180);
    // Dragged past the left edge: one point, never nothing.
    Press({298, 10}, {{-40, 10}});
    EXPECT_EQ(row->m_width, 1);
}

} // namespace
} // namespace kvtest
