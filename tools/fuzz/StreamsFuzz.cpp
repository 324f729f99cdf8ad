// libFuzzer target for the stream readers: compact numbers, lines, hexadecimal and skipping over
// outside bytes. Every input must end in a normal return or a clean Fail with errDataCorrupted.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
//   cmake --build build-fuzz --target kv_fuzz_streams
//   ./build-fuzz/tests/kv_fuzz_streams new-inputs/ tools/fuzz/corpus/streams/

#include "OverPc/PERROR.h"
#include "OverSrcs/oStreams.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the sequence of reads; the rest is the stream's content.
    const std::uint8_t plan = data[0];
    oIStreamPtr in(NewIMemoryStream(data + 1, static_cast<std::uint32_t>(size - 1)));
    const int code = CatchFail([&] {
        for (int step = 0; step < 64; ++step) {
            char line[16];
            std::uint32_t a = 0, b = 0;
            std::uint8_t bytes[8];
            std::int32_t count = 0;
            switch ((plan >> (step % 4 * 2)) & 3) {
            case 0:
                in->getNumber();
                break;
            case 1:
                in->getLine(line, sizeof line, '}');
                break;
            case 2:
                in->getHexPair(a, b);
                in->getHexBytes(bytes, sizeof bytes);
                break;
            default:
                in->getBytes(bytes, sizeof bytes, count);
                in->skipTo(']');
                break;
            }
            if (in->tell() < 0 || in->tell() > static_cast<std::int32_t>(size - 1)) {
                std::abort();
            }
        }
    });
    if (code != 0 && code != errDataCorrupted) {
        std::abort();
    }
    return 0;
}
