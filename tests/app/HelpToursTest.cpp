// The help pages and the tours that show them, with the program's own resources on the headless
// back end; and the notice of features the program offers but does not provide.
#include "Dialogs/HelpTours.h"

#include "App/MenuDispatch.h"
#include "BuiltinResources.h"
#include "Dialogs/DialogFrame.h"
#include "Dialogs/HelpScreens.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/Window.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

class HelpTest : public kvtest::DialogTestFixture {
protected:
    static std::string caption(plat::HWND hwnd) {
        char text[256] = "";
        plat::GetWindowText(hwnd, text, sizeof text);
        return text;
    }
    static plat::RECT placeOf(plat::HWND hwnd) {
        plat::RECT r{};
        plat::GetWindowRect(hwnd, &r);
        return r;
    }
};

// ---- The pages ------------------------------------------------------------------------------

struct PageRow {
    int id;
    const char* caption;
    const char* button; // the default button's text
    int lastText;       // the page's texts run from the id rule's item 4 to this id
};

// The pages' captions, buttons and text ranges as the tutorials are laid out.
constexpr PageRow kPages[] = {
    {4171, "Copy As Translator Help - Screen 1", "Next", 19050},
    {4172, "Copy As Translator Help - Screen 2", "Next", 19307},
    {4173, "Copy As Translator Help - Screen 3", "Next", 19563},
    {4174, "Copy As Translator Help - Screen 4", "Done", 19819},
    {4175, "FontBlock Help - Screen 1", "Next", 20075},
    {4176, "FontBlock Help - Screen 2", "Next", 20331},
    {4177, "FontBlock Help - Screen 3", "Next", 20587},
    {4178, "FontBlock Help - Screen 4", "Next", 20843},
    {4179, "FontBlock Help - Screen 5", "Done", 21098},
    {4180, "Customize Palette Help - Screen 1", "Next", 21355},
    {4181, "Customize Palette Help - Screen 2", "Next", 21614},
    {4182, "Customize Palette Help - Screen 3", "Next", 21870},
    {4183, "Customize Palette Help - Screen 4", "Done", 22122},
    {4184, "Working with MS Word - Screen 1", "Next", 22380},
    {4185, "Working with MS Word - Screen 2", "Next", 22636},
    {4186, "Working with MS Word - Screen 3", "Next", 22889},
    {4187, "Working with MS Word - Screen 4", "Next", 23146},
    {4188, "Working with MS Word - Screen 5", "Done", 23403},
    {4189, "Working with Other Apps - Screen 1", "Next", 23659},
    {4190, "Working with Other Apps - Screen 2", "Next", 23915},
    {4191, "Working with Other Apps - Screen 3", "Done", 24170},
    {4192, "PICT vs Bitmaps - Screen 1", "Next", 24427},
    {4193, "PICT vs Bitmaps - Screen 2", "Next", 24683},
    {4194, "PICT vs Bitmaps - Screen 3", "Next", 24940},
    {4195, "PICT vs Bitmaps - Screen 4", "Done", 25193},
    {4196, "Picture Resolution - Screen 1", "Next", 25451},
    {4197, "Picture Resolution - Screen 2", "Next", 25707},
    {4198, "Picture Resolution - Screen 3", "Next", 25963},
    {4199, "Picture Resolution - Screen 4", "Next", 26219},
    {4200, "Picture Resolution - Screen 5", "Done", 26475},
    {4201, "Working with PostScript - Screen 1", "Next", 26732},
    {4202, "Working with PostScript - Screen 2", "Next", 26986},
    {4203, "Working with PostScript - Screen 3", "Next", 27242},
    {4204, "Working with PostScript - Screen 4", "Next", 27499},
    {4205, "Working with PostScript - Screen 5", "Done", 27755},
    {4206, "Setting a Target Application - Screen 1", "Next", 28012},
    {4207, "Setting a Target Application - Screen 2", "Next", 28267},
    {4208, "Setting a Target Application - Screen 3", "Done", 28524},
    {4209, "Customizing Keystrokes - Screen 1", "Next", 28780},
    {4210, "Customizing Keystrokes - Screen 2", "Next", 29036},
    {4211, "Customizing Keystrokes - Screen 3", "Next", 29293},
    {4212, "Customizing Keystrokes - Screen 4", "Next", 29548},
    {4213, "Customizing Keystrokes - Screen 5", "Done", 29804},
    {4214, "eHelp Blank", "OK", 30056},
};

