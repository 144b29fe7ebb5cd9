// Misuse of the cache ends the process with the cache's message.

#include "tests/block_cache/cache_on_image.h"

#include <functional>

namespace fssh::testing_block_cache {
namespace {

struct MisuseCase {
    const char* name;
    std::function<void(block_cache* cache)> misuse;
    std::string message;
};

void PrintTo(const MisuseCase& test, std::ostream* out)
{
    *out << test.name;
}

class BlockCacheMisuse : public CacheOnImage, public ::testing::WithParamInterface<MisuseCase> {};

TEST_P(BlockCacheMisuse, EndsTheProcessWithItsMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(GetParam().misuse(cache_), ::testing::ExitedWithCode(PANIC_EXIT_STATUS),
                literal(GetParam().message));
}

const char* kLastBlock = "2047";

INSTANTIATE_TEST_SUITE_P(
    Cases, BlockCacheMisuse,
    ::testing::Values(
        MisuseCase{"GetPastTheEnd", [](block_cache* cache) { block_cache_get(cache, 2048); },
                   std::string("get_cached_block: invalid block number 2048 (max ") + kLastBlock
                       + ")"},
        MisuseCase{"GetNegative", [](block_cache* cache) { block_cache_get(cache, -1); },
                   std::string("get_cached_block: invalid block number -1 (max ") + kLastBlock
                       + ")"},
        MisuseCase{"PutPastTheEnd", [](block_cache* cache) { block_cache_put(cache, 4096); },
                   std::string("put_cached_block: invalid block number 4096 (max ") + kLastBlock
                       + ")"},
        MisuseCase{"WritablePastTheEnd",
                   [](block_cache* cache) { block_cache_get_writable(cache, 2048, NO_TRANSACTION); },
                   std::string("get_writable_cached_block: invalid block number 2048 (max ")
                       + kLastBlock + ")"},
        MisuseCase{"MarkWritablePastTheEnd",
                   [](block_cache* cache) { block_cache_mark_writable(cache, 2048, NO_TRANSACTION); },
                   std::string("get_writable_cached_block: invalid block number 2048 (max ")
                       + kLastBlock + ")"},
        MisuseCase{"SyncEtcPastTheEnd",
                   [](block_cache* cache) { block_cache_sync_etc(cache, 2048, 1); },
                   std::string("block_cache_sync_etc: invalid block number 2048 (max ") + kLastBlock
                       + ")"},
        MisuseCase{"SetDirtyOfACleanBlock",
                   [](block_cache* cache) {
                       block_cache_get(cache, 3);
                       block_cache_set_dirty(cache, 3, true, NO_TRANSACTION);
                   },
                   "block_cache_set_dirty(): not yet implemented that way!\n"},
        MisuseCase{"StartWhileTheLastIsOpen",
                   [](block_cache* cache) {
                       cache_start_transaction(cache);
                       cache_start_transaction(cache);
                   },
                   "last transaction (1) still open!\n"},
        MisuseCase{"EndUnknown",
                   [](block_cache* cache) { cache_end_transaction(cache, 5, nullptr, nullptr); },
                   "cache_end_transaction(): invalid transaction ID\n"},
        MisuseCase{"AbortUnknown", [](block_cache* cache) { cache_abort_transaction(cache, 5); },
                   "cache_abort_transaction(): invalid transaction ID\n"},
        MisuseCase{"StartSubUnknown",
                   [](block_cache* cache) { cache_start_sub_transaction(cache, 5); },
                   "cache_start_sub_transaction(): invalid transaction ID 5\n"},
        MisuseCase{"DetachUnknown",
                   [](block_cache* cache) {
                       cache_detach_sub_transaction(cache, 5, nullptr, nullptr);
                   },
                   "cache_detach_sub_transaction(): invalid transaction ID\n"},
        MisuseCase{"AbortSubUnknown",
                   [](block_cache* cache) { cache_abort_sub_transaction(cache, 5); },
                   "cache_abort_sub_transaction(): invalid transaction ID\n"},
        MisuseCase{"WritableInUnknownTransaction",
                   [](block_cache* cache) { block_cache_get_writable(cache, 3, 9); },
                   "get_writable_cached_block(): invalid transaction 9!\n"},
        MisuseCase{"WritableInEndedTransaction",
                   [](block_cache* cache) {
                       int32_t id = cache_start_transaction(cache);
                       cache_end_transaction(cache, id, nullptr, nullptr);
                       block_cache_get_writable(cache, 3, id);
                   },
                   "get_writable_cached_block(): transaction already done!\n"},
        MisuseCase{"WritableBlockBusyInAnotherTransaction",
                   [](block_cache* cache) {
                       int32_t id = cache_start_transaction(cache);
                       block_cache_get_writable(cache, 3, id);
                       block_cache_get_writable(cache, 3, id + 1);
                   },
                   "get_writable_cached_block(): asked to get busy writable block (transaction "
                   "1)\n"},
        MisuseCase{"DiscardOfABlockChangedInTheSubTransaction",
                   [](block_cache* cache) {
                       int32_t id = cache_start_transaction(cache);
                       block_cache_get_writable(cache, 3, id);
                       cache_start_sub_transaction(cache, id);
                       block_cache_get_writable(cache, 3, id);
                       block_cache_discard(cache, 3, 1);
                   },
                   "Discarded block 3 has already been changed in this transaction!"},
        MisuseCase{"DeleteWithAnOpenTransaction",
                   [](block_cache* cache) {
                       int32_t id = cache_start_transaction(cache);
                       block_cache_get_writable(cache, 3, id);
                       block_cache_put(cache, 3);
                       block_cache_delete(cache, true);
                   },
                   "block_cache::FreeBlock(): 3, original 0x"}),
    [](const ::testing::TestParamInfo<MisuseCase>& info) { return info.param.name; });

struct ReadOnlyCase {
    const char* name;
    std::function<void(block_cache* cache)> misuse;
    const char* message;
};

void PrintTo(const ReadOnlyCase& test, std::ostream* out)
{
    *out << test.name;
}

class ReadOnlyCache : public CacheOnImage, public ::testing::WithParamInterface<ReadOnlyCase> {
protected:
    void SetUp() override { OpenCache(kBlockCount, true); }
};

TEST_P(ReadOnlyCache, RefusesWritableRequests)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(GetParam().misuse(cache_), ::testing::ExitedWithCode(PANIC_EXIT_STATUS),
                literal(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadOnlyCache,
    ::testing::Values(
        ReadOnlyCase{"Writable",
                     [](block_cache* cache) { block_cache_get_writable(cache, 1, NO_TRANSACTION); },
                     "tried to get writable block on a read-only cache!"},
        ReadOnlyCase{"Zeroed",
                     [](block_cache* cache) { block_cache_get_zeroed(cache, 1, NO_TRANSACTION); },
                     "tried to get empty writable block on a read-only cache!"},
        ReadOnlyCase{"MarkWritable",
                     [](block_cache* cache) { block_cache_mark_writable(cache, 1, NO_TRANSACTION); },
                     "tried to make block writable on a read-only cache!"}),
    [](const ::testing::TestParamInfo<ReadOnlyCase>& info) { return info.param.name; });

TEST_F(ReadOnlyCache, StillReadsBlocks)
{
    EXPECT_TRUE(CacheHolds(1, 0));
}

using DeviceFailure = CacheOnImage;

TEST_F(DeviceFailure, ShortReadEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CloseCache(false);
    OpenCache(kBlockCount + 10, false);
    EXPECT_EXIT(block_cache_get(cache_, kBlockCount + 3), ::testing::ExitedWithCode(PANIC_EXIT_STATUS),
                literal("could not read block 2051\n"));
}

TEST_F(DeviceFailure, FailedWriteBackEndsTheProcessWithTheErrorText)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A cache that may write over a device opened for reading only.
    block_cache_delete(cache_, false);
    fssh_close(device_);
    device_ = fssh_open(image_->path().c_str(), FSSH_O_RDONLY, 0);
    cache_ = block_cache_create(device_, kBlockCount, kBlockSize, false);
    Change(6, 1, NO_TRANSACTION);
    EXPECT_EXIT(block_cache_sync(cache_), ::testing::ExitedWithCode(PANIC_EXIT_STATUS),
                literal(std::string("could not write back block 6 (")
                        + status_text(FSSH_BAD_FILE_DESCRIPTOR) + ")\n"));
}

void call_the_cache_from_the_hook(int32_t, int32_t, void* data)
{
    block_cache_get(static_cast<block_cache*>(data), 1);
}

using ListenerHook = CacheOnImage;

TEST_F(ListenerHook, CallingTheCacheFromTheHookWouldBlockForever)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    int32_t id = cache_start_transaction(cache_);
    Change(6, 1, id);
    cache_end_transaction(cache_, id, call_the_cache_from_the_hook, cache_);
    EXPECT_EXIT(block_cache_sync(cache_), ::testing::ExitedWithCode(DEBUGGER_EXIT_STATUS),
                literal("Would block on a semaphore without timeout in a single-threaded context!"));
}

}  // namespace
}  // namespace fssh::testing_block_cache
