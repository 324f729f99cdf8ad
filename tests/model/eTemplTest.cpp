#include "OverSrcs/eTempl.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// Stands in for the template classes: remembers its family and reports the code it was made from.
class CodeTemplate : public eTemplate {
    KV_NODE_CLONE(CodeTemplate)
    bool getTemplateCode(int32_t& code) const override {
        code = MakeTemplateCode(m_family, m_kind, m_count);
        return true;
    }
    // Draws one stroke in the template's colour, as every template class does.
    void draw() override {
        eTemplate::draw();
        DrawState.drawPort->startLine(1);
        DrawState.drawPort->moveTo(0, 0);
        DrawState.drawPort->lineTo(1, 1);
        DrawState.drawPort->endLine();
        restoreColors();
    }
    int32_t m_family = 0;
};

ExprPtr MakeCodeTemplate(int32_t family, int32_t kind, int32_t slots) {
    OwnedNode<CodeTemplate> t = NewTemplateBlock<CodeTemplate>(slots, slots);
    t->m_family = family;
    t->m_kind = family == kTemplateFamilyWideFence ? kind + 256 : kind;
    return t;
}

class eTemplTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        SetLoggedInformation("");
        for (int32_t f = 0; f < kTemplateFamilyCount; ++f)
            SetTemplateFactory(f, &MakeCodeTemplate);
    }
    void TearDown() override {
        for (int32_t f = 0; f < kTemplateFamilyCount; ++f)
            SetTemplateFactory(f, nullptr);
        ModelTest::TearDown();
    }
};

struct CodeCase {
    int32_t code;
    bool made;
};

