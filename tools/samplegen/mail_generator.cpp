#include "mail_generator.h"

#include <algorithm>
#include <array>
#include <random>
#include <string_view>
#include <vector>

#include "nsf/cd_writer.h"
#include "images.h"
#include "mail.h"
#include "notes_bitmaps.h"
#include "nsf/memory_database.h"
#include "nsf/streaming_writer.h"

namespace samplegen {
namespace {

// The rich-text record writer and its constants.
using namespace nsf;

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kPlain = 1, kBullets = 2, kNumbers = 3, kInTable = 4;
constexpr std::size_t kBodyItemBytes = 48 * 1024;  // rich text is split into items of about this size
constexpr std::size_t kFolderCount = 4;
constexpr std::uint16_t kMimePartFlags = nsf::kItemSign | nsf::kItemSeal;  // of MIME parts, as mail keeps them

constexpr std::array<std::string_view, 12> kPeople = {
    "CN=Anna Schmidt/OU=Sales/O=Example", "CN=Ben Okafor/O=Example",  "CN=Chloé Martin/O=Example",
    "CN=Dana Ito/O=Example",              "CN=Erik Larsen/OU=HR/O=Example", "CN=Farah Haddad/O=Example",
    "CN=Gustavo Reyes/O=Example",         "CN=Hana Novák/O=Example",  "CN=Ivan Petrov/O=Example",
    "CN=Jun Tanaka/O=Example",            "CN=Kwame Mensah/O=Example", "CN=Lena Müller/O=Example"};
constexpr std::array<std::string_view, 24> kWords = {
    "report", "budget", "meeting", "customer", "review", "quarter", "the",     "and",
    "project", "deadline", "invoice", "schedule", "approved", "draft", "please", "attached",
    "numbers", "Übersicht", "next",   "week",     "team",    "update", "für",   "results"};
constexpr std::array<std::string_view, 4> kFolderNames = {"Archive", "Projects", "Customers", "Newsletters"};

// The seed's random numbers; every choice is a draw from here, so a seed gives the same file.
class Dice {
public:
    explicit Dice(std::uint64_t seed) : rng_(seed) {}
    std::uint64_t below(std::uint64_t n) { return n == 0 ? 0 : rng_() % n; }
    bool chance(unsigned percent) { return below(100) < percent; }
    std::string_view word() { return kWords[below(kWords.size())]; }
    std::string_view person() { return kPeople[below(kPeople.size())]; }
    std::string sentence(std::size_t words) {
        std::string s;
        for (std::size_t i = 0; i < words; ++i) {
            if (i) s += ' ';
            s += word();
        }
        s += '.';
        if (!s.empty()) s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
        return s;
    }
    // Sizes spread evenly over the powers of two from `low` to `high`.
    std::uint64_t logSize(std::uint64_t low, std::uint64_t high) {
        const double lo = std::log2(static_cast<double>(low)), hi = std::log2(static_cast<double>(high));
        return static_cast<std::uint64_t>(std::exp2(lo + (hi - lo) * static_cast<double>(below(1'000'000)) / 1e6));
    }

private:
    std::mt19937_64 rng_;
};

// Attachment bytes: text lines (compressible, stored Huffman-coded as Notes does for such files) or
// noise (already compressed media, stored as they are).
struct Attachment {
    std::string name;
    Bytes bytes;
    nsf::Compression compression;
};

Attachment makeAttachment(Dice& dice, std::uint64_t size, std::uint64_t serial) {
    Attachment a;
    a.bytes.reserve(size);
    if (dice.chance(70)) {
        a.name = "notes-" + std::to_string(serial) + ".txt";
        a.compression = nsf::Compression::Huffman;
        while (a.bytes.size() < size) {
            const std::string line = dice.sentence(4 + dice.below(10)) + "\r\n";
            a.bytes.insert(a.bytes.end(), line.begin(), line.end());
        }
    } else {
        a.name = "scan-" + std::to_string(serial) + ".jpg";
        a.compression = nsf::Compression::None;
        while (a.bytes.size() < size) a.bytes.push_back(static_cast<std::uint8_t>(dice.below(256)));
    }
    a.bytes.resize(size);
    return a;
}

// An item that another of the same name follows ends on an even size, as real split rich text does:
// readers join the items, and the records of the joined value start at even offsets.
Bytes continued(Bytes item) {
    if (item.size() % 2) item.push_back(0);
    return item;
}

class Generator {
public:
    Generator(const MailDatabasePlan& plan) : plan_(plan), dice_(plan.seed) {
        for (const BitmapPicture& picture : bitmapPictures()) bitmaps_.push_back(notesBitmapRecords(picture));
    }

