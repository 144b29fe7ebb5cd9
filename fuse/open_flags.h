#pragma once

// Host open flags as the kernel's open-mode bits.

#include <cstdint>

namespace wfsmount {

// Translates the open flags of a FUSE open request into the kernel's open
// mode. The host numbers its flags differently (its O_TRUNC is the kernel's
// create bit, its O_APPEND the kernel's truncate bit), so they cannot be
// handed on unchanged; flags the kernel has no bit for are dropped.
uint32_t kernel_open_mode(int host_flags);

}  // namespace wfsmount
