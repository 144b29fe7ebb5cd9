#include "wfs/volume.h"

#include "tests/support/host_facility.h"
#include "tests/support/loop_device.h"
#include "tests/wfs/volume_image.h"
#include "wfs/allocation_group.h"
#include "wfs/block_allocator.h"
#include "wfs/journal.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace {

using wfs::block_run;
using wfs_test::Bytes;
using wfs_test::MountedVolume;
using wfs_test::VolumeImage;

using wfs_test::MIB;

std::string captured_mount(const std::string& path, uint32_t flags, fssh::status_code* status)
{
    testing::internal::CaptureStdout();
    {
        MountedVolume volume(path, flags);
        *status = volume.status();
    }
    return testing::internal::GetCapturedStdout();
}

TEST(VolumeFormat, WritesSuperBlockBitmapAndZeroAreas)
{
    VolumeImage image(2048, 12 * MIB);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);

    wfs::disk_super_block expected;
    wfs::initialize_super_block(&expected, "test volume", 2048, 12 * MIB);
    wfs::disk_super_block written = image.SuperBlock();
    EXPECT_STREQ(written.volume_name, "test volume");
    EXPECT_EQ(written.block_count, expected.block_count);
    EXPECT_EQ(written.group_shift, expected.group_shift);
    EXPECT_EQ(written.log_area, expected.log_area);
    EXPECT_EQ(written.flags, wfs::VOLUME_CLEAN);
    EXPECT_EQ(written.log_start, written.log_end);
    EXPECT_EQ(written.used_block_count, image.ReservedBlocks());

    // Exactly the reserved area is marked in the bitmap.
    Bytes bitmap = image.ReadBlock(1, 2048);
    int64_t reserved = image.ReservedBlocks();
    for (int64_t bit = 0; bit < 2048 * 8; bit++)
        ASSERT_EQ((bitmap[bit / 8] >> (bit % 8) & 1) != 0, bit < reserved) << bit;
    EXPECT_EQ(image.Read(0, 512), Bytes(512, 0));
    EXPECT_EQ(image.Read(1024, 512), Bytes(512, 0));
}

