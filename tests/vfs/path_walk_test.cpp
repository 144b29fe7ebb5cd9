// Path resolution and the kernel calls on paths: slashes, symbolic links,
// ".." and ".", name and path limits, the working directory and descriptor-
// relative paths.

#include "kernel/debug.h"
#include "kernel/open_mode.h"
#include "tests/vfs/vfs_fixture.h"
#include "vfs/descriptor_calls.h"
#include "vfs/entry_calls.h"
#include "vfs/fs_mount.h"
#include "vfs/io_context.h"
#include "vfs/permissions.h"
#include "vfs/stat_calls.h"
#include "vfs/vnode.h"
#include "vfs/write_stat_mask.h"

#include <gmock/gmock.h>

#include <cstddef>
#include <cstring>

namespace vfs_test {
namespace {

using namespace fssh;

class PathWalkTest : public VfsTest {
protected:
    status_code StatStatus(const std::string& path, bool traverse, kernel_stat* stat = nullptr)
    {
        kernel_stat local;
        return kern_read_stat(-1, path.c_str(), traverse, stat != nullptr ? stat : &local,
                              sizeof(kernel_stat));
    }

    ino_t IdOf(const std::string& path, bool traverse = true)
    {
        kernel_stat stat{};
        EXPECT_EQ(StatStatus(path, traverse, &stat), FSSH_OK) << path;
        return stat.st_ino;
    }

    void MakeLink(const std::string& relative, const std::string& target)
    {
        ASSERT_EQ(kern_create_symlink(-1, Path(relative).c_str(), target.c_str(), 0777), FSSH_OK)
            << relative;
    }

