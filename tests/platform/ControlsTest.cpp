#include "platform/DialogFixture.h"

#include <algorithm>
#include <cstdint>

namespace {

using namespace plat;
using kvtest::g_dlg;
namespace pt = plat::testing;
using Driver = pt::DialogDriver;

class Controls : public kvtest::DlgTest {};

std::pair<DWORD, DWORD> selection(HWND edit) {
    DWORD s = 0, e = 0;
    SendMessage(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    return {s, e};
}

TEST_F(Controls, EditNotifiesUpdateThenChangeForEveryChangeIncludingProgramSetText) {
    run(9101, [&](Driver& d) {
        g_dlg.commands.clear();
        pt::clearJournal();
        SetDlgItemText(d.hwnd(), 100, "abc");
        SetDlgItemInt(d.hwnd(), 100, 12, FALSE);
        d.setText(100, "x");
        d.type(100, "yz");
        ASSERT_EQ(5u, g_dlg.commandsWith(100, EN_UPDATE).size());
        ASSERT_EQ(5u, g_dlg.commandsWith(100, EN_CHANGE).size());
        // Each EN_UPDATE comes before its EN_CHANGE.
        std::vector<int> codes;
        for (const auto& c : g_dlg.commands) {
            if (c.id == 100 && (c.code == EN_UPDATE || c.code == EN_CHANGE))
                codes.push_back(c.code);
        }
        for (std::size_t i = 0; i < codes.size(); i += 2) {
            EXPECT_EQ(EN_UPDATE, codes[i]);
            EXPECT_EQ(EN_CHANGE, codes[i + 1]);
        }
        // Focusing the edit selects its text, so the typed keys replace it.
        EXPECT_EQ("yz", d.text(100));
        d.escape();
    });
}

TEST_F(Controls, EditSelectionRulesAndKeys) {
    run(9101, [&](Driver& d) {
        HWND e = d.item(100);
        d.setText(100, "hello world");
        struct SelCase {
            int s, e;
            DWORD wantS, wantE;
        };
        // e = -1 or beyond the end means the end; s = -1 removes the selection (caret stays).
        const SelCase cases[] = {{1, -1, 1, 11}, {2, 99, 2, 11},   {3, 5, 3, 5},
                                 {-1, 0, 5, 5},  {50, 60, 11, 11}, {0, 0, 0, 0}};
        for (const SelCase& c : cases) {
            SCOPED_TRACE(c.s * 1000 + c.e);
            SendMessage(e, EM_SETSEL, static_cast<WPARAM>(c.s), static_cast<LPARAM>(c.e));
            const auto sel = selection(e);
            EXPECT_EQ(c.wantS, sel.first);
            EXPECT_EQ(c.wantE, sel.second);
        }
        const LRESULT packed = SendMessage(e, EM_GETSEL, 0, 0);
        EXPECT_EQ(0, packed);

        SetFocus(e);
        SendMessage(e, EM_SETSEL, 0, 0);
        d.key(VK_END, pt::kShift);
        EXPECT_EQ((std::pair<DWORD, DWORD>{0, 11}), selection(e));
        d.key('C', pt::kCtrl);
        EXPECT_STREQ("hello world", GetEditClipboardText());
        d.key(VK_END);
        d.key(VK_LEFT, pt::kShift);
        d.key(VK_LEFT, pt::kShift);
        d.key('X', pt::kCtrl);
        EXPECT_EQ("hello wor", d.text(100));
        EXPECT_STREQ("ld", GetEditClipboardText());
        d.key(VK_HOME);
        d.key('V', pt::kCtrl);
        EXPECT_EQ("ldhello wor", d.text(100));
        d.key(VK_BACK);
        EXPECT_EQ("lhello wor", d.text(100));
        d.key(VK_DELETE);
        EXPECT_EQ("lello wor", d.text(100));
        // A pasted line break ends a single-line edit's text.
        SetEditClipboardText("one\r\ntwo");
        SendMessage(e, EM_SETSEL, 0, -1);
        d.key('V', pt::kCtrl);
        EXPECT_EQ("one", d.text(100));
        d.escape();
    });
}

TEST_F(Controls, EditDoubleClickSelectsAWordAndMouseDragSelects) {
    run(9101, [&](Driver& d) {
        HWND e = d.item(100);
        d.setText(100, "alpha beta gamma");
        // Find the x of character 8 (inside "beta") by measuring as the edit does.
        HDC dc = GetDC(nullptr);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SIZE sz;
        GetTextExtentPoint32(dc, "alpha be", 8, &sz);
        ReleaseDC(nullptr, dc);
        RECT rc;
        GetClientRect(e, &rc);
        pt::doubleClick(e, 3 + sz.cx, rc.bottom / 2);
        d.pump();
        EXPECT_EQ((std::pair<DWORD, DWORD>{6, 10}), selection(e));
        pt::drag(e, POINT{1, rc.bottom / 2}, POINT{3 + sz.cx, rc.bottom / 2});
        d.pump();
        EXPECT_EQ((std::pair<DWORD, DWORD>{0, 8}), selection(e));
        d.escape();
    });
}

TEST_F(Controls, MultiLineEditKeepsCrLfAndWraps) {
    run(9101, [&](Driver& d) {
        HWND m = d.item(150);
        d.type(150, "ab");
        d.key(VK_RETURN);
        pt::type("cd");
        d.pump();
        EXPECT_EQ("ab\r\ncd", d.text(150));
        EXPECT_EQ(2, SendMessage(m, EM_GETLINECOUNT, 0, 0));
        // Up moves to the line above; Backspace at a line start removes the whole CR LF.
        d.key(VK_HOME);
        d.key(VK_BACK);
        EXPECT_EQ("abcd", d.text(150));
        // A long text wraps at the control's width.
        std::string longText;
        for (int i = 0; i < 30; ++i)
            longText += "mot ";
        d.setText(150, longText);
        EXPECT_GT(SendMessage(m, EM_GETLINECOUNT, 0, 0), 2);
        EXPECT_EQ(longText, d.text(150)) << "wrapping does not change the text";
        // Selecting a range works across the whole text.
        SendMessage(m, EM_SETSEL, 0, 100);
        EXPECT_EQ((std::pair<DWORD, DWORD>{0, 100}), selection(m));
        d.escape();
    });
}

TEST_F(Controls, ListSelChangeOnlyForUserChangesAndDoubleClickAfterIt) {
    run(9101, [&](Driver& d) {
        HWND list = d.item(130);
        g_dlg.commands.clear();
        SendMessage(list, LB_SETCURSEL, 15, 0);
        EXPECT_EQ(15, d.curSel(130));
        const int top = static_cast<int>(SendMessage(list, LB_GETTOPINDEX, 0, 0));
        EXPECT_LE(top, 15) << "LB_SETCURSEL scrolls the row into view";
        RECT r;
        SendMessage(list, LB_GETITEMRECT, 15, reinterpret_cast<LPARAM>(&r));
        RECT c;
        GetClientRect(list, &c);
        EXPECT_LE(r.bottom, c.bottom);
        EXPECT_GE(r.top, 0);
        EXPECT_TRUE(g_dlg.commandsWith(130, LBN_SELCHANGE).empty());

        d.selectRow(130, 3);
        EXPECT_EQ(3, d.curSel(130));
        EXPECT_EQ(1u, g_dlg.commandsWith(130, LBN_SELCHANGE).size());
        d.key(VK_DOWN);
        EXPECT_EQ(4, d.curSel(130));
        EXPECT_EQ(2u, g_dlg.commandsWith(130, LBN_SELCHANGE).size());
        d.key(VK_END);
        EXPECT_EQ(19, d.curSel(130));
        g_dlg.commands.clear();
        d.doubleClickRow(130, 5);
        ASSERT_EQ(2u, g_dlg.commands.size() - g_dlg.commandsWith(130, LBN_SETFOCUS).size());
        std::vector<int> codes;
        for (const auto& cmd : g_dlg.commands) {
            if (cmd.id == 130 && (cmd.code == LBN_SELCHANGE || cmd.code == LBN_DBLCLK))
                codes.push_back(cmd.code);
        }
        EXPECT_EQ((std::vector<int>{LBN_SELCHANGE, LBN_DBLCLK}), codes);
        EXPECT_EQ(1005, static_cast<int>(SendMessage(list, LB_GETITEMDATA, 5, 0)));
        EXPECT_EQ(LB_ERR, SendMessage(list, LB_GETITEMDATA, 20, 0));
        EXPECT_EQ(LB_ERR, SendMessage(list, LB_SETCURSEL, 20, 0));
        EXPECT_EQ(-1, d.curSel(130));
        d.escape();
    });
}

TEST_F(Controls, OwnerDrawActionsFollowTheUsualRules) {
    run(9101, [&](Driver& d) {
        HWND list = d.item(130);
        SetFocus(list);
        d.pump();
        // Full repaint: DRAWENTIRE for the visible rows, selected state on the current one only.
        g_dlg.draws.clear();
        InvalidateRect(list, nullptr, TRUE);
        UpdateWindow(list);
        auto draws = g_dlg.drawsOf(130);
        ASSERT_FALSE(draws.empty());
        for (const auto& di : draws) {
            SCOPED_TRACE(di.itemID);
            EXPECT_EQ(ODA_DRAWENTIRE, di.itemAction);
            EXPECT_EQ(di.itemID == 1, (di.itemState & ODS_SELECTED) != 0);
            EXPECT_EQ(ODT_LISTBOX, di.CtlType);
            EXPECT_EQ(list, di.hwndItem);
            EXPECT_EQ(1000 + di.itemID, di.itemData);
            EXPECT_EQ(14, di.rcItem.bottom - di.rcItem.top) << "the measured height";
        }
        // A selection change: ODA_SELECT for the old row without the state, the new one with it.
        g_dlg.draws.clear();
        d.key(VK_DOWN);
        draws = g_dlg.drawsOf(130);
        ASSERT_EQ(2u, draws.size());
        EXPECT_EQ(1u, draws[0].itemID);
        EXPECT_EQ(ODA_SELECT, draws[0].itemAction);
        EXPECT_EQ(0u, draws[0].itemState & ODS_SELECTED);
        EXPECT_EQ(2u, draws[1].itemID);
        EXPECT_EQ(ODA_SELECT, draws[1].itemAction);
        EXPECT_NE(0u, draws[1].itemState & ODS_SELECTED);
        // A focus change: ODA_FOCUS.
        g_dlg.draws.clear();
        SetFocus(d.item(100));
        draws = g_dlg.drawsOf(130);
        ASSERT_EQ(1u, draws.size());
        EXPECT_EQ(ODA_FOCUS, draws[0].itemAction);
        EXPECT_EQ(0u, draws[0].itemState & ODS_FOCUS);
        d.escape();
    });
}

TEST_F(Controls, ComboClosedFieldDropDownAndSelChange) {
    run(9101, [&](Driver& d) {
        HWND combo = d.item(140);
        g_dlg.draws.clear();
        InvalidateRect(combo, nullptr, TRUE);
        UpdateWindow(combo);
        auto draws = g_dlg.drawsOf(140);
        ASSERT_EQ(1u, draws.size());
        EXPECT_EQ(1u, draws[0].itemID) << "the closed field shows the current item";
        EXPECT_NE(0u, draws[0].itemState & ODS_COMBOBOXEDIT);
        EXPECT_EQ(ODT_COMBOBOX, draws[0].CtlType);
        EXPECT_EQ(16, draws[0].rcItem.bottom - draws[0].rcItem.top);

        g_dlg.commands.clear();
        SendMessage(combo, CB_SETCURSEL, 3, 0);
        EXPECT_TRUE(g_dlg.commandsWith(140, CBN_SELCHANGE).empty()) << "not a user change";
        d.chooseCombo(140, 2);
        EXPECT_EQ(2, d.curSel(140));
        EXPECT_EQ(1u, g_dlg.commandsWith(140, CBN_SELCHANGE).size());
        // Up and Down change the selection while closed.
        d.key(VK_DOWN);
        EXPECT_EQ(3, d.curSel(140));
        EXPECT_EQ(2u, g_dlg.commandsWith(140, CBN_SELCHANGE).size());

        // Alt+Down opens; the drop-down items have their own heights; Escape closes it without
        // reaching the dialog and without changing the selection.
        g_dlg.draws.clear();
        d.key(VK_DOWN, pt::kAlt);
        ASSERT_TRUE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
        HWND popup = pt::findWindow("KvComboList");
        ASSERT_NE(nullptr, popup);
        d.pump();
        draws = g_dlg.drawsOf(140);
        ASSERT_GE(draws.size(), 4u);
        int listDraws = 0;
        for (const auto& di : draws) {
            if (di.itemState & ODS_COMBOBOXEDIT)
                continue; // the closed field, repainted as the list opens
            SCOPED_TRACE(di.itemID);
            ++listDraws;
            EXPECT_EQ(ODA_DRAWENTIRE, di.itemAction);
            EXPECT_EQ(static_cast<LONG>(12 + 2 * di.itemID), di.rcItem.bottom - di.rcItem.top);
            EXPECT_EQ(di.itemID == 3, (di.itemState & ODS_SELECTED) != 0);
        }
        EXPECT_EQ(4, listDraws);
        // The hot item follows the keys with ODA_SELECT.
        g_dlg.draws.clear();
        d.key(VK_UP);
        draws = g_dlg.drawsOf(140);
        ASSERT_EQ(2u, draws.size());
        EXPECT_EQ(ODA_SELECT, draws[0].itemAction);
        EXPECT_EQ(ODA_SELECT, draws[1].itemAction);
        EXPECT_NE(0u, draws[1].itemState & ODS_SELECTED);
        g_dlg.commands.clear();
        d.escape();
        EXPECT_FALSE(d.ended()) << "Escape closed the drop-down only";
        EXPECT_FALSE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
        EXPECT_EQ(nullptr, pt::findWindow("KvComboList"));
        EXPECT_EQ(3, d.curSel(140));
        EXPECT_TRUE(g_dlg.commandsWith(IDCANCEL, BN_CLICKED).empty());
        // A click on an item of the open list picks it.
        d.key(VK_F4);
        popup = pt::findWindow("KvComboList");
        ASSERT_NE(nullptr, popup);
        pt::move(popup, 10, 1 + 12 + 3);
        pt::click(popup, 10, 1 + 12 + 3); // item 1 spans 13..27
        d.pump();
        EXPECT_EQ(1, d.curSel(140));
        EXPECT_EQ(nullptr, pt::findWindow("KvComboList"));
        d.escape();
    });
    EXPECT_EQ(nullptr, pt::findWindow("KvComboList"));
}

TEST_F(Controls, ScrollBarReportsAndRepeats) {
    HWND dlg = CreateDialogParam(nullptr, MAKEINTRESOURCE(9104), nullptr, &kvtest::sampleProc, 0);
    ASSERT_NE(nullptr, dlg);
    HWND bar = GetDlgItem(dlg, 500);
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = 99;
    si.nPage = 10;
    si.nPos = 200;
    EXPECT_EQ(90, SetScrollInfo(bar, SB_CTL, &si, TRUE)) << "kept within max - page + 1";
    SCROLLINFO got;
    got.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(bar, SB_CTL, &got));
    EXPECT_EQ(90, got.nPos);
    EXPECT_EQ(10u, got.nPage);
    SetScrollPos(bar, SB_CTL, 40, TRUE);
    EXPECT_EQ(40, GetScrollPos(bar, SB_CTL));
    pt::runUntilIdle();

    RECT rc;
    GetClientRect(bar, &rc);
    // The down arrow: one line at once, a repeat after 400 ms, then every 50 ms.
    g_dlg.scrolls.clear();
    pt::press(bar, rc.right / 2, rc.bottom - 3);
    pt::runUntilIdle();
    EXPECT_EQ((std::vector<std::pair<int, int>>{{SB_LINEDOWN, 0}}), g_dlg.scrolls);
    pt::advanceClock(399);
    pt::runUntilIdle();
    EXPECT_EQ(1u, g_dlg.scrolls.size());
    pt::advanceClock(1);
    pt::runUntilIdle();
    EXPECT_EQ(2u, g_dlg.scrolls.size());
    pt::advanceClock(49);
    pt::runUntilIdle();
    EXPECT_EQ(2u, g_dlg.scrolls.size());
    pt::advanceClock(1);
    pt::runUntilIdle();
    pt::advanceClock(50);
    pt::runUntilIdle();
    EXPECT_EQ(4u, g_dlg.scrolls.size());
    pt::release(bar, rc.right / 2, rc.bottom - 3);
    pt::runUntilIdle();
    EXPECT_EQ(SB_ENDSCROLL, g_dlg.scrolls.back().first);
    const std::size_t before = g_dlg.scrolls.size();
    pt::advanceClock(500);
    pt::runUntilIdle();
    EXPECT_EQ(before, g_dlg.scrolls.size()) << "no repeat after the release";
    // Page areas: above and below the thumb.
    g_dlg.scrolls.clear();
    pt::click(bar, rc.right / 2, rc.bottom - 20);
    pt::runUntilIdle();
    ASSERT_FALSE(g_dlg.scrolls.empty());
    EXPECT_EQ(SB_PAGEDOWN, g_dlg.scrolls.front().first);
    DestroyWindow(dlg);
}

// A long document's bar counts millions of positions: the thumb stands where the position says
// and a drag moves it in proportion, with no overflow on the way.
TEST_F(Controls, AScrollBarOfMillionsOfPositionsPlacesAndDragsItsThumb) {
    HWND dlg = CreateDialogParam(nullptr, MAKEINTRESOURCE(9104), nullptr, &kvtest::sampleProc, 0);
    ASSERT_NE(nullptr, dlg);
    HWND bar = GetDlgItem(dlg, 500);
    RECT rc;
    GetClientRect(bar, &rc);
    const int arrow = std::min<int>(rc.right, rc.bottom / 2);
    const int track = rc.bottom - 2 * arrow;
    constexpr int kMax = 200'000'000;
    constexpr int kPage = 1'000'000;
    const int thumb = std::max(8, static_cast<int>(std::int64_t{track} * kPage / (kMax + 1)));
    const std::int64_t span = std::int64_t{kMax} + 1 - kPage;
    for (const int pos : {50'000'000, 100'000'000, 150'000'000}) {
        SCOPED_TRACE(pos);
        SCROLLINFO si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        si.nMin = 0;
        si.nMax = kMax;
        si.nPage = kPage;
        si.nPos = pos;
        SetScrollInfo(bar, SB_CTL, &si, TRUE);
        pt::runUntilIdle();
        const int at = arrow + static_cast<int>((track - thumb) * std::int64_t{pos} / span);
        g_dlg.scrolls.clear();
        pt::press(bar, rc.right / 2, at + thumb / 2);
        pt::move(bar, rc.right / 2, at + thumb / 2 + 10);
        pt::runUntilIdle();
        SCROLLINFO got;
        got.fMask = SIF_TRACKPOS;
        ASSERT_TRUE(GetScrollInfo(bar, SB_CTL, &got));
        pt::release(bar, rc.right / 2, at + thumb / 2 + 10);
        pt::runUntilIdle();
        ASSERT_FALSE(g_dlg.scrolls.empty());
        EXPECT_EQ(SB_THUMBTRACK, g_dlg.scrolls.front().first) << "the press missed the thumb";
        const std::int64_t moved = std::int64_t{got.nTrackPos} - pos;
        const std::int64_t expected = 10 * span / (track - thumb);
        EXPECT_NEAR(static_cast<double>(moved), static_cast<double>(expected),
                    static_cast<double>(span / (track - thumb)));
    }
    DestroyWindow(dlg);
}

TEST_F(Controls, StringListFindsAndSelectsByKeys) {
    HWND dlg = CreateDialogParam(nullptr, MAKEINTRESOURCE(9104), nullptr, &kvtest::sampleProc, 0);
    ASSERT_NE(nullptr, dlg);
    HWND list = GetDlgItem(dlg, 502);
    EXPECT_EQ(3, SendMessage(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>("DELTA")));
    EXPECT_EQ(LB_ERR, SendMessage(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>("omega")));
    char buf[16] = {};
    EXPECT_EQ(4, SendMessage(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(buf)));
    EXPECT_STREQ("beta", buf);
    SetFocus(list);
    pt::type("g");
    pt::runUntilIdle();
    EXPECT_EQ(2, SendMessage(list, LB_GETCURSEL, 0, 0));
    EXPECT_EQ(6, SendMessage(list, LB_DELETESTRING, 0, 0));
    EXPECT_EQ(1, SendMessage(list, LB_GETCURSEL, 0, 0)) << "the selection follows its row";
    DestroyWindow(dlg);
}

TEST_F(Controls, SampleDialogSnapshotIsReadable) {
    const std::string path = std::string(::testing::TempDir()) + "/dialog9101.png";
    run(9101, [&](Driver& d) {
        d.setText(100, "Bonjour");
        d.check(111);
        d.check(121);
        d.setText(150, "Deux lignes\r\nde texte");
        d.selectRow(130, 2);
        SetFocus(d.item(1));
        d.pump();
        ASSERT_TRUE(d.snapshot(path));
        const pt::Image img = pt::pixels(d.hwnd());
        // The edit's interior is white, the background the button face.
        EXPECT_EQ(0xFFFFFFu, img.at(100 + 4, 12 + 4));
        EXPECT_EQ(0xC0C0C0u, img.at(2, 2));
        // The label "Nom :" has dark text pixels inside its rectangle.
        int dark = 0;
        for (int y = 16; y < 32; ++y)
            for (int x = 16; x < 60; ++x)
                dark += img.at(x, y) == 0;
        EXPECT_GT(dark, 10);
        d.click(1);
    });
    std::printf("snapshot: %s\n", path.c_str());
}

} // namespace

