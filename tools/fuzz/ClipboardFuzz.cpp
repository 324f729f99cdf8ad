// libFuzzer target for pasting: another program's clipboard holds any bytes under one of the types
// the program reads (the first input byte picks it, and the code page text is read in); reading an expression from it either gives a
// tree or nothing, never a read outside the bytes or a failure that escapes.
//
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
//   cmake --build build-fuzz --target kv_fuzz_clipboard && ./build-fuzz/tests/kv_fuzz_clipboard

#include "OverPc/PERROR.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "backend/Backend.h"
#include "plat/Clipboard.h"
#include "plat/Font.h"

#include <cstdint>
#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kTypes[] = {"application/x-kv-Korvaline-Expression",
                                         "UTF8_STRING",
                                         "STRING",
                                         "image/png",
                                         "image/emf",
                                         "image/wmf",
                                         "image/bmp",
                                         "application/postscript",
                                         "application/x-kv-ADOBE-AI3"};
    if (size == 0 || size > 1 << 20)
        return 0;
    static const bool ready = [] {
        CreateClipboardObject();
        return true;
    }();
    (void)ready;
    static const plat::UINT kCodePages[] = {1252, 932, 936, 949, 950};
    const char* type = kTypes[data[0] % std::size(kTypes)];
    plat::SetActiveCodePage(kCodePages[data[0] / std::size(kTypes) % std::size(kCodePages)]);
    plat::backend().setForeignClipboard(
        {plat::ClipboardItem{type, std::vector<std::uint8_t>(data + 1, data + size)}});
    plat::IDataObject* object = nullptr;
    if (plat::OleGetClipboard(&object) != plat::S_OK || object == nullptr)
        return 0;
    CatchFail([&] { ExprFromDataObject(object); });
    object->Release();
    return 0;
}
