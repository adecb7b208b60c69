// The book's presentation settings ("#SYSTEM"), read without a window: the switches and
// values, the two menu sections and their lines, the window size, the password prompt and the
// window placement remembered per book.
//
// Settings are name=value lines; a name matches regardless of letter case and the first line
// of a name wins. A switch is on only when its value is exactly "1". A section begins at a
// line that is exactly "[MainMenu]" or "[ContextMenu]" (letter case ignored) and ends before
// a blank line (after trimming), before a line beginning with "[", or at the end. The line
// after "[MainMenu]" is the caption of the toolbar's application-menu button.
//
// Menu lines: character 1 the level (one digit: 0 and 1 top level, 2 and more nested),
// character 3 the type (one digit), characters 5 on the caption, optionally followed by a TAB
// and a target. A line whose level or type is not a digit is skipped. An item of level 2 or
// more goes under the last submenu of its section, or that submenu's ancestor whose level is
// one less than its own; before any submenu of the section it goes to the top level.
//
// The remembered placement is 25 characters: left, top, width and height as six hexadecimal
// digits each, then "1" (maximized) or "0"; anything from the 26th character on is a
// remembered password. A shorter value is damaged: the window starts as with none. A value
// below zero (a maximized window at -8,-8, a monitor to the left of the main one) is written
// as the 24-bit two's complement in the same six digits, and six digits from "800000" on read
// back as negative, so every value from -8388608 to 8388607 returns as written; values beyond
// are stored as the nearest of those limits.
#pragma once

#include "classlib/StringList.h"

#include <optional>
#include <string>
#include <vector>

struct TBookSettings {
    std::string ProducerID;  // "tomekit.7" when the book leaves it empty
    bool KioskMode = false;
    bool SaveRegistry = false;
    std::string Title;
    int Charset = 1;
    std::string UserPassword;
    std::string UserPasswordPrompt;
    bool Sizeable = false;
    std::string DefaultWidth;   // as written; see ScaledWindowExtent
    std::string DefaultHeight;
    bool Centered = false;
    bool Maximized = false;
    bool DisplayPageTitle = false;
    bool UserCopy = false;
    bool UserPrint = false;
    bool OpenExternal = false;  // already off in kiosk mode
    bool Commandline = false;
    bool ShowCaptions = false;
    bool Debug = false;
    std::string Index;

    bool HasMainMenu = false;
    std::optional<std::string> MainMenuCaption;  // the caption line from its fifth character
    std::vector<std::string> MainMenuLines;
    bool HasContextMenu = false;
    std::vector<std::string> ContextMenuLines;
};

constexpr const char* kDefaultProducerID = "tomekit.7";

TBookSettings ReadBookSettings(const TStringList& settings);

// The lines of the section that begins with the line header; false when there is no such line.
bool SectionLines(const TStringList& settings, const std::string& header, std::vector<std::string>& lines);

// ---- menus ---------------------------------------------------------------------------------------

enum TMenuLineType { mltAction = 1, mltPage = 2, mltAddress = 3, mltFile = 4, mltSubmenu = 5 };

struct TMenuLine {
    int Level = 0;
    int Type = 0;
    std::string Caption;
    std::string Target;
};

// Empty when the first or third character is not a decimal digit.
std::optional<TMenuLine> ParseMenuLine(const std::string& line);

struct TMenuNode {
    TMenuLine Line;
    int Parent = -1;  // index of the submenu the item goes under; -1: the top level
};

// The items of one section in order, each with the submenu it goes under.
std::vector<TMenuNode> PlanMenu(const std::vector<std::string>& lines);

// ---- window -----------------------------------------------------------------------------------

// DefaultWidth or DefaultHeight (pixels at 96 per inch) on a screen of pixelsPerInch: the value
// (formExtent when it is not a number) scaled with rounding; below 1 it becomes formExtent,
// above screenExtent screenExtent.
int ScaledWindowExtent(const std::string& setting, int formExtent, int pixelsPerInch, int screenExtent);

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDivRound(int a, int b, int c);

struct TWindowBounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const TWindowBounds&) const = default;
};

// The 25-character placement text.
std::string FormatPlacement(const TWindowBounds& bounds, bool maximized);
// The bounds in a placement text; each field that does not read as hexadecimal keeps
// fallback's value, and so does a width or height below 1 (a damaged value: "000000", or
// "FFFFFF", which reads as -1).
TWindowBounds ParsePlacement(const std::string& placement, const TWindowBounds& fallback);
// The window's bounds at start. bookBounds: the book's default size at the form's position.
// A remembered placement is read over bookBounds (ParsePlacement); without one the window
// takes bookBounds, centred on the screen when centred is set. A placement shorter than its 25
// characters is damaged as a whole (its last field cut short would read as a tiny size) and
// counts as none.
TWindowBounds StartBounds(const std::string& placement, const TWindowBounds& bookBounds, bool centred,
                          int screenWidth, int screenHeight);
// The remembered password: the text from the 26th character on.
std::string PlacementPassword(const std::string& placement);
// The value written at close: the 25 placement characters for the bounds and state, followed
// by whatever followed them in the value remembered now (a remembered password, which the
// viewer itself never writes).
std::string PlacementToSave(const TWindowBounds& bounds, bool maximized, const std::string& remembered);
// The window starts maximized when the Maximized setting is on and the placement does not say
// "not maximized" (its 25th character is "0").
bool StartsMaximized(bool maximizedSetting, const std::string& placement);

// ---- password ---------------------------------------------------------------------------------

// Asks for the book's password when it has one that the remembered password does not match:
// prompt(text) shows the dialog with text as the entry (the previous entry, first empty) and
// answers false on Cancel. Up to three entries; the right one becomes passwordMemory. Answers
// whether the book may be shown.
template <class Prompt>
bool AskBookPassword(const std::string& userPassword, std::string& passwordMemory, Prompt&& prompt)
{
    if (userPassword.empty() || userPassword == passwordMemory) {
        return true;
    }
    std::string entry;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!prompt(entry)) {
            return false;
        }
        if (entry == userPassword) {
            passwordMemory = entry;
            return true;
        }
    }
    return false;
}
