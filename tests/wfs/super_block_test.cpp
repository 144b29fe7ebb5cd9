#include "wfs/super_block.h"

#include "tests/wfs/fixture_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

using wfs::disk_super_block;

constexpr off_t VOLUME_SIZE = 60 * 1024 * 1024;
constexpr const char* SIZE_LINE = "wfs: SIZE: 512\n";
constexpr const char* INVALID_LINE = "wfs: invalid superblock at offset 512!\n";

disk_super_block new_super_block(uint32_t block_size, off_t device_size)
{
    disk_super_block super_block;
    wfs::initialize_super_block(&super_block, "test volume", block_size, device_size);
    return super_block;
}

struct CheckResult {
    fssh::status_code status;
    off_t offset;
    std::string output;
};

CheckResult run_check(const disk_super_block& super_block)
{
    uint8_t area[wfs::SUPER_BLOCK_AREA_SIZE] = {};
    memcpy(area + wfs::SUPER_BLOCK_OFFSET, &super_block, sizeof(super_block));
    CheckResult result{fssh::FSSH_OK, -1, ""};
    testing::internal::CaptureStdout();
    result.status = wfs::check_super_block(area, &result.offset);
    result.output = testing::internal::GetCapturedStdout();
    return result;
}

TEST(SuperBlockCheck, AcceptsNewVolumeAndReportsOffset512)
{
    CheckResult result = run_check(new_super_block(1024, 20 * 1024 * 1024));
    EXPECT_EQ(result.status, fssh::FSSH_OK);
    EXPECT_EQ(result.offset, 512);
    EXPECT_EQ(result.output, SIZE_LINE);
}

TEST(SuperBlockCheck, ReadsTheSuperBlockFromByte512)
{
    uint8_t area[wfs::SUPER_BLOCK_AREA_SIZE] = {};
    disk_super_block super_block = new_super_block(2048, 64 * 1024 * 1024);
    memcpy(area, &super_block, sizeof(super_block));  // at offset 0: ignored
    off_t offset = -1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(wfs::check_super_block(area, &offset), fssh::FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), SIZE_LINE);
}

struct BrokenSuperBlock {
    const char* name;
    std::function<void(disk_super_block&)> breakage;
    bool prints_invalid_line;
};

class BrokenSuperBlockTest : public testing::TestWithParam<BrokenSuperBlock> {};

TEST_P(BrokenSuperBlockTest, IsRefusedWithTheExactLines)
{
    // 61440 blocks of 1024 bytes: 8 bitmap blocks, 8 groups of 8192 blocks
    // (one bitmap block each, the last group 4096 blocks long), a 2048-block
    // log at block 9.
    disk_super_block super_block = new_super_block(1024, VOLUME_SIZE);
    ASSERT_EQ(run_check(super_block).status, fssh::FSSH_OK);
    GetParam().breakage(super_block);

    CheckResult result = run_check(super_block);
    EXPECT_EQ(result.status, fssh::FSSH_INVALID_ARGUMENT);
    std::string expected = SIZE_LINE;
    if (GetParam().prints_invalid_line)
        expected += INVALID_LINE;
    EXPECT_EQ(result.output, expected);
    EXPECT_FALSE(wfs::super_block_has_magic(super_block) && wfs::super_block_is_sound(super_block));
}

