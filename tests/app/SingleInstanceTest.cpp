// One copy per session: the hand-off between two copies through the socket.

#include "App/SingleInstance.h"

#include "OverPc/PFILE.h"
#include "plat/Memory.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"
#include "support/CodePageScope.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    return addr;
}

// A connection to the socket that says nothing (connect does not wait for the listener).
int silentConnection(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const sockaddr_un addr = addressOf(path);
    ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    return fd;
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::testing::reset();
        m_message = plat::RegisterWindowMessage("KorvalineFileOpen");
    }

    // The requests posted so far as thread messages: the path of each atom, "" for atom 0.
    std::vector<std::string> takeRequests() {
        std::vector<std::string> out;
        plat::MSG msg;
        while (plat::PeekMessage(&msg, nullptr, m_message, m_message, plat::PM_REMOVE)) {
            EXPECT_EQ(msg.hwnd, nullptr);
            if (msg.wParam == 0) {
                out.emplace_back();
                continue;
            }
            char name[256] = {};
            const auto atom = static_cast<plat::ATOM>(msg.wParam);
            EXPECT_GT(plat::GlobalGetAtomName(atom, name, sizeof name), 0u);
            plat::GlobalDeleteAtom(atom);
            out.emplace_back(name);
        }
        return out;
    }

    kvtest::SysTempDir m_dir;
    std::string m_socket = m_dir / "KorvalineFileOpen";
    plat::UINT m_message = 0;
};

TEST_F(SingleInstanceTest, SecondCopyHandsItsFilesToTheFirst) {
    SingleInstance first(m_socket);
    std::string diagnostic;
    ASSERT_EQ(first.start({}, m_message, diagnostic), SingleInstance::Outcome::Listening)
        << diagnostic;

    // Paths travel as the system spells them (UTF-8); the first copy names each in its code
    // page, and marks the ones the page cannot write so that they are reported, never dropped.
    // "表" ends in the byte of a backslash under 932: it stays one character of the name.
    struct Case {
        plat::UINT codePage;
        std::string systemName;
        std::string received;
    };
    const std::string mark(1, kNameOutsideCodePageMark);
    const Case cases[] = {
        {1252, "/home/u/a.pvx", "/home/u/a.pvx"},
        {1252, "/home/u/\xC3\xA9t\xC3\xA9.exp", "/home/u/\xE9t\xE9.exp"},
        {1252, "/home/u/\xE6\x95\xB0\xE5\xBC\x8F.pvx", mark + "/home/u/??.pvx"},
        {932, "/home/u/\xE6\x95\xB0\xE5\xBC\x8F.pvx", "/home/u/\x90\x94\x8E\xAE.pvx"},
        {932, "/home/u/\xE8\xA1\xA8/x.pvx", "/home/u/\x95\x5C/x.pvx"},
        {932, "/home/u/\xC3\xA9t\xC3\xA9.exp", mark + "/home/u/\xE9t\xE9.exp"},
    };
    kvtest::CodePageScope restore;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.systemName);
        ASSERT_TRUE(plat::SetActiveCodePage(c.codePage));
        SingleInstance second(m_socket);
        // The second copy returns only once the first has posted the requests.
        ASSERT_EQ(second.start({c.systemName}, m_message, diagnostic),
                  SingleInstance::Outcome::HandedOff);
        EXPECT_FALSE(second.listening());
        EXPECT_EQ(takeRequests(), std::vector<std::string>{c.received});
    }
    plat::SetActiveCodePage(1252);

    // Without files a later copy asks the first to come forward.
    SingleInstance third(m_socket);
    ASSERT_EQ(third.start({}, m_message, diagnostic), SingleInstance::Outcome::HandedOff);
    EXPECT_EQ(takeRequests(), std::vector<std::string>{""});
}

