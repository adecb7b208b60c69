// Unit lcDataSrv: a server connection that routes each request to the component that answers it.
//
// TLcDataServer owns the current request and response of its connection and offers every new
// request, when its first data arrive, to its linked components in ascending CheckOrder. A
// TLcDataProvider answers requests through its events: OnCheckRequest looks at the request and
// calls AcceptRequest to take it, OnDataReceived produces the answer. A TLcDataServerLink
// groups providers and further links under one server; events that concern the accepted
// request climb from the provider up the chain of links.
//
// Components are attached to a server or to a link (never to both) and are told through free
// notification when that server or link goes. The list of components belongs to the listener;
// every client connection copied from it shares it. The lists are changed only while the server
// is being set up; every trigger of one client connection runs on that connection's thread.
//
// Sessions. A session handed to a connection (SetSession) is locked to it until the request
// is over; it is then released: it gets a new expiry time and waits among the unlocked
// sessions, ordered by expiry, until it expires and is announced (session close) and freed.
// Creating and finding sessions is left to the application.
//
// Start and end are explicit: InitializeLcDataSrv / FinalizeLcDataSrv (reference-counted).
#pragma once

#include "classlib/DateUtils.h"
#include "lectern/lc/lcConn.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TLcAbsDataServerLink;
class TLcDataServerLink;
class TLcDataServer;

// A session: a record of an application's state kept between requests.
class TLcServerSession : public TObject {
public:
    explicit TLcServerSession(const std::string& id) : FID(id) {}

    const std::string& ID() const { return FID; }
    // Seconds a released session lives on (60 by default).
    int32_t KeepAlive = 60;
    // When set (non-zero), a session never lives beyond this time.
    TDateTime FinalExpires = 0;
    TDateTime LastUse() const { return FLastUse; }
    TDateTime Expires() const { return FExpires; }

    CL_CLASS_NAME(TLcServerSession)

private:
    friend class TLcDataSrvSessions;

    std::string FID;
    TDateTime FLastUse = 0;
    TDateTime FExpires = 0;
    std::string FExpiryKey;
    bool FLocked = false;
    TLcDataServer* FServer = nullptr;  // told when the session closes
};

// Base of the components that can be linked to a data server.
class TLcServerComponent : public TLcComponent {
public:
    using TLcComponent::TLcComponent;
    CL_CLASS_NAME(TLcServerComponent)
};

// Components kept sorted by CheckOrder; owns none of them.
class TLcServerComponentList : public TObject {
public:
    // Removes the item when present, then inserts it before the first entry whose CheckOrder
    // is greater than or equal to its own.
    void Add(TLcAbsDataServerLink* Item);
    void Remove(TLcAbsDataServerLink* Item);
    int Count() const { return static_cast<int>(FItems.size()); }
    // None when the index is out of range.
    TLcAbsDataServerLink* Get(int Index) const;

    CL_CLASS_NAME(TLcServerComponentList)

private:
    std::vector<TLcAbsDataServerLink*> FItems;
};

class TLcDataServerLinkList : public TLcServerComponentList {
public:
    CL_CLASS_NAME(TLcDataServerLinkList)
};

// A component attached to a data server or to a link.
class TLcAbsDataServerLink : public TLcServerComponent {
public:
    explicit TLcAbsDataServerLink(TComponent* owner);
    // Detaches the component.
    ~TLcAbsDataServerLink() override;

    // ---- published ----
    TLcDataServerLink* Link() const { return FLink; }
    // Detaches from the current server and link; raises "Circular DataServerLink reference!"
    // (leaving the component detached) when value is this component or is linked to it.
    void SetLink(TLcDataServerLink* value);
    TLcDataServer* Server() const { return FServer; }
    // Detaches from the current server or link, then joins value's list.
    void SetServer(TLcDataServer* value);
    int32_t CheckOrder() const { return FCheckOrder; }
    // Re-sorts the component in its server's or link's list.
    void SetCheckOrder(int32_t value);

