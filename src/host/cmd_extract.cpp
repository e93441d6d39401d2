// nsfrex extract -o DIR FILE: writes subfiles through the module's extraction slots into DIR, each under
// the name the module gives it. Names come from inside the database and are not trusted: separators,
// control characters, "." and ".." are replaced, clashes get a number, and files are only ever created
// new inside DIR (never through an existing file or link).
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"
#include "module.h"
#include "open_database.h"
#include "options.h"
#include "text.h"

namespace nsfrex {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxNameBytes = 200;

enum class Format { Auto, Text, Fields, Dxl };

struct Subfile {
    std::int32_t index = 0;
    std::int32_t type = 0;
    std::string name;
    std::vector<std::int32_t> children;
};

// A name from the database made safe as one file name in the output folder.
std::string safeName(std::string_view raw, std::int32_t index) {
    std::string name;
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        name.push_back(byte < 0x20 || byte == 0x7F || c == '/' || c == '\\' ? '_' : c);
    }
    if (name.size() > kMaxNameBytes) {
        std::size_t cut = kMaxNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // whole characters
        name.resize(cut);
    }
    if (name.empty() || name == "." || name == "..") name = cat("subfile_", index);
    return name;
}

// Hands out names not used before in this run and not present in the folder.
class NameBook {
public:
    explicit NameBook(fs::path dir) : dir_(std::move(dir)) {}

    std::string reserve(const std::string& wanted) {
        const std::size_t dot = wanted.find_last_of('.');
        const bool hasExtension = dot != std::string::npos && dot > 0;
        const std::string stem = hasExtension ? wanted.substr(0, dot) : wanted;
        const std::string extension = hasExtension ? wanted.substr(dot) : std::string();
        std::string name = wanted;
        for (int n = 2; used_.contains(name) || exists(name); ++n) name = cat(stem, "~", n, extension);
        used_.insert(name);
        return name;
    }

private:
    bool exists(const std::string& name) const {
        std::error_code error;
        return fs::symlink_status(dir_ / name, error).type() != fs::file_type::not_found;
    }

    fs::path dir_;
    std::set<std::string> used_;
};

// An output stream for one extraction call. Each open creates the next of its names (slot 7 opens once
// for the note and once per attachment); files are created new, never through an existing path.
class OutputFiles {
public:
    OutputFiles(fs::path dir, std::vector<std::string> names) : dir_(std::move(dir)), names_(std::move(names)) {
        io_.pHostData = this;
        io_.pFileName = label_.data();
        io_.twOpenFunc = ioOpen;
        io_.twWriteFunc = ioWrite;
        io_.twCloseFunc = nullptr;
    }
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;
    ~OutputFiles() { closeFile(); }

    IOobj64* io() noexcept { return &io_; }
    const std::vector<fs::path>& written() const noexcept { return written_; }
    bool writeFailed() const noexcept { return writeFailed_; }

    // Removes what this stream created (after a failed extraction of a single subfile).
    void discard() {
        closeFile();
        for (const fs::path& file : written_) {
            std::error_code error;
            fs::remove(file, error);
        }
        written_.clear();
    }

private:
    static OutputFiles& of(IOobj64* io) noexcept { return *static_cast<OutputFiles*>(io->pHostData); }

    static std::int32_t ioOpen(IOobj64* io) {
        OutputFiles& self = of(io);
        if (self.fd_ >= 0) return 1;
        const std::string name =
            self.next_ < self.names_.size() ? self.names_[self.next_] : cat("extra_", self.next_);
        ++self.next_;
        const fs::path path = self.dir_ / name;
        self.fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (self.fd_ < 0) return 0;
        self.written_.push_back(path);
        self.label_ = path.string();
        io->pFileName = self.label_.data();
        io->twCloseFunc = ioClose;
        return 1;
    }

