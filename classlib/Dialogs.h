// The colour dialog's settings (Windows builds only): the chosen colour and the custom colours,
// lines "ColorA=<hex>" ... "ColorP=<hex>" as the dialog takes them. Showing the dialog is not
// needed yet.
#pragma once

#ifdef _WIN32

#include "Components.h"
#include "Graphics.h"
#include "StringList.h"

class TColorDialog : public TComponent {
public:
    explicit TColorDialog(TComponent* owner) : TComponent(owner) {}

    TColor Color() const { return FColor; }
    void SetColor(TColor color) { FColor = color; }
    TStringList& CustomColors() { return FCustomColors; }

    CL_CLASS_NAME(TColorDialog)

private:
    TColor FColor = clBlack;
    TStringList FCustomColors;
};

#endif  // _WIN32
