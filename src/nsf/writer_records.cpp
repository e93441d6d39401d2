#include "writer_records.h"

#include <cstdio>

#include "le_buffer.h"
#include "note_record.h"
#include "nsf/lmbcs.h"
#include "object_record.h"

namespace nsf::detail {
namespace {

std::string hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

// The note header fields a note record and a non-summary record share: ID and OID.
void putIdAndOid(LeBuffer& r, const NoteHeader& h, NoteId id) {
    using namespace note_layout;
    r.put32(kNoteId, id);
    r.put32(kOidFile, h.oid.file[0]);
    r.put32(kOidFile + 4, h.oid.file[1]);
    r.putTime(kOidNote, h.oid.note);
    r.put32(kOidSequence, h.oid.sequence);
    r.putTime(kOidSequenceTime, h.oid.sequenceTime);
}

}  // namespace

void NameTableWriter::collect(const Note& note) {
    for (const Item& item : note.items) {
        auto [it, added] = index_.try_emplace(item.name, static_cast<std::uint16_t>(names_.size()));
        const bool implied = (item.flags & kItemTypeImplied) != 0;
        if (added) {
            // Past 65,535 names the index wraps; check() refuses such a table before it is used.
            names_.push_back(Name{utf8ToLmbcs(item.name), item.type, implied});
            continue;
        }
        Name& name = names_[it->second];
        if (implied && !name.typeFixed) {
            name.type = item.type;
            name.typeFixed = true;
        }
    }
}

Expected<void> NameTableWriter::check() const {
    if (names_.size() > 0xFFFF)
        return fail(ErrorKind::Unsupported, "item name table", std::to_string(names_.size()) + " names (at most 65,535)");
    for (const Name& n : names_)
        if (n.lmbcs.size() > 0xFFFF) return fail(ErrorKind::Unsupported, "item name table", "a name over 65,535 bytes");
    return {};
}

std::uint32_t NameTableWriter::textSize() const {
    std::uint64_t total = 0;
    for (const Name& n : names_) total += n.lmbcs.size();
    return static_cast<std::uint32_t>(total);
}

std::vector<std::uint8_t> NameTableWriter::entriesAndText() const {
    LeBuffer out;
    std::uint32_t offset = 0;
    for (const Name& n : names_) {
        out.u32(offset);
        out.u16(static_cast<std::uint16_t>(n.lmbcs.size()));
        out.u16(n.type);
        out.u16(0);
        offset += static_cast<std::uint32_t>(n.lmbcs.size());
    }
    out.u32(offset);
    for (const Name& n : names_) out.raw(n.lmbcs);
    return out.take();
}

Expected<EncodedNote> encodeNote(const Note& note, const NameTableWriter& names) {
    using namespace note_layout;
    const NoteHeader& h = note.header;
    const std::string what = "note " + hex(h.id);
    if (note.items.size() > 0xFFFF) return fail(ErrorKind::Unsupported, what, "more than 65,535 items");
    if (h.responseCount > 0xFFFF) return fail(ErrorKind::Unsupported, what, "more than 65,535 responses");

    LeBuffer r(kHeaderSize, 0);
    r.put16(kSignature, kSignatureValue);
    putIdAndOid(r, h, h.id);
    // 0x2000 would say the non-summary values sit inside this record; they never do here.
    r.put16(kStatus, static_cast<std::uint16_t>(h.statusFlags & ~kStatusNonSummaryInRecord));
    r.put16(kClass, h.noteClass);
    r.putTime(kModified, h.modified);
    r.put16(kItemCount, static_cast<std::uint16_t>(note.items.size()));
    r.put16(kResponseCount, static_cast<std::uint16_t>(h.responseCount));
    r.putTime(kAccessed, h.accessed);
    r.putTime(kAdded, h.added);
    r.put32(kParent, h.parent);

    EncodedNote out;
    LeBuffer summary, nonSummary;
    for (const Item& item : note.items) {
        const std::uint16_t nameIndex = names.indexOf(item.name);
        const std::uint16_t nameType = names.typeOf(nameIndex);
        const std::string itemWhat = what + " item " + item.name;
        LeBuffer stored;
        if (item.flags & kItemPlaceholder) {
            stored.u16(0);  // a placeholder keeps two zero bytes and no value
            if (item.type != nameType)
                return fail(ErrorKind::Unsupported, itemWhat, "a placeholder takes its name's type");
        } else if (item.flags & kItemTypeImplied) {
            if (item.type != nameType)
                return fail(ErrorKind::Unsupported, itemWhat,
                            "type " + hex(item.type) + " without a type word under a name of type " + hex(nameType));
            stored.raw(item.value);
        } else {
            stored.u16(item.type);
            stored.raw(item.value);
        }
        if (stored.size() > 0xFFFF)
            return fail(ErrorKind::Unsupported, itemWhat, std::to_string(stored.size()) + " bytes (at most 65,535)");
        r.u16(nameIndex);
        r.u16(item.flags);
        r.u16(static_cast<std::uint16_t>(stored.size()));
        r.u16(static_cast<std::uint16_t>(item.revision << 8));
        if (item.flags & kItemSummary) {
            summary.raw(stored.bytes());
        } else {
            nonSummary.raw(stored.bytes());
            out.hasNonSummary = true;
        }
    }
    r.raw(summary.bytes());
    r.put32(kRecordSize, static_cast<std::uint32_t>(r.size()));
    out.record = r.take();
    out.nonSummaryValues = nonSummary.take();
    return out;
}

void setNonSummaryLocator(std::vector<std::uint8_t>& record, std::uint32_t locator, std::uint32_t size) {
    for (int i = 0; i < 4; ++i) {
        record.at(note_layout::kNonSummaryLocator + i) = static_cast<std::uint8_t>(locator >> (8 * i));
        record.at(note_layout::kNonSummarySize + i) = static_cast<std::uint8_t>(size >> (8 * i));
    }
}

std::vector<std::uint8_t> nonSummaryRecord(const NoteHeader& header, NoteId id, Bytes values) {
    using namespace note_layout;
    LeBuffer r(kNonSummaryHeaderSize, 0);
    r.put16(kSignature, kNonSummarySignature);
    putIdAndOid(r, header, id);
    r.raw(values);
    r.put32(kRecordSize, static_cast<std::uint32_t>(r.size()));
    return r.take();
}

std::vector<std::uint8_t> deletionStubRecord(NoteId id) {
    using namespace note_layout;
    LeBuffer r(kStubSize, 0);
    r.put16(kSignature, kSignatureValue);
    r.put32(kRecordSize, static_cast<std::uint32_t>(kStubSize));
    r.put32(kNoteId, id);
    return r.take();
}

std::vector<std::uint8_t> objectRecord(Bytes payload, std::uint16_t objectType) {
    static_assert(kObjectRecordHeaderSize == object_layout::kOldHeaderSize);
    LeBuffer r(kObjectRecordHeaderSize, 0);
    r.put16(object_layout::kSignature, object_layout::kOldSignature);
    r.put32(object_layout::kAllocatedSize, static_cast<std::uint32_t>(kObjectRecordHeaderSize + payload.size()));
    // +6 and +10 hold small numbers of unknown meaning in the samples (0x0001 often, and at +10 values
    // that follow the object's kind); the reader ignores them.
    r.put16(6, 0x0001);
    r.put16(10, objectType);
    r.raw(payload);
    return r.take();
}

}  // namespace nsf::detail
