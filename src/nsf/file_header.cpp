#include "file_header.h"

#include <string>

namespace nsf::detail {

Expected<FileHeader> parseFileHeader(Bytes file) {
    using namespace file_header_layout;
    ByteReader r(file, "file header");
    auto sig = r.u16();
    if (!sig) return std::unexpected(sig.error());
    if (*sig != kSignatureValue)
        return fail(ErrorKind::BadSignature, "file header", "not a Notes database (no 1A 00 signature)", 0);
    auto size = r.u32();
    if (!size) return std::unexpected(size.error());
    if (*size != 1024 && *size != 2048)
        return fail(ErrorKind::Unsupported, "file header",
                    "database header size " + std::to_string(*size) + " (only 1024 and 2048 are supported)", 2);
    if (*size > file.size())
        return fail(ErrorKind::Truncated, "database header",
                    "file has " + std::to_string(file.size()) + " bytes, header needs " + std::to_string(*size), 0);
    return FileHeader{*size};
}

}  // namespace nsf::detail
