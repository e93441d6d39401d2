#include "sample_db.h"

#include "nsf/cd_writer.h"
#include "images.h"
#include "mail.h"
#include "notes_bitmaps.h"

namespace samplegen {
using namespace nsf;  // the CD record writer
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

constexpr std::uint16_t kPlain = 1, kCentered = 2, kBullets = 3, kNumbers = 4, kInTable = 5;
constexpr Font kBody{1, 0, 0, 10};
constexpr Font kHeading{5, kBold, 10, 14};  // face 5 of the note's $Fonts, dark blue
constexpr Font kCode{6, 0, 0, 9};

std::vector<FontFace> faces() { return {{5, 0x22, "Verdana"}, {6, 0x31, "Courier New"}}; }

CdWriter withDefinitions() {
    CdWriter cd;
    cd.pabDefinition(kPlain)
        .pabDefinition(kCentered, kJustifyCenter)
        .pabDefinition(kBullets, kJustifyLeft, kPabBullet, 1800)
        .pabDefinition(kNumbers, kJustifyLeft, kPabNumbered, 1800)
        .pabDefinition(kInTable, kJustifyLeft, 0x0080, 0);
    return cd;
}

// The quarterly report: every kind of rich text the converter renders.
void addReport(nsf::MemoryDatabaseBuilder& db, std::vector<nsf::NoteId>& projects) {
    nsf::NoteBuilder& mail = addMail(db, {"Quarterly report Q1", "CN=Anna Schmidt/OU=Sales/O=Example",
                                          {"CN=Ben Okafor/O=Example", "Chloé Martin <chloe.martin@example.org>"},
                                          {"CN=Dana Ito/O=Example"}, unixSeconds(2024, 4, 2, 9, 30)});
    const Bytes summary = bytesOf("Übersicht März\r\nUmsatz: 1,2 Mio. EUR\r\nKunden: 312\r\n");
    const Bytes pdf = bytesOf(
        "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
        "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n");
    const Bytes chart = chartGif();
    CdWriter cd = withDefinitions();
    const std::vector<FontFace> fontFaces = faces();
    cd.fonts(fontFaces)
        .line(kCentered, "Quarterly report", kHeading)
        .paragraph(kPlain)
        .text("Sales grew in every region. ", kBody)
        .text("Highlights", Font{1, kBold, 0, 10})
        .text(" are below; ", kBody)
        .text("risks", Font{1, kItalic, 2, 10})
        .text(" are in red.", kBody)
        .line(kBullets, "New customers: 312", kBody)
        .line(kBullets, "Returning customers: 1,204", kBody)
        .line(kBullets, "Churn below 2 %", kBody)
        .line(kNumbers, "Open the attached summary", kBody)
        .line(kNumbers, "Reply with questions by Friday", kBody)
        .line(kPlain, "Revenue by region:", kBody)
        .tableBegin(3, 2);
    const char* cells[3][2] = {{"Region", "Revenue"}, {"North", "0.7 M EUR"}, {"South", "0.5 M EUR"}};
    for (std::uint8_t r = 0; r < 3; ++r)
        for (std::uint8_t c = 0; c < 2; ++c)
            cd.tableCell(r, c, 2, 2880).line(kInTable, cells[r][c], r == 0 ? Font{1, kBold, 0, 10} : kBody);
    cd.tableEnd()
        .paragraph(kPlain)
        .text("Details on the ", kBody)
        .linkBegin("https://example.com/reports/q1")
        .text("report site", Font{1, kUnderline, 4, 10})
        .linkEnd()
        .text(".", kBody)
        .line(kPlain, "status = \"on track\"", kCode)
        .paragraph(kPlain)
        .graphic(ImageType::Gif, kChartSize, kChartSize, chart)
        .paragraph(kPlain)
        .attachmentIcon("Übersicht März.txt", "Übersicht März.txt")
        .attachmentIcon("報告.pdf", "報告.pdf");
    mail.composite("$Fonts", fontTable(faces()), nsf::kItemSummary)
        .composite("Body", cd.take());
    attach(mail, "Übersicht März.txt", summary, unixSeconds(2024, 3, 31, 17, 5));
    attach(mail, "報告.pdf", pdf, unixSeconds(2024, 4, 1, 8, 20), nsf::Compression::Huffman);
    projects.push_back(mail.id());
}

void addWelcome(nsf::MemoryDatabaseBuilder& db) {
    nsf::NoteBuilder& mail = addMail(db, {"Welcome to the team", "CN=Erik Larsen/OU=HR/O=Example",
                                          {"CN=Ben Okafor/O=Example"}, {}, unixSeconds(2024, 4, 3, 8, 0)});
    CdWriter cd = withDefinitions();
    cd.line(kPlain, "Hello Ben,", kBody)
        .line(kPlain, "welcome aboard! Your desk is on the second floor.", kBody)
        .line(kPlain, "Erik", Font{1, kItalic, 0, 10});
    mail.text("Logo", "NsfrexLogo").composite("Body", cd.take());
}

void addLogoResource(nsf::MemoryDatabaseBuilder& db) {
    // An image resource: a form-class design note whose $ImageData holds the image in CD records.
    nsf::NoteBuilder& res = db.note(0x0004);
    stampNote(res, unixSeconds(2024, 1, 15, 12, 0));
    const Bytes logo = logoGif();
    res.text("$TITLE", "nsfrex-logo.gif;NsfrexLogo")
        .text("$Flags", "i~")
        .text("$FileNames", "nsfrex-logo.gif")
        .composite("$ImageData", CdWriter().image(ImageType::Gif, kLogoWidth, kLogoHeight, logo).take());
}


void addNewsletter(nsf::MemoryDatabaseBuilder& db, std::vector<nsf::NoteId>& newsletters) {
    nsf::NoteBuilder& mail = addMail(db, {"Newsletter: spring edition", "news@example.org",
                                          {"CN=Ben Okafor/O=Example"}, {}, unixSeconds(2024, 4, 5, 16, 45)});
    const std::string boundary = "=_related 0042A1B2C3D4_=";
    const std::string html =
        "<html><body><h1>Spring edition</h1>\r\n<p>Our <b>numbers</b> at a glance:</p>\r\n"
        "<p><img src=\"cid:chart@nsfrex.example\" alt=\"chart\"></p>\r\n</body></html>\r\n";
    nsf::MimePartSpec prolog{2, 0x2, 1, "",
                             "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"" + boundary +
                                 "\"\r\n\r\n",
                             "This is a multipart message in MIME format.\r\n"};
    nsf::MimePartSpec body{2, 0x3, 2, "--" + boundary + "\r\n",
                           "Content-Type: text/html; charset=\"UTF-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n",
                           html};
    nsf::MimePartSpec image{2, 0x3, 2, "--" + boundary + "\r\n",
                            "Content-Type: image/gif\r\nContent-ID: <chart@nsfrex.example>\r\n"
                            "Content-Disposition: inline; filename=\"chart.gif\"\r\n"
                            "Content-Transfer-Encoding: base64\r\n\r\n",
                            base64(chartGif())};
    nsf::MimePartSpec epilog{2, 0x1, 3, "--" + boundary + "--\r\n", "", ""};
    mail.text("MIME_Version", "1.0")
        .text("$NoteHasNativeMIME", "1")
        .mimePart("Body", prolog, nsf::kItemSign | nsf::kItemSeal)
        .mimePart("Body", body, nsf::kItemSign | nsf::kItemSeal)
        .mimePart("Body", image, nsf::kItemSign | nsf::kItemSeal)
        .mimePart("Body", epilog, nsf::kItemSign | nsf::kItemSeal);
    newsletters.push_back(mail.id());
}

void addSealed(nsf::MemoryDatabaseBuilder& db) {
    nsf::NoteBuilder& mail = addMail(db, {"Confidential: salary review", "CN=Erik Larsen/OU=HR/O=Example",
                                          {"CN=Sample Reader/O=nsfrex"}, {}, unixSeconds(2024, 4, 8, 11, 15)});
    CdWriter cd = withDefinitions();
    cd.line(kPlain, "The salary review meeting is on 12 April at 10:00.", kBody);
    mail.text("Encrypt", "1")
        .item("Body", nsf::kTypeComposite, cd.take(), nsf::kItemSeal)
        .sealFor({sampleKey()});
}

// Screenshots pasted into a mail: every test picture as a Notes bitmap, each under its name.
void addScreenshots(nsf::MemoryDatabaseBuilder& db) {
    nsf::NoteBuilder& mail = addMail(db, {"Screenshots of the new layout", "CN=Dana Ito/O=Example",
                                          {"CN=Anna Schmidt/OU=Sales/O=Example"}, {}, unixSeconds(2024, 4, 9, 15, 20)});
    CdWriter cd = withDefinitions();
    cd.line(kPlain, "Here are the screenshots:", kBody);
    for (const BitmapPicture& picture : bitmapPictures()) {
        cd.line(kPlain, picture.name, kBody).paragraph(kPlain);
        cd.notesBitmap(picture.width, picture.height, notesBitmapRecords(picture));
    }
    mail.composite("Body", cd.take());
}

void addDocument(nsf::MemoryDatabaseBuilder& db, std::vector<nsf::NoteId>& projects) {
    // Not mail: a document of another form, with none of the mail header items.
    nsf::NoteBuilder& doc = db.document();
    stampNote(doc, unixSeconds(2024, 3, 28, 14, 0));
    CdWriter cd = withDefinitions();
    cd.line(kCentered, "Meeting notes", kHeading)
        .line(kBullets, "Budget approved", kBody)
        .line(kBullets, "Next review in June", kBody);
    doc.text("Form", "MeetingNotes")
        .text("Title", "Planning meeting 28 March")
        .textList("Participants", {"Anna Schmidt", "Ben Okafor", "Dana Ito"})
        .time("MeetingDate", timeAt(unixSeconds(2024, 3, 28, 14, 0)))
        .number("DurationMinutes", 45)
        .composite("$Fonts", fontTable(faces()), nsf::kItemSummary)
        .composite("Body", cd.take());
    projects.push_back(doc.id());
}

}  // namespace

