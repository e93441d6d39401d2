// The bytes of an open database: a read-only memory mapping of the file, or an owned copy.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

// How much the kernel maps around a faulting page of a file mapping (fault-around, 64 KB by default):
// reading one byte can bring that much into memory.
inline constexpr std::size_t kFaultAroundBytes = 64u << 10;

class FileSource {
public:
    virtual ~FileSource() = default;
    virtual Bytes bytes() const noexcept = 0;
    // Lets the memory under `range` (a part of bytes()) go when the source is a file mapping; the
    // bytes stay readable and are read from the file (the page cache) on the next access. A reader
    // calls it for what it has copied out, so that its memory does not grow with the file.
    virtual void release(Bytes range) const noexcept { (void)range; }
};

// Lets `source` (when not null) release `size` bytes read at `offset` of `file`, its bytes, together
// with the pages the kernel mapped around them.
void releaseRead(const FileSource* source, Bytes file, std::uint64_t offset, std::size_t size) noexcept;

// Maps a regular file read-only (falls back to reading it when mapping is not possible).
Expected<std::unique_ptr<FileSource>> openFileSource(const std::filesystem::path& path);

// Owns a copy of `image`.
std::unique_ptr<FileSource> copySource(Bytes image);

}  // namespace nsf::detail
