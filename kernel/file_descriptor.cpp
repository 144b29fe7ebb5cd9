#include "kernel/file_descriptor.h"

#include <unistd.h>

#include <cerrno>
#include <new>

namespace fssh {

FileDescriptor::FileDescriptor(int host_fd)
{
    number_ = host_fd;
}

FileDescriptor::~FileDescriptor()
{
    if (number_ >= 0)
        close(number_);
}

status_code FileDescriptor::Close()
{
    int result = close(number_);
    number_ = -1;
    return result == 0 ? FSSH_OK : host_errno_to_status(errno);
}

status_code FileDescriptor::Duplicate(Descriptor** copy)
{
    int host_fd = dup(number_);
    if (host_fd < 0)
        return host_errno_to_status(errno);
    *copy = new (std::nothrow) FileDescriptor(host_fd);
    if (*copy == nullptr) {
        close(host_fd);
        return FSSH_NO_MEMORY;
    }
    return FSSH_OK;
}

status_code FileDescriptor::Stat(bool, struct stat* host_stat)
{
    return fstat(number_, host_stat) == 0 ? FSSH_OK : host_errno_to_status(errno);
}

}  // namespace fssh
