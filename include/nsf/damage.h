// What a database reader could not read: which note or object (or which structure, when the loss
// cannot be pinned to one record), where and why. Every consumer reports these; nothing read from a
// damaged database is dropped in silence.
#pragma once

#include <cstdint>
#include <string>

#include "nsf/error.h"

namespace nsf {

struct Damage {
    enum class Subject {
        Structure,  // a structure whose loss costs an unknown set of records (an RRV bucket's ID range)
        Note,       // one note (`id` is its note ID)
        Object,     // one object (`id` is its RRV ID)
        Record,     // a record of the note table that cannot be reached: a note or an object
        Attachment,  // the data of an attachment of note `id` (the reason names the file)
    };
    Subject subject = Subject::Structure;
    std::uint32_t id = 0;    // note ID (note, attachment), RRV ID (object, record); 0 for a structure
    Error error;             // why, naming the structure and its file offset
    bool recovered = false;  // salvage reads a copy of the note that the bucket scan found

    // "note 0x000008FA: bad checksum RRV bucket at offset 0x28012: entry XOR does not match"
    std::string message() const;
};

std::string_view toString(Damage::Subject subject) noexcept;

}  // namespace nsf
