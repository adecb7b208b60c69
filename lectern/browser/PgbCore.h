// TCustomPageBrowser: the host of the web-browser control.
//
// The control asks its host for decisions through COM interfaces it finds on the client site:
// user interface (IDocHostUIHandler2, IDocHostShowUI), commands (IOleCommandTarget), services
// (IServiceProvider, which hands out the new-window manager, download manager, focus
// protection, behaviour namespaces, window moves and authentication), drop handling, and zoom
// notices. One host object answers all of them for the component; each callback fires the
// component's event of the same purpose and otherwise answers a fixed default.
//
// The component keeps the control's window alive when its own window is re-created (a new
// parent, style or docking): DestroyWnd parks the control window under the application's
// window instead of deactivating the control, and CreateWnd takes it back.
//
// The option flag words, the menu and key tests and the zoom clamp are platform-free
// functions, also built natively.
#pragma once

#include "SHDocVw_PGB.h"

#include "classlib/SysUtils.h"

#include <cstdint>
#include <string>

enum class TUserInterfaceOption {
    DisableTextSelect, DisableHelpMenu, DontUse3DBorders, DontUseScrollBars, PostponeScriptUntilActive,
    ForceOpenNewWindow, Reserved_OFFSCREEN, ForceFlatScrollBars, InsertDivTagOnEditMode, ActivateUIOnlyOnDocClick,
    ConsultBeforeRetrievingBehavior, CheckFontSupportsCodePage, DisableSubmitUrlInUTF8, EnableSubmitUrlInUTF8,
    EnablesFormsAutoComplete, ForceSameWindowNavigation, EmableImeLocalLanguages, EnableThemes, DisableThemes,
    DisablePicsRatings, DisableFrameSetBorder, DisablesAutoNameSpaceCorrection, DisableLocalFileAccess,
    DisableUntrustedProtocol, CheckNavigationDelegatedToHost, EnableRedirectNotification, EnableDomWindlessControls,
    EnableWindowedControls, ForceUserActivationOnActiveXJava,
};
constexpr int kUserInterfaceOptionCount = 29;
using TUserInterfaceOptions = TSet<TUserInterfaceOption>;

enum class TDownloadControlOption {
    DownloadImages, DownloadVideos, DownloadBGSounds, DontExecuteScripts, DontExecuteJava, DontExecuteActiveX,
    DontDownloadActiveX, DownloadButDontDisplay, DontDownloadFrame, CheckPageResynchronize, DownloadAndIgnoreCache,
    DontDownloadBehaviors, SuppressedMetaCharset, DisableUrlIfEncodingUTF8, EnableUrlIfEncodingUTF8,
    ForceOfflineMode, DontPerformClientPull, DownloadInSilentMode, WorkOffline,
};
constexpr int kDownloadControlOptionCount = 19;
using TDownloadControlOptions = TSet<TDownloadControlOption>;

enum class TDragDropHandlingType { ddtMS, ddtMy, ddtCustom, ddtNo };

enum class TIEPopupMenu {
    rcmDefault, rcmImage, rcmControl, rcmTable, rcmSelText, rcmAnchor, rcmUnKnown, rcmImageArt, rcmImgDynSrc,
    rcmDebug, rcmAll,
};
using TIEPopupMenus = TSet<TIEPopupMenu>;

enum class TScriptErrorAction { eaContinue, eaCancel, eaAskUser };

// The host-information flag of each user-interface option, in order.
extern const uint32_t kUserInterfaceFlags[kUserInterfaceOptionCount];
// The download-control flag of each download option, in order.
extern const uint32_t kDownloadControlFlags[kDownloadControlOptionCount];

uint32_t UserInterfaceFlagWord(TUserInterfaceOptions options);
uint32_t DownloadControlFlagWord(TDownloadControlOptions options);

// Whether the control's context menu of kind menuId is suppressed by the set.
bool IsPopupMenuDisabled(TIEPopupMenus disabled, uint32_t menuId);

// Whether a key message is one of the masked Ctrl shortcuts: a key-down with Ctrl down and
// Shift up whose key code's low byte occurs in shortcuts.
bool IsMaskedCtrlKeyCode(bool isKeyDown, const std::string& shortcuts, bool ctrlDown, bool shiftDown,
                         uint32_t virtualKey);

// Clamps value into a range word (low word the minimum, high word the maximum).
int ClampToRangeWord(int value, uint32_t range);

// The process-wide pre-refresh gate: true (and the time is remembered) when more than 150 ms
// have passed since it last answered true, or it never did.
bool PreRefreshDue(uint32_t nowTicks);
void ResetPreRefreshGate();
constexpr uint32_t kPreRefreshIntervalMs = 150;

// The Windows half, the component TCustomPageBrowser, its host object and the control's interfaces:
// PgbCoreWin.h (the Windows tree only).
