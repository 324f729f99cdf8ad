// libFuzzer target for the embedded object's readers: the compound file of an object's storage,
// rich text with an object, and the comment scan of metafile files (which also finds another
// editor's equation). Any bytes give a storage, an expression or nothing, never a read outside
// them, an endless walk or a crash. The input is read in every form, so one corpus serves all.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKV_SANITIZE=ON
//   -DCMAKE_BUILD_TYPE=Debug cmake --build build-fuzz --target kv_fuzz_olertf
//   ./build-fuzz/tests/kv_fuzz_olertf new-inputs/ tools/fuzz/corpus/olertf/

#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverSrcs/documents/CompoundFile.h"
#include "OverSrcs/documents/OleData.h"
#include "OverSrcs/documents/RtfText.h"
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
    CompoundFile file;
    if (ReadCompoundFile(data, size, file)) {
        std::size_t total = 0;
        for (const CompoundStream& s : file.streams)
            total += s.data.size();
        if (total > size)
            std::abort(); // streams never hold more than their sectors can
    }
    // Encodings that fail to read report through the error environment, as in the program.
    CatchFail([&] {
        ExprPtr expr = ExprFromObjectStorage(data, size);
        ExprPtr fromMetafile = ExprFromMetafileBytes(data, size);
        ExprPtr fromRtf = ExprFromRtf(reinterpret_cast<const char*>(data), size);
        if (fromRtf && ExprEncodingText(fromRtf.get()).empty())
            std::abort();
    });
    return 0;
}
