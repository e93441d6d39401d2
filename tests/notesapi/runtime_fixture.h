// Shared set-up for runtime tests: a started runtime and in-memory databases under a path.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

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

// The same with a scratch folder of its own, removed afterwards.
class ScratchRuntimeTest : public RuntimeTest {
protected:
    explicit ScratchRuntimeTest(std::string prefix) : prefix_(std::move(prefix)) {}
    void SetUp() override {
        RuntimeTest::SetUp();
        dir_ = std::filesystem::temp_directory_path() / (prefix_ + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        RuntimeTest::TearDown();
    }
    // Writes a file into the folder and returns its path.
    std::filesystem::path write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return dir_ / name;
    }
    std::filesystem::path dir_;

private:
    std::string prefix_;
};

// The real sample databases; a missing folder fails the test.
inline std::filesystem::path samplePath(const std::string& name) {
    const auto path = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf" / name;
    EXPECT_TRUE(std::filesystem::exists(path)) << "missing sample database " << path;
    return path;
}

}  // namespace notesapi_test
