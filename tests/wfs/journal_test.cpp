#include "wfs/journal.h"

#include "block_cache/block_cache.h"
#include "block_cache/cached_block_holder.h"
#include "kernel/debug.h"
#include "tests/wfs/volume_image.h"
#include "wfs/run_array.h"
#include "wfs/transaction.h"
#include "wfs/volume.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using wfs::block_run;
using wfs_test::Bytes;
using wfs_test::MountedVolume;
using wfs_test::pattern;
using wfs_test::VolumeImage;

using namespace wfs_test::small_volume;
// Formatting logged the new bitmap: a clean new volume has its log start and
// end at this position.
constexpr int64_t BASE = LOG_START_BLOCK + 2;
constexpr int64_t DATA = 1000;  // first block the tests change

// Records what the journal tells an observer.
class RecordingObserver : public wfs::TransactionObserver {
public:
    explicit RecordingObserver(std::vector<std::string>* calls, const char* name)
        : calls_(calls), name_(name)
    {
    }
    void OnTransactionDone(bool success) override
    {
        calls_->push_back(name_ + (success ? " done" : " aborted"));
    }
    void OnRemovedFromTransaction() override { calls_->push_back(name_ + " removed"); }

private:
    std::vector<std::string>* calls_;
    std::string name_;
};

// Makes every write to a mounted volume's device fail while it lives: the
// device's host descriptor is replaced by a read-only one of the same image.
class DeviceRefusingWrites {
public:
    DeviceRefusingWrites(int device, const std::string& path)
        : device_(device), saved_(dup(device))
    {
        int read_only = open(path.c_str(), O_RDONLY);
        EXPECT_GE(read_only, 0);
        EXPECT_EQ(dup2(read_only, device_), device_);
        close(read_only);
    }
    ~DeviceRefusingWrites()
    {
        EXPECT_EQ(dup2(saved_, device_), device_);
        close(saved_);
    }
    DeviceRefusingWrites(const DeviceRefusingWrites&) = delete;
    DeviceRefusingWrites& operator=(const DeviceRefusingWrites&) = delete;

private:
    int device_;
    int saved_;
};

class JournalTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(image_.format_status(), fssh::FSSH_OK);
        testing::internal::CaptureStdout();
        volume_ = std::make_unique<MountedVolume>(image_.path());
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(volume_->status(), fssh::FSSH_OK);
    }

    wfs::Volume& volume() { return volume_->volume(); }
    wfs::Journal& journal() { return *volume().GetJournal(); }
    fssh::block_cache* cache() { return volume().BlockCache(); }

    void Change(wfs::Transaction& transaction, int64_t block, uint32_t version)
    {
        ASSERT_TRUE(transaction.IsStarted());
        fssh::CachedBlockHolder holder(cache());
        ASSERT_EQ(holder.SetToWritable(block, transaction.ID()), fssh::FSSH_OK);
        Bytes content = pattern(block, version, BLOCK_SIZE);
        memcpy(holder.WritableData(), content.data(), BLOCK_SIZE);
    }

    // Commits one transaction that gives `count` blocks from `first` `version`.
    fssh::status_code Commit(int64_t first, int64_t count, uint32_t version)
    {
        wfs::Transaction transaction(&volume(), first);
        for (int64_t block = first; block < first + count; block++)
            Change(transaction, block, version);
        return transaction.Done();
    }

    Bytes Cached(int64_t block)
    {
        fssh::CachedBlockHolder holder(cache());
        EXPECT_EQ(holder.SetTo(block), fssh::FSSH_OK);
        return Bytes(holder.Data(), holder.Data() + BLOCK_SIZE);
    }
    Bytes OnDisk(int64_t block) { return image_.ReadBlock(block, BLOCK_SIZE); }
    Bytes LogBlockOnDisk(uint32_t position)
    {
        return OnDisk(LOG_START_BLOCK + position % LOG_SIZE);
    }
    wfs::run_array ArrayHeader(const Bytes& block)
    {
        wfs::run_array header;
        memcpy(&header, block.data(), sizeof(header));
        return header;
    }
    block_run RunOf(const Bytes& array_block, int32_t index)
    {
        block_run run;
        memcpy(&run, array_block.data() + 8 + 8 * index, sizeof(run));
        return run;
    }

    VolumeImage image_{BLOCK_SIZE, SIZE};
    std::unique_ptr<MountedVolume> volume_;
};