    static std::int32_t ioWrite(IOobj64* io, const std::uint8_t* pb, std::uint32_t cb) {
        OutputFiles& self = of(io);
        if (self.fd_ < 0) return 0;
        while (cb > 0) {
            const ssize_t n = ::write(self.fd_, pb, cb);
            if (n <= 0) {
                self.writeFailed_ = true;
                return 0;
            }
            pb += n;
            cb -= static_cast<std::uint32_t>(n);
        }
        return 1;
    }

    static std::int32_t ioClose(IOobj64* io) {
        OutputFiles& self = of(io);
        io->twCloseFunc = nullptr;
        return self.closeFile() ? 1 : 0;
    }

    bool closeFile() {
        if (fd_ < 0) return true;
        const bool ok = ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

    IOobj64 io_{};
    fs::path dir_;
    std::vector<std::string> names_;
    std::size_t next_ = 0;
    int fd_ = -1;
    std::string label_ = "(not open)";
    std::vector<fs::path> written_;
    bool writeFailed_ = false;
};

// Slot 3 for every subfile: name, type and children.
Result<std::vector<Subfile>> readSubfiles(const ModuleSession& session) {
    auto container = session.containerInfo();
    if (!container) return std::unexpected(std::move(container.error()));
    MemoryService& memory = session.host().zapi()->memoryService;
    HostAllocatorRef allocator{session.host().zapi(), &memory};
    std::vector<Subfile> subfiles;
    for (std::int32_t index = 0; index < container->numSubFiles; ++index) {
        SubFileInfo info{};
        const std::int32_t status = session.reader().fpGetSubFileInfo(session.context(), index, &info, &allocator);
        Subfile subfile;
        subfile.index = index;
        subfile.type = info.subFileType;
        if (info.subFileName != nullptr) subfile.name = info.subFileName;
        if (info.childArray != nullptr) subfile.children.assign(info.childArray, info.childArray + info.childCount);
        memory.fpFree(&memory, info.subFileName);
        memory.fpFree(&memory, info.childArray);
        if (status != 0)
            return failure(cat("subfile ", index, ": module status ", status, " (", describeModuleStatus(status), ")"));
        subfiles.push_back(std::move(subfile));
    }
    return subfiles;
}

// The note ID of a note subfile, from the module's "$$$TM_NoteID" metadata (eight hexadecimal digits).
Result<std::uint32_t> noteId(const ModuleSession& session, std::int32_t index) {
    MemoryService& memory = session.host().zapi()->memoryService;
    HostAllocatorRef allocator{session.host().zapi(), &memory};
    MetaName name{TMMetaNameType_String, const_cast<char*>("$$$TM_NoteID")};
    MetaName* names[] = {&name};
    SubFileMetaData meta{};
    const std::int32_t status = session.reader().fpGetSubFileMetadata(session.context(), index, 1, names, &meta, &allocator);
    std::optional<std::uint32_t> id;
    for (std::int32_t i = 0; meta.ppElem != nullptr && i < meta.nElem; ++i) {
        SubFileMetaElem* element = meta.ppElem[i];
        if (element == nullptr) continue;
        if (!id && element->isDataValid && element->data != nullptr && element->dataSize > 1) {
            std::uint32_t value = 0;
            const char* text = reinterpret_cast<const char*>(element->data);
            const auto [end, error] = std::from_chars(text, text + element->dataSize - 1, value, 16);
            if (error == std::errc()) id = value;
        }
        memory.fpFree(&memory, element->strType);
        memory.fpFree(&memory, element->data);
        memory.fpFree(&memory, element);
    }
    memory.fpFree(&memory, meta.ppElem);
    if (status != 0)
        return failure(cat("note ID: module status ", status, " (", describeModuleStatus(status), ")"));
    if (!id || *id == 0) return failure("note ID: not given by the module");
    return *id;
}

struct Request {
    fs::path outDir;
    std::optional<std::string> database;
    std::vector<std::int32_t> indexes;
    Format format = Format::Auto;
    bool withAttachments = false;
};

int usage(std::string_view message) {
    std::fprintf(stderr,
                 "nsfrex extract: %.*s\nusage: nsfrex extract [OPTIONS] -o DIR FILE [--index N ...] "
                 "[--format auto|text|fields|dxl] [--with-attachments]\n",
                 static_cast<int>(message.size()), message.data());
    return 2;
}

std::optional<std::int32_t> parseIndex(std::string_view text) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

std::optional<Format> parseFormat(std::string_view text) {
    if (text == "auto") return Format::Auto;
    if (text == "text") return Format::Text;
    if (text == "fields") return Format::Fields;
    if (text == "dxl") return Format::Dxl;
    return std::nullopt;
}

void reportFailure(std::int32_t index, std::string_view reason) {
    const std::string line = cat("nsfrex extract: subfile ", index, ": ", reason, "\n");
    std::fwrite(line.data(), 1, line.size(), stderr);
}

class Extractor {
public:
    Extractor(const ModuleSession& session, fs::path dir, std::uint32_t flags, std::vector<Subfile> subfiles)
        : session_(session), dir_(std::move(dir)), names_(dir_), flags_(flags), subfiles_(std::move(subfiles)) {}

