// The bytes of an open database: a read-only memory mapping of the file, or an owned copy.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

class FileSource {
public:
    virtual ~FileSource() = default;
    virtual Bytes bytes() const noexcept = 0;
    // Lets the memory under `range` (a part of bytes()) go when the source is a file mapping; the
    // bytes stay readable and are read from the file (the page cache) on the next access. A reader
    // calls it for what it has copied out, so that its memory does not grow with the file.
    virtual void release(Bytes range) const noexcept { (void)range; }
};

// Maps a regular file read-only (falls back to reading it when mapping is not possible).
Expected<std::unique_ptr<FileSource>> openFileSource(const std::filesystem::path& path);

// Owns a copy of `image`.
std::unique_ptr<FileSource> copySource(Bytes image);

}  // namespace nsf::detail
