#include "plat/CommonDialogs.h"
#include "plat/Gdi.h"
#include "plat/Print.h"
#include "platform/SysTempDir.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using namespace plat;
namespace pt = plat::testing;
namespace fs = std::filesystem;

DEVMODE modeFor(short paper, short width, short length, short quality, short orientation) {
    DEVMODE dm;
    dm.dmFields = DM_PAPERSIZE | DM_PRINTQUALITY | DM_ORIENTATION;
    dm.dmPaperSize = paper;
    dm.dmPaperWidth = width;
    dm.dmPaperLength = length;
    dm.dmPrintQuality = quality;
    dm.dmOrientation = orientation;
    return dm;
}

// Renders each page of a PDF at 72 dpi (one pixel per point) with the PostScript interpreter and
// returns per page the box of its dark pixels {left, top, right, bottom} (top-left origin, empty
// {0,0,0,0} for a blank page); nullopt when the interpreter is not installed.
std::optional<std::vector<std::array<int, 4>>> pageBoxes(const std::string& pdfPath) {
    if (std::system("command -v gs >/dev/null 2>&1") != 0)
        return std::nullopt;
    const std::string pattern = pdfPath + "-%d.pgm";
    const std::string cmd = "gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pgmraw -r72 -o '" + pattern +
                            "' '" + pdfPath + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
        return std::vector<std::array<int, 4>>{};
    std::vector<std::array<int, 4>> boxes;
    for (int page = 1;; ++page) {
        const std::string bytes =
            kvtest::ReadFileBytes(pdfPath + "-" + std::to_string(page) + ".pgm");
        if (bytes.empty())
            break;
        // "P5", width, height, maximum, each after blanks or "#" comment lines, then one blank
        // and one byte per pixel.
        std::size_t at = 0;
        int fields[4] = {};
        for (int f = 0; f < 4; ++f) {
            while (at < bytes.size() &&
                   (std::isspace(static_cast<unsigned char>(bytes[at])) || bytes[at] == '#')) {
                if (bytes[at] == '#')
                    at = bytes.find('\n', at);
                else
                    ++at;
            }
            const std::size_t from = at;
            while (at < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[at])))
                ++at;
            const std::string token = bytes.substr(from, at - from);
            fields[f] = f == 0 ? (token == "P5" ? 1 : 0) : std::atoi(token.c_str());
        }
        ++at;
        const int w = fields[1], h = fields[2];
        if (!fields[0] || w <= 0 || h <= 0 || bytes.size() < at + static_cast<std::size_t>(w) * h)
            break;
        std::array<int, 4> box{w, h, 0, 0};
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(y) * w + x]) <
                    128) {
                    box[0] = std::min(box[0], x);
                    box[1] = std::min(box[1], y);
                    box[2] = std::max(box[2], x + 1);
                    box[3] = std::max(box[3], y + 1);
                }
            }
        }
        if (box[2] == 0)
            box = {0, 0, 0, 0};
        boxes.push_back(box);
    }
    return boxes;
}

class PrintJobTest : public ::testing::Test {
protected:
    void SetUp() override { pt::clearPrintJobs(); }
    void TearDown() override {
        if (m_dc)
            DeleteDC(m_dc);
        pt::clearPrintJobs();
    }
    HDC pdfDc(const DEVMODE* dm = nullptr) {
        m_dc = CreateDC(kPdfPrinterDriver, kPdfPrinterName, "FILE:", dm);
        return m_dc;
    }
    // Folder entries other than . and ..
    static int entries(const std::string& dir) {
        int n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
            ++n;
        return n;
    }

    HDC m_dc = nullptr;
    kvtest::SysTempDir m_tmp;
};

struct CapsCase {
    const char* name;
    short paper, width, length, quality, orientation;
    // Expected, from the paper's size in inches at the raster's resolution.
    int dpi, physW, physH;
};

