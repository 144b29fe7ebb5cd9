#include "kernel/status.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fssh {
namespace {

struct StatusToHostCase {
    status_code status;
    int host_errno;
};

class StatusToHostErrno : public testing::TestWithParam<StatusToHostCase> {};

TEST_P(StatusToHostErrno, MapsPairedCodesAndPassesOthersThrough)
{
    EXPECT_EQ(status_to_host_errno(GetParam().status), GetParam().host_errno);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, StatusToHostErrno,
    testing::Values(StatusToHostCase{FSSH_OK, 0}, StatusToHostCase{FSSH_ERROR, -1},
                    StatusToHostCase{FSSH_NO_MEMORY, ENOMEM},
                    StatusToHostCase{FSSH_NOT_FOUND, ENOENT},
                    // Both codes of the shared host value map to it.
                    StatusToHostCase{FSSH_EOPNOTSUPP, EOPNOTSUPP},
                    StatusToHostCase{FSSH_ENOTSUP, ENOTSUP},
                    StatusToHostCase{FSSH_WOULD_BLOCK, EAGAIN},
                    StatusToHostCase{FSSH_DIRECTORY_NOT_EMPTY, ENOTEMPTY},
                    StatusToHostCase{FSSH_ENOATTR, ENODATA},
                    StatusToHostCase{FSSH_POSIX_ERROR_52, 9919},
                    StatusToHostCase{FSSH_POSIX_ERROR_58, 9935},
                    // Codes without a host counterpart stay as they are.
                    StatusToHostCase{FSSH_WRONG_TYPE, FSSH_WRONG_TYPE},
                    StatusToHostCase{FSSH_UNSUPPORTED, FSSH_UNSUPPORTED},
                    StatusToHostCase{FSSH_POSIX_CODE_BASE + 14, FSSH_POSIX_CODE_BASE + 14},
                    StatusToHostCase{42, 42}));

struct HostToStatusCase {
    int host_errno;
    status_code status;
};

class HostErrnoToStatus : public testing::TestWithParam<HostToStatusCase> {};

TEST_P(HostErrnoToStatus, MapsPairedValuesAndNegatesUnknownOnes)
{
    EXPECT_EQ(host_errno_to_status(GetParam().host_errno), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, HostErrnoToStatus,
    testing::Values(HostToStatusCase{0, FSSH_OK}, HostToStatusCase{ENOENT, FSSH_NOT_FOUND},
                    // The later pair for the shared host value wins.
                    HostToStatusCase{EOPNOTSUPP, FSSH_ENOTSUP},
                    HostToStatusCase{EAGAIN, FSSH_WOULD_BLOCK},
                    HostToStatusCase{ENODATA, FSSH_ENOATTR},
                    HostToStatusCase{9924, FSSH_POSIX_ERROR_55},
                    HostToStatusCase{200, -200}, HostToStatusCase{-7, -7}));

// Every status code of the four error ranges, as far as any code is defined.
std::vector<status_code> codes_of_the_error_ranges()
{
    const std::pair<status_code, int> ranges[] = {
        {FSSH_ERROR_BASE, 0x11},
        {FSSH_KERNEL_ERROR_BASE, 0x400},
        {FSSH_FS_ERROR_BASE, 0x0f},
        {FSSH_POSIX_CODE_BASE, 0x3d},
    };
    std::vector<status_code> codes;
    for (auto [base, count] : ranges) {
        for (int i = 0; i < count; i++)
            codes.push_back(base + i);
    }
    return codes;
}

// The pair table gives 82 status codes a host value, 81 distinct ones: only
// FSSH_EOPNOTSUPP and FSSH_ENOTSUP share theirs, and the host value leads
// back to the later of the two. Every other paired code comes back unchanged.
TEST(PairTable, PairsEveryCodeWithItsOwnHostValueButOne)
{
    std::set<int> host_values;
    int paired_codes = 0;
    for (status_code status : codes_of_the_error_ranges()) {
        int host_errno = status_to_host_errno(status);
        if (host_errno == status)
            continue;
        SCOPED_TRACE(testing::Message() << std::hex << static_cast<uint32_t>(status));
        paired_codes++;
        host_values.insert(host_errno);
        EXPECT_GT(host_errno, 0);
        EXPECT_EQ(host_errno_to_status(host_errno),
                  status == FSSH_EOPNOTSUPP ? FSSH_ENOTSUP : status);
    }
    EXPECT_EQ(paired_codes, 82);
    EXPECT_EQ(host_values.size(), 81u);
}

TEST(StatusText, IsTheHostTextOfTheMappedErrno)
{
    EXPECT_STREQ(status_text(FSSH_NOT_FOUND), strerror(ENOENT));
    EXPECT_STREQ(status_text(FSSH_OK), strerror(0));
    std::string unknown = strerror(FSSH_CORRUPT_DATA);
    EXPECT_EQ(status_text(FSSH_CORRUPT_DATA), unknown);
}

TEST(StatusText, TextsOfUnknownCodesStayValidTogether)
{
    const char* wrong_type = status_text(FSSH_WRONG_TYPE);
    const char* corrupt = status_text(FSSH_CORRUPT_DATA);
    EXPECT_EQ(std::string(wrong_type), std::string(strerror(FSSH_WRONG_TYPE)));
    EXPECT_EQ(std::string(corrupt), std::string(strerror(FSSH_CORRUPT_DATA)));
}

TEST(KernelErrno, FollowsAFailedHostCall)
{
    errno = ENOENT;
    EXPECT_EQ(get_kernel_errno(), FSSH_NOT_FOUND);
    errno = EEXIST;
    EXPECT_EQ(get_kernel_errno(), FSSH_FILE_EXISTS);
}

TEST(KernelErrno, StoredStatusReachesTheHostErrnoAtTheNextSynchronisation)
{
    errno = EIO;
    ASSERT_EQ(get_kernel_errno(), FSSH_IO_ERROR);
    set_kernel_errno(FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(get_kernel_errno(), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(errno, EINVAL);
}

TEST(KernelErrno, StatusWithoutHostCounterpartSurvivesTheRoundTrip)
{
    errno = EIO;
    ASSERT_EQ(get_kernel_errno(), FSSH_IO_ERROR);
    set_kernel_errno(FSSH_CORRUPT_DATA);
    EXPECT_EQ(get_kernel_errno(), FSSH_CORRUPT_DATA);
    EXPECT_EQ(get_kernel_errno(), FSSH_CORRUPT_DATA);
}

}  // namespace
}  // namespace fssh
