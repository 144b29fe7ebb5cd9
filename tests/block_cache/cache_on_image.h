#pragma once

// A block cache over a real image file, with helpers that read and write the
// image behind the cache's back, so that tests check byte for byte what
// reached the device.

#include "block_cache/block_cache.h"
#include "block_cache/block_cache_internal.h"
#include "block_cache/cache_transaction.h"
#include "kernel/debug.h"
#include "kernel/host_file.h"
#include "kernel/open_mode.h"
#include "tests/support/loop_device.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace fssh::testing_block_cache {

using Bytes = std::vector<uint8_t>;

// The notification lock exists once per process.
inline void init_block_cache_once()
{
    static const bool initialised = block_cache_init() == FSSH_OK;
    ASSERT_TRUE(initialised);
}

// Content that tells blocks and their versions apart at every byte.
inline Bytes pattern(int64_t number, uint32_t version, int64_t block_size)
{
    Bytes bytes(static_cast<size_t>(block_size));
    uint32_t state = static_cast<uint32_t>(number) * 2654435761u ^ (version + 1) * 40503u;
    for (uint8_t& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

inline Bytes bytes_of(const void* data, int64_t block_size)
{
    const uint8_t* begin = static_cast<const uint8_t*>(data);
    return Bytes(begin, begin + block_size);
}

// Compares without printing whole blocks: the first differing offset is enough.
inline ::testing::AssertionResult same_bytes(const Bytes& actual, const Bytes& expected)
{
    if (actual == expected)
        return ::testing::AssertionSuccess();
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << "size " << actual.size() << " instead of " << expected.size();
    }
    for (size_t i = 0; i < actual.size(); i++) {
        if (actual[i] != expected[i]) {
            return ::testing::AssertionFailure()
                   << "byte " << i << " is " << int(actual[i]) << " instead of " << int(expected[i]);
        }
    }
    return ::testing::AssertionSuccess();
}

// Escapes a message so that a death test matches it literally.
inline std::string literal(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr)
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// One call of a transaction hook.
struct HookCall {
    int32_t transaction_id;
    int32_t event;
    void* data;
    bool operator==(const HookCall&) const = default;
};

inline std::vector<HookCall>& hook_calls()
{
    static std::vector<HookCall> calls;
    return calls;
}

inline void record_hook(int32_t transaction_id, int32_t event, void* data)
{
    hook_calls().push_back({transaction_id, event, data});
}

// The state of a cached block, read from the cache's records; null when the
// block is not cached.
inline const cached_block* cached_state(block_cache* cache, int64_t number)
{
    return lookup_cached_block(cache, number);
}

constexpr int64_t kBlockSize = 1024;
constexpr int64_t kBlockCount = 2048;

class CacheOnImage : public ::testing::Test {
protected:

    void SetUp() override { OpenCache(kBlockCount, false); }

    void TearDown() override { CloseCache(false); }

    // Fills the image with version 0 of every block and opens a cache over it
    // that may name `cache_blocks` blocks (more than the image holds gives
    // blocks that cannot be read).
    void OpenCache(int64_t cache_blocks, bool read_only)
    {
        init_block_cache_once();
        image_ = std::make_unique<test_support::ScratchImage>(kBlockCount * kBlockSize);
        ASSERT_TRUE(image_->created()) << image_->error();
        host_fd_ = open(image_->path().c_str(), O_RDWR);
        ASSERT_GE(host_fd_, 0);
        Bytes content;
        for (int64_t number = 0; number < kBlockCount; number++) {
            Bytes block = pattern(number, 0, kBlockSize);
            content.insert(content.end(), block.begin(), block.end());
        }
        ASSERT_EQ(pwrite(host_fd_, content.data(), content.size(), 0),
                  static_cast<ssize_t>(content.size()));
        device_ = fssh_open(image_->path().c_str(), read_only ? FSSH_O_RDONLY : FSSH_O_RDWR, 0);
        ASSERT_GE(device_, 0);
        cache_ = block_cache_create(device_, cache_blocks, kBlockSize, read_only);
        ASSERT_NE(cache_, nullptr);
        hook_calls().clear();
    }

    // A transaction a test left open is aborted first: the cache refuses to
    // delete blocks that still carry undo data.
    void CloseCache(bool allow_writes)
    {
        if (cache_ != nullptr) {
            cache_transaction* last = cache_->last_transaction;
            if (last != nullptr && last->open)
                cache_abort_transaction(cache_, last->id);
            block_cache_delete(cache_, allow_writes);
        }
        cache_ = nullptr;
        if (device_ >= 0)
            fssh_close(device_);
        device_ = -1;
        if (host_fd_ >= 0)
            close(host_fd_);
        host_fd_ = -1;
    }

    Bytes DeviceBlock(int64_t number) const
    {
        Bytes bytes(kBlockSize);
        EXPECT_EQ(pread(host_fd_, bytes.data(), bytes.size(), number * kBlockSize), kBlockSize);
        return bytes;
    }

    ::testing::AssertionResult DeviceHolds(int64_t number, uint32_t version) const
    {
        return same_bytes(DeviceBlock(number), pattern(number, version, kBlockSize));
    }

    void WriteBehindCache(int64_t number, const Bytes& bytes)
    {
        ASSERT_EQ(pwrite(host_fd_, bytes.data(), bytes.size(), number * kBlockSize), kBlockSize);
    }

    // The content the cache hands out for the block, through a get and a put.
    Bytes CachedContent(int64_t number)
    {
        const void* data = block_cache_get(cache_, number);
        EXPECT_NE(data, nullptr);
        Bytes bytes = bytes_of(data, kBlockSize);
        block_cache_put(cache_, number);
        return bytes;
    }

    ::testing::AssertionResult CacheHolds(int64_t number, uint32_t version)
    {
        return same_bytes(CachedContent(number), pattern(number, version, kBlockSize));
    }

    // Writes version `version` of the block in the transaction (or
    // NO_TRANSACTION) and keeps the reference.
    void ChangeAndHold(int64_t number, uint32_t version, int32_t transaction_id)
    {
        void* data = block_cache_get_writable(cache_, number, transaction_id);
        ASSERT_NE(data, nullptr);
        Bytes bytes = pattern(number, version, kBlockSize);
        std::memcpy(data, bytes.data(), bytes.size());
    }

    // ChangeAndHold, then the block is released.
    void Change(int64_t number, uint32_t version, int32_t transaction_id)
    {
        ChangeAndHold(number, version, transaction_id);
        block_cache_put(cache_, number);
    }

    bool IsCached(int64_t number) { return cached_state(cache_, number) != nullptr; }

    std::unique_ptr<test_support::ScratchImage> image_;
    int host_fd_ = -1;
    int device_ = -1;
    block_cache* cache_ = nullptr;
};

}  // namespace fssh::testing_block_cache
