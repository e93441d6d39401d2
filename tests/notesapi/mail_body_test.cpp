// A mail body's rich text as one CD file: the records of every Body item in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime_fixture.h"

namespace {

class MailBody : public notesapi_test::ScratchRuntimeTest {
protected:
    MailBody() : ScratchRuntimeTest("notesapi_mailbody_") {}
};

// A paragraph and a text run (font ID 0) holding `text`; odd in size when `text` is.
std::vector<std::uint8_t> paragraph(const std::string& text) {
    const auto length = static_cast<std::uint8_t>(8 + text.size());
    std::vector<std::uint8_t> records = {0x81, 0x02, 0x85, 0xFF, length, 0, 0, 0, 0, 0};
    records.resize(records.size() + text.size());
    std::copy(text.begin(), text.end(), records.end() - static_cast<std::ptrdiff_t>(text.size()));
    return records;
}

// The text of each text run, walking the file's records by their headers (paragraphs and text runs only).
std::vector<std::string> textRuns(const std::string& file) {
    std::vector<std::string> runs;
    std::size_t pos = 2;
    while (pos + 4 <= file.size()) {
        const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(file[pos + at]); };
        const std::size_t length = byte(1) == 0xFF ? byte(2) | (byte(3) << 8) : byte(1);
        if (!(byte(0) == 0x81 || (byte(0) == 0x85 && byte(1) == 0xFF)) || length < 2 || length > file.size() - pos) {
            runs.push_back("(no record at " + std::to_string(pos) + ")");
            break;
        }
        if (byte(0) == 0x85) runs.push_back(file.substr(pos + 8, length - 8));
        pos += length + (length & 1);
    }
    return runs;
}

// Rich text split over several items: each item's records start at its own offset 0, so an item of odd
// size, ending in an odd record without its pad byte, must not shift the records of the next one.
TEST_F(MailBody, ItemsOfOddSizeKeepTheNextItemsRecordsInLine) {
    nsf::MemoryDatabaseBuilder b;
    const NOTEID id = b.document()
                          .composite("Body", paragraph("odd"))
                          .composite("Body", paragraph("even"))
                          .composite("Body", paragraph("end"))
                          .id();
    const DBHANDLE db = openBuilt(b);
    NOTEHANDLE h = 0;
    ASSERT_EQ(NSFNoteOpenExt(db, id, 0, &h), NOERROR);
    const auto path = dir_ / "body.cd";
    DWORD size = 0;
    ASSERT_EQ(MailGetMessageBodyComposite(h, nullptr, path.c_str(), &size), NOERROR);
    NSFNoteClose(h);
    std::ifstream in(path, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(textRuns(file), (std::vector<std::string>{"odd", "even", "end"}));
    // Nothing is added behind the last item.
    EXPECT_EQ(size, 2u + paragraph("odd").size() + 1 + paragraph("even").size() + paragraph("end").size());
    EXPECT_EQ(file.size(), size);
}

}  // namespace
