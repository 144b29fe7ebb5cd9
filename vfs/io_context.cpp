#include "vfs/io_context.h"

#include "kernel/atomic.h"
#include "vfs/descriptor.h"
#include "vfs/mount.h"
#include "vfs/vnode.h"

#include <cstdlib>
#include <new>

namespace fssh {

namespace {

io_context* s_global_io_context;

// Shares every descriptor of the parent that is not marked close-on-exec.
void inherit_descriptors(io_context* context, io_context* parent)
{
    for (uint32_t slot = 0; slot < parent->table_size; slot++) {
        file_descriptor* descriptor = parent->fds[slot];
        if (descriptor == nullptr || fd_close_on_exec(parent, static_cast<int>(slot)))
            continue;
        atomic_fetch_add32(&descriptor->ref_count, 1);
        atomic_fetch_add32(&descriptor->open_count, 1);
        context->fds[slot] = descriptor;
        context->used_count++;
    }
}

}  // namespace

io_context* vfs_new_io_context(io_context* parent)
{
    io_context* context = new (std::nothrow) io_context{};
    if (context == nullptr)
        return nullptr;
    uint32_t table_size = parent != nullptr ? parent->table_size : DEFAULT_FD_TABLE_SIZE;
    size_t bitmap_size = (table_size + 7) / 8;
    void* table = calloc(1, table_size * sizeof(file_descriptor*) + bitmap_size);
    if (table == nullptr) {
        delete context;
        return nullptr;
    }
    context->table_size = table_size;
    context->fds = static_cast<file_descriptor**>(table);
    context->close_on_exec = reinterpret_cast<uint8_t*>(context->fds + table_size);
    mutex_init(&context->lock, "I/O context");

    if (parent != nullptr) {
        MutexLocker locker(&parent->lock);
        context->cwd = parent->cwd;
        inherit_descriptors(context, parent);
    } else {
        context->cwd = root_vnode();
    }
    if (context->cwd != nullptr)
        inc_vnode_ref_count(context->cwd);
    return context;
}

void vfs_free_io_context(io_context* context)
{
    if (context->cwd != nullptr)
        dec_vnode_ref_count(context->cwd, false);
    for (uint32_t slot = 0; slot < context->table_size; slot++) {
        file_descriptor* descriptor = context->fds[slot];
        if (descriptor == nullptr)
            continue;
        context->fds[slot] = nullptr;
        close_fd(descriptor);
        put_fd(descriptor);
    }
    mutex_destroy(&context->lock);
    free(context->fds);
    delete context;
}

io_context* get_global_io_context()
{
    return s_global_io_context;
}

void set_global_io_context(io_context* context)
{
    s_global_io_context = context;
}

bool fd_close_on_exec(const io_context* context, int fd)
{
    return (context->close_on_exec[fd / 8] & (1u << (fd % 8))) != 0;
}

void set_fd_close_on_exec(io_context* context, int fd, bool close_on_exec)
{
    uint8_t bit = static_cast<uint8_t>(1u << (fd % 8));
    if (close_on_exec)
        context->close_on_exec[fd / 8] |= bit;
    else
        context->close_on_exec[fd / 8] &= static_cast<uint8_t>(~bit);
}

}  // namespace fssh
