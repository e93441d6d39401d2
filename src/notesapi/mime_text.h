// The text of a MIME part: transfer decoding and character sets.
#pragma once

#include <string>
#include <string_view>

namespace notesrt::mime {

// Base64 with line breaks and stray characters skipped; padding ends a group, so joined encodings
// decode one after the other.
std::string decodeBase64(std::string_view in);

// Quoted-printable: "=XY" decoded, "=" at a line end is a soft line break, a malformed "=" stays.
std::string decodeQuotedPrintable(std::string_view in);

// Bytes of the named character set to valid UTF-8. Sets ICU does not know, US-ASCII and ISO-8859-1
// are read as windows-1252 (its superset in practice); `known` tells whether the name was recognised.
std::string charsetToUtf8(std::string_view bytes, std::string_view charset, bool* known = nullptr);

// A header value with its RFC 2047 encoded words ("=?charset?B?...?=", "=?charset?Q?...?=") decoded to
// UTF-8; white space between two encoded words is dropped, other text stays as it is.
std::string decodeEncodedWords(std::string_view value);

}  // namespace notesrt::mime

namespace notesrt::mime {

// Base64 in lines of 76 characters, each ended by CR LF.
std::string encodeBase64(std::string_view in);

// Quoted-printable with CR LF line ends kept as line ends, soft breaks before 76 characters.
std::string encodeQuotedPrintable(std::string_view in);

}  // namespace notesrt::mime
