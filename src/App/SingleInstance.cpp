#include "App/SingleInstance.h"

#include "plat/Memory.h"
#include "plat/Window.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A request larger than this is a fault of the sender: the connection is dropped.
constexpr std::size_t kMaxRequestBytes = 256 * 1024;
// How long either side waits for the other before giving up.
constexpr int kPeerTimeoutMs = 3000;
// The listener acknowledges a complete request with this byte.
constexpr char kAck = 'k';

bool makeAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool waitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0;
    }
}

} // namespace

std::string DefaultSingleInstanceSocket() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/KorvalineFileOpen";
    return "/tmp/KorvalineFileOpen-" + std::to_string(::getuid());
}

SingleInstance::SingleInstance(std::string socketPath)
    : m_path(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    stop();
}

SingleInstance::Outcome SingleInstance::start(const std::vector<std::string>& files,
                                              plat::UINT message, std::string& diagnostic) {
    m_message = message;
    sockaddr_un addr;
    if (!makeAddress(m_path, addr)) {
        diagnostic = "korvaline: the single-instance socket path is too long: " + m_path;
        return Outcome::Alone;
    }
    if (handOff(files))
        return Outcome::HandedOff;
    // Two tries: the first bind may find a socket left behind by a copy that crashed.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            if (::listen(fd, 8) != 0 || ::pipe2(m_wakePipe, O_CLOEXEC) != 0) {
                ::close(fd);
                ::unlink(m_path.c_str());
                break;
            }
            m_listenFd = fd;
            m_thread = std::thread([this] { listen(); });
            return Outcome::Listening;
        }
        const int err = errno;
        ::close(fd);
        if (err != EADDRINUSE)
            break;
        // A copy that started at the same moment may have bound it meanwhile; else it is stale.
        if (handOff(files))
            return Outcome::HandedOff;
        ::unlink(m_path.c_str());
    }
    diagnostic =
        "korvaline: cannot listen for other copies on " + m_path + ": " + std::strerror(errno);
    return Outcome::Alone;
}

bool SingleInstance::handOff(const std::vector<std::string>& files) {
    sockaddr_un addr;
    if (!makeAddress(m_path, addr))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return false;
    }
    // Each request is a path ended by a zero byte; an empty one asks the copy to come forward.
    std::string request;
    for (const std::string& f : files)
        request += f + '\0';
    if (files.empty())
        request += '\0';
    bool ok = writeAll(fd, request.data(), request.size());
    ::shutdown(fd, SHUT_WR);
    char ack = 0;
    ok = ok && waitReadable(fd, kPeerTimeoutMs) && ::recv(fd, &ack, 1, 0) == 1 && ack == kAck;
    ::close(fd);
    return ok;
}

void SingleInstance::listen() {
    for (;;) {
        pollfd p[2] = {{m_listenFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        const int r = ::poll(p, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (p[1].revents & POLLIN))
            return;
        if (p[0].revents & POLLIN) {
            const int connection = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) {
                serve(connection);
                ::close(connection);
            }
        }
    }
}

void SingleInstance::serve(int connection) {
    std::string request;
    char buffer[4096];
    for (;;) {
        if (!waitReadable(connection, kPeerTimeoutMs))
            return; // a silent peer: drop it rather than hold up later copies
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return;
        if (n == 0)
            break;
        request.append(buffer, static_cast<std::size_t>(n));
        if (request.size() > kMaxRequestBytes)
            return;
    }
    std::size_t at = 0;
    while (at < request.size()) {
        const std::size_t end = request.find('\0', at);
        if (end == std::string::npos)
            break; // an unterminated tail is not a request
        const std::string path = request.substr(at, end - at);
        at = end + 1;
        plat::WPARAM atom = 0;
        if (!path.empty()) {
            // File names differing only in case are different files here.
            atom = plat::GlobalAddAtomExact(path.c_str());
            if (atom == 0 && path.size() > static_cast<std::size_t>(plat::kMaxAtomName)) {
                // Longer than any path the system opens: the running copy reports the file as
                // not found, showing the end of its name.
                const std::string shown =
                    "..." +
                    path.substr(path.size() - static_cast<std::size_t>(plat::kMaxAtomName) + 3);
                atom = plat::GlobalAddAtomExact(shown.c_str());
            }
            if (atom == 0) {
                std::fprintf(stderr, "korvaline: cannot open a file handed over (name too long)\n");
                continue;
            }
        }
        plat::PostMessage(m_target.load(), m_message, atom, 0);
    }
    writeAll(connection, &kAck, 1);
}

void SingleInstance::stop() {
    if (m_listenFd < 0)
        return;
    const char wake = 1;
    if (::write(m_wakePipe[1], &wake, 1) < 0) {
        // The thread still ends when the listening socket is shut down below.
    }
    ::shutdown(m_listenFd, SHUT_RDWR);
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_listenFd);
    ::close(m_wakePipe[0]);
    ::close(m_wakePipe[1]);
    m_listenFd = -1;
    m_wakePipe[0] = m_wakePipe[1] = -1;
    ::unlink(m_path.c_str());
}
