// Opening documents from files: expression files open as new document windows whose expression
// is the one written, damaged files open nothing and are left as they were, and Fichier > Ouvrir
// goes the same way. The shipped Examples library is checked here too: each example is built from
// the model and must be exactly what its file holds (KV_WRITE_EXAMPLES=1 rewrites the files from
// these trees).

#include "ExprSrcs/documents/Documents.h"

#include "App/MenuDispatch.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PFILE.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/etEncode.h"
#include "app/AppDocumentFixture.h"
#include "plat/Dialog.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace kvtest {

// ---- The Examples library's trees ---------------------------------------------------------------

namespace {

using Pieces = std::vector<ExprPtr>;

// The words the program makes of typed text, appended to a row under construction.
void text(Pieces& pieces, std::string_view typed) {
    ExprPtr row = TextToRow(typed, 0);
    for (int32_t i = 0; i < row->childCount(); ++i)
        if (ExprPtr child = row->detachChild(i))
            pieces.push_back(std::move(child));
}

ExprPtr row(Pieces pieces) {
    OwnedNode<eSimpString> r = NewSimpString(static_cast<int32_t>(pieces.size()));
    for (size_t i = 0; i < pieces.size(); ++i)
        r->setChild(static_cast<int32_t>(i), std::move(pieces[i]));
    return ExprPtr(r.release());
}

ExprPtr row(std::string_view typed) {
    Pieces pieces;
    text(pieces, typed);
    return row(std::move(pieces));
}

ExprPtr squared(std::string_view base) {
    return ExprPtr(NewSSScript(row(base), nullptr, row("2"), 3).release());
}

// x = (-b ± sqrt(b² - 4ac)) / 2a
ExprPtr quadraticFormula() {
    Pieces radicand;
    radicand.push_back(squared("b"));
    text(radicand, "-4ac");
    Pieces numerator;
    text(numerator, "-b\xB1");
    numerator.push_back(ExprPtr(NewRoot(row(std::move(radicand)), nullptr).release()));
    Pieces all;
    text(all, "x=");
    all.push_back(ExprPtr(NewFraction(row(std::move(numerator)), row("2a")).release()));
    return row(std::move(all));
}

// (a + b)² = a² + 2ab + b²
ExprPtr binomialSquare() {
    Pieces all;
    ExprPtr fence(NewFence(row("a+b"), kDelimParen << 4 | kDelimParen).release());
    all.push_back(ExprPtr(NewSSScript(row(Pieces{}), nullptr, row("2"), 3).release()));
    // The squared group: the fence is the base of the script.
    all.back()->setChild(0, std::move(fence));
    text(all, "=");
    all.push_back(squared("a"));
    text(all, "+2ab+");
    all.push_back(squared("b"));
    return row(std::move(all));
}

// The integral of x² from 0 to 1 is 1/3.
ExprPtr definiteIntegral() {
    Pieces integrand;
    integrand.push_back(squared("x"));
    text(integrand, " dx");
    Pieces all;
    all.push_back(ExprPtr(NewIntegral(3, row(std::move(integrand)), row("0"), row("1")).release()));
    text(all, "=");
    all.push_back(ExprPtr(NewFraction(row("1"), row("3")).release()));
    return row(std::move(all));
}

// lim (x -> 0) of sin x / x is 1: "lim" with its limit underneath.
ExprPtr limit() {
    OwnedNode<eSSScript> lim = NewSSScript(row("lim"), row("x->0"), nullptr, 3);
    lim->m_kind = kScriptLimits | kScriptNoScripts;
    Pieces all;
    all.push_back(ExprPtr(lim.release()));
    all.push_back(ExprPtr(NewFraction(row("sin x"), row("x")).release()));
    text(all, "=1");
    return row(std::move(all));
}

// The determinant of a 2 × 2 matrix between bars.
ExprPtr determinant() {
    OwnedNode<eSimpMatrix> grid = NewSimpMatrix(2, 2);
    const char* cells[] = {"a", "b", "c", "d"};
    for (int32_t i = 0; i < 4; ++i)
        grid->setChild(i, row(cells[i]));
    Pieces all;
    all.push_back(ExprPtr(NewFence(ExprPtr(grid.release()), kDelimBar << 4 | kDelimBar).release()));
    text(all, "=ad-bc");
    return row(std::move(all));
}

struct ShippedExample {
    const char* path; // inside the Examples folder
    ExprPtr (*build)();
};

const ShippedExample kShippedExamples[] = {
    {"01_Algebra/01_Quadratic_formula.exp", &quadraticFormula},
    {"01_Algebra/02_Binomial_square.exp", &binomialSquare},
    {"02_Calculus/01_Definite_integral.exp", &definiteIntegral},
    {"02_Calculus/02_Limit.exp", &limit},
    {"03_Matrices/01_Determinant.exp", &determinant},
};

std::string shippedExamplesFolder() {
    return std::string(KV_SOURCE_DIR) + "/resources/Korvaline_Prefs/Examples/";
}

using DocumentsTest = AppDocumentFixture;

// Runs the opener as a menu command would, answering the error's message box; the code it failed
// with (0: none).
int16_t openReportingFailure(const std::string& path) {
    return CatchFail([&] { OpenDocumentWindow(path.c_str(), FileTypeOfPath(path.c_str())); });
}

TEST_F(DocumentsTest, ShippedExamplesOpenAsTheTreesTheyWereWrittenFrom) {
    const bool rewrite = std::getenv("KV_WRITE_EXAMPLES") != nullptr;
    for (const ShippedExample& example : kShippedExamples) {
        SCOPED_TRACE(example.path);
        const std::string path = shippedExamplesFolder() + example.path;
        // The file holds the encoding as the reader gives it back (the writer's text of the tree
        // the reader makes of the built tree's text), so opening and re-encoding it is exact.
        const std::string built = ExprEncodingText(example.build().get());
        ExprPtr read = FindEmbeddedEncoding(built.data(), built.size());
        ASSERT_NE(read, nullptr);
        const std::string encoding = ExprEncodingText(read.get());
        if (rewrite) {
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            WriteFileBytes(path, encoding);
        }
        ASSERT_EQ(FileTypeOfPath(path.c_str()), 'e');
        EXPECT_EQ(ReadFileBytes(path), encoding) << "rebuild with KV_WRITE_EXAMPLES=1";
        const size_t before = static_cast<size_t>(OpenDocumentCount());
        ASSERT_EQ(openReportingFailure(path), 0);
        plat::testing::runUntilIdle();
        ExprFilePane* pane = LastOpenedDocument();
        ASSERT_NE(pane, nullptr);
        EXPECT_EQ(static_cast<size_t>(OpenDocumentCount()), before + 1);
        EXPECT_EQ(pane, OpenDocumentList);
        EXPECT_EQ(ExprEncodingText(pane->expression()), encoding);
        EXPECT_EQ(pane->fileName(), FileNameOfPath(path.c_str()));
        EXPECT_EQ(pane->filePath(), path);
        EXPECT_EQ(pane->saveType(), 1);
        EXPECT_FALSE(pane->changed());
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
