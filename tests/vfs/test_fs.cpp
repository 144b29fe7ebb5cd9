#include "tests/vfs/test_fs.h"

#include "kernel/module.h"
#include "kernel/open_mode.h"
#include "vfs/announcements.h"
#include "vfs/vnode_services.h"
#include "vfs/write_stat_mask.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace vfs_test {

using namespace fssh;

namespace {

std::map<dev_t, TestVolume*>& volumes()
{
    static std::map<dev_t, TestVolume*> registry;
    return registry;
}

// Volumes stay readable after their unmount, so that tests can check what the
// unmount did.
std::map<dev_t, std::unique_ptr<TestVolume>>& unmounted_volumes()
{
    static std::map<dev_t, std::unique_ptr<TestVolume>> graveyard;
    return graveyard;
}

TestVolume* volume_of(fs_volume* volume)
{
    return static_cast<TestVolume*>(volume->private_volume);
}

TestNode* node_of(fs_vnode* vnode)
{
    return static_cast<TestNode*>(vnode->private_node);
}

// Counts the call and reports the failure the test asked for, if any.
status_code enter(fs_volume* volume, const char* hook)
{
    TestVolume* test = volume_of(volume);
    test->calls[hook]++;
    auto failure = test->failures.find(hook);
    return failure != test->failures.end() ? failure->second : FSSH_OK;
}

bool is_directory(const TestNode* node)
{
    return FSSH_S_ISDIR(node->mode);
}

// A directory cookie: the names still to be returned, "." and ".." first.
struct DirCookie {
    std::vector<std::pair<std::string, ino_t>> entries;
    size_t next = 0;
};

void fill_dir_cookie(const TestNode* directory, DirCookie* cookie)
{
    cookie->entries.clear();
    cookie->entries.emplace_back(".", directory->id);
    cookie->entries.emplace_back("..", directory->parent->id);
    for (const auto& [name, child] : directory->children)
        cookie->entries.emplace_back(name, child->id);
    cookie->next = 0;
}

// Writes as many entries as fit, up to *count.
status_code write_entries(fs_volume* volume, DirCookie* cookie, kernel_dirent* buffer,
                          size_t buffer_size, uint32_t* count)
{
    uint32_t written = 0;
    size_t offset = 0;
    while (written < *count && cookie->next < cookie->entries.size()) {
        const auto& [name, id] = cookie->entries[cookie->next];
        // Records are padded to 8 bytes so that every one is aligned.
        size_t length = (DIRENT_NAME_OFFSET + name.size() + 1 + 7) & ~size_t{7};
        if (offset + length > buffer_size)
            break;
        auto* entry = reinterpret_cast<kernel_dirent*>(reinterpret_cast<char*>(buffer) + offset);
        entry->d_dev = volume->id;
        entry->d_pdev = -7;  // the layer fills the parent fields
        entry->d_ino = id;
        entry->d_pino = -7;
        entry->d_reclen = static_cast<uint16_t>(length);
        memcpy(entry->d_name, name.c_str(), name.size() + 1);
        offset += length;
        written++;
        cookie->next++;
    }
    if (written == 0 && cookie->next < cookie->entries.size())
        return FSSH_ENOBUFS;
    *count = written;
    return FSSH_OK;
}

// A file or attribute cookie.
struct OpenCookie {
    TestNode* node;
    uint32_t open_mode;
    std::string attribute;
};

// Hooks that only count their call (and fail on request), named by Hook.
template <const char* Hook>
status_code counted_close(fs_volume* volume, fs_vnode*, void*)
{
    return enter(volume, Hook);
}

template <const char* Hook>
status_code counted_free_dir_cookie(fs_volume* volume, fs_vnode*, void* cookie)
{
    volume_of(volume)->calls[Hook]++;
    delete static_cast<DirCookie*>(cookie);
    return FSSH_OK;
}

template <const char* Hook>
status_code counted_read_dir(fs_volume* volume, fs_vnode*, void* cookie, kernel_dirent* buffer,
                             size_t buffer_size, uint32_t* count)
{
    status_code status = enter(volume, Hook);
    if (status != FSSH_OK)
        return status;
    return write_entries(volume, static_cast<DirCookie*>(cookie), buffer, buffer_size, count);
}

constexpr char CLOSE[] = "close";
constexpr char CLOSE_DIR[] = "close_dir";
constexpr char FREE_DIR_COOKIE[] = "free_dir_cookie";
constexpr char READ_DIR[] = "read_dir";
constexpr char CLOSE_ATTR_DIR[] = "close_attr_dir";
constexpr char FREE_ATTR_DIR_COOKIE[] = "free_attr_dir_cookie";
constexpr char READ_ATTR_DIR[] = "read_attr_dir";
constexpr char CLOSE_ATTR[] = "close_attr";

// Vnode hooks.

status_code test_lookup(fs_volume* volume, fs_vnode* directory, const char* name, ino_t* id)
{
    status_code status = enter(volume, "lookup");
    if (status != FSSH_OK)
        return status;
    TestNode* dir = node_of(directory);
    if (!is_directory(dir))
        return FSSH_NOT_A_DIRECTORY;
    TestNode* found;
    if (strcmp(name, ".") == 0) {
        found = dir;
    } else if (strcmp(name, "..") == 0) {
        found = dir->parent;
    } else {
        auto child = dir->children.find(name);
        if (child == dir->children.end())
            return FSSH_NOT_FOUND;
        found = child->second;
    }
    if (!volume_of(volume)->lookup_skips_get_vnode) {
        status = get_vnode(volume, found->id, nullptr);
        if (status != FSSH_OK)
            return status;
    }
    name_cache_add(volume->id, dir->id, name, found->id);
    *id = found->id;
    return FSSH_OK;
}

status_code test_put_vnode(fs_volume* volume, fs_vnode* vnode, bool reenter)
{
    TestVolume* test = volume_of(volume);
    test->calls["put_vnode"]++;
    test->put_vnode_calls[node_of(vnode)->id]++;
    test->put_vnode_reenter.push_back(reenter);
    return FSSH_OK;
}

status_code test_remove_vnode(fs_volume* volume, fs_vnode* vnode, bool reenter)
{
    TestVolume* test = volume_of(volume);
    TestNode* node = node_of(vnode);
    test->calls["remove_vnode"]++;
    test->remove_vnode_calls[node->id]++;
    test->put_vnode_reenter.push_back(reenter);
    if (node->link_count == 0)
        test->nodes.erase(node->id);
    return FSSH_OK;
}

status_code test_ioctl(fs_volume* volume, fs_vnode*, void*, uint32_t operation, void* buffer,
                       size_t length)
{
    status_code status = enter(volume, "ioctl");
    if (status != FSSH_OK)
        return status;
    if (buffer != nullptr && length >= sizeof(operation))
        memcpy(buffer, &operation, sizeof(operation));
    return FSSH_OK;
}

status_code test_set_flags(fs_volume* volume, fs_vnode*, void*, uint32_t flags)
{
    status_code status = enter(volume, "set_flags");
    if (status == FSSH_OK)
        volume_of(volume)->last_set_flags = flags;
    return status;
}

status_code test_fsync(fs_volume* volume, fs_vnode* vnode)
{
    volume_of(volume)->fsync_calls[node_of(vnode)->id]++;
    return enter(volume, "fsync");
}

status_code test_read_symlink(fs_volume* volume, fs_vnode* vnode, char* buffer, size_t* size)
{
    status_code status = enter(volume, "read_symlink");
    if (status != FSSH_OK)
        return status;
    TestNode* node = node_of(vnode);
    if (!FSSH_S_ISLNK(node->mode))
        return FSSH_INVALID_ARGUMENT;
    memcpy(buffer, node->link_target.data(), std::min(*size, node->link_target.size()));
    *size = node->link_target.size();
    return FSSH_OK;
}

// Creates the entry `name` in `directory`.
status_code create_entry(fs_volume* volume, TestNode* directory, const char* name, uint32_t mode,
                         TestNode** out)
{
    if (!is_directory(directory))
        return FSSH_NOT_A_DIRECTORY;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || directory->children.count(name))
        return FSSH_FILE_EXISTS;
    *out = volume_of(volume)->AddNode(directory, name, mode);
    return FSSH_OK;
}

