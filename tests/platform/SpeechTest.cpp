#include "plat/Speech.h"

#include "platform/WinFixture.h"

#include <vector>

namespace {

using namespace kvtest;
namespace pt = plat::testing;
using plat::DWORD;
using plat::SPF_ASYNC;
using plat::SPF_IS_NOT_XML;
using plat::SPF_PURGEBEFORESPEAK;

class Speech : public WinTest {};

constexpr DWORD kAsyncPurge = SPF_ASYNC | SPF_PURGEBEFORESPEAK | SPF_IS_NOT_XML;

TEST_F(Speech, UtterancesAreRecordedInOrderAsUtf8) {
    plat::SpVoice* voice = plat::CreateSpVoice();
    ASSERT_NE(nullptr, voice);
    plat::ULONG first = 0, second = 0;
    // cp1252: 0x80 is the euro sign, 0xB7 the middle dot, 0xE9 e acute.
    EXPECT_EQ(plat::S_OK, voice->Speak("\x80 5 \xB7 x", SPF_ASYNC | SPF_IS_NOT_XML, &first));
    EXPECT_EQ(plat::S_OK, voice->Speak("d\xE9riv\xE9\x65", SPF_IS_NOT_XML, &second));
    EXPECT_NE(first, second);
    ASSERT_EQ(2u, pt::utterances().size());
    EXPECT_EQ("\xE2\x82\xAC 5 \xC2\xB7 x", pt::utterances()[0].text);
    EXPECT_EQ(SPF_ASYNC | SPF_IS_NOT_XML, pt::utterances()[0].flags);
    EXPECT_EQ("d\xC3\xA9riv\xC3\xA9\x65", pt::utterances()[1].text);
    EXPECT_EQ(0u, voice->Release());
}

struct PurgeCase {
    const char* name;
    std::vector<std::pair<const char*, DWORD>> calls;
    std::vector<bool> cutOff; // per recorded utterance, in order
};

TEST_F(Speech, PurgingCutsOffOnlyWhatIsStillPlaying) {
    const PurgeCase cases[] = {
        {"purge cuts the playing one", {{"a", kAsyncPurge}, {"b", kAsyncPurge}}, {true, false}},
        {"without purge both play", {{"a", SPF_ASYNC}, {"b", SPF_ASYNC}}, {false, false}},
        {"a synchronous one has finished",
         {{"a", SPF_IS_NOT_XML}, {"b", kAsyncPurge}},
         {false, false}},
        {"all the queued ones are cut",
         {{"a", SPF_ASYNC}, {"b", SPF_ASYNC}, {"c", kAsyncPurge}},
         {true, true, false}},
        {"a purge-only call cuts and records nothing",
         {{"a", SPF_ASYNC}, {nullptr, SPF_PURGEBEFORESPEAK}},
         {true}},
        {"what a purge cut is not counted again",
         {{"a", kAsyncPurge}, {"b", kAsyncPurge}, {"c", SPF_IS_NOT_XML}, {"d", kAsyncPurge}},
         {true, true, false, false}},
    };
    for (const PurgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        pt::reset();
        plat::SpVoice* voice = plat::CreateSpVoice();
        ASSERT_NE(nullptr, voice);
        for (const auto& [text, flags] : c.calls)
            EXPECT_EQ(plat::S_OK, voice->Speak(text, flags, nullptr));
        ASSERT_EQ(c.cutOff.size(), pt::utterances().size());
        for (std::size_t i = 0; i < c.cutOff.size(); ++i)
            EXPECT_EQ(c.cutOff[i], pt::utterances()[i].cutOff) << "utterance " << i;
        voice->Release();
    }
}

TEST_F(Speech, ANullTextWithoutPurgeFails) {
    plat::SpVoice* voice = plat::CreateSpVoice();
    ASSERT_NE(nullptr, voice);
    EXPECT_NE(plat::S_OK, voice->Speak(nullptr, SPF_ASYNC, nullptr));
    EXPECT_TRUE(pt::utterances().empty());
    voice->Release();
}

TEST_F(Speech, TheLastReleaseStopsTheSpeech) {
    plat::SpVoice* voice = plat::CreateSpVoice();
    ASSERT_NE(nullptr, voice);
    EXPECT_EQ(2u, voice->AddRef());
    voice->Speak("x plus one", kAsyncPurge, nullptr);
    EXPECT_EQ(1u, voice->Release());
    ASSERT_EQ(1u, pt::utterances().size());
    EXPECT_FALSE(pt::utterances()[0].cutOff);
    EXPECT_EQ(0u, voice->Release());
    EXPECT_TRUE(pt::utterances()[0].cutOff);
    EXPECT_FALSE(pt::utterances()[0].playing);
}

TEST_F(Speech, AResetForgetsTheUtterancesOfLiveVoices) {
    plat::SpVoice* voice = plat::CreateSpVoice();
    ASSERT_NE(nullptr, voice);
    voice->Speak("old", kAsyncPurge, nullptr);
    pt::reset();
    EXPECT_TRUE(pt::utterances().empty());
    // The purge must not reach into the cleared record.
    plat::SpVoice* other = plat::CreateSpVoice();
    ASSERT_NE(nullptr, other);
    other->Speak("other", SPF_ASYNC, nullptr);
    voice->Speak("new", kAsyncPurge, nullptr);
    ASSERT_EQ(2u, pt::utterances().size());
    EXPECT_EQ("new", pt::utterances()[1].text);
    EXPECT_FALSE(pt::utterances()[0].cutOff);
    EXPECT_FALSE(pt::utterances()[1].cutOff);
    voice->Release();
    other->Release();
    EXPECT_TRUE(pt::utterances()[0].cutOff);
    EXPECT_TRUE(pt::utterances()[1].cutOff);
}

} // namespace
