#include "item_placement.h"

#include <string>
#include <unordered_set>

#include "nsf/database.h"
#include "nsf/values.h"

namespace nsf::detail {
namespace {

// The most search steps spent on one note in one mode before giving up (each step places one item).
constexpr std::uint64_t kMaxSteps = 200'000;

bool simpleType(std::uint16_t w) noexcept {
    switch (w) {
    case 0x0300: case 0x0301: case 0x0400: case 0x0401: case 0x0500: case 0x0501: case 0x0700: return true;
    default: return false;
    }
}

class Search {
public:
    Search(const std::vector<ItemEntry>& items, const std::vector<std::uint16_t>& types, Bytes summary,
           Bytes nonSummary, bool checkTypeWords)
        : items_(items), types_(types), summary_(summary), nonSummary_(nonSummary), check_(checkTypeWords),
          inSummary_(items.size()) {
        suffix_.assign(items.size() + 1, 0);
        for (std::size_t i = items.size(); i-- > 0;) suffix_[i] = suffix_[i + 1] + items[i].length;
    }

    // Depth-first over the items in table order; the flags' choice is tried first at every item.
    // The state is (item, summary offset): the non-summary offset follows from the lengths so far,
    // so a state that failed once is remembered and never searched again.
    bool run(std::size_t i, std::uint64_t s, std::uint64_t n) {
        if (++steps_ > kMaxSteps) return false;
        if (i == items_.size()) return n == nonSummary_.size() && s <= summary_.size();
        if (n > nonSummary_.size() || s > summary_.size()) return false;
        if (s + n + suffix_[i] > summary_.size() + nonSummary_.size()) return false;
        if (n + suffix_[i] < nonSummary_.size()) return false;  // the non-summary area must fill up exactly
        const std::uint64_t key = (std::uint64_t{static_cast<std::uint32_t>(i)} << 40) ^ s;
        if (dead_.contains(key)) return false;
        const bool guess = flagsSaySummary(items_[i].flags);
        for (bool toSummary : {guess, !guess}) {
            if (!fits(i, toSummary ? summary_ : nonSummary_, toSummary ? s : n)) continue;
            inSummary_[i] = toSummary;
            const std::uint64_t len = items_[i].length;
            if (run(i + 1, toSummary ? s + len : s, toSummary ? n : n + len)) return true;
            if (steps_ > kMaxSteps) return false;
        }
        dead_.insert(key);
        return false;
    }

    const std::vector<bool>& inSummary() const noexcept { return inSummary_; }
    bool exhausted() const noexcept { return steps_ > kMaxSteps; }

private:
    bool fits(std::size_t i, Bytes area, std::uint64_t at) const {
        auto v = slice(area, at, items_[i].length);
        if (!v) return false;
        const ItemEntry& e = items_[i];
        if (!check_ || (e.flags & (kItemTypeImplied | kItemPlaceholder)) != 0 || e.length < 2) return true;
        return storedTypeWord(e.flags, types_[i], *v).has_value();
    }

    const std::vector<ItemEntry>& items_;
    const std::vector<std::uint16_t>& types_;
    Bytes summary_;
    Bytes nonSummary_;
    bool check_;
    std::vector<bool> inSummary_;
    std::vector<std::uint64_t> suffix_;
    std::unordered_set<std::uint64_t> dead_;
    std::uint64_t steps_ = 0;
};

}  // namespace

bool flagsSaySummary(std::uint16_t flags) noexcept { return (flags & kItemSummary) != 0; }

std::optional<std::uint16_t> storedTypeWord(std::uint16_t flags, std::uint16_t nameType, Bytes stored) noexcept {
    if ((flags & (kItemTypeImplied | kItemPlaceholder)) != 0 || stored.size() < 2) return std::nullopt;
    const std::uint16_t w = loadLE<std::uint16_t>(stored.data());
    if (w == nameType && w != 0) return w;
    const std::uint8_t cls = static_cast<std::uint8_t>(w >> 8), low = static_cast<std::uint8_t>(w);
    if (cls != 0 && cls == (nameType >> 8) && low < 0x10) return w;
    if (simpleType(w)) return w;
    if (nameType == 0x0003 && low == 0x03) return w;
    // A Body field holds rich text in one note and MIME parts in another under the same name.
    if ((nameType == kTypeComposite && w == kTypeMimePart) || (nameType == kTypeMimePart && w == kTypeComposite))
        return w;
    return std::nullopt;
}

Expected<Placement> placeItems(const std::vector<ItemEntry>& items, const std::vector<std::uint16_t>& nameTypes,
                               Bytes summary, std::optional<Bytes> nonSummary, std::uint64_t fileOffset) {
    Placement p;
    p.values.resize(items.size());
    p.inSummary.assign(items.size(), true);

    // The flags' guess, taken as it is when both areas' lengths add up.
    std::uint64_t s = 0, n = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const bool toSummary = !nonSummary || flagsSaySummary(items[i].flags);
        p.inSummary[i] = toSummary;
        (toSummary ? s : n) += items[i].length;
    }
    const bool guessFits = s <= summary.size() && n == (nonSummary ? nonSummary->size() : 0);

    if (!guessFits) {
        if (!nonSummary)
            return fail(ErrorKind::Corrupt, "note",
                        "item values (" + std::to_string(s) + " bytes) exceed the summary area (" +
                            std::to_string(summary.size()) + ")",
                        fileOffset);
        bool found = false, exhausted = false;
        for (bool check : {true, false}) {
            Search search(items, nameTypes, summary, *nonSummary, check);
            if (search.run(0, 0, 0)) {
                for (std::size_t i = 0; i < items.size(); ++i) p.inSummary[i] = search.inSummary()[i];
                p.typeWordsChecked = check;
                found = true;
                break;
            }
            exhausted = exhausted || search.exhausted();
        }
        if (!found)
            return fail(ErrorKind::Corrupt, "note",
                        exhausted ? "no split of the items between the summary and non-summary areas found "
                                    "within the search bound"
                                  : "no split of the items fits the summary and non-summary areas",
                        fileOffset);
        p.guessed = false;
    }

    s = n = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::uint64_t& at = p.inSummary[i] ? s : n;
        Bytes area = p.inSummary[i] ? summary : *nonSummary;
        // Always inside: the guess or the search checked every length against its area.
        p.values[i] = area.subspan(static_cast<std::size_t>(at), items[i].length);
        at += items[i].length;
    }
    return p;
}

}  // namespace nsf::detail
