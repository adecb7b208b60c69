// The caption-bar toolbar on a real form under Wine (no display needed): attaching and
// detaching, the form's caption, hit tests and clicks sent as non-client messages, the click
// order, re-attaching after the form's window is re-created, and the buttons' own rules.
#include "lectern/toolbar/PNCAToolbar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string WindowText(HWND window)
{
    wchar_t text[256]{};
    GetWindowTextW(window, text, 256);
    return FromWide(text);
}

// Handles messages for about ms milliseconds.
void Pump(int ms)
{
    DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (static_cast<int>(end - GetTickCount()) > 0) {
        Application->ProcessMessages();
        Sleep(5);
    }
}

// Records which handler ran.
struct Recorder : TObject {
    std::vector<std::string> log;
    TObject* lastSender = nullptr;
    TComponent* actionComponent = nullptr;
    void ButtonClick(TObject* sender)
    {
        log.push_back("button");
        lastSender = sender;
    }
    void ActionExecute(TObject* sender)
    {
        log.push_back("action");
        lastSender = sender;
        actionComponent = static_cast<TBasicAction*>(sender)->ActionComponent();
    }
    void ToolbarClick(TObject*, TPNCAButton* button)
    {
        log.push_back("toolbar");
        lastSender = button;
    }
    void Hover(TObject*, TPNCAButton* button) { hovered.push_back(button); }
    std::vector<TPNCAButton*> hovered;
};

class PNCAToolbarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FormsInit();
        form = new TForm(Application);
        form->SetCaption("Book");
        form->SetBounds(50, 50, 400, 240);
        form->HandleNeeded();
        toolbar = new TPNCAToolbar(form);
        toolbar->SetOffsetX(40);   // clear of the system icon
        for (int i = 0; i < 3; ++i) {
            TPNCAButton* b = toolbar->Buttons()->Add();
            b->SetButtonWidth(30);
            b->SetButtonHeight(16);
        }
    }
    void TearDown() override
    {
        delete form;
        FormsDone();
    }
    HWND Window() { return form->HandleValue(); }
    // The screen point at the centre of a button.
    LPARAM CentreOf(TPNCAButton* b)
    {
        RECT w;
        GetWindowRect(Window(), &w);
        const TRect& r = b->BtnRect();
        return MAKELPARAM(w.left + (r.Left + r.Right) / 2, w.top + (r.Top + r.Bottom) / 2);
    }
    // Hover, press and release over a button as the system would report them.
    void Click(TPNCAButton* b)
    {
        LPARAM at = CentreOf(b);
        LRESULT hit = SendMessageW(Window(), WM_NCHITTEST, 0, at);
        SendMessageW(Window(), WM_NCLBUTTONDOWN, static_cast<WPARAM>(hit), at);
        SendMessageW(Window(), WM_NCLBUTTONUP, static_cast<WPARAM>(hit), at);
    }
    TForm* form = nullptr;
    TPNCAToolbar* toolbar = nullptr;
};

TEST_F(PNCAToolbarTest, AttachingTakesTheWindowProcedureAndCaptionAndDetachingGivesThemBack)
{
    EXPECT_EQ(form->WindowProc().Object(), form);
    toolbar->SetVisible(true);
    EXPECT_EQ(toolbar->AttachedForm(), form);
    EXPECT_EQ(form->WindowProc().Object(), toolbar);
    EXPECT_EQ(WindowText(Window()), "") << "pscpNone: the toolbar hides the caption text";
    EXPECT_EQ(toolbar->SavedCaption(), "Book");

    // A new title while attached is kept for later and stays off the caption bar.
    form->SetCaption("Chapter 2");
    EXPECT_EQ(toolbar->SavedCaption(), "Chapter 2");
    EXPECT_EQ(WindowText(Window()), "");

    // Attaching again keeps what was saved the first time.
    toolbar->SetVisible(true);
    EXPECT_EQ(toolbar->SavedCaption(), "Chapter 2");

    toolbar->SetVisible(false);
    EXPECT_EQ(toolbar->AttachedForm(), nullptr);
    EXPECT_EQ(form->WindowProc().Object(), form);
    EXPECT_EQ(WindowText(Window()), "Chapter 2");

    // Removing every button detaches as well.
    toolbar->SetVisible(true);
    ASSERT_EQ(form->WindowProc().Object(), toolbar);
    toolbar->Buttons()->Clear();
    EXPECT_EQ(toolbar->AttachedForm(), nullptr);
    EXPECT_EQ(form->WindowProc().Object(), form);
    EXPECT_EQ(WindowText(Window()), "Chapter 2");
}

