#include "OverPc/PFILE.h"

#include "OverPc/PERROR.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/SystemDialogScope.h"
#include "OverSrcs/oStreams.h"
#include "plat/CommonDialogs.h"
#include "plat/Dialog.h"
#include "plat/Files.h"
#include "plat/Memory.h"
#include "plat/Menu.h"
#include "plat/Resources.h"
#include "plat/Shell.h"
#include "plat/System.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::array<FileTypeEntry, kFileTypeCount> kFileTypes = {{
    {'e', 0, 1, 0, ".exp", 11},
    {'e', 0, 1, 0, ".pvx", 11},
    {'E', 1, 1, 0, ".est", 11},
    {'o', 0, 1, 3, ".prf", 12},
    {'x', 0, 1, 0, ".e12", 13},
    {'t', 0, 0, 4, ".txt", 23},
    {'p', 0, 0, 0, ".eps", 14},
    {'c', 0, 0, 3, ".cat", 25},
    {'m', 0, 0, 0, ".wmf", 15},
    {'M', 0, 0, 0, ".emf", 19},
    {'b', 0, 0, 0, ".bmp", 24},
    {'g', 0, 0, 0, ".png", 20},
    {'l', 0, 0, 0, ".mml", 21},
    {'l', 0, 0, 0, ".xml", 21},
    {'s', 0, 0, 0, ".msp", 22},
    {'?', 0, 0, 5, ".*", 16},
}};

// The folder the data folder gets inside the per-user application-data folder.
constexpr const char* kProductFamilyFolder = "Tessaron";
constexpr const char* kHelpPageName = "matindex.htm";
constexpr const char* kDefaultTranslatorName = "OxbeText.CAT";

std::array<std::string, kPathSlotCount> g_paths;
// The folder of the file last chosen in a file dialog, where the next one opens ("" until then).
std::string s_lastDialogFolder;
OpenDocumentHook g_openDocument = nullptr;
OpenBitmapHook g_openBitmap = nullptr;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Index just past the last separator (0 when there is none); the trail byte of a double-byte
// character is never taken for one.
std::size_t NameStart(std::string_view path) {
    return plat::PathNameStart(path);
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && NameStart(folder) != folder.size()) {
        folder += kPathSeparator;
    }
    return folder;
}

// Anything at all under that name: a file, a folder or a link (even a dangling one, which a
// write would follow).
bool NameTaken(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(plat::NativePath(path), ec).type() != fs::file_type::not_found && !ec;
}

bool FileExists(const std::string& path) {
    return plat::GetFileAttributes(path.c_str()) != plat::INVALID_FILE_ATTRIBUTES;
}

std::uint32_t ReadLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t ReadLE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void FsyncPath(const std::string& native, int flags) {
    const int fd = ::open(native.c_str(), flags);
    if (fd >= 0) {
        const plat::UninterruptibleCall flushing;
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

// ---- File types ---------------------------------------------------------------------------------

const FileTypeEntry* FileTypeTable() {
    return kFileTypes.data();
}

const FileTypeEntry* FileTypeRow(char letter) {
    return FileTypeOfNth(letter, 0);
}

const FileTypeEntry* FileTypeOfNth(char letter, int n) {
    for (const FileTypeEntry& row : kFileTypes) {
        if (row.letter == letter && n-- == 0) {
            return &row;
        }
    }
    return nullptr;
}

const char* FindExtension(const char* path) {
    if (path == nullptr) {
        return nullptr;
    }
    const std::string_view p(path);
    const std::size_t dot = p.rfind('.');
    if (dot == std::string_view::npos || dot < NameStart(p)) {
        return nullptr;
    }
    return path + dot;
}

char FileTypeFromExtension(const char* ext) {
    if (ext == nullptr || *ext == 0) {
        return '?';
    }
    if (*ext == '.') {
        ++ext;
    }
    if (*ext == 0) {
        return 't';
    }
    for (const FileTypeEntry& row : kFileTypes) {
        const char* known = row.extension + 1;
        bool same = true;
        for (int k = 0; k < 3; ++k) {
            const unsigned char a = plat::FoldCaseCp1252(static_cast<unsigned char>(ext[k]));
            const auto b = static_cast<unsigned char>(known[k]);
            if (a != b) {
                same = false;
                break;
            }
            if (a == 0) {
                break;
            }
        }
        if (same) {
            return row.letter;
        }
    }
    return '?';
}

char FileTypeOfPath(const char* path) {
    const plat::DWORD attributes =
        path != nullptr ? plat::GetFileAttributes(path) : plat::INVALID_FILE_ATTRIBUTES;
    if (attributes != plat::INVALID_FILE_ATTRIBUTES &&
        (attributes & plat::FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return 'd';
    }
    return FileTypeFromExtension(FindExtension(path));
}

bool SameFileOnDisk(const char* a, const char* b) {
    if (a == nullptr || b == nullptr || *a == 0 || *b == 0) {
        return false;
    }
    std::error_code ec;
    const bool same = fs::equivalent(plat::NativePath(a), plat::NativePath(b), ec);
    return same && !ec;
}

void SetFileTypeExtension(std::string& path, char letter) {
    const FileTypeEntry* row = FileTypeRow(letter);
    if (row == nullptr || letter == '?') {
        KV_ASSERT_FAILED("FileType not in tab");
        return;
    }
    const char* ext = FindExtension(path.c_str());
    if (ext == nullptr) {
        path += row->extension;
        return;
    }
    if (FileTypeFromExtension(ext) == letter) {
        return;
    }
    path.replace(static_cast<std::size_t>(ext - path.c_str()), std::string::npos, row->extension);
}

// ---- Paths --------------------------------------------------------------------------------------

std::string MakePath(const char* folder, const char* name, const char* ext) {
    std::string out;
    const bool haveFolder = folder != nullptr && *folder != 0;
    if (haveFolder) {
        const std::string_view f(folder);
        const std::size_t cut = NameStart(f);
        out = cut > 0 ? std::string(f.substr(0, cut)) : std::string(f) + kPathSeparator;
    }
    const std::string_view n = name != nullptr ? name : "";
    if (ext != nullptr && n.empty()) {
        return ext;
    }
    out += haveFolder ? n.substr(NameStart(n)) : n;
    if (ext != nullptr && !n.empty()) {
        if (const char* old = FindExtension(out.c_str()); old != nullptr) {
            out.resize(static_cast<std::size_t>(old - out.c_str()));
        }
        if (*ext != '.') {
            out += '.';
        }
        out += ext;
    }
    return out;
}

std::string FileNameOfPath(const char* path) {
    const std::string_view p = path != nullptr ? path : "";
    return std::string(p.substr(NameStart(p)));
}

std::string SubfolderPath(const char* path, const char* name) {
    const std::string_view p = path != nullptr ? path : "";
    return WithSeparator(std::string(p.substr(0, NameStart(p))) + (name != nullptr ? name : ""));
}

int FindDataFile(std::string& out, const char* name) {
    const std::string n = name != nullptr ? name : "";
    if (n.find_first_of("*?") != std::string::npos) {
        out = (g_paths[kDataFolderSlot].empty() ? g_paths[kProgramFolderSlot]
                                                : g_paths[kDataFolderSlot]) +
              n;
        return 0;
    }
    if (!n.empty() && IsSeparator(n[0])) {
        out = n;
        return FileExists(n) ? 0 : 1;
    }
    for (const int slot :
         {kDataFolderSlot, kProgramFolderSlot, kWindowsFolderSlot, kCurrentFolderSlot}) {
        const std::string& folder = g_paths[slot];
        if (folder.empty() && slot == kDataFolderSlot) {
            continue;
        }
        if (FileExists(folder + n)) {
            out = folder + n;
            return 0;
        }
        // The data files were named on a system that ignores case.
        if (std::string found = plat::FindFileNoCase(folder, n); !found.empty()) {
            out = found;
            return 0;
        }
    }
    out = g_paths[kCurrentFolderSlot] + n;
    return 1;
}

std::string DesktopFilePath(const char* name) {
    static const std::string desktop = [] {
        char path[plat::MAX_PATH] = {};
        return plat::SHGetFolderPath(nullptr, plat::CSIDL_DESKTOPDIRECTORY, nullptr,
                                     plat::SHGFP_TYPE_CURRENT, path) == plat::S_OK
                   ? std::string(path)
                   : std::string();
    }();
    return WithSeparator(desktop) + (name != nullptr ? name : "");
}

int FirstHardDrive(std::string& out, const char* tail) {
    // One file system tree: its root is the only drive.
    const std::string root(1, kPathSeparator);
    if (FileExists(root + (tail != nullptr ? tail : ""))) {
        out = root;
        return 0;
    }
    out.clear();
    return -1;
}

// ---- Folders ------------------------------------------------------------------------------------

namespace {

std::string CurrentFolder() {
    char buf[4096];
    return plat::GetCurrentDirectory(sizeof buf, buf) > 0 &&
                   plat::GetCurrentDirectory(sizeof buf, buf) < sizeof buf
               ? WithSeparator(buf)
               : std::string();
}

} // namespace

namespace {

// The record, kept in the preferences folder, of the shipped files and folders installed there:
// one path a line, relative to the folder, with '/' between names.
constexpr char kInstalledRecordName[] = ".installed";
// A record longer than this is not the program's: it is taken as no record.
constexpr std::uintmax_t kLargestInstalledRecord = 1 << 20;

std::set<std::string> readInstalledRecord(const fs::path& folder) {
    const fs::path path = folder / kInstalledRecordName;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > kLargestInstalledRecord || ec)
        return {};
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<size_t>(kLargestInstalledRecord), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return ParseInstalledRecord(text);
}

// Written beside (a new file, never through a link planted there) and renamed over the old record,
// so a record is whole or absent.
void writeInstalledRecord(const fs::path& folder, const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += name + '\n';
    plat::ReplaceFileWhole((folder / kInstalledRecordName).string(), text);
}

} // namespace

std::set<std::string> ParseInstalledRecord(std::string_view text) {
    std::set<std::string> names;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (!line.empty())
            names.emplace(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return names;
}

// Copies the program's preferences folder into the data folder, and records what it installed.
// A folder that is already there gets only the shipped files and folders that were never
// installed in it (a start killed half-way, a folder of an earlier version without a record,
// or files new in this build), once: a shipped file or folder the user removed stays removed,
// and nothing that exists is ever replaced, so the user's own files stay as they are.
void CopyLegacyPrefs(const std::string& dataFolder, const std::string& programFolder) {
    if (dataFolder.empty() || SameTextNoCase(dataFolder.c_str(), programFolder.c_str())) {
        return;
    }
    const std::string target = dataFolder + kPrefsFolderName;
    const std::string source = programFolder + kPrefsFolderName;
    if (!FileExists(source)) {
        return;
    }
    if (!NameTaken(target)) {
        std::string from = source;
        from.push_back('\0'); // the list ends with an empty name
        plat::SHFILEOPSTRUCT op;
        op.wFunc = plat::FO_COPY;
        op.pFrom = from.c_str();
        op.pTo = target.c_str();
        op.fFlags = plat::FOF_SILENT | plat::FOF_NOCONFIRMATION | plat::FOF_NOCONFIRMMKDIR |
                    plat::FOF_NOERRORUI;
        if (plat::SHFileOperation(&op) != 0) {
            KV_ASSERT_FAILED("CopyLegacyPrefs");
            return;
        }
    }
    std::error_code ec;
    const fs::path to(plat::NativePath(target));
    const fs::path from(plat::NativePath(source));
    if (!fs::is_directory(to, ec)) {
        return;
    }
    std::set<std::string> installed = readInstalledRecord(to);
    const size_t before = installed.size();
    fs::recursive_directory_iterator it(from, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().lexically_relative(from).generic_string();
        if (name.empty() || name.find('\n') != std::string::npos) {
            continue;
        }
        const bool folder = it->is_directory(ec);
        if (installed.count(name) != 0) {
            // Installed before: whatever became of it is the user's doing. A folder that is gone
            // stays gone with everything in it.
            if (folder && !fs::exists(fs::symlink_status(to / name, ec))) {
                it.disable_recursion_pending();
            }
            continue;
        }
        // A name that is taken (a file, a folder or a link) keeps what it holds.
        const fs::path place = to / name;
        if (!fs::exists(fs::symlink_status(place, ec))) {
            if (folder) {
                fs::create_directory(place, ec);
            } else {
                fs::copy_file(it->path(), place, fs::copy_options::skip_existing, ec);
            }
            if (ec) {
                KV_ASSERT_FAILED("CopyLegacyPrefs");
                ec.clear();
                continue;
            }
        }
        installed.insert(name);
    }
    if (ec) {
        KV_ASSERT_FAILED("CopyLegacyPrefs");
    }
    if (installed.size() != before) {
        writeInstalledRecord(to, installed);
    }
}

void InitPaths() {
    FreePaths();
    char buf[4096];
    std::string windows =
        plat::GetWindowsDirectory(buf, sizeof buf) > 0 ? WithSeparator(buf) : std::string();

    std::string modulePath = plat::GetModuleFileName(nullptr, buf, sizeof buf) > 0 ? buf : "";
    const std::string programFolder = modulePath.substr(0, NameStart(modulePath));
    const std::string programName = modulePath.substr(NameStart(modulePath));

    std::string ini = MakePath(programFolder.c_str(), programName.c_str(), ".INI");
    if (!FileExists(ini)) {
        const std::string found = plat::FindFileNoCase(programFolder, FileNameOfPath(ini.c_str()));
        ini = !found.empty() ? found : MakePath(windows.c_str(), programName.c_str(), ".INI");
    }

    std::string data;
    plat::GetPrivateProfileString("Directory", "Preferences", "", buf, sizeof buf, ini.c_str());
    data = buf;
    char appData[plat::MAX_PATH] = {};
    if (plat::SHGetFolderPath(nullptr, plat::CSIDL_LOCAL_APPDATA, nullptr, plat::SHGFP_TYPE_CURRENT,
                              appData) == plat::S_OK) {
        data = WithSeparator(appData) + kProductFamilyFolder;
    }
    if (data.empty()) {
        data = programFolder;
    }
    const std::string current = CurrentFolder();
    if (data.empty()) {
        data = current;
    }
    data = WithSeparator(data);
    CopyLegacyPrefs(data, programFolder);

    g_paths[kCurrentFolderSlot] = current;
    g_paths[kWindowsFolderSlot] = windows;
    g_paths[kProgramFolderSlot] = programFolder;
    g_paths[kHelpPageSlot] = programFolder + kHelpPageName;
    g_paths[kIniFileSlot] = ini;
    g_paths[kDataFolderSlot] = data;
}

void FreePaths() {
    for (std::string& slot : g_paths) {
        slot.clear();
    }
    s_lastDialogFolder.clear();
}

const std::string& PathSlotText(int slot) {
    static const std::string none;
    return slot >= 0 && slot < kPathSlotCount ? g_paths[static_cast<std::size_t>(slot)] : none;
}

void RefreshCurrentFolder() {
    g_paths[kCurrentFolderSlot] = CurrentFolder();
}

std::string PrefsFolderPath() {
    return WithSeparator(g_paths[kDataFolderSlot] + kPrefsFolderName);
}

std::string DefaultTranslatorFile() {
    return g_paths[kProgramFolderSlot] + kDefaultTranslatorName;
}

// ---- Safe saving --------------------------------------------------------------------------------

namespace {

// The permissions a new file gets (0666 less the process's file-creation mask).
mode_t NewFileMode() {
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "r"); status != nullptr) {
        char line[128];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::strncmp(line, "Umask:", 6) == 0) {
                mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
                break;
            }
        }
        std::fclose(status);
    }
    return 0666 & ~mask;
}

