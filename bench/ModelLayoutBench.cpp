// Layout and drawing cost per node of long rows through the recording port's text metrics, with
// the drawing output discarded.
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eString.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"
#include "support/RecordingPort.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

// Measures like the recording port and throws every drawing call away.
class DiscardingPort : public kvtest::RecordingPort {
public:
    using RecordingPort::RecordingPort;
    void drawDeluxeString(const char*, int32_t, int32_t, int32_t, const Color*, int32_t) override {}
    void startDeluxeLine(int32_t, const Color&, int32_t, int32_t) override {}
    void moveTo(int32_t, int32_t) override {}
    void lineTo(int32_t, int32_t) override {}
    void dotAt(int32_t, int32_t) override {}
    void endLine() override {}
    void setColors(const Color* fore, const Color* back) override {
        m_foreColor = fore != nullptr ? *fore : kColorBlack;
        m_backColor = back != nullptr ? *back : kColorWhite;
    }
};

int32_t BenchFont(const char*, int32_t points, bool bold, bool italic, bool underline) {
    return kvtest::RecordingFontIndex(points,
                                      (bold ? 1 : 0) | (italic ? 2 : 0) | (underline ? 4 : 0));
}

// A row of `words` words in four sizes and a few colours, with a space after every third word.
OwnedNode<eSimpString> LongRow(int32_t words) {
    static const char* const kTexts[] = {"x", "sin", "alpha", "+", "2", "Wm", "f(t)", "=", "bcd"};
    const int32_t spaces = words / 3;
    OwnedNode<eSimpString> row = NewSimpString(words + spaces);
    int32_t slot = 0;
    for (int32_t i = 0; i < words; ++i) {
        FSSRecord style;
        InitFSSRecord(style);
        style.size = 10 + 2 * (i % 4);
        row->setChild(
            slot++, NewWord(kTexts[i % 9], 0, style, static_cast<uint8_t>(i % 5 == 0 ? 0xE0 : 0)));
        if (i % 3 == 2)
            row->setChild(slot++, NewPseudo(kPseudoSpace, nullptr, 0));
    }
    return row;
}

void Setup() {
    ResetModelHooks();
    ResetStyleTable();
    ResetTypesettingSettings();
    TheModelHooks().fontIndexForDesc = &BenchFont;
}

void BM_LayoutRow(benchmark::State& state) {
    Setup();
    const int32_t words = static_cast<int32_t>(state.range(0));
    OwnedNode<eSimpString> row = LongRow(words);
    DiscardingPort port(16, Zone{0, 0, 1 << 30, 1 << 20, 0, 0});
    for (auto _ : state) {
        MeasureExpr(row.get(), &port);
        benchmark::DoNotOptimize(row->m_zone.right);
    }
    state.SetItemsProcessed(state.iterations() * row->childCount());
}
BENCHMARK(BM_LayoutRow)->Arg(1000)->Arg(10000);

void BM_RelayoutOneWord(benchmark::State& state) {
    Setup();
    const int32_t words = static_cast<int32_t>(state.range(0));
    OwnedNode<eSimpString> row = LongRow(words);
    DiscardingPort port(16, Zone{0, 0, 1 << 30, 1 << 20, 0, 0});
    MeasureExpr(row.get(), &port);
    eExpr* middle = row->getChild(row->childCount() / 2);
    for (auto _ : state) {
        middle->invalidate();
        InvalidateAncestors(middle);
        MeasureExprWithOptions(row.get(), &port, 0, 0, 0, 0);
        benchmark::DoNotOptimize(row->m_zone.right);
    }
    state.SetItemsProcessed(state.iterations() * row->childCount());
}
BENCHMARK(BM_RelayoutOneWord)->Arg(1000)->Arg(10000);

void BM_DrawRow(benchmark::State& state) {
    Setup();
    const int32_t words = static_cast<int32_t>(state.range(0));
    OwnedNode<eSimpString> row = LongRow(words);
    DiscardingPort port(16, Zone{0, 0, 1 << 30, 1 << 20, 0, 0});
    MeasureExpr(row.get(), &port);
    for (auto _ : state)
        DrawExpr(row.get(), &port, static_cast<uint8_t>(state.range(1)), 0, 0, 0, 0, 0);
    state.SetItemsProcessed(state.iterations() * row->childCount());
}
// Plain display, and structure display (outlines, visible spaces, colours ignored).
BENCHMARK(BM_DrawRow)->Args({1000, 0})->Args({10000, 0})->Args({1000, 1})->Args({10000, 1});

} // namespace

// Reading a key map (keys.prf) of n records, most of them naming keys that do not exist, each
// reported with its line: the time grows with n, not with its square.
static void BM_ReadKeyMap(benchmark::State& state) {
    oOMemoryStream* out = NewOMemoryStream(0);
    WriteRecordTag(*out, "Ve");
    out->putNumber(1);
    EndRecord(*out);
    for (int32_t i = 1; i <= static_cast<int32_t>(state.range(0)); ++i) {
        WriteRecordTag(*out, "Ky");
        out->putNumber(i);
        out->putNumber(0x5233);
        EndRecord(*out);
    }
    const std::string text = out->detachString();
    for (auto _ : state) {
        oIMemoryStream in(reinterpret_cast<const uint8_t*>(text.data()),
                          static_cast<uint32_t>(text.size()));
        KeyMapTable map{};
        benchmark::DoNotOptimize(ReadKeyMap(in, map).problems.size());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadKeyMap)
    ->Arg(2000)
    ->Arg(20000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// Joining the words of a row after an edit (as after pasting text): a row of one-character words
// that all join, in groups up to the typing length, under a parent. The cost follows the row's
// length, not the number of joins times it.
void BM_JoinWords(benchmark::State& state) {
    Setup();
    const int32_t words = static_cast<int32_t>(state.range(0));
    FSSRecord style;
    InitFSSRecord(style);
    for (auto _ : state) {
        state.PauseTiming();
        OwnedNode<eSimpString> parent = NewSimpString(1);
        OwnedNode<eSimpString> row = NewSimpString(words);
        for (int32_t i = 0; i < words; ++i)
            row->setChild(i, NewWord("+", 0, style, 0));
        eSimpString* inner = row.get();
        parent->setChild(0, ExprPtr(row.release()));
        SelectionEntry entry{inner, words, words, 0, 0};
        state.ResumeTiming();
        benchmark::DoNotOptimize(MergeWordsForEntries(&entry, 1));
    }
    state.SetItemsProcessed(state.iterations() * words);
}
BENCHMARK(BM_JoinWords)->Arg(1000)->Arg(10000)->Arg(100000);

BENCHMARK_MAIN();
