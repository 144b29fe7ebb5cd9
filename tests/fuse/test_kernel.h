#pragma once

// The in-process kernel of the front end's test program, brought up the way
// wfsmount does it, with the memory volume mounted at "/myfs".

#include "kernel/kernel_stat.h"

namespace fuse_test {

// The device name the memory volume is mounted with.
constexpr const char* TEST_DEVICE = "memory device";

// Brings the kernel up on first use; later calls return at once. Fails the
// current test when the bring-up fails.
void bring_up_test_kernel();

// The root file system is the first mount, and mount ids start at 1.
constexpr fssh::dev_t ROOT_FILE_SYSTEM_DEVICE = 1;

// The mount id of the memory volume.
fssh::dev_t memory_volume_device();

}  // namespace fuse_test
