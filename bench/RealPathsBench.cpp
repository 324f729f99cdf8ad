// The real paths of the program on the headless back end with its own FreeType fonts: layout at
// 96 dpi, drawing into a pixel map, PNG export of the whole expression, encoding write and read,
// and keystroke to repaint in a document window, for generated expressions of about 1,000, 10,000
// and 100,000 nodes and for the shipped examples. Also prints the bytes per node of the tree in
// memory and the time from start-up to the first painted frame.
#include "App/AppHooks.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/documents/Exports.h"
#include "OverPc/oPixMap.h"
#include "OverPc/shell/CQVApp.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oGraph.h"
#include "bench/BenchTrees.h"
#include "plat/System.h"
#include "plat/Testing.h"
#include "plat/TestingSys.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <malloc.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using kvtest::SysTempDir;

// Ports take their resolution in their own unit (16 for a 72 dpi screen), not in dots per inch:
// layout and drawing run at the resolution a 96 dpi picture is made at.
const int32_t kDpi = PictPortResolution(96);
// Pixel maps of the back end are at most 32767 pixels a side and 64 Mi pixels in all: a larger
// expression is not drawn or exported whole.
bool FitsPixelMap(const eExpr* t) {
    return t->width() <= 32767 && t->height() <= 32767 &&
           int64_t(t->width()) * t->height() <= 64ll * 1024 * 1024;
}

using kvbench::ContinuedFraction;
using kvbench::Matrix;
using kvbench::Sum;

void Count(const eExpr* node, int64_t& nodes, int64_t& glyphs) {
    if (node == nullptr)
        return;
    ++nodes;
    if (const auto* word = dynamic_cast<const eWord*>(node))
        glyphs += static_cast<int64_t>(word->view().size());
    for (int32_t i = 0; i < node->childCount(); ++i)
        Count(node->getChild(i), nodes, glyphs);
}

struct Case {
    std::string name;
    std::vector<ExprPtr> trees; // one, or every shipped example
    int64_t nodes = 0;
    int64_t glyphs = 0;
    int64_t heapBytes = 0;
};

template <class Build> Case Make(const std::string& name, Build build) {
    Case c;
    c.name = name;
    const size_t before = mallinfo2().uordblks;
    c.trees.push_back(build());
    c.heapBytes = static_cast<int64_t>(mallinfo2().uordblks - before);
    Count(c.trees.back().get(), c.nodes, c.glyphs);
    return c;
}

void Counters(benchmark::State& state, const Case& c, bool glyphs) {
    using benchmark::Counter;
    state.counters["nodes"] = static_cast<double>(c.nodes);
    // Seconds per node and per glyph (printed with SI prefixes: 95.2ns).
    state.counters["per_node"] = Counter(static_cast<double>(c.nodes),
                                         Counter::kIsIterationInvariantRate | Counter::kInvert);
    if (glyphs) {
        state.counters["glyphs"] = static_cast<double>(c.glyphs);
        state.counters["per_glyph"] = Counter(
            static_cast<double>(c.glyphs), Counter::kIsIterationInvariantRate | Counter::kInvert);
    }
}

void Layout(benchmark::State& state, Case* c) {
    std::unique_ptr<oMeasurePort> port = NewMeasurePort(kDpi, 0);
    for (auto _ : state)
        for (ExprPtr& t : c->trees) {
            MeasureExpr(t.get(), port.get());
            benchmark::DoNotOptimize(t->width());
        }
    Counters(state, *c, false);
}

void Draw(benchmark::State& state, Case* c) {
    std::unique_ptr<oMeasurePort> port = NewMeasurePort(kDpi, 0);
    std::vector<std::unique_ptr<oPixMap>> maps;
    for (ExprPtr& t : c->trees) {
        MeasureExpr(t.get(), port.get());
        if (!FitsPixelMap(t.get())) {
            state.SkipWithError("picture larger than a pixel map");
            return;
        }
        maps.emplace_back(NewPixMap(Zone{0, 0, t->width(), t->height(), 0, 0}, kDpi, 912));
    }
    for (auto _ : state)
        for (size_t i = 0; i < c->trees.size(); ++i) {
            const eExpr* t = c->trees[i].get();
            maps[i]->paintZone(Zone{0, 0, t->width(), t->height(), 0, 0}, kColorWhite);
            DrawExpr(c->trees[i].get(), maps[i].get(), 0, 0, 0, 0, -t->m_zone.left, -t->m_zone.top);
        }
    Counters(state, *c, true);
}

std::string g_dir;

