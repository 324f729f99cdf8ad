#include "OverSrcs/eSSScript.h"

#include "OverSrcs/eLayout.h"
#include "OverSrcs/eTensor.h"
#include "OverSrcs/eTreeNode.h"
#include "OverSrcs/eWord.h"
#include "model/eScriptFixture.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// Recording-port metrics used below (resolution 16; a word's size is its line height h, its axis
// height ascent - descent):
//   12 points: size 13, ascent 10, descent 3, axis 7; "x", "y", "a" 6 wide, "T" 8.
//   9 points (two steps below 12): size 10, ascent 7, descent 3, axis 4; "2", "n" 4, "i" 2,
//   "m" 6.
//   18 points (two steps above 12): size 20, ascent 15, descent 5, axis 10; "S" 12 wide.
// With the initial settings (H 4, D 2, P 8, B 8) a 12-point base has
//   rise = min(13 / 3, 7 / 2) + ((4 - 6) * 13 >> 4) = 3 - 2 = 1,
//   drop = max(13 - 13 / 4, 10) + 0 - (13 >> 4) = 10.

class eSSScriptTest : public ScriptTest {
protected:
    // A scripts node of that kind with the rows given, laid out as the root.
    OwnedNode<eSSScript> Make(int32_t kind, const std::vector<std::string>& texts) {
        OwnedNode<eSSScript> node =
            NewSSScript(nullptr, nullptr, nullptr, static_cast<int32_t>(texts.size()));
        node->m_kind = kind;
        for (size_t i = 0; i < texts.size(); ++i)
            node->setChild(static_cast<int32_t>(i), Row(texts[i]));
        Measure(node.get());
        return node;
    }
};

TEST_F(eSSScriptTest, ScriptsAreTwoStepsSmallerAndABigOperatorTwoStepsLarger) {
    OwnedNode<eSSScript> plain = Make(0, {"x", "2", "n"});
    EXPECT_EQ(plain->getChild(0)->m_size, 13);
    EXPECT_EQ(plain->getChild(1)->m_size, 10);
    EXPECT_EQ(plain->getChild(2)->m_size, 10);
    EXPECT_EQ(ShapeText(plain->getChild(1)->m_zone), "0,0,4,10;4,7");
    OwnedNode<eSSScript> op = Make(kScriptOperator | kScriptNoScripts, {"y", "S"});
    EXPECT_EQ(op->getChild(0)->m_size, 13);
    EXPECT_EQ(op->getChild(1)->m_size, 20);
    TypesettingSettings.scriptSize = 4;
    TypesettingSettings.bigOperatorSize = 1;
    EXPECT_EQ(plain->childSizeStep(2), -4);
    EXPECT_EQ(op->childSizeStep(1), 1);
    EXPECT_EQ(op->childSizeStep(0), 0);
}

TEST_F(eSSScriptTest, SubscriptAndSuperscriptStandAfterTheBase) {
    OwnedNode<eSSScript> node = Make(0, {"x", "2", "n"});
    // u = max((10 - 4 - 10) + 4 + 1, 0) / 2 = 0; above = 4 - 1 + 0 = 3;
    // below = 10 - 13 - 4 + 0 + 10 = 3; bottom 13 + 3 + 3.
    EXPECT_EQ(ShapeText(node->m_zone), "0,0,11,19;10,13");
    EXPECT_EQ(AtText(node->getChild(0)), "0,3");
    // Both at x = 6 + (10 * 8 >> 6); the subscript at u - 4 + 10 + 3, the superscript at
    // 1 - 4 - 0 + 3.
    EXPECT_EQ(AtText(node->getChild(1)), "7,9");
    EXPECT_EQ(AtText(node->getChild(2)), "7,0");
    EXPECT_EQ(node->m_size, 13);
}

TEST_F(eSSScriptTest, SettingsMoveTheScripts) {
    TypesettingSettings.superscriptHeight = 7; // rise 3 + (1 * 13 >> 4) = 3
    TypesettingSettings.subscriptDepth = 5;    // drop 10 + (3 * 13 >> 4) = 12
    TypesettingSettings.superscriptSeparation = 20;
    TypesettingSettings.subscriptSeparation = 0;
    OwnedNode<eSSScript> node = Make(0, {"x", "2", "n"});
    // u = max((10 - 4 - 12) + 4 + 3, 0) / 2 = 0; above = 4 - 3 = 1; below = 10 - 13 - 4 + 12 = 5.
    EXPECT_EQ(ShapeText(node->m_zone), "0,0,13,19;8,11");
    EXPECT_EQ(AtText(node->getChild(1)), "6,9"); // 6 + 0, 0 - 4 + 12 + 1
    EXPECT_EQ(AtText(node->getChild(2)), "9,0"); // 6 + (10 * 20 >> 6), 3 - 4 + 1
}

