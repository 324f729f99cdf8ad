// Files, folders, the INI reader and the last error, over the C library and std::filesystem.

#include "plat/Files.h"

#include "core/win/WinInternal.h"
#include "plat/Font.h"
#include "plat/TestingSys.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace plat {

namespace {

std::mutex g_mutex;
std::string g_moduleOverride;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Copies text into a caller's buffer: the length on success; when it does not fit, 0 with an
// empty buffer (a cut path would name another file).
DWORD CopyOut(const std::string& text, char* buf, DWORD size) {
    if (buf == nullptr || size == 0) {
        errno = EINVAL;
        return 0;
    }
    if (text.size() + 1 > size) {
        buf[0] = 0;
        errno = ERANGE;
        return 0;
    }
    std::memcpy(buf, text.data(), text.size());
    buf[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}

// Names of a folder in program form, sorted ignoring case (then by bytes, so the order is total).
// Names the code page cannot write go to `outside` (as UTF-8) when it is given.
std::vector<std::string> ListFolder(const std::string& nativeDir,
                                    std::vector<std::string>* outside = nullptr) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(nativeDir.empty() ? "." : nativeDir, ec);
    if (ec) {
        errno = ec.value();
        return names;
    }
    for (const auto& entry : it) {
        std::string name;
        const std::string native = entry.path().filename().string();
        if (ProgramPathFromNative(native, name)) {
            names.push_back(std::move(name));
        } else if (outside != nullptr) {
            outside->push_back(native);
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const auto fa = FoldCaseCp1252(static_cast<unsigned char>(a[i]));
            const auto fb = FoldCaseCp1252(static_cast<unsigned char>(b[i]));
            if (fa != fb) {
                return fa < fb;
            }
        }
        if (a.size() != b.size()) {
            return a.size() < b.size();
        }
        return a < b;
    });
    return names;
}

bool WildMatch(std::string_view pat, std::string_view name) {
    // Iterative match with one backtrack point for the last "*".
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && pat[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pat.size() &&
                   (pat[p] == '?' || FoldCaseCp1252(static_cast<unsigned char>(pat[p])) ==
                                         FoldCaseCp1252(static_cast<unsigned char>(name[n])))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == '*') {
        ++p;
    }
    return p == pat.size();
}

struct FindState {
    std::string nativeDir;
    std::vector<std::string> names;
    std::size_t next = 0;
};

std::map<std::uint32_t, FindState> g_finds;
std::uint32_t g_nextFind = 1;

bool FillFindData(const FindState& st, const std::string& name, WIN32_FIND_DATA* data) {
    if (name.size() >= MAX_PATH) {
        return false;
    }
    *data = WIN32_FIND_DATA{};
    std::memcpy(data->cFileName, name.data(), name.size());
    struct stat sb {};
    const std::string full =
        (st.nativeDir.empty() ? std::string(".") : st.nativeDir) + "/" + NativePath(name);
    if (::stat(full.c_str(), &sb) != 0) {
        return false; // vanished since the listing
    }
    if (S_ISDIR(sb.st_mode)) {
        data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        const auto size = static_cast<std::uint64_t>(sb.st_size);
        data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
        data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    return true;
}

bool NextFound(FindState& st, WIN32_FIND_DATA* data) {
    while (st.next < st.names.size()) {
        if (FillFindData(st, st.names[st.next++], data)) {
            return true;
        }
    }
    return false;
}

std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) {
        ++b;
    }
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) {
        --e;
    }
    return std::string(s.substr(b, e - b));
}

} // namespace

std::string NativePath(std::string_view path) {
    std::string out = Utf8FromProgramPath(path);
    // In UTF-8 a 0x5C byte is always the backslash itself, never part of another character.
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

std::string Utf8FromProgramPath(std::string_view path) {
    if (GetACP() == 1252) {
        return Utf8FromCp1252(path);
    }
    std::string out;
    out.reserve(path.size() * 3 / 2);
    std::size_t i = 0;
    while (i < path.size()) {
        std::size_t n = 1;
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            n = 2;
        }
        const std::string one = Utf8FromAnsiText(path.substr(i, n));
        // Utf8FromAnsiText writes '?' for a sequence the page does not define; a literal '?'
        // must not stand for it here, or a wild-card-looking name could reach another file.
        if (one == "?" && path[i] != '?') {
            out += "\xEF\xBF\xBD";
        } else {
            out += one;
        }
        i += n;
    }
    return out;
}

