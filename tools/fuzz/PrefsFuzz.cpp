// libFuzzer target for the preference file readers: general.prf, keys.prf, palette.prf, the
// record of installed shipped files and the record of recovery copies. Any
// input reads without failing; what was read, written again, reads back without damage and to the
// same bytes.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKV_SANITIZE=ON
//   -DCMAKE_BUILD_TYPE=Debug cmake --build build-fuzz --target kv_fuzz_prefs
//   ./build-fuzz/tests/kv_fuzz_prefs new-inputs/ tools/fuzz/corpus/prefs/

#include "App/Recovery.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/commands/kPrefs.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/oStreams.h"

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

std::string written() {
    oOMemoryStream* out = NewOMemoryStream(0);
    WriteGeneralPrefs(*out);
    return out->detachString();
}

GeneralPrefsReadResult readText(const std::string& text) {
    oIMemoryStream in(reinterpret_cast<const std::uint8_t*>(text.data()),
                      static_cast<std::uint32_t>(text.size()));
    return ReadGeneralPrefs(in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20))
        return 0;
    ResetGeneralPrefs();
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (CatchFail([&] { readText(input); }) != 0)
        std::abort(); // the reader never fails: damaged records are skipped
    // The wide structure is written as held but read as off: from the second writing on, the
    // bytes stay the same.
    const std::string first = written();
    ResetGeneralPrefs();
    if (readText(first).damaged())
        std::abort();
    const std::string second = written();
    ResetGeneralPrefs();
    if (readText(second).damaged() || written() != second)
        std::abort();

    // The record of installed shipped files: its names, written one a line, read back the same.
    const std::set<std::string> names = ParseInstalledRecord(input);
    std::string lines;
    for (const std::string& name : names) {
        if (name.find('\n') != std::string::npos || name.empty())
            std::abort();
        lines += name + "\n";
    }
    if (ParseInstalledRecord(lines) != names)
        std::abort();

    // The record of recovery copies: every entry has a copy, and what reads is written back and
    // reads the same.
    const std::vector<RecoveryEntry> recovered = ParseRecoveryRecord(input);
    for (const RecoveryEntry& e : recovered) {
        if (e.copy.empty() || (e.identity.known && e.original.empty()))
            std::abort();
    }
    const std::string record = FormatRecoveryRecord(recovered);
    if (ParseRecoveryRecord(record) != recovered || FormatRecoveryRecord(recovered) != record)
        std::abort();

    // The record of unmarked siblings: what reads is written back and reads the same.
    const std::vector<RecordedSibling> siblings = ParseSiblingRecord(input);
    for (const RecordedSibling& e : siblings) {
        if (e.path.empty() || e.path.find('\n') != std::string::npos || e.born.empty() ||
            (e.pending && (e.complete || e.boot.empty() || e.writer <= 0)))
            std::abort();
    }
    if (ParseSiblingRecord(FormatSiblingRecord(siblings)) != siblings)
        std::abort();

    KeyMapTable map = DefaultKeyMap();
    oIMemoryStream keys(data, static_cast<std::uint32_t>(size));
    const KeyMapReadResult result = ReadKeyMap(keys, map);
    if (result.accepted && map[0] != 0)
        std::abort();

    // palette.prf: a damaged file changes no palette; one that reads is written back the same.
    ResetPalettes();
    const PaletteRecord builtIn = MainPalette();
    oIMemoryStream palettes(data, static_cast<std::uint32_t>(size));
    const PalettePrefsReadResult read = ReadPalettePrefs(palettes);
    if (read.damaged()) {
        if (!(MainPalette() == builtIn))
            std::abort();
        return 0;
    }
    oOMemoryStream* out = NewOMemoryStream(0);
    WritePalettePrefs(*out);
    const std::string once = out->detachString();
    oIMemoryStream again(reinterpret_cast<const std::uint8_t*>(once.data()),
                         static_cast<std::uint32_t>(once.size()));
    if (ReadPalettePrefs(again).damaged())
        std::abort();
    oOMemoryStream* out2 = NewOMemoryStream(0);
    WritePalettePrefs(*out2);
    if (out2->detachString() != once)
        std::abort();
    return 0;
}
