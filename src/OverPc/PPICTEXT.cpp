#include "OverPc/PPICTEXT.h"

#include "OverPc/PERROR.h"
#include "OverPc/Portdc.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/oPNG.h"
#include "OverSrcs/oStreams.h"
#include "OverSrcs/oWindows.h"
#include "plat/Gdi.h"
#include "plat/Metafile.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kRawPiece = 60;
constexpr int kWordsPerLine = 12;
// The info word of record "1": the pixel layout the picture code uses (code 912 rows).
constexpr int32_t kPictureInfo = 912;
// Largest side of a pixel map made from picture text.
constexpr int32_t kMaxPictureSide = 32767;

uint32_t Swap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

bool IsBase85Digit(int c) {
    return c >= '!' && c < '!' + 85;
}

// ---- Writing ------------------------------------------------------------------------------------

void WriteRecordHead(oOStream& stream, const std::string& separator, char letter,
                     int32_t characters, int32_t bytes) {
    stream.writeString(separator.c_str());
    stream.putChar(letter);
    stream.putNumber(characters);
    stream.putNumber(bytes);
    stream.writeString(separator.c_str());
}

// Draws the picture on white into a pixel map of its own size and resolution and returns it as
// a PNG file; fails as the pixel map and the PNG writer do.
std::vector<uint8_t> PictureAsPng(const WinUfo& picture) {
    int32_t width = 0, height = 0, resolution = 0;
    GetWinUfoMetrics(&picture, &width, &height, nullptr, &resolution, nullptr);
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        Fail(errDataCorrupted);
    const Zone zone{0, 0, width, height, 0, 0};
    std::unique_ptr<oPixMap> pixmap(NewPixMap(zone, resolution, 912));
    pixmap->paintZone(zone, kColorWhite);
    DrawWinUfo(const_cast<WinUfo*>(&picture), *pixmap, 0, 0);
    uint8_t* bits = nullptr;
    int32_t step = 0;
    pixmap->lockBits(&bits, &step);
    if (bits == nullptr)
        Fail(errDataCorrupted);
    // The PNG writer takes a filler byte ahead of red, green and blue.
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const Color c = ReadLockedPixel(bits, step, pixmap->format(), x, y);
            uint8_t* out = &pixels[(static_cast<size_t>(y) * width + x) * 4];
            out[0] = 0xFF;
            out[1] = c.r;
            out[2] = c.g;
            out[3] = c.b;
        }
    }
    std::vector<uint8_t> png;
    WritePngToMemory(png, pixels.data(), width, height, width * 4, nullptr, false);
    return png;
}

// ---- Reading ------------------------------------------------------------------------------------

// The next character that is not inside a separator; -1 at the end of the data. A separator runs
// from a "|" to the next one; the separator without a caption is "|||", so a "|" right after an
// empty pair belongs to it.
int NextOutsideSeparators(oIStream& stream) {
    int c = stream.getChar();
    while (c == '|') {
        int32_t inside = 0;
        for (;;) {
            const int d = stream.getChar();
            if (d < 0)
                return -1;
            if (d == '|')
                break;
            ++inside;
        }
        c = stream.getChar();
        if (inside == 0 && c == '|')
            c = stream.getChar();
    }
    return c;
}

// The end of the leaf ("}") or of the data inside a record is damage; the closing brace is left
// for the encoding reader.
[[noreturn]] void DataEndsInRecord(oIStream& stream, int c) {
    if (c == '}')
        stream.unGetChar(c);
    Fail(errDataCorrupted);
}

void ReadRaw(oIStream& stream, int32_t characters, std::vector<uint8_t>& buffer) {
    for (int32_t i = 0; i < characters; ++i) {
        const int c = NextOutsideSeparators(stream);
        if (c < 0 || c == '}')
            DataEndsInRecord(stream, c);
        buffer.push_back(static_cast<uint8_t>(c));
    }
}

