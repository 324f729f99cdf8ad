// libFuzzer target for the MTEF reader: any bytes must give an expression or null, never a crash,
// and an expression that was read must write out as the program's encoding.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKV_SANITIZE=ON
//   -DCMAKE_BUILD_TYPE=Debug cmake --build build-fuzz --target kv_fuzz_mtef
//   ./build-fuzz/tests/kv_fuzz_mtef new-inputs/ tools/fuzz/corpus/mtef/

#include "OverSrcs/documents/MTEF5Parser.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/etEncode.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool Registered() {
    RegisterFractionTemplates();
    RegisterFenceTemplates();
    RegisterScriptTemplates();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = Registered();
    (void)registered;
    ExprPtr expr = ReadMtefDocument(data, size);
    if (expr && ExprEncodingText(expr.get()).empty())
        std::abort();
    return 0;
}
