#pragma once

// A scoped reference on one cached block: the block is put back when the
// holder is reset or goes out of scope, so no path can leak or double-release
// it.

#include "block_cache/block_cache.h"
#include "kernel/status.h"

#include <cstdint>

namespace fssh {

class CachedBlockHolder {
public:
    explicit CachedBlockHolder(block_cache* cache) : cache_(cache) {}
    ~CachedBlockHolder() { Unset(); }
    CachedBlockHolder(const CachedBlockHolder&) = delete;
    CachedBlockHolder& operator=(const CachedBlockHolder&) = delete;

    // Puts back the block held so far and takes block `number` for reading.
    status_code SetTo(int64_t number);

    // Puts back the block held so far and takes block `number` for writing in
    // the transaction (or NO_TRANSACTION); `zeroed` skips the device read and
    // clears the content.
    status_code SetToWritable(int64_t number, int32_t transaction_id, bool zeroed = false);

    // Puts back the held block, if any.
    void Unset();

    // Hands the reference to the caller, who puts the block back itself.
    void Detach() { data_ = nullptr; }

    const uint8_t* Data() const { return data_; }
    // Only for a block taken with SetToWritable.
    uint8_t* WritableData() const { return data_; }
    int64_t BlockNumber() const { return number_; }

private:
    block_cache* cache_;
    int64_t number_ = -1;
    uint8_t* data_ = nullptr;
};

}  // namespace fssh
