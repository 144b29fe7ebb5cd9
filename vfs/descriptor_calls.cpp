#include "vfs/descriptor_calls.h"

#include "kernel/debug.h"
#include "kernel/open_mode.h"
#include "vfs/descriptor.h"
#include "vfs/hook_calls.h"
#include "vfs/io_context.h"
#include "vfs/vnode.h"

#include <climits>
#include <cstdint>

namespace fssh {

namespace {

// Transfers each vector in turn at the running position; the first failure
// ends the call with its status.
ssize_t transfer(int fd, off_t position, const iovec* vectors, size_t count, bool write)
{
    DescriptorReference descriptor(get_global_fd(fd));
    if (descriptor.Get() == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    uint32_t access = static_cast<uint32_t>(descriptor->open_mode) & FSSH_O_RWMASK;
    if (access == (write ? FSSH_O_RDONLY : FSSH_O_WRONLY))
        return FSSH_BAD_FILE_DESCRIPTOR;
    if (write ? descriptor->ops->write == nullptr : descriptor->ops->read == nullptr)
        return FSSH_INVALID_ARGUMENT;

    if (position == -1)
        position = descriptor->position;
    int64_t total = 0;
    for (size_t index = 0; index < count; index++) {
        size_t length = vectors[index].iov_len;
        status_code status =
            write ? descriptor->ops->write(descriptor.Get(), position, vectors[index].iov_base,
                                           &length)
                  : descriptor->ops->read(descriptor.Get(), position, vectors[index].iov_base,
                                          &length);
        if (status != FSSH_OK)
            return status;
        position += static_cast<off_t>(length);
        descriptor->position = position;
        total = length > static_cast<uint64_t>(INT64_MAX - total)
                    ? INT64_MAX
                    : total + static_cast<int64_t>(length);
    }
    return total;
}

}  // namespace

ssize_t kern_read(int fd, off_t position, void* buffer, size_t length)
{
    iovec vector{buffer, length};
    return transfer(fd, position, &vector, 1, false);
}

ssize_t kern_write(int fd, off_t position, const void* buffer, size_t length)
{
    iovec vector{const_cast<void*>(buffer), length};
    return transfer(fd, position, &vector, 1, true);
}

ssize_t kern_readv(int fd, off_t position, const iovec* vectors, size_t count)
{
    return transfer(fd, position, vectors, count, false);
}

ssize_t kern_writev(int fd, off_t position, const iovec* vectors, size_t count)
{
    return transfer(fd, position, vectors, count, true);
}

off_t kern_seek(int fd, off_t offset, int whence)
{
    DescriptorReference descriptor(get_global_fd(fd));
    if (descriptor.Get() == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    if (descriptor->ops->seek == nullptr)
        return FSSH_ESPIPE;
    return descriptor->ops->seek(descriptor.Get(), offset, whence);
}

status_code kern_ioctl(int fd, uint32_t operation, void* buffer, size_t length)
{
    DescriptorReference descriptor(get_global_fd(fd));
    if (descriptor.Get() == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    if (descriptor->ops->ioctl == nullptr)
        return FSSH_EOPNOTSUPP;
    return descriptor->ops->ioctl(descriptor.Get(), operation, buffer, length);
}

status_code kern_read_dir(int fd, kernel_dirent* buffer, size_t buffer_size, uint32_t count)
{
    DescriptorReference descriptor(get_global_fd(fd));
    if (descriptor.Get() == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    if (descriptor->ops->read_dir == nullptr)
        return FSSH_EOPNOTSUPP;
    status_code status = descriptor->ops->read_dir(descriptor.Get(), buffer, buffer_size, &count);
    if (status != FSSH_OK)
        return status;
    return static_cast<status_code>(count);
}

status_code kern_rewind_dir(int fd)
{
    DescriptorReference descriptor(get_global_fd(fd));
    if (descriptor.Get() == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    if (descriptor->ops->rewind_dir == nullptr)
        return FSSH_EOPNOTSUPP;
    return descriptor->ops->rewind_dir(descriptor.Get());
}

status_code kern_close(int fd)
{
    io_context* context = get_global_io_context();
    file_descriptor* descriptor = context != nullptr ? remove_fd(context, fd) : nullptr;
    if (descriptor == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    close_fd(descriptor);
    put_fd(descriptor);
    return FSSH_OK;
}

int kern_dup(int fd)
{
    io_context* context = get_global_io_context();
    DescriptorReference descriptor(get_global_fd(fd));
    if (descriptor.Get() == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    int slot = insert_fd(context, descriptor.Get());
    if (slot < 0)
        return slot;
    descriptor.Detach();  // the reference now belongs to the new slot
    MutexLocker locker(&context->lock);
    set_fd_close_on_exec(context, slot, false);
    return slot;
}

int kern_dup2(int fd, int target)
{
    io_context* context = get_global_io_context();
    if (context == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    MutexLocker locker(&context->lock);
    uint32_t size = context->table_size;
    if (fd < 0 || target < 0 || static_cast<uint32_t>(fd) >= size ||
        static_cast<uint32_t>(target) >= size || context->fds[fd] == nullptr) {
        return FSSH_BAD_FILE_DESCRIPTOR;
    }
    if (fd == target)
        return target;

    file_descriptor* descriptor = context->fds[fd];
    file_descriptor* previous = context->fds[target];
    descriptor->ref_count++;
    descriptor->open_count++;
    context->fds[target] = descriptor;
    if (previous == nullptr)
        context->used_count++;
    set_fd_close_on_exec(context, target, false);
    locker.Unlock();

    if (previous != nullptr) {
        close_fd(previous);
        put_fd(previous);
    }
    return target;
}

int kern_fcntl(int fd, int operation, uint32_t argument)
{
    io_context* context = get_global_io_context();
    DescriptorReference descriptor(get_global_fd(fd));
    vnode* node = fd_vnode(descriptor.Get());
    if (node == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;

    switch (operation) {
        case FSSH_F_DUPFD: {
            int first_slot = argument > INT_MAX ? INT_MAX : static_cast<int>(argument);
            int slot = insert_fd(context, descriptor.Get(), first_slot);
            if (slot < 0)
                return slot;
            descriptor.Detach();  // the reference now belongs to the new slot
            MutexLocker locker(&context->lock);
            set_fd_close_on_exec(context, slot, false);
            return slot;
        }
        case FSSH_F_GETFD: {
            MutexLocker locker(&context->lock);
            return fd_close_on_exec(context, fd) ? 1 : 0;
        }
        case FSSH_F_SETFD: {
            MutexLocker locker(&context->lock);
            set_fd_close_on_exec(context, fd, argument == 1);
            return FSSH_OK;
        }
        case FSSH_F_GETFL:
            return descriptor->open_mode;
        case FSSH_F_SETFL: {
            uint32_t bits = argument & FSSH_FCNTL_MODE_BITS;
            status_code status = call_set_flags(node, descriptor->cookie, bits);
            if (status != FSSH_OK)
                return status;
            descriptor->open_mode = static_cast<int32_t>(
                (static_cast<uint32_t>(descriptor->open_mode) & ~FSSH_FCNTL_MODE_BITS) | bits);
            return FSSH_OK;
        }
        default:
            return FSSH_INVALID_ARGUMENT;
    }
}

status_code kern_lock_node(int fd)
{
    DescriptorReference descriptor(get_global_fd(fd));
    vnode* node = fd_vnode(descriptor.Get());
    if (node == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    MutexLocker locker(vnode_table_lock());
    if (node->locked_by != nullptr)
        return FSSH_BUSY;
    node->locked_by = descriptor.Get();
    return FSSH_OK;
}

status_code kern_unlock_node(int fd)
{
    DescriptorReference descriptor(get_global_fd(fd));
    vnode* node = fd_vnode(descriptor.Get());
    if (node == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    MutexLocker locker(vnode_table_lock());
    if (node->locked_by != descriptor.Get())
        return FSSH_INVALID_ARGUMENT;
    node->locked_by = nullptr;
    return FSSH_OK;
}

status_code do_fd_io(int, io_request*)
{
    panic("fssh_do_fd_io() not yet implemented");
}

status_code do_iterative_fd_io(int, io_request*, iterative_io_get_vecs, iterative_io_finished,
                               void*)
{
    panic("fssh_do_iterative_fd_io() not yet implemented");
}

}  // namespace fssh
