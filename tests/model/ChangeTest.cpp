#include "ExprSrcs/Change.h"

#include "BuiltinResources.h"
#include "OverPc/PERROR.h"
#include "OverPc/Presourc.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eLongDivision.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eOverstrike.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTensor.h"
#include "OverSrcs/eTreeNode.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oWindows.h"
#include "model/EditModelFixture.h"
#include "model/ModelFixture.h"
#include "plat/Resources.h"
#include "plat/Testing.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

ExprPtr Letter(const char* text) {
    return NewSimpStringWith(NewWord(text, 0, SizedStyle(12), 0));
}

// The text of the word that a one-word row holds ("" when it holds anything else).
std::string RowWord(const eExpr* row) {
    if (row == nullptr || row->childCount() != 1 || row->getChild(0) == nullptr ||
        !row->getChild(0)->isWord())
        return "";
    return std::string(static_cast<const eWord*>(row->getChild(0))->view());
}

// What the launchers saw, and what the test's script makes them answer.
struct Launches {
    int calls = 0;
    int32_t result = 1;
    DelimiterDlgRecord delimiter;
    std::function<void(DelimiterDlgRecord&)> editDelimiter;
    EmbellishmentDlgRecord mark;
    std::function<void(EmbellishmentDlgRecord&)> editMark;
    FractionDlgRecord fraction;
    std::function<void(FractionDlgRecord&)> editFraction;
    IntegralDlgRecord integral;
    std::function<void(IntegralDlgRecord&)> editIntegral;
    BoxDlgRecord box;
    std::function<void(BoxDlgRecord&)> editBox;
    ScriptsDlgRecord scripts;
    std::function<void(ScriptsDlgRecord&)> editScripts;
    TensorDlgRecord tensor;
    std::function<void(TensorDlgRecord&)> editTensor;
    TreeNodeDlgRecord tree;
    std::function<void(TreeNodeDlgRecord&)> editTree;
    StringDlgRecord row;
    std::function<void(StringDlgRecord&)> editRow;
};
Launches g_launch;

// What happens elsewhere while a dialog is up (a tree edit), run by every launcher.
std::function<void()> g_whileUp;

// Records what the dialog was opened with, applies the script's edit and answers the result.
template <class R> int32_t Answer(R* record, R& seen, const std::function<void(R&)>& edit) {
    ++g_launch.calls;
    seen = *record;
    if (edit && g_launch.result != 0)
        edit(*record);
    if (g_whileUp)
        g_whileUp();
    return g_launch.result;
}

void InstallLaunchers() {
    ModifyDialogLaunchers& l = TheModifyDialogLaunchers();
    l.runEditDelimiterDlg = [](DelimiterDlgRecord* r) {
        return Answer(r, g_launch.delimiter, g_launch.editDelimiter);
    };
    l.runEditEmbellishmentDlg = [](EmbellishmentDlgRecord* r) {
        return Answer(r, g_launch.mark, g_launch.editMark);
    };
    l.runEditFractionDlg = [](FractionDlgRecord* r) {
        return Answer(r, g_launch.fraction, g_launch.editFraction);
    };
    l.runEditIntegralDlg = [](IntegralDlgRecord* r) {
        return Answer(r, g_launch.integral, g_launch.editIntegral);
    };
    l.runEditBoxDlg = [](BoxDlgRecord* r) { return Answer(r, g_launch.box, g_launch.editBox); };
    l.runEditScriptsDlg = [](ScriptsDlgRecord* r) {
        return Answer(r, g_launch.scripts, g_launch.editScripts);
    };
    l.runEditTensorDlg = [](TensorDlgRecord* r) {
        return Answer(r, g_launch.tensor, g_launch.editTensor);
    };
    l.runEditTreeNodeDlg = [](TreeNodeDlgRecord* r) {
        return Answer(r, g_launch.tree, g_launch.editTree);
    };
    l.runEditStringDlg = [](StringDlgRecord* r) {
        return Answer(r, g_launch.row, g_launch.editRow);
    };
}

class ChangeTest : public EditModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        plat::testing::reset();
        // The program's own string table, for message 496.
        plat::RegisterBuiltinResources(BuiltinResourceTables());
        FreeStringCache();
        m_beepsBefore = CommandBeepCount();
        g_launch = Launches{};
        g_whileUp = nullptr;
        ResetModifyDialogLaunchers();
        installCommands();
        InstallLaunchers();
        TheCommandHooks().refreshActivePane = [] {};
        BatchMode = 0;
        CtrlHeld = 0;
    }
    void TearDown() override {
        g_whileUp = nullptr;
        EditModelTest::TearDown();
        ResetModifyDialogLaunchers();
    }

    // A top row of the nodes, in a fresh record; the tree is laid out so that walks see widths.
    eSimpString* Use(std::vector<ExprPtr> items) {
        OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(items.size()));
        for (size_t i = 0; i < items.size(); ++i)
            row->setChild(static_cast<int32_t>(i), std::move(items[i]));
        eSimpString* top = row.get();
        useExpression(std::move(row));
        Measure(m_record.m_root);
        return top;
    }
    template <class... Nodes> eSimpString* UseRow(Nodes&&... nodes) {
        std::vector<ExprPtr> items;
        (items.push_back(ExprPtr(std::forward<Nodes>(nodes))), ...);
        return Use(std::move(items));
    }
    void Select(eExpr* node, int32_t start, int32_t end) {
        ClearSelectionList(m_record);
        SelectRange(node, start, end, 0, 0);
    }
    std::vector<SelectionEntry> Selection() const {
        std::vector<SelectionEntry> list;
        for (int32_t i = 0; i < m_record.count(); ++i)
            list.push_back(m_record.entry(i));
        return list;
    }
    eExpr* Top() const { return m_record.m_root->getChild(0); }
    // The Modify command, inside an error environment of its own.
    void Modify() {
        EXPECT_EQ(CatchFail([] { DoCommand(kCmdModify, 0); }), 0);
    }

    // Beeps since the test started.
    int32_t Beeps() const { return CommandBeepCount() - m_beepsBefore; }

    int32_t m_beepsBefore = 0;
};

// ---- Query mode ---------------------------------------------------------------------------------

struct KindCase {
    const char* name;
    std::function<ExprPtr()> make;
    int32_t kind;
    int32_t helpKind; // the help balloon's cursor kind and text
    int32_t helpText;
};

