// Subfile metadata: the default mail fields with the PostedDate / ComposedDate choice, the synthetic
// "$$$TM_" fields, and damaged rich text.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "metadata/metadata.h"
#include "module/support/nsf_fixture.h"

using namespace nsfrex_test;

namespace {

using Element = std::pair<std::string, std::string>;  // name ("NULL" when none), value ("<none>" when none)

class MetadataTest : public NsfFixture {
protected:
    HostAlloc alloc{host};
    std::vector<SubFileMetaData> records;

    void TearDown() override
    {
        for (SubFileMetaData &meta : records)
            FreeRecord(meta);
        NsfFixture::TearDown();
    }
    void FreeRecord(SubFileMetaData &meta)
    {
        for (int32_t i = 0; i < meta.nElem; i++) {
            if (meta.ppElem[i] == nullptr)
                continue;
            alloc.Free(meta.ppElem[i]->strType);
            alloc.Free(meta.ppElem[i]->data);
            alloc.Free(meta.ppElem[i]);
        }
        alloc.Free(meta.ppElem);
    }
    std::vector<Element> Elements(const SubFileMetaData &meta)
    {
        std::vector<Element> out;
        for (int32_t i = 0; i < meta.nElem; i++) {
            const SubFileMetaElem *p = meta.ppElem[i];
            std::string value = "<none>";
            if (p->isDataValid) {
                EXPECT_EQ(p->nDataType, 7);
                EXPECT_EQ(p->data[p->dataSize - 1], 0);
                value.assign(reinterpret_cast<const char *>(p->data), p->dataSize - 1);
            } else {
                EXPECT_EQ(p->data, nullptr);
                EXPECT_EQ(p->nDataType, 0);
            }
            out.emplace_back(p->strType ? p->strType : "NULL", value);
        }
        return out;
    }
    std::vector<Element> Meta(int32_t nIndex, int32_t cNames, MetaName **rgNames, NSFSTATUS nExpected = 0)
    {
        records.emplace_back();
        SubFileMetaData &meta = records.back();
        meta = SubFileMetaData{};
        EXPECT_EQ(nsfGetSubFileMetadata(pContext, nIndex, cNames, rgNames, &meta, &alloc.ref), nExpected);
        return Elements(meta);
    }
    std::vector<Element> Named(int32_t nIndex, std::vector<std::string> names, NSFSTATUS nExpected = 0)
    {
        std::vector<MetaName> storage(names.size());
        std::vector<MetaName *> pointers;
        for (size_t i = 0; i < names.size(); i++) {
            storage[i].nType = names[i].empty() ? TMMetaNameType_Integer : TMMetaNameType_String;
            storage[i].pszName = names[i].data();
            pointers.push_back(&storage[i]);
        }
        return Meta(nIndex, static_cast<int32_t>(names.size()), pointers.data(), nExpected);
    }
};

nsf::TimeDate Td(uint32_t a, uint32_t b)
{
    nsf::TimeDate td;
    td.innards0 = a;
    td.innards1 = b;
    return td;
}

} // namespace

TEST_F(MetadataTest, DefaultMailFieldsWithComposedDateAsSent)
{
    nsf::MemoryDatabaseBuilder b;
    auto &mail = b.document()
                     .text("From", "Ann")
                     .time("ComposedDate", Td(0, 0))
                     .textList("SendTo", {"Bob"})
                     .text("Subject", "Lunch")
                     .text("Importance", "1");
    auto &posted = b.document().text("PostedDate", "posted").text("ComposedDate", "composed");
    Open(b);
    SetSubFiles({{0, mail.id()}, {0, posted.id()}});
    auto elements = Meta(0, 0, nullptr);
    ASSERT_EQ(elements.size(), 7u);
    EXPECT_EQ(elements[0], Element("From", "Ann"));
    EXPECT_EQ(elements[1].first, "Sent");
    EXPECT_EQ(elements[2], Element("To", "Bob"));
    EXPECT_EQ(elements[3], Element("Cc", "<none>"));
    EXPECT_EQ(elements[4], Element("Bcc", "<none>"));
    EXPECT_EQ(elements[5], Element("Subject", "Lunch"));
    EXPECT_EQ(elements[6], Element("Priority", "1"));
    EXPECT_EQ(Meta(1, 0, nullptr)[1], Element("Sent", "posted"));
}

TEST_F(MetadataTest, SyntheticFields)
{
    nsf::MemoryDatabaseBuilder b;
    nsf::OriginatorId oid{};
    oid.file = {0x11111111, 0x22222222};
    oid.note = Td(0x33333333, 0x44444444);
    auto &doc = b.document().oid(oid).text("Body", "plain");
    auto &sealed = b.document().text(
        "Body", "[Portions of this MIME document are encrypted with a Notes certificate and cannot be read.]");
    const nsf::NoteId other = b.document().id();
    for (int i = 0; i < 100; i++)  // these fill the folder table as first made; the note's own make it grow
        b.folder("Other" + std::to_string(i), {other});
    b.folder("Projects", {doc.id()});
    b.folder("Archive", {doc.id()});
    Open(b);
    ASSERT_EQ(doc.id(), 0x8F6u);
    SetSubFiles({{0, doc.id()}, {0, sealed.id()}});
    EXPECT_EQ(Named(0, {"$$$TM_NoteID", "$$$TM_NoteOID", "$$$TM_UName", "$$$TM_Folders", "$$$TM_BodyIsEncrypted",
                        "$$$TM_Other"}),
              (std::vector<Element>{{"$$$TM_NoteID", "000008F6"},
                                    {"$$$TM_NoteOID", "22222222111111114444444433333333"},
                                    {"$$$TM_UName", "22222222111111114444444433333333"},
                                    {"$$$TM_Folders", "Projects, Archive"},
                                    {"$$$TM_BodyIsEncrypted", "0"},
                                    {"$$$TM_Other", "<none>"}}));
    EXPECT_EQ(records.back().ppElem[0]->dataSize, 9);
    EXPECT_EQ(Named(1, {"$$$TM_BodyIsEncrypted", "$$$TM_Folders"}),
              (std::vector<Element>{{"$$$TM_BodyIsEncrypted", "1"}, {"$$$TM_Folders", "<none>"}}));
}

TEST_F(MetadataTest, DamagedRichTextEndsTheRequestWithItsElementNamed)
{
    // CDTEXT "Hi" (length 10), then a CDTEXT whose length (0x40) runs past the end of the item.
    const std::vector<uint8_t> damaged = {0x85, 0xFF, 0x0A, 0x00, 0x01, 0x00, 0x00, 0x0A, 'H', 'i',
                                          0x85, 0xFF, 0x40, 0x00, 0x01, 0x00, 0x00, 0x0A, 'x', 'y'};
    nsf::MemoryDatabaseBuilder b;
    auto &doc = b.document().text("Subject", "s").composite("Body", damaged).text("After", "a");
    Open(b);
    SetSubFiles({{0, doc.id()}});
    // The runtime reports the damage after handing over the records before it; the first failing
    // element ends the request, keeping the elements made before and the failing one's name.
    EXPECT_EQ(Meta(0, -1, nullptr, 6), (std::vector<Element>{{"Subject", "s"}, {"Body", "<none>"}}));
    EXPECT_EQ(Named(0, {"Subject", "After"}), (std::vector<Element>{{"Subject", "s"}, {"After", "a"}}));
    EXPECT_EQ(pContext->pszFuncAPI, nullptr);
}
