#include "plat/Menu.h"

#include "BuiltinResources.h"
#include "core/menu/MenuInternal.h"
#include "plat/Font.h"
#include "plat/Resources.h"
#include "platform/WinFixture.h"
#include "support/FontPin.h"

#include <cstring>
#include <gtest/gtest-spi.h>
#include <string>
#include <vector>

const plat::ResourceTables& MenuTestResourceTables();

namespace {

using namespace kvtest;
namespace pt = plat::testing;
using plat::HMENU;
using plat::HWND;
using plat::UINT;

// The test menus (resources/menus/MenuTest.menu): bar 210 and context menu 211.
constexpr UINT kNouveau = 257, kOuvrir = 258, kQuitter = 261, kPremier = 2305, kSecond = 2306;
constexpr UINT kAnnuler = 513, kCouper = 514, kCopier = 515, kPalette = 769;
constexpr UINT kCtxAnnuler = 54017, kCtxCopier = 54019, kCtxTeX = 54021, kCtxColler = 54024;

class MenuTest : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        plat::RegisterBuiltinResources(MenuTestResourceTables());
    }
    void TearDown() override {
        plat::RegisterBuiltinResources(BuiltinResourceTables());
        WinTest::TearDown();
    }

    HMENU loadBar() { return plat::LoadMenu(nullptr, plat::MAKEINTRESOURCE(210)); }
    HMENU loadContext() {
        return plat::GetSubMenu(plat::LoadMenu(nullptr, plat::MAKEINTRESOURCE(211)), 0);
    }
    // A frame with the test bar; its client area is 200 x 150 before the bar takes its rows.
    HWND frame(HMENU* barOut = nullptr) {
        HWND f = top("Main");
        HMENU bar = loadBar();
        EXPECT_TRUE(plat::SetMenu(f, bar));
        if (barOut)
            *barOut = bar;
        run();
        s_received.clear();
        return f;
    }
    std::vector<UINT> commands(HWND hwnd) const {
        std::vector<UINT> ids;
        for (const Received& r : gotBy(hwnd, plat::WM_COMMAND)) {
            EXPECT_EQ(0, plat::HIWORD(r.wParam)) << "a menu choice carries notification 0";
            EXPECT_EQ(0, r.lParam);
            ids.push_back(plat::LOWORD(r.wParam));
        }
        return ids;
    }
    static int menuTextWidth(const char* s) {
        plat::HDC dc = plat::GetDC(nullptr);
        plat::HGDIOBJ old = plat::SelectObject(dc, plat::GetStockObject(plat::DEFAULT_GUI_FONT));
        plat::SIZE sz;
        plat::GetTextExtentPoint(dc, s, static_cast<int>(std::strlen(s)), &sz);
        plat::SelectObject(dc, old);
        plat::ReleaseDC(nullptr, dc);
        return sz.cx;
    }
};

using MenuModel = MenuTest;

// --- The model
// ------------------------------------------------------------------------------------

TEST_F(MenuModel, LoadMenuKeepsTheTemplateIdsAndPositions) {
    HMENU bar = loadBar();
    ASSERT_NE(nullptr, bar);
    EXPECT_TRUE(plat::IsMenu(plat::LoadMenu(nullptr, "TestBar"))) << "found by name too";
    ASSERT_EQ(3, plat::GetMenuItemCount(bar));
    HMENU file = plat::GetSubMenu(bar, 0);
    ASSERT_EQ(5, plat::GetMenuItemCount(file));
    // Positions count separators and submenus; a submenu takes a position but has no id.
    struct Row {
        int pos;
        UINT id;
        UINT stateBits;
    };
    const Row rows[] = {{0, kNouveau, 0},
                        {1, kOuvrir, 0},
                        {2, 0, plat::MF_SEPARATOR},
                        {3, static_cast<UINT>(-1), plat::MF_POPUP},
                        {4, kQuitter, plat::MF_GRAYED}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.pos);
        EXPECT_EQ(r.id, plat::GetMenuItemID(file, r.pos));
        EXPECT_EQ(r.stateBits,
                  plat::GetMenuState(file, static_cast<UINT>(r.pos), plat::MF_BYPOSITION));
    }
    HMENU recent = plat::GetSubMenu(file, 3);
    EXPECT_EQ(kPremier, plat::GetMenuItemID(recent, 0));
    EXPECT_EQ(kSecond, plat::GetMenuItemID(recent, 1));
    EXPECT_EQ(plat::MF_CHECKED,
              plat::GetMenuState(bar, kAnnuler, plat::MF_BYCOMMAND)); // found in a submenu

    HMENU ctx = loadContext();
    const UINT ctxIds[] = {kCtxAnnuler, 0, kCtxCopier, static_cast<UINT>(-1), kCtxColler};
    ASSERT_EQ(5, plat::GetMenuItemCount(ctx));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ctxIds[i], plat::GetMenuItemID(ctx, i)) << i;
    EXPECT_EQ(kCtxTeX, plat::GetMenuItemID(plat::GetSubMenu(ctx, 3), 0));

    EXPECT_EQ(nullptr, plat::LoadMenu(nullptr, plat::MAKEINTRESOURCE(99)));
}

