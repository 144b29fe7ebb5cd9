#pragma once

// The kernel's vnode record and the vnode table: every node a file system has
// handed to the kernel, keyed by (mount id, node id), with reference counts
// and a cache of up to 16 unreferenced vnodes. These are the layer's own
// operations; file systems use vfs/vnode_services.h.

#include "kernel/item_list.h"
#include "kernel/kernel_stat.h"
#include "kernel/lock.h"
#include "kernel/status.h"
#include "vfs/fs_interface.h"

#include <cstdint>

namespace fssh {

struct mount;
struct file_descriptor;

// Bits of vnode::type_and_flags above the file type bits.
constexpr uint32_t VNODE_TYPE_MASK = 0x1FFFFFFF;
constexpr uint32_t VNODE_REMOVED = 1u << 29;
constexpr uint32_t VNODE_BUSY = 1u << 30;
constexpr uint32_t VNODE_UNPUBLISHED = 1u << 31;

// The most unreferenced vnodes kept cached.
constexpr int32_t MAX_UNUSED_VNODES = 16;

// Starts with the file system's view (private_node, ops), which is what the
// hooks receive.
struct vnode {
    fs_vnode fs;
    vnode* hash_next;
    void* reserved;
    dev_t device;
    list_link mount_link;   // in its mount's vnode list
    list_link unused_link;  // in the unused-vnode list while unreferenced
    ino_t id;
    struct mount* mount;
    vnode* covered_by;  // root vnode of the volume mounted on this node
    int32_t ref_count;
    uint32_t type_and_flags;
    file_descriptor* locked_by;  // holder of the node's mandatory lock
};

inline uint32_t vnode_type(const vnode* node) { return node->type_and_flags & VNODE_TYPE_MASK; }
inline bool vnode_is_directory(const vnode* node) { return FSSH_S_ISDIR(vnode_type(node)); }
inline bool vnode_is_symlink(const vnode* node) { return FSSH_S_ISLNK(vnode_type(node)); }

// Creates the vnode table, the unused list and the vnode lock; a table that
// cannot be created panics.
void vnode_table_init();

// The lock of the vnode table, the reference counts, the flags and the unused
// list. Hooks are never called with it held.
mutex* vnode_table_lock();

// The vnode (device, id) without taking a reference, or null. Takes the vnode
// table lock; the caller must not hold it.
vnode* lookup_vnode(dev_t device, ino_t id);

// Same with the vnode table lock held by the caller.
vnode* find_vnode_locked(dev_t device, ino_t id);

// The kernel's vnode record behind a hook's vnode argument.
inline vnode* vnode_of(fs_vnode* node) { return reinterpret_cast<vnode*>(node); }

// Creates a vnode record with reference count 1, in the table and in its
// mount's vnode list. FSSH_NOT_FOUND when the mount does not exist or is
// unmounting. The caller holds the vnode table lock.
status_code create_vnode_locked(dev_t device, ino_t id, vnode** out);

// Takes a reference on (device, id), loading the node through its volume's
// get_vnode hook when it is not in the table. A busy vnode is waited for (and
// the process ends when it stays busy) when wait_if_busy is set; otherwise it
// gives FSSH_BUSY.
status_code get_vnode_by_id(dev_t device, ino_t id, vnode** out, bool reenter,
                            bool wait_if_busy = true);

// Adds a reference to a vnode the caller already holds.
void inc_vnode_ref_count(vnode* node);

// Adds a reference to a vnode that may be unreferenced (taking it off the
// unused list). The caller holds the vnode table lock.
void inc_vnode_ref_count_locked(vnode* node);

// Drops one reference. At 0 the vnode is freed if it is marked removed, and
// otherwise joins the unused list, evicting the oldest unused vnode when more
// than 16 are cached. reenter tells the file system whether the release came
// from itself.
void dec_vnode_ref_count(vnode* node, bool reenter);

// Takes an unreferenced vnode off the unused list. The caller holds the vnode
// table lock.
void remove_from_unused_list_locked(vnode* node);

// Frees a busy vnode: fsync and put_vnode (or remove_vnode for a removed one)
// through its hooks unless unpublished, then out of the table and its mount's
// list. The caller must not hold the vnode table lock.
void free_vnode(vnode* node, bool reenter);

// Scoped vnode reference: released with dec_vnode_ref_count(reenter false)
// unless detached.
class VnodeReference {
public:
    explicit VnodeReference(vnode* node = nullptr) : node_(node) {}
    ~VnodeReference() { Reset(); }
    VnodeReference(const VnodeReference&) = delete;
    VnodeReference& operator=(const VnodeReference&) = delete;

    vnode* Get() const { return node_; }
    vnode* operator->() const { return node_; }
    // Releases the held reference (if any) and holds `node` instead.
    void Reset(vnode* node = nullptr)
    {
        if (node_ != nullptr)
            dec_vnode_ref_count(node_, false);
        node_ = node;
    }
    // Hands the reference on to the caller.
    vnode* Detach()
    {
        vnode* node = node_;
        node_ = nullptr;
        return node;
    }

private:
    vnode* node_;
};

}  // namespace fssh
