#include "OverPc/PFILE.h"

#include "OverSrcs/oStreams.h"
#include "framework/ErrorFixture.h"
#include "plat/Memory.h"
#include "plat/Menu.h"
#include "plat/Resources.h"
#include "plat/TestingSys.h"
#include "platform/SysTempDir.h"
#include "support/HeldToPermissions.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(FileTypeTest, ExtensionsToLetters) {
    const struct {
        const char* ext;
        char letter;
    } cases[] = {
        {".PVX", 'e'}, {".exp", 'e'}, {"exp", 'e'},  {".expx", 'e'}, // only three characters count
        {".est", 'E'}, {".e12", 'x'}, {".mml", 'l'}, {".XML", 'l'},  {".EMF", 'M'}, {".wmf", 'm'},
        {".xyz", '?'}, {".ex", '?'},  {".", 't'},    {"", '?'},      {".*", '?'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ext);
        EXPECT_EQ(FileTypeFromExtension(c.ext), c.letter);
    }
    EXPECT_EQ(FileTypeFromExtension(nullptr), '?');
    EXPECT_EQ(FileTypeOfNth('l', 1)->extension, std::string(".xml"));
    EXPECT_EQ(FileTypeOfNth('l', 2), nullptr);
    EXPECT_EQ(FileTypeRow('Z'), nullptr);
}

