#include "PageBrowser.h"

#include <algorithm>
#include <cctype>

const unsigned kPopupMenuItemCommands[kIEPopupMenuItemCount] = {
    2282, 2283, 2263, 2264, 2265, 2278, 31, 26, 2266, 2261, 2292, 2300, 2139, 28, 27, 2137, 2136,
};

bool IsHtmlCodeAddress(const std::string& line)
{
    std::string lower = line.substr(0, 6);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string first4 = lower.substr(0, 4);
    return first4 == "http" || first4 == "www." || first4 == "ftp:" || first4 == "file" || lower == "about:";
}

std::wstring ReplaceDialogCaption(std::wstring caption, const std::wstring& newCaption)
{
    const std::wstring maker = L"Microsoft ";
    if (const size_t i = caption.find(maker); i != std::wstring::npos) {
        caption.erase(i, maker.size());
    }
    const std::wstring product = L"Internet Explorer";
    if (const size_t i = caption.find(product); i != std::wstring::npos) {
        caption.replace(i, product.size(), newCaption);
    }
    return caption;
}

TDialogAction ScriptErrorDialogAction(const std::wstring& caption, uint32_t exStyle)
{
    std::wstring upper = caption;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](wchar_t c) { return c < 128 ? static_cast<wchar_t>(std::toupper(c)) : c; });
    if (upper.find(L"SCRIPT") != std::wstring::npos) {
        return TDialogAction::ClickAndClose;
    }
    if (upper.find(L"ERROR") != std::wstring::npos || exStyle == 0x410101) {
        return TDialogAction::Destroy;
    }
    return TDialogAction::None;
}

std::string UserAgentToken(const std::string& userAgent)
{
    return "User-agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)(" + userAgent + ")";
}
