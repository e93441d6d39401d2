// "CX" decompression: the LZ77 variant that packs superblocks and bucket descriptor blocks.
//
// The stream is read least-significant bit first. Bits 0-2 of the first byte are a header whose
// value must be above 3; decoding starts at bit 3. Each token starts with a flag bit: 0 = a literal
// byte (8 bits), 1 = a match. A match's next bit 1 means length 2; 0 means length 2 + G, G being a
// gamma-style number (z zero bits, a one bit, then z+1 value bits v; G = 2^(z+1) - 1 + v). A length
// of 258 or more ends the stream. For lengths above 2 a bit follows: 0 = a high offset part G
// follows. The offset (distance back) is high * 256 + the next 8 bits.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

// Decodes `compressed` into exactly `expectedSize` bytes (the size the owning header gives). The
// output only grows as tokens produce bytes, so a wrong expectedSize never sizes an allocation.
// Errors: Corrupt for a bad header, a distance before the start, output overrunning expectedSize
// or ending short of it; Truncated when the input ends before the end marker.
Expected<std::vector<std::uint8_t>> cxDecompress(Bytes compressed, std::uint64_t expectedSize,
                                                 std::string_view structure, std::uint64_t fileOffset);

}  // namespace nsf::detail
