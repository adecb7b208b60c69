// TFontP's font text and SaveFont/LoadFont on a settings file of this test's own.
#include "FontP.h"

#include "Utf8.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Ansi(const std::u16string& text) { return std::string(text.begin(), text.end()); }

struct FontValues {
    std::string name;
    TColor color;
    int size;
    TFontStyles style;
};

void SetFont(TFont& font, const FontValues& v)
{
    font.SetName(v.name);
    font.SetColor(v.color);
    font.SetSize(v.size);
    font.SetStyle(v.style);
}

void ExpectFont(const TFont& font, const FontValues& v, const std::string& label)
{
    EXPECT_EQ(Ansi(font.Name()), v.name) << label;
    EXPECT_EQ(font.Color(), v.color) << label;
    EXPECT_EQ(font.Size(), v.size) << label;
    EXPECT_EQ(font.Style(), v.style) << label;
}

constexpr TColor kBtnFace = static_cast<TColor>(0x8000000F);

TEST(FontP, StyleLettersBothWays)
{
    const struct {
        TFontStyles style;
        const char16_t* letters;
    } written[] = {{0, u""}, {fsBold, u"b"}, {fsBold | fsUnderline, u"bu"},
                   {fsStrikeOut | fsItalic, u"is"}, {fsBold | fsItalic | fsUnderline | fsStrikeOut, u"bius"}};
    TFontP font;
    for (const auto& c : written) {
        font.SetStyle(c.style);
        EXPECT_EQ(Ansi(font.StyleToStr()), Ansi(c.letters));
    }
    const struct {
        const char16_t* text;
        TFontStyles style;
    } read[] = {{u"us", fsUnderline | fsStrikeOut}, {u"sib", fsBold | fsItalic | fsStrikeOut}, {u"xbyz", fsBold},
                {u"BIUS", 0}, {u"", 0}, {u"b,b b", fsBold}};
    for (const auto& c : read) {
        font.SetStyle(fsItalic);
        font.StrToStyle(c.text);
        EXPECT_EQ(font.Style(), c.style) << Ansi(c.text);
    }
}

TEST(FontP, TextOfAFont)
{
    TFontP font;
    SetFont(font, {"Arial", 255, 10, fsBold | fsItalic});
    EXPECT_EQ(Ansi(font.GetAsString()), "Arial,255,10,bi");
    SetFont(font, {"Courier New", kBtnFace, 8, 0});
    EXPECT_EQ(Ansi(font.GetAsString()), "Courier New,-2147483633,8,");
}

TEST(FontP, SetFromStringSetsPartsInOrderAndStopsAtABadNumber)
{
    const FontValues start{"Tahoma", 7, 9, fsUnderline};
    const struct {
        const char16_t* text;
        bool result;
        FontValues after;
    } cases[] = {
        {u"Arial,255,10,bi", true, {"Arial", 255, 10, fsBold | fsItalic}},
        {u"Arial,255,10,bi,extra", true, {"Arial", 255, 10, fsBold | fsItalic}},
        {u"Courier New,-2147483633,8,", true, {"Courier New", kBtnFace, 8, 0}},
        {u"Arial,+3,12,s", true, {"Arial", 3, 12, fsStrikeOut}},
        {u"Arial,255,10", false, start},
        {u"", false, start},
        {u"Arial,x,10,b", false, {"Arial", 7, 9, fsUnderline}},
        {u"Arial,255,10.5,b", false, {"Arial", 255, 9, fsUnderline}},
        {u"Arial,2147483648,10,b", false, {"Arial", 7, 9, fsUnderline}},
        {u"Arial, 255,10,b", false, {"Arial", 7, 9, fsUnderline}},
        {u"Arial,-,10,b", false, {"Arial", 7, 9, fsUnderline}},
    };
    for (const auto& c : cases) {
        TFontP font;
        SetFont(font, start);
        EXPECT_EQ(font.SetFromString(c.text), c.result) << Ansi(c.text);
        ExpectFont(font, c.after, Ansi(c.text));
    }
}

class FontFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileA(kPath);
        wchar_t full[MAX_PATH] = {};
        GetFullPathNameW(L"fontp-test.set", MAX_PATH, full, nullptr);
        ini = std::make_unique<TIniFile>(reinterpret_cast<const char16_t*>(full));
        char fullAnsi[MAX_PATH] = {};
        GetFullPathNameA(kPath, MAX_PATH, fullAnsi, nullptr);
        fullPath = fullAnsi;
    }
    void TearDown() override { DeleteFileA(kPath); }

    static std::string RawFile()
    {
        std::ifstream in(kPath, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static constexpr const char* kPath = "fontp-test.set";
    std::unique_ptr<TIniFile> ini;
    std::string fullPath;  // for the 8-bit profile calls, which look for a bare name elsewhere
};

TEST_F(FontFile, SavedLineIsTheFontTextAndEveryFontReadsBackEqual)
{
    TFont font;
    SetFont(font, {"Arial", 255, 10, fsBold | fsItalic});
    SaveFont(&font, ini.get(), u"Fonts", u"Title");
    EXPECT_NE(RawFile().find("[Fonts]\r\nTitle=Arial,255,10,bi\r\n"), std::string::npos) << RawFile();

    const FontValues fonts[] = {
        {"Arial", 255, 10, fsBold | fsItalic},
        {"Courier New", kBtnFace, 8, 0},
        {"Times New Roman", clWhite, 36, fsBold | fsItalic | fsUnderline | fsStrikeOut},
        {"Tahoma", static_cast<TColor>(0x80000008), 11, fsUnderline},
        {"Small", 0, 1, fsStrikeOut},
        {"Big", 0x123456, 72, 0},
    };
    int n = 0;
    for (const FontValues& v : fonts) {
        const std::u16string key = u"Font" + std::u16string(1, static_cast<char16_t>(u'A' + n++));
        TFont saved;
        SetFont(saved, v);
        SaveFont(&saved, ini.get(), u"Fonts", key);
        TFont loaded;
        ASSERT_TRUE(LoadFont(&loaded, ini.get(), u"Fonts", key)) << v.name;
        ExpectFont(loaded, v, v.name);
    }
}

TEST_F(FontFile, LoadFontLeavesTheFontAloneUnlessTheLineReads)
{
    ini->WriteString(u"F", u"Five", u"Verdana,16711680,14,u,ignored");
    ini->WriteString(u"F", u"Empty", u"");
    ini->WriteString(u"F", u"Three", u"Verdana,1,2");
    ini->WriteString(u"F", u"Half", u"Verdana,1,10.5,b");
    const FontValues start{"Tahoma", 7, 9, fsUnderline};
    const struct {
        const char16_t* key;
        bool result;
        FontValues after;
    } cases[] = {
        {u"Five", true, {"Verdana", 16711680, 14, fsUnderline}},
        {u"Missing", false, start},
        {u"Empty", false, start},
        {u"Three", false, start},
        {u"Half", false, start},
    };
    for (const auto& c : cases) {
        TFont font;
        SetFont(font, start);
        EXPECT_EQ(LoadFont(&font, ini.get(), u"F", c.key), c.result) << Ansi(c.key);
        ExpectFont(font, c.after, Ansi(c.key));
    }
}

// Face names the system code page cannot hold (Cyrillic, CJK) pass through the font as they
// are, both ways: from the font text into the font and its platform font, and back.
const std::u16string kWideNames[] = {u"Шрифт", u"宋体", u"ＭＳ ゴシック"};

TEST(FontP, FaceNamesBeyondTheCodePageReachThePlatformFont)
{
    for (const std::u16string& name : kWideNames) {
        TFontP font;
        const std::u16string text = name + u",255,10,b";
        ASSERT_TRUE(font.SetFromString(text)) << Utf8(text);
        EXPECT_TRUE(font.GetAsString() == text) << Utf8(font.GetAsString());
        LOGFONTW made{};
        ASSERT_EQ(GetObjectW(font.Handle(), sizeof made, &made), static_cast<int>(sizeof made));
        const std::u16string face = reinterpret_cast<const char16_t*>(made.lfFaceName);
        EXPECT_TRUE(face == name) << Utf8(face);
    }
}

// A settings file in UTF-16 (it starts with the byte-order mark), as one holding such names is.
TEST_F(FontFile, FaceNamesBeyondTheCodePageBothWays)
{
    {
        std::ofstream out(kPath, std::ios::binary);
        out.write("\xFF\xFE", 2);
    }
    for (const std::u16string& name : kWideNames) {
        SCOPED_TRACE(Utf8(name));
        const std::u16string line = name + u",0,10,b";
        ini->WriteString(u"Fonts", u"Stored", line);
        TFont font;
        ASSERT_TRUE(LoadFont(&font, ini.get(), u"Fonts", u"Stored"));
        SaveFont(&font, ini.get(), u"Fonts", u"Saved");
        const std::u16string saved = ini->ReadString(u"Fonts", u"Saved", u"");
        EXPECT_TRUE(saved == line) << Utf8(saved);
        const std::u16string entry = u"Saved=" + line;
        const std::string raw = RawFile();
        EXPECT_NE(raw.find(std::string(reinterpret_cast<const char*>(entry.data()), entry.size() * 2)), std::string::npos);
    }
}

// The settings file as SaveFont finds it: none, empty, written by the 8-bit profile calls
// (code-page text that other programs read), or UTF-16 already.
enum class TStartFile { None, Empty, EightBit, Utf16 };

const struct {
    const char* label;
    TStartFile start;
} kStartFiles[] = {
    {"no file", TStartFile::None},
    {"empty file", TStartFile::Empty},
    {"file of the 8-bit calls", TStartFile::EightBit},
    {"UTF-16 file", TStartFile::Utf16},
};

// What another program wrote with the 8-bit calls and reads back with them.
constexpr const char* kOtherSection = "Other";
constexpr const char* kOtherKey = "Name";
constexpr const char* kOtherValue = "Caf\xE9 cr\xE8me";

void MakeStartFile(TStartFile start, const std::string& path)
{
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // the platform's cache
    DeleteFileA(path.c_str());
    if (start == TStartFile::None) {
        return;
    }
    if (start == TStartFile::EightBit) {
        WritePrivateProfileStringA(kOtherSection, kOtherKey, kOtherValue, path.c_str());
        return;
    }
    std::ofstream out(path, std::ios::binary);
    if (start == TStartFile::Utf16) {
        out.write("\xFF\xFE", 2);
    }
}

std::string EightBitRead(const std::string& path, const char* section, const char* key)
{
    char value[256] = {};
    GetPrivateProfileStringA(section, key, "(none)", value, sizeof value, path.c_str());
    return value;
}

// A face name the code page cannot hold is kept in every file, which then holds it as UTF-16;
// what the 8-bit calls had written there still reads the same through them.
TEST_F(FontFile, FaceNamesBeyondTheCodePageAreKeptInEveryFile)
{
    for (const auto& file : kStartFiles) {
        for (const std::u16string& name : kWideNames) {
            SCOPED_TRACE(std::string(file.label) + ", " + Utf8(name));
            MakeStartFile(file.start, fullPath);
            TFont font;
            font.SetName(name);
            font.SetColor(0);
            font.SetSize(8);
            font.SetStyle(0);
            SaveFont(&font, ini.get(), u"Fonts", u"Label");
            TFont loaded;
            ASSERT_TRUE(LoadFont(&loaded, ini.get(), u"Fonts", u"Label"));
            EXPECT_TRUE(loaded.Name() == name) << Utf8(loaded.Name());
            const std::string raw = RawFile();
            const std::u16string entry = u"Label=" + name + u",0,8,";
            EXPECT_EQ(raw.substr(0, 2), "\xFF\xFE");
            EXPECT_NE(raw.find(std::string(reinterpret_cast<const char*>(entry.data()), entry.size() * 2)),
                      std::string::npos);
            if (file.start == TStartFile::EightBit) {
                EXPECT_EQ(EightBitRead(fullPath, kOtherSection, kOtherKey), kOtherValue);
                EXPECT_TRUE(ini->ReadString(u"Other", u"Name", u"") == u"Caf\u00E9 cr\u00E8me");
            }
        }
    }
}

// Text of the code page leaves a file of the 8-bit calls as those calls write it: other programs
// may read it as bytes. (Which form Wine gives an empty file depends on the files it saw before.)
TEST_F(FontFile, CodePageNamesLeaveAFileOfTheEightBitCallsAsItWas)
{
    for (const auto& file : kStartFiles) {
        if (file.start != TStartFile::None && file.start != TStartFile::EightBit) {
            continue;
        }
        SCOPED_TRACE(file.label);
        MakeStartFile(file.start, fullPath);
        TFont font;
        SetFont(font, {"Caf\xE9 Sans", 0, 8, 0});
        SaveFont(&font, ini.get(), u"Fonts", u"Label");
        const std::string saved = RawFile();
        MakeStartFile(file.start, fullPath);
        WritePrivateProfileStringA("Fonts", "Label", "Caf\xE9 Sans,0,8,", fullPath.c_str());
        EXPECT_EQ(saved, RawFile());
    }
}

// A file the text cannot be put in (another program holds it open for writing, sharing it only
// with readers) refuses it: SaveFont raises the settings file's error and the file stays as it
// was.
TEST_F(FontFile, AFileThatCanNotTakeTheNameRaisesAndStaysAsItWas)
{
    MakeStartFile(TStartFile::EightBit, fullPath);
    const std::string before = RawFile();
    HANDLE held = CreateFileA(fullPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    TFont font;
    font.SetName(kWideNames[0]);
    EXPECT_THROW(SaveFont(&font, ini.get(), u"Fonts", u"Label"), EIniFileException);
    CloseHandle(held);
    EXPECT_EQ(RawFile(), before);
}

TEST(FontFileErrors, SaveFontPassesOnTheSettingsFilesError)
{
    TIniFile ini(u"Z:\\no such folder\\x\\y.set");
    TFont font;
    EXPECT_THROW(SaveFont(&font, &ini, u"S", u"K"), EIniFileException);
}

}  // namespace