// Every class answers the Modify query with its dialog's kind, and the help balloon over it with
// a text of the string table.
TEST_F(ChangeTest, EveryClassReportsItsModifyKindAndHelpText) {
    const KindCase cases[] = {
        {"row", [] { return ExprPtr(NewSimpString(0)); }, 0, 1, 388},
        {"word", [] { return ExprPtr(NewWord("x", 0, SizedStyle(12), 0)); }, 15, 1, 382},
        {"space", [] { return ExprPtr(NewPseudo(kPseudoSpace, nullptr, 0)); }, 15, 1, 385},
        {"thin space", [] { return ExprPtr(NewPseudo(kPseudoThinSpace, nullptr, 0)); }, 15, 1, 386},
        {"tab", [] { return ExprPtr(NewPseudo(kPseudoTab, nullptr, 0)); }, 15, 1, 387},
        {"ellipsis", [] { return ExprPtr(NewPseudo(kPseudoEllipsis, nullptr, 0)); }, 15, 1, 384},
        {"picture", [] { return ExprPtr(NewUFO(std::make_unique<WinUfo>(), nullptr, 0)); }, 15, 1,
         383},
        {"fence", [] { return ExprPtr(NewFence(Letter("a"), FenceKind(1, 1))); }, 6, 1, 392},
        {"brace above", [] { return ExprPtr(NewFence(Letter("a"), FenceKind(2, 2, true))); }, 6, 1,
         393},
        {"mark", [] { return ExprPtr(NewMark(Letter("a"), kMarkDot)); }, 7, 1, 394},
        {"fraction", [] { return ExprPtr(NewFraction(Letter("a"), Letter("b"))); }, 8, 1, 395},
        {"slanted fraction",
         [] {
             OwnedNode<eFraction> f = NewFraction(Letter("a"), Letter("b"));
             f->m_kind = kFractionSlanted;
             return ExprPtr(f.release());
         },
         8, 1, 396},
        {"scripts", [] { return ExprPtr(NewSSScript(Letter("a"), nullptr, nullptr, 3)); }, 9, 1,
         399},
        {"integral", [] { return ExprPtr(NewIntegral(3, nullptr, nullptr, nullptr)); }, 10, 1, 398},
        {"box", [] { return ExprPtr(NewBox(Letter("a"))); }, 11, 1, 401},
        {"tensor", [] { return ExprPtr(NewTensor(Letter("T"), 2)); }, 12, 1, 404},
        {"tree", [] { return ExprPtr(NewTreeNode(Letter("n"), 3)); }, 13, 1, 400},
        {"root", [] { return ExprPtr(NewRoot(Letter("a"), nullptr)); }, 5, 1, 397},
        {"overstrike", [] { return ExprPtr(NewOverstrike(Letter("a"), Letter("/"))); }, 5, 1, 402},
        {"long division",
         [] { return ExprPtr(NewLongDivision(Letter("a"), Letter("b"), nullptr, nullptr)); }, 5, 1,
         405},
        {"header", [] { return ExprPtr(NewHeader(Letter("a"), nullptr)); }, 0, 1, 0},
        {"ruled row", [] { return ExprPtr(NewDxString(0, nullptr)); }, 1, 0, 389},
        {"matrix", [] { return ExprPtr(NewSimpMatrix(1, 2)); }, 3, 4, 391},
        {"ruled matrix", [] { return ExprPtr(NewDxMatrix(2, 1, nullptr)); }, 4, 4, 391},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.name);
        ExprPtr node = c.make();
        EXPECT_EQ(node->change(true), c.kind);
        int32_t kind = -1;
        int32_t text = -1;
        node->infoText(kind, text);
        EXPECT_EQ(kind, c.helpKind);
        EXPECT_EQ(text, c.helpText);
        if (text != 0) {
            EXPECT_GT(std::strlen(LoadResString(text)), 20u);
        }
    }
    EXPECT_EQ(g_launch.calls, 0);
    EXPECT_EQ(Beeps(), 0);

    // With the rulers shown a ruled row explains its ruler; with the structure shown in a pane an
    // overstrike explains its parts.
    UseRow(ExprPtr(NewDxString(0, nullptr)), ExprPtr(NewOverstrike(Letter("a"), Letter("/"))));
    int32_t kind = 0;
    int32_t text = 0;
    m_record.m_options[kOptionRuler] = 1;
    Top()->getChild(0)->infoText(kind, text);
    EXPECT_EQ(text, 390);
    oPane pane;
    ActivePad = &pane;
    m_record.m_options[kOptionStructure] = 1;
    Top()->getChild(1)->infoText(kind, text);
    EXPECT_EQ(text, 403);
    ActivePad = nullptr;
    Top()->getChild(1)->infoText(kind, text);
    EXPECT_EQ(text, 402);
}

// ---- The command on a selected node -------------------------------------------------------------

TEST_F(ChangeTest, FenceSelectedAsOneItemOpensItsDialogThroughTheRowAndUndoesInOneStep) {
    eSimpString* top = UseRow(ExprPtr(NewWord("x", 0, SizedStyle(12), 0)),
                              ExprPtr(NewFence(Letter("a"), FenceKind(kDelimParen, kDelimSquare))));
    Select(top, 1, 2);
    g_launch.editDelimiter = [](DelimiterDlgRecord& r) {
        r.opening = kDelimBrace;
        r.closing = kDelimBar;
        r.horizontal = 1;
    };
    Modify();
    ASSERT_EQ(g_launch.calls, 1);
    EXPECT_EQ(g_launch.delimiter.opening, kDelimParen);
    EXPECT_EQ(g_launch.delimiter.closing, kDelimSquare);
    EXPECT_EQ(g_launch.delimiter.horizontal, 0);
    auto* fence = static_cast<eFence*>(top->getChild(1));
    EXPECT_EQ(fence->m_kind, FenceKind(kDelimBrace, kDelimBar, true));
    EXPECT_EQ(Selection(), (std::vector<SelectionEntry>{{top, 1, 2, 0, 0}}));
    EXPECT_EQ(Beeps(), 0);

    ASSERT_TRUE(UndoLastEdit());
    auto* restored = static_cast<eFence*>(Top()->getChild(1));
    EXPECT_EQ(restored->m_kind, FenceKind(kDelimParen, kDelimSquare));
}

TEST_F(ChangeTest, CancelKeepsNodeAndSelectionAndEndsThePassOverLaterEntries) {
    // Two fences, one in each slot of a fraction, selected together.
    OwnedNode<eSimpString> over = NewSimpString(1);
    over->setChild(0, NewFence(Letter("a"), FenceKind(1, 1)));
    OwnedNode<eSimpString> under = NewSimpString(1);
    under->setChild(0, NewFence(Letter("b"), FenceKind(1, 1)));
    eSimpString* first = over.get();
    eSimpString* second = under.get();
    UseRow(ExprPtr(NewFraction(std::move(over), std::move(under))));
    ClearSelectionList(m_record);
    SelectRange(first, 0, 1, 0, 0);
    SelectRange(second, 0, 1, 0, 0);
    g_launch.result = 0;
    Modify();
    EXPECT_EQ(g_launch.calls, 1); // the second fence is never asked
    EXPECT_EQ(static_cast<eFence*>(first->getChild(0))->m_kind, FenceKind(1, 1));
    EXPECT_EQ(Selection(),
              (std::vector<SelectionEntry>{{first, 0, 1, 0, 0}, {second, 0, 1, 0, 0}}));
    EXPECT_EQ(Beeps(), 0);

    // With OK both are modified, one after the other.
    g_launch.result = 1;
    g_launch.editDelimiter = [](DelimiterDlgRecord& r) { r.closing = kDelimBar; };
    Modify();
    EXPECT_EQ(g_launch.calls, 3);
    EXPECT_EQ(static_cast<eFence*>(first->getChild(0))->m_kind, FenceKind(1, kDelimBar));
    EXPECT_EQ(static_cast<eFence*>(second->getChild(0))->m_kind, FenceKind(1, kDelimBar));
}

TEST_F(ChangeTest, WithoutAnInstalledDialogTheCommandOnlyBeeps) {
    eSimpString* top = UseRow(ExprPtr(NewFraction(Letter("a"), Letter("b"))));
    auto* fraction = static_cast<eFraction*>(top->getChild(0));
    const int32_t kind = fraction->m_kind;
    ResetModifyDialogLaunchers();
    Select(top, 0, 1);
    Modify();
    EXPECT_EQ(Beeps(), 1);
    EXPECT_EQ(top->getChild(0), fraction);
    EXPECT_EQ(fraction->m_kind, kind);
    EXPECT_EQ(Selection(), (std::vector<SelectionEntry>{{top, 0, 1, 0, 0}}));
}

