// Transactions and sub-transactions: what reaches the device, what the cache
// shows, and when the written hook runs.

#include "tests/block_cache/cache_on_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace fssh::testing_block_cache {
namespace {

using CacheTransaction = CacheOnImage;

int tag_a;
int tag_b;

TEST_F(CacheTransaction, IdsStartAtOneAndAreNeverReused)
{
    int32_t first = cache_start_transaction(cache_);
    EXPECT_EQ(first, 1);
    ASSERT_EQ(cache_end_transaction(cache_, first, nullptr, nullptr), FSSH_OK);
    int32_t aborted = cache_start_transaction(cache_);
    EXPECT_EQ(aborted, 2);
    ASSERT_EQ(cache_abort_transaction(cache_, aborted), FSSH_OK);
    int32_t third = cache_start_transaction(cache_);
    EXPECT_EQ(third, 3);
    ASSERT_EQ(cache_start_sub_transaction(cache_, third), FSSH_OK);
    EXPECT_EQ(cache_detach_sub_transaction(cache_, third, nullptr, nullptr), 4);
}

TEST_F(CacheTransaction, OlderVersionReachesTheDeviceAfterANewerTransactionChangedTheBlock)
{
    int32_t older = cache_start_transaction(cache_);
    Change(20, 1, older);
    Change(21, 1, older);
    ASSERT_EQ(cache_end_transaction(cache_, older, record_hook, &tag_a), FSSH_OK);

    int32_t newer = cache_start_transaction(cache_);
    Change(20, 2, newer);
    EXPECT_TRUE(DeviceHolds(20, 0));

    ASSERT_EQ(cache_write_back_transactions(cache_, older), FSSH_OK);
    EXPECT_TRUE(DeviceHolds(20, 1));
    EXPECT_TRUE(DeviceHolds(21, 1));
    EXPECT_TRUE(CacheHolds(20, 2));
    EXPECT_EQ(hook_calls(), (std::vector<HookCall>{{older, CACHE_EVENT_WRITTEN, &tag_a}}));
    EXPECT_EQ(cache_transaction_block_count(cache_, older), FSSH_INVALID_ARGUMENT);

    // The newer transaction's undo copy survived the write-back.
    ASSERT_EQ(cache_abort_transaction(cache_, newer), FSSH_OK);
    EXPECT_TRUE(CacheHolds(20, 1));
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(20, 1));
}

TEST_F(CacheTransaction, SyncWritesThePendingVersionNotTheRunningTransactionsChange)
{
    int32_t older = cache_start_transaction(cache_);
    Change(20, 1, older);
    ASSERT_EQ(cache_end_transaction(cache_, older, record_hook, &tag_a), FSSH_OK);
    int32_t newer = cache_start_transaction(cache_);
    Change(20, 2, newer);

    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(20, 1));
    EXPECT_EQ(hook_calls().size(), 1u);
    // The running transaction's change waits for its own end.
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(20, 1));
    ASSERT_EQ(cache_end_transaction(cache_, newer, record_hook, &tag_b), FSSH_OK);
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(20, 2));
    EXPECT_EQ(hook_calls(), (std::vector<HookCall>{{older, CACHE_EVENT_WRITTEN, &tag_a},
                                                   {newer, CACHE_EVENT_WRITTEN, &tag_b}}));
}

TEST_F(CacheTransaction, EndingWritesTheOlderVersionOfItsBlocksFirst)
{
    int32_t older = cache_start_transaction(cache_);
    Change(30, 1, older);
    ASSERT_EQ(cache_end_transaction(cache_, older, record_hook, &tag_a), FSSH_OK);
    int32_t newer = cache_start_transaction(cache_);
    Change(30, 2, newer);
    ASSERT_EQ(cache_end_transaction(cache_, newer, record_hook, &tag_b), FSSH_OK);

    EXPECT_TRUE(DeviceHolds(30, 1));
    EXPECT_EQ(hook_calls(), (std::vector<HookCall>{{older, CACHE_EVENT_WRITTEN, &tag_a}}));
    EXPECT_EQ(cached_state(cache_, 30)->previous_transaction->id, newer);
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(30, 2));
}

