#pragma once

// The interface between the virtual file system layer and a file system
// module: the volume and vnode records handed to every hook, and the three
// hook tables (module record, volume hooks, vnode hooks) in their fixed slot
// order. An empty slot is a null pointer (every slot defaults to null, so a
// table names only the slots it fills); the layer's result for an empty slot
// is documented in vfs/hook_calls.h.

#include "kernel/kernel_stat.h"
#include "kernel/module.h"
#include "kernel/status.h"
#include "vfs/dirent.h"
#include "vfs/fs_info.h"

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

namespace fssh {

struct volume_ops;
struct vnode_ops;

// A port for live query updates and the token the file system echoes back.
using port_id = int32_t;

// One mounted volume as its file system sees it; allocated by fs_mount.
struct fs_volume {
    dev_t id;              // the mount id, also st_dev of its nodes
    int32_t partition;     // always 0
    void* private_volume;  // the file system's volume object, set by its mount hook
    volume_ops* ops;       // set by the mount hook
    fs_volume* sub_volume;    // layered volume below; always null here
    fs_volume* super_volume;  // layered volume above; always null here
};

// The file system's view of a node: the leading part of the kernel's vnode
// record. private_node must be non-null once the kernel knows the node.
struct fs_vnode {
    void* private_node;
    vnode_ops* ops;
};

// A device extent reported by get_file_map: a byte offset on the device (-1
// for a hole) and a length in bytes.
struct file_io_vec {
    off_t offset;
    off_t length;
};

// Asynchronous request I/O does not exist in this kernel; the type is only
// named by the io hook and by do_fd_io (vfs/descriptor_calls.h).
struct io_request;

// Disk-system records, used only by the module hooks the layer never calls.
using partition_id = int32_t;
using disk_job_id = int32_t;

constexpr uint32_t PARTITION_STATUS_VALID = 0;
constexpr uint32_t PARTITION_FLAG_FILE_SYSTEM = 0x2;  // the partition holds a file system

struct partition_data {
    partition_id id;
    off_t offset;
    off_t size;
    off_t content_size;
    uint32_t block_size;
    uint32_t status;
    uint32_t flags;
    char* name;
    char* content_name;  // heap copy, owned by the partition record
    void* content_cookie;
};

// The module record of a file system, registered with the module registry.
// Only `mount` is called by the layer.
struct fs_module_info {
    module_info info;  // name "file_systems/<short name>/v1", flags, std_ops
    const char* short_name = nullptr;
    const char* pretty_name = nullptr;
    uint32_t flags = 0;  // not interpreted by the layer

    float (*identify)(int fd, partition_data* partition, void** cookie) = nullptr;
    status_code (*scan)(int fd, partition_data* partition, void* cookie) = nullptr;
    void (*free_identify_cookie)(partition_data* partition, void* cookie) = nullptr;
    void (*free_content_cookie)(partition_data* partition) = nullptr;
    // On success the volume's private_volume and ops are set, and the root node
    // is in the vnode table with exactly one reference.
    status_code (*mount)(fs_volume* volume, const char* device, uint32_t flags,
                         const char* arguments, ino_t* root_id) = nullptr;
    uint32_t (*supported_operations)(partition_data* partition, uint32_t mask) = nullptr;
    void* reserved_module_6 = nullptr;
    void* reserved_module_7 = nullptr;
    void* reserved_module_8 = nullptr;
    void* reserved_module_9 = nullptr;
    void* reserved_module_10 = nullptr;
    void* reserved_module_11 = nullptr;
    void* reserved_module_12 = nullptr;
    void* reserved_module_13 = nullptr;
    void* reserved_module_14 = nullptr;
    void* reserved_module_15 = nullptr;
    void* reserved_module_16 = nullptr;
    void* reserved_module_17 = nullptr;
    status_code (*initialize)(int fd, partition_id partition, const char* name,
                              const char* parameters, off_t partition_size,
                              disk_job_id job) = nullptr;
    status_code (*uninitialize)(int fd, partition_id partition, off_t partition_size,
                                uint32_t block_size, disk_job_id job) = nullptr;
};

// Volume hooks; every one receives the volume record first.
struct volume_ops {
    status_code (*unmount)(fs_volume* volume) = nullptr;
    status_code (*read_fs_info)(fs_volume* volume, fs_info* info) = nullptr;
    status_code (*write_fs_info)(fs_volume* volume, const fs_info* info, uint32_t mask) = nullptr;
    status_code (*sync)(fs_volume* volume) = nullptr;
    // Must set vnode->private_node (non-null) and vnode->ops; type receives the
    // node's file type bits. The flags are ignored by the layer.
    status_code (*get_vnode)(fs_volume* volume, ino_t id, fs_vnode* vnode, uint32_t* type,
                             uint32_t* flags, bool reenter) = nullptr;

