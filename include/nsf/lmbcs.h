// LMBCS, the character set of every string a Notes database stores, to and from UTF-8.
//
// Decoding goes through ICU's "LMBCS-1" converter (group 1 = code page 850 is the optimisation group, so a
// byte 0x80..0xFF without a group byte in front is a code page 850 character). Bytes that do not form a
// character (an unassigned group byte, a group byte cut off at the end) become U+FFFD. Bytes that are
// characters by themselves are taken from a table that ICU fills, up to the first byte that is not one.
// One converter is cached per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "nsf/byte_reader.h"

namespace nsf {

// LMBCS to UTF-8, byte for byte: a 0x00 byte stays U+0000.
std::string lmbcsToUtf8(Bytes lmbcs);

// LMBCS text as item values and rich text hold it: a 0x00 byte is a line break and becomes "\n".
std::string lmbcsTextToUtf8(Bytes lmbcs);

// Where a strict decoding stopped: the offset of the first byte of a character that UTF-8 cannot hold
// (half of a surrogate pair, which the Unicode group 0x14 can carry alone).
struct LmbcsRefusal {
    std::size_t offset = 0;
};

// As lmbcsToUtf8, for callers that must not pass such a character off as U+FFFD: it fails the whole text.
// Bytes that do not form a character still become U+FFFD.
std::expected<std::string, LmbcsRefusal> lmbcsToUtf8Strict(Bytes lmbcs);

// The same conversion straight into `out`, for text in which every byte is a character by itself
// (printable ASCII, tab, line ends, NUL and the single-byte characters of group 1): the number of bytes
// written. Nothing when the text needs the whole decoder or its UTF-8 does not fit.
std::optional<std::size_t> lmbcsToUtf8Into(Bytes lmbcs, std::span<char> out);

// The length of the longest start of decoded (valid UTF-8) text that is at most `limit` bytes and ends
// on a character boundary: how much of a decoding fits a caller's buffer.
std::size_t utf8FittingPrefix(std::string_view utf8, std::size_t limit) noexcept;

// UTF-8 to LMBCS. Invalid UTF-8 sequences become U+FFFD first. Characters outside group 1 are written with
// a group byte; which group ICU picks for a character several groups can hold is not guaranteed to match
// what Notes itself would write, so encoded bytes must not be compared with stored ones.
std::vector<std::uint8_t> utf8ToLmbcs(std::string_view utf8);

// As utf8ToLmbcs, for text going into an item value: "\r\n" and "\n" become the 0x00 line break.
std::vector<std::uint8_t> utf8TextToLmbcs(std::string_view utf8);

}  // namespace nsf