    // Slot 5 for one subfile.
    bool single(const Subfile& subfile) {
        const std::string name = names_.reserve(safeName(subfile.name, subfile.index));
        OutputFiles out(dir_, {name});
        SubFileExtractInfo info = extractInfo(name);
        const std::int32_t status = session_.reader().fpExtractSubFileToIOobj(
            session_.context(), subfile.index, out.io(), &info, hostPointer(), flags_);
        return finish(subfile.index, status, out, true);
    }

    // Slot 7 for a note and its attachments, which the module writes one after the other.
    bool withAttachments(const Subfile& subfile) {
        if (subfile.type != TMSubFileType_Main) return single(subfile);
        auto id = noteId(session_, subfile.index);
        if (!id) {
            reportFailure(subfile.index, id.error());
            return false;
        }
        std::vector<std::string> names{names_.reserve(safeName(subfile.name, subfile.index))};
        for (std::int32_t i = subfile.index + 1; i < static_cast<std::int32_t>(subfiles_.size()); ++i) {
            const Subfile& next = subfiles_[static_cast<std::size_t>(i)];
            if (next.type == TMSubFileType_Main || next.type == TMSubFileType_Folder) break;
            names.push_back(names_.reserve(safeName(next.name, next.index)));
        }
        OutputFiles out(dir_, names);
        SubFileExtractInfo info = extractInfo(names.front());
        NoteDescriptor note{};
        note.qwNoteID = *id;
        note.nKind = TM_NOTE_DESCRIPTOR_KIND;
        ExtraSubFileInfo extra{flags_, &note};
        const std::int32_t status = session_.reader().fpExtractSubFileToIOobjEx(
            session_.context(), subfile.index, out.io(), &info, hostPointer(), &extra);
        return finish(subfile.index, status, out, false);
    }

    int filesWritten() const noexcept { return filesWritten_; }

private:
    SubFileExtractInfo extractInfo(const std::string& name) {
        dirText_ = dir_.string();
        nameText_ = name;
        SubFileExtractInfo info{};
        info.filePath = dirText_.data();
        info.fileName = nameText_.data();
        return info;
    }

    void* hostPointer() const noexcept { return const_cast<ModuleSession*>(&session_); }

    bool finish(std::int32_t index, std::int32_t status, OutputFiles& out, bool discardOnFailure) {
        if (status == 0 && !out.writeFailed()) {
            filesWritten_ += static_cast<int>(out.written().size());
            return true;
        }
        std::string reason = status != 0 ? cat("module status ", status, " (", describeModuleStatus(status), ")")
                                         : std::string("writing the output file failed");
        reportFailure(index, reason);
        if (discardOnFailure)
            out.discard();
        else
            filesWritten_ += static_cast<int>(out.written().size());
        return false;
    }