// The path without the file name's extension, for the siblings' names.
std::string SiblingBase(const std::string& target) {
    const char* ext = FindExtension(target.c_str());
    return ext != nullptr ? target.substr(0, static_cast<std::size_t>(ext - target.c_str()))
                          : target;
}

// A sibling carries this extended attribute from the moment it is made until it has replaced its
// target. Its value names the very file it was set on (device, inode, the time the file was made
// where the file system keeps it, and the sibling's own name), so a copy or a restored backup of a
// sibling, which is another file even when it gets a freed inode number again, never passes for
// one, nor does any file the user made: only the program sets the attribute, on files it made.
constexpr const char* kSiblingMarkName = "user.korvaline.save-sibling";

SaveCommitHook s_saveCommitHook = nullptr;
SaveCommitHook s_siblingMadeHook = nullptr;
FileIdentity IdentityOfStat(const struct stat& st) {
    FileIdentity id;
    id.known = true;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.modifiedSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    id.modifiedNanoseconds = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return id;
}

// The file the last commit put in place, as it was then.
std::string s_lastCommitTarget;
FileIdentity s_lastCommitIdentity;
bool s_marksUnavailable = false;

// The open file's birth time, "seconds.nanoseconds"; "-" where the file system keeps none.
std::string BirthOf(int fd) {
    struct statx made {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &made) == 0 &&
        (made.stx_mask & STATX_BTIME) != 0) {
        return std::to_string(static_cast<long long>(made.stx_btime.tv_sec)) + "." +
               std::to_string(static_cast<unsigned long>(made.stx_btime.tv_nsec));
    }
    return "-";
}

