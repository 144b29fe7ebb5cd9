#include "kernel/directory_descriptor.h"

#include "kernel/directory_path_map.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace fssh {

DirectoryDescriptor::DirectoryDescriptor(DIR* directory, host_node_id id)
    : directory_(directory), id_(id)
{
}

DirectoryDescriptor::~DirectoryDescriptor()
{
    if (directory_ != nullptr)
        closedir(directory_);
}

status_code DirectoryDescriptor::Open(const char* path, DirectoryDescriptor** descriptor)
{
    DIR* directory = opendir(path);
    if (directory == nullptr)
        return host_errno_to_status(errno);
    struct stat host_stat;
    if (fstat(dirfd(directory), &host_stat) != 0) {
        status_code status = host_errno_to_status(errno);
        closedir(directory);
        return status;
    }
    host_node_id id = {host_stat.st_dev, host_stat.st_ino};
    status_code status = directory_path_record(id, path);
    if (status != FSSH_OK) {
        closedir(directory);
        return status;
    }
    *descriptor = new (std::nothrow) DirectoryDescriptor(directory, id);
    if (*descriptor == nullptr) {
        closedir(directory);
        return FSSH_NO_MEMORY;
    }
    return FSSH_OK;
}

status_code DirectoryDescriptor::Close()
{
    int result = closedir(directory_);
    directory_ = nullptr;
    return result == 0 ? FSSH_OK : host_errno_to_status(errno);
}

status_code DirectoryDescriptor::Duplicate(Descriptor** copy)
{
    char path[HOST_PATH_SIZE];
    status_code status = HostPath(path, sizeof(path));
    if (status != FSSH_OK)
        return status;
    DirectoryDescriptor* directory;
    status = Open(path, &directory);
    if (status != FSSH_OK)
        return status;
    *copy = directory;
    return FSSH_OK;
}

status_code DirectoryDescriptor::Stat(bool, struct stat* host_stat)
{
    char path[HOST_PATH_SIZE];
    status_code status = HostPath(path, sizeof(path));
    if (status != FSSH_OK)
        return status;
    return stat(path, host_stat) == 0 ? FSSH_OK : host_errno_to_status(errno);
}

status_code DirectoryDescriptor::NodeId(host_node_id* id)
{
    *id = id_;
    return FSSH_OK;
}

status_code DirectoryDescriptor::ReadEntry(char* name, size_t size)
{
    if (directory_ == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    errno = 0;
    dirent* entry = readdir(directory_);
    if (entry == nullptr)
        return errno == 0 ? 0 : host_errno_to_status(errno);
    status_code status = copy_host_path(entry->d_name, name, size);
    return status == FSSH_OK ? 1 : status;
}

status_code DirectoryDescriptor::Rewind()
{
    if (directory_ == nullptr)
        return FSSH_BAD_FILE_DESCRIPTOR;
    rewinddir(directory_);
    return FSSH_OK;
}

}  // namespace fssh
