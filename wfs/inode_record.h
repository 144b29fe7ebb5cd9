#pragma once

// The inode record: one block per inode, whose first 232 bytes are a fixed
// part (with the data stream that locates the contents) and the rest the
// small data area. Also the flag and mode bits, the kinds derived from the
// mode, and the checks applied whenever an inode is loaded.

#include "kernel/status.h"
#include "wfs/block_run.h"
#include "wfs/super_block.h"

#include <cstddef>
#include <cstdint>

namespace wfs {

constexpr int32_t INODE_MAGIC = 0x3bbe0ad9;

constexpr int32_t NUM_DIRECT_BLOCKS = 12;

struct __attribute__((packed)) data_stream {
    block_run direct[NUM_DIRECT_BLOCKS];
    int64_t direct_end;
    block_run indirect;
    int64_t indirect_end;
    block_run double_indirect;
    int64_t double_indirect_end;
    int64_t size;
};

static_assert(sizeof(data_stream) == 144);
static_assert(offsetof(data_stream, direct) == 0);
static_assert(offsetof(data_stream, direct_end) == 96);
static_assert(offsetof(data_stream, indirect) == 104);
static_assert(offsetof(data_stream, indirect_end) == 112);
static_assert(offsetof(data_stream, double_indirect) == 120);
static_assert(offsetof(data_stream, double_indirect_end) == 128);
static_assert(offsetof(data_stream, size) == 136);

// Bytes of a short symbolic link's target kept where the data stream would be,
// its terminating NUL included.
constexpr size_t SHORT_SYMLINK_NAME_LENGTH = sizeof(data_stream);

// The fixed part of an inode record.
struct __attribute__((packed)) wfs_inode {
    int32_t magic;
    block_run inode_run;
    int32_t uid;
    int32_t gid;
    int32_t mode;
    int32_t flags;
    int64_t create_time;
    int64_t modified_time;
    block_run parent;
    block_run attributes;
    uint32_t type;
    int32_t inode_size;
    uint8_t reserved1[4];
    data_stream data;
    int64_t change_time;
    uint8_t reserved2[8];
};

constexpr size_t INODE_FIXED_SIZE = 232;
// The small data area starts right after the fixed part.
constexpr size_t SMALL_DATA_OFFSET = INODE_FIXED_SIZE;

static_assert(sizeof(wfs_inode) == INODE_FIXED_SIZE);
static_assert(offsetof(wfs_inode, magic) == 0);
static_assert(offsetof(wfs_inode, inode_run) == 4);
static_assert(offsetof(wfs_inode, uid) == 12);
static_assert(offsetof(wfs_inode, gid) == 16);
static_assert(offsetof(wfs_inode, mode) == 20);
static_assert(offsetof(wfs_inode, flags) == 24);
static_assert(offsetof(wfs_inode, create_time) == 28);
static_assert(offsetof(wfs_inode, modified_time) == 36);
static_assert(offsetof(wfs_inode, parent) == 44);
static_assert(offsetof(wfs_inode, attributes) == 52);
static_assert(offsetof(wfs_inode, type) == 60);
static_assert(offsetof(wfs_inode, inode_size) == 64);
static_assert(offsetof(wfs_inode, reserved1) == 68);
static_assert(offsetof(wfs_inode, data) == 72);
static_assert(offsetof(wfs_inode, change_time) == 216);
static_assert(offsetof(wfs_inode, reserved2) == 224);

// Inode flags: bits 0 to 15 are kept on disk, bits 16 to 31 are in-memory
// states and are cut off whenever an inode is read.
constexpr int32_t FLAG_IN_USE = 0x00000001;
constexpr int32_t FLAG_LINK_DATA = 0x00000008;
constexpr int32_t FLAG_DELETED = 0x00000010;
constexpr int32_t FLAG_LONG_LINK = 0x00000040;
constexpr int32_t FLAG_IN_TRANSACTION = 0x00040000;
constexpr int32_t FLAG_KEEP_SPACE = 0x00080000;
constexpr int32_t FLAG_PERMANENT_MASK = 0x0000ffff;

// Mode bits: the host's file type and permissions below bit 16, wfs's own
// bits above.
constexpr int32_t MODE_TYPE_MASK = 0xf000;
constexpr int32_t MODE_DIRECTORY = 0x4000;
constexpr int32_t MODE_REGULAR = 0x8000;
constexpr int32_t MODE_SYMLINK = 0xa000;
constexpr int32_t MODE_PERMISSIONS = 0x01ff;
constexpr int32_t MODE_KEY_DOUBLE = 0x00040000;
constexpr int32_t MODE_ALLOW_DUPS = 0x00080000;
constexpr int32_t MODE_KEY_INT64 = 0x00200000;
constexpr int32_t MODE_KEY_UINT64 = 0x00400000;
constexpr int32_t MODE_KEY_FLOAT = 0x00800000;
constexpr int32_t MODE_KEY_STRING = 0x01000000;
constexpr int32_t MODE_KEY_INT32 = 0x02000000;
constexpr int32_t MODE_KEY_UINT32 = 0x04000000;
constexpr int32_t MODE_ATTR_DIR = 0x08000000;
constexpr int32_t MODE_ATTR = 0x10000000;
constexpr int32_t MODE_INDEX_DIR = 0x20000000;

// The modes the system writes itself.
constexpr int32_t ROOT_DIRECTORY_MODE = 0x41ed;
constexpr int32_t INDEX_ROOT_MODE = 0x210041c0;
constexpr int32_t ATTRIBUTE_DIRECTORY_MODE = 0x080041b6;
constexpr int32_t ATTRIBUTE_MODE = 0x100081b6;

// Attribute type codes.
constexpr uint32_t TYPE_STRING = 0x43535452;  // "CSTR"
constexpr uint32_t TYPE_INT64 = 0x4c4c4e47;   // "LLNG"
constexpr uint32_t TYPE_UINT64 = 0x554c4c47;  // "ULLG"

// The kinds of inode, tested on the mode exactly as the format defines them.
inline bool is_directory_mode(int32_t mode)
{
    return (mode & MODE_TYPE_MASK) == MODE_DIRECTORY;
}
inline bool is_symlink_mode(int32_t mode)
{
    return (mode & MODE_TYPE_MASK) == MODE_SYMLINK;
}
inline bool is_plain_file_mode(int32_t mode)
{
    return (mode & (MODE_INDEX_DIR | MODE_ATTR | MODE_ATTR_DIR | MODE_TYPE_MASK)) == MODE_REGULAR;
}
inline bool is_index_mode(int32_t mode)
{
    return (mode & (MODE_INDEX_DIR | MODE_ATTR | MODE_ATTR_DIR | MODE_PERMISSIONS))
        == MODE_INDEX_DIR;
}
inline bool is_attribute_mode(int32_t mode)
{
    return ((mode >> 27) & 7) == 2;
}
inline bool is_attribute_directory_mode(int32_t mode)
{
    return ((mode >> 27) & 7) == 1;
}
// A directory that holds files: neither an attribute directory nor part of
// the index tree. New ones are placed away from their parent's group.
inline bool is_plain_directory_mode(int32_t mode)
{
    return (mode & (MODE_INDEX_DIR | MODE_ATTR_DIR | MODE_DIRECTORY)) == MODE_DIRECTORY;
}

// The check of an inode as held in memory (flags already cut to the
// permanent bits): FSSH_CORRUPT_DATA unless the record is a live inode of this
// volume with sound parent and attribute runs; a deleted inode is corrupt too.
fssh::status_code check_loaded_inode(const wfs_inode& node, const disk_super_block& super_block);

// The same check on an inode block as read from the disk, except that a
// deleted inode gives FSSH_NOT_PERMITTED.
fssh::status_code check_raw_inode(const uint8_t* block, const disk_super_block& super_block);

// An attribute item kept in the small data area of an inode. Items follow
// each other without alignment: the name, a NUL and two zero bytes, the data
// and a NUL.
struct __attribute__((packed)) small_data {
    uint32_t type;
    uint16_t name_size;
    uint16_t data_size;

