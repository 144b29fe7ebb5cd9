// Log replay at mount: logs written by hand into the log area, logs left by a
// process that ended without unmounting, and the crashed fixture volumes.

#include "block_cache/cached_block_holder.h"
#include "tests/wfs/fixture_image.h"
#include "tests/wfs/volume_image.h"
#include "wfs/journal.h"
#include "wfs/run_array.h"
#include "wfs/transaction.h"
#include "wfs/volume.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using wfs::block_run;
using wfs_test::Bytes;
using wfs_test::ImageFile;
using wfs_test::MountedVolume;
using wfs_test::pattern;
using wfs_test::VolumeImage;

using namespace wfs_test::small_volume;
constexpr int64_t DATA = 1000;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Content of a logged block, by its home block number.
using Content = std::function<Bytes(int64_t block)>;

Bytes version_one(int64_t block)
{
    return pattern(block, 1, BLOCK_SIZE);
}

// Builds log entries in the log area of an image, behind the volume's back.
class HandMadeLog {
public:
    explicit HandMadeLog(const ImageFile& image) : image_(image) {}

    // Writes an entry at log position `position` naming `runs`, followed by
    // the content of each listed block; returns the position after it.
    uint32_t WriteEntry(uint32_t position, const std::vector<block_run>& runs,
        const Content& content = version_one, int32_t run_count = -1, int32_t array_max = 127)
    {
        Bytes array(BLOCK_SIZE, 0);
        int32_t count = run_count >= 0 ? run_count : static_cast<int32_t>(runs.size());
        memcpy(array.data(), &count, 4);
        memcpy(array.data() + 4, &array_max, 4);
        for (size_t index = 0; index < runs.size(); index++)
            memcpy(array.data() + 8 + 8 * index, &runs[index], 8);
        WriteLogBlock(position++, array);
        for (const block_run& run : runs) {
            for (int64_t block = run.start; block < int64_t{run.start} + run.length; block++)
                WriteLogBlock(position++, content(block));
        }
        return position % LOG_SIZE;
    }

    void SetLog(int64_t start, int64_t end, int32_t flags = wfs::VOLUME_DIRTY)
    {
        image_.UpdateSuperBlock([=](wfs::disk_super_block& super_block) {
            super_block.log_start = start;
            super_block.log_end = end;
            super_block.flags = flags;
        });
    }

private:
    void WriteLogBlock(uint32_t position, const Bytes& content)
    {
        image_.WriteBlock(LOG_START_BLOCK + position % LOG_SIZE, content);
    }

    const ImageFile& image_;
};

class LogReplayTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(image_.format_status(), fssh::FSSH_OK); }

    // Mounts and unmounts the volume; returns what the mount wrote.
    std::string MountOnce(bool* read_only)
    {
        testing::internal::CaptureStdout();
        MountedVolume volume(image_.path());
        std::string output = testing::internal::GetCapturedStdout();
        EXPECT_EQ(volume.status(), fssh::FSSH_OK);
        *read_only = volume.status() == fssh::FSSH_OK && volume->IsReadOnly();
        return output;
    }

    Bytes OnDisk(int64_t block) { return image_.ReadBlock(block, BLOCK_SIZE); }

    VolumeImage image_{BLOCK_SIZE, SIZE};
    HandMadeLog log_{image_};
};

