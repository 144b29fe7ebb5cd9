#pragma once

// The mount and unmount events, written to the host's system log at
// LOG_INFO with the default identity and facility (the program never calls
// openlog).

namespace wfsmount {

// Formats one line into the system log.
void system_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Receives every formatted line instead of the system log while set (null
// restores the system log). Tests use it to see the lines on hosts whose
// system log cannot be read back.
using system_log_sink = void (*)(const char* line);
void set_system_log_sink(system_log_sink sink);

}  // namespace wfsmount
