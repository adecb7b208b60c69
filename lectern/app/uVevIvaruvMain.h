// The viewer's main form and start-up.
//
// Construction runs the start-up in order: the book choice, the single-instance check (per
// program, and per book when the command line names one), the MIME table, the book's opening,
// the book's settings (title, border, size and remembered placement, password, menus,
// permissions, debug pane), the port probe and listen (the first port from kFirstServerPort
// to kLastServerPort, uPageHttp.h, that can be bound), the URL prefix, and the loading of the
// other components (the page view first, whose dialog settings the browser's dialog handling
// then reads; the toolbar).
// A cleared CanRun at any step (invalid book, refused password, no free port, a second
// instance) skips the later steps; the program then ends without running its message loop.
// The first navigation happens when the form is first shown.
//
// The program starts and ends the units it stands on in one order (RunLectern), the browser
// units among them: their start sets the wheel and focus hooks and saves the floating-point
// control word, their end removes the hooks and restores what the browser changed.
//
// Shut-down: FormClose remembers the placement (the restored bounds, also of a maximized
// window, followed by what followed the placement in the registry: a remembered password); the destructor stops the browser, then the server (which waits for its request
// handlers), and only then frees the book and the MIME table the handlers read.
//
// Threads: everything here runs on the main thread except the TPageServerHost calls of the
// page server, which come from worker threads and read only what construction fixed (the
// book's directory, the MIME table, the URL prefix); their debug lines are collected under a
// lock (TDebugLines) and shown in the pane by the main thread.
#pragma once

#include "lectern/app/RelkOneInstance.h"
#include "lectern/app/uBookSettings.h"
#include "lectern/app/uBrowserRules.h"
#include "lectern/app/uDebugLines.h"
#include "lectern/app/uPageHttp.h"
#include "lectern/app/uStartup.h"
#include "lectern/book/LBLzhArchive.h"
#include "lectern/browser/PageBrowserWin.h"
#include "lectern/toolbar/PNCAToolbar.h"

#include "classlib/ActnList.h"
#include "classlib/Dialogs.h"
#include "classlib/Forms.h"
#include "classlib/Menus.h"
#include "classlib/StdCtrls.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

// The registry key of the remembered placements (under HKEY_CURRENT_USER); values are named
// with the executable's full path.
constexpr const char* kPlacementKey = "SOFTWARE\\Miralobe\\Pagewisp\\eBooks";
constexpr int kLayoutClientWidth = 965;
constexpr int kLayoutClientHeight = 541;
constexpr int kDebugPaneHeight = 109;

// The process's exit status: 0 when the viewer ran and was closed, or handed its parameters
// to the one already running; a start that fails ends with a status of its own.
constexpr int kExitStartFailed = 1;      // start-up failed outside the cases below
constexpr int kExitInvalidBook = 2;      // "Invalid data": no book could be opened
constexpr int kExitPasswordRefused = 3;  // the password was cancelled or given wrong three times
constexpr int kExitNoServerPort = 4;     // "Unable to activate data server"

// The toolbar's buttons, by index.
constexpr int kAppMenuButton = 0;
constexpr int kSpacerButton = 1;
constexpr int kPrintButton = 4;

// The commands of the actions, toolbar buttons and menu items, by Tag.
enum TViewerCommand {
    vcHome = -1,
    vcBack = 1,
    vcForward = 2,
    vcPrint = 4,
    vcCopy = 10,
    vcSelectAll = 11,
    vcExit = 99,
};

// A menu item built from a menu line: its Tag is the line's type (or a submenu's level) and
// its Hint the line's target.
class TBookMenuItem : public TMenuItem {
public:
    using TMenuItem::TMenuItem;
    std::string Hint;
    CL_CLASS_NAME(TBookMenuItem)
};

class TFrmVevIvaruvMain : public TForm, public TPageServerHost {
public:
    explicit TFrmVevIvaruvMain(TComponent* owner);
    ~TFrmVevIvaruvMain() override;

    // Components, in layout order.
    TMemo* meDebug = nullptr;
    TPageBrowser* Dummy = nullptr;
    TPageBrowser* WebBrowser = nullptr;
    TOneInstance* OneInstance = nullptr;
    TPopupMenu* ContextMenu = nullptr;
    TPopupMenu* MainMenu = nullptr;
    TPNCAToolbar* Toolbar = nullptr;
    TActionList* ActionList = nullptr;
    TAction* actHome = nullptr;
    TAction* actBack = nullptr;
    TAction* actForward = nullptr;
    TAction* actSelectAll = nullptr;
    TAction* actCopy = nullptr;
    TAction* actPrint = nullptr;
    TAction* actExit = nullptr;

    bool CanRun() const { return FCanRun; }
    // The exit status of a start that cannot run (0 for a second instance that handed over).
    int ExitStatus() const { return FExitStatus; }

    void OpenTopic(const std::string& s);
    void NavigateToPage(const std::string& page);
    std::string BaseUrl() const;
    void NavigateMain(const std::string& url);
    int ServerPort() const { return FServerPort; }

