#include "extract_mail.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "console.h"
#include "extract_tree.h"
#include "mail_exporter.h"
#include "manifest.h"
#include "metadata.h"
#include "module.h"
#include "open_database.h"
#include "output_folder.h"
#include "progress.h"
#include "safe_name.h"
#include "subfiles.h"
#include "text.h"

namespace nsfrex {
namespace {

namespace fs = std::filesystem;

// The module's renderings of a rich-text body, asked for by the exporter: its text (the mail body
// without the header block) and its formatted (MHT) body, when the module writes one.
class ModuleRenderer {
public:
    explicit ModuleRenderer(const ModuleSession& session) : session_(session) {}

    void add(std::uint32_t noteId, std::int32_t index) { indexes_[noteId] = index; }

    static std::int32_t render(void* self, std::uint32_t noteId, std::int32_t kind, NsfMailWriteFunc write, void* sink) {
        auto& renderer = *static_cast<ModuleRenderer*>(self);
        const auto index = renderer.indexes_.find(noteId);
        if (index == renderer.indexes_.end()) return 1;
        const bool html = kind == NSFMAIL_BODY_HTML;
        auto bytes = renderer.extract(index->second, TM_EXTRACT_EXCLUDE_MAIL_HEADER | (html ? TM_EXTRACT_FORMATTED_BODY : 0u));
        if (!bytes) return 1;
        std::string_view body = *bytes;
        if (html) {
            if (!isFormatted(body)) return 1;  // the module wrote its text instead
        } else if (body.starts_with("\r\n")) {
            body.remove_prefix(2);  // the blank line that ends the (left out) header block
        }
        return write(sink, reinterpret_cast<const std::uint8_t*>(body.data()), static_cast<std::uint32_t>(body.size())) != 0 ? 0 : 1;
    }

private:
    static bool isFormatted(std::string_view body) {
        auto startsWith = [&](std::string_view prefix) {
            return body.size() >= prefix.size() &&
                   std::equal(prefix.begin(), prefix.end(), body.begin(),
                              [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
        };
        return startsWith("mime-version:") || startsWith("content-type:") || startsWith("<!doctype") || startsWith("<html");
    }

    struct Capture {
        IOobj64 io{};
        std::string bytes;
        std::string name = "(memory)";
    };

    Result<std::string> extract(std::int32_t index, std::uint32_t flags) const {
        Capture capture;
        capture.io.pHostData = &capture;
        capture.io.pFileName = capture.name.data();
        capture.io.twOpenFunc = [](IOobj64*) -> std::int32_t { return 1; };
        capture.io.twCloseFunc = [](IOobj64*) -> std::int32_t { return 1; };
        capture.io.twWriteFunc = [](IOobj64* io, const std::uint8_t* pb, std::uint32_t cb) -> std::int32_t {
            static_cast<Capture*>(io->pHostData)->bytes.append(reinterpret_cast<const char*>(pb), cb);
            return 1;
        };
        SubFileExtractInfo info{};
        const std::int32_t status = session_.reader().fpExtractSubFileToIOobj(
            session_.context(), index, &capture.io, &info, const_cast<ModuleSession*>(&session_), flags);
        if (status != 0) return failure(cat("module status ", status));
        return std::move(capture.bytes);
    }

    const ModuleSession& session_;
    std::map<std::uint32_t, std::int32_t> indexes_;
};

// "Projects\2024" -> "Projects/2024.mbox", each level a safe name.
std::string mailboxPath(std::string_view folder) {
    std::string path;
    std::size_t at = 0;
    while (at <= folder.size()) {
        std::size_t end = folder.find('\\', at);
        if (end == std::string_view::npos) end = folder.size();
        if (!path.empty()) path += '/';
        path += safeFileName(std::string(folder.substr(at, end - at)), "folder");
        at = end + 1;
    }
    return path + ".mbox";
}

std::string withExtension(const std::string& path, std::string_view extension) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const bool hasDot = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasDot ? path.substr(0, dot) : path) + std::string(extension);
}

struct MailOutput {
    std::map<std::string, std::string> mailboxes;  // path -> entries, in a stable order
    std::set<std::string> foldersMade;
};

Result<void> makeParents(OutputFolder& folder, MailOutput& output, const std::string& path) {
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string parent = path.substr(0, slash);
        if (!output.foldersMade.insert(parent).second) continue;
        if (auto made = folder.createFolder(parent); !made) return made;
    }
    return {};
}

}  // namespace

