#pragma once

// How the FUSE operations turn a kernel status code into FUSE's convention:
// 0 for success, a negative host errno for a failure.

#include "kernel/status.h"

namespace wfsmount {

// 0 for FSSH_OK and for positive results; for an error the negated host errno
// of its status_to_host_errno mapping. Codes without a host counterpart get
// the errno of the table in fuse_error.cpp, so the result is always a valid
// negative errno that libfuse accepts.
int fuse_error(fssh::status_code status);

}  // namespace wfsmount
