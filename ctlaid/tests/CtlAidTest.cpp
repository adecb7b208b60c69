// ctlaid's helpers on real common controls (combo box, list view, tree view, image lists) and
// on the class layer's menus, buttons and bitmaps. No display is needed: the test prefix uses
// Wine's null graphics driver.
#include "CtlAid.h"

#include "Utf8.h"
#include "tests/support/ReferenceText.h"

#include "classlib/Forms.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::u16string>;

std::string Ansi(const std::u16string& text) { return std::string(text.begin(), text.end()); }

uint32_t Rgb(TColor color) { return ColorToRGB(color); }

// The RGB of a pixel of a 32-bit bitmap (0x00BBGGRR).
uint32_t PixelRgb(TBitmap& bitmap, int x, int y)
{
    const uint8_t* p = bitmap.ScanLine(y) + x * 4;
    return p[2] | (p[1] << 8) | (p[0] << 16);
}

class CtlAid : public ::testing::Test {
protected:
    static void SetUpTestSuite() { FormsInit(); }
    static void TearDownTestSuite() { FormsDone(); }

    void SetUp() override
    {
        form = std::make_unique<TForm>(nullptr);
        form->SetBounds(0, 0, 400, 300);
    }
    void TearDown() override { form.reset(); }

    TComboBox* MakeCombo(const Texts& items, int selected)
    {
        auto* combo = new TComboBox(form.get());
        combo->SetParent(form.get());
        for (const auto& item : items)
            combo->Items().Add(item);
        combo->SetItemIndex(selected);
        return combo;
    }

    static Texts Items(TComboBox* combo)
    {
        Texts texts;
        for (int i = 0; i < combo->Items().Count(); ++i)
            texts.push_back(combo->Items().Strings(i));
        return texts;
    }

    static std::string Join(const Texts& texts)
    {
        std::string out;
        for (const auto& t : texts) {
            if (!out.empty())
                out += ',';
            out += Ansi(t);
        }
        return out;
    }

    std::unique_ptr<TForm> form;
};

