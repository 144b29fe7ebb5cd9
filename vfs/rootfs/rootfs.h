#pragma once

// The root file system: an in-memory file system of directories and symbolic
// links that is mounted first, at "/". Its contents vanish at exit.

#include "vfs/fs_interface.h"

namespace fssh {

// The module record ("file_systems/rootfs/v1", short name "rootfs") to
// register with the module registry before the first fs_mount.
fs_module_info* rootfs_module();

}  // namespace fssh
