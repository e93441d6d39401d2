// The message headers of a mail note: addresses from Notes names and internet addresses, the date
// with its stored zone, and the message ID.
#pragma once

#include <gmime/gmime.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "note_reader.h"

namespace nsfmail {

// "CN=Jane Doe/OU=Sales/O=Acme" -> "Jane Doe"; a name without components stays as it is.
std::string commonName(std::string_view notesName);

// Adds the addresses of entries (internet addresses, or Notes names, which get an address of the
// reserved .invalid domain so that clients show the name without routing to it) to list.
void addAddresses(InternetAddressList* list, const std::vector<std::string>& entries);

// The instant of a TIMEDATE in the zone it was written in; nullopt for "no date".
GDateTime* toDateTime(const TIMEDATE& td);

// The UNID of a note as 32 hexadecimal digits.
std::string unidText(const OID& oid);

// Sets From, To, Cc, Bcc, Subject, Date, Message-ID, In-Reply-To, References and X-Notes-UNID.
void setMessageHeaders(GMimeMessage* message, const NoteReader& note);

// The date a message is filed under: PostedDate, else ComposedDate, else the note's creation.
GDateTime* messageDate(const NoteReader& note);

}  // namespace nsfmail
