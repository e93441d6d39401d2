// Which stored item value lives where. Items flagged ITEM_SUMMARY (0x0004) keep their values in the
// summary area right after the item table; all others fill the non-summary values exactly. Each
// area is packed in item-table order without padding. A value's length counts its type word; an
// item flagged 0x0008 stores none (its type is its name's), and a placeholder (0x0100) stores two
// zero bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "note_record.h"
#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

struct Placement {
    std::vector<Bytes> values;  // the stored value of each item (type word included)
};

// The values of `items` in `summary` and `nonSummary` (nullopt when the note has none). Corrupt,
// naming the note, when the lengths do not fit: the summary values must fit their area and the
// non-summary values must fill theirs exactly.
Expected<Placement> placeItems(const std::vector<ItemEntry>& items, Bytes summary, std::optional<Bytes> nonSummary,
                               NoteId id, std::uint64_t fileOffset);

// The type word a stored value starts with, or nothing when the item stores none.
std::optional<std::uint16_t> storedTypeWord(std::uint16_t flags, Bytes stored) noexcept;

}  // namespace nsf::detail