TEST_F(MenuModel, GetMenuStringNeverWritesPastTheBuffer) {
    HMENU file = plat::GetSubMenu(loadBar(), 0);
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(3, plat::GetMenuString(file, 0, buf, 4, plat::MF_BYPOSITION));
    EXPECT_STREQ("&No", buf);
    EXPECT_EQ('x', buf[4]);
    EXPECT_EQ(15, plat::GetMenuString(file, kNouveau, nullptr, 0, plat::MF_BYCOMMAND));
    char full[32];
    EXPECT_EQ(15, plat::GetMenuString(file, kNouveau, full, sizeof full, plat::MF_BYCOMMAND));
    EXPECT_STREQ("&Nouveau\tCtrl+N", full);
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(0, plat::GetMenuString(file, 40, buf, sizeof buf, plat::MF_BYPOSITION));
    EXPECT_STREQ("", buf);
}

TEST_F(MenuModel, CheckAndEnableReportThePreviousStateAndReachSubmenus) {
    HMENU bar = loadBar();
    EXPECT_EQ(plat::MF_UNCHECKED, plat::CheckMenuItem(bar, kSecond, plat::MF_CHECKED));
    EXPECT_EQ(plat::MF_CHECKED, plat::CheckMenuItem(bar, kSecond, plat::MF_UNCHECKED));
    EXPECT_EQ(plat::MF_CHECKED, plat::CheckMenuItem(bar, kAnnuler, plat::MF_UNCHECKED));
    EXPECT_EQ(0u, plat::GetMenuState(bar, kAnnuler, plat::MF_BYCOMMAND));

    EXPECT_EQ(plat::MF_GRAYED,
              static_cast<UINT>(plat::EnableMenuItem(bar, kQuitter, plat::MF_ENABLED)));
    HMENU file = plat::GetSubMenu(bar, 0);
    EXPECT_EQ(0, plat::EnableMenuItem(file, 1, plat::MF_BYPOSITION | plat::MF_GRAYED));
    plat::MENUITEMINFO mii;
    mii.fMask = plat::MIIM_STATE | plat::MIIM_ID;
    ASSERT_TRUE(plat::GetMenuItemInfo(file, 1, plat::TRUE, &mii));
    EXPECT_EQ(plat::MFS_GRAYED, mii.fState);
    EXPECT_EQ(kOuvrir, mii.wID);

    // An item that does not exist is reported, not invented.
    EXPECT_EQ(static_cast<plat::DWORD>(-1), plat::CheckMenuItem(bar, 9999, plat::MF_CHECKED));
    EXPECT_EQ(-1, plat::EnableMenuItem(bar, 9999, plat::MF_GRAYED));
    EXPECT_EQ(static_cast<UINT>(-1), plat::GetMenuState(bar, 9999, plat::MF_BYCOMMAND));
}

