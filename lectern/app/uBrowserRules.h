// What the viewer does with the addresses its pages ask for, and with the keys and clicks
// that reach the page view: the decisions, without the browser.
//
// A navigation of the page view (before it starts):
//   "about:blank"                         left alone
//   "exec:FILE;PARAMS"                    run FILE with PARAMS in the book's folder; cancelled
//   under the base address                loaded, never from or into the cache
//   "javascript:", "res:"                 loaded
//   "http://", "https://" elsewhere       loaded, or to the shell with OpenExternal
//   anything else ("mailto:", "file:")    to the shell; cancelled
// Running a file ("exec:") and handing a "file:" address to the shell happen only when the
// navigation comes from one of the book's own pages (the document shown is under the base
// address) or from no page at all; from any other page they are cancelled, or a page from the
// web could run programs on the reader's machine. Prefixes are compared with letter case
// ignored (the platform's locale comparison).
#pragma once

#include <string>

enum class TNavigationAction {
    LeaveAlone,    // about:blank: nothing changed
    Load,          // the browser goes on, without cache
    Execute,       // run the file of an "exec:" link; cancelled
    OpenExternal,  // hand the address to the shell; cancelled
    Refuse,        // cancelled: a program or file link from a page outside the book
};

// currentDocument: the address of the page shown when the navigation starts ("" or
// "about:blank" when there is none).
TNavigationAction DecideNavigation(const std::string& url, const std::string& baseUrl,
                                   const std::string& currentDocument, bool openExternal);

// A new window asked for by a page (the address it names): "http://" and "https://" addresses
// outside the book go to the shell; book pages and everything else stay with the page view.
bool NewWindowOpensExternal(const std::string& url, const std::string& baseUrl);

// True when text begins with prefix, letter case ignored (the platform's locale comparison).
bool StartsWithText(const std::string& text, const std::string& prefix);

// Every "%" with two hexadecimal digits of a value above 0 becomes that byte; other "%" stay.
std::string DecodePercentEscapes(const std::string& s);

struct TFileRun {
    std::string File;
    std::string Params;
};
// The file and parameters of a link: decoded; after "exec:" split at the first ";", otherwise
// at the first TAB; without the separator all of it is the file.
TFileRun SplitFileLink(const std::string& link);

// The window caption takes a page title when DisplayPageTitle is on and the title does not
// begin with "http://127" (a page without a title shows its own local address).
bool TakesPageTitle(bool displayPageTitle, const std::string& title);

// ---- keys and clicks --------------------------------------------------------------------------

enum class TInputAction {
    PassOn,            // the browser gets the message
    Swallow,           // nobody gets it
    PopupContextMenu,  // show the book's context menu instead
};

enum class TInputKind { KeyDown, SysKeyDown, RightButton, Other };

struct TInput {
    TInputKind Kind = TInputKind::Other;
    int Key = 0;  // virtual-key code of a key message
    bool Control = false;
    bool Shift = false;
    bool InPageView = false;  // the message's window is a child of the page view's window
};

struct TInputRules {
    bool UserCopy = false;
    bool UserPrint = false;
    bool NoContextMenu = false;
};

constexpr int kVkF10 = 0x79;
constexpr int kVkApps = 0x5D;

// Control shortcuts: C and X only with UserCopy, P only with UserPrint, V always, no other.
// The right button, the context-menu key and Shift+F10 show the book's context menu over the
// page view; without a context menu of the book they go to the browser.
TInputAction DecideInput(const TInput& input, const TInputRules& rules);
