// The dialog-item operations, the placement rule and the menu services of the shell, on the
// sample dialog and menus of the dialog-frame tests.
#include "OverPc/shell/DialogItems.h"

#include "BuiltinResources.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/PMENU.h"
#include "OverPc/shell/Pwindow.h"
#include "plat/Controls.h"
#include "plat/Dialog.h"
#include "plat/Menu.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/Window.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

const plat::ResourceTables& DlgFrameTestResourceTables();

namespace {

using plat::testing::DialogDriver;

constexpr int kDlg = 4250;
constexpr int kName = 39269;
constexpr int kSmall = 39270;
constexpr int kLarge = 39272;
constexpr int kBold = 39273;
constexpr int kChoice = 39274;

// A bare procedure: makes the dialog current and closes on OK and Cancel.
plat::INT_PTR bareProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam, plat::LPARAM) {
    if (message == plat::WM_INITDIALOG) {
        CurrentDialog = dialog;
        return plat::TRUE;
    }
    if (message == plat::WM_MEASUREITEM)
        return plat::TRUE;
    if (message == plat::WM_COMMAND &&
        (plat::LOWORD(wParam) == plat::IDOK || plat::LOWORD(wParam) == plat::IDCANCEL)) {
        CurrentDialog = nullptr;
        plat::EndDialog(dialog, plat::LOWORD(wParam));
        return plat::TRUE;
    }
    return plat::FALSE;
}

class DialogItemsTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::testing::reset();
        plat::RegisterBuiltinResources(DlgFrameTestResourceTables());
        ForgetPopupMenus();
        ForgetAdHocMenuItems();
        CurrentDialog = nullptr;
    }
    void TearDown() override {
        EXPECT_EQ(0, plat::testing::pendingDialogScripts());
        if (CQVApp::instance().m_MenuBar) {
            plat::DestroyMenu(CQVApp::instance().m_MenuBar);
            CQVApp::instance().m_MenuBar = nullptr;
        }
        ForgetAdHocMenuItems();
        plat::testing::reset();
        ForgetPopupMenus();
        plat::RegisterBuiltinResources(BuiltinResourceTables());
    }
    void withDialog(std::function<void(DialogDriver&)> script) {
        plat::testing::onDialog(kDlg, [&](DialogDriver& d) {
            script(d);
            d.escape();
        });
        RunModalDialog(kDlg, &bareProc);
    }
};

