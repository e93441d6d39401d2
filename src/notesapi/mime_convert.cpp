// MIME parts to rich text. A note stores a MIME message as a sequence of TYPE_MIME_PART items, one
// per part in message order, each with its delimiter line, its headers and its body (or the name of
// the $FILE object holding the body). The sequence is rebuilt into the message's tree by the
// multipart boundaries, and the tree's text becomes paragraphs: of a multipart/alternative the
// text/plain choice (else the first choice that has text), of any other multipart every text part
// in order; attachments, images and other types contribute nothing.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api_guard.h"
#include "composite_text.h"
#include "file_objects.h"
#include "mime_body.h"
#include "mime_text.h"
#include "note_access.h"
#include "notesapi/mime.h"
#include "notesapi/nsfdata.h"
#include "notesapi/status.h"
#include "nsf/byte_reader.h"

namespace notesrt {
namespace {

// Bounds for hostile notes.
constexpr std::size_t kMaxDepth = 32;                    // nested multiparts followed
constexpr std::size_t kMaxParts = 10000;                 // parts of one message
constexpr std::size_t kMaxPartBytes = 16u << 20;         // body bytes of one part
constexpr std::size_t kMaxTextBytes = 32u << 20;         // text of the whole message
constexpr std::size_t kMaxObjectBytes = 64u << 20;       // bodies read from $FILE objects, together

constexpr std::uint8_t kPartBody = 2;
constexpr std::uint32_t kHasBoundary = 0x1;
constexpr std::uint32_t kHasHeaders = 0x2;
constexpr std::uint32_t kBodyInObject = 0x4;

struct StoredPart {
    std::uint8_t type = 0;
    std::uint32_t flags = 0;
    std::string_view boundary;  // into the item's value block
    std::string_view headers;
    std::string_view body;
};

// The MIME_PART of a value block (type word first). The stored byte count is not trusted beyond
// the item: what the item holds after boundary and headers is the body.
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

std::string lower(std::string_view s) {
    std::string out(s);
    std::ranges::transform(out, out.begin(), [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; });
    return out;
}

std::string_view trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// The parameter `name` of a header value ("text/plain; charset=\"x\""), unquoted; empty if absent.
std::string parameter(std::string_view value, std::string_view name) {
    constexpr auto npos = std::string_view::npos;
    std::size_t i = value.find(';');
    while (i != npos && i < value.size()) {
        ++i;
        const std::size_t eq = value.find_first_of("=;", i);
        if (eq == npos)
            return {};
        if (value[eq] == ';') {
            i = eq;
            continue;
        }
        const bool match = lower(trim(value.substr(i, eq - i))) == name;
        std::string result;
        std::size_t j = eq + 1;
        while (j < value.size() && (value[j] == ' ' || value[j] == '\t'))
            ++j;
        if (j < value.size() && value[j] == '"') {
            for (++j; j < value.size() && value[j] != '"'; ++j) {
                if (value[j] == '\\' && j + 1 < value.size())
                    ++j;
                result.push_back(value[j]);
            }
            i = value.find(';', j);
        } else {
            const std::size_t end = value.find(';', j);
            result = std::string(trim(value.substr(j, end == npos ? npos : end - j)));
            i = end;
        }
        if (match)
            return result;
    }
    return {};
}

struct Node {
    std::string type = "text/plain";  // lower case, without parameters
    std::string charset;
    std::string encoding;  // lower case
    std::string boundary;
    bool attachment = false;
    std::string body;      // raw body, or the $FILE name when inObject
    bool inObject = false;
    bool delimited = false;  // inside a multipart: the line end before the next delimiter is not body
    std::vector<std::size_t> children;
    bool multipart() const { return type.starts_with("multipart/"); }
};

void readHeaders(std::string_view headers, Node& node) {
    std::string unfolded;  // continuation lines joined to their header
    for (std::size_t i = 0; i < headers.size(); ++i) {
        if (headers[i] == '\r')
            continue;
        if (headers[i] == '\n' && i + 1 < headers.size() && (headers[i + 1] == ' ' || headers[i + 1] == '\t'))
            continue;
        unfolded.push_back(headers[i]);
    }
    std::string_view rest = unfolded;
    while (!rest.empty()) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest = line.size() < rest.size() ? rest.substr(line.size() + 1) : std::string_view{};
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string name = lower(trim(line.substr(0, colon)));
        const std::string_view value = trim(line.substr(colon + 1));
        if (name == "content-type") {
            node.type = lower(trim(value.substr(0, value.find(';'))));
            node.charset = parameter(value, "charset");
            node.boundary = parameter(value, "boundary");
        } else if (name == "content-transfer-encoding") {
            node.encoding = lower(value);
        } else if (name == "content-disposition") {
            node.attachment = lower(trim(value.substr(0, value.find(';')))) == "attachment";
        }
    }
}

// The message tree rebuilt from the stored parts. Node 0 is an implicit container for the top level.
class MessageTree {
public:
    MessageTree() {
        nodes_.emplace_back();
        nodes_[0].type = "multipart/mixed";
        open_.push_back(0);
    }

