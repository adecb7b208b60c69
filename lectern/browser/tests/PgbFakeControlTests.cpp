// The component over a fake control registered for the web-browser class id (Wine, no
// display): the exact arguments of the calls into the control, the events fired into the
// sink, in-place activation and teardown of the OLE-control base.
#include "FakeBrowser.h"
#include "lectern/browser/SHDocVw_PGBWin.h"

#include "classlib/Forms.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new FakeOleEnvironment);

using PGBTest = FakeBrowserTest<TPGB>;

const FakeCall* LastCall(FakeBrowser* fake, const std::string& name) { return fake->LastCall(name); }

TEST_F(PGBTest, ActivatesInPlaceAndAdoptsTheControlWindow)
{
    HWND h = browser->Handle();
    EXPECT_EQ(h, fake->window);
    EXPECT_EQ(GetParent(h), form->HandleValue());
    EXPECT_EQ(FindControl(h), browser);
    RECT r{};
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, form->HandleValue(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right - r.left, 200);
    // Bounds reach the control through its in-place object.
    browser->SetBounds(5, 5, 150, 90);
    GetWindowRect(h, &r);
    EXPECT_EQ(r.right - r.left, 150);
}

TEST_F(PGBTest, NavigateCallsPassExactArguments)
{
    browser->Navigate(L"http://127.0.0.1:8000/index.html");
    const FakeCall* c = LastCall(fake, "Navigate");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->args[0].AsWide(), L"http://127.0.0.1:8000/index.html");
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(c->args[i].Type(), VT_EMPTY) << i;
    }

    browser->NavigateFlags(L"http://127.0.0.1:8000/a.html", TOleVariant(12));
    c = LastCall(fake, "Navigate");
    EXPECT_EQ(c->args[1].Type(), VT_I4);
    EXPECT_EQ(c->args[1].AsInteger(), 12);
    for (int i = 2; i <= 4; ++i) {
        EXPECT_EQ(c->args[i].Type(), VT_EMPTY) << i;
    }

    TOleVariant url(L"about:blank"), flags(2), frame(L"_self"), post, headers(L"X-A: 1\r\n");
    browser->Navigate2(url, flags, frame, post, headers);
    c = LastCall(fake, "Navigate2");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->args[0].AsWide(), L"about:blank");
    EXPECT_EQ(c->args[1].AsInteger(), 2);
    EXPECT_EQ(c->args[2].AsWide(), L"_self");
    EXPECT_EQ(c->args[3].Type(), VT_EMPTY);
    EXPECT_EQ(c->args[4].AsWide(), L"X-A: 1\r\n");
}

TEST_F(PGBTest, ExecWBGetsAFreshOutputVariantEveryCall)
{
    TOleVariant in;
    browser->ExecWB(6, 2, in);    // print
    browser->ExecWB(17, 0, in);   // select all
    int execs = 0;
    for (const FakeCall& c : fake->calls) {
        if (c.name == "ExecWB") {
            ++execs;
            EXPECT_EQ(c.outTypes.at(0), VT_EMPTY);   // the first call's answer is not seen again
        }
    }
    EXPECT_EQ(execs, 2);
    EXPECT_EQ(LastCall(fake, "ExecWB")->args[0].AsInteger(), 17);

    fake->execResult = E_UNEXPECTED;
    try {
        browser->ExecWB(6, 2, in);
        FAIL() << "no exception";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), E_UNEXPECTED);
    }
}

TEST_F(PGBTest, PropertiesGoThroughTheirDispatchIds)
{
    struct Case {
        DISPID id;
        void (TPGB::*set)(bool);
        bool (TPGB::*get)() const;
    };
    const Case cases[] = {
        {403, &TPGB::SetStatusBar, &TPGB::StatusBar},       {406, &TPGB::SetMenuBar, &TPGB::MenuBar},
        {407, &TPGB::SetFullScreen, &TPGB::FullScreen},     {550, &TPGB::SetOffline, &TPGB::Offline},
        {551, &TPGB::SetSilent, &TPGB::Silent},             {552, &TPGB::SetRegisterAsBrowser, &TPGB::RegisterAsBrowser},
        {553, &TPGB::SetRegisterAsDropTarget, &TPGB::RegisterAsDropTarget},
        {554, &TPGB::SetTheaterMode, &TPGB::TheaterMode},   {555, &TPGB::SetAddressBar, &TPGB::AddressBar},
        {556, &TPGB::SetResizable, &TPGB::Resizable},
    };
    for (const Case& c : cases) {
        (browser->*c.set)(true);
        const FakeCall* put = LastCall(fake, "put " + std::to_string(c.id));
        ASSERT_NE(put, nullptr) << c.id;
        EXPECT_EQ(put->args[0].Type(), VT_BOOL);
        EXPECT_TRUE((browser->*c.get)()) << c.id;
        (browser->*c.set)(false);
        EXPECT_FALSE((browser->*c.get)()) << c.id;
    }
    browser->SetToolBar(3);
    EXPECT_EQ(LastCall(fake, "put 405")->args[0].Type(), VT_I4);
    EXPECT_EQ(browser->ToolBar(), 3);
    browser->SetStatusText(L"ready");
    EXPECT_EQ(browser->StatusText(), L"ready");
}

