// Figures of the block cache over an image file: getting and putting blocks,
// cached or read while older ones are evicted, and a transaction of 100
// changed blocks ended and written back.

#include "block_cache/block_cache.h"
#include "block_cache/cache_transaction.h"
#include "kernel/host_file.h"
#include "kernel/open_mode.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace fssh;

constexpr int64_t kBlockSize = 2048;
constexpr int64_t kBlockCount = 8192;

// A scratch image file with a cache over it, removed at the end of the
// benchmark.
class CachedImage {
public:
    CachedImage()
    {
        static const bool initialised = block_cache_init() == FSSH_OK;
        const char* folder = std::getenv("TMPDIR");
        path_ = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp")
                + "/wfs-bench-XXXXXX";
        int fd = mkstemp(path_.data());
        if (!initialised || fd < 0 || ftruncate(fd, kBlockCount * kBlockSize) != 0)
            std::abort();
        close(fd);
        device_ = fssh_open(path_.c_str(), FSSH_O_RDWR, 0);
        cache_ = block_cache_create(device_, kBlockCount, kBlockSize, false);
        if (device_ < 0 || cache_ == nullptr)
            std::abort();
    }

    ~CachedImage()
    {
        block_cache_delete(cache_, true);
        fssh_close(device_);
        unlink(path_.c_str());
    }

    block_cache* cache() const { return cache_; }

private:
    std::string path_;
    int device_ = -1;
    block_cache* cache_ = nullptr;
};

// Cycles through a working set of blocks: one that fits into the cache, and
// one four times the limit, so that every get reads from the device and
// evicts the oldest idle block.
void GetPutBlocks(benchmark::State& state)
{
    CachedImage image;
    const int64_t working_set = state.range(0);
    int64_t number = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(block_cache_get(image.cache(), number));
        block_cache_put(image.cache(), number);
        number = (number + 1) % working_set;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(GetPutBlocks)->ArgName("blocks")->Arg(512)->Arg(4 * CACHED_BLOCK_LIMIT);

void TransactionOf100BlocksWrittenBack(benchmark::State& state)
{
    CachedImage image;
    constexpr int64_t kBlocks = 100;
    uint8_t value = 0;
    for (auto _ : state) {
        int32_t id = cache_start_transaction(image.cache());
        for (int64_t number = 0; number < kBlocks; number++) {
            void* data = block_cache_get_writable(image.cache(), number, id);
            std::memset(data, value, 64);
            block_cache_put(image.cache(), number);
        }
        cache_end_transaction(image.cache(), id, nullptr, nullptr);
        cache_write_back_transactions(image.cache(), id);
        value++;
    }
    state.SetItemsProcessed(state.iterations() * kBlocks);
}
BENCHMARK(TransactionOf100BlocksWrittenBack);

}  // namespace

BENCHMARK_MAIN();
