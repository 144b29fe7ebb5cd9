#include "tests/fuse/memory_volume.h"

#include "kernel/open_mode.h"
#include "vfs/dirent.h"
#include "vfs/vnode_services.h"
#include "vfs/write_stat_mask.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace memory_volume {

namespace {

using fssh::fs_vnode;
using fssh::fs_volume;
using fssh::status_code;

struct node {
    fssh::ino_t id;
    const char* name;
};

node nodes[] = {
    {ROOT_ID, "."},
    {FILE_ID, "file"},
    {UNSTATABLE_ID, "unstatable"},
    {CREATED_ID, "created"},
};

// The directory listing: ".", "..", then every existing node but the root.
const char* const listing[] = {".", "..", "file", "unstatable", "created"};

size_t listing_size()
{
    return state().created ? std::size(listing) : std::size(listing) - 1;
}

bool exists(const node& candidate)
{
    return candidate.id != CREATED_ID || state().created;
}

node* find_node(fssh::ino_t id)
{
    for (node& candidate : nodes) {
        if (candidate.id == id && exists(candidate))
            return &candidate;
    }
    return nullptr;
}

node* find_entry(const char* name)
{
    for (node& candidate : nodes) {
        if (candidate.id != ROOT_ID && exists(candidate) && strcmp(candidate.name, name) == 0)
            return &candidate;
    }
    return nullptr;
}

node* as_node(fs_vnode* vnode)
{
    return static_cast<node*>(vnode->private_node);
}

uint32_t node_mode(const node* which)
{
    if (which->id == ROOT_ID)
        return fssh::FSSH_S_IFDIR | 0755;
    return which->id == CREATED_ID ? state().created_mode : state().file_mode;
}

extern fssh::vnode_ops vnode_hooks;
extern fssh::volume_ops volume_hooks;

status_code mount(fs_volume* volume, const char*, uint32_t, const char*, fssh::ino_t* root_id)
{
    volume->private_volume = &state();
    volume->ops = &volume_hooks;
    status_code status = fssh::publish_vnode(volume, ROOT_ID, find_node(ROOT_ID), &vnode_hooks,
                                             fssh::FSSH_S_IFDIR, 0);
    if (status != fssh::FSSH_OK)
        return status;
    *root_id = ROOT_ID;
    return fssh::FSSH_OK;
}

status_code unmount(fs_volume*)
{
    return fssh::FSSH_OK;
}

status_code read_fs_info(fs_volume*, fssh::fs_info* info)
{
    if (state().fail_fs_info)
        return fssh::FSSH_IO_ERROR;
    info->block_size = state().block_size;
    info->io_size = state().block_size;
    info->total_blocks = TOTAL_BLOCKS;
    info->free_blocks = FREE_BLOCKS;
    strncpy(info->volume_name, VOLUME_NAME, sizeof(info->volume_name) - 1);
    return fssh::FSSH_OK;
}

status_code get_vnode(fs_volume*, fssh::ino_t id, fs_vnode* vnode, uint32_t* type,
                      uint32_t* flags, bool)
{
    node* found = find_node(id);
    if (found == nullptr)
        return fssh::FSSH_NOT_FOUND;
    vnode->private_node = found;
    vnode->ops = &vnode_hooks;
    *type = node_mode(found) & fssh::FSSH_S_IFMT;
    *flags = 0;
    return fssh::FSSH_OK;
}

status_code lookup(fs_volume* volume, fs_vnode* directory, const char* name, fssh::ino_t* id)
{
    if (as_node(directory)->id != ROOT_ID)
        return fssh::FSSH_NOT_A_DIRECTORY;
    node* found = strcmp(name, ".") == 0 || strcmp(name, "..") == 0 ? find_node(ROOT_ID)
                                                                     : find_entry(name);
    if (found == nullptr)
        return fssh::FSSH_NOT_FOUND;
    void* private_node;
    status_code status = fssh::get_vnode(volume, found->id, &private_node);
    if (status != fssh::FSSH_OK)
        return status;
    *id = found->id;
    return fssh::FSSH_OK;
}

status_code put_vnode(fs_volume*, fs_vnode*, bool)
{
    return fssh::FSSH_OK;
}

// Only "created" can be made; an existing entry is opened unless the open
// mode asks for an exclusive create.
status_code create_file(fs_volume* volume, fs_vnode*, const char* name, uint32_t open_mode,
                        uint32_t permissions, void** cookie, fssh::ino_t* id)
{
    state().last_open_mode = open_mode;
    node* found = find_entry(name);
    if (found != nullptr && (open_mode & fssh::FSSH_O_EXCL) != 0)
        return fssh::FSSH_FILE_EXISTS;
    if (found == nullptr && strcmp(name, "created") != 0)
        return fssh::FSSH_NOT_PERMITTED;
    if (found == nullptr) {
        state().created = true;
        state().created_mode = fssh::FSSH_S_IFREG | (permissions & 07777);
        found = find_entry(name);
    }
    void* private_node;
    status_code status = fssh::get_vnode(volume, found->id, &private_node);
    if (status != fssh::FSSH_OK)
        return status;
    *cookie = nullptr;
    *id = found->id;
    return fssh::FSSH_OK;
}

status_code check_access(fs_volume*, fs_vnode*, uint32_t mode)
{
    state().last_access_mode = mode;
    return fssh::FSSH_OK;
}

status_code sync_volume(fs_volume*)
{
    state().sync_count++;
    return fssh::FSSH_OK;
}

status_code read_stat(fs_volume*, fs_vnode* vnode, fssh::kernel_stat* stat)
{
    node* which = as_node(vnode);
    if (which->id == UNSTATABLE_ID)
        return fssh::FSSH_IO_ERROR;
    stat->st_mode = node_mode(which);
    stat->st_nlink = 1;
    stat->st_size = which->id == FILE_ID ? static_cast<fssh::off_t>(state().file_contents.size())
                                         : 0;
    stat->st_blksize = 65536;
    return fssh::FSSH_OK;
}

status_code write_stat(fs_volume*, fs_vnode* vnode, const fssh::kernel_stat* stat,
                       uint32_t mask)
{
    if (as_node(vnode)->id != FILE_ID)
        return fssh::FSSH_NOT_PERMITTED;
    if ((mask & fssh::FSSH_STAT_SIZE) != 0)
        state().file_contents.resize(static_cast<size_t>(stat->st_size));
    if ((mask & fssh::FSSH_STAT_MODE) != 0)
        state().file_mode = fssh::FSSH_S_IFREG | (stat->st_mode & 0xfff);
    return fssh::FSSH_OK;
}

status_code open_file(fs_volume*, fs_vnode* vnode, uint32_t open_mode, void** cookie)
{
    state().last_open_mode = open_mode;
    if (as_node(vnode)->id == ROOT_ID && (open_mode & fssh::FSSH_O_RWMASK) != 0)
        return fssh::FSSH_IS_A_DIRECTORY;
    if (as_node(vnode)->id == FILE_ID && (open_mode & fssh::FSSH_O_TRUNC) != 0)
        state().file_contents.clear();
    *cookie = nullptr;
    return fssh::FSSH_OK;
}

status_code close_cookie(fs_volume*, fs_vnode*, void*)
{
    return fssh::FSSH_OK;
}

status_code read_file(fs_volume*, fs_vnode* vnode, void*, fssh::off_t position, void* buffer,
                 size_t* length)
{
    if (as_node(vnode)->id != FILE_ID)
        return fssh::FSSH_IS_A_DIRECTORY;
    const std::string& contents = state().file_contents;
    size_t start = std::min(static_cast<size_t>(position), contents.size());
    *length = std::min(*length, contents.size() - start);
    memcpy(buffer, contents.data() + start, *length);
    return fssh::FSSH_OK;
}

status_code write_file(fs_volume*, fs_vnode* vnode, void*, fssh::off_t position, const void* buffer,
                  size_t* length)
{
    if (as_node(vnode)->id != FILE_ID)
        return fssh::FSSH_IS_A_DIRECTORY;
    std::string& contents = state().file_contents;
    size_t start = static_cast<size_t>(position);
    if (contents.size() < start + *length)
        contents.resize(start + *length);
    memcpy(contents.data() + start, buffer, *length);
    return fssh::FSSH_OK;
}

status_code open_dir(fs_volume*, fs_vnode* vnode, void** cookie)
{
    if (as_node(vnode)->id != ROOT_ID)
        return fssh::FSSH_NOT_A_DIRECTORY;
    *cookie = new size_t(0);
    return fssh::FSSH_OK;
}

status_code free_dir_cookie(fs_volume*, fs_vnode*, void* cookie)
{
    delete static_cast<size_t*>(cookie);
    return fssh::FSSH_OK;
}

status_code read_dir(fs_volume* volume, fs_vnode*, void* cookie, fssh::kernel_dirent* buffer,
                     size_t buffer_size, uint32_t* count)
{
    size_t* position = static_cast<size_t*>(cookie);
    if (*position >= listing_size()) {
        *count = 0;
        return fssh::FSSH_OK;
    }
    const char* name = listing[*position];
    size_t record_length = fssh::DIRENT_NAME_OFFSET + strlen(name) + 1;
    if (buffer_size < record_length)
        return fssh::FSSH_ENOBUFS;
    buffer->d_dev = volume->id;
    buffer->d_pdev = volume->id;
    buffer->d_ino = *position < 2 ? ROOT_ID : nodes[*position - 1].id;
    buffer->d_pino = ROOT_ID;
    buffer->d_reclen = static_cast<uint16_t>(record_length);
    memcpy(buffer->d_name, name, strlen(name) + 1);
    ++*position;
    *count = 1;
    return fssh::FSSH_OK;
}

status_code rewind_dir(fs_volume*, fs_vnode*, void* cookie)
{
    *static_cast<size_t*>(cookie) = 0;
    return fssh::FSSH_OK;
}

fssh::volume_ops make_volume_hooks()
{
    fssh::volume_ops hooks{};
    hooks.unmount = unmount;
    hooks.read_fs_info = read_fs_info;
    hooks.sync = sync_volume;
    hooks.get_vnode = get_vnode;
    return hooks;
}

fssh::vnode_ops make_vnode_hooks()
{
    fssh::vnode_ops hooks{};
    hooks.lookup = lookup;
    hooks.put_vnode = put_vnode;
    hooks.access = check_access;
    hooks.create = create_file;
    hooks.read_stat = read_stat;
    hooks.write_stat = write_stat;
    hooks.open = open_file;
    hooks.close = close_cookie;
    hooks.free_cookie = close_cookie;
    hooks.read = read_file;
    hooks.write = write_file;
    hooks.open_dir = open_dir;
    hooks.close_dir = close_cookie;
    hooks.free_dir_cookie = free_dir_cookie;
    hooks.read_dir = read_dir;
    hooks.rewind_dir = rewind_dir;
    return hooks;
}

fssh::fs_module_info make_module_record()
{
    fssh::fs_module_info record{};
    record.info = {MODULE_NAME, 0, fssh::module_std_ops_without_state};
    record.short_name = "memoryfs";
    record.pretty_name = "Memory Test File System";
    record.mount = mount;
    return record;
}

fssh::volume_ops volume_hooks = make_volume_hooks();
fssh::vnode_ops vnode_hooks = make_vnode_hooks();

}  // namespace

volume_state& state()
{
    static volume_state the_state;
    return the_state;
}

fssh::fs_module_info module = make_module_record();

fssh::fs_module_info* const module_list[] = {&module, nullptr};

}  // namespace memory_volume
