// What the viewer does with the addresses its pages ask for, and with the keys and clicks
// that reach the page view: the decisions, without the browser.
//
// A navigation of the page view (before it starts):
//   "about:blank"                         left alone
//   "exec:FILE;PARAMS"                    run FILE with PARAMS in the book's folder; cancelled
//   under the base address                loaded, never from or into the cache
//   "javascript:", "res:"                 loaded
//   "http://", "https://" elsewhere       loaded, or to the shell with OpenExternal
//   anything else                         to the shell; cancelled
// "Anything else" is decided by what the target is, not how it is spelled: whatever is not a
// page of the book on our own server or a web address is something the shell would open or
// run, whether it reads "file:", "mailto:", another scheme, a drive path ("Z:\x.bat", the form
// the platform's browser reports a file link in), a UNC name or a bare file name.
//
// Trust: running a file ("exec:") and handing anything but a web address to the shell happen
// only when the navigation is the book's: one the viewer starts itself (a menu item, a topic,
// the start page), or one that comes from one of the book's own pages; from any other page
// they are refused, or a page from the web could run programs on the reader's machine. The
// page that counts is the one shown in the frame that navigates, not the top page: a remote
// frame inside a book page is not the book. A frame without a page of its own (empty or
// about:blank, which the page holding it may have written into) is judged by the page of the
// frame that holds it; the page view itself without a page by the page it showed before, so
// a blank page view with no page of the book behind it is not the book. Prefixes are
// compared with letter case ignored (the platform's locale comparison).
#pragma once

#include <string>

enum class TNavigationAction {
    LeaveAlone,    // about:blank: nothing changed
    Load,          // the browser goes on, without cache
    Execute,       // run the file of an "exec:" link; cancelled
    OpenExternal,  // hand the address to the shell; cancelled
    Refuse,        // cancelled: a program or file link from a page outside the book
};

// Where a navigation comes from: the address of the page shown in the frame that navigates
// when it starts ("" or "about:blank" when there is none), and whether that frame is the page
// view itself rather than a frame inside its page.
struct TNavigationSource {
    std::string Document;
    bool TopFrame = true;
    // For a frame without a page of its own: the page of the nearest frame that holds it and
    // has one; for the page view itself, the page it showed before it went blank. "" when
    // there is none (or it cannot be read).
    std::string Holder;
    // The viewer itself started it (a menu item, a topic, the start page), not a page.
    bool Viewer = false;
};

// Whether a navigation from source comes from the book (see Trust above).
bool FromTheBook(const TNavigationSource& source, const std::string& baseUrl);
// True for a frame's address that is no page of its own: "" or "about:blank".
bool IsNoPage(const std::string& document);

TNavigationAction DecideNavigation(const std::string& url, const std::string& baseUrl,
                                   const TNavigationSource& source, bool openExternal);

// A new window asked for by a page (the address it names, and the page that asks, context):
//   OpenExternal  "http://" and "https://" addresses outside the book go to the shell
//   Refuse        what the shell would open or run, asked for by a page that is not the book's
//   LeaveAlone    book pages and the rest stay with the page view (through the hidden browser,
//                 whose navigation the page view then decides on)
TNavigationAction DecideNewWindow(const std::string& url, const std::string& baseUrl, const std::string& context);

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
