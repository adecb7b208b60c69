// The real web-browser control on a screen (Xvfb, Wine drawing the frame itself): creation and
// in-place activation, BeforeNavigate2 with Cancel honoured, the page request reaching a local
// HTTP server, parking across re-creation, dialogs activated for real, the mouse-wheel hook
// driven by SendInput, and a screenshot of the form. Label "display".
#include "FakeBrowser.h"
#include "lectern/browser/PageBrowserWin.h"
#include "lectern/browser/PgbControlComponentWin.h"
#include "tests/support/ScreenShot.h"

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

// One form with the real control for the whole suite (showing a window costs seconds here).
class RealControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
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
    static void TearDownTestSuite()
    {
        delete form;
        form = nullptr;
        browser = nullptr;
        Application->ProcessMessages();
    }
    void TearDown() override
    {
        browser->OnBeforeNavigate2 = TWebBrowserBeforeNavigate2();
        browser->DialogBoxes().NewCaption.clear();
    }
    static TForm* form;
    static TPageBrowser* browser;
};
TForm* RealControlTest::form = nullptr;
TPageBrowser* RealControlTest::browser = nullptr;

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

    // Waiting for the page ends by itself, or at the time limit when it never completes.
    const DWORD start = GetTickCount();
    const bool complete = browser->Wait(300);
    EXPECT_LT(GetTickCount() - start, 3000u);
    std::printf("wait: %s, ready state %d\n", complete ? "complete" : "timed out", browser->ReadyState());
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
    RedrawWindow(form->HandleValue(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    PumpUntil([] { return false; }, 300);
    TScreenShot shot(form->HandleValue());
    shot.SaveBmp("browser_form.bmp");  // for looking at
    RECT control{};
    GetWindowRect(browser->HandleValue(), &control);
    auto at = [&](int x, int y) { return shot.At(x - shot.Area().left, y - shot.Area().top); };
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
// (The other dialog cases run without a display, in the component tests.)
TEST_F(RealControlTest, DialogsAreHandledWhenTheyTakeTheActivation)
{
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
    DestroyWindow(dialog);
    DestroyWindow(host);
}

// The wheel: browsers standing in for the real control (with its window chain), under the
// process's wheel hook driven by SendInput.
struct WheelCounter {
    HWND window = nullptr;
    WNDPROC old = nullptr;
    LONG wheels = 0;
};
WheelCounter gCounters[2];

LRESULT CALLBACK CountWheel(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    for (WheelCounter& c : gCounters) {
        if (c.window == w) {
            if (msg == WM_MOUSEWHEEL) {
                ++c.wheels;
            }
            return CallWindowProcW(c.old, w, msg, wp, lp);
        }
    }
    return DefWindowProcW(w, msg, wp, lp);
}

void Wheel()
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    input.mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA);
    SendInput(1, &input, sizeof input);
}

struct WheelHandler : TObject {
    bool handle = false;
    int calls = 0;
    void OnWheel(POINT, HWND, LPARAM, bool& handled)
    {
        ++calls;
        handled = handle;
    }
};

class WheelHookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OleInitialize(nullptr);
        FakeBrowser::Register();
        hook = TPGBMouseHook::Acquire();
        ASSERT_TRUE(hook->Installed());   // installed by the unit's start
        firstForm = new TForm(Application);
        firstForm->SetBounds(30, 30, 600, 300);
        first = Place(firstForm, 0);
        firstFake = FakeBrowser::Last();
        secondForm = firstForm;
    }
    // Puts the second browser on the first form or on a form of its own at the right.
    void PlaceSecond(bool ownForm)
    {
        if (ownForm) {
            secondForm = new TForm(Application);
            secondForm->SetBounds(650, 30, 320, 300);
        }
        second = Place(secondForm, ownForm ? 0 : 300);
        secondFake = FakeBrowser::Last();
        firstForm->Show();
        secondForm->Show();
        if (ownForm) {
            SetForegroundWindow(firstForm->HandleValue());
        }
        Application->ProcessMessages();
        for (int i = 0; i < 2; ++i) {
            WheelCounter& c = gCounters[i];
            c = WheelCounter{};
            c.window = (i == 0 ? firstFake : secondFake)->server;
            c.old = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(c.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountWheel)));
        }
        SetFocus(firstFake->server);
        RECT r{};
        GetWindowRect(secondFake->server, &r);
        SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        Application->ProcessMessages();
    }
    void TearDown() override
    {
        for (WheelCounter& c : gCounters) {
            if (c.window != nullptr && IsWindow(c.window)) {
                SetWindowLongPtrW(c.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(c.old));
            }
            c = WheelCounter{};
        }
        hook->OnMouseWheel = TMouseWheelEvent();
        hook->ActiveFormOnly = false;
        TPGBMouseHook::Release(hook);
        if (secondForm != firstForm) {
            delete secondForm;
        }
        delete firstForm;
        FakeBrowser::Revoke();
    }
    static TPageBrowser* Place(TForm* form, int left) { return PlaceBrowser<TPageBrowser>(form, left, 0, 290, 250); }

    TPGBMouseHook* hook = nullptr;
    TForm* firstForm = nullptr;
    TForm* secondForm = nullptr;
    TPageBrowser* first = nullptr;
    TPageBrowser* second = nullptr;
    FakeBrowser* firstFake = nullptr;
    FakeBrowser* secondFake = nullptr;
};

