// A randomized sequence of gets, writes, transactions, sub-transactions,
// aborts, detaches, syncs and write-backs, checked after every step against a
// simple model of what the cache shows, what the device must hold and which
// written hooks must have run.

#include "tests/block_cache/cache_on_image.h"

#include <algorithm>
#include <map>
#include <random>
#include <set>

namespace fssh::testing_block_cache {
namespace {

constexpr int64_t kTransactionBlocks = 24;  // blocks 0..23 are changed in transactions
constexpr int64_t kDirectBlocks = 8;        // the next ones only without a transaction
constexpr int64_t kModelBlocks = kTransactionBlocks + kDirectBlocks;
constexpr int kSteps = 4000;

int model_tag;

using Versions = std::map<int64_t, uint32_t>;

// Block contents are versions: block n at version v holds pattern(n, v).
struct Model {
    Versions device;
    Versions cache;
    uint32_t last_version = 0;
    int32_t next_id = 1;

    int32_t open_id = 0;           // 0: no open transaction
    Versions undo;                 // blocks of the open transaction: content before it
    bool has_sub = false;
    std::set<int64_t> main_part;   // blocks held when the sub-transaction started
    Versions sub_undo;             // main-part blocks changed in it: content at its start

    std::map<int32_t, Versions> pending;  // ended transactions: versions owed to the device
    std::vector<int32_t> written_hooks;   // expected since the last check

    // The ended transaction whose version the block still owes, or 0.
    int32_t owing(int64_t number) const
    {
        for (const auto& [id, versions] : pending) {
            if (versions.count(number) != 0)
                return id;
        }
        return 0;
    }

    void write_owed(int64_t number)
    {
        int32_t id = owing(number);
        if (id == 0)
            return;
        device[number] = pending[id][number];
        pending[id].erase(number);
        if (pending[id].empty()) {
            pending.erase(id);
            written_hooks.push_back(id);
        }
    }

    void write_transaction(int32_t id)
    {
        for (const auto& [number, version] : pending[id])
            device[number] = version;
        pending.erase(id);
        written_hooks.push_back(id);
    }

    void change(int64_t number, uint32_t version)
    {
        if (open_id != 0 && number < kTransactionBlocks) {
            if (undo.count(number) == 0)
                undo[number] = cache[number];
            if (has_sub && main_part.count(number) != 0 && sub_undo.count(number) == 0)
                sub_undo[number] = cache[number];
        }
        cache[number] = version;
    }

    int32_t sub_count() const
    {
        return static_cast<int32_t>(undo.size() - main_part.size() + sub_undo.size());
    }

    // The main part's content of a block.
    uint32_t main_version(int64_t number) const
    {
        auto changed = sub_undo.find(number);
        return changed != sub_undo.end() ? changed->second : cache.at(number);
    }

    void end_open(const Versions& versions_to_write)
    {
        if (!versions_to_write.empty())
            pending[open_id] = versions_to_write;
    }
};

class CacheModel : public CacheOnImage {
protected:
    // Versions are compared many times; each pattern is made once.
    const Bytes& Content(int64_t number, uint32_t version)
    {
        auto [entry, made] = contents_.try_emplace({number, version});
        if (made)
            entry->second = pattern(number, version, kBlockSize);
        return entry->second;
    }

    void SetUp() override
    {
        CacheOnImage::SetUp();
        for (int64_t number = 0; number < kModelBlocks; number++)
            model_.device[number] = model_.cache[number] = 0;
    }

    int64_t AnyBlock(int64_t limit) { return std::uniform_int_distribution<int64_t>(0, limit - 1)(random_); }
    bool Chance(int percent) { return std::uniform_int_distribution<int>(1, 100)(random_) <= percent; }

    void Write(int64_t number, int32_t id)
    {
        uint32_t version = ++model_.last_version;
        const Bytes& bytes = Content(number, version);
        int how = static_cast<int>(AnyBlock(3));
        void* data = nullptr;
        if (how == 0) {
            ASSERT_EQ(block_cache_get_writable_etc(cache_, number, id, &data), FSSH_OK);
        } else if (how == 1) {
            data = block_cache_get_zeroed(cache_, number, id);
        } else {
            data = const_cast<void*>(block_cache_get(cache_, number));
            ASSERT_EQ(block_cache_mark_writable(cache_, number, id), FSSH_OK);
        }
        ASSERT_NE(data, nullptr);
        std::memcpy(data, bytes.data(), bytes.size());
        block_cache_put(cache_, number);
        model_.change(number, version);
    }

