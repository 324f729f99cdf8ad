// The crash handler in a forked child that really faults: the files it leaves and the program it
// runs for the crash page.

#include "plat/Crash.h"
#include "platform/CrashFolders.h"
#include "platform/SysTempDir.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().string());
    return out;
}

std::string hex16(std::uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(v));
    return buf;
}

struct CrashRun {
    int exitStatus = -1;
    std::uint64_t faultAddress = 0;
};

// Forks a child that installs the handler and writes to a page it cannot write.
CrashRun crashChild(const plat::CrashSetup& setup) {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    CrashRun run;
    run.faultAddress = reinterpret_cast<std::uint64_t>(page) + 8;
    const pid_t pid = fork();
    if (pid == 0) {
        if (!plat::InstallCrashHandler(setup))
            _exit(90);
        *reinterpret_cast<volatile int*>(run.faultAddress) = 1;
        _exit(91); // not reached
    }
    int status = 0;
    waitpid(pid, &status, 0);
    munmap(page, 4096);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class CrashHandlerTest : public ::testing::Test, protected kvtest::CrashFolders {
protected:
    // The page program ends with 3.
    void SetUp() override { makeCrashFolders(3); }
};

TEST_F(CrashHandlerTest, AFaultLeavesTheDumpTheReportAndTheLogThenRunsThePageProgram) {
    const std::string log = "assert <x> failed";
    plat::CrashSetup setup;
    setup.dumpFolder = m_desktop;
    setup.reportFolder = m_temp;
    setup.program = m_program;
    setup.log = &log;
    const CrashRun run = crashChild(setup);
    ASSERT_EQ(run.exitStatus, 3) << "the page program did not run";

    const auto dumps = filesIn(m_desktop);
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_EQ(fs::path(dumps[0]).extension(), ".dmp");
    // "QVMinidump-MM-dd-yyyy--HHmmss_<tick>.dmp", the report named likewise.
    const std::regex stamped(
        "QV(Minidump|CrashReport)-\\d\\d-\\d\\d-\\d{4}--\\d{6}_\\d+\\.(dmp|rpt)");
    EXPECT_TRUE(std::regex_match(fs::path(dumps[0]).filename().string(), stamped)) << dumps[0];
    const std::string dump = kvtest::ReadFileBytes(dumps[0]);
    ASSERT_GT(dump.size(), 12 + sizeof(plat::CrashContext));
    EXPECT_EQ(dump.substr(0, 8), "KVMDMP01");
    plat::CrashContext context;
    std::memcpy(&context, dump.data() + 12, sizeof context);
    EXPECT_EQ(context.signal, SIGSEGV);
    EXPECT_EQ(context.faultAddress, run.faultAddress);

    // The report, the log and the page program's arguments.
    const std::vector<std::string> a = args();
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0], "--crash-page");
    EXPECT_EQ(a[2], dumps[0]);
    EXPECT_EQ(fs::path(a[1]).parent_path(), fs::path(m_temp));
    EXPECT_EQ(fs::path(a[1]).extension(), ".rpt");
    EXPECT_TRUE(std::regex_match(fs::path(a[1]).filename().string(), stamped)) << a[1];
    EXPECT_EQ(kvtest::ReadFileBytes(a[3]), log);
    const std::string report = kvtest::ReadFileBytes(a[1]);
    EXPECT_EQ(report.rfind("Exception code: 0000000B SIGSEGV\nDate:  ", 0), 0u) << report;
    EXPECT_NE(report.find("Fault address:  " + hex16(run.faultAddress)), std::string::npos);
    for (const char* part :
         {"\nRegisters:\nRAX:", "CS:RIP:", "\nCall stack:\n", "\nModule list : \n"})
        EXPECT_NE(report.find(part), std::string::npos) << part;
    // The test program itself is among the modules.
    char self[4096] = "";
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    EXPECT_NE(report.find(std::string(self, static_cast<std::size_t>(n)) + " \n"),
              std::string::npos);
}

TEST_F(CrashHandlerTest, WithoutADumpFolderOnlyTheReportIsWritten) {
    plat::CrashSetup setup;
    setup.reportFolder = m_temp;
    setup.program = m_program;
    const CrashRun run = crashChild(setup);
    ASSERT_EQ(run.exitStatus, 3);
    EXPECT_TRUE(fs::is_empty(m_desktop));
    const auto reports = filesIn(m_temp);
    ASSERT_EQ(reports.size(), 1u);
    const std::vector<std::string> a = args();
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[1], reports[0]);
    EXPECT_EQ(a[2], "");
    EXPECT_EQ(a[3], "");
}

} // namespace