    void add(const StoredPart& part) {
        followDelimiter(part.boundary);
        if (nodes_.size() >= kMaxParts)
            return;
        const bool hasHeaders = !part.headers.empty();
        if (!hasHeaders && part.type != kPartBody)
            return;  // prolog or epilog text: not part of the message's content
        if (!hasHeaders && part.boundary.empty() && last_ != 0 && !nodes_[last_].inObject &&
            (part.flags & kBodyInObject) == 0) {
            nodes_[last_].body.append(part.body);  // a long body goes on in further items
            return;
        }
        Node node;
        readHeaders(part.headers, node);
        node.inObject = (part.flags & kBodyInObject) != 0;
        node.delimited = open_.back() != 0;
        if (!node.multipart())
            node.body.assign(part.body);
        const std::size_t index = nodes_.size();
        nodes_[open_.back()].children.push_back(index);
        const bool opens = node.multipart() && !node.boundary.empty() && open_.size() <= kMaxDepth;
        nodes_.push_back(std::move(node));
        last_ = opens ? 0 : index;
        if (opens)
            open_.push_back(index);
    }

    const Node& node(std::size_t i) const { return nodes_[i]; }

private:
    // A delimiter line "--b" returns to the multipart of boundary b; "--b--" closes it.
    void followDelimiter(std::string_view stored) {
        stored.remove_prefix(std::min(stored.find_first_not_of("\r\n"), stored.size()));
        const std::string_view line = trim(stored.substr(0, stored.find_first_of("\r\n")));
        if (!line.starts_with("--"))
            return;
        const std::string_view name = line.substr(2);
        for (std::size_t depth = open_.size(); depth-- > 1;) {
            const std::string& boundary = nodes_[open_[depth]].boundary;
            const bool opening = name == boundary;
            const bool closing = name.size() == boundary.size() + 2 && name.starts_with(boundary) && name.ends_with("--");
            if (opening || closing) {
                open_.resize(closing ? depth : depth + 1);
                last_ = 0;
                return;
            }
        }
    }

    std::vector<Node> nodes_;
    std::vector<std::size_t> open_;  // multiparts whose parts are still coming, outermost first
    std::size_t last_ = 0;           // the part a headerless continuation extends (0: none)
};

// The payload of a $FILE object, at most `limit` bytes, with the object's own transfer encoding
// undone. A damaged object gives what could be read.
std::string objectBody(const NoteObject& note, const FileObjectInfo& info, std::size_t limit) {
    std::string bytes;
    streamObject(note, info, [&bytes, limit](const BYTE* data, DWORD length) -> STATUS {
        bytes.append(reinterpret_cast<const char*>(data), std::min<std::size_t>(length, limit - bytes.size()));
        return bytes.size() < limit ? NOERROR : ERR_RUNTIME_TOO_LARGE;  // enough read
    });
    switch (info.flags & ENCODE_MASK) {
    case ENCODE_BASE64: return mime::decodeBase64(bytes);
    case ENCODE_QP: return mime::decodeQuotedPrintable(bytes);
    default: return bytes;
    }
}

class TextCollector {
public:
    TextCollector(const NoteObject& note, const MessageTree& tree) : note_(note), tree_(tree) {}

    void collect(std::size_t index) {
        if (text_.size() >= kMaxTextBytes)
            return;
        const Node& node = tree_.node(index);
        if (node.type == "multipart/alternative") {
            // The plain-text choice when there is one; otherwise the first choice that has text.
            for (const std::size_t child : node.children)
                if (tree_.node(child).type == "text/plain" && !tree_.node(child).attachment) {
                    const std::size_t before = text_.size();
                    collect(child);
                    if (text_.size() > before)
                        return;
                }
            for (const std::size_t child : node.children) {
                const std::size_t before = text_.size();
                collect(child);
                if (text_.size() > before)
                    return;
            }
        } else if (node.multipart()) {
            for (const std::size_t child : node.children)
                collect(child);
        } else if ((node.type == "text/plain" || node.type == "text/html") && !node.attachment) {
            append(partText(node));
        }
    }

    std::string take() { return std::move(text_); }

private:
    std::string partText(const Node& node) {
        std::string_view raw = node.body;
        if (node.delimited && !node.inObject) {
            if (raw.ends_with("\r\n"))
                raw.remove_suffix(2);
            else if (raw.ends_with('\n'))
                raw.remove_suffix(1);
        }
        std::string bytes;
        if (node.inObject) {
            bytes = fileBody(raw);
        } else if (node.encoding == "base64") {
            bytes = mime::decodeBase64(raw);
        } else if (node.encoding == "quoted-printable") {
            bytes = mime::decodeQuotedPrintable(raw);
        } else {
            bytes = raw;  // 7bit, 8bit, binary and unknown encodings are taken as they are
        }
        if (bytes.size() > kMaxPartBytes)
            bytes.resize(kMaxPartBytes);
        const std::string utf8 = mime::charsetToUtf8(bytes, node.charset);
        return node.type == "text/html" ? mime::htmlToText(utf8) : utf8;
    }

