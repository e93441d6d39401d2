// extract --format eml over every sample database, in this process on one core: the module's listing
// and renderings, the mail exporter and the files written; beside it the default extraction of the same
// databases, for the ratio. Reports the bytes written per second of CPU time (the machine is shared:
// wall time says more about the neighbours).
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_samples.h"
#include "extract_database.h"
#include "library_loader.h"
#include "notesapi/notes.h"
#include "nsfrex/mail_export.h"

namespace {

namespace fs = std::filesystem;

void BM_Extract(benchmark::State& state, nsfrex::ExtractFormat format) {
    const auto samples = nsfrex_bench::sampleDatabases();
    if (samples.empty()) {
        state.SkipWithError("no sample databases");
        return;
    }
    const fs::path out = fs::temp_directory_path() / ("nsfrex_bench_eml_" + std::to_string(::getpid()));
    fs::create_directories(out);
    nsfrex::ExtractRequest request;
    request.format = format;
    request.force = true;
    request.verbosity = nsfrex::Verbosity::Quiet;
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        for (const fs::path& sample : samples) {
            const nsfrex::DatabaseOutcome outcome = nsfrex::extractDatabase(sample, out, sample.stem().string(), request);
            bytes += outcome.bytes;
        }
    }
    std::error_code ec;
    fs::remove_all(out, ec);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK_CAPTURE(BM_Extract, eml, nsfrex::ExtractFormat::Eml)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Extract, auto, nsfrex::ExtractFormat::Auto)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

STATUS collectDocument(void* param, SEARCH_MATCH* match, ITEM_TABLE*) {
    SEARCH_MATCH m;
    std::memcpy(&m, match, sizeof m);  // may be unaligned
    static_cast<std::vector<NOTEID>*>(param)->push_back(m.ID.NoteID);
    return NOERROR;
}

// The mail exporter alone: every mail note of every sample written as a message, rich-text bodies
// without the module's renderings (the text then is empty and the HTML made from it).
void BM_MailExporter(benchmark::State& state) {
    auto directory = nsfrex::executableDirectory();
    void* library = directory ? ::dlopen((*directory / "libnsfrexmail.so").c_str(), RTLD_NOW | RTLD_NODELETE) : nullptr;
    auto* getInterface = library ? reinterpret_cast<NsfMailGetInterfaceFunc>(::dlsym(library, "nsfmailGetInterface")) : nullptr;
    NsfMailInterface mail{};
    if (getInterface == nullptr || getInterface(NSFMAIL_INTERFACE_VERSION, &mail) != NSFMAIL_OK || NotesInit() != NOERROR) {
        state.SkipWithError("no mail exporter beside the benchmark");
        return;
    }
    const NsfMailWriteFunc count = [](void* sink, const std::uint8_t*, std::uint32_t cb) -> std::int32_t {
        *static_cast<std::uint64_t*>(sink) += cb;
        return 1;
    };
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        for (const fs::path& sample : nsfrex_bench::sampleDatabases()) {
            NsfMailSession* session = nullptr;
            DBHANDLE db = NULLHANDLE;
            if (mail.fpOpen(sample.c_str(), &session, nullptr, 0) != NSFMAIL_OK) continue;
            std::vector<NOTEID> ids;
            if (NSFDbOpen(sample.c_str(), &db) == NOERROR) {
                NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_DOCUMENT, nullptr, collectDocument, &ids, nullptr);
                NSFDbClose(db);
            }
            for (const NOTEID id : ids)
                if (mail.fpIsMail(session, id) == 1)
                    mail.fpWriteMessage(session, id, 0, nullptr, nullptr, count, &bytes, nullptr, 0);
            mail.fpClose(session);
        }
    }
    NotesTerm();
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_MailExporter)->Unit(benchmark::kMillisecond);

}  // namespace
