#include "wfs/run_array.h"

#include <cstring>

namespace wfs {

namespace {

// Arrays up to this size are searched linearly, longer ones by bisection.
constexpr int32_t LINEAR_SEARCH_LIMIT = 8;

int32_t compare_runs(const block_run& a, const block_run& b)
{
    if (a.allocation_group != b.allocation_group)
        return a.allocation_group < b.allocation_group ? -1 : 1;
    return int32_t{a.start} - int32_t{b.start};
}

}  // namespace

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

bool run_array::Contains(const block_run& run) const
{
    for (int32_t i = 0; i < run_count; i++) {
        const block_run& held = RunAt(i);
        if (held.allocation_group == run.allocation_group && run.start >= held.start
            && run.start < int32_t{held.start} + held.length) {
            return true;
        }
    }
    return false;
}

void run_array::Insert(const block_run& run)
{
    // The index of the first run greater than the new one.
    int32_t index;
    if (run_count <= LINEAR_SEARCH_LIMIT) {
        index = 0;
        while (index < run_count && compare_runs(RunAt(index), run) <= 0)
            index++;
    } else {
        int32_t low = 0;
        int32_t high = run_count;
        while (low < high) {
            int32_t middle = low + (high - low) / 2;
            if (compare_runs(RunAt(middle), run) <= 0)
                low = middle + 1;
            else
                high = middle;
        }
        index = low;
    }
    block_run* runs = Runs();
    memmove(runs + index + 1, runs + index, sizeof(block_run) * (run_count - index));
    runs[index] = run;
    run_count++;
}

}  // namespace wfs
