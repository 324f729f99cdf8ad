#include "plat/CommonDialogs.h"
#include "plat/Gdi.h"
#include "plat/Memory.h"
#include "plat/Print.h"
#include "platform/DialogFixture.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

using namespace plat;
namespace pt = plat::testing;
using Driver = pt::DialogDriver;
namespace fs = std::filesystem;

// A stand-in for lpstat: the queues it lists cover a continuation line, a comma in a name, a
// name outside Windows-1252 and an accented one; it only answers in the C locale, as the parser
// expects.
const char kFakeLpstat[] =
    "#!/bin/sh\n"
    "[ \"$LC_ALL\" = C ] || exit 3\n"
    "case \"$1\" in\n"
    "-a) printf 'laser accepting requests since Mon 07 Dec 2026\\n'\n"
    "    printf 'bureau not accepting requests since Mon -\\n'\n"
    "    printf '\\tPaper jam\\n'\n"
    "    printf 'a,b accepting requests since Mon\\n'\n"
    "    printf '\\316\\224elta accepting requests since Mon\\n'\n"
    "    printf 'caf\\303\\251 accepting requests since Mon\\n' ;;\n"
    "-d) printf 'system default destination: %s\\n' \"$KV_TEST_DEFAULT\" ;;\n"
    "*) exit 1 ;;\n"
    "esac\n";

struct Names {
    std::string driver, device, output;
    WORD flags = 0;
};

Names namesOf(HGLOBAL mem) {
    Names n;
    const std::size_t size = GlobalSize(mem);
    const char* p = static_cast<const char*>(GlobalLock(mem));
    if (!p || size < sizeof(DEVNAMES))
        return n;
    DEVNAMES dn;
    std::memcpy(&dn, p, sizeof dn);
    EXPECT_LT(dn.wOutputOffset, size);
    n.driver = p + dn.wDriverOffset;
    n.device = p + dn.wDeviceOffset;
    n.output = p + dn.wOutputOffset;
    n.flags = dn.wDefault;
    GlobalUnlock(mem);
    return n;
}

DEVMODE modeOf(HGLOBAL mem) {
    DEVMODE dm;
    dm.dmFields = 0;
    EXPECT_GE(GlobalSize(mem), sizeof(DEVMODE));
    if (const void* p = GlobalLock(mem)) {
        std::memcpy(&dm, p, sizeof dm);
        GlobalUnlock(mem);
    }
    return dm;
}

