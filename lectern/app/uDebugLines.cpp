#include "uDebugLines.h"

namespace {

constexpr const char* kServedLead = "Ok:";

// Leaves the lock when the scope ends.
class Locked {
public:
    explicit Locked(TCriticalSection& lock) : FLock(lock) { FLock.Enter(); }
    ~Locked() { FLock.Leave(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    TCriticalSection& FLock;
};

}  // namespace

void TDebugLines::Add(const std::string& line)
{
    {
        const Locked locked(FLock);
        FLines.push_back(line);
    }
    Changed();
}

void TDebugLines::AddServed(const std::string& path)
{
    {
        const Locked locked(FLock);
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
    const Locked locked(FLock);
    return FLines;
}

void TDebugLines::Changed()
{
    if (OnChange) {
        OnChange(this);
    }
}
