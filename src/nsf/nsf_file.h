// The file reader behind nsf::openDatabaseFile / openDatabaseBytes, exposed to the engine's own
// commands, tests and benchmarks for what the Database interface does not carry (record counts,
// placement diagnostics).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bucket_cache.h"
#include "bucket_descriptor_block.h"
#include "database_header.h"
#include "file_source.h"
#include "item_placement.h"
#include "note_record.h"
#include "nsf/database.h"
#include "rrv_bucket.h"
#include "superblock.h"

namespace nsf::detail {

inline constexpr std::uint16_t kTypeSeal = 0x0009;
inline constexpr std::uint16_t kTypeSealData = 0x000A;
inline constexpr std::uint16_t kTypeSeal2 = 0x001F;

// What an RRV ID points at.
enum class RecordKind { Note, DeletionStub, Object, Other };

class NsfFile final : public Database {
public:
    static Expected<std::unique_ptr<NsfFile>> open(std::unique_ptr<FileSource> source, std::string name);

    const DatabaseInfo& info() const override { return info_; }
    Expected<std::vector<NoteEntry>> notes() override;
    Expected<Note> readNote(NoteId id) override;
    Expected<std::unique_ptr<ObjectStream>> openObject(std::uint32_t rrv, Compression compression,
                                                       std::uint64_t expectedSize) override;
    Expected<std::vector<NoteId>> folderNoteIds(NoteId folder) override;
    Expected<std::vector<std::uint32_t>> objectIds() override;

    const DatabaseHeader& header() const noexcept { return header_; }
    const Superblock& superblock() const noexcept { return superblock_; }
    const BucketDescriptorBlock& bdb() const noexcept { return bdb_; }
    Bytes file() const noexcept { return file_; }

    struct Record {
        RecordKind kind = RecordKind::Other;
        Bytes bytes;
        std::uint64_t offset = 0;
        BucketBytes owner;  // the restored bucket `bytes` points into; empty for standalone records
    };
    // Every RRV ID in use, ascending, with the kind of record it reaches (Other: a record that
    // cannot be reached or has an unknown signature).
    Expected<std::vector<std::pair<std::uint32_t, RecordKind>>> records();
    // The record of RRV ID `id`; NotFound when the ID is not in use.
    Expected<Record> record(std::uint32_t id);

    // A note's record with every item's stored value located (for diagnostics and tests).
    struct PlacedNote {
        Record record;
        NoteRecord note;
        BucketBytes nonSummaryOwner;  // keeps the non-summary values alive
        Placement placement;
    };
    Expected<PlacedNote> placeNote(NoteId id);

private:
    NsfFile() = default;
    // Enough for the buckets that one note's records and the notes read around it touch; a scan
    // reads the records of one bucket one after another.
    static constexpr std::size_t kBucketCacheBytes = 8u << 20;
    Expected<std::pair<std::uint32_t, std::uint32_t>> rrvEntry(std::uint32_t id) const;
    Expected<Record> recordAt(const RrvLocation& loc) const;
    struct NonSummary {
        Bytes values;
        BucketBytes owner;
    };
    Expected<std::optional<NonSummary>> nonSummaryArea(const NoteRecord& note, NoteId id, std::uint64_t noteOffset) const;
    Expected<void> usable() const;
    bool firstNoteIsPlain() const;

    struct RrvTable {
        std::uint32_t firstId = 0;
        std::uint32_t endId = 0;  // exclusive
        RrvBucket bucket;
        std::optional<Error> error;  // the bucket could not be read
    };

    std::unique_ptr<FileSource> source_;
    Bytes file_;
    std::string name_;
    DatabaseHeader header_;
    Superblock superblock_;
    BucketDescriptorBlock bdb_;
    std::vector<RrvTable> rrv_;
    mutable BucketCache buckets_{kBucketCacheBytes};
    DatabaseInfo info_;
};

}  // namespace nsf::detail