std::string profileDevice(const char* def = "") {
    char buf[256];
    GetProfileString("windows", "device", def, buf, sizeof buf);
    return buf;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> comboItems(HWND combo) {
    std::vector<std::string> out;
    const int n = static_cast<int>(SendMessage(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char buf[260] = {};
        SendMessage(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
        out.emplace_back(buf);
    }
    return out;
}

// The printer the dialog's combo shows.
std::string printerShown(const Driver& d) {
    const std::vector<std::string> items = comboItems(d.item(IDC_PRINT_PRINTER));
    const int sel = d.curSel(IDC_PRINT_PRINTER);
    return sel >= 0 && sel < static_cast<int>(items.size()) ? items[static_cast<std::size_t>(sel)]
                                                            : std::string();
}

class PrintDialog : public kvtest::DlgTest {
protected:
    void SetUp() override {
        DlgTest::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::path(::testing::TempDir()) /
                (std::string("kv_print_") + info->name() + "_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_lpstat = (m_dir / "lpstat").string();
        std::ofstream(m_lpstat) << kFakeLpstat;
        fs::permissions(m_lpstat, fs::perms::owner_all);
        setenv("KV_LPSTAT", m_lpstat.c_str(), 1);
        setenv("KV_TEST_DEFAULT", "bureau", 1);
        ForgetPrintSetupChoice();
    }
    void TearDown() override {
        for (HGLOBAL h : {m_pd.hDevMode, m_pd.hDevNames}) {
            if (h)
                GlobalFree(h);
        }
        ForgetPrintSetupChoice();
        unsetenv("KV_LPSTAT");
        unsetenv("KV_TEST_DEFAULT");
        fs::remove_all(m_dir);
        DlgTest::TearDown();
    }
    fs::path m_dir;
    std::string m_lpstat;
    PRINTDLG m_pd; // its blocks are freed after each test
};

TEST_F(PrintDialog, ReturnDefaultGivesTheCupsDefaultWithoutOpeningADialog) {
    m_pd.Flags = PD_RETURNDEFAULT;
    ASSERT_TRUE(PrintDlg(&m_pd));
    EXPECT_EQ(0u, CommDlgExtendedError());
    const Names n = namesOf(m_pd.hDevNames);
    EXPECT_EQ("CUPS", n.driver);
    EXPECT_EQ("bureau", n.device);
    EXPECT_EQ("bureau", n.output);
    EXPECT_EQ(DN_DEFAULTPRN, n.flags);
    const DEVMODE dm = modeOf(m_pd.hDevMode);
    EXPECT_STREQ("bureau", dm.dmDeviceName);
    const DWORD want = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PRINTQUALITY;
    EXPECT_EQ(want, dm.dmFields & want);
    EXPECT_EQ(DMPAPER_A4, dm.dmPaperSize);
    EXPECT_EQ(DMORIENT_PORTRAIT, dm.dmOrientation);
    EXPECT_EQ(1, dm.dmCopies);
    EXPECT_EQ(600, dm.dmPrintQuality);
    EXPECT_EQ("bureau,CUPS,bureau", profileDevice());

    // Asking again with the blocks still held would lose them: refused, blocks untouched.
    const HGLOBAL held = m_pd.hDevMode;
    EXPECT_FALSE(PrintDlg(&m_pd));
    EXPECT_EQ(PDERR_RETDEFFAILURE, CommDlgExtendedError());
    EXPECT_EQ(held, m_pd.hDevMode);
    EXPECT_GE(GlobalSize(held), sizeof(DEVMODE));
}

TEST_F(PrintDialog, WithoutAnyPrinterThePdfPrinterRemains) {
    struct Case {
        const char* label;
        std::string lpstat; // "" leaves the fake one
        const char* cupsDefault;
    };
    const std::string failing = (m_dir / "failing").string();
    std::ofstream(failing) << "#!/bin/sh\necho 'laser accepting requests'\nexit 1\n";
    fs::permissions(failing, fs::perms::owner_all);
    const Case cases[] = {
        {"no lpstat program", (m_dir / "missing").string(), "bureau"},
        {"lpstat fails", failing, "bureau"},
        {"default not a listed queue", "", "gone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (!c.lpstat.empty())
            setenv("KV_LPSTAT", c.lpstat.c_str(), 1);
        setenv("KV_TEST_DEFAULT", c.cupsDefault, 1);
        PRINTDLG pd;
        pd.Flags = PD_RETURNDEFAULT;
        ASSERT_TRUE(PrintDlg(&pd));
        const Names n = namesOf(pd.hDevNames);
        EXPECT_EQ(kPdfPrinterName, n.device);
        EXPECT_EQ("PDF", n.driver);
        EXPECT_EQ("FILE:", n.output);
        EXPECT_STREQ(kPdfPrinterName, modeOf(pd.hDevMode).dmDeviceName);
        GlobalFree(pd.hDevMode);
        GlobalFree(pd.hDevNames);
        setenv("KV_LPSTAT", m_lpstat.c_str(), 1);
    }
    // With no CUPS at all there is no default entry, but the dialog still offers the PDF printer.
    setenv("KV_LPSTAT", (m_dir / "missing").string().c_str(), 1);
    EXPECT_EQ("aucune", profileDevice("aucune"));
    pt::onDialog(IDD_PRINT, [&](Driver& d) {
        EXPECT_EQ(std::vector<std::string>{kPdfPrinterName}, comboItems(d.item(IDC_PRINT_PRINTER)));
        EXPECT_EQ(0, d.curSel(IDC_PRINT_PRINTER));
        d.click(IDOK);
    });
    ASSERT_TRUE(PrintDlg(&m_pd));
    EXPECT_EQ(kPdfPrinterName, namesOf(m_pd.hDevNames).device);
}

TEST_F(PrintDialog, ListsTheUsableQueuesThenThePdfPrinter) {
    pt::onDialog(IDD_PRINT, [&](Driver& d) {
        // The continuation line, the name with a comma and the one outside Windows-1252 are
        // left out; the accented name arrives in Windows-1252.
        EXPECT_EQ((std::vector<std::string>{"laser", "bureau", "caf\xE9", kPdfPrinterName}),
                  comboItems(d.item(IDC_PRINT_PRINTER)));
        EXPECT_EQ(1, d.curSel(IDC_PRINT_PRINTER)) << "the CUPS default is chosen first";
        d.chooseCombo(IDC_PRINT_PRINTER, 2);
        EXPECT_TRUE(d.snapshot(std::string(::testing::TempDir()) + "/print.png"));
        d.click(IDOK);
    });
    ASSERT_TRUE(PrintDlg(&m_pd));
    const Names n = namesOf(m_pd.hDevNames);
    EXPECT_EQ("caf\xE9", n.device);
    EXPECT_EQ("caf\xE9", n.output);
    EXPECT_EQ(0, n.flags) << "not the default printer";
    // The print dialog's choice is not the print set-up's: the default stays.
    EXPECT_EQ("bureau,CUPS,bureau", profileDevice());
}

TEST_F(PrintDialog, SetUpRoundTripsPaperOrientationAndResolution) {
    const std::string png = std::string(::testing::TempDir()) + "/printsetup.png";
    m_pd.Flags = PD_PRINTSETUP;
    pt::onDialog(IDD_PRINTSETUP, [&](Driver& d) {
        EXPECT_EQ("bureau", printerShown(d));
        EXPECT_TRUE(d.checked(IDC_PRINT_PORTRAIT));
        EXPECT_EQ(3u, comboItems(d.item(IDC_PRINT_PAPER)).size());
        d.chooseCombo(IDC_PRINT_PRINTER, "laser");
        d.chooseCombo(IDC_PRINT_PAPER, 2);
        d.check(IDC_PRINT_LANDSCAPE);
        d.chooseCombo(IDC_PRINT_QUALITY, 2);
        EXPECT_FALSE(d.checked(IDC_PRINT_PORTRAIT));
        EXPECT_TRUE(d.snapshot(png));
        d.click(IDOK);
    });
    ASSERT_TRUE(PrintDlg(&m_pd));
    DEVMODE dm = modeOf(m_pd.hDevMode);
    EXPECT_STREQ("laser", dm.dmDeviceName);
    EXPECT_EQ(DMPAPER_LEGAL, dm.dmPaperSize);
    EXPECT_EQ(DMORIENT_LANDSCAPE, dm.dmOrientation);
    EXPECT_EQ(1200, dm.dmPrintQuality);
    EXPECT_EQ(2159, dm.dmPaperWidth) << "8.5 inches in tenths of a millimetre";
    EXPECT_EQ(3556, dm.dmPaperLength);
    EXPECT_EQ("laser", namesOf(m_pd.hDevNames).device);
    EXPECT_EQ("laser,CUPS,laser", profileDevice()) << "set-up's choice is the new default";
    EXPECT_TRUE(fs::file_size(png) > 0);

    // The blocks come back into the dialog as they were left; Cancel keeps them and reports no
    // error.
    const HGLOBAL mode = m_pd.hDevMode, names = m_pd.hDevNames;
    pt::onDialog(IDD_PRINTSETUP, [&](Driver& d) {
        EXPECT_EQ("laser", printerShown(d));
        EXPECT_EQ(2, d.curSel(IDC_PRINT_PAPER));
        EXPECT_EQ(2, d.curSel(IDC_PRINT_QUALITY));
        EXPECT_TRUE(d.checked(IDC_PRINT_LANDSCAPE));
        d.chooseCombo(IDC_PRINT_PAPER, 0);
        d.check(IDC_PRINT_PORTRAIT);
        d.click(IDCANCEL);
    });
    EXPECT_FALSE(PrintDlg(&m_pd));
    EXPECT_EQ(0u, CommDlgExtendedError());
    EXPECT_EQ(mode, m_pd.hDevMode);
    EXPECT_EQ(names, m_pd.hDevNames);
    dm = modeOf(m_pd.hDevMode);
    EXPECT_EQ(DMPAPER_LEGAL, dm.dmPaperSize);
    EXPECT_EQ(DMORIENT_LANDSCAPE, dm.dmOrientation);

    // Confirming again replaces the blocks and frees the old ones.
    pt::onDialog(IDD_PRINTSETUP, [&](Driver& d) {
        d.check(IDC_PRINT_PORTRAIT);
        d.click(IDOK);
    });
    ASSERT_TRUE(PrintDlg(&m_pd));
    EXPECT_EQ(0u, GlobalSize(mode));
    EXPECT_EQ(0u, GlobalSize(names));
    dm = modeOf(m_pd.hDevMode);
    EXPECT_EQ(DMORIENT_PORTRAIT, dm.dmOrientation);
    EXPECT_EQ(DMPAPER_LEGAL, dm.dmPaperSize);
}

TEST_F(PrintDialog, CopiesGoWhereTheCallerAsksAndBadCountsAreRefused) {
    for (const bool inDevMode : {true, false}) {
        SCOPED_TRACE(inDevMode ? "copies in DEVMODE" : "copies in PRINTDLG");
        PRINTDLG pd;
        pd.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION | PD_PAGENUMS |
                   (inDevMode ? PD_USEDEVMODECOPIESANDCOLLATE : 0);
        pd.nCopies = 2;
        pd.nFromPage = 0xFFFF;
        pd.nToPage = 0xFFFF;
        int boxes = 0;
        pt::onMessageBox([&](const pt::MessageBoxCall& call) {
            ++boxes;
            EXPECT_NE(std::string::npos, call.text.find("9999")) << call.text;
            return IDOK;
        });
        pt::onDialog(IDD_PRINT, [&](Driver& d) {
            EXPECT_EQ(inDevMode ? "1" : "2", d.text(IDC_PRINT_COPIES));
            d.setText(IDC_PRINT_COPIES, "0");
            d.click(IDOK);
            EXPECT_FALSE(d.ended()) << "a count of 0 keeps the dialog open";
            d.setText(IDC_PRINT_COPIES, "3");
            d.click(IDOK);
        });
        ASSERT_TRUE(PrintDlg(&pd));
        EXPECT_EQ(1, boxes);
        EXPECT_EQ(inDevMode ? 1 : 3, pd.nCopies);
        EXPECT_EQ(inDevMode ? 3 : 1, modeOf(pd.hDevMode).dmCopies);
        EXPECT_EQ(0u, pd.Flags & (PD_PAGENUMS | PD_SELECTION)) << "no page range was chosen";
        EXPECT_EQ(nullptr, pd.hDC);
        GlobalFree(pd.hDevMode);
        GlobalFree(pd.hDevNames);
    }
}

TEST_F(PrintDialog, UnsoundBlocksFromTheCallerFallBackToDefaults) {
    // A device mode too small to be one, and device names whose offsets point outside the block.
    m_pd.hDevMode = GlobalAlloc(GHND, 4);
    m_pd.hDevNames = GlobalAlloc(GHND, sizeof(DEVNAMES) + 4);
    auto* dn = static_cast<DEVNAMES*>(GlobalLock(m_pd.hDevNames));
    dn->wDeviceOffset = 500;
    GlobalUnlock(m_pd.hDevNames);
    const HGLOBAL oldMode = m_pd.hDevMode, oldNames = m_pd.hDevNames;
    m_pd.Flags = PD_PRINTSETUP;
    pt::onDialog(IDD_PRINTSETUP, [&](Driver& d) {
        EXPECT_EQ("bureau", printerShown(d));
        EXPECT_EQ(0, d.curSel(IDC_PRINT_PAPER));
        EXPECT_EQ(1, d.curSel(IDC_PRINT_QUALITY));
        d.click(IDOK);
    });
    ASSERT_TRUE(PrintDlg(&m_pd));
    EXPECT_EQ(0u, GlobalSize(oldMode));
    EXPECT_EQ(0u, GlobalSize(oldNames));

    // A sound device mode with values we do not offer keeps the defaults for those; its device
    // name, cut to 31 characters, still finds the printer.
    DEVMODE bad;
    std::strcpy(bad.dmDeviceName, "laser");
    bad.dmFields = DM_PAPERSIZE | DM_ORIENTATION | DM_PRINTQUALITY;
    bad.dmPaperSize = 77;
    bad.dmOrientation = DMORIENT_LANDSCAPE;
    bad.dmPrintQuality = 450;
    GlobalFree(m_pd.hDevNames);
    m_pd.hDevNames = nullptr;
    std::memcpy(GlobalLock(m_pd.hDevMode), &bad, sizeof bad);
    GlobalUnlock(m_pd.hDevMode);
    pt::onDialog(IDD_PRINTSETUP, [&](Driver& d) {
        EXPECT_EQ("laser", printerShown(d));
        EXPECT_EQ(0, d.curSel(IDC_PRINT_PAPER));
        EXPECT_EQ(1, d.curSel(IDC_PRINT_QUALITY));
        EXPECT_TRUE(d.checked(IDC_PRINT_LANDSCAPE));
        d.escape();
    });
    EXPECT_FALSE(PrintDlg(&m_pd));
    EXPECT_EQ(0u, CommDlgExtendedError());
}

TEST_F(PrintDialog, BadRecordsAndProfileQueries) {
    PRINTDLG bad;
    bad.lStructSize = 66;
    EXPECT_FALSE(PrintDlg(&bad));
    EXPECT_EQ(CDERR_STRUCTSIZE, CommDlgExtendedError());
    EXPECT_FALSE(PrintDlg(nullptr));
    EXPECT_EQ(CDERR_STRUCTSIZE, CommDlgExtendedError());

    char buf[8];
    EXPECT_EQ(7u, GetProfileString("WINDOWS", "Device", "", buf, sizeof buf));
    EXPECT_STREQ("bureau,", buf) << "cut to the buffer, terminated";
    EXPECT_EQ(3u, GetProfileString("windows", "other", "def", buf, sizeof buf));
    EXPECT_STREQ("def", buf);
    EXPECT_EQ(0u, GetProfileString("windows", "other", nullptr, buf, sizeof buf));
    EXPECT_STREQ("", buf);
}

// The "Fichier PDF" printer shows the file it writes, a new name in the home folder (then beside
// the last one), and writes the PDF where the field says; a file that is there is replaced only
// after Oui, and a bad name keeps the dialog open with a word.
TEST_F(PrintDialog, ThePdfPrinterShowsAndWritesTheFileTheUserChooses) {
    const fs::path home = m_dir / "home";
    fs::create_directories(home / "out");
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", home.c_str(), 1);
    std::ofstream(home / "Korvaline.pdf") << "kept";
    struct Case {
        const char* what;
        std::string shown;   // the field when the dialog opens
        std::string typed;   // then typed, with the answers to the boxes it brings
        std::vector<int> answers;
        std::string written; // "" for a dialog left with Annuler
    };
    const std::string h = home.string();
    const Case cases[] = {
        {"the proposal", h + "/Korvaline (2).pdf", "", {}, h + "/Korvaline (2).pdf"},
        // The next proposal lies beside the last file.
        {"a name of the user's", h + "/Korvaline (3).pdf", h + "/out/eq.pdf", {}, h + "/out/eq.pdf"},
        {"a name in the folder shown", h + "/out/Korvaline.pdf", "rel.pdf", {}, h + "/out/rel.pdf"},
        {"a file that is there, kept", h + "/out/Korvaline.pdf", h + "/out/taken.pdf", {IDNO}, ""},
        {"a file that is there, replaced", h + "/out/Korvaline.pdf", h + "/out/taken.pdf", {IDYES},
         h + "/out/taken.pdf"},
        {"no such folder", h + "/out/Korvaline.pdf", h + "/nowhere/x.pdf", {IDOK}, ""},
    };
    HGLOBAL names = nullptr;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(home / "out" / "taken.pdf") << "kept";
        PRINTDLG pd;
        pd.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION | PD_USEDEVMODECOPIESANDCOLLATE;
        pd.hDevNames = names; // the last choice, as the program hands it back
        std::vector<std::string> boxes;
        for (const int answer : c.answers)
            pt::onMessageBox([&boxes, answer](const pt::MessageBoxCall& call) {
                boxes.push_back(call.text);
                return answer;
            });
        std::string shown;
        bool enabledForCups = true;
        pt::onDialog(IDD_PRINT, [&](Driver& d) {
            d.chooseCombo(IDC_PRINT_PRINTER, "laser");
            enabledForCups = d.enabled(IDC_PRINT_FILE);
            d.chooseCombo(IDC_PRINT_PRINTER, kPdfPrinterName);
            shown = d.text(IDC_PRINT_FILE);
            if (!c.typed.empty())
                d.setText(IDC_PRINT_FILE, c.typed);
            d.click(IDOK);
            if (!d.ended())
                d.click(IDCANCEL);
        });
        const bool confirmed = PrintDlg(&pd);
        EXPECT_FALSE(enabledForCups) << "the file field serves the PDF printer only";
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(boxes.size(), c.answers.size());
        EXPECT_EQ(fs::exists(home / "nowhere"), false);
        if (c.written.empty()) {
            EXPECT_FALSE(confirmed);
            EXPECT_EQ(readFile((home / "out" / "taken.pdf").string()), "kept");
            continue;
        }
        ASSERT_TRUE(confirmed);
        EXPECT_EQ(namesOf(pd.hDevNames).output, c.written);
        // The printer the device names make writes the file there.
        const Names n = namesOf(pd.hDevNames);
        HDC dc = CreateDC(n.driver.c_str(), n.device.c_str(), n.output.c_str(), nullptr);
        ASSERT_NE(dc, nullptr);
        DOCINFO di;
        di.lpszDocName = "eq";
        ASSERT_GT(StartDoc(dc, &di), 0);
        ASSERT_GT(StartPage(dc), 0);
        ASSERT_GT(EndPage(dc), 0);
        ASSERT_GT(EndDoc(dc), 0);
        DeleteDC(dc);
        EXPECT_EQ(readFile(c.written).rfind("%PDF", 0), 0u) << c.written;
        EXPECT_EQ(readFile((home / "out" / "taken.pdf").string()).rfind("kept", 0) == 0,
                  c.written != h + "/out/taken.pdf");
        if (names)
            GlobalFree(names);
        names = pd.hDevNames;
        GlobalFree(pd.hDevMode);
    }
    if (names)
        GlobalFree(names);
    EXPECT_EQ(readFile((home / "Korvaline.pdf").string()), "kept");
    setenv("HOME", oldHome.c_str(), 1);
}

} // namespace
