// The whole editor on a real X server, driven from outside by random input from a fixed seed:
// keys, typed text, clicks in the documents and in the palette, menu picks (a click on the menu
// bar, then on an item), answers to every box and dialog that opens (Enter, Escape, clicks on
// its buttons) and Escape. Input goes through XTest, as a user's would, under a window manager
// (openbox, fluxbox) or none.
//
// It fails when the program ends other than by its own choice (a crash, a signal, any status but
// the normal one), when a sanitizer reports on its standard error, or when it hangs. A hang is
// seen from outside, as a window manager sees it: the frame must answer _NET_WM_PING within two
// seconds, and once the input stops the program's processor use must fall below a tenth of a core.
// At the end the program gets SIGTERM, as at a session's end, and must be gone within 5 s. A
// program that ends by its own choice (Quit, or its last document closed) is started again.
//
// Usage: kv_smoke_x11_random PROGRAM WORKDIR, on an X server of its own (OnXvfb.sh none).
// Settings:
//   KV_RANDOM_SECONDS  how long the input lasts (120)
//   KV_RANDOM_WM       openbox, fluxbox or none (openbox); the test runs itself again under
//                      UnderWm.sh, which starts that window manager on the display
//   KV_RANDOM_SEED     the seed (24); printed at the start and on failure, for a replay
//   KV_RANDOM_TRACE    1 prints every action as it is made
//   KV_RANDOM_STEPS    stops the input after that many steps (to replay up to a failure)
// For example, ten minutes under fluxbox, in the sanitizer build (build-fuzz; ctest's run of it
// stops at 5 minutes):
//   KV_RANDOM_WM=fluxbox KV_RANDOM_SECONDS=600 ../tests/smoke/OnXvfb.sh none
//     tests/kv_smoke_x11_random src/korvaline /tmp/random-input

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long envNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtol(text, nullptr, 10) : fallback;
}

std::string envText(const char* name, const char* fallback) {
    const char* text = std::getenv(name);
    return text && *text ? text : fallback;
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The program and the window manager, once started.
std::atomic<pid_t> g_programPid{-1};
std::atomic<pid_t> g_wmPid{-1}; // started by UnderWm.sh, which names it in KV_WM_PID

// ---- Processes -------------------------------------------------------------------------------

// Starts `argv` in the folder `dir` with its standard output and error in `log`; the process id,
// or -1.
pid_t spawn(const std::vector<std::string>& argv, const fs::path& dir, const fs::path& log) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
    }
    if (chdir(dir.c_str()) != 0)
        _exit(127);
    execvp(args[0], args.data());
    _exit(127);
}

// Where `pid` is, when gdb is at hand: its threads' stacks, or an empty text.
std::string stacksOf(pid_t pid, const fs::path& file) {
    const std::string command = "timeout 60 gdb -p " + std::to_string(pid) +
                                " -batch -ex 'thread apply all bt 40' >" + file.string() + " 2>&1";
    (void)!std::system(command.c_str());
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.substr(0, 12000);
}

// Processor time (user and system) of `pid` in clock ticks, -1 when it is gone.
long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(in, text))
        return -1;
    // The name in parentheses may hold spaces: the fields are counted after its closing one.
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::vector<std::string> fields;
    size_t at = close + 2;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos)
            end = text.size();
        fields.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    // Fields 14 and 15 of the line (utime, stime) are 12 and 13 after the state (field 3).
    if (fields.size() < 13)
        return -1;
    return std::atol(fields[11].c_str()) + std::atol(fields[12].c_str());
}

// The share of one core `pid` uses over `ms` milliseconds (0.25 is a quarter of a core).
double cpuShare(pid_t pid, int ms) {
    const long before = cpuTicks(pid);
    sleepMs(ms);
    const long after = cpuTicks(pid);
    if (before < 0 || after < 0)
        return 0;
    return static_cast<double>(after - before) / static_cast<double>(sysconf(_SC_CLK_TCK)) /
           (ms / 1000.0);
}

// ---- The display -----------------------------------------------------------------------------

int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

struct Top {
    ::Window w = 0;
    std::string name;
    int x = 0, y = 0, width = 0, height = 0;
    bool popup = false; // a menu or another popup
};

