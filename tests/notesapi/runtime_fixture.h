// Shared set-up for runtime tests: a started runtime and in-memory databases under a path.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

// A scratch folder of its own, removed afterwards.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix)
        : path_(std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Writes a file into the folder and returns its path.
    std::filesystem::path write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
        return path_ / name;
    }

private:
    std::filesystem::path path_;
};

// The runtime tests with a scratch folder.
class ScratchRuntimeTest : public RuntimeTest {
protected:
    explicit ScratchRuntimeTest(const std::string& prefix) : scratch_(prefix), dir_(scratch_.path()) {}
    std::filesystem::path write(const std::string& name, const std::string& bytes) { return scratch_.write(name, bytes); }
    ScratchFolder scratch_;
    std::filesystem::path dir_;
};

// The bytes of a file, empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The real sample databases; a missing folder fails the test.
inline std::filesystem::path samplePath(const std::string& name) {
    const auto path = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf" / name;
    EXPECT_TRUE(std::filesystem::exists(path)) << "missing sample database " << path;
    return path;
}

}  // namespace notesapi_test