TEST_F(MenuModel, ItemInfoCarriesPointerSizedDataAndBoundedText) {
    HMENU file = plat::GetSubMenu(loadBar(), 0);
    static int anchor;
    plat::MENUITEMINFO set;
    set.fMask = plat::MIIM_DATA;
    set.dwItemData = reinterpret_cast<plat::DWORD_PTR>(&anchor);
    ASSERT_TRUE(plat::SetMenuItemInfo(file, kOuvrir, plat::FALSE, &set));
    plat::MENUITEMINFO get;
    get.fMask = plat::MIIM_DATA | plat::MIIM_TYPE;
    char text[5];
    get.dwTypeData = text;
    get.cch = sizeof text;
    ASSERT_TRUE(plat::GetMenuItemInfo(file, kOuvrir, plat::FALSE, &get));
    EXPECT_EQ(&anchor, reinterpret_cast<int*>(get.dwItemData));
    EXPECT_EQ(plat::MFT_STRING, get.fType);
    EXPECT_STREQ("&Ouv", text);
    EXPECT_EQ(10u, get.cch); // the full length, so the caller can grow its buffer

    get = plat::MENUITEMINFO{};
    get.fMask = plat::MIIM_TYPE;
    ASSERT_TRUE(plat::GetMenuItemInfo(file, 2, plat::TRUE, &get));
    EXPECT_EQ(plat::MFT_SEPARATOR, get.fType);

    // Text changes keep the id and the data.
    ASSERT_TRUE(plat::ModifyMenu(file, kOuvrir, plat::MF_BYCOMMAND | plat::MF_STRING, kOuvrir,
                                 "&Ouvrir un fichier..."));
    get = plat::MENUITEMINFO{};
    get.fMask = plat::MIIM_DATA | plat::MIIM_ID;
    ASSERT_TRUE(plat::GetMenuItemInfo(file, 1, plat::TRUE, &get));
    EXPECT_EQ(kOuvrir, get.wID);
    EXPECT_EQ(&anchor, reinterpret_cast<int*>(get.dwItemData));
}

// Ad-hoc items take one more than the highest id in use, so an id is never reused while an older
// item keeps it, even after items in the middle were removed.
UINT nextFreeId(HMENU menu, UINT menuNumber) {
    UINT highest = menuNumber * 256;
    for (int i = 0; i < plat::GetMenuItemCount(menu); ++i) {
        const UINT id = plat::GetMenuItemID(menu, i);
        if (id != static_cast<UINT>(-1) && id > highest)
            highest = id;
    }
    return highest + 1;
}

TEST_F(MenuModel, AdHocItemsAreAppendedAndRemovedByCommand) {
    HMENU windows = plat::GetSubMenu(loadBar(), 2);
    ASSERT_TRUE(plat::AppendMenu(windows, plat::MF_SEPARATOR, 770, nullptr));
    const char* docs[] = {"a.pvx", "b && c.pvx", "d.pvx"};
    std::vector<UINT> ids;
    for (const char* d : docs) {
        const UINT id = nextFreeId(windows, 3);
        ASSERT_TRUE(plat::AppendMenu(windows, plat::MF_STRING, id, d));
        ids.push_back(id);
    }
    EXPECT_EQ((std::vector<UINT>{771, 772, 773}), ids);
    ASSERT_TRUE(plat::DeleteMenu(windows, 772, plat::MF_BYCOMMAND));
    EXPECT_EQ(774u, nextFreeId(windows, 3));
    EXPECT_EQ(4, plat::GetMenuItemCount(windows));
    EXPECT_EQ(773u, plat::GetMenuItemID(windows, 3));
    EXPECT_FALSE(plat::DeleteMenu(windows, 772, plat::MF_BYCOMMAND));
    plat::CheckMenuItem(windows, 773, plat::MF_BYCOMMAND | plat::MF_CHECKED);
    EXPECT_EQ(plat::MF_CHECKED, plat::GetMenuState(windows, 3, plat::MF_BYPOSITION));
}

TEST_F(MenuModel, DeleteDestroysSubmenusRemoveKeepsThem) {
    HMENU file = plat::GetSubMenu(loadBar(), 0);
    HMENU recent = plat::GetSubMenu(file, 3);
    ASSERT_TRUE(plat::RemoveMenu(file, 3, plat::MF_BYPOSITION));
    EXPECT_TRUE(plat::IsMenu(recent));
    EXPECT_EQ(static_cast<UINT>(-1), plat::GetMenuState(file, kPremier, plat::MF_BYCOMMAND));
    ASSERT_TRUE(plat::AppendMenu(file, plat::MF_POPUP, reinterpret_cast<plat::UINT_PTR>(recent),
                                 "&R\xE9"
                                 "cents"));
    ASSERT_TRUE(plat::DeleteMenu(file, 4, plat::MF_BYPOSITION));
    EXPECT_FALSE(plat::IsMenu(recent));
    // A stale handle fails the usual way and says so.
    s_diagnostics.clear();
    EXPECT_EQ(-1, plat::GetMenuItemCount(recent));
    EXPECT_FALSE(plat::AppendMenu(recent, plat::MF_STRING, 1, "x"));
    EXPECT_EQ(2u, s_diagnostics.size());
    // A popup that is not a menu is refused rather than stored.
    EXPECT_FALSE(
        plat::AppendMenu(file, plat::MF_POPUP, reinterpret_cast<plat::UINT_PTR>(recent), "x"));
}

