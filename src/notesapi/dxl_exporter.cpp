// The DXL exporter's C entry points: the exporter handle, its properties and the export of a note.
#include <cstring>

#include "api_guard.h"
#include "dxl_export.h"
#include "note_access.h"
#include "notesapi/osmem.h"
#include "notesapi/status.h"
#include "notesapi/xml.h"

namespace notesrt::dxl {

Settings::Settings()
    : flags{{eForceNoteFormat, FALSE},         {eExitOnFirstFatalError, TRUE}, {eOutputRootAttrs, TRUE},
            {eOutputXmlDecl, TRUE},            {eOutputDOCTYPE, TRUE},         {eConvertNotesbitmapsToGIF, FALSE},
            {eOmitRichtextAttachments, FALSE}, {eOmitOLEObjects, FALSE},       {eOmitMiscFileObjects, FALSE},
            {eOmitPictures, FALSE},            {eUncompressAttachments, TRUE}} {}

bool Settings::flag(WORD property) const {
    const auto it = flags.find(property);
    return it != flags.end() && it->second != FALSE;
}

ExporterObject::~ExporterObject() {
    if (logHandle != NULLMEMHANDLE)
        handles().remove(logHandle, HandleKind::Memory);
}

std::string Log::text() const {
    std::string out;
    for (const std::string& m : messages_) {
        out += m;
        out += '\n';
    }
    return out;
}

namespace {

// A text handed back to the caller as a MEMHANDLE holding the zero-terminated bytes.
MEMHANDLE textHandle(std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return handles().add(std::make_shared<MemoryObject>(std::move(bytes)));
}

STATUS setProperty(ExporterObject& exporter, DXL_EXPORT_PROPERTY prop, const void* value) {
    Settings& s = exporter.settings;
    if (value == nullptr)
        return ERR_MISC_INVALID_ARGS;
    const auto enumValue = [&] {
        int v = 0;
        std::memcpy(&v, value, sizeof v);
        return v;
    };
    switch (prop) {
        case eDxlExportResultLog:
        case eDefaultDoctypeSYSTEM:
            return ERR_MISC_INVALID_ARGS;  // read-only
        case eDoctypeSYSTEM:
            s.doctypeSystem = static_cast<const char*>(value);
            return NOERROR;
        case eDxlExportResultLogComment:
            s.logComment = static_cast<const char*>(value);
            return NOERROR;
        case eDxlExportCharset:
            // UTF-16 output is not provided.
            return enumValue() == eDxlExportUtf8 ? NOERROR : ERR_RUNTIME_NOT_IMPLEMENTED;
        case eDxlRichtextOption: {
            const int v = enumValue();
            if (v != eRichtextAsDxl && v != eRichtextAsItemdata)
                return ERR_MISC_INVALID_ARGS;
            s.richText = static_cast<DXL_RICHTEXT_OPTION>(v);
            return NOERROR;
        }
        case eDxlMimeOption: {
            const int v = enumValue();
            if (v != eMimeAsDxl && v != eMimeAsItemdata)
                return ERR_MISC_INVALID_ARGS;
            s.mime = static_cast<DXL_MIME_OPTION>(v);
            return NOERROR;
        }
        case eDxlValidationStyle: {
            const int v = enumValue();
            if (v < eDxlExportValidationStyle_None || v > eDxlExportValidationStyle_XMLSchema)
                return ERR_MISC_INVALID_ARGS;
            if (v == eDxlExportValidationStyle_XMLSchema)
                return ERR_RUNTIME_NOT_IMPLEMENTED;
            s.validation = static_cast<DXL_EXPORT_VALIDATION_STYLE>(v);
            return NOERROR;
        }
        default:
            break;
    }
    if (prop >= eForceNoteFormat && prop <= eUncompressAttachments) {
        BOOL b = FALSE;
        std::memcpy(&b, value, sizeof b);
        s.flags[prop] = b != FALSE ? TRUE : FALSE;
        return NOERROR;
    }
    // Banner comments, schema locations, omitted-object texts and item-name filters.
    return ERR_RUNTIME_NOT_IMPLEMENTED;
}

STATUS getProperty(ExporterObject& exporter, DXL_EXPORT_PROPERTY prop, void* ret) {
    const Settings& s = exporter.settings;
    const auto putHandle = [&](MEMHANDLE h) {
        std::memcpy(ret, &h, sizeof h);
        return NOERROR;
    };
    const auto putInt = [&](int v) {
        std::memcpy(ret, &v, sizeof v);
        return NOERROR;
    };
    switch (prop) {
        case eDxlExportResultLog:
            // The exporter keeps one copy of the log alive until the next export or its deletion.
            if (exporter.logHandle == NULLMEMHANDLE && !exporter.log.empty()) {
                exporter.logHandle = textHandle(exporter.log);
                if (exporter.logHandle == NULLMEMHANDLE)
                    return ERR_RUNTIME_NO_MEMORY;
            }
            return putHandle(exporter.logHandle);
        case eDefaultDoctypeSYSTEM:
        case eDoctypeSYSTEM:
        case eDxlExportResultLogComment: {
            const std::string_view text = prop == eDefaultDoctypeSYSTEM ? kDefaultDoctypeSystem
                                          : prop == eDoctypeSYSTEM
                                              ? (s.doctypeSystem.empty() ? kDefaultDoctypeSystem
                                                                         : std::string_view(s.doctypeSystem))
                                              : std::string_view(s.logComment);
            const MEMHANDLE h = textHandle(text);
            return h == NULLMEMHANDLE ? ERR_RUNTIME_NO_MEMORY : putHandle(h);
        }
        case eDxlExportCharset: return putInt(eDxlExportUtf8);
        case eDxlRichtextOption: return putInt(s.richText);
        case eDxlMimeOption: return putInt(s.mime);
        case eDxlValidationStyle: return putInt(s.validation);
        default: break;
    }
    if (prop >= eForceNoteFormat && prop <= eUncompressAttachments) {
        const BOOL b = s.flag(prop) ? TRUE : FALSE;
        std::memcpy(ret, &b, sizeof b);
        return NOERROR;
    }
    return ERR_RUNTIME_NOT_IMPLEMENTED;
}

STATUS exportNote(ExporterObject& exporter, XML_WRITE_FUNCTION write, NOTEHANDLE hNote, void* action) {
    // Each export starts a new log; the copy handed out for the previous one goes (a no-op when the
    // caller freed it already: the stale handle is refused).
    exporter.log.clear();
    exporter.errorLogged = false;
    if (exporter.logHandle != NULLMEMHANDLE)
        handles().remove(exporter.logHandle, HandleKind::Memory);
    exporter.logHandle = NULLMEMHANDLE;

    const auto note = findNote(hNote);
    if (!note)
        return ERR_RUNTIME_BAD_HANDLE;
    Output out([&](const std::uint8_t* bytes, std::size_t length) {
        write(bytes, static_cast<DWORD>(length), action);
    });
    Log log;
    Context ctx{exporter.settings, out, log, *note, noteIsSealed(*note)};
    writeNote(ctx);
    out.flush();
    if (!log.empty()) {
        exporter.log = log.text();
        exporter.errorLogged = true;
    }
    return log.lost();
}

}  // namespace
}  // namespace notesrt::dxl

