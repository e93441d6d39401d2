#include "item_table.h"

#include "text.h"

namespace nsf::detail {

Expected<ItemNameTable> ItemNameTable::parse(Bytes data, std::uint32_t count, std::uint32_t textSize,
                                             std::uint64_t fileOffset) {
    using namespace item_table_layout;
    ByteReader r(data, "item name table", fileOffset);
    auto entries = r.bytes(std::uint64_t{count} * kEntrySize);
    if (!entries) return std::unexpected(entries.error());
    auto sizeCopy = r.u32();
    if (!sizeCopy) return std::unexpected(sizeCopy.error());
    auto text = r.bytes(textSize);
    if (!text) return std::unexpected(text.error());

    ItemNameTable table;
    table.names_.reserve(count);  // bounded: the entries were just found inside `data`
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* e = entries->data() + std::size_t{i} * kEntrySize;
        const std::uint32_t offset = loadLE<std::uint32_t>(e + kTextOffset);
        const std::uint16_t length = loadLE<std::uint16_t>(e + kNameLength);
        auto name = slice(*text, offset, length);
        if (!name)
            return fail(ErrorKind::Corrupt, "item name table",
                        "name " + std::to_string(i) + " lies outside the name text",
                        fileOffset + std::uint64_t{i} * kEntrySize);
        table.names_.push_back(ItemName{decodeName(*name), loadLE<std::uint16_t>(e + kType)});
    }
    return table;
}

}  // namespace nsf::detail
