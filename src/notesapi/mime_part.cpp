#include "mime_part.h"

#include <algorithm>

#include "mime_text.h"
#include "note_access.h"
#include "notesapi/nsfdata.h"
#include "notesapi/status.h"
#include "nsf/byte_reader.h"

namespace notesrt {

std::optional<StoredPart> parsePart(const std::vector<std::uint8_t>& block) {
    nsf::ByteReader r(nsf::Bytes(block.data(), block.size()), "MIME_PART");
    StoredPart part;
    if (!r.skip(4))  // type word, version
        return std::nullopt;
    auto flags = r.u32();
    auto partType = r.u8();
    if (!flags || !partType || !r.skip(1))
        return std::nullopt;
    auto byteCount = r.u16();
    auto boundaryLength = r.u16();
    auto headersLength = r.u16();
    if (!byteCount || !boundaryLength || !headersLength || !r.skip(6))
        return std::nullopt;
    auto boundary = r.bytes(*boundaryLength);
    auto headers = boundary ? r.bytes(*headersLength) : boundary;
    if (!boundary || !headers)
        return std::nullopt;
    // The byte count covers boundary, headers and body; the body may go on in the next item.
    const std::size_t prefix = std::size_t{*boundaryLength} + *headersLength;
    if (*byteCount < prefix)
        return std::nullopt;
    auto body = r.bytes(std::min(std::size_t{*byteCount} - prefix, r.remaining()));
    auto view = [](nsf::Bytes b) { return std::string_view(reinterpret_cast<const char*>(b.data()), b.size()); };
    part.type = *partType;
    part.flags = *flags;
    part.boundary = view(*boundary);
    part.headers = view(*headers);
    part.body = view(*body);
    return part;
}

const FileObjectInfo* PartObjects::find(std::string_view name) {
    if (!listed_) {
        listed_ = true;
        for (auto index = findItem(note_, ITEM_NAME_ATTACHMENT, 5, 0); index;
             index = findItem(note_, ITEM_NAME_ATTACHMENT, 5, *index + 1))
            if (FileObjectInfo info; fileObjectOf(note_, *index, info) == NOERROR)
                files_.push_back(std::move(info));
    }
    const auto file = std::ranges::find(files_, name, &FileObjectInfo::name);
    return file == files_.end() ? nullptr : &*file;
}

WORD PartObjects::encoding(std::string_view name) {
    const FileObjectInfo* file = find(name);
    return file ? static_cast<WORD>(file->flags & ENCODE_MASK) : WORD{ENCODE_NONE};
}

std::string PartObjects::body(std::string_view name, std::size_t limit, bool decode, STATUS* status) {
    const FileObjectInfo* file = find(name);
    limit = std::min(limit, budget_);
    if (status != nullptr)
        *status = file == nullptr ? ERR_ITEM_NOT_FOUND : limit == 0 ? ERR_RUNTIME_TOO_LARGE : NOERROR;
    if (file == nullptr || limit == 0)
        return {};
    std::string bytes;
    const STATUS read = streamObject(note_, *file, [&bytes, limit](const BYTE* data, DWORD length) -> STATUS {
        bytes.append(reinterpret_cast<const char*>(data), std::min<std::size_t>(length, limit - bytes.size()));
        return bytes.size() < limit ? NOERROR : ERR_RUNTIME_TOO_LARGE;  // enough read
    });
    budget_ -= bytes.size();
    if (status != nullptr)
        *status = read;
    if (!decode)
        return bytes;
    switch (file->flags & ENCODE_MASK) {
    case ENCODE_BASE64: return mime::decodeBase64(bytes);
    case ENCODE_QP: return mime::decodeQuotedPrintable(bytes);
    default: return bytes;
    }
}

}  // namespace notesrt

namespace notesrt {

std::string transferEncoding(std::string_view headers) {
    constexpr std::string_view kName = "content-transfer-encoding:";
    std::size_t lineStart = 0;
    while (lineStart < headers.size()) {
        std::size_t lineEnd = headers.find('\n', lineStart);
        if (lineEnd == std::string_view::npos)
            lineEnd = headers.size();
        const std::string_view line = headers.substr(lineStart, lineEnd - lineStart);
        if (line.size() >= kName.size() &&
            std::ranges::equal(line.substr(0, kName.size()), kName,
                               [](char a, char b) { return (a >= 'A' && a <= 'Z' ? char(a + 32) : a) == b; })) {
            std::string value;
            for (const char c : line.substr(kName.size()))
                if (c != ' ' && c != '\t' && c != '\r')
                    value.push_back(c >= 'A' && c <= 'Z' ? char(c + 32) : c);
            return value;
        }
        lineStart = lineEnd + 1;
    }
    return {};
}

}  // namespace notesrt
