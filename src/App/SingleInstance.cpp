#include "App/SingleInstance.h"

#include "OverPc/PFILE.h"
#include "plat/Files.h"
#include "plat/Memory.h"
#include "plat/Window.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A request larger than this is a fault of the sender: the connection is dropped.
constexpr std::size_t kMaxRequestBytes = 256 * 1024;
// How long a later copy waits for the running one to take its request.
constexpr int kPeerTimeoutMs = 3000;
// How long a later copy keeps trying when the running copy is there but does not take its request
// (busy, or its socket flooded with connections), and the pause between two tries.
constexpr int kBusyRetryMs = 5000;
constexpr int kBusyPauseMs = 100;
// How long the listener gives one connection to send its whole request. Shorter than the wait
// above, so that a copy whose request was cut off still hears of it in time.
constexpr auto kConnectionDeadline = std::chrono::milliseconds(2000);
// Connections served at once; a further one makes room by dropping the oldest.
constexpr std::size_t kMaxConnections = 64;
// How long a starting copy waits for another that is choosing its role at the same moment.
constexpr int kLockWaitMs = 5000;
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

// Whether the process at the other end of a connected socket runs as this user.
bool peerIsThisUser(int fd) {
    ucred cred{};
    socklen_t size = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 && cred.uid == ::geteuid();
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Makes the folder when it is missing, then checks that it is the user's own: a real folder (not
// a link), owned by this user, with no access for anyone else. Empty when it is; else why not.
std::string checkPrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return std::strerror(errno);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0)
        return std::strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return "it is not a folder";
    if (st.st_uid != ::geteuid())
        return "it belongs to another user";
    if ((st.st_mode & 077) != 0)
        return "other users have access to it";
    return {};
}

// Holds a lock on a file of the folder while a starting copy chooses its role, so that two
// copies starting together never both take the socket, and never remove one just made.
class StartLock {
public:
    explicit StartLock(const std::string& path) {
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd < 0)
            return;
        for (int waited = 0;; waited += 50) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
                m_held = true;
                return;
            }
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kLockWaitMs)
                return;
            ::usleep(50 * 1000);
        }
    }
    ~StartLock() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    StartLock(const StartLock&) = delete;
    StartLock& operator=(const StartLock&) = delete;
    bool held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};

} // namespace

std::string DefaultSingleInstanceSocket() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime && *runtime
                                   ? std::string(runtime) + "/korvaline"
                                   : "/tmp/korvaline-" + std::to_string(::geteuid());
    return folder + "/KorvalineFileOpen";
}

void PostHandOffRequests(const std::string& request, plat::HWND target, plat::UINT message) {
    std::size_t at = 0;
    while (at < request.size()) {
        const std::size_t end = request.find('\0', at);
        if (end == std::string::npos)
            break; // an unterminated tail is not a request
        const std::string systemPath = request.substr(at, end - at);
        at = end + 1;
        // Paths come as the system spells them (UTF-8); the program names them in its code page,
        // and a name the page cannot write is reported by the running copy, never dropped.
        std::string path;
        if (!systemPath.empty() && !plat::ProgramPathFromNative(systemPath, path))
            path = kNameOutsideCodePageMark + plat::ShownNameFromNative(systemPath);
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
        plat::PostMessage(target, message, atom, 0);
    }
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
    const std::string folder = folderOf(m_path);
    if (const std::string why = checkPrivateFolder(folder); !why.empty()) {
        diagnostic = "korvaline: not looking for other copies in " + folder + " (" + why +
                     "); running on its own";
        return Outcome::Alone;
    }
    const auto unusable = [&](Peer peer) {
        diagnostic =
            peer == Peer::Busy
                ? "korvaline: the running copy does not answer on " + m_path + " (tried for " +
                      std::to_string(kBusyRetryMs / 1000) + " s); running on its own"
                : "korvaline: " + m_path + " is not this user's socket; running on its own";
        return Outcome::Alone;
    };
    // A copy that is there but busy is tried again for a while before this one runs alone.
    const Clock::time_point giveUp = Clock::now() + std::chrono::milliseconds(kBusyRetryMs);
    Peer peer = handOff(files, kPeerTimeoutMs);
    for (bool said = false; peer == Peer::Busy;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now()).count();
        if (left <= 0)
            break;
        if (!said) {
            std::fprintf(stderr,
                         "korvaline: the running copy does not answer on %s; trying again for "
                         "up to %d s\n",
                         m_path.c_str(), kBusyRetryMs / 1000);
            said = true;
        }
        ::usleep(kBusyPauseMs * 1000);
        peer = handOff(files, static_cast<int>(std::clamp<long long>(left, 1, kPeerTimeoutMs)));
    }
    if (peer == Peer::Took)
        return Outcome::HandedOff;
    if (peer != Peer::Nobody)
        return unusable(peer);

    const StartLock lock(m_path + ".lock");
    if (!lock.held()) {
        diagnostic = "korvaline: cannot lock " + m_path + ".lock; running on its own";
        return Outcome::Alone;
    }
    // Another copy may have started listening since the first try.
    peer = handOff(files, kPeerTimeoutMs);
    if (peer == Peer::Took)
        return Outcome::HandedOff;
    if (peer != Peer::Nobody)
        return unusable(peer);
    return bindAndListen(diagnostic) ? Outcome::Listening : Outcome::Alone;
}

