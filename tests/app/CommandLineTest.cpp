// Parsing of the command line.

#include "App/CommandLine.h"

#include "plat/Font.h"
#include "support/CodePageScope.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct LineCase {
    const char* what;
    std::vector<std::string> words;
    bool noSplash;
    bool embedding;
    RegistrationRequest registration;
    std::vector<std::string> files; // cp1252
    size_t warnings;
};

const LineCase kCases[] = {
    {"nothing", {}, false, false, RegistrationRequest::None, {}, 0},
    {"slash register", {"/register"}, false, false, RegistrationRequest::Register, {}, 0},
    {"case-insensitive", {"-NOSPLASH"}, true, false, RegistrationRequest::None, {}, 0},
    {"double dash switch", {"--nosplash"}, true, false, RegistrationRequest::None, {}, 0},
    {"embedding", {"/Embedding"}, false, true, RegistrationRequest::None, {}, 0},
    {"an absolute path is a file",
     {"/home/u/a.pvx"},
     false,
     false,
     RegistrationRequest::None,
     {"/home/u/a.pvx"},
     0},
    {"a path that merely starts like a switch",
     {"/registered.pvx"},
     false,
     false,
     RegistrationRequest::None,
     {"/registered.pvx"},
     0},
    {"relative path made absolute",
     {"docs/b.exp"},
     false,
     false,
     RegistrationRequest::None,
     {"/work/dir/docs/b.exp"},
     0},
    {"dot steps removed",
     {"../x/./c.pvx"},
     false,
     false,
     RegistrationRequest::None,
     {"/work/x/c.pvx"},
     0},
    {"-- ends the switches",
     {"--", "-nosplash", "/register"},
     false,
     false,
     RegistrationRequest::None,
     {"/work/dir/-nosplash", "/register"},
     0},
    {"unknown switch ignored with a warning",
     {"-x", "a.pvx"},
     false,
     false,
     RegistrationRequest::None,
     {"/work/dir/a.pvx"},
     1},
    {"last of register and unregister wins",
     {"-register", "-unregister"},
     false,
     false,
     RegistrationRequest::Unregister,
     {},
     0},
    {"combined switches and files",
     {"a.pvx", "-nosplash", "b.pvx"},
     true,
     false,
     RegistrationRequest::None,
     {"/work/dir/a.pvx", "/work/dir/b.pvx"},
     0},
    {"UTF-8 name converted to cp1252",
     {"\xC3\xA9t\xC3\xA9.pvx"},
     false,
     false,
     RegistrationRequest::None,
     {"/work/dir/\xE9t\xE9.pvx"},
     0},
    {"euro sign is in cp1252",
     {"\xE2\x82\xAC.pvx"},
     false,
     false,
     RegistrationRequest::None,
     {"/work/dir/\x80.pvx"},
     0},
    {"a name outside cp1252 is not opened, but kept to be reported",
     {"\xE4\xB8\xAD.pvx", "ok.pvx"},
     false,
     false,
     RegistrationRequest::None,
     {"/work/dir/ok.pvx"},
     1},
    {"invalid UTF-8 is skipped", {"\xC3"}, false, false, RegistrationRequest::None, {}, 1},
};

TEST(CommandLine, Table) {
    for (const LineCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const CommandLine line = ParseCommandLine(c.words, "/work/dir");
        EXPECT_EQ(line.noSplash, c.noSplash);
        EXPECT_EQ(line.embedding, c.embedding);
        EXPECT_EQ(line.registration, c.registration);
        EXPECT_EQ(line.files, c.files);
        EXPECT_EQ(line.warnings.size(), c.warnings);
    }
}

TEST(CommandLine, NamesFollowTheCodePageAndTheOthersAreKeptToBeReported) {
    // 数式 is written under 932 only, été under 1252 only; every name is handed over as given.
    const std::string suuShiki = "\xE6\x95\xB0\xE5\xBC\x8F.pvx", ete = "\xC3\xA9t\xC3\xA9.pvx";
    struct Case {
        plat::UINT codePage;
        std::vector<std::string> files;
        std::vector<std::string> outside;
    };
    const Case cases[] = {
        {1252, {"/w/\xE9t\xE9.pvx"}, {"/w/" + suuShiki}},
        {932, {"/w/\x90\x94\x8E\xAE.pvx"}, {"/w/" + ete}},
    };
    kvtest::CodePageScope restore;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        ASSERT_TRUE(plat::SetActiveCodePage(c.codePage));
        const CommandLine line = ParseCommandLine({suuShiki, ete}, "/w");
        EXPECT_EQ(line.files, c.files);
        EXPECT_EQ(line.outsideCodePage, c.outside);
        EXPECT_EQ(line.systemPaths, (std::vector<std::string>{"/w/" + suuShiki, "/w/" + ete}));
        ASSERT_EQ(line.warnings.size(), 1u);
        EXPECT_NE(line.warnings[0].find(c.outside[0].substr(3)), std::string::npos);
    }
}

TEST(CommandLine, WarningsNameTheWord) {
    const CommandLine line = ParseCommandLine({"-frobnicate"}, "/");
    ASSERT_EQ(line.warnings.size(), 1u);
    EXPECT_NE(line.warnings[0].find("-frobnicate"), std::string::npos);
}

TEST(CommandLine, ProgramTextToUtf8RoundTrips) {
    EXPECT_EQ(ProgramTextToUtf8("D\xE9sol\xE9 \x80"), "D\xC3\xA9sol\xC3\xA9 \xE2\x82\xAC");
    const CommandLine line = ParseCommandLine({ProgramTextToUtf8("/\xC9t\xE9\x9C.pvx")}, "/");
    ASSERT_EQ(line.files.size(), 1u);
    EXPECT_EQ(line.files[0], "/\xC9t\xE9\x9C.pvx");
}

} // namespace
