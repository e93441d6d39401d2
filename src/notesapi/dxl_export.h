// The DXL exporter's internals: its settings, the handle object, and the pieces that turn an open
// note into a DXL document.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dxl_writer.h"
#include "handles.h"
#include "notesapi/status.h"
#include "notesapi/xml.h"
#include "nsf/database.h"
#include "objects.h"

namespace notesrt::dxl {

struct Settings {
    DXL_RICHTEXT_OPTION richText = eRichtextAsDxl;
    DXL_MIME_OPTION mime = eMimeAsDxl;
    DXL_EXPORT_VALIDATION_STYLE validation = eDxlExportValidationStyle_DTD;
    std::string doctypeSystem;  // empty: the default
    std::string logComment;
    std::map<WORD, BOOL> flags;  // properties 30 and up, defaults filled in by the constructor
    Settings();
    bool flag(WORD property) const;
};

// The system identifier the DOCTYPE names unless the caller sets another.
inline constexpr std::string_view kDefaultDoctypeSystem = "xmlschemas/dxl.dtd";

class ExporterObject final : public HandleObject {
public:
    static constexpr HandleKind kKind = HandleKind::DxlExporter;
    ExporterObject() : HandleObject(kKind) {}
    ~ExporterObject() override;

    Settings settings;
    std::string log;                   // messages of the last export
    bool errorLogged = false;
    MEMHANDLE logHandle = NULLMEMHANDLE;  // a copy of `log` handed to the caller
};

// Collects the messages of one export.
class Log {
public:
    void add(std::string message) { messages_.push_back(std::move(message)); }
    // Data left out of the export because it could not be read: the export fails with the first
    // such status, so that a caller never takes an incomplete note for a complete one.
    void lose(STATUS status, std::string message) {
        if (lost_ == NOERROR) lost_ = status;
        add(std::move(message));
    }
    STATUS lost() const noexcept { return lost_; }
    bool empty() const noexcept { return messages_.empty(); }
    std::string text() const;

private:
    std::vector<std::string> messages_;
    STATUS lost_ = NOERROR;
};

// Everything the item writers need while one note is exported.
struct Context {
    const Settings& settings;
    Output& out;
    Log& log;
    const NoteObject& note;
    bool noteSealed = false;
};

// The whole document for a note.
void writeNote(Context& ctx);

// One item (or, for rich text split over several items, the run of items [first, last]).
void writeItem(Context& ctx, std::size_t first, std::size_t last);

// An attachment: <object><file ...>...</file></object>; false when the value is not a file object
// (the caller then writes it as raw item data).
bool writeFileObject(Context& ctx, const NoteItem& item);

// Rich text as DXL markup from the CD records of one or more items. False, with nothing written, when
// the records hold something the markup does not cover.
bool writeRichText(Context& ctx, const std::vector<const NoteItem*>& items);

// A TIMEDATE as DXL writes it ("20010308T092534,52-05"); empty when it does not decode.
std::string formatDateTime(const nsf::TimeDate& td);
// <datetime dst=...>...</datetime>
void writeDateTime(Context& ctx, const nsf::TimeDate& td);
// <rawitemdata type='hex'>base64</rawitemdata>
void writeRawItemData(Output& out, WORD type, std::span<const std::uint8_t> value);

// "0x8fa", for messages.
std::string noteIdText(const NoteObject& note);

// The value bytes of an item, after its type word.
std::span<const std::uint8_t> valueOf(const NoteItem& item);

}  // namespace notesrt::dxl
