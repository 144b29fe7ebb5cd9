#include "fuse/fuse_operations.h"

#include "fuse/debug_mode.h"
#include "fuse/fuse_error.h"
#include "fuse/mounted_volume.h"
#include "fuse/open_flags.h"
#include "fuse/stat_conversion.h"
#include "kernel/debug.h"
#include "kernel/kernel_stat.h"
#include "kernel/open_mode.h"
#include "vfs/descriptor_calls.h"
#include "vfs/dirent.h"
#include "vfs/entry_calls.h"
#include "vfs/stat_calls.h"
#include "vfs/sync.h"
#include "vfs/write_stat_mask.h"

#include <sys/statvfs.h>

#include <cstdio>

namespace wfsmount {

namespace {

constexpr int NO_DESCRIPTOR = -1;

// Permissions handed to kern_open by the operations that only open existing
// files.
constexpr uint32_t OPEN_PERMISSIONS = 0755;

// mknod's open mode: write only, create, exclusive.
constexpr uint32_t CREATE_EXCLUSIVE =
    fssh::FSSH_O_WRONLY | fssh::FSSH_O_CREAT | fssh::FSSH_O_EXCL;

constexpr uint32_t LOW_16_BITS = 0xffff;

void trace_operation(const char* name)
{
    if (debug_mode())
        fprintf(stderr, "##%s\n", name);
}

// A descriptor number of the global I/O context, closed when the holder goes.
class OpenDescriptor {
public:
    explicit OpenDescriptor(int fd) : fd_(fd) {}
    ~OpenDescriptor() { fssh::kern_close(fd_); }
    OpenDescriptor(const OpenDescriptor&) = delete;
    OpenDescriptor& operator=(const OpenDescriptor&) = delete;

    int Get() const { return fd_; }

private:
    int fd_;
};

// Opens `path` with `open_mode`, runs `transfer` on the descriptor and closes
// it. Returns the byte count, or the error conversion of a failure.
template <typename Transfer>
int transfer_bytes(const char* path, uint32_t open_mode, Transfer transfer)
{
    int fd = fssh::kern_open(NO_DESCRIPTOR, path, open_mode, OPEN_PERMISSIONS);
    if (fd < 0)
        return fuse_error(fd);
    OpenDescriptor file(fd);
    ssize_t result = transfer(file.Get());
    if (result < 0)
        return fuse_error(static_cast<fssh::status_code>(result));
    return static_cast<int>(result);
}

int write_stat(const char* path, bool traverse_link, const fssh::kernel_stat& stat,
               uint32_t mask)
{
    return fuse_error(
        fssh::kern_write_stat(NO_DESCRIPTOR, path, traverse_link, &stat, sizeof(stat), mask));
}

// Stats one directory entry relative to the open directory and hands it to
// the filler. Returns false once the filler's buffer is full.
bool deliver_entry(int directory_fd, const char* name, void* buffer, fuse_fill_dir_t filler)
{
    struct stat host_stat = {};
    fssh::kernel_stat stat = {};
    if (fssh::kern_read_stat(directory_fd, name, false, &stat, sizeof(stat)) != fssh::FSSH_OK)
        return true;
    convert_stat(stat, &host_stat);
    return filler(buffer, name, &host_stat, 0, static_cast<fuse_fill_dir_flags>(0)) == 0;
}

}  // namespace

int frontend_getattr(const char* path, struct stat* stat, fuse_file_info*)
{
    trace_operation("getattr");
    fssh::kernel_stat kernel_stat = {};
    fssh::status_code status =
        fssh::kern_read_stat(NO_DESCRIPTOR, path, false, &kernel_stat, sizeof(kernel_stat));
    convert_stat(kernel_stat, stat);
    if (debug_mode())
        fssh::debug_printf("GETATTR returned: %d\n", status);
    return fuse_error(status);
}

int frontend_readlink(const char* path, char* buffer, size_t size)
{
    trace_operation("readlink");
    if (size == 0)
        return fuse_error(fssh::FSSH_INVALID_ARGUMENT);
    size_t length = size - 1;
    fssh::status_code status = fssh::kern_read_link(NO_DESCRIPTOR, path, buffer, &length);
    if (status != fssh::FSSH_OK)
        return fuse_error(status);
    buffer[length < size ? length : size - 1] = '\0';
    return 0;
}

int frontend_mknod(const char* path, mode_t mode, dev_t)
{
    trace_operation("mknod");
    if (!fssh::FSSH_S_ISREG(mode))
        return fuse_error(fssh::FSSH_INVALID_ARGUMENT);
    int fd = fssh::kern_open(NO_DESCRIPTOR, path, CREATE_EXCLUSIVE, mode & LOW_16_BITS);
    if (fd < 0)
        return fuse_error(fd);
    fssh::kern_close(fd);
    return 0;
}

int frontend_mkdir(const char* path, mode_t mode)
{
    trace_operation("mkdir");
    return fuse_error(fssh::kern_create_dir(NO_DESCRIPTOR, path, mode & LOW_16_BITS));
}

int frontend_unlink(const char* path)
{
    trace_operation("unlink");
    return fuse_error(fssh::kern_unlink(NO_DESCRIPTOR, path));
}

int frontend_rmdir(const char* path)
{
    trace_operation("rmdir");
    return fuse_error(fssh::kern_remove_dir(NO_DESCRIPTOR, path));
}

int frontend_symlink(const char* target, const char* path)
{
    trace_operation("symlink");
    return fuse_error(fssh::kern_create_symlink(NO_DESCRIPTOR, path, target, 0777));
}

int frontend_rename(const char* old_path, const char* new_path, unsigned int flags)
{
    trace_operation("rename");
    if (flags != 0)
        return fuse_error(fssh::FSSH_INVALID_ARGUMENT);
    return fuse_error(fssh::kern_rename(NO_DESCRIPTOR, old_path, NO_DESCRIPTOR, new_path));
}

int frontend_link(const char* existing_path, const char* new_path)
{
    trace_operation("link");
    return fuse_error(fssh::kern_create_link(new_path, existing_path));
}

int frontend_chmod(const char* path, mode_t mode, fuse_file_info*)
{
    trace_operation("chmod");
    fssh::kernel_stat stat = {};
    stat.st_mode = mode & LOW_16_BITS;
    return write_stat(path, false, stat, fssh::FSSH_STAT_MODE);
}

int frontend_chown(const char* path, uid_t user_id, gid_t group_id, fuse_file_info*)
{
    trace_operation("chown");
    fssh::kernel_stat stat = {};
    stat.st_uid = user_id;
    stat.st_gid = group_id;
    // libfuse passes -1 for the id a request leaves alone (chgrp, for one).
    uint32_t mask = 0;
    if (user_id != static_cast<uid_t>(-1))
        mask |= fssh::FSSH_STAT_UID;
    if (group_id != static_cast<gid_t>(-1))
        mask |= fssh::FSSH_STAT_GID;
    return write_stat(path, false, stat, mask);
}

int frontend_truncate(const char* path, off_t size, fuse_file_info*)
{
    trace_operation("truncate");
    fssh::kernel_stat stat = {};
    stat.st_size = size;
    return write_stat(path, true, stat, fssh::FSSH_STAT_SIZE);
}

int frontend_open(const char* path, fuse_file_info* info)
{
    trace_operation("open");
    int fd = fssh::kern_open(NO_DESCRIPTOR, path, kernel_open_mode(info->flags), OPEN_PERMISSIONS);
    if (fd < 0)
        return fuse_error(fd);
    fssh::kern_close(fd);
    return 0;
}

int frontend_read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*)
{
    trace_operation("read");
    return transfer_bytes(path, fssh::FSSH_O_RDONLY, [&](int fd) {
        return fssh::kern_read(fd, offset, buffer, size);
    });
}

