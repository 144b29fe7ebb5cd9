// Renaming entries of the root file system through kern_rename.

#include "tests/vfs/rootfs_test_volume.h"

#include "kernel/kernel_stat.h"
#include "vfs/stat_calls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rootfs_test {
namespace {

using namespace fssh;
using Names = std::vector<std::string>;

// Every test starts from this tree:
//   boot/          a directory named as the protected entry
//   dir/sub/deep/  a chain of directories
//   dir/file_link  a symbolic link
//   empty/         an empty directory
//   full/child/    a directory with an entry
//   link           a symbolic link
class RootfsRenameTest : public RootfsVolumeTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(RootfsVolumeTest::SetUp());
        for (const char* name : {"boot", "dir", "dir/sub", "dir/sub/deep", "empty", "full",
                                 "full/child"})
            ASSERT_EQ(kern_create_dir(-1, path(name).c_str(), 0755), FSSH_OK) << name;
        for (const char* name : {"dir/file_link", "link"})
            ASSERT_EQ(kern_create_symlink(-1, path(name).c_str(), "target", 0777), FSSH_OK);
    }

    status_code rename(const std::string& from, const std::string& to)
    {
        return kern_rename(-1, path(from).c_str(), -1, path(to).c_str());
    }

    ino_t id_of(const std::string& relative)
    {
        kernel_stat stat{};
        status_code status =
            kern_read_stat(-1, path(relative).c_str(), false, &stat, sizeof(stat));
        return status == FSSH_OK ? stat.st_ino : status;
    }
};

struct RefusedRename {
    const char* description;
    const char* from;
    const char* to;
    status_code expected;
};

class RootfsRefusedRenameTest : public RootfsRenameTest,
                                public ::testing::WithParamInterface<RefusedRename> {};

TEST_P(RootfsRefusedRenameTest, LeavesTheTreeUnchanged)
{
    const RefusedRename& c = GetParam();
    Names top = list_directory(path());
    Names dir = list_directory(path("dir"));
    Names sub = list_directory(path("dir/sub"));
    EXPECT_EQ(rename(c.from, c.to), c.expected);
    EXPECT_EQ(list_directory(path()), top);
    EXPECT_EQ(list_directory(path("dir")), dir);
    EXPECT_EQ(list_directory(path("dir/sub")), sub);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RootfsRefusedRenameTest,
    ::testing::Values(
        RefusedRename{"BootInTheRoot", "boot", "shoe", FSSH_NOT_PERMITTED},
        RefusedRename{"BootInTheRootOntoItself", "boot", "boot", FSSH_NOT_PERMITTED},
        RefusedRename{"DirectoryBelowItsChild", "dir", "dir/sub/moved", FSSH_INVALID_ARGUMENT},
        RefusedRename{"DirectoryBelowItsGrandchild", "dir", "dir/sub/deep/moved",
                      FSSH_INVALID_ARGUMENT},
        RefusedRename{"DirectoryIntoItself", "dir", "dir/moved", FSSH_INVALID_ARGUMENT},
        RefusedRename{"OntoNonEmptyDirectory", "empty", "full", FSSH_DUPLICATE_NAME},
        RefusedRename{"MissingSource", "none", "other", FSSH_NOT_FOUND},
        RefusedRename{"SourceThroughMissingDirectory", "none/x", "other", FSSH_NOT_FOUND},
        RefusedRename{"ToDot", "empty", "dir/.", FSSH_INVALID_ARGUMENT},
        RefusedRename{"ToDotDot", "empty", "dir/..", FSSH_INVALID_ARGUMENT}),
    [](const ::testing::TestParamInfo<RefusedRename>& info) { return info.param.description; });

TEST_F(RootfsRenameTest, BootBelowTheRootMayBeRenamed)
{
    ASSERT_EQ(kern_create_dir(-1, path("dir/boot").c_str(), 0755), FSSH_OK);
    EXPECT_EQ(rename("dir/boot", "dir/shoe"), FSSH_OK);
    EXPECT_EQ(list_directory(path("dir")), (Names{".", "..", "file_link", "shoe", "sub"}));
}