TEST_F(CtlAid, ComboHelpersBeforeAndAfter)
{
    const Texts abcde = {u"a", u"b", u"c", u"d", u"e"};
    const struct {
        const char* name;
        Texts items;
        int selected;
        std::function<int(TComboBox*)> call;   // answers the helper's result (0 for none)
        int result;
        Texts after;
        int selectedAfter;
    } cases[] = {
        {"SetCombo finds", abcde, -1, [](TComboBox* c) { return CB_SetCombo(c, u"c"); }, 2, abcde, 2},
        {"SetCombo ignores case", abcde, -1, [](TComboBox* c) { return CB_SetCombo(c, u"C"); }, 2, abcde, 2},
        {"SetCombo missing", abcde, 3, [](TComboBox* c) { return CB_SetCombo(c, u"x"); }, -1, abcde, -1},
        {"SetOrAdd finds", abcde, 0, [](TComboBox* c) { return CB_SetOrAddCombo(c, u"e"); }, 4, abcde, 4},
        {"SetOrAdd adds", abcde, 0, [](TComboBox* c) { return CB_SetOrAddCombo(c, u"x"); }, 5,
         {u"a", u"b", u"c", u"d", u"e", u"x"}, 5},
        {"SetComboTo missing", abcde, 1, [](TComboBox* c) { return CB_SetComboTo(c, u"x", false, false); }, -1,
         abcde, 1},
        {"SetComboTo adds", abcde, 1, [](TComboBox* c) { return CB_SetComboTo(c, u"x", true, true); }, 5,
         {u"a", u"b", u"c", u"d", u"e", u"x"}, 1},
        {"SetComboTo case", {u"Straße", u"Äpfel"}, -1,
         [](TComboBox* c) { return CB_SetComboTo(c, u"äPFEL", false, true); }, 1, {u"Straße", u"Äpfel"}, -1},
        {"AddToCombo moves", abcde, 4, [](TComboBox* c) { return CB_AddToCombo(c, u"d", false); }, 0,
         {u"d", u"a", u"b", u"c", u"e"}, 0},
        {"AddToCombo case", abcde, -1, [](TComboBox* c) { return CB_AddToCombo(c, u"D", true); }, 0,
         {u"d", u"a", u"b", u"c", u"e"}, 0},
        {"AddToCombo first", abcde, 2, [](TComboBox* c) { return CB_AddToCombo(c, u"a", false); }, 0, abcde, 0},
        {"AddToCombo new", abcde, 2, [](TComboBox* c) { return CB_AddToCombo(c, u"x", false); }, 0,
         {u"x", u"a", u"b", u"c", u"d", u"e"}, 0},
        {"AddToComboEx max 5", abcde, -1, [](TComboBox* c) { return CB_AddToComboEx(c, u"x", 5, false); }, 0,
         {u"x", u"a", u"b", u"c", u"d"}, 0},
        {"AddToComboEx max 0", abcde, -1, [](TComboBox* c) { return CB_AddToComboEx(c, u"x", 0, false); }, 0,
         {u"x", u"a", u"b", u"c", u"d", u"e"}, 0},
        {"AddToComboEx max 2", abcde, -1, [](TComboBox* c) { return CB_AddToComboEx(c, u"c", 2, false); }, 0,
         {u"c", u"a"}, 0},
        {"MoveSelectedUp", abcde, 3, [](TComboBox* c) { CB_MoveSelectedUp(c, 1); return 0; }, 0,
         {u"a", u"d", u"b", u"c", u"e"}, 1},
        {"MoveSelectedUp to 0", abcde, 4, [](TComboBox* c) { CB_MoveSelectedUp(c, 0); return 0; }, 0,
         {u"e", u"a", u"b", u"c", u"d"}, 0},
        {"MoveSelectedUp same", abcde, 3, [](TComboBox* c) { CB_MoveSelectedUp(c, 3); return 0; }, 0, abcde, 3},
        {"MoveSelectedUp below", abcde, 1, [](TComboBox* c) { CB_MoveSelectedUp(c, 3); return 0; }, 0, abcde, 1},
        {"MoveSelectedUp negative", abcde, 3, [](TComboBox* c) { CB_MoveSelectedUp(c, -1); return 0; }, 0, abcde, 3},
        {"MoveSelectedUp none", abcde, -1, [](TComboBox* c) { CB_MoveSelectedUp(c, -2); return 0; }, 0, abcde, -1},
    };
    for (const auto& c : cases) {
        TComboBox* combo = MakeCombo(c.items, c.selected);
        EXPECT_EQ(c.call(combo), c.result) << c.name;
        EXPECT_EQ(Join(Items(combo)), Join(c.after)) << c.name;
        EXPECT_EQ(combo->ItemIndex(), c.selectedAfter) << c.name;
        delete combo;
    }
}

TEST_F(CtlAid, MovedComboItemKeepsItsObject)
{
    TComboBox* combo = MakeCombo({u"a", u"b", u"c"}, 2);
    TObject tag;
    combo->Items().SetObjects(2, &tag);
    CB_MoveSelectedUp(combo, 0);
    EXPECT_EQ(combo->Items().Objects(0), &tag);
    EXPECT_EQ(combo->Items().Objects(1), nullptr);
}

