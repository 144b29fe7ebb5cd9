// Reads and writes through the host file layer on real block devices (loop
// devices over image files, with 512- and 4096-byte sectors) and on plain
// image files, checked byte for byte against a model of the medium.

#include "kernel/host_file.h"
#include "kernel/open_mode.h"
#include "tests/support/host_facility.h"
#include "tests/support/loop_device.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fssh {
namespace {

using test_support::LoopDevice;
using test_support::LoopOptions;
using test_support::ScratchImage;

using bytes = std::vector<uint8_t>;

constexpr uint64_t MEDIUM_SIZE = 16 * 4096;
constexpr uint8_t SENTINEL = 0xEE;

bytes random_bytes(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    bytes data(size);
    for (uint8_t& byte : data)
        byte = static_cast<uint8_t>(generator());
    return data;
}

bytes read_host_file(const std::string& path, size_t size)
{
    bytes data(size);
    int fd = open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0) << path;
    EXPECT_EQ(pread(fd, data.data(), size, 0), static_cast<ssize_t>(size));
    close(fd);
    return data;
}

void write_host_file(const std::string& path, const bytes& data)
{
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(pwrite(fd, data.data(), data.size(), 0), static_cast<ssize_t>(data.size()));
    close(fd);
}

enum class Medium { loop_device, image_file };

// An image file filled with random bytes, reached either through a loop
// device with the given sector size or directly, and opened with fssh_open.
class MediumUnderTest {
public:
    MediumUnderTest(Medium medium, uint32_t sector_size, uint64_t size = MEDIUM_SIZE,
                    uint32_t open_mode = FSSH_O_RDWR)
        : image_(size), contents_(random_bytes(size, 2026))
    {
        if (!image_.created())
            return;
        write_host_file(image_.path(), contents_);
        if (medium == Medium::loop_device) {
            loop_ = std::make_unique<LoopDevice>(image_.path(),
                                                 LoopOptions{.sector_size = sector_size});
            if (!loop_->attached())
                return;
        }
        descriptor_ = fssh_open(path().c_str(), open_mode, 0);
    }

    ~MediumUnderTest()
    {
        if (descriptor_ >= 0)
            fssh_close(descriptor_);
    }

    // Why the medium is not usable, or empty.
    std::string problem() const
    {
        if (!image_.created())
            return image_.error();
        if (loop_ && !loop_->attached())
            return loop_->error();
        if (descriptor_ < 0)
            return "fssh_open failed on " + path();
        return "";
    }
    bool loop_missing() const { return loop_ && !loop_->attached(); }

    int descriptor() const { return descriptor_; }
    const std::string& path() const { return loop_ ? loop_->path() : image_.path(); }
    const std::string& image_path() const { return image_.path(); }
    // What the medium held before the test touched it.
    const bytes& original() const { return contents_; }
    // What the medium holds now, read with plain host calls.
    bytes current() const { return read_host_file(path(), contents_.size()); }

private:
    ScratchImage image_;
    std::unique_ptr<LoopDevice> loop_;
    bytes contents_;
    int descriptor_ = -1;
};

#define REQUIRE_MEDIUM(medium)                                                          \
    do {                                                                                \
        REQUIRE_HOST_FACILITY(!(medium).loop_missing(), (medium).problem());            \
        ASSERT_EQ((medium).problem(), "");                                              \
    } while (0)

off_t host_position(int descriptor)
{
    return fssh_lseek(descriptor, 0, 1);
}

// A length in terms of the sector size S: sectors x S + eighths x S/8 + bytes.
struct Span {
    int64_t sectors;
    int64_t eighths;
    int64_t bytes;

    int64_t in(uint32_t sector_size) const
    {
        return sectors * sector_size + eighths * (sector_size / 8) + bytes;
    }
};

struct TransferCase {
    const char* name;
    Span position;  // negative: counted back from the end of the medium
    Span size;
};

