#include "OverSrcs/oPNG.h"

#include "ErrorFixture.h"
#include "OverPc/PERROR.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <png.h>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using kvtest::ErrorFixture;

class oPNGTest : public ErrorFixture {};

// Deterministic noise, so the image does not compress much and spans several output blocks.
std::vector<std::uint8_t> NoisePixels(int width, int height, int stride, std::uint32_t seed) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * height, 0xEE);
    std::uint32_t x = seed;
    for (int row = 0; row < height; ++row)
        for (int i = 0; i < width * 4; ++i) {
            x = x * 1664525u + 1013904223u;
            pixels[static_cast<std::size_t>(row) * stride + i] = static_cast<std::uint8_t>(x >> 24);
        }
    return pixels;
}

std::uint32_t ReadBE32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

void WriteBE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// Chunk types in file order, read from the PNG file structure itself.
std::vector<std::string> ChunkTypes(const std::vector<std::uint8_t>& file) {
    std::vector<std::string> types;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t length = ReadBE32(&file[at]);
        types.emplace_back(reinterpret_cast<const char*>(&file[at + 4]), 4);
        at += 12 + length;
    }
    return types;
}

// Recomputes the CRC of the chunk at `at` after its data was changed.
void FixCrc(std::vector<std::uint8_t>& file, std::size_t at) {
    const std::uint32_t length = ReadBE32(&file[at]);
    const uLong crc = crc32(0, &file[at + 4], 4 + length);
    WriteBE32(&file[at + 8 + length], static_cast<std::uint32_t>(crc));
}

// An image in a format we refuse, made by libpng's simplified writer.
std::vector<std::uint8_t> ForeignPng(std::uint32_t format) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 4;
    image.height = 3;
    image.format = format;
    image.colormap_entries = (format & PNG_FORMAT_FLAG_COLORMAP) ? 4 : 0;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image), 0x40);
    std::vector<std::uint8_t> colormap(PNG_IMAGE_COLORMAP_SIZE(image), 0x80);
    png_alloc_size_t size = 0;
    const void* map = (format & PNG_FORMAT_FLAG_COLORMAP) ? colormap.data() : nullptr;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, map));
    std::vector<std::uint8_t> file(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, file.data(), &size, 0, pixels.data(), 0, map));
    png_image_free(&image);
    return file;
}

struct RoundTripCase {
    const char* name;
    int width;
    int height;
    int stride; // bytes between rows, at least width × 4
    bool alpha;
    const char* text; // null: no text chunk
};

class oPNGRoundTripTest : public oPNGTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(oPNGRoundTripTest, PixelsSizeAndTextComeBack) {
    const RoundTripCase& c = GetParam();
    const std::vector<std::uint8_t> pixels = NoisePixels(c.width, c.height, c.stride, 7);
    std::vector<std::uint8_t> file;
    ASSERT_EQ(CatchFail([&] {
                  WritePngToMemory(file, pixels.data(), c.width, c.height, c.stride, c.text,
                                   c.alpha);
              }),
              0)
        << ErrorDetail();
    ASSERT_GT(file.size(), 8u);
    EXPECT_EQ(0, png_sig_cmp(file.data(), 0, 8));

    // The text chunk is compressed and comes before the image data.
    const std::vector<std::string> types = ChunkTypes(file);
    ASSERT_FALSE(types.empty());
    EXPECT_EQ(types.front(), "IHDR");
    EXPECT_EQ(types.back(), "IEND");
    const bool hasText = c.text && c.text[0];
    std::size_t ztxt = 0, idat = 0;
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (types[i] == "zTXt" && !ztxt)
            ztxt = i;
        if (types[i] == "IDAT" && !idat)
            idat = i;
    }
    EXPECT_EQ(ztxt != 0, hasText);
    if (hasText) {
        EXPECT_LT(ztxt, idat);
    }
    // Colour type byte of the header: 6 RGBA, 2 RGB; bit depth 8.
    EXPECT_EQ(file[8 + 8 + 8], 8);
    EXPECT_EQ(file[8 + 8 + 9], c.alpha ? 6 : 2);

    std::vector<std::uint8_t> back;
    std::int32_t width = 0, height = 0, rowBytes = 0;
    std::string text = "stale";
    ASSERT_EQ(CatchFail([&] {
                  ReadPngFromMemory(back, width, height, rowBytes, file.data(), file.size(), text);
              }),
              0)
        << ErrorDetail();
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
    EXPECT_EQ(rowBytes, c.width * 4);
    ASSERT_EQ(back.size(), static_cast<std::size_t>(rowBytes) * c.height);
    EXPECT_EQ(text, c.text ? c.text : "");
    int mismatches = 0;
    for (int row = 0; row < c.height; ++row)
        for (int x = 0; x < c.width; ++x)
            for (int k = 0; k < 4; ++k) {
                const std::uint8_t got = back[row * rowBytes + x * 4 + k];
                // An RGB pixel's filler byte (first) is not stored; it reads back as 0.
                const std::uint8_t want =
                    (!c.alpha && k == 0)
                        ? 0
                        : pixels[static_cast<std::size_t>(row) * c.stride + x * 4 + k];
                mismatches += got != want;
            }
    EXPECT_EQ(mismatches, 0);
}

