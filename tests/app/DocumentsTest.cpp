// Opening documents from files: expression files open as new document windows whose expression
// is the one written, damaged files open nothing and are left as they were, and Fichier > Ouvrir
// goes the same way. The shipped Examples library is checked here too: each example file written by
// the build opens as the tree it was written from.

#include "ExprSrcs/documents/Documents.h"

#include "App/MenuDispatch.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PFILE.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etEncode.h"
#include "app/AppDocumentFixture.h"
#include "plat/Dialog.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"
#include "tools/mkexamples/ExampleTrees.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kvtest {

namespace {

// A tree of the Examples library, by its path.
ExprPtr example(std::string_view path) {
    for (const kvtool::ExampleDocument& e : kvtool::ExampleDocuments())
        if (path == e.path)
            return e.build();
    ADD_FAILURE() << "no example " << path;
    return ExprPtr(NewSimpString(0).release());
}

ExprPtr quadraticFormula() {
    return example("01_Algebra/01_Quadratic_formula.pvx");
}
ExprPtr definiteIntegral() {
    return example("02_Calculus/01_Definite_integral.pvx");
}
ExprPtr determinant() {
    return example("03_Linear_algebra/02_Determinant.pvx");
}

int placeholderCount(const eExpr* node) {
    if (node == nullptr)
        return 0;
    if (const auto* word = dynamic_cast<const eWord*>(node))
        return word->view() == "?" ? 1 : 0;
    int n = 0;
    for (int32_t i = 0; i < node->childCount(); ++i)
        n += placeholderCount(node->getChild(i));
    return n;
}

bool holdsPicture(const eExpr* node) {
    if (dynamic_cast<const eUFO*>(node) != nullptr)
        return true;
    for (int32_t i = 0; i < node->childCount(); ++i)
        if (holdsPicture(node->getChild(i)))
            return true;
    return false;
}

std::string shippedExamplesFolder() {
    return std::string(KV_BINARY_DIR) + "/src/Korvaline_Prefs/Examples/";
}

using DocumentsTest = AppDocumentFixture;

// Runs the opener as a menu command would, answering the error's message box; the code it failed
// with (0: none).
int16_t openReportingFailure(const std::string& path) {
    return CatchFail([&] { OpenDocumentWindow(path.c_str(), FileTypeOfPath(path.c_str())); });
}

TEST_F(DocumentsTest, ShippedExamplesOpenAsTheTreesTheyWereBuiltFrom) {
    // The build writes the library from the same trees; each file opens as its tree.
    ASSERT_GE(kvtool::ExampleDocuments().size(), 25u);
    for (const kvtool::ExampleDocument& e : kvtool::ExampleDocuments()) {
        SCOPED_TRACE(e.path);
        const std::string path = shippedExamplesFolder() + e.path;
        ASSERT_EQ(FileTypeOfPath(path.c_str()), 'e');
        const size_t before = static_cast<size_t>(OpenDocumentCount());
        ASSERT_EQ(openReportingFailure(path), 0);
        plat::testing::runUntilIdle();
        ExprFilePane* pane = LastOpenedDocument();
        ASSERT_NE(pane, nullptr);
        EXPECT_EQ(static_cast<size_t>(OpenDocumentCount()), before + 1);
        const ExprPtr stored = kvtool::BuildStoredExample(e);
        // Pictures equal nothing structurally: their bytes are compared through the encoding.
        if (!holdsPicture(stored.get())) {
            EXPECT_TRUE(pane->expression()->equal(stored.get(), 0));
        }
        EXPECT_EQ(ExprEncodingText(pane->expression()), ExprEncodingText(stored.get()));
        // Every slot of every template holds something to see.
        EXPECT_EQ(placeholderCount(pane->expression()), 0);
        EXPECT_EQ(pane->filePath(), path);
        EXPECT_EQ(pane->saveType(), 1);
        EXPECT_FALSE(pane->changed());
        delete pane->window();
        plat::testing::runUntilIdle();
    }
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
}

TEST_F(DocumentsTest, ShippedExamplesUseEveryTemplateFamilyKindAndMark) {
    std::set<std::string> seen;
    std::function<void(const eExpr*)> walk = [&](const eExpr* node) {
        if (node == nullptr)
            return;
        int32_t code = 0;
        const auto* t = dynamic_cast<const eTemplate*>(node);
        if (t != nullptr && t->getTemplateCode(code)) {
            const int32_t family = TemplateFamilyOf(code), kind = TemplateKindOf(code);
            seen.insert("family " + std::to_string(family));
            if (family == kTemplateFamilyFraction)
                seen.insert("fraction kind " + std::to_string(kind));
            if (family == kTemplateFamilyScript)
                for (int32_t bit = 1; bit <= kScriptNoScripts; bit <<= 1)
                    if (kind & bit)
                        seen.insert("script bit " + std::to_string(bit));
            if (family == kTemplateFamilyIntegral) {
                seen.insert("integral count " + std::to_string(kind & kIntegralCountMask));
                for (int32_t bit = 8; bit <= 0x80; bit <<= 1)
                    if (kind & bit)
                        seen.insert("integral bit " + std::to_string(bit));
            }
            if (family == kTemplateFamilyMark)
                seen.insert(std::string((kind & kMarkBelow) ? "mark below " : "mark above ") +
                            std::to_string(kind & kMarkTypeMask));
        }
        if (dynamic_cast<const eDxMatrix*>(node) != nullptr)
            seen.insert("ruled matrix");
        else if (dynamic_cast<const eMatrix*>(node) != nullptr)
            seen.insert("matrix");
        if (dynamic_cast<const eDxString*>(node) != nullptr)
            seen.insert("ruled row");
        if (dynamic_cast<const ePseudo*>(node) != nullptr)
            seen.insert("pseudo character");
        if (dynamic_cast<const eUFO*>(node) != nullptr)
            seen.insert("picture");
        for (int32_t i = 0; i < node->childCount(); ++i)
            walk(node->getChild(i));
    };
    for (const kvtool::ExampleDocument& e : kvtool::ExampleDocuments())
        walk(kvtool::BuildStoredExample(e).get());
    std::set<std::string> expected = {"matrix", "ruled matrix", "ruled row", "pseudo character",
                                      "picture"};
    for (int32_t family = 0; family < kTemplateFamilyCount; ++family)
        if (family != 8) // no template class has family 8
            expected.insert("family " + std::to_string(family));
    for (int32_t kind = 1; kind <= kFractionKindLongDivision; ++kind)
        expected.insert("fraction kind " + std::to_string(kind));
    for (int32_t bit = 1; bit <= kScriptNoScripts; bit <<= 1)
        expected.insert("script bit " + std::to_string(bit));
    // One to four signs.
    for (int32_t count = 0; count <= 3; ++count)
        expected.insert("integral count " + std::to_string(count));
    for (int32_t bit = kIntegralEvaluateAt; bit <= kIntegralSecondContour; bit <<= 1)
        expected.insert("integral bit " + std::to_string(bit));
    for (int32_t mark = kMarkDot; mark <= kMarkDoubleBar; ++mark) {
        expected.insert("mark above " + std::to_string(mark));
        expected.insert("mark below " + std::to_string(mark));
    }
    for (const std::string& want : expected)
        EXPECT_EQ(seen.count(want), 1u) << want << " is in no example";
}

TEST_F(DocumentsTest, ShippedExportsOpenAgainAsTheExampleTheyWereSavedFrom) {
    ASSERT_EQ(kvtool::ExampleExports().size(), 3u);
    for (const kvtool::ExampleExport& e : kvtool::ExampleExports()) {
        SCOPED_TRACE(e.path);
        const std::string path = shippedExamplesFolder() + e.path;
        ASSERT_EQ(openReportingFailure(path), 0);
        plat::testing::runUntilIdle();
        ExprFilePane* pane = OpenDocumentList; // the newest first
        ASSERT_NE(pane, nullptr);
        EXPECT_EQ(pane->filePath(), path);
        EXPECT_EQ(pane->saveType(), SaveTypeOfFileType(FileTypeOfPath(path.c_str())));
        EXPECT_EQ(ExprEncodingText(pane->expression()), ExprEncodingText(example(e.source).get()));
        delete pane->window();
        plat::testing::runUntilIdle();
    }
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
}

TEST_F(DocumentsTest, AnEncodingInsideOtherTextStillOpens) {
    const std::string written = ExprEncodingText(determinant().get());
    const std::string encoding =
        ExprEncodingText(FindEmbeddedEncoding(written.data(), written.size()).get());
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"bare.exp", written},
        {"wrapped.exp", "Some words first\r\n%%" + written + "\r\ntrailing words\r\n"},
        {"notes.txt", "An expression in a note: " + written},
        {"stationery.est", written},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(m_dir / c.name, c.bytes);
        ASSERT_EQ(openReportingFailure(m_dir / c.name), 0);
        ExprFilePane* pane = LastOpenedDocument();
        ASSERT_NE(pane, nullptr);
        EXPECT_EQ(ExprEncodingText(pane->expression()), encoding);
        EXPECT_EQ(ReadFileBytes(m_dir / c.name), c.bytes);
        // Stationery opens as an untitled copy, so a save cannot overwrite the template.
        if (std::string_view(c.name) == "stationery.est")
            EXPECT_TRUE(pane->filePath().empty());
        else
            EXPECT_EQ(pane->filePath(), m_dir / c.name);
    }
}

