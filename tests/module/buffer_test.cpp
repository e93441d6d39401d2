// The three work buffers: exact growth with reserve, shrinking, overflow of the size sums and the
// fallback after a failed growth, against an allocator that records every request and fails on demand.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "log/log.h"
#include "text/buffer.h"

namespace {

/* A host allocator that records each call, refuses on demand, never hands out more than a few MB (a
   larger request is recorded and refused) and knows its live blocks. */
class RecordingHost {
public:
    struct Call {
        char chKind;    // 'm' malloc, 'r' realloc, 'f' free
        size_t cb;
    };

    RecordingHost()
    {
        m_pZAPI = static_cast<ZAPI *>(calloc(1, sizeof(ZAPI)));
        m_pZAPI->memoryService.pOwner = this;
        m_pZAPI->memoryService.fpMalloc = Malloc;
        m_pZAPI->memoryService.fpRealloc = Realloc;
        m_pZAPI->memoryService.fpFree = Free;
    }
    ~RecordingHost()
    {
        for (auto &[pv, cb] : m_live)
            free(pv);
        free(m_pZAPI);
    }
    RecordingHost(const RecordingHost &) = delete;
    RecordingHost &operator=(const RecordingHost &) = delete;

    ZAPI *zapi() { return m_pZAPI; }
    void FailNext(int cCalls) { m_cFailNext = cCalls; }
    std::vector<Call> TakeCalls() { return std::exchange(m_calls, {}); }
    size_t live() const { return m_live.size(); }
    size_t BlockSize(void *pv) const
    {
        auto it = m_live.find(pv);
        return it == m_live.end() ? 0 : it->second;
    }

private:
    static constexpr size_t kLimit = 8u << 20;
    static RecordingHost *From(MemoryService *p) { return static_cast<RecordingHost *>(p->pOwner); }
    bool Refuse(size_t cb)
    {
        if (m_cFailNext > 0) {
            m_cFailNext--;
            return true;
        }
        return cb > kLimit;
    }
    static void *Malloc(MemoryService *p, size_t cb)
    {
        RecordingHost *pHost = From(p);
        pHost->m_calls.push_back({'m', cb});
        if (pHost->Refuse(cb))
            return nullptr;
        void *pv = malloc(cb);
        memset(pv, 0xA5, cb);
        pHost->m_live[pv] = cb;
        return pv;
    }
    static void *Realloc(MemoryService *p, void *pv, size_t cb)
    {
        RecordingHost *pHost = From(p);
        pHost->m_calls.push_back({'r', cb});
        EXPECT_TRUE(pv == nullptr || pHost->m_live.count(pv)) << "realloc of a block not from this host";
        if (pHost->Refuse(cb))
            return nullptr;
        void *pvNew = realloc(pv, cb);
        pHost->m_live.erase(pv);
        pHost->m_live[pvNew] = cb;
        return pvNew;
    }
    static void Free(MemoryService *p, void *pv)
    {
        RecordingHost *pHost = From(p);
        pHost->m_calls.push_back({'f', 0});
        EXPECT_EQ(pHost->m_live.erase(pv), 1u) << "free of a block not from this host";
        free(pv);
    }

    ZAPI *m_pZAPI = nullptr;
    std::map<void *, size_t> m_live;
    std::vector<Call> m_calls;
    int m_cFailNext = 0;
};

/* A context on the recording host whose log goes to memory. */
class BufferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pContext = std::make_unique<NsfContext>();
        m_pContext->pZAPI = m_host.zapi();
        m_pContext->nLogLevel = LOG_ALL;
        m_pContext->pLogFile = open_memstream(&m_pszLog, &m_cbLog);
    }
    void TearDown() override
    {
        NsfContext *pContext = m_pContext.get();
        MemoryService *pService = &m_host.zapi()->memoryService;
        for (uint8_t *pb : {pContext->rgbBuffer, pContext->rgbBuffer2, pContext->rgbBuffer3})
            if (pb != nullptr)
                pService->fpFree(pService, pb);
        EXPECT_EQ(m_host.live(), 0u) << "blocks leaked";
        fclose(pContext->pLogFile);
        free(m_pszLog);
    }

    /* The main buffer as open leaves it: 8192 bytes, empty. */
    void OpenMainBuffer(uint32_t cbSize = 8192)
    {
        MemoryService *pService = &m_host.zapi()->memoryService;
        m_pContext->ucbBufferSize = cbSize;
        m_pContext->rgbBuffer = static_cast<uint8_t *>(pService->fpMalloc(pService, cbSize + 16));
        m_pContext->ucbBuffer = 0;
        m_host.TakeCalls();
    }
    std::string Log()
    {
        fflush(m_pContext->pLogFile);
        return std::string(m_pszLog, m_cbLog);
    }

    RecordingHost m_host;
    std::unique_ptr<NsfContext> m_pContext;
    char *m_pszLog = nullptr;
    size_t m_cbLog = 0;
};

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

