#include "item_placement.h"

#include <string>

#include "nsf/database.h"
#include "nsf/values.h"

namespace nsf::detail {

Expected<Placement> placeItems(const std::vector<ItemEntry>& items, Bytes summary, std::optional<Bytes> nonSummary,
                               NoteId id, std::uint64_t fileOffset) {
    const Bytes other = nonSummary.value_or(Bytes{});
    std::uint64_t s = 0, n = 0;
    for (const ItemEntry& e : items) ((e.flags & kItemSummary) ? s : n) += e.length;
    if (s > summary.size() || n != other.size())
        return fail(ErrorKind::Corrupt, "note",
                    "note " + std::to_string(id) + ": item values of " + std::to_string(s) + " summary and " +
                        std::to_string(n) + " non-summary bytes do not fit areas of " +
                        std::to_string(summary.size()) + " and " + std::to_string(other.size()) + " bytes",
                    fileOffset);
    Placement p;
    p.values.reserve(items.size());
    s = n = 0;
    for (const ItemEntry& e : items) {
        const bool inSummary = (e.flags & kItemSummary) != 0;
        std::uint64_t& at = inSummary ? s : n;
        p.values.push_back((inSummary ? summary : other).subspan(static_cast<std::size_t>(at), e.length));
        at += e.length;
    }
    return p;
}

std::optional<std::uint16_t> storedTypeWord(std::uint16_t flags, Bytes stored) noexcept {
    if ((flags & (kItemTypeImplied | kItemPlaceholder)) != 0 || stored.size() < 2) return std::nullopt;
    return loadLE<std::uint16_t>(stored.data());
}

}  // namespace nsf::detail
