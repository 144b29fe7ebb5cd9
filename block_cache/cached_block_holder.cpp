// The scoped reference on a cached block.

#include "block_cache/cached_block_holder.h"

namespace fssh {

status_code CachedBlockHolder::SetTo(int64_t number)
{
    Unset();
    const void* data;
    status_code status = block_cache_get_etc(cache_, number, &data);
    if (status != FSSH_OK)
        return status;
    number_ = number;
    // Read-only access goes through Data(), which hands out const bytes.
    data_ = static_cast<uint8_t*>(const_cast<void*>(data));
    return FSSH_OK;
}

status_code CachedBlockHolder::SetToWritable(int64_t number, int32_t transaction_id, bool zeroed)
{
    Unset();
    void* data = zeroed ? block_cache_get_zeroed(cache_, number, transaction_id)
                        : block_cache_get_writable(cache_, number, transaction_id);
    if (data == nullptr)
        return FSSH_IO_ERROR;
    number_ = number;
    data_ = static_cast<uint8_t*>(data);
    return FSSH_OK;
}

void CachedBlockHolder::Unset()
{
    if (data_ != nullptr)
        block_cache_put(cache_, number_);
    data_ = nullptr;
}

}  // namespace fssh
