#include "uDebugLines.h"

namespace {

constexpr const char* kServedLead = "Ok:";

}  // namespace

void TDebugLines::Add(const std::string& line)
{
    {
        const TLockGuard locked(FLock);
        FLines.push_back(line);
    }
    Changed();
}

void TDebugLines::AddServed(const std::string& path)
{
    {
        const TLockGuard locked(FLock);
        if (FLines.empty() || FLines.back().rfind(kServedLead, 0) != 0) {
            FLines.push_back(std::string(kServedLead) + " " + path);
        } else {
            FLines.back() += ", " + path;
        }
    }
    Changed();
}

std::vector<std::string> TDebugLines::Lines() const
{
    const TLockGuard locked(FLock);
    return FLines;
}

void TDebugLines::Changed()
{
    if (OnChange) {
        OnChange(this);
    }
}
