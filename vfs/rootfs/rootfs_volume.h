#pragma once

// A mounted root file system: its nodes, its lock, and the volume hooks
// (mount, unmount, sync, get_vnode).

#include "kernel/kernel_stat.h"
#include "kernel/lock.h"
#include "kernel/status.h"
#include "vfs/fs_interface.h"
#include "vfs/rootfs/rootfs_node_table.h"

#include <cstdint>

namespace fssh {

struct rootfs_node;

// Id of every root file system's root directory.
constexpr ino_t ROOTFS_ROOT_ID = 1;

// Buckets of the node table of a new volume.
constexpr uint32_t ROOTFS_INITIAL_BUCKETS = 16;

struct rootfs_volume {
    fs_volume* volume;
    dev_t id;      // the mount id
    rw_lock lock;  // "rootfs": read for lookups and directory reads, write for changes
    ino_t next_id;
    rootfs_node_table nodes;
    rootfs_node* root;
};

inline rootfs_volume* rootfs_volume_of(fs_volume* volume)
{
    return static_cast<rootfs_volume*>(volume->private_volume);
}

inline rootfs_node* rootfs_node_of(fs_vnode* vnode)
{
    return static_cast<rootfs_node*>(vnode->private_node);
}

// Holds the volume lock unless a hook re-enters from inside one of the file
// system's own calls into the layer, which holds it already.
template <status_code (*Lock)(rw_lock*), status_code (*Unlock)(rw_lock*)>
class RootfsLocker {
public:
    RootfsLocker(rootfs_volume* volume, bool reenter) : lock_(reenter ? nullptr : &volume->lock)
    {
        if (lock_ != nullptr)
            Lock(lock_);
    }
    ~RootfsLocker()
    {
        if (lock_ != nullptr)
            Unlock(lock_);
    }
    RootfsLocker(const RootfsLocker&) = delete;
    RootfsLocker& operator=(const RootfsLocker&) = delete;

private:
    rw_lock* lock_;
};

using RootfsReadLocker = RootfsLocker<rw_lock_lock_read, rw_lock_unlock_read>;
using RootfsWriteLocker = RootfsLocker<rw_lock_lock_write, rw_lock_unlock_write>;

// Module hook: creates the volume with its root directory (mode 0755) and
// publishes the root with one reference.
status_code rootfs_mount(fs_volume* volume, const char* device, uint32_t flags,
                         const char* arguments, ino_t* root_id);

// Frees every node and the volume; always FSSH_OK.
status_code rootfs_unmount(fs_volume* volume);

// Nothing is ever written anywhere: FSSH_OK.
status_code rootfs_sync(fs_volume* volume);

// Hands the node with this id to the layer; FSSH_NOT_FOUND for an unknown id.
status_code rootfs_get_vnode(fs_volume* volume, ino_t id, fs_vnode* vnode, uint32_t* type,
                             uint32_t* flags, bool reenter);

}  // namespace fssh
