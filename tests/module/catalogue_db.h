/*
 * Shared set-up of the runtime, credential, database and catalogue tests: a scratch directory that is
 * also $TMPDIR (so the start lock is private to the test), a counting test host whose file time is the
 * plain count of seconds, an in-memory database registered under a path, and containers opened on it
 * through nsfInit with the real runtime.
 */
#ifndef NSFREX_TESTS_MODULE_CATALOGUE_DB_H
#define NSFREX_TESTS_MODULE_CATALOGUE_DB_H

#include <stdint.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "entry/context.h"
#include "entry/entry.h"
#include "extract/extract.h"
#include "log/log.h"
#include "module/support/capture_stream.h"
#include "module/support/test_host.h"
#include "notesapi/notes.h"
#include "notesapi/testing.h"
#include "nsf/id_file.h"
#include "nsf/memory_database.h"
#include "../../src/notesapi/testing_db.h"

namespace nsfrex_test {

/* The test host's file time: the seconds since 1970 as a little-endian 64-bit number. */
inline int32_t StoreSeconds(ZAPI *, int64_t nSeconds, uint8_t *pFileTime)
{
    memcpy(pFileTime, &nSeconds, sizeof nSeconds);
    return 1;
}

inline int64_t Seconds(const uint8_t rgbFileTime[8])
{
    int64_t n = 0;
    memcpy(&n, rgbFileTime, sizeof n);
    return n;
}

/* A TIMEDATE of a Greenwich date and time (no zone bits). */
inline nsf::TimeDate MakeTime(int32_t lJulianDay, uint32_t dwHundredths)
{
    nsf::TimeDate td{};
    td.innards0 = dwHundredths;
    td.innards1 = static_cast<uint32_t>(lJulianDay);
    return td;
}

class ModuleDbTest : public ::testing::Test {
protected:
    ScratchDir dir;
    EnvVar tmpdir{"TMPDIR", dir.path().c_str()};
    EnvVar notesIni{"NOTES_INI", nullptr};
    TestHost host;
    std::string logPath = dir.file("module.log");
    std::string dbPath = dir.path() + "/mail/archive.nsf";
    nsf::MemoryDatabaseBuilder builder;
    NsfContext *pContext = nullptr;
    int32_t nStatus = -1;
    std::unique_ptr<TestStream> stream;

    void SetUp() override
    {
        host.zapi()->fpTimeToFileTime = StoreSeconds;
        host.SetOption("nsfrex", "TempDir", dir.path());
    }
    void TearDown() override
    {
        Close();
        NotesTestClearFaults();
        NotesTestUnregisterDatabases();
        EXPECT_EQ(host.liveBlocks(), 0u);
    }

    /* Registers a snapshot of the builder under a path. */
    void Register(const std::string &path)
    {
        auto shared = std::make_shared<nsf::MemoryDatabaseBuilder>(builder);
        NotesTestRegisterDatabase(path.c_str(), [shared]() -> nsf::Expected<std::unique_ptr<nsf::Database>> {
            return shared->build();
        });
    }

    /* Opens the builder's database as a container (log at ALL with API lines). */
    NsfContext *Open(uint32_t dwFlags = 0, CredentialList *pCreds = nullptr)
    {
        Register(dbPath);
        return OpenPath(dbPath, dwFlags, pCreds);
    }
    NsfContext *OpenPath(const std::string &path, uint32_t dwFlags = 0, CredentialList *pCreds = nullptr,
                         const char *pszLevel = "ALL")
    {
        Close();
        stream = std::make_unique<TestStream>(path);
        LogSetup env(logPath, pszLevel, "TRUE");
        pContext = static_cast<NsfContext *>(nsfInit(&stream->io, host.zapi(), dwFlags, 0, pCreds, &nStatus));
        return pContext;
    }
    void Close()
    {
        if (pContext != nullptr)
            nsfShutdown(pContext);
        pContext = nullptr;
    }

    /* A context as open makes it before the runtime starts: log running, main buffer allocated. */
    NsfContext *BareContext()
    {
        Close();
        MemoryService *pService = &host.zapi()->memoryService;
        pContext = static_cast<NsfContext *>(pService->fpMalloc(pService, sizeof(NsfContext)));
        memset(pContext, 0, sizeof *pContext);
        pContext->pZAPI = host.zapi();
        {
            LogSetup env(logPath, "ALL", "TRUE");
            nsfLogOpen(pContext);
        }
        pContext->ucbBufferSize = 8192;
        pContext->rgbBuffer = static_cast<uint8_t *>(pService->fpMalloc(pService, pContext->ucbBufferSize + 16));
        memset(pContext->rgbBuffer, 0, pContext->ucbBufferSize + 16);
        return pContext;
    }

    std::vector<std::string> Lines() { return ReadLines(logPath); }
    bool Logged(const std::string &text) { return CountContaining(Lines(), text) > 0; }
    int CountLogged(const std::string &text) { return CountContaining(Lines(), text); }

    /* A notes.ini for the runtime (read at the next start). */
    std::string WriteIni(const std::string &text)
    {
        std::string path = dir.file("notes.ini");
        std::ofstream(path) << text;
        return path;
    }
    std::string WriteFile(const std::string &name, const std::string &text = "id")
    {
        std::string path = dir.file(name);
        std::ofstream(path) << text;
        return path;
    }

    /* A test ID file of `user`, with a password unless it is null, holding `keys`. */
    std::string WriteIdFile(const std::string &name, const std::string &user, const char *pszPassword,
                            std::vector<nsf::EncryptionKey> keys = {})
    {
        std::optional<std::string_view> password;
        if (pszPassword != nullptr)
            password = pszPassword;
        return WriteFile(name, nsf::writeTestIdFile(user, password, keys));
    }

    /* Files anywhere below the scratch folder whose names start with `prefix` and end with `suffix`. */
    size_t ScratchFiles(const std::string &prefix, const std::string &suffix = "")
    {
        size_t c = 0;
        for (const auto &entry : std::filesystem::recursive_directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            c += name.starts_with(prefix) && name.ends_with(suffix);
        }
        return c;
    }

    SubFile *Sub(int32_t i) { return pContext->rgSubFiles[i]; }
    std::string FileName(int32_t i)
    {
        SubFile *p = Sub(i);
        return p->pbFileName != nullptr ? std::string(reinterpret_cast<char *>(p->pbFileName), p->cbFileName) : "";
    }
};

/* A database test that extracts subfiles into a CaptureStream. */
struct ExtractTest : ModuleDbTest {
    CaptureStream out;
    SubFileExtractInfo info{};
    int hostObject = 1;

    int32_t Extract(int32_t nIndex, uint32_t nFlag = 0)
    {
        return nsfExtractSubFileToIOobj(pContext, nIndex, &out.io, &info, &hostObject, nFlag);
    }
};

} // namespace nsfrex_test

#endif /* NSFREX_TESTS_MODULE_CATALOGUE_DB_H */