    status_code (*open_index_dir)(fs_volume* volume, void** cookie) = nullptr;
    status_code (*close_index_dir)(fs_volume* volume, void* cookie) = nullptr;
    status_code (*free_index_dir_cookie)(fs_volume* volume, void* cookie) = nullptr;
    status_code (*read_index_dir)(fs_volume* volume, void* cookie, kernel_dirent* buffer,
                                  size_t buffer_size, uint32_t* count) = nullptr;
    status_code (*rewind_index_dir)(fs_volume* volume, void* cookie) = nullptr;
    status_code (*create_index)(fs_volume* volume, const char* name, uint32_t type,
                                uint32_t flags) = nullptr;
    status_code (*remove_index)(fs_volume* volume, const char* name) = nullptr;
    status_code (*read_index_stat)(fs_volume* volume, const char* name,
                                   kernel_stat* stat) = nullptr;

    status_code (*open_query)(fs_volume* volume, const char* query, uint32_t flags, port_id port,
                              uint32_t token, void** cookie) = nullptr;
    status_code (*close_query)(fs_volume* volume, void* cookie) = nullptr;
    status_code (*free_query_cookie)(fs_volume* volume, void* cookie) = nullptr;
    status_code (*read_query)(fs_volume* volume, void* cookie, kernel_dirent* buffer,
                              size_t buffer_size, uint32_t* count) = nullptr;
    status_code (*rewind_query)(fs_volume* volume, void* cookie) = nullptr;

    // Only for layered volumes, which this program never creates.
    status_code (*create_layer_node)(fs_volume* volume, ino_t id, fs_vnode* vnode) = nullptr;
    status_code (*delete_layer_node)(fs_volume* volume, ino_t id, fs_vnode* vnode) = nullptr;
};

// Vnode hooks; every one receives the volume of the node's mount first and
// the node second. The comments name what the layer relies on.
struct vnode_ops {
    // Once per path component, "." and ".." included. On success the found node
    // has been referenced through get_vnode (vfs/vnode_services.h); that
    // reference passes to the caller.
    status_code (*lookup)(fs_volume* volume, fs_vnode* directory, const char* name,
                          ino_t* id) = nullptr;
    status_code (*get_vnode_name)(fs_volume* volume, fs_vnode* vnode, char* buffer,
                                  size_t size) = nullptr;
    status_code (*put_vnode)(fs_volume* volume, fs_vnode* vnode, bool reenter) = nullptr;
    status_code (*remove_vnode)(fs_volume* volume, fs_vnode* vnode, bool reenter) = nullptr;
    bool (*reserved_4)(fs_volume* volume, fs_vnode* vnode, void* cookie) = nullptr;
    status_code (*read_pages)(fs_volume* volume, fs_vnode* vnode, void* cookie, off_t position,
                              const iovec* vectors, size_t count, size_t* byte_count) = nullptr;
    status_code (*write_pages)(fs_volume* volume, fs_vnode* vnode, void* cookie, off_t position,
                               const iovec* vectors, size_t count, size_t* byte_count) = nullptr;
    status_code (*io)(fs_volume* volume, fs_vnode* vnode, void* cookie,
                      io_request* request) = nullptr;
    void* reserved_8 = nullptr;
    status_code (*get_file_map)(fs_volume* volume, fs_vnode* vnode, off_t offset, size_t size,
                                file_io_vec* vectors, size_t* count) = nullptr;
    status_code (*ioctl)(fs_volume* volume, fs_vnode* vnode, void* cookie, uint32_t operation,
                         void* buffer, size_t length) = nullptr;
    status_code (*set_flags)(fs_volume* volume, fs_vnode* vnode, void* cookie,
                             uint32_t flags) = nullptr;
    void* reserved_12 = nullptr;
    void* reserved_13 = nullptr;
    status_code (*fsync)(fs_volume* volume, fs_vnode* vnode) = nullptr;

