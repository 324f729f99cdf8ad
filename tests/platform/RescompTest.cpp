// The resource compiler run as the build runs it: sources in, a bundle out (loaded back through
// the resource module) or a clear "file:line: error" and no output.

#include "plat/Resources.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <png.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace plat;

struct ToolRun {
    int status = -1;
    std::string output;
};

// ctest runs each case as its own process, in parallel: every process gets its own folder so
// that fixed file names cannot collide.
std::string dir() {
    static const std::string d = [] {
        std::string path = std::string(::testing::TempDir()) + "/kv_rescomp_" +
                           std::to_string(static_cast<long>(getpid()));
        mkdir(path.c_str(), 0700);
        return path;
    }();
    return d;
}

std::string writeFile(const std::string& name, const std::string& text) {
    const std::string path = dir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return path;
}

ToolRun rescomp(const std::string& args) {
    ToolRun r;
    const std::string cmd = std::string(KV_RESCOMP) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p) != nullptr)
        r.output += buf;
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// Compiles `args` into a bundle and loads it; null (with the failure recorded) when that fails.
HMODULE compileAndLoad(const std::string& args, const char* bundleName = "t.kvres") {
    const std::string bundle = dir() + "/" + bundleName;
    std::remove(bundle.c_str());
    const ToolRun r = rescomp("--bundle " + bundle + " " + args);
    EXPECT_EQ(r.status, 0) << r.output;
    if (r.status != 0)
        return nullptr;
    return LoadLibraryEx(bundle.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

TEST(RescompTest, StringsAreConvertedToWindows1252) {
    const std::string tsv = writeFile("conv.tsv", "\xEF\xBB\xBF# comment after a byte-order mark\n"
                                                  "\n"
                                                  "10\tÇa coûte 5 € — «oui»\r\n"
                                                  "11\t‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ\n"
                                                  "12\tÿ¡ tab\\there\\\\\n");
    const HMODULE m = compileAndLoad("--strings " + tsv);
    ASSERT_NE(m, nullptr);
    char buf[128];
    ASSERT_GT(LoadString(m, 10, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "\xC7"
                      "a co\xFBte 5 \x80 \x97 \xABoui\xBB");
    ASSERT_GT(LoadString(m, 11, buf, sizeof buf), 0);
    // Every defined character of 0x82-0x9F maps to its own byte.
    EXPECT_STREQ(buf, "\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E\x91\x92\x93\x94\x95\x96"
                      "\x97\x98\x99\x9A\x9B\x9C\x9E\x9F");
    ASSERT_GT(LoadString(m, 12, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "\xFF\xA1 tab\there\\");
    FreeLibrary(m);
}

TEST(RescompTest, BadSourcesStopTheBuildWithTheirPlace) {
    struct Case {
        const char* name;
        const char* option;
        const char* text;
        const char* expected; // in the message, after "file:line: error: "
        int line;
    };
    const Case cases[] = {
        {"cjk.tsv", "--strings", "1\tok\n2\tChinese \xE4\xB8\x80 here\n", "U+4E00", 2},
        {"emoji.tsv", "--strings", "5\t\xF0\x9F\x98\x80\n", "U+1F600", 1},
        {"badutf.tsv", "--strings", "1\tok\n\n3\tbad \xE9t\xE9\n", "UTF-8", 3},
        {"overlong.tsv", "--strings", "1\t\xC0\xAF\n", "UTF-8", 1},
        {"c1.tsv", "--strings", "1\t\xC2\x80\n", "U+0080", 1},
        {"dup.tsv", "--strings", "1\ta\n1\tb\n", "twice", 2},
        {"zero.tsv", "--strings", "0\ta\n", "1..65535", 1},
        {"notab.tsv", "--strings", "1 text\n", "id<TAB>text", 1},
        {"escape.tsv", "--strings", "1\ta\\qb\n", "escape", 1},
        {"empty.tsv", "--strings", "1\t\n", "empty", 1},
        {"wrongid.menu", "--menu",
         "menu 20\n popup 1 \"A\"\n  item \"x\"\n  item \"y\" id=300\n end\nend\n", "258", 4},
        {"order.menu", "--menu",
         "menu 54 explicit\n popup 54 \"A\"\n  item \"x\" id=13830\n  item \"y\" id=13829\n "
         "end\nend\n",
         "ascend", 4},
        {"range.menu", "--menu",
         "menu 54 explicit\n popup 54 \"A\"\n  item \"x\" id=14080\n end\nend\n", "outside", 3},
        {"noid.menu", "--menu", "menu 54 explicit\n popup 54 \"A\"\n  item \"x\"\n end\nend\n",
         "every item", 3},
        {"open.menu", "--menu", "menu 20\n popup 1 \"A\"\n  item \"x\"\n end\n", "end", 1},
        {"menutext.menu", "--menu", "menu 20\n popup 1 \"A\"\n  item \"\xE4\xB8\x80\"\n end\nend\n",
         "U+4E00", 3},
        {"style.dlg", "--dialog", "dialog 5\n rect 0 0 10 10\n style WS_POPUP | WS_BOGUS\nend\n",
         "WS_BOGUS", 3},
        {"ctlid.dlg", "--dialog",
         "dialog 5\n rect 0 0 10 10\n control BUTTON 1 \"a\" 0 0 1 1\n control EDIT 1 \"b\" 0 0 1 "
         "1\nend\n",
         "twice", 4},
        {"norect.dlg", "--dialog", "dialog 5\n caption \"x\"\nend\n", "rect", 1},
        {"quote.dlg", "--dialog", "dialog 5\n caption \"x\nend\n", "quote", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = writeFile(c.name, c.text);
        const std::string bundle = dir() + "/bad.kvres";
        std::remove(bundle.c_str());
        const ToolRun r = rescomp(std::string("--bundle ") + bundle + " " + c.option + " " + path);
        EXPECT_EQ(r.status, 1);
        const std::string place = path + ":" + std::to_string(c.line) + ": error: ";
        EXPECT_NE(r.output.find(place), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(c.expected), std::string::npos) << r.output;
        // Nothing is written when the sources are bad.
        std::ifstream out(bundle);
        EXPECT_FALSE(out.good());
    }
}

TEST(RescompTest, NameTablesBecomeCodesFollowedByTheirZeroEndedNames) {
    const std::string tsv =
        writeFile("names.tsv", "# comment\n0x1A5\tGauche\n\n8\tRetour arri\xC3\xA8re\n");
    const HMODULE m = compileAndLoad("--names 10:11020=" + tsv);
    ASSERT_NE(m, nullptr);
    const HRSRC found = FindResource(m, MAKEINTRESOURCE(11020), RT_RCDATA);
    ASSERT_NE(found, nullptr);
    const auto* data = static_cast<const char*>(LockResource(LoadResource(m, found)));
    const std::string bytes(data, SizeofResource(m, found));
    EXPECT_EQ(bytes, std::string("\xA5\x01Gauche\0\x08\0Retour arri\xE8re\0", 26));
    FreeLibrary(m);

    struct Bad {
        const char* text;
        const char* expected;
        int line;
    } bads[] = {{"1\ta\n1\tb\n", "twice", 2}, {"70000\ta\n", "code", 1}, {"2\t\n", "empty", 1}};
    for (const Bad& b : bads) {
        SCOPED_TRACE(b.text);
        const std::string path = writeFile("badnames.tsv", b.text);
        const ToolRun r = rescomp("--bundle " + dir() + "/bad.kvres --names 10:11020=" + path);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find(path + ":" + std::to_string(b.line) + ": error: "),
                  std::string::npos)
            << r.output;
        EXPECT_NE(r.output.find(b.expected), std::string::npos) << r.output;
    }
}

TEST(RescompTest, MenuIdsCountSeparatorsAndSubmenus) {
    const std::string menu = writeFile("ids.menu", "menu 30 Bar\n"
                                                   "popup 3 \"&Trois\"\n"
                                                   "  separator\n"
                                                   "  item \"a\"\n"       // 3*256+2
                                                   "  popup 12 \"sub\"\n" // position 3
                                                   "    separator\n"
                                                   "    separator\n"
                                                   "    item \"deep\" id=3075\n" // 12*256+3
                                                   "  end\n"
                                                   "  item \"b\" id=772\n" // 3*256+4
                                                   "end\n"
                                                   "popup 4 \"&Quatre\"\n"
                                                   "  item \"c\"\n" // 4*256+1
                                                   "end\n"
                                                   "end\n");
    const HMODULE m = compileAndLoad("--menu " + menu);
    ASSERT_NE(m, nullptr);
    const ResMenu* bar = FindMenuTemplate(m, "Bar");
    ASSERT_NE(bar, nullptr);
    std::vector<UINT> ids;
    for (UINT i = 0; i < bar->count; ++i)
        if (bar->items[i].kind == ResMenuKind::Item)
            ids.push_back(bar->items[i].id);
    EXPECT_EQ(ids, (std::vector<UINT>{770, 3075, 772, 1025}));
    FreeLibrary(m);
}

// A 2x2 RGBA image: white, black / red, transparent.
std::string writePng() {
    const std::string path = dir() + "/tiny.png";
    const unsigned char px[] = {255, 255, 255, 255, 0, 0, 0, 255, 255, 0, 0, 255, 0, 0, 0, 0};
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = 2;
    img.height = 2;
    img.format = PNG_FORMAT_RGBA;
    EXPECT_TRUE(png_image_write_to_file(&img, path.c_str(), 0, px, 0, nullptr));
    return path;
}

std::uint32_t le32(const BYTE* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (p[3] << 24);
}

TEST(RescompTest, BitmapsBecomeBottomUpDibs) {
    const std::string png = writePng();
    const HMODULE m = compileAndLoad("--bitmap 512=" + png + " --bitmap 600=" + png);
    ASSERT_NE(m, nullptr);

    const HRSRC mono = FindResource(m, MAKEINTRESOURCE(512), RT_BITMAP);
    ASSERT_NE(mono, nullptr);
    const auto* d = static_cast<const BYTE*>(LockResource(LoadResource(m, mono)));
    ASSERT_EQ(SizeofResource(m, mono), 40u + 8u + 2u * 4u);
    EXPECT_EQ(le32(d), 40u);
    EXPECT_EQ(le32(d + 4), 2u);
    EXPECT_EQ(le32(d + 8), 2u);
    EXPECT_EQ(d[14], 1);         // bits per pixel
    EXPECT_EQ(le32(d + 32), 2u); // colours used
    EXPECT_EQ(le32(d + 44), 0x00FFFFFFu);
    // Bottom row first: red is dark (0), transparent shows white (1); then white (1), black (0).
    EXPECT_EQ(d[48], 0x40);
    EXPECT_EQ(d[52], 0x80);

    const HRSRC colour = FindResource(m, MAKEINTRESOURCE(600), RT_BITMAP);
    ASSERT_NE(colour, nullptr);
    const auto* c = static_cast<const BYTE*>(LockResource(LoadResource(m, colour)));
    ASSERT_EQ(SizeofResource(m, colour), 40u + 2u * 8u); // rows padded to 8 bytes
    EXPECT_EQ(c[14], 24);
    const BYTE bottom[] = {0, 0, 255, 255, 255, 255}; // red (B, G, R), transparent over white
    const BYTE top[] = {255, 255, 255, 0, 0, 0};
    EXPECT_EQ(std::memcmp(c + 40, bottom, 6), 0);
    EXPECT_EQ(std::memcmp(c + 48, top, 6), 0);
    FreeLibrary(m);

    const std::string notPng = writeFile("not.png", "GIF89a");
    const ToolRun r = rescomp("--bundle " + dir() + "/x.kvres --bitmap 600=" + notPng);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(notPng + ":0: error: "), std::string::npos) << r.output;
}

TEST(RescompTest, CommandLineMistakesAreReported) {
    for (const char* args : {"", "--strings", "--bogus x --bundle y", "--bundle y --data 10=nofile",
                             "--bundle y --bitmap 70000=x.png"}) {
        SCOPED_TRACE(args);
        const ToolRun r = rescomp(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find("error"), std::string::npos) << r.output;
    }
}

} // namespace