    // ---- triggers; Sender is the server connection the event concerns ----
    virtual void TriggerSessionOpen(TLcDataServer* Sender) {}
    virtual void TriggerSessionClose(TLcDataServer* Sender) {}
    virtual void TriggerListenStart(TLcDataServer* Sender) {}
    virtual void TriggerListenStop(TLcDataServer* Sender) {}
    virtual void TriggerCheckRequest(TLcDataServer* Sender) {}
    virtual void TriggerRequestAccepted(TLcDataServer* Sender) {}
    virtual void TriggerResponseDone(TLcDataServer* Sender) {}
    virtual void TriggerDataReceived(TLcDataServer* Sender) {}
    virtual void TriggerDataOut(TLcDataServer* Sender) {}
    virtual void TriggerDataIn(TLcDataServer* Sender) {}
    virtual void TriggerDataSent(TLcDataServer* Sender) {}
    virtual void TriggerReadyToSend(TLcDataServer* Sender) {}
    virtual void TriggerDisconnect(TLcDataServer* Sender) {}
    // Automated linked objects are not supported: both raise Exception.
    virtual void AddAutomatedLinkedObject(TObject* Item);
    virtual void RemoveAutomatedLinkedObject(TObject* Item);

    CL_CLASS_NAME(TLcAbsDataServerLink)

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // Leaves the current server or link.
    void Detach();

private:
    friend class TLcDataServerLink;
    friend class TLcDataServer;

    // Forgets the server or link without touching its list (it is going).
    void Forget();

    TLcDataServerLink* FLink = nullptr;
    TLcDataServer* FServer = nullptr;
    int32_t FCheckOrder = 0;
};

// Groups components under one server and forwards events along the chain.
class TLcDataServerLink : public TLcAbsDataServerLink {
public:
    explicit TLcDataServerLink(TComponent* owner);
    // Detaches every linked component, then itself.
    ~TLcDataServerLink() override;

    // ---- published events (Sender = the server connection) ----
    TLcNotifyEvent OnListenStart;
    TLcNotifyEvent OnListenStop;
    TLcNotifyEvent OnRequestAccepted;
    TLcNotifyEvent OnResponseDone;
    TLcNotifyEvent OnDisconnect;
    TLcNotifyEvent OnSessionOpen;
    TLcNotifyEvent OnSessionClose;

    TLcDataServerLinkList* Links() const { return FLinks.get(); }
    // True when item is linked to this link, directly or through its links.
    bool IsLinked(const TLcAbsDataServerLink* item) const;

    void TriggerSessionOpen(TLcDataServer* Sender) override;
    void TriggerSessionClose(TLcDataServer* Sender) override;
    void TriggerListenStart(TLcDataServer* Sender) override;
    void TriggerListenStop(TLcDataServer* Sender) override;
    void TriggerCheckRequest(TLcDataServer* Sender) override;
    void TriggerRequestAccepted(TLcDataServer* Sender) override;
    void TriggerResponseDone(TLcDataServer* Sender) override;
    void TriggerDisconnect(TLcDataServer* Sender) override;

    CL_CLASS_NAME(TLcDataServerLink)

private:
    friend class TLcAbsDataServerLink;

    std::unique_ptr<TLcDataServerLinkList> FLinks;
};

// The component through which application code answers requests.
class TLcDataProvider : public TLcAbsDataServerLink {
public:
    using TLcAbsDataServerLink::TLcAbsDataServerLink;

    // ---- published events (Sender = the server connection) ----
    TLcNotifyEvent OnListenStart;
    TLcNotifyEvent OnListenStop;
    TLcNotifyEvent OnSessionOpen;
    TLcNotifyEvent OnSessionClose;
    TLcNotifyEvent OnCheckRequest;
    TLcNotifyEvent OnDataReceived;
    TLcNotifyEvent OnDataOut;
    TLcNotifyEvent OnDataIn;
    TLcNotifyEvent OnDataSent;
    TLcNotifyEvent OnReadyToSend;
    TLcNotifyEvent OnDisconnect;

    void TriggerSessionOpen(TLcDataServer* Sender) override;
    void TriggerSessionClose(TLcDataServer* Sender) override;
    void TriggerListenStart(TLcDataServer* Sender) override;
    void TriggerListenStop(TLcDataServer* Sender) override;
    // With an OnCheckRequest handler: becomes the server's active provider, then the handler runs.
    void TriggerCheckRequest(TLcDataServer* Sender) override;
    void TriggerRequestAccepted(TLcDataServer* Sender) override;
    void TriggerResponseDone(TLcDataServer* Sender) override;
    void TriggerDataReceived(TLcDataServer* Sender) override;
    void TriggerDataOut(TLcDataServer* Sender) override;
    void TriggerDataIn(TLcDataServer* Sender) override;
    void TriggerDataSent(TLcDataServer* Sender) override;
    void TriggerReadyToSend(TLcDataServer* Sender) override;
    void TriggerDisconnect(TLcDataServer* Sender) override;

