// One database extracted into its folder, through the module loaded beside the test program.
#include "extract_database.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "host_test_support.h"
#include "notesapi/testing.h"

namespace nsfrex {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> filesBelow(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[fs::relative(entry.path(), root).generic_string()] = {std::istreambuf_iterator<char>(in), {}};
    }
    return files;
}

ExtractRequest quietRequest(const fs::path& tempDir) {
    ExtractRequest request;
    request.format = ExtractFormat::Text;
    request.verbosity = Verbosity::Quiet;
    request.options.tempDir = tempDir;
    return request;
}

// Note 0 of the generated hostile-names database carries ten attachments (subfiles 1 to 10). When the
// first of them fails inside the module's note-with-attachments call, whose status is that of the last
// one only, the others must still land under their own names.
TEST(ExtractDatabase, NoteWithAttachmentsKeepsEachNameWhenAnEarlyAttachmentFails) {
    test::ScratchDir dir;
    const fs::path database = test::binDir().parent_path() / "samples" / "hostile-names.nsf";
    ASSERT_TRUE(fs::is_regular_file(database)) << database << " is missing (built by the nsfrex_samples target)";
    fs::create_directories(dir / "plain");
    fs::create_directories(dir / "together");

    ExtractRequest one = quietRequest(dir.path());
    one.indexes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const DatabaseOutcome plain = extractDatabase(database, dir / "plain", "db", one);
    ASSERT_LE(plain.exitStatus, 1);

    ExtractRequest together = quietRequest(dir.path());
    together.indexes = {0};
    together.withAttachments = true;
    NotesTestInjectFault("NSFNoteExtractFile", 1, 0x0103, 0);  // the first attachment's extraction fails
    const DatabaseOutcome joined = extractDatabase(database, dir / "together", "db", together);
    NotesTestClearFaults();
    EXPECT_EQ(plain.exitStatus, 0);
    EXPECT_EQ(joined.exitStatus, 0);  // extracted again one by one, the failed attachment succeeds

    const auto expected = filesBelow(dir / "plain");
    const auto got = filesBelow(dir / "together");
    ASSERT_EQ(expected.size(), 12u);  // the note, its attachments, index.json
    for (const auto& [path, bytes] : expected) {
        if (path == "db/index.json") continue;  // lists other subfiles as skipped
        const auto found = got.find(path);
        ASSERT_NE(found, got.end()) << path;
        EXPECT_EQ(found->second, bytes) << path << " holds another subfile's bytes";
    }
}

}  // namespace
}  // namespace nsfrex
