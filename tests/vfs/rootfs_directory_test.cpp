// The root file system's directories through the kernel calls: creating and
// removing entries, their order, and directory cookies.

#include "tests/vfs/rootfs_test_volume.h"

#include "kernel/kernel_stat.h"
#include "vfs/rootfs/rootfs_node.h"
#include "vfs/stat_calls.h"
#include "vfs/vnode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace rootfs_test {
namespace {

using namespace fssh;
using Names = std::vector<std::string>;

// Reads one entry; its name, or "" at the end of the directory.
std::string read_one(int fd)
{
    alignas(8) char buffer[DIRENT_BUFFER_SIZE];
    status_code count = kern_read_dir(fd, reinterpret_cast<kernel_dirent*>(buffer),
                                      sizeof(buffer), 1);
    EXPECT_GE(count, 0);
    return count == 1 ? std::string(buffer + DIRENT_NAME_OFFSET) : std::string();
}

ino_t node_id(const std::string& path)
{
    kernel_stat stat{};
    EXPECT_EQ(kern_read_stat(-1, path.c_str(), false, &stat, sizeof(stat)), FSSH_OK) << path;
    return stat.st_ino;
}

class RootfsDirectoryTest : public RootfsVolumeTest {};

TEST_F(RootfsDirectoryTest, FreshVolumeListsOnlyDotAndDotDotBothNamingItsRoot)
{
    EXPECT_EQ(list_directory(path()), (Names{".", ".."}));
    EXPECT_EQ(node_id(path()), ROOTFS_ROOT_ID);

    // The layer reports ".." of a mount root as the covered directory's
    // parent; the hook itself names the root for both.
    vnode* root = nullptr;
    ASSERT_EQ(get_vnode_by_id(device_, ROOTFS_ROOT_ID, &root, false), FSSH_OK);
    VnodeReference holder(root);
    fs_volume* fs_volume = volume()->volume;
    void* cookie = nullptr;
    ASSERT_EQ(root->fs.ops->open_dir(fs_volume, &root->fs, &cookie), FSSH_OK);
    alignas(8) char buffer[DIRENT_BUFFER_SIZE];
    auto* entry = reinterpret_cast<kernel_dirent*>(buffer);
    for (const char* name : {".", ".."}) {
        uint32_t count = 1;
        ASSERT_EQ(root->fs.ops->read_dir(fs_volume, &root->fs, cookie, entry, sizeof(buffer),
                                         &count),
                  FSSH_OK);
        ASSERT_EQ(count, 1u);
        EXPECT_STREQ(buffer + DIRENT_NAME_OFFSET, name);
        EXPECT_EQ(entry->d_ino, ROOTFS_ROOT_ID);
        EXPECT_EQ(entry->d_dev, device_);
        EXPECT_EQ(entry->d_reclen, DIRENT_NAME_OFFSET + strlen(name) + 1);
    }
    uint32_t count = 1;
    EXPECT_EQ(root->fs.ops->read_dir(fs_volume, &root->fs, cookie, entry, sizeof(buffer),
                                     &count),
              FSSH_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(root->fs.ops->free_dir_cookie(fs_volume, &root->fs, cookie), FSSH_OK);
}

TEST_F(RootfsDirectoryTest, EntriesComeBackInAscendingNameOrder)
{
    for (const char* name : {"b", "a", "c", "aa", "B", "a0"})
        ASSERT_EQ(kern_create_dir(-1, path(name).c_str(), 0755), FSSH_OK) << name;
    ASSERT_EQ(kern_create_symlink(-1, path("ab").c_str(), "a", 0777), FSSH_OK);
    EXPECT_EQ(list_directory(path()), (Names{".", "..", "B", "a", "a0", "aa", "ab", "b", "c"}));
}

TEST_F(RootfsDirectoryTest, NestedDirectoriesListTheirOwnEntries)
{
    ASSERT_EQ(kern_create_dir(-1, path("d").c_str(), 0755), FSSH_OK);
    ASSERT_EQ(kern_create_dir(-1, path("d/inner").c_str(), 0755), FSSH_OK);
    EXPECT_EQ(list_directory(path("d")), (Names{".", "..", "inner"}));
    EXPECT_EQ(node_id(path("d/inner/..")), node_id(path("d")));
    EXPECT_EQ(node_id(path("d/..")), ROOTFS_ROOT_ID);
}

TEST_F(RootfsDirectoryTest, CreatingAnExistingNameDotOrDotDotGivesFileExists)
{
    ASSERT_EQ(kern_create_dir(-1, path("taken").c_str(), 0755), FSSH_OK);
    ASSERT_EQ(kern_create_symlink(-1, path("link").c_str(), "taken", 0777), FSSH_OK);
    for (const char* name : {"taken", "link", ".", ".."}) {
        EXPECT_EQ(kern_create_dir(-1, path(name).c_str(), 0755), FSSH_FILE_EXISTS) << name;
        EXPECT_EQ(kern_create_symlink(-1, path(name).c_str(), "x", 0777), FSSH_FILE_EXISTS)
            << name;
    }
    EXPECT_EQ(list_directory(path()), (Names{".", "..", "link", "taken"}));
}

struct RemovalCase {
    const char* description;
    const char* name;
    bool as_directory;
    status_code expected;
};

class RootfsRemovalTest : public RootfsVolumeTest,
                          public ::testing::WithParamInterface<RemovalCase> {};

TEST_P(RootfsRemovalTest, RemovesOnlyWhatItMay)
{
    ASSERT_EQ(kern_create_dir(-1, path("empty").c_str(), 0755), FSSH_OK);
    ASSERT_EQ(kern_create_dir(-1, path("full").c_str(), 0755), FSSH_OK);
    ASSERT_EQ(kern_create_dir(-1, path("full/child").c_str(), 0755), FSSH_OK);
    ASSERT_EQ(kern_create_symlink(-1, path("link").c_str(), "empty", 0777), FSSH_OK);
    Names before = list_directory(path());

    const RemovalCase& c = GetParam();
    std::string target = path(c.name);
    status_code status = c.as_directory ? kern_remove_dir(-1, target.c_str())
                                        : kern_unlink(-1, target.c_str());
    EXPECT_EQ(status, c.expected);

    Names after = list_directory(path());
    if (c.expected == FSSH_OK) {
        std::erase(before, c.name);
        kernel_stat stat{};
        EXPECT_EQ(kern_read_stat(-1, target.c_str(), false, &stat, sizeof(stat)),
                  FSSH_NOT_FOUND);
    }
    EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RootfsRemovalTest,
    ::testing::Values(RemovalCase{"EmptyDirectory", "empty", true, FSSH_OK},
                      RemovalCase{"NonEmptyDirectory", "full", true, FSSH_DIRECTORY_NOT_EMPTY},
                      RemovalCase{"SymlinkAsDirectory", "link", true, FSSH_NOT_A_DIRECTORY},
                      RemovalCase{"MissingDirectory", "none", true, FSSH_NOT_FOUND},
                      RemovalCase{"Symlink", "link", false, FSSH_OK},
                      RemovalCase{"DirectoryByUnlink", "empty", false, FSSH_IS_A_DIRECTORY},
                      RemovalCase{"MissingByUnlink", "none", false, FSSH_NOT_FOUND},
                      RemovalCase{"DotByUnlink", ".", false, FSSH_IS_A_DIRECTORY}),
    [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.description; });

TEST_F(RootfsDirectoryTest, RemovedNameCanBeCreatedAgainWithANewNode)
{
    ASSERT_EQ(kern_create_dir(-1, path("again").c_str(), 0755), FSSH_OK);
    ino_t first = node_id(path("again"));
    ASSERT_EQ(kern_remove_dir(-1, path("again").c_str()), FSSH_OK);
    ASSERT_EQ(kern_create_dir(-1, path("again").c_str(), 0755), FSSH_OK);
    EXPECT_GT(node_id(path("again")), first);
}

TEST_F(RootfsDirectoryTest, DirectoryStaysUsableWhileOpenAfterItsRemoval)
{
    ASSERT_EQ(kern_create_dir(-1, path("going").c_str(), 0755), FSSH_OK);
    int fd = kern_open_dir(-1, path("going").c_str());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(kern_remove_dir(-1, path("going").c_str()), FSSH_OK);
    EXPECT_EQ(read_one(fd), ".");
    EXPECT_EQ(read_one(fd), "..");
    EXPECT_EQ(read_one(fd), "");
    EXPECT_EQ(kern_close(fd), FSSH_OK);
    EXPECT_EQ(list_directory(path()), (Names{".", ".."}));
}

TEST_F(RootfsDirectoryTest, CookieSurvivesRemovalOfItsNextEntry)
{
    for (const char* name : {"a", "b", "c", "d"})
        ASSERT_EQ(kern_create_dir(-1, path(name).c_str(), 0755), FSSH_OK);
    int fd = kern_open_dir(-1, path().c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(read_one(fd), ".");
    EXPECT_EQ(read_one(fd), "..");
    EXPECT_EQ(read_one(fd), "a");
    ASSERT_EQ(kern_remove_dir(-1, path("b").c_str()), FSSH_OK);
    EXPECT_EQ(read_one(fd), "c");
    ASSERT_EQ(kern_remove_dir(-1, path("a").c_str()), FSSH_OK);  // behind the cookie
    EXPECT_EQ(read_one(fd), "d");
    EXPECT_EQ(read_one(fd), "");
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(RootfsDirectoryTest, CookieBeforeTheFirstEntrySurvivesItsRemoval)
{
    for (const char* name : {"a", "b"})
        ASSERT_EQ(kern_create_dir(-1, path(name).c_str(), 0755), FSSH_OK);
    int fd = kern_open_dir(-1, path().c_str());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(kern_remove_dir(-1, path("a").c_str()), FSSH_OK);
    EXPECT_EQ(read_one(fd), ".");
    EXPECT_EQ(read_one(fd), "..");
    EXPECT_EQ(read_one(fd), "b");
    EXPECT_EQ(read_one(fd), "");
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(RootfsDirectoryTest, RewindStartsOverWithDot)
{
    ASSERT_EQ(kern_create_dir(-1, path("only").c_str(), 0755), FSSH_OK);
    int fd = kern_open_dir(-1, path().c_str());
    ASSERT_GE(fd, 0);
    for (const char* name : {".", "..", "only", ""})
        EXPECT_EQ(read_one(fd), name);
    ASSERT_EQ(kern_create_dir(-1, path("added").c_str(), 0755), FSSH_OK);
    ASSERT_EQ(kern_rewind_dir(fd), FSSH_OK);
    for (const char* name : {".", "..", "added", "only", ""})
        EXPECT_EQ(read_one(fd), name);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(RootfsDirectoryTest, EntryTooLargeForTheBufferGivesNoBuffersAndKeepsTheCookie)
{
    const std::string name = "a_rather_long_entry_name";
    ASSERT_EQ(kern_create_dir(-1, path(name).c_str(), 0755), FSSH_OK);
    int fd = kern_open_dir(-1, path().c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(read_one(fd), ".");
    EXPECT_EQ(read_one(fd), "..");
    alignas(8) char buffer[DIRENT_BUFFER_SIZE];
    size_t needed = DIRENT_NAME_OFFSET + name.size() + 1;
    EXPECT_EQ(kern_read_dir(fd, reinterpret_cast<kernel_dirent*>(buffer), needed - 1, 1),
              FSSH_ENOBUFS);
    ASSERT_EQ(kern_read_dir(fd, reinterpret_cast<kernel_dirent*>(buffer), needed, 1), 1);
    EXPECT_EQ(buffer + DIRENT_NAME_OFFSET, name);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(RootfsDirectoryTest, NodeTableGrowsAfterTwelveNodesAndShrinksWhenSparse)
{
    rootfs_volume* fs = volume();
    ASSERT_NE(fs, nullptr);
    EXPECT_EQ(fs->nodes.node_count, 1u);  // the root
    EXPECT_EQ(fs->nodes.bucket_count, 16u);
    std::vector<std::string> names;
    for (int i = 1; i < 12; i++) {
        names.push_back("dir" + std::to_string(i));
        ASSERT_EQ(kern_create_dir(-1, path(names.back()).c_str(), 0755), FSSH_OK);
    }
    EXPECT_EQ(fs->nodes.node_count, 12u);
    EXPECT_EQ(fs->nodes.bucket_count, 16u);
    names.push_back("dir12");
    ASSERT_EQ(kern_create_dir(-1, path(names.back()).c_str(), 0755), FSSH_OK);
    EXPECT_EQ(fs->nodes.bucket_count, 32u);

    // Every node is still found after the rehash.
    for (const std::string& name : names)
        EXPECT_GT(node_id(path(name)), ROOTFS_ROOT_ID) << name;

    // 32 buckets halve once fewer than 6 nodes remain, 16 once fewer than 3.
    while (fs->nodes.node_count > 5) {
        ASSERT_EQ(kern_remove_dir(-1, path(names.back()).c_str()), FSSH_OK);
        names.pop_back();
        EXPECT_EQ(fs->nodes.bucket_count, fs->nodes.node_count > 5 ? 32u : 16u);
    }
    while (fs->nodes.node_count > 1) {
        ASSERT_EQ(kern_remove_dir(-1, path(names.back()).c_str()), FSSH_OK);
        names.pop_back();
    }
    EXPECT_EQ(fs->nodes.bucket_count, 8u);
}

}  // namespace
}  // namespace rootfs_test
