// libFuzzer target for the bytes of incoming selection transfers, as the X back end puts them
// together from the property values another client writes (one answer, or the chunks of an
// incremental transfer): whatever the formats and counts, no more than the limit + 1 bytes are
// kept, the items given are kept exactly while under it, a change of format is refused, and atom
// lists are read within the bytes. No display is needed.
//
//   cmake --build build-fuzz --target kv_fuzz_selection
//   ./build-fuzz/tests/kv_fuzz_selection new-inputs/ tools/fuzz/corpus/selection/

#include "core/sys/SelectionData.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    // Small limits, so that the bound is reached by small inputs.
    const std::size_t limit = 1 + static_cast<std::size_t>(data[0]) * 37;
    plat::core::SelectionData all(limit);
    std::vector<std::uint8_t> expected;
    static const int kFormats[] = {8, 16, 32, 0, 24};
    std::size_t at = 1;
    while (at + 3 <= size) {
        const int format = kFormats[data[at] % 5];
        const std::size_t count = data[at + 1] | (static_cast<std::size_t>(data[at + 2]) << 8);
        at += 3;
        // The items as the client library lays them out: a 32-bit item takes a C long.
        const std::size_t unit = std::max<std::size_t>(plat::core::PropertyItemBytes(format), 1);
        std::vector<unsigned char> items(count * unit, 0);
        const std::size_t taken = std::min(items.size(), size - at);
        if (taken != 0)
            std::memcpy(items.data(), data + at, taken);
        at += taken;
        const int before = all.format();
        const bool added = all.add(format, items.empty() ? nullptr : items.data(),
                                   static_cast<unsigned long>(count));
        const bool usable = plat::core::PropertyItemBytes(format) != 0;
        if (added != (usable && (before == 0 || before == format)))
            std::abort();
        if (added)
            expected.insert(expected.end(), items.begin(), items.end());
    }
    const std::vector<std::uint8_t>& kept = all.bytes();
    if (kept.size() > limit + 1 || all.overflowed() != (expected.size() > kept.size()))
        std::abort();
    if (!std::equal(kept.begin(), kept.end(), expected.begin()))
        std::abort();
    const std::vector<unsigned long> atoms = plat::core::AtomsOf(all.format(), kept);
    if (atoms.size() != (all.format() == 32 ? kept.size() / sizeof(long) : 0))
        std::abort();
    return 0;
}
