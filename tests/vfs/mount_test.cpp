// Mounting and unmounting, crossing between volumes, volume information and
// the whole-system sync.

#include "kernel/debug.h"
#include "kernel/module.h"
#include "kernel/open_mode.h"
#include "tests/vfs/vfs_fixture.h"
#include "vfs/descriptor_calls.h"
#include "vfs/entry_calls.h"
#include "vfs/fs_mount.h"
#include "vfs/io_context.h"
#include "vfs/stat_calls.h"
#include "vfs/sync.h"
#include "vfs/vfs.h"
#include "vfs/vnode.h"
#include "vfs/vnode_services.h"

#include <cstring>
#include <unistd.h>

namespace vfs_test {
namespace {

using namespace fssh;

class MountTest : public VfsTest {
protected:
    kernel_stat Stat(const std::string& path)
    {
        kernel_stat stat{};
        EXPECT_EQ(kern_read_stat(-1, path.c_str(), false, &stat, sizeof(stat)), FSSH_OK) << path;
        return stat;
    }

    std::vector<dev_t> Devices()
    {
        std::vector<dev_t> devices;
        int32_t cookie = 0;
        for (dev_t device; (device = kern_next_device(&cookie)) >= 0;)
            devices.push_back(device);
        return devices;
    }
};

class ModuleNameTest : public MountTest, public testing::WithParamInterface<const char*> {};

TEST_P(ModuleNameTest, ShortAndFullNamesMountTheSameModule)
{
    MakeDir("mnt");
    dev_t device = fs_mount(Path("mnt").c_str(), nullptr, GetParam(), 0, nullptr);
    ASSERT_GT(device, 0);
    fs_info info;
    ASSERT_EQ(kern_read_fs_info(device, &info), FSSH_OK);
    EXPECT_STREQ(info.fsh_name, "testfs");
    EXPECT_EQ(info.dev, device);
    EXPECT_EQ(Stat(Path("mnt")).st_dev, device);
    EXPECT_EQ(vfs_unmount(Path("mnt").c_str(), 0), FSSH_OK);
}

INSTANTIATE_TEST_SUITE_P(Names, ModuleNameTest,
                         testing::Values("testfs", "file_systems/testfs/v1"));

struct RefusedMount {
    const char* label;
    const char* path;  // inside the test volume; null: the test volume's root itself
    const char* name;
    const char* arguments;
    status_code expected;
};

class RefusedMountTest : public MountTest, public testing::WithParamInterface<RefusedMount> {};

TEST_P(RefusedMountTest, LeavesNothingMounted)
{
    const RefusedMount& mount = GetParam();
    MakeDir("dir");
    MakeFile("file");
    std::string path = mount.path != nullptr ? Path(mount.path) : mount_point_;
    std::vector<dev_t> before = Devices();

    EXPECT_EQ(fs_mount(path.c_str(), nullptr, mount.name, 0, mount.arguments), mount.expected);

    EXPECT_EQ(Devices(), before);
    // The directory that would have been covered was released again.
    EXPECT_EQ(kern_remove_dir(-1, Path("dir").c_str()), FSSH_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedMountTest,
    testing::Values(RefusedMount{"OnAFile", "file", "testfs", nullptr, FSSH_NOT_A_DIRECTORY},
                    RefusedMount{"OnAMountRoot", nullptr, "testfs", nullptr, FSSH_BUSY},
                    RefusedMount{"UnknownModule", "dir", "nofs", nullptr, FSSH_ENODEV},
                    RefusedMount{"UnknownFullModule", "dir", "file_systems/nofs/v1", nullptr,
                                 FSSH_ENODEV},
                    RefusedMount{"EmptyName", "dir", "", nullptr, FSSH_INVALID_ARGUMENT},
                    RefusedMount{"NullName", "dir", nullptr, nullptr, FSSH_INVALID_ARGUMENT},
                    RefusedMount{"MissingDirectory", "none", "testfs", nullptr, FSSH_NOT_FOUND},
                    RefusedMount{"FailingMountHook", "dir", "testfs", "fail_mount",
                                 FSSH_IO_ERROR}),
    [](const testing::TestParamInfo<RefusedMount>& info) { return info.param.label; });

TEST_F(MountTest, RootOfTheNameSpaceIsAMountRootToo)
{
    EXPECT_EQ(fs_mount("/", nullptr, "testfs", 0, nullptr), FSSH_BUSY);
}

TEST_F(MountTest, DeviceNameIsKeptUnlessTheMountIsVirtual)
{
    MakeDir("a");
    MakeDir("b");
    dev_t with_device = fs_mount(Path("a").c_str(), "/dev/some_disk", "testfs", 0, nullptr);
    dev_t virtual_device = fs_mount(Path("b").c_str(), "/dev/some_disk", "testfs",
                                    FSSH_MOUNT_VIRTUAL_DEVICE, nullptr);
    ASSERT_GT(with_device, 0);
    ASSERT_GT(virtual_device, 0);
    fs_info info;
    ASSERT_EQ(kern_read_fs_info(with_device, &info), FSSH_OK);
    EXPECT_STREQ(info.device_name, "/dev/some_disk");
    ASSERT_EQ(kern_read_fs_info(virtual_device, &info), FSSH_OK);
    EXPECT_STREQ(info.device_name, "");
    EXPECT_EQ(vfs_unmount(Path("a").c_str(), 0), FSSH_OK);
    EXPECT_EQ(vfs_unmount(Path("b").c_str(), 0), FSSH_OK);
}

TEST_F(MountTest, WalkCrossesIntoAVolumeAndBackOutWithDotDot)
{
    kernel_stat root = Stat("/");
    EXPECT_EQ(root.st_dev, root_mount_id());

    kernel_stat volume_root = Stat(mount_point_);
    EXPECT_EQ(volume_root.st_dev, mount_id_);
    EXPECT_EQ(volume_root.st_ino, volume_->root->id);

    kernel_stat up = Stat(mount_point_ + "/..");
    EXPECT_EQ(up.st_dev, root.st_dev);
    EXPECT_EQ(up.st_ino, root.st_ino);
}

TEST_F(MountTest, NestedVolumesAreCrossedInBothDirections)
{
    MakeDir("sub");
    MakeDir("sub/inner");
    dev_t inner = fs_mount(Path("sub/inner").c_str(), nullptr, "testfs", 0, nullptr);
    ASSERT_GT(inner, 0);
    ASSERT_EQ(kern_create_dir(-1, Path("sub/inner/deep").c_str(), 0755), FSSH_OK);

    EXPECT_EQ(Stat(Path("sub/inner")).st_dev, inner);
    EXPECT_EQ(Stat(Path("sub/inner/deep")).st_dev, inner);

    kernel_stat sub = Stat(Path("sub"));
    kernel_stat up = Stat(Path("sub/inner/deep/../.."));
    EXPECT_EQ(up.st_dev, mount_id_);
    EXPECT_EQ(up.st_ino, sub.st_ino);

    kernel_stat top = Stat(Path("sub/inner/deep/../../../.."));
    EXPECT_EQ(top.st_dev, root_mount_id());

    // Relative walks leave the volume the same way.
    ASSERT_EQ(kern_setcwd(-1, Path("sub/inner").c_str()), FSSH_OK);
    EXPECT_EQ(Stat("..").st_ino, sub.st_ino);
    EXPECT_EQ(Stat("..").st_dev, mount_id_);
    ASSERT_EQ(kern_setcwd(-1, "/"), FSSH_OK);

    EXPECT_EQ(kern_remove_dir(-1, Path("sub/inner/deep").c_str()), FSSH_OK);
    EXPECT_EQ(vfs_unmount(Path("sub/inner").c_str(), 0), FSSH_OK);
}

TEST_F(MountTest, UnmountWhileADescriptorIsOpenIsBusyAndKeepsTheVolume)
{
    MakeFile("file");
    int fd = kern_open(-1, Path("file").c_str(), FSSH_O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(vfs_unmount(mount_point_.c_str(), 0), FSSH_BUSY);
    EXPECT_EQ(Stat(mount_point_).st_dev, mount_id_);
    EXPECT_EQ(volume_->Calls("unmount"), 0);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(MountTest, UnmountWhileTheWorkingDirectoryIsInsideIsBusy)
{
    ASSERT_EQ(kern_setcwd(-1, mount_point_.c_str()), FSSH_OK);
    EXPECT_EQ(vfs_unmount(mount_point_.c_str(), 0), FSSH_BUSY);
    EXPECT_EQ(vfs_unmount(".", 0), FSSH_BUSY);
    ASSERT_EQ(kern_setcwd(-1, "/"), FSSH_OK);
}

TEST_F(MountTest, UnmountOfADirectoryThatIsNoMountRootIsRefused)
{
    MakeDir("dir");
    EXPECT_EQ(vfs_unmount(Path("dir").c_str(), 0), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(vfs_unmount(Path("none").c_str(), 0), FSSH_NOT_FOUND);
}

TEST_F(MountTest, UnmountReleasesEveryVnodeAndTheCoveredDirectory)
{
    MakeDir("mnt");
    dev_t inner = fs_mount(Path("mnt").c_str(), nullptr, "testfs", 0, nullptr);
    ASSERT_GT(inner, 0);
    ASSERT_EQ(kern_create_dir(-1, Path("mnt/a").c_str(), 0755), FSSH_OK);
    ASSERT_EQ(kern_create_dir(-1, Path("mnt/b").c_str(), 0755), FSSH_OK);
    Stat(Path("mnt/a"));
    Stat(Path("mnt/b"));

    ASSERT_EQ(vfs_unmount(Path("mnt").c_str(), 0), FSSH_OK);
    TestVolume* gone = unmounted_test_volume(inner);
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(gone->Calls("unmount"), 1);
    EXPECT_EQ(gone->Calls("put_vnode"), 3);  // root, a and b
    for (ino_t id : {ino_t{1}, ino_t{2}, ino_t{3}})
        EXPECT_EQ(lookup_vnode(inner, id), nullptr);
    EXPECT_EQ(Devices(), (std::vector<dev_t>{root_mount_id(), mount_id_}));

    // The directory is a plain directory again.
    EXPECT_EQ(Stat(Path("mnt")).st_dev, mount_id_);
    EXPECT_EQ(kern_remove_dir(-1, Path("mnt").c_str()), FSSH_OK);
}

TEST_F(MountTest, NoVnodeJoinsAVolumeThatIsGone)
{
    MakeDir("mnt");
    dev_t inner = fs_mount(Path("mnt").c_str(), nullptr, "testfs", 0, nullptr);
    ASSERT_GT(inner, 0);
    fs_volume* volume = test_volume(inner)->volume;
    fs_volume stale = *volume;
    ASSERT_EQ(vfs_unmount(Path("mnt").c_str(), 0), FSSH_OK);
    EXPECT_EQ(get_vnode(&stale, 1, nullptr), FSSH_NOT_FOUND);
}

TEST_F(MountTest, ReadFsInfoCombinesTheVolumesAndTheLayersFields)
{
    fs_info info;
    memset(&info, 0x55, sizeof(info));
    ASSERT_EQ(kern_read_fs_info(mount_id_, &info), FSSH_OK);
    EXPECT_EQ(info.dev, mount_id_);
    EXPECT_EQ(info.root, volume_->root->id);
    EXPECT_STREQ(info.fsh_name, "testfs");
    EXPECT_STREQ(info.device_name, "");
    EXPECT_EQ(info.block_size, 4096);
    EXPECT_STREQ(info.volume_name, "test volume");
    EXPECT_EQ(info.io_size, 0);  // zeroed before the hook

    EXPECT_EQ(kern_read_fs_info(mount_id_, nullptr), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(kern_read_fs_info(9999, &info), FSSH_INVALID_ARGUMENT);
    volume_->failures["read_fs_info"] = FSSH_IO_ERROR;
    EXPECT_EQ(kern_read_fs_info(mount_id_, &info), FSSH_IO_ERROR);
    volume_->failures.clear();
}

TEST_F(MountTest, WriteFsInfoReachesTheVolume)
{
    fs_info info{};
    strcpy(info.volume_name, "renamed");
    EXPECT_EQ(kern_write_fs_info(mount_id_, &info, 1), FSSH_OK);
    EXPECT_EQ(volume_->volume_name, "renamed");
    EXPECT_EQ(kern_write_fs_info(mount_id_, nullptr, 1), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(kern_write_fs_info(9999, &info, 1), FSSH_INVALID_ARGUMENT);
}

TEST_F(MountTest, NextDeviceEnumeratesTheMountedVolumes)
{
    std::vector<dev_t> devices = Devices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0], root_mount_id());
    EXPECT_EQ(devices[1], mount_id_);
}

TEST_F(MountTest, SyncSyncsEveryVolumeAndEveryVnode)
{
    MakeFile("a");
    MakeFile("b");
    volume_->fsync_calls.clear();
    TestVolume* root = test_volume(root_mount_id());
    int root_syncs = root->Calls("sync");
    ASSERT_EQ(kern_sync(), FSSH_OK);
    EXPECT_EQ(volume_->Calls("sync"), 1);
    EXPECT_EQ(root->Calls("sync"), root_syncs + 1);
    EXPECT_EQ(volume_->fsync_calls[volume_->root->id], 1);
    EXPECT_EQ(volume_->fsync_calls[volume_->FindPath("a")->id], 1);
    EXPECT_EQ(volume_->fsync_calls[volume_->FindPath("b")->id], 1);
}

TEST_F(MountTest, SyncReportsAFailingVolumeAndGoesOn)
{
    volume_->failures["sync"] = FSSH_IO_ERROR;
    std::string output = capture_stdout([] { EXPECT_EQ(kern_sync(), FSSH_OK); });
    EXPECT_EQ(output, "sync: device " + std::to_string(mount_id_) + " couldn't sync: " +
                          status_text(FSSH_IO_ERROR) + "\n");
    EXPECT_EQ(volume_->fsync_calls[volume_->root->id], 1);

    volume_->failures["sync"] = FSSH_INVALID_ARGUMENT;
    output = capture_stdout([] { EXPECT_EQ(kern_sync(), FSSH_OK); });
    EXPECT_EQ(output, "");
    volume_->failures.clear();
}

TEST_F(MountTest, SyncStopsAtABusyVnode)
{
    TestNode* node = volume_->AddNode(volume_->root, "reserved", FSSH_S_IFREG | 0644);
    ASSERT_EQ(reserve_vnode(volume_->volume, node->id, node, nullptr), FSSH_OK);
    std::string output = capture_stdout([] { EXPECT_EQ(kern_sync(), FSSH_OK); });
    EXPECT_EQ(output, "syncing of mount " + std::to_string(mount_id_) + " stopped due to vnode " +
                          std::to_string(node->id) + ".\n");
    ASSERT_EQ(remove_vnode(volume_->volume, node->id), FSSH_OK);
}

using MountDeathTest = MountTest;

TEST_F(MountDeathTest, VolumeThatDoesNotPublishItsRootEndsTheProcess)
{
    MakeDir("mnt");
    EXPECT_EXIT(fs_mount(Path("mnt").c_str(), nullptr, "testfs", 0, "no_root"),
                testing::ExitedWithCode(PANIC_EXIT_STATUS),
                "fs_mount: file system does not own its root node!");
    EXPECT_EQ(kern_remove_dir(-1, Path("mnt").c_str()), FSSH_OK);
}

// A kernel of its own: the test re-runs in a fresh process (threadsafe death
// test style), where no volume is mounted yet.
TEST(FirstMountDeathTest, OnlySlashCanBeMountedFirstAndItsUnmountForgetsTheRoot)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [] {
        bool ok = module_init() == FSSH_OK;
        register_test_fs();
        ok = ok && vfs_init() == FSSH_OK;
        set_global_io_context(vfs_new_io_context(nullptr));
        kernel_stat stat;
        ok = ok && kern_read_stat(-1, "/", false, &stat, sizeof(stat)) == FSSH_ERROR;
        ok = ok && fs_mount("/elsewhere", nullptr, "testfs", 0, nullptr) == FSSH_ERROR;
        dev_t root = fs_mount("/", nullptr, "testfs", 0, nullptr);
        ok = ok && root > 0;
        ok = ok && kern_read_stat(-1, "/", false, &stat, sizeof(stat)) == FSSH_OK;
        ok = ok && stat.st_dev == root;
        // The first volume can go when nothing holds it; the name space then
        // has no root, and "/" can be mounted again.
        ok = ok && vfs_unmount("/", 0) == FSSH_OK;
        ok = ok && kern_read_stat(-1, "/", false, &stat, sizeof(stat)) == FSSH_ERROR;
        ok = ok && fs_mount("/", nullptr, "testfs", 0, nullptr) > root;
        _exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vfs_test
