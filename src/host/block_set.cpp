#include "block_set.h"

#include <cstdint>
#include <utility>

namespace nsfrex {

std::size_t BlockSet::home(const void* block) const noexcept {
    // Multiplicative hashing: the allocator's addresses differ in their middle bits, the product's top
    // bits mix them all.
    const auto key = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(block));
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
}

std::size_t BlockSet::find(const void* block) const noexcept {
    if (block == nullptr || slots_.empty()) return kAbsent;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = home(block); slots_[i] != nullptr; i = (i + 1) & mask)
        if (slots_[i] == block) return i;
    return kAbsent;
}

bool BlockSet::insert(void* block) {
    if (block == nullptr) return false;
    if (2 * (size_ + 1) > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = home(block);
    for (; slots_[i] != nullptr; i = (i + 1) & mask)
        if (slots_[i] == block) return false;
    slots_[i] = block;
    ++size_;
    return true;
}

bool BlockSet::erase(const void* block) noexcept {
    std::size_t hole = find(block);
    if (hole == kAbsent) return false;
    const std::size_t mask = slots_.size() - 1;
    // Each later block of the run moves into the hole unless its home lies after the hole: a lookup
    // must never meet a free slot between a block's home and the block.
    for (std::size_t i = (hole + 1) & mask; slots_[i] != nullptr; i = (i + 1) & mask) {
        if (((i - home(slots_[i])) & mask) >= ((i - hole) & mask)) {
            slots_[hole] = slots_[i];
            hole = i;
        }
    }
    slots_[hole] = nullptr;
    --size_;
    return true;
}

void BlockSet::grow() {
    const std::size_t size = slots_.empty() ? 64 : 2 * slots_.size();
    std::vector<void*> old = std::exchange(slots_, std::vector<void*>(size, nullptr));
    shift_ = 64;
    for (std::size_t n = slots_.size(); n > 1; n >>= 1) --shift_;
    const std::size_t mask = slots_.size() - 1;
    for (void* block : old) {
        if (block == nullptr) continue;
        std::size_t i = home(block);
        while (slots_[i] != nullptr) i = (i + 1) & mask;
        slots_[i] = block;
    }
}

}  // namespace nsfrex