TEST_F(PrintJobTest, DeviceCapsDescribeThePaperAtTheRasterResolution) {
    // A4 is 8.27 x 11.69 in, Letter 8.5 x 11 in; 600 and 1200 dpi are drawn at 300.
    const CapsCase cases[] = {
        {"A4 300", DMPAPER_A4, 2100, 2970, 300, DMORIENT_PORTRAIT, 300, 2480, 3508},
        {"A4 600 capped", DMPAPER_A4, 2100, 2970, 600, DMORIENT_PORTRAIT, 300, 2480, 3508},
        {"Letter 300", DMPAPER_LETTER, 2159, 2794, 300, DMORIENT_PORTRAIT, 300, 2550, 3300},
        {"Letter landscape", DMPAPER_LETTER, 2159, 2794, 1200, DMORIENT_LANDSCAPE, 300, 3300, 2550},
    };
    for (const CapsCase& c : cases) {
        SCOPED_TRACE(c.name);
        const DEVMODE dm = modeFor(c.paper, c.width, c.length, c.quality, c.orientation);
        HDC dc = CreateDC(kPdfPrinterDriver, kPdfPrinterName, "FILE:", &dm);
        ASSERT_NE(dc, nullptr);
        EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASPRINTER);
        EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), c.dpi);
        EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), c.dpi);
        EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), c.physW);
        EXPECT_EQ(GetDeviceCaps(dc, PHYSICALHEIGHT), c.physH);
        // Quarter-inch margins on every side.
        const int margin = c.dpi / 4;
        EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETX), margin);
        EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETY), margin);
        const int horz = GetDeviceCaps(dc, HORZRES), vert = GetDeviceCaps(dc, VERTRES);
        EXPECT_EQ(horz, c.physW - 2 * margin);
        EXPECT_EQ(vert, c.physH - 2 * margin);
        // The millimetres give back the resolution the way a program computes it from them.
        EXPECT_NEAR(horz * 254.0 / (GetDeviceCaps(dc, HORZSIZE) * 10), c.dpi, 2.0);
        EXPECT_NEAR(vert * 254.0 / (GetDeviceCaps(dc, VERTSIZE) * 10), c.dpi, 2.0);
        EXPECT_GT(GetDeviceCaps(dc, NUMCOLORS), 2);
        DeleteDC(dc);
    }
}

TEST_F(PrintJobTest, MonochromeModeReportsTwoColoursAndNoModeMeansA4) {
    DEVMODE dm;
    dm.dmFields = DM_COLOR;
    dm.dmColor = DMCOLOR_MONOCHROME;
    HDC mono = CreateDC(kPdfPrinterDriver, kPdfPrinterName, "FILE:", &dm);
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(GetDeviceCaps(mono, NUMCOLORS), 2);
    DeleteDC(mono);
    // A block too small to be a device mode is not read.
    DEVMODE shortMode = modeFor(DMPAPER_LETTER, 2159, 2794, 300, DMORIENT_LANDSCAPE);
    shortMode.dmSize = 20;
    HDC dc = pdfDc(&shortMode);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), 2480);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALHEIGHT), 3508);
}

TEST_F(PrintJobTest, UnknownDriversAndNamelessQueuesGiveNoDc) {
    EXPECT_EQ(CreateDC("WINSPOOL", "laser", "LPT1:", nullptr), nullptr);
    EXPECT_EQ(CreateDC(kCupsPrinterDriver, "", "", nullptr), nullptr);
    HDC cups = CreateDC(kCupsPrinterDriver, "laser", "laser", nullptr);
    EXPECT_NE(cups, nullptr);
    DeleteDC(cups);
}

