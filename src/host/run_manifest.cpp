#include "run_manifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "json_text.h"
#include "output_folder.h"
#include "text.h"

namespace nsfrex {
namespace {

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string failuresJson(const std::vector<SubfileFailure>& failures) {
    std::string out = "[";
    for (std::size_t i = 0; i < failures.size(); ++i)
        out += cat(i == 0 ? "" : ", ", "{\"index\": ", failures[i].index, ", \"name\": ", jsonQuoted(failures[i].name),
                   ", \"error\": ", jsonQuoted(failures[i].message), "}");
    return out + "]";
}

}  // namespace

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string runManifestName(std::string_view shard) {
    if (shard.empty()) return "nsfrex-run.json";
    std::string name = cat("nsfrex-run-", shard, ".json");
    name.replace(name.find('/'), 1, "-of-");
    return name;
}

std::string runManifestJson(const RunSummary& run) {
    std::uint64_t files = 0, bytes = 0, failures = 0, documents = 0, notPresented = 0, encrypted = 0;
    std::string list;
    for (std::size_t i = 0; i < run.databases.size(); ++i) {
        const RunDatabase& d = run.databases[i];
        const DatabaseOutcome& o = d.outcome;
        files += o.files;
        bytes += o.bytes;
        failures += o.failures.size();
        documents += o.documents;
        notPresented += o.notPresented;
        encrypted += o.encryptedNotDecrypted;
        list += cat(i == 0 ? "\n" : ",\n", "    {\"path\": ", jsonQuoted(d.path.string()), ", \"folder\": ", jsonQuoted(d.folder),
                    ", \"state\": ", jsonQuoted(databaseStateName(o.state)), ", \"exitStatus\": ", o.exitStatus,
                    ", \"files\": ", std::to_string(o.files), ", \"bytes\": ", std::to_string(o.bytes),
                    ", \"documents\": ", std::to_string(o.documents), ", \"notPresented\": ", std::to_string(o.notPresented),
                    ", \"encryptedNotDecrypted\": ", std::to_string(o.encryptedNotDecrypted),
                    ", \"seconds\": ", seconds(o.seconds), ", \"failures\": ", failuresJson(o.failures), "}");
    }
    return cat("{\n  \"format\": ", jsonQuoted(run.format), ",\n  \"shard\": ",
               run.shard.empty() ? std::string("null") : jsonQuoted(run.shard), ",\n  \"started\": ", jsonQuoted(run.started),
               ",\n  \"seconds\": ", seconds(run.seconds), ",\n  \"exitStatus\": ", run.exitStatus,
               ",\n  \"totals\": {\"databases\": ", run.databases.size(), ", \"files\": ", std::to_string(files),
               ", \"bytes\": ", std::to_string(bytes), ", \"failures\": ", std::to_string(failures),
               ", \"documents\": ", std::to_string(documents), ", \"notPresented\": ", std::to_string(notPresented),
               ", \"encryptedNotDecrypted\": ", std::to_string(encrypted), "},\n  \"databases\": [", list,
               run.databases.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

Result<void> writeRunManifest(const std::filesystem::path& outDir, const RunSummary& run) {
    const std::filesystem::path target = outDir / runManifestName(run.shard);
    const std::filesystem::path temporary = cat(target.string(), ".partial");
    const std::string text = runManifestJson(run);
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    auto fail = [&](int error) {
        ::unlink(temporary.c_str());
        return failure(cat(target.string(), ": ", std::generic_category().message(error)));
    };
    if (!fd.valid()) return failure(cat(target.string(), ": ", std::generic_category().message(errno)));
    std::string_view rest = text;
    while (!rest.empty()) {
        const ssize_t n = ::write(fd.get(), rest.data(), rest.size());
        if (n <= 0) return fail(n < 0 ? errno : ENOSPC);
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    if (!fd.close()) return fail(errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0) return fail(errno);
    return {};
}

}  // namespace nsfrex
