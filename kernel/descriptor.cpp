#include "kernel/descriptor.h"

#include "kernel/directory_path_map.h"

#include <cstring>

namespace fssh {

status_code Descriptor::HostPath(char* buffer, size_t size)
{
    host_node_id id;
    status_code status = NodeId(&id);
    if (status != FSSH_OK)
        return status;
    const char* path = directory_path_lookup(id);
    if (path == nullptr)
        return FSSH_NOT_FOUND;
    return copy_host_path(path, buffer, size);
}

status_code Descriptor::NodeId(host_node_id* id)
{
    struct stat host_stat;
    status_code status = Stat(false, &host_stat);
    if (status != FSSH_OK)
        return status;
    *id = {host_stat.st_dev, host_stat.st_ino};
    return FSSH_OK;
}

status_code copy_host_path(const char* path, char* buffer, size_t size)
{
    size_t length = strlen(path);
    if (length >= size)
        return FSSH_NAME_TOO_LONG;
    memcpy(buffer, path, length + 1);
    return FSSH_OK;
}

}  // namespace fssh
