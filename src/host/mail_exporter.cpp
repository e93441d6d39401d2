#include "mail_exporter.h"

#include <dlfcn.h>

#include "extract_mail.h"
#include "library_loader.h"
#include "module.h"
#include "text.h"

namespace nsfrex {

void MailExporter::CloseLibrary::operator()(void* handle) const noexcept { ::dlclose(handle); }

Result<MailExporter> MailExporter::open(const std::filesystem::path& database) {
    auto directory = moduleDirectory();  // the exporter is installed beside the module
    if (!directory) return std::unexpected(std::move(directory.error()));
    const std::filesystem::path file = *directory / std::string(kMailExporterFileName);
    MailExporter exporter;
    exporter.library_.reset(::dlopen(file.c_str(), kMailExporterLoadFlags));
    if (!exporter.library_) return failure(cat("cannot load the mail exporter ", file.string(), ": ", ::dlerror()));
    auto* getInterface =
        reinterpret_cast<NsfMailGetInterfaceFunc>(::dlsym(exporter.library_.get(), "nsfmailGetInterface"));
    if (getInterface == nullptr || getInterface(NSFMAIL_INTERFACE_VERSION, &exporter.table_) != NSFMAIL_OK)
        return failure(cat(file.string(), " does not offer the mail exporter interface"));
    char error[512] = {};
    if (exporter.table_.fpOpen(database.c_str(), &exporter.session_, error, sizeof error) != NSFMAIL_OK)
        return failure(cat("the mail exporter cannot open the database: ", error));
    return exporter;
}

MailExporter::~MailExporter() {
    if (session_ != nullptr) table_.fpClose(session_);
}

int MailExporter::isMail(std::uint32_t noteId) const { return table_.fpIsMail(session_, noteId); }

Result<std::string> MailExporter::message(std::uint32_t noteId, std::uint32_t flags, NsfMailRenderFunc render,
                                          void* renderer) const {
    std::string out;
    const NsfMailWriteFunc append = [](void* sink, const std::uint8_t* pb, std::uint32_t cb) -> std::int32_t {
        static_cast<std::string*>(sink)->append(reinterpret_cast<const char*>(pb), cb);
        return 1;
    };
    char error[512] = {};
    if (table_.fpWriteMessage(session_, noteId, flags, render, renderer, append, &out, error, sizeof error) != NSFMAIL_OK)
        return failure(error);
    return out;
}

Result<std::vector<MailFolder>> MailExporter::folders() const {
    std::vector<MailFolder> out;
    const NsfMailFolderFunc add = [](void* pv, const char* name, const std::uint32_t* ids, std::uint32_t count) {
        static_cast<std::vector<MailFolder>*>(pv)->push_back({name, std::vector<std::uint32_t>(ids, ids + count)});
    };
    char error[512] = {};
    if (table_.fpListFolders(session_, add, &out, error, sizeof error) != NSFMAIL_OK) return failure(error);
    return out;
}

}  // namespace nsfrex
