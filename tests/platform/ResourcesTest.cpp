#include "plat/Resources.h"

#include "BuiltinResources.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

const plat::ResourceTables& SampleResourceTables();

namespace {

using namespace plat;

std::vector<BYTE> readAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string tempPath(const char* name) {
    return std::string(::testing::TempDir()) + "/" + name;
}

void writeAll(const std::string& path, const std::vector<BYTE>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string loadString(HINSTANCE module, UINT id, int size = 2048) {
    std::vector<char> buf(static_cast<std::size_t>(size), 'x');
    const int n = LoadString(module, id, buf.data(), size);
    EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(buf.data())) << "id " << id;
    return std::string(buf.data());
}

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterBuiltinResources(SampleResourceTables()); }
    void TearDown() override { RegisterBuiltinResources(BuiltinResourceTables()); }
};

TEST_F(ResourcesTest, LoadStringCopiesConvertedTextAndReportsMissingIds) {
    EXPECT_EQ(loadString(nullptr, 1), "un");
    EXPECT_EQ(loadString(nullptr, 65535), "dernier");
    EXPECT_EQ(loadString(nullptr, 7), "\xC9t\xE9 \xE0 Montr\xE9"
                                      "al \x97 5 \x80, \x9Cuvre \xAB\tnote\xBB\nfin \\ ok");
    // Missing ids give 0 and an empty text.
    for (UINT id : {0u, 2u, 6u, 8u, 65534u}) {
        SCOPED_TRACE(id);
        char buf[8] = "junk";
        EXPECT_EQ(LoadString(nullptr, id, buf, sizeof buf), 0);
        EXPECT_STREQ(buf, "");
    }
    EXPECT_EQ(GetModuleHandle(nullptr), GetModuleHandle("Korvaline.exe"));
    EXPECT_EQ(loadString(GetModuleHandle(nullptr), 1), "un");
}

TEST_F(ResourcesTest, LoadStringNeverWritesPastTheBuffer) {
    char buf[6];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(LoadString(nullptr, 65535, buf, 5), 4);
    EXPECT_STREQ(buf, "dern");
    EXPECT_EQ(buf[5], 'x');
    EXPECT_EQ(LoadString(nullptr, 65535, buf, 1), 0);
    EXPECT_STREQ(buf, "");
    buf[0] = 'q';
    EXPECT_EQ(LoadString(nullptr, 65535, buf, 0), 0);
    EXPECT_EQ(buf[0], 'q');
    EXPECT_EQ(LoadString(nullptr, 65535, nullptr, 10), 0);
}

TEST_F(ResourcesTest, LongStringIsCutAt1023CharactersInTheUsualBuffer) {
    const std::string longText(1500, 'a');
    const ResString strings[] = {{3, longText.c_str(), 1500}};
    ResourceTables t;
    t.strings = strings;
    t.stringCount = 1;
    RegisterBuiltinResources(t);
    char buf[1024];
    EXPECT_EQ(LoadString(nullptr, 3, buf, sizeof buf), 1023);
    EXPECT_EQ(std::strlen(buf), 1023u);
}

