#include "lectern/app/uStartup.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool IsPathDelimiter(char16_t c) { return c == u'\\' || c == u'/' || c == u':'; }

}  // namespace

int StrToIntDef(const std::string& text, int fallback)
{
    if (text.empty() || text[0] == ' ') {
        return fallback;
    }
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || value < INT32_MIN || value > INT32_MAX) {
        return fallback;
    }
    return static_cast<int>(value);
}

std::u16string ExtractFileDir(const std::u16string& path)
{
    for (size_t i = path.size(); i > 0; --i) {
        if (IsPathDelimiter(path[i - 1])) {
            return path.substr(0, i);
        }
    }
    return {};
}

std::u16string LowerFileExt(const std::u16string& path)
{
    for (size_t i = path.size(); i > 0; --i) {
        const char16_t c = path[i - 1];
        if (IsPathDelimiter(c)) {
            break;
        }
        if (c == u'.') {
            std::u16string ext = path.substr(i - 1);
            for (char16_t& e : ext) {
                if (e >= u'A' && e <= u'Z') {
                    e = static_cast<char16_t>(e - u'A' + u'a');
                }
            }
            return ext;
        }
    }
    return {};
}

bool MayBeBookParam(const std::u16string& param)
{
    const std::u16string ext = LowerFileExt(param);
    return ext.empty() || std::u16string(u".html").find(ext) == std::u16string::npos;
}

std::string FirstPageParam(const std::vector<std::string>& params, int paramsUsed, bool commandline)
{
    if (commandline && paramsUsed >= 0 && static_cast<size_t>(paramsUsed) < params.size()) {
        return params[static_cast<size_t>(paramsUsed)];
    }
    return {};
}

std::string ResolveTopic(const std::string& s, const TStringList& topicMap)
{
    if (topicMap.Count() > 0 && StrToIntDef(s, 0) != 0) {
        return topicMap.Values(s);
    }
    return s;
}

std::string StartPageAddress(const std::string& page, const std::string& indexSetting,
                             const std::string& baseUrl)
{
    std::string target = page;
    if (target.empty()) {
        target = indexSetting.empty() ? std::string("index.html") : indexSetting;
    }
    if (target.compare(0, 7, "http://") == 0) {
        return target;
    }
    return baseUrl + target;
}

std::string PercentEncodePathSegment(const std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string UrlPrefix(const std::string& producerId, const std::string& guidText)
{
    std::string prefix;
    if (!producerId.empty()) {
        prefix = "/" + PercentEncodePathSegment(producerId);
    }
    if (!guidText.empty()) {
        prefix += "/" + guidText;
    }
    return prefix;
}

std::string BaseUrl(const std::string& addr, const std::string& port, const std::string& prefix)
{
    return "http://" + addr + ":" + port + prefix + "/";
}
