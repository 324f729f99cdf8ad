#pragma once
// One running copy per user session. The first copy listens on a Unix socket in the user's
// runtime folder; a later copy sends it the absolute paths of its files (or one empty request,
// "bring yourself to the front") and exits. The listener thread turns each request into the
// registered "KorvalineFileOpen" message, posted to the main frame (or to the thread while there
// is none) with a global atom of the path in wParam, 0 for the empty request.

#include "plat/Types.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// The socket of the session: $XDG_RUNTIME_DIR/KorvalineFileOpen, else
// /tmp/KorvalineFileOpen-<user id>.
std::string DefaultSingleInstanceSocket();

class SingleInstance {
public:
    enum class Outcome {
        Listening, // this is the first copy: requests are posted from now on
        HandedOff, // another copy took the files: this copy exits
        Alone,     // no socket could be made: this copy runs without hand-off
    };

    explicit SingleInstance(std::string socketPath = DefaultSingleInstanceSocket());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Hands `files` (absolute, program text) to a running copy, else starts listening. Requests
    // are posted as `message`. `diagnostic` receives a line when the outcome is Alone.
    Outcome start(const std::vector<std::string>& files, plat::UINT message,
                  std::string& diagnostic);
    // Where requests go: the main frame, or null for thread messages.
    void setTarget(plat::HWND frame) { m_target.store(frame); }
    // Stops the listener, closes and removes the socket (only when this copy made it).
    void stop();
    bool listening() const { return m_listenFd >= 0; }

private:
    bool handOff(const std::vector<std::string>& files);
    void listen();
    void serve(int connection);

    std::string m_path;
    plat::UINT m_message = 0;
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    std::atomic<plat::HWND> m_target{nullptr};
    std::thread m_thread;
};
