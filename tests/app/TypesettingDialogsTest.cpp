// The size-step, typesetting settings, units and other-options dialogs on the headless back end
// with the program's own resources, the commands that run them on the program-wide settings, and
// one run through the menu bar of the running program that changes how a fraction is laid out.
#include "Dialogs/TypesettingDialogs.h"

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "App/MenuDispatch.h"
#include "App/ModelWiring.h"
#include "BuiltinResources.h"
#include "Dialogs/DialogFrame.h"
#include "ExprSrcs/EPane.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFONTS.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eModelHooks.h"
#include "app/AppDocumentFixture.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

// Positions of the entries of the popups (separators have none).
constexpr int kSizeEntryLarger1 = 4;  // "1 palier + grand"
constexpr int kSizeEntrySame = 5;     // "Même taille"
constexpr int kSizeEntrySmaller2 = 7; // "2 paliers + petit"
constexpr int kSizeEntrySmaller6 = 10;
constexpr int kThicknessEntryUltra = 0;  // 16
constexpr int kThicknessEntryNormal = 5; // 4
constexpr int kThicknessEntryFinest = 8; // 1
constexpr int kDistanceEntryTouching = 0;
constexpr int kDistanceEntryNormal = 4;   // 8
constexpr int kDistanceEntryFarthest = 8; // 20

class TypesettingDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::StartDialogTest();
        ResetStyleTable();
        ResetTypesettingSettings();
        m_minimumFontSize = MinimumFontSize;
        MinimumFontSize = 4;
    }
    void TearDown() override {
        MinimumFontSize = m_minimumFontSize;
        ResetStyleTable();
        ResetTypesettingSettings();
        kvtest::EndDialogTest();
    }
    int32_t m_minimumFontSize = 4;
};

SizeStepsDlgRecord StepsRecord(const char* minimum, const char* s1, const char* s2,
                               const char* s3) {
    SizeStepsDlgRecord record;
    const char* texts[] = {minimum, s1, s2, s3};
    for (size_t i = 0; i < 4; ++i)
        std::snprintf(record.fields[i].data(), record.fields[i].size(), "%s", texts[i]);
    return record;
}

void TypeSteps(DialogDriver& d, const char* minimum, const char* s1, const char* s2,
               const char* s3) {
    d.setText(kSizeStepsMinimumItem, minimum);
    d.setText(kSizeStepsStep1Item, s1);
    d.setText(kSizeStepsStep2Item, s2);
    d.setText(kSizeStepsStep3Item, s3);
}

// ---- Size steps
// ----------------------------------------------------------------------------------

