// The real web-browser control on a screen (Xvfb, Wine drawing the frame itself): creation and
// in-place activation, BeforeNavigate2 with Cancel honoured, the page request reaching a local
// HTTP server, parking across re-creation, dialogs activated for real, the mouse-wheel hook
// driven by SendInput, and a screenshot of the form. Label "display".
#include "FakeBrowser.h"
#include "lectern/browser/PageBrowser.h"
#include "lectern/browser/PgbControlComponent.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

class DisplayEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        FormsInit();
        PgbControlComponentInit();
        PageBrowserInit();
    }
    void TearDown() override
    {
        PageBrowserDone();
        PgbControlComponentDone();
        FormsDone();
    }
};
const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new DisplayEnvironment);

// A one-request-at-a-time HTTP server on a free loopback port, recording request lines.
class LocalServer {
public:
    LocalServer()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
        listen(FListener, 8);
        FThread = std::thread([this] { Serve(); });
    }
    ~LocalServer()
    {
        FStop = true;
        closesocket(FListener);
        FThread.join();
        WSACleanup();
    }
    int Port() const { return FPort; }
    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> lock(FMutex);
        return FRequests;
    }

private:
    void Serve()
    {
        while (!FStop) {
            SOCKET client = accept(FListener, nullptr, nullptr);
            if (client == INVALID_SOCKET) {
                return;
            }
            char buffer[4096];
            const int n = recv(client, buffer, sizeof buffer - 1, 0);
            if (n > 0) {
                buffer[n] = '\0';
                std::string text(buffer);
                {
                    std::lock_guard<std::mutex> lock(FMutex);
                    FRequests.push_back(text.substr(0, text.find("\r\n")));
                }
                const char answer[] =
                    "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 44\r\n\r\n"
                    "<html><body><p>lectern page</p></body></html>";
                send(client, answer, sizeof answer - 1, 0);
            }
            closesocket(client);
        }
    }

    SOCKET FListener = INVALID_SOCKET;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FThread;
    std::mutex FMutex;
    std::vector<std::string> FRequests;
};

// Pumps messages until done() or the time runs out.
template <class Done>
bool PumpUntil(Done done, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds) {
            return false;
        }
        Application->ProcessMessages();
        Sleep(5);
    }
    return true;
}

struct NavigationProbe : TObject {
    std::vector<std::wstring> urls;
    std::wstring cancelSuffix;
    void BeforeNavigate2(TObject*, IDispatch*, VARIANT& url, VARIANT&, VARIANT&, VARIANT&, VARIANT&, bool& cancel)
    {
        const std::wstring u = TOleVariant(url).AsWide();
        urls.push_back(u);
        if (!cancelSuffix.empty() && u.size() >= cancelSuffix.size() &&
            u.compare(u.size() - cancelSuffix.size(), cancelSuffix.size(), cancelSuffix) == 0) {
            cancel = true;
        }
    }
};

// Writes the screen rectangle of window to a 24-bit BMP file and answers the pixels.
std::vector<COLORREF> CaptureWindow(HWND window, const char* file, RECT& area)
{
    GetWindowRect(window, &area);
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    std::vector<COLORREF> pixels(static_cast<size_t>(w) * h);
    const auto* p = static_cast<const uint8_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = RGB(p[i * 4 + 2], p[i * 4 + 1], p[i * 4]);
    }
    // 24-bit bottom-up BMP for looking at.
    const int stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof ih;
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biSizeImage = static_cast<DWORD>(stride * h);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + ih.biSizeImage;
    if (FILE* f = std::fopen(file, "wb")) {
        std::fwrite(&fh, sizeof fh, 1, f);
        std::fwrite(&ih, sizeof ih, 1, f);
        std::vector<uint8_t> row(static_cast<size_t>(stride));
        for (int y = h - 1; y >= 0; --y) {
            for (int x = 0; x < w; ++x) {
                const COLORREF c = pixels[static_cast<size_t>(y) * w + x];
                row[x * 3] = GetBValue(c);
                row[x * 3 + 1] = GetGValue(c);
                row[x * 3 + 2] = GetRValue(c);
            }
            std::fwrite(row.data(), row.size(), 1, f);
        }
        std::fclose(f);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

class RealControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = new TForm(Application);
        form->SetCaption("Browser host");
        form->SetBounds(40, 40, 500, 360);
        browser = new TPageBrowser(form);
        browser->SetParent(form);
        browser->SetBounds(20, 20, 440, 260);
        browser->Loaded();
        form->Show();
        Application->ProcessMessages();
    }
    void TearDown() override
    {
        delete form;
        Application->ProcessMessages();
    }
    TForm* form = nullptr;
    TPageBrowser* browser = nullptr;
};