bool ProgramPathFromNative(std::string_view utf8, std::string& out) {
    if (GetACP() == 1252) {
        return Cp1252FromUtf8(utf8, out);
    }
    std::vector<unsigned> codes;
    if (!AnsiCodesFromUtf8(utf8, codes)) {
        return false;
    }
    std::string text;
    text.reserve(codes.size() * 2);
    for (unsigned code : codes) {
        if (code > 0xFF) {
            text += static_cast<char>(code >> 8);
        }
        text += static_cast<char>(code & 0xFF);
    }
    out = std::move(text);
    return true;
}

std::string ShownNameFromNative(std::string_view utf8) {
    return core::Cp1252FromUtf8Text(utf8);
}

std::size_t PathNameStart(std::string_view path) {
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < path.size()) {
        if (IsSeparator(path[i])) {
            start = i + 1;
            i += 1;
        } else if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            i += 2;
        } else {
            i += 1;
        }
    }
    return start;
}

std::vector<std::string> NamesOutsideCodePage(const char* pattern) {
    std::vector<std::string> outside;
    if (pattern == nullptr) {
        return outside;
    }
    const std::string_view pat(pattern);
    const std::size_t cut = PathNameStart(pat);
    std::string native = NativePath(pat.substr(0, cut));
    if (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    std::vector<std::string> all;
    ListFolder(native, &all);
    const std::string_view namePat = pat.substr(cut);
    for (std::string& name : all) {
        // Patterns are ASCII ("*.pvx"): they match the UTF-8 name byte for byte.
        if (namePat == "*.*" || WildMatch(namePat, name)) {
            outside.push_back(std::move(name));
        }
    }
    std::sort(outside.begin(), outside.end());
    return outside;
}

std::vector<std::string> FolderNamesOutsideCodePage(const char* folder) {
    std::vector<std::string> outside;
    if (folder == nullptr) {
        return outside;
    }
    std::string native = NativePath(folder);
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    std::vector<std::string> all;
    ListFolder(native, &all);
    for (std::string& name : all) {
        std::error_code ec;
        if (!name.empty() && name.front() != '.' &&
            fs::is_directory(fs::path(native.empty() ? "." : native) / name, ec)) {
            outside.push_back(std::move(name));
        }
    }
    std::sort(outside.begin(), outside.end());
    return outside;
}

std::string FindFileNoCase(std::string_view dir, std::string_view name) {
    // Each component of the name is matched on its own, so "prefs\\KEYS.PRF" finds prefs/keys.prf.
    std::string result(dir);
    std::size_t pos = 0;
    while (pos <= name.size()) {
        std::size_t end = pos;
        while (end < name.size() && !IsSeparator(name[end])) {
            ++end;
        }
        const std::string part(name.substr(pos, end - pos));
        pos = end + 1;
        if (part.empty()) {
            if (end >= name.size()) {
                break;
            }
            continue;
        }
        std::string joined = result;
        if (!joined.empty() && PathNameStart(joined) != joined.size()) {
            joined += '/';
        }
        std::error_code ec;
        if (fs::exists(NativePath(joined + part), ec)) {
            result = joined + part;
            continue;
        }
        std::string match;
        for (const std::string& candidate : ListFolder(NativePath(result))) {
            if (SameTextNoCaseCp1252(candidate, part)) {
                match = candidate;
                break;
            }
        }
        if (match.empty()) {
            errno = ENOENT;
            return {};
        }
        result = joined + match;
    }
    return result;
}

HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) {
    if (pattern == nullptr || data == nullptr) {
        errno = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    std::string_view pat(pattern);
    const std::size_t cut = PathNameStart(pat);
    FindState st;
    st.nativeDir = NativePath(pat.substr(0, cut));
    if (st.nativeDir.size() > 1 && st.nativeDir.back() == '/') {
        st.nativeDir.pop_back();
    }
    std::string namePat(pat.substr(cut));
    if (namePat == "*.*") {
        namePat = "*"; // the old spelling of "every name", dots or not
    }
    for (std::string& name : ListFolder(st.nativeDir)) {
        if (WildMatch(namePat, name)) {
            st.names.push_back(std::move(name));
        }
    }
    if (!NextFound(st, data)) {
        errno = ENOENT;
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(g_mutex);
    const std::uint32_t id = g_nextFind++;
    g_finds.emplace(id, std::move(st));
    return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(id));
}

BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA* data) {
    std::lock_guard lock(g_mutex);
    auto it = g_finds.find(static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(find)));
    if (it == g_finds.end() || data == nullptr) {
        errno = EBADF;
        return FALSE;
    }
    if (!NextFound(it->second, data)) {
        errno = ENOENT;
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    std::lock_guard lock(g_mutex);
    if (g_finds.erase(static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(find))) == 0) {
        errno = EBADF;
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributes(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return INVALID_FILE_ATTRIBUTES;
    }
    const std::string native = NativePath(path);
    struct stat sb {};
    if (::stat(native.c_str(), &sb) != 0) {
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(sb.st_mode)) {
        return FILE_ATTRIBUTE_DIRECTORY;
    }
    return ::access(native.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

BOOL DeleteFile(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return FALSE;
    }
    return ::unlink(NativePath(path).c_str()) == 0 ? TRUE : FALSE;
}

BOOL MoveFileEx(const char* from, const char* to, DWORD flags) {
    if (from == nullptr || to == nullptr) {
        errno = EINVAL;
        return FALSE;
    }
    const std::string a = NativePath(from), b = NativePath(to);
    if (flags & MOVEFILE_REPLACE_EXISTING) {
        return ::rename(a.c_str(), b.c_str()) == 0 ? TRUE : FALSE;
    }
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0) {
        return TRUE;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return FALSE;
    }
    // A file system without the no-replace rename: check, then rename.
    struct stat sb {};
    if (::lstat(b.c_str(), &sb) == 0) {
        errno = EEXIST;
        return FALSE;
    }
    return ::rename(a.c_str(), b.c_str()) == 0 ? TRUE : FALSE;
}

