#include "OverSrcs/commands/kInsert.h"

#include "OverPc/PFONTS.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/Portdc.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eChar.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eLongDivision.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eOverstrike.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eTensor.h"
#include "OverSrcs/eTreeNode.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oWindows.h"
#include "framework/ErrorFixture.h"
#include "model/EditModelFixture.h"
#include "model/ModelFixture.h"
#include "plat/Gdi.h"
#include "support/BitmapPort.h"
#include "support/FontPin.h"
#include "support/Golden.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// The class of a template node, by name.
std::string ClassOf(const eExpr* node) {
    if (dynamic_cast<const eFraction*>(node))
        return "eFraction";
    if (dynamic_cast<const eRoot*>(node))
        return "eRoot";
    if (dynamic_cast<const eOverstrike*>(node))
        return "eOverstrike";
    if (dynamic_cast<const eLongDivision*>(node))
        return "eLongDivision";
    if (dynamic_cast<const eBox*>(node))
        return "eBox";
    if (dynamic_cast<const eFence*>(node))
        return "eFence";
    if (dynamic_cast<const eIntegral*>(node))
        return "eIntegral";
    if (dynamic_cast<const eMark*>(node))
        return "eMark";
    if (dynamic_cast<const eSSScript*>(node))
        return "eSSScript";
    if (dynamic_cast<const eTensor*>(node))
        return "eTensor";
    if (dynamic_cast<const eTreeNode*>(node))
        return "eTreeNode";
    return node == nullptr ? "null" : "other";
}

bool IsPlaceholderRow(const eExpr* row) {
    if (row == nullptr || !row->isString() || row->childCount() != 1)
        return false;
    const auto* word = dynamic_cast<const eWord*>(row->getChild(0));
    return word != nullptr && word->view() == "?";
}

// The slot of `tmpl` that holds the node, -1 when the node is not inside it.
int32_t SlotOf(const eExpr* tmpl, const eExpr* node) {
    for (; node != nullptr; node = node->m_parent)
        if (node->m_parent == tmpl)
            return node->m_index;
    return -1;
}

// One insertion code, the template code of what it builds (family, kind, slot count, written as
// each class's code rule says), its class, and the slots that must hold placeholders; the others
// are empty rows, but for the operator slot of the big operators.
struct InsertCase {
    int32_t code;
    int32_t templateCode;
    const char* cls;
    std::vector<int32_t> placeholders;
    int operatorByte = -1; // slot 1 holds this Symbol byte
};