namespace {

using namespace plat;
namespace pt = plat::testing;

class EditLimits : public kvtest::DlgTest {};

TEST_F(EditLimits, LimitReadOnlyAndDigitsOnlyRefuseInputWithABeep) {
    run(9101, [](pt::DialogDriver& d) {
        HWND e = d.item(100);
        // A limit keeps the text short and says so with EN_MAXTEXT.
        SendMessage(e, EM_LIMITTEXT, 3, 0);
        d.type(100, "abcdef");
        EXPECT_EQ("abc", d.text(100));
        EXPECT_FALSE(kvtest::g_dlg.commandsWith(100, EN_MAXTEXT).empty());
        const std::size_t beeps = pt::beeps().size();
        // Read-only: typing and deleting change nothing.
        SendMessage(e, EM_SETREADONLY, TRUE, 0);
        pt::type("x");
        pt::key(VK_BACK);
        pt::key(VK_DELETE);
        d.pump();
        EXPECT_EQ("abc", d.text(100));
        EXPECT_GT(pt::beeps().size(), beeps);
        SendMessage(e, EM_SETREADONLY, FALSE, 0);
        // Digits only.
        SendMessage(e, EM_LIMITTEXT, 0, 0);
        SetWindowLongPtr(e, GWL_STYLE, GetWindowLongPtr(e, GWL_STYLE) | ES_NUMBER);
        d.type(100, "1a2");
        EXPECT_EQ("12", d.text(100));
        // The modified flag follows the user's changes, not the program's.
        EXPECT_TRUE(SendMessage(e, EM_GETMODIFY, 0, 0));
        d.setText(100, "7");
        EXPECT_FALSE(SendMessage(e, EM_GETMODIFY, 0, 0));
        // Up and Down move between the lines of a multi-line edit.
        d.setText(150, "un\r\ndeux");
        SetFocus(d.item(150));
        SendMessage(d.item(150), EM_SETSEL, 8, 8);
        d.key(VK_UP);
        DWORD s = 0, en = 0;
        SendMessage(d.item(150), EM_GETSEL, reinterpret_cast<WPARAM>(&s),
                    reinterpret_cast<LPARAM>(&en));
        EXPECT_EQ(2u, s) << "the end of the shorter line above";
        d.key(VK_DOWN, pt::kShift);
        SendMessage(d.item(150), EM_GETSEL, reinterpret_cast<WPARAM>(&s),
                    reinterpret_cast<LPARAM>(&en));
        EXPECT_EQ(2u, s);
        EXPECT_EQ(6u, en);
        d.escape();
    });
}

} // namespace