TEST_F(PrintJobTest, TwoPageJobGivesATwoPagePdfWithTheDrawingInPlace) {
    kvtest::ScopedEnv tmp("TMPDIR", m_tmp.path());
    HDC dc = pdfDc();
    ASSERT_NE(dc, nullptr);
    DOCINFO di;
    di.lpszDocName = "Formule 1";
    ASSERT_GT(StartDoc(dc, &di), 0);
    for (int page = 0; page < 2; ++page) {
        ASSERT_GT(StartPage(dc), 0);
        // Page 1: a block at the printable area's top-left; page 2: one inch further in.
        const int at = page * 300;
        RECT r{at, at, at + 300, at + 150};
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        ASSERT_GT(EndPage(dc), 0);
    }
    ASSERT_GT(EndDoc(dc), 0);

    ASSERT_EQ(pt::printJobs().size(), 1u);
    const pt::PrintJob& job = pt::printJobs()[0];
    EXPECT_EQ(job.printer, kPdfPrinterName);
    EXPECT_EQ(job.document, "Formule 1");
    EXPECT_EQ(job.pages, 2);
    ASSERT_GE(job.pdf.size(), 5u);
    EXPECT_EQ(job.pdf.substr(0, 5), "%PDF-");
    // The temporary file is gone once the bytes are kept.
    EXPECT_EQ(entries(m_tmp.path()), 0);

    const std::string copy = m_tmp / "job.pdf";
    kvtest::WriteFileBytes(copy, job.pdf);
    const auto boxes = pageBoxes(copy);
    if (!boxes)
        GTEST_SKIP() << "gs is not installed";
    ASSERT_EQ(boxes->size(), 2u);
    // 300 dpi: the quarter-inch margin is 18 pt, one inch 72 pt, 300 x 150 pixels 72 x 36 pt.
    const std::array<int, 4> first{18, 18, 18 + 72, 18 + 36};
    const std::array<int, 4> second{18 + 72, 18 + 72, 18 + 144, 18 + 72 + 36};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR((*boxes)[0][i], first[i], 1);
        EXPECT_NEAR((*boxes)[1][i], second[i], 1);
    }
}

TEST_F(PrintJobTest, EachPageStartsBlank) {
    kvtest::ScopedEnv tmp("TMPDIR", m_tmp.path());
    HDC dc = pdfDc();
    DOCINFO di;
    di.lpszDocName = "x";
    ASSERT_GT(StartDoc(dc, &di), 0);
    ASSERT_GT(StartPage(dc), 0);
    RECT r{0, 0, 100, 100};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ASSERT_GT(EndPage(dc), 0);
    ASSERT_GT(StartPage(dc), 0);
    ASSERT_GT(EndPage(dc), 0);
    ASSERT_GT(EndDoc(dc), 0);
    ASSERT_EQ(pt::printJobs().size(), 1u);
    const std::string copy = m_tmp / "blank.pdf";
    kvtest::WriteFileBytes(copy, pt::printJobs()[0].pdf);
    const auto boxes = pageBoxes(copy);
    if (!boxes)
        GTEST_SKIP() << "gs is not installed";
    ASSERT_EQ(boxes->size(), 2u);
    // 100 x 100 pixels at 300 dpi are 24 points square.
    EXPECT_EQ((*boxes)[0], (std::array<int, 4>{18, 18, 42, 42}));
    EXPECT_EQ((*boxes)[1], (std::array<int, 4>{0, 0, 0, 0}));
}

// Stops the job at its first call (after page 1).
BOOL stopAtOnce(HDC, int) {
    return FALSE;
}
int s_abortCalls = 0;
BOOL countAndGoOn(HDC, int error) {
    EXPECT_EQ(error, 0);
    ++s_abortCalls;
    return TRUE;
}

TEST_F(PrintJobTest, AbortProcedureStopsTheJobAndDiscardsTheFile) {
    kvtest::ScopedEnv tmp("TMPDIR", m_tmp.path());
    HDC dc = pdfDc();
    ASSERT_EQ(SetAbortProc(dc, &stopAtOnce), 1);
    DOCINFO di;
    di.lpszDocName = "Arret";
    ASSERT_GT(StartDoc(dc, &di), 0);
    EXPECT_EQ(entries(m_tmp.path()), 1); // the job's file grows here
    ASSERT_GT(StartPage(dc), 0);
    EXPECT_EQ(EndPage(dc), SP_APPABORT);
    EXPECT_EQ(entries(m_tmp.path()), 0);
    // The job is over: nothing more can be added to it, and nothing was delivered.
    EXPECT_EQ(StartPage(dc), SP_ERROR);
    EXPECT_EQ(EndDoc(dc), SP_ERROR);
    EXPECT_TRUE(pt::printJobs().empty());
    // The DC can start a new job.
    ASSERT_EQ(SetAbortProc(dc, &countAndGoOn), 1);
    s_abortCalls = 0;
    ASSERT_GT(StartDoc(dc, &di), 0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_GT(StartPage(dc), 0);
        ASSERT_GT(EndPage(dc), 0);
    }
    ASSERT_GT(EndDoc(dc), 0);
    EXPECT_EQ(s_abortCalls, 3);
    ASSERT_EQ(pt::printJobs().size(), 1u);
    EXPECT_EQ(pt::printJobs()[0].pages, 3);
}