TEST(FileTypeTest, ExtensionsOfPaths) {
    kvtest::SysTempDir dir;
    std::filesystem::create_directories(dir / "v1.2");
    EXPECT_EQ(FileTypeOfPath((dir / "v1.2").c_str()), 'd');
    EXPECT_EQ(FileTypeOfPath("/a.b/file"), '?'); // a dot in a folder is no extension
    EXPECT_EQ(FileTypeOfPath("C:\\a.b\\NOTE.TXT"), 't');
    EXPECT_EQ(FindExtension("/a.b/c"), nullptr);
    EXPECT_STREQ(FindExtension("/a/b.c.d"), ".d");

    const struct {
        const char* path;
        char letter;
        const char* result;
    } cases[] = {
        {"/x/eq", 'g', "/x/eq.png"},           {"/x/eq.txt", 'g', "/x/eq.png"},
        {"/x/eq.exp", 'e', "/x/eq.exp"},       {"/x/eq.PVX", 'e', "/x/eq.PVX"},
        {"/my.dir/eq", 'g', "/my.dir/eq.png"}, {"/x/eq.emf", 'M', "/x/eq.emf"},
        {"/x/eq.png", 'M', "/x/eq.emf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string path = c.path;
        SetFileTypeExtension(path, c.letter);
        EXPECT_EQ(path, c.result);
    }
    std::string path = "/x/eq.txt";
    SetFileTypeExtension(path, '?');
    EXPECT_EQ(path, "/x/eq.txt");
    EXPECT_NE(LoggedInformation().find("(FileType not in tab)"), std::string_view::npos);
}

TEST(PathTest, MakePathAndFriends) {
    const struct {
        const char* folder;
        const char* name;
        const char* ext;
        const char* result;
    } cases[] = {
        {"/opt/k/korvaline", "notes.txt", ".INI", "/opt/k/notes.INI"},
        {"C:\\Prog\\KORV.EXE", "KORV.EXE", ".INI", "C:\\Prog\\KORV.INI"},
        {"dir", "a.txt", nullptr, "dir/a.txt"},
        {"/x/", "/y/z.txt", "png", "/x/z.png"},
        {nullptr, "/y/z.txt", nullptr, "/y/z.txt"},
        {"/x/", "", ".cat", ".cat"},
        {"", "a", ".b", "a.b"},
        {"/x.d/", "noext", "eps", "/x.d/noext.eps"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        EXPECT_EQ(MakePath(c.folder, c.name, c.ext), c.result);
    }
    EXPECT_EQ(FileNameOfPath("/a/b/c.exp"), "c.exp");
    EXPECT_EQ(FileNameOfPath("C:\\a\\b.exp"), "b.exp");
    EXPECT_EQ(FileNameOfPath("plain"), "plain");
    EXPECT_EQ(SubfolderPath("/a/b/file.exp", "Examples"), "/a/b/Examples/");
    EXPECT_EQ(SubfolderPath("/a/b/", "c/"), "/a/b/c/");
    EXPECT_TRUE(SameTextNoCase("Texte \xC9t\xE9", "TEXTE \xE9T\xC9"));
    EXPECT_FALSE(SameTextNoCase("a", "b"));

    std::string root;
    EXPECT_EQ(FirstHardDrive(root, "tmp"), 0);
    EXPECT_EQ(root, "/");
    EXPECT_EQ(FirstHardDrive(root, "no/such/folder/here"), -1);
    EXPECT_EQ(root, "");
}

// Folder discovery from a fresh home folder.
class FoldersTest : public ::testing::Test {
protected:
    kvtest::SysTempDir m_dir;
    kvtest::ScopedEnv m_home{"HOME", m_dir / "home"};
    kvtest::ScopedEnv m_data{"XDG_DATA_HOME", std::nullopt};
    kvtest::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir / "config"};

    void SetUp() override {
        kvtest::WriteFileBytes(m_dir / "prog/Korvaline_Prefs/keys.prf", "shipped keys");
        kvtest::WriteFileBytes(m_dir / "prog/Korvaline_Prefs/Examples/a.exp", "a");
        plat::testing::setModuleFileName(m_dir / "prog/korvaline");
    }
    void TearDown() override {
        plat::testing::setModuleFileName("");
        FreePaths();
    }
};

TEST_F(FoldersTest, FirstRunCopiesThePreferencesFolder) {
    InitPaths();
    const std::string data = m_dir / "home/.local/share/Tessaron/";
    EXPECT_EQ(PathSlotText(kDataFolderSlot), data);
    EXPECT_EQ(PathSlotText(kProgramFolderSlot), m_dir / "prog/");
    EXPECT_EQ(PathSlotText(kHelpPageSlot), m_dir / "prog/matindex.htm");
    EXPECT_EQ(PathSlotText(kIniFileSlot), m_dir / "prog/korvaline.INI");
    EXPECT_EQ(PathSlotText(kCurrentFolderSlot).back(), '/');
    EXPECT_EQ(PrefsFolderPath(), data + "Korvaline_Prefs/");
    EXPECT_EQ(kvtest::ReadFileBytes(data + "Korvaline_Prefs/keys.prf"), "shipped keys");
    EXPECT_EQ(kvtest::ReadFileBytes(data + "Korvaline_Prefs/Examples/a.exp"), "a");

    // The user's own files are never replaced by a later start.
    kvtest::WriteFileBytes(data + "Korvaline_Prefs/keys.prf", "my keys");
    InitPaths();
    EXPECT_EQ(kvtest::ReadFileBytes(data + "Korvaline_Prefs/keys.prf"), "my keys");
}

TEST_F(FoldersTest, IniValueCountsOnlyWithoutAnApplicationDataFolder) {
    kvtest::WriteFileBytes(m_dir / "prog/KORVALINE.ini",
                           "[Directory]\nPreferences=" + (m_dir / "inidata") + "\n");
    InitPaths();
    EXPECT_EQ(PathSlotText(kIniFileSlot), m_dir / "prog/KORVALINE.ini");
    EXPECT_EQ(PathSlotText(kDataFolderSlot), m_dir / "home/.local/share/Tessaron/");

    kvtest::ScopedEnv noHome("HOME", std::nullopt);
    InitPaths();
    EXPECT_EQ(PathSlotText(kDataFolderSlot), m_dir / "inidata/");
    EXPECT_EQ(kvtest::ReadFileBytes(m_dir / "inidata/Korvaline_Prefs/keys.prf"), "shipped keys");
}

TEST_F(FoldersTest, ShippedFolderSitsBesideTheBuiltProgram) {
    plat::testing::setModuleFileName(std::string(KV_BINARY_DIR) + "/src/korvaline");
    InitPaths();
    EXPECT_TRUE(std::filesystem::is_directory(PrefsFolderPath()));
    EXPECT_FALSE(kvtest::FolderNames(PrefsFolderPath()).empty());
}

TEST_F(FoldersTest, DataFilesAreFoundInOrderIgnoringCase) {
    InitPaths();
    const std::string data = PathSlotText(kDataFolderSlot);
    const std::string prog = PathSlotText(kProgramFolderSlot);
    kvtest::WriteFileBytes(data + "Text.CAT", "data");
    kvtest::WriteFileBytes(prog + "Text.CAT", "program");
    kvtest::WriteFileBytes(prog + "OnlyHere.prf", "p");

    std::string out;
    EXPECT_EQ(FindDataFile(out, "Text.CAT"), 0);
    EXPECT_EQ(out, data + "Text.CAT");
    EXPECT_EQ(FindDataFile(out, "text.cat"), 0); // named on a system that ignores case
    EXPECT_EQ(out, data + "Text.CAT");
    EXPECT_EQ(FindDataFile(out, "ONLYHERE.PRF"), 0);
    EXPECT_EQ(out, prog + "OnlyHere.prf");
    EXPECT_EQ(FindDataFile(out, "Korvaline_Prefs\\KEYS.prf"), 0);
    EXPECT_EQ(out, data + "Korvaline_Prefs/keys.prf");
    EXPECT_NE(FindDataFile(out, "missing.cat"), 0);
    EXPECT_EQ(out, PathSlotText(kCurrentFolderSlot) + "missing.cat");
    EXPECT_EQ(FindDataFile(out, "*.cat"), 0);
    EXPECT_EQ(out, data + "*.cat");
    EXPECT_EQ(DefaultTranslatorFile(), prog + "OxbeText.CAT");
}

TEST(ScanFolderTest, TypesFoldersAndOrder) {
    kvtest::SysTempDir dir;
    for (const char* name :
         {"b.exp", "A.pvx", "c.EXP", "d.txt", "e.prf", "f.png", "g.xml", "h.mml", "zz.exp.bak"}) {
        kvtest::WriteFileBytes(dir / name, "x");
    }
    std::filesystem::create_directories(dir / "Sub");
    std::filesystem::create_directories(dir / ".hidden");
    std::filesystem::create_directories(dir / "alpha");
    const std::string base = dir.path() + "/";
    auto full = [&](std::vector<std::string> names) {
        for (std::string& n : names) {
            n = base + n;
        }
        return names;
    };
    std::vector<std::string> out;
    ScanFolderForTypes(out, dir.path().c_str(), 'e');
    // Each row's names come in descending order: .exp first, then .pvx.
    EXPECT_EQ(out, full({"c.EXP", "b.exp", "A.pvx"}));
    ScanFolderForTypes(out, base.c_str(), 'd');
    EXPECT_EQ(out, full({"Sub", "alpha"}));
    ScanFolderForTypes(out, base.c_str(), 'l');
    EXPECT_EQ(out, full({"h.mml", "g.xml"}));
    ScanFolderForTypes(out, base.c_str(), '*');
    // Folders, then every type of the default Open filter (not .prf, .txt or .cat).
    EXPECT_EQ(out, full({"Sub", "alpha", "c.EXP", "b.exp", "A.pvx", "f.png", "h.mml", "g.xml"}));

    StringStackNode* stack = nullptr;
    StringStackPush(stack, "one");
    StringStackPush(stack, "two");
    std::string text;
    EXPECT_TRUE(StringStackPop(stack, text));
    EXPECT_EQ(text, "two");
    EXPECT_TRUE(StringStackPop(stack, text));
    EXPECT_EQ(text, "one");
    EXPECT_FALSE(StringStackPop(stack, text));
}

class PFILEAlertTest : public kvtest::ErrorFixture {
protected:
    kvtest::SysTempDir m_dir;
};

TEST_F(PFILEAlertTest, ShellOpensOnlyWhatExists) {
    plat::testing::clearRecordedShellOpens();
    kvtest::WriteFileBytes(m_dir / "page.htm", "<p>");
    EXPECT_EQ(ShellOpenIfExists((m_dir / "missing.htm").c_str()), 0);
    EXPECT_NE(ShellOpenIfExists((m_dir / "page.htm").c_str()), 0);
    EXPECT_EQ(plat::testing::recordedShellOpens(),
              std::vector<std::string>{"open " + (m_dir / "page.htm")});
    plat::testing::clearRecordedShellOpens();
}

// Removing a file: true when it went; false, nothing raised, when there was nothing to remove or
// it is a folder; a file the user may not remove raises 447 naming it and stays.
TEST_F(PFILEAlertTest, RemoveFileOrFailRemovesOrSaysWhyNot) {
    const std::string locked = m_dir / "locked";
    std::filesystem::create_directories(locked);
    kvtest::WriteFileBytes(m_dir / "doc.pvx", "x");
    kvtest::WriteFileBytes(locked + "/kept.pvx", "k");
    std::filesystem::create_directories(m_dir / "folder.pvx");
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_exec);
    struct Case {
        std::string path;
        int16_t code; // what it raises
        bool removed; // its result
        bool existsAfter;
    };
    const Case cases[] = {
        {m_dir / "doc.pvx", 0, true, false},
        {m_dir / "doc.pvx", 0, false, false}, // already gone
        {m_dir / "never.pvx", 0, false, false},
        {m_dir / "folder.pvx", 0, false, true},
        {locked + "/kept.pvx", errFileAccessDenied, false, true},
    };
    kvtest::HeldToPermissions asAnyUser;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        SetErrorDetail(nullptr);
        bool removed = false;
        EXPECT_EQ(CatchFail([&] { removed = RemoveFileOrFail(c.path.c_str()); }), c.code);
        EXPECT_EQ(removed, c.removed);
        EXPECT_EQ(std::filesystem::exists(c.path), c.existsAfter);
        if (c.code != 0) {
            EXPECT_NE(std::string(ErrorDetail()).find(c.path), std::string::npos);
        }
    }
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

