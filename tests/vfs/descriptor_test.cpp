// Descriptors and the descriptor calls: slots, access modes, positions,
// closing, duplication, control, node locks, directory reading across
// mounts, and the attribute, index and query descriptor kinds.

#include "kernel/debug.h"
#include "kernel/open_mode.h"
#include "tests/vfs/failing_calloc.h"
#include "tests/vfs/vfs_fixture.h"
#include "vfs/attribute_calls.h"
#include "vfs/descriptor.h"
#include "vfs/descriptor_calls.h"
#include "vfs/entry_calls.h"
#include "vfs/fs_mount.h"
#include "vfs/index_calls.h"
#include "vfs/io_context.h"
#include "vfs/stat_calls.h"
#include "vfs/sync.h"
#include "vfs/write_stat_mask.h"

#include <gmock/gmock.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vfs_test {
namespace {

using namespace fssh;

struct Entry {
    dev_t dev;
    ino_t ino;
    dev_t pdev;
    ino_t pino;
    std::string name;
};

class DescriptorTest : public VfsTest {
protected:
    int Open(const std::string& relative, uint32_t open_mode)
    {
        return kern_open(-1, Path(relative).c_str(), open_mode, 0644);
    }

    // Every entry of the directory, read one call at a time with room for
    // `per_call` entries.
    std::vector<Entry> ReadDir(const std::string& path, uint32_t per_call = 1)
    {
        std::vector<Entry> entries;
        int fd = kern_open_dir(-1, path.c_str());
        EXPECT_GE(fd, 0) << path;
        alignas(8) char buffer[4096];
        for (;;) {
            status_code count = kern_read_dir(fd, reinterpret_cast<kernel_dirent*>(buffer),
                                              sizeof(buffer), per_call);
            EXPECT_GE(count, 0);
            if (count <= 0)
                break;
            size_t offset = 0;
            for (status_code i = 0; i < count; i++) {
                auto* entry = reinterpret_cast<kernel_dirent*>(buffer + offset);
                entries.push_back(
                    {entry->d_dev, entry->d_ino, entry->d_pdev, entry->d_pino, entry->d_name});
                offset += entry->d_reclen;
            }
        }
        EXPECT_EQ(kern_close(fd), FSSH_OK);
        return entries;
    }

    static const Entry* Find(const std::vector<Entry>& entries, const std::string& name)
    {
        for (const Entry& entry : entries)
            if (entry.name == name)
                return &entry;
        return nullptr;
    }