const BrokenSuperBlock broken_super_blocks[] = {
    {"FirstMagic", [](disk_super_block& s) { s.first_magic++; }, false},
    {"SecondMagic", [](disk_super_block& s) { s.second_magic = 0; }, false},
    {"ThirdMagic", [](disk_super_block& s) { s.third_magic ^= 1; }, false},
    {"InodeSizeDiffersFromBlockSize", [](disk_super_block& s) { s.inode_size = 2048; }, true},
    {"ByteOrder", [](disk_super_block& s) { s.byte_order = 0x45474942; }, true},
    {"BlockSizeNotOneShiftedByBlockShift", [](disk_super_block& s) { s.block_shift = 11; }, true},
    {"NoGroups", [](disk_super_block& s) { s.group_count = 0; }, true},
    {"NegativeGroupCount", [](disk_super_block& s) { s.group_count = -8; }, true},
    {"NoGroupShift", [](disk_super_block& s) { s.group_shift = 0; }, true},
    {"NoBitmapBlocks", [](disk_super_block& s) { s.group_bitmap_blocks = 0; }, true},
    {"NineBlocks",
        [](disk_super_block& s) {
            s.block_count = 9;
            s.group_count = 1;
        },
        true},
    {"NegativeBlockCount", [](disk_super_block& s) { s.block_count = -65536; }, true},
    {"OneGroupTooMany", [](disk_super_block& s) { s.group_count++; }, true},
    {"OneGroupTooFew", [](disk_super_block& s) { s.group_count--; }, true},
    // Geometry faults that the recorded rules let through.
    {"BlockShiftOf64OrMore", [](disk_super_block& s) { s.block_shift = 74; }, true},
    {"GroupShiftAbove16",
        [](disk_super_block& s) {
            s.group_shift = 17;
            s.group_bitmap_blocks = 16;
            s.group_count = 1;
        },
        true},
    {"GroupShift31",
        [](disk_super_block& s) {
            s.group_shift = 31;
            s.group_count = 1;
        },
        true},
    {"GroupShiftWithoutGroupSize",
        [](disk_super_block& s) {
            s.group_shift = 40;
            s.group_count = 1;
        },
        true},
    {"BitmapBlocksDisagreeWithGroupShift", [](disk_super_block& s) { s.group_bitmap_blocks = 2; },
        true},
    {"GroupShiftDisagreesWithBitmapBlocks",
        [](disk_super_block& s) {
            s.group_shift = 14;
            s.group_count = 4;
        },
        true},
    {"BlockSize512",
        [](disk_super_block& s) {
            s.block_size = 512;
            s.inode_size = 512;
            s.block_shift = 9;
            s.group_bitmap_blocks = 2;
            s.log_area.start = 16;  // behind the 15 bitmap blocks
        },
        true},
    {"EmptyLogArea", [](disk_super_block& s) { s.log_area.length = 0; }, true},
    {"LogAreaInMissingGroup", [](disk_super_block& s) { s.log_area.allocation_group = 8; }, true},
    {"LogAreaInNegativeGroup", [](disk_super_block& s) { s.log_area.allocation_group = -1; }, true},
    {"LogAreaCrossesGroupEnd", [](disk_super_block& s) { s.log_area.start = 7000; }, true},
    {"LogAreaPastVolumeEnd",
        [](disk_super_block& s) {
            s.log_area.allocation_group = 7;
            s.log_area.start = 3000;
        },
        true},
    {"LogAreaOverBitmap", [](disk_super_block& s) { s.log_area.start = 8; }, true},
    {"LogAreaOverSuperBlock", [](disk_super_block& s) { s.log_area.start = 0; }, true},
};

INSTANTIATE_TEST_SUITE_P(Rules, BrokenSuperBlockTest, testing::ValuesIn(broken_super_blocks),
    [](const testing::TestParamInfo<BrokenSuperBlock>& info) { return info.param.name; });

TEST(SuperBlockCheck, AcceptsLogAreaEndingAtVolumeEnd)
{
    disk_super_block super_block = new_super_block(1024, VOLUME_SIZE);
    ASSERT_EQ(super_block.log_area.start, 9);
    super_block.log_area.allocation_group = 7;
    super_block.log_area.start = 4096 - 2048;
    EXPECT_EQ(run_check(super_block).status, fssh::FSSH_OK);
    super_block.log_area.start++;
    EXPECT_EQ(run_check(super_block).status, fssh::FSSH_INVALID_ARGUMENT);
}

// Geometry of new volumes.

TEST(NewVolumeGeometry, LogLengthFollowsVolumeAndDeviceSize)
{
    struct Case {
        off_t device_size;
        uint32_t block_size;
        uint16_t log_length;
    } cases[] = {
        {20480LL * 1024, 1024, 512},
        {20481LL * 1024, 1024, 2048},
        {20480LL * 4096, 4096, 512},
        {0x40000000LL, 1024, 2048},
        {0x40000001LL, 1024, 4096},
        {0x40000001LL, 8192, 4096},
    };
    for (const Case& c : cases) {
        disk_super_block super_block = new_super_block(c.block_size, c.device_size);
        EXPECT_EQ(super_block.log_area.length, c.log_length)
            << c.device_size << " bytes of " << c.block_size;
        EXPECT_EQ(run_check(super_block).status, fssh::FSSH_OK);
    }
}

TEST(NewVolumeGeometry, OneGibibyteOfKibibyteBlocksHas32GroupsOf4BitmapBlocks)
{
    disk_super_block super_block = new_super_block(1024, 1LL << 30);
    EXPECT_EQ(super_block.block_count, 1048576);
    EXPECT_EQ(wfs::bitmap_block_count(super_block.block_count, 1024), 128);
    EXPECT_EQ(super_block.group_shift, 15);
    EXPECT_EQ(super_block.group_bitmap_blocks, 4);
    EXPECT_EQ(super_block.group_count, 32);
    // The log follows the 128 bitmap blocks.
    EXPECT_EQ(wfs::run_to_block(super_block.log_area, 15), 129);
    EXPECT_EQ(super_block.log_start, 129);
    EXPECT_EQ(super_block.log_end, 129);
}

