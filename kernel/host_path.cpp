#include "kernel/host_path.h"

#include "kernel/descriptor.h"
#include "kernel/descriptor_table.h"

#include <cstdio>

namespace fssh {

status_code resolve_host_path(int32_t directory, const char* path, char* buffer, size_t size)
{
    if (path[0] == '/' || directory < 0)
        return copy_host_path(path, buffer, size);
    Descriptor* base = get_descriptor(directory);
    if (base == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    char base_path[HOST_PATH_SIZE];
    status_code status = base->HostPath(base_path, sizeof(base_path));
    if (status == FSSH_NOT_FOUND)
        return FSSH_NOT_A_DIRECTORY;  // never opened as a directory
    if (status != FSSH_OK)
        return status;
    if (path[0] == '\0')
        return copy_host_path(base_path, buffer, size);
    int length = snprintf(buffer, size, "%s/%s", base_path, path);
    return length >= 0 && static_cast<size_t>(length) < size ? FSSH_OK : FSSH_NAME_TOO_LONG;
}

}  // namespace fssh