    std::string ReadLink(const std::string& relative)
    {
        char buffer[2048];
        size_t size = sizeof(buffer);
        EXPECT_EQ(kern_read_link(-1, Path(relative).c_str(), buffer, &size), FSSH_OK);
        return std::string(buffer, std::min(size, sizeof(buffer)));
    }
};

class SlashSpellingTest : public PathWalkTest, public testing::WithParamInterface<const char*> {};

TEST_P(SlashSpellingTest, RepeatedAndTrailingSlashesAreIgnored)
{
    MakeDir("a");
    MakeDir("a/b");
    std::string spelled = mount_point_ + GetParam();
    EXPECT_EQ(IdOf(spelled), volume_->FindPath("a/b")->id);
}

INSTANTIATE_TEST_SUITE_P(Spellings, SlashSpellingTest,
                         testing::Values("/a/b", "//a//b", "/a/b/", "/a//b///", "///a/./b//.//"));

TEST_F(PathWalkTest, RepeatedLeadingSlashesStartAtTheRoot)
{
    EXPECT_EQ(IdOf("////"), IdOf("/"));
    EXPECT_EQ(IdOf("//" + mount_point_.substr(1)), volume_->root->id);
}

TEST_F(PathWalkTest, ChainOfSixteenLinksResolvesAndSeventeenFail)
{
    MakeFile("target", "x");
    MakeLink("l16", "target");
    for (int i = 15; i >= 1; i--)
        MakeLink("l" + std::to_string(i), "l" + std::to_string(i + 1));
    EXPECT_EQ(IdOf(Path("l1")), volume_->FindPath("target")->id);
    int fd = kern_open(-1, Path("l1").c_str(), FSSH_O_RDONLY, 0);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(kern_close(fd), FSSH_OK);

    MakeLink("l0", "l1");
    EXPECT_EQ(StatStatus(Path("l0"), true), FSSH_SYMLINK_LOOP);
    EXPECT_EQ(kern_open(-1, Path("l0").c_str(), FSSH_O_RDONLY, 0), FSSH_SYMLINK_LOOP);
    // Not following the last component, the link itself is found.
    EXPECT_EQ(StatStatus(Path("l0"), false), FSSH_OK);
}

TEST_F(PathWalkTest, LinkThatPointsAtItselfIsALoop)
{
    MakeLink("self", "self");
    EXPECT_EQ(StatStatus(Path("self"), true), FSSH_SYMLINK_LOOP);
}

TEST_F(PathWalkTest, RelativeLinksResolveFromTheLinksDirectory)
{
    MakeFile("file");
    MakeDir("d");
    MakeDir("d/e");
    MakeLink("d/up", "../file");
    MakeLink("d/e/twice", "../../file");
    MakeLink("d/here", "e");
    MakeLink("d/absolute", Path("file"));
    ino_t file = volume_->FindPath("file")->id;

    EXPECT_EQ(IdOf(Path("d/up")), file);
    EXPECT_EQ(IdOf(Path("d/e/twice")), file);
    EXPECT_EQ(IdOf(Path("d/absolute")), file);
    // A link in the middle of a path is always followed.
    EXPECT_EQ(IdOf(Path("d/here/twice")), file);
    EXPECT_EQ(IdOf(Path("d/here/../up")), file);

    // The working directory plays no part.
    ASSERT_EQ(kern_setcwd(-1, Path("d/e").c_str()), FSSH_OK);
    EXPECT_EQ(IdOf(Path("d/up")), file);
    EXPECT_EQ(IdOf("../up"), file);
}

TEST_F(PathWalkTest, LinkAcrossAMountIsFollowedIntoTheOtherVolume)
{
    MakeDir("mnt");
    dev_t inner = fs_mount(Path("mnt").c_str(), nullptr, "testfs", 0, nullptr);
    ASSERT_GT(inner, 0);
    ASSERT_EQ(kern_create_dir(-1, Path("mnt/dir").c_str(), 0755), FSSH_OK);
    MakeLink("into", "mnt/dir");
    kernel_stat stat{};
    ASSERT_EQ(StatStatus(Path("into"), true, &stat), FSSH_OK);
    EXPECT_EQ(stat.st_dev, inner);
    MakeLink("mnt/dir/back", "../../..");
    ASSERT_EQ(StatStatus(Path("mnt/dir/back"), true, &stat), FSSH_OK);
    EXPECT_EQ(stat.st_dev, root_mount_id());
    ASSERT_EQ(kern_unlink(-1, Path("mnt/dir/back").c_str()), FSSH_OK);
    ASSERT_EQ(kern_remove_dir(-1, Path("mnt/dir").c_str()), FSSH_OK);
    EXPECT_EQ(vfs_unmount(Path("mnt").c_str(), 0), FSSH_OK);
}

TEST_F(PathWalkTest, ReadStatWithoutTraverseReportsTheLinkItself)
{
    MakeFile("file", "12345");
    MakeLink("link", "file");
    kernel_stat stat{};
    ASSERT_EQ(StatStatus(Path("link"), false, &stat), FSSH_OK);
    EXPECT_TRUE(FSSH_S_ISLNK(stat.st_mode));
    EXPECT_EQ(stat.st_size, 4);
    ASSERT_EQ(StatStatus(Path("link"), true, &stat), FSSH_OK);
    EXPECT_TRUE(FSSH_S_ISREG(stat.st_mode));
    EXPECT_EQ(stat.st_size, 5);
}

TEST_F(PathWalkTest, LinkTextLongerThanTheWalkBufferIsRefused)
{
    std::string target;
    while (target.size() < 1100)
        target += "x/";
    target += "y";
    MakeLink("long", target);
    EXPECT_EQ(ReadLink("long"), target);
    EXPECT_EQ(StatStatus(Path("long"), true), FSSH_NAME_TOO_LONG);
}

TEST_F(PathWalkTest, LinkWithoutReadSymlinkHookCannotBeFollowed)
{
    MakeLink("link", "anything");
    volume_->failures["read_symlink"] = FSSH_IO_ERROR;
    EXPECT_EQ(StatStatus(Path("link"), true), FSSH_IO_ERROR);
    volume_->failures.clear();
}

struct RemoveDirCase {
    const char* label;
    const char* path;
    status_code expected;
    const char* removed;  // directory that must be gone afterwards, or null
};

class RemoveDirTest : public PathWalkTest, public testing::WithParamInterface<RemoveDirCase> {};

TEST_P(RemoveDirTest, DotAndDotDotAreHandledBeforeTheFileSystem)
{
    MakeDir("a");
    MakeDir("a/b");
    const RemoveDirCase& test = GetParam();
    ASSERT_EQ(kern_setcwd(-1, mount_point_.c_str()), FSSH_OK);
    std::string path = test.path[0] == '/' ? mount_point_ + test.path : test.path;
    EXPECT_EQ(kern_remove_dir(-1, path.c_str()), test.expected);
    if (test.removed != nullptr)
        EXPECT_EQ(volume_->FindPath(test.removed), nullptr);
    else
        EXPECT_NE(volume_->FindPath("a/b"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoveDirTest,
    testing::Values(RemoveDirCase{"TrailingDot", "/a/b/.", FSSH_OK, "a/b"},
                    RemoveDirCase{"TrailingDotAfterSlashes", "/a/b//.", FSSH_OK, "a/b"},
                    RemoveDirCase{"RelativeTrailingDot", "a/b/.", FSSH_OK, "a/b"},
                    RemoveDirCase{"Plain", "/a/b", FSSH_OK, "a/b"},
                    RemoveDirCase{"TrailingSlash", "/a/b/", FSSH_OK, "a/b"},
                    RemoveDirCase{"TrailingDotDot", "/a/b/..", FSSH_NOT_PERMITTED, nullptr},
                    RemoveDirCase{"BareDotDot", "..", FSSH_NOT_PERMITTED, nullptr},
                    RemoveDirCase{"NotEmpty", "/a", FSSH_DIRECTORY_NOT_EMPTY, nullptr},
                    RemoveDirCase{"Missing", "/a/c", FSSH_NOT_FOUND, nullptr},
                    RemoveDirCase{"Empty", "", FSSH_NOT_FOUND, nullptr}),
    [](const testing::TestParamInfo<RemoveDirCase>& info) { return info.param.label; });

TEST_F(PathWalkTest, NamesAndPathsHaveFixedLimits)
{
    std::string name255(255, 'n');
    std::string name256(256, 'n');
    EXPECT_EQ(kern_create_dir(-1, Path(name255).c_str(), 0755), FSSH_OK);
    EXPECT_EQ(kern_create_dir(-1, Path(name256).c_str(), 0755), FSSH_NAME_TOO_LONG);
    EXPECT_EQ(kern_open(-1, Path(name256).c_str(), FSSH_O_CREAT | FSSH_O_RDWR, 0644),
              FSSH_NAME_TOO_LONG);
    EXPECT_EQ(kern_remove_dir(-1, Path(name255).c_str()), FSSH_OK);

    std::string path1024 = "/" + std::string(1023, 'p');
    std::string path1025 = "/" + std::string(1024, 'p');
    EXPECT_EQ(StatStatus(path1024, true), FSSH_NOT_FOUND);
    EXPECT_EQ(StatStatus(path1025, true), FSSH_EOVERFLOW);
    // Trailing slashes are only dropped after the copy.
    EXPECT_EQ(StatStatus(mount_point_ + std::string(1100, '/'), true), FSSH_EOVERFLOW);
    EXPECT_EQ(kern_setcwd(-1, path1024.c_str()), FSSH_EOVERFLOW);
}

TEST_F(PathWalkTest, EmptyNamesCreateNothing)
{
    ASSERT_EQ(kern_setcwd(-1, mount_point_.c_str()), FSSH_OK);
    EXPECT_EQ(kern_create_dir(-1, "", 0755), FSSH_NOT_FOUND);
    EXPECT_EQ(kern_open(-1, "", FSSH_O_CREAT | FSSH_O_RDWR, 0644), FSSH_NOT_FOUND);
    EXPECT_TRUE(volume_->root->children.empty());
}

TEST_F(PathWalkTest, WorkingDirectoryAnchorsRelativePathsAndRefusesFiles)
{
    MakeDir("d");
    MakeFile("d/f");
    ASSERT_EQ(kern_setcwd(-1, Path("d").c_str()), FSSH_OK);
    EXPECT_EQ(IdOf("f"), volume_->FindPath("d/f")->id);

    EXPECT_EQ(kern_setcwd(-1, "f"), FSSH_NOT_A_DIRECTORY);
    EXPECT_EQ(IdOf("."), volume_->FindPath("d")->id);
    EXPECT_EQ(kern_setcwd(-1, "missing"), FSSH_NOT_FOUND);
    EXPECT_EQ(IdOf("."), volume_->FindPath("d")->id);
}

TEST_F(PathWalkTest, RelativePathWithoutWorkingDirectoryFails)
{
    io_context* global = get_global_io_context();
    io_context* bare = vfs_new_io_context(nullptr);
    ASSERT_NE(bare, nullptr);
    dec_vnode_ref_count(bare->cwd, false);
    bare->cwd = nullptr;
    set_global_io_context(bare);
    EXPECT_EQ(StatStatus("anything", true), FSSH_ERROR);
    EXPECT_EQ(StatStatus(mount_point_, true), FSSH_OK);
    set_global_io_context(global);
    vfs_free_io_context(bare);
}

TEST_F(PathWalkTest, WalkAsksForSearchAccessOnEveryDirectoryItPasses)
{
    MakeDir("a");
    MakeDir("a/b");
    MakeFile("a/b/f");
    volume_->access_modes.clear();
    IdOf(Path("a/b/f"));
    // The volume's root, a and b.
    EXPECT_THAT(volume_->access_modes, testing::ElementsAre(FSSH_X_OK, FSSH_X_OK, FSSH_X_OK));

    volume_->failures["access"] = FSSH_NOT_PERMITTED;
    EXPECT_EQ(StatStatus(Path("a/b/f"), true), FSSH_NOT_PERMITTED);
    EXPECT_EQ(kern_access(Path("a").c_str(), 4), FSSH_NOT_PERMITTED);
    volume_->failures.clear();
    volume_->access_modes.clear();
    EXPECT_EQ(kern_access(Path("a/b/f").c_str(), 6), FSSH_OK);
    EXPECT_EQ(volume_->access_modes.back(), 6u);
    EXPECT_EQ(kern_access(Path("a/none").c_str(), 4), FSSH_NOT_FOUND);
}

TEST_F(PathWalkTest, ComponentsBelowAFileAreRefusedByTheFileSystem)
{
    MakeFile("file");
    EXPECT_EQ(StatStatus(Path("file/x"), true), FSSH_NOT_A_DIRECTORY);
    EXPECT_EQ(StatStatus(Path("missing/x"), true), FSSH_NOT_FOUND);
}

TEST_F(PathWalkTest, PathsAreWalkedRelativeToADescriptor)
{
    MakeDir("d");
    MakeFile("d/f");
    MakeFile("top");
    int dir = kern_open_dir(-1, Path("d").c_str());
    ASSERT_GE(dir, 0);
    kernel_stat stat{};
    ASSERT_EQ(kern_read_stat(dir, "f", false, &stat, sizeof(stat)), FSSH_OK);
    EXPECT_EQ(stat.st_ino, volume_->FindPath("d/f")->id);
    ASSERT_EQ(kern_read_stat(dir, "../top", false, &stat, sizeof(stat)), FSSH_OK);
    EXPECT_EQ(stat.st_ino, volume_->FindPath("top")->id);
    // An absolute path ignores the descriptor; no path means the descriptor.
    ASSERT_EQ(kern_read_stat(dir, Path("top").c_str(), false, &stat, sizeof(stat)), FSSH_OK);
    EXPECT_EQ(stat.st_ino, volume_->FindPath("top")->id);
    ASSERT_EQ(kern_read_stat(dir, nullptr, false, &stat, sizeof(stat)), FSSH_OK);
    EXPECT_EQ(stat.st_ino, volume_->FindPath("d")->id);
    EXPECT_EQ(stat.st_dev, mount_id_);

    ASSERT_EQ(kern_create_dir(dir, "sub", 0755), FSSH_OK);
    EXPECT_NE(volume_->FindPath("d/sub"), nullptr);
    ASSERT_EQ(kern_remove_dir(dir, "sub"), FSSH_OK);
    EXPECT_EQ(kern_close(dir), FSSH_OK);

    EXPECT_EQ(kern_read_stat(dir, "f", false, &stat, sizeof(stat)), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(kern_read_stat(-1, nullptr, false, &stat, sizeof(stat)), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(kern_access(nullptr, 4), FSSH_INVALID_ARGUMENT);
}

TEST_F(PathWalkTest, ShortStatRecordsAreCopiedAndFilledPartially)
{
    MakeFile("file", "abc");
    kernel_stat stat;
    memset(&stat, 0x77, sizeof(stat));
    size_t short_size = offsetof(kernel_stat, st_mode) + sizeof(stat.st_mode);
    ASSERT_EQ(kern_read_stat(-1, Path("file").c_str(), false, &stat, short_size), FSSH_OK);
    EXPECT_EQ(stat.st_ino, volume_->FindPath("file")->id);
    EXPECT_TRUE(FSSH_S_ISREG(stat.st_mode));
    EXPECT_EQ(stat.st_nlink, 0x77777777);  // beyond the size: untouched
    EXPECT_EQ(kern_read_stat(-1, Path("file").c_str(), false, &stat, sizeof(stat) + 1),
              FSSH_INVALID_ARGUMENT);

    kernel_stat change;
    memset(&change, 0, sizeof(change));
    change.st_mode = 0600;
    ASSERT_EQ(kern_write_stat(-1, Path("file").c_str(), false, &change, short_size,
                              FSSH_STAT_MODE | FSSH_STAT_SIZE),
              FSSH_OK);
    EXPECT_EQ(volume_->FindPath("file")->mode, FSSH_S_IFREG | 0600);
    EXPECT_EQ(volume_->FindPath("file")->data.size(), 0u);  // the size beyond the record is 0
    EXPECT_EQ(kern_write_stat(-1, Path("file").c_str(), false, &change, sizeof(change) + 1,
                              FSSH_STAT_MODE),
              FSSH_INVALID_ARGUMENT);
}

TEST_F(PathWalkTest, WriteStatFollowsALinkOnlyWhenAsked)
{
    MakeFile("file");
    MakeLink("link", "file");
    kernel_stat change{};
    change.st_mode = 0604;
    ASSERT_EQ(kern_write_stat(-1, Path("link").c_str(), false, &change, sizeof(change),
                              FSSH_STAT_MODE),
              FSSH_OK);
    EXPECT_EQ(volume_->FindPath("link")->mode, FSSH_S_IFLNK | 0604);
    change.st_mode = 0640;
    ASSERT_EQ(kern_write_stat(-1, Path("link").c_str(), true, &change, sizeof(change),
                              FSSH_STAT_MODE),
              FSSH_OK);
    EXPECT_EQ(volume_->FindPath("file")->mode, FSSH_S_IFREG | 0640);
}

struct SymlinkTarget {
    const char* label;
    std::string target;
    status_code expected;
    std::string stored;
};

class SymlinkTargetTest : public PathWalkTest,
                          public testing::WithParamInterface<SymlinkTarget> {};

TEST_P(SymlinkTargetTest, TargetTextIsCheckedBeforeTheLinkIsMade)
{
    const SymlinkTarget& test = GetParam();
    EXPECT_EQ(kern_create_symlink(-1, Path("link").c_str(), test.target.c_str(), 0777),
              test.expected);
    if (test.expected == FSSH_OK) {
        EXPECT_EQ(ReadLink("link"), test.stored);
    } else {
        EXPECT_EQ(volume_->FindPath("link"), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SymlinkTargetTest,
    testing::Values(
        SymlinkTarget{"Empty", "", FSSH_NOT_FOUND, ""},
        SymlinkTarget{"Plain", "a/b", FSSH_OK, "a/b"},
        SymlinkTarget{"TrailingSlashGetsDot", "dir/", FSSH_OK, "dir/."},
        SymlinkTarget{"ComponentOf256", "a/" + std::string(256, 'c'), FSSH_OK,
                      "a/" + std::string(256, 'c')},
        SymlinkTarget{"ComponentOf257", "a/" + std::string(257, 'c') + "/b", FSSH_NAME_TOO_LONG,
                      ""},
        SymlinkTarget{"SlashTerminated1022", std::string(1021, '/') + "/", FSSH_OK,
                      std::string(1022, '/') + "."},
        SymlinkTarget{"SlashTerminated1023", std::string(1022, '/') + "/", FSSH_NAME_TOO_LONG,
                      ""}),
    [](const testing::TestParamInfo<SymlinkTarget>& info) { return info.param.label; });

TEST_F(PathWalkTest, ReadLinkByPathOrByDescriptor)
{
    MakeLink("link", "some/target");
    char buffer[64];
    size_t size = 4;
    ASSERT_EQ(kern_read_link(-1, Path("link").c_str(), buffer, &size), FSSH_OK);
    EXPECT_EQ(size, 11u);  // the full length, though only 4 bytes were copied
    EXPECT_EQ(std::string(buffer, 4), "some");

    int fd = kern_open(-1, Path("link").c_str(), FSSH_O_RDONLY | FSSH_O_NOTRAVERSE, 0);
    ASSERT_GE(fd, 0);
    size = sizeof(buffer);
    ASSERT_EQ(kern_read_link(fd, nullptr, buffer, &size), FSSH_OK);
    EXPECT_EQ(std::string(buffer, size), "some/target");
    EXPECT_EQ(kern_close(fd), FSSH_OK);

    EXPECT_EQ(kern_read_link(-1, nullptr, buffer, &size), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(kern_read_link(77, nullptr, buffer, &size), FSSH_BAD_FILE_DESCRIPTOR);
    MakeFile("file");
    EXPECT_EQ(kern_read_link(-1, Path("file").c_str(), buffer, &size), FSSH_INVALID_ARGUMENT);
}

TEST_F(PathWalkTest, LinksAndRenamesStayOnOneVolume)
{
    MakeFile("file");
    MakeDir("mnt");
    dev_t inner = fs_mount(Path("mnt").c_str(), nullptr, "testfs", 0, nullptr);
    ASSERT_GT(inner, 0);

    EXPECT_EQ(kern_create_link(Path("mnt/alias").c_str(), Path("file").c_str()),
              FSSH_CROSS_DEVICE_LINK);
    EXPECT_EQ(kern_rename(-1, Path("file").c_str(), -1, Path("mnt/file").c_str()),
              FSSH_CROSS_DEVICE_LINK);
    EXPECT_NE(volume_->FindPath("file"), nullptr);

    ASSERT_EQ(kern_create_link(Path("alias").c_str(), Path("file").c_str()), FSSH_OK);
    EXPECT_EQ(volume_->FindPath("alias"), volume_->FindPath("file"));
    ASSERT_EQ(kern_rename(-1, Path("alias").c_str(), -1, Path("renamed").c_str()), FSSH_OK);
    EXPECT_EQ(volume_->FindPath("renamed"), volume_->FindPath("file"));
    EXPECT_EQ(volume_->FindPath("alias"), nullptr);
    EXPECT_EQ(vfs_unmount(Path("mnt").c_str(), 0), FSSH_OK);
}

TEST_F(PathWalkTest, EntryRefCallsFindEntriesByDirectoryId)
{
    MakeFile("file", "data");
    ino_t root = volume_->root->id;
    int fd = kern_open_entry_ref(mount_id_, root, "file", FSSH_O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    char buffer[8];
    EXPECT_EQ(kern_read(fd, 0, buffer, sizeof(buffer)), 4);
    EXPECT_EQ(kern_close(fd), FSSH_OK);

    fd = kern_open_entry_ref(mount_id_, root, "new", FSSH_O_CREAT | FSSH_O_RDWR, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
    EXPECT_NE(volume_->FindPath("new"), nullptr);

    ASSERT_EQ(kern_create_dir_entry_ref(mount_id_, root, "dir", 0755), FSSH_OK);
    fd = kern_open_dir_entry_ref(mount_id_, volume_->FindPath("dir")->id, nullptr);
    ASSERT_GE(fd, 0);
    kernel_stat stat{};
    ASSERT_EQ(kern_read_stat(fd, nullptr, false, &stat, sizeof(stat)), FSSH_OK);
    EXPECT_EQ(stat.st_ino, volume_->FindPath("dir")->id);
    EXPECT_EQ(kern_close(fd), FSSH_OK);

    EXPECT_EQ(kern_open_entry_ref(mount_id_, root, "none", FSSH_O_RDONLY, 0), FSSH_NOT_FOUND);
    EXPECT_EQ(kern_open_entry_ref(mount_id_, 9999, "x", FSSH_O_RDONLY, 0), FSSH_NOT_FOUND);
    EXPECT_EQ(kern_create_dir_entry_ref(mount_id_, root, std::string(256, 'n').c_str(), 0755),
              FSSH_NAME_TOO_LONG);
}

using PathWalkDeathTest = PathWalkTest;

TEST_F(PathWalkDeathTest, LookupThatLeavesNoVnodeEndsTheProcess)
{
    TestNode* node = volume_->AddNode(volume_->root, "unloaded", FSSH_S_IFREG | 0644);
    volume_->lookup_skips_get_vnode = true;
    std::string message = "lookup_dir_entry\\(\\): could not lookup vnode \\(mountid " +
                          std::to_string(mount_id_) + " vnid " + std::to_string(node->id) + "\\)";
    EXPECT_EXIT(StatStatus(Path("unloaded"), true), testing::ExitedWithCode(PANIC_EXIT_STATUS),
                message);
    volume_->lookup_skips_get_vnode = false;
}

}  // namespace
}  // namespace vfs_test
