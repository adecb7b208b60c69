#include "Dialogs.h"

#include "Controls.h"

#include <algorithm>

namespace {

constexpr int kOkId = IDOK;
constexpr int kCancelId = IDCANCEL;
constexpr int kMaxPasswordLength = 255;

struct TDialogState {
    bool Done = false;
    bool Ok = false;
    std::string Text;
};

LRESULT CALLBACK PasswordDialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<TDialogState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (msg) {
    case WM_COMMAND:
        if (state != nullptr && (LOWORD(wParam) == kOkId || LOWORD(wParam) == kCancelId)) {
            state->Ok = LOWORD(wParam) == kOkId;
            if (state->Ok) {
                HWND edit = GetDlgItem(window, kPasswordEditId);
                const int length = GetWindowTextLengthW(edit);
                std::wstring text(static_cast<size_t>(length) + 1, L'\0');
                GetWindowTextW(edit, text.data(), length + 1);
                text.resize(static_cast<size_t>(length));
                state->Text = FromWide(text);
            }
            state->Done = true;
            return 0;
        }
        break;
    case WM_CLOSE:
        if (state != nullptr) {
            state->Ok = false;
            state->Done = true;
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

HWND MakeChild(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y, int w, int h,
               int id, HFONT font)
{
    HWND child = CreateWindowExW(std::wstring(cls) == L"EDIT" ? WS_EX_CLIENTEDGE : 0, cls, text.c_str(),
                                 WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

}  // namespace

bool PasswordDialog(const std::string& caption, const std::string& prompt, std::string& text, HWND owner)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(instance, kPasswordDialogClass, &existing)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = PasswordDialogProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kPasswordDialogClass;
        RegisterClassExW(&wc);
    }

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = 340;  // the size the platform accepts (the header's is larger)
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);

    // Dialog units of the font: the average width of the 52 letters, and the height.
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    const wchar_t* letters = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE size{};
    GetTextExtentPoint32W(dc, letters, 52, &size);
    const int cw = std::max(1L, size.cx / 52);
    const int ch = std::max(1L, size.cy);
    auto ux = [cw](int x) { return MulDiv(x, cw, 4); };
    auto uy = [ch](int y) { return MulDiv(y, ch, 8); };

    const std::wstring wprompt = ToWide(prompt);
    RECT labelRect{0, 0, ux(164), 0};
    DrawTextW(dc, wprompt.c_str(), -1, &labelRect, DT_CALCRECT | DT_WORDBREAK);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);

    const int labelTop = uy(8);
    const int editTop = labelTop + (labelRect.bottom - labelRect.top) + 5;
    const int editHeight = uy(12);
    const int buttonTop = editTop + editHeight + 15;
    const int clientWidth = ux(180);
    const int clientHeight = buttonTop + uy(14) + 13;

    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    const DWORD exStyle = WS_EX_DLGMODALFRAME;
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int w = frame.right - frame.left;
    const int h = frame.bottom - frame.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;

    TDialogState state;
    HWND dialog = CreateWindowExW(exStyle, kPasswordDialogClass, ToWide(caption).c_str(), style, x, y, w, h, owner,
                                  nullptr, instance, nullptr);
    if (dialog == nullptr) {
        DeleteObject(font);
        return false;
    }
    SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    MakeChild(dialog, L"STATIC", wprompt, SS_LEFT, ux(8), labelTop, ux(164), labelRect.bottom - labelRect.top, -1,
              font);
    HWND edit = MakeChild(dialog, L"EDIT", ToWide(text), ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP, ux(8), editTop,
                          ux(164), editHeight, kPasswordEditId, font);
    SendMessageW(edit, EM_SETPASSWORDCHAR, '*', 0);
    SendMessageW(edit, EM_LIMITTEXT, kMaxPasswordLength, 0);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    MakeChild(dialog, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, ux(38), buttonTop, ux(50), uy(14), kOkId, font);
    MakeChild(dialog, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, ux(92), buttonTop, ux(50), uy(14), kCancelId,
              font);

    const bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
    if (ownerWasEnabled) {
        EnableWindow(owner, FALSE);
    }
    ShowWindow(dialog, SW_SHOWNORMAL);
    SetForegroundWindow(dialog);
    SetFocus(edit);

    MSG msg;
    while (!state.Done) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) {
                PostQuitMessage(static_cast<int>(msg.wParam));
            }
            break;
        }
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (ownerWasEnabled) {
        EnableWindow(owner, TRUE);
    }
    DestroyWindow(dialog);
    DeleteObject(font);
    if (state.Ok) {
        text = state.Text;
    }
    return state.Ok;
}
