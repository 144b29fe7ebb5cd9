#include "fuse/fuse_operations.h"

#include "fuse/debug_mode.h"
#include "kernel/open_mode.h"
#include "tests/fuse/memory_volume.h"
#include "tests/fuse/test_kernel.h"
#include "vfs/io_context.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace wfsmount {
namespace {

using fuse_test::bring_up_test_kernel;
using fuse_test::memory_volume_device;
using fuse_test::ROOT_FILE_SYSTEM_DEVICE;
using testing::ElementsAre;
using testing::IsEmpty;

// What a readdir delivered.
struct listing {
    std::vector<std::string> names;
    std::vector<struct stat> stats;
    size_t capacity = SIZE_MAX;  // entries the filler accepts before it is full
};

int collect_entry(void* buffer, const char* name, const struct stat* stat, off_t offset,
                  fuse_fill_dir_flags flags)
{
    listing* collected = static_cast<listing*>(buffer);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(flags, 0);
    if (collected->names.size() == collected->capacity)
        return 1;
    collected->names.push_back(name);
    collected->stats.push_back(*stat);
    return 0;
}

int readdir(const char* path, listing* collected)
{
    return frontend_readdir(path, collected, collect_entry, 0, nullptr,
                            static_cast<fuse_readdir_flags>(0));
}

int getattr(const char* path, struct stat* stat)
{
    return frontend_getattr(path, stat, nullptr);
}

bool exists(const char* path)
{
    struct stat stat;
    return getattr(path, &stat) == 0;
}

uint32_t open_descriptor_count()
{
    return fssh::get_global_io_context()->used_count;
}

// Every test starts with the memory volume in its initial state and checks
// at the end that no operation left a descriptor open. Tests remove what
// they create in the root file system.
class FuseOperations : public testing::Test {
protected:
    void SetUp() override
    {
        bring_up_test_kernel();
        set_debug_mode(false);
        memory_volume::state() = memory_volume::volume_state{};
        descriptors_before_ = open_descriptor_count();
    }

