// The launcher table: every row opens its own dialog from the program's resources with the
// caller's record as the dialog's argument, and the launcher returns what the dialog ended with.
#include "BuiltinResources.h"
#include "Dialogs/AboutDialogs.h"
#include "Dialogs/ChooseExampleDialog.h"
#include "Dialogs/CustomizePaletteDialogs.h"
#include "Dialogs/DialogFrame.h"
#include "Dialogs/FontCommandDialogs.h"
#include "Dialogs/FontStyleDialog.h"
#include "Dialogs/InsertExpressionDialog.h"
#include "Dialogs/KeyboardDialogs.h"
#include "Dialogs/MacroDefinitionsDialog.h"
#include "Dialogs/MatrixDialogs.h"
#include "Dialogs/ModifyDialogs.h"
#include "Dialogs/ModifyTemplateDialogs.h"
#include "Dialogs/OutputPrefsDialogs.h"
#include "Dialogs/PictureDialogs.h"
#include "Dialogs/PicturePrefsDialogs.h"
#include "Dialogs/SecondaryCommandDialog.h"
#include "Dialogs/SmallDialogs.h"
#include "Dialogs/TargetPrefsDialogs.h"
#include "Dialogs/TranslatorDialogs.h"
#include "Dialogs/TypesettingDialogs.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Font.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "support/CodePageScope.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using plat::testing::DialogDriver;

// A fresh record of the type the dialog's launcher expects, kept alive for the run; returns its
// address as the table's argument.
using RecordMaker = std::function<std::uintptr_t(std::shared_ptr<void>& keep)>;

template <class Record> RecordMaker makerOf() {
    return [](std::shared_ptr<void>& keep) {
        auto record = std::make_shared<Record>();
        keep = record;
        return reinterpret_cast<std::uintptr_t>(record.get());
    };
}