    // TPageServerHost (Debug and DebugServed also from worker threads).
    TLBFile& Book() override { return *FBook; }
    const TStringList& MimeTypes() override { return *FMimeTypes; }
    const std::string& UrlPrefix() override { return FUrlPrefix; }
    TDateTime UtcNow() override;
    void Debug(const std::string& line) override;
    void DebugServed(const std::string& path) override;

    CL_CLASS_NAME(TFrmVevIvaruvMain)

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;

private:
    void CreateComponents();
    TBookChoice ChooseBookFromCommandLine();
    // The book's settings in three parts: the window (title, font, password, size and
    // placement; false when the password was refused), the menus with the toolbar that shows
    // the main one, and what the reader may do (copy, print).
    void ApplyBookSettings(const TStringList& settings);
    bool ApplyWindowSettings();
    void ApplyMenuSettings();
    void ApplyPermissions();
    void StartServer();
    void BuildUrlPrefix();

    void FormShow();
    void FormClose(TObject* sender, TCloseAction& action);
    void OneInstanceStarted(TObject* sender, TStringList* params);
    void ApplicationEventsMessage(MSG& msg, bool& handled);
    void WebBrowserBeforeNavigate2(TObject* sender, IDispatch* pDisp, VARIANT& URL, VARIANT& Flags,
                                   VARIANT& TargetFrameName, VARIANT& PostData, VARIANT& Headers, bool& Cancel);
    void WebBrowserNewWindow2(TObject* sender, IDispatch*& ppDisp, bool& Cancel);
    void WebBrowserNewWindow3(TObject* sender, IDispatch*& ppDisp, bool& Cancel, uint32_t dwFlags,
                              const std::wstring& bstrUrlContext, const std::wstring& bstrUrl);
    void DummyBeforeNavigate2(TObject* sender, IDispatch* pDisp, VARIANT& URL, VARIANT& Flags,
                              VARIANT& TargetFrameName, VARIANT& PostData, VARIANT& Headers, bool& Cancel);
    void DummyNewWindow2(TObject* sender, IDispatch*& ppDisp, bool& Cancel);
    void WebBrowserCommandStateChange(TObject* sender, int Command, bool Enable);
    void WebBrowserTitleChange(TObject* sender, const std::wstring& Text);
    void WebBrowserOnFrameWindowActivate(TObject* sender, bool fActivate);
    void ExecuteFile(const std::string& link);
    // What a navigation decision leaves to the shell (a file to run, an address to open) or
    // refuses, carried out; true then (the browser is not to go on), false for the rest.
    bool CarryOutside(TNavigationAction action, const std::string& url);
    void ShellOpen(const std::string& target);
    HWND PageViewWindow();
    void SetUpBrowser(TPageBrowser* browser);
    void CreateToolbar();
    void ToolbarDrawButton(TObject* sender, TPNCAButton* button, TCanvas* canvas, const TRect& btnRect,
                           const TRect& barRect);
    void pncaToolbarButtonsClick(TObject* sender);
    void GenericMenuItemClick(TObject* sender);
    void RunCommand(int tag);
    void AddMenuItems(TPopupMenu* menu, const std::vector<std::string>& lines);
    TAction* NewAction(const char* name, int tag, const char* caption, const char* hint);
    void DebugLinesChanged(TObject* sender);
    void ShowDebugLines();
    void Navigate(const std::string& address, int flags);
    // A menu item's address: the viewer's own navigation, the book's whatever page shows.
    // (NavigateMain is not one: it also carries a page's new window.)
    void NavigateOwn(const std::string& url);
    void SavePlacement();
    // A kiosk never remembers its placement.
    bool SavesPlacement() const { return !FSettings.KioskMode && FSettings.SaveRegistry; }

    // Start-up state (fixed after construction).
    std::u16string FBaseDir;  // the book's folder (the working folder of the files it runs)
    int FParamsUsed = 0;
    std::vector<std::string> FParams;
    std::unique_ptr<TLBLzhArchive> FBook;
    TBookSettings FSettings;  // the book's, read once; the defaults for a book that is not valid
    std::string FPasswordMemory;
    const TStringList* FTopicMap = nullptr;  // the book's
    std::unique_ptr<TStringList> FMimeTypes;
    bool FCanRun = true;
    int FExitStatus = 0;
    std::string FUrlPrefix;

    std::string FMainMenuCaption;  // the application-menu button's caption

    // The window.
    bool FStartMaximized = false;
    bool FShown = false;
    HFONT FFont = nullptr;

    // The server (Server, ServerLink, FileProvider) and its port.
    std::unique_ptr<TPageHttpServer> FServer;
    int FServerPort = 0;

    // The page the page view showed before it went blank ("" for none yet), by which the trust
    // rule (uBrowserRules) judges navigations from the blank page view and its frames.
    std::string FPageBehindBlank;

    TDebugLines FDebugLines;
    std::atomic<HWND> FNotifyWindow{nullptr};
    std::atomic<bool> FDebugPosted{false};
};

// The program: initialises the units, runs the form, ends the units in their order. Answers
// the process exit status (kExit...).
int RunLectern();

// The remembered placement of this executable's book ("" when there is none).
std::string ReadRememberedPlacement();