status_code test_create_symlink(fs_volume* volume, fs_vnode* directory, const char* name,
                                const char* target, uint32_t mode)
{
    status_code status = enter(volume, "create_symlink");
    if (status != FSSH_OK)
        return status;
    TestNode* link;
    status = create_entry(volume, node_of(directory), name, FSSH_S_IFLNK | (mode & 0777), &link);
    if (status == FSSH_OK)
        link->link_target = target;
    return status;
}

status_code test_link(fs_volume* volume, fs_vnode* directory, const char* name, fs_vnode* target)
{
    status_code status = enter(volume, "link");
    if (status != FSSH_OK)
        return status;
    TestNode* dir = node_of(directory);
    if (dir->children.count(name))
        return FSSH_FILE_EXISTS;
    dir->children[name] = node_of(target);
    node_of(target)->link_count++;
    return FSSH_OK;
}

// Removes an entry the way a real file system does: the node is marked
// removed through the kernel and deleted when its last reference goes.
status_code remove_entry(fs_volume* volume, TestNode* directory, const char* name,
                         bool as_directory)
{
    auto entry = directory->children.find(name);
    if (entry == directory->children.end())
        return FSSH_NOT_FOUND;
    TestNode* node = entry->second;
    if (as_directory && !is_directory(node))
        return FSSH_NOT_A_DIRECTORY;
    if (!as_directory && is_directory(node))
        return FSSH_IS_A_DIRECTORY;
    if (as_directory && !node->children.empty())
        return FSSH_DIRECTORY_NOT_EMPTY;
    if (node->link_count == 1) {
        status_code status = get_vnode(volume, node->id, nullptr);
        if (status != FSSH_OK)
            return status;
        status = remove_vnode(volume, node->id);
        if (status != FSSH_OK) {
            put_vnode(volume, node->id);
            return status;
        }
        directory->children.erase(entry);
        node->link_count = 0;
        put_vnode(volume, node->id);
        return FSSH_OK;
    }
    node->link_count--;
    directory->children.erase(entry);
    return FSSH_OK;
}

