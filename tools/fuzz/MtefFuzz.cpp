// libFuzzer target for the MTEF reader: any bytes must give an expression or null, never a crash,
// and an expression that was read must write out as the program's encoding.
//
//   CC=clang CXX=clang++ cmake -B build-fuzz -G Ninja -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
//   cmake --build build-fuzz --target kv_fuzz_mtef
//   ./build-fuzz/tests/kv_fuzz_mtef new-inputs/ tools/fuzz/corpus/mtef/

#include "FuzzTemplates.h"
#include "OverSrcs/documents/MTEF5Parser.h"
#include "OverSrcs/etEncode.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RegisterFuzzTemplates();
    ExprPtr expr = ReadMtefDocument(data, size);
    if (expr && ExprEncodingText(expr.get()).empty())
        std::abort();
    return 0;
}