TEST_F(TypesettingDialogsTest, SizeStepsOpenOnTheRecordWithTheBaseSizeAndTheLadder) {
    SizeStepsDlgRecord record = StepsRecord("6", "14", "18", "20");
    std::vector<std::string> fields;
    std::string base, twice, list;
    bool okEnabled = false;
    pt::onDialog(kSizeStepsDialogId, [&](DialogDriver& d) {
        for (int id :
             {kSizeStepsMinimumItem, kSizeStepsStep1Item, kSizeStepsStep2Item, kSizeStepsStep3Item})
            fields.push_back(d.text(id));
        base = d.text(kSizeStepsBaseItem);
        twice = d.text(kSizeStepsDoubleItem);
        list = d.text(kSizeStepsListItem);
        okEnabled = d.enabled(plat::IDOK);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunSizeStepsDlg(&record), 0);
    EXPECT_EQ(fields, (std::vector<std::string>{"6", "14", "18", "20"}));
    EXPECT_EQ(base, "... , 12, ");
    EXPECT_EQ(twice, ", 24, ...");
    // The ladder 6 .. 24, then four more positions, each twice the size four places below.
    EXPECT_EQ(list, "6, 7, 9, 10, 12, 14, 18, 20, 24, 28, 36, 40, 48, ...");
    EXPECT_TRUE(okEnabled);
}

struct StepCase {
    const char* name;
    const char *minimum, *s1, *s2, *s3;
    bool valid;
    const char* list; // when valid
};

TEST_F(TypesettingDialogsTest, TypedStepsAreCheckedAtOnceAndOnlyValidOnesReachTheSettings) {
    // Base size 12, minimum font size 4: 4 <= min <= 12 < s1 < s2 < s3 < 24.
    const StepCase cases[] = {
        {"the shipped ladder", "6", "14", "18", "20", true, nullptr},
        {"minimum equal to the base", "12", "14", "18", "20", true,
         "12, 14, 18, 20, 24, 28, 36, 40, 48, ..."},
        {"largest step just under twice the base", "6", "14", "18", "23", true, nullptr},
        {"minimum at the minimum font size", "4", "14", "18", "20", true, nullptr},
        {"minimum below the minimum font size", "3", "14", "18", "20", false, nullptr},
        {"minimum above the base", "13", "14", "18", "20", false, nullptr},
        {"largest step at twice the base", "6", "14", "18", "24", false, nullptr},
        {"two equal steps", "6", "14", "14", "20", false, nullptr},
        {"first step at the base", "6", "12", "18", "20", false, nullptr},
        {"an empty field", "6", "", "18", "20", false, nullptr},
        {"text that is no number", "6", "14", "abc", "20", false, nullptr},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.name);
        ResetTypesettingSettings();
        const SizeStepRecord before = SizeStepSettings;
        SizeStepsDlgRecord record = StepsRecord("6", "14", "18", "20");
        std::string list;
        bool okEnabled = false;
        SizeStepRecord live{};
        std::vector<int32_t> table;
        pt::onDialog(kSizeStepsDialogId, [&](DialogDriver& d) {
            TypeSteps(d, c.minimum, c.s1, c.s2, c.s3);
            list = d.text(kSizeStepsListItem);
            okEnabled = d.enabled(plat::IDOK);
            live = SizeStepSettings;
            table = SizeStepTable;
            d.click(plat::IDCANCEL);
        });
        EXPECT_EQ(RunSizeStepsDlg(&record), 0);
        EXPECT_EQ(okEnabled, c.valid);
        if (!c.valid) {
            EXPECT_EQ(list, "???");
            // Layout never sees numbers that make no ladder.
            EXPECT_EQ(live.minimum, before.minimum);
            EXPECT_EQ(live.step3, before.step3);
            continue;
        }
        EXPECT_EQ(live.minimum, std::atoi(c.minimum));
        EXPECT_EQ(live.step1, std::atoi(c.s1));
        EXPECT_EQ(live.step3, std::atoi(c.s3));
        ASSERT_FALSE(table.empty());
        EXPECT_EQ(table.front(), std::atoi(c.minimum));
        EXPECT_EQ(table.back(), 24);
        for (size_t i = 1; i < table.size(); ++i)
            EXPECT_LT(table[i - 1], table[i]) << "at " << i;
        if (c.list != nullptr) {
            EXPECT_EQ(list, c.list);
        }
        EXPECT_EQ(list.substr(list.size() - 3), "...");
    }
}

TEST_F(TypesettingDialogsTest, ALongLadderStopsListingAt88CharactersAndDoublesPastItsEnd) {
    // Base 1000, minimum 4: the ladder is long, so the list stops before its end and shows the
    // four entries that follow.
    StyleTable[0].size = 1000;
    SizeStepsDlgRecord record = StepsRecord("4", "1189", "1414", "1682");
    std::string list;
    std::vector<int32_t> table;
    pt::onDialog(kSizeStepsDialogId, [&](DialogDriver& d) {
        list = d.text(kSizeStepsListItem);
        table = SizeStepTable;
        d.click(plat::IDCANCEL);
    });
    RunSizeStepsDlg(&record);
    ASSERT_GT(table.size(), 8u);
    // Rebuild the expected text from the table by the listing rule.
    std::string expected;
    size_t next = 0;
    while (next < table.size() && expected.size() < 88)
        expected += std::to_string(table[next++]) + ", ";
    ASSERT_LT(next, table.size()) << "the ladder should be longer than the listed part";
    for (size_t k = next; k < next + 4; ++k) {
        const int32_t size = k < table.size() ? table[k] : 2 * table[k - 4];
        expected += std::to_string(size) + ", ";
    }
    expected += "...";
    EXPECT_EQ(list, expected);
}

