// The allocator the host lends to the module: a MemoryService over the C allocator that knows every block
// it handed out, so tests can make the n-th allocation fail and check that everything came back.
#pragma once

#include <cstddef>
#include <cstdint>

#include <nsfrex/host.h>

#include "block_set.h"

namespace nsfrex {

class HostAllocator {
public:
    HostAllocator();
    HostAllocator(const HostAllocator&) = delete;
    HostAllocator& operator=(const HostAllocator&) = delete;
    ~HostAllocator();

    // Fills a MemoryService whose entries call back into this allocator.
    void bind(MemoryService& service);

    void* allocate(std::size_t cb);
    void release(void* pv);
    void* reallocate(void* pv, std::size_t cb);

    // Makes the n-th allocation from now on fail (n counted from 1); with `persistent`, every later one too.
    // n = 0 switches failing off.
    void failAt(std::uint64_t n, bool persistent = false);

    std::size_t liveBlocks() const noexcept { return live_.size(); }
    std::uint64_t allocations() const noexcept { return allocations_; }
    std::uint64_t failedAllocations() const noexcept { return failed_; }
    // Frees of pointers this allocator never handed out (or already took back); they are refused.
    std::uint64_t foreignFrees() const noexcept { return foreignFrees_; }

    static HostAllocator& of(MemoryService* service) noexcept;

private:
    bool shouldFail() noexcept;

    BlockSet live_;
    std::uint64_t allocations_ = 0;
    std::uint64_t failed_ = 0;
    std::uint64_t foreignFrees_ = 0;
    std::uint64_t failAt_ = 0;
    bool failPersistent_ = false;
};

}  // namespace nsfrex