TEST_F(LogReplayTest, ReplayWritesLoggedBlocksToTheirHomes)
{
    uint32_t end = log_.WriteEntry(10, {block_run::Run(0, DATA, 2), block_run::Run(0, 1500, 1)});
    ASSERT_EQ(end, 14u);
    log_.SetLog(10, end);
    bool read_only;
    std::string output = MountOnce(&read_only);
    EXPECT_FALSE(read_only);
    EXPECT_TRUE(contains(output,
        "wfs: Replay log, disk was not correctly unmounted...\n"
        "wfs: replay block run 0:1000:2 in log at 11!\n"
        "wfs: replay block run 0:1500:1 in log at 13!\n"))
        << output;
    EXPECT_FALSE(contains(output, "marked clean")) << output;
    EXPECT_EQ(OnDisk(DATA), version_one(DATA));
    EXPECT_EQ(OnDisk(DATA + 1), version_one(DATA + 1));
    EXPECT_EQ(OnDisk(1500), version_one(1500));
    EXPECT_EQ(OnDisk(1501), Bytes(BLOCK_SIZE, 0));
    wfs::disk_super_block super_block = image_.SuperBlock();
    EXPECT_EQ(super_block.log_start, 14);
    EXPECT_EQ(super_block.log_end, 14);
    EXPECT_EQ(super_block.flags, wfs::VOLUME_CLEAN);
}

TEST_F(LogReplayTest, EntryWrappingRoundTheLogEndIsReplayed)
{
    uint32_t end = log_.WriteEntry(510, {block_run::Run(0, DATA, 3)});
    ASSERT_EQ(end, 2u);
    uint32_t second_end = log_.WriteEntry(end, {block_run::Run(0, 2000, 1)});
    log_.SetLog(510, second_end);
    bool read_only;
    std::string output = MountOnce(&read_only);
    EXPECT_FALSE(read_only);
    EXPECT_TRUE(contains(output, "wfs: replay block run 0:1000:3 in log at 511!\n")) << output;
    EXPECT_TRUE(contains(output, "wfs: replay block run 0:2000:1 in log at 3!\n")) << output;
    for (int64_t block = DATA; block < DATA + 3; block++)
        EXPECT_EQ(OnDisk(block), version_one(block)) << block;
    EXPECT_EQ(OnDisk(2000), version_one(2000));
    EXPECT_EQ(image_.SuperBlock().log_start, second_end);
}

TEST_F(LogReplayTest, PendingLogOnACleanVolumeIsReplayedWithAWarning)
{
    uint32_t end = log_.WriteEntry(10, {block_run::Run(0, DATA, 1)});
    log_.SetLog(10, end, wfs::VOLUME_CLEAN);
    bool read_only;
    std::string output = MountOnce(&read_only);
    EXPECT_TRUE(contains(output, "wfs: log_start and log_end differ, but disk is marked clean - "
                                 "trying to replay log...\n"))
        << output;
    EXPECT_EQ(OnDisk(DATA), version_one(DATA));
}

TEST_F(LogReplayTest, EqualStartAndEndMeanAnEmptyLogEvenOnADirtyVolume)
{
    log_.WriteEntry(10, {block_run::Run(0, DATA, 1)});
    log_.SetLog(10, 10);
    bool read_only;
    std::string output = MountOnce(&read_only);
    EXPECT_FALSE(contains(output, "Replay")) << output;
    EXPECT_EQ(OnDisk(DATA), Bytes(BLOCK_SIZE, 0));
}

TEST_F(LogReplayTest, ReadOnlyMountDoesNotReplay)
{
    uint32_t end = log_.WriteEntry(10, {block_run::Run(0, DATA, 1)});
    log_.SetLog(10, end);
    Bytes before = image_.Contents();
    testing::internal::CaptureStdout();
    {
        MountedVolume volume(image_.path(), wfs::MOUNT_READ_ONLY);
        ASSERT_EQ(volume.status(), fssh::FSSH_OK);
        EXPECT_TRUE(volume->IsReadOnly());
    }
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(contains(output, "wfs: Replaying log failed, data may be corrupted, volume "
                                 "read-only.\n"))
        << output;
    EXPECT_EQ(image_.Contents(), before);
}

// Logs that must not be replayed: the mount goes on read-only and no block of
// the volume changes.
struct BrokenLog {
    const char* name;
    std::function<int64_t(HandMadeLog&)> write;  // returns the log end
    std::vector<std::string> lines;
};

Bytes bad_super_block(int64_t)
{
    return Bytes(BLOCK_SIZE, 0x5a);
}

