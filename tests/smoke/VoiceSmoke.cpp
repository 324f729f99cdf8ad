// Makes and releases the speech voice as start-up and shut-down do. Run by a script that checks
// that nothing reaches standard error, whether or not the machine has an audio device.

#include "plat/Speech.h"

#include <cstdio>

int main() {
    if (plat::SpVoice* voice = plat::CreateSpVoice(nullptr)) {
        voice->Release();
        std::printf("voice\n");
    } else {
        std::printf("no voice\n");
    }
    return 0;
}
