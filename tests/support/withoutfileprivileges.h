#pragma once

// The tests run as root, whom file modes do not stop. An object of this class
// takes from the calling thread, for its lifetime, the capabilities that let
// root write and chmod any file (from its effective set only, so that they
// come back at the end): a file or folder without write permission then
// refuses the thread, and every thread it starts meanwhile, as it refuses an
// ordinary user. Reading and searching stay allowed, so that a test's
// database server, whose folder belongs to another user, is still reached.
// Files the test made stay its own, so it may still chmod them.

#include <cstring>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class WithoutFilePrivileges
{
public:
    WithoutFilePrivileges()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (::syscall(SYS_capget, &header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, m_saved, sizeof reduced);
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_FOWNER})
            reduced[capability / 32].effective &= ~(1U << (capability % 32));
        m_dropped = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~WithoutFilePrivileges()
    {
        if (!m_dropped)
            return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        ::syscall(SYS_capset, &header, m_saved);
    }
    WithoutFilePrivileges(const WithoutFilePrivileges &) = delete;
    WithoutFilePrivileges &operator=(const WithoutFilePrivileges &) = delete;

    bool isValid() const { return m_dropped; }

private:
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};