TEST(VolumeFormat, RefusesBadNamesAndBlockSizesBeforeTouchingTheDevice)
{
    wfs_test::init_block_cache_once();
    test_support::ScratchImage scratch(4 * MIB);
    int device = fssh::fssh_open(scratch.path().c_str(), fssh::FSSH_O_RDWR, 0);
    ASSERT_GE(device, 0);
    wfs::Volume volume(nullptr);
    EXPECT_EQ(volume.Format(device, "a/b", 1024, 0), fssh::FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(volume.Format(device, "name", 3072, 0), fssh::FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(volume.Format(device, "name", 512, 0), fssh::FSSH_INVALID_ARGUMENT);
    fssh::fssh_close(device);
    EXPECT_EQ(wfs_test::ImageFile(scratch.path()).Contents(), Bytes(4 * MIB, 0));
}

TEST(VolumeFormat, RefusesADeviceTooSmallForTheLog)
{
    wfs_test::init_block_cache_once();
    test_support::ScratchImage scratch(300 * 1024);
    int device = fssh::fssh_open(scratch.path().c_str(), fssh::FSSH_O_RDWR, 0);
    ASSERT_GE(device, 0);
    wfs::Volume volume(nullptr);
    EXPECT_EQ(volume.Format(device, "small", 1024, 0), fssh::FSSH_ERROR);
    fssh::fssh_close(device);
}

TEST(VolumeMount, MountsAFormattedVolume)
{
    VolumeImage image(1024, 24 * MIB);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    fssh::status_code status;
    std::string output = captured_mount(image.path(), 0, &status);
    EXPECT_EQ(status, fssh::FSSH_OK);
    // No index root: the mount says so and stays writable.
    EXPECT_EQ(output, "wfs: SIZE: 512\nwfs: wfs: volume doesn't have indices!\n");

    MountedVolume volume(image.path());
    ASSERT_EQ(volume.status(), fssh::FSSH_OK);
    EXPECT_FALSE(volume->IsReadOnly());
    EXPECT_EQ(volume->BlockSize(), 1024u);
    EXPECT_EQ(volume->BlockShift(), 10u);
    EXPECT_EQ(volume->AllocationGroupShift(), 13u);
    EXPECT_EQ(volume->AllocationGroups(), 3);
    EXPECT_EQ(volume->UsedBlocks(), image.ReservedBlocks());
    EXPECT_NE(volume->GetJournal(), nullptr);
    EXPECT_NE(volume->BlockCache(), nullptr);
    EXPECT_EQ(volume->DeviceBlockSize(), 512u);
    EXPECT_EQ(volume->LogStart(), volume->LogEnd());
}

TEST(VolumeMount, ReadOnlyMountNeverWrites)
{
    VolumeImage image(1024, 8 * MIB);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    // A wrong used block count is corrected in memory only.
    image.UpdateSuperBlock([&](wfs::disk_super_block& super_block) { super_block.used_block_count = 3; });
    Bytes before = image.Contents();
    {
        MountedVolume volume(image.path(), wfs::MOUNT_READ_ONLY);
        ASSERT_EQ(volume.status(), fssh::FSSH_OK);
        EXPECT_TRUE(volume->IsReadOnly());
        EXPECT_EQ(volume->UsedBlocks(), image.ReservedBlocks());
    }
    EXPECT_EQ(image.Contents(), before);
}

// Makes an image file refuse to be opened for writing, even by root (through
// the immutable attribute when permissions do not stop the caller), and undoes
// it again on scope exit.
class UnwritableFile {
public:
    explicit UnwritableFile(const std::string& path) : path_(path)
    {
        chmod(path_.c_str(), 0444);
        if (!IsWritable())
            return;
        immutable_ = system(("chattr +i '" + path_ + "' 2>/dev/null").c_str()) == 0;
    }
    ~UnwritableFile()
    {
        if (immutable_) {
            EXPECT_EQ(system(("chattr -i '" + path_ + "'").c_str()), 0);
        }
        chmod(path_.c_str(), 0644);
    }
    bool IsWritable() const
    {
        int fd = open(path_.c_str(), O_RDWR);
        if (fd >= 0)
            close(fd);
        return fd >= 0;
    }

private:
    std::string path_;
    bool immutable_ = false;
};

TEST(VolumeMount, DeviceRefusingWritesIsMountedReadOnly)
{
    VolumeImage image(1024, 8 * MIB);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    UnwritableFile unwritable(image.path());
    REQUIRE_HOST_FACILITY(!unwritable.IsWritable(), "a file that refuses writing");
    Bytes before = image.Contents();
    {
        MountedVolume volume(image.path());
        ASSERT_EQ(volume.status(), fssh::FSSH_OK);
        EXPECT_TRUE(volume->IsReadOnly());
    }
    EXPECT_EQ(image.Contents(), before);
}

TEST(VolumeMount, ReadOnlyBlockDeviceIsMountedReadOnly)
{
    VolumeImage image(1024, 8 * MIB);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    Bytes before = image.Contents();
    {
        test_support::LoopDevice loop(image.path(), {.sector_size = 512, .read_only = true});
        REQUIRE_HOST_FACILITY(loop.attached(), loop.error());
        MountedVolume volume(loop.path());
        ASSERT_EQ(volume.status(), fssh::FSSH_OK);
        EXPECT_TRUE(volume->IsReadOnly());
    }
    EXPECT_EQ(image.Contents(), before);
}

struct RefusedMount {
    const char* name;
    std::function<void(VolumeImage&)> breakage;
    std::string output;
};

class RefusedMountTest : public testing::TestWithParam<RefusedMount> {};

TEST_P(RefusedMountTest, FailsWithInvalidArgumentAndTheExactLines)
{
    VolumeImage image(1024, 8 * MIB);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    GetParam().breakage(image);
    fssh::status_code status;
    std::string output = captured_mount(image.path(), 0, &status);
    EXPECT_EQ(status, fssh::FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(output, GetParam().output);
}

const RefusedMount refused_mounts[] = {
    {"DeviceSmallerThanTheVolume",
        [](VolumeImage& image) { ASSERT_EQ(truncate(image.path().c_str(), 8 * MIB - 1024), 0); },
        "wfs: SIZE: 512\nwfs: Disk size (8387584 bytes) < file system size (8388608 bytes)!\n"},
    {"InvalidSuperBlock",
        [](VolumeImage& image) {
            image.UpdateSuperBlock([](wfs::disk_super_block& super_block) { super_block.block_count = 9; });
        },
        "wfs: SIZE: 512\nwfs: invalid superblock at offset 512!\nwfs: invalid superblock!\n"},
    {"DeviceShorterThanTheSuperBlockArea",
        [](VolumeImage& image) { ASSERT_EQ(truncate(image.path().c_str(), 1000), 0); },
        "wfs: invalid superblock!\n"},
};

INSTANTIATE_TEST_SUITE_P(Volumes, RefusedMountTest, testing::ValuesIn(refused_mounts),
    [](const testing::TestParamInfo<RefusedMount>& info) { return info.param.name; });

TEST(VolumeMount, RefusesAMissingFile)
{
    wfs_test::init_block_cache_once();
    wfs::Volume volume(nullptr);
    EXPECT_EQ(volume.Mount("/nonexistent/wfs-image", 0), fssh::FSSH_NOT_FOUND);
}

TEST(VolumeMount, RootOutsideTheVolumeIsRefused)
{
    const block_run roots[] = {block_run::Empty(), block_run::Run(0, 100, 1),
        block_run::Run(3, 0, 1), block_run::Run(-1, 0, 1)};
    for (const block_run& root : roots) {
        VolumeImage image(1024, 24 * MIB);
        ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
        image.UpdateSuperBlock([&](wfs::disk_super_block& super_block) { super_block.root_inode = root; });
        fssh::status_code status;
        std::string output = captured_mount(image.path(), 0, &status);
        EXPECT_EQ(status, fssh::FSSH_INVALID_ARGUMENT);
        EXPECT_NE(output.find("wfs: could not create root node!\n"), std::string::npos) << output;
    }
}

TEST(VolumeMount, IndexRootOutsideTheVolumeMakesItReadOnly)
{
    VolumeImage image(1024, 24 * MIB);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    image.UpdateSuperBlock([&](wfs::disk_super_block& super_block) { super_block.index_root = block_run::Run(5, 0, 1); });
    testing::internal::CaptureStdout();
    MountedVolume volume(image.path());
    std::string output = testing::internal::GetCapturedStdout();
    ASSERT_EQ(volume.status(), fssh::FSSH_OK);
    EXPECT_TRUE(volume->IsReadOnly());
    EXPECT_NE(output.find("wfs: wfs: volume doesn't have indices!\n"), std::string::npos);
}

struct RunCase {
    block_run run;
    bool valid;
};

TEST(VolumeCheckRun, AcceptsRunsInsideGroupsAndMarksOthersCorrupt)
{
    VolumeImage image(1024, 24 * MIB);  // 3 groups of 8192 blocks
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    const RunCase cases[] = {
        {block_run::Run(0, 0, 1), true},
        {block_run::Run(3, 0, 1), true},  // the group count itself passes
        {block_run::Run(2, 8191, 1), true},
        {block_run::Run(1, 0, 65535), false},
        {block_run::Run(-1, 0, 1), false},
        {block_run::Run(4, 0, 1), false},
        {block_run::Run(0, 0, 0), false},
        {block_run::Run(1, 8190, 3), false},
    };
    for (const RunCase& c : cases) {
        MountedVolume volume(image.path());
        ASSERT_EQ(volume.status(), fssh::FSSH_OK);
        testing::internal::CaptureStdout();
        fssh::status_code status = volume->CheckRun(c.run);
        std::string output = testing::internal::GetCapturedStdout();
        if (c.valid) {
            EXPECT_EQ(status, fssh::FSSH_OK);
            EXPECT_EQ(output, "");
            EXPECT_FALSE(volume->IsReadOnly());
            continue;
        }
        EXPECT_EQ(status, fssh::FSSH_CORRUPT_DATA);
        EXPECT_TRUE(volume->IsReadOnly());
        EXPECT_EQ(output, "wfs: Disk corrupted... switch to read-only mode!\nwfs: *** invalid run("
                + std::to_string(c.run.allocation_group) + "," + std::to_string(c.run.start) + ","
                + std::to_string(c.run.length) + ")\n");
    }
}

TEST(VolumeProbe, CopiesOutAValidSuperBlockOnly)
{
    VolumeImage image(4096, 16 * MIB);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    int device = fssh::fssh_open(image.path().c_str(), fssh::FSSH_O_RDONLY, 0);
    ASSERT_GE(device, 0);
    wfs::disk_super_block super_block;
    testing::internal::CaptureStdout();
    EXPECT_EQ(wfs::Volume::Probe(device, &super_block), fssh::FSSH_OK);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(memcmp(&super_block, image.Read(512, 512).data(), 512), 0);
    fssh::fssh_close(device);

    image.Write(32, "\0\0\0\0", 4);  // the first magic
    device = fssh::fssh_open(image.path().c_str(), fssh::FSSH_O_RDONLY, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(wfs::Volume::Probe(device, &super_block), fssh::FSSH_OK);
    testing::internal::GetCapturedStdout();
    fssh::fssh_close(device);

    image.Write(512 + 32, "\0\0\0\0", 4);
    device = fssh::fssh_open(image.path().c_str(), fssh::FSSH_O_RDONLY, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(wfs::Volume::Probe(device, &super_block), fssh::FSSH_INVALID_ARGUMENT);
    testing::internal::GetCapturedStdout();
    fssh::fssh_close(device);

    ASSERT_EQ(truncate(image.path().c_str(), 1000), 0);
    device = fssh::fssh_open(image.path().c_str(), fssh::FSSH_O_RDONLY, 0);
    EXPECT_EQ(wfs::Volume::Probe(device, &super_block), fssh::FSSH_IO_ERROR);
    fssh::fssh_close(device);
}

TEST(VolumeSuperBlock, StoreWritesTheInMemoryCopy)
{
    VolumeImage image(1024, 8 * MIB);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    MountedVolume volume(image.path());
    ASSERT_EQ(volume.status(), fssh::FSSH_OK);
    volume->SuperBlock().used_block_count = 4242;
    strcpy(volume->SuperBlock().volume_name, "renamed");
    EXPECT_EQ(volume->StoreSuperBlock(), fssh::FSSH_OK);
    EXPECT_EQ(image.SuperBlock().used_block_count, 4242);
    EXPECT_STREQ(image.SuperBlock().volume_name, "renamed");
}

TEST(VolumeSuperBlock, InodeBlockRangeLiesAfterTheLogEndValue)
{
    VolumeImage image(1024, 8 * MIB);
    ASSERT_EQ(image.format_status(), fssh::FSSH_OK);
    MountedVolume volume(image.path());
    ASSERT_EQ(volume.status(), fssh::FSSH_OK);
    int64_t log_end = volume->SuperBlock().log_end;
    EXPECT_FALSE(volume->IsInodeBlockInRange(log_end));
    EXPECT_TRUE(volume->IsInodeBlockInRange(log_end + 1));
    EXPECT_TRUE(volume->IsInodeBlockInRange(volume->NumBlocks() - 1));
    EXPECT_FALSE(volume->IsInodeBlockInRange(volume->NumBlocks()));
}

}  // namespace
