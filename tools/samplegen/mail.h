// Mail notes as a mail database keeps them: the Memo form's header items with their usual flags, and
// the header times and originator IDs derived from the posted time so that builds are reproducible.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <string>
#include <vector>

#include "nsf/memory_database.h"

namespace samplegen {

struct MailHeader {
    std::string subject;
    std::string from;                  // canonical Notes name
    std::vector<std::string> sendTo;
    std::vector<std::string> copyTo;
    std::int64_t postedUnixSeconds = 0;
    std::string form = "Memo";  // "Reply" for an answer stored as a response
};

// Seconds since 1970 of a GMT date and time.
std::int64_t unixSeconds(int year, int month, int day, int hour, int minute);
nsf::TimeDate timeAt(std::int64_t unixSeconds);

// Sets the originator ID, modified and added times of `note` from `unixSeconds`.
void stampNote(nsf::NoteBuilder& note, std::int64_t unixSeconds);

// A document of the header's form with From, SendTo, CopyTo, Subject, PostedDate, DeliveredDate and
// ComposedDate (no Body: the caller adds it).
nsf::NoteBuilder& addMail(nsf::MemoryDatabaseBuilder& db, const MailHeader& header);

// A $FILE attachment with created and modified times, as mail clients store them; flagged signed,
// sealed and summary like the attachments of real mail.
void attach(nsf::NoteBuilder& note, std::string_view fileName, std::span<const std::uint8_t> bytes,
            std::int64_t modifiedUnixSeconds, nsf::Compression compression = nsf::Compression::None);

// Base64 in lines of 76 characters, as a MIME body carries it.
std::string base64(std::span<const std::uint8_t> data);

}  // namespace samplegen
