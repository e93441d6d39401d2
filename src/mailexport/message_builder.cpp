#include "message_builder.h"

#include <cstring>
#include <memory>

#include "message_headers.h"
#include "notesapi/mime.h"
#include "notesapi/nsfnote.h"
#include "notesapi/status.h"

namespace nsfmail {
namespace {

template <typename T>
struct Unref {
    void operator()(T* object) const noexcept { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, Unref<T>>;

// The MIME items of the Body as the runtime serialises them, with the root entity's headers.
std::string readMimeStream(const NoteReader& note) {
    static constexpr char kBody[] = "Body";
    MIMEHANDLE stream = NULLMIMEHANDLE;
    const STATUS s = MIMEStreamOpen(note.handle(), kBody, sizeof kBody - 1,
                                    MIME_STREAM_OPEN_READ | MIME_STREAM_MIME_INCLUDE_HEADERS, &stream);
    if (s != NOERROR)
        throw NotesError("MIMEStreamOpen", s);
    std::string bytes;
    unsigned char buffer[65536];
    for (;;) {
        unsigned int n = 0;
        const int result = MIMEStreamRead(buffer, &n, sizeof buffer, stream);
        if (result == MIME_STREAM_SUCCESS) {
            bytes.append(reinterpret_cast<const char*>(buffer), n);
            continue;
        }
        MIMEStreamClose(stream);
        if (result != MIME_STREAM_EOS)
            throw NotesError("MIMEStreamRead", ERR_MISC_INVALID_ARGS);
        return bytes;
    }
}

// Parts stored as 8bit or binary are written in base64: messages stay 7-bit clean, and the decoded
// bytes are the stored ones.
void sevenBitClean(GMimeObject* parent, GMimeObject* part, gpointer) {
    (void)parent;
    if (!GMIME_IS_PART(part))
        return;
    const GMimeContentEncoding encoding = g_mime_part_get_content_encoding(GMIME_PART(part));
    if (encoding == GMIME_CONTENT_ENCODING_8BIT || encoding == GMIME_CONTENT_ENCODING_BINARY)
        g_mime_part_set_content_encoding(GMIME_PART(part), GMIME_CONTENT_ENCODING_BASE64);
}

GMimeObject* parseEntity(const std::string& bytes) {
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    return g_mime_parser_construct_part(parser.get(), nullptr);
}

void setContent(GMimePart* part, const std::string& bytes, GMimeContentEncoding encoding) {
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    GPtr<GMimeDataWrapper> content(g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part, content.get());
    g_mime_part_set_content_encoding(part, encoding);
}

// Text in base64: its bytes come back exactly, whatever its line ends and trailing spaces.
GMimeObject* textPart(const char* subtype, const std::string& text) {
    GMimePart* part = g_mime_part_new_with_type("text", subtype);
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part), "charset", "utf-8");
    setContent(part, text, GMIME_CONTENT_ENCODING_BASE64);
    return GMIME_OBJECT(part);
}

std::string htmlFromText(const std::string& text) {
    std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head>\n<body><div style=\"white-space: pre-wrap\">";
    for (const char c : text) {
        switch (c) {
        case '<': html += "&lt;"; break;
        case '>': html += "&gt;"; break;
        case '&': html += "&amp;"; break;
        case '\r': break;
        default: html.push_back(c);
        }
    }
    html += "</div></body></html>\n";
    return html;
}

// An HTML rendering given as a MIME entity (HTML with its images) starts with a header line.
bool looksLikeEntity(const std::string& rendering) {
    const std::size_t colon = rendering.find(':');
    const std::size_t lineEnd = rendering.find('\n');
    if (colon == std::string::npos || colon > lineEnd || colon == 0)
        return false;
    for (std::size_t i = 0; i < colon; ++i)
        if (!(std::isalnum(static_cast<unsigned char>(rendering[i])) || rendering[i] == '-'))
            return false;
    return true;
}

bool isFileAttachment(const Attachment& attachment) {
    switch (attachment.hostType & HOST_MASK) {
    case HOST_OLE:
    case HOST_OLELIB:
    case HOST_BYTEARRAY_EXT:
    case HOST_BYTEARRAY_PAGE:
    case HOST_CDSTORAGE:
    case HOST_STREAM: return false;  // parts of the body's own structure, not files
    default: return true;
    }
}

GMimeObject* attachmentPart(const NoteReader& note, const Attachment& attachment) {
    const std::string bytes = note.extract(attachment);
    GMimePart* part = g_mime_part_new_with_type("application", "octet-stream");
    g_mime_object_set_disposition(GMIME_OBJECT(part), "attachment");
    g_mime_part_set_filename(part, attachment.name.c_str());  // RFC 2231 where the name needs it
    setContent(part, bytes, GMIME_CONTENT_ENCODING_BASE64);
    return GMIME_OBJECT(part);
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// An HTML rendering with its images (multipart/related) names the images by Content-Location; mail
// clients show inline images named by Content-ID, so each image gets one and the HTML names it "cid:".
void linkImagesByContentId(GMimeObject* rendering, const NoteReader& note) {
    if (!GMIME_IS_MULTIPART(rendering))
        return;
    GMimeMultipart* related = GMIME_MULTIPART(rendering);
    GMimeTextPart* html = nullptr;
    std::vector<std::pair<std::string, std::string>> links;  // location, content ID
    for (int i = 0; i < g_mime_multipart_get_count(related); ++i) {
        GMimeObject* part = g_mime_multipart_get_part(related, i);
        if (html == nullptr && GMIME_IS_TEXT_PART(part) &&
            g_mime_content_type_is_type(g_mime_object_get_content_type(part), "text", "html")) {
            html = GMIME_TEXT_PART(part);
            continue;
        }
        const char* location = g_mime_object_get_header(part, "Content-Location");
        if (location == nullptr || *location == '\0' || !GMIME_IS_PART(part))
            continue;
        const std::string id = "image" + std::to_string(i) + "." + unidText(note.oid()) + "@notes.invalid";
        g_mime_object_set_content_id(part, id.c_str());
        links.emplace_back(location, id);
    }
    if (html == nullptr || links.empty())
        return;
    char* decoded = g_mime_text_part_get_text(html);
    std::string text = decoded != nullptr ? decoded : "";
    g_free(decoded);
    for (const auto& [location, id] : links)
        replaceAll(text, location, "cid:" + id);
    g_mime_text_part_set_text(html, text.c_str());
}

// Boundaries made from the note's UNID, so that two runs write the same bytes.
GMimeMultipart* multipart(const char* subtype, const NoteReader& note) {
    GMimeMultipart* part = g_mime_multipart_new_with_subtype(subtype);
    const std::string boundary = "=_" + std::string(subtype) + "_" + unidText(note.oid()) + "_=";
    g_mime_multipart_set_boundary(part, boundary.c_str());
    return part;
}

GMimeObject* richTextBody(const NoteReader& note, const Renderer& renderer) {
    const std::string text = renderer.body(note.id(), NSFMAIL_BODY_TEXT);
    const std::string html = renderer.body(note.id(), NSFMAIL_BODY_HTML);
    GPtr<GMimeMultipart> alternative(multipart("alternative", note));
    GPtr<GMimeObject> plain(textPart("plain", text));
    g_mime_multipart_add(alternative.get(), plain.get());
    GMimeObject* rendered = nullptr;
    if (!html.empty() && looksLikeEntity(html)) {
        rendered = parseEntity(html);
        if (rendered != nullptr) {
            g_mime_header_list_remove(g_mime_object_get_header_list(rendered), "MIME-Version");
            linkImagesByContentId(rendered, note);
        }
    }
    if (rendered == nullptr)
        rendered = textPart("html", html.empty() ? htmlFromText(text) : html);
    g_mime_multipart_add(alternative.get(), rendered);
    g_object_unref(rendered);

    std::vector<Attachment> files;
    for (Attachment& attachment : note.attachments())
        if (isFileAttachment(attachment))
            files.push_back(std::move(attachment));
    if (files.empty())
        return GMIME_OBJECT(alternative.release());
    GMimeMultipart* mixed = multipart("mixed", note);
    g_mime_multipart_add(mixed, GMIME_OBJECT(alternative.get()));
    for (const Attachment& attachment : files) {
        GPtr<GMimeObject> part(attachmentPart(note, attachment));
        g_mime_multipart_add(mixed, part.get());
    }
    return GMIME_OBJECT(mixed);
}

}  // namespace

std::string Renderer::body(NOTEID id, int kind) const {
    std::string out;
    if (render == nullptr)
        return out;
    const NsfMailWriteFunc append = [](void* sink, const uint8_t* pb, uint32_t cb) -> int32_t {
        static_cast<std::string*>(sink)->append(reinterpret_cast<const char*>(pb), cb);
        return 1;
    };
    if (render(context, id, kind, append, &out) != 0)
        out.clear();
    return out;
}

bool isMail(const NoteReader& note) {
    if ((note.noteClass() & NOTE_CLASS_DOCUMENT) == 0)
        return false;
    for (const char* name : {"From", "SendTo", "CopyTo", "BlindCopyTo", "PostedDate", "DeliveredDate", "$MessageID",
                             "InetFrom", "SMTPOriginator"})
        if (note.has(name))
            return true;
    return false;
}

GMimeMessage* buildMessage(const NoteReader& note, const Renderer& renderer) {
    GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
    setMessageHeaders(message.get(), note);
    GMimeObject* body = nullptr;
    if (note.type("Body") == TYPE_MIME_PART) {
        body = parseEntity(readMimeStream(note));
        if (body == nullptr)
            throw std::runtime_error("the MIME body does not parse");
        // The message states the MIME version once, in its own headers.
        g_mime_header_list_remove(g_mime_object_get_header_list(body), "MIME-Version");
        if (GMIME_IS_MULTIPART(body))
            g_mime_multipart_foreach(GMIME_MULTIPART(body), sevenBitClean, nullptr);
        else
            sevenBitClean(nullptr, body, nullptr);
    } else {
        body = richTextBody(note, renderer);
    }
    g_mime_message_set_mime_part(message.get(), body);
    g_object_unref(body);
    return message.release();
}

}  // namespace nsfmail
