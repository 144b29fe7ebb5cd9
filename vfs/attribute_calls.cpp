#include "vfs/attribute_calls.h"

#include "vfs/hook_calls.h"
#include "vfs/path_buffer.h"
#include "vfs/path_walk.h"
#include "vfs/vnode.h"
#include "vfs/vnode_descriptors.h"

#include <cstring>

namespace fssh {

int kern_open_attr_dir(int fd, const char* path)
{
    VnodeReference node;
    status_code status = resolve_path(fd, path, true, node);
    if (status != FSSH_OK)
        return status;
    int slot = open_attr_dir_vnode(node.Get());
    if (slot >= 0)
        node.Detach();
    return slot;
}

int kern_open_attr(int fd, const char* path, const char* name, uint32_t type,
                   uint32_t open_mode)
{
    status_code status = check_entry_name(name);
    if (status != FSSH_OK)
        return status;
    VnodeReference node;
    status = resolve_path(fd, path, true, node);
    if (status != FSSH_OK)
        return status;
    int slot = open_attr_vnode(node.Get(), name, type, open_mode);
    if (slot >= 0)
        node.Detach();
    return slot;
}

status_code kern_remove_attr(int fd, const char* name)
{
    status_code status = check_entry_name(name);
    if (status != FSSH_OK)
        return status;
    VnodeReference node;
    status = resolve_path(fd, nullptr, true, node);
    if (status != FSSH_OK)
        return status;
    return call_remove_attr(node.Get(), name);
}

status_code kern_rename_attr(int from_fd, const char* from_name, int to_fd, const char* to_name)
{
    status_code status = check_entry_name(from_name);
    if (status == FSSH_OK)
        status = check_entry_name(to_name);
    if (status != FSSH_OK)
        return status;
    VnodeReference from;
    status = resolve_path(from_fd, nullptr, true, from);
    if (status != FSSH_OK)
        return status;
    VnodeReference to;
    status = resolve_path(to_fd, nullptr, true, to);
    if (status != FSSH_OK)
        return status;
    if (from->device != to->device)
        return FSSH_CROSS_DEVICE_LINK;
    return call_rename_attr(from.Get(), from_name, to.Get(), to_name);
}

}  // namespace fssh