TEST_F(CtlAid, ListViewKeepsAnItemSelected)
{
    auto* other = new TComboBox(form.get());
    other->SetParent(form.get());
    const struct {
        const char* name;
        int items;
        int selected;       // before, -1 for none
        int yItem;          // the click's row: an item index, or -1 below the items
        int selectedAfter;
        int focusedAfter;
    } cases[] = {
        {"selected stays, gets focus", 5, 2, 4, 2, 2},
        {"item under the click", 5, -1, 3, 3, 3},
        {"first item", 5, -1, 0, 0, 0},
        {"below the items: the last", 5, -1, -1, 4, 4},
        {"empty list", 0, -1, -1, -1, -1},
    };
    for (const auto& c : cases) {
        auto* list = new TListView(form.get());
        list->SetParent(form.get());
        std::u16string caption = u"item 0";
        for (int i = 0; i < c.items; ++i, ++caption.back())
            list->AddItem(caption);
        if (c.selected >= 0)
            list->SetSelected(c.selected, true);
        const int y = c.yItem >= 0 ? list->ItemTop(c.yItem) + 1 : list->Height() - 2;
        LV_AlwaysSelect(list, y, nullptr);
        EXPECT_EQ(list->SelectedIndex(), c.selectedAfter) << c.name;
        EXPECT_EQ(list->FocusedIndex(), c.focusedAfter) << c.name;
        delete list;
    }

    // An empty list hands the focus to the other control.
    form->Show();
    auto* list = new TListView(form.get());
    list->SetParent(form.get());
    list->SetFocus();
    ASSERT_EQ(GetFocus(), list->Handle());
    LV_AlwaysSelect(list, 5, other);
    EXPECT_EQ(GetFocus(), other->Handle());
}

TEST_F(CtlAid, TreeViewWalks)
{
    auto* tree = new TTreeView(form.get());
    tree->SetParent(form.get());
    TTreeNode* a = tree->AddChild(nullptr, u"A");
    TTreeNode* b = tree->AddChild(nullptr, u"B");
    TTreeNode* a1 = tree->AddChild(a, u"A1");
    TTreeNode* a1a = tree->AddChild(a1, u"A1a");
    TTreeNode* b1 = tree->AddChild(b, u"B1");
    TTreeNode* twin = tree->AddChild(b1, u"A2");
    TTreeNode* a2 = tree->AddChild(a, u"A2");   // before twin in the tree's order

    std::string order;
    for (int i = 0; i < tree->Count(); ++i)
        order += Ansi(tree->Items(i)->Text()) + " ";
    EXPECT_EQ(order, "A A1 A1a A2 B B1 A2 ");

    EXPECT_EQ(TV_FindItemByText(tree, u"A2"), a2);
    EXPECT_NE(TV_FindItemByText(tree, u"A2"), twin);
    EXPECT_EQ(TV_FindItemByText(tree, u"B1"), b1);
    EXPECT_EQ(TV_FindItemByText(tree, u"b1"), nullptr);   // exact text only
    EXPECT_EQ(TV_FindItemByText(tree, u"A1 "), nullptr);

    EXPECT_EQ(TV_GetRootParent(a1a), a);
    EXPECT_EQ(TV_GetRootParent(twin), b);
    EXPECT_EQ(TV_GetRootParent(b), b);
    EXPECT_EQ(TV_GetRootParent(nullptr), nullptr);
    EXPECT_EQ(TV_GetRootParent(tree, a1), a);
    EXPECT_EQ(TV_GetRootParent(nullptr, a1a), a);
}

struct MenuItemSetup {
    const char* caption;
    int image;
    bool enabled;
    bool visible;
    bool checked;
};

TMenuItem* AddItem(TMenuItem* parent, const MenuItemSetup& setup)
{
    auto* item = new TMenuItem(nullptr);
    item->SetCaption(setup.caption);
    item->SetImageIndex(setup.image);
    item->SetEnabled(setup.enabled);
    item->SetVisible(setup.visible);
    item->SetChecked(setup.checked);
    parent->Add(item);
    return item;
}

