// A clipboard owner that answers a request for TYPE by an INCR transfer that never ends: after each
// chunk the requestor reads (deletes), the next one follows DELAY_MS later, for ever. It logs each
// event with the seconds since it started and ends when it loses the selection.
// Usage: kv_smoke_incr_owner TYPE DELAY_MS CHUNK_BYTES (on an X display).

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const auto t0 = std::chrono::steady_clock::now();

void note(const char* what, long n = -1) {
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (n >= 0)
        std::printf("%.3f %s %ld\n", s, what, n);
    else
        std::printf("%.3f %s\n", s, what);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: kv_smoke_incr_owner TYPE DELAY_MS CHUNK_BYTES\n", stderr);
        return 2;
    }
    const int delayMs = std::atoi(argv[2]);
    const std::vector<unsigned char> chunk(static_cast<size_t>(std::atol(argv[3])), 'x');
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fputs("incr owner: no display\n", stderr);
        return 1;
    }
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const Atom clip = XInternAtom(d, "CLIPBOARD", False);
    const Atom targets = XInternAtom(d, "TARGETS", False);
    const Atom incr = XInternAtom(d, "INCR", False);
    const Atom want = XInternAtom(d, argv[1], False);
    XSetSelectionOwner(d, clip, w, CurrentTime);
    if (XGetSelectionOwner(d, clip) != w) {
        std::fputs("incr owner: could not take the clipboard\n", stderr);
        return 1;
    }
    note("owner ready");
    Window requestor = 0;
    Atom property = 0;
    long sent = 0;
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == SelectionClear) {
            note("lost ownership");
            return 0;
        }
        if (e.type == SelectionRequest) {
            const XSelectionRequestEvent& r = e.xselectionrequest;
            XEvent n{};
            n.xselection.type = SelectionNotify;
            n.xselection.requestor = r.requestor;
            n.xselection.selection = r.selection;
            n.xselection.target = r.target;
            n.xselection.time = r.time;
            n.xselection.property = r.property;
            if (r.target == targets) {
                Atom offered[2] = {targets, want};
                XChangeProperty(d, r.requestor, r.property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<unsigned char*>(offered), 2);
            } else if (r.target == want) {
                // A size far larger than what will ever come.
                long total = 0x7fffffff;
                XSelectInput(d, r.requestor, PropertyChangeMask);
                XChangeProperty(d, r.requestor, r.property, incr, 32, PropModeReplace,
                                reinterpret_cast<unsigned char*>(&total), 1);
                requestor = r.requestor;
                property = r.property;
                sent = 0;
                note("transfer started");
            } else {
                n.xselection.property = None;
            }
            XSendEvent(d, r.requestor, False, 0, &n);
            XFlush(d);
        } else if (e.type == PropertyNotify && e.xproperty.window == requestor &&
                   e.xproperty.atom == property && e.xproperty.state == PropertyDelete) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            XChangeProperty(d, requestor, property, want, 8, PropModeReplace, chunk.data(),
                            static_cast<int>(chunk.size()));
            XFlush(d);
            note("chunk sent", ++sent);
        }
    }
}