    CL_CLASS_NAME(TLcDataProvider)
};

// A server connection that routes requests to its linked components.
class TLcDataServer : public TLcServer {
public:
    explicit TLcDataServer(TComponent* owner);
    // A listener detaches every linked component; sessions released by this connection
    // forget it.
    ~TLcDataServer() override;

    // ---- published ----
    TLcServerRequestFixup* FixupRequest() const { return FFixupRequest.get(); }
    // Copies the options.
    void SetFixupRequest(const TLcServerRequestFixup* value);
    TLcNotifyEvent OnRequestAccepted;
    TLcNotifyEvent OnRequestNotAccepted;
    TLcNotifyEvent OnResponseDone;
    TLcNotifyEvent OnSessionOpen;
    TLcNotifyEvent OnSessionClose;
    // OnDataOut and OnDataIn are the connection's.

    TLcServerRequest* Request() const { return FRequest; }
    TLcServerResponse* Response() const { return FResponse; }
    // Puts another object in place of the current one; none brings back the connection's own.
    virtual void SetRequest(TLcServerRequest* value);
    virtual void SetResponse(TLcServerResponse* value);
    // The component that accepted, or is being asked about, the current request.
    TLcAbsDataServerLink* ActiveProvider() const { return FActiveProvider; }
    // The components linked to this server (shared with the listener); none before the first.
    TLcServerComponentList* Links() const { return FLinks.get(); }

    // The current session; none unless one is in use.
    TLcServerSession* Session() const { return FSession; }
    // Makes session the current one, locked to this connection until it is released. A
    // current session is released first.
    void SetSession(TLcServerSession* session);
    // Releases the current session (see the top of this file).
    void ReleaseSession();

    // Called from an OnCheckRequest handler: takes the current request, once.
    void AcceptRequest();
    // Sends what was written and held back; nothing is held here.
    virtual void Flush() {}

    void CopyFrom(TLcServer* source) override;

    CL_CLASS_NAME(TLcDataServer)

protected:
    virtual void TriggerRequestAccepted();
    virtual void TriggerRequestNotAccepted();
    virtual void TriggerResponseDone();
    // A released session of this server expired: announced to the linked components and
    // OnSessionClose with the session made current meanwhile.
    virtual void TriggerSessionClose(TLcServerSession* session);

    void TriggerDataReceived() override;
    void TriggerDataOut() override;
    void TriggerDataIn() override;
    void TriggerDataSent() override;
    void TriggerReadyToSend() override;
    void TriggerDisconnect() override;
    void TriggerLastWrite() override;
    void TriggerListenStart() override;
    void TriggerListenStop() override;

private:
    friend class TLcAbsDataServerLink;
    friend class TLcDataProvider;
    friend class TLcDataServerLink;
    friend class TLcDataSrvSessions;

    // Asks the components of list in order until the request is accepted or no longer active.
    void AskComponents(const TLcServerComponentList* list);
    bool StopAsking() const;
    void ClearActive();
    TLcServerComponentList* OwnLinks();

    std::unique_ptr<TLcServerRequestFixup> FFixupRequest;
    std::unique_ptr<TLcServerRequest> FOwnRequest;
    std::unique_ptr<TLcServerResponse> FOwnResponse;
    TLcServerRequest* FRequest = nullptr;
    TLcServerResponse* FResponse = nullptr;
    // The listener's list, shared with its client connections so that one outliving the
    // listener finds it empty rather than gone; only the listener attaches and detaches.
    std::shared_ptr<TLcServerComponentList> FLinks;
    bool FOwnsLinks = false;
    TLcAbsDataServerLink* FActiveProvider = nullptr;
    TLcServerSession* FSession = nullptr;
};

// ---- unit start and end ----------------------------------------------------------------------

// First call: the session lock and lists.
void InitializeLcDataSrv();
// Last call: frees every session left, then the lists and the lock.
void FinalizeLcDataSrv();

// ---- seams for tests ----------------------------------------------------------------------------

using TLcDataSrvClock = TDateTime (*)();
// The clock of the session store (Now when none).
void SetDataSrvClock(TLcDataSrvClock clock);
// The number of unlocked and of locked sessions in the store.
void DataSrvSessionCounts(int& unlocked, int& locked);
// The key of a session in the expiry list: the expiry time as 17 digits, then the identifier.
std::string DataSrvExpiryKey(TDateTime expires, const std::string& id);