    void TearDown() override
    {
        set_debug_mode(false);
        EXPECT_EQ(open_descriptor_count(), descriptors_before_) << "a descriptor was left open";
    }

private:
    uint32_t descriptors_before_ = 0;
};

TEST_F(FuseOperations, GetattrOfRootReportsTheRootFileSystemsRoot)
{
    struct stat stat;
    ASSERT_EQ(getattr("/", &stat), 0);
    EXPECT_EQ(stat.st_ino, 1u);
    EXPECT_EQ(stat.st_dev, static_cast<dev_t>(ROOT_FILE_SYSTEM_DEVICE));
    EXPECT_EQ(stat.st_mode, S_IFDIR | 0755u);
    EXPECT_EQ(stat.st_nlink, 1u);
    EXPECT_EQ(stat.st_blksize, 65536);
}

TEST_F(FuseOperations, GetattrOfMountPointReportsTheMountedVolumesRoot)
{
    struct stat stat;
    ASSERT_EQ(getattr("/myfs", &stat), 0);
    EXPECT_EQ(stat.st_ino, static_cast<ino_t>(memory_volume::ROOT_ID));
    EXPECT_EQ(stat.st_dev, static_cast<dev_t>(memory_volume_device()));
    EXPECT_NE(stat.st_dev, static_cast<dev_t>(ROOT_FILE_SYSTEM_DEVICE));
}

TEST_F(FuseOperations, GetattrFailureStillConvertsTheZeroedRecord)
{
    struct stat stat;
    memset(&stat, 0xab, sizeof(stat));
    EXPECT_EQ(getattr("/missing", &stat), -ENOENT);
    EXPECT_EQ(stat.st_ino, 0u);
    EXPECT_EQ(stat.st_mode, 0u);
}

class MknodOfOtherTypes : public FuseOperations, public testing::WithParamInterface<mode_t> {};

TEST_P(MknodOfOtherTypes, IsInvalidAndCreatesNothing)
{
    for (const char* path : {"/node", "/myfs/node"}) {
        EXPECT_EQ(frontend_mknod(path, GetParam() | 0644, 0), -EINVAL) << path;
        EXPECT_FALSE(exists(path)) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(NodeTypes, MknodOfOtherTypes,
                         testing::Values(S_IFIFO, S_IFCHR, S_IFBLK, S_IFSOCK));

TEST_F(FuseOperations, MknodOfRegularFileInRootFileSystemIsInvalid)
{
    EXPECT_EQ(frontend_mknod("/regular", S_IFREG | 0644, 0), -EINVAL);
    EXPECT_FALSE(exists("/regular"));
}

TEST_F(FuseOperations, MknodOfRegularFileInVolumeCreatesExclusively)
{
    ASSERT_EQ(frontend_mknod("/myfs/created", S_IFREG | 0640, 0), 0);
    EXPECT_EQ(memory_volume::state().last_open_mode,
              fssh::FSSH_O_WRONLY | fssh::FSSH_O_CREAT | fssh::FSSH_O_EXCL);
    struct stat stat;
    ASSERT_EQ(getattr("/myfs/created", &stat), 0);
    EXPECT_EQ(stat.st_mode, S_IFREG | 0640u);

    // The exclusive-create bit makes an existing file an error.
    EXPECT_EQ(frontend_mknod("/myfs/created", S_IFREG | 0600, 0), -EEXIST);
    EXPECT_EQ(frontend_mknod("/myfs/file", S_IFREG | 0600, 0), -EEXIST);
    ASSERT_EQ(getattr("/myfs/created", &stat), 0);
    EXPECT_EQ(stat.st_mode, S_IFREG | 0640u);
}

TEST_F(FuseOperations, DirectoriesAndLinksAreMadeRenamedAndRemoved)
{
    ASSERT_EQ(frontend_mkdir("/dir", 0750), 0);
    struct stat stat;
    ASSERT_EQ(getattr("/dir", &stat), 0);
    EXPECT_EQ(stat.st_mode, S_IFDIR | 0750u);
    EXPECT_EQ(frontend_mkdir("/dir", 0750), -EEXIST);

    ASSERT_EQ(frontend_symlink("dir", "/link"), 0);
    ASSERT_EQ(getattr("/link", &stat), 0);
    EXPECT_EQ(stat.st_mode, S_IFLNK | 0777u);

    ASSERT_EQ(frontend_rename("/dir", "/renamed", 0), 0);
    EXPECT_FALSE(exists("/dir"));
    EXPECT_TRUE(exists("/renamed"));

    EXPECT_EQ(frontend_unlink("/renamed"), -EISDIR);
    EXPECT_EQ(frontend_rmdir("/link"), -ENOTDIR);
    EXPECT_EQ(frontend_unlink("/link"), 0);
    EXPECT_EQ(frontend_rmdir("/renamed"), 0);
    EXPECT_FALSE(exists("/renamed"));
    EXPECT_EQ(frontend_rmdir("/renamed"), -ENOENT);
}

struct readlink_case {
    size_t buffer_size;
    const char* expected;
};

class ReadlinkIntoBuffer : public FuseOperations,
                           public testing::WithParamInterface<readlink_case> {};

TEST_P(ReadlinkIntoBuffer, CutsTheTextAtTheBuffersLastByte)
{
    ASSERT_EQ(frontend_symlink("abcdefgh", "/eight"), 0);
    std::vector<char> buffer(GetParam().buffer_size + 1, '#');
    EXPECT_EQ(frontend_readlink("/eight", buffer.data(), GetParam().buffer_size), 0);
    EXPECT_STREQ(buffer.data(), GetParam().expected);
    EXPECT_EQ(buffer.back(), '#') << "written past the buffer";
    EXPECT_EQ(frontend_unlink("/eight"), 0);
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, ReadlinkIntoBuffer,
                         testing::Values(readlink_case{1, ""}, readlink_case{4, "abc"},
                                         readlink_case{8, "abcdefg"},
                                         readlink_case{9, "abcdefgh"},
                                         readlink_case{64, "abcdefgh"}));

TEST_F(FuseOperations, ReadlinkOfDirectoryIsInvalid)
{
    char buffer[16];
    EXPECT_EQ(frontend_readlink("/myfs", buffer, sizeof(buffer)), -EINVAL);
    EXPECT_EQ(frontend_readlink("/missing", buffer, sizeof(buffer)), -ENOENT);
}

TEST_F(FuseOperations, RenameOfBootIsNotPermitted)
{
    ASSERT_EQ(frontend_mkdir("/boot", 0755), 0);
    EXPECT_EQ(frontend_rename("/boot", "/elsewhere", 0), -EPERM);
    EXPECT_TRUE(exists("/boot"));
    EXPECT_FALSE(exists("/elsewhere"));
    EXPECT_EQ(frontend_rmdir("/boot"), 0);
}

TEST_F(FuseOperations, RenameOntoNonEmptyDirectoryIsNotEmpty)
{
    ASSERT_EQ(frontend_mkdir("/source", 0755), 0);
    ASSERT_EQ(frontend_mkdir("/target", 0755), 0);
    ASSERT_EQ(frontend_mkdir("/target/child", 0755), 0);
    EXPECT_EQ(frontend_rename("/source", "/target", 0), -ENOTEMPTY);
    EXPECT_TRUE(exists("/source"));
    EXPECT_TRUE(exists("/target/child"));
    EXPECT_EQ(frontend_rmdir("/target/child"), 0);
    EXPECT_EQ(frontend_rmdir("/target"), 0);
    EXPECT_EQ(frontend_rmdir("/source"), 0);
}

class RenameWithFlags : public FuseOperations,
                        public testing::WithParamInterface<unsigned int> {};

TEST_P(RenameWithFlags, IsRefusedAndChangesNothing)
{
    ASSERT_EQ(frontend_mkdir("/first", 0755), 0);
    ASSERT_EQ(frontend_symlink("first", "/second"), 0);
    EXPECT_EQ(frontend_rename("/first", "/second", GetParam()), -EINVAL);
    struct stat stat;
    ASSERT_EQ(getattr("/first", &stat), 0);
    EXPECT_TRUE(S_ISDIR(stat.st_mode));
    ASSERT_EQ(getattr("/second", &stat), 0);
    EXPECT_TRUE(S_ISLNK(stat.st_mode));
    EXPECT_EQ(frontend_unlink("/second"), 0);
    EXPECT_EQ(frontend_rmdir("/first"), 0);
}

INSTANTIATE_TEST_SUITE_P(Flags, RenameWithFlags,
                         testing::Values(RENAME_NOREPLACE, RENAME_EXCHANGE, RENAME_WHITEOUT));

TEST_F(FuseOperations, LinkNamesTheNewEntrySecond)
{
    // The existing node comes first: a link from the root file system into the
    // volume crosses mounts, while swapped arguments would not find
    // "/newlink" at all.
    EXPECT_EQ(frontend_link("/myfs/file", "/newlink"), -EXDEV);
    ASSERT_EQ(frontend_mkdir("/linked", 0755), 0);
    EXPECT_EQ(frontend_link("/linked", "/newlink"), -EROFS);
    EXPECT_EQ(frontend_rmdir("/linked"), 0);
}

TEST_F(FuseOperations, ChownWithMinusOneLeavesThatIdAlone)
{
    ASSERT_EQ(frontend_mkdir("/owned", 0755), 0);
    struct stat stat;
    ASSERT_EQ(frontend_chown("/owned", static_cast<uid_t>(-1), 7, nullptr), 0);
    ASSERT_EQ(getattr("/owned", &stat), 0);
    EXPECT_EQ(stat.st_uid, 0u);
    EXPECT_EQ(stat.st_gid, 7u);

    ASSERT_EQ(frontend_chown("/owned", 5, static_cast<gid_t>(-1), nullptr), 0);
    ASSERT_EQ(getattr("/owned", &stat), 0);
    EXPECT_EQ(stat.st_uid, 5u);
    EXPECT_EQ(stat.st_gid, 7u);
    EXPECT_EQ(frontend_rmdir("/owned"), 0);
}

TEST_F(FuseOperations, ChmodAndChownApplyToTheLinkAndTruncateFollowsIt)
{
    memory_volume::state().file_contents = "abcdef";
    ASSERT_EQ(frontend_symlink("/myfs/file", "/to-file"), 0);

    EXPECT_EQ(frontend_truncate("/to-file", 2, nullptr), 0);
    EXPECT_EQ(memory_volume::state().file_contents, "ab");

    EXPECT_EQ(frontend_chmod("/to-file", 0600, nullptr), 0);
    struct stat stat;
    ASSERT_EQ(getattr("/to-file", &stat), 0);
    EXPECT_EQ(stat.st_mode, S_IFLNK | 0600u);
    EXPECT_EQ(memory_volume::state().file_mode, S_IFREG | 0644u);

    // The memory volume keeps no owners: only the link can show new ones.
    EXPECT_EQ(frontend_chown("/to-file", 5, 6, nullptr), 0);
    ASSERT_EQ(getattr("/to-file", &stat), 0);
    EXPECT_EQ(stat.st_uid, 5u);
    EXPECT_EQ(stat.st_gid, 6u);

    EXPECT_EQ(frontend_unlink("/to-file"), 0);
}

TEST_F(FuseOperations, TruncateOfRootFileSystemNodeIsInvalid)
{
    EXPECT_EQ(frontend_truncate("/", 0, nullptr), -EINVAL);
}

struct open_case {
    int host_flags;
    uint32_t kernel_open_mode;
    const char* contents_after;
};

class OpenOfFile : public FuseOperations, public testing::WithParamInterface<open_case> {};

TEST_P(OpenOfFile, HandsTheKernelItsOwnOpenModeBits)
{
    memory_volume::state().file_contents = "kept";
    fuse_file_info info = {};
    info.flags = GetParam().host_flags;
    EXPECT_EQ(frontend_open("/myfs/file", &info), 0);
    EXPECT_EQ(memory_volume::state().last_open_mode, GetParam().kernel_open_mode);
    EXPECT_EQ(memory_volume::state().file_contents, GetParam().contents_after);
}

INSTANTIATE_TEST_SUITE_P(
    HostFlags, OpenOfFile,
    testing::Values(open_case{O_RDONLY, fssh::FSSH_O_RDONLY, "kept"},
                    open_case{O_WRONLY | O_APPEND, fssh::FSSH_O_WRONLY | fssh::FSSH_O_APPEND,
                              "kept"},
                    open_case{O_WRONLY | O_TRUNC, fssh::FSSH_O_WRONLY | fssh::FSSH_O_TRUNC, ""},
                    open_case{O_RDWR | 0100000, fssh::FSSH_O_RDWR, "kept"}));

TEST_F(FuseOperations, OpenFailuresAreReported)
{
    fuse_file_info info = {};
    info.flags = O_RDONLY;
    EXPECT_EQ(frontend_open("/myfs/missing", &info), -ENOENT);
    info.flags = O_WRONLY;
    EXPECT_EQ(frontend_open("/myfs", &info), -EISDIR);
}

TEST_F(FuseOperations, ReadAndWriteTransferAtTheOffset)
{
    memory_volume::state().file_contents = "hello world";
    EXPECT_EQ(frontend_write("/myfs/file", "XY", 2, 6, nullptr), 2);
    EXPECT_EQ(memory_volume::state().file_contents, "hello XYrld");
    EXPECT_EQ(memory_volume::state().last_open_mode, fssh::FSSH_O_WRONLY);

    char buffer[16] = {};
    EXPECT_EQ(frontend_read("/myfs/file", buffer, 5, 6, nullptr), 5);
    EXPECT_STREQ(buffer, "XYrld");
    EXPECT_EQ(frontend_read("/myfs/file", buffer, sizeof(buffer), 11, nullptr), 0);
    EXPECT_EQ(memory_volume::state().last_open_mode, fssh::FSSH_O_RDONLY);
}

TEST_F(FuseOperations, ReadAndWriteFailuresAreReported)
{
    char buffer[4];
    EXPECT_EQ(frontend_read("/myfs/missing", buffer, sizeof(buffer), 0, nullptr), -ENOENT);
    EXPECT_EQ(frontend_read("/", buffer, sizeof(buffer), 0, nullptr), -EINVAL);
    EXPECT_EQ(frontend_write("/", "x", 1, 0, nullptr), -EISDIR);
}

TEST_F(FuseOperations, StatfsReportsTheMountedVolumeWhateverThePath)
{
    struct statvfs statvfs;
    memset(&statvfs, 0, sizeof(statvfs));
    statvfs.f_files = 12345;
    ASSERT_EQ(frontend_statfs("/", &statvfs), 0);
    EXPECT_EQ(statvfs.f_bsize, 2048u);
    EXPECT_EQ(statvfs.f_frsize, 2048u);
    EXPECT_EQ(statvfs.f_blocks, static_cast<fsblkcnt_t>(memory_volume::TOTAL_BLOCKS));
    EXPECT_EQ(statvfs.f_bfree, static_cast<fsblkcnt_t>(memory_volume::FREE_BLOCKS));
    EXPECT_EQ(statvfs.f_bavail, static_cast<fsblkcnt_t>(memory_volume::FREE_BLOCKS));
    EXPECT_EQ(statvfs.f_files, 12345u);
}

TEST_F(FuseOperations, StatfsFailsWhenTheVolumeInformationCannotBeRead)
{
    memory_volume::state().fail_fs_info = true;
    struct statvfs statvfs = {};
    EXPECT_EQ(frontend_statfs("/myfs", &statvfs), -EIO);
}

TEST_F(FuseOperations, ReaddirLeavesOutEntryWhoseStatFails)
{
    memory_volume::state().file_contents = "12345";
    listing collected;
    ASSERT_EQ(readdir("/myfs", &collected), 0);
    EXPECT_THAT(collected.names, ElementsAre(".", "..", "file"));
    EXPECT_EQ(collected.stats[2].st_size, 5);
    EXPECT_EQ(collected.stats[2].st_ino, static_cast<ino_t>(memory_volume::FILE_ID));
    // ".." of the volume's root is the root file system's root.
    EXPECT_EQ(collected.stats[1].st_dev, static_cast<dev_t>(ROOT_FILE_SYSTEM_DEVICE));
}

TEST_F(FuseOperations, ReaddirOfRootShowsTheMountedVolume)
{
    listing collected;
    ASSERT_EQ(readdir("/", &collected), 0);
    ASSERT_THAT(collected.names, ElementsAre(".", "..", "myfs"));
    EXPECT_EQ(collected.stats[2].st_dev, static_cast<dev_t>(memory_volume_device()));
    EXPECT_TRUE(S_ISDIR(collected.stats[2].st_mode));
}

TEST_F(FuseOperations, ReaddirReportsLinksAsLinks)
{
    ASSERT_EQ(frontend_symlink("myfs", "/to-volume"), 0);
    ASSERT_EQ(frontend_symlink("nowhere", "/dangling"), 0);
    listing collected;
    ASSERT_EQ(readdir("/", &collected), 0);
    ASSERT_THAT(collected.names, ElementsAre(".", "..", "dangling", "myfs", "to-volume"));
    EXPECT_EQ(collected.stats[2].st_mode, S_IFLNK | 0777u);
    EXPECT_EQ(collected.stats[4].st_mode, S_IFLNK | 0777u);
    EXPECT_EQ(collected.stats[4].st_dev, static_cast<dev_t>(ROOT_FILE_SYSTEM_DEVICE));
    EXPECT_EQ(frontend_unlink("/dangling"), 0);
    EXPECT_EQ(frontend_unlink("/to-volume"), 0);
}

TEST_F(FuseOperations, ReaddirStopsWhenTheFillerIsFull)
{
    listing collected;
    collected.capacity = 2;
    EXPECT_EQ(readdir("/myfs", &collected), 0);
    EXPECT_THAT(collected.names, ElementsAre(".", ".."));
}

TEST_F(FuseOperations, ReaddirFailuresAreReported)
{
    listing collected;
    EXPECT_EQ(readdir("/missing", &collected), -ENOENT);
    EXPECT_EQ(readdir("/myfs/file", &collected), -ENOTDIR);
    EXPECT_THAT(collected.names, IsEmpty());
}

TEST_F(FuseOperations, AccessIsCheckedByTheKernel)
{
    EXPECT_EQ(frontend_access("/", R_OK | W_OK | X_OK), 0);
    EXPECT_EQ(frontend_access("/myfs/file", W_OK | X_OK), 0);
    EXPECT_EQ(memory_volume::state().last_access_mode, static_cast<uint32_t>(W_OK | X_OK));
    EXPECT_EQ(frontend_access("/missing", F_OK), -ENOENT);
}

// One operation call with its trace line.
struct traced_operation {
    const char* trace;
    std::function<void()> call;
};

void trace_with_every_operation(const std::function<void(const traced_operation&)>& check)
{
    char buffer[64];
    struct stat stat;
    struct statvfs statvfs;
    fuse_file_info info = {};
    listing collected;
    const traced_operation operations[] = {
        {"##getattr\n", [&] { getattr("/", &stat); }},
        {"##access\n", [] { frontend_access("/", R_OK); }},
        {"##readlink\n", [&] { frontend_readlink("/missing", buffer, sizeof(buffer)); }},
        {"##readdir\n", [&] { readdir("/missing", &collected); }},
        {"##mknod\n", [] { frontend_mknod("/fifo", S_IFIFO | 0644, 0); }},
        {"##mkdir\n", [] { frontend_mkdir("/myfs/file/x", 0755); }},
        {"##symlink\n", [] { frontend_symlink("x", "/myfs/file/x"); }},
        {"##unlink\n", [] { frontend_unlink("/missing"); }},
        {"##rmdir\n", [] { frontend_rmdir("/missing"); }},
        {"##rename\n", [] { frontend_rename("/missing", "/other", 0); }},
        {"##link\n", [] { frontend_link("/missing", "/other"); }},
        {"##chmod\n", [] { frontend_chmod("/missing", 0644, nullptr); }},
        {"##chown\n", [] { frontend_chown("/missing", 0, 0, nullptr); }},
        {"##truncate\n", [] { frontend_truncate("/missing", 0, nullptr); }},
        {"##open\n", [&] { frontend_open("/missing", &info); }},
        {"##read\n", [&] { frontend_read("/missing", buffer, sizeof(buffer), 0, nullptr); }},
        {"##write\n", [] { frontend_write("/missing", "x", 1, 0, nullptr); }},
        {"##statfs\n", [&] { frontend_statfs("/", &statvfs); }},
    };
    for (const traced_operation& operation : operations)
        check(operation);
}

TEST_F(FuseOperations, DebugModeWritesEachOperationsTraceLine)
{
    set_debug_mode(true);
    trace_with_every_operation([](const traced_operation& operation) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        operation.call();
        fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), operation.trace);
        testing::internal::GetCapturedStdout();
    });
}