std::string SiblingMark(int fd, const struct stat& st, const std::string& native) {
    const std::string born = BirthOf(fd);
    const std::size_t cut = native.rfind('/');
    return "korvaline save sibling " + std::to_string(static_cast<unsigned long long>(st.st_dev)) +
           ":" + std::to_string(static_cast<unsigned long long>(st.st_ino)) + " " + born + " " +
           (cut == std::string::npos ? native : native.substr(cut + 1));
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when the name `native` still leads to the open file `fd` (no one replaced it meanwhile).
bool NameLeadsTo(const std::string& native, int fd) {
    struct stat byName {};
    struct stat byHandle {};
    return ::lstat(native.c_str(), &byName) == 0 && ::fstat(fd, &byHandle) == 0 &&
           SameFile(byName, byHandle);
}

// True when the open file carries the mark of a sibling made under the name `native`.
bool CarriesSiblingMark(int fd, const std::string& native) {
    struct stat st {};
    if (s_marksUnavailable || ::fstat(fd, &st) != 0) {
        return false;
    }
    const std::string expected = SiblingMark(fd, st, native);
    char value[512];
    const ssize_t n = ::fgetxattr(fd, kSiblingMarkName, value, sizeof value);
    return n >= 0 && static_cast<std::size_t>(n) == expected.size() &&
           std::memcmp(value, expected.data(), expected.size()) == 0;
}

// ---- The record of unmarked siblings

// Kept in the preferences folder; at most so many entries (the oldest go first) and bytes.
constexpr const char* kSiblingRecordName = ".save-siblings";
constexpr std::size_t kMostRecordedSiblings = 256;
constexpr std::uint64_t kLargestSiblingRecord = 256 * 1024;
// How long a change of the record waits for another copy's change of it.
constexpr int kRecordLockWaitMs = 1000;

// The siblings of this process that are in the record (device, inode), so that a commit or a
// removal takes them out again.
std::set<std::pair<std::uint64_t, std::uint64_t>> s_recordedHere;
// The siblings of this process that could not carry the mark (device, inode): each is written down
// in the record once it is written whole.
std::set<std::pair<std::uint64_t, std::uint64_t>> s_unmarkedHere;

std::pair<std::uint64_t, std::uint64_t> KeyOfStat(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::int64_t Nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The preferences folder as the system spells it, "" when there is none (the paths were never set
// up, or it is no real folder).
std::string PrefsFolderNative() {
    if (PathSlotText(kDataFolderSlot).empty()) {
        return {};
    }
    std::string folder = plat::NativePath(PrefsFolderPath());
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        return {};
    }
    return folder;
}

// The boot's id, as the system gives it; "" when it cannot be read.
std::string BootId() {
    std::string id;
    if (std::FILE* f = std::fopen("/proc/sys/kernel/random/boot_id", "re"); f != nullptr) {
        char line[128] = {};
        if (std::fgets(line, sizeof line, f) != nullptr) {
            id = line;
        }
        std::fclose(f);
    }
    while (!id.empty() && id.back() == '\n') {
        id.pop_back();
    }
    return id.find_first_of(" \n") == std::string::npos ? id : std::string();
}

// What /proc says of a process.
enum class ProcessState {
    kGone,    // no such process, or one that has ended and waits to be reaped
    kRunning, // `start` is when it started, in clock ticks since the boot
    kUnknown, // it cannot be told
};
ProcessState ReadProcess(const std::string& statPath, std::uint64_t& start) {
    const int fd = ::open(statPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT || errno == ESRCH ? ProcessState::kGone : ProcessState::kUnknown;
    }
    char buffer[1024];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0) {
        return n < 0 && errno == ESRCH ? ProcessState::kGone : ProcessState::kUnknown;
    }
    // "pid (name) state ppid ...": the name may hold anything, so the fields are counted from its
    // last ')'; the state is the third field, the start the twenty-second.
    const std::string_view text(buffer, static_cast<std::size_t>(n));
    const std::size_t close = text.rfind(')');
    if (close == std::string_view::npos) {
        return ProcessState::kUnknown;
    }
    std::string_view rest = text.substr(close + 1);
    for (int field = 3; field <= 22; ++field) {
        const std::size_t at = rest.find_first_not_of(' ');
        if (at == std::string_view::npos) {
            return ProcessState::kUnknown;
        }
        rest.remove_prefix(at);
        const std::string_view value = rest.substr(0, rest.find(' '));
        rest.remove_prefix(value.size());
        if (field == 3 && (value == "Z" || value == "X" || value == "x")) {
            return ProcessState::kGone;
        }
        if (field == 22) {
            const auto [end, err] =
                std::from_chars(value.data(), value.data() + value.size(), start);
            return err == std::errc() && end == value.data() + value.size()
                       ? ProcessState::kRunning
                       : ProcessState::kUnknown;
        }
    }
    return ProcessState::kUnknown;
}

// True when the process that wrote the pending entry `e` is certainly gone: it ran on another boot,
// or no process runs under its id, or one that started at another time. Whatever cannot be read
// counts as alive.
bool WriterGone(const RecordedSibling& e, const std::string& boot) {
    if (boot.empty()) {
        return false;
    }
    if (e.boot != boot) {
        return true;
    }
    std::uint64_t start = 0;
    switch (ReadProcess("/proc/" + std::to_string(e.writer) + "/stat", start)) {
    case ProcessState::kGone:
        return true;
    case ProcessState::kRunning:
        return start != e.writerStart;
    case ProcessState::kUnknown:
        break;
    }
    return false;
}

// When this process started, on the clock of files' times, in nanoseconds; a little early rather
// than late (the start is known to a clock tick, and file systems take their times from a clock
// that may lag by one), so a file changed after the start is never taken as older. The lowest time
// when it cannot be known.
std::int64_t ThisProcessStart() {
    std::uint64_t ticks = 0;
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    struct timespec now {};
    struct timespec sinceBoot {};
    if (ReadProcess("/proc/self/stat", ticks) != ProcessState::kRunning || perSecond <= 0 ||
        ::clock_gettime(CLOCK_REALTIME, &now) != 0 ||
        ::clock_gettime(CLOCK_BOOTTIME, &sinceBoot) != 0) {
        return std::numeric_limits<std::int64_t>::min();
    }
    constexpr std::int64_t kMargin = 100 * 1000000;
    const std::int64_t started =
        static_cast<std::int64_t>(ticks / static_cast<std::uint64_t>(perSecond)) * 1000000000 +
        static_cast<std::int64_t>(ticks % static_cast<std::uint64_t>(perSecond)) * 1000000000 /
            perSecond;
    return Nanoseconds(now) - (Nanoseconds(sinceBoot) - started) - kMargin;
}

std::vector<RecordedSibling> ReadSiblingRecord(const std::string& native) {
    const int fd = ::open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        static_cast<std::uint64_t>(st.st_size) <= kLargestSiblingRecord) {
        char chunk[8192];
        ssize_t n = 0;
        while ((n = ::read(fd, chunk, sizeof chunk)) > 0 && text.size() <= kLargestSiblingRecord) {
            text.append(chunk, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return ParseSiblingRecord(text);
}

// Changes the record under a lock on the preferences folder (held by one copy at a time), and
// writes it back whole: through a new file, never through a link, renamed into place.
template <class Change> void ChangeSiblingRecord(Change change) {
    const std::string folder = PrefsFolderNative();
    if (folder.empty()) {
        return;
    }
    const int lock = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (lock < 0) {
        return;
    }
    for (int waited = 0; ::flock(lock, LOCK_EX | LOCK_NB) != 0 && waited < kRecordLockWaitMs;
         waited += 5) {
        ::usleep(5000);
    }
    const std::string record = folder + kSiblingRecordName;
    std::vector<RecordedSibling> entries = ReadSiblingRecord(record);
    if (change(entries)) {
        if (entries.size() > kMostRecordedSiblings) {
            std::sort(
                entries.begin(), entries.end(),
                [](const RecordedSibling& a, const RecordedSibling& b) { return a.made > b.made; });
            entries.resize(kMostRecordedSiblings);
        }
        if (entries.empty()) {
            ::unlink(record.c_str());
        } else {
            plat::ReplaceFileWhole(record, FormatSiblingRecord(entries), 0600);
        }
    }
    ::close(lock);
}

// Writes down the sibling under `native` (open as fd), which carries no mark, as it is now: written
// whole and flushed, about to replace its target. Only a file in this very state matches the entry
// later on, so a file that took its inode after it was removed, or the sibling changed since, never
// passes for it.
void RecordSibling(int fd, const std::string& native) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || native.find('\n') != std::string::npos) {
        return;
    }
    RecordedSibling entry;
    entry.device = static_cast<std::uint64_t>(st.st_dev);
    entry.inode = static_cast<std::uint64_t>(st.st_ino);
    entry.born = BirthOf(fd);
    entry.made = Nanoseconds(st.st_ctim);
    entry.complete = true;
    entry.size = static_cast<std::uint64_t>(st.st_size);
    entry.modified = Nanoseconds(st.st_mtim);
    entry.changed = Nanoseconds(st.st_ctim);
    entry.path = native;
    bool recorded = false;
    ChangeSiblingRecord([&](std::vector<RecordedSibling>& entries) {
        std::erase_if(entries, [&](const RecordedSibling& e) {
            return e.path == entry.path || (e.device == entry.device && e.inode == entry.inode);
        });
        entries.push_back(entry);
        recorded = true;
        return true;
    });
    if (recorded) {
        s_recordedHere.emplace(entry.device, entry.inode);
    }
}

// Writes down the sibling of this process that will be known as `native` (open as fd, with no
// byte yet), which carries no mark, with this process as its writer: should the program end at any
// moment before the sibling replaces its target, the next save knows it by that entry once this
// process is gone. An entry of a file that had this inode before goes.
void RecordPendingSibling(int fd, const std::string& native) {
    RecordedSibling entry;
    entry.pending = true;
    entry.boot = BootId();
    entry.writer = static_cast<std::int32_t>(::getpid());
    struct stat st {};
    if (entry.boot.empty() ||
        ReadProcess("/proc/self/stat", entry.writerStart) != ProcessState::kRunning ||
        ::fstat(fd, &st) != 0 || native.find('\n') != std::string::npos) {
        return;
    }
    entry.device = static_cast<std::uint64_t>(st.st_dev);
    entry.inode = static_cast<std::uint64_t>(st.st_ino);
    entry.born = BirthOf(fd);
    entry.made = Nanoseconds(st.st_ctim);
    entry.path = native;
    ChangeSiblingRecord([&](std::vector<RecordedSibling>& entries) {
        std::erase_if(entries, [&](const RecordedSibling& e) {
            return e.device == entry.device && e.inode == entry.inode;
        });
        entries.push_back(entry);
        return true;
    });
    s_recordedHere.emplace(entry.device, entry.inode);
}

// Takes the sibling of this process open as fd out of the record (it replaced its target, or was
// removed).
void ForgetSibling(int fd) {
    struct stat st {};
    if ((s_recordedHere.empty() && s_unmarkedHere.empty()) || ::fstat(fd, &st) != 0) {
        return;
    }
    const std::pair<std::uint64_t, std::uint64_t> key = KeyOfStat(st);
    s_unmarkedHere.erase(key);
    if (s_recordedHere.erase(key) == 0) {
        return;
    }
    ChangeSiblingRecord([&](std::vector<RecordedSibling>& entries) {
        return std::erase_if(entries, [&](const RecordedSibling& e) {
                   return e.device == key.first && e.inode == key.second;
               }) != 0;
    });
}

// True when the record names the open file under the name `native`: the same path, device and
// inode, the same birth time (both "-" where the file system keeps none), and
// - an entry made once the sibling was whole: the size, modification time and status-change time
//   it had then. Where no birth time is kept, a file that took a freed inode cannot be told from
//   the sibling by anything else, so any difference at all leaves the file alone;
// - an entry made before its first byte: its writer is gone, so nothing writes the sibling any
//   more, and the file was last changed before this process started (a file made while the
//   program runs, even one that took a freed inode and the sibling's name, never matches).
// An entry of the earlier form matches nothing.
bool RecordNames(const std::vector<RecordedSibling>& entries, int fd, const std::string& native) {
    struct stat st {};
    if (entries.empty() || ::fstat(fd, &st) != 0) {
        return false;
    }
    const std::string born = BirthOf(fd);
    for (const RecordedSibling& e : entries) {
        if (e.path != native || e.device != static_cast<std::uint64_t>(st.st_dev) ||
            e.inode != static_cast<std::uint64_t>(st.st_ino) || e.born != born) {
            continue;
        }
        if (e.complete && e.size == static_cast<std::uint64_t>(st.st_size) &&
            e.modified == Nanoseconds(st.st_mtim) && e.changed == Nanoseconds(st.st_ctim)) {
            return true;
        }
        if (e.pending && Nanoseconds(st.st_ctim) < ThisProcessStart() && WriterGone(e, BootId())) {
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<RecordedSibling> ParseSiblingRecord(std::string_view text) {
    std::vector<RecordedSibling> entries;
    const auto number = [](std::string_view& line, auto& out) {
        const std::size_t end = line.find(' ');
        if (end == 0 || end == std::string_view::npos) {
            return false;
        }
        const auto [at, err] = std::from_chars(line.data(), line.data() + end, out);
        if (err != std::errc() || at != line.data() + end) {
            return false;
        }
        line.remove_prefix(end + 1);
        return true;
    };
    const auto word = [](std::string_view& line, std::string& out) {
        const std::size_t end = line.find(' ');
        if (end == 0 || end == std::string_view::npos) {
            return false;
        }
        out = std::string(line.substr(0, end));
        line.remove_prefix(end + 1);
        return true;
    };
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        RecordedSibling e;
        e.complete = line.starts_with("w ");
        e.pending = line.starts_with("p ");
        if (e.complete || e.pending) {
            line.remove_prefix(2);
        }
        if (e.pending && (!word(line, e.boot) || !number(line, e.writer) || e.writer <= 0 ||
                          !number(line, e.writerStart))) {
            continue;
        }
        if (!number(line, e.device) || !number(line, e.inode) || !word(line, e.born)) {
            continue;
        }
        if (!number(line, e.made) ||
            (e.complete &&
             (!number(line, e.size) || !number(line, e.modified) || !number(line, e.changed))) ||
            line.empty()) {
            continue;
        }
        e.path = std::string(line);
        entries.push_back(std::move(e));
    }
    return entries;
}

std::string FormatSiblingRecord(const std::vector<RecordedSibling>& entries) {
    std::string text;
    for (const RecordedSibling& e : entries) {
        const auto oneWord = [](const std::string& w) {
            return !w.empty() && w.find_first_of(" \n") == std::string::npos;
        };
        if (e.path.empty() || e.path.find('\n') != std::string::npos || !oneWord(e.born) ||
            (e.pending && (e.complete || !oneWord(e.boot) || e.writer <= 0))) {
            continue;
        }
        if (e.complete) {
            text += "w ";
        }
        if (e.pending) {
            text += "p " + e.boot + " " + std::to_string(e.writer) + " " +
                    std::to_string(e.writerStart) + " ";
        }
        text += std::to_string(e.device) + " " + std::to_string(e.inode) + " " + e.born + " " +
                std::to_string(e.made) + " ";
        if (e.complete) {
            text += std::to_string(e.size) + " " + std::to_string(e.modified) + " " +
                    std::to_string(e.changed) + " ";
        }
        text += e.path + "\n";
    }
    return text;
}

void SetSiblingMarksUnavailableForTesting(bool unavailable) {
    s_marksUnavailable = unavailable;
}

int MakeTempSibling(const char* target, std::string& out) {
    // Only the file name's extension is replaced, so a dot in a folder name never moves the
    // sibling elsewhere, and an existing file is never chosen.
    const std::string base = SiblingBase(target != nullptr ? target : "");
    for (unsigned k = 0;; ++k) {
        std::string candidate = base + "." + std::to_string(k);
        if (!NameTaken(candidate)) {
            out = std::move(candidate);
            return 1;
        }
    }
}

int RemoveStaleSiblings(const char* target) {
    const std::string base = SiblingBase(target != nullptr ? target : "");
    int removed = 0;
    // The record of unmarked siblings is read once, when a file without the mark is met.
    std::vector<RecordedSibling> recorded;
    bool recordRead = false;
    std::vector<std::string> removedByRecord;
    // Siblings are taken from ".0" up, so those of earlier saves sit in the first names; a few
    // gaps are looked past (a sibling the user removed by hand).
    for (unsigned k = 0, gaps = 0; gaps < 8 && k < 1000; ++k) {
        const std::string native = plat::NativePath(base + "." + std::to_string(k));
        struct stat st {};
        if (::lstat(native.c_str(), &st) != 0) {
            ++gaps;
            continue;
        }
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
            continue;
        }
        const int fd = ::open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // Only a file that carries the mark is the program's; and a save still writing it holds
        // its lock, so a sibling that is being written is never taken. The name is checked once
        // more under the lock: it must still lead to the file that was examined.
        bool ours = CarriesSiblingMark(fd, native);
        bool byRecord = false;
        if (!ours) {
            if (!recordRead) {
                const std::string folder = PrefsFolderNative();
                if (!folder.empty()) {
                    recorded = ReadSiblingRecord(folder + kSiblingRecordName);
                }
                recordRead = true;
            }
            ours = byRecord = RecordNames(recorded, fd, native);
        }
        if (ours && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && NameLeadsTo(native, fd) &&
            ::unlink(native.c_str()) == 0) {
            ++removed;
            if (byRecord) {
                removedByRecord.push_back(native);
            }
        }
        ::close(fd);
    }
    // Entries of this document's siblings made before their first byte whose file is gone, and
    // their writer too (a save killed before its sibling had its name, or a sibling the user
    // removed), name nothing any more: they go, so no later file under that name is measured by
    // them.
    const std::string prefix = plat::NativePath(base) + ".";
    const auto isSiblingName = [&](const std::string& path) {
        return path.size() > prefix.size() && path.starts_with(prefix) &&
               path.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
    };
    ChangeSiblingRecord([&](std::vector<RecordedSibling>& entries) {
        const std::string boot = BootId();
        return std::erase_if(entries, [&](const RecordedSibling& e) {
                   struct stat st {};
                   return std::find(removedByRecord.begin(), removedByRecord.end(), e.path) !=
                              removedByRecord.end() ||
                          (e.pending && isSiblingName(e.path) &&
                           ::lstat(e.path.c_str(), &st) != 0 && errno == ENOENT &&
                           WriterGone(e, boot));
               }) != 0;
    });
    return removed;
}

std::string ResolveSaveTarget(const char* path) {
    const std::string given = path != nullptr ? path : "";
    std::string native = plat::NativePath(given);
    bool followed = false;
    // As many links as the system itself follows; a loop keeps the name as given.
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(native.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            break;
        }
        if (hops == 40) {
            return given;
        }
        std::error_code ec;
        const fs::path link = fs::read_symlink(native, ec);
        if (ec) {
            return given;
        }
        native = (link.is_absolute() ? link : fs::path(native).parent_path() / link)
                     .lexically_normal()
                     .string();
        followed = true;
    }
    std::string resolved;
    if (!followed || !plat::ProgramPathFromNative(native, resolved)) {
        return given;
    }
    return resolved;
}

int MoveTempFileOver(const char* target, const char* temporary, std::FILE* held) {
    const std::string from = plat::NativePath(temporary);
    const std::string to = plat::NativePath(target);
    const int fd = held != nullptr ? ::fileno(held) : ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno != 0 ? errno : ENOENT;
    }
    const auto finish = [&](int err) {
        if (held == nullptr) {
            ::close(fd);
        }
        return err;
    };
    // Only the file this save wrote is moved: a sibling name that now leads elsewhere (removed, or
    // taken by someone else) fails the save and leaves the target alone.
    if (held != nullptr && !NameLeadsTo(from, fd)) {
        return finish(ENOENT);
    }
    // The new file keeps the permissions the old one had; a first save gets those of any new file
    // (the sibling is private to its owner while it is written).
    struct stat old {};
    ::fchmod(fd, ::stat(to.c_str(), &old) == 0 ? (old.st_mode & 07777) : NewFileMode());
    // A delayed write error (a full disk, a failing device) shows here, before anything is
    // replaced.
    int flushed = 0;
    {
        const plat::UninterruptibleCall flushing;
        flushed = ::fsync(fd);
    }
    if (flushed != 0 && (errno == EIO || errno == ENOSPC || errno == EDQUOT)) {
        return finish(errno);
    }
    // A sibling without the mark is written down now that it is complete, as it is: should the
    // program end before the rename, the next save knows it by that state.
    struct stat written {};
    if (::fstat(fd, &written) == 0 && s_unmarkedHere.count(KeyOfStat(written)) != 0) {
        RecordSibling(fd, from);
    }
    if (s_saveCommitHook != nullptr) {
        s_saveCommitHook(target);
    }
    if (!plat::MoveFileEx(temporary, target, plat::MOVEFILE_REPLACE_EXISTING)) {
        return finish(errno != 0 ? errno : EIO);
    }
    // The file is in place: it is no longer a sibling. What it is now is noted while it is
    // still held, before another copy's save may replace it.
    struct stat placed {};
    s_lastCommitTarget = ::fstat(fd, &placed) == 0 ? to : std::string();
    s_lastCommitIdentity = s_lastCommitTarget.empty() ? FileIdentity{} : IdentityOfStat(placed);
    ::fremovexattr(fd, kSiblingMarkName);
    ForgetSibling(fd);
    const std::size_t cut = to.rfind('/');
    FsyncPath(cut == std::string::npos ? std::string(".") : to.substr(0, cut + 1),
              O_RDONLY | O_DIRECTORY);
    return finish(0);
}

