#include "platform/DialogFixture.h"
#include "support/PipeText.h"

#include <csignal>
#include <gtest/gtest-spi.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

using namespace plat;
using kvtest::g_dlg;
using kvtest::ReadUntilClosed;
namespace pt = plat::testing;
using Driver = pt::DialogDriver;

class DialogManager : public kvtest::DlgTest {};

RECT childRect(HWND dlg, int id) {
    RECT r;
    GetWindowRect(GetDlgItem(dlg, id), &r);
    POINT tl{r.left, r.top}, br{r.right, r.bottom};
    ScreenToClient(dlg, &tl);
    ScreenToClient(dlg, &br);
    return RECT{tl.x, tl.y, br.x, br.y};
}

TEST_F(DialogManager, MeasuresOwnerDrawnControlsBeforeInitDialogAndSendsNoSetFont) {
    HWND seenDlg = nullptr;
    const INT_PTR r = run(
        9101,
        [&](Driver& d) {
            seenDlg = d.hwnd();
            // Template units are 2 px each way: the edit at (50, 6) 100 x 12 units.
            const RECT e = childRect(d.hwnd(), 100);
            EXPECT_EQ(100, e.left);
            EXPECT_EQ(12, e.top);
            EXPECT_EQ(200, e.right - e.left);
            EXPECT_EQ(24, e.bottom - e.top);
            RECT client;
            GetClientRect(d.hwnd(), &client);
            EXPECT_EQ(440, client.right);
            EXPECT_EQ(300, client.bottom);
            // The combo keeps its field height (16 + frame), not the template's list height.
            const RECT c = childRect(d.hwnd(), 140);
            EXPECT_EQ(22, c.bottom - c.top);
            d.enter();
        },
        nullptr, 77);
    EXPECT_EQ(IDOK, r) << "Enter in the edit takes the default button";
    EXPECT_EQ(77, g_dlg.initParam);
    EXPECT_EQ(100, g_dlg.initFocusId) << "WM_INITDIALOG gets the first tab stop";
    // The list (item 0) and the combo field (item -1) are measured, in template order, before
    // WM_INITDIALOG; the combo's items are measured as they are added, with their data.
    EXPECT_EQ(
        "", pt::expectSubsequence({"'Exemple' WM_MEASUREITEM wp=0x82",
                                   "'Exemple' WM_MEASUREITEM wp=0x8C", "'Exemple' WM_INITDIALOG"}));
    ASSERT_GE(g_dlg.measures.size(), 6u);
    EXPECT_EQ(ODT_LISTBOX, g_dlg.measures[0].CtlType);
    EXPECT_EQ(0u, g_dlg.measures[0].itemID);
    EXPECT_EQ(ODT_COMBOBOX, g_dlg.measures[1].CtlType);
    EXPECT_EQ(static_cast<UINT>(-1), g_dlg.measures[1].itemID);
    for (UINT i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(i, g_dlg.measures[2 + i].itemID);
        EXPECT_EQ(i, g_dlg.measures[2 + i].itemData);
    }
    EXPECT_TRUE(pt::journalLines("WM_SETFONT").empty());
    EXPECT_FALSE(IsWindow(seenDlg)) << "the dialog is destroyed after the run";
}

TEST_F(DialogManager, BaseUnitsAndMapDialogRect) {
    const LONG units = GetDialogBaseUnits();
    EXPECT_EQ(8, LOWORD(static_cast<DWORD>(units)));
    EXPECT_EQ(16, HIWORD(static_cast<DWORD>(units)));
    RECT r{3, 5, 10, 21};
    ASSERT_TRUE(MapDialogRect(nullptr, &r));
    EXPECT_EQ(6, r.left);
    EXPECT_EQ(10, r.top);
    EXPECT_EQ(20, r.right);
    EXPECT_EQ(42, r.bottom);
}

TEST_F(DialogManager, TabVisitsTabStopsInTemplateOrderAndShiftTabGoesBack) {
    run(9101, [&](Driver& d) {
        std::vector<int> seen{focusId()};
        for (int i = 0; i < 9; ++i) {
            d.key(VK_TAB);
            seen.push_back(focusId());
        }
        // The static, the group box and the non-tab-stop radios are skipped; the radio group is
        // entered at its first button since none is checked.
        EXPECT_EQ((std::vector<int>{100, 110, 111, 120, 130, 140, 150, 1, 2, 100}), seen);
        d.key(VK_TAB, pt::kShift);
        EXPECT_EQ(2, focusId());
        // A disabled control is skipped.
        EnableWindow(d.item(1), FALSE);
        d.key(VK_TAB, pt::kShift);
        EXPECT_EQ(150, focusId());
        EnableWindow(d.item(1), TRUE);
        // Tab into the radio group lands on the checked button.
        CheckRadioButton(d.hwnd(), 120, 122, 122);
        SetFocus(d.item(111));
        d.key(VK_TAB);
        EXPECT_EQ(122, focusId());
        // Tab selects all of an edit's text.
        SetDlgItemText(d.hwnd(), 100, "abcd");
        SetFocus(d.item(2));
        d.key(VK_TAB);
        DWORD s = 9, e = 9;
        SendDlgItemMessage(d.hwnd(), 100, EM_GETSEL, reinterpret_cast<WPARAM>(&s),
                           reinterpret_cast<LPARAM>(&e));
        EXPECT_EQ(0u, s);
        EXPECT_EQ(4u, e);
        d.escape();
    });
}