TEST_F(ChangeTest, APartOfARowCannotBeModified) {
    eSimpString* top = UseRow(ExprPtr(NewWord("x", 0, SizedStyle(12), 0)),
                              ExprPtr(NewFraction(Letter("a"), Letter("b"))),
                              ExprPtr(NewWord("y", 0, SizedStyle(12), 0)));
    Select(top, 0, 2);
    EXPECT_EQ(CatchFail([] { DoCommand(kCmdModify, 0); }), errModifyPartOfRow);
    EXPECT_EQ(g_launch.calls, 0);
    // The selection survives the failure.
    EXPECT_EQ(Selection(), (std::vector<SelectionEntry>{{top, 0, 2, 0, 0}}));
}

TEST_F(ChangeTest, AWholePlainRowOpensTheRowDialogAndStaysPlainWithoutARuler) {
    eSimpString* top = UseRow(ExprPtr(NewWord("x", 0, SizedStyle(12), 0)),
                              ExprPtr(NewWord("+", 0, SizedStyle(12), 0)));
    Select(top, 0, 2);
    // The edit is finished on the row like every other outcome of the dialog: the pane hears
    // that the row was edited.
    static std::vector<eExpr*> finished;
    finished.clear();
    TheCommandHooks().markEdited = [](eExpr* node) { finished.push_back(node); };
    Modify();
    ASSERT_EQ(g_launch.calls, 1);
    EXPECT_EQ(g_launch.row.ruler, 0);
    EXPECT_EQ(g_launch.row.vertical, 3);
    EXPECT_EQ(g_launch.row.horizontal, 0);
    EXPECT_EQ(Top(), top);
    EXPECT_EQ(Selection(), (std::vector<SelectionEntry>{{top, 0, 2, 0, 0}}));
    EXPECT_EQ(finished, std::vector<eExpr*>{top});
}

// ---- Records and kinds --------------------------------------------------------------------------

// OK without touching the record gives the node back its own kind: the record is filled from the
// kind and applied by the inverse rule.
TEST_F(ChangeTest, OkWithAnUntouchedRecordKeepsEveryKind) {
    struct Case {
        const char* name;
        std::function<ExprPtr()> make;
        int32_t kind;
    };
    const Case cases[] = {
        {"fence", [] { return ExprPtr(NewFence(Letter("a"), 0)); }, FenceKind(3, 10, true)},
        {"fence none", [] { return ExprPtr(NewFence(Letter("a"), 0)); }, FenceKind(0, 7)},
        {"mark", [] { return ExprPtr(NewMark(Letter("a"), 0)); },
         kMarkTilde | kMarkBelow | kMarkFixedWidth},
        {"mark normal", [] { return ExprPtr(NewMark(Letter("a"), 0)); },
         kMarkDoubleBar | kMarkNormalPlacement},
        {"fraction", [] { return ExprPtr(NewFraction(Letter("a"), Letter("b"))); },
         kFractionNearlyFlat},
        {"integral", [] { return ExprPtr(NewIntegral(3, Letter("f"), nullptr, nullptr)); },
         3 | kIntegralContour | kIntegralSecondContour | kIntegralSmallSign},
        {"evaluate-at", [] { return ExprPtr(NewIntegral(3, Letter("f"), nullptr, nullptr)); },
         kIntegralEvaluateAt | kIntegralLimitsAboveBelow},
        {"box", [] { return ExprPtr(NewBox(Letter("a"))); },
         9 | kBoxShadow | kBoxShadowLeft | kBoxQuantiseWidth},
        {"box right shadow", [] { return ExprPtr(NewBox(Letter("a"))); },
         15 | kBoxShadow | kBoxQuantiseHeight},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExprPtr node = c.make();
        static_cast<eTemplate*>(node.get())->m_kind = c.kind;
        eSimpString* top = UseRow(std::move(node));
        Select(top, 0, 1);
        Modify();
        EXPECT_EQ(static_cast<eTemplate*>(Top()->getChild(0))->m_kind, c.kind);
    }
    EXPECT_EQ(g_launch.calls, 9);
    EXPECT_EQ(Beeps(), 0);
}

TEST_F(ChangeTest, RecordsAreFilledAndAppliedByTheirRules) {
    eSimpString* top = UseRow(ExprPtr(NewMark(Letter("a"), kMarkVector | kMarkNormalPlacement)),
                              ExprPtr(NewFraction(Letter("a"), Letter("b"))),
                              ExprPtr(NewIntegral(3, Letter("f"), nullptr, nullptr)),
                              ExprPtr(NewBox(Letter("a"))));
    // Mark: "vector, above normal" is mark 4 (record 3), placement 1.
    g_launch.editMark = [](EmbellishmentDlgRecord& r) {
        r.mark = 6; // hat
        r.placement = 2;
        r.fixedWidth = 1;
    };
    Select(top, 0, 1);
    Modify();
    EXPECT_EQ(g_launch.mark.mark, 3);
    EXPECT_EQ(g_launch.mark.placement, 1);
    EXPECT_EQ(static_cast<eMark*>(top->getChild(0))->m_kind,
              kMarkHat | kMarkBelow | kMarkFixedWidth);

    // Fraction styles go through the table 1, 6, 2, 7, 5.
    g_launch.editFraction = [](FractionDlgRecord& r) { r.style = 4; };
    Select(top, 1, 2);
    Modify();
    EXPECT_EQ(g_launch.fraction.style, 0);
    EXPECT_EQ(static_cast<eFraction*>(top->getChild(1))->m_kind, kFractionHorizontal);

    // Integral: two reversed-contour signs with limits above and below.
    g_launch.editIntegral = [](IntegralDlgRecord& r) {
        r.sign = 2;
        SetDialogNumber(r.count, 2);
        r.limitsAboveBelow = 1;
    };
    Select(top, 2, 3);
    Modify();
    EXPECT_STREQ(g_launch.integral.count.data(), "1");
    EXPECT_EQ(static_cast<eIntegral*>(top->getChild(2))->m_kind,
              1 | kIntegralSecondContour | kIntegralLimitsAboveBelow);

    // Box: thickness 5, shadow right, both quantised.
    g_launch.editBox = [](BoxDlgRecord& r) {
        r.thickness = 5;
        r.shadow = 2;
        r.quantiseHeight = 1;
        r.quantiseWidth = 1;
    };
    Select(top, 3, 4);
    Modify();
    EXPECT_EQ(static_cast<eBox*>(top->getChild(3))->m_kind,
              5 | kBoxShadow | kBoxQuantiseHeight | kBoxQuantiseWidth);
    EXPECT_EQ(Beeps(), 0);
}

TEST_F(ChangeTest, AnEvaluateAtBarWithSeveralSignsIsBroughtToOne) {
    eSimpString* top = UseRow(ExprPtr(NewIntegral(3, Letter("f"), nullptr, nullptr)));
    g_launch.editIntegral = [](IntegralDlgRecord& r) {
        r.sign = kIntegralSignEvaluateAt;
        SetDialogNumber(r.count, 3);
    };
    Select(top, 0, 1);
    Modify();
    EXPECT_EQ(static_cast<eIntegral*>(top->getChild(0))->m_kind, kIntegralEvaluateAt);
    EXPECT_EQ(Beeps(), 1);
}

