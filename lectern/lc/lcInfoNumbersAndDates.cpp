// Unit lcInfo: numbers and dates as text (see lcInfo.h).
#include "lcInfo.h"

#include "lectern/lc/lcInfoCommon.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

using lc_detail::HexValue;

// ============================================================================================
// Numbers as text
//
// Nothing here consults the locale: integers go through std::to_chars, reals through
// std::to_chars and std::from_chars, currency through integer arithmetic.
// ============================================================================================

namespace {

template <class T>
std::string ToDecimal(T value)
{
    char buffer[24];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

[[noreturn]] void RaiseInvalidInteger(const std::string& s)
{
    throw EConvertError("'" + s + "' is not a valid integer value");
}

[[noreturn]] void RaiseInvalidFloat(const std::string& s)
{
    throw EConvertError("'" + s + "' is not a valid floating point value");
}

// Leading blanks, an optional sign, then decimal digits, or "$" / "0x" and hexadecimal digits.
// Decimal values must lie in [minValue, maxValue]; hexadecimal ones may use the whole
// unsigned range of the type (all bits set is -1), as the platform's parser allows.
std::optional<int64_t> ParseInteger(const std::string& s, int64_t minValue, int64_t maxValue, uint64_t hexMax)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size()) {
        return std::nullopt;
    }
    const uint64_t base = hex ? 16 : 10;
    const uint64_t limit = hex ? hexMax : (negative ? uint64_t(-(minValue + 1)) + 1 : uint64_t(maxValue));
    uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const int digit = hex ? HexValue(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
        if (digit < 0 || value > (limit - uint64_t(digit)) / base) {
            return std::nullopt;
        }
        value = value * base + uint64_t(digit);
    }
    if (hex && hexMax <= std::numeric_limits<uint32_t>::max()) {
        value = uint64_t(int64_t(int32_t(uint32_t(value))));  // all 32 bits set is -1
    }
    return negative ? int64_t(0 - value) : int64_t(value);
}

// A decimal number: sign, digits with an optional ".", an optional exponent. Blanks may
// surround it.
struct TDecimalText {
    bool FNegative = false;
    std::string FDigits;    // without leading zeros
    int64_t FPoint = 0;     // the decimal point stands after this many digits of FDigits
};

std::optional<TDecimalText> ParseDecimal(const std::string& s)
{
    size_t i = 0;
    size_t end = s.size();
    while (i < end && s[i] == ' ') {
        ++i;
    }
    while (end > i && s[end - 1] == ' ') {
        --end;
    }
    TDecimalText d;
    if (i < end && (s[i] == '+' || s[i] == '-')) {
        d.FNegative = s[i] == '-';
        ++i;
    }
    bool anyDigit = false;
    int64_t point = 0;
    bool afterPoint = false;
    for (; i < end; ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (d.FDigits.empty() && c == '0') {
                if (afterPoint) {
                    --point;  // a leading zero after the point moves it
                }
                continue;
            }
            d.FDigits += c;
            if (!afterPoint) {
                ++point;
            }
        } else if (c == '.' && !afterPoint) {
            afterPoint = true;
        } else {
            break;
        }
    }
    if (!anyDigit) {
        return std::nullopt;
    }
    if (i < end && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < end && (s[i] == '+' || s[i] == '-')) {
            negativeExponent = s[i] == '-';
            ++i;
        }
        if (i >= end) {
            return std::nullopt;
        }
        int64_t exponent = 0;
        for (; i < end; ++i) {
            if (s[i] < '0' || s[i] > '9') {
                return std::nullopt;
            }
            exponent = std::min<int64_t>(exponent * 10 + (s[i] - '0'), 100000);
        }
        point += negativeExponent ? -exponent : exponent;
    }
    if (i != end) {
        return std::nullopt;
    }
    d.FPoint = point;
    return d;
}

std::optional<int64_t> ParseInt32(const std::string& s)
{
    return ParseInteger(s, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                        std::numeric_limits<uint32_t>::max());
}

}  // namespace

std::string IntegerToText(int32_t value)
{
    return ToDecimal(value);
}

std::string CardinalToText(uint32_t value)
{
    return ToDecimal(value);
}

std::string LargeIntToText(int64_t value)
{
    return ToDecimal(value);
}

int32_t TextToInteger(const std::string& s)
{
    const auto value = ParseInt32(s);
    if (!value) {
        RaiseInvalidInteger(s);
    }
    return static_cast<int32_t>(*value);
}

int64_t TextToLargeInt(const std::string& s)
{
    const auto value = ParseInteger(s, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                                    std::numeric_limits<uint64_t>::max());
    if (!value) {
        RaiseInvalidInteger(s);
    }
    return *value;
}

int32_t TextToIntegerDef(const std::string& s, int32_t defaultValue)
{
    const auto value = ParseInt32(s);
    return value ? static_cast<int32_t>(*value) : defaultValue;
}

