#pragma once

// The FUSE operations: each turns one request into kernel calls on the global
// I/O context, with the FUSE path handed to the kernel unchanged ("/" is the
// root of the kernel's name space), and answers 0 or a byte count on success
// and a negative host errno on failure. No operation keeps state between
// requests. With the debug flag each operation first writes its trace line
// ("##getattr\n" and so on) to standard error.

#include <fuse.h>

namespace wfsmount {

// Fills the operation record: every operation below, release, fsync and
// utimens null, every other member left as it is.
void fill_operations(fuse_operations* operations);

// Reads the status of the path without following a final link and converts
// it into `stat` whatever the result; in debug mode also prints
// "GETATTR returned: %d\n" with the raw status to standard output.
int frontend_getattr(const char* path, struct stat* stat, fuse_file_info* info);

// Reads the link text into the buffer, always zero-terminated: a text that
// does not fit is cut at the buffer's last byte.
int frontend_readlink(const char* path, char* buffer, size_t size);

// Creates a regular file (exclusive create); any other node type is -EINVAL.
int frontend_mknod(const char* path, mode_t mode, dev_t device);

int frontend_mkdir(const char* path, mode_t mode);
int frontend_unlink(const char* path);
int frontend_rmdir(const char* path);
int frontend_symlink(const char* target, const char* path);

// Renames without flags. A request with rename flags (exchange, no-replace)
// is -EINVAL, the answer of a file system that has none, so that callers fall
// back to a plain rename instead of having the flags ignored.
int frontend_rename(const char* old_path, const char* new_path, unsigned int flags);

int frontend_link(const char* existing_path, const char* new_path);

// Sets the permission bits of the node itself (a final link is not followed).
int frontend_chmod(const char* path, mode_t mode, fuse_file_info* info);

// Sets owner and group of the node itself; an id of -1 leaves that field
// unchanged.
int frontend_chown(const char* path, uid_t user_id, gid_t group_id, fuse_file_info* info);

// Sets the size, following a final link.
int frontend_truncate(const char* path, off_t size, fuse_file_info* info);

// Opens and closes at once, to check that the open is allowed; nothing is
// kept in the file info.
int frontend_open(const char* path, fuse_file_info* info);

// Each read and write opens the file, transfers at the offset and closes it.
int frontend_read(const char* path, char* buffer, size_t size, off_t offset,
                  fuse_file_info* info);
int frontend_write(const char* path, const char* buffer, size_t size, off_t offset,
                   fuse_file_info* info);

// Reports the block size and the block counts of the volume mounted at
// "/myfs", whatever the path.
int frontend_statfs(const char* path, struct statvfs* statvfs);

// Delivers every entry in one call with offset 0; an entry whose status
// cannot be read is left out. Read errors end the listing without failing it.
int frontend_readdir(const char* path, void* buffer, fuse_fill_dir_t filler, off_t offset,
                     fuse_file_info* info, fuse_readdir_flags flags);

// Writes back what every mounted volume holds in memory.
void frontend_destroy(void* private_data);

int frontend_access(const char* path, int mask);

}  // namespace wfsmount
