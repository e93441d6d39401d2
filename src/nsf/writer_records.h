// The records the writer stores: note records (summary records), non-summary records, deletion
// stubs and object records, in the layouts note_record.h and object_record.h read; and the
// item-name table every item refers to by index.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/database.h"
#include "nsf/error.h"

namespace nsf::detail {

// Item names of the whole database, in the order first met. A name has one TYPE; an item of
// another type stores its own type word in front of its value.
class NameTableWriter {
public:
    // Records every item's name. The name's TYPE is that of its first item stored without a type
    // word (flag 0x0008), else of its first item.
    void collect(const Note& note);
    std::uint16_t indexOf(const std::string& name) const { return index_.at(name); }
    std::uint16_t typeOf(std::uint16_t index) const { return names_[index].type; }
    std::size_t size() const noexcept { return names_.size(); }
    // Errors when the table cannot hold the names (more than 65,535, or a name over 65,535 bytes).
    Expected<void> check() const;

    // The uncompressed table as the bucket descriptor block keeps it: entries, text size, text.
    std::vector<std::uint8_t> entriesAndText() const;
    std::uint32_t textSize() const;

private:
    struct Name {
        std::vector<std::uint8_t> lmbcs;
        std::uint16_t type = 0;
        bool typeFixed = false;  // set by an item without a type word
    };
    std::vector<Name> names_;
    std::map<std::string, std::uint16_t> index_;
};

// A note encoded for storage: the note record (header, item table, summary values) and the values of
// the non-summary area. Items flagged SUMMARY go to the summary area, the others to the non-summary
// area, so the reader's first guess places every value.
struct EncodedNote {
    std::vector<std::uint8_t> record;
    std::vector<std::uint8_t> nonSummaryValues;
    bool hasNonSummary = false;
};

// Errors when a value cannot be stored so that it reads back as given: a value over 65,535 bytes
// with its type word, more than 65,535 items, or an item whose type its name's TYPE cannot carry.
Expected<EncodedNote> encodeNote(const Note& note, const NameTableWriter& names);

// Points a note record at its non-summary data.
void setNonSummaryLocator(std::vector<std::uint8_t>& record, std::uint32_t locator, std::uint32_t size);

// A non-summary record (10 00, 68-byte header with the note's ID and OID) holding `values`.
std::vector<std::uint8_t> nonSummaryRecord(const NoteHeader& header, NoteId id, Bytes values);

// A deletion stub: a note header cut short to 64 bytes.
std::vector<std::uint8_t> deletionStubRecord(NoteId id);

// An object record of the ODS 41/43 form (07 00, 22-byte header), allocated size = header + payload.
std::vector<std::uint8_t> objectRecord(Bytes payload, std::uint16_t objectType);
inline constexpr std::size_t kObjectRecordHeaderSize = 22;

}  // namespace nsf::detail
