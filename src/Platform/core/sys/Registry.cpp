// The settings store: one text file of sections named by full key paths. The file is parsed once
// and kept in memory, indexed by folded key path; it is parsed again only when it changed on disk
// (another copy of the program wrote it). Every change rewrites it through a temporary file of a
// unique name renamed over it. A damaged line is skipped with a diagnostic and written back as it
// was, so nothing the user wrote by hand is lost.
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
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
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
    std::string path; // Windows-1252, root included; a damaged section: its line as it was
    std::vector<Value> values;
    // Lines of the section that could not be read, written back as they were.
    std::vector<std::string> kept;
    bool damaged = false; // a section line that names no key: only its kept lines are written
};

// Key and value names folded to one case, for the indexes.
std::string Folded(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(FoldCaseCp1252(static_cast<unsigned char>(c)));
    }
    return out;
}

struct Store {
    std::vector<std::string> preamble; // damaged lines before any section, kept as they were
    std::vector<Key> keys;
    // Folded key path -> index in keys (damaged sections are not in it).
    std::unordered_map<std::string, std::size_t> index;
    // Folded path of every key and of each of its ancestors -> how many keys lie at or below it.
    std::unordered_map<std::string, std::size_t> below;

    void addToIndex(std::size_t i) {
        const Key& k = keys[i];
        if (k.damaged) {
            return;
        }
        std::string folded = Folded(k.path);
        index.emplace(folded, i);
        for (;;) {
            ++below[folded];
            const std::size_t cut = folded.rfind('\\');
            if (cut == std::string::npos) {
                break;
            }
            folded.resize(cut);
        }
    }
    void reindex() {
        index.clear();
        below.clear();
        for (std::size_t i = 0; i < keys.size(); ++i) {
            addToIndex(i);
        }
    }
    Key& addKey(const std::string& path) {
        keys.push_back(Key{path, {}, {}, false});
        addToIndex(keys.size() - 1);
        return keys.back();
    }
};

std::mutex g_mutex;
std::map<std::uint32_t, std::string> g_handles;
std::uint32_t g_nextHandle = 1;
std::string g_lastDiagnostic;
unsigned g_parses = 0;

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
    for (const std::string& line : store.preamble) {
        out += line + '\n';
    }
    for (const Key& key : store.keys) {
        out += key.damaged ? "\n" + key.path + "\n" : "\n[" + Utf8FromCp1252(key.path) + "]\n";
        for (const std::string& line : key.kept) {
            out += line + '\n';
        }
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

// A section line's key path, or false when the line names no key.
bool ParseSection(const std::string& line, std::string& path) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']' &&
           Cp1252FromUtf8(line.substr(1, line.size() - 2), path) && ValidKeyPath(path);
}

void Report(const std::string& text) {
    if (text != g_lastDiagnostic) {
        std::fprintf(stderr, "korvaline: %s\n", text.c_str());
    }
    g_lastDiagnostic = text;
}

// Parses the file's text into a store. A line that cannot be read is kept as it was (in the
// section it stands in, or before the first) and named in the diagnostic.
void Parse(const std::string& file, const std::string& bytes, Store& store) {
    ++g_parses;
    std::string firstDamage;
    std::size_t damagedLines = 0;
    unsigned lineNo = 0;
    Key* current = nullptr;
    bool inDamagedSection = false;
    std::unordered_map<std::string, std::size_t> valueIndex; // of the current key
    const auto indexValues = [&]() {
        valueIndex.clear();
        if (current != nullptr) {
            for (std::size_t i = 0; i < current->values.size(); ++i) {
                valueIndex[Folded(current->values[i].name)] = i;
            }
        }
    };
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        std::string line = bytes.substr(pos, end - pos);
        pos = end + 1;
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
        std::string why;
        if (line[0] == '[') {
            std::string path;
            if (ParseSection(line, path)) {
                inDamagedSection = false;
                const auto found = store.index.find(Folded(path));
                current =
                    found != store.index.end() ? &store.keys[found->second] : &store.addKey(path);
                indexValues();
                continue;
            }
            why = "a section must be a key path under HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or "
                  "HKEY_LOCAL_MACHINE";
            // The lines up to the next section belong to no key: they are kept under it.
            store.keys.push_back(Key{line, {}, {}, true});
            current = &store.keys.back();
            inDamagedSection = true;
            valueIndex.clear();
        } else if (inDamagedSection) {
            current->kept.push_back(line);
            continue;
        } else if (current == nullptr) {
            why = "a value comes before any section";
            store.preamble.push_back(line);
        } else {
            Value v;
            if (ParseValue(line, v, why)) {
                const std::string folded = Folded(v.name);
                if (const auto old = valueIndex.find(folded); old != valueIndex.end()) {
                    current->values[old->second] = std::move(v);
                } else {
                    valueIndex.emplace(folded, current->values.size());
                    current->values.push_back(std::move(v));
                }
                continue;
            }
            current->kept.push_back(line);
        }
        if (damagedLines++ == 0) {
            firstDamage = "line " + std::to_string(lineNo) + ": " + why;
        }
    }
    if (damagedLines == 0) {
        g_lastDiagnostic.clear();
        return;
    }
    Report("The settings file " + file + " has " + std::to_string(damagedLines) +
           (damagedLines == 1 ? " line" : " lines") + " that cannot be read (" + firstDamage +
           "). They are skipped and kept in the file as they are.");
}

