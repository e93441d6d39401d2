// Credentials: pairing the host's ID files and passwords, saving the runtime's current ID file, and
// choosing among several credentials by the mail bodies each can read in a database with notes sealed
// for different keys, through the real runtime with test ID files.
#include <gtest/gtest.h>

#include "extract/extract.h"
#include "metadata/metadata.h"
#include "module/catalogue_db.h"
#include "module/support/capture_stream.h"
#include "module/support/nsf_fixture.h"
#include "notes/database.h"
#include "notes/runtime.h"

using namespace nsfrex_test;

namespace {

/* A CredentialList built from (type, value) pairs. */
struct Creds {
    std::vector<std::string> values;
    std::vector<CredentialItem> items;
    std::vector<CredentialItem *> pointers;
    CredentialList list{};

    Creds(std::initializer_list<std::pair<uint32_t, std::string>> entries)
    {
        values.reserve(entries.size());
        for (const auto &[dwType, value] : entries) {
            values.push_back(value);
            items.push_back(CredentialItem{dwType, nullptr});
        }
        for (size_t i = 0; i < items.size(); i++) {
            items[i].pszValue = values[i].data();
            pointers.push_back(&items[i]);
        }
        list.cItems = static_cast<int32_t>(pointers.size());
        list.rgpItems = pointers.data();
    }
};

const uint32_t ID = 1;
const uint32_t PW = 2;

struct CredsTest : ModuleDbTest {};

} // namespace

TEST_F(CredsTest, SavedIdFileGetsTheDataDirectoryAndPassword)
{
    std::string longPassword(200, 'x');
    EnvVar ini("NOTES_INI", WriteIni("KeyFileName=user.id\nDirectory=/srv/notes/data\nTAMSEL_NSFREX_PASSWORD=" +
                                     longPassword + "\n")
                                .c_str());
    NsfContext *p = BareContext();
    ASSERT_EQ(nsfInitNotes(p), 0);
    EXPECT_EQ(nsfSaveUserIdFile(p), 0);
    EXPECT_STREQ(p->szUserIdFile, "/srv/notes/data/user.id");
    EXPECT_EQ(std::string(p->szPassword), longPassword.substr(0, 149));
    Close();
    auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "[0/0] DIAG nsfSaveUserIdFile(): KeyFileName or ServerKeyFileName..."));
    EXPECT_TRUE(HasLine(lines, "[0/0] DIAG nsfSaveUserIdFile(): user.id"));
    EXPECT_TRUE(HasLine(lines, "[0/0] DIAG nsfSaveUserIdFile(): /srv/notes/data"));
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfSaveUserIdFile(): /srv/notes/data/user.id"));
}

namespace {

const nsf::EncryptionKey kSales{"Sales", {0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58}};
const nsf::EncryptionKey kLegal{"Legal", {0x4C, 0x45, 0x47, 0x41, 0x4C}};
const nsf::EncryptionKey kOrig{"Home", {0x01, 0x02}};
const std::string kPayload = "quarterly figures\n";

/* Documents, in note ID order: a body; sealed for Sales; a body; sealed for Legal, with a sealed
   attachment; sealed for Sales; no body. A form with a body is never counted. Each sealed note keeps
   its From in the clear, so it is a subfile whoever reads it. */
void BuildSealedDatabase(nsf::MemoryDatabaseBuilder &b)
{
    b.document().text("Subject", "one").text("Body", "first");
    b.document().text("From", "s1").text("Encrypt", "1").text("Body", "sales one", nsf::kItemSeal).sealFor({kSales});
    b.document().text("Subject", "three").text("Body", "third");
    nsf::FileObjectSpec file;
    file.fileName = "figures.txt";
    file.fileSize = static_cast<uint32_t>(kPayload.size());
    const uint32_t rrv = b.addObject(std::vector<uint8_t>(kPayload.begin(), kPayload.end()));
    b.document()
        .text("From", "legal")
        .text("Encrypt", "1")
        .text("Body", "legal secret", nsf::kItemSeal)
        .item("$FILE", TYPE_OBJECT, nsf::encode::fileObject(file, rrv), nsf::kItemSeal | nsf::kItemSummary)
        .sealFor({kLegal});
    b.document().text("From", "s2").text("Encrypt", "1").text("Body", "sales two", nsf::kItemSeal).sealFor({kSales});
    b.document().text("Subject", "no body");
    b.note(0x0004).text("$TITLE", "a form").text("Body", "not counted");
}

struct SealedCredsTest : CredsTest {
    std::string idOrig, idCarol, idAlice, idBob, idDave;