const std::string CORRUPT_TEXT = fssh::status_text(fssh::FSSH_CORRUPT_DATA);

const BrokenLog broken_logs[] = {
    {"NoRuns",
        [](HandMadeLog& log) { return log.WriteEntry(10, {block_run::Run(0, DATA, 1)}, version_one, 0); },
        {"run count: 0, array max: 126, max runs: 126\nwfs: Log entry has broken header!\n"}},
    {"RunCountAtCapacity",
        [](HandMadeLog& log) {
            return log.WriteEntry(10, {block_run::Run(0, DATA, 1)}, version_one, 127);
        },
        {"run count: 127, array max: 126, max runs: 126\nwfs: Log entry has broken header!\n"}},
    {"ForeignArrayMaximum",
        [](HandMadeLog& log) {
            return log.WriteEntry(10, {block_run::Run(0, DATA, 1)}, version_one, -1, 126);
        },
        {"run count: 1, array max: 125, max runs: 126\nwfs: Log entry has broken header!\n"}},
    {"RunCrossingTheGroupEnd",
        [](HandMadeLog& log) { return log.WriteEntry(10, {block_run::Run(0, 8190, 3)}); },
        {"wfs: Disk corrupted... switch to read-only mode!\nwfs: *** invalid run(0,8190,3)\n"}},
    {"RunInANegativeGroup",
        [](HandMadeLog& log) { return log.WriteEntry(10, {block_run::Run(-1, 0, 1)}); },
        {"wfs: *** invalid run(-1,0,1)\n"}},
    {"RunBehindTheLastGroup",
        [](HandMadeLog& log) { return log.WriteEntry(10, {block_run::Run(1, 0, 1)}); },
        {"wfs: *** invalid run(1,0,1)\n"}},
    {"RunInTheLogArea",
        [](HandMadeLog& log) { return log.WriteEntry(10, {block_run::Run(0, 100, 2)}); },
        {"wfs: *** invalid run(0,100,2)\n"}},
    {"RunEndingInTheLogArea",
        [](HandMadeLog& log) { return log.WriteEntry(10, {block_run::Run(0, 1, 2)}); },
        {"wfs: *** invalid run(0,1,2)\n"}},
    {"EntryLongerThanThePendingLog",
        [](HandMadeLog& log) {
            log.WriteEntry(10, {block_run::Run(0, DATA, 5)});
            return int64_t{13};
        },
        {"wfs: replaying log entry from 10 failed: " + CORRUPT_TEXT + "\n"}},
    {"InvalidSuperBlockCopy",
        [](HandMadeLog& log) {
            return log.WriteEntry(10, {block_run::Run(0, 0, 1), block_run::Run(0, DATA, 1)},
                [](int64_t block) { return block == 0 ? bad_super_block(block) : version_one(block); });
        },
        {"wfs: Log contains invalid superblock!\n",
            "wfs: replaying log entry from 10 failed: " + CORRUPT_TEXT + "\n"}},
    {"BrokenSecondEntry",
        [](HandMadeLog& log) {
            uint32_t next = log.WriteEntry(10, {block_run::Run(0, DATA, 1)});
            return log.WriteEntry(next, {block_run::Run(0, DATA + 1, 1)}, version_one, 0);
        },
        {"wfs: replaying log entry from 12 failed: "}},
};

class BrokenLogTest : public LogReplayTest, public testing::WithParamInterface<BrokenLog> {};

TEST_P(BrokenLogTest, LeavesEveryBlockAndMountsReadOnly)
{
    int64_t end = GetParam().write(log_);
    log_.SetLog(10, end);
    Bytes before = image_.Contents();
    bool read_only;
    std::string output = MountOnce(&read_only);
    EXPECT_TRUE(read_only);
    for (const std::string& line : GetParam().lines)
        EXPECT_TRUE(contains(output, line)) << output;
    EXPECT_TRUE(contains(output,
        "wfs: Replaying log failed, data may be corrupted, volume read-only.\n"))
        << output;
    EXPECT_FALSE(contains(output, "replay block run")) << output;
    EXPECT_TRUE(image_.Contents() == before);
}

