#include "kernel/status.h"

#include "kernel/host.h"

#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>
#include <unordered_map>

namespace fssh {

namespace {

struct errno_pair {
    int host_errno;
    status_code status;
};

// The pairs in their fixed order. Where a host value or a status code appears
// twice, the later pair decides the mapping (host EOPNOTSUPP and ENOTSUP share
// a number on the hosts we run on, so the host value maps to FSSH_ENOTSUP).
// The four numbers 9919, 9922, 9924 and 9935 have no host name; the host never
// produces them.
const errno_pair* pair_table(size_t* count)
{
    static const errno_pair pairs[] = {
        {E2BIG, FSSH_E2BIG},
        {ECHILD, FSSH_ECHILD},
        {EDEADLK, FSSH_EDEADLK},
        {EFBIG, FSSH_EFBIG},
        {EMLINK, FSSH_EMLINK},
        {ENFILE, FSSH_ENFILE},
        {ENODEV, FSSH_ENODEV},
        {ENOLCK, FSSH_ENOLCK},
        {ENOSYS, FSSH_ENOSYS},
        {ENOTTY, FSSH_ENOTTY},
        {ENXIO, FSSH_ENXIO},
        {ESPIPE, FSSH_ESPIPE},
        {ESRCH, FSSH_ESRCH},
        {EDOM, FSSH_EDOM},
        {ERANGE, FSSH_ERANGE},
        {EPROTOTYPE, FSSH_EPROTOTYPE},
        {EPROTONOSUPPORT, FSSH_EPROTONOSUPPORT},
        {EPFNOSUPPORT, FSSH_EPFNOSUPPORT},
        {EAFNOSUPPORT, FSSH_EAFNOSUPPORT},
        {EADDRINUSE, FSSH_EADDRINUSE},
        {EADDRNOTAVAIL, FSSH_EADDRNOTAVAIL},
        {ENETDOWN, FSSH_ENETDOWN},
        {ENETUNREACH, FSSH_ENETUNREACH},
        {ENETRESET, FSSH_ENETRESET},
        {ECONNABORTED, FSSH_ECONNABORTED},
        {ECONNRESET, FSSH_ECONNRESET},
        {EISCONN, FSSH_EISCONN},
        {ENOTCONN, FSSH_ENOTCONN},
        {ESHUTDOWN, FSSH_ESHUTDOWN},
        {ECONNREFUSED, FSSH_ECONNREFUSED},
        {EHOSTUNREACH, FSSH_EHOSTUNREACH},
        {ENOPROTOOPT, FSSH_ENOPROTOOPT},
        {ENOBUFS, FSSH_ENOBUFS},
        {EINPROGRESS, FSSH_EINPROGRESS},
        {EALREADY, FSSH_EALREADY},
        {EILSEQ, FSSH_EILSEQ},
        {ENOMSG, FSSH_ENOMSG},
        {ESTALE, FSSH_ESTALE},
        {EOVERFLOW, FSSH_EOVERFLOW},
        {EMSGSIZE, FSSH_EMSGSIZE},
        {EOPNOTSUPP, FSSH_EOPNOTSUPP},
        {ENOTSOCK, FSSH_ENOTSOCK},
        {EHOSTDOWN, FSSH_EHOSTDOWN},
        {EBADMSG, FSSH_EBADMSG},
        {ECANCELED, FSSH_ECANCELED},
        {EDESTADDRREQ, FSSH_EDESTADDRREQ},
        {EDQUOT, FSSH_EDQUOT},
        {EIDRM, FSSH_EIDRM},
        {EMULTIHOP, FSSH_EMULTIHOP},
        {9919, FSSH_POSIX_ERROR_52},
        {ENOLINK, FSSH_ENOLINK},
        {9922, FSSH_POSIX_ERROR_54},
        {9924, FSSH_POSIX_ERROR_55},
        {ENOTSUP, FSSH_ENOTSUP},
        {EPROTO, FSSH_EPROTO},
        {9935, FSSH_POSIX_ERROR_58},
        {ETXTBSY, FSSH_ETXTBSY},
        {ENOMEM, FSSH_NO_MEMORY},
        {EACCES, FSSH_PERMISSION_DENIED},
        {EINTR, FSSH_INTERRUPTED},
        {EIO, FSSH_IO_ERROR},
        {EBUSY, FSSH_BUSY},
        {EFAULT, FSSH_BAD_ADDRESS},
        {ETIMEDOUT, FSSH_TIMED_OUT},
        {EAGAIN, FSSH_WOULD_BLOCK},
        {EAGAIN, FSSH_WOULD_BLOCK},
        {EBADF, FSSH_BAD_FILE_DESCRIPTOR},
        {EEXIST, FSSH_FILE_EXISTS},
        {EINVAL, FSSH_INVALID_ARGUMENT},
        {ENAMETOOLONG, FSSH_NAME_TOO_LONG},
        {ENOENT, FSSH_NOT_FOUND},
        {EPERM, FSSH_NOT_PERMITTED},
        {ENOTDIR, FSSH_NOT_A_DIRECTORY},
        {EISDIR, FSSH_IS_A_DIRECTORY},
        {ENOTEMPTY, FSSH_DIRECTORY_NOT_EMPTY},
        {ENOSPC, FSSH_NO_SPACE},
        {EROFS, FSSH_READ_ONLY_FILE_SYSTEM},
        {EMFILE, FSSH_TOO_MANY_OPEN_FILES},
        {EXDEV, FSSH_CROSS_DEVICE_LINK},
        {ELOOP, FSSH_SYMLINK_LOOP},
        {ENOEXEC, FSSH_EXEC_FORMAT_ERROR},
        {EPIPE, FSSH_BROKEN_PIPE},
        {host::missing_attribute_errno(), FSSH_ENOATTR},
    };
    static_assert(std::size(pairs) == 83);
    *count = std::size(pairs);
    return pairs;
}

// The emulated errno, the last host errno seen and the emulated errno at the
// last synchronisation.
status_code kernel_errno = 0;
int last_host_errno = 0;
status_code last_synced_kernel_errno = 0;

void synchronise_errno()
{
    int current_host_errno = errno;
    if (current_host_errno != last_host_errno) {
        last_host_errno = current_host_errno;
        kernel_errno = host_errno_to_status(current_host_errno);
        last_synced_kernel_errno = kernel_errno;
    } else if (kernel_errno != last_synced_kernel_errno) {
        errno = status_to_host_errno(kernel_errno);
        last_host_errno = errno;
        last_synced_kernel_errno = kernel_errno;
    }
}

}  // namespace

// Both lookups scan the table from its end, so that the later of two pairs
// with the same key wins, exactly as if the maps had been filled in order.
int status_to_host_errno(status_code status)
{
    size_t count;
    const errno_pair* pairs = pair_table(&count);
    for (size_t i = count; i-- > 0;) {
        if (pairs[i].status == status)
            return pairs[i].host_errno;
    }
    return status;
}

status_code host_errno_to_status(int host_errno)
{
    size_t count;
    const errno_pair* pairs = pair_table(&count);
    for (size_t i = count; i-- > 0;) {
        if (pairs[i].host_errno == host_errno)
            return pairs[i].status;
    }
    return host_errno > 0 ? -host_errno : host_errno;
}

// The host's text for an unknown number lives in a buffer that the next
// strerror call replaces, so every text is kept for the life of the process:
// a diagnostic may print several status texts in one line.
const char* status_text(status_code status)
{
    static std::unordered_map<int, std::string> texts;
    int host_errno = status_to_host_errno(status);
    auto found = texts.find(host_errno);
    if (found == texts.end())
        found = texts.emplace(host_errno, strerror(host_errno)).first;
    return found->second.c_str();
}

status_code* kernel_errno_location()
{
    synchronise_errno();
    return &kernel_errno;
}

void set_kernel_errno(status_code status)
{
    *kernel_errno_location() = status;
}

status_code get_kernel_errno()
{
    return *kernel_errno_location();
}

}  // namespace fssh