class TemplateCodes : public eTemplTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(TemplateCodes, AreAcceptedOnlyForTheirFamilysSlotCounts) {
    char name[16];
    std::snprintf(name, sizeof name, "0x%04X", GetParam().code);
    SCOPED_TRACE(name);
    ExprPtr node = NewTemplateFromCode(GetParam().code);
    ASSERT_EQ(node != nullptr, GetParam().made);
    if (!node)
        return;
    EXPECT_EQ(node->childCount(), TemplateSlotsOf(GetParam().code));
    for (int32_t i = 0; i < node->childCount(); ++i)
        EXPECT_EQ(node->getChild(i), nullptr);
    int32_t code = -1;
    ASSERT_TRUE(static_cast<eTemplate*>(node.get())->getTemplateCode(code));
    EXPECT_EQ(code, GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TemplateCodes,
    ::testing::Values(CodeCase{0x0012, true}, CodeCase{0x0013, false}, CodeCase{0x0002, false},
                      CodeCase{0x0072, true}, CodeCase{0x0092, false}, CodeCase{0x0032, true},
                      CodeCase{0x0084, true}, CodeCase{0x0082, false}, CodeCase{0x1051, true},
                      CodeCase{0x1052, false}, CodeCase{0x9051, true}, CodeCase{0x2003, true},
                      CodeCase{0x2002, false}, CodeCase{0x3002, true}, CodeCase{0x3005, true},
                      CodeCase{0x3001, false}, CodeCase{0x4011, true}, CodeCase{0x5001, true},
                      CodeCase{0x5000, false}, CodeCase{0x6002, true}, CodeCase{0x6001, false},
                      CodeCase{0x7011, true}, CodeCase{0x8011, false}, CodeCase{0xA011, false},
                      CodeCase{0xF012, false}));

TEST_F(eTemplTest, AWideFenceCodeStoresKindsAbove255AndReportsTheSameCode) {
    ExprPtr fence = NewTemplateFromCode(0x9051);
    ASSERT_TRUE(fence);
    EXPECT_EQ(static_cast<eTemplate*>(fence.get())->m_kind, 0x105);
}

TEST_F(eTemplTest, ACodeWhoseClassIsNotInstalledIsRefusedCleanly) {
    SetTemplateFactory(kTemplateFamilyIntegral, nullptr);
    EXPECT_EQ(NewTemplateFromCode(0x2003), nullptr);
    EXPECT_NE(std::string(LoggedInformation()).find("NewTemplateFromCode class"),
              std::string::npos);
}

TEST_F(eTemplTest, CodesNeverSpillKindOrCountIntoTheFamily) {
    EXPECT_EQ(MakeTemplateCode(5, 0x1FF, 3), 0x5FF3);
    EXPECT_EQ(TemplateFamilyOf(MakeTemplateCode(3, 2, 17)), 3);
    EXPECT_NE(std::string(LoggedInformation()).find("MakeTemplateCode slots"), std::string::npos);
    EXPECT_EQ(MakeTemplateCode(1, 5, 1), 0x1051);
}

TEST_F(eTemplTest, MeasureEntersEveryChildInTheMetricsTableAndTakesTheFirstSize) {
    OwnedNode<CodeTemplate> t = NewTemplateBlock<CodeTemplate>(5, 5);
    const int32_t sizes[5] = {14, 9, 12, 20, 7};
    for (int32_t i = 0; i < 5; ++i) {
        eExpr* row = t->setChild(i, NewSimpString(1));
        row->setChild(0, NewWord("k", 0, SizedStyle(sizes[i]), 0));
    }
    OwnedNode<eSimpString> root = NewSimpString(1);
    eExpr* tp = root->setChild(0, std::move(t));
    Measure(root.get());
    for (int32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const eExpr* c = tp->getChild(i);
        const ChildMetrics& m = TemplateChildMetrics[i];
        EXPECT_EQ(m.zone, c->m_zone);
        EXPECT_EQ(m.width, c->width());
        EXPECT_EQ(m.height, c->height());
        EXPECT_EQ(m.size, c->m_size);
        EXPECT_EQ(m.height, ExpectedMetrics(sizes[i], 16).h);
    }
    EXPECT_EQ(tp->m_size, tp->getChild(0)->m_size);
}

TEST_F(eTemplTest, StrokesAreDrawnInTheTemplatesColourAndThePortIsRestored) {
    OwnedNode<CodeTemplate> t = NewTemplateBlock<CodeTemplate>(0, 0);
    t->m_colour = 0xE0;
    t->m_zone = Zone{0, 0, 10, 10, 5, 5};
    t->m_flags = kNodeLaidOut;
    DrawExpr(t.get(), port.get(), 0, 0, 0, 0, 0, 0);
    const std::vector<std::string> expected = {
        "setColors #ff0000ff #ffffffff", // the node's colour, by the driver
        "setColors #ff0000ff #ffffffff", // the template's own bracket
        "startDeluxeLine width=1 color=#ff0000ff style=0 mode=1",
        "moveTo 0,0",
        "lineTo 1,1",
        "endLine",
        "setColors #ff0000ff #ffffffff",  // restoreColors: what the port had before the bracket
        "setColors #000000ff #ffffffff"}; // the driver gives the parent's colour back
    EXPECT_EQ(port->calls(), expected);
    port->clear();
    SetDrawExportFlags(1, 0);
    DrawExpr(t.get(), port.get(), 0, 0, 0, 0, 0, 0);
    SetDrawExportFlags(0, 0);
    for (const std::string& c : port->calls())
        EXPECT_EQ(c.rfind("setColors", 0), std::string::npos) << c;
}

// ---- The header ----

TEST_F(eTemplTest, HeaderHoldsTheExpressionAsItsOnlyChild) {
    int marker = 0;
    OwnedNode<eHeader> header = NewHeader(NewEmptySimpString(), &marker);
    eExpr* row = header->getChild(0);
    EXPECT_EQ(header->m_parent, nullptr);
    EXPECT_EQ(header->childCount(), 1);
    EXPECT_EQ(row->m_parent, header.get());
    EXPECT_EQ(row->m_index, 0);
    EXPECT_EQ(header->secondWord(), &marker);
    int32_t code = -1;
    EXPECT_TRUE(header->getTemplateCode(code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(NewTemplateFromCode(code), nullptr);
    ExprPtr copy = header->deepCopy();
    EXPECT_NE(copy->getChild(0), row);
    EXPECT_EQ(static_cast<eHeader*>(copy.get())->secondWord(), &marker);
}

TEST_F(eTemplTest, HeaderAroundAnEmptyRowHasTheRowsSizeAndZone) {
    WideStructureSetting = 0;
    OwnedNode<eHeader> header = NewHeader(NewEmptySimpString(), nullptr);
    MeasureExprWithOptions(header.get(), port.get(), 1, 0, 0, 0);
    eExpr* row = header->getChild(0);
    EXPECT_EQ(header->m_zone, row->m_zone);
    EXPECT_EQ(ZoneText(header->m_zone), "0,0,6,12;6,8");
    EXPECT_EQ(header->m_size, row->m_size);
}

TEST_F(eTemplTest, HeaderZoneIsTheExpressionsBeforeItsNudges) {
    OwnedNode<eSimpString> expr = NewSimpString(1);
    expr->setChild(0, NewWord("x", 0, SizedStyle(12), 0));
    expr->m_nudgeX = 64;
    OwnedNode<eHeader> header = NewHeader(std::move(expr), nullptr);
    Measure(header.get());
    eExpr* row = header->getChild(0);
    EXPECT_EQ(header->m_zone.left, 0);
    EXPECT_EQ(header->m_zone.right, row->width());
    EXPECT_EQ(row->m_zone.left, row->m_size);
}

TEST_F(eTemplTest, AHeaderIsNeverModified) {
    OwnedNode<eHeader> header = NewHeader(NewEmptySimpString(), nullptr);
    header->change(false);
    EXPECT_NE(std::string(LoggedInformation()).find("(HedCh) on (Change:"), std::string::npos);
}

} // namespace
} // namespace kvtest
