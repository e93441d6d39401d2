// MIME streams for reading: the TYPE_MIME_PART items of a note written out one after the other
// (delimiter line, headers, body), which gives back the MIME entity they were itemised from. Bodies
// kept in $FILE objects are read in and given the transfer encoding their part's headers declare.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "api_guard.h"
#include "handles.h"
#include "mime_part.h"
#include "mime_text.h"
#include "note_access.h"
#include "notesapi/mime.h"
#include "notesapi/nsfdata.h"
#include "notesapi/status.h"

namespace notesrt {
namespace {

constexpr std::size_t kMaxStreamBytes = 256u << 20;  // one serialised message
constexpr std::size_t kMaxObjectBytes = 128u << 20;  // bodies read from $FILE objects, together

class MimeStreamObject final : public HandleObject {
public:
    static constexpr HandleKind kKind = HandleKind::MimeStream;
    explicit MimeStreamObject(std::string bytes) : HandleObject(kKind), bytes_(std::move(bytes)) {}

    std::string_view rest() const noexcept { return std::string_view(bytes_).substr(position_); }
    void advance(std::size_t n) noexcept { position_ += std::min(n, bytes_.size() - position_); }
    void rewind() noexcept { position_ = 0; }

private:
    std::string bytes_;
    std::size_t position_ = 0;
};

// A MIMEHANDLE carries the handle number: a stale or made-up one is refused like any other.
MIMEHANDLE toMimeHandle(DHANDLE h) noexcept { return reinterpret_cast<MIMEHANDLE>(static_cast<std::uintptr_t>(h)); }
std::shared_ptr<MimeStreamObject> findStream(MIMEHANDLE h) {
    const auto number = reinterpret_cast<std::uintptr_t>(h);
    if (number == 0 || number > UINT32_MAX)
        return nullptr;
    return handles().get<MimeStreamObject>(static_cast<DHANDLE>(number));
}

// A body kept in a $FILE object, in the transfer encoding `declared` by its part. A missing or
// unreadable object fails the stream: a message without its part would pass for whole.
std::string objectInEncoding(PartObjects& objects, std::string_view name, const std::string& declared, STATUS& status) {
    const WORD stored = objects.encoding(name);
    const bool base64 = declared == "base64";
    const bool qp = declared == "quoted-printable";
    if ((base64 && stored == ENCODE_BASE64) || (qp && stored == ENCODE_QP))
        return objects.body(name, kMaxStreamBytes, false, &status);
    std::string bytes = objects.body(name, kMaxStreamBytes, true, &status);
    if (base64)
        return mime::encodeBase64(bytes);
    if (qp)
        return mime::encodeQuotedPrintable(bytes);
    return bytes;
}

STATUS serialise(const NoteObject& note, const char* name, WORD nameLength, DWORD flags, std::string& out) {
    PartObjects objects(note, kMaxObjectBytes);
    bool root = true;
    bool afterObject = false;
    return forEachStoredPart(note, name, nameLength, [&](std::size_t, const std::optional<StoredPart>& part) -> STATUS {
        if (!part)
            return ERR_RUNTIME_CORRUPT;  // leaving a part out would change the message
        // A body kept in an object ends with its content; the line end that belongs to the next
        // delimiter, which an item body carries, is then written here.
        if (afterObject && part->boundary.starts_with("--"))
            out += "\r\n";
        out += part->boundary;
        if (!root || (flags & MIME_STREAM_MIME_INCLUDE_HEADERS) != 0)
            out += part->headers;
        root = false;
        afterObject = (part->flags & kBodyInObject) != 0;
        if (afterObject) {
            STATUS status = NOERROR;
            out += objectInEncoding(objects, part->body, transferEncoding(part->headers), status);
            if (status != NOERROR)
                return status;
        } else {
            out += part->body;
        }
        return out.size() > kMaxStreamBytes ? ERR_RUNTIME_TOO_LARGE : NOERROR;
    });
}

}  // namespace
}  // namespace notesrt

using namespace notesrt;