// On 4096-byte sectors the first two are 1024 bytes at 512 and 10 bytes at 4090.
const TransferCase TRANSFER_CASES[] = {
    {"InsideOneSector", {0, 1, 0}, {0, 2, 0}},
    {"AcrossOneBoundary", {1, 0, -6}, {0, 0, 10}},
    {"EndingOnABoundary", {1, 0, -10}, {0, 0, 10}},
    {"StartingOnABoundary", {1, 0, 0}, {0, 0, 10}},
    {"WholeSectors", {1, 0, 0}, {2, 0, 0}},
    {"HeadWholeSectorsAndTail", {0, 0, 100}, {3, 0, 50}},
    {"HeadAndWholeSectors", {1, 4, 0}, {2, 4, 0}},
    {"WholeSectorsAndTail", {2, 0, 0}, {1, 0, 7}},
    {"HeadAndTailOnly", {1, 7, 0}, {0, 2, 0}},
    {"LastBytesOfTheMedium", {0, 0, -5}, {0, 0, 5}},
    {"Nothing", {0, 0, 3}, {0, 0, 0}},
};

using TransferParameters = std::tuple<Medium, uint32_t, TransferCase>;

class Transfer : public testing::TestWithParam<TransferParameters> {
protected:
    Medium medium() const { return std::get<0>(GetParam()); }
    uint32_t sector_size() const { return std::get<1>(GetParam()); }
    off_t position() const
    {
        int64_t position = std::get<2>(GetParam()).position.in(sector_size());
        return position < 0 ? static_cast<off_t>(MEDIUM_SIZE) + position : position;
    }
    size_t size() const { return static_cast<size_t>(std::get<2>(GetParam()).size.in(sector_size())); }
};

TEST_P(Transfer, ReadDeliversExactlyTheRequestedBytes)
{
    MediumUnderTest medium(this->medium(), sector_size());
    REQUIRE_MEDIUM(medium);
    bytes buffer(size() + 64, SENTINEL);

    ASSERT_EQ(fssh_pread(medium.descriptor(), position(), buffer.data(), size()),
              static_cast<ssize_t>(size()));

    bytes expected(medium.original().begin() + position(),
                   medium.original().begin() + position() + static_cast<off_t>(size()));
    expected.resize(size() + 64, SENTINEL);
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(host_position(medium.descriptor()), position() + static_cast<off_t>(size()));
}

TEST_P(Transfer, WriteChangesExactlyTheRequestedBytes)
{
    MediumUnderTest medium(this->medium(), sector_size());
    REQUIRE_MEDIUM(medium);
    bytes data = random_bytes(size(), 7);

    ASSERT_EQ(fssh_pwrite(medium.descriptor(), position(), data.data(), size()),
              static_cast<ssize_t>(size()));

    bytes expected = medium.original();
    std::copy(data.begin(), data.end(), expected.begin() + position());
    EXPECT_EQ(medium.current(), expected);
    EXPECT_EQ(host_position(medium.descriptor()), position() + static_cast<off_t>(size()));
}

TEST_P(Transfer, ReadAtTheCurrentPositionAdvancesIt)
{
    MediumUnderTest medium(this->medium(), sector_size());
    REQUIRE_MEDIUM(medium);
    ASSERT_EQ(fssh_lseek(medium.descriptor(), position(), 0), position());
    bytes buffer(size());

    ASSERT_EQ(fssh_read(medium.descriptor(), buffer.data(), size()), static_cast<ssize_t>(size()));

    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), medium.original().begin() + position()));
    EXPECT_EQ(host_position(medium.descriptor()), position() + static_cast<off_t>(size()));
}

std::string transfer_name(const testing::TestParamInfo<TransferParameters>& info)
{
    return std::string(std::get<0>(info.param) == Medium::loop_device ? "Device" : "ImageFile") +
           std::to_string(std::get<1>(info.param)) + "_" + std::get<2>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Transfer,
                         testing::Combine(testing::Values(Medium::loop_device, Medium::image_file),
                                          testing::Values(512u, 4096u),
                                          testing::ValuesIn(TRANSFER_CASES)),
                         transfer_name);

