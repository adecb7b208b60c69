#include "lectern/app/uBookSettings.h"

#include <gtest/gtest.h>

// Bounds as their four numbers in failure messages.
void PrintTo(const TWindowBounds& b, std::ostream* out)
{
    *out << "{" << b.Left << ", " << b.Top << ", " << b.Width << ", " << b.Height << "}";
}

namespace {

TStringList Lines(const std::string& text)
{
    TStringList list;
    list.SetText(text);
    return list;
}

TEST(BookSettings, SwitchesAreOnOnlyForOneAndTheFirstLineOfANameWins)
{
    const TBookSettings s = ReadBookSettings(Lines(
        "title=First\r\nTitle=Second\r\nUserCopy=1\r\nUserPrint=true\r\nDebug= 1\r\nSizeable=1 \r\n"
        "DISPLAYPAGETITLE=1\r\nCommandline=2\r\nCharset=x\r\nOpenExternal=1\r\nINDEX=start.htm\r\n"));
    EXPECT_EQ(s.Title, "First");
    EXPECT_TRUE(s.UserCopy);
    EXPECT_FALSE(s.UserPrint);
    EXPECT_FALSE(s.Debug);
    EXPECT_FALSE(s.Sizeable);
    EXPECT_TRUE(s.DisplayPageTitle);
    EXPECT_FALSE(s.Commandline);
    EXPECT_TRUE(s.OpenExternal);
    EXPECT_EQ(s.Charset, 1);
    EXPECT_EQ(s.Index, "start.htm");
    EXPECT_EQ(s.ProducerID, "tomekit.7");
    EXPECT_FALSE(s.HasMainMenu);
    EXPECT_FALSE(s.HasContextMenu);

    const TBookSettings kiosk = ReadBookSettings(Lines("KioskMode=1\nOpenExternal=1\nProducerID=acme\nCharset=238\n"));
    EXPECT_TRUE(kiosk.KioskMode);
    EXPECT_FALSE(kiosk.OpenExternal);
    EXPECT_EQ(kiosk.ProducerID, "acme");
    EXPECT_EQ(kiosk.Charset, 238);
}

TEST(BookSettings, SectionsEndAtBlankBracketOrEnd)
{
    const TBookSettings s = ReadBookSettings(Lines(
        "Title=T\n[mainmenu]\n0 0 Guide\n1 1 Back\t:back\n1 2 Contents\ttoc.html\n  \n1 1 not in\n"
        "[ContextMenu]\n1 1 Copy\t:copy\n[Other]\n1 1 not in\n"));
    ASSERT_TRUE(s.HasMainMenu);
    EXPECT_EQ(s.MainMenuCaption, "Guide");
    EXPECT_EQ(s.MainMenuLines, (std::vector<std::string>{"1 1 Back\t:back", "1 2 Contents\ttoc.html"}));
    ASSERT_TRUE(s.HasContextMenu);
    EXPECT_EQ(s.ContextMenuLines, std::vector<std::string>{"1 1 Copy\t:copy"});

    const TBookSettings last = ReadBookSettings(Lines("[ContextMenu]\n1 1 Print\t:print\n[MainMenu]"));
    EXPECT_TRUE(last.HasMainMenu);  // the last line: no caption, no items
    EXPECT_FALSE(last.MainMenuCaption.has_value());
    EXPECT_TRUE(last.MainMenuLines.empty());
    EXPECT_EQ(last.ContextMenuLines, std::vector<std::string>{"1 1 Print\t:print"});

    const TBookSettings notWhole = ReadBookSettings(Lines(" [MainMenu]\n0 0 X\n"));
    EXPECT_FALSE(notWhole.HasMainMenu);
}

TEST(MenuLines, FieldsByPositionAndNonDigitsSkipped)
{
    struct Case {
        std::string line;
        bool valid;
        int level, type;
        std::string caption, target;
    };
    const Case cases[] = {
        {"1 1 Back\t:back", true, 1, 1, "Back", ":back"},
        {"2 4 Run\tsetup.exe\tx", true, 2, 4, "Run", "setup.exe\tx"},
        {"0 5 Chapters", true, 0, 5, "Chapters", ""},
        {"3x2yTail", true, 3, 2, "Tail", ""},
        {"1 7", true, 1, 7, "", ""},
        {"a 1 Caption", false, 0, 0, "", ""},
        {"1 b Caption", false, 0, 0, "", ""},
        {"1 ", false, 0, 0, "", ""},
        {"", false, 0, 0, "", ""},
    };
    for (const Case& c : cases) {
        const auto m = ParseMenuLine(c.line);
        ASSERT_EQ(m.has_value(), c.valid) << c.line;
        if (m) {
            EXPECT_EQ(m->Level, c.level) << c.line;
            EXPECT_EQ(m->Type, c.type) << c.line;
            EXPECT_EQ(m->Caption, c.caption) << c.line;
            EXPECT_EQ(m->Target, c.target) << c.line;
        }
    }
}

TEST(MenuLines, NestedItemsFindTheirSubmenu)
{
    const std::vector<TMenuNode> plan = PlanMenu({
        "2 2 Orphan\ta.html",   // 0: no submenu yet: top level
        "1 5 Chapters",         // 1
        "2 2 One\tone.html",    // 2 -> 1
        "2 5 Part two",         // 3 -> 1
        "3 2 Two.a\t2a.html",   // 4 -> 3
        "x 2 skipped",          //    (skipped)
        "2 2 Three\t3.html",    // 5 -> 1 (up from the level-2 submenu)
        "1 1 Exit\t:exit",      // 6: top level
        "3 2 Deep\td.html",     // 7 -> 3 (the last submenu stays open)
    });
    const int parents[] = {-1, -1, 1, 1, 3, 1, -1, 3};
    ASSERT_EQ(plan.size(), std::size(parents));
    for (size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(plan[i].Parent, parents[i]) << plan[i].Line.Caption;
    }
    // Each section starts without a submenu.
    EXPECT_EQ(PlanMenu({"2 2 Next section\tn.html"})[0].Parent, -1);
}

TEST(WindowSize, ScaledToTheScreenAndLimited)
{
    struct Case {
        std::string setting;
        int form, ppi, screen, expected;
    };
    const Case cases[] = {
        {"800", 981, 96, 1024, 800},  {"800", 981, 120, 1920, 1000}, {"800", 981, 120, 900, 900},
        {"", 981, 96, 1024, 981},     {"abc", 500, 120, 1024, 625},  {"0", 981, 96, 1024, 981},
        {"-5", 981, 96, 1024, 981},   {"5000", 600, 96, 768, 768},   {"101", 600, 144, 768, 152},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScaledWindowExtent(c.setting, c.form, c.ppi, c.screen), c.expected) << c.setting << " " << c.ppi;
    }
}