TEST_F(DialogManager, ArrowsMoveWithinARadioGroupAndCheckAutoRadios) {
    run(9101, [&](Driver& d) {
        SetFocus(d.item(120));
        d.key(VK_DOWN);
        EXPECT_EQ(121, focusId());
        EXPECT_TRUE(d.checked(121));
        EXPECT_FALSE(d.checked(120));
        d.key(VK_DOWN);
        EXPECT_TRUE(d.checked(122));
        EXPECT_FALSE(d.checked(121));
        d.key(VK_DOWN); // wraps within the group, never into the list
        EXPECT_EQ(120, focusId());
        EXPECT_TRUE(d.checked(120));
        d.key(VK_UP);
        EXPECT_EQ(122, focusId());
        EXPECT_EQ(1u, g_dlg.commandsWith(121, BN_CLICKED).size());
        // A click checks one and unchecks the others of the group only.
        d.check(111);
        d.click(121);
        EXPECT_TRUE(d.checked(121));
        EXPECT_FALSE(d.checked(122));
        EXPECT_TRUE(d.checked(111));
        // CheckRadioButton: exactly the id asked; an id outside the range unchecks them all.
        CheckRadioButton(d.hwnd(), 120, 122, 120);
        EXPECT_TRUE(d.checked(120));
        EXPECT_FALSE(d.checked(121));
        CheckRadioButton(d.hwnd(), 120, 122, 999);
        EXPECT_FALSE(d.checked(120) || d.checked(121) || d.checked(122));
        d.escape();
    });
}

TEST_F(DialogManager, PlainCheckBoxOnlyNotifiesAndTheProcedureTogglesIt) {
    run(9101, [&](Driver& d) {
        d.click(110);
        EXPECT_TRUE(d.checked(110)) << "toggled once, by the procedure";
        EXPECT_EQ(1u, g_dlg.commandsWith(110, BN_CLICKED).size());
        d.click(111);
        EXPECT_TRUE(d.checked(111)) << "the automatic kind toggles itself";
        SetFocus(d.item(111));
        d.key(VK_SPACE);
        EXPECT_FALSE(d.checked(111)) << "Space presses the focused button";
        d.escape();
    });
}

TEST_F(DialogManager, MnemonicsActOnTheirControls) {
    run(9101, [&](Driver& d) {
        SetFocus(d.item(1));
        d.key('N', pt::kAlt); // the label passes the focus to the edit after it
        EXPECT_EQ(100, focusId());
        d.key('I', pt::kAlt);
        EXPECT_TRUE(d.checked(111));
        EXPECT_EQ(111, focusId());
        // A letter alone works when the focus control takes no characters.
        d.key('M');
        EXPECT_TRUE(d.checked(121));
        // ...but in an edit it is typed.
        SetFocus(d.item(100));
        d.key('G');
        EXPECT_EQ("g", d.text(100));
        EXPECT_FALSE(d.checked(110));
        d.escape();
    });
}

struct KeyCase {
    const char* what;
    int focus;
    std::vector<int> keys;
    INT_PTR expected;
};

TEST_F(DialogManager, EnterAndEscapeRules) {
    const KeyCase cases[] = {
        {"Enter in an edit: the default button", 100, {VK_RETURN}, IDOK},
        {"Enter on a push button clicks it", 2, {VK_RETURN}, IDCANCEL},
        {"Escape sends IDCANCEL", 100, {VK_ESCAPE}, IDCANCEL},
        {"Enter in a wanting-return edit stays there", 150, {VK_RETURN, VK_ESCAPE}, IDCANCEL},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.what);
        g_dlg = kvtest::DialogRecord{};
        std::string multiText;
        const INT_PTR r = run(9101, [&](Driver& d) {
            SetFocus(d.item(c.focus));
            for (int k : c.keys) {
                if (!d.ended())
                    d.key(k);
            }
            multiText = d.text(150);
        });
        EXPECT_EQ(c.expected, r);
        if (c.focus == 150) {
            EXPECT_EQ("\r\n", multiText);
        }
    }
}

