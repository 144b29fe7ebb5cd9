#include "vfs/rootfs/rootfs_node.h"

#include "kernel/clock.h"
#include "vfs/announcements.h"
#include "vfs/permissions.h"
#include "vfs/rootfs/rootfs_dir_cookie.h"
#include "vfs/write_stat_mask.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace fssh {

status_code rootfs_check_access(const rootfs_node* node, uint32_t access_mode)
{
    return check_permission_bits(access_mode, node->mode, node->group_id, node->user_id);
}

status_code rootfs_check_writable_directory(const rootfs_node* directory)
{
    if (!rootfs_node_is_directory(directory))
        return FSSH_NOT_A_DIRECTORY;
    return rootfs_check_access(directory, FSSH_W_OK);
}

kernel_timespec rootfs_now()
{
    int64_t usecs = wall_clock_usecs();
    return kernel_timespec{usecs / 1000000, (usecs % 1000000) * 1000};
}

status_code rootfs_node_create(ino_t id, const char* name, uint32_t mode,
                               const rootfs_node* parent, const char* link_target,
                               rootfs_node** out)
{
    rootfs_node* node = new (std::nothrow) rootfs_node{};
    if (node == nullptr)
        return FSSH_NO_MEMORY;
    if (name != nullptr && (node->name = strdup(name)) == nullptr) {
        rootfs_node_free(node);
        return FSSH_NO_MEMORY;
    }
    if (link_target != nullptr) {
        node->link_target = strdup(link_target);
        if (node->link_target == nullptr) {
            rootfs_node_free(node);
            return FSSH_NO_MEMORY;
        }
        node->link_length = strlen(link_target);
    }
    node->id = id;
    node->mode = mode;
    node->modification_time = node->creation_time = rootfs_now();
    node->user_id = get_current_user_id();
    node->group_id = parent != nullptr ? parent->group_id : get_current_group_id();
    if (rootfs_node_is_directory(node)) {
        item_list_init_with_offset(&node->cookies, offsetof(rootfs_dir_cookie, link));
        mutex_init(&node->cookies_lock, "rootfs dir cookies");
    }
    *out = node;
    return FSSH_OK;
}

void rootfs_node_free(rootfs_node* node)
{
    if (rootfs_node_is_directory(node))
        mutex_destroy(&node->cookies_lock);
    free(node->name);
    free(node->link_target);
    delete node;
}

rootfs_node* rootfs_find_child(const rootfs_node* directory, const char* name)
{
    for (rootfs_node* child = directory->first_child; child != nullptr;
         child = child->next_sibling) {
        if (strcmp(child->name, name) == 0)
            return child;
    }
    return nullptr;
}

rootfs_node* rootfs_find_entry(rootfs_node* directory, const char* name)
{
    if (strcmp(name, ".") == 0)
        return directory;
    if (strcmp(name, "..") == 0)
        return directory->parent;
    return rootfs_find_child(directory, name);
}

namespace {

void touch_directory(rootfs_node* directory, dev_t device)
{
    directory->modification_time = rootfs_now();
    announce_stat_changed(device, directory->id, FSSH_STAT_MODIFICATION_TIME);
}

// The link that points at `node` in the directory's entry list, or null.
rootfs_node** link_to(rootfs_node* directory, const rootfs_node* node)
{
    rootfs_node** link = &directory->first_child;
    while (*link != nullptr && *link != node)
        link = &(*link)->next_sibling;
    return *link != nullptr ? link : nullptr;
}

}  // namespace

void rootfs_insert_child(dev_t device, rootfs_node* directory, rootfs_node* node)
{
    rootfs_node** link = &directory->first_child;
    while (*link != nullptr && strcmp((*link)->name, node->name) < 0)
        link = &(*link)->next_sibling;
    node->next_sibling = *link;
    *link = node;
    node->parent = directory;
    touch_directory(directory, device);
}

void rootfs_remove_child(dev_t device, rootfs_node* directory, rootfs_node* node)
{
    {
        MutexLocker locker(&directory->cookies_lock);
        for (void* item = item_list_next(&directory->cookies, nullptr); item != nullptr;
             item = item_list_next(&directory->cookies, item)) {
            auto* cookie = static_cast<rootfs_dir_cookie*>(item);
            if (cookie->next_child == node)
                cookie->next_child = node->next_sibling;
        }
    }
    rootfs_node** link = link_to(directory, node);
    if (link != nullptr)
        *link = node->next_sibling;
    node->next_sibling = nullptr;
    touch_directory(directory, device);
}

bool rootfs_is_linked(const rootfs_node* node)
{
    return node->parent != nullptr && node->parent != node
        && link_to(node->parent, node) != nullptr;
}

}  // namespace fssh
