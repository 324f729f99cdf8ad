#pragma once
// Device contexts and drawing: DCs, pens, brushes, bitmaps, DIB sections, regions, palettes,
// shapes, raster operations and blits. Constants carry the window system's documented values.
// Text and font calls live in plat/Font.h; window DCs (GetDC, BeginPaint, PAINTSTRUCT) and the
// system colours in plat/Window.h.

#include "plat/Font.h"
#include "plat/Types.h"

namespace plat {

// --- Errors ---------------------------------------------------------------------------------
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
// Palette-relative and palette-index colour flags. The palette-relative flag is ignored; an index
// colour names an entry of the fixed system palette.
constexpr COLORREF PALETTERGB_FLAG = 0x02000000;
constexpr COLORREF PALETTEINDEX_FLAG = 0x01000000;
constexpr COLORREF PALETTERGB(BYTE r, BYTE g, BYTE b) {
    return PALETTERGB_FLAG | RGB(r, g, b);
}
constexpr COLORREF PALETTEINDEX(WORD i) {
    return PALETTEINDEX_FLAG | i;
}

// --- Stock objects --------------------------------------------------------------------------
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int OEM_FIXED_FONT = 10;
constexpr int ANSI_FIXED_FONT = 11;
constexpr int ANSI_VAR_FONT = 12;
constexpr int SYSTEM_FONT = 13;
constexpr int DEVICE_DEFAULT_FONT = 14;
constexpr int DEFAULT_PALETTE = 15;
constexpr int SYSTEM_FIXED_FONT = 16;
constexpr int DEFAULT_GUI_FONT = 17;

// --- Object types (GetObjectType) -----------------------------------------------------------
constexpr DWORD OBJ_PEN = 1;
constexpr DWORD OBJ_BRUSH = 2;
constexpr DWORD OBJ_DC = 3;
constexpr DWORD OBJ_PAL = 5;
constexpr DWORD OBJ_FONT = 6;
constexpr DWORD OBJ_BITMAP = 7;
constexpr DWORD OBJ_REGION = 8;
constexpr DWORD OBJ_MEMDC = 10;

// --- Pens and brushes -----------------------------------------------------------------------
constexpr int PS_SOLID = 0;
constexpr int PS_DASH = 1;
constexpr int PS_DOT = 2;
constexpr int PS_DASHDOT = 3;
constexpr int PS_DASHDOTDOT = 4;
constexpr int PS_NULL = 5;
constexpr int PS_INSIDEFRAME = 6;
constexpr int PS_STYLE_MASK = 0x0F;

constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_HOLLOW = BS_NULL;
constexpr UINT BS_PATTERN = 3;

struct LOGPEN {
    UINT lopnStyle = PS_SOLID;
    POINT lopnWidth; // x is the width, y unused
    COLORREF lopnColor = 0;
};

struct LOGBRUSH {
    UINT lbStyle = BS_SOLID;
    COLORREF lbColor = 0;
    UINT_PTR lbHatch = 0; // for BS_PATTERN the HBITMAP
};

// --- Bitmaps and DIBs -----------------------------------------------------------------------
struct BITMAP {
    LONG bmType = 0;
    LONG bmWidth = 0;
    LONG bmHeight = 0;
    LONG bmWidthBytes = 0;
    WORD bmPlanes = 1;
    WORD bmBitsPixel = 0;
    void* bmBits = nullptr;
};

constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_BITFIELDS = 3;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;

// The published 40-byte header, field for field.
#pragma pack(push, 1)
struct BITMAPINFOHEADER {
    DWORD biSize = 40;
    LONG biWidth = 0;
    LONG biHeight = 0; // negative: rows run top-down
    WORD biPlanes = 1;
    WORD biBitCount = 0;
    DWORD biCompression = BI_RGB;
    DWORD biSizeImage = 0;
    LONG biXPelsPerMeter = 0;
    LONG biYPelsPerMeter = 0;
    DWORD biClrUsed = 0;
    DWORD biClrImportant = 0;
};

struct RGBQUAD {
    BYTE rgbBlue = 0;
    BYTE rgbGreen = 0;
    BYTE rgbRed = 0;
    BYTE rgbReserved = 0;
};

// The header followed by the colour table (or the three BI_BITFIELDS masks). Callers allocate
// room for as many entries as they use; one is declared, as in the published layout.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40, "published layout");

// --- Palettes -------------------------------------------------------------------------------
constexpr BYTE PC_RESERVED = 0x01;
constexpr BYTE PC_EXPLICIT = 0x02;
constexpr BYTE PC_NOCOLLAPSE = 0x04;

struct PALETTEENTRY {
    BYTE peRed = 0;
    BYTE peGreen = 0;
    BYTE peBlue = 0;
    BYTE peFlags = 0;
};

// palNumEntries entries follow in memory; one is declared, as in the published layout.
struct LOGPALETTE {
    WORD palVersion = 0x300;
    WORD palNumEntries = 0;
    PALETTEENTRY palPalEntry[1];
};

// --- DC attributes --------------------------------------------------------------------------
constexpr int R2_BLACK = 1;
constexpr int R2_NOTMERGEPEN = 2;
constexpr int R2_MASKNOTPEN = 3;
constexpr int R2_NOTCOPYPEN = 4;
constexpr int R2_MASKPENNOT = 5;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_NOTMASKPEN = 8;
constexpr int R2_MASKPEN = 9;
constexpr int R2_NOTXORPEN = 10;
constexpr int R2_NOP = 11;
constexpr int R2_MERGENOTPEN = 12;
constexpr int R2_COPYPEN = 13;
constexpr int R2_MERGEPENNOT = 14;
constexpr int R2_MERGEPEN = 15;
constexpr int R2_WHITE = 16;

constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;

constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;

// The text-alignment flags (TA_*) and GDI_ERROR are declared with the text calls in plat/Font.h.
constexpr UINT GDI_TA_ERROR = 0xFFFFFFFF;

constexpr int MM_TEXT = 1;
constexpr int MM_ISOTROPIC = 7;
constexpr int MM_ANISOTROPIC = 8;

// --- Raster operations (ternary codes with their documented low words) ------------------------
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGECOPY = 0x00C000CA;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATPAINT = 0x00FB0A09;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

// --- Regions --------------------------------------------------------------------------------
constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;

constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;
constexpr int RGN_ERROR = ERROR;

// --- Device capabilities --------------------------------------------------------------------
constexpr int DRIVERVERSION = 0;
constexpr int TECHNOLOGY = 2;
constexpr int HORZSIZE = 4;
constexpr int VERTSIZE = 6;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMBRUSHES = 16;
constexpr int NUMPENS = 18;
constexpr int NUMFONTS = 22;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int ASPECTX = 40;
constexpr int ASPECTY = 42;
constexpr int ASPECTXY = 44;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int SIZEPALETTE = 104;
constexpr int NUMRESERVED = 106;
constexpr int COLORRES = 108;
constexpr int PHYSICALWIDTH = 110;
constexpr int PHYSICALHEIGHT = 111;
constexpr int PHYSICALOFFSETX = 112;
constexpr int PHYSICALOFFSETY = 113;

constexpr int DT_RASDISPLAY = 1;
constexpr int DT_RASPRINTER = 2;
constexpr int DT_METAFILE = 5;

constexpr int RC_BITBLT = 0x0001;
constexpr int RC_BANDING = 0x0002;
constexpr int RC_SCALING = 0x0004;
constexpr int RC_BITMAP64 = 0x0008;
constexpr int RC_DI_BITMAP = 0x0080;
constexpr int RC_PALETTE = 0x0100;
constexpr int RC_DIBTODEV = 0x0200;
constexpr int RC_STRETCHBLT = 0x0800;
constexpr int RC_STRETCHDIB = 0x2000;

// --- DCs ------------------------------------------------------------------------------------
// CreateDC accepts the driver "DISPLAY" (a DC with the virtual screen's capabilities whose
// drawing is invisible). Printer DCs are made by the print module.
HDC CreateDC(const char* driver, const char* device, const char* output, const void* devMode);
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
int SaveDC(HDC hdc);
BOOL RestoreDC(HDC hdc, int savedDc);
BOOL GdiFlush();
int GetDeviceCaps(HDC hdc, int index);
DWORD GetObjectType(HGDIOBJ h);
HGDIOBJ GetCurrentObject(HDC hdc, UINT type);

// --- Attributes -----------------------------------------------------------------------------
int SetROP2(HDC hdc, int rop2);
int GetROP2(HDC hdc);
COLORREF SetTextColor(HDC hdc, COLORREF c);
COLORREF GetTextColor(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF c);
COLORREF GetBkColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
UINT SetTextAlign(HDC hdc, UINT align);
UINT GetTextAlign(HDC hdc);
BOOL SetBrushOrgEx(HDC hdc, int x, int y, POINT* previous);
BOOL GetBrushOrgEx(HDC hdc, POINT* org);
int SetStretchBltMode(HDC hdc, int mode);
int GetStretchBltMode(HDC hdc);
int SetPolyFillMode(HDC hdc, int mode);
int GetPolyFillMode(HDC hdc);
COLORREF GetNearestColor(HDC hdc, COLORREF c);

// --- Mapping --------------------------------------------------------------------------------
int SetMapMode(HDC hdc, int mode);
int GetMapMode(HDC hdc);
BOOL SetWindowExtEx(HDC hdc, int x, int y, SIZE* previous);
BOOL SetViewportExtEx(HDC hdc, int x, int y, SIZE* previous);
BOOL SetWindowOrgEx(HDC hdc, int x, int y, POINT* previous);
BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* previous);
BOOL GetWindowExtEx(HDC hdc, SIZE* ext);
BOOL GetViewportExtEx(HDC hdc, SIZE* ext);
BOOL GetWindowOrgEx(HDC hdc, POINT* org);
BOOL GetViewportOrgEx(HDC hdc, POINT* org);
BOOL LPtoDP(HDC hdc, POINT* points, int count);
BOOL DPtoLP(HDC hdc, POINT* points, int count);

