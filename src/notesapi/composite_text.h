// Plain text as rich text: the CD records of a text body, split into item-sized pieces.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace notesrt {

// One paragraph per "\n"-separated line of `utf8` (a "\r" before the "\n" is dropped). Each piece
// is the records of one item without its type word: it starts with the paragraph style definition
// (so it stands alone), then CDPARAGRAPH, CDPABREFERENCE and CDTEXT runs in Swiss 10 pt per line.
// Pieces stay below 40000 bytes, runs below 8000 bytes of text; a very long line is cut into
// several paragraphs. Always at least one piece.
std::vector<std::vector<std::uint8_t>> textToComposite(std::string_view utf8);

}  // namespace notesrt
