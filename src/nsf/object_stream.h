// ObjectStream over an object's payload: the stored bytes as they are, or decoded by the Huffman and
// LZ1 streams (nsf/huffman.h, nsf/lz1.h).
#pragma once

#include <cstdint>
#include <memory>

#include "file_source.h"
#include "nsf/database.h"

namespace nsf::detail {

// A stream that hands out `payload` in chunks without copying it. `payload` must outlive it, and so
// must `source` when given: the source it lies in, told to release what has been read.
std::unique_ptr<ObjectStream> makeRawStream(Bytes payload, const FileSource* source = nullptr);

// The stream for `compression`. With None and a non-zero expectedSize the payload is cut to that
// size (an allocation is rounded up); expectedSize above the payload is Truncated.
Expected<std::unique_ptr<ObjectStream>> makeObjectStream(Bytes payload, Compression compression,
                                                         std::uint64_t expectedSize,
                                                         const FileSource* source = nullptr);

}  // namespace nsf::detail
