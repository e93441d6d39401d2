// Credentials: pairing the host's ID files and passwords, saving the runtime's current ID file, and
// choosing among several credentials by the mail bodies each can read in a database with notes sealed
// for different keys, through the real runtime with test ID files; the chosen ID opens sealed notes for
// metadata and extraction, and close switches back to the saved ID.
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

struct CredsTest : ModuleDbTest {
    /* (ID file, password or "-") of each credential built from the list. */
    std::vector<std::pair<std::string, std::string>> Pair(Creds &creds)
    {
        NsfContext *p = BareContext();
        EXPECT_EQ(nsfInitCreds(p, &creds.list), 0);
        std::vector<std::pair<std::string, std::string>> result;
        for (int32_t i = 0; i < p->cCreds; i++)
            result.emplace_back(p->rgCreds[i].pszUserIdFile,
                                p->rgCreds[i].pszPassword != nullptr ? p->rgCreds[i].pszPassword : "-");
        return result;
    }
    using Pairs = std::vector<std::pair<std::string, std::string>>;
};

} // namespace

TEST_F(CredsTest, PairingFollowsTheOrderOfIdFilesAndPasswords)
{
    {
        Creds c{{ID, "a"}, {PW, "p"}, {ID, "b"}, {PW, "q"}};
        EXPECT_EQ(Pair(c), (Pairs{{"a", "p"}, {"b", "q"}}));
    }
    {
        Creds c{{ID, "a"}, {ID, "b"}, {PW, "q"}};
        EXPECT_EQ(Pair(c), (Pairs{{"a", "-"}, {"b", "q"}}));
    }
    {
        Creds c{{PW, "p"}, {ID, "a"}};
        EXPECT_EQ(Pair(c), (Pairs{{"a", "p"}}));
    }
    {
        Creds c{{ID, "a"}, {PW, "p"}, {PW, "q"}};
        EXPECT_EQ(Pair(c), (Pairs{{"a", "p"}}));
    }
    {
        Creds c{{PW, "p"}, {ID, "a"}, {PW, "q"}};
        EXPECT_EQ(Pair(c), (Pairs{{"a", "p"}}));
    }
    {
        Creds c{{PW, "p"}, {PW, "q"}, {ID, "a"}};
        EXPECT_EQ(Pair(c), (Pairs{{"a", "q"}}));
    }
    {
        Creds c{{3, "x"}, {ID, "a"}, {7, "y"}, {PW, "p"}};
        EXPECT_EQ(Pair(c), (Pairs{{"a", "p"}}));
    }
    {
        Creds c{{PW, "p"}};
        EXPECT_EQ(Pair(c), (Pairs{}));
        EXPECT_EQ(pContext->rgCreds, nullptr);
    }
    Close();
    EXPECT_TRUE(Logged("DIAG nsfInitCreds(): rgCreds[1]: pszUserIdFile, pszPassword..."));
}

TEST_F(CredsTest, FailedCopiesAndGrowthGiveStatus2)
{
    Creds c{{ID, "a"}, {PW, "p"}, {ID, "b"}};
    NsfContext *p = BareContext();
    host.FailAllocation(2);   // the array, then the copy of "a"
    EXPECT_EQ(nsfInitCreds(p, &c.list), 2);
    EXPECT_TRUE(Logged("ERROR nsfNewCred(): ZAPI.fpStrdup() failed on pszUserIdFile..."));
    EXPECT_TRUE(Logged("WARNING nsfInitCreds(): nsfNewCred() failed"));

    NsfContext *q = BareContext();
    host.FailAllocation(4);   // array, "a", "p", then growing the array for "b"
    EXPECT_EQ(nsfInitCreds(q, &c.list), 2);
    EXPECT_EQ(q->cCreds, 1);
    EXPECT_TRUE(Logged("ERROR nsfNewCred(): Error re-allocating credentials array, cCreds 1"));

    EXPECT_EQ(nsfNewCred(q, nullptr, "p"), 6);
    EXPECT_TRUE(Logged("ERROR nsfNewCred(): No User ID file"));
}

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

TEST_F(CredsTest, ServerKeyFileNameIsUsedWhenKeyFileNameIsMissing)
{
    EnvVar ini("NOTES_INI", WriteIni("ServerKeyFileName=/srv/server.id\n").c_str());
    NsfContext *p = BareContext();
    ASSERT_EQ(nsfInitNotes(p), 0);
    EXPECT_EQ(nsfSaveUserIdFile(p), 0);
    EXPECT_STREQ(p->szUserIdFile, "/srv/server.id");
    EXPECT_STREQ(p->szPassword, "");
}

