// The settings store: one text file of sections named by full key paths. The file is read afresh
// by every call (it is small and rarely touched) and every change rewrites it through a temporary
// file renamed over it.
//
//   [HKEY_CURRENT_USER\Software\Brindlewick]
//   "KVERES"="/opt/korvaline/fr.kvres"
//   "NotebookTips"=dword:00000001
//   "Blob"=hex:01,ab,ff
//   @="the default value"
//
// Strings are UTF-8 between double quotes with \\, \", \n, \r, \t and \xHH (a code point below
// 0x100) escapes.

#include "plat/Registry.h"

#include "plat/Files.h"
#include "plat/TestingSys.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace plat {

namespace {

struct Value {
    std::string name; // Windows-1252
    DWORD type = REG_NONE;
    std::vector<BYTE> data; // REG_SZ: the text without its terminating zero
};

struct Key {
    std::string path; // Windows-1252, root included
    std::vector<Value> values;
};

struct Store {
    std::vector<Key> keys;
};

std::mutex g_mutex;
std::map<std::uint32_t, std::string> g_handles;
std::uint32_t g_nextHandle = 1;
std::string g_lastDiagnostic;

constexpr const char* kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};

std::string StoreFolder() {
    if (const char* dir = std::getenv("KV_REGISTRY_DIR"); dir != nullptr && *dir != 0) {
        return dir;
    }
    if (const char* cfg = std::getenv("XDG_CONFIG_HOME"); cfg != nullptr && *cfg != 0) {
        return std::string(cfg) + "/korvaline";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.config/korvaline";
}

std::string StoreFile() {
    return StoreFolder() + "/registry.ini";
}

bool KeyEquals(std::string_view a, std::string_view b) {
    return SameTextNoCaseCp1252(a, b);
}

// True when `path` lies strictly below `parent`.
bool IsBelow(std::string_view path, std::string_view parent) {
    return path.size() > parent.size() + 1 && path[parent.size()] == '\\' &&
           KeyEquals(path.substr(0, parent.size()), parent);
}

// Joins a sub-key to a key path, dropping empty names.
std::string Join(std::string base, const char* sub) {
    if (sub == nullptr) {
        return base;
    }
    std::string_view rest(sub);
    while (!rest.empty()) {
        const std::size_t cut = rest.find('\\');
        const std::string_view part = rest.substr(0, cut);
        if (!part.empty()) {
            base += '\\';
            base += part;
        }
        if (cut == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(cut + 1);
    }
    return base;
}

// The path of a handle, or "" when it is not a live key.
std::string PathOf(HKEY key) {
    const std::uint32_t id = IdFromHandle(key);
    if (id >= 0x80000000u && id <= 0x80000002u) {
        return kRoots[id - 0x80000000u];
    }
    auto it = g_handles.find(id);
    return it == g_handles.end() ? std::string() : it->second;
}

HKEY NewHandle(const std::string& path) {
    const std::uint32_t id = g_nextHandle++;
    g_handles.emplace(id, path);
    return HandleFromId<HKEY>(id);
}

// --- text form ----------------------------------------------------------------------------------

std::string Quote(const std::string& cp1252) {
    std::string out = "\"";
    for (char ch : cp1252) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += Utf8FromCp1252(std::string_view(&ch, 1));
            }
        }
    }
    return out + "\"";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads a quoted string at text[pos]; pos ends after the closing quote.
