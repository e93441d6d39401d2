// A database held entirely in memory, put together with a fluent builder. It implements the same
// nsf::Database interface as the file reader, so code above the engine can be tested on exactly the
// notes, items, objects and folders a test needs:
//
//     nsf::MemoryDatabaseBuilder b;
//     b.title("Mail").ods(52);
//     auto& memo = b.document().text("Subject", "Hello").attachFile("a.txt", bytes);
//     b.folder("Inbox", {memo.id()});
//     std::unique_ptr<nsf::Database> db = b.build();
//
// Item values are encoded in canonical little-endian form, exactly as nsf::Item::value holds them
// (without the type word). Misuse of the builder itself (a duplicate note ID, an item too long for its
// 16-bit length) throws std::invalid_argument: it is a bug in the calling test, not bad input.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "nsf/database.h"
#include "nsf/id_file.h"
#include "nsf/values.h"

namespace nsf {

// Short names for the value types the builder writes (the full list is in nsf/values.h).
namespace item_type {
inline constexpr std::uint16_t kComposite = kTypeComposite;
inline constexpr std::uint16_t kObject = kTypeObject;
inline constexpr std::uint16_t kNoteRefList = kTypeNoteRefList;
inline constexpr std::uint16_t kMimePart = kTypeMimePart;
inline constexpr std::uint16_t kNumber = kTypeNumber;
inline constexpr std::uint16_t kNumberRange = kTypeNumberRange;
inline constexpr std::uint16_t kTime = kTypeTime;
inline constexpr std::uint16_t kTimeRange = kTypeTimeRange;
inline constexpr std::uint16_t kText = kTypeText;
inline constexpr std::uint16_t kTextList = kTypeTextList;
inline constexpr std::uint16_t kUserId = kTypeUserId;
}  // namespace item_type

namespace note_class {
inline constexpr std::uint16_t kView = 0x0008;  // views and folders
}  // namespace note_class

// OBJECT_DESCRIPTOR.ObjectType values the builder writes (flag bits 0xE000 masked off).
namespace object_type {
inline constexpr std::uint16_t kFile = kObjectFile;
inline constexpr std::uint16_t kFolderIdTable = 10;
}  // namespace object_type

// The first data note ID a new database hands out; IDs then go up in steps of 4 like RRV IDs.
inline constexpr NoteId kFirstBuilderNoteId = 0x8F6;

// A FILEOBJECT value ($FILE items) without the payload itself.
struct FileObjectSpec {
    std::string fileName;                 // UTF-8
    std::uint16_t hostType = 0;           // HOST_* (0 = MS-DOS)
    Compression compression = Compression::None;
    std::uint16_t fileAttributes = 0;
    std::uint16_t fileFlags = 0;          // FILEFLAG_* / ENCODE_*
    std::uint32_t fileSize = 0;           // size of the decoded payload
    TimeDate created;
    TimeDate modified;
};

// A MIME_PART value: header fields, then boundary, headers and body packed behind it.
struct MimePartSpec {
    std::uint16_t version = 2;
    std::uint32_t flags = 0;      // MIME_PART_HAS_BOUNDARY 0x1, HAS_HEADERS 0x2, BODY_IN_DBOBJECT 0x4, ...
    std::uint8_t partType = 2;    // 1 prolog, 2 body, 3 epilog, 4 retrieve info, 5 message
    std::string boundary;         // raw bytes
    std::string headers;          // raw bytes
    std::string body;             // raw bytes
};

// Value encoders: canonical bytes as nsf::Item::value holds them (no type word), the inverse of the
// decoders in nsf/values.h. Text is UTF-8 in, LMBCS out; in text values "\n" becomes the 0x00 line
// break. Each throws std::invalid_argument when a length does not fit its 16-bit field.
namespace encode {
std::vector<std::uint8_t> text(std::string_view utf8);
std::vector<std::uint8_t> textList(std::span<const std::string> utf8);
std::vector<std::uint8_t> number(double value);
std::vector<std::uint8_t> numberRange(std::span<const double> values,
                                      std::span<const std::pair<double, double>> ranges = {});
std::vector<std::uint8_t> time(TimeDate value);
std::vector<std::uint8_t> timeRange(std::span<const TimeDate> values,
                                    std::span<const std::pair<TimeDate, TimeDate>> ranges = {});
std::vector<std::uint8_t> userId(std::string_view utf8Name, const std::array<std::uint8_t, 8>& licenseId = {});
// A list of UNIDs: only the File and Note parts of each OriginatorId are written.
std::vector<std::uint8_t> noteRefList(std::span<const OriginatorId> unids);
std::vector<std::uint8_t> noteRefList(std::span<const Unid> unids);
std::vector<std::uint8_t> mimePart(const MimePartSpec& part);
std::vector<std::uint8_t> objectDescriptor(std::uint16_t objectType, std::uint32_t rrv);
std::vector<std::uint8_t> fileObject(const FileObjectSpec& file, std::uint32_t rrv);
std::vector<std::uint8_t> timeDate(TimeDate value);
}  // namespace encode

class MemoryDatabaseBuilder;

// One note under construction. References stay valid for the builder's lifetime.
class NoteBuilder {
public:
    NoteId id() const noexcept { return header_.id; }

