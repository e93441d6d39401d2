// MIME text parts as formatted rich text: plain text as paragraphs, HTML with its fonts, effects,
// colours, links, lists, tables, line breaks and inline images carried into CD records.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace notesrt {

// An image part that HTML refers to by "cid:" URL.
struct InlineImage {
    std::uint16_t type = 0;  // 1 GIF, 2 JPEG, 3 BMP
    std::string bytes;
};
using ImageLookup = std::function<const InlineImage*(std::string_view contentId)>;

class MimeRichText {
public:
    MimeRichText();
    ~MimeRichText();
    MimeRichText(const MimeRichText&) = delete;
    MimeRichText& operator=(const MimeRichText&) = delete;

    // One paragraph per line ("\n"; a "\r" before it is dropped), in the default font.
    void plainText(std::string_view utf8);
    // An HTML document (UTF-8); "cid:" images are looked up through `images`.
    void html(std::string_view utf8, const ImageLookup& images);
    // UTF-8 bytes of text written so far.
    std::size_t textBytes() const;
    // The records split into item-sized pieces (without type word), each led by the paragraph
    // definitions and the font table it needs. At least one piece.
    std::vector<std::vector<std::uint8_t>> take();

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace notesrt