TEST_F(CredsTest, NoIdFileLeavesItEmptyAndNoDirectoryFails)
{
    NsfContext *p = BareContext();
    ASSERT_EQ(nsfInitNotes(p), 0);
    EXPECT_EQ(nsfSaveUserIdFile(p), 0);
    EXPECT_STREQ(p->szUserIdFile, "");
    // Close makes no switch back.
    EXPECT_EQ(nsfCloseDatabase(p), 0);
    Close();
    EXPECT_FALSE(Logged("SECKFMSwitchToIDFile"));

    EnvVar ini("NOTES_INI", WriteIni("KeyFileName=user.id\n").c_str());
    NsfContext *q = BareContext();
    ASSERT_EQ(nsfInitNotes(q), 0);
    EXPECT_EQ(nsfSaveUserIdFile(q), 6);
    EXPECT_STREQ(q->szUserIdFile, "");
    Close();
    EXPECT_TRUE(Logged("ERROR nsfSaveUserIdFile(): No directory found"));
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

TEST_F(SealedCredsTest, WithoutTheKeyTheSealedNoteHasNoBodyAndNoAttachment)
{
    EnvVar ini("NOTES_INI", Ini().c_str());
    Creds c{{ID, idAlice}, {PW, "pa"}, {ID, idCarol}};
    ASSERT_NE(Open(0, &c.list), nullptr);
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(pContext->rgCreds[0].cBody, 4);
    EXPECT_EQ(IndexOf("figures.txt"), -1);
    // Six documents, each with a header or a body; Alice reads the Sales notes only.
    ASSERT_EQ(pContext->cSubFiles, 6);
    EXPECT_EQ(MetaBody(1), "sales one");
    EXPECT_EQ(MetaBody(3), "<none>");
    Close();
    EXPECT_TRUE(Logged("INFO nsfInit(): Using credential # 1 of 2"));
}

TEST_F(SealedCredsTest, CloseSwitchesTheRuntimeBackToTheSavedId)
{
    nsf::MemoryDatabaseBuilder home;
    const NOTEID homeNote = home.document().text("Body", "at home", nsf::kItemSeal).sealFor({kOrig}).id();
    const NOTEID salesNote = home.document().text("Body", "sales", nsf::kItemSeal).sealFor({kSales}).id();
    EnvVar ini("NOTES_INI", Ini().c_str());
    // The test keeps the runtime running across the container's open and close.
    ASSERT_EQ(NotesInitExtended(0, nullptr), NOERROR);
    Creds c{{ID, idAlice}, {PW, "pa"}};
    ASSERT_NE(Open(0, &c.list), nullptr);
    EXPECT_EQ(nStatus, 0);
    Close();

    char szKey[512] = {};
    ASSERT_TRUE(OSGetEnvironmentString("KeyFileName", szKey, sizeof szKey));
    EXPECT_EQ(std::string(szKey), idOrig);
    auto shared = std::make_shared<nsf::MemoryDatabaseBuilder>(home);
    NotesTestRegisterDatabase("home.nsf", [shared]() -> nsf::Expected<std::unique_ptr<nsf::Database>> {
        return shared->build();
    });
    DBHANDLE hDb = NULLHANDLE;
    ASSERT_EQ(NSFDbOpen("home.nsf", &hDb), NOERROR);
    NOTEHANDLE hHome = NULLHANDLE, hSales = NULLHANDLE;
    ASSERT_EQ(NSFNoteOpenExt(hDb, homeNote, 0, &hHome), NOERROR);
    ASSERT_EQ(NSFNoteOpenExt(hDb, salesNote, 0, &hSales), NOERROR);
    EXPECT_EQ(NSFNoteDecrypt(hHome, 0, nullptr), NOERROR);
    EXPECT_EQ(NSFNoteDecrypt(hSales, 0, nullptr), ERR_NOT_SEALED_FOR_YOU);  // Alice's key went with her ID
    NSFNoteClose(hHome);
    NSFNoteClose(hSales);
    NSFDbClose(hDb);
    NotesTerm();
    EXPECT_TRUE(Logged("Switched back to ID file, szUserName orig, szPassword origpw, szUserIdFile..."));
}

TEST_F(SealedCredsTest, AWrongPasswordOrMissingIdFileFailsTheOpenOfASingleCredential)
{
    Creds wrong{{ID, idBob}, {PW, "PB"}};
    ASSERT_NE(Open(0, &wrong.list), nullptr);
    EXPECT_EQ(nStatus, 33);
    EXPECT_EQ(pContext->hDb, 0u);
    Close();
    EXPECT_TRUE(Logged("Notes API SECKFMSwitchToIDFile() failed, status 6408"));

    Creds missing{{ID, dir.file("missing.id")}, {ID, idCarol}};
    ASSERT_NE(Open(0, &missing.list), nullptr);
    // The missing ID file reads nothing; Carol reads the two bodies in the clear.
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(pContext->rgCreds[0].cNotes, 0);
    EXPECT_EQ(pContext->rgCreds[1].cBody, 2);
    Close();
    EXPECT_TRUE(Logged("INFO nsfInit(): Using credential # 2 of 2"));
}

TEST_F(CredsTest, WhenNoCredentialReadsABodyTheFirstIsUsed)
{
    builder.document().text("Subject", "no body");
    std::string idB = WriteIdFile("bob.id", "bob", nullptr);
    Creds c{{ID, dir.file("missing.id")}, {ID, idB}};
    ASSERT_NE(Open(0, &c.list), nullptr);
    // The chosen (first) credential cannot be switched to, so open fails at the database.
    EXPECT_EQ(nStatus, 6);
    EXPECT_EQ(pContext->rgCreds[0].cNotes, 0);
    EXPECT_EQ(pContext->rgCreds[1].cNotes, 1);
    EXPECT_EQ(pContext->rgCreds[1].cBody, 0);
    Close();
    EXPECT_TRUE(Logged("WARNING nsfTestCreds(): nsfOpenDatabase() failed, pszUserIdFile..."));
    EXPECT_TRUE(Logged("INFO nsfInit(): Using credential # 1 of 2"));
    EXPECT_TRUE(Logged("WARNING nsfInit(): nsfOpenDatabase() failed"));
}

TEST_F(CredsTest, SingleCredentialIsUsedWithoutATest)
{
    builder.document().text("Body", "b");
    std::string idA = WriteIdFile("alice.id", "alice", "pa");
    Creds c{{ID, idA}, {PW, "pa"}};
    ASSERT_NE(Open(0, &c.list), nullptr);
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(pContext->rgCreds[0].cNotes, 0);
    Close();
    EXPECT_FALSE(Logged("Testing credential"));
    EXPECT_TRUE(Logged("Switched to temp ID file, szUserName alice"));
}

TEST_F(CredsTest, EmptyListOpensWithTheCurrentId)
{
    builder.document().text("Body", "b");
    Creds c{};
    ASSERT_NE(Open(0, &c.list), nullptr);
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(pContext->cCreds, 0);
    Close();
    EXPECT_FALSE(Logged("Switched to temp ID file"));
}

TEST_F(SealedCredsTest, FailuresInsideATestKeepTheCountsAndTheNextCredentialIsTried)
{
    Creds c{{ID, idCarol}, {ID, idBob}, {PW, "pb"}};
    // Carol: a failing decryption (not the ignored 613) ends her test at the first sealed note.
    NotesTestInjectFault("NSFNoteDecrypt", 1, ERR_NOACCESS, 0);
    ASSERT_NE(Open(0, &c.list), nullptr);
    EXPECT_EQ(pContext->rgCreds[0].cNotes, 2);
    EXPECT_EQ(pContext->rgCreds[0].cBody, 1);
    EXPECT_EQ(pContext->rgCreds[1].cBody, 5);
    EXPECT_EQ(nStatus, 0);
    Close();
    EXPECT_TRUE(Logged("DIAG nsfTestCreds(): Creds cNotes 2, cBody 1"));

    // Carol: the third note cannot be opened. Bob: the search itself throws.
    NotesTestInjectFault("NSFNoteOpenExt", 3, 0, 0);
    ASSERT_NE(Open(0, &c.list), nullptr);
    EXPECT_EQ(pContext->rgCreds[0].cNotes, 2);
    EXPECT_EQ(nStatus, 0);
    Close();

    NotesTestInjectFault("NSFSearch", 2, 0, 1);
    ASSERT_NE(Open(0, &c.list), nullptr);
    EXPECT_EQ(pContext->rgCreds[0].cBody, 2);
    EXPECT_EQ(pContext->rgCreds[1].cNotes, 0);
    EXPECT_EQ(nStatus, 0);
    Close();
    EXPECT_TRUE(Logged("Notes API NSFSearch() raised an EXCEPTION"));
}
