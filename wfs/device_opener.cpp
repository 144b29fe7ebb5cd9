#include "wfs/device_opener.h"

#include "kernel/host_file.h"
#include "kernel/open_mode.h"

namespace wfs {

namespace {

constexpr uint32_t DEFAULT_SECTOR_SIZE = 512;

}  // namespace

DeviceOpener::DeviceOpener(const char* device, uint32_t mode)
{
    device_ = OpenDevice(device, mode);
    if (device_ < 0 && mode == fssh::FSSH_O_RDWR)
        device_ = OpenDevice(device, fssh::FSSH_O_RDONLY);
    if (device_ < 0 || mode_ != fssh::FSSH_O_RDWR)
        return;

    fssh::disk_geometry geometry;
    if (fssh::fssh_ioctl(device_, fssh::IOCTL_QUERY_GEOMETRY, &geometry, sizeof(geometry)) == 0
        && geometry.read_only) {
        fssh::fssh_close(device_);
        device_ = OpenDevice(device, fssh::FSSH_O_RDONLY);
    }
}

DeviceOpener::DeviceOpener(int device, uint32_t mode)
{
    device_ = fssh::fssh_dup(device);
    if (device_ < 0) {
        fssh::status_code status = fssh::get_kernel_errno();
        device_ = status < 0 ? status : fssh::FSSH_ERROR;
        return;
    }
    mode_ = mode;
}

DeviceOpener::~DeviceOpener()
{
    if (keep_)
        return;
    RemoveCache(false);
    if (device_ >= 0)
        fssh::fssh_close(device_);
}

int DeviceOpener::OpenDevice(const char* device, uint32_t mode)
{
    // The volume does its own caching of the device.
    int descriptor = fssh::fssh_open(device, mode | fssh::FSSH_O_NOCACHE, 0);
    if (descriptor < 0) {
        fssh::status_code status = fssh::get_kernel_errno();
        return status < 0 ? status : fssh::FSSH_ERROR;
    }
    mode_ = mode;
    return descriptor;
}

bool DeviceOpener::IsReadOnly() const
{
    return (mode_ & fssh::FSSH_O_RWMASK) == fssh::FSSH_O_RDONLY;
}

fssh::block_cache* DeviceOpener::InitCache(int64_t block_count, uint32_t block_size)
{
    block_cache_ = fssh::block_cache_create(device_, block_count, block_size, IsReadOnly());
    return block_cache_;
}

void DeviceOpener::RemoveCache(bool allow_writes)
{
    if (block_cache_ != nullptr)
        fssh::block_cache_delete(block_cache_, allow_writes);
    block_cache_ = nullptr;
}

void DeviceOpener::Keep()
{
    keep_ = true;
}

fssh::status_code DeviceOpener::GetSize(fssh::off_t* size, uint32_t* sector_size) const
{
    fssh::disk_geometry geometry;
    if (fssh::fssh_ioctl(device_, fssh::IOCTL_QUERY_GEOMETRY, &geometry, sizeof(geometry)) == 0) {
        *size = static_cast<fssh::off_t>(uint64_t{geometry.sector_size} * geometry.sectors_per_track
            * geometry.cylinders * geometry.heads);
        *sector_size = geometry.sector_size;
        return fssh::FSSH_OK;
    }
    fssh::kernel_stat stat;
    if (fssh::fssh_fstat(device_, &stat) != 0)
        return fssh::FSSH_ERROR;
    *size = stat.st_size;
    *sector_size = DEFAULT_SECTOR_SIZE;
    return fssh::FSSH_OK;
}

}  // namespace wfs
