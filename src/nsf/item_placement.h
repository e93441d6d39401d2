// Which stored item value lives in the summary area and which in the non-summary area, and whether
// a stored value starts with a type word.
//
// The values of each area are packed in item-table order without padding, so an assignment of
// items to areas fixes every value's position. The item flags are the first guess; when the
// lengths the guess gives do not add up with both areas (non-summary exactly, summary up to its
// slack), the split that does is searched for: first one where every value that should start
// with a type word does, then one where only the lengths fit.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "note_record.h"
#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

struct Placement {
    std::vector<Bytes> values;   // the stored value of each item (type word included)
    std::vector<bool> inSummary;
    bool guessed = true;         // the flags' guess fitted as it was
    bool typeWordsChecked = true;  // false when only the lengths could be made to fit
};

// `nameTypes[i]` is the item-name table's type of item i. `nonSummary` is empty (nullopt) when the
// note has no non-summary data. Errors (Corrupt) when no split makes the lengths fit.
Expected<Placement> placeItems(const std::vector<ItemEntry>& items, const std::vector<std::uint16_t>& nameTypes,
                               Bytes summary, std::optional<Bytes> nonSummary, std::uint64_t fileOffset);

// The guess from the flags alone: SUMMARY (0x0004) means the summary area.
bool flagsSaySummary(std::uint16_t flags) noexcept;

// The type word a stored value starts with, or nothing when the value has none. Flag 0x0008 says
// there is none, and placeholders (0x0100) store two zero bytes. Otherwise the first word is taken
// as the type when it is compatible with the name's type: equal, the same class (0x0500 TEXT /
// 0x0501 TEXT_LIST, 0x0400 TIME / 0x0401 TIME_RANGE), one of the simple types an item can change
// to (NUMBER, TIME, TEXT and their lists, USERID), an OBJECT word (low byte 0x03) under an
// OBJECT name (any TYPE with low byte 0x03), or rich text and MIME part in place of each other (a
// Body field holds either).
// In about 0.5% of the values of the samples no type word is stored although 0x0008
// is clear (formulas, some text lists); they start with a word that fits none of these rules.
std::optional<std::uint16_t> storedTypeWord(std::uint16_t flags, std::uint16_t nameType, Bytes stored) noexcept;

}  // namespace nsf::detail
