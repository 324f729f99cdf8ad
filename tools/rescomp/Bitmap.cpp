#include "Rescomp.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <png.h>

namespace kvtool {
namespace {

void put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

} // namespace

std::vector<std::uint8_t> PngToDib(const std::string& path, bool monochrome) {
    const std::string file = ReadFile(path);
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size()))
        throw CompileError(path, 0, std::string("not a readable PNG file: ") + image.message);
    if (image.width == 0 || image.height == 0 || image.width > 8192 || image.height > 8192) {
        png_image_free(&image);
        throw CompileError(path, 0, "bitmap size out of range (1..8192 each way)");
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    const png_color white{255, 255, 255}; // transparent pixels are composed over white
    image.flags = 0;
    if (!png_image_finish_read(&image, &white, rgb.data(), 0, nullptr))
        throw CompileError(path, 0, std::string("cannot decode the PNG file: ") + image.message);

    const std::uint32_t w = image.width, h = image.height;
    const std::uint32_t bpp = monochrome ? 1 : 24;
    const std::uint32_t stride = ((w * bpp + 31) / 32) * 4;
    std::vector<std::uint8_t> dib;
    put32(dib, 40); // header size
    put32(dib, w);
    put32(dib, h); // positive: rows bottom-up
    put16(dib, 1);
    put16(dib, bpp);
    put32(dib, 0); // no compression
    put32(dib, stride * h);
    put32(dib, 0);
    put32(dib, 0);
    put32(dib, monochrome ? 2 : 0);
    put32(dib, 0);
    if (monochrome) {
        put32(dib, 0x00000000); // black
        put32(dib, 0x00FFFFFF); // white
    }
    const std::size_t bits = dib.size();
    dib.resize(bits + static_cast<std::size_t>(stride) * h, 0);
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* src = rgb.data() + static_cast<std::size_t>(y) * w * 3;
        std::uint8_t* row = dib.data() + bits + static_cast<std::size_t>(h - 1 - y) * stride;
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t r = src[3 * x], g = src[3 * x + 1], b = src[3 * x + 2];
            if (monochrome) {
                // Light pixels are white (1), dark ones black (0).
                const unsigned luma = (299u * r + 587u * g + 114u * b) / 1000u;
                if (luma >= 128)
                    row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            } else {
                row[3 * x] = b;
                row[3 * x + 1] = g;
                row[3 * x + 2] = r;
            }
        }
    }
    return dib;
}

std::vector<std::uint8_t> PngToIcon(const std::string& path) {
    const std::string file = ReadFile(path);
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size()))
        throw CompileError(path, 0, std::string("not a readable PNG file: ") + image.message);
    if (image.width != 32 || image.height != 32) {
        const std::string size = std::to_string(image.width) + " x " + std::to_string(image.height);
        png_image_free(&image);
        throw CompileError(path, 0, "an icon must be 32 x 32 pixels, not " + size);
    }
    // Straight (not premultiplied) alpha, as the icon format keeps it.
    image.format = PNG_FORMAT_BGRA;
    image.flags = 0;
    std::vector<std::uint8_t> bgra(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bgra.data(), 0, nullptr))
        throw CompileError(path, 0, std::string("cannot decode the PNG file: ") + image.message);
    std::vector<std::uint8_t> icon;
    put32(icon, 40);
    put32(icon, 32);
    put32(icon, static_cast<std::uint32_t>(-32)); // negative: rows top-down
    put16(icon, 1);
    put16(icon, 32);
    put32(icon, 0); // no compression
    put32(icon, static_cast<std::uint32_t>(bgra.size()));
    put32(icon, 0);
    put32(icon, 0);
    put32(icon, 0);
    put32(icon, 0);
    icon.insert(icon.end(), bgra.begin(), bgra.end());
    return icon;
}

} // namespace kvtool
