// Generated documents (the benchmarks' matrices, sums and a matrix in a fraction) saved, opened in
// a document window and shown as a fresh layout shows them: every script beside its base and
// inside its node, the cells of each matrix row side by side, and the zones and pixels of the
// first paint those of a full relayout.

#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverSrcs/documents/DocLines.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/oStreams.h"
#include "app/AppDocumentFixture.h"
#include "bench/BenchTrees.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace kvtest {
namespace {

using GeneratedDocumentsTest = AppDocumentFixture;

void collectZones(const eExpr* node, std::vector<Zone>& out) {
    if (node == nullptr)
        return;
    out.push_back(node->m_zone);
    for (int32_t i = 0; i < node->childCount(); ++i)
        collectZones(node->getChild(i), out);
}

// Layout faults of scripts and grids below the node, one line each.
void layoutFaults(const eExpr* node, std::vector<std::string>& out) {
    if (node == nullptr || out.size() > 5)
        return;
    if (const auto* script = dynamic_cast<const eSSScript*>(node)) {
        const eExpr* base = script->getChild(0);
        for (int32_t i = 1; i < script->childCount(); ++i) {
            const eExpr* s = script->getChild(i);
            if (s != nullptr && s->width() > 0 &&
                (s->m_zone.left < base->m_zone.right || s->m_zone.right > script->width()))
                out.push_back("script " + std::to_string(i) + " over its base or outside its node");
        }
    }
    if (const auto* grid = dynamic_cast<const eMatrix*>(node))
        for (int32_t r = 0; r < grid->rows(); ++r)
            for (int32_t c = 1; c < grid->columns(); ++c)
                if (grid->getCell(r, c)->m_zone.left < grid->getCell(r, c - 1)->m_zone.right)
                    out.push_back("cell " + std::to_string(r) + "," + std::to_string(c) +
                                  " overlaps its left neighbour");
    for (int32_t i = 0; i < node->childCount(); ++i)
        layoutFaults(node->getChild(i), out);
}

TEST_F(GeneratedDocumentsTest, OpenAsAFreshLayoutShowsThem) {
    const struct {
        const char* name;
        std::function<ExprPtr()> build;
    } cases[] = {
        {"matrix", [] { return kvbench::Matrix(3); }},
        {"fraction",
         [] {
             return kvbench::RowWith(ExprPtr(
                 NewFraction(kvbench::Matrix(14), kvbench::RowWith(kvbench::Word("2"))).release()));
         }},
        {"sum", [] { return kvbench::Sum(12); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ExprPtr tree = c.build();
        oOMemoryStream* stream = NewOMemoryStream(4096);
        WriteDocumentLines(*stream, tree.get(), DocumentBackground{}, nullptr, nullptr);
        const std::string path = m_dir / (std::string(c.name) + ".pvx");
        std::ofstream(path, std::ios::binary) << stream->detachString();
        ASSERT_EQ(
            CatchFail([&] { OpenDocumentWindow(path.c_str(), FileTypeOfPath(path.c_str())); }), 0);
        plat::testing::runUntilIdle();
        ExprFilePane* pane = LastOpenedDocument();
        ASSERT_NE(pane, nullptr);
        std::vector<std::string> faults;
        layoutFaults(pane->expression(), faults);
        EXPECT_TRUE(faults.empty()) << faults.front();

        std::vector<Zone> opened;
        collectZones(pane->expression(), opened);
        const plat::HWND hwnd = HandleOfWindow(pane->window()->windowHandle());
        const plat::testing::Image first = plat::testing::pixels(hwnd);
        RefreshPane(pane);
        plat::testing::runUntilIdle();
        std::vector<Zone> relaid;
        collectZones(pane->expression(), relaid);
        EXPECT_TRUE(opened == relaid);
        EXPECT_TRUE(first.pixels == plat::testing::pixels(hwnd).pixels);
    }
}

} // namespace
} // namespace kvtest