TEST_F(DialogManager, EscapeAndCloseSendCancelEvenWithoutAControlTwo) {
    g_dlg.ignoreOkCancel = true;
    const INT_PTR r = run(9102, [&](Driver& d) {
        d.escape();
        d.close();
        EXPECT_FALSE(d.ended()) << "the procedure ignores IDOK and IDCANCEL";
        // Disabling the focused button leaves no focus and no default button: Enter sends IDOK.
        EnableWindow(d.item(300), FALSE);
        d.enter();
        EnableWindow(d.item(300), TRUE);
        d.click(300);
    });
    EXPECT_EQ(300, r);
    const auto cancels = g_dlg.commandsWith(IDCANCEL, BN_CLICKED);
    ASSERT_EQ(2u, cancels.size());
    EXPECT_EQ(nullptr, cancels[0].control);
    const auto oks = g_dlg.commandsWith(IDOK, BN_CLICKED);
    ASSERT_EQ(1u, oks.size()) << "Enter without a default button sends IDOK";
    EXPECT_EQ(nullptr, oks[0].control);
}

// A dialog answers its keys from its first moment, whatever it did to the control that has the
// focus: its initialisation disabled the first tab stops, the program put the focus on a disabled
// control, or the control a queued key was for was disabled before the key was taken. The first
// focus is the first enabled tab stop; Escape, Enter and Tab reach the dialog, with no beep.
TEST_F(DialogManager, KeysReachTheDialogWhenTheFocusedControlIsDisabled) {
    struct Case {
        const char* what;
        std::vector<int> disabledAtInit;
        std::function<void(Driver&)> before; // after the first focus is checked
        int key;
        int focusAtStart;
        INT_PTR expected;
        int focusAfter = 0; // for a key that leaves the dialog open
    };
    const auto focusOnDisabledEdit = [](Driver& d) {
        EnableWindow(d.item(100), FALSE);
        SetFocus(d.item(100));
    };
    const auto disableAfterQueuing = [](Driver& d) {
        pt::key(VK_ESCAPE);
        GetQueueStatus(QS_ALLINPUT); // the key is read for the edit
        EnableWindow(d.item(100), FALSE);
    };
    const Case cases[] = {
        {"the first tab stop disabled at init: Escape", {100}, nullptr, VK_ESCAPE, 110, IDCANCEL},
        {"the first three disabled at init: Enter", {100, 110, 111}, nullptr, VK_RETURN, 120, IDOK},
        {"focus on a disabled control: Escape", {}, focusOnDisabledEdit, VK_ESCAPE, 100, IDCANCEL},
        {"focus on a disabled control: Enter", {}, focusOnDisabledEdit, VK_RETURN, 100, IDOK},
        {"focus on a disabled control: Tab", {}, focusOnDisabledEdit, VK_TAB, 100, -1, 110},
        {"a key queued for a control disabled before it is taken",
         {},
         disableAfterQueuing,
         0,
         100,
         IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_dlg = kvtest::DialogRecord{};
        g_dlg.disabledAtInit = c.disabledAtInit;
        const std::size_t beeps = pt::beeps().size();
        int focusAtStart = 0;
        int focusAfter = 0;
        bool endedByKey = false;
        const INT_PTR r = run(9101, [&](Driver& d) {
            focusAtStart = focusId();
            if (c.before)
                c.before(d);
            if (c.key != 0)
                pt::key(c.key);
            d.pump();
            endedByKey = d.ended();
            focusAfter = focusId();
            if (!d.ended())
                d.click(IDCANCEL);
        });
        EXPECT_EQ(focusAtStart, c.focusAtStart);
        EXPECT_EQ(pt::beeps().size(), beeps);
        if (c.expected < 0) {
            EXPECT_FALSE(endedByKey);
            EXPECT_EQ(focusAfter, c.focusAfter);
        } else {
            EXPECT_TRUE(endedByKey);
            EXPECT_EQ(r, c.expected);
        }
    }
}

TEST_F(DialogManager, DialogBoxParamResults) {
    // No template, or a control that cannot be made: -1, and nothing is left disabled.
    HWND owner = top("Main");
    EXPECT_EQ(-1, DialogBoxParam(nullptr, MAKEINTRESOURCE(9999), owner, &kvtest::sampleProc, 0));
    EXPECT_EQ(-1, DialogBoxParam(nullptr, MAKEINTRESOURCE(9103), owner, &kvtest::sampleProc, 0));
    EXPECT_TRUE(IsWindowEnabled(owner));

    // The owner is disabled during the run only.
    bool ownerEnabledInside = true;
    EXPECT_EQ(IDOK, run(
                        9101,
                        [&](Driver& d) {
                            ownerEnabledInside = IsWindowEnabled(owner) != FALSE;
                            d.click(IDOK);
                        },
                        owner));
    EXPECT_FALSE(ownerEnabledInside);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ("", pt::expectSubsequence({"'Main' WM_ENABLE enable=0", "'Exemple' WM_INITDIALOG",
                                         "'Main' WM_ENABLE enable=1", "'Exemple' WM_DESTROY"}));

    // A quit request ends the run with 0 and is posted again for the outer loop.
    EXPECT_EQ(0, run(9101, [](Driver&) { PostQuitMessage(5); }));
    MSG m;
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(WM_QUIT, m.message);
    EXPECT_EQ(5u, m.wParam);
}

// Every modal run, a dialog or a message box: input queued for its owner or for another window
// before the run (a burst read at once), and input for them during it, reaches neither; presses
// beep, and the window manager's close of the other window is refused. The other window is one
// that nothing disables (as a palette would be). Paint and timers still reach both.
TEST_F(DialogManager, WindowsBehindAModalRunTakeNoInputWhilePaintAndTimersGoOn) {
    using During = std::function<void()>;
    struct Case {
        const char* name;
        std::function<void(HWND owner, const During& during)> run;
    };
    const Case cases[] = {
        {"dialog",
         [this](HWND owner, const During& during) {
             EXPECT_EQ(IDOK, run(
                                 9101,
                                 [&](Driver& d) {
                                     during();
                                     d.pump();
                                     d.click(IDOK);
                                 },
                                 owner));
         }},
        {"message box",
         [](HWND owner, const During& during) {
             pt::onMessageBox([&](const pt::MessageBoxCall&) {
                 during();
                 pt::key(VK_RETURN);
                 return pt::kShowBox;
             });
             EXPECT_EQ(IDOK, MessageBox(owner, "Texte", "Titre", MB_OK));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s_received.clear();
        const HWND owner = top("Main", 20, 40, 200, 150);
        const HWND other = top("Other", 1000, 800, 120, 100);
        SetActiveWindow(owner);
        SetFocus(owner);
        pt::runUntilIdle();
        s_received.clear();
        // Read before the run starts, as the events of a burst are.
        pt::key('Q');
        pt::click(other, 10, 10);
        pt::closeRequest(other);
        GetQueueStatus(QS_ALLINPUT);
        const std::size_t beeps = pt::beeps().size();
        c.run(owner, [&] {
            pt::click(other, 20, 20);
            pt::click(owner, 20, 20);
            pt::closeRequest(other);
            SetTimer(other, 7, 10, nullptr);
            InvalidateRect(other, nullptr, TRUE);
            InvalidateRect(owner, nullptr, TRUE);
            pt::advanceClock(50);
        });
        pt::runUntilIdle();
        for (const UINT m : {WM_KEYDOWN, WM_CHAR, WM_LBUTTONDOWN, WM_LBUTTONUP}) {
            EXPECT_TRUE(gotBy(owner, m).empty()) << m;
            EXPECT_TRUE(gotBy(other, m).empty()) << m;
        }
        EXPECT_TRUE(IsWindow(other));
        EXPECT_TRUE(gotBy(other, WM_CLOSE).empty());
        // The queued press and close, the two presses during the run and the close refused then.
        EXPECT_GE(pt::beeps().size(), beeps + 5);
        EXPECT_FALSE(gotBy(other, WM_TIMER).empty());
        EXPECT_FALSE(gotBy(other, WM_PAINT).empty());
        EXPECT_FALSE(gotBy(owner, WM_PAINT).empty());
        // After the run both take input again.
        s_received.clear();
        pt::click(other, 10, 10);
        pt::runUntilIdle();
        EXPECT_FALSE(gotBy(other, WM_LBUTTONDOWN).empty());
        DestroyWindow(other);
        DestroyWindow(owner);
        pt::runUntilIdle();
    }
}

TEST_F(DialogManager, TheDriverNeverHangs) {
    // No script: the test fails naming the dialog, which ends with Cancel.
    INT_PTR r = 0;
    EXPECT_NONFATAL_FAILURE(
        r = DialogBoxParam(nullptr, MAKEINTRESOURCE(9101), nullptr, &kvtest::sampleProc, 0),
        "dialog 9101 opened with no script");
    EXPECT_EQ(IDCANCEL, r);
    // A script that leaves the dialog open; the procedure even ignores Cancel.
    g_dlg.ignoreOkCancel = true;
    EXPECT_NONFATAL_FAILURE(r = run(9102, [](Driver&) {}), "still open after its script");
    EXPECT_EQ(IDCANCEL, r);
    // A missing control fails the test and the script goes on.
    EXPECT_NONFATAL_FAILURE(r = run(9102,
                                    [](Driver& d) {
                                        d.click(12345);
                                        d.click(300);
                                    }),
                            "has no control 12345");
    EXPECT_EQ(300, r);
}

TEST_F(DialogManager, NestedDialogsEachRunTheirOwnScript) {
    int inner = 0;
    const INT_PTR r = run(9101, [&](Driver& d) {
        pt::onDialog(9102, [](Driver& d2) { d2.click(300); });
        inner = static_cast<int>(
            DialogBoxParam(nullptr, MAKEINTRESOURCE(9102), d.hwnd(), &kvtest::sampleProc, 0));
        EXPECT_TRUE(IsWindowEnabled(d.hwnd())) << "the inner run re-enables the outer dialog";
        d.click(IDCANCEL);
    });
    EXPECT_EQ(300, inner);
    EXPECT_EQ(IDCANCEL, r);
}

TEST_F(DialogManager, ModelessDialogShowsOnlyWithWsVisibleAndHandlesItsKeys) {
    HWND hidden =
        CreateDialogParam(nullptr, MAKEINTRESOURCE(9102), nullptr, &kvtest::sampleProc, 0);
    ASSERT_NE(nullptr, hidden);
    EXPECT_FALSE(IsWindowVisible(hidden));
    HWND shown = CreateDialogParam(nullptr, MAKEINTRESOURCE(9104), nullptr, &kvtest::sampleProc, 0);
    ASSERT_NE(nullptr, shown);
    EXPECT_TRUE(IsWindowVisible(shown));
    EXPECT_EQ(501, focusId());
    // A modeless loop uses IsDialogMessage too.
    pt::key(VK_TAB);
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessage(shown, &m)) {
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
    }
    EXPECT_EQ(502, focusId());
    EXPECT_EQ(nullptr,
              CreateDialogParam(nullptr, MAKEINTRESOURCE(9999), nullptr, &kvtest::sampleProc, 0));
    DestroyWindow(hidden);
    DestroyWindow(shown);
}

TEST_F(DialogManager, DlgItemIntAndTextHelpers) {
    run(9101, [&](Driver& d) {
        HWND dlg = d.hwnd();
        SetDlgItemInt(dlg, 100, static_cast<UINT>(-42), TRUE);
        EXPECT_EQ("-42", d.text(100));
        BOOL ok = FALSE;
        EXPECT_EQ(-42, static_cast<int>(GetDlgItemInt(dlg, 100, &ok, TRUE)));
        EXPECT_TRUE(ok);
        struct IntCase {
            const char* text;
            BOOL isSigned;
            bool ok;
            UINT value;
        };
        const IntCase cases[] = {
            {" 17 ", FALSE, true, 17},
            {"12x", TRUE, false, 0},
            {"-5", FALSE, false, 0},
            {"", TRUE, false, 0},
            {"4294967295", FALSE, true, 4294967295u},
            {"2147483648", TRUE, false, 0},
            {"-2147483648", TRUE, true, 0x80000000u},
        };
        for (const IntCase& c : cases) {
            SCOPED_TRACE(c.text);
            SetDlgItemText(dlg, 100, c.text);
            ok = 7;
            EXPECT_EQ(c.value, GetDlgItemInt(dlg, 100, &ok, c.isSigned));
            EXPECT_EQ(c.ok, ok == TRUE);
        }
        char small[4] = "xyz";
        SetDlgItemText(dlg, 100, "abcdef");
        EXPECT_EQ(3u, GetDlgItemText(dlg, 100, small, sizeof small));
        EXPECT_STREQ("abc", small);
        EXPECT_EQ(0u, GetDlgItemText(dlg, 4242, small, sizeof small));
        EXPECT_STREQ("", small);
        EXPECT_EQ(nullptr, GetDlgItem(dlg, 4242));
        EXPECT_EQ(0, SendDlgItemMessage(dlg, 4242, BM_GETCHECK, 0, 0));
        d.escape();
    });
}

TEST_F(DialogManager, ControlColourMessagesPaintTheBackgrounds) {
    // A procedure that paints its dialog white, as the splash does.
    static HBRUSH white = nullptr;
    white = GetSysColorBrush(COLOR_WINDOW);
    auto proc = [](HWND d, UINT msg, WPARAM wp, LPARAM lp) -> INT_PTR {
        if (msg == WM_CTLCOLORDLG || msg == WM_CTLCOLORSTATIC)
            return reinterpret_cast<INT_PTR>(white);
        return kvtest::sampleProc(d, msg, wp, lp);
    };
    pt::onDialog(9102, [](Driver& d) {
        const pt::Image img = pt::pixels(d.hwnd());
        EXPECT_EQ(0xFFFFFFu, img.at(2, 2)) << "dialog background";
        EXPECT_EQ(0xFFFFFFu, img.at(16 + 198, 16 + 6)) << "static background";
        d.click(300);
    });
    EXPECT_EQ(300, DialogBoxParam(nullptr, MAKEINTRESOURCE(9102), nullptr, proc, 0));
    EXPECT_FALSE(pt::journalLines("WM_CTLCOLORDLG").empty());
    // Unhandled, the background is the button face.
    run(9102, [](Driver& d) {
        const pt::Image img = pt::pixels(d.hwnd());
        EXPECT_EQ(0xC0C0C0u, img.at(2, 2));
        d.click(300);
    });
}

} // namespace

namespace {

using namespace plat;
namespace pt = plat::testing;

class MessageBoxOnDialogs : public kvtest::DlgTest {};

TEST_F(MessageBoxOnDialogs, TheBoxIsADialogWithAWrappedStaticAndRealButtons) {
    static std::string s_path;
    s_path = std::string(::testing::TempDir()) + "/messagebox.png";
    std::string longText;
    for (int i = 0; i < 60; ++i)
        longText += "Le fichier est prot\xE9g\xE9 en \xE9"
                    "criture. ";
    pt::onMessageBox([](const pt::MessageBoxCall&) {
        SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            HWND box = pt::findWindow("KvMessageBox");
            ASSERT_NE(nullptr, box);
            RECT client;
            GetClientRect(box, &client);
            // The text wraps at 5/8 of the screen width (1200 px) plus the icon and margins.
            EXPECT_LE(client.right, 1200 + 12 + 32 + 12 + 12 + 1);
            EXPECT_GT(client.right, 600);
            HWND text = GetWindow(box, GW_CHILD);
            ASSERT_NE(nullptr, text);
            char cls[16] = {};
            GetClassName(text, cls, sizeof cls);
            EXPECT_STREQ("STATIC", cls);
            RECT tr;
            GetClientRect(text, &tr);
            EXPECT_GT(tr.bottom, 3 * 13) << "several lines";
            EXPECT_NE(nullptr, GetDlgItem(box, IDYES));
            EXPECT_NE(nullptr, GetDlgItem(box, IDNO));
            EXPECT_EQ(nullptr, GetDlgItem(box, IDCANCEL));
            EXPECT_TRUE(pt::savePng(box, s_path));
            pt::key(VK_TAB);
            pt::key(VK_RETURN);
        });
        return pt::kShowBox;
    });
    EXPECT_EQ(IDNO, MessageBox(nullptr, longText.c_str(), "Korvaline", MB_YESNO | MB_ICONQUESTION));
    std::printf("snapshot: %s\n", s_path.c_str());
}

