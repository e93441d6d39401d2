// Shared set-up for runtime tests: a started runtime and in-memory databases under a path.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "notesapi/notes.h"
#include "notesapi/testing.h"
#include "nsf/memory_database.h"
#include "../../src/notesapi/testing_db.h"

namespace notesapi_test {

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(NotesInitExtended(0, nullptr), NOERROR); }
    void TearDown() override {
        NotesTestClearFaults();
        NotesTestUnregisterDatabases();
        NotesTerm();
    }

    // Registers a snapshot of `builder` under `path` and opens it.
    DBHANDLE openBuilt(const nsf::MemoryDatabaseBuilder& builder, const std::string& path = "memory.nsf") {
        auto shared = std::make_shared<nsf::MemoryDatabaseBuilder>(builder);
        NotesTestRegisterDatabase(path.c_str(), [shared]() -> nsf::Expected<std::unique_ptr<nsf::Database>> {
            return shared->build();
        });
        DBHANDLE h = NULLHANDLE;
        EXPECT_EQ(NSFDbOpen(path.c_str(), &h), NOERROR);
        return h;
    }
};

// The real sample databases; a missing folder fails the test.
inline std::filesystem::path samplePath(const std::string& name) {
    const auto path = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf" / name;
    EXPECT_TRUE(std::filesystem::exists(path)) << "missing sample database " << path;
    return path;
}

}  // namespace notesapi_test