    const ModuleSession& session_;
    fs::path dir_;
    NameBook names_;
    std::uint32_t flags_;
    std::vector<Subfile> subfiles_;
    std::string dirText_;
    std::string nameText_;
    int filesWritten_ = 0;
};

}  // namespace

int runExtract(Args args) {
    CommonOptions options;
    Request request;
    bool haveOut = false;
    ArgCursor cursor(args);
    while (!cursor.atEnd()) {
        auto common = takeCommonOption(cursor, options);
        if (!common) return usage(common.error());
        if (*common) continue;
        if (auto out = cursor.takeValue("-o")) {
            if (!*out) return usage(out->error());
            request.outDir = **out;
            haveOut = true;
            continue;
        }
        if (auto index = cursor.takeValue("--index")) {
            if (!*index) return usage(index->error());
            const auto value = parseIndex(**index);
            if (!value) return usage(cat("bad index ", **index));
            request.indexes.push_back(*value);
            continue;
        }
        if (auto format = cursor.takeValue("--format")) {
            if (!*format) return usage(format->error());
            const auto value = parseFormat(**format);
            if (!value) return usage(cat("unknown format ", **format));
            request.format = *value;
            continue;
        }
        if (cursor.takeFlag("--with-attachments")) {
            request.withAttachments = true;
            continue;
        }
        const std::string_view arg = cursor.next();
        if (arg.size() > 1 && arg[0] == '-') return usage(cat("unknown option ", arg));
        if (!request.database) {
            request.database = std::string(arg);
            continue;
        }
        const auto value = parseIndex(arg);
        if (!value) return usage(cat("bad index ", arg));
        request.indexes.push_back(*value);
    }
    if (!request.database) return usage("expected one database file");
    if (!haveOut || request.outDir.empty()) return usage("expected -o DIR");

    if (request.format == Format::Fields) options.settings.push_back("nsfrex.ExtractAllFields=1");
    if (request.format == Format::Dxl) options.settings.push_back("nsfrex.ExportDXL=1");
    const std::uint32_t flags = request.format == Format::Auto ? TM_EXTRACT_FORMATTED_BODY : 0u;

    auto opened = openDatabase(options, *request.database);
    if (!opened) {
        std::fprintf(stderr, "nsfrex extract: %s\n", opened.error().c_str());
        return 2;
    }
    auto subfiles = readSubfiles(opened->session);
    if (!subfiles) {
        std::fprintf(stderr, "nsfrex extract: %s: %s\n", opened->session.databasePath().c_str(),
                     subfiles.error().c_str());
        return 2;
    }

    std::error_code error;
    fs::create_directories(request.outDir, error);
    if (error || !fs::is_directory(request.outDir)) {
        std::fprintf(stderr, "nsfrex extract: cannot make the folder %s\n", request.outDir.c_str());
        return 2;
    }

    const auto count = static_cast<std::int32_t>(subfiles->size());
    std::vector<std::int32_t> indexes = request.indexes;
    if (indexes.empty())
        for (std::int32_t i = 0; i < count; ++i) indexes.push_back(i);

    const std::vector<Subfile> table = *subfiles;
    Extractor extractor(opened->session, request.outDir, flags, std::move(*subfiles));
    bool allGood = true;
    for (const std::int32_t index : indexes) {
        if (index >= count) {
            reportFailure(index, cat("no such subfile (the database has ", count, ")"));
            allGood = false;
            continue;
        }
        const Subfile& subfile = table[static_cast<std::size_t>(index)];
        // with --with-attachments every attachment comes out with its note
        if (request.withAttachments && request.indexes.empty() && subfile.type != TMSubFileType_Main &&
            subfile.type != TMSubFileType_Folder)
            continue;
        const bool ok = request.withAttachments ? extractor.withAttachments(subfile) : extractor.single(subfile);
        allGood = allGood && ok;
    }
    return allGood ? 0 : 1;
}

}  // namespace nsfrex
