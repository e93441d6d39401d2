#include "bucket_stamps.h"

namespace nsf::detail {
namespace {

std::size_t sectorCount(std::size_t size) noexcept {
    return size <= kStampOffset ? 0 : (size - kStampOffset + kStampSectorSize - 1) / kStampSectorSize;
}

// Sector k's nibble: high half of byte size-1-k/2 for even k, low half for odd k.
std::size_t nibbleByte(std::size_t size, std::size_t sector) noexcept { return size - 1 - sector / 2; }
unsigned nibbleShift(std::size_t sector) noexcept { return sector % 2 == 0 ? 4 : 0; }

}  // namespace

bool stampFooterFits(std::uint64_t size, std::uint64_t footer) noexcept {
    const std::uint64_t sectors = sectorCount(static_cast<std::size_t>(size));
    // The nibbles must lie in the footer, and the footer after the last stamped byte: otherwise a
    // stamp would overwrite a nibble that restores another sector.
    return footer <= size && (sectors + 1) / 2 <= footer &&
           (sectors == 0 || (sectors - 1) * kStampSectorSize + kStampOffset < size - footer);
}

void restoreStamps(std::span<std::uint8_t> bucket) noexcept {
    const std::size_t size = bucket.size();
    for (std::size_t k = 0, n = sectorCount(size); k < n; ++k) {
        const std::uint8_t nibble = (bucket[nibbleByte(size, k)] >> nibbleShift(k)) & 0x0F;
        std::uint8_t& b = bucket[k * kStampSectorSize + kStampOffset];
        b = static_cast<std::uint8_t>((b & 0xF0) | nibble);
    }
}

void applyStamps(std::span<std::uint8_t> bucket, std::uint8_t stamp) noexcept {
    const std::size_t size = bucket.size();
    for (std::size_t k = 0, n = sectorCount(size); k < n; ++k) {
        std::uint8_t& b = bucket[k * kStampSectorSize + kStampOffset];
        std::uint8_t& keep = bucket[nibbleByte(size, k)];
        const unsigned shift = nibbleShift(k);
        keep = static_cast<std::uint8_t>((keep & ~(0x0F << shift)) | ((b & 0x0F) << shift));
        b = static_cast<std::uint8_t>((b & 0xF0) | (stamp & 0x0F));
    }
}

}  // namespace nsf::detail