TEST_F(JournalTest, LogGeometryFollowsTheSuperBlock)
{
    EXPECT_EQ(journal().LogSize(), LOG_SIZE);
    EXPECT_EQ(journal().MaxTransactionSize(), 251u);
    EXPECT_EQ(journal().LogBlocksFor(0), 0u);
    EXPECT_EQ(journal().LogBlocksFor(1), 2u);
    EXPECT_EQ(journal().LogBlocksFor(126), 127u);
    EXPECT_EQ(journal().LogBlocksFor(127), 129u);
    EXPECT_EQ(journal().LogBlocksFor(300), 303u);
    EXPECT_EQ(journal().InitCheck(), fssh::FSSH_OK);
    EXPECT_EQ(volume().LogStart(), BASE);
    EXPECT_EQ(volume().LogEnd(), BASE);
}

TEST_F(JournalTest, CommittedTransactionReachesTheLogThenItsHomeBlocks)
{
    ASSERT_EQ(Commit(DATA, 5, 1), fssh::FSSH_OK);
    // Kept in memory for the next log write.
    EXPECT_EQ(journal().UnwrittenTransactions(), 1);
    EXPECT_EQ(image_.SuperBlock().log_end, BASE);
    EXPECT_EQ(OnDisk(DATA), Bytes(BLOCK_SIZE, 0));
    EXPECT_EQ(Cached(DATA + 4), pattern(DATA + 4, 1, BLOCK_SIZE));

    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    EXPECT_EQ(journal().UnwrittenTransactions(), 0);
    for (int64_t block = DATA; block < DATA + 5; block++)
        EXPECT_EQ(OnDisk(block), pattern(block, 1, BLOCK_SIZE)) << block;

    // The entry: a run array naming the five blocks, then their contents.
    wfs::disk_super_block super_block = image_.SuperBlock();
    EXPECT_EQ(super_block.log_end, BASE + 6);
    EXPECT_EQ(super_block.log_start, super_block.log_end);
    EXPECT_EQ(super_block.flags, wfs::VOLUME_CLEAN);
    Bytes array = LogBlockOnDisk(BASE);
    EXPECT_EQ(ArrayHeader(array).run_count, 5);
    EXPECT_EQ(ArrayHeader(array).array_max, 127);
    for (int32_t index = 0; index < 5; index++) {
        EXPECT_EQ(RunOf(array, index), block_run::Run(0, static_cast<uint16_t>(DATA + index), 1));
        EXPECT_EQ(LogBlockOnDisk(BASE + 1 + index), pattern(DATA + index, 1, BLOCK_SIZE));
    }
    EXPECT_EQ(RunOf(array, 5), block_run::Empty());
}

TEST_F(JournalTest, AbortedTransactionLeavesNoChange)
{
    ASSERT_EQ(Commit(DATA, 1, 1), fssh::FSSH_OK);
    {
        wfs::Transaction transaction(&volume(), DATA);
        Change(transaction, DATA, 2);
        Change(transaction, DATA + 1, 2);
    }
    EXPECT_EQ(Cached(DATA), pattern(DATA, 1, BLOCK_SIZE));
    EXPECT_EQ(Cached(DATA + 1), Bytes(BLOCK_SIZE, 0));
    // The earlier, unlogged transaction survives the abort.
    EXPECT_EQ(journal().UnwrittenTransactions(), 1);
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    EXPECT_EQ(OnDisk(DATA), pattern(DATA, 1, BLOCK_SIZE));
    EXPECT_EQ(OnDisk(DATA + 1), Bytes(BLOCK_SIZE, 0));
}

TEST_F(JournalTest, AbortOfTheOnlyTransactionEmptiesTheCacheTransaction)
{
    {
        wfs::Transaction transaction(&volume(), DATA);
        Change(transaction, DATA, 2);
    }
    EXPECT_EQ(journal().UnwrittenTransactions(), 0);
    EXPECT_EQ(Cached(DATA), Bytes(BLOCK_SIZE, 0));
    ASSERT_EQ(Commit(DATA + 1, 1, 1), fssh::FSSH_OK);
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    EXPECT_EQ(OnDisk(DATA), Bytes(BLOCK_SIZE, 0));
    EXPECT_EQ(OnDisk(DATA + 1), pattern(DATA + 1, 1, BLOCK_SIZE));
}