class Screen {
public:
    bool open() {
        m_d = XOpenDisplay(nullptr);
        if (!m_d)
            return false;
        XSetErrorHandler(&ignoreXError);
        int event = 0, error = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(m_d, &event, &error, &major, &minor))
            return false;
        m_root = DefaultRootWindow(m_d);
        // The answers to our pings come to the root with SubstructureNotify.
        XSelectInput(m_d, m_root, SubstructureNotifyMask);
        m_protocols = XInternAtom(m_d, "WM_PROTOCOLS", False);
        m_ping = XInternAtom(m_d, "_NET_WM_PING", False);
        m_wmCheck = XInternAtom(m_d, "_NET_SUPPORTING_WM_CHECK", False);
        // The server gives every client the same mask of the id bits it allocates; the others
        // tell the client.
        if (xcb_connection_t* c = xcb_connect(nullptr, nullptr)) {
            if (!xcb_connection_has_error(c))
                m_mask = xcb_get_setup(c)->resource_id_mask;
            xcb_disconnect(c);
        }
        if (m_mask == 0)
            return false;
        return true;
    }
    Display* display() const { return m_d; }
    ::Window root() const { return m_root; }

    // True once a window manager has taken the display over.
    bool windowManagerRunning() {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const bool found = XGetWindowProperty(m_d, m_root, m_wmCheck, 0, 1, False, XA_WINDOW, &type,
                                              &format, &count, &after, &data) == Success &&
                           data && count == 1;
        if (data)
            XFree(data);
        return found;
    }

    // True when the window manager maps a new window of ours within `ms` (it answers requests).
    bool windowManagerAnswers(int ms) {
        XSetWindowAttributes attrs;
        std::memset(&attrs, 0, sizeof attrs);
        attrs.event_mask = StructureNotifyMask;
        const ::Window probe = XCreateWindow(m_d, m_root, 0, 0, 16, 16, 0, CopyFromParent,
                                             InputOutput, CopyFromParent, CWEventMask, &attrs);
        XStoreName(m_d, probe, "random input probe");
        XMapWindow(m_d, probe);
        XFlush(m_d);
        bool mapped = false;
        const Clock::time_point start = Clock::now();
        while (!mapped && Clock::now() - start < std::chrono::milliseconds(ms)) {
            XEvent got;
            if (XCheckTypedWindowEvent(m_d, probe, MapNotify, &got))
                mapped = true;
            else
                sleepMs(10);
        }
        XDestroyWindow(m_d, probe);
        XSync(m_d, False);
        drain();
        return mapped;
    }

    // Forgets the program's windows (it was started again).
    void forgetProgram() { m_base = 0; }

    // The program's mapped top-level windows: each X window it made that is a child of the root or
    // of a window manager's frame. Its windows are told by the client part of their ids, learnt
    // from the frame (the window named "Korvaline").
    std::vector<Top> programWindows() {
        std::vector<Top> out;
        if (m_base == 0) {
            const ::Window frame = findNamed(m_root, "Korvaline", 0);
            if (!frame)
                return out;
            m_base = frame & ~m_mask;
        }
        collect(m_root, out, 0);
        return out;
    }

    // Sends _NET_WM_PING to `w` and waits up to `ms` for its answer on the root: the time it took,
    // or nothing.
    std::optional<int> ping(::Window w, int ms) {
        const long stamp = ++m_pingStamp;
        XEvent e;
        std::memset(&e, 0, sizeof e);
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = m_protocols;
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(m_ping);
        e.xclient.data.l[1] = stamp;
        e.xclient.data.l[2] = static_cast<long>(w);
        XSendEvent(m_d, w, False, NoEventMask, &e);
        XFlush(m_d);
        const Clock::time_point start = Clock::now();
        for (;;) {
            while (XPending(m_d)) {
                XEvent got;
                XNextEvent(m_d, &got);
                if (got.type == ClientMessage && got.xclient.message_type == m_protocols &&
                    static_cast<Atom>(got.xclient.data.l[0]) == m_ping &&
                    got.xclient.data.l[1] == stamp &&
                    static_cast<::Window>(got.xclient.data.l[2]) == w)
                    return static_cast<int>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)
                            .count());
            }
            if (Clock::now() - start > std::chrono::milliseconds(ms))
                return std::nullopt;
            sleepMs(5);
        }
    }

    // True when the point (root coordinates) shows `w`: no other window, nor a window manager's
    // decoration, covers it there. Clicks go only to such points, so that they reach the program
    // and never a window manager's button (which would minimise a window, say).
    bool shows(::Window w, int x, int y) {
        int dx = 0, dy = 0;
        ::Window child = 0;
        if (!XTranslateCoordinates(m_d, m_root, m_root, x, y, &dx, &dy, &child) || !child)
            return false;
        if (child != rootChildOf(w))
            return false;
        // Under a window manager the root's child is its frame: the point must also be inside
        // the window itself, not on the frame's decoration.
        ::Window inner = 0;
        return XTranslateCoordinates(m_d, m_root, w, x, y, &dx, &dy, &inner) && dx >= 0 &&
               dy >= 0 && insideOf(w, dx, dy);
    }

    // The points of `t` (from `top` pixels down, in root coordinates) whose colour differs from
    // the most common one, the background: where the documents are on the frame.
    std::vector<std::pair<int, int>> pointsOffBackground(const Top& t, int top,
                                                         std::mt19937& random) {
        std::vector<std::pair<int, int>> found;
        if (t.width < 8 || t.height < top + 8)
            return found;
        XImage* img = XGetImage(m_d, t.w, 0, top, static_cast<unsigned>(t.width),
                                static_cast<unsigned>(t.height - top), AllPlanes, ZPixmap);
        if (!img)
            return found;
        std::vector<std::pair<int, int>> points;
        std::vector<unsigned long> colours;
        for (int i = 0; i < 400; ++i) {
            const int x = std::uniform_int_distribution<int>(2, t.width - 3)(random);
            const int y = std::uniform_int_distribution<int>(2, t.height - top - 3)(random);
            points.emplace_back(x, y);
            colours.push_back(XGetPixel(img, x, y));
        }
        XDestroyImage(img);
        std::vector<unsigned long> sorted = colours;
        std::sort(sorted.begin(), sorted.end());
        unsigned long background = sorted[0];
        size_t bestRun = 0;
        for (size_t i = 0; i < sorted.size();) {
            size_t j = i;
            while (j < sorted.size() && sorted[j] == sorted[i])
                ++j;
            if (j - i > bestRun) {
                bestRun = j - i;
                background = sorted[i];
            }
            i = j;
        }
        for (size_t i = 0; i < points.size(); ++i) {
            if (colours[i] != background)
                found.emplace_back(t.x + points[i].first, t.y + top + points[i].second);
        }
        return found;
    }

    // Drops the events we do not wait for (structure changes under the root).
    void drain() {
        while (XPending(m_d)) {
            XEvent got;
            XNextEvent(m_d, &got);
        }
    }

    // Writes the screen as a PPM file.
    void saveScreen(const fs::path& path) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(m_d, m_root, &a))
            return;
        XImage* img = XGetImage(m_d, m_root, 0, 0, static_cast<unsigned>(a.width),
                                static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
        if (!img)
            return;
        std::ofstream out(path, std::ios::binary);
        out << "P6\n" << a.width << " " << a.height << "\n255\n";
        for (int y = 0; y < a.height; ++y) {
            for (int x = 0; x < a.width; ++x) {
                const unsigned long p = XGetPixel(img, x, y);
                const char rgb[3] = {static_cast<char>((p >> 16) & 0xFF),
                                     static_cast<char>((p >> 8) & 0xFF),
                                     static_cast<char>(p & 0xFF)};
                out.write(rgb, 3);
            }
        }
        XDestroyImage(img);
    }

