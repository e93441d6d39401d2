// Item values: the TYPE_* codes and decoders from the canonical bytes (Item::value, without the type
// word) to C++ structures. Every decoder checks every length against the value and fails with
// Truncated or Corrupt instead of reading past it. Stored databases hold zero-length values for emptied
// fields; the list and range decoders read those as empty lists, the single-value decoders fail.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "nsf/byte_reader.h"
#include "nsf/database.h"
#include "nsf/error.h"

namespace nsf {

// Value types: the class in the high byte, the subtype in the low byte.
inline constexpr std::uint16_t kTypeInvalidOrUnknown = 0x0000;
inline constexpr std::uint16_t kTypeComposite = 0x0001;  // rich text, a stream of CD records
inline constexpr std::uint16_t kTypeCollation = 0x0002;
inline constexpr std::uint16_t kTypeObject = 0x0003;
inline constexpr std::uint16_t kTypeNoteRefList = 0x0004;
inline constexpr std::uint16_t kTypeViewFormat = 0x0005;
inline constexpr std::uint16_t kTypeIcon = 0x0006;
inline constexpr std::uint16_t kTypeNoteLinkList = 0x0007;
inline constexpr std::uint16_t kTypeSignature = 0x0008;
inline constexpr std::uint16_t kTypeSeal = 0x0009;
inline constexpr std::uint16_t kTypeSealData = 0x000A;
inline constexpr std::uint16_t kTypeSealList = 0x000B;
inline constexpr std::uint16_t kTypeHighlights = 0x000C;
inline constexpr std::uint16_t kTypeWorksheetData = 0x000D;
inline constexpr std::uint16_t kTypeUserData = 0x000E;
inline constexpr std::uint16_t kTypeQuery = 0x000F;
inline constexpr std::uint16_t kTypeAction = 0x0010;
inline constexpr std::uint16_t kTypeAssistantInfo = 0x0011;
inline constexpr std::uint16_t kTypeViewmapDataset = 0x0012;
inline constexpr std::uint16_t kTypeViewmapLayout = 0x0013;
inline constexpr std::uint16_t kTypeLsObject = 0x0014;
inline constexpr std::uint16_t kTypeHtml = 0x0015;
inline constexpr std::uint16_t kTypeSchedList = 0x0016;
inline constexpr std::uint16_t kTypeCalendarFormat = 0x0018;
inline constexpr std::uint16_t kTypeMimePart = 0x0019;
inline constexpr std::uint16_t kTypeSeal2 = 0x001F;
inline constexpr std::uint16_t kTypeError = 0x0100;
inline constexpr std::uint16_t kTypeUnavailable = 0x0200;
inline constexpr std::uint16_t kTypeNumber = 0x0300;
inline constexpr std::uint16_t kTypeNumberRange = 0x0301;
inline constexpr std::uint16_t kTypeTime = 0x0400;
inline constexpr std::uint16_t kTypeTimeRange = 0x0401;
inline constexpr std::uint16_t kTypeText = 0x0500;
inline constexpr std::uint16_t kTypeTextList = 0x0501;
inline constexpr std::uint16_t kTypeRfc822Text = 0x0502;
inline constexpr std::uint16_t kTypeFormula = 0x0600;
inline constexpr std::uint16_t kTypeUserId = 0x0700;

// OBJECT_DESCRIPTOR.ObjectType: the kind in the low bits, flag bits on top.
inline constexpr std::uint16_t kObjectFile = 0x0000;
inline constexpr std::uint16_t kObjectTypeFlags = 0xE000;  // no-copy, preserve, public

// FILEOBJECT fields.
inline constexpr std::uint16_t kHostMask = 0x0F00;
inline constexpr std::uint16_t kHostMsdos = 0x0000;
inline constexpr std::uint16_t kHostOle = 0x0100;
inline constexpr std::uint16_t kHostMac = 0x0200;
inline constexpr std::uint16_t kHostHpfs = 0x0400;
inline constexpr std::uint16_t kHostByteArrayExt = 0x0600;   // index of an OLE object's pages
inline constexpr std::uint16_t kHostByteArrayPage = 0x0700;  // one page of an OLE object
inline constexpr std::uint16_t kHostCdStorage = 0x0800;  // CD records kept outside the note
inline constexpr std::uint16_t kCompressMask = 0x000F;
inline constexpr std::uint16_t kFileFlagSign = 0x0001;
inline constexpr std::uint16_t kFileFlagInDoc = 0x0002;
inline constexpr std::uint16_t kFileFlagMime = 0x0004;
inline constexpr std::uint16_t kFileEncodeMask = 0x0038;  // MIME transfer encoding
inline constexpr std::uint16_t kFileAttribReadOnly = 0x0001;
inline constexpr std::uint16_t kFileAttribPrivate = 0x0002;

// MIME_PART.cPartType and dwFlags.
inline constexpr std::uint8_t kMimePartProlog = 1;
inline constexpr std::uint8_t kMimePartBody = 2;
inline constexpr std::uint8_t kMimePartEpilog = 3;
inline constexpr std::uint8_t kMimePartRetrieveInfo = 4;
inline constexpr std::uint8_t kMimePartMessage = 5;
inline constexpr std::uint32_t kMimePartHasBoundary = 0x1;
inline constexpr std::uint32_t kMimePartHasHeaders = 0x2;
inline constexpr std::uint32_t kMimePartBodyInDbObject = 0x4;
inline constexpr std::uint32_t kMimePartSharedDbObject = 0x8;

// "TYPE_TEXT", ...; "TYPE_0x1234" for a code this reader does not name.
std::string typeName(std::uint16_t type);

// A pair of a range value.
template <typename T>
struct Bounds {
    T lower{};
    T upper{};
    bool operator==(const Bounds&) const = default;
};

struct NumberRange {
    std::vector<double> values;
    std::vector<Bounds<double>> pairs;
};

struct TimeRange {
    std::vector<TimeDate> values;
    std::vector<Bounds<TimeDate>> pairs;
};

struct UserId {
    std::string name;                      // UTF-8
    std::array<std::uint8_t, 8> license{};
};

struct Unid {
    std::array<std::uint8_t, 8> file{};  // database part, as stored
    TimeDate note;                       // creation time part
    bool operator==(const Unid&) const = default;
};

struct ObjectDescriptor {
    std::uint16_t objectType = 0;  // with its flag bits
    std::uint32_t rrv = 0;
    std::uint16_t kind() const noexcept { return objectType & static_cast<std::uint16_t>(~kObjectTypeFlags); }
};

// The rest of a FILEOBJECT, present when the descriptor's kind is kObjectFile.
struct FileObject {
    std::uint16_t hostType = 0;
    std::uint16_t compressionType = 0;  // raw; see compression()
    std::uint16_t attributes = 0;
    std::uint16_t flags = 0;
    std::uint32_t fileSize = 0;          // uncompressed size
    TimeDate created;
    TimeDate modified;
    std::vector<std::uint8_t> rawName;   // LMBCS, as stored
    std::string name;                    // UTF-8
    std::vector<std::uint8_t> trailing;  // bytes after the name (host extensions, a signature digest)