const std::vector<InsertCase>& InsertCases() {
    static const std::vector<InsertCase> cases = {
        // Fractions: the style is the code's low nibble, two placeholders.
        {0x4001, 0x0012, "eFraction", {0, 1}},
        {0x4002, 0x0022, "eFraction", {0, 1}},
        {0x4005, 0x0052, "eFraction", {0, 1}},
        {0x4006, 0x0062, "eFraction", {0, 1}},
        {0x4007, 0x0072, "eFraction", {0, 1}},
        // Square root: the index slot stays empty; with index: both to fill.
        {0x4010, 0x0032, "eRoot", {0}},
        {0x4011, 0x0032, "eRoot", {0, 1}},
        {0x4020, 0x0042, "eOverstrike", {0, 1}},
        // Dividend, divisor, quotient to fill; the working stays empty.
        {0x4030, 0x0084, "eLongDivision", {0, 1, 2}},
        // A one-point frame: thickness index 3.
        {0x4040, 0x7031, "eBox", {0}},
        // Fences: kind = opening * 16 + closing, horizontal ones in family 9.
        {0x4111, 0x1111, "eFence", {0}},
        {0x4122, 0x1221, "eFence", {0}},
        {0x4134, 0x1341, "eFence", {0}},
        {0x4170, 0x1701, "eFence", {0}},
        {0x41AA, 0x1AA1, "eFence", {0}},
        {0x4522, 0x9221, "eFence", {0}},
        {0x4502, 0x9021, "eFence", {0}},
        // Scripts after the base: slot 1 subscript, slot 2 superscript.
        {0x4201, 0x5003, "eSSScript", {0, 2}},
        {0x4202, 0x5003, "eSSScript", {0, 1}},
        {0x4203, 0x5003, "eSSScript", {0, 1, 2}},
        // Limits without scripts (kind 0x0A): base, lower, upper.
        {0x4204, 0x50A3, "eSSScript", {0, 1}},
        {0x4205, 0x50A3, "eSSScript", {0, 2}},
        {0x420A, 0x50A3, "eSSScript", {0, 1, 2}},
        // The full script template (kind 7, eight slots): operand, base, sub, sup, lower, upper,
        // pre-sub, pre-sup; the base and the part the code names are to fill.
        {0x4206, 0x5078, "eSSScript", {1, 6}},
        {0x4207, 0x5078, "eSSScript", {1, 4}},
        {0x4208, 0x5078, "eSSScript", {1, 5}},
        {0x4209, 0x5078, "eSSScript", {1}},
        // A tensor with one upper index; a tree node with two sons.
        {0x4210, 0x6022, "eTensor", {0, 1}},
        {0x4211, 0x3003, "eTreeNode", {0, 1, 2}},
        // Integrals: the kind is the code's low byte; 0x47kk has limits to fill.
        {0x4300, 0x2003, "eIntegral", {0}},
        {0x4301, 0x2013, "eIntegral", {0}},
        {0x4310, 0x2103, "eIntegral", {0}},
        {0x4700, 0x2003, "eIntegral", {0, 1, 2}},
        {0x4708, 0x2083, "eIntegral", {0, 1, 2}},
        {0x4722, 0x2223, "eIntegral", {0, 1, 2}},
        // Marks: kind = the code's low byte.
        {0x4401, 0x4011, "eMark", {0}},
        {0x4414, 0x4141, "eMark", {0}},
        {0x4436, 0x4361, "eMark", {0}},
        {0x444B, 0x44B1, "eMark", {0}},
        // Big operators: operand, operator, then limits (kind 0x0E) or scripts (kind 4).
        {0x4601, 0x50E4, "eSSScript", {0, 2, 3}, 0x53},
        {0x4602, 0x50E4, "eSSScript", {0, 2, 3}, 0x50},
        {0x4603, 0x50E4, "eSSScript", {0, 2, 3}, 0xC8},
        {0x4604, 0x50E4, "eSSScript", {0, 2, 3}, 0xC7},
        {0x4611, 0x5044, "eSSScript", {0, 2, 3}, 0x53},
        {0x4612, 0x5044, "eSSScript", {0, 2, 3}, 0x50},
        {0x4613, 0x5044, "eSSScript", {0, 2, 3}, 0xC8},
        {0x4614, 0x5044, "eSSScript", {0, 2, 3}, 0xC7},
    };
    return cases;
}

class InsertTest : public EditModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        RegisterAllTemplates();
        installCommands();
        openRecord();
        CtrlHeld = 0;
        ShiftHeld = 0;
    }

    // Inserts the code at a caret in a fresh, empty expression; the template, or null.
    eExpr* insertFresh(int32_t code) {
        ClearSelectionList(m_record);
        ExprPtr empty = NewEmptySimpString();
        m_record.m_root->setChild(0, std::move(empty));
        select({expression(), 0, 0, 0, 0});
        DoCommand(code, 0);
        if (expression()->childCount() != 1)
            return nullptr;
        eExpr* t = expression()->getChild(0);
        return t->isTemplate() ? t : nullptr;
    }
    // The word of slot i's placeholder.
    static eExpr* placeholderWord(eExpr* t, int32_t i) { return t->getChild(i)->getChild(0); }

    // Lays the active tree out with the structure display on or off.
    void layOut(bool structure) {
        m_record.m_options[kOptionStructure] = structure ? 1 : 0;
        InvalidateTree(m_record.m_root);
        MeasureExprWithOptions(m_record.m_root, port.get(), structure ? 1 : 0, 0, 0, 0);
        DrawState.rootOrigin = oPoint{0, 0};
    }
};

