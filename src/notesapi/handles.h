// Opaque handles. Every object the C API hands out lives in one process-wide table; a handle is
// a slot number plus a generation, so a closed (stale) handle, a made-up number or a handle of
// another kind is recognised and refused at every entry point instead of being dereferenced.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "notesapi/global.h"

namespace notesrt {

enum class HandleKind : std::uint8_t {
    Database = 1,
    Note,
    IdTable,
    Memory,       // OSMemAlloc / OSMemoryAllocate blocks and memory handed to callers
    ItemPool,     // the value block of one item of an open note
    DxlExporter,
    MimeStream,   // a note's MIME items serialised for MIMEStreamRead
};

class HandleObject {
public:
    explicit HandleObject(HandleKind kind) noexcept : kind_(kind) {}
    virtual ~HandleObject() = default;
    HandleObject(const HandleObject&) = delete;
    HandleObject& operator=(const HandleObject&) = delete;

    HandleKind kind() const noexcept { return kind_; }

    // OSLockObject / OSMemoryLock: the object's memory, or nullptr when it has none.
    virtual void* lockMemory() noexcept { return nullptr; }
    virtual std::size_t memorySize() const noexcept { return 0; }
    // Balanced with lockMemory; false when the object was not locked.
    bool unlockMemory() noexcept;
    void noteLocked() noexcept;

private:
    HandleKind kind_;
    std::mutex lockMutex_;
    std::uint32_t lockCount_ = 0;
};

class HandleTable {
public:
    // Registers an object; returns its handle, or 0 when the table is full.
    DHANDLE add(std::shared_ptr<HandleObject> object);

    // The object behind a handle when it is live and of the expected kind, else nullptr.
    std::shared_ptr<HandleObject> find(DHANDLE handle, HandleKind kind) const;
    std::shared_ptr<HandleObject> find(DHANDLE handle) const;

    template <typename T>
    std::shared_ptr<T> get(DHANDLE handle) const {
        return std::static_pointer_cast<T>(find(handle, T::kKind));
    }

    // Removes a handle of the expected kind; returns the object (nullptr when the handle is not
    // live or of another kind). The object lives on while other holders keep it.
    std::shared_ptr<HandleObject> remove(DHANDLE handle, HandleKind kind);

    // Drops every handle (runtime shut-down).
    void clear();
    std::size_t liveCount() const;

private:
    struct Slot {
        std::shared_ptr<HandleObject> object;
        std::uint16_t generation = 1;
    };
    static constexpr unsigned kSlotBits = 20;
    static constexpr DHANDLE kSlotMask = (DHANDLE{1} << kSlotBits) - 1;
    static constexpr std::size_t kMaxSlots = kSlotMask;  // slot numbers 1..kSlotMask

    const Slot* slotOf(DHANDLE handle) const;

    mutable std::mutex mutex_;
    std::vector<Slot> slots_;
    std::vector<std::size_t> freeSlots_;
    std::size_t live_ = 0;
};

HandleTable& handles();

}  // namespace notesrt