TEST_F(JournalTest, NestedTransactionJoinsAndOnlyTheOuterEndCounts)
{
    std::vector<std::string> calls;
    RecordingObserver outer_observer(&calls, "outer");
    RecordingObserver inner_observer(&calls, "inner");
    {
        wfs::Transaction outer(&volume(), DATA);
        outer.AddObserver(&outer_observer);
        Change(outer, DATA, 1);
        {
            wfs::Transaction inner(&volume(), DATA + 1);
            ASSERT_TRUE(inner.IsStarted());
            EXPECT_EQ(inner.ID(), outer.ID());
            inner.AddObserver(&inner_observer);
            Change(inner, DATA + 1, 1);
            EXPECT_EQ(inner.Done(), fssh::FSSH_OK);
            EXPECT_FALSE(inner.IsStarted());
        }
        EXPECT_TRUE(calls.empty());
        EXPECT_EQ(journal().UnwrittenTransactions(), 0);
        // Leaving the scope aborts the outer transaction with the inner one.
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"outer aborted", "outer removed", "inner aborted",
                         "inner removed"}));
    EXPECT_EQ(Cached(DATA), Bytes(BLOCK_SIZE, 0));
    EXPECT_EQ(Cached(DATA + 1), Bytes(BLOCK_SIZE, 0));

    calls.clear();
    {
        wfs::Transaction outer(&volume(), DATA);
        Change(outer, DATA, 3);
        {
            wfs::Transaction inner(&volume(), DATA);
            inner.AddObserver(&inner_observer);
            Change(inner, DATA + 1, 3);
            // An aborted inner transaction also just hands on its observers.
        }
        EXPECT_TRUE(calls.empty());
        EXPECT_EQ(outer.Done(), fssh::FSSH_OK);
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"inner done", "inner removed"}));
    EXPECT_EQ(Cached(DATA + 1), pattern(DATA + 1, 3, BLOCK_SIZE));
}

TEST_F(JournalTest, RemovedObserverHearsOnlyItsRemoval)
{
    std::vector<std::string> calls;
    RecordingObserver observer(&calls, "observer");
    wfs::Transaction transaction(&volume(), DATA);
    transaction.AddObserver(&observer);
    transaction.RemoveObserver(&observer);
    EXPECT_EQ(calls, std::vector<std::string>{"observer removed"});
    EXPECT_EQ(transaction.Done(), fssh::FSSH_OK);
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(JournalTest, ObserversOfATransactionNotRunningEndTheProcess)
{
    std::vector<std::string> calls;
    RecordingObserver observer(&calls, "observer");
    wfs::Transaction transaction;
    EXPECT_EXIT(transaction.AddObserver(&observer), testing::ExitedWithCode(fssh::PANIC_EXIT_STATUS),
        "^Transaction is not running!");
    EXPECT_EXIT(transaction.RemoveObserver(&observer), testing::ExitedWithCode(fssh::PANIC_EXIT_STATUS),
        "^Transaction is not running!");
}

TEST_F(JournalTest, TransactionWithoutJournalDoesNotStart)
{
    wfs::Volume unmounted(nullptr);
    wfs::Transaction transaction;
    EXPECT_EQ(transaction.Start(&unmounted, 0), fssh::FSSH_ERROR);
    EXPECT_FALSE(transaction.IsStarted());
}

TEST_F(JournalTest, SmallTransactionsMergeIntoOneLogWrite)
{
    ASSERT_EQ(Commit(DATA, 2, 1), fssh::FSSH_OK);
    ASSERT_EQ(Commit(DATA + 1, 2, 2), fssh::FSSH_OK);
    ASSERT_EQ(Commit(DATA + 10, 3, 3), fssh::FSSH_OK);
    EXPECT_EQ(journal().UnwrittenTransactions(), 3);
    EXPECT_EQ(image_.SuperBlock().log_end, BASE);

    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    // Six different blocks and one run array in a single entry.
    EXPECT_EQ(image_.SuperBlock().log_end, BASE + 7);
    Bytes array = LogBlockOnDisk(BASE);
    EXPECT_EQ(ArrayHeader(array).run_count, 6);
    EXPECT_EQ(LogBlockOnDisk(BASE + 2), pattern(DATA + 1, 2, BLOCK_SIZE));
    EXPECT_EQ(OnDisk(DATA), pattern(DATA, 1, BLOCK_SIZE));
    EXPECT_EQ(OnDisk(DATA + 1), pattern(DATA + 1, 2, BLOCK_SIZE));
    EXPECT_EQ(OnDisk(DATA + 12), pattern(DATA + 12, 3, BLOCK_SIZE));
}

TEST_F(JournalTest, LargeTransactionIsLoggedAtOnceButHomeBlocksWait)
{
    // 248 blocks and 2 arrays stay below the limit of 251.
    ASSERT_EQ(Commit(DATA, 248, 1), fssh::FSSH_OK);
    EXPECT_EQ(journal().UnwrittenTransactions(), 1);
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    int64_t log_end = image_.SuperBlock().log_end;
    EXPECT_EQ(log_end, BASE + 250);

    ASSERT_EQ(Commit(DATA + 300, 249, 2), fssh::FSSH_OK);
    EXPECT_EQ(journal().UnwrittenTransactions(), 0);
    wfs::disk_super_block super_block = image_.SuperBlock();
    EXPECT_EQ(super_block.log_end, log_end + 251);
    EXPECT_EQ(super_block.log_start, log_end);
    EXPECT_EQ(super_block.flags, wfs::VOLUME_DIRTY);
    EXPECT_EQ(OnDisk(DATA + 300), Bytes(BLOCK_SIZE, 0));
    EXPECT_EQ(journal().UsedLogBlocks(), 251u);
}

TEST_F(JournalTest, TransactionTooLargeForTheLogFailsAndIsAborted)
{
    Bytes before = image_.Contents();
    {
        wfs::Transaction transaction(&volume(), DATA);
        for (int64_t block = DATA; block < DATA + 600; block++)
            Change(transaction, block, 1);
        testing::internal::CaptureStdout();
        EXPECT_EQ(transaction.Done(), fssh::FSSH_EOVERFLOW);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "transaction too large (605 blocks, log size 512)!\n");
        EXPECT_TRUE(transaction.IsStarted());
    }
    EXPECT_EQ(Cached(DATA), Bytes(BLOCK_SIZE, 0));
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    EXPECT_EQ(image_.Contents(), before);
}