SaveLock::Result SaveLock::acquire(const char* path) {
    release();
    const std::string place = ResolveSaveTarget(path);
    if (!m_placeKnown) {
        m_place = place;
        m_placeKnown = true;
    }
    // What was asked or waited for before this call may have given the name another place.
    if (place != m_place) {
        return kMoved;
    }
    const std::string native = plat::NativePath(place);
    // Once it has waited, the name is looked at again: it must still lead to the same place.
    const auto settled = [&](Result result) {
        if (ResolveSaveTarget(path) != m_place) {
            release();
            return kMoved;
        }
        return result;
    };
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMilliseconds);
    for (;;) {
        const int fd = ::open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            if (fd >= 0) {
                ::close(fd);
            }
            return settled(kNoFile);
        }
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                // A file system without locks: nothing to wait for.
                ::close(fd);
                return settled(kNoFile);
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                ::close(fd);
                return kTimedOut;
            }
            // The window stays answered while the other save goes on; the user may give up.
            if (!plat::WaitAnswering(kWaitStepMilliseconds)) {
                ::close(fd);
                return kGivenUp;
            }
        }
        // The save that held it may have put a new file under the name meanwhile: that one is
        // the file to hold.
        if (NameLeadsTo(native, fd)) {
            m_fd = fd;
            return settled(kHeld);
        }
        ::close(fd);
    }
}