    nsf::Expected<MailDatabaseSummary> run(const std::filesystem::path& path) {
        nsf::DatabaseInfo info;
        info.title = "Mail of " + std::string(kPeople[0].substr(3, kPeople[0].find('/') - 3));
        info.infoBuffer.assign(info.title.begin(), info.title.end());
        const std::int64_t start = unixSeconds(2020, 1, 6, 8, 0);
        time_ = start;
        auto writer = nsf::StreamingDatabaseWriter::create(path, info, timeAt(start + 10 * 365 * 86400LL));
        if (!writer) return std::unexpected(writer.error());
        while (!done((*writer)->size())) {
            nsf::MemoryDatabaseBuilder part;
            part.nextIdFrom(nextId_);
            addOne(part);
            nextId_ = part.nextId();
            auto db = part.build();
            if (auto ok = (*writer)->append(*db); !ok) return std::unexpected(ok.error());
        }
        nsf::MemoryDatabaseBuilder folders;
        folders.nextIdFrom(nextId_);
        for (std::size_t f = 0; f < kFolderCount; ++f) {
            stampNote(folders.folder(kFolderNames[f], members_[f]), time_ + 60 * static_cast<std::int64_t>(f));
            ++summary_.folders;
        }
        auto db = folders.build();
        if (auto ok = (*writer)->append(*db); !ok) return std::unexpected(ok.error());
        summary_.bytes = (*writer)->size();
        if (auto ok = (*writer)->finish(); !ok) return std::unexpected(ok.error());
        return summary_;
    }

private:
    bool done(std::uint64_t size) const {
        if (plan_.messages != 0 && summary_.mails >= plan_.messages) return true;
        if (plan_.targetBytes != 0 && size >= plan_.targetBytes) return true;
        return plan_.messages == 0 && plan_.targetBytes == 0;
    }

    void addOne(nsf::MemoryDatabaseBuilder& part) {
        time_ += 600 + static_cast<std::int64_t>(dice_.below(7200));
        if (dice_.chance(3)) {  // a deleted mail leaves a stub
            part.deletionStub();
            ++summary_.stubs;
            return;
        }
        MailHeader h;
        h.subject = dice_.sentence(3 + dice_.below(6));
        h.from = dice_.person();
        for (std::uint64_t i = 0, n = 1 + dice_.below(4); i < n; ++i) h.sendTo.emplace_back(dice_.person());
        if (dice_.chance(30)) h.copyTo.emplace_back(dice_.person());
        h.postedUnixSeconds = time_;
        nsf::NoteBuilder& mail = addMail(part, h);
        body(mail);
        file(mail);
        // Some mails are answered: the reply follows in the same part, so the parent's response count
        // is known before the parent is written. A message count is not overshot for it.
        if (dice_.chance(10) && (plan_.messages == 0 || summary_.mails < plan_.messages)) reply(part, mail, h);
    }

    void body(nsf::NoteBuilder& mail) {
        if (dice_.chance(65)) richText(mail);
        else mime(mail);
        ++summary_.mails;
    }

    // Every mail is in the archive; a third also in one of the smaller folders.
    void file(const nsf::NoteBuilder& mail) {
        members_[0].push_back(mail.id());
        if (dice_.chance(33)) members_[1 + dice_.below(kFolderCount - 1)].push_back(mail.id());
    }

    // A reply stored as a response document: $REF names the parent's UNID, the header its note ID.
    void reply(nsf::MemoryDatabaseBuilder& part, nsf::NoteBuilder& parent, const MailHeader& original) {
        MailHeader h;
        h.form = "Reply";
        h.subject = "Re: " + original.subject;
        h.from = std::string(kPeople[0]);
        h.sendTo = {original.from};
        h.postedUnixSeconds = original.postedUnixSeconds + 300 + static_cast<std::int64_t>(dice_.below(86400));
        nsf::NoteBuilder& mail = addMail(part, h);
        mail.parent(parent.id());
        const std::array<nsf::OriginatorId, 1> ref{parent.header().oid};
        mail.noteRefs("$REF", ref);
        parent.responseCount(parent.header().responseCount + 1);
        body(mail);
        file(mail);
        ++summary_.replies;
    }

