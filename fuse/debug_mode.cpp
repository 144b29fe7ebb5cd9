#include "fuse/debug_mode.h"

namespace wfsmount {

namespace {

bool debug_enabled = false;

}  // namespace

bool debug_mode()
{
    return debug_enabled;
}

void set_debug_mode(bool enabled)
{
    debug_enabled = enabled;
}

}  // namespace wfsmount
