// Embedded OLE objects: missing or damaged pieces refused before any file is created.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kHostExt = 0x0600, kHostPage = 0x0700;

void putLE32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A master index: version 1, the page count, the page size, 20 zero bytes, the names NUL-terminated
// and padded to an even length.
Bytes masterIndex(const std::vector<std::string>& names, std::uint32_t count) {
    Bytes out;
    putLE32(out, 1);
    putLE32(out, count);
    putLE32(out, 8192);
    out.resize(32, 0);
    for (const std::string& name : names) {
        out.insert(out.end(), name.begin(), name.end());
        out.push_back(0);
        if (out.size() % 2 != 0)
            out.push_back(0);
    }
    return out;
}
Bytes masterIndex(const std::vector<std::string>& names) {
    return masterIndex(names, static_cast<std::uint32_t>(names.size()));
}

Bytes filled(std::size_t n, std::uint8_t seed) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(seed + i * 7);
    return out;
}

void attach(nsf::NoteBuilder& note, const std::string& name, std::uint16_t host, const Bytes& payload) {
    nsf::FileObjectSpec desc;
    desc.fileName = name;
    desc.hostType = host;
    desc.fileSize = static_cast<std::uint32_t>(payload.size());
    note.attachStored(desc, payload);
}

class OleObject : public notesapi_test::ScratchRuntimeTest {
protected:
    OleObject() : ScratchRuntimeTest("nsfrex-ole-") {}
    STATUS extract(NOTEHANDLE h, const char* name) {
        return NSFNoteExtractOLE2Object(h, name, out.c_str(), nullptr, TRUE, 0);
    }
    const fs::path out = dir_ / "object.stg";
};

TEST_F(OleObject, MissingOrDamagedPiecesAreRefusedWithoutAFile) {
    nsf::MemoryDatabaseBuilder b;
    auto& doc = b.document();
    attach(doc, "STG1", kHostPage, filled(64, 1));
    attach(doc, "STG2", 0, filled(64, 2));  // a page name on an ordinary attachment
    attach(doc, "EXTOK", kHostExt, masterIndex({"STG1"}));
    attach(doc, "EXTMISSING", kHostExt, masterIndex({"STG1", "STG9"}));
    attach(doc, "EXTWRONGHOST", kHostExt, masterIndex({"STG2"}));
    attach(doc, "EXTSHORT", kHostExt, Bytes(31, 0));
    attach(doc, "EXTCOUNT", kHostExt, masterIndex({"STG1"}, 0x40000000));
    Bytes unterminated = masterIndex({"STG1"});
    unterminated.resize(unterminated.size() - 2);
    attach(doc, "EXTNOEND", kHostExt, unterminated);
    Bytes emptyName = masterIndex({});
    emptyName[4] = 1;
    emptyName.push_back(0);
    emptyName.push_back(0);
    attach(doc, "EXTEMPTY", kHostExt, emptyName);
    // A page listed twice would let a small index write the same page without end.
    attach(doc, "EXTTWICE", kHostExt, masterIndex({"STG1", "stg1"}));
    NOTEHANDLE h = NULLHANDLE;
    ASSERT_EQ(NSFNoteOpenExt(openBuilt(b), doc.id(), 0, &h), NOERROR);

    EXPECT_EQ(extract(h, "EXTOK"), NOERROR);
    const Bytes page = filled(64, 1);
    EXPECT_EQ(notesapi_test::readFile(out), std::string(page.begin(), page.end()));
    fs::remove(out);

    EXPECT_EQ(extract(h, "EXT404"), ERR_ITEM_NOT_FOUND);
    EXPECT_EQ(extract(h, "STG1"), ERR_ITEM_NOT_FOUND);  // a page is not a master
    EXPECT_EQ(extract(h, "EXTMISSING"), ERR_ITEM_NOT_FOUND);
    EXPECT_EQ(extract(h, "EXTWRONGHOST"), ERR_ITEM_NOT_FOUND);
    EXPECT_EQ(extract(h, "EXTSHORT"), ERR_RUNTIME_CORRUPT);
    EXPECT_EQ(extract(h, "EXTCOUNT"), ERR_RUNTIME_CORRUPT);
    EXPECT_EQ(extract(h, "EXTNOEND"), ERR_RUNTIME_CORRUPT);
    EXPECT_EQ(extract(h, "EXTEMPTY"), ERR_RUNTIME_CORRUPT);
    EXPECT_EQ(extract(h, "EXTTWICE"), ERR_RUNTIME_CORRUPT);
    EXPECT_FALSE(fs::exists(out));

    EXPECT_EQ(NSFNoteExtractOLE2Object(h, "EXTOK", out.c_str(), nullptr, TRUE, 1), ERR_MISC_INVALID_ARGS);
    EXPECT_EQ(NSFNoteExtractOLE2Object(h, nullptr, out.c_str(), nullptr, TRUE, 0), ERR_MISC_INVALID_ARGS);
    EXPECT_EQ(NSFNoteExtractOLE2Object(h, "EXTOK", "", nullptr, TRUE, 0), ERR_MISC_INVALID_ARGS);
    EXPECT_EQ(NSFNoteExtractOLE2Object(h, "EXTOK", (dir_ / "no" / "such" / "dir").c_str(), nullptr, TRUE, 0),
              ERR_RUNTIME_IO);
    EXPECT_EQ(NSFNoteClose(h), NOERROR);
    EXPECT_EQ(extract(h, "EXTOK"), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