void FailFileInUse(const char* path) {
    SetErrorDetail(path);
    Fail(errFileInUse);
}

void FailSaveTargetMoved(const char* path) {
    const char* why = LoadResString(kSaveTargetMovedString);
    SetErrorDetail((std::string(path) + "\n" + (why != nullptr ? why : "")).c_str());
    Fail(errFileAccessDenied);
}

void FailSaveWaitGivenUp(const char* path) {
    // A termination signal ends the program: no box may stand in the way of its ending.
    if (!plat::TerminationSignalPending())
        FailFileInUse(path);
}

void SaveLock::release() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void SetSaveCommitHookForTesting(SaveCommitHook hook) {
    s_saveCommitHook = hook;
}

void SetSiblingMadeHookForTesting(SaveCommitHook hook) {
    s_siblingMadeHook = hook;
}

bool RemoveOwnSibling(const char* path, std::FILE* held) {
    if (path == nullptr || held == nullptr) {
        return false;
    }
    const std::string native = plat::NativePath(path);
    if (!NameLeadsTo(native, ::fileno(held)) || ::unlink(native.c_str()) != 0) {
        return false;
    }
    ForgetSibling(::fileno(held));
    return true;
}

bool CommitTempFile(const char* target, const char* temporary) {
    SetErrorDetail(nullptr);
    const int err = MoveTempFileOver(target, temporary);
    if (err == 0) {
        return true;
    }
    SetErrorDetail(temporary);
    ErrorAlert(err == ENOENT ? errFileNotFound : ErrorCodeFromErrno(err));
    return false;
}

std::FILE* OpenFileOrFail(const char* path, const char* mode, std::uint64_t maxBytes) {
    std::string native = plat::NativePath(path);
    int fd = plat::OpenRegularFileForReading(native, maxBytes);
    if (fd < 0 && errno == ENOENT) {
        // A file named on a system that ignores case.
        const std::string p(path);
        const std::string found =
            plat::FindFileNoCase(p.substr(0, NameStart(p)), p.substr(NameStart(p)));
        if (!found.empty()) {
            native = plat::NativePath(found);
            fd = plat::OpenRegularFileForReading(native, maxBytes);
        }
    }
    const int err = fd < 0 ? (errno != 0 ? errno : EIO) : 0;
    std::FILE* file = fd >= 0 ? ::fdopen(fd, mode) : nullptr;
    if (file != nullptr) {
        return file;
    }
    if (fd >= 0) {
        ::close(fd);
        FailFromErrno(errno != 0 ? errno : ENOMEM);
    }
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        SetErrorDetail(path);
        Fail(errFileNotFound);
    case EACCES:
    case EPERM:
        SetErrorDetail(path);
        Fail(errFileUnreadable);
    case ENODEV:
        SetErrorDetail(path);
        Fail(errNotRegularFile);
    case EFBIG:
        SetErrorDetail(
            (std::string(path) + " (plus de " + std::to_string(maxBytes >> 20) + " Mo)").c_str());
        Fail(errFileTooLarge);
    default: {
        char text[256];
        plat::FormatMessage(plat::FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                            static_cast<plat::DWORD>(err), 0, text, sizeof text, nullptr);
        SetErrorDetail((std::string(path) + " (" + text + ")").c_str());
        Fail(ErrorCodeFromErrno(err));
    }
    }
}

bool RemoveFileOrFail(const char* path) {
    if (plat::DeleteFile(path)) {
        return true;
    }
    if (errno == EACCES || errno == EPERM || errno == EROFS) {
        SetErrorDetail(path);
        Fail(errFileAccessDenied);
    }
    return false;
}

FileIdentity FileIdentityOf(const char* path) {
    struct stat st {};
    if (path == nullptr || ::stat(plat::NativePath(path).c_str(), &st) != 0) {
        return {};
    }
    return IdentityOfStat(st);
}

FileIdentity CommittedFileIdentity(const char* target) {
    return target != nullptr && s_lastCommitTarget == plat::NativePath(target)
               ? s_lastCommitIdentity
               : FileIdentity{};
}

bool RemoveFileQuietly(const char* path) {
    return path != nullptr && plat::DeleteFile(path);
}

bool SameTextNoCase(const char* a, const char* b) {
    return plat::SameTextNoCaseCp1252(a != nullptr ? a : "", b != nullptr ? b : "");
}

int ErrorCodeFromErrno(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP: // a loop of symbolic links leads to no file
    case ENAMETOOLONG:
        return errFileNotFound;
    case EISDIR:
        return errNotRegularFile;
    case EACCES:
    case EPERM:
    case EROFS:
        return errFileAccessDenied;
    case ENOMEM:
        return errNoMemory;
    case ENOSPC:
    case EDQUOT:
        return errDiskFull;
    case EFBIG:
        return errFileTooLarge;
    default:
        return errUnplanned;
    }
}

void FailFromErrno(int err) {
    char text[256];
    plat::FormatMessage(plat::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<plat::DWORD>(err), 0,
                        text, sizeof text, nullptr);
    SetErrorDetail(text);
    Fail(ErrorCodeFromErrno(err));
}

namespace {

// Holds the new sibling `native` (open as fd, with no byte yet) while it is written
// (RemoveStaleSiblings leaves a locked sibling alone), makes it private to its owner and marks it
// as the program's own. On a file system without extended attributes it is written down in the
// record of unmarked siblings instead, with this process as its writer, and again once it is
// written whole (see MoveTempFileOver). One without locks leaves it unmarked: should the save be
// killed, its sibling then stays for the user.
void PrepareSibling(int fd, const std::string& native) {
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::fchmod(fd, 0600);
    struct stat st {};
    if (held && ::fstat(fd, &st) == 0) {
        const std::string mark = SiblingMark(fd, st, native);
        if (s_marksUnavailable ||
            ::fsetxattr(fd, kSiblingMarkName, mark.data(), mark.size(), 0) != 0) {
            s_unmarkedHere.insert(KeyOfStat(st));
            RecordPendingSibling(fd, native);
        }
    }
}

// Makes the new sibling `native`: its descriptor, or -1 with errno set. It is made without a name
// first, marked or written down, and only then given its name, so a save killed before that leaves
// nothing behind. Where the file system cannot make a file without a name, it is made by name (a
// kill before it is marked or written down, with no byte in it yet, leaves an empty file).
int MakeSiblingFile(const std::string& native) {
    const std::size_t cut = native.rfind('/');
    const std::string folder =
        cut == std::string::npos ? std::string(".") : native.substr(0, cut + 1);
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        PrepareSibling(fd, native);
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, native.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return fd;
        }
        const int err = errno;
        ForgetSibling(fd);
        ::close(fd);
        if (err == EEXIST) {
            errno = err;
            return -1;
        }
    }
    // Made new (never an existing file or link).
    fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        PrepareSibling(fd, native);
    }
    return fd;
}

// Makes the new sibling `path`, private to its owner until it is committed: null with errno set
// when it cannot be made.
std::FILE* CreateSibling(const char* path) {
    errno = 0;
    const std::string native = plat::NativePath(path);
    const int fd = MakeSiblingFile(native);
    std::FILE* file = nullptr;
    if (fd >= 0) {
        file = ::fdopen(fd, "wb");
        if (file == nullptr) {
            const int saved = errno;
            ForgetSibling(fd);
            ::unlink(native.c_str());
            ::close(fd);
            errno = saved;
        }
    }
    return file;
}

