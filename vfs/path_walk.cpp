#include "vfs/path_walk.h"

#include "kernel/debug.h"
#include "vfs/descriptor.h"
#include "vfs/hook_calls.h"
#include "vfs/io_context.h"
#include "vfs/mount.h"
#include "vfs/path_buffer.h"
#include "vfs/permissions.h"
#include "vfs/vnode.h"

#include <cstring>

namespace fssh {

namespace {

// Links deeper than this in a chain fail; depths 0 to 15 make 16 links.
constexpr int MAX_LINK_DEPTH = 15;

// One lookup step: the file system's lookup hook leaves a reference on the
// found node, which passes to the caller.
status_code lookup_dir_entry(vnode* directory, const char* name, vnode** out)
{
    ino_t id;
    status_code status = call_lookup(directory, name, &id);
    if (status != FSSH_OK)
        return status;
    vnode* node = lookup_vnode(directory->device, id);
    if (node == nullptr) {
        panic("lookup_dir_entry(): could not lookup vnode (mountid %d vnid %ld)\n",
              directory->device, static_cast<long>(id));
    }
    *out = node;
    return FSSH_OK;
}

// Resolves the text of `link` (whose reference is consumed) from `directory`,
// the directory that holds the link.
status_code resolve_link(vnode* directory, vnode* link, int link_depth, vnode** out,
                         ino_t* parent_id)
{
    VnodeReference link_reference(link);
    if (link_depth > MAX_LINK_DEPTH)
        return FSSH_SYMLINK_LOOP;

    char text[SHORT_PATH_BUFFER_SIZE];
    size_t length = sizeof(text) - 1;
    status_code status = call_read_symlink(link, text, &length);
    if (status != FSSH_OK)
        return status;
    // A link longer than the buffer cannot be walked; a cut text would name
    // another node.
    if (length >= sizeof(text))
        return FSSH_NAME_TOO_LONG;
    text[length] = '\0';
    link_reference.Reset();

    char* path = text;
    vnode* start = directory;
    if (path[0] == '/') {
        while (*path == '/')
            path++;
        start = root_vnode();
        if (start == nullptr)
            return FSSH_ERROR;
    }
    inc_vnode_ref_count(start);
    return vnode_path_to_vnode(start, path, true, link_depth + 1, out, parent_id);
}

// At a volume's root, ".." leaves the volume for the directory it covers.
void cross_to_covered_vnode(VnodeReference& current)
{
    mount* owner = current->mount;
    if (current.Get() == owner->root_vnode && owner->covers_vnode != nullptr) {
        inc_vnode_ref_count(owner->covers_vnode);
        current.Reset(owner->covers_vnode);
    }
}

// Cuts the first component off *path and returns it; *path moves past the
// slashes that follow it.
char* next_component(char** path)
{
    char* component = *path;
    char* slash = strchr(component, '/');
    if (slash == nullptr) {
        *path = component + strlen(component);
        return component;
    }
    *slash++ = '\0';
    while (*slash == '/')
        slash++;
    *path = slash;
    return component;
}

}  // namespace

status_code vnode_path_to_vnode(vnode* start, char* path, bool traverse_link, int link_depth,
                                vnode** out, ino_t* parent_id)
{
    VnodeReference current(start);
    if (path == nullptr)
        return FSSH_INVALID_ARGUMENT;

    ino_t last_parent = -1;
    while (*path != '\0') {
        char* component = next_component(&path);
        if (strcmp(component, "..") == 0)
            cross_to_covered_vnode(current);

        status_code status = call_access(current.Get(), FSSH_X_OK);
        if (status != FSSH_OK)
            return status;
        vnode* found_node;
        status = lookup_dir_entry(current.Get(), component, &found_node);
        if (status != FSSH_OK)
            return status;
        VnodeReference found(found_node);

        if (vnode_is_symlink(found.Get()) && (*path != '\0' || traverse_link)) {
            vnode* target;
            status = resolve_link(current.Get(), found.Detach(), link_depth, &target,
                                  &last_parent);
            if (status != FSSH_OK)
                return status;
            found.Reset(target);
        } else {
            last_parent = current->id;
        }

        current.Reset(found.Detach());
        if (vnode* covering_root = get_covering_root(current.Get()))
            current.Reset(covering_root);
    }

    *out = current.Detach();
    if (parent_id != nullptr)
        *parent_id = last_parent;
    return FSSH_OK;
}

status_code path_to_vnode(char* path, bool traverse_link, vnode** out, ino_t* parent_id)
{
    if (path == nullptr)
        return FSSH_INVALID_ARGUMENT;

    vnode* start;
    if (*path == '/') {
        while (*path == '/')
            path++;
        start = root_vnode();
    } else {
        io_context* context = get_global_io_context();
        if (context == nullptr)
            return FSSH_ERROR;
        MutexLocker locker(&context->lock);
        start = context->cwd;
    }
    if (start == nullptr)
        return FSSH_ERROR;
    inc_vnode_ref_count(start);
    return vnode_path_to_vnode(start, path, traverse_link, 0, out, parent_id);
}

status_code fd_and_path_to_vnode(int fd, char* path, bool traverse_link, vnode** out,
                                 ino_t* parent_id)
{
    if (fd == -1 && path == nullptr)
        return FSSH_INVALID_ARGUMENT;
    if (path != nullptr && (fd == -1 || path[0] == '/'))
        return path_to_vnode(path, traverse_link, out, parent_id);

    DescriptorReference descriptor(get_global_fd(fd));
    vnode* node = fd_vnode(descriptor.Get());
    if (node == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    inc_vnode_ref_count(node);

    if (path != nullptr)
        return vnode_path_to_vnode(node, path, traverse_link, 0, out, parent_id);
    *out = node;
    if (parent_id != nullptr)
        *parent_id = -1;
    return FSSH_OK;
}

status_code fd_and_path_to_dir_vnode(int fd, char* path, vnode** out, char* leaf)
{
    if (path == nullptr)
        return FSSH_INVALID_ARGUMENT;
    status_code status = split_path(path, leaf);
    if (status != FSSH_OK)
        return status;
    return fd_and_path_to_vnode(fd, path, true, out, nullptr);
}

status_code resolve_path(int fd, const char* path, bool traverse_link, VnodeReference& out,
                         size_t path_limit)
{
    KernelPath copy;
    status_code status = copy.SetTo(path, path_limit);
    if (status != FSSH_OK)
        return status;
    vnode* node;
    status = fd_and_path_to_vnode(fd, copy.Path(), traverse_link, &node, nullptr);
    if (status == FSSH_OK)
        out.Reset(node);
    return status;
}

}  // namespace fssh
