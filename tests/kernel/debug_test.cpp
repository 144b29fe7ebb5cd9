#include "kernel/debug.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace fssh {
namespace {

using testing::Eq;
using testing::ExitedWithCode;

using print_function = void (*)(const char* format, ...);

class KernelPrint : public testing::TestWithParam<print_function> {};

TEST_P(KernelPrint, WritesTheFormattedTextToStandardOutputUnchanged)
{
    testing::internal::CaptureStdout();
    GetParam()("wfs: %s:%d: %s", "read", 12, "done");
    GetParam()("%%\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "wfs: read:12: done%\n");
}

INSTANTIATE_TEST_SUITE_P(DebugAndKernelPrintf, KernelPrint,
                         testing::Values(&debug_printf, &kernel_printf));

// Makes the dying child's standard output part of what the death test sees,
// so that the order of output and message can be checked.
void send_stdout_to_stderr()
{
    dup2(STDERR_FILENO, STDOUT_FILENO);
}

TEST(DebuggerDeathTest, WritesItsMessageAndExitsWithStatusOne)
{
    EXPECT_EXIT(debugger("stop here"), ExitedWithCode(1), Eq("debugger() called: stop here\n"));
}

TEST(DebuggerDeathTest, WritesPendingStandardOutputFirst)
{
    EXPECT_EXIT(
        {
            send_stdout_to_stderr();
            debug_printf("pending ");
            debugger("stop");
        },
        ExitedWithCode(1), Eq("pending debugger() called: stop\n"));
}

TEST(DebuggerAssertDeathTest, PrefixesFileAndLine)
{
    EXPECT_EXIT(debugger_assert("journal.cpp", 42, "log full"), ExitedWithCode(1),
                Eq("debugger() called: journal.cpp:42: log full\n\n"));
}

TEST(DebuggerAssertDeathTest, CutsALongTextAtTheBufferSizeAndStillExitsWithStatusOne)
{
    std::string text(3000, 'x');
    // "f.cpp:7: " takes 9 of the 2047 characters the buffer holds.
    std::string kept = "f.cpp:7: " + std::string(2047 - 9, 'x');
    EXPECT_EXIT(debugger_assert("f.cpp", 7, text.c_str()), ExitedWithCode(1),
                Eq("debugger() called: " + kept + "\n"));
}

TEST(PanicDeathTest, WritesTheFormattedMessageAndExitsWithPanicStatus)
{
    EXPECT_EXIT(panic("bad block %lld in %s\n", 99LL, "inode"), ExitedWithCode(70),
                Eq("bad block 99 in inode\n"));
}

TEST(PanicDeathTest, WritesPendingStandardOutputFirst)
{
    EXPECT_EXIT(
        {
            send_stdout_to_stderr();
            debug_printf("pending ");
            panic("broken %d", 7);
        },
        ExitedWithCode(PANIC_EXIT_STATUS), Eq("pending broken 7"));
}

}  // namespace
}  // namespace fssh
