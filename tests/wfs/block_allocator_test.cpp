#include "wfs/block_allocator.h"

#include "block_cache/cached_block_holder.h"
#include "tests/wfs/volume_image.h"
#include "wfs/allocation_group.h"
#include "wfs/inode_record.h"
#include "wfs/transaction.h"
#include "wfs/volume.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using wfs::block_run;
using wfs_test::Bytes;
using wfs_test::MountedVolume;
using wfs_test::VolumeImage;

using wfs_test::MIB;
// 24 MiB of 1024-byte blocks: 3 groups of 8192 blocks with one bitmap block
// each, and a 2048-block log at block 4, so blocks 0 to 2051 are reserved.
constexpr off_t THREE_GROUPS = 24 * MIB;
constexpr int64_t RESERVED = 2052;

constexpr int32_t FILE_MODE = 0x81a4;
constexpr int32_t DIRECTORY_MODE = 0x41ed;

// The bitmap as the block cache holds it, one entry per block.
std::vector<bool> bitmap_of(wfs::Volume& volume)
{
    std::vector<bool> bits(static_cast<size_t>(volume.NumBlocks()));
    const wfs::BlockAllocator& allocator = volume.Allocator();
    fssh::CachedBlockHolder block(volume.BlockCache());
    uint32_t bits_per_block = volume.BlockSize() * 8;
    int64_t number = 0;
    for (int32_t group = 0; group < allocator.GroupCount(); group++) {
        const wfs::AllocationGroup& summary = allocator.Group(group);
        for (int32_t bit = 0; bit < summary.Size(); bit++, number++) {
            if (bit % bits_per_block == 0) {
                EXPECT_EQ(block.SetTo(summary.Start() + bit / bits_per_block), fssh::FSSH_OK);
            }
            uint32_t in_block = static_cast<uint32_t>(bit) % bits_per_block;
            bits[static_cast<size_t>(number)] = (block.Data()[in_block / 8] >> (in_block % 8) & 1) != 0;
        }
    }
    return bits;
}

wfs::wfs_inode inode_record(block_run inode_run, int32_t mode)
{
    wfs::wfs_inode node;
    memset(&node, 0, sizeof(node));
    node.magic = wfs::INODE_MAGIC;
    node.inode_run = inode_run;
    node.mode = mode;
    node.flags = wfs::FLAG_IN_USE;
    return node;
}

class BlockAllocatorTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(image_.format_status(), fssh::FSSH_OK);
        Mount();
    }

    void Mount()
    {
        testing::internal::CaptureStdout();
        volume_ = std::make_unique<MountedVolume>(image_.path());
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(volume_->status(), fssh::FSSH_OK);
    }

    wfs::Volume& volume() { return volume_->volume(); }
    wfs::BlockAllocator& allocator() { return volume().Allocator(); }

    fssh::status_code AllocateData(const wfs::wfs_inode& node, int64_t wanted, block_run* run,
        uint16_t minimum = 1)
    {
        wfs::Transaction transaction(&volume(), 0);
        EXPECT_TRUE(transaction.IsStarted());
        fssh::status_code status = allocator().Allocate(transaction, node, wanted, *run, minimum);
        if (status == fssh::FSSH_OK) {
            EXPECT_EQ(transaction.Done(), fssh::FSSH_OK);
        }
        return status;
    }

    block_run AllocateInode(block_run parent, int32_t mode)
    {
        wfs::Transaction transaction(&volume(), 0);
        block_run run = block_run::Empty();
        EXPECT_EQ(allocator().AllocateInodeBlock(transaction, parent, mode, run), fssh::FSSH_OK);
        EXPECT_EQ(transaction.Done(), fssh::FSSH_OK);
        return run;
    }

    fssh::status_code Free(block_run run)
    {
        wfs::Transaction transaction(&volume(), 0);
        fssh::status_code status = allocator().Free(transaction, run);
        if (status == fssh::FSSH_OK) {
            EXPECT_EQ(transaction.Done(), fssh::FSSH_OK);
        }
        return status;
    }

    // Allocates every free block, in runs as long as the allocator gives.
    void FillVolume()
    {
        wfs::wfs_inode node = inode_record(block_run::Run(0, 0, 1), FILE_MODE);
        block_run run;
        while (AllocateData(node, 65535, &run) == fssh::FSSH_OK) {
        }
        ASSERT_EQ(volume().UsedBlocks(), volume().NumBlocks());
    }

    VolumeImage image_{1024, THREE_GROUPS};
    std::unique_ptr<MountedVolume> volume_;
};

