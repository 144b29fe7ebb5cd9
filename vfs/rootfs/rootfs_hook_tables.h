#pragma once

// The root file system's hook tables, for the hooks that hand nodes to the
// layer.

#include "vfs/fs_interface.h"

namespace fssh {

volume_ops* rootfs_volume_ops();
vnode_ops* rootfs_vnode_ops();

}  // namespace fssh