TEST_F(RealControlTest, ActivatesInPlaceAndNavigatesToALocalServerWithCancelHonoured)
{
    HWND h = browser->HandleValue();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetWindowClassNameW(h), L"Shell Embedding");
    EXPECT_EQ(GetParent(h), form->HandleValue());

    LocalServer server;
    NavigationProbe probe;
    probe.cancelSuffix = L"/cancelled.html";
    browser->OnBeforeNavigate2 = TWebBrowserBeforeNavigate2(&probe, &NavigationProbe::BeforeNavigate2);
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());

    browser->Navigate(ToWide(base + "/cancelled.html"));
    PumpUntil([&] { return !probe.urls.empty(); }, 5000);
    Application->ProcessMessages();
    Sleep(300);
    Application->ProcessMessages();
    ASSERT_EQ(probe.urls.size(), 1u);
    EXPECT_TRUE(server.Requests().empty());   // cancelled: nothing asked of the server

    browser->NavigateFlags(ToWide(base + "/index.html"), TOleVariant(12));
    EXPECT_TRUE(PumpUntil([&] { return !server.Requests().empty(); }, 10000));
    ASSERT_FALSE(server.Requests().empty());
    EXPECT_EQ(server.Requests()[0], "GET /index.html HTTP/1.1");
    EXPECT_EQ(probe.urls.back(), ToWide(base + "/index.html"));
}

TEST_F(RealControlTest, ParkedAcrossReCreationOfTheForm)
{
    HWND control = browser->HandleValue();
    form->RecreateWnd();
    Application->ProcessMessages();
    EXPECT_EQ(browser->HandleValue(), control);
    EXPECT_TRUE(IsWindow(control));
    EXPECT_EQ(GetParent(control), form->HandleValue());
    RECT r{};
    GetWindowRect(control, &r);
    EXPECT_EQ(r.right - r.left, 440);
    // The control still works after the move.
    LocalServer server;
    browser->Navigate(ToWide("http://127.0.0.1:" + std::to_string(server.Port()) + "/after.html"));
    EXPECT_TRUE(PumpUntil([&] { return !server.Requests().empty(); }, 10000));
}

TEST_F(RealControlTest, ScreenshotShowsTheFormAndTheControlsArea)
{
    SetForegroundWindow(form->HandleValue());
    RedrawWindow(form->HandleValue(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    PumpUntil([] { return false; }, 300);
    RECT area{};
    const std::vector<COLORREF> pixels = CaptureWindow(form->HandleValue(), "browser_form.bmp", area);
    const int w = area.right - area.left;
    RECT control{};
    GetWindowRect(browser->HandleValue(), &control);
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y - area.top) * w + (x - area.left)]; };
    // The form's client area outside the control is the face colour; the control's area is
    // painted by the control's window (not the form's face).
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    POINT client{5, 5};
    ClientToScreen(form->HandleValue(), &client);
    EXPECT_EQ(at(client.x, client.y), face);
    const COLORREF inside = at((control.left + control.right) / 2, (control.top + control.bottom) / 2);
    EXPECT_NE(inside, face);
    // The painted area is exactly the control's rectangle.
    const int midY = (control.top + control.bottom) / 2;
    const int midX = (control.left + control.right) / 2;
    EXPECT_EQ(at(control.left + 1, midY), inside);
    EXPECT_EQ(at(control.right - 2, midY), inside);
    EXPECT_EQ(at(control.left - 2, midY), face);
    EXPECT_EQ(at(control.right + 1, midY), face);
    EXPECT_EQ(at(midX, control.top - 2), face);
    EXPECT_EQ(at(midX, control.bottom + 1), face);
    std::printf("control centre colour %06lX, face %06lX, capture browser_form.bmp\n",
                static_cast<unsigned long>(inside), static_cast<unsigned long>(face));
}

