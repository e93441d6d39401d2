// Attachment extraction to files and callbacks.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace {

namespace fs = std::filesystem;

class FilesTest : public notesapi_test::ScratchRuntimeTest {
protected:
    FilesTest() : ScratchRuntimeTest("notesapi_files_") {}
};

TEST_F(FilesTest, AttachmentsExtractToFilesAndCallbacks) {
    nsf::MemoryDatabaseBuilder b;
    std::vector<std::uint8_t> payload(200000);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7);
    const NOTEID id = b.document().attachFile("data.bin", payload).text("Subject", "x").id();
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE h = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, id, 0, &h), NOERROR);
    BLOCKID item{};
    ASSERT_EQ(NSFItemInfo(h, ITEM_NAME_ATTACHMENT, 5, &item, nullptr, nullptr, nullptr), NOERROR);

    const fs::path out = dir_ / "out.bin";
    ASSERT_EQ(NSFNoteExtractFile(h, item, out.c_str(), nullptr), NOERROR);
    const std::string bytes = notesapi_test::readFile(out);
    ASSERT_EQ(bytes.size(), payload.size());
    EXPECT_EQ(std::memcmp(bytes.data(), payload.data(), payload.size()), 0);

    struct Sink {
        std::size_t total = 0;
        int calls = 0;
        int stopAt = 0;
    } sink;
    auto cb = [](const BYTE*, DWORD length, void* p) -> STATUS {
        auto* s = static_cast<Sink*>(p);
        s->total += length;
        return ++s->calls == s->stopAt ? ERR_NOACCESS : NOERROR;
    };
    ASSERT_EQ(NSFNoteExtractWithCallback(h, item, nullptr, 0, cb, &sink), NOERROR);
    EXPECT_EQ(sink.total, payload.size());
    Sink stopping;
    stopping.stopAt = 1;
    EXPECT_EQ(NSFNoteExtractWithCallback(h, item, nullptr, 0, cb, &stopping), ERR_NOACCESS);
    EXPECT_EQ(stopping.calls, 1);

    // Not an attachment item; a BLOCKID of no item; an unwritable path leaves nothing behind.
    BLOCKID subject{};
    ASSERT_EQ(NSFItemInfo(h, "Subject", 7, &subject, nullptr, nullptr, nullptr), NOERROR);
    EXPECT_EQ(NSFNoteExtractFile(h, subject, (dir_ / "s").c_str(), nullptr), ERR_INVALID_ITEMUNK);
    EXPECT_FALSE(fs::exists(dir_ / "s"));
    EXPECT_EQ(NSFNoteExtractFile(h, BLOCKID{h, 0}, (dir_ / "s").c_str(), nullptr), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFNoteExtractFile(h, item, (dir_ / "no" / "dir" / "x").c_str(), nullptr), ERR_RUNTIME_IO);
    EXPECT_EQ(NSFNoteExtractFile(h, item, nullptr, nullptr), ERR_MISC_INVALID_ARGS);
    NSFNoteClose(h);
    EXPECT_EQ(NSFNoteExtractFile(h, item, out.c_str(), nullptr), ERR_RUNTIME_BAD_HANDLE);
}

}  // namespace