extern "C" STATUS MIMEStreamOpen(NOTEHANDLE hNote, const char* pchItemName, WORD wItemNameLen, DWORD dwOpenFlags,
                                 MIMEHANDLE* rethMIMEStream) {
    if (rethMIMEStream != nullptr)
        *rethMIMEStream = NULLMIMEHANDLE;
    return guardStatus("MIMEStreamOpen", [&]() -> STATUS {
        if (rethMIMEStream == nullptr)
            return ERR_MISC_INVALID_ARGS;
        if ((dwOpenFlags & MIME_STREAM_OPEN_READ) == 0)
            return (dwOpenFlags & MIME_STREAM_OPEN_WRITE) != 0 ? ERR_RUNTIME_NOT_IMPLEMENTED : ERR_MISC_INVALID_ARGS;
        const auto note = findNote(hNote);
        if (!note)
            return ERR_RUNTIME_BAD_HANDLE;
        static constexpr char kBody[] = "Body";
        const char* name = pchItemName != nullptr ? pchItemName : kBody;
        const WORD length = pchItemName != nullptr ? wItemNameLen : WORD{sizeof kBody - 1};
        std::string bytes;
        if (const STATUS s = serialise(*note, name, length, dwOpenFlags, bytes); s != NOERROR)
            return s;
        const DHANDLE h = handles().add(std::make_shared<MimeStreamObject>(std::move(bytes)));
        if (h == NULLHANDLE)
            return ERR_RUNTIME_NO_MEMORY;
        *rethMIMEStream = toMimeHandle(h);
        return NOERROR;
    });
}

extern "C" int MIMEStreamRead(unsigned char* chData, unsigned int* retuiDataLen, unsigned int uiMaxDataLen,
                              MIMEHANDLE hMIMEStream) {
    if (retuiDataLen != nullptr)
        *retuiDataLen = 0;
    return guardValue("MIMEStreamRead", MIME_STREAM_IO, [&]() -> int {
        const auto stream = findStream(hMIMEStream);
        if (!stream || chData == nullptr || retuiDataLen == nullptr)
            return MIME_STREAM_IO;
        const std::string_view rest = stream->rest();
        if (rest.empty())
            return MIME_STREAM_EOS;
        const std::size_t n = std::min<std::size_t>(rest.size(), uiMaxDataLen);
        std::memcpy(chData, rest.data(), n);
        stream->advance(n);
        *retuiDataLen = static_cast<unsigned int>(n);
        return MIME_STREAM_SUCCESS;
    });
}

extern "C" int MIMEStreamGetLine(char* szLine, unsigned int uiMaxLineSize, MIMEHANDLE hMIMEStream) {
    return guardValue("MIMEStreamGetLine", MIME_STREAM_IO, [&]() -> int {
        const auto stream = findStream(hMIMEStream);
        if (!stream || szLine == nullptr || uiMaxLineSize == 0)
            return MIME_STREAM_IO;
        szLine[0] = '\0';
        const std::string_view rest = stream->rest();
        if (rest.empty())
            return MIME_STREAM_EOS;
        const std::size_t lineEnd = rest.find('\n');
        const std::size_t line = lineEnd == std::string_view::npos ? rest.size() : lineEnd + 1;
        const std::size_t n = std::min<std::size_t>(line, uiMaxLineSize - 1);
        std::memcpy(szLine, rest.data(), n);
        szLine[n] = '\0';
        stream->advance(n);
        return MIME_STREAM_SUCCESS;
    });
}

extern "C" int MIMEStreamRewind(MIMEHANDLE hMIMEStream) {
    return guardValue("MIMEStreamRewind", MIME_STREAM_IO, [&]() -> int {
        const auto stream = findStream(hMIMEStream);
        if (!stream)
            return MIME_STREAM_IO;
        stream->rewind();
        return MIME_STREAM_SUCCESS;
    });
}

extern "C" void MIMEStreamClose(MIMEHANDLE hMIMEStream) {
    guardVoid("MIMEStreamClose", [&] {
        const auto number = reinterpret_cast<std::uintptr_t>(hMIMEStream);
        if (number != 0 && number <= UINT32_MAX)
            handles().remove(static_cast<DHANDLE>(number), HandleKind::MimeStream);
    });
}