TEST(Placement, TwentyFiveCharactersBothWays)
{
    EXPECT_EQ(FormatPlacement({100, 50, 800, 600}, false), "0000640000320003200002580");
    struct Case {
        TWindowBounds bounds;
        bool maximized;
        std::string text;
    };
    const Case cases[] = {
        {{100, 50, 800, 600}, false, "0000640000320003200002580"},
        {{-8, -8, 1936, 1056}, true, "FFFFF8FFFFF80007900004201"},           // maximized at -8,-8
        {{-1920, 0, 1920, 1080}, false, "FFF8800000000007800004380"},         // a monitor to the left
        {{-8388608, 8388607, 1, 1}, false, "8000007FFFFF0000010000010"},      // the limits
    };
    for (const Case& c : cases) {
        const std::string text = FormatPlacement(c.bounds, c.maximized);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(text.size(), 25u);
        EXPECT_EQ(ParsePlacement(text, {1, 2, 3, 4}), c.bounds) << text;
    }
    EXPECT_EQ(FormatPlacement({-9000000, 9000000, 10, 10}, false).substr(0, 12), "8000007FFFFF");
}

TEST(Placement, FieldsThatDoNotReadKeepTheFallback)
{
    const TWindowBounds fallback{1, 2, 3, 4};
    EXPECT_EQ(ParsePlacement("", fallback), fallback);
    EXPECT_EQ(ParsePlacement("00006400003G0003200002580", fallback), (TWindowBounds{100, 2, 800, 600}));
    EXPECT_EQ(ParsePlacement("0000640000320003", fallback), (TWindowBounds{100, 50, 3, 4}));
    EXPECT_EQ(ParsePlacement("0000640000320003200002580secret", fallback), (TWindowBounds{100, 50, 800, 600}));
    EXPECT_EQ(PlacementPassword("0000640000320003200002580secret"), "secret");
    EXPECT_EQ(PlacementPassword("0000640000320003200002580"), "");
}