TEST_F(BlockAllocatorTest, InitialScanSummarizesEveryGroup)
{
    ASSERT_EQ(allocator().GroupCount(), 3);
    const wfs::AllocationGroup& first = allocator().Group(0);
    EXPECT_EQ(first.Size(), 8192);
    EXPECT_EQ(first.Start(), 1);
    EXPECT_EQ(first.FirstFree(), RESERVED);
    EXPECT_EQ(first.FreeBits(), 8192 - RESERVED);
    EXPECT_TRUE(first.IsLargestValid());
    EXPECT_EQ(first.LargestStart(), RESERVED);
    EXPECT_EQ(first.LargestLength(), 8192 - RESERVED);
    for (int32_t index : {1, 2}) {
        const wfs::AllocationGroup& group = allocator().Group(index);
        EXPECT_EQ(group.Start(), 1 + index);
        EXPECT_EQ(group.FirstFree(), 0);
        EXPECT_EQ(group.FreeBits(), 8192);
        EXPECT_EQ(group.LargestLength(), 8192);
    }
    EXPECT_EQ(volume().UsedBlocks(), RESERVED);
}

TEST(BlockAllocatorScan, ShortLastGroupUsesOnlyItsBitmapBlocks)
{
    // 20 MiB: 20480 blocks, the last group 4096 blocks long; a 512-block log.
    VolumeImage image(1024, 20 * MIB);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    MountedVolume volume(image.path());
    ASSERT_EQ(volume.status(), fssh::FSSH_OK);
    const wfs::AllocationGroup& last = volume->Allocator().Group(2);
    EXPECT_EQ(last.Size(), 4096);
    EXPECT_EQ(last.BitmapBlocks(), 1u);
    EXPECT_EQ(last.FreeBits(), 4096);
    EXPECT_EQ(volume->UsedBlocks(), 4 + 512);
}

TEST(BlockAllocatorScan, WrongUsedBlockCountIsCorrected)
{
    VolumeImage image(1024, THREE_GROUPS);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    image.UpdateSuperBlock([&](wfs::disk_super_block& super_block) { super_block.used_block_count = 77; });
    testing::internal::CaptureStdout();
    MountedVolume volume(image.path());
    std::string output = testing::internal::GetCapturedStdout();
    ASSERT_EQ(volume.status(), fssh::FSSH_OK);
    EXPECT_NE(output.find("wfs: volume reports 77 used blocks, correct is 2052\n"), std::string::npos)
        << output;
    EXPECT_EQ(volume->UsedBlocks(), RESERVED);
}

TEST(BlockAllocatorScan, UnmarkedReservedAreaIsMarkedOnAWritableVolume)
{
    VolumeImage image(1024, THREE_GROUPS);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    // Only the log area lost its bits.
    Bytes bitmap = image.ReadBlock(1, 1024);
    for (int64_t bit = 1000; bit < RESERVED; bit++)
        bitmap[bit / 8] &= static_cast<uint8_t>(~(1 << (bit % 8)));
    image.WriteBlock(1, bitmap);

    testing::internal::CaptureStdout();
    std::string output;
    {
        MountedVolume volume(image.path());
        output = testing::internal::GetCapturedStdout();
        ASSERT_EQ(volume.status(), fssh::FSSH_OK);
        EXPECT_FALSE(volume->IsReadOnly());
        EXPECT_EQ(volume->Allocator().VerifyBits(0, RESERVED, true, nullptr), fssh::FSSH_OK);
        EXPECT_EQ(volume->UsedBlocks(), RESERVED);
        EXPECT_EQ(volume->Allocator().Group(0).FreeBits(), 8192 - RESERVED);
    }
    EXPECT_NE(output.find("wfs: Space for block bitmap or log area was not reserved!\n"),
        std::string::npos)
        << output;
    EXPECT_EQ(output.find("volume reports"), std::string::npos) << output;
    bitmap = image.ReadBlock(1, 1024);
    for (int64_t bit = 0; bit < RESERVED; bit++)
        ASSERT_TRUE(bitmap[bit / 8] >> (bit % 8) & 1) << bit;
}

