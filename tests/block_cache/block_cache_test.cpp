// Blocks, reading, writing back, eviction and discarding, checked against
// the bytes of a real image file.

#include "tests/block_cache/cache_on_image.h"

#include "block_cache/cached_block_holder.h"

#include <algorithm>
#include <numeric>
#include <random>

namespace fssh::testing_block_cache {
namespace {

using BlockCache = CacheOnImage;

TEST_F(BlockCache, GetHandsOutTheDeviceContentAndOneBufferPerBlock)
{
    const void* first = block_cache_get(cache_, 7);
    const void* second = block_cache_get(cache_, 7);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(same_bytes(bytes_of(first, kBlockSize), pattern(7, 0, kBlockSize)));

    // Two gets need two puts before the block is idle.
    block_cache_put(cache_, 7);
    EXPECT_EQ(cached_state(cache_, 7)->ref_count, 1);
    EXPECT_EQ(cached_state(cache_, 7)->flags & BLOCK_UNUSED, 0);
    block_cache_put(cache_, 7);
    EXPECT_EQ(cached_state(cache_, 7)->ref_count, 0);
    EXPECT_NE(cached_state(cache_, 7)->flags & BLOCK_UNUSED, 0);
}

TEST_F(BlockCache, PutOfAnUncachedNumberChangesNothing)
{
    block_cache_put(cache_, 12);
    EXPECT_FALSE(IsCached(12));
    EXPECT_TRUE(CacheHolds(12, 0));
}

TEST_F(BlockCache, CachedContentIsNotReadAgainFromTheDevice)
{
    EXPECT_TRUE(CacheHolds(3, 0));
    WriteBehindCache(3, pattern(3, 9, kBlockSize));
    EXPECT_TRUE(CacheHolds(3, 0));
}

TEST_F(BlockCache, WritableBlockWithoutTransactionReachesTheDeviceOnSync)
{
    Change(5, 1, NO_TRANSACTION);
    EXPECT_TRUE(DeviceHolds(5, 0));
    EXPECT_EQ(block_cache_sync(cache_), FSSH_OK);
    EXPECT_TRUE(DeviceHolds(5, 1));
    EXPECT_EQ(cached_state(cache_, 5)->flags & BLOCK_DIRTY, 0);

    // Clean now: a second sync writes nothing.
    WriteBehindCache(5, pattern(5, 2, kBlockSize));
    EXPECT_EQ(block_cache_sync(cache_), FSSH_OK);
    EXPECT_TRUE(DeviceHolds(5, 2));
}

TEST_F(BlockCache, ZeroedBlockIsNotReadFromTheDevice)
{
    // Block kBlockCount lies past the end of the image: reading it would fail.
    CloseCache(false);
    OpenCache(kBlockCount + 1, false);
    void* data = block_cache_get_zeroed(cache_, kBlockCount, NO_TRANSACTION);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(same_bytes(bytes_of(data, kBlockSize), Bytes(kBlockSize, 0)));
    block_cache_put(cache_, kBlockCount);

    void* cached = block_cache_get_zeroed(cache_, 4, NO_TRANSACTION);
    EXPECT_TRUE(same_bytes(bytes_of(cached, kBlockSize), Bytes(kBlockSize, 0)));
    block_cache_put(cache_, 4);
    block_cache_sync_etc(cache_, 4, 1);
    EXPECT_TRUE(same_bytes(DeviceBlock(4), Bytes(kBlockSize, 0)));
}

TEST_F(BlockCache, MarkWritableKeepsNoReference)
{
    const void* data = block_cache_get(cache_, 9);
    ASSERT_EQ(block_cache_mark_writable(cache_, 9, NO_TRANSACTION), FSSH_OK);
    EXPECT_EQ(cached_state(cache_, 9)->ref_count, 1);
    Bytes bytes = pattern(9, 4, kBlockSize);
    std::memcpy(const_cast<void*>(data), bytes.data(), bytes.size());
    block_cache_put(cache_, 9);
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(9, 4));
}

struct SetDirtyCase {
    const char* name;
    bool make_dirty_first;
    bool cached;
    bool dirty;
    status_code expected;
};

void PrintTo(const SetDirtyCase& test, std::ostream* out)
{
    *out << test.name;
}

class SetDirty : public CacheOnImage, public ::testing::WithParamInterface<SetDirtyCase> {};

TEST_P(SetDirty, NeverChangesTheBlock)
{
    const SetDirtyCase& test = GetParam();
    if (test.make_dirty_first)
        Change(2, 1, NO_TRANSACTION);
    else if (test.cached)
        CachedContent(2);
    EXPECT_EQ(block_cache_set_dirty(cache_, 2, test.dirty, NO_TRANSACTION), test.expected);
    if (test.cached) {
        EXPECT_EQ((cached_state(cache_, 2)->flags & BLOCK_DIRTY) != 0, test.make_dirty_first);
    }
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(2, test.make_dirty_first ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetDirty,
    ::testing::Values(SetDirtyCase{"UncachedBlock", false, false, true, FSSH_INVALID_ARGUMENT},
                      SetDirtyCase{"CleanToClean", false, true, false, FSSH_OK},
                      SetDirtyCase{"DirtyToClean", true, true, false, FSSH_OK},
                      SetDirtyCase{"DirtyToDirty", true, true, true, FSSH_OK}),
    [](const ::testing::TestParamInfo<SetDirtyCase>& info) { return info.param.name; });

TEST_F(BlockCache, EvictsTheLeastRecentlyReleasedBlocksAndWritesTheChangedOnes)
{
    // The cache fills to the limit, every third block changed, and the blocks
    // are released in a shuffled order.
    std::vector<int64_t> release_order(CACHED_BLOCK_LIMIT);
    std::iota(release_order.begin(), release_order.end(), 0);
    for (int64_t number : release_order) {
        if (number % 3 == 0)
            ChangeAndHold(number, 1, NO_TRANSACTION);
        else
            block_cache_get(cache_, number);
    }
    std::mt19937 random(20240607);
    std::shuffle(release_order.begin(), release_order.end(), random);
    for (int64_t number : release_order)
        block_cache_put(cache_, number);
    EXPECT_EQ(cache_->allocated_block_count, CACHED_BLOCK_LIMIT);

    // Taking a released block again makes it the most recently released one.
    CachedContent(release_order[0]);

    constexpr int kNewBlocks = 10;
    for (int64_t number = CACHED_BLOCK_LIMIT; number < CACHED_BLOCK_LIMIT + kNewBlocks; number++)
        CachedContent(number);
    EXPECT_EQ(cache_->allocated_block_count, CACHED_BLOCK_LIMIT);

    std::vector<int64_t> evicted(release_order.begin() + 1, release_order.begin() + 1 + kNewBlocks);
    for (int64_t number : release_order) {
        bool was_evicted = std::find(evicted.begin(), evicted.end(), number) != evicted.end();
        EXPECT_EQ(IsCached(number), !was_evicted) << "block " << number;
        // Only the evicted changed blocks reached the device.
        uint32_t device_version = was_evicted && number % 3 == 0 ? 1 : 0;
        EXPECT_TRUE(DeviceHolds(number, device_version)) << "block " << number;
    }
}

TEST_F(BlockCache, PutAboveTheLimitFreesEachBlockItMakesIdleUntilTheLimit)
{
    constexpr int kHeld = CACHED_BLOCK_LIMIT + 6;
    for (int64_t number = 0; number < kHeld; number++)
        ChangeAndHold(number, 1, NO_TRANSACTION);
    EXPECT_EQ(cache_->allocated_block_count, kHeld);

    // Each of the first six puts frees the block it made idle, written first.
    for (int64_t number = 0; number < 10; number++)
        block_cache_put(cache_, number);
    EXPECT_EQ(cache_->allocated_block_count, CACHED_BLOCK_LIMIT);
    for (int64_t number = 0; number < 10; number++) {
        EXPECT_EQ(IsCached(number), number >= 6) << number;
        EXPECT_TRUE(DeviceHolds(number, number < 6 ? 1 : 0)) << number;
    }
    for (int64_t number = 10; number < kHeld; number++)
        block_cache_put(cache_, number);
    EXPECT_EQ(cache_->allocated_block_count, CACHED_BLOCK_LIMIT);
}

TEST_F(BlockCache, AnyPutTrimsIdleBlocksAboveTheLimitOldestFirst)
{
    // Write-back makes blocks idle without trimming: 1030 idle blocks, which
    // became idle in the order of the transaction's block list (most
    // recently joined first, so from the highest number down).
    constexpr int kBlocks = CACHED_BLOCK_LIMIT + 6;
    int32_t id = cache_start_transaction(cache_);
    for (int64_t number = 0; number < kBlocks; number++)
        Change(number, 1, id);
    ASSERT_EQ(cache_end_transaction(cache_, id, nullptr, nullptr), FSSH_OK);
    ASSERT_EQ(cache_write_back_transactions(cache_, id), FSSH_OK);
    EXPECT_EQ(cache_->allocated_block_count, kBlocks);

    CachedContent(500);
    EXPECT_EQ(cache_->allocated_block_count, CACHED_BLOCK_LIMIT);
    for (int64_t number = 0; number < kBlocks; number++) {
        EXPECT_EQ(IsCached(number), number < CACHED_BLOCK_LIMIT) << number;
        EXPECT_TRUE(DeviceHolds(number, 1)) << number;
    }
}

TEST_F(BlockCache, DiscardFreesAnIdleBlockWithoutWritingIt)
{
    Change(4, 1, NO_TRANSACTION);
    block_cache_discard(cache_, 4, 1);
    EXPECT_FALSE(IsCached(4));
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(4, 0));
    EXPECT_TRUE(CacheHolds(4, 0));
}

TEST_F(BlockCache, DiscardOfUncachedNumbersDoesNothing)
{
    CachedContent(1);
    block_cache_discard(cache_, 100, 50);
    EXPECT_TRUE(IsCached(1));
    EXPECT_FALSE(IsCached(100));
}

TEST_F(BlockCache, DiscardedReferencedBlockIsFreedOnItsLastPutAndNeverWritten)
{
    void* data = block_cache_get_writable(cache_, 6, NO_TRANSACTION);
    Bytes bytes = pattern(6, 1, kBlockSize);
    std::memcpy(data, bytes.data(), bytes.size());
    block_cache_get(cache_, 6);

    block_cache_discard(cache_, 6, 1);
    EXPECT_TRUE(IsCached(6));
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(6, 0));
    block_cache_put(cache_, 6);
    EXPECT_TRUE(IsCached(6));
    block_cache_put(cache_, 6);
    EXPECT_FALSE(IsCached(6));
    EXPECT_TRUE(DeviceHolds(6, 0));
}

