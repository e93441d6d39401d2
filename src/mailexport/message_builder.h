// A mail note as a MIME message: MIME bodies as stored, rich-text bodies as text and HTML from the
// caller's renderings, with the note's attachments.
#pragma once

#include <gmime/gmime.h>

#include <string>

#include "nsfrex/mail_export.h"
#include "note_reader.h"

namespace nsfmail {

struct Renderer {
    NsfMailRenderFunc render = nullptr;
    void* context = nullptr;
    // The rendering `kind` of the note's rich-text body; empty when the caller has none.
    std::string body(NOTEID id, int kind) const;
};

// Whether the note is a mail message: a document with a sender, recipients, a posting date or a
// message ID.
bool isMail(const NoteReader& note);

// The message; the caller unrefs it.
GMimeMessage* buildMessage(const NoteReader& note, const Renderer& renderer);

}  // namespace nsfmail