TEST(BlockAllocatorScan, UnmarkedReservedAreaStaysOnAReadOnlyVolume)
{
    VolumeImage image(1024, THREE_GROUPS);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    image.WriteBlock(1, Bytes(1024, 0));
    testing::internal::CaptureStdout();
    MountedVolume volume(image.path(), wfs::MOUNT_READ_ONLY);
    std::string output = testing::internal::GetCapturedStdout();
    ASSERT_EQ(volume.status(), fssh::FSSH_OK);
    EXPECT_NE(output.find("wfs: Space for block bitmap or log area is not reserved (volume is "
                          "mounted read-only)!\n"),
        std::string::npos)
        << output;
    EXPECT_EQ(image.ReadBlock(1, 1024), Bytes(1024, 0));
}

TEST_F(BlockAllocatorTest, InodesArePlacedNearTheirParent)
{
    const struct {
        const char* what;
        block_run parent;
        int32_t mode;
        int32_t group;
    } cases[] = {
        {"file in group 1", block_run::Run(1, 100, 1), FILE_MODE, 1},
        {"directory 8 groups on", block_run::Run(0, 100, 1), DIRECTORY_MODE, 2},
        {"attribute directory stays", block_run::Run(0, 100, 1), wfs::ATTRIBUTE_DIRECTORY_MODE, 0},
        {"index directory stays", block_run::Run(2, 100, 1), wfs::INDEX_ROOT_MODE, 2},
    };
    // The first free block of group 0 lies behind the reserved area.
    EXPECT_EQ(AllocateInode(block_run::Run(0, 0, 1), FILE_MODE), block_run::Run(0, RESERVED, 1));
    for (const auto& c : cases) {
        block_run run = AllocateInode(c.parent, c.mode);
        EXPECT_EQ(run.allocation_group, c.group) << c.what;
        EXPECT_EQ(run.length, 1) << c.what;
        EXPECT_EQ(allocator().VerifyRun(run, true), fssh::FSSH_OK) << c.what;
    }
}

TEST_F(BlockAllocatorTest, DataIsPlacedByTheShapeOfTheStream)
{
    block_run inode = AllocateInode(block_run::Run(1, 0, 1), FILE_MODE);
    ASSERT_EQ(inode, block_run::Run(1, 0, 1));
    block_run run;

    // An empty file starts in the next group.
    ASSERT_EQ(AllocateData(inode_record(inode, FILE_MODE), 10, &run), fssh::FSSH_OK);
    EXPECT_EQ(run, block_run::Run(2, 0, 10));

    // An empty directory or link starts right after its inode block.
    ASSERT_EQ(AllocateData(inode_record(inode, DIRECTORY_MODE), 4, &run), fssh::FSSH_OK);
    EXPECT_EQ(run, block_run::Run(1, 1, 4));
    ASSERT_EQ(AllocateData(inode_record(inode, 0xa1ff), 1, &run), fssh::FSSH_OK);
    EXPECT_EQ(run, block_run::Run(1, 5, 1));

    // A stream of direct runs continues after its last run.
    wfs::wfs_inode file = inode_record(inode, FILE_MODE);
    file.data.direct[0] = block_run::Run(2, 0, 10);
    file.data.direct[1] = block_run::Run(1, 300, 5);
    file.data.size = 15 * 1024;
    ASSERT_EQ(AllocateData(file, 3, &run), fssh::FSSH_OK);
    EXPECT_EQ(run, block_run::Run(1, 305, 3));

    // A stream with an indirect level starts at the inode's group.
    file.data.indirect = block_run::Run(2, 10, 1);
    ASSERT_EQ(AllocateData(file, 2, &run), fssh::FSSH_OK);
    EXPECT_EQ(run, block_run::Run(1, 6, 2));

    // Wanting more than a group holds gives the longest free range: group 1
    // has lost its summary and is scanned (297 and 7884 blocks free), group 2
    // still knows its largest range behind the first file.
    ASSERT_EQ(AllocateData(inode_record(block_run::Run(0, 0, 1), FILE_MODE), 100000, &run),
        fssh::FSSH_OK);
    EXPECT_EQ(run, block_run::Run(2, 10, 8182));
    EXPECT_EQ(AllocateData(file, 0, &run), fssh::FSSH_ERROR);
}

