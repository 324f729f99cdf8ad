#pragma once
// Basic types of the platform layer: integers, handles, geometry and callback signatures under
// their window-system names. All text is single-byte (Windows-1252) unless a call says otherwise.

#include <cstddef>
#include <cstdint>

namespace plat {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = int;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using CHAR = char;
using ATOM = WORD;
using COLORREF = DWORD;

// Pointer-sized values: the program stores pointers in message parameters, window longs, item data
// and dialog parameter slots.
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// Handles are 32-bit ids (table index and generation) carried in distinct opaque pointer types, so
// that a handle of one kind cannot be passed where another is expected. A stale or wrong-kind
// handle makes a call fail the usual way (0, FALSE or NULL).
#define PLAT_DECLARE_HANDLE(name)                                                                  \
    struct name##__;                                                                               \
    using name = name##__*

PLAT_DECLARE_HANDLE(HWND);
PLAT_DECLARE_HANDLE(HMENU);
PLAT_DECLARE_HANDLE(HDC);
PLAT_DECLARE_HANDLE(HGDIOBJ);
PLAT_DECLARE_HANDLE(HENHMETAFILE);
PLAT_DECLARE_HANDLE(HMETAFILE);
PLAT_DECLARE_HANDLE(HGLOBAL);
PLAT_DECLARE_HANDLE(HICON);
PLAT_DECLARE_HANDLE(HINSTANCE);
PLAT_DECLARE_HANDLE(HKEY);
PLAT_DECLARE_HANDLE(HRSRC);
#undef PLAT_DECLARE_HANDLE

// GDI objects share one handle space; the specific names are aliases so SelectObject and
// DeleteObject take any of them.
using HPEN = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HFONT = HGDIOBJ;
using HBITMAP = HGDIOBJ;
using HRGN = HGDIOBJ;
using HPALETTE = HGDIOBJ;
using HCURSOR = HICON;
using HMODULE = HINSTANCE;
using HLOCAL = HGLOBAL;

// Handle <-> id conversion, for the layer's own tables.
template <class H> constexpr H HandleFromId(std::uint32_t id) {
    return reinterpret_cast<H>(static_cast<std::uintptr_t>(id));
}
template <class H> constexpr std::uint32_t IdFromHandle(H h) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h));
}

struct POINT {
    LONG x = 0;
    LONG y = 0;
};

struct SIZE {
    LONG cx = 0;
    LONG cy = 0;
};

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

// 0x00bbggrr. The palette-relative flag 0x02000000 is accepted and ignored.
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) {
    return static_cast<BYTE>(c & 0xFF);
}
constexpr BYTE GetGValue(COLORREF c) {
    return static_cast<BYTE>((c >> 8) & 0xFF);
}
constexpr BYTE GetBValue(COLORREF c) {
    return static_cast<BYTE>((c >> 16) & 0xFF);
}

constexpr WORD LOWORD(std::uintptr_t v) {
    return static_cast<WORD>(v & 0xFFFF);
}
constexpr WORD HIWORD(std::uintptr_t v) {
    return static_cast<WORD>((v >> 16) & 0xFFFF);
}
constexpr LONG MAKELONG(WORD lo, WORD hi) {
    return static_cast<LONG>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16));
}
constexpr WPARAM MAKEWPARAM(WORD lo, WORD hi) {
    return static_cast<WPARAM>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16));
}
constexpr LPARAM MAKELPARAM(WORD lo, WORD hi) {
    return static_cast<LPARAM>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16));
}
// Mouse coordinates in lParam are signed 16-bit x (low word) and y (high word).
constexpr int GET_X_LPARAM(LPARAM lp) {
    return static_cast<SHORT>(LOWORD(lp));
}
constexpr int GET_Y_LPARAM(LPARAM lp) {
    return static_cast<SHORT>(HIWORD(lp));
}

struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;
    POINT pt;
};

// A resource named by a 16-bit number travels in a name pointer whose value is below 0x10000.
inline const char* MAKEINTRESOURCE(WORD id) {
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(id));
}
inline bool IS_INTRESOURCE(const char* name) {
    return reinterpret_cast<std::uintptr_t>(name) < 0x10000;
}

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

} // namespace plat