TEST_F(PNCAToolbarTest, ShowCaptionChangesWhileAttached)
{
    toolbar->SetVisible(true);
    toolbar->SetShowCaption(pscpAfterButtons);
    EXPECT_EQ(WindowText(Window()), "Book");
    toolbar->SetShowCaption(pscpNone);
    EXPECT_EQ(WindowText(Window()), "");
    EXPECT_EQ(toolbar->SavedCaption(), "Book");
}

TEST_F(PNCAToolbarTest, HitTestsFindButtonsAndReportCaption)
{
    Recorder rec;
    toolbar->OnHoverChange = TPNCAButtonEvent(&rec, &Recorder::Hover);
    toolbar->SetVisible(true);
    TPNCAButton* second = toolbar->Buttons()->Items(1);
    ASSERT_FALSE(second->BtnRect().IsEmpty());
    EXPECT_EQ(second->BtnRect().Left, toolbar->Buttons()->Items(0)->BtnRect().Right);
    EXPECT_EQ(SendMessageW(Window(), WM_NCHITTEST, 0, CentreOf(second)), HTCAPTION);
    EXPECT_EQ(toolbar->HotButton(), second);
    EXPECT_EQ(toolbar->ButtonAt(second->BtnRect().Left, second->BtnRect().Top), second);
    EXPECT_EQ(toolbar->ButtonAt(second->BtnRect().Right + 200, second->BtnRect().Top), nullptr);

    // Over the client area the hot button goes.
    RECT w;
    GetWindowRect(Window(), &w);
    SendMessageW(Window(), WM_NCHITTEST, 0, MAKELPARAM(w.left + 100, w.top + 150));
    EXPECT_EQ(toolbar->HotButton(), nullptr);
    EXPECT_EQ(rec.hovered, (std::vector<TPNCAButton*>{second, nullptr}));

    // A disabled button never becomes hot.
    second->SetEnabled(false);
    SendMessageW(Window(), WM_NCHITTEST, 0, CentreOf(second));
    EXPECT_EQ(toolbar->HotButton(), nullptr);
}

TEST_F(PNCAToolbarTest, ClickGoesToTheButtonItsActionOrTheToolbar)
{
    Recorder rec;
    TAction action(form);
    action.SetCaption("&Back");
    action.SetOnExecute(TNotifyEvent(&rec, &Recorder::ActionExecute));
    toolbar->OnClick = TPNCAButtonEvent(&rec, &Recorder::ToolbarClick);
    TPNCAButton* own = toolbar->Buttons()->Items(0);
    TPNCAButton* linked = toolbar->Buttons()->Items(1);
    TPNCAButton* plain = toolbar->Buttons()->Items(2);
    own->SetOnClick(TNotifyEvent(&rec, &Recorder::ButtonClick));
    linked->SetAction(&action);
    EXPECT_EQ(linked->Caption(), "&Back");
    EXPECT_TRUE(linked->OnClick() == action.OnExecute()) << "the action's handler is copied";
    toolbar->SetVisible(true);

    Click(own);
    Click(linked);
    Click(plain);
    EXPECT_EQ(rec.log, (std::vector<std::string>{"button", "action", "toolbar"}));
    EXPECT_EQ(rec.actionComponent, toolbar);
    EXPECT_EQ(rec.lastSender, plain);
    EXPECT_FALSE(plain->Down());

    // A press that is released elsewhere (another hit code) clicks nothing.
    rec.log.clear();
    LPARAM at = CentreOf(plain);
    SendMessageW(Window(), WM_NCHITTEST, 0, at);
    SendMessageW(Window(), WM_NCLBUTTONDOWN, HTCAPTION, at);
    EXPECT_TRUE(plain->Down());
    SendMessageW(Window(), WM_NCLBUTTONUP, HTCLIENT, at);
    EXPECT_TRUE(rec.log.empty());

    // A disabled action: its linked button turns disabled and cannot be pressed.
    action.SetEnabled(false);
    EXPECT_FALSE(linked->Enabled());
    Click(linked);
    EXPECT_TRUE(rec.log.empty());
}

