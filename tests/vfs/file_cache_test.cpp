// The file cache: requests cut at the file size and handed to the page hooks
// in transfers of at most 256 KiB counted from a page boundary.

#include "tests/vfs/recording_file_system.h"

#include "kernel/debug.h"
#include "vfs/file_cache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace page_test {
namespace {

using namespace fssh;

struct transfer {
    off_t position;
    size_t size;
};

bool operator==(const transfer& a, const transfer& b)
{
    return a.position == b.position && a.size == b.size;
}

void PrintTo(const transfer& t, std::ostream* out)
{
    *out << "{" << t.position << ", " << t.size << "}";
}

struct file_cache_deleter {
    void operator()(file_cache* cache) const { file_cache_delete(cache); }
};
using CacheHolder = std::unique_ptr<file_cache, file_cache_deleter>;

class FileCacheTest : public RecordingFileTest {
protected:
    CacheHolder create(off_t size)
    {
        CacheHolder cache(file_cache_create(device_, RECORDED_FILE_ID, size));
        EXPECT_NE(cache, nullptr);
        return cache;
    }

    // The transfers the hooks saw, checking that each handed over one vector
    // pointing into `buffer` where its bytes belong.
    std::vector<transfer> transfers(const void* buffer, off_t request_position)
    {
        std::vector<transfer> seen;
        for (const page_call& call : file_.calls) {
            EXPECT_EQ(call.vector_count, 1u);
            if (buffer != nullptr) {
                EXPECT_EQ(call.base,
                          static_cast<const char*>(buffer) + (call.position - request_position));
            }
            seen.push_back(transfer{call.position, call.size});
        }
        return seen;
    }
};

TEST_F(FileCacheTest, OneMebibyteReadAtOffset100ReachesReadPagesAsFiveTransfers)
{
    CacheHolder cache = create(4 << 20);
    std::vector<uint8_t> buffer(1 << 20);
    size_t length = buffer.size();
    ASSERT_EQ(file_cache_read(cache.get(), nullptr, 100, buffer.data(), &length), FSSH_OK);
    EXPECT_EQ(length, buffer.size());
    EXPECT_EQ(transfers(buffer.data(), 100),
              (std::vector<transfer>{{100, 262044},
                                     {262144, 262144},
                                     {524288, 262144},
                                     {786432, 262144},
                                     {1048576, 100}}));
    for (size_t i = 0; i < buffer.size(); i += 4099)
        ASSERT_EQ(buffer[i], pattern_byte(100 + static_cast<off_t>(i))) << i;
    EXPECT_FALSE(file_.calls[0].write);
}

struct ChunkCase {
    const char* description;
    off_t position;
    size_t length;
    std::vector<transfer> expected;
};

class FileCacheChunkTest : public FileCacheTest,
                           public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(FileCacheChunkTest, WritesAreCutLikeReads)
{
    const ChunkCase& c = GetParam();
    CacheHolder cache = create(8 << 20);
    std::vector<uint8_t> buffer(c.length);
    for (size_t i = 0; i < buffer.size(); i++)
        buffer[i] = static_cast<uint8_t>(i * 13);
    size_t length = c.length;
    ASSERT_EQ(file_cache_write(cache.get(), nullptr, c.position, buffer.data(), &length),
              FSSH_OK);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(transfers(buffer.data(), c.position), c.expected);
    ASSERT_EQ(file_.written.size(), c.position + c.length);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), file_.written.begin() + c.position));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileCacheChunkTest,
    ::testing::Values(
        ChunkCase{"AlignedHalfMebibyte", 0, 524288, {{0, 262144}, {262144, 262144}}},
        ChunkCase{"WithinOnePage", 4095, 10, {{4095, 10}}},
        // The limit counts from the page holding the first byte, not from a
        // multiple of 256 KiB: these two bytes straddle 262144 in one transfer.
        ChunkCase{"StraddlingAQuarterMebibyteBoundary", 262143, 2, {{262143, 2}}},
        ChunkCase{"UnalignedStart",
                  5000,
                  600000,
                  {{5000, 261240}, {266240, 262144}, {528384, 76616}}},
        ChunkCase{"ExactlyOneTransfer", 8192, 262144, {{8192, 262144}}}),
    [](const ::testing::TestParamInfo<ChunkCase>& info) { return info.param.description; });

TEST_F(FileCacheTest, RequestsAreCutAtTheFileSize)
{
    CacheHolder cache = create(10000);
    char buffer[20000];
    size_t length = sizeof(buffer);
    ASSERT_EQ(file_cache_read(cache.get(), nullptr, 9000, buffer, &length), FSSH_OK);
    EXPECT_EQ(length, 1000u);
    EXPECT_EQ(transfers(buffer, 9000), (std::vector<transfer>{{9000, 1000}}));

    for (off_t position : {off_t{10000}, off_t{10001}, off_t{-1}}) {
        file_.calls.clear();
        length = sizeof(buffer);
        EXPECT_EQ(file_cache_read(cache.get(), nullptr, position, buffer, &length), FSSH_OK);
        EXPECT_EQ(length, 0u) << position;
        length = sizeof(buffer);
        EXPECT_EQ(file_cache_write(cache.get(), nullptr, position, buffer, &length), FSSH_OK);
        EXPECT_EQ(length, 0u) << position;
        EXPECT_TRUE(file_.calls.empty()) << position;
    }

    length = 0;
    EXPECT_EQ(file_cache_read(cache.get(), nullptr, 0, buffer, &length), FSSH_OK);
    EXPECT_TRUE(file_.calls.empty());
}