    void append(std::string_view text) {
        if (text.empty())
            return;
        if (!text_.empty() && text_.back() != '\n')
            text_.push_back('\n');  // each part starts a paragraph
        for (std::size_t i = 0; i < text.size() && text_.size() < kMaxTextBytes; ++i) {
            if (text[i] == '\r') {
                if (i + 1 < text.size() && text[i + 1] == '\n')
                    continue;
                text_.push_back('\n');  // a lone CR ends a line as well
            } else {
                text_.push_back(text[i]);
            }
        }
    }

    // The body kept in the $FILE object named `name`; all such bodies together read at most
    // kMaxObjectBytes, however often parts name the same object.
    std::string fileBody(std::string_view name) {
        if (!filesListed_) {
            filesListed_ = true;
            for (auto index = findItem(note_, ITEM_NAME_ATTACHMENT, 5, 0); index;
                 index = findItem(note_, ITEM_NAME_ATTACHMENT, 5, *index + 1))
                if (FileObjectInfo info; fileObjectOf(note_, *index, info) == NOERROR)
                    files_.push_back(std::move(info));
        }
        const auto file = std::ranges::find(files_, name, &FileObjectInfo::name);
        if (file == files_.end() || objectBytes_ >= kMaxObjectBytes)
            return {};
        std::string bytes = objectBody(note_, *file, std::min(kMaxPartBytes, kMaxObjectBytes - objectBytes_));
        objectBytes_ += bytes.size();
        return bytes;
    }

    const NoteObject& note_;
    const MessageTree& tree_;
    std::vector<FileObjectInfo> files_;
    bool filesListed_ = false;
    std::size_t objectBytes_ = 0;
    std::string text_;
};

}  // namespace

STATUS mimeToComposite(const NoteObject& note, const char* name, WORD nameLength, MimeComposite& out) {
    out = {};
    MessageTree tree;
    bool anyItem = false;
    bool anyPart = false;
    for (auto index = findItem(note, name, nameLength, 0); index; index = findItem(note, name, nameLength, *index + 1)) {
        anyItem = true;
        const NoteItem& item = note.items()[*index];
        if (item.type != TYPE_MIME_PART)
            continue;
        if ((item.flags & ITEM_SEAL) != 0 && noteIsSealed(note))
            return ERR_NOEXTRACT_ENCRYPTED;  // the bytes are ciphertext
        out.indices.push_back(*index);
        if (const auto part = parsePart(*item.block)) {
            tree.add(*part);
            anyPart = true;
        }
    }
    if (out.indices.empty())
        return anyItem ? ERR_MISC_INVALID_ARGS : ERR_ITEM_NOT_FOUND;
    if (!anyPart)
        return ERR_RUNTIME_CORRUPT;
    TextCollector collector(note, tree);
    collector.collect(0);
    out.pieces = textToComposite(collector.take());
    return NOERROR;
}

}  // namespace notesrt

using namespace notesrt;

extern "C" STATUS MIMEConvertMIMEPartCC(NOTEHANDLE hNote, const char* pItemName, WORD wItemNameLen, CCHANDLE /*hCC*/) {
    return guardStatus("MIMEConvertMIMEPartCC", [&]() -> STATUS {
        if (pItemName == nullptr)
            return ERR_MISC_INVALID_ARGS;
        const auto note = findNote(hNote);
        if (!note)
            return ERR_RUNTIME_BAD_HANDLE;
        MimeComposite composite;
        if (const STATUS s = mimeToComposite(*note, pItemName, wItemNameLen, composite); s != NOERROR)
            return s;
        const NoteItem& first = note->items()[composite.indices.front()];
        std::vector<NoteItem> replacements;
        for (const auto& records : composite.pieces) {
            NoteItem item;
            item.nameUtf8 = first.nameUtf8;
            item.nameLmbcs = first.nameLmbcs;
            item.type = TYPE_COMPOSITE;
            item.flags = first.flags & ITEM_SIGN;
            // Sized once and filled in place: appending to a 2-byte vector trips a false
            // -Warray-bounds in GCC 12 at -O2.
            auto block = std::make_shared<std::vector<std::uint8_t>>(records.size() + 2);
            (*block)[0] = static_cast<std::uint8_t>(TYPE_COMPOSITE & 0xFF);
            (*block)[1] = static_cast<std::uint8_t>(TYPE_COMPOSITE >> 8);
            std::copy(records.begin(), records.end(), block->begin() + 2);
            item.block = std::move(block);
            replacements.push_back(std::move(item));
        }
        return note->replaceItems(composite.indices, std::move(replacements)) ? NOERROR : ERR_RUNTIME_NO_MEMORY;
    });
}
