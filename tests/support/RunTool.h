#pragma once
// Runs a shell command for a test that checks a file with an outside tool.

#include <cstdio>
#include <string>

namespace kvtest {

// What the command prints (stdout and stderr), and its exit status (-1 when it cannot start).
inline int RunTool(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buf[512];
    while (fgets(buf, sizeof buf, pipe) != nullptr)
        output += buf;
    return pclose(pipe);
}

} // namespace kvtest
