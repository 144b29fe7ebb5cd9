#include "vfs/path_buffer.h"

#include <cstring>

namespace fssh {

status_code KernelPath::SetTo(const char* path, size_t limit)
{
    is_null_ = path == nullptr;
    if (is_null_)
        return FSSH_OK;
    size_t length = strlen(path);
    if (length >= limit || length >= sizeof(buffer_))
        return FSSH_EOVERFLOW;
    memcpy(buffer_, path, length + 1);
    while (length > 1 && buffer_[length - 1] == '/')
        buffer_[--length] = '\0';
    return FSSH_OK;
}

status_code check_entry_name(const char* name)
{
    if (name == nullptr)
        return FSSH_INVALID_ARGUMENT;
    if (strlen(name) >= NAME_BUFFER_SIZE)
        return FSSH_NAME_TOO_LONG;
    return FSSH_OK;
}

status_code split_path(char* path, char* leaf)
{
    if (path[0] == '\0')
        return FSSH_NOT_FOUND;
    char* last_slash = strrchr(path, '/');
    const char* name = path;
    if (last_slash != nullptr)
        name = last_slash[1] != '\0' ? last_slash + 1 : ".";
    if (strlen(name) >= NAME_BUFFER_SIZE)
        return FSSH_NAME_TOO_LONG;
    strcpy(leaf, name);
    if (last_slash != nullptr)
        strcpy(last_slash + 1, ".");
    else
        strcpy(path, ".");
    return FSSH_OK;
}

}  // namespace fssh