TEST(BufferSize, GuardedAdditionSaturatesAtTheSignedLimit)
{
    EXPECT_EQ(nsfAddSize(0x7FFFFFFEu, 1), 0x7FFFFFFFu);
    EXPECT_EQ(nsfAddSize(0x7FFFFFFFu, 1), 0x80000000u);
    EXPECT_EQ(nsfAddSize(0xFFFFFFFFu, 0xFFFFFFFFu), 0x80000000u);
    EXPECT_EQ(nsfAddSize(0x80000000u, 0), 0x80000000u);
}

TEST_F(BufferTest, MainBufferGrowsToExactlyTheNeedPlusReserveKeepingItsContent)
{
    NsfContext *p = m_pContext.get();
    OpenMainBuffer();

    // 0 + 0 + 1024 <= 8192: nothing to do
    EXPECT_EQ(nsfCheckBuffer(p, 0), NSF_OK);
    EXPECT_TRUE(m_host.TakeCalls().empty());

    // 8000 in use, 100 more: 8000 + 100 + 1024 = 9124, by reallocation
    p->ucbBuffer = 8000;
    for (uint32_t i = 0; i < 8000; i++)
        p->rgbBuffer[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(nsfCheckBuffer(p, 100), NSF_OK);
    EXPECT_EQ(p->ucbBufferSize, 9124u);
    EXPECT_EQ(p->ucbBuffer, 8000u);
    auto calls = m_host.TakeCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].chKind, 'r');
    EXPECT_EQ(calls[0].cb, 9124u + 16);
    EXPECT_EQ(m_host.BlockSize(p->rgbBuffer), 9140u);
    bool bSame = true;
    for (uint32_t i = 0; i < 8000; i++)
        bSame = bSame && p->rgbBuffer[i] == static_cast<uint8_t>(i * 7);
    EXPECT_TRUE(bSame) << "content lost on growth";
    EXPECT_TRUE(Contains(Log(), "DIAG nsfCheckBuffer(): Re-allocated main buffer, ucbBufferSize 9124 0x23a4\n"));

    // the reserve is counted on top of what is in use: exactly full passes, one byte more grows by one
    EXPECT_EQ(nsfCheckBuffer(p, 100), NSF_OK);
    EXPECT_TRUE(m_host.TakeCalls().empty());
    EXPECT_EQ(nsfCheckBuffer(p, 101), NSF_OK);
    EXPECT_EQ(p->ucbBufferSize, 9125u);
    EXPECT_EQ(p->ucbBuffer, 8000u);

    // an absent buffer starts from nothing, whatever the stale counts say
    MemoryService *pService = &m_host.zapi()->memoryService;
    pService->fpFree(pService, p->rgbBuffer);
    p->rgbBuffer = nullptr;
    p->ucbBuffer = 500;
    p->ucbBufferSize = 100000;
    m_host.TakeCalls();
    EXPECT_EQ(nsfCheckBuffer(p, 10), NSF_OK);
    EXPECT_EQ(p->ucbBuffer, 0u);
    EXPECT_EQ(p->ucbBufferSize, 1034u);
    calls = m_host.TakeCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].chKind, 'm');
    EXPECT_EQ(calls[0].cb, 1050u);
}

TEST_F(BufferTest, EmptyMainBufferOf64KBOrMoreIsGivenBackAtTheNextCheck)
{
    NsfContext *p = m_pContext.get();

    // 65,535 bytes and empty: kept
    OpenMainBuffer(65535);
    EXPECT_EQ(nsfCheckBuffer(p, 0), NSF_OK);
    EXPECT_TRUE(m_host.TakeCalls().empty());
    EXPECT_EQ(p->ucbBufferSize, 65535u);

    // 70,000 bytes but holding content: kept
    MemoryService *pService = &m_host.zapi()->memoryService;
    pService->fpFree(pService, p->rgbBuffer);
    OpenMainBuffer(70000);
    p->ucbBuffer = 10;
    EXPECT_EQ(nsfCheckBuffer(p, 0), NSF_OK);
    EXPECT_TRUE(m_host.TakeCalls().empty());

    // 70,000 bytes and empty: freed, then allocated afresh to exactly need + 1024, even for a need of 0
    p->ucbBuffer = 0;
    EXPECT_EQ(nsfCheckBuffer(p, 0), NSF_OK);
    EXPECT_EQ(p->ucbBufferSize, 1024u);
    auto calls = m_host.TakeCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].chKind, 'f');
    EXPECT_EQ(calls[1].chKind, 'm');
    EXPECT_EQ(calls[1].cb, 1040u);
    std::string log = Log();
    EXPECT_TRUE(Contains(log, "DIAG nsfCheckBuffer(): Resetting main buffer, ucbBufferSize 70000 0x11170\n"));

    // exactly 65,536: given back too
    pService->fpFree(pService, p->rgbBuffer);
    OpenMainBuffer(65536);
    EXPECT_EQ(nsfCheckBuffer(p, 5000), NSF_OK);
    EXPECT_EQ(p->ucbBufferSize, 6024u);
    calls = m_host.TakeCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].chKind, 'f');
}

