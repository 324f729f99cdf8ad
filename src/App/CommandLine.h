#pragma once
// The command line: switches and the files to open.
//
// A word starting with "-" or "--" is a switch. Because paths on this system start with "/", a
// word starting with "/" is a switch only when the rest is one of the known switch names;
// otherwise it is a path. "--" ends the switches. Switch names compare without regard to case.

#include <string>
#include <vector>

enum class RegistrationRequest { None, Register, Unregister };

struct CommandLine {
    bool noSplash = false;
    bool embedding = false;
    // register and unregister together: the last one given wins.
    RegistrationRequest registration = RegistrationRequest::None;
    // Absolute paths in program text (cp1252), in the order given.
    std::vector<std::string> files;
    // One line each for unknown switches and unusable file names; the caller reports them.
    std::vector<std::string> warnings;
};

// Parses the words after the program name. `currentFolder` (UTF-8, as the system gives it) makes
// relative file names absolute. A name that cannot be written in cp1252 is skipped with a warning.
CommandLine ParseCommandLine(const std::vector<std::string>& words,
                             const std::string& currentFolder);

// Program text (cp1252) as UTF-8, for messages written to the terminal.
std::string ProgramTextToUtf8(const std::string& text);