// Opening a file with the desktop's program hands the path over with the verb "open", as a
// file-system path (a Windows-1252 name in UTF-8), whether or not the file is there; a page
// address passes as it is; an empty path opens nothing. The headless back end records the request
// instead of starting a viewer.
TEST_F(PFILEAlertTest, ShellOpenFileHandsThePathToTheDesktop) {
    struct Case {
        std::string path;
        int result;
        std::vector<std::string> opened;
    };
    const Case cases[] = {
        {m_dir / "page.htm", 1, {"open " + (m_dir / "page.htm")}},
        {m_dir / "not there.pdf", 1, {"open " + (m_dir / "not there.pdf")}},
        {m_dir / "\xE9t\xE9.pvx", 1, {"open " + (m_dir / "\xC3\xA9t\xC3\xA9.pvx")}},
        {"https://example.org/a?b=1", 1, {"open https://example.org/a?b=1"}},
        {"", 0, {}},
    };
    kvtest::WriteFileBytes(m_dir / "page.htm", "<p>");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        plat::testing::clearRecordedShellOpens();
        EXPECT_EQ(ShellOpenFile(c.path.c_str()), c.result);
        EXPECT_EQ(plat::testing::recordedShellOpens(), c.opened);
    }
    plat::testing::clearRecordedShellOpens();
}