TEST_F(DocumentsTest, AFileWithoutAReadableExpressionOpensNothingAndIsKept) {
    const std::string encoding = ExprEncodingText(quadraticFormula().get());
    const size_t marker = encoding.find("]|Expr|[");
    ASSERT_NE(marker, std::string::npos);
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"plain words", "x = 1 + 2\r\n"},
        {"encoding cut short", encoding.substr(0, encoding.size() / 2)},
        {"damaged encoding", encoding.substr(0, marker + 8) + "\x01\x02garbage]|["},
        {"binary noise", std::string("\x00\xFF\x10]|Expr|[\x00\x00", 12)},
    };
    ExprFilePane* front = typed("k");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = m_dir / "bad.exp";
        WriteFileBytes(path, c.bytes);
        const int32_t count = OpenDocumentCount();
        EXPECT_EQ(openReportingFailure(path), errNoExpressionInFile);
        EXPECT_EQ(OpenDocumentCount(), count);
        EXPECT_EQ(OpenDocumentList, front);
        EXPECT_EQ(ReadFileBytes(path), c.bytes);
    }
    // A file that is not there is reported as missing, not as damaged.
    EXPECT_EQ(openReportingFailure(m_dir / "missing.exp"), errFileNotFound);
    EXPECT_EQ(OpenDocumentList, front);
}

