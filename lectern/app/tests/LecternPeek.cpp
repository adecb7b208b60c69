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
//   lectern-peek minimize          minimizes the main window
//   lectern-peek focus             prints the class of the window that has the viewer's focus
//   lectern-peek foreground        prints the class of the foreground window
//   lectern-peek zorder            prints the classes of the visible top-level windows, top first
//   lectern-peek click TARGET [right]
//                                  clicks (with the right button) the middle of TARGET: "page"
//                                  (the page view) or "pane" (the debug pane)
//   lectern-peek wheel TARGET      turns the mouse wheel one notch over the middle of TARGET
//   lectern-peek menu-pick N       right-clicks the page view and picks the Nth item (from 1)
//                                  of the menu that comes up, with the arrow keys and Enter
//   lectern-peek dialog CAPTION    puts up a window of the browser's dialog class owned by the
//                                  main window, tells the main window that it took the
//                                  activation (as the system does), waits up to 5 seconds, and
//                                  prints "closed" or "open " with the window's caption
//
// With "--window CAPTION" first, every command reads the viewer's main window of that caption
// (when several viewers run); otherwise any of them.
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

std::wstring gWindowCaption;  // "--window": the caption of the main window to read

HWND MainWindow()
{
    return FindWindowW(L"TFrmVevIvaruvMain", gWindowCaption.empty() ? nullptr : gWindowCaption.c_str());
}

std::string ToUtf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string WindowText(HWND window)
{
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(length + 1), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return ToUtf8(text);
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

BOOL CALLBACK FindPageView(HWND child, LPARAM param)
{
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpW(cls, L"Shell Embedding") == 0 && IsWindowVisible(child)) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}

// The window a TARGET word names: the visible browser control's window ("page"; the hidden
// second browser has one too) or the debug pane ("pane").
HWND TargetWindow(HWND main, const std::string& target)
{
    HWND found = nullptr;
    if (target == "page") {
        EnumChildWindows(main, FindPageView, reinterpret_cast<LPARAM>(&found));
    } else if (target == "pane") {
        found = FindPane(main);
    }
    return found;
}

std::string ClassOf(HWND window)
{
    if (window == nullptr) {
        return "none";
    }
    wchar_t cls[256] = {};
    const int n = GetClassNameW(window, cls, 256);
    return ToUtf8(std::wstring(cls, n > 0 ? static_cast<size_t>(n) : 0));
}

void SendMouse(DWORD flags, DWORD data = 0)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    input.mi.mouseData = data;
    SendInput(1, &input, sizeof input);
}

void SendKey(WORD key)
{
    INPUT input[2] = {};
    input[0].type = INPUT_KEYBOARD;
    input[0].ki.wVk = key;
    input[1] = input[0];
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
}

// Moves the cursor to the middle of window; false when it has no area.
bool PointAt(HWND window)
{
    RECT r{};
    if (window == nullptr || !GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) {
        return false;
    }
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Sleep(100);
    return true;
}

// A window of the class the browser's own dialogs have, owned by main; what the viewer does
// with it once told that it took the activation.
std::string BrowserDialog(HWND main, const std::string& caption)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Internet Explorer_TridentDlgFrame";
    RegisterClassW(&wc);
    const std::wstring text(caption.begin(), caption.end());
    HWND dialog = CreateWindowExW(0, wc.lpszClassName, text.c_str(), WS_POPUP | WS_CAPTION | WS_VISIBLE, 200, 200,
                                  300, 120, main, nullptr, wc.hInstance, nullptr);
    if (dialog == nullptr) {
        return "not made";
    }
    PostMessageW(main, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(dialog));
    const DWORD deadline = GetTickCount() + 5000;
    while (IsWindow(dialog) && static_cast<LONG>(deadline - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    if (!IsWindow(dialog)) {
        return "closed";
    }
    const std::string left = "open " + WindowText(dialog);
    DestroyWindow(dialog);
    return left;
}

BOOL CALLBACK FindVisibleMenu(HWND window, LPARAM param)
{
    if (ClassOf(window) == "#32768" && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK ListTopLevel(HWND window, LPARAM param)
{
    if (IsWindowVisible(window)) {
        auto& words = *reinterpret_cast<std::string*>(param);
        words += (words.empty() ? "" : " ") + ClassOf(window);
    }
    return TRUE;
}

int Seconds(int argc, char** argv, int index) { return argc > index ? std::atoi(argv[index]) : 20; }

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 3 && std::string(argv[1]) == "--window") {
        const int n = MultiByteToWideChar(CP_ACP, 0, argv[2], -1, nullptr, 0);
        gWindowCaption.resize(n > 0 ? static_cast<size_t>(n) : 1);
        MultiByteToWideChar(CP_ACP, 0, argv[2], -1, gWindowCaption.data(), n);
        gWindowCaption.resize(gWindowCaption.size() - 1);  // the terminating zero
        argv += 2;  // the command now follows the program's name
        argc -= 2;
    }
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
    if (what == "zorder") {
        std::string words;
        EnumWindows(ListTopLevel, reinterpret_cast<LPARAM>(&words));
        std::printf("%s\n", words.c_str());
        return 0;
    }
    if (what == "foreground") {
        std::printf("%s\n", ClassOf(GetForegroundWindow()).c_str());
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
    } else if (what == "dialog" && argc > 2) {
        std::printf("%s\n", BrowserDialog(main, argv[2]).c_str());
    } else if (what == "minimize") {
        ShowWindowAsync(main, SW_MINIMIZE);
        Sleep(300);
    } else if (what == "focus") {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info)) {
            return 1;
        }
        std::printf("%s\n", ClassOf(info.hwndFocus).c_str());
    } else if ((what == "click" || what == "wheel") && argc > 2) {
        if (!PointAt(TargetWindow(main, argv[2]))) {
            return 1;
        }
        if (what == "wheel") {
            SendMouse(MOUSEEVENTF_WHEEL, static_cast<DWORD>(-WHEEL_DELTA));
        } else if (argc > 3 && std::string(argv[3]) == "right") {
            SendMouse(MOUSEEVENTF_RIGHTDOWN);
            SendMouse(MOUSEEVENTF_RIGHTUP);
        } else {
            SendMouse(MOUSEEVENTF_LEFTDOWN);
            SendMouse(MOUSEEVENTF_LEFTUP);
        }
        Sleep(300);
    } else if (what == "menu-pick" && argc > 2) {
        if (!PointAt(TargetWindow(main, "page"))) {
            return 1;
        }
        SendMouse(MOUSEEVENTF_RIGHTDOWN);
        SendMouse(MOUSEEVENTF_RIGHTUP);
        // The menu the viewer's thread puts up.
        HWND menu = nullptr;
        for (int i = 0; i < 200 && menu == nullptr; ++i) {
            EnumThreadWindows(GetWindowThreadProcessId(main, nullptr), FindVisibleMenu, reinterpret_cast<LPARAM>(&menu));
            if (menu == nullptr) {
                Sleep(50);
            }
        }
        if (menu == nullptr) {
            return 1;
        }
        for (int i = 0; i < std::atoi(argv[2]); ++i) {
            SendKey(VK_DOWN);
            Sleep(50);
        }
        SendKey(VK_RETURN);
        for (int i = 0; i < 100 && IsWindowVisible(menu); ++i) {
            Sleep(50);
        }
    } else if (what == "close") {
        PostMessageW(main, WM_CLOSE, 0, 0);
    } else {
        return 2;
    }
    return 0;
}
