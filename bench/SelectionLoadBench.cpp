// The clipboard owner under another program's load, on a real X server (run it under Xvfb).
//
// `multiple4000/...`: this process offers a 1 MB picture as image/emf through the X11 back end, and
// a forked client asks for it in 4,000 MULTIPLE pairs that it never reads, from one window (the
// case reported) or spread over 20 windows. Reported per case: the growth of this process's
// resident memory while the requests are held unread (`served_MB`, and its peak `peak_MB`), after
// the client has ended (`gone_MB`), and the pairs converted (`accepted`).
//
// `large_copy`: the program itself opens a large document (KV_BENCH_DOCUMENT, a 25 MB one for the
// reported case), a key is typed, then Select All and Copy; then another program asks for
// image/emf, then for the text. Reported: the resident memory the Copy added (`copy_added_MB`) and
// its time (`copy_s`); per request the time to the answer, to the first byte and to the last
// (`*_answer_ms`, `*_first_ms`, `*_last_ms`; the bytes' times -1 when refused) and its bytes
// (`*_MB`); and the longest a window manager's ping waited for its answer from Select All on
// (`ping_max_ms`).
//
//   tests/smoke/OnXvfb.sh none build/bench/kv_selection_load_bench
//   KV_BENCH_DOCUMENT=/tmp/big25.pvx tests/smoke/OnXvfb.sh none build/bench/kv_selection_load_bench

#include "backend/Backend.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
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


// ---- A large document's copy, served to another program

long nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

// A field of /proc/PID/status in MB.
double statusMb(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(std::strlen(field) + 1)) / 1024;
    }
    return 0;
}

// Another program beside the editor: it pings the editor's window as a window manager does
// (the next ping 50 ms after each answer), keeps the longest wait, and asks for the clipboard.
class Requestor {
public:
    explicit Requestor(Display* d)
        : m_d(d)
        , m_root(DefaultRootWindow(d))
        , m_window(XCreateSimpleWindow(d, m_root, 0, 0, 1, 1, 0, 0, 0))
        , m_clipboard(XInternAtom(d, "CLIPBOARD", False))
        , m_incr(XInternAtom(d, "INCR", False))
        , m_property(XInternAtom(d, "KV_BENCH_DATA", False))
        , m_ping(XInternAtom(d, "_NET_WM_PING", False))
        , m_protocols(XInternAtom(d, "WM_PROTOCOLS", False)) {
        XSelectInput(d, m_window, PropertyChangeMask);
        XSelectInput(d, m_root, SubstructureNotifyMask);
    }
    void watch(Window frame) {
        m_frame = frame;
        m_longest = 0;
        m_sent = 0;
        m_next = nowMs();
        m_quick = false;
    }
    long longestPing() const { return m_longest; }
    // A ping since watch() was answered within a tenth of a second: the editor is idle.
    bool idle() const { return m_quick; }

    // Serves events (the pings among them) for up to `ms`, or until `done` says so.
    template <typename Done> void run(long ms, Done done) {
        const long end = nowMs() + ms;
        while (!done() && nowMs() < end) {
            pingIfDue();
            if (!XPending(m_d)) {
                pollfd fd{ConnectionNumber(m_d), POLLIN, 0};
                ::poll(&fd, 1, 10);
                continue;
            }
            XEvent e;
            XNextEvent(m_d, &e);
            handle(e);
        }
    }

    // The owner's types, or none within `ms`.
    std::vector<Atom> targets(long ms) {
        std::vector<Atom> out;
        m_answer = Answer{};
        XConvertSelection(m_d, m_clipboard, XInternAtom(m_d, "TARGETS", False), m_property,
                          m_window, CurrentTime);
        XFlush(m_d);
        run(ms, [&] { return m_answer.answered; });
        if (!m_answer.answered || m_answer.refused)
            return out;
        const auto* atoms = reinterpret_cast<const unsigned long*>(m_answer.bytes.data());
        out.assign(atoms, atoms + m_answer.bytes.size() / sizeof(unsigned long));
        return out;
    }

