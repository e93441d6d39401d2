#include "memory_service.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace nsfrex {
namespace {

TEST(MemoryService, RefusesFreesOfBlocksItDidNotHandOut) {
    HostAllocator allocator;
    MemoryService service;
    allocator.bind(service);
    int onStack = 0;
    service.fpFree(&service, &onStack);
    void* a = service.fpMalloc(&service, 8);
    service.fpFree(&service, a);
    service.fpFree(&service, a);  // double free
    EXPECT_EQ(service.fpRealloc(&service, &onStack, 8), nullptr);
    EXPECT_EQ(allocator.foreignFrees(), 3u);
    EXPECT_EQ(allocator.liveBlocks(), 0u);
}

TEST(MemoryService, FailsTheNthAllocationOnceOrFromThenOn) {
    HostAllocator allocator;
    MemoryService service;
    allocator.bind(service);

    allocator.failAt(2);
    void* first = service.fpMalloc(&service, 8);
    void* second = service.fpMalloc(&service, 8);
    void* third = service.fpMalloc(&service, 8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(allocator.failedAllocations(), 1u);

    // A failing realloc leaves the old block valid and owned.
    allocator.failAt(1);
    EXPECT_EQ(service.fpRealloc(&service, first, 64), nullptr);
    EXPECT_EQ(allocator.liveBlocks(), 2u);

    allocator.failAt(1, true);
    EXPECT_EQ(service.fpMalloc(&service, 1), nullptr);
    EXPECT_EQ(service.fpResize(&service, nullptr, 1), nullptr);
    EXPECT_EQ(service.fpMalloc(&service, 1), nullptr);

    allocator.failAt(0);
    void* again = service.fpMalloc(&service, 1);
    EXPECT_NE(again, nullptr);
    for (void* pv : {first, third, again}) service.fpFree(&service, pv);
    EXPECT_EQ(allocator.liveBlocks(), 0u);
}

TEST(MemoryService, KnowsEveryLiveBlockThroughGrowthAndFreesInAnyOrder) {
    HostAllocator allocator;
    MemoryService service;
    allocator.bind(service);
    std::vector<void*> blocks;
    for (int i = 0; i < 5000; ++i) blocks.push_back(service.fpMalloc(&service, static_cast<size_t>(i % 64)));
    for (std::size_t i = 0; i < blocks.size(); i += 7) blocks[i] = service.fpRealloc(&service, blocks[i], 200);
    std::mt19937 shuffle(18);
    std::ranges::shuffle(blocks, shuffle);
    // Frees half, then each block again: the first half is refused the second time, the rest is freed.
    for (std::size_t i = 0; i < blocks.size() / 2; ++i) service.fpFree(&service, blocks[i]);
    EXPECT_EQ(allocator.liveBlocks(), blocks.size() - blocks.size() / 2);
    for (void* pv : blocks) service.fpFree(&service, pv);
    EXPECT_EQ(allocator.foreignFrees(), blocks.size() / 2);
    EXPECT_EQ(allocator.liveBlocks(), 0u);
}

}  // namespace
}  // namespace nsfrex
