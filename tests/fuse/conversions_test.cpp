#include "fuse/open_flags.h"
#include "fuse/stat_conversion.h"
#include "kernel/open_mode.h"

#include <gtest/gtest.h>

#include <fcntl.h>

namespace wfsmount {
namespace {

TEST(StatConversion, CopiesKernelFieldsAndLeavesTheRestAsPassed)
{
    fssh::kernel_stat from = {};
    from.st_dev = -5;
    from.st_ino = 0x123456789;
    from.st_mode = 0x1234a1ed;
    from.st_nlink = 3;
    from.st_uid = 1001;
    from.st_gid = 1002;
    from.st_size = 1 << 20;
    from.st_rdev = -7;
    from.st_blksize = 65536;
    from.st_atim = {1000, 11};
    from.st_mtim = {2000, 22};
    from.st_ctim = {3000, 33};
    from.st_crtim = {4000, 44};
    from.st_blocks = 2048;

    struct stat to;
    memset(&to, 0, sizeof(to));
    to.st_atim.tv_nsec = 777;
    to.st_mtim.tv_nsec = 778;
    to.st_ctim.tv_nsec = 779;
    convert_stat(from, &to);

    EXPECT_EQ(to.st_dev, static_cast<dev_t>(-5));
    EXPECT_EQ(to.st_ino, 0x123456789u);
    EXPECT_EQ(to.st_mode, 0xa1edu);
    EXPECT_EQ(to.st_nlink, 3u);
    EXPECT_EQ(to.st_uid, 1001u);
    EXPECT_EQ(to.st_gid, 1002u);
    EXPECT_EQ(to.st_size, 1 << 20);
    EXPECT_EQ(to.st_rdev, static_cast<dev_t>(-7));
    EXPECT_EQ(to.st_blksize, 65536);
    EXPECT_EQ(to.st_blocks, 2048);
    EXPECT_EQ(to.st_atim.tv_sec, 1000);
    EXPECT_EQ(to.st_mtim.tv_sec, 2000);
    EXPECT_EQ(to.st_ctim.tv_sec, 3000);
    EXPECT_EQ(to.st_atim.tv_nsec, 777);
    EXPECT_EQ(to.st_mtim.tv_nsec, 778);
    EXPECT_EQ(to.st_ctim.tv_nsec, 779);
}

struct open_flags_case {
    int host_flags;
    uint32_t open_mode;
};

class OpenFlagTranslation : public testing::TestWithParam<open_flags_case> {};

TEST_P(OpenFlagTranslation, GivesTheKernelsBits)
{
    EXPECT_EQ(kernel_open_mode(GetParam().host_flags), GetParam().open_mode);
}

INSTANTIATE_TEST_SUITE_P(
    HostFlags, OpenFlagTranslation,
    testing::Values(
        open_flags_case{O_RDONLY, fssh::FSSH_O_RDONLY},
        open_flags_case{O_WRONLY, fssh::FSSH_O_WRONLY},
        open_flags_case{O_RDWR, fssh::FSSH_O_RDWR},
        // The host's O_TRUNC and O_APPEND are the kernel's create and
        // truncate bits: handed on unchanged they would create or truncate.
        open_flags_case{O_WRONLY | O_TRUNC, fssh::FSSH_O_WRONLY | fssh::FSSH_O_TRUNC},
        open_flags_case{O_WRONLY | O_APPEND, fssh::FSSH_O_WRONLY | fssh::FSSH_O_APPEND},
        open_flags_case{O_RDWR | O_CREAT | O_EXCL,
                        fssh::FSSH_O_RDWR | fssh::FSSH_O_CREAT | fssh::FSSH_O_EXCL},
        open_flags_case{O_RDONLY | O_NONBLOCK, fssh::FSSH_O_NONBLOCK},
        open_flags_case{O_RDONLY | O_DIRECTORY, fssh::FSSH_O_DIRECTORY},
        open_flags_case{O_RDONLY | O_NOFOLLOW, fssh::FSSH_O_NOFOLLOW},
        open_flags_case{O_RDWR | O_DIRECT, fssh::FSSH_O_RDWR | fssh::FSSH_O_NOCACHE},
        // Flags the kernel has no bit for are dropped.
        open_flags_case{O_RDONLY | O_CLOEXEC | O_NOATIME | O_LARGEFILE, fssh::FSSH_O_RDONLY},
        open_flags_case{O_WRONLY | 0100000, fssh::FSSH_O_WRONLY}));

}  // namespace
}  // namespace wfsmount
