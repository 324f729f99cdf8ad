// The clipboard owner answers the two requests a plain client never makes: MULTIPLE (several
// targets in one request, with a pair the owner cannot convert answered None) and, at shut-down,
// SAVE_TARGETS from a clipboard manager, which then holds every offered target. A forked child
// plays the other X client with its own connection.
// Usage: kv_smoke_x11_clipboard_manager (under xvfb-run).

#include "SmokeSupport.h"
#include "backend/Backend.h"
#include "plat/Clipboard.h"
#include "plat/System.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kTypes[] = {"application/x-kv-One", "application/x-kv-Two"};

std::vector<std::uint8_t> bytesOf(int which) {
    std::vector<std::uint8_t> data(3000 + 1000 * which);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>('a' + (i * (3 + which)) % 26);
    return data;
}

// ---- The other client (child process) ----

struct Client {
    Display* display = nullptr;
    ::Window window = 0;
    Atom atom(const char* name) const { return XInternAtom(display, name, False); }

    // The next event that matches, within 10 s.
    bool waitFor(XEvent& out, int type) {
        for (int i = 0; i < 1000; ++i) {
            while (XPending(display)) {
                XNextEvent(display, &out);
                if (out.type == type)
                    return true;
            }
            usleep(10000);
        }
        return false;
    }
    bool readProperty(Atom property, std::vector<std::uint8_t>& out, int& format) {
        Atom type = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, property, 0, 1 << 24, True, AnyPropertyType, &type,
                               &format, &items, &after, &data) != Success)
            return false;
        const size_t unit = format == 32 ? sizeof(long) : format == 16 ? 2 : 1;
        out.assign(data, data + items * unit);
        XFree(data);
        return type != None;
    }
    bool convert(Atom selection, Atom target, Atom property, std::vector<std::uint8_t>& out) {
        XConvertSelection(display, selection, target, property, window, CurrentTime);
        XFlush(display);
        XEvent e;
        int format = 0;
        return waitFor(e, SelectionNotify) && e.xselection.property != None &&
               readProperty(property, out, format);
    }
};

int fail(const char* what) {
    std::fprintf(stderr, "clipboard manager smoke: %s\n", what);
    return 1;
}

int runClient(int readyFd) {
    Client c;
    c.display = XOpenDisplay(nullptr);
    if (c.display == nullptr)
        return fail("the client has no display");
    c.window = XCreateSimpleWindow(c.display, DefaultRootWindow(c.display), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = c.atom("CLIPBOARD");

    // MULTIPLE: two targets the owner has and one it has not, each into its own property.
    const Atom p1 = c.atom("KV_P1"), p2 = c.atom("KV_P2"), p3 = c.atom("KV_P3");
    long pairs[6] = {static_cast<long>(c.atom(kTypes[0])),
                     static_cast<long>(p1),
                     static_cast<long>(c.atom(kTypes[1])),
                     static_cast<long>(p2),
                     static_cast<long>(c.atom("application/x-kv-None")),
                     static_cast<long>(p3)};
    const Atom pairsProperty = c.atom("KV_PAIRS");
    XChangeProperty(c.display, c.window, pairsProperty, c.atom("ATOM_PAIR"), 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(pairs), 6);
    XConvertSelection(c.display, clipboard, c.atom("MULTIPLE"), pairsProperty, c.window,
                      CurrentTime);
    XFlush(c.display);
    XEvent e;
    if (!c.waitFor(e, SelectionNotify) || e.xselection.property != pairsProperty)
        return fail("MULTIPLE was refused");
    std::vector<std::uint8_t> raw, one, two;
    int format = 0;
    if (!c.readProperty(pairsProperty, raw, format) || format != 32 || raw.size() != sizeof pairs)
        return fail("MULTIPLE answered without its pairs");
    long answered[6];
    std::memcpy(answered, raw.data(), sizeof answered);
    if (answered[1] != static_cast<long>(p1) || answered[3] != static_cast<long>(p2) ||
        answered[5] != None)
        return fail("MULTIPLE's pairs are not marked as converted and refused");
    if (!c.readProperty(p1, one, format) || one != bytesOf(0) || !c.readProperty(p2, two, format) ||
        two != bytesOf(1))
        return fail("MULTIPLE's targets do not hold the offered data");

    // SAVE_TARGETS: take the manager's selection, tell the owner, and save what it offers when
    // it asks.
    XSetSelectionOwner(c.display, c.atom("CLIPBOARD_MANAGER"), c.window, CurrentTime);
    XFlush(c.display);
    const char ready = 'r';
    if (write(readyFd, &ready, 1) != 1)
        return fail("the owner cannot be told");
    if (!c.waitFor(e, SelectionRequest) || e.xselectionrequest.target != c.atom("SAVE_TARGETS"))
        return fail("no SAVE_TARGETS request came");
    const XSelectionRequestEvent request = e.xselectionrequest;
    std::vector<std::uint8_t> targets, saved[2];
    if (!c.convert(clipboard, c.atom("TARGETS"), c.atom("KV_T"), targets))
        return fail("the owner did not list its targets for the manager");
    for (int i = 0; i < 2; ++i)
        if (!c.convert(clipboard, c.atom(kTypes[i]), c.atom("KV_S"), saved[i]) ||
            saved[i] != bytesOf(i))
            return fail("the manager could not save every target");
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.property = request.property;
    reply.time = request.time;
    if (request.property != None)
        XChangeProperty(c.display, request.requestor, request.property, XA_ATOM, 32,
                        PropModeReplace, nullptr, 0);
    XSendEvent(c.display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(c.display);
    XCloseDisplay(c.display);
    return 0;
}

} // namespace

int main() {
    if (!plat::OpenDisplay())
        return fail("no X display");
    std::vector<plat::ClipboardItem> items;
    for (int i = 0; i < 2; ++i)
        items.push_back(plat::ClipboardItem{kTypes[i], bytesOf(i)});
    plat::backend().clipboardOffer(items);
    if (!plat::backend().clipboardOwned())
        return fail("the selection was not taken");
    int ready[2];
    if (pipe(ready) != 0)
        return fail("no pipe");
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        _exit(runClient(ready[1]));
    }
    close(ready[1]);
    // Serve the selection until the manager is ready, flush to it (served while waiting), then
    // wait for the client's verdict; at most 20 s in all.
    bool flushed = false;
    int status = -1;
    const plat::DWORD start = plat::GetTickCount();
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (plat::GetTickCount() - start > 20000) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return fail("the client did not finish");
        }
        plat::BackendEvent ev;
        while (plat::backend().poll(ev)) {
        }
        pollfd p{ready[0], POLLIN, 0};
        char byte = 0;
        if (!flushed && poll(&p, 1, 0) > 0 && read(ready[0], &byte, 1) == 1) {
            plat::backend().clipboardFlush();
            flushed = true;
        }
        plat::backend().wait(20);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail("the client saw a fault");
    return flushed ? 0 : fail("the manager never became ready");
}