    NoteBuilder& noteClass(std::uint16_t noteClass);
    NoteBuilder& statusFlags(std::uint16_t flags);
    NoteBuilder& unid(std::array<std::uint32_t, 2> file, TimeDate note);
    NoteBuilder& oid(const OriginatorId& oid);
    NoteBuilder& sequence(std::uint32_t sequence, TimeDate sequenceTime = {});
    NoteBuilder& modified(TimeDate value);
    NoteBuilder& accessed(TimeDate value);
    NoteBuilder& added(TimeDate value);
    NoteBuilder& parent(NoteId parent);
    NoteBuilder& responseCount(std::uint32_t count);

    // Any item, value given already encoded. Default flags: summary.
    NoteBuilder& item(std::string_view name, std::uint16_t type, std::vector<std::uint8_t> value,
                      std::uint16_t flags = kItemSummary, std::uint8_t revision = 0);
    NoteBuilder& item(Item item);
    // Like item(), but marked sealed (encrypted); the bytes are stored as given.
    NoteBuilder& sealedItem(std::string_view name, std::uint16_t type, std::vector<std::uint8_t> value);
    // Seals the note for `keys` in the test format of nsf/test_seal.h: every item flagged kItemSeal so
    // far is enciphered and a $Seal item naming the keys is added. Add the items to seal first: a
    // sealed item added afterwards throws std::invalid_argument.
    NoteBuilder& sealFor(std::span<const EncryptionKey> keys);
    NoteBuilder& sealFor(std::initializer_list<EncryptionKey> keys) {
        return sealFor(std::span<const EncryptionKey>(keys.begin(), keys.size()));
    }

    NoteBuilder& text(std::string_view name, std::string_view utf8, std::uint16_t flags = kItemSummary);
    NoteBuilder& textList(std::string_view name, std::initializer_list<std::string_view> utf8,
                          std::uint16_t flags = kItemSummary);
    NoteBuilder& textList(std::string_view name, std::span<const std::string> utf8,
                          std::uint16_t flags = kItemSummary);
    NoteBuilder& number(std::string_view name, double value, std::uint16_t flags = kItemSummary);
    NoteBuilder& numberRange(std::string_view name, std::span<const double> values,
                             std::span<const std::pair<double, double>> ranges = {},
                             std::uint16_t flags = kItemSummary);
    NoteBuilder& time(std::string_view name, TimeDate value, std::uint16_t flags = kItemSummary);
    NoteBuilder& timeRange(std::string_view name, std::span<const TimeDate> values,
                           std::span<const std::pair<TimeDate, TimeDate>> ranges = {},
                           std::uint16_t flags = kItemSummary);
    NoteBuilder& userId(std::string_view name, std::string_view utf8Name, std::uint16_t flags = kItemSummary);
    NoteBuilder& noteRefs(std::string_view name, std::span<const OriginatorId> unids,
                          std::uint16_t flags = kItemSummary);
    NoteBuilder& noteRefs(std::string_view name, std::span<const Unid> unids, std::uint16_t flags = kItemSummary);
    // Rich text: raw CD records. Not summary, like the real thing.
    NoteBuilder& composite(std::string_view name, std::vector<std::uint8_t> cdRecords, std::uint16_t flags = 0);
    NoteBuilder& mimePart(std::string_view name, const MimePartSpec& part, std::uint16_t flags = 0);
    // An OBJECT item pointing at an object of the database (see MemoryDatabaseBuilder::addObject).
    NoteBuilder& objectRef(std::string_view name, std::uint16_t objectType, std::uint32_t rrv,
                           std::uint16_t flags = kItemSummary);