// --- Objects --------------------------------------------------------------------------------
HGDIOBJ GetStockObject(int id);
HPEN CreatePen(int style, int width, COLORREF color);
HPEN CreatePenIndirect(const LOGPEN* pen);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreatePatternBrush(HBITMAP bitmap);
HBRUSH CreateBrushIndirect(const LOGBRUSH* brush);
// The brush of a system colour (GetSysColor's index): a stock object, never deleted.
HBRUSH GetSysColorBrush(int index);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
BOOL DeleteObject(HGDIOBJ obj);
// Fills at most `size` bytes of `buffer`; with a null buffer returns the size needed.
int GetObject(HGDIOBJ obj, int size, void* buffer);

// --- Bitmaps --------------------------------------------------------------------------------
// The largest bitmap the platform makes (and reads): at most this many pixels each way and in
// all. A larger one is refused: CreateBitmap and CreateDIBSection answer null.
constexpr int kLargestBitmapSide = 32767;
constexpr long long kLargestBitmapPixels = 64LL * 1024 * 1024;
constexpr bool BitmapSizeFits(long long width, long long height) {
    return width > 0 && height > 0 && width <= kLargestBitmapSide && height <= kLargestBitmapSide &&
           width * height <= kLargestBitmapPixels;
}
// Planes must be 1; bitsPerPixel 1 or 32 (24 is accepted and stored as 32). `bits`, when given,
// holds rows aligned to 2 bytes, top row first.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
// bitCount 1, 24 or 32; BI_RGB or BI_BITFIELDS. `*bits` receives the section's own bytes: a
// top-down 32-bpp BI_RGB section shares them with the drawing surface; other layouts are copied
// from the drawing surface at GdiFlush.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, void* section,
                         DWORD offset);

