// The clipboard owner under another program's load, on a real X server (run it under Xvfb): this
// process offers a 1 MB picture as image/emf through the X11 back end, and a forked client asks
// for it in 4,000 MULTIPLE pairs that it never reads, from one window (the case reported) or
// spread over 20 windows. Reported per case: the growth of this process's resident memory while
// the requests are held unread (`served_MB`, and its peak `peak_MB`), after the client has ended
// (`gone_MB`), and the pairs converted (`accepted`).
//
//   tests/smoke/OnXvfb.sh none build/bench/kv_selection_load_bench

#include "backend/Backend.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kPicture = std::size_t{1} << 20;
constexpr int kPairs = 4000;

// A field of /proc/self/status in kB.
double statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(std::strlen(field) + 1));
    }
    return 0;
}

// Serves the display for `ms` milliseconds, or until `done` (checked between events) is true.
template <typename Done> void serve(int ms, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end && !done()) {
        plat::BackendEvent ev;
        while (plat::backend().poll(ev)) {
        }
        plat::backend().wait(10);
    }
}

// The other client: from each of `windows` windows a MULTIPLE request of its share of the pairs,
// never read. Writes the pairs converted to `out`, then waits for a byte on `go` and ends.
int client(int windows, int out, int go) {
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr)
        return 1;
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Atom list = XInternAtom(d, "KV_BENCH_PAIRS", False);
    const Atom target = XInternAtom(d, "image/emf", False);
    std::vector<long> atoms;
    for (int i = 0; i < kPairs / windows; ++i) {
        atoms.push_back(static_cast<long>(target));
        atoms.push_back(
            static_cast<long>(XInternAtom(d, ("KV_BENCH_" + std::to_string(i)).c_str(), False)));
    }
    for (int i = 0; i < windows; ++i) {
        const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
        XChangeProperty(d, w, list, XInternAtom(d, "ATOM_PAIR", False), 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(atoms.data()),
                        static_cast<int>(atoms.size()));
        XConvertSelection(d, clipboard, XInternAtom(d, "MULTIPLE", False), list, w, CurrentTime);
    }
    XFlush(d);
    long accepted = 0;
    for (int answered = 0; answered < windows;) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type != SelectionNotify)
            continue;
        ++answered;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (e.xselection.property != None &&
            XGetWindowProperty(d, e.xselection.requestor, list, 0, 1 << 20, False, AnyPropertyType,
                               &type, &format, &count, &after, &data) == Success &&
            format == 32) {
            for (unsigned long i = 1; i < count; i += 2)
                accepted += reinterpret_cast<const long*>(data)[i] != None ? 1 : 0;
        }
        if (data)
            XFree(data);
    }
    if (write(out, &accepted, sizeof accepted) != sizeof accepted)
        return 1;
    char byte = 0;
    if (read(go, &byte, 1) != 1)
        return 1;
    XCloseDisplay(d);
    return 0;
}

void Load(benchmark::State& state, int windows) {
    for (auto _ : state) {
        // A picture of its own per run, made on the first request.
        std::vector<std::uint8_t> picture(kPicture);
        for (std::size_t i = 0; i < picture.size(); ++i)
            picture[i] = static_cast<std::uint8_t>(i * 13 + i / 4093);
        plat::backend().clipboardOffer({plat::ClipboardItem{"image/emf", std::move(picture)}});
        serve(100, [] { return false; });
        // The peak is counted from here.
        std::ofstream("/proc/self/clear_refs") << "5";
        const double before = statusKb("VmRSS:");
        int answer[2], go[2];
        if (pipe(answer) != 0 || pipe(go) != 0) {
            state.SkipWithError("no pipe");
            return;
        }
        const pid_t child = fork();
        if (child == 0)
            _exit(client(windows, answer[1], go[0]));
        long accepted = -1;
        serve(60000, [&] {
            pollfd p{answer[0], POLLIN, 0};
            return ::poll(&p, 1, 0) > 0 &&
                   read(answer[0], &accepted, sizeof accepted) == sizeof accepted;
        });
        // Held unread for a moment: what stays is what the requests cost.
        serve(500, [] { return false; });
        const double served = statusKb("VmRSS:") - before;
        const double peak = statusKb("VmHWM:") - before;
        const char byte = 'g';
        if (write(go[1], &byte, 1) != 1)
            kill(child, SIGKILL);
        int status = 0;
        serve(5000, [&] { return waitpid(child, &status, WNOHANG) == child; });
        // The client's end reaches this process as events: served for a moment more.
        serve(500, [] { return false; });
        const double gone = statusKb("VmRSS:") - before;
        for (int fd : {answer[0], answer[1], go[0], go[1]})
            close(fd);
        state.counters["served_MB"] = served / 1024;
        state.counters["peak_MB"] = peak / 1024;
        state.counters["gone_MB"] = gone / 1024;
        state.counters["accepted"] = static_cast<double>(accepted);
        // The next run starts from empty contents.
        plat::backend().clipboardOffer({});
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!plat::OpenDisplay()) {
        std::fputs("kv_selection_load_bench: no X display (run it under Xvfb)\n", stderr);
        return 1;
    }
    benchmark::RegisterBenchmark("multiple4000/1MB/one_window", Load, 1)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("multiple4000/1MB/20_windows", Load, 20)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