TEST_F(PFILEAlertTest, FilesHandedOverByAnotherCopy) {
    static std::vector<std::string> opened;
    opened.clear();
    SetOpenDocumentHook([](const char* path, char type) {
        opened.push_back(std::string(path) + " " + type);
        if (type == 'p') {
            Fail(errDataCorrupted);
        }
    });
    kvtest::WriteFileBytes(m_dir / "doc.pvx", "x");
    kvtest::WriteFileBytes(m_dir / "picture.eps", "x");
    kvtest::WriteFileBytes(m_dir / "noext", "x");

    OpenFileFromAtom(plat::GlobalAddAtom((m_dir / "doc.pvx").c_str()));
    // A file of no known type goes to the opener like any other; a missing one is reported by
    // name, never opened.
    OpenFileFromAtom(plat::GlobalAddAtom((m_dir / "noext").c_str()));
    answerNextBox(1);
    OpenFileFromAtom(plat::GlobalAddAtom((m_dir / "gone.pvx").c_str()));
    const plat::ATOM atom = plat::GlobalAddAtom((m_dir / "picture.eps").c_str());
    answerNextBox(1);
    OpenFileFromAtom(atom); // its failure is shown, not passed on
    EXPECT_EQ(opened,
              (std::vector<std::string>{(m_dir / "doc.pvx") + " e", (m_dir / "noext") + " ?",
                                        (m_dir / "picture.eps") + " p"}));
    ASSERT_EQ(plat::testing::messageBoxes().size(), 2u);
    EXPECT_NE(plat::testing::messageBoxes()[0].text.find("gone.pvx"), std::string::npos);
    char name[8];
    EXPECT_EQ(plat::GlobalGetAtomName(atom, name, sizeof name), 0u); // deleted
    SetOpenDocumentHook(nullptr);
}

// A 2 x 2 bitmap of 24 bits, then `extra` after the pixels.
std::string BitmapFile(const std::string& extra, std::uint32_t width = 2, std::uint32_t height = 2,
                       std::uint16_t bits = 24) {
    auto le32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    auto le16 = [](std::uint16_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8)};
    };
    std::string dib = le32(40) + le32(width) + le32(height) + le16(1) + le16(bits) + le32(0) +
                      le32(0) + le32(2835) + le32(2835) + le32(0) + le32(0);
    dib += std::string(16, '\x7F'); // two rows of 6 bytes, each padded to 8
    dib += extra;
    return "BM" + le32(static_cast<std::uint32_t>(14 + dib.size())) + le32(0) + le32(54) + dib;
}

