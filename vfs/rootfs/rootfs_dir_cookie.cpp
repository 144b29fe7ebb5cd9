#include "vfs/rootfs/rootfs_dir_cookie.h"

#include "vfs/permissions.h"
#include "vfs/rootfs/rootfs_node.h"
#include "vfs/rootfs/rootfs_volume.h"

#include <cstring>
#include <new>

namespace fssh {

namespace {

struct dir_entry {
    const char* name;
    const rootfs_node* node;
};

// The entry the cookie returns next; a null node at the end.
dir_entry next_entry(rootfs_node* directory, const rootfs_dir_cookie* cookie)
{
    switch (cookie->position) {
        case ROOTFS_DIR_DOT:
            return {".", directory};
        case ROOTFS_DIR_DOT_DOT:
            return {"..", directory->parent};
        case ROOTFS_DIR_CHILDREN:
            break;
    }
    const rootfs_node* child = cookie->next_child;
    return {child != nullptr ? child->name : nullptr, child};
}

void advance(rootfs_dir_cookie* cookie)
{
    switch (cookie->position) {
        case ROOTFS_DIR_DOT:
            cookie->position = ROOTFS_DIR_DOT_DOT;
            break;
        case ROOTFS_DIR_DOT_DOT:
            cookie->position = ROOTFS_DIR_CHILDREN;
            break;
        case ROOTFS_DIR_CHILDREN:
            cookie->next_child = cookie->next_child->next_sibling;
            break;
    }
}

}  // namespace

status_code rootfs_open_dir(fs_volume* volume, fs_vnode* vnode, void** out)
{
    rootfs_node* directory = rootfs_node_of(vnode);
    status_code status = rootfs_check_access(directory, FSSH_R_OK);
    if (status != FSSH_OK)
        return status;
    if (!rootfs_node_is_directory(directory))
        return FSSH_INVALID_ARGUMENT;
    auto* cookie = new (std::nothrow) rootfs_dir_cookie{};
    if (cookie == nullptr)
        return FSSH_NO_MEMORY;
    mutex_init(&cookie->lock, "rootfs dir cookie");
    cookie->position = ROOTFS_DIR_DOT;

    RootfsReadLocker locker(rootfs_volume_of(volume), false);
    cookie->next_child = directory->first_child;
    MutexLocker cookies_locker(&directory->cookies_lock);
    item_list_append(&directory->cookies, cookie);
    *out = cookie;
    return FSSH_OK;
}

status_code rootfs_free_dir_cookie(fs_volume* volume, fs_vnode* vnode, void* cookie_pointer)
{
    auto* cookie = static_cast<rootfs_dir_cookie*>(cookie_pointer);
    rootfs_node* directory = rootfs_node_of(vnode);
    {
        RootfsReadLocker locker(rootfs_volume_of(volume), false);
        MutexLocker cookies_locker(&directory->cookies_lock);
        item_list_remove(&directory->cookies, cookie);
    }
    mutex_destroy(&cookie->lock);
    delete cookie;
    return FSSH_OK;
}

status_code rootfs_read_dir(fs_volume* volume, fs_vnode* vnode, void* cookie_pointer,
                            kernel_dirent* buffer, size_t buffer_size, uint32_t* count)
{
    auto* cookie = static_cast<rootfs_dir_cookie*>(cookie_pointer);
    rootfs_volume* fs = rootfs_volume_of(volume);
    rootfs_node* directory = rootfs_node_of(vnode);
    RootfsReadLocker locker(fs, false);
    MutexLocker cookie_locker(&cookie->lock);

    dir_entry entry = next_entry(directory, cookie);
    if (entry.node == nullptr || *count == 0) {
        *count = 0;
        return FSSH_OK;
    }
    size_t name_length = strlen(entry.name);
    size_t record_length = DIRENT_NAME_OFFSET + name_length + 1;
    if (buffer_size < record_length)
        return FSSH_ENOBUFS;
    buffer->d_dev = fs->id;
    buffer->d_pdev = fs->id;
    buffer->d_ino = entry.node->id;
    buffer->d_pino = directory->id;
    buffer->d_reclen = static_cast<uint16_t>(record_length);
    // The name runs past the declared end of d_name, into the caller's buffer.
    memcpy(reinterpret_cast<char*>(buffer) + DIRENT_NAME_OFFSET, entry.name, name_length + 1);
    advance(cookie);
    *count = 1;
    return FSSH_OK;
}

status_code rootfs_rewind_dir(fs_volume* volume, fs_vnode* vnode, void* cookie_pointer)
{
    auto* cookie = static_cast<rootfs_dir_cookie*>(cookie_pointer);
    rootfs_node* directory = rootfs_node_of(vnode);
    RootfsReadLocker locker(rootfs_volume_of(volume), false);
    MutexLocker cookie_locker(&cookie->lock);
    cookie->next_child = directory->first_child;
    cookie->position = ROOTFS_DIR_DOT;
    return FSSH_OK;
}

}  // namespace fssh