void ReadBase85(oIStream& stream, int32_t bytes, bool swap, std::vector<uint8_t>& buffer) {
    const int32_t words = static_cast<int32_t>((static_cast<int64_t>(bytes) + 3) / 4);
    for (int32_t w = 0; w < words; ++w) {
        int c = NextOutsideSeparators(stream);
        // Line breaks and other characters outside the word alphabet stand between words.
        while (c >= 0 && c != '}' && !(c >= '!' && c <= 'y'))
            c = NextOutsideSeparators(stream);
        if (c < 0 || c == '}')
            DataEndsInRecord(stream, c);
        uint64_t value = 0;
        for (int k = 0; k < 5; ++k) {
            if (k > 0)
                c = stream.getChar();
            if (c == '}' || c < 0)
                DataEndsInRecord(stream, c);
            if (!IsBase85Digit(c))
                Fail(errDataCorrupted);
            value = value * 85 + static_cast<uint64_t>(c - '!');
        }
        if (value > 0xFFFFFFFFull)
            Fail(errDataCorrupted);
        uint32_t word = static_cast<uint32_t>(value);
        if (swap)
            word = Swap32(word);
        // Little-endian in memory, as the words were taken when written.
        for (int b = 0; b < 4; ++b)
            buffer.push_back(static_cast<uint8_t>(word >> (8 * b)));
    }
}

void SkipUnknown(oIStream& stream, int32_t characters) {
    for (int32_t i = 0; i < characters;) {
        const int c = NextOutsideSeparators(stream);
        if (c < 0 || c == '}') {
            if (c == '}')
                stream.unGetChar(c);
            return;
        }
        if (c >= 0x21 && c <= 0x7E)
            ++i;
    }
}

struct PictureReading {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<WinUfo> picture;
};

// A pixel map of the remembered size in layout 912 filled by `fill`, recorded as a picture; null
// when the size is unknown or the pixel map cannot be made.
template <class Fill>
std::unique_ptr<WinUfo> PictureFromPixels(int32_t width, int32_t height, Fill&& fill) {
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        return nullptr;
    std::unique_ptr<WinUfo> made;
    const int16_t code = CatchFail([&] {
        const Zone zone{0, 0, width, height, 0, 0};
        std::unique_ptr<oPixMap> pixmap(NewPixMap(zone, ScreenResolution(), 912));
        pixmap->paintZone(zone, kColorWhite);
        uint8_t* bits = nullptr;
        int32_t step = 0;
        pixmap->lockBits(&bits, &step);
        if (bits == nullptr || !fill(*pixmap, bits, step))
            return;
        pixmap->unlockBits(bits, true);
        plat::GdiFlush();
        made.reset(NewWinUfoFromPixMap(*pixmap, 0));
    });
    if (code == errUserInterrupt)
        Fail(code);
    return made;
}

void RunRecordAction(PictureReading& reading, int letter, const std::vector<uint8_t>& buffer,
                     int32_t bytes) {
    const uint8_t* data = buffer.data();
    const auto size = static_cast<size_t>(bytes);
    switch (letter) {
    case '1': {
        oIMemoryStream numbers(data, static_cast<uint32_t>(size));
        const int32_t width = numbers.getNumber();
        const int32_t height = numbers.getNumber();
        if (width < 0 || height < 0)
            Fail(errDataCorrupted);
        reading.width = width;
        reading.height = height;
        return;
    }
    case '2':
        if (static_cast<int64_t>(reading.width) * reading.height * 4 != bytes)
            return;
        reading.picture = PictureFromPixels(
            reading.width, reading.height, [&](oPixMap& pixmap, uint8_t* bits, int32_t step) {
                const size_t row = static_cast<size_t>(pixmap.width()) * 4;
                for (int32_t y = 0; y < pixmap.height(); ++y)
                    std::memcpy(bits + static_cast<size_t>(y) * static_cast<size_t>(step),
                                data + static_cast<size_t>(y) * row, row);
                return true;
            });
        return;
    case '3':
        reading.picture = PictureFromPixels(
            reading.width, reading.height, [&](oPixMap& pixmap, uint8_t* bits, int32_t step) {
                const int32_t w = pixmap.width();
                const int32_t h = pixmap.height();
                std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
                if (CatchFail([&] { ReadPngIntoPixels(pixels.data(), w, h, w * 4, data, size); }))
                    return false;
                for (int32_t y = 0; y < h; ++y)
                    for (int32_t x = 0; x < w; ++x) {
                        const uint8_t* in = &pixels[(static_cast<size_t>(y) * w + x) * 4];
                        WriteLockedPixel(bits, step, pixmap.format(), x, y,
                                         Color{in[1], in[2], in[3], 255});
                    }
                return true;
            });
        return;
    case 'E':
        reading.picture = PictureFromEnhMetaBits(data, size);
        return;
    case 'M':
        reading.picture = PictureFromWinMetaBits(data, size);
        return;
    case 'D':
        reading.picture = PictureFromPackedDib(data, size);
        return;
    default:
        return;
    }
}

} // namespace

