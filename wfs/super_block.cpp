#include "wfs/super_block.h"

#include "kernel/debug.h"

#include <cstring>

namespace wfs {

namespace {

constexpr int64_t LARGE_DEVICE_SIZE = 0x40000000;
constexpr uint16_t LARGE_LOG_LENGTH = 4096;
constexpr uint16_t MEDIUM_LOG_LENGTH = 2048;
constexpr uint16_t SMALL_LOG_LENGTH = 512;
constexpr int64_t SMALL_VOLUME_BLOCKS = 20480;
constexpr int32_t MAX_NEW_GROUP_COUNT = 56;

int64_t divide_rounding_up(int64_t value, int64_t divisor)
{
    return value / divisor + (value % divisor != 0 ? 1 : 0);
}

// The rules every volume has always been checked against.
bool follows_recorded_rules(const disk_super_block& super_block)
{
    if (static_cast<int64_t>(super_block.block_size) != super_block.inode_size
        || super_block.byte_order != SUPER_BLOCK_BYTE_ORDER
        || super_block.block_size != (uint64_t{1} << (super_block.block_shift % 64))
        || super_block.group_count <= 0 || super_block.group_shift <= 0
        || super_block.group_bitmap_blocks <= 0 || super_block.block_count < MIN_BLOCK_COUNT) {
        return false;
    }
    // Groups never have more than 2^16 blocks (checked before this is used),
    // so the group size fits a signed 32-bit value.
    int64_t group_size = int64_t{1} << super_block.group_shift;
    return super_block.group_count == divide_rounding_up(super_block.block_count, group_size);
}

// Block and group sizes that agree with each other and with the bitmap: the
// allocator sizes groups from the bitmap while block numbers are formed with
// the group shift, and a group start has 16 bits.
bool has_consistent_geometry(const disk_super_block& super_block)
{
    if (super_block.block_shift >= 64 || super_block.block_size < MIN_BLOCK_SIZE
        || super_block.block_size > MAX_BLOCK_SIZE) {
        return false;
    }
    if (super_block.group_shift <= 0 || super_block.group_shift > MAX_GROUP_SHIFT
        || super_block.group_bitmap_blocks <= 0) {
        return false;
    }
    int64_t bits_per_group
        = int64_t{super_block.group_bitmap_blocks} * super_block.block_size * 8;
    return bits_per_group == (int64_t{1} << super_block.group_shift);
}

// A log area that the journal can use: not empty, inside one group, behind
// the bitmap and before the end of the volume.
bool has_usable_log_area(const disk_super_block& super_block)
{
    const block_run& log = super_block.log_area;
    int64_t group_size = int64_t{1} << super_block.group_shift;
    if (log.length == 0 || log.allocation_group < 0
        || log.allocation_group >= super_block.group_count
        || int64_t{log.start} + log.length > group_size) {
        return false;
    }
    int64_t first = run_to_block(log, super_block.group_shift);
    int64_t first_free_of_bitmap
        = 1 + bitmap_block_count(super_block.block_count, super_block.block_size);
    return first >= first_free_of_bitmap && first + log.length <= super_block.block_count;
}

}  // namespace

bool super_block_has_magic(const disk_super_block& super_block)
{
    return super_block.first_magic == SUPER_BLOCK_MAGIC1
        && super_block.second_magic == SUPER_BLOCK_MAGIC2
        && super_block.third_magic == SUPER_BLOCK_MAGIC3;
}

bool super_block_is_sound(const disk_super_block& super_block)
{
    // The geometry is checked first: the other rules shift by its fields.
    return has_consistent_geometry(super_block) && follows_recorded_rules(super_block)
        && has_usable_log_area(super_block);
}

fssh::status_code check_super_block(const uint8_t* buffer, off_t* offset)
{
    fssh::debug_printf("wfs: ");
    fssh::debug_printf("SIZE: %ld\n", static_cast<long>(SUPER_BLOCK_SIZE));

    disk_super_block super_block;
    memcpy(&super_block, buffer + SUPER_BLOCK_OFFSET, sizeof(super_block));
    if (!super_block_has_magic(super_block))
        return fssh::FSSH_INVALID_ARGUMENT;
    if (!super_block_is_sound(super_block)) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("invalid superblock at offset %ld!\n", static_cast<long>(SUPER_BLOCK_OFFSET));
        return fssh::FSSH_INVALID_ARGUMENT;
    }
    *offset = SUPER_BLOCK_OFFSET;
    return fssh::FSSH_OK;
}

int64_t bitmap_block_count(int64_t block_count, uint32_t block_size)
{
    return divide_rounding_up(block_count, int64_t{block_size} * 8);
}

void initialize_super_block(disk_super_block* super_block, const char* name,
    uint32_t block_size, off_t device_size)
{
    memset(super_block, 0, sizeof(*super_block));
    strncpy(super_block->volume_name, name, VOLUME_NAME_LENGTH - 1);
    super_block->first_magic = SUPER_BLOCK_MAGIC1;
    super_block->second_magic = SUPER_BLOCK_MAGIC2;
    super_block->third_magic = SUPER_BLOCK_MAGIC3;
    super_block->byte_order = SUPER_BLOCK_BYTE_ORDER;
    super_block->flags = VOLUME_CLEAN;

    uint32_t block_shift = 9;
    while ((uint32_t{1} << block_shift) < block_size)
        block_shift++;
    super_block->block_size = block_size;
    super_block->block_shift = block_shift;
    super_block->inode_size = static_cast<int32_t>(block_size);
    super_block->block_count = device_size / block_size;

    int64_t bits_per_block = int64_t{block_size} * 8;
    int64_t bitmap_blocks = bitmap_block_count(super_block->block_count, block_size);
    int32_t group_shift = 13;
    while ((int64_t{1} << group_shift) < bits_per_block)
        group_shift++;
    int32_t group_bitmap_blocks = 1;
    int64_t group_count;
    while (true) {
        group_count = divide_rounding_up(bitmap_blocks, group_bitmap_blocks);
        if (group_count <= MAX_NEW_GROUP_COUNT || group_shift >= MAX_GROUP_SHIFT)
            break;
        group_shift++;
        group_bitmap_blocks *= 2;
    }
    super_block->group_shift = group_shift;
    super_block->group_bitmap_blocks = group_bitmap_blocks;
    super_block->group_count = static_cast<int32_t>(group_count);

    int64_t log_block = bitmap_blocks + 1;
    super_block->log_area = block_to_run(log_block, static_cast<uint32_t>(group_shift));
    if (device_size > LARGE_DEVICE_SIZE)
        super_block->log_area.length = LARGE_LOG_LENGTH;
    else if (super_block->block_count <= SMALL_VOLUME_BLOCKS)
        super_block->log_area.length = SMALL_LOG_LENGTH;
    else
        super_block->log_area.length = MEDIUM_LOG_LENGTH;
    super_block->log_start = log_block;
    super_block->log_end = log_block;
}

}  // namespace wfs
