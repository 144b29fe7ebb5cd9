#include "wfs/inode_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

using wfs::block_run;
using wfs::wfs_inode;

// 61440 blocks of 1024 bytes: 8 groups, group shift 13.
wfs::disk_super_block test_super_block()
{
    wfs::disk_super_block super_block;
    wfs::initialize_super_block(&super_block, "inodes", 1024, 60 * 1024 * 1024);
    return super_block;
}

wfs_inode live_inode()
{
    wfs_inode node;
    memset(&node, 0, sizeof(node));
    node.magic = wfs::INODE_MAGIC;
    node.inode_run = block_run::Run(1, 100, 1);
    node.parent = block_run::Run(0, 2200, 1);
    node.mode = 0x81a4;
    node.flags = wfs::FLAG_IN_USE;
    node.inode_size = 1024;
    return node;
}

struct InodeCase {
    const char* name;
    std::function<void(wfs_inode&)> change;
    fssh::status_code loaded_status;
    fssh::status_code raw_status;
};

class InodeCheckTest : public testing::TestWithParam<InodeCase> {};

TEST_P(InodeCheckTest, GivesTheStatusOfTheRule)
{
    wfs::disk_super_block super_block = test_super_block();
    wfs_inode node = live_inode();
    GetParam().change(node);
    EXPECT_EQ(wfs::check_loaded_inode(node, super_block), GetParam().loaded_status);

    std::vector<uint8_t> block(1024, 0);
    memcpy(block.data(), &node, sizeof(node));
    EXPECT_EQ(wfs::check_raw_inode(block.data(), super_block), GetParam().raw_status);
}

constexpr fssh::status_code OK = fssh::FSSH_OK;
constexpr fssh::status_code CORRUPT = fssh::FSSH_CORRUPT_DATA;

const InodeCase inode_cases[] = {
    {"LiveInode", [](wfs_inode&) {}, OK, OK},
    {"WrongMagic", [](wfs_inode& n) { n.magic++; }, CORRUPT, CORRUPT},
    {"NotInUse", [](wfs_inode& n) { n.flags = 0; }, CORRUPT, CORRUPT},
    {"InodeRunOfTwoBlocks", [](wfs_inode& n) { n.inode_run.length = 2; }, CORRUPT, CORRUPT},
    {"ForeignInodeSize", [](wfs_inode& n) { n.inode_size = 2048; }, CORRUPT, CORRUPT},
    {"ParentInNegativeGroup", [](wfs_inode& n) { n.parent.allocation_group = -1; }, CORRUPT,
        CORRUPT},
    {"ParentBeyondGroupCount", [](wfs_inode& n) { n.parent.allocation_group = 9; }, CORRUPT,
        CORRUPT},
    {"ParentAtGroupCount", [](wfs_inode& n) { n.parent.allocation_group = 8; }, OK, OK},
    {"ParentStartAtGroupSize",
        [](wfs_inode& n) {
            n.parent.allocation_group = 0;
            n.parent.start = 8192;
        },
        OK, OK},
    {"ParentStartBeyondGroupSize", [](wfs_inode& n) { n.parent.start = 8193; }, CORRUPT,
        CORRUPT},
    {"ParentOfTwoBlocks", [](wfs_inode& n) { n.parent.length = 2; }, CORRUPT, CORRUPT},
    {"Deleted", [](wfs_inode& n) { n.flags |= wfs::FLAG_DELETED; }, CORRUPT,
        fssh::FSSH_NOT_PERMITTED},
    {"DeletedAndNoLongerInUse", [](wfs_inode& n) { n.flags = wfs::FLAG_DELETED; }, CORRUPT,
        CORRUPT},
    {"AttributesInMissingGroup", [](wfs_inode& n) { n.attributes.allocation_group = 9; },
        CORRUPT, CORRUPT},
    {"AttributesStartBeyondGroupSize", [](wfs_inode& n) { n.attributes.start = 8193; },
        CORRUPT, CORRUPT},
    {"AttributesOfAnyLength", [](wfs_inode& n) { n.attributes = block_run::Run(2, 4, 9); }, OK,
        OK},
};