TEST_F(BlockAllocatorTest, MinimumRoundsDownOrFailsOnAFragmentedVolume)
{
    FillVolume();
    ASSERT_EQ(Free(block_run::Run(2, 100, 7)), fssh::FSSH_OK);
    ASSERT_EQ(Free(block_run::Run(1, 50, 3)), fssh::FSSH_OK);
    wfs::wfs_inode node = inode_record(block_run::Run(0, 0, 1), FILE_MODE);

    block_run run;
    ASSERT_EQ(AllocateData(node, 16, &run, 4), fssh::FSSH_OK);
    EXPECT_EQ(run, block_run::Run(2, 100, 4));
    // 3 blocks at (1, 50) and at (2, 104) are left.
    EXPECT_EQ(AllocateData(node, 16, &run, 4), fssh::FSSH_NO_SPACE);
    ASSERT_EQ(AllocateData(node, 16, &run, 2), fssh::FSSH_OK);
    EXPECT_EQ(run.length, 2);
    ASSERT_EQ(AllocateData(node, 16, &run, 1), fssh::FSSH_OK);
    EXPECT_EQ(run.length, 3);
}

TEST_F(BlockAllocatorTest, FullVolumeRefusesAndChangesNothing)
{
    FillVolume();
    std::vector<bool> before = bitmap_of(volume());
    int64_t used = volume().UsedBlocks();
    block_run run = block_run::Run(7, 7, 7);
    EXPECT_EQ(AllocateData(inode_record(block_run::Run(0, 0, 1), FILE_MODE), 1, &run),
        fssh::FSSH_NO_SPACE);
    wfs::Transaction transaction(&volume(), 0);
    EXPECT_EQ(allocator().AllocateInodeBlock(transaction, block_run::Run(0, 0, 1), FILE_MODE, run),
        fssh::FSSH_NO_SPACE);
    EXPECT_EQ(run, block_run::Run(7, 7, 7));
    EXPECT_EQ(bitmap_of(volume()), before);
    EXPECT_EQ(volume().UsedBlocks(), used);
}

TEST_F(BlockAllocatorTest, FreedBlocksCanBeAllocatedAgain)
{
    block_run run;
    ASSERT_EQ(AllocateData(inode_record(block_run::Run(0, 0, 1), FILE_MODE), 100, &run),
        fssh::FSSH_OK);
    EXPECT_EQ(run, block_run::Run(1, 0, 100));
    EXPECT_EQ(volume().UsedBlocks(), RESERVED + 100);
    ASSERT_EQ(Free(block_run::Run(1, 10, 20)), fssh::FSSH_OK);
    EXPECT_EQ(volume().UsedBlocks(), RESERVED + 80);
    EXPECT_EQ(allocator().VerifyRun(block_run::Run(1, 10, 20), false), fssh::FSSH_OK);
    EXPECT_EQ(allocator().VerifyRun(block_run::Run(1, 0, 10), true), fssh::FSSH_OK);
    EXPECT_EQ(allocator().VerifyRun(block_run::Run(1, 30, 70), true), fssh::FSSH_OK);
    EXPECT_EQ(allocator().Group(1).FirstFree(), 10);

    // A longer range elsewhere is preferred while the group's summary knows
    // it; on a full volume the freed range is found by scanning.
    wfs::wfs_inode file = inode_record(block_run::Run(0, 5000, 1), FILE_MODE);
    ASSERT_EQ(AllocateData(file, 20, &run), fssh::FSSH_OK);
    EXPECT_EQ(run, block_run::Run(1, 100, 20));
    FillVolume();
    ASSERT_EQ(Free(block_run::Run(1, 10, 20)), fssh::FSSH_OK);
    ASSERT_EQ(AllocateData(file, 20, &run), fssh::FSSH_OK);
    EXPECT_EQ(run, block_run::Run(1, 10, 20));
}

