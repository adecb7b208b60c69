// TFontP, SaveFont and LoadFont: see FontP.h.
#include "FontP.h"

#include "BaseKit.h"

#include <cstdint>
#include <limits>
#include <memory>

namespace {

constexpr int kFontTextParts = 4;

struct StyleLetter {
    TFontStyle style;
    char16_t letter;
};
constexpr StyleLetter kStyleLetters[] = {
    {fsBold, u'b'}, {fsItalic, u'i'}, {fsUnderline, u'u'}, {fsStrikeOut, u's'}};

std::u16string DecimalText(int value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// A signed decimal integer: an optional sign and at least one digit, nothing else, within the
// range of a 32-bit integer.
bool ReadDecimal(const std::u16string& text, int& value)
{
    size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == u'-' || text[at] == u'+')) {
        negative = text[at] == u'-';
        ++at;
    }
    if (at == text.size()) {
        return false;
    }
    int64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < u'0' || text[at] > u'9') {
            return false;
        }
        magnitude = magnitude * 10 + (text[at] - u'0');
        if (magnitude > int64_t{std::numeric_limits<int32_t>::max()} + 1) {
            return false;
        }
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    value = static_cast<int>(signedValue);
    return true;
}

}  // namespace

TFontP::TFontP() = default;

std::u16string TFontP::StyleToStr() const
{
    std::u16string letters;
    for (const StyleLetter& s : kStyleLetters) {
        if (Style() & s.style) {
            letters += s.letter;
        }
    }
    return letters;
}

void TFontP::StrToStyle(const std::u16string& text)
{
    TFontStyles style = 0;
    for (const StyleLetter& s : kStyleLetters) {
        if (text.find(s.letter) != std::u16string::npos) {
            style |= s.style;
        }
    }
    SetStyle(style);
}

std::u16string TFontP::GetAsString() const
{
    return Name() + u"," + DecimalText(Color()) + u"," + DecimalText(Size()) + u"," + StyleToStr();
}

bool TFontP::SetFromString(const std::u16string& text)
{
    const auto parts = std::make_unique<BCStringList>();
    S_StrToStrArray(text, u",", parts.get());
    if (parts->Count() < kFontTextParts) {
        return false;
    }
    SetName(parts->Strings(0));
    int number = 0;
    if (!ReadDecimal(parts->Strings(1), number)) {
        return false;
    }
    SetColor(number);
    if (!ReadDecimal(parts->Strings(2), number)) {
        return false;
    }
    SetSize(number);
    StrToStyle(parts->Strings(3));
    return true;
}

void SaveFont(TFont* font, TIniFile* iniFile, const std::u16string& section, const std::u16string& key)
{
    const auto text = std::make_unique<TFontP>();
    text->Assign(font);
    iniFile->WriteString(section, key, text->GetAsString());
}

bool LoadFont(TFont* font, TIniFile* iniFile, const std::u16string& section, const std::u16string& key)
{
    const auto text = std::make_unique<TFontP>();
    const bool read = text->SetFromString(iniFile->ReadString(section, key, u""));
    if (read) {
        font->Assign(text.get());
    }
    return read;
}
