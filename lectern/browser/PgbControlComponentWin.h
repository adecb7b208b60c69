// TPgbControl and its wheel and focus fixes: the Windows half of PgbControlComponent (see
// PgbControlComponent.h), built in the Windows tree only.
#pragma once

#include "PgbControlComponent.h"
#include "PgbMouseHookWin.h"

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
