// The engine's interface: a Notes database as the runtime sees it, whether it is read from an .nsf
// file or built in memory. Everything here is read-only; every value that comes from a file has been
// bounds-checked before it is handed out.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/damage.h"
#include "nsf/error.h"

namespace nsf {

using NoteId = std::uint32_t;

// A TIMEDATE as stored: Innards[0] (time of day in 1/100 s, zone in the top bits) and Innards[1]
// (Julian day and daylight/zone flags).
struct TimeDate {
    std::uint32_t innards0 = 0;
    std::uint32_t innards1 = 0;
    bool operator==(const TimeDate&) const = default;
};

struct OriginatorId {
    std::array<std::uint32_t, 2> file{};  // DBID part of the UNID
    TimeDate note;                        // creation time part of the UNID
    std::uint32_t sequence = 0;
    TimeDate sequenceTime;
    bool operator==(const OriginatorId&) const = default;
};

// Note classes (NOTE_CLASS_*); the top bit marks the default note of its class.
inline constexpr std::uint16_t kNoteClassDocument = 0x0001;
inline constexpr std::uint16_t kNoteClassDefault = 0x8000;

// Item flags as stored in a note's item table.
inline constexpr std::uint16_t kItemSign = 0x0001;
inline constexpr std::uint16_t kItemSeal = 0x0002;
inline constexpr std::uint16_t kItemSummary = 0x0004;
inline constexpr std::uint16_t kItemTypeImplied = 0x0008;  // no type word stored before the value
inline constexpr std::uint16_t kItemReadWriters = 0x0020;
inline constexpr std::uint16_t kItemNames = 0x0040;
inline constexpr std::uint16_t kItemPlaceholder = 0x0100;
inline constexpr std::uint16_t kItemProtected = 0x0200;
inline constexpr std::uint16_t kItemReaders = 0x0400;
inline constexpr std::uint16_t kItemUnchanged = 0x1000;

struct DatabaseInfo {
    std::uint16_t ods = 0;                  // on-disk structure version
    std::array<std::uint8_t, 8> databaseId{};
    std::array<std::uint8_t, 8> replicaId{};  // as stored (two little-endian 32-bit words)
    std::string title;                      // UTF-8, the part of the info buffer before the first '\n'
    std::vector<std::uint8_t> infoBuffer;   // raw LMBCS database information buffer
    std::vector<NoteId> specialNoteIds;     // design notes the header names (0 = none)
    bool locallyEncrypted = false;
    std::uint64_t fileSize = 0;
};

// One entry of the note ID table.
struct NoteEntry {
    NoteId id = 0;
    std::uint16_t noteClass = 0;   // 0 for deletion stubs
    bool deleted = false;          // a deletion stub: never a readable note
    // From the note's header, which the table entry reaches anyway (zero for unreadable entries).
    OriginatorId oid;
    TimeDate modified;
};

struct Item {
    std::string name;               // UTF-8
    std::uint16_t type = 0;         // TYPE_* value type
    std::uint16_t flags = 0;        // kItem* flags
    std::uint8_t revision = 0;      // low 8 bits of the sequence that last changed the item
    std::vector<std::uint8_t> value;  // the value without its type word, in canonical (ODS) form
    bool sealed() const noexcept { return (flags & kItemSeal) != 0; }
};

struct NoteHeader {
    NoteId id = 0;
    OriginatorId oid;
    std::uint16_t statusFlags = 0;
    std::uint16_t noteClass = 0;
    TimeDate modified;
    TimeDate accessed;
    TimeDate added;
    NoteId parent = 0;
    std::uint32_t responseCount = 0;
};

struct Note {
    NoteHeader header;
    std::vector<Item> items;  // in stored order; several items may share a name (long rich text)
};

// Sequential reader of an object's payload, already decompressed when the caller asked for it.
class ObjectStream {
public:
    virtual ~ObjectStream() = default;
    // Fills up to out.size() bytes; 0 means the end. Errors on corrupt or unsupported data.
    virtual Expected<std::size_t> read(std::span<std::uint8_t> out) = 0;
    // Size of the payload as it will be delivered, when known in advance.
    virtual std::uint64_t size() const = 0;
};

// Compression of a file object's payload (FILEOBJECT.CompressionType).
enum class Compression : std::uint16_t { None = 0, Huffman = 1, Lz1 = 2, Rehuffman = 3 };

class Database {
public:
    virtual ~Database() = default;

    virtual const DatabaseInfo& info() const = 0;

    // Every note ID of the note ID table, ascending, deletion stubs included (and marked).
    virtual Expected<std::vector<NoteEntry>> notes() = 0;

    // One note with all its items. A deletion stub or an unknown ID gives ErrorKind::NotFound.
    virtual Expected<Note> readNote(NoteId id) = 0;

    // The names of the note's items in stored order, read from its item table alone: no value is
    // located or copied. Fails wherever readNote fails on the note's record or its item table.
    virtual Expected<std::vector<std::string>> itemNames(NoteId id) {
        auto note = readNote(id);
        if (!note) return std::unexpected(note.error());
        std::vector<std::string> names;
        names.reserve(note->items.size());
        for (Item& item : note->items) names.push_back(std::move(item.name));
        return names;
    }

    // The payload of object `rrv` (from an OBJECT_DESCRIPTOR). With a compression other than None
    // the stream decodes it, expecting `expectedSize` output bytes.
    virtual Expected<std::unique_ptr<ObjectStream>> openObject(std::uint32_t rrv,
                                                               Compression compression = Compression::None,
                                                               std::uint64_t expectedSize = 0) = 0;

    // The note IDs a folder holds, from its $FolderIDTable object; ascending.
    virtual Expected<std::vector<NoteId>> folderNoteIds(NoteId folder) = 0;

    // The RRV IDs of every object record the note ID table reaches (attachments, view indexes, ID
    // tables, ...), ascending. A database that does not keep objects in an RRV space of their own
    // returns an empty list (the default).
    virtual Expected<std::vector<std::uint32_t>> objectIds() { return std::vector<std::uint32_t>{}; }

    // Everything of the database that cannot be read, in file order of the note table: unreadable
    // structures, and each note or object whose record cannot be reached or read. Reads every note's
    // record once, so it costs about as much as reading the whole note table.
    virtual std::vector<Damage> damage() { return {}; }
};

struct OpenOptions {
    // Also read the notes whose note table entry is lost: the summary buckets are scanned for note
    // records (each names its own note ID), and the newest copy of each note is kept. With the
    // superblock lost, the buckets are found by their signature.
    bool salvage = false;
};

// Opens an .nsf file read-only. The returned database keeps the file open (or mapped).
Expected<std::unique_ptr<Database>> openDatabaseFile(const std::filesystem::path& path, OpenOptions options = {});

// Opens a database image held in memory (fuzzing, tests). The bytes are copied.
Expected<std::unique_ptr<Database>> openDatabaseBytes(Bytes image, std::string name = "memory", OpenOptions options = {});

}  // namespace nsf
