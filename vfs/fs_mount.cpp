#include "vfs/fs_mount.h"

#include "kernel/debug.h"
#include "kernel/module.h"
#include "vfs/hook_calls.h"
#include "vfs/mount.h"
#include "vfs/path_buffer.h"
#include "vfs/path_walk.h"
#include "vfs/vnode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace fssh {

namespace {

constexpr char MODULE_PREFIX[] = "file_systems/";
constexpr size_t MODULE_NAME_SIZE = 256;

// The references of a mount the unmount check allows besides its own: the one
// on the root taken by vfs_unmount's path resolution.
constexpr int32_t UNMOUNT_ROOT_REFERENCES = 2;

bool has_module_prefix(const char* name)
{
    return strncmp(name, MODULE_PREFIX, sizeof(MODULE_PREFIX) - 1) == 0;
}

// "wfs" for both "wfs" and "file_systems/wfs/v1".
char* short_fs_name(const char* name)
{
    if (!has_module_prefix(name))
        return strdup(name);
    const char* start = name + sizeof(MODULE_PREFIX) - 1;
    return strndup(start, strcspn(start, "/"));
}

// Frees a mount record that is in no table.
void delete_mount(mount* record)
{
    free(record->device_name);
    free(record->fs_name);
    delete record->volume;
    delete record;
}

// Undoes a mount whose record is in the mount table but whose volume never
// came up.
void abandon_mount(mount* record)
{
    if (record->covers_vnode != nullptr)
        dec_vnode_ref_count(record->covers_vnode, false);
    {
        MutexLocker locker(mount_table_lock());
        remove_mount_locked(record);
    }
    recursive_lock_destroy(&record->rlock);
    put_module(record->module->info.name);
    delete_mount(record);
}

// Finds the directory to mount on: not a file, and not the root of a volume
// (which also refuses to mount twice on one directory, since the walk ends on
// the root mounted there).
status_code find_covered_vnode(char* path, vnode** out)
{
    VnodeReference node;
    vnode* found;
    status_code status = path_to_vnode(path, true, &found, nullptr);
    if (status != FSSH_OK)
        return status;
    node.Reset(found);

    kernel_stat stat{};
    status = call_read_stat(found, &stat);
    if (status != FSSH_OK)
        return status;
    if (!FSSH_S_ISDIR(stat.st_mode))
        return FSSH_NOT_A_DIRECTORY;
    if (found == found->mount->root_vnode)
        return FSSH_BUSY;
    *out = node.Detach();
    return FSSH_OK;
}

// Steps 9 and 10: the covered vnode, then the module's mount hook.
status_code mount_volume(mount* record, char* path, uint32_t flags, const char* arguments,
                         ino_t* root_id)
{
    if (root_vnode() != nullptr) {
        status_code status = find_covered_vnode(path, &record->covers_vnode);
        if (status != FSSH_OK)
            return status;
    } else if (strcmp(path, "/") != 0) {
        return FSSH_ERROR;
    }
    return record->module->mount(record->volume, record->device_name, flags, arguments,
                                 root_id);
}

// Allocates the mount record with its volume, names and module reference.
status_code create_mount(const char* device, const char* name, mount** out)
{
    mount* record = new (std::nothrow) mount{};
    fs_volume* volume = new (std::nothrow) fs_volume{};
    char* fs_name = short_fs_name(name);
    char* device_name = device != nullptr ? strdup(device) : nullptr;
    if (record != nullptr) {
        record->volume = volume;
        record->fs_name = fs_name;
        record->device_name = device_name;
    }
    if (record == nullptr || volume == nullptr || fs_name == nullptr ||
        (device != nullptr && device_name == nullptr)) {
        if (record != nullptr) {
            delete_mount(record);
        } else {
            delete volume;
            free(fs_name);
            free(device_name);
        }
        return FSSH_NO_MEMORY;
    }

    char module_name[MODULE_NAME_SIZE];
    if (has_module_prefix(name))
        snprintf(module_name, sizeof(module_name), "%s", name);
    else
        snprintf(module_name, sizeof(module_name), "file_systems/%s/v1", name);
    module_info* module;
    if (get_module(module_name, &module) != FSSH_OK) {
        delete_mount(record);
        return FSSH_ENODEV;
    }
    record->module = reinterpret_cast<fs_module_info*>(module);
    *out = record;
    return FSSH_OK;
}

// Makes the new volume's root known: to the mount, to the directory it
// covers, and to the name space when it is the first volume.
void attach_root(mount* record, ino_t root_id)
{
    vnode* root = lookup_vnode(record->id, root_id);
    if (root == nullptr || root->ref_count != 1)
        panic("fs_mount: file system does not own its root node!\n");
    record->root_vnode = root;
    if (record->covers_vnode != nullptr) {
        MutexLocker locker(covered_by_lock());
        record->covers_vnode->covered_by = root;
    }
    if (root_vnode() == nullptr)
        set_root_vnode(root);
}

bool mount_is_busy_locked(mount* record)
{
    RecursiveLocker locker(&record->rlock);
    for (vnode* node = static_cast<vnode*>(item_list_next(&record->vnodes, nullptr));
         node != nullptr; node = static_cast<vnode*>(item_list_next(&record->vnodes, node))) {
        if ((node->type_and_flags & VNODE_BUSY) != 0)
            return true;
        if (node != record->root_vnode && node->ref_count != 0)
            return true;
    }
    return record->root_vnode->ref_count != UNMOUNT_ROOT_REFERENCES;
}

// Marks the mount unmounting and every vnode busy, and drops the two root
// references the busy check allowed.
void seal_mount_locked(mount* record)
{
    record->unmounting = true;
    RecursiveLocker locker(&record->rlock);
    for (vnode* node = static_cast<vnode*>(item_list_next(&record->vnodes, nullptr));
         node != nullptr; node = static_cast<vnode*>(item_list_next(&record->vnodes, node))) {
        node->type_and_flags |= VNODE_BUSY;
        if (node->ref_count == 0)
            remove_from_unused_list_locked(node);
    }
    record->root_vnode->ref_count -= UNMOUNT_ROOT_REFERENCES;
}

void free_mount_vnodes(mount* record)
{
    for (;;) {
        vnode* node;
        {
            RecursiveLocker locker(&record->rlock);
            node = static_cast<vnode*>(item_list_next(&record->vnodes, nullptr));
        }
        if (node == nullptr)
            return;
        free_vnode(node, false);
    }
}

}  // namespace