DatabaseOutcome extractMailDatabase(const fs::path& database, const fs::path& outDir, const std::string& folderName,
                                    const ExtractRequest& request) {
    DatabaseOutcome outcome;
    const std::string label = database.string();
    auto fatal = [&](const std::string& message) {
        writeText(STDERR_FILENO, cat("nsfrex extract: ", label, ": ", message, "\n"));
        outcome.exitStatus = 2;
        return outcome;
    };
    const bool mbox = request.format == ExtractFormat::Mbox;
    CommonOptions options = request.options;
    auto opened = openDatabase(options, database);
    if (!opened) return fatal(opened.error());
    const ModuleSession& session = opened->session;
    auto subfiles = listSubfiles(session);
    if (!subfiles) return fatal(subfiles.error());
    auto exporter = MailExporter::open(database);
    if (!exporter) return fatal(exporter.error());
    const std::vector<PlannedSubfile> plan = planTree(*subfiles, safeFileName(database.stem().string(), "root"));
    auto folder = OutputFolder::create(outDir, folderName, request.force);
    if (!folder) return fatal(folder.error());

    const std::size_t count = subfiles->size();
    std::vector<bool> chosen(count, request.indexes.empty());
    for (const std::int32_t index : request.indexes)
        if (index >= 0 && static_cast<std::size_t>(index) < count) chosen[static_cast<std::size_t>(index)] = true;

    Manifest manifest{database.filename().string(), std::string(formatName(request.format)), request.options.root, {}};
    for (const SubfileEntry& subfile : *subfiles)
        manifest.subfiles.push_back({subfile, std::nullopt, std::nullopt, "skipped", std::nullopt, std::nullopt});

    // Mail notes first: which they are, and their note IDs.
    ModuleRenderer renderer(session);
    std::vector<std::pair<std::size_t, std::uint32_t>> mail;  // subfile, note ID
    for (std::size_t i = 0; i < count; ++i) {
        if (!chosen[i] || (*subfiles)[i].type != TMSubFileType_Main) continue;
        ManifestEntry& entry = manifest.subfiles[i];
        if (auto fields = mailFields(session, entry.subfile.index)) entry.metadata = std::move(*fields);
        auto id = noteId(session, entry.subfile.index);
        if (!id) {
            entry.status = "failed";
            entry.error = id.error();
            continue;
        }
        // A note the exporter cannot open goes on to be written, which fails saying why.
        if (exporter->isMail(*id) == 0) {
            entry.error = "not a mail message";
        } else {
            renderer.add(*id, entry.subfile.index);
            mail.emplace_back(i, *id);
        }
    }

    // In mbox, each message goes to the mailbox of every folder holding it, else to the one for no folder.
    std::map<std::uint32_t, std::vector<std::string>> mailboxesOf;
    if (mbox) {
        auto folders = exporter->folders();
        if (!folders) return fatal(folders.error());
        std::set<std::string> taken;
        for (const MailFolder& f : *folders) {
            std::string path = mailboxPath(f.name);
            std::string lower = path;
            std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            for (int n = 2; !taken.insert(lower).second; ++n) {
                path = withExtension(mailboxPath(f.name), cat(" (", n, ").mbox"));
                lower = path;
                std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            }
            for (const std::uint32_t id : f.notes) mailboxesOf[id].push_back(path);
        }
        // A folder of that name keeps it; mail in no folder then goes beside it.
        const std::string unfiled = cat(kNoFolderMailbox, taken.contains("no folder.mbox") ? " (2).mbox" : ".mbox");
        for (const auto& [index, id] : mail)
            if (!mailboxesOf.contains(id)) mailboxesOf[id].push_back(unfiled);
    }

    Progress progress(request.progress, database.filename().string(), static_cast<int>(mail.size()));
    MailOutput output;
    for (const auto& [index, id] : mail) {
        ManifestEntry& entry = manifest.subfiles[index];
        auto message = exporter->message(id, mbox ? NSFMAIL_MBOX_ENTRY : 0u, ModuleRenderer::render, &renderer);
        if (!message) {
            entry.status = "failed";
            entry.error = message.error();
        } else if (mbox) {
            for (const std::string& path : mailboxesOf[id]) output.mailboxes[path] += *message;
            entry.status = "ok";
            entry.path = mailboxesOf[id].front();
            entry.size = message->size();
        } else {
            const std::string path = withExtension(plan[index].path, ".eml");
            auto written = makeParents(*folder, output, path);
            if (written) written = folder->writeFile(path, *message);
            entry.status = written ? "ok" : "failed";
            if (written) {
                entry.path = path;
                entry.size = message->size();
                ++outcome.files;
            } else {
                entry.error = written.error();
            }
        }
        progress.addBytes(message ? message->size() : 0);
        progress.noteDone();
        if (request.verbosity == Verbosity::Verbose)
            writeText(STDOUT_FILENO, cat(label, ": ", entry.subfile.index, " ", entry.path.value_or("-"), " ", entry.status, "\n"));
    }
    for (const auto& [path, content] : output.mailboxes) {
        auto written = makeParents(*folder, output, path);
        if (written) written = folder->writeFile(path, content);
        if (!written) outcome.failures.push_back({-1, path, written.error()});
        else ++outcome.files;
    }
    progress.finish();

    outcome.bytes = progress.bytes();
    finishExtraction(*folder, manifest, outcome);
    return outcome;
}

}  // namespace nsfrex
