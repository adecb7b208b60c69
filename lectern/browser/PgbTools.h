// Tool routines of the browser component: the system version test, the proxy, the navigation
// click sound and the browser engine's version.
//
// The proxy is set for this process only: the routines change the proxy of the process's
// URL-moniker session (which the browser control's requests use), never the per-connection
// settings stored in the user's registry, and ResetProxy puts back exactly what the process
// used before the first change. Nothing is shown to the user; failure shows only in the
// Boolean results.
#pragma once

#include <string>

// The major version of a version text ("8.00.7601.17514" gives 8): the text before its first
// "." as an integer; -1 when there is no "." or that text is not a number.
int MajorVersionOf(const std::string& version);

// The Windows half, the system version test, the proxy, the click sound and the engine's version:
// PgbToolsWin.h (the Windows tree only).