struct HookWitness {
    int host_fd;
    std::vector<int64_t> blocks;
    uint32_t version;
    int calls = 0;
    bool device_complete = false;
};

// Checks, from inside the hook, that every block is already on the device.
void witness_hook(int32_t, int32_t event, void* data)
{
    HookWitness* witness = static_cast<HookWitness*>(data);
    witness->calls++;
    witness->device_complete = event == CACHE_EVENT_WRITTEN;
    for (int64_t number : witness->blocks) {
        Bytes bytes(kBlockSize);
        pread(witness->host_fd, bytes.data(), bytes.size(), number * kBlockSize);
        if (bytes != pattern(number, witness->version, kBlockSize))
            witness->device_complete = false;
    }
}

TEST_F(CacheTransaction, WrittenHookRunsOnceAfterTheLastBlockReachedTheDevice)
{
    HookWitness witness{host_fd_, {40, 41, 42}, 1};
    int32_t id = cache_start_transaction(cache_);
    for (int64_t number : witness.blocks)
        Change(number, 1, id);
    ASSERT_EQ(cache_end_transaction(cache_, id, witness_hook, &witness), FSSH_OK);
    EXPECT_EQ(cache_transaction_block_count(cache_, id), 3);

    block_cache_sync_etc(cache_, 41, 1);
    block_cache_sync_etc(cache_, 40, 1);
    EXPECT_EQ(witness.calls, 0);
    EXPECT_EQ(cache_transaction_block_count(cache_, id), 1);
    block_cache_sync_etc(cache_, 42, 1);
    EXPECT_EQ(witness.calls, 1);
    EXPECT_TRUE(witness.device_complete);

    block_cache_sync(cache_);
    EXPECT_EQ(cache_write_back_transactions(cache_, id), FSSH_OK);
    EXPECT_EQ(witness.calls, 1);
}

TEST_F(CacheTransaction, WrittenHookGetsTheIdTheWrittenEventAndItsData)
{
    int32_t id = cache_start_transaction(cache_);
    Change(50, 1, id);
    ASSERT_EQ(cache_end_transaction(cache_, id, record_hook, &tag_a), FSSH_OK);
    block_cache_sync(cache_);
    EXPECT_EQ(hook_calls(), (std::vector<HookCall>{{id, 0x1, &tag_a}}));
}

TEST_F(CacheTransaction, TransactionEndedWithoutBlocksNeverCallsItsHook)
{
    int32_t id = cache_start_transaction(cache_);
    ASSERT_EQ(cache_end_transaction(cache_, id, record_hook, &tag_a), FSSH_OK);
    EXPECT_EQ(cache_transaction_block_count(cache_, id), 0);
    block_cache_sync(cache_);
    ASSERT_EQ(cache_write_back_transactions(cache_, id), FSSH_OK);
    EXPECT_TRUE(hook_calls().empty());
    EXPECT_EQ(cache_transaction_block_count(cache_, id), FSSH_INVALID_ARGUMENT);
}

TEST_F(CacheTransaction, RegisteredListenersHaveNoEffect)
{
    int32_t id = cache_start_transaction(cache_);
    EXPECT_EQ(cache_register_listener(cache_, id, CACHE_EVENT_IDLE, record_hook, &tag_a), FSSH_OK);
    EXPECT_EQ(cache_register_listener(cache_, id, CACHE_EVENT_WRITTEN | CACHE_EVENT_ABORTED,
                                      record_hook, &tag_b),
              FSSH_OK);
    Change(51, 1, id);
    ASSERT_EQ(cache_end_transaction(cache_, id, nullptr, nullptr), FSSH_OK);
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(51, 1));
    EXPECT_EQ(cache_unregister_listener(cache_, id, record_hook, &tag_b), FSSH_OK);
    EXPECT_TRUE(hook_calls().empty());
}