TEST_F(BufferTest, MainBufferFallsBackTo8192BytesWhenGrowthFails)
{
    NsfContext *p = m_pContext.get();
    OpenMainBuffer();

    // the largest size that can exist is 0x7FFFFFEF: the host is asked for 0x7FFFFFFF (and refuses here)
    EXPECT_EQ(nsfCheckBuffer(p, 0x7FFFFFEFu - 1024), NSF_ERR_MEMORY);
    auto calls = m_host.TakeCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].chKind, 'f');
    EXPECT_EQ(calls[1].chKind, 'm');
    EXPECT_EQ(calls[1].cb, 0x7FFFFFFFu);
    EXPECT_EQ(calls[2].chKind, 'm');
    EXPECT_EQ(calls[2].cb, 8192u + 16);
    EXPECT_EQ(p->ucbBuffer, 0u);
    EXPECT_EQ(p->ucbBufferSize, 8192u);
    ASSERT_NE(p->rgbBuffer, nullptr);
    EXPECT_TRUE(Contains(Log(), "ERROR nsfCheckBuffer(): Error re-allocating main buffer, ucbBufferSize 2147483631\n"));

    // one byte more and the block would pass 0x7FFFFFFF: the host is not even asked
    EXPECT_EQ(nsfCheckBuffer(p, 0x7FFFFFF0u - 1024), NSF_ERR_MEMORY);
    calls = m_host.TakeCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].chKind, 'f');
    EXPECT_EQ(calls[1].cb, 8192u + 16);

    // sums beyond 32 bits saturate instead of wrapping to a small size
    p->ucbBuffer = 100;
    EXPECT_EQ(nsfCheckBuffer(p, 0xFFFFFFFFu), NSF_ERR_MEMORY);
    EXPECT_TRUE(Contains(Log(), "Error re-allocating main buffer, ucbBufferSize 2147483648\n"));
    EXPECT_EQ(p->ucbBuffer, 0u);
    EXPECT_EQ(p->ucbBufferSize, 8192u);

    // a refused reallocation of a buffer with content: the old block is released, not leaked
    p->ucbBuffer = 8000;
    m_host.TakeCalls();
    m_host.FailNext(1);
    EXPECT_EQ(nsfCheckBuffer(p, 1000), NSF_ERR_MEMORY);
    calls = m_host.TakeCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].chKind, 'r');
    EXPECT_EQ(calls[0].cb, 10024u + 16);
    EXPECT_EQ(calls[1].chKind, 'f');
    EXPECT_EQ(calls[2].chKind, 'm');
    EXPECT_EQ(p->ucbBuffer, 0u);
    EXPECT_EQ(p->ucbBufferSize, 8192u);
    EXPECT_EQ(m_host.live(), 1u);

    // and when the fallback fails too, no buffer is left
    p->ucbBuffer = 8000;
    m_host.FailNext(2);
    EXPECT_EQ(nsfCheckBuffer(p, 1000), NSF_ERR_MEMORY);
    EXPECT_EQ(p->rgbBuffer, nullptr);
    EXPECT_EQ(p->ucbBuffer, 0u);
    EXPECT_EQ(p->ucbBufferSize, 0u);
    EXPECT_TRUE(Contains(Log(), "ERROR nsfCheckBuffer(): Error re-allocating main buffer, ucbBufferSize 8192 0x2000\n"));

    // the next check starts again from nothing
    EXPECT_EQ(nsfCheckBuffer(p, 10), NSF_OK);
    EXPECT_EQ(p->ucbBufferSize, 1034u);
}

/* The two temp buffers follow the same rules with their own fields and texts. */
struct TempBufferCase {
    const char *pszName;
    NSFSTATUS (*fpCheck)(NsfContext *, uint32_t);
    uint8_t *NsfContext::*prgb;
    uint32_t NsfContext::*pucb;
    uint32_t NsfContext::*pucbSize;
};

