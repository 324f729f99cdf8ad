// The crash handler. It runs in a signal handler while the program's state may be damaged, so it
// allocates nothing and calls only functions that are safe there (open, read, write, close,
// clock_gettime, time, execve, _exit), plus backtrace, which is loaded once at installation.

#include "plat/Crash.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

extern char** environ;

namespace plat {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr std::size_t kPathMax = 4096;
constexpr std::size_t kMapsMax = 256 * 1024;
constexpr std::size_t kStackCopy = 64 * 1024;
constexpr int kMaxFrames = 64;
constexpr int kNameTries = 2000;

// Everything the handler needs, made at installation.
struct HandlerState {
    char dumpFolder[kPathMax] = "";
    char reportFolder[kPathMax] = "";
    char program[kPathMax] = "/proc/self/exe";
    const std::string* log = nullptr;
    long utcOffset = 0; // seconds east of UTC at installation
    // Work buffers.
    char reportPath[kPathMax] = "";
    char dumpPath[kPathMax] = "";
    char logPath[kPathMax] = "";
    char maps[kMapsMax] = "";
    std::size_t mapsLength = 0;
    void* frames[kMaxFrames] = {};
    CrashContext context;
};

HandlerState s_state;
std::atomic<bool> s_inHandler{false};
char* s_altStack = nullptr;

// --- Formatting without the C library's buffered or locale-dependent functions -------------

class Out {
public:
    explicit Out(int fd)
        : m_fd(fd) {}
    ~Out() { flush(); }
    Out& str(const char* s) {
        while (s && *s)
            put(*s++);
        return *this;
    }
    Out& text(const char* s, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            put(s[i]);
        return *this;
    }
    Out& hex(std::uint64_t v, int width) {
        char digits[16];
        int n = 0;
        do {
            digits[n++] = "0123456789ABCDEF"[v & 0xF];
            v >>= 4;
        } while (v != 0 && n < 16);
        for (int i = n; i < width; ++i)
            put('0');
        while (n > 0)
            put(digits[--n]);
        return *this;
    }
    Out& dec(long long v, int width) {
        char digits[24];
        int n = 0;
        const bool negative = v < 0;
        unsigned long long u = negative ? 0ull - static_cast<unsigned long long>(v)
                                        : static_cast<unsigned long long>(v);
        do {
            digits[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u != 0 && n < 24);
        if (negative)
            put('-');
        for (int i = n; i < width; ++i)
            put('0');
        while (n > 0)
            put(digits[--n]);
        return *this;
    }
    void flush() {
        std::size_t at = 0;
        while (at < m_used) {
            const ssize_t n = ::write(m_fd, m_buf + at, m_used - at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            at += static_cast<std::size_t>(n);
        }
        m_used = 0;
    }

private:
    void put(char c) {
        if (m_used == sizeof m_buf)
            flush();
        m_buf[m_used++] = c;
    }
    int m_fd;
    char m_buf[1024];
    std::size_t m_used = 0;
};

// A path "<folder>/<base><suffix>_<n>.<ext>" in `out`.
void makePath(char* out, const char* folder, const char* base, const char* stamp, long n,
              const char* ext) {
    std::size_t at = 0;
    const auto add = [&](const char* s) {
        while (*s && at + 1 < kPathMax)
            out[at++] = *s++;
    };
    add(folder);
    if (at > 0 && out[at - 1] != '/' && at + 1 < kPathMax)
        out[at++] = '/';
    add(base);
    add(stamp);
    add("_");
    char digits[24];
    int d = 0;
    unsigned long u = static_cast<unsigned long>(n);
    do {
        digits[d++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    while (d > 0 && at + 1 < kPathMax)
        out[at++] = digits[--d];
    add(".");
    add(ext);
    out[at] = 0;
}

// Creates a new file (never an existing one) named after the milliseconds clock; -1 when no name
// is free.
int createUnique(char* path, const char* folder, const char* base, const char* stamp,
                 const char* ext) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    long tick = static_cast<long>(ts.tv_sec % 100000000) * 1000 + ts.tv_nsec / 1000000;
    for (int i = 0; i < kNameTries; ++i, ++tick) {
        makePath(path, folder, base, stamp, tick, ext);
        const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            break;
    }
    path[0] = 0;
    return -1;
}

// "-MM-dd-yyyy-HHmmss" of the local time (the offset from UTC taken at installation).
void dateStamp(char* out, int* parts) {
    const long long t = static_cast<long long>(time(nullptr)) + s_state.utcOffset;
    long long days = t / 86400;
    long long secs = t % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    // Days since 1970-01-01 to a civil date.
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    parts[0] = month;
    parts[1] = day;
    parts[2] = year;
    parts[3] = static_cast<int>(secs / 3600);
    parts[4] = static_cast<int>(secs / 60 % 60);
    parts[5] = static_cast<int>(secs % 60);
    const int values[] = {parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]};
    const int widths[] = {2, 2, 4, 2, 2, 2};
    // "-MM-dd-yyyy" then the time "-HHmmss" after its own dash: two dashes between them.
    const char* before[] = {"-", "-", "-", "--", "", ""};
    std::size_t at = 0;
    for (int i = 0; i < 6; ++i) {
        for (const char* b = before[i]; *b; ++b)
            out[at++] = *b;
        char digits[8];
        int n = 0, v = values[i];
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0 && n < 8);
        for (int k = n; k < widths[i]; ++k)
            out[at++] = '0';
        while (n > 0)
            out[at++] = digits[--n];
    }
    out[at] = 0;
}

void readMaps() {
    s_state.mapsLength = 0;
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    while (s_state.mapsLength < kMapsMax - 1) {
        const ssize_t n =
            ::read(fd, s_state.maps + s_state.mapsLength, kMapsMax - 1 - s_state.mapsLength);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        s_state.mapsLength += static_cast<std::size_t>(n);
    }
    ::close(fd);
    s_state.maps[s_state.mapsLength] = 0;
}

std::uint64_t parseHex(const char*& p) {
    std::uint64_t v = 0;
    for (;; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9')
            v = v * 16 + static_cast<std::uint64_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            v = v * 16 + static_cast<std::uint64_t>(c - 'a' + 10);
        else
            return v;
    }
}

// One line of /proc/self/maps.
struct MapLine {
    std::uint64_t start = 0, end = 0, offset = 0;
    const char* path = nullptr; // into the maps buffer, up to the end of the line
    std::size_t pathLength = 0;
};

// Calls f for each line; stops when f returns false.
template <class F> void eachMapLine(F f) {
    const char* p = s_state.maps;
    const char* end = s_state.maps + s_state.mapsLength;
    while (p < end) {
        const char* eol = p;
        while (eol < end && *eol != '\n')
            ++eol;
        MapLine line;
        const char* q = p;
        line.start = parseHex(q);
        if (*q == '-')
            ++q;
        line.end = parseHex(q);
        // perms, offset, dev, inode, path
        int field = 0;
        while (q < eol && field < 5) {
            while (q < eol && *q == ' ')
                ++q;
            if (field == 1)
                line.offset = parseHex(q);
            if (field == 4) {
                line.path = q;
                line.pathLength = static_cast<std::size_t>(eol - q);
                break;
            }
            while (q < eol && *q != ' ')
                ++q;
            ++field;
        }
        if (!f(line))
            return;
        p = eol + 1;
    }
}

void writeDump(int fd) {
    Out out(fd);
    out.text("KVMDMP01", 8);
    const std::uint32_t version = 1;
    out.text(reinterpret_cast<const char*>(&version), sizeof version);
    out.text(reinterpret_cast<const char*>(&s_state.context), sizeof s_state.context);
    const auto length = static_cast<std::uint32_t>(s_state.mapsLength);
    out.text(reinterpret_cast<const char*>(&length), sizeof length);
    out.text(s_state.maps, s_state.mapsLength);
    // The stack from the stack pointer up, as far as its mapping goes.
    std::uint64_t stackBytes = 0;
    const std::uint64_t sp = s_state.context.rsp;
    eachMapLine([&](const MapLine& line) {
        if (sp >= line.start && sp < line.end) {
            stackBytes = line.end - sp < kStackCopy ? line.end - sp : kStackCopy;
            return false;
        }
        return true;
    });
    const auto stackLength = static_cast<std::uint32_t>(stackBytes);
    out.text(reinterpret_cast<const char*>(&stackLength), sizeof stackLength);
    out.flush();
    if (stackBytes > 0) {
        // The raw system call: the bytes are the stack as it is, padding and all, which a checked
        // build's write wrapper would refuse to read.
        const long ignored =
            ::syscall(SYS_write, fd, reinterpret_cast<const void*>(sp), stackBytes);
        (void)ignored;
    }
}

void writeReport(int fd, const int* date) {
    const CrashContext& c = s_state.context;
    Out out(fd);
    out.str("Exception code: ").hex(static_cast<std::uint64_t>(c.signal), 8).str(" ");
    out.str(CrashSignalName(c.signal)).str("\n");
    out.str("Date:  ").dec(date[0], 2).str("-").dec(date[1], 2).str("-").dec(date[2], 4);
    out.str(", ").dec(date[3], 2).str(":").dec(date[4], 2).str(":").dec(date[5], 2).str("\n");
    // The module holding the faulting instruction, and the offset in its file.
    out.str("Fault address:  ").hex(c.faultAddress, 16).str(" ");
    bool found = false;
    eachMapLine([&](const MapLine& line) {
        if (c.rip >= line.start && c.rip < line.end && line.path) {
            out.hex(c.rip - line.start + line.offset, 16).str(" ");
            out.text(line.path, line.pathLength);
            found = true;
            return false;
        }
        return true;
    });
    if (!found)
        out.hex(0, 16).str(" ");
    out.str("\n\nRegisters:\n");
    const struct {
        const char* name;
        std::uint64_t value;
    } regs[] = {{"RAX", c.rax}, {"RBX", c.rbx}, {"RCX", c.rcx}, {"RDX", c.rdx}, {"RSI", c.rsi},
                {"RDI", c.rdi}, {"R8", c.r8},   {"R9", c.r9},   {"R10", c.r10}, {"R11", c.r11},
                {"R12", c.r12}, {"R13", c.r13}, {"R14", c.r14}, {"R15", c.r15}};
    for (const auto& r : regs)
        out.str(r.name).str(":").hex(r.value, 16).str("\n");
    out.str("CS:RIP:").hex(c.cs, 4).str(":").hex(c.rip, 16).str("\n");
    out.str("SS:RSP:").hex(c.ss, 4).str(":").hex(c.rsp, 16).str("  RBP:").hex(c.rbp, 16);
    out.str("\nFS:").hex(c.fs, 4).str("  GS:").hex(c.gs, 4).str("\n");
    out.str("Flags:").hex(c.eflags, 8).str("\n");
    out.str("\nCall stack:\n");
    out.flush();
    const int frames = backtrace(s_state.frames, kMaxFrames);
    backtrace_symbols_fd(s_state.frames, frames, fd);
    out.str("\nModule list : \n");
    const char* last = nullptr;
    std::size_t lastLength = 0;
    eachMapLine([&](const MapLine& line) {
        if (line.path && line.pathLength > 0 && line.path[0] == '/' &&
            !(last && lastLength == line.pathLength &&
              std::memcmp(last, line.path, lastLength) == 0)) {
            out.text(line.path, line.pathLength).str(" \n");
            last = line.path;
            lastLength = line.pathLength;
        }
        return true;
    });
}

void fillContext(int signal, const siginfo_t* info, const void* uc) {
    CrashContext& c = s_state.context;
    c = CrashContext();
    c.signal = signal;
    c.code = info ? info->si_code : 0;
    c.faultAddress = info ? reinterpret_cast<std::uint64_t>(info->si_addr) : 0;
#if defined(__x86_64__)
    if (uc) {
        const auto* g = static_cast<const ucontext_t*>(uc)->uc_mcontext.gregs;
        c.rip = static_cast<std::uint64_t>(g[REG_RIP]);
        c.rsp = static_cast<std::uint64_t>(g[REG_RSP]);
        c.rbp = static_cast<std::uint64_t>(g[REG_RBP]);
        c.rax = static_cast<std::uint64_t>(g[REG_RAX]);
        c.rbx = static_cast<std::uint64_t>(g[REG_RBX]);
        c.rcx = static_cast<std::uint64_t>(g[REG_RCX]);
        c.rdx = static_cast<std::uint64_t>(g[REG_RDX]);
        c.rsi = static_cast<std::uint64_t>(g[REG_RSI]);
        c.rdi = static_cast<std::uint64_t>(g[REG_RDI]);
        c.r8 = static_cast<std::uint64_t>(g[REG_R8]);
        c.r9 = static_cast<std::uint64_t>(g[REG_R9]);
        c.r10 = static_cast<std::uint64_t>(g[REG_R10]);
        c.r11 = static_cast<std::uint64_t>(g[REG_R11]);
        c.r12 = static_cast<std::uint64_t>(g[REG_R12]);
        c.r13 = static_cast<std::uint64_t>(g[REG_R13]);
        c.r14 = static_cast<std::uint64_t>(g[REG_R14]);
        c.r15 = static_cast<std::uint64_t>(g[REG_R15]);
        c.eflags = static_cast<std::uint64_t>(g[REG_EFL]);
        const auto segments = static_cast<std::uint64_t>(g[REG_CSGSFS]);
        c.cs = static_cast<std::uint16_t>(segments & 0xFFFF);
        c.gs = static_cast<std::uint16_t>((segments >> 16) & 0xFFFF);
        c.fs = static_cast<std::uint16_t>((segments >> 32) & 0xFFFF);
    }
#else
    (void)uc;
#endif
    if (c.faultAddress == 0 && signal != SIGSEGV && signal != SIGBUS)
        c.faultAddress = c.rip;
}

void crashHandler(int signal, siginfo_t* info, void* uc) {
    // A fault inside the handler ends the program at once.
    if (s_inHandler.exchange(true))
        _exit(1);
    fillContext(signal, info, uc);
    readMaps();
    char stamp[32];
    int date[6];
    dateStamp(stamp, date);

    if (s_state.dumpFolder[0]) {
        const int fd =
            createUnique(s_state.dumpPath, s_state.dumpFolder, "QVMinidump", stamp, "dmp");
        if (fd >= 0) {
            writeDump(fd);
            ::close(fd);
        }
    }
    const int rfd =
        createUnique(s_state.reportPath, s_state.reportFolder, "QVCrashReport", stamp, "rpt");
    if (rfd >= 0) {
        writeReport(rfd, date);
        ::close(rfd);
    }
    if (s_state.log && !s_state.log->empty()) {
        const int lfd =
            createUnique(s_state.logPath, s_state.reportFolder, "QVCrashLog", stamp, "txt");
        if (lfd >= 0) {
            Out(lfd).text(s_state.log->data(), s_state.log->size());
            ::close(lfd);
        }
    }
    char arg0[] = "korvaline";
    char page[] = "--crash-page";
    char* argv[] = {arg0, page, s_state.reportPath, s_state.dumpPath, s_state.logPath, nullptr};
    ::execve(s_state.program, argv, environ);
    _exit(1);
}

void copyText(char* out, const std::string& text) {
    const std::size_t n = text.size() < kPathMax - 1 ? text.size() : kPathMax - 1;
    std::memcpy(out, text.data(), n);
    out[n] = 0;
}

} // namespace

const char* CrashSignalName(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "UNKNOWN";
    }
}

bool InstallCrashHandler(const CrashSetup& setup) {
    copyText(s_state.dumpFolder, setup.dumpFolder);
    copyText(s_state.reportFolder, setup.reportFolder.empty() ? "/tmp" : setup.reportFolder);
    copyText(s_state.program, setup.program.empty() ? "/proc/self/exe" : setup.program);
    s_state.log = setup.log;
    const time_t now = time(nullptr);
    struct tm local {};
    if (localtime_r(&now, &local))
        s_state.utcOffset = local.tm_gmtoff;
    // Loads the unwinder now: its first use may allocate.
    backtrace(s_state.frames, 1);

    if (!s_altStack) {
        const std::size_t size = 64 * 1024;
        s_altStack = new (std::nothrow) char[size];
        if (!s_altStack)
            return false;
        stack_t ss{};
        ss.ss_sp = s_altStack;
        ss.ss_size = size;
        if (sigaltstack(&ss, nullptr) != 0)
            return false;
    }
    struct sigaction sa {};
    sa.sa_sigaction = &crashHandler;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int signal : kSignals) {
        if (sigaction(signal, &sa, nullptr) != 0)
            return false;
    }
    s_inHandler = false;
    return true;
}

} // namespace plat
