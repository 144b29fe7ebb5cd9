#include "wfs/block_run.h"
#include "wfs/run_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using wfs::block_run;

TEST(BlockRun, RunConvertsToBlockAndBack)
{
    block_run run = block_run::Run(1, 5, 3);
    EXPECT_EQ(wfs::run_to_block(run, 13), (1 << 13) + 5);
    EXPECT_EQ(wfs::block_to_run((1 << 13) + 5, 13), block_run::Run(1, 5, 1));
}

TEST(BlockRun, GroupAndStartAreCombinedWithOrNotAddition)
{
    // A start with bits above the group shift overlaps the group bits.
    block_run run = block_run::Run(1, 0x2005, 1);
    EXPECT_EQ(wfs::run_to_block(run, 13), 0x2005);
}

TEST(BlockRun, NegativeGroupIsSignExtended)
{
    EXPECT_EQ(wfs::run_to_block(block_run::Run(-1, 0, 1), 13), -8192);
    EXPECT_EQ(wfs::run_to_block(block_run::Run(-2, 3, 1), 16), -131072 | 3);
}

TEST(BlockRun, BlockToRunCutsGroupAndStart)
{
    int64_t block = (int64_t{5} << 32 | 7) << 16 | 0x1234;
    block_run run = wfs::block_to_run(block, 16);
    EXPECT_EQ(run.allocation_group, 7);
    EXPECT_EQ(run.start, 0x1234);
    EXPECT_EQ(run.length, 1);
}

TEST(BlockRun, EmptyRunNeedsAllThreeFieldsZero)
{
    EXPECT_TRUE(block_run::Empty().IsEmpty());
    EXPECT_FALSE(block_run::Run(0, 0, 1).IsEmpty());
    EXPECT_FALSE(block_run::Run(0, 1, 0).IsEmpty());
    EXPECT_FALSE(block_run::Run(1, 0, 0).IsEmpty());
}

TEST(BlockRun, BytesAreLittleEndianAtTheirOffsets)
{
    block_run run = block_run::Run(0x01020304, 0x0506, 0x0708);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&run);
    const uint8_t expected[] = {4, 3, 2, 1, 6, 5, 8, 7};
    EXPECT_TRUE(std::equal(raw, raw + 8, expected));
}

// Run arrays.

struct RunArrayBlock {
    explicit RunArrayBlock(uint32_t block_size) : bytes(block_size, 0)
    {
        array()->array_max = wfs::run_array_capacity(block_size);
    }
    wfs::run_array* array() { return reinterpret_cast<wfs::run_array*>(bytes.data()); }
    std::vector<uint8_t> bytes;
};

TEST(RunArray, CapacityIs127ForEverySupportedBlockSize)
{
    for (uint32_t block_size : {1024u, 2048u, 4096u, 8192u})
        EXPECT_EQ(wfs::run_array_capacity(block_size), 127);
    EXPECT_EQ(wfs::run_array_capacity(512), 63);
}

TEST(RunArray, HeaderValidOnlyBelowCapacityWithMatchingMaximum)
{
    const struct {
        int32_t run_count;
        int32_t array_max;
        bool valid;
    } cases[] = {
        {1, 127, true}, {126, 127, true}, {0, 127, false}, {-1, 127, false},
        {127, 127, false}, {5, 126, false}, {5, 128, false},
    };
    for (const auto& c : cases) {
        RunArrayBlock block(1024);
        block.array()->run_count = c.run_count;
        block.array()->array_max = c.array_max;
        EXPECT_EQ(block.array()->HasValidHeader(1024), c.valid)
            << c.run_count << " of " << c.array_max;
    }
}

TEST(RunArray, BlockCountSumsTheRunLengths)
{
    RunArrayBlock block(1024);
    wfs::run_array* array = block.array();
    array->run_count = 3;
    array->Runs()[0] = block_run::Run(0, 10, 4);
    array->Runs()[1] = block_run::Run(0, 20, 1);
    array->Runs()[2] = block_run::Run(2, 0, 65535);
    EXPECT_EQ(array->BlockCount(), 65540);
    EXPECT_EQ(array->RunAt(1), block_run::Run(0, 20, 1));
}

}  // namespace
