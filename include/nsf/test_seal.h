// Test sealing: a note encrypted for named keys in a format of this project, made only of ordinary
// items and item flags so that it survives being written to and read back from a database file.
//
// - Every encrypted item keeps its name, type and flags (kItemSeal set); its value is enciphered.
// - A "$Seal" item of type TYPE_SEAL holds, after the marker "nsfrex-test-seal" and a version word,
//   a 16-byte nonce and one entry per key: the key's name, the note's 16-byte bulk key enciphered
//   with that key, and an 8-byte check of the bulk key (little-endian; layout in docs/runtime.md).
//
// The cipher is a splitmix64 key stream seeded by an FNV-1a hash: it is a test format, NOT
// protection. Notes sealed by Notes itself carry no marker and are never opened by this code.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "nsf/database.h"
#include "nsf/id_file.h"

namespace nsf::test_seal {

inline constexpr std::string_view kMarker = "nsfrex-test-seal";
inline constexpr std::string_view kSealItemName = "$Seal";
inline constexpr std::uint16_t kSealItemType = 0x0009;  // TYPE_SEAL
inline constexpr std::size_t kMaxKeysPerSeal = 64;

// The key that opens the items of one sealed note.
struct OpenedSeal {
    std::array<std::uint8_t, 16> bulkKey{};
    std::array<std::uint8_t, 16> nonce{};
};

// True for a $Seal item in this format (whatever its entries).
bool isTestSeal(const Item& item) noexcept;
// Index of the note's test seal item, if it has one.
std::optional<std::size_t> findSeal(std::span<const Item> items) noexcept;

// Enciphers every item flagged kItemSeal in `items` and returns the $Seal item for `keys` (which the
// caller adds). `nonceSeed` makes the nonce (e.g. the note ID), so that builds are reproducible.
// Throws std::invalid_argument for no keys, too many, a key the ID format could not hold, or items
// that already carry a seal.
Item seal(std::vector<Item>& items, std::span<const EncryptionKey> keys, std::uint64_t nonceSeed);

// The bulk key, opened with the first key of `keys` that the seal names and whose check matches;
// nullopt when none does or the seal is malformed.
std::optional<OpenedSeal> open(const Item& sealItem, std::span<const EncryptionKey> keys);

// Deciphers the values of `sealedItems` (the note's kItemSeal items, in stored order) in place.
void decipher(std::span<Item> sealedItems, const OpenedSeal& opened);

}  // namespace nsf::test_seal
