#include "plat/Shell.h"

#include "plat/Files.h"
#include "plat/TestingSys.h"
#include "platform/SysTempDir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace plat;

namespace {

class ShellTest : public ::testing::Test {
protected:
    kvtest::SysTempDir m_dir;
    kvtest::ScopedEnv m_home{"HOME", m_dir / "home"};
    kvtest::ScopedEnv m_data{"XDG_DATA_HOME", std::nullopt};
    kvtest::ScopedEnv m_config{"XDG_CONFIG_HOME", std::nullopt};

    static std::string folder(int csidl) {
        char path[MAX_PATH];
        return SHGetFolderPath(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK
                   ? std::string(path)
                   : std::string("<fail>");
    }
};

TEST_F(ShellTest, UserFolders) {
    EXPECT_EQ(folder(CSIDL_LOCAL_APPDATA), m_dir / "home/.local/share");
    {
        kvtest::ScopedEnv data("XDG_DATA_HOME", m_dir / "data/");
        EXPECT_EQ(folder(CSIDL_LOCAL_APPDATA), m_dir / "data");
    }
    // No desktop folder at all: the home folder.
    EXPECT_EQ(folder(CSIDL_DESKTOPDIRECTORY), m_dir / "home");
    std::filesystem::create_directories(m_dir / "home/Desktop");
    EXPECT_EQ(folder(CSIDL_DESKTOPDIRECTORY), m_dir / "home/Desktop");
    std::filesystem::create_directories(m_dir / "home/Bureau");
    kvtest::WriteFileBytes(m_dir / "home/.config/user-dirs.dirs",
                           "# comment\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
    EXPECT_EQ(folder(CSIDL_DESKTOPDIRECTORY), m_dir / "home/Bureau");

    kvtest::ScopedEnv noHome("HOME", std::nullopt);
    EXPECT_EQ(folder(CSIDL_LOCAL_APPDATA), "<fail>");
}

TEST_F(ShellTest, CopyMakesTheFolderTreeSilently) {
    kvtest::WriteFileBytes(m_dir / "prog/Korvaline_Prefs/keys.prf", "keys");
    kvtest::WriteFileBytes(m_dir / "prog/Korvaline_Prefs/Examples/a.exp", "a");

    // A target that does not exist becomes the copy, its missing parents made on the way.
    std::string from = m_dir / "prog/Korvaline_Prefs";
    from.push_back('\0');
    const std::string to = m_dir / "data/Tessaron/Korvaline_Prefs";
    SHFILEOPSTRUCT op;
    op.wFunc = FO_COPY;
    op.pFrom = from.c_str();
    op.pTo = to.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    ASSERT_EQ(SHFileOperation(&op), 0);
    EXPECT_EQ(kvtest::ReadFileBytes(to + "/keys.prf"), "keys");
    EXPECT_EQ(kvtest::ReadFileBytes(to + "/Examples/a.exp"), "a");

    // An existing folder receives the source inside it.
    const std::string into = m_dir / "backup";
    std::filesystem::create_directories(into);
    op.pTo = into.c_str();
    ASSERT_EQ(SHFileOperation(&op), 0);
    EXPECT_EQ(kvtest::ReadFileBytes(into + "/Korvaline_Prefs/keys.prf"), "keys");

    std::string missing = m_dir / "nothing";
    missing.push_back('\0');
    op.pFrom = missing.c_str();
    EXPECT_NE(SHFileOperation(&op), 0);
    EXPECT_TRUE(op.fAnyOperationsAborted);
}

TEST_F(ShellTest, OpeningIsRecordedWithTheHeadlessBackEnd) {
    plat::testing::clearRecordedShellOpens();
    SHELLEXECUTEINFO info;
    info.fMask = SEE_MASK_FLAG_DDEWAIT;
    info.lpVerb = "open";
    info.lpFile = "C:\\Docs\\caf\xE9.htm";
    EXPECT_TRUE(ShellExecuteEx(&info));
    info.lpFile = "https://example.org/a b";
    EXPECT_TRUE(ShellExecuteEx(&info));
    info.lpVerb = "print";
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(
        plat::testing::recordedShellOpens(),
        (std::vector<std::string>{"open C:/Docs/caf\xC3\xA9.htm", "open https://example.org/a b"}));
    plat::testing::clearRecordedShellOpens();
}

TEST_F(ShellTest, OpeningStartsXdgOpenWithThePathUntouched) {
    // A stand-in xdg-open that writes down the argument it was given.
    const std::string bin = m_dir / "bin";
    kvtest::WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.arg\"\n");
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    kvtest::ScopedEnv path("PATH", bin + ":" + std::getenv("PATH"));
    // Blanks, quotes and shell characters must reach the program as one argument.
    const std::string file = m_dir.path() + "/caf\xE9 \"$HOME\" `x`;.htm";
    plat::testing::recordShellOpens(false);
    SHELLEXECUTEINFO info;
    info.lpVerb = "open";
    info.lpFile = file.c_str();
    const BOOL started = ShellExecuteEx(&info);
    plat::testing::recordShellOpens(true);
    ASSERT_TRUE(started);
    const std::string argFile = bin + "/xdg-open.arg";
    for (int i = 0; i < 500 && kvtest::ReadFileBytes(argFile).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(kvtest::ReadFileBytes(argFile), NativePath(file));
}

} // namespace
