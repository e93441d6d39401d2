// Message texts of the status codes this runtime returns or a caller can meet.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "status_text.h"
#include "api_guard.h"
#include "notesapi/osmisc.h"
#include "notesapi/status.h"

namespace notesrt {
namespace {

struct StatusText {
    STATUS code;
    std::string_view text;
};

constexpr StatusText kTexts[] = {
    {ERR_NOEXIST, "File does not exist"},
    {ERR_NO_NOTESINI, "The NOTES.INI file cannot be found on the search path (PATH)"},
    {ERR_NOT_NSF, "File is not a database"},
    {ERR_NSF_VERSION, "Database was created by a newer version and cannot be read by this one"},
    {ERR_DIRECTORY, "Operation not allowed on a directory"},
    {ERR_ITEM_NOT_FOUND, "Note item not found"},
    {ERR_NOTE_DELETED, "Document has been deleted"},
    {ERR_INVALID_NOTE, "Invalid or nonexistent document"},
    {ERR_ENCODING, "Attachment uses an unknown compression or encoding"},
    {ERR_NOACCESS, "You are not authorized to perform that operation"},
    {ERR_NOTE_BADATTSIGN, "Attachment has been modified since it was signed"},
    {ERR_NOTE_NOT_SEALED, "Document is not encrypted"},
    {ERR_NOEXTRACT_ENCRYPTED, "A decryption key is needed to extract this attachment"},
    {ERR_NOT_SEALED_FOR_YOU,
     "Document is encrypted and was not intended for you, or you do not have the decryption key"},
    {ERR_INVALID_ITEMUNK, "Invalid or unknown item"},
    {ERR_LOCALSEC_DBOPENFAILURE,
     "Database is locally encrypted and you are not authorized to access it"},
    {ERR_NOTE_NOT_FOLDER, "Folder operation attempted on a note that is not a folder"},
    {ERR_NOT_FOUND, "Entry not found in index"},
    {ERR_MISC_INVALID_ARGS, "Invalid arguments"},
    {ERR_DATATYPE, "Cannot convert field - unsupported datatype"},
    {ERR_ODS_ENUM_COMPLETE, "All records have been enumerated"},
    {ERR_BSAFE_UNSUPPORTED_CRYPTO_OP, "Unsupported cryptographic operation"},
    {ERR_BSAFE_TOOSMALL, "Buffer is too small"},
    {ERR_BSAFE_SUBPROCESS, "Operation not supported in a subprocess"},
    {ERR_BSAFE_USER_ABORT, "Password entry was cancelled"},
    {ERR_SECURE_NOKEYFILE, "Could not open the ID file"},
    {ERR_SECURE_BADPASSWORD, "Wrong Password. (Passwords are case sensitive - be sure to use correct upper and lower case.)"},
    {ERR_NSF_NOT_SUPPORTED, "Operation not supported on this platform"},
    {ERR_RUNTIME_BAD_HANDLE, "Invalid handle, or a handle of the wrong kind"},
    {ERR_RUNTIME_NOT_IMPLEMENTED, "Operation not implemented by this runtime"},
    {ERR_RUNTIME_NOT_INITIALIZED, "Runtime not initialized"},
    {ERR_RUNTIME_NO_MEMORY, "Insufficient memory"},
    {ERR_RUNTIME_CORRUPT, "Database structure is damaged"},
    {ERR_RUNTIME_IO, "Error reading or writing a file"},
    {ERR_RUNTIME_INJECTED, "Injected test fault"},
    {ERR_RUNTIME_INTERNAL, "Internal error in the runtime"},
    {ERR_RUNTIME_TOO_LARGE, "Value too large for this operation"},
};

}  // namespace

std::string_view statusText(STATUS code) noexcept {
    const STATUS key = ERR(code);
    const auto it = std::find_if(std::begin(kTexts), std::end(kTexts),
                                 [key](const StatusText& t) { return t.code == key; });
    return it == std::end(kTexts) ? std::string_view{} : it->text;
}

}  // namespace notesrt

extern "C" WORD OSLoadString(HMODULE /*hModule*/, STATUS StringCode, char* retBuffer, WORD BufferLength) {
    return notesrt::guardValue<WORD>("OSLoadString", 0, [&]() -> WORD {
        if (retBuffer == nullptr || BufferLength == 0)
            return 0;
        // The NUL is kept inside BufferLength bytes: callers pass either the buffer size or the
        // size minus one, and neither may be overrun.
        const std::string_view text = notesrt::statusText(StringCode);
        const std::size_t n = std::min<std::size_t>(text.size(), BufferLength - 1u);
        if (n > 0)
            std::memcpy(retBuffer, text.data(), n);
        retBuffer[n] = '\0';
        return static_cast<WORD>(n);
    });
}