status_code fs_mount(const char* path, const char* device, const char* name, uint32_t flags,
                     const char* arguments)
{
    KernelPath mount_path;
    status_code status = mount_path.SetTo(path);
    if (status != FSSH_OK)
        return status;
    if (mount_path.Path() == nullptr || name == nullptr || name[0] == '\0')
        return FSSH_INVALID_ARGUMENT;
    bool has_device = device != nullptr && (flags & FSSH_MOUNT_VIRTUAL_DEVICE) == 0;

    RecursiveLocker operation(mount_op_lock());
    KernelPath device_path;
    if (has_device) {
        status = device_path.SetTo(device, SHORT_PATH_BUFFER_SIZE);
        if (status != FSSH_OK)
            return status;
    }

    mount* record;
    status = create_mount(device_path.Path(), name, &record);
    if (status != FSSH_OK)
        return status;
    recursive_lock_init(&record->rlock, "mount rlock");
    item_list_init_with_offset(&record->vnodes, offsetof(vnode, mount_link));
    record->id = take_next_mount_id();
    record->volume->id = record->id;
    {
        MutexLocker locker(mount_table_lock());
        insert_mount_locked(record);
    }

    ino_t root_id;
    status = mount_volume(record, mount_path.Path(), flags, arguments, &root_id);
    if (status != FSSH_OK) {
        abandon_mount(record);
        return status;
    }
    attach_root(record, root_id);
    return record->id;
}

status_code vfs_unmount(const char* path, uint32_t)
{
    KernelPath copy;
    status_code status = copy.SetTo(path);
    if (status != FSSH_OK)
        return status;
    vnode* node;
    if (path_to_vnode(copy.Path(), true, &node, nullptr) != FSSH_OK)
        return FSSH_NOT_FOUND;

    RecursiveLocker operation(mount_op_lock());
    mount* record;
    {
        MutexLocker locker(mount_table_lock());
        record = find_mount_locked(node->device);
    }
    if (record == nullptr) {
        panic("vfs_unmount: find_mount() failed on root vnode @%p of mount\n",
              static_cast<void*>(node));
    }
    if (node != record->root_vnode) {
        dec_vnode_ref_count(node, false);
        return FSSH_INVALID_ARGUMENT;
    }

    {
        MutexLocker locker(vnode_table_lock());
        if (mount_is_busy_locked(record)) {
            locker.Unlock();
            dec_vnode_ref_count(node, false);
            return FSSH_BUSY;
        }
        seal_mount_locked(record);
    }

    vnode* covered = record->covers_vnode;
    if (covered != nullptr) {
        {
            MutexLocker locker(covered_by_lock());
            covered->covered_by = nullptr;
        }
        dec_vnode_ref_count(covered, false);
    }
    // The name space loses its root with the first volume; later calls see no
    // root rather than a freed one.
    if (root_vnode() == record->root_vnode)
        set_root_vnode(nullptr);
    free_mount_vnodes(record);
    {
        MutexLocker locker(mount_table_lock());
        remove_mount_locked(record);
    }
    operation.Unlock();

    record->volume->ops->unmount(record->volume);
    put_module(record->module->info.name);
    recursive_lock_destroy(&record->rlock);
    delete_mount(record);
    return FSSH_OK;
}

}  // namespace fssh
