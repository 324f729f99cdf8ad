// The preference files: general.prf written and read back, damaged files, the shipped folder made
// from the default tables, and two runs of the program where the second starts with what the
// settings dialogs of the first chose.

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "App/MenuDispatch.h"
#include "App/ModelWiring.h"
#include "Dialogs/FontCommandDialogs.h"
#include "Dialogs/KeyboardDialogs.h"
#include "Dialogs/OutputPrefsDialogs.h"
#include "Dialogs/PictureDialogs.h"
#include "Dialogs/PicturePrefsDialogs.h"
#include "Dialogs/PrefsSaving.h"
#include "Dialogs/TypesettingDialogs.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PFILE.h"
#include "OverPc/PFONTS.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/KeyCodes.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/oStreams.h"
#include "plat/Dialog.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>

namespace kvtest {
namespace {

namespace pt = plat::testing;
namespace fs = std::filesystem;
using pt::DialogDriver;

const fs::path kShippedFolder = fs::path(KV_BINARY_DIR) / "src" / "Korvaline_Prefs";

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string writtenPrefs() {
    oOMemoryStream* out = NewOMemoryStream(0);
    WriteGeneralPrefs(*out);
    return out->detachString();
}

GeneralPrefsReadResult readPrefs(const std::string& text) {
    oIMemoryStream in(reinterpret_cast<const uint8_t*>(text.data()),
                      static_cast<uint32_t>(text.size()));
    return ReadGeneralPrefs(in);
}

// Every numeric record's fields as the settings hold them.
std::vector<std::vector<int32_t>> allValues() {
    std::vector<std::vector<int32_t>> out;
    for (const PrefRecordDefault& r : kGeneralPrefRecords) {
        std::vector<int32_t> v;
        for (int i = 0; i < r.count; ++i)
            v.push_back(GeneralPrefValue(r.tag, i));
        out.push_back(v);
    }
    return out;
}

bool sameStyles(const std::array<FSSRecord, kStyleTableSize>& a,
                const std::array<FSSRecord, kStyleTableSize>& b) {
    return std::memcmp(a.data(), b.data(), sizeof(FSSRecord) * a.size()) == 0;
}

class GeneralPrefsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGeneralPrefs(); }
    void TearDown() override {
        ResetGeneralPrefs();
        ResetKeyMap();
    }
};

TEST_F(GeneralPrefsTest, EveryRecordReadsBackAsWritten) {
    // Every field off its default and within its range (bytes stay bytes), a style entry and the
    // translator path.
    for (const PrefRecordDefault& r : kGeneralPrefRecords)
        for (int i = 0; i < r.count; ++i) {
            const int32_t v = r.values[static_cast<size_t>(i)];
            SetGeneralPrefValue(r.tag, i, v == 0 ? 1 : v == 1 ? 0 : v + 1);
        }
    SetGeneralPrefValue("Wd", 13, 77); // a further value no dialog shows
    SetFSSFontName(StyleTable[20], "DejaVu Serif");
    StyleTable[20].size = -998;
    StyleTable[20].shortcut = 'z';
    StyleTable[20].slippery = 1;
    StyleTable[3] = StyleTable[63]; // entry 3 freed
    SetTranslatorPrefText("/home/u/My Tables/tex.cat");
    const auto values = allValues();
    const auto styles = StyleTable;
    const std::string text = writtenPrefs();
    EXPECT_EQ(text.substr(0, 5), "Ve!\r\n");

    ResetGeneralPrefs();
    const GeneralPrefsReadResult result = readPrefs(text);
    EXPECT_FALSE(result.damaged());
    auto expected = values;
    expected[1][1] = 0; // the wide structure is never taken from the file
    expected[0][0] = kGeneralPrefsVersion;
    EXPECT_EQ(allValues(), expected);
    EXPECT_EQ(GeneralPrefValue("Wd", 13), 77);
    EXPECT_TRUE(sameStyles(StyleTable, styles));
    EXPECT_EQ(TranslatorPrefText(), "/home/u/My Tables/tex.cat");
    // Written again, the same bytes.
    EXPECT_EQ(writtenPrefs(), text);
}

