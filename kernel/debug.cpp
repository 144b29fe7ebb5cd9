#include "kernel/debug.h"

#include <cstdarg>
#include <cstdio>
#include <sysexits.h>
#include <unistd.h>

namespace fssh {

namespace {

constexpr size_t ASSERT_MESSAGE_SIZE = 2048;

static_assert(PANIC_EXIT_STATUS == EX_SOFTWARE);

// Ends the process at once. Pending standard output is written first so that
// the diagnostics that led here are not lost; atexit handlers and static
// destructors are skipped, because the kernel's state can no longer be
// trusted when a contract has been broken.
[[noreturn]] void end_process(int exit_status)
{
    fflush(stdout);
    fflush(stderr);
    _exit(exit_status);
}

}  // namespace

void debug_printf(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vprintf(format, arguments);
    va_end(arguments);
}

void kernel_printf(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vprintf(format, arguments);
    va_end(arguments);
}

void panic(const char* format, ...)
{
    fflush(stdout);
    va_list arguments;
    va_start(arguments, format);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
    end_process(PANIC_EXIT_STATUS);
}

void debugger(const char* message)
{
    fflush(stdout);
    fprintf(stderr, "debugger() called: %s\n", message);
    end_process(DEBUGGER_EXIT_STATUS);
}

void debugger_assert(const char* file, int line, const char* text)
{
    char message[ASSERT_MESSAGE_SIZE];
    snprintf(message, sizeof(message), "%s:%d: %s\n", file, line, text);
    debugger(message);
}

status_code add_debugger_command(const char* /*name*/, debugger_command_hook /*hook*/,
                                 const char* /*description*/)
{
    return FSSH_OK;
}

}  // namespace fssh
