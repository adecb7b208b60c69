// Forms and windowed controls under Wine (null display driver): real windows, the window
// procedure chain, re-creation, the application window's hooks and the message loop.
#include "classlib/Forms.h"
#include "classlib/Menus.h"
#include "classlib/Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr UINT kProbeMessage = WM_APP + 7;

class FormsTest : public ::testing::Test {
protected:
    void SetUp() override { FormsInit(); }
    void TearDown() override { FormsDone(); }
};

// A party that hooks a control's window procedure and logs what it sees.
struct Hooker : TObject {
    Hooker(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
    void Proc(TMessage& m)
    {
        if (m.Msg == kProbeMessage) {
            log.push_back(name);
        }
        hook.CallNext(m);
    }
    std::vector<std::string>& log;
    std::string name;
    TWndHook hook{TWndMethod(this, &Hooker::Proc)};
};

struct LoggingControl : TWinControl {
    using TWinControl::TWinControl;
    std::vector<std::string>* log = nullptr;
    int creations = 0;
    std::vector<UINT> reflected;
    LRESULT reflectedAnswer = 0;
    void CreateWnd() override
    {
        TWinControl::CreateWnd();
        ++creations;
    }
    void WndProc(TMessage& m) override
    {
        if (m.Msg == kProbeMessage && log != nullptr) {
            log->push_back("own");
            m.Result = 42;
            return;
        }
        if (m.Msg >= CN_KEYDOWN && m.Msg <= CN_SYSCHAR) {
            reflected.push_back(m.Msg);
            m.Result = reflectedAnswer;
            return;
        }
        if (m.Msg == kProbeMessage + 1) {
            throw Exception("thrown in a window procedure");
        }
        TWinControl::WndProc(m);
    }
    CL_CLASS_NAME(LoggingControl)
};

TEST_F(FormsTest, FormAndChildAreRealWindowsWithBounds)
{
    auto* form = new TForm(Application);
    form->SetCaption("Probe form");
    form->SetBounds(10, 20, 400, 300);
    auto* child = new LoggingControl(form);
    child->SetParent(form);
    child->SetBounds(5, 6, 100, 50);
    HWND fw = form->Handle();
    ASSERT_TRUE(IsWindow(fw));
    ASSERT_TRUE(child->HandleAllocated());
    EXPECT_EQ(GetParent(child->HandleValue()), fw);
    EXPECT_EQ(FindControl(child->HandleValue()), child);
    EXPECT_EQ(GetParentForm(child), form);
    wchar_t cls[64]{};
    GetClassNameW(fw, cls, 64);
    EXPECT_STREQ(cls, L"TForm");
    RECT r{};
    GetWindowRect(child->HandleValue(), &r);
    MapWindowPoints(nullptr, fw, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.right - r.left, 100);
    // Aligned client fills the form's client area.
    child->SetAlign(TAlign::alClient);
    RECT cr{};
    GetClientRect(fw, &cr);
    EXPECT_EQ(child->Width(), cr.right);
    EXPECT_EQ(child->Height(), cr.bottom);
    delete form;
    EXPECT_FALSE(IsWindow(fw));
}

TEST_F(FormsTest, HookChainRunsNewestFirstAndSplicesOnDetachAndSurvivesRecreation)
{
    std::vector<std::string> log;
    auto* form = new TForm(Application);
    auto* control = new LoggingControl(form);
    control->log = &log;
    control->SetParent(form);
    Hooker a(log, "a"), b(log, "b"), c(log, "c");
    a.hook.Attach(control);
    b.hook.Attach(control);
    c.hook.Attach(control);
    EXPECT_EQ(SendMessageW(control->Handle(), kProbeMessage, 0, 0), 42);
    EXPECT_EQ(log, (std::vector<std::string>{"c", "b", "a", "own"}));

    // Taken out of the middle: the others stay chained.
    log.clear();
    b.hook.Detach();
    control->Perform(kProbeMessage, 0, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"c", "a", "own"}));

    // Re-creation of the form's windows keeps the chain; the control has a new window.
    HWND old = control->HandleValue();
    form->RecreateWnd();
    EXPECT_EQ(control->creations, 2);
    EXPECT_FALSE(IsWindow(old));
    log.clear();
    SendMessageW(control->Handle(), kProbeMessage, 0, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"c", "a", "own"}));

    // Reverse-order removal leaves the control's own procedure at the head.
    c.hook.Detach();
    a.hook.Detach();
    log.clear();
    control->Perform(kProbeMessage, 0, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"own"}));
    EXPECT_EQ(control->WindowProc().Object(), control);
    delete form;
}

