// The template nodes' Modify dialogs on the headless back end, with the program's own resources:
// each dialog shows the record it is handed, OK writes back what the controls say and Cancel leaves
// the record alone; and Modify on real nodes through these dialogs changes the nodes undoably.
#include "Dialogs/ModifyTemplateDialogs.h"

#include "BuiltinResources.h"
#include "Dialogs/DialogFrame.h"
#include "Dialogs/ModifyDialogs.h"
#include "ExprSrcs/Change.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eTensor.h"
#include "OverSrcs/eTreeNode.h"
#include "OverSrcs/eWord.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Input.h"
#include "plat/Resources.h"
#include "plat/Testing.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

DialogText Text(const char* text) {
    DialogText field{};
    std::strncpy(field.data(), text, field.size() - 1);
    return field;
}

// The middle of a label rectangle, in the dialog's client pixels.
void ClickLabel(DialogDriver& d, plat::RECT rect) {
    const plat::RECT r = ScaledLabelRect(rect);
    d.clickClient((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

class ModifyTemplateDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::StartModifyDialogTest();
        m_beeps = CommandBeepCount();
    }
    void TearDown() override { kvtest::EndModifyDialogTest(); }
    int32_t Beeps() const { return CommandBeepCount() - m_beeps; }
    int32_t m_beeps = 0;
};

// ---- Integral
// ------------------------------------------------------------------------------------

TEST_F(ModifyTemplateDialogsTest, IntegralOpensOnItsRecordAndOkWritesEveryFieldBack) {
    IntegralDlgRecord record;
    record.sign = 3;
    record.count = Text("2");
    record.limitsAboveBelow = 1;
    record.smallSign = 0;
    bool direct = false;
    std::string count;
    bool limits = false;
    bool inlineOn = true;
    pt::onDialog(kEditIntegralDialogId, [&](DialogDriver& d) {
        direct = d.checked(kIntegralSignFirst + 3);
        count = d.text(kIntegralCountItem);
        limits = d.checked(kIntegralLimitsItem);
        inlineOn = d.checked(kIntegralInlineItem);
        d.click(kIntegralSignFirst + 1);
        d.setText(kIntegralCountItem, "5");
        d.click(kIntegralLimitsItem);
        d.click(kIntegralInlineItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditIntegralDlg(&record), 1);
    EXPECT_TRUE(direct);
    EXPECT_EQ(count, "2");
    EXPECT_TRUE(limits);
    EXPECT_FALSE(inlineOn);
    EXPECT_EQ(record.sign, 1);
    EXPECT_STREQ(record.count.data(), "5");
    EXPECT_EQ(record.limitsAboveBelow, 0);
    EXPECT_EQ(record.smallSign, 1);
    EXPECT_EQ(Beeps(), 0);
}

TEST_F(ModifyTemplateDialogsTest, IntegralCancelLeavesTheRecordAsItWas) {
    IntegralDlgRecord record;
    record.sign = 2;
    record.count = Text("3");
    record.limitsAboveBelow = 0;
    record.smallSign = 1;
    pt::onDialog(kEditIntegralDialogId, [&](DialogDriver& d) {
        d.click(kIntegralSignFirst);
        d.setText(kIntegralCountItem, "7");
        d.click(kIntegralLimitsItem);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunEditIntegralDlg(&record), 0);
    EXPECT_EQ(record.sign, 2);
    EXPECT_STREQ(record.count.data(), "3");
    EXPECT_EQ(record.limitsAboveBelow, 0);
    EXPECT_EQ(record.smallSign, 1);
}

struct CountCase {
    const char* typed;
    const char* shown;
    int beeps;
};

TEST_F(ModifyTemplateDialogsTest, IntegralCountIsKeptBetweenOneAndEightAsItIsTyped) {
    const CountCase cases[] = {
        {"9", "8", 1}, {"0", "1", 1}, {"-3", "1", 1}, {"x", "1", 1}, {"8", "8", 0}, {"1", "1", 0},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.typed);
        IntegralDlgRecord record;
        record.count = Text("2");
        std::string shown;
        int32_t before = 0;
        int32_t beeps = 0;
        pt::onDialog(kEditIntegralDialogId, [&](DialogDriver& d) {
            before = CommandBeepCount();
            d.setText(kIntegralCountItem, c.typed);
            beeps = CommandBeepCount() - before;
            shown = d.text(kIntegralCountItem);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(RunEditIntegralDlg(&record), 1);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_STREQ(record.count.data(), c.shown);
    }
}

TEST_F(ModifyTemplateDialogsTest, ChoosingEvaluateAtBringsTheCountToOneButOtherKindsDoNot) {
    IntegralDlgRecord record;
    record.count = Text("3");
    std::string afterContour;
    int32_t contourBeeps = -1;
    std::string afterBar;
    int32_t barBeeps = 0;
    std::string typedWithBar;
    pt::onDialog(kEditIntegralDialogId, [&](DialogDriver& d) {
        int32_t before = CommandBeepCount();
        d.click(kIntegralSignFirst + 2);
        afterContour = d.text(kIntegralCountItem);
        contourBeeps = CommandBeepCount() - before;
        before = CommandBeepCount();
        // The label area of "Évaluer à" chooses it like the button.
        ClickLabel(d, {33, 173, 223, 191});
        afterBar = d.text(kIntegralCountItem);
        barBeeps = CommandBeepCount() - before;
        d.setText(kIntegralCountItem, "2");
        typedWithBar = d.text(kIntegralCountItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditIntegralDlg(&record), 1);
    EXPECT_EQ(afterContour, "3");
    EXPECT_EQ(contourBeeps, 0);
    EXPECT_EQ(afterBar, "1");
    EXPECT_EQ(barBeeps, 1);
    EXPECT_EQ(typedWithBar, "1");
    EXPECT_EQ(record.sign, kIntegralSignEvaluateAt);
    EXPECT_STREQ(record.count.data(), "1");
}

TEST_F(ModifyTemplateDialogsTest, AnEvaluateAtBarWithSeveralSignsOpensWithOne) {
    // A file can hold the bar together with a sign count; the dialog shows the count it allows.
    IntegralDlgRecord record;
    record.sign = kIntegralSignEvaluateAt;
    record.count = Text("3");
    std::string shown;
    pt::onDialog(kEditIntegralDialogId, [&](DialogDriver& d) {
        shown = d.text(kIntegralCountItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditIntegralDlg(&record), 1);
    EXPECT_EQ(shown, "1");
    EXPECT_EQ(Beeps(), 1);
    EXPECT_STREQ(record.count.data(), "1");
}

TEST_F(ModifyTemplateDialogsTest, ASignKindTheDialogCannotShowIsKeptAtOk) {
    IntegralDlgRecord record;
    record.sign = 6; // an evaluation bar together with contour bits, as a file may hold
    record.count = Text("1");
    bool anyOn = true;
    pt::onDialog(kEditIntegralDialogId, [&](DialogDriver& d) {
        anyOn = false;
        for (int id = kIntegralSignFirst; id <= kIntegralSignLast; ++id)
            anyOn = anyOn || d.checked(id);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditIntegralDlg(&record), 1);
    EXPECT_FALSE(anyOn);
    EXPECT_EQ(record.sign, 6);
}

// ---- Scripts
// -------------------------------------------------------------------------------------

TEST_F(ModifyTemplateDialogsTest, ScriptsBoxesShowTheRecordAndAnyCombinationIsWrittenBack) {
    const int ids[] = {kScriptsPreItem, kScriptsLimitsItem, kScriptsOperandItem,
                       kScriptsSubSupItem};
    // Each case starts from one pattern of the four boxes and clicks every box whose bit is set in
    // `flip`.
    const struct {
        uint8_t start[4];
        unsigned flip;
    } cases[] = {{{0, 0, 0, 1}, 0x9}, {{1, 1, 1, 1}, 0xF}, {{0, 1, 0, 0}, 0x6}, {{1, 0, 1, 0}, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flip " << c.flip);
        ScriptsDlgRecord record{c.start[0], c.start[1], c.start[2], c.start[3]};
        bool shown[4] = {};
        pt::onDialog(kEditScriptsDialogId, [&](DialogDriver& d) {
            for (int i = 0; i < 4; ++i)
                shown[i] = d.checked(ids[i]);
            for (int i = 0; i < 4; ++i)
                if ((c.flip & (1u << i)) != 0)
                    d.click(ids[i]);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(RunEditScriptsDlg(&record), 1);
        const uint8_t out[4] = {record.prescripts, record.limits, record.operand, record.subSup};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(shown[i], c.start[i] != 0) << i;
            EXPECT_EQ(out[i], (c.start[i] != 0) != ((c.flip & (1u << i)) != 0) ? 1 : 0) << i;
        }
    }
}

// ---- Delimiter
// -----------------------------------------------------------------------------------

TEST_F(ModifyTemplateDialogsTest, DelimiterIndicesAreTheCodesOfBothColumns) {
    DelimiterDlgRecord record{kDelimSquare, kDelimParen, 0};
    bool square = false;
    bool paren = false;
    pt::onDialog(kEditDelimiterDialogId, [&](DialogDriver& d) {
        square = d.checked(kDelimiterClosingFirst + kDelimSquare);
        paren = d.checked(kDelimiterOpeningFirst + kDelimParen);
        d.click(kDelimiterClosingFirst + kDelimDoubleBar);
        d.click(kDelimiterOpeningFirst + kDelimFloor);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditDelimiterDlg(&record), 1);
    EXPECT_TRUE(square);
    EXPECT_TRUE(paren);
    EXPECT_EQ(record.closing, kDelimDoubleBar);
    EXPECT_EQ(record.opening, kDelimFloor);
    EXPECT_EQ(record.horizontal, 0);
}

TEST_F(ModifyTemplateDialogsTest, NothingOnBothSidesAndTopAndBottomKeepTheChosenCodes) {
    DelimiterDlgRecord record{kDelimParen, kDelimParen, 0};
    pt::onDialog(kEditDelimiterDialogId, [&](DialogDriver& d) {
        d.click(kDelimiterClosingFirst);
        d.click(kDelimiterOpeningFirst);
        d.click(kDelimiterHorizontalItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditDelimiterDlg(&record), 1);
    EXPECT_EQ(record.closing, kDelimNone);
    EXPECT_EQ(record.opening, kDelimNone);
    EXPECT_EQ(record.horizontal, 1);
}

TEST_F(ModifyTemplateDialogsTest, ADelimiterCodeWithNoButtonIsKeptAndCancelKeepsEverything) {
    DelimiterDlgRecord record{13, kDelimAngle, 1};
    pt::onDialog(kEditDelimiterDialogId, [&](DialogDriver& d) { d.click(plat::IDOK); });
    EXPECT_EQ(RunEditDelimiterDlg(&record), 1);
    EXPECT_EQ(record.closing, 13);
    EXPECT_EQ(record.opening, kDelimAngle);
    EXPECT_EQ(record.horizontal, 1);

    pt::onDialog(kEditDelimiterDialogId, [&](DialogDriver& d) {
        d.click(kDelimiterOpeningFirst + kDelimBrace);
        d.click(kDelimiterHorizontalItem);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunEditDelimiterDlg(&record), 0);
    EXPECT_EQ(record.opening, kDelimAngle);
    EXPECT_EQ(record.horizontal, 1);
}

// ---- Embellishment
// -------------------------------------------------------------------------------

TEST_F(ModifyTemplateDialogsTest, EmbellishmentShowsAndWritesMarkPlacementAndFixedWidth) {
    EmbellishmentDlgRecord record{1, kMarkTilde - 1, 2};
    bool fixed = false;
    bool tilde = false;
    bool below = false;
    pt::onDialog(kEditEmbellishmentDialogId, [&](DialogDriver& d) {
        fixed = d.checked(kMarkFixedWidthItem);
        tilde = d.checked(kMarkFirst + kMarkTilde - 1);
        below = d.checked(kMarkPlacementFirst + 2);
        d.click(kMarkFixedWidthItem);
        d.click(kMarkFirst + kMarkArc - 1);
        d.click(kMarkPlacementLast);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditEmbellishmentDlg(&record), 1);
    EXPECT_TRUE(fixed);
    EXPECT_TRUE(tilde);
    EXPECT_TRUE(below);
    EXPECT_EQ(record.fixedWidth, 0);
    EXPECT_EQ(record.mark, kMarkArc - 1);
    EXPECT_EQ(record.placement, 3);
}

TEST_F(ModifyTemplateDialogsTest, ClickingAMarksPictureChoosesThatMark) {
    // Every picture's click area and the mark (node code) it stands for.
    const struct {
        plat::RECT area;
        int32_t code;
    } pictures[] = {
        {{21, 21, 35, 35}, kMarkDot},
        {{197, 17, 211, 31}, kMarkDot},
        {{21, 41, 35, 55}, kMarkDoubleDot},
        {{21, 61, 35, 75}, kMarkTripleDot},
        {{21, 85, 35, 99}, kMarkHat},
        {{213, 33, 227, 47}, kMarkHat},
        {{21, 105, 35, 119}, kMarkTilde},
        {{21, 125, 35, 139}, kMarkArc},
        {{21, 149, 35, 163}, kMarkVector},
        {{213, 17, 227, 31}, kMarkVector},
        {{21, 169, 35, 183}, kMarkBackwardArrow},
        {{21, 189, 35, 203}, kMarkTwoHeadedArrow},
        {{21, 213, 35, 227}, kMarkBar},
        {{21, 233, 35, 247}, kMarkDoubleBar},
        {{197, 33, 211, 47}, kMarkDoubleBar},
    };
    for (const auto& p : pictures) {
        SCOPED_TRACE(testing::Message() << "picture at " << p.area.left << "," << p.area.top);
        // Start from a mark that no picture above chooses by accident.
        EmbellishmentDlgRecord record{0, p.code == kMarkBar ? kMarkDot - 1 : kMarkBar - 1, 1};
        pt::onDialog(kEditEmbellishmentDialogId, [&](DialogDriver& d) {
            ClickLabel(d, p.area);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(RunEditEmbellishmentDlg(&record), 1);
        EXPECT_EQ(record.mark + 1, p.code);
        EXPECT_EQ(record.placement, 1);
    }
    // Ids outside the picture commands choose nothing.
    EXPECT_EQ(MarkOfPictureCommand(kMarkPictureFirst - 1), -1);
    EXPECT_EQ(MarkOfPictureCommand(kMarkPictureLast + 1), -1);
}

// ---- Fraction
// ------------------------------------------------------------------------------------

TEST_F(ModifyTemplateDialogsTest, FractionStylesRoundTripThroughTheButtons) {
    for (int32_t from = 0; from < 5; ++from) {
        const int32_t to = 4 - from;
        SCOPED_TRACE(from);
        FractionDlgRecord record{from};
        bool shown = false;
        pt::onDialog(kEditFractionDialogId, [&](DialogDriver& d) {
            shown = d.checked(kFractionStyleFirst + from);
            d.click(kFractionStyleFirst + to);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(RunEditFractionDlg(&record), 1);
        EXPECT_TRUE(shown);
        EXPECT_EQ(record.style, to);
    }
    FractionDlgRecord kept{2};
    pt::onDialog(kEditFractionDialogId, [&](DialogDriver& d) {
        d.click(kFractionStyleFirst);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunEditFractionDlg(&kept), 0);
    EXPECT_EQ(kept.style, 2);
}

// ---- Tree node and tensor
// ------------------------------------------------------------------------

TEST_F(ModifyTemplateDialogsTest, TreeNodeShowsItsBoxesAndClampsTheBranchCount) {
    TreeNodeDlgRecord record;
    record.count = Text("3");
    record.intermediate = {0, 1, 0, 0, 0, 0, 1};
    record.sides = 1;
    std::string count;
    bool boxes[8] = {};
    std::string clamped;
    int32_t beeps = 0;
    pt::onDialog(kEditTreeNodeDialogId, [&](DialogDriver& d) {
        count = d.text(kTreeCountItem);
        for (int i = 0; i < 8; ++i)
            boxes[i] = d.checked(kTreeIntermediateFirst + i);
        const int32_t before = CommandBeepCount();
        d.setText(kTreeCountItem, "20");
        beeps = CommandBeepCount() - before;
        clamped = d.text(kTreeCountItem);
        d.click(kTreeIntermediateFirst);
        d.click(kTreeSidesItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditTreeNodeDlg(&record), 1);
    EXPECT_EQ(count, "3");
    const bool expected[8] = {false, true, false, false, false, false, true, true};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(boxes[i], expected[i]) << i;
    EXPECT_EQ(clamped, "14");
    EXPECT_EQ(beeps, 1);
    EXPECT_STREQ(record.count.data(), "14");
    EXPECT_EQ(record.intermediate, (std::array<uint8_t, 7>{1, 1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(record.sides, 0);
}

TEST_F(ModifyTemplateDialogsTest, TensorCountAndContravariantBoxes) {
    const CountCase cases[] = {{"0", "1", 1}, {"14", "14", 0}, {"15", "14", 1}, {"", "1", 1}};
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.typed);
        TensorDlgRecord record;
        record.count = Text("4");
        record.upper = {1, 0, 0, 1, 0, 0, 0};
        bool first = false;
        bool fourth = false;
        std::string shown;
        int32_t beeps = 0;
        pt::onDialog(kEditTensorDialogId, [&](DialogDriver& d) {
            first = d.checked(kTensorUpperFirst);
            fourth = d.checked(kTensorUpperFirst + 3);
            const int32_t before = CommandBeepCount();
            d.setText(kTensorCountItem, c.typed);
            beeps = CommandBeepCount() - before;
            shown = d.text(kTensorCountItem);
            d.click(kTensorUpperFirst + 6);
            d.click(kTensorUpperFirst);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(RunEditTensorDlg(&record), 1);
        EXPECT_TRUE(first);
        EXPECT_TRUE(fourth);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_STREQ(record.count.data(), c.shown);
        EXPECT_EQ(record.upper, (std::array<uint8_t, 7>{0, 0, 0, 1, 0, 0, 1}));
    }
}

// Runs a count dialog opened on a count of 2 and hands back the count OK wrote.
template <typename Record>
std::function<int32_t(DialogText&)> CountDialogRun(int32_t (*run)(Record*)) {
    return [run](DialogText& count) {
        Record record;
        record.count = Text("2");
        const int32_t result = run(&record);
        count = record.count;
        return result;
    };
}

// Keys typed into a count field after End and Backspace emptied it: the emptied field reads 1 (a
// beep) with its text selected, so each digit after a rewrite replaces the text rather than
// joining it. `keys` are the digits typed after the Backspace; the field keeps [1, limit].
TEST_F(ModifyTemplateDialogsTest, ACountFieldTheProgramRewroteTakesTheNextDigitInPlaceOfItsText) {
    struct Field {
        const char* name;
        int dialogId;
        int item;
        std::function<int32_t(DialogText&)> run;
        int32_t limit;
    };
    const Field fields[] = {
        {"tree node", kEditTreeNodeDialogId, kTreeCountItem,
         CountDialogRun<TreeNodeDlgRecord>(RunEditTreeNodeDlg), kMaxExpandableCount},
        {"tensor", kEditTensorDialogId, kTensorCountItem,
         CountDialogRun<TensorDlgRecord>(RunEditTensorDlg), kMaxExpandableCount},
        {"integral", kEditIntegralDialogId, kIntegralCountItem,
         CountDialogRun<IntegralDlgRecord>(RunEditIntegralDlg), kIntegralMaxSigns},
    };
    struct Keys {
        std::string keys;
        std::string shown;
        int32_t beeps;
    };
    for (const Field& f : fields) {
        const std::string below = std::to_string(f.limit - 1);
        const std::string at = std::to_string(f.limit);
        const std::string above = std::to_string(f.limit + 1);
        const Keys cases[] = {
            {"", "1", 1},
            {"3", "3", 1},
            {"0", "1", 2},
            {"03", "3", 2},
            {below, below, 1},
            {at, at, 1},
            {above, at, 2},
            {above + "2", "2", 2},
            {std::to_string(f.limit * 10), at, 2},
            {std::to_string(f.limit * 10) + "3", "3", 2},
        };
        for (const Keys& c : cases) {
            SCOPED_TRACE(std::string(f.name) + ", End, Backspace, then \"" + c.keys + "\"");
            std::string shown;
            int32_t beeps = 0;
            pt::onDialog(f.dialogId, [&](DialogDriver& d) {
                d.type(f.item, "");
                const int32_t before = CommandBeepCount();
                d.key(plat::VK_END);
                d.key(plat::VK_BACK);
                for (const char digit : c.keys)
                    d.key(digit);
                beeps = CommandBeepCount() - before;
                shown = d.text(f.item);
                d.click(plat::IDOK);
            });
            DialogText count{};
            EXPECT_EQ(f.run(count), 1);
            EXPECT_EQ(shown, c.shown);
            EXPECT_EQ(beeps, c.beeps);
            EXPECT_STREQ(count.data(), c.shown.c_str());
        }
    }
}

// ---- Box
// -----------------------------------------------------------------------------------------

TEST_F(ModifyTemplateDialogsTest, BoxThicknessPopupShadowAndQuantising) {
    BoxDlgRecord record{5, 1, 0, 1};
    int selected = -1;
    bool left = false;
    bool height = true;
    bool width = false;
    pt::onDialog(kEditBoxDialogId, [&](DialogDriver& d) {
        selected = d.curSel(kBoxThicknessItem);
        left = d.checked(kBoxShadowFirst + 1);
        height = d.checked(kBoxQuantiseHeightItem);
        width = d.checked(kBoxQuantiseWidthItem);
        d.chooseCombo(kBoxThicknessItem, 15); // "12 points"
        d.click(kBoxShadowLast);
        d.click(kBoxQuantiseHeightItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEditBoxDlg(&record), 1);
    EXPECT_EQ(selected, 5);
    EXPECT_TRUE(left);
    EXPECT_FALSE(height);
    EXPECT_TRUE(width);
    EXPECT_EQ(record.thickness, 15);
    EXPECT_EQ(record.shadow, 2);
    EXPECT_EQ(record.quantiseHeight, 1);
    EXPECT_EQ(record.quantiseWidth, 1);

    BoxDlgRecord kept{0, 0, 0, 0};
    pt::onDialog(kEditBoxDialogId, [&](DialogDriver& d) {
        d.chooseCombo(kBoxThicknessItem, 3);
        d.click(kBoxShadowFirst + 1);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunEditBoxDlg(&kept), 0);
    EXPECT_EQ(kept.thickness, 0);
    EXPECT_EQ(kept.shadow, 0);
}

// ---- Modify on real nodes
// ------------------------------------------------------------------------

class ModifyTemplateNodesTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitErrorSystem();
        ResetModelHooks();
        ResetStyleTable();
        kvtest::StartModifyDialogTest();
        ResetCommandHooks();
        ResetCommandState();
        InstallSelectionHooks();
        InstallCommandModelHooks();
        TheCommandHooks().refreshActivePane = [] {};
        BatchMode = 0;
        CtrlHeld = 0;
    }
    void TearDown() override {
        ActiveRecord = nullptr;
        ActiveList = nullptr;
        DestroySelectionRecord(m_record);
        ResetCommandState();
        ResetCommandHooks();
        kvtest::EndModifyDialogTest();
        ResetModelHooks();
    }
    // A top row holding "x" and the node, the node selected as one item.
    eSimpString* UseSelected(ExprPtr node) {
        OwnedNode<eSimpString> row = NewSimpString(2);
        row->setChild(0, Letter("x"));
        row->setChild(1, std::move(node));
        eSimpString* top = row.get();
        DestroySelectionRecord(m_record);
        CreateSelectionRecord(m_record, std::move(row), 0, 0, 0, 0);
        ActiveRecord = &m_record;
        ActiveList = m_record.m_entries;
        ClearSelectionList(m_record);
        SelectRange(top, 1, 2, 0, 0);
        return top;
    }
    eExpr* Node() const { return m_record.m_root->getChild(0)->getChild(1); }
    static FSSRecord Style() {
        FSSRecord style;
        InitFSSRecord(style);
        return style;
    }
    static ExprPtr Letter(const char* text) {
        return NewSimpStringWith(NewWord(text, 0, Style(), 0));
    }
    SelectionRecord m_record;
};

// The word of a one-word row ("" for anything else); an empty placeholder row holds "?".
std::string RowWord(const eExpr* row) {
    if (row == nullptr || row->childCount() != 1 || row->getChild(0) == nullptr ||
        !row->getChild(0)->isWord())
        return "";
    return std::string(static_cast<const eWord*>(row->getChild(0))->view());
}

// The kind and the words of the children, enough to tell a node before and after.
struct NodeView {
    int32_t kind;
    std::vector<std::string> words;
    bool operator==(const NodeView&) const = default;
};
NodeView View(const eExpr* node) {
    NodeView v{static_cast<const eTemplate*>(node)->m_kind, {}};
    for (int32_t i = 0; i < node->childCount(); ++i)
        v.words.push_back(RowWord(node->getChild(i)));
    return v;
}

struct NodeCase {
    const char* name;
    int dialogId;
    std::function<ExprPtr()> make;
    std::function<void(DialogDriver&)> script;
    NodeView after;
};

TEST_F(ModifyTemplateNodesTest, ModifyThroughEachDialogChangesTheNodeAndUndoRestoresIt) {
    const NodeCase cases[] = {
        {"fraction",
         kEditFractionDialogId,
         [] { return ExprPtr(NewFraction(Letter("a"), Letter("b"))); },
         [](DialogDriver& d) { d.click(kFractionStyleFirst + 2); },
         {kFractionSlanted, {"a", "b"}}},
        {"integral",
         kEditIntegralDialogId,
         [] { return ExprPtr(NewIntegral(3, Letter("f"), Letter("a"), Letter("b"))); },
         [](DialogDriver& d) {
             d.click(kIntegralSignFirst + 3);
             d.setText(kIntegralCountItem, "2");
             d.click(kIntegralLimitsItem);
         },
         {1 | kIntegralContour | kIntegralSecondContour | kIntegralLimitsAboveBelow,
          {"f", "a", "b"}}},
        {"fence",
         kEditDelimiterDialogId,
         [] { return ExprPtr(NewFence(Letter("a"), FenceKind(kDelimParen, kDelimParen))); },
         [](DialogDriver& d) {
             d.click(kDelimiterOpeningFirst + kDelimAngle);
             d.click(kDelimiterClosingFirst);
         },
         {FenceKind(kDelimAngle, kDelimNone), {"a"}}},
        // Codes no button shows (valid in files) survive an OK that changes something else.
        {"fence side 13",
         kEditDelimiterDialogId,
         [] { return ExprPtr(NewFence(Letter("a"), FenceKind(13, kDelimParen))); },
         [](DialogDriver& d) { d.click(kDelimiterHorizontalItem); },
         {FenceKind(13, kDelimParen, true), {"a"}}},
        {"fence side 11",
         kEditDelimiterDialogId,
         [] { return ExprPtr(NewFence(Letter("a"), FenceKind(kDelimBar, 11))); },
         [](DialogDriver& d) { d.click(kDelimiterOpeningFirst + kDelimBrace); },
         {FenceKind(kDelimBrace, 11), {"a"}}},
        {"mark code 0",
         kEditEmbellishmentDialogId,
         [] { return ExprPtr(NewMark(Letter("a"), kMarkBelow)); },
         [](DialogDriver& d) { d.click(kMarkFixedWidthItem); },
         {kMarkFixedWidth | kMarkBelow, {"a"}}},
        {"mark code 14",
         kEditEmbellishmentDialogId,
         [] { return ExprPtr(NewMark(Letter("a"), 14)); },
         [](DialogDriver& d) { d.click(kMarkPlacementLast); },
         {kMarkBelow | kMarkNormalPlacement | 14, {"a"}}},
        {"integral bar with contour",
         kEditIntegralDialogId,
         [] {
             OwnedNode<eIntegral> n = NewIntegral(3, Letter("f"), Letter("a"), Letter("b"));
             n->m_kind = kIntegralEvaluateAt | kIntegralContour | kIntegralSecondContour;
             return ExprPtr(n.release());
         },
         [](DialogDriver& d) { d.click(kIntegralLimitsItem); },
         {kIntegralEvaluateAt | kIntegralContour | kIntegralSecondContour |
              kIntegralLimitsAboveBelow,
          {"f", "a", "b"}}},
        {"mark",
         kEditEmbellishmentDialogId,
         [] { return ExprPtr(NewMark(Letter("a"), kMarkDot)); },
         [](DialogDriver& d) {
             ClickLabel(d, {197, 33, 211, 47}); // the second double-bar picture
             d.click(kMarkPlacementLast);
             d.click(kMarkFixedWidthItem);
         },
         {kMarkFixedWidth | kMarkBelow | kMarkNormalPlacement | kMarkDoubleBar, {"a"}}},
        {"box",
         kEditBoxDialogId,
         [] { return ExprPtr(NewBox(Letter("a"))); },
         [](DialogDriver& d) {
             d.chooseCombo(kBoxThicknessItem, 7); // "3 points"
             d.click(kBoxShadowFirst + 1);
             d.click(kBoxQuantiseWidthItem);
         },
         {7 | kBoxShadow | kBoxShadowLeft | kBoxQuantiseWidth, {"a"}}},
        {"tensor",
         kEditTensorDialogId,
         [] {
             OwnedNode<eTensor> t = NewTensor(Letter("T"), 5);
             for (int32_t i = 1; i < 5; ++i)
                 t->setChild(i, Letter(std::string(1, static_cast<char>('h' + i)).c_str()));
             t->m_kind = 0x201; // bits the dialog does not show: cleared on OK
             return ExprPtr(t.release());
         },
         [](DialogDriver& d) {
             d.setText(kTensorCountItem, "2");
             d.click(kTensorUpperFirst + 1);
         },
         {4, {"T", "i", "j"}}},
        {"tree node",
         kEditTreeNodeDialogId,
         [] {
             OwnedNode<eTreeNode> n = NewTreeNode(Letter("n"), 2);
             n->setChild(1, Letter("a"));
             n->m_kind = 0x300; // bits the dialog does not show: cleared on OK
             return ExprPtr(n.release());
         },
         [](DialogDriver& d) {
             d.setText(kTreeCountItem, "3");
             d.click(kTreeSidesItem);
         },
         {kTreeTurned, {"n", "a", "?", "?"}}},
        {"scripts",
         kEditScriptsDialogId,
         [] {
             OwnedNode<eSSScript> s = NewSSScript(Letter("x"), Letter("i"), Letter("k"), 3);
             return ExprPtr(s.release());
         },
         [](DialogDriver& d) {
             d.click(kScriptsPreItem);
             d.click(kScriptsOperandItem);
         },
         {kScriptPrescripts | kScriptOperator, {"?", "x", "i", "k", "?", "?"}}},
    };
    for (const NodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        eSimpString* top = UseSelected(c.make());
        const NodeView before = View(Node());
        pt::onDialog(c.dialogId, [&](DialogDriver& d) {
            c.script(d);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(CatchFail([] { DoCommand(kCmdModify, 0); }), 0);
        const NodeView after = View(Node());
        EXPECT_EQ(after.kind, c.after.kind);
        EXPECT_EQ(after.words, c.after.words);
        // The changed node is what is selected.
        ASSERT_EQ(m_record.count(), 1);
        EXPECT_EQ(m_record.entry(0), (SelectionEntry{top, 1, 2, 0, 0}));

        ASSERT_TRUE(UndoLastEdit());
        const NodeView undone = View(Node());
        EXPECT_EQ(undone.kind, before.kind);
        EXPECT_EQ(undone.words, before.words);
    }
}

TEST_F(ModifyTemplateNodesTest, CancelInAnyDialogLeavesTheNodeUntouched) {
    eSimpString* top = UseSelected(ExprPtr(NewFraction(Letter("a"), Letter("b"))));
    eExpr* node = Node();
    const NodeView before = View(node);
    pt::onDialog(kEditFractionDialogId, [&](DialogDriver& d) {
        d.click(kFractionStyleLast);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(CatchFail([] { DoCommand(kCmdModify, 0); }), 0);
    EXPECT_EQ(Node(), node);
    EXPECT_EQ(View(Node()), before);
    EXPECT_EQ(m_record.entry(0), (SelectionEntry{top, 1, 2, 0, 0}));
}

// A count field left as it opened keeps the node's count, whatever it is (a base alone reads 0, a
// file may hold more indices than the dialog offers): OK on the untouched dialog changes nothing,
// and OK with only a box changed changes only the kind.
TEST_F(ModifyTemplateNodesTest, ACountFieldLeftAsItOpenedKeepsTheCount) {
    struct Kind {
        const char* name;
        int dialogId;
        std::function<OwnedNode<eTemplate>(int32_t children)> make;
        int box;
        int32_t bit;
    };
    const Kind nodes[] = {
        {"tensor", kEditTensorDialogId,
         [](int32_t n) { return OwnedNode<eTemplate>(NewTensor(Letter("T"), n).release()); },
         kTensorUpperFirst, 2},
        {"tree node", kEditTreeNodeDialogId,
         [](int32_t n) { return OwnedNode<eTemplate>(NewTreeNode(Letter("n"), n).release()); },
         kTreeSidesItem, kTreeTurned},
    };
    for (const Kind& n : nodes) {
        for (const int32_t count : {0, 1, kMaxExpandableCount, kMaxExpandableCount + 1}) {
            for (const bool toggle : {false, true}) {
                SCOPED_TRACE(testing::Message() << n.name << ", count " << count
                                                << (toggle ? ", a box changed" : ", untouched"));
                OwnedNode<eTemplate> made = n.make(count + 1);
                for (int32_t i = 1; i <= count; ++i)
                    made->setChild(i, Letter(std::string(1, static_cast<char>('a' + i)).c_str()));
                UseSelected(ExprPtr(made.release()));
                const NodeView before = View(Node());
                std::string shown;
                pt::onDialog(n.dialogId, [&](DialogDriver& d) {
                    shown = d.text(n.dialogId == kEditTensorDialogId ? kTensorCountItem
                                                                     : kTreeCountItem);
                    if (toggle)
                        d.click(n.box);
                    d.click(plat::IDOK);
                });
                const int32_t beeps = CommandBeepCount();
                EXPECT_EQ(CatchFail([] { DoCommand(kCmdModify, 0); }), 0);
                EXPECT_EQ(shown, std::to_string(count));
                EXPECT_EQ(CommandBeepCount(), beeps);
                const NodeView after = View(Node());
                EXPECT_EQ(after.words, before.words);
                EXPECT_EQ(after.kind, toggle ? before.kind ^ n.bit : before.kind);
            }
        }
    }
}

} // namespace
