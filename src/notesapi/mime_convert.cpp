// MIME parts to rich text. A note stores a MIME message as a sequence of TYPE_MIME_PART items, one
// per part in message order, each with its delimiter line, its headers and its body (or the name of
// the $FILE object holding the body). The sequence is rebuilt into the message's tree by the
// multipart boundaries, and the tree's text becomes rich text as a mail reader shows it: of a
// multipart/alternative the text/html choice (else text/plain, else the first choice that has text),
// of any other multipart every text part in order, HTML with its formatting and its "cid:" images;
// attachments and other types contribute nothing.
#include <algorithm>
#include <cctype>
#include <map>
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
#include "mime_richtext.h"
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
constexpr std::uint32_t kHasBoundary = 0x1;             // stored part flags
constexpr std::uint32_t kHasHeaders = 0x2;

// RFC 2231 extended value "charset'language'percent-encoded" as UTF-8.
std::string decodeExtendedValue(std::string_view value, bool first) {
    std::string charset;
    if (first) {
        const std::size_t q1 = value.find('\'');
        const std::size_t q2 = q1 == std::string_view::npos ? q1 : value.find('\'', q1 + 1);
        if (q2 != std::string_view::npos) {
            charset = std::string(value.substr(0, q1));
            value.remove_prefix(q2 + 1);
        }
    }
    std::string bytes;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size() && std::isxdigit(static_cast<unsigned char>(value[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(value[i + 2]))) {
            bytes.push_back(static_cast<char>(std::stoi(std::string(value.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else {
            bytes.push_back(value[i]);
        }
    }
    return charset.empty() ? bytes : mime::charsetToUtf8(bytes, charset);
}

std::string parameterPlain(std::string_view value, std::string_view name);

// The parameter `name` of a header value, unquoted; empty if absent. RFC 2231 forms (name*=,
// name*0=, name*0*=, ...) are joined and decoded.
std::string parameter(std::string_view value, std::string_view name) {
    if (std::string plain = parameterPlain(value, name); !plain.empty())
        return plain;
    const std::string star = std::string(name) + "*";
    if (std::string extended = parameterPlain(value, star); !extended.empty())
        return decodeExtendedValue(extended, true);
    std::string joined;
    for (int n = 0; n < 100; ++n) {
        const std::string section = star + std::to_string(n);
        if (std::string part = parameterPlain(value, section + "*"); !part.empty())
            joined += decodeExtendedValue(part, n == 0);
        else if (std::string raw = parameterPlain(value, section); !raw.empty())
            joined += raw;
        else
            break;
    }
    return joined;
}

std::string parameterPlain(std::string_view value, std::string_view name) {
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
    std::string contentId;  // without the angle brackets
    bool flowed = false;    // text/plain; format=flowed
    bool delSp = false;
    bool attachment = false;
    std::string body;      // raw body, or the $FILE name when inObject
    bool inObject = false;
    bool delimited = false;  // inside a multipart: the line end before the next delimiter is not body
    std::vector<std::size_t> children;
    bool multipart() const { return type.starts_with("multipart/"); }
};

// The header fields, continuation lines joined: lower-case name and trimmed value.
std::vector<std::pair<std::string, std::string>> headerFields(std::string_view headers) {
    std::string unfolded;  // continuation lines joined to their header
    for (std::size_t i = 0; i < headers.size(); ++i) {
        if (headers[i] == '\r')
            continue;
        if (headers[i] == '\n' && i + 1 < headers.size() && (headers[i + 1] == ' ' || headers[i + 1] == '\t'))
            continue;
        unfolded.push_back(headers[i]);
    }
    std::vector<std::pair<std::string, std::string>> fields;
    std::string_view rest = unfolded;
    while (!rest.empty()) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest = line.size() < rest.size() ? rest.substr(line.size() + 1) : std::string_view{};
        const auto colon = line.find(':');
        if (colon != std::string_view::npos)
            fields.emplace_back(lower(trim(line.substr(0, colon))), std::string(trim(line.substr(colon + 1))));
    }
    return fields;
}

void readHeaders(std::string_view headers, Node& node) {
    for (const auto& [name, text] : headerFields(headers)) {
        const std::string_view value = text;
        if (name == "content-type") {
            node.type = lower(trim(value.substr(0, value.find(';'))));
            node.charset = parameter(value, "charset");
            node.boundary = parameter(value, "boundary");
            node.flowed = lower(parameter(value, "format")) == "flowed";
            node.delSp = lower(parameter(value, "delsp")) == "yes";
        } else if (name == "content-transfer-encoding") {
            node.encoding = lower(value);
        } else if (name == "content-id") {
            std::string_view id = value;
            if (id.starts_with('<') && id.ends_with('>'))
                id = id.substr(1, id.size() - 2);
            node.contentId = std::string(trim(id));
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
    std::size_t size() const { return nodes_.size(); }

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

// A message kept whole in one part (message/rfc822) as the stored parts that hold a message: its
// headers with the body (only the preamble of a multipart), then each part of a multipart after its
// delimiter line, nested multiparts the same way, and the closing delimiter.
void splitInline(std::string_view message, std::string_view delimiter, std::size_t depth, std::vector<StoredPart>& parts) {
    std::size_t headerEnd = message.find("\r\n\r\n");
    std::size_t bodyStart = headerEnd == std::string_view::npos ? headerEnd : headerEnd + 4;
    if (const std::size_t lf = message.find("\n\n"); lf != std::string_view::npos && (headerEnd == std::string_view::npos || lf < headerEnd)) {
        headerEnd = lf;
        bodyStart = lf + 2;
    }
    StoredPart part;
    part.type = kPartBody;
    part.flags = kHasHeaders | (delimiter.empty() ? 0 : kHasBoundary);
    part.boundary = delimiter;
    part.headers = headerEnd == std::string_view::npos ? message : message.substr(0, bodyStart);
    part.body = headerEnd == std::string_view::npos ? std::string_view{} : message.substr(bodyStart);
    Node node;
    readHeaders(part.headers, node);
    parts.push_back(part);
    if (!node.multipart() || node.boundary.empty() || depth >= kMaxDepth || parts.size() >= kMaxParts)
        return;
    // the delimiter lines "--boundary" and "--boundary--", each at a line start
    const std::string dash = "--" + node.boundary;
    const std::string_view body = part.body;
    std::vector<std::size_t> starts;  // where each delimiter line starts
    for (std::size_t at = 0; at < body.size();) {
        if (body.substr(at).starts_with(dash))
            starts.push_back(at);
        const std::size_t nl = body.find('\n', at);
        if (nl == std::string_view::npos)
            break;
        at = nl + 1;
    }
    if (starts.empty())
        return;
    parts[parts.size() - 1].body = body.substr(0, starts.front());
    for (std::size_t k = 0; k < starts.size() && parts.size() < kMaxParts; ++k) {
        const std::size_t lineEnd = body.find('\n', starts[k]);
        const std::string_view line = body.substr(starts[k], lineEnd == std::string_view::npos ? std::string_view::npos
                                                                                        : lineEnd + 1 - starts[k]);
        if (trim(line) == dash + "--") {
            StoredPart closing;
            closing.type = 3;
            closing.flags = kHasBoundary;
            closing.boundary = line;
            parts.push_back(closing);
            return;
        }
        const std::size_t from = starts[k] + line.size();
        const std::size_t to = k + 1 < starts.size() ? starts[k + 1] : body.size();
        splitInline(body.substr(from, to - from), line, depth + 1, parts);
    }
}

// Unwraps format=flowed text (RFC 3676): a line ending in a space goes on in the next line (the space
// dropped with delsp=yes); one leading space of a stuffed line is removed.
std::string unflow(std::string_view text, bool delSp) {
    std::string out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t nl = text.find('\n', start);
        std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.starts_with(' '))
            line.remove_prefix(1);
        const bool soft = line.ends_with(' ') && line != "-- ";
        if (soft && delSp)
            line.remove_suffix(1);
        out.append(line);
        if (nl == std::string_view::npos)
            break;
        if (!soft)
            out.push_back('\n');
        start = nl + 1;
    }
    return out;
}

std::uint16_t imageType(std::string_view contentType) {
    if (contentType == "image/gif")
        return 1;
    if (contentType == "image/jpeg" || contentType == "image/jpg" || contentType == "image/pjpeg")
        return 2;
    if (contentType == "image/bmp" || contentType == "image/x-bmp")
        return 3;
    return 0;
}

class TextCollector {
public:
    TextCollector(const NoteObject& note, const MessageTree& tree, MimeRichText& out, std::size_t depth = 0)
        : note_(note), tree_(tree), out_(out), depth_(depth), objects_(note, kMaxObjectBytes) {}

    void collect(std::size_t index) {
        if (out_.textBytes() >= kMaxTextBytes)
            return;
        const Node& node = tree_.node(index);
        if (node.type == "multipart/alternative") {
            // What a mail reader shows: the HTML choice, else the plain-text one, else the first with text.
            for (const char* preferred : {"text/html", "text/plain"})
                for (const std::size_t child : node.children)
                    if (tree_.node(child).type == preferred && !tree_.node(child).attachment && collected(child))
                        return;
            for (const std::size_t child : node.children)
                if (collected(child))
                    return;
        } else if (node.multipart()) {
            for (const std::size_t child : node.children)
                collect(child);
        } else if (node.type == "message/rfc822" && !node.attachment && depth_ < kMaxDepth) {
            forwarded(node);
        } else if ((node.type == "text/plain" || node.type == "text/html") && !node.attachment) {
            const std::string text = partText(node);
            if (node.type == "text/html")
                out_.html(text, [this](std::string_view id) { return image(id); });
            else
                out_.plainText(node.flowed ? unflow(text, node.delSp) : text);
        }
    }

private:
    // A forwarded message kept whole in its part: its main header fields, then its content.
    void forwarded(const Node& node) {
        const std::string message = partBytes(node);
        std::vector<StoredPart> parts;
        splitInline(message, {}, 0, parts);
        std::string header;
        for (const char* wanted : {"from", "date", "to", "cc", "subject"})
            for (const auto& [name, value] : headerFields(parts.front().headers))
                if (name == wanted) {
                    std::string label = name;
                    label[0] = static_cast<char>(label[0] - 'a' + 'A');
                    header += (header.empty() ? "" : "\n") + label + ": " + mime::decodeEncodedWords(value);
                }
        if (!header.empty())
            out_.plainText(header);
        MessageTree inner;
        for (const StoredPart& part : parts)
            inner.add(part);
        TextCollector(note_, inner, out_, depth_ + 1).collect(0);
    }

    bool collected(std::size_t child) {
        const std::size_t before = out_.textBytes();
        collect(child);
        return out_.textBytes() > before;
    }

    std::string partBytes(const Node& node) {
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
        return bytes;
    }

    std::string partText(const Node& node) { return mime::charsetToUtf8(partBytes(node), node.charset); }

    // The image part with this Content-ID, decoded once.
    const InlineImage* image(std::string_view contentId) {
        if (const auto it = images_.find(std::string(contentId)); it != images_.end())
            return &it->second;
        for (std::size_t i = 1; i < tree_.size(); ++i) {
            const Node& node = tree_.node(i);
            if (node.contentId != contentId)
                continue;
            InlineImage found;
            found.type = imageType(node.type);
            if (found.type != 0)
                found.bytes = partBytes(node);
            return &images_.emplace(std::string(contentId), std::move(found)).first->second;
        }
        return nullptr;
    }

    const NoteObject& note_;
    const MessageTree& tree_;
    MimeRichText& out_;
    std::size_t depth_;
    std::map<std::string, InlineImage> images_;
    PartObjects objects_;
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
    MimeRichText richText;
    TextCollector collector(note, tree, richText);
    collector.collect(0);
    out.pieces = richText.take();
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
