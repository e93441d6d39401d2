// Extraction dispatcher (slots 5 and 7) on in-memory databases through the real runtime: argument and
// index checks, the extraction flags, folders, failing Notes calls, and notes extracted with their
// attachments without changing the subfile table.
#include <gtest/gtest.h>

#include "module/catalogue_db.h"
#include "module/support/capture_stream.h"
#include "nsfrex/host.h"

using namespace nsfrex_test;

namespace {

struct ExtractDispatchTest : ModuleDbTest {
    CaptureStream out;
    SubFileExtractInfo info{};
    int host = 1;
    std::vector<uint8_t> bytes{'a', 'b', 'c'};

    int32_t Extract(int32_t nIndex, uint32_t nFlag = 0)
    {
        return nsfExtractSubFileToIOobj(pContext, nIndex, &out.io, &info, &host, nFlag);
    }
    int32_t ExtractEx(int32_t nIndex, ExtraSubFileInfo *pExtra)
    {
        return nsfExtractSubFileToIOobjEx(pContext, nIndex, &out.io, &info, &host, pExtra);
    }
};

} // namespace

TEST_F(ExtractDispatchTest, NullArgumentsAndIndicesOutsideTheTableAreRejected)
{
    builder.document().text("Body", "hello");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(pContext->cSubFiles, 1);
    EXPECT_EQ(nsfExtractSubFileToIOobj(nullptr, 0, &out.io, &info, &host, 0), NSF_ERR_ARGUMENT);
    EXPECT_EQ(nsfExtractSubFileToIOobj(pContext, 0, &out.io, &info, nullptr, 0), NSF_ERR_ARGUMENT);
    EXPECT_EQ(nsfExtractSubFileToIOobjEx(pContext, 0, &out.io, &info, &host, nullptr), NSF_ERR_ARGUMENT);
    EXPECT_EQ(Extract(1), NSF_ERR_ARGUMENT);
    EXPECT_EQ(Extract(-1), NSF_ERR_ARGUMENT);
    EXPECT_EQ(out.cOpen, 0);
    EXPECT_EQ(pContext->nIndex, -1);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfExtractSubFileToIOobj(): Invalid nIndex 1, cSubFiles 1"));
    EXPECT_TRUE(Logged("ERROR nsfExtractSubFileToIOobj(): Invalid nIndex -1, cSubFiles 1"));
}

TEST_F(ExtractDispatchTest, FlagsSetOnlyTheirTwoFieldsAndStayUntilTheNextCall)
{
    builder.document().text("Body", "hello");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(Extract(0, 0x06), NSF_OK);
    EXPECT_EQ(pContext->bExcludeMailHeader, 1);
    EXPECT_EQ(pContext->bGetFormattedBody, 1);
    ASSERT_EQ(Extract(0, 0xFFFFFFF9u), NSF_OK);
    EXPECT_EQ(pContext->bExcludeMailHeader, 0);
    EXPECT_EQ(pContext->bGetFormattedBody, 0);
    ASSERT_EQ(Extract(0, 0x04), NSF_OK);
    EXPECT_EQ(pContext->bExcludeMailHeader, 0);
    EXPECT_EQ(pContext->bGetFormattedBody, 1);
    Close();
    EXPECT_TRUE(Logged("INFO nsfExtractSubFileToIOobj(): nFlag 0x6"));
    EXPECT_TRUE(Logged("INFO nsfExtractSubFileToIOobj(): bExcludeMailHeader 1, bGetFormattedBody 1"));
    EXPECT_TRUE(Logged("INFO nsfExtractSubFileToIOobj(): nIndex 0 0x0"));
    EXPECT_TRUE(Logged("INFO nsfExtractSubFileToIOobj(): IOobj64.pFileName..."));
    EXPECT_TRUE(Logged("INFO nsfExtractSubFileToIOobj(): TMSubFileExtractInfoFlag_External 0, _FolderCreated 0, "
                       "_NonFormattedBodyExtracted 0"));
}

TEST_F(ExtractDispatchTest, FolderSubfileSucceedsWithoutOpeningTheStream)
{
    builder.document().text("Body", "hello");
    ASSERT_NE(Open(CNVO_CREATEROOTDIR), nullptr);
    ASSERT_EQ(nStatus, 0);
    ASSERT_EQ(Sub(0)->nSubFileType, 3);
    EXPECT_EQ(Extract(0), NSF_OK);
    EXPECT_EQ(out.cOpen, 0);
    EXPECT_TRUE(out.writes.empty());
}

