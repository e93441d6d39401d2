// Folder contents, attachment extraction and the mail body as a CD file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "runtime_fixture.h"

namespace {

namespace fs = std::filesystem;

class FilesTest : public notesapi_test::ScratchRuntimeTest {
protected:
    FilesTest() : ScratchRuntimeTest("notesapi_files_") {}
    static std::string slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

std::vector<DWORD> idsOf(DHANDLE t) {
    std::vector<DWORD> out;
    DWORD id = 0;
    for (BOOL more = IDScan(t, TRUE, &id); more; more = IDScan(t, FALSE, &id))
        out.push_back(id);
    return out;
}

TEST_F(FilesTest, FolderGivesItsMembersAndOtherNotesAreRefused) {
    nsf::MemoryDatabaseBuilder b;
    const NOTEID a = b.document().id();
    const NOTEID c = b.document().id();
    const NOTEID folder = b.folder("Inbox", {c, a}).id();
    const NOTEID view = b.note(NOTE_CLASS_VIEW).text("$Title", "All").id();
    const DBHANDLE db = openBuilt(b);

    DHANDLE table = 0;
    ASSERT_EQ(NSFFolderGetIDTable(db, db, folder, 0, &table), NOERROR);
    EXPECT_EQ(idsOf(table), (std::vector<DWORD>{a, c}));
    EXPECT_EQ(IDDestroyTable(table), NOERROR);

    table = 77;
    EXPECT_EQ(NSFFolderGetIDTable(db, db, view, 0, &table), ERR_NOTE_NOT_FOLDER);
    EXPECT_EQ(table, NULLHANDLE);
    EXPECT_EQ(NSFFolderGetIDTable(db, db, a, 0, &table), ERR_NOTE_NOT_FOLDER);
    EXPECT_EQ(NSFFolderGetIDTable(db, db, 0x7FFFFF00, 0, &table), ERR_INVALID_NOTE);
    EXPECT_EQ(NSFFolderGetIDTable(db + 1, db + 1, folder, 0, &table), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(NSFFolderGetIDTable(db, db, folder, 0, nullptr), ERR_MISC_INVALID_ARGS);
}

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
    const std::string bytes = slurp(out);
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

TEST_F(FilesTest, SealedOrDamagedAttachmentsAreRefused) {
    nsf::MemoryDatabaseBuilder b;
    nsf::FileObjectSpec fileSpec;
    fileSpec.fileName = "x.txt";
    fileSpec.fileSize = 1000;  // more than the object holds
    auto& doc = b.document();
    doc.attachStored(fileSpec, std::vector<std::uint8_t>(10, 'a'));
    doc.sealedItem("$FILE", TYPE_OBJECT, nsf::encode::fileObject(fileSpec, 0x1234)).item("$SealData", TYPE_SEALDATA, {1});
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE h = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, doc.id(), 0, &h), NOERROR);
    BLOCKID first{}, second{};
    ASSERT_EQ(NSFItemInfo(h, "$FILE", 5, &first, nullptr, nullptr, nullptr), NOERROR);
    ASSERT_EQ(NSFItemInfoNext(h, first, "$FILE", 5, &second, nullptr, nullptr, nullptr), NOERROR);
    EXPECT_NE(NSFNoteExtractFile(h, first, (dir_ / "short").c_str(), nullptr), NOERROR);
    EXPECT_FALSE(fs::exists(dir_ / "short"));
    // A file the caller made beforehand (its temporary file) stays, emptied, for the caller to delete.
    std::ofstream(dir_ / "made") << "old content";
    EXPECT_NE(NSFNoteExtractFile(h, first, (dir_ / "made").c_str(), nullptr), NOERROR);
    ASSERT_TRUE(fs::exists(dir_ / "made"));
    EXPECT_EQ(fs::file_size(dir_ / "made"), 0u);
    EXPECT_EQ(NSFNoteExtractFile(h, second, (dir_ / "sealed").c_str(), nullptr), ERR_NOEXTRACT_ENCRYPTED);
}

TEST_F(FilesTest, RealHuffmanAttachmentsExtractWithTheirSizes) {
    std::ifstream tsv(std::string(NSFREX_SHARED_DIR) + "/samples/expected-attachments.tsv");
    ASSERT_TRUE(tsv) << "missing expected-attachments.tsv";
    std::string line;
    std::getline(tsv, line);
    std::map<std::string, std::map<std::string, std::size_t>> expected;  // database -> file -> size
    while (std::getline(tsv, line)) {
        std::stringstream ss(line);
        std::string name, size, sha, db;
        std::getline(ss, name, '\t');
        std::getline(ss, size, '\t');
        std::getline(ss, sha, '\t');
        std::getline(ss, db, '\t');
        expected[db][name] = std::stoul(size);
    }
    ASSERT_FALSE(expected.empty());
    int extracted = 0;
    for (const auto& [dbName, files] : expected) {
        DBHANDLE db = 0;
        ASSERT_EQ(NSFDbOpen(notesapi_test::samplePath(dbName).c_str(), &db), NOERROR) << dbName;
        DHANDLE table = 0;
        ASSERT_EQ(IDCreateTable(4, &table), NOERROR);
        auto insert = [](void* t, SEARCH_MATCH* m, ITEM_TABLE*) -> STATUS {
            return IDInsert(*static_cast<DHANDLE*>(t), m->ID.NoteID, nullptr);
        };
        ASSERT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_ALL, nullptr, insert, &table, nullptr), NOERROR);
        for (DWORD id : idsOf(table)) {
            NOTEHANDLE h = 0;
            if (NSFNoteOpenExt(db, id, OPEN_RAW_MIME, &h) != NOERROR)
                continue;
            BLOCKID item{}, value{};
            DWORD length = 0;
            for (STATUS s = NSFItemInfo(h, "$FILE", 5, &item, nullptr, &value, &length); s == NOERROR;
                 s = NSFItemInfoNext(h, item, "$FILE", 5, &item, nullptr, &value, &length)) {
                const BYTE* v = OSLockBlock(BYTE, value);
                FILEOBJECT f{};
                const void* src = v + 2;
                ODSReadMemory(&src, _FILEOBJECT, &f, 1);
                const std::string name(static_cast<const char*>(src), f.FileNameLength);
                OSUnlockBlock(value);
                const auto it = files.find(name);
                if (it == files.end())
                    continue;
                const fs::path out = dir_ / "a.out";
                ASSERT_EQ(NSFNoteExtractFile(h, item, out.c_str(), nullptr), NOERROR) << dbName << " " << name;
                EXPECT_EQ(fs::file_size(out), it->second) << dbName << " " << name;
                ++extracted;
            }
            NSFNoteClose(h);
        }
        IDDestroyTable(table);
        NSFDbClose(db);
    }
    EXPECT_GE(extracted, static_cast<int>(expected.size()));
}

