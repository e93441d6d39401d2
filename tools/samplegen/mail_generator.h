// A mail database of any size, deterministic from a seed, written note by note with the streaming
// writer so that memory stays bounded: rich-text mails (fonts, lists, tables, links, images, Notes
// bitmaps, attachment icons; bodies over 64 KB split over several Body items), MIME mails (multipart/
// alternative with an inline image, some with an attachment, the larger ones in $FILE objects), replies
// stored as responses, $FILE attachments from a few hundred bytes to megabytes (text Huffman-compressed,
// binary stored), deletion stubs, and folders, the largest holding thousands of mails.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "nsf/error.h"

namespace samplegen {

struct MailDatabasePlan {
    std::uint64_t targetBytes = 0;  // stop once the file reaches this size (0: no limit)
    std::uint64_t messages = 0;     // stop after this many mails (0: no limit)
    std::uint64_t seed = 1;
    std::uint32_t largestAttachment = 8u << 20;
};

struct MailDatabaseSummary {
    std::uint64_t mails = 0, richText = 0, mime = 0, attachments = 0, stubs = 0, folders = 0, splitBodies = 0;
    std::uint64_t replies = 0, bitmaps = 0, mimeObjects = 0;  // MIME attachments kept in $FILE objects
    std::uint64_t bytes = 0;
};

nsf::Expected<MailDatabaseSummary> writeMailDatabase(const std::filesystem::path& path, const MailDatabasePlan& plan);

}  // namespace samplegen
