#include "App/Recovery.h"

#include "App/AppHooks.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "plat/Dialog.h"
#include "plat/Files.h"
#include "plat/Font.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The record of the recovery copies not offered yet (see ParseRecoveryRecord).
constexpr char kRecordName[] = ".recovered";
// A record longer than this is not the program's: it is taken as no record.
constexpr std::uint64_t kLargestRecord = 1u << 20;
// The box that offers them (the copies are named under its text).
constexpr int kRecoveredOfferString = 488;
// A copy and the document it will be saved as, and a copy of an untitled document (the copy's
// name stands for the first %s, the document's for the second). Drawn in the code page with the
// names, so they are ASCII.
constexpr int kCopySavedAsString = 489;
constexpr int kCopyUntitledString = 490;
// At most this many copies in the box; the others are counted.
constexpr size_t kNamesShown = 10;

// The folder with a separator at its end (a double-byte character's trail byte is none).
std::string withSeparator(std::string folder) {
    if (!folder.empty() && plat::PathNameStart(folder) != folder.size())
        folder += '/';
    return folder;
}

// A folder program path given by the environment variable, "" when unset or not in the code page.
std::string folderFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    std::string folder;
    if (value == nullptr || *value == '\0' || !plat::Cp1252FromUtf8(value, folder))
        return {};
    return withSeparator(folder);
}

// Makes `folder` usable for a copy: made when asked and missing, and a folder itself, not a link
// to one. Fails with the system's error otherwise.
void checkFolder(const RecoveryPlace& place) {
    std::string native = plat::NativePath(place.folder);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    if (place.make) {
        // The preferences folder itself may not exist yet.
        std::error_code ec;
        std::filesystem::create_directories(native, ec);
    }
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0)
        FailFromErrno(errno);
    if (!S_ISDIR(st.st_mode)) {
        SetErrorDetail(place.folder.c_str());
        Fail(errNotRegularFile);
    }
}

// Makes an empty file of the program's own under a temporary name in `folder` (never where
// anything stands, a link included), for the copy to be written to first.
std::string reserveTemporary(const std::string& folder) {
    for (int n = 1;; ++n) {
        const std::string path = folder + ".korvaline-recovery-" + std::to_string(::getpid()) +
                                 "-" + std::to_string(n) + ".tmp";
        const int fd = ::open(plat::NativePath(path).c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST || n == kRecoveryNameTries)
            FailFromErrno(errno);
    }
}

