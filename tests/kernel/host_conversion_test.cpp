#include "kernel/host_conversion.h"

#include "kernel/open_mode.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

namespace fssh {
namespace {

struct OpenFlagsCase {
    const char* name;
    uint32_t kernel_open_mode;
    int host_flags;
    bool no_traverse;
};

class OpenFlagsToHost : public testing::TestWithParam<OpenFlagsCase> {};

TEST_P(OpenFlagsToHost, ConvertsEachKernelBitToItsHostCounterpart)
{
    host_open_flags flags = open_flags_to_host(GetParam().kernel_open_mode);
    EXPECT_EQ(flags.flags, GetParam().host_flags);
    EXPECT_EQ(flags.no_traverse, GetParam().no_traverse);
}

INSTANTIATE_TEST_SUITE_P(
    Bits, OpenFlagsToHost,
    testing::Values(
        OpenFlagsCase{"ReadOnly", 0, O_RDONLY, false},
        OpenFlagsCase{"WriteOnly", 1, O_WRONLY, false},
        OpenFlagsCase{"ReadWrite", 2, O_RDWR, false},
        OpenFlagsCase{"UnusedAccessModeReads", 3, O_RDONLY, false},
        OpenFlagsCase{"NonBlocking", 0x80, O_NONBLOCK, false},
        OpenFlagsCase{"Exclusive", 0x100, O_EXCL, false},
        OpenFlagsCase{"Create", 0x200, O_CREAT, false},
        OpenFlagsCase{"Truncate", 0x400, O_TRUNC, false},
        OpenFlagsCase{"Append", 0x800, O_APPEND, false},
        OpenFlagsCase{"NoFollowIsHandledByTheLayer", 0x1000, O_RDONLY, true},
        OpenFlagsCase{"NoTraverseIsHandledByTheLayer", 0x2000, O_RDONLY, true},
        // The volume always adds the no-cache bit; it never reaches the host.
        OpenFlagsCase{"NoCacheDropped", 0x100000 | 2, O_RDWR, false},
        OpenFlagsCase{"DirectoryDropped", 0x200000, O_RDONLY, false},
        OpenFlagsCase{"Combined", 0x2 | 0x200 | 0x400 | 0x100 | 0x2000,
                      O_RDWR | O_CREAT | O_TRUNC | O_EXCL, true}),
    [](const testing::TestParamInfo<OpenFlagsCase>& info) { return info.param.name; });

struct ModeCase {
    const char* name;
    uint32_t kernel_mode;
    mode_t host_mode;
};

class ModeConversion : public testing::TestWithParam<ModeCase> {};

TEST_P(ModeConversion, KeepsKnownTypesAndPermissionBits)
{
    EXPECT_EQ(mode_to_host(GetParam().kernel_mode), GetParam().host_mode);
}

TEST_P(ModeConversion, ConvertsTheHostModeBack)
{
    EXPECT_EQ(mode_from_host(GetParam().host_mode), GetParam().kernel_mode);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ModeConversion,
    testing::Values(ModeCase{"Fifo", 0x1000 | 0644, S_IFIFO | 0644},
                    ModeCase{"Directory", 0x4000 | 0755, S_IFDIR | 0755},
                    ModeCase{"BlockDevice", 0x6000 | 0660, S_IFBLK | 0660},
                    ModeCase{"RegularFile", 0x8000 | 0600, S_IFREG | 0600},
                    ModeCase{"SymbolicLink", 0xA000 | 0777, S_IFLNK | 0777},
                    ModeCase{"AllTwelvePermissionBits", 0x8000 | 07777, S_IFREG | 07777},
                    ModeCase{"NoType", 0644, 0644}),
    [](const testing::TestParamInfo<ModeCase>& info) { return info.param.name; });

TEST(ModeConversion, DropsTypesWithoutCounterpartInBothDirections)
{
    EXPECT_EQ(mode_from_host(S_IFCHR | 0666), 0666u);
    EXPECT_EQ(mode_from_host(S_IFSOCK | 0755), 0755u);
    EXPECT_EQ(mode_to_host(FSSH_S_IFCHR | 0666), mode_t{0666});
    EXPECT_EQ(mode_to_host(FSSH_S_IFSOCK | 0755), mode_t{0755});
    // Bits above the type field are not part of the host mode.
    EXPECT_EQ(mode_to_host(0x010041ed), mode_t{S_IFDIR | 0755});
}

TEST(StatFromHost, CopiesTheFieldsAndKeepsWholeSeconds)
{
    struct stat host_stat = {};
    host_stat.st_dev = 0x803;
    host_stat.st_ino = 123456789012;
    host_stat.st_mode = S_IFREG | 0640;
    host_stat.st_nlink = 3;
    host_stat.st_uid = 1001;
    host_stat.st_gid = 1002;
    host_stat.st_size = 5'000'000'000;
    host_stat.st_blksize = 4096;
    host_stat.st_blocks = 77;
    host_stat.st_rdev = 0x700;
    host_stat.st_atim = {1000, 999'999'999};
    host_stat.st_mtim = {2000, 1};
    host_stat.st_ctim = {3000, 500};

    kernel_stat stat;
    memset(&stat, 0xA5, sizeof(stat));
    stat_from_host(host_stat, &stat);

    EXPECT_EQ(stat.st_dev, 0x803);
    EXPECT_EQ(stat.st_ino, 123456789012);
    EXPECT_EQ(stat.st_mode, FSSH_S_IFREG | 0640);
    EXPECT_EQ(stat.st_nlink, 3);
    EXPECT_EQ(stat.st_uid, 1001u);
    EXPECT_EQ(stat.st_gid, 1002u);
    EXPECT_EQ(stat.st_size, 5'000'000'000);
    EXPECT_EQ(stat.st_blksize, 4096);
    EXPECT_EQ(stat.st_atim.tv_sec, 1000);
    EXPECT_EQ(stat.st_atim.tv_nsec, 0);
    EXPECT_EQ(stat.st_mtim.tv_sec, 2000);
    EXPECT_EQ(stat.st_mtim.tv_nsec, 0);
    EXPECT_EQ(stat.st_ctim.tv_sec, 3000);
    EXPECT_EQ(stat.st_ctim.tv_nsec, 0);
    // The host keeps no creation time: the change time stands in for it.
    EXPECT_EQ(stat.st_crtim.tv_sec, 3000);
    EXPECT_EQ(stat.st_crtim.tv_nsec, 0);
    EXPECT_EQ(stat.st_type, 0u);
    EXPECT_EQ(stat.st_rdev, 0);
    EXPECT_EQ(stat.st_blocks, 0);
}

TEST(StatFromHost, ConvertsTheModeOfACharacterDeviceToNoType)
{
    struct stat host_stat;
    ASSERT_EQ(stat("/dev/null", &host_stat), 0);
    kernel_stat stat;
    stat_from_host(host_stat, &stat);
    EXPECT_EQ(stat.st_mode & FSSH_S_IFMT, 0u);
    EXPECT_EQ(stat.st_mode, static_cast<uint32_t>(host_stat.st_mode & 07777));
}

}  // namespace
}  // namespace fssh
