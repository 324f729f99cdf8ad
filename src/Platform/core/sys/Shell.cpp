// Shell services: the user's folders, the silent recursive copy, and xdg-open.

#include "plat/Shell.h"

#include "backend/Backend.h"
#include "plat/Files.h"
#include "plat/TestingSys.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace plat {

namespace {

std::mutex g_mutex;
std::optional<bool> g_recording; // unset: record exactly when the back end is headless
std::vector<std::string> g_opens;

std::string Home() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != 0 ? std::string(home) : std::string();
}

// The desktop entry of the user's user-dirs.dirs: XDG_DESKTOP_DIR="$HOME/Desktop".
std::string DesktopFromUserDirs(const std::string& home) {
    std::string config;
    if (const char* cfg = std::getenv("XDG_CONFIG_HOME"); cfg != nullptr && *cfg != 0) {
        config = cfg;
    } else if (!home.empty()) {
        config = home + "/.config";
    } else {
        return {};
    }
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string tag = "XDG_DESKTOP_DIR=";
        if (line.rfind(tag, 0) != 0) {
            continue;
        }
        std::string value = line.substr(tag.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0) {
            value = home + value.substr(5);
        }
        return value.empty() || value[0] != '/' ? std::string() : value;
    }
    return {};
}

int CopyTree(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (fs::is_directory(from, ec)) {
        fs::create_directories(to, ec);
        if (ec) {
            return ec.value();
        }
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    } else {
        if (to.has_parent_path()) {
            fs::create_directories(to.parent_path(), ec);
        }
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    }
    return ec ? ec.value() : 0;
}

} // namespace

HRESULT SHGetFolderPath(HWND, int csidl, void*, DWORD, char* path) {
    if (path == nullptr) {
        return E_FAIL;
    }
    path[0] = 0;
    const std::string home = Home();
    std::string folder;
    std::error_code ec;
    if (csidl == CSIDL_LOCAL_APPDATA) {
        if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
            folder = data;
        } else if (!home.empty()) {
            folder = home + "/.local/share";
        }
    } else if (csidl == CSIDL_DESKTOPDIRECTORY) {
        folder = DesktopFromUserDirs(home);
        if (folder.empty() || !fs::is_directory(folder, ec)) {
            folder = home.empty() ? std::string() : home + "/Desktop";
            if (!fs::is_directory(folder, ec)) {
                folder = home;
            }
        }
    }
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    std::string text;
    if (folder.empty() || !Cp1252FromUtf8(folder, text) || text.size() >= MAX_PATH) {
        return E_FAIL;
    }
    std::memcpy(path, text.c_str(), text.size() + 1);
    return S_OK;
}

int SHFileOperation(SHFILEOPSTRUCT* op) {
    if (op == nullptr || op->wFunc != FO_COPY || op->pFrom == nullptr || op->pTo == nullptr) {
        return EINVAL;
    }
    op->fAnyOperationsAborted = FALSE;
    std::vector<fs::path> sources;
    for (const char* p = op->pFrom; *p != 0; p += std::strlen(p) + 1) {
        std::string native = NativePath(p);
        while (native.size() > 1 && native.back() == '/') {
            native.pop_back();
        }
        sources.emplace_back(native);
    }
    std::string target = NativePath(op->pTo);
    while (target.size() > 1 && target.back() == '/') {
        target.pop_back();
    }
    std::error_code ec;
    const bool intoFolder = fs::is_directory(target, ec);
    if (sources.empty() || (!intoFolder && sources.size() > 1)) {
        op->fAnyOperationsAborted = TRUE;
        return EINVAL;
    }
    for (const fs::path& src : sources) {
        if (!fs::exists(src, ec)) {
            op->fAnyOperationsAborted = TRUE;
            return ENOENT;
        }
        const fs::path dest = intoFolder ? fs::path(target) / src.filename() : fs::path(target);
        if (const int rc = CopyTree(src, dest); rc != 0) {
            op->fAnyOperationsAborted = TRUE;
            return rc;
        }
    }
    return 0;
}

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    if (info == nullptr || info->lpFile == nullptr || *info->lpFile == 0) {
        errno = EINVAL;
        return FALSE;
    }
    if (info->lpVerb != nullptr && std::strcmp(info->lpVerb, "open") != 0) {
        errno = ENOTSUP;
        info->hInstApp = HandleFromId<HINSTANCE>(31); // "no association", as the system says
        return FALSE;
    }
    const std::string_view file(info->lpFile);
    // A URL passes as it is; a path becomes a file-system path.
    const bool isUrl = file.find("://") != std::string_view::npos || file.rfind("mailto:", 0) == 0;
    const std::string target = isUrl ? Utf8FromCp1252(file) : NativePath(file);
    {
        std::lock_guard lock(g_mutex);
        if (g_recording.value_or(backend().headless())) {
            g_opens.push_back("open " + target);
            info->hInstApp = HandleFromId<HINSTANCE>(42);
            return TRUE;
        }
    }
    // Started twice over (a child that starts xdg-open and exits at once), so xdg-open is
    // inherited by init and never left as a zombie of ours.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    std::vector<std::string> args = {"/bin/sh", "-c", "xdg-open \"$0\" >/dev/null 2>&1 &", target};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, "/bin/sh", nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        errno = rc;
        info->hInstApp = HandleFromId<HINSTANCE>(2);
        return FALSE;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    info->hInstApp = HandleFromId<HINSTANCE>(42);
    return TRUE;
}

namespace testing {

void recordShellOpens(bool on) {
    std::lock_guard lock(g_mutex);
    g_recording = on;
}

std::vector<std::string> recordedShellOpens() {
    std::lock_guard lock(g_mutex);
    return g_opens;
}

void clearRecordedShellOpens() {
    std::lock_guard lock(g_mutex);
    g_opens.clear();
}

} // namespace testing

} // namespace plat
