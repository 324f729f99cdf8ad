#pragma once
// What a child process wrote into a pipe, for tests that check what a program says on stderr.

#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace kvtest {

// All the bytes read from `fd` until every writer has closed it; `fd` is closed after.
inline std::string ReadUntilClosed(int fd) {
    std::string text;
    char buf[512];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

} // namespace kvtest
