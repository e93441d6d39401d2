// The exporter's one exported symbol and its operation table. No exception leaves it.
#include <gmime/gmime.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "folders.h"
#include "mbox_entry.h"
#include "message_builder.h"
#include "message_headers.h"
#include "notesapi/init.h"
#include "notesapi/nsfdb.h"
#include "notesapi/status.h"
#include "nsfrex/mail_export.h"

struct NsfMailSession {
    DBHANDLE db = NULLHANDLE;
};

namespace nsfmail {
namespace {

void setError(char* szError, uint32_t cbError, const std::string& message) {
    if (szError == nullptr || cbError == 0)
        return;
    const std::size_t n = std::min<std::size_t>(message.size(), cbError - 1);
    std::memcpy(szError, message.data(), n);
    szError[n] = '\0';
}

template <typename Body>
int32_t guarded(char* szError, uint32_t cbError, Body&& body) {
    try {
        return body();
    } catch (const NotesError& e) {
        setError(szError, cbError, e.what());
        return NSFMAIL_ERR_NOTES;
    } catch (const std::bad_alloc&) {
        setError(szError, cbError, "out of memory");
        return NSFMAIL_ERR_MEMORY;
    } catch (const std::exception& e) {
        setError(szError, cbError, e.what());
        return NSFMAIL_ERR_NOTES;
    }
}

int32_t openDatabase(const char* pszDatabase, NsfMailSession** ppSession, char* szError, uint32_t cbError) {
    if (pszDatabase == nullptr || ppSession == nullptr)
        return NSFMAIL_ERR_ARGS;
    *ppSession = nullptr;
    static std::once_flag gmime;
    std::call_once(gmime, [] { g_mime_init(); });
    return guarded(szError, cbError, [&]() -> int32_t {
        if (const STATUS s = NotesInitExtended(0, nullptr); s != NOERROR)
            throw NotesError("NotesInitExtended", s);
        DBHANDLE db = NULLHANDLE;
        if (const STATUS s = NSFDbOpen(pszDatabase, &db); s != NOERROR) {
            NotesTerm();
            throw NotesError("NSFDbOpen", s);
        }
        *ppSession = new NsfMailSession{db};
        return NSFMAIL_OK;
    });
}

void closeDatabase(NsfMailSession* pSession) {
    if (pSession == nullptr)
        return;
    NSFDbClose(pSession->db);
    NotesTerm();
    delete pSession;
}

int32_t noteIsMail(NsfMailSession* pSession, uint32_t dwNoteID) {
    if (pSession == nullptr)
        return -NSFMAIL_ERR_ARGS;
    try {
        const NoteReader note(pSession->db, dwNoteID);
        return isMail(note) ? 1 : 0;
    } catch (...) {
        return -NSFMAIL_ERR_NOTES;
    }
}

int32_t writeMessage(NsfMailSession* pSession, uint32_t dwNoteID, uint32_t dwFlags, NsfMailRenderFunc pfnRender,
                     void* pvRenderer, NsfMailWriteFunc pfnWrite, void* pvSink, char* szError, uint32_t cbError) {
    if (pSession == nullptr || pfnWrite == nullptr)
        return NSFMAIL_ERR_ARGS;
    return guarded(szError, cbError, [&]() -> int32_t {
        const NoteReader note(pSession->db, dwNoteID);
        if (!isMail(note))
            return NSFMAIL_ERR_NOT_MAIL;
        GMimeMessage* message = buildMessage(note, Renderer{pfnRender, pvRenderer});
        // A file of its own in the canonical CR LF; an mbox in the LF of the files it is read as.
        const bool mbox = (dwFlags & NSFMAIL_MBOX_ENTRY) != 0;
        GMimeFormatOptions* format = g_mime_format_options_new();
        g_mime_format_options_set_newline_format(format, mbox ? GMIME_NEWLINE_FORMAT_UNIX : GMIME_NEWLINE_FORMAT_DOS);
        GMimeStream* stream = g_mime_stream_mem_new();
        g_mime_object_write_to_stream(GMIME_OBJECT(message), format, stream);
        g_mime_format_options_free(format);
        GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
        std::string out;
        if (mbox)
            out = mboxFromLine(message) + mboxQuoted(reinterpret_cast<const char*>(bytes->data), bytes->len) + "\n";
        else
            out.assign(reinterpret_cast<const char*>(bytes->data), bytes->len);
        g_object_unref(stream);
        g_object_unref(message);
        if (out.size() > UINT32_MAX || pfnWrite(pvSink, reinterpret_cast<const uint8_t*>(out.data()),
                                                static_cast<uint32_t>(out.size())) == 0) {
            setError(szError, cbError, "the output refused the message");
            return NSFMAIL_ERR_WRITE;
        }
        return NSFMAIL_OK;
    });
}

int32_t listFolderNotes(NsfMailSession* pSession, NsfMailFolderFunc pfnFolder, void* pv, char* szError,
                        uint32_t cbError) {
    if (pSession == nullptr || pfnFolder == nullptr)
        return NSFMAIL_ERR_ARGS;
    return guarded(szError, cbError, [&]() -> int32_t {
        for (const Folder& folder : listFolders(pSession->db))
            pfnFolder(pv, folder.name.c_str(), folder.notes.data(), static_cast<uint32_t>(folder.notes.size()));
        return NSFMAIL_OK;
    });
}

constexpr NsfMailInterface kInterface = {
    .dwVersion = NSFMAIL_INTERFACE_VERSION,
    .fpOpen = openDatabase,
    .fpClose = closeDatabase,
    .fpIsMail = noteIsMail,
    .fpWriteMessage = writeMessage,
    .fpListFolders = listFolderNotes,
};

}  // namespace
}  // namespace nsfmail

extern "C" __attribute__((visibility("default"))) int32_t nsfmailGetInterface(uint32_t dwVersion,
                                                                              NsfMailInterface* pInterface) {
    if (pInterface == nullptr || dwVersion != NSFMAIL_INTERFACE_VERSION)
        return NSFMAIL_ERR_ARGS;
    *pInterface = nsfmail::kInterface;
    return NSFMAIL_OK;
}
