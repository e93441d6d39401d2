// The Huffman coding of file attachments (FILEOBJECT compression type 1).
//
// Payload layout: a 32-bit sum of all decoded bytes, a 16-bit tree size in bytes, the tree, then the
// code bits. The tree is an array of signed 16-bit entries; node k owns entries 2k (taken on a 1 bit) and
// 2k+1 (taken on a 0 bit), node 0 is the root. An entry >= 0 is a leaf: a byte value, or 256 for the end
// of the data; an entry < 0 continues at node -entry. Bits are read from the most significant bit of
// each byte down.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/database.h"
#include "nsf/error.h"

namespace nsf {

// Decodes `raw` (the stored payload) chunk by chunk. The tree is read and checked here, before any
// data: an entry outside the tree, a node reached twice (a loop) or a missing end code is Corrupt. The
// stream fails with Corrupt when the output would not be exactly `expectedSize` bytes, with Truncated
// when the payload ends inside the code bits, and with BadChecksum when the sum does not match.
Expected<std::unique_ptr<ObjectStream>> makeHuffmanStream(std::unique_ptr<ObjectStream> raw,
                                                          std::uint64_t expectedSize);

// Decodes a whole payload held in memory, checking the size when one is given and always the sum.
Expected<std::vector<std::uint8_t>> huffmanDecode(Bytes payload, std::optional<std::uint64_t> expectedSize = {});

// Encodes `data` in the same layout, with a tree built from its byte counts.
std::vector<std::uint8_t> huffmanEncode(Bytes data);

}  // namespace nsf
