// The file map: fetching extents from get_file_map, merging them, and
// translating file ranges into device extents.

#include "tests/vfs/recording_file_system.h"

#include "vfs/file_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

// Found by argument-dependent lookup; internal to this test program file.
namespace fssh {

static bool operator==(const file_io_vec& a, const file_io_vec& b)
{
    return a.offset == b.offset && a.length == b.length;
}

static void PrintTo(const file_io_vec& v, std::ostream* out)
{
    *out << "{" << v.offset << ", " << v.length << "}";
}

}  // namespace fssh

namespace page_test {
namespace {

using namespace fssh;
using Extents = std::vector<file_io_vec>;

struct file_map_deleter {
    void operator()(file_map* map) const { file_map_delete(map); }
};
using MapHolder = std::unique_ptr<file_map, file_map_deleter>;

class FileMapTest : public RecordingFileTest {
protected:
    MapHolder create(off_t size)
    {
        MapHolder map(file_map_create(device_, RECORDED_FILE_ID, size));
        EXPECT_NE(map, nullptr);
        return map;
    }

    // Translates and returns the vectors; the status goes to *status.
    Extents translate(file_map* map, off_t offset, size_t size, size_t alignment = 0,
                      size_t max = 64, status_code* status = nullptr)
    {
        Extents vectors(max);
        size_t count = max;
        status_code result =
            file_map_translate(map, offset, size, vectors.data(), &count, alignment);
        if (status != nullptr)
            *status = result;
        else
            EXPECT_EQ(result, FSSH_OK);
        vectors.resize(result == FSSH_OK || result == FSSH_EOVERFLOW ? count : 0);
        return vectors;
    }
};

TEST_F(FileMapTest, AlignedTranslationOfAShortFileIsExtendedToTheAlignment)
{
    file_.extents = {{40960, 4096}, {81920, 4096}};
    MapHolder map = create(5000);
    EXPECT_EQ(translate(map.get(), 0, 8192, 4096), (Extents{{40960, 4096}, {81920, 4096}}));
    // Without alignment the range stops at the file size.
    EXPECT_EQ(translate(map.get(), 0, 8192), (Extents{{40960, 4096}, {81920, 904}}));
    // A range that ends before the rounded size is only cut.
    EXPECT_EQ(translate(map.get(), 0, 6000, 4096), (Extents{{40960, 4096}, {81920, 904}}));
    EXPECT_EQ(translate(map.get(), 4096, 8192, 4096), (Extents{{81920, 4096}}));
}

TEST_F(FileMapTest, ExtentsContiguousOnTheDeviceAreStoredAsOne)
{
    file_.extents = {{1000, 100}, {1100, 200}, {1300, 50}, {5000, 10}};
    MapHolder map = create(360);
    EXPECT_EQ(translate(map.get(), 0, 360), (Extents{{1000, 350}, {5000, 10}}));
    EXPECT_EQ(map->count, 2u);
    EXPECT_EQ(map->heap_extents, nullptr);
    EXPECT_EQ(translate(map.get(), 120, 235), (Extents{{1120, 230}, {5000, 5}}));
}

TEST_F(FileMapTest, HolesMergeWithHolesOnly)
{
    // -1 + 100 == 99: a hole must not merge with an extent at device offset 99.
    file_.extents = {{-1, 100}, {-1, 50}, {99, 10}, {109, 10}, {-1, 5}};
    MapHolder map = create(175);
    EXPECT_EQ(translate(map.get(), 0, 175), (Extents{{-1, 150}, {99, 20}, {-1, 5}}));
    EXPECT_EQ(translate(map.get(), 20, 140), (Extents{{-1, 130}, {99, 10}}));
    EXPECT_EQ(map->count, 3u);
}

TEST_F(FileMapTest, ManyExtentsAreFetchedEightAtATimeAndOverflowTheCallersArray)
{
    for (int i = 0; i < 20; i++)
        file_.extents.push_back({i * 10000, 100});
    MapHolder map = create(2000);
    status_code status;
    Extents vectors = translate(map.get(), 50, 2000, 0, 16, &status);
    EXPECT_EQ(status, FSSH_EOVERFLOW);
    ASSERT_EQ(vectors.size(), 16u);
    EXPECT_EQ(vectors.front(), (file_io_vec{50, 50}));
    EXPECT_EQ(vectors.back(), (file_io_vec{150000, 100}));
    EXPECT_EQ(file_.map_requests, (std::vector<off_t>{0, 800, 1600}));
    EXPECT_EQ(map->count, 20u);

    vectors = translate(map.get(), 50, 2000, 0, 32, &status);
    EXPECT_EQ(status, FSSH_OK);
    EXPECT_EQ(vectors.size(), 20u);
    EXPECT_EQ(file_.map_requests.size(), 3u);  // nothing fetched twice
}

TEST_F(FileMapTest, ShrinkingCutsTheMapAndGrowingFetchesFromTheCut)
{
    file_.extents = {{0, 100}, {1000, 100}, {2000, 100}, {3000, 100}};
    MapHolder map = create(400);
    translate(map.get(), 0, 400);
    EXPECT_NE(map->heap_extents, nullptr);
    file_map_set_size(map.get(), 150);
    EXPECT_EQ(map->count, 2u);
    EXPECT_EQ(map->heap_extents, nullptr);  // back inline
    EXPECT_EQ(translate(map.get(), 0, 400), (Extents{{0, 100}, {1000, 50}}));
    file_.map_requests.clear();
    file_map_set_size(map.get(), 400);
    EXPECT_EQ(translate(map.get(), 0, 400),
              (Extents{{0, 100}, {1000, 100}, {2000, 100}, {3000, 100}}));
    EXPECT_EQ(file_.map_requests, (std::vector<off_t>{150}));
}

TEST_F(FileMapTest, InvalidationFetchesTheDroppedPartAgain)
{
    file_.extents = {{0, 100}, {1000, 100}};
    MapHolder map = create(200);
    translate(map.get(), 0, 200);
    file_.extents = {{0, 100}, {7000, 100}};  // the file system moved its second half
    file_map_invalidate(map.get(), 100, 0);
    EXPECT_EQ(translate(map.get(), 0, 200), (Extents{{0, 100}, {7000, 100}}));
    file_.extents = {{500, 200}};
    file_map_invalidate(map.get(), 0, 0);
    EXPECT_EQ(map->count, 0u);
    EXPECT_EQ(translate(map.get(), 0, 200), (Extents{{500, 200}}));
    EXPECT_EQ(file_.map_requests, (std::vector<off_t>{0, 100, 0}));
}

TEST_F(FileMapTest, WholeFileModeMapsAtOnceAndRefusesToMapBeyond)
{
    file_.extents = {{0, 100}, {1000, 100}, {2000, 100}};
    MapHolder map = create(300);
    EXPECT_EQ(file_map_set_mode(map.get(), 3), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(file_map_set_mode(map.get(), 0), FSSH_INVALID_ARGUMENT);
    ASSERT_EQ(file_map_set_mode(map.get(), FILE_MAP_WHOLE_FILE), FSSH_OK);
    EXPECT_EQ(map->count, 3u);
    EXPECT_TRUE(map->complete);
    EXPECT_EQ(file_map_set_mode(map.get(), FILE_MAP_WHOLE_FILE), FSSH_OK);
    EXPECT_EQ(file_.map_requests.size(), 1u);

    file_.extents.push_back({3000, 100});
    file_map_set_size(map.get(), 400);
    status_code status;
    translate(map.get(), 0, 400, 0, 64, &status);
    EXPECT_EQ(status, FSSH_ERROR);
    ASSERT_EQ(file_map_set_mode(map.get(), FILE_MAP_ON_DEMAND), FSSH_OK);
    EXPECT_EQ(translate(map.get(), 250, 400), (Extents{{2050, 50}, {3000, 100}}));
}

TEST_F(FileMapTest, OffsetsOutsideTheFile)
{
    file_.extents = {{0, 100}};
    MapHolder map = create(100);
    status_code status;
    EXPECT_TRUE(translate(map.get(), -1, 10, 0, 8, &status).empty());
    EXPECT_EQ(status, FSSH_INVALID_ARGUMENT);
    EXPECT_TRUE(translate(map.get(), 100, 10).empty());
    EXPECT_TRUE(translate(map.get(), 5000, 10).empty());
    EXPECT_TRUE(translate(map.get(), 0, 0).empty());
    EXPECT_TRUE(file_.map_requests.empty());
}

TEST_F(FileMapTest, MappingFailuresAreReported)
{
    MapHolder map = create(100);
    file_.map_failure = FSSH_IO_ERROR;
    status_code status;
    translate(map.get(), 0, 10, 0, 8, &status);
    EXPECT_EQ(status, FSSH_IO_ERROR);

    // A file system that maps nothing more must not keep the map asking.
    file_.map_failure = FSSH_OK;
    file_.extents = {{0, 50}};
    translate(map.get(), 0, 100, 0, 8, &status);
    EXPECT_EQ(status, FSSH_ERROR);
    EXPECT_EQ(file_.map_requests, (std::vector<off_t>{0, 0, 50}));
}

TEST_F(FileMapTest, MapForAnUnknownNodeIsNotMade)
{
    EXPECT_EQ(file_map_create(device_, 999, 10), nullptr);
}

// Random extent lists (holes, contiguous neighbours, gaps) and random
// translations, checked byte by byte against the device offset each file byte
// should have; with random invalidations and size changes in between.
TEST_F(FileMapTest, RandomTranslationsMatchAByteModel)
{
    std::mt19937_64 random(31337);
    for (int round = 0; round < 40; round++) {
        file_.extents.clear();
        file_.map_requests.clear();
        std::vector<off_t> device_of;  // per file byte, -1 for a hole
        off_t device = 4096;
        int extent_count = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < extent_count; i++) {
            off_t length = 1 + static_cast<off_t>(random() % 3000);
            bool hole = random() % 5 == 0;
            if (!hole && random() % 3 != 0)
                device += static_cast<off_t>(random() % 100000);  // a gap
            file_.extents.push_back({hole ? -1 : device, length});
            for (off_t j = 0; j < length; j++)
                device_of.push_back(hole ? -1 : device + j);
            if (!hole)
                device += length;
        }
        auto size = static_cast<off_t>(device_of.size());
        MapHolder map = create(size);
        for (int query = 0; query < 60; query++) {
            if (random() % 10 == 0)
                file_map_invalidate(map.get(), static_cast<off_t>(random() % size), 0);
            off_t offset = static_cast<off_t>(random() % size);
            size_t length = 1 + random() % static_cast<size_t>(size);
            size_t max = 1 + random() % 12;
            status_code status;
            Extents vectors = translate(map.get(), offset, length, 0, max, &status);
            ASSERT_TRUE(status == FSSH_OK || status == FSSH_EOVERFLOW) << status;
            off_t at = offset;
            for (const file_io_vec& vector : vectors) {
                ASSERT_GT(vector.length, 0);
                for (off_t j = 0; j < vector.length; j += std::max<off_t>(1, vector.length / 7)) {
                    off_t expected = device_of[static_cast<size_t>(at + j)];
                    ASSERT_EQ(vector.offset < 0 ? -1 : vector.offset + j, expected)
                        << "round " << round << " query " << query;
                }
                at += vector.length;
            }
            off_t wanted_end = std::min<off_t>(size, offset + static_cast<off_t>(length));
            if (status == FSSH_OK) {
                ASSERT_EQ(at, wanted_end);
            } else {
                ASSERT_EQ(vectors.size(), max);
            }
        }
    }
}

}  // namespace
}  // namespace page_test