TEST_F(PNCAToolbarTest, AutoCheckActionFlipsOnClick)
{
    Recorder rec;
    TAction action(form);
    action.SetAutoCheck(true);
    action.SetOnExecute(TNotifyEvent(&rec, &Recorder::ActionExecute));
    TPNCAButton* b = toolbar->Buttons()->Items(0);
    b->SetAction(&action);
    toolbar->SetVisible(true);
    Click(b);
    EXPECT_TRUE(action.Checked());
    EXPECT_TRUE(b->Checked());
    Click(b);
    EXPECT_FALSE(action.Checked());
}

TEST_F(PNCAToolbarTest, RecreatedWindowReattachesAfterTheTimer)
{
    toolbar->SetVisible(true);
    form->RecreateWnd();
    EXPECT_EQ(toolbar->AttachedForm(), nullptr) << "detached while the window is made";
    EXPECT_EQ(form->WindowProc().Object(), form);
    Pump(300);
    EXPECT_EQ(toolbar->AttachedForm(), form);
    EXPECT_TRUE(toolbar->Visible());
    EXPECT_EQ(form->WindowProc().Object(), toolbar);
    EXPECT_EQ(WindowText(Window()), "");
    EXPECT_EQ(toolbar->SavedCaption(), "Book");
}

TEST_F(PNCAToolbarTest, FreedToolbarGetsNoReattachCallback)
{
    toolbar->SetVisible(true);
    form->RecreateWnd();
    delete toolbar;
    Pump(300);
    // A late callback would have hooked a freed toolbar into the form's chain again.
    EXPECT_EQ(form->WindowProc().Object(), form);
    EXPECT_EQ(WindowText(Window()), "Book");
}

// Attaching to a form that has no window yet makes the window in the middle of the attach;
// its creation detaches the toolbar, and the re-attach timer brings it back.
TEST_F(PNCAToolbarTest, AttachingToAFormWithoutAWindowMakesItAndReattaches)
{
    TForm* fresh = new TForm(Application);
    fresh->SetCaption("Fresh");
    fresh->SetBounds(60, 60, 400, 240);
    TPNCAToolbar* bar = new TPNCAToolbar(fresh);
    bar->SetOffsetX(40);
    TPNCAButton* button = bar->Buttons()->Add();
    button->SetButtonWidth(30);
    button->SetButtonHeight(16);
    bar->BeginLoading();
    bar->SetVisible(true);
    ASSERT_FALSE(fresh->HandleAllocated());
    bar->Loaded();
    ASSERT_TRUE(fresh->HandleAllocated());
    EXPECT_EQ(bar->AttachedForm(), nullptr) << "detached while the window is made";
    EXPECT_EQ(WindowText(fresh->HandleValue()), "Fresh");
    Pump(300);
    EXPECT_EQ(bar->AttachedForm(), fresh);
    EXPECT_TRUE(bar->Visible());
    EXPECT_EQ(fresh->WindowProc().Object(), bar);
    EXPECT_EQ(WindowText(fresh->HandleValue()), "");
    EXPECT_EQ(bar->SavedCaption(), "Fresh");
    // The re-attached toolbar handles the caption bar: its button is found there.
    RECT w;
    GetWindowRect(fresh->HandleValue(), &w);
    const TRect& r = button->BtnRect();
    ASSERT_GT(r.Width(), 0);
    LPARAM at = MAKELPARAM(w.left + (r.Left + r.Right) / 2, w.top + (r.Top + r.Bottom) / 2);
    EXPECT_EQ(SendMessageW(fresh->HandleValue(), WM_NCHITTEST, 0, at), HTCAPTION);
    EXPECT_EQ(bar->HotButton(), button);
    delete fresh;
}

TEST_F(PNCAToolbarTest, DeletingTheHotButtonClearsIt)
{
    Recorder rec;
    toolbar->OnHoverChange = TPNCAButtonEvent(&rec, &Recorder::Hover);
    toolbar->SetVisible(true);
    TPNCAButton* b = toolbar->Buttons()->Items(1);
    SendMessageW(Window(), WM_NCHITTEST, 0, CentreOf(b));
    ASSERT_EQ(toolbar->HotButton(), b);
    toolbar->Buttons()->Delete(1);
    EXPECT_EQ(toolbar->HotButton(), nullptr);
    EXPECT_EQ(rec.hovered.back(), nullptr);
    EXPECT_EQ(toolbar->Buttons()->Count(), 2);
}