// What tells one state of the file from another without reading it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const FileIdentity& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

FileIdentity IdentityOf(const struct stat& st) {
    return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// The parsed store and the file it was parsed from.
struct Cache {
    bool valid = false;
    std::string file;
    bool missing = false; // the file did not exist: an empty store
    FileIdentity identity;
    std::string bytes;
    Store store;
};
Cache g_cache;

// The file's time stamps are coarse (a few milliseconds): a file changed within the last seconds
// may have changed again without a new time stamp, so its bytes are compared.
bool RecentlyChanged(const FileIdentity& id) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - id.changed.tv_sec < 3 || now.tv_sec - id.modified.tv_sec < 3;
}

// The store as the file holds it now, parsed again only when the file changed. A missing file is
// an empty store.
LoadResult Load(Store*& out) {
    const std::string file = StoreFile();
    const auto refuse = [&](const std::string& what) {
        g_cache.valid = false;
        Report("The settings file " + file + " cannot be read (" + what +
               "). It is left as it is and no setting is read or written until it is repaired or "
               "removed.");
        return LoadResult::corrupt;
    };
    // Only a regular file of a settings file's size is read: a FIFO or a device in its place is
    // never waited on.
    const int fd = OpenRegularFileForReading(file, kLargestStoreFile);
    if (fd < 0) {
        if (errno == ENOENT) {
            if (!g_cache.valid || g_cache.file != file || !g_cache.missing) {
                g_cache = Cache{};
                g_cache.valid = true;
                g_cache.file = file;
                g_cache.missing = true;
                g_lastDiagnostic.clear();
            }
            out = &g_cache.store;
            return LoadResult::ok;
        }
        return refuse(errno == ENODEV ? std::string("it is not a regular file")
                      : errno == EFBIG
                          ? "it is larger than " + std::to_string(kLargestStoreFile >> 20) + " MB"
                          : std::string(std::strerror(errno)));
    }
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    const FileIdentity identity = statted ? IdentityOf(st) : FileIdentity{};
    const bool sameFile = statted && g_cache.valid && g_cache.file == file && !g_cache.missing &&
                          g_cache.identity == identity;
    if (sameFile && !RecentlyChanged(identity)) {
        ::close(fd);
        out = &g_cache.store;
        return LoadResult::ok;
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
    if (!(sameFile && bytes == g_cache.bytes)) {
        g_cache = Cache{};
        g_cache.file = file;
        Parse(file, bytes, g_cache.store);
        g_cache.bytes = std::move(bytes);
    }
    g_cache.valid = statted;
    g_cache.identity = identity;
    out = &g_cache.store;
    return LoadResult::ok;
}

LONG Save(Store& store) {
    const std::string folder = StoreFolder();
    const std::string file = StoreFile();
    std::error_code ec;
    // An empty store is no file at all, so removing every key leaves the folder as it was.
    if (store.keys.empty() && store.preamble.empty()) {
        g_cache.valid = false;
        fs::remove(file, ec);
        return ec ? ERROR_WRITE_FAULT : ERROR_SUCCESS;
    }
    fs::create_directories(folder, ec);
    std::string text = Serialise(store);
    std::string temp;
    const int fd = CreateFileBeside(file, temp);
    if (fd < 0) {
        g_cache.valid = false;
        return errno == EACCES || errno == EPERM || errno == EROFS ? ERROR_ACCESS_DENIED
                                                                   : ERROR_WRITE_FAULT;
    }
    bool ok = true;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    ok = ::fsync(fd) == 0 && ok;
    struct stat st {};
    ok = ::fstat(fd, &st) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), file.c_str()) != 0) {
        std::remove(temp.c_str());
        // The store in memory holds the change that was not written: the file is read again.
        g_cache.valid = false;
        return ERROR_WRITE_FAULT;
    }
    // What was written is what is held: the next call needs no parse. (The rename may have
    // changed the file's status time, so the file is looked at again under its own name.)
    struct stat now {};
    if (&store == &g_cache.store && ::stat(file.c_str(), &now) == 0 && now.st_ino == st.st_ino &&
        now.st_dev == st.st_dev) {
        g_cache.missing = false;
        g_cache.file = file;
        g_cache.identity = IdentityOf(now);
        g_cache.bytes = std::move(text);
        g_cache.valid = true;
    } else {
        g_cache.valid = false;
    }
    return ERROR_SUCCESS;
}

