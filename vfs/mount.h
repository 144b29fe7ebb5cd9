#pragma once

// The mount record and the mount table: one record per mounted volume, keyed
// by mount id, and the root vnode of the whole name space.

#include "kernel/item_list.h"
#include "kernel/kernel_stat.h"
#include "kernel/lock.h"
#include "kernel/status.h"
#include "vfs/fs_interface.h"

namespace fssh {

struct vnode;

struct mount {
    mount* hash_next;
    fs_module_info* module;  // referenced through get_module
    dev_t id;
    fs_volume* volume;
    char* device_name;  // null without a device
    char* fs_name;      // short name, "rootfs" or "wfs"
    recursive_lock rlock;  // "mount rlock": guards the vnode list
    vnode* root_vnode;
    vnode* covers_vnode;  // null for the root file system
    item_list vnodes;
    bool unmounting;  // no vnode may join once set
};

// Creates the mount table and the mount and covered-by locks; a table that
// cannot be created panics.
void mount_table_init();

// The lock that serialises mounting and unmounting.
recursive_lock* mount_op_lock();

// The lock of the mount table.
mutex* mount_table_lock();

// The lock of every vnode's covered_by link.
mutex* covered_by_lock();

// The mount with this id, or null. The caller holds the mount table lock.
mount* find_mount_locked(dev_t id);

// Inserts a mount and removes it again; the caller holds the mount table lock.
void insert_mount_locked(mount* record);
void remove_mount_locked(mount* record);

// Takes and returns the next mount id (1, 2, ...); mount ids never go back.
dev_t take_next_mount_id();

// The id the next mount will get.
dev_t peek_next_mount_id();

// Takes a reference on the mount's root vnode. FSSH_INVALID_ARGUMENT for an
// unknown mount, FSSH_BUSY for one whose root vnode is not set yet.
status_code get_mount_reference(dev_t id, mount** out);
void put_mount_reference(mount* record);

// Runs call(volume) for the mount's volume with a mount reference held, and
// returns its status (or the failure to take the reference).
template <typename Call>
status_code with_mount_reference(dev_t id, Call call)
{
    mount* record;
    status_code status = get_mount_reference(id, &record);
    if (status != FSSH_OK)
        return status;
    status = call(record);
    put_mount_reference(record);
    return status;
}

// The root vnode of the name space (of the first volume mounted), or null.
vnode* root_vnode();
void set_root_vnode(vnode* node);

// The root vnode of the volume mounted on `node`, with a new reference, or
// null when nothing is mounted on it.
vnode* get_covering_root(vnode* node);

}  // namespace fssh
