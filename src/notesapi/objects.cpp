#include "objects.h"

namespace notesrt {

void* MemoryObject::lockMemory() noexcept {
    noteLocked();
    return bytes_.data();
}

void* ItemPoolObject::lockMemory() noexcept {
    noteLocked();
    return block_->data();
}

bool NoteObject::addItem(NoteItem item) {
    item.pool = handles().add(std::make_shared<ItemPoolObject>(item.block));
    if (item.pool == NULLHANDLE)
        return false;
    items_.push_back(std::move(item));
    return true;
}

NoteObject::~NoteObject() {
    for (const NoteItem& item : items_)
        handles().remove(item.pool, HandleKind::ItemPool);
}

}  // namespace notesrt
