#pragma once
// While it lives, the test's thread is held to the file permissions as any user is, even when it
// runs as root (which may write into a read-only folder): the capabilities that override them are
// dropped from its effective set and given back at the end.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kvtest {

class HeldToPermissions {
public:
    HeldToPermissions() {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            lowered[cap / 32].effective &= ~(1u << (cap % 32));
        m_dropped = ::syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~HeldToPermissions() {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    HeldToPermissions(const HeldToPermissions&) = delete;
    HeldToPermissions& operator=(const HeldToPermissions&) = delete;

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};

} // namespace kvtest
