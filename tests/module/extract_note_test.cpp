// Note export: field dumps (lists, empty items, names in item order), the body of a note that is not
// mail, and DXL through the runtime's exporter (checked against the DTD).
#include <stdlib.h>

#include <fstream>

#include <gtest/gtest.h>

#include "module/catalogue_db.h"

using namespace nsfrex_test;

namespace {

struct ExtractNoteTest : ExtractTest {};

} // namespace

TEST_F(ExtractNoteTest, FieldDumpWritesEveryItemWithEmptyValuesAsOneSpace)
{
    builder.document().text("Subject", "Hello").textList("Tags", {"red", "green"}).text("Empty", "");
    ASSERT_NE(Open(), nullptr);
    pContext->bExtractAllFields = 1;
    ASSERT_EQ(Extract(0), NSF_OK);
    EXPECT_EQ(out.cOpen, 1);
    EXPECT_EQ(out.cClose, 1);
    EXPECT_NE(out.data.find("Subject: Hello\r\n"), std::string::npos) << out.data;
    EXPECT_NE(out.data.find("Tags: red"), std::string::npos) << out.data;
    EXPECT_NE(out.data.find("green\r\n"), std::string::npos) << out.data;
    EXPECT_NE(out.data.find("Empty:  \r\n"), std::string::npos) << out.data;
    EXPECT_LT(out.data.find("Subject:"), out.data.find("Tags:"));
    // label and value go out in two writes per item
    EXPECT_EQ(out.writes.size() % 2, 0u);
}

TEST_F(ExtractNoteTest, NoteThatIsNotMailGivesItsBodyOrNothing)
{
    builder.document().text("Body", "line one\nline two");
    builder.document().text("Other", "x").text("Body", "");
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(Sub(0)->bNoteIsMail, 0);
    ASSERT_EQ(Extract(0), NSF_OK);
    EXPECT_EQ(out.data, "\r\nline one\r\nline two");
    out.data.clear();
    ASSERT_GE(pContext->cSubFiles, 2);
    ASSERT_EQ(Extract(1), NSF_OK);
    EXPECT_EQ(out.data, "");
}

TEST_F(ExtractNoteTest, DxlExportSetsTheRichTextOptionUnlessPureXml)
{
    builder.document().text("Subject", "DXL <test> & more").number("Count", 3).textList("L", {"a", "b"});
    ASSERT_NE(Open(), nullptr);
    pContext->bExportDXL = 1;
    pContext->bExtractAllFields = 1;
    int cSet = CountLogged("Calling Notes API DXLSetExporterProperty()");
    ASSERT_EQ(Extract(0, 0x04), NSF_OK);
    EXPECT_EQ(CountLogged("Calling Notes API DXLSetExporterProperty()") - cSet, 1);
    EXPECT_NE(out.data.find("<document"), std::string::npos) << out.data.substr(0, 400);
    EXPECT_EQ(out.data.find("Subject: "), std::string::npos);

    std::string path = dir.file("note.dxl");
    std::ofstream(path, std::ios::binary) << out.data;
    std::string dtd = std::string(NSFREX_SHARED_DIR) + "/dxl/domino_9_0_1.dtd";
    ASSERT_TRUE(std::ifstream(dtd).good()) << "missing " << dtd;
    std::string cmd = "xmllint --noout --nonet --dtdvalid '" + dtd + "' '" + path + "' 2>/dev/null";
    EXPECT_EQ(system(cmd.c_str()), 0) << out.data;

    out.data.clear();
    pContext->bExportDXL_PureXML = 1;
    cSet = CountLogged("Calling Notes API DXLSetExporterProperty()");
    ASSERT_EQ(Extract(0), NSF_OK);
    EXPECT_EQ(CountLogged("Calling Notes API DXLSetExporterProperty()"), cSet);
    EXPECT_NE(out.data.find("<document"), std::string::npos);
    Close();
    EXPECT_TRUE(Logged("INFO nsfExtractNoteDXL(): Exporting note to DXL..."));
    EXPECT_EQ(CountLogged("Calling Notes API DXLCreateExporter()"), CountLogged("Calling Notes API DXLDeleteExporter()"));
}