TEST_F(TypesettingDialogsTest, GeometricStepsFollowTheBaseSizeAndLeaveTheMinimumAlone) {
    struct Case {
        int32_t base;
        const char* minimum;
        std::vector<std::string> steps;
        bool valid;
    };
    const Case cases[] = {
        {10, "6", {"12", "14", "17"}, true},
        {12, "6", {"14", "17", "20"}, true},
        {14, "6", {"17", "20", "24"}, true},
        // An invalid minimum: the steps are still filled, the list waits for the minimum.
        {12, "2", {"14", "17", "20"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        ResetTypesettingSettings();
        StyleTable[0].size = c.base;
        SizeStepsDlgRecord record = StepsRecord(c.minimum, "13", "15", "19");
        std::vector<std::string> steps;
        std::string minimum, list;
        bool okEnabled = false;
        pt::onDialog(kSizeStepsDialogId, [&](DialogDriver& d) {
            d.click(kSizeStepsGeometricItem);
            for (int id : {kSizeStepsStep1Item, kSizeStepsStep2Item, kSizeStepsStep3Item})
                steps.push_back(d.text(id));
            minimum = d.text(kSizeStepsMinimumItem);
            list = d.text(kSizeStepsListItem);
            okEnabled = d.enabled(plat::IDOK);
            d.click(plat::IDCANCEL);
        });
        RunSizeStepsDlg(&record);
        EXPECT_EQ(steps, c.steps);
        EXPECT_EQ(minimum, c.minimum);
        EXPECT_EQ(okEnabled, c.valid);
        EXPECT_EQ(list == "???", !c.valid);
    }
}

TEST_F(TypesettingDialogsTest, SizeStepsOkWritesTheFieldsBack) {
    SizeStepsDlgRecord record = StepsRecord("6", "14", "18", "20");
    pt::onDialog(kSizeStepsDialogId, [&](DialogDriver& d) {
        TypeSteps(d, "5", "13", "16", "21");
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunSizeStepsDlg(&record), 1);
    EXPECT_STREQ(record.fields[0].data(), "5");
    EXPECT_STREQ(record.fields[1].data(), "13");
    EXPECT_STREQ(record.fields[2].data(), "16");
    EXPECT_STREQ(record.fields[3].data(), "21");
}

TEST_F(TypesettingDialogsTest, SizeStepsCommandAppliesOkAndCancelPutsEverythingBack) {
    const std::vector<int32_t> shipped = SizeStepTable;
    // Cancel after valid numbers were live: settings and table come back.
    pt::onDialog(kSizeStepsDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(d.text(kSizeStepsMinimumItem), "6");
        EXPECT_EQ(d.text(kSizeStepsStep3Item), "20");
        TypeSteps(d, "8", "13", "16", "21");
        EXPECT_EQ(SizeStepSettings.minimum, 8);
        d.click(plat::IDCANCEL);
    });
    ChooseSizeSteps();
    EXPECT_EQ(SizeStepSettings.minimum, 6);
    EXPECT_EQ(SizeStepSettings.step1, 14);
    EXPECT_EQ(SizeStepTable, shipped);

    pt::onDialog(kSizeStepsDialogId, [&](DialogDriver& d) {
        TypeSteps(d, "8", "13", "16", "21");
        d.click(plat::IDOK);
    });
    ChooseSizeSteps();
    EXPECT_EQ(SizeStepSettings.minimum, 8);
    EXPECT_EQ(SizeStepSettings.step1, 13);
    EXPECT_EQ(SizeStepSettings.step2, 16);
    EXPECT_EQ(SizeStepSettings.step3, 21);
    EXPECT_EQ(SizeStepTable, BuildSizeStepLadder(SizeStepSettings, 12));
    EXPECT_EQ(SizeStepTable.front(), 8);
}

TEST_F(TypesettingDialogsTest, OkPressedWhileTheNumbersAreInvalidChangesNothing) {
    // The Enter key reaches OK even while the button is disabled; the ladder must survive.
    pt::onDialog(kSizeStepsDialogId, [&](DialogDriver& d) {
        TypeSteps(d, "0", "14", "18", "20");
        d.enter();
        if (!d.ended())
            d.click(plat::IDCANCEL);
    });
    ChooseSizeSteps();
    EXPECT_EQ(SizeStepSettings.minimum, 6);
    EXPECT_EQ(SizeStepTable.front(), 6);
}

// ---- Typesetting settings dialogs ---------------------------------------------------------------

TEST_F(TypesettingDialogsTest, DelimiterDialogShowsAndWritesBackEveryField) {
    DelimiterSettingsDlgRecord record{16, 1, 1, 2, 0, 1};
    int horizontal = -1, vertical = -1;
    bool quantise = false, straight = true, balance = false, lot = false;
    pt::onDialog(kDelimiterSettingsDialogId, [&](DialogDriver& d) {
        horizontal = d.curSel(kDelimiterHorizontalThicknessItem);
        vertical = d.curSel(kDelimiterVerticalThicknessItem);
        quantise = d.checked(kDelimiterQuantiseItem);
        straight = d.checked(kDelimiterStraightItem);
        balance = d.checked(kDelimiterBalanceItem);
        lot = d.checked(kDelimiterIncreaseLast);
        d.chooseCombo(kDelimiterHorizontalThicknessItem, kThicknessEntryNormal);
        d.chooseCombo(kDelimiterVerticalThicknessItem, kThicknessEntryUltra);
        d.click(kDelimiterQuantiseItem);
        d.click(kDelimiterStraightItem);
        d.click(kDelimiterIncreaseFirst + 1);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunDelimiterSettingsDlg(&record), 1);
    EXPECT_EQ(horizontal, kThicknessEntryUltra);
    EXPECT_EQ(vertical, kThicknessEntryFinest);
    EXPECT_TRUE(quantise);
    EXPECT_FALSE(straight);
    EXPECT_TRUE(balance);
    EXPECT_TRUE(lot);
    EXPECT_EQ(record.horizontalThickness, 4);
    EXPECT_EQ(record.verticalThickness, 16);
    EXPECT_EQ(record.quantiseSize, 0);
    EXPECT_EQ(record.increaseHeight, 1);
    EXPECT_EQ(record.straightSegments, 1);
    EXPECT_EQ(record.balanceAboutAxis, 1);
}

TEST_F(TypesettingDialogsTest, IntegralScriptAndRootDialogsMapMenuPositionsToValues) {
    IntegralSettingsDlgRecord integral{-4, 4, 16, 0, 0, 0, 0};
    int limitsShown = -1, heightShown = -1;
    pt::onDialog(kIntegralSettingsDialogId, [&](DialogDriver& d) {
        limitsShown = d.curSel(kIntegralLimitsSizeItem);
        heightShown = d.curSel(kIntegralHeightItem);
        d.chooseCombo(kIntegralLimitsSizeItem, kSizeEntrySame);
        d.chooseCombo(kIntegralHeightItem, 0); // "très grand"
        d.click(kIntegralFixedItem);
        d.click(kIntegralNoInnerSpaceItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunIntegralSettingsDlg(&integral), 1);
    EXPECT_EQ(limitsShown, 9); // "4 (moitié)"
    EXPECT_EQ(heightShown, 3); // "normale"
    EXPECT_EQ(integral.limitsSize, 0);
    EXPECT_EQ(integral.defaultHeight, 32);
    EXPECT_EQ(integral.signThickness, 4);
    EXPECT_EQ(integral.fixedHeight, 1);
    EXPECT_EQ(integral.quantiseHeight, 0);
    EXPECT_EQ(integral.removeInnerSpace, 1);

    ScriptSettingsDlgRecord scripts{-2, 2, 8, 2, 8, 4};
    pt::onDialog(kScriptSettingsDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(d.curSel(kScriptSizeItem), kSizeEntrySmaller2);
        EXPECT_EQ(d.curSel(kBigOperatorSizeItem), 3);
        EXPECT_EQ(d.curSel(kSubscriptHeightItem), 2);
        EXPECT_EQ(d.curSel(kSuperscriptHeightItem), 4);
        d.chooseCombo(kScriptSizeItem, kSizeEntrySmaller6);
        d.chooseCombo(kBigOperatorSizeItem, 0);
        d.chooseCombo(kSubscriptSeparationItem, kDistanceEntryTouching);
        d.chooseCombo(kSubscriptHeightItem, 7);
        d.chooseCombo(kSuperscriptSeparationItem, kDistanceEntryFarthest);
        d.chooseCombo(kSuperscriptHeightItem, 0);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunScriptSettingsDlg(&scripts), 1);
    EXPECT_EQ(scripts.scriptSize, -6);
    EXPECT_EQ(scripts.bigOperatorSize, 6);
    EXPECT_EQ(scripts.subscriptSeparation, 0);
    EXPECT_EQ(scripts.subscriptHeight, 7);
    EXPECT_EQ(scripts.superscriptSeparation, 20);
    EXPECT_EQ(scripts.superscriptHeight, 0);

    RootSettingsDlgRecord root{-4, 4, 1};
    pt::onDialog(kRootSettingsDialogId, [&](DialogDriver& d) {
        EXPECT_TRUE(d.checked(kRootFlangeFirst + 1));
        d.chooseCombo(kRootIndexSizeItem, kSizeEntryLarger1);
        d.chooseCombo(kRootThicknessItem, kThicknessEntryFinest);
        d.click(kRootFlangeLast);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunRootSettingsDlg(&root), 1);
    EXPECT_EQ(root.indexSize, 1);
    EXPECT_EQ(root.signThickness, 1);
    EXPECT_EQ(root.flange, 2);

    EmbellishmentSettingsDlgRecord marks{4, 4};
    pt::onDialog(kEmbellishmentSettingsDialogId, [&](DialogDriver& d) {
        d.chooseCombo(kEmbellishmentDotItem, kThicknessEntryUltra);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunEmbellishmentSettingsDlg(&marks), 1);
    EXPECT_EQ(marks.dotThickness, 16);
    EXPECT_EQ(marks.strokeThickness, 4);
}

TEST_F(TypesettingDialogsTest, CancelLeavesEveryRecordAsItWas) {
    DelimiterSettingsDlgRecord delimiter{4, 4, 0, 0, 0, 0};
    pt::onDialog(kDelimiterSettingsDialogId, [&](DialogDriver& d) {
        d.chooseCombo(kDelimiterHorizontalThicknessItem, kThicknessEntryUltra);
        d.click(kDelimiterQuantiseItem);
        d.click(kDelimiterIncreaseLast);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunDelimiterSettingsDlg(&delimiter), 0);
    EXPECT_EQ(delimiter.horizontalThickness, 4);
    EXPECT_EQ(delimiter.quantiseSize, 0);
    EXPECT_EQ(delimiter.increaseHeight, 0);

    FractionSettingsDlgRecord fraction{-3, 4, 8};
    pt::onDialog(kFractionSettingsDialogId, [&](DialogDriver& d) {
        d.chooseCombo(kFractionDistanceItem, kDistanceEntryFarthest);
        d.escape();
    });
    EXPECT_EQ(RunFractionSettingsDlg(&fraction), 0);
    EXPECT_EQ(fraction.distance, 8);
}

TEST_F(TypesettingDialogsTest, FractionDialogShowsThicknessAndDistanceInPoints) {
    // At base size 12: thickness v shows 12 v / 128 points, distance v shows 12 v / 64 points.
    FractionSettingsDlgRecord record{-3, 4, 8};
    std::vector<std::string> shown;
    pt::onDialog(kFractionSettingsDialogId, [&](DialogDriver& d) {
        shown.push_back(d.text(kFractionThicknessPointsItem));
        shown.push_back(d.text(kFractionDistancePointsItem));
        d.chooseCombo(kFractionThicknessItem, kThicknessEntryUltra);
        d.chooseCombo(kFractionDistanceItem, kDistanceEntryTouching);
        shown.push_back(d.text(kFractionThicknessPointsItem));
        shown.push_back(d.text(kFractionDistancePointsItem));
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunFractionSettingsDlg(&record), 1);
    EXPECT_EQ(shown, (std::vector<std::string>{"0.38 pts", "1.5 pts", "1.5 pts", "0 pts"}));
    EXPECT_EQ(record.barThickness, 16);
    EXPECT_EQ(record.distance, 0);
    EXPECT_EQ(record.size, -3);
}

TEST_F(TypesettingDialogsTest, AValueNoEntryShowsIsKeptAndShownInPoints) {
    // Thickness 7 lies in range but no menu position has it: nothing is selected, OK keeps 7.
    FractionSettingsDlgRecord record{-3, 7, 8};
    std::string points;
    int selected = 0;
    pt::onDialog(kFractionSettingsDialogId, [&](DialogDriver& d) {
        selected = d.curSel(kFractionThicknessItem);
        points = d.text(kFractionThicknessPointsItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunFractionSettingsDlg(&record), 1);
    EXPECT_EQ(selected, -1);
    EXPECT_EQ(points, "0.66 pts"); // 7 x 12 / 128 = 0.65625
    EXPECT_EQ(record.barThickness, 7);
}

// ---- Commands on the settings
// ---------------------------------------------------------------------

TEST_F(TypesettingDialogsTest, CommandsNegateStepsSmallerAndStoreOnOkOnly) {
    TypesettingSettings.fractionSize = 3; // three steps smaller
    int shownSize = -1;
    pt::onDialog(kFractionSettingsDialogId, [&](DialogDriver& d) {
        shownSize = d.curSel(kFractionSizeItem);
        d.chooseCombo(kFractionSizeItem, kSizeEntryLarger1);
        d.chooseCombo(kFractionThicknessItem, kThicknessEntryFinest);
        d.click(plat::IDCANCEL);
    });
    ChooseFractionSettings();
    EXPECT_EQ(shownSize, 8); // "3 paliers + petit"
    EXPECT_EQ(TypesettingSettings.fractionSize, 3);
    EXPECT_EQ(TypesettingSettings.fractionBarThickness, 4);

    pt::onDialog(kFractionSettingsDialogId, [&](DialogDriver& d) {
        d.chooseCombo(kFractionSizeItem, kSizeEntryLarger1);
        d.chooseCombo(kFractionThicknessItem, kThicknessEntryFinest);
        d.click(plat::IDOK);
    });
    ChooseFractionSettings();
    EXPECT_EQ(TypesettingSettings.fractionSize, -1); // one step larger
    EXPECT_EQ(TypesettingSettings.fractionBarThickness, 1);

    // Sigma and Pi are stored as steps larger and shown as they are.
    TypesettingSettings.bigOperatorSize = 2;
    TypesettingSettings.scriptSize = 2;
    pt::onDialog(kScriptSettingsDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(d.curSel(kBigOperatorSizeItem), 3); // "2 paliers + grand"
        EXPECT_EQ(d.curSel(kScriptSizeItem), kSizeEntrySmaller2);
        d.chooseCombo(kSubscriptHeightItem, 6); // "Bas"
        d.click(plat::IDOK);
    });
    ChooseScriptSettings();
    EXPECT_EQ(TypesettingSettings.bigOperatorSize, 2);
    EXPECT_EQ(TypesettingSettings.scriptSize, 2);
    EXPECT_EQ(TypesettingSettings.subscriptDepth, 6);

    RootSettings.indexSize = 4;
    pt::onDialog(kRootSettingsDialogId, [&](DialogDriver& d) {
        d.chooseCombo(kRootIndexSizeItem, kSizeEntrySmaller2);
        d.click(kRootFlangeFirst);
        d.click(plat::IDOK);
    });
    ChooseRootSettings();
    EXPECT_EQ(RootSettings.indexSize, 2);
    EXPECT_EQ(RootSettings.rightHook, 0);
}

TEST_F(TypesettingDialogsTest, OutOfRangeSettingsAreReplacedBeforeTheRunEvenWhenCancelled) {
    struct Case {
        const char* name;
        std::function<void()> spoil;
        int dialogId;
        std::function<void()> command;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"fraction",
         [] {
             TypesettingSettings.fractionSize = 9;
             TypesettingSettings.fractionBarThickness = 0;
             TypesettingSettings.fractionDistance = 21;
         },
         kFractionSettingsDialogId, &ChooseFractionSettings,
         [] {
             EXPECT_EQ(TypesettingSettings.fractionSize, -2);
             EXPECT_EQ(TypesettingSettings.fractionBarThickness, 4);
             EXPECT_EQ(TypesettingSettings.fractionDistance, 8);
         }},
        {"scripts",
         [] {
             TypesettingSettings.scriptSize = -7;
             TypesettingSettings.subscriptDepth = 8;
             TypesettingSettings.superscriptSeparation = -1;
         },
         kScriptSettingsDialogId, &ChooseScriptSettings,
         [] {
             EXPECT_EQ(TypesettingSettings.scriptSize, -2);
             EXPECT_EQ(TypesettingSettings.subscriptDepth, 4);
             EXPECT_EQ(TypesettingSettings.superscriptSeparation, 8);
         }},
        {"integral",
         [] {
             IntegralSettings.defaultHeight = 7;
             IntegralSettings.strokeWeight = 17;
         },
         kIntegralSettingsDialogId, &ChooseIntegralSettings,
         [] {
             EXPECT_EQ(IntegralSettings.defaultHeight, 16);
             EXPECT_EQ(IntegralSettings.strokeWeight, 4);
         }},
        {"delimiter", [] { DelimiterSettings.increaseHeight = 3; }, kDelimiterSettingsDialogId,
         &ChooseFenceSettings, [] { EXPECT_EQ(DelimiterSettings.increaseHeight, 0); }},
        {"root", [] { RootSettings.rightHook = -1; }, kRootSettingsDialogId, &ChooseRootSettings,
         [] { EXPECT_EQ(RootSettings.rightHook, 1); }},
        {"ornament", [] { EmbellishmentSettings.dotWeight = 40; }, kEmbellishmentSettingsDialogId,
         &ChooseMarkSettings, [] { EXPECT_EQ(EmbellishmentSettings.dotWeight, 4); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetTypesettingSettings();
        c.spoil();
        pt::onDialog(c.dialogId, [](DialogDriver& d) { d.click(plat::IDCANCEL); });
        c.command();
        c.check();
    }
}

TEST_F(TypesettingDialogsTest, RulerUnitsShowAndStoreTheUnit) {
    MeasurementUnitSetting = 2;
    pt::onDialog(kRulerUnitsDialogId, [&](DialogDriver& d) {
        EXPECT_TRUE(d.checked(kRulerUnitsFirst + 2));
        EXPECT_FALSE(d.checked(kRulerUnitsFirst));
        d.click(kRulerUnitsFirst + 1);
        d.click(plat::IDCANCEL);
    });
    ChooseRulerUnits();
    EXPECT_EQ(MeasurementUnitSetting, 2);

    pt::onDialog(kRulerUnitsDialogId, [&](DialogDriver& d) {
        d.click(kRulerUnitsLast);
        d.click(plat::IDOK);
    });
    ChooseRulerUnits();
    EXPECT_EQ(MeasurementUnitSetting, 3);

    // A stored unit no button shows stays when OK is pressed without a choice.
    MeasurementUnitSetting = 7;
    pt::onDialog(kRulerUnitsDialogId, [&](DialogDriver& d) { d.click(plat::IDOK); });
    ChooseRulerUnits();
    EXPECT_EQ(MeasurementUnitSetting, 7);
}

TEST_F(TypesettingDialogsTest, OtherOptionsStoreTheSmoothingAmountOnlyWhenSmoothing) {
    struct Case {
        const char* name;
        int32_t stored;
        int radio;        // 0 instant, 1 smoothing
        int amountEntry;  // popup entry chosen
        int32_t expected; // smoothing amount after OK
    };
    const Case cases[] = {
        {"smoothing high", 0, 1, 2, 2},
        {"smoothing with fast draw", 2, 1, 0, 0},
        {"instant whatever the popup shows", 1, 0, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WideStructureSetting = c.stored;
        ReplacePlaceholdersOption = 0;
        pt::onDialog(kOtherOptionsDialogId, [&](DialogDriver& d) {
            EXPECT_EQ(d.checked(kSmoothRedrawLast), c.stored > 0);
            EXPECT_EQ(d.curSel(kSmoothAmountItem), c.stored);
            d.click(kSmoothRedrawFirst + c.radio);
            d.chooseCombo(kSmoothAmountItem, c.amountEntry);
            d.click(kPasteQuestionLast);
            d.click(plat::IDOK);
        });
        ChooseOtherOptions();
        EXPECT_EQ(WideStructureSetting, c.expected);
        EXPECT_EQ(ReplacePlaceholdersOption, 1);
    }
    // With no smoothing the dialog opens on instant redraw and "Fast Screen Draw"; Cancel keeps
    // all.
    WideStructureSetting = 0;
    pt::onDialog(kOtherOptionsDialogId, [&](DialogDriver& d) {
        EXPECT_TRUE(d.checked(kSmoothRedrawFirst));
        EXPECT_EQ(d.curSel(kSmoothAmountItem), 0);
        EXPECT_TRUE(d.checked(kPasteQuestionLast));
        d.click(kSmoothRedrawLast);
        d.chooseCombo(kSmoothAmountItem, 3);
        d.click(kPasteQuestionFirst);
        d.click(plat::IDCANCEL);
    });
    ChooseOtherOptions();
    EXPECT_EQ(WideStructureSetting, 0);
    EXPECT_EQ(ReplacePlaceholdersOption, 1);
}

// ---- Through the running program
// ------------------------------------------------------------------

const eFraction* FindFraction(const eExpr* node) {
    if (node == nullptr)
        return nullptr;
    if (const auto* f = dynamic_cast<const eFraction*>(node))
        return f;
    for (int32_t i = 0; i < node->childCount(); ++i)
        if (const eFraction* f = FindFraction(node->getChild(i)))
            return f;
    return nullptr;
}

class TypesettingCommandTest : public kvtest::AppDocumentFixture {
protected:
    // The settings are fresh before the program starts, since it reads them while starting.
    void SetUp() override {
        ResetTypesettingSettings();
        AppDocumentFixture::SetUp();
    }
    void TearDown() override {
        AppDocumentFixture::TearDown();
        ResetTypesettingSettings();
    }
};

TEST_F(TypesettingCommandTest, TheFractionMenuItemChangesHowOpenDocumentsLayOutFractions) {
    ExprFilePane* pane = NewUntitledDocument();
    pane->takeFocus();
    pt::runUntilIdle();
    DoCommand(0x4000 + kFractionVertical, 0); // insert a fraction
    pt::runUntilIdle();
    const eFraction* fraction = FindFraction(pane->expression());
    ASSERT_NE(fraction, nullptr);
    const int32_t size = fraction->m_size;
    const int32_t heightBefore = fraction->height();
    const int32_t gapBefore = std::max(1, (size * 8 + 32) / 64);
    const int32_t gapAfter = std::max(1, (size * 20 + 32) / 64);
    ASSERT_GT(gapAfter, gapBefore) << "the fraction is too small to tell the distances apart";

    pt::onDialog(kFractionSettingsDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(d.curSel(kFractionDistanceItem), kDistanceEntryNormal);
        d.chooseCombo(kFractionDistanceItem, kDistanceEntryFarthest);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kFractionSettingsMenuId), 1);
    pt::runUntilIdle();
    EXPECT_EQ(TypesettingSettings.fractionDistance, 20);
    fraction = FindFraction(pane->expression());
    ASSERT_NE(fraction, nullptr);
    // The bar keeps its distance above and below: two gaps grow.
    EXPECT_EQ(fraction->height(), heightBefore + 2 * (gapAfter - gapBefore));
    EXPECT_FALSE(MenuCommandIsMissing(kSizeStepsMenuId));
    EXPECT_FALSE(MenuCommandIsMissing(kRulerUnitsMenuId));
}

} // namespace
