#include "note_reader.h"

#include <cstring>

#include "notesapi/nsfnote.h"
#include "notesapi/status.h"
#include "notesapi/ods.h"
#include "notesapi/osmem.h"
#include "notesapi/osmisc.h"
#include "notesapi/ostranslate.h"

namespace nsfmail {
namespace {

constexpr std::size_t kMaxAttachmentBytes = 512u << 20;

std::string describe(const std::string& call, STATUS status) {
    char text[256] = {};
    const WORD length = OSLoadString(NULLHANDLE, ERR(status), text, sizeof text - 1);
    std::string message = call + " failed: status " + std::to_string(ERR(status));
    if (length > 0)
        message += std::string(" (") + lmbcsToUtf8(text, length) + ")";
    return message;
}

WORD readWord(const unsigned char* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

// The value block of an item: type word and value, locked while the callback runs.
template <typename F>
auto withValue(NOTEHANDLE note, const char* name, F&& f) -> decltype(f(WORD{}, nullptr, DWORD{})) {
    BLOCKID item{};
    BLOCKID value{};
    WORD type = 0;
    DWORD length = 0;
    if (NSFItemInfo(note, name, static_cast<WORD>(std::strlen(name)), &item, &type, &value, &length) != NOERROR ||
        length < 2)
        return f(WORD{0}, nullptr, DWORD{0});
    const auto* bytes = OSLockBlock(const unsigned char, value);
    auto result = f(type, bytes + 2, length - 2);
    OSUnlockBlock(value);
    return result;
}

}  // namespace

NotesError::NotesError(const std::string& call, STATUS status) : std::runtime_error(describe(call, status)) {}

std::string lmbcsToUtf8(const char* text, std::size_t length) {
    if (length == 0)
        return {};
    // An LMBCS character takes at least one byte and no UTF-8 character needs more than three per byte.
    std::string out(length * 3 + 4, '\0');
    const DWORD n = OSTranslate32(OS_TRANSLATE_LMBCS_TO_UTF8, text, static_cast<DWORD>(length), out.data(),
                                  static_cast<DWORD>(out.size()));
    out.resize(std::min<std::size_t>(n, out.size()));
    return out;
}

NoteReader::NoteReader(DBHANDLE db, NOTEID id) : id_(id) {
    if (const STATUS s = NSFNoteOpenExt(db, id, 0, &note_); s != NOERROR)
        throw NotesError("NSFNoteOpenExt", s);
    // A sealed note whose key is not at hand would give a message without its body: refused.
    if (const STATUS s = NSFNoteDecrypt(note_, 0, &key_); s != NOERROR && ERR(s) != ERR_NOTE_NOT_SEALED) {
        NSFNoteClose(note_);
        throw NotesError("NSFNoteDecrypt", s);
    }
}

NoteReader::~NoteReader() {
    if (note_ != NULLHANDLE)
        NSFNoteClose(note_);
}

WORD NoteReader::noteClass() const {
    WORD value = 0;
    NSFNoteGetInfo(note_, _NOTE_CLASS, &value);
    return value;
}

OID NoteReader::oid() const {
    OID value{};
    NSFNoteGetInfo(note_, _NOTE_OID, &value);
    return value;
}

bool NoteReader::has(const char* name) const { return type(name) != 0; }

WORD NoteReader::type(const char* name) const {
    WORD type = 0;
    if (NSFItemInfo(note_, name, static_cast<WORD>(std::strlen(name)), nullptr, &type, nullptr, nullptr) != NOERROR)
        return 0;
    return type;
}

std::vector<std::string> NoteReader::texts(const char* name) const {
    return withValue(note_, name, [](WORD type, const unsigned char* p, DWORD length) {
        std::vector<std::string> out;
        if (type == TYPE_TEXT) {
            out.push_back(lmbcsToUtf8(reinterpret_cast<const char*>(p), length));
        } else if (type == TYPE_TEXT_LIST && length >= 2) {
            const WORD count = readWord(p);
            std::size_t at = 2 + std::size_t{count} * 2;
            for (WORD i = 0; i < count && at <= length; ++i) {
                const std::size_t entry = readWord(p + 2 + i * 2);
                if (at + entry > length)
                    break;  // a damaged list gives the entries it holds
                out.push_back(lmbcsToUtf8(reinterpret_cast<const char*>(p + at), entry));
                at += entry;
            }
        }
        return out;
    });
}

std::string NoteReader::text(const char* name) const {
    auto entries = texts(name);
    return entries.empty() ? std::string() : std::move(entries.front());
}

std::optional<TIMEDATE> NoteReader::time(const char* name) const {
    return withValue(note_, name, [](WORD type, const unsigned char* p, DWORD length) -> std::optional<TIMEDATE> {
        if (type != TYPE_TIME || length < 8)
            return std::nullopt;
        TIMEDATE td{};
        td.Innards[0] = readWord(p) | (DWORD{readWord(p + 2)} << 16);
        td.Innards[1] = readWord(p + 4) | (DWORD{readWord(p + 6)} << 16);
        return td;
    });
}

std::vector<Attachment> NoteReader::attachments() const {
    std::vector<Attachment> out;
    BLOCKID item{};
    BLOCKID value{};
    WORD type = 0;
    DWORD length = 0;
    STATUS s = NSFItemInfo(note_, ITEM_NAME_ATTACHMENT, sizeof ITEM_NAME_ATTACHMENT - 1, &item, &type, &value, &length);
    while (s == NOERROR) {
        const WORD fixed = ODSLength(_FILEOBJECT);
        if (type == TYPE_OBJECT && length >= 2u + fixed) {
            const char* bytes = OSLockBlock(char, value);
            void* cursor = const_cast<char*>(bytes + 2);
            FILEOBJECT object{};
            ODSReadMemory(&cursor, _FILEOBJECT, &object, 1);
            if (object.Header.ObjectType == OBJECT_FILE && 2u + fixed + object.FileNameLength <= length)
                out.push_back({lmbcsToUtf8(bytes + 2 + fixed, object.FileNameLength), item, object.HostType,
                               object.Flags});
            OSUnlockBlock(value);
        }
        const BLOCKID previous = item;
        s = NSFItemInfoNext(note_, previous, ITEM_NAME_ATTACHMENT, sizeof ITEM_NAME_ATTACHMENT - 1, &item, &type,
                            &value, &length);
    }
    return out;
}

std::string NoteReader::extract(const Attachment& attachment) const {
    std::string bytes;
    const STATUS s = NSFNoteExtractWithCallback(
        note_, attachment.item, const_cast<ENCRYPTION_KEY*>(&key_), 0,
        [](const BYTE* data, DWORD length, void* param) -> STATUS {
            auto& out = *static_cast<std::string*>(param);
            if (out.size() + length > kMaxAttachmentBytes)
                return ERR_MISC_INVALID_ARGS;
            out.append(reinterpret_cast<const char*>(data), length);
            return NOERROR;
        },
        &bytes);
    if (s != NOERROR)
        throw NotesError("NSFNoteExtractWithCallback (" + attachment.name + ")", s);
    return bytes;
}

}  // namespace nsfmail