TEST(ParseItemInt, ReadsSignedDecimalLikeTheDialogs) {
    struct Case {
        const char* text;
        int32_t value;
        bool ok;
    };
    const Case cases[] = {
        {"42", 42, true},
        {"  -17", -17, true},
        {"\t+8", 8, true},
        {"12abc", 12, true},
        {"abc", 0, false},
        {"", 0, false},
        {"-", 0, false},
        {" - 5", 0, false},
        {"2147483647", INT32_MAX, true},
        {"-2147483648", INT32_MIN, true},
        {"2147483648", INT32_MAX, false},
        {"-99999999999999999999", INT32_MIN, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        bool ok = !c.ok;
        EXPECT_EQ(c.value, ParseItemInt(c.text, &ok));
        EXPECT_EQ(c.ok, ok);
    }
}

TEST_F(DialogItemsTest, ItemOperationsActOnTheCurrentDialog) {
    withDialog([](DialogDriver& d) {
        SetItemText(kName, "  -25 pommes");
        EXPECT_EQ("  -25 pommes", d.text(kName));
        const char* text = GetItemText(kName);
        // Reading a number leaves the shared text buffer as it was.
        bool ok = false;
        EXPECT_EQ(-25, GetItemInt(kName, &ok));
        EXPECT_TRUE(ok);
        EXPECT_STREQ("  -25 pommes", text);

        SetItemInt(kName, -123);
        EXPECT_EQ("-123", d.text(kName));

        SetCheck(kBold, true);
        EXPECT_TRUE(IsChecked(kBold));
        ToggleCheck(kBold);
        EXPECT_FALSE(d.checked(kBold));

        EnableItem(kName, false);
        EXPECT_FALSE(d.enabled(kName));
        SetItemEnabled(kName, true);
        EXPECT_TRUE(d.enabled(kName));

        SetRadioGroup(kSmall, kLarge, 1);
        EXPECT_EQ(1, GetRadioIndex(kSmall, kLarge));
        CheckRadioInRange(kSmall, kLarge, kLarge);
        EXPECT_EQ(2, GetRadioIndex(kSmall, kLarge));
        // An id outside the group changes nothing.
        CheckRadioInRange(kSmall, kLarge, kBold);
        EXPECT_EQ(2, GetRadioIndex(kSmall, kLarge));
        EXPECT_FALSE(d.checked(kBold));
        EXPECT_EQ(-1, GetRadioIndex(kLarge, kSmall));
        SetRadioGroup(kSmall, kLarge, 3);
        EXPECT_EQ(-1, GetRadioIndex(kSmall, kLarge));
        EXPECT_FALSE(d.checked(kBold));
    });
}

TEST_F(DialogItemsTest, EditSelectionIsClampedAndNegativeMeansNothing) {
    withDialog([](DialogDriver& d) {
        SetItemText(kName, "abcdef");
        auto selection = [&] {
            plat::DWORD start = 0, end = 0;
            plat::SendMessage(d.item(kName), plat::EM_GETSEL,
                              reinterpret_cast<plat::WPARAM>(&start),
                              reinterpret_cast<plat::LPARAM>(&end));
            return std::pair<int, int>(static_cast<int>(start), static_cast<int>(end));
        };
        SetEditSelection(kName, 1, 3);
        EXPECT_EQ(std::make_pair(1, 3), selection());
        SetEditSelection(kName, 2, 300);
        EXPECT_EQ(std::make_pair(2, 6), selection());
        SetEditSelection(kName, -1, 4);
        EXPECT_EQ(std::make_pair(2, 6), selection());
        SetEditSelection(kName, 0, -1);
        EXPECT_EQ(std::make_pair(2, 6), selection());
    });
}

TEST_F(DialogItemsTest, OperationsWithoutADialogDoNothing) {
    CurrentDialog = nullptr;
    SetItemText(kName, "x");
    EXPECT_STREQ("", GetItemText(kName));
    EXPECT_EQ(-1, GetRadioIndex(kSmall, kLarge));
    EXPECT_FALSE(IsChecked(kBold));
    EXPECT_EQ(-1, MenuPositionFromChoice(kChoice, GetPopupMenu(53)));
    char field[4] = {'a', 'b', 'c', 'd'};
    CopyItemTextToField(kName, field, 3);
    EXPECT_EQ('\0', field[0]);
    EXPECT_EQ('d', field[3]);
}

TEST_F(DialogItemsTest, PlaceDialogCentresOnceAndKeepsCornersOnScreen) {
    withDialog([](DialogDriver& d) {
        plat::RECT r{};
        plat::GetWindowRect(d.hwnd(), &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        struct Case {
            DialogPosition entry;
            DialogPosition placed;
        };
        const int cx = (plat::GetSystemMetrics(plat::SM_CXFULLSCREEN) - w) / 2;
        const int cy = (plat::GetSystemMetrics(plat::SM_CYFULLSCREEN) - h) / 2;
        const Case cases[] = {
            {{-1, -1}, {cx, cy}}, {{40, 50}, {40, 50}}, {{-30, 50}, {1, 50}},
            {{40, -2}, {40, 1}},  {{-1, 7}, {1, 7}},    {{0, 0}, {0, 0}},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(c.entry.left) + "," + std::to_string(c.entry.top));
            DialogPosition entry = c.entry;
            PlaceDialog(d.hwnd(), entry);
            EXPECT_EQ(c.placed.left, entry.left);
            EXPECT_EQ(c.placed.top, entry.top);
            plat::GetWindowRect(d.hwnd(), &r);
            EXPECT_EQ(c.placed.left, r.left);
            EXPECT_EQ(c.placed.top, r.top);
            EXPECT_EQ(w, r.right - r.left);
        }
    });
    EXPECT_EQ(nullptr, DialogPositionEntry(4097));
    EXPECT_EQ(nullptr, DialogPositionEntry(4258));
    EXPECT_EQ(&DialogPositionTable[159], DialogPositionEntry(4257));
}

TEST_F(DialogItemsTest, RunnerClearsTheDoubleClickFlagAndInitFlagAroundARun) {
    DoubleClickFlag = 1;
    DialogInitDone = 1;
    int32_t initDoneInside = -1;
    uint8_t flagInside = 1;
    plat::testing::onDialog(kDlg, [&](DialogDriver& d) {
        initDoneInside = DialogInitDone;
        flagInside = DoubleClickFlag;
        DoubleClickFlag = 1;
        EXPECT_EQ(-1, DialogResult);
        d.enter();
    });
    EXPECT_EQ(1, RunModalDialog(kDlg, &bareProc));
    EXPECT_EQ(0, initDoneInside);
    EXPECT_EQ(0, flagInside);
    EXPECT_EQ(0, DoubleClickFlag);
}

TEST_F(DialogItemsTest, RunnerDisablesOtherWidgetWindowsOnlyDuringTheRun) {
    plat::HWND frame = plat::CreateWindowEx(0, "STATIC", "Cadre", plat::WS_POPUP | plat::WS_VISIBLE,
                                            0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    plat::HWND greyed =
        plat::CreateWindowEx(0, "STATIC", "Outil", plat::WS_POPUP | plat::WS_VISIBLE, 0, 0, 50, 50,
                             nullptr, nullptr, nullptr, nullptr);
    plat::HWND live = plat::CreateWindowEx(0, "STATIC", "Doc", plat::WS_POPUP | plat::WS_VISIBLE, 0,
                                           0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    RegisterWidgetWindow(greyed);
    RegisterWidgetWindow(live);
    plat::EnableWindow(greyed, plat::FALSE);
    CQVApp::instance().m_MainFrame = frame;
    bool liveEnabledInside = true;
    plat::HWND ownerInside = nullptr;
    plat::testing::onDialog(kDlg, [&](DialogDriver& d) {
        liveEnabledInside = plat::IsWindowEnabled(live) != plat::FALSE;
        ownerInside = plat::GetWindow(d.hwnd(), plat::GW_OWNER);
        d.escape();
    });
    RunModalDialog(kDlg, &bareProc);
    CQVApp::instance().m_MainFrame = nullptr;
    UnregisterWidgetWindow(greyed);
    UnregisterWidgetWindow(live);
    EXPECT_FALSE(liveEnabledInside);
    EXPECT_EQ(frame, ownerInside);
    EXPECT_TRUE(plat::IsWindowEnabled(live));
    EXPECT_FALSE(plat::IsWindowEnabled(greyed)); // greyed before the run, greyed after it
}

// --- Menus --------------------------------------------------------------------------------------

TEST_F(DialogItemsTest, PopupMenusAreLoadedOnceAndKept) {
    plat::HMENU first = GetPopupMenu(53);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, GetPopupMenu(53));
    EXPECT_EQ(5, plat::GetMenuItemCount(first));
    EXPECT_EQ(nullptr, GetPopupMenu(77));
    // A command greyed before its popup is loaded is greyed in it.
    ForgetPopupMenus();
    EnableMenuCommand(53 * 256 + 4, false);
    plat::HMENU again = GetPopupMenu(53);
    EXPECT_NE(0u, plat::GetMenuState(again, 53 * 256 + 4, plat::MF_BYCOMMAND) & plat::MF_GRAYED);
    EnableMenuCommand(53 * 256 + 4, true);
    EXPECT_EQ(0u, plat::GetMenuState(again, 53 * 256 + 4, plat::MF_BYCOMMAND) & plat::MF_GRAYED);
}

TEST_F(DialogItemsTest, MenuPositionOfAComboChoiceCountsTheSeparators) {
    withDialog([](DialogDriver& d) {
        plat::HMENU menu = GetPopupMenu(53);
        for (int i : {0, 1, 3, 4})
            plat::SendDlgItemMessage(d.hwnd(), kChoice, plat::CB_ADDSTRING, 0, i);
        EXPECT_EQ(-1, MenuPositionFromChoice(kChoice, menu));
        const int expected[] = {0, 1, 3, 4};
        for (int entry = 0; entry < 4; ++entry) {
            plat::SendDlgItemMessage(d.hwnd(), kChoice, plat::CB_SETCURSEL, entry, 0);
            EXPECT_EQ(expected[entry], MenuPositionFromChoice(kChoice, menu)) << entry;
        }
    });
}

std::vector<std::intptr_t> g_adHocRuns;
void recordAdHoc(std::intptr_t argument) {
    g_adHocRuns.push_back(argument);
}

TEST_F(DialogItemsTest, AdHocItemsTakeTheNextFreeIdAndRunTheirCallback) {
    g_adHocRuns.clear();
    CQVApp::instance().m_MenuBar = plat::LoadMenu(nullptr, plat::MAKEINTRESOURCE(128));
    ASSERT_NE(nullptr, CQVApp::instance().m_MenuBar);
    plat::HMENU windows = MenuOfNumber(33);
    ASSERT_NE(nullptr, windows);
    EXPECT_EQ(0, AddAdHocMenuItem(33, 0, "", &recordAdHoc, 1));
    EXPECT_EQ(0, AddAdHocMenuItem(99, 0, "x", &recordAdHoc, 1));
    const int first = AddAdHocMenuItem(33, 7, "R&D.kvx", &recordAdHoc, 11);
    const int second = AddAdHocMenuItem(33, 7, "Sans titre", &recordAdHoc, 12);
    EXPECT_EQ(33 * 256 + 3, first);
    EXPECT_EQ(33 * 256 + 4, second);
    char text[64];
    plat::GetMenuString(windows, static_cast<plat::UINT>(first), text, sizeof text,
                        plat::MF_BYCOMMAND);
    EXPECT_STREQ("R&&D.kvx", text); // shown as typed, not as a mnemonic

    EXPECT_TRUE(RunAdHocMenuItem(second));
    EXPECT_FALSE(RunAdHocMenuItem(33 * 256 + 1));
    EXPECT_EQ(std::vector<std::intptr_t>{12}, g_adHocRuns);

    CheckAdHocMenuItem(33, &recordAdHoc, 12, true);
    EXPECT_NE(0u, plat::GetMenuState(windows, static_cast<plat::UINT>(second), plat::MF_BYCOMMAND) &
                      plat::MF_CHECKED);

    RemoveAdHocMenuItem(33, 11);
    EXPECT_FALSE(RunAdHocMenuItem(first));
    EXPECT_EQ(static_cast<plat::UINT>(-1),
              plat::GetMenuState(windows, static_cast<plat::UINT>(first), plat::MF_BYCOMMAND));
    // The highest id is still in use: the next item goes above it.
    EXPECT_EQ(33 * 256 + 5, AddAdHocMenuItem(33, 0, "Trois", &recordAdHoc, 13));
}

TEST_F(DialogItemsTest, ContextMenuReportsNoneTheSameOrANewChoice) {
    plat::HWND owner = plat::CreateWindowEx(0, "STATIC", "Volet", plat::WS_POPUP | plat::WS_VISIBLE,
                                            0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    // Without a pane the menu belongs to the modal owner (here the main frame).
    CQVApp::instance().m_MainFrame = owner;
    struct Case {
        int choose; // 0: cancel
        int result;
        int chosen;
    };
    for (const Case c : {Case{0, 0, 13569}, Case{13569, 1, 13569}, Case{13572, 2, 13572}}) {
        SCOPED_TRACE(c.choose);
        PopupChoice choice;
        SetMenuChoice(choice, 53, 13569);
        EXPECT_EQ(13569, choice.currentItem);
        plat::testing::onMenu([&](plat::testing::MenuDriver& m) {
            if (c.choose)
                EXPECT_TRUE(m.choose(static_cast<plat::UINT>(c.choose)));
            else
                m.cancel();
        });
        // Without a pane the point is taken in screen coordinates.
        const int result = TrackContextMenu(choice, oPoint{20, 30}, nullptr, 0, 0, 0);
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.chosen, choice.chosenItem);
    }
    CQVApp::instance().m_MainFrame = nullptr;
    plat::DestroyWindow(owner);
}

TEST_F(DialogItemsTest, DialogBitmapIsPlacedInDialogUnitsCopiedOrOverWhite) {
    withDialog([](DialogDriver& d) {
        const plat::LONG base = plat::GetDialogBaseUnits();
        auto px = [&](int units) { return units * plat::LOWORD(base) / 4; };
        auto py = [&](int units) { return units * plat::HIWORD(base) / 8; };
        // The bitmap: 10 x 6 pixels, the left half black, the right half white; drawn in the
        // free area at the dialog's top right.
        plat::HDC dc = plat::GetDC(d.hwnd());
        EXPECT_FALSE(DrawDialogBitmap(d.hwnd(), dc, 19001, 160, 4, 0));
        EXPECT_TRUE(DrawDialogBitmap(d.hwnd(), dc, 19000, 160, 4, 0));
        EXPECT_TRUE(
            DrawDialogBitmap(d.hwnd(), dc, 19000, 200, 4, kBitmapTransparent | kBitmapFramed));
        plat::ReleaseDC(d.hwnd(), dc);
        const auto image = plat::testing::pixels(d.hwnd());

        const int x = px(160), y = py(4);
        const std::uint32_t background = image.at(x - 4, y + 2);
        EXPECT_EQ(0x000000u, image.at(x + 1, y + 1));
        EXPECT_EQ(0xFFFFFFu, image.at(x + 7, y + 1));
        EXPECT_EQ(background, image.at(x - 1, y - 1)); // no frame
        EXPECT_EQ(background, image.at(x + 10, y + 3));

        const int fx = px(200), fy = py(4);
        EXPECT_EQ(0x000000u, image.at(fx + 1, fy + 1));
        EXPECT_EQ(background, image.at(fx + 7, fy + 1)); // white lets the dialog through
        EXPECT_EQ(0x000000u, image.at(fx - 1, fy - 1));  // the frame around it
        EXPECT_EQ(0x000000u, image.at(fx + 10, fy + 3));
        EXPECT_EQ(0x000000u, image.at(fx + 4, fy + 6));
    });
}

} // namespace
