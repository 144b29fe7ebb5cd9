#pragma once

// The superblock of a volume: its record at device offset 512, the check that
// decides whether a device holds a usable volume, and the geometry of a new
// volume.

#include "kernel/status.h"
#include "wfs/block_run.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace wfs {

constexpr int32_t SUPER_BLOCK_MAGIC1 = 0x57465331;
constexpr int32_t SUPER_BLOCK_MAGIC2 = static_cast<int32_t>(0xdd121031);
constexpr int32_t SUPER_BLOCK_MAGIC3 = 0x15b6830e;
constexpr int32_t SUPER_BLOCK_BYTE_ORDER = 0x42494745;

constexpr int32_t VOLUME_CLEAN = 0x434c454e;
constexpr int32_t VOLUME_DIRTY = 0x44495254;

// Where the superblock lies on the device, and how many bytes from the start
// of the device the check looks at.
constexpr off_t SUPER_BLOCK_OFFSET = 512;
constexpr size_t SUPER_BLOCK_SIZE = 512;
constexpr size_t SUPER_BLOCK_AREA_SIZE = 1024;

constexpr uint32_t MIN_BLOCK_SIZE = 1024;
constexpr uint32_t MAX_BLOCK_SIZE = 8192;
constexpr int32_t MAX_GROUP_SHIFT = 16;
constexpr int64_t MIN_BLOCK_COUNT = 10;

constexpr size_t VOLUME_NAME_LENGTH = 32;

struct __attribute__((packed)) disk_super_block {
    char volume_name[VOLUME_NAME_LENGTH];
    int32_t first_magic;
    int32_t byte_order;
    uint32_t block_size;
    uint32_t block_shift;
    int64_t block_count;
    int64_t used_block_count;
    int32_t inode_size;
    int32_t second_magic;
    int32_t group_bitmap_blocks;
    int32_t group_shift;
    int32_t group_count;
    int32_t flags;
    block_run log_area;
    int64_t log_start;
    int64_t log_end;
    int32_t third_magic;
    block_run root_inode;
    block_run index_root;
    uint8_t reserved[380];
};

static_assert(sizeof(disk_super_block) == SUPER_BLOCK_SIZE);
static_assert(offsetof(disk_super_block, volume_name) == 0);
static_assert(offsetof(disk_super_block, first_magic) == 32);
static_assert(offsetof(disk_super_block, byte_order) == 36);
static_assert(offsetof(disk_super_block, block_size) == 40);
static_assert(offsetof(disk_super_block, block_shift) == 44);
static_assert(offsetof(disk_super_block, block_count) == 48);
static_assert(offsetof(disk_super_block, used_block_count) == 56);
static_assert(offsetof(disk_super_block, inode_size) == 64);
static_assert(offsetof(disk_super_block, second_magic) == 68);
static_assert(offsetof(disk_super_block, group_bitmap_blocks) == 72);
static_assert(offsetof(disk_super_block, group_shift) == 76);
static_assert(offsetof(disk_super_block, group_count) == 80);
static_assert(offsetof(disk_super_block, flags) == 84);
static_assert(offsetof(disk_super_block, log_area) == 88);
static_assert(offsetof(disk_super_block, log_start) == 96);
static_assert(offsetof(disk_super_block, log_end) == 104);
static_assert(offsetof(disk_super_block, third_magic) == 112);
static_assert(offsetof(disk_super_block, root_inode) == 116);
static_assert(offsetof(disk_super_block, index_root) == 124);
static_assert(offsetof(disk_super_block, reserved) == 132);

// Whether the three magic numbers are right.
bool super_block_has_magic(const disk_super_block& super_block);

// Whether the fields of a superblock that carries the magic numbers describe a
// volume that can be used safely: the recorded rules of the format plus the
// geometry the rest of the module relies on (block and group sizes that agree
// with the bitmap, at most 16 group bits, a log area inside the volume behind
// the bitmap). Prints nothing.
bool super_block_is_sound(const disk_super_block& super_block);

// The check applied to the first 1024 bytes of a device (the superblock is
// taken from bytes 512 to 1023). Prints the "SIZE" line, then the "invalid
// superblock at offset 512!" line when a rule other than the magic numbers
// fails. FSSH_INVALID_ARGUMENT on failure; on success `offset` is 512.
fssh::status_code check_super_block(const uint8_t* buffer, off_t* offset);

// Blocks needed by the block bitmap of `block_count` blocks of `block_size`
// bytes (one bit per block).
int64_t bitmap_block_count(int64_t block_count, uint32_t block_size);

// Fills `super_block` with the geometry of a new, clean volume of
// `device_size` / `block_size` blocks named `name` (cut to 31 characters).
// `block_size` must be a supported block size. used_block_count stays 0 until
// the allocator has marked the reserved area; the root and index root are
// empty.
void initialize_super_block(disk_super_block* super_block, const char* name,
    uint32_t block_size, off_t device_size);

}  // namespace wfs
