#include "extract_database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

#include "console.h"
#include "damage_report.h"
#include "database_census.h"
#include "extract_mail.h"
#include "extract_stream.h"
#include "extract_tree.h"
#include "manifest.h"
#include "manifest_spool.h"
#include "metadata.h"
#include "module.h"
#include "nsf/database.h"
#include "open_database.h"
#include "output_folder.h"
#include "progress.h"
#include "safe_name.h"
#include "stop_signal.h"
#include "subfiles.h"
#include "text.h"

namespace nsfrex {
namespace {

namespace fs = std::filesystem;

std::string moduleFailure(std::int32_t status) {
    return cat("module status ", status, " (", describeModuleStatus(status), ")");
}

struct Outcome {
    bool ok = true;
    std::string error;
};

// The index.json entries of the subfiles in hand: made when first asked for, written out in index order
// and dropped, so that what is kept does not grow with the database.
class EntryWindow {
public:
    explicit EntryWindow(const std::vector<SubfileEntry>& subfiles) : subfiles_(subfiles) {}

    ManifestEntry& operator[](std::size_t i) {
        auto [it, made] = open_.try_emplace(i);
        if (made) {
            it->second.subfile = subfiles_[i];
            it->second.status = "skipped";
        }
        return it->second;
    }
    // Takes entry `i` out (a skipped one when it was never asked for).
    ManifestEntry take(std::size_t i) {
        ManifestEntry entry = std::move((*this)[i]);
        open_.erase(i);
        return entry;
    }

private:
    const std::vector<SubfileEntry>& subfiles_;
    std::map<std::size_t, ManifestEntry> open_;
};

class DatabaseExtractor {
public:
    DatabaseExtractor(const ModuleSession& session, OutputFolder& folder, const std::vector<PlannedSubfile>& plan,
                      EntryWindow& entries, std::uint32_t flags, Progress& progress)
        : session_(session), folder_(folder), plan_(plan), entries_(entries), flags_(flags), progress_(progress) {}

    // Slot 5 for one subfile.
    void single(std::size_t i) {
        const PlannedSubfile& planned = plan_[i];
        ManifestEntry& entry = entries_[i];
        if (planned.isFolder) {
            auto made = folder_.createFolder(planned.path);
            if (!made && !outputError_) outputError_ = made.error();
            record(entry, made ? Outcome{} : Outcome{false, made.error()}, planned.path, std::nullopt);
            return;
        }
        ExtractStream stream(folder_, {planned.path}, progress_);
        SubFileExtractInfo info = extractInfo(planned.path);
        const std::int32_t status = session_.reader().fpExtractSubFileToIOobj(session_.context(), entry.subfile.index,
                                                                           stream.io(), &info, hostPointer(), flags_);
        if (status != 0 || !stream.error().empty() || stream.opened() != 1) {
            if (stream.outputFailed() && !outputError_) outputError_ = stream.error();
            stream.discard();
            const std::string reason = status != 0            ? moduleFailure(status)
                                       : !stream.error().empty() ? stream.error()
                                                                 : std::string("the module wrote no output");
            record(entry, Outcome{false, reason}, std::nullopt, std::nullopt);
            return;
        }
        record(entry, Outcome{}, planned.path, stream.sizes().front());
    }

    // Slot 7 for a note and its attachments, which the module writes one after the other. Slot 7 reports
    // only the status of the last of them, and an attachment that fails before opening its stream shifts
    // the rest; unless every file came out in order, the subfiles are extracted again one by one.
    void withAttachments(std::size_t i) {
        const PlannedSubfile& planned = plan_[i];
        std::vector<std::string> targets{planned.path};
        for (const int child : planned.children) targets.push_back(plan_[static_cast<std::size_t>(child)].path);
        const std::int32_t index = entries_[i].subfile.index;
        if (auto id = noteId(session_, index)) {
            ExtractStream stream(folder_, targets, progress_);
            SubFileExtractInfo info = extractInfo(planned.path);
            NoteDescriptor note{};
            note.qwNoteID = *id;
            note.nKind = TM_NOTE_DESCRIPTOR_KIND;
            ExtraSubFileInfo extra{flags_, &note};
            const std::int32_t status = session_.reader().fpExtractSubFileToIOobjEx(session_.context(), index, stream.io(),
                                                                                 &info, hostPointer(), &extra);
            if (stream.outputFailed()) {
                outputError_ = stream.error();
                stream.discard();
                return;
            }
            if (status == 0 && stream.error().empty() && stream.opened() == targets.size()) {
                record(entries_[i], Outcome{}, planned.path, stream.sizes()[0]);
                for (std::size_t k = 0; k < planned.children.size(); ++k)
                    record(entries_[static_cast<std::size_t>(planned.children[k])], Outcome{}, targets[k + 1],
                           stream.sizes()[k + 1]);
                return;
            }
            stream.discard();
        }
        single(i);
        for (const int child : planned.children) single(static_cast<std::size_t>(child));
    }

