#pragma once
// The settings store under the registry's names. Every root (current user, local machine, classes
// root) lives in one text file, registry.ini, in $XDG_CONFIG_HOME/korvaline (else
// ~/.config/korvaline; KV_REGISTRY_DIR overrides the folder). Sections are full key paths with the
// root ("[HKEY_CURRENT_USER\Software\Brindlewick]"); key and value names compare without regard to
// case. Strings are Windows-1252 in the program and UTF-8 on disk. Every change is written to a
// temporary file that is renamed over the store, so a crash never leaves half a file.
//
// The file is parsed once and parsed again only when it changed on disk. A line that cannot be read
// is skipped (a diagnostic naming the file and the line goes to standard error) and written back as
// it was. A file that cannot be read at all (not a regular file, too large, unreadable) is never
// rewritten: every call then fails with ERROR_REGISTRY_CORRUPT. A key path or value that would not
// read back as written (a line break in a key name, a character the file cannot carry) is refused
// with ERROR_INVALID_PARAMETER.

#include "plat/Types.h"

namespace plat {

using REGSAM = DWORD;

// Result codes (the system's error numbers).
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;

// Predefined roots.
inline const HKEY HKEY_CLASSES_ROOT = HandleFromId<HKEY>(0x80000000u);
inline const HKEY HKEY_CURRENT_USER = HandleFromId<HKEY>(0x80000001u);
inline const HKEY HKEY_LOCAL_MACHINE = HandleFromId<HKEY>(0x80000002u);

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// Access rights and options (accepted; the store has no access control).
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// subKey may be null or empty (the key itself). A key exists when it was created or when one of
// its sub-keys exists.
LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM sam, HKEY* result);
// Creates every missing key on the path. keyClass and security are ignored.
LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                    REGSAM sam, void* security, HKEY* result, DWORD* disposition);
// Null or "" names the default value. With data null only the size is reported. A buffer too
// small gives ERROR_MORE_DATA with the needed size in *cbData. REG_SZ data is terminated and its
// size includes the terminating zero.
LONG RegQueryValueEx(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                     DWORD* cbData);
// REG_SZ: the text up to its first zero (cbData bounds it); REG_DWORD: cbData must be 4.
LONG RegSetValueEx(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD cbData);
// Values in the order they were first written. *cchName is the name buffer's size in, the name's
// length (without the zero) out.
LONG RegEnumValue(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* reserved, DWORD* type,
                  BYTE* data, DWORD* cbData);
LONG RegDeleteValue(HKEY key, const char* name);
// Deletes a key that has no sub-keys (ERROR_ACCESS_DENIED otherwise), with its values.
LONG RegDeleteKey(HKEY key, const char* subKey);
LONG RegCloseKey(HKEY key);

} // namespace plat
