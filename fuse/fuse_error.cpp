#include "fuse/fuse_error.h"

#include <cerrno>

namespace wfsmount {

namespace {

// libfuse refuses an error whose magnitude is 1000 or more ("bad error
// value") and answers the request with ERANGE instead.
constexpr int FIRST_INVALID_ERRNO = 1000;

struct error_pair {
    fssh::status_code status;
    int host_errno;
};

// Codes the kernel and the file systems use that have no host counterpart,
// and what a user of the mount sees for each:
//
//   status                      errno      why
//   FSSH_ERROR                  EIO        a general failure inside the kernel
//   FSSH_CORRUPT_DATA           EIO        the volume holds corrupt data
//   FSSH_NOT_INITIALIZED        EIO        an internal object was not set up
//   FSSH_NO_SUCH_SEMAPHORE      EIO        internal lock failure
//   FSSH_BAD_OWNER_ID           EIO        internal lock failure
//   FSSH_SEMAPHORE_TABLE_FULL   ENOMEM     no room for another lock
//   FSSH_DUPLICATE_NAME         ENOTEMPTY  a rename onto a directory that still
//                                          has entries
//   FSSH_UNSUPPORTED            EPERM      a hard link, which the file systems
//                                          do not have (as Linux file systems
//                                          without hard links answer)
//   FSSH_WRONG_TYPE             ENOTDIR    the node is not the plain directory
//                                          the operation needs
//   FSSH_NO_SUCH_INDEX          ENOENT     the named index does not exist
//
// The POSIX-style codes whose host number is a placeholder the host never
// produces (FSSH_POSIX_ERROR_52 and its kin) map to numbers libfuse refuses;
// they become EIO below, as does every other code left unknown.
constexpr error_pair unmapped_codes[] = {
    {fssh::FSSH_ERROR, EIO},
    {fssh::FSSH_CORRUPT_DATA, EIO},
    {fssh::FSSH_NOT_INITIALIZED, EIO},
    {fssh::FSSH_NO_SUCH_SEMAPHORE, EIO},
    {fssh::FSSH_BAD_OWNER_ID, EIO},
    {fssh::FSSH_SEMAPHORE_TABLE_FULL, ENOMEM},
    {fssh::FSSH_DUPLICATE_NAME, ENOTEMPTY},
    {fssh::FSSH_UNSUPPORTED, EPERM},
    {fssh::FSSH_WRONG_TYPE, ENOTDIR},
    {fssh::FSSH_NO_SUCH_INDEX, ENOENT},
};

bool is_valid_host_errno(int host_errno)
{
    return host_errno > 0 && host_errno < FIRST_INVALID_ERRNO;
}

}  // namespace

int fuse_error(fssh::status_code status)
{
    if (status >= fssh::FSSH_OK)
        return 0;
    for (const error_pair& pair : unmapped_codes) {
        if (pair.status == status)
            return -pair.host_errno;
    }
    int host_errno = fssh::status_to_host_errno(status);
    if (is_valid_host_errno(host_errno))
        return -host_errno;
    // The kernel spells a host errno it has no code for as its negation
    // (host_errno_to_status); hand the host its own number back.
    if (is_valid_host_errno(-status))
        return status;
    return -EIO;
}

}  // namespace wfsmount
