#pragma once
// Shell services under their system names: the user's folders, the silent folder copy used on
// the first run, and opening a file or page with the desktop's chosen program (xdg-open).

#include "plat/Types.h"

namespace plat {

using HRESULT = LONG;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);

// --- folders ------------------------------------------------------------------------------------

constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
constexpr int CSIDL_LOCAL_APPDATA = 0x001C;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;

// path must hold MAX_PATH bytes; it receives the folder in program form (Windows-1252), without
// a trailing separator. CSIDL_LOCAL_APPDATA is $XDG_DATA_HOME, else ~/.local/share;
// CSIDL_DESKTOPDIRECTORY is the desktop named in the user's user-dirs.dirs, else ~/Desktop when it
// exists, else $HOME. E_FAIL when the folder cannot be found or written in Windows-1252.
HRESULT SHGetFolderPath(HWND owner, int csidl, void* token, DWORD flags, char* path);

// --- file operations ----------------------------------------------------------------------------

constexpr UINT FO_COPY = 0x0002;
constexpr WORD FOF_SILENT = 0x0004;
constexpr WORD FOF_NOCONFIRMATION = 0x0010;
constexpr WORD FOF_NOCONFIRMMKDIR = 0x0200;
constexpr WORD FOF_NOERRORUI = 0x0400;

struct SHFILEOPSTRUCT {
    HWND hwnd = nullptr;
    UINT wFunc = 0;
    const char* pFrom = nullptr; // names, each zero-terminated, the list ended by an empty name
    const char* pTo = nullptr;   // one name
    WORD fFlags = 0;
    BOOL fAnyOperationsAborted = FALSE;
};

// FO_COPY only, always silent: each source (file or folder, folders recursively) is copied into
// pTo when pTo is an existing folder; a single source is copied as pTo when pTo does not exist.
// Missing parent folders of pTo are created. Existing files are replaced. Returns 0 on success,
// else an errno value (and fAnyOperationsAborted set).
int SHFileOperation(SHFILEOPSTRUCT* op);

// --- opening with the desktop -------------------------------------------------------------------

constexpr ULONG SEE_MASK_FLAG_DDEWAIT = 0x00000100;
constexpr ULONG SEE_MASK_NOASYNC = 0x00000100;

struct SHELLEXECUTEINFO {
    DWORD cbSize = sizeof(SHELLEXECUTEINFO);
    ULONG fMask = 0;
    HWND hwnd = nullptr;
    const char* lpVerb = nullptr; // "open" or null
    const char* lpFile = nullptr; // a path (program form) or a URL
    const char* lpParameters = nullptr;
    const char* lpDirectory = nullptr;
    int nShow = 0;
    HINSTANCE hInstApp = nullptr;
};

// Starts xdg-open on the file, detached (it is not waited for). With the headless back end (or
// while recording is switched on, plat/TestingSys.h), the request is recorded instead of run. Only
// the verb "open" (or none) is served. hInstApp receives a value above 32 on success, as the caller
// expects.
BOOL ShellExecuteEx(SHELLEXECUTEINFO* info);

} // namespace plat