    // Empty for a compression code this reader does not know.
    std::optional<Compression> compression() const noexcept;
};

struct ObjectValue {
    ObjectDescriptor descriptor;
    std::optional<FileObject> file;
};

struct MimePart {
    std::uint16_t version = 0;
    std::uint32_t flags = 0;
    std::uint8_t partType = 0;
    std::vector<std::uint8_t> boundary;  // raw bytes of the part data, split by the stored lengths
    std::vector<std::uint8_t> headers;
    std::vector<std::uint8_t> body;      // the part body, or the name of the $FILE holding it
    bool bodyInObject() const noexcept { return (flags & kMimePartBodyInDbObject) != 0; }
};

struct CompositeValue {
    std::vector<std::uint8_t> records;  // CD records, left to the rich-text reader
};

struct RawValue {
    std::uint16_t type = 0;
    std::vector<std::uint8_t> bytes;
};

// Text and text lists are held as UTF-8 (line breaks as "\n").
using Value = std::variant<RawValue, std::string, std::vector<std::string>, double, NumberRange, TimeDate,
                           TimeRange, UserId, std::vector<Unid>, ObjectValue, CompositeValue, MimePart>;

Expected<std::string> decodeText(Bytes value);
Expected<std::vector<Bytes>> splitTextList(Bytes value);  // the LMBCS entries, as views into `value`
Expected<std::vector<std::string>> decodeTextList(Bytes value);
Expected<double> decodeNumber(Bytes value);
Expected<NumberRange> decodeNumberRange(Bytes value);
Expected<TimeDate> decodeTime(Bytes value);
Expected<TimeRange> decodeTimeRange(Bytes value);
Expected<UserId> decodeUserId(Bytes value);
Expected<std::vector<Unid>> decodeNoteRefList(Bytes value);
Expected<ObjectDescriptor> decodeObjectDescriptor(Bytes value);
Expected<ObjectValue> decodeObject(Bytes value);
Expected<MimePart> decodeMimePart(Bytes value);

// Dispatches on the type: the types above decode, any other type comes back as a RawValue.
Expected<Value> decodeValue(std::uint16_t type, Bytes value);

// One line for a dump tool, cut to at most `maxChars` bytes (an ellipsis marks the cut). A value that
// does not decode renders as "<bad value: ...>" rather than failing.
std::string renderValue(const Item& item, std::size_t maxChars = 200);

}  // namespace nsf
