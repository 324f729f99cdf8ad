// Data far over one request's size, offered on the CLIPBOARD selection, reaches another X client
// (xclip) whole: the selection owner sends it in INCR pieces while the message loop runs.
// Usage: kv_smoke_x11_clipboard_incr OUTPUT-FILE (under xvfb-run, with xclip installed).

#include "SmokeSupport.h"
#include "backend/Backend.h"
#include "plat/Clipboard.h"
#include "plat/System.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2 || !plat::OpenDisplay()) {
        std::fputs("smoke: usage OUTPUT-FILE, under an X display\n", stderr);
        return 1;
    }
    const std::string out = argv[1];
    std::vector<std::uint8_t> data(700 * 1024);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>('a' + (i * 7 + i / 977) % 26);
    plat::backend().clipboardOffer({plat::ClipboardItem{"application/x-kv-Smoke", data}});
    if (!plat::backend().clipboardOwned()) {
        std::fputs("smoke: the selection was not taken\n", stderr);
        return 1;
    }

    const pid_t child = fork();
    if (child == 0) {
        if (!std::freopen(out.c_str(), "wb", stdout))
            _exit(2);
        execlp("xclip", "xclip", "-o", "-selection", "clipboard", "-t", "application/x-kv-Smoke",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    // The selection is served from the event loop until xclip is done (at most 20 s).
    int status = -1;
    const plat::DWORD start = plat::GetTickCount();
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (plat::GetTickCount() - start > 20000) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            std::fputs("smoke: xclip did not finish\n", stderr);
            return 1;
        }
        plat::BackendEvent ev;
        while (plat::backend().poll(ev)) {
        }
        plat::backend().wait(20);
    }
    std::ifstream in(out, std::ios::binary);
    const std::vector<std::uint8_t> got((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || got != data) {
        std::fprintf(stderr, "smoke: xclip status %d, %zu of %zu bytes, %s\n", status, got.size(),
                     data.size(), got == data ? "equal" : "different");
        return 1;
    }
    return 0;
}
