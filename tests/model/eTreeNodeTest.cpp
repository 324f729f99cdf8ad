#include "OverSrcs/eTreeNode.h"

#include "OverSrcs/eLayout.h"
#include "model/eScriptFixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// A 12-point label or son ("x", "y", "a", "b", "c") is 6 wide and 13 high with axis 7: the node's
// s is 13 and g = max(1, 13 / 32) = 1; a son adds 6 + 13 / 2 = 12 to its level's width.
class eTreeNodeTest : public ScriptTest {
protected:
    OwnedNode<eTreeNode> Make(int32_t kind, const std::vector<std::string>& sons,
                              const std::string& label = "x") {
        OwnedNode<eTreeNode> node = NewTreeNode(Row(label), static_cast<int32_t>(sons.size()) + 1);
        node->m_kind = kind;
        for (size_t i = 0; i < sons.size(); ++i)
            node->setChild(static_cast<int32_t>(i) + 1, Row(sons[i]));
        Measure(node.get());
        return node;
    }
    // The line calls of drawing the node with its origin at (x, y).
    std::vector<std::string> Lines(eExpr* node, int32_t x, int32_t y) {
        port->clear();
        DrawExpr(node, port.get(), 0, 0, 0, 0, x, y);
        std::vector<std::string> lines;
        for (const std::string& c : port->calls())
            if (c.rfind("startDeluxeLine", 0) == 0 || c.rfind("moveTo", 0) == 0 ||
                c.rfind("lineTo", 0) == 0 || c.rfind("endLine", 0) == 0 || c[0] == '!')
                lines.push_back(c);
        return lines;
    }
};

const char kLine1[] = "startDeluxeLine width=1 color=#000000ff style=0 mode=1";

TEST_F(eTreeNodeTest, SonLevelsFollowTheirKindBits) {
    struct Case {
        int32_t kind;
        int32_t son;
        bool intermediate;
    };
    for (Case c : {Case{0b10, 1, true}, Case{0b10, 2, false}, Case{0b100000, 5, true},
                   Case{0b1000000, 6, true}, Case{0b1000000, 8, true}, Case{0b1000000, 9, false},
                   Case{0b10000000, 9, true}, Case{0b10000000, 7, true}, Case{0b10000000, 8, false},
                   Case{0xFF, 0, false}, Case{1, 1, false}}) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " son " << c.son);
        EXPECT_EQ(TreeSonIsIntermediate(c.kind, c.son), c.intermediate);
    }
}

TEST_F(eTreeNodeTest, OneSonHangsCentredOnAStraightLine) {
    OwnedNode<eTreeNode> node = Make(0, {"y"});
    // W = max(12, 3, 13 + 6) = 19; v = 16g; height = 13 + 16 + 7 + 6.
    EXPECT_EQ(ShapeText(node->m_zone), "0,0,19,42;7,10");
    EXPECT_EQ(node->m_size, 13);
    EXPECT_EQ(AtText(node->getChild(0)), "6,0");  // (19 - 6) / 2
    EXPECT_EQ(AtText(node->getChild(1)), "6,29"); // (19 - (12 - 6)) / 2, 13 + 16 + 7 - 7
    // Stem at (100 + (19 - 1) / 2, 50 + 13 + 1); the line ends at stem + v - 3g, 2g above the
    // son's top (50 + 29).
    const std::vector<std::string> expected = {kLine1, "moveTo 109,64", "lineTo 109,77",
                                               "lineTo 109,77", "endLine"};
    EXPECT_EQ(Lines(node.get(), 100, 50), expected);
}

TEST_F(eTreeNodeTest, ATurnedTreeKeepsEveryDistanceWithTheAxesExchanged) {
    OwnedNode<eTreeNode> node = Make(kTreeTurned, {"y"});
    // Across is vertical: the label is 13 across and 6 down, the son too. W = max(13 + 6, 3,
    // 13 + 13) = 26; height = 6 + 16 + 0 + 6 = 28 to the right.
    EXPECT_EQ(ShapeText(node->m_zone), "0,0,28,26;13,16");
    EXPECT_EQ(AtText(node->getChild(0)), "0,6");
    EXPECT_EQ(AtText(node->getChild(1)), "22,6"); // down 6 + 16, across (26 - 13) / 2
    // Stem across (50 + 26 - 1 + 50) / 2 = 62, down 100 + 6 + 1 = 107; the line runs 13 to the
    // right, as the upright one runs 13 down.
    const std::vector<std::string> expected = {kLine1, "moveTo 107,62", "lineTo 120,62",
                                               "lineTo 120,62", "endLine"};
    EXPECT_EQ(Lines(node.get(), 100, 50), expected);
}

