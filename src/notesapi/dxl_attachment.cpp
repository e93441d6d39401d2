// Attachments: a $FILE object as <object><file> with its contents in <filedata>, streamed from the
// database in base64 pieces so that a large file is never held in memory.
#include <string>
#include <vector>

#include "dxl_export.h"
#include "nsf/values.h"

namespace notesrt::dxl {
namespace {

std::string_view hostTypeName(std::uint16_t hostType) {
    switch (hostType & nsf::kHostMask) {
        case 0x0000: return "msdos";
        case 0x0200: return "mac";
        case 0x0400: return "hpfs";
        case 0x0600: return "bytearrayext";
        case 0x0700: return "bytearraypage";
        case 0x0800: return "cdstorage";
        case 0x0900: return "stream";
        case 0x0A00: return "link";
        default: return "unknown";
    }
}

std::string_view encodingName(std::uint16_t flags) {
    switch (flags & nsf::kFileEncodeMask) {
        case 0x00: return "none";
        case 0x08: return "base64";
        case 0x10: return "quotedprintable";
        case 0x18: return "uuencode";
        default: return "unknown";
    }
}

std::string tokens(std::initializer_list<std::pair<bool, std::string_view>> list) {
    std::string out;
    for (const auto& [on, word] : list) {
        if (!on)
            continue;
        if (!out.empty())
            out += ' ';
        out += word;
    }
    return out;
}

void writeStamp(Context& ctx, std::string_view element, const nsf::TimeDate& td) {
    Tag(ctx.out, element).open();
    writeDateTime(ctx, td);
    Tag::close(ctx.out, element);
}

// Streams the object into <filedata>; returns an error message, empty on success.
std::string writeFileData(Context& ctx, std::uint32_t rrv, nsf::Compression compression, std::uint64_t size) {
    const auto& db = ctx.note.database();
    return db->withEngine([&](nsf::Database& engine) -> std::string {
        auto stream = engine.openObject(rrv, compression, size);
        if (!stream)
            return stream.error().message();
        ctx.out.raw("<filedata>\n");
        Base64Writer b64(ctx.out);
        std::vector<std::uint8_t> chunk(48 * 1024);  // a multiple of 3: no group spans two chunks
        std::string failure;
        for (;;) {
            auto n = (*stream)->read(chunk);
            if (!n) {
                failure = n.error().message();
                break;
            }
            if (*n == 0)
                break;
            b64.write(std::span<const std::uint8_t>(chunk.data(), *n));
        }
        b64.finish();
        ctx.out.raw("</filedata>");
        return failure;
    });
}

}  // namespace

bool writeFileObject(Context& ctx, const NoteItem& item) {
    auto object = nsf::decodeObject(valueOf(item));
    if (!object || !object->file || object->descriptor.kind() != nsf::kObjectFile)
        return false;
    const nsf::FileObject& file = *object->file;
    const auto stored = file.compression();
    const bool uncompress = ctx.settings.flag(eUncompressAttachments);
    std::string_view compressionName = "none";
    if (!uncompress && stored && *stored != nsf::Compression::None)
        compressionName = *stored == nsf::Compression::Lz1 ? "lz1" : "huffman";

    ctx.out.raw("<object>");
    Tag(ctx.out, "file")
        .attr("hosttype", hostTypeName(file.hostType))
        .attr("compression", compressionName)
        .attrIf(file.attributes != 0, "attribute",
                tokens({{(file.attributes & nsf::kFileAttribReadOnly) != 0, "readonly"},
                        {(file.attributes & nsf::kFileAttribPrivate) != 0, "private"}}))
        .attrIf((file.flags & (nsf::kFileFlagSign | nsf::kFileFlagInDoc)) != 0, "flags",
                tokens({{(file.flags & nsf::kFileFlagSign) != 0, "sign"},
                        {(file.flags & nsf::kFileFlagInDoc) != 0, "storedindoc"}}))
        .attr("encoding", encodingName(file.flags))
        .attr("name", file.name)
        .attr("size", std::to_string(file.fileSize))
        .open();
    ctx.out.raw("\n");
    writeStamp(ctx, "created", file.created);
    writeStamp(ctx, "modified", file.modified);
    ctx.out.raw("\n");

    const std::string where = "The attachment '" + file.name + "' of note " + noteIdText(ctx.note);
    if (!stored && uncompress) {
        ctx.log.lose(ERR_ENCODING, where + " uses an unknown compression; its contents are not exported.");
    } else {
        const nsf::Compression decode = uncompress ? *stored : nsf::Compression::None;
        const std::string failure = writeFileData(ctx, object->descriptor.rrv, decode, uncompress ? file.fileSize : 0);
        if (!failure.empty())
            ctx.log.lose(ERR_RUNTIME_CORRUPT, where + " could not be read completely (" + failure + ").");
    }
    ctx.out.raw("\n</file></object>");
    return true;
}

}  // namespace notesrt::dxl
