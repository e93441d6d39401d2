// MIME bodies turned into rich text: the text part chosen, decoded, one paragraph per line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace {

using notesapi_test::RuntimeTest;

struct Paragraphs {
    std::vector<std::string> lines;
};

STATUS collectText(char* record, WORD type, DWORD length, void* ctx) {
    auto* p = static_cast<Paragraphs*>(ctx);
    if (type == 0x81)
        p->lines.emplace_back();
    else if (type == 0xFF85 && !p->lines.empty())
        p->lines.back() += std::string(record + 8, length - 8);
    return NOERROR;
}

class MimeConvert : public RuntimeTest {
protected:
    // Converts the Body of a note holding `parts` and returns its paragraphs (LMBCS).
    std::vector<std::string> convert(const std::vector<nsf::MimePartSpec>& parts) {
        nsf::MemoryDatabaseBuilder b;
        auto& doc = b.document();
        for (const auto& part : parts)
            doc.mimePart("Body", part);
        const DBHANDLE db = openBuilt(b, "mime" + std::to_string(++n_));
        NOTEHANDLE h = 0;
        EXPECT_EQ(NSFNoteOpenExt(db, doc.id(), OPEN_RAW_MIME, &h), NOERROR);
        EXPECT_TRUE(NSFNoteHasMIMEPart(h));
        EXPECT_EQ(MIMEConvertMIMEPartCC(h, "Body", 4, nullptr), NOERROR);
        EXPECT_FALSE(NSFNoteHasMIMEPart(h));
        Paragraphs p;
        BLOCKID item{}, value{};
        DWORD length = 0;
        WORD type = 0;
        for (STATUS s = NSFItemInfo(h, "Body", 4, &item, &type, &value, &length); s == NOERROR;
             s = NSFItemInfoNext(h, item, "Body", 4, &item, &type, &value, &length)) {
            EXPECT_EQ(type, TYPE_COMPOSITE);
            EXPECT_EQ(EnumCompositeBuffer(value, length, collectText, &p), NOERROR);
        }
        NSFNoteClose(h);
        return p.lines;
    }
    int n_ = 0;
};

nsf::MimePartSpec part(std::uint8_t type, std::string headers, std::string body) {
    nsf::MimePartSpec p;
    p.partType = type;
    p.flags = headers.empty() ? 0 : 0x2;
    p.headers = std::move(headers);
    p.body = std::move(body);
    return p;
}

TEST_F(MimeConvert, PlainTextPartIsPreferredAndDecoded) {
    const auto lines = convert({
        part(1, "Content-Type: multipart/alternative;\r\n\tboundary=\"xx\"\r\n", "prolog"),
        part(2, "Content-Type: text/html\r\n", "<p>html version</p>"),
        part(2, "Content-Type: text/plain; charset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: quoted-printable\r\n",
             "caf=E9 au =\r\nlait\r\nsecond line"),
        part(3, "", "epilog"),
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"caf\x82 au lait", "second line"}));
}

TEST_F(MimeConvert, HtmlOnlyBodiesLoseTheirMarkup) {
    const auto lines = convert({part(2,
                                     "Content-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n",
                                     "PHN0eWxlPnB7fTwvc3R5bGU+PGI+SGk8L2I+ICZhbXA7IGJ5ZTxicj5uZXh0")});
    // "<style>p{}</style><b>Hi</b> &amp; bye<br>next"
    EXPECT_EQ(lines, (std::vector<std::string>{"Hi & bye", "next"}));
}

TEST_F(MimeConvert, LongTextIsSplitIntoSeveralItemsAndRunsStayWhole) {
    std::string body;
    for (int i = 0; i < 3000; ++i)
        body += "line " + std::to_string(i) + " \xC3\xA9t\xC3\xA9 with some padding text to make it long\n";
    // The body goes on in further parts without headers, as long bodies are stored.
    std::vector<nsf::MimePartSpec> parts = {part(2, "Content-Type: text/plain; charset=utf-8\r\n", body.substr(0, 50001))};
    for (std::size_t at = 50001; at < body.size(); at += 50000)
        parts.push_back(part(2, "", body.substr(at, 50000)));
    ASSERT_GT(parts.size(), 2u);
    const auto lines = convert(parts);
    ASSERT_EQ(lines.size(), 3001u);
    EXPECT_EQ(lines[2999], "line 2999 \x82t\x82 with some padding text to make it long");
}