    // size: buffer size in, link length out (no terminating zero is added).
    status_code (*read_symlink)(fs_volume* volume, fs_vnode* link, char* buffer,
                                size_t* size) = nullptr;
    status_code (*create_symlink)(fs_volume* volume, fs_vnode* directory, const char* name,
                                  const char* target, uint32_t mode) = nullptr;
    status_code (*link)(fs_volume* volume, fs_vnode* directory, const char* name,
                        fs_vnode* vnode) = nullptr;
    status_code (*unlink)(fs_volume* volume, fs_vnode* directory, const char* name) = nullptr;
    status_code (*rename)(fs_volume* volume, fs_vnode* from_directory, const char* from_name,
                          fs_vnode* to_directory, const char* to_name) = nullptr;

    // mode: 4 read, 2 write, 1 execute.
    status_code (*access)(fs_volume* volume, fs_vnode* vnode, uint32_t mode) = nullptr;
    status_code (*read_stat)(fs_volume* volume, fs_vnode* vnode, kernel_stat* stat) = nullptr;
    status_code (*write_stat)(fs_volume* volume, fs_vnode* vnode, const kernel_stat* stat,
                              uint32_t mask) = nullptr;
    void* reserved_23 = nullptr;

    // On success the new node is in the vnode table with one reference for the
    // caller.
    status_code (*create)(fs_volume* volume, fs_vnode* directory, const char* name,
                          uint32_t open_mode, uint32_t permissions, void** cookie,
                          ino_t* new_id) = nullptr;
    status_code (*open)(fs_volume* volume, fs_vnode* vnode, uint32_t open_mode,
                        void** cookie) = nullptr;
    status_code (*close)(fs_volume* volume, fs_vnode* vnode, void* cookie) = nullptr;
    status_code (*free_cookie)(fs_volume* volume, fs_vnode* vnode, void* cookie) = nullptr;
    // length: bytes wanted in, bytes done out.
    status_code (*read)(fs_volume* volume, fs_vnode* vnode, void* cookie, off_t position,
                        void* buffer, size_t* length) = nullptr;
    status_code (*write)(fs_volume* volume, fs_vnode* vnode, void* cookie, off_t position,
                         const void* buffer, size_t* length) = nullptr;

    status_code (*create_dir)(fs_volume* volume, fs_vnode* parent, const char* name,
                              uint32_t permissions) = nullptr;
    status_code (*remove_dir)(fs_volume* volume, fs_vnode* parent, const char* name) = nullptr;
    status_code (*open_dir)(fs_volume* volume, fs_vnode* vnode, void** cookie) = nullptr;
    status_code (*close_dir)(fs_volume* volume, fs_vnode* vnode, void* cookie) = nullptr;
    status_code (*free_dir_cookie)(fs_volume* volume, fs_vnode* vnode, void* cookie) = nullptr;
    // count: the maximum in, the number of entries out (0 at the end).
    status_code (*read_dir)(fs_volume* volume, fs_vnode* vnode, void* cookie,
                            kernel_dirent* buffer, size_t buffer_size, uint32_t* count) = nullptr;
    status_code (*rewind_dir)(fs_volume* volume, fs_vnode* vnode, void* cookie) = nullptr;

