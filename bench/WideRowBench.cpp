// A document window holding one row of 100,000 items (a+a+a+...), driven through the program's own
// loop on the headless back end: the pointer at rest over the row (the cost of one application
// tick with the idle step after it; `core_percent` is that cost times the tick rate, as a share of
// one core), and a click, End, one typed key, Home, Ctrl+A, the right arrow, Backspace and Undo,
// each followed by the program run until it is idle (the window repainted).
#include "App/MessageLoop.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/documents/Documents.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/eHeader.h"
#include "bench/BenchTrees.h"
#include "plat/Input.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"
#include "support/NodeInWindow.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

namespace {

namespace pt = plat::testing;
using kvtest::SysTempDir;

constexpr int32_t kItems = 100000;

// One turn of the program's loop (key filter, dispatch, idle step), then everything due.
void Pump() {
    int exitCode = 0;
    RunPendingMessages(exitCode);
    pt::runUntilIdle();
}

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A document window holding the wide row, in front and painted, the caret where it opens.
struct Document {
    ExprFilePane* pane = nullptr;
    plat::HWND hwnd = nullptr;

    Document() {
        pane = NewExprFilePane(kvbench::WideRow(kItems), nullptr, "wide", 0);
        pane->takeFocus();
        hwnd = HandleOfWindow(pane->windowHandle());
        Pump();
        // The caret to the start, where the window shows the row.
        pt::key(plat::VK_HOME);
        Pump();
    }
    ~Document() {
        delete pane->window();
        pt::runUntilIdle();
        plat::MSG quit{};
        plat::PeekMessage(&quit, nullptr, plat::WM_QUIT, plat::WM_QUIT, plat::PM_REMOVE);
    }
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // The caret and the view to the end of the row, where a walk from its start is longest (a
    // character typed there scrolls the view to it).
    void toEnd() {
        pt::key(plat::VK_END);
        pt::type("x");
        Pump();
    }

    // The middle of the row's item i in window coordinates (an item the window shows).
    plat::POINT over(int32_t i) const {
        const eExpr* row = pane->expression();
        const Zone z = kvtest::NodeZoneInWindow(pane, row->getChild(i));
        return plat::POINT{(z.left + z.right) / 2, (z.top + z.bottom) / 2};
    }
};

// The pointer resting over the row's end, where a walk from the start is longest: one application
// tick and the idle step that follows it.
void RestTick(benchmark::State& state) {
    Document doc;
    doc.toEnd();
    const plat::POINT p = doc.over(kItems - 100);
    pt::move(doc.hwnd, p.x, p.y);
    Pump();
    const double start = ThreadSeconds();
    for (auto _ : state) {
        pt::advanceClock(kTickIntervalMs);
        Pump();
    }
    // Processor time per tick over the time between ticks, in percent of one core.
    const double perTick =
        (ThreadSeconds() - start) / static_cast<double>(std::max<int64_t>(1, state.iterations()));
    state.counters["core_percent"] = 100.0 * perTick / (kTickIntervalMs / 1000.0);
}

void Key(int vk, unsigned mods = 0) {
    pt::key(vk, mods);
    Pump();
}

void ClickAt(Document& doc, int32_t item) {
    const plat::POINT p = doc.over(item);
    pt::advanceClock(1000); // not a double click
    pt::click(doc.hwnd, p.x, p.y);
    Pump();
}

// One user action, timed, after an untimed step that sets it up.
void Action(benchmark::State& state, const std::function<void(Document&)>& before,
            const std::function<void(Document&)>& action) {
    Document doc;
    doc.toEnd();
    ClickAt(doc, kItems - 100);
    for (auto _ : state) {
        state.PauseTiming();
        before(doc);
        state.ResumeTiming();
        action(doc);
    }
}

void Nothing(Document&) {}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kvbench::ProgramFolders folders;
    const SysTempDir& dir = folders.dir;
    pt::reset();
    if (!kvbench::StartProgram(dir / "KorvalineFileOpen"))
        return 1;

    std::string n = "/";
    n += std::to_string(kItems);
    auto ms = [](benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMillisecond); };
    benchmark::RegisterBenchmark(("rest_tick" + n).c_str(), RestTick)
        ->Unit(benchmark::kMicrosecond);
    ms(benchmark::RegisterBenchmark(("click" + n).c_str(), [](benchmark::State& s) {
        int32_t i = 0;
        Action(s, Nothing, [&i](Document& d) { ClickAt(d, kItems - ((i++ % 2) == 0 ? 100 : 95)); });
    }));
    ms(benchmark::RegisterBenchmark(("end" + n).c_str(), [](benchmark::State& s) {
        Action(
            s, [](Document&) { Key(plat::VK_HOME); }, [](Document&) { Key(plat::VK_END); });
    }));
    ms(benchmark::RegisterBenchmark(("home" + n).c_str(), [](benchmark::State& s) {
        Action(
            s, [](Document&) { Key(plat::VK_END); }, [](Document&) { Key(plat::VK_HOME); });
    }));
    ms(benchmark::RegisterBenchmark(("key" + n).c_str(), [](benchmark::State& s) {
        Action(
            s, [](Document&) {},
            [](Document&) {
                pt::type("x");
                Pump();
            });
    }));
    ms(benchmark::RegisterBenchmark(("select_all" + n).c_str(), [](benchmark::State& s) {
        Action(
            s, [](Document& d) { ClickAt(d, kItems - 90); },
            [](Document&) { Key('A', pt::kCtrl); });
    }));
    ms(benchmark::RegisterBenchmark(("right" + n).c_str(), [](benchmark::State& s) {
        Action(s, Nothing, [](Document&) { Key(plat::VK_RIGHT); });
    }));
    ms(benchmark::RegisterBenchmark(("backspace" + n).c_str(), [](benchmark::State& s) {
        Action(
            s,
            [](Document&) {
                pt::type("x");
                Pump();
            },
            [](Document&) { Key(plat::VK_BACK); });
    }));
    ms(benchmark::RegisterBenchmark(("undo" + n).c_str(), [](benchmark::State& s) {
        Action(
            s,
            [](Document&) {
                pt::type("x");
                Pump();
            },
            [](Document&) { Key('Z', pt::kCtrl); });
    }));
    ms(benchmark::RegisterBenchmark(("shift_right" + n).c_str(), [](benchmark::State& s) {
        Action(s, Nothing, [](Document&) { Key(plat::VK_RIGHT, pt::kShift); });
    }));
    ms(benchmark::RegisterBenchmark(("delete" + n).c_str(), [](benchmark::State& s) {
        Action(
            s,
            [](Document&) {
                pt::type("x");
                Pump();
                Key(plat::VK_LEFT);
            },
            [](Document&) { Key(plat::VK_DELETE); });
    }));
    // The whole row selected and replaced by one character (the row put back untimed by Undo).
    ms(benchmark::RegisterBenchmark(("replace_all" + n).c_str(), [](benchmark::State& s) {
        Action(
            s,
            [](Document& d) {
                if (d.pane->expression()->childCount() < kItems / 2)
                    Key('Z', pt::kCtrl);
                Key('A', pt::kCtrl);
            },
            [](Document&) {
                pt::type("x");
                Pump();
            });
    }));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    kvbench::EndProgram();
    return 0;
}
