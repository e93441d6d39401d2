#include "handles.h"

namespace notesrt {

void HandleObject::noteLocked() noexcept {
    std::lock_guard lock(lockMutex_);
    ++lockCount_;
}

bool HandleObject::unlockMemory() noexcept {
    std::lock_guard lock(lockMutex_);
    if (lockCount_ == 0)
        return false;
    --lockCount_;
    return true;
}

DHANDLE HandleTable::add(std::shared_ptr<HandleObject> object) {
    if (!object)
        return NULLHANDLE;
    std::lock_guard lock(mutex_);
    std::size_t index;
    if (!freeSlots_.empty()) {
        index = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        if (slots_.size() >= kMaxSlots)
            return NULLHANDLE;
        slots_.emplace_back();
        index = slots_.size() - 1;
    }
    Slot& slot = slots_[index];
    slot.object = std::move(object);
    ++live_;
    // Generation in the top 12 bits; the slot number is 1-based so no handle is 0.
    return (DHANDLE{slot.generation} << kSlotBits) | static_cast<DHANDLE>(index + 1);
}

const HandleTable::Slot* HandleTable::slotOf(DHANDLE handle) const {
    const std::size_t number = handle & kSlotMask;
    if (number == 0 || number > slots_.size())
        return nullptr;
    const Slot& slot = slots_[number - 1];
    if (!slot.object || slot.generation != (handle >> kSlotBits))
        return nullptr;
    return &slot;
}

std::shared_ptr<HandleObject> HandleTable::find(DHANDLE handle) const {
    std::lock_guard lock(mutex_);
    const Slot* slot = slotOf(handle);
    return slot ? slot->object : nullptr;
}

std::shared_ptr<HandleObject> HandleTable::find(DHANDLE handle, HandleKind kind) const {
    auto object = find(handle);
    return object && object->kind() == kind ? object : nullptr;
}

std::shared_ptr<HandleObject> HandleTable::remove(DHANDLE handle, HandleKind kind) {
    std::lock_guard lock(mutex_);
    const Slot* found = slotOf(handle);
    if (found == nullptr || found->object->kind() != kind)
        return nullptr;
    const std::size_t index = (handle & kSlotMask) - 1;
    Slot& slot = slots_[index];
    auto object = std::move(slot.object);
    slot.object.reset();
    // 12 generation bits; skip 0 so that a handle never repeats right after a wrap.
    slot.generation = static_cast<std::uint16_t>(slot.generation % 0xFFF + 1);
    freeSlots_.push_back(index);
    --live_;
    return object;
}

void HandleTable::clear() {
    std::vector<std::shared_ptr<HandleObject>> dropped;  // destroyed outside the lock
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].object) {
            dropped.push_back(std::move(slots_[i].object));
            slots_[i].object.reset();
            slots_[i].generation = static_cast<std::uint16_t>(slots_[i].generation % 0xFFF + 1);
            freeSlots_.push_back(i);
        }
    }
    live_ = 0;
}

std::size_t HandleTable::liveCount() const {
    std::lock_guard lock(mutex_);
    return live_;
}

HandleTable& handles() {
    static HandleTable table;
    return table;
}

}  // namespace notesrt
