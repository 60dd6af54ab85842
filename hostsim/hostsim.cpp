// The simulated host's memory and calls.
#include "hostsim.h"

#include "internal.h"

#include <stdlib.h>
#include <string.h>

#include <map>
#include <memory>

namespace {

struct Block {
    char *master; // first member: a HostHandle is the address of this field
    int32_t size;
    int32_t locks;
    bool fromPlugin;
};

struct State {
    HsEntryProc entry = nullptr;
    void *instance = nullptr;
    bool strict = false;
    int64_t failAt = 0;
    bool failOnward = false; // every fallible callback from failAt on fails
    int64_t fallible = 0;
    bool injected = false;
    int16_t lastError = 0;
    const char *uncheckedCall = nullptr; // fallible callback not yet followed by memError
    std::map<HostHandle, std::unique_ptr<Block>> blocks;
    HostHandle resultHandle = nullptr;
    bool resultTouched = false;
    bool resultFaulted = false;
};

State &S()
{
    static State state;
    return state;
}

// Every callback first settles the previous one's memory-error duty.
void Enter(const char *name)
{
    if (S().uncheckedCall != nullptr) {
        HsNoteViolation(std::string("memory error of ") + S().uncheckedCall + " not checked before " + name);
        S().uncheckedCall = nullptr;
    }
}

// Counts a fallible callback; true when this one must fail.
bool FailNow(const char *name)
{
    State &s = S();
    s.fallible++;
    s.uncheckedCall = name;
    if (s.failAt != 0 && (s.fallible == s.failAt || (s.failOnward && s.fallible > s.failAt))) {
        s.injected = true;
        s.lastError = kHsMemFullError;
        return true;
    }
    s.lastError = 0;
    return false;
}

Block *Find(HostHandle handle, const char *name)
{
    auto it = S().blocks.find(handle);
    if (it == S().blocks.end()) {
        HsNoteViolation(std::string(name) + " of an unknown handle");
        return nullptr;
    }
    return it->second.get();
}

char *NewMemory(int32_t size)
{
    // Never a null block, so that a moved handle always gets a new address.
    return static_cast<char *>(malloc(size > 0 ? static_cast<size_t>(size) : 1));
}

void Move(Block *block)
{
    char *fresh = NewMemory(block->size);
    memcpy(fresh, block->master, static_cast<size_t>(block->size));
    free(block->master);
    block->master = fresh;
}

HostHandle Allocate(int32_t size, bool fromPlugin)
{
    auto block = std::make_unique<Block>();
    block->master = NewMemory(size);
    memset(block->master, 0xA5, static_cast<size_t>(size > 0 ? size : 1));
    block->size = size;
    block->locks = 0;
    block->fromPlugin = fromPlugin;
    HostHandle handle = &block->master;
    S().blocks[handle] = std::move(block);
    return handle;
}

void Free(HostHandle handle)
{
    auto it = S().blocks.find(handle);
    free(it->second->master);
    S().blocks.erase(it);
}

void NoteResult(HostHandle handle, bool failed)
{
    if (handle == S().resultHandle) {
        S().resultTouched = true;
        S().resultFaulted = S().resultFaulted || failed;
    }
}

HostHandle HOST_CALL CbNewHandle(int32_t size)
{
    Enter("allocate");
    if (FailNow("allocate") || size < 0)
        return nullptr;
    return Allocate(size, true);
}

void HOST_CALL CbSetHandleSize(HostHandle handle, int32_t size)
{
    Enter("set size");
    bool fail = FailNow("set size");
    Block *block = Find(handle, "set size");
    if (block == nullptr) {
        S().lastError = kHsNilHandleError;
        return;
    }
    NoteResult(handle, fail);
    if (fail)
        return;
    if (size < 0 || block->locks > 0) {
        if (block->locks > 0)
            HsNoteViolation("set size of a locked handle");
        S().lastError = kHsMemFullError;
        return;
    }
    // A resize always moves the block, as a host short of space would.
    char *fresh = NewMemory(size);
    memset(fresh, 0xA5, static_cast<size_t>(size > 0 ? size : 1));
    memcpy(fresh, block->master, static_cast<size_t>(size < block->size ? size : block->size));
    free(block->master);
    block->master = fresh;
    block->size = size;
}

int32_t HOST_CALL CbGetHandleSize(HostHandle handle)
{
    Enter("get size");
    S().lastError = 0;
    Block *block = Find(handle, "get size");
    return block != nullptr ? block->size : 0;
}

void HOST_CALL CbDisposeHandle(HostHandle handle)
{
    Enter("dispose");
    S().lastError = 0;
    Block *block = Find(handle, "dispose");
    if (block == nullptr)
        return;
    if (!block->fromPlugin)
        HsNoteViolation("dispose of a handle the host owns");
    else
        Free(handle);
}

void HOST_CALL CbLockHandle(HostHandle handle)
{
    Enter("lock");
    bool fail = FailNow("lock");
    Block *block = Find(handle, "lock");
    if (block == nullptr) {
        S().lastError = kHsNilHandleError;
        return;
    }
    NoteResult(handle, fail);
    if (fail)
        return;
    if (block->locks == 0 && S().strict)
        Move(block);
    block->locks++;
}

void HOST_CALL CbUnlockHandle(HostHandle handle)
{
    Enter("unlock");
    S().lastError = 0;
    Block *block = Find(handle, "unlock");
    if (block == nullptr)
        return;
    if (block->locks == 0)
        HsNoteViolation("unlock of a handle that is not locked");
    else
        block->locks--;
}

int16_t HOST_CALL CbMemError(void)
{
    S().uncheckedCall = nullptr;
    return S().lastError;
}

void CheckAfterCall()
{
    State &s = S();
    if (s.uncheckedCall != nullptr) {
        HsNoteViolation(std::string("memory error of ") + s.uncheckedCall + " not checked before return");
        s.uncheckedCall = nullptr;
    }
    for (auto &entry : s.blocks) {
        if (entry.second->locks != 0) {
            HsNoteViolation("handle left locked after a call");
            entry.second->locks = 0;
        }
    }
}

void Call(HostCallRecord *record, const std::function<void(HostCallRecord *)> *body = nullptr)
{
    State &s = S();
    record->instance = s.instance;
    record->newHandle = CbNewHandle;
    record->setHandleSize = CbSetHandleSize;
    record->getHandleSize = CbGetHandleSize;
    record->disposeHandle = CbDisposeHandle;
    record->lockHandle = CbLockHandle;
    record->unlockHandle = CbUnlockHandle;
    record->memError = CbMemError;
    HsFillScriptCallbacks(record);
    HsEnterCall(record);
    if (body != nullptr)
        (*body)(record);
    else
        s.entry(record);
    // Nested calls are checked when the outermost one returns.
    if (HsLeaveCall())
        CheckAfterCall();
}

std::unique_ptr<HostCallRecord> NewRecord(uint8_t callKind)
{
    auto record = std::make_unique<HostCallRecord>();
    memset(record.get(), 0, sizeof *record);
    record->callKind = callKind;
    return record;
}

} // namespace

