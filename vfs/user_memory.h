#pragma once

// Copies between a caller's buffer and the kernel. Caller and kernel share one
// address space here, so this is a checked memcpy.

#include "kernel/status.h"

#include <cstddef>

namespace fssh {

// FSSH_BAD_ADDRESS when either pointer is null and size is not 0.
status_code user_memcpy(void* to, const void* from, size_t size);

}  // namespace fssh
