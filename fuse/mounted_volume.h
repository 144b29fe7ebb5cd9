#pragma once

// The kernel's mount point for the device and what start-up learns about the
// volume mounted there.

#include "kernel/status.h"
#include "vfs/fs_info.h"

#include <cstdint>

namespace wfsmount {

// Where the device's volume is mounted in the kernel's name space.
constexpr const char* KERNEL_MOUNT_POINT = "/myfs";
constexpr uint32_t KERNEL_MOUNT_POINT_PERMISSIONS = 0775;

// Block size reported for a block device whose volume information cannot be
// read.
constexpr int32_t FALLBACK_BLOCK_SIZE = 512;

// Reads the information record of the volume mounted at KERNEL_MOUNT_POINT:
// its device number comes from a stat of the mount point (without following a
// link). A failed stat, a negative device number or a failed read is returned
// as a negative status.
fssh::status_code read_mounted_volume_info(fssh::fs_info* info);

// The mounted volume's name, or "unknown" when its information cannot be
// read. The text lives in `info`.
const char* mounted_volume_name(fssh::fs_info* info);

// The mounted volume's block size as a 32-bit integer, or FALLBACK_BLOCK_SIZE
// when its information cannot be read.
int32_t mounted_volume_block_size();

}  // namespace wfsmount
