// The focus fix: when the application's active form is activated again, a browser component
// that is the form's active control gets the keyboard focus back (through the focus message
// it handles itself).
#pragma once

#include "classlib/Forms.h"

#include <memory>

// A windowed control without parent that carries the hook of the application's main window.
class TAppHookWindow : public TWinControl {
public:
    explicit TAppHookWindow(TComponent* owner) : TWinControl(owner) {}
    ~TAppHookWindow() override { Unhook(); }
    void Hook();
    void Unhook();
    bool Hooked() const { return FHooked; }
    CL_CLASS_NAME(TAppHookWindow)

private:
    void AppWindowHook(TMessage& message, bool& handled);
    bool FHooked = false;
};

class TPGBFocusControl : public TObject {
public:
    // The process's focus fix (made once; later calls answer the same object).
    static TPGBFocusControl* Create();
    static void Free();
    static TPGBFocusControl* Instance();
    CL_CLASS_NAME(TPGBFocusControl)

private:
    TPGBFocusControl();
    ~TPGBFocusControl() override;
    std::unique_ptr<TAppHookWindow> FWindow;
};