void Png(benchmark::State& state, Case* c) {
    std::unique_ptr<oMeasurePort> port = NewMeasurePort(kDpi, 0);
    for (ExprPtr& t : c->trees) {
        MeasureExpr(t.get(), port.get());
        if (!FitsPixelMap(t.get())) {
            state.SkipWithError("picture larger than a pixel map");
            return;
        }
    }
    const std::string path = g_dir + "/bench.png";
    for (auto _ : state)
        for (ExprPtr& t : c->trees) {
            // The export draws at its own resolution, supersampled, so it can refuse a picture
            // the pixel map above would hold; the program then shows the error.
            if (const int code =
                    CatchFail([&] { WriteExportFile(kPngSaveType, t.get(), nullptr, path); })) {
                state.SkipWithError(
                    ("the export failed with error " + std::to_string(code)).c_str());
                return;
            }
        }
    Counters(state, *c, true);
}

// The encoding of every tree of a case; false when the writer refuses one (nested deeper than
// the reader reads).
bool EncodeAll(benchmark::State& state, Case* c, std::vector<std::string>& texts) {
    texts.clear();
    if (CatchFail([&] {
            for (ExprPtr& t : c->trees)
                texts.push_back(ExprEncodingText(t.get()));
        }) == 0)
        return true;
    state.SkipWithError("the writer refused the tree (nested deeper than the reader reads)");
    return false;
}

void EncodeWrite(benchmark::State& state, Case* c) {
    int64_t bytes = 0;
    std::vector<std::string> texts;
    for (auto _ : state) {
        if (!EncodeAll(state, c, texts))
            return;
        for (const std::string& text : texts)
            bytes += static_cast<int64_t>(text.size());
    }
    state.SetBytesProcessed(bytes);
    Counters(state, *c, false);
    state.counters["bytes/node"] = static_cast<double>(bytes) /
                                   static_cast<double>(state.iterations()) /
                                   static_cast<double>(c->nodes);
}

void EncodeRead(benchmark::State& state, Case* c) {
    std::vector<std::string> texts;
    if (!EncodeAll(state, c, texts))
        return;
    int64_t bytes = 0;
    for (auto _ : state)
        for (const std::string& text : texts) {
            ExprPtr back;
            if (CatchFail([&] { back = ReadExprEncodingFromMemory(text.data(), text.size()); }) !=
                0) {
                state.SkipWithError("the reader refused the text");
                return;
            }
            benchmark::DoNotOptimize(back.get());
            bytes += static_cast<int64_t>(text.size());
        }
    state.SetBytesProcessed(bytes);
    Counters(state, *c, false);
}

// One character typed into a document window holding the expression, then the program run until
// it is idle (the window repainted).
void Keystroke(benchmark::State& state, Case* c) {
    if (c->trees.size() != 1) {
        state.SkipWithError("one document per case");
        return;
    }
    ExprFilePane* pane = NewExprFilePane(c->trees[0]->deepCopy(), nullptr, "bench", 0);
    pane->takeFocus();
    plat::testing::runUntilIdle();
    // The caret starts at the end of the expression, off screen in the large cases: the first
    // character scrolls it into view and repaints everything. The loop measures typing where
    // the caret is shown.
    plat::testing::type("x");
    plat::testing::runUntilIdle();
    for (auto _ : state) {
        plat::testing::type("x");
        plat::testing::runUntilIdle();
    }
    state.counters["nodes"] = static_cast<double>(c->nodes);
    delete pane->window();
    plat::testing::runUntilIdle();
    plat::MSG quit{};
    plat::PeekMessage(&quit, nullptr, plat::WM_QUIT, plat::WM_QUIT, plat::PM_REMOVE);
}

// The ending on a termination signal with one unsaved document window holding the expression:
// the signal raised and served by the program's loop, the document written whole into the
// preferences folder's Recovered folder (removed again between iterations, untimed). With
// `served` false the same keeping runs as ordinary work, as the ending did when its writing
// polled like any long work.
void Ending(benchmark::State& state, bool served) {
    ExprPtr tree = Sum(200000);
    const double nodes = [&] {
        int64_t n = 0, glyphs = 0;
        Count(tree.get(), n, glyphs);
        return static_cast<double>(n);
    }();
    ExprFilePane* pane = NewExprFilePane(std::move(tree), nullptr, "bench", 0);
    pane->setChanged(true);
    plat::testing::runUntilIdle();
    const std::string recovered = PrefsFolderPath() + "Recovered";
    plat::SetTerminationSignalHandler([](int signal) { AppHooks().endWithoutQuestions(signal); });
    int64_t bytes = 0;
    for (auto _ : state) {
        if (served) {
            std::raise(SIGTERM);
            // The loop serves it at once; no grace timer in a benchmark.
            plat::testing::stopTerminationGrace();
            plat::testing::runUntilIdle();
        } else {
            AppHooks().endWithoutQuestions(SIGTERM);
        }
        state.PauseTiming();
        for (const auto& e : std::filesystem::directory_iterator(recovered))
            bytes += static_cast<int64_t>(e.file_size());
        std::filesystem::remove_all(recovered);
        state.ResumeTiming();
    }
    plat::SetTerminationSignalHandler(nullptr);
    state.SetBytesProcessed(bytes);
    state.counters["nodes"] = nodes;
    pane->setChanged(false);
    delete pane->window();
    plat::testing::runUntilIdle();
    plat::MSG quit{};
    plat::PeekMessage(&quit, nullptr, plat::WM_QUIT, plat::WM_QUIT, plat::PM_REMOVE);
}