TEST_F(CtlAid, MenuImagesFollowTheEnabledState)
{
    // caption, image before, enabled, visible, checked -> image after
    const struct {
        MenuItemSetup setup;
        int after;
    } items[] = {
        {{"disabled odd", 7, false, true, false}, 7},  {{"enabled odd", 7, true, true, true}, 6},
        {{"disabled even", 4, false, true, false}, 5}, {{"enabled even", 4, true, true, false}, 4},
        {{"no image", -1, false, true, false}, -1},    {{"hidden", 3, true, false, false}, 3},
        {{"-", 5, true, true, false}, 5},              {{"zero", 0, false, true, true}, 1},
    };
    TPopupMenu popup(nullptr);
    std::vector<TMenuItem*> made;
    for (const auto& c : items)
        made.push_back(AddItem(popup.Items(), c.setup));
    // Children: walked under a changed item, left alone under a skipped one.
    TMenuItem* walked = AddItem(made[1], {"child", 9, true, true, false});
    TMenuItem* skipped = AddItem(made[5], {"child of hidden", 9, true, true, false});
    TMenuItem* underSeparator = AddItem(made[6], {"child of separator", 9, true, true, false});
    MI_SetPopMenuImages(&popup);
    for (size_t i = 0; i < made.size(); ++i) {
        EXPECT_EQ(made[i]->ImageIndex(), items[i].after) << items[i].setup.caption;
        EXPECT_EQ(made[i]->Checked(), items[i].setup.checked) << items[i].setup.caption;
    }
    EXPECT_EQ(walked->ImageIndex(), 8);
    EXPECT_EQ(skipped->ImageIndex(), 9);
    EXPECT_EQ(underSeparator->ImageIndex(), 9);

    // Main menu: the top-level items stay, the children of the visible ones change.
    TMainMenu menu(nullptr);
    TMenuItem* file = AddItem(menu.Items(), {"File", 3, false, true, false});
    TMenuItem* hidden = AddItem(menu.Items(), {"Hidden", 3, false, false, false});
    TMenuItem* open = AddItem(file, {"Open", 3, false, true, false});
    TMenuItem* save = AddItem(file, {"Save", 3, true, true, false});
    TMenuItem* inHidden = AddItem(hidden, {"x", 3, true, true, false});
    MI_SetMainMenuImages(&menu);
    EXPECT_EQ(file->ImageIndex(), 3);
    EXPECT_EQ(hidden->ImageIndex(), 3);
    EXPECT_EQ(open->ImageIndex(), 3);
    EXPECT_EQ(save->ImageIndex(), 2);
    EXPECT_EQ(inHidden->ImageIndex(), 3);
}

TEST_F(CtlAid, ToolBarImagesFollowTheEnabledState)
{
    const struct {
        int image;
        bool enabled;
        bool visible;
        TToolButtonStyle style;
        int after;
    } buttons[] = {
        {6, false, true, TToolButtonStyle::tbsButton, 7},    {7, true, true, TToolButtonStyle::tbsCheck, 6},
        {5, false, true, TToolButtonStyle::tbsDropDown, 5},  {-1, false, true, TToolButtonStyle::tbsButton, -1},
        {4, false, false, TToolButtonStyle::tbsButton, 4},   {2, false, true, TToolButtonStyle::tbsSeparator, 2},
        {2, false, true, TToolButtonStyle::tbsDivider, 2},
    };
    for (bool barVisible : {true, false}) {
        auto* bar = new TToolBar(form.get());
        bar->SetParent(form.get());
        bar->SetVisible(barVisible);
        std::vector<TToolButton*> made;
        for (const auto& c : buttons) {
            auto* button = new TToolButton(bar);
            button->SetParent(bar);
            button->SetImageIndex(c.image);
            button->SetEnabled(c.enabled);
            button->SetVisible(c.visible);
            button->SetStyle(c.style);
            made.push_back(button);
        }
        MI_SetToolBarImages(bar);
        for (size_t i = 0; i < made.size(); ++i)
            EXPECT_EQ(made[i]->ImageIndex(), barVisible ? buttons[i].after : buttons[i].image) << i << barVisible;
        delete bar;
    }
    MI_SetToolBarImages(nullptr);
}