TEST_F(SingleInstanceTest, RequestsGoToTheFrameOnceItExists) {
    SingleInstance first(m_socket);
    std::string diagnostic;
    ASSERT_EQ(first.start({}, m_message, diagnostic), SingleInstance::Outcome::Listening);
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &plat::DefWindowProc;
    wc.lpszClassName = "SingleInstanceTarget";
    plat::RegisterClass(&wc);
    const plat::HWND frame = plat::CreateWindowEx(0, "SingleInstanceTarget", "Frame", 0, 0, 0, 100,
                                                  100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(frame, nullptr);
    first.setTarget(frame);
    SingleInstance second(m_socket);
    ASSERT_EQ(second.start({"/tmp/x.pvx"}, m_message, diagnostic),
              SingleInstance::Outcome::HandedOff);
    plat::MSG msg;
    ASSERT_TRUE(plat::PeekMessage(&msg, nullptr, m_message, m_message, plat::PM_REMOVE));
    EXPECT_EQ(msg.hwnd, frame);
    plat::GlobalDeleteAtom(static_cast<plat::ATOM>(msg.wParam));
    plat::UnregisterClass("SingleInstanceTarget", nullptr);
}

TEST_F(SingleInstanceTest, AStaleSocketIsTakenOver) {
    // A copy that crashed leaves its socket file behind with nobody listening.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un addr = addressOf(m_socket);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_EQ(::access(m_socket.c_str(), F_OK), 0);

    SingleInstance first(m_socket);
    std::string diagnostic;
    EXPECT_EQ(first.start({"/a.pvx"}, m_message, diagnostic), SingleInstance::Outcome::Listening)
        << diagnostic;
    EXPECT_TRUE(takeRequests().empty()) << "the first copy keeps its own files";
}

TEST_F(SingleInstanceTest, StopRemovesTheSocketAndTheNextCopyListens) {
    std::string diagnostic;
    {
        SingleInstance first(m_socket);
        ASSERT_EQ(first.start({}, m_message, diagnostic), SingleInstance::Outcome::Listening);
        EXPECT_EQ(::access(m_socket.c_str(), F_OK), 0);
    }
    EXPECT_NE(::access(m_socket.c_str(), F_OK), 0);
    SingleInstance next(m_socket);
    EXPECT_EQ(next.start({}, m_message, diagnostic), SingleInstance::Outcome::Listening);
}

TEST_F(SingleInstanceTest, AnUnusableSocketPathLetsTheCopyRunAlone) {
    SingleInstance alone(m_dir / "missing/folder/KorvalineFileOpen");
    std::string diagnostic;
    EXPECT_EQ(alone.start({"/a.pvx"}, m_message, diagnostic), SingleInstance::Outcome::Alone);
    EXPECT_FALSE(diagnostic.empty());
    SingleInstance tooLong(std::string(200, 'x'));
    EXPECT_EQ(tooLong.start({}, m_message, diagnostic), SingleInstance::Outcome::Alone);
}

TEST_F(SingleInstanceTest, AMalformedRequestIsDroppedAndTheListenerGoesOn) {
    SingleInstance first(m_socket);
    std::string diagnostic;
    ASSERT_EQ(first.start({}, m_message, diagnostic), SingleInstance::Outcome::Listening);
    // A peer that sends a name without its terminator and hangs up.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un addr = addressOf(m_socket);
    ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::write(fd, "/half", 5), 5);
    ::shutdown(fd, SHUT_WR);
    char ack = 0;
    ASSERT_EQ(::read(fd, &ack, 1), 1); // served (nothing posted) and acknowledged
    ::close(fd);
    EXPECT_TRUE(takeRequests().empty());
    SingleInstance second(m_socket);
    EXPECT_EQ(second.start({"/b.pvx"}, m_message, diagnostic), SingleInstance::Outcome::HandedOff);
    EXPECT_EQ(takeRequests(), std::vector<std::string>{"/b.pvx"});
}

TEST_F(SingleInstanceTest, SilentAndSlowPeersDoNotHoldUpALaterCopy) {
    SingleInstance first(m_socket);
    std::string diagnostic;
    ASSERT_EQ(first.start({}, m_message, diagnostic), SingleInstance::Outcome::Listening);
    // One connection that sends half a name and waits, and fifty that never say a word.
    std::vector<int> held;
    const int slow = silentConnection(m_socket);
    ASSERT_EQ(::write(slow, "/tmp/half", 9), 9);
    held.push_back(slow);
    for (int i = 0; i < 50; ++i)
        held.push_back(silentConnection(m_socket));

    const ino_t socketBefore = inodeOf(m_socket);
    SingleInstance second(m_socket);
    EXPECT_EQ(second.start({"/home/u/b.pvx"}, m_message, diagnostic),
              SingleInstance::Outcome::HandedOff)
        << diagnostic;
    EXPECT_FALSE(second.listening());
    EXPECT_EQ(takeRequests(), std::vector<std::string>{"/home/u/b.pvx"});
    // The first copy's socket is the one in place: a third copy reaches the first.
    EXPECT_EQ(inodeOf(m_socket), socketBefore);
    SingleInstance third(m_socket);
    EXPECT_EQ(third.start({"/home/u/c.pvx"}, m_message, diagnostic),
              SingleInstance::Outcome::HandedOff);
    EXPECT_EQ(takeRequests(), std::vector<std::string>{"/home/u/c.pvx"});
    for (int fd : held)
        ::close(fd);
}

