// Locking and freeing memory behind handles.
#include "api_guard.h"
#include "handles.h"
#include "notesapi/osmem.h"
#include "notesapi/status.h"
#include "objects.h"

using namespace notesrt;

namespace {

// Any lockable object: pools of notes and items, memory blocks.
void* lockAny(DHANDLE h) {
    const auto object = handles().find(h);
    return object ? object->lockMemory() : nullptr;
}

BOOL unlockAny(DHANDLE h) {
    const auto object = handles().find(h);
    return object && object->unlockMemory() ? TRUE : FALSE;
}

STATUS allocate(DWORD size, DHANDLE* ret) {
    if (ret == nullptr)
        return ERR_MISC_INVALID_ARGS;
    *ret = NULLHANDLE;
    *ret = handles().add(std::make_shared<MemoryObject>(std::vector<std::uint8_t>(size)));
    return *ret == NULLHANDLE ? ERR_RUNTIME_NO_MEMORY : NOERROR;
}

}  // namespace

extern "C" {

void* OSLockObject(DHANDLE Handle) {
    return guardValue<void*>("OSLockObject", nullptr, [&] { return lockAny(Handle); });
}

BOOL OSUnlockObject(DHANDLE Handle) {
    return guardValue<BOOL>("OSUnlockObject", FALSE, [&] { return unlockAny(Handle); });
}

STATUS OSMemAlloc(WORD /*BlkType*/, DWORD dwSize, DHANDLE* retHandle) {
    return guardStatus("OSMemAlloc", [&] { return allocate(dwSize, retHandle); });
}

STATUS OSMemFree(DHANDLE Handle) {
    return guardStatus("OSMemFree", [&]() -> STATUS {
        return handles().remove(Handle, HandleKind::Memory) ? NOERROR : ERR_RUNTIME_BAD_HANDLE;
    });
}

STATUS OSMemoryAllocate(DWORD /*dwtype*/, DWORD size, MEMHANDLE* retHandle) {
    return guardStatus("OSMemoryAllocate", [&] { return allocate(size, retHandle); });
}

void* OSMemoryLock(MEMHANDLE Handle) {
    return guardValue<void*>("OSMemoryLock", nullptr, [&]() -> void* {
        const auto object = handles().get<MemoryObject>(Handle);
        return object ? object->lockMemory() : nullptr;
    });
}

BOOL OSMemoryUnlock(MEMHANDLE Handle) {
    return guardValue<BOOL>("OSMemoryUnlock", FALSE, [&]() -> BOOL {
        const auto object = handles().get<MemoryObject>(Handle);
        return object && object->unlockMemory() ? TRUE : FALSE;
    });
}

void OSMemoryFree(MEMHANDLE Handle) {
    guardVoid("OSMemoryFree", [&] { handles().remove(Handle, HandleKind::Memory); });
}

DWORD OSMemoryGetSize(MEMHANDLE Handle) {
    return guardValue<DWORD>("OSMemoryGetSize", 0, [&]() -> DWORD {
        const auto object = handles().get<MemoryObject>(Handle);
        return object ? static_cast<DWORD>(object->memorySize()) : 0;
    });
}

}  // extern "C"