    void SetUp() override
    {
        CredsTest::SetUp();
        BuildSealedDatabase(builder);
        idOrig = WriteIdFile("orig.id", "orig", "origpw", {kOrig});
        idCarol = WriteIdFile("carol.id", "carol", nullptr);            // no keys
        idAlice = WriteIdFile("alice.id", "alice", "pa", {kSales});    // reads one sealed body less
        idBob = WriteIdFile("bob.id", "bob", "pb", {kLegal, kSales});  // reads every body
        idDave = WriteIdFile("dave.id", "dave", "pd", {kSales, kLegal});
    }
    std::string Ini() { return WriteIni("KeyFileName=" + idOrig + "\nTAMSEL_NSFREX_PASSWORD=origpw\n"); }

    /* The metadata value of "Body" of a subfile ("<none>" when not readable). */
    std::string MetaBody(int32_t nIndex)
    {
        HostAlloc alloc{host};
        MetaName name{TMMetaNameType_String, const_cast<char *>("Body")};
        MetaName *rgNames[] = {&name};
        SubFileMetaData meta{};
        EXPECT_EQ(nsfGetSubFileMetadata(pContext, nIndex, 1, rgNames, &meta, &alloc.ref), 0);
        std::string value = "<none>";
        if (meta.nElem == 1 && meta.ppElem[0]->isDataValid)
            value.assign(reinterpret_cast<const char *>(meta.ppElem[0]->data), meta.ppElem[0]->dataSize - 1);
        for (int32_t i = 0; i < meta.nElem; i++) {
            alloc.Free(meta.ppElem[i]->strType);
            alloc.Free(meta.ppElem[i]->data);
            alloc.Free(meta.ppElem[i]);
        }
        alloc.Free(meta.ppElem);
        return value;
    }
    int32_t IndexOf(const std::string &fileName)
    {
        for (int32_t i = 0; i < pContext->cSubFiles; i++)
            if (FileName(i) == fileName)
                return i;
        return -1;
    }
};

} // namespace

TEST_F(SealedCredsTest, TheCredentialReadingTheMostBodiesIsChosenAndTiesGoToTheEarlierOne)
{
    EnvVar ini("NOTES_INI", Ini().c_str());
    Creds c{{ID, idCarol},    {ID, idAlice},           {PW, "pa"}, {ID, idAlice}, {PW, "wrong"},
            {ID, dir.file("missing.id")}, {PW, "x"}, {ID, idBob},  {PW, "pb"},    {ID, idDave},
            {PW, "pd"}};
    ASSERT_NE(Open(0, &c.list), nullptr);
    EXPECT_EQ(nStatus, 0);
    ASSERT_EQ(pContext->cCreds, 6);
    struct Count {
        int32_t cNotes, cBody;
    };
    const Count expected[] = {{6, 2}, {6, 4}, {0, 0}, {0, 0}, {6, 5}, {6, 5}};
    for (int k = 0; k < 6; k++) {
        EXPECT_EQ(pContext->rgCreds[k].cNotes, expected[k].cNotes) << "credential " << k + 1;
        EXPECT_EQ(pContext->rgCreds[k].cBody, expected[k].cBody) << "credential " << k + 1;
    }
    // Bob's ID is current while the container is open: the Legal note and its attachment are readable.
    const int32_t iAttachment = IndexOf("figures.txt");
    ASSERT_GT(iAttachment, 0);
    EXPECT_EQ(MetaBody(iAttachment - 1), "legal secret");
    CaptureStream out;
    SubFileExtractInfo info{};
    int hostObject = 1;
    ASSERT_EQ(nsfExtractSubFileToIOobj(pContext, iAttachment, &out.io, &info, &hostObject, 0), NSF_OK);
    EXPECT_EQ(out.data, kPayload);
    Close();

    auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInit(): Using credential # 5 of 6"));
    EXPECT_TRUE(HasLine(lines, "[0/0] DIAG nsfTestCreds(): Creds cNotes 6, cBody 4"));
    // Carol and Alice cannot open every sealed note: the runtime's refusal is only a warning.
    EXPECT_EQ(CountContaining(lines, "Notes API NSFNoteDecrypt() failed, status 613 0x265, error message... (ignored)"), 4);
    EXPECT_EQ(CountContaining(lines, "WARNING nsfTestCreds(): nsfOpenDatabase() failed, pszUserIdFile..."), 2);
    EXPECT_EQ(CountContaining(lines, "Notes API SECKFMSwitchToIDFile() failed, status 6408"), 1);
    EXPECT_EQ(CountContaining(lines, "Notes API SECKFMSwitchToIDFile() failed, status 259"), 1);
    EXPECT_EQ(CountContaining(lines, "Switched to temp ID file, szUserName bob"), 2);
    EXPECT_EQ(CountContaining(lines, "Switched back to ID file, szUserName orig, szPassword origpw, szUserIdFile..."), 5);
}
