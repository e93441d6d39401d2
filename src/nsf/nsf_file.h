// The file reader behind nsf::openDatabaseFile / openDatabaseBytes, exposed to the engine's own
// commands, tests and benchmarks for what the Database interface does not carry (record counts,
// placement diagnostics).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bucket_cache.h"
#include "bucket_descriptor_block.h"
#include "database_header.h"
#include "file_source.h"
#include "item_placement.h"
#include "note_scan.h"
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
    static Expected<std::unique_ptr<NsfFile>> open(std::unique_ptr<FileSource> source, std::string name,
                                                   OpenOptions options = {});

    const DatabaseInfo& info() const override { return info_; }
    Expected<std::vector<NoteEntry>> notes() override;
    Expected<Note> readNote(NoteId id) override;
    Expected<std::vector<std::string>> itemNames(NoteId id) override;
    Expected<std::unique_ptr<ObjectStream>> openObject(std::uint32_t rrv, Compression compression,
                                                       std::uint64_t expectedSize) override;
    Expected<std::vector<NoteId>> folderNoteIds(NoteId folder) override;
    Expected<std::vector<std::uint32_t>> objectIds() override;
    std::vector<Damage> damage() override;

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
    // The record of note `id`, parsed: a deletion stub or a record of another kind is NotFound.
    Expected<std::pair<Record, NoteRecord>> noteRecord(NoteId id);
    // Every entry of the note's item table fits the record and names an item of the database.
    Expected<void> checkItemTable(const NoteRecord& note, NoteId id, std::uint64_t noteOffset) const;
    NsfFile() = default;
    // Enough for the buckets that one note's records and the notes read around it touch; a scan
    // reads the records of one bucket one after another.
    static constexpr std::size_t kBucketCacheBytes = 8u << 20;
    Expected<std::pair<std::uint32_t, std::uint32_t>> rrvEntry(std::uint32_t id) const;
    // `strict`: a bucket with a damaged signature fails even with salvage (damage() reports it).
    Expected<Record> recordAt(const RrvLocation& loc, bool strict = false) const;
    static Expected<Record> classified(Record r);
    // Counts what a read of `bytes` bytes of the mapping brought into memory and, past a budget, lets
    // the whole mapping go: records are read all over the file (a listing touches every one), and the
    // kernel maps the pages around each fault too, so without this the memory grows with the file.
    void touched(std::size_t bytes) const noexcept;
    Expected<Record> slotRecord(std::uint64_t bucketOffset, std::uint32_t slot, const char* structure,
                                bool strict = false) const;
    // The copies of notes that the bucket scan finds (scanned on first use).
    const FoundRecords& foundRecords() const;
    const std::map<NoteId, FoundNote>& foundNotes() const { return foundRecords().notes; }
    // Salvage: the found copy of note `id`, when the note table does not reach a readable one.
    std::optional<Record> salvaged(NoteId id);
    // True when no readable RRV bucket covers `id`.
    bool lostId(NoteId id) const;
    void checkNote(NoteId id, std::vector<Damage>& out);
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

    OpenOptions options_;
    std::optional<Error> superblockError_;  // salvage went on without the superblock
    mutable std::once_flag scanned_;
    mutable FoundRecords found_;
    std::unique_ptr<FileSource> source_;
    Bytes file_;
    std::string name_;
    DatabaseHeader header_;
    Superblock superblock_;
    BucketDescriptorBlock bdb_;
    std::vector<RrvTable> rrv_;
    mutable BucketCache buckets_{kBucketCacheBytes};
    // Reads are counted as at least kFaultAroundBytes.
    static constexpr std::size_t kTouchBudgetBytes = 8u << 20;
    mutable std::atomic<std::size_t> touchedBytes_{0};
    DatabaseInfo info_;
};

}  // namespace nsf::detail
