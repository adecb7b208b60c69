#include "lectern/app/uBrowserEvents.h"

namespace {

bool SameObject(IUnknown* a, IUnknown* b)
{
    if (a == nullptr || b == nullptr) {
        return false;
    }
    TComPtr<IUnknown> ia;
    TComPtr<IUnknown> ib;
    a->QueryInterface(IID_IUnknown, ia.PutVoid());
    b->QueryInterface(IID_IUnknown, ib.PutVoid());
    return ia && ia.Get() == ib.Get();
}

}  // namespace

std::string LocationOf(IWebBrowser2* browser)
{
    if (browser == nullptr) {
        return {};
    }
    BSTR location = nullptr;
    std::string url;
    if (SUCCEEDED(browser->get_LocationURL(&location)) && location != nullptr) {
        url = FromWide(location);
    }
    if (location != nullptr) {
        SysFreeString(location);
    }
    return url;
}

TNavigationSource NavigationSource(IDispatch* frame, TPGB& pageView)
{
    try {
        TComPtr<IWebBrowser2> top = pageView.BrowserIntf();
        if (frame == nullptr) {
            return {LocationOf(top.Get()), true};
        }
        TComPtr<IWebBrowser2> browser;
        if (FAILED(frame->QueryInterface(kIID_IWebBrowser2, browser.PutVoid())) || !browser) {
            return {{}, false};
        }
        return {LocationOf(browser.Get()), SameObject(browser.Get(), top.Get())};
    } catch (const std::exception&) {
        return {{}, false};
    }
}

void HandNewWindowTo(TPGB& browser, IDispatch*& ppDisp)
{
    TComPtr<IDispatch> application;
    if (SUCCEEDED(browser.BrowserIntf()->get_Application(application.Put())) && application) {
        ppDisp = application.Get();   // lent: the control holds the object while the window lives
    }
}
