#include "kernel/symlink_descriptor.h"

#include <cerrno>
#include <memory>
#include <new>

namespace fssh {

status_code SymlinkDescriptor::Create(const char* path, SymlinkDescriptor** descriptor)
{
    std::unique_ptr<SymlinkDescriptor> link(new (std::nothrow) SymlinkDescriptor);
    if (!link)
        return FSSH_NO_MEMORY;
    status_code status = copy_host_path(path, link->path_, sizeof(link->path_));
    if (status != FSSH_OK)
        return status;
    *descriptor = link.release();
    return FSSH_OK;
}

status_code SymlinkDescriptor::Duplicate(Descriptor** copy)
{
    SymlinkDescriptor* link;
    status_code status = Create(path_, &link);
    if (status != FSSH_OK)
        return status;
    *copy = link;
    return FSSH_OK;
}

status_code SymlinkDescriptor::Stat(bool follow_links, struct stat* host_stat)
{
    int result = follow_links ? stat(path_, host_stat) : lstat(path_, host_stat);
    return result == 0 ? FSSH_OK : host_errno_to_status(errno);
}

status_code SymlinkDescriptor::HostPath(char* buffer, size_t size)
{
    return copy_host_path(path_, buffer, size);
}

}  // namespace fssh
