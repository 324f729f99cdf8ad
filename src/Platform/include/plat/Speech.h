#pragma once
// The speech voice: the one object the class factory knows. Text is in the program's code page
// (cp1252); the back end converts it at its edge.

#include "plat/Shell.h"
#include "plat/Types.h"

namespace plat {

// Flags of SpVoice::Speak, with the values the program has always passed.
inline constexpr DWORD SPF_DEFAULT = 0;
inline constexpr DWORD SPF_ASYNC = 1;
inline constexpr DWORD SPF_PURGEBEFORESPEAK = 2;
inline constexpr DWORD SPF_IS_FILENAME = 4;
inline constexpr DWORD SPF_IS_XML = 8;
inline constexpr DWORD SPF_IS_NOT_XML = 16;

class SpVoice {
public:
    // Speaks `text` (cp1252, nul-terminated). SPF_ASYNC returns at once; otherwise the call returns
    // when the text has been spoken. SPF_PURGEBEFORESPEAK first cancels what is still playing or
    // queued. A null text with SPF_PURGEBEFORESPEAK only cancels. `streamNumber` may be null.
    virtual HRESULT Speak(const char* text, DWORD flags, ULONG* streamNumber) = 0;
    virtual ULONG AddRef() = 0;
    // Drops one reference; the last one stops the speech and frees the voice. Returns the count
    // left.
    virtual ULONG Release() = 0;

protected:
    virtual ~SpVoice() = default;
};

// Creates a voice with one reference, or null when speech cannot start (no speech engine, no audio
// device, unknown voice). `voiceName` null means the default voice ("en").
SpVoice* CreateSpVoice(const char* voiceName = nullptr);

} // namespace plat
