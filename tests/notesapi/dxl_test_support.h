// Helpers for the DXL exporter tests: export a note to a string, and check a document against the
// DXL DTD with libxml2.
#pragma once

#include <libxml/parser.h>
#include <libxml/valid.h>

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "notesapi/notes.h"
#include "notesapi/osmem.h"
#include "notesapi/xml.h"

namespace notesapi_test {

struct DxlResult {
    STATUS status = NOERROR;
    std::string text;
    std::size_t pieces = 0;
    std::string log;  // the result log, empty when none
};

inline void LNCALLBACK collectDxl(const BYTE* bytes, DWORD length, void* action) {
    auto* result = static_cast<DxlResult*>(action);
    result->text.append(reinterpret_cast<const char*>(bytes), length);
    ++result->pieces;
}

// Exports `note` with a fresh exporter; `richTextAsItemData` sets the rich-text option first.
inline DxlResult exportDxl(NOTEHANDLE note, bool richTextAsItemData = false) {
    DxlResult result;
    DXLEXPORTHANDLE exporter = NULLMEMHANDLE;
    result.status = DXLCreateExporter(&exporter);
    if (result.status != NOERROR)
        return result;
    if (richTextAsItemData) {
        DXL_RICHTEXT_OPTION option = eRichtextAsItemdata;
        result.status = DXLSetExporterProperty(exporter, eDxlRichtextOption, &option);
    }
    if (result.status == NOERROR)
        result.status = DXLExportNote(exporter, collectDxl, note, &result);
    MEMHANDLE log = NULLMEMHANDLE;
    if (DXLGetExporterProperty(exporter, eDxlExportResultLog, &log) == NOERROR && log != NULLMEMHANDLE) {
        if (const char* text = static_cast<const char*>(OSMemoryLock(log))) {
            result.log = text;
            OSMemoryUnlock(log);
        }
    }
    DXLDeleteExporter(exporter);
    return result;
}

struct XmlDocFree {
    void operator()(xmlDoc* d) const noexcept { xmlFreeDoc(d); }
};
struct XmlDtdFree {
    void operator()(xmlDtd* d) const noexcept { xmlFreeDtd(d); }
};
using XmlDoc = std::unique_ptr<xmlDoc, XmlDocFree>;
using XmlDtd = std::unique_ptr<xmlDtd, XmlDtdFree>;

// The DXL DTD from the shared folder; a missing file fails the test.
inline XmlDtd loadDxlDtd() {
    const auto path = std::filesystem::path(NSFREX_SHARED_DIR) / "dxl" / "domino_9_0_1.dtd";
    EXPECT_TRUE(std::filesystem::exists(path)) << "missing DXL DTD " << path;
    XmlDtd dtd(xmlParseDTD(nullptr, reinterpret_cast<const xmlChar*>(path.c_str())));
    EXPECT_NE(dtd, nullptr) << "cannot parse " << path;
    return dtd;
}

// Parses without touching the network or the DOCTYPE's system file.
inline XmlDoc parseXml(const std::string& text) {
    return XmlDoc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "note.dxl", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

// Empty when `text` is well-formed and valid against `dtd`, else what went wrong.
inline std::string dxlProblem(const std::string& text, xmlDtd* dtd) {
    XmlDoc doc = parseXml(text);
    if (!doc)
        return "not well-formed: " + std::string(xmlGetLastError() ? xmlGetLastError()->message : "?");
    std::unique_ptr<xmlValidCtxt, decltype(&xmlFreeValidCtxt)> ctxt(xmlNewValidCtxt(), xmlFreeValidCtxt);
    ctxt->error = nullptr;
    ctxt->warning = nullptr;
    xmlResetLastError();
    if (xmlValidateDtd(ctxt.get(), doc.get(), dtd) != 1)
        return "not valid: " + std::string(xmlGetLastError() ? xmlGetLastError()->message : "?");
    return {};
}

}  // namespace notesapi_test