// A template changed in place takes the rows inside it out of alignment rings that reach outside.
TEST_F(ChangeTest, TemplatesChangedInPlaceLeaveRingsOutsideThem) {
    struct Case {
        const char* name;
        std::function<ExprPtr(OwnedNode<eSimpString>)> make;
    };
    const Case cases[] = {
        {"fence",
         [](OwnedNode<eSimpString> row) { return ExprPtr(NewFence(std::move(row), 0x11)); }},
        {"mark",
         [](OwnedNode<eSimpString> row) { return ExprPtr(NewMark(std::move(row), kMarkDot)); }},
        {"integral",
         [](OwnedNode<eSimpString> row) {
             return ExprPtr(NewIntegral(1, std::move(row), nullptr, nullptr));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedNode<eSimpString> inside = NewSimpString(1);
        inside->setChild(0, NewWord("a", 0, SizedStyle(12), 0));
        eSimpString* in = inside.get();
        OwnedNode<eSimpString> outside = NewSimpString(1);
        outside->setChild(0, NewWord("b", 0, SizedStyle(12), 0));
        eSimpString* out = outside.get();
        LinkRows(in, out);
        eSimpString* top = UseRow(c.make(std::move(inside)), ExprPtr(NewBox(std::move(outside))));
        ASSERT_TRUE(InSameRing(in, out));
        Select(top, 0, 1);
        Modify();
        EXPECT_FALSE(InSameRing(in, out));
    }
}

// ---- Rebuilt nodes ------------------------------------------------------------------------------

TEST_F(ChangeTest, ScriptsAreRebuiltWithTheBaseKeptAndScriptsInOrder) {
    eSimpString* top = Use([] {
        std::vector<ExprPtr> v;
        OwnedNode<eSSScript> s = NewSSScript(Letter("x"), Letter("i"), Letter("2"), 3);
        s->m_colour = 0xE0;
        v.push_back(std::move(s));
        return v;
    }());
    // Limits on: base, sub, sup, lower, upper.
    g_launch.editScripts = [](ScriptsDlgRecord& r) { r.limits = 1; };
    Select(top, 0, 1);
    Modify();
    EXPECT_EQ(g_launch.scripts.subSup, 1);
    EXPECT_EQ(g_launch.scripts.limits, 0);
    auto* s = static_cast<eSSScript*>(top->getChild(0));
    ASSERT_EQ(s->childCount(), 5);
    EXPECT_EQ(s->m_kind, kScriptLimits);
    EXPECT_EQ(s->m_colour, 0xE0);
    const char* expected[] = {"x", "i", "2", "?", "?"};
    for (int32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(RowWord(s->getChild(i)), expected[i]);
    }
    EXPECT_EQ(Selection(), (std::vector<SelectionEntry>{{top, 0, 1, 0, 0}}));

    // Sub- and superscripts off: the old script children fill the limit slots in their order.
    g_launch.editScripts = [](ScriptsDlgRecord& r) { r.subSup = 0; };
    Modify();
    s = static_cast<eSSScript*>(top->getChild(0));
    ASSERT_EQ(s->childCount(), 3);
    EXPECT_EQ(s->m_kind, kScriptLimits | kScriptNoScripts);
    EXPECT_EQ(RowWord(s->getChild(0)), "x");
    EXPECT_EQ(RowWord(s->getChild(1)), "i");
    EXPECT_EQ(RowWord(s->getChild(2)), "2");

    // The operand form puts a new operand slot before the base.
    g_launch.editScripts = [](ScriptsDlgRecord& r) { r.operand = 1; };
    Modify();
    s = static_cast<eSSScript*>(top->getChild(0));
    ASSERT_EQ(s->childCount(), 4);
    EXPECT_EQ(RowWord(s->getChild(0)), "?");
    EXPECT_EQ(RowWord(s->getChild(1)), "x");
    EXPECT_EQ(ScriptSlotsFor(s->m_kind, s->childCount()).base, 1);
}

TEST_F(ChangeTest, TensorsAndTreeNodesKeepTheirChildrenInOrderAndGetPlaceholders) {
    eSimpString* top = Use([] {
        std::vector<ExprPtr> v;
        OwnedNode<eTensor> t = NewTensor(Letter("T"), 3);
        t->setChild(1, Letter("i"));
        t->setChild(2, Letter("j"));
        t->m_kind = 2 | 4;
        v.push_back(std::move(t));
        OwnedNode<eTreeNode> n = NewTreeNode(Letter("n"), 4);
        n->setChild(1, Letter("a"));
        n->setChild(2, Letter("b"));
        n->setChild(3, Letter("c"));
        v.push_back(std::move(n));
        return v;
    }());
    g_launch.editTensor = [](TensorDlgRecord& r) {
        SetDialogNumber(r.count, 4);
        r.upper = {0, 1, 0, 1, 0, 0, 0};
    };
    Select(top, 0, 1);
    Modify();
    EXPECT_STREQ(g_launch.tensor.count.data(), "2");
    EXPECT_EQ(g_launch.tensor.upper[0], 1);
    EXPECT_EQ(g_launch.tensor.upper[1], 1);
    EXPECT_EQ(g_launch.tensor.upper[2], 0);
    auto* t = static_cast<eTensor*>(top->getChild(0));
    ASSERT_EQ(t->childCount(), 5);
    EXPECT_EQ(t->m_kind, 4 | 16);
    const char* tensorWords[] = {"T", "i", "j", "?", "?"};
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(RowWord(t->getChild(i)), tensorWords[i]) << i;

    // Fewer children and the tree on its side: the surplus child goes.
    g_launch.editTree = [](TreeNodeDlgRecord& r) {
        SetDialogNumber(r.count, 2);
        r.intermediate[1] = 1;
        r.sides = 1;
    };
    Select(top, 1, 2);
    Modify();
    EXPECT_STREQ(g_launch.tree.count.data(), "3");
    auto* n = static_cast<eTreeNode*>(top->getChild(1));
    ASSERT_EQ(n->childCount(), 3);
    EXPECT_EQ(n->m_kind, kTreeTurned | 4);
    EXPECT_EQ(RowWord(n->getChild(0)), "n");
    EXPECT_EQ(RowWord(n->getChild(1)), "a");
    EXPECT_EQ(RowWord(n->getChild(2)), "b");

    // Undo brings back the three children.
    ASSERT_TRUE(UndoLastEdit());
    EXPECT_EQ(Top()->getChild(1)->childCount(), 4);
}

// The number field of the tensor and tree node dialogs shows the node's child count minus one
// (the base is not counted), down to a node with its base alone.
TEST_F(ChangeTest, TheCountFieldShowsTheChildCountMinusOne) {
    for (const int32_t children : {1, 2, 3, 4, 40}) {
        SCOPED_TRACE(children);
        const std::string shown = std::to_string(children - 1);
        for (const bool tensor : {true, false}) {
            g_launch = Launches{};
            eSimpString* top = tensor ? UseRow(ExprPtr(NewTensor(Letter("T"), children)))
                                      : UseRow(ExprPtr(NewTreeNode(Letter("n"), children)));
            for (int32_t i = 1; i < children; ++i)
                top->getChild(0)->setChild(i, Letter("i"));
            Select(top, 0, 1);
            Modify();
            ASSERT_EQ(g_launch.calls, 1);
            EXPECT_EQ(
                std::string(tensor ? g_launch.tensor.count.data() : g_launch.tree.count.data()),
                shown)
                << (tensor ? "tensor" : "tree node");
        }
    }
}

TEST_F(ChangeTest, CountsOutOfRangeAreClampedWithABeep) {
    eSimpString* top = UseRow(ExprPtr(NewTensor(Letter("T"), 2)));
    g_launch.editTensor = [](TensorDlgRecord& r) { SetDialogNumber(r.count, 40); };
    Select(top, 0, 1);
    Modify();
    EXPECT_EQ(top->getChild(0)->childCount(), kMaxExpandableCount + 1);
    EXPECT_EQ(Beeps(), 1);
    g_launch.editTensor = [](TensorDlgRecord& r) { std::strcpy(r.count.data(), "abc"); };
    Modify();
    EXPECT_EQ(top->getChild(0)->childCount(), 2);
    EXPECT_EQ(Beeps(), 2);
}

// ---- Rows ---------------------------------------------------------------------------------------

TEST_F(ChangeTest, APlainRowBecomesARuledRowKeepingItsElementsAndRing) {
    // The row to change sits in the numerator of a fraction, linked with the denominator.
    OwnedNode<eSimpString> over = NewSimpString(2);
    over->setChild(0, NewWord("a", 0, SizedStyle(12), 0));
    over->setChild(1, NewWord("b", 0, SizedStyle(12), 0));
    eSimpString* plain = over.get();
    OwnedNode<eSimpString> under = NewSimpString(1);
    under->setChild(0, NewWord("c", 0, SizedStyle(12), 0));
    eSimpString* other = under.get();
    LinkRows(plain, other);
    eExpr* a = plain->getChild(0);
    UseRow(ExprPtr(NewFraction(std::move(over), std::move(under))));
    Select(plain, 0, 2);
    g_launch.editRow = [](StringDlgRecord& r) {
        r.ruler = 2;
        r.vertical = 1;
        r.horizontal = 2;
    };
    Modify();
    eExpr* fraction = Top()->getChild(0);
    ASSERT_TRUE(fraction->getChild(0)->isDxString());
    auto* ruled = static_cast<eDxString*>(fraction->getChild(0));
    ASSERT_EQ(ruled->childCount(), 2);
    EXPECT_EQ(ruled->getChild(0), a);
    EXPECT_EQ(ruled->m_verticalAlign, 1);
    EXPECT_EQ(ruled->m_justification, 2);
    EXPECT_EQ(ruled->m_followRuler, 0);
    EXPECT_TRUE(InSameRing(ruled, other));
    EXPECT_EQ(Selection(), (std::vector<SelectionEntry>{{ruled, 0, 2, 0, 0}}));

    // Its own record now: independent ruler and its alignments; recall ruler is set in place.
    g_launch.editRow = [](StringDlgRecord& r) { r.ruler = 1; };
    Modify();
    EXPECT_EQ(g_launch.row.ruler, 2);
    EXPECT_EQ(g_launch.row.vertical, 1);
    EXPECT_EQ(g_launch.row.horizontal, 2);
    ASSERT_EQ(fraction->getChild(0), ruled);
    EXPECT_EQ(ruled->m_followRuler, 1);

    // And back to a plain row: the same elements, still linked.
    g_launch.editRow = [](StringDlgRecord& r) { r.ruler = 0; };
    Modify();
    EXPECT_EQ(g_launch.row.ruler, 1);
    eExpr* back = fraction->getChild(0);
    ASSERT_FALSE(back->isDxString());
    ASSERT_TRUE(back->isString());
    EXPECT_EQ(back->getChild(0), a);
    EXPECT_TRUE(InSameRing(static_cast<eString*>(back), other));
}

TEST_F(ChangeTest, ACaretModifiesItsRowAsAWhole) {
    eSimpString* top = UseRow(ExprPtr(NewWord("x", 0, SizedStyle(12), 0)),
                              ExprPtr(NewWord("y", 0, SizedStyle(12), 0)));
    Select(top, 1, 1);
    g_launch.result = 0;
    Modify();
    EXPECT_EQ(g_launch.calls, 1);
    EXPECT_EQ(Selection(), (std::vector<SelectionEntry>{{top, 1, 1, 0, 0}}));
}

// ---- Matrices -----------------------------------------------------------------------------------

OwnedNode<eSimpMatrix> Grid(int32_t rows, int32_t columns) {
    OwnedNode<eSimpMatrix> grid = NewSimpMatrix(rows, columns);
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < columns; ++c)
            grid->setCell(r, c, Letter(std::to_string(r * 10 + c).c_str()));
    return grid;
}

int g_matrixCalls = 0;
int g_linesCalls = 0;

TEST_F(ChangeTest, AMatrixKeepsTheCellsBothSizesShareAndGetsPlaceholders) {
    eSimpString* top = UseRow(ExprPtr(Grid(2, 2)));
    static MatrixDlgRecord seen;
    TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord* r) {
        seen = *r;
        SetDialogNumber(r->rows, 3);
        SetDialogNumber(r->columns, 3);
        return 1;
    };
    Select(top, 0, 1);
    Modify();
    EXPECT_STREQ(seen.rows.data(), "2");
    EXPECT_STREQ(seen.columns.data(), "2");
    EXPECT_EQ(seen.vertical, 1);
    EXPECT_EQ(seen.horizontal, 1);
    EXPECT_STREQ(seen.alignChar.data(), "=");
    ASSERT_TRUE(top->getChild(0)->isMatrix());
    auto* grid = static_cast<eMatrix*>(top->getChild(0));
    ASSERT_EQ(grid->rows(), 3);
    ASSERT_EQ(grid->columns(), 3);
    for (int32_t r = 0; r < 3; ++r) {
        for (int32_t c = 0; c < 3; ++c) {
            SCOPED_TRACE(r * 10 + c);
            const bool kept = r < 2 && c < 2;
            EXPECT_EQ(RowWord(grid->getCell(r, c)), kept ? std::to_string(r * 10 + c) : "?");
        }
    }
    EXPECT_EQ(Selection(), (std::vector<SelectionEntry>{{grid, 0, 3, 0, 3}}));

    // Shrunk to one row of two: the cells outside go.
    TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord* r) {
        SetDialogNumber(r->rows, 1);
        SetDialogNumber(r->columns, 2);
        return 1;
    };
    Select(top, 0, 1);
    Modify();
    grid = static_cast<eMatrix*>(top->getChild(0));
    ASSERT_EQ(grid->rows(), 1);
    ASSERT_EQ(grid->columns(), 2);
    EXPECT_EQ(RowWord(grid->getCell(0, 0)), "0");
    EXPECT_EQ(RowWord(grid->getCell(0, 1)), "1");
    EXPECT_EQ(Beeps(), 0);
}