status_code test_unlink(fs_volume* volume, fs_vnode* directory, const char* name)
{
    status_code status = enter(volume, "unlink");
    if (status != FSSH_OK)
        return status;
    return remove_entry(volume, node_of(directory), name, false);
}

status_code test_rename(fs_volume* volume, fs_vnode* from_directory, const char* from_name,
                        fs_vnode* to_directory, const char* to_name)
{
    status_code status = enter(volume, "rename");
    if (status != FSSH_OK)
        return status;
    TestNode* from = node_of(from_directory);
    TestNode* to = node_of(to_directory);
    auto entry = from->children.find(from_name);
    if (entry == from->children.end())
        return FSSH_NOT_FOUND;
    TestNode* node = entry->second;
    if (to->children.count(to_name)) {
        status = remove_entry(volume, to, to_name, is_directory(to->children[to_name]));
        if (status != FSSH_OK)
            return status;
    }
    from->children.erase(entry);
    to->children[to_name] = node;
    node->parent = to;
    return FSSH_OK;
}

status_code test_access(fs_volume* volume, fs_vnode*, uint32_t mode)
{
    volume_of(volume)->access_modes.push_back(mode);
    return enter(volume, "access");
}

status_code test_read_stat(fs_volume* volume, fs_vnode* vnode, kernel_stat* stat)
{
    status_code status = enter(volume, "read_stat");
    if (status != FSSH_OK)
        return status;
    TestNode* node = node_of(vnode);
    stat->st_dev = -5;  // the layer sets the device and the id
    stat->st_ino = -5;
    stat->st_mode = node->mode;
    stat->st_nlink = node->link_count;
    stat->st_uid = node->user_id;
    stat->st_gid = node->group_id;
    stat->st_size = FSSH_S_ISLNK(node->mode) ? static_cast<off_t>(node->link_target.size())
                                             : static_cast<off_t>(node->data.size());
    stat->st_blksize = 65536;
    return FSSH_OK;
}

