#pragma once

// Descriptor records: what a descriptor number of an I/O context refers to,
// with one operation table per kind, and their reference and open counting.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "vfs/dirent.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

struct vnode;
struct mount;
struct io_context;
struct file_descriptor;

enum descriptor_kind : int32_t {
    DESCRIPTOR_FILE = 1,
    DESCRIPTOR_ATTRIBUTE = 2,
    DESCRIPTOR_DIRECTORY = 3,
    DESCRIPTOR_ATTRIBUTE_DIRECTORY = 4,
    DESCRIPTOR_INDEX_DIRECTORY = 6,
    DESCRIPTOR_QUERY = 7,
};

// The operations of one descriptor kind; a null slot (the default) is an
// operation the kind does not have.
struct fd_ops {
    status_code (*read)(file_descriptor* descriptor, off_t position, void* buffer,
                        size_t* length) = nullptr;
    status_code (*write)(file_descriptor* descriptor, off_t position, const void* buffer,
                         size_t* length) = nullptr;
    // The new position, or a negative status.
    off_t (*seek)(file_descriptor* descriptor, off_t offset, int whence) = nullptr;
    status_code (*ioctl)(file_descriptor* descriptor, uint32_t operation, void* buffer,
                         size_t length) = nullptr;
    void* reserved_4 = nullptr;
    void* reserved_5 = nullptr;
    status_code (*read_dir)(file_descriptor* descriptor, kernel_dirent* buffer,
                            size_t buffer_size, uint32_t* count) = nullptr;
    status_code (*rewind_dir)(file_descriptor* descriptor) = nullptr;
    status_code (*read_stat)(file_descriptor* descriptor, kernel_stat* stat) = nullptr;
    status_code (*write_stat)(file_descriptor* descriptor, const kernel_stat* stat,
                              uint32_t mask) = nullptr;
    // When the last table slot referring to the descriptor is closed.
    status_code (*close)(file_descriptor* descriptor) = nullptr;
    // When the last reference goes; releases what the descriptor holds.
    void (*free)(file_descriptor* descriptor) = nullptr;
};

union descriptor_object {
    vnode* node;          // kinds 1 to 4
    struct mount* mount;  // kinds 6 and 7
};

struct file_descriptor {
    descriptor_kind kind;
    int32_t ref_count;   // 1 at creation, one more per temporary holder
    int32_t open_count;  // table slots referring to it
    const fd_ops* ops;
    descriptor_object object;
    void* cookie;
    int32_t open_mode;
    off_t position;
};

// A descriptor record made ahead of the object it will hold, so that an
// operation that cannot be undone safely (creating an entry) runs only once
// the record exists. Install() fills it in and inserts it into the lowest free
// slot of the global I/O context; a record never installed is freed unseen.
class NewDescriptor {
public:
    NewDescriptor();
    ~NewDescriptor();
    NewDescriptor(const NewDescriptor&) = delete;
    NewDescriptor& operator=(const NewDescriptor&) = delete;

    // FSSH_NO_MEMORY when the record could not be allocated.
    status_code InitCheck() const;
    // Returns the slot (the descriptor has reference count 1). On failure
    // (FSSH_NO_MEMORY, FSSH_TOO_MANY_OPEN_FILES) nothing is left behind: the
    // object and the cookie stay with the caller.
    int Install(descriptor_kind kind, const fd_ops* ops, descriptor_object object, void* cookie,
                uint32_t open_mode);

private:
    file_descriptor* descriptor_;
};

// Makes a descriptor of the object and the cookie and installs it, as
// NewDescriptor does in one step.
int new_fd(descriptor_kind kind, const fd_ops* ops, descriptor_object object, void* cookie,
           uint32_t open_mode);

// Whether the global I/O context has a free slot.
bool has_free_fd_slot();

// Inserts the descriptor into the lowest free slot at or above first_slot and
// returns the slot (adding one open count). FSSH_TOO_MANY_OPEN_FILES when no
// slot is free; the caller then still owns its reference.
int insert_fd(io_context* context, file_descriptor* descriptor, int first_slot = 0);

// The descriptor in slot `fd` with one more reference, or null.
file_descriptor* get_fd(io_context* context, int fd);

// The same in the global I/O context (null when there is none yet).
file_descriptor* get_global_fd(int fd);

// Drops one reference; the last one calls the free operation and frees the
// record.
void put_fd(file_descriptor* descriptor);

// Takes the descriptor out of its slot (clearing the slot's close-on-exec bit)
// and hands the slot's reference to the caller; null for a free slot.
file_descriptor* remove_fd(io_context* context, int fd);

// Drops one open count; the last one releases the node's mandatory lock if
// this descriptor holds it and calls the close operation.
void close_fd(file_descriptor* descriptor);

// The vnode of a descriptor of kinds 1 to 4, else null (also for a null
// descriptor).
vnode* fd_vnode(file_descriptor* descriptor);

// Scoped descriptor reference: released with put_fd unless detached.
class DescriptorReference {
public:
    explicit DescriptorReference(file_descriptor* descriptor = nullptr)
        : descriptor_(descriptor) {}
    ~DescriptorReference()
    {
        if (descriptor_ != nullptr)
            put_fd(descriptor_);
    }
    DescriptorReference(const DescriptorReference&) = delete;
    DescriptorReference& operator=(const DescriptorReference&) = delete;

    file_descriptor* Get() const { return descriptor_; }
    file_descriptor* operator->() const { return descriptor_; }
    file_descriptor* Detach()
    {
        file_descriptor* descriptor = descriptor_;
        descriptor_ = nullptr;
        return descriptor;
    }

private:
    file_descriptor* descriptor_;
};

}  // namespace fssh
