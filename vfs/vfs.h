#pragma once

// Bring-up of the virtual file system layer.

#include "kernel/status.h"

namespace fssh {

// Creates the vnode and mount tables and the layer's locks, initialises the
// block cache's notification support (FSSH_ERROR when that fails), then the
// file cache, whose result is returned. Called once, after module_init and
// before the first fs_mount.
status_code vfs_init();

}  // namespace fssh