// Gives the written file `from` the name `to` when nothing stands there, in one step: a rename
// that never replaces, or where the file system has none, a second link and then the temporary
// name's removal. 0, or the system's error (EEXIST when the name is taken).
int nameWithoutReplacing(const std::string& from, const std::string& to) {
    const std::string nativeFrom = plat::NativePath(from);
    const std::string nativeTo = plat::NativePath(to);
    if (::renameat2(AT_FDCWD, nativeFrom.c_str(), AT_FDCWD, nativeTo.c_str(), RENAME_NOREPLACE) ==
        0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    if (::link(nativeFrom.c_str(), nativeTo.c_str()) != 0)
        return errno;
    ::unlink(nativeFrom.c_str());
    return 0;
}

// Removes the temporary file when the name still leads to a regular file.
void removeTemporary(const std::string& path) {
    const std::string native = plat::NativePath(path);
    struct stat st {};
    if (::lstat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::unlink(native.c_str());
}

std::string keepIn(const RecoveryPlace& place, const std::string& documentName,
                   const std::string& stamp,
                   const std::function<void(const std::string& path)>& write,
                   const std::function<void(const std::string& path)>& chosen) {
    checkFolder(place);
    const std::string temporary = reserveTemporary(place.folder);
    std::string kept;
    const std::int16_t failure = CatchFail([&] {
        write(temporary);
        // The first name free at this moment.
        int first = 1;
        for (struct stat st{}; first < kRecoveryNameTries; ++first)
            if (::lstat(plat::NativePath(place.folder + RecoveryFileName(documentName, stamp,
                                                                         place.markName, first))
                            .c_str(),
                        &st) != 0)
                break;
        if (chosen)
            chosen(place.folder + RecoveryFileName(documentName, stamp, place.markName, first));
        for (int n = first; n <= kRecoveryNameTries; ++n) {
            const std::string path =
                place.folder + RecoveryFileName(documentName, stamp, place.markName, n);
            const int err = nameWithoutReplacing(temporary, path);
            if (err == 0) {
                kept = path;
                return;
            }
            if (err != EEXIST)
                FailFromErrno(err);
        }
        FailFromErrno(EEXIST);
    });
    if (failure != 0) {
        removeTemporary(temporary);
        Fail(failure);
    }
    return kept;
}

std::string recordPath(const std::string& prefsFolder) {
    return withSeparator(prefsFolder) + kRecordName;
}

// The record's entries; none when there is no record, or when its name leads to anything but a
// regular file of the program's size.
std::vector<RecoveryEntry> readRecord(const std::string& prefsFolder) {
    const std::string native = plat::NativePath(recordPath(prefsFolder));
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    const int fd = plat::OpenRegularFileForReading(native, kLargestRecord);
    if (fd < 0)
        return {};
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return ParseRecoveryRecord(text);
}

void writeRecord(const std::string& prefsFolder, const std::vector<RecoveryEntry>& entries) {
    const std::string native = plat::NativePath(recordPath(prefsFolder));
    if (entries.empty()) {
        struct stat st {};
        if (::lstat(native.c_str(), &st) == 0)
            ::unlink(native.c_str());
        return;
    }
    plat::ReplaceFileWhole(native, FormatRecoveryRecord(entries), 0600);
}

void appendEscaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : text) {
        if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
            out += '%';
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[static_cast<unsigned char>(c) & 0xF];
        } else {
            out += c;
        }
    }
}

// The text written %XX; false for anything else after a '%', or for a tab or carriage return
// written as itself.
bool unescape(std::string_view text, std::string& out) {
    const auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\t' || text[i] == '\r')
            return false;
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || digit(text[i + 1]) < 0 || digit(text[i + 2]) < 0)
            return false;
        const char c = static_cast<char>(digit(text[i + 1]) << 4 | digit(text[i + 2]));
        if (c != '%' && c != '\t' && c != '\r' && c != '\n')
            return false;
        out += c;
        i += 2;
    }
    return true;
}

template <class Number> bool readNumber(std::string_view& text, Number& value, bool last) {
    const size_t end = last ? text.size() : text.find(':');
    if (end == std::string_view::npos || end == 0)
        return false;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + end, value);
    if (ec != std::errc() || ptr != text.data() + end)
        return false;
    text.remove_prefix(last ? end : end + 1);
    return true;
}

bool parseIdentity(std::string_view text, FileIdentity& identity) {
    FileIdentity read;
    read.known = true;
    if (!readNumber(text, read.device, false) || !readNumber(text, read.inode, false) ||
        !readNumber(text, read.size, false) || !readNumber(text, read.modifiedSeconds, false) ||
        !readNumber(text, read.modifiedNanoseconds, true) || read.modifiedNanoseconds < 0 ||
        read.modifiedNanoseconds > 999'999'999)
        return false;
    identity = read;
    return true;
}

// The process a temporary of the ending (".korvaline-recovery-<pid>-<n>.tmp") was made by; 0 for
// any other name.
pid_t temporaryOwner(const std::string& name) {
    constexpr std::string_view prefix = ".korvaline-recovery-";
    constexpr std::string_view suffix = ".tmp";
    if (!name.starts_with(prefix) || !name.ends_with(suffix))
        return 0;
    const std::string_view middle(name.data() + prefix.size(),
                                  name.size() - prefix.size() - suffix.size());
    const size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == middle.size() || dash > 9 ||
        middle.size() - dash - 1 > 9 ||
        middle.find_first_not_of("0123456789-") != std::string_view::npos ||
        middle.find('-', dash + 1) != std::string_view::npos)
        return 0;
    return static_cast<pid_t>(std::stol(std::string(middle.substr(0, dash))));
}

} // namespace

