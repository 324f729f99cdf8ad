// The picture output settings and the symbol font choice, run from their menu items in the
// running program: what OK keeps in general.prf, that Cancel keeps nothing, and what the stored
// resolutions do to the bitmaps, metafiles and EPS files written afterwards.
#include "Dialogs/PicturePrefsDialogs.h"

#include "App/MenuDispatch.h"
#include "Dialogs/DialogFrame.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PFONTS.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/Exports.h"
#include "OverPc/oPixMap.h"
#include "app/AppDocumentFixture.h"
#include "plat/Controls.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "plat/Testing.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace kvtest {
namespace {

namespace fs = std::filesystem;
namespace pt = plat::testing;
using pt::DialogDriver;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(bytes.at(at + static_cast<size_t>(i)));
    return v;
}

class PicturePrefsDialogsTest : public AppDocumentFixture {
protected:
    void TearDown() override {
        AppDocumentFixture::TearDown();
        ResetGeneralPrefs();
    }
    fs::path generalPrf() const { return fs::path(PrefsFolderPath()) / "general.prf"; }

    // The file the export of `expression` writes for `saveType`.
    std::string exported(int32_t saveType, const eExpr* expression) {
        const fs::path path = m_dir / "out.bin";
        EXPECT_EQ(CatchFail([&] { WriteExportFile(saveType, expression, nullptr, path.string()); }),
                  0);
        return slurp(path);
    }
};