status_code test_write_stat(fs_volume* volume, fs_vnode* vnode, const kernel_stat* stat,
                            uint32_t mask)
{
    status_code status = enter(volume, "write_stat");
    if (status != FSSH_OK)
        return status;
    TestNode* node = node_of(vnode);
    if (mask & FSSH_STAT_MODE)
        node->mode = (node->mode & FSSH_S_IFMT) | (stat->st_mode & 07777);
    if (mask & FSSH_STAT_UID)
        node->user_id = stat->st_uid;
    if (mask & FSSH_STAT_GID)
        node->group_id = stat->st_gid;
    if (mask & FSSH_STAT_SIZE)
        node->data.resize(static_cast<size_t>(stat->st_size));
    return FSSH_OK;
}

status_code open_cookie(TestNode* node, uint32_t open_mode, void** cookie)
{
    if (is_directory(node) && (open_mode & FSSH_O_RWMASK) != FSSH_O_RDONLY)
        return FSSH_IS_A_DIRECTORY;
    *cookie = new OpenCookie{node, open_mode, {}};
    return FSSH_OK;
}

status_code test_create(fs_volume* volume, fs_vnode* directory, const char* name,
                        uint32_t open_mode, uint32_t permissions, void** cookie, ino_t* new_id)
{
    status_code status = enter(volume, "create");
    if (status != FSSH_OK)
        return status;
    TestNode* dir = node_of(directory);
    TestNode* node;
    auto existing = dir->children.find(name);
    if (existing != dir->children.end()) {
        if (open_mode & FSSH_O_EXCL)
            return FSSH_FILE_EXISTS;
        node = existing->second;
    } else {
        status = create_entry(volume, dir, name, FSSH_S_IFREG | (permissions & 07777), &node);
        if (status != FSSH_OK)
            return status;
    }
    *new_id = node->id;
    if (volume_of(volume)->create_skips_get_vnode) {
        // The layer cannot give back a cookie for a node it does not know.
        *cookie = nullptr;
        return FSSH_OK;
    }
    status = get_vnode(volume, node->id, nullptr);
    if (status != FSSH_OK)
        return status;
    open_cookie(node, open_mode, cookie);
    return FSSH_OK;
}

status_code test_open(fs_volume* volume, fs_vnode* vnode, uint32_t open_mode, void** cookie)
{
    status_code status = enter(volume, "open");
    if (status != FSSH_OK)
        return status;
    return open_cookie(node_of(vnode), open_mode, cookie);
}

status_code test_free_cookie(fs_volume* volume, fs_vnode*, void* cookie)
{
    volume_of(volume)->calls["free_cookie"]++;
    delete static_cast<OpenCookie*>(cookie);
    return FSSH_OK;
}

status_code read_from(const std::string& data, off_t position, void* buffer, size_t* length)
{
    if (position < 0)
        return FSSH_INVALID_ARGUMENT;
    size_t start = std::min(static_cast<size_t>(position), data.size());
    *length = std::min(*length, data.size() - start);
    memcpy(buffer, data.data() + start, *length);
    return FSSH_OK;
}

void write_to(std::string& data, off_t position, const void* buffer, size_t length)
{
    size_t start = static_cast<size_t>(position);
    if (data.size() < start + length)
        data.resize(start + length);
    memcpy(data.data() + start, buffer, length);
}

status_code test_read(fs_volume* volume, fs_vnode* vnode, void*, off_t position, void* buffer,
                      size_t* length)
{
    status_code status = enter(volume, "read");
    if (status != FSSH_OK)
        return status;
    if (is_directory(node_of(vnode)))
        return FSSH_IS_A_DIRECTORY;
    return read_from(node_of(vnode)->data, position, buffer, length);
}

status_code test_write(fs_volume* volume, fs_vnode* vnode, void*, off_t position,
                       const void* buffer, size_t* length)
{
    status_code status = enter(volume, "write");
    if (status != FSSH_OK)
        return status;
    write_to(node_of(vnode)->data, position, buffer, *length);
    return FSSH_OK;
}

