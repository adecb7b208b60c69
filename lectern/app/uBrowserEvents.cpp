#include "lectern/app/uBrowserEvents.h"

namespace {

// The web-browser service (SID_SWebBrowserApp, which is IID_IWebBrowserApp).
const GUID kSID_SWebBrowserApp = {0x0002DF05, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

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

// The browser object an object of a frame stands for: itself, or the one its service provider
// names (a document or window); empty when neither.
TComPtr<IWebBrowser2> BrowserOf(IUnknown* object)
{
    TComPtr<IWebBrowser2> browser;
    if (object == nullptr) {
        return browser;
    }
    if (SUCCEEDED(object->QueryInterface(kIID_IWebBrowser2, browser.PutVoid())) && browser) {
        return browser;
    }
    browser = {};
    TComPtr<IServiceProvider> provider;
    if (SUCCEEDED(object->QueryInterface(IID_IServiceProvider, provider.PutVoid())) && provider) {
        if (FAILED(provider->QueryService(kSID_SWebBrowserApp, kIID_IWebBrowser2, browser.PutVoid()))) {
            browser = {};
        }
    }
    return browser;
}

// The browser object of the frame that holds a frame; empty when it cannot be read or is the
// frame itself.
TComPtr<IWebBrowser2> ParentOf(IWebBrowser2* frame)
{
    TComPtr<IDispatch> parent;
    if (FAILED(frame->get_Parent(parent.Put())) || !parent) {
        return {};
    }
    TComPtr<IWebBrowser2> holder = BrowserOf(parent.Get());
    if (holder && SameObject(holder.Get(), frame)) {
        return {};
    }
    return holder;
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

TNavigationSource NavigationSource(IDispatch* frame, TPGB& pageView, const std::string& pageBehindBlank)
{
    TNavigationSource source{{}, false};
    try {
        TComPtr<IWebBrowser2> top = pageView.BrowserIntf();
        TComPtr<IWebBrowser2> browser = frame == nullptr ? top : BrowserOf(frame);
        if (!browser) {
            return source;
        }
        source.Document = LocationOf(browser.Get());
        source.TopFrame = SameObject(browser.Get(), top.Get());
        if (!IsNoPage(source.Document)) {
            return source;
        }
        for (int depth = 0; browser && depth <= kMaxHolderDepth; ++depth) {
            if (SameObject(browser.Get(), top.Get())) {
                source.Holder = pageBehindBlank;  // the page view without a page
                return source;
            }
            TComPtr<IWebBrowser2> holder = ParentOf(browser.Get());
            const std::string page = LocationOf(holder.Get());
            if (!IsNoPage(page)) {
                source.Holder = page;
                return source;
            }
            browser = holder;
        }
        return source;
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
