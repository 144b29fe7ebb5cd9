#include "tests/vfs/vfs_fixture.h"

#include "kernel/module.h"
#include "kernel/open_mode.h"
#include "vfs/descriptor_calls.h"
#include "vfs/entry_calls.h"
#include "vfs/fs_mount.h"
#include "vfs/io_context.h"
#include "vfs/stat_calls.h"
#include "vfs/vfs.h"

namespace vfs_test {

using namespace fssh;

namespace {

dev_t s_root_mount_id = -1;

}  // namespace

void start_test_kernel()
{
    if (s_root_mount_id >= 0)
        return;
    ASSERT_EQ(module_init(), FSSH_OK);
    register_test_fs();
    ASSERT_EQ(vfs_init(), FSSH_OK);
    io_context* context = vfs_new_io_context(nullptr);
    ASSERT_NE(context, nullptr);
    set_global_io_context(context);
    s_root_mount_id = fs_mount("/", nullptr, "testfs", 0, nullptr);
    ASSERT_GT(s_root_mount_id, 0);
    ASSERT_EQ(kern_setcwd(-1, "/"), FSSH_OK);
}

dev_t root_mount_id()
{
    return s_root_mount_id;
}

void VfsTest::SetUp()
{
    start_test_kernel();
    ASSERT_EQ(get_global_io_context()->used_count, 0u) << "an earlier test left descriptors open";
    static int s_test_number;
    mount_point_ = "/vfs_test_" + std::to_string(++s_test_number);
    ASSERT_EQ(kern_create_dir(-1, mount_point_.c_str(), 0755), FSSH_OK);
    mount_id_ = fs_mount(mount_point_.c_str(), nullptr, "testfs", 0, MountArguments());
    ASSERT_GT(mount_id_, 0);
    volume_ = test_volume(mount_id_);
    ASSERT_NE(volume_, nullptr);
}

void VfsTest::TearDown()
{
    kern_setcwd(-1, "/");
    EXPECT_EQ(get_global_io_context()->used_count, 0u) << "the test left descriptors open";
    if (mount_id_ > 0) {
        EXPECT_EQ(vfs_unmount(mount_point_.c_str(), 0), FSSH_OK);
    }
    EXPECT_EQ(kern_remove_dir(-1, mount_point_.c_str()), FSSH_OK);
}

std::string VfsTest::Path(const std::string& relative) const
{
    return mount_point_ + "/" + relative;
}

void VfsTest::MakeFile(const std::string& relative, const std::string& contents)
{
    int fd = kern_open(-1, Path(relative).c_str(), FSSH_O_CREAT | FSSH_O_WRONLY, 0644);
    ASSERT_GE(fd, 0) << relative;
    if (!contents.empty()) {
        ASSERT_EQ(kern_write(fd, 0, contents.data(), contents.size()),
                  static_cast<ssize_t>(contents.size()));
    }
    ASSERT_EQ(kern_close(fd), FSSH_OK);
}

void VfsTest::MakeDir(const std::string& relative)
{
    ASSERT_EQ(kern_create_dir(-1, Path(relative).c_str(), 0755), FSSH_OK) << relative;
}

}  // namespace vfs_test
