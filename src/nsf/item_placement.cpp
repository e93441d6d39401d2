#include "item_placement.h"

#include <numeric>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

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
    // so a state that failed once is remembered and never searched again. The path is kept on a
    // stack of its own: a note of tens of thousands of items must not overflow the thread's stack.
    bool run() {
        struct Frame {
            std::uint64_t s = 0, n = 0;
            std::uint8_t tried = 0;  // choices tried at this item
            bool entered = false;
        };
        std::vector<Frame> path(1);
        while (!path.empty()) {
            const std::size_t i = path.size() - 1;
            Frame& f = path.back();
            if (!f.entered) {
                f.entered = true;
                if (++steps_ > kMaxSteps) return false;
                if (i == items_.size()) {
                    if (f.n == nonSummary_.size() && f.s <= summary_.size()) return true;
                    path.pop_back();
                    continue;
                }
                if (f.n > nonSummary_.size() || f.s > summary_.size() ||
                    f.s + f.n + suffix_[i] > summary_.size() + nonSummary_.size() ||
                    f.n + suffix_[i] < nonSummary_.size() ||  // the non-summary area must fill up exactly
                    dead_.contains(key(i, f.s))) {
                    path.pop_back();
                    continue;
                }
            }
            const bool guess = flagsSaySummary(items_[i].flags);
            std::optional<Frame> next;
            while (f.tried < 2 && !next) {
                const bool toSummary = f.tried++ == 0 ? guess : !guess;
                if (!fits(i, toSummary ? summary_ : nonSummary_, toSummary ? f.s : f.n)) continue;
                inSummary_[i] = toSummary;
                const std::uint64_t len = items_[i].length;
                next = Frame{toSummary ? f.s + len : f.s, toSummary ? f.n : f.n + len};
            }
            if (next) {
                path.push_back(*next);
            } else {
                dead_.insert(key(i, f.s));
                path.pop_back();
            }
        }
        return false;
    }

    const std::vector<bool>& inSummary() const noexcept { return inSummary_; }
    bool exhausted() const noexcept { return steps_ > kMaxSteps; }

private:
    static std::uint64_t key(std::size_t i, std::uint64_t s) noexcept {
        return (std::uint64_t{static_cast<std::uint32_t>(i)} << 40) ^ s;
    }
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

// Work allowed for trying small moves (fewestMoves): items looked at plus records walked, so that a
// hostile table of thousands of equal lengths cannot make that step cost more than a few milliseconds.
constexpr std::uint64_t kMaxMoveWork = 4'000'000;

// Whether rich text walks as CD records to its exact end (one pad byte allowed): BSIG, WSIG and LSIG
// headers, lengths that include the header, records on even offsets. Each record counts as work;
// past the budget the answer is false, and the caller gives up.
bool walksAsRecords(Bytes v, std::uint64_t& work) {
    std::size_t pos = 0;
    while (pos + 2 <= v.size()) {
        if (++work > kMaxMoveWork) return false;
        const std::uint8_t high = v[pos + 1];
        std::uint64_t length;
        if (high == 0x00) {
            if (v.size() - pos < 6) return false;
            length = loadLE<std::uint32_t>(v.data() + pos + 2);
            if (length < 6) return false;
        } else if (high == 0xFF) {
            if (v.size() - pos < 4) return false;
            length = loadLE<std::uint16_t>(v.data() + pos + 2);
            if (length < 4) return false;
        } else {
            length = high;
        }
        if (length > v.size() - pos) return false;
        pos += static_cast<std::size_t>(length + (length & 1));
    }
    return true;  // at most a pad byte is left
}

// How many values of a complete assignment look right, or nothing when the lengths do not fit (the
// non-summary values fill their area exactly, the summary values fit theirs). A value looks right
// when it starts with a type word it should have, and, for rich text, when its records walk to its end.
std::optional<std::size_t> assignmentScore(const std::vector<ItemEntry>& items, const std::vector<std::uint16_t>& types,
                                           const std::vector<bool>& inSummary, Bytes summary, Bytes nonSummary,
                                           std::uint64_t& work) {
    std::uint64_t s = 0, n = 0;
    std::size_t score = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::uint64_t& at = inSummary[i] ? s : n;
        const Bytes area = inSummary[i] ? summary : nonSummary;
        auto v = slice(area, at, items[i].length);
        if (!v) return std::nullopt;
        at += items[i].length;
        const ItemEntry& e = items[i];
        if ((e.flags & kItemPlaceholder) != 0 || e.length < 2) continue;
        Bytes value = *v;
        std::uint16_t type = types[i];
        if ((e.flags & kItemTypeImplied) == 0) {
            const auto word = storedTypeWord(e.flags, types[i], *v);
            if (!word) continue;
            ++score;
            type = *word;
            value = v->subspan(2);
        }
        if (type == kTypeComposite && walksAsRecords(value, work)) ++score;
    }
    if (n != nonSummary.size()) return std::nullopt;
    return score;
}