// ---- What each code builds
// ----------------------------------------------------------------------

TEST_F(InsertTest, EveryTemplateCodeBuildsItsClassWithPlaceholdersAndSelectsTheFirst) {
    for (const InsertCase& c : InsertCases()) {
        SCOPED_TRACE(testing::Message() << std::hex << "code 0x" << c.code);
        const int32_t beeps = CommandBeepCount();
        eExpr* t = insertFresh(c.code);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(CommandBeepCount(), beeps);
        EXPECT_EQ(ClassOf(t), c.cls);
        int32_t code = 0;
        ASSERT_TRUE(static_cast<eTemplate*>(t)->getTemplateCode(code));
        EXPECT_EQ(code, c.templateCode) << std::hex << code;
        ASSERT_EQ(t->childCount(), TemplateSlotsOf(c.templateCode));
        const std::set<int32_t> wanted(c.placeholders.begin(), c.placeholders.end());
        for (int32_t i = 0; i < t->childCount(); ++i) {
            SCOPED_TRACE(testing::Message() << "slot " << i);
            eExpr* row = t->getChild(i);
            ASSERT_NE(row, nullptr) << "every slot holds a row";
            ASSERT_TRUE(row->isString());
            if (wanted.count(i) != 0) {
                EXPECT_TRUE(IsPlaceholderRow(row));
            } else if (c.operatorByte >= 0 && i == 1) {
                ASSERT_EQ(row->childCount(), 1);
                const auto* word = dynamic_cast<const eWord*>(row->getChild(0));
                ASSERT_NE(word, nullptr);
                EXPECT_EQ(word->view(), std::string(1, static_cast<char>(c.operatorByte)));
                FSSRecord style;
                word->storedStyle(style);
                EXPECT_STREQ(style.fontName, "Symbol");
            } else {
                EXPECT_EQ(row->childCount(), 0) << "an optional part starts empty";
            }
        }
        // Typing replaces the first placeholder: its "?" is selected whole.
        EXPECT_EQ(caret(), (SelectionEntry{placeholderWord(t, c.placeholders[0]), 0, 1, 0, 0}));
    }
}

TEST_F(InsertTest, TheSelectionMovesIntoTheFirstPlaceholderAndTheNextIsSelected) {
    for (const InsertCase& c : InsertCases()) {
        SCOPED_TRACE(testing::Message() << std::hex << "code 0x" << c.code);
        ClearSelectionList(m_record);
        m_record.m_root->setChild(0, NewEmptySimpString());
        select({expression(), 0, 0, 0, 0});
        for (char ch : std::string("ab"))
            DoCommand(MakeCharCode(kTypingStyleSelector, static_cast<unsigned char>(ch)), 1);
        ASSERT_EQ(expression()->childCount(), 1);
        select({expression(), 0, 1, 0, 0});
        DoCommand(c.code, 0);
        ASSERT_EQ(expression()->childCount(), 1) << "the template replaced the selection";
        eExpr* t = expression()->getChild(0);
        ASSERT_TRUE(t->isTemplate());
        eExpr* moved = t->getChild(c.placeholders[0]);
        ASSERT_EQ(moved->childCount(), 1);
        const auto* word = dynamic_cast<const eWord*>(moved->getChild(0));
        ASSERT_NE(word, nullptr);
        EXPECT_EQ(word->view(), "ab");
        if (c.placeholders.size() > 1) {
            EXPECT_EQ(caret(), (SelectionEntry{placeholderWord(t, c.placeholders[1]), 0, 1, 0, 0}));
        } else {
            // Nothing left to fill: the caret goes after the template.
            EXPECT_EQ(caret(), (SelectionEntry{expression(), 1, 1, 0, 0}));
        }
        // One undo gives back the typed row and its selection.
        DoCommand(kCmdUndo, 0);
        ASSERT_EQ(expression()->childCount(), 1);
        const auto* back = dynamic_cast<const eWord*>(expression()->getChild(0));
        ASSERT_NE(back, nullptr) << "undo restored the word";
        EXPECT_EQ(back->view(), "ab");
        EXPECT_EQ(caret(), (SelectionEntry{expression(), 0, 1, 0, 0}));
    }
}

