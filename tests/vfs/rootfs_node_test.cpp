// The root file system's nodes through the kernel calls: symbolic links,
// status records and their times, status changes, opening, and the hooks the
// layer reaches only in unusual ways.

#include "tests/vfs/rootfs_test_volume.h"

#include "kernel/clock.h"
#include "kernel/debug.h"
#include "kernel/kernel_stat.h"
#include "kernel/open_mode.h"
#include "vfs/fs_info.h"
#include "vfs/permissions.h"
#include "vfs/rootfs/rootfs_node.h"
#include "vfs/stat_calls.h"
#include "vfs/vnode.h"
#include "vfs/vnode_services.h"
#include "vfs/write_stat_mask.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace rootfs_test {
namespace {

using namespace fssh;
using Names = std::vector<std::string>;

class RootfsNodeTest : public RootfsVolumeTest {
protected:
    kernel_stat stat_of(const std::string& relative, bool traverse = false)
    {
        kernel_stat stat{};
        EXPECT_EQ(kern_read_stat(-1, path(relative).c_str(), traverse, &stat, sizeof(stat)),
                  FSSH_OK)
            << relative;
        return stat;
    }

    status_code write_stat(const std::string& relative, const kernel_stat& stat, uint32_t mask)
    {
        return kern_write_stat(-1, path(relative).c_str(), false, &stat, sizeof(stat), mask);
    }

    // The vnode of a node of the test's volume, with a reference.
    vnode* vnode_of_path(const std::string& relative)
    {
        ino_t id = stat_of(relative).st_ino;
        vnode* node = nullptr;
        EXPECT_EQ(get_vnode_by_id(device_, id, &node, false), FSSH_OK);
        return node;
    }

