// The headless voice: records what would have been spoken, so tests can read it back.

#include "plat/Speech.h"

#include "plat/Files.h"
#include "plat/Testing.h"

#include <vector>

namespace plat::headless {

std::vector<testing::Utterance>& utteranceLog() {
    static std::vector<testing::Utterance> log;
    return log;
}

namespace {

class HeadlessVoice final : public SpVoice {
public:
    HRESULT Speak(const char* text, DWORD flags, ULONG* streamNumber) override {
        if (flags & SPF_PURGEBEFORESPEAK)
            cutOffPlaying();
        if (!text)
            return (flags & SPF_PURGEBEFORESPEAK) ? S_OK : E_FAIL;
        const bool async = (flags & SPF_ASYNC) != 0;
        utteranceLog().push_back({Utf8FromCp1252(text), flags, false, this, async});
        if (streamNumber)
            *streamNumber = ++m_Streams;
        return S_OK;
    }
    ULONG AddRef() override { return ++m_Refs; }
    ULONG Release() override {
        const ULONG left = --m_Refs;
        if (left == 0) {
            cutOffPlaying();
            delete this;
        }
        return left;
    }

private:
    // Marking in the log itself keeps this right when a test clears the log meanwhile.
    void cutOffPlaying() {
        for (testing::Utterance& u : utteranceLog()) {
            if (u.voice == this && u.playing) {
                u.playing = false;
                u.cutOff = true;
            }
        }
    }

    ULONG m_Refs = 1;
    ULONG m_Streams = 0;
};

} // namespace

} // namespace plat::headless

namespace plat {

SpVoice* CreateSpVoice(const char* /*voiceName*/) {
    return new headless::HeadlessVoice;
}

} // namespace plat
