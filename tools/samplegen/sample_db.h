// The contents of the project's own sample databases. Everything the end-to-end tests check is
// named here once (subjects, senders, attachment names and bytes, the key of the sealed mail).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nsf/id_file.h"
#include "nsf/memory_database.h"

namespace samplegen {

// nsfrex-sample.nsf: mails with rich text, a logo, MIME, non-ASCII attachment names and one sealed
// mail; a document that is not mail; an image resource; two folders.
void buildSampleDatabase(nsf::MemoryDatabaseBuilder& db);

// The key the sealed mail is sealed for, and the ID file that holds it.
nsf::EncryptionKey sampleKey();
inline constexpr std::string_view kSampleIdUser = "CN=Sample Reader/O=nsfrex";
inline constexpr std::string_view kSampleIdPassword = "sample";

// hostile-names.nsf: attachment names that must not escape an output folder or collide, and two
// mails with the same subject.
void buildHostileNamesDatabase(nsf::MemoryDatabaseBuilder& db);

}  // namespace samplegen