TEST_F(CacheTransaction, AbortRestoresTheContentBeforeTheTransaction)
{
    // Block 60 is cached before the transaction, 61 is read by it, and 62
    // still owes the device an ended transaction's version.
    CachedContent(60);
    int32_t ended = cache_start_transaction(cache_);
    Change(62, 1, ended);
    ASSERT_EQ(cache_end_transaction(cache_, ended, nullptr, nullptr), FSSH_OK);

    int32_t id = cache_start_transaction(cache_);
    Change(60, 2, id);
    Change(61, 2, id);
    Change(62, 2, id);
    Change(60, 3, id);
    ASSERT_EQ(cache_abort_transaction(cache_, id), FSSH_OK);

    EXPECT_TRUE(CacheHolds(60, 0));
    EXPECT_TRUE(CacheHolds(61, 0));
    EXPECT_TRUE(CacheHolds(62, 1));
    EXPECT_FALSE(cache_transaction_holds_block(cache_, id, 60));
    EXPECT_EQ(cache_transaction_block_count(cache_, id), FSSH_INVALID_ARGUMENT);
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(60, 0));
    EXPECT_TRUE(DeviceHolds(61, 0));
    EXPECT_TRUE(DeviceHolds(62, 1));

    // The aborted id is gone for good; the next transaction gets a new one.
    EXPECT_EQ(cache_start_transaction(cache_), id + 1);
}

TEST_F(CacheTransaction, AbortingASubTransactionRestoresItsBlocksAndKeepsTheMainPart)
{
    int32_t id = cache_start_transaction(cache_);
    Change(70, 1, id);  // main part, changed again in the sub-transaction
    Change(71, 1, id);  // main part only
    ASSERT_EQ(cache_start_sub_transaction(cache_, id), FSSH_OK);
    Change(70, 2, id);
    Change(72, 2, id);  // joins during the sub-transaction
    Change(72, 3, id);
    EXPECT_EQ(cache_transaction_block_count(cache_, id), 3);
    EXPECT_EQ(cache_transaction_main_count(cache_, id), 2);
    EXPECT_EQ(cache_transaction_sub_count(cache_, id), 2);

    ASSERT_EQ(cache_abort_sub_transaction(cache_, id), FSSH_OK);
    EXPECT_TRUE(CacheHolds(70, 1));
    EXPECT_TRUE(CacheHolds(71, 1));
    EXPECT_TRUE(CacheHolds(72, 0));
    EXPECT_TRUE(cache_transaction_holds_block(cache_, id, 72));
    EXPECT_EQ(cache_transaction_sub_count(cache_, id), 0);
    EXPECT_EQ(cache_abort_sub_transaction(cache_, id), FSSH_INVALID_ARGUMENT);

    ASSERT_EQ(cache_end_transaction(cache_, id, record_hook, &tag_a), FSSH_OK);
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(70, 1));
    EXPECT_TRUE(DeviceHolds(71, 1));
    EXPECT_TRUE(DeviceHolds(72, 0));
    EXPECT_EQ(hook_calls().size(), 1u);
}

TEST_F(CacheTransaction, AbortingTheWholeTransactionUndoesItsSubTransactionsToo)
{
    int32_t id = cache_start_transaction(cache_);
    Change(73, 1, id);
    ASSERT_EQ(cache_start_sub_transaction(cache_, id), FSSH_OK);
    Change(73, 2, id);
    Change(74, 2, id);
    ASSERT_EQ(cache_abort_transaction(cache_, id), FSSH_OK);
    EXPECT_TRUE(CacheHolds(73, 0));
    EXPECT_TRUE(CacheHolds(74, 0));
}

