// The crash page and the helpers behind it: escaping, unique names and the filled template.

#include "OverPc/PCRASH.h"

#include "BuiltinResources.h"
#include "OverPc/Presourc.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/TestingSys.h"
#include "platform/SysTempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(CrashText, EscapingAndReplacing) {
    struct Case {
        const char* in;
        const char* escaped;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"<b>x</b>", "&lt;b&gt;x&lt;/b&gt;"},
        {"a & b", "a &amp; b"},
        // Text that already holds an entity shows it as written.
        {"&lt;", "&amp;lt;"},
        {"say \"hi\"", "say &quot;hi&quot;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(HtmlEscape(c.in), c.escaped);
    }
    // Replacements are not scanned again, and an empty pattern changes nothing.
    EXPECT_EQ(ReplaceAll("aXa", "a", "aa"), "aaXaa");
    EXPECT_EQ(ReplaceAll("$x$$x$", "$x$", "1"), "11");
    EXPECT_EQ(ReplaceAll("abc", "", "z"), "abc");
    EXPECT_EQ(FormatKilobytes(0), "0 KB");
    EXPECT_EQ(FormatKilobytes(2047), "1 KB");
    EXPECT_EQ(FormatKilobytes(1048576), "1024 KB");
    EXPECT_EQ(MakeFileUrl("/opt/k/CrashPage/"), "file:///opt/k/CrashPage/");
}

TEST(CrashText, UniqueNamesWaitForANewTick) {
    plat::testing::reset();
    kvtest::SysTempDir dir;
    std::string first, second;
    ASSERT_EQ(MakeUniqueTempName("rpt", "QVCrashReport", first, dir.path()), 1);
    EXPECT_EQ(first,
              dir.path() + "/QVCrashReport_" + std::to_string(plat::testing::now()) + ".rpt");
    kvtest::WriteFileBytes(first, "x");
    ASSERT_EQ(MakeUniqueTempName("rpt", "QVCrashReport", second, dir.path() + "/"), 1);
    EXPECT_NE(second, first);
    EXPECT_FALSE(fs::exists(second));

    // Every tick it could try is taken: no name.
    const auto start = plat::testing::now();
    for (unsigned tick = start; tick <= start + 2100; ++tick)
        kvtest::WriteFileBytes(dir / ("D_" + std::to_string(tick) + ".dmp"), "");
    std::string none = "unchanged";
    EXPECT_EQ(MakeUniqueTempName("dmp", "D", none, dir.path()), -1);
    EXPECT_EQ(none, "unchanged");
}

TEST(CrashText, PageIsFilledFromTheTemplateBesideTheProgram) {
    plat::testing::reset();
    kvtest::SysTempDir program, temp;
    kvtest::WriteFileBytes(program / "CrashPage/crash.html",
                           "<html><head><!-- BASE --></head><body>"
                           "$productVersion$|$platformInfo$|$crashReport$|$loggedInfo$|"
                           "$dumpfileInfo$|$loggedInfo$</body></html>");
    CrashRecord record;
    record.productVersion = "0.1";
    record.platformInfo = "Linux";
    record.crashReport = "Exception code: 0000000B SIGSEGV";
    record.loggedInfo = "a<b & \"c\"";
    record.dumpfileInfo = "12 KB";
    ASSERT_TRUE(BuildCrashReportPage(record, program.path() + "/", temp.path()));
    EXPECT_EQ(fs::path(record.pagePath).parent_path(), fs::path(temp.path()));
    EXPECT_EQ(fs::path(record.pagePath).extension(), ".html");
    const std::string page = kvtest::ReadFileBytes(record.pagePath);
    const std::string logged = "a&lt;b &amp; &quot;c&quot;";
    EXPECT_EQ(page, "<html><head><base href=\"file://" + program.path() +
                        "/CrashPage/\"></head><body>0.1|Linux|Exception code: 0000000B "
                        "SIGSEGV|" +
                        logged + "|12 KB|" + logged + "</body></html>");
}

TEST(CrashText, NoTemplateMeansNoPage) {
    plat::testing::reset();
    kvtest::SysTempDir program, temp;
    CrashRecord record;
    record.loggedInfo = "log";
    EXPECT_FALSE(BuildCrashReportPage(record, program.path() + "/", temp.path()));
    EXPECT_TRUE(record.pagePath.empty());
    EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST(CrashText, PlatformLineNamesTheSystem) {
    const std::string text = OSVersionText();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    EXPECT_NE(text.find("Linux"), std::string::npos);
}

TEST(CrashText, TheRunAfterACrashOpensThePageBuiltFromTheFilesLeft) {
    plat::testing::reset();
    plat::RegisterBuiltinResources(BuiltinResourceTables());
    kvtest::SysTempDir program, temp;
    kvtest::ScopedEnv tmpdir("TMPDIR", temp.path());
    kvtest::WriteFileBytes(program / "CrashPage/crash.html",
                           "$productVersion$|$crashReport$|$dumpfileInfo$|$loggedInfo$");
    plat::testing::setModuleFileName(program / "korvaline");
    plat::testing::recordShellOpens(true);
    plat::testing::clearRecordedShellOpens();
    kvtest::WriteFileBytes(temp / "r.rpt", "Exception code: 0000000B SIGSEGV");
    kvtest::WriteFileBytes(temp / "d.dmp", std::string(3 * 1024 + 5, 'x'));
    kvtest::WriteFileBytes(temp / "l.txt", "a<b");

    EXPECT_EQ(ShowCrashPage(temp / "r.rpt", temp / "d.dmp", temp / "l.txt"), 1);
    const auto opens = plat::testing::recordedShellOpens();
    plat::testing::setModuleFileName("");
    plat::testing::recordShellOpens(true); // as the headless back end does by default
    ASSERT_EQ(opens.size(), 1u);
    ASSERT_EQ(opens[0].rfind("open ", 0), 0u);
    const std::string page = kvtest::ReadFileBytes(opens[0].substr(5));
    EXPECT_EQ(page,
              std::string(LoadResString(138)) + "|Exception code: 0000000B SIGSEGV|3 KB|a&lt;b");
}

} // namespace