TEST_F(BlockCache, WritableGetClearsTheDiscardMark)
{
    block_cache_get(cache_, 8);
    block_cache_discard(cache_, 8, 1);
    Change(8, 2, NO_TRANSACTION);
    block_cache_put(cache_, 8);
    EXPECT_TRUE(IsCached(8));
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(8, 2));
}

TEST_F(BlockCache, SyncEtcWritesOnlyItsRangeAndSkipsNumbersPastTheEnd)
{
    for (int64_t number : {kBlockCount - 3, kBlockCount - 2, kBlockCount - 1, int64_t{10}})
        Change(number, 1, NO_TRANSACTION);
    EXPECT_EQ(block_cache_sync_etc(cache_, kBlockCount - 2, 10), FSSH_OK);
    EXPECT_TRUE(DeviceHolds(kBlockCount - 3, 0));
    EXPECT_TRUE(DeviceHolds(kBlockCount - 2, 1));
    EXPECT_TRUE(DeviceHolds(kBlockCount - 1, 1));
    EXPECT_TRUE(DeviceHolds(10, 0));
}

TEST_F(BlockCache, DeleteWritesBackOnlyWhenAllowed)
{
    Change(11, 1, NO_TRANSACTION);
    int32_t id = cache_start_transaction(cache_);
    Change(12, 1, id);
    ASSERT_EQ(cache_end_transaction(cache_, id, nullptr, nullptr), FSSH_OK);

    block_cache_delete(cache_, false);
    cache_ = block_cache_create(device_, kBlockCount, kBlockSize, false);
    EXPECT_TRUE(DeviceHolds(11, 0));
    EXPECT_TRUE(DeviceHolds(12, 0));

    Change(11, 2, NO_TRANSACTION);
    id = cache_start_transaction(cache_);
    Change(12, 2, id);
    ASSERT_EQ(cache_end_transaction(cache_, id, record_hook, this), FSSH_OK);
    block_cache_delete(cache_, true);
    cache_ = nullptr;
    EXPECT_TRUE(DeviceHolds(11, 2));
    EXPECT_TRUE(DeviceHolds(12, 2));
    EXPECT_EQ(hook_calls(), (std::vector<HookCall>{{id, CACHE_EVENT_WRITTEN, this}}));
}

TEST_F(BlockCache, HolderPutsItsBlockBackOnEveryPath)
{
    {
        CachedBlockHolder holder(cache_);
        ASSERT_EQ(holder.SetTo(3), FSSH_OK);
        EXPECT_TRUE(same_bytes(bytes_of(holder.Data(), kBlockSize), pattern(3, 0, kBlockSize)));
        ASSERT_EQ(holder.SetToWritable(4, NO_TRANSACTION), FSSH_OK);
        EXPECT_EQ(cached_state(cache_, 3)->ref_count, 0);
        holder.WritableData()[0] ^= 0xff;
    }
    EXPECT_EQ(cached_state(cache_, 4)->ref_count, 0);

    CachedBlockHolder holder(cache_);
    ASSERT_EQ(holder.SetTo(5), FSSH_OK);
    holder.Detach();
    holder.Unset();
    EXPECT_EQ(cached_state(cache_, 5)->ref_count, 1);
    block_cache_put(cache_, 5);
}

}  // namespace
}  // namespace fssh::testing_block_cache
