#pragma once

// A fresh root file system volume per test, mounted on its own directory of
// the vfs tests' kernel, so that every test starts from an empty volume whose
// root has id 1.

#include "tests/vfs/vfs_fixture.h"

#include "kernel/module.h"
#include "kernel/status.h"
#include "vfs/descriptor_calls.h"
#include "vfs/entry_calls.h"
#include "vfs/fs_mount.h"
#include "vfs/mount.h"
#include "vfs/rootfs/rootfs.h"
#include "vfs/rootfs/rootfs_volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace rootfs_test {

// The kernel's node id, not the host's.
using ino_t = fssh::ino_t;

// Brings up the kernel the vfs tests share (the test file system at "/") and
// registers the root file system module, once per process.
inline void bring_up_kernel()
{
    vfs_test::start_test_kernel();
    static bool registered = false;
    if (!registered) {
        fssh::register_builtin_module(&fssh::rootfs_module()->info);
        registered = true;
    }
}

// The names read_dir returns for a directory, in order, "." and ".." first.
inline std::vector<std::string> list_directory(const std::string& path)
{
    std::vector<std::string> names;
    int fd = fssh::kern_open_dir(-1, path.c_str());
    EXPECT_GE(fd, 0) << path;
    if (fd < 0)
        return names;
    alignas(8) char buffer[fssh::DIRENT_BUFFER_SIZE];
    auto* entry = reinterpret_cast<fssh::kernel_dirent*>(buffer);
    while (fssh::kern_read_dir(fd, entry, sizeof(buffer), 1) == 1)
        names.emplace_back(buffer + fssh::DIRENT_NAME_OFFSET);
    EXPECT_EQ(fssh::kern_close(fd), fssh::FSSH_OK);
    return names;
}

// Mounts a new root file system volume at "/<test name>" for each test and
// unmounts it afterwards; path() names entries inside it.
class RootfsVolumeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(bring_up_kernel());
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        mount_point_ = std::string("/rootfs.") + info->test_suite_name() + "." + info->name();
        std::replace(mount_point_.begin() + 1, mount_point_.end(), '/', '_');
        ASSERT_EQ(fssh::kern_create_dir(-1, mount_point_.c_str(), 0755), fssh::FSSH_OK);
        device_ = fssh::fs_mount(mount_point_.c_str(), nullptr, "rootfs", 0, nullptr);
        ASSERT_GT(device_, 0);
    }

    void TearDown() override
    {
        if (device_ > 0) {
            EXPECT_EQ(fssh::vfs_unmount(mount_point_.c_str(), 0), fssh::FSSH_OK);
        }
        EXPECT_EQ(fssh::kern_remove_dir(-1, mount_point_.c_str()), fssh::FSSH_OK);
    }

    // The path of `relative` inside the test's volume.
    std::string path(const std::string& relative = "") const
    {
        return relative.empty() ? mount_point_ : mount_point_ + "/" + relative;
    }

    // The volume object of the test's mount.
    fssh::rootfs_volume* volume() const
    {
        fssh::MutexLocker locker(fssh::mount_table_lock());
        fssh::mount* record = fssh::find_mount_locked(device_);
        return record != nullptr ? fssh::rootfs_volume_of(record->volume) : nullptr;
    }

    fssh::status_code device_ = 0;
    std::string mount_point_;
};

}  // namespace rootfs_test