TEST_F(FormsTest, HookOutlivedByControlIsDetachedWithIt)
{
    std::vector<std::string> log;
    Hooker a(log, "a");
    {
        auto* form = new TForm(Application);
        a.hook.Attach(form);
        EXPECT_TRUE(a.hook.Attached());
        delete form;
    }
    EXPECT_FALSE(a.hook.Attached());
}

struct AppHookProbe : TObject {
    std::vector<std::string> seen;
    std::string name;
    bool consume = false;
    void Hook(TMessage& m, bool& handled)
    {
        if (m.Msg == kProbeMessage) {
            seen.push_back(name);
            handled = consume;
            m.Result = 7;
        }
    }
};

TEST_F(FormsTest, ApplicationWindowHooksSeeMessagesFirstAndCanConsume)
{
    AppHookProbe first, second;
    first.name = "first";
    second.name = "second";
    Application->HookMainWindow(TWindowHook(&first, &AppHookProbe::Hook));
    Application->HookMainWindow(TWindowHook(&second, &AppHookProbe::Hook));
    wchar_t cls[64]{};
    GetClassNameW(Application->Handle(), cls, 64);
    EXPECT_STREQ(cls, L"TApplication");

    SendMessageW(Application->Handle(), kProbeMessage, 0, 0);
    EXPECT_EQ(first.seen.size() + second.seen.size(), 2u);
    second.consume = true;
    EXPECT_EQ(SendMessageW(Application->Handle(), kProbeMessage, 0, 0), 7);
    EXPECT_EQ(first.seen.size(), 1u);   // the newest hook consumed it
    Application->UnhookMainWindow(TWindowHook(&second, &AppHookProbe::Hook));
    SendMessageW(Application->Handle(), kProbeMessage, 0, 0);
    EXPECT_EQ(first.seen.size(), 2u);
    EXPECT_EQ(second.seen.size(), 2u);
    Application->UnhookMainWindow(TWindowHook(&first, &AppHookProbe::Hook));
}

struct ExceptionProbe : TObject {
    std::string message;
    void OnError(TObject*, const std::exception& e) { message = e.what(); }
};

TEST_F(FormsTest, ExceptionInWindowProcedureIsReportedNotPropagated)
{
    ExceptionProbe probe;
    Application->OnException = TExceptionEvent(&probe, &ExceptionProbe::OnError);
    auto* form = new TForm(Application);
    auto* control = new LoggingControl(form);
    control->SetParent(form);
    SendMessageW(control->Handle(), kProbeMessage + 1, 0, 0);
    EXPECT_EQ(probe.message, "thrown in a window procedure");
    delete form;
}

TEST_F(FormsTest, KeysAreReflectedToTheNearestControlAndCanBeConsumed)
{
    auto* form = new TForm(Application);
    auto* control = new LoggingControl(form);
    control->SetParent(form);
    control->SetBounds(0, 0, 50, 50);
    // A foreign window inside the control, as an embedded object's window would be.
    HWND inner = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, control->Handle(), nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(inner, nullptr);
    // Not consumed: the key is translated and its character reflected too.
    PostMessageW(inner, WM_KEYDOWN, 'A', 0);
    PostMessageW(inner, WM_KEYUP, 'A', 0);
    Application->ProcessMessages();
    EXPECT_EQ(control->reflected, (std::vector<UINT>{CN_KEYDOWN, CN_KEYUP, CN_CHAR}));
    // Consumed: no character follows.
    control->reflected.clear();
    control->reflectedAnswer = 1;
    PostMessageW(inner, WM_KEYDOWN, 'A', 0);
    Application->ProcessMessages();
    EXPECT_EQ(control->reflected, (std::vector<UINT>{CN_KEYDOWN}));
    delete form;
}

TEST_F(FormsTest, TerminateEndsTheLoop)
{
    auto* form = Application->CreateForm<TForm>();
    EXPECT_EQ(Application->MainForm(), form);
    PostMessageW(form->Handle(), WM_CLOSE, 0, 0);   // closing the main form ends the program
    Application->Run();
    EXPECT_TRUE(Application->Terminated());
    delete form;
    EXPECT_EQ(Application->MainForm(), nullptr);
}