status_code test_create_dir(fs_volume* volume, fs_vnode* parent, const char* name,
                            uint32_t permissions)
{
    status_code status = enter(volume, "create_dir");
    if (status != FSSH_OK)
        return status;
    TestNode* node;
    return create_entry(volume, node_of(parent), name, FSSH_S_IFDIR | (permissions & 07777),
                        &node);
}

status_code test_remove_dir(fs_volume* volume, fs_vnode* parent, const char* name)
{
    status_code status = enter(volume, "remove_dir");
    if (status != FSSH_OK)
        return status;
    return remove_entry(volume, node_of(parent), name, true);
}

status_code test_open_dir(fs_volume* volume, fs_vnode* vnode, void** cookie)
{
    status_code status = enter(volume, "open_dir");
    if (status != FSSH_OK)
        return status;
    if (!is_directory(node_of(vnode)))
        return FSSH_NOT_A_DIRECTORY;
    auto* dir_cookie = new DirCookie;
    fill_dir_cookie(node_of(vnode), dir_cookie);
    *cookie = dir_cookie;
    return FSSH_OK;
}

status_code test_rewind_dir(fs_volume* volume, fs_vnode* vnode, void* cookie)
{
    status_code status = enter(volume, "rewind_dir");
    if (status == FSSH_OK)
        fill_dir_cookie(node_of(vnode), static_cast<DirCookie*>(cookie));
    return status;
}

// Attribute directories list the attribute names.
status_code test_open_attr_dir(fs_volume* volume, fs_vnode* vnode, void** cookie)
{
    status_code status = enter(volume, "open_attr_dir");
    if (status != FSSH_OK)
        return status;
    auto* dir_cookie = new DirCookie;
    for (const auto& attribute : node_of(vnode)->attributes)
        dir_cookie->entries.emplace_back(attribute.first, 0);
    *cookie = dir_cookie;
    return FSSH_OK;
}

status_code test_rewind_attr_dir(fs_volume* volume, fs_vnode*, void* cookie)
{
    static_cast<DirCookie*>(cookie)->next = 0;
    return enter(volume, "rewind_attr_dir");
}

status_code test_create_attr(fs_volume* volume, fs_vnode* vnode, const char* name, uint32_t,
                             uint32_t open_mode, void** cookie)
{
    status_code status = enter(volume, "create_attr");
    if (status != FSSH_OK)
        return status;
    TestNode* node = node_of(vnode);
    if (node->attributes.count(name) && (open_mode & FSSH_O_EXCL))
        return FSSH_FILE_EXISTS;
    node->attributes[name];
    *cookie = new OpenCookie{node, open_mode, name};
    return FSSH_OK;
}

status_code test_open_attr(fs_volume* volume, fs_vnode* vnode, const char* name,
                           uint32_t open_mode, void** cookie)
{
    status_code status = enter(volume, "open_attr");
    if (status != FSSH_OK)
        return status;
    TestNode* node = node_of(vnode);
    if (!node->attributes.count(name))
        return FSSH_NOT_FOUND;
    *cookie = new OpenCookie{node, open_mode, name};
    return FSSH_OK;
}

status_code test_free_attr_cookie(fs_volume* volume, fs_vnode*, void* cookie)
{
    volume_of(volume)->calls["free_attr_cookie"]++;
    delete static_cast<OpenCookie*>(cookie);
    return FSSH_OK;
}

std::string& attribute_of(void* cookie)
{
    auto* open = static_cast<OpenCookie*>(cookie);
    return open->node->attributes[open->attribute];
}

status_code test_read_attr(fs_volume* volume, fs_vnode*, void* cookie, off_t position,
                           void* buffer, size_t* length)
{
    status_code status = enter(volume, "read_attr");
    if (status != FSSH_OK)
        return status;
    return read_from(attribute_of(cookie), position, buffer, length);
}

status_code test_write_attr(fs_volume* volume, fs_vnode*, void* cookie, off_t position,
                            const void* buffer, size_t* length)
{
    status_code status = enter(volume, "write_attr");
    if (status != FSSH_OK)
        return status;
    write_to(attribute_of(cookie), position, buffer, *length);
    return FSSH_OK;
}

