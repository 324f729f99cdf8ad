#pragma once
// What the shell asks of the subsystems above it (documents, customisation, commands, clipboard).
// The shell never includes their headers: each subsystem installs its functions here before
// start-up runs (main does it), and a hook left null means the subsystem is not in this build.
// The shell then does the least harmful thing: no document is opened, no customisation is
// loaded, and a menu command that needs the subsystem shows the not-installed notice.

#include "OverPc/shell/KeyCodes.h"

struct ShellHooks {
    // Opens a document window for `path` (null: a new untitled document) of file type `type`
    // (the type letter of the path's extension, 'e' for a new expression). May Fail.
    void (*openDocumentWindow)(const char* path, char type) = nullptr;
    // Loads the preference files, palettes, key map and macros at start-up.
    void (*loadCustomisation)() = nullptr;
    // Opens the tool windows wanted at start-up, once the documents and the frame are there.
    void (*showStartupTools)() = nullptr;
    // Saves the preferences and asks every window to close. `force` is 1 at shut-down (a window
    // that still refuses is destroyed by the shell afterwards). True when every window closed.
    bool (*savePrefsAndCloseAll)(int force) = nullptr;
    // A termination signal ends the program without questions: writes the preferences and names
    // on stderr each document whose changes are lost.
    void (*endWithoutQuestions)(int signal) = nullptr;
    // Runs a command code of the key map and the menus (code 0 must do nothing).
    void (*doCommand)(int code, int argument) = nullptr;
    // Runs an ad-hoc menu item (Windows menu, character commands); true when `id` was one.
    bool (*runAdHocMenuItem)(int id) = nullptr;
    // Creates the clipboard data object at start-up and flushes and releases it at shut-down.
    void (*createClipboardObject)() = nullptr;
    void (*releaseClipboardObject)() = nullptr;
    // The About box (the About item sends command 15999 to the frame).
    void (*showAboutBox)() = nullptr;
};

// The hooks the shell calls; install before CQVAppStartup.
ShellHooks& AppHooks();
