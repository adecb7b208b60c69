#include "PlatformTime.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

namespace plat {

#ifdef _WIN32

LocalTime LocalNow()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

uint64_t MonotonicMs() { return GetTickCount64(); }

#else

LocalTime LocalNow()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    return {static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
            static_cast<uint16_t>(local.tm_mday), static_cast<uint16_t>(local.tm_hour),
            static_cast<uint16_t>(local.tm_min), static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec),
            static_cast<uint16_t>(ts.tv_nsec / 1000000)};
}

uint64_t MonotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

#endif

}  // namespace plat