using namespace notesrt;
using namespace notesrt::dxl;

extern "C" {

STATUS DXLCreateExporter(DXLEXPORTHANDLE* prethDXLExport) {
    return guardStatus("DXLCreateExporter", [&]() -> STATUS {
        if (prethDXLExport == nullptr)
            return ERR_MISC_INVALID_ARGS;
        *prethDXLExport = NULLMEMHANDLE;
        const DHANDLE h = handles().add(std::make_shared<ExporterObject>());
        if (h == NULLHANDLE)
            return ERR_RUNTIME_NO_MEMORY;
        *prethDXLExport = h;
        return NOERROR;
    });
}

void DXLDeleteExporter(DXLEXPORTHANDLE hDXLExport) {
    guardVoid("DXLDeleteExporter", [&] { handles().remove(hDXLExport, HandleKind::DxlExporter); });
}

STATUS DXLSetExporterProperty(DXLEXPORTHANDLE hDXLExport, DXL_EXPORT_PROPERTY prop, void* propValue) {
    return guardStatus("DXLSetExporterProperty", [&]() -> STATUS {
        const auto exporter = handles().get<ExporterObject>(hDXLExport);
        if (!exporter)
            return ERR_RUNTIME_BAD_HANDLE;
        return setProperty(*exporter, prop, propValue);
    });
}

STATUS DXLGetExporterProperty(DXLEXPORTHANDLE hDXLExport, DXL_EXPORT_PROPERTY prop, void* retPropValue) {
    return guardStatus("DXLGetExporterProperty", [&]() -> STATUS {
        if (retPropValue == nullptr)
            return ERR_MISC_INVALID_ARGS;
        const auto exporter = handles().get<ExporterObject>(hDXLExport);
        if (!exporter)
            return ERR_RUNTIME_BAD_HANDLE;
        return getProperty(*exporter, prop, retPropValue);
    });
}

STATUS DXLExportNote(DXLEXPORTHANDLE hDXLExport, XML_WRITE_FUNCTION pDXLWriteFunc, NOTEHANDLE hNote,
                     void* pExAction) {
    return guardStatus("DXLExportNote", [&]() -> STATUS {
        if (pDXLWriteFunc == nullptr)
            return ERR_MISC_INVALID_ARGS;
        const auto exporter = handles().get<ExporterObject>(hDXLExport);
        if (!exporter)
            return ERR_RUNTIME_BAD_HANDLE;
        return exportNote(*exporter, pDXLWriteFunc, hNote, pExAction);
    });
}

BOOL DXLExportWasErrorLogged(DXLEXPORTHANDLE hDXLExport) {
    return guardValue<BOOL>("DXLExportWasErrorLogged", FALSE, [&]() -> BOOL {
        const auto exporter = handles().get<ExporterObject>(hDXLExport);
        return exporter && exporter->errorLogged ? TRUE : FALSE;
    });
}

}  // extern "C"
