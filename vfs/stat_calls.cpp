#include "vfs/stat_calls.h"

#include "vfs/descriptor.h"
#include "vfs/hook_calls.h"
#include "vfs/io_context.h"
#include "vfs/mount.h"
#include "vfs/path_buffer.h"
#include "vfs/path_walk.h"
#include "vfs/vnode.h"

#include <cstring>

namespace fssh {

namespace {

// Copies at most size - 1 characters and terminates the copy.
void copy_name(char* to, const char* from, size_t size)
{
    strncpy(to, from, size - 1);
    to[size - 1] = '\0';
}

}  // namespace

status_code kern_access(const char* path, uint32_t mode)
{
    VnodeReference node;
    status_code status = resolve_path(-1, path, true, node);
    if (status != FSSH_OK)
        return status;
    return call_access(node.Get(), mode);
}

status_code kern_read_stat(int fd, const char* path, bool traverse_link, kernel_stat* stat,
                           size_t stat_size)
{
    if (stat_size > sizeof(kernel_stat))
        return FSSH_INVALID_ARGUMENT;

    kernel_stat full{};
    status_code status;
    if (path != nullptr) {
        VnodeReference node;
        status = resolve_path(fd, path, traverse_link, node);
        if (status != FSSH_OK)
            return status;
        status = call_read_stat(node.Get(), &full);
    } else {
        DescriptorReference descriptor(get_global_fd(fd));
        if (descriptor.Get() == nullptr)
            return FSSH_BAD_FILE_DESCRIPTOR;
        if (descriptor->ops->read_stat == nullptr)
            return FSSH_EOPNOTSUPP;
        status = descriptor->ops->read_stat(descriptor.Get(), &full);
    }
    if (status == FSSH_OK)
        memcpy(stat, &full, stat_size);
    return status;
}

status_code kern_write_stat(int fd, const char* path, bool traverse_link,
                            const kernel_stat* stat, size_t stat_size, uint32_t mask)
{
    if (stat_size > sizeof(kernel_stat))
        return FSSH_INVALID_ARGUMENT;
    kernel_stat full{};
    memcpy(&full, stat, stat_size);

    if (path != nullptr) {
        VnodeReference node;
        status_code status = resolve_path(fd, path, traverse_link, node);
        if (status != FSSH_OK)
            return status;
        return call_write_stat(node.Get(), &full, mask);
    }
    DescriptorReference descriptor(get_global_fd(fd));
    if (descriptor.Get() == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    if (descriptor->ops->write_stat == nullptr)
        return FSSH_EOPNOTSUPP;
    return descriptor->ops->write_stat(descriptor.Get(), &full, mask);
}

status_code kern_setcwd(int fd, const char* path)
{
    io_context* context = get_global_io_context();
    if (context == nullptr)
        return FSSH_ERROR;
    VnodeReference node;
    status_code status = resolve_path(fd, path, true, node, SHORT_PATH_BUFFER_SIZE);
    if (status != FSSH_OK)
        return status;
    kernel_stat stat{};
    status = call_read_stat(node.Get(), &stat);
    if (status != FSSH_OK)
        return status;
    if (!FSSH_S_ISDIR(stat.st_mode))
        return FSSH_NOT_A_DIRECTORY;

    MutexLocker locker(&context->lock);
    vnode* previous = context->cwd;
    context->cwd = node.Detach();
    locker.Unlock();
    if (previous != nullptr)
        dec_vnode_ref_count(previous, false);
    return FSSH_OK;
}

status_code kern_read_fs_info(dev_t device, fs_info* info)
{
    if (info == nullptr)
        return FSSH_INVALID_ARGUMENT;
    return with_mount_reference(device, [info](mount* record) {
        memset(info, 0, sizeof(*info));
        status_code status = call_read_fs_info(record->volume, info);
        if (status != FSSH_OK)
            return status;
        info->dev = record->id;
        info->root = record->root_vnode->id;
        copy_name(info->fsh_name, record->fs_name, sizeof(info->fsh_name));
        if (record->device_name != nullptr)
            copy_name(info->device_name, record->device_name, sizeof(info->device_name));
        return FSSH_OK;
    });
}

status_code kern_write_fs_info(dev_t device, const fs_info* info, uint32_t mask)
{
    if (info == nullptr)
        return FSSH_INVALID_ARGUMENT;
    return with_mount_reference(device, [&](mount* record) {
        return call_write_fs_info(record->volume, info, mask);
    });
}

dev_t kern_next_device(int32_t* cookie)
{
    MutexLocker locker(mount_table_lock());
    while (*cookie < peek_next_mount_id()) {
        dev_t id = (*cookie)++;
        if (find_mount_locked(id) != nullptr)
            return id;
    }
    return FSSH_NOT_FOUND;
}

}  // namespace fssh
