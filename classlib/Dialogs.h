// Dialogs (Windows builds only).
//
// The colour dialog's settings: the chosen colour and the custom colours, lines
// "ColorA=<hex>" ... "ColorP=<hex>" as the dialog takes them. Showing the dialog is not needed
// yet.
#pragma once

#include "Components.h"
#include "Graphics.h"
#include "StringList.h"

#include <windows.h>

#include <string>

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

// The password prompt: a modal dialog with the prompt as a word-wrapping label, an edit that
// shows every character as "*" (at most 255), OK and Cancel. Sizes are dialog units of the
// dialog's font. Answers true on OK, with text set to the entry; the edit starts with text,
// all of it selected. The dialog's window class is kPasswordDialogClass.
bool PasswordDialog(const std::string& caption, const std::string& prompt, std::string& text, HWND owner);

constexpr const wchar_t* kPasswordDialogClass = L"TPasswordDialog";
constexpr int kPasswordEditId = 100;
