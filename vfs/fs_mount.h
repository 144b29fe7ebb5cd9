#pragma once

// Mounting and unmounting volumes in the kernel's name space.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"

#include <cstdint>

namespace fssh {

// fs_mount flag: mount without a device even when one is given.
constexpr uint32_t FSSH_MOUNT_VIRTUAL_DEVICE = 0x2;

// Mounts a volume of the file system `name` (short name such as "wfs", or the
// full module name "file_systems/wfs/v1") at `path`, which must be "/" for the
// first mount and a directory that is not a mount root afterwards. Returns the
// new mount id or a negative status: FSSH_ENODEV for an unknown file system,
// FSSH_NOT_A_DIRECTORY, FSSH_BUSY, or the module's mount failure.
status_code fs_mount(const char* path, const char* device, const char* name, uint32_t flags,
                     const char* arguments);

// Unmounts the volume whose root `path` names (following links). FSSH_BUSY
// while any of its nodes is referenced or busy, FSSH_INVALID_ARGUMENT for a
// path that is not a mount root, FSSH_NOT_FOUND for a path that does not
// resolve. The flags are not used: an unmount is never forced.
status_code vfs_unmount(const char* path, uint32_t flags);

}  // namespace fssh
