#include "nsf/ole_storage.h"

#include <algorithm>

namespace nsf {
namespace {
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kMinNameSize = 2;  // one character and its NUL
}  // namespace

Expected<ByteArrayIndex> decodeByteArrayIndex(Bytes value) {
    if (value.size() < kHeaderSize)
        return fail(ErrorKind::Truncated, "byte array index",
                    std::to_string(value.size()) + " bytes, shorter than its 32-byte header");
    ByteArrayIndex index;
    index.version = loadLE<std::uint32_t>(value.data());
    const std::uint32_t count = loadLE<std::uint32_t>(value.data() + 4);
    index.pageSize = loadLE<std::uint32_t>(value.data() + 8);
    ByteReader r(value, "byte array index");
    (void)r.seek(kHeaderSize);
    // Checked before anything is reserved: a damaged count cannot ask for more than the bytes hold.
    if (count > r.remaining() / kMinNameSize)
        return fail(ErrorKind::Corrupt, "byte array index",
                    std::to_string(count) + " page names do not fit in " + std::to_string(r.remaining()) + " bytes");
    index.pageNames.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const Bytes rest = value.subspan(r.position());
        const auto nul = std::find(rest.begin(), rest.end(), std::uint8_t{0});
        if (nul == rest.end())
            return fail(ErrorKind::Truncated, "byte array index", "page name " + std::to_string(i) + " has no end",
                        r.position());
        const std::size_t length = static_cast<std::size_t>(nul - rest.begin());
        if (length == 0)
            return fail(ErrorKind::Corrupt, "byte array index", "page name " + std::to_string(i) + " is empty",
                        r.position());
        index.pageNames.emplace_back(reinterpret_cast<const char*>(rest.data()), length);
        // The name, its NUL and a pad byte to an even length; the last pad may be missing.
        const std::size_t step = (length + 2) & ~std::size_t{1};
        (void)r.skip(std::min(step, rest.size()));
    }
    return index;
}

}  // namespace nsf
