// The test seal format: see nsf/test_seal.h.
#include "nsf/test_seal.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>

#include "nsf/byte_reader.h"
#include "test_cipher.h"

namespace nsf::test_seal {
namespace {

using test_cipher::bytesOf;
using test_cipher::hashParts;
using test_cipher::le64;

constexpr std::uint16_t kVersion = 1;
constexpr std::size_t kCheckBytes = 8;

std::array<std::uint8_t, 16> stream16(std::uint64_t seed) {
    std::array<std::uint8_t, 16> out{};
    test_cipher::xorStream(out, seed);
    return out;
}

std::array<std::uint8_t, kCheckBytes> checkOf(const OpenedSeal& s) {
    return le64(hashParts({bytesOf("check"), s.bulkKey, s.nonce}));
}

std::uint64_t wrapSeed(const EncryptionKey& key, std::span<const std::uint8_t> nonce) {
    return hashParts({bytesOf("wrap"), key.bytes, nonce});
}

bool sealable(const Item& item) { return item.sealed() && !isTestSeal(item); }

void putU16(std::vector<std::uint8_t>& out, std::size_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

}  // namespace

bool isTestSeal(const Item& item) noexcept {
    return item.type == kSealItemType && item.value.size() >= kMarker.size() &&
           std::equal(kMarker.begin(), kMarker.end(), item.value.begin());
}

std::optional<std::size_t> findSeal(std::span<const Item> items) noexcept {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (isTestSeal(items[i])) return i;
    return std::nullopt;
}

Item seal(std::vector<Item>& items, std::span<const EncryptionKey> keys, std::uint64_t nonceSeed) {
    auto invalid = [](const std::string& what) { throw std::invalid_argument("test seal: " + what); };
    if (keys.empty() || keys.size() > kMaxKeysPerSeal) invalid("needs 1 to 64 keys");
    for (const EncryptionKey& key : keys)
        if (key.name.empty() || key.name.size() > kMaxKeyNameBytes || key.bytes.empty() || key.bytes.size() > kMaxKeyBytes)
            invalid("key names need 1 to 64 bytes, keys 1 to 64 bytes");
    if (findSeal(items)) invalid("the note is sealed already");

    OpenedSeal s;
    s.nonce = stream16(hashParts({bytesOf("nonce"), le64(nonceSeed)}));
    std::uint64_t bulkSeed = hashParts({bytesOf("bulk"), s.nonce});
    for (const EncryptionKey& key : keys) bulkSeed = hashParts({le64(bulkSeed), key.bytes});
    s.bulkKey = stream16(bulkSeed);

    Item out;
    out.name = std::string(kSealItemName);
    out.type = kSealItemType;
    out.value.assign(kMarker.begin(), kMarker.end());
    putU16(out.value, kVersion);
    out.value.insert(out.value.end(), s.nonce.begin(), s.nonce.end());
    putU16(out.value, keys.size());
    const auto check = checkOf(s);
    for (const EncryptionKey& key : keys) {
        putU16(out.value, key.name.size());
        out.value.insert(out.value.end(), key.name.begin(), key.name.end());
        std::array<std::uint8_t, 16> wrapped = s.bulkKey;
        test_cipher::xorStream(wrapped, wrapSeed(key, s.nonce));
        out.value.insert(out.value.end(), wrapped.begin(), wrapped.end());
        out.value.insert(out.value.end(), check.begin(), check.end());
    }

    std::vector<Item> sealedCopies;
    std::vector<std::size_t> where;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (sealable(items[i])) {
            sealedCopies.push_back(items[i]);
            where.push_back(i);
        }
    decipher(sealedCopies, s);  // the cipher is its own inverse
    for (std::size_t k = 0; k < where.size(); ++k) items[where[k]].value = std::move(sealedCopies[k].value);
    return out;
}

std::optional<OpenedSeal> open(const Item& sealItem, std::span<const EncryptionKey> keys) {
    if (!isTestSeal(sealItem)) return std::nullopt;
    ByteReader r(sealItem.value, "test seal");
    OpenedSeal s;
    if (!r.skip(kMarker.size())) return std::nullopt;
    auto version = r.u16();
    auto nonce = r.bytes(s.nonce.size());
    auto count = r.u16();
    if (!version || *version != kVersion || !nonce || !count || *count == 0 || *count > kMaxKeysPerSeal)
        return std::nullopt;
    std::copy(nonce->begin(), nonce->end(), s.nonce.begin());
    std::optional<OpenedSeal> found;
    for (std::uint16_t i = 0; i < *count; ++i) {
        auto nameLength = r.u16();
        if (!nameLength || *nameLength == 0 || *nameLength > kMaxKeyNameBytes) return std::nullopt;
        auto name = r.bytes(*nameLength);
        auto wrapped = r.bytes(16);
        auto check = r.bytes(kCheckBytes);
        if (!name || !wrapped || !check) return std::nullopt;
        if (found) continue;  // the rest is only checked for shape
        const std::string_view keyName(reinterpret_cast<const char*>(name->data()), name->size());
        for (const EncryptionKey& key : keys) {
            if (!keyNamesEqual(key.name, keyName)) continue;
            OpenedSeal candidate = s;
            std::copy(wrapped->begin(), wrapped->end(), candidate.bulkKey.begin());
            test_cipher::xorStream(candidate.bulkKey, wrapSeed(key, s.nonce));
            const auto expected = checkOf(candidate);
            if (std::equal(expected.begin(), expected.end(), check->begin())) {
                found = candidate;
                break;
            }
        }
    }
    if (r.remaining() != 0) return std::nullopt;
    return found;
}

void decipher(std::span<Item> sealedItems, const OpenedSeal& opened) {
    std::map<std::string, std::uint64_t> occurrences;
    for (Item& item : sealedItems) {
        const std::uint64_t occurrence = occurrences[item.name]++;
        const std::uint64_t seed =
            hashParts({bytesOf("item"), opened.bulkKey, opened.nonce, bytesOf(item.name), le64(occurrence)});
        test_cipher::xorStream(item.value, seed);
    }
}

}  // namespace nsf::test_seal
