// libFuzzer target for the reader of the system's memory figures (/proc/meminfo): any text gives a
// byte count or -1, never a crash or a negative count other than -1.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
//   cmake --build build-fuzz --target kv_fuzz_meminfo
//   ./build-fuzz/tests/kv_fuzz_meminfo new-inputs/ tools/fuzz/corpus/meminfo/

#include "OverSrcs/oUtil.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const long long bytes =
        AvailableMemoryBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    if (bytes < -1)
        std::abort();
    return 0;
}
