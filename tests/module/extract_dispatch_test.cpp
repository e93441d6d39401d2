// Extraction dispatcher (slots 5 and 7) on in-memory databases through the real runtime: failing Notes
// calls, and notes extracted with their attachments without changing the subfile table.
#include <gtest/gtest.h>

#include "module/catalogue_db.h"

using namespace nsfrex_test;

namespace {

struct ExtractDispatchTest : ExtractTest {
    std::vector<uint8_t> bytes{'a', 'b', 'c'};

    int32_t ExtractEx(int32_t nIndex, ExtraSubFileInfo *pExtra)
    {
        return nsfExtractSubFileToIOobjEx(pContext, nIndex, &out.io, &info, &hostObject, pExtra);
    }
};

} // namespace

TEST_F(ExtractDispatchTest, FailingOpenAndRaisingDecryptEndTheExtractionAndTheNoteIsClosed)
{
    builder.document().text("Body", "hello");
    ASSERT_NE(Open(), nullptr);
    int cClosedBefore = CountLogged("Calling Notes API NSFNoteClose()");
    NotesTestInjectFault("NSFNoteOpenExt", 1, 0x0222 /* any failure */, 0);
    EXPECT_EQ(Extract(0), NSF_ERR_FAILED);
    EXPECT_EQ(CountLogged("Calling Notes API NSFNoteClose()"), cClosedBefore);
    NotesTestInjectFault("NSFNoteDecrypt", 1, 0, 1);
    EXPECT_EQ(Extract(0), NSF_ERR_EXCEPTION);
    EXPECT_EQ(CountLogged("Calling Notes API NSFNoteClose()"), cClosedBefore + 1);
    EXPECT_EQ(out.cOpen, 0);
    NotesTestInjectFault("NSFNoteClose", 1, 0x0222, 0);
    EXPECT_EQ(Extract(0), NSF_OK);  // a failing close does not change the result
    EXPECT_EQ(out.data, "\r\nhello");
}

TEST_F(ExtractDispatchTest, SlotSevenExtractsTheNoteThenItsAttachmentsAndRestoresTheTable)
{
    builder.document().text("Body", "first");
    auto &note = builder.document().text("Body", "second").attachFile("a.txt", bytes);
    std::vector<uint8_t> other{'x', 'y'};
    note.attachFile("b.txt", other);
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(pContext->cSubFiles, 4);
    SubFile *rgBefore[4];
    for (int i = 0; i < 4; i++)
        rgBefore[i] = Sub(i);

    NoteDescriptor desc{};
    desc.qwNoteID = 0xABCD00000000ull | note.id();
    desc.nKind = 4;
    ExtraSubFileInfo extra{0, &desc};
    EXPECT_EQ(ExtractEx(1, &extra), NSF_OK);
    EXPECT_EQ(out.cOpen, 3);
    EXPECT_EQ(out.cClose, 3);
    // "$FILE" is an item of the mail header table, so the note with attachments is mail: plain mail text
    // with the empty Sent row and the attachment list, then the body, then the two files.
    ASSERT_EQ(pContext->rgSubFiles[1]->bNoteIsMail, 1);
    EXPECT_EQ(out.data, "Sent:  \r\nAttachments: a.txt, b.txt\r\n\r\nsecondabcxy");
    EXPECT_EQ(pContext->cSubFiles, 4);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(Sub(i), rgBefore[i]);
    EXPECT_EQ(pContext->rgSubFiles[4], nullptr);
    Close();
    EXPECT_TRUE(Logged("INFO nsfExtractSubFileToIOobjEx(): Extracting note (with attachments), dwNoteID " +
                       std::to_string(note.id())));
    EXPECT_TRUE(Logged("INFO nsfExtractSubFileToIOobjEx(): Note subfiles 3"));
    EXPECT_TRUE(Logged("INFO nsfExtractSubFileToIOobjEx(): Calling nsfExtractSubFileToIOobj() for subfile 6"));
}