    struct Fetch {
        long answerMs = -1, firstMs = -1, lastMs = -1;
        double megabytes = 0;
    };
    // One request of `target`, read to its end (INCR followed).
    Fetch fetch(const char* target, long ms) {
        m_answer = Answer{};
        const long start = nowMs();
        XConvertSelection(m_d, m_clipboard, XInternAtom(m_d, target, False), m_property, m_window,
                          CurrentTime);
        XFlush(m_d);
        run(ms, [&] { return m_answer.answered && (!m_answer.incr || m_answer.ended); });
        Fetch f;
        if (!m_answer.answered)
            return f;
        f.answerMs = m_answer.answeredAt - start;
        if (m_answer.refused)
            return f;
        f.firstMs = m_answer.firstAt < 0 ? -1 : m_answer.firstAt - start;
        f.lastMs = m_answer.lastAt < 0 ? -1 : m_answer.lastAt - start;
        f.megabytes = static_cast<double>(m_answer.size) / (1 << 20);
        return f;
    }

private:
    struct Answer {
        bool answered = false, refused = false, incr = false, ended = false;
        long answeredAt = -1, firstAt = -1, lastAt = -1;
        std::size_t size = 0;
        std::vector<unsigned char> bytes;
    };

    // Reads and deletes the property; its bytes go to m_answer.bytes (TARGETS) or are counted.
    // An INCR announcement counts none.
    std::size_t take(bool keep, bool& incr) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(m_d, m_window, m_property, 0, 0x7FFFFFFF, True, AnyPropertyType, &type,
                           &format, &count, &after, &data);
        const std::size_t bytes = count * (format == 32 ? sizeof(long) : format / 8);
        if (keep && data != nullptr)
            m_answer.bytes.assign(data, data + bytes);
        if (data != nullptr)
            XFree(data);
        incr = type == m_incr;
        return incr ? 0 : bytes;
    }

    void handle(const XEvent& e) {
        if (e.type == ClientMessage && e.xclient.message_type == m_protocols &&
            static_cast<Atom>(e.xclient.data.l[0]) == m_ping && m_sent != 0) {
            m_longest = std::max(m_longest, nowMs() - m_sent);
            m_quick = m_quick || nowMs() - m_sent < 100;
            m_sent = 0;
            m_next = nowMs() + 50;
        } else if (e.type == SelectionNotify && e.xselection.requestor == m_window) {
            m_answer.answered = true;
            m_answer.answeredAt = nowMs();
            if (e.xselection.property == None) {
                m_answer.refused = true;
                return;
            }
            const std::size_t n = take(true, m_answer.incr);
            m_answer.size = n;
            if (!m_answer.incr)
                m_answer.firstAt = m_answer.lastAt = nowMs();
        } else if (e.type == PropertyNotify && e.xproperty.window == m_window &&
                   e.xproperty.state == PropertyNewValue && m_answer.incr && !m_answer.ended) {
            bool incr = false;
            const std::size_t n = take(false, incr);
            if (m_answer.firstAt < 0)
                m_answer.firstAt = nowMs();
            m_answer.size += n;
            if (n == 0) {
                m_answer.ended = true;
                m_answer.lastAt = nowMs();
            }
        }
    }

    void pingIfDue() {
        if (m_frame == 0)
            return;
        const long t = nowMs();
        if (m_sent != 0) {
            // Waiting for the answer: its wait so far counts too.
            m_longest = std::max(m_longest, t - m_sent);
            return;
        }
        if (t < m_next)
            return;
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = m_frame;
        e.xclient.message_type = m_protocols;
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(m_ping);
        e.xclient.data.l[1] = t & 0x7FFFFFFF;
        e.xclient.data.l[2] = static_cast<long>(m_frame);
        XSendEvent(m_d, m_frame, False, NoEventMask, &e);
        XFlush(m_d);
        m_sent = t;
    }

    Display* m_d;
    Window m_root, m_window;
    Atom m_clipboard, m_incr, m_property, m_ping, m_protocols;
    Window m_frame = 0;
    long m_sent = 0, m_next = 0, m_longest = 0;
    bool m_quick = false;
    Answer m_answer;
};