// The record each dialog works on (the About box, the credits and the splash read none: any byte
// will do).
const std::map<int, RecordMaker>& existingDialogs() {
    static const std::map<int, RecordMaker> s_dialogs = [] {
        std::map<int, RecordMaker> dialogs = {
            {4098, makerOf<DialogText>()},
            {4099, makerOf<uint8_t>()},
            {4100, makerOf<DialogText>()},
            {4102, makerOf<DialogText>()},
            {4103, makerOf<FontStyleSizeRecord>()},
            {4104, makerOf<uint8_t>()},
            {4105, makerOf<InsertExpressionState>()},
            {4106, makerOf<IntegralDlgRecord>()},
            {4107, makerOf<ScriptsDlgRecord>()},
            {4108, makerOf<MatrixIndicesDlgRecord>()},
            {4109, makerOf<StringDlgRecord>()},
            {4110, makerOf<MatrixLinesDlgRecord>()},
            {4111, makerOf<MatrixDlgRecord>()},
            {4112, makerOf<DelimiterDlgRecord>()},
            {4113, makerOf<EmbellishmentDlgRecord>()},
            {4114, makerOf<FractionDlgRecord>()},
            {4115, makerOf<TreeNodeDlgRecord>()},
            {4116, makerOf<TensorDlgRecord>()},
            {4117, makerOf<BoxDlgRecord>()},
            {4118, makerOf<SecondaryCommandDlgRecord>()},
            {4119, makerOf<CustomizePaletteDlgRecord>()},
            {4120, makerOf<CustomizePaletteDlgRecord>()},
            {4121, makerOf<uint8_t>()},
            {4122, makerOf<KeyboardEquivalentsDlgRecord>()},
            {4124, makerOf<ChangeFontDlgRecord>()},
            {4125, makerOf<CharacterCommandsDlgRecord>()},
            {4126, makerOf<MacroDefinitionsDlgRecord>()},
            {4123, makerOf<uint8_t>()},
            {4127, makerOf<SizeStepsDlgRecord>()},
            {4128, makerOf<DelimiterSettingsDlgRecord>()},
            {4129, makerOf<EmbellishmentSettingsDlgRecord>()},
            {4130, makerOf<IntegralSettingsDlgRecord>()},
            {4131, makerOf<ScriptSettingsDlgRecord>()},
            {4132, makerOf<FractionSettingsDlgRecord>()},
            {4133, makerOf<RootSettingsDlgRecord>()},
            {4134, makerOf<ImageRotationDlgRecord>()},
            {4135, makerOf<ImageMarginsDlgRecord>()},
            {4136, makerOf<ConversionTableDlgRecord>()},
            {4137, makerOf<RulerUnitsDlgRecord>()},
            {4138, makerOf<OtherOptionsDlgRecord>()},
            {4139, makerOf<TranslationTableDlgRecord>()},
            {4140, makerOf<SavingPrefsDlgRecord>()},
            {4141, makerOf<CopySetPrefsDlgRecord>()},
            {4142, makerOf<PluginTagPrefsDlgRecord>()},
            {4143, makerOf<EpsPrefsDlgRecord>()},
            {4144, makerOf<PngPrefsDlgRecord>()},
            {4145, makerOf<DialogText>()},
            {4146, makerOf<DialogText>()},
            {4147, makerOf<PictPrefsDlgRecord>()},
            {4148, makerOf<WordTargetPrefsRecord>()},
            {4149, makerOf<uint8_t>()},
            {4153, makerOf<WebTargetPrefsRecord>()},
            {4155, makerOf<TwoResolutionTargetPrefsRecord>()},
            {4157, makerOf<OneResolutionTargetPrefsRecord>()},
            {4158, makerOf<OneResolutionTargetPrefsRecord>()},
            {4159, makerOf<WebTargetPrefsRecord>()},
            {4161, makerOf<uint8_t>()},
            {4164, makerOf<TwoResolutionTargetPrefsRecord>()},
            {4165, makerOf<WebTargetPrefsRecord>()},
            {4166, makerOf<WebTargetPrefsRecord>()},
            {4167, makerOf<SymbolFontPrefsDlgRecord>()},
            {4168, makerOf<FontBlockPrefsDlgRecord>()},
            {4169, makerOf<NewWindowPrefsDlgRecord>()},
            {4170, makerOf<PaletteSizePrefsDlgRecord>()},
            {kAboutDialogId, makerOf<uint8_t>()},
            {kSplashDialogId, makerOf<uint8_t>()},
            {kCreditsDialogId, makerOf<uint8_t>()},
            {kChooseExampleDialogId, makerOf<ChooseExampleParams>()},
        };
        // The layout and drawing targets share one record.
        for (int id : {4150, 4151, 4152, 4154, 4156, 4160, 4162, 4163})
            dialogs.emplace(id, makerOf<PictureTargetPrefsRecord>());
        // The help pages, which read no record either.
        for (int id = 4171; id <= 4214; ++id)
            dialogs.emplace(id, makerOf<uint8_t>());
        // The setup wizard pages edit one choice index; the question reads nothing.
        for (int id = 4215; id <= 4222; ++id)
            dialogs.emplace(id, makerOf<int32_t>());
        dialogs.emplace(4237, makerOf<uint8_t>());
        return dialogs;
    }();
    return s_dialogs;
}

class DialogLauncherTableTest : public kvtest::DialogTestFixture {};

TEST_F(DialogLauncherTableTest, HasOneRowPerExistingDialogInAscendingOrder) {
    std::set<int> ids;
    int previous = 0;
    for (const DialogLauncherEntry& e : DialogLauncherTable()) {
        SCOPED_TRACE(e.id);
        EXPECT_GT(e.id, previous) << "rows out of order or repeated";
        previous = e.id;
        EXPECT_NE(nullptr, e.launcher);
        EXPECT_EQ(e.launcher, FindDialogLauncher(e.id));
        // Every row stands for a template of the program's resources.
        EXPECT_NE(nullptr, plat::FindDialogTemplate(nullptr, plat::MAKEINTRESOURCE(e.id)));
        ids.insert(e.id);
    }
    // One row for every dialog the program's resources hold.
    std::set<int> expected;
    const plat::ResourceTables* tables = plat::ModuleResourceTables(nullptr);
    ASSERT_NE(tables, nullptr);
    for (std::size_t i = 0; i < tables->dialogCount; ++i)
        expected.insert(static_cast<int>(tables->dialogs[i].id));
    EXPECT_EQ(expected, ids);
    EXPECT_EQ(nullptr, FindDialogLauncher(4097));
    EXPECT_EQ(nullptr, FindDialogLauncher(4101));
    EXPECT_EQ(nullptr, FindDialogLauncher(0));
}

