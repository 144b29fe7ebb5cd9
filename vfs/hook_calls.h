#pragma once

// The layer's way of calling a file system's hooks: each call passes the
// node's volume and the node, and answers with the layer's fixed default when
// the slot is empty. Hooks that must be filled when a related one is (close
// with open, and so on) are skipped, or refused with FSSH_INVALID_ARGUMENT or
// FSSH_EOPNOTSUPP, rather than called through a null pointer.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "vfs/fs_interface.h"
#include "vfs/mount.h"
#include "vfs/vnode.h"

namespace fssh {

inline fs_volume* volume_of(vnode* node)
{
    return node->mount->volume;
}

inline const vnode_ops* ops_of(vnode* node)
{
    return node->fs.ops;
}

// Name space.

inline status_code call_lookup(vnode* directory, const char* name, ino_t* id)
{
    return ops_of(directory)->lookup(volume_of(directory), &directory->fs, name, id);
}

// Empty slot: FSSH_EOPNOTSUPP (the caller then searches the parent directory).
inline status_code call_get_vnode_name(vnode* node, char* buffer, size_t size)
{
    if (ops_of(node)->get_vnode_name == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->get_vnode_name(volume_of(node), &node->fs, buffer, size);
}

inline void call_put_vnode(vnode* node, bool reenter)
{
    if (ops_of(node)->put_vnode != nullptr)
        ops_of(node)->put_vnode(volume_of(node), &node->fs, reenter);
}

inline void call_remove_vnode(vnode* node, bool reenter)
{
    if (ops_of(node)->remove_vnode != nullptr)
        ops_of(node)->remove_vnode(volume_of(node), &node->fs, reenter);
}

inline status_code call_fsync(vnode* node)
{
    if (ops_of(node)->fsync == nullptr)
        return FSSH_OK;
    return ops_of(node)->fsync(volume_of(node), &node->fs);
}

inline status_code call_read_symlink(vnode* link, char* buffer, size_t* size)
{
    if (ops_of(link)->read_symlink == nullptr)
        return FSSH_INVALID_ARGUMENT;
    return ops_of(link)->read_symlink(volume_of(link), &link->fs, buffer, size);
}

inline status_code call_create_symlink(vnode* directory, const char* name, const char* target,
                                       uint32_t mode)
{
    if (ops_of(directory)->create_symlink == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(directory)->create_symlink(volume_of(directory), &directory->fs, name, target,
                                             mode);
}

inline status_code call_link(vnode* directory, const char* name, vnode* target)
{
    if (ops_of(directory)->link == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(directory)->link(volume_of(directory), &directory->fs, name, &target->fs);
}

inline status_code call_unlink(vnode* directory, const char* name)
{
    if (ops_of(directory)->unlink == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(directory)->unlink(volume_of(directory), &directory->fs, name);
}

inline status_code call_rename(vnode* from_directory, const char* from_name, vnode* to_directory,
                               const char* to_name)
{
    if (ops_of(from_directory)->rename == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(from_directory)->rename(volume_of(from_directory), &from_directory->fs,
                                          from_name, &to_directory->fs, to_name);
}

inline status_code call_create_dir(vnode* parent, const char* name, uint32_t permissions)
{
    if (ops_of(parent)->create_dir == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(parent)->create_dir(volume_of(parent), &parent->fs, name, permissions);
}

inline status_code call_remove_dir(vnode* parent, const char* name)
{
    if (ops_of(parent)->remove_dir == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(parent)->remove_dir(volume_of(parent), &parent->fs, name);
}

// Status and access.

// Empty slot: access granted.
inline status_code call_access(vnode* node, uint32_t mode)
{
    if (ops_of(node)->access == nullptr)
        return FSSH_OK;
    return ops_of(node)->access(volume_of(node), &node->fs, mode);
}

// Calls read_stat and then sets st_dev and st_ino to the node's mount id and
// id.
inline status_code call_read_stat(vnode* node, kernel_stat* stat)
{
    if (ops_of(node)->read_stat == nullptr)
        return FSSH_EOPNOTSUPP;
    status_code status = ops_of(node)->read_stat(volume_of(node), &node->fs, stat);
    if (status == FSSH_OK) {
        stat->st_dev = node->device;
        stat->st_ino = node->id;
    }
    return status;
}

inline status_code call_write_stat(vnode* node, const kernel_stat* stat, uint32_t mask)
{
    if (ops_of(node)->write_stat == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(node)->write_stat(volume_of(node), &node->fs, stat, mask);
}

// Files.

inline status_code call_create(vnode* directory, const char* name, uint32_t open_mode,
                               uint32_t permissions, void** cookie, ino_t* new_id)
{
    if (ops_of(directory)->create == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(directory)->create(volume_of(directory), &directory->fs, name, open_mode,
                                     permissions, cookie, new_id);
}

inline status_code call_open(vnode* node, uint32_t open_mode, void** cookie)
{
    if (ops_of(node)->open == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->open(volume_of(node), &node->fs, open_mode, cookie);
}

inline status_code call_close(vnode* node, void* cookie)
{
    if (ops_of(node)->close == nullptr)
        return FSSH_OK;
    return ops_of(node)->close(volume_of(node), &node->fs, cookie);
}

inline void call_free_cookie(vnode* node, void* cookie)
{
    if (ops_of(node)->free_cookie != nullptr)
        ops_of(node)->free_cookie(volume_of(node), &node->fs, cookie);
}

inline status_code call_read(vnode* node, void* cookie, off_t position, void* buffer,
                             size_t* length)
{
    if (ops_of(node)->read == nullptr)
        return FSSH_INVALID_ARGUMENT;
    return ops_of(node)->read(volume_of(node), &node->fs, cookie, position, buffer, length);
}

inline status_code call_write(vnode* node, void* cookie, off_t position, const void* buffer,
                              size_t* length)
{
    if (ops_of(node)->write == nullptr)
        return FSSH_INVALID_ARGUMENT;
    return ops_of(node)->write(volume_of(node), &node->fs, cookie, position, buffer, length);
}

inline status_code call_ioctl(vnode* node, void* cookie, uint32_t operation, void* buffer,
                              size_t length)
{
    if (ops_of(node)->ioctl == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->ioctl(volume_of(node), &node->fs, cookie, operation, buffer, length);
}

inline status_code call_set_flags(vnode* node, void* cookie, uint32_t flags)
{
    if (ops_of(node)->set_flags == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->set_flags(volume_of(node), &node->fs, cookie, flags);
}

// Directories.

inline status_code call_open_dir(vnode* node, void** cookie)
{
    if (ops_of(node)->open_dir == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->open_dir(volume_of(node), &node->fs, cookie);
}

inline status_code call_close_dir(vnode* node, void* cookie)
{
    if (ops_of(node)->close_dir == nullptr)
        return FSSH_OK;
    return ops_of(node)->close_dir(volume_of(node), &node->fs, cookie);
}

inline void call_free_dir_cookie(vnode* node, void* cookie)
{
    if (ops_of(node)->free_dir_cookie != nullptr)
        ops_of(node)->free_dir_cookie(volume_of(node), &node->fs, cookie);
}

inline status_code call_read_dir(vnode* node, void* cookie, kernel_dirent* buffer,
                                 size_t buffer_size, uint32_t* count)
{
    if (ops_of(node)->read_dir == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->read_dir(volume_of(node), &node->fs, cookie, buffer, buffer_size,
                                  count);
}

inline status_code call_rewind_dir(vnode* node, void* cookie)
{
    if (ops_of(node)->rewind_dir == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->rewind_dir(volume_of(node), &node->fs, cookie);
}

// Attribute directories.

inline status_code call_open_attr_dir(vnode* node, void** cookie)
{
    if (ops_of(node)->open_attr_dir == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->open_attr_dir(volume_of(node), &node->fs, cookie);
}

inline status_code call_close_attr_dir(vnode* node, void* cookie)
{
    if (ops_of(node)->close_attr_dir == nullptr)
        return FSSH_OK;
    return ops_of(node)->close_attr_dir(volume_of(node), &node->fs, cookie);
}

inline void call_free_attr_dir_cookie(vnode* node, void* cookie)
{
    if (ops_of(node)->free_attr_dir_cookie != nullptr)
        ops_of(node)->free_attr_dir_cookie(volume_of(node), &node->fs, cookie);
}

inline status_code call_read_attr_dir(vnode* node, void* cookie, kernel_dirent* buffer,
                                      size_t buffer_size, uint32_t* count)
{
    if (ops_of(node)->read_attr_dir == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->read_attr_dir(volume_of(node), &node->fs, cookie, buffer, buffer_size,
                                       count);
}

inline status_code call_rewind_attr_dir(vnode* node, void* cookie)
{
    if (ops_of(node)->rewind_attr_dir == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->rewind_attr_dir(volume_of(node), &node->fs, cookie);
}

// Attributes.

inline status_code call_create_attr(vnode* node, const char* name, uint32_t type,
                                    uint32_t open_mode, void** cookie)
{
    if (ops_of(node)->create_attr == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(node)->create_attr(volume_of(node), &node->fs, name, type, open_mode, cookie);
}

inline status_code call_open_attr(vnode* node, const char* name, uint32_t open_mode,
                                  void** cookie)
{
    if (ops_of(node)->open_attr == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->open_attr(volume_of(node), &node->fs, name, open_mode, cookie);
}

inline status_code call_close_attr(vnode* node, void* cookie)
{
    if (ops_of(node)->close_attr == nullptr)
        return FSSH_OK;
    return ops_of(node)->close_attr(volume_of(node), &node->fs, cookie);
}

inline void call_free_attr_cookie(vnode* node, void* cookie)
{
    if (ops_of(node)->free_attr_cookie != nullptr)
        ops_of(node)->free_attr_cookie(volume_of(node), &node->fs, cookie);
}

inline status_code call_read_attr(vnode* node, void* cookie, off_t position, void* buffer,
                                  size_t* length)
{
    if (ops_of(node)->read_attr == nullptr)
        return FSSH_INVALID_ARGUMENT;
    return ops_of(node)->read_attr(volume_of(node), &node->fs, cookie, position, buffer, length);
}

inline status_code call_write_attr(vnode* node, void* cookie, off_t position, const void* buffer,
                                   size_t* length)
{
    if (ops_of(node)->write_attr == nullptr)
        return FSSH_INVALID_ARGUMENT;
    return ops_of(node)->write_attr(volume_of(node), &node->fs, cookie, position, buffer,
                                    length);
}

inline status_code call_read_attr_stat(vnode* node, void* cookie, kernel_stat* stat)
{
    if (ops_of(node)->read_attr_stat == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->read_attr_stat(volume_of(node), &node->fs, cookie, stat);
}

inline status_code call_write_attr_stat(vnode* node, void* cookie, const kernel_stat* stat,
                                        uint32_t mask)
{
    if (ops_of(node)->write_attr_stat == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(node)->write_attr_stat(volume_of(node), &node->fs, cookie, stat, mask);
}

inline status_code call_rename_attr(vnode* from_node, const char* from_name, vnode* to_node,
                                    const char* to_name)
{
    if (ops_of(from_node)->rename_attr == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(from_node)->rename_attr(volume_of(from_node), &from_node->fs, from_name,
                                          &to_node->fs, to_name);
}

inline status_code call_remove_attr(vnode* node, const char* name)
{
    if (ops_of(node)->remove_attr == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return ops_of(node)->remove_attr(volume_of(node), &node->fs, name);
}

// Volume hooks.

inline status_code call_sync(fs_volume* volume)
{
    if (volume->ops->sync == nullptr)
        return FSSH_OK;
    return volume->ops->sync(volume);
}

// Empty slot: the record stays as it is (zeroed by the caller).
inline status_code call_read_fs_info(fs_volume* volume, fs_info* info)
{
    if (volume->ops->read_fs_info == nullptr)
        return FSSH_OK;
    return volume->ops->read_fs_info(volume, info);
}

inline status_code call_write_fs_info(fs_volume* volume, const fs_info* info, uint32_t mask)
{
    if (volume->ops->write_fs_info == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return volume->ops->write_fs_info(volume, info, mask);
}

inline status_code call_open_index_dir(fs_volume* volume, void** cookie)
{
    if (volume->ops->open_index_dir == nullptr)
        return FSSH_EOPNOTSUPP;
    return volume->ops->open_index_dir(volume, cookie);
}

inline status_code call_close_index_dir(fs_volume* volume, void* cookie)
{
    if (volume->ops->close_index_dir == nullptr)
        return FSSH_OK;
    return volume->ops->close_index_dir(volume, cookie);
}

inline void call_free_index_dir_cookie(fs_volume* volume, void* cookie)
{
    if (volume->ops->free_index_dir_cookie != nullptr)
        volume->ops->free_index_dir_cookie(volume, cookie);
}

inline status_code call_read_index_dir(fs_volume* volume, void* cookie, kernel_dirent* buffer,
                                       size_t buffer_size, uint32_t* count)
{
    if (volume->ops->read_index_dir == nullptr)
        return FSSH_EOPNOTSUPP;
    return volume->ops->read_index_dir(volume, cookie, buffer, buffer_size, count);
}

inline status_code call_rewind_index_dir(fs_volume* volume, void* cookie)
{
    if (volume->ops->rewind_index_dir == nullptr)
        return FSSH_EOPNOTSUPP;
    return volume->ops->rewind_index_dir(volume, cookie);
}

inline status_code call_create_index(fs_volume* volume, const char* name, uint32_t type,
                                     uint32_t flags)
{
    if (volume->ops->create_index == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return volume->ops->create_index(volume, name, type, flags);
}

inline status_code call_remove_index(fs_volume* volume, const char* name)
{
    if (volume->ops->remove_index == nullptr)
        return FSSH_READ_ONLY_FILE_SYSTEM;
    return volume->ops->remove_index(volume, name);
}

inline status_code call_read_index_stat(fs_volume* volume, const char* name, kernel_stat* stat)
{
    if (volume->ops->read_index_stat == nullptr)
        return FSSH_EOPNOTSUPP;
    return volume->ops->read_index_stat(volume, name, stat);
}

inline status_code call_open_query(fs_volume* volume, const char* query, uint32_t flags,
                                   port_id port, uint32_t token, void** cookie)
{
    if (volume->ops->open_query == nullptr)
        return FSSH_EOPNOTSUPP;
    return volume->ops->open_query(volume, query, flags, port, token, cookie);
}

inline status_code call_close_query(fs_volume* volume, void* cookie)
{
    if (volume->ops->close_query == nullptr)
        return FSSH_OK;
    return volume->ops->close_query(volume, cookie);
}

inline void call_free_query_cookie(fs_volume* volume, void* cookie)
{
    if (volume->ops->free_query_cookie != nullptr)
        volume->ops->free_query_cookie(volume, cookie);
}

inline status_code call_read_query(fs_volume* volume, void* cookie, kernel_dirent* buffer,
                                   size_t buffer_size, uint32_t* count)
{
    if (volume->ops->read_query == nullptr)
        return FSSH_EOPNOTSUPP;
    return volume->ops->read_query(volume, cookie, buffer, buffer_size, count);
}

inline status_code call_rewind_query(fs_volume* volume, void* cookie)
{
    if (volume->ops->rewind_query == nullptr)
        return FSSH_EOPNOTSUPP;
    return volume->ops->rewind_query(volume, cookie);
}

}  // namespace fssh