void HsReset(void)
{
    State &s = S();
    for (auto &entry : s.blocks)
        free(entry.second->master);
    s.blocks.clear();
    s.strict = false;
    s.failAt = 0;
    s.failOnward = false;
    s.fallible = 0;
    s.injected = false;
    s.lastError = 0;
    s.uncheckedCall = nullptr;
    HsTakeViolations();
    s.resultHandle = nullptr;
    HsResetScripts();
    HsResetTextLibrary();
}

void HsSetEntry(HsEntryProc entry, void *instance)
{
    S().entry = entry;
    S().instance = instance;
}

void HsSetStrict(bool strict)
{
    S().strict = strict;
}

void HsFailNthFallible(int64_t n)
{
    S().failAt = n;
    S().failOnward = false;
    S().fallible = 0;
    S().injected = false;
}

void HsFailFromNthFallible(int64_t n)
{
    S().failAt = n;
    S().failOnward = true;
    S().fallible = 0;
    S().injected = false;
}

int64_t HsFallibleCount(void)
{
    return S().fallible;
}

bool HsFaultInjected(void)
{
    return S().injected;
}

int32_t HsStartup(int16_t hostVersion)
{
    auto record = NewRecord(kCallStartup);
    record->hostVersion = hostVersion;
    record->out.answer = 0x5A5A5A5A;
    Call(record.get());
    return record->out.answer;
}

void HsIdle(uint8_t idleKind)
{
    HsRawCall(kCallIdle, idleKind);
}

HsCallResult HsCallFunction(uint32_t index, const std::string &parameter, const std::string &initialResult)
{
    State &s = S();
    auto record = NewRecord(kCallExternal);
    record->functionIndex = index;
    record->parameter = HsNewHostHandle(parameter);
    record->out.result = HsNewHostHandle(initialResult);
    HostHandle outer = s.resultHandle;
    bool outerTouched = s.resultTouched, outerFaulted = s.resultFaulted;
    HostHandle result = record->out.result;
    s.resultHandle = result;
    s.resultTouched = false;
    s.resultFaulted = false;
    Call(record.get());
    HsCallResult answer{HsHandleContent(result), s.resultTouched, s.resultFaulted};
    s.resultHandle = outer;
    s.resultTouched = outerTouched;
    s.resultFaulted = outerFaulted;
    HsDisposeHostHandle(record->parameter);
    HsDisposeHostHandle(result);
    return answer;
}

void HsShutdown(void)
{
    HsRawCall(kCallShutdown);
}

void HsRawCall(uint8_t callKind, uint8_t idleKind)
{
    auto record = NewRecord(callKind);
    record->idleKind = idleKind;
    Call(record.get());
}

void HsRunInside(const std::function<void(HostCallRecord *)> &body)
{
    auto record = NewRecord(200);
    Call(record.get(), &body);
}

int64_t HsLiveHandles(void)
{
    int64_t n = 0;
    for (auto &entry : S().blocks)
        n += entry.second->fromPlugin ? 1 : 0;
    return n;
}

int64_t HsLockedHandles(void)
{
    int64_t n = 0;
    for (auto &entry : S().blocks)
        n += entry.second->locks != 0 ? 1 : 0;
    return n;
}

HostHandle HsNewHostHandle(const std::string &content)
{
    HostHandle handle = Allocate(static_cast<int32_t>(content.size()), false);
    memcpy(*handle, content.data(), content.size());
    return handle;
}

std::string HsHandleContent(HostHandle handle)
{
    auto it = S().blocks.find(handle);
    if (it == S().blocks.end())
        return std::string();
    return std::string(it->second->master, static_cast<size_t>(it->second->size));
}

void HsDisposeHostHandle(HostHandle handle)
{
    if (S().blocks.count(handle) != 0)
        Free(handle);
}
