#pragma once

// Copies the kernel's stat record into the host stat record libfuse hands in.

#include "kernel/kernel_stat.h"

#include <sys/stat.h>

namespace wfsmount {

// Sets device, id, mode (low 16 bits), link count, owner, group, device
// number, size, block size (low 32 bits), block count and the seconds of the
// access, modification and change times. Every other field, the nanoseconds
// of the times included, keeps what the caller put there.
void convert_stat(const fssh::kernel_stat& from, struct stat* to);

}  // namespace wfsmount