class TempBufferTest : public BufferTest, public ::testing::WithParamInterface<TempBufferCase> {};

TEST_P(TempBufferTest, EmptiedOnEveryCheckGrownWithoutCopyShrunkAbove65535AndEmptyAfterFailure)
{
    const TempBufferCase &c = GetParam();
    NsfContext *p = m_pContext.get();
    std::string name = c.pszName;

    // from nothing: need + 256, and the count in use is 0 afterwards whatever it was
    p->*c.pucb = 50;
    EXPECT_EQ(c.fpCheck(p, 100), NSF_OK);
    EXPECT_EQ(p->*c.pucbSize, 356u);
    EXPECT_EQ(p->*c.pucb, 0u);
    ASSERT_NE(p->*c.prgb, nullptr);
    EXPECT_TRUE(Contains(Log(), "Re-allocated temp buffer, ucb" + name + "Size 356 0x164\n"));

    // fits: no allocation, but still emptied
    p->*c.pucb = 300;
    m_host.TakeCalls();
    EXPECT_EQ(c.fpCheck(p, 100), NSF_OK);
    EXPECT_EQ(p->*c.pucb, 0u);
    EXPECT_TRUE(m_host.TakeCalls().empty());

    // growth frees and allocates afresh: the content is never copied
    EXPECT_EQ(c.fpCheck(p, 65535 - 256), NSF_OK);
    auto calls = m_host.TakeCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].chKind, 'f');
    EXPECT_EQ(calls[1].chKind, 'm');
    EXPECT_EQ(p->*c.pucbSize, 65535u);

    // 65,535 bytes stay ...
    EXPECT_EQ(c.fpCheck(p, 10), NSF_OK);
    EXPECT_TRUE(m_host.TakeCalls().empty());
    // ... 65,536 are given back at the next check and sized to the need
    EXPECT_EQ(c.fpCheck(p, 65536 - 256), NSF_OK);
    EXPECT_EQ(p->*c.pucbSize, 65536u);
    m_host.TakeCalls();
    EXPECT_EQ(c.fpCheck(p, 10), NSF_OK);
    EXPECT_EQ(p->*c.pucbSize, 266u);
    calls = m_host.TakeCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].cb, 266u + 16);
    EXPECT_TRUE(Contains(Log(), "DIAG nsfCheckBuffer" + std::string(name == "Buffer2" ? "2" : "3") +
                                    "(): Resetting temp buffer, ucb" + name + "Size 65536 0x10000\n"));

    // a refused allocation leaves no buffer and no fallback
    p->*c.pucb = 7;
    m_host.FailNext(1);
    EXPECT_EQ(c.fpCheck(p, 1000), NSF_ERR_MEMORY);
    EXPECT_EQ(p->*c.prgb, nullptr);
    EXPECT_EQ(p->*c.pucb, 0u);
    EXPECT_EQ(p->*c.pucbSize, 0u);
    EXPECT_TRUE(Contains(Log(), "Error re-allocating temp buffer, ucb" + name + "Size 1256 0x4e8\n"));

    // the largest possible buffer is asked for; one byte more is refused without asking
    m_host.TakeCalls();
    EXPECT_EQ(c.fpCheck(p, 0x7FFFFFEFu - 256), NSF_ERR_MEMORY);
    calls = m_host.TakeCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].cb, 0x7FFFFFFFu);
    EXPECT_EQ(c.fpCheck(p, 0x7FFFFFF0u - 256), NSF_ERR_MEMORY);
    EXPECT_TRUE(m_host.TakeCalls().empty());
    EXPECT_EQ(c.fpCheck(p, 0xFFFFFFFFu), NSF_ERR_MEMORY);
    EXPECT_TRUE(Contains(Log(), "ucb" + name + "Size 2147483648 0x80000000\n"));
    EXPECT_TRUE(m_host.TakeCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(Buffers, TempBufferTest,
                         ::testing::Values(TempBufferCase{"Buffer2", nsfCheckBuffer2, &NsfContext::rgbBuffer2,
                                                          &NsfContext::ucbBuffer2, &NsfContext::ucbBuffer2Size},
                                           TempBufferCase{"Buffer3", nsfCheckBuffer3, &NsfContext::rgbBuffer3,
                                                          &NsfContext::ucbBuffer3, &NsfContext::ucbBuffer3Size}),
                         [](const ::testing::TestParamInfo<TempBufferCase> &param) { return std::string(param.param.pszName); });

} // namespace