TEST_F(ResourcesTest, RawResourcesByIdByNameAndByType) {
    struct Case {
        const char* name;
        UINT type;
        const char* file; // what the resource holds
    };
    const Case cases[] = {
        {MAKEINTRESOURCE(11), 10, KV_SOURCE_DIR "/tests/platform/res/Sample.tsv"},
        {"#11", 10, KV_SOURCE_DIR "/tests/platform/res/Sample.tsv"},
        {"KeyNames", 10, KV_SOURCE_DIR "/resources/menus/Sample.menu"},
        {"keynames", 10, KV_SOURCE_DIR "/resources/menus/Sample.menu"},
        {MAKEINTRESOURCE(5), 256, KV_SOURCE_DIR "/resources/dialogs/Sample.dlg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const HRSRC r = FindResource(nullptr, c.name, MAKEINTRESOURCE(static_cast<WORD>(c.type)));
        ASSERT_NE(r, nullptr);
        const std::vector<BYTE> expected = readAll(c.file);
        ASSERT_EQ(SizeofResource(nullptr, r), expected.size());
        const HGLOBAL g = LoadResource(nullptr, r);
        ASSERT_NE(g, nullptr);
        const void* p = LockResource(g);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(std::memcmp(p, expected.data(), expected.size()), 0);
        FreeResource(g);
    }
    // Wrong type, unknown id or name, malformed numeric names.
    EXPECT_EQ(FindResource(nullptr, MAKEINTRESOURCE(11), MAKEINTRESOURCE(256)), nullptr);
    EXPECT_EQ(FindResource(nullptr, MAKEINTRESOURCE(12), RT_RCDATA), nullptr);
    EXPECT_EQ(FindResource(nullptr, "KeyName", RT_RCDATA), nullptr);
    EXPECT_EQ(FindResource(nullptr, "#", RT_RCDATA), nullptr);
    EXPECT_EQ(FindResource(nullptr, "#1x", RT_RCDATA), nullptr);
    EXPECT_EQ(FindResource(nullptr, MAKEINTRESOURCE(11), "RCDATA"), nullptr);
    // A resource handle is not a loaded handle and the other way round.
    const HRSRC r = FindResource(nullptr, MAKEINTRESOURCE(11), RT_RCDATA);
    EXPECT_EQ(LockResource(reinterpret_cast<HGLOBAL>(r)), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, reinterpret_cast<HRSRC>(LoadResource(nullptr, r))), 0u);
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
}

// Compares two sets of tables entry by entry.
void expectSameTables(const ResourceTables& a, const ResourceTables& b) {
    ASSERT_EQ(a.stringCount, b.stringCount);
    for (std::size_t i = 0; i < a.stringCount; ++i) {
        EXPECT_EQ(a.strings[i].id, b.strings[i].id);
        EXPECT_EQ(std::string(a.strings[i].text, a.strings[i].length),
                  std::string(b.strings[i].text, b.strings[i].length));
    }
    ASSERT_EQ(a.dataCount, b.dataCount);
    for (std::size_t i = 0; i < a.dataCount; ++i) {
        EXPECT_EQ(a.data[i].type, b.data[i].type);
        EXPECT_EQ(a.data[i].id, b.data[i].id);
        EXPECT_STREQ(a.data[i].name ? a.data[i].name : "", b.data[i].name ? b.data[i].name : "");
        ASSERT_EQ(a.data[i].size, b.data[i].size);
        EXPECT_EQ(std::memcmp(a.data[i].data, b.data[i].data, a.data[i].size), 0);
    }
    ASSERT_EQ(a.menuCount, b.menuCount);
    for (std::size_t i = 0; i < a.menuCount; ++i) {
        EXPECT_EQ(a.menus[i].id, b.menus[i].id);
        ASSERT_EQ(a.menus[i].count, b.menus[i].count);
        for (UINT k = 0; k < a.menus[i].count; ++k) {
            const ResMenuItem &x = a.menus[i].items[k], &y = b.menus[i].items[k];
            EXPECT_EQ(x.kind, y.kind);
            EXPECT_EQ(x.id, y.id);
            EXPECT_EQ(x.flags, y.flags);
            EXPECT_EQ(x.code, y.code);
            EXPECT_STREQ(x.text, y.text);
        }
    }
    ASSERT_EQ(a.dialogCount, b.dialogCount);
    for (std::size_t i = 0; i < a.dialogCount; ++i) {
        const ResDialog &x = a.dialogs[i], &y = b.dialogs[i];
        EXPECT_EQ(x.id, y.id);
        EXPECT_EQ(x.style, y.style);
        EXPECT_STREQ(x.caption, y.caption);
        EXPECT_EQ(x.cx, y.cx);
        ASSERT_EQ(x.count, y.count);
        for (UINT k = 0; k < x.count; ++k) {
            EXPECT_STREQ(x.controls[k].className, y.controls[k].className);
            EXPECT_EQ(x.controls[k].id, y.controls[k].id);
            EXPECT_STREQ(x.controls[k].text, y.controls[k].text);
            EXPECT_EQ(x.controls[k].style, y.controls[k].style);
            EXPECT_EQ(x.controls[k].exStyle, y.controls[k].exStyle);
            EXPECT_EQ(x.controls[k].y, y.controls[k].y);
        }
    }
}

