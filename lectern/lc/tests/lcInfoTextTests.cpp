#include "lectern/lc/lcInfo.h"
#include "lectern/lc/tests/ExpectError.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

template <class Fn>
void ExpectConvertError(Fn fn, const std::string& message)
{
    ExpectError<EConvertError>(fn, message);
}

// ---- search and slicing ------------------------------------------------------------------

TEST(LcInfoSearch, PositionsAreOneBasedAndMissesAreMinusOne)
{
    EXPECT_EQ(FindCharPos('b', "abcb"), 2);
    EXPECT_EQ(FindCharPos('z', "abc"), -1);
    EXPECT_EQ(FindCharPos('a', ""), -1);

    struct Case { char c; const char* s; int start; int expected; };
    const Case fromCases[] = {
        {'b', "abcb", 1, 2}, {'b', "abcb", 3, 4}, {'b', "abcb", 4, 4}, {'b', "abcb", 5, -1},
        {'b', "abcb", 0, 2}, {'b', "abcb", -7, 2}, {'a', "", 1, -1},
    };
    for (const Case& c : fromCases) {
        EXPECT_EQ(FindCharFrom(c.c, c.s, c.start), c.expected) << c.s << " from " << c.start;
    }
}

TEST(LcInfoSearch, FindSubstrPosFastPathsAgreeWithTheGeneralSearch)
{
    struct Case { const char* sub; const char* s; int start; int expected; };
    const Case cases[] = {
        {"", "abc", 1, -1},     {"abcd", "abc", 1, -1}, {"c", "abc", 1, 3},    {"c", "abc", 4, -1},
        {"bc", "abcbc", 1, 2},  {"bc", "abcbc", 3, 4},  {"bc", "abcbc", 5, -1}, {"cb", "abcbc", -2, 3},
        {"abc", "xabcabc", 3, 5}, {"aab", "aaab", 1, 2}, {"b", "ab", 0, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindSubstrPos(c.sub, c.s, c.start), c.expected) << c.sub << " in " << c.s << " from " << c.start;
    }
    // Every pattern of one to three letters of a small alphabet at every start, against
    // std::string::find.
    const std::string text = "abaabbbabaaabab";
    const std::string letters = "ab";
    std::vector<std::string> patterns;
    for (char x : letters) {
        patterns.emplace_back(1, x);
        for (char y : letters) {
            patterns.push_back({x, y});
            for (char z : letters) {
                patterns.push_back({x, y, z});
            }
        }
    }
    for (const std::string& p : patterns) {
        for (int start = 1; start <= static_cast<int>(text.size()) + 1; ++start) {
            const size_t ref = text.find(p, static_cast<size_t>(start - 1));
            const int expected = ref == std::string::npos ? -1 : static_cast<int>(ref) + 1;
            ASSERT_EQ(FindSubstrPos(p, text, start), expected) << p << " from " << start;
        }
    }
}

TEST(LcInfoSearch, TrimmedCopyCutsControlsAndBlanksAndClampsTheSlice)
{
    struct Case { std::string s; int start; int count; const char* expected; };
    const Case cases[] = {
        {" \t ab c\r\n", 1, 100, "ab c"}, {"  abc  ", 3, 2, "ab"}, {"abc", 2, 1, "b"},
        {"   ", 1, 3, ""},               {"abc", 4, 1, ""},       {"abc", 0, 2, "ab"},
        {"abc", -5, 2, "ab"},            {"abc", 2, -1, ""},      {"abc", 2, 0x7FFFFFFF, "bc"},
        {std::string("\x01" "a\x1F", 3), 1, 3, "a"}, {"\x80x", 1, 2, "\x80x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrimmedCopy(c.s, c.start, c.count), c.expected) << c.s << " " << c.start << " " << c.count;
    }
}

// ---- URL decoding ----------------------------------------------------------------------------

TEST(LcInfoUrl, DecodesPlusAndEscapesAndKeepsBrokenEscapesWhenNotStrict)
{
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"a+b%41%4", "a bA%4"}, {"%7e%7E", "~~"}, {"%", "%"}, {"%g1x", "%g1x"}, {"100%", "100%"},
        {"%%41", "%%41"}, {"%2B+", "+ "}, {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeUrlText(c.in, false), c.out) << c.in;
    }
    EXPECT_EQ(DecodeUrlText(std::string("%00", 3), true), std::string(1, '\0'));
    EXPECT_EQ(DecodeUrlText("a+b%41", true), "a bA");
    ExpectConvertError([] { DecodeUrlText("a+b%41%4", true); }, "Error decoding URL: a+b%41%4");
    ExpectConvertError([] { DecodeUrlText("%zz", true); }, "Error decoding URL: %zz");
}

