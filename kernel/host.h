#pragma once

// The kernel's window on the host operating system: every host facility whose
// interface differs between hosts (errno values without a portable name, disk
// requests, extended attributes, flushing a device) is reached through this
// header. Each host has one implementation file (host_linux.cpp here).
// Functions returning int or ssize_t give -1 and leave the reason in the host
// errno on failure.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace fssh::host {

// The host errno that reports a missing extended attribute.
int missing_attribute_errno();

// The logical sector size of a disk device.
int disk_sector_size(int fd, uint32_t* sector_size);

// The size of a disk device's medium in bytes.
int disk_media_size(int fd, uint64_t* media_size);

// True when the device refuses writes. A read-only block device can still be
// opened for writing here; only the writes fail.
bool disk_is_read_only(int fd);

// The device's own idea of sectors per track and heads; both 0 when the
// device does not report a geometry.
void disk_firmware_geometry(int fd, uint32_t* sectors_per_track, uint32_t* heads);

// Writes the file's or device's data through to stable storage.
int flush_data(int fd);

// Extended attributes of the user namespace, named without a namespace prefix.
ssize_t get_user_attribute(int fd, const char* name, void* value, size_t size);
int set_user_attribute(int fd, const char* name, const void* value, size_t size);
int remove_user_attribute(int fd, const char* name);

// Fills `names` with the names of the file's user-namespace attributes, each
// followed by a NUL, and returns their total length. With size 0 it returns an
// upper bound of the length needed; a buffer that is too small gives ERANGE.
ssize_t list_user_attributes(int fd, char* names, size_t size);

}  // namespace fssh::host
