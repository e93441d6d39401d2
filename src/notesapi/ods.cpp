// Canonical (packed little-endian) structures to host form, and walking composite values.
#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

#include "api_guard.h"
#include "handles.h"
#include "notesapi/nsfdata.h"
#include "notesapi/ods.h"
#include "notesapi/status.h"

namespace notesrt {
namespace {

// A structure as a string of field codes: B byte, W word, D dword, N double, T TIMEDATE. The host
// form places each field at its natural alignment; nested structures flatten to the same layout
// because none of them has a stricter alignment than its first field's neighbours.
struct OdsLayout {
    WORD type;
    std::string_view fields;
};

constexpr OdsLayout kLayouts[] = {
    {_WORD, "W"},
    {_DWORD, "D"},
    {_NUMBER, "N"},
    {_TIMEDATE, "T"},
    {_TIMEDATE_PAIR, "TT"},
    {_LIST, "W"},
    {_RANGE, "WW"},
    {_DBID, "T"},
    {_ITEM, "WW"},
    {_ITEM_TABLE, "WW"},
    {_SEARCH_MATCH, "TTDTTDTWBBW"},
    {_ORIGINATORID, "TTDT"},
    {_OBJECT_DESCRIPTOR, "WD"},
    {_UNIVERSALNOTEID, "TT"},
    {_NOTELINK, "TTTTT"},
    {_FILEOBJECT, "WDWWWWWDTT"},
    {_MIME_PART, "WDBBWWWWD"},
    {_RFC822ITEMDESC, "WDWWWW"},
    {_COLOR_VALUE, "WBBBB"},
};

const OdsLayout* layoutOf(WORD type) noexcept {
    const auto it = std::ranges::find(kLayouts, type, &OdsLayout::type);
    return it == std::end(kLayouts) ? nullptr : &*it;
}

std::size_t fieldSize(char f) noexcept {
    switch (f) {
    case 'B': return 1;
    case 'W': return 2;
    case 'D': return 4;
    default: return 8;  // N, T
    }
}

std::size_t fieldAlign(char f) noexcept { return f == 'T' ? 4 : fieldSize(f); }

std::size_t alignUp(std::size_t v, std::size_t a) noexcept { return (v + a - 1) / a * a; }

}  // namespace

std::size_t odsSize(WORD type) noexcept {
    const OdsLayout* layout = layoutOf(type);
    if (layout == nullptr)
        return 0;
    std::size_t size = 0;
    for (const char f : layout->fields)
        size += fieldSize(f);
    return size;
}

std::size_t hostSize(WORD type) noexcept {
    const OdsLayout* layout = layoutOf(type);
    if (layout == nullptr)
        return 0;
    std::size_t offset = 0, maxAlign = 1;
    for (const char f : layout->fields) {
        offset = alignUp(offset, fieldAlign(f)) + fieldSize(f);
        maxAlign = std::max(maxAlign, fieldAlign(f));
    }
    return alignUp(offset, maxAlign);
}

namespace {

// One structure: the canonical bytes at src to the host structure at dest. The host is
// little-endian like the canonical form, so each field is a plain copy to its aligned place.
void readOne(const OdsLayout& layout, const unsigned char* src, unsigned char* dest) {
    std::size_t in = 0, out = 0;
    for (const char f : layout.fields) {
        out = alignUp(out, fieldAlign(f));
        std::memcpy(dest + out, src + in, fieldSize(f));
        in += fieldSize(f);
        out += fieldSize(f);
    }
}

}  // namespace
}  // namespace notesrt

using namespace notesrt;

extern "C" {

WORD ODSLength(WORD type) {
    return guardValue<WORD>("ODSLength", 0, [&] { return static_cast<WORD>(odsSize(type)); });
}

void ODSReadMemory(void* ppSrc, WORD type, void* pDest, WORD iterations) {
    guardVoid("ODSReadMemory", [&] {
        const OdsLayout* layout = layoutOf(type);
        if (layout == nullptr || ppSrc == nullptr || pDest == nullptr)
            return;
        const unsigned char* src;
        std::memcpy(&src, ppSrc, sizeof src);
        if (src == nullptr)
            return;
        const std::size_t packed = odsSize(type);
        const std::size_t host = hostSize(type);
        auto* dest = static_cast<unsigned char*>(pDest);
        for (WORD i = 0; i < iterations; ++i) {
            std::memset(dest, 0, host);  // padding comes out zero
            readOne(*layout, src, dest);
            src += packed;
            dest += host;
        }
        std::memcpy(ppSrc, &src, sizeof src);
    });
}

STATUS EnumCompositeBuffer(BLOCKID ItemValue, DWORD ItemValueLength, ActionRoutinePtr ActionRoutine, void* vContext) {
    return guardStatus("EnumCompositeBuffer", [&]() -> STATUS {
        if (ActionRoutine == nullptr)
            return ERR_MISC_INVALID_ARGS;
        const auto pool = handles().find(ItemValue.pool);
        if (!pool)
            return ERR_RUNTIME_BAD_HANDLE;
        auto* base = static_cast<unsigned char*>(pool->lockMemory());
        if (base == nullptr)
            return ERR_RUNTIME_BAD_HANDLE;
        struct Unlock {
            HandleObject& object;
            ~Unlock() { object.unlockMemory(); }
        } unlock{*pool};
        // Never beyond the block, whatever length the caller claims.
        const std::size_t available =
            pool->memorySize() > ItemValue.block ? pool->memorySize() - ItemValue.block : 0;
        const std::span<unsigned char> value(base + ItemValue.block, std::min<std::size_t>(ItemValueLength, available));
        auto word = [&](std::size_t at) { return static_cast<WORD>(value[at] | (value[at + 1] << 8)); };

        if (value.size() < 2 || word(0) != TYPE_COMPOSITE)
            return ERR_DATATYPE;
        std::size_t pos = 2;
        while (value.size() - pos >= 2) {
            const WORD sig = word(pos);
            const unsigned high = sig >> 8;
            std::size_t header, length;
            WORD recordType;
            if (high == 0x00) {  // long header: 32-bit length
                header = 6;
                if (value.size() - pos < header)
                    return ERR_RUNTIME_CORRUPT;
                length = static_cast<std::size_t>(word(pos + 2)) | (static_cast<std::size_t>(word(pos + 4)) << 16);
                recordType = sig;
            } else if (high == 0xFF) {  // word header: 16-bit length
                header = 4;
                if (value.size() - pos < header)
                    return ERR_RUNTIME_CORRUPT;
                length = word(pos + 2);
                recordType = sig;
            } else {  // byte header: the high byte is the length
                header = 2;
                length = high;
                recordType = sig & 0xFF;
            }
            if (length < header || length > value.size() - pos)
                return ERR_RUNTIME_CORRUPT;
            if (const STATUS s = ActionRoutine(reinterpret_cast<char*>(value.data() + pos), recordType,
                                               static_cast<DWORD>(length), vContext);
                s != NOERROR)
                return s;
            pos += length + (length & 1);  // records start on even offsets
            if (pos > value.size())
                break;
        }
        return NOERROR;
    });
}

}  // extern "C"