BOOL CreateDirectory(const char* path, void*) {
    if (path == nullptr) {
        errno = EINVAL;
        return FALSE;
    }
    return ::mkdir(NativePath(path).c_str(), 0777) == 0 ? TRUE : FALSE;
}

DWORD GetCurrentDirectory(DWORD size, char* buf) {
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    std::string name;
    if (ec || !ProgramPathFromNative(cwd.string(), name)) {
        errno = ec ? ec.value() : EILSEQ;
        if (buf != nullptr && size > 0) {
            buf[0] = 0;
        }
        return 0;
    }
    if (buf == nullptr || name.size() + 1 > size) {
        if (buf != nullptr && size > 0) {
            buf[0] = 0;
        }
        return static_cast<DWORD>(name.size() + 1);
    }
    return CopyOut(name, buf, size);
}

DWORD GetModuleFileName(HMODULE, char* buf, DWORD size) {
    std::string name;
    {
        std::lock_guard lock(g_mutex);
        name = g_moduleOverride;
    }
    if (name.empty()) {
        std::error_code ec;
        const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
        if (ec || !ProgramPathFromNative(exe.string(), name)) {
            errno = ec ? ec.value() : EILSEQ;
            if (buf != nullptr && size > 0) {
                buf[0] = 0;
            }
            return 0;
        }
    }
    return CopyOut(name, buf, size);
}

DWORD GetTempPath(DWORD size, char* buf) {
    const char* env = std::getenv("TMPDIR");
    std::string dir;
    if (env == nullptr || *env == 0 || !ProgramPathFromNative(env, dir)) {
        dir = "/tmp";
    }
    if (!IsSeparator(dir.back())) {
        dir += '/';
    }
    return CopyOut(dir, buf, size);
}

UINT GetWindowsDirectory(char* buf, UINT size) {
    char exe[4096];
    if (GetModuleFileName(nullptr, exe, sizeof exe) == 0) {
        return 0;
    }
    std::string folder(exe);
    folder.resize(PathNameStart(folder));
    if (folder.size() > 1) {
        folder.pop_back();
    }
    std::error_code ec;
    const fs::path share = fs::path(NativePath(folder)) / ".." / "share" / "korvaline";
    std::string shared;
    if (fs::is_directory(share, ec) &&
        ProgramPathFromNative(fs::weakly_canonical(share, ec).string(), shared) && !ec) {
        folder = shared;
    }
    return CopyOut(folder, buf, size);
}

