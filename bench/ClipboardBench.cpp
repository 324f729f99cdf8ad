// Copy of a long formula in a document window, through the program's own dispatch on the headless
// back end: the time until the program is idle again (the text formats and the encoding are made
// then; the pictures only named), and the fetch of each target another program may ask for after
// it (a picture is made on that request). Then the conversion of a long row's enhanced metafile to
// the older format, which another program's request for image/wmf makes: its time, and how many
// times it polls for long work meanwhile (each poll answers the window system when a tenth of a
// second has passed).
#include "App/CQVAppStartup.h"
#include "App/MenuDispatch.h"
#include "App/ModelWiring.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/shell/CQVApp.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eModelHooks.h"
#include "bench/BenchTrees.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"
#include "src/Platform/backend/Backend.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using kvtest::SysTempDir;

constexpr int kCopyMenuId = 516; // Édition > Copier

int64_t CountNodes(const eExpr* node) {
    if (node == nullptr)
        return 0;
    int64_t n = 1;
    for (int32_t i = 0; i < node->childCount(); ++i)
        n += CountNodes(node->getChild(i));
    return n;
}

// The whole expression selected and copied, the program run until idle.
void CopyAll() {
    DoCommand(kCmdSelectAll, 0);
    DoMenuCommand(kCopyMenuId);
    plat::testing::runUntilIdle();
}

void Copy(benchmark::State& state, int64_t nodes) {
    for (auto _ : state)
        CopyAll();
    state.counters["nodes"] = static_cast<double>(nodes);
}

// One target fetched as another program fetches it, each time from a fresh copy.
void Fetch(benchmark::State& state, std::string type) {
    int64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CopyAll();
        state.ResumeTiming();
        std::vector<std::uint8_t> data;
        if (!plat::backend().clipboardRead(type, data) || data.empty()) {
            state.SkipWithError(("no data for " + type).c_str());
            return;
        }
        bytes += static_cast<int64_t>(data.size());
    }
    state.SetBytesProcessed(bytes);
}

void (*s_keptPoll)() = nullptr;
int64_t s_polls = 0;

void ConvertToWmf(benchmark::State& state, const std::vector<std::uint8_t>* emf) {
    s_polls = 0;
    s_keptPoll = TheModelHooks().checkUserAbort;
    TheModelHooks().checkUserAbort = [] {
        ++s_polls;
        s_keptPoll();
    };
    int64_t bytes = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> wmf = ExprWmfBytes(*emf);
        benchmark::DoNotOptimize(wmf.data());
        bytes += static_cast<int64_t>(wmf.size());
    }
    TheModelHooks().checkUserAbort = s_keptPoll;
    state.SetBytesProcessed(bytes);
    state.counters["polls"] =
        benchmark::Counter(static_cast<double>(s_polls), benchmark::Counter::kAvgIterations);
    state.counters["emfBytes"] = static_cast<double>(emf->size());
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kvbench::ProgramFolders folders;
    const SysTempDir& dir = folders.dir;
    plat::testing::reset();
    if (!kvbench::StartProgram(dir / "KorvalineFileOpen"))
        return 1;

    // One row a_0 x^0 + a_1 x^1 + ... of about 26,000 nodes, in a document window.
    ExprPtr tree = kvbench::Sum(2364);
    const int64_t nodes = CountNodes(tree.get());
    std::printf("copied formula: %lld nodes\n", static_cast<long long>(nodes));
    ExprFilePane* pane = NewExprFilePane(std::move(tree), nullptr, "bench", 0);
    pane->takeFocus();
    plat::testing::runUntilIdle();

    benchmark::RegisterBenchmark("copy/sum26k", Copy, nodes)->Unit(benchmark::kMillisecond);
    CopyAll();
    for (const std::string& type : plat::backend().clipboardTypes())
        benchmark::RegisterBenchmark(("fetch/" + type).c_str(), Fetch, type)
            ->Unit(benchmark::kMillisecond);
    // A row of 100,000 terms: its metafile as Copy makes it, converted.
    const std::vector<std::uint8_t> rowEmf =
        ExprEmfBytes(kvbench::WideRow(100000).get(), nullptr, MetafileDotsPerInch());
    benchmark::RegisterBenchmark("wmf/row100k", ConvertToWmf, &rowEmf)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    kvbench::CloseDocuments();
    kvbench::EndProgram();
    return 0;
}