    std::vector<Attachment> attachments() {
        std::vector<Attachment> out;
        const unsigned percent = 35;
        while (dice_.chance(out.empty() ? percent : percent / 2))
            out.push_back(makeAttachment(dice_, dice_.logSize(200, plan_.largestAttachment), ++serial_));
        return out;
    }

    void richText(nsf::NoteBuilder& mail) {
        ++summary_.richText;
        std::vector<Bytes> items;
        CdWriter cd;
        cd.pabDefinition(kPlain)
            .pabDefinition(kBullets, kJustifyLeft, kPabBullet, 1800)
            .pabDefinition(kNumbers, kJustifyLeft, kPabNumbered, 1800)
            .pabDefinition(kInTable, kJustifyLeft, 0x0080, 0);
        // Mostly short mails; one in twenty long enough to need several Body items.
        const std::uint64_t paragraphs = dice_.chance(5) ? 400 + dice_.below(800) : 2 + dice_.below(20);
        for (std::uint64_t p = 0; p < paragraphs; ++p) {
            if (cd.size() > kBodyItemBytes) items.push_back(continued(std::exchange(cd, CdWriter()).take()));
            switch (dice_.below(10)) {
            case 0:
                cd.line(kBullets, dice_.sentence(5), Font{1, 0, 0, 10}).line(kBullets, dice_.sentence(4));
                break;
            case 1: cd.line(kNumbers, dice_.sentence(6)).line(kNumbers, dice_.sentence(3)); break;
            case 2: {
                const auto rows = static_cast<std::uint8_t>(2 + dice_.below(3));
                cd.tableBegin(rows, 2);
                for (std::uint8_t r = 0; r < rows; ++r)
                    for (std::uint8_t c = 0; c < 2; ++c)
                        cd.tableCell(r, c, 2, 2880).line(kInTable, std::string(dice_.word()));
                cd.tableEnd();
                break;
            }
            case 3:
                cd.paragraph(kPlain)
                    .text("See ")
                    .linkBegin("https://example.com/" + std::string(dice_.word()))
                    .text("the page", Font{1, kUnderline, 4, 10})
                    .linkEnd()
                    .text(".");
                break;
            case 4: cd.paragraph(kPlain).graphic(ImageType::Gif, kChartSize, kChartSize, chartGif()); break;
            default:
                cd.paragraph(kPlain)
                    .text(dice_.sentence(4 + dice_.below(30)), Font{1, 0, 0, 10})
                    .text(" " + dice_.sentence(3), Font{5, kBold, static_cast<std::uint8_t>(dice_.below(16)), 12});
                break;
            }
        }
        if (dice_.chance(15)) {  // a screenshot pasted as a Notes bitmap
            const std::size_t k = dice_.below(bitmaps_.size());
            const BitmapPicture& picture = bitmapPictures()[k];
            cd.paragraph(kPlain).notesBitmap(picture.width, picture.height, bitmaps_[k]);
            ++summary_.bitmaps;
        }
        const std::vector<Attachment> files = attachments();
        for (const Attachment& a : files) cd.paragraph(kPlain).attachmentIcon(a.name, a.name);
        items.push_back(cd.take());
        if (items.size() > 1) ++summary_.splitBodies;
        const std::vector<FontFace> faces{{5, 0x22, "Verdana"}};
        mail.composite("$Fonts", fontTable(faces), nsf::kItemSummary);
        for (Bytes& item : items) mail.composite("Body", std::move(item));
        for (const Attachment& a : files) {
            attach(mail, a.name, a.bytes, time_ - 3600, a.compression);
            ++summary_.attachments;
        }
    }