TEST_F(MimeConvert, AnItemScanSurvivesAConversionFromItsCallback) {
    nsf::MemoryDatabaseBuilder b;
    auto& doc = b.document();
    doc.text("Subject", "s").mimePart("Body", part(2, "Content-Type: text/plain\r\n", "hello")).text("After", "a");
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE h = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, doc.id(), OPEN_RAW_MIME, &h), NOERROR);
    struct State {
        NOTEHANDLE note;
        std::vector<WORD> types;
    } state{h, {}};
    auto convertOnMime = [](WORD, WORD, char*, WORD, void* value, DWORD, void* p) -> STATUS {
        auto* st = static_cast<State*>(p);
        WORD type;
        std::memcpy(&type, value, sizeof type);
        st->types.push_back(type);
        return type == TYPE_MIME_PART ? MIMEConvertMIMEPartCC(st->note, "Body", 4, nullptr) : NOERROR;
    };
    EXPECT_EQ(NSFItemScan(h, convertOnMime, &state), NOERROR);
    EXPECT_EQ(state.types, (std::vector<WORD>{TYPE_TEXT, TYPE_MIME_PART, TYPE_TEXT}));
    WORD type = 0;
    ASSERT_EQ(NSFItemInfo(h, "Body", 4, nullptr, &type, nullptr, nullptr), NOERROR);
    EXPECT_EQ(type, TYPE_COMPOSITE);
    NSFNoteClose(h);
}

TEST_F(MimeConvert, RefusesItemsThatAreNotMime) {
    nsf::MemoryDatabaseBuilder b;
    const NOTEID id = b.document().text("Subject", "x").id();
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE h = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, id, 0, &h), NOERROR);
    EXPECT_EQ(MIMEConvertMIMEPartCC(h, "Subject", 7, nullptr), ERR_MISC_INVALID_ARGS);
    EXPECT_EQ(MIMEConvertMIMEPartCC(h, "Body", 4, nullptr), ERR_ITEM_NOT_FOUND);
    EXPECT_EQ(MIMEConvertMIMEPartCC(h, nullptr, 0, nullptr), ERR_MISC_INVALID_ARGS);
    EXPECT_EQ(MIMEConvertMIMEPartCC(db, "Body", 4, nullptr), ERR_RUNTIME_BAD_HANDLE);
}

TEST_F(MimeConvert, RealMimeMessagesConvertToText) {
    DBHANDLE db = 0;
    ASSERT_EQ(NSFDbOpen(notesapi_test::samplePath("notedata_MIMEMsg.nsf").c_str(), &db), NOERROR);
    std::vector<NOTEID> ids;
    auto collect = [](void* p, SEARCH_MATCH* m, ITEM_TABLE*) -> STATUS {
        static_cast<std::vector<NOTEID>*>(p)->push_back(m->ID.NoteID);
        return NOERROR;
    };
    ASSERT_EQ(NSFSearch(db, NULLHANDLE, nullptr, 0, NOTE_CLASS_DOCUMENT, nullptr, collect, &ids, nullptr), NOERROR);
    int converted = 0;
    for (const NOTEID id : ids) {
        NOTEHANDLE h = 0;
        ASSERT_EQ(NSFNoteOpenExt(db, id, OPEN_RAW_MIME, &h), NOERROR);
        if (NSFNoteHasMIMEPart(h)) {
            ASSERT_EQ(MIMEConvertMIMEPartCC(h, "Body", 4, nullptr), NOERROR);
            WORD type = 0;
            ASSERT_EQ(NSFItemInfo(h, "Body", 4, nullptr, &type, nullptr, nullptr), NOERROR);
            EXPECT_EQ(type, TYPE_COMPOSITE);
            ++converted;
        }
        NSFNoteClose(h);
    }
    EXPECT_GT(converted, 0);
    NSFDbClose(db);
}

}  // namespace
