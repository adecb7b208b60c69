// lectern-peek: reads the running viewer's window from outside, for the run script and tests.
//
//   lectern-peek pane [SECONDS]    prints the debug pane's text once it shows a book address
//                                  (waits up to SECONDS, default 20)
//   lectern-peek wait TEXT [SECONDS]
//                                  waits (polling every 2 ms) until the debug pane holds TEXT
//   lectern-peek caption           prints the main window's caption
//   lectern-peek rect              prints the main window's bounds: left top right bottom
//   lectern-peek shot FILE [CLASS] writes what the screen shows of the main window (or of the
//                                  top-level window of the class) as a PNG
//   lectern-peek close             asks the main window to close
//   lectern-peek move L T W H      moves the main window
//   lectern-peek maximize          maximizes the main window
//   lectern-peek state             prints "maximized", "minimized" or "normal"
//   lectern-peek style             prints the main window's style words: caption, sizeable,
//                                  maximizebox, popup, topmost
//   lectern-peek msgbox [SECONDS]  prints the text of a message box (waits for one) and presses OK
//   lectern-peek password TEXT [SECONDS]
//                                  types TEXT into the password dialog and presses OK
//   lectern-peek password-cancel [SECONDS]
//                                  presses Cancel in the password dialog
//
// Exit code 1 when no such window (or, for pane, no address in time) was found.
#include "tests/support/SampleBook.h"
#include "tests/support/ScreenShot.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <string>

namespace {

HWND MainWindow() { return FindWindowW(L"TFrmVevIvaruvMain", nullptr); }

std::string WindowText(HWND window)
{
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(length + 1), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

BOOL CALLBACK FindEdit(HWND child, LPARAM param)
{
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Edit") == 0) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}

HWND FindPane(HWND main)
{
    HWND found = nullptr;
    EnumChildWindows(main, FindEdit, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The screen's pixels in the window's rectangle, as a PNG file.
bool WriteShot(HWND window, const std::string& path)
{
    TScreenShot shot(window);
    if (shot.Width() <= 0 || shot.Height() <= 0) {
        return false;
    }
    const std::string png = booktest::PngFromRgba(shot.Width(), shot.Height(), shot.Rgba());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && ok;
}

// Waits up to seconds for a top-level window of the class (and, for dialogs, of the viewer's
// process family: any window of this desktop).
HWND WaitForWindow(const wchar_t* cls, int seconds)
{
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    for (;;) {
        if (HWND w = FindWindowW(cls, nullptr)) {
            return w;
        }
        if (static_cast<LONG>(deadline - GetTickCount()) <= 0) {
            return nullptr;
        }
        Sleep(50);
    }
}

std::wstring ToWideClass(const char* name)
{
    std::wstring out;
    for (const char* p = name; *p != 0; ++p) {
        out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    return out;
}

int Seconds(int argc, char** argv, int index) { return argc > index ? std::atoi(argv[index]) : 20; }

}  // namespace

int main(int argc, char** argv)
{
    const std::string what = argc > 1 ? argv[1] : "pane";
    if (what == "pane") {
        const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;
        const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
        std::string text;
        do {
            if (HWND main = MainWindow()) {
                if (HWND pane = FindPane(main)) {
                    text = WindowText(pane);
                    if (text.find("http://127.0.0.1:") != std::string::npos) {
                        std::printf("%s\n", text.c_str());
                        return 0;
                    }
                }
            }
            Sleep(100);
        } while (static_cast<LONG>(deadline - GetTickCount()) > 0);
        std::printf("%s\n", text.c_str());
        return 1;
    }
    if (what == "wait" && argc > 2) {
        const std::string wanted = argv[2];
        const DWORD deadline = GetTickCount() + static_cast<DWORD>(Seconds(argc, argv, 3)) * 1000;
        do {
            if (HWND main = MainWindow()) {
                if (HWND pane = FindPane(main); pane != nullptr && WindowText(pane).find(wanted) != std::string::npos) {
                    return 0;
                }
            }
            Sleep(2);
        } while (static_cast<LONG>(deadline - GetTickCount()) > 0);
        return 1;
    }
    if (what == "msgbox") {
        const int seconds = Seconds(argc, argv, 2);
        HWND box = WaitForWindow(L"#32770", seconds);
        if (box == nullptr) {
            return 1;
        }
        // The box may still be filling in its text.
        std::string text;
        for (int i = 0; i < seconds * 20 && text.empty(); ++i) {
            text = WindowText(GetDlgItem(box, 0xFFFF));
            if (text.empty()) {
                Sleep(50);
            }
        }
        std::printf("%s\n", text.c_str());
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return 0;
    }
    if (what == "password" || what == "password-cancel") {
        const bool ok = what == "password";
        HWND dialog = WaitForWindow(L"TPasswordDialog", Seconds(argc, argv, ok ? 3 : 2));
        if (dialog == nullptr || (ok && argc < 3)) {
            return 1;
        }
        if (ok) {
            const std::string text = argv[2];
            SetWindowTextA(GetDlgItem(dialog, 100), text.c_str());
        }
        PostMessageW(dialog, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
        // Wait until the dialog is gone, so that a next call finds the next dialog.
        for (int i = 0; i < 100 && IsWindow(dialog); ++i) {
            Sleep(50);
        }
        return 0;
    }
    if (what == "shot" && argc > 3) {
        HWND window = WaitForWindow(ToWideClass(argv[3]).c_str(), 10);
        return window != nullptr && WriteShot(window, argv[2]) ? 0 : 1;
    }
    HWND main = MainWindow();
    if (main == nullptr) {
        return 1;
    }
    if (what == "caption") {
        std::printf("%s\n", WindowText(main).c_str());
    } else if (what == "rect") {
        RECT r{};
        GetWindowRect(main, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    } else if (what == "shot" && argc > 2) {
        return WriteShot(main, argv[2]) ? 0 : 1;
    } else if (what == "move" && argc > 5) {
        ShowWindowAsync(main, SW_RESTORE);
        Sleep(200);
        SetWindowPos(main, nullptr, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
        Sleep(200);
    } else if (what == "maximize") {
        ShowWindowAsync(main, SW_MAXIMIZE);
        Sleep(300);
    } else if (what == "style") {
        const LONG style = GetWindowLongW(main, GWL_STYLE);
        const LONG exStyle = GetWindowLongW(main, GWL_EXSTYLE);
        std::string words;
        const std::pair<bool, const char*> flags[] = {
            {(style & WS_CAPTION) == WS_CAPTION, "caption"}, {(style & WS_THICKFRAME) != 0, "sizeable"},
            {(style & WS_MAXIMIZEBOX) != 0, "maximizebox"}, {(style & WS_POPUP) != 0, "popup"},
            {(exStyle & WS_EX_TOPMOST) != 0, "topmost"}};
        for (const auto& [set, word] : flags) {
            if (set) {
                words += words.empty() ? word : std::string(" ") + word;
            }
        }
        std::printf("%s\n", words.c_str());
    } else if (what == "state") {
        std::printf("%s\n", IsZoomed(main) ? "maximized" : IsIconic(main) ? "minimized" : "normal");
    } else if (what == "close") {
        PostMessageW(main, WM_CLOSE, 0, 0);
    } else {
        return 2;
    }
    return 0;
}
