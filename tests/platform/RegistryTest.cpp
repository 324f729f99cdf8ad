#include "plat/Registry.h"

#include "plat/TestingSys.h"
#include "platform/SysTempDir.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <unistd.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace plat;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    kvtest::SysTempDir m_dir;
    kvtest::ScopedEnv m_env{"KV_REGISTRY_DIR", m_dir / "cfg"};

    std::string storeFile() const { return m_dir / "cfg/registry.ini"; }

    HKEY create(HKEY root, const char* path) {
        HKEY key = nullptr;
        DWORD disposition = 0;
        EXPECT_EQ(RegCreateKeyEx(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                 nullptr, &key, &disposition),
                  ERROR_SUCCESS);
        return key;
    }
    static LONG setText(HKEY key, const char* name, const std::string& text) {
        return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1));
    }
    static std::string queryText(HKEY key, const char* name, LONG* rc = nullptr) {
        char buf[512];
        DWORD size = sizeof buf;
        DWORD type = 0;
        const LONG r =
            RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
        if (rc != nullptr) {
            *rc = r;
        }
        return r == ERROR_SUCCESS && type == REG_SZ ? std::string(buf, size - 1) : "<none>";
    }
};

TEST_F(RegistryTest, ValuesOfEveryTypeSurviveTheFile) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Brindlewick");
    // Accented Windows-1252 text, quotes, backslashes and control characters must all survive
    // the text form of the store.
    const std::string text = "C:\\Fichiers\\r\xE9sum\xE9 \"1\"\n\ttab\x01 \x80 end";
    ASSERT_EQ(setText(key, "KVERES", text), ERROR_SUCCESS);
    const DWORD tips = 0xA1B2C3D4;
    ASSERT_EQ(
        RegSetValueEx(key, "NotebookTips", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&tips), 4),
        ERROR_SUCCESS);
    const BYTE blob[] = {0x00, 0xFF, 0x0A, 0x0D, 0x22, 0x5C};
    ASSERT_EQ(RegSetValueEx(key, "Blob \"=\" name", 0, REG_BINARY, blob, sizeof blob),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Brindlewick", 0, KEY_READ, &again),
              ERROR_SUCCESS);
    EXPECT_EQ(queryText(again, "KVERES"), text);

    DWORD type = 0, value = 0, size = sizeof value;
    ASSERT_EQ(RegQueryValueEx(again, "NotebookTips", nullptr, &type,
                              reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(value, tips);

    BYTE back[16] = {};
    size = sizeof back;
    ASSERT_EQ(RegQueryValueEx(again, "Blob \"=\" name", nullptr, &type, back, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(size, sizeof blob);
    EXPECT_EQ(std::memcmp(back, blob, sizeof blob), 0);
    RegCloseKey(again);

    // On disk the text is UTF-8: é is C3 A9, not the single byte E9.
    const std::string disk = kvtest::ReadFileBytes(storeFile());
    EXPECT_NE(disk.find("r\xC3\xA9sum\xC3\xA9"), std::string::npos);
    EXPECT_NE(disk.find("[HKEY_CURRENT_USER\\Software\\Brindlewick]"), std::string::npos);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndRootsAreSeparate) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Brindlewick");
    ASSERT_EQ(setText(key, "PaletteTips", "1"), ERROR_SUCCESS);
    ASSERT_EQ(setText(key, "PALETTETIPS", "2"), ERROR_SUCCESS); // the same value
    RegCloseKey(key);

    HKEY lower = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "software\\BRINDLEWICK", 0, KEY_READ, &lower),
              ERROR_SUCCESS);
    EXPECT_EQ(queryText(lower, "palettetips"), "2");
    char name[64];
    DWORD cch = sizeof name;
    EXPECT_EQ(RegEnumValue(lower, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "PaletteTips"); // the first spelling is kept
    cch = sizeof name;
    EXPECT_EQ(RegEnumValue(lower, 1, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(lower);

    HKEY machine = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Brindlewick", 0, KEY_READ, &machine),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(machine, nullptr);
}

TEST_F(RegistryTest, SmallBuffersAreNeverOverrun) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Brindlewick");
    ASSERT_EQ(setText(key, "KVERES", "0123456789"), ERROR_SUCCESS);

    char buf[8];
    std::memset(buf, '#', sizeof buf);
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueEx(key, "KVERES", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 11u); // text and its zero
    EXPECT_EQ(std::string(buf, sizeof buf), std::string(8, '#'));

    size = 0;
    EXPECT_EQ(RegQueryValueEx(key, "KVERES", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 11u);

    char name[4];
    DWORD cch = sizeof name; // "KVERES" needs 7
    EXPECT_EQ(RegEnumValue(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);

    const DWORD two = 2;
    EXPECT_EQ(RegSetValueEx(key, "Bad", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), 2),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeletingValuesAndKeys) {
    HKEY parent = create(HKEY_CLASSES_ROOT, "Tessaron.Korvaline");
    HKEY child = create(HKEY_CLASSES_ROOT, "Tessaron.Korvaline\\CLSID");
    ASSERT_EQ(setText(child, nullptr, "{1234}"), ERROR_SUCCESS);
    EXPECT_EQ(queryText(child, ""), "{1234}");

    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "Tessaron.Korvaline"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValue(child, ""), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(child, ""), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(parent, "clsid"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "Tessaron.Korvaline"), ERROR_SUCCESS);

    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "Tessaron.Korvaline", 0, KEY_READ, &gone),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, nullptr), ERROR_ACCESS_DENIED);

    RegCloseKey(parent);
    RegCloseKey(child);
    EXPECT_EQ(RegCloseKey(child), ERROR_INVALID_HANDLE);
    EXPECT_EQ(queryText(child, "x"), "<none>");
    LONG rc = 0;
    queryText(child, "x", &rc);
    EXPECT_EQ(rc, ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, WritesLeaveNoTemporaryFiles) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Brindlewick\\Tips");
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(setText(key, ("v" + std::to_string(i)).c_str(), "x"), ERROR_SUCCESS);
    }
    RegCloseKey(key);
    EXPECT_EQ(kvtest::FolderNames(m_dir / "cfg"), std::vector<std::string>{"registry.ini"});
    EXPECT_EQ(plat::testing::registryFilePath(), storeFile());
}

