#include "kernel/attr_dir_descriptor.h"

#include "kernel/attribute_value.h"
#include "kernel/host.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace fssh {

AttrDirDescriptor::~AttrDirDescriptor()
{
    free(names_);
}

status_code AttrDirDescriptor::Open(int file_fd, AttrDirDescriptor** descriptor)
{
    std::unique_ptr<AttrDirDescriptor> directory(new (std::nothrow) AttrDirDescriptor);
    if (!directory)
        return FSSH_NO_MEMORY;
    status_code status = directory->TakeNames(file_fd);
    if (status != FSSH_OK)
        return status;
    *descriptor = directory.release();
    return FSSH_OK;
}

status_code AttrDirDescriptor::TakeNames(int file_fd)
{
    status_code status = host_fd_.DuplicateOf(file_fd);
    struct stat host_stat;
    if (status == FSSH_OK)
        status = host_fd_.Stat(&host_stat);
    if (status != FSSH_OK)
        return status;
    id_ = {host_stat.st_dev, host_stat.st_ino};

    ssize_t length = host::list_user_attributes(host_fd_.Get(), nullptr, 0);
    if (length < 0)
        return host_errno_to_status(errno);
    names_ = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
    if (names_ == nullptr)
        return FSSH_NO_MEMORY;
    length = host::list_user_attributes(host_fd_.Get(), names_, static_cast<size_t>(length) + 1);
    if (length < 0)
        return host_errno_to_status(errno);
    names_length_ = static_cast<size_t>(length);
    return FSSH_OK;
}

status_code AttrDirDescriptor::Close()
{
    return host_fd_.Close();
}

status_code AttrDirDescriptor::Duplicate(Descriptor** copy)
{
    std::unique_ptr<AttrDirDescriptor> twin(new (std::nothrow) AttrDirDescriptor);
    if (!twin)
        return FSSH_NO_MEMORY;
    status_code status = twin->host_fd_.DuplicateOf(host_fd_.Get());
    if (status != FSSH_OK)
        return status;
    twin->names_ = static_cast<char*>(malloc(names_length_ + 1));
    if (twin->names_ == nullptr)
        return FSSH_NO_MEMORY;
    memcpy(twin->names_, names_, names_length_);
    twin->names_length_ = names_length_;
    twin->position_ = position_;
    twin->id_ = id_;
    *copy = twin.release();
    return FSSH_OK;
}

status_code AttrDirDescriptor::Stat(bool, struct stat* host_stat)
{
    return host_fd_.Stat(host_stat);
}

status_code AttrDirDescriptor::NodeId(host_node_id* id)
{
    *id = id_;
    return FSSH_OK;
}

status_code AttrDirDescriptor::ReadEntry(char* name, size_t size)
{
    while (position_ < names_length_) {
        const char* host_name = names_ + position_;
        position_ += strlen(host_name) + 1;
        if (!is_host_attribute_name(host_name))
            continue;
        status_code status = attribute_name_from_host(host_name, name, size);
        return status == FSSH_OK ? 1 : status;
    }
    return 0;
}

}  // namespace fssh
