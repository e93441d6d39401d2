// "CX" compression, the inverse of cx_decompress.h: what the writer packs superblocks and bucket
// descriptor blocks with. Greedy LZ77 over the same token set (literals, matches of 3 to 257 bytes,
// the end marker); any conforming decoder, ours included, reads its output back exactly.
#pragma once

#include <cstdint>
#include <vector>

#include "nsf/byte_reader.h"

namespace nsf::detail {

std::vector<std::uint8_t> cxCompress(Bytes data);

}  // namespace nsf::detail