TEST(MenuText, ShownTextFollowsTheMnemonicAndShortcutRules) {
    struct Row {
        const char* in;
        const char* shown;
        const char* shortcut;
        int mnemonic;
    };
    const Row rows[] = {
        {"&Fichier", "Fichier", "", 0},
        {"Cou&per", "Couper", "", 3},
        {"Rechercher && remplacer", "Rechercher & remplacer", "", -1},
        {"&Nouveau\tCtrl+N", "Nouveau", "Ctrl+N", 0},
        {"Modifier \n la matrice", "Modifier   la matrice", "", -1},
        {"a && &b", "a & b", "", 4},
        {"trailing&", "trailing", "", -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.in);
        std::string shortcut;
        int mnemonic = -2;
        EXPECT_EQ(r.shown, plat::core::ShownText(r.in, &shortcut, &mnemonic));
        EXPECT_EQ(r.shortcut, shortcut);
        EXPECT_EQ(r.mnemonic, mnemonic);
    }
    EXPECT_EQ(0xE9, plat::core::MnemonicOf("&\xC9"
                                           "dition")); // É folds to é
    EXPECT_EQ('p', plat::core::MnemonicOf("Cou&Per"));
}

// --- The frame's menu bar ------------------------------------------------------------------------

TEST_F(MenuTest, TheBarTakesItsRowsFromTheClientArea) {
    HWND f = top("Main");
    plat::POINT before{0, 0};
    plat::ClientToScreen(f, &before);
    ASSERT_TRUE(plat::SetMenu(f, loadBar()));
    plat::RECT rc;
    plat::GetClientRect(f, &rc);
    EXPECT_EQ(200, rc.right);
    EXPECT_EQ(150 - plat::core::kMenuBarHeight, rc.bottom);
    plat::POINT after{0, 0};
    plat::ClientToScreen(f, &after);
    EXPECT_EQ(before.y + plat::core::kMenuBarHeight, after.y);
    const auto sizes = got(plat::WM_SIZE);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(150 - plat::core::kMenuBarHeight, plat::HIWORD(sizes.back().lParam));
    EXPECT_NE(nullptr, plat::GetMenu(f));

    // Destroying the menu takes the bar away and gives the rows back.
    plat::DestroyMenu(plat::GetMenu(f));
    EXPECT_EQ(nullptr, plat::GetMenu(f));
    plat::GetClientRect(f, &rc);
    EXPECT_EQ(150, rc.bottom);
}

TEST_F(MenuTest, F10AndArrowsWalkTheBarAndEnterChoosesAfterTheMenuCloses) {
    HWND f = frame();
    // F10 opens the first title with its first item; Down skips the separator; Right opens the
    // submenu of the highlighted item.
    pt::key(plat::VK_F10);
    pt::key(plat::VK_DOWN);
    pt::key(plat::VK_DOWN);
    pt::onMenu([&](pt::MenuDriver& d) {
        ASSERT_EQ(1, d.depth());
        EXPECT_EQ(3, d.hot());
        d.key(plat::VK_RIGHT);
        d.key(plat::VK_DOWN);
    });
    pt::onMenu([&](pt::MenuDriver& d) {
        ASSERT_EQ(2, d.depth());
        EXPECT_EQ(1, d.hot());
        EXPECT_EQ(kSecond, d.items()[1].id);
        EXPECT_TRUE(commands(f).empty()) << "nothing runs while the menu is open";
        d.key(plat::VK_RETURN);
    });
    run();
    EXPECT_EQ((std::vector<UINT>{kSecond}), commands(f));
    EXPECT_EQ(nullptr, plat::GetCapture());
    EXPECT_EQ(nullptr, pt::findWindow("#32768")) << "every popup is gone";
}

