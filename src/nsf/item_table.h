// The item-name table ("UNK table", unique name keys) from the bucket descriptor block.
//
// Items in notes refer to their name by index into this database-wide table. Layout, after the RRV
// bucket descriptors in the uncompressed BDB:
//   count x 10-byte entries: +0 u32 text offset (into the text below), +4 u16 name length,
//                            +6 u16 item TYPE (TYPE_TEXT 0x0500, ...), +8 u16 unknown (0)
//   u32 copy of the text size, then the LMBCS name text, then the 16-bit hash table (not used).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/error.h"

namespace nsf::detail {

namespace item_table_layout {
inline constexpr std::size_t kEntrySize = 10;
inline constexpr std::size_t kTextOffset = 0;
inline constexpr std::size_t kNameLength = 4;
inline constexpr std::size_t kType = 6;
static_assert(kType + 2 + 2 == kEntrySize);
}  // namespace item_table_layout

struct ItemName {
    std::string name;            // UTF-8
    std::uint16_t type = 0;      // the TYPE a value has when its item carries no type word
};

class ItemNameTable {
public:
    // `data` starts at the first entry; `count` entries, then the text size copy and the text.
    // Every entry's text range is checked against the text size; `fileOffset` only serves errors.
    static Expected<ItemNameTable> parse(Bytes data, std::uint32_t count, std::uint32_t textSize,
                                         std::uint64_t fileOffset);

    // The name at `index` (0-based), or nullptr when out of range.
    const ItemName* find(std::uint16_t index) const noexcept {
        return index < names_.size() ? &names_[index] : nullptr;
    }
    std::size_t size() const noexcept { return names_.size(); }

private:
    std::vector<ItemName> names_;
};

}  // namespace nsf::detail
