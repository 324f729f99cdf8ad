#pragma once
// One running copy per user session. The first copy listens on a Unix socket in a folder private
// to the user; a later copy sends it the absolute paths of its files (or one empty request, "bring
// yourself to the front") and exits. The listener thread turns each request into the registered
// "KorvalineFileOpen" message, posted to the main frame (or to the thread while there is none)
// with a global atom of the path in wParam, 0 for the empty request.
//
// Only the user's own copies take part: the socket's folder must be a real folder of the user's
// with no access for anyone else (else the copy runs alone), and both sides check that the other
// end runs as the same user. The listener serves every connection at once, each with a short
// deadline, so a silent or slow peer never holds up a later copy; and a socket that answers is
// never taken over. A later copy whose request the running one does not take (busy, or its socket
// flooded) says so on stderr and tries again for a few seconds before it runs on its own.

#include "plat/Types.h"

#include <atomic>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// The socket of the session, in a folder of the user's: $XDG_RUNTIME_DIR/korvaline, else
// /tmp/korvaline-<user id>.
std::string DefaultSingleInstanceSocket();

// Posts one message for each request of a later copy in `request`: system paths (UTF-8) each
// ended by a zero byte, an empty one asking the program to come forward; a path the code page
// cannot write goes marked with kNameOutsideCodePageMark, to be reported; an unterminated tail is
// no request. A path goes as a global atom in wParam (0 for the empty request); one too long for an
// atom goes as its end marked "...", which the program reports as not found.
void PostHandOffRequests(const std::string& request, plat::HWND target, plat::UINT message);

class SingleInstance {
public:
    enum class Outcome {
        Listening, // this is the first copy: requests are posted from now on
        HandedOff, // another copy took the files: this copy exits
        Alone,     // no usable socket, or a running copy that does not answer: run on its own
    };

    // The socket's folder is made (mode 0700) when it does not exist yet.
    explicit SingleInstance(std::string socketPath = DefaultSingleInstanceSocket());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Hands `files` (absolute system paths, UTF-8) to a running copy, else starts listening.
    // Requests are posted as `message`. `diagnostic` receives a line when the outcome is Alone.
    Outcome start(const std::vector<std::string>& files, plat::UINT message,
                  std::string& diagnostic);
    // Where requests go: the main frame, or null for thread messages.
    void setTarget(plat::HWND frame) { m_target.store(frame); }
    // Stops the listener, closes and removes the socket (only when this copy made it).
    void stop();
    bool listening() const { return m_listenFd >= 0; }

    // What a hand-off found at the socket.
    enum class Peer {
        Took,      // a copy of the user's took the request
        Nobody,    // no socket, or one that refuses connections (left by a copy that ended)
        Busy,      // a copy is there but did not take the request in time
        Forbidden, // the socket belongs to someone else, or is no socket
    };

private:
    // Waits at most timeoutMs for each step (connecting, sending, the answer).
    Peer handOff(const std::vector<std::string>& files, int timeoutMs);
    bool bindAndListen(std::string& diagnostic);
    void listen();

    std::string m_path;
    plat::UINT m_message = 0;
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    // The socket file this copy made, so that only that one is removed at the end.
    dev_t m_socketDevice = 0;
    ino_t m_socketInode = 0;
    std::atomic<plat::HWND> m_target{nullptr};
    std::thread m_thread;
};