TEST_F(ChangeTest, TheLinesButtonRunsTheDelimitersStepWhoseCancelRestoresTheLines) {
    eSimpString* top = UseRow(ExprPtr(Grid(2, 2)));
    g_matrixCalls = 0;
    g_linesCalls = 0;
    TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord*) {
        return ++g_matrixCalls < 3 ? kMatrixLinesButtonResult : 1;
    };
    TheModifyDialogLaunchers().runMatrixDelimitersDlg = [](MatrixLinesDlgRecord* r) {
        ++g_linesCalls;
        EXPECT_EQ(r->lineKind, 0);
        MatrixState.columnLines[0] = WithLineStyle(0, 1, kMatrixLineSolid);
        MatrixState.linesPresent = 1;
        return 0;
    };
    eExpr* before = top->getChild(0);
    Select(top, 0, 1);
    Modify();
    EXPECT_EQ(g_matrixCalls, 3);
    EXPECT_EQ(g_linesCalls, 2);
    EXPECT_EQ(MatrixState.columnLines[0], 0);
    EXPECT_EQ(MatrixState.linesPresent, 0);
    // Nothing asked for a ruled grid: a plain grid of the same size replaces the old one.
    EXPECT_NE(top->getChild(0), before);
    EXPECT_EQ(static_cast<eMatrix*>(top->getChild(0))->rows(), 2);
}

