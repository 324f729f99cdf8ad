// What a window manager sends a client, from the command line, for the smoke scripts:
//   wmclient ping WINDOW MS   pings WINDOW (_NET_WM_PING); status 0 when answered within MS
//   wmclient close WINDOW     asks WINDOW to close (WM_DELETE_WINDOW), as a close button does
// WINDOW is an X window id in decimal or 0x hexadecimal.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <time.h>

namespace {

long nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

void sendProtocol(Display* d, Window w, const char* protocol, long stamp) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, protocol, False));
    e.xclient.data.l[1] = stamp;
    e.xclient.data.l[2] = static_cast<long>(w);
    XSendEvent(d, w, False, NoEventMask, &e);
    XFlush(d);
}

bool pingAnswered(Display* d, Window w, long ms) {
    const Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureNotifyMask);
    const long stamp = nowMs() & 0x7FFFFFFF;
    sendProtocol(d, w, "_NET_WM_PING", stamp);
    const Atom ping = XInternAtom(d, "_NET_WM_PING", False);
    const long deadline = nowMs() + ms;
    for (;;) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == ClientMessage && e.xclient.window == root &&
                static_cast<Atom>(e.xclient.data.l[0]) == ping && e.xclient.data.l[1] == stamp &&
                e.xclient.data.l[2] == static_cast<long>(w))
                return true;
        }
        const long left = deadline - nowMs();
        if (left <= 0)
            return false;
        pollfd fd{ConnectionNumber(d), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: wmclient ping WINDOW MS | close WINDOW\n", stderr);
        return 2;
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fputs("wmclient: no X display\n", stderr);
        return 2;
    }
    const Window w = static_cast<Window>(std::strtoul(argv[2], nullptr, 0));
    int status = 2;
    if (std::strcmp(argv[1], "ping") == 0 && argc >= 4) {
        status = pingAnswered(d, w, std::strtol(argv[3], nullptr, 10)) ? 0 : 1;
    } else if (std::strcmp(argv[1], "close") == 0) {
        sendProtocol(d, w, "WM_DELETE_WINDOW", CurrentTime);
        status = 0;
    }
    XCloseDisplay(d);
    return status;
}