TEST_F(BlockAllocatorTest, ReservedAndInvalidRunsAreNotFreed)
{
    const struct {
        block_run run;
        const char* message;
    } cases[] = {
        {block_run::Run(0, 0, 1), "wfs: tried to free a reserved block_run (0, 0, 1)\n"},
        {block_run::Run(0, 2051, 1), "wfs: tried to free a reserved block_run (0, 2051, 1)\n"},
        {block_run::Run(0, 100, 0), "wfs: tried to free an invalid block_run (0, 100, 0)\n"},
        {block_run::Run(3, 0, 1), "wfs: tried to free an invalid block_run (3, 0, 1)\n"},
        {block_run::Run(-1, 0, 1), "wfs: tried to free an invalid block_run (-1, 0, 1)\n"},
        {block_run::Run(1, 8190, 3), "wfs: tried to free an invalid block_run (1, 8190, 3)\n"},
    };
    std::vector<bool> before = bitmap_of(volume());
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(Free(c.run), fssh::FSSH_INVALID_ARGUMENT);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    }
    EXPECT_EQ(bitmap_of(volume()), before);
    EXPECT_EQ(volume().UsedBlocks(), RESERVED);
}

TEST_F(BlockAllocatorTest, LargestRangeStaysTrustedOnlyWhileNoOtherCanBeLonger)
{
    wfs::wfs_inode node = inode_record(block_run::Run(0, 0, 1), FILE_MODE);
    block_run run;
    ASSERT_EQ(AllocateData(node, 100, &run), fssh::FSSH_OK);
    ASSERT_EQ(run, block_run::Run(1, 0, 100));
    EXPECT_TRUE(allocator().Group(1).IsLargestValid());
    EXPECT_EQ(allocator().Group(1).LargestStart(), 100);
    EXPECT_EQ(allocator().Group(1).LargestLength(), 8092);

    wfs::wfs_inode file = inode_record(block_run::Run(0, 0, 1), FILE_MODE);
    file.data.direct[0] = run;
    file.data.size = 100 * 1024;
    ASSERT_EQ(AllocateData(file, 8000, &run), fssh::FSSH_OK);
    ASSERT_EQ(run, block_run::Run(1, 100, 8000));
    // 8100 used blocks before the remaining 92: another range might be longer.
    EXPECT_FALSE(allocator().Group(1).IsLargestValid());

    // Freeing next to a trusted range makes it untrusted as well.
    EXPECT_TRUE(allocator().Group(2).IsLargestValid());
    ASSERT_EQ(AllocateData(inode_record(block_run::Run(1, 0, 1), FILE_MODE), 10, &run),
        fssh::FSSH_OK);
    ASSERT_EQ(run, block_run::Run(2, 0, 10));
    EXPECT_TRUE(allocator().Group(2).IsLargestValid());
    ASSERT_EQ(Free(block_run::Run(2, 5, 5)), fssh::FSSH_OK);
    EXPECT_FALSE(allocator().Group(2).IsLargestValid());
}

