// Test ID files and the test seal format: round trips, hostile ID files, Notes IDs recognised by
// their layout, and notes sealed for one or several keys.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "nsf/id_file.h"
#include "nsf/memory_database.h"
#include "nsf/test_seal.h"

namespace nsf {
namespace {

using ByteVec = std::vector<std::uint8_t>;

ByteVec bytes(std::string_view s) { return {s.begin(), s.end()}; }

const EncryptionKey kSales{"Sales", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
const EncryptionKey kLegal{"Legal Team", {0xAA, 0xBB, 0xCC}};

TEST(IdFile, WrittenTestIdsReadBackWithTheirPasswordAndKeys) {
    const std::string text = writeTestIdFile("CN=Alice Able/O=Example", "s3cret", std::vector{kSales, kLegal});
    EXPECT_TRUE(text.starts_with("nsfrex-id 1\nuser CN=Alice Able/O=Example\npassword ")) << text;
    EXPECT_EQ(text.find("s3cret"), std::string::npos) << "the password is stored in clear";
    auto id = readIdFile(bytes(text), "alice.id");
    ASSERT_TRUE(id) << id.error().message();
    EXPECT_EQ(id->kind, IdFile::Kind::Test);
    EXPECT_EQ(id->userName, "CN=Alice Able/O=Example");
    EXPECT_TRUE(id->acceptsPassword("s3cret"));
    EXPECT_FALSE(id->acceptsPassword("S3cret"));
    EXPECT_FALSE(id->acceptsPassword(""));
    EXPECT_FALSE(id->acceptsPassword(nullptr));
    ASSERT_EQ(id->keys.size(), 2u);
    EXPECT_EQ(id->keys[1].name, "Legal Team");
    EXPECT_EQ(id->keys[1].bytes, kLegal.bytes);
    ASSERT_NE(id->findKey("sales"), nullptr);  // key names ignore case
    EXPECT_EQ(id->findKey("sales")->bytes, kSales.bytes);
    EXPECT_EQ(id->findKey("Sale"), nullptr);

    // Another salt gives another check; without a password any password opens the ID.
    const ByteVec salt(16, 7);
    EXPECT_NE(writeTestIdFile("u", "pw", {}, salt), writeTestIdFile("u", "pw", {}));
    auto open = readIdFile(bytes(writeTestIdFile("Bob", std::nullopt, {})), "bob.id");
    ASSERT_TRUE(open);
    EXPECT_TRUE(open->acceptsPassword(nullptr));
    EXPECT_TRUE(open->acceptsPassword("anything"));
    // CR LF line ends and comments are fine.
    auto crlf = readIdFile(bytes("nsfrex-id 1\r\n# demo\r\nuser Carol\r\nkey 0a0b Ops\r\n"), "carol.id");
    ASSERT_TRUE(crlf) << crlf.error().message();
    EXPECT_EQ(crlf->userName, "Carol");
    EXPECT_EQ(crlf->keys.at(0).bytes, (ByteVec{10, 11}));

    EXPECT_THROW(writeTestIdFile("", "pw", {}), std::invalid_argument);
    EXPECT_THROW(writeTestIdFile("a\nuser b", "pw", {}), std::invalid_argument);
    EXPECT_THROW(writeTestIdFile("a", "pw", std::vector{kSales, EncryptionKey{"SALES", {1}}}), std::invalid_argument);
    EXPECT_THROW(writeTestIdFile("a", "pw", {}, ByteVec(4, 1)), std::invalid_argument);
}

TEST(IdFile, DamagedTestIdsAreRefusedWithTheFileAndLineNamed) {
    const std::string good = writeTestIdFile("Alice", "pw", std::vector{kSales});
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"nsfrex-id 10\nuser a\n", "line 1: not a test ID file"},
        {"nsfrex-id 2\nuser a\n", "not an ID file"},
        {"nsfrex-id 1\n", "no user line"},
        {"nsfrex-id 1\nuser a\nuser b\n", "line 3: second user line"},
        {"nsfrex-id 1\nuser a\tb\n", "control character"},
        {"nsfrex-id 1\nuser a\nmystery 1\n", "unknown line"},
        {"nsfrex-id 1\nuser a\nkey zz Sales\n", "line 3: key"},
        {"nsfrex-id 1\nuser a\nkey 0102\n", "key name"},
        {"nsfrex-id 1\nuser a\nkey " + std::string(130, 'a') + " Big\n", "key needs"},
        {"nsfrex-id 1\nuser a\nkey 01 A\nkey 02 a\n", "same name"},
        {"nsfrex-id 1\nuser a\npassword 0102 0011223344556677\n", "salt"},
        {"nsfrex-id 1\nuser " + std::string(256, 'n') + "\n", "too long"},
        {"nsfrex-id 1\nuser a\n#" + std::string(70000, 'x') + "\n", "too large"},
    };
    for (const Case& c : cases) {
        auto id = readIdFile(bytes(c.text), "bad.id");
        ASSERT_FALSE(id) << c.text.substr(0, 60);
        EXPECT_NE(id.error().message().find("bad.id"), std::string::npos) << id.error().message();
        EXPECT_NE(id.error().message().find(c.message), std::string::npos) << id.error().message();
    }
    // Every prefix and every single-byte change of a good file reads or fails cleanly.
    for (std::size_t n = 0; n <= good.size(); ++n) (void)readIdFile(bytes(good.substr(0, n)), "cut.id");
    for (std::size_t i = 0; i < good.size(); ++i)
        for (std::uint8_t v : {0x00, 0x0A, 0x20, 0x7F, 0xFF}) {
            std::string changed = good;
            changed[i] = static_cast<char>(v);
            (void)readIdFile(bytes(changed), "flip.id");
        }
}

TEST(IdFile, NotesIdsAreRecognisedByTheirLayoutButHoldNoKeys) {
    ByteVec image(0x200, 0x01);
    image[0xD6] = 0x38;  // a 56-byte block at 0xD8
    image[0xD7] = 0x00;
    const std::string name = "CN=Jane Doe/O=Acme";
    std::copy(name.begin(), name.end(), image.begin() + 0x120);
    image[0x120 + name.size()] = 0;
    auto id = readIdFile(image, "jane.id");
    ASSERT_TRUE(id) << id.error().message();
    EXPECT_EQ(id->kind, IdFile::Kind::Notes);
    EXPECT_EQ(id->userName, name);
    EXPECT_TRUE(id->keys.empty());
    EXPECT_TRUE(id->acceptsPassword("whatever"));

    ByteVec nameless(0x120, 0);
    nameless[0xD6] = 0x10;
    auto anonymous = readIdFile(nameless, "anon.id");
    ASSERT_TRUE(anonymous);
    EXPECT_EQ(anonymous->userName, "");

    for (std::uint16_t length : {0x0F, 0x65, 0xFFFF}) {
        ByteVec wrong = image;
        wrong[0xD6] = static_cast<std::uint8_t>(length);
        wrong[0xD7] = static_cast<std::uint8_t>(length >> 8);
        EXPECT_FALSE(readIdFile(wrong, "x.id")) << length;
    }
    EXPECT_FALSE(readIdFile(ByteVec(image.begin(), image.begin() + 0xD8 + 0x37), "cut.id"));
    EXPECT_FALSE(readIdFile(ByteVec(0xD7, 0), "short.id"));
    EXPECT_FALSE(readIdFile(bytes("id"), "text.id"));
    EXPECT_FALSE(readIdFile(ByteVec(kMaxIdFileSize + 1, 0), "huge.id"));
}

TEST(TestSeal, SealedItemsOpenWithAnyNamedKeyAndNothingElse) {
    MemoryDatabaseBuilder b;
    auto& doc = b.document()
                    .text("Subject", "visible")
                    .composite("Body", {1, 2, 3, 4, 5, 6, 7, 8, 9}, kItemSeal)
                    .composite("Body", {10, 11, 12}, kItemSeal)
                    .text("Secret", "classified", kItemSeal | kItemSummary)
                    .sealFor({kSales, kLegal});
    const std::vector<Item> items = doc.items();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].value, encode::text("visible"));
    EXPECT_NE(items[1].value, (ByteVec{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_NE(items[3].value, encode::text("classified"));
    const auto sealAt = test_seal::findSeal(items);
    ASSERT_EQ(sealAt, 4u);
    EXPECT_EQ(items[4].name, "$Seal");
    EXPECT_EQ(items[4].type, 0x0009);

    auto sealed = [&] { return std::vector<Item>{items[1], items[2], items[3]}; };
    for (const EncryptionKey& key : {kSales, kLegal, EncryptionKey{"LEGAL TEAM", kLegal.bytes}}) {
        const auto opened = test_seal::open(items[4], std::vector{EncryptionKey{"Other", {9}}, key});
        ASSERT_TRUE(opened) << key.name;
        auto plain = sealed();
        test_seal::decipher(plain, *opened);
        EXPECT_EQ(plain[0].value, (ByteVec{1, 2, 3, 4, 5, 6, 7, 8, 9}));
        EXPECT_EQ(plain[1].value, (ByteVec{10, 11, 12}));
        EXPECT_EQ(plain[2].value, encode::text("classified"));
    }
    // Right name, wrong bytes; an unknown name; no keys.
    EXPECT_FALSE(test_seal::open(items[4], std::vector{EncryptionKey{"Sales", {1, 2, 3}}}));
    EXPECT_FALSE(test_seal::open(items[4], std::vector{EncryptionKey{"Finance", kSales.bytes}}));
    EXPECT_FALSE(test_seal::open(items[4], {}));

    // A damaged seal never opens and never reads past its value.
    for (std::size_t n = 0; n < items[4].value.size(); ++n) {
        Item cut = items[4];
        cut.value.resize(n);
        EXPECT_FALSE(test_seal::open(cut, std::vector{kSales})) << n;
    }
    Item longer = items[4];
    longer.value.push_back(0);
    EXPECT_FALSE(test_seal::open(longer, std::vector{kSales}));
    // A seal of Notes itself is not ours.
    EXPECT_FALSE(test_seal::isTestSeal(Item{"$Seal", 0x0009, 0, 0, {1, 2}}));

    // The nonce comes from the note: two notes sealed alike differ.
    auto& other = b.document().composite("Body", {1, 2, 3, 4, 5, 6, 7, 8, 9}, kItemSeal).sealFor({kSales});
    EXPECT_NE(other.items()[0].value, items[1].value);
}

TEST(TestSeal, BuilderRefusesMisuse) {
    MemoryDatabaseBuilder b;
    auto& doc = b.document().text("Body", "x", kItemSeal).sealFor({kSales});
    EXPECT_THROW(doc.text("Late", "y", kItemSeal), std::invalid_argument);
    EXPECT_NO_THROW(doc.text("Plain", "z"));
    EXPECT_THROW(doc.sealFor({kSales}), std::invalid_argument);
    EXPECT_THROW(b.document().sealFor({}), std::invalid_argument);
    EXPECT_THROW(b.document().sealFor({EncryptionKey{"", {1}}}), std::invalid_argument);
    EXPECT_THROW(b.document().sealFor({EncryptionKey{"K", {}}}), std::invalid_argument);
}

}  // namespace
}  // namespace nsf
