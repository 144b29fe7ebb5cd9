#include "vfs/rootfs/rootfs_rename.h"

#include "vfs/announcements.h"
#include "vfs/rootfs/rootfs_entries.h"
#include "vfs/rootfs/rootfs_node.h"
#include "vfs/rootfs/rootfs_volume.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace fssh {

namespace {

struct free_deleter {
    void operator()(char* text) const { free(text); }
};
using heap_text = std::unique_ptr<char, free_deleter>;

bool is_dot_or_dot_dot(const char* name)
{
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// Whether `directory` is `node` or lies below it.
bool is_within(const rootfs_node* directory, const rootfs_node* node)
{
    for (const rootfs_node* walk = directory;; walk = walk->parent) {
        if (walk == node)
            return true;
        if (walk->parent == walk)
            return false;
    }
}

// A heap copy of the new name when the old one is too short to take it in
// place; null in `*copy` otherwise.
status_code prepare_name(const rootfs_node* node, const char* name, heap_text* copy)
{
    if (strlen(name) <= strlen(node->name))
        return FSSH_OK;
    copy->reset(strdup(name));
    return *copy != nullptr ? FSSH_OK : FSSH_NO_MEMORY;
}

}  // namespace

status_code rootfs_rename(fs_volume* volume, fs_vnode* from_vnode, const char* from_name,
                          fs_vnode* to_vnode, const char* to_name)
{
    rootfs_volume* fs = rootfs_volume_of(volume);
    rootfs_node* from = rootfs_node_of(from_vnode);
    rootfs_node* to = rootfs_node_of(to_vnode);
    if (from->id == ROOTFS_ROOT_ID && strcmp(from_name, "boot") == 0)
        return FSSH_NOT_PERMITTED;
    status_code status = rootfs_check_writable_directory(from);
    if (status == FSSH_OK)
        status = rootfs_check_writable_directory(to);
    if (status != FSSH_OK)
        return status;
    if (is_dot_or_dot_dot(to_name))
        return FSSH_INVALID_ARGUMENT;

    RootfsWriteLocker locker(fs, false);
    rootfs_node* node = rootfs_find_child(from, from_name);
    if (node == nullptr)
        return FSSH_NOT_FOUND;
    if (is_within(to, node))
        return FSSH_INVALID_ARGUMENT;
    rootfs_node* target = rootfs_find_child(to, to_name);
    if (target == node)
        return FSSH_OK;
    if (target != nullptr && target->first_child != nullptr)
        return FSSH_DUPLICATE_NAME;
    heap_text new_name;
    status = prepare_name(node, to_name, &new_name);
    if (status != FSSH_OK)
        return status;
    if (target != nullptr) {
        status = rootfs_remove_entry_locked(fs, to, target);
        if (status != FSSH_OK)
            return status;
    }

    name_cache_remove(fs->id, from->id, from_name);
    rootfs_remove_child(fs->id, from, node);
    if (new_name != nullptr) {
        free(node->name);
        node->name = new_name.release();
    } else {
        strcpy(node->name, to_name);
    }
    rootfs_insert_child(fs->id, to, node);
    name_cache_add(fs->id, to->id, to_name, node->id);
    announce_entry_moved(fs->id, from->id, from_name, to->id, to_name, node->id);
    return FSSH_OK;
}

}  // namespace fssh
