#include "lectern/lc/lcDataSrv.h"

#include "lectern/lc/lcLog.h"
#include "lectern/lc/lcSyncObjs.h"
#include "lectern/lc/memStrObjList.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kSessionListBlockSize = 128;
constexpr double kSecondsPerDay = 86400.0;

template <class... Args>
void FireEvent(const TEvent<Args...>& event, std::type_identity_t<Args>... args)
{
    if (event) {
        event(args...);
    }
}

using TLinkTrigger = void (TLcAbsDataServerLink::*)(TLcDataServer*);

// Calls trigger on every component of list, in list order.
void TriggerEach(const TLcServerComponentList* list, TLinkTrigger trigger, TLcDataServer* Sender)
{
    if (list == nullptr) {
        return;
    }
    for (int i = 0; i < list->Count(); ++i) {
        (list->Get(i)->*trigger)(Sender);
    }
}

// Fires a link's own event, then the same trigger of the link it hangs on.
void Climb(const TLcNotifyEvent& event, TLcDataServerLink* up, TLinkTrigger trigger, TLcDataServer* Sender)
{
    FireEvent(event, Sender);
    if (up != nullptr) {
        (up->*trigger)(Sender);
    }
}

TLcDataSrvClock gClock = nullptr;

TDateTime ClockNow() { return gClock != nullptr ? gClock() : Now(); }

}  // namespace

// ---- the session store ---------------------------------------------------------------------

// The unit's sessions: released ones by expiry and by identifier, locked ones by identifier.
class TLcDataSrvSessions {
public:
    TLcDataSrvSessions()
        : FByExpiry(kSessionListBlockSize), FUnlocked(kSessionListBlockSize), FLocked(kSessionListBlockSize)
    {
    }

    void Lock(TLcServerSession* session, TLcDataServer* server)
    {
        TLockGuard guard(FLock);
        if (!session->FLocked) {
            if (!session->FExpiryKey.empty()) {
                TakeUnlocked(session);
            }
            FLocked.Insert(session->FID, session);
            ++FLockedCount;
            session->FLocked = true;
        }
        session->FServer = server;
    }

    void Release(TLcServerSession* session)
    {
        const TDateTime now = ClockNow();
        session->FLastUse = now;
        session->FExpires = now + session->KeepAlive / kSecondsPerDay;
        if (session->FinalExpires != 0 && session->FinalExpires < session->FExpires) {
            session->FExpires = session->FinalExpires;
        }
        std::vector<TLcServerSession*> closing;
        {
            TLockGuard guard(FLock);
            for (;;) {
                std::string key;
                TObject* value = nullptr;
                FByExpiry.FindMin(key, value);
                auto* oldest = static_cast<TLcServerSession*>(value);
                if (oldest == nullptr || oldest->FExpires > now) {
                    break;
                }
                TakeUnlocked(oldest);
                closing.push_back(oldest);
            }
            if (session->FLocked) {
                FLocked.Remove(session->FID);
                --FLockedCount;
                session->FLocked = false;
            }
            if (session->FExpires <= now) {
                closing.push_back(session);
            } else {
                session->FExpiryKey = DataSrvExpiryKey(session->FExpires, session->FID);
                FByExpiry.Insert(session->FExpiryKey, session);
                FUnlocked.Insert(session->FID, session);
                ++FUnlockedCount;
            }
        }
        // Announced outside the store's lock: a handler may release another session.
        for (TLcServerSession* s : closing) {
            Close(s);
        }
    }

    // Sessions of a server that goes are closed later without being announced to it.
    void Forget(TLcDataServer* server)
    {
        TLockGuard guard(FLock);
        for (TLcServerSession* s : FKnown) {
            if (s->FServer == server) {
                s->FServer = nullptr;
            }
        }
    }

    void Counts(int& unlocked, int& locked)
    {
        TLockGuard guard(FLock);
        unlocked = FUnlockedCount;
        locked = FLockedCount;
    }

    // Frees every session left.
    void Done()
    {
        TLockGuard guard(FLock);
        for (TLcServerSession* s : FKnown) {
            delete s;
        }
        FKnown.clear();
        FByExpiry.Clear();
        FUnlocked.Clear();
        FLocked.Clear();
        FUnlockedCount = 0;
        FLockedCount = 0;
    }