TEST_F(eTreeNodeTest, BottomSonsSpreadOverTheWholeWidthWithEqualGaps) {
    OwnedNode<eTreeNode> node = Make(0, {"a", "b", "c"});
    // W = 3 * 12 = 36; four slots: v = 36 / 8 + 3 = 7; height 13 + 7 + 7 + 6;
    // gap = (13 * 3 / 2 - 36 + 36) / 2 = 9.
    EXPECT_EQ(ShapeText(node->m_zone), "0,0,36,33;7,10");
    EXPECT_EQ(AtText(node->getChild(1)), "0,20");
    EXPECT_EQ(AtText(node->getChild(2)), "15,20");
    EXPECT_EQ(AtText(node->getChild(3)), "30,20");
    // Stem (17, 14); each line to its son's centre at 14 + 7 - 3 = 18, then down to 20 - 2.
    const std::vector<std::string> expected = {
        kLine1, "moveTo 17,14", "lineTo 2,18",  "lineTo 2,18",  "endLine",
        kLine1, "moveTo 17,14", "lineTo 17,18", "lineTo 17,18", "endLine",
        kLine1, "moveTo 17,14", "lineTo 32,18", "lineTo 32,18", "endLine"};
    EXPECT_EQ(Lines(node.get(), 0, 0), expected);
}

TEST_F(eTreeNodeTest, BottomLinesPassBetweenTheIntermediateSons) {
    OwnedNode<eTreeNode> node = Make(0b100, {"a", "b", "c"}); // son 2 intermediate
    // Wb = 24, Wi = 3 + 12 + 3 = 18, W = 24, v = 24 / 8 + 3 = 6;
    // height = 13 + 6 + 6 + (7 + 6) + (7 + 6) = 51; yi = 13 + 6 + 7 = 26, yb = 26 + 6 + 6 + 7.
    EXPECT_EQ(ShapeText(node->m_zone), "0,0,24,51;7,10");
    EXPECT_EQ(AtText(node->getChild(1)), "0,38");
    EXPECT_EQ(AtText(node->getChild(2)), "9,19"); // (24 - 12) / 2 + 3g
    EXPECT_EQ(AtText(node->getChild(3)), "19,38");
    // Stem (11, 14); Yi = 14 + 6 - 3 = 17; Y = 38 - 2 = 36; Yb = 36 - 6 + 3 = 33. The bottom
    // lines run down between the node's left edge and son 2 (x 4), and between son 2's right edge
    // and the node's right edge (x 19), then to their sons' centres.
    const std::vector<std::string> expected = {
        kLine1,         "moveTo 11,14", "lineTo 4,17",  "lineTo 4,33",  "lineTo 2,36",
        "lineTo 2,36",  "endLine",      kLine1,         "moveTo 11,14", "lineTo 11,17",
        "lineTo 11,17", "endLine",      kLine1,         "moveTo 11,14", "lineTo 19,17",
        "lineTo 19,33", "lineTo 21,36", "lineTo 21,36", "endLine"};
    EXPECT_EQ(Lines(node.get(), 0, 0), expected);
}

TEST_F(eTreeNodeTest, StrokesThickenWithTheLabelAndStartAtOne) {
    OwnedNode<eTreeNode> node = Make(0, {"y"});
    FSSRecord big = SizedStyle(64);
    node->getChild(0)->setChild(0, NewWord("x", 0, big, 0));
    Measure(node.get());
    ASSERT_EQ(node->m_size, 72); // 64 + 64 / 8
    const std::vector<std::string> lines = Lines(node.get(), 0, 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "startDeluxeLine width=2 color=#000000ff style=0 mode=1");
}

TEST_F(eTreeNodeTest, AColouredNodeDrawsItsLinesInItsColourAndRestoresThePort) {
    OwnedNode<eTreeNode> node = Make(0, {"a", "b"});
    node->m_colour = 0x03; // blue
    port->clear();
    DrawExpr(node.get(), port.get(), 0, 0, 0, 0, 0, 0);
    int32_t lines = 0;
    std::string lastColours;
    for (const std::string& c : port->calls()) {
        if (c.rfind("startDeluxeLine", 0) == 0) {
            ++lines;
            EXPECT_NE(c.find("color=#0000ffff"), std::string::npos) << c;
        }
        if (c.rfind("setColors", 0) == 0)
            lastColours = c;
        EXPECT_NE(c[0], '!') << c;
    }
    EXPECT_EQ(lines, 2);
    EXPECT_EQ(lastColours, "setColors #000000ff #ffffffff");
}

TEST_F(eTreeNodeTest, ExpandingKeepsTheClassLabelAndLevels) {
    OwnedNode<eTreeNode> node = Make(0b101, {"a", "b", "c"});
    OwnedNode<eSimpString> row = NewSimpString(1);
    auto* t = static_cast<eTreeNode*>(row->setChild(0, std::move(node)));
    eExpr* label = t->getChild(0);
    eExpandable* grown = t->replaceSlots(4, 4, 1);
    ASSERT_NE(dynamic_cast<eTreeNode*>(grown), nullptr);
    EXPECT_EQ(grown->childCount(), 5);
    EXPECT_EQ(grown->getChild(0), label);
    EXPECT_EQ(grown->m_kind, 0b101);
    int32_t code = 0;
    ASSERT_TRUE(grown->getTemplateCode(code));
    EXPECT_EQ(code, 0x3055);
    Measure(row.get());
    ExprPtr copy = grown->deepCopy();
    ASSERT_NE(dynamic_cast<eTreeNode*>(copy.get()), nullptr);
    EXPECT_NE(copy->getChild(1), grown->getChild(1));
}

} // namespace
} // namespace kvtest
