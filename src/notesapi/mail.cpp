// A mail body's rich text, every fragment joined, as a CD file.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "api_guard.h"
#include "composite_text.h"
#include "mime_body.h"
#include "note_access.h"
#include "notesapi/mime.h"
#include "notesapi/nsfdata.h"
#include "notesapi/status.h"
#include "nsf/lmbcs.h"

using namespace notesrt;

namespace {

constexpr std::uint8_t kSigFontTable = 0x8B;  // word-length header: signature, 0xFF, length
constexpr std::size_t kFontTableHeader = 6;   // header and face count

// The font table records of the note's $Fonts item, which name the faces that the body's text runs
// refer to by ID. Only whole font table records are taken: anything else in the item, or a length that
// runs past it, ends the search, so a damaged table never hides the body behind it.
std::vector<std::uint8_t> fontTableRecords(const NoteObject& note) {
    std::vector<std::uint8_t> records;
    const auto index = findItem(note, "$Fonts", 6, 0);
    if (!index)
        return records;
    const NoteItem& item = note.items()[*index];
    if (item.type != TYPE_COMPOSITE || item.block->size() < 2)
        return records;
    const nsf::Bytes value(item.block->data() + 2, item.block->size() - 2);
    std::size_t pos = 0;
    while (value.size() - pos >= kFontTableHeader && value[pos] == kSigFontTable && value[pos + 1] == 0xFF) {
        const std::size_t length = value[pos + 2] | (std::size_t{value[pos + 3]} << 8);
        if (length < kFontTableHeader || length > value.size() - pos)
            break;
        records.insert(records.end(), value.begin() + pos, value.begin() + pos + length);
        if (length % 2 != 0)
            records.push_back(0);  // records start at even offsets
        pos += length + (length % 2);
        if (pos > value.size())
            break;
    }
    return records;
}

}  // namespace

extern "C" STATUS MailGetMessageBodyComposite(DHANDLE hMessage, const char* ItemName, const char* OutputFileName,
                                              DWORD* OutputFileSize) {
    return guardStatus("MailGetMessageBodyComposite", [&]() -> STATUS {
        if (OutputFileSize != nullptr)
            *OutputFileSize = 0;
        if (OutputFileName == nullptr || *OutputFileName == '\0')
            return ERR_MISC_INVALID_ARGS;
        const auto note = findNote(hMessage);
        if (!note)
            return ERR_RUNTIME_BAD_HANDLE;
        const char* name = ItemName != nullptr ? ItemName : MAIL_BODY_ITEM;
        const WORD nameLength = static_cast<WORD>(std::strlen(name));

        // A CD file: one host-order type word, then the records of every fragment in order. A MIME
        // body is converted as MIMEConvertMIMEPartCC would, without changing the note; a plain text
        // body becomes one paragraph per line.
        // The note's font table leads, so that the named faces of every body item resolve.
        std::vector<std::uint8_t> file = {TYPE_COMPOSITE & 0xFF, TYPE_COMPOSITE >> 8};
        const std::vector<std::uint8_t> fonts = fontTableRecords(*note);
        file.insert(file.end(), fonts.begin(), fonts.end());
        auto appendPieces = [&file](const std::vector<std::vector<std::uint8_t>>& pieces) {
            for (const auto& piece : pieces)
                file.insert(file.end(), piece.begin(), piece.end());
        };
        MimeComposite mime;
        const STATUS mimeStatus = mimeToComposite(*note, name, nameLength, mime);
        if (mimeStatus == NOERROR) {
            appendPieces(mime.pieces);
        } else if (mimeStatus != ERR_MISC_INVALID_ARGS) {
            return mimeStatus;  // no item, or MIME that cannot be read
        } else {
            for (auto index = findItem(*note, name, nameLength, 0); index;
                 index = findItem(*note, name, nameLength, *index + 1)) {
                const NoteItem& item = note->items()[*index];
                if (item.block->size() < 2)
                    continue;
                // Each item's records start at its own offset 0, and in the file records start at even
                // offsets: an item of odd size ends in an odd record, whose pad byte the next item needs.
                if (file.size() % 2 != 0)
                    file.push_back(0);
                const nsf::Bytes value(item.block->data() + 2, item.block->size() - 2);
                if (item.type == TYPE_COMPOSITE)
                    file.insert(file.end(), value.begin(), value.end());
                else if (item.type == TYPE_TEXT)
                    appendPieces(textToComposite(nsf::lmbcsTextToUtf8(value)));
                else
                    return ERR_DATATYPE;
            }
        }

        const std::string path = nsf::lmbcsToUtf8(
            nsf::Bytes(reinterpret_cast<const std::uint8_t*>(OutputFileName), std::strlen(OutputFileName)));
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr)
            return ERR_RUNTIME_IO;
        const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
        if (std::fclose(out) != 0 || !written) {
            std::error_code ec;
            std::filesystem::remove(path, ec);
            return ERR_RUNTIME_IO;
        }
        if (OutputFileSize != nullptr)
            *OutputFileSize = static_cast<DWORD>(file.size());
        return NOERROR;
    });
}
