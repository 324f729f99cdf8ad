// The export save types in the running program: Save As by extension writes EPS, PNG, metafile
// and bitmap files that outside tools accept and that open again as the same expression.

#include "OverPc/documents/Exports.h"

#include "App/MenuDispatch.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PFILE.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oPNG.h"
#include "app/AppDocumentFixture.h"
#include "plat/CommonDialogs.h"
#include "plat/Dialog.h"
#include "plat/Print.h"
#include "plat/TestingSys.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace kvtest {
namespace {

using ExportsTest = AppDocumentFixture;
using plat::testing::DialogDriver;

// What a command prints (stdout and stderr), and its exit status.
int runTool(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buf[512];
    while (fgets(buf, sizeof buf, pipe) != nullptr)
        output += buf;
    return pclose(pipe);
}

bool hasTool(const char* name) {
    std::string out;
    return runTool(std::string("command -v ") + name, out) == 0;
}

// The four numbers after `key` in the text; false when absent.
bool boxAfter(const std::string& text, const std::string& key, double box[4]) {
    const size_t at = text.find(key);
    return at != std::string::npos && std::sscanf(text.c_str() + at + key.size(), "%lf %lf %lf %lf",
                                                  &box[0], &box[1], &box[2], &box[3]) == 4;
}

TEST_F(ExportsTest, EachSaveTypeIsAValidFileThatOpensAgainAsTheSameExpression) {
    ExprFilePane* source = typed("x+1/2");
    const std::string expected = ExprEncodingText(source->expression());
    for (const char* name : {"eq.eps", "eq.png", "eq.emf", "eq.bmp"}) {
        SCOPED_TRACE(name);
        const std::string path = m_dir / name;
        source->takeFocus();
        plat::testing::runUntilIdle();
        plat::testing::answerFileDialog(path);
        ASSERT_EQ(1, DoMenuCommand(264)); // Fichier > Enregistrer sous...
        const std::string bytes = ReadFileBytes(path);
        ASSERT_FALSE(bytes.empty());

        std::string out;
        if (std::string(name) == "eq.eps" && hasTool("gs")) {
            // The ink lies inside the declared bounding box.
            double declared[4], ink[4];
            ASSERT_TRUE(boxAfter(bytes, "%%BoundingBox:", declared));
            ASSERT_EQ(
                0, runTool("gs -q -dNOPAUSE -dBATCH -dSAFER -dEPSCrop -sDEVICE=bbox '" + path + "'",
                           out))
                << out;
            ASSERT_TRUE(boxAfter(out, "%%HiResBoundingBox:", ink)) << out;
            EXPECT_LT(ink[0], ink[2]);
            EXPECT_GE(ink[0], declared[0] - 0.5);
            EXPECT_GE(ink[1], declared[1] - 0.5);
            EXPECT_LE(ink[2], declared[2] + 0.5);
            EXPECT_LE(ink[3], declared[3] + 0.5);
        }
        if (std::string(name) == "eq.png" && hasTool("pngcheck")) {
            EXPECT_EQ(0, runTool("pngcheck -q '" + path + "'", out)) << out;
        }

        ExprFilePane* before = OpenDocumentList;
        OpenDocumentWindow(path.c_str(), FileTypeOfPath(path.c_str()));
        plat::testing::runUntilIdle();
        ExprFilePane* opened = nullptr;
        for (ExprFilePane* p = OpenDocumentList; p != nullptr; p = p->nextDocument())
            if (p != source && p != before && p->filePath() == path)
                opened = p;
        ASSERT_NE(opened, nullptr);
        EXPECT_EQ(expected, ExprEncodingText(opened->expression()));
    }
}

TEST_F(ExportsTest, TheEpsCopyCarriesTheExpressionAndPastesBack) {
    ExprFilePane* pane = typed("ab");
    const std::string expected = ExprEncodingText(pane->expression());
    ASSERT_EQ(1, DoMenuCommand(1030)); // Copy As Type > EPS
    std::vector<uint8_t> eps;
    ASSERT_TRUE(plat::GetClipboardBytes(ClipboardFormats().eps, eps));
    EXPECT_EQ(0, std::string(eps.begin(), eps.end()).rfind("%!PS-Adobe", 0));
    DoCommand(kCmdSelectAll, 0);
    DoCommand(kCmdClear, 0);
    DoCommand(kCmdPaste, 0);
    EXPECT_EQ(expected, ExprEncodingText(pane->expression()));
}

TEST_F(ExportsTest, TheBackgroundColourReachesThePicturesAndWhiteMeansNone) {
    ExprFilePane* pane = typed("m");
    const auto choose = [](const char* r, const char* g, const char* b) {
        plat::testing::onDialog(plat::IDD_CHOOSECOLOR, [=](DialogDriver& d) {
            d.setText(plat::IDC_COLOR_RED, r);
            d.setText(plat::IDC_COLOR_GREEN, g);
            d.setText(plat::IDC_COLOR_BLUE, b);
            d.click(plat::IDOK);
        });
        ASSERT_EQ(1, DoMenuCommand(530)); // Édition > Couleur de fond...
    };
    choose("10", "200", "30");
    ASSERT_EQ(pane->record().m_noBackground, 0);
    ASSERT_TRUE(CopyAs(true, true, kCopyAsBitmap));
    std::vector<uint8_t> png;
    ASSERT_TRUE(plat::GetClipboardBytes(ClipboardFormats().png, png));
    std::vector<uint8_t> pixels;
    int32_t w = 0, h = 0, rowBytes = 0;
    std::string text;
    ReadPngFromMemory(pixels, w, h, rowBytes, png.data(), png.size(), text);
    ASSERT_GT(w, 1);
    EXPECT_EQ((std::vector<uint8_t>{10, 200, 30}),
              (std::vector<uint8_t>{pixels[1], pixels[2], pixels[3]}))
        << "the corner is painted";
    choose("255", "255", "255");
    EXPECT_EQ(pane->record().m_noBackground, 1);
}

TEST_F(ExportsTest, PrintSendsOnePageToThePrinter) {
    // No print server: the default printer is the PDF printer.
    ScopedEnv lpstat("KV_LPSTAT", std::string("/nonexistent/lpstat"));
    std::filesystem::create_directories(m_dir / "spool");
    ScopedEnv spool("TMPDIR", m_dir / "spool");
    plat::ForgetPrintSetupChoice();
    typed("x^2");
    plat::testing::clearPrintJobs();
    plat::testing::onDialog(plat::IDD_PRINT, [](DialogDriver& d) { d.click(plat::IDOK); });
    ASSERT_EQ(1, DoMenuCommand(267)); // Fichier > Imprimer l'expression...
    ASSERT_EQ(plat::testing::printJobs().size(), 1u);
    EXPECT_EQ(plat::testing::printJobs()[0].pages, 1);
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
    plat::testing::clearPrintJobs();
}

} // namespace
} // namespace kvtest