status_code test_read_attr_stat(fs_volume* volume, fs_vnode*, void* cookie, kernel_stat* stat)
{
    status_code status = enter(volume, "read_attr_stat");
    if (status == FSSH_OK)
        stat->st_size = static_cast<off_t>(attribute_of(cookie).size());
    return status;
}

status_code test_rename_attr(fs_volume* volume, fs_vnode* from, const char* from_name,
                             fs_vnode* to, const char* to_name)
{
    status_code status = enter(volume, "rename_attr");
    if (status != FSSH_OK)
        return status;
    auto& attributes = node_of(from)->attributes;
    auto entry = attributes.find(from_name);
    if (entry == attributes.end())
        return FSSH_NOT_FOUND;
    node_of(to)->attributes[to_name] = entry->second;
    attributes.erase(entry);
    return FSSH_OK;
}

status_code test_remove_attr(fs_volume* volume, fs_vnode* vnode, const char* name)
{
    status_code status = enter(volume, "remove_attr");
    if (status != FSSH_OK)
        return status;
    return node_of(vnode)->attributes.erase(name) != 0 ? FSSH_OK : FSSH_NOT_FOUND;
}

vnode_ops s_vnode_ops = {
    .lookup = test_lookup,
    .put_vnode = test_put_vnode,
    .remove_vnode = test_remove_vnode,
    .ioctl = test_ioctl,
    .set_flags = test_set_flags,
    .fsync = test_fsync,
    .read_symlink = test_read_symlink,
    .create_symlink = test_create_symlink,
    .link = test_link,
    .unlink = test_unlink,
    .rename = test_rename,
    .access = test_access,
    .read_stat = test_read_stat,
    .write_stat = test_write_stat,
    .create = test_create,
    .open = test_open,
    .close = counted_close<CLOSE>,
    .free_cookie = test_free_cookie,
    .read = test_read,
    .write = test_write,
    .create_dir = test_create_dir,
    .remove_dir = test_remove_dir,
    .open_dir = test_open_dir,
    .close_dir = counted_close<CLOSE_DIR>,
    .free_dir_cookie = counted_free_dir_cookie<FREE_DIR_COOKIE>,
    .read_dir = counted_read_dir<READ_DIR>,
    .rewind_dir = test_rewind_dir,
    .open_attr_dir = test_open_attr_dir,
    .close_attr_dir = counted_close<CLOSE_ATTR_DIR>,
    .free_attr_dir_cookie = counted_free_dir_cookie<FREE_ATTR_DIR_COOKIE>,
    .read_attr_dir = counted_read_dir<READ_ATTR_DIR>,
    .rewind_attr_dir = test_rewind_attr_dir,
    .create_attr = test_create_attr,
    .open_attr = test_open_attr,
    .close_attr = counted_close<CLOSE_ATTR>,
    .free_attr_cookie = test_free_attr_cookie,
    .read_attr = test_read_attr,
    .write_attr = test_write_attr,
    .read_attr_stat = test_read_attr_stat,
    .rename_attr = test_rename_attr,
    .remove_attr = test_remove_attr,
};

// Only what a node must have to be found, read and listed.
vnode_ops s_minimal_vnode_ops = {
    .lookup = test_lookup,
    .put_vnode = test_put_vnode,
    .remove_vnode = test_remove_vnode,
    .read_stat = test_read_stat,
    .open = test_open,
    .close = counted_close<CLOSE>,
    .free_cookie = test_free_cookie,
    .read = test_read,
    .open_dir = test_open_dir,
    .close_dir = counted_close<CLOSE_DIR>,
    .free_dir_cookie = counted_free_dir_cookie<FREE_DIR_COOKIE>,
    .read_dir = counted_read_dir<READ_DIR>,
};

// Volume hooks.

const std::vector<std::string> s_index_names = {"name", "size"};

status_code test_unmount(fs_volume* volume)
{
    TestVolume* test = volume_of(volume);
    test->calls["unmount"]++;
    volumes().erase(volume->id);
    unmounted_volumes()[volume->id].reset(test);
    return FSSH_OK;
}

