#pragma once
// Shared set-up of the dialog tests: the test dialogs' resource tables, a dialog procedure that
// records what it is sent, and helpers to run a dialog with a script.

#include "BuiltinResources.h"
#include "plat/Controls.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "platform/WinFixture.h"

#include <functional>
#include <string>
#include <vector>

const plat::ResourceTables& DialogTestResourceTables();

namespace kvtest {

struct Command {
    int id;
    int code;
    plat::HWND control;
};

// What the sample procedure saw.
struct DialogRecord {
    std::vector<Command> commands;
    std::vector<plat::MEASUREITEMSTRUCT> measures;
    std::vector<plat::DRAWITEMSTRUCT> draws;
    std::vector<std::pair<int, int>> scrolls; // (code, position)
    int initFocusId = 0;
    plat::LPARAM initParam = 0;
    bool ignoreOkCancel = false;
    bool initReturnsFalse = false;
    std::vector<int> disabledAtInit; // controls the initialisation disables

    std::vector<Command> commandsWith(int id, int code) const {
        std::vector<Command> out;
        for (const Command& c : commands) {
            if (c.id == id && c.code == code)
                out.push_back(c);
        }
        return out;
    }
    std::vector<plat::DRAWITEMSTRUCT> drawsOf(unsigned ctl) const {
        std::vector<plat::DRAWITEMSTRUCT> out;
        for (const auto& d : draws) {
            if (d.CtlID == ctl)
                out.push_back(d);
        }
        return out;
    }
};

inline DialogRecord g_dlg;

// The procedure of the test dialogs: fills dialog 9101's list (20 rows, data 1000 + row) and combo
// (4 items, data 0-3, item 1 selected); measures list rows 14 px, the combo field 16 px and combo
// item i 12 + 2i px; toggles the plain check box 110 itself; ends on button 300, and on OK and
// Cancel unless told to ignore them.
inline plat::INT_PTR sampleProc(plat::HWND d, plat::UINT msg, plat::WPARAM wp, plat::LPARAM lp) {
    using namespace plat;
    switch (msg) {
    case WM_INITDIALOG:
        g_dlg.initFocusId = GetDlgCtrlID(reinterpret_cast<HWND>(wp));
        g_dlg.initParam = lp;
        if (GetDlgItem(d, 130)) {
            for (int i = 0; i < 20; ++i)
                SendDlgItemMessage(d, 130, LB_ADDSTRING, 0, 1000 + i);
            SendDlgItemMessage(d, 130, LB_SETCURSEL, 1, 0);
        }
        if (GetDlgItem(d, 140)) {
            for (int i = 0; i < 4; ++i)
                SendDlgItemMessage(d, 140, CB_ADDSTRING, 0, i);
            SendDlgItemMessage(d, 140, CB_SETCURSEL, 1, 0);
        }
        if (GetDlgItem(d, 502)) {
            for (const char* s : {"alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta"})
                SendDlgItemMessage(d, 502, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        }
        for (int id : g_dlg.disabledAtInit)
            EnableWindow(GetDlgItem(d, id), FALSE);
        return g_dlg.initReturnsFalse ? FALSE : TRUE;
    case WM_MEASUREITEM: {
        auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        g_dlg.measures.push_back(*m);
        if (m->CtlType == ODT_LISTBOX)
            m->itemHeight = 14;
        else if (m->itemID == static_cast<UINT>(-1))
            m->itemHeight = 16;
        else
            m->itemHeight = static_cast<UINT>(12 + 2 * m->itemData);
        return TRUE;
    }
    case WM_DRAWITEM: {
        auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        g_dlg.draws.push_back(*di);
        const bool sel = (di->itemState & ODS_SELECTED) != 0;
        FillRect(di->hDC, &di->rcItem, GetSysColorBrush(sel ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        if (di->itemID != static_cast<UINT>(-1)) {
            const std::string t = "Article " + std::to_string(di->itemData);
            SetTextColor(di->hDC, GetSysColor(sel ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
            SetBkMode(di->hDC, TRANSPARENT);
            ExtTextOut(di->hDC, di->rcItem.left + 2, di->rcItem.top, ETO_CLIPPED, &di->rcItem,
                       t.c_str(), static_cast<UINT>(t.size()), nullptr);
        }
        return TRUE;
    }
    case WM_VSCROLL:
        g_dlg.scrolls.emplace_back(LOWORD(wp), static_cast<short>(HIWORD(wp)));
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wp), code = HIWORD(wp);
        g_dlg.commands.push_back({id, code, reinterpret_cast<HWND>(lp)});
        if (id == 110 && code == BN_CLICKED)
            CheckDlgButton(d, 110, IsDlgButtonChecked(d, 110) ? BST_UNCHECKED : BST_CHECKED);
        if (id == 300 || ((id == IDOK || id == IDCANCEL) && !g_dlg.ignoreOkCancel))
            EndDialog(d, id);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

class DlgTest : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        g_dlg = DialogRecord{};
        plat::RegisterBuiltinResources(DialogTestResourceTables());
    }
    void TearDown() override {
        EXPECT_EQ(0, plat::testing::pendingDialogScripts()) << "a scripted dialog never opened";
        WinTest::TearDown();
        plat::RegisterBuiltinResources(BuiltinResourceTables());
    }
    // Runs dialog `id` modally with `script`.
    plat::INT_PTR run(int id, std::function<void(plat::testing::DialogDriver&)> script,
                      plat::HWND owner = nullptr, plat::LPARAM param = 0) {
        plat::testing::onDialog(id, std::move(script));
        return plat::DialogBoxParam(nullptr, plat::MAKEINTRESOURCE(static_cast<plat::WORD>(id)),
                                    owner, &sampleProc, param);
    }
    static int focusId() { return plat::GetDlgCtrlID(plat::GetFocus()); }
};

} // namespace kvtest
