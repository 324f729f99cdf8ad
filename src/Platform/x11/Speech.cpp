// The voice over the speech engine's playback mode. The engine is one per process: it starts with
// the first voice and stops with the release of the last one.

#include "plat/Speech.h"

#include "plat/Files.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#ifdef KV_HAVE_ESPEAK_NG
#include <espeak-ng/speak_lib.h>
#endif

namespace plat {

#ifdef KV_HAVE_ESPEAK_NG

namespace {

int& engineUsers() {
    static int users = 0;
    return users;
}

// Something was handed to the engine since it started or was last cancelled. Cancelling an engine
// that has never been given text can wait for good on its own thread, so that is never done.
bool& engineFed() {
    static bool fed = false;
    return fed;
}

void cancelSpeech() {
    if (engineFed())
        espeak_Cancel();
    engineFed() = false;
}

// The sound libraries under the engine report a missing audio device on standard error, a page of
// it, though the program simply goes on without a voice. While the device is looked for, their
// output goes nowhere.
class StderrMuted {
public:
    StderrMuted() {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && null >= 0)
            dup2(null, STDERR_FILENO);
        if (null >= 0)
            close(null);
    }
    ~StderrMuted() {
        std::fflush(stderr);
        if (m_saved >= 0) {
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
        }
    }
    StderrMuted(const StderrMuted&) = delete;
    StderrMuted& operator=(const StderrMuted&) = delete;

private:
    int m_saved = -1;
};

// The playback mode starts even without an audio device and then fails silently on its own
// thread, so the device is tried first in the synchronous mode, where a failure is returned:
// speaking a blank fails at once without one and plays nothing audible with one.
bool audioWorks() {
    if (espeak_Initialize(AUDIO_OUTPUT_SYNCH_PLAYBACK, 0, nullptr, 0) <= 0)
        return false;
    const bool works =
        espeak_Synth(" ", 2, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr) == EE_OK;
    espeak_Terminate();
    return works;
}

class EngineVoice final : public SpVoice {
public:
    HRESULT Speak(const char* text, DWORD flags, ULONG* streamNumber) override {
        if (flags & SPF_PURGEBEFORESPEAK)
            cancelSpeech();
        if (!text)
            return (flags & SPF_PURGEBEFORESPEAK) ? S_OK : E_FAIL;
        // SPF_IS_FILENAME is not offered: only text is spoken.
        if (flags & SPF_IS_FILENAME)
            return E_FAIL;
        const std::string utf8 = Utf8FromCp1252(text);
        unsigned engineFlags = espeakCHARS_UTF8;
        if (flags & SPF_IS_XML)
            engineFlags |= espeakSSML;
        unsigned id = 0;
        engineFed() = true;
        if (espeak_Synth(utf8.c_str(), utf8.size() + 1, 0, POS_CHARACTER, 0, engineFlags, &id,
                         nullptr) != EE_OK)
            return E_FAIL;
        if (!(flags & SPF_ASYNC))
            espeak_Synchronize();
        if (streamNumber)
            *streamNumber = id;
        return S_OK;
    }
    ULONG AddRef() override { return ++m_Refs; }
    ULONG Release() override {
        const ULONG left = --m_Refs;
        if (left == 0) {
            if (--engineUsers() == 0) {
                cancelSpeech();
                espeak_Terminate();
            }
            delete this;
        }
        return left;
    }

private:
    ULONG m_Refs = 1;
};

} // namespace

SpVoice* CreateSpVoice(const char* voiceName) {
    if (engineUsers() == 0) {
        StderrMuted quiet;
        if (!audioWorks())
            return nullptr;
        if (espeak_Initialize(AUDIO_OUTPUT_PLAYBACK, 0, nullptr, 0) <= 0)
            return nullptr;
        if (espeak_SetVoiceByName(voiceName && *voiceName ? voiceName : "en") != EE_OK) {
            espeak_Terminate();
            return nullptr;
        }
    } else if (voiceName && *voiceName && espeak_SetVoiceByName(voiceName) != EE_OK) {
        return nullptr;
    }
    ++engineUsers();
    return new EngineVoice;
}

#else

// Built without the speech engine: no voice, as on a system without one.
SpVoice* CreateSpVoice(const char* /*voiceName*/) {
    return nullptr;
}

#endif

} // namespace plat
