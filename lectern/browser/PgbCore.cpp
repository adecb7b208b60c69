#include "PgbCore.h"

// ---- flag words and decisions (platform-free) ---------------------------------------------------

const uint32_t kUserInterfaceFlags[kUserInterfaceOptionCount] = {
    0x1,       0x2,       0x4,        0x8,        0x10,        0x20,       0x40,       0x80,
    0x100,     0x200,     0x400,      0x800,      0x1000,      0x2000,     0x4000,     0x10000,
    0x20000,   0x40000,   0x80000,    0x100000,   0x200000,    0x400000,   0x800000,   0x1000000,
    0x2000000, 0x4000000, 0x8000000,  0x10000000, 0x20000000,
};

const uint32_t kDownloadControlFlags[kDownloadControlOptionCount] = {
    0x10,   0x20,    0x40,    0x80,    0x100,      0x200,      0x400,      0x800,      0x1000,    0x2000,
    0x4000, 0x8000,  0x10000, 0x20000, 0x40000,    0x10000000, 0x20000000, 0x40000000, 0x80000000,
};

uint32_t UserInterfaceFlagWord(TUserInterfaceOptions options)
{
    uint32_t word = 0;
    for (int i = 0; i < kUserInterfaceOptionCount; ++i) {
        if (options.Contains(static_cast<TUserInterfaceOption>(i))) {
            word |= kUserInterfaceFlags[i];
        }
    }
    return word;
}

uint32_t DownloadControlFlagWord(TDownloadControlOptions options)
{
    uint32_t word = 0;
    for (int i = 0; i < kDownloadControlOptionCount; ++i) {
        if (options.Contains(static_cast<TDownloadControlOption>(i))) {
            word |= kDownloadControlFlags[i];
        }
    }
    return word;
}

bool IsPopupMenuDisabled(TIEPopupMenus disabled, uint32_t menuId)
{
    if (disabled.Contains(TIEPopupMenu::rcmAll)) {
        return true;
    }
    return menuId < 10 && disabled.Contains(static_cast<TIEPopupMenu>(menuId));
}

bool IsMaskedCtrlKeyCode(bool isKeyDown, const std::string& shortcuts, bool ctrlDown, bool shiftDown,
                         uint32_t virtualKey)
{
    if (!isKeyDown || shortcuts.empty() || !ctrlDown || shiftDown) {
        return false;
    }
    return CharPos(static_cast<char>(virtualKey & 0xFF), shortcuts) > 0;
}

int ClampToRangeWord(int value, uint32_t range)
{
    const int low = static_cast<int>(range & 0xFFFF);
    const int high = static_cast<int>(range >> 16);
    if (value < low) {
        return low;
    }
    if (value > high) {
        return high;
    }
    return value;
}

namespace {
bool gPreRefreshFired = false;
uint32_t gPreRefreshTick = 0;
}  // namespace

bool PreRefreshDue(uint32_t nowTicks)
{
    if (gPreRefreshFired && nowTicks - gPreRefreshTick <= kPreRefreshIntervalMs) {
        return false;
    }
    gPreRefreshFired = true;
    gPreRefreshTick = nowTicks;
    return true;
}

void ResetPreRefreshGate()
{
    gPreRefreshFired = false;
    gPreRefreshTick = 0;
}