TEST_F(CacheTransaction, DetachWritesTheMainPartWithItsMainPartContent)
{
    int32_t id = cache_start_transaction(cache_);
    Change(80, 1, id);  // changed again in the sub-transaction
    Change(81, 1, id);  // unchanged in the sub-transaction
    ASSERT_EQ(cache_start_sub_transaction(cache_, id), FSSH_OK);
    Change(80, 2, id);
    Change(82, 2, id);  // joins during the sub-transaction

    int32_t remainder = cache_detach_sub_transaction(cache_, id, record_hook, &tag_a);
    ASSERT_GT(remainder, id);
    EXPECT_EQ(cache_transaction_block_count(cache_, id), 2);
    EXPECT_EQ(cache_transaction_block_count(cache_, remainder), 2);
    EXPECT_TRUE(cache_transaction_holds_block(cache_, remainder, 80));
    EXPECT_TRUE(cache_transaction_holds_block(cache_, remainder, 82));
    EXPECT_FALSE(cache_transaction_holds_block(cache_, remainder, 81));

    ASSERT_EQ(cache_write_back_transactions(cache_, id), FSSH_OK);
    EXPECT_TRUE(DeviceHolds(80, 1));
    EXPECT_TRUE(DeviceHolds(81, 1));
    EXPECT_TRUE(DeviceHolds(82, 0));
    EXPECT_TRUE(CacheHolds(80, 2));
    EXPECT_TRUE(CacheHolds(82, 2));
    EXPECT_EQ(hook_calls(), (std::vector<HookCall>{{id, CACHE_EVENT_WRITTEN, &tag_a}}));

    // The remainder starts from the main part's final content.
    ASSERT_EQ(cache_abort_transaction(cache_, remainder), FSSH_OK);
    EXPECT_TRUE(CacheHolds(80, 1));
    EXPECT_TRUE(CacheHolds(82, 0));
}

TEST_F(CacheTransaction, DetachedRemainderEndsAndIsWrittenLikeAnyTransaction)
{
    int32_t id = cache_start_transaction(cache_);
    Change(83, 1, id);
    ASSERT_EQ(cache_start_sub_transaction(cache_, id), FSSH_OK);
    Change(83, 2, id);
    Change(84, 2, id);
    int32_t remainder = cache_detach_sub_transaction(cache_, id, record_hook, &tag_a);
    ASSERT_EQ(cache_end_transaction(cache_, remainder, record_hook, &tag_b), FSSH_OK);

    // Ending the remainder wrote the main part's pending version first.
    EXPECT_TRUE(DeviceHolds(83, 1));
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(83, 2));
    EXPECT_TRUE(DeviceHolds(84, 2));
    EXPECT_EQ(hook_calls(), (std::vector<HookCall>{{id, CACHE_EVENT_WRITTEN, &tag_a},
                                                   {remainder, CACHE_EVENT_WRITTEN, &tag_b}}));
}

