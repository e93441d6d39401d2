// Writes a database file of any size note by note, with memory bounded by the largest note and its
// objects: full buckets and objects go to disk as they are made; the note ID table, the superblock,
// the bucket descriptor block and the header follow at the end. The structures are those of
// writer.h; the control structures sit behind the data instead of in front of it, which the header's
// positions allow. Offsets are 64-bit throughout (files past 4 GiB); positions in units of 256 bytes
// end at 1 TB.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "nsf/database.h"
#include "nsf/error.h"

namespace nsf {

class StreamingDatabaseWriter {
public:
    // Opens `path`.partial for writing. `stamp` dates the buckets and control structures.
    static Expected<std::unique_ptr<StreamingDatabaseWriter>> create(const std::filesystem::path& path,
                                                                     DatabaseInfo info, TimeDate stamp);
    ~StreamingDatabaseWriter();  // an unfinished file is removed

    // Appends every note, deletion stub and object of `part` (its notes are read twice: names first).
    // IDs must be new to the file; a name must keep the value type earlier parts gave it.
    Expected<void> append(Database& part);

    // Writes the control structures and renames the file into place.
    Expected<void> finish();

    // Bytes written so far.
    std::uint64_t size() const noexcept;

    struct State;

private:
    explicit StreamingDatabaseWriter(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace nsf
