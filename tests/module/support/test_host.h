/*
 * A small host for the module's tests: a ZAPI whose MemoryService is malloc-based, counts every
 * allocation, can fail the n-th one, and knows which blocks are still live; a configuration section
 * held in a map; host streams that count their open and close calls; a scratch directory per test;
 * and helpers for the log's environment variables and files.
 */
#ifndef NSFREX_TESTS_MODULE_SUPPORT_TEST_HOST_H
#define NSFREX_TESTS_MODULE_SUPPORT_TEST_HOST_H

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nsfrex/host.h"

namespace nsfrex_test {

class TestHost {
public:
    TestHost()
    {
        m_pZAPI = static_cast<ZAPI *>(calloc(1, sizeof(ZAPI)));
        m_pZAPI->cbSize = sizeof(ZAPI);
        m_pZAPI->pHost = this;
        m_pZAPI->memoryService.pOwner = this;
        m_pZAPI->memoryService.fpMalloc = Malloc;
        m_pZAPI->memoryService.fpFree = Free;
        m_pZAPI->memoryService.fpResize = Resize;
        m_pZAPI->memoryService.fpRealloc = Realloc;
        m_pZAPI->fpGetOption = GetOption;
        m_pZAPI->fpStrdup = Strdup;
    }
    ~TestHost()
    {
        EXPECT_EQ(m_cBadFrees, 0) << "blocks freed that were not the host's, or freed twice";
        for (void *pv : m_live)
            free(pv);
        free(m_pZAPI);
    }
    TestHost(const TestHost &) = delete;
    TestHost &operator=(const TestHost &) = delete;

    ZAPI *zapi() { return m_pZAPI; }

    /* Allocation control: fail the nth allocation from now (1 = the next); 0 = never. */
    void FailAllocation(int nth, bool bFromThenOn = false)
    {
        m_nFailAt = nth == 0 ? 0 : m_cAllocations + nth;
        m_bFailFromThenOn = bFromThenOn;
    }
    int failedAllocations() const { return m_cFailed; }
    size_t liveBlocks() const { return m_live.size(); }

    /* Configuration section "nsfrex" (and any other). */
    void SetOption(const std::string &section, const std::string &key, const std::string &value)
    {
        m_options[section + "/" + key] = value;
    }

    static TestHost *FromService(MemoryService *pService) { return static_cast<TestHost *>(pService->pOwner); }
    static TestHost *FromZAPI(ZAPI *pZAPI) { return static_cast<TestHost *>(pZAPI->pHost); }

    bool NextAllocationFails()
    {
        ++m_cAllocations;
        bool bFail = m_nFailAt != 0 && (m_cAllocations == m_nFailAt || (m_bFailFromThenOn && m_cAllocations > m_nFailAt));
        if (bFail)
            ++m_cFailed;
        return bFail;
    }
    void *Track(void *pv)
    {
        if (pv != nullptr)
            m_live.insert(pv);
        return pv;
    }

    static void *Malloc(MemoryService *pService, size_t cb)
    {
        TestHost *pHost = FromService(pService);
        if (pHost->NextAllocationFails())
            return nullptr;
        /* Fill with garbage so that code relying on zeroed memory shows up. */
        void *pv = malloc(cb == 0 ? 1 : cb);
        if (pv != nullptr)
            memset(pv, 0xA5, cb);
        return pHost->Track(pv);
    }
    static void Free(MemoryService *pService, void *pv)
    {
        TestHost *pHost = FromService(pService);
        if (pv == nullptr)
            return;
        if (pHost->m_live.erase(pv) == 0)
            ++pHost->m_cBadFrees;
        else
            free(pv);
    }
    static void *Realloc(MemoryService *pService, void *pv, size_t cb)
    {
        TestHost *pHost = FromService(pService);
        if (pv != nullptr && pHost->m_live.count(pv) == 0) {
            ++pHost->m_cBadFrees;
            return nullptr;
        }
        if (pHost->NextAllocationFails())
            return nullptr;
        void *pvNew = realloc(pv, cb == 0 ? 1 : cb);
        if (pvNew != nullptr)
            pHost->m_live.erase(pv); /* a failed realloc leaves the old block as it was */
        return pHost->Track(pvNew);
    }
    static void *Resize(MemoryService *pService, void *pv, size_t cb) { return Realloc(pService, pv, cb); }
    static char *Strdup(ZAPI *pZAPI, const char *psz)
    {
        TestHost *pHost = FromZAPI(pZAPI);
        if (psz == nullptr || pHost->NextAllocationFails())
            return nullptr;
        return static_cast<char *>(pHost->Track(strdup(psz)));
    }
    static int32_t GetOption(ZAPI *pZAPI, const char *pszSection, const char *pszKey, const char *,
                             char *pszOut, uint32_t cbOut, int32_t)
    {
        TestHost *pHost = FromZAPI(pZAPI);
        auto it = pHost->m_options.find(std::string(pszSection) + "/" + pszKey);
        if (it == pHost->m_options.end())
            return 0;
        /* Like a host that copies as much as fits, without a terminator when the value fills the buffer. */
        size_t cb = std::min<size_t>(it->second.size(), cbOut);
        memcpy(pszOut, it->second.data(), cb);
        if (cb < cbOut)
            pszOut[cb] = '\0';
        return 1;
    }

private:
    ZAPI *m_pZAPI = nullptr;
    std::set<void *> m_live;
    int m_cAllocations = 0;
    int m_cFailed = 0;
    int m_nFailAt = 0;
    bool m_bFailFromThenOn = false;
    int m_cBadFrees = 0;
    std::map<std::string, std::string> m_options;
};

/* A host stream over a path. The open function may fail, and may or may not install the close function. */
struct TestStream {
    IOobj64 io{};
    std::string path;
    int cOpen = 0;
    int cClose = 0;
    bool bOpenFails = false;
    bool bOpenInstallsClose = true;

