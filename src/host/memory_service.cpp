#include "memory_service.h"

#include <cstdlib>

namespace nsfrex {
namespace {

void* serviceMalloc(MemoryService* service, size_t cb) { return HostAllocator::of(service).allocate(cb); }
void serviceFree(MemoryService* service, void* pv) { HostAllocator::of(service).release(pv); }
void* serviceRealloc(MemoryService* service, void* pv, size_t cb) {
    return HostAllocator::of(service).reallocate(pv, cb);
}

}  // namespace

HostAllocator::HostAllocator() = default;

HostAllocator::~HostAllocator() {
    // Blocks the module failed to return are reclaimed here; tests look at liveBlocks() before this.
    for (void* pv : live_.slots()) std::free(pv);
}

void HostAllocator::bind(MemoryService& service) {
    service = MemoryService{};
    service.pOwner = this;
    service.fpMalloc = serviceMalloc;
    service.fpFree = serviceFree;
    service.fpResize = serviceRealloc;  // resize and realloc differ only in name: both accept a null block
    service.fpRealloc = serviceRealloc;
}

HostAllocator& HostAllocator::of(MemoryService* service) noexcept {
    return *static_cast<HostAllocator*>(service->pOwner);
}

bool HostAllocator::shouldFail() noexcept {
    ++allocations_;
    const bool fail = failAt_ != 0 && (allocations_ == failAt_ || (failPersistent_ && allocations_ > failAt_));
    if (fail) ++failed_;
    return fail;
}

void HostAllocator::failAt(std::uint64_t n, bool persistent) {
    failAt_ = n == 0 ? 0 : allocations_ + n;
    failPersistent_ = persistent;
}

void* HostAllocator::allocate(std::size_t cb) {
    if (shouldFail()) return nullptr;
    // A zero-byte request still gets a distinct block, so that a null result always means failure.
    void* pv = std::malloc(cb == 0 ? 1 : cb);
    if (pv != nullptr) live_.insert(pv);
    return pv;
}

void HostAllocator::release(void* pv) {
    if (pv == nullptr) return;
    if (!live_.erase(pv)) {
        ++foreignFrees_;
        return;
    }
    std::free(pv);
}

void* HostAllocator::reallocate(void* pv, std::size_t cb) {
    if (pv != nullptr && !live_.contains(pv)) {
        ++foreignFrees_;
        return nullptr;
    }
    if (shouldFail()) return nullptr;  // the old block stays valid, as with realloc
    live_.erase(pv);
    void* moved = std::realloc(pv, cb == 0 ? 1 : cb);
    // A failed realloc leaves the old block valid; it goes back into the room its removal made.
    live_.insert(moved != nullptr ? moved : pv);
    return moved;
}

}  // namespace nsfrex
