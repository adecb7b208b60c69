#include "lcSocketPool.h"

#include "lectern/lc/lcSyncObjs.h"
#include "lectern/lc/memBinTree.h"

#include <memory>

namespace {

constexpr int kRegistryNodePool = 256;

// The lock outlives the registry: a message thread that dispatches while the units end
// takes it, finds no tree and stops. It is made once and never freed for that reason.
TLcCritSec& RegistryLock()
{
    static TLcCritSec* lock = new TLcCritSec;
    return *lock;
}

std::unique_ptr<tBinTree> gTree;
int gCount = 0;

std::uintptr_t KeyOf(TLcAsyncSelectTarget* socket) { return reinterpret_cast<std::uintptr_t>(socket); }

}  // namespace

void SocketRegistryAdd(TLcAsyncSelectTarget* socket, TSocket handle)
{
    TLockGuard lock(RegistryLock());
    if (gTree == nullptr) {
        throw Exception("Socket registry not initialised.");
    }
    gTree->Insert(KeyOf(socket), handle);
    ++gCount;
}

bool SocketRegistryRemove(TLcAsyncSelectTarget* socket)
{
    TLockGuard lock(RegistryLock());
    if (gTree == nullptr || gTree->Find(KeyOf(socket)) == 0) {
        return false;
    }
    gTree->Remove(KeyOf(socket));
    --gCount;
    return true;
}

bool SocketRegistryLock()
{
    RegistryLock().Enter();
    if (gTree == nullptr) {
        RegistryLock().Leave();
        return false;
    }
    return true;
}

void SocketRegistryUnlock() { RegistryLock().Leave(); }

TLcAsyncSelectTarget* SocketRegistryFind(TSocket handle)
{
    TLockGuard lock(RegistryLock());
    if (gTree == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<TLcAsyncSelectTarget*>(gTree->FindByValue(handle));
}

int SocketRegistryCount()
{
    TLockGuard lock(RegistryLock());
    return gCount;
}

void InitializeLcSocketPool()
{
    TLockGuard lock(RegistryLock());
    if (gTree == nullptr) {
        gTree = std::make_unique<tBinTree>(kRegistryNodePool);
        gCount = 0;
    }
}

void FinalizeLcSocketPool()
{
    TLockGuard lock(RegistryLock());
    gTree.reset();
    gCount = 0;
}
