// TTimer (Windows builds only): OnTimer every Interval milliseconds while Enabled, on the
// thread that made the timer, through a hidden window of the class layer. An exception from
// OnTimer goes to the application's exception handling and stops nothing.
// TImage: a control that shows a picture (the picture is held; showing it is not needed yet).
#pragma once

#include "Components.h"
#include "Controls.h"
#include "Events.h"
#include "Graphics.h"

#include <windows.h>

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    unsigned Interval() const { return FInterval; }
    void SetInterval(unsigned interval);

    TNotifyEvent OnTimer;

    CL_CLASS_NAME(TTimer)

private:
    friend LRESULT CALLBACK TimerWindowProc(HWND, UINT, WPARAM, LPARAM);
    void UpdateTimer();

    bool FEnabled = true;
    unsigned FInterval = 1000;
    HWND FWindow = nullptr;
};

class TImage : public TControl {
public:
    explicit TImage(TComponent* owner) : TControl(owner) {}

    TPicture& Picture() { return FPicture; }

    CL_CLASS_NAME(TImage)

private:
    TPicture FPicture;
};
