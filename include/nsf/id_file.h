// User ID files. Two kinds are read:
//
// - Test ID files, a small text format of this project for tests and demonstrations (described in
//   docs/runtime.md): a user name, an optional salted password check and named encryption keys.
//   The password check and the keys are NOT protected: anyone who can read the file can read the
//   keys. It exists so that sealed notes can be tested end to end, not to keep anything secret.
// - Notes ID files, recognised by their published layout (a 16-bit length at offset 0xD6 of a
//   16-100 byte block that fits the file). Their keys are encrypted with the owner's password in a
//   way this project does not implement: such an ID has a user name (when one can be found in the
//   clear) but no usable keys, and its password cannot be checked.
//
// The reader treats every byte as hostile: sizes, counts and characters are checked, and bad input
// gives an error naming the file, never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "nsf/error.h"

namespace nsf {

// A named (secret) encryption key of an ID, as used to seal notes.
struct EncryptionKey {
    std::string name;                 // UTF-8; compared without regard to ASCII case
    std::vector<std::uint8_t> bytes;  // 1 to kMaxKeyBytes bytes
};

inline constexpr std::string_view kTestIdMagic = "nsfrex-id 1";
inline constexpr std::size_t kMaxIdFileSize = 1 << 20;  // larger files are not ID files
inline constexpr std::size_t kMaxTestIdFileSize = 64 * 1024;
inline constexpr std::size_t kMaxUserNameBytes = 255;
inline constexpr std::size_t kMaxKeyNameBytes = 64;
inline constexpr std::size_t kMaxKeyBytes = 64;
inline constexpr std::size_t kMaxIdKeys = 64;

struct IdFile {
    enum class Kind { Test, Notes };
    Kind kind = Kind::Test;
    std::string userName;  // empty for a Notes ID whose name is not found in the clear
    std::vector<EncryptionKey> keys;
    std::vector<std::uint8_t> passwordSalt;  // empty: the ID has no password
    std::uint64_t passwordCheck = 0;

    // Test IDs: whether `password` opens the ID (null counts as empty; an ID without a password
    // takes any). Notes IDs: always true, since their check cannot be made here.
    bool acceptsPassword(const char* password) const;
    // The key of that name, or nullptr.
    const EncryptionKey* findKey(std::string_view name) const noexcept;
};

// Key names compare without regard to ASCII case.
bool keyNamesEqual(std::string_view a, std::string_view b) noexcept;

// The password check of a test ID: salted, iterated FNV-1a (see docs/runtime.md).
std::uint64_t testIdPasswordCheck(std::span<const std::uint8_t> salt, std::string_view password);

// Reads the image of an ID file. `fileName` is used in error messages only.
Expected<IdFile> readIdFile(std::span<const std::uint8_t> bytes, std::string_view fileName);

// The text of a test ID file. No password (nullopt) makes an ID that opens with any. The salt is
// derived from the user name unless given (8 to 32 bytes). Throws std::invalid_argument for a name,
// key or salt the format cannot hold: that is a bug of the caller.
std::string writeTestIdFile(std::string_view userName, std::optional<std::string_view> password,
                            std::span<const EncryptionKey> keys, std::span<const std::uint8_t> salt = {});

}  // namespace nsf