    void Start()
    {
        if (model_.open_id == 0) {
            int32_t id = cache_start_transaction(cache_);
            ASSERT_EQ(id, model_.next_id++);
            model_.open_id = id;
            model_.undo.clear();
            model_.has_sub = false;
            return;
        }
        ASSERT_EQ(cache_start_sub_transaction(cache_, model_.open_id), FSSH_OK);
        model_.has_sub = true;
        model_.main_part.clear();
        for (const auto& [number, version] : model_.undo)
            model_.main_part.insert(number);
        model_.sub_undo.clear();
    }

    void End()
    {
        ASSERT_EQ(cache_end_transaction(cache_, model_.open_id, record_hook, &model_tag), FSSH_OK);
        Versions versions;
        for (const auto& [number, version] : model_.undo) {
            model_.write_owed(number);
            versions[number] = model_.cache[number];
        }
        model_.end_open(versions);
        model_.open_id = 0;
    }

    void Abort()
    {
        ASSERT_EQ(cache_abort_transaction(cache_, model_.open_id), FSSH_OK);
        for (const auto& [number, version] : model_.undo)
            model_.cache[number] = version;
        model_.open_id = 0;
    }

    void AbortSub()
    {
        ASSERT_EQ(cache_abort_sub_transaction(cache_, model_.open_id), FSSH_OK);
        for (const auto& [number, version] : model_.undo) {
            if (model_.main_part.count(number) == 0)
                model_.cache[number] = version;
        }
        for (const auto& [number, version] : model_.sub_undo)
            model_.cache[number] = version;
        model_.has_sub = false;
        model_.main_part.clear();
        model_.sub_undo.clear();
    }

    void Detach()
    {
        int32_t remainder =
            cache_detach_sub_transaction(cache_, model_.open_id, record_hook, &model_tag);
        ASSERT_EQ(remainder, model_.next_id++);
        Versions main_versions;
        Versions remainder_undo;
        for (const auto& [number, version] : model_.undo) {
            model_.write_owed(number);
            bool in_main_part = model_.main_part.count(number) != 0;
            if (in_main_part)
                main_versions[number] = model_.main_version(number);
            if (!in_main_part)
                remainder_undo[number] = version;
            else if (model_.sub_undo.count(number) != 0)
                remainder_undo[number] = model_.sub_undo[number];
        }
        model_.end_open(main_versions);
        model_.open_id = remainder;
        model_.undo = remainder_undo;
        model_.has_sub = false;
    }

    void Sync()
    {
        ASSERT_EQ(block_cache_sync(cache_), FSSH_OK);
        while (!model_.pending.empty())
            model_.write_transaction(model_.pending.begin()->first);
        for (int64_t number = kTransactionBlocks; number < kModelBlocks; number++)
            model_.device[number] = model_.cache[number];
    }

    void SyncRange()
    {
        int64_t first = AnyBlock(kModelBlocks);
        int64_t count = 1 + AnyBlock(8);
        ASSERT_EQ(block_cache_sync_etc(cache_, first, count), FSSH_OK);
        for (int64_t number = first; number < std::min(first + count, kModelBlocks); number++) {
            model_.write_owed(number);
            if (number >= kTransactionBlocks)
                model_.device[number] = model_.cache[number];
        }
    }

    void WriteBack()
    {
        if (model_.pending.empty())
            return;
        // Up to a pending transaction, or up to the open one.
        auto chosen = model_.pending.begin();
        std::advance(chosen, AnyBlock(static_cast<int64_t>(model_.pending.size())));
        int32_t id = model_.open_id != 0 && Chance(30) ? model_.open_id : chosen->first;
        ASSERT_EQ(cache_write_back_transactions(cache_, id), FSSH_OK);
        while (!model_.pending.empty() && model_.pending.begin()->first <= id)
            model_.write_transaction(model_.pending.begin()->first);
    }

