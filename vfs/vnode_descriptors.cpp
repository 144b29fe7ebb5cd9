#include "vfs/vnode_descriptors.h"

#include "kernel/debug.h"
#include "kernel/open_mode.h"
#include "vfs/descriptor.h"
#include "vfs/descriptor_calls.h"
#include "vfs/hook_calls.h"
#include "vfs/mount.h"
#include "vfs/path_walk.h"
#include "vfs/vnode.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fssh {

namespace {

vnode* node_of(file_descriptor* descriptor)
{
    return descriptor->object.node;
}

// The operations pass the descriptor's node and cookie to the hook named by
// their template argument.

template <status_code (*Read)(vnode*, void*, off_t, void*, size_t*)>
status_code read_descriptor(file_descriptor* descriptor, off_t position, void* buffer,
                            size_t* length)
{
    return Read(node_of(descriptor), descriptor->cookie, position, buffer, length);
}

template <status_code (*Write)(vnode*, void*, off_t, const void*, size_t*)>
status_code write_descriptor(file_descriptor* descriptor, off_t position, const void* buffer,
                             size_t* length)
{
    return Write(node_of(descriptor), descriptor->cookie, position, buffer, length);
}

template <status_code (*Rewind)(vnode*, void*)>
status_code rewind_descriptor(file_descriptor* descriptor)
{
    return Rewind(node_of(descriptor), descriptor->cookie);
}

template <status_code (*Close)(vnode*, void*)>
status_code close_descriptor(file_descriptor* descriptor)
{
    return Close(node_of(descriptor), descriptor->cookie);
}

template <void (*FreeCookie)(vnode*, void*)>
void free_descriptor(file_descriptor* descriptor)
{
    FreeCookie(node_of(descriptor), descriptor->cookie);
    dec_vnode_ref_count(node_of(descriptor), false);
}

status_code node_ioctl(file_descriptor* descriptor, uint32_t operation, void* buffer,
                       size_t length)
{
    return call_ioctl(node_of(descriptor), descriptor->cookie, operation, buffer, length);
}

status_code node_read_stat(file_descriptor* descriptor, kernel_stat* stat)
{
    stat->st_atim.tv_nsec = 0;
    stat->st_mtim.tv_nsec = 0;
    stat->st_ctim.tv_nsec = 0;
    stat->st_crtim.tv_nsec = 0;
    return call_read_stat(node_of(descriptor), stat);
}

status_code node_write_stat(file_descriptor* descriptor, const kernel_stat* stat, uint32_t mask)
{
    return call_write_stat(node_of(descriptor), stat, mask);
}

status_code attr_read_stat(file_descriptor* descriptor, kernel_stat* stat)
{
    return call_read_attr_stat(node_of(descriptor), descriptor->cookie, stat);
}

status_code attr_write_stat(file_descriptor* descriptor, const kernel_stat* stat, uint32_t mask)
{
    return call_write_attr_stat(node_of(descriptor), descriptor->cookie, stat, mask);
}

status_code attr_dir_read(file_descriptor* descriptor, kernel_dirent* buffer,
                          size_t buffer_size, uint32_t* count)
{
    return call_read_attr_dir(node_of(descriptor), descriptor->cookie, buffer, buffer_size,
                              count);
}

// Moves the position relative to the start, the current position or the size
// that ReadStat reports.
template <status_code (*ReadStat)(file_descriptor*, kernel_stat*)>
off_t seek_descriptor(file_descriptor* descriptor, off_t offset, int whence)
{
    off_t base;
    switch (whence) {
        case FSSH_SEEK_SET:
            base = 0;
            break;
        case FSSH_SEEK_CUR:
            base = descriptor->position;
            break;
        case FSSH_SEEK_END: {
            kernel_stat stat{};
            status_code status = ReadStat(descriptor, &stat);
            if (status != FSSH_OK)
                return status;
            base = stat.st_size;
            break;
        }
        default:
            return FSSH_INVALID_ARGUMENT;
    }
    if (base > 0 && offset > INT64_MAX - base)
        return FSSH_EOVERFLOW;
    off_t position = base + offset;
    if (position < 0)
        return FSSH_INVALID_ARGUMENT;
    descriptor->position = position;
    return position;
}

// Directories.

// Entries are accessed field by field, since a file system may pack records
// without aligning them.
template <typename T>
T read_field(const char* record, size_t offset)
{
    T value;
    memcpy(&value, record + offset, sizeof(value));
    return value;
}

template <typename T>
void write_field(char* record, size_t offset, T value)
{
    memcpy(record + offset, &value, sizeof(value));
}

void set_entry_node(char* record, dev_t device, ino_t id)
{
    write_field(record, offsetof(kernel_dirent, d_dev), device);
    write_field(record, offsetof(kernel_dirent, d_ino), id);
}

// The directory that holds the mount point `root` covers, found by walking
// ".." from the volume's root, becomes the entry's node.
void report_covered_parent(vnode* root, char* record)
{
    char dot_dot[] = "..";
    inc_vnode_ref_count(root);
    vnode* parent;
    if (vnode_path_to_vnode(root, dot_dot, false, 0, &parent, nullptr) != FSSH_OK)
        return;
    set_entry_node(record, parent->device, parent->id);
    dec_vnode_ref_count(parent, false);
}

// A mount point entry becomes the root of the volume mounted on it.
void report_covering_root(char* record)
{
    vnode* node = lookup_vnode(read_field<dev_t>(record, offsetof(kernel_dirent, d_dev)),
                               read_field<ino_t>(record, offsetof(kernel_dirent, d_ino)));
    if (node == nullptr)
        return;
    MutexLocker locker(covered_by_lock());
    if (node->covered_by != nullptr)
        set_entry_node(record, node->covered_by->device, node->covered_by->id);
}

// Makes an entry read from `directory` tell the truth across mounts.
void fix_up_dirent(vnode* directory, char* record)
{
    write_field(record, offsetof(kernel_dirent, d_pdev), directory->device);
    write_field(record, offsetof(kernel_dirent, d_pino), directory->id);
    mount* owner = directory->mount;
    if (strcmp(record + DIRENT_NAME_OFFSET, "..") == 0 && directory == owner->root_vnode &&
        owner->covers_vnode != nullptr) {
        report_covered_parent(directory, record);
    } else {
        report_covering_root(record);
    }
}

status_code dir_read(file_descriptor* descriptor, kernel_dirent* buffer, size_t buffer_size,
                     uint32_t* count)
{
    vnode* directory = node_of(descriptor);
    status_code status = call_read_dir(directory, descriptor->cookie, buffer, buffer_size, count);
    if (status != FSSH_OK)
        return status;

    // Every entry the hook returned is fixed up, walking the records while
    // they stay inside the buffer.
    char* records = reinterpret_cast<char*>(buffer);
    size_t offset = 0;
    for (uint32_t index = 0; index < *count; index++) {
        if (buffer_size - offset <= DIRENT_NAME_OFFSET)
            break;
        char* record = records + offset;
        uint16_t length = read_field<uint16_t>(record, offsetof(kernel_dirent, d_reclen));
        if (length <= DIRENT_NAME_OFFSET || length > buffer_size - offset)
            break;
        fix_up_dirent(directory, record);
        offset += length;
    }
    return FSSH_OK;
}

const fd_ops s_file_ops = {
    .read = read_descriptor<call_read>,
    .write = write_descriptor<call_write>,
    .seek = seek_descriptor<node_read_stat>,
    .ioctl = node_ioctl,
    .read_stat = node_read_stat,
    .write_stat = node_write_stat,
    .close = close_descriptor<call_close>,
    .free = free_descriptor<call_free_cookie>,
};

const fd_ops s_dir_ops = {
    .ioctl = node_ioctl,
    .read_dir = dir_read,
    .rewind_dir = rewind_descriptor<call_rewind_dir>,
    .read_stat = node_read_stat,
    .write_stat = node_write_stat,
    .close = close_descriptor<call_close_dir>,
    .free = free_descriptor<call_free_dir_cookie>,
};

const fd_ops s_attr_ops = {
    .read = read_descriptor<call_read_attr>,
    .write = write_descriptor<call_write_attr>,
    .seek = seek_descriptor<attr_read_stat>,
    .ioctl = node_ioctl,
    .read_stat = attr_read_stat,
    .write_stat = attr_write_stat,
    .close = close_descriptor<call_close_attr>,
    .free = free_descriptor<call_free_attr_cookie>,
};

const fd_ops s_attr_dir_ops = {
    .ioctl = node_ioctl,
    .read_dir = attr_dir_read,
    .rewind_dir = rewind_descriptor<call_rewind_attr_dir>,
    .read_stat = node_read_stat,
    .write_stat = node_write_stat,
    .close = close_descriptor<call_close_attr_dir>,
    .free = free_descriptor<call_free_attr_dir_cookie>,
};

// What making a descriptor of one kind needs, including how to give back a
// cookie when no descriptor can be made.
struct vnode_kind {
    descriptor_kind kind;
    const fd_ops* ops;
    status_code (*close)(vnode*, void*);
    void (*free_cookie)(vnode*, void*);
};

const vnode_kind s_file_kind = {DESCRIPTOR_FILE, &s_file_ops, call_close, call_free_cookie};
const vnode_kind s_dir_kind = {DESCRIPTOR_DIRECTORY, &s_dir_ops, call_close_dir,
                               call_free_dir_cookie};
const vnode_kind s_attr_kind = {DESCRIPTOR_ATTRIBUTE, &s_attr_ops, call_close_attr,
                                call_free_attr_cookie};
const vnode_kind s_attr_dir_kind = {DESCRIPTOR_ATTRIBUTE_DIRECTORY, &s_attr_dir_ops,
                                    call_close_attr_dir, call_free_attr_dir_cookie};

// Wraps the cookie an opening hook made into a descriptor made from `record`;
// on failure the cookie is closed and freed.
int make_descriptor(const vnode_kind& kind, vnode* node, void* cookie, uint32_t open_mode,
                    NewDescriptor& record)
{
    status_code slot = node->locked_by != nullptr
                           ? FSSH_BUSY
                           : record.Install(kind.kind, kind.ops, {.node = node}, cookie,
                                            open_mode);
    if (slot < 0) {
        kind.close(node, cookie);
        kind.free_cookie(node, cookie);
    }
    return slot;
}

int make_descriptor(const vnode_kind& kind, vnode* node, void* cookie, uint32_t open_mode)
{
    NewDescriptor record;
    return make_descriptor(kind, node, cookie, open_mode, record);
}

// Whether a create may run: the descriptor for its result must have its
// record and a slot.
status_code secure_descriptor(const NewDescriptor& record)
{
    status_code status = record.InitCheck();
    if (status != FSSH_OK)
        return status;
    return has_free_fd_slot() ? FSSH_OK : FSSH_TOO_MANY_OPEN_FILES;
}

}  // namespace

