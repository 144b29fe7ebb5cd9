#pragma once

// Moving and renaming entries of the root file system.

#include "kernel/status.h"
#include "vfs/fs_interface.h"

namespace fssh {

// Moves the entry `from_name` of `from_directory` to `to_name` in
// `to_directory`, replacing an existing entry there unless it is a directory
// with entries (FSSH_DUPLICATE_NAME). FSSH_NOT_PERMITTED for "boot" in the
// root directory; FSSH_INVALID_ARGUMENT for moving a directory into itself or
// below itself, and for a new name of "." or "..". Renaming an entry onto
// itself changes nothing.
status_code rootfs_rename(fs_volume* volume, fs_vnode* from_directory, const char* from_name,
                          fs_vnode* to_directory, const char* to_name);

}  // namespace fssh
