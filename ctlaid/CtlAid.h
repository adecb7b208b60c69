// ctlaid: helpers for the class layer's controls.
//
// Combo boxes used as most-recent-first lists, owner-drawn combo items with a colour swatch or a
// picture, list-view and tree-view look-ups, menus and tool bars whose image lists hold each
// picture twice (index 2k enabled, 2k + 1 disabled), colour swatches for buttons, image lists
// and menus, and the colour dialog's custom colour. The helpers keep no state; each works on
// the controls passed in and frees every temporary bitmap it makes. Indices are 0-based, -1 for
// none; texts are UTF-16. The font helpers are in FontP.h.
//
// What a caller needs:
//   - C++20 (-std=c++20) and this toolchain (i686-w64-mingw32 g++ of the posix thread model):
//     the interface passes the class layer's objects and the C++ library's strings;
//   - the repository root on the include path (this header includes "classlib/..."), ctlaid/
//     and suiteglobal/ (SuiteApi.h, the calling convention);
//   - the import libraries of ctlaid and classlib.dll, whose controls the helpers work on;
//   - the C++ run-time linked shared (not -static): the class layer's errors reach the caller as
//     exceptions (EInvalidOperation for an image index beyond a list); beside the program
//     ctlaid.dll, classlib.dll, the suite's basekit.dll, libstdc++-6.dll, libgcc_s_dw2-1.dll and
//     libwinpthread-1.dll;
//   - the class layer's application object, which its controls need: FormsInit() of
//     classlib/Forms.h before the first control, FormsDone() at the end.
#pragma once

#include "CtlAidApi.h"

#include "classlib/Buttons.h"
#include "classlib/ComCtrls.h"
#include "classlib/Dialogs.h"
#include "classlib/ExtCtrls.h"
#include "classlib/ImgList.h"
#include "classlib/Menus.h"
#include "classlib/StdCtrls.h"

#include <string>

// Combo boxes.
// Selects the item the list's own look-up finds for text (none when it finds none); answers
// the selected index.
CTLAID_API int SUITE_CALL CB_SetCombo(TComboBox* combo, std::u16string text);
// As CB_SetCombo; when nothing is found, text is added at the end and selected.
CTLAID_API int SUITE_CALL CB_SetOrAddCombo(TComboBox* combo, std::u16string text);
// Finds text without selecting: with ignoreCase by the user locale's lower-case forms, from
// index 0 up; else by the list's own look-up. When nothing is found and add is set, text is
// added at the end and its index answered; otherwise the index found or -1.
CTLAID_API int SUITE_CALL CB_SetComboTo(TComboBox* combo, const std::u16string& text, bool add,
                                        bool ignoreCase);
// Finds or adds text, moves it to the top and selects it; answers 0.
CTLAID_API int SUITE_CALL CB_AddToCombo(TComboBox* combo, const std::u16string& text, bool ignoreCase);
// CB_AddToCombo, then, for max 1 or more, keeps only the first max items.
CTLAID_API int SUITE_CALL CB_AddToComboEx(TComboBox* combo, const std::u16string& text, int max,
                                          bool ignoreCase);
// Moves the selected item to position and selects it there, when 0 <= position < the selected
// index; otherwise nothing.
CTLAID_API void SUITE_CALL CB_MoveSelectedUp(TComboBox* combo, int position);

// Owner-drawn combo items: a colour swatch or a picture, then the text.
CTLAID_API void SUITE_CALL CB_DrawItem(TCanvas* canvas, const TRect& rect, bool selected, TColor color,
                                       const std::u16string& text);
CTLAID_API void SUITE_CALL CB_DrawItemImage(TCanvas* canvas, const TRect& rect, bool selected,
                                            TBitmap* bitmap, const std::u16string& text);

// List and tree views.
// Keeps an item selected after a click at height y: a selected item becomes the focused one;
// else the item at (10, y), or the last item, is selected, focused and redrawn. An empty list
// gives the focus to other (when given).
CTLAID_API void SUITE_CALL LV_AlwaysSelect(TListView* listView, int y, TWinControl* other);
// The topmost ancestor of node (node itself at the top, null for null).
CTLAID_API TTreeNode* SUITE_CALL TV_GetRootParent(TTreeNode* node);
CTLAID_API TTreeNode* SUITE_CALL TV_GetRootParent(TTreeView* treeView, TTreeNode* node);
// The first node in the tree's order whose text equals text exactly, or null.
CTLAID_API TTreeNode* SUITE_CALL TV_FindItemByText(TTreeView* treeView, const std::u16string& text);

// Menus and tool bars: image pairs follow each item's enabled state.
CTLAID_API void SUITE_CALL MI_SetPopMenuImages(TPopupMenu* menu);
CTLAID_API void SUITE_CALL MI_SetMainMenuImages(TMainMenu* menu);
CTLAID_API void SUITE_CALL MI_SetToolBarImages(TToolBar* toolBar);

// Colours and images.
// The dialog's custom colours become the one line "ColorA=<colour in upper-case hex>".
CTLAID_API void SUITE_CALL AddCustomColor(TColorDialog* dialog, TColor color);
// The button's glyph becomes a w x h swatch of color with a two-pixel white frame, centred on
// the button face; nothing for a button too small to hold a glyph (under 8 x 7 pixels).
CTLAID_API void SUITE_CALL AdjustColorImage(TSpeedButton* button, TColor color, int w, int h);
// Image index (or a new image for a negative index) becomes a w x h rectangle of fill framed in
// frame, centred on the button face. Raises EInvalidOperation for an index beyond the list.
CTLAID_API void SUITE_CALL ReplaceColorImage(TImageList* imageList, int index, TColor fill, TColor frame,
                                             int w, int h);
// Image index of target becomes source's image sourceIndex, masked with maskColor. Raises
// EInvalidOperation for an index beyond either list.
CTLAID_API void SUITE_CALL ReplaceImage(TImageList* target, int index, TImageList* source, int sourceIndex,
                                        TColor maskColor);
// The image control's picture becomes a bitmap of the list's image index. Raises
// EInvalidOperation for an index beyond the list.
CTLAID_API void SUITE_CALL GetImageFromList(TImageList* imageList, int index, TImage* image);
// Adds a child item with caption and a 12 x 11 bitmap of color outlined in white.
CTLAID_API TMenuItem* SUITE_CALL AddColorItem(TMenuItem* item, const std::u16string& caption, TColor color);
