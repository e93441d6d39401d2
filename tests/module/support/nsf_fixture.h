/*
 * A container opened through the module on a database built in memory, whose subfile table can be
 * replaced by hand, so that information and metadata are tested on exactly the records a case needs.
 */
#ifndef NSFREX_TESTS_MODULE_SUPPORT_NSF_FIXTURE_H
#define NSFREX_TESTS_MODULE_SUPPORT_NSF_FIXTURE_H

#include <string.h>

#include <string>
#include <vector>

#include "module/catalogue_db.h"

namespace nsfrex_test {

class NsfFixture : public ModuleDbTest {
protected:
    /* Opens the built database as "<scratch>/<name>"; the open must succeed. */
    NsfContext *Open(const nsf::MemoryDatabaseBuilder &built, uint32_t dwFlags = 0,
                     const std::string &name = "archive2013.nsf")
    {
        builder = built;
        dbPath = dir.file(name);
        EXPECT_NE(ModuleDbTest::Open(dwFlags), nullptr);
        EXPECT_EQ(nStatus, 0);
        return pContext;
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

} // namespace nsfrex_test

#endif /* NSFREX_TESTS_MODULE_SUPPORT_NSF_FIXTURE_H */
