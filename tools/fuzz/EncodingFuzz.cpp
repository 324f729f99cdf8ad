// libFuzzer target for the expression encoding reader. Every input must end in a tree or a clean
// Fail (errDataCorrupted, or errTooManyFonts for a 51st font); a tree that was read must write
// out again and read back.
//
//   CC=clang CXX=clang++ cmake -B build-fuzz -G Ninja -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
//   cmake --build build-fuzz --target kv_fuzz_encoding
//   ./build-fuzz/tests/kv_fuzz_encoding new-inputs/ tools/fuzz/corpus/encoding/

#include "FuzzTemplates.h"
#include "OverPc/PERROR.h"
#include "OverSrcs/etEncode.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RegisterFuzzTemplates();
    // Inputs that only change the version would stop at the newer-version note's box.
    const std::string text = std::string("]|Expr|[#b @") +
                             std::string(reinterpret_cast<const char*>(data), size) + "]|[";
    ExprPtr tree;
    const int code =
        CatchFail([&] { tree = ReadExprEncodingFromMemory(text.data(), text.size()); });
    if (code != 0) {
        if (code != errDataCorrupted && code != errTooManyFonts)
            std::abort();
        return 0;
    }
    std::string again;
    if (CatchFail([&] { again = ExprEncodingText(tree.get()); }) != 0)
        std::abort();
    ExprPtr back;
    if (CatchFail([&] { back = ReadExprEncodingFromMemory(again.data(), again.size()); }) != 0)
        std::abort();
    return 0;
}