DWORD GetPrivateProfileString(const char* section, const char* key, const char* def, char* buf,
                              DWORD size, const char* iniFile) {
    if (buf == nullptr || size == 0) {
        return 0;
    }
    std::string result = def != nullptr ? def : "";
    // Only a regular file of an INI file's size is read (a FIFO in its place is never waited on).
    constexpr std::uint64_t kLargestIniFile = 1u << 20;
    int fd = -1;
    if (section != nullptr && key != nullptr && iniFile != nullptr &&
        (fd = OpenRegularFileForReading(NativePath(iniFile), kLargestIniFile)) >= 0) {
        std::string bytes;
        char chunk[4096];
        for (ssize_t n = 0;
             (n = ::read(fd, chunk, sizeof chunk)) > 0 && bytes.size() <= kLargestIniFile;) {
            bytes.append(chunk, static_cast<std::size_t>(n));
        }
        ::close(fd);
        std::istringstream in(bytes);
        std::string line;
        bool inSection = false;
        while (in && std::getline(in, line)) {
            const std::string text = Trim(line);
            if (text.empty() || text[0] == ';' || text[0] == '#') {
                continue;
            }
            if (text.front() == '[') {
                const std::size_t close = text.find(']');
                inSection = close != std::string::npos &&
                            SameTextNoCaseCp1252(Trim(text.substr(1, close - 1)), section);
                continue;
            }
            const std::size_t eq = text.find('=');
            if (!inSection || eq == std::string::npos ||
                !SameTextNoCaseCp1252(Trim(text.substr(0, eq)), key)) {
                continue;
            }
            std::string value = Trim(text.substr(eq + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            // INI files written on this system are UTF-8; bytes that are not stay as they are.
            std::string converted;
            result = ProgramPathFromNative(value, converted) ? converted : value;
            break;
        }
    }
    const std::size_t n = std::min<std::size_t>(result.size(), size - 1);
    std::memcpy(buf, result.data(), n);
    buf[n] = 0;
    return static_cast<DWORD>(n);
}

int OpenRegularFileForReading(const std::string& nativePath, std::uint64_t maxBytes) {
    // Checked by name first, so a device or a FIFO is never even opened; then again on the open
    // descriptor, in case the name was replaced in between.
    const auto refuse = [maxBytes](const struct stat& st) {
        if (!S_ISREG(st.st_mode)) {
            return ENODEV;
        }
        if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
            return EFBIG;
        }
        return 0;
    };
    struct stat st {};
    if (::stat(nativePath.c_str(), &st) != 0) {
        return -1;
    }
    if (const int why = refuse(st); why != 0) {
        errno = why;
        return -1;
    }
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    int why = ::fstat(fd, &st) != 0 ? errno : refuse(st);
    if (why == 0) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
            why = errno != 0 ? errno : EIO;
        }
    }
    if (why != 0) {
        ::close(fd);
        errno = why;
        return -1;
    }
    return fd;
}

int CreateFileBeside(const std::string& nativeFile, std::string& temp, unsigned mode) {
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = nativeFile + ".tmp" + std::to_string(::getpid());
        if (attempt > 0) {
            temp += '-';
            temp += std::to_string(++serial);
        }
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              static_cast<mode_t>(mode));
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

int ReplaceFileWhole(const std::string& nativeFile, std::string_view bytes, unsigned mode) {
    std::string temp;
    const int fd = CreateFileBeside(nativeFile, temp, mode);
    if (fd < 0) {
        return errno != 0 ? errno : EIO;
    }
    int err = 0;
    for (std::size_t done = 0; err == 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        err = n > 0 ? 0 : (n < 0 ? errno : EIO);
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (::fsync(fd) != 0 && err == 0) {
        err = errno;
    }
    if (::close(fd) != 0 && err == 0) {
        err = errno;
    }
    if (err == 0 && std::rename(temp.c_str(), nativeFile.c_str()) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::unlink(temp.c_str());
    }
    return err;
}

DWORD GetLastError() {
    return static_cast<DWORD>(errno);
}

void SetLastError(DWORD code) {
    errno = static_cast<int>(code);
}

DWORD FormatMessage(DWORD flags, const void*, DWORD id, DWORD, char* buf, DWORD size, void*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || buf == nullptr || size == 0) {
        return 0;
    }
    std::string text;
    if (!Cp1252FromUtf8(std::strerror(static_cast<int>(id)), text)) {
        text = "Error " + std::to_string(id);
    }
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = 0;
    return static_cast<DWORD>(n);
}

namespace testing {

void setModuleFileName(const std::string& path) {
    std::lock_guard lock(g_mutex);
    g_moduleOverride = path;
}

} // namespace testing

} // namespace plat
