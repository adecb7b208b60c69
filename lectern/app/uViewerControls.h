// The standard controls the viewer's windows use that the class layer does not have yet:
// TMemo (the debug pane) and the password dialog. Windows builds only.
#pragma once

#ifdef _WIN32

#include "classlib/Controls.h"

#include <string>
#include <vector>

// A multi-line edit control with a vertical scroll bar, holding lines.
class TMemo : public TWinControl {
public:
    explicit TMemo(TComponent* owner);
    ~TMemo() override;

    const std::vector<std::string>& Lines() const { return FLines; }
    void AddLine(const std::string& line);
    void SetLines(const std::vector<std::string>& lines);
    // The text the window shows (its lines joined by CR LF).
    std::string WindowText();
    void SetFont(HFONT font);

    CL_CLASS_NAME(TMemo)

protected:
    void CreateWnd() override;

private:
    void UpdateWindowText();

    std::vector<std::string> FLines;
    HFONT FFont = nullptr;  // not owned
};

// The password prompt: a modal dialog with the prompt as a word-wrapping label, an edit that
// shows every character as "*" (at most 255), OK and Cancel. Sizes are dialog units of the
// dialog's font. Answers true on OK, with text set to the entry; the edit starts with text,
// all of it selected. The dialog's window class is kPasswordDialogClass.
bool PasswordDialog(const std::string& caption, const std::string& prompt, std::string& text, HWND owner);

constexpr const wchar_t* kPasswordDialogClass = L"TPasswordDialog";
constexpr int kPasswordEditId = 100;

#endif
