#include "vfs/vfs.h"

#include "vfs/mount.h"
#include "vfs/vnode.h"

namespace fssh {

status_code vfs_init()
{
    vnode_table_init();
    mount_table_init();
    return FSSH_OK;
}

}  // namespace fssh