INSTANTIATE_TEST_SUITE_P(Logs, BrokenLogTest, testing::ValuesIn(broken_logs),
    [](const testing::TestParamInfo<BrokenLog>& info) { return info.param.name; });

// Crash recovery: a child process commits transactions and ends without
// unmounting, after the log but before the home blocks reached the device.

// The content every block should have, by block number; blocks not listed keep
// what they had.
using Expected = std::map<int64_t, uint32_t>;

// Gives `count` blocks from `first` `version` in the running transaction.
void change_blocks(wfs::Volume& volume, wfs::Transaction& transaction, int64_t first,
    int64_t count, uint32_t version)
{
    for (int64_t block = first; block < first + count; block++) {
        fssh::CachedBlockHolder holder(volume.BlockCache());
        if (holder.SetToWritable(block, transaction.ID()) != fssh::FSSH_OK)
            _exit(2);
        memcpy(holder.WritableData(), pattern(block, version, BLOCK_SIZE).data(), BLOCK_SIZE);
    }
}

void commit(wfs::Volume& volume, int64_t first, int64_t count, uint32_t version, Expected* expected)
{
    wfs::Transaction transaction(&volume, first);
    change_blocks(volume, transaction, first, count, version);
    for (int64_t block = first; block < first + count; block++)
        (*expected)[block] = version;
    if (transaction.Done() != fssh::FSSH_OK)
        _exit(3);
}

void abort_changes(wfs::Volume& volume, int64_t first, int64_t count, uint32_t version)
{
    wfs::Transaction transaction(&volume, first);
    change_blocks(volume, transaction, first, count, version);
}

// What the child does; returns the expected contents of the changed blocks.
// The last log write wraps round the end of the log area.
Expected crash_after_logging(wfs::Volume& volume)
{
    Expected expected;
    commit(volume, DATA, 249, 1, &expected);        // logged at once, positions 4 to 254
    commit(volume, DATA + 100, 249, 2, &expected);  // positions 255 to 505
    if (volume.Sync() != fssh::FSSH_OK)
        _exit(5);
    commit(volume, DATA + 500, 5, 3, &expected);    // waits for the next log write
    abort_changes(volume, DATA + 500, 10, 9);       // undone
    commit(volume, DATA + 600, 245, 4, &expected);  // logged with the one before, wrapping
    abort_changes(volume, DATA + 600, 300, 9);      // undone
    abort_changes(volume, DATA + 2000, 3, 9);       // undone
    return expected;
}

