// Enhanced metafiles: a recording DC that turns drawing calls into records, the metafile handles
// that hold the finished bytes, and a player that draws them on any DC through the ordinary
// drawing calls (so played pictures follow exactly the pixel rules of direct drawing).
//
// Every byte given to SetEnhMetaFileBits or played is checked: a record must be at least 8 bytes,
// a multiple of 4 and lie inside the data; counts must agree with the record's size and object
// indexes with the header's handle count. Bad records are skipped; nothing is read outside the
// data.
#pragma once

#include "plat/Types.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace plat {

// Record types that callers meet (comments, the header and the end).
constexpr DWORD EMR_HEADER = 1;
constexpr DWORD EMR_EOF = 14;
constexpr DWORD EMR_GDICOMMENT = 70;
constexpr DWORD ENHMETA_SIGNATURE = 0x464D4520; // " EMF"

#pragma pack(push, 4)
// The published 108-byte header record.
struct ENHMETAHEADER {
    DWORD iType = EMR_HEADER;
    DWORD nSize = 0;
    RECT rclBounds;       // device pixels, inclusive
    RECT rclFrame;        // 0.01 mm
    DWORD dSignature = 0; // ENHMETA_SIGNATURE
    DWORD nVersion = 0;
    DWORD nBytes = 0;
    DWORD nRecords = 0;
    WORD nHandles = 0;
    WORD sReserved = 0;
    DWORD nDescription = 0;   // UTF-16 units
    DWORD offDescription = 0; // from the start of the header
    DWORD nPalEntries = 0;
    SIZE szlDevice;      // reference device, pixels
    SIZE szlMillimeters; // reference device, millimetres
    DWORD cbPixelFormat = 0;
    DWORD offPixelFormat = 0;
    DWORD bOpenGL = 0;
    SIZE szlMicrometers; // reference device, micrometres
};
#pragma pack(pop)
static_assert(sizeof(ENHMETAHEADER) == 108, "published layout");

// One record as EnumEnhMetaFile hands it on: type, size in bytes, then the parameters.
struct ENHMETARECORD {
    DWORD iType;
    DWORD nSize;
    DWORD dParm[1];
};

// The objects a played metafile has made, indexed by the record's object number.
struct HANDLETABLE {
    HGDIOBJ objectHandle[1];
};

// Return 0 to stop the enumeration.
using ENHMFENUMPROC = int (*)(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record,
                              int objectCount, LPARAM data);

// A recording DC. reference: the device whose resolution the picture is measured in (null: the
// screen). fileName: written at CloseEnhMetaFile (null: in memory only). frame: the picture's
// rectangle in 0.01 mm (null: the bounds of what was drawn). description: stored in the header
// (UTF-16, may be null).
HDC CreateEnhMetaFile(HDC reference, const char* fileName, const RECT* frame,
                      const char* description);
// Ends the recording, deletes the DC and returns the metafile (null for a DC that does not
// record, or when the file could not be written).
HENHMETAFILE CloseEnhMetaFile(HDC hdc);
BOOL DeleteEnhMetaFile(HENHMETAFILE emf);
// A copy, also written to fileName when one is given (null when that fails).
HENHMETAFILE CopyEnhMetaFile(HENHMETAFILE emf, const char* fileName);
// The metafile's bytes: the size with a null buffer; otherwise the bytes copied (0 when the
// buffer is smaller than the metafile).
UINT GetEnhMetaFileBits(HENHMETAFILE emf, UINT size, BYTE* buffer);
// A metafile from bytes; null (with a diagnostic line) when the header is not a valid one.
HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data);
// A metafile read from a file; null when it cannot be read or is not valid.
HENHMETAFILE GetEnhMetaFile(const char* fileName);
// The header: its size with a null buffer; otherwise the bytes copied (at most `size`).
UINT GetEnhMetaFileHeader(HENHMETAFILE emf, UINT size, ENHMETAHEADER* header);
// Calls proc for every valid record in order (bad ones are skipped). With a DC the records are
// also played into rect as PlayEnhMetaFile does, each just before proc sees it; with a null DC
// they are only enumerated. FALSE when proc stopped it or for an unknown metafile.
BOOL EnumEnhMetaFile(HDC hdc, HENHMETAFILE emf, ENHMFENUMPROC proc, LPARAM data, const RECT* rect);
// Draws the picture so that its frame fills rect (logical units of hdc). The DC's own state is
// the same afterwards.
BOOL PlayEnhMetaFile(HDC hdc, HENHMETAFILE emf, const RECT* rect);
// The most bytes that playing the metafile into a recording DC (PlayEnhMetaFile, at any size)
// adds to the recording, known from its records without playing them: what each drawing record
// is written as (a string in wide characters with its advances, a line for each point of a
// polyline-to), the objects, the state each change makes the recording write again, and each
// clip as the whole region it leaves. 0 for an unknown metafile.
std::uint64_t EnhMetaFilePlayedBytesBound(HENHMETAFILE emf);
// Adds a comment record to a recording DC; FALSE for any other DC.
BOOL GdiComment(HDC hdc, UINT size, const BYTE* data);

// --- Windows metafiles -------------------------------------------------------------------------
// The older 16-bit format. Its recording DC records like an enhanced one and converts when it is
// closed; records the format cannot carry (paths, clip regions, transforms) are left out, and a
// comment becomes an escape record (and back).

// How the clipboard and files describe a Windows metafile: mapping mode, extents (0.01 mm in
// MM_ANISOTROPIC) and the metafile.
struct METAFILEPICT {
    LONG mm = 8; // MM_ANISOTROPIC
    LONG xExt = 0;
    LONG yExt = 0;
    HMETAFILE hMF = nullptr;
};

HDC CreateMetaFile(const char* fileName);
HMETAFILE CloseMetaFile(HDC hdc);
BOOL DeleteMetaFile(HMETAFILE wmf);
// The bytes: the size with a null buffer, else the bytes copied (0 when the buffer is short).
UINT GetMetaFileBitsEx(HMETAFILE wmf, UINT size, void* buffer);
// A metafile from bytes (a placeable header first is accepted); null when they are not one.
HMETAFILE SetMetaFileBitsEx(UINT size, const BYTE* data);
BOOL PlayMetaFile(HDC hdc, HMETAFILE wmf);
// The enhanced metafile converted; mapMode and reference are not used.
UINT GetWinMetaFileBits(HENHMETAFILE emf, UINT size, BYTE* buffer, int mapMode, HDC reference);
// The same conversion made once for long work, its bytes handed back (empty for an unknown
// metafile): `step` is called every thousand records or so, so that the caller can let the
// window system be answered, or stop the conversion by throwing.
std::vector<BYTE> WinMetaFileBitsStepping(HENHMETAFILE emf, const std::function<void()>& step);
// A Windows metafile played into a new enhanced one; null when the bytes are not a metafile.
HENHMETAFILE SetWinMetaFileBits(UINT size, const BYTE* data, HDC reference,
                                const METAFILEPICT* picture);

} // namespace plat
