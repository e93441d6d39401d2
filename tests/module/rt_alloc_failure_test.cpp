// The converter's exception boundary under real memory exhaustion: the C++ allocator of this test program
// is made to fail at every one of the allocations a conversion makes, one after the other; each time the
// boundary returns status 6 with nothing written, and every block, from the allocator and from the host,
// comes back.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "richtext/driver.h"
#include "rt_test_host.h"

using namespace rt_test;

namespace {

// Armed: the allocation numbered g_nFailAt (counted from arming) and every later one throw. Live counts
// blocks from operator new not yet deleted, armed or not.
long g_nAllocs = 0;
long g_nFailAt = -1;
long g_nLive = 0;

/* The test host keeps its own books in a std::map: its entries are not part of the conversion, so they
   never fail. */
struct Unarmed {
    long nSaved = g_nFailAt;
    Unarmed() { g_nFailAt = -1; }
    ~Unarmed() { g_nFailAt = nSaved; }
};
void *HostMalloc(MemoryService *p, size_t cb)
{
    const Unarmed unarmed;
    return TestHost::Malloc(p, cb);
}
void *HostResize(MemoryService *p, void *pv, size_t cb)
{
    const Unarmed unarmed;
    return TestHost::Realloc(p, pv, cb);
}

std::vector<uint8_t> RichDocument()
{
    CdBuilder b;
    b.Rec(0x8B, CdBuilder::Word, Body(4, 6 + 34).W(4, 1).B(6, 5).S(8, "A font name longer than fifteen"));
    PabDef(b, 1, 3);
    PabDef(b, 2, 0, 0x0400);
    PabRef(b, 1);
    Text(b, "A heading in the named face, long enough to leave the small-string buffer", 5, 0x03);
    Paragraph(b);
    PabRef(b, 2);
    Text(b, "  a bullet\twith a tab & <markup>");
    b.Rec(0xFB, CdBuilder::Word, Body(4, 44).D(24, 0xC0C0C0));               /* pre-table */
    b.Rec(0xA3, CdBuilder::Byte, Body(2, 14));                                /* table begin */
    b.Rec(0xA4, CdBuilder::Byte, Body(2, 24).B(2, 0).B(3, 0).W(6, 2880));    /* cell 0,0 */
    Text(b, "cell text");
    b.Rec(0xA4, CdBuilder::Byte, Body(2, 24).B(2, 0).B(3, 1).W(6, 2880));    /* cell 0,1 */
    Text(b, "");
    b.Rec(0xA5, CdBuilder::Byte, Body(2, 6));                                 /* table end */
    b.Rec(0x7D, CdBuilder::Long, Body(6, 28).W(6, 1).W(8, 32).W(10, 16).D(16, 1)); /* GIF header */
    b.Rec(0x7C, CdBuilder::Long, Body(6, 10 + 6).W(6, 6).S(10, "GIF89a"));
    b.Rec(0xAC, CdBuilder::Word, Body(4, 14 + 9).S(14, "A section"));           /* section title */
    return b.rgb;
}

} // namespace

// Replacements of the global allocator for this program; malloc and free belong together here.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(std::size_t cb)
{
    if (g_nFailAt >= 0 && g_nAllocs++ >= g_nFailAt)
        throw std::bad_alloc();
    void *p = malloc(cb == 0 ? 1 : cb);
    if (p == nullptr)
        throw std::bad_alloc();
    ++g_nLive;
    return p;
}
void *operator new(std::size_t cb, const std::nothrow_t &) noexcept
{
    try {
        return operator new(cb);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
void operator delete(void *p) noexcept
{
    if (p != nullptr)
        --g_nLive;
    free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    operator delete(p);
}

TEST(RtAllocFailure, EveryFailingAllocationEndsInStatus6WithNothingLeaked)
{
    TestHost host;
    host.zapi()->memoryService.fpMalloc = &HostMalloc;
    host.zapi()->memoryService.fpResize = &HostResize;
    NsfContext context{};
    context.pZAPI = host.zapi();
    const std::vector<uint8_t> records = RichDocument();
    std::vector<uint8_t> value = {0x01, 0x00};
    value.insert(value.end(), records.begin(), records.end());
    const uint32_t cbCapacity = 64 * 1024;

    /* One clean run: its result, and how many allocations it makes. A first run before it builds what
       lives for the whole program (the standard library's statics), so that it is not counted. */
    std::vector<uint8_t> buffer(value);
    buffer.resize(cbCapacity);
    uint32_t cbOut = 0;
    ASSERT_EQ(nsfRTConverter(&context, host.zapi(), "1F6", 0, buffer.data(), static_cast<uint32_t>(value.size()),
                             cbCapacity, &cbOut),
              NSF_OK);
    memcpy(buffer.data(), value.data(), value.size());
    const long nLiveBefore = g_nLive;
    g_nAllocs = 0;
    g_nFailAt = 1L << 30;
    ASSERT_EQ(nsfRTConverter(&context, host.zapi(), "1F6", 0, buffer.data(), static_cast<uint32_t>(value.size()),
                             cbCapacity, &cbOut),
              NSF_OK);
    const long cAllocs = g_nAllocs;
    g_nFailAt = -1;
    EXPECT_EQ(g_nLive, nLiveBefore);
    const std::string strExpected(reinterpret_cast<const char *>(buffer.data()), cbOut);
    ASSERT_NE(strExpected.find("<TABLE"), std::string::npos);
    ASSERT_NE(strExpected.find("Content-Type: image/gif"), std::string::npos);
    ASSERT_NE(strExpected.find("A section"), std::string::npos);
    ASSERT_GT(cAllocs, 20);

    for (long nFail = 0; nFail < cAllocs; ++nFail) {
        std::vector<uint8_t> attempt(value);
        attempt.resize(cbCapacity, 0xEE);
        const std::vector<uint8_t> untouched(attempt);
        uint32_t cbAttempt = 12345;
        const long nLive = g_nLive;
        g_nAllocs = 0;
        g_nFailAt = nFail;
        const NSFSTATUS nStatus = nsfRTConverter(&context, host.zapi(), "1F6", 0, attempt.data(),
                                                 static_cast<uint32_t>(value.size()), cbCapacity, &cbAttempt);
        g_nFailAt = -1;
        EXPECT_EQ(nStatus, NSF_ERR_FAILED) << "allocation " << nFail;
        EXPECT_EQ(cbAttempt, 0u) << "allocation " << nFail;
        EXPECT_TRUE(attempt == untouched) << "allocation " << nFail << ": the buffer was written";
        EXPECT_EQ(g_nLive, nLive) << "allocation " << nFail << ": blocks from operator new leaked";
        EXPECT_EQ(host.liveBlocks(), 0u) << "allocation " << nFail << ": " << host.liveBlocks() << " host blocks leaked";
    }

    /* Nothing is left over that would change the next conversion. */
    std::vector<uint8_t> again(value);
    again.resize(cbCapacity);
    ASSERT_EQ(nsfRTConverter(&context, host.zapi(), "1F6", 0, again.data(), static_cast<uint32_t>(value.size()),
                             cbCapacity, &cbOut),
              NSF_OK);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(again.data()), cbOut), strExpected);
}