    explicit TestStream(const std::string &pathIn, bool bAlreadyOpen = false) : path(pathIn)
    {
        io.pHostData = this;
        io.pFileName = path.data();
        io.twOpenFunc = Open;
        if (bAlreadyOpen)
            io.twCloseFunc = Close;
    }
    TestStream(const TestStream &) = delete;
    TestStream &operator=(const TestStream &) = delete;

    static TestStream *From(IOobj64 *pIO) { return static_cast<TestStream *>(pIO->pHostData); }
    static int32_t Open(IOobj64 *pIO)
    {
        TestStream *p = From(pIO);
        p->cOpen++;
        if (p->bOpenFails)
            return 0;
        if (p->bOpenInstallsClose)
            pIO->twCloseFunc = Close;
        return 1;
    }
    static int32_t Close(IOobj64 *pIO)
    {
        From(pIO)->cClose++;
        return 1;
    }
};

/* Sets or unsets an environment variable for the life of the object. */
class EnvVar {
public:
    EnvVar(const char *pszName, const char *pszValue) : m_name(pszName)
    {
        const char *pszOld = getenv(pszName);
        if (pszOld != nullptr)
            m_old = pszOld;
        if (pszValue != nullptr)
            setenv(pszName, pszValue, 1);
        else
            unsetenv(pszName);
    }
    ~EnvVar()
    {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    EnvVar(const EnvVar &) = delete;
    EnvVar &operator=(const EnvVar &) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

/* A fresh, empty directory removed at the end of the test. */
class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "nsfrex_test_XXXXXX").string();
        char *psz = mkdtemp(pattern.data());
        if (psz == nullptr)
            ADD_FAILURE() << "mkdtemp failed";
        m_path = pattern;
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &path() const { return m_path; }
    std::string file(const std::string &name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

/* The log's environment for one test: a fixed log file at the given level, no time prefix. */
class LogSetup {
public:
    LogSetup(const std::string &logFile, const char *pszLevel = "ALL", const char *pszApi = "TRUE")
        : m_file("TAMSEL_NSFREX_LOG_FILE", logFile.c_str()), m_dir("TAMSEL_NSFREX_LOG_DIR", nullptr),
          m_level("TAMSEL_NSFREX_LOG_LEVEL", pszLevel), m_timestamp("TAMSEL_NSFREX_LOG_TIMESTAMP", "FALSE"),
          m_api("TAMSEL_NSFREX_LOG_API", pszApi)
    {
    }

private:
    EnvVar m_file, m_dir, m_level, m_timestamp, m_api;
};

inline std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<std::string> ReadLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline bool HasLine(const std::vector<std::string> &lines, const std::string &line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

inline int CountContaining(const std::vector<std::string> &lines, const std::string &text)
{
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string &l) { return l.find(text) != std::string::npos; }));
}

} // namespace nsfrex_test

#endif /* NSFREX_TESTS_MODULE_SUPPORT_TEST_HOST_H */
