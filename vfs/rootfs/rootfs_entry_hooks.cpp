#include "vfs/rootfs/rootfs_entry_hooks.h"

#include "vfs/announcements.h"
#include "vfs/permissions.h"
#include "vfs/rootfs/rootfs_entries.h"
#include "vfs/rootfs/rootfs_hook_tables.h"
#include "vfs/rootfs/rootfs_node.h"
#include "vfs/rootfs/rootfs_volume.h"
#include "vfs/vnode_services.h"

#include <algorithm>
#include <cstring>

namespace fssh {

namespace {

constexpr uint32_t PERMISSION_BITS = 07777;

// Creates the entry `name` of mode `mode` in the directory behind `vnode`.
status_code create_entry(fs_volume* volume, fs_vnode* vnode, const char* name, uint32_t mode,
                         const char* link_target)
{
    rootfs_volume* fs = rootfs_volume_of(volume);
    rootfs_node* directory = rootfs_node_of(vnode);
    status_code status = rootfs_check_writable_directory(directory);
    if (status != FSSH_OK)
        return status;
    RootfsWriteLocker locker(fs, false);
    rootfs_node* node;
    status = rootfs_add_node_locked(fs, directory, name, mode, link_target, &node);
    if (status != FSSH_OK)
        return status;
    name_cache_add(fs->id, directory->id, name, node->id);
    announce_entry_created(fs->id, directory->id, name, node->id);
    return FSSH_OK;
}

enum class removal_kind { directory, non_directory };

status_code remove_entry(fs_volume* volume, fs_vnode* vnode, const char* name,
                         removal_kind kind)
{
    rootfs_volume* fs = rootfs_volume_of(volume);
    rootfs_node* directory = rootfs_node_of(vnode);
    status_code status = rootfs_check_writable_directory(directory);
    if (status != FSSH_OK)
        return status;
    RootfsWriteLocker locker(fs, false);
    rootfs_node* entry = rootfs_find_entry(directory, name);
    if (entry == nullptr)
        return FSSH_NOT_FOUND;
    if (kind == removal_kind::directory) {
        if (!rootfs_node_is_directory(entry))
            return FSSH_NOT_A_DIRECTORY;
        if (entry->first_child != nullptr)
            return FSSH_DIRECTORY_NOT_EMPTY;
        // "." and ".." are no entries of the directory: removing them would
        // free a node that is still linked elsewhere (or the root itself).
        if (entry == directory || entry == directory->parent)
            return FSSH_INVALID_ARGUMENT;
    } else if (rootfs_node_is_directory(entry)) {
        return FSSH_IS_A_DIRECTORY;
    }
    return rootfs_remove_entry_locked(fs, directory, entry);
}

}  // namespace

status_code rootfs_lookup(fs_volume* volume, fs_vnode* vnode, const char* name, ino_t* id)
{
    rootfs_volume* fs = rootfs_volume_of(volume);
    rootfs_node* directory = rootfs_node_of(vnode);
    if (!rootfs_node_is_directory(directory))
        return FSSH_NOT_A_DIRECTORY;
    status_code status = rootfs_check_access(directory, FSSH_X_OK);
    if (status != FSSH_OK)
        return status;
    RootfsReadLocker locker(fs, false);
    rootfs_node* entry = rootfs_find_entry(directory, name);
    if (entry == nullptr)
        return FSSH_NOT_FOUND;
    void* private_node;
    status = get_vnode(volume, entry->id, &private_node);
    if (status != FSSH_OK)
        return status;
    name_cache_add(fs->id, directory->id, name, entry->id);
    *id = entry->id;
    return FSSH_OK;
}

status_code rootfs_get_vnode_name(fs_volume*, fs_vnode* vnode, char* buffer, size_t size)
{
    if (size == 0)
        return FSSH_OK;
    const char* name = rootfs_node_of(vnode)->name;
    size_t length = std::min(strlen(name), size - 1);
    memcpy(buffer, name, length);
    buffer[length] = '\0';
    return FSSH_OK;
}

status_code rootfs_read_symlink(fs_volume* volume, fs_vnode* vnode, char* buffer, size_t* size)
{
    RootfsReadLocker locker(rootfs_volume_of(volume), false);
    rootfs_node* link = rootfs_node_of(vnode);
    if (!rootfs_node_is_symlink(link))
        return FSSH_INVALID_ARGUMENT;
    memcpy(buffer, link->link_target, std::min(*size, link->link_length));
    *size = link->link_length;
    return FSSH_OK;
}

status_code rootfs_create_symlink(fs_volume* volume, fs_vnode* directory, const char* name,
                                  const char* target, uint32_t mode)
{
    if (target == nullptr)
        return FSSH_INVALID_ARGUMENT;
    return create_entry(volume, directory, name, FSSH_S_IFLNK | (mode & PERMISSION_BITS),
                        target);
}

status_code rootfs_create_dir(fs_volume* volume, fs_vnode* directory, const char* name,
                              uint32_t permissions)
{
    return create_entry(volume, directory, name, FSSH_S_IFDIR | (permissions & PERMISSION_BITS),
                        nullptr);
}

status_code rootfs_unlink(fs_volume* volume, fs_vnode* directory, const char* name)
{
    return remove_entry(volume, directory, name, removal_kind::non_directory);
}

status_code rootfs_remove_dir(fs_volume* volume, fs_vnode* directory, const char* name)
{
    return remove_entry(volume, directory, name, removal_kind::directory);
}

status_code rootfs_make_node(fs_volume* volume, fs_vnode* directory, const char* name,
                             fs_vnode* sub_vnode, uint32_t mode, uint32_t flags,
                             fs_vnode* super_vnode, ino_t* new_id)
{
    rootfs_volume* fs = rootfs_volume_of(volume);
    rootfs_node* parent = rootfs_node_of(directory);
    RootfsWriteLocker locker(fs, false);
    rootfs_node* node;
    status_code status = rootfs_add_node_locked(fs, parent, name, mode, nullptr, &node);
    if (status != FSSH_OK)
        return status;
    if (name == nullptr)
        flags |= 1;
    fs_vnode published{node, rootfs_vnode_ops()};
    if (sub_vnode != nullptr) {
        published = *sub_vnode;
    } else if (super_vnode != nullptr) {
        *super_vnode = published;
    }
    status = publish_vnode(volume, node->id, published.private_node, published.ops,
                           mode & FSSH_S_IFMT, flags);
    if (status != FSSH_OK) {
        rootfs_discard_node_locked(fs, node);
        return status;
    }
    if (name != nullptr) {
        name_cache_add(fs->id, parent->id, name, node->id);
        announce_entry_created(fs->id, parent->id, name, node->id);
    }
    *new_id = node->id;
    return FSSH_OK;
}

}  // namespace fssh