// A thread that hands one call to the main thread and ends.
class SyncingThread : public TThread {
public:
    explicit SyncingThread(TThreadMethod method) : FMethod(method) {}

protected:
    void Execute() override { Synchronize(FMethod); }

private:
    TThreadMethod FMethod;
};

struct SyncProbe : TObject {
    std::atomic<int> calls{0};
    std::atomic<uint32_t> thread{0};
    bool terminate = false;
    void Call()
    {
        ++calls;
        thread = GetCurrentThreadId();
        if (terminate) {
            Application->Terminate();
        }
    }
};

void CALLBACK TerminateOnTimer(HWND, UINT, UINT_PTR, DWORD) { Application->Terminate(); }

// Every way of driving the loop runs the calls other threads queue for the main thread, also
// when nothing but the thread's own wake-up message arrives.
TEST_F(FormsTest, LoopRunsSynchronisedCalls)
{
    struct Case {
        const char* name;
        std::function<void()> drive;  // turns the loop until the call ran or 5 s passed
        bool terminates;
    };
    SyncProbe probe;
    const auto until = [&probe](const std::function<void()>& step) {
        const DWORD start = GetTickCount();
        while (probe.calls == 0 && GetTickCount() - start < 5000) {
            step();
            Sleep(1);
        }
    };
    const Case cases[] = {
        {"Run", [] { Application->Run(); }, true},
        {"HandleMessage", [&] { until([] { Application->HandleMessage(); }); }, false},
        {"ProcessMessages", [&] { until([] { Application->ProcessMessages(); }); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FormsDone();
        FormsInit();
        probe.calls = 0;
        probe.terminate = c.terminates;
        auto* form = Application->CreateForm<TForm>();
        // A guard ends a loop that never runs the call, so a fault fails instead of hanging.
        const UINT_PTR guard = SetTimer(nullptr, 0, 5000, TerminateOnTimer);
        SyncingThread thread{TThreadMethod(&probe, &SyncProbe::Call)};
        thread.Start();
        c.drive();
        KillTimer(nullptr, guard);
        EXPECT_EQ(probe.calls, 1);
        EXPECT_EQ(probe.thread, GetCurrentThreadId());
        if (probe.calls == 0) {
            CheckSynchronize(5000);  // lets the thread end
        }
        thread.WaitFor();
        delete form;
    }
}

// The popup menu this thread shows (other test programs may show menus of their own).
BOOL CALLBACK FindOwnMenu(HWND window, LPARAM param)
{
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (lstrcmpW(cls, L"#32768") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    return TRUE;
}

// The state of each item of the popup menu on screen, read inside the menu's own loop,
// which it then ends.
std::vector<UINT> gMenuStates;
void CALLBACK ReadMenuAndClose(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND window = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindOwnMenu, reinterpret_cast<LPARAM>(&window));
    if (window == nullptr) {
        return;   // not up yet
    }
    KillTimer(nullptr, id);
    auto* menu = reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
    for (int i = 0; menu != nullptr && i < GetMenuItemCount(menu); ++i) {
        gMenuStates.push_back(GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED);
    }
    EndMenu();
}

TEST_F(FormsTest, MenuItemShowsTheEnabledStateOfItsAction)
{
    auto* form = new TForm(Application);
    auto* disabledAction = new TAction(form);
    disabledAction->SetEnabled(false);
    auto* enabledAction = new TAction(form);
    auto* popup = new TPopupMenu(form);
    auto add = [&](const char* caption, TBasicAction* action, bool enabled) {
        auto* item = new TMenuItem(popup);
        item->SetCaption(caption);
        item->SetAction(action);
        item->SetEnabled(enabled);
        popup->Items()->Add(item);
        return item;
    };
    TMenuItem* copy = add("Copy", disabledAction, true);
    add("Print", enabledAction, true);
    add("Plain", nullptr, true);
    add("Off", nullptr, false);
    EXPECT_FALSE(copy->Enabled());

    gMenuStates.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadMenuAndClose);
    popup->Popup(100, 100);
    KillTimer(nullptr, timer);
    EXPECT_EQ(gMenuStates, (std::vector<UINT>{MF_GRAYED, 0, 0, MF_GRAYED}));

    disabledAction->SetEnabled(true);   // the item follows its action
    EXPECT_TRUE(copy->Enabled());
    delete form;
}

}  // namespace
