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
    // Absolute paths in program text (the active code page), in the order given.
    std::vector<std::string> files;
    // Every file named, as absolute system paths (UTF-8), in the order given: what a running copy
    // is handed, since it converts names itself and reports those it cannot write.
    std::vector<std::string> systemPaths;
    // The system paths (UTF-8) of the files whose names the code page cannot write.
    std::vector<std::string> outsideCodePage;
    // One line each for unknown switches and unusable file names; the caller reports them.
    std::vector<std::string> warnings;
};

// Parses the words after the program name. `currentFolder` (UTF-8, as the system gives it) makes
// relative file names absolute. A name that cannot be written in the active code page is kept in
// outsideCodePage, with a warning, for the program to report.
CommandLine ParseCommandLine(const std::vector<std::string>& words,
                             const std::string& currentFolder);

// Program text (cp1252) as UTF-8, for messages written to the terminal.
std::string ProgramTextToUtf8(const std::string& text);
