#include "vfs/mount.h"

#include "kernel/debug.h"
#include "kernel/hash_table.h"
#include "vfs/vnode.h"

#include <cstddef>

namespace fssh {

namespace {

constexpr uint32_t MOUNT_TABLE_BUCKETS = 16;

hash_table* s_mount_table;
dev_t s_next_mount_id = 1;
vnode* s_root_vnode;
recursive_lock s_mount_op_lock;
mutex s_mount_lock;
mutex s_covered_by_lock;

int compare_mount(void* element, const void* key)
{
    return static_cast<const mount*>(element)->id == *static_cast<const dev_t*>(key) ? 0 : 1;
}

uint32_t hash_mount(void* element, const void* key, uint32_t range)
{
    dev_t id = element != nullptr ? static_cast<const mount*>(element)->id
                                  : *static_cast<const dev_t*>(key);
    return static_cast<uint32_t>(id) % range;
}

}  // namespace

void mount_table_init()
{
    s_mount_table =
        hash_init(MOUNT_TABLE_BUCKETS, offsetof(mount, hash_next), compare_mount, hash_mount);
    if (s_mount_table == nullptr)
        panic("vfs_init: error creating mounts hash table\n");
    s_root_vnode = nullptr;
    recursive_lock_init(&s_mount_op_lock, "vfs_mount_op_lock");
    mutex_init(&s_mount_lock, "vfs_mount_lock");
    mutex_init(&s_covered_by_lock, "vfs_vnode_covered_by_lock");
}

recursive_lock* mount_op_lock()
{
    return &s_mount_op_lock;
}

mutex* mount_table_lock()
{
    return &s_mount_lock;
}

mutex* covered_by_lock()
{
    return &s_covered_by_lock;
}

mount* find_mount_locked(dev_t id)
{
    return static_cast<mount*>(hash_lookup(s_mount_table, &id));
}

void insert_mount_locked(mount* record)
{
    hash_insert(s_mount_table, record);
}

void remove_mount_locked(mount* record)
{
    hash_remove(s_mount_table, record);
}

dev_t take_next_mount_id()
{
    return s_next_mount_id++;
}

dev_t peek_next_mount_id()
{
    return s_next_mount_id;
}

status_code get_mount_reference(dev_t id, mount** out)
{
    MutexLocker locker(&s_mount_lock);
    mount* record = find_mount_locked(id);
    if (record == nullptr)
        return FSSH_INVALID_ARGUMENT;
    if (record->root_vnode == nullptr)
        return FSSH_BUSY;
    // The mount itself holds a reference on its root, so this one never
    // revives an unused vnode.
    inc_vnode_ref_count(record->root_vnode);
    *out = record;
    return FSSH_OK;
}

void put_mount_reference(mount* record)
{
    dec_vnode_ref_count(record->root_vnode, false);
}

vnode* root_vnode()
{
    return s_root_vnode;
}

void set_root_vnode(vnode* node)
{
    s_root_vnode = node;
}

vnode* get_covering_root(vnode* node)
{
    MutexLocker locker(&s_covered_by_lock);
    vnode* root = node->covered_by;
    if (root != nullptr)
        inc_vnode_ref_count(root);
    return root;
}

}  // namespace fssh