TEST_F(SingleInstanceTest, ALaterCopyOutlastsAFloodOfTheSocket) {
    SingleInstance first(m_socket);
    std::string diagnostic;
    ASSERT_EQ(first.start({}, m_message, diagnostic), SingleInstance::Outcome::Listening);
    // Peers of the same user flood the socket with connections that say nothing, for a second
    // and a half, then go away.
    std::vector<pid_t> flooders;
    for (int n = 0; n < 4; ++n) {
        const pid_t flooder = ::fork();
        ASSERT_NE(flooder, -1);
        if (flooder == 0) {
            std::vector<int> ring(200, -1);
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
            for (std::size_t at = 0; std::chrono::steady_clock::now() < end; at = (at + 1) % 200) {
                if (ring[at] >= 0)
                    ::close(ring[at]);
                ring[at] = silentConnection(m_socket);
            }
            ::_exit(0);
        }
        flooders.push_back(flooder);
    }
    ::usleep(200 * 1000);
    // The second copy's stderr goes to a file.
    const std::string errPath = m_dir / "stderr";
    const int saved = ::dup(2);
    const int errFile = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(errFile, 2);
    SingleInstance second(m_socket);
    const SingleInstance::Outcome outcome = second.start({"/home/u/f.pvx"}, m_message, diagnostic);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(errFile);
    for (const pid_t flooder : flooders) {
        int status = 0;
        ASSERT_EQ(::waitpid(flooder, &status, 0), flooder);
    }
    EXPECT_EQ(outcome, SingleInstance::Outcome::HandedOff) << diagnostic;
    EXPECT_FALSE(second.listening());
    EXPECT_EQ(takeRequests(), std::vector<std::string>{"/home/u/f.pvx"});
    char said[512] = {};
    const int errFd = ::open(errPath.c_str(), O_RDONLY);
    ASSERT_GE(::read(errFd, said, sizeof said - 1), 0);
    ::close(errFd);
    EXPECT_NE(std::string(said).find("trying again"), std::string::npos) << said;
}

TEST_F(SingleInstanceTest, ASocketThatAnswersIsNeverTakenOver) {
    // A copy that is there but does not take requests (hung, or busy for longer than a later
    // copy waits): connections queue at its socket and are never answered.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un addr = addressOf(m_socket);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 8), 0);
    const ino_t socketBefore = inodeOf(m_socket);

    SingleInstance second(m_socket);
    std::string diagnostic;
    EXPECT_EQ(second.start({"/a.pvx"}, m_message, diagnostic), SingleInstance::Outcome::Alone);
    EXPECT_FALSE(second.listening());
    EXPECT_NE(diagnostic.find("does not answer"), std::string::npos) << diagnostic;
    EXPECT_EQ(inodeOf(m_socket), socketBefore) << "the running copy's socket was replaced";
    ::close(fd);
}

TEST_F(SingleInstanceTest, APlaceThatIsNotTheUsersOwnIsNeverUsed) {
    // Each case makes the folder (and what lies at the socket's name) before the copy starts.
    struct Case {
        const char* what;
        std::function<void(const std::string& folder)> make;
    };
    std::vector<Case> cases = {
        {"a folder others can read", [](const std::string& f) { ::mkdir(f.c_str(), 0755); }},
        {"a folder the group can write",
         [](const std::string& f) {
             ::mkdir(f.c_str(), 0700);
             ::chmod(f.c_str(), 0770);
         }},
        {"a link to a private folder",
         [this](const std::string& f) {
             const std::string real = m_dir / "real";
             ::mkdir(real.c_str(), 0700);
             ASSERT_EQ(::symlink(real.c_str(), f.c_str()), 0);
         }},
        {"a file, not a folder",
         [](const std::string& f) { ::close(::open(f.c_str(), O_CREAT | O_WRONLY, 0600)); }},
        {"a plain file at the socket's name",
         [](const std::string& f) {
             ::mkdir(f.c_str(), 0700);
             const int fd = ::open((f + "/KorvalineFileOpen").c_str(), O_CREAT | O_WRONLY, 0600);
             ASSERT_EQ(::write(fd, "mine", 4), 4);
             ::close(fd);
         }},
    };
    // Run as the superuser, the test can also give a folder to another user.
    if (::geteuid() == 0)
        cases.push_back({"a folder of another user", [](const std::string& f) {
                             ::mkdir(f.c_str(), 0700);
                             ASSERT_EQ(::chown(f.c_str(), 65534, 65534), 0);
                         }});
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = m_dir / ("place" + std::to_string(n++));
        c.make(folder);
        const std::string socket = folder + "/KorvalineFileOpen";
        struct stat before {};
        const bool hadSocketName = ::lstat(socket.c_str(), &before) == 0;

        SingleInstance copy(socket);
        std::string diagnostic;
        EXPECT_EQ(copy.start({"/a.pvx"}, m_message, diagnostic), SingleInstance::Outcome::Alone);
        EXPECT_FALSE(copy.listening());
        EXPECT_FALSE(diagnostic.empty());
        EXPECT_TRUE(takeRequests().empty());
        struct stat after {};
        if (hadSocketName) {
            // What lay at the name is untouched.
            ASSERT_EQ(::lstat(socket.c_str(), &after), 0);
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_TRUE(S_ISREG(after.st_mode));
        } else {
            EXPECT_NE(::lstat(socket.c_str(), &after), 0) << "a socket was made there";
        }
    }
}