// The system's text for an error number.
std::string SystemText(int err) {
    char text[256];
    plat::FormatMessage(plat::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<plat::DWORD>(err), 0,
                        text, sizeof text, nullptr);
    return text;
}

// A new file at `path` could not be made: the folder is named when it is what is missing.
[[noreturn]] void FailCreating(const std::string& path, const char* shownName) {
    const int err = errno != 0 ? errno : EIO;
    if (err == ENOENT || err == ENOTDIR) {
        const std::string folder = path.substr(0, NameStart(path));
        struct stat st {};
        if (!folder.empty() &&
            (::stat(plat::NativePath(folder).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
            SetErrorDetail((std::string(shownName) + "\n" + folder).c_str());
            Fail(errFolderMissing);
        }
    }
    SetErrorDetail((std::string(shownName) + " (" + SystemText(err) + ")").c_str());
    Fail(ErrorCodeFromErrno(err));
}

// A save cannot replace what is no file: a folder, or a loop of symbolic links (which
// ResolveSaveTarget leaves as it was given).
void CheckSaveTarget(const std::string& target, const char* shownName) {
    const std::string native = plat::NativePath(target);
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0) {
        return;
    }
    int err = 0;
    if (S_ISDIR(st.st_mode)) {
        err = EISDIR;
    } else if (S_ISLNK(st.st_mode) && ::stat(native.c_str(), &st) != 0 && errno == ELOOP) {
        err = ELOOP;
    }
    if (err != 0) {
        SetErrorDetail((std::string(shownName) + " (" + SystemText(err) + ")").c_str());
        Fail(ErrorCodeFromErrno(err));
    }
}

} // namespace

std::FILE* CreateFileOrFail(const char* path, const char* shownName) {
    std::FILE* file = CreateSibling(path);
    if (file == nullptr) {
        FailCreating(path, shownName != nullptr ? shownName : path);
    }
    return file;
}

std::FILE* CreateSiblingOrFail(const char* target, std::string& sibling, const char* shownName) {
    const std::string shown = shownName != nullptr ? shownName : target;
    CheckSaveTarget(target, shown.c_str());
    // Another save of the same file (another copy of the program) may take the free name first:
    // the next free one is taken then.
    for (int attempt = 0;; ++attempt) {
        MakeTempSibling(target, sibling);
        std::FILE* file = CreateSibling(sibling.c_str());
        if (file != nullptr) {
            if (s_siblingMadeHook != nullptr) {
                s_siblingMadeHook(sibling.c_str());
            }
            return file;
        }
        const int err = errno;
        if (err == EACCES || err == EPERM || err == EROFS) {
            // The file itself may well be writable: what is refused is a new file in its folder.
            const std::string name(target);
            const std::string folder = name.substr(0, NameStart(name));
            SetErrorDetail((shown + "\n" + (folder.empty() ? std::string(".") : folder) + " (" +
                            SystemText(err) + ")")
                               .c_str());
            Fail(errFolderNotWritable);
        }
        if (err != EEXIST || attempt == 100) {
            FailCreating(target, shown.c_str());
        }
    }
}

bool LoadDataFileResource(int id, const std::uint8_t*& data, std::uint32_t& length) {
    data = nullptr;
    length = 0;
    const auto find = [](int resId, plat::WORD type, const std::uint8_t*& bytes,
                         std::uint32_t& size) {
        plat::HRSRC res =
            plat::FindResource(nullptr, plat::MAKEINTRESOURCE(static_cast<plat::WORD>(resId)),
                               plat::MAKEINTRESOURCE(type));
        if (res == nullptr) {
            return false;
        }
        bytes =
            static_cast<const std::uint8_t*>(plat::LockResource(plat::LoadResource(nullptr, res)));
        size = plat::SizeofResource(nullptr, res);
        return bytes != nullptr || size == 0;
    };
    const std::uint8_t* bytes = nullptr;
    std::uint32_t size = 0;
    if (id <= 0 || id > 0xFFFF || !find(id, 256, bytes, size)) {
        return false;
    }
    const std::uint8_t* table = nullptr;
    std::uint32_t tableSize = 0;
    std::uint32_t wanted = 0;
    if (find(939, plat::RT_RCDATA_ID, table, tableSize)) {
        for (std::uint32_t at = 0; at + 8 <= tableSize; at += 8) {
            const std::uint32_t entry = ReadLE32(table + at);
            if (entry == 0) {
                break;
            }
            if (entry == static_cast<std::uint32_t>(id)) {
                wanted = ReadLE32(table + at + 4);
            }
        }
    }
    data = bytes;
    length = std::min(wanted, size); // never beyond the resource
    return true;
}

// ---- Type filters and the save question ---------------------------------------------------------

namespace {

EmbeddedDocumentQuery g_embeddedQuery = nullptr;

void AppendFilterEntry(std::string& list, const FileTypeEntry& row) {
    const char* description = LoadResString(row.descriptionId);
    std::string ext;
    for (const char* p = row.extension; *p != 0 && ext.size() < 10; ++p) {
        ext += static_cast<char>(plat::FoldCaseCp1252(static_cast<unsigned char>(*p)));
    }
    list += description != nullptr ? description : "";
    list += " (";
    if (row.letter == '?') {
        list += '*';
    }
    list += ext;
    list += ')';
    list += '\0';
    list += '*';
    list += row.extension;
    list += '\0';
}

// Puts the first "%s" of a resource text by hand: the text may come from a resource library and is
// never used as a format.
std::string FillName(const char* text, const char* name) {
    std::string out = text != nullptr ? text : "%s";
    if (const std::size_t at = out.find("%s"); at != std::string::npos) {
        out.replace(at, 2, name != nullptr ? name : "");
    }
    return out;
}

} // namespace

bool AskReplaceChangedFile(const char* path) {
    constexpr int kChangedOnDiskString = 475;
    const std::string text = FillName(LoadResString(kChangedOnDiskString), path);
    return AppMessageBox(text.c_str(), nullptr, plat::MB_YESNO | plat::MB_ICONEXCLAMATION) ==
           plat::IDYES;
}

std::string BuildFileFilter(const char* letters) {
    std::string list;
    for (int i = 0; i < kFileTypeCount - 1; ++i) {
        const FileTypeEntry& row = kFileTypes[static_cast<std::size_t>(i)];
        const bool wanted =
            letters != nullptr ? std::strchr(letters, row.letter) != nullptr : row.notInOpen == 0;
        if (wanted) {
            AppendFilterEntry(list, row);
        }
    }
    AppendFilterEntry(list, kFileTypes[kFileTypeCount - 1]);
    return list + '\0';
}

std::string BuildTypeFilter(char letter) {
    std::string list;
    const FileTypeEntry* last = nullptr;
    for (const FileTypeEntry& row : kFileTypes) {
        if (row.letter == letter) {
            last = &row;
        } else if (row.saveFilter != 0) {
            AppendFilterEntry(list, row);
        }
    }
    if (last != nullptr) {
        AppendFilterEntry(list, *last);
    }
    return list + '\0';
}

char SaveTypeLetter(int saveType) {
    switch (saveType) {
    case 1:
        return 'e';
    case 2:
        return 'p';
    case 3:
        return 'g';
    case 4:
        return 'l';
    case 5:
        return 't';
    case 6:
        return 's';
    case 12:
        return 'M'; // the metafile command writes enhanced metafiles
    case 13:
        return 'b';
    default:
        return '?';
    }
}

std::string SaveItemText(const std::string& itemText, int saveType) {
    const char letter = SaveTypeLetter(saveType);
    std::string text = itemText;
    const std::size_t open = text.rfind('(');
    if (open != std::string::npos) {
        text.erase(open);
    } else if (letter != '?') {
        text += ' ';
    }
    if (letter == '?') {
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        return text;
    }
    // Expression documents are written as ".pvx" (".exp" is only kept for files opened as such),
    // so the item names the extension a save gives a new document.
    const FileTypeEntry* row = letter == 'e' ? FileTypeOfNth('e', 1) : FileTypeRow(letter);
    std::string ext = row->extension + 1;
    for (char& c : ext) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text + "(" + ext + ")";
}

void UpdateSaveMenuItem(int saveType) {
    constexpr plat::UINT kSaveCommand = 263;
    plat::HMENU bar = CQVApp::instance().m_MenuBar;
    char text[1024];
    if (bar == nullptr ||
        plat::GetMenuString(bar, kSaveCommand, text, sizeof text, plat::MF_BYCOMMAND) <= 0) {
        return;
    }
    const std::string item = SaveItemText(text, saveType);
    plat::ModifyMenu(bar, kSaveCommand, plat::MF_BYCOMMAND | plat::MF_STRING, kSaveCommand,
                     item.c_str());
}

void SetEmbeddedDocumentQuery(EmbeddedDocumentQuery query) {
    g_embeddedQuery = query;
}

int AskSaveChanges(const char* name) {
    std::string container;
    const int embedded = g_embeddedQuery != nullptr ? g_embeddedQuery(container) : 0;
    std::string text;
    if (embedded == 0) {
        text = FillName(LoadResString(3), name);
    } else if (embedded == 2) {
        return 2;
    } else {
        text = FillName(LoadResString(4), embedded == 1 ? container.c_str() : "Application");
    }
    constexpr unsigned kYesNoCancelInformation = 0x43;
    switch (AppMessageBox(text.c_str(), nullptr, kYesNoCancelInformation)) {
    case 6: // IDYES
        return 1;
    case 7: // IDNO
        return 2;
    default:
        return 0;
    }
}

// ---- Folder scans -------------------------------------------------------------------------------

