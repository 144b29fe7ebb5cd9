#include "vfs/descriptor.h"

#include "kernel/atomic.h"
#include "vfs/io_context.h"
#include "vfs/vnode.h"

#include <cstdlib>

namespace fssh {

NewDescriptor::NewDescriptor()
    : descriptor_(static_cast<file_descriptor*>(calloc(1, sizeof(file_descriptor))))
{
}

NewDescriptor::~NewDescriptor()
{
    free(descriptor_);  // never seen by anyone: no free operation
}

status_code NewDescriptor::InitCheck() const
{
    return descriptor_ != nullptr ? FSSH_OK : FSSH_NO_MEMORY;
}

int NewDescriptor::Install(descriptor_kind kind, const fd_ops* ops, descriptor_object object,
                           void* cookie, uint32_t open_mode)
{
    io_context* context = get_global_io_context();
    if (context == nullptr)
        return FSSH_ERROR;
    if (descriptor_ == nullptr)
        return FSSH_NO_MEMORY;
    descriptor_->kind = kind;
    descriptor_->ref_count = 1;
    descriptor_->ops = ops;
    descriptor_->object = object;
    descriptor_->cookie = cookie;
    descriptor_->open_mode = static_cast<int32_t>(open_mode);
    int slot = insert_fd(context, descriptor_);
    if (slot >= 0)
        descriptor_ = nullptr;  // the slot holds it now
    return slot;
}

int new_fd(descriptor_kind kind, const fd_ops* ops, descriptor_object object, void* cookie,
           uint32_t open_mode)
{
    NewDescriptor descriptor;
    return descriptor.Install(kind, ops, object, cookie, open_mode);
}

bool has_free_fd_slot()
{
    io_context* context = get_global_io_context();
    if (context == nullptr)
        return false;
    MutexLocker locker(&context->lock);
    return context->used_count < context->table_size;
}

int insert_fd(io_context* context, file_descriptor* descriptor, int first_slot)
{
    MutexLocker locker(&context->lock);
    for (uint32_t slot = first_slot < 0 ? 0 : first_slot; slot < context->table_size; slot++) {
        if (context->fds[slot] != nullptr)
            continue;
        context->fds[slot] = descriptor;
        context->used_count++;
        atomic_fetch_add32(&descriptor->open_count, 1);
        return static_cast<int>(slot);
    }
    return FSSH_TOO_MANY_OPEN_FILES;
}

file_descriptor* get_fd(io_context* context, int fd)
{
    MutexLocker locker(&context->lock);
    if (fd < 0 || static_cast<uint32_t>(fd) >= context->table_size)
        return nullptr;
    file_descriptor* descriptor = context->fds[fd];
    if (descriptor != nullptr)
        atomic_fetch_add32(&descriptor->ref_count, 1);
    return descriptor;
}

file_descriptor* get_global_fd(int fd)
{
    io_context* context = get_global_io_context();
    return context != nullptr ? get_fd(context, fd) : nullptr;
}

void put_fd(file_descriptor* descriptor)
{
    if (atomic_fetch_add32(&descriptor->ref_count, -1) != 1)
        return;
    if (descriptor->ops->free != nullptr)
        descriptor->ops->free(descriptor);
    free(descriptor);
}

file_descriptor* remove_fd(io_context* context, int fd)
{
    MutexLocker locker(&context->lock);
    if (fd < 0 || static_cast<uint32_t>(fd) >= context->table_size)
        return nullptr;
    file_descriptor* descriptor = context->fds[fd];
    if (descriptor == nullptr)
        return nullptr;
    context->fds[fd] = nullptr;
    set_fd_close_on_exec(context, fd, false);
    context->used_count--;
    return descriptor;
}

void close_fd(file_descriptor* descriptor)
{
    if (atomic_fetch_add32(&descriptor->open_count, -1) != 1)
        return;
    vnode* node = fd_vnode(descriptor);
    if (node != nullptr) {
        MutexLocker locker(vnode_table_lock());
        if (node->locked_by == descriptor)
            node->locked_by = nullptr;
    }
    if (descriptor->ops->close != nullptr)
        descriptor->ops->close(descriptor);
}

vnode* fd_vnode(file_descriptor* descriptor)
{
    if (descriptor == nullptr)
        return nullptr;
    switch (descriptor->kind) {
        case DESCRIPTOR_FILE:
        case DESCRIPTOR_ATTRIBUTE:
        case DESCRIPTOR_DIRECTORY:
        case DESCRIPTOR_ATTRIBUTE_DIRECTORY:
            return descriptor->object.node;
        default:
            return nullptr;
    }
}

}  // namespace fssh
