// Another X client that asks the clipboard's owner for much and reads none of it: from each of
// WINDOWS windows one MULTIPLE request of PAIRS pairs for TARGET, each pair into a property of its
// own (or, with "plain", PAIRS plain requests into as many properties). It reads the owner's
// answer to each request (which were converted), never the converted data, keeps its windows
// HOLD_MS longer and then ends, its windows with it.
// It prints "answered A accepted N most M": the requests answered, the pairs (or requests)
// converted in all, and the most converted for one window. Status 1 when a request gets no
// answer within 30 s.
// Usage: kv_smoke_hostile_requestor TARGET WINDOWS PAIRS HOLD_MS [plain] (on an X display).

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fputs("usage: kv_smoke_hostile_requestor TARGET WINDOWS PAIRS HOLD_MS\n", stderr);
        return 2;
    }
    const int windows = std::atoi(argv[2]);
    const int pairs = std::atoi(argv[3]);
    const int holdMs = std::atoi(argv[4]);
    const bool plain = argc > 5 && std::strcmp(argv[5], "plain") == 0;
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fputs("hostile requestor: no display\n", stderr);
        return 1;
    }
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Atom multiple = XInternAtom(d, "MULTIPLE", False);
    const Atom atomPair = XInternAtom(d, "ATOM_PAIR", False);
    const Atom target = XInternAtom(d, argv[1], False);
    const Atom list = XInternAtom(d, "KV_HOSTILE_PAIRS", False);
    std::vector<long> atoms;
    for (int i = 0; i < pairs; ++i) {
        atoms.push_back(static_cast<long>(target));
        atoms.push_back(
            static_cast<long>(XInternAtom(d, ("KV_HOSTILE_" + std::to_string(i)).c_str(), False)));
    }
    for (int i = 0; i < windows; ++i) {
        const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
        if (plain) {
            for (int j = 0; j < pairs; ++j)
                XConvertSelection(d, clipboard, target, static_cast<Atom>(atoms[2 * j + 1]), w,
                                  CurrentTime);
            continue;
        }
        XChangeProperty(d, w, list, atomPair, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(atoms.data()),
                        static_cast<int>(atoms.size()));
        XConvertSelection(d, clipboard, multiple, list, w, CurrentTime);
    }
    XFlush(d);
    const int requests = plain ? windows * pairs : windows;
    int answered = 0;
    long accepted = 0, most = 0;
    std::map<Window, long> perWindow;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (answered < requests && std::chrono::steady_clock::now() < end) {
        if (!XPending(d)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        XEvent e;
        XNextEvent(d, &e);
        if (e.type != SelectionNotify)
            continue;
        ++answered;
        if (e.xselection.property == None)
            continue;
        if (plain) {
            ++accepted;
            most = std::max(most, ++perWindow[e.xselection.requestor]);
            continue;
        }
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        long converted = 0;
        if (XGetWindowProperty(d, e.xselection.requestor, list, 0, 1 << 20, False, AnyPropertyType,
                               &type, &format, &count, &after, &data) == Success &&
            format == 32) {
            const long* answer = reinterpret_cast<const long*>(data);
            for (unsigned long i = 1; i < count; i += 2)
                converted += answer[i] != None ? 1 : 0;
        }
        if (data)
            XFree(data);
        accepted += converted;
        most = std::max(most, converted);
    }
    std::printf("answered %d accepted %ld most %ld\n", answered, accepted, most);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    XCloseDisplay(d);
    return answered == requests ? 0 : 1;
}
