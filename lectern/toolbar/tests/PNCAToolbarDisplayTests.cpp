// The caption-bar toolbar on screen (label display: Xvfb, Wine drawing the window frame).
// Mouse input goes through the system (SetCursorPos, SendInput); the painted caption bar is
// read back from the screen at the buttons' computed rectangles. With LECTERN_SCREENSHOTS set
// to a folder, each stage is also written there as a bitmap file for a person to look at.
#include "lectern/toolbar/PNCAToolbar.h"

#include "classlib/ExtCtrls.h"
#include "lectern/png/tests/PngTestSupport.h"
#include "tests/support/ScreenShot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr TColor RGB3(int r, int g, int b) { return r | (g << 8) | (b << 16); }
constexpr int kPicture = 16;

struct Px {
    int R, G, B;
};

// A square opaque PNG picture of one colour.
std::unique_ptr<TPngPicture> SolidPng(int r, int g, int b)
{
    std::string row;
    for (int x = 0; x < kPicture; ++x)
        row += std::string{char(r), char(g), char(b), char(255)};
    pngtest::PngBuilder builder;
    builder.Header(kPicture, kPicture, 8, 6)
        .Chunk("IDAT", pngtest::Deflate(pngtest::UnfilteredRows(std::vector<std::string>(kPicture, row))))
        .End();
    auto png = std::make_unique<TPngPicture>();
    pngtest::LoadPng(*png, builder.Data());
    return png;
}

void Pump(int ms)
{
    DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (static_cast<int>(end - GetTickCount()) > 0) {
        Application->ProcessMessages();
        Sleep(5);
    }
}

template <class Cond>
bool PumpUntil(Cond cond, int ms)
{
    DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (!cond()) {
        if (static_cast<int>(end - GetTickCount()) <= 0)
            return false;
        Application->ProcessMessages();
        Sleep(2);
    }
    return true;
}

// The screen as it is now.
class Screenshot {
public:
    Px At(int x, int y)
    {
        const COLORREF c = FShot.At(x, y);
        return {GetRValue(c), GetGValue(c), GetBValue(c)};
    }
    // Writes the screen as a bitmap file when LECTERN_SCREENSHOTS names a folder.
    void Save(const char* name)
    {
        if (const char* dir = std::getenv("LECTERN_SCREENSHOTS"))
            FShot.SaveBmp(std::string(dir) + "\\" + name + ".bmp");
    }

private:
    TScreenShot FShot;
};

bool Is(Px p, int r, int g, int b, int tolerance = 3)
{
    return std::abs(p.R - r) <= tolerance && std::abs(p.G - g) <= tolerance && std::abs(p.B - b) <= tolerance;
}

std::string Show(Px p) { return "(" + std::to_string(p.R) + "," + std::to_string(p.G) + "," + std::to_string(p.B) + ")"; }

void MouseButton(bool down)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &in, sizeof in);
}

struct Events : TObject {
    int clicks = 0;
    int popups = 0;
    RECT menuRect{};
    TPNCAButton* clicked = nullptr;
    void ToolbarClick(TObject*, TPNCAButton* b)
    {
        ++clicks;
        clicked = b;
    }
    void MenuPopup(TObject*) { ++popups; }
    std::vector<TPNCAButton*> hovers;
    void Hover(TObject*, TPNCAButton* b) { hovers.push_back(b); }
    // Runs inside the menu's own loop: notes where the menu is and closes it.
    void CloseMenu(TObject*)
    {
        HWND menu = FindWindowW(L"#32768", nullptr);
        if (menu != nullptr && IsWindowVisible(menu)) {
            GetWindowRect(menu, &menuRect);
            EndMenu();
        }
    }
};

