// The output layout planned from a subfile table, and the index.json written beside it.
#include "extract_tree.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host_test_support.h"
#include "manifest.h"
#include "manifest_spool.h"

namespace nsfrex {
namespace {

SubfileEntry entry(int index, std::int32_t type, std::optional<std::string> name, int parent) {
    SubfileEntry e;
    e.index = index;
    e.type = type;
    e.name = std::move(name);
    e.parent = parent;
    return e;
}

std::vector<std::string> paths(const std::vector<PlannedSubfile>& plan) {
    std::vector<std::string> out;
    for (const auto& p : plan) out.push_back(p.path);
    return out;
}

TEST(ExtractTree, AttachmentsGoBesideTheirNoteInAFolderOfItsStem) {
    const std::vector<SubfileEntry> table{
        entry(0, TMSubFileType_Main, "mail_tm0.mail", -1),
        entry(1, TMSubFileType_Attachment, "report.pdf", 0),
        entry(2, TMSubFileType_OLE, "report.pdf", 0),
        entry(3, TMSubFileType_Main, "mail_tm3.tmp", -1),
        entry(4, TMSubFileType_Main, "mail_tm4.mail", -1),
        entry(5, TMSubFileType_Attachment, "../../x", 4),
    };
    const auto plan = planTree(table, "mail");
    EXPECT_EQ(paths(plan), (std::vector<std::string>{"mail_tm0.mail", "mail_tm0/report.pdf", "mail_tm0/report (2).pdf",
                                                      "mail_tm3.tmp", "mail_tm4.mail", "mail_tm4/.._.._x"}));
    EXPECT_EQ(plan[0].children, (std::vector<int>{1, 2}));
    EXPECT_TRUE(plan[3].children.empty());
    for (const auto& p : plan) EXPECT_FALSE(p.isFolder);
}

TEST(ExtractTree, RootFolderHoldsEverything) {
    const std::vector<SubfileEntry> table{
        entry(0, TMSubFileType_Folder, std::nullopt, -1),
        entry(1, TMSubFileType_Main, "db_tm1.mail", 0),
        entry(2, TMSubFileType_Attachment, "a.txt", 1),
        entry(3, TMSubFileType_Main, "db_tm3.mail", 0),
    };
    const auto plan = planTree(table, "db");
    EXPECT_EQ(paths(plan), (std::vector<std::string>{"db", "db/db_tm1.mail", "db/db_tm1/a.txt", "db/db_tm3.mail"}));
    EXPECT_TRUE(plan[0].isFolder);
    EXPECT_EQ(plan[0].children, (std::vector<int>{1, 3}));
}

TEST(ExtractTree, ClashingNamesAndBadParentsStayApart) {
    const std::vector<SubfileEntry> table{
        entry(0, TMSubFileType_Main, "index.json", -1),  // the manifest's name is taken
        entry(1, TMSubFileType_Main, "a", -1),           // a note without an extension...
        entry(2, TMSubFileType_Attachment, "x", 1),      // ...has its folder named "a (2)"
        entry(3, TMSubFileType_Main, "A (2)", -1),
        entry(4, TMSubFileType_Attachment, "y", 9),   // parent beyond the table
        entry(5, TMSubFileType_Attachment, "z", 4),   // parent that is not a note
        entry(6, TMSubFileType_Attachment, "", 5),    // no name
        entry(7, TMSubFileType_Main, std::nullopt, -1),
        entry(8, TMSubFileType_Main, "index.json.partial", -1),  // index.json's name while it is written
    };
    const auto plan = planTree(table, "db");
    EXPECT_EQ(paths(plan), (std::vector<std::string>{"index (2).json", "a", "a (2)/x", "A (2) (2)", "y", "z", "subfile_6",
                                                      "subfile_7", "index.json (2).partial"}));
}

TEST(Manifest, ListsEverySubfileWithPathsMetadataAndStatus) {
    Manifest manifest{"mail.nsf", "../db/mail.nsf", {1024, "2024-05-06T07:08:09.123456789Z"}, "text", false, 3, 1, 1, {}};
    SubfileEntry note = entry(0, TMSubFileType_Main, "mail_tm0.mail", -1);
    note.children = {1};
    note.time = "2013-01-02T03:04:05Z";
    manifest.subfiles.push_back({note, "mail_tm0.mail", 12, "ok", std::nullopt,
                                 std::vector<std::pair<std::string, std::optional<std::string>>>{
                                     {"From", "Ann \"A\" <ann@example.com>"}, {"Cc", std::nullopt}},
                                 true, false});
    manifest.subfiles.push_back(
        {entry(1, TMSubFileType_Attachment, "a\tb", 0), std::nullopt, std::nullopt, "failed", "module status 6 (x)", std::nullopt});
    EXPECT_EQ(manifestJson(manifest),
              "{\n"
              "  \"database\": \"mail.nsf\",\n"
              "  \"path\": \"../db/mail.nsf\",\n"
              "  \"size\": 1024,\n"
              "  \"modified\": \"2024-05-06T07:08:09.123456789Z\",\n"
              "  \"format\": \"text\",\n"
              "  \"root\": false,\n"
              "  \"complete\": true,\n"
              "  \"documents\": 3,\n"
              "  \"notPresented\": 1,\n"
              "  \"encryptedNotDecrypted\": 1,\n"
              "  \"damage\": [],\n"
              "  \"subfiles\": [\n"
              "    {\"index\": 0, \"type\": \"Main\", \"name\": \"mail_tm0.mail\", \"path\": \"mail_tm0.mail\", \"parent\": -1, "
              "\"children\": [1], \"size\": 12, \"time\": \"2013-01-02T03:04:05Z\", \"status\": \"ok\", \"error\": null, "
              "\"encrypted\": true, \"decrypted\": false, \"metadata\": {\"From\": \"Ann \\\"A\\\" <ann@example.com>\", \"Cc\": null}},\n"
              "    {\"index\": 1, \"type\": \"Attachment\", \"name\": \"a\\tb\", \"path\": null, \"parent\": 0, "
              "\"children\": [], \"size\": null, \"time\": null, \"status\": \"failed\", \"error\": \"module status 6 (x)\", "
              "\"encrypted\": null, \"decrypted\": null, \"metadata\": null}\n"
              "  ]\n"
              "}\n");
    // What --resume reads back: the database's stamp and how it was extracted; anything else is no match.
    const auto header = readManifestHeader(manifestJson(manifest));
    ASSERT_TRUE(header);
    EXPECT_EQ(*header, (ManifestHeader{manifest.stamp, "text", false}));
    const std::string empty = manifestJson(Manifest{"e.nsf", "e.nsf", {0, "x"}, "dxl", true, std::nullopt, std::nullopt, 0, {}});
    EXPECT_NE(empty.find("\"documents\": null"), std::string::npos);
    EXPECT_EQ(readManifestHeader(empty), (ManifestHeader{{0, "x"}, "dxl", true}));
    EXPECT_FALSE(readManifestHeader(""));
    EXPECT_FALSE(readManifestHeader(empty.substr(0, empty.find("\"complete\""))));  // cut short
}

// index.json put together from entries written out one by one is the text of the whole manifest, for
// no entry and for more entries than one write-out holds; the folder keeps nothing else.
TEST(Manifest, SpooledEntriesGiveTheSameText) {
    test::ScratchDir dir;
    for (const int count : {0, 3000}) {
        Manifest manifest{"m.nsf", "m.nsf", {7, "t"}, "auto", false, 1, 0, 0, {}};
        for (int i = 0; i < count; ++i)
            manifest.subfiles.push_back({entry(i, TMSubFileType_Main, "note_" + std::to_string(i), -1),
                                         "note_" + std::to_string(i), 10, "ok", std::nullopt, std::nullopt});
        const std::string name = "db" + std::to_string(count);
        auto folder = OutputFolder::create(dir.path(), name, false);
        ASSERT_TRUE(folder) << folder.error();
        auto spool = ManifestSpool::create(*folder);
        ASSERT_TRUE(spool) << spool.error();
        for (const ManifestEntry& e : manifest.subfiles) ASSERT_TRUE(spool->add(e));
        ASSERT_TRUE(spool->publish(*folder, manifest));
        std::ifstream in(dir / name / "index.json", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), manifestJson(manifest)) << count;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / name), {}), 1) << count;
    }
}

}  // namespace
}  // namespace nsfrex
