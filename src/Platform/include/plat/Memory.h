#pragma once
// Global memory blocks and global atoms under their system names. A block is an owned byte buffer
// behind a checked handle: the pointer GlobalLock returns stays the same for the block's whole
// life, and every block starts zero-filled whatever the flags say. Both tables may be used from a
// helper thread (the single-instance listener adds atoms).

#include "plat/Types.h"

#include <cstddef>

namespace plat {

using SIZE_T = std::size_t;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// Null when bytes cannot be had.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Null for a stale or null handle. Locks nest.
void* GlobalLock(HGLOBAL mem);
// TRUE while the block stays locked after this unlock.
BOOL GlobalUnlock(HGLOBAL mem);
// 0 for a stale handle.
SIZE_T GlobalSize(HGLOBAL mem);
// Null on success, the handle itself when it was not a live block.
HGLOBAL GlobalFree(HGLOBAL mem);

// String atoms (0xC000 and above), reference counted, names compared ignoring case, at most
// kMaxAtomName characters (enough for any path the system can open). 0 on failure.
inline constexpr int kMaxAtomName = 4095;
ATOM GlobalAddAtom(const char* name);
// The same, but a name that differs in case from a live atom's is an atom of its own (file names
// on a system that tells "A.pvx" from "a.pvx").
ATOM GlobalAddAtomExact(const char* name);
// Length copied (at most size - 1, always terminated), 0 for an unknown atom.
UINT GlobalGetAtomName(ATOM atom, char* buf, int size);
// 0 on success (one reference dropped), the atom when it was unknown.
ATOM GlobalDeleteAtom(ATOM atom);

} // namespace plat
