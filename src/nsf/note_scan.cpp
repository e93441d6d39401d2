#include "note_scan.h"

#include "bucket.h"
#include "note_record.h"

namespace nsf::detail {
namespace {

bool newer(const FoundNote& a, const FoundNote& b) noexcept {
    const std::uint32_t sa = a.sequence & 0xFFFFu, sb = b.sequence & 0xFFFFu;
    if (sa != sb) return sa > sb;
    if (a.sequenceTime.innards1 != b.sequenceTime.innards1) return a.sequenceTime.innards1 > b.sequenceTime.innards1;
    return a.sequenceTime.innards0 > b.sequenceTime.innards0;
}

}  // namespace

FoundRecords scanNoteRecords(Bytes file, std::span<const std::uint64_t> buckets, const FileSource* source) {
    FoundRecords found;
    auto keep = [](std::map<NoteId, FoundNote>& into, NoteId id, const FoundNote& copy) {
        auto [it, inserted] = into.try_emplace(id, copy);
        if (!inserted && newer(copy, it->second)) it->second = copy;
    };
    for (const std::uint64_t at : buckets) {
        auto bucket = readBucket(file, at, "bucket", false);
        if (!bucket) continue;
        releaseRead(source, file, at, bucket->size());  // the scan works on the copy
        const std::uint32_t slots = loadLE<std::uint32_t>(bucket->data() + bucket_layout::kSlotCount);
        // bucketSlot bounds every slot by the bucket's size, so no more slots than 4-byte entries fit.
        const std::uint32_t bound = static_cast<std::uint32_t>(bucket->size() / bucket_layout::kSlotEntrySize);
        for (std::uint32_t slot = 1; slot <= slots && slot <= bound; ++slot) {
            auto bytes = bucketSlot(*bucket, at, slot, "bucket");
            if (!bytes || bytes->size() < note_layout::kNonSummaryHeaderSize) continue;
            const std::uint16_t signature = loadLE<std::uint16_t>(bytes->data());
            if (signature == note_layout::kNonSummarySignature) {
                // Its header repeats the note's ID and, like a note header, its originator ID.
                const NoteId id = loadLE<std::uint32_t>(bytes->data() + note_layout::kNoteId);
                const TimeDate when{loadLE<std::uint32_t>(bytes->data() + note_layout::kOidSequenceTime),
                                    loadLE<std::uint32_t>(bytes->data() + note_layout::kOidSequenceTime + 4)};
                if (id != 0)
                    keep(found.nonSummary, id,
                         FoundNote{at, slot, loadLE<std::uint32_t>(bytes->data() + note_layout::kOidSequence), when});
                continue;
            }
            if (signature != note_layout::kSignatureValue || bytes->size() < note_layout::kHeaderSize) continue;
            auto head = parseNoteHeader(*bytes);
            if (!head || head->id == 0) continue;
            keep(found.notes, head->id, FoundNote{at, slot, head->oid.sequence, head->oid.sequenceTime});
        }
    }
    return found;
}

std::vector<std::uint64_t> findBuckets(Bytes file, const FileSource* source) {
    constexpr std::uint64_t kReleaseEvery = 8u << 20;
    std::vector<std::uint64_t> out;
    for (std::uint64_t at = 0; at + bucket_layout::kHeaderSize <= file.size(); at += 512) {
        if (file[at] == bucket_layout::kSignature0 && file[at + 1] == bucket_layout::kSignature1) out.push_back(at);
        if (at % kReleaseEvery == kReleaseEvery - 512) releaseRead(source, file, at + 512 - kReleaseEvery, kReleaseEvery);
    }
    return out;
}

}  // namespace nsf::detail
