// register / unregister: the classes-root entries in the settings store.

#include "App/SelfRegistration.h"

#include "plat/Registry.h"
#include "plat/TestingSys.h"
#include "platform/SysTempDir.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string readDefault(const std::string& path) {
    plat::HKEY key = nullptr;
    if (plat::RegOpenKeyEx(plat::HKEY_CLASSES_ROOT, path.c_str(), 0, plat::KEY_READ, &key) !=
        plat::ERROR_SUCCESS)
        return "<no key>";
    char value[512] = {};
    plat::DWORD size = sizeof value;
    plat::DWORD type = 0;
    const plat::LONG rc = plat::RegQueryValueEx(key, nullptr, nullptr, &type,
                                                reinterpret_cast<plat::BYTE*>(value), &size);
    plat::RegCloseKey(key);
    return rc == plat::ERROR_SUCCESS ? std::string(value) : "<no value>";
}

void writeValue(plat::HKEY root, const char* path, const char* name, const char* text) {
    plat::HKEY key = nullptr;
    ASSERT_EQ(
        plat::RegCreateKeyEx(root, path, 0, nullptr, 0, plat::KEY_WRITE, nullptr, &key, nullptr),
        plat::ERROR_SUCCESS);
    ASSERT_EQ(plat::RegSetValueEx(key, name, 0, plat::REG_SZ,
                                  reinterpret_cast<const plat::BYTE*>(text),
                                  static_cast<plat::DWORD>(std::strlen(text) + 1)),
              plat::ERROR_SUCCESS);
    plat::RegCloseKey(key);
}

class SelfRegistrationTest : public ::testing::Test {
protected:
    kvtest::SysTempDir m_dir;
    kvtest::ScopedEnv m_registry{"KV_REGISTRY_DIR", m_dir.path()};
};

TEST_F(SelfRegistrationTest, RegisterWritesTheTypesAndServer) {
    std::string error;
    ASSERT_TRUE(RegisterDocumentTypes(error)) << error;
    const std::string clsid = std::string("CLSID\\") + kKorvalineClassId;
    EXPECT_EQ(readDefault(".exp"), kKorvalineProgId);
    EXPECT_EQ(readDefault(".pvx"), kKorvalineProgId);
    EXPECT_EQ(readDefault(kKorvalineProgId), kKorvalineUserType);
    EXPECT_EQ(readDefault(std::string(kKorvalineProgId) + "\\CLSID"), kKorvalineClassId);
    EXPECT_EQ(readDefault(clsid + "\\ProgID"), kKorvalineProgId);
    EXPECT_NE(readDefault(clsid + "\\LocalServer32").find("/EMBEDDING"), std::string::npos);
    // The embedded object's data formats.
    EXPECT_EQ(readDefault(clsid + "\\DataFormats\\GetSet\\2"), "Embed Source,1,8,1");
    EXPECT_EQ(readDefault(clsid + "\\Insertable"), "");
    // Registering twice changes nothing.
    const std::string once = kvtest::ReadFileBytes(plat::testing::registryFilePath());
    ASSERT_TRUE(RegisterDocumentTypes(error)) << error;
    EXPECT_EQ(kvtest::ReadFileBytes(plat::testing::registryFilePath()), once);
}

TEST_F(SelfRegistrationTest, UnregisterLeavesTheStoreAsBefore) {
    // Settings of the program and another program's entry under the classes root must survive.
    writeValue(plat::HKEY_CURRENT_USER, "Software\\Brindlewick", "KVERES", "/opt/k.kvres");
    writeValue(plat::HKEY_CLASSES_ROOT, "CLSID\\{00000000-0000-0000-0000-000000000001}", nullptr,
               "Other program");
    writeValue(plat::HKEY_CLASSES_ROOT, ".exp", "Content Type", "text/x-other");
    const std::string before = kvtest::ReadFileBytes(plat::testing::registryFilePath());
    ASSERT_FALSE(before.empty());

    std::string error;
    ASSERT_TRUE(RegisterDocumentTypes(error)) << error;
    EXPECT_NE(kvtest::ReadFileBytes(plat::testing::registryFilePath()), before);
    ASSERT_TRUE(UnregisterDocumentTypes(error)) << error;

    EXPECT_EQ(readDefault(std::string("CLSID\\") + kKorvalineClassId), "<no key>");
    EXPECT_EQ(readDefault(".pvx"), "<no key>");
    EXPECT_EQ(readDefault("CLSID\\{00000000-0000-0000-0000-000000000001}"), "Other program");
    EXPECT_EQ(kvtest::ReadFileBytes(plat::testing::registryFilePath()), before);
}

TEST_F(SelfRegistrationTest, UnregisterInAnEmptyFolderSucceedsAndLeavesNoFile) {
    std::string error;
    EXPECT_TRUE(UnregisterDocumentTypes(error)) << error;
    ASSERT_TRUE(RegisterDocumentTypes(error)) << error;
    ASSERT_TRUE(std::filesystem::exists(plat::testing::registryFilePath()));
    ASSERT_TRUE(UnregisterDocumentTypes(error)) << error;
    EXPECT_FALSE(std::filesystem::exists(plat::testing::registryFilePath()));
}

TEST_F(SelfRegistrationTest, DamagedLinesAreKeptAndAnUnreadableStoreIsLeftAlone) {
    // Lines the store cannot read are skipped, and stay in the file through every write.
    const std::string damaged = "[HKEY_CLASSES_ROOT\\.exp\nthis is not a settings file\n";
    kvtest::WriteFileBytes(plat::testing::registryFilePath(), damaged);
    std::string error;
    EXPECT_TRUE(RegisterDocumentTypes(error)) << error;
    EXPECT_TRUE(UnregisterDocumentTypes(error)) << error;
    const std::string after = kvtest::ReadFileBytes(plat::testing::registryFilePath());
    EXPECT_NE(after.find("\n[HKEY_CLASSES_ROOT\\.exp\nthis is not a settings file\n"),
              std::string::npos)
        << after;
    // A store that cannot be read at all (a folder in its place) fails with a reason and is left.
    std::filesystem::remove(plat::testing::registryFilePath());
    std::filesystem::create_directory(plat::testing::registryFilePath());
    error.clear();
    EXPECT_FALSE(RegisterDocumentTypes(error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(UnregisterDocumentTypes(error));
    EXPECT_TRUE(std::filesystem::is_directory(plat::testing::registryFilePath()));
}

} // namespace