    void Note(TLcServerSession* session)
    {
        TLockGuard guard(FLock);
        if (std::find(FKnown.begin(), FKnown.end(), session) == FKnown.end()) {
            FKnown.push_back(session);
        }
    }

private:
    void TakeUnlocked(TLcServerSession* session)
    {
        FByExpiry.Remove(session->FExpiryKey);
        FUnlocked.Remove(session->FID);
        --FUnlockedCount;
        session->FExpiryKey.clear();
    }

    void Close(TLcServerSession* session)
    {
        TLcDataServer* server = nullptr;
        {
            TLockGuard guard(FLock);
            server = session->FServer;
            FKnown.erase(std::remove(FKnown.begin(), FKnown.end(), session), FKnown.end());
        }
        try {
            if (server != nullptr) {
                server->TriggerSessionClose(session);
            }
        } catch (const Exception& e) {
            LogException("TLcDataServer.TriggerSessionClose", e, "ERROR");
        }
        delete session;
    }


    TLcCritSec FLock;
    tStrObjList FByExpiry;
    tStrObjList FUnlocked;
    tStrObjList FLocked;
    int FUnlockedCount = 0;
    int FLockedCount = 0;
    std::vector<TLcServerSession*> FKnown;  // every session in the store
};

namespace {

std::unique_ptr<TLcDataSrvSessions> gSessions;
int gInitCount = 0;

TLcDataSrvSessions& Sessions()
{
    if (!gSessions) {
        throw Exception("lcDataSrv is not initialised");
    }
    return *gSessions;
}

}  // namespace

void InitializeLcDataSrv()
{
    if (gInitCount++ == 0) {
        gSessions = std::make_unique<TLcDataSrvSessions>();
    }
}

void FinalizeLcDataSrv()
{
    if (gInitCount == 0 || --gInitCount > 0) {
        return;
    }
    gSessions->Done();
    gSessions.reset();
}

void SetDataSrvClock(TLcDataSrvClock clock) { gClock = clock; }

void DataSrvSessionCounts(int& unlocked, int& locked)
{
    unlocked = 0;
    locked = 0;
    if (gSessions) {
        gSessions->Counts(unlocked, locked);
    }
}

std::string DataSrvExpiryKey(TDateTime expires, const std::string& id)
{
    uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    DecodeDate(expires, year, month, day);
    DecodeTime(expires, hour, minute, second, ms);
    char digits[64];
    std::snprintf(digits, sizeof digits, "%04u%02u%02u%02u%02u%02u%03u", unsigned{year}, unsigned{month},
                  unsigned{day}, unsigned{hour}, unsigned{minute}, unsigned{second}, unsigned{ms});
    return std::string(digits) + id;
}

// ---- the component list ----------------------------------------------------------------------

void TLcServerComponentList::Add(TLcAbsDataServerLink* Item)
{
    Remove(Item);
    const auto at = std::find_if(FItems.begin(), FItems.end(), [Item](const TLcAbsDataServerLink* entry) {
        return entry->CheckOrder() >= Item->CheckOrder();
    });
    FItems.insert(at, Item);
}

void TLcServerComponentList::Remove(TLcAbsDataServerLink* Item)
{
    FItems.erase(std::remove(FItems.begin(), FItems.end(), Item), FItems.end());
}

TLcAbsDataServerLink* TLcServerComponentList::Get(int Index) const
{
    if (Index < 0 || Index >= Count()) {
        return nullptr;
    }
    return FItems[static_cast<size_t>(Index)];
}

// ---- the linkable component ------------------------------------------------------------------

TLcAbsDataServerLink::TLcAbsDataServerLink(TComponent* owner) : TLcServerComponent(owner) {}

TLcAbsDataServerLink::~TLcAbsDataServerLink() { Detach(); }

void TLcAbsDataServerLink::Detach()
{
    if (FServer != nullptr) {
        FServer->OwnLinks()->Remove(this);
        RemoveFreeNotification(FServer);
        FServer = nullptr;
    }
    if (FLink != nullptr) {
        FLink->FLinks->Remove(this);
        RemoveFreeNotification(FLink);
        FLink = nullptr;
    }
}

void TLcAbsDataServerLink::Forget()
{
    if (FServer != nullptr) {
        RemoveFreeNotification(FServer);
    }
    if (FLink != nullptr) {
        RemoveFreeNotification(FLink);
    }
    FServer = nullptr;
    FLink = nullptr;
}

void TLcAbsDataServerLink::SetServer(TLcDataServer* value)
{
    if (value == FServer && FLink == nullptr) {
        return;
    }
    Detach();
    if (value == nullptr) {
        return;
    }
    FServer = value;
    FreeNotification(value);
    value->OwnLinks()->Add(this);
}

