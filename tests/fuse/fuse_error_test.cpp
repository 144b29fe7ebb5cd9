#include "fuse/fuse_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <random>
#include <vector>

namespace wfsmount {
namespace {

struct conversion_case {
    fssh::status_code status;
    int expected;
};

class FuseErrorConversion : public testing::TestWithParam<conversion_case> {};

TEST_P(FuseErrorConversion, AnswersTheErrnoAUserExpects)
{
    EXPECT_EQ(fuse_error(GetParam().status), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    SuccessAndMappedCodes, FuseErrorConversion,
    testing::Values(conversion_case{fssh::FSSH_OK, 0}, conversion_case{42, 0},
                    conversion_case{fssh::FSSH_NOT_FOUND, -ENOENT},
                    conversion_case{fssh::FSSH_NOT_PERMITTED, -EPERM},
                    conversion_case{fssh::FSSH_NO_MEMORY, -ENOMEM},
                    conversion_case{fssh::FSSH_INVALID_ARGUMENT, -EINVAL},
                    conversion_case{fssh::FSSH_DIRECTORY_NOT_EMPTY, -ENOTEMPTY},
                    conversion_case{fssh::FSSH_EOPNOTSUPP, -EOPNOTSUPP},
                    conversion_case{fssh::FSSH_ENOATTR, -ENODATA}));

INSTANTIATE_TEST_SUITE_P(
    CodesWithoutHostCounterpart, FuseErrorConversion,
    testing::Values(conversion_case{fssh::FSSH_ERROR, -EIO},
                    conversion_case{fssh::FSSH_CORRUPT_DATA, -EIO},
                    conversion_case{fssh::FSSH_DUPLICATE_NAME, -ENOTEMPTY},
                    conversion_case{fssh::FSSH_UNSUPPORTED, -EPERM},
                    conversion_case{fssh::FSSH_WRONG_TYPE, -ENOTDIR},
                    conversion_case{fssh::FSSH_NO_SUCH_INDEX, -ENOENT},
                    conversion_case{fssh::FSSH_NOT_INITIALIZED, -EIO},
                    conversion_case{fssh::FSSH_SEMAPHORE_TABLE_FULL, -ENOMEM},
                    conversion_case{fssh::FSSH_NO_SUCH_SEMAPHORE, -EIO},
                    conversion_case{fssh::FSSH_BAD_OWNER_ID, -EIO}));

INSTANTIATE_TEST_SUITE_P(
    NumbersLibfuseWouldRefuse, FuseErrorConversion,
    testing::Values(
        // Host numbers that are placeholders the host never produces.
        conversion_case{fssh::FSSH_POSIX_ERROR_52, -EIO},
        conversion_case{fssh::FSSH_POSIX_ERROR_58, -EIO},
        // Codes of the POSIX range that have no pair at all.
        conversion_case{fssh::FSSH_POSIX_CODE_BASE + 14, -EIO},
        conversion_case{fssh::FSSH_POSIX_CODE_BASE + 15, -EIO},
        // A host errno the kernel has no code for, spelled negated.
        conversion_case{-EREMOTEIO, -EREMOTEIO},
        conversion_case{-1000, -EIO}));

// The kernel's own mapping stays as it is: the front end adds its table on
// top of it.
TEST(FuseErrorConversionBase, KernelMappingStillPassesUnknownCodesThrough)
{
    EXPECT_EQ(fssh::status_to_host_errno(fssh::FSSH_ERROR), -1);
    EXPECT_EQ(fssh::status_to_host_errno(fssh::FSSH_WRONG_TYPE), fssh::FSSH_WRONG_TYPE);
}

bool is_valid_fuse_error(int error)
{
    return error < 0 && error > -1000;
}

// Every error code, known or not, reaches libfuse as a negative errno it
// accepts: never as success, a positive number or one out of range.
TEST(FuseErrorConversionBase, EveryErrorBecomesAValidNegativeErrno)
{
    std::vector<fssh::status_code> statuses;
    const fssh::status_code bases[] = {fssh::FSSH_ERROR_BASE, fssh::FSSH_KERNEL_ERROR_BASE,
                                       fssh::FSSH_FS_ERROR_BASE, fssh::FSSH_POSIX_CODE_BASE};
    for (fssh::status_code base : bases) {
        for (fssh::status_code offset = 0; offset < 0x1400; offset++)
            statuses.push_back(base + offset);
    }
    for (fssh::status_code small = -1; small >= -5000; small--)
        statuses.push_back(small);
    std::mt19937 generator(20240611);
    std::uniform_int_distribution<fssh::status_code> any_error(INT32_MIN, -1);
    for (int i = 0; i < 100000; i++)
        statuses.push_back(any_error(generator));

    for (fssh::status_code status : statuses)
        ASSERT_TRUE(is_valid_fuse_error(fuse_error(status))) << "status " << status;
}

}  // namespace
}  // namespace wfsmount