TEST_F(DialogLauncherTableTest, EachLauncherRunsItsDialogWithTheCallersRecord) {
    for (const DialogLauncherEntry& e : DialogLauncherTable()) {
        SCOPED_TRACE(e.id);
        const auto maker = existingDialogs().find(e.id);
        ASSERT_NE(existingDialogs().end(), maker);
        std::shared_ptr<void> keep;
        const std::uintptr_t argument = maker->second(keep);
        // A distinct result for each dialog proves the launcher returns the dialog's own result.
        const int32_t result = 40 + (e.id - 4097);
        bool opened = false;
        plat::testing::onDialog(e.id, [&](DialogDriver& d) {
            opened = true;
            EXPECT_EQ(argument, DialogArgument(e.id));
            plat::EndDialog(d.hwnd(), result);
        });
        EXPECT_EQ(result, e.launcher(argument));
        EXPECT_TRUE(opened);
        CurrentDialog = nullptr;
    }
}

// Pictures the dialogs paint from the program's resources, each seen on the dialog at its place
// (dialog units, two pixels each) with its size in pixels.
TEST_F(DialogLauncherTableTest, DialogPicturesArePainted) {
    struct Picture {
        int dialog, bitmap, x, y, width, height;
    };
    const Picture pictures[] = {
        {4122, 16176, 34, 80, 40, 26},  {4122, 16080, 56, 80, 34, 26},
        {4122, 16144, 74, 80, 34, 26},  {4122, 16112, 34, 80, 114, 32},
        {4122, 16016, 14, 96, 24, 24},  {4128, 14656, 176, 10, 24, 24},
        {4128, 14688, 186, 10, 24, 24}, {4133, 15936, 92, 72, 56, 48},
        {4133, 14000, 126, 12, 24, 24}, {4133, 12592, 114, 12, 24, 24},
        {4257, 19152, 0, 0, 675, 60},   {4257, 19184, 10, 82, 15, 26},
        {4257, 19216, 120, 82, 22, 27}, {4257, 19248, 230, 82, 23, 28},
    };
    for (const Picture& p : pictures) {
        SCOPED_TRACE(p.bitmap);
        EXPECT_NE(nullptr, plat::FindResource(nullptr, plat::MAKEINTRESOURCE(p.bitmap),
                                              plat::MAKEINTRESOURCE(2)));
        const auto maker = existingDialogs().find(p.dialog);
        ASSERT_NE(existingDialogs().end(), maker);
        std::shared_ptr<void> keep;
        const std::uintptr_t argument = maker->second(keep);
        int inked = -1;
        plat::testing::onDialog(p.dialog, [&](DialogDriver& d) {
            const plat::testing::Image image = plat::testing::pixels(d.hwnd());
            const std::uint32_t background = image.at(1, image.height - 2);
            inked = 0;
            for (int y = p.y * 2; y < p.y * 2 + p.height && y < image.height; ++y)
                for (int x = p.x * 2; x < p.x * 2 + p.width && x < image.width; ++x)
                    if (y >= 0 && image.at(x, y) != background)
                        ++inked;
            plat::EndDialog(d.hwnd(), 0);
        });
        FindDialogLauncher(p.dialog)(argument);
        CurrentDialog = nullptr;
        // Something of the picture shows: at least a tenth of its box.
        EXPECT_GT(inked, p.width * p.height / 10);
    }
}

