// The note records the buckets hold, found without the note table: each record repeats its own note
// ID and originator ID, so a note whose RRV entry is lost can still be read. When several copies of
// a note are found, the newest (highest sequence number, then latest sequence time) is kept.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "file_source.h"
#include "nsf/database.h"

namespace nsf::detail {

struct FoundNote {
    std::uint64_t bucket = 0;  // byte offset of the bucket
    std::uint32_t slot = 0;    // 1-based
    std::uint32_t sequence = 0;
    TimeDate sequenceTime;
};

struct FoundRecords {
    std::map<NoteId, FoundNote> notes;       // note records (not deletion stubs)
    std::map<NoteId, FoundNote> nonSummary;  // non-summary records, which name their note too
};

// Every note and non-summary record in the slots of the buckets at `buckets`, by note ID. `source`,
// when given, releases each bucket once read (the scan reads them all).
FoundRecords scanNoteRecords(Bytes file, std::span<const std::uint64_t> buckets, const FileSource* source = nullptr);

// Offsets of whatever looks like a bucket on a 512-byte boundary (for a database whose superblock,
// and with it the bucket list, is lost), releasing what it has read through `source` as it goes.
std::vector<std::uint64_t> findBuckets(Bytes file, const FileSource* source = nullptr);

}  // namespace nsf::detail
