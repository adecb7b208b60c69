// Linkage of ctlaid's exports; the calling convention is SUITE_CALL (SuiteApi.h).
#pragma once

#include "SuiteApi.h"

#if defined(CTLAID_BUILD_DLL)
#define CTLAID_API __declspec(dllexport)
#else
#define CTLAID_API __declspec(dllimport)
#endif
