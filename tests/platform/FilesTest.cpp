#include "plat/Files.h"

#include "plat/TestingSys.h"
#include "platform/SysTempDir.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace plat;

namespace {

TEST(Cp1252Test, EveryByteSurvivesUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    const std::string utf8 = Utf8FromCp1252(all);
    std::string back;
    ASSERT_TRUE(Cp1252FromUtf8(utf8, back));
    EXPECT_EQ(back, all);
    // A few code points that must come from the code page's own table.
    EXPECT_EQ(Utf8FromCp1252("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(Utf8FromCp1252("\x9F"), "\xC5\xB8");     // Y with diaeresis
    EXPECT_EQ(Utf8FromCp1252("\xE9"), "\xC3\xA9");     // e acute
    EXPECT_EQ(Utf8FromCp1252("\x81"), "\xC2\x81");     // undefined byte kept as C1 control
}

TEST(Cp1252Test, RejectsWhatItCannotHold) {
    const struct {
        const char* what;
        std::string utf8;
    } cases[] = {
        {"CJK character", "\xE4\xB8\x80"},       {"truncated sequence", "a\xC3"},
        {"stray continuation", "\xA9"},          {"overlong slash", "\xC0\xAF"},
        {"four-byte emoji", "\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out = "unchanged";
        EXPECT_FALSE(Cp1252FromUtf8(c.utf8, out));
        EXPECT_EQ(out, "unchanged");
    }
}

TEST(Cp1252Test, CaseFoldingCoversAccentedLetters) {
    EXPECT_EQ(FoldCaseCp1252('Q'), 'q');
    EXPECT_EQ(FoldCaseCp1252(0xC9), 0xE9); // E acute
    EXPECT_EQ(FoldCaseCp1252(0x8A), 0x9A); // S caron
    EXPECT_EQ(FoldCaseCp1252(0x9F), 0xFF); // Y diaeresis
    EXPECT_EQ(FoldCaseCp1252(0xD7), 0xD7); // the multiplication sign is no letter
    EXPECT_EQ(FoldCaseCp1252(0xDF), 0xDF); // sharp s has no capital here
    EXPECT_TRUE(SameTextNoCaseCp1252("M\xC9TA.WMF", "m\xE9ta.wmf"));
    EXPECT_FALSE(SameTextNoCaseCp1252("abc", "abcd"));
    EXPECT_EQ(NativePath("C:\\Pr\xE9\\a/b"), "C:/Pr\xC3\xA9/a/b");
}

class FilesTest : public ::testing::Test {
protected:
    kvtest::SysTempDir m_dir;
};

TEST_F(FilesTest, FindFileNoCaseMatchesEachComponent) {
    kvtest::WriteFileBytes(m_dir / "Prefs/Keys.PRF", "k");
    kvtest::WriteFileBytes(m_dir / "Prefs/Sub/Text.CAT", "t");
    kvtest::WriteFileBytes(m_dir / "Prefs/a.txt", "lower");
    kvtest::WriteFileBytes(m_dir / "Prefs/A.txt", "upper");
    kvtest::WriteFileBytes(m_dir / "Prefs/R\xC3\xA9sum\xC3\xA9.txt", "r");

    EXPECT_EQ(FindFileNoCase(m_dir / "Prefs", "keys.prf"), m_dir / "Prefs/Keys.PRF");
    EXPECT_EQ(FindFileNoCase(m_dir.path(), "prefs\\sub\\TEXT.cat"), m_dir / "Prefs/Sub/Text.CAT");
    // An exact match wins over one that only ignores case.
    EXPECT_EQ(FindFileNoCase(m_dir / "Prefs", "A.txt"), m_dir / "Prefs/A.txt");
    // Accented names are compared in the program's code page.
    EXPECT_EQ(FindFileNoCase(m_dir / "Prefs", "R\xC9SUM\xC9.TXT"),
              m_dir / "Prefs/R\xE9sum\xE9.txt");
    EXPECT_EQ(FindFileNoCase(m_dir / "Prefs", "missing.prf"), "");
    EXPECT_EQ(FindFileNoCase(m_dir / "Nowhere", "keys.prf"), "");
}

TEST_F(FilesTest, EnumerationIsSortedFilteredAndSkipsForeignNames) {
    for (const char* name : {"b.cat", "A.CAT", "c.catx", "d.txt", "noext", "\xE6\x97\xA5.cat"}) {
        kvtest::WriteFileBytes(m_dir / name, "x");
    }
    std::filesystem::create_directory(m_dir / "Zdir.cat");

    auto list = [&](const std::string& pattern) {
        std::vector<std::string> names;
        WIN32_FIND_DATA data;
        HANDLE find = FindFirstFile((m_dir.path() + "\\" + pattern).c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) {
            return names;
        }
        do {
            names.push_back(std::string(data.cFileName) +
                            ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "/" : ""));
        } while (FindNextFile(find, &data));
        EXPECT_TRUE(FindClose(find));
        EXPECT_FALSE(FindNextFile(find, &data)); // closed handles are refused
        return names;
    };
    EXPECT_EQ(list("*.cat"), (std::vector<std::string>{"A.CAT", "b.cat", "Zdir.cat/"}));
    EXPECT_EQ(list("*.*"), (std::vector<std::string>{"A.CAT", "b.cat", "c.catx", "d.txt", "noext",
                                                     "Zdir.cat/"}));
    EXPECT_EQ(list("?.TXT"), (std::vector<std::string>{"d.txt"}));
    EXPECT_TRUE(list("*.png").empty());

    WIN32_FIND_DATA data;
    EXPECT_EQ(FindFirstFile((m_dir / "nowhere/*").c_str(), &data), INVALID_HANDLE_VALUE);
    HANDLE find = FindFirstFile((m_dir / "d.txt").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 1u);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    FindClose(find);
}

TEST_F(FilesTest, MoveReplacesOnlyWhenAsked) {
    kvtest::WriteFileBytes(m_dir / "new", "new");
    kvtest::WriteFileBytes(m_dir / "old", "old");
    EXPECT_FALSE(MoveFileEx((m_dir / "new").c_str(), (m_dir / "old").c_str(), 0));
    EXPECT_EQ(kvtest::ReadFileBytes(m_dir / "old"), "old");
    EXPECT_TRUE(
        MoveFileEx((m_dir / "new").c_str(), (m_dir / "old").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(kvtest::ReadFileBytes(m_dir / "old"), "new");
    EXPECT_EQ(GetFileAttributes((m_dir / "new").c_str()), INVALID_FILE_ATTRIBUTES);

    EXPECT_TRUE(CreateDirectory((m_dir / "made").c_str(), nullptr));
    EXPECT_FALSE(CreateDirectory((m_dir / "made").c_str(), nullptr));
    EXPECT_EQ(GetFileAttributes((m_dir / "made").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(DeleteFile((m_dir / "old").c_str()));
    EXPECT_FALSE(DeleteFile((m_dir / "old").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOENT));
    char text[128];
    ASSERT_GT(
        FormatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ENOENT, 0, text, sizeof text, nullptr),
        0u);
    EXPECT_STREQ(text, std::strerror(ENOENT));
}

TEST_F(FilesTest, IniValuesIgnoreCaseAndStayInTheBuffer) {
    const std::string ini = m_dir / "KORVALINE.INI";
    kvtest::WriteFileBytes(ini, "; settings\r\n[Other]\r\nPreferences=wrong\r\n"
                                "[ directory ]\r\n  preferences =  \"/data/pr\xC3\xA9\"  \r\n");
    char buf[64];
    EXPECT_EQ(GetPrivateProfileString("Directory", "Preferences", "", buf, sizeof buf, ini.c_str()),
              9u);
    EXPECT_STREQ(buf, "/data/pr\xE9");
    EXPECT_EQ(GetPrivateProfileString("Directory", "Missing", "def", buf, sizeof buf, ini.c_str()),
              3u);
    EXPECT_STREQ(buf, "def");
    EXPECT_EQ(GetPrivateProfileString("Directory", "Preferences", "", buf, 4, ini.c_str()), 3u);
    EXPECT_STREQ(buf, "/da");
    EXPECT_EQ(GetPrivateProfileString("Directory", "Preferences", "none", buf, sizeof buf,
                                      (m_dir / "absent.ini").c_str()),
              4u);
}

TEST_F(FilesTest, AnIniFileThatIsNoRegularFileReadsAsMissing) {
    // A FIFO nobody writes to, and a device: never waited on, never read.
    const std::string fifo = m_dir / "KORVALINE.INI";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    char buf[64];
    for (const std::string& ini : {fifo, std::string("/dev/zero")}) {
        SCOPED_TRACE(ini);
        EXPECT_EQ(GetPrivateProfileString("Directory", "Preferences", "def", buf, sizeof buf,
                                          ini.c_str()),
                  3u);
        EXPECT_STREQ(buf, "def");
    }
}

TEST_F(FilesTest, ProgramAndTemporaryFolders) {
    char buf[4096];
    ASSERT_GT(GetModuleFileName(nullptr, buf, sizeof buf), 0u);
    EXPECT_NE(std::string(buf).find("tests"), std::string::npos);
    char tiny[4] = "abc";
    EXPECT_EQ(GetModuleFileName(nullptr, tiny, sizeof tiny), 0u);
    EXPECT_STREQ(tiny, ""); // never a cut path

    plat::testing::setModuleFileName("/opt/k/bin/korvaline");
    ASSERT_GT(GetModuleFileName(nullptr, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "/opt/k/bin/korvaline");
    ASSERT_GT(GetWindowsDirectory(buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "/opt/k/bin"); // no share folder there
    plat::testing::setModuleFileName("");

    {
        kvtest::ScopedEnv tmp("TMPDIR", m_dir.path());
        ASSERT_GT(GetTempPath(sizeof buf, buf), 0u);
        EXPECT_EQ(std::string(buf), m_dir.path() + "/");
    }
    kvtest::ScopedEnv tmp("TMPDIR", std::nullopt);
    ASSERT_GT(GetTempPath(sizeof buf, buf), 0u);
    EXPECT_STREQ(buf, "/tmp/");
}

} // namespace