TEST_F(MenuTest, LeftAndRightMoveBetweenTitlesAndWrap) {
    HWND f = frame();
    struct Case {
        std::vector<int> keys;
        std::vector<UINT> expected;
    };
    const Case cases[] = {
        {{plat::VK_RIGHT, plat::VK_RETURN}, {kAnnuler}},
        {{plat::VK_RIGHT, plat::VK_RIGHT, plat::VK_RETURN}, {kPalette}},
        {{plat::VK_RIGHT, plat::VK_RIGHT, plat::VK_RIGHT, plat::VK_RETURN}, {kNouveau}},
        {{plat::VK_LEFT, plat::VK_RETURN}, {kPalette}},
        // Left in a submenu closes only the submenu; Down then reaches the greyed "Quitter",
        // where Enter chooses nothing.
        {{plat::VK_UP, plat::VK_UP, plat::VK_RIGHT, plat::VK_LEFT, plat::VK_DOWN, plat::VK_RETURN},
         {}},
        {{plat::VK_UP, plat::VK_UP, plat::VK_RIGHT, plat::VK_LEFT, plat::VK_RETURN}, {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n++);
        s_received.clear();
        pt::key(plat::VK_F10);
        for (int k : c.keys)
            pt::key(k);
        if (c.expected.empty())
            pt::key(plat::VK_ESCAPE);
        run();
        EXPECT_EQ(c.expected, commands(f));
        EXPECT_EQ(nullptr, pt::findWindow("#32768"));
    }
}

TEST_F(MenuTest, EscapeClosesAndLaterKeysReachTheWindowAgain) {
    HWND f = frame();
    pt::key(plat::VK_F10);
    pt::key(plat::VK_DOWN);
    pt::key(plat::VK_ESCAPE);
    pt::key('A');
    run();
    EXPECT_TRUE(commands(f).empty());
    const auto downs = gotBy(f, plat::WM_KEYDOWN);
    ASSERT_EQ(1u, downs.size()) << "keys read by the menu never reach the window";
    EXPECT_EQ(static_cast<plat::WPARAM>('A'), downs[0].wParam);
}

TEST_F(MenuTest, AltMnemonicsOpenTitlesFromAnyChildAndLettersChooseItems) {
    HWND f = frame();
    HWND pane = child(f, 5, 0, 0, 50, 50);
    plat::SetFocus(pane);
    struct Case {
        int titleKey;
        const char* letters;
        std::vector<UINT> expected;
    };
    const Case cases[] = {
        {'F', "o", {kOuvrir}},
        {'E', "p", {}}, // "F&enêtres", whose "Palette" has no mnemonic: a beep, then Escape
        {'F', "q", {}}, // "&Quitter" is greyed
        {'X', "", {}},  // no title has X
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, static_cast<char>(c.titleKey)) + c.letters);
        s_received.clear();
        pt::key(c.titleKey, pt::kAlt);
        pt::type(c.letters);
        if (c.expected.empty())
            pt::key(plat::VK_ESCAPE);
        run();
        EXPECT_EQ(c.expected, commands(f));
        EXPECT_EQ(nullptr, pt::findWindow("#32768"));
    }
    // Letters chosen inside "&Édition": Cou&per and &Copier share no letter with the others.
    s_received.clear();
    pt::key(plat::VK_F10);
    pt::key(plat::VK_RIGHT);
    pt::type("p");
    run();
    EXPECT_EQ((std::vector<UINT>{kCouper}), commands(f));
    EXPECT_FALSE(pt::beeps().empty()) << "unknown mnemonics beep";
}

TEST_F(MenuTest, AClickOnATitleOpensItAndAClickOnAnItemChoosesIt) {
    HMENU bar = nullptr;
    HWND f = frame(&bar);
    // Titles are laid out left to right, each its text plus 6 px on both sides.
    const int editX = menuTextWidth("Fichier") + 12 + 4;
    pt::click(f, editX, -plat::core::kMenuBarHeight / 2);
    pt::onMenu([&](pt::MenuDriver& d) {
        ASSERT_EQ(1, d.depth());
        EXPECT_EQ(-1, d.hot()) << "a click opens without a highlight";
        ASSERT_EQ(5u, d.items().size());
        EXPECT_TRUE(d.items()[0].checked);
        plat::RECT rc;
        plat::GetClientRect(d.window(), &rc);
        const int row = (rc.bottom - 2) / 5; // five items of equal height inside a 1 px border
        pt::click(d.window(), 30, 1 + 2 * row + row / 2); // the third item
    });
    run();
    EXPECT_EQ((std::vector<UINT>{kCopier}), commands(f));
    EXPECT_TRUE(gotBy(f, plat::WM_LBUTTONDOWN).empty()) << "the bar is not the client area";
}