TEST_F(JournalTest, LogAlwaysKeepsOneBlockFree)
{
    // 506 blocks and 5 arrays leave one of the 512 log blocks free.
    ASSERT_EQ(Commit(DATA, 506, 1), fssh::FSSH_OK);
    EXPECT_EQ(image_.SuperBlock().log_end, (BASE + 511) % LOG_SIZE);
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    {
        wfs::Transaction transaction(&volume(), DATA);
        for (int64_t block = DATA; block < DATA + 507; block++)
            Change(transaction, block, 2);
        testing::internal::CaptureStdout();
        EXPECT_EQ(transaction.Done(), fssh::FSSH_EOVERFLOW);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "transaction too large (512 blocks, log size 512)!\n");
    }
    EXPECT_EQ(Cached(DATA), pattern(DATA, 1, BLOCK_SIZE));
    EXPECT_EQ(Cached(DATA + 505), pattern(DATA + 505, 1, BLOCK_SIZE));
}

TEST_F(JournalTest, TooLargeTransactionAfterUnloggedOnesAbortsOnlyItself)
{
    ASSERT_EQ(Commit(DATA, 3, 1), fssh::FSSH_OK);
    {
        wfs::Transaction transaction(&volume(), DATA);
        for (int64_t block = DATA + 1; block < DATA + 601; block++)
            Change(transaction, block, 2);
        testing::internal::CaptureStdout();
        EXPECT_EQ(transaction.Done(), fssh::FSSH_EOVERFLOW);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "transaction too large (605 blocks, log size 512)!\n");
    }
    // The finished transaction went to the log on its own.
    EXPECT_EQ(journal().UnwrittenTransactions(), 0);
    EXPECT_EQ(image_.SuperBlock().log_end, BASE + 4);
    EXPECT_EQ(Cached(DATA + 1), pattern(DATA + 1, 1, BLOCK_SIZE));
    EXPECT_EQ(Cached(DATA + 3), Bytes(BLOCK_SIZE, 0));
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    for (int64_t block = DATA; block < DATA + 3; block++)
        EXPECT_EQ(OnDisk(block), pattern(block, 1, BLOCK_SIZE)) << block;
    EXPECT_EQ(OnDisk(DATA + 3), Bytes(BLOCK_SIZE, 0));
}

