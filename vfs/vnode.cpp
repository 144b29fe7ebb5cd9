#include "vfs/vnode.h"

#include "kernel/atomic.h"
#include "kernel/clock.h"
#include "kernel/debug.h"
#include "kernel/hash_table.h"
#include "vfs/hook_calls.h"
#include "vfs/mount.h"

#include <cstddef>
#include <new>

namespace fssh {

namespace {

constexpr uint32_t VNODE_TABLE_BUCKETS = 1024;
constexpr int64_t BUSY_RETRY_USECS = 10000;
constexpr int BUSY_RETRIES = 300;

struct vnode_key {
    dev_t device;
    ino_t id;
};

hash_table* s_vnode_table;
item_list s_unused_vnodes;  // oldest first
int32_t s_unused_count;
mutex s_vnode_lock;

int compare_vnode(void* element, const void* key)
{
    const vnode* node = static_cast<const vnode*>(element);
    const vnode_key* wanted = static_cast<const vnode_key*>(key);
    return node->device == wanted->device && node->id == wanted->id ? 0 : 1;
}

uint32_t hash_vnode(void* element, const void* key, uint32_t range)
{
    dev_t device;
    ino_t id;
    if (element != nullptr) {
        const vnode* node = static_cast<const vnode*>(element);
        device = node->device;
        id = node->id;
    } else {
        const vnode_key* wanted = static_cast<const vnode_key*>(key);
        device = wanted->device;
        id = wanted->id;
    }
    uint64_t bits = static_cast<uint64_t>(id);
    uint32_t hash = (static_cast<uint32_t>(bits >> 32) + static_cast<uint32_t>(bits)) ^
                    static_cast<uint32_t>(device);
    return hash % range;
}

// Takes the vnode out of the table and its mount's list and frees the record.
void delete_vnode_record(vnode* node)
{
    {
        MutexLocker locker(&s_vnode_lock);
        hash_remove(s_vnode_table, node);
    }
    {
        RecursiveLocker locker(&node->mount->rlock);
        item_list_remove(&node->mount->vnodes, node);
    }
    delete node;
}

// Loads an unknown node: creates its record marked busy, asks the volume's
// get_vnode hook to fill it, and keeps it only on success.
status_code load_vnode(MutexLocker& locker, dev_t device, ino_t id, vnode** out, bool reenter)
{
    vnode* node;
    status_code status = create_vnode_locked(device, id, &node);
    if (status != FSSH_OK)
        return status;
    node->type_and_flags |= VNODE_BUSY;
    locker.Unlock();

    uint32_t type = 0;
    uint32_t flags = 0;
    fs_volume* volume = node->mount->volume;
    status = volume->ops->get_vnode(volume, id, &node->fs, &type, &flags, reenter);
    if (status == FSSH_OK && node->fs.private_node == nullptr)
        status = FSSH_INVALID_ARGUMENT;
    if (status != FSSH_OK) {
        delete_vnode_record(node);
        return status;
    }

    locker.Lock();
    node->type_and_flags =
        (type & VNODE_TYPE_MASK) | (node->type_and_flags & (VNODE_REMOVED | VNODE_UNPUBLISHED));
    *out = node;
    return FSSH_OK;
}

}  // namespace

void vnode_table_init()
{
    s_vnode_table = hash_init(VNODE_TABLE_BUCKETS, offsetof(vnode, hash_next), compare_vnode,
                              hash_vnode);
    if (s_vnode_table == nullptr)
        panic("vfs_init: error creating vnode hash table\n");
    item_list_init_with_offset(&s_unused_vnodes, offsetof(vnode, unused_link));
    s_unused_count = 0;
    mutex_init(&s_vnode_lock, "vfs_vnode_lock");
}

mutex* vnode_table_lock()
{
    return &s_vnode_lock;
}

vnode* find_vnode_locked(dev_t device, ino_t id)
{
    vnode_key key{device, id};
    return static_cast<vnode*>(hash_lookup(s_vnode_table, &key));
}

vnode* lookup_vnode(dev_t device, ino_t id)
{
    MutexLocker locker(&s_vnode_lock);
    return find_vnode_locked(device, id);
}

status_code create_vnode_locked(dev_t device, ino_t id, vnode** out)
{
    vnode* node = new (std::nothrow) vnode{};
    if (node == nullptr)
        return FSSH_NO_MEMORY;
    node->device = device;
    node->id = id;

    MutexLocker mounts(mount_table_lock());
    mount* owner = find_mount_locked(device);
    if (owner == nullptr || owner->unmounting) {
        delete node;
        return FSSH_NOT_FOUND;
    }
    node->mount = owner;
    hash_insert(s_vnode_table, node);
    {
        RecursiveLocker locker(&owner->rlock);
        item_list_append(&owner->vnodes, node);
    }
    node->ref_count = 1;
    *out = node;
    return FSSH_OK;
}

status_code get_vnode_by_id(dev_t device, ino_t id, vnode** out, bool reenter, bool wait_if_busy)
{
    for (int retries = 0;; retries++) {
        MutexLocker locker(&s_vnode_lock);
        vnode* node = find_vnode_locked(device, id);
        if (node == nullptr)
            return load_vnode(locker, device, id, out, reenter);
        if ((node->type_and_flags & VNODE_BUSY) == 0) {
            inc_vnode_ref_count_locked(node);
            *out = node;
            return FSSH_OK;
        }
        locker.Unlock();
        if (!wait_if_busy)
            return FSSH_BUSY;
        if (retries == BUSY_RETRIES)
            panic("vnode %d:%ld is not becoming unbusy!\n", device, static_cast<long>(id));
        sleep_usecs(BUSY_RETRY_USECS);
    }
}

void inc_vnode_ref_count(vnode* node)
{
    atomic_fetch_add32(&node->ref_count, 1);
}

void inc_vnode_ref_count_locked(vnode* node)
{
    if (atomic_fetch_add32(&node->ref_count, 1) == 0)
        remove_from_unused_list_locked(node);
}

void remove_from_unused_list_locked(vnode* node)
{
    item_list_remove(&s_unused_vnodes, node);
    s_unused_count--;
}

void dec_vnode_ref_count(vnode* node, bool reenter)
{
    vnode* to_free = nullptr;
    {
        MutexLocker locker(&s_vnode_lock);
        if (atomic_fetch_add32(&node->ref_count, -1) != 1)
            return;
        if ((node->type_and_flags & VNODE_BUSY) != 0)
            panic("dec_vnode_ref_count: called on busy vnode %p\n", static_cast<void*>(node));

        if ((node->type_and_flags & VNODE_REMOVED) != 0) {
            to_free = node;
        } else {
            item_list_append(&s_unused_vnodes, node);
            if (++s_unused_count > MAX_UNUSED_VNODES) {
                to_free = static_cast<vnode*>(item_list_pop_front(&s_unused_vnodes));
                s_unused_count--;
            }
        }
        if (to_free != nullptr)
            to_free->type_and_flags |= VNODE_BUSY;
    }
    if (to_free != nullptr)
        free_vnode(to_free, reenter);
}

void free_vnode(vnode* node, bool reenter)
{
    bool removed = (node->type_and_flags & VNODE_REMOVED) != 0;
    if (!removed)
        call_fsync(node);
    if ((node->type_and_flags & VNODE_UNPUBLISHED) == 0) {
        if (removed)
            call_remove_vnode(node, reenter);
        else
            call_put_vnode(node, reenter);
    }
    delete_vnode_record(node);
}

}  // namespace fssh
