#pragma once

// Kernel diagnostics: debug output on standard output, and the ways in which
// a broken internal contract ends the process.

#include "kernel/status.h"

namespace fssh {

// Formats to standard output, with no prefix and no added newline.
void debug_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Same as debug_printf.
void kernel_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Exit status of a process ended by debugger() or debugger_assert().
constexpr int DEBUGGER_EXIT_STATUS = 1;

// Exit status of a process ended by panic(): "internal software error" in the
// host's sysexits convention. No status code the program returns as its exit
// value has 70 as its low byte, so a panic is never mistaken for one.
constexpr int PANIC_EXIT_STATUS = 70;

// Formats to standard error and ends the process with PANIC_EXIT_STATUS;
// never returns. Pending standard output is flushed first; atexit handlers
// and static destructors do not run.
[[noreturn]] void panic(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes "debugger() called: <message>\n" to standard error and exits with
// DEBUGGER_EXIT_STATUS (1), as panic() does.
[[noreturn]] void debugger(const char* message);

// Formats "<file>:<line>: <text>\n" into a 2048-byte buffer (longer text is
// cut) and ends the process as debugger() does with that buffer.
[[noreturn]] void debugger_assert(const char* file, int line, const char* text);

// A command of the kernel debugger: takes its arguments, returns 0 on success.
using debugger_command_hook = int (*)(int argc, char** argv);

// Registers a debugger command. The program has no kernel debugger to run
// commands in, so nothing is kept; always FSSH_OK.
status_code add_debugger_command(const char* name, debugger_command_hook hook,
                                 const char* description);

}  // namespace fssh
