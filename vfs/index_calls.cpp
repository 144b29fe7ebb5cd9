#include "vfs/index_calls.h"

#include "vfs/descriptor.h"
#include "vfs/hook_calls.h"
#include "vfs/mount.h"
#include "vfs/path_buffer.h"

#include <cstring>

namespace fssh {

namespace {

fs_volume* volume_of_fd(file_descriptor* descriptor)
{
    return descriptor->object.mount->volume;
}

// Index directory and query descriptors hold a reference on their mount, so
// that the volume cannot be unmounted under them.
template <void (*FreeCookie)(fs_volume*, void*)>
void free_volume_descriptor(file_descriptor* descriptor)
{
    FreeCookie(volume_of_fd(descriptor), descriptor->cookie);
    put_mount_reference(descriptor->object.mount);
}

template <status_code (*Close)(fs_volume*, void*)>
status_code close_volume_descriptor(file_descriptor* descriptor)
{
    return Close(volume_of_fd(descriptor), descriptor->cookie);
}

template <status_code (*Read)(fs_volume*, void*, kernel_dirent*, size_t, uint32_t*)>
status_code read_volume_descriptor(file_descriptor* descriptor, kernel_dirent* buffer,
                                   size_t buffer_size, uint32_t* count)
{
    return Read(volume_of_fd(descriptor), descriptor->cookie, buffer, buffer_size, count);
}

template <status_code (*Rewind)(fs_volume*, void*)>
status_code rewind_volume_descriptor(file_descriptor* descriptor)
{
    return Rewind(volume_of_fd(descriptor), descriptor->cookie);
}

const fd_ops s_index_dir_ops = {
    .read_dir = read_volume_descriptor<call_read_index_dir>,
    .rewind_dir = rewind_volume_descriptor<call_rewind_index_dir>,
    .close = close_volume_descriptor<call_close_index_dir>,
    .free = free_volume_descriptor<call_free_index_dir_cookie>,
};

const fd_ops s_query_ops = {
    .read_dir = read_volume_descriptor<call_read_query>,
    .rewind_dir = rewind_volume_descriptor<call_rewind_query>,
    .close = close_volume_descriptor<call_close_query>,
    .free = free_volume_descriptor<call_free_query_cookie>,
};

struct volume_kind {
    descriptor_kind kind;
    const fd_ops* ops;
    status_code (*close)(fs_volume*, void*);
    void (*free_cookie)(fs_volume*, void*);
};

const volume_kind s_index_dir_kind = {DESCRIPTOR_INDEX_DIRECTORY, &s_index_dir_ops,
                                      call_close_index_dir, call_free_index_dir_cookie};
const volume_kind s_query_kind = {DESCRIPTOR_QUERY, &s_query_ops, call_close_query,
                                  call_free_query_cookie};

// Wraps a cookie into a descriptor that takes over the mount reference; on
// failure the cookie is closed and freed and the reference dropped.
int make_descriptor(const volume_kind& kind, mount* record, void* cookie)
{
    int slot = new_fd(kind.kind, kind.ops, {.mount = record}, cookie, 0);
    if (slot < 0) {
        kind.close(record->volume, cookie);
        kind.free_cookie(record->volume, cookie);
        put_mount_reference(record);
    }
    return slot;
}

}  // namespace

int kern_open_index_dir(dev_t device)
{
    mount* record;
    status_code status = get_mount_reference(device, &record);
    if (status != FSSH_OK)
        return status;
    void* cookie;
    status = call_open_index_dir(record->volume, &cookie);
    if (status != FSSH_OK) {
        put_mount_reference(record);
        return status;
    }
    return make_descriptor(s_index_dir_kind, record, cookie);
}

status_code kern_create_index(dev_t device, const char* name, uint32_t type, uint32_t flags)
{
    status_code status = check_entry_name(name);
    if (status != FSSH_OK)
        return status;
    return with_mount_reference(device, [&](mount* record) {
        return call_create_index(record->volume, name, type, flags);
    });
}

status_code kern_remove_index(dev_t device, const char* name)
{
    status_code status = check_entry_name(name);
    if (status != FSSH_OK)
        return status;
    return with_mount_reference(
        device, [&](mount* record) { return call_remove_index(record->volume, name); });
}

status_code kern_read_index_stat(dev_t device, const char* name, kernel_stat* stat)
{
    status_code status = check_entry_name(name);
    if (status != FSSH_OK)
        return status;
    if (stat == nullptr)
        return FSSH_INVALID_ARGUMENT;
    return with_mount_reference(device, [&](mount* record) {
        return call_read_index_stat(record->volume, name, stat);
    });
}

int kern_open_query(dev_t device, const char* query, uint32_t flags, port_id port,
                    uint32_t token)
{
    if (query == nullptr)
        return FSSH_INVALID_ARGUMENT;
    mount* record;
    status_code status = get_mount_reference(device, &record);
    if (status != FSSH_OK)
        return status;
    void* cookie;
    status = call_open_query(record->volume, query, flags, port, token, &cookie);
    if (status != FSSH_OK) {
        put_mount_reference(record);
        return status;
    }
    return make_descriptor(s_query_kind, record, cookie);
}

}  // namespace fssh
