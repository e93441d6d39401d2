// LMBCS, the character set of every string a Notes database stores, to and from UTF-8.
//
// Decoding goes through ICU's "LMBCS-1" converter (group 1 = code page 850 is the optimisation group, so a
// byte 0x80..0xFF without a group byte in front is a code page 850 character). Bytes that do not form a
// character (an unassigned group byte, a group byte cut off at the end) become U+FFFD; conversion never
// fails. One converter is cached per thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nsf/byte_reader.h"

namespace nsf {

// LMBCS to UTF-8, byte for byte: a 0x00 byte stays U+0000.
std::string lmbcsToUtf8(Bytes lmbcs);

// LMBCS text as item values and rich text hold it: a 0x00 byte is a line break and becomes "\n".
std::string lmbcsTextToUtf8(Bytes lmbcs);

// UTF-8 to LMBCS. Invalid UTF-8 sequences become U+FFFD first. Characters outside group 1 are written with
// a group byte; which group ICU picks for a character several groups can hold is not guaranteed to match
// what Notes itself would write, so encoded bytes must not be compared with stored ones.
std::vector<std::uint8_t> utf8ToLmbcs(std::string_view utf8);

// As utf8ToLmbcs, for text going into an item value: "\r\n" and "\n" become the 0x00 line break.
std::vector<std::uint8_t> utf8TextToLmbcs(std::string_view utf8);

}  // namespace nsf
