#include "vfs/vfs.h"

#include "block_cache/block_cache.h"
#include "vfs/file_cache.h"
#include "vfs/mount.h"
#include "vfs/vnode.h"

namespace fssh {

status_code vfs_init()
{
    vnode_table_init();
    mount_table_init();
    if (block_cache_init() != FSSH_OK)
        return FSSH_ERROR;
    return file_cache_init();
}

}  // namespace fssh