status_code test_read_fs_info(fs_volume* volume, fs_info* info)
{
    status_code status = enter(volume, "read_fs_info");
    if (status != FSSH_OK)
        return status;
    TestVolume* test = volume_of(volume);
    info->dev = -3;  // the layer overwrites device, root and names
    info->root = -3;
    info->block_size = 4096;
    info->total_blocks = 100;
    info->free_blocks = static_cast<off_t>(100 - test->nodes.size());
    snprintf(info->volume_name, sizeof(info->volume_name), "%s", test->volume_name.c_str());
    snprintf(info->fsh_name, sizeof(info->fsh_name), "bogus");
    return FSSH_OK;
}

status_code test_write_fs_info(fs_volume* volume, const fs_info* info, uint32_t)
{
    status_code status = enter(volume, "write_fs_info");
    if (status == FSSH_OK)
        volume_of(volume)->volume_name = info->volume_name;
    return status;
}

status_code test_sync(fs_volume* volume)
{
    return enter(volume, "sync");
}

status_code test_get_vnode(fs_volume* volume, ino_t id, fs_vnode* vnode, uint32_t* type,
                           uint32_t* flags, bool)
{
    TestVolume* test = volume_of(volume);
    test->calls["get_vnode"]++;
    test->get_vnode_calls[id]++;
    auto failure = test->failures.find("get_vnode");
    if (failure != test->failures.end())
        return failure->second;
    TestNode* node = test->Find(id);
    if (node == nullptr)
        return FSSH_NOT_FOUND;
    if (!test->get_vnode_leaves_node_null)
        vnode->private_node = node;
    vnode->ops = test->minimal ? &s_minimal_vnode_ops : &s_vnode_ops;
    *type = node->mode & FSSH_S_IFMT;
    *flags = 0;
    return FSSH_OK;
}

status_code test_open_index_dir(fs_volume* volume, void** cookie)
{
    status_code status = enter(volume, "open_index_dir");
    if (status != FSSH_OK)
        return status;
    auto* dir_cookie = new DirCookie;
    for (const auto& name : s_index_names)
        dir_cookie->entries.emplace_back(name, 0);
    *cookie = dir_cookie;
    return FSSH_OK;
}

status_code test_close_volume_cookie(fs_volume* volume, void*)
{
    return enter(volume, "close_volume_cookie");
}

status_code test_free_volume_cookie(fs_volume* volume, void* cookie)
{
    volume_of(volume)->calls["free_volume_cookie"]++;
    delete static_cast<DirCookie*>(cookie);
    return FSSH_OK;
}

status_code test_read_volume_dir(fs_volume* volume, void* cookie, kernel_dirent* buffer,
                                 size_t buffer_size, uint32_t* count)
{
    status_code status = enter(volume, "read_volume_dir");
    if (status != FSSH_OK)
        return status;
    return write_entries(volume, static_cast<DirCookie*>(cookie), buffer, buffer_size, count);
}

status_code test_rewind_volume_dir(fs_volume* volume, void* cookie)
{
    static_cast<DirCookie*>(cookie)->next = 0;
    return enter(volume, "rewind_volume_dir");
}

status_code test_create_index(fs_volume* volume, const char*, uint32_t, uint32_t)
{
    return enter(volume, "create_index");
}

status_code test_remove_index(fs_volume* volume, const char*)
{
    return enter(volume, "remove_index");
}

status_code test_read_index_stat(fs_volume* volume, const char* name, kernel_stat* stat)
{
    status_code status = enter(volume, "read_index_stat");
    if (status == FSSH_OK)
        stat->st_size = static_cast<off_t>(strlen(name));
    return status;
}

// A query lists the nodes whose names contain the query text.
status_code test_open_query(fs_volume* volume, const char* query, uint32_t, port_id, uint32_t,
                            void** cookie)
{
    status_code status = enter(volume, "open_query");
    if (status != FSSH_OK)
        return status;
    auto* dir_cookie = new DirCookie;
    for (const auto& [id, node] : volume_of(volume)->nodes) {
        for (const auto& [name, child] : node->children) {
            if (name.find(query) != std::string::npos)
                dir_cookie->entries.emplace_back(name, child->id);
        }
    }
    *cookie = dir_cookie;
    return FSSH_OK;
}