// A macro without placeholders: the selection goes into its first empty row, depth first, and
// the caret ends after what was inserted.
TEST_F(InsertTest, WithoutPlaceholdersTheSelectionGoesIntoTheFirstEmptyRow) {
    FSSRecord style;
    InitFSSRecord(style);
    OwnedNode<eSimpString> body = NewSimpString(2);
    body->setChild(0, NewWord("k", 0, style, 0));
    body->setChild(1, NewFraction(NewSimpStringWith(NewWord("n", 0, style, 0)), NewSimpString(0)));
    MacroList.push_back({0x5007, std::move(body)});
    for (char ch : std::string("ab"))
        DoCommand(MakeCharCode(kTypingStyleSelector, static_cast<unsigned char>(ch)), 1);
    select({expression(), 0, 1, 0, 0});
    DoCommand(0x5007, 0);
    ASSERT_EQ(expression()->childCount(), 2);
    eExpr* fraction = expression()->getChild(1);
    ASSERT_EQ(ClassOf(fraction), "eFraction");
    ASSERT_EQ(fraction->getChild(1)->childCount(), 1);
    EXPECT_EQ(static_cast<eWord*>(fraction->getChild(1)->getChild(0))->view(), "ab");
    EXPECT_EQ(caret(), (SelectionEntry{expression(), 2, 2, 0, 0}));
}

TEST_F(InsertTest, PlaceholdersAndTheOperatorTakeTheTypingColour) {
    m_record.m_typingColour = 0x1C;
    eExpr* t = insertFresh(0x4601);
    ASSERT_NE(t, nullptr);
    for (int32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t->getChild(i)->getChild(0)->m_colour, 0x1C);
    }
}

TEST_F(InsertTest, CodesOutsideTheTableBeepAndChangeNothing) {
    const int32_t codes[] = {
        0x4000, // fraction style 0
        0x4003, // 3 is the radical's kind, not a fraction style
        0x4004, 0x4008, 0x400F,
        0x4012, // no third root form
        0x4021, 0x4031, 0x4041,
        0x410B, // closing delimiter type 11
        0x41B0, // opening delimiter type 11
        0x45FF, 0x4200, 0x420B, 0x4212, 0x42FF,
        0x4309, // the evaluate-at bar cannot be doubled
        0x470F,
        0x4400, // a mark with no embellishment
        0x440C, // beyond the last embellishment
        0x4481, // an undefined flag
        0x4600, 0x4605, 0x4610, 0x4615, 0x46FF, 0x4800, 0x4A10, 0x4FFF,
    };
    for (char ch : std::string("ab"))
        DoCommand(MakeCharCode(kTypingStyleSelector, static_cast<unsigned char>(ch)), 1);
    const SelectionEntry range{expression(), 0, 1, 0, 0};
    for (int32_t code : codes) {
        SCOPED_TRACE(testing::Message() << std::hex << "code 0x" << code);
        EXPECT_FALSE(NewTemplateForCommand(code));
        select(range);
        const int32_t beeps = CommandBeepCount();
        DoCommand(code, 0);
        EXPECT_EQ(CommandBeepCount(), beeps + 1);
        ASSERT_EQ(expression()->childCount(), 1);
        const auto* word = dynamic_cast<const eWord*>(expression()->getChild(0));
        ASSERT_NE(word, nullptr);
        EXPECT_EQ(word->view(), "ab");
        EXPECT_EQ(caret(), range);
    }
}

