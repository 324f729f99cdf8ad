// libFuzzer target for the embedded object's readers: the compound file of an object's storage,
// rich text with an object, and the comment scan of metafile files (which also finds another
// editor's equation). Any bytes give a storage, an expression or nothing, never a read outside
// them, an endless walk or a crash. The input is read in every form, so one corpus serves all.
//
//   CC=clang CXX=clang++ cmake -B build-fuzz -G Ninja -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
//   cmake --build build-fuzz --target kv_fuzz_olertf
//   ./build-fuzz/tests/kv_fuzz_olertf new-inputs/ tools/fuzz/corpus/olertf/

#include "FuzzTemplates.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverSrcs/documents/CompoundFile.h"
#include "OverSrcs/documents/OleData.h"
#include "OverSrcs/documents/RtfText.h"
#include "OverSrcs/etEncode.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RegisterFuzzTemplates();
    CompoundFile file;
    if (ReadCompoundFile(data, size, file)) {
        std::size_t total = 0;
        for (const CompoundStream& s : file.streams)
            total += s.data.size();
        if (total > size)
            std::abort(); // streams never hold more than their sectors can
        // What was read writes out again and reads back as the same streams.
        const std::vector<std::uint8_t> again = WriteCompoundFile(file);
        CompoundFile reread;
        if (!again.empty()) {
            if (!ReadCompoundFile(again.data(), again.size(), reread))
                std::abort();
            auto key = [](const CompoundStream& a, const CompoundStream& b) {
                return a.name != b.name ? a.name < b.name : a.data < b.data;
            };
            std::sort(file.streams.begin(), file.streams.end(), key);
            std::sort(reread.streams.begin(), reread.streams.end(), key);
            if (reread.streams.size() != file.streams.size())
                std::abort();
            for (std::size_t i = 0; i < file.streams.size(); ++i)
                if (reread.streams[i].name != file.streams[i].name ||
                    reread.streams[i].data != file.streams[i].data)
                    std::abort();
        }
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
