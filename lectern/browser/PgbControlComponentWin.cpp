// TPgbControl and its wheel and focus fixes (see PgbControlComponent.h and
// PgbControlComponentWin.h). Built in the Windows tree only.
#include "PgbControlComponentWin.h"

#include "PgbFocusControl.h"

#include <ole2.h>

// ---- TMouseWheelFix ------------------------------------------------------------------------------

TMouseWheelFix::~TMouseWheelFix() { SetActive(false); }

void TMouseWheelFix::SetActive(bool value)
{
    FActive = value;
    if (value) {
        if (FHook == nullptr) {
            FHook = TPGBMouseHook::Acquire();
            FHook->OnMouseWheel = FOnMouseWheel;
            FHook->ActiveFormOnly = FActiveFormOnly;
            FHook->Install();
        }
    } else if (FHook != nullptr) {
        TPGBMouseHook* hook = FHook;
        FHook = nullptr;   // cleared even when removing fails
        hook->Remove();
        TPGBMouseHook::Release(hook);
    }
}

void TMouseWheelFix::SetActiveFormOnly(bool value)
{
    FActiveFormOnly = value;
    if (FHook != nullptr) {
        FHook->ActiveFormOnly = value;
    }
}

void TMouseWheelFix::SetOnMouseWheel(TMouseWheelEvent handler)
{
    FOnMouseWheel = handler;
    if (FHook != nullptr) {
        FHook->OnMouseWheel = handler;
    }
}

// ---- TFocusControl -------------------------------------------------------------------------------

TFocusControl::~TFocusControl() { SetActive(false); }

void TFocusControl::SetActive(bool value)
{
    FActive = value;
    if (value) {
        TPGBFocusControl::Create();
    } else {
        TPGBFocusControl::Free();
    }
}

// ---- TPgbControl ---------------------------------------------------------------------------------

TPgbControl::TPgbControl(TComponent* owner)
    : TComponent(owner), FMouseWheelFix(std::make_unique<TMouseWheelFix>()), FFocusControl(std::make_unique<TFocusControl>())
{
    // Active without starting anything: the unit start switches them on.
    FMouseWheelFix->FActive = true;
    FFocusControl->FActive = true;
}

TPgbControl::~TPgbControl()
{
    FMouseWheelFix->SetActive(false);
    FMouseWheelFix.reset();
    FFocusControl->SetActive(false);
    FFocusControl.reset();
}

void TPgbControl::Loaded()
{
    TComponent::Loaded();
    if (OnMouseWheel) {
        FMouseWheelFix->SetOnMouseWheel(OnMouseWheel);
    }
}

void TPgbControl::SetInternetFeatures(TInternetFeatures features)
{
    FInternetFeatures = features;
    ApplyInternetFeatures(features);
}

// ---- unit start and end --------------------------------------------------------------------------

namespace {
int gStarts = 0;
bool gOleStarted = false;
}  // namespace

void PgbControlComponentInit()
{
    if (gStarts++ == 0) {
        gOleStarted = SUCCEEDED(OleInitialize(nullptr));
    }
}

void PgbControlComponentDone()
{
    if (gStarts > 0 && --gStarts == 0 && gOleStarted) {
        try {
            OleUninitialize();
        } catch (...) {
        }
        gOleStarted = false;
    }
}
