// read_extent_vecs and write_extent_vecs against a real image file and a loop
// device over it, and a file system's page hook built from them.

#include "tests/support/host_facility.h"
#include "tests/support/loop_device.h"
#include "tests/vfs/recording_file_system.h"

#include "kernel/host_file.h"
#include "kernel/open_mode.h"
#include "vfs/extent_io.h"
#include "vfs/file_cache.h"
#include "vfs/file_map.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace page_test {
namespace {

using namespace fssh;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t IMAGE_SIZE = 1 << 20;

uint8_t image_byte(uint64_t offset)
{
    return static_cast<uint8_t>(offset * 31 + offset / 251);
}

// An image file filled with image_byte(), and a kernel descriptor for it.
class ExtentImage {
public:
    ExtentImage() : image_(IMAGE_SIZE)
    {
        if (!image_.created())
            return;
        Bytes contents(IMAGE_SIZE);
        for (uint64_t i = 0; i < IMAGE_SIZE; i++)
            contents[i] = image_byte(i);
        int fd = ::open(image_.path().c_str(), O_WRONLY);
        if (fd >= 0) {
            filled_ = ::pwrite(fd, contents.data(), contents.size(), 0)
                == static_cast<ssize_t>(contents.size());
            ::close(fd);
        }
    }

    bool ready() const { return filled_; }
    const std::string& path() const { return image_.path(); }

    // The bytes of the image file as the host sees them.
    Bytes host_bytes(off_t offset, size_t size) const
    {
        Bytes bytes(size);
        int fd = ::open(image_.path().c_str(), O_RDONLY);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::pread(fd, bytes.data(), size, offset), static_cast<ssize_t>(size));
        ::close(fd);
        return bytes;
    }

private:
    test_support::ScratchImage image_;
    bool filled_ = false;
};

Bytes expected_image(off_t offset, size_t size)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; i++)
        bytes[i] = image_byte(static_cast<uint64_t>(offset) + i);
    return bytes;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Memory split into vectors of the given sizes.
struct Vectors {
    explicit Vectors(const std::vector<size_t>& sizes, uint8_t fill = 0xaa)
    {
        size_t total = 0;
        for (size_t size : sizes)
            total += size;
        memory.assign(total, fill);
        size_t at = 0;
        for (size_t size : sizes) {
            list.push_back(iovec{memory.data() + at, size});
            at += size;
        }
    }
    Bytes memory;
    std::vector<iovec> list;
};

struct Position {
    size_t index = 0;
    size_t offset = 0;
    size_t bytes = 0;
};

status_code read_extents(int fd, const std::vector<file_io_vec>& extents, Vectors& vectors,
                         Position& position)
{
    return read_extent_vecs(fd, extents.data(), extents.size(), vectors.list.data(),
                            vectors.list.size(), &position.index, &position.offset,
                            &position.bytes);
}

status_code write_extents(int fd, const std::vector<file_io_vec>& extents, Vectors& vectors,
                          Position& position)
{
    return write_extent_vecs(fd, extents.data(), extents.size(), vectors.list.data(),
                             vectors.list.size(), &position.index, &position.offset,
                             &position.bytes);
}

// Runs each test on the image file itself and on a loop device over it (where
// the host file layer turns the requests into whole-sector I/O).
class ExtentIoTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(image_.ready());
        std::string device = image_.path();
        if (GetParam()) {
            loop_ = std::make_unique<test_support::LoopDevice>(image_.path());
            REQUIRE_HOST_FACILITY(loop_->attached(), "loop device: " + loop_->error());
            device = loop_->path();
        }
        fd_ = fssh_open(device.c_str(), FSSH_O_RDWR, 0);
        ASSERT_GE(fd_, 0) << status_text(get_kernel_errno());
    }

    void TearDown() override
    {
        if (fd_ >= 0) {
            EXPECT_EQ(fssh_close(fd_), FSSH_OK);
        }
    }

    // The device's bytes read back through the helper itself.
    Bytes device_bytes(off_t offset, size_t size)
    {
        Vectors vectors({size});
        Position position{0, 0, size};
        EXPECT_EQ(read_extents(fd_, {{offset, static_cast<off_t>(size)}}, vectors, position),
                  FSSH_OK);
        EXPECT_EQ(position.bytes, size);
        return vectors.memory;
    }

    ExtentImage image_;
    std::unique_ptr<test_support::LoopDevice> loop_;
    int fd_ = -1;
};

