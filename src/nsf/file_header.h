// The file header: the first 6 bytes of every .nsf file, an LSIG that announces the database header.
//
//   +0 u16 signature 0x001A
//   +2 u32 size of the database header that starts at file offset 0 (1024 up to ODS 52, 2048 from 53)
#pragma once

#include <cstdint>

#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

namespace file_header_layout {
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kHeaderSize = 2;
inline constexpr std::size_t kSize = 6;
static_assert(kHeaderSize + 4 == kSize);
inline constexpr std::uint16_t kSignatureValue = 0x001A;
}  // namespace file_header_layout

struct FileHeader {
    std::uint32_t databaseHeaderSize = 0;
};

// Checks the signature and that the announced header size is one this reader knows (1024 or 2048)
// and fits in the file. Other sizes (0x208, 0x300: Notes 1 to 4) are Unsupported.
Expected<FileHeader> parseFileHeader(Bytes file);

}  // namespace nsf::detail