void StringStackPush(StringStackNode*& head, const char* text) {
    head = new StringStackNode{head, text != nullptr ? text : ""};
}

bool StringStackPop(StringStackNode*& head, std::string& text) {
    if (head == nullptr) {
        return false;
    }
    StringStackNode* top = head;
    head = top->next;
    text = std::move(top->text);
    delete top;
    return true;
}

namespace {

// Pushes the names matching folder + pattern (folders or files), then pops them into out, which
// turns the listing's ascending order into descending order.
void ScanPattern(std::vector<std::string>& out, const std::string& folder, const char* pattern,
                 bool folders, std::vector<std::string>* outside = nullptr) {
    StringStackNode* stack = nullptr;
    plat::WIN32_FIND_DATA data;
    const std::string search = folder + pattern;
    plat::HANDLE find = plat::FindFirstFile(search.c_str(), &data);
    if (find != plat::INVALID_HANDLE_VALUE) {
        do {
            const bool isFolder = (data.dwFileAttributes & plat::FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (isFolder != folders || (folders && data.cFileName[0] == '.')) {
                continue;
            }
            StringStackPush(stack, data.cFileName);
        } while (plat::FindNextFile(find, &data));
        plat::FindClose(find);
    }
    std::string name;
    while (StringStackPop(stack, name)) {
        out.push_back(folder + name);
    }
    if (outside != nullptr && !folders) {
        for (std::string& native : plat::NamesOutsideCodePage(search.c_str())) {
            outside->push_back(std::move(native));
        }
    }
}

void ScanLetter(std::vector<std::string>& out, const std::string& folder, char letter,
                std::vector<std::string>* outside) {
    for (int n = 0;; ++n) {
        const FileTypeEntry* row = FileTypeOfNth(letter, n);
        if (row == nullptr) {
            break;
        }
        ScanPattern(out, folder, (std::string("*") + row->extension).c_str(), false, outside);
    }
}

} // namespace

void ScanFolderForTypes(std::vector<std::string>& out, const char* folder, char letter,
                        std::vector<std::string>* outside) {
    out.clear();
    if (outside != nullptr) {
        outside->clear();
    }
    const std::string base = WithSeparator(folder != nullptr ? folder : "");
    if (letter == 'd' || letter == '*') {
        ScanPattern(out, base, "*", true);
    }
    if (letter != 'd' && letter != '*') {
        ScanLetter(out, base, letter, outside);
    } else if (letter == '*') {
        std::string done;
        for (int i = 0; i < kFileTypeCount - 1; ++i) {
            const FileTypeEntry& row = kFileTypes[static_cast<std::size_t>(i)];
            if (row.notInOpen == 0 && done.find(row.letter) == std::string::npos) {
                done += row.letter;
                ScanLetter(out, base, row.letter, outside);
            }
        }
    }
    if (outside != nullptr) {
        std::sort(outside->begin(), outside->end());
        outside->erase(std::unique(outside->begin(), outside->end()), outside->end());
    }
}

// ---- The desktop --------------------------------------------------------------------------------

int ShellOpen(const char* path) {
    plat::SHELLEXECUTEINFO info;
    info.fMask = plat::SEE_MASK_FLAG_DDEWAIT;
    info.lpVerb = "open";
    info.lpFile = path;
    info.nShow = 1; // SW_SHOWNORMAL
    return plat::ShellExecuteEx(&info) ? 1 : 0;
}

int ShellOpenFile(const char* path) {
    return ShellOpen(path);
}

int ShellOpenIfExists(const char* path) {
    if (path == nullptr || !FileExists(path)) {
        return 0;
    }
    return ShellOpenFile(path);
}

void SetOpenDocumentHook(OpenDocumentHook hook) {
    g_openDocument = hook;
}

void OpenFileFromAtom(std::uint16_t atom) {
    if (atom == 0) {
        return;
    }
    std::string path(static_cast<std::size_t>(plat::kMaxAtomName) + 1, '\0');
    const plat::UINT n = plat::GlobalGetAtomName(atom, path.data(), static_cast<int>(path.size()));
    plat::GlobalDeleteAtom(atom);
    if (n == 0) {
        return;
    }
    path.resize(n);
    GuardedCall(
        [&] {
            if (path[0] == kNameOutsideCodePageMark) {
                SetErrorDetail(path.c_str() + 1);
                Fail(errNameOutsideCodePage);
            }
            // A missing file is reported, never made a new document. Anything else opens as it
            // would from the command line, whatever its name: the opener reads what it can.
            if (!FileExists(path.c_str())) {
                SetErrorDetail(path.c_str());
                Fail(errFileNotFound);
            }
            const char type = FileTypeOfPath(path.c_str());
            if (g_openDocument == nullptr) {
                KV_ASSERT_FAILED("OpenFileFromAtom");
                Fail(errNotInstalled);
            }
            g_openDocument(path.c_str(), type);
        },
        [](int code) {
            ErrorAlert(code);
            SetErrorDetail(nullptr);
        });
}

// ---- Bitmap files -------------------------------------------------------------------------------

void SetOpenBitmapHook(OpenBitmapHook hook) {
    g_openBitmap = hook;
}

namespace {

// Where the pixel rows of a packed bitmap start and end, every count checked against the block's
// length in 64 bits. False for a header that is not a plain bitmap's or rows beyond the block.
bool PackedDibLayout(const std::uint8_t* dib, std::size_t dibLength, std::uint64_t& bitsOffset,
                     std::uint64_t& bitsEnd) {
    if (dib == nullptr || dibLength < 12) {
        return false;
    }
    const std::uint32_t headerSize = ReadLE32(dib);
    std::uint64_t width = 0, height = 0, bitCount = 0, colours = 0, masks = 0;
    if (headerSize == 12) {
        width = ReadLE16(dib + 4);
        height = ReadLE16(dib + 6);
        bitCount = ReadLE16(dib + 10);
    } else if (headerSize >= 40 && headerSize <= dibLength) {
        const auto w = static_cast<std::int32_t>(ReadLE32(dib + 4));
        const auto h = static_cast<std::int32_t>(ReadLE32(dib + 8));
        if (w <= 0 || h == 0 || h == INT32_MIN) {
            return false;
        }
        width = static_cast<std::uint64_t>(w);
        height = static_cast<std::uint64_t>(h < 0 ? -static_cast<std::int64_t>(h) : h);
        bitCount = ReadLE16(dib + 14);
        const std::uint32_t compression = ReadLE32(dib + 16);
        colours = ReadLE32(dib + 32);
        if (compression == 3 && headerSize == 40) {
            masks = 12;
        } else if (compression != 0 && compression != 3) {
            return false;
        }
    } else {
        return false;
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
        return false;
    }
    if (bitCount <= 8) {
        const std::uint64_t most = std::uint64_t{1} << bitCount;
        if (colours == 0) {
            colours = most;
        }
        if (colours > most) {
            return false;
        }
    } else if (colours > 256) {
        return false;
    }
    const std::uint64_t entry = headerSize == 12 ? 3 : 4;
    const std::uint64_t row = ((width * bitCount + 31) / 32) * 4;
    bitsOffset = headerSize + masks + colours * entry;
    bitsEnd = bitsOffset + row * height;
    return width != 0 && height != 0 && bitsEnd <= dibLength;
}

} // namespace

bool CheckBitmapFile(const std::uint8_t* bytes, std::size_t size, std::size_t& dibOffset,
                     std::size_t& dibSize) {
    constexpr std::size_t kFileHeader = 14;
    if (bytes == nullptr || size < kFileHeader + 12 || bytes[0] != 'B' || bytes[1] != 'M') {
        return false;
    }
    // The header's own size may be 0 (allowed for plain bitmaps); it may never exceed the file.
    std::size_t total = ReadLE32(bytes + 2);
    if (total == 0) {
        total = size;
    }
    if (total < kFileHeader + 12 || total > size) {
        return false;
    }
    std::uint64_t bitsOffset = 0, bitsEnd = 0;
    if (!PackedDibLayout(bytes + kFileHeader, total - kFileHeader, bitsOffset, bitsEnd)) {
        return false;
    }
    dibOffset = kFileHeader;
    dibSize = total - kFileHeader;
    return true;
}

bool MakeBitmapFileHeader(const std::uint8_t* dib, std::size_t dibSize, std::uint8_t header[14]) {
    constexpr std::uint64_t kFileHeader = 14;
    std::uint64_t bitsOffset = 0, bitsEnd = 0;
    if (!PackedDibLayout(dib, dibSize, bitsOffset, bitsEnd) || kFileHeader + dibSize > UINT32_MAX) {
        return false;
    }
    const auto put32 = [&](int at, std::uint64_t value) {
        for (int i = 0; i < 4; ++i) {
            header[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    header[0] = 'B';
    header[1] = 'M';
    put32(2, kFileHeader + dibSize);
    put32(6, 0);
    put32(10, kFileHeader + bitsOffset);
    return true;
}

namespace {
FrontBitmapHook g_frontBitmap = nullptr;
} // namespace

void SetFrontBitmapHook(FrontBitmapHook hook) {
    g_frontBitmap = hook;
}

void WriteBitmapFile(const FrontDocumentBitmap& bitmap, const std::string& path) {
    constexpr int kBitmapFileAlert = 495;
    std::uint8_t header[14];
    if (!MakeBitmapFileHeader(bitmap.dib.data(), bitmap.dib.size(), header)) {
        Fail(kBitmapFileAlert);
    }
    // Until close takes it over, a failure deletes the stream, which removes its unfinished file.
    std::unique_ptr<oOFileStream, oOStreamDeleter> stream(NewOFileStream(path.c_str(), true));
    stream->writeRaw(header, sizeof header);
    stream->writeRaw(bitmap.dib.data(), static_cast<std::uint32_t>(bitmap.dib.size()));
    stream.release()->close();
}

bool SaveBitmapFile(bool ask) {
    constexpr int kBitmapFileAlert = 495;
    FrontDocumentBitmap bitmap;
    if (g_frontBitmap == nullptr) {
        KV_ASSERT_FAILED("SaveBitmapFile");
        return false;
    }
    bool made = false;
    if (const int code = CatchFail([&] { made = g_frontBitmap(bitmap); }); code != 0) {
        ErrorAlert(code);
        return false;
    }
    if (!made) {
        return false;
    }
    std::uint8_t header[14];
    if (!MakeBitmapFileHeader(bitmap.dib.data(), bitmap.dib.size(), header)) {
        ErrorAlert(kBitmapFileAlert);
        return false;
    }
    std::string path = bitmap.path;
    if ((ask || bitmap.changed || path.empty()) &&
        !SaveFileDialog(ResStringWith(kSaveBitmapTitleString, {}).c_str(), path)) {
        return false;
    }
    const int code = CatchFail([&] { WriteBitmapFile(bitmap, path); });
    if (code != 0) {
        ErrorAlert(code);
        return false;
    }
    UpdateSaveMenuItem(bitmap.saveType);
    return true;
}

void OpenBitmapFile(const char* path) {
    constexpr int kBitmapFileAlert = 495;
    // Bitmaps that carry expressions are small; anything beyond this is not one of them.
    constexpr std::uint64_t kLargestBitmapFile = 256u << 20;
    std::vector<std::uint8_t> bytes;
    // Only a regular file of a bitmap's size is read; anything else is reported by name.
    const int code = CatchFail([&] {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
            OpenFileOrFail(path, "rb", kLargestBitmapFile), &std::fclose);
        if (std::fseek(file.get(), 0, SEEK_END) == 0) {
            const long size = std::ftell(file.get());
            if (size > 0 && std::fseek(file.get(), 0, SEEK_SET) == 0) {
                bytes.resize(static_cast<std::size_t>(size));
                bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
            }
        }
    });
    if (code != 0) {
        ErrorAlert(code);
        return;
    }
    std::size_t offset = 0, dibSize = 0;
    if (!CheckBitmapFile(bytes.data(), bytes.size(), offset, dibSize)) {
        SetErrorDetail(path);
        ErrorAlert(kBitmapFileAlert);
        return;
    }
    plat::HGLOBAL block = plat::GlobalAlloc(plat::GHND, dibSize);
    void* dib = block != nullptr ? plat::GlobalLock(block) : nullptr;
    if (dib == nullptr) {
        plat::GlobalFree(block);
        ErrorAlert(errNoMemory);
        return;
    }
    std::memcpy(dib, bytes.data() + offset, dibSize);
    plat::GlobalUnlock(block);
    bool opened = false;
    if (g_openBitmap == nullptr) {
        KV_ASSERT_FAILED("OpenBitmapFile");
    } else {
        const int code = CatchFail([&] { opened = g_openBitmap(block, path); });
        if (code != 0) {
            plat::GlobalFree(block);
            ErrorAlert(code);
            return;
        }
    }
    plat::GlobalFree(block);
    if (!opened) {
        SetErrorDetail(path);
        ErrorAlert(kBitmapFileAlert);
    }
}

// ---- Open and save choosers ---------------------------------------------------------------------

namespace {

// Room for the chosen path: far beyond what a folder chain can reach, so the system chooser never
// has to refuse a path for its length (it would report that rather than cut it).
constexpr std::size_t kFileBufferSize = 32768;
// The document extension a typed name gets when the chooser knows no better.
constexpr const char* kDocumentDefaultExtension = "EXP";

// The open chooser's custom-filter buffer, kept for the whole run as the system expects.
std::array<char, 128> s_customFilter{};

// The number of entries (description and pattern pairs) of a filter list.
std::uint32_t FilterEntryCount(const std::string& list) {
    std::uint32_t texts = 0;
    for (std::size_t at = 0; at < list.size() && list[at] != 0;) {
        const std::size_t end = list.find('\0', at);
        ++texts;
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return texts / 2;
}

// The 1-based entry of the filter list whose pattern is `pattern`; 0 when none is.
std::uint32_t FilterEntryOfPattern(const std::string& list, const std::string& pattern) {
    std::uint32_t text = 0;
    for (std::size_t at = 0; at < list.size() && list[at] != 0;) {
        std::size_t end = list.find('\0', at);
        if (end == std::string::npos)
            end = list.size();
        // Texts alternate: a description, then its pattern.
        if (text % 2 == 1 && list.compare(at, end - at, pattern) == 0)
            return text / 2 + 1;
        ++text;
        at = end + 1;
    }
    return 0;
}

} // namespace

void InitFileDialogRecord(FileDialogRecord& record, const char* title) {
    record = FileDialogRecord{};
    record.owner = GetModalOwnerWindow(false);
    record.title = title != nullptr ? title : "";
    RefreshCurrentFolder();
    // The dialog opens where the user last chose a file, so that what was just saved or opened
    // is listed; until then (or once that folder is gone) in the current folder.
    if (!s_lastDialogFolder.empty() && FileTypeOfPath(s_lastDialogFolder.c_str()) == 'd')
        record.initialFolder = s_lastDialogFolder;
}

void PrepareSaveDialog(FileDialogRecord& record, const char* title, const char* path) {
    InitFileDialogRecord(record, title);
    const char* safePath = path != nullptr ? path : "";
    const char type = FileTypeOfPath(safePath);
    const std::size_t nameAt = NameStart(safePath);
    record.file = safePath + nameAt;
    if (nameAt > 0) {
        const std::string folder(safePath, nameAt);
        if (FileTypeOfPath(folder.c_str()) == 'd') {
            record.initialFolder = folder;
        }
    }
    record.filter = BuildTypeFilter(type);
    record.flags = plat::OFN_OVERWRITEPROMPT;
    // A known type is offered last and preselected; a folder or an unknown name has no entry of
    // its own, so the first one is.
    const bool ownEntry = type != '?' && type != 'd';
    record.filterIndex = ownEntry ? FilterEntryCount(record.filter) : 1;
    if (type == '?' || type == 'e') {
        record.defaultExtension = kDocumentDefaultExtension;
    } else if (const char* ext = FindExtension(safePath); ext != nullptr) {
        record.defaultExtension = ext + 1;
    }
}

bool RunFileDialog(FileDialogRecord& record, bool save) {
    std::vector<char> file(std::max(kFileBufferSize, record.file.size() + 1), '\0');
    std::copy(record.file.begin(), record.file.end(), file.begin());
    plat::OPENFILENAME ofn;
    ofn.hwndOwner = record.owner;
    // The dialog's box for a name the code page cannot write is the program's message.
    static_assert(plat::IDS_NAME_OUTSIDE_CODE_PAGE == errNameOutsideCodePage);
    ofn.hInstance = CQVApp::instance().m_hResources;
    ofn.lpstrFilter = record.filter.empty() ? nullptr : record.filter.c_str();
    if (!save) {
        ofn.lpstrCustomFilter = s_customFilter.data();
        ofn.nMaxCustFilter = static_cast<plat::DWORD>(s_customFilter.size());
    }
    ofn.nFilterIndex = record.filterIndex;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<plat::DWORD>(file.size());
    ofn.lpstrInitialDir = record.initialFolder.empty() ? nullptr : record.initialFolder.c_str();
    ofn.lpstrTitle = record.title.empty() ? nullptr : record.title.c_str();
    ofn.Flags = record.flags;
    ofn.lpstrDefExt = record.defaultExtension.empty() ? nullptr : record.defaultExtension.c_str();
    plat::BOOL chosen = plat::FALSE;
    plat::DWORD error = 0;
    {
        SystemDialogScope scope(record.owner);
        chosen = save ? plat::GetSaveFileName(&ofn) : plat::GetOpenFileName(&ofn);
        error = chosen ? 0 : plat::CommDlgExtendedError();
    }
    if (!chosen) {
        ReportCommonDialogError(error);
        return false;
    }
    record.file = file.data();
    record.filterIndex = ofn.nFilterIndex;
    if (const std::size_t nameAt = NameStart(record.file); nameAt > 0)
        s_lastDialogFolder = record.file.substr(0, nameAt);
    return true;
}

bool OpenFileDialog(const char* title, std::string& path, const char* letters,
                    const char* preselect) {
    FileDialogRecord record;
    InitFileDialogRecord(record, title);
    record.filter = BuildFileFilter(letters);
    record.flags = plat::OFN_PATHMUSTEXIST | plat::OFN_HIDEREADONLY;
    if (letters != nullptr && std::strchr(letters, 'e') != nullptr) {
        record.defaultExtension = kDocumentDefaultExtension;
        record.filterIndex = 2;
    }
    if (preselect != nullptr)
        if (const std::uint32_t entry =
                FilterEntryOfPattern(record.filter, std::string("*") + preselect))
            record.filterIndex = entry;
    if (!RunFileDialog(record, false)) {
        return false;
    }
    if (!FileExists(record.file)) {
        SetErrorDetail(record.file.c_str());
        ErrorAlert(errFileNotFound);
        return false;
    }
    path = record.file;
    return true;
}

bool SaveFileDialog(const char* title, std::string& path) {
    FileDialogRecord record;
    PrepareSaveDialog(record, title, path.c_str());
    if (!RunFileDialog(record, true)) {
        return false;
    }
    path = record.file;
    return true;
}