const std::string kLongText = [] {
    std::string s = "]|Expr|[#32";
    for (int i = 0; i < 3000; ++i)
        s += static_cast<char>('!' + i % 90);
    s += "\xE9\xE8\xA0]|[";
    return s;
}();

INSTANTIATE_TEST_SUITE_P(
    Images, oPNGRoundTripTest,
    ::testing::Values(RoundTripCase{"RgbWithText", 3, 2, 12, false, "]|Expr|[#32 x]|["},
                      RoundTripCase{"RgbaWithText", 3, 2, 12, true, "]|Expr|[#32 x]|["},
                      RoundTripCase{"RgbNoText", 5, 4, 20, false, nullptr},
                      RoundTripCase{"RgbaEmptyText", 5, 4, 20, true, ""},
                      RoundTripCase{"OnePixel", 1, 1, 4, true, "a"},
                      RoundTripCase{"PaddedRows", 7, 5, 40, false, "pad"},
                      // Far more than 1024 bytes of output: several blocks joined into one.
                      RoundTripCase{"LargeRgb", 90, 70, 360, false, kLongText.c_str()},
                      RoundTripCase{"LargeRgba", 64, 64, 256, true, nullptr}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

TEST_F(oPNGTest, ReadsIntoCallersBlockAndKnownSize) {
    const std::vector<std::uint8_t> pixels = NoisePixels(6, 3, 24, 3);
    std::vector<std::uint8_t> file;
    WritePngToMemory(file, pixels.data(), 6, 3, 24, "t", true);

    std::vector<std::uint8_t> block(6 * 3 * 4);
    std::int32_t w = 0, h = 0, rb = 0;
    std::string text;
    ASSERT_EQ(CatchFail([&] {
                  ReadPngFromMemory(block.data(), block.size(), w, h, rb, file.data(), file.size(),
                                    text);
              }),
              0);
    EXPECT_EQ(block, pixels);
    EXPECT_EQ(text, "t");

    // Known size with wider rows: the padding stays untouched.
    std::vector<std::uint8_t> rows(3 * 32, 0x5A);
    ASSERT_EQ(
        CatchFail([&] { ReadPngIntoPixels(rows.data(), 6, 3, 32, file.data(), file.size()); }), 0);
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(0, std::memcmp(&rows[r * 32], &pixels[r * 24], 24));
        EXPECT_EQ(rows[r * 32 + 24], 0x5A);
    }
}

// A PNG made by libpng directly, in the layouts other writers use: interlaced, and with the text
// after the image data. `rows` hold 3-byte RGB pixels.
std::vector<std::uint8_t> OtherWritersPng(const std::vector<std::uint8_t>& rgb, int width,
                                          int height, const char* textAfterImage) {
    std::vector<std::uint8_t> file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &file,
        [](png_structp p, png_bytep data, png_size_t length) {
            auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
            out->insert(out->end(), data, data + length);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_bytep> rows(height);
    for (int i = 0; i < height; ++i)
        rows[i] = const_cast<png_bytep>(&rgb[static_cast<std::size_t>(i) * width * 3]);
    png_write_image(png, rows.data());
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_zTXt;
    text.key = const_cast<char*>("ExprEncoding");
    text.text = const_cast<char*>(textAfterImage);
    png_set_text(png, info, &text, 1);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

TEST_F(oPNGTest, ReadsInterlacedImagesAndTextAfterTheImage) {
    const int width = 13, height = 9;
    // Any bytes will do as RGB pixels: take them from a 4-byte noise image.
    const std::vector<std::uint8_t> noise = NoisePixels(width, height, width * 4, 5);
    const std::vector<std::uint8_t> rgb(noise.begin(), noise.begin() + width * 3 * height);
    const std::vector<std::uint8_t> file = OtherWritersPng(rgb, width, height, "late text");
    const std::vector<std::string> types = ChunkTypes(file);
    ASSERT_GE(types.size(), 3u);
    ASSERT_EQ(types[types.size() - 2], "zTXt"); // after the image data

    std::vector<std::uint8_t> pixels;
    std::int32_t w = 0, h = 0, rb = 0;
    std::string text;
    ASSERT_EQ(
        CatchFail([&] { ReadPngFromMemory(pixels, w, h, rb, file.data(), file.size(), text); }), 0)
        << ErrorDetail();
    EXPECT_EQ(text, "late text");
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    int mismatches = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < 3; ++k)
                mismatches += pixels[y * rb + x * 4 + 1 + k] != rgb[(y * width + x) * 3 + k];
    EXPECT_EQ(mismatches, 0);
}

// Every refused input fails with 480 and a reason, and leaves the caller's outputs alone.
struct RefusalCase {
    const char* name;
    std::vector<std::uint8_t> (*make)(const std::vector<std::uint8_t>& good);
    const char* detailStart; // null: any libpng reason
};

std::vector<std::uint8_t> GoodPng() {
    const std::vector<std::uint8_t> pixels = NoisePixels(20, 20, 80, 11);
    std::vector<std::uint8_t> file;
    WritePngToMemory(file, pixels.data(), 20, 20, 80, "]|Expr|[#32]|[", false);
    return file;
}

const RefusalCase kRefusals[] = {
    {"Empty", [](const std::vector<std::uint8_t>&) { return std::vector<std::uint8_t>{}; },
     nullptr},
    {"NotPng",
     [](const std::vector<std::uint8_t>&) {
         return std::vector<std::uint8_t>{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0};
     },
     nullptr},
    {"HeaderOnly",
     [](const std::vector<std::uint8_t>& good) {
         return std::vector<std::uint8_t>(good.begin(), good.begin() + 33);
     },
     nullptr},
    {"CutInImageData",
     [](const std::vector<std::uint8_t>& good) {
         return std::vector<std::uint8_t>(good.begin(), good.begin() + good.size() / 2);
     },
     nullptr},
    {"MissingEnd",
     [](const std::vector<std::uint8_t>& good) {
         return std::vector<std::uint8_t>(good.begin(), good.end() - 12);
     },
     nullptr},
    {"HeaderCrcWrong",
     [](const std::vector<std::uint8_t>& good) {
         std::vector<std::uint8_t> f = good;
         f[8 + 8] ^= 0x01; // width changed, checksum not
         return f;
     },
     nullptr},
    {"ImageDataCorrupt",
     [](const std::vector<std::uint8_t>& good) {
         std::vector<std::uint8_t> f = good;
         std::size_t at = 8;
         while (std::memcmp(&f[at + 4], "IDAT", 4) != 0)
             at += 12 + ReadBE32(&f[at]);
         for (std::size_t i = 0; i < 16; ++i)
             f[at + 8 + 2 + i] ^= 0xA5; // deflate data scrambled, checksum made to match
         FixCrc(f, at);
         return f;
     },
     nullptr},
    {"HugeDimensions",
     [](const std::vector<std::uint8_t>& good) {
         std::vector<std::uint8_t> f = good;
         WriteBE32(&f[16], 60000);
         WriteBE32(&f[20], 60000);
         FixCrc(f, 8);
         return f;
     },
     "image too large"},
    // A few bytes that announce much more: refused before anything of the announced size is
    // allocated, so that memory follows the file's size.
    {"ChunkLongerThanTheFile",
     [](const std::vector<std::uint8_t>& good) {
         std::vector<std::uint8_t> f = good;
         WriteBE32(&f[8 + 25], 0x7A000070); // the chunk after the header: 2 GB announced
         return f;
     },
     "a chunk is longer than the file"},
    {"ImageDataTooShortForItsSize",
     [](const std::vector<std::uint8_t>& good) {
         std::vector<std::uint8_t> f = good;
         WriteBE32(&f[16], 8000);
         WriteBE32(&f[20], 8000);
         FixCrc(f, 8);
         return f;
     },
     "image data too short for its size"},
    {"SixteenBit",
     [](const std::vector<std::uint8_t>&) { return ForeignPng(PNG_FORMAT_LINEAR_RGB); },
     "bit depth or color type unusable"},
    {"Palette",
     [](const std::vector<std::uint8_t>&) { return ForeignPng(PNG_FORMAT_RGB_COLORMAP); },
     "bit depth or color type unusable"},
    {"Grey", [](const std::vector<std::uint8_t>&) { return ForeignPng(PNG_FORMAT_GRAY); },
     "bit depth or color type unusable"},
};

class oPNGRefusalTest : public oPNGTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(oPNGRefusalTest, FailsCleanlyWith480) {
    const std::vector<std::uint8_t> bad = GetParam().make(GoodPng());
    std::vector<std::uint8_t> pixels = {1, 2, 3};
    std::int32_t w = -1, h = -1, rb = -1;
    std::string text = "kept";
    EXPECT_EQ(CatchFail([&] { ReadPngFromMemory(pixels, w, h, rb, bad.data(), bad.size(), text); }),
              errPngFailure);
    const std::string detail = ErrorDetail() ? ErrorDetail() : "";
    EXPECT_FALSE(detail.empty());
    if (GetParam().detailStart) {
        EXPECT_EQ(detail.rfind(GetParam().detailStart, 0), 0u) << detail;
    }
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(w, -1);
    EXPECT_EQ(ErrorEnvDepth(), 0);
}

INSTANTIATE_TEST_SUITE_P(Inputs, oPNGRefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                             return info.param.name;
                         });

TEST_F(oPNGTest, EveryTruncationIsRefusedWithoutReadingPastTheData) {
    const std::vector<std::uint8_t> good = GoodPng();
    for (std::size_t length = 0; length < good.size(); length += 7) {
        SCOPED_TRACE(length);
        // An exact-size heap copy, so a read beyond it is caught by the address checker.
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + length);
        cut.shrink_to_fit();
        std::vector<std::uint8_t> pixels;
        std::int32_t w = 0, h = 0, rb = 0;
        std::string text;
        EXPECT_EQ(
            CatchFail([&] { ReadPngFromMemory(pixels, w, h, rb, cut.data(), cut.size(), text); }),
            errPngFailure);
    }
    EXPECT_NE(LoggedInformation().find("libpng read off the end of the input"), std::string::npos);
    EXPECT_NE(LoggedInformation().find("oPNG"), std::string::npos);
}