nsf::EncryptionKey sampleKey() {
    return {"SampleKey", {0x6E, 0x73, 0x66, 0x72, 0x65, 0x78, 0x2D, 0x73, 0x61, 0x6D, 0x70, 0x6C, 0x65, 0x2D, 0x6B, 0x31}};
}

void buildSampleDatabase(nsf::MemoryDatabaseBuilder& db) {
    db.title("nsfrex sample mail").replicaId({0x52, 0x46, 0x53, 0x4E, 0x01, 0x00, 0x24, 0x20});
    db.databaseId({0x52, 0x46, 0x53, 0x4E, 0x02, 0x00, 0x24, 0x20});
    std::vector<nsf::NoteId> projects, newsletters;
    addLogoResource(db);
    addReport(db, projects);
    addWelcome(db);
    addNewsletter(db, newsletters);
    addSealed(db);
    addScreenshots(db);
    addDocument(db, projects);
    stampNote(db.folder("Projects", projects), unixSeconds(2024, 4, 10, 9, 0));
    stampNote(db.folder("Newsletters", newsletters), unixSeconds(2024, 4, 10, 9, 5));
}

void buildHostileNamesDatabase(nsf::MemoryDatabaseBuilder& db) {
    db.title("nsfrex hostile names");
    CdWriter cd = withDefinitions();
    cd.line(kPlain, "Attachments with names that must be made safe.", kBody);
    nsf::NoteBuilder& mail = addMail(db, {"Hostile attachment names", "CN=Mallory/O=Example",
                                          {"CN=Ben Okafor/O=Example"}, {}, unixSeconds(2024, 5, 1, 12, 0)});
    mail.composite("Body", cd.take());
    const std::string longName = std::string(296, 'L') + ".txt";
    const char* names[] = {"../escape.txt", "/etc/passwd", "..\\win.txt", "a.txt", "a.txt", "con", "",
                           "tab\tand\nnewline\x01.txt", "bell\x07.txt"};
    const std::int64_t when = unixSeconds(2024, 4, 30, 18, 0);
    for (const char* name : names) attach(mail, name, bytesOf(std::string("contents of ") + name + "\n"), when);
    attach(mail, longName, bytesOf("contents of the long name\n"), when);
    for (int i = 0; i < 2; ++i) {
        CdWriter body = withDefinitions();
        body.line(kPlain, i == 0 ? "First of two." : "Second of two.", kBody);
        nsf::NoteBuilder& same = addMail(db, {"Same subject", "CN=Mallory/O=Example", {"CN=Ben Okafor/O=Example"},
                                              {}, unixSeconds(2024, 5, 2, 10, i)});
        same.composite("Body", body.take());
        attach(same, "same.txt", bytesOf(i == 0 ? "first\n" : "second\n"), unixSeconds(2024, 5, 2, 9, i));
    }
}

}  // namespace samplegen