// The device's end and failing host calls, on 4096-byte sectors.
class DeviceEdge : public testing::Test {
protected:
    static constexpr off_t END = static_cast<off_t>(MEDIUM_SIZE);
};

struct ShortReadCase {
    off_t from_end;  // the position, counted back from the end
    size_t size;
    ssize_t expected;
};

TEST_F(DeviceEdge, ReadPastTheEndDeliversOnlyTheBytesThatExist)
{
    const ShortReadCase cases[] = {{5, 10, 5}, {4096 + 5, 4096 + 10, 4096 + 5}, {0, 10, 0}, {100, 4096, 100}};
    MediumUnderTest medium(Medium::loop_device, 4096);
    REQUIRE_MEDIUM(medium);
    for (const ShortReadCase& test : cases) {
        SCOPED_TRACE(test.from_end);
        off_t position = END - test.from_end;
        bytes buffer(test.size, SENTINEL);
        ASSERT_EQ(fssh_pread(medium.descriptor(), position, buffer.data(), test.size), test.expected);
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + test.expected,
                               medium.original().begin() + position));
        EXPECT_TRUE(std::all_of(buffer.begin() + test.expected, buffer.end(),
                                [](uint8_t byte) { return byte == SENTINEL; }));
        EXPECT_EQ(host_position(medium.descriptor()), position + test.expected);
    }
}

TEST_F(DeviceEdge, WriteAcrossTheEndChangesOnlyTheBytesInside)
{
    MediumUnderTest medium(Medium::loop_device, 4096);
    REQUIRE_MEDIUM(medium);
    bytes data = random_bytes(10, 3);

    EXPECT_EQ(fssh_pwrite(medium.descriptor(), END - 5, data.data(), data.size()), 5);

    bytes expected = medium.original();
    std::copy(data.begin(), data.begin() + 5, expected.end() - 5);
    EXPECT_EQ(medium.current(), expected);
    EXPECT_EQ(host_position(medium.descriptor()), END);
}

TEST_F(DeviceEdge, PartialSectorWriteAtTheEndFailsWithNoSpace)
{
    MediumUnderTest medium(Medium::loop_device, 4096);
    REQUIRE_MEDIUM(medium);
    EXPECT_EQ(fssh_pwrite(medium.descriptor(), END, "0123456789", 10), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_NO_SPACE);
    EXPECT_EQ(host_position(medium.descriptor()), END);
}

struct FailedWriteCase {
    off_t position;
    size_t size;
};

// The device is open for writing only, so reading a sector back fails: the
// write must not go ahead with a sector whose other bytes are unknown.
TEST_F(DeviceEdge, PartialSectorWriteThatCannotReadTheSectorChangesNothing)
{
    const FailedWriteCase cases[] = {{4090, 10}, {512, 1024}, {100, 3 * 4096 + 50}, {4096, 4096 + 7}};
    MediumUnderTest medium(Medium::loop_device, 4096, MEDIUM_SIZE, FSSH_O_WRONLY);
    REQUIRE_MEDIUM(medium);
    for (const FailedWriteCase& test : cases) {
        SCOPED_TRACE(test.position);
        bytes data = random_bytes(test.size, 5);
        if (test.position % 4096 == 0) {
            // The whole sectors at the front are written; the failed tail
            // sector is not, and the result says so.
            EXPECT_EQ(fssh_pwrite(medium.descriptor(), test.position, data.data(), test.size),
                      static_cast<ssize_t>(test.size / 4096 * 4096));
            bytes expected = medium.original();
            std::copy(data.begin(), data.begin() + 4096, expected.begin() + test.position);
            EXPECT_EQ(medium.current(), expected);
            continue;
        }
        EXPECT_EQ(fssh_pwrite(medium.descriptor(), test.position, data.data(), test.size), -1);
        EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
        EXPECT_EQ(medium.current(), medium.original());
        EXPECT_EQ(host_position(medium.descriptor()), test.position);
    }
}