int open_vnode(vnode* node, uint32_t open_mode)
{
    void* cookie;
    status_code status = call_open(node, open_mode, &cookie);
    if (status != FSSH_OK)
        return status;
    return make_descriptor(s_file_kind, node, cookie, open_mode);
}

int create_and_open_vnode(vnode* directory, const char* name, uint32_t open_mode,
                          uint32_t permissions)
{
    NewDescriptor record;
    status_code status = secure_descriptor(record);
    if (status != FSSH_OK)
        return status;
    void* cookie;
    ino_t id;
    status = call_create(directory, name, open_mode, permissions, &cookie, &id);
    if (status != FSSH_OK)
        return status;
    vnode* node = lookup_vnode(directory->device, id);
    if (node == nullptr) {
        debug_printf("vfs: fs_create() returned success but there is no vnode!");
        return FSSH_INVALID_ARGUMENT;
    }
    int slot = make_descriptor(s_file_kind, node, cookie, open_mode, record);
    if (slot < 0)
        dec_vnode_ref_count(node, false);
    return slot;
}

int open_dir_vnode(vnode* node)
{
    void* cookie;
    status_code status = call_open_dir(node, &cookie);
    if (status != FSSH_OK)
        return status;
    return make_descriptor(s_dir_kind, node, cookie, 0);
}

int open_attr_dir_vnode(vnode* node)
{
    void* cookie;
    status_code status = call_open_attr_dir(node, &cookie);
    if (status != FSSH_OK)
        return status;
    return make_descriptor(s_attr_dir_kind, node, cookie, 0);
}

int open_attr_vnode(vnode* node, const char* name, uint32_t type, uint32_t open_mode)
{
    NewDescriptor record;
    void* cookie;
    status_code status;
    if ((open_mode & FSSH_O_CREAT) != 0) {
        status = secure_descriptor(record);
        if (status == FSSH_OK)
            status = call_create_attr(node, name, type, open_mode, &cookie);
    } else {
        status = call_open_attr(node, name, open_mode, &cookie);
    }
    if (status != FSSH_OK)
        return status;
    return make_descriptor(s_attr_kind, node, cookie, open_mode, record);
}

}  // namespace fssh
