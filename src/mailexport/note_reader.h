// One note read through the published Notes C API: item values as UTF-8 text, times, file attachments.
// Failures of API calls are thrown as NotesError, which the entry points turn into statuses.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "notesapi/global.h"
#include "notesapi/nsfdata.h"
#include "notesapi/nsfnote.h"

namespace nsfmail {

class NotesError : public std::runtime_error {
public:
    NotesError(const std::string& call, STATUS status);
};

struct Attachment {
    std::string name;  // UTF-8
    BLOCKID item{};
    WORD hostType = 0;
    WORD flags = 0;
};

class NoteReader {
public:
    // Opens the note; a sealed one is decrypted with the current ID, or NotesError says why not.
    NoteReader(DBHANDLE db, NOTEID id);
    NoteReader(const NoteReader&) = delete;
    NoteReader& operator=(const NoteReader&) = delete;
    ~NoteReader();

    NOTEHANDLE handle() const noexcept { return note_; }
    NOTEID id() const noexcept { return id_; }
    WORD noteClass() const;
    OID oid() const;

    bool has(const char* name) const;
    WORD type(const char* name) const;  // 0 when absent
    // The entries of a text or text-list item; empty when absent or of another type.
    std::vector<std::string> texts(const char* name) const;
    std::string text(const char* name) const;  // the first entry
    std::optional<TIMEDATE> time(const char* name) const;
    std::vector<Attachment> attachments() const;
    std::string extract(const Attachment& attachment) const;

private:
    NOTEID id_;
    NOTEHANDLE note_ = NULLHANDLE;
    ENCRYPTION_KEY key_{};  // the attachments' key of a sealed note
};

// LMBCS to UTF-8 through the runtime.
std::string lmbcsToUtf8(const char* text, std::size_t length);

}  // namespace nsfmail
