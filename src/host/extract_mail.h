// extract --format eml / mbox: mail notes as messages written by the mail exporter library
// (libnsfrexmail.so, loaded beside the executable), with rich-text bodies rendered by the module.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "extract_database.h"
#include "mail_exporter.h"
#include "result.h"

namespace nsfrex {

class ModuleSession;
class OutputFolder;
class Progress;
struct ManifestEntry;

inline constexpr std::string_view kMailExporterFileName = "libnsfrexmail.so";
inline constexpr std::string_view kNoFolderMailbox = "No folder";

class MailWriter {
public:
    // Null for the formats that are not mail formats.
    static Result<std::unique_ptr<MailWriter>> open(const ModuleSession& session, const std::filesystem::path& database,
                                                    ExtractFormat format);
    ~MailWriter();

    // Subfile `entry` (planned at `plannedPath`): a mail note becomes a message; other notes and every
    // attachment stay skipped (attachments travel inside their messages).
    void write(OutputFolder& folder, const std::string& plannedPath, std::optional<std::uint32_t> noteId,
               ManifestEntry& entry, Progress& progress);
    // The mailboxes (mbox) that could not be written go to failures.
    void finish(std::vector<SubfileFailure>& failures) const;
    std::uint64_t files() const noexcept { return files_; }

private:
    class Renderer;
    MailWriter(MailExporter exporter, std::unique_ptr<Renderer> renderer, bool mbox);
    Result<void> makeParents(OutputFolder& folder, const std::string& path);

    MailExporter exporter_;
    std::unique_ptr<Renderer> renderer_;
    bool mbox_;
    std::map<std::uint32_t, std::vector<std::string>> mailboxesOf_;  // note ID -> mailbox paths
    std::string unfiled_;
    std::set<std::string> mailboxesMade_;
    std::map<std::string, std::string> mailboxFailures_;  // path -> the first write error
    std::set<std::string> foldersMade_;
    std::uint64_t files_ = 0;
};

}  // namespace nsfrex