TEST_F(PNCAToolbarTest, FormWithoutCaptionIsLeftAlone)
{
    toolbar->SetVisible(true);
    TPNCAButton* b = toolbar->Buttons()->Items(1);
    LPARAM at = CentreOf(b);
    SetWindowLongW(Window(), GWL_STYLE, WS_POPUP | WS_VISIBLE);
    SetWindowPos(Window(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    EXPECT_EQ(SendMessageW(Window(), WM_NCHITTEST, 0, at), HTCLIENT);
    EXPECT_EQ(toolbar->HotButton(), nullptr);
    form->SetCaption("Plain");
    EXPECT_EQ(WindowText(Window()), "Plain") << "WM_SETTEXT passes unchanged";
}

TEST_F(PNCAToolbarTest, ToolbarWithoutFormStaysInvisible)
{
    TPNCAToolbar loose(nullptr);
    loose.Buttons()->Add();
    loose.SetVisible(true);
    EXPECT_FALSE(loose.Visible());
    EXPECT_EQ(loose.AttachedForm(), nullptr);
}

TEST_F(PNCAToolbarTest, ButtonPropertyRules)
{
    TPNCAButton* b = toolbar->Buttons()->Items(0);
    b->SetCaptionGlowSize(-5);
    EXPECT_EQ(b->CaptionGlowSize(), 0);
    b->SetStyle(pbsButton);
    EXPECT_EQ(b->Padding(), 3) << "a fresh button gets a padding with its face";
    TPNCAButton* loaded = toolbar->Buttons()->Items(1);
    toolbar->BeginLoading();
    loaded->SetStyle(pbsButton);
    toolbar->Loaded();
    EXPECT_EQ(loaded->Padding(), 0);
    EXPECT_EQ(b->GetDisplayName(), "TPNCAButton");
    b->SetCaption("Home");
    EXPECT_EQ(b->GetDisplayName(), "Home");

    TPNCAButton* copy = toolbar->Buttons()->Add();
    b->SetTag(7);
    copy->Assign(b);
    EXPECT_EQ(copy->Caption(), "Home");
    EXPECT_EQ(copy->Tag(), 7);
    EXPECT_EQ(copy->Style(), pbsNone) << "styles are not copied";
}

TEST_F(PNCAToolbarTest, ActionCaptionChangeIsMeasuredAgain)
{
    TAction action(form);
    action.SetCaption("Back");
    TPNCAButton* b = toolbar->Buttons()->Items(0);
    b->SetButtonWidth(-1);
    b->SetShowCaption(true);
    b->SetCaptionAlignment(taLeftJustify);
    b->SetAction(&action);
    toolbar->SetVisible(true);
    const int before = b->CalcWidth();
    ASSERT_GT(b->CaptionWidth(), 0);
    action.SetCaption("Back to the previous page");
    EXPECT_GT(b->CalcWidth(), before + 50) << "the longer caption widens the button";
}

TEST_F(PNCAToolbarTest, HintFollowsTheHotButtonAndGoesWithShowHint)
{
    TPNCAButton* b = toolbar->Buttons()->Items(1);
    b->SetHint("Back one page");
    toolbar->SetShowHint(true);
    toolbar->SetVisible(true);
    SetCursorPos(300, 200);
    SendMessageW(Window(), WM_NCHITTEST, 0, CentreOf(b));
    auto hintWindow = [] { return FindWindowW(L"PNCAHintWindow", nullptr); };
    ASSERT_NE(hintWindow(), nullptr);
    EXPECT_FALSE(IsWindowVisible(hintWindow())) << "shown after the hint pause";
    Pump(800);
    ASSERT_TRUE(IsWindowVisible(hintWindow()));
    POINT cursor;
    GetCursorPos(&cursor);
    RECT r;
    GetWindowRect(hintWindow(), &r);
    EXPECT_EQ(r.left, cursor.x);
    EXPECT_EQ(r.top, cursor.y + 24);
    toolbar->SetShowHint(false);
    EXPECT_EQ(hintWindow(), nullptr);
}

TEST_F(PNCAToolbarTest, CursorDoubleClickAndActivationOverAButton)
{
    toolbar->SetVisible(true);
    TPNCAButton* b = toolbar->Buttons()->Items(1);
    LPARAM at = CentreOf(b);
    SendMessageW(Window(), WM_NCHITTEST, 0, at);
    ASSERT_EQ(toolbar->HotButton(), b);

    // The hot button's own cursor.
    const int hand = 32649;   // IDC_HAND
    b->SetHoverCursor(hand);
    EXPECT_EQ(SendMessageW(Window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Window()), MAKELPARAM(HTCAPTION, WM_MOUSEMOVE)), 1);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(hand)));

    // A double click on a button does not maximize the window.
    SendMessageW(Window(), WM_NCLBUTTONDBLCLK, HTCAPTION, at);
    EXPECT_FALSE(IsZoomed(Window()));

    // A change of activation lets go of a pressed button.
    SendMessageW(Window(), WM_NCLBUTTONDOWN, HTCAPTION, at);
    ASSERT_TRUE(b->Down());
    SendMessageW(Window(), WM_NCACTIVATE, form->Active() ? FALSE : TRUE, 0);
    EXPECT_FALSE(b->Down());
    EXPECT_EQ(toolbar->HotButton(), nullptr);

    // Beside the buttons the caption keeps its double click.
    RECT w;
    GetWindowRect(Window(), &w);
    LPARAM beside = MAKELPARAM(w.left + 250, at >> 16);
    ASSERT_EQ(SendMessageW(Window(), WM_NCHITTEST, 0, beside), HTCAPTION);
    SendMessageW(Window(), WM_NCLBUTTONDBLCLK, HTCAPTION, beside);
    EXPECT_TRUE(IsZoomed(Window()));
}