bool SingleInstance::bindAndListen(std::string& diagnostic) {
    sockaddr_un addr;
    makeAddress(m_path, addr);
    // Nobody answers here, and the name is this user's socket or nothing (handOff checked): a
    // socket left by a copy that ended.
    if (::unlink(m_path.c_str()) != 0 && errno != ENOENT) {
        diagnostic = "korvaline: cannot remove the old socket " + m_path + ": " +
                     std::strerror(errno) + "; running on its own";
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        diagnostic = std::string("korvaline: cannot make a socket: ") + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::chmod(m_path.c_str(), 0600) != 0 || ::lstat(m_path.c_str(), &st) != 0 ||
        ::listen(fd, SOMAXCONN) != 0 || ::pipe2(m_wakePipe, O_CLOEXEC) != 0) {
        diagnostic = "korvaline: cannot listen for other copies on " + m_path + ": " +
                     std::strerror(errno) + "; running on its own";
        ::close(fd);
        if (st.st_ino != 0)
            ::unlink(m_path.c_str());
        return false;
    }
    m_socketDevice = st.st_dev;
    m_socketInode = st.st_ino;
    m_listenFd = fd;
    m_thread = std::thread([this] { listen(); });
    return true;
}

SingleInstance::Peer SingleInstance::handOff(const std::vector<std::string>& files, int timeoutMs) {
    // Only a socket of this user's is spoken to (the folder is private, so this is a check of
    // that, not the protection itself).
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) != 0)
        return errno == ENOENT ? Peer::Nobody : Peer::Forbidden;
    if (!S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid())
        return Peer::Forbidden;
    sockaddr_un addr;
    if (!makeAddress(m_path, addr))
        return Peer::Forbidden;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Peer::Forbidden;
    // Bounds the connect (a full queue of connections), the send and the wait for the answer.
    const timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        // Only a socket that refuses the connection is left over; one that is slow to take it
        // has a copy behind it.
        if (err == ECONNREFUSED || err == ENOENT)
            return Peer::Nobody;
        return err == EACCES || err == EPERM ? Peer::Forbidden : Peer::Busy;
    }
    if (!peerIsThisUser(fd)) {
        ::close(fd);
        return Peer::Forbidden;
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
    ok = ok && waitReadable(fd, timeoutMs) && ::recv(fd, &ack, 1, 0) == 1 && ack == kAck;
    ::close(fd);
    return ok ? Peer::Took : Peer::Busy;
}

void SingleInstance::listen() {
    // Every connection is read as its bytes come, each within its own deadline, so that one
    // silent or slow peer holds up no other.
    struct Connection {
        int fd;
        Clock::time_point deadline;
        std::string request;
    };
    std::vector<Connection> connections; // oldest first
    const auto drop = [](Connection& c) {
        ::close(c.fd);
        c.fd = -1;
    };
    std::vector<pollfd> polled;
    for (;;) {
        const Clock::time_point now = Clock::now();
        int timeoutMs = -1;
        for (Connection& c : connections) {
            if (c.deadline <= now) {
                drop(c);
                continue;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(c.deadline - now).count() + 1;
            if (timeoutMs < 0 || left < timeoutMs)
                timeoutMs = static_cast<int>(left);
        }
        std::erase_if(connections, [](const Connection& c) { return c.fd < 0; });

        polled.assign({{m_wakePipe[0], POLLIN, 0}, {m_listenFd, POLLIN, 0}});
        for (const Connection& c : connections)
            polled.push_back({c.fd, POLLIN, 0});
        const int r = ::poll(polled.data(), polled.size(), timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (polled[0].revents & POLLIN) != 0)
            break;

        for (std::size_t i = 0; i < connections.size(); ++i) {
            if (polled[i + 2].revents == 0)
                continue;
            Connection& c = connections[i];
            char buffer[4096];
            for (;;) {
                const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0) {
                    if (errno != EAGAIN && errno != EWOULDBLOCK)
                        drop(c);
                    break;
                }
                if (n == 0) {
                    // The whole request: serve it, then say so.
                    PostHandOffRequests(c.request, m_target.load(), m_message);
                    writeAll(c.fd, &kAck, 1);
                    drop(c);
                    break;
                }
                c.request.append(buffer, static_cast<std::size_t>(n));
                if (c.request.size() > kMaxRequestBytes) {
                    drop(c);
                    break;
                }
            }
        }
        std::erase_if(connections, [](const Connection& c) { return c.fd < 0; });

        if ((polled[1].revents & POLLIN) == 0)
            continue;
        for (;;) {
            const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                break; // EAGAIN: all taken; anything else: try again at the next wake
            }
            if (!peerIsThisUser(fd)) {
                ::close(fd);
                continue;
            }
            if (connections.size() >= kMaxConnections) {
                ::close(connections.front().fd);
                connections.erase(connections.begin());
            }
            connections.push_back({fd, Clock::now() + kConnectionDeadline, {}});
        }
    }
    for (Connection& c : connections)
        ::close(c.fd);
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
    // Only the socket this copy made: never one that took its place.
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) == 0 && st.st_dev == m_socketDevice &&
        st.st_ino == m_socketInode)
        ::unlink(m_path.c_str());
}