TEST_F(PrintJobTest, OutputFileIsReplacedOnlyByAFinishedJob) {
    const std::string out = m_tmp / "sortie.pdf";
    kvtest::WriteFileBytes(out, "ancien contenu");
    HDC dc = pdfDc();
    DOCINFO di;
    di.lpszDocName = "Doc";
    di.lpszOutput = out.c_str();

    // Aborted: the old file is untouched and no temporary file is left beside it.
    ASSERT_GT(StartDoc(dc, &di), 0);
    ASSERT_GT(StartPage(dc), 0);
    ASSERT_GT(EndPage(dc), 0);
    ASSERT_GT(AbortDoc(dc), 0);
    EXPECT_EQ(kvtest::ReadFileBytes(out), "ancien contenu");
    EXPECT_EQ(entries(m_tmp.path()), 1);

    // Deleting the DC in the middle of a job is an abort too.
    HDC other = CreateDC(kPdfPrinterDriver, kPdfPrinterName, "FILE:", nullptr);
    ASSERT_GT(StartDoc(other, &di), 0);
    ASSERT_GT(StartPage(other), 0);
    DeleteDC(other);
    EXPECT_EQ(kvtest::ReadFileBytes(out), "ancien contenu");
    EXPECT_EQ(entries(m_tmp.path()), 1);

    // Finished: the file holds the new PDF, which is also what the job recorded.
    ASSERT_GT(StartDoc(dc, &di), 0);
    ASSERT_GT(StartPage(dc), 0);
    ASSERT_GT(EndPage(dc), 0);
    ASSERT_GT(EndDoc(dc), 0);
    const std::string bytes = kvtest::ReadFileBytes(out);
    EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
    ASSERT_EQ(pt::printJobs().size(), 1u);
    EXPECT_EQ(pt::printJobs()[0].pdf, bytes);
    EXPECT_EQ(entries(m_tmp.path()), 1);
}

TEST_F(PrintJobTest, CallsOutOfOrderAreRefused) {
    kvtest::ScopedEnv tmp("TMPDIR", m_tmp.path());
    HDC dc = pdfDc();
    DOCINFO di;
    di.lpszDocName = "x";
    EXPECT_EQ(StartPage(dc), SP_ERROR);
    EXPECT_EQ(EndPage(dc), SP_ERROR);
    EXPECT_EQ(EndDoc(dc), SP_ERROR);
    EXPECT_EQ(AbortDoc(dc), SP_ERROR);
    ASSERT_GT(StartDoc(dc, &di), 0);
    EXPECT_EQ(StartDoc(dc, &di), SP_ERROR);
    EXPECT_EQ(EndPage(dc), SP_ERROR);
    ASSERT_GT(StartPage(dc), 0);
    EXPECT_EQ(StartPage(dc), SP_ERROR);
    ASSERT_GT(EndPage(dc), 0);
    ASSERT_GT(EndDoc(dc), 0);

    // A screen DC is no printer.
    HDC screen = CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    EXPECT_EQ(StartDoc(screen, &di), SP_ERROR);
    EXPECT_EQ(SetAbortProc(screen, &stopAtOnce), SP_ERROR);
    DeleteDC(screen);

    // A job whose file cannot be made fails at once.
    DOCINFO nowhere;
    nowhere.lpszDocName = "x";
    const std::string bad = m_tmp / "missing/folder/out.pdf";
    nowhere.lpszOutput = bad.c_str();
    EXPECT_EQ(StartDoc(dc, &nowhere), SP_ERROR);
}