// Every code of the family either builds a template whose code is read back into the same class
// with the same slots, or is refused; none leaves a slot without its row.
TEST_F(InsertTest, EveryCodeOfTheFamilyBuildsAReadableTemplateOrNothing) {
    int32_t built = 0;
    for (int32_t code = 0x4000; code <= 0x4FFF; ++code) {
        ExprPtr node = NewTemplateForCommand(code);
        if (!node)
            continue;
        ++built;
        SCOPED_TRACE(testing::Message() << std::hex << "code 0x" << code);
        ASSERT_TRUE(node->isTemplate());
        int32_t templateCode = 0;
        ASSERT_TRUE(static_cast<eTemplate*>(node.get())->getTemplateCode(templateCode));
        ExprPtr read = NewTemplateFromCode(templateCode);
        ASSERT_TRUE(read) << std::hex << templateCode;
        EXPECT_EQ(ClassOf(read.get()), ClassOf(node.get()));
        EXPECT_EQ(read->childCount(), node->childCount());
        bool anyPlaceholder = false;
        for (int32_t i = 0; i < node->childCount(); ++i) {
            ASSERT_NE(node->getChild(i), nullptr);
            ASSERT_TRUE(node->getChild(i)->isString());
            anyPlaceholder = anyPlaceholder || IsPlaceholderRow(node->getChild(i));
        }
        EXPECT_TRUE(anyPlaceholder);
    }
    // 5 fractions, 2 radicals, overstrike, long division, box, 2 × 121 fences, 10 scripts, tensor,
    // tree node, 2 × (256 - 7) integrals (the evaluate-at bar only single), 11 marks × 8 flag
    // combinations, 8 big operators.
    EXPECT_EQ(built, 5 + 2 + 1 + 1 + 1 + 242 + 10 + 1 + 1 + 2 * (256 - 7 * 16) + 88 + 8);
}

// ---- Reaching every slot
// ------------------------------------------------------------------------

// Tab reaches every placeholder and comes back round to the first. In the script templates it
// stops nowhere else: not on a big operator's sign, not in a script or limit left empty; in the
// other templates it stops in every slot.
TEST_F(InsertTest, TabVisitsEverySlotAndWrapsAround) {
    for (const InsertCase& c : InsertCases()) {
        SCOPED_TRACE(testing::Message() << std::hex << "code 0x" << c.code);
        eExpr* t = insertFresh(c.code);
        ASSERT_NE(t, nullptr);
        const int32_t n = t->childCount();
        std::vector<int32_t> stops;
        for (int32_t step = 0; step < n; ++step) {
            DoCommand(kCmdSelectNextSlot, 0);
            const int32_t slot = SlotOf(t, caret().node);
            ASSERT_GE(slot, 0) << "Tab left the template at step " << step;
            stops.push_back(slot);
            if (slot == c.placeholders[0])
                break;
        }
        EXPECT_EQ(stops.back(), c.placeholders[0]) << "Tab comes back round to the start";
        const std::set<int32_t> seen(stops.begin(), stops.end());
        EXPECT_EQ(seen.size(), stops.size()) << "no slot twice in one round";
        for (int32_t p : c.placeholders) {
            EXPECT_EQ(seen.count(p), 1U) << "placeholder slot " << p << " not reached";
        }
        if (c.operatorByte >= 0) {
            EXPECT_EQ(seen.count(1), 0U) << "Tab stopped on the operator's sign";
        }
        if (std::string(c.cls) == "eSSScript") {
            EXPECT_EQ(seen, std::set<int32_t>(c.placeholders.begin(), c.placeholders.end()));
        } else {
            EXPECT_EQ(static_cast<int32_t>(seen.size()), n);
        }
    }
}