TEST_F(eSSScriptTest, AnItalicBasesOverhangPullsOnlyTheSubscriptIn) {
    // The italic overhang at 12 points, (10 + 2) / 4 / 4 = 0, is too small to see: 48 points.
    OwnedNode<eSSScript> big = NewSSScript(Row("x", kItalicOn), Row("2"), Row("n"), 3);
    FSSRecord style;
    InitFSSRecord(style);
    style.size = 48;
    style.setItalicMode(kItalicOn);
    style.style[kStyleItalic] = 1;
    big->getChild(0)->setChild(0, NewWord("x", 0, style, 0));
    Measure(big.get());
    int32_t left = 0, right = 0, k = 0;
    big->getChild(0)->getExtents(left, right, k);
    ASSERT_GT(k, 0);
    const eExpr* sub = big->getChild(1);
    const eExpr* sup = big->getChild(2);
    EXPECT_EQ(sup->m_zone.left - sub->m_zone.left, k);
    // Structure display turns the correction off.
    MeasureExprWithOptions(big.get(), port.get(), 1, 0, 0, 0);
    InvalidateTree(big.get());
    MeasureExprWithOptions(big.get(), port.get(), 1, 0, 0, 0);
    EXPECT_EQ(big->getChild(2)->m_zone.left - big->getChild(1)->m_zone.left, 0);
}

TEST_F(eSSScriptTest, LimitsAreCentredUnderAndOverTheBase) {
    OwnedNode<eSSScript> node = Make(kScriptNoScripts | kScriptLimits, {"x", "n", "i"});
    // gap = max(1, (13 + 8) / 16) = 1; above = 10 + 1, below = 10 + 1; w = max(6, 4, 2).
    EXPECT_EQ(ShapeText(node->m_zone), "0,0,6,35;18,21");
    EXPECT_EQ(AtText(node->getChild(0)), "0,11");
    EXPECT_EQ(AtText(node->getChild(1)), "1,25"); // (6 - 4) / 2, 13 + 11 + 1
    EXPECT_EQ(AtText(node->getChild(2)), "2,0");  // (6 - 2) / 2, 11 - 10 - 1
}

TEST_F(eSSScriptTest, PrescriptsAreRightAlignedBeforeTheBase) {
    OwnedNode<eSSScript> node = Make(kScriptNoScripts | kScriptPrescripts, {"x", "m", "n"});
    // t = 0, above 3, below 3 as for scripts; w = max(6, 4).
    EXPECT_EQ(ShapeText(node->m_zone), "0,0,12,19;10,13");
    EXPECT_EQ(AtText(node->getChild(1)), "0,9");
    EXPECT_EQ(AtText(node->getChild(2)), "2,0");
    EXPECT_EQ(AtText(node->getChild(0)), "6,3");
}

TEST_F(eSSScriptTest, ABigOperatorIsFollowedByItsOperandAtAQuarterOfTheSize) {
    OwnedNode<eSSScript> node = Make(kScriptOperator, {"y", "S"});
    // The base is the 18-point operator: above = max(0, 7 - 10) = 0,
    // below = max(0, 13 - 20 - 7 + 10) = 0. The node has the operand's size; the operand goes to
    // 12 + 13 / 4 at 10 - 7.
    EXPECT_EQ(ShapeText(node->m_zone), "0,0,21,20;10,15");
    EXPECT_EQ(node->m_size, 13);
    EXPECT_EQ(AtText(node->getChild(1)), "0,0");
    EXPECT_EQ(AtText(node->getChild(0)), "15,3");
}

TEST_F(eSSScriptTest, AGroupWithAMissingSlotIsNotPlaced) {
    // Kind 0 with two slots: the subscript slot exists but the superscript slot does not.
    OwnedNode<eSSScript> node = Make(0, {"x", "2"});
    EXPECT_EQ(ShapeText(node->m_zone), "0,0,6,13;7,10");
    EXPECT_EQ(AtText(node->getChild(1)), "0,0");
    // One slot: just the base.
    OwnedNode<eSSScript> single = Make(0, {"x"});
    EXPECT_EQ(ShapeText(single->m_zone), "0,0,6,13;7,10");
    // Limits asked for but only the lower limit slot exists.
    OwnedNode<eSSScript> limit = Make(kScriptNoScripts | kScriptLimits, {"x", "n"});
    EXPECT_EQ(ShapeText(limit->m_zone), "0,0,6,13;7,10");
    // The operand alone.
    OwnedNode<eSSScript> operand = Make(kScriptOperator, {"y"});
    EXPECT_EQ(ShapeText(operand->m_zone), "0,0,6,13;7,10");
}