TEST_F(HelpTest, EveryPageShowsItsOwnTextsAndEndsWithOneOrZero) {
    bool escape = false;
    for (const PageRow& row : kPages) {
        SCOPED_TRACE(row.id);
        const auto launcher = FindDialogLauncher(row.id);
        ASSERT_NE(launcher, nullptr);
        const int first = DialogControlId(row.id, 4);
        bool opened = false;
        pt::onDialog(row.id, [&](DialogDriver& d) {
            opened = true;
            EXPECT_EQ(caption(d.hwnd()), row.caption);
            EXPECT_EQ(d.text(plat::IDOK), row.button);
            EXPECT_EQ(d.text(plat::IDCANCEL), "Annuler");
            // No close box: the caption has no system menu.
            const auto style = plat::GetWindowLongPtr(d.hwnd(), plat::GWL_STYLE);
            EXPECT_EQ(style & plat::WS_SYSMENU, 0);
            EXPECT_TRUE(plat::GetWindowLongPtr(d.hwnd(), plat::GWL_STYLE) & plat::WS_CAPTION);
            // Item 3 is the banner, never a control; the texts fill the rest of the range.
            EXPECT_FALSE(d.exists(DialogControlId(row.id, 3)));
            for (int id = first; id <= row.lastText; ++id) {
                SCOPED_TRACE(id);
                ASSERT_TRUE(d.exists(id));
                EXPECT_FALSE(d.text(id).empty());
            }
            EXPECT_FALSE(d.exists(row.lastText + 1));
            // The pages alternate between the two ways out.
            if (escape)
                d.escape();
            else
                d.enter();
        });
        EXPECT_EQ(launcher(0), escape ? 0 : 1); // a null parameter is accepted
        EXPECT_TRUE(opened);
        EXPECT_EQ(CurrentDialog, nullptr);
        escape = !escape;
    }
}

TEST_F(HelpTest, TheHeadingsAreTheTutorialsOwn) {
    const struct {
        int page;
        const char* heading;
    } headings[] = {
        {4172, "Modifying Current Translators"},
        {4174, "Creating New Translators"},
        {4178, "Customizing FontBlocks"},
        {4181, "Customizing the Palette - Functions"},
        {4187, "Converting MS Equation Editor && MathType Expressions"},
        {4212, "Customizing Keystrokes (Categories continued)"},
    };
    for (const auto& h : headings) {
        SCOPED_TRACE(h.page);
        std::string text;
        pt::onDialog(h.page, [&](DialogDriver& d) {
            text = d.text(DialogControlId(h.page, 4));
            d.enter();
        });
        EXPECT_EQ(FindDialogLauncher(h.page)(0), 1);
        EXPECT_EQ(text, h.heading);
    }
    std::string blank;
    pt::onDialog(4214, [&](DialogDriver& d) {
        blank = d.text(30056);
        d.enter();
    });
    EXPECT_EQ(RunBlankHelpScreenDlg(nullptr), 1);
    EXPECT_EQ(blank, "Left: ");
}

TEST_F(HelpTest, IllustrationButtonsOnlyShowTheirChoice) {
    const struct {
        int page;
        std::vector<std::string> texts;
    } pages[] = {
        {4181, {"Do Nothing.  Thud!", "Insert Symbol/Expression"}},
        {4182, {"Modifier la police", "Do Secondary Command", "Activate Popup"}},
        {4211, {"Do Nothing ... Thud!", "Insert Character/Macro"}},
        {4212, {"Change the Font", "Do Secondary Command"}},
    };
    for (const auto& p : pages) {
        SCOPED_TRACE(p.page);
        const HelpScreenButtons buttons = HelpScreenIllustrationButtons(p.page);
        ASSERT_EQ(buttons.last - buttons.first + 1, static_cast<int>(p.texts.size()));
        for (int run = 0; run < 2; ++run) {
            SCOPED_TRACE(run);
            pt::onDialog(p.page, [&](DialogDriver& d) {
                for (int id = buttons.first; id <= buttons.last; ++id) {
                    EXPECT_EQ(d.text(id), p.texts[static_cast<std::size_t>(id - buttons.first)]);
                    EXPECT_FALSE(d.checked(id)) << "selected when the page opened";
                }
                // Each click selects its button, clears the others and leaves the page open.
                for (int chosen : {buttons.last, buttons.first}) {
                    d.click(chosen);
                    EXPECT_FALSE(d.ended());
                    for (int id = buttons.first; id <= buttons.last; ++id)
                        EXPECT_EQ(d.checked(id), id == chosen) << id;
                }
                d.escape();
            });
            EXPECT_EQ(FindDialogLauncher(p.page)(0), 0);
        }
    }
    EXPECT_EQ(HelpScreenIllustrationButtons(4180).first, 0);
}