// The splits that move only one item, then only two items, away from the flags' guess, tried before
// the depth-first search: that search keeps the guess for the earliest items it can and so may
// settle on a split that moves many later items where one or two items stored against their flags
// explain the lengths (a form in notedata_namelook.nsf keeps two SUMMARY numbers with the
// non-summary values, one in notedata_doclink1.nsf its rich-text $INFO). Among the splits of the
// smallest size whose lengths fit, the one with the most values that look right is taken; a tie
// leaves the choice to the search.
std::optional<std::vector<bool>> fewestMoves(const std::vector<ItemEntry>& items, const std::vector<std::uint16_t>& types,
                                             std::vector<bool> guess, std::uint64_t summaryUsed, Bytes summary,
                                             Bytes nonSummary) {
    constexpr std::size_t kMaxPairItems = 2048;  // bounds the pair loop on hostile item tables
    std::uint64_t work = 0;
    // Summary bytes gained when item i moves to the other area (negative: it leaves the summary).
    auto delta = [&](std::size_t i) -> std::int64_t {
        const auto len = static_cast<std::int64_t>(items[i].length);
        return guess[i] ? -len : len;
    };
    // The non-summary area must grow by exactly this much (the summary area shrinks by the same).
    const std::int64_t nonSummaryShort =
        static_cast<std::int64_t>(nonSummary.size()) -
        (static_cast<std::int64_t>(std::accumulate(items.begin(), items.end(), std::uint64_t{0},
                                                   [](std::uint64_t a, const ItemEntry& e) { return a + e.length; })) -
         static_cast<std::int64_t>(summaryUsed));
    auto lengthsFit = [&](std::int64_t summaryChange) {
        return -summaryChange == nonSummaryShort &&
               static_cast<std::int64_t>(summaryUsed) + summaryChange <= static_cast<std::int64_t>(summary.size());
    };
    std::optional<std::vector<bool>> best;
    std::size_t bestScore = 0;
    bool tie = false, outOfBudget = false;
    auto consider = [&](std::initializer_list<std::size_t> moved) {
        work += items.size();
        if (work > kMaxMoveWork) {
            outOfBudget = true;
            return;
        }
        for (std::size_t i : moved) guess[i] = !guess[i];
        const auto score = assignmentScore(items, types, guess, summary, nonSummary, work);
        if (work > kMaxMoveWork) {
            outOfBudget = true;  // the score was cut short
        } else if (score) {
            if (!best || *score > bestScore) {
                best = guess;
                bestScore = *score;
                tie = false;
            } else if (*score == bestScore) {
                tie = true;
            }
        }
        for (std::size_t i : moved) guess[i] = !guess[i];
    };
    for (std::size_t i = 0; i < items.size() && !outOfBudget; ++i)
        if (lengthsFit(delta(i))) consider({i});
    if (!best && items.size() <= kMaxPairItems)
        for (std::size_t i = 0; i < items.size() && !outOfBudget; ++i)
            for (std::size_t j = i + 1; j < items.size() && !outOfBudget; ++j)
                if (lengthsFit(delta(i) + delta(j))) consider({i, j});
    if (tie || outOfBudget) return std::nullopt;
    return best;
}

}  // namespace

bool flagsSaySummary(std::uint16_t flags) noexcept { return (flags & kItemSummary) != 0; }

std::optional<std::uint16_t> storedTypeWord(std::uint16_t flags, std::uint16_t nameType, Bytes stored) noexcept {
    if ((flags & (kItemTypeImplied | kItemPlaceholder)) != 0 || stored.size() < 2) return std::nullopt;
    const std::uint16_t w = loadLE<std::uint16_t>(stored.data());
    if (w == nameType && w != 0) return w;
    const std::uint8_t cls = static_cast<std::uint8_t>(w >> 8), low = static_cast<std::uint8_t>(w);
    if (cls != 0 && cls == (nameType >> 8) && low < 0x10) return w;
    if (simpleType(w)) return w;
    if ((nameType & 0xFF) == 0x03 && low == 0x03) return w;  // object kinds under an object name
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
        if (auto moved = fewestMoves(items, nameTypes, p.inSummary, s, summary, *nonSummary)) {
            p.inSummary = std::move(*moved);
            found = true;
        }
        for (bool check : {true, false}) {
            if (found) break;
            Search search(items, nameTypes, summary, *nonSummary, check);
            if (search.run()) {
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