TEST_F(eSSScriptTest, EmptySlotsMeasureAsNothingAndAreSkipped) {
    OwnedNode<eSSScript> node = NewSSScript(Row("x"), nullptr, Row("n"), 3);
    Measure(node.get());
    // The subscript is empty: u = max((10 - 4 - 10) + 0 + 1, 0) / 2 = 0, above 3,
    // below = max(0, 0 - 13 - 0 + 0 + 10) = 0.
    EXPECT_EQ(ShapeText(node->m_zone), "0,0,11,16;10,13");
    EXPECT_EQ(AtText(node->getChild(2)), "7,0");
}

// Every group at once, checked against the layout rules written out here from the metrics of the
// children as measured.
TEST_F(eSSScriptTest, AllGroupsTogether) {
    OwnedNode<eSSScript> node = Make(7, {"y", "S", "i", "n", "m", "a", "2", "x"});
    auto M = [&](int32_t i) { return node->getChild(i)->m_zone; };
    auto W = [&](int32_t i) { return M(i).right - M(i).left; };
    auto B = [&](int32_t i) { return M(i).bottom - M(i).top; }; // bottom of an unplaced zone
    auto A = [&](int32_t i) { return M(i).ref1; };
    const int32_t s = node->getChild(1)->m_size; // the operator
    ASSERT_EQ(s, 20);
    const int32_t rise = std::min(s / 3, A(1) / 2) + ((-2 * s) >> 4);
    const int32_t drop = std::max(B(1) - s / 4, M(1).ref2) - (s >> 4);
    const int32_t gap = 1;
    const int32_t t = std::max(B(7) - A(7) - drop + A(6) + rise, 0) / 2;
    int32_t above = std::max(A(7) - rise + t, 0);
    int32_t below = std::max(B(6) - B(1) - A(6) + t + drop, 0);
    above = std::max(above, B(5) + gap);
    below = std::max(below, B(4) + gap);
    const int32_t u = std::max(B(3) - A(3) - drop + A(2) + rise, 0) / 2;
    above = std::max(above, A(3) - rise + u);
    below = std::max(below, B(2) - B(1) - A(2) + u + drop);
    above = std::max(above, A(0) - A(1));
    below = std::max(below, B(0) - B(1) - A(0) + A(1));
    const int32_t pre = std::max(W(6), W(7));
    const int32_t w = std::max({W(1), W(4), W(5)});
    const int32_t x = pre + w;
    const int32_t subX = x + (node->getChild(2)->m_size * 8 >> 6);
    const int32_t scriptsEnd = std::max(subX + W(2), subX + W(3));
    const int32_t operandX = scriptsEnd + node->getChild(0)->m_size / 4;
    char expected[96];
    std::snprintf(expected, sizeof expected, "0,0,%d,%d;%d,%d", operandX + W(0),
                  B(1) + below + above, A(1) + above, M(1).ref2 + above);
    ASSERT_GT(above, 0);
    ASSERT_GT(below, 0);
    // Place the children again where the rules put them and compare.
    EXPECT_EQ(ShapeText(node->m_zone), expected);
    EXPECT_EQ(node->getChild(6)->m_zone.left, pre - W(6));
    EXPECT_EQ(node->getChild(6)->m_zone.top, t - A(6) + drop + above);
    EXPECT_EQ(node->getChild(7)->m_zone.left, pre - W(7));
    EXPECT_EQ(node->getChild(7)->m_zone.top, rise - A(7) - t + above);
    EXPECT_EQ(node->getChild(1)->m_zone.left, pre + (w - W(1)) / 2);
    EXPECT_EQ(node->getChild(1)->m_zone.top, above);
    EXPECT_EQ(node->getChild(4)->m_zone.top, B(1) + above + gap);
    EXPECT_EQ(node->getChild(5)->m_zone.top, above - B(5) - gap);
    EXPECT_EQ(node->getChild(2)->m_zone.left, subX);
    EXPECT_EQ(node->getChild(3)->m_zone.top, rise - A(3) - u + above);
    EXPECT_EQ(node->getChild(0)->m_zone.left, operandX);
    EXPECT_EQ(node->getChild(0)->m_zone.top, A(1) - A(0) + above);
}