TEST_F(FuseOperations, WithoutDebugModeNothingIsTraced)
{
    trace_with_every_operation([](const traced_operation& operation) {
        testing::internal::CaptureStderr();
        operation.call();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << operation.trace;
    });
}

TEST_F(FuseOperations, DebugGetattrAlsoPrintsTheRawStatus)
{
    set_debug_mode(true);
    struct stat stat;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    getattr("/", &stat);
    getattr("/missing", &stat);
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "##getattr\n##getattr\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "GETATTR returned: 0\nGETATTR returned: " +
                  std::to_string(fssh::FSSH_NOT_FOUND) + "\n");
}

TEST_F(FuseOperations, DestroySyncsWithoutATraceLine)
{
    set_debug_mode(true);
    testing::internal::CaptureStderr();
    frontend_destroy(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(memory_volume::state().sync_count, 1);
}

TEST(FuseOperationTable, HoldsExactlyTheFrontEndsOperations)
{
    fuse_operations expected = {};
    expected.getattr = frontend_getattr;
    expected.readlink = frontend_readlink;
    expected.mknod = frontend_mknod;
    expected.mkdir = frontend_mkdir;
    expected.unlink = frontend_unlink;
    expected.rmdir = frontend_rmdir;
    expected.symlink = frontend_symlink;
    expected.rename = frontend_rename;
    expected.link = frontend_link;
    expected.chmod = frontend_chmod;
    expected.chown = frontend_chown;
    expected.truncate = frontend_truncate;
    expected.open = frontend_open;
    expected.read = frontend_read;
    expected.write = frontend_write;
    expected.statfs = frontend_statfs;
    expected.readdir = frontend_readdir;
    expected.destroy = frontend_destroy;
    expected.access = frontend_access;

    fuse_operations filled = {};
    filled.release = [](const char*, fuse_file_info*) { return 0; };
    filled.fsync = [](const char*, int, fuse_file_info*) { return 0; };
    filled.utimens = [](const char*, const timespec*, fuse_file_info*) { return 0; };
    fill_operations(&filled);
    EXPECT_EQ(memcmp(&filled, &expected, sizeof(filled)), 0);
}

}  // namespace
}  // namespace wfsmount
