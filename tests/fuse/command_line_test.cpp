#include "fuse/command_line.h"

#include "fuse/debug_mode.h"
#include "fuse/start_up.h"
#include "tests/support/fuse_mount_harness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wfsmount {
namespace {

using testing::ElementsAreArray;

std::vector<std::string> argument_list(const fuse_args& args)
{
    return std::vector<std::string>(args.argv, args.argv + args.argc);
}

struct parse_case {
    std::vector<std::string> command_line;
    std::vector<std::string> handed_to_libfuse;
    bool debug;
};

class CommandLineParsing : public testing::TestWithParam<parse_case> {};

TEST_P(CommandLineParsing, TakesTheDeviceAndHandsTheRestToLibfuse)
{
    set_debug_mode(false);
    std::vector<char*> argv;
    for (const std::string& argument : GetParam().command_line)
        argv.push_back(const_cast<char*>(argument.c_str()));
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    command_line parsed;

    ASSERT_EQ(parse_command_line(&args, &parsed), 0);
    // Both names point into the caller's argument vector.
    EXPECT_EQ(parsed.device, argv[argv.size() - 2]);
    EXPECT_EQ(parsed.mount_point, argv[argv.size() - 1]);
    EXPECT_THAT(argument_list(args), ElementsAreArray(GetParam().handed_to_libfuse));
    EXPECT_EQ(debug_mode(), GetParam().debug);
    fuse_opt_free_args(&args);
    set_debug_mode(false);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, CommandLineParsing,
    testing::Values(
        parse_case{{"wfsmount", "image", "/mnt"}, {"wfsmount", "/mnt"}, false},
        parse_case{{"wfsmount", "-d", "image", "/mnt"}, {"wfsmount", "-d", "/mnt"}, true},
        parse_case{{"wfsmount", "-o", "uhelper=wfs", "image", "/mnt"}, {"wfsmount", "/mnt"},
                   false},
        parse_case{{"wfsmount", "-o", "ro,uhelper=x,noatime", "-f", "image", "/mnt"},
                   {"wfsmount", "-o", "ro,noatime", "-f", "/mnt"},
                   false}));

TEST(CommandLine, UsageTextNamesTheProgram)
{
    testing::internal::CaptureStderr();
    print_usage("/usr/bin/wfsmount");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Usage: /usr/bin/wfsmount [-d] <device> <mount point>\n");
}

TEST(CommandLine, EmptyModuleListIsReportedBeforeTheKernelStarts)
{
    fssh::fs_module_info* const no_modules[] = {nullptr};
    std::string program = "wfsmount";
    std::string device = "image";
    std::string mount_point = "/mnt";
    char* argv[] = {program.data(), device.data(), mount_point.data(), nullptr};
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_wfsmount(3, argv, no_modules), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Couldn't find FS module!\n");
}

// The built program, run the way a user runs it.
struct program_case {
    std::vector<std::string> arguments;
    std::string expected_error_output;
};

std::string usage_text()
{
    return "Usage: " + std::string(WFSMOUNT_PROGRAM) + " [-d] <device> <mount point>\n";
}

constexpr const char* MOUNT_FAILURE = "Error: Mounting FS failed: Function not implemented\n";

class WfsmountProgram : public testing::TestWithParam<program_case> {};

TEST_P(WfsmountProgram, ReportsOnStandardErrorAndExitsWithStatusOne)
{
    std::vector<std::string> command = {WFSMOUNT_PROGRAM};
    command.insert(command.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    test_support::CommandResult result = test_support::run_program(command);
    EXPECT_EQ(result.exit_status, 1);
    std::string expected = GetParam().expected_error_output == "usage"
                               ? usage_text()
                               : GetParam().expected_error_output;
    EXPECT_EQ(result.error_output, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Usage, WfsmountProgram,
    testing::Values(program_case{{}, "usage"}, program_case{{"image"}, "usage"},
                    program_case{{"image", "/mnt", "third"}, "usage"},
                    program_case{{"-h"}, "usage"}, program_case{{"--help"}, "usage"},
                    program_case{{"image", "/mnt", "--help"}, "usage"},
                    program_case{{"-d", "image"}, "usage"}));

// A command line libfuse's parser refuses ends the program with libfuse's own
// complaint and nothing of the program's.
INSTANTIATE_TEST_SUITE_P(
    RefusedByTheParser, WfsmountProgram,
    testing::Values(program_case{{"image", "/mnt", "-o"}, "fuse: missing argument after `-o'\n"}));

// The placeholder wfs module refuses every mount, so a well-formed command
// line ends at the device mount.
INSTANTIATE_TEST_SUITE_P(
    DeviceMount, WfsmountProgram,
    testing::Values(program_case{{"image", "/mnt"}, MOUNT_FAILURE},
                    program_case{{"-o", "uhelper=wfs", "image", "/mnt"}, MOUNT_FAILURE},
                    program_case{{"-o", "allow_other,uhelper=", "image", "/mnt"}, MOUNT_FAILURE},
                    program_case{{"-d", "image", "/mnt"}, MOUNT_FAILURE}));

}  // namespace
}  // namespace wfsmount