TEST_P(ExtentIoTest, ReadsExtentsAndHolesIntoScatteredVectors)
{
    std::vector<file_io_vec> extents = {{4099, 1000}, {-1, 500}, {65553, 3000}};
    Vectors vectors(std::vector<size_t>(7, 700));
    Position position{0, 0, 4500};
    ASSERT_EQ(read_extents(fd_, extents, vectors, position), FSSH_OK);
    EXPECT_EQ(position.bytes, 4500u);
    EXPECT_EQ(position.index, 6u);
    EXPECT_EQ(position.offset, 300u);
    Bytes expected = concat({expected_image(4099, 1000), Bytes(500, 0),
                             expected_image(65553, 3000), Bytes(400, 0xaa)});
    EXPECT_EQ(vectors.memory, expected);
}

TEST_P(ExtentIoTest, ContinuesAtTheGivenVectorPositionAndStopsWhenMemoryRunsOut)
{
    Vectors vectors({400, 400, 0, 400});
    Position position{1, 250, 2000};
    ASSERT_EQ(read_extents(fd_, {{1000, 2000}}, vectors, position), FSSH_OK);
    EXPECT_EQ(position.bytes, 550u);
    EXPECT_EQ(position.index, 4u);
    EXPECT_EQ(position.offset, 0u);
    EXPECT_EQ(vectors.memory, concat({Bytes(650, 0xaa), expected_image(1000, 550)}));
}

TEST_P(ExtentIoTest, ManySmallVectorsAreGatheredInBatches)
{
    Vectors vectors(std::vector<size_t>(100, 13));
    std::vector<file_io_vec> extents = {{777, 601}, {300001, 699}};
    Position position{0, 0, 1300};
    ASSERT_EQ(read_extents(fd_, extents, vectors, position), FSSH_OK);
    EXPECT_EQ(position.bytes, 1300u);
    EXPECT_EQ(position.index, 100u);
    EXPECT_EQ(vectors.memory, concat({expected_image(777, 601), expected_image(300001, 699)}));
}

TEST_P(ExtentIoTest, ShortReadAtTheEndOfTheDeviceEndsTheCall)
{
    Vectors vectors({1000, 1000});
    Position position{0, 0, 2000};
    ASSERT_EQ(read_extents(fd_, {{IMAGE_SIZE - 100, 1000}, {0, 1000}}, vectors, position),
              FSSH_OK);
    EXPECT_EQ(position.bytes, 100u);
    EXPECT_EQ(position.index, 0u);
    EXPECT_EQ(position.offset, 100u);
    EXPECT_EQ(Bytes(vectors.memory.begin(), vectors.memory.begin() + 100),
              expected_image(IMAGE_SIZE - 100, 100));
}

TEST_P(ExtentIoTest, WritesLandWhereTheExtentsSayAndNowhereElse)
{
    Vectors vectors({1000, 3234});
    for (size_t i = 0; i < vectors.memory.size(); i++)
        vectors.memory[i] = static_cast<uint8_t>(i * 7 + 1);
    std::vector<file_io_vec> extents = {{8197, 3000}, {200001, 1234}};
    Position position{0, 0, 4234};
    ASSERT_EQ(write_extents(fd_, extents, vectors, position), FSSH_OK);
    EXPECT_EQ(position.bytes, 4234u);
    EXPECT_EQ(position.index, 2u);

    Bytes first(vectors.memory.begin(), vectors.memory.begin() + 3000);
    Bytes second(vectors.memory.begin() + 3000, vectors.memory.end());
    EXPECT_EQ(device_bytes(8192, 3010),
              concat({expected_image(8192, 5), first, expected_image(11197, 5)}));
    EXPECT_EQ(device_bytes(200000, 1236),
              concat({expected_image(200000, 1), second, expected_image(201235, 1)}));
}