TEST_F(MenuTest, ACreatedWithMenuFrameStartsWithTheBar) {
    HMENU bar = loadBar();
    HWND f = plat::CreateWindowEx(0, "Rec", "Main", plat::WS_CAPTION | plat::WS_VISIBLE, 97, 79,
                                  206, 174, nullptr, bar, nullptr, nullptr);
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(bar, plat::GetMenu(f));
    const auto sizes = got(plat::WM_SIZE);
    ASSERT_EQ(1u, sizes.size()) << "one WM_SIZE, already without the bar's rows";
    EXPECT_EQ(150 - plat::core::kMenuBarHeight, plat::HIWORD(sizes[0].lParam));
    // A window of a class given an id where the menu goes gets no bar.
    HWND g = plat::CreateWindowEx(0, "Rec", "Other", plat::WS_CAPTION, 0, 0, 100, 100, nullptr,
                                  reinterpret_cast<HMENU>(1234), nullptr, nullptr);
    EXPECT_EQ(nullptr, plat::GetMenu(g));
}

TEST_F(MenuTest, HoveringMovesBetweenTitlesAndOpensSubmenus) {
    HWND f = frame();
    const int fenetresX = menuTextWidth("Fichier") +
                          menuTextWidth("\xC9"
                                        "dition") +
                          24 + 4;
    pt::click(f, 4, -plat::core::kMenuBarHeight / 2); // "&Fichier"
    pt::onMenu([&](pt::MenuDriver& d) {
        ASSERT_EQ(1, d.depth());
        EXPECT_EQ(kNouveau, d.items()[0].id);
        pt::move(f, fenetresX, -plat::core::kMenuBarHeight / 2);
    });
    pt::onMenu([&](pt::MenuDriver& d) {
        ASSERT_EQ(1, d.depth());
        ASSERT_EQ(1u, d.items().size());
        EXPECT_EQ(kPalette, d.items()[0].id);
        pt::move(f, 4, -plat::core::kMenuBarHeight / 2); // back to "&Fichier"
    });
    pt::onMenu([&](pt::MenuDriver& d) {
        ASSERT_EQ(1, d.depth());
        plat::RECT rc;
        plat::GetClientRect(d.window(), &rc);
        const int row = (rc.bottom - 2 - 7) / 4;
        pt::move(d.window(), 30, 1 + 2 * row + 7 + row / 2); // over "&Récents"
    });
    pt::onMenu([&](pt::MenuDriver& d) {
        ASSERT_EQ(2, d.depth()) << "the submenu opens under the pointer";
        EXPECT_EQ(kPremier, d.items()[0].id);
        pt::click(d.window(), 20, 5); // "Premier"
    });
    run();
    EXPECT_EQ((std::vector<UINT>{kPremier}), commands(f));
}

TEST_F(MenuTest, TheDriverOpensATitleByItsText) {
    HWND f = frame();
    // Titles are named as shown, without the mnemonic mark.
    EXPECT_NONFATAL_FAILURE(pt::openMenuTitle(f, "F&en\xEAtres"), "no title");
    ASSERT_TRUE(pt::openMenuTitle(f, "Fen\xEAtres"));
    pt::onMenu([](pt::MenuDriver& d) { EXPECT_TRUE(d.choose(kPalette)); });
    run();
    EXPECT_EQ((std::vector<UINT>{kPalette}), commands(f));
}

TEST_F(MenuTest, AClickOutsideClosesTheMenuAndIsNotDelivered) {
    HWND f = frame();
    pt::key(plat::VK_F10);
    pt::onMenu([&](pt::MenuDriver& d) {
        ASSERT_EQ(1, d.depth());
        pt::click(f, 190, 120);
    });
    run();
    EXPECT_TRUE(commands(f).empty());
    EXPECT_EQ(nullptr, pt::findWindow("#32768"));
    EXPECT_TRUE(gotBy(f, plat::WM_LBUTTONDOWN).empty());
}

// --- TrackPopupMenu ------------------------------------------------------------------------------

TEST_F(MenuTest, ReturnCmdGivesTheChosenIdFromNestedSubmenusAndPostsNothing) {
    HWND owner = top("Main");
    HMENU ctx = loadContext();
    pt::onMenu([](pt::MenuDriver& d) {
        EXPECT_FALSE(d.choosePath({"Copy As Type...", "MathML Tag"})) << "greyed";
        EXPECT_TRUE(d.choose(kCtxTeX));
        EXPECT_EQ(2, d.depth());
    });
    EXPECT_EQ(static_cast<plat::BOOL>(kCtxTeX),
              plat::TrackPopupMenu(ctx, plat::TPM_RETURNCMD, 300, 300, 0, owner, nullptr));
    run();
    EXPECT_TRUE(commands(owner).empty());

    pt::onMenu([](pt::MenuDriver& d) { d.key(plat::VK_ESCAPE); });
    EXPECT_EQ(0, plat::TrackPopupMenu(ctx, plat::TPM_RETURNCMD, 300, 300, 0, owner, nullptr));
}