// A box raised while a control (or a plain window) has the keyboard gives it back when it closes,
// whatever the box's owner; a control destroyed, disabled or hidden while the box was up leaves
// the keyboard on the dialog's first tab stop. Then the next key reaches the control.
TEST_F(MessageBoxOnDialogs, TheKeyboardGoesBackToTheWindowThatHadIt) {
    enum class Meanwhile { nothing, destroy, disable, hide };
    struct Case {
        const char* what;
        int control; // 0: a child window of a plain top-level window
        bool dialogOwner;
        UINT type;
        Meanwhile meanwhile;
        int expected; // the control with the keyboard afterwards
        int key;
        std::function<void(HWND dlg)> check; // what the key did
    };
    const auto listRowIs = [](int row) {
        return [row](HWND dlg) { EXPECT_EQ(row, SendDlgItemMessage(dlg, 130, LB_GETCURSEL, 0, 0)); };
    };
    const auto textIs = [](int id, const char* expected) {
        return [id, expected](HWND dlg) {
            char text[8] = {};
            GetDlgItemText(dlg, id, text, sizeof text);
            EXPECT_STREQ(expected, text);
        };
    };
    const std::vector<Case> cases{
        {"the list", 130, true, MB_OK | MB_ICONHAND, Meanwhile::nothing, 130, VK_DOWN, listRowIs(2)},
        {"the list, a box of no owner", 130, false, MB_OK, Meanwhile::nothing, 130, VK_DOWN,
         listRowIs(2)},
        {"the list, a task-modal box", 130, false, MB_OK | MB_TASKMODAL, Meanwhile::nothing, 130,
         VK_DOWN, listRowIs(2)},
        {"the list, a box of three buttons", 130, true, MB_YESNOCANCEL, Meanwhile::nothing, 130,
         VK_END, listRowIs(19)},
        {"the combo box", 140, true, MB_OKCANCEL, Meanwhile::nothing, 140, VK_DOWN,
         [](HWND dlg) { EXPECT_EQ(2, SendDlgItemMessage(dlg, 140, CB_GETCURSEL, 0, 0)); }},
        {"the multi-line edit", 150, true, MB_OK, Meanwhile::nothing, 150, 'Q', textIs(150, "q")},
        {"a check box", 111, true, MB_OK, Meanwhile::nothing, 111, VK_SPACE,
         [](HWND dlg) { EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dlg, 111)); }},
        {"the first edit", 100, true, MB_OK, Meanwhile::nothing, 100, 'Z', textIs(100, "z")},
        {"the list, destroyed meanwhile", 130, true, MB_OK, Meanwhile::destroy, 100, 'Z',
         textIs(100, "z")},
        {"the list, disabled meanwhile", 130, true, MB_OK, Meanwhile::disable, 100, 'Z',
         textIs(100, "z")},
        {"the list, hidden meanwhile", 130, true, MB_OK, Meanwhile::hide, 100, 'Z',
         textIs(100, "z")},
    };
    static Meanwhile s_meanwhile;
    static HWND s_target;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        s_meanwhile = c.meanwhile;
        run(9101, [&](Driver& d) {
            s_target = d.item(c.control);
            SetFocus(s_target);
            ASSERT_EQ(s_target, GetFocus());
            // Inside the box's run: what happens meanwhile, then Enter closes the box.
            pt::onMessageBox([](const pt::MessageBoxCall&) {
                SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR id, DWORD) {
                    KillTimer(nullptr, id);
                    EXPECT_NE(s_target, GetFocus());
                    if (s_meanwhile == Meanwhile::destroy)
                        DestroyWindow(s_target);
                    else if (s_meanwhile == Meanwhile::disable)
                        EnableWindow(s_target, FALSE);
                    else if (s_meanwhile == Meanwhile::hide)
                        ShowWindow(s_target, SW_HIDE);
                    pt::key(VK_RETURN);
                });
                return pt::kShowBox;
            });
            MessageBox(c.dialogOwner ? d.hwnd() : nullptr, "Erreur", "K", c.type);
            d.pump();
            EXPECT_EQ(d.item(c.expected), GetFocus());
            EXPECT_FALSE(d.ended());
            d.key(c.key);
            c.check(d.hwnd());
            EXPECT_FALSE(d.ended()) << "the key reached a control, not the dialog's buttons";
            d.escape();
        });
    }
    // A child of a plain window (a document window in the frame): the box of its top-level
    // window gives the keyboard back to the child, whose keys then arrive.
    const HWND main = top("Main");
    const HWND inside = child(main, 7, 10, 10, 50, 50);
    SetFocus(inside);
    pt::runUntilIdle();
    pt::onMessageBox([](const pt::MessageBoxCall&) {
        pt::key(VK_RETURN);
        return pt::kShowBox;
    });
    EXPECT_EQ(IDOK, MessageBox(main, "Erreur", "K", MB_OK));
    pt::runUntilIdle();
    EXPECT_EQ(inside, GetFocus());
    kvtest::WinTest::s_received.clear();
    pt::key(VK_DOWN);
    pt::runUntilIdle();
    ASSERT_FALSE(gotBy(inside, WM_KEYDOWN).empty());
    EXPECT_EQ(static_cast<WPARAM>(VK_DOWN), gotBy(inside, WM_KEYDOWN).front().wParam);
}

} // namespace

