#include "platform/WinFixture.h"
#include "plat/Font.h"
#include "support/CodePageScope.h"

#include <gtest/gtest-spi.h>

namespace {

using namespace kvtest;
namespace pt = plat::testing;
using plat::HWND;

class MessageBox : public WinTest {};

TEST_F(MessageBox, TheHookAnswersAndRecordsEachCall) {
    HWND owner = top("Main");
    pt::onMessageBox([&](const pt::MessageBoxCall& c) {
        EXPECT_EQ(owner, c.owner);
        EXPECT_EQ("Fichier introuvable", c.text);
        return plat::IDRETRY;
    });
    pt::onMessageBox([](const pt::MessageBoxCall&) { return plat::IDNO; });
    EXPECT_EQ(plat::IDRETRY, plat::MessageBox(owner, "Fichier introuvable", "Korvaline",
                                              plat::MB_RETRYCANCEL | plat::MB_ICONHAND));
    EXPECT_EQ(plat::IDNO, plat::MessageBox(nullptr, "Enregistrer ?", "Korvaline", plat::MB_YESNO));
    ASSERT_EQ(2u, pt::messageBoxes().size());
    EXPECT_EQ(plat::MB_RETRYCANCEL | plat::MB_ICONHAND, pt::messageBoxes()[0].type);
    EXPECT_EQ("Korvaline", pt::messageBoxes()[1].caption);
}

TEST_F(MessageBox, AStaleOwnerDoesNotLoseTheMessage) {
    HWND gone = top("Gone");
    plat::DestroyWindow(gone);
    pt::onMessageBox([](const pt::MessageBoxCall& c) {
        EXPECT_EQ(nullptr, c.owner);
        return plat::IDOK;
    });
    EXPECT_EQ(plat::IDOK, plat::MessageBox(gone, "Encore l\xE0", "K", plat::MB_OK));
    EXPECT_EQ(1u, pt::messageBoxes().size());
    EXPECT_EQ(1u, s_diagnostics.size());
}

TEST_F(MessageBox, AnUnscriptedBoxFailsTheTestAndNeverHangs) {
    int r = 0;
    EXPECT_NONFATAL_FAILURE(r = plat::MessageBox(nullptr, "Surprise", "K", plat::MB_OKCANCEL),
                            "Surprise");
    EXPECT_EQ(plat::IDCANCEL, r);
    EXPECT_NONFATAL_FAILURE(r = plat::MessageBox(nullptr, "Info", "K", plat::MB_OK), "Info");
    EXPECT_EQ(plat::IDOK, r);
}

struct KeyAnswer {
    const char* what;
    plat::UINT type;
    std::vector<int> keys;
    int expected;
};

TEST_F(MessageBox, TheRealBoxAnswersTheKeyboard) {
    const KeyAnswer cases[] = {
        {"Escape cancels", plat::MB_OKCANCEL, {plat::VK_ESCAPE}, plat::IDCANCEL},
        {"Escape on an OK box is OK", plat::MB_OK, {plat::VK_ESCAPE}, plat::IDOK},
        {"Enter takes the default button",
         plat::MB_YESNO | plat::MB_DEFBUTTON2,
         {plat::VK_RETURN},
         plat::IDNO},
        {"Enter on the first button", plat::MB_YESNOCANCEL, {plat::VK_RETURN}, plat::IDYES},
        {"Tab moves to the next button",
         plat::MB_OKCANCEL,
         {plat::VK_TAB, plat::VK_RETURN},
         plat::IDCANCEL},
        {"Escape does nothing without Cancel",
         plat::MB_YESNO,
         {plat::VK_ESCAPE, plat::VK_RIGHT, plat::VK_SPACE},
         plat::IDNO},
        {"third default",
         plat::MB_YESNOCANCEL | plat::MB_DEFBUTTON3,
         {plat::VK_RETURN},
         plat::IDCANCEL},
        {"retry", plat::MB_RETRYCANCEL, {plat::VK_RETURN}, plat::IDRETRY},
    };
    for (const KeyAnswer& c : cases) {
        SCOPED_TRACE(c.what);
        pt::onMessageBox([&](const pt::MessageBoxCall&) {
            for (int k : c.keys)
                pt::key(k);
            return pt::kShowBox;
        });
        EXPECT_EQ(c.expected, plat::MessageBox(nullptr, "Question", "K", c.type));
        EXPECT_EQ(nullptr, pt::findWindow("KvMessageBox")) << "the box is gone";
    }
}

TEST_F(MessageBox, TheOwnerIsDisabledDuringTheRunOnly) {
    HWND owner = top("Main");
    HWND child1 = child(owner, 1, 0, 0, 10, 10);
    plat::SetFocus(child1);
    run();
    pt::onMessageBox([&](const pt::MessageBoxCall&) {
        pt::key(plat::VK_RETURN);
        return pt::kShowBox;
    });
    EXPECT_EQ(plat::IDOK, plat::MessageBox(owner, "Erreur", "K", plat::MB_OK | plat::MB_ICONHAND));
    // The journal shows the owner disabled, then enabled again after the box.
    EXPECT_EQ("", pt::expectSubsequence({"'Main' WM_ENABLE enable=0", "'K' WM_CREATE",
                                         "'K' WM_KEYDOWN vk=0x0D", "'Main' WM_ENABLE enable=1",
                                         "'K' WM_DESTROY"}));
    EXPECT_TRUE(plat::IsWindowEnabled(owner));
    EXPECT_EQ(owner, plat::GetActiveWindow());
    ASSERT_FALSE(pt::beeps().empty());
    EXPECT_EQ(plat::MB_ICONHAND, pt::beeps().back()) << "the beep matches the icon";
}

TEST_F(MessageBox, TaskModalDisablesEveryWindowAndRestoresOnlyThose) {
    HWND a = top("A");
    HWND b = top("B", 400);
    HWND c = top("C", 700);
    plat::EnableWindow(c, plat::FALSE); // disabled before: must stay so
    run();
    pt::clearJournal();
    pt::onMessageBox([&](const pt::MessageBoxCall&) {
        pt::key(plat::VK_ESCAPE);
        return pt::kShowBox;
    });
    EXPECT_EQ(plat::IDOK, plat::MessageBox(nullptr, "Tout", "K", plat::MB_OK | plat::MB_TASKMODAL));
    EXPECT_EQ("", pt::expectSubsequence({"'A' WM_ENABLE enable=0", "'K' WM_CREATE"}));
    EXPECT_EQ("", pt::expectSubsequence({"'B' WM_ENABLE enable=0", "'K' WM_CREATE"}));
    EXPECT_TRUE(pt::journalLines("'C' WM_ENABLE").empty());
    EXPECT_TRUE(plat::IsWindowEnabled(a));
    EXPECT_TRUE(plat::IsWindowEnabled(b));
    EXPECT_FALSE(plat::IsWindowEnabled(c));
}

TEST_F(MessageBox, ABoxWithNoInputEndsAsAFailureNotAHang) {
    pt::onMessageBox([](const pt::MessageBoxCall&) { return pt::kShowBox; });
    int r = 0;
    EXPECT_NONFATAL_FAILURE(r = plat::MessageBox(nullptr, "Attente", "K", plat::MB_OKCANCEL),
                            "never come");
    EXPECT_EQ(plat::IDCANCEL, r);
}

TEST_F(MessageBox, TheBoxShowsItsTextAndButtons) {
    pt::onMessageBox([](const pt::MessageBoxCall&) {
        // Snapshot the box while it runs, then answer.
        plat::SetTimer(nullptr, 0, 10, [](HWND, plat::UINT, plat::UINT_PTR id, plat::DWORD) {
            plat::KillTimer(nullptr, id);
            HWND box = pt::findWindow("KvMessageBox");
            ASSERT_NE(nullptr, box);
            const pt::Image img = pt::pixels(box);
            int dark = 0, face = 0;
            for (std::uint32_t p : img.pixels) {
                dark += p == 0;
                face += p == 0xC0C0C0;
            }
            EXPECT_GT(face, img.width * img.height / 2) << "button-face background";
            EXPECT_GT(dark, 20) << "text and button frames are drawn";
            pt::key(plat::VK_ESCAPE);
        });
        return pt::kShowBox;
    });
    EXPECT_EQ(plat::IDCANCEL, plat::MessageBox(nullptr, "Le fichier est prot\xE9g\xE9.", "K",
                                               plat::MB_OKCANCEL | plat::MB_ICONEXCLAMATION));
}

// File names under a box's text are drawn as text of the active code page, the text as
// Windows-1252: the same bytes show the same names under 1252 and 932 when they are ASCII, other
// characters (数式 under 932) when they are not; the text itself is the same under both.
TEST_F(MessageBox, FileNamesAreDrawnInTheCodePage) {
    const std::string text = "Voulez-vous ouvrir ces copies ? Elles ont \xE9t\xE9 gard\xE9"
                             "es quand le programme a \xE9t\xE9 arr\xEAt\xE9.";
    // The box's text and names as drawn, and what the hook was given.
    struct Shown {
        pt::Image text;
        pt::Image names;
        pt::MessageBoxCall call;
    };
    const auto show = [&](plat::UINT codePage, const std::string& names) {
        EXPECT_TRUE(plat::SetActiveCodePage(codePage));
        static Shown shown;
        shown = {};
        pt::onMessageBox([](const pt::MessageBoxCall& call) {
            shown.call = call;
            plat::SetTimer(nullptr, 0, 10, [](HWND, plat::UINT, plat::UINT_PTR id, plat::DWORD) {
                plat::KillTimer(nullptr, id);
                HWND box = pt::findWindow("KvMessageBox");
                ASSERT_NE(nullptr, box);
                shown.text = pt::pixels(plat::GetDlgItem(box, 0xFFFF));
                if (HWND list = plat::GetDlgItem(box, 0xFFFE))
                    shown.names = pt::pixels(list);
                pt::key(plat::VK_RETURN);
            });
            return pt::kShowBox;
        });
        EXPECT_EQ(plat::IDYES, plat::MessageBoxNamingFiles(nullptr, text.c_str(), names.c_str(),
                                                           "K", plat::MB_YESNO));
        return shown;
    };
    const auto ink = [](const pt::Image& img) {
        int dark = 0;
        for (std::uint32_t p : img.pixels)
            dark += p == 0;
        return dark;
    };
    kvtest::CodePageScope restore;
    const std::string ascii = "/home/u/Recovered/eq 1200.pvx\n    -> /home/u/eq.pvx";
    const std::string doubleByte = "/home/u/\x90\x94\x8E\xAE 1200.pvx\n    -> /home/u/\x90\x94\x8E\xAE.pvx";
    const Shown asciiIn1252 = show(1252, ascii);
    const Shown asciiIn932 = show(932, ascii);
    const Shown doubleIn1252 = show(1252, doubleByte);
    const Shown doubleIn932 = show(932, doubleByte);
    EXPECT_EQ(asciiIn932.call.text, text);
    EXPECT_EQ(asciiIn932.call.names, ascii);
    EXPECT_GT(ink(asciiIn1252.names), 50);
    EXPECT_GT(ink(doubleIn932.names), 50);
    EXPECT_EQ(asciiIn1252.names.pixels, asciiIn932.names.pixels);
    EXPECT_NE(doubleIn1252.names.pixels, doubleIn932.names.pixels);
    EXPECT_EQ(asciiIn1252.text.pixels, doubleIn932.text.pixels);
    // Without names the box has its text alone.
    const Shown none = show(932, "");
    EXPECT_TRUE(none.names.pixels.empty());
    EXPECT_EQ(none.text.pixels, asciiIn1252.text.pixels);
}

} // namespace