TEST(BitmapFileTest, HeadersAreCheckedAgainstTheFile) {
    const std::string good = BitmapFile("]|Expr|[#32 ]|[");
    std::size_t offset = 0, size = 0;
    ASSERT_TRUE(CheckBitmapFile(reinterpret_cast<const std::uint8_t*>(good.data()), good.size(),
                                offset, size));
    EXPECT_EQ(offset, 14u);
    EXPECT_EQ(size, good.size() - 14);

    std::string longer = good;
    longer[2] = static_cast<char>(longer[2] + 100); // the header claims more than the file has
    std::string magic = good;
    magic[1] = 'A';
    const struct {
        const char* what;
        std::string bytes;
    } bad[] = {
        {"empty", ""},
        {"only the file header", good.substr(0, 14)},
        {"wrong magic", magic},
        {"size beyond the file", longer},
        {"pixels beyond the file", BitmapFile("", 2, 1000)},
        {"huge width", BitmapFile("", 0x7FFFFFFF, 2)},
        {"odd bit count", BitmapFile("", 2, 2, 3)},
        {"cut short", good.substr(0, 60)},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(CheckBitmapFile(reinterpret_cast<const std::uint8_t*>(c.bytes.data()),
                                     c.bytes.size(), offset, size));
    }
}

TEST_F(PFILEAlertTest, OpenBitmapFileHandsTheBitmapOverOrAlerts) {
    static std::string received;
    received.clear();
    SetOpenBitmapHook([](void* block, const char*) {
        auto mem = static_cast<plat::HGLOBAL>(block);
        const auto* bytes = static_cast<const char*>(plat::GlobalLock(mem));
        received.assign(bytes, plat::GlobalSize(mem));
        plat::GlobalUnlock(mem);
        return received.find("]|Expr|[") != std::string::npos;
    });
    const std::string good = BitmapFile("]|Expr|[#32 ]|[");
    kvtest::WriteFileBytes(m_dir / "eq.bmp", good);
    OpenBitmapFile((m_dir / "eq.bmp").c_str());
    EXPECT_EQ(received, good.substr(14));
    EXPECT_TRUE(plat::testing::messageBoxes().empty());

    kvtest::WriteFileBytes(m_dir / "plain.bmp", BitmapFile(""));
    kvtest::WriteFileBytes(m_dir / "bad.bmp", good.substr(0, 40));
    for (const char* name : {"plain.bmp", "bad.bmp"}) {
        SCOPED_TRACE(name);
        answerNextBox(1);
        OpenBitmapFile((m_dir / name).c_str());
    }
    EXPECT_EQ(plat::testing::messageBoxes().size(), 2u);
    SetOpenBitmapHook(nullptr);
}

// What the export side would hand over for the front document in these tests.
FrontDocumentBitmap s_front;
bool s_hasFront = true;

TEST_F(PFILEAlertTest, SavedBitmapsReadBackAndAskForANameOnlyWhenNeeded) {
    SetFrontBitmapHook([](FrontDocumentBitmap& out) {
        out = s_front;
        return s_hasFront;
    });
    const std::string file = BitmapFile("]|Expr|[#32 ]|[");
    s_front.dib.assign(file.begin() + 14, file.end());
    s_front.path = m_dir / "eq.bmp";
    s_front.changed = false;
    s_front.saveType = 13;

    // Unchanged with a path and no question: written straight there, readable again.
    ASSERT_TRUE(SaveBitmapFile(false));
    EXPECT_EQ(kvtest::ReadFileBytes(m_dir / "eq.bmp"), file);
    const std::string written = kvtest::ReadFileBytes(m_dir / "eq.bmp");
    std::size_t offset = 0, size = 0;
    EXPECT_TRUE(CheckBitmapFile(reinterpret_cast<const std::uint8_t*>(written.data()),
                                written.size(), offset, size));

    // Changed: the name is asked; Cancel writes nothing.
    s_front.changed = true;
    plat::testing::answerFileDialogCancel();
    EXPECT_FALSE(SaveBitmapFile(false));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "other.bmp"));
    plat::testing::answerFileDialog(m_dir / "other.bmp");
    EXPECT_TRUE(SaveBitmapFile(false));
    EXPECT_EQ(kvtest::ReadFileBytes(m_dir / "other.bmp"), file);

    // A bitmap whose header is not a plain bitmap's is refused before anything is asked, and the
    // old file stays.
    s_front.dib.resize(20);
    answerNextBox(1);
    EXPECT_FALSE(SaveBitmapFile(true));
    EXPECT_EQ(plat::testing::messageBoxes().size(), 1u);
    EXPECT_EQ(kvtest::ReadFileBytes(m_dir / "other.bmp"), file);

    // No front document: nothing happens.
    s_hasFront = false;
    EXPECT_FALSE(SaveBitmapFile(true));
    s_hasFront = true;
    SetFrontBitmapHook(nullptr);
}