INSTANTIATE_TEST_SUITE_P(Rules, InodeCheckTest, testing::ValuesIn(inode_cases),
    [](const testing::TestParamInfo<InodeCase>& info) { return info.param.name; });

TEST(InodeRecord, TimesAreUnalignedAtTheirOffsets)
{
    wfs_inode node;
    memset(&node, 0, sizeof(node));
    node.create_time = 0x0102030405060708;
    node.data.size = 0x1122334455667788;
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&node);
    EXPECT_EQ(raw[28], 0x08);
    EXPECT_EQ(raw[35], 0x01);
    EXPECT_EQ(raw[72 + 136], 0x88);
    EXPECT_EQ(raw[72 + 143], 0x11);
}

TEST(InodeKinds, ModesTheSystemWritesHaveTheirKinds)
{
    EXPECT_TRUE(wfs::is_directory_mode(wfs::ROOT_DIRECTORY_MODE));
    EXPECT_TRUE(wfs::is_plain_directory_mode(wfs::ROOT_DIRECTORY_MODE | wfs::MODE_KEY_STRING));
    EXPECT_FALSE(wfs::is_index_mode(wfs::ROOT_DIRECTORY_MODE));

    EXPECT_TRUE(wfs::is_directory_mode(wfs::INDEX_ROOT_MODE));
    EXPECT_FALSE(wfs::is_index_mode(wfs::INDEX_ROOT_MODE));  // it has permission bits
    EXPECT_FALSE(wfs::is_plain_directory_mode(wfs::INDEX_ROOT_MODE));
    EXPECT_TRUE(wfs::is_index_mode(wfs::MODE_INDEX_DIR | wfs::MODE_KEY_INT64 | 0x4000));

    EXPECT_TRUE(wfs::is_attribute_directory_mode(wfs::ATTRIBUTE_DIRECTORY_MODE));
    EXPECT_FALSE(wfs::is_attribute_mode(wfs::ATTRIBUTE_DIRECTORY_MODE));
    EXPECT_FALSE(wfs::is_plain_directory_mode(wfs::ATTRIBUTE_DIRECTORY_MODE));

    EXPECT_TRUE(wfs::is_attribute_mode(wfs::ATTRIBUTE_MODE));
    EXPECT_FALSE(wfs::is_plain_file_mode(wfs::ATTRIBUTE_MODE));
    EXPECT_TRUE(wfs::is_plain_file_mode(0x81a4));
    EXPECT_TRUE(wfs::is_symlink_mode(0xa1ff));
    EXPECT_FALSE(wfs::is_plain_file_mode(0xa1ff));
}

TEST(SmallData, ItemsFollowEachOtherUnaligned)
{
    std::vector<uint8_t> block(1024, 0);
    auto* item = reinterpret_cast<wfs::small_data*>(block.data() + wfs::SMALL_DATA_OFFSET);
    item->type = wfs::TYPE_STRING;
    item->name_size = 2;
    item->data_size = 3;
    memcpy(item->Name(), "ab", 2);
    memcpy(item->Data(), "xyz", 3);
    EXPECT_EQ(item->Size(), 17u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(item->Next()) - block.data(), 232 + 17);
    // Name, NUL and two zero bytes, data, NUL.
    EXPECT_EQ(memcmp(block.data() + 240, "ab\0\0\0xyz\0", 9), 0);
    EXPECT_FALSE(item->EndsWalk(block.data(), 1024));
    EXPECT_TRUE(item->Next()->EndsWalk(block.data(), 1024));
}

TEST(SmallData, WalkEndsPastEightBytesBeforeTheInodeEnd)
{
    std::vector<uint8_t> block(1024, 0xff);
    auto at = [&](size_t offset) { return reinterpret_cast<wfs::small_data*>(block.data() + offset); };
    EXPECT_FALSE(at(1016)->EndsWalk(block.data(), 1024));
    EXPECT_TRUE(at(1017)->EndsWalk(block.data(), 1024));
}

}  // namespace
