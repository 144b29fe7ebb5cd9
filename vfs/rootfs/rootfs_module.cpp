#include "vfs/rootfs/rootfs.h"

#include "kernel/module.h"

#include "vfs/rootfs/rootfs_dir_cookie.h"
#include "vfs/rootfs/rootfs_entry_hooks.h"
#include "vfs/rootfs/rootfs_hook_tables.h"
#include "vfs/rootfs/rootfs_node_hooks.h"
#include "vfs/rootfs/rootfs_rename.h"
#include "vfs/rootfs/rootfs_volume.h"

namespace fssh {

namespace {

// The volume hooks; every slot not named stays empty.
volume_ops make_volume_hooks()
{
    volume_ops hooks{};
    hooks.unmount = rootfs_unmount;
    hooks.sync = rootfs_sync;
    hooks.get_vnode = rootfs_get_vnode;
    return hooks;
}

// The vnode hooks; one function serves close, close_dir and free_cookie.
vnode_ops make_vnode_hooks()
{
    vnode_ops hooks{};
    hooks.lookup = rootfs_lookup;
    hooks.get_vnode_name = rootfs_get_vnode_name;
    hooks.put_vnode = rootfs_put_vnode;
    hooks.remove_vnode = rootfs_remove_vnode;
    hooks.read_pages = rootfs_read_pages;
    hooks.write_pages = rootfs_write_pages;
    hooks.ioctl = rootfs_ioctl;
    hooks.fsync = rootfs_fsync;
    hooks.read_symlink = rootfs_read_symlink;
    hooks.create_symlink = rootfs_create_symlink;
    hooks.unlink = rootfs_unlink;
    hooks.rename = rootfs_rename;
    hooks.read_stat = rootfs_read_stat;
    hooks.write_stat = rootfs_write_stat;
    hooks.create = rootfs_create;
    hooks.open = rootfs_open;
    hooks.close = rootfs_close;
    hooks.free_cookie = rootfs_close;
    hooks.read = rootfs_read;
    hooks.write = rootfs_write;
    hooks.create_dir = rootfs_create_dir;
    hooks.remove_dir = rootfs_remove_dir;
    hooks.open_dir = rootfs_open_dir;
    hooks.close_dir = rootfs_close;
    hooks.free_dir_cookie = rootfs_free_dir_cookie;
    hooks.read_dir = rootfs_read_dir;
    hooks.rewind_dir = rootfs_rewind_dir;
    hooks.make_node = rootfs_make_node;
    return hooks;
}

fs_module_info make_module_record()
{
    fs_module_info record{};
    record.info = {"file_systems/rootfs/v1", 0, module_std_ops_without_state};
    record.short_name = "rootfs";
    record.pretty_name = "Root File System";
    record.flags = 0;
    record.mount = rootfs_mount;
    return record;
}

}  // namespace

volume_ops* rootfs_volume_ops()
{
    static volume_ops hooks = make_volume_hooks();
    return &hooks;
}

vnode_ops* rootfs_vnode_ops()
{
    static vnode_ops hooks = make_vnode_hooks();
    return &hooks;
}

fs_module_info* rootfs_module()
{
    static fs_module_info record = make_module_record();
    return &record;
}

}  // namespace fssh
