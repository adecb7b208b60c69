// TPageBrowser: the browser component the viewer places on its form.
//
// Over the host core it adds option objects (dialog boxes, script errors, visual effects,
// print options, proxy), the handling of the browser's own dialog windows through the owner
// form's window procedure, a user agent, HTML loading from lines and streams, waiting for a
// page, navigation calls that swallow failures, the context-menu item filter, and key, focus
// and click handling in its window procedure.
//
// Waiting runs a nested message loop. The component may be freed by a handler inside that
// loop; the wait then ends at once without touching the freed object.
//
// The decisions that need no window (which HTML code is an address, the caption rewrite, the
// dialog action, the user-agent token) are platform-free functions, also built natively.
#pragma once

#include "PgbCore.h"
#include "PgbTools.h"

#include "classlib/SysUtils.h"

#include <string>

enum class TIEPopupMenuItem {
    rcsBack, rcsForward, rcsSavePageBkg, rcsSetAsBkg, rcsCopyBkg, rcsSetAsDeskT, rcsSelectAll, rcsPaste, rcsCreateSC,
    rcsAddToFav, rcsEncoding, rcsRefresh, rcsViewSource, rcsProperties, rcsPrint, rcsOpenNWindow, rcsOpenLink,
};
constexpr int kIEPopupMenuItemCount = 17;
using TIEPopupMenuItems = TSet<TIEPopupMenuItem>;
// The command id each member removes from the context menu, in order.
extern const unsigned kPopupMenuItemCommands[kIEPopupMenuItemCount];

enum class TUserAgentMode { uaDefault, uaInternal, uaRegistry };

// Whether the single line of HTML code is an address to go to (http, www., ftp:, file or
// about:, letter case ignored).
bool IsHtmlCodeAddress(const std::string& line);

// The caption of a browser dialog: the first "Microsoft " removed and the first "Internet
// Explorer" replaced by newCaption (case-sensitive).
std::wstring ReplaceDialogCaption(std::wstring caption, const std::wstring& newCaption);

// What the script-error option does with a browser dialog.
enum class TDialogAction { None, ClickAndClose, Destroy };
TDialogAction ScriptErrorDialogAction(const std::wstring& caption, uint32_t exStyle);

// The registry value name of the user-agent token for an agent text.
std::string UserAgentToken(const std::string& userAgent);

// The Windows half, the component TPageBrowser and its option objects: PageBrowserWin.h (the
// Windows tree only).