TEST_F(MenuTest, WithoutReturnCmdTheChoiceIsPostedAfterTheMenuCloses) {
    HWND owner = top("Main");
    HMENU ctx = loadContext();
    pt::onMenu([&](pt::MenuDriver& d) { EXPECT_TRUE(d.choosePath({"Copier"})); });
    EXPECT_NE(0, plat::TrackPopupMenu(ctx, 0, 300, 300, 0, owner, nullptr));
    EXPECT_TRUE(commands(owner).empty()) << "posted, not sent";
    run();
    EXPECT_EQ((std::vector<UINT>{kCtxCopier}), commands(owner));
}

TEST_F(MenuTest, KeysQueuedBeforeTheCallDriveThePopup) {
    HWND owner = top("Main");
    pt::key(plat::VK_DOWN); // Annuler
    pt::key(plat::VK_DOWN); // the separator is skipped: Copier
    pt::key(plat::VK_UP);   // back to Annuler
    pt::key(plat::VK_UP);   // wraps to Coller
    pt::key(plat::VK_RETURN);
    EXPECT_EQ(static_cast<plat::BOOL>(kCtxColler),
              plat::TrackPopupMenu(loadContext(), plat::TPM_RETURNCMD, 10, 10, 0, owner, nullptr));
}

TEST_F(MenuTest, APopupWithNothingToAnswerItFailsTheTestAndNeverHangs) {
    HWND owner = top("Main");
    HMENU ctx = loadContext();
    plat::BOOL r = 1;
    EXPECT_NONFATAL_FAILURE(
        r = plat::TrackPopupMenu(ctx, plat::TPM_RETURNCMD, 10, 10, 0, owner, nullptr),
        "nothing to answer it");
    EXPECT_EQ(0, r);
    EXPECT_FALSE(plat::TrackPopupMenu(ctx, plat::TPM_RETURNCMD, 10, 10, 0, nullptr, nullptr))
        << "no owner, no menu";
}

TEST_F(MenuTest, PopupsStayOnTheScreenAndSubmenusOpenToTheLeftAtTheEdge) {
    HWND owner = top("Main");
    const int sw = plat::GetSystemMetrics(plat::SM_CXSCREEN);
    const int sh = plat::GetSystemMetrics(plat::SM_CYSCREEN);
    pt::onMenu([&](pt::MenuDriver& d) {
        plat::RECT r;
        ASSERT_TRUE(plat::GetWindowRect(d.window(0), &r));
        EXPECT_LE(r.right, sw);
        EXPECT_LE(r.bottom, sh);
        EXPECT_GE(r.left, 0);
        d.key(plat::VK_UP);    // Coller
        d.key(plat::VK_UP);    // Copy As Type...
        d.key(plat::VK_RIGHT); // opens it
    });
    pt::onMenu([&](pt::MenuDriver& d) {
        ASSERT_EQ(2, d.depth());
        plat::RECT parent, sub;
        plat::GetWindowRect(d.window(0), &parent);
        plat::GetWindowRect(d.window(1), &sub);
        EXPECT_LT(sub.left, parent.left);
        EXPECT_LE(sub.right, sw);
        d.cancel();
    });
    EXPECT_EQ(0, plat::TrackPopupMenu(loadContext(), plat::TPM_RETURNCMD, sw - 5, sh - 5, 0, owner,
                                      nullptr));
}

// --- System menu -------------------------------------------------------------------------------

TEST_F(MenuTest, AGreyedCloseItemRefusesEveryCloseRequest) {
    HWND w = top("Abort");
    HMENU sys = plat::GetSystemMenu(w, plat::FALSE);
    ASSERT_NE(nullptr, sys);
    EXPECT_EQ(sys, plat::GetSystemMenu(w, plat::FALSE));
    plat::EnableMenuItem(sys, static_cast<UINT>(plat::SC_CLOSE),
                         plat::MF_BYCOMMAND | plat::MF_GRAYED);
    pt::closeRequest(w);
    pt::key(plat::VK_F4, pt::kAlt);
    run();
    EXPECT_TRUE(plat::IsWindow(w));
    EXPECT_TRUE(got(plat::WM_CLOSE).empty());
    plat::EnableMenuItem(sys, static_cast<UINT>(plat::SC_CLOSE),
                         plat::MF_BYCOMMAND | plat::MF_ENABLED);
    pt::closeRequest(w);
    run();
    EXPECT_FALSE(plat::IsWindow(w));
}