TEST_F(CtlAid, CustomColorIsTheOneHexLine)
{
    const struct {
        TColor color;
        const char* line;
    } cases[] = {{0x00FF8000, "ColorA=FF8000"}, {0, "ColorA=0"}, {0xABCDEF, "ColorA=ABCDEF"},
                 {clBtnFace, "ColorA=8000000F"}};
    TColorDialog dialog(nullptr);
    dialog.CustomColors().Add("ColorB=1");
    for (const auto& c : cases) {
        AddCustomColor(&dialog, c.color);
        ASSERT_EQ(dialog.CustomColors().Count(), 1);
        EXPECT_EQ(dialog.CustomColors()[0], c.line);
    }
}

TEST_F(CtlAid, ColorSwatchOnAButtonHasATwoPixelWhiteFrame)
{
    TSpeedButton button(nullptr);
    button.SetBounds(0, 0, 30, 22);   // glyph 23 x 16
    AdjustColorImage(&button, 0x0000FF, 10, 6);
    TBitmap* glyph = button.Glyph();
    ASSERT_EQ(glyph->Width(), 23);
    ASSERT_EQ(glyph->Height(), 16);
    EXPECT_EQ(button.NumGlyphs(), 1);
    // The swatch is (6, 5)-(16, 11): framed by white at x 5 and 6 and y 4 and 5.
    const struct {
        int x, y;
        uint32_t rgb;
    } pixels[] = {{0, 0, Rgb(clBtnFace)}, {4, 8, Rgb(clBtnFace)},  {5, 8, 0xFFFFFF}, {6, 8, 0xFFFFFF},
                  {7, 8, 0x0000FF},       {11, 8, 0x0000FF},       {15, 8, 0xFFFFFF}, {16, 8, 0xFFFFFF},
                  {17, 8, Rgb(clBtnFace)}, {10, 4, 0xFFFFFF},      {10, 6, 0x0000FF}, {10, 11, 0xFFFFFF},
                  {10, 12, Rgb(clBtnFace)}, {22, 15, Rgb(clBtnFace)}};
    for (const auto& p : pixels)
        EXPECT_EQ(PixelRgb(*glyph, p.x, p.y), p.rgb) << p.x << "," << p.y;

    // A button too small for a glyph keeps the glyph it has.
    for (auto size : {std::pair{7, 22}, std::pair{30, 6}, std::pair{0, 0}}) {
        TSpeedButton small(nullptr);
        small.SetBounds(0, 0, size.first, size.second);
        AdjustColorImage(&small, 0x0000FF, 10, 6);
        EXPECT_TRUE(small.Glyph()->Empty()) << size.first << "x" << size.second;
    }
}

// A picture of one colour for an image list.
std::unique_ptr<TBitmap> Solid(int w, int h, TColor color)
{
    auto bitmap = std::make_unique<TBitmap>(w, h);
    bitmap->Canvas()->Brush().Color = color;
    bitmap->Canvas()->FillRect(Rect(0, 0, w, h));
    return bitmap;
}