// A line drawn and then erased in the preview still asks for a ruled grid, as does any edit there.
TEST_F(ChangeTest, ALineDrawnAndErasedInThePreviewGivesARuledGrid) {
    eSimpString* top = UseRow(ExprPtr(Grid(2, 2)));
    g_matrixCalls = 0;
    TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord*) {
        return ++g_matrixCalls < 2 ? kMatrixLinesButtonResult : 1;
    };
    TheModifyDialogLaunchers().runMatrixDelimitersDlg = [](MatrixLinesDlgRecord*) {
        MatrixState.halfWidth = 10;
        MatrixState.halfHeight = 10;
        for (int press = 0; press < 2; ++press) {
            InitMatrixLinesControl(nullptr);
            MatrixLinesPreviewClick(oPoint{5, 15}); // the left line of the first cell
        }
        return 1;
    };
    Select(top, 0, 1);
    Modify();
    ASSERT_TRUE(top->getChild(0)->isDxMatrix());
    auto* ruled = static_cast<eDxMatrix*>(top->getChild(0));
    EXPECT_EQ(ruled->m_vStyles[0], 0u);
    EXPECT_EQ(ruled->m_hStyles[0], 0u);
}

TEST_F(ChangeTest, AMatrixSizeBeyondTheCellLimitChangesNothing) {
    eSimpString* top = UseRow(ExprPtr(Grid(2, 2)));
    TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord* r) {
        SetDialogNumber(r->rows, 200);
        SetDialogNumber(r->columns, 200);
        return 1;
    };
    eExpr* before = top->getChild(0);
    Select(top, 0, 1);
    Modify();
    EXPECT_EQ(top->getChild(0), before);
    EXPECT_EQ(Beeps(), 1);
    EXPECT_EQ(Selection(), (std::vector<SelectionEntry>{{top, 0, 1, 0, 0}}));
}

TEST_F(ChangeTest, RuledMatricesRoundTripTheirAttributesAndLines) {
    OwnedNode<eDxMatrix> dx = NewDxMatrix(2, 3, nullptr);
    for (int32_t r = 0; r < 2; ++r)
        for (int32_t c = 0; c < 3; ++c)
            dx->setCell(r, c, Letter("x"));
    dx->m_vAlign = kVAlignTop;
    dx->m_hAlign = static_cast<uint8_t>('=');
    dx->m_separateColumns = 1;
    dx->m_hStyles[1] = 0x00050000u | WithLineStyle(0, 2, kMatrixLineDotted);
    dx->m_vStyles[0] = WithLineStyle(0, 1, kMatrixLineSolid);
    eSimpString* top = UseRow(ExprPtr(dx.release()));
    EXPECT_EQ(top->getChild(0)->change(true), kModifyKindRuledMatrix);
    static MatrixDlgRecord seen;
    static MatrixModifyState shared;
    TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord* r) {
        seen = *r;
        shared = MatrixState;
        return 1;
    };
    Select(top, 0, 1);
    Modify();
    EXPECT_EQ(seen.vertical, 0);
    EXPECT_EQ(seen.horizontal, 3);
    EXPECT_STREQ(seen.alignChar.data(), "=");
    EXPECT_EQ(seen.unequalRows, 0);
    EXPECT_EQ(seen.unequalColumns, 1);
    EXPECT_EQ(shared.rowLines[1], WithLineStyle(0, 2, kMatrixLineDotted));
    EXPECT_EQ(shared.columnLines[0], WithLineStyle(0, 1, kMatrixLineSolid));
    EXPECT_EQ(shared.linesPresent, 1);
    EXPECT_EQ(shared.rows, 2);
    EXPECT_EQ(shared.columns, 3);
    // OK without changes: a ruled grid again, with everything it had (the hidden upper halves of
    // the line words too).
    ASSERT_TRUE(top->getChild(0)->isDxMatrix());
    auto* again = static_cast<eDxMatrix*>(top->getChild(0));
    EXPECT_EQ(again->m_vAlign, kVAlignTop);
    EXPECT_EQ(again->m_hAlign, '=');
    EXPECT_EQ(again->m_separateColumns, 1);
    EXPECT_EQ(again->m_hStyles[1], 0x00050000u | WithLineStyle(0, 2, kMatrixLineDotted));
    EXPECT_EQ(again->m_vStyles[0], WithLineStyle(0, 1, kMatrixLineSolid));

    // Back to the plain settings with the lines cleared: a plain grid with the same cells.
    TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord* r) {
        r->vertical = 1;
        r->horizontal = 1;
        r->unequalColumns = 0;
        ResetMatrixLinesPreview(nullptr); // "Tout effacer"
        return 1;
    };
    Modify();
    ASSERT_TRUE(top->getChild(0)->isMatrix());
    EXPECT_FALSE(top->getChild(0)->isDxMatrix());
    EXPECT_EQ(top->getChild(0)->change(true), kModifyKindMatrix);

    // And a plain grid asked to align left becomes a ruled one.
    TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord* r) {
        r->horizontal = 0;
        return 1;
    };
    Modify();
    ASSERT_TRUE(top->getChild(0)->isDxMatrix());
    EXPECT_EQ(static_cast<eDxMatrix*>(top->getChild(0))->m_hAlign, kHAlignLeft);
    EXPECT_EQ(static_cast<eMatrix*>(top->getChild(0))->rows(), 2);

    // The Modify Matrix entry finds a ruled grid as well as a plain one.
    const int before = g_matrixCalls;
    TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord*) {
        ++g_matrixCalls;
        return 0;
    };
    Measure(m_record.m_root);
    Select(top, 0, 1);
    EXPECT_EQ(CatchFail([] { ModifyMatrixCommand(); }), 0);
    EXPECT_EQ(g_matrixCalls, before + 1);
    EXPECT_EQ(Beeps(), 0);
}

TEST_F(ChangeTest, AligningOnACharacterTakesTheTypedOneAndNoneMeansLeft) {
    // The dialog's field holds whatever the user left there; only its first character counts.
    struct Case {
        const char* typed;
        uint8_t expected;
    };
    for (const Case& c : {Case{"+", '+'}, Case{"=x", '='}, Case{"", kHAlignLeft}}) {
        SCOPED_TRACE(c.typed);
        eSimpString* top = UseRow(ExprPtr(Grid(2, 2)));
        static const char* typed = nullptr;
        typed = c.typed;
        TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord* r) {
            r->horizontal = 3;
            r->alignChar.fill(0);
            std::strncpy(r->alignChar.data(), typed, r->alignChar.size() - 1);
            return 1;
        };
        Select(top, 0, 1);
        Modify();
        ASSERT_TRUE(top->getChild(0)->isDxMatrix());
        EXPECT_EQ(static_cast<eDxMatrix*>(top->getChild(0))->m_hAlign, c.expected);
    }
}

