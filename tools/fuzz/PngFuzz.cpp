// libFuzzer target for PNG files as File > Open reads them: any bytes are either decoded (pixels,
// then the expression of the encoding chunk read as document lines, pictures of opaque leaves
// through the picture-text reader) or refused with a clean Fail; never a read outside the bytes,
// an allocation beyond the pixel bound or a failure that escapes.
//
//   cmake --build build-fuzz --target kv_fuzz_png
//   ./build-fuzz/tests/kv_fuzz_png new-inputs/ tools/fuzz/corpus/png/

#include "FuzzTemplates.h"
#include "OverPc/PERROR.h"
#include "OverPc/PPICTEXT.h"
#include "OverSrcs/documents/DocLines.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oPNG.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RegisterFuzzTemplates();
    InstallFuzzPictureCodec();
    std::vector<std::uint8_t> pixels;
    std::int32_t width = 0, height = 0, rowBytes = 0;
    std::string text;
    if (CatchFail([&] { ReadPngFromMemory(pixels, width, height, rowBytes, data, size, text); }) !=
        0)
        return 0;
    if (width <= 0 || height <= 0 || rowBytes != width * 4 ||
        pixels.size() != static_cast<std::size_t>(height) * static_cast<std::size_t>(rowBytes))
        std::abort();
    // Read again into rows of the announced size, for images of a size pictures have (a second
    // copy of the largest images would only hold memory).
    if (pixels.size() <= (std::size_t{16} << 20)) {
        std::vector<std::uint8_t> rows(pixels.size());
        CatchFail([&] { ReadPngIntoPixels(rows.data(), width, height, rowBytes, data, size); });
    }
    if (!text.empty()) {
        CatchFail([&] {
            ReadDocumentLinesFromMemory(text.data(), static_cast<std::uint32_t>(text.size()));
        });
    }
    return 0;
}
