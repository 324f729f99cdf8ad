#include "App/Recovery.h"

#include "App/AppHooks.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverSrcs/oStreams.h"
#include "plat/Dialog.h"
#include "plat/Files.h"
#include "plat/Font.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The record of the recovery copies not offered yet, one path (program form) a line.
constexpr char kRecordName[] = ".recovered";
// The box that offers them: the names stand for %s.
constexpr int kRecoveredOfferString = 488;
// At most this many names in the box; the others are counted.
constexpr size_t kNamesShown = 10;
// The copies named in the offer while its box waits for an answer.
std::vector<std::string> s_awaitingAnswer;

std::string withSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
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

std::set<std::string> readRecord(const std::string& prefsFolder) {
    std::set<std::string> paths;
    CatchFail([&] {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(
            OpenFileOrFail(recordPath(prefsFolder).c_str(), "rb", kLargestPrefsFile), &std::fclose);
        std::string text;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0;)
            text.append(buffer, n);
        paths = ParseInstalledRecord(text);
    });
    return paths;
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
    if (const size_t slash = documentPath.find_last_of("/\\"); slash != std::string::npos)
        places.push_back({documentPath.substr(0, slash + 1), false, true});
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

void NoteRecoveryCopies(const std::string& prefsFolder, const std::vector<std::string>& paths) {
    if (paths.empty() && s_awaitingAnswer.empty())
        return;
    std::set<std::string> record = readRecord(prefsFolder);
    for (const std::string& path : s_awaitingAnswer)
        record.insert(path);
    for (const std::string& path : paths)
        if (path.find('\n') == std::string::npos)
            record.insert(path);
    CatchFail([&] {
        oOStreamPtr out(NewOFileStream(recordPath(prefsFolder).c_str(), true));
        for (const std::string& path : record) {
            out->write(path.data(), static_cast<std::uint32_t>(path.size()));
            out->write("\n", 1);
        }
        CloseStream(out);
    });
}

std::vector<std::string> TakeRecoveryCopiesToOffer(const std::string& prefsFolder) {
    const std::set<std::string> record = readRecord(prefsFolder);
    if (record.empty())
        return {};
    RemoveFileQuietly(recordPath(prefsFolder).c_str());
    std::vector<std::string> offered;
    for (const std::string& path : record) {
        struct stat st {};
        if (::lstat(plat::NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            offered.push_back(path);
    }
    return offered;
}

void OfferRecoveredDocuments() {
    if (CQVApp::instance().m_Embedded)
        return;
    NoteRecoveryCopies(PrefsFolderPath(), SweepRecoveryTemporaries(PrefsFolderPath()));
    const std::vector<std::string> files = TakeRecoveryCopiesToOffer(PrefsFolderPath());
    if (files.empty())
        return;
    std::string names;
    for (size_t i = 0; i < files.size() && i < kNamesShown; ++i)
        names += (i == 0 ? "" : "\n") + files[i];
    if (files.size() > kNamesShown)
        names += "\n(+" + std::to_string(files.size() - kNamesShown) + ")";
    std::string text = LoadResString(kRecoveredOfferString);
    if (const size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, names);
    s_awaitingAnswer = files;
    const int answer = AppMessageBox(text.c_str(), nullptr, plat::MB_YESNO | plat::MB_ICONQUESTION);
    s_awaitingAnswer.clear();
    if (answer != plat::IDYES)
        return;
    if (AppHooks().openDocumentWindow == nullptr)
        return;
    for (const std::string& file : files) {
        if (const std::int16_t failure = CatchFail([&] {
                SetErrorDetail(file.c_str());
                AppHooks().openDocumentWindow(file.c_str(), FileTypeOfPath(file.c_str()));
                SetErrorDetail(nullptr);
            });
            failure != 0)
            ErrorAlert(failure);
    }
}