TEST_F(oPNGTest, SizeMismatchesAreRefused) {
    const std::vector<std::uint8_t> good = GoodPng(); // 20 × 20
    std::vector<std::uint8_t> rows(20 * 20 * 4);
    EXPECT_EQ(
        CatchFail([&] { ReadPngIntoPixels(rows.data(), 20, 19, 80, good.data(), good.size()); }),
        errPngFailure);
    EXPECT_STREQ(ErrorDetail(), "height or width don't conform to other clues");

    // The caller's block is one row short.
    std::int32_t w = 0, h = 0, rb = 0;
    std::string text;
    EXPECT_EQ(CatchFail([&] {
                  ReadPngFromMemory(rows.data(), rows.size() - 80, w, h, rb, good.data(),
                                    good.size(), text);
              }),
              errPngFailure);
}

TEST_F(oPNGTest, UnusableWriteArgumentsAreRefused) {
    const std::vector<std::uint8_t> pixels(64, 0);
    struct Case {
        const std::uint8_t* pixels;
        int width, height, stride;
    } const cases[] = {{nullptr, 2, 2, 8},
                       {pixels.data(), 0, 2, 8},
                       {pixels.data(), 2, -1, 8},
                       {pixels.data(), 4, 2, 8}, // rows shorter than 4 bytes a pixel
                       {pixels.data(), 40000, 40000, 160000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        std::vector<std::uint8_t> out = {9};
        EXPECT_EQ(CatchFail([&] {
                      WritePngToMemory(out, c.pixels, c.width, c.height, c.stride, "x", false);
                  }),
                  errPngFailure);
        EXPECT_EQ(out, std::vector<std::uint8_t>{9});
    }
}

} // namespace
