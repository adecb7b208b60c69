// The units a whole server stands on above the socket layer (worker pool, socket base, socket
// server provider, connections, data server), started for a test and ended in the program's
// order, which lets no worker outlive what it uses.
#pragma once

#include "lectern/lc/lcDataSrv.h"
#include "lectern/lc/lcSockBase.h"
#include "lectern/lc/lcSocketSrvProv.h"
#include "lectern/lc/lcThrPool.h"

#include <gtest/gtest.h>

class ServerUnits : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitializeLcThrPool();
        InitializeLcSockBase();
        InitializeLcSocketSrvProv();
        InitializeLcConn();
        InitializeLcDataSrv();
    }
    void TearDown() override
    {
        FinalizeLcDataSrv();
        FinalizeLcConn();
        FinalizeLcSockBase();
        FinalizeLcThrPool();
        FinalizeLcSocketSrvProv();
    }
};
