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

#ifdef _WIN32

#include "PgbMouseHook.h"

#include "classlib/Components.h"

#include <memory>

class TMouseWheelFix : public TPersistent {
public:
    ~TMouseWheelFix() override;
    bool Active() const { return FActive; }
    void SetActive(bool value);
    bool ActiveFormOnly() const { return FActiveFormOnly; }
    void SetActiveFormOnly(bool value);
    // The wheel handler passed on to the hook (now, or when it is made).
    void SetOnMouseWheel(TMouseWheelEvent handler);
    TPGBMouseHook* Hook() const { return FHook; }
    CL_CLASS_NAME(TMouseWheelFix)

private:
    friend class TPgbControl;
    bool FActive = true;
    bool FActiveFormOnly = false;
    TPGBMouseHook* FHook = nullptr;   // a counted reference to the process's hook object
    TMouseWheelEvent FOnMouseWheel;
};

class TFocusControl : public TPersistent {
public:
    ~TFocusControl() override;
    bool Active() const { return FActive; }
    void SetActive(bool value);
    CL_CLASS_NAME(TFocusControl)

private:
    friend class TPgbControl;
    bool FActive = true;
};

class TPgbControl : public TComponent {
public:
    explicit TPgbControl(TComponent* owner);
    ~TPgbControl() override;
    void Loaded() override;

    TMouseWheelFix& MouseWheelFix() { return *FMouseWheelFix; }
    TFocusControl& FocusControl() { return *FFocusControl; }
    TInternetFeatures InternetFeatures() const { return FInternetFeatures; }
    void SetInternetFeatures(TInternetFeatures features);

    TMouseWheelEvent OnMouseWheel;

    CL_CLASS_NAME(TPgbControl)

private:
    std::unique_ptr<TMouseWheelFix> FMouseWheelFix;
    std::unique_ptr<TFocusControl> FFocusControl;
    TInternetFeatures FInternetFeatures;
};

// Unit start and end: OLE for the browser units (first start only).
void PgbControlComponentInit();
void PgbControlComponentDone();

#endif  // _WIN32
