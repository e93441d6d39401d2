// The addresses of the blocks an allocator has handed out and not taken back. The module allocates and
// frees a block for nearly every value it reads; a node-based hash set spent an allocation of its own
// on each, so this is one open-addressed table (linear probing, deletion by shifting back, no tombstones).
#pragma once

#include <cstddef>
#include <vector>

namespace nsfrex {

class BlockSet {
public:
    // False when `block` is in the set already. A null block is never held.
    bool insert(void* block);
    // False when `block` is not in the set.
    bool erase(const void* block) noexcept;
    bool contains(const void* block) const noexcept { return find(block) != kAbsent; }
    std::size_t size() const noexcept { return size_; }
    // Every block held, in no particular order.
    const std::vector<void*>& slots() const noexcept { return slots_; }

private:
    static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);
    std::size_t home(const void* block) const noexcept;
    std::size_t find(const void* block) const noexcept;
    void grow();

    std::vector<void*> slots_;  // null = free; a power of two long, never more than half full
    std::size_t size_ = 0;
    unsigned shift_ = 64;       // 64 - log2(slots_.size())
};

}  // namespace nsfrex
