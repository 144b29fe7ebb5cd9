#include "tests/fuse/test_kernel.h"

#include "fuse/kernel_bring_up.h"
#include "tests/fuse/memory_volume.h"

#include <gtest/gtest.h>

namespace fuse_test {

namespace {

fssh::dev_t memory_volume_mount_id = -1;

bool bring_up()
{
    fssh::status_code status = wfsmount::bring_up_kernel(memory_volume::module_list);
    EXPECT_EQ(status, fssh::FSSH_OK);
    if (status != fssh::FSSH_OK)
        return false;
    memory_volume_mount_id = wfsmount::mount_device(TEST_DEVICE, memory_volume::MODULE_NAME);
    EXPECT_GT(memory_volume_mount_id, 0);
    return memory_volume_mount_id > 0;
}

}  // namespace

void bring_up_test_kernel()
{
    static const bool up = bring_up();
    ASSERT_TRUE(up) << "the test kernel could not be brought up";
}

fssh::dev_t memory_volume_device()
{
    return memory_volume_mount_id;
}

}  // namespace fuse_test