TEST_F(ResourcesTest, BundleHoldsTheSameTablesAsTheCompiledModule) {
    const HMODULE m = LoadLibraryEx(KV_SAMPLE_BUNDLE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr);
    ASSERT_NE(ModuleResourceTables(m), nullptr);
    expectSameTables(*ModuleResourceTables(m), SampleResourceTables());
    EXPECT_EQ(loadString(m, 1), "un");
    const HRSRC r = FindResource(m, "KeyNames", RT_RCDATA);
    ASSERT_NE(r, nullptr);
    EXPECT_NE(LockResource(LoadResource(m, r)), nullptr);
    // The resource belongs to the bundle, not to the program.
    EXPECT_EQ(SizeofResource(GetModuleHandle(nullptr), r), 0u);
    ASSERT_NE(FindDialogTemplate(m, MAKEINTRESOURCE(9001)), nullptr);

    // After FreeLibrary the handle and what was found through it are stale.
    EXPECT_EQ(FreeLibrary(m), TRUE);
    EXPECT_EQ(ModuleResourceTables(m), nullptr);
    char buf[8];
    EXPECT_EQ(LoadString(m, 1, buf, sizeof buf), 0);
    EXPECT_EQ(SizeofResource(m, r), 0u);
    EXPECT_EQ(FreeLibrary(m), FALSE);
    // A bundle loaded again in the same slot gets a new handle.
    const HMODULE again = LoadLibraryEx(KV_SAMPLE_BUNDLE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, m);
    EXPECT_EQ(loadString(again, 7).size(), 44u);
    FreeLibrary(again);
}

TEST_F(ResourcesTest, ProgramBundleMatchesTheBuiltinTables) {
    const HMODULE m = LoadLibraryEx(KV_RESOURCE_BUNDLE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr);
    expectSameTables(*ModuleResourceTables(m), BuiltinResourceTables());
    EXPECT_EQ(loadString(m, 430), "Korvaline");
    FreeLibrary(m);
}

