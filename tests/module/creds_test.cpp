// Credentials: pairing the host's ID files and passwords, saving the runtime's current ID file, and
// choosing among several credentials by the mail bodies each can read in a database with sealed notes.
#include <gtest/gtest.h>

#include "module/catalogue_db.h"
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

/* Documents: a body, a sealed note (its body hidden in the seal until decrypted), two more bodies, and a
   note without body; a form with a body, which the test never counts. */
void BuildSealedDatabase(nsf::MemoryDatabaseBuilder &b)
{
    b.document().text("Subject", "one").text("Body", "first");
    b.document()
        .text("Subject", "sealed")
        .text("Encrypt", "1")
        .item("$Seal", TYPE_SEAL, {1, 2});
    b.document().text("Subject", "three").text("Body", "third");
    b.document().text("Subject", "four").text("Body", "fourth");
    b.document().text("Subject", "no body");
    b.note(0x0004).text("$TITLE", "a form").text("Body", "not counted");
}

} // namespace

TEST_F(CredsTest, CredentialThatCannotDecryptLosesAndTiesGoToTheEarlierOne)
{
    BuildSealedDatabase(builder);
    std::string idA = WriteFile("alice.id"), idB = WriteFile("bob.id"), idC = WriteFile("carol.id");
    std::string idOrig = WriteFile("orig.id");
    EnvVar ini("NOTES_INI", WriteIni("KeyFileName=" + idOrig + "\nTAMSEL_NSFREX_PASSWORD=origpw\n").c_str());
    Creds c{{ID, idA}, {PW, "pa"}, {ID, idB}, {PW, "pb"}, {ID, idC}};
    // Alice's ID cannot open the sealed note: her test ends there.
    NotesTestInjectFault("NSFNoteDecrypt", 1, ERR_NOACCESS, 0);
    ASSERT_NE(Open(0, &c.list), nullptr);
    EXPECT_EQ(nStatus, 0);
    ASSERT_EQ(pContext->cCreds, 3);
    EXPECT_EQ(pContext->rgCreds[0].cNotes, 2);
    EXPECT_EQ(pContext->rgCreds[0].cBody, 1);
    // This runtime holds no keys: the sealed body stays unreadable for everyone else too.
    EXPECT_EQ(pContext->rgCreds[1].cNotes, 5);
    EXPECT_EQ(pContext->rgCreds[1].cBody, 3);
    EXPECT_EQ(pContext->rgCreds[2].cNotes, 5);
    EXPECT_EQ(pContext->rgCreds[2].cBody, 3);
    EXPECT_EQ(pContext->hIDTable, 0u);
    EXPECT_STREQ(pContext->szUserIdFile, idOrig.c_str());
    EXPECT_NE(pContext->hDb, 0u);
    Close();

    auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInit(): Testing credential # 3 of 3"));
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInit(): Using credential # 2 of 3"));
    EXPECT_TRUE(HasLine(lines, "[0/0] DIAG nsfTestCreds(): Creds cNotes 2, cBody 1"));
    EXPECT_EQ(CountContaining(lines, "WARNING nsfTestCreds(): No mail body item"), 4);
    EXPECT_EQ(CountContaining(lines, "DIAG nsfCredsSearchCB(): Inserted note, dwNoteID"), 15);
    // Three tests and the final open switch to a credential; every close switches back.
    EXPECT_EQ(CountContaining(lines, "Switched to temp ID file, szUserName alice"), 1);
    EXPECT_EQ(CountContaining(lines, "Switched to temp ID file, szUserName bob"), 2);
    EXPECT_EQ(CountContaining(lines, "Switched back to ID file, szUserName orig, szPassword origpw, szUserIdFile..."), 4);
    EXPECT_EQ(CountContaining(lines, "Calling Notes API NSFDbOpen()"), 4);
    EXPECT_EQ(CountContaining(lines, "Calling Notes API NSFDbClose()"), 4);
    EXPECT_EQ(CountContaining(lines, "nsfTestCreds() failed"), 0);
}

TEST_F(CredsTest, CredentialWhoseIdFileIsMissingIsSkippedAndTheFirstWinsWhenNoneReadsABody)
{
    builder.document().text("Subject", "no body");
    std::string idB = WriteFile("bob.id");
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
    std::string idA = WriteFile("alice.id");
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

TEST_F(CredsTest, FailuresInsideATestKeepTheCountsAndTheNextCredentialIsTried)
{
    BuildSealedDatabase(builder);
    std::string idA = WriteFile("alice.id"), idB = WriteFile("bob.id");
    Creds c{{ID, idA}, {ID, idB}};
    // Alice: the third note cannot be opened. Bob: the search itself throws.
    NotesTestInjectFault("NSFNoteOpenExt", 3, 0, 0);
    ASSERT_NE(Open(0, &c.list), nullptr);
    EXPECT_EQ(pContext->rgCreds[0].cNotes, 2);
    EXPECT_EQ(nStatus, 0);
    Close();

    NotesTestInjectFault("NSFSearch", 2, 0, 1);
    ASSERT_NE(Open(0, &c.list), nullptr);
    EXPECT_EQ(pContext->rgCreds[0].cBody, 3);
    EXPECT_EQ(pContext->rgCreds[1].cNotes, 0);
    EXPECT_EQ(nStatus, 0);
    Close();
    EXPECT_TRUE(Logged("Notes API NSFSearch() raised an EXCEPTION"));
}
