// Linux implementation of the host interface.

#include "kernel/host.h"

#include <cerrno>

namespace fssh::host {

int missing_attribute_errno()
{
    // Linux has no ENOATTR; its extended-attribute calls report ENODATA.
    return ENODATA;
}

}  // namespace fssh::host
