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
#include "mime_part.h"
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

class TextCollector {
public:
    TextCollector(const NoteObject& note, const MessageTree& tree) : tree_(tree), objects_(note, kMaxObjectBytes) {}

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
            bytes = objects_.body(raw, kMaxPartBytes, true);
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

    const MessageTree& tree_;
    PartObjects objects_;
    std::string text_;
};

}  // namespace

STATUS mimeToComposite(const NoteObject& note, const char* name, WORD nameLength, MimeComposite& out) {
    out = {};
    MessageTree tree;
    bool anyPart = false;
    const STATUS walked = forEachStoredPart(note, name, nameLength, [&](std::size_t index, const std::optional<StoredPart>& part) {
        out.indices.push_back(index);
        if (part) {
            tree.add(*part);
            anyPart = true;
        }
        return STATUS{NOERROR};
    });
    if (walked != NOERROR)
        return walked;
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