bool Unquote(const std::string& text, std::size_t& pos, std::string& out, std::string& why) {
    if (pos >= text.size() || text[pos] != '"') {
        why = "a quoted text was expected";
        return false;
    }
    std::string utf8;
    std::string result;
    auto flush = [&]() {
        std::string conv;
        if (!Cp1252FromUtf8(utf8, conv)) {
            return false;
        }
        result += conv;
        utf8.clear();
        return true;
    };
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            if (!flush()) {
                why = "the text is not valid UTF-8 or has a character outside Windows-1252";
                return false;
            }
            out = result;
            return true;
        }
        if (c != '\\') {
            utf8 += c;
            continue;
        }
        if (++pos >= text.size()) {
            break;
        }
        switch (text[pos]) {
        case '\\':
            utf8 += '\\';
            break;
        case '"':
            utf8 += '"';
            break;
        case 'n':
            utf8 += '\n';
            break;
        case 'r':
            utf8 += '\r';
            break;
        case 't':
            utf8 += '\t';
            break;
        case 'x': {
            const int hi = pos + 1 < text.size() ? HexDigit(text[pos + 1]) : -1;
            const int lo = pos + 2 < text.size() ? HexDigit(text[pos + 2]) : -1;
            if (hi < 0 || lo < 0) {
                why = "a \\x escape needs two hexadecimal digits";
                return false;
            }
            if (!flush()) {
                why = "the text is not valid UTF-8 or has a character outside Windows-1252";
                return false;
            }
            result += static_cast<char>(hi * 16 + lo);
            pos += 2;
            break;
        }
        default:
            why = "unknown escape";
            return false;
        }
    }
    why = "the closing quote is missing";
    return false;
}

std::string Serialise(const Store& store) {
    std::string out =
        "; Korvaline settings. Written by the program: keep the layout when editing.\n";
    for (const Key& key : store.keys) {
        out += "\n[" + Utf8FromCp1252(key.path) + "]\n";
        for (const Value& v : key.values) {
            out += v.name.empty() ? std::string("@") : Quote(v.name);
            out += '=';
            if (v.type == REG_SZ) {
                out += Quote(std::string(v.data.begin(), v.data.end()));
            } else if (v.type == REG_DWORD) {
                DWORD d = 0;
                std::memcpy(&d, v.data.data(), 4);
                char hex[16];
                std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<unsigned>(d));
                out += hex;
            } else {
                out += "hex:";
                for (std::size_t i = 0; i < v.data.size(); ++i) {
                    char hex[4];
                    std::snprintf(hex, sizeof hex, "%02x", v.data[i]);
                    if (i > 0) {
                        out += ',';
                    }
                    out += hex;
                }
            }
            out += '\n';
        }
    }
    return out;
}

bool ParseValue(const std::string& line, Value& v, std::string& why) {
    std::size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else if (!Unquote(line, pos, v.name, why)) {
        return false;
    } else if (v.name.empty()) {
        why = "an empty value name is written @";
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') {
        why = "\"=\" was expected after the value name";
        return false;
    }
    ++pos;
    const std::string rest = line.substr(pos);
    if (!rest.empty() && rest[0] == '"') {
        std::size_t p = pos;
        std::string text;
        if (!Unquote(line, p, text, why)) {
            return false;
        }
        if (p != line.size()) {
            why = "unexpected text after the closing quote";
            return false;
        }
        v.type = REG_SZ;
        v.data.assign(text.begin(), text.end());
        return true;
    }
    if (rest.rfind("dword:", 0) == 0) {
        const std::string digits = rest.substr(6);
        if (digits.size() != 8) {
            why = "a dword needs eight hexadecimal digits";
            return false;
        }
        DWORD d = 0;
        for (char c : digits) {
            const int h = HexDigit(c);
            if (h < 0) {
                why = "a dword needs eight hexadecimal digits";
                return false;
            }
            d = d * 16 + static_cast<DWORD>(h);
        }
        v.type = REG_DWORD;
        v.data.resize(4);
        std::memcpy(v.data.data(), &d, 4);
        return true;
    }
    if (rest.rfind("hex:", 0) == 0) {
        v.type = REG_BINARY;
        const std::string bytes = rest.substr(4);
        for (std::size_t i = 0; i < bytes.size();) {
            const int hi = HexDigit(bytes[i]);
            const int lo = i + 1 < bytes.size() ? HexDigit(bytes[i + 1]) : -1;
            if (hi < 0 || lo < 0 || (i + 2 < bytes.size() && bytes[i + 2] != ',')) {
                why = "binary data is written as hexadecimal pairs separated by commas";
                return false;
            }
            v.data.push_back(static_cast<BYTE>(hi * 16 + lo));
            i += 3;
        }
        return true;
    }
    why = "a value is a quoted text, dword:XXXXXXXX or hex:xx,xx";
    return false;
}

