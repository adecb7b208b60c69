// The units a server stands on, started for a test and ended in the program's order, which
// lets no worker outlive what it uses.
#pragma once

#include "lectern/lc/lcDataSrv.h"
#include "lectern/lc/lcSockBase.h"
#include "lectern/lc/lcSocketSrvProv.h"
#include "lectern/lc/lcThrPool.h"

#include <gtest/gtest.h>

// The worker pool, the socket base and the socket server provider: for a test of
// multi-threaded providers.
class ThreadedProviderUnits : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitializeLcThrPool();
        InitializeLcSockBase();
        InitializeLcSocketSrvProv();
    }
    void TearDown() override
    {
        FinalizeLcSockBase();
        FinalizeLcThrPool();
        FinalizeLcSocketSrvProv();
    }
};

// A whole server above the socket layer: those units, then the connections and the data
// server.
class ServerUnits : public ThreadedProviderUnits {
protected:
    void SetUp() override
    {
        ThreadedProviderUnits::SetUp();
        InitializeLcConn();
        InitializeLcDataSrv();
    }
    void TearDown() override
    {
        FinalizeLcDataSrv();
        FinalizeLcConn();
        ThreadedProviderUnits::TearDown();
    }
};
