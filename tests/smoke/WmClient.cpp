// What a window manager sends a client, from the command line, for the smoke scripts:
//   wmclient ping WINDOW MS   pings WINDOW (_NET_WM_PING); status 0 when answered within MS
//   wmclient close WINDOW     asks WINDOW to close (WM_DELETE_WINDOW), as a close button does
//   wmclient ink WINDOW       finds the white page of the document shown in WINDOW (the first
//                             block of 4 x 4 white pixels from the top left, extended right and
//                             down while it stays white) and prints it and the box of the dark
//                             pixels on it, short of its last 4 columns and rows: "left top
//                             right bottom inkLeft inkTop inkRight
//                             inkBottom", right and bottom exclusive; status 1 when there is none
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

// The page and the ink on it (see the usage above).
bool printInk(Display* d, Window w) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a))
        return false;
    XImage* img = XGetImage(d, w, 0, 0, static_cast<unsigned>(a.width),
                            static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    if (img == nullptr)
        return false;
    auto white = [&](int x, int y) { return (XGetPixel(img, x, y) & 0xFFFFFF) == 0xFFFFFF; };
    auto dark = [&](int x, int y) {
        const unsigned long p = XGetPixel(img, x, y);
        return ((p >> 16) & 0xFF) < 96 && ((p >> 8) & 0xFF) < 96 && (p & 0xFF) < 96;
    };
    int left = -1;
    int top = -1;
    // A block of 4 x 4 white pixels: the thin white lines of 3D edges are no page.
    auto block = [&](int x, int y) {
        for (int dy = 0; dy < 4; ++dy)
            for (int dx = 0; dx < 4; ++dx)
                if (x + dx >= a.width || y + dy >= a.height || !white(x + dx, y + dy))
                    return false;
        return true;
    };
    for (int y = 0; y < a.height && top < 0; ++y)
        for (int x = 0; x < a.width && top < 0; ++x)
            if (block(x, y)) {
                left = x;
                top = y;
            }
    bool found = false;
    if (top >= 0) {
        int right = left;
        while (right < a.width && white(right, top + 2))
            ++right;
        int bottom = top;
        while (bottom < a.height && white(left + 2, bottom))
            ++bottom;
        int inkLeft = right;
        int inkTop = bottom;
        int inkRight = left;
        int inkBottom = top;
        // The scroll bars' edges reach a pixel or two into the page's last columns and rows.
        for (int y = top; y < bottom - 4; ++y)
            for (int x = left; x < right - 4; ++x)
                if (dark(x, y)) {
                    inkLeft = x < inkLeft ? x : inkLeft;
                    inkTop = y < inkTop ? y : inkTop;
                    inkRight = x + 1 > inkRight ? x + 1 : inkRight;
                    inkBottom = y + 1 > inkBottom ? y + 1 : inkBottom;
                }
        found = inkLeft < inkRight;
        if (found)
            std::printf("%d %d %d %d %d %d %d %d\n", left, top, right, bottom, inkLeft, inkTop,
                        inkRight, inkBottom);
    }
    XDestroyImage(img);
    return found;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: wmclient ping WINDOW MS | close WINDOW | ink WINDOW\n", stderr);
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
    } else if (std::strcmp(argv[1], "ink") == 0) {
        status = printInk(d, w) ? 0 : 1;
    }
    XCloseDisplay(d);
    return status;
}
