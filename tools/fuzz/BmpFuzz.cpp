// libFuzzer target for BMP files as File > Open reads them: the file header is checked against the
// bytes; the packed bitmap after it, in a block of its own size as the program hands it on, gives
// the expression written after its pixel bits or nothing, and as a picture (a bitmap pasted or kept
// in a document) a picture or nothing; never a read outside the bytes or a failure that escapes.
//
//   cmake --build build-fuzz --target kv_fuzz_bmp
//   ./build-fuzz/tests/kv_fuzz_bmp new-inputs/ tools/fuzz/corpus/bmp/

#include "FuzzTemplates.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PPICTEXT.h"
#include "OverSrcs/etEncode.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RegisterFuzzTemplates();
    std::size_t offset = 0, dibSize = 0;
    if (!CheckBitmapFile(data, size, offset, dibSize))
        return 0;
    if (offset > size || dibSize > size - offset)
        std::abort();
    const std::vector<std::uint8_t> dib(data + offset, data + offset + dibSize);
    CatchFail([&] { ReadEncodingFromDib(dib.data(), dib.size()); });
    CatchFail([&] { PictureFromPackedDib(dib.data(), dib.size()); });
    return 0;
}