TEST_F(GeneralPrefsTest, ShippedFilesHoldTheDefaultTables) {
    for (const char* name : {"general.prf", "keys.prf", "function.txt"})
        ASSERT_TRUE(fs::exists(kShippedFolder / name)) << name << " is written by the build";
    const auto defaults = allValues();
    const auto styles = StyleTable;
    for (const PrefRecordDefault& r : kGeneralPrefRecords)
        for (int i = 0; i < r.count; ++i)
            SetGeneralPrefValue(r.tag, i, 3);
    StyleTable[5].shortcut = '#';
    const GeneralPrefsReadResult result = readPrefs(slurp(kShippedFolder / "general.prf"));
    EXPECT_FALSE(result.damaged());
    auto expected = defaults;
    expected[1][1] = 0;
    EXPECT_EQ(allValues(), expected);
    EXPECT_TRUE(sameStyles(StyleTable, styles));

    KeyMap.fill(0);
    EXPECT_TRUE(LoadKeyMapFile((kShippedFolder / "keys.prf").string()).accepted);
    EXPECT_EQ(KeyMap, DefaultKeyMap());

    ASSERT_EQ(ReadFunctionNames(kShippedFolder.string()), FunctionNamesResult::Read);
    const std::vector<std::string_view> names = FunctionNameList();
    EXPECT_EQ(names, std::vector<std::string_view>(kDefaultFunctionNames.begin(),
                                                   kDefaultFunctionNames.end()));
}

struct DamagedCase {
    const char* name;
    std::string text;
    bool damaged;
    int32_t dotWeight; // "Mk" field 0 afterwards
    int32_t minimum;   // "Ss" field 0 afterwards
    uint8_t shortcut3; // style entry 3's shortcut afterwards
};

class GeneralPrefsDamageTest : public GeneralPrefsTest,
                               public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(GeneralPrefsDamageTest, ABadRecordChangesNothingButIsNoted) {
    const DamagedCase& c = GetParam();
    const GeneralPrefsReadResult result = readPrefs(c.text);
    EXPECT_EQ(result.damaged(), c.damaged);
    EXPECT_EQ(GeneralPrefValue("Mk", 0), c.dotWeight);
    EXPECT_EQ(GeneralPrefValue("Ss", 0), c.minimum);
    EXPECT_EQ(StyleTable[3].shortcut, c.shortcut3);
}

// A style record: the fields of a free entry with shortcut 'x', then the font name.
std::string styleLine(int32_t index, const char* name) {
    oOMemoryStream* out = NewOMemoryStream(0);
    out->writeString("St");
    out->putNumber(index);
    out->putNumber(kSizeInherit);
    for (int i = 0; i < kStyleByteCount + 1; ++i)
        out->putNumber(i == kStyleByteCount ? 0 : kStyleInherit);
    out->putNumber(0x22);
    out->putNumber('x');
    out->putNumber(0);
    out->writeString(name);
    out->putChar('\n');
    return out->detachString();
}

// "Mk%%": weights 5 and 5; "Ss'...": minimum 7 ("'" is 0x20 + 7).
INSTANTIATE_TEST_SUITE_P(
    Files, GeneralPrefsDamageTest,
    ::testing::Values(DamagedCase{"clean", "Ve!\r\nMk%%\r\nSs'.24$\r\n", false, 5, 7, 'f'},
                      DamagedCase{"percent_lines_and_unknown_tags", "%%Ve!\nZz!!\nMk%%\n\tmore\n",
                                  false, 5, 6, 'f'},
                      DamagedCase{"short_record", "Ve!\nMk%%\nSs'.2\n", true, 5, 6, 'f'},
                      DamagedCase{"malformed_number", "Ve!\nMk%%\nSsg....\n", true, 5, 6, 'f'},
                      DamagedCase{"style_entry", "Ve!\n" + styleLine(3, "Arial"), false, 4, 6, 'x'},
                      DamagedCase{"style_index_outside_the_table", "Ve!\n" + styleLine(64, "Arial"),
                                  true, 4, 6, 'f'},
                      DamagedCase{"style_without_font_name", "Ve!\n" + styleLine(3, ""), true, 4, 6,
                                  'f'},
                      DamagedCase{"no_version", "Mk%%\n", true, 5, 6, 'f'},
                      DamagedCase{"later_version", "Ve\"\nMk%%\n", true, 5, 6, 'f'},
                      DamagedCase{"binary_junk", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
                                  true, 4, 6, 'f'}),
    [](const ::testing::TestParamInfo<DamagedCase>& info) { return info.param.name; });

