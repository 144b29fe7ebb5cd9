#pragma once

// A kernel with the root file system at "/" (brought up once per process)
// and, per test, a fresh root file system volume mounted on its own directory,
// so that every test starts from an empty volume whose root has id 1.

#include "kernel/module.h"
#include "kernel/status.h"
#include "vfs/descriptor_calls.h"
#include "vfs/entry_calls.h"
#include "vfs/fs_mount.h"
#include "vfs/io_context.h"
#include "vfs/mount.h"
#include "vfs/rootfs/rootfs.h"
#include "vfs/rootfs/rootfs_volume.h"
#include "vfs/vfs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rootfs_test {

// The kernel's node id, not the host's.
using ino_t = fssh::ino_t;

// Brings up the module registry, the layer, the root file system at "/" and
// the global I/O context, unless another test of this process did so.
inline void bring_up_kernel()
{
    static bool brought_up = false;
    if (brought_up || fssh::root_vnode() != nullptr) {
        brought_up = true;
        return;
    }
    brought_up = true;
    ASSERT_EQ(fssh::module_init(), fssh::FSSH_OK);
    fssh::register_builtin_module(&fssh::rootfs_module()->info);
    ASSERT_EQ(fssh::vfs_init(), fssh::FSSH_OK);
    ASSERT_GT(fssh::fs_mount("/", nullptr, "rootfs", 0, nullptr), 0);
    fssh::io_context* context = fssh::vfs_new_io_context(nullptr);
    ASSERT_NE(context, nullptr);
    fssh::set_global_io_context(context);
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
        mount_point_ = std::string("/") + info->test_suite_name() + "." + info->name();
        for (char& c : mount_point_) {
            if (c == '/' && &c != &mount_point_[0])
                c = '_';
        }
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
