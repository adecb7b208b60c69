// PNCAPaint: the caption-bar toolbar's painting (Windows builds only).
//
// Its source holds the drawing members of TPNCAToolbar (declared in PNCAToolbar.h): the
// choice of a button's picture or image list (GetButtonGraphic, GetButtonImages), the caption
// font (UpdateCaptionFont), the bar (PaintBar), the form's caption text (DrawCaption) and a
// button (DrawButton). The bar is painted into a work bitmap and copied into the window's
// device context: on glass the whole frame outside the client area, else only the bar's slot
// (or the caption strip, when the toolbar draws the caption), over a background of the theme's
// caption element or the caption colours.
//
// Below: the window queries that the toolbar's sources share.
#pragma once

#include "classlib/Types.h"

#include <windows.h>

namespace pnca_detail {

// The form's border style, read from its window styles.
enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

inline TBorderStyle BorderStyleOf(HWND window)
{
    LONG style = GetWindowLongW(window, GWL_STYLE);
    LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    if ((style & WS_CAPTION) != WS_CAPTION)
        return TBorderStyle::bsNone;
    bool sizeable = (style & WS_THICKFRAME) != 0;
    if (exStyle & WS_EX_TOOLWINDOW)
        return sizeable ? TBorderStyle::bsSizeToolWin : TBorderStyle::bsToolWindow;
    if (exStyle & WS_EX_DLGMODALFRAME)
        return TBorderStyle::bsDialog;
    return sizeable ? TBorderStyle::bsSizeable : TBorderStyle::bsSingle;
}

inline TRect FromRECT(const RECT& r) { return Rect(r.left, r.top, r.right, r.bottom); }
inline RECT ToRECT(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

inline TRect WindowRectOf(HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    return FromRECT(r);
}

inline bool IsMaximizedByPlacement(HWND window)
{
    WINDOWPLACEMENT p{};
    p.length = sizeof p;
    return GetWindowPlacement(window, &p) && p.showCmd == SW_MAXIMIZE;
}

}  // namespace pnca_detail