TEST(BitmapFileTest, FileHeaderPointsAtThePixelRows) {
    // A 4-bit bitmap with a 16-entry colour table: the rows start after header and table.
    std::string dib = BitmapFile("", 2, 2, 4).substr(14);
    dib.insert(40, std::string(64, '\0'));
    std::uint8_t header[14];
    ASSERT_TRUE(MakeBitmapFileHeader(reinterpret_cast<const std::uint8_t*>(dib.data()), dib.size(),
                                     header));
    EXPECT_EQ(header[0], 'B');
    EXPECT_EQ(header[1], 'M');
    const auto le32 = [&](int at) {
        return static_cast<std::uint32_t>(header[at] | header[at + 1] << 8 | header[at + 2] << 16 |
                                          header[at + 3] << 24);
    };
    EXPECT_EQ(le32(2), 14 + dib.size());
    EXPECT_EQ(le32(10), 14u + 40u + 64u);
    EXPECT_FALSE(
        MakeBitmapFileHeader(reinterpret_cast<const std::uint8_t*>(dib.data()), 50, header));
}

TEST_F(PFILEAlertTest, CommitOfAVanishedSiblingAlertsAndKeepsTheTarget) {
    kvtest::WriteFileBytes(m_dir / "doc.pvx", "old");
    answerNextBox(1);
    EXPECT_FALSE(CommitTempFile((m_dir / "doc.pvx").c_str(), (m_dir / "doc.0").c_str()));
    ASSERT_EQ(plat::testing::messageBoxes().size(), 1u);
    EXPECT_NE(plat::testing::messageBoxes()[0].text.find(m_dir / "doc.0"), std::string::npos);
    EXPECT_EQ(kvtest::ReadFileBytes(m_dir / "doc.pvx"), "old");

    kvtest::WriteFileBytes(m_dir / "doc.0", "new");
    EXPECT_TRUE(CommitTempFile((m_dir / "doc.pvx").c_str(), (m_dir / "doc.0").c_str()));
    EXPECT_EQ(kvtest::ReadFileBytes(m_dir / "doc.pvx"), "new");
    EXPECT_FALSE(std::filesystem::exists(m_dir / "doc.0"));
}

TEST(SiblingRecordTest, EntriesOfEveryFormReadAndOnlyWholeOnesKeepTheWrittenState) {
    // Lines of a record as earlier versions and this one write them, and damaged ones.
    struct Case {
        const char* line;
        bool reads;
        bool complete;
        bool pending;
        const char* path;
    };
    const Case cases[] = {
        {"2049 131075 - 1765000000123456789 /home/u/doc.0", true, false, false, "/home/u/doc.0"},
        {"w 2049 131075 1.5 1765000000123456789 42 -3000000000 1765000000123456789 /a b/c.1", true,
         true, false, "/a b/c.1"},
        {"w 2049 131075 - 1765000000123456789 42 7 /x/doc.0", false, false, false, ""},
        {"w 2049 131075 - 1765000000123456789 42 7 8", false, false, false, ""},
        {"w 2049 131075 - 1765000000123456789 4x2 7 8 /x/doc.0", false, false, false, ""},
        {"W 2049 131075 - 1765000000123456789 42 7 8 /x/doc.0", false, false, false, ""},
        {"w  2049 131075 - 1 42 7 8 /x/doc.0", false, false, false, ""},
        {"2049 131075 - 1765000000123456789", false, false, false, ""},
        {"p 6f1c0e2a-43b1-4c55-9d3e-2a3b4c5d6e7f 4194304 18446744073709551615 2049 131075 - "
         "1765000000123456789 /a b/doc.12",
         true, false, true, "/a b/doc.12"},
        {"p b 1 0 2049 131075 1.5 -1 /x/doc.0", true, false, true, "/x/doc.0"},
        // No writer, a writer of id 0 or less or past the ids' range, no start, no boot.
        {"p b 2049 131075 - 1 /x/doc.0", false, false, false, ""},
        {"p b 0 5 2049 131075 - 1 /x/doc.0", false, false, false, ""},
        {"p b -3 5 2049 131075 - 1 /x/doc.0", false, false, false, ""},
        {"p b 2147483648 5 2049 131075 - 1 /x/doc.0", false, false, false, ""},
        {"p b 42 -5 2049 131075 - 1 /x/doc.0", false, false, false, ""},
        {"p  42 5 2049 131075 - 1 /x/doc.0", false, false, false, ""},
        {"p b 42 5 2049 131075 - 1", false, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::vector<RecordedSibling> read = ParseSiblingRecord(std::string(c.line) + "\n");
        ASSERT_EQ(read.size(), c.reads ? 1u : 0u);
        if (!c.reads)
            continue;
        EXPECT_EQ(read[0].complete, c.complete);
        EXPECT_EQ(read[0].pending, c.pending);
        EXPECT_EQ(read[0].path, c.path);
        EXPECT_EQ(FormatSiblingRecord(read), std::string(c.line) + "\n");
    }
    const std::vector<RecordedSibling> pending =
        ParseSiblingRecord("p 6f1c 4194304 987 2049 131075 - 17 /a b/doc.12\n");
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].boot, "6f1c");
    EXPECT_EQ(pending[0].writer, 4194304);
    EXPECT_EQ(pending[0].writerStart, 987u);
    EXPECT_EQ(pending[0].device, 2049u);
    EXPECT_EQ(pending[0].inode, 131075u);
    EXPECT_EQ(pending[0].made, 17);
    const std::vector<RecordedSibling> whole = ParseSiblingRecord(
        "w 2049 131075 1.5 1765000000123456789 42 -3000000000 1765000000123456789 /a b/c.1\n");
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0].size, 42u);
    EXPECT_EQ(whole[0].modified, -3000000000);
    EXPECT_EQ(whole[0].changed, 1765000000123456789);
    EXPECT_EQ(whole[0].born, "1.5");
}

