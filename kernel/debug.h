#pragma once

// Kernel diagnostics: debug output on standard output, and the ways in which
// a broken internal contract ends the process.

namespace fssh {

// Formats to standard output, with no prefix and no added newline.
void debug_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Same as debug_printf.
void kernel_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats to standard error and ends the process; never returns.
[[noreturn]] void panic(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes "debugger() called: <message>\n" to standard error and exits with
// status 1.
[[noreturn]] void debugger(const char* message);

// Formats "<file>:<line>: <text>\n" into a 2048-byte buffer (longer text is
// cut) and ends the process as debugger() does with that buffer.
[[noreturn]] void debugger_assert(const char* file, int line, const char* text);

}  // namespace fssh
