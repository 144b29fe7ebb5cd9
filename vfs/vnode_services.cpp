#include "vfs/vnode_services.h"

#include "kernel/atomic.h"
#include "kernel/debug.h"
#include "vfs/mount.h"
#include "vfs/vnode.h"

namespace fssh {

namespace {

// Creates a reserved vnode: busy and unpublished, with one reference.
status_code create_reserved_vnode_locked(fs_volume* volume, ino_t id, void* private_node,
                                         vnode_ops* ops, vnode** out)
{
    vnode* node;
    status_code status = create_vnode_locked(volume->id, id, &node);
    if (status != FSSH_OK)
        return status;
    node->fs.private_node = private_node;
    node->fs.ops = ops;
    node->type_and_flags |= VNODE_BUSY | VNODE_UNPUBLISHED;
    *out = node;
    return FSSH_OK;
}

}  // namespace

status_code reserve_vnode(fs_volume* volume, ino_t id, void* private_node, vnode_ops* ops)
{
    if (private_node == nullptr)
        return FSSH_INVALID_ARGUMENT;
    MutexLocker locker(vnode_table_lock());
    vnode* node = find_vnode_locked(volume->id, id);
    if (node != nullptr) {
        panic("vnode %d:%ld already exists (node = %p, vnode->node = %p)!", volume->id,
              static_cast<long>(id), private_node, node->fs.private_node);
    }
    return create_reserved_vnode_locked(volume, id, private_node, ops, &node);
}

status_code publish_vnode(fs_volume* volume, ino_t id, void* private_node, vnode_ops* ops,
                          uint32_t type, uint32_t)
{
    MutexLocker locker(vnode_table_lock());
    vnode* node = find_vnode_locked(volume->id, id);
    if (node == nullptr) {
        if (private_node == nullptr)
            return FSSH_INVALID_ARGUMENT;
        status_code status = create_reserved_vnode_locked(volume, id, private_node, ops, &node);
        if (status != FSSH_OK)
            return status;
    } else {
        constexpr uint32_t reserved = VNODE_BUSY | VNODE_UNPUBLISHED;
        if ((node->type_and_flags & reserved) != reserved ||
            node->fs.private_node != private_node) {
            return FSSH_INVALID_ARGUMENT;
        }
    }
    node->type_and_flags = (type & VNODE_TYPE_MASK) | (node->type_and_flags & VNODE_REMOVED);
    return FSSH_OK;
}

status_code get_vnode(fs_volume* volume, ino_t id, void** private_node)
{
    if (volume == nullptr)
        return FSSH_INVALID_ARGUMENT;
    vnode* node;
    status_code status = get_vnode_by_id(volume->id, id, &node, true);
    if (status != FSSH_OK)
        return status;

    void* result = node->fs.private_node;
    if (node->fs.ops->get_super_node != nullptr) {
        fs_vnode resolved{};
        status = node->fs.ops->get_super_node(node->mount->volume, &node->fs, volume, &resolved);
        if (status != FSSH_OK) {
            panic("get_vnode(): Failed to get super node for vnode %p, volume: %p",
                  static_cast<void*>(node), static_cast<void*>(volume));
        }
        result = resolved.private_node;
    }
    if (private_node != nullptr)
        *private_node = result;
    return FSSH_OK;
}

status_code put_vnode(fs_volume* volume, ino_t id)
{
    vnode* node = lookup_vnode(volume->id, id);
    if (node == nullptr)
        return FSSH_INVALID_ARGUMENT;
    dec_vnode_ref_count(node, true);
    return FSSH_OK;
}

status_code ref_vnode(fs_volume* volume, ino_t id)
{
    MutexLocker locker(vnode_table_lock());
    vnode* node = find_vnode_locked(volume->id, id);
    if (node == nullptr)
        return FSSH_INVALID_ARGUMENT;
    inc_vnode_ref_count_locked(node);
    return FSSH_OK;
}

status_code remove_vnode(fs_volume* volume, ino_t id)
{
    MutexLocker locker(vnode_table_lock());
    vnode* node = find_vnode_locked(volume->id, id);
    if (node == nullptr)
        return FSSH_NOT_FOUND;
    {
        MutexLocker covered(covered_by_lock());
        if (node->covered_by != nullptr)
            return FSSH_BUSY;
    }
    node->type_and_flags |= VNODE_REMOVED;
    if ((node->type_and_flags & VNODE_UNPUBLISHED) == 0)
        return FSSH_OK;

    // An unpublished node was never seen by anyone but its file system: it goes
    // at once.
    node->type_and_flags |= VNODE_BUSY;
    atomic_fetch_add32(&node->ref_count, -1);
    locker.Unlock();
    free_vnode(node, true);
    return FSSH_OK;
}

status_code cancel_vnode_removal(fs_volume* volume, ino_t id)
{
    MutexLocker locker(vnode_table_lock());
    vnode* node = find_vnode_locked(volume->id, id);
    if (node != nullptr)
        node->type_and_flags &= ~VNODE_REMOVED;
    return FSSH_OK;
}

status_code is_vnode_removed(fs_volume* volume, ino_t id, bool* removed)
{
    MutexLocker locker(vnode_table_lock());
    vnode* node = find_vnode_locked(volume->id, id);
    if (node == nullptr)
        return FSSH_INVALID_ARGUMENT;
    *removed = (node->type_and_flags & VNODE_REMOVED) != 0;
    return FSSH_OK;
}

}  // namespace fssh