TEST_F(JournalTest, FailedLargeTransactionAfterUnloggedOnesLeavesTheLogUsable)
{
    // The undone blocks of a failed transaction stay in the cache transaction;
    // 200 finished and 420 more undone blocks could never be logged together.
    ASSERT_EQ(Commit(DATA, 200, 1), fssh::FSSH_OK);
    {
        wfs::Transaction transaction(&volume(), DATA);
        for (int64_t block = DATA + 100; block < DATA + 520; block++)
            Change(transaction, block, 2);
    }
    EXPECT_EQ(Cached(DATA + 150), pattern(DATA + 150, 1, BLOCK_SIZE));
    EXPECT_EQ(Cached(DATA + 250), Bytes(BLOCK_SIZE, 0));
    EXPECT_EQ(image_.SuperBlock().log_end, BASE + 202);
    ASSERT_EQ(Commit(DATA + 1000, 1, 3), fssh::FSSH_OK);
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    EXPECT_EQ(OnDisk(DATA + 199), pattern(DATA + 199, 1, BLOCK_SIZE));
    EXPECT_EQ(OnDisk(DATA + 250), Bytes(BLOCK_SIZE, 0));
    EXPECT_EQ(OnDisk(DATA + 1000), pattern(DATA + 1000, 3, BLOCK_SIZE));
}

TEST_F(JournalTest, OversizedWholeIsSplitAfterTheFinishedTransactions)
{
    // 200 unlogged blocks, then a transaction of 400 more: together they pass
    // the log size, so the first part is logged alone and the second follows.
    ASSERT_EQ(Commit(DATA, 200, 1), fssh::FSSH_OK);
    ASSERT_EQ(journal().UnwrittenTransactions(), 1);
    ASSERT_EQ(Commit(DATA + 1000, 400, 2), fssh::FSSH_OK);
    wfs::disk_super_block super_block = image_.SuperBlock();
    EXPECT_EQ(super_block.log_end, BASE + 202);
    EXPECT_EQ(journal().UnwrittenTransactions(), 1);
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    EXPECT_EQ(image_.SuperBlock().log_end, (BASE + 202 + 404) % LOG_SIZE);
    EXPECT_EQ(OnDisk(DATA + 199), pattern(DATA + 199, 1, BLOCK_SIZE));
    EXPECT_EQ(OnDisk(DATA + 1399), pattern(DATA + 1399, 2, BLOCK_SIZE));
}

TEST_F(JournalTest, FinishedPartLoggedAloneCarriesItsOwnContent)
{
    // 200 unlogged blocks; the next transaction changes 50 of them again and
    // 350 more, so the finished part is logged alone. Its log entry must hold
    // its own content, not the running transaction's later changes.
    ASSERT_EQ(Commit(DATA, 200, 1), fssh::FSSH_OK);
    {
        wfs::Transaction transaction(&volume(), DATA);
        for (int64_t block = DATA + 150; block < DATA + 200; block++)
            Change(transaction, block, 2);
        for (int64_t block = DATA + 1000; block < DATA + 1350; block++)
            Change(transaction, block, 2);
        ASSERT_EQ(transaction.Done(), fssh::FSSH_OK);
    }
    ASSERT_EQ(image_.SuperBlock().log_end, BASE + 202);
    uint32_t position = BASE;
    int32_t logged = 0;
    while (position < BASE + 202) {
        Bytes array = LogBlockOnDisk(position++);
        for (int32_t index = 0; index < ArrayHeader(array).run_count; index++, logged++) {
            int64_t block = RunOf(array, index).start;
            ASSERT_LT(block, DATA + 200);
            ASSERT_EQ(LogBlockOnDisk(position++), pattern(block, 1, BLOCK_SIZE)) << block;
        }
    }
    EXPECT_EQ(logged, 200);

    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    EXPECT_EQ(OnDisk(DATA + 149), pattern(DATA + 149, 1, BLOCK_SIZE));
    EXPECT_EQ(OnDisk(DATA + 150), pattern(DATA + 150, 2, BLOCK_SIZE));
    EXPECT_EQ(OnDisk(DATA + 1349), pattern(DATA + 1349, 2, BLOCK_SIZE));
}