// Real dialog windows activated for real: the form loses activation to them.
TEST_F(RealControlTest, DialogsAreHandledWhenTheyTakeTheActivation)
{
    SetForegroundWindow(form->HandleValue());
    Application->ProcessMessages();
    browser->DialogBoxes().NewCaption = L"Lectern";
    HWND host = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND dialog = CreateWindowExW(WS_EX_DLGMODALFRAME, L"#32770", L"Microsoft Internet Explorer",
                                  WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 100, 200, 100, host, nullptr, nullptr, nullptr);
    ASSERT_NE(dialog, nullptr);
    SetActiveWindow(dialog);
    Application->ProcessMessages();
    wchar_t caption[64]{};
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"Lectern");

    HWND error = CreateWindowExW(0, L"#32770", L"Error", WS_POPUP | WS_CAPTION | WS_VISIBLE, 100, 100, 200, 100, host,
                                 nullptr, nullptr, nullptr);
    SetForegroundWindow(form->HandleValue());
    Application->ProcessMessages();
    SetActiveWindow(error);
    Application->ProcessMessages();
    EXPECT_FALSE(IsWindow(error));
    DestroyWindow(dialog);
    DestroyWindow(host);
}

// The wheel: two browsers (stand-ins with the real control's window chain) side by side.
LONG gWheelsOnSecond = 0;
WNDPROC gSecondOldProc = nullptr;
LRESULT CALLBACK CountWheel(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_MOUSEWHEEL) {
        ++gWheelsOnSecond;
    }
    return CallWindowProcW(gSecondOldProc, w, msg, wp, lp);
}

void Wheel()
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    input.mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA);
    SendInput(1, &input, sizeof input);
}

TEST(WheelHookTest, WheelOverTheSecondBrowserMovesTheFocusFirstThenScrolls)
{
    OleInitialize(nullptr);
    FakeBrowser::Register();
    auto* form = new TForm(Application);
    form->SetBounds(30, 30, 600, 300);
    auto* first = new TPageBrowser(form);
    first->SetParent(form);
    first->SetBounds(0, 0, 290, 250);
    FakeBrowser* firstFake = FakeBrowser::Last();
    auto* second = new TPageBrowser(form);
    second->SetParent(form);
    second->SetBounds(300, 0, 290, 250);
    form->Show();
    FakeBrowser* secondFake = FakeBrowser::Last();
    ASSERT_NE(firstFake, secondFake);
    SetForegroundWindow(form->HandleValue());
    Application->ProcessMessages();
    gSecondOldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(secondFake->server, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountWheel)));

    SetFocus(firstFake->server);
    RECT r{};
    GetWindowRect(secondFake->server, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Application->ProcessMessages();
    Wheel();
    PumpUntil([&] { return GetFocus() == secondFake->server; }, 2000);
    EXPECT_EQ(GetFocus(), secondFake->server);   // the focus moved
    EXPECT_EQ(gWheelsOnSecond, 0);               // and that wheel message was eaten
    Wheel();
    PumpUntil([&] { return gWheelsOnSecond > 0; }, 2000);
    EXPECT_EQ(gWheelsOnSecond, 1);               // the next turn scrolls the second browser

    SetWindowLongPtrW(secondFake->server, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gSecondOldProc));
    delete form;
    FakeBrowser::Revoke();
}

}  // namespace
