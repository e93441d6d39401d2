// Writes a database as an .nsf file that the engine's file reader (and anything else reading the
// same structures) opens: every note with its header, items, flags and values, deletion stubs,
// objects (attachments, folder ID tables, ...) and the header's identity, title and special notes.
//
// The file uses the structures of ODS 43 databases as they appear in real files: a 1 KB header,
// two superblock copies (CX-compressed) with the live data RRV bucket, two bucket descriptor block
// copies with the item-name table, 4 KB RRV buckets, 8 to 32 KB summary buckets, 32 KB non-summary
// buckets or non-summary records of their own, and `07 00` object records. Objects are stored as the
// source holds them (already compressed or not). Whatever the reader gives back equals the source,
// except that the ODS is 43 and the note status bit 0x2000 (non-summary data inside the note record)
// is never set.
#pragma once

#include <filesystem>
#include <ostream>
#include <vector>

#include "nsf/database.h"
#include "nsf/error.h"

namespace nsf {

// The file's bytes. Errors when a note cannot be stored so that it reads back as given (an item type
// its name cannot carry, summary data over about 32 KB, note IDs not reachable in steps of 4) or when
// the source fails to read.
Expected<std::vector<std::uint8_t>> writeDatabaseBytes(Database& db);

Expected<void> writeDatabase(Database& db, std::ostream& out);

// Writes to `path` through a temporary file in the same folder, renamed into place when complete.
Expected<void> writeDatabaseFile(Database& db, const std::filesystem::path& path);

}  // namespace nsf
