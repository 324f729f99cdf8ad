#include "OverPc/Presourc.h"

#include "ErrorFixture.h"
#include "plat/Resources.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using kvtest::ErrorFixture;

// Tables built in the test: texts of chosen lengths under chosen ids.
struct TestTables {
    std::vector<std::string> texts;
    std::vector<plat::ResString> strings;
    std::vector<plat::ResData> data;
    plat::ResourceTables tables;

    void add(plat::UINT id, std::string text) {
        texts.push_back(std::move(text));
        ids.push_back(id);
    }
    const plat::ResourceTables& build() {
        strings.clear();
        for (std::size_t i = 0; i < texts.size(); ++i)
            strings.push_back({ids[i], texts[i].c_str(), static_cast<plat::UINT>(texts[i].size())});
        tables.strings = strings.data();
        tables.stringCount = strings.size();
        tables.data = data.data();
        tables.dataCount = data.size();
        return tables;
    }
    std::vector<plat::UINT> ids; // ascending
};

std::string textFor(int id, char fill) {
    return std::to_string(id) + ":" + std::string(116, fill); // 120 bytes with its terminator
}

class PresourcTest : public ErrorFixture {};

TEST_F(PresourcTest, SameIdGivesTheSamePointer) {
    const char* a = LoadResString(kProductNameStringId);
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a, "Korvaline");
    EXPECT_EQ(LoadResString(kProductNameStringId), a);
    EXPECT_STREQ(LoadResString(kInformationStringId), "Information");
    EXPECT_EQ(LoadResString(kProductNameStringId), a);
    EXPECT_EQ(LoadResString(0), nullptr);
    EXPECT_EQ(LoadResString(-5), nullptr);
    EXPECT_EQ(LoadResString(70000), nullptr);
}

TEST_F(PresourcTest, AMissingIdIsRememberedWithoutAnotherLookup) {
    TestTables first;
    first.add(10, "dix");
    plat::RegisterBuiltinResources(first.build());
    EXPECT_EQ(LoadResString(11), nullptr);

    // Were the module asked again, it would now answer; the cache does not ask.
    TestTables second;
    second.add(10, "DIX");
    second.add(11, "onze");
    plat::RegisterBuiltinResources(second.build());
    EXPECT_EQ(LoadResString(11), nullptr);
    EXPECT_STREQ(LoadResString(10), "DIX"); // never asked before: loaded now

    // A fresh cache asks again.
    FreeStringCache();
    EXPECT_STREQ(LoadResString(11), "onze");
}

TEST_F(PresourcTest, AFullCacheStillAnswersAndEveryTextLastsTheRun) {
    TestTables t;
    for (int id = 1000; id < 1060; ++id)
        t.add(static_cast<plat::UINT>(id), textFor(id, 'a'));
    plat::RegisterBuiltinResources(t.build());

    // 60 texts of 120 bytes are far more than the block holds.
    std::vector<const char*> got;
    for (int id = 1000; id < 1060; ++id) {
        SCOPED_TRACE(id);
        const char* s = LoadResString(id);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(std::string(s), textFor(id, 'a'));
        got.push_back(s);
        // Error texts share the buffer the overflow goes through; they must not disturb it.
        BuildErrorText(errDataCorrupted);
    }
    // Nothing earlier changed, and asking again gives the same storage.
    for (int id = 1000; id < 1060; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(std::string(got[static_cast<std::size_t>(id - 1000)]), textFor(id, 'a'));
        EXPECT_EQ(LoadResString(id), got[static_cast<std::size_t>(id - 1000)]);
    }
    // Texts are not loaded again, in the block or beyond it.
    TestTables changed;
    for (int id = 1000; id < 1061; ++id)
        changed.add(static_cast<plat::UINT>(id), textFor(id, 'b'));
    plat::RegisterBuiltinResources(changed.build());
    EXPECT_EQ(std::string(LoadResString(1000)), textFor(1000, 'a'));
    EXPECT_EQ(std::string(LoadResString(1059)), textFor(1059, 'a'));
    EXPECT_EQ(std::string(LoadResString(1060)), textFor(1060, 'b'));
}

TEST_F(PresourcTest, AFullIndexStillAnswers) {
    TestTables t;
    t.add(5000, "cinq mille");
    plat::RegisterBuiltinResources(t.build());
    // 250 remembered misses fill the 200-entry index.
    for (int id = 100; id < 350; ++id)
        EXPECT_EQ(LoadResString(id), nullptr);
    const char* s = LoadResString(5000);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "cinq mille");
    EXPECT_EQ(LoadResString(5000), s);
    EXPECT_EQ(LoadResString(349), nullptr);
}

TEST_F(PresourcTest, LongStringsAreCutAt1023Characters) {
    TestTables t;
    t.add(20, std::string(2000, 'L'));
    t.add(21, "court");
    plat::RegisterBuiltinResources(t.build());
    ASSERT_NE(LoadResString(20), nullptr);
    EXPECT_EQ(std::strlen(LoadResString(20)), 1023u);
    EXPECT_STREQ(LoadResString(21), "court");
}

TEST_F(PresourcTest, ResourceDataFindsRcdataByIdAndName) {
    static const plat::BYTE bytes[] = {1, 2, 3, 4, 5};
    TestTables t;
    t.data.push_back({10, 11020, nullptr, bytes, 5});
    t.data.push_back({10, 0, "KeyNames", bytes + 1, 3});
    t.data.push_back({256, 11021, nullptr, bytes, 2}); // another type: not RCDATA
    plat::RegisterBuiltinResources(t.build());

    ResourceData byId(11020);
    ASSERT_TRUE(byId.found());
    EXPECT_EQ(byId.size(), 5u);
    EXPECT_EQ(byId.data()[4], 5);
    byId.release();
    EXPECT_EQ(byId.data(), nullptr);
    EXPECT_EQ(byId.size(), 0u);

    ResourceData byName = ResourceData::fromName("keynames");
    ASSERT_TRUE(byName.found());
    EXPECT_EQ(byName.size(), 3u);
    EXPECT_EQ(byName.data()[0], 2);
    EXPECT_TRUE(LoggedInformation().empty());

    for (int missing : {11021, 1, 0, -3}) {
        SCOPED_TRACE(missing);
        SetLoggedInformation("");
        ResourceData none(missing);
        EXPECT_EQ(none.data(), nullptr);
        EXPECT_EQ(none.size(), 0u);
        const std::string log(LoggedInformation());
        EXPECT_EQ(log.rfind("Assertion failure (NullResourceLoad) on (Presourc:", 0), 0u) << log;
    }
    EXPECT_FALSE(ResourceData::fromName("Nothing").found());
    EXPECT_FALSE(ResourceData::fromName("").found());
}

} // namespace