TEST(NewVolumeGeometry, FieldsOfANewVolume)
{
    disk_super_block super_block;
    wfs::initialize_super_block(&super_block, "a name much longer than thirty-one characters",
        2048, 10 * 1024 * 1024);
    EXPECT_STREQ(super_block.volume_name, "a name much longer than thirty-");
    EXPECT_EQ(super_block.first_magic, 0x57465331);
    EXPECT_EQ(super_block.second_magic, static_cast<int32_t>(0xdd121031));
    EXPECT_EQ(super_block.third_magic, 0x15b6830e);
    EXPECT_EQ(super_block.byte_order, 0x42494745);
    EXPECT_EQ(super_block.flags, wfs::VOLUME_CLEAN);
    EXPECT_EQ(super_block.block_shift, 11u);
    EXPECT_EQ(super_block.inode_size, 2048);
    EXPECT_EQ(super_block.block_count, 5120);
    EXPECT_EQ(super_block.used_block_count, 0);
    EXPECT_TRUE(super_block.root_inode.IsEmpty());
    EXPECT_TRUE(super_block.index_root.IsEmpty());
    for (uint8_t byte : super_block.reserved)
        EXPECT_EQ(byte, 0);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&super_block);
    // The magic numbers are stored as the bytes the format fixes.
    EXPECT_EQ(memcmp(raw + 32, "\x31\x53\x46\x57", 4), 0);
    EXPECT_EQ(memcmp(raw + 36, "\x45\x47\x49\x42", 4), 0);
    EXPECT_EQ(memcmp(raw + 84, "NELC", 4), 0);
}

TEST(NewVolumeGeometry, EveryBlockSizeAndSizeGivesASoundVolume)
{
    const uint32_t block_sizes[] = {1024, 2048, 4096, 8192};
    const off_t sizes[] = {8LL << 20, 20LL << 20, 100LL << 20, 1LL << 30, (1LL << 30) + 4096,
        8LL << 30, 200LL << 30, 3LL << 40};
    for (uint32_t block_size : block_sizes) {
        for (off_t size : sizes) {
            disk_super_block super_block = new_super_block(block_size, size);
            SCOPED_TRACE(testing::Message() << size << " bytes of " << block_size);
            EXPECT_EQ(uint32_t{1} << super_block.block_shift, block_size);
            EXPECT_LE(super_block.group_shift, 16);
            EXPECT_EQ(int64_t{super_block.group_bitmap_blocks} * block_size * 8,
                int64_t{1} << super_block.group_shift);
            EXPECT_TRUE(super_block.group_count <= 56 || super_block.group_shift == 16);
            EXPECT_EQ(run_check(super_block).status, fssh::FSSH_OK);
        }
    }
}

TEST(NewVolumeGeometry, GroupShiftStartsFromBlockSize)
{
    const struct {
        uint32_t block_size;
        int32_t group_shift;
    } cases[] = {{1024, 13}, {2048, 14}, {4096, 15}, {8192, 16}};
    for (const auto& c : cases)
        EXPECT_EQ(new_super_block(c.block_size, 16LL << 20).group_shift, c.group_shift);
}

TEST(NewVolumeGeometry, TooSmallDeviceFailsTheCheck)
{
    // 300 blocks cannot hold the 512-block log.
    EXPECT_EQ(run_check(new_super_block(1024, 300 * 1024)).status, fssh::FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(run_check(new_super_block(1024, 9 * 1024)).status, fssh::FSSH_INVALID_ARGUMENT);
}

// Volumes written by another implementation of the format.
class FixtureSuperBlockTest : public testing::TestWithParam<const char*> {};

TEST_P(FixtureSuperBlockTest, PassesTheCheck)
{
    wfs_test::FixtureImage image(GetParam());
    ASSERT_TRUE(image.unpacked());
    std::vector<uint8_t> contents = image.Contents();
    ASSERT_GE(contents.size(), wfs::SUPER_BLOCK_AREA_SIZE);
    off_t offset = -1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(wfs::check_super_block(contents.data(), &offset), fssh::FSSH_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), SIZE_LINE);
    EXPECT_EQ(offset, 512);
}

INSTANTIATE_TEST_SUITE_P(Images, FixtureSuperBlockTest,
    testing::Values("tiny-1k", "tiny-1k-dirty", "dirs-4k", "dirs-4k-dirty", "noindex-8k",
        "noindex-8k-dirty"),
    [](const testing::TestParamInfo<const char*>& info) {
        return wfs_test::fixture_test_name(info.param);
    });

}  // namespace
