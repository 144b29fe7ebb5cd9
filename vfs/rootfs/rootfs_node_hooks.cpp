#include "vfs/rootfs/rootfs_node_hooks.h"

#include "kernel/clock.h"
#include "kernel/debug.h"
#include "kernel/open_mode.h"
#include "vfs/announcements.h"
#include "vfs/permissions.h"
#include "vfs/rootfs/rootfs_node.h"
#include "vfs/rootfs/rootfs_volume.h"
#include "vfs/write_stat_mask.h"

namespace fssh {

namespace {

constexpr int32_t PREFERRED_IO_SIZE = 65536;
constexpr uint32_t PERMISSION_BITS = 07777;

}  // namespace

status_code rootfs_put_vnode(fs_volume*, fs_vnode*, bool)
{
    return FSSH_OK;
}

status_code rootfs_remove_vnode(fs_volume* volume, fs_vnode* vnode, bool reenter)
{
    rootfs_volume* fs = rootfs_volume_of(volume);
    RootfsWriteLocker locker(fs, reenter);
    rootfs_node* node = rootfs_node_of(vnode);
    if (node->next_sibling != nullptr || rootfs_is_linked(node))
        panic("rootfs_remove_vnode: vnode %p asked to be removed is present in dir\n", vnode);
    if (node->first_child != nullptr)
        return FSSH_OK;
    rootfs_node_table_remove(&fs->nodes, node);
    rootfs_node_free(node);
    return FSSH_OK;
}

status_code rootfs_read_pages(fs_volume*, fs_vnode*, void*, off_t, const iovec*, size_t, size_t*)
{
    return FSSH_NOT_PERMITTED;
}

status_code rootfs_write_pages(fs_volume*, fs_vnode*, void*, off_t, const iovec*, size_t,
                               size_t*)
{
    return FSSH_NOT_PERMITTED;
}

status_code rootfs_ioctl(fs_volume*, fs_vnode*, void*, uint32_t, void*, size_t)
{
    return FSSH_INVALID_ARGUMENT;
}

status_code rootfs_fsync(fs_volume*, fs_vnode*)
{
    return FSSH_OK;
}

status_code rootfs_read_stat(fs_volume* volume, fs_vnode* vnode, kernel_stat* stat)
{
    rootfs_volume* fs = rootfs_volume_of(volume);
    RootfsReadLocker locker(fs, false);
    const rootfs_node* node = rootfs_node_of(vnode);
    stat->st_dev = fs->id;
    stat->st_ino = node->id;
    stat->st_mode = node->mode;
    stat->st_nlink = 1;
    stat->st_uid = node->user_id;
    stat->st_gid = node->group_id;
    stat->st_size = rootfs_node_is_symlink(node) ? static_cast<off_t>(node->link_length) : 0;
    stat->st_rdev = 0;
    stat->st_blksize = PREFERRED_IO_SIZE;
    stat->st_atim = kernel_timespec{wall_clock_secs(), 0};
    stat->st_mtim = node->modification_time;
    stat->st_ctim = node->modification_time;
    stat->st_crtim = node->creation_time;
    stat->st_type = 0;
    stat->st_blocks = 0;
    return FSSH_OK;
}

status_code rootfs_write_stat(fs_volume* volume, fs_vnode* vnode, const kernel_stat* stat,
                              uint32_t mask)
{
    if ((mask & FSSH_STAT_SIZE) != 0)
        return FSSH_INVALID_ARGUMENT;
    rootfs_volume* fs = rootfs_volume_of(volume);
    RootfsWriteLocker locker(fs, false);
    rootfs_node* node = rootfs_node_of(vnode);
    uint32_t user_id = get_current_user_id();
    bool is_owner = user_id == 0 || user_id == node->user_id;

    if ((mask & FSSH_STAT_MODE) != 0) {
        if (!is_owner)
            return FSSH_NOT_PERMITTED;
        node->mode = (node->mode & ~PERMISSION_BITS) | (stat->st_mode & PERMISSION_BITS);
    }
    if ((mask & FSSH_STAT_UID) != 0) {
        if (user_id != 0)
            return FSSH_NOT_PERMITTED;
        node->user_id = stat->st_uid;
    }
    if ((mask & FSSH_STAT_GID) != 0) {
        if (!is_owner)
            return FSSH_NOT_PERMITTED;
        node->group_id = stat->st_gid;
    }
    if ((mask & (FSSH_STAT_MODIFICATION_TIME | FSSH_STAT_CREATION_TIME)) != 0) {
        if (!is_owner && rootfs_check_access(node, FSSH_W_OK) != FSSH_OK)
            return FSSH_NOT_PERMITTED;
        if ((mask & FSSH_STAT_MODIFICATION_TIME) != 0)
            node->modification_time = stat->st_mtim;
        if ((mask & FSSH_STAT_CREATION_TIME) != 0)
            node->creation_time = stat->st_crtim;
    }
    announce_stat_changed(fs->id, node->id, mask);
    return FSSH_OK;
}

status_code rootfs_create(fs_volume*, fs_vnode*, const char*, uint32_t, uint32_t, void**, ino_t*)
{
    return FSSH_INVALID_ARGUMENT;
}

status_code rootfs_open(fs_volume*, fs_vnode* vnode, uint32_t open_mode, void** cookie)
{
    const rootfs_node* node = rootfs_node_of(vnode);
    uint32_t access = open_mode & FSSH_O_RWMASK;
    if (rootfs_node_is_directory(node) && access != FSSH_O_RDONLY)
        return FSSH_IS_A_DIRECTORY;
    if ((open_mode & FSSH_O_DIRECTORY) != 0 && !rootfs_node_is_directory(node))
        return FSSH_NOT_A_DIRECTORY;
    // Access modes 0, 1 and 2 need read, write and both; the undefined mode 3
    // is taken as both.
    static constexpr uint32_t needed[] = {FSSH_R_OK, FSSH_W_OK, FSSH_R_OK | FSSH_W_OK,
                                          FSSH_R_OK | FSSH_W_OK};
    status_code status = rootfs_check_access(node, needed[access]);
    if (status != FSSH_OK)
        return status;
    *cookie = nullptr;
    return FSSH_OK;
}

status_code rootfs_close(fs_volume*, fs_vnode*, void*)
{
    return FSSH_OK;
}

status_code rootfs_read(fs_volume*, fs_vnode*, void*, off_t, void*, size_t*)
{
    return FSSH_INVALID_ARGUMENT;
}

status_code rootfs_write(fs_volume*, fs_vnode*, void*, off_t, const void*, size_t*)
{
    return FSSH_NOT_PERMITTED;
}

}  // namespace fssh