// --- Delivery -------------------------------------------------------------------------------

class PrintDeliveryTest : public PrintJobTest {
protected:
    void SetUp() override {
        PrintJobTest::SetUp();
        pt::recordPrintJobs(false);
        std::filesystem::create_directories(m_home);
        std::filesystem::create_directories(m_spool);
    }
    void TearDown() override {
        pt::recordPrintJobs(true);
        PrintJobTest::TearDown();
    }
    // One page with a mark on it.
    static int printOnePage(HDC dc, const char* name) {
        DOCINFO di;
        di.lpszDocName = name;
        if (StartDoc(dc, &di) <= 0 || StartPage(dc) <= 0)
            return SP_ERROR;
        RECT r{0, 0, 50, 50};
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        if (EndPage(dc) <= 0)
            return SP_ERROR;
        return EndDoc(dc);
    }
    std::string m_home = m_tmp / "home";
    std::string m_spool = m_tmp / "spool";
    kvtest::ScopedEnv m_homeEnv{"HOME", m_home};
    kvtest::ScopedEnv m_tmpEnv{"TMPDIR", m_spool};
};

TEST_F(PrintDeliveryTest, ThePdfPrinterWritesBesideAnExistingFileNeverOverIt) {
    kvtest::WriteFileBytes(m_home + "/Doc_1.pdf", "ancien");
    HDC dc = pdfDc();
    ASSERT_GT(printOnePage(dc, "Doc/1"), 0);
    ASSERT_GT(printOnePage(dc, "Doc/1"), 0);
    EXPECT_EQ(kvtest::ReadFileBytes(m_home + "/Doc_1.pdf"), "ancien");
    EXPECT_EQ(kvtest::ReadFileBytes(m_home + "/Doc_1 (2).pdf").substr(0, 5), "%PDF-");
    EXPECT_EQ(kvtest::ReadFileBytes(m_home + "/Doc_1 (3).pdf").substr(0, 5), "%PDF-");
    // Nothing else is left in the folder, and nothing was kept as a recorded job.
    EXPECT_EQ(entries(m_home), 3);
    EXPECT_TRUE(pt::printJobs().empty());
}

TEST_F(PrintDeliveryTest, ACupsQueueGetsTheFileThroughLp) {
    const std::string out = m_tmp / "lp-out";
    std::filesystem::create_directories(out);
    const std::string script = m_tmp / "lp";
    kvtest::WriteFileBytes(script, "#!/bin/sh\n"
                                   "[ -n \"$KV_LP_FAIL\" ] && exit 1\n"
                                   "printf '%s|' \"$@\" > '" +
                                       out +
                                       "/args'\n"
                                       "cp \"$5\" '" +
                                       out + "/file.pdf'\n");
    ::chmod(script.c_str(), 0755);
    kvtest::ScopedEnv lp("KV_LP", script);
    m_dc = CreateDC(kCupsPrinterDriver, "laser", "laser", nullptr);
    ASSERT_NE(m_dc, nullptr);
    ASSERT_GT(printOnePage(m_dc, "Formule"), 0);
    const std::string args = kvtest::ReadFileBytes(out + "/args");
    EXPECT_EQ(args.substr(0, 20), "-d|laser|-t|Formule|");
    EXPECT_EQ(kvtest::ReadFileBytes(out + "/file.pdf").substr(0, 5), "%PDF-");
    // The spooled copy is the printing system's: ours is gone.
    EXPECT_EQ(entries(m_spool), 0);

    // A refusal of the printing system is reported and leaves nothing behind.
    kvtest::ScopedEnv fail("KV_LP_FAIL", std::string("1"));
    EXPECT_EQ(printOnePage(m_dc, "Formule"), SP_ERROR);
    EXPECT_EQ(entries(m_spool), 0);
}

} // namespace
