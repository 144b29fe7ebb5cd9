// Linux implementation of the host interface.

#include "kernel/host.h"

#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace fssh::host {

namespace {

constexpr char USER_NAMESPACE[] = "user.";
constexpr size_t USER_NAMESPACE_LENGTH = sizeof(USER_NAMESPACE) - 1;
// Linux limits attribute names to 255 bytes including the namespace.
constexpr size_t MAX_ATTRIBUTE_NAME = 255;

// Builds "user." + name into `buffer`; false (errno ERANGE) when too long.
bool user_attribute_name(const char* name, char (&buffer)[MAX_ATTRIBUTE_NAME + 1])
{
    size_t length = strlen(name);
    if (USER_NAMESPACE_LENGTH + length > MAX_ATTRIBUTE_NAME) {
        errno = ERANGE;
        return false;
    }
    memcpy(buffer, USER_NAMESPACE, USER_NAMESPACE_LENGTH);
    memcpy(buffer + USER_NAMESPACE_LENGTH, name, length + 1);
    return true;
}

}  // namespace

int missing_attribute_errno()
{
    // Linux has no ENOATTR; its extended-attribute calls report ENODATA.
    return ENODATA;
}

int disk_sector_size(int fd, uint32_t* sector_size)
{
    int size = 0;
    if (ioctl(fd, BLKSSZGET, &size) != 0)
        return -1;
    *sector_size = static_cast<uint32_t>(size);
    return 0;
}

int disk_media_size(int fd, uint64_t* media_size)
{
    uint64_t size = 0;
    if (ioctl(fd, BLKGETSIZE64, &size) != 0)
        return -1;
    *media_size = size;
    return 0;
}

bool disk_is_read_only(int fd)
{
    int read_only = 0;
    return ioctl(fd, BLKROGET, &read_only) == 0 && read_only != 0;
}

void disk_firmware_geometry(int fd, uint32_t* sectors_per_track, uint32_t* heads)
{
    hd_geometry geometry = {};
    if (ioctl(fd, HDIO_GETGEO, &geometry) != 0) {
        *sectors_per_track = 0;
        *heads = 0;
        return;
    }
    *sectors_per_track = geometry.sectors;
    *heads = geometry.heads;
}

int flush_data(int fd)
{
    return fdatasync(fd);
}

ssize_t get_user_attribute(int fd, const char* name, void* value, size_t size)
{
    char full_name[MAX_ATTRIBUTE_NAME + 1];
    if (!user_attribute_name(name, full_name))
        return -1;
    return fgetxattr(fd, full_name, value, size);
}

int set_user_attribute(int fd, const char* name, const void* value, size_t size)
{
    char full_name[MAX_ATTRIBUTE_NAME + 1];
    if (!user_attribute_name(name, full_name))
        return -1;
    return fsetxattr(fd, full_name, value, size, 0);
}

int remove_user_attribute(int fd, const char* name)
{
    char full_name[MAX_ATTRIBUTE_NAME + 1];
    if (!user_attribute_name(name, full_name))
        return -1;
    return fremovexattr(fd, full_name);
}

ssize_t list_user_attributes(int fd, char* names, size_t size)
{
    ssize_t all_length = flistxattr(fd, nullptr, 0);
    if (all_length < 0 || size == 0)
        return all_length;
    char* all_names = static_cast<char*>(malloc(static_cast<size_t>(all_length) + 1));
    if (all_names == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    // The list may have grown since it was measured; flistxattr then says
    // ERANGE, which the caller sees as for a buffer that is too small.
    all_length = flistxattr(fd, all_names, static_cast<size_t>(all_length));
    if (all_length < 0) {
        int saved_errno = errno;
        free(all_names);
        errno = saved_errno;
        return -1;
    }
    size_t written = 0;
    for (size_t offset = 0; offset < static_cast<size_t>(all_length);) {
        const char* name = all_names + offset;
        size_t length = strnlen(name, static_cast<size_t>(all_length) - offset);
        offset += length + 1;
        if (strncmp(name, USER_NAMESPACE, USER_NAMESPACE_LENGTH) != 0)
            continue;
        size_t short_length = length - USER_NAMESPACE_LENGTH;
        if (written + short_length + 1 > size) {
            free(all_names);
            errno = ERANGE;
            return -1;
        }
        memcpy(names + written, name + USER_NAMESPACE_LENGTH, short_length);
        names[written + short_length] = '\0';
        written += short_length + 1;
    }
    free(all_names);
    return static_cast<ssize_t>(written);
}

}  // namespace fssh::host
