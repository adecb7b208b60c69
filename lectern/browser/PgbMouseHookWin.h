// The hook object TPGBMouseHook: the Windows half of PgbMouseHook (see PgbMouseHook.h), built in
// the Windows tree only.
#pragma once

#include "PgbMouseHook.h"

#include "classlib/Controls.h"

using TMouseWheelEvent = TEvent<POINT, HWND, LPARAM, bool&>;

class TPGBMouseHook : public TObject {
public:
    // The process's single hook object, counted: the first call makes it, each further one
    // adds to the count; Release subtracts and frees it at zero.
    static TPGBMouseHook* Acquire();
    static void Release(TPGBMouseHook* hook);

    bool Install();
    bool Remove();
    bool Installed() const { return FHook != nullptr; }
    // Examines one wheel message at a screen point (record: the hook record, passed to the
    // event); true when it moved the focus and the message is to be discarded.
    bool WheelMessage(POINT point, LPARAM record);

    TMouseWheelEvent OnMouseWheel;
    bool ActiveFormOnly = false;

    CL_CLASS_NAME(TPGBMouseHook)

private:
    TPGBMouseHook() = default;
    ~TPGBMouseHook() override;
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(int code, WPARAM wParam, LPARAM lParam);

    HHOOK FHook = nullptr;
};
