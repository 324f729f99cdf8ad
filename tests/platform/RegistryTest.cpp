#include "plat/Registry.h"

#include "plat/TestingSys.h"
#include "platform/SysTempDir.h"

#include <cstring>
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

TEST_F(RegistryTest, CorruptFileIsReportedAndNeverRewritten) {
    const struct {
        const char* what;
        const char* text;
        int line;
    } cases[] = {
        {"value before any section", "\"a\"=\"b\"\n", 1},
        {"unknown root", "[HKEY_NOWHERE\\X]\n", 1},
        {"unquoted value", "[HKEY_CURRENT_USER\\X]\n; ok\nname=value\n", 3},
        {"short dword", "[HKEY_CURRENT_USER\\X]\n\"n\"=dword:12\n", 2},
        {"odd hex", "[HKEY_CURRENT_USER\\X]\n\"n\"=hex:1,22\n", 2},
        {"open quote", "[HKEY_CURRENT_USER\\X]\n\"n\"=\"abc\n", 2},
        {"bad UTF-8", "[HKEY_CURRENT_USER\\X]\n\"n\"=\"\xE9\"\n", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kvtest::WriteFileBytes(storeFile(), c.text);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "X", 0, KEY_READ, &key), ERROR_REGISTRY_CORRUPT);
        EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Y", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &key, nullptr),
                  ERROR_REGISTRY_CORRUPT);
        EXPECT_EQ(kvtest::ReadFileBytes(storeFile()), c.text);
        const std::string diag = plat::testing::lastRegistryDiagnostic();
        EXPECT_NE(diag.find(storeFile()), std::string::npos) << diag;
        EXPECT_NE(diag.find("line " + std::to_string(c.line)), std::string::npos) << diag;
    }
    // Once repaired, the store works again.
    kvtest::WriteFileBytes(storeFile(), "[HKEY_CURRENT_USER\\X]\n\"n\"=dword:0000002a\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "X", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD value = 0, size = 4;
    EXPECT_EQ(RegQueryValueEx(key, "N", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 42u);
    EXPECT_EQ(plat::testing::lastRegistryDiagnostic(), "");
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