TEST_F(JournalTest, ThreeHundredBlocksTakeThreeRunArrays)
{
    ASSERT_EQ(Commit(DATA, 300, 1), fssh::FSSH_OK);
    EXPECT_EQ(image_.SuperBlock().log_end, BASE + 303);
    EXPECT_EQ(journal().UsedLogBlocks(), 303u);
    uint32_t position = BASE;
    int32_t runs = 0;
    for (int array = 0; array < 3; array++) {
        Bytes block = LogBlockOnDisk(position);
        wfs::run_array header = ArrayHeader(block);
        EXPECT_EQ(header.array_max, 127);
        EXPECT_LE(header.run_count, 126);
        for (int32_t index = 1; index < header.run_count; index++) {
            EXPECT_LT(RunOf(block, index - 1).start, RunOf(block, index).start);
        }
        runs += header.run_count;
        position += 1 + header.run_count;
    }
    EXPECT_EQ(runs, 300);
}

TEST_F(JournalTest, EntryWrapsAroundTheEndOfTheLogArea)
{
    ASSERT_EQ(Commit(DATA, 249, 1), fssh::FSSH_OK);
    ASSERT_EQ(Commit(DATA + 249, 249, 1), fssh::FSSH_OK);
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    ASSERT_EQ(image_.SuperBlock().log_end, BASE + 502);

    ASSERT_EQ(Commit(DATA + 2000, 249, 2), fssh::FSSH_OK);
    wfs::disk_super_block super_block = image_.SuperBlock();
    // 6 blocks up to the end of the log, the other 245 from position 0.
    EXPECT_EQ(super_block.log_start, BASE + 502);
    EXPECT_EQ(super_block.log_end, 251 - (LOG_SIZE - (BASE + 502)));
    Bytes array = LogBlockOnDisk(BASE + 502);
    EXPECT_EQ(ArrayHeader(array).run_count, 126);
    for (int32_t index = 0; index < 126; index++) {
        block_run run = RunOf(array, index);
        ASSERT_GE(run.start, DATA + 2000);
        uint32_t position = (BASE + 503 + index) % LOG_SIZE;
        ASSERT_EQ(LogBlockOnDisk(position), pattern(run.start, 2, BLOCK_SIZE)) << index;
    }
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    super_block = image_.SuperBlock();
    EXPECT_EQ(super_block.log_start, super_block.log_end);
    EXPECT_EQ(OnDisk(DATA + 2248), pattern(DATA + 2248, 2, BLOCK_SIZE));
}

TEST_F(JournalTest, EntryEndingAtTheLogEndLeavesLogEndAtTheLogSize)
{
    ASSERT_EQ(Commit(DATA, 249, 1), fssh::FSSH_OK);  // positions 4 to 254
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    // 254 blocks and 3 arrays fill positions 255 to 511.
    ASSERT_EQ(Commit(DATA + 500, 254, 2), fssh::FSSH_OK);
    EXPECT_EQ(image_.SuperBlock().log_end, LOG_SIZE);
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    ASSERT_EQ(Commit(DATA + 1000, 1, 3), fssh::FSSH_OK);
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    EXPECT_EQ(image_.SuperBlock().log_end, 2);
    EXPECT_EQ(ArrayHeader(LogBlockOnDisk(0)).run_count, 1);
    EXPECT_EQ(LogBlockOnDisk(1), pattern(DATA + 1000, 3, BLOCK_SIZE));
}

TEST_F(JournalTest, LogStartFollowsEntriesAsTheirBlocksReachTheDevice)
{
    ASSERT_EQ(Commit(DATA, 249, 1), fssh::FSSH_OK);         // entry A: positions 4 to 254
    ASSERT_EQ(Commit(DATA + 1000, 249, 2), fssh::FSSH_OK);  // entry B: positions 255 to 505
    wfs::disk_super_block super_block = image_.SuperBlock();
    ASSERT_EQ(super_block.log_start, BASE);
    ASSERT_EQ(super_block.log_end, BASE + 502);
    EXPECT_EQ(journal().UsedLogBlocks(), 502u);

    // B's blocks first: it is not the oldest entry, so the start stays.
    ASSERT_EQ(fssh::block_cache_sync_etc(cache(), DATA + 1000, 249), fssh::FSSH_OK);
    EXPECT_EQ(image_.SuperBlock().log_start, BASE);
    EXPECT_EQ(journal().UsedLogBlocks(), 251u);
    // Then A's: the log is empty and clean again.
    ASSERT_EQ(fssh::block_cache_sync_etc(cache(), DATA, 249), fssh::FSSH_OK);
    super_block = image_.SuperBlock();
    EXPECT_EQ(super_block.log_start, super_block.log_end);
    EXPECT_EQ(super_block.flags, wfs::VOLUME_CLEAN);
    EXPECT_EQ(volume().LogStart(), volume().LogEnd());
    EXPECT_EQ(journal().UsedLogBlocks(), 0u);
}