struct EventProbe : TObject {
    std::vector<std::string> log;
    bool cancelNavigation = false;
    IDispatch* newWindow = nullptr;
    void BeforeNavigate2(TObject*, IDispatch* disp, VARIANT& url, VARIANT& flags, VARIANT& frame, VARIANT& post,
                         VARIANT& headers, bool& cancel)
    {
        log.push_back("before " + FromWide(TOleVariant(url).AsWide()) + " flags " +
                      std::to_string(TOleVariant(flags).AsInteger()) + " frame " +
                      FromWide(TOleVariant(frame).AsWide()) + " cancel " + (cancel ? "1" : "0"));
        cancel = cancelNavigation;
    }
    void Progress(TObject*, int progress, int max)
    {
        log.push_back("progress " + std::to_string(progress) + "/" + std::to_string(max));
    }
    void CommandState(TObject*, int command, bool enable)
    {
        log.push_back("command " + std::to_string(command) + (enable ? " on" : " off"));
    }
    void NewWindow2(TObject*, IDispatch*& disp, bool& cancel)
    {
        log.push_back("newwindow2");
        disp = newWindow;
        cancel = true;
    }
    void NewWindow3(TObject*, IDispatch*&, bool& cancel, uint32_t flags, const std::wstring& context,
                    const std::wstring& url)
    {
        log.push_back("newwindow3 " + std::to_string(flags) + " " + FromWide(context) + " " + FromWide(url));
        cancel = true;
    }
    void ClientToHost(TObject*, int& cx, int& cy)
    {
        cx = 640;
        cy = 480;
    }
    void Status(TObject*, const std::wstring& text) { log.push_back("status " + FromWide(text)); }
    void Begin(TObject*) { log.push_back("begin"); }
};

VARIANT BoolRef(VARIANT_BOOL* b)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&v) = b;
    return v;
}

VARIANT VarRef(VARIANT* target)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&v) = target;
    return v;
}

TEST_F(PGBTest, EventsArriveWithArgumentsInOrderAndWriteBackByReference)
{
    EventProbe probe;
    browser->OnBeforeNavigate2 = TWebBrowserBeforeNavigate2(&probe, &EventProbe::BeforeNavigate2);
    browser->OnProgressChange = TWebBrowserProgressChange(&probe, &EventProbe::Progress);
    browser->OnCommandStateChange = TWebBrowserCommandStateChange(&probe, &EventProbe::CommandState);
    browser->OnNewWindow2 = TWebBrowserNewWindow2(&probe, &EventProbe::NewWindow2);
    browser->OnNewWindow3 = TWebBrowserNewWindow3(&probe, &EventProbe::NewWindow3);
    browser->OnClientToHostWindow = TWebBrowserClientToHostWindow(&probe, &EventProbe::ClientToHost);
    browser->OnStatusTextChange = TWebBrowserTextEvent(&probe, &EventProbe::Status);
    browser->OnDownloadBegin = TNotifyEvent(&probe, &EventProbe::Begin);

    // BeforeNavigate2: pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel.
    TOleVariant url(L"http://x/"), flags(64), frame(L"main"), post, headers;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT disp;
    VariantInit(&disp);
    V_VT(&disp) = VT_DISPATCH;
    V_DISPATCH(&disp) = nullptr;
    probe.cancelNavigation = true;
    fake->Fire(250, {disp, VarRef(url.Ptr()), VarRef(flags.Ptr()), VarRef(frame.Ptr()), VarRef(post.Ptr()),
                     VarRef(headers.Ptr()), BoolRef(&cancel)});
    EXPECT_EQ(cancel, VARIANT_TRUE);
    probe.cancelNavigation = false;
    fake->Fire(250, {disp, VarRef(url.Ptr()), VarRef(flags.Ptr()), VarRef(frame.Ptr()), VarRef(post.Ptr()),
                     VarRef(headers.Ptr()), BoolRef(&cancel)});
    EXPECT_EQ(cancel, VARIANT_FALSE);

    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    V_VT(&a) = VT_I4;
    V_I4(&a) = 10;
    V_VT(&b) = VT_I4;
    V_I4(&b) = 100;
    fake->Fire(108, {a, b});   // ProgressChange(Progress, ProgressMax)
    V_I4(&a) = CSC_NAVIGATEBACK;
    V_VT(&b) = VT_BOOL;
    V_BOOL(&b) = VARIANT_TRUE;
    fake->Fire(105, {a, b});   // CommandStateChange(Command, Enable)
    TOleVariant status(L"Done");
    fake->Fire(102, {status.Value()});
    fake->Fire(106, {});

    // NewWindow2: the handler's object and Cancel are written back.
    IDispatch* newDisp = nullptr;
    VARIANT ppDisp;
    VariantInit(&ppDisp);
    V_VT(&ppDisp) = VT_DISPATCH | VT_BYREF;
    V_DISPATCHREF(&ppDisp) = &newDisp;
    TComPtr<IDispatch> other = TComPtr<IDispatch>(browser->ControlDispatch());
    probe.newWindow = other.Get();
    cancel = VARIANT_FALSE;
    fake->Fire(251, {ppDisp, BoolRef(&cancel)});
    EXPECT_EQ(newDisp, other.Get());
    EXPECT_EQ(cancel, VARIANT_TRUE);
    if (newDisp != nullptr) {
        newDisp->Release();
    }

    // NewWindow3: ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl.
    newDisp = nullptr;
    probe.newWindow = nullptr;
    cancel = VARIANT_FALSE;
    VARIANT flags3;
    VariantInit(&flags3);
    V_VT(&flags3) = VT_I4;
    V_I4(&flags3) = 6;
    TOleVariant context(L"http://a/"), target(L"http://b/");
    fake->Fire(273, {ppDisp, BoolRef(&cancel), flags3, context.Value(), target.Value()});
    EXPECT_EQ(cancel, VARIANT_TRUE);

    // ClientToHostWindow: var CX, var CY.
    LONG cx = 1, cy = 2;
    VARIANT vx, vy;
    VariantInit(&vx);
    VariantInit(&vy);
    V_VT(&vx) = VT_I4 | VT_BYREF;
    V_I4REF(&vx) = &cx;
    V_VT(&vy) = VT_I4 | VT_BYREF;
    V_I4REF(&vy) = &cy;
    fake->Fire(268, {vx, vy});
    EXPECT_EQ(cx, 640);
    EXPECT_EQ(cy, 480);

    EXPECT_EQ(probe.log, (std::vector<std::string>{
                             "before http://x/ flags 64 frame main cancel 0",
                             "before http://x/ flags 64 frame main cancel 1",
                             "progress 10/100",
                             "command 2 on",
                             "status Done",
                             "begin",
                             "newwindow2",
                             "newwindow3 6 http://a/ http://b/",
                         }));
    // An id that is no event of the control data is refused.
    EXPECT_EQ(fake->Fire(9999, {}), DISP_E_MEMBERNOTFOUND);
}