TEST_F(BlockAllocatorTest, VerifyBitsCrossesGroupsAndReportsTheFirstWrongBlock)
{
    block_run run;
    wfs::wfs_inode file = inode_record(block_run::Run(0, 0, 1), FILE_MODE);
    file.data.direct[0] = block_run::Run(0, 8000, 190);
    file.data.size = 1;
    ASSERT_EQ(AllocateData(file, 2, &run), fssh::FSSH_OK);
    ASSERT_EQ(run, block_run::Run(0, 8190, 2));
    ASSERT_EQ(AllocateData(inode_record(block_run::Run(0, 0, 1), FILE_MODE), 2, &run),
        fssh::FSSH_OK);
    ASSERT_EQ(run, block_run::Run(1, 0, 2));

    int64_t wrong = -1;
    EXPECT_EQ(allocator().VerifyBits(8190, 4, true, &wrong), fssh::FSSH_OK);
    EXPECT_EQ(allocator().VerifyBits(8190, 5, true, &wrong), fssh::FSSH_CORRUPT_DATA);
    EXPECT_EQ(wrong, 8194);
    EXPECT_EQ(allocator().VerifyBits(8192 + 2, 100, false, &wrong), fssh::FSSH_OK);
    EXPECT_EQ(allocator().VerifyBits(RESERVED - 1, 2, false, &wrong), fssh::FSSH_CORRUPT_DATA);
    EXPECT_EQ(wrong, RESERVED - 1);
    EXPECT_EQ(allocator().VerifyBits(-1, 2, true, nullptr), fssh::FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(allocator().VerifyBits(volume().NumBlocks() - 1, 2, false, nullptr),
        fssh::FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(allocator().VerifyRun(block_run::Run(3, 0, 1), true), fssh::FSSH_CORRUPT_DATA);
    EXPECT_FALSE(allocator().IsValidRun(block_run::Run(3, 0, 1)));
    EXPECT_FALSE(allocator().IsValidRun(block_run::Run(0, 8000, 193)));
    EXPECT_TRUE(allocator().IsValidRun(block_run::Run(2, 8000, 192)));
}

TEST_F(BlockAllocatorTest, TrimOfPartOfTheVolumeIsUnsupported)
{
    uint64_t trimmed = 99;
    testing::internal::CaptureStdout();
    EXPECT_EQ(allocator().Trim(1024, THREE_GROUPS, &trimmed), fssh::FSSH_UNSUPPORTED);
    EXPECT_EQ(allocator().Trim(0, THREE_GROUPS - 1, &trimmed), fssh::FSSH_UNSUPPORTED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
        "wfs: WFS Trim: Ranges smaller than the file system size are not supported yet.\n"
        "wfs: WFS Trim: Ranges smaller than the file system size are not supported yet.\n");
    EXPECT_EQ(trimmed, 99u);
}

TEST_F(BlockAllocatorTest, TrimOfTheWholeVolumeReportsTheDeviceRefusal)
{
    // The device layer refuses trim requests and records FSSH_INVALID_ARGUMENT.
    uint64_t trimmed = 99;
    EXPECT_EQ(allocator().Trim(0, THREE_GROUPS, &trimmed), fssh::FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(trimmed, 0u);
}

// Allocations and frees against a model of the bitmap, kept across a remount.
TEST_F(BlockAllocatorTest, RandomAllocationsAndFreesMatchAModel)
{
    std::mt19937 random(20260);
    std::vector<bool> model = bitmap_of(volume());
    std::vector<block_run> owned;
    for (int step = 0; step < 400; step++) {
        bool allocate = owned.empty() || random() % 3 != 0;
        if (allocate) {
            block_run parent = block_run::Run(static_cast<int32_t>(random() % 3),
                static_cast<uint16_t>(random() % 8192), 1);
            wfs::wfs_inode node = inode_record(parent, random() % 4 == 0 ? DIRECTORY_MODE : FILE_MODE);
            uint16_t minimum = static_cast<uint16_t>(1 << (random() % 3));
            int64_t wanted = minimum * (1 + random() % 75);
            block_run run;
            fssh::status_code status = AllocateData(node, wanted, &run, minimum);
            if (status == fssh::FSSH_NO_SPACE)
                continue;
            ASSERT_EQ(status, fssh::FSSH_OK) << step;
            ASSERT_TRUE(allocator().IsValidRun(run)) << step;
            ASSERT_LE(run.length, wanted);
            ASSERT_EQ(run.length % minimum, 0) << step;
            int64_t first = volume().RunToBlock(run);
            for (int64_t block = first; block < first + run.length; block++) {
                ASSERT_FALSE(model[block]) << "block " << block << " handed out twice";
                model[block] = true;
            }
            owned.push_back(run);
        } else {
            size_t index = random() % owned.size();
            block_run run = owned[index];
            // Free all of it, or a piece from its start.
            uint16_t length = static_cast<uint16_t>(1 + random() % run.length);
            ASSERT_EQ(Free(block_run::Run(run.allocation_group, run.start, length)), fssh::FSSH_OK);
            int64_t first = volume().RunToBlock(run);
            for (int64_t block = first; block < first + length; block++)
                model[block] = false;
            if (length == run.length) {
                owned.erase(owned.begin() + static_cast<long>(index));
            } else {
                owned[index].start = static_cast<uint16_t>(run.start + length);
                owned[index].length = static_cast<uint16_t>(run.length - length);
            }
        }
        if (step % 50 == 0) {
            ASSERT_EQ(bitmap_of(volume()), model) << step;
        }
    }
    int64_t used = 0;
    for (bool bit : model)
        used += bit ? 1 : 0;
    EXPECT_EQ(volume().UsedBlocks(), used);
    ASSERT_EQ(bitmap_of(volume()), model);

    volume_.reset();
    Mount();
    EXPECT_EQ(bitmap_of(volume()), model);
    EXPECT_EQ(volume().UsedBlocks(), used);
}

}  // namespace