TEST_F(InsertTest, ArrowsWalkThroughEverySlotAndOutTheOtherSide) {
    for (const InsertCase& c : InsertCases()) {
        for (bool rightward : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << std::hex << "code 0x" << c.code << (rightward ? " right" : " left"));
            eExpr* t = insertFresh(c.code);
            ASSERT_NE(t, nullptr);
            const int32_t from = rightward ? 0 : 1;
            const int32_t to = rightward ? 1 : 0;
            select({expression(), from, from, 0, 0});
            std::set<int32_t> seen;
            bool out = false;
            for (int32_t step = 0; step < 200 && !out; ++step) {
                DoCommand(rightward ? kCmdMoveRight : kCmdMoveLeft, 0);
                const SelectionEntry e = caret();
                if (e.node == expression()) {
                    ASSERT_EQ(e, (SelectionEntry{expression(), to, to, 0, 0}));
                    out = true;
                } else {
                    const int32_t slot = SlotOf(t, e.node);
                    ASSERT_GE(slot, 0);
                    seen.insert(slot);
                }
            }
            EXPECT_TRUE(out) << "the caret came out after the template";
            EXPECT_EQ(static_cast<int32_t>(seen.size()), t->childCount());
        }
    }
}

TEST_F(InsertTest, APressAtTheCentreOfEachSlotLandsInThatSlot) {
    for (const InsertCase& c : InsertCases()) {
        for (bool structure : {false, true}) {
            // Overstruck parts share one place unless the structure display pulls them apart.
            if (!structure && std::string(c.cls) == "eOverstrike")
                continue;
            SCOPED_TRACE(testing::Message()
                         << std::hex << "code 0x" << c.code << (structure ? " structure" : ""));
            eExpr* t = insertFresh(c.code);
            ASSERT_NE(t, nullptr);
            layOut(structure);
            for (int32_t i = 0; i < t->childCount(); ++i) {
                SCOPED_TRACE(testing::Message() << "slot " << i);
                const Zone zone = LocateNode(t->getChild(i));
                // Without the structure display an empty optional part (a square root's index,
                // the working of a long division) may take no room; it is reached by the keys.
                if (!structure && t->getChild(i)->childCount() == 0 &&
                    (zone.left == zone.right || zone.top == zone.bottom))
                    continue;
                EXPECT_LT(zone.left, zone.right) << "the slot has no width";
                EXPECT_LT(zone.top, zone.bottom) << "the slot has no height";
                const oPoint centre{(zone.left + zone.right) / 2, (zone.top + zone.bottom) / 2};
                SelectionEntry hit;
                ASSERT_TRUE(HitActiveRoot(centre, centre, hit, false));
                EXPECT_EQ(SlotOf(t, hit.node), i) << "landed in slot " << SlotOf(t, hit.node)
                                                  << " at " << centre.x << "," << centre.y;
            }
        }
    }
}

// ---- The sheet of all templates
// -------------------------------------------------------------------------

class TemplateSheetTest : public ErrorFixture {
protected:
    void SetUp() override {
        ErrorFixture::SetUp();
        ASSERT_EQ(PinnedFontProblems(), "");
        InstallGraphicsFontHooks();
        InitGraphics();
        ResetModelHooks();
        ResetStyleTable();
        ResetTypesettingSettings();
        DrawState = DrawingState{};
        TheModelHooks().fontIndexForDesc = &FontIndexForFace;
        TheModelHooks().charClassOf = &CharClassOf;
        RegisterAllTemplates();
    }
    void TearDown() override {
        ResetModelHooks();
        ShutdownGraphics();
        SetGraphicsFontHooks(GraphicsFontHooks{});
        DeleteFontManager();
        ErrorFixture::TearDown();
    }