TEST_F(PGBTest, ReflectedKeysReachTheControlsAcceleratorsFirst)
{
    HWND h = browser->Handle();
    EXPECT_EQ(SendMessageW(h, CN_KEYDOWN, VK_TAB, 0), 1);   // translated: consumed
    EXPECT_EQ(SendMessageW(h, CN_KEYDOWN, 'A', 0), 0);      // not: the key goes on
    EXPECT_EQ(fake->translated, (std::vector<UINT>{VK_TAB, 'A'}));
}

TEST_F(PGBTest, AmbientPropertiesOfTheSite)
{
    TComPtr<IDispatch> ambient;
    ASSERT_EQ(fake->site->QueryInterface(IID_IDispatch, ambient.PutVoid()), S_OK);
    EXPECT_TRUE(GetDispatchProperty(ambient.Get(), -709).AsBool());    // user mode
    EXPECT_FALSE(GetDispatchProperty(ambient.Get(), -710).AsBool());   // UI dead
    TOleVariant result;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(ambient->Invoke(12345, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Ptr(), nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST(PGBTeardownTest, LateCallsFromTheControlFindNoComponent)
{
    auto* form = new TForm(Application);
    auto* browser = new TPGB(form);
    browser->SetParent(form);
    browser->SetBounds(0, 0, 100, 100);
    browser->HandleNeeded();
    FakeBrowser* fake = FakeBrowser::Last();
    ASSERT_NE(fake, nullptr);
    fake->AddRef();   // the control outlives the component
    TComPtr<IOleClientSite> site(fake->site);
    TComPtr<IOleInPlaceSite> inPlace = site.As<IOleInPlaceSite>(IID_IOleInPlaceSite);
    ASSERT_TRUE(inPlace);
    delete form;
    EXPECT_EQ(fake->site, nullptr);   // the component gave up its site
    EXPECT_EQ(fake->sink, nullptr);   // and its event connection
    HWND w = reinterpret_cast<HWND>(1);
    EXPECT_EQ(inPlace->GetWindow(&w), E_FAIL);
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(inPlace->CanInPlaceActivate(), S_FALSE);
    TComPtr<IUnknown> host;
    EXPECT_EQ(site->QueryInterface(kIID_IDocHostUIHandler, host.PutVoid()), E_NOINTERFACE);
    inPlace.Reset();
    site.Reset();
    fake->Release();
}

}  // namespace
