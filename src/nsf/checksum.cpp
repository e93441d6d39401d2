#include "checksum.h"

namespace nsf::detail {

std::uint32_t xor32(Bytes data) noexcept {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 4 <= data.size(); i += 4) sum ^= loadLE<std::uint32_t>(data.data() + i);
    std::uint32_t tail = 0;
    for (std::size_t k = 0; i + k < data.size(); ++k) tail |= std::uint32_t{data[i + k]} << (8 * k);
    return sum ^ tail;
}

}  // namespace nsf::detail
