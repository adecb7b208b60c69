// What the viewer's browser event handlers read from the control and hand back to it.
//
//   NavigationSource  the frame a BeforeNavigate2 comes from (its pDisp): the page that frame
//                     shows, whether it is the page view itself and, for a frame without a
//                     page, the page of the frame holding it, for the trust rule of
//                     uBrowserRules
//   HandNewWindowTo   NewWindow2: the new window's navigation goes to another browser (the
//                     hidden second one), whose automation object is put into ppDisp
//
// The object a handler puts into a NewWindow2 or NewWindow3 ppDisp is lent: the event takes
// the reference the control gets (see SHDocVw_PGBWin.h), so HandNewWindowTo keeps none of its own.
#pragma once

#include "lectern/app/uBrowserRules.h"
#include "lectern/browser/SHDocVw_PGBWin.h"

#include <string>

// The address of the page a browser object shows ("" when none or when it cannot be read).
std::string LocationOf(IWebBrowser2* browser);

// frame: the pDisp of the page view's BeforeNavigate2. A frame that is no browser object, or
// one that cannot be read, counts as a frame without a page held by nothing (not the book).
// A frame without a page is held by the nearest frame above it with a page: each frame's
// parent (get_Parent) is a browser object, or an object whose service provider names one (a
// document or window); a holder that cannot be read holds nothing. Reaching the page view
// while it shows no page gives pageBehindBlank, the page it showed before it went blank.
TNavigationSource NavigationSource(IDispatch* frame, TPGB& pageView, const std::string& pageBehindBlank);

// How many frames above a frame without a page are looked at for its holder.
constexpr int kMaxHolderDepth = 32;

void HandNewWindowTo(TPGB& browser, IDispatch*& ppDisp);
