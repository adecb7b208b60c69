#include "lcConnProv.h"

#include "lectern/lc/lcLog.h"
#include "lectern/lc/lcThrPool.h"

bool LcRunJobAtOnce(TObject* job)
{
    auto* lcJob = dynamic_cast<TLcJob*>(job);
    if (lcJob == nullptr) {
        return false;
    }
    if (lcJob->Run(nullptr)) {
        lcJob->Kill();
    }
    return true;
}

TLcConnectionProvider::TLcConnectionProvider()
{
    TriggerOpening();
}

TLcConnectionProvider::~TLcConnectionProvider()
{
    RunAtBoundary("ERROR", "TLcConnectionProvider.Destroy", [this] { TriggerReadyToRelease(); }, LogHandledErrors);
}

TLcConnectionProvider* TLcServerProvider::TriggerNewProvider()
{
    TLcConnectionProvider* provider = nullptr;
    if (OnNewProvider) {
        OnNewProvider(provider);
    }
    return provider;
}
