// Unit lcInfo: its start and end, the thread, the folders and the object manager. The
// unit's other sections each have a source of their own (lcInfo*.cpp), under lcInfo.h.
#include "lcInfo.h"

#include "classlib/Platform.h"
#include "classlib/PlatformText.h"
#include "lectern/lc/lcSyncObjs.h"
#include "lectern/lc/memObjList.h"

// ============================================================================================
// Unit start and end
// ============================================================================================

namespace {

// Block size of the registry's node pool.
constexpr int kRegistryBlockSize = 128;
// Block size of a manager's two link maps.
constexpr int kLinkMapBlockSize = 128;

struct TLcInfoGlobals {
    std::string FExeFileName;
    TLcCritSec FRegistryLock;
    tObjList FRegistry{kRegistryBlockSize};  // thread number -> TLcObjectManager
};

std::unique_ptr<TLcInfoGlobals> gLcInfo;

}  // namespace

void InitializeLcInfo()
{
    if (!gLcInfo) {
        gLcInfo = std::make_unique<TLcInfoGlobals>();
        gLcInfo->FExeFileName = plat::ExpandUncFileName(plat::ExePath());
    }
}

void FinalizeLcInfo()
{
    gLcInfo.reset();
}

const std::string& LcExeFileName()
{
    static const std::string kNone;
    return gLcInfo ? gLcInfo->FExeFileName : kNone;
}

// ============================================================================================
// Thread, folders and the object manager
// ============================================================================================

uint32_t MyThreadId()
{
    return plat::CurrentThreadId();
}

std::string TempFolder()
{
    return plat::TempDir();
}

std::string NewTempFileName()
{
    return plat::CreateTempFile(plat::TempDir(), "LCT");
}

TLcObjectManager::TLcObjectManager()
    : FIDLinks(std::make_unique<tObjList>(kLinkMapBlockSize)),
      FObjectLinks(std::make_unique<tObjList>(kLinkMapBlockSize))
{
}

TLcObjectManager::~TLcObjectManager() = default;

std::uintptr_t TLcObjectManager::ObjectKey(const TObject* object)
{
    return reinterpret_cast<std::uintptr_t>(object);
}

TObject* TLcObjectManager::FindObject(int64_t id) const
{
    if (id == 0) {
        return nullptr;
    }
    const auto* link = static_cast<const TLcObjectLink*>(FIDLinks->Find(IdKey(id)));
    const std::string prefix = "TLcObjectManager.FindObject: Object with xOID=" + LargeIntToText(id);
    // The map is keyed by the low 32 bits: an entry of another id is no entry of this one.
    if (!link || link->FID != id) {
        throw ELcObjectLinks(prefix + " does NOT exist");
    }
    if (!link->FOwner) {
        throw ELcObjectLinks(prefix + " is corrupt (no Owner set)");
    }
    return link->FOwner;
}

int64_t TLcObjectManager::FindOID(const TObject* object) const
{
    if (!object) {
        return 0;
    }
    const auto* link = static_cast<const TLcObjectLink*>(FObjectLinks->Find(ObjectKey(object)));
    if (!link) {
        throw ELcObjectLinks("TLcObjectManager.FindOID: Object not found");
    }
    if (link->FID == 0) {
        throw ELcObjectLinks("TLcObjectManager.FindOID: Found Object has invalid ID");
    }
    return link->FID;
}

TLcObjectManager* GetObjectManager()
{
    TLcObjectManager* manager = nullptr;
    if (gLcInfo) {
        gLcInfo->FRegistryLock.Acquire();
        manager = static_cast<TLcObjectManager*>(gLcInfo->FRegistry.Find(MyThreadId()));
        gLcInfo->FRegistryLock.Release();
    }
    if (!manager) {
        throw ELcObjectLinks("No active LC Object Manager.");
    }
    return manager;
}
