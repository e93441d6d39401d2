// The image catalogue: which form notes are images and their link names in any letter case.
#include <gtest/gtest.h>

#include "catalogue/images.h"
#include "module/catalogue_db.h"

using namespace nsfrex_test;

namespace {

struct ImagesTest : ModuleDbTest {
    /* An image resource note: a form with a title and image data (an image header and one segment). */
    nsf::NoteBuilder &AddImage(const std::string &title, nsf::NoteId id = 0)
    {
        auto &note = id != 0 ? builder.noteWithId(id, 0x0004) : builder.note(0x0004);
        std::vector<std::uint8_t> cd = {
            0x7D, 0x00, 0x1C, 0x00, 0x00, 0x00,   // CDIMAGEHEADER: signature 125, length 28
            0x01, 0x00, 0x02, 0x00, 0x02, 0x00,   // GIF, 2 x 2
            0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,   // 4 bytes in 1 segment
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x7C, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x04, 0x00, 0x04, 0x00,   // CDIMAGESEGMENT: 4 bytes of data
            'G', 'I', 'F', '8'};
        note.text("$TITLE", title).composite("$ImageData", cd);
        return note;
    }
};

} // namespace

TEST_F(ImagesTest, ImageNotesAreFoundByTheirLinkNameInAnyCase)
{
    auto &logo = AddImage("logo.gif;StdNotesLtr0");
    builder.note(0x0004).text("$TITLE", "a form;NotAnImage");       // no image data
    AddImage("no link in this title");
    AddImage("");
    builder.document().text("$ImageData", "a document is never searched").text("$TITLE", "x;Doc");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(nStatus, 0);
    ASSERT_EQ(pContext->cImages, 1);
    EXPECT_EQ(pContext->cImagesMax, 4);
    Image *pImage = nsfFindImage(pContext, "StdNotesLtr0");
    ASSERT_NE(pImage, nullptr);
    EXPECT_EQ(pImage->nImage, 0);
    EXPECT_EQ(pImage->dwNoteID, logo.id());
    EXPECT_STREQ(pImage->pszLinkName, "StdNotesLtr0");
    EXPECT_EQ(nsfFindImage(pContext, "stdnotesltr0"), pImage);
    EXPECT_EQ(nsfFindImage(pContext, "STDNOTESLTR0"), pImage);
    EXPECT_EQ(nsfFindImage(pContext, "logo.gif"), nullptr);
    EXPECT_EQ(nsfFindImage(pContext, "NotAnImage"), nullptr);
    EXPECT_EQ(nsfFindImage(pContext, "Doc"), nullptr);
    Close();
    auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "[0/0] DIAG nsfGetNoteImage(): No image link in title no link in this title"));
    EXPECT_TRUE(HasLine(lines, "[0/0] DIAG nsfGetNoteImage(): No title"));
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfGetNoteImage(): Added note as image, dwNoteID " +
                                   std::to_string(logo.id()) + ", cImages 1"));
    EXPECT_EQ(CountContaining(lines, "DIAG nsfSearchCB2(): Inserted note (image), dwNoteID"), 4);
    EXPECT_EQ(CountContaining(lines, "(NOTE_CLASS_FORM)"), 4);
    EXPECT_TRUE(HasLine(lines, "[0/0] WARNING nsfFindImage(): Image not found, pszLinkName logo.gif"));
    EXPECT_TRUE(HasLine(lines, "[0/0] INFO nsfInitImages(): Deleting ID table..."));
    EXPECT_EQ(CountContaining(lines, "Calling Notes API NSFNoteOpenExt()"), CountContaining(lines, "Calling Notes API NSFNoteClose()"));
}
