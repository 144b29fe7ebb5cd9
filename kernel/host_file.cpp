#include "kernel/host_file.h"

#include "kernel/aligned_io.h"
#include "kernel/attribute_descriptor.h"
#include "kernel/debug.h"
#include "kernel/descriptor_table.h"
#include "kernel/directory_descriptor.h"
#include "kernel/directory_path_map.h"
#include "kernel/disk_geometry.h"
#include "kernel/entry_point_failure.h"
#include "kernel/file_descriptor.h"
#include "kernel/host.h"
#include "kernel/host_conversion.h"
#include "kernel/host_path.h"
#include "kernel/symlink_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

namespace fssh {

namespace {

// The host fd behind a descriptor that is a host file descriptor.
status_code host_fd_of(int descriptor, int* fd)
{
    Descriptor* entry = get_descriptor(descriptor);
    if (entry == nullptr || !entry->IsHostFd())
        return FSSH_BAD_FILE_DESCRIPTOR;
    *fd = entry->Number();
    return FSSH_OK;
}

// Moves the host position to `position` unless it is -1 (stay).
status_code seek_for_transfer(int fd, off_t position)
{
    if (position != -1 && lseek(fd, position, SEEK_SET) < 0)
        return host_errno_to_status(errno);
    return FSSH_OK;
}

template <typename Transfer>
ssize_t transfer_at(int descriptor, off_t position, Transfer transfer)
{
    int fd;
    status_code status = host_fd_of(descriptor, &fd);
    if (status == FSSH_OK)
        status = seek_for_transfer(fd, position);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    ssize_t transferred = transfer(fd);
    return transferred < 0 ? fail_entry_point_with_host_errno() : transferred;
}

template <typename Transfer>
ssize_t transfer_vectors_at(int descriptor, off_t position, int count, Transfer transfer)
{
    if (count < 0 || count > MAX_IO_VECTORS)
        return fail_entry_point(FSSH_INVALID_ARGUMENT);
    return transfer_at(descriptor, position, transfer);
}

int enter_symlink(const char* path)
{
    SymlinkDescriptor* link;
    status_code status = SymlinkDescriptor::Create(path, &link);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    return add_descriptor(std::unique_ptr<Descriptor>(link));
}

// Opens the host file and enters it under its host fd; a directory is also
// recorded in the directory path map.
int enter_host_file(const char* path, int host_flags, mode_t host_mode)
{
    int fd = open(path, host_flags, host_mode);
    if (fd < 0)
        return fail_entry_point_with_host_errno();
    std::unique_ptr<Descriptor> file(new (std::nothrow) FileDescriptor(fd));
    if (!file) {
        close(fd);
        return fail_entry_point(FSSH_NO_MEMORY);
    }
    struct stat host_stat;
    if (fstat(fd, &host_stat) != 0)
        return fail_entry_point_with_host_errno();
    if (S_ISDIR(host_stat.st_mode)) {
        status_code status = directory_path_record({host_stat.st_dev, host_stat.st_ino}, path);
        if (status != FSSH_OK)
            return fail_entry_point(status);
    }
    return add_descriptor(std::move(file));
}

int stat_path(const char* path, kernel_stat* stat, int (*host_call)(const char*, struct stat*))
{
    struct stat host_stat;
    if (host_call(path, &host_stat) != 0)
        return fail_entry_point_with_host_errno();
    stat_from_host(host_stat, stat);
    return 0;
}

int host_whence(int whence)
{
    switch (whence) {
        case 1:
            return SEEK_CUR;
        case 2:
            return SEEK_END;
        default:
            return SEEK_SET;
    }
}

}  // namespace

int fssh_open(const char* path, uint32_t open_mode, uint32_t permissions)
{
    return fssh_openat(-1, path, open_mode, permissions);
}

int fssh_openat(int directory, const char* path, uint32_t open_mode, uint32_t permissions)
{
    char host_path[HOST_PATH_SIZE];
    status_code status = resolve_host_path(directory, path, host_path, sizeof(host_path));
    if (status != FSSH_OK)
        return fail_entry_point(status);
    host_open_flags flags = open_flags_to_host(open_mode);
    struct stat link_stat;
    if (lstat(host_path, &link_stat) != 0) {
        if ((flags.flags & O_CREAT) == 0)
            return fail_entry_point_with_host_errno();
    } else if (S_ISLNK(link_stat.st_mode) && flags.no_traverse) {
        return enter_symlink(host_path);
    }
    return enter_host_file(host_path, flags.flags, mode_to_host(permissions));
}

status_code fssh_close(int descriptor)
{
    std::unique_ptr<Descriptor> entry = remove_descriptor(descriptor);
    status_code status = entry ? entry->Close() : FSSH_BAD_FILE_DESCRIPTOR;
    if (status != FSSH_OK)
        set_kernel_errno(status);
    return status;
}

int fssh_dup(int descriptor)
{
    Descriptor* entry = get_descriptor(descriptor);
    if (entry == nullptr)
        return fail_entry_point(FSSH_BAD_FILE_DESCRIPTOR);
    Descriptor* copy = nullptr;
    status_code status = entry->Duplicate(&copy);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    if (copy == nullptr)
        debugger("Dup() succeeded but descriptor is NULL");
    return add_descriptor(std::unique_ptr<Descriptor>(copy));
}

int fssh_opendirat(int directory, const char* path)
{
    char host_path[HOST_PATH_SIZE];
    status_code status = resolve_host_path(directory, path, host_path, sizeof(host_path));
    if (status != FSSH_OK)
        return fail_entry_point(status);
    DirectoryDescriptor* stream;
    status = DirectoryDescriptor::Open(host_path, &stream);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    return add_descriptor(std::unique_ptr<Descriptor>(stream));
}

int fssh_readdir(int descriptor, char* name, size_t size)
{
    auto* stream = dynamic_cast<DirectoryDescriptor*>(get_descriptor(descriptor));
    if (stream == nullptr)
        return fail_entry_point(FSSH_BAD_FILE_DESCRIPTOR);
    status_code result = stream->ReadEntry(name, size);
    return result < 0 ? fail_entry_point(result) : result;
}

int fssh_rewinddir(int descriptor)
{
    auto* stream = dynamic_cast<DirectoryDescriptor*>(get_descriptor(descriptor));
    if (stream == nullptr)
        return fail_entry_point(FSSH_BAD_FILE_DESCRIPTOR);
    status_code status = stream->Rewind();
    return status != FSSH_OK ? fail_entry_point(status) : 0;
}

ssize_t fssh_pread(int descriptor, off_t position, void* buffer, size_t size)
{
    return transfer_at(descriptor, position,
                       [&](int fd) { return aligned_read(fd, buffer, size); });
}

ssize_t fssh_pwrite(int descriptor, off_t position, const void* buffer, size_t size)
{
    return transfer_at(descriptor, position,
                       [&](int fd) { return aligned_write(fd, buffer, size); });
}

ssize_t fssh_read(int descriptor, void* buffer, size_t size)
{
    return fssh_pread(descriptor, -1, buffer, size);
}

ssize_t fssh_write(int descriptor, const void* buffer, size_t size)
{
    auto* attribute = dynamic_cast<AttributeDescriptor*>(get_descriptor(descriptor));
    if (attribute == nullptr)
        return fssh_pwrite(descriptor, -1, buffer, size);
    ssize_t written = attribute->Write(0, buffer, size);
    return written < 0 ? fail_entry_point(static_cast<status_code>(written)) : written;
}

ssize_t fssh_preadv(int descriptor, off_t position, const iovec* vectors, int count)
{
    return transfer_vectors_at(descriptor, position, count,
                               [&](int fd) { return aligned_readv(fd, vectors, count); });
}

ssize_t fssh_pwritev(int descriptor, off_t position, const iovec* vectors, int count)
{
    return transfer_vectors_at(descriptor, position, count,
                               [&](int fd) { return aligned_writev(fd, vectors, count); });
}

ssize_t fssh_readv(int descriptor, const iovec* vectors, int count)
{
    return fssh_preadv(descriptor, -1, vectors, count);
}

ssize_t fssh_writev(int descriptor, const iovec* vectors, int count)
{
    return fssh_pwritev(descriptor, -1, vectors, count);
}

int fssh_ioctl(int descriptor, uint32_t operation, void* argument, size_t length)
{
    int fd;
    status_code status = host_fd_of(descriptor, &fd);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    switch (operation) {
        case IOCTL_QUERY_GEOMETRY:
            if (argument == nullptr || length < sizeof(disk_geometry))
                return fail_entry_point(FSSH_INVALID_ARGUMENT);
            status = query_disk_geometry(fd, static_cast<disk_geometry*>(argument));
            return status != FSSH_OK ? fail_entry_point(status) : 0;
        case IOCTL_FLUSH_WRITE_CACHE:
            // The journal's barrier between its log and the blocks' home
            // locations: the log must be on stable storage when this returns.
            return host::flush_data(fd) != 0 ? fail_entry_point_with_host_errno() : 0;
        case IOCTL_IGNORED:
            return 0;
        default:
            return fail_entry_point(FSSH_INVALID_ARGUMENT);
    }
}

int fssh_fstat(int descriptor, kernel_stat* stat)
{
    Descriptor* entry = get_descriptor(descriptor);
    if (entry == nullptr)
        return fail_entry_point(FSSH_BAD_FILE_DESCRIPTOR);
    struct stat host_stat;
    status_code status = entry->Stat(false, &host_stat);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    stat_from_host(host_stat, stat);
    return 0;
}

int fssh_stat(const char* path, kernel_stat* stat)
{
    return stat_path(path, stat, ::stat);
}

int fssh_lstat(const char* path, kernel_stat* stat)
{
    return stat_path(path, stat, ::lstat);
}

off_t fssh_lseek(int descriptor, off_t offset, int whence)
{
    int fd;
    status_code status = host_fd_of(descriptor, &fd);
    if (status != FSSH_OK)
        return fail_entry_point(status);
    off_t position = lseek(fd, offset, host_whence(whence));
    return position < 0 ? fail_entry_point_with_host_errno() : position;
}

int fssh_unlink(const char* path)
{
    return unlink(path) != 0 ? fail_entry_point_with_host_errno() : 0;
}

}  // namespace fssh