std::vector<std::string> SweepRecoveryTemporaries(const std::string& prefsFolder) {
    std::vector<std::string> named;
    for (const char* sub : {"Recovered/", "Recovered 2/"}) {
        const std::string folder = withSeparator(prefsFolder) + sub;
        std::string native = plat::NativePath(folder);
        struct stat st {};
        if (::lstat(native.substr(0, native.size() - 1).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(native, ec)) {
            const std::string name = entry.path().filename().string();
            const pid_t owner = temporaryOwner(name);
            // Only temporaries of an ending that is over: its process is gone.
            if (owner <= 0 || owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH)
                continue;
            const std::string path = folder + name;
            if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            RemoveStaleSiblings(path.c_str());
            if (st.st_size == 0) {
                ::unlink(entry.path().c_str());
                continue;
            }
            // Whole (it only gets content when a finished copy is moved onto it) but never named:
            // it gets a name of its own, by the time it was written.
            char stamp[32] = "";
            std::tm local{};
            if (localtime_r(&st.st_mtime, &local) != nullptr)
                std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
            for (int n = 1; n <= kRecoveryNameTries; ++n) {
                const std::string to = folder + RecoveryFileName("Document", stamp, false, n);
                const int err = nameWithoutReplacing(path, to);
                if (err == 0)
                    named.push_back(to);
                if (err != EEXIST)
                    break;
            }
        }
    }
    return named;
}

std::vector<RecoveryPlace> RecoveryPlaces(const std::string& prefsFolder,
                                          const std::string& documentPath) {
    const std::string prefs = withSeparator(prefsFolder);
    std::vector<RecoveryPlace> places{{prefs + "Recovered/", true, false},
                                      {prefs + "Recovered 2/", true, false}};
    // The separator is a whole character: a double-byte character's trail byte may equal '\\'.
    if (const size_t name = plat::PathNameStart(documentPath); name != 0)
        places.push_back({documentPath.substr(0, name), false, true});
    if (std::string home = folderFromEnvironment("HOME"); !home.empty())
        places.push_back({home, false, true});
    char temp[4096] = "";
    const plat::DWORD length = plat::GetTempPath(sizeof temp, temp);
    if (length > 0 && length < sizeof temp)
        places.push_back({withSeparator(temp), false, true});
    return places;
}

std::string RecoveryFileName(const std::string& documentName, const std::string& stamp,
                             bool markName, int n) {
    std::string base;
    const char* ext = FindExtension(documentName.c_str());
    const size_t keep =
        ext != nullptr ? static_cast<size_t>(ext - documentName.c_str()) : documentName.size();
    for (size_t i = 0; i < keep; ++i) {
        const auto c = static_cast<unsigned char>(documentName[i]);
        // A double-byte character stays whole: its trail byte may be that of a backslash.
        if (plat::IsDBCSLeadByte(c) && i + 1 < keep) {
            base.append(documentName, i, 2);
            ++i;
        } else if (c >= 0x20 && c != 0x7F && c != '/' && c != '\\') {
            base += static_cast<char>(c);
        }
    }
    while (!base.empty() && (base.front() == '.' || base.front() == ' '))
        base.erase(0, 1);
    if (base.empty())
        base = "Document";
    base += markName ? " (copie de secours " + stamp + ")" : ' ' + stamp;
    if (n > 1)
        base += " (" + std::to_string(n) + ")";
    return base + ".pvx";
}

std::string KeepRecoveryCopy(const std::vector<RecoveryPlace>& places,
                             const std::string& documentName, const std::string& stamp,
                             const std::function<void(const std::string& path)>& write,
                             const std::function<void(const std::string& path)>& chosen,
                             std::int16_t& failure) {
    failure = errUnplanned;
    for (const RecoveryPlace& place : places) {
        std::string kept;
        failure = CatchFail([&] { kept = keepIn(place, documentName, stamp, write, chosen); });
        if (failure == 0)
            return kept;
    }
    return {};
}

std::vector<RecoveryEntry> ParseRecoveryRecord(std::string_view text) {
    std::vector<RecoveryEntry> entries;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string_view fields[3];
        size_t count = 0;
        for (; count < 3; ++count) {
            const size_t tab = line.find('\t');
            fields[count] = line.substr(0, tab);
            if (tab == std::string_view::npos) {
                line = {};
                ++count;
                break;
            }
            line.remove_prefix(tab + 1);
        }
        // More fields than three, or a copy without a path.
        if (!line.empty() || fields[0].empty())
            continue;
        RecoveryEntry entry;
        if (!unescape(fields[0], entry.copy) || (count > 1 && !unescape(fields[1], entry.original)))
            continue;
        if (count > 2 && !parseIdentity(fields[2], entry.identity))
            continue;
        // Only a document with a file has an identity.
        if (entry.original.empty() && entry.identity.known)
            continue;
        bool seen = false;
        for (const RecoveryEntry& other : entries)
            seen = seen || other.copy == entry.copy;
        if (!seen)
            entries.push_back(std::move(entry));
    }
    return entries;
}

