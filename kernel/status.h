#pragma once

// Status codes of the kernel and the file systems, and their mapping to and
// from host errno values.

#include <cstdint>

namespace fssh {

// 0 is success, negative values are errors, positive values are results
// (byte counts, descriptor numbers, ids) passed through unchanged.
using status_code = int32_t;

// Builds a status code from its unsigned 32-bit spelling (0x8000xxxx).
constexpr status_code status_from_bits(uint32_t bits)
{
    return static_cast<status_code>(bits);
}

constexpr status_code FSSH_OK = 0;
constexpr status_code FSSH_ERROR = -1;

constexpr status_code FSSH_ERROR_BASE = status_from_bits(0x80000000);
constexpr status_code FSSH_KERNEL_ERROR_BASE = status_from_bits(0x80001000);
constexpr status_code FSSH_FS_ERROR_BASE = status_from_bits(0x80006000);
constexpr status_code FSSH_POSIX_CODE_BASE = status_from_bits(0x80007000);

// General errors.
constexpr status_code FSSH_NO_MEMORY = status_from_bits(0x80000000);
constexpr status_code FSSH_IO_ERROR = status_from_bits(0x80000001);
constexpr status_code FSSH_PERMISSION_DENIED = status_from_bits(0x80000002);
constexpr status_code FSSH_NO_SUCH_INDEX = status_from_bits(0x80000003);
constexpr status_code FSSH_WRONG_TYPE = status_from_bits(0x80000004);
constexpr status_code FSSH_INVALID_ARGUMENT = status_from_bits(0x80000005);
constexpr status_code FSSH_DUPLICATE_NAME = status_from_bits(0x80000008);
constexpr status_code FSSH_TIMED_OUT = status_from_bits(0x80000009);
constexpr status_code FSSH_INTERRUPTED = status_from_bits(0x8000000a);
constexpr status_code FSSH_WOULD_BLOCK = status_from_bits(0x8000000b);
constexpr status_code FSSH_NOT_INITIALIZED = status_from_bits(0x8000000d);
constexpr status_code FSSH_BUSY = status_from_bits(0x8000000e);
constexpr status_code FSSH_NOT_PERMITTED = status_from_bits(0x8000000f);
constexpr status_code FSSH_CORRUPT_DATA = status_from_bits(0x80000010);

// Kernel-object errors.
constexpr status_code FSSH_NO_SUCH_SEMAPHORE = status_from_bits(0x80001000);
constexpr status_code FSSH_SEMAPHORE_TABLE_FULL = status_from_bits(0x80001001);
constexpr status_code FSSH_BAD_OWNER_ID = status_from_bits(0x80001103);
constexpr status_code FSSH_BAD_ADDRESS = status_from_bits(0x80001301);
constexpr status_code FSSH_EXEC_FORMAT_ERROR = status_from_bits(0x80001302);

// Storage errors.
constexpr status_code FSSH_BAD_FILE_DESCRIPTOR = status_from_bits(0x80006000);
constexpr status_code FSSH_FILE_EXISTS = status_from_bits(0x80006002);
constexpr status_code FSSH_NOT_FOUND = status_from_bits(0x80006003);
constexpr status_code FSSH_NAME_TOO_LONG = status_from_bits(0x80006004);
constexpr status_code FSSH_NOT_A_DIRECTORY = status_from_bits(0x80006005);
constexpr status_code FSSH_DIRECTORY_NOT_EMPTY = status_from_bits(0x80006006);
constexpr status_code FSSH_NO_SPACE = status_from_bits(0x80006007);
constexpr status_code FSSH_READ_ONLY_FILE_SYSTEM = status_from_bits(0x80006008);
constexpr status_code FSSH_IS_A_DIRECTORY = status_from_bits(0x80006009);
constexpr status_code FSSH_TOO_MANY_OPEN_FILES = status_from_bits(0x8000600a);
constexpr status_code FSSH_CROSS_DEVICE_LINK = status_from_bits(0x8000600b);
constexpr status_code FSSH_SYMLINK_LOOP = status_from_bits(0x8000600c);
constexpr status_code FSSH_BROKEN_PIPE = status_from_bits(0x8000600d);
constexpr status_code FSSH_UNSUPPORTED = status_from_bits(0x8000600e);

// POSIX-style errors.
constexpr status_code FSSH_E2BIG = FSSH_POSIX_CODE_BASE + 1;
constexpr status_code FSSH_ECHILD = FSSH_POSIX_CODE_BASE + 2;
constexpr status_code FSSH_EDEADLK = FSSH_POSIX_CODE_BASE + 3;
constexpr status_code FSSH_EFBIG = FSSH_POSIX_CODE_BASE + 4;
constexpr status_code FSSH_EMLINK = FSSH_POSIX_CODE_BASE + 5;
constexpr status_code FSSH_ENFILE = FSSH_POSIX_CODE_BASE + 6;
constexpr status_code FSSH_ENODEV = FSSH_POSIX_CODE_BASE + 7;
constexpr status_code FSSH_ENOLCK = FSSH_POSIX_CODE_BASE + 8;
constexpr status_code FSSH_ENOSYS = FSSH_POSIX_CODE_BASE + 9;
constexpr status_code FSSH_ENOTTY = FSSH_POSIX_CODE_BASE + 10;
constexpr status_code FSSH_ENXIO = FSSH_POSIX_CODE_BASE + 11;
constexpr status_code FSSH_ESPIPE = FSSH_POSIX_CODE_BASE + 12;
constexpr status_code FSSH_ESRCH = FSSH_POSIX_CODE_BASE + 13;
constexpr status_code FSSH_EDOM = FSSH_POSIX_CODE_BASE + 16;
constexpr status_code FSSH_ERANGE = FSSH_POSIX_CODE_BASE + 17;
constexpr status_code FSSH_EPROTOTYPE = FSSH_POSIX_CODE_BASE + 18;
constexpr status_code FSSH_EPROTONOSUPPORT = FSSH_POSIX_CODE_BASE + 19;
constexpr status_code FSSH_EPFNOSUPPORT = FSSH_POSIX_CODE_BASE + 20;
constexpr status_code FSSH_EAFNOSUPPORT = FSSH_POSIX_CODE_BASE + 21;
constexpr status_code FSSH_EADDRINUSE = FSSH_POSIX_CODE_BASE + 22;
constexpr status_code FSSH_EADDRNOTAVAIL = FSSH_POSIX_CODE_BASE + 23;
constexpr status_code FSSH_ENETDOWN = FSSH_POSIX_CODE_BASE + 24;
constexpr status_code FSSH_ENETUNREACH = FSSH_POSIX_CODE_BASE + 25;
constexpr status_code FSSH_ENETRESET = FSSH_POSIX_CODE_BASE + 26;
constexpr status_code FSSH_ECONNABORTED = FSSH_POSIX_CODE_BASE + 27;
constexpr status_code FSSH_ECONNRESET = FSSH_POSIX_CODE_BASE + 28;
constexpr status_code FSSH_EISCONN = FSSH_POSIX_CODE_BASE + 29;
constexpr status_code FSSH_ENOTCONN = FSSH_POSIX_CODE_BASE + 30;
constexpr status_code FSSH_ESHUTDOWN = FSSH_POSIX_CODE_BASE + 31;
constexpr status_code FSSH_ECONNREFUSED = FSSH_POSIX_CODE_BASE + 32;
constexpr status_code FSSH_EHOSTUNREACH = FSSH_POSIX_CODE_BASE + 33;
constexpr status_code FSSH_ENOPROTOOPT = FSSH_POSIX_CODE_BASE + 34;
constexpr status_code FSSH_ENOBUFS = FSSH_POSIX_CODE_BASE + 35;
constexpr status_code FSSH_EINPROGRESS = FSSH_POSIX_CODE_BASE + 36;
constexpr status_code FSSH_EALREADY = FSSH_POSIX_CODE_BASE + 37;
constexpr status_code FSSH_EILSEQ = FSSH_POSIX_CODE_BASE + 38;
constexpr status_code FSSH_ENOMSG = FSSH_POSIX_CODE_BASE + 39;
constexpr status_code FSSH_ESTALE = FSSH_POSIX_CODE_BASE + 40;
constexpr status_code FSSH_EOVERFLOW = FSSH_POSIX_CODE_BASE + 41;
constexpr status_code FSSH_EMSGSIZE = FSSH_POSIX_CODE_BASE + 42;
constexpr status_code FSSH_EOPNOTSUPP = FSSH_POSIX_CODE_BASE + 43;
constexpr status_code FSSH_ENOTSOCK = FSSH_POSIX_CODE_BASE + 44;
constexpr status_code FSSH_EHOSTDOWN = FSSH_POSIX_CODE_BASE + 45;
constexpr status_code FSSH_EBADMSG = FSSH_POSIX_CODE_BASE + 46;
constexpr status_code FSSH_ECANCELED = FSSH_POSIX_CODE_BASE + 47;
constexpr status_code FSSH_EDESTADDRREQ = FSSH_POSIX_CODE_BASE + 48;
constexpr status_code FSSH_EDQUOT = FSSH_POSIX_CODE_BASE + 49;
constexpr status_code FSSH_EIDRM = FSSH_POSIX_CODE_BASE + 50;
constexpr status_code FSSH_EMULTIHOP = FSSH_POSIX_CODE_BASE + 51;
constexpr status_code FSSH_POSIX_ERROR_52 = FSSH_POSIX_CODE_BASE + 52;
constexpr status_code FSSH_ENOLINK = FSSH_POSIX_CODE_BASE + 53;
constexpr status_code FSSH_POSIX_ERROR_54 = FSSH_POSIX_CODE_BASE + 54;
constexpr status_code FSSH_POSIX_ERROR_55 = FSSH_POSIX_CODE_BASE + 55;
constexpr status_code FSSH_ENOTSUP = FSSH_POSIX_CODE_BASE + 56;
constexpr status_code FSSH_EPROTO = FSSH_POSIX_CODE_BASE + 57;
constexpr status_code FSSH_POSIX_ERROR_58 = FSSH_POSIX_CODE_BASE + 58;
constexpr status_code FSSH_ETXTBSY = FSSH_POSIX_CODE_BASE + 59;
constexpr status_code FSSH_ENOATTR = FSSH_POSIX_CODE_BASE + 60;

// The host errno paired with `status`, or `status` itself when it has no host
// counterpart (so 0 stays 0 and FSSH_ERROR stays -1).
int status_to_host_errno(status_code status);

// The status code paired with a host errno; an unknown positive value is
// negated, anything else is returned unchanged.
status_code host_errno_to_status(int host_errno);

// The host's message text for `status` (the host's text for an unknown error
// number when the code has no host counterpart). Used by every diagnostic that
// prints a status with "%s".
const char* status_text(status_code status);

// The kernel's emulated errno. Every access first brings it into step with the
// host errno: a host errno that changed since the last access becomes the
// status, and a status stored since the last access becomes the host errno.
status_code* kernel_errno_location();
void set_kernel_errno(status_code status);
status_code get_kernel_errno();

}  // namespace fssh