// ---- Base64 ----------------------------------------------------------------------------------

std::string Bytes(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>(i * 37 + 11);
    }
    return s;
}

TEST(LcInfoBase64, EncodesInLinesOf76WithPadding)
{
    struct Case { const char* in; const char* out; };
    const Case cases[] = {{"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {"abcd", "YWJjZA=="}};
    for (const Case& c : cases) {
        EXPECT_EQ(Base64EncodeText(c.in), c.out) << c.in;
    }
    const std::string line = Base64EncodeText(std::string(57, 'x'));
    EXPECT_EQ(line.size(), 76u);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    const std::string two = Base64EncodeText(std::string(58, 'x'));
    ASSERT_EQ(two.size(), 76u + 2 + 4);
    EXPECT_EQ(two.substr(76, 2), "\r\n");
    EXPECT_EQ(two.substr(78), "eA==");
    for (size_t n = 1; n <= 300; ++n) {
        const std::string data = Bytes(n);
        const std::string text = Base64EncodeText(data);
        ASSERT_EQ(text.size(), (n + 2) / 3 * 4 + (n - 1) / 57 * 2) << n;
        ASSERT_EQ(Base64DecodeText(text), data) << n;
    }
}

TEST(LcInfoBase64, DecodingSkipsEverythingOutsideTheAlphabet)
{
    const std::string data = Bytes(100);
    const std::string plain = Base64EncodeText(data);
    std::string noisy;
    for (size_t i = 0; i < plain.size(); ++i) {
        noisy += plain[i];
        if (i % 5 == 0) {
            noisy += " =\r\n\t\x80";
        }
    }
    EXPECT_EQ(Base64DecodeText(noisy), data);
    struct Case { const char* in; const char* out; };
    const Case cases[] = {{"YWJj", "abc"}, {"YWI", "ab"}, {"YQ", "a"}, {"Y", ""}, {"YW=Jj", "abc"}, {"===", ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(Base64DecodeText(c.in), c.out) << c.in;
    }
}

// ---- UTF-8 -----------------------------------------------------------------------------------

TEST(LcInfoUtf8, EncodesEachUnitByItself)
{
    struct Case { std::u16string in; std::string out; };
    const Case cases[] = {
        {u"", ""},
        {u"A", "A"},
        {u"\u00E9", "\xC3\xA9"},
        {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\U0001F600", "\xED\xA0\xBD\xED\xB8\x80"},  // the two halves, three bytes each
        {std::u16string(1, u'\0'), std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8EncodeText(c.in), c.out);
    }
}

TEST(LcInfoUtf8, DecodesOneToFourByteSequencesAndRejectsInvalidOnes)
{
    struct Case { std::string in; std::u16string out; };
    const Case cases[] = {
        {"A\xC3\xA9\xE2\x82\xAC", u"A\u00E9\u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},                 // four bytes: a surrogate pair
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"\xED\xA0\xBD\xED\xB8\x80", u"\U0001F600"},         // the encoder's halves come back
        {"\xC3", u""},                                        // cut off at the end
        {"\xC3" "A", u""},                                    // bad continuation
        {"a\x80", u""},                                       // stray continuation byte
        {"\xBF", u""},
        {"\xE2\x82", u""},
        {"\xF0\x9F\x98", u""},
        {"\xF4\x90\x80\x80", u""},                            // beyond U+10FFFF
        {"\xF8\x88\x80\x80\x80", u""},                        // no five-byte sequences
        {"\xFF", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8DecodeText(c.in), c.out) << testing::PrintToString(c.in);
    }
    EXPECT_EQ(Utf8DecodeSlice("x\xC3\xA9y", 2, 2), u"\u00E9");
    EXPECT_EQ(Utf8DecodeSlice("x\xC3\xA9y", 2, 1), u"");  // the slice cuts the sequence
    EXPECT_EQ(Utf8DecodeSlice("abc", 0, 2), u"ab");
    EXPECT_EQ(Utf8DecodeSlice("abc", 3, 99), u"c");
    EXPECT_EQ(Utf8DecodeSlice("abc", 9, 1), u"");
}

TEST(LcInfoUtf8, BufferFormsNeverWritePastTheirDestination)
{
    // Exact-size heap buffers: AddressSanitizer reports a byte written past them.
    const std::u16string wide = u"a\u00E9\u20AC";  // 1 + 2 + 3 bytes
    EXPECT_EQ(WideToUtf8Buffer(nullptr, 0, wide.data(), 3), 7);
    struct WideCase { int size; int result; std::string text; };
    const WideCase wideCases[] = {
        {1, 1, ""}, {2, 2, "a"}, {3, 2, "a"}, {4, 4, "a\xC3\xA9"}, {6, 4, "a\xC3\xA9"}, {7, 7, "a\xC3\xA9\xE2\x82\xAC"},
    };
    for (const WideCase& c : wideCases) {
        auto dst = std::make_unique<char[]>(static_cast<size_t>(c.size));
        EXPECT_EQ(WideToUtf8Buffer(dst.get(), c.size, wide.data(), 3), c.result) << c.size;
        EXPECT_EQ(std::string(dst.get()), c.text) << c.size;  // a sequence is never cut
    }
    auto none = std::make_unique<char[]>(0);
    EXPECT_EQ(WideToUtf8Buffer(none.get(), 0, wide.data(), 3), 0);

    const std::string utf8 = "a\xF0\x9F\x98\x80" "b";  // a, a surrogate pair, b
    EXPECT_EQ(Utf8ToWideBuffer(nullptr, 0, utf8.data(), 6), 5);
    struct Utf8Case { int count; int result; std::u16string text; };
    const Utf8Case utf8Cases[] = {
        {1, 1, u""}, {2, 2, u"a"}, {3, 2, u"a"}, {4, 4, u"a\U0001F600"}, {5, 5, u"a\U0001F600b"},
    };
    for (const Utf8Case& c : utf8Cases) {
        auto dst = std::make_unique<char16_t[]>(static_cast<size_t>(c.count));
        EXPECT_EQ(Utf8ToWideBuffer(dst.get(), c.count, utf8.data(), 6), c.result) << c.count;
        EXPECT_EQ(std::u16string(dst.get()), c.text) << c.count;
    }
    auto noUnits = std::make_unique<char16_t[]>(0);
    EXPECT_EQ(Utf8ToWideBuffer(noUnits.get(), 0, utf8.data(), 6), 0);
    EXPECT_EQ(Utf8ToWideBuffer(noUnits.get(), 0, "\xC3", 1), -1);
}

// ---- numbers and dates under a locale whose decimal point is "," ------------------------------

// Switches the process (host: the C library's locale; Windows: the user's decimal separator
// in the registry and the C runtime's locale) to German number formats for one test.
class CommaLocale : public testing::Test {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        char saved[16] = {};
        GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved, sizeof saved);
        FSavedDecimal = saved;
        ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, ","));
        char now[16] = {};
        GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, now, sizeof now);
        ASSERT_STREQ(now, ",");
        const char* name = "German_Germany.1252";
#else
        const char* name = "de_DE.UTF-8";
#endif
        if (!std::setlocale(LC_ALL, name)) {
            GTEST_SKIP() << "locale " << name << " is not installed (scripts/setup installs locales-all)";
        }
        ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    }
    void TearDown() override
    {
        std::setlocale(LC_ALL, "C");
#ifdef _WIN32
        if (!FSavedDecimal.empty()) {
            SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, FSavedDecimal.c_str());
        }