TEST_F(RootfsRenameTest, MovedEntryKeepsItsNodeAndTakesItsPlaceInNameOrder)
{
    ino_t id = id_of("dir/sub");
    EXPECT_EQ(rename("dir/sub", "a_moved_and_longer_name"), FSSH_OK);
    EXPECT_EQ(list_directory(path()),
              (Names{".", "..", "a_moved_and_longer_name", "boot", "dir", "empty", "full",
                     "link"}));
    EXPECT_EQ(list_directory(path("dir")), (Names{".", "..", "file_link"}));
    EXPECT_EQ(id_of("a_moved_and_longer_name"), id);
    EXPECT_EQ(id_of("a_moved_and_longer_name/.."), ROOTFS_ROOT_ID);
    EXPECT_EQ(list_directory(path("a_moved_and_longer_name")), (Names{".", "..", "deep"}));
}

TEST_F(RootfsRenameTest, ShorterNameWithinTheSameDirectory)
{
    ino_t id = id_of("full");
    EXPECT_EQ(rename("full", "a"), FSSH_OK);
    EXPECT_EQ(list_directory(path()),
              (Names{".", "..", "a", "boot", "dir", "empty", "link"}));
    EXPECT_EQ(id_of("a"), id);
    EXPECT_EQ(list_directory(path("a")), (Names{".", "..", "child"}));
}

TEST_F(RootfsRenameTest, ReplacesAnEmptyDirectoryOrASymlink)
{
    ino_t moved = id_of("full/child");
    EXPECT_EQ(rename("full/child", "empty"), FSSH_OK);
    EXPECT_EQ(id_of("empty"), moved);
    ino_t link = id_of("dir/file_link");
    EXPECT_EQ(rename("dir/file_link", "link"), FSSH_OK);
    EXPECT_EQ(id_of("link"), link);
    EXPECT_EQ(list_directory(path()),
              (Names{".", "..", "boot", "dir", "empty", "full", "link"}));
    EXPECT_EQ(list_directory(path("full")), (Names{".", ".."}));
}

TEST_F(RootfsRenameTest, RenamingAnEntryOntoItselfChangesNothing)
{
    ino_t id = id_of("link");
    EXPECT_EQ(rename("link", "link"), FSSH_OK);
    EXPECT_EQ(id_of("link"), id);
    EXPECT_EQ(rename("dir", "dir"), FSSH_OK);
    EXPECT_EQ(list_directory(path("dir")), (Names{".", "..", "file_link", "sub"}));
}

TEST_F(RootfsRenameTest, DirectoryMayMoveUpOrSideways)
{
    ino_t deep = id_of("dir/sub/deep");
    EXPECT_EQ(rename("dir/sub/deep", "deep"), FSSH_OK);
    EXPECT_EQ(id_of("deep"), deep);
    EXPECT_EQ(rename("dir/sub", "full/child/sub"), FSSH_OK);
    EXPECT_EQ(list_directory(path("full/child")), (Names{".", "..", "sub"}));
    EXPECT_EQ(id_of("full/child/sub/.."), id_of("full/child"));
}

TEST_F(RootfsRenameTest, OpenCookieOfTheOldDirectoryMovesPastTheMovedEntry)
{
    int fd = kern_open_dir(-1, path("dir").c_str());
    ASSERT_GE(fd, 0);
    alignas(8) char buffer[DIRENT_BUFFER_SIZE];
    auto* entry = reinterpret_cast<kernel_dirent*>(buffer);
    for (const char* name : {".", "..", "file_link"}) {
        ASSERT_EQ(kern_read_dir(fd, entry, sizeof(buffer), 1), 1);
        EXPECT_STREQ(buffer + DIRENT_NAME_OFFSET, name);
    }
    ASSERT_EQ(rename("dir/sub", "elsewhere"), FSSH_OK);
    EXPECT_EQ(kern_read_dir(fd, entry, sizeof(buffer), 1), 0);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(RootfsRenameTest, MountPointCanMoveButCannotBeReplaced)
{
    ASSERT_EQ(kern_create_dir(-1, path("covered").c_str(), 0755), FSSH_OK);
    status_code device = fs_mount(path("covered").c_str(), nullptr, "rootfs", 0, nullptr);
    ASSERT_GT(device, 0);
    EXPECT_EQ(rename("empty", "covered"), FSSH_BUSY);
    EXPECT_EQ(id_of("empty") > 0, true);
    EXPECT_EQ(rename("covered", "moved"), FSSH_OK);
    kernel_stat stat{};
    ASSERT_EQ(kern_read_stat(-1, path("moved").c_str(), false, &stat, sizeof(stat)), FSSH_OK);
    EXPECT_EQ(stat.st_dev, device);
    EXPECT_EQ(vfs_unmount(path("moved").c_str(), 0), FSSH_OK);
}

}  // namespace
}  // namespace rootfs_test