namespace {

using namespace plat;
namespace pt = plat::testing;

class KeyCapture : public kvtest::DlgTest {};

WNDPROC s_previous = nullptr;
std::vector<int> s_captured;

LRESULT captureProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_GETDLGCODE)
        return DLGC_WANTALLKEYS;
    if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) {
        s_captured.push_back(static_cast<int>(wp));
        return 0;
    }
    if (msg == WM_CHAR || msg == WM_SYSCHAR || msg == WM_KEYUP || msg == WM_SYSKEYUP)
        return 0;
    return CallWindowProc(s_previous, h, msg, wp, lp);
}

TEST_F(KeyCapture, AControlWantingAllKeysGetsTabEnterEscapeAndAltLetters) {
    s_captured.clear();
    const INT_PTR r = run(9101, [](pt::DialogDriver& d) {
        HWND e = d.item(100);
        s_previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtr(e, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&captureProc)));
        SetFocus(e);
        d.key(VK_TAB);
        d.key(VK_RETURN);
        d.key(VK_ESCAPE);
        d.key('G', pt::kAlt); // not the "&Gras" mnemonic while capturing
        EXPECT_FALSE(d.ended());
        EXPECT_EQ(100, focusId());
        EXPECT_FALSE(d.checked(110));
        SetWindowLongPtr(e, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(s_previous));
        d.escape();
    });
    EXPECT_EQ(IDCANCEL, r);
    EXPECT_EQ((std::vector<int>{VK_TAB, VK_RETURN, VK_ESCAPE, VK_MENU, 'G'}), s_captured);
}

} // namespace