TEST_F(DocumentsTest, OuvrirOpensTheChosenFileAndReportsADamagedOne) {
    const std::string good = m_dir / "chosen.exp";
    const std::string encoding = ExprEncodingText(definiteIntegral().get());
    WriteFileBytes(good, encoding);
    plat::testing::answerFileDialog(good);
    ASSERT_EQ(DoMenuCommand(258), 1);
    plat::testing::runUntilIdle();
    ExprFilePane* opened = OpenDocumentList;
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->fileName(), "chosen.exp");
    EXPECT_EQ(ExprEncodingText(opened->expression()), encoding);
    EXPECT_TRUE(plat::testing::messageBoxes().empty());

    // A damaged file: the alert, and no new window.
    const std::string bad = m_dir / "damaged.exp";
    WriteFileBytes(bad, "]|Expr|[ not an expression");
    plat::testing::answerFileDialog(bad);
    plat::testing::onMessageBox([](const plat::testing::MessageBoxCall&) { return plat::IDOK; });
    ASSERT_EQ(DoMenuCommand(258), 1);
    plat::testing::runUntilIdle();
    EXPECT_EQ(OpenDocumentList, opened);
    ASSERT_EQ(plat::testing::messageBoxes().size(), 1u);
    EXPECT_NE(plat::testing::messageBoxes().back().text.find("aucune expression lisible"),
              std::string::npos)
        << plat::testing::messageBoxes().back().text;

    // Cancel opens nothing and says nothing.
    plat::testing::answerFileDialogCancel();
    ASSERT_EQ(DoMenuCommand(258), 1);
    EXPECT_EQ(OpenDocumentList, opened);
    EXPECT_EQ(plat::testing::messageBoxes().size(), 1u);
}

} // namespace
} // namespace kvtest