    // A $FILE attachment: stores `payload` as a new object (uncompressed) and adds the FILEOBJECT item.
    NoteBuilder& attachFile(std::string_view fileName, std::span<const std::uint8_t> payload);
    // The same, stored compressed with `compression` (None or Huffman; anything else throws).
    NoteBuilder& attachFile(std::string_view fileName, std::span<const std::uint8_t> payload,
                            Compression compression);
    // A $FILE attachment whose object holds `stored` bytes already compressed with attachment.compression;
    // attachment.fileSize is the decoded size. Mail flags its $FILE items signed and sealed as well.
    NoteBuilder& attachStored(FileObjectSpec attachment, std::span<const std::uint8_t> stored,
                              std::uint16_t flags = kItemSummary);

    const NoteHeader& header() const noexcept { return header_; }
    const std::vector<Item>& items() const noexcept { return items_; }

private:
    friend class MemoryDatabaseBuilder;
    NoteBuilder(MemoryDatabaseBuilder& owner, NoteId id, std::uint16_t noteClass);

    MemoryDatabaseBuilder* owner_;
    NoteHeader header_;
    std::vector<Item> items_;
};

class MemoryDatabaseBuilder {
public:
    MemoryDatabaseBuilder();

    MemoryDatabaseBuilder& ods(std::uint16_t ods);
    MemoryDatabaseBuilder& title(std::string_view utf8);
    MemoryDatabaseBuilder& replicaId(std::array<std::uint8_t, 8> id);
    MemoryDatabaseBuilder& databaseId(std::array<std::uint8_t, 8> id);
    MemoryDatabaseBuilder& locallyEncrypted(bool encrypted = true);
    // Design notes the header names, indexed by the bit number of their note class.
    MemoryDatabaseBuilder& specialNoteId(std::size_t classBit, NoteId id);

    // Where note() and addObject() take their IDs from: a database written in parts keeps each part's
    // IDs apart.
    MemoryDatabaseBuilder& nextIdFrom(NoteId id);
    NoteId nextId() const noexcept { return nextId_; }

    // A new note with the next free ID (ascending), or with an explicit one.
    NoteBuilder& note(std::uint16_t noteClass);
    NoteBuilder& noteWithId(NoteId id, std::uint16_t noteClass);
    NoteBuilder& document() { return note(kNoteClassDocument); }
    // A deletion stub: listed by notes(), never readable. Returns its ID.
    NoteId deletionStub();
    NoteId deletionStub(NoteId id);

    // A folder: a view note with $Title, $Flags "F" and a $FolderIDTable object holding `members`.
    NoteBuilder& folder(std::string_view title, std::span<const NoteId> members);
    NoteBuilder& folder(std::string_view title, std::initializer_list<NoteId> members) {
        return folder(title, std::span<const NoteId>(members.begin(), members.size()));
    }

    // An object with its payload stored as given; returns its RRV. Objects share the note ID space.
    // openObject() decodes it with the compression the caller names, as for objects of a file.
    std::uint32_t addObject(std::span<const std::uint8_t> stored);

    // Looks up a note added earlier (nullptr when there is none).
    NoteBuilder* find(NoteId id);

    // Snapshot of everything added so far; the builder stays usable.
    std::unique_ptr<Database> build() const;

private:
    friend class NoteBuilder;
    NoteId takeId();
    void claimId(NoteId id);

    DatabaseInfo info_;
    std::deque<NoteBuilder> notes_;  // deque: references handed out stay valid
    std::map<NoteId, std::size_t> noteIndex_;
    std::vector<NoteId> stubs_;
    std::map<std::uint32_t, std::vector<std::uint8_t>> objects_;
    std::set<NoteId> usedIds_;
    NoteId nextId_ = kFirstBuilderNoteId;
};

}  // namespace nsf
