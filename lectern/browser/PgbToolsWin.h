// The system version test, the proxy, the click sound and the engine's version: the Windows half of
// PgbTools (see PgbTools.h), built in the Windows tree only.
#pragma once

#include "PgbTools.h"

bool IsWinXPSP2OrLater();
bool SetProxy(const std::string& agent, const std::string& server, const std::string& bypass);
bool SetProxyWithCredentials(const std::string& agent, const std::string& server, int port, const std::string& user,
                             const std::string& password);
bool ResetProxy();
// Moves the navigation sound's ".Current" key aside (off) or back.
void SetClickSound(bool off);
std::string GetIEVersion();
int GetIEMajorVersion();
