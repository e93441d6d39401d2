#include "note_record.h"

#include <string>

namespace nsf::detail {
namespace {

TimeDate timeAt(const std::uint8_t* p) { return TimeDate{loadLE<std::uint32_t>(p), loadLE<std::uint32_t>(p + 4)}; }

// Reads an item table of `count` entries; false when that many do not fit.
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

    NoteRecord n;
    n.header = *parseNoteHeader(record);
    NoteHeader& h = n.header;
    n.nonSummaryLocator = loadLE<std::uint32_t>(p + kNonSummaryLocator);
    n.nonSummarySize = loadLE<std::uint32_t>(p + kNonSummarySize);
    if (size < kHeaderSize || record.size() < kHeaderSize) {
        n.stub = true;
        return n;
    }
    if (size > record.size())
        return fail(ErrorKind::Corrupt, "note",
                    "record size " + std::to_string(size) + " exceeds its " + std::to_string(record.size()) + " bytes",
                    fileOffset + kRecordSize);
    record = record.first(size);
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
        // length.
        Bytes rest = record.subspan(at);
        if (n.nonSummarySize > rest.size())
            return fail(ErrorKind::Corrupt, "note",
                        "in-record non-summary size " + std::to_string(n.nonSummarySize) + " exceeds the record",
                        fileOffset + kNonSummarySize);
        n.inRecordNonSummary = rest.first(n.nonSummarySize);
        valuesEnd = at;
    }
    n.body = record.subspan(kHeaderSize, valuesEnd - kHeaderSize);
    // When the header's count does not fit, the table is left empty and reading the note fails.
    n.itemCountFits = setItemCount(n, n.itemCount);
    return n;
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
