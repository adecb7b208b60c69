#include "lectern/app/uBookSettings.h"

#include "lectern/app/uStartup.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kPlacementDigits = 6;
constexpr int kPlacementLength = 4 * kPlacementDigits + 1;
constexpr int32_t kPlacementMin = -0x800000;
constexpr int32_t kPlacementMax = 0x7FFFFF;

bool SameAsciiText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) {
            return false;
        }
    }
    return true;
}

bool IsBlank(const std::string& line)
{
    for (const char c : line) {
        if (static_cast<unsigned char>(c) > ' ') {
            return false;
        }
    }
    return true;
}

bool EndsSection(const std::string& line) { return IsBlank(line) || line[0] == '['; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string FromFifth(const std::string& line) { return line.size() > 4 ? line.substr(4) : std::string(); }

// Up to six hexadecimal digits of a placement field; six digits from 800000 on are negative.
bool ReadPlacementField(const std::string& placement, size_t pos, int& value)
{
    if (pos >= placement.size()) {
        return false;
    }
    const std::string digits = placement.substr(pos, kPlacementDigits);
    int32_t v = 0;
    for (const char c : digits) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else return false;
        v = v * 16 + d;
    }
    if (digits.size() == kPlacementDigits && v > kPlacementMax) {
        v -= 0x1000000;
    }
    value = v;
    return true;
}

}  // namespace

bool SectionLines(const TStringList& settings, const std::string& header, std::vector<std::string>& lines)
{
    lines.clear();
    for (int i = 0; i < settings.Count(); ++i) {
        if (SameAsciiText(settings[i], header)) {
            for (int j = i + 1; j < settings.Count() && !EndsSection(settings[j]); ++j) {
                lines.push_back(settings[j]);
            }
            return true;
        }
    }
    return false;
}

TBookSettings ReadBookSettings(const TStringList& settings)
{
    auto on = [&](const char* name) { return settings.Values(name) == "1"; };
    TBookSettings s;
    s.ProducerID = settings.Values("ProducerID");
    if (s.ProducerID.empty()) {
        s.ProducerID = kDefaultProducerID;
    }
    s.KioskMode = on("KioskMode");
    s.SaveRegistry = on("SaveRegistry");
    s.Title = settings.Values("Title");
    s.Charset = StrToIntDef(settings.Values("Charset"), 1);
    s.UserPassword = settings.Values("UserPassword");
    s.UserPasswordPrompt = settings.Values("UserPasswordPrompt");
    s.Sizeable = on("Sizeable");
    s.DefaultWidth = settings.Values("DefaultWidth");
    s.DefaultHeight = settings.Values("DefaultHeight");
    s.Centered = on("Centered");
    s.Maximized = on("Maximized");
    s.DisplayPageTitle = on("DisplayPageTitle");
    s.UserCopy = on("UserCopy");
    s.UserPrint = on("UserPrint");
    s.OpenExternal = !s.KioskMode && on("OpenExternal");
    s.Commandline = on("Commandline");
    s.ShowCaptions = on("ShowCaptions");
    s.Debug = on("Debug");
    s.Index = settings.Values("INDEX");

    std::vector<std::string> mainLines;
    s.HasMainMenu = SectionLines(settings, "[MainMenu]", mainLines);
    if (!mainLines.empty()) {
        s.MainMenuCaption = FromFifth(mainLines.front());
        s.MainMenuLines.assign(mainLines.begin() + 1, mainLines.end());
    }
    s.HasContextMenu = SectionLines(settings, "[ContextMenu]", s.ContextMenuLines);
    return s;
}

std::optional<TMenuLine> ParseMenuLine(const std::string& line)
{
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[2])) {
        return std::nullopt;
    }
    TMenuLine m;
    m.Level = line[0] - '0';
    m.Type = line[2] - '0';
    m.Caption = FromFifth(line);
    const size_t tab = m.Caption.find('\t');
    if (tab != std::string::npos) {
        m.Target = m.Caption.substr(tab + 1);
        m.Caption.erase(tab);
    }
    return m;
}