namespace {

using namespace plat;
namespace pt = plat::testing;

class LabelClicks : public kvtest::DlgTest {};

TEST_F(LabelClicks, StaticsAndGroupBoxesLetClicksThroughToTheDialog) {
    run(9101, [](pt::DialogDriver& d) {
        pt::clearJournal();
        d.clickClient(20, 20);   // on the label "&Nom :"
        d.clickClient(176, 130); // inside the group box, below the radio buttons
        d.clickClient(30, 240);  // on the wrapped label
        EXPECT_EQ("", pt::expectSubsequence({"'Exemple' WM_LBUTTONDOWN x=20 y=20",
                                             "'Exemple' WM_LBUTTONDOWN x=176 y=130",
                                             "'Exemple' WM_LBUTTONDOWN x=30 y=240"}));
        // A click on a radio inside the group box still reaches the radio.
        d.clickClient(180, 86);
        EXPECT_TRUE(d.checked(121));
        d.escape();
    });
}

} // namespace

namespace {

// Termination signals: the handler only notes the signal; the loop that runs serves it.
int s_servedSignal = 0;
bool s_dialogUpWhenServed = false;
HWND s_runningDialog = nullptr;

void serveSignal(int signal) {
    s_servedSignal = signal;
    s_dialogUpWhenServed = s_runningDialog != nullptr && IsWindowVisible(s_runningDialog);
}

TEST_F(DialogManager, ATerminationSignalIsServedByTheModalLoopThatRuns) {
    s_servedSignal = 0;
    s_dialogUpWhenServed = false;
    plat::SetTerminationSignalHandler(&serveSignal);
    EXPECT_EQ(IDOK, run(9101, [](Driver& d) {
                  s_runningDialog = d.hwnd();
                  std::raise(SIGTERM);
                  EXPECT_EQ(0, s_servedSignal) << "served inside the signal handler";
                  d.click(IDOK);
              }));
    s_runningDialog = nullptr;
    plat::SetTerminationSignalHandler(nullptr);
    EXPECT_EQ(SIGTERM, s_servedSignal);
    EXPECT_TRUE(s_dialogUpWhenServed);
}

// Work that looks at no signal: spins until the process has used `seconds` of processor time.
void spinFor(double seconds) {
    for (;;) {
        timespec used{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
        if (static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9 >= seconds)
            return;
    }
}

// A program that cannot answer never swallows the signal: a first one left unserved for a second
// of its processor time ends it the default way, whether a second one came meanwhile or not.
TEST(TerminationSignals, ASecondSignalOrAnUnservedOneEndsTheProgram) {
    for (const bool twice : {true, false}) {
        SCOPED_TRACE(twice ? "a second signal" : "no loop serves the first");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            plat::SetTerminationSignalHandler(&serveSignal);
            std::raise(SIGTERM);
            if (twice)
                std::raise(SIGTERM);
            // Stuck outside any message loop for five seconds of work.
            spinFor(5);
            _exit(7);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    }
}

// Long work that has seen the signal acknowledges it and unwinds: the unwinding (a large tree
// freed) may take longer than the first second, and the loop that runs next still serves the
// signal. Until then the signal stays pending, so that every poll on the way out stops its work
// too.
void serveAtOnce(int) {
    _exit(5);
}

// A call that cannot look at the signal (a flush to a slow disk) counts as answered too, whether
// the signal came before it or while it ran.
TEST(TerminationSignals, AnAcknowledgedSignalWaitsForTheLoopBeyondTheFirstSecond) {
    enum class Answer { acknowledged, duringCall, beforeCall };
    for (const Answer answer : {Answer::acknowledged, Answer::duringCall, Answer::beforeCall}) {
        SCOPED_TRACE(static_cast<int>(answer));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            plat::SetTerminationSignalHandler(&serveAtOnce);
            // More than the first second of work, which ends a program that has not answered.
            const auto busy = [] { spinFor(1.6); };
            if (answer == Answer::duringCall) {
                const plat::UninterruptibleCall call;
                std::raise(SIGTERM);
                busy();
            } else if (answer == Answer::beforeCall) {
                std::raise(SIGTERM);
                const plat::UninterruptibleCall call;
                busy();
            } else {
                std::raise(SIGTERM);
                plat::AcknowledgeTerminationSignal();
                busy();
            }
            if (!plat::TerminationSignalPending())
                _exit(8);
            MSG msg;
            plat::PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
            _exit(7);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 5) << "status " << status;
    }
}

// Once the program starts its ending it has more than the first second to finish it (it writes
// what must be kept), and further signals wait for it: a second Ctrl+C never cuts the keeping of
// the documents short, though a line on stderr says the program is still at it. Long work sees
// the signal waiting; the ending itself does not.
void serveSlowly(int) {
    if (plat::TerminationSignalPending())
        _exit(6);
    spinFor(2);
    _exit(5);
}

void serveAndSignalAgain(int) {
    std::raise(SIGTERM);
    std::raise(SIGINT);
    timespec ts{0, 200'000'000};
    while (nanosleep(&ts, &ts) != 0) {
    }
    _exit(6);
}

TEST(TerminationSignals, TheEndingHasAGraceOfItsOwnThatFurtherSignalsWaitFor) {
    for (const bool again : {false, true}) {
        SCOPED_TRACE(again ? "more signals during the ending" : "an ending of two seconds");
        int err[2];
        ASSERT_EQ(0, pipe(err));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(err[1], STDERR_FILENO);
            plat::SetTerminationSignalHandler(again ? &serveAndSignalAgain : &serveSlowly);
            std::raise(SIGTERM);
            if (!plat::TerminationSignalPending())
                _exit(8);
            MSG msg;
            plat::PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
            _exit(7);
        }
        ::close(err[1]);
        const std::string said = ReadUntilClosed(err[0]);
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (again ? 6 : 5))
            << "status " << status;
        EXPECT_EQ(said.find("please wait") != std::string::npos, again) << said;
    }
}

} // namespace
