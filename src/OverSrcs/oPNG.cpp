#include "OverSrcs/oPNG.h"

#include "OverPc/PERROR.h"
#include "OverPc/PUTIL.h"
#include "OverSrcs/oUtil.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <png.h>

// libpng reports errors by calling our error handler, which must not return; it longjmps back to
// the setjmp of the function that made the call. Nothing with a destructor may live in the frames
// that jump skips, so every libpng call runs inside one of the plain Run* functions below, whose
// state is a plain record owned by the C++ caller; our callbacks catch every exception and turn
// it into a libpng error. The caller releases the record and raises the error after libpng has
// returned.

namespace {

// The encoded file grows as a list of blocks: a first one of 1024 bytes, then, for a write that
// does not fit, one of that write's size + 4096. One copy at the end makes it contiguous.
constexpr std::size_t kFirstBlockBytes = 1024;
constexpr std::size_t kBlockSlack = 4096;

struct OutBlock {
    OutBlock* next;
    std::size_t used;
    std::size_t capacity;
    // the data follows the header
    std::uint8_t* data() { return reinterpret_cast<std::uint8_t*>(this + 1); }
};

// Everything one call makes. Plain data only: libpng may jump over frames that use it.
struct PngCall {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop endInfo = nullptr;
    bool reading = false;
    png_bytep* rows = nullptr;
    // writing
    OutBlock* first = nullptr;
    OutBlock* current = nullptr;
    std::size_t total = 0;
    // reading
    const std::uint8_t* input = nullptr;
    std::size_t inputSize = 0;
    std::size_t inputPos = 0;
    std::uint64_t imageDataBytes = 0; // of all IDAT chunks, as the scan found them
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int colorType = 0;
    const char* text = nullptr; // libpng's copy, valid until release
    std::size_t textLength = 0;
    // outcome
    char detail[256] = {};
    std::int16_t failCode = 0; // a Fail caught inside a callback (Escape)
};

void SetDetail(PngCall& call, const char* text) {
    if (call.detail[0] == 0)
        CopyStringChecked(call.detail, text ? text : "", sizeof call.detail);
}

void ReleaseCall(PngCall& call) {
    if (call.png) {
        if (call.reading)
            png_destroy_read_struct(&call.png, call.info ? &call.info : nullptr,
                                    call.endInfo ? &call.endInfo : nullptr);
        else
            png_destroy_write_struct(&call.png, call.info ? &call.info : nullptr);
    }
    call.png = nullptr;
    call.info = nullptr;
    call.endInfo = nullptr;
    call.text = nullptr;
    FreeBlock(call.rows);
    call.rows = nullptr;
    for (OutBlock* block = call.first; block;) {
        OutBlock* next = block->next;
        FreeBlock(block);
        block = next;
    }
    call.first = call.current = nullptr;
    call.total = 0;
}

// Releases on every exit of the calling scope, the failing ones included.
class CallGuard {
public:
    explicit CallGuard(PngCall& call)
        : m_call(call) {}
    ~CallGuard() { ReleaseCall(m_call); }
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;

private:
    PngCall& m_call;
};

// Releases, then raises the call's error.
[[noreturn]] void FailCall(PngCall& call) {
    const std::int16_t code = call.failCode;
    char detail[sizeof call.detail];
    CopyStringChecked(detail, call.detail[0] ? call.detail : "libpng failed", sizeof detail);
    ReleaseCall(call);
    if (code != 0)
        Fail(code);
    SetErrorDetail(detail);
    Fail(errPngFailure);
}

PngCall& CallOf(png_structp png) {
    return *static_cast<PngCall*>(png_get_error_ptr(png));
}

// ---- libpng callbacks ---------------------------------------------------------------------------

void OnPngError(png_structp png, png_const_charp message) {
    SetDetail(CallOf(png), message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

png_voidp PngAlloc(png_structp, png_alloc_size_t size) {
    return AllocClear(size);
}

void PngFree(png_structp, png_voidp block) {
    FreeBlock(block);
}

// Escape is polled after every row; its Fail is carried across libpng as an error.
void PollAbort(png_structp png) {
    bool aborted = false;
    try {
        CheckUserAbort();
    } catch (const FailUnwind& unwind) {
        CallOf(png).failCode = unwind.code();
        aborted = true;
    } catch (...) {
        CallOf(png).failCode = static_cast<std::int16_t>(errNoMemory);
        aborted = true;
    }
    if (aborted)
        png_error(png, "interrupted");
}

void OnRowWritten(png_structp png, png_uint_32, int) {
    PollAbort(png);
}

void OnRowRead(png_structp png, png_uint_32, int) {
    PollAbort(png);
}

void OnPngWrite(png_structp png, png_bytep data, png_size_t length) {
    PngCall& call = *static_cast<PngCall*>(png_get_io_ptr(png));
    OutBlock* block = call.current;
    if (!block || block->capacity - block->used < length) {
        const std::size_t capacity =
            !block && length <= kFirstBlockBytes ? kFirstBlockBytes : length + kBlockSlack;
        auto* next = static_cast<OutBlock*>(AllocClear(sizeof(OutBlock) + capacity));
        if (!next)
            png_error(png, "not enough memory for the image");
        next->next = nullptr;
        next->used = 0;
        next->capacity = capacity;
        if (block)
            block->next = next;
        else
            call.first = next;
        call.current = block = next;
    }
    std::memcpy(block->data() + block->used, data, length);
    block->used += length;
    call.total += length;
}

void OnPngFlush(png_structp) {}

void OnPngRead(png_structp png, png_bytep data, png_size_t length) {
    PngCall& call = *static_cast<PngCall*>(png_get_io_ptr(png));
    if (length > call.inputSize - call.inputPos) {
        // Nothing beyond the caller's data is read: the image is cut short.
        try {
            KV_ASSERT_FAILED("libpng read off the end of the input");
        } catch (...) {
        }
        png_error(png, "the PNG data ends too early");
    }
    std::memcpy(data, call.input + call.inputPos, length);
    call.inputPos += length;
}

// ---- The calls into libpng ----------------------------------------------------------------------

struct WriteArgs {
    const std::uint8_t* pixels;
    std::int32_t width;
    std::int32_t height;
    std::int32_t rowStride;
    const char* text;
    bool alpha;
};

bool RunWrite(PngCall* call, const WriteArgs* args) {
    call->reading = false;
    call->png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, call, OnPngError, OnPngWarning,
                                          call, PngAlloc, PngFree);
    if (!call->png) {
        SetDetail(*call, "create_write failed");
        return false;
    }
    call->info = png_create_info_struct(call->png);
    if (!call->info) {
        SetDetail(*call, "create_write_info failed");
        return false;
    }
    if (setjmp(png_jmpbuf(call->png)))
        return false;

    if (args->text && args->text[0]) {
        png_text entry{};
        entry.compression = PNG_TEXT_COMPRESSION_zTXt;
        entry.key = const_cast<char*>(kPngEncodingKey);
        entry.text = const_cast<char*>(args->text);
        entry.text_length = std::strlen(args->text);
        png_set_text(call->png, call->info, &entry, 1);
    }
    png_set_write_fn(call->png, call, OnPngWrite, OnPngFlush);
    png_set_write_status_fn(call->png, OnRowWritten);
    png_set_IHDR(call->png, call->info, static_cast<png_uint_32>(args->width),
                 static_cast<png_uint_32>(args->height), 8,
                 args->alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // The text chunk goes before the image data.
    png_write_info(call->png, call->info);
    // RGBA rows are already 4 bytes a pixel; RGB rows carry a filler byte ahead of each pixel.
    if (!args->alpha)
        png_set_filler(call->png, 0, PNG_FILLER_BEFORE);
    png_write_image(call->png, call->rows);
    png_write_end(call->png, call->info);
    return true;
}

struct ReadArgs {
    bool wantText;
    bool checkSize;
    std::int32_t width; // expected, when checkSize
    std::int32_t height;
};

// Reads up to the image data: the header, its checks and the text.
bool RunReadHeader(PngCall* call, const ReadArgs* args) {
    call->reading = true;
    call->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, call, OnPngError, OnPngWarning,
                                         call, PngAlloc, PngFree);
    if (!call->png) {
        SetDetail(*call, "png_create_read_struct failed");
        return false;
    }
    call->info = png_create_info_struct(call->png);
    if (!call->info) {
        SetDetail(*call, "read_info_ptr failed");
        return false;
    }
    call->endInfo = png_create_info_struct(call->png);
    if (!call->endInfo) {
        SetDetail(*call, "end_info_ptr failed");
        return false;
    }
    if (setjmp(png_jmpbuf(call->png)))
        return false;

    png_set_read_fn(call->png, call, OnPngRead);
    png_set_read_status_fn(call->png, OnRowRead);
    png_read_info(call->png, call->info);
    int bitDepth = 0;
    int interlace = 0;
    png_get_IHDR(call->png, call->info, &call->width, &call->height, &bitDepth, &call->colorType,
                 &interlace, nullptr, nullptr);
    if (bitDepth != 8 ||
        (call->colorType != PNG_COLOR_TYPE_RGB && call->colorType != PNG_COLOR_TYPE_RGB_ALPHA)) {
        SetDetail(*call, "bit depth or color type unusable");
        return false;
    }
    if (static_cast<std::uint64_t>(call->width) * call->height * 4 > kPngMaxPixelBytes) {
        SetDetail(*call, "image too large");
        return false;
    }
    // Deflate makes at most 1032 bytes of one: image data too short to hold the rows announced is
    // refused before their pixels are allocated, so memory follows the file's size.
    const int channels = call->colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 3;
    if (static_cast<std::uint64_t>(call->height) *
            (1 + static_cast<std::uint64_t>(call->width) * channels) >
        1032 * call->imageDataBytes + 64) {
        SetDetail(*call, "image data too short for its size");
        return false;
    }
    if (args->checkSize && (call->width != static_cast<png_uint_32>(args->width) ||
                            call->height != static_cast<png_uint_32>(args->height))) {
        SetDetail(*call, "height or width don't conform to other clues");
        return false;
    }
    if (args->wantText) {
        png_textp texts = nullptr;
        const int count = png_get_text(call->png, call->info, &texts, nullptr);
        for (int i = 0; i < count; ++i) {
            if (texts[i].key && std::strcmp(texts[i].key, kPngEncodingKey) == 0) {
                call->text = texts[i].text;
                call->textLength = texts[i].text ? texts[i].text_length : 0;
                break;
            }
        }
    }
    return true;
}

// Decodes the rows (call->rows set by the caller) and reads to the end of the file.
bool RunReadRows(PngCall* call, bool wantText) {
    if (setjmp(png_jmpbuf(call->png)))
        return false;
    if (call->colorType == PNG_COLOR_TYPE_RGB)
        png_set_filler(call->png, 0, PNG_FILLER_BEFORE);
    png_set_interlace_handling(call->png);
    png_read_update_info(call->png, call->info);
    if (png_get_rowbytes(call->png, call->info) != static_cast<png_size_t>(call->width) * 4) {
        SetDetail(*call, "bit depth or color type unusable");
        return false;
    }
    png_read_image(call->png, call->rows);
    png_read_end(call->png, call->endInfo);
    // A writer may put its text after the image data.
    if (wantText && !call->text) {
        png_textp texts = nullptr;
        const int count = png_get_text(call->png, call->endInfo, &texts, nullptr);
        for (int i = 0; i < count; ++i) {
            if (texts[i].key && std::strcmp(texts[i].key, kPngEncodingKey) == 0) {
                call->text = texts[i].text;
                call->textLength = texts[i].text ? texts[i].text_length : 0;
                break;
            }
        }
    }
    return true;
}

// Points call.rows at height rows of `pixels`, rowStride apart.
bool MakeRows(PngCall& call, std::uint8_t* pixels, std::size_t height, std::size_t rowStride) {
    call.rows = static_cast<png_bytep*>(AllocClearArray(0, height, sizeof(png_bytep)));
    if (!call.rows) {
        SetDetail(call, "not enough memory for the rows");
        return false;
    }
    for (std::size_t i = 0; i < height; ++i)
        call.rows[i] = pixels + i * rowStride;
    return true;
}

// Walks the chunks of a PNG file's bytes: false when one announces more bytes than the file has
// left (libpng would allocate what it announces before finding the bytes missing). Adds up the
// lengths of the image data chunks.
bool ChunksFitTheData(PngCall& call) {
    const std::uint8_t* p = call.input;
    std::size_t left = call.inputSize;
    if (p == nullptr || left < 8)
        return true; // not a PNG file: libpng says so
    p += 8;
    left -= 8;
    while (left >= 8) {
        const std::uint64_t length = (std::uint64_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
        if (length + 12 > left) {
            SetDetail(call, "a chunk is longer than the file");
            return false;
        }
        if (std::memcmp(p + 4, "IDAT", 4) == 0)
            call.imageDataBytes += length;
        if (std::memcmp(p + 4, "IEND", 4) == 0)
            break;
        p += 12 + length;
        left -= static_cast<std::size_t>(12 + length);
    }
    return true;
}

// Reads `data` into rows made by `place` (width, height, row bytes) -> pixel block or null.
template <class Place>
void ReadPng(const std::uint8_t* data, std::size_t size, const ReadArgs& args, Place&& place,
             std::string* text) {
    PngCall call;
    CallGuard guard(call);
    call.input = data;
    call.inputSize = data ? size : 0;
    if (!ChunksFitTheData(call) || !RunReadHeader(&call, &args))
        FailCall(call);
    const std::size_t rowBytes = static_cast<std::size_t>(call.width) * 4;
    std::size_t rowStride = rowBytes;
    std::uint8_t* pixels = place(static_cast<std::int32_t>(call.width),
                                 static_cast<std::int32_t>(call.height), rowStride, call);
    if (!pixels || !MakeRows(call, pixels, call.height, rowStride))
        FailCall(call);
    if (!RunReadRows(&call, text != nullptr))
        FailCall(call);
    if (text)
        text->assign(call.text ? call.text : "", call.text ? call.textLength : 0);
}

} // namespace

void WritePngToMemory(std::vector<std::uint8_t>& out, const std::uint8_t* pixels,
                      std::int32_t width, std::int32_t height, std::int32_t rowStride,
                      const char* encodingText, bool alpha) {
    PngCall call;
    CallGuard guard(call);
    if (!pixels || width <= 0 || height <= 0 ||
        static_cast<std::int64_t>(rowStride) < static_cast<std::int64_t>(width) * 4) {
        SetDetail(call, "image size unusable");
        FailCall(call);
    }
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4 >
        kPngMaxPixelBytes) {
        SetDetail(call, "image too large");
        FailCall(call);
    }
    // libpng only reads the rows.
    if (!MakeRows(call, const_cast<std::uint8_t*>(pixels), static_cast<std::size_t>(height),
                  static_cast<std::size_t>(rowStride)))
        FailCall(call);
    const WriteArgs args{pixels, width, height, rowStride, encodingText, alpha};
    if (!RunWrite(&call, &args))
        FailCall(call);

    std::vector<std::uint8_t> file(call.total);
    std::size_t at = 0;
    for (OutBlock* block = call.first; block; block = block->next) {
        std::memcpy(file.data() + at, block->data(), block->used);
        at += block->used;
    }
    out.swap(file);
}

void ReadPngFromMemory(std::vector<std::uint8_t>& pixels, std::int32_t& width, std::int32_t& height,
                       std::int32_t& rowBytes, const std::uint8_t* data, std::size_t size,
                       std::string& encodingText) {
    std::vector<std::uint8_t> block;
    std::string text;
    std::int32_t w = 0;
    std::int32_t h = 0;
    const ReadArgs args{true, false, 0, 0};
    ReadPng(
        data, size, args,
        [&](std::int32_t imageWidth, std::int32_t imageHeight, std::size_t& rowStride,
            PngCall&) -> std::uint8_t* {
            w = imageWidth;
            h = imageHeight;
            block.assign(rowStride * static_cast<std::size_t>(imageHeight), 0);
            return block.data();
        },
        &text);
    pixels.swap(block);
    encodingText.swap(text);
    width = w;
    height = h;
    rowBytes = w * 4;
}

void ReadPngFromMemory(std::uint8_t* pixels, std::size_t capacity, std::int32_t& width,
                       std::int32_t& height, std::int32_t& rowBytes, const std::uint8_t* data,
                       std::size_t size, std::string& encodingText) {
    std::string text;
    std::int32_t w = 0;
    std::int32_t h = 0;
    const ReadArgs args{true, false, 0, 0};
    ReadPng(
        data, size, args,
        [&](std::int32_t imageWidth, std::int32_t imageHeight, std::size_t& rowStride,
            PngCall& call) -> std::uint8_t* {
            w = imageWidth;
            h = imageHeight;
            if (!pixels || rowStride * static_cast<std::size_t>(imageHeight) > capacity) {
                SetDetail(call, "the image does not fit the pixel block");
                return nullptr;
            }
            return pixels;
        },
        &text);
    encodingText.swap(text);
    width = w;
    height = h;
    rowBytes = w * 4;
}

void ReadPngIntoPixels(std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                       std::int32_t rowStride, const std::uint8_t* data, std::size_t size) {
    if (!pixels || width <= 0 || height <= 0 ||
        static_cast<std::int64_t>(rowStride) < static_cast<std::int64_t>(width) * 4) {
        SetErrorDetail("image size unusable");
        Fail(errPngFailure);
    }
    const ReadArgs args{false, true, width, height};
    ReadPng(
        data, size, args,
        [&](std::int32_t, std::int32_t, std::size_t& stride, PngCall&) -> std::uint8_t* {
            stride = static_cast<std::size_t>(rowStride);
            return pixels;
        },
        nullptr);
}