TEST_F(ExtractDispatchTest, UnknownSubfileTypeAndEmptySlotFail)
{
    builder.document().text("Body", "hello");
    ASSERT_NE(Open(), nullptr);
    Sub(0)->nSubFileType = 4;
    EXPECT_EQ(Extract(0), NSF_ERR_FAILED);
    Sub(0)->nSubFileType = 0;
    SubFile *pSaved = pContext->rgSubFiles[0];
    pContext->rgSubFiles[0] = nullptr;
    EXPECT_EQ(Extract(0), NSF_ERR_FAILED);
    pContext->rgSubFiles[0] = pSaved;
    EXPECT_EQ(out.cOpen, 0);
    Close();
    EXPECT_TRUE(Logged("ERROR nsfExtractSubFileToIOobj(): Invalid nSubFileType 4"));
    EXPECT_TRUE(Logged("ERROR nsfExtractSubFileToIOobj(): No subfile, nIndex 0"));
    // the note of the unknown type was opened and closed again
    EXPECT_EQ(CountLogged("Calling Notes API NSFNoteOpenExt()"), CountLogged("Calling Notes API NSFNoteClose()"));
}

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

TEST_F(ExtractDispatchTest, SlotSevenWithoutNoteIsSlotFiveWithTheExtraFlags)
{
    builder.document().text("Body", "hello");
    ASSERT_NE(Open(), nullptr);
    ExtraSubFileInfo extra{0x06, nullptr};
    EXPECT_EQ(ExtractEx(0, &extra), NSF_OK);
    EXPECT_EQ(pContext->bExcludeMailHeader, 1);
    EXPECT_EQ(pContext->bGetFormattedBody, 1);
    EXPECT_EQ(out.cOpen, 1);
    EXPECT_EQ(ExtractEx(5, &extra), NSF_ERR_ARGUMENT);
    Close();
    EXPECT_TRUE(Logged("INFO nsfExtractSubFileToIOobjEx(): Calling nsfExtractSubFileToIOobj()..."));
    EXPECT_TRUE(Logged("WARNING nsfExtractSubFileToIOobjEx(): nsfExtractSubFileToIOobj() failed"));
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

TEST_F(ExtractDispatchTest, SlotSevenGoesOnAfterAFailingSubfileAndReturnsTheLastResult)
{
    auto &note = builder.document().text("Body", "n").attachFile("a.txt", bytes).attachFile("b.txt", bytes);
    ASSERT_NE(Open(), nullptr);
    NoteDescriptor desc{};
    desc.qwNoteID = note.id();
    desc.nKind = 4;
    ExtraSubFileInfo extra{0, &desc};
    out.nFailWrite = 1;  // the note's first write (its Sent row)
    EXPECT_EQ(ExtractEx(0, &extra), NSF_OK);
    EXPECT_EQ(out.cOpen, 3);
    EXPECT_EQ(out.data, "abcabc");
    out.nFailWrite = 0;
    out.writes.clear();
    out.data.clear();
    NotesTestInjectFault("NSFNoteExtractFile", 2, 0x0222, 0);
    EXPECT_EQ(ExtractEx(0, &extra), NSF_ERR_FAILED);
    EXPECT_EQ(out.data, "Sent:  \r\nAttachments: a.txt, b.txt\r\n\r\nnabc");
    EXPECT_EQ(pContext->cSubFiles, 3);
}

TEST_F(ExtractDispatchTest, InvalidNoteDescriptorsAreRejectedBeforeTheTableChanges)
{
    auto &note = builder.document().text("Body", "n");
    ASSERT_NE(Open(), nullptr);
    NoteDescriptor desc{};
    desc.qwNoteID = note.id();
    desc.nKind = 3;
    ExtraSubFileInfo extra{0, &desc};
    EXPECT_EQ(ExtractEx(0, &extra), NSF_ERR_ARGUMENT);
    desc.nKind = 4;
    desc.qwNoteID = 0;
    EXPECT_EQ(ExtractEx(0, &extra), NSF_ERR_ARGUMENT);
    EXPECT_EQ(pContext->cSubFiles, 1);
    EXPECT_EQ(out.cOpen, 0);
    Close();
    EXPECT_EQ(CountLogged("ERROR nsfExtractSubFileToIOobjEx(): Invalid ExtraSubFileInfo"), 2);
}

TEST_F(ExtractDispatchTest, SlotSevenForAMissingNoteFailsAndLeavesTheTable)
{
    builder.document().text("Body", "n");
    ASSERT_NE(Open(), nullptr);
    NoteDescriptor desc{};
    desc.qwNoteID = 0x7FF0;
    desc.nKind = 4;
    ExtraSubFileInfo extra{0, &desc};
    EXPECT_NE(ExtractEx(0, &extra), NSF_OK);
    EXPECT_EQ(pContext->cSubFiles, 1);
    EXPECT_EQ(out.cOpen, 0);
    Close();
    EXPECT_TRUE(Logged("WARNING nsfExtractSubFileToIOobjEx(): nsfGetNoteSubfiles() failed"));
}