// A bitmap resource (a packed DIB of type RT_BITMAP); 1-bpp resources give monochrome bitmaps.
// Null when the module has no such resource or its data is corrupt.
HBITMAP LoadBitmap(HINSTANCE module, const char* name);

// --- Icons ----------------------------------------------------------------------------------
// An icon resource (type RT_ICON_ID) is a 40-byte device-independent bitmap header, 32 bits per
// pixel, followed by its rows (bottom-up for a positive height, top-down for a negative one) of
// B, G, R, A bytes with straight alpha. A pixel whose alpha is at least 128 is drawn; the others
// leave the destination alone.
constexpr UINT RT_ICON_ID = 3;
constexpr int kIconSize = 32;
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_DEFAULTSIZE = 0x0040;

struct ICONINFO {
    BOOL fIcon = TRUE;
    DWORD xHotspot = 0;
    DWORD yHotspot = 0;
    HBITMAP hbmMask = nullptr;  // white where the icon is transparent, black where it draws
    HBITMAP hbmColor = nullptr; // the colours where it draws, black elsewhere
};

// The icon resource of that id or name. Null when the module has none, for a null module (the
// system's own icons are not provided), or when the resource is corrupt (a diagnostic says why).
HICON LoadIcon(HINSTANCE module, const char* name);
// IMAGE_ICON: LoadIcon, scaled to width × height when they are given and differ from the
// resource's size (0 or LR_DEFAULTSIZE keeps it). IMAGE_BITMAP: LoadBitmap. Other types: null.
void* LoadImage(HINSTANCE module, const char* name, UINT type, int width, int height, UINT flags);
BOOL DestroyIcon(HICON icon);
// New mask and colour bitmaps of the icon, which the caller deletes.
BOOL GetIconInfo(HICON icon, ICONINFO* info);
// The icon's size in pixels; FALSE for an unknown handle.
BOOL GetIconSize(HICON icon, SIZE* size);
// Draws the icon with its top-left at (x, y), in logical units of the DC, through its clip.
BOOL DrawIcon(HDC hdc, int x, int y, HICON icon);

