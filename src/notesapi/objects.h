// The objects behind the handles: open databases, open notes with their item blocks, ID tables
// and plain memory blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "handles.h"
#include "notesapi/global.h"
#include "nsf/database.h"

namespace notesrt {

class DatabaseObject final : public HandleObject {
public:
    static constexpr HandleKind kKind = HandleKind::Database;
    DatabaseObject(std::unique_ptr<nsf::Database> engine, std::string path)
        : HandleObject(kKind), engine_(std::move(engine)), path_(std::move(path)) {}

    // The engine is not safe for concurrent use: every call goes through this lock. Recursive,
    // because a caller's callback run under it (attachment streaming) may use the database again.
    template <typename F>
    auto withEngine(F&& f) {
        std::lock_guard lock(mutex_);
        return f(*engine_);
    }
    const std::string& path() const noexcept { return path_; }

private:
    std::recursive_mutex mutex_;
    std::unique_ptr<nsf::Database> engine_;
    std::string path_;
};

// Plain bytes handed to a caller (OSMemAlloc, OSMemoryAllocate, the value block of an item).
class MemoryObject final : public HandleObject {
public:
    static constexpr HandleKind kKind = HandleKind::Memory;
    explicit MemoryObject(std::vector<std::uint8_t> bytes) : HandleObject(kKind), bytes_(std::move(bytes)) {
        bytes_.reserve(1);  // even an empty block locks to a real pointer
    }

    void* lockMemory() noexcept override;
    std::size_t memorySize() const noexcept override { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() noexcept { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// The value block of one item: the host-order type word, then the value. Shared with the note so
// that the bytes outlive neither of them.
using ValueBlock = std::shared_ptr<std::vector<std::uint8_t>>;

class ItemPoolObject final : public HandleObject {
public:
    static constexpr HandleKind kKind = HandleKind::ItemPool;
    explicit ItemPoolObject(ValueBlock block) : HandleObject(kKind), block_(std::move(block)) {}

    void* lockMemory() noexcept override;
    std::size_t memorySize() const noexcept override { return block_->size(); }

private:
    ValueBlock block_;
};

struct NoteItem {
    std::string nameUtf8;
    std::vector<std::uint8_t> nameLmbcs;
    WORD flags = 0;       // ITEM_* flags
    WORD type = 0;        // TYPE_*
    ValueBlock block;     // type word + value
    DHANDLE pool = NULLHANDLE;
    DWORD valueLength() const noexcept { return static_cast<DWORD>(block->size()); }
};

class NoteObject final : public HandleObject {
public:
    static constexpr HandleKind kKind = HandleKind::Note;
    NoteObject(std::shared_ptr<DatabaseObject> db, DBHANDLE dbHandle, nsf::NoteHeader header, DWORD openFlags)
        : HandleObject(kKind), db_(std::move(db)), dbHandle_(dbHandle), header_(header), openFlags_(openFlags) {}
    ~NoteObject() override;  // releases the item pool handles

    // Item header BLOCKIDs point here: pool = the note handle, block = item index + 1.
    void* lockMemory() noexcept override { return itemHeaderArea_.data(); }
    std::size_t memorySize() const noexcept override { return itemHeaderArea_.size(); }

    // Adds an item and registers its value block under a new handle.
    bool addItem(NoteItem item);
    // Registers the item header area once every item is in place, and notes whether seal items are
    // among them (asked for every item by some callers: looking each time would be quadratic).
    void finishItems();
    // Whether the items include $Seal, $Seal2 or $SealData, as of the last finishItems().
    bool carriesSeal() const noexcept { return carriesSeal_; }
    // Replaces the items at `indices` (ascending) by `replacements`, placed where the first one was.
    // Handles of the removed value blocks die; item header BLOCKIDs handed out before are stale.
    bool replaceItems(const std::vector<std::size_t>& indices, std::vector<NoteItem> replacements);

    const std::vector<NoteItem>& items() const noexcept { return items_; }
    // The sealed items of a note sealed in the test format, kept out of the item list until
    // NSFNoteDecrypt opens them: like Notes, the runtime shows an encrypted field only once decrypted.
    std::vector<nsf::Item>& heldItems() noexcept { return held_; }
    bool decrypted() const noexcept { return decrypted_; }
    void setDecrypted() noexcept { decrypted_ = true; }
    const nsf::NoteHeader& header() const noexcept { return header_; }
    DBHANDLE dbHandle() const noexcept { return dbHandle_; }
    const std::shared_ptr<DatabaseObject>& database() const noexcept { return db_; }
    DWORD openFlags() const noexcept { return openFlags_; }
    void setHandle(NOTEHANDLE h) noexcept { self_ = h; }
    NOTEHANDLE handle() const noexcept { return self_; }

private:
    std::shared_ptr<DatabaseObject> db_;
    DBHANDLE dbHandle_;
    nsf::NoteHeader header_;
    DWORD openFlags_;
    NOTEHANDLE self_ = NULLHANDLE;
    std::vector<NoteItem> items_;
    std::vector<nsf::Item> held_;
    bool decrypted_ = false;
    bool carriesSeal_ = false;
    std::vector<std::uint8_t> itemHeaderArea_;
};

class IdTableObject final : public HandleObject {
public:
    static constexpr HandleKind kKind = HandleKind::IdTable;
    IdTableObject() : HandleObject(kKind) {}

    // Several threads may share a table.
    std::mutex mutex;
    std::set<DWORD> ids;
    WORD flags = 0;
};

}  // namespace notesrt