#endif
    }

private:
    std::string FSavedDecimal;
};

TEST_F(CommaLocale, IntegersAsTextAndBack)
{
    EXPECT_EQ(IntegerToText(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(IntegerToText(1234567), "1234567");
    EXPECT_EQ(CardinalToText(4294967295u), "4294967295");
    EXPECT_EQ(LargeIntToText(-9223372036854775807LL - 1), "-9223372036854775808");

    struct Case { const char* s; int32_t value; };
    const Case good[] = {
        {"0", 0}, {"-17", -17}, {"+17", 17}, {"  42", 42}, {"$FF", 255}, {"$ffffffff", -1}, {"0x10", 16},
        {"-$10", -16}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
    };
    for (const Case& c : good) {
        EXPECT_EQ(TextToInteger(c.s), c.value) << c.s;
    }
    for (const char* bad : {"", " ", "-", "$", "12a", "1.5", "1,5", "42 ", "2147483648", "-2147483649", "$100000000"}) {
        ExpectConvertError([bad] { TextToInteger(bad); }, std::string("'") + bad + "' is not a valid integer value");
        EXPECT_EQ(TextToIntegerDef(bad, -99), -99) << bad;
    }
    EXPECT_EQ(TextToIntegerDef("12", -99), 12);
    EXPECT_EQ(TextToLargeInt("-9223372036854775808"), -9223372036854775807LL - 1);
    EXPECT_EQ(TextToLargeInt("$7FFFFFFFFFFFFFFF"), 9223372036854775807LL);
    EXPECT_EQ(TextToLargeInt("4294967296"), 4294967296LL);
    ExpectConvertError([] { TextToLargeInt("9223372036854775808"); },
                       "'9223372036854775808' is not a valid integer value");
}

TEST_F(CommaLocale, RealsAndCurrencyUseThePoint)
{
    struct FloatCase { double value; const char* text; };
    const FloatCase floats[] = {
        {0, "0"}, {1.5, "1.5"}, {-0.25, "-0.25"}, {0.1 + 0.2, "0.3"}, {100, "100"}, {1e14, "100000000000000"},
        {123456789012345.0, "123456789012345"}, {1e15, "1E15"}, {1.5e20, "1.5E20"}, {0.0001, "0.0001"},
        {0.00001, "0.00001"}, {0.000001, "1E-6"}, {-1.25e-7, "-1.25E-7"}, {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"}, {1234.5678, "1234.5678"},
    };
    for (const FloatCase& c : floats) {
        EXPECT_EQ(FloatToText(c.value), c.text);
        // 15 digits carry the value back to within its last digit.
        EXPECT_NEAR(TextToFloat(c.text), c.value, std::fabs(c.value) * 1e-15) << c.text;
    }
    struct ReadCase { const char* text; double value; };
    const ReadCase reads[] = {
        {" 1.5 ", 1.5}, {"+2", 2}, {".5", 0.5}, {"5.", 5}, {"1e3", 1000}, {"-1.5E-2", -0.015}, {"1e-400", 0},
    };
    for (const ReadCase& c : reads) {
        EXPECT_DOUBLE_EQ(TextToFloat(c.text), c.value) << c.text;
    }
    for (const char* bad : {"", "1,5", "1.5.2", "e5", "1e", "abc", "inf", "nan", "1e400", "0x10", "1 5"}) {
        ExpectConvertError([bad] { TextToFloat(bad); }, std::string("'") + bad + "' is not a valid floating point value");
    }

    struct CurrencyCase { int64_t value; const char* text; };
    const CurrencyCase currencies[] = {
        {0, "0"}, {15000, "1.5"}, {-5, "-0.0005"}, {12345678, "1234.5678"}, {10000, "1"}, {1200, "0.12"},
        {9223372036854775807LL, "922337203685477.5807"}, {-9223372036854775807LL - 1, "-922337203685477.5808"},
    };
    for (const CurrencyCase& c : currencies) {
        EXPECT_EQ(CurrencyToText(c.value), c.text);
        EXPECT_EQ(TextToCurrency(c.text), c.value) << c.text;
    }
    EXPECT_EQ(TextToCurrency("0.00005"), 1);
    EXPECT_EQ(TextToCurrency("-0.00004"), 0);
    EXPECT_EQ(TextToCurrency("1.5e2"), 1500000);
    for (const char* bad : {"1,5", "922337203685477.5808", "1e20", "x"}) {
        ExpectConvertError([bad] { TextToCurrency(bad); },
                           std::string("'") + bad + "' is not a valid floating point value");
    }
}

TEST_F(CommaLocale, DateTimeTextIsUnpaddedAndReadsBack)
{
    const TDateTime jan2 = EncodeDate(2024, 1, 2);
    const TDateTime t = EncodeTime(3, 4, 5, 6);
    struct Case { TDateTime value; const char* text; };
    const Case cases[] = {
        {0, ""}, {1.5, "1899-12-31 12:0:0.0"}, {0.5, "12:0:0.0"}, {jan2, "2024-1-2"},
        {jan2 + t, "2024-1-2 3:4:5.6"}, {EncodeDate(1, 1, 1), "1-1-1"}, {EncodeDate(9999, 12, 31) + EncodeTime(23, 59, 59, 999), "9999-12-31 23:59:59.999"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DateTimeToText(c.value), c.text);
        if (c.value != 0) {
            EXPECT_NEAR(TextToDateTime(c.text), c.value, 1e-9) << c.text;
        }
    }
    struct ReadCase { const char* text; TDateTime value; };
    const ReadCase reads[] = {
        {"2024-01-02", jan2}, {"2024-1-2   3:4:5", jan2 + EncodeTime(3, 4, 5, 0)}, {"3:4", EncodeTime(3, 4, 0, 0)},
        {"0-0-0 1:0:0.0", EncodeTime(1, 0, 0, 0)}, {"1899-12-29 6:0:0.0", -1 - 0.25}, {"", 0},
    };
    for (const ReadCase& c : reads) {
        EXPECT_NEAR(TextToDateTime(c.text), c.value, 1e-9) << c.text;
    }
    ExpectConvertError([] { TextToDateTime("x-1-1"); }, "Invalid DateTime format.\r\nInvalid date format.");
    ExpectConvertError([] { TextToDateTime("2024-13-1"); }, "Invalid argument to date encode\r\nInvalid date format.");
    ExpectConvertError([] { TextToDateTime("25:0:0"); }, "Invalid argument to time encode\r\nInvalid date format.");
    ExpectConvertError([] { TextToDateTime("1:2:3.4 5"); }, "Invalid DateTime format.\r\nInvalid date format.");
}

TEST_F(CommaLocale, IsoTextIsPaddedAndReadsBack)
{
    const TDateTime jan2 = EncodeDate(2024, 1, 2);
    struct Case { TDateTime value; const char* text; };
    const Case cases[] = {
        {0, "00000000T00:00:00"}, {1.5, "18991231T12:00:00"}, {0.75, "00000000T18:00:00"},
        {jan2, "20240102T00:00:00"}, {jan2 + EncodeTime(3, 4, 5, 600), "20240102T03:04:05"},
        {EncodeDate(987, 6, 5), "09870605T00:00:00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DateTimeToISO(c.value), c.text);
    }
    struct ReadCase { const char* text; TDateTime value; };
    const ReadCase reads[] = {
        {"20240102", jan2},
        {"20240102T03:04:05", jan2 + EncodeTime(3, 4, 5, 0)},
        {"2024-01-02T03:04:05.250+01:00", jan2 + EncodeTime(3, 4, 5, 250)},
        {"2024-1-2", jan2},
        {"03:04:05", EncodeTime(3, 4, 5, 0)},
        {"00000000T18:00:00", 0.75},
        {"18991229T06:00:00", -1.25},
        {"T", 0},
    };
    for (const ReadCase& c : reads) {
        EXPECT_NEAR(ISOToDateTime(c.text), c.value, 1e-9) << c.text;
    }
    // Month and day 0 with a year make no date.
    ExpectConvertError([] { ISOToDateTime("2024"); }, "Invalid argument to date encode\r\nInvalid DateTime format.");
    ExpectConvertError([] { ISOToDateTime("2024010203"); }, "Date Part too long.\r\nInvalid DateTime format.");
    ExpectConvertError([] { ISOToDateTime("2024a102"); }, "Invalid DateTime format.\r\nInvalid DateTime format.");
    ExpectConvertError([] { ISOToDateTime("20240102T24:00:00"); },
                       "Invalid argument to time encode\r\nInvalid DateTime format.");
}

TEST(LcInfoText, ZeroPadFillsToWidth)
{
    EXPECT_EQ(ZeroPad("7", 3), "007");
    EXPECT_EQ(ZeroPad("1234", 3), "1234");
    EXPECT_EQ(ZeroPad("", 2), "00");
    EXPECT_EQ(ZeroPad("5", -1), "5");
}

}  // namespace