TEST_F(PicturePrefsDialogsTest, OkStoresAndWritesTheSettingAndCancelKeepsEverything) {
    const int32_t screen = PictPortDotsPerInch(0);
    struct Case {
        const char* name;
        int menuId, dialogId;
        const char* tag;
        int field;
        int32_t before;
        const char* shown; // the field as the dialog opens
        int editId;
        const char* typed;
        int32_t stored;
    };
    const Case cases[] = {
        {"bitmap", kBitmapPrefsMenuId, kBitmapPrefsDialogId, "Bi", 0, 72, "72",
         kBitmapResolutionItem, "150", 150},
        {"empty bitmap: the screen's", kBitmapPrefsMenuId, kBitmapPrefsDialogId, "Bi", 0, 72, "72",
         kBitmapResolutionItem, "", screen},
        {"negative bitmap kept as typed", kBitmapPrefsMenuId, kBitmapPrefsDialogId, "Bi", 0, 72,
         "72", kBitmapResolutionItem, "-5", -5},
        {"too high a stored bitmap opens as 72", kBitmapPrefsMenuId, kBitmapPrefsDialogId, "Bi", 0,
         1200, "72", kBitmapResolutionItem, "1000", 1000},
        {"metafile", kMetafilePrefsMenuId, kMetafilePrefsDialogId, "Mf", 0, 2540, "2540",
         kMetafileResolutionItem, " +600dpi", 600},
        {"empty metafile: 2540", kMetafilePrefsMenuId, kMetafilePrefsDialogId, "Mf", 0, 600, "600",
         kMetafileResolutionItem, "", 2540},
        {"EPS resolution", kEpsPrefsMenuId, kEpsPrefsDialogId, "Ep", kEpsResolutionField, 300,
         "300", kEpsResolutionItem, "1200", 1200},
        {"empty EPS resolution stores 0", kEpsPrefsMenuId, kEpsPrefsDialogId, "Ep",
         kEpsResolutionField, 300, "300", kEpsResolutionItem, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetGeneralPrefValue(c.tag, c.field, c.before);
        ASSERT_TRUE(SaveGeneralPrefs(true));
        const std::string before = slurp(generalPrf());
        // Cancel: nothing stored, nothing written.
        pt::onDialog(c.dialogId, [&](DialogDriver& d) {
            d.setText(c.editId, "77");
            d.click(plat::IDCANCEL);
        });
        EXPECT_EQ(DoMenuCommand(c.menuId), 1);
        EXPECT_EQ(slurp(generalPrf()), before);
        pt::onDialog(c.dialogId, [&](DialogDriver& d) {
            EXPECT_EQ(d.text(c.editId), c.shown);
            d.setText(c.editId, c.typed);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(DoMenuCommand(c.menuId), 1);
        EXPECT_EQ(GeneralPrefValue(c.tag, c.field), c.stored);
        EXPECT_NE(slurp(generalPrf()), before);
    }
}

TEST_F(PicturePrefsDialogsTest, EpsCheckBoxesFollowTheOutputTypeAndOkStoresThePopups) {
    SetGeneralPrefValue("Ep", kEpsOutputTypeField, 0);
    SetGeneralPrefValue("Ep", kEpsClipboardTypeField, 0);
    SetGeneralPrefValue("Ep", kEpsScreenFontNamesField, 1);
    pt::onDialog(kEpsPrefsDialogId, [](DialogDriver& d) {
        // Regular PostScript: both boxes unchecked and greyed, whatever was stored.
        for (int id : {kEpsScreenFontNamesItem, kEpsUnifyOutputItem}) {
            EXPECT_FALSE(d.checked(id));
            EXPECT_FALSE(d.enabled(id));
        }
        d.chooseCombo(kEpsOutputTypeItem, 1); // "AI Simplified PS"
        EXPECT_TRUE(d.enabled(kEpsUnifyOutputItem));
        EXPECT_FALSE(d.checked(kEpsUnifyOutputItem));
        d.click(kEpsUnifyOutputItem);
        d.chooseCombo(kEpsClipboardTypeItem, 1); // "ADOBE AI3"
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kEpsPrefsMenuId), 1);
    EXPECT_EQ(GeneralPrefValue("Ep", kEpsOutputTypeField), 1);
    EXPECT_EQ(GeneralPrefValue("Ep", kEpsClipboardTypeField), 1);
    EXPECT_EQ(GeneralPrefValue("Ep", kEpsUnifyOutputField), 1);
    EXPECT_EQ(GeneralPrefValue("Ep", kEpsScreenFontNamesField), 0);

    // Back to regular PostScript: the box is unchecked again and stored as 0. An output type the
    // popup does not show keeps the boxes greyed.
    SetGeneralPrefValue("Ep", kEpsOutputTypeField, 3);
    pt::onDialog(kEpsPrefsDialogId, [](DialogDriver& d) {
        EXPECT_FALSE(d.enabled(kEpsUnifyOutputItem));
        d.chooseCombo(kEpsOutputTypeItem, 1); // "AI Simplified PS"
        d.click(kEpsUnifyOutputItem);
        d.chooseCombo(kEpsOutputTypeItem, 0); // "Regular PS"
        EXPECT_FALSE(d.checked(kEpsUnifyOutputItem));
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kEpsPrefsMenuId), 1);
    EXPECT_EQ(GeneralPrefValue("Ep", kEpsOutputTypeField), 0);
    EXPECT_EQ(GeneralPrefValue("Ep", kEpsUnifyOutputField), 0);

    // A press on the "PostScript Type:" label (which lies inside x 141..379, y 81..99) applies
    // the entry the popup shows, as a choice in the popup does.
    constexpr int kOutputTypeLabel = 11882;
    pt::onDialog(kEpsPrefsDialogId, [](DialogDriver& d) {
        EXPECT_EQ(d.text(kOutputTypeLabel), "PostScript Type:");
        plat::RECT label{};
        plat::GetWindowRect(d.item(kOutputTypeLabel), &label);
        plat::MapWindowPoints(nullptr, d.hwnd(), reinterpret_cast<plat::POINT*>(&label), 2);
        EXPECT_GE(label.left, 141);
        EXPECT_LE(label.right - 1, 379);
        EXPECT_GE(label.top, 81);
        EXPECT_LE(label.bottom - 1, 99);
        plat::SendMessage(d.item(kEpsOutputTypeItem), plat::CB_SETCURSEL, 1, 0); // no notice
        EXPECT_FALSE(d.enabled(kEpsUnifyOutputItem));
        d.clickClient(20, 90); // left of the label: nothing
        EXPECT_FALSE(d.enabled(kEpsUnifyOutputItem));
        d.clickClient((label.left + label.right) / 2, (label.top + label.bottom) / 2);
        EXPECT_TRUE(d.enabled(kEpsUnifyOutputItem));
        EXPECT_TRUE(d.enabled(kEpsScreenFontNamesItem));
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(kEpsPrefsMenuId), 1);
}

// The text of the static control nearest to an item on its left (or right) on the item's row, as
// the dialog resource places them.
std::string labelBeside(int dialogId, int itemId, bool left) {
    const plat::ResDialog* dialog = plat::FindDialogTemplate(nullptr, plat::MAKEINTRESOURCE(dialogId));
    if (dialog == nullptr)
        return "no dialog";
    const plat::ResDialogControl* item = nullptr;
    for (plat::UINT i = 0; i < dialog->count; ++i)
        if (dialog->controls[i].id == static_cast<plat::UINT>(itemId))
            item = &dialog->controls[i];
    if (item == nullptr)
        return "no item";
    std::string found;
    int gap = 1 << 30;
    for (plat::UINT i = 0; i < dialog->count; ++i) {
        const plat::ResDialogControl& c = dialog->controls[i];
        const bool sameRow = c.y < item->y + item->cy && item->y < c.y + c.cy;
        if (std::string(c.className) != "STATIC" || !sameRow)
            continue;
        const int g = left ? item->x - (c.x + c.cx) : c.x - (item->x + item->cx);
        if (g >= 0 && g < gap) {
            gap = g;
            found = c.text;
        }
    }
    return found;
}

TEST_F(PicturePrefsDialogsTest, FontBlockLabelsStandBesideTheirEdits) {
    EXPECT_EQ(labelBeside(kFontBlockPrefsDialogId, kFontBlockWidthItem, true), "Dimensions: ");
    EXPECT_EQ(labelBeside(kFontBlockPrefsDialogId, kFontBlockWidthItem, false), "Pixels Wide");
    EXPECT_EQ(labelBeside(kFontBlockPrefsDialogId, kFontBlockHeightItem, false), "Pixels High");
    EXPECT_NE(labelBeside(kFontBlockPrefsDialogId, kFontBlockHeightItem, true), "Dimensions: ");
}

// The dialogs no command opens, run from the launcher table as the program would run them: each
// shows its record and writes back what was changed on OK, and nothing on Annuler.
TEST_F(PicturePrefsDialogsTest, TheDialogsNoCommandOpensShowAndWriteBackTheirRecords) {
    const auto launch = [](int id, auto* record) {
        return FindDialogLauncher(id)(reinterpret_cast<std::uintptr_t>(record));
    };
    PictPrefsDlgRecord pict;
    pict.choice = 1;
    std::snprintf(pict.resolution.data(), pict.resolution.size(), "300");
    pt::onDialog(kPictPrefsDialogId, [](DialogDriver& d) {
        EXPECT_TRUE(d.checked(kPictBitmapsOnlyItem));
        EXPECT_FALSE(d.checked(kPictPureCommandsItem));
        EXPECT_FALSE(d.checked(kPictEmbedPostScriptItem));
        EXPECT_EQ(d.text(kPictResolutionItem), "300");
        d.check(kPictPureCommandsItem);
        d.click(kPictEmbedPostScriptItem);
        d.setText(kPictResolutionItem, "600");
        d.click(plat::IDOK);
    });
    EXPECT_EQ(launch(kPictPrefsDialogId, &pict), 1);
    EXPECT_EQ(pict.choice, 0);
    EXPECT_EQ(pict.embedPostScript, 1);
    EXPECT_STREQ(pict.resolution.data(), "600");
    pt::onDialog(kPictPrefsDialogId, [](DialogDriver& d) {
        d.check(kPictBitmapsOnlyItem);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(launch(kPictPrefsDialogId, &pict), 0);
    EXPECT_EQ(pict.choice, 0);

    FontBlockPrefsDlgRecord block;
    std::snprintf(block.height.data(), block.height.size(), "120");
    std::snprintf(block.width.data(), block.width.size(), "80");
    block.embedFonts = 2;
    block.target = 1;
    pt::onDialog(kFontBlockPrefsDialogId, [](DialogDriver& d) {
        EXPECT_EQ(d.text(kFontBlockHeightItem), "120");
        EXPECT_EQ(d.text(kFontBlockWidthItem), "80");
        EXPECT_EQ(d.curSel(kFontBlockEmbedItem), 2);  // "Specified Fonts Only"
        EXPECT_EQ(d.curSel(kFontBlockTargetItem), 1); // "Adobe Products"
        d.setText(kFontBlockWidthItem, "64");
        d.click(kFontBlockArtworkItem);
        d.chooseCombo(kFontBlockEmbedItem, 3);  // "Sans"
        d.chooseCombo(kFontBlockTargetItem, 2); // "Other Products"
        d.click(plat::IDOK);
    });
    EXPECT_EQ(launch(kFontBlockPrefsDialogId, &block), 1);
    EXPECT_STREQ(block.height.data(), "120");
    EXPECT_STREQ(block.width.data(), "64");
    EXPECT_EQ(block.useArtwork, 1);
    EXPECT_EQ(block.listFonts, 0);
    EXPECT_EQ(block.embedFonts, 3);
    EXPECT_EQ(block.target, 2);
}

// The New Window command on the "Nw" place: the dialog shows the four numbers, OK corrects and
// stores them and writes general.prf, and new windows open there.
TEST_F(PicturePrefsDialogsTest, TheNewWindowCommandCorrectsAndKeepsThePlaceOfNewWindows) {
    struct Case {
        const char* name;
        const char* typed[4]; // left, top, right, bottom
        int32_t stored[4];
    };
    const Case cases[] = {
        {"kept as typed", {"10", "20", "300", "350"}, {10, 20, 300, 350}},
        {"empty: 0, which right and bottom may not be", {"", "", "", ""}, {0, 0, 400, 400}},
        {"each outside its range", {"-1", "2000", "20", "5000"}, {5, 170, 400, 400}},
        {"right not beyond left", {"600", "20", "500", "350"}, {5, 20, 500, 350}},
        {"bottom not below top", {"10", "900", "300", "100"}, {10, 170, 300, 500}},
    };
    SetGeneralPrefValue("Nw", 0, 5);
    SetGeneralPrefValue("Nw", 1, 170);
    SetGeneralPrefValue("Nw", 2, 400);
    SetGeneralPrefValue("Nw", 3, 400);
    int32_t shown[4] = {5, 170, 400, 400};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SaveGeneralPrefs(true));
        const std::string before = slurp(generalPrf());
        pt::onDialog(kNewWindowPrefsDialogId, [&](DialogDriver& d) {
            const int items[4] = {kNewWindowLeftItem, kNewWindowTopItem, kNewWindowRightItem,
                                  kNewWindowBottomItem};
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(d.text(items[i]), std::to_string(shown[i]));
                d.setText(items[i], c.typed[i]);
            }
            d.click(plat::IDOK);
        });
        ChooseNewWindowPrefs();
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(GeneralPrefValue("Nw", i), c.stored[i]) << i;
            shown[i] = c.stored[i];
        }
        EXPECT_NE(slurp(generalPrf()), before);
    }
    // Annuler keeps the place.
    pt::onDialog(kNewWindowPrefsDialogId, [](DialogDriver& d) {
        d.setText(kNewWindowLeftItem, "77");
        d.click(plat::IDCANCEL);
    });
    ChooseNewWindowPrefs();
    EXPECT_EQ(GeneralPrefValue("Nw", 0), 10);
    // New document windows open at the kept corner.
    EXPECT_EQ(NewWindowPlace().x, 10);
    EXPECT_EQ(NewWindowPlace().y, 170);
}

TEST_F(PicturePrefsDialogsTest, StoredResolutionsSizeTheWrittenPictures) {
    ExprFilePane* pane = typed("x+y");
    const eExpr* expression = pane->expression();
    const auto choose = [](int menuId, int dialogId, int editId, const char* dpi) {
        pt::onDialog(dialogId, [=](DialogDriver& d) {
            d.setText(editId, dpi);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(DoMenuCommand(menuId), 1);
    };
    // Bitmap: the pixel width grows with the resolution (BITMAPINFOHEADER after the file header).
    choose(kBitmapPrefsMenuId, kBitmapPrefsDialogId, kBitmapResolutionItem, "200");
    const uint32_t wide = le32(exported(kBmpSaveType, expression), 14 + 4);
    choose(kBitmapPrefsMenuId, kBitmapPrefsDialogId, kBitmapResolutionItem, "400");
    const uint32_t wider = le32(exported(kBmpSaveType, expression), 14 + 4);
    EXPECT_NEAR(static_cast<double>(wider), 2.0 * wide, 0.1 * wide);

    // Metafile: recorded at another resolution (other records), the same frame in 0.01 mm.
    choose(kMetafilePrefsMenuId, kMetafilePrefsDialogId, kMetafileResolutionItem, "300");
    const std::string emf300 = exported(kEmfSaveType, expression);
    choose(kMetafilePrefsMenuId, kMetafilePrefsDialogId, kMetafileResolutionItem, "1200");
    const std::string emf1200 = exported(kEmfSaveType, expression);
    EXPECT_NE(emf300, emf1200);
    const auto frameWidth = [](const std::string& emf) {
        return static_cast<double>(static_cast<int32_t>(le32(emf, 32)) -
                                   static_cast<int32_t>(le32(emf, 24)));
    };
    EXPECT_NEAR(frameWidth(emf1200), frameWidth(emf300), 0.06 * frameWidth(emf300));

    // EPS: drawn at another resolution (other coordinates), the same size in points.
    choose(kEpsPrefsMenuId, kEpsPrefsDialogId, kEpsResolutionItem, "300");
    const std::string eps300 = exported(kEpsSaveType, expression);
    choose(kEpsPrefsMenuId, kEpsPrefsDialogId, kEpsResolutionItem, "1200");
    const std::string eps1200 = exported(kEpsSaveType, expression);
    EXPECT_NE(eps300, eps1200);
    int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    ASSERT_EQ(std::sscanf(eps300.c_str() + eps300.find("%%BoundingBox:"),
                          "%%%%BoundingBox: 0 0 %d %d", &w1, &h1),
              2);
    ASSERT_EQ(std::sscanf(eps1200.c_str() + eps1200.find("%%BoundingBox:"),
                          "%%%%BoundingBox: 0 0 %d %d", &w2, &h2),
              2);
    EXPECT_NEAR(w1, w2, 2);
    EXPECT_NEAR(h1, h2, 2);
}

TEST_F(PicturePrefsDialogsTest, TheSymbolFontChoiceRebuildsTheFaceReplacement) {
    ASSERT_EQ(RudizeSetting, 0);
    pt::onDialog(kSymbolFontPrefsDialogId, [](DialogDriver& d) {
        EXPECT_TRUE(d.checked(kSymbolFontFirst));
        d.click(kSymbolFontLast);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(kSymbolFontMenuId), 1);
    EXPECT_EQ(RudizeSetting, 0);
    EXPECT_EQ(SymbolFontId(), FaceIdOfName("Symbol"));

    pt::onDialog(kSymbolFontPrefsDialogId, [](DialogDriver& d) {
        d.click(kSymbolFontLast);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kSymbolFontMenuId), 1);
    EXPECT_EQ(RudizeSetting, 1);
    EXPECT_EQ(GeneralPrefValue("Cy", 0), 1);
    EXPECT_EQ(SymbolFaceReplacement.face, FaceIdOfName("Symbol"));
    EXPECT_EQ(SymbolFaceReplacement.replacement, FaceIdOfName("Rudize"));
    EXPECT_EQ(SymbolFontId(), FaceIdOfName("Rudize"));

    pt::onDialog(kSymbolFontPrefsDialogId, [](DialogDriver& d) {
        EXPECT_TRUE(d.checked(kSymbolFontLast));
        d.click(kSymbolFontFirst);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kSymbolFontMenuId), 1);
    EXPECT_EQ(RudizeSetting, 0);
    EXPECT_EQ(SymbolFontId(), FaceIdOfName("Symbol"));
}

TEST_F(PicturePrefsDialogsTest, ThePaletteSizeRebuildsAnOpenPaletteAndLeavesAClosedOneClosed) {
    SetPaletteWindowWanted(true);
    if (ThePalettePane() == nullptr)
        ShowPaletteWindow();
    ASSERT_NE(ThePalettePane(), nullptr);
    const int32_t normal = ThePalettePane()->cellSize();
    pt::onDialog(kPaletteSizePrefsDialogId, [](DialogDriver& d) {
        d.chooseCombo(kPaletteSizeItem, 2); // "grande taille" (after the separator)
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(kPaletteSizeMenuId), 1);
    EXPECT_EQ(GeneralPrefValue("Bz", 0), 0);
    EXPECT_EQ(ThePalettePane()->cellSize(), normal);

    pt::onDialog(kPaletteSizePrefsDialogId, [](DialogDriver& d) {
        d.chooseCombo(kPaletteSizeItem, 2);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kPaletteSizeMenuId), 1);
    EXPECT_EQ(GeneralPrefValue("Bz", 0), 2);
    ASSERT_NE(ThePalettePane(), nullptr);
    EXPECT_GT(ThePalettePane()->cellSize(), normal);
    EXPECT_EQ(ThePalettePane()->cellSize(), PaletteCellSize());

    ShowPaletteWindow(); // closes it
    ASSERT_EQ(ThePalettePane(), nullptr);
    pt::onDialog(kPaletteSizePrefsDialogId, [](DialogDriver& d) {
        d.chooseCombo(kPaletteSizeItem, 0);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kPaletteSizeMenuId), 1);
    EXPECT_EQ(GeneralPrefValue("Bz", 0), 0);
    EXPECT_EQ(ThePalettePane(), nullptr);
}

} // namespace
} // namespace kvtest
