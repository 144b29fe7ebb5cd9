#pragma once

// The process-wide debug flag, set by "-d" on the command line and fixed once
// the command line is parsed. It turns on the FUSE operations' trace lines and
// sends the unmount failure to standard error instead of the system log.

namespace wfsmount {

bool debug_mode();
void set_debug_mode(bool enabled);

}  // namespace wfsmount