class PNCAToolbarDisplay : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PngPictureInitialize(); }
    static void TearDownTestSuite() { PngPictureFinalize(); }

    void SetUp() override
    {
        FormsInit();
        form = new TForm(Application);
        form->SetCaption("Display test");
        form->SetBounds(100, 100, 520, 300);
        toolbar = new TPNCAToolbar(form);
        toolbar->SetOffsetX(30);
        toolbar->SetShowCaption(pscpAfterButtons);
        toolbar->OnClick = TPNCAButtonEvent(&events, &Events::ToolbarClick);

        picture = toolbar->Buttons()->Add();       // picture, hovered picture
        picture->Picture()->SetGraphic(SolidPng(220, 30, 30));
        picture->PictureHovered()->SetGraphic(SolidPng(30, 200, 30));

        captioned = toolbar->Buttons()->Add();     // picture with its caption after it
        captioned->Picture()->SetGraphic(SolidPng(30, 30, 220));
        captioned->SetCaption("Print");
        captioned->SetCaptionAlignment(taRightJustify);
        captioned->SetShowCaption(true);

        spacer = toolbar->Buttons()->Add();        // a blank, 20 wide
        spacer->SetCaption(" ");
        spacer->SetButtonWidth(20);

        menu = new TPopupMenu(form);
        for (const char* caption : {"First", "Second"}) {
            auto* item = new TMenuItem(form);
            item->SetCaption(caption);
            menu->Items()->Add(item);
        }
        menu->OnPopup = TNotifyEvent(&events, &Events::MenuPopup);
        dropDown = toolbar->Buttons()->Add();
        dropDown->Picture()->SetGraphic(SolidPng(200, 200, 30));
        dropDown->SetDropDownMenu(menu);

        form->Show();
        SetForegroundWindow(form->Handle());
        toolbar->SetVisible(true);
        Pump(300);
    }
    void TearDown() override
    {
        delete form;
        FormsDone();
    }

    HWND Window() { return form->HandleValue(); }
    // A button's picture centre, in screen coordinates.
    POINT PictureCentre(TPNCAButton* b)
    {
        RECT w;
        GetWindowRect(Window(), &w);
        TRect content = b->BtnRect();
        content.Inflate(-b->Padding(), -b->Padding());
        return POINT{w.left + content.Left + kPicture / 2, w.top + content.Top + kPicture / 2};
    }
    Px PictureColour(TPNCAButton* b, const char* shot = nullptr)
    {
        POINT p = PictureCentre(b);
        Screenshot s;
        if (shot != nullptr)
            s.Save(shot);
        return s.At(p.x, p.y);
    }
    void MoveTo(POINT p)
    {
        SetCursorPos(p.x, p.y);
        Pump(150);
    }

    Events events;
    TForm* form = nullptr;
    TPNCAToolbar* toolbar = nullptr;
    TPopupMenu* menu = nullptr;
    TPNCAButton* picture = nullptr;
    TPNCAButton* captioned = nullptr;
    TPNCAButton* spacer = nullptr;
    TPNCAButton* dropDown = nullptr;
};

TEST_F(PNCAToolbarDisplay, ButtonsArePaintedWhereTheLayoutPutsThem)
{
    ASSERT_EQ(toolbar->AttachedForm(), form);
    // The picture-and-caption button is wider than its picture by the caption, spacing and 1.
    EXPECT_EQ(captioned->BarRect().Width(), kPicture + captioned->CaptionWidth() + 3 + 1);
    EXPECT_EQ(spacer->BarRect().Width(), 20);
    EXPECT_EQ(dropDown->BarRect().Left, spacer->BarRect().Right);
    Px red = PictureColour(picture, "toolbar-painted");
    EXPECT_TRUE(Is(red, 220, 30, 30)) << Show(red);
    Px blue = PictureColour(captioned);
    EXPECT_TRUE(Is(blue, 30, 30, 220)) << Show(blue);
    Px yellow = PictureColour(dropDown);
    EXPECT_TRUE(Is(yellow, 200, 200, 30)) << Show(yellow);
    // The caption text after the buttons leaves some pixels unlike the bar's background.
    RECT w;
    GetWindowRect(Window(), &w);
    Screenshot s;
    const TRect& bar = dropDown->BarRect();
    Px background = s.At(w.left + bar.Right + 2, w.top + (bar.Top + bar.Bottom) / 2);
    int ink = 0;
    for (int x = bar.Right + 20; x < bar.Right + 140; ++x)
        for (int y = bar.Top; y < bar.Bottom; ++y)
            ink += !Is(s.At(w.left + x, w.top + y), background.R, background.G, background.B, 40);
    EXPECT_GT(ink, 10) << "the form's caption is drawn after the buttons";
}

TEST_F(PNCAToolbarDisplay, HoverPressAndReleaseThroughTheMouse)
{
    MoveTo(PictureCentre(picture));
    EXPECT_EQ(toolbar->HotButton(), picture);
    Px hovered = PictureColour(picture, "toolbar-hover");
    EXPECT_TRUE(Is(hovered, 30, 200, 30)) << Show(hovered);

    MouseButton(true);
    Pump(150);
    EXPECT_TRUE(picture->Down());
    Px pressed = PictureColour(picture, "toolbar-pressed");
    EXPECT_TRUE(Is(pressed, 220, 30, 30)) << "no down picture: the normal one " << Show(pressed);

    MouseButton(false);
    Pump(150);
    EXPECT_FALSE(picture->Down());
    EXPECT_EQ(events.clicks, 1);
    EXPECT_EQ(events.clicked, picture);

    // Leaving the caption bar for the client area ends the hover.
    RECT w;
    GetWindowRect(Window(), &w);
    MoveTo(POINT{w.left + 200, w.top + 200});
    EXPECT_EQ(toolbar->HotButton(), nullptr);
    Px normal = PictureColour(picture, "toolbar-left");
    EXPECT_TRUE(Is(normal, 220, 30, 30)) << Show(normal);
}