TEST_F(HelpTest, TheBannerIsPaintedAcrossTheTop) {
    pt::Image image;
    pt::onDialog(4180, [&](DialogDriver& d) {
        image = pt::pixels(d.hwnd());
        d.enter();
    });
    EXPECT_EQ(RunCustomizePaletteHelpScreen1Dlg(nullptr), 1);
    ASSERT_GT(image.width, 100);
    ASSERT_GT(image.height, 40);
    // The banner's stripes are blue-grey: more blue than red, unlike the grey page below.
    const std::uint32_t band = image.at(20, 10);
    EXPECT_GT(band & 0xFF, (band >> 16) & 0xFF);
    const std::uint32_t below = image.at(2, image.height - 2);
    EXPECT_EQ((below & 0xFF), ((below >> 16) & 0xFF));
}

TEST_F(HelpTest, EachPageReopensWhereThatPageWasLeft) {
    plat::RECT first{}, second{}, moved{};
    pt::onDialog(4185, [&](DialogDriver& d) {
        first = placeOf(d.hwnd());
        d.enter();
    });
    pt::onDialog(4186, [&](DialogDriver& d) {
        second = placeOf(d.hwnd());
        plat::SetWindowPos(d.hwnd(), nullptr, second.left + 37, second.top + 23, 0, 0,
                           plat::SWP_NOSIZE | plat::SWP_NOZORDER);
        moved = placeOf(d.hwnd());
        d.enter();
    });
    pt::onDialog(4187, [&](DialogDriver& d) { d.enter(); });
    pt::onDialog(4188, [&](DialogDriver& d) { d.enter(); });
    pt::onDialog(4184, [&](DialogDriver& d) { d.enter(); });
    EXPECT_EQ(RunWordHelpScreen2Dlg(nullptr), 1);
    EXPECT_EQ(RunWordHelpScreen3Dlg(nullptr), 1);
    EXPECT_EQ(RunWordHelpScreen4Dlg(nullptr), 1);
    EXPECT_EQ(RunWordHelpScreen5Dlg(nullptr), 1);
    EXPECT_EQ(RunWordHelpScreen1Dlg(nullptr), 1);
    ASSERT_NE(moved.left, second.left);

    plat::RECT again2{}, again1{};
    pt::onDialog(4186, [&](DialogDriver& d) {
        again2 = placeOf(d.hwnd());
        d.enter();
    });
    pt::onDialog(4185, [&](DialogDriver& d) {
        again1 = placeOf(d.hwnd());
        d.enter();
    });
    EXPECT_EQ(RunWordHelpScreen3Dlg(nullptr), 1);
    EXPECT_EQ(RunWordHelpScreen2Dlg(nullptr), 1);
    EXPECT_EQ(again2.left, moved.left);
    EXPECT_EQ(again2.top, moved.top);
    // The page before it was not moved and keeps its own place.
    EXPECT_EQ(again1.left, first.left);
    EXPECT_EQ(again1.top, first.top);
}

// ---- The tours ------------------------------------------------------------------------------

struct TourRow {
    const char* name;
    int32_t (*tour)();
    int firstPage;
    int lastPage;
};

constexpr TourRow kTours[] = {
    {"translator", &ShowTranslatorHelpTour, 4171, 4174},
    {"palette", &ShowCustomizePaletteHelpTour, 4180, 4183},
    {"word", &ShowWordHelpTour, 4184, 4188},
    {"other apps", &ShowOtherAppsHelpTour, 4189, 4191},
    {"pict", &ShowPictVsBitmapsHelpTour, 4192, 4195},
    {"resolution", &ShowPictureResolutionHelpTour, 4196, 4200},
    {"postscript", &ShowPostScriptHelpTour, 4201, 4205},
    {"target", &ShowTargetAppHelpTour, 4206, 4208},
    {"keystrokes", &ShowKeystrokesHelpTour, 4209, 4213},
    {"translator help", &ShowTranslatorHelp, 4171, 4174},
    {"palette help", &ShowCustomizePaletteHelp, 4180, 4183},
};

TEST_F(HelpTest, EachTourShowsItsPagesInOrderToDone) {
    for (const TourRow& row : kTours) {
        SCOPED_TRACE(row.name);
        std::vector<int> shown;
        for (int page = row.firstPage; page <= row.lastPage; ++page) {
            pt::onDialog(page, [&shown, page, last = row.lastPage](DialogDriver& d) {
                shown.push_back(page);
                EXPECT_EQ(d.text(plat::IDOK), page == last ? "Done" : "Next");
                d.click(plat::IDOK);
            });
        }
        EXPECT_EQ(row.tour(), 1);
        std::vector<int> expected;
        for (int page = row.firstPage; page <= row.lastPage; ++page)
            expected.push_back(page);
        EXPECT_EQ(shown, expected);
    }
}

