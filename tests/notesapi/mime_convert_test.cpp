// MIME bodies turned into rich text: the text part chosen and decoded, plain text one paragraph per line,
// HTML with its formatting carried into the records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "nsf/lmbcs.h"
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

nsf::MimePartSpec part(std::uint8_t type, std::string headers, std::string body) {
    nsf::MimePartSpec p;
    p.partType = type;
    p.flags = headers.empty() ? 0 : 0x2;
    p.headers = std::move(headers);
    p.body = std::move(body);
    return p;
}

// A part of a multipart, as stored: its delimiter line, headers (blank line included), body.
nsf::MimePartSpec child(std::string boundary, std::string headers, std::string body, std::uint8_t type = 2) {
    nsf::MimePartSpec p = part(type, std::move(headers), std::move(body));
    p.boundary = "--" + boundary + "\r\n";
    p.flags |= 0x1;
    return p;
}

nsf::MimePartSpec closing(std::string boundary) {
    nsf::MimePartSpec p = part(3, "", "");
    p.boundary = "--" + boundary + "--\r\n";
    p.flags = 0x1;
    return p;
}

std::string utf8Lines(const std::vector<std::string>& lmbcsLines) {
    std::string out;
    for (const auto& line : lmbcsLines) {
        if (&line != &lmbcsLines.front())
            out += '\n';
        out += nsf::lmbcsToUtf8(nsf::Bytes(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
    }
    return out;
}

// Calls `action` for every record of every Body item of an open note, which must all be rich text.
void forEachBodyRecord(NOTEHANDLE h, ActionRoutinePtr action, void* ctx) {
    BLOCKID item{}, value{};
    DWORD length = 0;
    WORD type = 0;
    for (STATUS s = NSFItemInfo(h, "Body", 4, &item, &type, &value, &length); s == NOERROR;
         s = NSFItemInfoNext(h, item, "Body", 4, &item, &type, &value, &length)) {
        EXPECT_EQ(type, TYPE_COMPOSITE);
        EXPECT_EQ(EnumCompositeBuffer(value, length, action, ctx), NOERROR);
    }
}

// The paragraphs (LMBCS) of the Body items.
std::vector<std::string> bodyParagraphs(NOTEHANDLE h) {
    Paragraphs p;
    forEachBodyRecord(h, collectText, &p);
    return p.lines;
}

struct Record {
    std::uint8_t sig;
    std::string bytes;  // the whole record
};

STATUS collectRecord(char* record, WORD type, DWORD length, void* ctx) {
    static_cast<std::vector<Record>*>(ctx)->push_back({static_cast<std::uint8_t>(type & 0xFF), std::string(record, length)});
    return NOERROR;
}

// The records of the Body items.
std::vector<Record> bodyRecords(NOTEHANDLE h) {
    std::vector<Record> records;
    forEachBodyRecord(h, collectRecord, &records);
    return records;
}

class MimeConvert : public RuntimeTest {
protected:
    // Converts the Body of a note holding `parts` and gives the open note to `read`.
    template <typename Read>
    auto converted(const std::vector<nsf::MimePartSpec>& parts, Read read) {
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
        auto result = read(h);
        NSFNoteClose(h);
        return result;
    }
    // The paragraphs (LMBCS) of the converted Body.
    std::vector<std::string> convert(const std::vector<nsf::MimePartSpec>& parts) { return converted(parts, bodyParagraphs); }
    // The records of the converted Body.
    std::vector<Record> convertRecords(const std::vector<nsf::MimePartSpec>& parts) { return converted(parts, bodyRecords); }
    // The paragraphs as UTF-8, joined by "\n".
    std::string text(const std::vector<nsf::MimePartSpec>& parts) { return utf8Lines(convert(parts)); }
    std::string plain(std::string charset, std::string encoding, std::string body) {
        std::string headers = "Content-Type: text/plain; charset=" + charset + "\r\n";
        if (!encoding.empty())
            headers += "Content-Transfer-Encoding: " + encoding + "\r\n";
        return text({part(2, headers + "\r\n", std::move(body))});
    }
    int n_ = 0;
};

TEST_F(MimeConvert, TextPartsAreDecodedAndReadWithTheirCharacterSets) {
    const struct {
        const char *rule, *charset, *encoding;
        std::string body, expected;
    } rows[] = {
        {"UTF-8", "utf-8", "", "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC", "Grüß €"},
        // ISO-8859-1 and US-ASCII labels are read as windows-1252, as mail programs write them.
        {"ISO-8859-1 as windows-1252", "\"ISO-8859-1\"", "", "caf\xE9 \x80", "café €"},
        {"windows-1252", "windows-1252", "", "\x93quoted\x94 \x96 x", "“quoted” – x"},
        {"US-ASCII as windows-1252", "us-ascii", "", "na\xEFve", "naïve"},
        {"Shift_JIS", "shift_jis", "", "\x93\xFA\x96\x7B\x8C\xEA", "日本語"},
        {"ISO-2022-JP", "iso-2022-jp", "7bit", "\x1B$BF|K\\8l\x1B(B!", "日本語!"},
        {"unknown sets fall back to windows-1252", "x-no-such-set", "", "\xE9t\xE9", "été"},
        {"broken UTF-8 becomes replacement characters", "utf-8", "", "a\xFF" "b", "a\xEF\xBF\xBD" "b"},
        {"NUL", "utf-8", "", std::string("nul\0byte", 8), "nul byte"},
        {"quoted-printable", "iso-8859-1", "quoted-printable",
         "soft =\r\nbreak, blanks =  \r\nafter, lf=\nonly, =3D equals, bad =ZZ kept, =e9 lower\r\nnext =",
         "soft break, blanks after, lfonly, = equals, bad =ZZ kept, é lower\nnext "},
        {"quoted-printable UTF-8 split by a soft break", "utf-8", "Quoted-Printable", "=E2=82=AC =C3=\r\n=BC", "€ ü"},
        {"base64 with line breaks and garbage", "utf-8", "base64",
         "SGVsbG8sIHdv\r\ncmxkIQpTZW*Nv\r\n  bmQgbGluZSDi!gJMgw7w=\r\n\r\n", "Hello, world!\nSecond line – ü"},
        // Padding ends a group: two encodings one after the other decode in turn.
        {"base64 padding ends a group", "us-ascii", "BASE64", "SGk=\r\nIQ==\r\n", "Hi!"},
        {"base64 of nothing", "us-ascii", "base64", "@@@@", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(plain(row.charset, row.encoding, row.body), row.expected) << row.rule;
}

TEST_F(MimeConvert, BodiesKeptInFileObjects) {
    nsf::MemoryDatabaseBuilder b;
    auto& doc = b.document();
    const std::string stored = "From the object\r\nsecond line \xE9";
    const std::string attached = "not shown";
    nsf::FileObjectSpec encoded;
    encoded.fileName = "encoded.txt";
    encoded.fileFlags = FILEFLAG_MIME | ENCODE_BASE64;
    const std::string encodedStored = "RW5jb2RlZCBpbiB0aGUgb2JqZWN0";  // "Encoded in the object"
    encoded.fileSize = static_cast<std::uint32_t>(encodedStored.size());
    doc.attachFile("body.txt", std::span(reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size()))
        .attachFile("file.txt", std::span(reinterpret_cast<const std::uint8_t*>(attached.data()), attached.size()))
        .attachStored(encoded, std::span(reinterpret_cast<const std::uint8_t*>(encodedStored.data()), encodedStored.size()));
    auto inObject = [](std::string headers, std::string name) {
        nsf::MimePartSpec p = child("b", std::move(headers), std::move(name));
        p.flags |= 0x4 | 0x8;
        return p;
    };
    for (const auto& p : {part(1, "Content-Type: multipart/mixed; boundary=b\r\n\r\n", "prolog"),
                          inObject("Content-Type: text/plain; charset=iso-8859-1\r\n"
                                   "Content-Transfer-Encoding: base64\r\n\r\n", "body.txt"),
                          inObject("Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n",
                                   "encoded.txt"),
                          inObject("Content-Type: text/plain; name=file.txt\r\n"
                                   "Content-Disposition: attachment; filename=file.txt\r\n\r\n", "file.txt"),
                          inObject("Content-Type: text/plain\r\n\r\n", "missing.txt"),
                          closing("b")})
        doc.mimePart("Body", p);
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE h = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, doc.id(), OPEN_RAW_MIME, &h), NOERROR);
    ASSERT_EQ(MIMEConvertMIMEPartCC(h, "Body", 4, nullptr), NOERROR);
    // The object holds the body decoded (its header's base64 is not applied again) unless the
    // object's own flags say it is encoded; attachments and missing objects give no text.
    EXPECT_EQ(utf8Lines(bodyParagraphs(h)), "From the object\nsecond line é\nEncoded in the object");
    NSFNoteClose(h);
}

TEST_F(MimeConvert, NestedMultipartsGiveTheTextOfEachLevel) {
    const std::string plainText = "Content-Type: text/plain; charset=utf-8\r\n\r\n";
    const std::string html = "Content-Type: text/html; charset=utf-8\r\n\r\n";
    EXPECT_EQ(text({part(1, "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n", "This is a multipart message.\r\n"),
                    child("m", "Content-Type: multipart/related; boundary=r\r\n\r\n", "", 1),
                    child("r", "Content-Type: multipart/alternative; boundary=\"a\"\r\n\r\n", "\r\n", 1),
                    child("a", html, "<p>the html</p>\r\n"),
                    child("a", plainText, "the plain text\r\n\r\n"),
                    closing("a"),
                    child("r", "Content-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n\r\n", "R0lGODlh\r\n"),
                    closing("r"),
                    child("m", "Content-Type: text/plain; name=a.txt\r\nContent-Disposition: attachment\r\n\r\n",
                          "attached\r\n"),
                    child("m", plainText, "the footer\r\n"),
                    closing("m")}),
              "the html\nthe footer");
    // The line break before a delimiter belongs to it, and some writers store it with the delimiter.
    auto broken = [](nsf::MimePartSpec p) {
        p.boundary.insert(0, "\r\n");
        return p;
    };
    EXPECT_EQ(text({part(1, "Content-Type: multipart/mixed; boundary=m\r\n\r\n", ""),
                    broken(child("m", "Content-Type: multipart/alternative; boundary=a\r\n\r\n", "", 1)),
                    broken(child("a", html, "<p>inner</p>\r\n")), broken(closing("a")),
                    broken(child("m", plainText, "outer\r\n")), broken(closing("m"))}),
              "inner\nouter");
    // Without an HTML or plain choice the first one with text is read.
    EXPECT_EQ(text({part(1, "Content-Type: multipart/alternative; boundary=a\r\n\r\n", ""),
                    child("a", "Content-Type: text/enriched\r\n\r\n", "<bold>no</bold>\r\n"),
                    child("a", "Content-Type: text/x-other\r\n\r\n", "other\r\n"),
                    child("a", plainText, "plain\r\n"), closing("a")}),
              "plain");
    // Nesting deeper than followed still yields the text at the bottom, without exhausting the stack.
    std::vector<nsf::MimePartSpec> deep = {part(1, "Content-Type: multipart/mixed; boundary=b0\r\n\r\n", "")};
    for (int i = 1; i < 5000; ++i) {
        // Built by appending: "literal" + std::string trips a false -Wrestrict in GCC 12 at -O3.
        std::string outer = "b", headers = "Content-Type: multipart/mixed; boundary=b";
        outer += std::to_string(i - 1);
        headers += std::to_string(i);
        headers += "\r\n\r\n";
        deep.push_back(child(outer, headers, "", 1));
    }
    deep.push_back(child("b4999", plainText, "at the bottom\r\n"));
    EXPECT_EQ(text(deep), "at the bottom");
}

TEST_F(MimeConvert, HtmlBecomesParagraphsOfText) {
    const std::string html =
        "<html><head><title>T</title><style>x{}</style></head><body><h1>Head</h1>"
        "<p class=\"a>b\">One &lt;two&gt; &#233;&#xE9; &eacute; &nbsp;x &bogus; &#150; &amp</p>"
        "<script>if (a<b) x();</script><div>Div</div><ul><li>A<li>B</ul>"
        "<table><tr><td>c1</td><td>c2</td></tr></table><pre>  keep\n  this</pre>"
        "<!-- <p>hidden</p> -->end\r\n   <b>bold</b> 1 < 2<br><br>after</body></html>";
    EXPECT_EQ(text({part(2, "Content-Type: text/html; charset=utf-8\r\n\r\n", html)}),
              "Head\nOne <two> éé é \xC2\xA0x &bogus; – &amp\nDiv\nA\nB\nc1\nc2\n  keep\n  this\nend bold 1 < 2\n\nafter");
    // A tag cut off at the end and an unclosed script end the text quietly.
    EXPECT_EQ(text({part(2, "Content-Type: text/html\r\n\r\n", "kept<b")}), "kept");
    EXPECT_EQ(text({part(2, "Content-Type: text/html\r\n\r\n", "kept<script>lost")}), "kept");
}

// A text run as "text/face/style/colour/size"; a paragraph's style reference as "pab N"; other records
// by their names.
std::string describe(const Record& r) {
    const auto byte = [&r](std::size_t at) { return at < r.bytes.size() ? static_cast<unsigned>(static_cast<std::uint8_t>(r.bytes[at])) : 0u; };
    switch (r.sig) {
    case 0x85:
        return nsf::lmbcsToUtf8(nsf::Bytes(reinterpret_cast<const std::uint8_t*>(r.bytes.data()) + 8, r.bytes.size() - 8)) +
               "/" + std::to_string(byte(4)) + "/" + std::to_string(byte(5)) + "/" + std::to_string(byte(6)) + "/" +
               std::to_string(byte(7));
    case 0x83: return "pab " + std::to_string(byte(2));
    case 0x8B: return "fonts " + std::string(r.bytes.data() + 8, strnlen(r.bytes.data() + 8, r.bytes.size() - 8));
    case 0xAD: return "link " + std::string(r.bytes.data() + 12);
    case 0xAE: return "end link";
    case 0xA3: return "table";
    case 0xA4: return "cell";
    case 0xA5: return "end table";
    case 0x7D: return "image " + std::to_string(byte(6));
    default: return {};
    }
}

TEST_F(MimeConvert, HtmlFormattingIsCarriedIntoTheRecords) {
    struct Row {
        const char* rule;
        std::string html;
        std::vector<std::string> expected;  // the described records in order, definitions left out
    } rows[] = {
        {"effects nest", "<b>B<i>I</i></b><u>U</u>", {"pab 1", "B/1/1/0/10", "I/1/3/0/10", "U/1/4/0/10"}},
        {"a named face goes into the font table", "<font face=\"Arial, sans\" size=4 color=\"#f00\">x</font>",
         {"fonts Arial", "pab 1", "x/5/0/2/14"}},
        {"style attributes and headings", "<h2>H</h2><span style=\"font-weight:bold; color:navy; font-size:12pt\">s</span>",
         {"pab 1", "H/1/1/0/18", "pab 1", "s/1/1/10/12"}},
        {"links", "see <a href=\"http://x.example/?a=1\">here</a>.",
         {"pab 1", "see/1/0/0/10", "link http://x.example/?a=1", " here/1/0/0/10", "end link", "./1/0/0/10"}},
        {"lists and breaks", "<ul><li>a</li></ul><ol><li>b<br>c</li></ol>",
         {"pab 2", "a/1/0/0/10", "pab 3", "b/1/0/0/10", "pab 3", "c/1/0/0/10"}},
        {"tables", "<table><tr><th>h</th><td>d</td></tr><tr><td>e</td></tr></table>after",
         {"table", "cell", "pab 4", "h/1/1/0/10", "cell", "pab 4", "d/1/0/0/10", "cell", "pab 4", "e/1/0/0/10",
          "end table", "pab 1", "after/1/0/0/10"}},
        {"monospace and white space kept in pre", "<pre>a  b\nc</pre>", {"pab 1", "a  b/4/0/0/10", "pab 1", "c/4/0/0/10"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        std::vector<std::string> got;
        for (const Record& r : convertRecords({part(2, "Content-Type: text/html; charset=utf-8\r\n\r\n", row.html)}))
            if (const std::string d = describe(r); !d.empty())
                got.push_back(d);
        EXPECT_EQ(got, row.expected);
    }
}

TEST_F(MimeConvert, CidImagesFlowedTextAndExtendedParameters) {
    const auto records = convertRecords({
        part(1, "Content-Type: multipart/mixed; boundary=m\r\n\r\n", ""),
        child("m", "Content-Type: multipart/related; boundary=r\r\n\r\n", "", 1),
        child("r", "Content-Type: text/html; charset*=utf-8''\r\n\r\n", "<p>pic <img src=\"cid:p1@x\" width=16></p>\r\n"),
        child("r", "Content-Type: image/gif\r\nContent-ID: <p1@x>\r\nContent-Transfer-Encoding: base64\r\n\r\n",
              "R0lGODlhAQABAAAAACw=\r\n"),
        closing("r"),
        child("m", "Content-Type: text/plain; format=flowed; delsp=yes;\r\n charset*0*=iso-8859-1'en'caf%E9;\r\n\r\n",
              "one \r\nline\r\n two\r\n"),
        closing("m"),
    });
    std::vector<std::string> got;
    for (const Record& r : records)
        if (const std::string d = describe(r); !d.empty())
            got.push_back(d);
    EXPECT_EQ(got, (std::vector<std::string>{"pab 1", "pic/1/0/0/10", "image 1", "pab 1", "oneline/1/0/0/10", "pab 1",
                                             "two/1/0/0/10"}));
}

TEST_F(MimeConvert, ForwardedMessageShowsItsHeadersAndContent) {
    const std::string forwarded =
        "From: =?utf-8?Q?Ren=C3=A9_M?= <r@example.org>\r\n"
        "Subject: =?iso-8859-1?B?Q2Fm6Q==?= =?utf-8?Q?_=E2=82=AC?= and more\r\n"
        "Content-Type: multipart/alternative; boundary=\"in\"\r\n\r\n"
        "preamble\r\n--in\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
        "--in\r\nContent-Type: text/html\r\n\r\n<p>the <b>html</b></p>\r\n--in--\r\n";
    EXPECT_EQ(text({part(1, "Content-Type: multipart/mixed; boundary=m\r\n\r\n", ""),
                    child("m", "Content-Type: text/plain\r\n\r\n", "see below\r\n"),
                    child("m", "Content-Type: message/rfc822\r\n\r\n", forwarded), closing("m")}),
              "see below\nFrom: René M <r@example.org>\nSubject: Café € and more\nthe html");
    // Cut-off and endlessly nested forwarded messages end quietly.
    EXPECT_EQ(text({part(2, "Content-Type: message/rfc822\r\n\r\n", "Subject: =?utf-8?Q?cut")}), "Subject: =?utf-8?Q?cut");
    std::string nested = "x";
    for (int i = 0; i < 200; ++i)
        nested = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: message/rfc822\r\n\r\n" + nested;
    EXPECT_EQ(text({part(2, "Content-Type: message/rfc822\r\n\r\n", nested)}), "");
}

TEST_F(MimeConvert, DamagedPartsAreSkippedAndAllDamagedIsCorrupt) {
    nsf::MemoryDatabaseBuilder b;
    // Boundary and header lengths pointing past the item.
    std::vector<std::uint8_t> bad = nsf::encode::mimePart(part(2, "Content-Type: text/plain\r\n\r\n", "x"));
    bad[10] = 0xFF;
    bad[11] = 0x7F;
    auto& mixed = b.document();
    mixed.item("Body", nsf::kTypeMimePart, bad, 0)
        .item("Body", nsf::kTypeMimePart, {0x02, 0x00, 0x02}, 0)
        .mimePart("Body", part(2, "Content-Type: text/plain\r\n\r\n", "survivor"));
    auto& broken = b.document();
    broken.item("Body", nsf::kTypeMimePart, bad, 0);
    auto& none = b.document();
    none.text("Subject", "no body");
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE h = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, mixed.id(), OPEN_RAW_MIME, &h), NOERROR);
    EXPECT_EQ(MIMEConvertMIMEPartCC(h, "Body", 4, nullptr), NOERROR);
    EXPECT_EQ(bodyParagraphs(h), std::vector<std::string>{"survivor"});
    NSFNoteClose(h);
    ASSERT_EQ(NSFNoteOpenExt(db, broken.id(), OPEN_RAW_MIME, &h), NOERROR);
    EXPECT_EQ(MIMEConvertMIMEPartCC(h, "Body", 4, nullptr), ERR_RUNTIME_CORRUPT);
    EXPECT_TRUE(NSFNoteHasMIMEPart(h));  // left as it was
    NSFNoteClose(h);
    ASSERT_EQ(NSFNoteOpenExt(db, none.id(), OPEN_RAW_MIME, &h), NOERROR);
    EXPECT_EQ(MIMEConvertMIMEPartCC(h, "Body", 4, nullptr), ERR_ITEM_NOT_FOUND);
    NSFNoteClose(h);
}

}  // namespace
