#include "kernel/attribute_descriptor.h"

#include "kernel/open_mode.h"

#include <cstring>
#include <memory>
#include <new>

namespace fssh {

status_code AttributeDescriptor::Open(int file_fd, const char* name, uint32_t type,
                                      uint32_t open_mode, AttributeDescriptor** descriptor)
{
    std::unique_ptr<AttributeDescriptor> attribute(new (std::nothrow) AttributeDescriptor);
    if (!attribute)
        return FSSH_NO_MEMORY;
    status_code status = attribute->Load(file_fd, name, type, open_mode);
    if (status != FSSH_OK)
        return status;
    *descriptor = attribute.release();
    return FSSH_OK;
}

status_code AttributeDescriptor::Load(int file_fd, const char* name, uint32_t type,
                                      uint32_t open_mode)
{
    if (strlen(name) > MAX_ATTRIBUTE_NAME_LENGTH)
        return FSSH_NAME_TOO_LONG;
    strcpy(name_, name);
    open_mode_ = open_mode;
    status_code status = host_fd_.DuplicateOf(file_fd);
    if (status != FSSH_OK)
        return status;

    status = value_.Load(host_fd_.Get(), name_, "fs_read_attr");
    bool create = status == FSSH_NOT_FOUND && (open_mode & FSSH_O_CREAT) != 0;
    if (status != FSSH_OK && !create)
        return status;
    if (create)
        value_.SetType(type);
    if (create || (open_mode & FSSH_O_TRUNC) != 0) {
        value_.Truncate();
        return value_.Store(host_fd_.Get(), name_);
    }
    return FSSH_OK;
}

status_code AttributeDescriptor::Close()
{
    return host_fd_.Close();
}

status_code AttributeDescriptor::Duplicate(Descriptor** copy)
{
    std::unique_ptr<AttributeDescriptor> twin(new (std::nothrow) AttributeDescriptor);
    if (!twin)
        return FSSH_NO_MEMORY;
    status_code status = twin->host_fd_.DuplicateOf(host_fd_.Get());
    if (status != FSSH_OK)
        return status;
    strcpy(twin->name_, name_);
    twin->open_mode_ = open_mode_;
    status = twin->value_.CopyFrom(value_);
    if (status != FSSH_OK)
        return status;
    *copy = twin.release();
    return FSSH_OK;
}

status_code AttributeDescriptor::Stat(bool, struct stat* host_stat)
{
    return host_fd_.Stat(host_stat);
}

size_t AttributeDescriptor::Read(off_t position, void* buffer, size_t size) const
{
    return value_.Read(position, buffer, size);
}

ssize_t AttributeDescriptor::Write(off_t position, const void* buffer, size_t size)
{
    if ((open_mode_ & FSSH_O_RWMASK) != FSSH_O_WRONLY && (open_mode_ & FSSH_O_RWMASK) != FSSH_O_RDWR)
        return FSSH_BAD_FILE_DESCRIPTOR;
    status_code status = value_.Write(position, buffer, size);
    if (status == FSSH_OK)
        status = value_.Store(host_fd_.Get(), name_);
    return status != FSSH_OK ? status : static_cast<ssize_t>(size);
}

}  // namespace fssh