private:
    ::Window rootChildOf(::Window w) {
        for (int depth = 0; depth < 8; ++depth) {
            ::Window rootReturn = 0, parent = 0, *children = nullptr;
            unsigned count = 0;
            if (!XQueryTree(m_d, w, &rootReturn, &parent, &children, &count))
                return 0;
            if (children)
                XFree(children);
            if (parent == m_root)
                return w;
            w = parent;
        }
        return 0;
    }

    bool insideOf(::Window w, int x, int y) {
        XWindowAttributes a;
        return XGetWindowAttributes(m_d, w, &a) && x < a.width && y < a.height;
    }

    std::string nameOf(::Window w) {
        char* name = nullptr;
        std::string out;
        if (XFetchName(m_d, w, &name) && name) {
            out = name;
            XFree(name);
        }
        return out;
    }

    ::Window findNamed(::Window under, const char* name, int depth) {
        ::Window rootReturn = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        ::Window found = 0;
        if (depth > 3 || !XQueryTree(m_d, under, &rootReturn, &parent, &children, &count))
            return 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(m_d, children[i], &a) || a.map_state != IsViewable)
                continue;
            if (nameOf(children[i]) == name)
                found = children[i];
            else
                found = findNamed(children[i], name, depth + 1);
        }
        if (children)
            XFree(children);
        return found;
    }

    void collect(::Window under, std::vector<Top>& out, int depth) {
        ::Window rootReturn = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (depth > 3 || !XQueryTree(m_d, under, &rootReturn, &parent, &children, &count))
            return;
        for (unsigned i = 0; i < count; ++i) {
            const ::Window c = children[i];
            XWindowAttributes a;
            if (!XGetWindowAttributes(m_d, c, &a) || a.map_state != IsViewable)
                continue;
            if ((c & ~m_mask) != m_base) {
                // A window manager's frame: the program's window is inside it.
                collect(c, out, depth + 1);
                continue;
            }
            Top t;
            t.w = c;
            t.name = nameOf(c);
            t.width = a.width;
            t.height = a.height;
            // Menus are override-redirect windows; a window without a name is taken for one too.
            t.popup = a.override_redirect || t.name.empty();
            ::Window child = 0;
            XTranslateCoordinates(m_d, c, m_root, 0, 0, &t.x, &t.y, &child);
            out.push_back(t);
        }
        if (children)
            XFree(children);
    }

    Display* m_d = nullptr;
    ::Window m_root = 0;
    Atom m_protocols = 0, m_ping = 0, m_wmCheck = 0;
    XID m_mask = 0, m_base = 0;
    long m_pingStamp = 1000;
};

// ---- The input -------------------------------------------------------------------------------

// Characters the default keyboard map lacks are put on spare key codes before the program starts.
struct ExtraKey {
    KeySym sym;
    KeyCode code;
};

class Keyboard {
public:
    explicit Keyboard(Display* d)
        : m_d(d) {}

    void addSpareSymbols(const std::vector<KeySym>& syms) {
        int minCode = 0, maxCode = 0;
        XDisplayKeycodes(m_d, &minCode, &maxCode);
        int perCode = 0;
        KeySym* map = XGetKeyboardMapping(m_d, static_cast<KeyCode>(minCode), maxCode - minCode + 1,
                                          &perCode);
        size_t next = 0;
        for (int code = maxCode; code >= minCode && next < syms.size(); --code) {
            bool empty = true;
            for (int k = 0; k < perCode; ++k)
                empty = empty && map[(code - minCode) * perCode + k] == NoSymbol;
            if (!empty)
                continue;
            KeySym pair[2] = {syms[next], syms[next]};
            XChangeKeyboardMapping(m_d, code, 2, pair, 1);
            ++next;
        }
        XFree(map);
        XSync(m_d, False);
    }

    // Presses and releases the key of `sym` with the modifiers (ShiftMask, ControlMask, Mod1Mask).
    void tap(KeySym sym, unsigned mods) {
        KeyCode code = XKeysymToKeycode(m_d, sym);
        if (!code)
            return;
        // A symbol on the shifted level needs Shift.
        if (symbolAt(code, 0) != sym && symbolAt(code, 1) == sym)
            mods |= ShiftMask;
        holdMods(mods, True);
        XTestFakeKeyEvent(m_d, code, True, CurrentTime);
        XTestFakeKeyEvent(m_d, code, False, CurrentTime);
        holdMods(mods, False);
        XSync(m_d, False);
    }

private:
    KeySym symbolAt(KeyCode code, int index) {
        int perCode = 0;
        KeySym* syms = XGetKeyboardMapping(m_d, code, 1, &perCode);
        const KeySym out = syms && index < perCode ? syms[index] : NoSymbol;
        if (syms)
            XFree(syms);
        return out;
    }
    void holdMods(unsigned mods, Bool down) {
        const std::pair<unsigned, KeySym> keys[] = {
            {ControlMask, XK_Control_L}, {Mod1Mask, XK_Alt_L}, {ShiftMask, XK_Shift_L}};
        for (const auto& [mask, sym] : keys) {
            if (mods & mask)
                XTestFakeKeyEvent(m_d, XKeysymToKeycode(m_d, sym), down, CurrentTime);
        }
    }

