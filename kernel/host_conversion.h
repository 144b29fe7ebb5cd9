#pragma once

// Conversions between the kernel's values (open-mode bits, mode bits, the
// stat record) and the host's.

#include "kernel/kernel_stat.h"

#include <sys/stat.h>

#include <cstdint>

namespace fssh {

struct host_open_flags {
    int flags;         // host O_* bits, ready for the host open
    bool no_traverse;  // a symbolic link in the last component is not followed
};

// Converts kernel open-mode bits: the access modes read, write, read-write
// (and the unused fourth, as read), create, truncate, exclusive, append and
// non-blocking; the two no-follow bits become `no_traverse`, which the layer
// handles itself. Other kernel bits are dropped.
host_open_flags open_flags_to_host(uint32_t open_mode);

// Mode conversions in both directions: FIFO, directory, block device, regular
// file and symbolic link keep their type, every other type becomes 0; the low
// 12 permission bits are kept.
mode_t mode_to_host(uint32_t mode);
uint32_t mode_from_host(mode_t mode);

// Fills the kernel stat record from a host one: device, inode, mode, link
// count, owner, group, size, block size and the times in whole seconds (the
// creation time is the change time). Everything else is 0.
void stat_from_host(const struct stat& host_stat, kernel_stat* stat);

}  // namespace fssh
