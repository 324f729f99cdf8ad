// Off-screen bitmap ports and the picture port.
//
// oPixMap draws into a bitmap of its own (palette images, the magnified pixel editor, saved
// screen areas, image exports). Every drawing operation acquires the pixmap's memory DC itself;
// setPort and unsetPort do nothing. Live pixmaps are kept in a program-wide registry.
//
// oPictPort records everything drawn into it as an enhanced metafile, which closePicture hands to
// the caller. Its first record is a 12-byte comment ("DEVQ", dots per inch, descent) that readers
// of pictures use to place the baseline.
#pragma once

#include "OverSrcs/Winufo.h"
#include "OverSrcs/oGraph.h"
#include "OverSrcs/oWindows.h"
#include "plat/Gdi.h"
#include "plat/Types.h"

#include <cstdint>
#include <string>

// ---------------------------------------------------------------------------------------------
// oPixMap

// The bitmap record of a pixmap: the bitmap and, for DIB sections, its pixel bits.
struct PixMapBitmap {
    plat::HBITMAP bitmap = nullptr;
    void* bits = nullptr;
};

class oPixMap : public oNativePort {
public:
    // Use NewPixMap.
    oPixMap();
    // Releases the pixmap's DC wrappers, deletes the bitmap and leaves the registry.
    ~oPixMap() override;

    // A pixmap owns its bitmap: it is never cloned (logs, returns null).
    oPixMap* clone() const override;
    void setPort() override;
    void unsetPort() override;
    // The block lies inside the bounds.
    bool fitsInside(int32_t x, int32_t y, int32_t width, int32_t height) override;

    // Operations after the port operations, in order.
    // The pixmap as printable text, PixMapTextLength characters (see the .cpp).
    virtual void writeText(std::string& text);
    // Sets the pixmap from such text; false (the pixmap unchanged) when the text has the wrong
    // length or a character outside ' '..'_'.
    virtual bool readText(const std::string& text);
    // The DIB's pixel bits (null for other bitmaps) and its row step; either may be null.
    virtual void lockBits(uint8_t** bits, int32_t* rowStep);
    // When changed and `bits` are not the DIB's own, copies a whole image's bytes into the DIB.
    virtual void unlockBits(const uint8_t* bits, bool changed);
    virtual bool hasNoBitmap() const;
    // Replaces the bitmap by a device-dependent one of the same size (no pixel bits); the old
    // bitmap is deleted. False, the old bitmap kept, when none can be made.
    virtual bool makeScreenBitmap();
    // Reserved; does nothing.
    virtual void reserved();

    PixelFormat format() const { return m_format; }
    plat::HBITMAP bitmap() const { return m_bitmap.bitmap; }
    // The bits of a 32-bit DIB (after lockBits they are current).
    void* bits() const { return m_bitmap.bits; }

private:
    friend oPixMap* NewPixMap(const Zone& zone, int32_t resolution, PixelFormat format);

    PixMapBitmap m_bitmap;
    PixelFormat m_format = kPixelMonochrome;
};

// A pixmap of the zone's size: bounds and clip the zone, origin (-left, -top), black on white.
// Raises errAllocTooLarge when the bitmap cannot be made. Format 0 is monochrome, 0x8000 a
// screen-compatible pixmap (a 32-bit DIB of layout 912, reported as 912); any other code is
// normalised to 32 bits unless it is a 24-bit code.
oPixMap* NewPixMap(const Zone& zone, int32_t resolution, PixelFormat format);
// NewPixMap at the screen resolution, screen compatible; null instead of failing.
oPixMap* TryNewScreenPixMap(const Zone& zone);
// The format NewPixMap makes for a requested code.
PixelFormat NormalisePixMapFormat(PixelFormat format);

// The registry of live pixmaps.
bool IsLivePixMap(const oPixMap* pixmap);
int32_t LivePixMapCount();
// Program end: the registry is emptied and pixmaps destroyed afterwards no longer touch it.
void ShutdownPixMaps();