// ---- Writing ------------------------------------------------------------------------------------

std::string PictureSeparator(const char* caption) {
    if (caption == nullptr || *caption == '\0')
        return "|||";
    return std::string("|") + caption + "|";
}

void EncodeBase85Word(uint32_t value, char out[5]) {
    for (int i = 4; i >= 0; --i) {
        out[i] = static_cast<char>('!' + value % 85);
        value /= 85;
    }
}

void WriteBase85Words(oOStream& stream, const std::string& separator, char letter, const void* data,
                      int32_t byteCount, bool swap) {
    if (byteCount < 0)
        byteCount = 0;
    const int32_t words = static_cast<int32_t>((static_cast<int64_t>(byteCount) + 3) / 4);
    WriteRecordHead(stream, separator, letter, words * 5, byteCount);
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (int32_t w = 0; w < words; ++w) {
        uint32_t word = 0;
        for (int b = 0; b < 4; ++b) {
            const int64_t at = static_cast<int64_t>(w) * 4 + b;
            if (at < byteCount)
                word |= static_cast<uint32_t>(bytes[at]) << (8 * b);
        }
        if (swap)
            word = Swap32(word);
        char text[5];
        EncodeBase85Word(word, text);
        stream.write(text, 5);
        if ((w + 1) % kWordsPerLine == 0 && w + 1 < words)
            stream.writeString(separator.c_str());
    }
}

void WriteRawRecord(oOStream& stream, const std::string& separator, char letter,
                    const std::string& characters) {
    const auto count = static_cast<int32_t>(characters.size());
    WriteRecordHead(stream, separator, letter, count, count);
    for (int32_t at = 0; at < count; at += kRawPiece) {
        if (at > 0)
            stream.writeString(separator.c_str());
        const int32_t n = std::min(kRawPiece, count - at);
        stream.write(characters.data() + at, static_cast<uint32_t>(n));
    }
}

void WritePictureAsText(oOStream& stream, const std::string& separator, const WinUfo* picture,
                        bool bitmaps) {
    int32_t width = 0, height = 0, baseline = 0, resolution = 0, info = 0;
    GetWinUfoMetrics(picture, &width, &height, &baseline, &resolution, &info);
    char text[8];
    std::string metrics;
    for (const int32_t v : {width, height, baseline, resolution, kPictureInfo}) {
        metrics.append(text, static_cast<size_t>(EncodeCompactNumber(v, text)));
    }
    WriteRawRecord(stream, separator, '1', metrics);
    if (!bitmaps || picture == nullptr)
        return;
    std::vector<uint8_t> png;
    const int16_t code = CatchFail([&] { png = PictureAsPng(*picture); });
    if (code == errUserInterrupt)
        Fail(code);
    if (code == 0 && !png.empty())
        WriteBase85Words(stream, separator, '3', png.data(), static_cast<int32_t>(png.size()),
                         true);
}