TEST_P(ExtentIoTest, WritingIntoAHoleIsRefusedBeforeAnythingIsWritten)
{
    Vectors vectors({300}, 0x55);
    Position position{0, 0, 300};
    EXPECT_EQ(write_extents(fd_, {{4096, 100}, {-1, 100}, {8192, 100}}, vectors, position),
              FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(position.bytes, 300u);
    EXPECT_EQ(device_bytes(4096, 100), expected_image(4096, 100));

    // A hole beyond the bytes asked for is never reached.
    position = Position{0, 0, 100};
    ASSERT_EQ(write_extents(fd_, {{4096, 100}, {-1, 100}}, vectors, position), FSSH_OK);
    EXPECT_EQ(position.bytes, 100u);
    EXPECT_EQ(device_bytes(4096, 100), Bytes(100, 0x55));
}

TEST_P(ExtentIoTest, NoExtentsOrNoDeviceAreErrors)
{
    Vectors vectors({10});
    Position position{0, 0, 10};
    EXPECT_EQ(read_extents(fd_, {}, vectors, position), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(write_extents(fd_, {}, vectors, position), FSSH_INVALID_ARGUMENT);
    status_code status = read_extents(12345, {{0, 10}}, vectors, position);
    EXPECT_LT(status, 0);
    EXPECT_NE(status, FSSH_ERROR);
}

INSTANTIATE_TEST_SUITE_P(Devices, ExtentIoTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "LoopDevice" : "ImageFile";
                         });

// Random extent layouts and vector splits: what is written through one split
// reads back through another, and the image file holds exactly the model.
TEST(ExtentIoModelTest, RandomWritesAndReadsMatchAModel)
{
    ExtentImage image;
    ASSERT_TRUE(image.ready());
    int fd = fssh_open(image.path().c_str(), FSSH_O_RDWR, 0);
    ASSERT_GE(fd, 0);
    Bytes model = expected_image(0, IMAGE_SIZE);
    std::mt19937_64 random(4242);

    auto random_split = [&](size_t total) {
        std::vector<size_t> sizes;
        while (total > 0) {
            size_t size = std::min<size_t>(total, random() % 3 == 0 ? 0 : 1 + random() % 900);
            sizes.push_back(size);
            total -= size;
        }
        return sizes;
    };

    // Disjoint extents in random order over the image: one per 16 KiB slot,
    // starting in its first 4000 bytes and at most 5000 bytes long.
    constexpr off_t SLOT = IMAGE_SIZE / 64;
    for (int round = 0; round < 200; round++) {
        std::vector<file_io_vec> extents;
        size_t total = 0;
        int count = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < count; i++) {
            off_t slot = static_cast<off_t>(random() % 64) * SLOT;
            bool taken = false;
            for (const file_io_vec& extent : extents)
                taken |= extent.offset - extent.offset % SLOT == slot;
            if (taken)
                continue;
            off_t length = 1 + static_cast<off_t>(random() % 5000);
            extents.push_back({slot + static_cast<off_t>(random() % 4000), length});
            total += static_cast<size_t>(length);
        }

        Vectors source(random_split(total));
        for (uint8_t& byte : source.memory)
            byte = static_cast<uint8_t>(random());
        Position written{0, 0, total};
        ASSERT_EQ(write_extents(fd, extents, source, written), FSSH_OK);
        ASSERT_EQ(written.bytes, total);
        size_t at = 0;
        for (const file_io_vec& extent : extents) {
            std::copy(source.memory.begin() + at, source.memory.begin() + at + extent.length,
                      model.begin() + extent.offset);
            at += static_cast<size_t>(extent.length);
        }

        Vectors target(random_split(total));
        Position read{0, 0, total};
        ASSERT_EQ(read_extents(fd, extents, target, read), FSSH_OK);
        ASSERT_EQ(read.bytes, total);
        ASSERT_EQ(target.memory, source.memory) << "round " << round;
    }
    EXPECT_EQ(fssh_close(fd), FSSH_OK);
    EXPECT_EQ(image.host_bytes(0, IMAGE_SIZE), model);
}

