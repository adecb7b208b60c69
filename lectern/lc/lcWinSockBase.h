// The platform-free part of the socket library unit: the two exceptions of every socket
// layer, WinSock's error texts, the dotted IPv4 address test and the select-set helpers.
// The binding itself (lcWinSock) is Win32 only; these build and are tested in every tree.
#pragma once

#include "classlib/SysUtils.h"
#include "lectern/lc/lcWinSockDefs.h"

#include <string>

// A recoverable socket error: bad argument, failed socket call, failed name resolution.
CL_DECLARE_EXCEPTION(ELcSocketError, EAbort)
// The socket library cannot be used at all: not loadable, a function missing, no start-up.
CL_DECLARE_EXCEPTION(ELcFatalSockException, Exception)

// The text of a WinSock error code; "Not a WinSock error" for any code WinSock does not use.
std::string WinSockErrorText(int errorCode);

// True when the text, after leading blanks, is four decimal numbers below 256 joined by
// single dots, followed by nothing or by blanks only.
bool IsDottedIP4(const std::string& s);

// Adds a socket to a select set; ignored when the set already holds kFdSetSize sockets.
void FdSetAdd(TSocket socket, TFdSet& set);
void FdSetClear(TFdSet& set);
