// A Fail with no error environment in a program that reports crashes: in a forked child, the
// crash handler writes the dump, the report and the assertion log as they stand at the failure,
// then runs the page program.
#include "ErrorFixture.h"
#include "OverPc/PCRASH.h"
#include "OverPc/PERROR.h"
#include "plat/Crash.h"
#include "plat/Dialog.h"
#include "platform/CrashFolders.h"
#include "platform/SysTempDir.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The page program's exit status: distinct from the status a Fail ends with when no report is
// written (3), so the test knows which way the child ended.
constexpr int kPageProgramStatus = 7;

class UnhandledFailCrashTest : public kvtest::ErrorFixture, protected kvtest::CrashFolders {
protected:
    void SetUp() override {
        ErrorFixture::SetUp();
        makeCrashFolders(kPageProgramStatus);
    }
    void TearDown() override {
        SetUnhandledFailReporter(nullptr);
        ErrorFixture::TearDown();
    }
    // Runs `body` in a child and answers its exit status (-1 when it did not exit).
    template <class Body> static int inChild(Body body) {
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            body();
            _exit(90); // Fail never returns
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(UnhandledFailCrashTest, WritesTheReportWithTheLogAsItStoodAtTheFailure) {
    const int status = inChild([&] {
        answerNextBox(plat::IDOK);
        oAssertionFailure("Before", 1, "logged before the handler");
        if (!InstallCrashReporting(setup()))
            _exit(91);
        // Entries made after the installation reach the log file: the handler reads the live log.
        oAssertionFailure("After", 2, "logged <after> it");
        Fail(errFileNotFound);
    });
    ASSERT_EQ(status, kPageProgramStatus) << "the page program did not run";

    const std::vector<std::string> a = args();
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0], "--crash-page");
    EXPECT_EQ(fs::path(a[1]).parent_path(), fs::path(m_temp));
    EXPECT_EQ(fs::path(a[1]).extension(), ".rpt");
    EXPECT_EQ(fs::path(a[2]).parent_path(), fs::path(m_desktop));
    EXPECT_EQ(fs::path(a[2]).extension(), ".dmp");
    const std::string report = kvtest::ReadFileBytes(a[1]);
    char head[64];
    std::snprintf(head, sizeof head, "Exception code: %08X SIGABRT\n", SIGABRT);
    EXPECT_EQ(report.rfind(head, 0), 0u) << report;
    EXPECT_NE(report.find("\nCall stack:\n"), std::string::npos);

    // The log, in order: both entries, then the underflow and the error that had nowhere to go.
    const std::string log = kvtest::ReadFileBytes(a[3]);
    const auto before = log.find("Assertion failure (logged before the handler) on (Before:1)\n");
    const auto after = log.find("Assertion failure (logged <after> it) on (After:2)\n");
    const auto underflow = log.find("(Error Stack Underflow)");
    const auto error = log.find("(Unhandled error " + std::to_string(errFileNotFound) + ")");
    ASSERT_NE(before, std::string::npos) << log;
    ASSERT_NE(after, std::string::npos) << log;
    ASSERT_NE(underflow, std::string::npos) << log;
    ASSERT_NE(error, std::string::npos) << log;
    EXPECT_LT(before, after);
    EXPECT_LT(after, underflow);
    EXPECT_LT(underflow, error);
}

TEST_F(UnhandledFailCrashTest, AFailInsideAnEnvironmentWritesNoReport) {
    const int status = inChild([&] {
        if (!InstallCrashReporting(setup()))
            _exit(91);
        const int16_t code = CatchFail([] { Fail(errFileNotFound); });
        _exit(code == errFileNotFound ? 0 : 92);
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(fs::is_empty(m_temp));
    EXPECT_TRUE(fs::is_empty(m_desktop));
    EXPECT_FALSE(fs::exists(m_args));
}

TEST_F(UnhandledFailCrashTest, WithoutReportingTheFailEndsWithItsOwnStatus) {
    // The handler may be installed by the platform alone (tests, tools): the Fail path then keeps
    // its plain end, exit status 3, and writes nothing.
    const int status = inChild([&] {
        answerNextBox(plat::IDOK);
        plat::CrashSetup s = setup();
        if (!plat::InstallCrashHandler(s))
            _exit(91);
        Fail(errFileNotFound);
    });
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(fs::is_empty(m_temp));
    EXPECT_FALSE(fs::exists(m_args));
}

} // namespace
