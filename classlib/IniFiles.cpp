#include "IniFiles.h"

#include "Controls.h"

#include <windows.h>

#include <vector>

namespace {

// The first buffer size for a value; it doubles while the value fills it.
constexpr DWORD kFirstValueChars = 2048;

}  // namespace

std::u16string TIniFile::ReadString(const std::u16string& section, const std::u16string& key,
                                    const std::u16string& defaultValue) const
{
    std::vector<wchar_t> buffer(kFirstValueChars);
    for (;;) {
        const DWORD length = GetPrivateProfileStringW(WideChars(section), WideChars(key), WideChars(defaultValue), buffer.data(),
                                                      static_cast<DWORD>(buffer.size()), WideChars(FFileName));
        if (length + 1 < buffer.size()) {
            return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

void TIniFile::WriteString(const std::u16string& section, const std::u16string& key, const std::u16string& value)
{
    if (!WritePrivateProfileStringW(WideChars(section), WideChars(key), WideChars(value), WideChars(FFileName))) {
        throw EIniFileException("Unable to write to " + FromWide(std::wstring(WideChars(FFileName))));
    }
}