volume_ops s_volume_ops = {
    .unmount = test_unmount,
    .read_fs_info = test_read_fs_info,
    .write_fs_info = test_write_fs_info,
    .sync = test_sync,
    .get_vnode = test_get_vnode,
    .open_index_dir = test_open_index_dir,
    .close_index_dir = test_close_volume_cookie,
    .free_index_dir_cookie = test_free_volume_cookie,
    .read_index_dir = test_read_volume_dir,
    .rewind_index_dir = test_rewind_volume_dir,
    .create_index = test_create_index,
    .remove_index = test_remove_index,
    .read_index_stat = test_read_index_stat,
    .open_query = test_open_query,
    .close_query = test_close_volume_cookie,
    .free_query_cookie = test_free_volume_cookie,
    .read_query = test_read_volume_dir,
    .rewind_query = test_rewind_volume_dir,
};

volume_ops s_minimal_volume_ops = {
    .unmount = test_unmount,
    .get_vnode = test_get_vnode,
};

bool has_argument(const char* arguments, const std::string& wanted)
{
    if (arguments == nullptr)
        return false;
    std::stringstream list(arguments);
    std::string argument;
    while (std::getline(list, argument, ','))
        if (argument == wanted)
            return true;
    return false;
}

status_code test_mount(fs_volume* volume, const char*, uint32_t, const char* arguments,
                       ino_t* root_id)
{
    if (has_argument(arguments, "fail_mount"))
        return FSSH_IO_ERROR;
    auto* test = new TestVolume;
    test->volume = volume;
    test->minimal = has_argument(arguments, "minimal");
    test->root = test->AddNode(nullptr, "", FSSH_S_IFDIR | 0755);
    volume->private_volume = test;
    volume->ops = test->minimal ? &s_minimal_volume_ops : &s_volume_ops;
    volumes()[volume->id] = test;
    *root_id = test->root->id;
    if (has_argument(arguments, "no_root"))
        return FSSH_OK;
    return publish_vnode(volume, test->root->id, test->root,
                         test->minimal ? &s_minimal_vnode_ops : &s_vnode_ops, test->root->mode, 0);
}

fs_module_info s_module = {
    .info = {"file_systems/testfs/v1", 0, module_std_ops_without_state},
    .short_name = "testfs",
    .pretty_name = "Test File System",
    .flags = 0,
    .mount = test_mount,
};

}  // namespace

int TestVolume::Calls(const std::string& hook) const
{
    auto entry = calls.find(hook);
    return entry != calls.end() ? entry->second : 0;
}

TestNode* TestVolume::Find(ino_t id) const
{
    auto entry = nodes.find(id);
    return entry != nodes.end() ? entry->second.get() : nullptr;
}

TestNode* TestVolume::FindPath(const std::string& path) const
{
    TestNode* node = root;
    std::stringstream components(path);
    std::string name;
    while (node != nullptr && std::getline(components, name, '/')) {
        if (name.empty())
            continue;
        auto child = node->children.find(name);
        node = child != node->children.end() ? child->second : nullptr;
    }
    return node;
}

TestNode* TestVolume::AddNode(TestNode* parent, const std::string& name, uint32_t mode)
{
    auto node = std::make_unique<TestNode>();
    node->id = next_id++;
    node->mode = mode;
    node->parent = parent != nullptr ? parent : node.get();
    TestNode* result = node.get();
    if (parent != nullptr)
        parent->children[name] = result;
    nodes[result->id] = std::move(node);
    return result;
}

void register_test_fs()
{
    static bool registered = false;
    if (registered)
        return;
    register_builtin_module(&s_module.info);
    registered = true;
}

TestVolume* test_volume(dev_t id)
{
    auto entry = volumes().find(id);
    return entry != volumes().end() ? entry->second : nullptr;
}

TestVolume* unmounted_test_volume(dev_t id)
{
    auto entry = unmounted_volumes().find(id);
    return entry != unmounted_volumes().end() ? entry->second.get() : nullptr;
}

}  // namespace vfs_test
