#include "lectern/app/uBrowserRules.h"

#include "classlib/Platform.h"

namespace {

bool IsBookPage(const std::string& url, const std::string& baseUrl)
{
    return !baseUrl.empty() && StartsWithText(url, baseUrl);
}

bool IsBlankPage(const std::string& url) { return url.size() == 11 && StartsWithText(url, "about:blank"); }

bool IsWebAddress(const std::string& url) { return StartsWithText(url, "http://") || StartsWithText(url, "https://"); }

// Loaded by the page view whatever the page: book pages, scripts of the page and resources of
// the browser.
bool StaysInTheBrowser(const std::string& url, const std::string& baseUrl)
{
    return IsBookPage(url, baseUrl) || StartsWithText(url, "javascript:") || StartsWithText(url, "res:");
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool StartsWithText(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    return plat::CompareTextLocale(std::string_view(text).substr(0, prefix.size()), prefix) ==
           plat::TextOrder::Equal;
}

bool IsNoPage(const std::string& document) { return document.empty() || IsBlankPage(document); }

bool FromTheBook(const TNavigationSource& source, const std::string& baseUrl)
{
    if (source.Viewer) {
        return true;
    }
    return IsBookPage(IsNoPage(source.Document) ? source.Holder : source.Document, baseUrl);
}

TNavigationAction DecideNavigation(const std::string& url, const std::string& baseUrl,
                                   const TNavigationSource& source, bool openExternal)
{
    if (IsBlankPage(url)) {
        return TNavigationAction::LeaveAlone;
    }
    const bool trusted = FromTheBook(source, baseUrl);
    if (StartsWithText(url, "exec:")) {
        return trusted ? TNavigationAction::Execute : TNavigationAction::Refuse;
    }
    if (StaysInTheBrowser(url, baseUrl)) {
        return TNavigationAction::Load;
    }
    if (IsWebAddress(url)) {
        return openExternal ? TNavigationAction::OpenExternal : TNavigationAction::Load;
    }
    // Anything else is the shell's to open or run.
    return trusted ? TNavigationAction::OpenExternal : TNavigationAction::Refuse;
}

TNavigationAction DecideNewWindow(const std::string& url, const std::string& baseUrl, const std::string& context)
{
    if (IsBookPage(url, baseUrl)) {
        return TNavigationAction::LeaveAlone;
    }
    if (IsWebAddress(url)) {
        return TNavigationAction::OpenExternal;
    }
    if (IsBlankPage(url) || StaysInTheBrowser(url, baseUrl) || IsBookPage(context, baseUrl)) {
        return TNavigationAction::LeaveAlone;
    }
    return TNavigationAction::Refuse;
}

std::string DecodePercentEscapes(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            int value = 0;
            bool ok = i + 1 < s.size();
            for (size_t k = i + 1; k < s.size() && k <= i + 2; ++k) {
                const int d = HexDigit(s[k]);
                if (d < 0) {
                    ok = false;
                    break;
                }
                value = value * 16 + d;
            }
            if (ok && value > 0) {
                out += static_cast<char>(value);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

TFileRun SplitFileLink(const std::string& link)
{
    std::string s = DecodePercentEscapes(link);
    char separator = '\t';
    if (StartsWithText(s, "exec:")) {
        s.erase(0, 5);
        separator = ';';
    }
    const size_t pos = s.find(separator);
    if (pos == std::string::npos) {
        return {s, {}};
    }
    return {s.substr(0, pos), s.substr(pos + 1)};
}

bool TakesPageTitle(bool displayPageTitle, const std::string& title)
{
    return displayPageTitle && title.compare(0, 10, "http://127") != 0;
}

TInputAction DecideInput(const TInput& input, const TInputRules& rules)
{
    if (input.Kind == TInputKind::KeyDown && input.Control) {
        switch (input.Key) {
        case 'C':
        case 'X':
            return rules.UserCopy ? TInputAction::PassOn : TInputAction::Swallow;
        case 'P':
            return rules.UserPrint ? TInputAction::PassOn : TInputAction::Swallow;
        case 'V':
            return TInputAction::PassOn;
        default:
            return TInputAction::Swallow;
        }
    }
    const bool keyDown = input.Kind == TInputKind::KeyDown || input.Kind == TInputKind::SysKeyDown;
    const bool menuKey = keyDown && (input.Key == kVkApps || (input.Key == kVkF10 && input.Shift));
    if (input.Kind == TInputKind::RightButton || menuKey) {
        return !rules.NoContextMenu && input.InPageView ? TInputAction::PopupContextMenu : TInputAction::PassOn;
    }
    return TInputAction::PassOn;
}
