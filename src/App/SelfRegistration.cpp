#include "App/SelfRegistration.h"

#include "plat/Files.h"
#include "plat/Registry.h"

#include <algorithm>
#include <vector>

namespace {

struct Entry {
    std::string key;
    const char* name; // null: the key's default value
    std::string value;
};

std::vector<Entry> entries() {
    const std::string clsid = std::string("CLSID\\") + kKorvalineClassId;
    char program[1024] = {};
    if (plat::GetModuleFileName(nullptr, program, sizeof program) == 0)
        program[0] = 0;
    return {
        {kKorvalineProgId, nullptr, kKorvalineUserType},
        {std::string(kKorvalineProgId) + "\\CLSID", nullptr, kKorvalineClassId},
        {".exp", nullptr, kKorvalineProgId},
        {".pvx", nullptr, kKorvalineProgId},
        {clsid, nullptr, kKorvalineUserType},
        {clsid + "\\ProgID", nullptr, kKorvalineProgId},
        {clsid + "\\LocalServer32", nullptr, std::string(program) + " /EMBEDDING"},
        {clsid + "\\Verb\\0", nullptr, "&Modifier,0,2"},
        {clsid + "\\Verb\\1", nullptr, "&Ouvrir,0,2"},
        {clsid + "\\DataFormats\\GetSet\\0", nullptr, std::string(kKorvalineFormatName) + ",1,1,3"},
        {clsid + "\\DataFormats\\GetSet\\1", nullptr, "Rich Text Format,1,1,1"},
        {clsid + "\\DataFormats\\GetSet\\2", nullptr,
         std::string(kEmbedSourceFormatName) + ",1,8,1"},
        {clsid + "\\DataFormats\\GetSet\\3", nullptr,
         std::string(kObjectDescriptorFormatName) + ",1,1,1"},
        {clsid + "\\AuxUserType\\2", nullptr, "Korvaline"},
        {clsid + "\\AuxUserType\\3", nullptr, kKorvalineUserType},
        {clsid + "\\Insertable", nullptr, ""},
        {clsid + "\\MiscStatus", nullptr, "0"},
        {clsid + "\\DataFormats\\DefaultFile", nullptr, kKorvalineFormatName},
    };
}

std::string describe(plat::LONG code) {
    switch (code) {
    case plat::ERROR_REGISTRY_CORRUPT:
        return "the settings file is damaged and was left as it is";
    case plat::ERROR_ACCESS_DENIED:
        return "access denied";
    case plat::ERROR_WRITE_FAULT:
        return "the settings file could not be written";
    default:
        return "settings error " + std::to_string(code);
    }
}

// The keys of the entries and their parents, deepest first.
std::vector<std::string> keysDeepestFirst() {
    std::vector<std::string> keys;
    for (const Entry& e : entries()) {
        std::string k = e.key;
        for (;;) {
            bool known = false;
            for (const std::string& seen : keys)
                known = known || seen == k;
            if (!known)
                keys.push_back(k);
            const std::size_t cut = k.rfind('\\');
            if (cut == std::string::npos)
                break;
            k = k.substr(0, cut);
        }
    }
    std::stable_sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
        return std::count(a.begin(), a.end(), '\\') > std::count(b.begin(), b.end(), '\\');
    });
    return keys;
}

} // namespace

bool RegisterDocumentTypes(std::string& error) {
    for (const Entry& e : entries()) {
        plat::HKEY key = nullptr;
        plat::LONG rc = plat::RegCreateKeyEx(plat::HKEY_CLASSES_ROOT, e.key.c_str(), 0, nullptr,
                                             plat::REG_OPTION_NON_VOLATILE, plat::KEY_WRITE,
                                             nullptr, &key, nullptr);
        if (rc == plat::ERROR_SUCCESS) {
            rc = plat::RegSetValueEx(key, e.name, 0, plat::REG_SZ,
                                     reinterpret_cast<const plat::BYTE*>(e.value.c_str()),
                                     static_cast<plat::DWORD>(e.value.size() + 1));
            plat::RegCloseKey(key);
        }
        if (rc != plat::ERROR_SUCCESS) {
            error = describe(rc);
            return false;
        }
    }
    return true;
}

bool UnregisterDocumentTypes(std::string& error) {
    for (const std::string& path : keysDeepestFirst()) {
        plat::HKEY key = nullptr;
        plat::LONG rc = plat::RegOpenKeyEx(plat::HKEY_CLASSES_ROOT, path.c_str(), 0,
                                           plat::KEY_ALL_ACCESS, &key);
        if (rc == plat::ERROR_FILE_NOT_FOUND)
            continue;
        if (rc != plat::ERROR_SUCCESS) {
            error = describe(rc);
            return false;
        }
        // Only the values register wrote go; a key is removed only when nothing else is left in
        // it, so entries another program keeps beside ours survive.
        bool ours = false;
        for (const Entry& e : entries())
            ours = ours || e.key == path;
        if (ours) {
            rc = plat::RegDeleteValue(key, nullptr);
            if (rc != plat::ERROR_SUCCESS && rc != plat::ERROR_FILE_NOT_FOUND) {
                plat::RegCloseKey(key);
                error = describe(rc);
                return false;
            }
        }
        char name[256];
        plat::DWORD nameSize = sizeof name;
        const plat::LONG more =
            plat::RegEnumValue(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        plat::RegCloseKey(key);
        if (more != plat::ERROR_NO_MORE_ITEMS)
            continue; // other values remain
        rc = plat::RegDeleteKey(plat::HKEY_CLASSES_ROOT, path.c_str());
        if (rc != plat::ERROR_SUCCESS && rc != plat::ERROR_ACCESS_DENIED &&
            rc != plat::ERROR_FILE_NOT_FOUND) {
            error = describe(rc);
            return false;
        }
    }
    return true;
}