TEST_F(FilesTest, MailBodyJoinsEveryFragmentIntoOneCdFile) {
    nsf::MemoryDatabaseBuilder b;
    auto& memo = b.document();
    memo.composite("Body", {0x81, 0x02}).composite("Other", {0x82, 0x02}).composite("BODY", {0x83, 0x02, 0x84, 0x02});
    auto& mime = b.document();
    mime.mimePart("Body", nsf::MimePartSpec{});
    auto& text = b.document();
    text.text("Body", "plain");
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE h = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, memo.id(), 0, &h), NOERROR);
    const fs::path out = dir_ / "body.cd";
    DWORD size = 0;
    ASSERT_EQ(MailGetMessageBodyComposite(h, nullptr, out.c_str(), &size), NOERROR);
    const std::string expectedFile("\x01\x00\x81\x02\x83\x02\x84\x02", 8);
    EXPECT_EQ(slurp(out), expectedFile);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(MailGetMessageBodyComposite(h, "Missing", out.c_str(), &size), ERR_ITEM_NOT_FOUND);
    EXPECT_EQ(size, 0u);

    NOTEHANDLE m = 0, t = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, mime.id(), OPEN_RAW_MIME, &m), NOERROR);
    ASSERT_EQ(NSFNoteOpenExt(db, text.id(), 0, &t), NOERROR);
    // MIME and text bodies are converted (their text is checked with the MIME conversion).
    EXPECT_EQ(MailGetMessageBodyComposite(m, nullptr, out.c_str(), &size), NOERROR);
    EXPECT_EQ(MailGetMessageBodyComposite(t, nullptr, out.c_str(), &size), NOERROR);
    EXPECT_EQ(MailGetMessageBodyComposite(db, nullptr, out.c_str(), &size), ERR_RUNTIME_BAD_HANDLE);
}

TEST_F(FilesTest, MailBodyIsLedByTheNotesFontTable) {
    // a font table record: signature 0x8B, 0xFF, length 6 + 34 per face, face count, faces
    std::vector<std::uint8_t> table = {0x8B, 0xFF, 40, 0, 1, 0, 5, 0, 'A', 'r', 'i', 'a', 'l'};
    table.resize(40, 0);
    std::vector<std::uint8_t> truncated(table.begin(), table.begin() + 30);
    std::vector<std::uint8_t> tableThenOther = table;
    tableThenOther.insert(tableThenOther.end(), {0x85, 0xFF, 6, 0, 0, 0});
    std::vector<std::uint8_t> otherFirst = {0x85, 0xFF, 6, 0, 0, 0};
    otherFirst.insert(otherFirst.end(), table.begin(), table.end());
    const std::vector<std::uint8_t> body = {0x81, 0x02};
    struct Row {
        const char* name;
        std::vector<std::uint8_t> fonts;
        std::vector<std::uint8_t> expectedLead;
    } rows[] = {
        {"a whole table leads the body", table, table},
        {"a table running past its item is left out", truncated, {}},
        {"only the font tables at the start are taken", tableThenOther, table},
        {"an item that does not start with a font table gives none", otherFirst, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        nsf::MemoryDatabaseBuilder b;
        auto& memo = b.document();
        memo.composite("$Fonts", row.fonts).composite("Body", body);
        const DBHANDLE db = openBuilt(b);
        NOTEHANDLE h = 0;
        ASSERT_EQ(NSFNoteOpenExt(db, memo.id(), 0, &h), NOERROR);
        const fs::path out = dir_ / "body.cd";
        DWORD size = 0;
        ASSERT_EQ(MailGetMessageBodyComposite(h, nullptr, out.c_str(), &size), NOERROR);
        std::string expected("\x01\x00", 2);
        expected.append(row.expectedLead.begin(), row.expectedLead.end());
        expected.append(body.begin(), body.end());
        EXPECT_EQ(slurp(out), expected);
        NSFNoteClose(h);
        NSFDbClose(db);
    }
}

}  // namespace
