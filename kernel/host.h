#pragma once

// The kernel's window on the host operating system: every host facility whose
// interface differs between hosts (errno values without a portable name, disk
// requests, extended attributes, flushing a device) is reached through this
// header. Each host has one implementation file (host_linux.cpp here).

namespace fssh::host {

// The host errno that reports a missing extended attribute.
int missing_attribute_errno();

}  // namespace fssh::host
