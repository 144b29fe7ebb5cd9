#pragma once

// Opens the device of a volume for mounting, and undoes everything on a
// failed mount: unless told to keep them, it closes the descriptor and deletes
// the block cache it made, without writing anything back.

#include "block_cache/block_cache.h"
#include "kernel/kernel_stat.h"
#include "kernel/status.h"

#include <cstdint>

namespace wfs {

class DeviceOpener {
public:
    // Opens `device` with the kernel access mode `mode` (FSSH_O_RDONLY or
    // FSSH_O_RDWR). A device that refuses writing, or reports itself
    // read-only, is opened read-only instead.
    DeviceOpener(const char* device, uint32_t mode);
    // Works on a duplicate of the open descriptor `device`, with the access
    // mode `mode` it was opened with.
    DeviceOpener(int device, uint32_t mode);
    ~DeviceOpener();
    DeviceOpener(const DeviceOpener&) = delete;
    DeviceOpener& operator=(const DeviceOpener&) = delete;

    // The descriptor, or the negative status of the failed open.
    int Device() const { return device_; }
    bool IsReadOnly() const;

    // Creates the block cache for the device (read-only when the device is);
    // null on failure.
    fssh::block_cache* InitCache(int64_t block_count, uint32_t block_size);

    // Deletes the block cache now, writing changed blocks back when
    // `allow_writes` is set.
    void RemoveCache(bool allow_writes);

    // Hands the descriptor and the block cache over to the caller.
    void Keep();

    // The size of the device in bytes and its sector size: from the disk
    // geometry, or for an image file from its size with 512-byte sectors.
    fssh::status_code GetSize(fssh::off_t* size, uint32_t* sector_size) const;

private:
    int OpenDevice(const char* device, uint32_t mode);

    int device_;
    uint32_t mode_ = 0;
    fssh::block_cache* block_cache_ = nullptr;
    bool keep_ = false;
};

}  // namespace wfs