// A process of another user at either end of the socket. The test runs as the superuser so that
// a child can take another user's identity for the socket (effective user) while it still reaches
// the private folder (file-system user).
TEST_F(SingleInstanceTest, APeerOfAnotherUserIsNeitherServedNorServing) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs the superuser to act as another user";
    constexpr uid_t kOther = 65534;
    const auto becomeOther = [] {
        if (::seteuid(kOther) != 0 || ::setfsuid(0) < 0)
            ::_exit(90);
    };

    // Another user's process connects to the running copy and sends a file name.
    SingleInstance first(m_socket);
    std::string diagnostic;
    ASSERT_EQ(first.start({}, m_message, diagnostic), SingleInstance::Outcome::Listening);
    const pid_t sender = ::fork();
    ASSERT_GE(sender, 0);
    if (sender == 0) {
        becomeOther();
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un addr = addressOf(m_socket);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
            ::_exit(91);
        // The running copy may already have closed the connection: no SIGPIPE, which would
        // end this process before it reports.
        (void)!::send(fd, "/evil.pvx", 10, MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_WR);
        pollfd p{fd, POLLIN, 0};
        char ack = 0;
        // 0: the connection was closed without an answer.
        ::_exit(::poll(&p, 1, 3000) == 1 && ::read(fd, &ack, 1) == 1 ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(sender, &status, 0), sender);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "another user's request was answered";
    EXPECT_TRUE(takeRequests().empty()) << "another user's file was opened";

    // Another user's process listens on a socket in the folder: a later copy tells it nothing.
    const std::string folder = m_dir / "taken";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string socket = folder + "/KorvalineFileOpen";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t listener = ::fork();
    ASSERT_GE(listener, 0);
    if (listener == 0) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un addr = addressOf(socket);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
            ::_exit(92);
        becomeOther();
        if (::listen(fd, 8) != 0)
            ::_exit(93);
        (void)!::write(ready[1], "r", 1);
        // Answers whatever arrives; the exit status is the number of bytes it was told.
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) != 1)
            ::_exit(0);
        const int c = ::accept(fd, nullptr, nullptr);
        char buffer[256];
        ssize_t total = 0;
        for (ssize_t n; (n = ::read(c, buffer, sizeof buffer)) > 0;)
            total += n;
        (void)!::write(c, "k", 1);
        ::_exit(static_cast<int>(std::min<ssize_t>(total, 80)));
    }
    char r = 0;
    ASSERT_EQ(::read(ready[0], &r, 1), 1);
    SingleInstance later(socket);
    EXPECT_EQ(later.start({"/secret.pvx"}, m_message, diagnostic), SingleInstance::Outcome::Alone);
    EXPECT_FALSE(later.listening());
    ::kill(listener, SIGTERM);
    ASSERT_EQ(::waitpid(listener, &status, 0), listener);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) > 0 && WEXITSTATUS(status) < 90)
        << "another user's process was told " << WEXITSTATUS(status) << " bytes";
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(SingleInstanceTest, TheFolderIsMadePrivateWhateverTheUmask) {
    const std::string folder = m_dir / "korvaline";
    const std::string socket = folder + "/KorvalineFileOpen";
    const mode_t old = ::umask(0);
    SingleInstance first(socket);
    std::string diagnostic;
    const SingleInstance::Outcome outcome = first.start({}, m_message, diagnostic);
    ::umask(old);
    ASSERT_EQ(outcome, SingleInstance::Outcome::Listening) << diagnostic;
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::lstat(socket.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // And later copies find it.
    SingleInstance second(socket);
    EXPECT_EQ(second.start({"/d.pvx"}, m_message, diagnostic), SingleInstance::Outcome::HandedOff);
    EXPECT_EQ(takeRequests(), std::vector<std::string>{"/d.pvx"});
}

} // namespace
