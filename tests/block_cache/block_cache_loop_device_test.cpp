// The cache over a real block device: a loop device with 4096-byte sectors,
// so that every 1024-byte block write is a partial-sector write, and the
// neighbouring blocks of a sector must come through unchanged.

#include "tests/block_cache/cache_on_image.h"

#include "tests/support/host_facility.h"

namespace fssh::testing_block_cache {
namespace {

constexpr int64_t kDeviceBlocks = 2048;

// Reads the block through a host descriptor of its own.
Bytes read_block(const std::string& path, int64_t number)
{
    Bytes bytes(kBlockSize);
    int fd = open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0) << path;
    EXPECT_EQ(pread(fd, bytes.data(), bytes.size(), number * kBlockSize), kBlockSize);
    close(fd);
    return bytes;
}

::testing::AssertionResult holds(const std::string& path, int64_t number, uint32_t version)
{
    return same_bytes(read_block(path, number), pattern(number, version, kBlockSize));
}

void change(block_cache* cache, int64_t number, uint32_t version, int32_t id)
{
    void* data = block_cache_get_writable(cache, number, id);
    ASSERT_NE(data, nullptr);
    Bytes bytes = pattern(number, version, kBlockSize);
    std::memcpy(data, bytes.data(), bytes.size());
    block_cache_put(cache, number);
}

TEST(BlockCacheOnLoopDevice, TransactionsAndEvictionReachTheDeviceByteForByte)
{
    init_block_cache_once();
    hook_calls().clear();
    test_support::ScratchImage image(kDeviceBlocks * kBlockSize);
    ASSERT_TRUE(image.created()) << image.error();
    {
        int fd = open(image.path().c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        for (int64_t number = 0; number < kDeviceBlocks; number++)
            ASSERT_EQ(pwrite(fd, pattern(number, 0, kBlockSize).data(), kBlockSize, number * kBlockSize),
                      kBlockSize);
        close(fd);
    }

    {
        test_support::LoopDevice loop(image.path(), test_support::LoopOptions{.sector_size = 4096});
        REQUIRE_HOST_FACILITY(loop.attached(), loop.error());
        const std::string& device_path = loop.path();
        int device = fssh_open(device_path.c_str(), FSSH_O_RDWR, 0);
        ASSERT_GE(device, 0);
        block_cache* cache = block_cache_create(device, kDeviceBlocks, kBlockSize, false);
        ASSERT_NE(cache, nullptr);

        // Blocks 0 to 3 share the first sector, 4 to 7 the second.
        int32_t older = cache_start_transaction(cache);
        for (int64_t number : {1, 2, 3})
            change(cache, number, 1, older);
        ASSERT_EQ(cache_end_transaction(cache, older, record_hook, &image), FSSH_OK);
        int32_t newer = cache_start_transaction(cache);
        change(cache, 2, 2, newer);
        change(cache, 5, 2, newer);

        ASSERT_EQ(cache_write_back_transactions(cache, older), FSSH_OK);
        EXPECT_TRUE(holds(device_path, 0, 0));
        EXPECT_TRUE(holds(device_path, 1, 1));
        EXPECT_TRUE(holds(device_path, 2, 1));
        EXPECT_TRUE(holds(device_path, 3, 1));
        EXPECT_TRUE(holds(device_path, 5, 0));
        EXPECT_EQ(hook_calls(), (std::vector<HookCall>{{older, CACHE_EVENT_WRITTEN, &image}}));

        ASSERT_EQ(cache_end_transaction(cache, newer, nullptr, nullptr), FSSH_OK);

        // Changed blocks outside a transaction, then enough reads to evict
        // them: the eviction writes them.
        for (int64_t number = 100; number < 110; number++)
            change(cache, number, 3, NO_TRANSACTION);
        for (int64_t number = 200; number < 200 + CACHED_BLOCK_LIMIT; number++) {
            ASSERT_NE(block_cache_get(cache, number), nullptr);
            block_cache_put(cache, number);
        }
        for (int64_t number = 100; number < 110; number++)
            EXPECT_TRUE(holds(device_path, number, 3)) << number;

        block_cache_delete(cache, true);
        EXPECT_TRUE(holds(device_path, 2, 2));
        EXPECT_TRUE(holds(device_path, 5, 2));
        EXPECT_TRUE(holds(device_path, 4, 0));
        EXPECT_TRUE(holds(device_path, 6, 0));
        fssh_close(device);
    }

    // Detached: the image file itself holds what the device was given.
    const uint32_t expected[] = {0, 1, 2, 1, 0, 2, 0, 0};
    for (int64_t number = 0; number < 8; number++)
        EXPECT_TRUE(holds(image.path(), number, expected[number])) << number;
    for (int64_t number = 100; number < 110; number++)
        EXPECT_TRUE(holds(image.path(), number, 3)) << number;
    EXPECT_TRUE(holds(image.path(), 110, 0));
}

}  // namespace
}  // namespace fssh::testing_block_cache