// ---- Characters ---------------------------------------------------------------------------------

TEST_F(ChangeTest, CharactersEditTheirStyleThroughTheFontDialog) {
    static FSSRecord seen;
    static int32_t title = 0;
    TheCommandHooks().askFont = [](int32_t flags, int32_t titleId) {
        seen = SharedStyleRecord;
        title = titleId;
        SharedStyleRecord.size = 20;
        return flags == 0;
    };
    eSimpString* top = UseRow(ExprPtr(NewWord("abc", 0, SizedStyle(14), 0)));
    SelectRange(top->getChild(0), 0, 3, 0, 0);
    ClearSelectionList(m_record);
    SelectRange(top, 0, 1, 0, 0);
    Modify();
    EXPECT_EQ(seen.size, 14);
    EXPECT_EQ(title, kAskFontTitleString);
    FSSRecord now;
    static_cast<eWord*>(top->getChild(0))->storedStyle(now);
    EXPECT_EQ(now.size, 20);
    EXPECT_EQ(Selection(), (std::vector<SelectionEntry>{{top, 0, 1, 0, 0}}));
}

// ---- Modify by kind -----------------------------------------------------------------------------

TEST_F(ChangeTest, ModifyByKindFindsTheFractionSelectedOrAmongTheRowsElements) {
    eSimpString* top = UseRow(ExprPtr(NewWord("x", 0, SizedStyle(12), 0)),
                              ExprPtr(NewWord("+", 0, SizedStyle(12), 0)),
                              ExprPtr(NewFraction(Letter("a"), Letter("b"))));
    g_launch.editFraction = [](FractionDlgRecord& r) { r.style = 2; };

    // The whole fraction selected: its dialog at once.
    Select(top, 2, 3);
    EXPECT_EQ(CatchFail([] { ModifyFractionCommand(); }), 0);
    EXPECT_EQ(g_launch.calls, 1);
    EXPECT_EQ(static_cast<eFraction*>(top->getChild(2))->m_kind, kFractionSlanted);
    EXPECT_EQ(ChangeQueryFlag, 0);

    // A range that leaves the fraction out: the row's subtree is searched and the fraction
    // selected whole.
    Measure(m_record.m_root);
    Select(top, 0, 2);
    g_launch.editFraction = [](FractionDlgRecord& r) { r.style = 1; };
    EXPECT_EQ(CatchFail([] { ModifyFractionCommand(); }), 0);
    EXPECT_EQ(g_launch.calls, 2);
    EXPECT_EQ(static_cast<eFraction*>(top->getChild(2))->m_kind, kFractionNearlyVertical);
    EXPECT_EQ(Selection(), (std::vector<SelectionEntry>{{top, 2, 3, 0, 0}}));
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
}

// The search below a selection and in the row that holds it passes over what shows nothing and
// over letters among a row's items, which no one means by "the character" of a selection: a
// letter alone in its slot is found and opens the font dialog; letters of a two-letter slot are
// not (message 496); a box laid out with no width is passed over with the fraction it holds, and
// the fraction after it is the one modified.
TEST_F(ChangeTest, ModifyByKindLooksPastWhatHoldsNothingOrShowsNothing) {
    static int asked = 0;
    TheCommandHooks().askFont = [](int32_t, int32_t) {
        ++asked;
        SharedStyleRecord.size = 20;
        return true;
    };
    g_launch.editFraction = [](FractionDlgRecord& r) { r.style = 2; };
    struct Case {
        const char* name;
        std::function<eSimpString*()> make; // the row, laid out; the first item is selected
        void (*command)();
        int32_t fontDialogs;
        int32_t fractionDialogs;
        // The node the command changed, from the row; null when message 496 is expected.
        std::function<eExpr*(eSimpString*)> changed;
    };
    const auto twoLetters = [] {
        OwnedNode<eSimpString> row = NewSimpString(2);
        row->setChild(0, NewWord("a", 0, SizedStyle(12), 0));
        row->setChild(1, NewWord("c", 0, SizedStyle(12), 0));
        return ExprPtr(row.release());
    };
    const Case cases[] = {
        {"a letter alone in its slot",
         [this] { return UseRow(ExprPtr(NewFraction(Letter("a"), Letter("b")))); },
         &ModifyCharCommand, 1, 0,
         [](eSimpString* top) { return top->getChild(0)->getChild(0)->getChild(0); }},
        {"letters among a slot's items",
         [&] { return UseRow(ExprPtr(NewFraction(twoLetters(), twoLetters()))); },
         &ModifyCharCommand, 0, 0, nullptr},
        {"a box shown with no width",
         [this] {
             eSimpString* top =
                 UseRow(ExprPtr(NewWord("x", 0, SizedStyle(12), 0)),
                        ExprPtr(NewBox(NewSimpStringWith(NewFraction(Letter("a"), Letter("b"))))),
                        ExprPtr(NewFraction(Letter("c"), Letter("d"))));
             eExpr* box = top->getChild(1);
             box->m_zone.right = box->m_zone.left;
             return top;
         },
         &ModifyFractionCommand, 0, 1, [](eSimpString* top) { return top->getChild(2); }},
        {"a box shown",
         [this] {
             return UseRow(
                 ExprPtr(NewWord("x", 0, SizedStyle(12), 0)),
                 ExprPtr(NewBox(NewSimpStringWith(NewFraction(Letter("a"), Letter("b"))))),
                 ExprPtr(NewFraction(Letter("c"), Letter("d"))));
         },
         &ModifyFractionCommand, 0, 1,
         [](eSimpString* top) { return top->getChild(1)->getChild(0)->getChild(0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        asked = 0;
        g_launch.calls = 0;
        std::vector<std::string> texts;
        if (c.changed == nullptr)
            plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
                texts.push_back(box.text);
                return 1;
            });
        const size_t boxes = plat::testing::messageBoxes().size();
        eSimpString* top = c.make();
        Select(top, 0, 1);
        EXPECT_EQ(CatchFail([&] { c.command(); }), 0);
        EXPECT_EQ(asked, c.fontDialogs);
        EXPECT_EQ(g_launch.calls, c.fractionDialogs);
        if (c.changed == nullptr) {
            EXPECT_EQ(texts.size(), 1u);
            EXPECT_NE(texts.empty() ? std::string::npos
                                    : texts[0].find("Change command could not be found"),
                      std::string::npos);
            continue;
        }
        EXPECT_EQ(plat::testing::messageBoxes().size(), boxes);
        eExpr* changed = c.changed(top);
        if (c.fontDialogs > 0) {
            FSSRecord now;
            static_cast<eWord*>(changed)->storedStyle(now);
            EXPECT_EQ(now.size, 20);
        } else {
            EXPECT_EQ(static_cast<eFraction*>(changed)->m_kind, kFractionSlanted);
        }
    }
}

TEST_F(ChangeTest, ModifyByKindWithNothingToFindShowsMessage496) {
    eSimpString* top = UseRow(ExprPtr(NewWord("x", 0, SizedStyle(12), 0)),
                              ExprPtr(NewFence(Letter("a"), FenceKind(1, 1))));
    std::vector<std::string> texts;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
        texts.push_back(box.text);
        return 1;
    });
    Select(top, 0, 0);
    EXPECT_EQ(CatchFail([] { ModifyFractionCommand(); }), 0);
    EXPECT_EQ(g_launch.calls, 0);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("Change command could not be found"), std::string::npos);
    EXPECT_EQ(ChangeQueryFlag, 0);
    // The fence is unchanged and the tree is whole.
    EXPECT_EQ(Top(), top);
    EXPECT_EQ(static_cast<eFence*>(top->getChild(1))->m_kind, FenceKind(1, 1));
}

