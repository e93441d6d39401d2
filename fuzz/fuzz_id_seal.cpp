// libFuzzer target: read the input as an ID file, and as the value of a test seal opened with the
// keys of a fixed test ID (and, when it opens, decipher an item with it).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "nsf/id_file.h"
#include "nsf/test_seal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (auto id = nsf::readIdFile(bytes, "fuzz.id")) (void)id->acceptsPassword("pw");

    static const std::vector<nsf::EncryptionKey> keys = {{"Sales", {1, 2, 3, 4}}, {"Legal", {5}}};
    nsf::Item seal{"$Seal", nsf::test_seal::kSealItemType, 0, 0, {}};
    seal.value.assign(nsf::test_seal::kMarker.begin(), nsf::test_seal::kMarker.end());
    seal.value.insert(seal.value.end(), bytes.begin(), bytes.end());
    if (auto opened = nsf::test_seal::open(seal, keys)) {
        std::vector<nsf::Item> items{nsf::Item{"Body", 1280, nsf::kItemSeal, 0, {bytes.begin(), bytes.end()}}};
        nsf::test_seal::decipher(items, *opened);
    }
    return 0;
}
