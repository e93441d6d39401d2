#include "note_record.h"

#include <string>

namespace nsf::detail {
namespace {

TimeDate timeAt(const std::uint8_t* p) { return TimeDate{loadLE<std::uint32_t>(p), loadLE<std::uint32_t>(p + 4)}; }

}  // namespace

std::optional<NoteHeader> parseNoteHeader(Bytes record) {
    using namespace note_layout;
    if (record.size() < kStubSize) return std::nullopt;
    const std::uint8_t* p = record.data();
    NoteHeader h;
    h.id = loadLE<std::uint32_t>(p + kNoteId);
    h.oid.file = {loadLE<std::uint32_t>(p + kOidFile), loadLE<std::uint32_t>(p + kOidFile + 4)};
    h.oid.note = timeAt(p + kOidNote);
    h.oid.sequence = loadLE<std::uint32_t>(p + kOidSequence);
    h.oid.sequenceTime = timeAt(p + kOidSequenceTime);
    h.statusFlags = loadLE<std::uint16_t>(p + kStatus);
    h.noteClass = loadLE<std::uint16_t>(p + kClass);
    h.modified = timeAt(p + kModified);
    h.responseCount = loadLE<std::uint16_t>(p + kResponseCount);
    return h;
}

Expected<NoteRecord> parseNoteRecord(Bytes record, std::uint64_t fileOffset) {
    using namespace note_layout;
    if (record.size() < kStubSize) return fail(ErrorKind::Truncated, "note", "record shorter than 64 bytes", fileOffset);
    const std::uint8_t* p = record.data();
    if (loadLE<std::uint16_t>(p + kSignature) != kSignatureValue)
        return fail(ErrorKind::BadSignature, "note", "expected 04 00", fileOffset);
    const std::uint32_t size = loadLE<std::uint32_t>(p + kRecordSize);
    if (size < kStubSize)
        return fail(ErrorKind::Corrupt, "note", "record size " + std::to_string(size) + " below 64",
                    fileOffset + kRecordSize);
    // The record size and the slot size disagree by a few bytes in about 1% of the records, either
    // way (docs/format/container.md). The values can reach up to the end of the slot, so the slot is
    // the record's extent; for a record stored on its own the caller passes the record size.

    NoteRecord n;
    n.header = *parseNoteHeader(record);
    NoteHeader& h = n.header;
    n.nonSummaryLocator = loadLE<std::uint32_t>(p + kNonSummaryLocator);
    n.nonSummarySize = loadLE<std::uint32_t>(p + kNonSummarySize);
    if (size < kHeaderSize || record.size() < kHeaderSize) {
        n.stub = true;
        return n;
    }
    h.accessed = timeAt(p + kAccessed);
    h.added = timeAt(p + kAdded);
    h.parent = loadLE<std::uint32_t>(p + kParent);

    n.itemCount = loadLE<std::uint16_t>(p + kItemCount);
    std::size_t valuesEnd = record.size();
    if ((h.statusFlags & kStatusNonSummaryInRecord) && n.nonSummaryLocator != 0) {
        const std::uint32_t at = n.nonSummaryLocator;
        if (at < kHeaderSize || at > record.size())
            return fail(ErrorKind::Corrupt, "note", "in-record non-summary data outside the record",
                        fileOffset + kNonSummaryLocator);
        // The values follow directly, without a record header; the header's size field gives their
        // length (slack may follow).
        Bytes rest = record.subspan(at);
        if (n.nonSummarySize <= rest.size()) rest = rest.first(n.nonSummarySize);
        else if ((n.nonSummarySize & 0xFFFF) <= rest.size()) rest = rest.first(n.nonSummarySize & 0xFFFF);
        n.inRecordNonSummary = rest;
        valuesEnd = at;
    }
    n.body = record.subspan(kHeaderSize, valuesEnd - kHeaderSize);
    // When the header's count does not fit, the table is left empty for the caller to repair.
    n.itemCountFits = setItemCount(n, n.itemCount);
    return n;
}

bool setItemCount(NoteRecord& n, std::size_t count) {
    using namespace note_layout;
    auto table = slice(n.body, 0, std::uint64_t{count} * kItemEntrySize);
    if (!table) return false;
    n.items.clear();
    n.items.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = table->data() + i * kItemEntrySize;
        n.items.push_back(ItemEntry{loadLE<std::uint16_t>(e), loadLE<std::uint16_t>(e + 2),
                                    loadLE<std::uint16_t>(e + 4), loadLE<std::uint16_t>(e + 6)});
    }
    n.summaryArea = n.body.subspan(table->size());
    return true;
}

std::size_t plausibleItemEntries(const NoteRecord& n, std::size_t nameCount, std::size_t limit) {
    using namespace note_layout;
    std::size_t k = 0;
    while (k < limit && (k + 1) * kItemEntrySize <= n.body.size() &&
           loadLE<std::uint16_t>(n.body.data() + k * kItemEntrySize) < nameCount)
        ++k;
    return k;
}

Expected<Bytes> nonSummaryValues(Bytes record, NoteId noteId, std::uint64_t fileOffset) {
    using namespace note_layout;
    if (record.size() < kNonSummaryHeaderSize)
        return fail(ErrorKind::Truncated, "non-summary record", "shorter than its header", fileOffset);
    if (loadLE<std::uint16_t>(record.data()) != kNonSummarySignature)
        return fail(ErrorKind::BadSignature, "non-summary record", "expected 10 00", fileOffset);
    const std::uint32_t size = loadLE<std::uint32_t>(record.data() + 2);
    if (size < kNonSummaryHeaderSize || size > record.size())
        return fail(ErrorKind::Corrupt, "non-summary record", "record size " + std::to_string(size) + " does not fit",
                    fileOffset + 2);
    if (loadLE<std::uint32_t>(record.data() + 6) != noteId)
        return fail(ErrorKind::Corrupt, "non-summary record", "belongs to another note", fileOffset + 6);
    return record.subspan(kNonSummaryHeaderSize, size - kNonSummaryHeaderSize);
}

}  // namespace nsf::detail
