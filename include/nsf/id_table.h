// ID tables as databases store them in objects: the member list of a folder ($FolderIDTable, object
// type 10) and other note ID sets. Only the flat layout seen in real databases is read; anything else
// (other entry codes, differing counts, an inverted table) is refused rather than guessed at. The layout
// is described in docs/format/folders.md.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/database.h"
#include "nsf/error.h"

namespace nsf {

// Header flags of a stored ID table.
inline constexpr std::uint16_t kIdTableModified = 0x0001;
inline constexpr std::uint16_t kIdTableInverted = 0x0002;  // holds the IDs NOT in the set: refused
inline constexpr std::uint16_t kIdTableFlag40 = 0x0040;    // set by newer releases; meaning unknown

inline constexpr std::size_t kIdTableHeaderSize = 18;
inline constexpr std::size_t kIdTableEntrySize = 5;
inline constexpr std::size_t kIdTableMaxEntries = 0xFFFF;  // the counts are 16-bit

struct IdTable {
    std::uint16_t flags = 0;
    TimeDate modified;         // zero in tables that were never saved with a time
    std::vector<NoteId> ids;   // strictly ascending
};

// Parses a stored ID table. Bytes after the last counted entry are ignored: tables emptied in place
// keep their old entries there.
Expected<IdTable> parseIdTable(Bytes payload);

// The note IDs of a $FolderIDTable object payload, ascending.
Expected<std::vector<NoteId>> parseFolderIdTable(Bytes payload);

// The stored form of a set of note IDs (sorted and de-duplicated here). Throws std::invalid_argument
// for more than kIdTableMaxEntries IDs or an ID of 0: the layout cannot hold them.
std::vector<std::uint8_t> encodeFolderIdTable(std::span<const NoteId> ids, std::uint16_t flags = kIdTableModified,
                                              TimeDate modified = {});

// The members of folder note `folder` of `db`: checks that it is a folder (a view note whose $Flags
// has 'F'), then reads and parses the object its $FolderIDTable item names. A folder without that
// item is empty. Both the file reader and the in-memory database answer folderNoteIds() with this.
Expected<std::vector<NoteId>> readFolderMembers(Database& db, NoteId folder);

}  // namespace nsf
