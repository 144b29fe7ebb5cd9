// The host descriptor table and its descriptor kinds, reached through the
// fssh_ entry points on real host files, directories and links.

#include "kernel/descriptor_table.h"
#include "kernel/host_file.h"
#include "kernel/open_mode.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>

namespace fssh {
namespace {

using test_support::ScratchFolder;

constexpr uint32_t NO_PERMISSIONS = 0;

class HostDescriptor : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.created());
        write_file("file.txt", "file contents");
        ASSERT_EQ(mkdir(path("dir").c_str(), 0755), 0);
        write_file("dir/inner.txt", "inner contents");
        ASSERT_EQ(symlink(path("file.txt").c_str(), path("link").c_str()), 0);
    }

    std::string path(const std::string& name) const { return folder_ / name; }

    void write_file(const std::string& name, const std::string& contents)
    {
        std::ofstream(path(name)) << contents;
    }

    static std::string read_all(int descriptor)
    {
        char buffer[256];
        ssize_t length = fssh_pread(descriptor, 0, buffer, sizeof(buffer));
        return length < 0 ? "<failed>" : std::string(buffer, static_cast<size_t>(length));
    }

    static ::ino_t host_inode(const std::string& path, bool follow = true)
    {
        struct stat host_stat;
        int result = follow ? stat(path.c_str(), &host_stat) : lstat(path.c_str(), &host_stat);
        EXPECT_EQ(result, 0);
        return host_stat.st_ino;
    }

    static bool is_open_host_fd(int fd) { return fcntl(fd, F_GETFD) >= 0; }

    ScratchFolder folder_;
};

TEST_F(HostDescriptor, HostFileIsEnteredUnderItsHostFd)
{
    int descriptor = fssh_open(path("file.txt").c_str(), FSSH_O_RDONLY, NO_PERMISSIONS);
    ASSERT_GE(descriptor, 0);
    EXPECT_LT(descriptor, FIRST_EMULATED_DESCRIPTOR);
    struct stat host_stat;
    ASSERT_EQ(fstat(descriptor, &host_stat), 0);
    EXPECT_EQ(host_stat.st_ino, host_inode(path("file.txt")));
    EXPECT_EQ(read_all(descriptor), "file contents");

    EXPECT_EQ(fssh_close(descriptor), FSSH_OK);
    EXPECT_FALSE(is_open_host_fd(descriptor));
}

TEST_F(HostDescriptor, DirectoriesAndFollowedLinksAreHostFiles)
{
    int directory = fssh_open(path("dir").c_str(), FSSH_O_RDONLY, NO_PERMISSIONS);
    int link = fssh_open(path("link").c_str(), FSSH_O_RDONLY, NO_PERMISSIONS);
    ASSERT_GE(directory, 0);
    ASSERT_GE(link, 0);
    EXPECT_LT(directory, FIRST_EMULATED_DESCRIPTOR);
    EXPECT_LT(link, FIRST_EMULATED_DESCRIPTOR);
    EXPECT_TRUE(is_open_host_fd(directory));

    kernel_stat stat;
    ASSERT_EQ(fssh_fstat(link, &stat), 0);
    EXPECT_EQ(stat.st_mode & FSSH_S_IFMT, FSSH_S_IFREG);
    EXPECT_EQ(static_cast<::ino_t>(stat.st_ino), host_inode(path("file.txt")));
    EXPECT_EQ(fssh_close(directory), FSSH_OK);
    EXPECT_EQ(fssh_close(link), FSSH_OK);
}

TEST_F(HostDescriptor, OtherKindsTakeTheLowestFreeNumberFromTenThousand)
{
    std::string link = path("link");
    int first = fssh_open(link.c_str(), FSSH_O_RDONLY | FSSH_O_NOTRAVERSE, NO_PERMISSIONS);
    int second = fssh_open(link.c_str(), FSSH_O_RDONLY | FSSH_O_NOFOLLOW, NO_PERMISSIONS);
    int third = fssh_opendirat(-1, path("dir").c_str());
    EXPECT_EQ(first, 10000);
    EXPECT_EQ(second, 10001);
    EXPECT_EQ(third, 10002);

    ASSERT_EQ(fssh_close(second), FSSH_OK);
    int reused = fssh_open(link.c_str(), FSSH_O_NOTRAVERSE, NO_PERMISSIONS);
    EXPECT_EQ(reused, 10001);
    int next = fssh_dup(first);
    EXPECT_EQ(next, 10003);

    for (int descriptor : {first, reused, third, next})
        EXPECT_EQ(fssh_close(descriptor), FSSH_OK);
    // The table is empty again: numbering starts over.
    int again = fssh_open(link.c_str(), FSSH_O_NOTRAVERSE, NO_PERMISSIONS);
    EXPECT_EQ(again, 10000);
    EXPECT_EQ(fssh_close(again), FSSH_OK);
}