TEST_F(CacheTransaction, DetachWithoutSubTransactionIsRefused)
{
    int32_t id = cache_start_transaction(cache_);
    EXPECT_EQ(cache_detach_sub_transaction(cache_, id, nullptr, nullptr), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(cache_abort_sub_transaction(cache_, id), FSSH_INVALID_ARGUMENT);
}

// A block taken writable again in the same sub-transaction is counted there
// once, also when it was zeroed fresh or still owes an older version; the
// detached remainder then reaches its written event.
TEST_F(CacheTransaction, BlocksTakenTwiceInASubTransactionAreCountedOnce)
{
    int32_t older = cache_start_transaction(cache_);
    Change(90, 1, older);
    ASSERT_EQ(cache_end_transaction(cache_, older, nullptr, nullptr), FSSH_OK);

    int32_t id = cache_start_transaction(cache_);
    Change(91, 1, id);
    ASSERT_EQ(cache_start_sub_transaction(cache_, id), FSSH_OK);
    Change(90, 2, id);  // still owes the older transaction's version
    Change(90, 3, id);
    ASSERT_NE(block_cache_get_zeroed(cache_, 92, id), nullptr);  // not cached before
    block_cache_put(cache_, 92);
    Change(92, 3, id);
    Change(91, 2, id);
    Change(91, 3, id);
    EXPECT_EQ(cache_transaction_sub_count(cache_, id), 3);

    int32_t remainder = cache_detach_sub_transaction(cache_, id, record_hook, &tag_a);
    EXPECT_EQ(cache_transaction_block_count(cache_, remainder), 3);
    ASSERT_EQ(cache_end_transaction(cache_, remainder, record_hook, &tag_b), FSSH_OK);
    ASSERT_EQ(cache_write_back_transactions(cache_, remainder), FSSH_OK);
    EXPECT_EQ(hook_calls(), (std::vector<HookCall>{{id, CACHE_EVENT_WRITTEN, &tag_a},
                                                   {remainder, CACHE_EVENT_WRITTEN, &tag_b}}));
    for (int64_t number : {90, 91, 92})
        EXPECT_TRUE(DeviceHolds(number, 3)) << number;
}

TEST_F(CacheTransaction, DiscardedBlocksLeaveTheTransactionWithoutReachingTheDevice)
{
    int32_t id = cache_start_transaction(cache_);
    Change(100, 1, id);
    Change(101, 1, id);
    block_cache_discard(cache_, 101, 1);
    EXPECT_TRUE(IsCached(101));
    ASSERT_EQ(cache_start_sub_transaction(cache_, id), FSSH_OK);
    EXPECT_FALSE(IsCached(101));
    EXPECT_EQ(cache_transaction_block_count(cache_, id), 1);

    Change(102, 2, id);
    block_cache_discard(cache_, 102, 1);
    ASSERT_EQ(cache_end_transaction(cache_, id, record_hook, &tag_a), FSSH_OK);
    EXPECT_FALSE(IsCached(102));
    EXPECT_EQ(cache_transaction_block_count(cache_, id), 1);
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(100, 1));
    EXPECT_TRUE(DeviceHolds(101, 0));
    EXPECT_TRUE(DeviceHolds(102, 0));
    EXPECT_EQ(hook_calls().size(), 1u);
}

TEST_F(CacheTransaction, DiscardingABlockWithAPendingVersionWritesThatVersionFirst)
{
    int32_t id = cache_start_transaction(cache_);
    Change(103, 1, id);
    ASSERT_EQ(cache_end_transaction(cache_, id, record_hook, &tag_a), FSSH_OK);
    block_cache_discard(cache_, 103, 1);
    EXPECT_FALSE(IsCached(103));
    EXPECT_TRUE(DeviceHolds(103, 1));
    EXPECT_EQ(hook_calls().size(), 1u);
}

// A discarded block joined during the sub-transaction belongs to its count,
// not the main part's: the main part is written back completely before its
// hook runs.
TEST_F(CacheTransaction, DetachKeepsTheCountsRightAroundDiscardedBlocks)
{
    HookWitness witness{host_fd_, {110, 111}, 1};
    int32_t id = cache_start_transaction(cache_);
    Change(110, 1, id);
    Change(111, 1, id);
    ASSERT_EQ(cache_start_sub_transaction(cache_, id), FSSH_OK);
    Change(112, 2, id);
    Change(113, 2, id);
    block_cache_discard(cache_, 112, 1);

    int32_t remainder = cache_detach_sub_transaction(cache_, id, witness_hook, &witness);
    EXPECT_EQ(cache_transaction_block_count(cache_, id), 2);
    EXPECT_EQ(cache_transaction_block_count(cache_, remainder), 1);
    block_cache_sync_etc(cache_, 110, 1);
    EXPECT_EQ(witness.calls, 0);
    block_cache_sync_etc(cache_, 111, 1);
    EXPECT_EQ(witness.calls, 1);
    EXPECT_TRUE(witness.device_complete);

    ASSERT_EQ(cache_end_transaction(cache_, remainder, record_hook, &tag_b), FSSH_OK);
    block_cache_sync(cache_);
    EXPECT_EQ(hook_calls(), (std::vector<HookCall>{{remainder, CACHE_EVENT_WRITTEN, &tag_b}}));
    EXPECT_TRUE(DeviceHolds(112, 0));
    EXPECT_TRUE(DeviceHolds(113, 2));
}

