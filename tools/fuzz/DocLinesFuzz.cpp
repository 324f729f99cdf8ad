// libFuzzer target for the document lines: the keyed-line records of a document file with the
// expression encoding inside, read as a document, an EPS export or foreign text is, with the
// picture-text reader the program installs for the pictures of opaque leaves. Every input
// must give an expression or a clean Fail (damaged data, no expression, too many fonts); an
// expression that was read must write out again as document lines and read back, with the
// records of a later version that the reader kept.
//
//   CC=clang CXX=clang++ cmake -B build-fuzz -G Ninja -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
//   cmake --build build-fuzz --target kv_fuzz_doclines
//   ./build-fuzz/tests/kv_fuzz_doclines new-inputs/ tools/fuzz/corpus/doclines/

#include "FuzzTemplates.h"
#include "OverPc/PERROR.h"
#include "OverPc/PPICTEXT.h"
#include "OverSrcs/documents/DocLines.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oStreams.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RegisterFuzzTemplates();
    InstallFuzzPictureCodec();
    // A newer version number would stop at the newer-version note's box: every version is made
    // the current one.
    std::string text(reinterpret_cast<const char*>(data), size);
    const std::string start = std::string(kEncodingStart) + "#";
    for (size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1))
        text.replace(at + start.size(), std::min<size_t>(3, text.size() - at - start.size()),
                     "b @");
    DocumentLines lines;
    const int code = CatchFail([&] {
        lines = ReadDocumentLinesFromMemory(text.data(), static_cast<std::uint32_t>(text.size()),
                                            true);
    });
    if (code != 0) {
        if (code != errDataCorrupted && code != kNoExpressionInText && code != errTooManyFonts)
            std::abort();
        return 0;
    }
    if (lines.expression == nullptr)
        std::abort();
    std::string again;
    const int writeCode = CatchFail([&] {
        oOStreamPtr out(NewOMemoryStream(0));
        const Zone* zone = lines.windowZone ? &*lines.windowZone : nullptr;
        WriteDocumentLines(*out, lines.expression.get(), lines.background, zone, lines.options,
                           &lines.unknownRecords);
        again = static_cast<oOMemoryStream*>(out.release())->detachString();
    });
    if (writeCode != 0)
        std::abort();
    DocumentLines back;
    if (CatchFail([&] {
            back = ReadDocumentLinesFromMemory(again.data(),
                                               static_cast<std::uint32_t>(again.size()), true);
        }) != 0)
        std::abort();
    // What the program writes it reads back: the records of a later version too.
    if (back.unknownRecords != lines.unknownRecords)
        std::abort();
    return 0;
}