void TLcAbsDataServerLink::SetLink(TLcDataServerLink* value)
{
    if (value == FLink && FServer == nullptr) {
        return;
    }
    Detach();
    if (value == nullptr) {
        return;
    }
    if (value == this) {
        throw Exception("Circular DataServerLink reference!");
    }
    if (auto* self = dynamic_cast<TLcDataServerLink*>(this); self != nullptr && self->IsLinked(value)) {
        throw Exception("Circular DataServerLink reference!");
    }
    FLink = value;
    FreeNotification(value);
    value->FLinks->Add(this);
}

void TLcAbsDataServerLink::SetCheckOrder(int32_t value)
{
    FCheckOrder = value;
    if (FServer != nullptr) {
        FServer->OwnLinks()->Add(this);
    } else if (FLink != nullptr) {
        FLink->FLinks->Add(this);
    }
}

void TLcAbsDataServerLink::AddAutomatedLinkedObject(TObject*)
{
    throw Exception("This component does NOT have automated \"Linked Objects\" support.");
}

void TLcAbsDataServerLink::RemoveAutomatedLinkedObject(TObject*)
{
    throw Exception("This component does NOT have automated \"Linked Objects\" support.");
}

void TLcAbsDataServerLink::Notification(TComponent* component, TOperation operation)
{
    TLcServerComponent::Notification(component, operation);
    if (operation != TOperation::opRemove) {
        return;
    }
    // The server or link is being destroyed: its list goes with it, so it is not touched.
    if (component == FServer) {
        FServer = nullptr;
    }
    if (component == FLink) {
        FLink = nullptr;
    }
}

// ---- the link ----------------------------------------------------------------------------------

TLcDataServerLink::TLcDataServerLink(TComponent* owner)
    : TLcAbsDataServerLink(owner), FLinks(std::make_unique<TLcDataServerLinkList>())
{
}

TLcDataServerLink::~TLcDataServerLink()
{
    while (TLcAbsDataServerLink* item = FLinks->Get(0)) {
        FLinks->Remove(item);
        item->Forget();
    }
}

bool TLcDataServerLink::IsLinked(const TLcAbsDataServerLink* item) const
{
    for (int i = 0; i < FLinks->Count(); ++i) {
        TLcAbsDataServerLink* entry = FLinks->Get(i);
        if (entry == item) {
            return true;
        }
        if (auto* link = dynamic_cast<TLcDataServerLink*>(entry); link != nullptr && link->IsLinked(item)) {
            return true;
        }
    }
    return false;
}

void TLcDataServerLink::TriggerSessionOpen(TLcDataServer* Sender)
{
    FireEvent(OnSessionOpen, Sender);
    TriggerEach(FLinks.get(), &TLcAbsDataServerLink::TriggerSessionOpen, Sender);
}

void TLcDataServerLink::TriggerSessionClose(TLcDataServer* Sender)
{
    TriggerEach(FLinks.get(), &TLcAbsDataServerLink::TriggerSessionClose, Sender);
    FireEvent(OnSessionClose, Sender);
}

void TLcDataServerLink::TriggerListenStart(TLcDataServer* Sender)
{
    FireEvent(OnListenStart, Sender);
    TriggerEach(FLinks.get(), &TLcAbsDataServerLink::TriggerListenStart, Sender);
}

void TLcDataServerLink::TriggerListenStop(TLcDataServer* Sender)
{
    TriggerEach(FLinks.get(), &TLcAbsDataServerLink::TriggerListenStop, Sender);
    FireEvent(OnListenStop, Sender);
}

void TLcDataServerLink::TriggerCheckRequest(TLcDataServer* Sender) { Sender->AskComponents(FLinks.get()); }

void TLcDataServerLink::TriggerRequestAccepted(TLcDataServer* Sender)
{
    Climb(OnRequestAccepted, Link(), &TLcAbsDataServerLink::TriggerRequestAccepted, Sender);
}

void TLcDataServerLink::TriggerResponseDone(TLcDataServer* Sender)
{
    Climb(OnResponseDone, Link(), &TLcAbsDataServerLink::TriggerResponseDone, Sender);
}

void TLcDataServerLink::TriggerDisconnect(TLcDataServer* Sender)
{
    Climb(OnDisconnect, Link(), &TLcAbsDataServerLink::TriggerDisconnect, Sender);
}

// ---- the provider ------------------------------------------------------------------------------