// The program's own texts are Windows-1252 whatever the code page: under a double-byte page every
// dialog of the table draws them as Windows-1252 characters, in its lists, combos and static
// texts alike. Only the controls that show the code page's own text (file names, an expression's
// characters) read it in the page.
TEST_F(DialogLauncherTableTest, ProgramTextsShowAsWindows1252UnderDoubleByteCodePages) {
    // Texts each control must show, as the user reads them: owner-drawn lists, combos, static
    // texts and buttons; after a click on `click` when it is not 0.
    const struct {
        int dialog, control;
        const char* text;
        int click = 0;
    } shown[] = {
        {4105, 2160, "Police par défaut"},
        {4124, 7016, "Police par défaut"},
        {4124, 7016, "Choississez la police dans la boîte de dialogue"},
        {4125, 7282, "Police par défaut"},
        {4118, 5481, "Annule la dernière modification."},
        {4139, 10860, "Intégrales", 10857}, // the composites' categories
        {4103, 1650, "même"},
        {4108, 2925, " matrice située le plus à l'intérieur"},
        {4100, 872, "Résolution de l'image : "},
        {4130, 8557, "Taille des limites de l'intégrale : "},
        {4106, 2417, "Évaluer à"},
    };
    // What shows the code page's own text: the character grid shows the font's characters as an
    // expression holds them, and the command grid's pictures are expressions drawn off screen.
    const std::set<std::pair<int, int>> pageText = {{4105, 2159}, {4105, -1}};
    kvtest::CodePageScope restore;
    ResetStyleTable();
    InstallGraphicsFontHooks();
    InitGraphics();
    for (const plat::UINT codePage : {932u, 949u}) {
        ASSERT_TRUE(plat::SetActiveCodePage(codePage));
        for (const DialogLauncherEntry& e : DialogLauncherTable()) {
            SCOPED_TRACE(std::to_string(codePage) + " in dialog " + std::to_string(e.id));
            const auto maker = existingDialogs().find(e.id);
            ASSERT_NE(existingDialogs().end(), maker);
            std::shared_ptr<void> keep;
            const std::uintptr_t argument = maker->second(keep);
            // What each item drew (-1: no window of the dialog), and in which code page.
            std::vector<std::pair<int, plat::testing::DrawnText>> drawn;
            plat::testing::recordDrawnText(true);
            plat::testing::onDialog(e.id, [&](DialogDriver& d) {
                d.pump();
                for (const auto& s : shown) {
                    if (s.dialog == e.id && s.click != 0) {
                        d.click(s.click);
                        d.pump();
                    }
                }
                for (plat::testing::DrawnText& t : plat::testing::takeDrawnTexts()) {
                    const int control = t.window == d.hwnd()  ? 0
                                        : t.window != nullptr ? plat::GetDlgCtrlID(t.window)
                                                              : -1;
                    drawn.emplace_back(control, std::move(t));
                }
                plat::EndDialog(d.hwnd(), 0);
            });
            e.launcher(argument);
            plat::testing::recordDrawnText(false);
            CurrentDialog = nullptr;
            std::set<std::pair<int, std::string>> texts;
            for (const auto& [control, t] : drawn) {
                texts.emplace(control, t.text);
                const bool high = std::any_of(t.bytes.begin(), t.bytes.end(),
                                              [](char c) { return (c & 0x80) != 0; });
                if (high && t.codePage != 1252 && pageText.count({e.id, control}) == 0) {
                    ADD_FAILURE() << "item " << control << " shows \"" << t.text
                                  << "\" in the code page";
                }
            }
            for (const auto& s : shown) {
                if (s.dialog == e.id) {
                    EXPECT_EQ(texts.count({s.control, s.text}), 1u) << s.control << " " << s.text;
                }
            }
        }
    }
    ShutdownGraphics();
    SetGraphicsFontHooks(GraphicsFontHooks{});
}

} // namespace
