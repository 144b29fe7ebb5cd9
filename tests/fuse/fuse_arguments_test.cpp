#include "fuse/fuse_arguments.h"

#include "tests/fuse/memory_volume.h"
#include "tests/fuse/test_kernel.h"
#include "tests/support/host_facility.h"
#include "tests/support/loop_device.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wfsmount {
namespace {

using testing::ElementsAre;

constexpr host_identity ROOT = {0, 0, 0, 0};

// A libfuse argument list that starts with the program name and the mount
// point, as the parser leaves it.
class ArgumentList {
public:
    ArgumentList()
    {
        fuse_opt_add_arg(&args_, "wfsmount");
        fuse_opt_add_arg(&args_, "/mnt");
    }
    ~ArgumentList() { fuse_opt_free_args(&args_); }

    fuse_args* get() { return &args_; }
    std::vector<std::string> arguments() const
    {
        return std::vector<std::string>(args_.argv, args_.argv + args_.argc);
    }

private:
    fuse_args args_ = FUSE_ARGS_INIT(0, nullptr);
};

class FuseArguments : public testing::Test {
protected:
    void SetUp() override
    {
        fuse_test::bring_up_test_kernel();
        memory_volume::state() = memory_volume::volume_state{};
    }
};

class NonRootIdentity : public FuseArguments, public testing::WithParamInterface<host_identity> {};

TEST_P(NonRootIdentity, AddsNoOptionsButStillRunsSingleThreaded)
{
    test_support::ScratchImage image(1 << 20);
    ASSERT_TRUE(image.created()) << image.error();
    ArgumentList args;
    ASSERT_EQ(add_root_options(args.get(), GetParam(), image.path().c_str()), fssh::FSSH_OK);
    ASSERT_EQ(add_single_thread_argument(args.get()), fssh::FSSH_OK);
    EXPECT_THAT(args.arguments(), ElementsAre("wfsmount", "/mnt", "-s"));
}

// Root only when all four ids are 0.
INSTANTIATE_TEST_SUITE_P(Identities, NonRootIdentity,
                         testing::Values(host_identity{1000, 1000, 1000, 1000},
                                         host_identity{1000, 0, 0, 0},
                                         host_identity{0, 1000, 0, 0},
                                         host_identity{0, 0, 1000, 0},
                                         host_identity{0, 0, 0, 1000}));

TEST_F(FuseArguments, RootOnImageFileAllowsOthersAndNamesTheImage)
{
    test_support::ScratchImage image(1 << 20);
    ASSERT_TRUE(image.created()) << image.error();
    ArgumentList args;
    ASSERT_EQ(add_root_options(args.get(), ROOT, image.path().c_str()), fssh::FSSH_OK);
    ASSERT_EQ(add_single_thread_argument(args.get()), fssh::FSSH_OK);
    EXPECT_THAT(args.arguments(), ElementsAre("wfsmount", "/mnt", "-o",
                                              "allow_other,fsname=" + image.path(), "-s"));
}

TEST_F(FuseArguments, RootOnMissingDeviceStillNamesIt)
{
    ArgumentList args;
    ASSERT_EQ(add_root_options(args.get(), ROOT, "/nonexistent/device"), fssh::FSSH_OK);
    EXPECT_THAT(args.arguments(),
                ElementsAre("wfsmount", "/mnt", "-o", "allow_other,fsname=/nonexistent/device"));
}

TEST_F(FuseArguments, CommaInTheDevicePathIsEscaped)
{
    ArgumentList args;
    ASSERT_EQ(add_root_options(args.get(), ROOT, "/images/a,b.img"), fssh::FSSH_OK);
    EXPECT_THAT(args.arguments(),
                ElementsAre("wfsmount", "/mnt", "-o", "allow_other,fsname=/images/a\\,b.img"));
}

// A loop device over a scratch image stands for the block device.
class BlockDevice : public FuseArguments {
protected:
    void SetUp() override
    {
        FuseArguments::SetUp();
        ASSERT_TRUE(image_.created()) << image_.error();
        REQUIRE_HOST_FACILITY(loop_.attached(), "loop device: " + loop_.error());
    }

    std::vector<std::string> root_arguments()
    {
        ArgumentList args;
        EXPECT_EQ(add_root_options(args.get(), ROOT, loop_.path().c_str()), fssh::FSSH_OK);
        return args.arguments();
    }

    const std::string& device() const { return loop_.path(); }

private:
    test_support::ScratchImage image_{1 << 20};
    test_support::LoopDevice loop_{image_.path()};
};

TEST_F(BlockDevice, RootGetsBlkdevWithTheMountedVolumesBlockSize)
{
    memory_volume::state().block_size = 4096;
    EXPECT_THAT(root_arguments(),
                ElementsAre("wfsmount", "/mnt", "-o",
                            "allow_other,fsname=" + device() + ",blkdev,blksize=4096"));
}

TEST_F(BlockDevice, BlockSizeFallsBackTo512WhenTheVolumeInformationFails)
{
    memory_volume::state().fail_fs_info = true;
    EXPECT_THAT(root_arguments(),
                ElementsAre("wfsmount", "/mnt", "-o",
                            "allow_other,fsname=" + device() + ",blkdev,blksize=512"));
}

}  // namespace
}  // namespace wfsmount