TEST_F(CacheTransaction, DiscardedBlockStillReferencedAtTheEndStaysUntilItsPut)
{
    int32_t id = cache_start_transaction(cache_);
    ChangeAndHold(104, 1, id);
    const uint8_t* data = static_cast<const uint8_t*>(block_cache_get(cache_, 104));
    block_cache_put(cache_, 104);
    block_cache_discard(cache_, 104, 1);
    ASSERT_EQ(cache_end_transaction(cache_, id, nullptr, nullptr), FSSH_OK);

    // The holder's data is still valid, and nothing owes it to the device.
    EXPECT_TRUE(same_bytes(bytes_of(data, kBlockSize), pattern(104, 1, kBlockSize)));
    EXPECT_EQ(cache_transaction_block_count(cache_, id), 0);
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(104, 0));
    block_cache_put(cache_, 104);
    EXPECT_FALSE(IsCached(104));
}

TEST_F(CacheTransaction, DiscardAfterAbortFreesTheIdleBlock)
{
    int32_t id = cache_start_transaction(cache_);
    Change(105, 1, id);
    ASSERT_EQ(cache_abort_transaction(cache_, id), FSSH_OK);
    block_cache_discard(cache_, 105, 1);
    EXPECT_FALSE(IsCached(105));

    // The block's new owner writes the device directly; nothing overwrites it.
    WriteBehindCache(105, pattern(105, 7, kBlockSize));
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(105, 7));
}

TEST_F(CacheTransaction, NextBlockListsTheBlocksMostRecentlyJoinedFirst)
{
    int32_t id = cache_start_transaction(cache_);
    Change(120, 1, id);
    Change(121, 1, id);
    ASSERT_EQ(cache_start_sub_transaction(cache_, id), FSSH_OK);
    Change(121, 2, id);
    Change(122, 2, id);
    Change(123, 2, id);
    block_cache_discard(cache_, 123, 1);

    auto list = [&](bool main_only) {
        std::vector<std::pair<int64_t, Bytes>> blocks;
        cached_block* cookie = nullptr;
        int64_t number;
        const void* data;
        status_code status;
        while ((status = cache_transaction_next_block(cache_, id, main_only, &cookie, &number, &data,
                                                      nullptr))
               == FSSH_OK)
            blocks.emplace_back(number, bytes_of(data, kBlockSize));
        EXPECT_EQ(status, FSSH_NOT_FOUND);
        return blocks;
    };

    std::vector<std::pair<int64_t, Bytes>> all = list(false);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].first, 122);
    EXPECT_EQ(all[1].first, 121);
    EXPECT_EQ(all[2].first, 120);
    EXPECT_TRUE(same_bytes(all[1].second, pattern(121, 2, kBlockSize)));

    std::vector<std::pair<int64_t, Bytes>> main_part = list(true);
    ASSERT_EQ(main_part.size(), 2u);
    EXPECT_EQ(main_part[0].first, 121);
    EXPECT_TRUE(same_bytes(main_part[0].second, pattern(121, 1, kBlockSize)));
    EXPECT_EQ(main_part[1].first, 120);

    cached_block* cookie = nullptr;
    const void* unchanged;
    ASSERT_EQ(cache_transaction_next_block(cache_, id, false, &cookie, nullptr, nullptr, &unchanged),
              FSSH_OK);
    EXPECT_TRUE(same_bytes(bytes_of(unchanged, kBlockSize), pattern(122, 0, kBlockSize)));

    ASSERT_EQ(cache_end_transaction(cache_, id, nullptr, nullptr), FSSH_OK);
    cookie = nullptr;
    EXPECT_EQ(cache_transaction_next_block(cache_, id, false, &cookie, nullptr, nullptr, nullptr),
              FSSH_INVALID_ARGUMENT);
}