int frontend_write(const char* path, const char* buffer, size_t size, off_t offset,
                   fuse_file_info*)
{
    trace_operation("write");
    return transfer_bytes(path, fssh::FSSH_O_WRONLY, [&](int fd) {
        return fssh::kern_write(fd, offset, buffer, size);
    });
}

int frontend_statfs(const char*, struct statvfs* statvfs)
{
    trace_operation("statfs");
    fssh::fs_info info;
    fssh::status_code status = read_mounted_volume_info(&info);
    if (status != fssh::FSSH_OK)
        return fuse_error(status);
    statvfs->f_bsize = static_cast<unsigned long>(info.block_size);
    statvfs->f_frsize = static_cast<unsigned long>(info.block_size);
    statvfs->f_blocks = static_cast<fsblkcnt_t>(info.total_blocks);
    statvfs->f_bfree = static_cast<fsblkcnt_t>(info.free_blocks);
    statvfs->f_bavail = static_cast<fsblkcnt_t>(info.free_blocks);
    return 0;
}

int frontend_readdir(const char* path, void* buffer, fuse_fill_dir_t filler, off_t,
                     fuse_file_info*, fuse_readdir_flags)
{
    trace_operation("readdir");
    int fd = fssh::kern_open_dir(NO_DESCRIPTOR, path);
    if (fd < 0)
        return fuse_error(fd);
    OpenDescriptor directory(fd);
    alignas(fssh::kernel_dirent) char entry_buffer[fssh::DIRENT_BUFFER_SIZE];
    auto* entry = reinterpret_cast<fssh::kernel_dirent*>(entry_buffer);
    while (fssh::kern_read_dir(directory.Get(), entry, sizeof(entry_buffer), 1) == 1) {
        // A name that runs to the end of the buffer still ends there.
        entry_buffer[sizeof(entry_buffer) - 1] = '\0';
        if (!deliver_entry(directory.Get(), entry->d_name, buffer, filler))
            break;
    }
    return 0;
}

void frontend_destroy(void*)
{
    fssh::kern_sync();
}

int frontend_access(const char* path, int mask)
{
    trace_operation("access");
    return fuse_error(fssh::kern_access(path, static_cast<uint32_t>(mask)));
}

void fill_operations(fuse_operations* operations)
{
    operations->getattr = frontend_getattr;
    operations->readlink = frontend_readlink;
    operations->mknod = frontend_mknod;
    operations->mkdir = frontend_mkdir;
    operations->unlink = frontend_unlink;
    operations->rmdir = frontend_rmdir;
    operations->symlink = frontend_symlink;
    operations->rename = frontend_rename;
    operations->link = frontend_link;
    operations->chmod = frontend_chmod;
    operations->chown = frontend_chown;
    operations->truncate = frontend_truncate;
    operations->open = frontend_open;
    operations->read = frontend_read;
    operations->write = frontend_write;
    operations->statfs = frontend_statfs;
    operations->readdir = frontend_readdir;
    operations->destroy = frontend_destroy;
    operations->access = frontend_access;
    operations->release = nullptr;
    operations->fsync = nullptr;
    operations->utimens = nullptr;
}

}  // namespace wfsmount
