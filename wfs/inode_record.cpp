#include "wfs/inode_record.h"

#include <cstring>

namespace wfs {

namespace {

// A reference to another inode of the volume, as far as the record alone can
// tell (equality with the group count and the group size passes).
bool is_plausible_reference(const block_run& run, const disk_super_block& super_block)
{
    return run.allocation_group >= 0 && run.allocation_group <= super_block.group_count
        && int64_t{run.start} <= (int64_t{1} << super_block.group_shift);
}

fssh::status_code check_inode(const wfs_inode& node, const disk_super_block& super_block,
    fssh::status_code deleted_status)
{
    if (node.magic != INODE_MAGIC || (node.flags & FLAG_IN_USE) == 0
        || node.inode_run.length != 1 || node.inode_size != super_block.inode_size
        || !is_plausible_reference(node.parent, super_block) || node.parent.length != 1) {
        return fssh::FSSH_CORRUPT_DATA;
    }
    if ((node.flags & FLAG_DELETED) != 0)
        return deleted_status;
    if (!is_plausible_reference(node.attributes, super_block))
        return fssh::FSSH_CORRUPT_DATA;
    return fssh::FSSH_OK;
}

}  // namespace

fssh::status_code check_loaded_inode(const wfs_inode& node, const disk_super_block& super_block)
{
    return check_inode(node, super_block, fssh::FSSH_CORRUPT_DATA);
}

fssh::status_code check_raw_inode(const uint8_t* block, const disk_super_block& super_block)
{
    wfs_inode node;
    memcpy(&node, block, sizeof(node));
    return check_inode(node, super_block, fssh::FSSH_NOT_PERMITTED);
}

}  // namespace wfs
