// The keyed mixing shared by the test ID file and test seal formats: a 64-bit FNV-1a hash and a
// splitmix64 key stream. Reproducible and simple to write again in any language; NOT cryptography.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace nsf::test_cipher {

inline std::span<const std::uint8_t> bytesOf(std::string_view s) noexcept {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// FNV-1a over each part, every part preceded by its length as 8 little-endian bytes, so that
// ("ab", "c") and ("a", "bc") differ.
inline std::uint64_t hashParts(std::initializer_list<std::span<const std::uint8_t>> parts) noexcept {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    auto mix = [&h](std::uint8_t b) {
        h ^= b;
        h *= 0x100000001b3ULL;
    };
    for (const auto& part : parts) {
        std::uint64_t n = part.size();
        for (int i = 0; i < 8; ++i) mix(static_cast<std::uint8_t>(n >> (8 * i)));
        for (std::uint8_t b : part) mix(b);
    }
    return h;
}

// splitmix64 output stream from a seed, XORed over `bytes` (its own inverse).
inline void xorStream(std::span<std::uint8_t> bytes, std::uint64_t seed) noexcept {
    std::uint64_t state = seed;
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 8 == 0) {
            state += 0x9e3779b97f4a7c15ULL;
            word = state;
            word = (word ^ (word >> 30)) * 0xbf58476d1ce4e5b9ULL;
            word = (word ^ (word >> 27)) * 0x94d049bb133111ebULL;
            word ^= word >> 31;
        }
        bytes[i] ^= static_cast<std::uint8_t>(word >> (8 * (i % 8)));
    }
}

inline std::array<std::uint8_t, 8> le64(std::uint64_t v) noexcept {
    std::array<std::uint8_t, 8> out{};
    for (int i = 0; i < 8; ++i) out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    return out;
}

}  // namespace nsf::test_cipher