    // Bytes the item takes in the small data area.
    size_t Size() const { return size_t{name_size} + data_size + 12; }
    const char* Name() const { return reinterpret_cast<const char*>(this) + 8; }
    char* Name() { return reinterpret_cast<char*>(this) + 8; }
    const uint8_t* Data() const
    {
        return reinterpret_cast<const uint8_t*>(this) + 11 + name_size;
    }
    uint8_t* Data() { return reinterpret_cast<uint8_t*>(this) + 11 + name_size; }
    const small_data* Next() const
    {
        return reinterpret_cast<const small_data*>(reinterpret_cast<const uint8_t*>(this) + Size());
    }
    small_data* Next()
    {
        return reinterpret_cast<small_data*>(reinterpret_cast<uint8_t*>(this) + Size());
    }
    // Whether the walk over the area of an inode block of `inode_size` bytes
    // ends at this item: it has no name, or starts too close to the end.
    bool EndsWalk(const uint8_t* inode_block, int32_t inode_size) const
    {
        return reinterpret_cast<const uint8_t*>(this) - inode_block > inode_size - 8
            || name_size == 0;
    }
};

static_assert(sizeof(small_data) == 8);
static_assert(offsetof(small_data, type) == 0);
static_assert(offsetof(small_data, name_size) == 4);
static_assert(offsetof(small_data, data_size) == 6);

// The name of the item that holds the inode's own name (type "CSTR").
constexpr char SMALL_DATA_OWN_NAME = 0x13;

}  // namespace wfs
