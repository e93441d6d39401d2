// Switching the current user ID (test IDs, Notes IDs, the published failures) and decrypting notes
// sealed in the test format with the current ID's keys.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "nsf/id_file.h"
#include "runtime_fixture.h"

namespace {

namespace fs = std::filesystem;
using ByteVec = std::vector<std::uint8_t>;

const nsf::EncryptionKey kSales{"Sales", {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80}};
const nsf::EncryptionKey kLegal{"Legal", {0x01, 0x02, 0x03}};
const ByteVec kBodyRecords{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B};

class IdTest : public notesapi_test::ScratchRuntimeTest {
protected:
    IdTest() : ScratchRuntimeTest("notesapi_ids_") {}
    std::string writeId(const std::string& name, const std::string& user, std::optional<std::string_view> password,
                        std::vector<nsf::EncryptionKey> keys) {
        return write(name, nsf::writeTestIdFile(user, password, keys)).string();
    }
    // A file with the published layout of a Notes ID, holding `canonicalName` in the clear.
    std::string writeNotesId(const std::string& name, const std::string& canonicalName) {
        std::string image(0x180, '\x01');
        image[0xD6] = 0x38;
        image[0xD7] = 0;
        image.replace(0x100, canonicalName.size() + 1, canonicalName + '\0');
        return write(name, image).string();
    }
    static STATUS switchTo(const std::string& path, const char* password, std::string* user = nullptr) {
        char buf[256] = "unchanged";
        const STATUS s = SECKFMSwitchToIDFile(path.c_str(), password, buf, sizeof buf, 0, nullptr);
        if (user != nullptr) *user = buf;
        return s;
    }
};

TEST_F(IdTest, SwitchingChecksTheFileAndPasswordAndRecordsTheId) {
    const std::string alice = writeId("alice.id", "CN=Alice Able/O=Example", "pa", {kSales});
    std::string user;
    ASSERT_EQ(switchTo(alice, "pa", &user), NOERROR);
    EXPECT_EQ(user, "CN=Alice Able/O=Example");
    char key[256];
    ASSERT_TRUE(OSGetEnvironmentString("KeyFileName", key, sizeof key));
    EXPECT_EQ(key, alice);

    EXPECT_EQ(switchTo(alice, "PA", &user), ERR_SECURE_BADPASSWORD);
    EXPECT_EQ(user, "");
    EXPECT_EQ(switchTo(alice, nullptr), ERR_SECURE_BADPASSWORD);
    EXPECT_EQ(switchTo((dir_ / "none.id").string(), "pa"), ERR_NOEXIST);
    EXPECT_EQ(switchTo(dir_.string(), "pa"), ERR_SECURE_NOKEYFILE);
    EXPECT_EQ(switchTo(write("junk.id", "id"), "pa"), ERR_SECURE_NOKEYFILE);
    EXPECT_EQ(switchTo(write("bad.id", "nsfrex-id 1\nuser\n"), "pa"), ERR_SECURE_NOKEYFILE);
    if (::geteuid() != 0) {  // root reads any file
        const std::string locked = writeId("locked.id", "Locked", std::nullopt, {});
        fs::permissions(locked, fs::perms::none);
        EXPECT_EQ(switchTo(locked, nullptr), ERR_SECURE_NOKEYFILE);
    }
    char small[4];
    EXPECT_EQ(SECKFMSwitchToIDFile(alice.c_str(), "pa", small, sizeof small, 0, nullptr), ERR_BSAFE_TOOSMALL);
    EXPECT_EQ(SECKFMSwitchToIDFile(nullptr, "pa", small, sizeof small, 0, nullptr), ERR_MISC_INVALID_ARGS);

    // A passwordless ID takes any password; the flag leaves KeyFileName alone.
    const std::string bob = writeId("bob.id", "Bob", std::nullopt, {});
    char name[64];
    ASSERT_EQ(SECKFMSwitchToIDFile(bob.c_str(), "x", name, sizeof name, fKFM_switchid_DontSetEnvVar, nullptr), NOERROR);
    EXPECT_STREQ(name, "Bob");
    ASSERT_TRUE(OSGetEnvironmentString("KeyFileName", key, sizeof key));
    EXPECT_EQ(key, alice);

    // Notes IDs: switched to with any password, named from the clear text when it is there.
    ASSERT_EQ(switchTo(writeNotesId("jane.id", "CN=Jane Doe/O=Acme"), "any", &user), NOERROR);
    EXPECT_EQ(user, "CN=Jane Doe/O=Acme");
    ASSERT_EQ(switchTo(writeNotesId("server.id", "no name"), "any", &user), NOERROR);
    EXPECT_EQ(user, "server");

    NotesTerm();
    EXPECT_EQ(switchTo(alice, "pa"), ERR_RUNTIME_NOT_INITIALIZED);
    ASSERT_EQ(NotesInitExtended(0, nullptr), NOERROR);
}

TEST_F(IdTest, DecryptOpensNotesSealedForAKeyOfTheCurrentId) {
    nsf::MemoryDatabaseBuilder b;
    const NOTEID plain = b.document().text("Subject", "plain").text("Body", "open").id();
    const std::vector<std::uint8_t> payload{'s', 'e', 'c', 'r', 'e', 't', '\n'};
    nsf::FileObjectSpec file;
    file.fileName = "plan.txt";
    file.fileSize = static_cast<std::uint32_t>(payload.size());
    const std::uint32_t rrv = b.addObject(payload);
    const NOTEID sales = b.document()
                             .text("Subject", "for sales")
                             .composite("Body", kBodyRecords, nsf::kItemSeal)
                             .text("Secret", "classified", nsf::kItemSeal | nsf::kItemSummary)
                             .item("$FILE", TYPE_OBJECT, nsf::encode::fileObject(file, rrv), nsf::kItemSeal | nsf::kItemSummary)
                             .sealFor({kSales})
                             .id();
    const NOTEID legal = b.document().text("Body", "legal", nsf::kItemSeal).sealFor({kLegal}).id();
    const NOTEID real = b.document().sealedItem("Body", TYPE_COMPOSITE, {9, 9}).item("$Seal", TYPE_SEAL, {1, 2}).id();
    const DBHANDLE db = openBuilt(b, "sealed.nsf");

    auto open = [&](NOTEID id) {
        NOTEHANDLE h = NULLHANDLE;
        EXPECT_EQ(NSFNoteOpenExt(db, id, 0, &h), NOERROR);
        return h;
    };
    // No current ID: the sealed items are not there and the note stays closed.
    NOTEHANDLE early = open(sales);
    EXPECT_FALSE(NSFItemIsPresent(early, "Body", 4));
    EXPECT_TRUE(NSFItemIsPresent(early, "Subject", 7));
    EXPECT_EQ(NSFNoteDecrypt(early, 0, nullptr), ERR_NOT_SEALED_FOR_YOU);
    EXPECT_FALSE(NSFItemIsPresent(early, "Body", 4));

    // An ID without the key, then one with it (a wrong password changes nothing).
    ASSERT_EQ(switchTo(writeId("legal.id", "Lou", "pl", {kLegal}), "pl"), NOERROR);
    EXPECT_EQ(NSFNoteDecrypt(early, 0, nullptr), ERR_NOT_SEALED_FOR_YOU);
    const std::string alice = writeId("alice.id", "Alice", "pa", {kLegal, kSales});
    EXPECT_EQ(switchTo(alice, "wrong"), ERR_SECURE_BADPASSWORD);
    EXPECT_EQ(NSFNoteDecrypt(early, 0, nullptr), ERR_NOT_SEALED_FOR_YOU);
    ASSERT_EQ(switchTo(alice, "pa"), NOERROR);

    BLOCKID subject{};
    ASSERT_EQ(NSFItemInfo(early, "Subject", 7, &subject, nullptr, nullptr, nullptr), NOERROR);
    ENCRYPTION_KEY key{};
    ASSERT_EQ(NSFNoteDecrypt(early, 0, &key), NOERROR);
    EXPECT_EQ(NSFNoteDecrypt(early, 0, nullptr), NOERROR);  // once open it stays open

    WORD type = 0;
    BLOCKID value{};
    DWORD length = 0;
    ASSERT_EQ(NSFItemInfo(early, "Body", 4, nullptr, &type, &value, &length), NOERROR);
    EXPECT_EQ(type, TYPE_COMPOSITE);
    ASSERT_EQ(length, 2 + kBodyRecords.size());
    const char* bytes = OSLockBlock(char, value);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(ByteVec(bytes + 2, bytes + length), kBodyRecords);
    OSUnlockBlock(value);
    char text[64] = {};
    EXPECT_EQ(NSFItemGetText(early, "Secret", text, sizeof text), 10);
    EXPECT_STREQ(text, "classified");
    // Item BLOCKIDs handed out before the decryption still name the same item.
    char name[32] = {};
    WORD nameLength = 0;
    NSFItemQuery(early, subject, name, sizeof name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(std::string(name, nameLength), "Subject");
    // The attachment of the opened note extracts.
    BLOCKID fileItem{};
    ASSERT_EQ(NSFItemInfo(early, "$FILE", 5, &fileItem, nullptr, nullptr, nullptr), NOERROR);
    const fs::path out = dir_ / "plan.txt";
    ASSERT_EQ(NSFNoteExtractFile(early, fileItem, out.c_str(), &key), NOERROR);
    std::ifstream in(out, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), "secret\n");

    // Per note: not sealed, sealed for another of Alice's keys, sealed by Notes itself.
    NOTEHANDLE p = open(plain), l = open(legal), r = open(real);
    EXPECT_EQ(NSFNoteDecrypt(p, 0, nullptr), ERR_NOTE_NOT_SEALED);
    EXPECT_EQ(NSFNoteDecrypt(l, 0, nullptr), NOERROR);
    EXPECT_EQ(NSFItemGetText(l, "Body", text, sizeof text), 5);
    EXPECT_EQ(NSFNoteDecrypt(r, 0, nullptr), ERR_NOT_SEALED_FOR_YOU);
    EXPECT_TRUE(NSFItemIsPresent(r, "Body", 4));  // what Notes sealed stays as it is, unreadable

    // A Notes ID holds no keys this runtime can use.
    ASSERT_EQ(switchTo(writeNotesId("jane.id", "CN=Jane Doe/O=Acme"), "pw"), NOERROR);
    NOTEHANDLE later = open(sales);
    EXPECT_EQ(NSFNoteDecrypt(later, 0, nullptr), ERR_NOT_SEALED_FOR_YOU);
    EXPECT_FALSE(NSFItemIsPresent(later, "$FILE", 5));
    for (NOTEHANDLE h : {early, p, l, r, later})
        EXPECT_EQ(NSFNoteClose(h), NOERROR);
}

}  // namespace
