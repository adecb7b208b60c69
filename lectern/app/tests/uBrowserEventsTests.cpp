// The viewer's browser event glue over the fake control (Wine, null display driver): which
// page a navigation comes from, and the references of a new window handed to the hidden
// browser.
#include "lectern/app/uBrowserEvents.h"
#include "lectern/browser/PageBrowserWin.h"
#include "lectern/browser/tests/FakeBrowser.h"
#include "lectern/browser/tests/FakeDispatch.h"

#include <gtest/gtest.h>

namespace {

const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new FakeOleEnvironment);

// The viewer's two browsers on a form: the page view and the hidden second one.
class BrowserEventsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = new TForm(Application);
        form->SetBounds(50, 60, 400, 300);
        dummy = Place();
        dummyFake = FakeBrowser::Last();
        pageView = Place();
        pageFake = FakeBrowser::Last();
        ASSERT_NE(dummyFake, nullptr);
        ASSERT_NE(pageFake, dummyFake);
    }
    void TearDown() override { delete form; }
    TPageBrowser* Place() { return PlaceBrowser<TPageBrowser>(form, 0, 0, 200, 100); }

    TForm* form = nullptr;
    TPageBrowser* dummy = nullptr;
    TPageBrowser* pageView = nullptr;
    FakeBrowser* dummyFake = nullptr;
    FakeBrowser* pageFake = nullptr;
};

TEST_F(BrowserEventsTest, NavigationComesFromThePageOfTheFrameThatNavigates)
{
    const std::wstring book = L"http://127.0.0.1:8000/p/G/index.html";
    const std::wstring remote = L"https://video.example.org/embed/1";
    pageFake->location = book;
    dummyFake->location = remote;   // stands for a frame inside the page
    TComPtr<IDispatch> notABrowser = TComPtr<IDispatch>::Adopt(new FakeDispatch());

    TComPtr<IDispatch> top(pageView->ControlDispatch());
    TNavigationSource s = NavigationSource(top.Get(), *pageView, "");
    EXPECT_EQ(s.Document, FromWide(book));
    EXPECT_TRUE(s.TopFrame);

    TComPtr<IDispatch> frame(dummy->ControlDispatch());
    s = NavigationSource(frame.Get(), *pageView, "");
    EXPECT_EQ(s.Document, FromWide(remote));   // not the top page's
    EXPECT_FALSE(s.TopFrame);

    s = NavigationSource(notABrowser.Get(), *pageView, "");
    EXPECT_EQ(s.Document, "");
    EXPECT_FALSE(s.TopFrame);

    s = NavigationSource(nullptr, *pageView, "");
    EXPECT_EQ(s.Document, FromWide(book));
    EXPECT_TRUE(s.TopFrame);
}

TEST_F(BrowserEventsTest, AFrameWithoutAPageIsJudgedByThePageThatHoldsIt)
{
    const std::string book = "http://127.0.0.1:8000/p/G/index.html";
    const std::string remote = "https://ads.example.org/frame.html";
    TPageBrowser* blank = Place();
    FakeBrowser* blankFake = FakeBrowser::Last();
    pageFake->location = ToWide(book);
    dummyFake->location = ToWide(remote);   // stands for a remote frame inside the book page
    blankFake->location = L"about:blank";   // a frame inside that one, written by its page
    TComPtr<IDispatch> top(pageView->ControlDispatch());
    TComPtr<IDispatch> outer(dummy->ControlDispatch());
    TComPtr<IDispatch> inner(blank->ControlDispatch());
    auto* documentFake = new FakeDispatch();
    TComPtr<IDispatch> document = TComPtr<IDispatch>::Adopt(documentFake);
    const auto held = [&](IDispatch* frame, const std::string& behind) {
        return NavigationSource(frame, *pageView, behind).Holder;
    };

    dummyFake->parent = top.Get();
    blankFake->parent = outer.Get();
    const TNavigationSource s = NavigationSource(inner.Get(), *pageView, "");
    EXPECT_EQ(s.Document, "about:blank");
    EXPECT_FALSE(s.TopFrame);
    EXPECT_EQ(s.Holder, remote);   // not the book page above it
    // A parent that is a document naming its frame's browser as a service.
    documentFake->browserService = top.Get();
    blankFake->parent = document.Get();
    EXPECT_EQ(held(inner.Get(), ""), book);
    // Up through frames without a page to the page view's page.
    dummyFake->location = L"";
    blankFake->parent = outer.Get();
    EXPECT_EQ(held(inner.Get(), ""), book);
    // The page view without a page: the page it showed before.
    pageFake->location = L"about:blank";
    EXPECT_EQ(held(inner.Get(), remote), remote);
    EXPECT_EQ(held(outer.Get(), book), book);
    EXPECT_EQ(held(top.Get(), book), book);
    EXPECT_EQ(held(nullptr, ""), "");
    // A frame with a page of its own is judged by that page: no holder is asked.
    dummyFake->location = ToWide(remote);
    EXPECT_EQ(held(outer.Get(), book), "");

    // Parents that cannot be read, that name the frame itself, or that go round in a circle.
    dummyFake->location = L"";
    for (IDispatch* parent : {static_cast<IDispatch*>(nullptr), inner.Get(), outer.Get()}) {
        blankFake->parent = parent;
        dummyFake->parent = inner.Get();
        EXPECT_EQ(held(inner.Get(), book), "");
    }
    dummyFake->parent = nullptr;
    blankFake->parent = nullptr;
}

struct NewWindowHandler : TObject {
    TPGB* target = nullptr;
    void NewWindow2(TObject*, IDispatch*& ppDisp, bool& cancel)
    {
        HandNewWindowTo(*target, ppDisp);
        cancel = false;
    }
};

TEST_F(BrowserEventsTest, NewWindowHandedToTheHiddenBrowserLeaksNoReference)
{
    NewWindowHandler handler;
    handler.target = dummy;
    pageView->OnNewWindow2 = TWebBrowserNewWindow2(&handler, &NewWindowHandler::NewWindow2);
    dummy->BrowserIntf();   // the component keeps one interface of its own from its first call
    const ULONG before = dummyFake->References();
    for (int request = 0; request < 3; ++request) {
        // The control passes an empty ppDisp by reference and takes what comes back.
        IDispatch* newWindow = nullptr;
        VARIANT ppDisp;
        VariantInit(&ppDisp);
        V_VT(&ppDisp) = VT_DISPATCH | VT_BYREF;
        V_DISPATCHREF(&ppDisp) = &newWindow;
        VARIANT_BOOL cancel = VARIANT_TRUE;
        VARIANT cancelRef;
        VariantInit(&cancelRef);
        V_VT(&cancelRef) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&cancelRef) = &cancel;
        pageFake->Fire(251, {ppDisp, cancelRef});
        ASSERT_NE(newWindow, nullptr);
        EXPECT_EQ(cancel, VARIANT_FALSE);
        EXPECT_EQ(dummyFake->References(), before + 1);   // the one the control now holds
        newWindow->Release();   // the control is done with the window
        EXPECT_EQ(dummyFake->References(), before);
    }
}

}  // namespace