TEST_F(ChangeTest, ModifyByKindFindsTheNodeRoundACaret) {
    // A fence round a row that holds a word; the caret sits in that inner row, at either end.
    for (const int32_t at : {0, 1}) {
        SCOPED_TRACE(at);
        g_launch = Launches{};
        OwnedNode<eSimpString> inner = NewSimpString(1);
        inner->setChild(0, NewWord("y", 0, SizedStyle(12), 0));
        eSimpString* innerRow = inner.get();
        UseRow(ExprPtr(NewFence(std::move(inner), FenceKind(1, 1))));
        const size_t boxes = plat::testing::messageBoxes().size();
        Select(innerRow, at, at);
        EXPECT_EQ(CatchFail([] { ModifyFenceCommand(); }), 0);
        EXPECT_EQ(g_launch.calls, 1);
        EXPECT_EQ(plat::testing::messageBoxes().size(), boxes);
    }
}

// ---- A tree that changes while a dialog is up -----------------------------------------------

// While the dialog of any kind is up, the whole expression is replaced (every node the change
// was asked of is freed): the change stops with a beep and touches none of them, and the
// expression is the new one.
TEST_F(ChangeTest, ATreeReplacedWhileTheDialogIsUpStopsTheChangeOfEveryKind) {
    struct Case {
        const char* name;
        std::function<eExpr*()> build; // builds the expression, returns the node to select whole
        std::function<void()> answer;  // installs the launchers the kind needs beyond the table's
    };
    const auto one = [this](ExprPtr node) {
        eSimpString* top = UseRow(std::move(node));
        return static_cast<eExpr*>(top);
    };
    const auto tableAnswers = [] {}; // the launchers of the table above answer
    const auto matrixAnswers = [] {
        TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord* r) {
            SetDialogNumber(r->rows, 3);
            g_whileUp();
            return 1;
        };
    };
    const auto linesAnswers = [] {
        // The lines button first; the tree changes during the delimiters step.
        TheModifyDialogLaunchers().runEditMatrixDlg = [](MatrixDlgRecord*) {
            return g_linesCalls == 0 ? kMatrixLinesButtonResult : 1;
        };
        TheModifyDialogLaunchers().runMatrixDelimitersDlg = [](MatrixLinesDlgRecord*) {
            ++g_linesCalls;
            g_whileUp();
            return 1;
        };
    };
    const auto fontAnswers = [] {
        TheCommandHooks().askFont = [](int32_t, int32_t) {
            SharedStyleRecord.size = 20;
            g_whileUp();
            return true;
        };
    };
    const Case cases[] = {
        {"fence", [&] { return one(ExprPtr(NewFence(Letter("a"), 0))); }, tableAnswers},
        {"mark", [&] { return one(ExprPtr(NewMark(Letter("a"), 0))); }, tableAnswers},
        {"fraction", [&] { return one(ExprPtr(NewFraction(Letter("a"), Letter("b")))); },
         tableAnswers},
        {"integral", [&] { return one(ExprPtr(NewIntegral(3, Letter("f"), nullptr, nullptr))); },
         tableAnswers},
        {"box", [&] { return one(ExprPtr(NewBox(Letter("a")))); }, tableAnswers},
        {"scripts",
         [&] { return one(ExprPtr(NewSSScript(Letter("x"), Letter("i"), Letter("2"), 3))); },
         tableAnswers},
        {"tensor", [&] { return one(ExprPtr(NewTensor(Letter("T"), 3))); }, tableAnswers},
        {"tree node", [&] { return one(ExprPtr(NewTreeNode(Letter("n"), 3))); }, tableAnswers},
        {"matrix", [&] { return one(ExprPtr(Grid(2, 2))); }, matrixAnswers},
        {"matrix lines", [&] { return one(ExprPtr(Grid(2, 2))); }, linesAnswers},
        {"character", [&] { return one(ExprPtr(NewWord("abc", 0, SizedStyle(14), 0))); },
         fontAnswers},
    };
    // The top row replaced in place, or the document's whole tree (as when it is read again).
    const std::function<void()> edits[] = {
        [this] { m_record.m_root->setChild(0, Letter("z")); },
        [this] { InitSelection(m_record, NewHeader(Letter("z"), nullptr)); },
    };
    for (const Case& c : cases)
        for (int e = 0; e < 2; ++e) {
            SCOPED_TRACE(std::string(c.name) + (e == 0 ? ", top row" : ", whole tree"));
            g_launch = Launches{};
            g_linesCalls = 0;
            // Edits that would follow OK, were the change to go on.
            g_launch.editTensor = [](TensorDlgRecord& r) { SetDialogNumber(r.count, 4); };
            g_launch.editTree = [](TreeNodeDlgRecord& r) { SetDialogNumber(r.count, 4); };
            g_launch.editScripts = [](ScriptsDlgRecord& r) { r.limits = 1; };
            c.answer();
            eExpr* top = c.build();
            Select(top, 0, 1);
            g_whileUp = edits[e];
            const int32_t beeps = Beeps();
            Modify();
            g_whileUp = nullptr;
            EXPECT_EQ(RowWord(Top()), "z");
            EXPECT_GT(Beeps(), beeps);
            // The selection names no freed node.
            for (const SelectionEntry& e : Selection())
                EXPECT_EQ(e.node, Top());
        }
}

// Plain and ruled rows run their own dialog; the row itself is freed while it is up.
TEST_F(ChangeTest, ARowReplacedWhileItsDialogIsUpIsNotTouchedAgain) {
    for (int ruled = 0; ruled < 2; ++ruled) {
        SCOPED_TRACE(ruled);
        g_launch = Launches{};
        g_launch.editRow = [](StringDlgRecord& r) { r.ruler = r.ruler == 0 ? 2 : 0; };
        OwnedNode<eString> row;
        if (ruled != 0)
            row = OwnedNode<eString>(NewDxString(2, nullptr).release());
        else
            row = OwnedNode<eString>(NewSimpString(2).release());
        row->setChild(0, NewWord("a", 0, SizedStyle(12), 0));
        row->setChild(1, NewWord("b", 0, SizedStyle(12), 0));
        eString* inner = row.get();
        UseRow(ExprPtr(NewFraction(std::move(row), Letter("c"))));
        Select(inner, 0, 2);
        g_whileUp = [this] { m_record.m_root->setChild(0, Letter("z")); };
        Modify();
        g_whileUp = nullptr;
        EXPECT_EQ(g_launch.calls, 1);
        EXPECT_EQ(RowWord(Top()), "z");
        for (const SelectionEntry& e : Selection())
            EXPECT_EQ(e.node, Top());
    }
}

} // namespace
} // namespace kvtest
