#pragma once
// Start-up and shut-down of the application.

#include <string>
#include <vector>

class SingleInstance;

struct StartupOutcome {
    // True when the message loop is to run; otherwise the program ends with exitStatus
    // (0 after a hand-off to a running copy or a successful registration, 1 on failure).
    bool runLoop = false;
    int exitStatus = 0;
};

// Starts the program with the words of its command line (without the program name): resources,
// the resource library named in the settings (value KVERES), paths, command line, hand-off to a
// running copy, error system, window classes and the tick, string cache, graphics and fonts,
// menu bar, key names, then the subsystems' customisation and documents through the hooks.
// With `endOnSignals` the termination handler (InstallTerminationHandler) is installed once the
// preferences are read, before the documents are opened and anything is asked: a signal during the
// start-up's boxes ends the program as it ends it later.
StartupOutcome CQVAppStartup(const std::vector<std::string>& words, bool endOnSignals = false);
// Undoes start-up in reverse order (safe after a partial start-up and when called twice).
void CQVAppShutdown();

// The whole program: start-up, the loop, shut-down. The exit status is 0 after a clean run.
int AppMain(int argc, char** argv);

// The single-instance link of this run (null before start-up or when it was not made).
SingleInstance* AppSingleInstance();
// The socket the next start-up uses ("" = the session's default); tests point it elsewhere.
void SetSingleInstanceSocket(const std::string& path);
