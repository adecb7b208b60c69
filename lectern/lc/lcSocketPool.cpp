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

class TLock {
public:
    TLock() : FLock(RegistryLock()) { FLock.Enter(); }
    ~TLock() { FLock.Leave(); }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

private:
    TLcCritSec& FLock;
};

std::uintptr_t KeyOf(TLcAsyncSelectTarget* socket) { return reinterpret_cast<std::uintptr_t>(socket); }

}  // namespace

void SocketRegistryAdd(TLcAsyncSelectTarget* socket, TSocket handle)
{
    TLock lock;
    if (gTree == nullptr) {
        throw Exception("Socket registry not initialised.");
    }
    gTree->Insert(KeyOf(socket), handle);
    ++gCount;
}

bool SocketRegistryRemove(TLcAsyncSelectTarget* socket)
{
    TLock lock;
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
    TLock lock;
    if (gTree == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<TLcAsyncSelectTarget*>(gTree->FindByValue(handle));
}

int SocketRegistryCount()
{
    TLock lock;
    return gCount;
}

void InitializeLcSocketPool()
{
    TLock lock;
    if (gTree == nullptr) {
        gTree = std::make_unique<tBinTree>(kRegistryNodePool);
        gCount = 0;
    }
}

void FinalizeLcSocketPool()
{
    TLock lock;
    gTree.reset();
    gCount = 0;
}