TEST_F(CacheTransaction, NextBlockWithoutSubTransactionListsEveryBlockWithItsContent)
{
    int32_t id = cache_start_transaction(cache_);
    Change(124, 1, id);
    Change(125, 1, id);
    block_cache_discard(cache_, 125, 1);
    for (bool main_only : {false, true}) {
        cached_block* cookie = nullptr;
        std::vector<int64_t> numbers;
        int64_t number;
        const void* data;
        while (cache_transaction_next_block(cache_, id, main_only, &cookie, &number, &data, nullptr)
               == FSSH_OK) {
            numbers.push_back(number);
            EXPECT_TRUE(same_bytes(bytes_of(data, kBlockSize), pattern(number, 1, kBlockSize)));
        }
        EXPECT_EQ(numbers, (std::vector<int64_t>{125, 124})) << main_only;
    }
}

// Transaction ids 1, 17, 33, ... share one bucket of the transaction hash.
TEST_F(CacheTransaction, WriteBackCoversEveryEndedTransactionUpToTheId)
{
    constexpr int kEnded = 40;
    std::vector<int32_t> ids;
    for (int i = 0; i < kEnded; i++) {
        int32_t id = cache_start_transaction(cache_);
        Change(200 + i, 1, id);
        ASSERT_EQ(cache_end_transaction(cache_, id, record_hook, &tag_a), FSSH_OK);
        ids.push_back(id);
    }
    int32_t open = cache_start_transaction(cache_);
    Change(300, 1, open);

    ASSERT_EQ(cache_write_back_transactions(cache_, ids[20]), FSSH_OK);
    for (int i = 0; i < kEnded; i++)
        EXPECT_TRUE(DeviceHolds(200 + i, i <= 20 ? 1 : 0)) << i;
    EXPECT_EQ(hook_calls().size(), 21u);

    ASSERT_EQ(cache_write_back_transactions(cache_, open), FSSH_OK);
    for (int i = 0; i < kEnded; i++) {
        EXPECT_TRUE(DeviceHolds(200 + i, 1)) << i;
        EXPECT_EQ(cache_transaction_block_count(cache_, ids[i]), FSSH_INVALID_ARGUMENT);
    }
    std::vector<int32_t> written;
    for (const HookCall& call : hook_calls()) {
        EXPECT_EQ(call.event, CACHE_EVENT_WRITTEN);
        written.push_back(call.transaction_id);
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, ids);

    // The open transaction is untouched.
    EXPECT_TRUE(DeviceHolds(300, 0));
    EXPECT_EQ(cache_transaction_block_count(cache_, open), 1);
    EXPECT_TRUE(cache_transaction_holds_block(cache_, open, 300));
}

TEST_F(CacheTransaction, EndWithoutHookStillWritesBack)
{
    int32_t id = cache_start_transaction(cache_);
    Change(130, 1, id);
    ASSERT_EQ(cache_end_transaction(cache_, id, nullptr, nullptr), FSSH_OK);
    ASSERT_EQ(cache_write_back_transactions(cache_, id), FSSH_OK);
    EXPECT_TRUE(DeviceHolds(130, 1));
    EXPECT_TRUE(hook_calls().empty());
}

TEST_F(CacheTransaction, BlocksWithoutTransactionAndTransactionsMix)
{
    Change(140, 1, NO_TRANSACTION);
    int32_t id = cache_start_transaction(cache_);
    Change(141, 1, id);
    EXPECT_TRUE(cache_transaction_holds_block(cache_, id, 141));
    EXPECT_FALSE(cache_transaction_holds_block(cache_, id, 140));
    EXPECT_FALSE(cache_transaction_holds_block(cache_, id, 142));
    block_cache_sync(cache_);
    EXPECT_TRUE(DeviceHolds(140, 1));
    EXPECT_TRUE(DeviceHolds(141, 0));
}

}  // namespace
}  // namespace fssh::testing_block_cache