// Characters of the text form of a pixmap of that size.
int32_t PixMapTextLength(int32_t width, int32_t height);
// The pixmap as hexadecimal rows, top row first, no separators: "%02x%02x%02x" (red, green,
// blue) per pixel, or "%02x" per 8 pixels of a monochrome pixmap (bit 1 = white, leftmost pixel
// in the high bit); each value inverted (255 - value) when asked. Empty when memory fails.
std::string PixMapHexRows(oPixMap& pixmap, bool invert);

// One pixel of a locked 32-bit DIB at bits + row × rowStep + column × 4, by the format code.
Color ReadLockedPixel(const uint8_t* bits, int32_t rowStep, PixelFormat format, int32_t column,
                      int32_t row);
void WriteLockedPixel(uint8_t* bits, int32_t rowStep, PixelFormat format, int32_t column,
                      int32_t row, const Color& color);

// Copies every pixel of `source` into `destination` through the converter (ConvertPixelColors or
// ConvertPixelToAlpha). Pixmaps of different sizes, or without pixel bits, are refused: false,
// nothing copied.
bool CopyPixMapPixels(oPixMap& destination, oPixMap& source, PixelConverter converter);

// The small pixel editor over a monochrome pixmap shown magnified in `pane` (DrawGridLines; a
// pane or a dialog's preview control): the press at `point` paints with the opposite of the pixel
// under it, and every pixel the mouse moves onto while the button is held takes that colour, in
// the pixmap and in its grid cell on the pane. Any other pixmap is left alone.
class oWidget;
void TrackPixelPainting(oWidget& pane, oPoint point, oPixMap& pixmap);

// The size of an image resource (an icon below 8192, a bitmap from there on); (0, 0) when
// missing.
oPoint ImageResourceSize(int32_t resourceId);

// ---------------------------------------------------------------------------------------------
// oPictPort

class oPictPort : public oOutputPort {
public:
    // Use NewPictPort.
    oPictPort(std::intptr_t owner);
    // Closes the recording (when still open) and deletes the metafile.
    ~oPictPort() override;

    // Operations after the output-port operations, in order.
    // Ends the recording and returns the metafile, which the caller owns; null when already
    // closed.
    virtual plat::HENHMETAFILE closePicture();
    // Closes the recording and returns a picture object holding the metafile, or null.
    virtual WinUfo* makePicture();
    // Adds a comment record of `size` bytes.
    virtual void writeComment(int32_t size, const void* bytes);

    std::intptr_t owner() const { return m_owner; }
    int32_t dotsPerInch() const { return m_dpi; }
    plat::HDC recordingDc() const { return m_dc; }

private:
    friend oPictPort* NewPictPort(const Zone& zone, std::intptr_t owner, int32_t extra,
                                  int32_t descent, int32_t dotsPerInch);

    std::intptr_t m_owner = 0;
    int32_t m_dpi = 96;
    plat::HDC m_dc = nullptr;
};

// A picture port recording an enhanced metafile of the zone at that many dots per inch (0, or
// within 4 of the screen's: the screen's), with the baseline `descent` units above the bottom;
// null when the device record or the metafile cannot be made. `extra` is not used.
oPictPort* NewPictPort(const Zone& zone, std::intptr_t owner, int32_t extra, int32_t descent,
                       int32_t dotsPerInch);
// The resolution and dots per inch a picture port uses for a requested dots per inch.
int32_t PictPortDotsPerInch(int32_t requested);
int32_t PictPortResolution(int32_t dotsPerInch);

// The picture comment: "DEVQ", dots per inch, descent (little-endian).
inline constexpr int32_t kPictCommentSize = 12;
// The largest resolution a picture is made at (the export setting's bound), and the largest
// width or height, in its own pixels, a picture read from outside is taken to have.
inline constexpr int32_t kMaxPictDotsPerInch = 100000;
inline constexpr int32_t kMaxPictExtent = 1 << 24;
// Installs the system side of pictures (copying, freeing, measuring and playing metafiles).
void InstallWinUfoPlatform();

// True (with the values) when the comment is exactly such a record.
bool ReadPictComment(const void* bytes, int32_t size, int32_t& dotsPerInch, int32_t& descent);
