#include "vfs/sync.h"

#include "kernel/debug.h"
#include "vfs/descriptor.h"
#include "vfs/hook_calls.h"
#include "vfs/mount.h"
#include "vfs/vnode.h"

namespace fssh {

namespace {

// Calls fsync on every vnode of the mount, holding each one while the next is
// taken so that the walk never stands on a freed vnode.
void sync_mount_vnodes(mount* record)
{
    vnode* previous = nullptr;
    vnode* next;
    {
        RecursiveLocker locker(&record->rlock);
        next = static_cast<vnode*>(item_list_next(&record->vnodes, nullptr));
    }
    while (next != nullptr) {
        vnode* current;
        if (get_vnode_by_id(record->id, next->id, &current, true, false) != FSSH_OK) {
            debug_printf("syncing of mount %d stopped due to vnode %ld.\n", record->id,
                         static_cast<long>(next->id));
            break;
        }
        call_fsync(current);
        if (previous != nullptr)
            dec_vnode_ref_count(previous, true);
        previous = current;
        RecursiveLocker locker(&record->rlock);
        next = static_cast<vnode*>(item_list_next(&record->vnodes, current));
    }
    if (previous != nullptr)
        dec_vnode_ref_count(previous, true);
}

bool has_private_volume(dev_t id)
{
    MutexLocker locker(mount_table_lock());
    mount* record = find_mount_locked(id);
    return record != nullptr && record->volume->private_volume != nullptr;
}

}  // namespace

status_code kern_sync()
{
    for (dev_t id = 0; id < peek_next_mount_id(); id++) {
        mount* record;
        if (!has_private_volume(id) || get_mount_reference(id, &record) != FSSH_OK)
            continue;
        status_code status = call_sync(record->volume);
        sync_mount_vnodes(record);
        put_mount_reference(record);
        if (status != FSSH_OK && status != FSSH_INVALID_ARGUMENT)
            debug_printf("sync: device %d couldn't sync: %s\n", id, status_text(status));
    }
    return FSSH_OK;
}

status_code kern_fsync(int fd)
{
    DescriptorReference descriptor(get_global_fd(fd));
    vnode* node = fd_vnode(descriptor.Get());
    if (node == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    return call_fsync(node);
}

}  // namespace fssh