TEST_F(PFILEAlertTest, DataResourcesTakeTheirLengthFromTheTable) {
    static const plat::BYTE payload[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    // (id, length) pairs: 5000 twice (the last wins), 5001 longer than its resource, then the end.
    static const plat::BYTE table[] = {0x88, 0x13, 0, 0, 9,  0, 0, 0, 0x88, 0x13, 0, 0, 5, 0, 0, 0,
                                       0x89, 0x13, 0, 0, 99, 0, 0, 0, 0,    0,    0, 0, 0, 0, 0, 0};
    static const plat::ResData data[] = {
        {256, 5000, nullptr, payload, sizeof payload},
        {256, 5001, nullptr, payload, sizeof payload},
        {256, 5002, nullptr, payload, sizeof payload},
        {plat::RT_RCDATA_ID, 939, nullptr, table, sizeof table},
    };
    plat::ResourceTables tables;
    tables.data = data;
    tables.dataCount = 4;
    plat::RegisterBuiltinResources(tables);

    const struct {
        int id;
        std::string expected;
    } cases[] = {{5000, "abcde"}, {5001, "abcdefgh"}, {5002, ""}, {6000, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        oIStreamPtr in(NewIDataFileStream(c.id));
        char buf[32];
        std::int32_t count = 0;
        in->getBytes(buf, sizeof buf, count);
        EXPECT_EQ(std::string(buf, static_cast<std::size_t>(count)), c.expected);
    }
}

} // namespace

namespace {

// Splits a double-zero-terminated filter list into its texts.
std::vector<std::string> FilterParts(const std::string& list) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at < list.size() && list[at] != 0) {
        const std::size_t end = list.find('\0', at);
        parts.push_back(list.substr(at, end - at));
        at = end + 1;
    }
    EXPECT_EQ(at + 1, list.size()); // one empty entry ends the list
    return parts;
}

// The patterns (every second text) of a filter list.
std::vector<std::string> Patterns(const std::string& list) {
    std::vector<std::string> parts = FilterParts(list), patterns;
    for (std::size_t i = 1; i < parts.size(); i += 2) {
        patterns.push_back(parts[i]);
    }
    return patterns;
}

class FilterTest : public kvtest::ErrorFixture {};