    status_code (*open_attr_dir)(fs_volume* volume, fs_vnode* vnode, void** cookie) = nullptr;
    status_code (*close_attr_dir)(fs_volume* volume, fs_vnode* vnode, void* cookie) = nullptr;
    status_code (*free_attr_dir_cookie)(fs_volume* volume, fs_vnode* vnode, void* cookie) = nullptr;
    status_code (*read_attr_dir)(fs_volume* volume, fs_vnode* vnode, void* cookie,
                                 kernel_dirent* buffer, size_t buffer_size,
                                 uint32_t* count) = nullptr;
    status_code (*rewind_attr_dir)(fs_volume* volume, fs_vnode* vnode, void* cookie) = nullptr;

    status_code (*create_attr)(fs_volume* volume, fs_vnode* vnode, const char* name,
                               uint32_t type, uint32_t open_mode, void** cookie) = nullptr;
    status_code (*open_attr)(fs_volume* volume, fs_vnode* vnode, const char* name,
                             uint32_t open_mode, void** cookie) = nullptr;
    status_code (*close_attr)(fs_volume* volume, fs_vnode* vnode, void* cookie) = nullptr;
    status_code (*free_attr_cookie)(fs_volume* volume, fs_vnode* vnode, void* cookie) = nullptr;
    status_code (*read_attr)(fs_volume* volume, fs_vnode* vnode, void* cookie, off_t position,
                             void* buffer, size_t* length) = nullptr;
    status_code (*write_attr)(fs_volume* volume, fs_vnode* vnode, void* cookie, off_t position,
                              const void* buffer, size_t* length) = nullptr;
    status_code (*read_attr_stat)(fs_volume* volume, fs_vnode* vnode, void* cookie,
                                  kernel_stat* stat) = nullptr;
    status_code (*write_attr_stat)(fs_volume* volume, fs_vnode* vnode, void* cookie,
                                   const kernel_stat* stat, uint32_t mask) = nullptr;
    status_code (*rename_attr)(fs_volume* volume, fs_vnode* from_vnode, const char* from_name,
                               fs_vnode* to_vnode, const char* to_name) = nullptr;
    status_code (*remove_attr)(fs_volume* volume, fs_vnode* vnode, const char* name) = nullptr;

    status_code (*make_node)(fs_volume* volume, fs_vnode* directory, const char* name,
                             fs_vnode* sub_vnode, uint32_t mode, uint32_t flags,
                             fs_vnode* super_vnode, ino_t* new_id) = nullptr;
    status_code (*get_super_node)(fs_volume* volume, fs_vnode* vnode, fs_volume* super_volume,
                                  fs_vnode* super_vnode) = nullptr;
};

// The slot layout is part of the interface: one pointer-sized word per slot.
static_assert(offsetof(fs_module_info, short_name) == 3 * sizeof(void*));
static_assert(offsetof(fs_module_info, identify) == 6 * sizeof(void*));
static_assert(offsetof(fs_module_info, mount) == 10 * sizeof(void*));
static_assert(offsetof(fs_module_info, initialize) == 24 * sizeof(void*));
static_assert(sizeof(fs_module_info) == 26 * sizeof(void*));
static_assert(sizeof(volume_ops) == 20 * sizeof(void*));
static_assert(offsetof(volume_ops, open_query) == 13 * sizeof(void*));
static_assert(offsetof(vnode_ops, fsync) == 14 * sizeof(void*));
static_assert(offsetof(vnode_ops, create) == 24 * sizeof(void*));
static_assert(offsetof(vnode_ops, open_attr_dir) == 37 * sizeof(void*));
static_assert(offsetof(vnode_ops, make_node) == 52 * sizeof(void*));
static_assert(sizeof(vnode_ops) == 54 * sizeof(void*));

}  // namespace fssh
