#include "vfs/entry_calls.h"

#include "kernel/open_mode.h"
#include "vfs/hook_calls.h"
#include "vfs/path_buffer.h"
#include "vfs/path_walk.h"
#include "vfs/vnode.h"
#include "vfs/vnode_descriptors.h"

#include <cstring>

namespace fssh {

namespace {

// The longest link text that still gets "." appended to a final "/".
constexpr size_t MAX_SLASH_TERMINATED_TARGET = 1022;
constexpr size_t MAX_TARGET_COMPONENT = 256;

// A directory and the name of an entry in it, resolved from a descriptor and
// a path; the directory reference is released with the object.
struct EntryLocation {
    VnodeReference directory;
    char name[NAME_BUFFER_SIZE];

    status_code SetTo(int fd, const char* path)
    {
        status_code status = path_.SetTo(path);
        if (status != FSSH_OK)
            return status;
        vnode* node;
        status = fd_and_path_to_dir_vnode(fd, path_.Path(), &node, name);
        if (status == FSSH_OK)
            directory.Reset(node);
        return status;
    }

private:
    KernelPath path_;
};

// The entry `name` of directory (device, directory), or the directory itself
// for a null name.
status_code resolve_entry_ref(dev_t device, ino_t directory, const char* name,
                              bool traverse_link, VnodeReference& out)
{
    char copy[NAME_BUFFER_SIZE];
    if (name != nullptr && check_entry_name(name) != FSSH_OK)
        return FSSH_NAME_TOO_LONG;
    vnode* node;
    status_code status = get_vnode_by_id(device, directory, &node, false);
    if (status != FSSH_OK)
        return status;
    if (name != nullptr) {
        strcpy(copy, name);
        status = vnode_path_to_vnode(node, copy, traverse_link, 0, &node, nullptr);
        if (status != FSSH_OK)
            return status;
    }
    out.Reset(node);
    return FSSH_OK;
}

// Opens `node` (whose reference is consumed) as a file or, with `directory`,
// as a directory.
int open_resolved(VnodeReference& node, bool directory, uint32_t open_mode)
{
    int fd = directory ? open_dir_vnode(node.Get()) : open_vnode(node.Get(), open_mode);
    if (fd >= 0)
        node.Detach();
    return fd;
}

// The checks of a link text, and "." appended to a text that ends in "/".
status_code check_link_target(const char* target, char* buffer, const char** checked)
{
    if (target[0] == '\0')
        return FSSH_NOT_FOUND;
    for (const char* component = target; *component != '\0';) {
        size_t length = strcspn(component, "/");
        if (length > MAX_TARGET_COMPONENT)
            return FSSH_NAME_TOO_LONG;
        component += length;
        component += strspn(component, "/");
    }
    size_t length = strlen(target);
    *checked = target;
    if (target[length - 1] == '/') {
        if (length > MAX_SLASH_TERMINATED_TARGET)
            return FSSH_NAME_TOO_LONG;
        memcpy(buffer, target, length);
        strcpy(buffer + length, ".");
        *checked = buffer;
    }
    return FSSH_OK;
}

}  // namespace

int kern_open(int fd, const char* path, uint32_t open_mode, uint32_t permissions)
{
    if ((open_mode & FSSH_O_CREAT) != 0) {
        EntryLocation entry;
        status_code status = entry.SetTo(fd, path);
        if (status != FSSH_OK)
            return status;
        return create_and_open_vnode(entry.directory.Get(), entry.name, open_mode, permissions);
    }
    VnodeReference node;
    status_code status = resolve_path(fd, path, (open_mode & FSSH_O_NOTRAVERSE) == 0, node);
    if (status != FSSH_OK)
        return status;
    return open_resolved(node, false, open_mode);
}

int kern_open_dir(int fd, const char* path)
{
    VnodeReference node;
    status_code status = resolve_path(fd, path, true, node);
    if (status != FSSH_OK)
        return status;
    return open_resolved(node, true, 0);
}

int kern_open_entry_ref(dev_t device, ino_t directory, const char* name, uint32_t open_mode,
                        uint32_t permissions)
{
    if ((open_mode & FSSH_O_CREAT) != 0) {
        VnodeReference parent;
        status_code status = check_entry_name(name);
        if (status == FSSH_OK)
            status = resolve_entry_ref(device, directory, nullptr, true, parent);
        if (status != FSSH_OK)
            return status;
        return create_and_open_vnode(parent.Get(), name, open_mode, permissions);
    }
    VnodeReference node;
    status_code status = resolve_entry_ref(device, directory, name,
                                           (open_mode & FSSH_O_NOTRAVERSE) == 0, node);
    if (status != FSSH_OK)
        return status;
    return open_resolved(node, false, open_mode);
}

int kern_open_dir_entry_ref(dev_t device, ino_t directory, const char* name)
{
    VnodeReference node;
    status_code status = resolve_entry_ref(device, directory, name, true, node);
    if (status != FSSH_OK)
        return status;
    return open_resolved(node, true, 0);
}

status_code kern_create_dir(int fd, const char* path, uint32_t permissions)
{
    EntryLocation entry;
    status_code status = entry.SetTo(fd, path);
    if (status != FSSH_OK)
        return status;
    return call_create_dir(entry.directory.Get(), entry.name, permissions);
}

status_code kern_create_dir_entry_ref(dev_t device, ino_t directory, const char* name,
                                      uint32_t permissions)
{
    VnodeReference parent;
    status_code status = check_entry_name(name);
    if (status == FSSH_OK)
        status = resolve_entry_ref(device, directory, nullptr, true, parent);
    if (status != FSSH_OK)
        return status;
    return call_create_dir(parent.Get(), name, permissions);
}

status_code kern_remove_dir(int fd, const char* path)
{
    if (path == nullptr)
        return FSSH_INVALID_ARGUMENT;
    KernelPath copy;
    status_code status = copy.SetTo(path);
    if (status != FSSH_OK)
        return status;

    char* text = copy.Path();
    char* last_slash = strrchr(text, '/');
    char* last = last_slash != nullptr ? last_slash + 1 : text;
    if (strcmp(last, "..") == 0)
        return FSSH_NOT_PERMITTED;
    if (strcmp(last, ".") == 0) {
        // "a/b/." names b of a: cut the "." and the slashes before it.
        while (last > text && last[-1] == '/')
            last--;
        *last = '\0';
    }

    char name[NAME_BUFFER_SIZE];
    vnode* directory;
    status = fd_and_path_to_dir_vnode(fd, text, &directory, name);
    if (status != FSSH_OK)
        return status;
    VnodeReference reference(directory);
    return call_remove_dir(directory, name);
}

status_code kern_read_link(int fd, const char* path, char* buffer, size_t* size)
{
    VnodeReference node;
    status_code status = resolve_path(fd, path, false, node);
    if (status != FSSH_OK)
        return status;
    return call_read_symlink(node.Get(), buffer, size);
}

status_code kern_create_symlink(int fd, const char* path, const char* target, uint32_t mode)
{
    if (target == nullptr)
        return FSSH_INVALID_ARGUMENT;
    char buffer[SHORT_PATH_BUFFER_SIZE];
    const char* checked_target;
    status_code status = check_link_target(target, buffer, &checked_target);
    if (status != FSSH_OK)
        return status;

    EntryLocation entry;
    status = entry.SetTo(fd, path);
    if (status != FSSH_OK)
        return status;
    return call_create_symlink(entry.directory.Get(), entry.name, checked_target, mode);
}

status_code kern_create_link(const char* path, const char* to_path)
{
    EntryLocation entry;
    status_code status = entry.SetTo(-1, path);
    if (status != FSSH_OK)
        return status;
    VnodeReference target;
    status = resolve_path(-1, to_path, true, target);
    if (status != FSSH_OK)
        return status;
    if (entry.directory->device != target->device)
        return FSSH_CROSS_DEVICE_LINK;
    return call_link(entry.directory.Get(), entry.name, target.Get());
}

status_code kern_unlink(int fd, const char* path)
{
    EntryLocation entry;
    status_code status = entry.SetTo(fd, path);
    if (status != FSSH_OK)
        return status;
    return call_unlink(entry.directory.Get(), entry.name);
}

status_code kern_rename(int old_fd, const char* old_path, int new_fd, const char* new_path)
{
    EntryLocation from;
    status_code status = from.SetTo(old_fd, old_path);
    if (status != FSSH_OK)
        return status;
    EntryLocation to;
    status = to.SetTo(new_fd, new_path);
    if (status != FSSH_OK)
        return status;
    if (from.directory->device != to.directory->device)
        return FSSH_CROSS_DEVICE_LINK;
    return call_rename(from.directory.Get(), from.name, to.directory.Get(), to.name);
}

}  // namespace fssh