// --- Regions and clip -----------------------------------------------------------------------
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* r);
int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode);
int OffsetRgn(HRGN rgn, int dx, int dy);
BOOL RectInRegion(HRGN rgn, const RECT* r);
BOOL PtInRegion(HRGN rgn, int x, int y);
int GetRgnBox(HRGN rgn, RECT* box);
BOOL EqualRgn(HRGN a, HRGN b);
int SelectClipRgn(HDC hdc, HRGN rgn);
int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
int GetClipBox(HDC hdc, RECT* box);
BOOL PaintRgn(HDC hdc, HRGN rgn);
BOOL FillRgn(HDC hdc, HRGN rgn, HBRUSH brush);
BOOL InvertRgn(HDC hdc, HRGN rgn);
BOOL FrameRgn(HDC hdc, HRGN rgn, HBRUSH brush, int width, int height);

// --- Shapes ---------------------------------------------------------------------------------
BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous);
BOOL GetCurrentPositionEx(HDC hdc, POINT* pt);
BOOL LineTo(HDC hdc, int x, int y);
BOOL Polyline(HDC hdc, const POINT* points, int count);
BOOL Polygon(HDC hdc, const POINT* points, int count);
BOOL PolyBezier(HDC hdc, const POINT* points, DWORD count);
BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom);
BOOL Arc(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
         int yEnd);
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);
COLORREF GetPixel(HDC hdc, int x, int y);
int FillRect(HDC hdc, const RECT* r, HBRUSH brush);
int FrameRect(HDC hdc, const RECT* r, HBRUSH brush);
BOOL InvertRect(HDC hdc, const RECT* r);
BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop);
BOOL BeginPath(HDC hdc);
BOOL EndPath(HDC hdc);
BOOL AbortPath(HDC hdc);
BOOL StrokePath(HDC hdc);
BOOL FillPath(HDC hdc);
BOOL StrokeAndFillPath(HDC hdc);

// --- Blits ----------------------------------------------------------------------------------
BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop);
BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int xSrc, int ySrc,
                int widthSrc, int heightSrc, DWORD rop);
// Source coordinates count from the image's first row in memory order reversed for bottom-up
// DIBs, i.e. ySrc is measured from the bottom row of a bottom-up DIB. Returns the rows drawn.
int StretchDIBits(HDC hdc, int xDst, int yDst, int widthDst, int heightDst, int xSrc, int ySrc,
                  int widthSrc, int heightSrc, const void* bits, const BITMAPINFO* info, UINT usage,
                  DWORD rop);
int SetDIBitsToDevice(HDC hdc, int xDst, int yDst, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT lines, const void* bits, const BITMAPINFO* info,
                      UINT usage);

// --- Palettes (the screen is true colour: these keep their data and change nothing) ----------
HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE SelectPalette(HDC hdc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC hdc);
UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries);
// The fixed 256-entry table: 20 static colours, a 6 x 6 x 6 cube and greys.
UINT GetSystemPaletteEntries(HDC hdc, UINT start, UINT count, PALETTEENTRY* entries);

} // namespace plat
