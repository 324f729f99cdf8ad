// libFuzzer target for the requests a later copy of the program sends to the running one: any
// bytes give at most one message per zero byte, each holding nothing (come forward) or an atom of
// a name the atom table holds, never a crash or a leaked atom.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
//   cmake --build build-fuzz --target kv_fuzz_handoff
//   ./build-fuzz/tests/kv_fuzz_handoff new-inputs/ tools/fuzz/corpus/handoff/

#include "App/SingleInstance.h"

#include "plat/Memory.h"
#include "plat/Window.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const plat::UINT message = plat::RegisterWindowMessage("KorvalineFileOpen");
    const std::string request(reinterpret_cast<const char*>(data), size);
    PostHandOffRequests(request, nullptr, message);
    const auto ends = static_cast<std::size_t>(std::count(request.begin(), request.end(), '\0'));
    std::size_t posted = 0;
    plat::MSG msg;
    while (plat::PeekMessage(&msg, nullptr, message, message, plat::PM_REMOVE)) {
        ++posted;
        if (msg.wParam == 0)
            continue;
        const auto atom = static_cast<plat::ATOM>(msg.wParam);
        char name[plat::kMaxAtomName + 2] = {};
        const plat::UINT length = plat::GlobalGetAtomName(atom, name, sizeof name);
        if (length == 0 || length > static_cast<plat::UINT>(plat::kMaxAtomName))
            std::abort();
        plat::GlobalDeleteAtom(atom);
    }
    if (posted > ends)
        std::abort();
    return 0;
}
