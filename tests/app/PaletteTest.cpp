// The palette window in the running program: its buttons insert into the front document, the
// sub-palettes pop up under their button, palette.prf keeps the palettes, and the window neither
// takes the focus nor keeps the program running.

#include "App/FrameWindow.h"
#include "App/MenuDispatch.h"
#include "Dialogs/AboutDialogs.h"
#include "AppDocumentFixture.h"
#include "Dialogs/InsertExpressionDialog.h"
#include "Dialogs/SecondaryCommandDialog.h"
#include "OverPc/PFILE.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"
#include "plat/Dialog.h"
#include "plat/Gdi.h"
#include "support/PixMapPixels.h"
#include "core/gdi/GdiInternal.h"

#include <algorithm>
#include <functional>

namespace pt = plat::testing;

namespace kvtest {
namespace {

// Whether the tree holds a node the predicate accepts.
bool holds(const eExpr* node, const std::function<bool(const eExpr*)>& is) {
    if (node == nullptr)
        return false;
    if (is(node))
        return true;
    for (int32_t i = 0; i < node->childCount(); ++i)
        if (holds(node->getChild(i), is))
            return true;
    return false;
}

template <class Node> bool holdsA(const eExpr* root) {
    return holds(root, [](const eExpr* n) { return dynamic_cast<const Node*>(n) != nullptr; });
}

constexpr int kIdOk = 1;

// A "Pr" record of an empty row 0 of a sub-palette slot.
std::string rowOfSlot(int32_t slot) {
    oOMemoryStream* out = NewOMemoryStream(0);
    WriteRecordTag(*out, "Pr");
    out->putNumber(slot);
    out->putNumber(0);
    EndRecord(*out);
    return out->detachString();
}

class PaletteTest : public AppDocumentFixture {
protected:
    void SetUp() override {
        AppDocumentFixture::SetUp();
        InstallPaletteHooks();
        ResetPalettes();
    }
    // The middle of a main-palette cell block, in the palette window's client coordinates.
    static plat::POINT middleOf(int32_t row, int32_t column, int32_t rows = 2,
                                int32_t columns = 2) {
        const int32_t cell = PaletteCellSize();
        return {column * cell + columns * cell / 2, row * cell + rows * cell / 2};
    }
};

TEST_F(PaletteTest, ButtonsInsertIntoTheFrontDocumentAndSubPalettesPopUpUnderTheirButton) {
    struct Case {
        const char* what;
        plat::POINT press;
        plat::POINT release; // equal to press: a click
        bool (*expected)(const eExpr*);
    };
    const int32_t cell = PaletteCellSize();
    const Case cases[] = {
        {"the fraction button of the second row", middleOf(2, 0), middleOf(2, 0),
         &holdsA<eFraction>},
        {"the subscript button of the second row", middleOf(2, 6), middleOf(2, 6),
         &holdsA<eSSScript>},
        // The fraction sub-palette: its second button (a fraction) lies one button right,
        // just below the main button.
        {"a button of the fraction sub-palette",
         middleOf(0, 0),
         {3 * cell, 3 * cell},
         &holdsA<eFraction>},
        // The scripts sub-palette opens below its button; its second button is the subscript.
        {"a button of the scripts sub-palette",
         middleOf(0, 2),
         {5 * cell, 3 * cell},
         &holdsA<eSSScript>},
        // Released over the main button: the sub-palette's default button runs.
        {"the scripts sub-palette's default button", middleOf(0, 2), middleOf(0, 2),
         &holdsA<eSSScript>},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* document = typed("");
        const plat::HWND palette = openPalette();
        ASSERT_NE(palette, nullptr);
        const plat::HWND focus = plat::GetFocus();
        pt::press(palette, c.press.x, c.press.y);
        pt::move(palette, (c.press.x + c.release.x) / 2, (c.press.y + c.release.y) / 2);
        pt::move(palette, c.release.x, c.release.y);
        pt::release(palette, c.release.x, c.release.y);
        pt::runUntilIdle();
        EXPECT_TRUE(c.expected(document->expression()))
            << "children " << document->expression()->childCount() << " changed "
            << document->changed();
        // The document stays in front: the palette never takes the focus.
        EXPECT_EQ(plat::GetFocus(), focus);
        EXPECT_EQ(ActivePane, document);
        // Each case in a new document: closing the last one would end the program, as the
        // palette window keeps nothing open.
    }
}

// After a modal dialog gives activation back to the frame, the palette over the frame still
// answers: its buttons insert and its sub-palettes open.
// A screen of 120 dpi across and 72 down has drawing units of 2 and 1, which average (rounding
// up) to 2: palette cells twice as large as on a 96-dpi screen.
TEST_F(PaletteTest, CellsFollowTheDrawingUnitOfBothAxes) {
    const int32_t normal = PaletteCellSize();
    plat::HDC display = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    plat::core::SetDeviceCapsOverride(plat::HORZSIZE, 406); // 1920 pixels: 120 dpi
    plat::core::SetDeviceCapsOverride(plat::VERTSIZE, 381); // 1080 pixels: 72 dpi
    InitScreenCaps(display);
    const int32_t wide = PaletteCellSize();
    plat::core::ClearDeviceCapsOverrides();
    InitScreenCaps(display);
    plat::DeleteDC(display);
    EXPECT_EQ(wide, 2 * normal);
    EXPECT_EQ(PaletteCellSize(), normal);
}

TEST_F(PaletteTest, ThePaletteAnswersClicksAfterADialogCloses) {
    ExprFilePane* document = typed("");
    const plat::HWND palette = openPalette();
    ASSERT_NE(palette, nullptr);
    pt::onDialog(kAboutDialogId, [](pt::DialogDriver& d) { d.click(plat::IDOK); });
    ShowAboutBox();
    pt::runUntilIdle();
    const plat::POINT fraction = middleOf(2, 0);
    pt::click(palette, fraction.x, fraction.y);
    pt::runUntilIdle();
    EXPECT_TRUE(holdsA<eFraction>(document->expression()));
    // The scripts sub-palette still opens and its subscript button inserts.
    const int32_t cell = PaletteCellSize();
    const plat::POINT scripts = middleOf(0, 2);
    pt::press(palette, scripts.x, scripts.y);
    pt::move(palette, 5 * cell, 3 * cell);
    pt::release(palette, 5 * cell, 3 * cell);
    pt::runUntilIdle();
    EXPECT_TRUE(holdsA<eSSScript>(document->expression()));
}

TEST_F(PaletteTest, EveryBuiltInButtonRunsACommandTheProgramKnows) {
    std::vector<int32_t> codes;
    auto collect = [&](const PaletteRecord& palette) {
        for (const PaletteBlock& block : PaletteBlocks(palette))
            if ((block.code & 0xFF00) != 0x6800 && (block.code < 0x6100 || block.code > 0x64FF))
                codes.push_back(block.code);
    };
    collect(MainPalette());
    for (int32_t slot = 0; slot < 16; ++slot) {
        ASSERT_TRUE(SubPalette(slot)) << slot;
        collect(*SubPalette(slot));
    }
    for (int32_t code : codes) {
        SCOPED_TRACE(code);
        ExprFilePane* document = typed("");
        const int32_t beeps = CommandBeepCount();
        DoCommand(code, 0);
        pt::runUntilIdle();
        EXPECT_EQ(CommandBeepCount(), beeps) << std::hex << code;
        EXPECT_TRUE(document->changed() || (code & 0xFF00) == 0x6700) << std::hex << code;
    }
}

TEST_F(PaletteTest, PalettePrefsKeepThePalettesAndADamagedFileKeepsTheBuiltInOnes) {
    const std::string folder = m_dir / "prefs";
    // A changed palette: a wide button in the main palette, a sub-palette moved to a free slot.
    MainPalette().setBlock(2, 0, 2, 4, 0x4177);
    MainPalette().defaultRow = 2;
    SubPalette(40) = BuiltInSubPalette(3);
    SubPalette(3).reset();
    const PaletteRecord changedMain = MainPalette();
    const PaletteRecord changedSub = *SubPalette(40);
    ASSERT_TRUE(SavePalettePrefs(folder, false));
    LoadPalettePrefs(folder);
    EXPECT_EQ(MainPalette(), changedMain);
    ASSERT_TRUE(SubPalette(40));
    EXPECT_EQ(*SubPalette(40), changedSub);
    EXPECT_FALSE(SubPalette(3));
    PaletteBlock wide;
    ASSERT_TRUE(FindPaletteBlock(MainPalette(), 3, 3, wide));
    EXPECT_EQ(wide.code, 0x4177);
    EXPECT_EQ(wide.columns, 4);

    const std::string good = ReadFileBytes(folder + "/palette.prf");
    struct Damage {
        const char* what;
        std::string text;
    };
    const Damage damages[] = {
        {"a row cut short", good.substr(0, good.find("Pr") + 8) + "\r\n"},
        {"no version", good.substr(good.find('\n') + 1)},
        {"a row of a palette that does not exist", good + rowOfSlot(77)},
        {"bytes that are no palette file", std::string("\x01\xFF garbage\r\n", 12)},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        WriteFileBytes(folder + "/palette.prf", d.text);
        MainPalette() = changedMain;
        std::string shown;
        pt::onMessageBox([&shown](const pt::MessageBoxCall& box) {
            shown = box.text;
            return kIdOk;
        });
        LoadPalettePrefs(folder);
        EXPECT_NE(shown.find("palette.prf"), std::string::npos) << shown;
        EXPECT_NE(shown.find("endommag"), std::string::npos) << shown;
        EXPECT_EQ(MainPalette(), BuiltInMainPalette());
        EXPECT_TRUE(SubPalette(3));
        // The damaged file is left for the user to look at.
        EXPECT_EQ(ReadFileBytes(folder + "/palette.prf"), d.text);
    }
}

TEST_F(PaletteTest, ThePaletteWindowNeitherCountsAsADocumentNorOutlivesTheMenuItem) {
    typed("x");
    const plat::HWND palette = openPalette();
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(CountOwnWindows(), 1);
    // The Windows menu item closes it and it is not wanted at the next start.
    TogglePaletteWindowCommand();
    pt::runUntilIdle();
    EXPECT_EQ(ThePalettePane(), nullptr);
    EXPECT_FALSE(PaletteWindowWanted());
    TogglePaletteWindowCommand();
    pt::runUntilIdle();
    ASSERT_NE(ThePalettePane(), nullptr);
    // Closed by its frame: not wanted either.
    pt::closeRequest(HandleOfWindow(ThePalettePane()->windowHandle()));
    pt::runUntilIdle();
    EXPECT_EQ(ThePalettePane(), nullptr);
    EXPECT_FALSE(PaletteWindowWanted());
    // With the palette open, closing the last document ends the program.
    ASSERT_NE(openPalette(), nullptr);
    closeDocuments();
    pt::advanceClock(500);
    pt::runUntilIdle();
    plat::MSG quit;
    EXPECT_TRUE(plat::PeekMessage(&quit, nullptr, plat::WM_QUIT, plat::WM_QUIT, plat::PM_NOREMOVE));
}

// The kept place is relative to the frame's work area: the palette opens below the frame's menu
// bar wherever the frame is, and a moved palette is kept where it was put.
TEST_F(PaletteTest, ThePaletteOpensOverTheFramesWorkAreaAndKeepsItsPlace) {
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    plat::MoveWindow(frame, 200, 150, 900, 700, plat::TRUE);
    SetGeneralPrefValue("Pw", 1, 8);
    SetGeneralPrefValue("Pw", 2, 8);
    const plat::HWND palette = openPalette();
    ASSERT_NE(palette, nullptr);
    plat::POINT client{0, 0};
    plat::ClientToScreen(frame, &client);
    plat::RECT outer;
    plat::GetWindowRect(palette, &outer);
    EXPECT_EQ(outer.left, client.x + 8);
    EXPECT_EQ(outer.top, client.y + 8);
    plat::MoveWindow(palette, client.x + 40, client.y + 60, outer.right - outer.left,
                     outer.bottom - outer.top, plat::TRUE);
    TogglePaletteWindowCommand(); // closes it, keeping the place
    EXPECT_EQ(GeneralPrefValue("Pw", 1), 40);
    EXPECT_EQ(GeneralPrefValue("Pw", 2), 60);
}

// The buttons' picture is made once and kept between paints; what changes a button's look (a view
// toggle, the palette itself, the typing style) shows at once.
TEST_F(PaletteTest, ThePalettePictureIsKeptAndShowsEveryChange) {
    ExprFilePane* document = typed("x");
    const plat::HWND palette = openPalette();
    ASSERT_NE(palette, nullptr);
    PalettePane* pane = ThePalettePane();
    const int32_t cell = PaletteCellSize();
    // The pixels of a standard button of the main palette, as the window shows them.
    auto buttonPixels = [&](int32_t row, int32_t column, int32_t columns = 2) {
        pt::runUntilIdle();
        std::vector<plat::COLORREF> pixels;
        const plat::HDC dc = plat::GetDC(palette);
        for (int32_t y = row * cell; y < (row + 2) * cell; ++y)
            for (int32_t x = column * cell; x < (column + columns) * cell; ++x)
                pixels.push_back(plat::GetPixel(dc, x, y));
        plat::ReleaseDC(palette, dc);
        return pixels;
    };
    const auto fraction = buttonPixels(2, 0);
    EXPECT_TRUE(pane->hasImage());
    // A paint of its own draws the kept picture again.
    pane->invalidate(nullptr);
    EXPECT_EQ(buttonPixels(2, 0), fraction);
    EXPECT_TRUE(pane->hasImage());

    struct Change {
        const char* what;
        int32_t row, column, columns;
        std::function<void()> act;
    };
    const Change changes[] = {
        {"a view toggle turned on", 2, 22, 2,
         [] {
             const uint8_t modes[4] = {1, 0, 0, 0};
             SetViewModes(modes);
         }},
        {"a button given another command", 2, 0, 2,
         [] {
             MainPalette().setBlock(2, 0, 2, 2, 0x4177);
             ReleasePaletteImage();
         }},
        {"the typing style of the selection", 2, 18, 4,
         [] {
             // The whole expression in the symbol style.
             DoCommand(kCmdSelectAll, 0);
             DoCommand(kCmdStyleBase + 1, 0);
         }},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        const auto before = buttonPixels(c.row, c.column, c.columns);
        c.act();
        EXPECT_NE(buttonPixels(c.row, c.column, c.columns), before);
        EXPECT_TRUE(pane->hasImage());
    }
    EXPECT_NE(document, nullptr);
    // A palette grown by a row of buttons: the window grows with it and shows the new button.
    PaletteRecord grown = MainPalette();
    grown.rows += 2;
    grown.cells.resize(static_cast<size_t>(grown.rows * grown.columns));
    grown.setBlock(4, 0, 2, 2, 0x4111);
    MainPalette() = grown;
    ReleasePaletteImage();
    plat::RECT client;
    plat::GetClientRect(palette, &client);
    EXPECT_EQ(client.bottom, PalettePane::paneSize(grown, cell).y);
    // The new fence button looks like the one of the second row.
    EXPECT_EQ(buttonPixels(4, 0), buttonPixels(2, 8));
}

// Each cell of the Insert Expression grid shows something (its bitmap, the node it inserts, or
// for the invisible spaces their text), and nothing outside the cell; drawn over a button's face,
// no picture brings a white square of its own.
TEST_F(PaletteTest, EveryInsertCellDrawsItsPictureInsideItsCell) {
    constexpr int kSide = 16, kAround = 8;
    constexpr Color kFace{236, 236, 236, 255};
    constexpr plat::COLORREF kFacePixel = 0xECECEC;
    for (const InsertCatalogRow& row : InsertCommandCatalog()) {
        SCOPED_TRACE(row.label);
        std::unique_ptr<oPixMap> map = WhitePixMap(kSide + 2 * kAround, kSide + 2 * kAround);
        map->setColors(&kColorBlack, &kFace);
        map->paintZone(Zone{0, 0, kSide + 2 * kAround, kSide + 2 * kAround, 0, 0}, kFace);
        const Zone cell{kAround, kAround, kAround + kSide, kAround + kSide, 0, 0};
        DrawCommandPicture(*map, cell, row.code);
        int inside = 0, outside = 0, white = 0;
        for (int y = 0; y < kSide + 2 * kAround; ++y)
            for (int x = 0; x < kSide + 2 * kAround; ++x) {
                const plat::COLORREF pixel = PixelOf(*map, x, y);
                white += pixel == 0xFFFFFF ? 1 : 0;
                if (pixel != kFacePixel)
                    ++(ZoneContainsPoint(cell, oPoint{x, y}) ? inside : outside);
            }
        EXPECT_GT(inside, 0);
        EXPECT_EQ(outside, 0);
        EXPECT_EQ(white, 0);
    }
}

TEST_F(PaletteTest, TheInsertCatalogPicturesAreResourceBitmaps) {
    // The grid offers the insertions of the first eight sub-palettes, a full 8 × 9 cells.
    std::vector<int32_t> offered;
    for (int32_t slot = 0; slot < 8; ++slot)
        for (const PaletteBlock& block : PaletteBlocks(*SubPalette(slot)))
            offered.push_back(block.code);
    EXPECT_EQ(InsertCommandCatalog().size(), 72u);
    for (const InsertCatalogRow& row : InsertCommandCatalog())
        EXPECT_NE(std::count(offered.begin(), offered.end(), row.code), 0) << std::hex << row.code;
    const std::vector<int32_t> ids = InsertCatalogBitmapIds();
    ASSERT_FALSE(ids.empty());
    for (int32_t id : ids) {
        plat::HBITMAP bitmap = plat::LoadBitmap(CQVApp::instance().m_hResources,
                                                plat::MAKEINTRESOURCE(static_cast<plat::WORD>(id)));
        EXPECT_NE(bitmap, nullptr) << id;
        if (bitmap != nullptr)
            plat::DeleteObject(bitmap);
    }
}

// Quitter, or the window manager's close button on the frame, answered Annuler at the save
// question of a changed document, leaves everything as it was: the documents and the palette.
TEST_F(PaletteTest, ACancelledQuitLeavesTheDocumentsAndThePalette) {
    const struct {
        const char* what;
        void (*close)();
    } cases[] = {
        {"Fichier > Quitter", [] { DoMenuCommand(269); }},
        {"the close button",
         [] { plat::SendMessage(CQVApp::instance().m_MainFrame, plat::WM_CLOSE, 0, 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* document = typed("a");
        const plat::HWND palette = openPalette();
        ASSERT_NE(palette, nullptr);
        const int32_t count = OpenDocumentCount();
        int asked = 0;
        pt::onMessageBox([&](const pt::MessageBoxCall&) {
            ++asked;
            return plat::IDCANCEL;
        });
        c.close();
        pt::runUntilIdle();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(OpenDocumentCount(), count);
        EXPECT_TRUE(document->changed());
        ASSERT_NE(ThePalettePane(), nullptr);
        EXPECT_EQ(HandleOfWindow(ThePalettePane()->windowHandle()), palette);
        EXPECT_TRUE(plat::IsWindowVisible(palette));
        EXPECT_TRUE(PaletteWindowWanted());
        // The palette still answers: its fraction button inserts into the document.
        document->takeFocus();
        pt::runUntilIdle();
        pt::advanceClock(2000);
        pt::click(palette, PaletteCellSize(), 3 * PaletteCellSize());
        pt::runUntilIdle();
        EXPECT_TRUE(holdsA<eFraction>(document->expression()));
        document->setChanged(false);
    }
}

} // namespace
} // namespace kvtest