// ---- Two runs of the program
// ----------------------------------------------------------------------------

class PrefsRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
        // The first run's copy of the shipped folder, as from the program's folder.
        InitPaths();
        m_prefs = PrefsFolderPath();
        CopyLegacyPrefs(PathSlotText(kDataFolderSlot), kShippedFolder.parent_path().string() + "/");
        FreePaths();
    }
    void TearDown() override {
        EXPECT_EQ(0, pt::pendingDialogScripts()) << "a scripted dialog never opened";
        SetSingleInstanceSocket("");
        AppHooks() = ShellHooks{};
        SaveGeneralPrefsHook = nullptr;
        ResetGeneralPrefs();
        ResetKeyMap();
    }

    // The program's start-up as main runs it; the settings of a previous run are forgotten first,
    // so that whatever the run has comes from the files.
    void startUp(const std::function<void()>& scripts = {}) {
        pt::reset();
        if (scripts)
            scripts();
        AppHooks() = ShellHooks{};
        CurrentDialog = nullptr;
        MessageBoxUpFlag = false;
        ResetGeneralPrefs();
        ResetKeyMap();
        InstallModelWiring();
        ASSERT_TRUE(CQVAppStartup({"-nosplash"}).runLoop);
    }
    void quit() {
        CQVAppShutdown();
        AppHooks() = ShellHooks{};
    }
    fs::path generalPrf() const { return fs::path(m_prefs) / "general.prf"; }

    SysTempDir m_dir;
    ScopedEnv m_registry{"KV_REGISTRY_DIR", m_dir / "config"};
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir / "config"};
    std::string m_prefs;
};

