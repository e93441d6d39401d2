#include "bucket.h"

#include <string>

#include "bucket_stamps.h"

namespace nsf::detail {

Expected<std::vector<std::uint8_t>> readBucket(Bytes file, std::uint64_t offset, const char* structure) {
    using namespace bucket_layout;
    auto header = slice(file, offset, kHeaderSize);
    if (!header) return fail(ErrorKind::Corrupt, structure, "bucket lies outside the file", offset);
    if ((*header)[0] != kSignature0 || (*header)[1] != kSignature1)
        return fail(ErrorKind::BadSignature, structure, "expected 02 42", offset);
    const std::uint32_t size = loadLE<std::uint32_t>(header->data() + kSize);
    auto bucket = slice(file, offset, size);
    if (!bucket || size < kHeaderSize)
        return fail(ErrorKind::Corrupt, structure, "bucket size " + std::to_string(size) + " does not fit", offset + kSize);
    const std::uint32_t footer = loadLE<std::uint32_t>(header->data() + kFooterSize);
    if (footer != stampFooterSize(size) || !stampFooterFits(size, footer))
        return fail(ErrorKind::Corrupt, structure,
                    "footer of " + std::to_string(footer) + " bytes in a bucket of " + std::to_string(size),
                    offset + kFooterSize);
    std::vector<std::uint8_t> restored(bucket->begin(), bucket->end());
    restoreStamps(restored);
    return restored;
}

Expected<Bytes> bucketSlot(Bytes bucket, std::uint64_t offset, std::uint32_t slot, const char* structure) {
    using namespace bucket_layout;
    const std::size_t size = bucket.size();
    const std::uint32_t slots = loadLE<std::uint32_t>(bucket.data() + kSlotCount);
    const std::uint32_t footer = loadLE<std::uint32_t>(bucket.data() + kFooterSize);
    if (slot == 0 || slot > slots)
        return fail(ErrorKind::NotFound, structure, "slot " + std::to_string(slot) + " of " + std::to_string(slots), offset);
    // index entry of `slot`: size - footer - 4*slot, checked against the bucket size
    const std::uint64_t back = std::uint64_t{footer} + std::uint64_t{slot} * kSlotEntrySize;
    if (back > size - kHeaderSize)
        return fail(ErrorKind::Corrupt, structure, "slot index runs into the bucket header", offset + kSlotCount);
    const std::uint8_t* entry = bucket.data() + (size - back);
    const std::uint16_t slotOffset = loadLE<std::uint16_t>(entry);
    const std::uint16_t slotSize = loadLE<std::uint16_t>(entry + 2);
    if (slotSize == 0) return fail(ErrorKind::NotFound, structure, "empty slot", offset + (size - back));
    if (slotOffset < kHeaderSize || std::uint64_t{slotOffset} + slotSize > size - back)
        return fail(ErrorKind::Corrupt, structure, "slot lies outside the bucket's record area", offset + (size - back));
    return bucket.subspan(slotOffset, slotSize);
}

}  // namespace nsf::detail
