// libFuzzer target for the expression encoding reader. Every input must end in a tree or a clean
// Fail (errDataCorrupted, or errTooManyFonts for a 51st font); a tree that was read must write
// out again and read back. A memory stream is read through its bytes; a class derived from it
// answers through the stream's calls instead, and both ways must end alike (same error, same
// position, same text written from the tree).
//
//   CC=clang CXX=clang++ cmake -B build-fuzz -G Ninja -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
//   cmake --build build-fuzz --target kv_fuzz_encoding
//   ./build-fuzz/tests/kv_fuzz_encoding new-inputs/ tools/fuzz/corpus/encoding/

#include "FuzzTemplates.h"
#include "OverPc/PERROR.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oStreams.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class CalledMemoryStream : public oIMemoryStream {
public:
    using oIMemoryStream::oIMemoryStream;
};

// The outcome of a read: the error, the position where it stopped and the tree written out.
struct Outcome {
    int code = 0;
    std::int32_t position = 0;
    std::string text;
    bool operator==(const Outcome&) const = default;
};

template <class Stream> Outcome ReadThrough(const std::string& text, ExprPtr* keep) {
    Stream stream(reinterpret_cast<const std::uint8_t*>(text.data()),
                  static_cast<std::uint32_t>(text.size()));
    Outcome outcome;
    ExprPtr tree;
    outcome.code = CatchFail([&] { tree = ReadExprEncoding(stream); });
    outcome.position = stream.tell();
    if (tree != nullptr && CatchFail([&] { outcome.text = ExprEncodingText(tree.get()); }) != 0)
        std::abort();
    if (keep != nullptr)
        *keep = std::move(tree);
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RegisterFuzzTemplates();
    // Inputs that only change the version would stop at the newer-version note's box.
    const std::string text = std::string("]|Expr|[#b @") +
                             std::string(reinterpret_cast<const char*>(data), size) + "]|[";
    ExprPtr tree;
    const Outcome direct = ReadThrough<oIMemoryStream>(text, &tree);
    if (!(direct == ReadThrough<CalledMemoryStream>(text, nullptr)))
        std::abort();
    const int code = direct.code;
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
