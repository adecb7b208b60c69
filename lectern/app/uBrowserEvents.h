// What the viewer's browser event handlers read from the control and hand back to it.
//
//   NavigationSource  the frame a BeforeNavigate2 comes from (its pDisp): the page that frame
//                     shows and whether it is the page view itself, for the trust rule of
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
// one that cannot be read, counts as a frame without a page (not the book).
TNavigationSource NavigationSource(IDispatch* frame, TPGB& pageView);

void HandNewWindowTo(TPGB& browser, IDispatch*& ppDisp);