TEST_F(CtlAid, ImageListSwatchesAndCopies)
{
    TImageList list(nullptr, 16, 16);
    list.AddMasked(Solid(16, 16, 0x00FF00).get(), clNone);
    list.AddMasked(Solid(16, 16, 0x00FF00).get(), clNone);

    ReplaceColorImage(&list, 1, 0x0000FF, 0xFF0000, 8, 6);   // rectangle (4, 5)-(12, 11)
    ASSERT_EQ(list.Count(), 2);
    TBitmap got;
    list.GetBitmap(1, &got);
    EXPECT_EQ(PixelRgb(got, 8, 8), 0x0000FFu);   // fill
    EXPECT_EQ(PixelRgb(got, 4, 8), 0xFF0000u);   // frame
    EXPECT_EQ(PixelRgb(got, 11, 10), 0xFF0000u);
    EXPECT_EQ(PixelRgb(got, 0, 0), 0u);          // button face: transparent, over black
    list.GetBitmap(0, &got);
    EXPECT_EQ(PixelRgb(got, 0, 0), 0x00FF00u);   // the other image is untouched

    ReplaceColorImage(&list, -1, 0x00FFFF, 0xFF0000, 4, 4);
    ASSERT_EQ(list.Count(), 3);
    list.GetBitmap(2, &got);
    EXPECT_EQ(PixelRgb(got, 8, 8), 0x00FFFFu);

    // Another list's picture replaces one, masked.
    TImageList source(nullptr, 16, 16);
    auto picture = Solid(16, 16, 0x123456);
    picture->Canvas()->Brush().Color = 0xFFFFFF;
    picture->Canvas()->FillRect(Rect(0, 0, 8, 16));
    source.AddMasked(picture.get(), clNone);
    ReplaceImage(&list, 0, &source, 0, 0xFFFFFF);
    list.GetBitmap(0, &got);
    EXPECT_EQ(PixelRgb(got, 12, 3), 0x123456u);
    EXPECT_EQ(PixelRgb(got, 3, 3), 0u);   // white was the mask colour

    TImage image(nullptr);
    GetImageFromList(&list, 2, &image);
    ASSERT_NE(image.Picture().Graphic(), nullptr);
    EXPECT_EQ(image.Picture().Width(), 16);
    EXPECT_EQ(image.Picture().Height(), 16);
    EXPECT_EQ(PixelRgb(*static_cast<TBitmap*>(image.Picture().Graphic()), 8, 8), 0x00FFFFu);

    // Indices beyond a list give a clean error and change nothing.
    EXPECT_THROW(ReplaceColorImage(&list, 3, 0, 0, 4, 4), EInvalidOperation);
    EXPECT_THROW(ReplaceImage(&list, 7, &source, 0, clNone), EInvalidOperation);
    EXPECT_THROW(ReplaceImage(&list, 0, &source, 1, clNone), EInvalidOperation);
    EXPECT_THROW(GetImageFromList(&list, 3, &image), EInvalidOperation);
    EXPECT_EQ(list.Count(), 3);
    list.GetBitmap(0, &got);
    EXPECT_EQ(PixelRgb(got, 12, 3), 0x123456u);
}

