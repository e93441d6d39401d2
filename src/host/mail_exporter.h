// The mail exporter library, loaded with dlopen, and one database opened through its table.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <dlfcn.h>

#include <nsfrex/mail_export.h>

#include "result.h"

namespace nsfrex {

struct MailFolder {
    std::string name;  // levels separated by '\'
    std::vector<std::uint32_t> notes;
};

// Kept loaded once loaded: GLib cannot register GMime's types a second time in one process.
inline constexpr int kMailExporterLoadFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;

class MailExporter {
public:
    // The library beside the running executable, with `database` open.
    static Result<MailExporter> open(const std::filesystem::path& database);

    MailExporter(MailExporter&& other) noexcept
        : library_(std::move(other.library_)), table_(other.table_), session_(std::exchange(other.session_, nullptr)) {}
    MailExporter& operator=(MailExporter&&) = delete;
    ~MailExporter();

    // 1 mail, 0 not mail, negative: unreadable.
    int isMail(std::uint32_t noteId) const;
    Result<std::string> message(std::uint32_t noteId, std::uint32_t flags, NsfMailRenderFunc render, void* renderer) const;
    Result<std::vector<MailFolder>> folders() const;

private:
    struct CloseLibrary {
        void operator()(void* handle) const noexcept;
    };
    MailExporter() = default;

    std::unique_ptr<void, CloseLibrary> library_;
    NsfMailInterface table_{};
    NsfMailSession* session_ = nullptr;
};

}  // namespace nsfrex
