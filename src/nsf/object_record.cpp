#include "object_record.h"

#include <string>

namespace nsf::detail {

bool isObjectRecord(Bytes file, std::uint64_t offset) noexcept {
    auto sig = slice(file, offset, 2);
    if (!sig) return false;
    const std::uint16_t s = loadLE<std::uint16_t>(sig->data());
    return s == object_layout::kOldSignature || s == object_layout::kNewSignature;
}

Expected<Bytes> objectPayload(Bytes file, std::uint64_t offset) {
    using namespace object_layout;
    auto head = slice(file, offset, 6);
    if (!head) return fail(ErrorKind::Corrupt, "object", "record lies outside the file", offset);
    const std::uint16_t sig = loadLE<std::uint16_t>(head->data());
    std::size_t headerSize = 0;
    if (sig == kOldSignature) headerSize = kOldHeaderSize;
    else if (sig == kNewSignature) headerSize = kNewHeaderSize;
    else return fail(ErrorKind::BadSignature, "object", "expected 07 00 or 1B 00", offset);
    const std::uint32_t allocated = loadLE<std::uint32_t>(head->data() + kAllocatedSize);
    if (allocated < headerSize)
        return fail(ErrorKind::Corrupt, "object", "allocated size smaller than the header", offset + kAllocatedSize);
    auto record = slice(file, offset, allocated);
    if (!record)
        return fail(ErrorKind::Corrupt, "object", "record of " + std::to_string(allocated) + " bytes runs past the file end",
                    offset + kAllocatedSize);
    return record->subspan(headerSize);
}

}  // namespace nsf::detail
