#pragma once
// The folders and the page program of a crash-report test: a fresh desktop and temporary folder,
// and a page program that records its arguments, one a line, then ends with a chosen status.

#include "plat/Crash.h"
#include "platform/SysTempDir.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace kvtest {

class CrashFolders {
protected:
    void makeCrashFolders(int pageStatus) {
        std::filesystem::create_directories(m_desktop);
        std::filesystem::create_directories(m_temp);
        WriteFileBytes(m_program, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + m_args +
                                      "'\nexit " + std::to_string(pageStatus) + "\n");
        ::chmod(m_program.c_str(), 0755);
    }
    // The arguments the page program was run with.
    std::vector<std::string> args() const {
        std::istringstream in(ReadFileBytes(m_args));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    // Dumps to the desktop, reports to the temporary folder, the page program; no log.
    plat::CrashSetup setup() const {
        plat::CrashSetup s;
        s.dumpFolder = m_desktop;
        s.reportFolder = m_temp;
        s.program = m_program;
        return s;
    }

    SysTempDir m_dir;
    std::string m_desktop = m_dir / "Desktop";
    std::string m_temp = m_dir / "tmp";
    std::string m_program = m_dir / "page.sh";
    std::string m_args = m_dir / "args";
};

} // namespace kvtest