TEST_F(FileCacheTest, NewSizeBoundsLaterRequests)
{
    CacheHolder cache = create(100);
    ASSERT_EQ(file_cache_set_size(cache.get(), 300000), FSSH_OK);
    std::vector<char> buffer(300000);
    size_t length = buffer.size();
    ASSERT_EQ(file_cache_write(cache.get(), nullptr, 0, buffer.data(), &length), FSSH_OK);
    EXPECT_EQ(length, 300000u);
    EXPECT_EQ(file_.calls.size(), 2u);
    EXPECT_EQ(file_cache_set_size(nullptr, 5), FSSH_OK);
}

TEST_F(FileCacheTest, FirstFailingTransferEndsTheRequest)
{
    CacheHolder cache = create(4 << 20);
    file_.failing_call = 1;
    file_.failure = FSSH_NO_SPACE;
    std::vector<char> buffer(1 << 20);
    size_t length = buffer.size();
    EXPECT_EQ(file_cache_write(cache.get(), nullptr, 0, buffer.data(), &length), FSSH_NO_SPACE);
    EXPECT_EQ(file_.calls.size(), 2u);
}

TEST_F(FileCacheTest, WritingWithoutABufferWritesZeros)
{
    CacheHolder cache = create(1 << 20);
    file_.written.assign(1 << 20, 0xee);
    size_t length = 600000;
    ASSERT_EQ(file_cache_write(cache.get(), nullptr, 1000, nullptr, &length), FSSH_OK);
    EXPECT_EQ(transfers(nullptr, 1000),
              (std::vector<transfer>{{1000, 261144}, {262144, 262144}, {524288, 76712}}));
    for (size_t i = 0; i < file_.written.size(); i++) {
        bool zeroed = i >= 1000 && i < 601000;
        ASSERT_EQ(file_.written[i], zeroed ? 0 : 0xee) << i;
    }
}

TEST_F(FileCacheTest, ReadingIntoNoBufferIsABadAddress)
{
    CacheHolder cache = create(1000);
    size_t length = 10;
    EXPECT_EQ(file_cache_read(cache.get(), nullptr, 0, nullptr, &length), FSSH_BAD_ADDRESS);
    EXPECT_TRUE(file_.calls.empty());
}

TEST_F(FileCacheTest, HooksMayUseTheCacheWhileATransferRuns)
{
    CacheHolder cache = create(1 << 20);
    file_.during_call = [&] { file_cache_set_size(cache.get(), 1 << 20); };
    std::vector<char> buffer(300000);
    size_t length = buffer.size();
    EXPECT_EQ(file_cache_read(cache.get(), nullptr, 0, buffer.data(), &length), FSSH_OK);
    EXPECT_EQ(file_.calls.size(), 2u);
}

TEST_F(FileCacheTest, CacheForAnUnknownNodeIsNotMade)
{
    ::testing::internal::CaptureStdout();
    file_cache* cache = file_cache_create(device_, 999, 10);
    std::string output = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(cache, nullptr);
    EXPECT_EQ(output, "file_cache_create(): Failed get vnode " + std::to_string(device_)
                          + ":999: " + status_text(FSSH_NOT_FOUND) + "\n");
}

TEST_F(FileCacheTest, SyncHasNothingToWrite)
{
    CacheHolder cache = create(10);
    EXPECT_EQ(file_cache_sync(cache.get()), FSSH_OK);
    EXPECT_EQ(file_cache_sync(nullptr), FSSH_INVALID_ARGUMENT);
    EXPECT_TRUE(file_.calls.empty());
}

TEST(FileCacheDeathTest, ProcessEndingCalls)
{
    char buffer[4];
    size_t length = sizeof(buffer);
    const char* null_cache = "cache_io\\(\\) called with NULL ref!";
    EXPECT_EXIT(file_cache_read(nullptr, nullptr, 0, buffer, &length),
                ::testing::ExitedWithCode(PANIC_EXIT_STATUS), null_cache);
    EXPECT_EXIT(file_cache_write(nullptr, nullptr, 0, buffer, &length),
                ::testing::ExitedWithCode(PANIC_EXIT_STATUS), null_cache);
    EXPECT_EXIT(file_cache_enable(), ::testing::ExitedWithCode(PANIC_EXIT_STATUS),
                "fssh_file_cache_enable\\(\\) called");
    EXPECT_EXIT(file_cache_disable(), ::testing::ExitedWithCode(PANIC_EXIT_STATUS),
                "fssh_file_cache_disable\\(\\) called");
}

}  // namespace
}  // namespace page_test