void TLcDataProvider::TriggerSessionOpen(TLcDataServer* Sender) { FireEvent(OnSessionOpen, Sender); }
void TLcDataProvider::TriggerSessionClose(TLcDataServer* Sender) { FireEvent(OnSessionClose, Sender); }
void TLcDataProvider::TriggerListenStart(TLcDataServer* Sender) { FireEvent(OnListenStart, Sender); }
void TLcDataProvider::TriggerListenStop(TLcDataServer* Sender) { FireEvent(OnListenStop, Sender); }

void TLcDataProvider::TriggerCheckRequest(TLcDataServer* Sender)
{
    if (OnCheckRequest) {
        Sender->FActiveProvider = this;
        OnCheckRequest(Sender);
    }
}

void TLcDataProvider::TriggerRequestAccepted(TLcDataServer* Sender)
{
    Climb(TLcNotifyEvent(), Link(), &TLcAbsDataServerLink::TriggerRequestAccepted, Sender);
}

void TLcDataProvider::TriggerResponseDone(TLcDataServer* Sender)
{
    Climb(TLcNotifyEvent(), Link(), &TLcAbsDataServerLink::TriggerResponseDone, Sender);
}

void TLcDataProvider::TriggerDataReceived(TLcDataServer* Sender) { FireEvent(OnDataReceived, Sender); }
void TLcDataProvider::TriggerDataOut(TLcDataServer* Sender) { FireEvent(OnDataOut, Sender); }
void TLcDataProvider::TriggerDataIn(TLcDataServer* Sender) { FireEvent(OnDataIn, Sender); }
void TLcDataProvider::TriggerDataSent(TLcDataServer* Sender) { FireEvent(OnDataSent, Sender); }
void TLcDataProvider::TriggerReadyToSend(TLcDataServer* Sender) { FireEvent(OnReadyToSend, Sender); }

void TLcDataProvider::TriggerDisconnect(TLcDataServer* Sender)
{
    Climb(OnDisconnect, Link(), &TLcAbsDataServerLink::TriggerDisconnect, Sender);
}

// ---- the data server ---------------------------------------------------------------------------

TLcDataServer::TLcDataServer(TComponent* owner)
    : TLcServer(owner),
      FFixupRequest(std::make_unique<TLcServerRequestFixup>()),
      FOwnRequest(std::make_unique<TLcServerRequest>()),
      FOwnResponse(std::make_unique<TLcServerResponse>()),
      FRequest(FOwnRequest.get()),
      FResponse(FOwnResponse.get())
{
}

TLcDataServer::~TLcDataServer()
{
    Shutdown();
    if (FOwnsLinks) {
        while (TLcAbsDataServerLink* item = FLinks->Get(0)) {
            FLinks->Remove(item);
            item->Forget();
        }
    }
    FLinks.reset();
    if (gSessions) {
        gSessions->Forget(this);
    }
}

void TLcDataServer::SetFixupRequest(const TLcServerRequestFixup* value)
{
    if (value != nullptr) {
        FFixupRequest->Assign(value);
    }
}

void TLcDataServer::SetRequest(TLcServerRequest* value) { FRequest = value != nullptr ? value : FOwnRequest.get(); }

void TLcDataServer::SetResponse(TLcServerResponse* value)
{
    FResponse = value != nullptr ? value : FOwnResponse.get();
}

TLcServerComponentList* TLcDataServer::OwnLinks()
{
    if (!FOwnsLinks) {
        FLinks = std::make_shared<TLcServerComponentList>();
        FOwnsLinks = true;
    }
    return FLinks.get();
}

void TLcDataServer::SetSession(TLcServerSession* session)
{
    if (session == FSession) {
        return;
    }
    ReleaseSession();
    if (session != nullptr) {
        Sessions().Note(session);
        Sessions().Lock(session, this);
    }
    FSession = session;
}

void TLcDataServer::ReleaseSession()
{
    TLcServerSession* session = FSession;
    if (session == nullptr) {
        return;
    }
    FSession = nullptr;
    Sessions().Release(session);
}

void TLcDataServer::ClearActive()
{
    FActiveProvider = nullptr;
    ReleaseSession();
}

void TLcDataServer::AcceptRequest()
{
    if (FRequest->Accepted()) {
        return;
    }
    FRequest->SetAccepted(true);
    TriggerRequestAccepted();
    Flush();
}

void TLcDataServer::TriggerRequestAccepted()
{
    if (FActiveProvider != nullptr) {
        FActiveProvider->TriggerRequestAccepted(this);
    }
    FireEvent(OnRequestAccepted, this);
}