TEST_F(DeviceEdge, PartialSectorReadThatFailsDeliversNothing)
{
    MediumUnderTest medium(Medium::loop_device, 4096, MEDIUM_SIZE, FSSH_O_WRONLY);
    REQUIRE_MEDIUM(medium);
    bytes buffer(1024, SENTINEL);
    EXPECT_EQ(fssh_pread(medium.descriptor(), 512, buffer.data(), buffer.size()), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(buffer, bytes(1024, SENTINEL));
    EXPECT_EQ(host_position(medium.descriptor()), 512);
}

struct ReportedFailureCase {
    const char* name;
    uint32_t open_mode;  // read-only makes writes fail, write-only reads
    bool write;
    off_t position;
    size_t size;
    const char* label;  // what the failing step reports itself as
};

class FailureReport : public testing::TestWithParam<ReportedFailureCase> {};

// Each failing host call of a split transfer is reported on standard error
// under the label of its step, followed by the host's reason.
TEST_P(FailureReport, NamesTheStepWhoseHostCallFailed)
{
    const ReportedFailureCase& c = GetParam();
    MediumUnderTest medium(Medium::loop_device, 4096, MEDIUM_SIZE, c.open_mode);
    REQUIRE_MEDIUM(medium);
    bytes buffer(c.size, SENTINEL);

    testing::internal::CaptureStderr();
    if (c.write)
        fssh_pwrite(medium.descriptor(), c.position, buffer.data(), c.size);
    else
        fssh_pread(medium.descriptor(), c.position, buffer.data(), c.size);

    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string(c.label) + ": " + strerror(EBADF) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FailureReport,
    testing::Values(
        ReportedFailureCase{"ReadInsideOneSector", FSSH_O_WRONLY, false, 512, 1024,
                            "read oneblock"},
        ReportedFailureCase{"ReadHead", FSSH_O_WRONLY, false, 100, 4096 + 100, "read seekDiff"},
        ReportedFailureCase{"ReadWholeSectors", FSSH_O_WRONLY, false, 0, 2 * 4096 + 10,
                            "read between"},
        ReportedFailureCase{"SectorReadBeforeWriteInsideOneSector", FSSH_O_WRONLY, true, 0, 100,
                            "pread oneblock"},
        ReportedFailureCase{"SectorReadBeforeWritingTheHead", FSSH_O_WRONLY, true, 4090, 10,
                            "pread seekDiff"},
        ReportedFailureCase{"SectorReadBeforeWritingTheTail", FSSH_O_WRONLY, true, 4096,
                            4096 + 7, "pread last"},
        ReportedFailureCase{"WriteInsideOneSector", FSSH_O_RDONLY, true, 0, 100,
                            "write oneblock"},
        ReportedFailureCase{"WriteHead", FSSH_O_RDONLY, true, 4090, 10, "write seekDiff"},
        ReportedFailureCase{"WriteWholeSectors", FSSH_O_RDONLY, true, 4096, 4096 + 7,
                            "write between"}),
    [](const testing::TestParamInfo<ReportedFailureCase>& info) { return info.param.name; });

// A regular file is read and written with plain host calls whatever the
// alignment: no sector is read back before a write, so a file open for
// writing only takes unaligned writes.
TEST(ImageFile, TakesUnalignedWritesWithoutReadingSectorsBack)
{
    MediumUnderTest medium(Medium::image_file, 4096, MEDIUM_SIZE, FSSH_O_WRONLY);
    REQUIRE_MEDIUM(medium);
    bytes expected = medium.original();
    for (const TransferCase& transfer : TRANSFER_CASES) {
        SCOPED_TRACE(transfer.name);
        int64_t position = transfer.position.in(4096);
        if (position < 0)
            position += static_cast<int64_t>(MEDIUM_SIZE);
        size_t size = static_cast<size_t>(transfer.size.in(4096));
        bytes data = random_bytes(size, static_cast<uint32_t>(position));

        ASSERT_EQ(fssh_pwrite(medium.descriptor(), position, data.data(), size),
                  static_cast<ssize_t>(size));

        std::copy(data.begin(), data.end(), expected.begin() + position);
        EXPECT_EQ(host_position(medium.descriptor()), position + static_cast<off_t>(size));
    }
    EXPECT_EQ(medium.current(), expected);
}

// /dev/zero answers no disk request: it is read in 512-byte sectors rather
// than in sectors of size 0.
TEST(DeviceWithoutSectorSize, IsReadInAssumedSectors)
{
    int descriptor = fssh_open("/dev/zero", FSSH_O_RDONLY, 0);
    ASSERT_GE(descriptor, 0);
    bytes buffer(20, SENTINEL);
    EXPECT_EQ(fssh_pread(descriptor, 0, buffer.data(), 10), 10);
    bytes expected(10, 0);
    expected.resize(20, SENTINEL);
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(fssh_close(descriptor), FSSH_OK);
}

std::vector<iovec> vectors_over(bytes& buffer, const std::vector<size_t>& lengths)
{
    std::vector<iovec> vectors;
    size_t offset = 0;
    for (size_t length : lengths) {
        vectors.push_back({buffer.data() + offset, length});
        offset += length;
    }
    return vectors;
}

TEST_F(DeviceEdge, VectorsAreTransferredInOrder)
{
    MediumUnderTest medium(Medium::loop_device, 4096);
    REQUIRE_MEDIUM(medium);
    const std::vector<size_t> lengths = {100, 5000, 0, 300, 4096};
    bytes buffer(9496);
    std::vector<iovec> vectors = vectors_over(buffer, lengths);

    ASSERT_EQ(fssh_preadv(medium.descriptor(), 50, vectors.data(), 5), 9496);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), medium.original().begin() + 50));
    EXPECT_EQ(host_position(medium.descriptor()), 50 + 9496);

    bytes data = random_bytes(buffer.size(), 11);
    std::vector<iovec> data_vectors = vectors_over(data, lengths);
    ASSERT_EQ(fssh_pwritev(medium.descriptor(), 4000, data_vectors.data(), 5), 9496);
    bytes expected = medium.original();
    std::copy(data.begin(), data.end(), expected.begin() + 4000);
    EXPECT_EQ(medium.current(), expected);

    EXPECT_EQ(fssh_lseek(medium.descriptor(), 4000, 0), 4000);
    bytes again(buffer.size());
    std::vector<iovec> again_vectors = vectors_over(again, lengths);
    EXPECT_EQ(fssh_readv(medium.descriptor(), again_vectors.data(), 5), 9496);
    EXPECT_EQ(again, data);
    EXPECT_EQ(fssh_readv(medium.descriptor(), again_vectors.data(), 0), 0);
}

