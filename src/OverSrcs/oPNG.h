#pragma once
// PNG images in memory. Every PNG the program writes can carry the expression's re-editable text
// in one compressed text chunk keyed "ExprEncoding", so that opening the PNG again gives back the
// editable expression. Only 8-bit RGB and RGBA images are written or accepted.
//
// Pixels are 4 bytes in memory on both sides: a filler byte ahead of red, green and blue for RGB
// images, or red, green, blue and alpha for RGBA images. Row i starts at pixels + i × row stride.
//
// Every failure (a libpng error, a structure that cannot be made, an unusable or oversized image,
// input that ends early) releases everything the call made and then fails with errPngFailure
// after setting the error detail to the reason; Escape during a large image fails with
// errUserInterrupt. The caller's outputs are written only when the call succeeds, except the
// caller's own pixel rows, which a failing read may have partly filled.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int errPngFailure = 480;

// The key of the text chunk that carries the expression encoding.
inline constexpr const char kPngEncodingKey[] = "ExprEncoding";

// Images larger than this many bytes of 4-byte pixels are refused, so that a hostile header can
// never make the reader allocate or address more than this.
inline constexpr std::uint64_t kPngMaxPixelBytes = 256ull * 1024 * 1024;

// Encodes height rows of width 4-byte pixels as a PNG file in `out` (replaced only on success).
// With `alpha` the image is RGBA, else RGB (the filler byte of each pixel is not written). A null
// or empty encoding text writes no text chunk.
void WritePngToMemory(std::vector<std::uint8_t>& out, const std::uint8_t* pixels,
                      std::int32_t width, std::int32_t height, std::int32_t rowStride,
                      const char* encodingText, bool alpha);

// Decodes a PNG file into `pixels` (resized to height × rowBytes), with rowBytes = width × 4 for
// RGB and RGBA images alike. The encoding text is the "ExprEncoding" chunk's text, empty when the
// image has none.
void ReadPngFromMemory(std::vector<std::uint8_t>& pixels, std::int32_t& width, std::int32_t& height,
                       std::int32_t& rowBytes, const std::uint8_t* data, std::size_t size,
                       std::string& encodingText);

// The same into the caller's block of `capacity` bytes, rows rowBytes (= width × 4) apart; an
// image that does not fit fails.
void ReadPngFromMemory(std::uint8_t* pixels, std::size_t capacity, std::int32_t& width,
                       std::int32_t& height, std::int32_t& rowBytes, const std::uint8_t* data,
                       std::size_t size, std::string& encodingText);

// Decodes into the caller's rows (rowStride apart, at least width × 4) an image whose size is
// already known from elsewhere; an image of another width or height fails with the detail
// "height or width don't conform to other clues". The text is not read.
void ReadPngIntoPixels(std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                       std::int32_t rowStride, const std::uint8_t* data, std::size_t size);