TEST_F(HelpTest, CancellingAPageEndsTheTourThere) {
    for (const TourRow& row : kTours) {
        for (int cancelled = row.firstPage; cancelled <= row.lastPage; ++cancelled) {
            SCOPED_TRACE(std::string(row.name) + " " + std::to_string(cancelled));
            int shown = 0;
            // Pages after the cancelled one get no script: one that opened would fail the test.
            for (int page = row.firstPage; page <= cancelled; ++page) {
                pt::onDialog(page, [&shown, page, cancelled](DialogDriver& d) {
                    ++shown;
                    if (page == cancelled)
                        d.click(plat::IDCANCEL);
                    else
                        d.enter();
                });
            }
            EXPECT_EQ(row.tour(), 0);
            EXPECT_EQ(shown, cancelled - row.firstPage + 1);
            EXPECT_EQ(CurrentDialog, nullptr);
        }
    }
}

// Stand-in pages that record what the tour hands them and answer from a script.
std::vector<int32_t> g_answers;
std::vector<HelpScreenParam*> g_records;
std::vector<std::vector<int>> g_recordBytes;

int32_t fakePage(void* param) {
    auto* record = static_cast<HelpScreenParam*>(param);
    g_records.push_back(record);
    g_recordBytes.push_back({record->bytes[0], record->bytes[1]});
    // A page that scribbles on its record must not disturb the next page's.
    record->bytes[0] = 0xAB;
    record->bytes[1] = 0xCD;
    const int32_t answer = g_answers.at(g_records.size() - 1);
    return answer;
}

TEST_F(HelpTest, AnyResultButZeroMovesOnAndEachPageHasItsOwnZeroedRecord) {
    const struct {
        std::vector<int32_t> answers;
        int32_t expected;
        std::size_t shown;
    } cases[] = {
        {{1, 1, 1}, 1, 3},   {{-1, 1, 1}, 1, 3}, // a page that could not be made is passed over
        {{1, 1, -1}, -1, 3},                     // the last page's result, whatever it is
        {{1, 0, 1}, 0, 2},   {{0, 1, 1}, 0, 1},
    };
    const HelpScreenLauncher pages[] = {&fakePage, &fakePage, &fakePage};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.answers));
        g_answers = c.answers;
        g_records.clear();
        g_recordBytes.clear();
        EXPECT_EQ(RunHelpTour(pages, 3), c.expected);
        ASSERT_EQ(g_records.size(), c.shown);
        for (std::size_t i = 0; i < g_records.size(); ++i) {
            EXPECT_EQ(g_recordBytes[i], (std::vector<int>{0, 0})) << i;
            for (std::size_t j = 0; j < i; ++j)
                EXPECT_NE(g_records[i], g_records[j]);
        }
    }
    EXPECT_EQ(RunHelpTour(pages, 0), 0);
}

// ---- The Help menu and the notice -----------------------------------------------------------

TEST_F(HelpTest, TheNoticeIsAnInformationBoxWithTheProgramsText) {
    pt::onMessageBox([](const pt::MessageBoxCall&) { return plat::IDOK; });
    EXPECT_EQ(NotYetImplemented(), plat::IDOK);
    pt::onMessageBox([](const pt::MessageBoxCall&) { return plat::IDOK; });
    EXPECT_EQ(DoMenuCommand(8705), 1);
    ASSERT_EQ(pt::messageBoxes().size(), 2u);
    for (const pt::MessageBoxCall& box : pt::messageBoxes()) {
        EXPECT_EQ(box.text, "This feature has not yet been implemented.");
        EXPECT_EQ(box.caption, "Information");
        EXPECT_EQ(box.type & plat::MB_ICONMASK, plat::MB_ICONINFORMATION);
        EXPECT_EQ(box.type & plat::MB_TYPEMASK, plat::MB_OK);
        EXPECT_EQ(box.type & plat::MB_TASKMODAL, plat::MB_TASKMODAL);
    }
}

TEST_F(HelpTest, HelpItemsStartTheirTours) {
    const struct {
        int item;
        int firstPage;
    } items[] = {
        {8707, 4184}, {8708, 4201}, {8710, 4180}, {8711, 4209}, {8712, 4171}, {1537, 4171},
    };
    for (const auto& item : items) {
        SCOPED_TRACE(item.item);
        bool opened = false;
        pt::onDialog(item.firstPage, [&](DialogDriver& d) {
            opened = true;
            d.escape();
        });
        // The command is handled whatever the tour returns.
        EXPECT_EQ(DoMenuCommand(item.item), 1);
        EXPECT_TRUE(opened);
        EXPECT_FALSE(MenuCommandIsMissing(item.item));
    }
    EXPECT_TRUE(pt::messageBoxes().empty());
}

} // namespace
