#pragma once
// How the settings dialogs keep what the user chose: after OK each command that changed a setting
// asks for the general preference file to be written. The writer lives above the dialogs and is
// installed by start-up; while none is installed (tests of a lone dialog) the settings last for
// the run.

// Writes general.prf (reporting a failure); null: nothing is written.
extern void (*SaveGeneralPrefsHook)();

inline void SaveGeneralPrefsAfterChange() {
    if (SaveGeneralPrefsHook != nullptr)
        SaveGeneralPrefsHook();
}
