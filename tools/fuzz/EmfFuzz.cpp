// libFuzzer target for the metafile readers: any bytes are either refused (SetEnhMetaFileBits,
// SetMetaFileBitsEx) or enumerated and played onto a small bitmap without reading outside them;
// played into a recording they never add more than the bound known from their records.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
//   cmake --build build-fuzz --target kv_fuzz_emf
//   ./build-fuzz/tests/kv_fuzz_emf new-inputs/ tools/fuzz/corpus/emf/

#include "plat/Gdi.h"
#include "plat/Metafile.h"

#include <cstdint>

namespace {

int countRecord(plat::HDC, plat::HANDLETABLE*, const plat::ENHMETARECORD* record, int,
                plat::LPARAM data) {
    *reinterpret_cast<std::uint32_t*>(data) += record->nSize;
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 20)
        return 0;
    plat::HDC dc = plat::CreateCompatibleDC(nullptr);
    plat::HBITMAP bitmap = plat::CreateBitmap(64, 48, 1, 32, nullptr);
    plat::HGDIOBJ old = plat::SelectObject(dc, bitmap);
    if (plat::HMETAFILE wmf = plat::SetMetaFileBitsEx(static_cast<plat::UINT>(size), data)) {
        plat::PlayMetaFile(dc, wmf);
        plat::DeleteMetaFile(wmf);
    }
    plat::HENHMETAFILE emf = plat::SetEnhMetaFileBits(static_cast<plat::UINT>(size), data);
    if (!emf) {
        plat::SelectObject(dc, old);
        plat::DeleteObject(bitmap);
        plat::DeleteDC(dc);
        return 0;
    }
    std::uint32_t total = 0;
    plat::EnumEnhMetaFile(nullptr, emf, countRecord, reinterpret_cast<plat::LPARAM>(&total),
                          nullptr);
    const plat::RECT dest{0, 0, 64, 48};
    plat::PlayEnhMetaFile(dc, emf, &dest);
    std::uint8_t converted[1 << 16];
    plat::GetWinMetaFileBits(emf, sizeof converted, converted, 8, nullptr);
    // Played into a recording, at its own size and scaled, the records never come to more than
    // the bound known from them (the empty recording's header and end aside), in the recording
    // or in the Windows metafile converted from it.
    const std::uint64_t bound = plat::EnhMetaFilePlayedBytesBound(emf);
    for (const plat::RECT& place : {plat::RECT{0, 0, 64, 48}, plat::RECT{-30, 7, 900, 700}}) {
        plat::HDC recording = plat::CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
        plat::PlayEnhMetaFile(recording, emf, &place);
        plat::HENHMETAFILE played = plat::CloseEnhMetaFile(recording);
        const std::uint64_t recorded = plat::GetEnhMetaFileBits(played, 0, nullptr);
        // The Windows metafile made from the recording too.
        const std::uint64_t older = plat::GetWinMetaFileBits(played, 0, nullptr, 8, nullptr);
        plat::DeleteEnhMetaFile(played);
        if (recorded > bound + 128 || older > bound + 128)
            __builtin_trap();
    }
    plat::SelectObject(dc, old);
    plat::DeleteObject(bitmap);
    plat::DeleteDC(dc);
    plat::DeleteEnhMetaFile(emf);
    return 0;
}
