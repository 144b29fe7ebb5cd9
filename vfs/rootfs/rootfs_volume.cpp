#include "vfs/rootfs/rootfs_volume.h"

#include "vfs/rootfs/rootfs_hook_tables.h"
#include "vfs/rootfs/rootfs_node.h"
#include "vfs/vnode_services.h"

#include <new>

namespace fssh {

namespace {

constexpr uint32_t ROOT_MODE = FSSH_S_IFDIR | 0755;

// Frees every node, the table, the lock and the volume object.
void free_volume(rootfs_volume* fs)
{
    while (rootfs_node* node = rootfs_node_table_take_any(&fs->nodes))
        rootfs_node_free(node);
    rootfs_node_table_destroy(&fs->nodes);
    rw_lock_destroy(&fs->lock);
    delete fs;
}

// The volume object with its table and root directory, or FSSH_NO_MEMORY.
status_code create_volume(fs_volume* volume, rootfs_volume** out)
{
    rootfs_volume* fs = new (std::nothrow) rootfs_volume{};
    if (fs == nullptr)
        return FSSH_NO_MEMORY;
    fs->volume = volume;
    fs->id = volume->id;
    rw_lock_init(&fs->lock, "rootfs");
    fs->next_id = ROOTFS_ROOT_ID;
    status_code status = rootfs_node_table_init(&fs->nodes, ROOTFS_INITIAL_BUCKETS);
    if (status == FSSH_OK)
        status = rootfs_node_create(fs->next_id++, ".", ROOT_MODE, nullptr, nullptr, &fs->root);
    if (status != FSSH_OK) {
        free_volume(fs);
        return status;
    }
    fs->root->parent = fs->root;
    rootfs_node_table_insert(&fs->nodes, fs->root);
    *out = fs;
    return FSSH_OK;
}

}  // namespace

status_code rootfs_mount(fs_volume* volume, const char*, uint32_t, const char*, ino_t* root_id)
{
    rootfs_volume* fs;
    status_code status = create_volume(volume, &fs);
    if (status != FSSH_OK)
        return status;
    volume->private_volume = fs;
    volume->ops = rootfs_volume_ops();
    status = publish_vnode(volume, fs->root->id, fs->root, rootfs_vnode_ops(),
                           fs->root->mode & FSSH_S_IFMT, 0);
    if (status != FSSH_OK) {
        volume->private_volume = nullptr;
        volume->ops = nullptr;
        free_volume(fs);
        return status;
    }
    *root_id = fs->root->id;
    return FSSH_OK;
}

status_code rootfs_unmount(fs_volume* volume)
{
    rootfs_volume* fs = rootfs_volume_of(volume);
    // The layer has normally dropped the root already; then this only reports
    // an unknown node.
    put_vnode(volume, fs->root->id);
    free_volume(fs);
    volume->private_volume = nullptr;
    return FSSH_OK;
}

status_code rootfs_sync(fs_volume*)
{
    return FSSH_OK;
}

status_code rootfs_get_vnode(fs_volume* volume, ino_t id, fs_vnode* vnode, uint32_t* type,
                             uint32_t* flags, bool reenter)
{
    rootfs_volume* fs = rootfs_volume_of(volume);
    RootfsReadLocker locker(fs, reenter);
    rootfs_node* node = rootfs_node_table_find(&fs->nodes, id);
    if (node == nullptr)
        return FSSH_NOT_FOUND;
    vnode->private_node = node;
    vnode->ops = rootfs_vnode_ops();
    *type = node->mode & FSSH_S_IFMT;
    *flags = 0;
    return FSSH_OK;
}

}  // namespace fssh