TEST_F(LogReplayTest, ReplayRestoresTheLastCommittedTransactions)
{
    Expected expected;
    {
        // Which blocks change, worked out once in this process.
        VolumeImage scratch(BLOCK_SIZE, SIZE);
        testing::internal::CaptureStdout();
        MountedVolume volume(scratch.path());
        ASSERT_EQ(volume.status(), fssh::FSSH_OK);
        expected = crash_after_logging(volume.volume());
        testing::internal::GetCapturedStdout();
    }

    Bytes before = image_.Contents();
    fflush(stdout);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        wfs::Volume volume(nullptr);
        if (volume.Mount(image_.path().c_str(), 0) != fssh::FSSH_OK)
            _exit(1);
        crash_after_logging(volume);
        _exit(0);  // no unmount: the home blocks of the last log write stay in memory
    }
    int status;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    // The crash left the log pending and the last transactions' homes old.
    wfs::disk_super_block super_block = image_.SuperBlock();
    EXPECT_EQ(super_block.flags, wfs::VOLUME_DIRTY);
    EXPECT_EQ(super_block.log_start, 506);
    // The last write wrapped round the end of the log area.
    EXPECT_LT(super_block.log_end, super_block.log_start);
    EXPECT_EQ(OnDisk(DATA + 600), Bytes(BLOCK_SIZE, 0));
    EXPECT_EQ(OnDisk(DATA + 500), Bytes(BLOCK_SIZE, 0));
    EXPECT_EQ(OnDisk(DATA + 300), pattern(DATA + 300, 2, BLOCK_SIZE));

    bool read_only;
    std::string output = MountOnce(&read_only);
    EXPECT_FALSE(read_only);
    EXPECT_TRUE(contains(output, "wfs: Replay log, disk was not correctly unmounted...\n"))
        << output;

    // Every block: the last committed version, or what it had before.
    Bytes after = image_.Contents();
    for (int64_t block = LOG_START_BLOCK + LOG_SIZE; block < 8192; block++) {
        auto found = expected.find(block);
        Bytes want = found != expected.end()
            ? pattern(block, found->second, BLOCK_SIZE)
            : Bytes(before.begin() + block * BLOCK_SIZE, before.begin() + (block + 1) * BLOCK_SIZE);
        ASSERT_TRUE(std::equal(want.begin(), want.end(), after.begin() + block * BLOCK_SIZE))
            << "block " << block;
    }
    super_block = image_.SuperBlock();
    EXPECT_EQ(super_block.flags, wfs::VOLUME_CLEAN);
    EXPECT_EQ(super_block.log_start, super_block.log_end);
}

// The crashed fixture volumes: after replay they hold what their clean twins
// hold.
class FixtureReplayTest : public testing::TestWithParam<const char*> {};

TEST_P(FixtureReplayTest, DirtyVolumeReplaysToItsCleanTwin)
{
    std::string name = GetParam();
    wfs_test::FixtureImage dirty(name + "-dirty");
    wfs_test::FixtureImage clean(name);
    ASSERT_TRUE(dirty.unpacked());
    ASSERT_TRUE(clean.unpacked());
    wfs::disk_super_block super_block = ImageFile(dirty.path()).SuperBlock();
    ASSERT_EQ(super_block.flags, wfs::VOLUME_DIRTY);
    ASSERT_NE(super_block.log_start, super_block.log_end);
    Bytes clean_bytes = clean.Contents();
    ASSERT_NE(dirty.Contents(), clean_bytes);

    testing::internal::CaptureStdout();
    {
        MountedVolume volume(dirty.path());
        ASSERT_EQ(volume.status(), fssh::FSSH_OK);
        EXPECT_FALSE(volume->IsReadOnly());
    }
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(contains(output, "wfs: Replay log, disk was not correctly unmounted...\n"))
        << output;

    Bytes replayed = dirty.Contents();
    ASSERT_EQ(replayed.size(), clean_bytes.size());
    uint32_t block_size = super_block.block_size;
    for (size_t block = 0; block < replayed.size() / block_size; block++) {
        ASSERT_TRUE(std::equal(replayed.begin() + block * block_size,
            replayed.begin() + (block + 1) * block_size, clean_bytes.begin() + block * block_size))
            << "block " << block;
    }
}

INSTANTIATE_TEST_SUITE_P(Images, FixtureReplayTest,
    testing::Values("tiny-1k", "dirs-4k", "noindex-8k"),
    [](const testing::TestParamInfo<const char*>& info) {
        return wfs_test::fixture_test_name(info.param);
    });

TEST_P(FixtureReplayTest, CleanVolumeMountsWithoutReplay)
{
    wfs_test::FixtureImage clean(GetParam());
    ASSERT_TRUE(clean.unpacked());
    Bytes before = clean.Contents();
    testing::internal::CaptureStdout();
    {
        MountedVolume volume(clean.path());
        ASSERT_EQ(volume.status(), fssh::FSSH_OK);
        EXPECT_FALSE(volume->IsReadOnly());
    }
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(contains(output, "Replay")) << output;
    EXPECT_FALSE(contains(output, "volume reports")) << output;
    EXPECT_TRUE(clean.Contents() == before);
}

}  // namespace