TEST_F(PNCAToolbarDisplay, DropDownMenuOpensUnderItsButtonOnce)
{
    TTimer closer(nullptr);
    closer.SetInterval(100);
    closer.OnTimer = TNotifyEvent(&events, &Events::CloseMenu);

    // Where the system puts a menu asked for at a known point.
    menu->Popup(300, 300);
    ASSERT_GT(events.menuRect.right, 0);
    const int dx = events.menuRect.left - 300, dy = events.menuRect.top - 300;
    events.popups = 0;
    events.menuRect = RECT{};

    MoveTo(PictureCentre(dropDown));
    ASSERT_EQ(toolbar->HotButton(), dropDown);
    toolbar->OnHoverChange = TPNCAButtonEvent(&events, &Events::Hover);
    MouseButton(true);
    MouseButton(false);
    ASSERT_TRUE(PumpUntil([&] { return events.popups == 1 && events.menuRect.right > 0; }, 3000));
    ASSERT_TRUE(PumpUntil([&] { return FindWindowW(L"#32768", nullptr) == nullptr ||
                                       !IsWindowVisible(FindWindowW(L"#32768", nullptr)); }, 3000));
    TRect screenRect;
    toolbar->GetButtonScreenRect(dropDown, false, screenRect);
    // Under the pressed button, which (a plain style past the first) sits one pixel right and down.
    EXPECT_EQ(events.menuRect.left - dx, screenRect.Left + 1);
    EXPECT_EQ(events.menuRect.top - dy, screenRect.Bottom + 1);

    // Within 50 ms of closing, a press on the button (the one that closed the menu) does not
    // open it again; after that it does.
    if (toolbar->MenuButton() == dropDown) {
        POINT p = PictureCentre(dropDown);
        LPARAM at = MAKELPARAM(p.x, p.y);
        SendMessageW(Window(), WM_NCHITTEST, 0, at);
        SendMessageW(Window(), WM_NCLBUTTONDOWN, HTCAPTION, at);
        EXPECT_EQ(events.popups, 1);
        EXPECT_EQ(toolbar->MenuButton(), nullptr);
    } else {
        ADD_FAILURE() << "the guard ended before the test could press again; hover changes: "
                      << events.hovers.size() << " last " << (events.hovers.empty() ? nullptr : events.hovers.back());
    }
    Pump(100);
    events.menuRect = RECT{};
    POINT p = PictureCentre(dropDown);
    LPARAM at = MAKELPARAM(p.x, p.y);
    SendMessageW(Window(), WM_NCHITTEST, 0, at);
    SendMessageW(Window(), WM_NCLBUTTONDOWN, HTCAPTION, at);
    EXPECT_EQ(events.popups, 2);
    Pump(100);
}

// Leaves one button to its owner's drawing.
struct OwnerDrawn : TObject {
    TPNCAButton* button = nullptr;
    int drawn = 0;
    void Before(TObject*, TPNCAButton* b, TCanvas*, const TRect&, const TRect&, TPNCADefaultDrawingKind& kind)
    {
        if (b == button)
            kind = pddkNone;
    }
    void After(TObject*, TPNCAButton* b, TCanvas*, const TRect&, const TRect&) { drawn += b == button; }
};

TEST_F(PNCAToolbarDisplay, NoDefaultDrawingLeavesTheButtonToItsOwner)
{
    OwnerDrawn owner;
    owner.button = picture;
    toolbar->OnBeforeDrawButton = TPNCAButtonBeforeDrawEvent(&owner, &OwnerDrawn::Before);
    toolbar->OnDrawButton = TPNCAButtonDrawEvent(&owner, &OwnerDrawn::After);
    toolbar->Invalidate();
    Pump(200);
    EXPECT_GT(owner.drawn, 0);
    Px at = PictureColour(picture, "toolbar-ownerdrawn");
    EXPECT_FALSE(Is(at, 220, 30, 30, 20)) << Show(at);
    Px blue = PictureColour(captioned);
    EXPECT_TRUE(Is(blue, 30, 30, 220)) << "the others are drawn " << Show(blue);
}

TEST_F(PNCAToolbarDisplay, DetachingRestoresAndRecreationReattaches)
{
    POINT p = PictureCentre(picture);
    toolbar->SetVisible(false);
    Pump(200);
    EXPECT_EQ(form->WindowProc().Object(), form);
    Screenshot plain;
    plain.Save("toolbar-detached");
    EXPECT_FALSE(Is(plain.At(p.x, p.y), 220, 30, 30, 20)) << "no button once detached";

    toolbar->SetVisible(true);
    form->RecreateWnd();
    EXPECT_EQ(toolbar->AttachedForm(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return toolbar->AttachedForm() == form; }, 2000));
    Pump(200);
    Px again = PictureColour(picture, "toolbar-reattached");
    EXPECT_TRUE(Is(again, 220, 30, 30)) << Show(again);
}

}  // namespace