void TLcDataServer::TriggerRequestNotAccepted()
{
    if (OnRequestNotAccepted) {
        OnRequestNotAccepted(this);
    } else {
        Disconnect();
    }
}

void TLcDataServer::TriggerResponseDone()
{
    if (FActiveProvider != nullptr) {
        FActiveProvider->TriggerResponseDone(this);
    }
    FireEvent(OnResponseDone, this);
}

bool TLcDataServer::StopAsking() const { return FRequest->Accepted() || !FRequest->Active(); }

void TLcDataServer::AskComponents(const TLcServerComponentList* list)
{
    if (list == nullptr) {
        return;
    }
    for (int i = 0; i < list->Count() && !StopAsking(); ++i) {
        list->Get(i)->TriggerCheckRequest(this);
    }
}

void TLcDataServer::TriggerDataReceived()
{
    if (FRequest->Accepted()) {
        if (FActiveProvider != nullptr) {
            FActiveProvider->TriggerDataReceived(this);
        } else {
            TriggerRequestNotAccepted();
        }
        Flush();
        return;
    }
    ClearActive();
    AskComponents(FLinks.get());
    if (!FRequest->Active()) {
        return;
    }
    if (FRequest->Accepted()) {
        if (FResponse->AllContentOut()) {
            return;
        }
        if (FActiveProvider != nullptr) {
            FActiveProvider->TriggerDataReceived(this);
        }
        Flush();
        return;
    }
    ClearActive();
    TriggerRequestNotAccepted();
    Flush();
}

void TLcDataServer::TriggerDataOut()
{
    if (FActiveProvider != nullptr) {
        FActiveProvider->TriggerDataOut(this);
    }
    TLcServer::TriggerDataOut();
    Flush();
}

void TLcDataServer::TriggerDataIn()
{
    if (FActiveProvider != nullptr) {
        FActiveProvider->TriggerDataIn(this);
    }
    TLcServer::TriggerDataIn();
}

void TLcDataServer::TriggerDataSent()
{
    if (FActiveProvider != nullptr) {
        FActiveProvider->TriggerDataSent(this);
    } else {
        TLcServer::TriggerDataSent();
    }
    Flush();
    if (FResponse->AllDataSent()) {
        TriggerResponseDone();
        FRequest->SetAccepted(false);
        FRequest->SetActive(false);
        ClearActive();
    }
}

void TLcDataServer::TriggerReadyToSend()
{
    if (FActiveProvider != nullptr) {
        FActiveProvider->TriggerReadyToSend(this);
    } else {
        TLcServer::TriggerReadyToSend();
    }
    Flush();
}

void TLcDataServer::TriggerDisconnect()
{
    if (FRequest->Accepted() && FActiveProvider != nullptr) {
        FActiveProvider->TriggerDisconnect(this);
    }
    TLcServer::TriggerDisconnect();
    ClearActive();
}

void TLcDataServer::TriggerLastWrite() { ReleaseSession(); }

void TLcDataServer::TriggerListenStart()
{
    TLcServer::TriggerListenStart();
    ClearActive();
    TriggerEach(FLinks.get(), &TLcAbsDataServerLink::TriggerListenStart, this);
}

void TLcDataServer::TriggerListenStop()
{
    TriggerEach(FLinks.get(), &TLcAbsDataServerLink::TriggerListenStop, this);
    TLcServer::TriggerListenStop();
}

void TLcDataServer::TriggerSessionClose(TLcServerSession* session)
{
    TLcServerSession* previous = FSession;
    FSession = session;
    bool freed = false;
    try {
        freed = InEvent([this] {
            TriggerEach(FLinks.get(), &TLcAbsDataServerLink::TriggerSessionClose, this);
            FireEvent(OnSessionClose, this);
        });
    } catch (...) {
        FSession = previous;
        throw;
    }
    if (!freed) {
        FSession = previous;
    }
}

void TLcDataServer::CopyFrom(TLcServer* source)
{
    TLcServer::CopyFrom(source);
    auto* from = dynamic_cast<TLcDataServer*>(source);
    if (from == nullptr) {
        return;
    }
    FFixupRequest->Assign(from->FFixupRequest.get());
    OnRequestAccepted = from->OnRequestAccepted;
    OnRequestNotAccepted = from->OnRequestNotAccepted;
    OnResponseDone = from->OnResponseDone;
    OnSessionOpen = from->OnSessionOpen;
    OnSessionClose = from->OnSessionClose;
    FLinks = from->FLinks;
}
