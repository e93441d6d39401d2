// Embedded OLE objects. Notes keeps an embedded object's OLE2 compound file as a byte array split
// into pages: every page is a $FILE object of host type BYTEARRAY_PAGE, and one more $FILE object of
// host type BYTEARRAY_EXT (the name rich text gives the object, "EXT" and digits) lists the pages in
// order. The compound file is the pages' payloads concatenated in that order.
//
// Index layout (little-endian, docs/format/values-objects.md):
//   +0  u32 version (1)   +4 u32 page count   +8 u32 page size   +12 20 bytes, zero
//   +32 the page names: each NUL-terminated LMBCS, padded with a NUL to an even length
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/error.h"
#include "nsf/values.h"  // kHostByteArrayExt, kHostByteArrayPage, kHostMask

namespace nsf {

struct ByteArrayIndex {
    std::uint32_t version = 0;
    std::uint32_t pageSize = 0;
    std::vector<std::string> pageNames;  // LMBCS, in order
};

// Checks every name against the bytes: Truncated when the header or a name runs past the end,
// Corrupt for an empty name or a page count the bytes cannot hold.
Expected<ByteArrayIndex> decodeByteArrayIndex(Bytes value);

}  // namespace nsf