    void Step()
    {
        int choice = static_cast<int>(AnyBlock(100));
        if (choice < 8) {
            int64_t number = AnyBlock(kModelBlocks);
            EXPECT_TRUE(same_bytes(CachedContent(number), Content(number, model_.cache[number])))
                << number;
        } else if (choice < 60) {
            if (Chance(10)) {
                Write(kTransactionBlocks + AnyBlock(kDirectBlocks), NO_TRANSACTION);
                return;
            }
            if (model_.open_id == 0)
                Start();
            Write(AnyBlock(kTransactionBlocks), model_.open_id);
        } else if (choice < 70) {
            Start();
        } else if (choice < 76) {
            if (model_.open_id != 0)
                End();
        } else if (choice < 80) {
            if (model_.open_id != 0 && model_.has_sub && Chance(70))
                AbortSub();
            else if (model_.open_id != 0)
                Abort();
        } else if (choice < 88) {
            if (model_.open_id != 0 && model_.has_sub)
                Detach();
        } else if (choice < 90) {
            Sync();
        } else if (choice < 95) {
            SyncRange();
        } else {
            WriteBack();
        }
    }

    void CheckAgainstModel(int step)
    {
        Bytes device(kModelBlocks * kBlockSize);
        ASSERT_EQ(pread(host_fd_, device.data(), device.size(), 0),
                  static_cast<ssize_t>(device.size()));
        for (int64_t number = 0; number < kModelBlocks; number++) {
            Bytes block(device.begin() + number * kBlockSize,
                        device.begin() + (number + 1) * kBlockSize);
            ASSERT_TRUE(same_bytes(block, Content(number, model_.device[number])))
                << "device block " << number << " after step " << step;
            ASSERT_TRUE(same_bytes(CachedContent(number), Content(number, model_.cache[number])))
                << "cached block " << number << " after step " << step;
        }

        std::vector<int32_t> called;
        for (const HookCall& call : hook_calls()) {
            ASSERT_EQ(call.event, CACHE_EVENT_WRITTEN);
            ASSERT_EQ(call.data, &model_tag);
            called.push_back(call.transaction_id);
        }
        std::sort(called.begin(), called.end());
        std::sort(model_.written_hooks.begin(), model_.written_hooks.end());
        ASSERT_EQ(called, model_.written_hooks) << "after step " << step;
        hook_calls().clear();
        model_.written_hooks.clear();

        if (model_.open_id == 0)
            return;
        int32_t id = model_.open_id;
        ASSERT_EQ(cache_transaction_block_count(cache_, id), static_cast<int32_t>(model_.undo.size()));
        if (model_.has_sub) {
            ASSERT_EQ(cache_transaction_main_count(cache_, id),
                      static_cast<int32_t>(model_.main_part.size()));
            ASSERT_EQ(cache_transaction_sub_count(cache_, id), model_.sub_count());
        }
        CheckBlockList(id, false);
        if (model_.has_sub)
            CheckBlockList(id, true);
    }

    // The listed blocks, their content and their content before the
    // transaction match the model.
    void CheckBlockList(int32_t id, bool main_only)
    {
        std::set<int64_t> listed;
        cached_block* cookie = nullptr;
        int64_t number;
        const void* data;
        const void* unchanged;
        while (cache_transaction_next_block(cache_, id, main_only, &cookie, &number, &data, &unchanged)
               == FSSH_OK) {
            listed.insert(number);
            uint32_t version = main_only ? model_.main_version(number) : model_.cache[number];
            ASSERT_TRUE(same_bytes(bytes_of(data, kBlockSize), Content(number, version))) << number;
            ASSERT_TRUE(same_bytes(bytes_of(unchanged, kBlockSize), Content(number, model_.undo[number])))
                << number;
        }
        std::set<int64_t> expected = model_.main_part;
        if (!main_only) {
            expected.clear();
            for (const auto& [block, version] : model_.undo)
                expected.insert(block);
        }
        ASSERT_EQ(listed, expected) << (main_only ? "main part" : "all blocks");
    }

    std::mt19937 random_{19700101};
    Model model_;
    std::map<std::pair<int64_t, uint32_t>, Bytes> contents_;
};

TEST_F(CacheModel, RandomOperationsMatchTheModelAfterEveryStep)
{
    CheckAgainstModel(0);
    for (int step = 1; step <= kSteps; step++) {
        Step();
        CheckAgainstModel(step);
        if (HasFatalFailure() || HasFailure())
            return;
    }
    if (model_.open_id != 0)
        End();
    Sync();
    CheckAgainstModel(kSteps + 1);
}

}  // namespace
}  // namespace fssh::testing_block_cache