void WriteWinUfoPicture(oOStream& stream, const std::string& separator, const WinUfo* picture) {
    if (picture == nullptr || picture->enhMetafile() == 0)
        return;
    auto* emf = reinterpret_cast<plat::HENHMETAFILE>(picture->enhMetafile());
    const plat::UINT size = plat::GetEnhMetaFileBits(emf, 0, nullptr);
    if (size == 0 || size > static_cast<plat::UINT>(kMaxPictureRecordBytes))
        return;
    std::vector<uint8_t> bytes(size);
    if (plat::GetEnhMetaFileBits(emf, size, bytes.data()) != size)
        return;
    WriteBase85Words(stream, separator, 'E', bytes.data(), static_cast<int32_t>(size), false);
}

void WriteUfoPicture(oOStream& stream, const char* caption, const WinUfo* picture, bool ownRecords,
                     bool bitmaps) {
    // A leaf without a picture writes no records at all, so that it reads back as an empty leaf
    // instead of as damaged picture text that would cost the whole expression.
    if (picture == nullptr)
        return;
    const std::string separator = PictureSeparator(caption);
    if (ownRecords)
        WriteWinUfoPicture(stream, separator, picture);
    WritePictureAsText(stream, separator, picture, bitmaps);
    stream.writeString(separator.c_str());
    stream.putChar('9');
}

// ---- Reading ------------------------------------------------------------------------------------

std::vector<uint8_t> ReadBase85Body(oIStream& stream, int32_t bytes, bool swap) {
    if (bytes < 0 || bytes > kMaxPictureRecordBytes)
        Fail(errDataCorrupted);
    std::vector<uint8_t> buffer;
    ReadBase85(stream, bytes, swap, buffer);
    buffer.resize(static_cast<size_t>(bytes));
    return buffer;
}

