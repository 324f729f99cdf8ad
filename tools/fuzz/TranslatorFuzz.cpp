// libFuzzer target for the translator file reader. Every input must end in a translator or a
// clean refusal with a message; a translator that was read must write out and read back equal, and
// its rules must translate a small expression within the output bound.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKV_SANITIZE=ON
//   -DCMAKE_BUILD_TYPE=Debug cmake --build build-fuzz --target kv_fuzz_translator
//   ./build-fuzz/tests/kv_fuzz_translator new-inputs/ tools/fuzz/corpus/translator/

#include "FuzzTemplates.h"
#include "OverPc/PERROR.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etGener.h"
#include "OverSrcs/etTranslator.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

ExprPtr Word(const char* text) {
    FSSRecord style;
    InitFSSRecord(style);
    return ExprPtr(NewWord(text, 0, style, 0).release());
}

ExprPtr RowOf(ExprPtr node) {
    return ExprPtr(NewSimpStringWith(std::move(node)).release());
}

// x^(a/b) followed by a double integral: scripts, fractions and repeats in one small tree.
ExprPtr Sample() {
    ExprPtr fraction(NewFraction(RowOf(Word("a")), RowOf(Word("b"))).release());
    ExprPtr script(NewSSScript(RowOf(Word("x")), nullptr, RowOf(std::move(fraction)), 3).release());
    OwnedNode<eSimpString> row = NewSimpString(2);
    row->setChild(0, std::move(script));
    row->setChild(1, ExprPtr(NewIntegral(2, RowOf(Word("f")), nullptr, nullptr).release()));
    return ExprPtr(row.release());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool s_started = [] {
        InitErrorSystem();
        RegisterFuzzTemplates();
        return true;
    }();
    (void)s_started;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Translator t;
    std::string message;
    if (!ReadTranslatorText(bytes, t, message)) {
        if (message.empty())
            std::abort();
        return 0;
    }
    Translator back;
    if (!ReadTranslatorText(TranslatorText(t), back, message) || !(back == t))
        std::abort();
    static ExprPtr s_sample = Sample();
    // A translation is whole within its bound, or fails as too large and nothing else.
    std::string out;
    const int code = CatchFail([&] { out = TranslateExpression(t, s_sample.get()); });
    if (code != 0 && code != errTranslationTooLarge)
        std::abort();
    if (out.size() > TranslationBound(s_sample.get()) + EncodingTokenOf(s_sample.get()).size())
        std::abort();
    return 0;
}