TEST_F(WheelHookTest, WheelOverTheSecondBrowserMovesTheFocusFirstThenScrolls)
{
    PlaceSecond(false);
    Wheel();
    PumpUntil([&] { return GetFocus() == secondFake->server; }, 2000);
    EXPECT_EQ(GetFocus(), secondFake->server);   // the focus moved
    EXPECT_EQ(gCounters[1].wheels, 0);           // and that wheel message was eaten
    EXPECT_EQ(gCounters[0].wheels, 0);
    Wheel();
    PumpUntil([&] { return gCounters[1].wheels > 0; }, 2000);
    EXPECT_EQ(gCounters[1].wheels, 1);           // the next turn scrolls the second browser
}

TEST_F(WheelHookTest, HandledByTheEventKeepsTheFocusAndPassesTheMessageOn)
{
    WheelHandler handler;
    handler.handle = true;
    hook->OnMouseWheel = TMouseWheelEvent(&handler, &WheelHandler::OnWheel);
    PlaceSecond(false);
    // With ActiveFormOnly the form under the cursor is the active one: that leaves the
    // event's answer standing.
    for (const bool activeFormOnly : {false, true}) {
        SCOPED_TRACE(activeFormOnly ? "active form only" : "any form");
        hook->ActiveFormOnly = activeFormOnly;
        ASSERT_EQ(Screen->ActiveForm(), firstForm);
        gCounters[0].wheels = gCounters[1].wheels = 0;
        handler.calls = 0;
        Wheel();
        // The message goes on to the system, which delivers it (here to the window under the
        // cursor); the focus stays.
        PumpUntil([&] { return gCounters[0].wheels + gCounters[1].wheels > 0; }, 2000);
        EXPECT_EQ(handler.calls, 1);
        EXPECT_EQ(GetFocus(), firstFake->server);
        EXPECT_EQ(gCounters[0].wheels + gCounters[1].wheels, 1);   // not eaten
    }
}

TEST_F(WheelHookTest, ActiveFormOnlyLeavesAnInactiveFormAlone)
{
    hook->ActiveFormOnly = true;
    PlaceSecond(true);
    ASSERT_EQ(Screen->ActiveForm(), firstForm);
    Wheel();
    PumpUntil([&] { return gCounters[0].wheels + gCounters[1].wheels > 0; }, 2000);
    EXPECT_EQ(GetFocus(), firstFake->server);                   // the focus did not move
    EXPECT_EQ(gCounters[0].wheels + gCounters[1].wheels, 1);   // left to the system
    hook->ActiveFormOnly = false;
    Wheel();   // the same turn without the option moves the focus
    PumpUntil([&] { return GetFocus() == secondFake->server; }, 2000);
    EXPECT_EQ(GetFocus(), secondFake->server);
}

TEST_F(WheelHookTest, WindowsOfAnotherThreadAreLeftAlone)
{
    PlaceSecond(false);
    // A browser-like window chain of another thread, on top where the cursor is.
    RECT r{};
    GetWindowRect(secondFake->server, &r);
    HWND foreign = nullptr;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        HWND frame = CreateWindowExW(WS_EX_TOPMOST, L"Shell DocObject View", L"", WS_POPUP | WS_VISIBLE, r.left, r.top,
                                     r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
        HWND embedding = CreateWindowExW(0, L"Shell Embedding", L"", WS_CHILD | WS_VISIBLE, 0, 0, r.right - r.left,
                                         r.bottom - r.top, frame, nullptr, nullptr, nullptr);
        foreign = CreateWindowExW(0, L"Internet Explorer_Server", L"", WS_CHILD | WS_VISIBLE, 0, 0, r.right - r.left,
                                  r.bottom - r.top, embedding, nullptr, nullptr, nullptr);
        SetEvent(ready);
        while (WaitForSingleObject(done, 0) != WAIT_OBJECT_0) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&msg);
            }
            Sleep(5);
        }
        DestroyWindow(frame);
    });
    WaitForSingleObject(ready, 5000);
    const POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    PumpUntil([&] { return WindowFromPoint(at) == foreign; }, 2000);
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ASSERT_EQ(WindowFromPoint(centre), foreign);
    // A wheel message of this thread with the cursor over the other thread's browser: the
    // focus stays, the message goes on.
    EXPECT_FALSE(hook->WheelMessage(centre, 0));
    EXPECT_EQ(GetFocus(), firstFake->server);
    SetEvent(done);
    other.join();
    CloseHandle(ready);
    CloseHandle(done);
}

}  // namespace
