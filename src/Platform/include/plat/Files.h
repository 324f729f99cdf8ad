#pragma once
// Files and folders under their system names. Paths are text of the active code page in the
// program (Windows-1252 unless a double-byte page is chosen), with either "\\" or "/" between
// names; NativePath turns them into the UTF-8, "/"-separated paths of the file system, and every
// call here does so itself. Names that cannot be written in the active code page are left out of
// the folder enumeration; NamesOutsideCodePage lists them.
//
// The last error (GetLastError) is the C library's errno: calls that fail leave it set.

#include "plat/Types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

using HANDLE = void*;

constexpr DWORD MAX_PATH = 260;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;

// --- text and path conversion -------------------------------------------------------------------

// Windows-1252 to UTF-8. The five bytes the code page leaves undefined map to the C1 controls of
// the same value, so every byte survives a round trip.
std::string Utf8FromCp1252(std::string_view text);
// UTF-8 to Windows-1252; false (and out unchanged) when the text is not valid UTF-8 or holds a
// character outside the code page.
bool Cp1252FromUtf8(std::string_view utf8, std::string& out);
// Lower-case of one Windows-1252 byte (ASCII and the accented letters, including the pairs
// outside the Latin-1 range such as 0x8A/0x9A).
unsigned char FoldCaseCp1252(unsigned char c);
// Equal ignoring case, byte by byte through FoldCaseCp1252.
bool SameTextNoCaseCp1252(std::string_view a, std::string_view b);

// A program path (active code page, "\\" or "/") as a file-system path (UTF-8, "/"). A separator
// is only ever a whole character: the trail byte 0x5C of a double-byte character stays part of it.
// A byte sequence the page does not define becomes U+FFFD, which names no file the program made.
std::string NativePath(std::string_view path);
// A file-system name or path (UTF-8) as program text in the active code page; false (and out
// unchanged) when it is not valid UTF-8 or holds a character the page cannot write.
bool ProgramPathFromNative(std::string_view utf8, std::string& out);
// Program text in the active code page as UTF-8, for messages on the terminal.
std::string Utf8FromProgramPath(std::string_view path);
// A file-system name (UTF-8) as a message box shows it: Windows-1252, '?' for each character the
// page lacks. Only for showing: it may name no file, or another one.
std::string ShownNameFromNative(std::string_view utf8);
// Index just past the last separator of a program path, stepping over double-byte characters
// whole (0 when there is none).
std::size_t PathNameStart(std::string_view path);
// The name in dir (program form) whose name equals `name` ignoring case; the exact name is tried
// first. Returns dir + separator + the name as it is on disk (program form), or "" when none.
std::string FindFileNoCase(std::string_view dir, std::string_view name);

// --- enumeration --------------------------------------------------------------------------------

struct WIN32_FIND_DATA {
    DWORD dwFileAttributes = 0;
    DWORD nFileSizeHigh = 0;
    DWORD nFileSizeLow = 0;
    char cFileName[MAX_PATH] = {};
};

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~static_cast<UINT_PTR>(0));

// pattern: a folder path and a last name that may hold "*" and "?" (matched ignoring case).
// Entries come in ascending order ignoring case; "." and ".." are not listed. Returns
// INVALID_HANDLE_VALUE when nothing matches.
HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data);
BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA* data);
BOOL FindClose(HANDLE find);
// Not a window-system call: the names matching `pattern` (as for FindFirstFile) that the active
// code page cannot write, as UTF-8, sorted. They cannot be opened under a program name; a file
// dialog shows them so that a user learns why such a file cannot be chosen instead of missing it.
std::vector<std::string> NamesOutsideCodePage(const char* pattern);
// The sub-folders of `folder` (not beginning with ".") that the active code page cannot name, as
// UTF-8, sorted.
std::vector<std::string> FolderNamesOutsideCodePage(const char* folder);

// --- files and folders --------------------------------------------------------------------------

DWORD GetFileAttributes(const char* path);
BOOL DeleteFile(const char* path);
// Without MOVEFILE_REPLACE_EXISTING an existing target makes the call fail; with it the target is
// replaced in one step (rename).
BOOL MoveFileEx(const char* from, const char* to, DWORD flags);
// The parent must exist; an existing folder makes the call fail. security is ignored.
BOOL CreateDirectory(const char* path, void* security);
// These four fill buf with program-form text and always terminate it. They return the length
// copied (without the zero), or 0 on failure; a path is never cut short: a buffer that is too
// small gives 0 and an empty text (GetCurrentDirectory answers the size needed, zero included).
DWORD GetCurrentDirectory(DWORD size, char* buf);
// The running program's path (/proc/self/exe). module is ignored.
DWORD GetModuleFileName(HMODULE module, char* buf, DWORD size);
// $TMPDIR, else /tmp, always ending with "/".
DWORD GetTempPath(DWORD size, char* buf);
// The program's shared-data folder: <program folder>/../share/korvaline when it exists, else the
// program's folder. No trailing separator.
UINT GetWindowsDirectory(char* buf, UINT size);

// Reads `key` of `section` from an INI file (names compare ignoring case; ";" starts a comment
// line; blanks around names and values are trimmed). Missing file, section or key give `def`.
// Returns the length copied, at most size - 1; buf is always terminated.
DWORD GetPrivateProfileString(const char* section, const char* key, const char* def, char* buf,
                              DWORD size, const char* iniFile);

// --- reading outside files -----------------------------------------------------------------------

// Opens an existing file for reading (a file-system path, UTF-8) without ever waiting on it: only a
// regular file of at most maxBytes is opened. Returns the descriptor (blocking, close-on-exec), or
// -1 with errno set: the system's error (ENOENT, EACCES, ...), ENODEV for anything but a regular
// file (a folder, a FIFO, a device, a socket), EFBIG for a file larger than maxBytes.
int OpenRegularFileForReading(const std::string& nativePath, std::uint64_t maxBytes);

// --- writing small files whole ------------------------------------------------------------------

// Makes a new file beside `nativeFile` to write it through: `nativeFile` + ".tmp" + the process id
// (and a serial number when that is taken), created exclusively and never through a link, so a
// name planted there (a link or any file) is passed over and left as it is. Returns the
// descriptor open for writing with `temp` set, or -1 with errno set.
int CreateFileBeside(const std::string& nativeFile, std::string& temp, unsigned mode = 0666);
// Writes `bytes` as the file `nativeFile`, whole or not at all: through a file made by
// CreateFileBeside, flushed to the disk, then renamed over the old one. 0, or the errno of the
// failure (the old file then stays as it was, and nothing is left beside it).
int ReplaceFileWhole(const std::string& nativeFile, std::string_view bytes, unsigned mode = 0666);

// --- errors -------------------------------------------------------------------------------------

DWORD GetLastError();
void SetLastError(DWORD code);

constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
// With FORMAT_MESSAGE_FROM_SYSTEM: the system's text for the error number `id` (strerror), in
// Windows-1252. source, language and args are ignored. Returns the length, 0 on failure.
DWORD FormatMessage(DWORD flags, const void* source, DWORD id, DWORD language, char* buf,
                    DWORD size, void* args);

} // namespace plat