Key* FindKey(Store& store, const std::string& path) {
    const auto found = store.index.find(Folded(path));
    return found == store.index.end() ? nullptr : &store.keys[found->second];
}

bool KeyExists(Store& store, const std::string& path) {
    if (path.find('\\') == std::string::npos) {
        return true; // a root
    }
    return store.below.count(Folded(path)) != 0;
}

// True when some key lies strictly below `path`.
bool HasSubKeys(Store& store, const std::string& path) {
    const auto found = store.below.find(Folded(path));
    return found != store.below.end() && found->second > (FindKey(store, path) != nullptr ? 1 : 0);
}

// A key path written as a section line reads back as the same path: no line break or other
// control character, and only characters the file's encoding carries.
bool WritableKeyPath(const std::string& path) {
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    std::string back;
    return ParseSection("[" + Utf8FromCp1252(path) + "]", back) && back == path;
}

// The same for a value: its line reads back as the same name, type and data.
bool WritableValue(const Value& v) {
    Store one;
    one.addKey("HKEY_CURRENT_USER\\K").values.push_back(v);
    const std::string text = Serialise(one);
    const std::size_t start = text.rfind('\n', text.size() - 2) + 1;
    Value back;
    std::string why;
    return ParseValue(text.substr(start, text.size() - 1 - start), back, why) &&
           back.name == v.name && back.type == v.type && back.data == v.data;
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
LONG LoadFor(HKEY key, std::string& path, Store*& store) {
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
LONG LoadFor(HKEY key, const char* subKey, std::string& path, Store*& store) {
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
    Store* loaded = nullptr;
    if (const LONG rc = LoadFor(key, subKey, path, loaded); rc != ERROR_SUCCESS) {
        return rc;
    }
    Store& store = *loaded;
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
    Store* loaded = nullptr;
    if (const LONG rc = LoadFor(key, subKey, path, loaded); rc != ERROR_SUCCESS) {
        return rc;
    }
    Store& store = *loaded;
    const bool existed = KeyExists(store, path);
    if (!existed) {
        if (!WritableKeyPath(path)) {
            return ERROR_INVALID_PARAMETER;
        }
        store.addKey(path);
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
    Store* loaded = nullptr;
    if (const LONG rc = LoadFor(key, path, loaded); rc != ERROR_SUCCESS) {
        return rc;
    }
    Store& store = *loaded;
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
    if (!WritableValue(v)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::lock_guard lock(g_mutex);
    std::string path;
    Store* loaded = nullptr;
    if (const LONG rc = LoadFor(key, path, loaded); rc != ERROR_SUCCESS) {
        return rc;
    }
    Store& store = *loaded;
    Key* k = FindKey(store, path);
    if (k == nullptr) {
        if (path.find('\\') == std::string::npos) {
            return ERROR_ACCESS_DENIED; // values directly under a root are not kept
        }
        if (!KeyExists(store, path)) {
            return ERROR_FILE_NOT_FOUND; // the key was deleted while open
        }
        k = &store.addKey(path);
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
    Store* loaded = nullptr;
    if (const LONG rc = LoadFor(key, path, loaded); rc != ERROR_SUCCESS) {
        return rc;
    }
    Store& store = *loaded;
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
    Store* loaded = nullptr;
    if (const LONG rc = LoadFor(key, path, loaded); rc != ERROR_SUCCESS) {
        return rc;
    }
    Store& store = *loaded;
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
    Store* loaded = nullptr;
    if (const LONG rc = LoadFor(key, subKey, path, loaded); rc != ERROR_SUCCESS) {
        return rc;
    }
    Store& store = *loaded;
    if (path.find('\\') == std::string::npos) {
        return ERROR_ACCESS_DENIED; // a root cannot be deleted
    }
    if (!KeyExists(store, path)) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (HasSubKeys(store, path)) {
        return ERROR_ACCESS_DENIED;
    }
    if (const Key* k = FindKey(store, path); k != nullptr) {
        store.keys.erase(store.keys.begin() + (k - store.keys.data()));
        store.reindex();
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

unsigned registryParseCount() {
    std::lock_guard lock(g_mutex);
    return g_parses;
}

void forgetRegistryCache() {
    std::lock_guard lock(g_mutex);
    g_cache = Cache{};
}

} // namespace testing

} // namespace plat