TEST_F(PrefsRunTest, SettingsChosenInTheDialogsStartTheNextRun) {
    ASSERT_TRUE(fs::exists(generalPrf())) << "the shipped folder holds general.prf";
    startUp();
    EXPECT_TRUE(pt::messageBoxes().empty()) << "the shipped folder reads without a message";
    // Each dialog writes its file as soon as OK is pressed.
    const struct Step {
        int menuId;
        int dialogId;
        std::function<void(DialogDriver&)> script;
        const char* file;
    } steps[] = {
        {kSizeStepsMenuId, kSizeStepsDialogId,
         [](DialogDriver& d) {
             d.setText(kSizeStepsStep3Item, "21");
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kFractionSettingsMenuId, kFractionSettingsDialogId,
         [](DialogDriver& d) {
             d.chooseCombo(kFractionThicknessItem, 0); // the thickest bar, 16
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kDelimiterSettingsMenuId, kDelimiterSettingsDialogId,
         [](DialogDriver& d) {
             d.click(kDelimiterQuantiseItem);
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kEmbellishmentSettingsMenuId, kEmbellishmentSettingsDialogId,
         [](DialogDriver& d) {
             d.chooseCombo(kEmbellishmentDotItem, 0);
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kIntegralSettingsMenuId, kIntegralSettingsDialogId,
         [](DialogDriver& d) {
             d.click(kIntegralFixedItem);
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kScriptSettingsMenuId, kScriptSettingsDialogId,
         [](DialogDriver& d) {
             d.chooseCombo(kSubscriptHeightItem, 6);
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kRootSettingsMenuId, kRootSettingsDialogId,
         [](DialogDriver& d) {
             d.click(kRootFlangeFirst);
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kRulerUnitsMenuId, kRulerUnitsDialogId,
         [](DialogDriver& d) {
             d.check(kRulerUnitsFirst + 1); // centimetres
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kImageRotationMenuId, kImageRotationDialogId,
         [](DialogDriver& d) {
             d.check(kRotationClockwiseItem);
             d.click(kRotationPermanentItem);
         },
         "general.prf"},
        {kImageMarginsMenuId, kImageMarginsDialogId,
         [](DialogDriver& d) {
             d.setText(kMarginLeftItem, "7");
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kSavingPrefsMenuId, kSavingPrefsDialogId,
         [](DialogDriver& d) {
             d.check(11119); // bitmap, 13
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kCopySetPrefsMenuId, kCopySetPrefsDialogId,
         [](DialogDriver& d) {
             d.check(11383); // MathML, 9
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kPngPrefsMenuId, kPngPrefsDialogId,
         [](DialogDriver& d) {
             d.chooseCombo(kPngSmoothingItem, 3);
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kPluginTagPrefsMenuId, kPluginTagPrefsDialogId,
         [](DialogDriver& d) {
             d.check(kPluginMathSpeakItem, false);
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kEpsPrefsMenuId, kEpsPrefsDialogId,
         [](DialogDriver& d) {
             d.setText(kEpsResolutionItem, "600");
             d.chooseCombo(kEpsOutputTypeItem, 1); // simplified PostScript
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kBitmapPrefsMenuId, kBitmapPrefsDialogId,
         [](DialogDriver& d) {
             d.setText(kBitmapResolutionItem, "150");
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kMetafilePrefsMenuId, kMetafilePrefsDialogId,
         [](DialogDriver& d) {
             d.setText(kMetafileResolutionItem, "1200");
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kPaletteSizeMenuId, kPaletteSizePrefsDialogId,
         [](DialogDriver& d) {
             d.chooseCombo(kPaletteSizeItem, 2); // "grande taille"
             d.click(plat::IDOK);
         },
         "general.prf"},
        {kCustomizeKeyboardMenuId, kKeyboardDialogId,
         [](DialogDriver& d) {
             d.click(kKeyboardKeyItem);
             d.key('A');
             d.click(kKeyboardNothingButton);
             d.click(plat::IDOK);
         },
         "keys.prf"},
        {kCharacterCommandsMenuId, kCharacterCommandsDialogId,
         [](DialogDriver& d) {
             d.selectRow(kCharCmdListItem, 3);
             d.setText(kCharCmdShortcutItem, "k");
             d.click(plat::IDOK);
         },
         "general.prf"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.dialogId);
        const fs::path file = fs::path(m_prefs) / step.file;
        const std::string before = slurp(file);
        pt::onDialog(step.dialogId, step.script);
        EXPECT_EQ(DoMenuCommand(step.menuId), 1);
        EXPECT_NE(slurp(file), before);
    }
    // Cancel writes nothing.
    const std::string written = slurp(generalPrf());
    pt::onDialog(kImageMarginsDialogId, [](DialogDriver& d) {
        d.setText(kMarginLeftItem, "9");
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(kImageMarginsMenuId), 1);
    EXPECT_EQ(slurp(generalPrf()), written);
    // The symbol font choice is written with the other settings when the program ends.
    pt::onDialog(kSymbolFontPrefsDialogId, [](DialogDriver& d) {
        d.click(kSymbolFontLast);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kSymbolFontMenuId), 1);
    EXPECT_EQ(SizeStepSettings.step3, 21);
    EXPECT_EQ(KeyMap['a'], 0);
    auto chosen = allValues();
    chosen[1][1] = 0; // the wide structure is never taken from the file
    quit();

    startUp();
    EXPECT_TRUE(pt::messageBoxes().empty());
    EXPECT_EQ(allValues(), chosen) << "every record as the first run left it";
    EXPECT_EQ(SizeStepSettings.step3, 21);
    EXPECT_EQ(SizeStepTable.back(), 24);
    EXPECT_EQ(TypesettingSettings.fractionBarThickness, 16);
    EXPECT_EQ(MeasurementUnitSetting, 1);
    EXPECT_EQ(PictureRotationSetting, -kQuarterTurn);
    EXPECT_EQ(NextPictureRotation, -kQuarterTurn);
    EXPECT_EQ(PictureMarginSettings.left, 7);
    EXPECT_EQ(GeneralPrefValue("Sa", 0), 13);
    EXPECT_EQ(DefaultCopyFormat, 9);
    EXPECT_EQ(PngSmoothing, 3);
    EXPECT_EQ(GeneralPrefValue("Qv", 0), 0);
    EXPECT_EQ(GeneralPrefValue("Ep", 1), 1);
    EXPECT_EQ(GeneralPrefValue("Ep", 2), 600);
    EXPECT_EQ(GeneralPrefValue("Bi", 0), 150);
    EXPECT_EQ(GeneralPrefValue("Mf", 0), 1200);
    EXPECT_EQ(GeneralPrefValue("Bz", 0), 2);
    EXPECT_EQ(RudizeSetting, 1);
    EXPECT_EQ(SymbolFaceReplacement.replacement, FaceIdOfName("Rudize"));
    EXPECT_EQ(KeyMap['a'], 0);
    EXPECT_EQ(KeyMap['b'], DefaultKeyMap()['b']);
    EXPECT_EQ(StyleTable[3].shortcut, 'k');
    quit();
}

TEST_F(PrefsRunTest, ADamagedFileIsReportedOnceAndKeptUntilASettingChanges) {
    // A good "Mk" record, then a short "Ss" record.
    const std::string damaged = "Ve!\r\nMk%%\r\nSs'.2\r\n";
    {
        std::ofstream out(generalPrf(), std::ios::binary | std::ios::trunc);
        out << damaged;
    }
    std::string shown;
    startUp([&] {
        pt::onMessageBox([&](const pt::MessageBoxCall& call) {
            shown = call.text;
            return plat::IDOK;
        });
    });
    EXPECT_EQ(pt::messageBoxes().size(), 1u);
    EXPECT_NE(shown.find("general.prf"), std::string::npos) << shown;
    EXPECT_EQ(EmbellishmentSettings.dotWeight, 5) << "what could be read is kept";
    EXPECT_EQ(SizeStepSettings.minimum, 6) << "what could not be read has its default";
    quit();
    EXPECT_EQ(slurp(generalPrf()), damaged) << "quitting leaves the damaged file alone";

    // The next run says so again; a changed setting then writes the whole file anew.
    startUp([] { pt::onMessageBox([](const pt::MessageBoxCall&) { return plat::IDOK; }); });
    EXPECT_EQ(pt::messageBoxes().size(), 1u);
    pt::onDialog(kRulerUnitsDialogId, [](DialogDriver& d) {
        d.check(kRulerUnitsFirst + 2);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kRulerUnitsMenuId), 1);
    quit();
    startUp();
    EXPECT_TRUE(pt::messageBoxes().empty());
    EXPECT_EQ(MeasurementUnitSetting, 2);
    EXPECT_EQ(EmbellishmentSettings.dotWeight, 5);
    quit();
}

// ---- Every value the dialogs and commands can store reads back

constexpr int32_t kLeast = std::numeric_limits<int32_t>::min();
constexpr int32_t kMost = std::numeric_limits<int32_t>::max();

// For each record, the lowest and the highest values its dialog or command can store. Typed
// numbers (resolutions, points) can be any 32-bit value: the parser saturates; the bitmap
// resolution reaches the Photoshop target's preview. Bytes are 0 or 1; the wide structure is never
// taken from the file, so it stays 0.
struct StoredExtremes {
    const char* tag;
    std::vector<int32_t> lowest;
    std::vector<int32_t> highest;
};
const StoredExtremes kStoredExtremes[] = {
    {"Ot", {0, 0, 0, 0}, {3, 0, 1, 1}},
    {"Ss", {4, 13, 14, 15, 4}, {16383, 16384, 20000, 32765, 4}},
    {"Rf", {1, 0, -6, -6, 1, 0}, {16, 20, 6, 6, 16, 2}},
    {"Sc", {-6, -6, 0, 0, 0, 0}, {6, 6, 7, 7, 20, 20}},
    {"In", {-6, 1, 8, 0, 0, 0, 0}, {6, 16, 32, 1, 1, 1, 1}},
    {"Fe", {1, 1, 0, 0, 0, 0}, {16, 16, 2, 1, 1, 1}},
    {"Mk", {1, 1}, {16, 16}},
    {"Co", {-9000}, {9000}},
    {"Bd", {-5, -5, -5, -5}, {100, 100, 100, 100}},
    {"Mr", {1, 300}, {100000, 300}},
    {"Sa", {1}, {13}},
    {"Cf", {0}, {42}},
    {"Pn", {0, 0, 0}, {1, 1, 3}},
    {"Qv", {0, 0}, {1, 1}},
    {"Ep", {0, 0, kLeast, 0, 0, 0, 0}, {2, 4, kMost, 1, 1, 2, 4}},
    {"Bi", {kLeast, 0}, {kMost, 4}},
    {"Mf", {kLeast}, {kMost}},
    {"Cy", {0}, {1}},
    {"Bz", {0}, {3}},
    {"Pw", {0, -16384, -16384}, {1, 16384, 16384}},
    {"Nw", {0, 0, 50, 50}, {999, 999, 1000, 1000}},
    {"Wd",
     {0, 0, 72, 300, 0, 1, 0, 0, 3, 0, kLeast, 0, 1},
     {1, 5, 1152, 2400, 1, 1, 1, 0, 3, 0, kMost, 0, 1}},
    {"Fm", {0, 0, 0, 72, 300}, {1, 1, 1, 1152, 2400}},
    {"Pm", {0, 0, 0, 72, 300}, {1, 1, 1, 1152, 2400}},
    {"Id", {0, 0, 0, 0, 72, 300}, {1, 1, 1, 1, 1152, 2400}},
    {"Il", {0, 0, 0, 0, 0, 72, 300}, {1, 1, 1, 1, 1, 1152, 2400}},
    {"Ph", {0, 0, kLeast, 300}, {1, 1, kMost, 2400}},
    {"Gl", {0, 0}, {2, 1}},
    {"Dw", {0, 0}, {2, 1}},
    {"Bb", {0, 0}, {2, 1}},
    {"Wc", {0, 0}, {2, 1}},
};

TEST_F(PrefsRunTest, EveryValueTheDialogsCanStoreReadsBackUnchanged) {
    // Every record but the version is listed.
    EXPECT_EQ(std::size(kStoredExtremes) + 1, kGeneralPrefRecords.size());
    for (const bool highest : {false, true}) {
        SCOPED_TRACE(highest ? "highest" : "lowest");
        startUp();
        // The palette window's place is taken from the window when it closes: closed first, the
        // place set here is the one kept.
        if (ThePalettePane() != nullptr)
            ShowPaletteWindow();
        for (const StoredExtremes& e : kStoredExtremes) {
            const std::vector<int32_t>& v = highest ? e.highest : e.lowest;
            for (size_t i = 0; i < v.size(); ++i)
                SetGeneralPrefValue(e.tag, static_cast<int>(i), v[i]);
        }
        // A large base size (the default font's size) goes with the large size steps.
        StyleTable[0].size = highest ? 16383 : 12;
        ASSERT_TRUE(SaveGeneralPrefs(false));
        const auto chosen = allValues();
        quit();

        startUp();
        EXPECT_TRUE(pt::messageBoxes().empty()) << "no damaged notice";
        EXPECT_FALSE(GeneralPrefsKeptDamaged());
        EXPECT_EQ(allValues(), chosen);
        EXPECT_EQ(StyleTable[0].size, highest ? 16383 : 12);
        quit();
    }
}

TEST_F(PrefsRunTest, ResolutionsAndSizeStepsTypedInTheDialogsStartTheNextRun) {
    struct Case {
        const char* name;
        int menuId;
        int dialogId;
        std::function<void(DialogDriver&)> script;
        const char* tag;
        int field;
        int32_t stored;
    };
    const auto typed = [](int item, const char* text) {
        return [item, text](DialogDriver& d) {
            d.setText(item, text);
            d.click(plat::IDOK);
        };
    };
    const Case cases[] = {
        {"empty PostScript resolution", kEpsPrefsMenuId, kEpsPrefsDialogId,
         [](DialogDriver& d) {
             d.chooseCombo(kEpsClipboardTypeItem, 1);
             d.chooseCombo(kEpsOutputTypeItem, 1); // simplified, which enables the flags
             d.click(kEpsScreenFontNamesItem);
             d.click(kEpsUnifyOutputItem);
             d.setText(kEpsResolutionItem, "");
             d.click(plat::IDOK);
         },
         "Ep", kEpsResolutionField, 0},
        {"negative PostScript resolution", kEpsPrefsMenuId, kEpsPrefsDialogId,
         typed(kEpsResolutionItem, "-5"), "Ep", kEpsResolutionField, -5},
        {"bitmap resolution of 1000", kBitmapPrefsMenuId, kBitmapPrefsDialogId,
         typed(kBitmapResolutionItem, "1000"), "Bi", 0, 1000},
        {"huge bitmap resolution", kBitmapPrefsMenuId, kBitmapPrefsDialogId,
         typed(kBitmapResolutionItem, "99999999999"), "Bi", 0, kMost},
        {"negative metafile resolution", kMetafilePrefsMenuId, kMetafilePrefsDialogId,
         typed(kMetafileResolutionItem, "-5"), "Mf", 0, -5},
        {"large metafile resolution", kMetafilePrefsMenuId, kMetafilePrefsDialogId,
         typed(kMetafileResolutionItem, "200000"), "Mf", 0, 200000},
        {"size steps of a large base size", kSizeStepsMenuId, kSizeStepsDialogId,
         [](DialogDriver& d) {
             d.setText(kSizeStepsMinimumItem, "500");
             d.click(kSizeStepsGeometricItem);
             d.click(plat::IDOK);
         },
         "Ss", 3, 3364},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startUp();
        StyleTable[0].size = 2000;
        pt::onDialog(c.dialogId, c.script);
        EXPECT_EQ(DoMenuCommand(c.menuId), 1);
        EXPECT_EQ(GeneralPrefValue(c.tag, c.field), c.stored);
        const auto chosen = allValues();
        quit();

        startUp();
        EXPECT_TRUE(pt::messageBoxes().empty()) << "no damaged notice";
        EXPECT_EQ(allValues(), chosen) << "every record as the dialog left it";
        quit();
    }
    // The EPS record kept the clipboard type, the output type and both flags.
    startUp();
    EXPECT_EQ(GeneralPrefValue("Ep", kEpsClipboardTypeField), 1);
    EXPECT_EQ(GeneralPrefValue("Ep", kEpsOutputTypeField), 1);
    EXPECT_EQ(GeneralPrefValue("Ep", kEpsScreenFontNamesField), 1);
    EXPECT_EQ(GeneralPrefValue("Ep", kEpsUnifyOutputField), 1);
    EXPECT_EQ(SizeStepSettings.minimum, 500);
    EXPECT_EQ(SizeStepTable.back(), 4000) << "the ladder of the large base size";
    quit();
}

TEST_F(PrefsRunTest, TheSymbolFontChoiceRebuildsTheFontsOnStartUp) {
    ResetGeneralPrefs();
    SetGeneralPrefValue("Cy", 0, 1);
    SetGeneralPrefValue("Cf", 0, 7);
    ASSERT_TRUE(SaveGeneralPrefsIn(m_prefs, true));
    ResetGeneralPrefs();
    startUp();
    EXPECT_EQ(RudizeSetting, 1);
    EXPECT_EQ(DefaultCopyFormat, 7);
    // The face ids of this run's font manager.
    EXPECT_EQ(SymbolFaceReplacement.face, FaceIdOfName("Symbol"));
    EXPECT_EQ(SymbolFaceReplacement.replacement, FaceIdOfName("Rudize"));
    EXPECT_NE(SymbolFaceReplacement.face, SymbolFaceReplacement.replacement);
    quit();
}

TEST_F(PrefsRunTest, AMissingFunctionListIsReportedAndTheProgramGoesOn) {
    fs::remove(fs::path(m_prefs) / "function.txt");
    std::string shown;
    startUp([&] {
        pt::onMessageBox([&](const pt::MessageBoxCall& call) {
            shown = call.text;
            return plat::IDOK;
        });
    });
    EXPECT_EQ(pt::messageBoxes().size(), 1u);
    EXPECT_NE(shown.find("Function Names"), std::string::npos) << shown;
    EXPECT_EQ(FunctionNameCount, 0);
    quit();
}

} // namespace
} // namespace kvtest