TEST_F(RegistryTest, DamagedLinesAreSkippedAndKeptAsTheyWere) {
    const struct {
        const char* what;
        const char* damaged;
        int line;
    } cases[] = {
        {"value before any section", "\"a\"=\"b\"\n", 1},
        {"unknown root", "[HKEY_NOWHERE\\X]\n\"lost\"=dword:00000001\n", 1},
        {"unquoted value", "[HKEY_CURRENT_USER\\X]\n; ok\nname=value\n", 3},
        {"short dword", "[HKEY_CURRENT_USER\\X]\n\"n\"=dword:12\n", 2},
        {"odd hex", "[HKEY_CURRENT_USER\\X]\n\"n\"=hex:1,22\n", 2},
        {"open quote", "[HKEY_CURRENT_USER\\X]\n\"n\"=\"abc\n", 2},
        {"bad UTF-8", "[HKEY_CURRENT_USER\\X]\n\"n\"=\"\xE9\"\n", 2},
        {"line break in a section", "[HKEY_CURRENT_USER\\A\n\n[HKEY_CURRENT_USER\\B]\n", 1},
    };
    const std::string good = "[HKEY_CURRENT_USER\\Good]\n\"n\"=dword:0000002a\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kvtest::WriteFileBytes(storeFile(), std::string(c.damaged) + good);
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Good", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        DWORD value = 0, size = 4;
        EXPECT_EQ(RegQueryValueEx(key, "N", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                                  &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(value, 42u);
        const std::string diag = plat::testing::lastRegistryDiagnostic();
        EXPECT_NE(diag.find(storeFile()), std::string::npos) << diag;
        EXPECT_NE(diag.find("line " + std::to_string(c.line)), std::string::npos) << diag;
        // A write keeps every damaged line, and the file reads as before.
        EXPECT_EQ(setText(key, "added", "yes"), ERROR_SUCCESS);
        RegCloseKey(key);
        const std::string written = kvtest::ReadFileBytes(storeFile());
        std::string_view rest(c.damaged);
        while (!rest.empty()) {
            const std::string line(rest.substr(0, rest.find('\n')));
            rest.remove_prefix(std::min(rest.size(), line.size() + 1));
            if (!line.empty() && line[0] != ';') {
                EXPECT_NE(written.find(line + "\n"), std::string::npos) << line << "\n" << written;
            }
        }
        plat::testing::forgetRegistryCache();
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Good", 0, KEY_READ, &key), ERROR_SUCCESS);
        EXPECT_EQ(queryText(key, "added"), "yes");
        RegCloseKey(key);
    }
    // A file that cannot be read at all (a folder in its place) is refused and never replaced.
    std::filesystem::remove(storeFile());
    std::filesystem::create_directory(storeFile());
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Y", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_TRUE(std::filesystem::is_directory(storeFile()));
}

TEST_F(RegistryTest, NamesThatWouldNotReadBackAreRefused) {
    const struct {
        const char* key;
        const char* value;
        LONG expected;
    } cases[] = {
        {"Software\\Line\nBreak", "v", ERROR_INVALID_PARAMETER},
        {"Software\\Return\rHere", "v", ERROR_INVALID_PARAMETER},
        {"Software\\Bell\x07", "v", ERROR_INVALID_PARAMETER},
        {".x\xE2\xE2]\n\n[HKEY_CURRENT_USER\\Softw", "v", ERROR_INVALID_PARAMETER},
        {"Software\\[Brackets]", "v", ERROR_SUCCESS},
        {"Software\\=Equals", "[v]", ERROR_SUCCESS},
        {"Software\\Values", "line\nbreak=\"x\"", ERROR_SUCCESS},
        {"Software\\Tab\tHere", "v", ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        HKEY key = nullptr;
        const LONG created = RegCreateKeyEx(HKEY_CURRENT_USER, c.key, 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (created == ERROR_SUCCESS) {
            EXPECT_EQ(setText(key, c.value, "kept"), c.expected);
            RegCloseKey(key);
        } else {
            EXPECT_EQ(created, c.expected);
        }
    }
    // Whatever was accepted reads back from the file, and nothing in it is damaged.
    plat::testing::forgetRegistryCache();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        HKEY key = nullptr;
        const LONG opened = RegOpenKeyEx(HKEY_CURRENT_USER, c.key, 0, KEY_READ, &key);
        EXPECT_EQ(opened, c.expected == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        if (opened == ERROR_SUCCESS) {
            EXPECT_EQ(queryText(key, c.value), c.expected == ERROR_SUCCESS ? "kept" : "<none>");
            RegCloseKey(key);
        }
    }
    EXPECT_EQ(plat::testing::lastRegistryDiagnostic(), "");
}

TEST_F(RegistryTest, TheTemporaryFileNeverFollowsALink) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Brindlewick");
    const std::string victim = m_dir / "victim.txt";
    kvtest::WriteFileBytes(victim, "the user's own file\n");
    const std::string planted = storeFile() + ".tmp" + std::to_string(::getpid());
    std::filesystem::create_symlink(victim, planted);
    ASSERT_EQ(setText(key, "Tips", "1"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(kvtest::ReadFileBytes(victim), "the user's own file\n");
    EXPECT_TRUE(std::filesystem::is_symlink(planted));
    EXPECT_FALSE(std::filesystem::is_symlink(storeFile()));
    plat::testing::forgetRegistryCache();
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Brindlewick", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(queryText(key, "Tips"), "1");
    RegCloseKey(key);
}

TEST_F(RegistryTest, TheFileIsParsedOnceUntilItChanges) {
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "[HKEY_CURRENT_USER\\Software\\S" + std::to_string(i) + "]\n\"v\"=\"" +
                std::to_string(i) + "\"\n";
    kvtest::WriteFileBytes(storeFile(), text);
    plat::testing::forgetRegistryCache();
    const unsigned before = plat::testing::registryParseCount();
    HKEY key = nullptr;
    for (const int i : {0, 1999, 777}) {
        const std::string path = "software\\s" + std::to_string(i);
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(queryText(key, "V"), std::to_string(i));
        RegCloseKey(key);
    }
    // The program's own write needs no parse either.
    key = create(HKEY_CURRENT_USER, "Software\\S5");
    EXPECT_EQ(setText(key, "w", "new"), ERROR_SUCCESS);
    EXPECT_EQ(queryText(key, "w"), "new");
    EXPECT_EQ(plat::testing::registryParseCount(), before + 1);
    // Another writer's change is seen.
    kvtest::WriteFileBytes(storeFile(), "[HKEY_CURRENT_USER\\Software\\S5]\n\"w\"=\"other\"\n");
    EXPECT_EQ(queryText(key, "w"), "other");
    EXPECT_EQ(plat::testing::registryParseCount(), before + 2);
    RegCloseKey(key);
}

TEST_F(RegistryTest, StoreFolderFollowsTheConfigurationHome) {
    kvtest::ScopedEnv noOverride("KV_REGISTRY_DIR", std::nullopt);
    kvtest::ScopedEnv config("XDG_CONFIG_HOME", m_dir / "xdg");
    EXPECT_EQ(plat::testing::registryFilePath(), m_dir / "xdg/korvaline/registry.ini");
    kvtest::ScopedEnv noConfig("XDG_CONFIG_HOME", std::nullopt);
    kvtest::ScopedEnv home("HOME", m_dir / "home");
    EXPECT_EQ(plat::testing::registryFilePath(), m_dir / "home/.config/korvaline/registry.ini");
}

} // namespace