std::vector<TMenuNode> PlanMenu(const std::vector<std::string>& lines)
{
    std::vector<TMenuNode> nodes;
    int lastSubmenu = -1;
    for (const std::string& text : lines) {
        const std::optional<TMenuLine> line = ParseMenuLine(text);
        if (!line) {
            continue;
        }
        TMenuNode node{*line, -1};
        if (line->Level >= 2 && lastSubmenu >= 0) {
            int parent = lastSubmenu;
            while (line->Level - 1 < nodes[static_cast<size_t>(parent)].Line.Level &&
                   nodes[static_cast<size_t>(parent)].Parent >= 0) {
                parent = nodes[static_cast<size_t>(parent)].Parent;
            }
            node.Parent = parent;
        }
        nodes.push_back(node);
        if (line->Type == mltSubmenu) {
            lastSubmenu = static_cast<int>(nodes.size()) - 1;
        }
    }
    return nodes;
}

int MulDivRound(int a, int b, int c)
{
    const int64_t p = static_cast<int64_t>(a) * b;
    const int64_t half = (c < 0 ? -c : c) / 2;
    int64_t q = ((p < 0) != (c < 0)) ? -((llabs(p) + half) / llabs(c)) : (llabs(p) + half) / llabs(c);
    if (q > INT32_MAX) q = INT32_MAX;
    if (q < INT32_MIN) q = INT32_MIN;
    return static_cast<int>(q);
}

int ScaledWindowExtent(const std::string& setting, int formExtent, int pixelsPerInch, int screenExtent)
{
    int extent = MulDivRound(StrToIntDef(setting, formExtent), pixelsPerInch, 96);
    if (extent < 1) {
        extent = formExtent;
    }
    if (extent > screenExtent) {
        extent = screenExtent;
    }
    return extent;
}

std::string FormatPlacement(const TWindowBounds& bounds, bool maximized)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (int value : {bounds.Left, bounds.Top, bounds.Width, bounds.Height}) {
        if (value < kPlacementMin) value = kPlacementMin;
        if (value > kPlacementMax) value = kPlacementMax;
        const uint32_t bits = static_cast<uint32_t>(value) & 0xFFFFFF;
        for (int shift = 20; shift >= 0; shift -= 4) {
            text += kHex[(bits >> shift) & 15];
        }
    }
    text += maximized ? '1' : '0';
    return text;
}

TWindowBounds ParsePlacement(const std::string& placement, const TWindowBounds& fallback)
{
    TWindowBounds b = fallback;
    ReadPlacementField(placement, 0 * kPlacementDigits, b.Left);
    ReadPlacementField(placement, 1 * kPlacementDigits, b.Top);
    ReadPlacementField(placement, 2 * kPlacementDigits, b.Width);
    ReadPlacementField(placement, 3 * kPlacementDigits, b.Height);
    // A size below 1 is a damaged value, not a window: the fallback's size stands.
    if (b.Width < 1) {
        b.Width = fallback.Width;
    }
    if (b.Height < 1) {
        b.Height = fallback.Height;
    }
    return b;
}

TWindowBounds StartBounds(const std::string& placement, const TWindowBounds& bookBounds, bool centred,
                          int screenWidth, int screenHeight)
{
    if (placement.size() >= static_cast<size_t>(kPlacementLength)) {
        return ParsePlacement(placement, bookBounds);
    }
    if (centred) {
        return {(screenWidth - bookBounds.Width) / 2, (screenHeight - bookBounds.Height) / 2, bookBounds.Width,
                bookBounds.Height};
    }
    return bookBounds;
}

std::string PlacementPassword(const std::string& placement)
{
    return placement.size() > kPlacementLength ? placement.substr(kPlacementLength) : std::string();
}

std::string PlacementToSave(const TWindowBounds& bounds, bool maximized, const std::string& remembered)
{
    return FormatPlacement(bounds, maximized) + PlacementPassword(remembered);
}

bool StartsMaximized(bool maximizedSetting, const std::string& placement)
{
    const bool savedNormal = placement.size() >= kPlacementLength && placement[kPlacementLength - 1] == '0';
    return maximizedSetting && !savedNormal;
}
