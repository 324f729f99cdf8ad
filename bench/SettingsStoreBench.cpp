// The settings store with many sections: the first call of a start (the file read and parsed) and
// the calls after it (answered from the parsed store), for files of 1,000, 15,000 and 100,000
// sections of one value each (15,000 sections make a file of about 800 KB). The file here was just
// written, so the later reads compare its bytes with the parsed ones; a file whose time stamps are
// a few seconds old is not even read again.
#include "plat/Registry.h"
#include "plat/TestingSys.h"
#include "platform/SysTempDir.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

struct StoreFile {
    kvtest::SysTempDir dir;
    kvtest::ScopedEnv env{"KV_REGISTRY_DIR", dir.path()};
    explicit StoreFile(int sections) {
        std::string text;
        for (int i = 0; i < sections; ++i)
            text += "[HKEY_CURRENT_USER\\Software\\S" + std::to_string(i) +
                    "]\n\"v\"=dword:00000001\n";
        kvtest::WriteFileBytes(plat::testing::registryFilePath(), text);
    }
};

// Opens the last section and reads its value, as start-up reads its settings.
void readOneSetting(int sections) {
    const std::string path = "Software\\S" + std::to_string(sections - 1);
    plat::HKEY key = nullptr;
    if (plat::RegOpenKeyEx(plat::HKEY_CURRENT_USER, path.c_str(), 0, plat::KEY_READ, &key) !=
        plat::ERROR_SUCCESS)
        return;
    plat::DWORD value = 0, size = 4;
    plat::RegQueryValueEx(key, "v", nullptr, nullptr, reinterpret_cast<plat::BYTE*>(&value),
                          &size);
    benchmark::DoNotOptimize(value);
    plat::RegCloseKey(key);
}

void BM_FirstRead(benchmark::State& state) {
    const int sections = static_cast<int>(state.range(0));
    StoreFile file(sections);
    for (auto _ : state) {
        plat::testing::forgetRegistryCache();
        readOneSetting(sections);
    }
}
BENCHMARK(BM_FirstRead)->Arg(1000)->Arg(15000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LaterRead(benchmark::State& state) {
    const int sections = static_cast<int>(state.range(0));
    StoreFile file(sections);
    readOneSetting(sections);
    for (auto _ : state)
        readOneSetting(sections);
}
BENCHMARK(BM_LaterRead)->Arg(1000)->Arg(15000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
