// The in-memory database and its builder. Values are encoded here in the same canonical form the
// file reader hands out, so that code reading them cannot tell the two databases apart.
#include "nsf/memory_database.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <stdexcept>

#include "nsf/huffman.h"
#include "nsf/id_table.h"
#include "nsf/lmbcs.h"
#include "nsf/lz1.h"
#include "nsf/test_seal.h"

namespace nsf {
namespace {

using ByteVec = std::vector<std::uint8_t>;

void putU8(ByteVec& out, std::uint8_t v) { out.push_back(v); }
void putU16(ByteVec& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void putU32(ByteVec& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putU64(ByteVec& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putDouble(ByteVec& out, double v) { putU64(out, std::bit_cast<std::uint64_t>(v)); }
void putTime(ByteVec& out, TimeDate t) {
    putU32(out, t.innards0);
    putU32(out, t.innards1);
}
void putBytes(ByteVec& out, std::span<const std::uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
void putBytes(ByteVec& out, std::string_view bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

// A 16-bit length or count field; larger values are a mistake of the calling test.
std::uint16_t length16(std::size_t n, std::string_view what) {
    if (n > 0xFFFF) throw std::invalid_argument(std::string(what) + " does not fit a 16-bit length");
    return static_cast<std::uint16_t>(n);
}

// Names (file names, user names, the title) keep their characters; text values turn "\n" into the
// 0x00 line break that text items use.
ByteVec lmbcs(std::string_view utf8) { return utf8ToLmbcs(utf8); }
ByteVec lmbcsText(std::string_view utf8) { return utf8TextToLmbcs(utf8); }

// Shares the stored bytes, so a stream stays valid after its database is gone.
class MemoryObjectStream final : public ObjectStream {
public:
    MemoryObjectStream(std::shared_ptr<const ByteVec> bytes, std::size_t limit)
        : bytes_(std::move(bytes)), limit_(std::min(limit, bytes_->size())) {}

    Expected<std::size_t> read(std::span<std::uint8_t> out) override {
        const std::size_t n = std::min(out.size(), limit_ - pos_);
        std::copy_n(bytes_->begin() + static_cast<std::ptrdiff_t>(pos_), n, out.begin());
        pos_ += n;
        return n;
    }
    std::uint64_t size() const override { return limit_; }

private:
    std::shared_ptr<const ByteVec> bytes_;
    std::size_t limit_;
    std::size_t pos_ = 0;
};

std::string hexId(std::uint32_t id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", id);
    return buf;
}

class MemoryDatabase final : public Database {
public:
    MemoryDatabase(DatabaseInfo info, std::map<NoteId, Note> notes, std::vector<NoteId> stubs,
                   std::map<std::uint32_t, std::shared_ptr<const ByteVec>> objects)
        : info_(std::move(info)), notes_(std::move(notes)), stubs_(std::move(stubs)), objects_(std::move(objects)) {}

    const DatabaseInfo& info() const override { return info_; }

    Expected<std::vector<NoteEntry>> notes() override {
        std::vector<NoteEntry> out;
        out.reserve(notes_.size() + stubs_.size());
        for (const auto& [id, note] : notes_)
            out.push_back({id, note.header.noteClass, false, note.header.oid, note.header.modified});
        for (NoteId id : stubs_) out.push_back({id, 0, true});
        std::ranges::sort(out, {}, &NoteEntry::id);
        return out;
    }

    Expected<Note> readNote(NoteId id) override {
        auto it = notes_.find(id);
        if (it == notes_.end()) {
            const bool stub = std::ranges::find(stubs_, id) != stubs_.end();
            return fail(ErrorKind::NotFound, "note", "note " + hexId(id) + (stub ? " is a deletion stub" : " does not exist"));
        }
        return it->second;
    }

    // Same rules as for objects of a file: an uncompressed payload is cut to expectedSize when one is
    // given, and must hold at least that many bytes.
    Expected<std::unique_ptr<ObjectStream>> openObject(std::uint32_t rrv, Compression compression,
                                                       std::uint64_t expectedSize) override {
        auto it = objects_.find(rrv);
        if (it == objects_.end()) return fail(ErrorKind::NotFound, "object", "object " + hexId(rrv) + " does not exist");
        const std::shared_ptr<const ByteVec>& bytes = it->second;
        auto whole = [&] { return std::make_unique<MemoryObjectStream>(bytes, bytes->size()); };
        switch (compression) {
        case Compression::None:
            if (expectedSize > bytes->size())
                return fail(ErrorKind::Corrupt, "object",
                            "object " + hexId(rrv) + " has " + std::to_string(bytes->size()) + " bytes, expected " +
                                std::to_string(expectedSize));
            return std::unique_ptr<ObjectStream>(std::make_unique<MemoryObjectStream>(
                bytes, expectedSize ? static_cast<std::size_t>(expectedSize) : bytes->size()));
        case Compression::Huffman:
        case Compression::Rehuffman:
            return makeHuffmanStream(whole(), expectedSize);
        case Compression::Lz1:
            return makeLz1Stream(whole(), expectedSize);
        }
        return fail(ErrorKind::Unsupported, "object",
                    "compression type " + std::to_string(static_cast<int>(compression)));
    }

    Expected<std::vector<NoteId>> folderNoteIds(NoteId folder) override { return readFolderMembers(*this, folder); }

    Expected<std::vector<std::uint32_t>> objectIds() override {
        std::vector<std::uint32_t> out;
        out.reserve(objects_.size());
        for (const auto& entry : objects_) out.push_back(entry.first);
        return out;
    }

private:
    DatabaseInfo info_;
    std::map<NoteId, Note> notes_;
    std::vector<NoteId> stubs_;
    std::map<std::uint32_t, std::shared_ptr<const ByteVec>> objects_;
};

}  // namespace

// ---- value encoders ----

namespace encode {

ByteVec text(std::string_view utf8) {
    ByteVec out = lmbcsText(utf8);
    length16(out.size(), "text value");
    return out;
}

ByteVec textList(std::span<const std::string> utf8) {
    ByteVec out;
    putU16(out, length16(utf8.size(), "text list"));
    std::vector<ByteVec> parts;
    for (const auto& s : utf8) {
        parts.push_back(lmbcsText(s));
        putU16(out, length16(parts.back().size(), "text list entry"));
    }
    for (const auto& p : parts) putBytes(out, p);
    length16(out.size(), "text list value");
    return out;
}

ByteVec number(double value) {
    ByteVec out;
    putDouble(out, value);
    return out;
}

ByteVec numberRange(std::span<const double> values, std::span<const std::pair<double, double>> ranges) {
    ByteVec out;
    putU16(out, length16(values.size(), "number list"));
    putU16(out, length16(ranges.size(), "number range list"));
    for (double v : values) putDouble(out, v);
    for (const auto& [lo, hi] : ranges) {
        putDouble(out, lo);
        putDouble(out, hi);
    }
    length16(out.size(), "number range value");
    return out;
}

ByteVec time(TimeDate value) { return timeDate(value); }

ByteVec timeDate(TimeDate value) {
    ByteVec out;
    putTime(out, value);
    return out;
}

ByteVec timeRange(std::span<const TimeDate> values, std::span<const std::pair<TimeDate, TimeDate>> ranges) {
    ByteVec out;
    putU16(out, length16(values.size(), "time list"));
    putU16(out, length16(ranges.size(), "time range list"));
    for (TimeDate v : values) putTime(out, v);
    for (const auto& [lo, hi] : ranges) {
        putTime(out, lo);
        putTime(out, hi);
    }
    length16(out.size(), "time range value");
    return out;
}

ByteVec userId(std::string_view utf8Name, const std::array<std::uint8_t, 8>& licenseId) {
    ByteVec out = lmbcs(utf8Name);
    putBytes(out, licenseId);
    length16(out.size(), "user ID value");
    return out;
}

ByteVec noteRefList(std::span<const Unid> unids) {
    ByteVec out;
    putU16(out, length16(unids.size(), "note reference list"));
    for (const auto& u : unids) {
        putBytes(out, u.file);
        putTime(out, u.note);
    }
    length16(out.size(), "note reference list value");
    return out;
}

ByteVec noteRefList(std::span<const OriginatorId> unids) {
    ByteVec out;
    putU16(out, length16(unids.size(), "note reference list"));
    for (const auto& u : unids) {
        putU32(out, u.file[0]);
        putU32(out, u.file[1]);
        putTime(out, u.note);
    }
    length16(out.size(), "note reference list value");
    return out;
}

ByteVec mimePart(const MimePartSpec& part) {
    ByteVec out;
    putU16(out, part.version);
    putU32(out, part.flags);
    putU8(out, part.partType);
    putU8(out, 0);
    putU16(out, length16(part.boundary.size() + part.headers.size() + part.body.size(), "MIME part data"));
    putU16(out, length16(part.boundary.size(), "MIME boundary"));
    putU16(out, length16(part.headers.size(), "MIME headers"));
    putU16(out, 0);
    putU32(out, 0);
    putBytes(out, part.boundary);
    putBytes(out, part.headers);
    putBytes(out, part.body);
    length16(out.size(), "MIME part value");
    return out;
}

ByteVec objectDescriptor(std::uint16_t objectType, std::uint32_t rrv) {
    ByteVec out;
    putU16(out, objectType);
    putU32(out, rrv);
    return out;
}

ByteVec fileObject(const FileObjectSpec& file, std::uint32_t rrv) {
    const ByteVec name = lmbcs(file.fileName);
    ByteVec out = objectDescriptor(object_type::kFile, rrv);
    putU16(out, length16(name.size(), "file name"));
    putU16(out, file.hostType);
    putU16(out, static_cast<std::uint16_t>(file.compression));
    putU16(out, file.fileAttributes);
    putU16(out, file.fileFlags);
    putU32(out, file.fileSize);
    putTime(out, file.created);
    putTime(out, file.modified);
    putBytes(out, name);
    return out;
}

}  // namespace encode

// ---- NoteBuilder ----

NoteBuilder::NoteBuilder(MemoryDatabaseBuilder& owner, NoteId id, std::uint16_t noteClass) : owner_(&owner) {
    header_.id = id;
    header_.noteClass = noteClass;
    header_.oid.sequence = 1;
}

NoteBuilder& NoteBuilder::noteClass(std::uint16_t value) { header_.noteClass = value; return *this; }
NoteBuilder& NoteBuilder::statusFlags(std::uint16_t value) { header_.statusFlags = value; return *this; }
NoteBuilder& NoteBuilder::unid(std::array<std::uint32_t, 2> file, TimeDate note) {
    header_.oid.file = file;
    header_.oid.note = note;
    return *this;
}
NoteBuilder& NoteBuilder::oid(const OriginatorId& value) { header_.oid = value; return *this; }
NoteBuilder& NoteBuilder::sequence(std::uint32_t value, TimeDate sequenceTime) {
    header_.oid.sequence = value;
    header_.oid.sequenceTime = sequenceTime;
    return *this;
}
NoteBuilder& NoteBuilder::modified(TimeDate value) { header_.modified = value; return *this; }
NoteBuilder& NoteBuilder::accessed(TimeDate value) { header_.accessed = value; return *this; }
NoteBuilder& NoteBuilder::added(TimeDate value) { header_.added = value; return *this; }
NoteBuilder& NoteBuilder::parent(NoteId value) { header_.parent = value; return *this; }
NoteBuilder& NoteBuilder::responseCount(std::uint32_t value) { header_.responseCount = value; return *this; }

NoteBuilder& NoteBuilder::item(Item value) {
    length16(value.value.size(), "item value");
    length16(value.name.size(), "item name");
    if (value.sealed() && test_seal::findSeal(items_))
        throw std::invalid_argument("sealed item " + value.name + " added after the note was sealed");
    items_.push_back(std::move(value));
    return *this;
}

NoteBuilder& NoteBuilder::item(std::string_view name, std::uint16_t type, std::vector<std::uint8_t> value,
                               std::uint16_t flags, std::uint8_t revision) {
    return item(Item{std::string(name), type, flags, revision, std::move(value)});
}

NoteBuilder& NoteBuilder::sealedItem(std::string_view name, std::uint16_t type, std::vector<std::uint8_t> value) {
    return item(name, type, std::move(value), kItemSeal);
}

NoteBuilder& NoteBuilder::sealFor(std::span<const EncryptionKey> keys) {
    Item seal = test_seal::seal(items_, keys, header_.id);
    return item(std::move(seal));
}

NoteBuilder& NoteBuilder::text(std::string_view name, std::string_view utf8, std::uint16_t flags) {
    return item(name, item_type::kText, encode::text(utf8), flags);
}

NoteBuilder& NoteBuilder::textList(std::string_view name, std::initializer_list<std::string_view> utf8,
                                   std::uint16_t flags) {
    std::vector<std::string> copy(utf8.begin(), utf8.end());
    return textList(name, std::span<const std::string>(copy), flags);
}

NoteBuilder& NoteBuilder::textList(std::string_view name, std::span<const std::string> utf8, std::uint16_t flags) {
    return item(name, item_type::kTextList, encode::textList(utf8), flags);
}

NoteBuilder& NoteBuilder::number(std::string_view name, double value, std::uint16_t flags) {
    return item(name, item_type::kNumber, encode::number(value), flags);
}

NoteBuilder& NoteBuilder::numberRange(std::string_view name, std::span<const double> values,
                                      std::span<const std::pair<double, double>> ranges, std::uint16_t flags) {
    return item(name, item_type::kNumberRange, encode::numberRange(values, ranges), flags);
}

NoteBuilder& NoteBuilder::time(std::string_view name, TimeDate value, std::uint16_t flags) {
    return item(name, item_type::kTime, encode::time(value), flags);
}

NoteBuilder& NoteBuilder::timeRange(std::string_view name, std::span<const TimeDate> values,
                                    std::span<const std::pair<TimeDate, TimeDate>> ranges, std::uint16_t flags) {
    return item(name, item_type::kTimeRange, encode::timeRange(values, ranges), flags);
}

NoteBuilder& NoteBuilder::userId(std::string_view name, std::string_view utf8Name, std::uint16_t flags) {
    return item(name, item_type::kUserId, encode::userId(utf8Name), flags);
}

NoteBuilder& NoteBuilder::noteRefs(std::string_view name, std::span<const OriginatorId> unids, std::uint16_t flags) {
    return item(name, item_type::kNoteRefList, encode::noteRefList(unids), flags);
}

NoteBuilder& NoteBuilder::noteRefs(std::string_view name, std::span<const Unid> unids, std::uint16_t flags) {
    return item(name, item_type::kNoteRefList, encode::noteRefList(unids), flags);
}

NoteBuilder& NoteBuilder::composite(std::string_view name, std::vector<std::uint8_t> cdRecords, std::uint16_t flags) {
    return item(name, item_type::kComposite, std::move(cdRecords), flags);
}

NoteBuilder& NoteBuilder::mimePart(std::string_view name, const MimePartSpec& part, std::uint16_t flags) {
    return item(name, item_type::kMimePart, encode::mimePart(part), flags);
}

NoteBuilder& NoteBuilder::objectRef(std::string_view name, std::uint16_t objectType, std::uint32_t rrv,
                                    std::uint16_t flags) {
    return item(name, item_type::kObject, encode::objectDescriptor(objectType, rrv), flags);
}

NoteBuilder& NoteBuilder::attachFile(std::string_view fileName, std::span<const std::uint8_t> payload) {
    FileObjectSpec attachment;
    attachment.fileName = std::string(fileName);
    attachment.fileSize = static_cast<std::uint32_t>(payload.size());
    if (payload.size() > 0xFFFFFFFFu) throw std::invalid_argument("attachment larger than 4 GB");
    return attachStored(std::move(attachment), payload);
}

NoteBuilder& NoteBuilder::attachFile(std::string_view fileName, std::span<const std::uint8_t> payload,
                                      Compression compression) {
    if (compression == Compression::None) return attachFile(fileName, payload);
    if (compression != Compression::Huffman)
        throw std::invalid_argument("the builder can only write Huffman-compressed attachments");
    if (payload.size() > 0xFFFFFFFFu) throw std::invalid_argument("attachment larger than 4 GB");
    FileObjectSpec attachment;
    attachment.fileName = std::string(fileName);
    attachment.compression = compression;
    attachment.fileSize = static_cast<std::uint32_t>(payload.size());
    return attachStored(std::move(attachment), huffmanEncode(payload));
}

NoteBuilder& NoteBuilder::attachStored(FileObjectSpec attachment, std::span<const std::uint8_t> stored,
                                        std::uint16_t flags) {
    const std::uint32_t rrv = owner_->addObject(stored);
    return item("$FILE", item_type::kObject, encode::fileObject(attachment, rrv), flags);
}

// ---- MemoryDatabaseBuilder ----

MemoryDatabaseBuilder::MemoryDatabaseBuilder() {
    info_.ods = 52;
    info_.specialNoteIds.assign(32, 0);
}

MemoryDatabaseBuilder& MemoryDatabaseBuilder::ods(std::uint16_t value) { info_.ods = value; return *this; }

MemoryDatabaseBuilder& MemoryDatabaseBuilder::title(std::string_view utf8) {
    info_.title = std::string(utf8);
    info_.infoBuffer = lmbcs(utf8);
    return *this;
}

MemoryDatabaseBuilder& MemoryDatabaseBuilder::replicaId(std::array<std::uint8_t, 8> id) { info_.replicaId = id; return *this; }
MemoryDatabaseBuilder& MemoryDatabaseBuilder::databaseId(std::array<std::uint8_t, 8> id) { info_.databaseId = id; return *this; }
MemoryDatabaseBuilder& MemoryDatabaseBuilder::locallyEncrypted(bool encrypted) { info_.locallyEncrypted = encrypted; return *this; }

MemoryDatabaseBuilder& MemoryDatabaseBuilder::specialNoteId(std::size_t classBit, NoteId id) {
    if (classBit >= info_.specialNoteIds.size()) throw std::invalid_argument("special note class bit out of range");
    info_.specialNoteIds[classBit] = id;
    return *this;
}

void MemoryDatabaseBuilder::claimId(NoteId id) {
    if (id == 0) throw std::invalid_argument("note ID 0 is not valid");
    if (!usedIds_.insert(id).second) throw std::invalid_argument("note ID " + hexId(id) + " is already used");
}

MemoryDatabaseBuilder& MemoryDatabaseBuilder::nextIdFrom(NoteId id) {
    nextId_ = id;
    return *this;
}

NoteId MemoryDatabaseBuilder::takeId() {
    while (usedIds_.contains(nextId_)) nextId_ += 4;
    const NoteId id = nextId_;
    claimId(id);
    nextId_ += 4;
    return id;
}

NoteBuilder& MemoryDatabaseBuilder::note(std::uint16_t noteClass) {
    const NoteId id = takeId();
    noteIndex_[id] = notes_.size();
    return notes_.emplace_back(NoteBuilder(*this, id, noteClass));
}

NoteBuilder& MemoryDatabaseBuilder::noteWithId(NoteId id, std::uint16_t noteClass) {
    claimId(id);
    noteIndex_[id] = notes_.size();
    return notes_.emplace_back(NoteBuilder(*this, id, noteClass));
}

NoteId MemoryDatabaseBuilder::deletionStub() {
    const NoteId id = takeId();
    stubs_.push_back(id);
    return id;
}

NoteId MemoryDatabaseBuilder::deletionStub(NoteId id) {
    claimId(id);
    stubs_.push_back(id);
    return id;
}

NoteBuilder& MemoryDatabaseBuilder::folder(std::string_view folderTitle, std::span<const NoteId> members) {
    const std::uint32_t table = addObject(encodeFolderIdTable(members));
    return note(note_class::kView)
        .text("$Title", folderTitle)
        .text("$Flags", "F")
        .objectRef("$FolderIDTable", object_type::kFolderIdTable, table);
}

std::uint32_t MemoryDatabaseBuilder::addObject(std::span<const std::uint8_t> stored) {
    const std::uint32_t rrv = takeId();
    objects_[rrv] = ByteVec(stored.begin(), stored.end());
    return rrv;
}

NoteBuilder* MemoryDatabaseBuilder::find(NoteId id) {
    auto it = noteIndex_.find(id);
    return it == noteIndex_.end() ? nullptr : &notes_[it->second];
}

std::unique_ptr<Database> MemoryDatabaseBuilder::build() const {
    std::map<NoteId, Note> notes;
    for (const NoteBuilder& nb : notes_) notes.emplace(nb.id(), Note{nb.header_, nb.items_});
    std::map<std::uint32_t, std::shared_ptr<const ByteVec>> objects;
    for (const auto& [rrv, bytes] : objects_) objects.emplace(rrv, std::make_shared<const ByteVec>(bytes));
    return std::make_unique<MemoryDatabase>(info_, std::move(notes), stubs_, std::move(objects));
}

}  // namespace nsf
