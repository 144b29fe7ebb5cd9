#include "vfs/rootfs/rootfs_entries.h"

#include "vfs/announcements.h"
#include "vfs/rootfs/rootfs_node.h"
#include "vfs/rootfs/rootfs_volume.h"
#include "vfs/vnode_services.h"

#include <cstring>

namespace fssh {

namespace {

bool names_an_entry(rootfs_node* directory, const char* name)
{
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0
        || rootfs_find_child(directory, name) != nullptr;
}

}  // namespace

status_code rootfs_add_node_locked(rootfs_volume* fs, rootfs_node* directory, const char* name,
                                   uint32_t mode, const char* link_target, rootfs_node** out)
{
    if (name != nullptr) {
        if (!rootfs_node_is_directory(directory))
            return FSSH_NOT_A_DIRECTORY;
        if (names_an_entry(directory, name))
            return FSSH_FILE_EXISTS;
    }
    rootfs_node* node;
    status_code status =
        rootfs_node_create(fs->next_id++, name, mode, directory, link_target, &node);
    if (status != FSSH_OK)
        return status;
    status = rootfs_node_table_insert(&fs->nodes, node);
    if (status != FSSH_OK) {
        rootfs_node_free(node);
        return status;
    }
    if (name != nullptr)
        rootfs_insert_child(fs->id, directory, node);
    *out = node;
    return FSSH_OK;
}

void rootfs_discard_node_locked(rootfs_volume* fs, rootfs_node* node)
{
    if (rootfs_is_linked(node))
        rootfs_remove_child(fs->id, node->parent, node);
    rootfs_node_table_remove(&fs->nodes, node);
    rootfs_node_free(node);
}

status_code rootfs_remove_entry_locked(rootfs_volume* fs, rootfs_node* directory,
                                       rootfs_node* entry)
{
    name_cache_remove(fs->id, directory->id, entry->name);
    void* private_node;
    status_code status = get_vnode(fs->volume, entry->id, &private_node);
    if (status != FSSH_OK)
        return status;
    status = remove_vnode(fs->volume, entry->id);
    if (status != FSSH_OK) {
        put_vnode(fs->volume, entry->id);
        return status;
    }
    ino_t id = entry->id;
    rootfs_remove_child(fs->id, directory, entry);
    announce_entry_removed(fs->id, directory->id, entry->name, id);
    // The last reference frees the node through the remove_vnode hook.
    put_vnode(fs->volume, id);
    return FSSH_OK;
}

}  // namespace fssh