std::unique_ptr<WinUfo> ReadUfoPicture(oIStream& stream) {
    PictureReading reading;
    for (bool first = true;; first = false) {
        int c = NextOutsideSeparators(stream);
        // Blanks and line breaks may stand between records.
        while (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            c = NextOutsideSeparators(stream);
        if (c == '9' || c < 0 || c == 0)
            break;
        if (c == '}') {
            stream.unGetChar(c);
            if (first)
                return nullptr; // a leaf written without a picture
            break;
        }
        const int32_t characters = stream.getNumber();
        const int32_t bytes = stream.getNumber();
        if (characters < 0 || bytes < 0 || bytes > kMaxPictureRecordBytes ||
            characters > kMaxPictureRecordBytes / 4 * 5 + 5)
            Fail(errDataCorrupted);
        const bool raw = c == '1' || c == '2';
        const bool base85 = c == '3' || c == 'E' || c == 'M' || c == 'D';
        if (!raw && !base85) {
            SkipUnknown(stream, characters);
            continue;
        }
        const int64_t words = (static_cast<int64_t>(bytes) + 3) / 4;
        // A raw body is its data; a base-85 body five characters for every word.
        if (raw ? characters != bytes : characters != words * 5)
            Fail(errDataCorrupted);
        // The data is appended as it comes, so a damaged count costs no more memory than the data
        // really present.
        std::vector<uint8_t> buffer;
        buffer.reserve(static_cast<size_t>(std::min<int64_t>(words * 4 + 4, 1 << 20)));
        if (raw)
            ReadRaw(stream, characters, buffer);
        else
            ReadBase85(stream, bytes, c == '3', buffer);
        // Zeros up to the padded last word and four more.
        buffer.resize(static_cast<size_t>(words * 4 + 4), 0);
        if (!reading.picture)
            RunRecordAction(reading, c, buffer, bytes);
    }
    if (!reading.picture)
        Fail(errDataCorrupted);
    return std::move(reading.picture);
}

// ---- Picture record actions ---------------------------------------------------------------------

namespace {
std::unique_ptr<WinUfo> PictureOfMetafile(plat::HENHMETAFILE emf) {
    if (emf == nullptr)
        return nullptr;
    InstallWinUfoPlatform();
    auto picture = std::make_unique<WinUfo>();
    picture->setEnhMetafile(reinterpret_cast<PictureHandle>(emf));
    return picture;
}
} // namespace

std::unique_ptr<WinUfo> PictureFromEnhMetaBits(const uint8_t* data, size_t size) {
    if (data == nullptr || size < sizeof(plat::ENHMETAHEADER) || size > 0xFFFFFFFFu)
        return nullptr;
    return PictureOfMetafile(plat::SetEnhMetaFileBits(static_cast<plat::UINT>(size), data));
}

std::unique_ptr<WinUfo> PictureFromWinMetaBits(const uint8_t* data, size_t size) {
    if (data == nullptr || size < 18 || size > 0xFFFFFFFFu)
        return nullptr;
    return PictureOfMetafile(
        plat::SetWinMetaFileBits(static_cast<plat::UINT>(size), data, nullptr, nullptr));
}

std::unique_ptr<WinUfo> PictureFromPackedDib(const uint8_t* data, size_t size) {
    if (data == nullptr || size < sizeof(plat::BITMAPINFOHEADER))
        return nullptr;
    plat::BITMAPINFOHEADER header;
    std::memcpy(&header, data, sizeof header);
    if (header.biSize < 40 || header.biSize > size || header.biPlanes != 1)
        return nullptr;
    const int64_t width = header.biWidth;
    const int64_t height = header.biHeight < 0 ? -static_cast<int64_t>(header.biHeight)
                                               : static_cast<int64_t>(header.biHeight);
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        return nullptr;
    const int bpp = header.biBitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return nullptr;
    int64_t table = 0;
    if (header.biCompression == plat::BI_BITFIELDS) {
        if (bpp != 16 && bpp != 32)
            return nullptr;
        table = header.biSize == 40 ? 3 : 0; // larger headers hold the masks themselves
    } else if (header.biCompression == plat::BI_RGB) {
        if (bpp <= 8)
            table = header.biClrUsed != 0 ? header.biClrUsed : (int64_t{1} << bpp);
        if (table > 256)
            return nullptr;
    } else {
        return nullptr;
    }
    const int64_t rowBytes = ((width * bpp + 31) / 32) * 4;
    const int64_t bitsAt = static_cast<int64_t>(header.biSize) + table * 4;
    const int64_t needed = bitsAt + rowBytes * height;
    if (needed > static_cast<int64_t>(size))
        return nullptr;
    // The header and its table copied into an aligned block with room for the masks.
    std::vector<uint8_t> info(static_cast<size_t>(40 + std::max<int64_t>(table, 3) * 4), 0);
    std::memcpy(info.data(), data, 40);
    if (header.biSize > 40 && header.biCompression == plat::BI_BITFIELDS)
        std::memcpy(info.data() + 40, data + 40, 12); // the masks of a larger header
    else
        std::memcpy(info.data() + 40, data + header.biSize, static_cast<size_t>(table * 4));
    reinterpret_cast<plat::BITMAPINFOHEADER*>(info.data())->biSize = 40;
    const uint8_t* bits = data + bitsAt;
    const auto w = static_cast<int32_t>(width);
    const auto h = static_cast<int32_t>(height);
    std::unique_ptr<WinUfo> picture =
        PictureFromPixels(w, h, [&](oPixMap& pixmap, uint8_t*, int32_t) {
            PortDcHolder holder(&pixmap);
            if (holder.hdc() == nullptr)
                return false;
            return plat::StretchDIBits(holder.hdc(), 0, 0, w, h, 0, 0, w, h, bits,
                                       reinterpret_cast<const plat::BITMAPINFO*>(info.data()),
                                       plat::DIB_RGB_COLORS, plat::SRCCOPY) > 0;
        });
    // The bitmap itself stays with the picture: what follows its pixel rows (an expression's
    // encoding) is read from there.
    if (picture)
        picture->setPackedDib(std::vector<uint8_t>(data, data + size));
    return picture;
}
