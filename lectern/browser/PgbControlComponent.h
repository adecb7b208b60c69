// TPgbControl: the process's switch for the wheel and focus fixes and the URL-moniker feature
// controls, and the start and end of the browser units.
#pragma once

#include "classlib/SysUtils.h"

enum class TInternetFeatureList {
    ObjectCaching, ZoneElevation, MimeHandling, MimeSniffing, WindowRestrictions, WebocPopupManagement, Behaviors,
    DisableMkProtocol, LocalMachineLockDown, Securityband, RestrictActivexInstall, ValidateNavigateUrl,
    RestrictFileDownload, AddonManagement, ProtocolLockdown, HttpUsernamePasswordDisable, SafeBindToObject,
    UncSavedFileCheck, GetUrlDomFilePathUnencoded, TabbedBrowsing, Sslux, DisableNavigationSounds,
    DisableLegacyCompression, ForceAddrAndStatus, XmlHttp, DisableTelnetProtocol, Feeds, BlockInputPrompts,
    EntryCount,
};
constexpr int kInternetFeatureCount = 29;
using TInternetFeatures = TSet<TInternetFeatureList>;

// Applies a feature set for this process: nothing for the empty set, else every feature
// number 0 to 28 is switched on or off by membership (flag 2, this process).
void ApplyInternetFeatures(TInternetFeatures features);

// The Windows half, TPgbControl and its wheel and focus fixes: PgbControlComponentWin.h (the
// Windows tree only).
