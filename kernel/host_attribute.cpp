#include "kernel/host_attribute.h"

#include "kernel/attr_dir_descriptor.h"
#include "kernel/attribute_descriptor.h"
#include "kernel/attribute_value.h"
#include "kernel/descriptor_table.h"
#include "kernel/entry_point_failure.h"
#include "kernel/symlink_descriptor.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace fssh {

namespace {

// The host fd of the file whose attributes are meant.
status_code attribute_host_fd(int descriptor, int* fd)
{
    Descriptor* entry = get_descriptor(descriptor);
    if (entry == nullptr || !entry->IsHostFd())
        return FSSH_BAD_FILE_DESCRIPTOR;
    *fd = entry->Number();
    return FSSH_OK;
}

// A write of the file type on a symbolic link, which has no host fd to carry
// attributes, is dropped without complaint.
bool is_ignored_write(int descriptor, const char* name)
{
    return strcmp(name, FILE_TYPE_ATTRIBUTE) == 0 &&
           dynamic_cast<SymlinkDescriptor*>(get_descriptor(descriptor)) != nullptr;
}

status_code load_attribute(int descriptor, const char* name, const char* caller,
                           AttributeValue* value)
{
    int fd;
    status_code status = attribute_host_fd(descriptor, &fd);
    if (status != FSSH_OK)
        return status;
    return value->Load(fd, name, caller);
}

}  // namespace

int fssh_fs_open_attr_dir(int descriptor)
{
    int fd;
    status_code status = attribute_host_fd(descriptor, &fd);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    AttrDirDescriptor* directory;
    status = AttrDirDescriptor::Open(fd, &directory);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    return add_descriptor(std::unique_ptr<Descriptor>(directory));
}

int fssh_fs_read_attr_dir(int descriptor, char* name, size_t size)
{
    auto* directory = dynamic_cast<AttrDirDescriptor*>(get_descriptor(descriptor));
    if (directory == nullptr)
        return fail_entry_point(FSSH_BAD_FILE_DESCRIPTOR);
    status_code result = directory->ReadEntry(name, size);
    return result < 0 ? fail_entry_point(result) : result;
}

int fssh_fs_rewind_attr_dir(int descriptor)
{
    auto* directory = dynamic_cast<AttrDirDescriptor*>(get_descriptor(descriptor));
    if (directory == nullptr)
        return fail_entry_point(FSSH_BAD_FILE_DESCRIPTOR);
    directory->Rewind();
    return 0;
}

int fssh_fs_open_attr(int descriptor, const char* name, uint32_t type, uint32_t open_mode)
{
    int fd;
    status_code status = attribute_host_fd(descriptor, &fd);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    AttributeDescriptor* attribute;
    status = AttributeDescriptor::Open(fd, name, type, open_mode, &attribute);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    return add_descriptor(std::unique_ptr<Descriptor>(attribute));
}

ssize_t fssh_fs_read_attr(int descriptor, const char* name, off_t position, void* buffer,
                          size_t size)
{
    AttributeValue value;
    status_code status = load_attribute(descriptor, name, "fs_read_attr", &value);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    return static_cast<ssize_t>(value.Read(position, buffer, size));
}

ssize_t fssh_fs_write_attr(int descriptor, const char* name, uint32_t type, off_t position,
                           const void* buffer, size_t size)
{
    if (is_ignored_write(descriptor, name))
        return static_cast<ssize_t>(size);
    int fd;
    status_code status = attribute_host_fd(descriptor, &fd);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    AttributeValue value;
    status = value.Load(fd, name, "fs_read_attr");
    if (status != FSSH_OK && status != FSSH_NOT_FOUND)
        return fail_entry_point(status);
    value.SetType(type);
    status = value.Write(position, buffer, size);
    if (status == FSSH_OK)
        status = value.Store(fd, name);
    return status != FSSH_OK ? fail_entry_point(status) : static_cast<ssize_t>(size);
}

int fssh_fs_remove_attr(int descriptor, const char* name)
{
    int fd;
    status_code status = attribute_host_fd(descriptor, &fd);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    status = AttributeValue::Remove(fd, name);
    return status != FSSH_OK ? fail_entry_point(status) : 0;
}

int fssh_fs_stat_attr(int descriptor, const char* name, attr_info* info)
{
    AttributeValue value;
    status_code status = load_attribute(descriptor, name, "fs_stat_attr", &value);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    info->type = value.Type();
    info->size = static_cast<off_t>(value.Size());
    return 0;
}

}  // namespace fssh