bool ValidKeyPath(const std::string& path) {
    const std::size_t cut = path.find('\\');
    const std::string root = path.substr(0, cut);
    for (const char* r : kRoots) {
        if (KeyEquals(root, r)) {
            return cut == std::string::npos || (cut + 1 < path.size() && path.back() != '\\' &&
                                                path.find("\\\\") == std::string::npos);
        }
    }
    return false;
}

enum class LoadResult { ok, corrupt };

// The largest settings file read.
constexpr std::uint64_t kLargestStoreFile = 16u << 20;

// Reads the store. A missing file is an empty store.
LoadResult Load(Store& store) {
    const std::string file = StoreFile();
    std::string why;
    unsigned lineNo = 0;
    const auto refuse = [&](const std::string& what) {
        const std::string text = "The settings file " + file + " cannot be read (" + what +
                                 "). It is left as it is and no setting is read or written until "
                                 "it is repaired or removed.";
        if (text != g_lastDiagnostic) {
            std::fprintf(stderr, "korvaline: %s\n", text.c_str());
        }
        g_lastDiagnostic = text;
        return LoadResult::corrupt;
    };
    // Only a regular file of a settings file's size is read: a FIFO or a device in its place is
    // never waited on.
    const int fd = OpenRegularFileForReading(file, kLargestStoreFile);
    if (fd < 0) {
        if (errno == ENOENT) {
            return LoadResult::ok;
        }
        return refuse(errno == ENODEV ? std::string("it is not a regular file")
                      : errno == EFBIG
                          ? "it is larger than " + std::to_string(kLargestStoreFile >> 20) + " MB"
                          : std::string(std::strerror(errno)));
    }
    std::string bytes;
    {
        char chunk[65536];
        ssize_t n = 0;
        while ((n = ::read(fd, chunk, sizeof chunk)) > 0 && bytes.size() <= kLargestStoreFile) {
            bytes.append(chunk, static_cast<std::size_t>(n));
        }
        const int err = n < 0 ? errno : 0;
        ::close(fd);
        if (err != 0) {
            return refuse(std::strerror(err));
        }
    }
    std::istringstream in(bytes);
    std::string line;
    Key* current = nullptr;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::size_t b = 0;
        while (b < line.size() && (line[b] == ' ' || line[b] == '\t')) {
            ++b;
        }
        line.erase(0, b);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
            line.pop_back();
        }
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            std::string path;
            if (line.back() != ']' || !Cp1252FromUtf8(line.substr(1, line.size() - 2), path) ||
                !ValidKeyPath(path)) {
                why = "a section must be a key path under HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or "
                      "HKEY_LOCAL_MACHINE";
                break;
            }
            current = nullptr;
            for (Key& k : store.keys) {
                if (KeyEquals(k.path, path)) {
                    current = &k;
                }
            }
            if (current == nullptr) {
                store.keys.push_back(Key{path, {}});
                current = &store.keys.back();
            }
            continue;
        }
        if (current == nullptr) {
            why = "a value comes before any section";
            break;
        }
        Value v;
        if (!ParseValue(line, v, why)) {
            break;
        }
        bool replaced = false;
        for (Value& old : current->values) {
            if (KeyEquals(old.name, v.name)) {
                old = v;
                replaced = true;
            }
        }
        if (!replaced) {
            current->values.push_back(std::move(v));
        }
    }
    if (!why.empty()) {
        return refuse("line " + std::to_string(lineNo) + ": " + why);
    }
    g_lastDiagnostic.clear();
    return LoadResult::ok;
}

LONG Save(const Store& store) {
    const std::string folder = StoreFolder();
    const std::string file = StoreFile();
    std::error_code ec;
    // An empty store is no file at all, so removing every key leaves the folder as it was.
    if (store.keys.empty()) {
        fs::remove(file, ec);
        return ec ? ERROR_WRITE_FAULT : ERROR_SUCCESS;
    }
    fs::create_directories(folder, ec);
    const std::string temp = file + ".tmp" + std::to_string(::getpid());
    const std::string text = Serialise(store);
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        return errno == EACCES || errno == EPERM || errno == EROFS ? ERROR_ACCESS_DENIED
                                                                   : ERROR_WRITE_FAULT;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fflush(f) == 0 && ok;
    ok = ::fsync(::fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), file.c_str()) != 0) {
        std::remove(temp.c_str());
        return ERROR_WRITE_FAULT;
    }
    return ERROR_SUCCESS;
}

