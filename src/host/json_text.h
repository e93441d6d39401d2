// JSON text for command output: strings quoted and escaped, invalid UTF-8 shown as U+FFFD.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "text.h"

namespace nsfrex {

inline std::string jsonQuoted(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out.push_back(static_cast<char>(c));
                }
            }
            ++i;
            continue;
        }
        // A well-formed multi-byte sequence is copied; anything else becomes U+FFFD.
        const std::size_t length = utf8SequenceLength(text, i);
        const bool valid = length != 0;
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out + "\"";
}

// [1, 2, 3]
inline std::string jsonIntegers(const std::vector<int>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) out += cat(i == 0 ? "" : ", ", values[i]);
    return out + "]";
}

}  // namespace nsfrex
