/*
 * Path preparation and the component-by-component walk for paths longer than one kernel call takes.
 */
#include "vos/tmos_path.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

TmosPath::TmosPath(const char *pszPath) : m_pszOrig(pszPath), m_psz(pszPath), m_pszHeap(nullptr)
{
    m_szInline[0] = '\0';
    if (pszPath == nullptr) {
        errno = EFAULT;
        return;
    }
    if (strchr(pszPath, '\\') != nullptr)
        m_psz = pszWritable();
}

TmosPath::~TmosPath()
{
    free(m_pszHeap);
}

char *TmosPath::pszWritable()
{
    if (m_pszOrig == nullptr)
        return nullptr;
    if (m_psz == m_szInline || (m_psz != nullptr && m_psz == m_pszHeap))
        return const_cast<char *>(m_psz);
    size_t cch = strlen(m_pszOrig);
    char *psz = m_szInline;
    if (cch >= sizeof(m_szInline)) {
        m_pszHeap = static_cast<char *>(malloc(cch + 1));
        if (m_pszHeap == nullptr) {
            errno = ENOMEM;
            m_psz = nullptr;
            return nullptr;
        }
        psz = m_pszHeap;
    }
    for (size_t i = 0; i < cch; i++)
        psz[i] = m_pszOrig[i] == '\\' ? '/' : m_pszOrig[i];
    psz[cch] = '\0';
    m_psz = psz;
    return psz;
}

int tmosOpenParentDir(const char *pszPath, const char **ppszLeaf)
{
    size_t cch = strlen(pszPath);
    size_t ichEnd = cch;
    while (ichEnd > 1 && pszPath[ichEnd - 1] == '/')
        ichEnd--;
    size_t ichLeaf = ichEnd;
    while (ichLeaf > 0 && pszPath[ichLeaf - 1] != '/')
        ichLeaf--;
    if (ichLeaf == 0 || ichEnd - ichLeaf > NAME_MAX) {
        /* a single component: nothing to walk */
        errno = ENAMETOOLONG;
        return -1;
    }

    int fd = open(pszPath[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char szComponent[NAME_MAX + 1];
    size_t ich = 0;
    while (ich < ichLeaf) {
        if (pszPath[ich] == '/') {
            ich++;
            continue;
        }
        size_t ichStop = ich;
        while (ichStop < ichLeaf && pszPath[ichStop] != '/')
            ichStop++;
        if (ichStop - ich > NAME_MAX) {
            close(fd);
            errno = ENAMETOOLONG;
            return -1;
        }
        memcpy(szComponent, pszPath + ich, ichStop - ich);
        szComponent[ichStop - ich] = '\0';
        int fdNext = openat(fd, szComponent, O_PATH | O_DIRECTORY | O_CLOEXEC);
        int nErr = errno;
        close(fd);
        if (fdNext < 0) {
            errno = nErr;
            return -1;
        }
        fd = fdNext;
        ich = ichStop;
    }
    *ppszLeaf = pszPath + ichLeaf;
    return fd;
}