// Every shipped example, read through the program's opener.
Case Examples() {
    Case c;
    c.name = "examples";
    const std::string root = std::string(KV_BINARY_DIR) + "/src/Korvaline_Prefs/Examples/";
    std::vector<std::string> paths;
    if (std::filesystem::exists(root))
        for (const auto& e : std::filesystem::recursive_directory_iterator(root))
            if (e.is_regular_file())
                paths.push_back(e.path().string());
    for (const std::string& path : paths) {
        OpenDocumentWindow(path.c_str(), FileTypeOfPath(path.c_str()));
        plat::testing::runUntilIdle();
        ExprFilePane* pane = LastOpenedDocument();
        if (pane == nullptr)
            continue;
        c.trees.push_back(pane->expression()->deepCopy());
        Count(c.trees.back().get(), c.nodes, c.glyphs);
        delete pane->window();
        plat::testing::runUntilIdle();
    }
    plat::MSG quit{};
    plat::PeekMessage(&quit, nullptr, plat::WM_QUIT, plat::WM_QUIT, plat::PM_REMOVE);
    return c;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kvbench::ProgramFolders folders;
    const SysTempDir& dir = folders.dir;
    g_dir = dir / "";

    // Start-up to the first painted frame of a document window. The fonts are loaded once before,
    // so the figure is the warm-cache one.
    {
        std::unique_ptr<oMeasurePort> warm = NewMeasurePort(kDpi, 0);
        ExprPtr w = Sum(3);
        MeasureExpr(w.get(), warm.get());
    }
    plat::testing::reset();
    const auto t0 = std::chrono::steady_clock::now();
    if (!kvbench::StartProgram(dir / "KorvalineFileOpen"))
        return 1;
    ExprFilePane* first = NewUntitledDocument();
    first->takeFocus();
    plat::testing::runUntilIdle();
    const double startMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("start to first painted frame: %.1f ms (target <= 150 ms)\n", startMs);

    std::vector<std::unique_ptr<Case>> cases;
    // Sizes chosen for about 1,000, 10,000 and 100,000 nodes; the largest sum is the longest row
    // the encoding reader accepts (32,000 children).
    for (int32_t n : {111, 1111, 10667})
        cases.push_back(
            std::make_unique<Case>(Make("sum/" + std::to_string(n), [n] { return Sum(n); })));
    for (int32_t d : {167, 1667, 16667})
        cases.push_back(std::make_unique<Case>(
            Make("cfrac/" + std::to_string(d), [d] { return ContinuedFraction(d); })));
    for (int32_t r : {14, 45, 141})
        cases.push_back(
            std::make_unique<Case>(Make("matrix/" + std::to_string(r), [r] { return Matrix(r); })));
    cases.push_back(std::make_unique<Case>(Examples()));

    for (const auto& c : cases) {
        std::printf("%-14s %7lld nodes %7lld glyphs", c->name.c_str(),
                    static_cast<long long>(c->nodes), static_cast<long long>(c->glyphs));
        if (c->heapBytes > 0)
            std::printf("  %.0f bytes/node in memory (target <= 200)",
                        static_cast<double>(c->heapBytes) / static_cast<double>(c->nodes));
        std::printf("\n");
        Case* p = c.get();
        benchmark::RegisterBenchmark(("layout/" + c->name).c_str(), Layout, p)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("draw/" + c->name).c_str(), Draw, p)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("png/" + c->name).c_str(), Png, p)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("encode_write/" + c->name).c_str(), EncodeWrite, p)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("encode_read/" + c->name).c_str(), EncodeRead, p)
            ->Unit(benchmark::kMillisecond);
        if (c->trees.size() == 1)
            benchmark::RegisterBenchmark(("keystroke/" + c->name).c_str(), Keystroke, p)
                ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("ending/sum200000", Ending, true)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark("ending_polling/sum200000", Ending, false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    kvbench::CloseDocuments();
    cases.clear();
    kvbench::EndProgram();
    return 0;
}
