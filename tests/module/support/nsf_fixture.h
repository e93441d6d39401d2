/*
 * A container opened through the module on a database built in memory: the database is registered with
 * the runtime under a scratch path, nsfInit opens it like any file, and the test works on the context.
 * The subfile table can be replaced by hand, so that information and metadata are tested on exactly the
 * records a case needs. Close returns every block to the test host.
 */
#ifndef NSFREX_TESTS_MODULE_SUPPORT_NSF_FIXTURE_H
#define NSFREX_TESTS_MODULE_SUPPORT_NSF_FIXTURE_H

#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "entry/entry.h"
#include "module/support/test_host.h"
#include "notesapi/notes.h"
#include "notesapi/testing.h"
#include "nsf/memory_database.h"
#include "../../src/notesapi/testing_db.h"

namespace nsfrex_test {

class NsfFixture : public ::testing::Test {
protected:
    ScratchDir dir;
    TestHost host;
    std::unique_ptr<TestStream> stream;
    NsfContext *pContext = nullptr;
    std::string dbPath;

    void SetUp() override { host.SetOption("nsfrex", "TempDir", dir.path()); }
    void TearDown() override
    {
        Close();
        NotesTestClearFaults();
        NotesTestUnregisterDatabases();
        EXPECT_EQ(host.liveBlocks(), 0u);
        EXPECT_EQ(host.badFrees(), 0);
    }

    /* Opens the built database as "<scratch>/<name>"; the open must succeed. */
    NsfContext *Open(const nsf::MemoryDatabaseBuilder &builder, uint32_t dwFlags = 0,
                     const std::string &name = "archive2013.nsf")
    {
        auto shared = std::make_shared<nsf::MemoryDatabaseBuilder>(builder);
        dbPath = dir.file(name);
        NotesTestRegisterDatabase(dbPath.c_str(), [shared]() -> nsf::Expected<std::unique_ptr<nsf::Database>> {
            return shared->build();
        });
        stream = std::make_unique<TestStream>(dbPath);
        int32_t nStatus = -1;
        EnvVar noLog("TAMSEL_NSFREX_LOG_LEVEL", nullptr);
        pContext = static_cast<NsfContext *>(nsfInit(&stream->io, host.zapi(), dwFlags, 0, nullptr, &nStatus));
        EXPECT_EQ(nStatus, 0);
        EXPECT_NE(pContext, nullptr);
        return pContext;
    }
    void Close()
    {
        if (pContext != nullptr)
            nsfShutdown(pContext);
        pContext = nullptr;
    }

    NOTEHANDLE OpenNote(NOTEID noteId)
    {
        NOTEHANDLE hNote = NULLHANDLE;
        EXPECT_EQ(NSFNoteOpenExt(pContext->hDb, noteId, OPEN_RAW_MIME, &hNote), NOERROR);
        return hNote;
    }

    /* The main buffer's text, checked to be zero-terminated. */
    std::string BufferText()
    {
        EXPECT_EQ(pContext->rgbBuffer[pContext->ucbBuffer], 0);
        return std::string(reinterpret_cast<const char *>(pContext->rgbBuffer), pContext->ucbBuffer);
    }

    /* Replaces the subfile table by records of the given types and note IDs. */
    struct Record {
        int32_t nType;
        uint32_t dwNoteID = 0;
        std::string fileName = {};
        uint8_t bMail = 0;
        uint8_t fileTime0 = 0;
    };
    void SetSubFiles(const std::vector<Record> &records)
    {
        MemoryService *pService = &host.zapi()->memoryService;
        for (int32_t i = 0; i < pContext->cSubFilesMax && pContext->rgSubFiles != nullptr; i++) {
            SubFile *p = pContext->rgSubFiles[i];
            if (p != nullptr) {
                pService->fpFree(pService, p->rgbOrigFileName);
                pService->fpFree(pService, p->pbFileName);
                pService->fpFree(pService, p);
            }
        }
        pService->fpFree(pService, pContext->rgSubFiles);
        pContext->cSubFilesMax = static_cast<int32_t>(records.size()) + 1;
        pContext->rgSubFiles =
            static_cast<SubFile **>(pService->fpMalloc(pService, sizeof(SubFile *) * pContext->cSubFilesMax));
        memset(pContext->rgSubFiles, 0, sizeof(SubFile *) * pContext->cSubFilesMax);
        pContext->cSubFiles = 0;
        for (const Record &r : records) {
            SubFile *p = static_cast<SubFile *>(pService->fpMalloc(pService, sizeof(SubFile)));
            memset(p, 0, sizeof *p);
            p->nSubFile = pContext->cSubFiles;
            p->nSubFileType = r.nType;
            p->dwNoteID = r.dwNoteID;
            p->bNoteIsMail = r.bMail;
            p->fileTime[0] = r.fileTime0;
            if (!r.fileName.empty()) {
                p->cbFileName = static_cast<int32_t>(r.fileName.size());
                p->pbFileName = static_cast<uint8_t *>(pService->fpMalloc(pService, r.fileName.size() + 1));
                memcpy(p->pbFileName, r.fileName.c_str(), r.fileName.size() + 1);
            }
            pContext->rgSubFiles[pContext->cSubFiles++] = p;
        }
    }
};

/* A host allocator for slots 3 and 4 over the test host's MemoryService. */
struct HostAlloc {
    HostAllocatorRef ref{};
    explicit HostAlloc(TestHost &host) { ref.pAllocator = &host.zapi()->memoryService; }
    void Free(void *pv) { ref.pAllocator->fpFree(ref.pAllocator, pv); }
};

/* CD records as stored: little-endian words, records padded to an even length. */
class CdWriter {
public:
    CdWriter &Word(uint16_t w)
    {
        m_bytes.push_back(static_cast<uint8_t>(w));
        m_bytes.push_back(static_cast<uint8_t>(w >> 8));
        return *this;
    }
    CdWriter &Bytes(const std::string &s)
    {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        return *this;
    }
    CdWriter &Pad()
    {
        if (m_bytes.size() % 2 != 0)
            m_bytes.push_back(0);
        return *this;
    }
    /* A word-header record: signature 0xFF00 | sig, 16-bit length. */
    CdWriter &WordRecord(uint8_t sig, const std::vector<uint8_t> &body)
    {
        Word(static_cast<uint16_t>(0xFF00 | sig)).Word(static_cast<uint16_t>(4 + body.size()));
        m_bytes.insert(m_bytes.end(), body.begin(), body.end());
        return Pad();
    }
    /* A long-header record: signature sig, 32-bit length. */
    CdWriter &LongRecord(uint8_t sig, const std::vector<uint8_t> &body)
    {
        uint32_t cb = static_cast<uint32_t>(6 + body.size());
        Word(sig).Word(static_cast<uint16_t>(cb)).Word(static_cast<uint16_t>(cb >> 16));
        m_bytes.insert(m_bytes.end(), body.begin(), body.end());
        return Pad();
    }
    CdWriter &Text(const std::string &text)
    {
        std::vector<uint8_t> body(4, 0);  // font ID
        body.insert(body.end(), text.begin(), text.end());
        return WordRecord(0x85, body);
    }
    CdWriter &Paragraph()
    {
        m_bytes.push_back(0x81);
        m_bytes.push_back(0x02);
        return *this;
    }
    const std::vector<uint8_t> &bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

} // namespace nsfrex_test

#endif /* NSFREX_TESTS_MODULE_SUPPORT_NSF_FIXTURE_H */