TEST_F(FilterTest, OpenAndSaveFilters) {
    EXPECT_EQ(
        Patterns(BuildFileFilter(nullptr)),
        (std::vector<std::string>{"*.exp", "*.pvx", "*.est", "*.e12", "*.eps", "*.wmf", "*.emf",
                                  "*.bmp", "*.png", "*.mml", "*.xml", "*.msp", "*.*"}));
    EXPECT_EQ(Patterns(BuildFileFilter("co")), (std::vector<std::string>{"*.prf", "*.cat", "*.*"}));
    // Save types: every other savable type, then the path's own type last.
    EXPECT_EQ(Patterns(BuildTypeFilter('g')),
              (std::vector<std::string>{"*.exp", "*.pvx", "*.est", "*.prf", "*.e12", "*.png"}));
    EXPECT_EQ(Patterns(BuildTypeFilter('e')),
              (std::vector<std::string>{"*.est", "*.prf", "*.e12", "*.pvx"}));
    // The shown text carries the lower-case extension, and "*.*" for all files.
    const std::vector<std::string> parts = FilterParts(BuildFileFilter("E"));
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_NE(parts[0].find(" (.est)"), std::string::npos) << parts[0];
    EXPECT_NE(parts[2].find(" (*.*)"), std::string::npos) << parts[2];
}

TEST(SaveItemTest, SaveTypesShowTheirExtension) {
    const struct {
        const char* text;
        int saveType;
        const char* result;
    } cases[] = {
        {"&Save (EXP)", 3, "&Save (PNG)"},  {"&Save", 2, "&Save (EPS)"},
        {"&Save (EXP)", 12, "&Save (EMF)"}, {"&Save (EXP)", 13, "&Save (BMP)"},
        {"&Save (PNG)", 10, "&Save"},       {"&Save", 99, "&Save"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.saveType);
        EXPECT_EQ(SaveItemText(c.text, c.saveType), c.result);
    }
}

class SaveMenuTest : public kvtest::ErrorFixture {};

TEST_F(SaveMenuTest, TheSaveItemOfTheMenuBarFollowsTheSaveType) {
    plat::HMENU bar = plat::CreateMenu();
    plat::HMENU file = plat::CreatePopupMenu();
    plat::AppendMenu(file, plat::MF_STRING, 262, "&Open...");
    plat::AppendMenu(file, plat::MF_STRING, 263, "&Save");
    plat::AppendMenu(bar, plat::MF_POPUP, reinterpret_cast<plat::UINT_PTR>(file), "&File");
    CQVApp::instance().m_MenuBar = bar;
    auto saveText = [&] {
        char text[64] = {};
        plat::GetMenuString(bar, 263, text, sizeof text, plat::MF_BYCOMMAND);
        return std::string(text);
    };
    UpdateSaveMenuItem(3);
    EXPECT_EQ(saveText(), "&Save (PNG)");
    UpdateSaveMenuItem(1);
    EXPECT_EQ(saveText(), "&Save (PVX)");
    UpdateSaveMenuItem(11); // no row of its own: the parenthesis goes
    EXPECT_EQ(saveText(), "&Save");
    CQVApp::instance().m_MenuBar = nullptr;
    plat::DestroyMenu(bar);
}

class AskSaveTest : public kvtest::ErrorFixture {
protected:
    void TearDown() override {
        SetEmbeddedDocumentQuery(nullptr);
        kvtest::ErrorFixture::TearDown();
    }
};

TEST_F(AskSaveTest, AnswersAndTexts) {
    const struct {
        int box;
        int answer;
    } answers[] = {{6, 1}, {7, 2}, {2, 0}};
    for (const auto& a : answers) {
        SCOPED_TRACE(a.box);
        answerNextBox(a.box);
        EXPECT_EQ(AskSaveChanges("doc%d.pvx"), a.answer);
    }
    ASSERT_EQ(plat::testing::messageBoxes().size(), 3u);
    const auto& box = plat::testing::messageBoxes()[0];
    EXPECT_EQ(box.text, "Save the file doc%d.pvx ?"); // the name is never read as a format
    EXPECT_EQ(box.type & 0xFFu, 0x43u);

    SetEmbeddedDocumentQuery([](std::string&) { return 2; });
    EXPECT_EQ(AskSaveChanges("x"), 2); // no client: nothing to ask
    SetEmbeddedDocumentQuery([](std::string& container) {
        container = "Rapport.doc";
        return 1;
    });
    answerNextBox(6);
    EXPECT_EQ(AskSaveChanges("x"), 1);
    EXPECT_EQ(plat::testing::messageBoxes().back().text,
              "Mettre \xE0 jour le document dans Rapport.doc ?");
    SetEmbeddedDocumentQuery([](std::string&) { return 3; });
    answerNextBox(7);
    EXPECT_EQ(AskSaveChanges("x"), 2);
    EXPECT_EQ(plat::testing::messageBoxes().back().text,
              "Mettre \xE0 jour le document dans Application ?");
}

} // namespace
