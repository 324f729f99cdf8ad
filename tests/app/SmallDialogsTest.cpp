// The small application dialogs on the headless back end: the caller's text shown in the edit box,
// written back on OK (cut to the field), untouched on Cancel; the address box closes only with OK;
// the modal print progress box only with "Annuler".
#include "Dialogs/SmallDialogs.h"

#include "BuiltinResources.h"
#include "Dialogs/DialogFrame.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "plat/Testing.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

DialogText Text(const std::string& text) {
    DialogText field{};
    std::strncpy(field.data(), text.c_str(), field.size() - 1);
    return field;
}

std::string Str(const DialogText& field) {
    return std::string(field.data(), strnlen(field.data(), field.size()));
}

using SmallDialogsTest = kvtest::DialogTestFixture;

struct TextDialog {
    const char* name;
    int id;
    int edit;
    std::function<int32_t(DialogText*)> run;
};

const TextDialog kTextDialogs[] = {
    {"rename", kRenameToolbarDialogId, kRenameToolbarNameItem, &RunRenameToolbarDlg},
    {"printer resolution", kPrinterResolutionDialogId, kPrinterResolutionItem,
     &RunPrinterResolutionDlg},
    {"browser address", kBrowserAddressDialogId, kBrowserAddressItem, &RunBrowserFallbackDlg},
};

TEST_F(SmallDialogsTest, EachShowsTheCallersTextAndOkWritesTheEditedTextBack) {
    for (const TextDialog& c : kTextDialogs) {
        SCOPED_TRACE(c.name);
        DialogText text = Text("Old text");
        // Leftovers past the terminator must not survive the write-back.
        text[200] = 'Z';
        pt::onDialog(c.id, [&](DialogDriver& d) {
            EXPECT_EQ(d.text(c.edit), "Old text");
            d.setText(c.edit, "New");
            d.click(plat::IDOK);
        });
        EXPECT_EQ(c.run(&text), 1);
        EXPECT_EQ(Str(text), "New");
        EXPECT_EQ(text[200], '\0');
    }
}

TEST_F(SmallDialogsTest, ALongTextIsCutToTheFieldAndStaysTerminated) {
    for (const TextDialog& c : kTextDialogs) {
        SCOPED_TRACE(c.name);
        DialogText text = Text("short");
        const std::string longText(400, 'w');
        pt::onDialog(c.id, [&](DialogDriver& d) {
            d.setText(c.edit, longText);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(c.run(&text), 1);
        EXPECT_EQ(Str(text), std::string(kDialogTextSize - 1, 'w'));
        EXPECT_EQ(text.back(), '\0');
    }
}

TEST_F(SmallDialogsTest, CancelLeavesTheBufferAsItWas) {
    for (const TextDialog& c : kTextDialogs) {
        if (c.id == kBrowserAddressDialogId)
            continue; // it has no Cancel
        SCOPED_TRACE(c.name);
        DialogText text = Text("Keep me");
        const DialogText before = text;
        pt::onDialog(c.id, [&](DialogDriver& d) {
            d.setText(c.edit, "Changed");
            d.click(plat::IDCANCEL);
        });
        EXPECT_EQ(c.run(&text), 0);
        EXPECT_EQ(text, before);
    }
}

TEST_F(SmallDialogsTest, TheDefaultPrinterButtonDoesNothing) {
    DialogText text = Text("300");
    pt::onDialog(kPrinterResolutionDialogId, [&](DialogDriver& d) {
        d.click(kPrinterDefaultButton);
        EXPECT_FALSE(d.ended());
        EXPECT_EQ(d.text(kPrinterResolutionItem), "300");
        d.setText(kPrinterResolutionItem, "600");
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunPrinterResolutionDlg(&text), 1);
    EXPECT_EQ(Str(text), "600");
}

TEST_F(SmallDialogsTest, TheAddressBoxClosesOnlyWithOkAndGivesBackWhatItHolds) {
    DialogText address = Text("http://example.invalid/page");
    pt::onDialog(kBrowserAddressDialogId, [&](DialogDriver& d) {
        d.escape();
        EXPECT_FALSE(d.ended());
        d.close();
        EXPECT_FALSE(d.ended());
        d.setText(kBrowserAddressItem, "http://example.invalid/other");
        d.enter();
        EXPECT_TRUE(d.ended());
    });
    EXPECT_EQ(RunBrowserFallbackDlg(&address), 1);
    EXPECT_EQ(Str(address), "http://example.invalid/other");
}

TEST_F(SmallDialogsTest, TheModalPrintProgressBoxEndsOnlyWithAnnuler) {
    pt::onDialog(kPrintProgressDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(d.text(kPrintProgressPageItem), "0  ");
        // Enter never ends it as OK: either it presses the default "Annuler" or nothing happens.
        d.enter();
        if (!d.ended())
            d.click(plat::IDCANCEL);
        EXPECT_TRUE(d.ended());
    });
    EXPECT_EQ(RunPrintProgressDlg(0), 0);
}

TEST_F(SmallDialogsTest, ClickingTheEditsLabelAreaKeepsTheDialogOpen) {
    DialogText name = Text("Palette");
    pt::onDialog(kRenameToolbarDialogId, [&](DialogDriver& d) {
        const plat::RECT r = ScaledLabelRect({17, 45, 255, 55});
        d.clickClient(r.left + 1, r.bottom - 1);
        EXPECT_FALSE(d.ended());
        EXPECT_EQ(d.text(kRenameToolbarNameItem), "Palette");
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunRenameToolbarDlg(&name), 1);
    EXPECT_EQ(Str(name), "Palette");
}

} // namespace