std::string FloatToText(double value)
{
    // Significant digits of the general form, and the exponent from which it switches to the
    // exponent form ("E"): at 10^15 and above, and below 10^-5.
    constexpr int kGeneralDigits = 15;
    constexpr int kSmallestFixedExponent = -5;
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    if (value == 0) {
        return "0";
    }
    char buffer[40];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
                                 kGeneralDigits - 1);
    // buffer: [-]d.dddddddddddddde[+-]xx
    const std::string_view text(buffer, static_cast<size_t>(r.ptr - buffer));
    const size_t e = text.find('e');
    const bool negative = text[0] == '-';
    std::string digits;
    for (const char c : text.substr(0, e)) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);

    std::string out = negative ? "-" : "";
    const int length = static_cast<int>(digits.size());
    if (exponent >= kGeneralDigits || exponent < kSmallestFixedExponent) {
        out += digits[0];
        if (length > 1) {
            out += '.';
            out.append(digits, 1, std::string::npos);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0.";
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
    } else if (length <= exponent + 1) {
        out += digits;
        out.append(static_cast<size_t>(exponent + 1 - length), '0');
    } else {
        out.append(digits, 0, static_cast<size_t>(exponent + 1));
        out += '.';
        out.append(digits, static_cast<size_t>(exponent + 1), std::string::npos);
    }
    return out;
}

std::string CurrencyToText(int64_t currency)
{
    constexpr uint64_t kScale = 10000;
    const uint64_t magnitude = currency < 0 ? 0 - static_cast<uint64_t>(currency) : static_cast<uint64_t>(currency);
    std::string out = currency < 0 ? "-" : "";
    out += ToDecimal(magnitude / kScale);
    uint64_t fraction = magnitude % kScale;
    if (fraction != 0) {
        std::string decimals = ZeroPad(ToDecimal(fraction), 4);
        while (decimals.back() == '0') {
            decimals.pop_back();
        }
        out += '.';
        out += decimals;
    }
    return out;
}

double TextToFloat(const std::string& s)
{
    const auto d = ParseDecimal(s);
    if (!d) {
        RaiseInvalidFloat(s);
    }
    if (d->FDigits.empty()) {
        return d->FNegative ? -0.0 : 0.0;
    }
    // Rebuild it as 0.DIGITSe<point> for from_chars, which reads only the "C" form.
    const std::string normal = "0." + d->FDigits + "e" + std::to_string(d->FPoint);
    double value = 0;
    const auto r = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        if (d->FPoint > 0) {
            RaiseInvalidFloat(s);  // too large for a double
        }
        value = 0;  // too small: it is zero
    } else if (r.ec != std::errc() || r.ptr != normal.data() + normal.size()) {
        RaiseInvalidFloat(s);
    }
    return d->FNegative ? -value : value;
}

