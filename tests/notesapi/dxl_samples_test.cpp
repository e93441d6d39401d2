// Every note of every sample database exports as DXL that is well-formed and valid against the DTD.
#include <filesystem>
#include <iostream>

#include "dxl_test_support.h"
#include "runtime_fixture.h"
#include "nsf/database.h"

namespace notesapi_test {
namespace {

class DxlSamplesTest : public RuntimeTest {};

TEST_F(DxlSamplesTest, EveryNoteOfEverySampleIsValidDxl) {
    const auto folder = std::filesystem::path(NSFREX_SHARED_DIR) / "samples" / "nsf";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << "missing sample folder " << folder;
    XmlDtd dtd = loadDxlDtd();
    ASSERT_NE(dtd, nullptr);

    std::size_t databases = 0, notes = 0, unopened = 0, logged = 0;
    std::uint64_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const auto ext = entry.path().extension();
        if (ext != ".nsf" && ext != ".ntf")
            continue;
        auto engine = nsf::openDatabaseFile(entry.path());
        if (!engine)
            continue;  // damaged samples are the engine's tests' business
        auto ids = (*engine)->notes();
        ASSERT_TRUE(ids.has_value()) << entry.path();
        DBHANDLE db = NULLHANDLE;
        ASSERT_EQ(NSFDbOpen(entry.path().c_str(), &db), NOERROR) << entry.path();
        ++databases;
        for (const nsf::NoteEntry& n : *ids) {
            if (n.deleted)
                continue;
            NOTEHANDLE note = NULLHANDLE;
            if (NSFNoteOpenExt(db, n.id, 0, &note) != NOERROR) {
                ++unopened;
                continue;
            }
            const DxlResult plain = exportDxl(note);
            const DxlResult itemData = exportDxl(note, true);
            NSFNoteClose(note);
            ASSERT_EQ(plain.status, NOERROR);
            ASSERT_EQ(itemData.status, NOERROR);
            EXPECT_EQ(dxlProblem(plain.text, dtd.get()), "")
                << entry.path().filename() << " note " << std::hex << n.id;
            EXPECT_EQ(dxlProblem(itemData.text, dtd.get()), "")
                << entry.path().filename() << " note " << std::hex << n.id << " (rich text as item data)";
            ++notes;
            bytes += plain.text.size();
            logged += plain.log.empty() ? 0 : 1;
        }
        NSFDbClose(db);
    }
    std::cout << "[ DXL      ] " << databases << " databases, " << notes << " notes exported and validated twice, "
              << unopened << " notes not opened, " << logged << " exports with a result log, " << bytes
              << " bytes of DXL\n";
    EXPECT_GT(databases, 50u);
    EXPECT_GT(notes, 1000u);
}

}  // namespace
}  // namespace notesapi_test