TEST_F(ResourcesTest, DamagedBundlesAreRefusedWhole) {
    const std::vector<BYTE> good = readAll(KV_SAMPLE_BUNDLE);
    ASSERT_GT(good.size(), 100u);
    const std::string path = tempPath("damaged.kvres");
    // Every truncation, and a byte too many, is refused.
    for (std::size_t len = 0; len < good.size(); len += (len < 64 ? 1 : 7)) {
        SCOPED_TRACE(len);
        writeAll(path, std::vector<BYTE>(good.begin(), good.begin() + static_cast<long>(len)));
        const HMODULE m = LoadLibraryEx(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        EXPECT_EQ(m, nullptr);
        if (m)
            FreeLibrary(m);
    }
    std::vector<BYTE> longer = good;
    longer.push_back(0);
    writeAll(path, longer);
    EXPECT_EQ(LoadLibraryEx(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    // A huge count must not be trusted (first string count, right after the magic).
    std::vector<BYTE> huge = good;
    huge[8] = huge[9] = huge[10] = huge[11] = 0xFF;
    writeAll(path, huge);
    EXPECT_EQ(LoadLibraryEx(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    // Other load modes and missing files.
    EXPECT_EQ(LoadLibraryEx(KV_SAMPLE_BUNDLE, nullptr, 0), nullptr);
    EXPECT_EQ(LoadLibraryEx(KV_SAMPLE_BUNDLE, nullptr,
                            LOAD_LIBRARY_AS_DATAFILE | DONT_RESOLVE_DLL_REFERENCES),
              nullptr);
    EXPECT_EQ(LoadLibraryEx(tempPath("missing.kvres").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE),
              nullptr);
    std::remove(path.c_str());
}

TEST_F(ResourcesTest, MenuIdsFollowTheirPlaces) {
    const ResMenu* bar = FindMenuTemplate(nullptr, MAKEINTRESOURCE(200));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(FindMenuTemplate(nullptr, "samplebar"), bar);
    struct Expect {
        ResMenuKind kind;
        UINT id;
        const char* text;
    };
    const Expect expected[] = {
        {ResMenuKind::PopupBegin, 1, "&Fichier"},
        {ResMenuKind::Item, 257, "&Nouveau"},
        {ResMenuKind::Item, 258, "&Ouvrir..."},
        {ResMenuKind::Separator, 0, ""},
        {ResMenuKind::PopupBegin, 9,
         "&R\xE9"
         "cents"},
        {ResMenuKind::Item, 2305, "Premier"},
        {ResMenuKind::PopupEnd, 0, ""},
        {ResMenuKind::Item, 261, "&Quitter"},
        {ResMenuKind::PopupEnd, 0, ""},
    };
    ASSERT_EQ(bar->count, std::size(expected));
    for (UINT i = 0; i < bar->count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bar->items[i].kind, expected[i].kind);
        EXPECT_EQ(bar->items[i].id, expected[i].id);
        EXPECT_STREQ(bar->items[i].text, expected[i].text);
    }
    EXPECT_EQ(bar->items[7].code, 0x6111);
    EXPECT_EQ(bar->items[7].flags, RES_MENU_GRAYED);

    const ResMenu* context = FindMenuTemplate(nullptr, MAKEINTRESOURCE(199));
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(context->count, 5u);
    EXPECT_EQ(context->items[1].id, 50945u);
    EXPECT_EQ(context->items[3].id, 50947u);
    EXPECT_EQ(context->items[3].flags, RES_MENU_CHECKED);
    EXPECT_EQ(FindMenuTemplate(nullptr, MAKEINTRESOURCE(128)), nullptr);
}

TEST_F(ResourcesTest, DialogTemplateKeepsControlsInOrderWithTheirStyles) {
    const ResDialog* d = FindDialogTemplate(nullptr, MAKEINTRESOURCE(9001));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->style, 0x80000000u | 0x00C00000u | 0x00080000u | 0x80u);
    EXPECT_EQ(d->cx, 180);
    EXPECT_EQ(d->cy, 70);
    EXPECT_STREQ(d->caption, "\xC9"
                             "chantillon");
    ASSERT_EQ(d->count, 5u);
    const DWORD childVisible = 0x40000000u | 0x10000000u;
    EXPECT_STREQ(d->controls[0].className, "STATIC");
    EXPECT_EQ(d->controls[0].id, 0xFFFFu);
    EXPECT_EQ(d->controls[0].style, childVisible);
    EXPECT_EQ(d->controls[1].id, 100u);
    EXPECT_EQ(d->controls[1].style, childVisible | 0x00010000u | 0x00800000u | 0x80u);
    EXPECT_EQ(d->controls[2].style, childVisible | 0x00010000u | 0x1u);
    // "~WS_VISIBLE" hides the control; its extended style is kept apart.
    EXPECT_EQ(d->controls[4].style, 0x40000000u | 0x3u);
    EXPECT_EQ(d->controls[4].exStyle, 0x20u);
    EXPECT_EQ(d->controls[4].x, 8);
    EXPECT_EQ(d->controls[4].y, 48);
    EXPECT_EQ(FindDialogTemplate(nullptr, MAKEINTRESOURCE(9002)), nullptr);
    EXPECT_EQ(FindDialogTemplate(nullptr, "Sample"), nullptr);
}

} // namespace
