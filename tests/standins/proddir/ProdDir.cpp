// proddir (stand-in): see ProdDir.h.
#include "ProdDir.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

std::u16string nekProdDataDir(int product)
{
    const DWORD needed = GetEnvironmentVariableW(L"PRODDIR_DATA_DIR", nullptr, 0);
    if (needed > 0) {
        std::vector<wchar_t> value(needed + 1, L'\0');
        GetEnvironmentVariableW(L"PRODDIR_DATA_DIR", value.data(), needed + 1);
        return std::u16string(reinterpret_cast<const char16_t*>(value.data()));
    }
    wchar_t common[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common))) {
        return {};
    }
    std::u16string folder(reinterpret_cast<const char16_t*>(common));
    const std::wstring number = std::to_wstring(product);
    folder += u"\\Vorlex\\Product";
    folder.append(number.begin(), number.end());
    return folder;
}