    kernel_stat Stat(const std::string& path)
    {
        kernel_stat stat{};
        EXPECT_EQ(kern_read_stat(-1, path.c_str(), false, &stat, sizeof(stat)), FSSH_OK);
        return stat;
    }
};

TEST_F(DescriptorTest, NewDescriptorsTakeTheLowestFreeSlot)
{
    MakeFile("file");
    int first = Open("file", FSSH_O_RDONLY);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(kern_close(first), FSSH_OK);
    EXPECT_EQ(Open("file", FSSH_O_RDONLY), 0);
    EXPECT_EQ(Open("file", FSSH_O_RDONLY), 1);
    EXPECT_EQ(Open("file", FSSH_O_RDONLY), 2);
    EXPECT_EQ(kern_close(1), FSSH_OK);
    EXPECT_EQ(kern_open_dir(-1, mount_point_.c_str()), 1);
    for (int fd : {0, 1, 2})
        EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(DescriptorTest, FullTableRefusesOpensAndCreatesNothing)
{
    MakeFile("file", "keep");
    std::vector<int> fds;
    for (uint32_t i = 0; i < DEFAULT_FD_TABLE_SIZE; i++) {
        fds.push_back(Open("file", FSSH_O_RDONLY));
        ASSERT_EQ(fds.back(), static_cast<int>(i));
    }
    int opens = volume_->Calls("open");
    EXPECT_EQ(Open("file", FSSH_O_RDONLY), FSSH_TOO_MANY_OPEN_FILES);
    // The open hook ran; its cookie was given back.
    EXPECT_EQ(volume_->Calls("open"), opens + 1);
    // MakeFile's descriptor and this one.
    EXPECT_EQ(volume_->Calls("close"), 2);
    EXPECT_EQ(volume_->Calls("free_cookie"), 2);

    EXPECT_EQ(Open("new", FSSH_O_CREAT | FSSH_O_RDWR), FSSH_TOO_MANY_OPEN_FILES);
    EXPECT_EQ(volume_->FindPath("new"), nullptr);
    // An existing file that a create would merely open is not removed either.
    EXPECT_EQ(Open("file", FSSH_O_CREAT | FSSH_O_RDWR), FSSH_TOO_MANY_OPEN_FILES);
    ASSERT_NE(volume_->FindPath("file"), nullptr);
    EXPECT_EQ(volume_->FindPath("file")->data, "keep");
    EXPECT_EQ(kern_open_attr(fds[0], nullptr, "color", 0, FSSH_O_CREAT | FSSH_O_RDWR),
              FSSH_TOO_MANY_OPEN_FILES);
    EXPECT_TRUE(volume_->FindPath("file")->attributes.empty());
    EXPECT_EQ(kern_open_dir(-1, mount_point_.c_str()), FSSH_TOO_MANY_OPEN_FILES);
    EXPECT_EQ(kern_dup(fds[0]), FSSH_TOO_MANY_OPEN_FILES);

    for (int fd : fds)
        ASSERT_EQ(kern_close(fd), FSSH_OK);
    int fd = Open("new", FSSH_O_CREAT | FSSH_O_RDWR);
    EXPECT_EQ(fd, 0);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(DescriptorTest, CreateWithoutMemoryForItsDescriptorCreatesNothing)
{
    MakeFile("file", "keep");
    int creates = volume_->Calls("create");
    fail_next_calloc(sizeof(file_descriptor));
    EXPECT_EQ(Open("new", FSSH_O_CREAT | FSSH_O_RDWR), FSSH_NO_MEMORY);
    EXPECT_FALSE(calloc_failure_pending());
    EXPECT_EQ(volume_->FindPath("new"), nullptr);
    EXPECT_EQ(volume_->Calls("create"), creates);

    int fd = Open("file", FSSH_O_RDONLY);
    ASSERT_GE(fd, 0);
    fail_next_calloc(sizeof(file_descriptor));
    EXPECT_EQ(kern_open_attr(fd, nullptr, "color", 0, FSSH_O_CREAT | FSSH_O_RDWR),
              FSSH_NO_MEMORY);
    EXPECT_FALSE(calloc_failure_pending());
    EXPECT_TRUE(volume_->FindPath("file")->attributes.empty());

    // A plain open without memory gives its cookie back.
    int closes = volume_->Calls("close");
    int frees = volume_->Calls("free_cookie");
    fail_next_calloc(sizeof(file_descriptor));
    EXPECT_EQ(Open("file", FSSH_O_RDONLY), FSSH_NO_MEMORY);
    EXPECT_EQ(volume_->Calls("close"), closes + 1);
    EXPECT_EQ(volume_->Calls("free_cookie"), frees + 1);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
    EXPECT_EQ(volume_->FindPath("file")->data, "keep");
}

TEST_F(DescriptorTest, CreateWithoutVnodeIsRefusedWithAMessage)
{
    volume_->create_skips_get_vnode = true;
    status_code status = 0;
    std::string output = capture_stdout(
        [&] { status = Open("ghost", FSSH_O_CREAT | FSSH_O_RDWR); });
    EXPECT_EQ(status, FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(output, "vfs: fs_create() returned success but there is no vnode!");
    volume_->create_skips_get_vnode = false;
}

TEST_F(DescriptorTest, CreateReportsTheFileSystemsRefusal)
{
    MakeFile("file");
    EXPECT_EQ(Open("file", FSSH_O_CREAT | FSSH_O_EXCL | FSSH_O_RDWR), FSSH_FILE_EXISTS);
    EXPECT_EQ(Open("none/file", FSSH_O_CREAT | FSSH_O_RDWR), FSSH_NOT_FOUND);
}

TEST_F(DescriptorTest, AccessModeDecidesWhatADescriptorMayDo)
{
    MakeFile("file", "abc");
    char buffer[4];
    int write_only = Open("file", FSSH_O_WRONLY);
    int read_only = Open("file", FSSH_O_RDONLY);
    int read_write = Open("file", FSSH_O_RDWR);
    int directory = kern_open_dir(-1, mount_point_.c_str());

    EXPECT_EQ(kern_read(write_only, 0, buffer, 3), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(kern_write(read_only, 0, "x", 1), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(kern_read(read_write, 0, buffer, 3), 3);
    EXPECT_EQ(kern_write(read_write, 3, "d", 1), 1);
    EXPECT_EQ(kern_write(write_only, 4, "e", 1), 1);
    EXPECT_EQ(kern_read(read_only, 0, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");

    EXPECT_EQ(kern_read(directory, 0, buffer, 1), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(kern_write(directory, 0, "x", 1), FSSH_BAD_FILE_DESCRIPTOR);
    alignas(8) char entry[DIRENT_BUFFER_SIZE];
    EXPECT_EQ(kern_read_dir(read_only, reinterpret_cast<kernel_dirent*>(entry), sizeof(entry), 1),
              FSSH_EOPNOTSUPP);
    EXPECT_EQ(kern_rewind_dir(read_only), FSSH_EOPNOTSUPP);

    for (int fd : {write_only, read_only, read_write, directory})
        EXPECT_EQ(kern_close(fd), FSSH_OK);
    EXPECT_EQ(Open(".", FSSH_O_RDWR), FSSH_IS_A_DIRECTORY);
}

TEST_F(DescriptorTest, UnknownDescriptorNumbersAreBad)
{
    char buffer[4];
    for (int fd : {-1, -5, 3, 127, 128, 1000}) {
        EXPECT_EQ(kern_read(fd, 0, buffer, 1), FSSH_BAD_FILE_DESCRIPTOR) << fd;
        EXPECT_EQ(kern_write(fd, 0, buffer, 1), FSSH_BAD_FILE_DESCRIPTOR) << fd;
        EXPECT_EQ(kern_seek(fd, 0, FSSH_SEEK_SET), FSSH_BAD_FILE_DESCRIPTOR) << fd;
        EXPECT_EQ(kern_close(fd), FSSH_BAD_FILE_DESCRIPTOR) << fd;
        EXPECT_EQ(kern_ioctl(fd, 1, nullptr, 0), FSSH_BAD_FILE_DESCRIPTOR) << fd;
        EXPECT_EQ(kern_dup(fd), FSSH_BAD_FILE_DESCRIPTOR) << fd;
        EXPECT_EQ(kern_fcntl(fd, FSSH_F_GETFL, 0), FSSH_BAD_FILE_DESCRIPTOR) << fd;
        EXPECT_EQ(kern_fsync(fd), FSSH_BAD_FILE_DESCRIPTOR) << fd;
    }
}

TEST_F(DescriptorTest, CurrentPositionAdvancesWithEveryTransfer)
{
    MakeFile("file", "0123456789");
    int fd = Open("file", FSSH_O_RDWR);
    char buffer[16] = {};
    EXPECT_EQ(kern_read(fd, -1, buffer, 4), 4);
    EXPECT_EQ(kern_read(fd, -1, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "4567");
    EXPECT_EQ(kern_seek(fd, 0, FSSH_SEEK_CUR), 8);
    // An explicit position moves the descriptor's position past the bytes.
    EXPECT_EQ(kern_read(fd, 1, buffer, 2), 2);
    EXPECT_EQ(kern_seek(fd, 0, FSSH_SEEK_CUR), 3);
    EXPECT_EQ(kern_write(fd, -1, "abc", 3), 3);
    EXPECT_EQ(volume_->FindPath("file")->data, "012abc6789");
    EXPECT_EQ(kern_read(fd, -1, buffer, 16), 4);
    EXPECT_EQ(kern_read(fd, -1, buffer, 16), 0);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(DescriptorTest, VectorTransfersSumAndStopAtTheFirstFailure)
{
    MakeFile("file");
    int fd = Open("file", FSSH_O_RDWR);
    char one[] = "abc";
    char two[] = "defgh";
    iovec out[] = {{one, 3}, {two, 5}};
    EXPECT_EQ(kern_writev(fd, 0, out, 2), 8);
    EXPECT_EQ(volume_->FindPath("file")->data, "abcdefgh");
    EXPECT_EQ(kern_seek(fd, 0, FSSH_SEEK_CUR), 8);

    char first[2];
    char second[10];
    iovec in[] = {{first, 2}, {second, 10}};
    EXPECT_EQ(kern_readv(fd, 1, in, 2), 7);
    EXPECT_EQ(std::string(first, 2), "bc");
    EXPECT_EQ(std::string(second, 5), "defgh");

    volume_->failures["read"] = FSSH_IO_ERROR;
    EXPECT_EQ(kern_readv(fd, 0, in, 2), FSSH_IO_ERROR);
    volume_->failures.clear();
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

struct SeekCase {
    const char* label;
    off_t start;  // position set first
    off_t offset;
    int whence;
    off_t expected;  // the new position or a status
};

class SeekTest : public DescriptorTest, public testing::WithParamInterface<SeekCase> {};

TEST_P(SeekTest, MovesOrRefusesWithoutMoving)
{
    const SeekCase& test = GetParam();
    MakeFile("file", "0123456789");
    int fd = Open("file", FSSH_O_RDONLY);
    ASSERT_EQ(kern_seek(fd, test.start, FSSH_SEEK_SET), test.start);
    EXPECT_EQ(kern_seek(fd, test.offset, test.whence), test.expected);
    off_t now = test.expected >= 0 ? test.expected : test.start;
    EXPECT_EQ(kern_seek(fd, 0, FSSH_SEEK_CUR), now);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SeekTest,
    testing::Values(SeekCase{"Set", 0, 5, FSSH_SEEK_SET, 5},
                    SeekCase{"SetBeyondTheEnd", 0, int64_t{1} << 40, FSSH_SEEK_SET,
                             int64_t{1} << 40},
                    SeekCase{"Current", 4, 3, FSSH_SEEK_CUR, 7},
                    SeekCase{"CurrentBack", 4, -4, FSSH_SEEK_CUR, 0},
                    SeekCase{"CurrentBeforeTheStart", 4, -5, FSSH_SEEK_CUR,
                             FSSH_INVALID_ARGUMENT},
                    SeekCase{"End", 0, -3, FSSH_SEEK_END, 7},
                    SeekCase{"EndBeforeTheStart", 0, -11, FSSH_SEEK_END, FSSH_INVALID_ARGUMENT},
                    SeekCase{"CurrentOverflow", INT64_MAX - 5, 6, FSSH_SEEK_CUR, FSSH_EOVERFLOW},
                    SeekCase{"CurrentToTheLargest", INT64_MAX - 5, 5, FSSH_SEEK_CUR, INT64_MAX},
                    SeekCase{"EndOverflow", 0, INT64_MAX - 9, FSSH_SEEK_END, FSSH_EOVERFLOW},
                    SeekCase{"NegativeSet", 3, -1, FSSH_SEEK_SET, FSSH_INVALID_ARGUMENT},
                    SeekCase{"UnknownWhence", 3, 0, 3, FSSH_INVALID_ARGUMENT}),
    [](const testing::TestParamInfo<SeekCase>& info) { return info.param.label; });

TEST_F(DescriptorTest, SeekToTheEndOfAnEmptyFileMinusOneIsRefused)
{
    MakeFile("empty");
    int fd = Open("empty", FSSH_O_RDONLY);
    EXPECT_EQ(kern_seek(fd, -1, FSSH_SEEK_END), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(kern_seek(fd, 0, FSSH_SEEK_END), 0);
    volume_->failures["read_stat"] = FSSH_IO_ERROR;
    EXPECT_EQ(kern_seek(fd, 0, FSSH_SEEK_END), FSSH_IO_ERROR);
    volume_->failures.clear();
    EXPECT_EQ(kern_close(fd), FSSH_OK);

    int directory = kern_open_dir(-1, mount_point_.c_str());
    EXPECT_EQ(kern_seek(directory, 0, FSSH_SEEK_SET), FSSH_ESPIPE);
    EXPECT_EQ(kern_close(directory), FSSH_OK);
}

TEST_F(DescriptorTest, ClosingTwiceIsABadDescriptor)
{
    MakeFile("file");
    int fd = Open("file", FSSH_O_RDONLY);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
    EXPECT_EQ(kern_close(fd), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(volume_->Calls("close"), 2);  // MakeFile's and this one, once each
}

TEST_F(DescriptorTest, DuplicatesShareOneDescriptorClosedByTheLastSlot)
{
    MakeFile("file", "abcdef");
    int fd = Open("file", FSSH_O_RDONLY);
    int copy = kern_dup(fd);
    EXPECT_EQ(copy, fd + 1);
    char buffer[2];
    EXPECT_EQ(kern_read(fd, -1, buffer, 2), 2);
    EXPECT_EQ(kern_seek(copy, 0, FSSH_SEEK_CUR), 2);  // one position for both

    int closes = volume_->Calls("close");
    EXPECT_EQ(kern_close(fd), FSSH_OK);
    EXPECT_EQ(volume_->Calls("close"), closes);
    EXPECT_EQ(kern_read(copy, -1, buffer, 2), 2);
    EXPECT_EQ(kern_close(copy), FSSH_OK);
    EXPECT_EQ(volume_->Calls("close"), closes + 1);
}

TEST_F(DescriptorTest, Dup2ReplacesTheTargetSlot)
{
    MakeFile("a", "aaa");
    MakeFile("b", "bbb");
    int a = Open("a", FSSH_O_RDONLY);
    int b = Open("b", FSSH_O_RDONLY);
    EXPECT_EQ(kern_dup2(a, a), a);
    int closes = volume_->Calls("close");
    EXPECT_EQ(kern_dup2(a, b), b);
    EXPECT_EQ(volume_->Calls("close"), closes + 1);  // b's descriptor went
    char buffer[3];
    EXPECT_EQ(kern_read(b, 0, buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "aaa");
    EXPECT_EQ(kern_dup2(a, 40), 40);
    EXPECT_EQ(kern_dup2(a, 128), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(kern_dup2(41, 42), FSSH_BAD_FILE_DESCRIPTOR);
    for (int fd : {a, b, 40})
        EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(DescriptorTest, FcntlControlsSlotsAndModeBits)
{
    MakeFile("file");
    int fd = Open("file", FSSH_O_RDWR);
    EXPECT_EQ(kern_fcntl(fd, FSSH_F_GETFD, 0), 0);
    EXPECT_EQ(kern_fcntl(fd, FSSH_F_SETFD, 1), FSSH_OK);
    EXPECT_EQ(kern_fcntl(fd, FSSH_F_GETFD, 0), 1);
    EXPECT_EQ(kern_fcntl(fd, FSSH_F_SETFD, 2), FSSH_OK);
    EXPECT_EQ(kern_fcntl(fd, FSSH_F_GETFD, 0), 0);

    EXPECT_EQ(kern_fcntl(fd, FSSH_F_SETFD, 1), FSSH_OK);
    int copy = kern_fcntl(fd, FSSH_F_DUPFD, 10);
    EXPECT_EQ(copy, 10);
    EXPECT_EQ(kern_fcntl(copy, FSSH_F_GETFD, 0), 0);  // the copy is not marked
    EXPECT_EQ(kern_fcntl(fd, FSSH_F_GETFD, 0), 1);

    EXPECT_EQ(kern_fcntl(fd, FSSH_F_GETFL, 0), static_cast<int>(FSSH_O_RDWR));
    EXPECT_EQ(kern_fcntl(fd, FSSH_F_SETFL, FSSH_O_APPEND | FSSH_O_NONBLOCK | FSSH_O_TRUNC),
              FSSH_OK);
    EXPECT_EQ(volume_->last_set_flags, FSSH_O_APPEND | FSSH_O_NONBLOCK);
    EXPECT_EQ(kern_fcntl(copy, FSSH_F_GETFL, 0),
              static_cast<int>(FSSH_O_RDWR | FSSH_O_APPEND | FSSH_O_NONBLOCK));
    volume_->failures["set_flags"] = FSSH_IO_ERROR;
    EXPECT_EQ(kern_fcntl(fd, FSSH_F_SETFL, 0), FSSH_IO_ERROR);
    EXPECT_EQ(kern_fcntl(fd, FSSH_F_GETFL, 0),
              static_cast<int>(FSSH_O_RDWR | FSSH_O_APPEND | FSSH_O_NONBLOCK));
    volume_->failures.clear();
    EXPECT_EQ(kern_fcntl(fd, 3, 0), FSSH_INVALID_ARGUMENT);

    // Closing a slot clears its mark for the next descriptor there.
    EXPECT_EQ(kern_close(fd), FSSH_OK);
    int again = Open("file", FSSH_O_RDONLY);
    EXPECT_EQ(again, fd);
    EXPECT_EQ(kern_fcntl(again, FSSH_F_GETFD, 0), 0);
    EXPECT_EQ(kern_close(again), FSSH_OK);
    EXPECT_EQ(kern_close(copy), FSSH_OK);
}

TEST_F(DescriptorTest, NodeLockKeepsOtherDescriptorsOut)
{
    MakeFile("file");
    int holder = Open("file", FSSH_O_RDWR);
    int other = Open("file", FSSH_O_RDONLY);
    EXPECT_EQ(kern_lock_node(holder), FSSH_OK);
    EXPECT_EQ(kern_lock_node(other), FSSH_BUSY);
    EXPECT_EQ(kern_unlock_node(other), FSSH_INVALID_ARGUMENT);

    int frees = volume_->Calls("free_cookie");
    EXPECT_EQ(Open("file", FSSH_O_RDONLY), FSSH_BUSY);
    EXPECT_EQ(volume_->Calls("free_cookie"), frees + 1);  // the refused open's cookie

    EXPECT_EQ(kern_unlock_node(holder), FSSH_OK);
    EXPECT_EQ(kern_lock_node(other), FSSH_OK);
    EXPECT_EQ(kern_close(other), FSSH_OK);  // closing drops the lock
    int again = Open("file", FSSH_O_RDONLY);
    EXPECT_GE(again, 0);
    for (int fd : {holder, again})
        EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(DescriptorTest, DescriptorStatReportsTheNode)
{
    MakeFile("file", "1234");
    int fd = Open("file", FSSH_O_RDWR);
    kernel_stat stat;
    memset(&stat, 0x33, sizeof(stat));
    ASSERT_EQ(kern_read_stat(fd, nullptr, false, &stat, sizeof(stat)), FSSH_OK);
    EXPECT_EQ(stat.st_dev, mount_id_);
    EXPECT_EQ(stat.st_ino, volume_->FindPath("file")->id);
    EXPECT_EQ(stat.st_size, 4);
    EXPECT_EQ(stat.st_mtim.tv_nsec, 0);

    kernel_stat change{};
    change.st_size = 2;
    ASSERT_EQ(kern_write_stat(fd, nullptr, false, &change, sizeof(change), FSSH_STAT_SIZE),
              FSSH_OK);
    EXPECT_EQ(volume_->FindPath("file")->data, "12");
    EXPECT_EQ(kern_fsync(fd), FSSH_OK);
    EXPECT_EQ(volume_->fsync_calls[volume_->FindPath("file")->id], 1);
    uint32_t answer = 0;
    EXPECT_EQ(kern_ioctl(fd, 77, &answer, sizeof(answer)), FSSH_OK);
    EXPECT_EQ(answer, 77u);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(DescriptorTest, DirectoryReadsFillInTheParentFields)
{
    MakeDir("d");
    MakeFile("d/x");
    MakeFile("d/y");
    ino_t dir = volume_->FindPath("d")->id;
    for (uint32_t per_call : {1u, 8u}) {
        std::vector<Entry> entries = ReadDir(Path("d"), per_call);
        ASSERT_EQ(entries.size(), 4u) << per_call;
        for (const Entry& entry : entries) {
            EXPECT_EQ(entry.pdev, mount_id_);
            EXPECT_EQ(entry.pino, dir);
        }
        EXPECT_EQ(Find(entries, "x")->ino, volume_->FindPath("d/x")->id);
        EXPECT_EQ(Find(entries, "..")->ino, volume_->root->id);
    }
}

TEST_F(DescriptorTest, DotDotAtAMountRootReportsTheDirectoryAboveTheMountPoint)
{
    kernel_stat above = Stat("/");
    std::vector<Entry> entries = ReadDir(mount_point_);
    const Entry* dot_dot = Find(entries, "..");
    ASSERT_NE(dot_dot, nullptr);
    EXPECT_EQ(dot_dot->dev, above.st_dev);
    EXPECT_EQ(dot_dot->ino, above.st_ino);
    const Entry* dot = Find(entries, ".");
    EXPECT_EQ(dot->dev, mount_id_);
    EXPECT_EQ(dot->ino, volume_->root->id);

    // Several entries per call are fixed up too.
    entries = ReadDir(mount_point_, 8);
    EXPECT_EQ(Find(entries, "..")->dev, above.st_dev);
    EXPECT_EQ(Find(entries, "..")->ino, above.st_ino);
}

TEST_F(DescriptorTest, MountPointEntriesReportTheMountedRoot)
{
    MakeDir("mnt");
    MakeDir("plain");
    dev_t inner = fs_mount(Path("mnt").c_str(), nullptr, "testfs", 0, nullptr);
    ASSERT_GT(inner, 0);
    for (uint32_t per_call : {1u, 8u}) {
        std::vector<Entry> entries = ReadDir(mount_point_, per_call);
        const Entry* mnt = Find(entries, "mnt");
        ASSERT_NE(mnt, nullptr);
        EXPECT_EQ(mnt->dev, inner);
        EXPECT_EQ(mnt->ino, test_volume(inner)->root->id);
        EXPECT_EQ(mnt->pdev, mount_id_);
        EXPECT_EQ(Find(entries, "plain")->dev, mount_id_);
    }
    // And the mounted root's ".." leads back into this volume.
    std::vector<Entry> inside = ReadDir(Path("mnt"));
    const Entry* dot_dot = Find(inside, "..");
    EXPECT_EQ(dot_dot->dev, mount_id_);
    EXPECT_EQ(dot_dot->ino, volume_->root->id);
    EXPECT_EQ(vfs_unmount(Path("mnt").c_str(), 0), FSSH_OK);
}

TEST_F(DescriptorTest, RewindStartsTheDirectoryOver)
{
    int fd = kern_open_dir(-1, mount_point_.c_str());
    alignas(8) char buffer[DIRENT_BUFFER_SIZE];
    auto* entry = reinterpret_cast<kernel_dirent*>(buffer);
    EXPECT_EQ(kern_read_dir(fd, entry, sizeof(buffer), 1), 1);
    EXPECT_EQ(kern_read_dir(fd, entry, sizeof(buffer), 1), 1);
    EXPECT_EQ(kern_read_dir(fd, entry, sizeof(buffer), 1), 0);
    EXPECT_EQ(kern_rewind_dir(fd), FSSH_OK);
    EXPECT_EQ(kern_read_dir(fd, entry, sizeof(buffer), 1), 1);
    EXPECT_STREQ(entry->d_name, ".");
    EXPECT_EQ(kern_read_dir(fd, entry, DIRENT_NAME_OFFSET, 1), FSSH_ENOBUFS);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
    EXPECT_EQ(volume_->Calls("close_dir"), 1);
    EXPECT_EQ(volume_->Calls("free_dir_cookie"), 1);
}

TEST_F(DescriptorTest, ChildContextInheritsWhatIsNotCloseOnExec)
{
    MakeFile("file");
    io_context* parent = get_global_io_context();
    int kept = Open("file", FSSH_O_RDONLY);
    int dropped = Open("file", FSSH_O_RDONLY);
    ASSERT_EQ(kern_fcntl(dropped, FSSH_F_SETFD, 1), FSSH_OK);
    ASSERT_EQ(kern_setcwd(-1, mount_point_.c_str()), FSSH_OK);

    io_context* child = vfs_new_io_context(parent);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->table_size, parent->table_size);
    EXPECT_EQ(child->used_count, 1u);
    EXPECT_EQ(child->fds[kept], parent->fds[kept]);
    EXPECT_EQ(child->fds[dropped], nullptr);
    EXPECT_EQ(child->cwd, parent->cwd);

    // The parent's slot closes; the shared descriptor lives on in the child.
    int closes = volume_->Calls("close");
    EXPECT_EQ(kern_close(kept), FSSH_OK);
    EXPECT_EQ(volume_->Calls("close"), closes);
    vfs_free_io_context(child);
    EXPECT_EQ(volume_->Calls("close"), closes + 1);
    EXPECT_EQ(kern_close(dropped), FSSH_OK);
}

TEST_F(DescriptorTest, AttributesAreReadWrittenAndListedThroughDescriptors)
{
    MakeFile("file");
    int fd = Open("file", FSSH_O_RDONLY);
    int attribute = kern_open_attr(fd, nullptr, "color", 0x43535452,
                                   FSSH_O_CREAT | FSSH_O_RDWR);
    ASSERT_GE(attribute, 0);
    EXPECT_EQ(kern_write(attribute, 0, "blue", 4), 4);
    EXPECT_EQ(kern_seek(attribute, -1, FSSH_SEEK_END), 3);
    char buffer[8];
    EXPECT_EQ(kern_read(attribute, 0, buffer, sizeof(buffer)), 4);
    EXPECT_EQ(std::string(buffer, 4), "blue");
    EXPECT_EQ(kern_close(attribute), FSSH_OK);
    EXPECT_EQ(volume_->Calls("close_attr"), 1);
    EXPECT_EQ(volume_->Calls("free_attr_cookie"), 1);

    attribute = kern_open_attr(-1, Path("file").c_str(), "color", 0, FSSH_O_RDONLY);
    ASSERT_GE(attribute, 0);
    EXPECT_EQ(kern_write(attribute, 0, "x", 1), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(kern_close(attribute), FSSH_OK);
    EXPECT_EQ(kern_open_attr(fd, nullptr, "none", 0, FSSH_O_RDONLY), FSSH_NOT_FOUND);

    int list = kern_open_attr_dir(fd, nullptr);
    ASSERT_GE(list, 0);
    alignas(8) char entry[DIRENT_BUFFER_SIZE];
    EXPECT_EQ(kern_read_dir(list, reinterpret_cast<kernel_dirent*>(entry), sizeof(entry), 1), 1);
    EXPECT_STREQ(reinterpret_cast<kernel_dirent*>(entry)->d_name, "color");
    EXPECT_EQ(kern_read_dir(list, reinterpret_cast<kernel_dirent*>(entry), sizeof(entry), 1), 0);
    EXPECT_EQ(kern_rewind_dir(list), FSSH_OK);
    EXPECT_EQ(kern_read_dir(list, reinterpret_cast<kernel_dirent*>(entry), sizeof(entry), 1), 1);
    EXPECT_EQ(kern_seek(list, 0, FSSH_SEEK_SET), FSSH_ESPIPE);
    EXPECT_EQ(kern_close(list), FSSH_OK);

    EXPECT_EQ(kern_rename_attr(fd, "color", fd, "colour"), FSSH_OK);
    EXPECT_EQ(volume_->FindPath("file")->attributes.count("colour"), 1u);
    EXPECT_EQ(kern_remove_attr(fd, "colour"), FSSH_OK);
    EXPECT_TRUE(volume_->FindPath("file")->attributes.empty());
    EXPECT_EQ(kern_remove_attr(fd, nullptr), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(kern_open_attr(fd, nullptr, std::string(256, 'a').c_str(), 0, FSSH_O_RDONLY),
              FSSH_NAME_TOO_LONG);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(DescriptorTest, AttributeRenameStaysOnOneVolume)
{
    MakeFile("file");
    MakeDir("mnt");
    dev_t inner = fs_mount(Path("mnt").c_str(), nullptr, "testfs", 0, nullptr);
    ASSERT_GT(inner, 0);
    int here = Open("file", FSSH_O_RDONLY);
    int there = kern_open_dir(-1, Path("mnt").c_str());
    EXPECT_EQ(kern_rename_attr(here, "a", there, "b"), FSSH_CROSS_DEVICE_LINK);
    for (int fd : {here, there})
        EXPECT_EQ(kern_close(fd), FSSH_OK);
    EXPECT_EQ(vfs_unmount(Path("mnt").c_str(), 0), FSSH_OK);
}

TEST_F(DescriptorTest, IndexDirectoryAndQueryDescriptorsHoldTheirVolume)
{
    MakeFile("apple");
    MakeFile("banana");
    int indices = kern_open_index_dir(mount_id_);
    ASSERT_GE(indices, 0);
    int query = kern_open_query(mount_id_, "an", 0, -1, 0);
    ASSERT_GE(query, 0);

    alignas(8) char buffer[DIRENT_BUFFER_SIZE];
    auto* entry = reinterpret_cast<kernel_dirent*>(buffer);
    EXPECT_EQ(kern_read_dir(indices, entry, sizeof(buffer), 1), 1);
    EXPECT_STREQ(entry->d_name, "name");
    EXPECT_EQ(kern_read_dir(query, entry, sizeof(buffer), 1), 1);
    EXPECT_STREQ(entry->d_name, "banana");
    EXPECT_EQ(kern_read_dir(query, entry, sizeof(buffer), 1), 0);
    EXPECT_EQ(kern_rewind_dir(query), FSSH_OK);
    EXPECT_EQ(kern_read_dir(query, entry, sizeof(buffer), 1), 1);

    // Neither kind has a node, a position or a stat.
    kernel_stat stat;
    EXPECT_EQ(kern_read_stat(query, nullptr, false, &stat, sizeof(stat)), FSSH_EOPNOTSUPP);
    EXPECT_EQ(kern_write_stat(indices, nullptr, false, &stat, sizeof(stat), 1), FSSH_EOPNOTSUPP);
    EXPECT_EQ(kern_seek(query, 0, FSSH_SEEK_SET), FSSH_ESPIPE);
    EXPECT_EQ(kern_read(query, 0, buffer, 1), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(kern_ioctl(query, 1, nullptr, 0), FSSH_EOPNOTSUPP);
    EXPECT_EQ(kern_fcntl(query, FSSH_F_GETFL, 0), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(kern_fsync(indices), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(kern_read_stat(indices, "x", false, &stat, sizeof(stat)), FSSH_BAD_FILE_DESCRIPTOR);

    // The volume cannot go while they are open.
    EXPECT_EQ(vfs_unmount(mount_point_.c_str(), 0), FSSH_BUSY);
    EXPECT_EQ(kern_close(indices), FSSH_OK);
    EXPECT_EQ(vfs_unmount(mount_point_.c_str(), 0), FSSH_BUSY);
    EXPECT_EQ(kern_close(query), FSSH_OK);
    EXPECT_EQ(volume_->Calls("close_volume_cookie"), 2);
    EXPECT_EQ(volume_->Calls("free_volume_cookie"), 2);

    EXPECT_EQ(kern_open_index_dir(9999), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(kern_open_query(mount_id_, nullptr, 0, -1, 0), FSSH_INVALID_ARGUMENT);
}

TEST_F(DescriptorTest, IndexCallsReachTheVolume)
{
    EXPECT_EQ(kern_create_index(mount_id_, "size", 0x4c4c4e47, 0), FSSH_OK);
    EXPECT_EQ(volume_->Calls("create_index"), 1);
    EXPECT_EQ(kern_remove_index(mount_id_, "size"), FSSH_OK);
    EXPECT_EQ(volume_->Calls("remove_index"), 1);
    kernel_stat stat{};
    EXPECT_EQ(kern_read_index_stat(mount_id_, "four", &stat), FSSH_OK);
    EXPECT_EQ(stat.st_size, 4);
    EXPECT_EQ(kern_create_index(mount_id_, nullptr, 0, 0), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(kern_remove_index(9999, "size"), FSSH_INVALID_ARGUMENT);
    volume_->failures["open_index_dir"] = FSSH_NOT_FOUND;
    EXPECT_EQ(kern_open_index_dir(mount_id_), FSSH_NOT_FOUND);
    volume_->failures.clear();
}

using DescriptorDeathTest = DescriptorTest;

TEST_F(DescriptorDeathTest, RequestIoIsNotAvailable)
{
    EXPECT_EXIT(do_fd_io(0, nullptr), testing::ExitedWithCode(PANIC_EXIT_STATUS),
                "fssh_do_fd_io\\(\\) not yet implemented");
    EXPECT_EXIT(do_iterative_fd_io(0, nullptr, nullptr, nullptr, nullptr),
                testing::ExitedWithCode(PANIC_EXIT_STATUS),
                "fssh_do_iterative_fd_io\\(\\) not yet implemented");
}

}  // namespace
}  // namespace vfs_test