std::string FormatRecoveryRecord(const std::vector<RecoveryEntry>& entries) {
    std::string text;
    for (const RecoveryEntry& entry : entries) {
        if (entry.copy.empty())
            continue;
        appendEscaped(text, entry.copy);
        if (!entry.original.empty()) {
            text += '\t';
            appendEscaped(text, entry.original);
            if (entry.identity.known) {
                const FileIdentity& id = entry.identity;
                text += '\t' + std::to_string(id.device) + ':' + std::to_string(id.inode) + ':' +
                        std::to_string(id.size) + ':' + std::to_string(id.modifiedSeconds) + ':' +
                        std::to_string(id.modifiedNanoseconds);
            }
        }
        text += '\n';
    }
    return text;
}

void NoteRecoveryCopies(const std::string& prefsFolder, const std::vector<RecoveryEntry>& entries) {
    if (entries.empty())
        return;
    std::vector<RecoveryEntry> record = readRecord(prefsFolder);
    for (const RecoveryEntry& entry : entries) {
        if (entry.copy.empty())
            continue;
        std::erase_if(record, [&](const RecoveryEntry& e) { return e.copy == entry.copy; });
        record.push_back(entry);
    }
    writeRecord(prefsFolder, record);
}

bool IsRecoveryCopy(const std::string& prefsFolder, const RecoveryEntry& entry) {
    const size_t nameAt = plat::PathNameStart(entry.copy);
    const std::string folder = entry.copy.substr(0, nameAt);
    const std::string name = entry.copy.substr(nameAt);
    if (name.empty() || name.front() == '.' || !name.ends_with(".pvx"))
        return false;
    const std::string nativeFolder = plat::NativePath(folder);
    const std::vector<RecoveryPlace> places = RecoveryPlaces(prefsFolder, entry.original);
    const RecoveryPlace* place = nullptr;
    for (const RecoveryPlace& p : places)
        if (place == nullptr && plat::NativePath(p.folder) == nativeFolder)
            place = &p;
    // Outside its own folders the ending marks a copy's name as one.
    if (place == nullptr ||
        (place->markName && name.find(" (copie de secours ") == std::string::npos))
        return false;
    // The folder itself, not a link to one, and the copy a regular file, not a link.
    struct stat st {};
    std::string dir = nativeFolder;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return ::lstat(plat::NativePath(entry.copy).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<RecoveryEntry> RecoveryCopiesToOffer(const std::string& prefsFolder) {
    std::vector<RecoveryEntry> offered;
    for (RecoveryEntry& entry : readRecord(prefsFolder))
        if (IsRecoveryCopy(prefsFolder, entry))
            offered.push_back(std::move(entry));
    return offered;
}

void ForgetOfferedCopies(const std::string& prefsFolder) {
    writeRecord(prefsFolder, {});
}

namespace {

// Where a save of the recovered document goes: its own path, or "" (untitled) when it had none or
// its file is open in a window other than `opened` already, so that two windows never save over
// each other.
std::string savedAs(const RecoveryEntry& entry, const ExprFilePane* opened) {
    for (const ExprFilePane* other = OpenDocumentList; other != nullptr;
         other = other->nextDocument())
        if (other != opened && !other->filePath().empty() && !entry.original.empty() &&
            SameFileOnDisk(other->filePath().c_str(), entry.original.c_str()))
            return {};
    return entry.original;
}

// The string-table text with each "%s" in turn given the next of `names` (a name is never read
// for "%s" itself); a missing text stands for the first name alone.
std::string fillNames(const char* format, std::initializer_list<std::string_view> names) {
    std::string text = format != nullptr ? format : "%s";
    size_t from = 0;
    for (const std::string_view name : names) {
        const size_t at = text.find("%s", from);
        if (at == std::string::npos)
            break;
        text.replace(at, 2, name);
        from = at + name.size();
    }
    return text;
}

// Opens the copy as the document it was: under its own path (or untitled), marked changed, with
// the file it knew, so that a save goes where it was and asks first when that file changed since.
void openRecovered(const std::string& prefs, const RecoveryEntry& entry) {
    // Checked again: the name may have been given something else while the box was up, or the
    // copy removed.
    if (!IsRecoveryCopy(prefs, entry)) {
        struct stat st {};
        const bool gone = ::lstat(plat::NativePath(entry.copy).c_str(), &st) != 0 &&
                          (errno == ENOENT || errno == ENOTDIR);
        SetErrorDetail(entry.copy.c_str());
        Fail(gone ? errFileNotFound : errNotRegularFile);
    }
    const ExprFilePane* newest = OpenDocumentList;
    SetErrorDetail(entry.copy.c_str());
    AppHooks().openDocumentWindow(entry.copy.c_str(), 'e');
    SetErrorDetail(nullptr);
    ExprFilePane* pane = OpenDocumentList;
    // Already open in a window of its own: that window stays as it is.
    if (pane == nullptr || pane == newest || pane->filePath() != entry.copy)
        return;
    const std::string path = savedAs(entry, pane);
    pane->setFilePath(path);
    if (!path.empty()) {
        pane->setDiskIdentity(entry.identity);
        pane->setSaveType(SaveTypeOfFileType(FileTypeOfPath(path.c_str())));
    } else if (NewDocumentSaveTypeHook != nullptr) {
        pane->setSaveType(NewDocumentSaveTypeHook());
    }
    pane->setRecoveryCopy(entry.copy);
    pane->setChanged(true);
    pane->renameWindow();
}

} // namespace

void OfferRecoveredDocuments() {
    if (CQVApp::instance().m_Embedded)
        return;
    const std::string prefs = PrefsFolderPath();
    std::vector<RecoveryEntry> swept;
    for (std::string& path : SweepRecoveryTemporaries(prefs))
        swept.push_back({std::move(path), {}, {}});
    NoteRecoveryCopies(prefs, swept);
    const std::vector<RecoveryEntry> entries = RecoveryCopiesToOffer(prefs);
    if (entries.empty()) {
        // Nothing the record names is a copy to offer: it has served.
        ForgetOfferedCopies(prefs);
        return;
    }
    // Each copy with the document it will be saved as.
    std::string names;
    for (size_t i = 0; i < entries.size() && i < kNamesShown; ++i) {
        const std::string target = savedAs(entries[i], nullptr);
        names += (i == 0 ? "" : "\n") +
                 fillNames(LoadResString(target.empty() ? kCopyUntitledString : kCopySavedAsString),
                           {entries[i].copy, target});
    }
    if (entries.size() > kNamesShown)
        names += "\n(+" + std::to_string(entries.size() - kNamesShown) + ")";
    // The record stays until the answer: a signal that ends the program while the box is up
    // leaves the copies to be offered at the next start. The names are drawn in the code page.
    const char* text = LoadResString(kRecoveredOfferString);
    const int answer = AppMessageBoxNamingFiles(text != nullptr ? text : "", names.c_str(), nullptr,
                                                plat::MB_YESNO | plat::MB_ICONQUESTION);
    ForgetOfferedCopies(prefs);
    if (answer != plat::IDYES || AppHooks().openDocumentWindow == nullptr)
        return;
    for (const RecoveryEntry& entry : entries)
        if (const std::int16_t failure = CatchFail([&] { openRecovered(prefs, entry); });
            failure != 0)
            ErrorAlert(failure);
}