    Display* m_d;
};

// ---- The test --------------------------------------------------------------------------------

// Window-manager shortcuts that act on windows rather than type (Alt+F4 closes, Alt+Tab cycles,
// Ctrl+F2 changes the workspace) are kept out: the keys are those a user gives the editor.
struct KeyChoice {
    KeySym sym;
    const char* name;
};
const KeyChoice kKeys[] = {
    {XK_a, "a"},
    {XK_b, "b"},
    {XK_c, "c"},
    {XK_v, "v"},
    {XK_x, "x"},
    {XK_z, "z"},
    {XK_f, "f"},
    {XK_s, "s"},
    {XK_q, "q"},
    {XK_w, "w"},
    {XK_1, "1"},
    {XK_2, "2"},
    {XK_9, "9"},
    {XK_space, "Space"},
    {XK_Return, "Enter"},
    {XK_Tab, "Tab"},
    {XK_BackSpace, "Backspace"},
    {XK_Escape, "Escape"},
    {XK_Delete, "Delete"},
    {XK_Insert, "Insert"},
    {XK_Left, "Left"},
    {XK_Right, "Right"},
    {XK_Up, "Up"},
    {XK_Down, "Down"},
    {XK_Home, "Home"},
    {XK_End, "End"},
    {XK_Prior, "PageUp"},
    {XK_Next, "PageDown"},
    {XK_F1, "F1"},
    {XK_F2, "F2"},
    {XK_F5, "F5"},
    {XK_F9, "F9"},
    {XK_KP_9, "KP9"},
    {XK_KP_Add, "KP+"},
    {XK_KP_Divide, "KP/"},
    {XK_Menu, "Menu"},
};

// Typed text, with characters outside the default keyboard map.
const char32_t kTextChars[] = U"abcxyzABC0123456789+-=*/()[]{}<>|^_.,;:!? '\"éàüµ";

KeySym keysymOfChar(char32_t c) {
    switch (c) {
    case ' ':
        return XK_space;
    case '+':
        return XK_plus;
    case '-':
        return XK_minus;
    case '=':
        return XK_equal;
    case '*':
        return XK_asterisk;
    case '/':
        return XK_slash;
    case '(':
        return XK_parenleft;
    case ')':
        return XK_parenright;
    case '[':
        return XK_bracketleft;
    case ']':
        return XK_bracketright;
    case '{':
        return XK_braceleft;
    case '}':
        return XK_braceright;
    case '<':
        return XK_less;
    case '>':
        return XK_greater;
    case '|':
        return XK_bar;
    case '^':
        return XK_asciicircum;
    case '_':
        return XK_underscore;
    case '.':
        return XK_period;
    case ',':
        return XK_comma;
    case ';':
        return XK_semicolon;
    case ':':
        return XK_colon;
    case '!':
        return XK_exclam;
    case '?':
        return XK_question;
    case '\'':
        return XK_apostrophe;
    case '"':
        return XK_quotedbl;
    default:
        return static_cast<KeySym>(c); // Latin-1 keysyms are their code points
    }
}