    // One line of the sheet: the templates of the codes, two spaces apart, every placeholder
    // filled with the next letter of `letters` so that the picture reads as mathematics.
    static ExprPtr Line(std::initializer_list<int32_t> codes, const std::string& letters) {
        FSSRecord style;
        InitFSSRecord(style);
        std::vector<ExprPtr> items;
        size_t next = 0;
        for (int32_t code : codes) {
            ExprPtr t = NewTemplateForCommand(code);
            EXPECT_TRUE(t) << std::hex << code;
            if (!t)
                continue;
            for (int32_t i = 0; i < t->childCount(); ++i) {
                eExpr* slot = t->getChild(i);
                if (!IsPlaceholderRow(slot))
                    continue;
                const char letter = letters[next++ % letters.size()];
                slot->setChild(0, NewWord(std::string(1, letter), 0, style, 0));
            }
            if (!items.empty()) {
                items.push_back(NewPseudo(kPseudoSpace, &style, 0));
                items.push_back(NewPseudo(kPseudoSpace, &style, 0));
            }
            items.push_back(std::move(t));
        }
        OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(items.size()));
        for (size_t i = 0; i < items.size(); ++i)
            row->setChild(static_cast<int32_t>(i), std::move(items[i]));
        return row;
    }
};

// Every template the insertion codes make, filled in and drawn on the pinned fonts at 96 dpi.
// Regenerate with
//   KV_UPDATE_GOLDEN=1 ./build/tests/kv_model_tests --gtest_filter='TemplateSheet*'
TEST_F(TemplateSheetTest, EveryTemplateDrawsAsItsReference) {
    constexpr int32_t kWidth = 720;
    constexpr int32_t kHeight = 400;
    constexpr int32_t kResolution96Dpi = 21;
    constexpr int32_t kMargin = 12;
    std::vector<ExprPtr> lines;
    // Fractions in their five styles, radicals, overstrike, long division and the box.
    lines.push_back(
        Line({0x4001, 0x4006, 0x4002, 0x4007, 0x4005, 0x4010, 0x4011, 0x4020, 0x4030, 0x4040},
             "abxynkuvpqrsz"));
    // Every delimiter type on both sides, mixed sides, and two horizontal fences.
    lines.push_back(Line({0x4111, 0x4122, 0x4133, 0x4144, 0x4155, 0x4166, 0x4177, 0x4188, 0x4199,
                          0x41AA, 0x4110, 0x4107, 0x4117, 0x4522, 0x4511},
                         "xyzabcuvwtspq"));
    // Scripts, limits, the full script template, a tensor and a tree node.
    lines.push_back(Line({0x4201, 0x4202, 0x4203, 0x4204, 0x4205, 0x420A, 0x4206, 0x4207, 0x4208,
                          0x4209, 0x4210, 0x4211},
                         "x2ynakbzcdefgTijALR"));
    // Integrals (single, double, contour, with limits beside and above, evaluate-at) and every
    // mark above, then a bar below.
    lines.push_back(Line({0x4300, 0x4301, 0x4310, 0x4700, 0x4720, 0x4708, 0x4411, 0x4412, 0x4413,
                          0x4414, 0x4415, 0x4416, 0x4417, 0x4418, 0x4419, 0x441A, 0x441B, 0x4436},
                         "fg01hb0ax1auvwxyzABCDEx"));
    // Big operators with limits, then with scripts.
    lines.push_back(Line({0x4601, 0x4602, 0x4603, 0x4604, 0x4611, 0x4612, 0x4613, 0x4614},
                         "kinxkinyAinBinkinxkin"));

    BitmapPort port(kWidth, kHeight, kResolution96Dpi);
    int32_t y = kMargin;
    for (ExprPtr& line : lines) {
        MeasureExprWithOptions(line.get(), &port, 0, 0, 0, 0);
        const Zone& z = line->m_zone;
        ASSERT_LE(z.right - z.left + 2 * kMargin, kWidth) << "a line of the sheet is too wide";
        DrawExpr(line.get(), &port, 0, 0, 0, 0, kMargin - z.left, y - z.top);
        y += z.bottom - z.top + kMargin;
    }
    ASSERT_LE(y, kHeight) << "the sheet is too short for its lines";
    cairo_surface_t* image = port.image();
    EXPECT_TRUE(MatchesGolden(image, "templates/sheet"));
    cairo_surface_destroy(image);
}

} // namespace
} // namespace kvtest