TEST(Placement, DamagedSizeKeepsTheFallbackSize)
{
    // The fallback is the book's default size at the form's position.
    const TWindowBounds fallback{10, 20, 900, 600};
    struct Case {
        const char* what;
        const char* text;
        TWindowBounds want;
    };
    const Case cases[] = {
        {"width 0", "0000640000320000000002580", {100, 50, 900, 600}},
        {"height 0", "0000640000320003200000000", {100, 50, 800, 600}},
        {"both 0", "0000640000320000000000000", {100, 50, 900, 600}},
        {"all F", "FFFFFFFFFFFFFFFFFFFFFFFFF", {-1, -1, 900, 600}},
        {"negative width", "000064000032FFFF380002580", {100, 50, 900, 600}},
        {"a sound one", "0000640000320003200002580", {100, 50, 800, 600}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParsePlacement(c.text, fallback), c.want) << c.what;
    }
}

TEST(Placement, StartBoundsFromAWholePlacementOrTheBooksDefault)
{
    // The book's 900 x 600 at the form's position (10, 20), on a screen of 1024 x 768.
    const TWindowBounds book{10, 20, 900, 600};
    const TWindowBounds centred{62, 84, 900, 600};
    struct Case {
        const char* what;
        std::string placement;
        bool centred;
        TWindowBounds want;
    };
    const Case cases[] = {
        {"nothing remembered", "", false, book},
        {"nothing remembered, centred", "", true, centred},
        {"a whole placement", "0000640000320003200002580", true, {100, 50, 800, 600}},
        {"a password after it", "0000640000320003200002581secret", false, {100, 50, 800, 600}},
        {"a field that does not read", "00006400003G0003200002580", true, {100, 20, 800, 600}},
        {"a damaged size", "0000640000320000000002580", true, {100, 50, 900, 600}},
        // Shorter than 25 characters: damaged as a whole, the book's default.
        {"its height cut to 0002", "0000640000320003200002", true, centred},
        {"its height cut to 0002, not centred", "0000640000320003200002", false, book},
        {"its state missing", "000064000032000320000258", true, centred},
        {"a piece of it", "0000640000320003", false, book},
        {"one character", "1", true, centred},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StartBounds(c.placement, book, c.centred, 1024, 768), c.want) << c.what;
    }
}

TEST(Placement, TheValueWrittenAtCloseKeepsWhatFollowedThePlacement)
{
    const TWindowBounds bounds{100, 50, 800, 600};
    struct Case {
        const char* what;
        std::string remembered;
        std::string want;
    };
    const Case cases[] = {
        {"a remembered password", "0000280000280002BC0001F40open sesame", "0000640000320003200002580open sesame"},
        {"nothing after the placement", "0000280000280002BC0001F41", "0000640000320003200002580"},
        {"no value yet", "", "0000640000320003200002580"},
        {"a short damaged value", "00002800", "0000640000320003200002580"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlacementToSave(bounds, false, c.remembered), c.want) << c.what;
    }
}

TEST(Placement, MaximizedUnlessTheSavedPlacementSaysNormal)
{
    EXPECT_TRUE(StartsMaximized(true, ""));
    EXPECT_TRUE(StartsMaximized(true, "0000640000320003200002581"));
    EXPECT_FALSE(StartsMaximized(true, "0000640000320003200002580"));
    EXPECT_FALSE(StartsMaximized(false, "0000640000320003200002581"));
}

TEST(Password, AskedUpToThreeTimesUnlessRemembered)
{
    struct Case {
        std::string password, memory;
        std::vector<std::string> entries;  // "" stands for Cancel
        bool runs;
        int asked;
    };
    const Case cases[] = {
        {"", "", {}, true, 0},
        {"pw", "pw", {}, true, 0},
        {"pw", "", {"pw"}, true, 1},
        {"pw", "", {"a", "PW", "pw"}, true, 3},
        {"pw", "", {"a", "b", "c", "pw"}, false, 3},
        {"pw", "", {"a", ""}, false, 2},
    };
    for (const Case& c : cases) {
        std::string memory = c.memory;
        int asked = 0;
        std::string previous;
        const bool runs = AskBookPassword(c.password, memory, [&](std::string& text) {
            EXPECT_EQ(text, previous);  // the edit starts with the previous entry
            const std::string& e = c.entries[static_cast<size_t>(asked++)];
            if (e.empty()) {
                return false;
            }
            text = previous = e;
            return true;
        });
        EXPECT_EQ(runs, c.runs) << asked;
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(memory, runs ? c.password : c.memory);
    }
}

}  // namespace