// --- Drawing -----------------------------------------------------------------------------------

TEST_F(MenuTest, AnOpenMenuIsDrawnFlatInSystemColours) {
    ASSERT_EQ("", PinnedFontProblems());
    HWND f = frame();
    const std::string png = std::string(KV_BINARY_DIR) + "/menu-open.png";
    pt::key(plat::VK_F10);
    pt::key(plat::VK_DOWN);
    pt::key(plat::VK_DOWN);
    pt::key(plat::VK_RIGHT); // Récents open, Premier highlighted
    pt::onMenu([&](pt::MenuDriver& d) {
        ASSERT_EQ(2, d.depth());
        EXPECT_TRUE(d.snapshot(png));
        const pt::Image img = pt::pixels(d.window(0));
        auto rgb = [](int index) {
            const plat::COLORREF c = plat::GetSysColor(index);
            return (static_cast<std::uint32_t>(plat::GetRValue(c)) << 16) |
                   (static_cast<std::uint32_t>(plat::GetGValue(c)) << 8) | plat::GetBValue(c);
        };
        EXPECT_EQ(rgb(plat::COLOR_3DSHADOW), img.at(0, 0)) << "a flat one-pixel border";
        EXPECT_EQ(rgb(plat::COLOR_MENU), img.at(2, 2));
        const int rows = 4, sepH = 7;
        const int row = (img.height - 2 - sepH) / rows;
        // The highlighted "Récents" row (position 3) is filled with the highlight colour.
        EXPECT_EQ(rgb(plat::COLOR_HIGHLIGHT), img.at(3, 1 + 2 * row + sepH + 2));
        // Only grey ink in the greyed "Quitter" row; black ink in "Ouvrir".
        auto inkIn = [&](int top, std::uint32_t colour) {
            int n = 0;
            for (int y = top; y < top + row; ++y)
                for (int x = 1; x < img.width - 1; ++x)
                    n += img.at(x, y) == colour;
            return n;
        };
        const int quitTop = 1 + 3 * row + sepH;
        EXPECT_GT(inkIn(quitTop, rgb(plat::COLOR_GRAYTEXT)), 10);
        EXPECT_EQ(0, inkIn(quitTop, rgb(plat::COLOR_MENUTEXT)));
        EXPECT_GT(inkIn(1 + row, rgb(plat::COLOR_MENUTEXT)), 10);
        // "Ctrl+N" is right-aligned: its last ink column ends 16 px before the right border.
        int lastInk = -1;
        for (int y = 1; y < 1 + row; ++y)
            for (int x = 1; x < img.width - 1; ++x)
                if (img.at(x, y) == rgb(plat::COLOR_MENUTEXT))
                    lastInk = std::max(lastInk, x);
        EXPECT_GE(lastInk, img.width - 1 - 16 - 3);
        EXPECT_LT(lastInk, img.width - 1 - 16 + 1);
        d.cancel();
    });
    run();

    // "&Édition": a check mark in the gutter of "&Annuler" only; "&&" and "\n" shown as text.
    pt::key(plat::VK_F10);
    pt::key(plat::VK_RIGHT);
    pt::onMenu([&](pt::MenuDriver& d) {
        EXPECT_TRUE(d.snapshot(std::string(KV_BINARY_DIR) + "/menu-edit.png"));
        const pt::Image img = pt::pixels(d.window());
        const int row = (img.height - 2) / 5;
        auto gutterInk = [&](int item) {
            int n = 0;
            for (int y = 1 + item * row; y < 1 + (item + 1) * row; ++y)
                for (int x = 1; x < 17; ++x)
                    n += img.at(x, y) != img.at(2, 1 + item * row);
            return n;
        };
        EXPECT_GE(gutterInk(0), 10) << "the check mark";
        for (int i = 1; i < 5; ++i)
            EXPECT_EQ(0, gutterInk(i)) << i;
        d.cancel();
    });
    run();
    EXPECT_EQ(nullptr, plat::GetCapture());
    (void)f;
}

} // namespace