std::string utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// What a sanitizer writes when it reports.
bool hasSanitizerReport(const std::string& text) {
    return text.find("Sanitizer") != std::string::npos ||
           text.find("runtime error:") != std::string::npos;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr char kFindWindowTitle[] = "Rechercher & remplacer";
// Fichier's last item (Quitter) is the bottom band of the popup under the bar's first title.
constexpr int kLastItemBand = 21;
// The menu bar's height and the stretch of it the titles take.
constexpr int kMenuBarHeight = 19;
constexpr int kMenuTitlesWidth = 520;
// Where the first title ("Fichier") ends, with a margin.
constexpr int kFirstTitleEnd = 52;

class RandomInput {
public:
    RandomInput(fs::path program, fs::path work)
        : m_program(std::move(program))
        , m_work(std::move(work)) {}

    int run() {
        const int status = test();
        m_stopWatching = true;
        if (m_watcher.joinable())
            m_watcher.join();
        return status;
    }

private:
    int test() {
        m_seed = static_cast<unsigned>(envNumber("KV_RANDOM_SEED", 24));
        m_random.seed(m_seed);
        m_seconds = envNumber("KV_RANDOM_SECONDS", 120);
        m_wm = envText("KV_RANDOM_WM", "openbox");
        m_trace = envNumber("KV_RANDOM_TRACE", 0) != 0;
        const long steps = envNumber("KV_RANDOM_STEPS", -1);
        std::printf("random input: seed %u, %ld s, window manager %s\n", m_seed, m_seconds,
                    m_wm.c_str());
        std::fflush(stdout);
        if (!prepareFolders())
            return fail("cannot make the work folder " + m_work.string());
        if (!m_screen.open())
            return fail("no X display with XTest");
        m_keyboard.emplace(m_screen.display());
        m_keyboard->addSpareSymbols({XK_eacute, XK_agrave, XK_udiaeresis, XK_mu});
        if (m_wm != "none" && (g_wmPid <= 0 || !m_screen.windowManagerRunning()))
            return fail("no window manager " + m_wm + " on the display");
        if (!startProgram())
            return fail("the program showed no frame window");

        const Clock::time_point end = Clock::now() + std::chrono::seconds(m_seconds);
        Clock::time_point nextPing = Clock::now();
        m_watcher = std::thread(&RandomInput::watch, this);
        while (Clock::now() < end && (steps < 0 || m_step < steps)) {
            m_heartbeat = Clock::now().time_since_epoch().count();
            ++m_step;
            act();
            if (!checkProgram())
                return 1;
            if (Clock::now() >= nextPing) {
                if (!pingFrame("during the input"))
                    return 1;
                nextPing = Clock::now() + std::chrono::milliseconds(1000);
            }
        }
        return finish();
    }

    // ---- Set-up ------------------------------------------------------------------------------

    bool prepareFolders() {
        std::error_code ec;
        fs::remove_all(m_work, ec);
        for (const char* sub : {"home", "run", "config", "data", "cache", "bin"})
            fs::create_directories(m_work / sub, ec);
        if (ec)
            return false;
        fs::permissions(m_work / "run", fs::perms::owner_all, ec);
        setenv("HOME", (m_work / "home").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (m_work / "run").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_work / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_work / "data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (m_work / "cache").c_str(), 1);
        // What the program hands to the desktop (help pages, printing) is only recorded.
        for (const char* tool : {"xdg-open", "lp", "lpstat"}) {
            const fs::path stub = m_work / "bin" / tool;
            std::ofstream(stub) << "#!/bin/sh\necho \"" << tool << " $*\" >>\""
                                << (m_work / "desktop.log").string() << "\"\n";
            fs::permissions(stub, fs::perms::owner_all, ec);
        }
        const std::string path = (m_work / "bin").string() + ":" + envText("PATH", "/usr/bin:/bin");
        setenv("PATH", path.c_str(), 1);
        // In the sanitizer build a freed block stays unused for as long as 2 GB of later frees
        // allow (the default is 256 MB): a use after free in a long run is still reported as
        // one, not turned into a wrong type or into silence when the block is used again.
        std::string asan = envText("ASAN_OPTIONS", "");
        if (asan.find("quarantine_size_mb") == std::string::npos)
            asan += std::string(asan.empty() ? "" : ":") + "quarantine_size_mb=2048";
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        return !ec;
    }

    bool startProgram() {
        m_screen.forgetProgram();
        m_frameWindow = 0;
        ++m_starts;
        m_log = m_work / ("program-" + std::to_string(m_starts) + ".log");
        g_programPid = spawn({m_program.string(), "-nosplash"}, m_work / "home", m_log);
        for (int i = 0; i < 600; ++i) {
            if (frameOf(m_screen.programWindows()).w != 0)
                return true;
            int status = 0;
            if (waitpid(g_programPid, &status, WNOHANG) == g_programPid) {
                g_programPid = -1;
                return false;
            }
            sleepMs(50);
        }
        return false;
    }

    // ---- Watching the program ----------------------------------------------------------------

    // The frame among the program's windows: the one found first, else the largest window named
    // "Korvaline" (message boxes bear that name too).
    Top frameOf(const std::vector<Top>& windows) {
        Top best;
        for (const Top& t : windows) {
            if (t.w == m_frameWindow)
                return t;
            if (t.name == "Korvaline" && !t.popup && t.width * t.height > best.width * best.height)
                best = t;
        }
        m_frameWindow = best.w;
        return best;
    }

    // False (after reporting) when the program ended other than by its own choice or a sanitizer
    // reported; a program that ended by its own choice is started again.
    bool checkProgram() {
        if (g_wmPid > 0 && kill(g_wmPid, 0) != 0) {
            g_wmPid = -1;
            return failWith("the window manager ended");
        }
        const std::string log = readFile(m_log);
        if (hasSanitizerReport(log))
            return failWith("a sanitizer reported on the program's standard error:\n" + log);
        int status = 0;
        if (waitpid(g_programPid, &status, WNOHANG) != g_programPid)
            return true;
        g_programPid = -1;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            // Quit, or its last document closed: the program ends the normal way.
            record("(the program ended the normal way; started again)");
            ++m_normalEnds;
            if (!startProgram())
                return failWith("the program showed no frame window when started again");
            return true;
        }
        const std::string how = WIFEXITED(status)
                                    ? "exit status " + std::to_string(WEXITSTATUS(status))
                                    : "signal " + std::to_string(WTERMSIG(status));
        return failWith("the program ended (" + how + ")\n" + log);
    }

    bool pingFrame(const std::string& when) {
        const Top frame = frameOf(m_screen.programWindows());
        if (frame.w == 0) {
            // The frame may be between an end and a new start; a missing frame for long is a hang
            // of its own kind.
            if (++m_framelessChecks > 10)
                return failWith("the frame window stayed away " + when);
            return true;
        }
        m_framelessChecks = 0;
        const std::optional<int> answer = m_screen.ping(frame.w, 2000);
        m_screen.drain();
        if (answer) {
            ++m_pings;
            m_slowestPing = std::max(m_slowestPing, *answer);
            return true;
        }
        // A program that ends its own way (its last document closed) answers no more while its
        // windows outlive it through the sanitizer's leak check at exit: that is an end, started
        // again, not a hang. A program still there 5 s later is stuck.
        for (int i = 0; i < 100 && g_programPid > 0; ++i) {
            char state = 0;
            std::ifstream stat("/proc/" + std::to_string(g_programPid) + "/stat");
            std::string pid, name;
            stat >> pid >> name >> state;
            if (!stat || state == 'Z')
                return checkProgram();
            sleepMs(50);
        }
        const double share = cpuShare(g_programPid, 2000);
        char text[160];
        std::snprintf(text, sizeof text,
                      "no answer to _NET_WM_PING within 2 s %s; the program then used %.0f%% of "
                      "a core over 2 s",
                      when.c_str(), share * 100);
        return failWith(text);
    }

    int finish() {
        m_heartbeat = Clock::now().time_since_epoch().count();
        // The input has stopped: the program answers and goes idle.
        sleepMs(1500);
        if (!checkProgram() || !pingFrame("after the input"))
            return 1;
        double share = 1;
        for (int attempt = 0; attempt < 3 && share >= 0.10; ++attempt)
            share = cpuShare(g_programPid, 3000);
        if (share >= 0.10) {
            char text[120];
            std::snprintf(text, sizeof text,
                          "the program kept %.0f%% of a core busy after the input stopped",
                          share * 100);
            failWith(text);
            return 1;
        }
        if (!pingFrame("once idle"))
            return 1;
        // Nor has the program left the window manager stuck.
        if (g_wmPid > 0 && !m_screen.windowManagerAnswers(5000)) {
            const std::string stacks = stacksOf(g_wmPid, m_work / "stacks-window-manager.txt");
            failWith("the window manager stopped answering (it maps no new window); its stacks:\n" +
                     stacks);
            return 1;
        }
        if (!stopProgram())
            return fail("the program did not end within 5 s of SIGTERM");
        const std::string log = readFile(m_log);
        if (hasSanitizerReport(log)) {
            failWith("a sanitizer reported on the program's standard error:\n" + log);
            return 1;
        }
        std::printf("random input: passed: %ld actions, %d pings answered (slowest %d ms), "
                    "%d normal ends\n",
                    m_step.load(), m_pings, m_slowestPing, m_normalEnds);
        return 0;
    }

    // Ends the program as a session's end does, with SIGTERM; false when it is still running 5 s
    // later.
    bool stopProgram() {
        if (g_programPid <= 0)
            return true;
        kill(g_programPid, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(g_programPid, nullptr, WNOHANG) == g_programPid) {
                g_programPid = -1;
                return true;
            }
            sleepMs(50);
        }
        return false;
    }

    // On a failure the window manager is ended too (UnderWm.sh stops it otherwise), so that a
    // stuck one never holds the display.
    void killWindowManager() {
        const pid_t pid = g_wmPid.exchange(-1);
        if (pid > 0)
            kill(pid, SIGKILL);
    }

    // ---- Failures ----------------------------------------------------------------------------

    void record(const std::string& action) {
        const std::string line = "step " + std::to_string(m_step.load()) + ": " + action;
        if (m_trace) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        }
        std::lock_guard<std::mutex> lock(m_recentLock);
        m_recent.push_back(line);
        if (m_recent.size() > 30)
            m_recent.pop_front();
    }

    int fail(const std::string& what) {
        failWith(what);
        return 1;
    }

    bool failWith(const std::string& what) {
        m_failing = true;
        report(what);
        if (m_screen.display()) {
            m_screen.saveScreen(m_work / "failure.ppm");
            std::printf("screen saved to %s\n", (m_work / "failure.ppm").c_str());
        }
        if (g_programPid > 0) {
            const std::string stacks = stacksOf(g_programPid, m_work / "stacks.txt");
            if (!stacks.empty())
                std::printf("the program's stacks:\n%s\n", stacks.c_str());
            kill(g_programPid, SIGKILL);
            waitpid(g_programPid, nullptr, 0);
            g_programPid = -1;
        }
        killWindowManager();
        std::fflush(stdout);
        return false;
    }

    void report(const std::string& what) {
        std::lock_guard<std::mutex> lock(m_recentLock);
        std::printf("random input: FAILED at step %ld: %s\n", m_step.load(), what.c_str());
        std::printf("seed %u (replay with KV_RANDOM_SEED=%u KV_RANDOM_WM=%s; KV_RANDOM_TRACE=1 "
                    "prints every action); last actions:\n",
                    m_seed, m_seed, m_wm.c_str());
        for (const std::string& line : m_recent)
            std::printf("  %s\n", line.c_str());
        std::fflush(stdout);
    }

    // Should the test itself stop moving (an X request that never returns, because the server is
    // grabbed by a window manager that froze), this thread reports it with the last actions and
    // the stacks of the program and the window manager: a failure, never a silent hang.
    void watch() {
        while (!m_stopWatching) {
            sleepMs(200);
            const auto beat = Clock::time_point(Clock::duration(m_heartbeat.load()));
            if (m_failing || Clock::now() - beat < std::chrono::seconds(60))
                continue;
            report("the test itself stopped for 60 s: an X request got no answer (the X server "
                   "grabbed by a window manager that stopped?)");
            for (const auto& [pid, name] : {std::make_pair(g_programPid.load(), "program"),
                                            std::make_pair(g_wmPid.load(), "window manager")}) {
                if (pid <= 0)
                    continue;
                const std::string stacks =
                    stacksOf(pid, m_work / (std::string("stacks-") + name + ".txt"));
                if (!stacks.empty())
                    std::printf("the %s's stacks:\n%s\n", name, stacks.c_str());
                kill(pid, SIGKILL);
            }
            std::fflush(stdout);
            _exit(1);
        }
    }

    // ---- Actions -----------------------------------------------------------------------------

    int pick(int n) { return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool chance(int percent) { return pick(100) < percent; }
    int between(int low, int high) { return high <= low ? low : low + pick(high - low + 1); }

    void pause() { sleepMs(between(20, 80)); }

    void act() {
        const std::vector<Top> windows = m_screen.programWindows();
        const Top frame = frameOf(windows);
        std::vector<Top> popups, boxes;
        std::optional<Top> palette, find;
        for (const Top& t : windows) {
            if (t.popup)
                popups.push_back(t);
            else if (t.name == "Palette")
                palette = t;
            else if (t.name == kFindWindowTitle)
                find = t; // modeless: it waits for no answer
            else if (t.w != frame.w)
                boxes.push_back(t);
        }
        if (!popups.empty() && chance(70)) {
            if (chance(75))
                clickInPopup(popups.back(), frame, false);
            else
                key(XK_Escape, 0, "Escape");
        } else if (!boxes.empty() && chance(75)) {
            answerBox(boxes.back());
        } else {
            const int kind = pick(100);
            if (kind < 28)
                randomKey();
            else if (kind < 42)
                typeText();
            else if (kind < 58 && frame.w)
                clickDocument(frame);
            else if (kind < 68 && palette)
                clickSomewhere(*palette, 2, " (palette)");
            else if (kind < 73 && find)
                clickSomewhere(*find, 2, " (find window)");
            else if (kind < 93 && frame.w)
                pickMenu(frame);
            else if (kind < 98)
                key(XK_Escape, 0, "Escape");
            else {
                record("pause");
                sleepMs(between(100, 500));
            }
        }
        pause();
    }

    void key(KeySym sym, unsigned mods, const std::string& name) {
        std::string text;
        if (mods & ControlMask)
            text += "Ctrl+";
        if (mods & Mod1Mask)
            text += "Alt+";
        if (mods & ShiftMask)
            text += "Shift+";
        record("key " + text + name);
        m_keyboard->tap(sym, mods);
    }

    void randomKey() {
        const KeyChoice& k = kKeys[pick(static_cast<int>(std::size(kKeys)))];
        const unsigned mods[] = {0,
                                 0,
                                 0,
                                 0,
                                 ShiftMask,
                                 ShiftMask,
                                 ControlMask,
                                 ControlMask,
                                 Mod1Mask,
                                 ControlMask | ShiftMask,
                                 Mod1Mask | ShiftMask};
        unsigned mod = mods[pick(static_cast<int>(std::size(mods)))];
        // Alt goes with letters and digits only (menu mnemonics): with the other keys, window
        // managers take it for their own (Alt+Tab, Alt+Space, Alt+F9, Alt+Shift+Left). So do they
        // take Ctrl with a function key (fluxbox's Ctrl+F1 to Ctrl+F12 change the workspace).
        const bool letterOrDigit =
            (k.sym >= XK_a && k.sym <= XK_z) || (k.sym >= XK_0 && k.sym <= XK_9);
        if (!letterOrDigit)
            mod &= ~Mod1Mask;
        if (k.sym >= XK_F1 && k.sym <= XK_F35)
            mod &= ~ControlMask;
        key(k.sym, mod, k.name);
    }

    void typeText() {
        std::u32string text;
        for (int n = between(1, 6); n > 0; --n)
            text += kTextChars[pick(static_cast<int>(std::size(kTextChars)) - 1)];
        std::string shown;
        for (char32_t c : text)
            shown += utf8(c);
        record("type \"" + shown + "\"");
        for (char32_t c : text) {
            m_keyboard->tap(keysymOfChar(c), 0);
            sleepMs(5);
        }
    }

    void move(int x, int y) {
        XTestFakeMotionEvent(m_screen.display(), -1, x, y, CurrentTime);
        XSync(m_screen.display(), False);
    }

    void button(unsigned b, bool down) {
        XTestFakeButtonEvent(m_screen.display(), b, down ? True : False, CurrentTime);
        XSync(m_screen.display(), False);
    }

    void click(int x, int y, unsigned b = 1) {
        move(x, y);
        sleepMs(10);
        button(b, true);
        sleepMs(10);
        button(b, false);
    }

    static std::string at(const Top& t, int x, int y) {
        return std::to_string(x - t.x) + "," + std::to_string(y - t.y) + " in \"" + t.name + "\"";
    }

    // A point of `t` in the rectangle (relative to it) that no other window covers, in root
    // coordinates; nothing when none is found in a few tries.
    std::optional<std::pair<int, int>> spotIn(const Top& t, int left, int top, int right,
                                              int bottom) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int x = t.x + between(left, right);
            const int y = t.y + between(top, bottom);
            if (m_screen.shows(t.w, x, y))
                return std::make_pair(x, y);
        }
        return std::nullopt;
    }

    // Clicks of every kind somewhere in `t`, from `top` pixels down.
    void clickSomewhere(const Top& t, int top, const std::string& where) {
        if (t.width < 4 || t.height < top + 4)
            return;
        if (const auto spot = spotIn(t, 2, top, t.width - 3, t.height - 3))
            clickAt(t, spot->first, spot->second, top, where);
        else
            record("no uncovered spot in \"" + t.name + "\"" + where);
    }

    // A click, double click, right click or short drag at x, y (root coordinates) in `t`.
    void clickAt(const Top& t, int x, int y, int top, const std::string& where) {
        const int kind = pick(10);
        if (kind < 6) {
            record("click at " + at(t, x, y) + where);
            click(x, y);
        } else if (kind < 8) {
            record("double click at " + at(t, x, y) + where);
            click(x, y);
            sleepMs(30);
            click(x, y);
        } else if (kind < 9) {
            record("right click at " + at(t, x, y) + where);
            click(x, y, 3);
        } else {
            const int toX = std::clamp(x + between(-80, 80), t.x + 2, t.x + t.width - 3);
            const int toY = std::clamp(y + between(-60, 60), t.y + top, t.y + t.height - 3);
            record("drag from " + at(t, x, y) + " to " + at(t, toX, toY) + where);
            move(x, y);
            button(1, true);
            for (int s = 1; s <= 5; ++s) {
                sleepMs(15);
                move(x + (toX - x) * s / 5, y + (toY - y) * s / 5);
            }
            button(1, false);
        }
    }

    // Documents sit on the frame's plain background: most clicks go where it is not plain.
    void clickDocument(const Top& frame) {
        const int top = kMenuBarHeight + 2;
        if (chance(85)) {
            for (const auto& [x, y] : m_screen.pointsOffBackground(frame, top, m_random)) {
                if (m_screen.shows(frame.w, x, y)) {
                    clickAt(frame, x, y, top, " (a document)");
                    return;
                }
            }
        }
        clickSomewhere(frame, top, " (the frame)");
    }

    // A click on an item of an open menu. Quitter, the last item of the bar's first menu, is left
    // alone: in the menu that opened under the first title (`fileMenu`) or in any menu that opens
    // where that one does.
    void clickInPopup(const Top& popup, const Top& frame, bool fileMenu) {
        if (popup.width < 6 || popup.height < 6)
            return;
        int bottom = popup.height - 3;
        fileMenu = fileMenu || popup.w == m_fileMenuWindow ||
                   (frame.w && std::abs(popup.x - frame.x) < 12 && popup.y >= frame.y &&
                    popup.y <= frame.y + kMenuBarHeight + 4);
        if (fileMenu)
            m_fileMenuWindow = popup.w;
        if (fileMenu)
            bottom = std::max(2, popup.height - kLastItemBand);
        const auto spot = spotIn(popup, 3, 2, popup.width - 4, bottom);
        if (!spot)
            return;
        const auto [x, y] = *spot;
        record("click at " + std::to_string(x - popup.x) + "," + std::to_string(y - popup.y) +
               " in a popup " + std::to_string(popup.width) + "x" + std::to_string(popup.height));
        click(x, y);
    }

    // A click on the menu bar, then on an item of the menu that opens (and of a submenu when the
    // item leads to one).
    void pickMenu(const Top& frame) {
        const auto spot =
            spotIn(frame, 4, 4, std::min(kMenuTitlesWidth, frame.width - 4), kMenuBarHeight - 5);
        if (!spot)
            return;
        const auto [x, y] = *spot;
        const int dx = x - frame.x;
        record("click on the menu bar at " + at(frame, x, y));
        size_t before = popupsOf(m_screen.programWindows()).size();
        click(x, y);
        for (int level = 0; level < 3; ++level) {
            std::vector<Top> popups;
            for (int i = 0; i < 25; ++i) {
                sleepMs(20);
                popups = popupsOf(m_screen.programWindows());
                if (popups.size() > before)
                    break;
            }
            if (popups.size() <= before)
                return;
            if (chance(8)) {
                key(XK_Escape, 0, "Escape");
                return;
            }
            before = popups.size();
            clickInPopup(popups.back(), frame, level == 0 && dx < kFirstTitleEnd);
        }
    }

    static std::vector<Top> popupsOf(const std::vector<Top>& windows) {
        std::vector<Top> out;
        for (const Top& t : windows) {
            if (t.popup)
                out.push_back(t);
        }
        return out;
    }

    // A box or dialog: Enter, Escape, a click on one of its buttons (at its bottom or its right
    // edge, where they sit), a click anywhere or a few keys.
    void answerBox(const Top& box) {
        const int kind = pick(100);
        if (kind < 22) {
            key(XK_Return, 0, "Enter");
        } else if (kind < 44) {
            key(XK_Escape, 0, "Escape");
        } else if (kind < 64 && box.height > 40) {
            if (const auto spot = spotIn(box, 4, box.height - 40, box.width - 5, box.height - 6)) {
                record("click on the bottom row at " + at(box, spot->first, spot->second));
                click(spot->first, spot->second);
            }
        } else if (kind < 76 && box.width > 100) {
            if (const auto spot = spotIn(box, box.width - 100, 4, box.width - 6, box.height - 5)) {
                record("click on the right column at " + at(box, spot->first, spot->second));
                click(spot->first, spot->second);
            }
        } else if (kind < 88) {
            clickSomewhere(box, 2, "");
        } else {
            static const KeyChoice dialogKeys[] = {{XK_Tab, "Tab"},   {XK_space, "Space"},
                                                   {XK_Down, "Down"}, {XK_Up, "Up"},
                                                   {XK_1, "1"},       {XK_a, "a"}};
            const KeyChoice& k = dialogKeys[pick(static_cast<int>(std::size(dialogKeys)))];
            key(k.sym, 0, k.name);
        }
    }

    fs::path m_program, m_work, m_log;
    Screen m_screen;
    std::optional<Keyboard> m_keyboard;
    std::mt19937 m_random;
    unsigned m_seed = 0;
    long m_seconds = 0;
    std::string m_wm;
    bool m_trace = false;
    ::Window m_frameWindow = 0;
    ::Window m_fileMenuWindow = 0; // the last menu that opened under the first title
    std::atomic<long> m_step{0};
    std::atomic<Clock::rep> m_heartbeat{Clock::now().time_since_epoch().count()};
    std::atomic<bool> m_failing{false};
    std::atomic<bool> m_stopWatching{false};
    std::thread m_watcher;
    std::mutex m_recentLock;
    int m_starts = 0, m_normalEnds = 0, m_pings = 0, m_slowestPing = 0, m_framelessChecks = 0;
    std::deque<std::string> m_recent;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PROGRAM WORKDIR\n", argv[0]);
        return 2;
    }
    // The window manager is started by UnderWm.sh, which runs this test again under it.
    const std::string wm = envText("KV_RANDOM_WM", "openbox");
    if (wm != "none" && !std::getenv("KV_WM_PID")) {
        const std::string self = fs::canonical("/proc/self/exe").string();
        char* args[] = {const_cast<char*>(KV_UNDER_WM_SCRIPT),
                        const_cast<char*>(wm.c_str()),
                        const_cast<char*>(self.c_str()),
                        argv[1],
                        argv[2],
                        nullptr};
        execv(args[0], args);
        std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
        return 1;
    }
    g_wmPid = static_cast<pid_t>(envNumber("KV_WM_PID", -1));
    signal(SIGPIPE, SIG_IGN);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    RandomInput test(fs::absolute(argv[1]), fs::absolute(argv[2]));
    return test.run();
}