TEST_F(eSSScriptTest, DrawingIsTheChildrenInTheNodesColourWithThePortRestored) {
    OwnedNode<eSSScript> node = Make(0, {"x", "2", "n"});
    node->m_colour = 0xE0;
    port->clear();
    DrawExpr(node.get(), port.get(), 0, 0, 0, 0, 0, 0);
    std::vector<std::string> colours;
    int32_t strings = 0;
    for (const std::string& c : port->calls()) {
        if (c.rfind("setColors", 0) == 0)
            colours.push_back(c);
        if (c.find("String") != std::string::npos)
            ++strings;
        EXPECT_EQ(c.find("Line"), std::string::npos) << c;
    }
    EXPECT_EQ(strings, 3);
    ASSERT_GE(colours.size(), 2u);
    EXPECT_EQ(colours.back(), "setColors #000000ff #ffffffff");
}

// ---- Codes, factories and copies ----

struct CodeCase {
    int32_t code;
    int32_t family; // -1: no node
};

class ScriptCodes : public ScriptTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(ScriptCodes, RoundTripThroughTheirClass) {
    char name[16];
    std::snprintf(name, sizeof name, "0x%04X", GetParam().code);
    SCOPED_TRACE(name);
    ExprPtr node = NewTemplateFromCode(GetParam().code);
    ASSERT_EQ(node != nullptr, GetParam().family >= 0);
    if (!node)
        return;
    switch (GetParam().family) {
    case kTemplateFamilyScript:
        EXPECT_NE(dynamic_cast<eSSScript*>(node.get()), nullptr);
        break;
    case kTemplateFamilyTensor:
        EXPECT_NE(dynamic_cast<eTensor*>(node.get()), nullptr);
        break;
    default:
        EXPECT_NE(dynamic_cast<eTreeNode*>(node.get()), nullptr);
        break;
    }
    auto* t = static_cast<eTemplate*>(node.get());
    EXPECT_EQ(t->m_kind, TemplateKindOf(GetParam().code));
    EXPECT_EQ(t->childCount(), TemplateSlotsOf(GetParam().code));
    int32_t code = -1;
    ASSERT_TRUE(t->getTemplateCode(code));
    EXPECT_EQ(code, GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Table, ScriptCodes,
                         ::testing::Values(CodeCase{0x5001, 5}, CodeCase{0x5003, 5},
                                           CodeCase{0x5078, 5}, CodeCase{0x5FF3, 5},
                                           CodeCase{0x5000, -1}, CodeCase{0x6022, 6},
                                           CodeCase{0x6A5F, 6}, CodeCase{0x6001, -1},
                                           CodeCase{0x3002, 3}, CodeCase{0x3005, 3},
                                           CodeCase{0x31F9, 3}, CodeCase{0x3001, -1}));

// A node made from a code has as many slots as the code's low four bits say, all empty, and lays
// out and draws without a failed assertion.
TEST_F(eSSScriptTest, NodesFreshFromCodesLayOutAndDrawWithEmptySlots) {
    for (int32_t code : {0x5078, 0x5FFF, 0x5041, 0x60AF, 0x6002, 0x3FF9, 0x3012}) {
        SCOPED_TRACE(code);
        ExprPtr node = NewTemplateFromCode(code);
        ASSERT_TRUE(node);
        ASSERT_EQ(node->childCount(), code & 0xF);
        // The reader fills the slots after making the node; until then they hold nothing.
        for (int32_t i = 0; i < node->childCount(); ++i)
            EXPECT_EQ(node->getChild(i), nullptr) << i;
        Measure(node.get());
        EXPECT_TRUE(node->isLaidOut());
        port->clear();
        DrawExpr(node.get(), port.get(), 0, 0, 0, 0, 5, 5);
        EXPECT_EQ(port->protocolErrors(), 0);
        for (const std::string& c : port->calls())
            EXPECT_NE(c[0], '!') << c;
    }
}

TEST_F(eSSScriptTest, CodesOfNodesMadeInTheProgramFollowTheirKindAndCount) {
    int32_t code = 0;
    ASSERT_TRUE(NewSSScript(Row("x"), Row("2"), Row("n"), 3)->getTemplateCode(code));
    EXPECT_EQ(code, 0x5003);
    ASSERT_TRUE(NewPrescriptTemplate(0x4206)->getTemplateCode(code));
    EXPECT_EQ(code, 0x5078);
    ASSERT_TRUE(NewTensor(Row("T"), 3)->getTemplateCode(code));
    EXPECT_EQ(code, 0x6023);
    ASSERT_TRUE(NewTreeNode(Row("x"), 4)->getTemplateCode(code));
    EXPECT_EQ(code, 0x3004);
}

TEST_F(eSSScriptTest, NewSSScriptKeepsOnlyTheScriptsItHasSlotsFor) {
    OwnedNode<eSSScript> node = NewSSScript(Row("x"), Row("2"), Row("n"), 2);
    EXPECT_EQ(node->childCount(), 2);
    EXPECT_EQ(node->m_kind, 0);
    EXPECT_NE(node->getChild(1), nullptr);
    EXPECT_EQ(node->getChild(1)->m_parent, node.get());
    EXPECT_EQ(node->getChild(1)->m_index, 1);
}

TEST_F(eSSScriptTest, PrescriptCommandsPutTheirPlaceholderInTheirSlot) {
    struct Case {
        int32_t command;
        int32_t slot;
    };
    for (Case c : {Case{0x4206, 6}, Case{0x4207, 4}, Case{0x4208, 5}, Case{0x4209, -1}}) {
        SCOPED_TRACE(c.command);
        OwnedNode<eSSScript> node = NewPrescriptTemplate(c.command);
        ASSERT_EQ(node->childCount(), 8);
        EXPECT_EQ(node->m_kind, 7);
        for (int32_t i = 0; i < 8; ++i) {
            const eExpr* row = node->getChild(i);
            ASSERT_NE(row, nullptr);
            ASSERT_TRUE(row->isString());
            const bool placeholder = i == 1 || i == c.slot;
            EXPECT_EQ(row->childCount(), placeholder ? 1 : 0) << i;
        }
    }
}

TEST_F(eSSScriptTest, ScriptAroundSelectionHasAnEmptyOperandAndPlaceholdersElsewhere) {
    for (uint8_t option : {uint8_t{0}, uint8_t{1}}) {
        SCOPED_TRACE(option);
        ReplacePlaceholdersOption = option;
        OwnedNode<eSSScript> node = NewScriptAroundSelection();
        EXPECT_EQ(ReplacePlaceholdersOption, option);
        ASSERT_EQ(node->childCount(), 8);
        EXPECT_EQ(node->m_kind, 7);
        EXPECT_EQ(node->m_colour, 0);
        ASSERT_TRUE(node->getChild(0)->isString());
        EXPECT_EQ(node->getChild(0)->childCount(), 0);
        for (int32_t i = 1; i < 8; ++i) {
            SCOPED_TRACE(i);
            const eExpr* row = node->getChild(i);
            ASSERT_TRUE(row->isString());
            EXPECT_EQ(row->m_parent, node.get());
            EXPECT_EQ(row->m_index, i);
            ASSERT_EQ(row->childCount(), 1);
            EXPECT_EQ(static_cast<const eWord*>(row->getChild(0))->view(), "?");
            for (int32_t j = 1; j < i; ++j)
                EXPECT_NE(row->getChild(0), node->getChild(j)->getChild(0));
        }
        // The eight-slot scripts template, as the file format numbers it.
        int32_t code = 0;
        ASSERT_TRUE(node->getTemplateCode(code));
        EXPECT_EQ(code, 0x5078);
    }
}

TEST_F(eSSScriptTest, ACopyIsIndependentOfItsSource) {
    OwnedNode<eSSScript> node = Make(7, {"y", "S", "i", "n", "m", "a", "2", "x"});
    ExprPtr copy = node->deepCopy();
    ASSERT_NE(dynamic_cast<eSSScript*>(copy.get()), nullptr);
    EXPECT_EQ(static_cast<eTemplate*>(copy.get())->m_kind, 7);
    for (int32_t i = 0; i < 8; ++i) {
        ASSERT_NE(copy->getChild(i), node->getChild(i));
        EXPECT_EQ(copy->getChild(i)->m_parent, copy.get());
    }
    s_destroyed.clear();
    copy.reset();
    EXPECT_EQ(std::find(s_destroyed.begin(), s_destroyed.end(), node->getChild(3)),
              s_destroyed.end());
    // The source still lays out and its code is unchanged.
    Measure(node.get());
    int32_t code = 0;
    ASSERT_TRUE(node->getTemplateCode(code));
    EXPECT_EQ(code, 0x5078);
}

} // namespace
} // namespace kvtest