    fs_volume* fs_volume_record() { return volume()->volume; }
};

bool operator==(const kernel_timespec& a, const kernel_timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

int64_t usecs_of(const kernel_timespec& time)
{
    return time.tv_sec * 1000000 + time.tv_nsec / 1000;
}

TEST_F(RootfsNodeTest, SymlinkKeepsItsTextAndReportsItsLength)
{
    const std::string target = "some/target/text";
    ASSERT_EQ(kern_create_symlink(-1, path("link").c_str(), target.c_str(), 0751), FSSH_OK);
    kernel_stat stat = stat_of("link");
    EXPECT_EQ(stat.st_mode, FSSH_S_IFLNK | 0751);
    EXPECT_EQ(stat.st_size, static_cast<off_t>(target.size()));

    char buffer[64];
    memset(buffer, '#', sizeof(buffer));
    size_t size = sizeof(buffer);
    ASSERT_EQ(kern_read_link(-1, path("link").c_str(), buffer, &size), FSSH_OK);
    EXPECT_EQ(size, target.size());
    EXPECT_EQ(std::string(buffer, size), target);
    EXPECT_EQ(buffer[size], '#');  // no terminating zero
}

TEST_F(RootfsNodeTest, ShortLinkBufferGetsOnlyItsSizeButTheFullLengthIsReported)
{
    ASSERT_EQ(kern_create_symlink(-1, path("link").c_str(), "abcdefgh", 0777), FSSH_OK);
    char buffer[8];
    memset(buffer, '#', sizeof(buffer));
    size_t size = 3;
    ASSERT_EQ(kern_read_link(-1, path("link").c_str(), buffer, &size), FSSH_OK);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(std::string(buffer, 4), "abc#");
}

TEST_F(RootfsNodeTest, ReadingADirectoryAsALinkIsInvalid)
{
    ASSERT_EQ(kern_create_dir(-1, path("dir").c_str(), 0755), FSSH_OK);
    char buffer[16];
    size_t size = sizeof(buffer);
    EXPECT_EQ(kern_read_link(-1, path("dir").c_str(), buffer, &size), FSSH_INVALID_ARGUMENT);
}

TEST_F(RootfsNodeTest, RelativeAndAbsoluteLinksResolve)
{
    ASSERT_EQ(kern_create_dir(-1, path("dir").c_str(), 0755), FSSH_OK);
    ASSERT_EQ(kern_create_dir(-1, path("dir/inner").c_str(), 0755), FSSH_OK);
    ASSERT_EQ(kern_create_symlink(-1, path("relative").c_str(), "dir/inner", 0777), FSSH_OK);
    ASSERT_EQ(kern_create_symlink(-1, path("dir/absolute").c_str(), path("dir").c_str(), 0777),
              FSSH_OK);
    ino_t inner = stat_of("dir/inner").st_ino;
    EXPECT_EQ(stat_of("relative", true).st_ino, inner);
    EXPECT_EQ(stat_of("dir/absolute/inner").st_ino, inner);
    EXPECT_EQ(list_directory(path("relative/..")), (Names{".", "..", "absolute", "inner"}));
}

TEST_F(RootfsNodeTest, NewDirectoryStatusRecord)
{
    int64_t before = wall_clock_usecs();
    ASSERT_EQ(kern_create_dir(-1, path("dir").c_str(), 0750), FSSH_OK);
    int64_t after = wall_clock_usecs();
    kernel_stat stat = stat_of("dir");
    EXPECT_EQ(stat.st_dev, device_);
    EXPECT_GT(stat.st_ino, ROOTFS_ROOT_ID);
    EXPECT_EQ(stat.st_mode, FSSH_S_IFDIR | 0750);
    EXPECT_EQ(stat.st_nlink, 1);
    EXPECT_EQ(stat.st_uid, 0u);
    EXPECT_EQ(stat.st_gid, 0u);
    EXPECT_EQ(stat.st_size, 0);
    EXPECT_EQ(stat.st_blksize, 65536);
    EXPECT_EQ(stat.st_blocks, 0);
    EXPECT_TRUE(stat.st_crtim == stat.st_mtim);
    EXPECT_TRUE(stat.st_ctim == stat.st_mtim);
    EXPECT_GE(usecs_of(stat.st_crtim), before);
    EXPECT_LE(usecs_of(stat.st_crtim), after);
    // The access time is "now" in whole seconds.
    EXPECT_EQ(stat.st_atim.tv_nsec, 0);
    EXPECT_GE(stat.st_atim.tv_sec, before / 1000000);
    EXPECT_LE(stat.st_atim.tv_sec, wall_clock_secs());
}

TEST_F(RootfsNodeTest, AddingOrRemovingAnEntryTouchesOnlyTheDirectoryModificationTime)
{
    ASSERT_EQ(kern_create_dir(-1, path("dir").c_str(), 0755), FSSH_OK);
    kernel_stat old_times{};
    old_times.st_mtim = {1000, 5};
    ASSERT_EQ(write_stat("dir", old_times, FSSH_STAT_MODIFICATION_TIME), FSSH_OK);
    kernel_timespec created = stat_of("dir").st_crtim;
    EXPECT_TRUE(stat_of("dir").st_mtim == (kernel_timespec{1000, 5}));

    int64_t before = wall_clock_usecs();
    ASSERT_EQ(kern_create_symlink(-1, path("dir/entry").c_str(), "x", 0777), FSSH_OK);
    EXPECT_GE(usecs_of(stat_of("dir").st_mtim), before);
    EXPECT_TRUE(stat_of("dir").st_crtim == created);

    ASSERT_EQ(write_stat("dir", old_times, FSSH_STAT_MODIFICATION_TIME), FSSH_OK);
    before = wall_clock_usecs();
    ASSERT_EQ(kern_unlink(-1, path("dir/entry").c_str()), FSSH_OK);
    EXPECT_GE(usecs_of(stat_of("dir").st_mtim), before);
}

TEST_F(RootfsNodeTest, WriteStatChangesTheFieldsItsMaskSelects)
{
    ASSERT_EQ(kern_create_dir(-1, path("dir").c_str(), 0755), FSSH_OK);
    kernel_stat change{};
    change.st_mode = FSSH_S_IFLNK | 01700;  // only the permission bits count
    change.st_uid = 5;
    change.st_gid = 6;
    change.st_mtim = {2000, 7};
    change.st_crtim = {1000, 3};
    change.st_size = 99;
    ASSERT_EQ(write_stat("dir", change,
                         FSSH_STAT_MODE | FSSH_STAT_UID | FSSH_STAT_GID
                             | FSSH_STAT_MODIFICATION_TIME | FSSH_STAT_CREATION_TIME),
              FSSH_OK);
    kernel_stat stat = stat_of("dir");
    EXPECT_EQ(stat.st_mode, FSSH_S_IFDIR | 01700);
    EXPECT_EQ(stat.st_uid, 5u);
    EXPECT_EQ(stat.st_gid, 6u);
    EXPECT_TRUE(stat.st_mtim == (kernel_timespec{2000, 7}));
    EXPECT_TRUE(stat.st_crtim == (kernel_timespec{1000, 3}));
    EXPECT_EQ(stat.st_size, 0);

    // A new entry takes its directory's group.
    ASSERT_EQ(kern_create_dir(-1, path("dir/child").c_str(), 0755), FSSH_OK);
    EXPECT_EQ(stat_of("dir/child").st_gid, 6u);
    EXPECT_EQ(stat_of("dir/child").st_uid, 0u);
}

TEST_F(RootfsNodeTest, SizeCannotBeWrittenAndNothingElseChangesWithIt)
{
    ASSERT_EQ(kern_create_symlink(-1, path("link").c_str(), "abc", 0777), FSSH_OK);
    kernel_stat change{};
    change.st_mode = 0700;
    change.st_size = 1;
    EXPECT_EQ(write_stat("link", change, FSSH_STAT_MODE | FSSH_STAT_SIZE),
              FSSH_INVALID_ARGUMENT);
    kernel_stat stat = stat_of("link");
    EXPECT_EQ(stat.st_mode, FSSH_S_IFLNK | 0777);
    EXPECT_EQ(stat.st_size, 3);
}

TEST_F(RootfsNodeTest, SuperUserKeepsEveryAccessToADirectoryWithoutPermissions)
{
    ASSERT_EQ(kern_create_dir(-1, path("locked").c_str(), 0), FSSH_OK);
    ASSERT_EQ(kern_create_dir(-1, path("locked/inside").c_str(), 0), FSSH_OK);
    EXPECT_EQ(list_directory(path("locked")), (Names{".", "..", "inside"}));
    EXPECT_EQ(kern_access(path("locked/inside").c_str(), FSSH_R_OK | FSSH_W_OK | FSSH_X_OK),
              FSSH_OK);
    EXPECT_EQ(kern_rename(-1, path("locked/inside").c_str(), -1, path("moved").c_str()),
              FSSH_OK);
    EXPECT_EQ(kern_remove_dir(-1, path("moved").c_str()), FSSH_OK);
}

struct OpenCase {
    const char* description;
    const char* name;
    uint32_t open_mode;
    status_code expected;
};

class RootfsOpenTest : public RootfsNodeTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(RootfsOpenTest, ChecksTheOpenModeAgainstTheNode)
{
    ASSERT_EQ(kern_create_dir(-1, path("dir").c_str(), 0755), FSSH_OK);
    ASSERT_EQ(kern_create_symlink(-1, path("link").c_str(), "dir", 0777), FSSH_OK);
    const OpenCase& c = GetParam();
    int fd = kern_open(-1, path(c.name).c_str(), c.open_mode, 0644);
    if (c.expected != FSSH_OK) {
        EXPECT_EQ(fd, c.expected);
        return;
    }
    ASSERT_GE(fd, 0);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RootfsOpenTest,
    ::testing::Values(
        OpenCase{"DirectoryForReading", "dir", FSSH_O_RDONLY, FSSH_OK},
        OpenCase{"DirectoryForWriting", "dir", FSSH_O_WRONLY, FSSH_IS_A_DIRECTORY},
        OpenCase{"DirectoryForBoth", "dir", FSSH_O_RDWR, FSSH_IS_A_DIRECTORY},
        OpenCase{"DirectoryAsDirectory", "dir", FSSH_O_RDONLY | FSSH_O_DIRECTORY, FSSH_OK},
        OpenCase{"LinkFollowedToDirectory", "link", FSSH_O_RDONLY | FSSH_O_DIRECTORY, FSSH_OK},
        OpenCase{"LinkItself", "link", FSSH_O_RDWR | FSSH_O_NOTRAVERSE, FSSH_OK},
        OpenCase{"LinkItselfAsDirectory", "link",
                 FSSH_O_RDONLY | FSSH_O_NOTRAVERSE | FSSH_O_DIRECTORY, FSSH_NOT_A_DIRECTORY},
        OpenCase{"NewRegularFile", "file", FSSH_O_RDWR | FSSH_O_CREAT, FSSH_INVALID_ARGUMENT},
        OpenCase{"Missing", "file", FSSH_O_RDONLY, FSSH_NOT_FOUND}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return info.param.description; });

TEST_F(RootfsNodeTest, OpenNodesHaveNoContentsAndNoControlRequests)
{
    ASSERT_EQ(kern_create_symlink(-1, path("link").c_str(), "abc", 0777), FSSH_OK);
    int fd = kern_open(-1, path("link").c_str(), FSSH_O_RDWR | FSSH_O_NOTRAVERSE, 0);
    ASSERT_GE(fd, 0);
    char buffer[8] = {};
    EXPECT_EQ(kern_read(fd, 0, buffer, sizeof(buffer)), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(kern_write(fd, 0, buffer, sizeof(buffer)), FSSH_NOT_PERMITTED);
    EXPECT_EQ(kern_ioctl(fd, 1, buffer, sizeof(buffer)), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
    EXPECT_EQ(list_directory(path()), (Names{".", "..", "link"}));
}

TEST_F(RootfsNodeTest, VolumeInformationCarriesOnlyTheLayersFields)
{
    fs_info info;
    memset(&info, 0x5a, sizeof(info));
    ASSERT_EQ(kern_read_fs_info(device_, &info), FSSH_OK);
    EXPECT_EQ(info.dev, device_);
    EXPECT_EQ(info.root, ROOTFS_ROOT_ID);
    EXPECT_STREQ(info.fsh_name, "rootfs");
    EXPECT_EQ(info.block_size, 0);
    EXPECT_EQ(info.total_nodes, 0);
    EXPECT_STREQ(info.volume_name, "");
}

TEST_F(RootfsNodeTest, RemoveDirHookRefusesDotAndDotDot)
{
    // The layer turns a final "." into the entry it names and refuses "..";
    // the hook itself must not remove the directory or its parent either.
    VnodeReference root(vnode_of_path(""));
    ASSERT_NE(root.Get(), nullptr);
    for (const char* name : {".", ".."}) {
        EXPECT_EQ(root->fs.ops->remove_dir(fs_volume_record(), &root->fs, name),
                  FSSH_INVALID_ARGUMENT)
            << name;
    }
    ASSERT_EQ(kern_create_dir(-1, path("dir").c_str(), 0755), FSSH_OK);
    VnodeReference dir(vnode_of_path("dir"));
    EXPECT_EQ(dir->fs.ops->remove_dir(fs_volume_record(), &dir->fs, "."), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(dir->fs.ops->remove_dir(fs_volume_record(), &dir->fs, ".."),
              FSSH_DIRECTORY_NOT_EMPTY);
    EXPECT_EQ(list_directory(path()), (Names{".", "..", "dir"}));
}

TEST_F(RootfsNodeTest, EntryHooksRefuseANonDirectoryAsTheDirectory)
{
    ASSERT_EQ(kern_create_symlink(-1, path("link").c_str(), "x", 0777), FSSH_OK);
    VnodeReference link(vnode_of_path("link"));
    ASSERT_NE(link.Get(), nullptr);
    const vnode_ops* ops = link->fs.ops;
    fs_volume* fs_volume = fs_volume_record();
    EXPECT_EQ(ops->create_dir(fs_volume, &link->fs, "d", 0755), FSSH_NOT_A_DIRECTORY);
    EXPECT_EQ(ops->create_symlink(fs_volume, &link->fs, "s", "x", 0777), FSSH_NOT_A_DIRECTORY);
    EXPECT_EQ(ops->unlink(fs_volume, &link->fs, "."), FSSH_NOT_A_DIRECTORY);
    EXPECT_EQ(ops->remove_dir(fs_volume, &link->fs, "."), FSSH_NOT_A_DIRECTORY);
    EXPECT_EQ(ops->rename(fs_volume, &link->fs, ".", &link->fs, "y"), FSSH_NOT_A_DIRECTORY);
    EXPECT_EQ(list_directory(path()), (Names{".", "..", "link"}));
}

TEST_F(RootfsNodeTest, MakeNodePublishesANamedOrNamelessNode)
{
    VnodeReference root(vnode_of_path(""));
    ASSERT_NE(root.Get(), nullptr);
    ino_t named = 0;
    ASSERT_EQ(root->fs.ops->make_node(fs_volume_record(), &root->fs, "made", nullptr,
                                      FSSH_S_IFDIR | 0700, 0, nullptr, &named),
              FSSH_OK);
    EXPECT_EQ(put_vnode(fs_volume_record(), named), FSSH_OK);
    EXPECT_EQ(stat_of("made").st_ino, named);
    EXPECT_EQ(stat_of("made").st_mode, FSSH_S_IFDIR | 0700);
    EXPECT_EQ(root->fs.ops->make_node(fs_volume_record(), &root->fs, "made", nullptr,
                                      FSSH_S_IFDIR | 0700, 0, nullptr, &named),
              FSSH_FILE_EXISTS);

    fs_vnode super{};
    ino_t nameless = 0;
    ASSERT_EQ(root->fs.ops->make_node(fs_volume_record(), &root->fs, nullptr, nullptr,
                                      FSSH_S_IFLNK | 0777, 0, &super, &nameless),
              FSSH_OK);
    EXPECT_NE(super.private_node, nullptr);
    EXPECT_EQ(super.ops, root->fs.ops);
    EXPECT_EQ(list_directory(path()), (Names{".", "..", "made"}));
    uint32_t nodes = volume()->nodes.node_count;
    EXPECT_EQ(remove_vnode(fs_volume_record(), nameless), FSSH_OK);
    EXPECT_EQ(put_vnode(fs_volume_record(), nameless), FSSH_OK);
    EXPECT_EQ(volume()->nodes.node_count, nodes - 1);
}

using RootfsNodeDeathTest = RootfsNodeTest;

TEST_F(RootfsNodeDeathTest, RemovingANodeThatIsStillAnEntryEndsTheProcess)
{
    ASSERT_EQ(kern_create_dir(-1, path("a").c_str(), 0755), FSSH_OK);
    ASSERT_EQ(kern_create_dir(-1, path("z").c_str(), 0755), FSSH_OK);
    for (const char* name : {"a", "z"}) {  // with and without a next sibling
        VnodeReference node(vnode_of_path(name));
        ASSERT_NE(node.Get(), nullptr);
        EXPECT_EXIT(node->fs.ops->remove_vnode(fs_volume_record(), &node->fs, false),
                    ::testing::ExitedWithCode(PANIC_EXIT_STATUS),
                    "rootfs_remove_vnode: vnode 0x[0-9a-f]+ asked to be removed is present "
                    "in dir")
            << name;
    }
}

}  // namespace
}  // namespace rootfs_test