    std::uint64_t files() const noexcept { return files_; }
    // Why writing the output failed, when it did; nothing more is extracted then.
    const std::optional<std::string>& outputError() const noexcept { return outputError_; }
    bool outputFailed() const noexcept { return outputError_.has_value(); }

private:
    void record(ManifestEntry& entry, const Outcome& outcome, std::optional<std::string> path,
                std::optional<std::uint64_t> size) {
        entry.status = outcome.ok ? "ok" : "failed";
        if (!outcome.ok) entry.error = outcome.error;
        entry.path = std::move(path);
        entry.size = size;
        if (size) ++files_;
    }

    SubFileExtractInfo extractInfo(const std::string& relative) {
        const fs::path full = folder_.path() / relative;
        folderText_ = full.parent_path().string();
        nameText_ = full.filename().string();
        SubFileExtractInfo info{};
        info.filePath = folderText_.data();
        info.fileName = nameText_.data();
        return info;
    }

    void* hostPointer() const noexcept { return const_cast<ModuleSession*>(&session_); }

    const ModuleSession& session_;
    OutputFolder& folder_;
    const std::vector<PlannedSubfile>& plan_;
    EntryWindow& entries_;
    std::uint32_t flags_;
    Progress& progress_;
    std::string folderText_;
    std::string nameText_;
    std::uint64_t files_ = 0;
    std::optional<std::string> outputError_;
};

// Whether the note carries a seal, and if so whether its encrypted items now read through the module
// (the module decrypts when the given IDs hold a key for it).
void recordEncryption(const ModuleSession& session, const DatabaseCensus& census, std::optional<nsf::NoteId> id,
                      ManifestEntry& entry) {
    const auto sealed = id ? census.encryptedItems(*id) : std::nullopt;
    entry.encrypted = sealed.has_value();
    if (!sealed) return;
    bool readable = false;
    if (!sealed->empty()) {
        if (auto values = readMetadata(session, entry.subfile.index, MetadataRequest::Fields, *sealed))
            readable = std::ranges::any_of(*values, [](const MetadataElement& e) { return e.value.has_value(); });
    }
    entry.decrypted = readable;
}

// The size and modification time that identify the database file.
Result<DatabaseStamp> databaseStamp(const fs::path& database) {
    struct stat info{};
    if (::stat(database.c_str(), &info) != 0) return failure(std::generic_category().message(errno));
    std::tm utc{};
    ::gmtime_r(&info.st_mtim.tv_sec, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%09ldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<long>(info.st_mtim.tv_nsec));
    return DatabaseStamp{static_cast<std::uint64_t>(info.st_size), text};
}

std::string readWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void printVerbose(const std::string& database, const ManifestEntry& entry) {
    const std::string detail = entry.status == "ok"
                                   ? (entry.size ? cat(std::to_string(*entry.size), " bytes") : std::string("folder"))
                                   : entry.error.value_or("");
    writeText(STDOUT_FILENO, cat(database, ": ", entry.subfile.index, " ", entry.path.value_or("-"), " ", entry.status,
                                 detail.empty() ? "" : " ", detail, "\n"));
}

}  // namespace

std::string_view formatName(ExtractFormat format) noexcept {
    switch (format) {
    case ExtractFormat::Text: return "text";
    case ExtractFormat::Fields: return "fields";
    case ExtractFormat::Dxl: return "dxl";
    case ExtractFormat::Eml: return "eml";
    case ExtractFormat::Mbox: return "mbox";
    case ExtractFormat::Auto: break;
    }
    return "auto";
}

std::optional<ExtractFormat> parseExtractFormat(std::string_view text) noexcept {
    for (const ExtractFormat format : {ExtractFormat::Auto, ExtractFormat::Text, ExtractFormat::Fields, ExtractFormat::Dxl,
                                       ExtractFormat::Eml, ExtractFormat::Mbox})
        if (formatName(format) == text) return format;
    return std::nullopt;
}

std::string_view databaseStateName(DatabaseState state) noexcept {
    switch (state) {
    case DatabaseState::NotExtracted: return "not extracted";
    case DatabaseState::Unchanged: return "unchanged";
    case DatabaseState::Interrupted: return "interrupted";
    case DatabaseState::Extracted: break;
    }
    return "extracted";
}

std::string partialFolderName(std::string_view folderName) { return cat(kPartialPrefix, folderName); }

DatabaseOutcome extractDatabase(const fs::path& database, const fs::path& outDir, const std::string& folderName,
                                const ExtractRequest& request) {
    const auto started = std::chrono::steady_clock::now();
    DatabaseOutcome outcome;
    const std::string label = database.string();
    auto fatal = [&](const std::string& message) {
        writeText(STDERR_FILENO, cat("nsfrex extract: ", message, "\n"));
        outcome.exitStatus = 2;
        outcome.state = DatabaseState::NotExtracted;
        return outcome;
    };
    auto stamp = databaseStamp(database);
    const bool exists = outputExists(outDir, folderName);
    if (exists && request.resume) {
        const std::string json = readWholeFile(outDir / folderName / kManifestName);
        const auto header = readManifestHeader(json);
        // --resume replaces what an earlier extract made, never a folder of someone else's.
        if (!header)
            return fatal(cat(label, ": the output folder ", (outDir / folderName).string(),
                             " exists but was not made by nsfrex extract (--force replaces it)"));
        // A folder made with --index holds only some subfiles: not complete for a run over all of them.
        const bool partial = request.indexes.empty() && json.find("\"status\": \"skipped\"") != std::string::npos;
        if (stamp && !partial &&
            *header == ManifestHeader{*stamp, std::string(formatName(request.format)), request.options.root}) {
            std::error_code ignored;  // a run killed while replacing this folder left the old one here
            fs::remove_all(outDir / partialFolderName(folderName), ignored);
            outcome.state = DatabaseState::Unchanged;
            return outcome;
        }
    }
    // Refused before the database is read: an existing output is never silently overwritten.
    if (exists && !request.force && !request.resume)
        return fatal(cat(label, ": the output folder ", (outDir / folderName).string(), " already exists (--force replaces it)"));

    CommonOptions options = request.options;
    if (request.format == ExtractFormat::Fields) options.settings.push_back("nsfrex.ExtractAllFields=1");
    if (request.format == ExtractFormat::Dxl) options.settings.push_back("nsfrex.ExportDXL=1");
    const std::uint32_t flags = request.format == ExtractFormat::Auto ? TM_EXTRACT_FORMATTED_BODY : 0u;

    if (request.salvage) requestRuntimeSalvage();
    auto opened = openDatabase(options, database);
    if (!opened && stopSignal() != 0) {
        outcome.state = DatabaseState::Interrupted;  // the signal cut the open short
        outcome.exitStatus = stoppedExitStatus(stopSignal());
        return outcome;
    }
    if (!opened) return fatal(opened.error());
    if (!stamp) return fatal(cat(label, ": ", stamp.error()));
    const ModuleSession& session = opened->session;
    auto subfiles = listSubfiles(session);
    if (!subfiles) return fatal(cat(label, ": ", subfiles.error()));
    const DatabaseCensus census = DatabaseCensus::take(session.databasePath(), request.salvage);

    const std::string rootName = safeFileName(database.stem().string(), "root");
    const std::vector<PlannedSubfile> plan = planTree(*subfiles, rootName);
    // The folder to extract into is made only now that the database has opened.
    std::error_code made;
    fs::create_directories(outDir, made);
    auto folder = OutputFolder::create(outDir, partialFolderName(folderName), true);  // a stale one is from an interrupted run
    if (!folder) {
        outcome.outputFailed = true;
        return fatal(cat(label, ": ", folder.error()));
    }

    // eml and mbox: mail notes through the mail exporter instead of the module's extraction.
    auto mail = MailWriter::open(session, database, request.format);
    if (!mail) return fatal(cat(label, ": ", mail.error()));

    const std::size_t count = subfiles->size();
    std::vector<bool> chosen(count, request.indexes.empty());
    for (const std::int32_t index : request.indexes) {
        if (index >= 0 && static_cast<std::size_t>(index) < count)
            chosen[static_cast<std::size_t>(index)] = true;
        else
            outcome.failures.push_back({index, "-", cat("no such subfile (the database has ", count, ")")});
    }
    int notes = 0;
    for (std::size_t i = 0; i < count; ++i) notes += chosen[i] && (*subfiles)[i].type == TMSubFileType_Main ? 1 : 0;

    Manifest manifest{database.filename().string(), label, *stamp, std::string(formatName(request.format)),
                      request.options.root, std::nullopt, std::nullopt, 0, {}};
    auto spool = ManifestSpool::create(*folder);
    if (!spool) {
        folder->abandon();
        outcome.outputFailed = true;
        return fatal(cat(label, ": cannot write the output: ", spool.error()));
    }
    EntryWindow entries(*subfiles);
    std::vector<SubfileFailure> failed;  // subfiles that failed, in index order
    std::size_t failedAttachments = 0;
    std::optional<std::string> spoolError;
    // Entry `i` is complete: into index.json's entries, and out of memory.
    auto finishEntry = [&](std::size_t i) {
        const ManifestEntry entry = entries.take(i);
        if (entry.status == "failed") {
            failed.push_back({entry.subfile.index, entry.subfile.name.value_or("-"), entry.error.value_or("")});
            if (entry.subfile.type != TMSubFileType_Main && entry.subfile.type != TMSubFileType_Folder) ++failedAttachments;
        }
        if (auto added = spool->add(entry); !added && !spoolError) spoolError = cat("index.json: ", added.error());
    };

    Progress progress(request.progress, database.filename().string(), notes);
    DatabaseExtractor extractor(session, *folder, plan, entries, flags, progress);
    std::vector<bool> done(count, false);
    std::vector<nsf::NoteId> presented;
    for (std::size_t i = 0; i < count && stopSignal() == 0 && !extractor.outputFailed() && !spoolError; ++i) {
        const bool isNote = (*subfiles)[i].type == TMSubFileType_Main;
        ManifestEntry& entry = entries[i];
        std::optional<nsf::NoteId> id;
        if (isNote) {
            if (auto got = noteId(session, entry.subfile.index)) id = *got;
            if (id) presented.push_back(*id);
        }
        if (!chosen[i] || done[i]) {
            finishEntry(i);
            continue;
        }
        if (*mail) {
            (*mail)->write(*folder, plan[i].path, id, entry, progress);
        } else if (request.withAttachments && isNote && !plan[i].children.empty()) {
            extractor.withAttachments(i);
            for (const int child : plan[i].children) done[static_cast<std::size_t>(child)] = true;
        } else {
            extractor.single(i);
        }
        done[i] = true;
        if (isNote) {
            auto fields = mailFields(session, entry.subfile.index);
            if (fields) {
                entry.metadata = std::move(*fields);
            } else if (entry.status == "ok") {
                entry.status = "failed";
                entry.error = cat("metadata: ", fields.error());
            }
            recordEncryption(session, census, id, entry);
            if (entry.decrypted == false) ++manifest.encryptedNotDecrypted;
            progress.noteDone();
        }
        if (request.verbosity == Verbosity::Verbose) {
            printVerbose(label, entry);
            if (request.withAttachments && isNote)
                for (const int child : plan[i].children) printVerbose(label, entries[static_cast<std::size_t>(child)]);
        }
        finishEntry(i);
    }
    progress.finish();
    if (*mail) (*mail)->finish(outcome.failures);

    // Nothing lost in silence: what the engine cannot read is counted, listed in index.json and fails the run.
    const DamageReport damage = reportDamage(census.damage(), failedAttachments);
    manifest.damage = damage.damage;
    for (const std::string& line : damageLines(damage)) {
        if (damage.lost()) outcome.failures.push_back({-1, "damage", line});
        else writeText(STDERR_FILENO, cat("nsfrex extract: ", label, ": ", line, "\n"));
    }

    if (census.documents()) {
        std::ranges::sort(presented);
        manifest.documents = census.documents()->size();
        manifest.notPresented = std::ranges::count_if(*census.documents(), [&](nsf::NoteId id) { return !std::ranges::binary_search(presented, id); });
    }
    outcome.documents = manifest.documents.value_or(0);
    outcome.notPresented = manifest.notPresented.value_or(0);
    outcome.encryptedNotDecrypted = manifest.encryptedNotDecrypted;
    outcome.files = extractor.files() + (*mail ? (*mail)->files() : 0);
    outcome.bytes = progress.bytes();
    const auto finish = [&](DatabaseOutcome& result) -> DatabaseOutcome& {
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return result;
    };

    if (stopSignal() != 0) {
        folder->abandon();
        outcome.state = DatabaseState::Interrupted;
        outcome.exitStatus = stoppedExitStatus(stopSignal());
        outcome.failures.clear();
        return finish(outcome);
    }
    std::optional<std::string> outputError = extractor.outputError();
    if (!outputError) outputError = spoolError;
    if (!outputError) {
        if (auto written = spool->publish(*folder, manifest); !written) outputError = written.error();
    }
    if (!outputError) {
        if (auto published = folder->publish(folderName, exists); !published) outputError = published.error();
    }
    if (outputError) {
        // The output itself cannot be written (a full disk, say): stop here, say why once, leave nothing.
        folder->abandon();
        outcome = fatal(cat(label, ": cannot write the output: ", *outputError));
        outcome.outputFailed = true;
        outcome.files = outcome.bytes = 0;
        return finish(outcome);
    }
    outcome.failures.insert(outcome.failures.end(), failed.begin(), failed.end());
    outcome.exitStatus = outcome.failures.empty() ? 0 : 1;
    return finish(outcome);
}

}  // namespace nsfrex
