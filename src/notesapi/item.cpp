// Finding and reading the items of an open note.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "api_guard.h"
#include "note_access.h"
#include "notesapi/nsfnote.h"
#include "notesapi/status.h"
#include "nsf/lmbcs.h"

namespace notesrt {
namespace {

char lowerAscii(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) noexcept {
    return std::ranges::equal(a, b, [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

WORD readWord(const std::uint8_t* p) noexcept { return static_cast<WORD>(p[0] | (p[1] << 8)); }

}  // namespace

std::optional<std::size_t> findItem(const NoteObject& note, const char* name, WORD nameLength, std::size_t from) {
    const auto& items = note.items();
    if (name == nullptr)
        return from < items.size() ? std::optional<std::size_t>(from) : std::nullopt;
    // Names are LMBCS on the API side and UTF-8 in the engine; item names match without case.
    const std::string wanted = nsf::lmbcsToUtf8(
        nsf::Bytes(reinterpret_cast<const std::uint8_t*>(name), nameLength));
    for (std::size_t i = from; i < items.size(); ++i) {
        if (sameName(items[i].nameUtf8, wanted))
            return i;
    }
    return std::nullopt;
}

BLOCKID itemHeaderBlock(const NoteObject& note, std::size_t index) noexcept {
    return BLOCKID{note.handle(), static_cast<BLOCK>(index + 1)};
}

BLOCKID itemValueBlock(const NoteObject& note, std::size_t index) noexcept {
    return BLOCKID{note.items()[index].pool, 0};
}

std::optional<std::size_t> itemIndexOf(const NoteObject& note, BLOCKID header) noexcept {
    if (header.pool != note.handle() || header.block == 0 || header.block > note.items().size())
        return std::nullopt;
    return static_cast<std::size_t>(header.block - 1);
}

namespace {

STATUS reportItem(const NoteObject& note, std::optional<std::size_t> index, BLOCKID* retbhItem, WORD* retDataType,
                  BLOCKID* retbhValue, DWORD* retValueLength) {
    if (!index) {
        if (retDataType != nullptr)
            *retDataType = TYPE_INVALID_OR_UNKNOWN;
        if (retbhItem != nullptr)
            *retbhItem = BLOCKID{};
        if (retbhValue != nullptr)
            *retbhValue = BLOCKID{};
        if (retValueLength != nullptr)
            *retValueLength = 0;
        return ERR_ITEM_NOT_FOUND;
    }
    const NoteItem& item = note.items()[*index];
    if (retbhItem != nullptr)
        *retbhItem = itemHeaderBlock(note, *index);
    if (retDataType != nullptr)
        *retDataType = item.type;
    if (retbhValue != nullptr)
        *retbhValue = itemValueBlock(note, *index);
    if (retValueLength != nullptr)
        *retValueLength = item.valueLength();
    return NOERROR;
}

}  // namespace
}  // namespace notesrt

using namespace notesrt;

extern "C" {

STATUS NSFItemInfo(NOTEHANDLE hNote, const char* Name, WORD NameLength, BLOCKID* retbhItem, WORD* retDataType,
                   BLOCKID* retbhValue, DWORD* retValueLength) {
    return guardStatus("NSFItemInfo", [&]() -> STATUS {
        const auto note = findNote(hNote);
        if (!note)
            return ERR_RUNTIME_BAD_HANDLE;
        return reportItem(*note, findItem(*note, Name, NameLength, 0), retbhItem, retDataType, retbhValue,
                          retValueLength);
    });
}

STATUS NSFItemInfoNext(NOTEHANDLE hNote, BLOCKID NextItem, const char* Name, WORD NameLength, BLOCKID* retbhItem,
                       WORD* retDataType, BLOCKID* retbhValue, DWORD* retValueLength) {
    return guardStatus("NSFItemInfoNext", [&]() -> STATUS {
        const auto note = findNote(hNote);
        if (!note)
            return ERR_RUNTIME_BAD_HANDLE;
        const auto previous = itemIndexOf(*note, NextItem);
        if (!previous)
            return ERR_RUNTIME_BAD_HANDLE;
        return reportItem(*note, findItem(*note, Name, NameLength, *previous + 1), retbhItem, retDataType,
                          retbhValue, retValueLength);
    });
}

void NSFItemQuery(NOTEHANDLE hNote, BLOCKID bhItem, char* retItemName, WORD ItemNameBufferLength,
                  WORD* retItemNameLength, WORD* retItemFlags, WORD* retDataType, BLOCKID* retbhValue,
                  DWORD* retValueLength) {
    guardVoid("NSFItemQuery", [&] {
        const auto note = findNote(hNote);
        const auto index = note ? itemIndexOf(*note, bhItem) : std::nullopt;
        if (!index)
            return;
        const NoteItem& item = note->items()[*index];
        if (retItemName != nullptr && ItemNameBufferLength > 0) {
            const std::size_t n = std::min<std::size_t>(item.nameLmbcs.size(), ItemNameBufferLength - 1u);
            if (n > 0)
                std::memcpy(retItemName, item.nameLmbcs.data(), n);
            retItemName[n] = '\0';
        }
        if (retItemNameLength != nullptr)
            *retItemNameLength = static_cast<WORD>(std::min<std::size_t>(item.nameLmbcs.size(), MAXWORD));
        if (retItemFlags != nullptr)
            *retItemFlags = item.flags;
        reportItem(*note, index, nullptr, retDataType, retbhValue, retValueLength);
    });
}

STATUS NSFItemScan(NOTEHANDLE hNote, NSFITEMSCANPROC ActionRoutine, void* RoutineParameter) {
    return guardStatus("NSFItemScan", [&]() -> STATUS {
        if (ActionRoutine == nullptr)
            return ERR_MISC_INVALID_ARGS;
        const auto note = findNote(hNote);  // keeps the note alive even if the callback closes it
        if (!note)
            return ERR_RUNTIME_BAD_HANDLE;
        // A snapshot: a callback that converts or closes the note must not pull the list from
        // under the loop. The value blocks are shared, so they stay valid for the whole scan.
        const std::vector<NoteItem> items = note->items();
        for (const NoteItem& item : items) {
            std::vector<char> name(item.nameLmbcs.begin(), item.nameLmbcs.end());  // the callback gets a char*
            name.push_back('\0');
            const WORD nameLength = static_cast<WORD>(std::min<std::size_t>(item.nameLmbcs.size(), MAXWORD));
            if (const STATUS s = ActionRoutine(0, item.flags, name.data(), nameLength, item.block->data(),
                                               item.valueLength(), RoutineParameter);
                s != NOERROR)
                return s;
        }
        return NOERROR;
    });
}

WORD NSFItemGetText(NOTEHANDLE hNote, const char* ItemName, char* retBuffer, WORD BufferLength) {
    return guardValue<WORD>("NSFItemGetText", 0, [&]() -> WORD {
        if (retBuffer == nullptr || BufferLength == 0)
            return 0;
        retBuffer[0] = '\0';
        const auto note = findNote(hNote);
        if (!note || ItemName == nullptr)
            return 0;
        const auto index = findItem(*note, ItemName, static_cast<WORD>(std::strlen(ItemName)), 0);
        if (!index)
            return 0;
        const NoteItem& item = note->items()[*index];
        const std::uint8_t* value = item.block->data() + 2;
        std::size_t length = item.block->size() - 2;
        if (item.type == TYPE_TEXT_LIST) {
            // The first entry of the list.
            if (length < 4 || readWord(value) == 0)
                return 0;
            const std::size_t count = readWord(value);
            const std::size_t first = readWord(value + 2);
            const std::size_t start = 2 + 2 * count;
            if (start > length || first > length - start)
                return 0;
            value += start;
            length = first;
        } else if (item.type != TYPE_TEXT) {
            return 0;
        }
        // Truncated so that the text and a NUL fit in BufferLength bytes.
        const std::size_t n = std::min<std::size_t>(length, BufferLength - 1u);
        if (n > 0)
            std::memcpy(retBuffer, value, n);
        retBuffer[n] = '\0';
        return static_cast<WORD>(n);
    });
}

}  // extern "C"
