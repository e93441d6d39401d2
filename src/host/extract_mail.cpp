#include "extract_mail.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "console.h"
#include "manifest.h"
#include "metadata.h"
#include "module.h"
#include "output_folder.h"
#include "progress.h"
#include "safe_name.h"
#include "text.h"

namespace nsfrex {

namespace fs = std::filesystem;

// The module's renderings of a rich-text body, asked for by the exporter: its text (the mail body
// without the header block) and its formatted (MHT) body, when the module writes one.
class MailWriter::Renderer {
public:
    explicit Renderer(const ModuleSession& session) : session_(session) {}

    void add(std::uint32_t noteId, std::int32_t index) { indexes_[noteId] = index; }

    static std::int32_t render(void* self, std::uint32_t noteId, std::int32_t kind, NsfMailWriteFunc write, void* sink) {
        auto& renderer = *static_cast<Renderer*>(self);
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

namespace {

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

std::string lowerCase(std::string text) {
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

MailWriter::MailWriter(MailExporter exporter, std::unique_ptr<Renderer> renderer, bool mbox)
    : exporter_(std::move(exporter)), renderer_(std::move(renderer)), mbox_(mbox) {}

MailWriter::~MailWriter() = default;

Result<std::unique_ptr<MailWriter>> MailWriter::open(const ModuleSession& session, const fs::path& database,
                                                     ExtractFormat format) {
    if (format != ExtractFormat::Eml && format != ExtractFormat::Mbox) return std::unique_ptr<MailWriter>();
    auto exporter = MailExporter::open(database);
    if (!exporter) return std::unexpected(std::move(exporter.error()));
    std::unique_ptr<MailWriter> writer(
        new MailWriter(std::move(*exporter), std::make_unique<Renderer>(session), format == ExtractFormat::Mbox));
    if (!writer->mbox_) return writer;
    // Each message goes to the mailbox of every folder holding it, else to the one for no folder.
    auto folders = writer->exporter_.folders();
    if (!folders) return std::unexpected(std::move(folders.error()));
    std::set<std::string> taken;
    for (const MailFolder& f : *folders) {
        std::string path = mailboxPath(f.name);
        for (int n = 2; !taken.insert(lowerCase(path)).second; ++n)
            path = withExtension(mailboxPath(f.name), cat(" (", n, ").mbox"));
        for (const std::uint32_t id : f.notes) writer->mailboxesOf_[id].push_back(path);
    }
    // A folder of that name keeps it; mail in no folder then goes beside it.
    writer->unfiled_ = cat(kNoFolderMailbox, taken.contains("no folder.mbox") ? " (2).mbox" : ".mbox");
    return writer;
}

Result<void> MailWriter::makeParents(OutputFolder& folder, const std::string& path) {
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string parent = path.substr(0, slash);
        if (!foldersMade_.insert(parent).second) continue;
        if (auto made = folder.createFolder(parent); !made) return made;
    }
    return {};
}

void MailWriter::write(OutputFolder& folder, const std::string& plannedPath, std::optional<std::uint32_t> noteId,
                       ManifestEntry& entry, Progress& progress) {
    if (entry.subfile.type != TMSubFileType_Main) return;
    if (!noteId) {
        entry.status = "failed";
        entry.error = "the module gave no note ID";
        return;
    }
    // A note the exporter cannot open goes on to be written, which fails saying why.
    if (exporter_.isMail(*noteId) == 0) {
        entry.error = "not a mail message";
        return;
    }
    renderer_->add(*noteId, entry.subfile.index);
    auto message = exporter_.message(*noteId, mbox_ ? NSFMAIL_MBOX_ENTRY : 0u, Renderer::render, renderer_.get());
    if (!message) {
        entry.status = "failed";
        entry.error = message.error();
        return;
    }
    if (mbox_) {
        // Each message is appended as it comes, so memory does not grow with the mailboxes.
        std::vector<std::string>& boxes = mailboxesOf_[*noteId];
        if (boxes.empty()) boxes.push_back(unfiled_);
        for (const std::string& path : boxes) {
            if (!mailboxFailures_.contains(path)) {
                const bool made = mailboxesMade_.contains(path);
                auto written = made ? Result<void>{} : makeParents(folder, path);
                if (written) written = folder.writeFile(path, *message, made);
                if (written) {
                    if (!made) ++files_;
                    mailboxesMade_.insert(path);
                    continue;
                }
                mailboxFailures_.emplace(path, written.error());
            }
            entry.status = "failed";
            entry.error = mailboxFailures_.at(path);
            return;
        }
        entry.path = boxes.front();
    } else {
        const std::string path = withExtension(plannedPath, ".eml");
        auto written = makeParents(folder, path);
        if (written) written = folder.writeFile(path, *message);
        if (!written) {
            entry.status = "failed";
            entry.error = written.error();
            return;
        }
        entry.path = path;
        ++files_;
    }
    entry.status = "ok";
    entry.size = message->size();
    progress.addBytes(message->size());
}

void MailWriter::finish(std::vector<SubfileFailure>& failures) const {
    for (const auto& [path, error] : mailboxFailures_) failures.push_back({-1, path, error});
}

}  // namespace nsfrex