TEST_F(HostDescriptor, UnfollowedLinkStandsForTheLinkItself)
{
    int link = fssh_open(path("link").c_str(), FSSH_O_RDONLY | FSSH_O_NOTRAVERSE, NO_PERMISSIONS);
    ASSERT_GE(link, FIRST_EMULATED_DESCRIPTOR);
    kernel_stat stat;
    ASSERT_EQ(fssh_fstat(link, &stat), 0);
    EXPECT_EQ(stat.st_mode & FSSH_S_IFMT, FSSH_S_IFLNK);
    EXPECT_EQ(static_cast<::ino_t>(stat.st_ino), host_inode(path("link"), false));

    // It is not a host file: I/O on it is refused.
    char byte;
    EXPECT_EQ(fssh_pread(link, 0, &byte, 1), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(fssh_read(link, &byte, 1), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(fssh_lseek(link, 0, 0), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);

    // A path relative to it resolves to the link's path, which opens its target.
    int target = fssh_openat(link, "", FSSH_O_RDONLY, NO_PERMISSIONS);
    ASSERT_GE(target, 0);
    EXPECT_EQ(read_all(target), "file contents");
    EXPECT_EQ(fssh_close(target), FSSH_OK);
    EXPECT_EQ(fssh_close(link), FSSH_OK);
}

TEST_F(HostDescriptor, UnknownNumbersAreBadDescriptors)
{
    char byte;
    kernel_stat stat;
    iovec vector = {&byte, 1};
    EXPECT_EQ(fssh_close(4321), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(fssh_dup(4321), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(fssh_fstat(4321, &stat), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(fssh_pwrite(4321, 0, &byte, 1), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    // The vector forms do not use an unknown number as a host fd either:
    // standard input is open, but not entered in the table.
    EXPECT_EQ(fssh_preadv(STDIN_FILENO, 0, &vector, 1), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(fssh_ioctl(4321, IOCTL_IGNORED, nullptr, 0), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
}

TEST_F(HostDescriptor, ClosingTwiceFailsTheSecondTime)
{
    int descriptor = fssh_open(path("file.txt").c_str(), FSSH_O_RDONLY, NO_PERMISSIONS);
    ASSERT_GE(descriptor, 0);
    EXPECT_EQ(fssh_close(descriptor), FSSH_OK);
    EXPECT_EQ(fssh_close(descriptor), FSSH_BAD_FILE_DESCRIPTOR);
}

TEST_F(HostDescriptor, DuplicateOfAHostFileOutlivesTheOriginal)
{
    int original = fssh_open(path("file.txt").c_str(), FSSH_O_RDONLY, NO_PERMISSIONS);
    ASSERT_GE(original, 0);
    int copy = fssh_dup(original);
    ASSERT_GE(copy, 0);
    EXPECT_NE(copy, original);
    EXPECT_LT(copy, FIRST_EMULATED_DESCRIPTOR);
    EXPECT_TRUE(is_open_host_fd(copy));

    EXPECT_EQ(fssh_close(original), FSSH_OK);
    EXPECT_EQ(read_all(copy), "file contents");
    EXPECT_EQ(fssh_close(copy), FSSH_OK);
}

TEST_F(HostDescriptor, MissingFileFailsWithoutCreateAndIsMadeWithIt)
{
    std::string name = path("new.txt");
    EXPECT_EQ(fssh_open(name.c_str(), FSSH_O_RDWR, 0644), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_NOT_FOUND);

    mode_t old_mask = umask(022);
    int descriptor = fssh_open(name.c_str(), FSSH_O_RDWR | FSSH_O_CREAT, FSSH_S_IFREG | 0640);
    umask(old_mask);
    ASSERT_GE(descriptor, 0);
    struct stat host_stat;
    ASSERT_EQ(stat(name.c_str(), &host_stat), 0);
    EXPECT_EQ(host_stat.st_mode & 07777, 0640u);
    EXPECT_EQ(fssh_close(descriptor), FSSH_OK);

    EXPECT_EQ(fssh_open(name.c_str(), FSSH_O_RDWR | FSSH_O_CREAT | FSSH_O_EXCL, 0644), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_FILE_EXISTS);
}

TEST_F(HostDescriptor, TruncateAndAppendReachTheHost)
{
    std::string name = path("file.txt");
    int appending = fssh_open(name.c_str(), FSSH_O_WRONLY | FSSH_O_APPEND, NO_PERMISSIONS);
    ASSERT_GE(appending, 0);
    EXPECT_EQ(fssh_pwrite(appending, 0, "!", 1), 1);
    EXPECT_EQ(fssh_close(appending), FSSH_OK);
    int reading = fssh_open(name.c_str(), FSSH_O_RDONLY, NO_PERMISSIONS);
    EXPECT_EQ(read_all(reading), "file contents!");
    EXPECT_EQ(fssh_close(reading), FSSH_OK);

    int truncating = fssh_open(name.c_str(), FSSH_O_RDWR | FSSH_O_TRUNC, NO_PERMISSIONS);
    ASSERT_GE(truncating, 0);
    EXPECT_EQ(read_all(truncating), "");
    EXPECT_EQ(fssh_close(truncating), FSSH_OK);
}

TEST_F(HostDescriptor, PathsRelativeToADirectoryResolveThroughItsRecordedPath)
{
    int directory = fssh_open(path("dir").c_str(), FSSH_O_RDONLY, NO_PERMISSIONS);
    ASSERT_GE(directory, 0);
    int inner = fssh_openat(directory, "inner.txt", FSSH_O_RDONLY, NO_PERMISSIONS);
    ASSERT_GE(inner, 0);
    EXPECT_EQ(read_all(inner), "inner contents");

    // A regular file has no recorded path to resolve against.
    EXPECT_EQ(fssh_openat(inner, "x", FSSH_O_RDONLY, NO_PERMISSIONS), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_NOT_A_DIRECTORY);
    // An absolute path ignores the descriptor.
    int absolute = fssh_openat(inner, path("file.txt").c_str(), FSSH_O_RDONLY, NO_PERMISSIONS);
    EXPECT_EQ(read_all(absolute), "file contents");
    EXPECT_EQ(fssh_openat(4321, "inner.txt", FSSH_O_RDONLY, NO_PERMISSIONS), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);

    for (int descriptor : {absolute, inner, directory})
        EXPECT_EQ(fssh_close(descriptor), FSSH_OK);
}

TEST_F(HostDescriptor, RelativePathNeverResolvesThroughAPathThatLeadsElsewhere)
{
    int directory = fssh_open(path("dir").c_str(), FSSH_O_RDONLY, NO_PERMISSIONS);
    ASSERT_GE(directory, 0);
    // The recorded path now names another directory.
    ASSERT_EQ(rename(path("dir").c_str(), path("moved").c_str()), 0);
    ASSERT_EQ(mkdir(path("dir").c_str(), 0755), 0);
    write_file("dir/inner.txt", "impostor");

    EXPECT_EQ(fssh_openat(directory, "inner.txt", FSSH_O_RDONLY, NO_PERMISSIONS), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_NOT_A_DIRECTORY);
    EXPECT_EQ(fssh_close(directory), FSSH_OK);
}

std::set<std::string> read_directory(int descriptor)
{
    std::set<std::string> names;
    char name[256];
    int result;
    while ((result = fssh_readdir(descriptor, name, sizeof(name))) == 1)
        names.insert(name);
    EXPECT_EQ(result, 0);
    return names;
}

TEST_F(HostDescriptor, DirectoryStreamListsRewindsAndDuplicatesFromItsPath)
{
    int stream = fssh_opendirat(-1, folder_.path().c_str());
    ASSERT_GE(stream, FIRST_EMULATED_DESCRIPTOR);
    const std::set<std::string> expected = {".", "..", "file.txt", "dir", "link"};
    EXPECT_EQ(read_directory(stream), expected);
    EXPECT_EQ(read_directory(stream), std::set<std::string>{});
    EXPECT_EQ(fssh_rewinddir(stream), 0);
    EXPECT_EQ(read_directory(stream), expected);

    // The copy is opened again from the recorded path: it starts over.
    int copy = fssh_dup(stream);
    ASSERT_GE(copy, FIRST_EMULATED_DESCRIPTOR);
    EXPECT_EQ(read_directory(copy), expected);

    kernel_stat stat;
    ASSERT_EQ(fssh_fstat(copy, &stat), 0);
    EXPECT_EQ(stat.st_mode & FSSH_S_IFMT, FSSH_S_IFDIR);
    int inner = fssh_openat(copy, "dir/inner.txt", FSSH_O_RDONLY, NO_PERMISSIONS);
    EXPECT_EQ(read_all(inner), "inner contents");
    // A directory stream is not a host file.
    EXPECT_EQ(fssh_readdir(inner, nullptr, 0), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);

    for (int descriptor : {inner, copy, stream})
        EXPECT_EQ(fssh_close(descriptor), FSSH_OK);
}

TEST_F(HostDescriptor, HostFdReusedBehindTheTablesBackReplacesTheEntry)
{
    int stale = fssh_open(path("file.txt").c_str(), FSSH_O_RDONLY, NO_PERMISSIONS);
    ASSERT_GE(stale, 0);
    ASSERT_EQ(close(stale), 0);
    int fresh = fssh_open(path("dir/inner.txt").c_str(), FSSH_O_RDONLY, NO_PERMISSIONS);
    ASSERT_EQ(fresh, stale);
    // Replacing the stale entry must not have closed the host fd it shares.
    EXPECT_TRUE(is_open_host_fd(fresh));
    EXPECT_EQ(read_all(fresh), "inner contents");
    EXPECT_EQ(fssh_close(fresh), FSSH_OK);
}

TEST_F(HostDescriptor, ReadAndWriteUseAndAdvanceTheHostPosition)
{
    int descriptor = fssh_open(path("file.txt").c_str(), FSSH_O_RDWR, NO_PERMISSIONS);
    ASSERT_GE(descriptor, 0);
    EXPECT_EQ(fssh_lseek(descriptor, 5, 0), 5);
    EXPECT_EQ(fssh_write(descriptor, "CONTENTS", 8), 8);
    EXPECT_EQ(fssh_lseek(descriptor, 0, 1), 13);
    EXPECT_EQ(fssh_lseek(descriptor, -8, 2), 5);
    char buffer[8];
    EXPECT_EQ(fssh_read(descriptor, buffer, sizeof(buffer)), 8);
    EXPECT_EQ(std::string(buffer, 8), "CONTENTS");
    // Any other whence counts from the start.
    EXPECT_EQ(fssh_lseek(descriptor, 3, 7), 3);
    EXPECT_EQ(fssh_lseek(descriptor, -1, 0), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(fssh_close(descriptor), FSSH_OK);
}

TEST_F(HostDescriptor, StatFollowsLinksAndLstatDoesNot)
{
    kernel_stat stat;
    ASSERT_EQ(fssh_stat(path("link").c_str(), &stat), 0);
    EXPECT_EQ(stat.st_mode & FSSH_S_IFMT, FSSH_S_IFREG);
    EXPECT_EQ(stat.st_size, 13);
    ASSERT_EQ(fssh_lstat(path("link").c_str(), &stat), 0);
    EXPECT_EQ(stat.st_mode & FSSH_S_IFMT, FSSH_S_IFLNK);
    EXPECT_EQ(fssh_stat(path("missing").c_str(), &stat), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_NOT_FOUND);
}

TEST_F(HostDescriptor, UnlinkRemovesTheHostFile)
{
    EXPECT_EQ(fssh_unlink(path("file.txt").c_str()), 0);
    EXPECT_NE(access(path("file.txt").c_str(), F_OK), 0);
    EXPECT_EQ(fssh_unlink(path("file.txt").c_str()), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_NOT_FOUND);
}

// A descriptor kind whose copy claims success but delivers nothing.
class CopylessDescriptor : public Descriptor {
public:
    status_code Close() override { return FSSH_OK; }
    status_code Duplicate(Descriptor** copy) override
    {
        *copy = nullptr;
        return FSSH_OK;
    }
    status_code Stat(bool, struct stat*) override { return FSSH_UNSUPPORTED; }
};

TEST(HostDescriptorDeathTest, DuplicateWithoutACopyEndsTheProcess)
{
    EXPECT_EXIT(
        {
            int number = add_descriptor(std::make_unique<CopylessDescriptor>());
            fssh_dup(number);
        },
        testing::ExitedWithCode(1),
        testing::Eq("debugger() called: Dup() succeeded but descriptor is NULL\n"));
}

}  // namespace
}  // namespace fssh
