// Object records: attachments, view indexes, ID tables and other objects, stored on their own at a
// file position and reached through an RRV entry of the file-position kind.
//
//   ODS <= 51: signature 07 00, 22-byte header: +2 u32 allocated size (header included), then
//              fields of unknown meaning; payload from +22.
//   ODS >= 52: signature 1B 00, 115-byte header: +2 u32 allocated size (header included); payload
//              from +115.
#pragma once

#include <cstdint>

#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

namespace object_layout {
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kAllocatedSize = 2;
inline constexpr std::size_t kOldHeaderSize = 22;
inline constexpr std::size_t kNewHeaderSize = 115;
static_assert(kAllocatedSize + 4 <= kOldHeaderSize);
inline constexpr std::uint16_t kOldSignature = 0x0007;
inline constexpr std::uint16_t kNewSignature = 0x001B;
}  // namespace object_layout

// The payload of the object record at byte `offset`: its bytes after the header up to the allocated
// size. Checks the signature and that the record lies inside the file.
Expected<Bytes> objectPayload(Bytes file, std::uint64_t offset);

// True when the record at `offset` starts with an object signature.
bool isObjectRecord(Bytes file, std::uint64_t offset) noexcept;

}  // namespace nsf::detail
