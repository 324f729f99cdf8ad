// libFuzzer target for the keyed-line record reader. Handlers of every shape read the input:
// numbers with an optional field, text, continuation lines and a record running over several lines.
// A read never fails and never leaves the data. The same bytes are also read as plain lines (the
// function-name file's reading): every line is bounded and together they cover the data.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKV_SANITIZE=ON
//   -DCMAKE_BUILD_TYPE=Debug cmake --build build-fuzz --target kv_fuzz_reader
//   ./build-fuzz/tests/kv_fuzz_reader new-inputs/ tools/fuzz/corpus/reader/

#include "OverPc/PERROR.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Numbers(oReader& r, void*) {
    r.getNumber();
    r.getNumber();
    while (r.hasMore()) {
        r.getNumber();
    }
}

void Text(oReader& r, void*) {
    if (r.restOfLine(255).size() > 255) {
        std::abort();
    }
}

void Continued(oReader& r, void*) {
    std::string line = r.restOfLine(64);
    for (int i = 0; i < 1000 && r.continuationLine(line, 64); ++i) {
        if (line.size() > 64) {
            std::abort();
        }
    }
}

void RunOn(oReader& r, void*) {
    r.stream().skipTo('[');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    oReader reader;
    oInstallReaderHandler(reader, "Nm", Numbers, nullptr);
    oInstallReaderHandler(reader, "Tx", Text, nullptr);
    oInstallReaderHandler(reader, "Ct", Continued, nullptr);
    oInstallReaderHandler(reader, "Ex", RunOn, nullptr);
    oIStreamPtr in(NewIMemoryStream(data, static_cast<std::uint32_t>(size)));
    const int code = CatchFail([&] { reader.read(*in); });
    if (code != 0 || in->tell() != static_cast<std::int32_t>(size)) {
        std::abort();
    }
    if (reader.recordsFailed() > 0 && reader.firstFailure() != errDataCorrupted) {
        std::abort();
    }
    // Plain lines: each at most the bound, and their bytes plus line ends account for the input.
    struct Lines {
        std::size_t bytes = 0;
        std::size_t count = 0;
    } lines;
    oIStreamPtr plain(NewIMemoryStream(data, static_cast<std::uint32_t>(size)));
    oReader::readPlainLines(
        *plain, 16,
        [](std::string_view line, bool overLong, void* context) {
            if (line.size() > 16 || (overLong && line.size() != 16))
                std::abort();
            auto* out = static_cast<Lines*>(context);
            out->bytes += line.size();
            ++out->count;
        },
        &lines);
    if (lines.bytes > size || lines.count > size + 1)
        std::abort();
    return 0;
}
