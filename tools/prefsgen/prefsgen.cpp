// Writes the preference files of a fresh preferences folder (general.prf, keys.prf, function.txt)
// from the program's default tables, so that the shipped files always say what the program would
// use without them. Usage: prefsgen <folder>

#include "OverPc/PERROR.h"
#include "OverPc/commands/kPrefs.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: prefsgen <folder>\n", stderr);
        return 2;
    }
    const int code = CatchFail([&] { WriteDefaultPrefsFolder(argv[1]); });
    if (code != 0) {
        std::fprintf(stderr, "prefsgen: cannot write the preference files into %s (error %d)\n",
                     argv[1], code);
        return 1;
    }
    return 0;
}
