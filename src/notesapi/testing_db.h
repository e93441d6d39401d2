// Test hook: makes NSFDbOpen of a given path open a database supplied by the test (typically one
// built in memory) instead of a file. Exported from libnotes.so for the runtime's own tests.
#pragma once

#include <functional>
#include <memory>

#include "notesapi/global.h"
#include "nsf/database.h"

using NotesTestDatabaseFactory = std::function<nsf::Expected<std::unique_ptr<nsf::Database>>()>;

// Every NSFDbOpen of exactly `path` calls `factory` for a fresh database. A null factory removes
// the registration.
LNPUBLIC_API void NotesTestRegisterDatabase(const char* path, NotesTestDatabaseFactory factory);
LNPUBLIC_API void NotesTestUnregisterDatabases();

namespace notesrt {
// The registered factory for a path, or an empty function.
NotesTestDatabaseFactory registeredDatabase(const char* path);
}  // namespace notesrt