// A page hook built like a disk file system's: translate through the file map
// (eight extents at a time), then move the bytes with read_extent_vecs,
// continuing at the memory position where the last batch stopped. A file
// cache read over a fragmented file with holes must return the file's bytes.
class PageHookOverImageTest : public RecordingFileTest {};

TEST_F(PageHookOverImageTest, FileCacheReadThroughFileMapAndExtentsReturnsTheFile)
{
    ExtentImage image;
    ASSERT_TRUE(image.ready());
    int fd = fssh_open(image.path().c_str(), FSSH_O_RDONLY, 0);
    ASSERT_GE(fd, 0);

    // 40 fragments of 5000 bytes, every fifth a hole, scattered over the image.
    Bytes contents;
    for (int i = 0; i < 40; i++) {
        off_t device = i % 5 == 4 ? -1 : static_cast<off_t>((i * 37 % 40) * 20000 + 123);
        file_.extents.push_back({device, 5000});
        Bytes part = device < 0 ? Bytes(5000, 0) : expected_image(device, 5000);
        contents.insert(contents.end(), part.begin(), part.end());
    }
    auto size = static_cast<off_t>(contents.size());
    file_map* map = file_map_create(device_, RECORDED_FILE_ID, size);
    file_cache* cache = file_cache_create(device_, RECORDED_FILE_ID, size);
    ASSERT_NE(map, nullptr);
    ASSERT_NE(cache, nullptr);

    file_.read_contents = [&](off_t position, const iovec* vectors, size_t count) {
        size_t left = 0;
        for (size_t i = 0; i < count; i++)
            left += vectors[i].iov_len;
        size_t index = 0;
        size_t offset = 0;
        while (true) {
            file_io_vec extents[8];
            size_t extent_count = 8;
            status_code translated =
                file_map_translate(map, position, left, extents, &extent_count, 0);
            if (translated != FSSH_OK && translated != FSSH_EOVERFLOW)
                return translated;
            size_t bytes = left;
            status_code status = read_extent_vecs(fd, extents, extent_count, vectors, count,
                                                  &index, &offset, &bytes);
            if (status != FSSH_OK || translated == FSSH_OK)
                return status;
            position += static_cast<off_t>(bytes);
            left -= bytes;
        }
    };

    Bytes buffer(contents.size() + 100, 0xcc);
    size_t length = buffer.size();
    ASSERT_EQ(file_cache_read(cache, nullptr, 0, buffer.data(), &length), FSSH_OK);
    EXPECT_EQ(length, contents.size());
    buffer.resize(length);
    EXPECT_EQ(buffer, contents);
    EXPECT_EQ(file_.calls.size(), 1u);  // 200000 bytes: one transfer

    Bytes middle(70001);
    length = middle.size();
    ASSERT_EQ(file_cache_read(cache, nullptr, 12345, middle.data(), &length), FSSH_OK);
    EXPECT_EQ(middle, Bytes(contents.begin() + 12345, contents.begin() + 12345 + 70001));

    file_cache_delete(cache);
    file_map_delete(map);
    EXPECT_EQ(fssh_close(fd), FSSH_OK);
}

}  // namespace
}  // namespace page_test