int64_t TextToCurrency(const std::string& s)
{
    constexpr int kCurrencyDecimals = 4;
    const auto d = ParseDecimal(s);
    if (!d) {
        RaiseInvalidFloat(s);
    }
    if (d->FDigits.empty()) {
        return 0;
    }
    const uint64_t limit = d->FNegative ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1;
    const int64_t keep = d->FPoint + kCurrencyDecimals;  // digits before the rounding digit
    const auto digitAt = [&](int64_t k) {
        return k >= 0 && k < static_cast<int64_t>(d->FDigits.size()) ? d->FDigits[static_cast<size_t>(k)] - '0' : 0;
    };
    uint64_t value = 0;
    if (keep > 20) {
        RaiseInvalidFloat(s);
    }
    for (int64_t k = 0; k < keep; ++k) {
        const auto digit = static_cast<uint64_t>(digitAt(k));
        if (value > (limit - digit) / 10) {
            RaiseInvalidFloat(s);
        }
        value = value * 10 + digit;
    }
    if (keep >= 0 && digitAt(keep) >= 5) {
        if (value == limit) {
            RaiseInvalidFloat(s);
        }
        ++value;
    }
    return d->FNegative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

std::string ZeroPad(const std::string& s, int32_t width)
{
    if (width <= static_cast<int32_t>(s.size())) {
        return s;
    }
    return std::string(static_cast<size_t>(width) - s.size(), '0') + s;
}

// ============================================================================================
// Dates as text
// ============================================================================================

namespace {

// Removes the bytes below 33 at both ends of s.
void TrimBlanks(std::string& s)
{
    size_t from = 0;
    size_t to = s.size();
    while (from < to && static_cast<unsigned char>(s[from]) <= ' ') {
        ++from;
    }
    while (to > from && static_cast<unsigned char>(s[to - 1]) <= ' ') {
        --to;
    }
    s = s.substr(from, to - from);
}

// The readers' shared step: the number before separator (all of s when it is missing) is
// taken off the front of s together with the separator, and the rest is trimmed. An empty
// piece is 0; one that is no number raises "Invalid DateTime format.".
int32_t PieceToNumber(const std::string& piece)
{
    if (piece.empty()) {
        return 0;
    }
    const auto value = ParseInt32(piece);
    if (!value) {
        throw EConvertError("Invalid DateTime format.");
    }
    return static_cast<int32_t>(*value);
}

int32_t TakeNumber(std::string& s, char separator)
{
    const size_t at = s.find(separator);
    const std::string piece = s.substr(0, at);
    s.erase(0, at == std::string::npos ? std::string::npos : at + 1);
    TrimBlanks(s);
    return PieceToNumber(piece);
}

// The next count characters of s as a number (0 when none are left), taken off its front.
int32_t TakeDigits(std::string& s, size_t count)
{
    std::string piece = s.substr(0, count);
    s.erase(0, piece.size());
    return PieceToNumber(piece);
}

TDateTime CombineDateAndTime(TDateTime date, TDateTime time)
{
    return date >= 0 ? date + time : date - time;
}

// Runs a reader, turning any failure into EConvertError with its message, CR LF and trailer.
template <class Reader>
TDateTime ReadDateText(const char* trailer, Reader read)
{
    try {
        return read();
    } catch (const Exception& e) {
        throw EConvertError(e.Message() + "\r\n" + trailer);
    }
}

std::string TwoDigits(uint16_t value)
{
    return ZeroPad(ToDecimal(value), 2);
}

}  // namespace

std::string DateTimeToText(TDateTime d)
{
    if (d == 0) {
        return {};
    }
    uint16_t year, month, day, hour, minute, second, ms;
    DecodeDate(d, year, month, day);
    DecodeTime(d, hour, minute, second, ms);
    const bool hasDay = std::trunc(d) != 0;
    const bool hasTime = hour != 0 || minute != 0 || second != 0 || ms != 0 || !hasDay;
    std::string out;
    if (hasDay) {
        out = ToDecimal(year) + "-" + ToDecimal(month) + "-" + ToDecimal(day);
    }
    if (hasDay && hasTime) {
        out += ' ';
    }
    if (hasTime) {
        out += ToDecimal(hour) + ":" + ToDecimal(minute) + ":" + ToDecimal(second) + "." + ToDecimal(ms);
    }
    return out;
}

TDateTime TextToDateTime(const std::string& s)
{
    return ReadDateText("Invalid date format.", [&] {
        std::string rest = s;
        TDateTime date = 0;
        if (rest.find('-') != std::string::npos) {
            const int32_t year = TakeNumber(rest, '-');
            const int32_t month = TakeNumber(rest, '-');
            const int32_t day = TakeNumber(rest, ' ');
            if (year != 0 || month != 0 || day != 0) {
                date = EncodeDate(year, month, day);
            }
        }
        if (rest.find(':') != std::string::npos) {
            const int32_t hour = TakeNumber(rest, ':');
            const int32_t minute = TakeNumber(rest, ':');
            const int32_t second = TakeNumber(rest, '.');
            const int32_t ms = PieceToNumber(rest);
            date = CombineDateAndTime(date, EncodeTime(hour, minute, second, ms));
        }
        return date;
    });
}

std::string DateTimeToISO(TDateTime d)
{
    uint16_t year, month, day, hour, minute, second, ms;
    DecodeDate(d, year, month, day);
    DecodeTime(d, hour, minute, second, ms);
    const std::string date = std::trunc(d) == 0
                                 ? "00000000"
                                 : ZeroPad(ToDecimal(year), 4) + TwoDigits(month) + TwoDigits(day);
    return date + "T" + TwoDigits(hour) + ":" + TwoDigits(minute) + ":" + TwoDigits(second);
}

TDateTime ISOToDateTime(const std::string& s)
{
    return ReadDateText("Invalid DateTime format.", [&] {
        const size_t t = s.find('T');
        std::string rest = s;
        TDateTime date = 0;
        if (t != std::string::npos || s.find(':') == std::string::npos) {
            int32_t year, month, day;
            if (s.find('-') == std::string::npos) {
                std::string part = s.substr(0, t);
                year = TakeDigits(part, 4);
                month = TakeDigits(part, 2);
                day = TakeDigits(part, 2);
                if (!part.empty()) {
                    throw EConvertError("Date Part too long.");
                }
                rest = t == std::string::npos ? std::string() : s.substr(t + 1);
            } else {
                year = TakeNumber(rest, '-');
                month = TakeNumber(rest, '-');
                day = TakeNumber(rest, 'T');
            }
            if (year != 0 || month != 0 || day != 0) {
                date = EncodeDate(year, month, day);
            }
        }
        const int32_t hour = TakeNumber(rest, ':');
        const int32_t minute = TakeNumber(rest, ':');
        const int32_t second = TakeNumber(rest, '.');
        const int32_t ms = TakeNumber(rest, '+');
        if (hour != 0 || minute != 0 || second != 0 || ms != 0) {
            date = CombineDateAndTime(date, EncodeTime(hour, minute, second, ms));
        }
        return date;
    });
}