Key* FindKey(Store& store, const std::string& path) {
    for (Key& k : store.keys) {
        if (KeyEquals(k.path, path)) {
            return &k;
        }
    }
    return nullptr;
}

bool KeyExists(Store& store, const std::string& path) {
    if (path.find('\\') == std::string::npos) {
        return true; // a root
    }
    for (const Key& k : store.keys) {
        if (KeyEquals(k.path, path) || IsBelow(k.path, path)) {
            return true;
        }
    }
    return false;
}

Value* FindValue(Key* key, const char* name) {
    if (key == nullptr) {
        return nullptr;
    }
    const std::string_view n = name != nullptr ? name : "";
    for (Value& v : key->values) {
        if (KeyEquals(v.name, n)) {
            return &v;
        }
    }
    return nullptr;
}

// Hands a value's data out the way the query calls do.
LONG CopyData(const Value& v, DWORD* type, BYTE* data, DWORD* cbData) {
    if (type != nullptr) {
        *type = v.type;
    }
    const DWORD need = static_cast<DWORD>(v.data.size() + (v.type == REG_SZ ? 1 : 0));
    if (cbData == nullptr) {
        return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    }
    if (data == nullptr) {
        *cbData = need;
        return ERROR_SUCCESS;
    }
    if (*cbData < need) {
        *cbData = need;
        return ERROR_MORE_DATA;
    }
    if (!v.data.empty()) {
        std::memcpy(data, v.data.data(), v.data.size());
    }
    if (v.type == REG_SZ) {
        data[v.data.size()] = 0;
    }
    *cbData = need;
    return ERROR_SUCCESS;
}

// The opening every key call shares: the handle's path, then the store as it
// is on disk. Called with g_mutex held.
LONG LoadFor(HKEY key, std::string& path, Store& store) {
    path = PathOf(key);
    if (path.empty()) {
        return ERROR_INVALID_HANDLE;
    }
    if (Load(store) != LoadResult::ok) {
        return ERROR_REGISTRY_CORRUPT;
    }
    return ERROR_SUCCESS;
}

// The same for the key `subKey` names below the handle's key.
LONG LoadFor(HKEY key, const char* subKey, std::string& path, Store& store) {
    std::string base;
    if (const LONG rc = LoadFor(key, base, store); rc != ERROR_SUCCESS) {
        return rc;
    }
    path = Join(base, subKey);
    return ERROR_SUCCESS;
}

} // namespace

LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD, REGSAM, HKEY* result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    std::lock_guard lock(g_mutex);
    std::string path;
    Store store;
    if (const LONG rc = LoadFor(key, subKey, path, store); rc != ERROR_SUCCESS) {
        return rc;
    }
    if (!KeyExists(store, path)) {
        return ERROR_FILE_NOT_FOUND;
    }
    *result = NewHandle(path);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD, char*, DWORD, REGSAM, void*, HKEY* result,
                    DWORD* disposition) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    std::lock_guard lock(g_mutex);
    std::string path;
    Store store;
    if (const LONG rc = LoadFor(key, subKey, path, store); rc != ERROR_SUCCESS) {
        return rc;
    }
    const bool existed = KeyExists(store, path);
    if (!existed) {
        store.keys.push_back(Key{path, {}});
        if (const LONG rc = Save(store); rc != ERROR_SUCCESS) {
            return rc;
        }
    }
    if (disposition != nullptr) {
        *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    }
    *result = NewHandle(path);
    return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, const char* name, DWORD*, DWORD* type, BYTE* data, DWORD* cbData) {
    std::lock_guard lock(g_mutex);
    std::string path;
    Store store;
    if (const LONG rc = LoadFor(key, path, store); rc != ERROR_SUCCESS) {
        return rc;
    }
    const Value* v = FindValue(FindKey(store, path), name);
    if (v == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    return CopyData(*v, type, data, cbData);
}

LONG RegSetValueEx(HKEY key, const char* name, DWORD, DWORD type, const BYTE* data, DWORD cbData) {
    Value v;
    v.name = name != nullptr ? name : "";
    v.type = type;
    if (data == nullptr && cbData > 0) {
        return ERROR_INVALID_PARAMETER;
    }
    if (type == REG_SZ) {
        DWORD n = 0;
        while (n < cbData && data[n] != 0) {
            ++n;
        }
        v.data.assign(data, data + n);
    } else if (type == REG_DWORD) {
        if (cbData != 4) {
            return ERROR_INVALID_PARAMETER;
        }
        v.data.assign(data, data + 4);
    } else if (type == REG_BINARY) {
        if (cbData > 0) {
            v.data.assign(data, data + cbData);
        }
    } else {
        return ERROR_INVALID_PARAMETER;
    }
    std::lock_guard lock(g_mutex);
    std::string path;
    Store store;
    if (const LONG rc = LoadFor(key, path, store); rc != ERROR_SUCCESS) {
        return rc;
    }
    Key* k = FindKey(store, path);
    if (k == nullptr) {
        if (path.find('\\') == std::string::npos) {
            return ERROR_ACCESS_DENIED; // values directly under a root are not kept
        }
        if (!KeyExists(store, path)) {
            return ERROR_FILE_NOT_FOUND; // the key was deleted while open
        }
        store.keys.push_back(Key{path, {}});
        k = &store.keys.back();
    }
    if (Value* old = FindValue(k, v.name.c_str()); old != nullptr) {
        old->type = v.type;
        old->data = std::move(v.data);
    } else {
        k->values.push_back(std::move(v));
    }
    return Save(store);
}

LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD*, DWORD* type,
                  BYTE* data, DWORD* cbData) {
    if (name == nullptr || cchName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::lock_guard lock(g_mutex);
    std::string path;
    Store store;
    if (const LONG rc = LoadFor(key, path, store); rc != ERROR_SUCCESS) {
        return rc;
    }
    const Key* k = FindKey(store, path);
    if (k == nullptr || index >= k->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const Value& v = k->values[index];
    if (*cchName <= v.name.size()) {
        *cchName = static_cast<DWORD>(v.name.size() + 1);
        if (*cchName > 0 && name != nullptr) {
            name[0] = 0;
        }
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, v.name.data(), v.name.size());
    name[v.name.size()] = 0;
    *cchName = static_cast<DWORD>(v.name.size());
    return CopyData(v, type, data, cbData);
}

LONG RegDeleteValue(HKEY key, const char* name) {
    std::lock_guard lock(g_mutex);
    std::string path;
    Store store;
    if (const LONG rc = LoadFor(key, path, store); rc != ERROR_SUCCESS) {
        return rc;
    }
    Key* k = FindKey(store, path);
    const Value* v = FindValue(k, name);
    if (v == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    k->values.erase(k->values.begin() + (v - k->values.data()));
    return Save(store);
}

LONG RegDeleteKey(HKEY key, const char* subKey) {
    std::lock_guard lock(g_mutex);
    std::string path;
    Store store;
    if (const LONG rc = LoadFor(key, subKey, path, store); rc != ERROR_SUCCESS) {
        return rc;
    }
    if (path.find('\\') == std::string::npos) {
        return ERROR_ACCESS_DENIED; // a root cannot be deleted
    }
    if (!KeyExists(store, path)) {
        return ERROR_FILE_NOT_FOUND;
    }
    for (const Key& k : store.keys) {
        if (IsBelow(k.path, path)) {
            return ERROR_ACCESS_DENIED;
        }
    }
    for (auto it = store.keys.begin(); it != store.keys.end(); ++it) {
        if (KeyEquals(it->path, path)) {
            store.keys.erase(it);
            break;
        }
    }
    return Save(store);
}

LONG RegCloseKey(HKEY key) {
    const std::uint32_t id = IdFromHandle(key);
    if (id >= 0x80000000u && id <= 0x80000002u) {
        return ERROR_SUCCESS;
    }
    std::lock_guard lock(g_mutex);
    return g_handles.erase(id) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

namespace testing {

std::string registryFilePath() {
    return StoreFile();
}

std::string lastRegistryDiagnostic() {
    std::lock_guard lock(g_mutex);
    return g_lastDiagnostic;
}

} // namespace testing

} // namespace plat
