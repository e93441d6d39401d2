// The 32-bit XOR check that superblocks, bucket descriptor blocks, RRV buckets and buckets carry.
#pragma once

#include <cstdint>

#include "nsf/byte_reader.h"

namespace nsf::detail {

// XOR of the little-endian 32-bit words of `data`; trailing bytes are XORed in as a partial
// little-endian word (byte i of the tail lands in bits 8*i..8*i+7).
std::uint32_t xor32(Bytes data) noexcept;

}  // namespace nsf::detail