    void mime(nsf::NoteBuilder& mail) {
        ++summary_.mime;
        const std::string boundary = "=_alt_" + std::to_string(time_) + "_=";
        const std::string related = "=_rel_" + std::to_string(time_) + "_=";
        std::string text, html = "<html><body>\r\n";
        for (std::uint64_t i = 0, n = 1 + dice_.below(12); i < n; ++i) {
            const std::string s = dice_.sentence(5 + dice_.below(20));
            text += s + "\r\n\r\n";
            html += "<p>" + s + "</p>\r\n";
        }
        html += "<p><img src=\"cid:chart@example.com\" alt=\"chart\"></p>\r\n</body></html>\r\n";
        mail.text("MIME_Version", "1.0").text("$NoteHasNativeMIME", "1");
        const bool withFile = dice_.chance(25);
        const std::string outer = withFile ? "=_mix_" + std::to_string(time_) + "_=" : boundary;
        mail.mimePart("Body",
                      {2, 0x2, 1, "",
                       "MIME-Version: 1.0\r\nContent-Type: multipart/" + std::string(withFile ? "mixed" : "alternative") +
                           "; boundary=\"" + outer + "\"\r\n\r\n",
                       "This is a multipart message in MIME format.\r\n"},
                      kMimePartFlags);
        if (withFile)
            mail.mimePart("Body",
                          {2, 0x3, 2, "--" + outer + "\r\n",
                           "Content-Type: multipart/alternative; boundary=\"" + boundary + "\"\r\n\r\n", ""},
                          kMimePartFlags);
        mail.mimePart("Body",
                      {2, 0x3, 2, "--" + boundary + "\r\n",
                       "Content-Type: text/plain; charset=\"UTF-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n", text},
                      kMimePartFlags)
            .mimePart("Body",
                      {2, 0x3, 2, "--" + boundary + "\r\n",
                       "Content-Type: multipart/related; boundary=\"" + related + "\"\r\n\r\n", ""},
                      kMimePartFlags)
            .mimePart("Body",
                      {2, 0x3, 2, "--" + related + "\r\n",
                       "Content-Type: text/html; charset=\"UTF-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n", html},
                      kMimePartFlags)
            .mimePart("Body",
                      {2, 0x3, 2, "--" + related + "\r\n",
                       "Content-Type: image/gif\r\nContent-ID: <chart@example.com>\r\n"
                       "Content-Disposition: inline; filename=\"chart.gif\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n\r\n",
                       base64(chartGif())},
                      kMimePartFlags)
            .mimePart("Body", {2, 0x1, 3, "--" + related + "--\r\n", "", ""}, kMimePartFlags)
            .mimePart("Body", {2, 0x1, 3, "--" + boundary + "--\r\n", "", ""}, kMimePartFlags);
        if (withFile) mimeAttachment(mail, outer);
    }

    // A small file travels base64 inside its part; a larger one is kept as mail databases keep it: the
    // part's body is the name of a $FILE object holding the file (flags: boundary, headers, body in
    // an object, shared object; transfer encoding binary).
    void mimeAttachment(nsf::NoteBuilder& mail, const std::string& outer) {
        constexpr std::uint64_t kLargestInline = 16 * 1024;
        const Attachment a = makeAttachment(dice_, dice_.logSize(200, plan_.largestAttachment), ++serial_);
        const std::string head = "Content-Type: application/octet-stream; name=\"" + a.name +
                                 "\"\r\nContent-Disposition: attachment; filename=\"" + a.name + "\"\r\n";
        if (a.bytes.size() <= kLargestInline) {
            mail.mimePart("Body",
                          {2, 0x3, 2, "--" + outer + "\r\n", head + "Content-Transfer-Encoding: base64\r\n\r\n",
                           base64(a.bytes)},
                          kMimePartFlags);
        } else {
            mail.mimePart("Body",
                          {2, 0xF, 2, "--" + outer + "\r\n", head + "Content-Transfer-Encoding: binary\r\n\r\n", a.name},
                          kMimePartFlags);
            attach(mail, a.name, a.bytes, time_ - 3600, a.compression);
            ++summary_.mimeObjects;
        }
        mail.mimePart("Body", {2, 0x1, 3, "--" + outer + "--\r\n", "", ""}, kMimePartFlags);
        ++summary_.attachments;
    }

    MailDatabasePlan plan_;
    Dice dice_;
    MailDatabaseSummary summary_;
    std::int64_t time_ = 0;
    nsf::NoteId nextId_ = nsf::kFirstBuilderNoteId;
    std::uint64_t serial_ = 0;
    std::array<std::vector<nsf::NoteId>, kFolderCount> members_;
    std::vector<std::vector<std::vector<std::uint8_t>>> bitmaps_;  // the records of each picture
};

}  // namespace

nsf::Expected<MailDatabaseSummary> writeMailDatabase(const std::filesystem::path& path, const MailDatabasePlan& plan) {
    return Generator(plan).run(path);
}

}  // namespace samplegen