TEST_F(DeviceEdge, VectorsEndAtTheFirstShortOne)
{
    MediumUnderTest medium(Medium::loop_device, 4096);
    REQUIRE_MEDIUM(medium);
    bytes buffer(450, SENTINEL);
    std::vector<iovec> vectors = vectors_over(buffer, {100, 300, 50});

    EXPECT_EQ(fssh_preadv(medium.descriptor(), END - 200, vectors.data(), 3), 200);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 200, medium.original().end() - 200));
    EXPECT_TRUE(std::all_of(buffer.begin() + 200, buffer.end(),
                            [](uint8_t byte) { return byte == SENTINEL; }));

    // A vector that fails after others succeeded gives the total so far.
    bytes data = random_bytes(15, 13);
    std::vector<iovec> data_vectors = vectors_over(data, {5, 10});
    EXPECT_EQ(fssh_pwritev(medium.descriptor(), END - 5, data_vectors.data(), 2), 5);
    // A failure in the first vector gives -1.
    EXPECT_EQ(fssh_pwritev(medium.descriptor(), END, data_vectors.data(), 2), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_NO_SPACE);
}

TEST_F(DeviceEdge, MoreThan1024VectorsAreRefusedBeforeAnyIO)
{
    MediumUnderTest medium(Medium::loop_device, 4096);
    REQUIRE_MEDIUM(medium);
    bytes buffer(1025, SENTINEL);
    std::vector<iovec> vectors = vectors_over(buffer, std::vector<size_t>(1025, 1));
    ASSERT_EQ(fssh_lseek(medium.descriptor(), 7, 0), 7);

    EXPECT_EQ(fssh_preadv(medium.descriptor(), 100, vectors.data(), 1025), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(fssh_pwritev(medium.descriptor(), 100, vectors.data(), 1025), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(fssh_preadv(medium.descriptor(), 100, vectors.data(), -1), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(host_position(medium.descriptor()), 7);
    EXPECT_EQ(buffer, bytes(1025, SENTINEL));
    EXPECT_EQ(medium.current(), medium.original());

    EXPECT_EQ(fssh_preadv(medium.descriptor(), 100, vectors.data(), 1024), 1024);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 1024, medium.original().begin() + 100));
}

struct GeometryCase {
    uint32_t sector_size;
    uint64_t media_size;
    uint32_t cylinders;
};

class Geometry : public testing::TestWithParam<GeometryCase> {};

// Loop devices report no firmware geometry: 64 sectors per track and 16
// heads stand in, and the cylinders cover the whole medium.
TEST_P(Geometry, DescribesTheWholeDevice)
{
    MediumUnderTest medium(Medium::loop_device, GetParam().sector_size, GetParam().media_size);
    REQUIRE_MEDIUM(medium);
    disk_geometry geometry;
    memset(&geometry, 0xA5, sizeof(geometry));

    ASSERT_EQ(fssh_ioctl(medium.descriptor(), IOCTL_QUERY_GEOMETRY, &geometry, sizeof(geometry)), 0);

    EXPECT_EQ(geometry.sector_size, GetParam().sector_size);
    EXPECT_EQ(geometry.sectors_per_track, 64u);
    EXPECT_EQ(geometry.heads, 16u);
    EXPECT_EQ(geometry.cylinders, GetParam().cylinders);
    EXPECT_EQ(geometry.media_type, 0);
    EXPECT_FALSE(geometry.removable);
    EXPECT_FALSE(geometry.read_only);
    EXPECT_FALSE(geometry.write_once);
}

INSTANTIATE_TEST_SUITE_P(Devices, Geometry,
                         testing::Values(GeometryCase{512, 1024 * 1024, 2},
                                         GeometryCase{512, 1280 * 1024, 3},
                                         GeometryCase{4096, 4096 * 1024, 1},
                                         GeometryCase{4096, 5120 * 1024, 2}));

TEST(GeometryReadOnly, ReadOnlyDeviceSaysSo)
{
    ScratchImage image(1024 * 1024);
    ASSERT_TRUE(image.created()) << image.error();
    LoopDevice loop(image.path(), LoopOptions{.sector_size = 512, .read_only = true});
    REQUIRE_HOST_FACILITY(loop.attached(), loop.error());
    // The host lets a read-only block device be opened for writing.
    int descriptor = fssh_open(loop.path().c_str(), FSSH_O_RDWR, 0);
    ASSERT_GE(descriptor, 0);
    disk_geometry geometry = {};

    ASSERT_EQ(fssh_ioctl(descriptor, IOCTL_QUERY_GEOMETRY, &geometry, sizeof(geometry)), 0);

    EXPECT_TRUE(geometry.read_only);
    fssh_close(descriptor);
}

TEST(GeometryRefusal, RegularFileIsNotADisk)
{
    MediumUnderTest medium(Medium::image_file, 512);
    REQUIRE_MEDIUM(medium);
    disk_geometry geometry;
    EXPECT_EQ(fssh_ioctl(medium.descriptor(), IOCTL_QUERY_GEOMETRY, &geometry, sizeof(geometry)), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_INVALID_ARGUMENT);
}

TEST(GeometryRefusal, CharacterDeviceIsRefusedRatherThanGivenSectorSizeZero)
{
    int descriptor = fssh_open("/dev/null", FSSH_O_RDWR, 0);
    ASSERT_GE(descriptor, 0);
    disk_geometry geometry = {};
    EXPECT_EQ(fssh_ioctl(descriptor, IOCTL_QUERY_GEOMETRY, &geometry, sizeof(geometry)), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_ENOTTY);
    EXPECT_EQ(geometry.sector_size, 0u);
    EXPECT_EQ(fssh_close(descriptor), FSSH_OK);
}

TEST(GeometryRefusal, MissingOrShortRecordIsAnInvalidArgument)
{
    MediumUnderTest medium(Medium::loop_device, 512);
    REQUIRE_MEDIUM(medium);
    disk_geometry geometry;
    EXPECT_EQ(fssh_ioctl(medium.descriptor(), IOCTL_QUERY_GEOMETRY, nullptr, sizeof(geometry)), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(fssh_ioctl(medium.descriptor(), IOCTL_QUERY_GEOMETRY, &geometry, sizeof(geometry) - 1), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_INVALID_ARGUMENT);
}

// Without the flush the written sector would still sit in the device's cache
// and the image file would show its old content.
TEST(DeviceRequest, FlushWritesTheDevicesDataThroughToTheImageFile)
{
    MediumUnderTest medium(Medium::loop_device, 4096);
    REQUIRE_MEDIUM(medium);
    bytes data = random_bytes(10, 17);
    ASSERT_EQ(fssh_pwrite(medium.descriptor(), 4090, data.data(), data.size()), 10);

    ASSERT_EQ(fssh_ioctl(medium.descriptor(), IOCTL_FLUSH_WRITE_CACHE, nullptr, 0), 0);

    bytes expected = medium.original();
    std::copy(data.begin(), data.end(), expected.begin() + 4090);
    EXPECT_EQ(read_host_file(medium.image_path(), MEDIUM_SIZE), expected);
}

TEST(DeviceRequest, FlushThatTheHostCannotDoIsAFailure)
{
    int descriptor = fssh_open("/dev/null", FSSH_O_WRONLY, 0);
    ASSERT_GE(descriptor, 0);
    EXPECT_EQ(fssh_ioctl(descriptor, IOCTL_FLUSH_WRITE_CACHE, nullptr, 0), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(fssh_close(descriptor), FSSH_OK);
}

TEST(DeviceRequest, FlushOfAnImageFileSucceeds)
{
    MediumUnderTest medium(Medium::image_file, 512);
    REQUIRE_MEDIUM(medium);
    EXPECT_EQ(fssh_ioctl(medium.descriptor(), IOCTL_FLUSH_WRITE_CACHE, nullptr, 0), 0);
}

struct RequestCase {
    uint32_t operation;
    int result;
};

class OtherRequests : public testing::TestWithParam<RequestCase> {};

TEST_P(OtherRequests, AreIgnoredOrRefused)
{
    MediumUnderTest medium(Medium::loop_device, 4096);
    REQUIRE_MEDIUM(medium);
    uint8_t argument[64] = {};
    set_kernel_errno(FSSH_OK);
    EXPECT_EQ(fssh_ioctl(medium.descriptor(), GetParam().operation, argument, sizeof(argument)),
              GetParam().result);
    EXPECT_EQ(get_kernel_errno(), GetParam().result == 0 ? FSSH_OK : FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(medium.current(), medium.original());
}

INSTANTIATE_TEST_SUITE_P(Operations, OtherRequests,
                         testing::Values(RequestCase{IOCTL_IGNORED, 0},
                                         RequestCase{IOCTL_TRIM_RANGES, -1},
                                         RequestCase{8, -1}, RequestCase{0, -1}));

}  // namespace
}  // namespace fssh