// The program's main window, titled "Korvaline", of process `pid`; 0 when there is none yet.
Window mainWindowOf(Display* d, pid_t pid) {
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    Window found = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n))
        return 0;
    for (unsigned i = 0; i < n && found == 0; ++i) {
        char* name = nullptr;
        if (XFetchName(d, children[i], &name) && name != nullptr) {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            if (std::strcmp(name, "Korvaline") == 0 &&
                XGetWindowProperty(d, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type,
                                   &format, &count, &after, &data) == Success &&
                count == 1 && *reinterpret_cast<const unsigned long*>(data) == unsigned(pid))
                found = children[i];
            if (data != nullptr)
                XFree(data);
            XFree(name);
        }
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

void key(Display* d, std::initializer_list<KeySym> keys) {
    for (const KeySym k : keys)
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, k), True, CurrentTime);
    for (auto k = std::rbegin(keys); k != std::rend(keys); ++k)
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, *k), False, CurrentTime);
    XFlush(d);
}

void LargeCopy(benchmark::State& state, std::string document) {
    for (auto _ : state) {
        char folder[] = "/tmp/kv-large-copy-XXXXXX";
        if (mkdtemp(folder) == nullptr) {
            state.SkipWithError("no folder");
            return;
        }
        const pid_t program = fork();
        if (program == 0) {
            const std::string home = folder;
            setenv("HOME", home.c_str(), 1);
            setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
            setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
            setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
            execl(KV_PROGRAM, KV_PROGRAM, "-nosplash", document.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        Display* d = XOpenDisplay(nullptr);
        Requestor other(d);
        Window frame = 0;
        other.run(120000, [&] { return (frame = mainWindowOf(d, program)) != 0; });
        if (frame == 0) {
            kill(program, SIGKILL);
            waitpid(program, nullptr, 0);
            state.SkipWithError("the program shows no window");
            return;
        }
        // Idle once a ping is answered at once; then a key, Select All and Copy.
        other.watch(frame);
        other.run(120000, [&] { return other.idle(); });
        XSetInputFocus(d, frame, RevertToParent, CurrentTime);
        other.run(500, [] { return false; });
        key(d, {XK_x});
        other.run(1000, [] { return false; });
        other.watch(frame);
        other.run(120000, [&] { return other.idle(); });
        const double before = statusMb(program, "VmRSS:");
        other.watch(frame);
        const long copyStart = nowMs();
        key(d, {XK_Control_L, XK_a});
        key(d, {XK_Control_L, XK_c});
        const Atom own = XInternAtom(d, "application/x-kv-Korvaline-Expression", False);
        for (bool copied = false; !copied && nowMs() - copyStart < 300000;) {
            const std::vector<Atom> types = other.targets(2000);
            copied = std::find(types.begin(), types.end(), own) != types.end();
            if (!copied)
                other.run(200, [] { return false; });
        }
        state.counters["copy_s"] = static_cast<double>(nowMs() - copyStart) / 1000;
        const long pingsDuringCopy = other.longestPing();
        other.watch(frame);
        other.run(120000, [&] { return other.idle(); });
        state.counters["copy_added_MB"] = statusMb(program, "VmRSS:") - before;
        other.watch(frame);
        for (const char* target : {"image/emf", "UTF8_STRING"}) {
            const Requestor::Fetch f = other.fetch(target, 120000);
            const std::string name = target[0] == 'i' ? "emf" : "text";
            state.counters[name + "_answer_ms"] = static_cast<double>(f.answerMs);
            state.counters[name + "_first_ms"] = static_cast<double>(f.firstMs);
            state.counters[name + "_last_ms"] = static_cast<double>(f.lastMs);
            state.counters[name + "_MB"] = f.megabytes;
        }
        state.counters["ping_max_ms"] =
            static_cast<double>(std::max(pingsDuringCopy, other.longestPing()));
        state.counters["peak_MB"] = statusMb(program, "VmHWM:");
        kill(program, SIGTERM);
        waitpid(program, nullptr, 0);
        XCloseDisplay(d);
        std::system((std::string("rm -rf ") + folder).c_str());
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
    if (const char* document = std::getenv("KV_BENCH_DOCUMENT"))
        benchmark::RegisterBenchmark("large_copy", LargeCopy, std::string(document))
            ->Iterations(1)
            ->Unit(benchmark::kSecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
