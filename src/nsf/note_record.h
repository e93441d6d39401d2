// Note records (summary records, LSIG 04 00) and the non-summary records (LSIG 10 00) they point to.
//
// Header (100 bytes):
//   +0 u16 0x0004          +2 u32 record size          +6 u32 note ID
//   +10 OID.File (8)       +18 OID.Note (8)            +26 u32 OID.Sequence   +30 OID.SequenceTime (8)
//   +38 u16 status flags   +40 u16 note class          +42 modified TIMEDATE
//   +50 u16 item count     +52 u16 unknown             +54 u16 response count
//   +56 u32 non-summary locator: 0 none; bit 31 set = non-summary bucket slot (bucket = low 24 bits,
//           slot = bits 24-30); else the pos of a non-summary record; with status 0x2000, a byte
//           offset inside this record
//   +60 u32 non-summary size (the values and, for a record of their own, its 68-byte header)
//   +64 accessed TIMEDATE  +72 added TIMEDATE          +80 u32 parent note ID
//   +86 u32 folder reference count  +94 u32 folder note ID
// A deletion stub is a record cut short to 64 bytes: no item table.
// The item table follows the header: item count x 8 bytes {u16 name index, u16 flags, u16 value
// length, u16 revision (high byte)}. Then the summary values, packed in table order.
//
// Non-summary record: LSIG 10 00, u32 record size at +2, u32 note ID at +6, the rest of a 68-byte
// header (OID copies), then the non-summary values packed in table order. With status 0x2000 the
// values sit inside the note record itself, at the locator's byte offset, without that header.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/database.h"
#include "nsf/error.h"

namespace nsf::detail {

namespace note_layout {
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kRecordSize = 2;
inline constexpr std::size_t kNoteId = 6;
inline constexpr std::size_t kOidFile = 10;
inline constexpr std::size_t kOidNote = 18;
inline constexpr std::size_t kOidSequence = 26;
inline constexpr std::size_t kOidSequenceTime = 30;
inline constexpr std::size_t kStatus = 38;
inline constexpr std::size_t kClass = 40;
inline constexpr std::size_t kModified = 42;
inline constexpr std::size_t kItemCount = 50;
inline constexpr std::size_t kResponseCount = 54;
inline constexpr std::size_t kNonSummaryLocator = 56;
inline constexpr std::size_t kNonSummarySize = 60;
inline constexpr std::size_t kStubSize = 64;
static_assert(kNonSummarySize + 4 == kStubSize);
inline constexpr std::size_t kAccessed = 64;
inline constexpr std::size_t kAdded = 72;
inline constexpr std::size_t kParent = 80;
inline constexpr std::size_t kHeaderSize = 100;
static_assert(kParent + 4 <= kHeaderSize);
inline constexpr std::size_t kItemEntrySize = 8;
inline constexpr std::uint16_t kSignatureValue = 0x0004;
inline constexpr std::uint16_t kStatusNonSummaryInRecord = 0x2000;

inline constexpr std::uint16_t kNonSummarySignature = 0x0010;
inline constexpr std::size_t kNonSummaryHeaderSize = 68;
}  // namespace note_layout

// Signatures of records stored at file positions.
inline constexpr std::uint16_t kObjectSignatureOld = 0x0007;  // ODS <= 51
inline constexpr std::uint16_t kObjectSignatureNew = 0x001B;  // ODS >= 52

struct ItemEntry {
    std::uint16_t nameIndex = 0;
    std::uint16_t flags = 0;
    std::uint16_t length = 0;
    std::uint16_t revisionWord = 0;
};

struct NoteRecord {
    NoteHeader header;
    bool stub = false;
    std::uint32_t nonSummaryLocator = 0;
    std::uint32_t nonSummarySize = 0;
    std::uint16_t itemCount = 0;  // as the header gives it
    bool itemCountFits = true;    // false: that many entries do not fit, `items` is empty
    std::vector<ItemEntry> items;
    Bytes summaryArea;  // bytes after the item table to the end of the record (or to the in-record
                        // non-summary data)
    Bytes body;         // bytes after the header to the same end: the item table and summary area
    std::optional<Bytes> inRecordNonSummary;  // status 0x2000: the non-summary values inside this record
};

// The fixed fields of a note header (ID, originator ID, status, class, modified, response count),
// without the item table; nullopt when the record is shorter than a deletion stub.
std::optional<NoteHeader> parseNoteHeader(Bytes record);

// Parses a note record. `record` is exactly the record's bytes (the slot, or the standalone
// record). Checks the signature and the in-record non-summary offset. When the header's item count
// does not fit, itemCountFits is false and the table is empty.
Expected<NoteRecord> parseNoteRecord(Bytes record, std::uint64_t fileOffset);

// The values area of a non-summary record (bytes after its 68-byte header, up to its own size).
// Checks the signature, the size and that the record belongs to note `noteId`.
Expected<Bytes> nonSummaryValues(Bytes record, NoteId noteId, std::uint64_t fileOffset);

}  // namespace nsf::detail
