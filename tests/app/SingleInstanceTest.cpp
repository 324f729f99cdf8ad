// One copy per session: the hand-off between two copies through the socket.

#include "App/SingleInstance.h"

#include "plat/Memory.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

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

    SingleInstance second(m_socket);
    // The second copy returns only once the first has posted the requests.
    ASSERT_EQ(second.start({"/home/u/a.pvx", "/home/u/\xE9t\xE9.exp"}, m_message, diagnostic),
              SingleInstance::Outcome::HandedOff);
    EXPECT_FALSE(second.listening());
    EXPECT_EQ(takeRequests(), (std::vector<std::string>{"/home/u/a.pvx", "/home/u/\xE9t\xE9.exp"}));

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
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", m_socket.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
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
    SingleInstance alone(m_dir / "missing-folder/KorvalineFileOpen");
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
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", m_socket.c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
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

} // namespace
