// The print set-up record, the printer port's measurements and print jobs through the headless
// back end (which keeps each finished job's PDF).

#include "OverPc/PPRINT.h"

#include "OverPc/shell/DialogItems.h"
#include "PortsFixture.h"
#include "plat/CommonDialogs.h"
#include "plat/Dialog.h"
#include "plat/Print.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

namespace pt = plat::testing;

int CountEntries(const std::string& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

class PrintTest : public kvtest::PortsFixture {
protected:
    void SetUp() override {
        PortsFixture::SetUp();
        // A print server with no queues and no default, unless a test names one.
        const std::string script = m_tmp / "lpstat";
        kvtest::WriteFileBytes(script, "#!/bin/sh\n"
                                       "case \"$1\" in\n"
                                       "-a) [ -n \"$KV_TEST_DEFAULT\" ] && "
                                       "echo \"$KV_TEST_DEFAULT accepting requests\" ;;\n"
                                       "-d) [ -n \"$KV_TEST_DEFAULT\" ] && "
                                       "echo \"system default destination: $KV_TEST_DEFAULT\" ;;\n"
                                       "esac\n"
                                       "exit 0\n");
        ::chmod(script.c_str(), 0755);
        m_lpstat.emplace("KV_LPSTAT", script);
        std::filesystem::create_directories(m_spool);
        m_tmpdir.emplace("TMPDIR", m_spool);
        plat::ForgetPrintSetupChoice();
        pt::clearPrintJobs();
        InitPrintSetup();
    }
    void TearDown() override {
        FreePrintSetup();
        pt::clearPrintJobs();
        if (m_frame)
            plat::DestroyWindow(m_frame);
        CQVApp::instance().m_MainFrame = nullptr;
        m_tmpdir.reset();
        m_lpstat.reset();
        PortsFixture::TearDown();
    }
    void makeFrame(const char* title) {
        plat::WNDCLASS wc;
        wc.lpfnWndProc = &plat::DefWindowProc;
        wc.lpszClassName = "KvPrintTestFrame";
        plat::RegisterClass(&wc); // refused when already registered: fine
        m_frame = plat::CreateWindowEx(0, "KvPrintTestFrame", title, plat::WS_POPUP, 0, 0, 200, 100,
                                       nullptr, nullptr, nullptr, nullptr);
        CQVApp::instance().m_MainFrame = m_frame;
    }
    // Picks the default printer without a dialog: the "Fichier PDF" printer when the server has
    // no default.
    static void choosePdfPrinter() { ASSERT_TRUE(RunPrintDialog(plat::PD_RETURNDEFAULT)); }
    static void clickCancel() {
        const plat::HWND button = plat::GetDlgItem(PrintAbortDialog(), plat::IDCANCEL);
        ASSERT_NE(button, nullptr);
        plat::RECT r{};
        plat::GetClientRect(button, &r);
        pt::click(button, (r.right - r.left) / 2, (r.bottom - r.top) / 2);
    }

    kvtest::SysTempDir m_tmp;
    std::string m_spool = m_tmp / "spool";
    std::optional<kvtest::ScopedEnv> m_lpstat, m_tmpdir;
    plat::HWND m_frame = nullptr;
};

TEST_F(PrintTest, WithoutAPrinterTheMetricsAreTheFixedOnesAndPrintingFails) {
    PrinterPageMetrics m;
    GetPrinterPageMetrics(m);
    EXPECT_FALSE(m.hasPrinter);
    EXPECT_EQ(m.resolution, 300);
    EXPECT_EQ(m.size.x, 2150);
    EXPECT_EQ(m.size.y, 3000);
    EXPECT_EQ(m.zone.right, 2150);
    EXPECT_EQ(m.zone.bottom, 3000);
    EXPECT_EQ(m.offset.x, 0);
    EXPECT_EQ(m.offset.y, 0);

    int drawn = 0;
    const auto code = CatchFail([&] { PrintPages(1, [&](wPrinterPort&, int32_t) { ++drawn; }); });
    EXPECT_EQ(code, errNoPrinterDriver);
    EXPECT_EQ(drawn, 0);
    EXPECT_FALSE(PrintingNow());
    EXPECT_EQ(PrintAbortDialog(), nullptr);
    EXPECT_EQ(CurrentDialog, nullptr);
}

TEST_F(PrintTest, MetricsOfThePdfPrinterAndTheDcIsNotKeptOutsideAJob) {
    choosePdfPrinter();
    PrinterPageMetrics m;
    GetPrinterPageMetrics(m);
    ASSERT_TRUE(m.hasPrinter);
    // A4 drawn at 300 dpi, quarter-inch margins: 2480 x 3508 pixels less 75 on every side.
    EXPECT_EQ(m.resolution, 300);
    EXPECT_EQ(m.size.x, 2330);
    EXPECT_EQ(m.size.y, 3358);
    EXPECT_EQ(m.zone.left, 0);
    EXPECT_EQ(m.zone.right, 2330);
    EXPECT_EQ(m.zone.ref1, 0);
    EXPECT_EQ(m.offset.x, 150);
    EXPECT_EQ(m.offset.y, 150);
    EXPECT_TRUE(m.color);
    EXPECT_EQ(PrintSetupRecord().hDC, nullptr);
}

TEST_F(PrintTest, ResettingTheSetupReleasesEveryHandle) {
    choosePdfPrinter();
    ASSERT_NE(PrintSetupRecord().hDevNames, nullptr);
    ASSERT_NE(PrintSetupRecord().hDevMode, nullptr);
    ASSERT_NE(GetPrinterDC(), nullptr);
    ResetPrinterSetup();
    EXPECT_EQ(PrintSetupRecord().hDevNames, nullptr);
    EXPECT_EQ(PrintSetupRecord().hDevMode, nullptr);
    EXPECT_EQ(PrintSetupRecord().hDC, nullptr);
}

TEST_F(PrintTest, TwoPageJobThroughThePrinterPort) {
    makeFrame("Formule.kvx");
    choosePdfPrinter();
    std::vector<int32_t> pages;
    std::vector<std::string> shownPage;
    PrintPages(2, [&](wPrinterPort& port, int32_t page) {
        pages.push_back(page);
        EXPECT_TRUE(PrintingNow());
        ASSERT_NE(PrintAbortDialog(), nullptr);
        EXPECT_EQ(CurrentDialog, PrintAbortDialog());
        EXPECT_FALSE(plat::IsWindowEnabled(m_frame));
        char text[64] = "";
        plat::GetDlgItemText(PrintAbortDialog(), kPrintAbortPageItem, text, sizeof text);
        shownPage.emplace_back(text);
        // The port follows the device: 300 dpi is (300 x 2 + 4) / 9 units per 16 points.
        EXPECT_EQ(port.resolution(), 67);
        EXPECT_EQ(port.deviceResolution(), 300);
        EXPECT_EQ(port.printableArea().right, 2330);
        port.paintZone(Zone{100 * page, 100, 100 * page + 300, 400, 0, 0}, kColorBlack);
    });
    EXPECT_EQ(pages, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(shownPage, (std::vector<std::string>{"1", "2"}));
    ASSERT_EQ(pt::printJobs().size(), 1u);
    EXPECT_EQ(pt::printJobs()[0].pages, 2);
    EXPECT_EQ(pt::printJobs()[0].document, "Formule.kvx");
    EXPECT_EQ(pt::printJobs()[0].printer, plat::kPdfPrinterName);
    // Everything is back as before the job.
    EXPECT_FALSE(PrintingNow());
    EXPECT_EQ(PrintAbortDialog(), nullptr);
    EXPECT_EQ(CurrentDialog, nullptr);
    EXPECT_TRUE(plat::IsWindowEnabled(m_frame));
    EXPECT_EQ(PrintSetupRecord().hDC, nullptr);
    EXPECT_FALSE(PrintJobChosen());
    EXPECT_EQ(CountEntries(m_spool), 0);
}

TEST_F(PrintTest, CancelStopsTheJobAfterTheCurrentPage) {
    makeFrame("Doc");
    choosePdfPrinter();
    int drawn = 0;
    const auto code = CatchFail([&] {
        PrintPages(5, [&](wPrinterPort&, int32_t page) {
            ++drawn;
            if (page == 2)
                clickCancel();
        });
    });
    EXPECT_EQ(code, errUserInterrupt);
    EXPECT_EQ(drawn, 2);
    EXPECT_TRUE(pt::printJobs().empty());
    EXPECT_EQ(CountEntries(m_spool), 0);
    EXPECT_EQ(PrintAbortDialog(), nullptr);
    EXPECT_EQ(CurrentDialog, nullptr);
    EXPECT_TRUE(plat::IsWindowEnabled(m_frame));
    EXPECT_FALSE(PrintingNow());
}

TEST_F(PrintTest, AFailureInsideAPageEndsTheJobAndIsPassedOn) {
    makeFrame("Doc");
    choosePdfPrinter();
    const auto code = CatchFail([&] {
        PrintPages(3, [&](wPrinterPort&, int32_t page) {
            if (page == 2)
                Fail(errFileAccessDenied);
        });
    });
    EXPECT_EQ(code, errFileAccessDenied);
    EXPECT_TRUE(pt::printJobs().empty());
    EXPECT_EQ(CountEntries(m_spool), 0);
    EXPECT_EQ(PrintAbortDialog(), nullptr);
    EXPECT_TRUE(plat::IsWindowEnabled(m_frame));
    // The next job runs normally.
    choosePdfPrinter();
    PrintPages(1, [](wPrinterPort&, int32_t) {});
    EXPECT_EQ(pt::printJobs().size(), 1u);
}

TEST_F(PrintTest, ANewDefaultPrinterIsPickedUpByTheNextJob) {
    makeFrame("Doc");
    {
        kvtest::ScopedEnv printer("KV_TEST_DEFAULT", std::string("laser"));
        PrintPages(1, [](wPrinterPort&, int32_t) {});
    }
    {
        kvtest::ScopedEnv printer("KV_TEST_DEFAULT", std::string("bureau"));
        PrintPages(1, [](wPrinterPort&, int32_t) {});
    }
    ASSERT_EQ(pt::printJobs().size(), 2u);
    EXPECT_EQ(pt::printJobs()[0].printer, "laser");
    EXPECT_EQ(pt::printJobs()[1].printer, "bureau");
}

} // namespace
