#include "wfs/run_array.h"

namespace wfs {

bool run_array::HasValidHeader(uint32_t block_size) const
{
    int32_t capacity = run_array_capacity(block_size);
    return array_max == capacity && run_count > 0 && run_count < capacity;
}

int64_t run_array::BlockCount() const
{
    int64_t blocks = 0;
    for (int32_t i = 0; i < run_count; i++)
        blocks += RunAt(i).length;
    return blocks;
}

}  // namespace wfs
