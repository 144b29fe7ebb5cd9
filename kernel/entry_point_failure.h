#pragma once

// How the fssh_ entry points of the host file layer report a failure: the
// status goes into the kernel errno and the entry point returns -1.

#include "kernel/status.h"

#include <cerrno>

namespace fssh {

inline int fail_entry_point(status_code status)
{
    set_kernel_errno(status);
    return -1;
}

// For a failed host call: its host errno, mapped to a status.
inline int fail_entry_point_with_host_errno()
{
    return fail_entry_point(host_errno_to_status(errno));
}

}  // namespace fssh