TEST_F(PNCAToolbarTest, ToolbarLayoutFollowsItsOffsets)
{
    toolbar->SetVisible(true);
    TPNCAButton* first = toolbar->Buttons()->Items(0);
    TPNCAButton* second = toolbar->Buttons()->Items(1);
    toolbar->CalcButtonRects(false);
    int firstTop = first->BtnRect().Top;
    EXPECT_GE(second->BtnRect().Top, firstTop) << "paoAllExceptFirst";
    toolbar->SetAutoOffsetBtns(paoNone);
    toolbar->SetOffsetY(2);
    toolbar->CalcButtonRects(false);
    EXPECT_EQ(second->BtnRect().Top, first->BtnRect().Top);
    EXPECT_EQ(first->BtnRect().Top, firstTop + 2);
    TRect all;
    toolbar->GetButtonRect(nullptr, true, all);
    EXPECT_EQ(all.Left, first->BarRect().Left);
    EXPECT_EQ(all.Right, toolbar->Buttons()->Items(2)->BarRect().Right);
}

TEST_F(PNCAToolbarTest, BarExtentComesFromTheVisibleButtons)
{
    toolbar->SetVisible(true);
    TPNCAButtons* buttons = toolbar->Buttons();
    RECT w{};
    GetWindowRect(Window(), &w);
    struct Case {
        const char* what;
        bool visible[3];
        int first;   // the first and last visible button, -1: none
        int last;
    } cases[] = {
        {"all", {true, true, true}, 0, 2},
        {"last hidden (print not allowed)", {true, true, false}, 0, 1},
        {"first hidden", {false, true, true}, 1, 2},
        {"only the middle one", {false, true, false}, 1, 1},
        {"none", {false, false, false}, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 0; i < 3; ++i) {
            buttons->Items(i)->SetVisible(c.visible[i]);
        }
        toolbar->CalcButtonRects(false);
        for (const bool full : {true, false}) {
            TRect bar;
            TRect screen;
            toolbar->GetButtonRect(nullptr, full, bar);
            toolbar->GetButtonScreenRect(nullptr, full, screen);
            if (c.first < 0) {
                EXPECT_TRUE(bar.IsEmpty());
                EXPECT_TRUE(screen.IsEmpty());
                continue;
            }
            auto rectOf = [&](int i) { return full ? buttons->Items(i)->BarRect() : buttons->Items(i)->BtnRect(); };
            TRect want = rectOf(c.first);
            want.Right = rectOf(c.last).Right;
            EXPECT_EQ(bar, want);
            EXPECT_FALSE(bar.IsEmpty());
            want.Offset(w.left, w.top);
            EXPECT_EQ(screen, want);
        }
    }
}

}  // namespace
