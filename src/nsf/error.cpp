#include "nsf/error.h"

#include <cstdio>

namespace nsf {

std::string_view toString(ErrorKind kind) noexcept {
    switch (kind) {
    case ErrorKind::Io: return "I/O error";
    case ErrorKind::Truncated: return "truncated";
    case ErrorKind::BadSignature: return "bad signature";
    case ErrorKind::BadChecksum: return "bad checksum";
    case ErrorKind::Corrupt: return "corrupt";
    case ErrorKind::Unsupported: return "unsupported";
    case ErrorKind::Encrypted: return "encrypted";
    case ErrorKind::NotFound: return "not found";
    }
    return "error";
}

std::string Error::message() const {
    std::string text(toString(kind_));
    text += ' ';
    text += structure_;
    if (hasOffset()) {
        char buf[40];
        std::snprintf(buf, sizeof buf, " at offset 0x%llx", static_cast<unsigned long long>(offset_));
        text += buf;
    }
    if (!detail_.empty()) {
        text += ": ";
        text += detail_;
    }
    return text;
}

}  // namespace nsf
