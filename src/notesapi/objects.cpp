#include "objects.h"

#include "note_access.h"
#include "notesapi/nsfdata.h"

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

void NoteObject::finishItems() {
    itemHeaderArea_.assign(items_.size() + 2, 0);
    carriesSeal_ = findItem(*this, ITEM_NAME_NOTE_SEAL, 5, 0) || findItem(*this, ITEM_NAME_NOTE_SEAL2, 6, 0) ||
                   findItem(*this, ITEM_NAME_NOTE_SEALDATA, 9, 0);
}

bool NoteObject::replaceItems(const std::vector<std::size_t>& indices, std::vector<NoteItem> replacements) {
    if (indices.empty())
        return false;
    for (NoteItem& item : replacements) {
        item.pool = handles().add(std::make_shared<ItemPoolObject>(item.block));
        if (item.pool == NULLHANDLE) {
            for (const NoteItem& added : replacements)
                handles().remove(added.pool, HandleKind::ItemPool);
            return false;
        }
    }
    const std::size_t at = indices.front();
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
        handles().remove(items_[*it].pool, HandleKind::ItemPool);
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(*it));
    }
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(replacements.begin()),
                  std::make_move_iterator(replacements.end()));
    finishItems();
    return true;
}

NoteObject::~NoteObject() {
    for (const NoteItem& item : items_)
        handles().remove(item.pool, HandleKind::ItemPool);
}

}  // namespace notesrt