TEST_F(JournalTest, OldestEntryRetiringMovesTheStartToTheNextEntry)
{
    ASSERT_EQ(Commit(DATA, 249, 1), fssh::FSSH_OK);         // entry A at 4
    ASSERT_EQ(Commit(DATA + 1000, 249, 2), fssh::FSSH_OK);  // entry B at 255
    ASSERT_EQ(fssh::block_cache_sync_etc(cache(), DATA, 249), fssh::FSSH_OK);
    wfs::disk_super_block super_block = image_.SuperBlock();
    EXPECT_EQ(super_block.log_start, BASE + 251);
    EXPECT_EQ(super_block.flags, wfs::VOLUME_DIRTY);
    EXPECT_EQ(volume().LogStart(), BASE + 251);
}

TEST_F(JournalTest, TransactionLoggedBeforeAFailedSuperBlockWriteStaysCommitted)
{
    {
        wfs::Transaction transaction(&volume(), DATA);
        // 249 blocks and 2 arrays reach the limit: the log is written at once.
        for (int64_t block = DATA; block < DATA + 249; block++)
            Change(transaction, block, 1);
        DeviceRefusingWrites refusing(volume().Device(), image_.path());
        testing::internal::CaptureStdout();
        EXPECT_EQ(transaction.Done(), fssh::FSSH_IO_ERROR);
        std::string output = testing::internal::GetCapturedStdout();
        EXPECT_NE(output.find("wfs: could not write log area: "), std::string::npos) << output;
        EXPECT_TRUE(transaction.IsStarted());
        // Leaving the scope cannot undo what already went to the log.
    }
    EXPECT_EQ(Cached(DATA + 248), pattern(DATA + 248, 1, BLOCK_SIZE));
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    for (int64_t block = DATA; block < DATA + 249; block++)
        ASSERT_EQ(OnDisk(block), pattern(block, 1, BLOCK_SIZE)) << block;
    wfs::disk_super_block super_block = image_.SuperBlock();
    EXPECT_EQ(super_block.log_start, super_block.log_end);
    EXPECT_EQ(super_block.flags, wfs::VOLUME_CLEAN);

    // The journal goes on with new transactions.
    ASSERT_EQ(Commit(DATA + 500, 1, 2), fssh::FSSH_OK);
    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    EXPECT_EQ(OnDisk(DATA + 500), pattern(DATA + 500, 2, BLOCK_SIZE));
}

TEST_F(JournalTest, FailedTransactionStaysUndoneWhenLoggingTheFinishedOnesFails)
{
    // As in FailedLargeTransactionAfterUnloggedOnesLeavesTheLogUsable, the
    // abort first logs the 200 finished blocks on their own; here the device
    // refuses that log write.
    ASSERT_EQ(Commit(DATA, 200, 1), fssh::FSSH_OK);
    testing::internal::CaptureStdout();
    {
        DeviceRefusingWrites refusing(volume().Device(), image_.path());
        wfs::Transaction transaction(&volume(), DATA);
        for (int64_t block = DATA + 100; block < DATA + 520; block++)
            Change(transaction, block, 2);
    }
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find("wfs: could not write log area: "), std::string::npos) << output;
    EXPECT_EQ(Cached(DATA + 150), pattern(DATA + 150, 1, BLOCK_SIZE));
    EXPECT_EQ(Cached(DATA + 250), Bytes(BLOCK_SIZE, 0));

    ASSERT_EQ(volume().Sync(), fssh::FSSH_OK);
    for (int64_t block = DATA; block < DATA + 520; block++) {
        ASSERT_EQ(OnDisk(block), block < DATA + 200 ? pattern(block, 1, BLOCK_SIZE)
                                                    : Bytes(BLOCK_SIZE, 0))
            << block;
    }
}

}  // namespace
