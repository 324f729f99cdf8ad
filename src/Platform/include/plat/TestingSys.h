#pragma once
// Test hooks of the files, settings, shell and signal services.

#include <string>
#include <vector>

namespace plat::testing {

// ShellExecuteEx records each request ("open <path>") instead of starting xdg-open when the back
// end is headless; this overrides that choice either way.
void recordShellOpens(bool on);
// The requests recorded since the last clear, oldest first.
std::vector<std::string> recordedShellOpens();
void clearRecordedShellOpens();

// Makes GetModuleFileName answer `path` (program form); "" restores the real answer.
void setModuleFileName(const std::string& path);

// The settings store's file as it is found now (KV_REGISTRY_DIR, XDG_CONFIG_HOME, HOME).
std::string registryFilePath();
// The last diagnostic about an unreadable store, or "".
std::string lastRegistryDiagnostic();
// How many times the settings file has been parsed since the program started.
unsigned registryParseCount();
// Forgets the parsed settings file, so the next call reads it whatever its time stamps say.
void forgetRegistryCache();

// Stops the grace timers of a noted termination signal: a test that serves the signal itself is
// never ended by them, however slow the machine.
void stopTerminationGrace();

} // namespace plat::testing
