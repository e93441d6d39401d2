// Reading user ID files (test IDs and recognised Notes IDs) and writing test IDs.
#include "nsf/id_file.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "nsf/byte_reader.h"
#include "test_cipher.h"

namespace nsf {
namespace {

// The published layout of a Notes ID: a 16-bit length at 0xD6 of the password-check block that
// follows it, between 16 and 100 bytes.
constexpr std::uint64_t kNotesBlockLengthOffset = 0xD6;
constexpr std::uint64_t kNotesBlockOffset = 0xD8;
constexpr std::uint16_t kNotesBlockMin = 0x10;
constexpr std::uint16_t kNotesBlockMax = 0x64;

constexpr int kPasswordRounds = 1000;
constexpr std::size_t kMinSalt = 8;
constexpr std::size_t kMaxSalt = 32;

// Names and user names: no control characters (bytes 0x00-0x1F and 0x7F).
bool plainText(std::string_view s) noexcept {
    return std::ranges::none_of(s, [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
}

int hexDigit(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::vector<std::uint8_t>> fromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hexDigit(hex[i]);
        const int lo = hexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return out;
}

std::string toHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

std::string hex64(std::uint64_t v) { return toHex(test_cipher::le64(v)); }

// Splits off the first space-separated word.
std::pair<std::string_view, std::string_view> firstWord(std::string_view line) {
    const auto space = line.find(' ');
    if (space == std::string_view::npos) return {line, {}};
    return {line.substr(0, space), line.substr(space + 1)};
}

Expected<IdFile> readTestId(std::string_view text, std::string_view fileName) {
    auto bad = [&](std::size_t lineNumber, std::string_view problem) {
        return fail(ErrorKind::Corrupt, "ID file",
                    std::string(fileName) + ": line " + std::to_string(lineNumber) + ": " + std::string(problem));
    };
    if (text.size() > kMaxTestIdFileSize) return fail(ErrorKind::Corrupt, "ID file", std::string(fileName) + ": too large");

    IdFile id;
    id.kind = IdFile::Kind::Test;
    bool haveUser = false;
    bool havePassword = false;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!plainText(line)) return bad(lineNumber, "control character");
        if (lineNumber == 1) {
            if (line != kTestIdMagic) return bad(lineNumber, "not a test ID file");
            continue;
        }
        if (line.empty() || line.front() == '#') continue;

        const auto [keyword, rest] = firstWord(line);
        if (keyword == "user") {
            if (haveUser) return bad(lineNumber, "second user line");
            if (rest.empty() || rest.size() > kMaxUserNameBytes) return bad(lineNumber, "user name empty or too long");
            id.userName = std::string(rest);
            haveUser = true;
        } else if (keyword == "password") {
            if (havePassword) return bad(lineNumber, "second password line");
            const auto [saltHex, checkHex] = firstWord(rest);
            auto salt = fromHex(saltHex);
            auto check = fromHex(checkHex);
            if (!salt || salt->size() < kMinSalt || salt->size() > kMaxSalt || !check || check->size() != 8)
                return bad(lineNumber, "password line needs a salt of 8 to 32 bytes and an 8-byte check, in hex");
            id.passwordSalt = std::move(*salt);
            for (std::size_t i = 0; i < 8; ++i) id.passwordCheck |= std::uint64_t{(*check)[i]} << (8 * i);
            havePassword = true;
        } else if (keyword == "key") {
            const auto [keyHex, name] = firstWord(rest);
            auto bytes = fromHex(keyHex);
            if (!bytes || bytes->empty() || bytes->size() > kMaxKeyBytes)
                return bad(lineNumber, "key needs 1 to 64 bytes in hex");
            if (name.empty() || name.size() > kMaxKeyNameBytes) return bad(lineNumber, "key name empty or too long");
            if (id.findKey(name) != nullptr) return bad(lineNumber, "second key of the same name");
            if (id.keys.size() == kMaxIdKeys) return bad(lineNumber, "too many keys");
            id.keys.push_back(EncryptionKey{std::string(name), std::move(*bytes)});
        } else {
            return bad(lineNumber, "unknown line");
        }
    }
    if (!haveUser) return fail(ErrorKind::Corrupt, "ID file", std::string(fileName) + ": no user line");
    return id;
}

// The user name of a Notes ID, when its canonical form ("CN=...") is stored in the clear: the run of
// printable ASCII from the first "CN=".
std::string notesUserName(std::string_view image) {
    const auto at = image.find("CN=");
    if (at == std::string_view::npos) return {};
    std::size_t end = at;
    while (end < image.size() && end - at < kMaxUserNameBytes && image[end] >= 0x20 && image[end] < 0x7F) ++end;
    return end - at > 3 ? std::string(image.substr(at, end - at)) : std::string();
}

Expected<IdFile> readNotesId(std::span<const std::uint8_t> bytes, std::string_view fileName) {
    ByteReader reader(bytes, "ID file");
    const auto length = reader.peekAt<std::uint16_t>(kNotesBlockLengthOffset);
    if (!length || *length < kNotesBlockMin || *length > kNotesBlockMax ||
        kNotesBlockOffset + *length > bytes.size())
        return fail(ErrorKind::BadSignature, "ID file", std::string(fileName) + ": not an ID file");
    IdFile id;
    id.kind = IdFile::Kind::Notes;
    id.userName = notesUserName({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    return id;
}

}  // namespace

bool keyNamesEqual(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool IdFile::acceptsPassword(const char* password) const {
    if (kind == Kind::Notes || passwordSalt.empty()) return true;
    return testIdPasswordCheck(passwordSalt, password != nullptr ? password : "") == passwordCheck;
}

const EncryptionKey* IdFile::findKey(std::string_view name) const noexcept {
    for (const EncryptionKey& key : keys)
        if (keyNamesEqual(key.name, name)) return &key;
    return nullptr;
}

std::uint64_t testIdPasswordCheck(std::span<const std::uint8_t> salt, std::string_view password) {
    const auto pw = test_cipher::bytesOf(password);
    std::uint64_t h = test_cipher::hashParts({test_cipher::bytesOf("password"), salt, pw});
    for (int round = 0; round < kPasswordRounds; ++round) {
        const auto previous = test_cipher::le64(h);
        h = test_cipher::hashParts({previous, salt, pw});
    }
    return h;
}

Expected<IdFile> readIdFile(std::span<const std::uint8_t> bytes, std::string_view fileName) {
    if (bytes.size() > kMaxIdFileSize) return fail(ErrorKind::Corrupt, "ID file", std::string(fileName) + ": too large");
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.starts_with(kTestIdMagic)) return readTestId(text, fileName);
    return readNotesId(bytes, fileName);
}

std::string writeTestIdFile(std::string_view userName, std::optional<std::string_view> password,
                            std::span<const EncryptionKey> keys, std::span<const std::uint8_t> salt) {
    auto invalid = [](const std::string& what) { throw std::invalid_argument("test ID file: " + what); };
    if (userName.empty() || userName.size() > kMaxUserNameBytes || !plainText(userName)) invalid("bad user name");
    if (keys.size() > kMaxIdKeys) invalid("too many keys");
    std::string out(kTestIdMagic);
    out += "\nuser ";
    out += userName;
    out += '\n';
    if (password) {
        std::vector<std::uint8_t> derived;
        if (salt.empty()) {
            const auto h = test_cipher::le64(test_cipher::hashParts({test_cipher::bytesOf("salt"), test_cipher::bytesOf(userName)}));
            derived.assign(h.begin(), h.end());
            salt = derived;
        }
        if (salt.size() < kMinSalt || salt.size() > kMaxSalt) invalid("salt must have 8 to 32 bytes");
        out += "password " + toHex(salt) + ' ' + hex64(testIdPasswordCheck(salt, *password)) + '\n';
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const EncryptionKey& key = keys[i];
        if (key.name.empty() || key.name.size() > kMaxKeyNameBytes || !plainText(key.name)) invalid("bad key name");
        if (key.bytes.empty() || key.bytes.size() > kMaxKeyBytes) invalid("key " + key.name + " needs 1 to 64 bytes");
        for (std::size_t j = 0; j < i; ++j)
            if (keyNamesEqual(keys[j].name, key.name)) invalid("two keys named " + key.name);
        out += "key " + toHex(key.bytes) + ' ' + key.name + '\n';
    }
    return out;
}

}  // namespace nsf