TEST_F(CtlAid, ColorMenuItem)
{
    TPopupMenu popup(nullptr);
    TMenuItem* colours = AddItem(popup.Items(), {"Colours", -1, true, true, false});
    TMenuItem* red = AddColorItem(colours, u"Red", 0x0000FF);
    ASSERT_EQ(colours->Count(), 1);
    EXPECT_EQ(colours->Items(0), red);
    EXPECT_EQ(red->Caption(), "Red");
    TBitmap* bitmap = red->Bitmap();
    ASSERT_EQ(bitmap->Width(), 12);
    ASSERT_EQ(bitmap->Height(), 11);
    EXPECT_EQ(PixelRgb(*bitmap, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelRgb(*bitmap, 11, 10), 0xFFFFFFu);
    EXPECT_EQ(PixelRgb(*bitmap, 6, 5), 0x0000FFu);
}

// Texts the system code page cannot hold: Cyrillic and CJK.
const std::u16string kWideTexts[] = {u"Шрифт", u"宋体"};

TEST_F(CtlAid, ColorMenuItemCaptionBeyondTheCodePage)
{
    TPopupMenu popup(nullptr);
    for (const std::u16string& caption : kWideTexts) {
        TMenuItem* item = AddColorItem(popup.Items(), caption, 0x0000FF);
        EXPECT_TRUE(item->WideCaption() == caption) << Utf8(item->WideCaption());
    }
}

// The item texts are drawn as they are, not through the system code page ("?" for each
// character it lacks).
TEST_F(CtlAid, OwnerDrawnItemTextsBeyondTheCodePage)
{
    const int width = 120, height = 16;
    const TRect rect = Rect(0, 0, width, height);
    auto picture = Solid(10, 10, 0x00FF00);
    for (const std::u16string& text : kWideTexts) {
        for (bool selected : {false, true}) {
            SCOPED_TRACE(Utf8(text) + (selected ? " selected" : ""));
            TBitmap swatch(width, height), swatchWanted(width, height), swatchBlank(width, height);
            CB_DrawItem(swatch.Canvas(), rect, selected, 0x0000FF, text);
            CB_DrawItem(swatchBlank.Canvas(), rect, selected, 0x0000FF, u"");
            CB_DrawItem(swatchWanted.Canvas(), rect, selected, 0x0000FF, u"");
            DrawReferenceText(swatchWanted.Canvas(), height + 3 + 1, 0, text);
            EXPECT_FALSE(SamePixels(swatchWanted, swatchBlank));
            EXPECT_TRUE(SamePixels(swatch, swatchWanted));

            // A 10 x 10 picture in a 16-pixel item: d = 6, the text at (10 + 3, 6 / 2 + 1).
            TBitmap image(width, height), imageWanted(width, height);
            CB_DrawItemImage(image.Canvas(), rect, selected, picture.get(), text);
            CB_DrawItemImage(imageWanted.Canvas(), rect, selected, picture.get(), u" ");
            DrawReferenceText(imageWanted.Canvas(), 10 + 3, 3 + 1, text);
            EXPECT_TRUE(SamePixels(image, imageWanted));
        }
    }
}

TEST_F(CtlAid, OwnerDrawnComboItems)
{
    const TRect rect = Rect(0, 0, 100, 16);
    for (bool selected : {false, true}) {
        TBitmap surface(100, 16);
        CB_DrawItem(surface.Canvas(), rect, selected, 0x0000FF, u"");
        const uint32_t text = Rgb(selected ? clHighlight : clWindow);
        const struct {
            int x, y;
            uint32_t rgb;
        } pixels[] = {{0, 0, Rgb(clWindow)}, {1, 8, Rgb(clWindow)}, {2, 2, 0},          {13, 8, 0},
                      {6, 6, 0x0000FF},      {14, 8, Rgb(clWindow)}, {18, 8, Rgb(clWindow)}, {19, 0, text},
                      {99, 15, text}};
        for (const auto& p : pixels)
            EXPECT_EQ(PixelRgb(surface, p.x, p.y), p.rgb) << p.x << "," << p.y << " selected " << selected;
    }

    auto picture = Solid(10, 10, 0x00FF00);
    TBitmap surface(100, 16);
    CB_DrawItemImage(surface.Canvas(), rect, true, picture.get(), u" ");   // d = 6: picture at (1, 3)
    EXPECT_EQ(PixelRgb(surface, 1, 3), 0x00FF00u);
    EXPECT_EQ(PixelRgb(surface, 10, 12), 0x00FF00u);
    EXPECT_EQ(PixelRgb(surface, 1, 2), Rgb(clWindow));
    EXPECT_EQ(PixelRgb(surface, 12, 0), Rgb(clWindow));
    EXPECT_EQ(PixelRgb(surface, 13, 0), Rgb(clHighlight));

    TBitmap empty(100, 16);
    CB_DrawItemImage(empty.Canvas(), rect, true, picture.get(), u"");   // only cleared
    EXPECT_EQ(PixelRgb(empty, 1, 3), Rgb(clWindow));
    EXPECT_EQ(PixelRgb(empty, 99, 15), Rgb(clWindow));

    auto tall = Solid(10, 20, 0x00FF00);
    TBitmap over(100, 16);
    CB_DrawItemImage(over.Canvas(), rect, false, tall.get(), u" ");   // d < 0: no picture
    EXPECT_EQ(PixelRgb(over, 5, 5), Rgb(clWindow));
}

}  // namespace
