// ctlaid's control helpers: see CtlAid.h.
#include "CtlAid.h"

#include <memory>

namespace {

// The colour item bitmap of AddColorItem.
constexpr int kColorItemWidthPx = 12;
constexpr int kColorItemHeightPx = 11;
// What a speed button's face keeps free around its glyph.
constexpr int kGlyphMarginWidthPx = 7;
constexpr int kGlyphMarginHeightPx = 6;
// List views: the x of the point that finds the item under a click.
constexpr int kItemProbeX = 10;

// The user locale's lower-case form.
std::u16string Lower(const std::u16string& text)
{
    if (text.empty())
        return text;
    std::u16string lower(text.size(), u'\0');
    const int length = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, reinterpret_cast<const wchar_t*>(text.data()),
                                    static_cast<int>(text.size()), reinterpret_cast<wchar_t*>(lower.data()),
                                    static_cast<int>(lower.size()));
    lower.resize(static_cast<size_t>(length > 0 ? length : 0));
    return lower;
}

// index made even (toward zero), + 1 for a disabled picture.
int PairedImage(int index, bool enabled) { return index / 2 * 2 + (enabled ? 0 : 1); }

// A w x h rectangle centred in a W x H area.
TRect Centred(int areaWidth, int areaHeight, int w, int h)
{
    return Rect((areaWidth - w) / 2, (areaHeight - h) / 2, (areaWidth + w) / 2, (areaHeight + h) / 2);
}

void SetMenuImages(TMenuItem* parent)
{
    for (int i = 0; i < parent->Count(); ++i) {
        TMenuItem* item = parent->Items(i);
        if (!item->Visible() || item->ImageIndex() == -1 || item->Caption() == "-")
            continue;
        item->SetImageIndex(PairedImage(item->ImageIndex(), item->Enabled()));
        item->SetChecked(item->Checked());
        if (item->Count() > 0)
            SetMenuImages(item);
    }
}

// Fills the text area of an owner-drawn item and sets the font colour for its state.
void PrepareItemText(TCanvas* canvas, const TRect& textArea, bool selected)
{
    canvas->Brush().Color = selected ? clHighlight : clWindow;
    canvas->FillRect(textArea);
    canvas->Font().SetColor(selected ? clWindow : clWindowText);
}

}  // namespace

// ---- combo boxes ------------------------------------------------------------------------------

int CB_SetCombo(TComboBox* combo, std::u16string text)
{
    combo->SetItemIndex(combo->Items().IndexOf(text));
    return combo->ItemIndex();
}

int CB_SetOrAddCombo(TComboBox* combo, std::u16string text)
{
    if (CB_SetCombo(combo, text) < 0)
        combo->SetItemIndex(combo->Items().Add(text));
    return combo->ItemIndex();
}

int CB_SetComboTo(TComboBox* combo, const std::u16string& text, bool add, bool ignoreCase)
{
    TComboBoxStrings& items = combo->Items();
    int index = -1;
    if (ignoreCase) {
        const std::u16string wanted = Lower(text);
        for (int i = 0; i < items.Count() && index < 0; ++i)
            if (Lower(items.Strings(i)) == wanted)
                index = i;
    } else {
        index = items.IndexOf(text);
    }
    if (index < 0 && add)
        index = items.Add(text);
    return index;
}

int CB_AddToCombo(TComboBox* combo, const std::u16string& text, bool ignoreCase)
{
    const int index = CB_SetComboTo(combo, text, true, ignoreCase);
    if (index >= 1)
        combo->Items().Move(index, 0);
    combo->SetItemIndex(0);
    return 0;
}

int CB_AddToComboEx(TComboBox* combo, const std::u16string& text, int max, bool ignoreCase)
{
    const int index = CB_AddToCombo(combo, text, ignoreCase);
    TComboBoxStrings& items = combo->Items();
    if (max >= 1)
        for (int i = items.Count() - 1; i >= max; --i)
            items.Delete(i);
    return index;
}

void CB_MoveSelectedUp(TComboBox* combo, int position)
{
    const int selected = combo->ItemIndex();
    if (position < 0 || position >= selected)
        return;
    combo->Items().Move(selected, position);
    combo->SetItemIndex(position);
}

// ---- owner-drawn combo items ------------------------------------------------------------------

void CB_DrawItem(TCanvas* canvas, const TRect& rect, bool selected, TColor color, const std::u16string& text)
{
    const int h = rect.Bottom - rect.Top;
    canvas->Brush().Color = clWindow;
    canvas->FillRect(rect);
    canvas->Pen().Color = clBlack;
    canvas->Brush().Color = color;
    canvas->Rectangle(Rect(rect.Left + 2, rect.Top + 2, rect.Left + h - 2, rect.Top + h - 2));
    TRect textArea = rect;
    textArea.Left = rect.Left + h + 3;
    PrepareItemText(canvas, textArea, selected);
    canvas->WriteText(textArea.Left + 1, rect.Top, text);
}

void CB_DrawItemImage(TCanvas* canvas, const TRect& rect, bool selected, TBitmap* bitmap, const std::u16string& text)
{
    canvas->Brush().Color = clWindow;
    canvas->FillRect(rect);
    if (text.empty())
        return;
    const int d = (rect.Bottom - rect.Top) - bitmap->Height();
    if (d >= 0)
        canvas->Draw(rect.Left + 1, rect.Top + d / 2, bitmap);
    TRect textArea = rect;
    textArea.Left = rect.Left + bitmap->Width() + 3;
    PrepareItemText(canvas, textArea, selected);
    canvas->WriteText(textArea.Left, rect.Top + d / 2 + 1, text);
}

// ---- list and tree views ----------------------------------------------------------------------

void LV_AlwaysSelect(TListView* listView, int y, TWinControl* other)
{
    const int count = listView->ItemCount();
    if (count == 0) {
        if (other != nullptr)
            other->SetFocus();
        return;
    }
    const int selected = listView->SelectedIndex();
    if (selected >= 0) {
        listView->SetFocused(selected);
        return;
    }
    int index = listView->GetItemAt(kItemProbeX, y);
    if (index < 0)
        index = count - 1;
    listView->SetSelected(index, true);
    listView->SetFocused(index);
    if (index >= 0)
        listView->UpdateItems(index, index);
}

TTreeNode* TV_GetRootParent(TTreeNode* node)
{
    if (node == nullptr)
        return nullptr;
    while (TTreeNode* parent = node->Parent())
        node = parent;
    return node;
}

TTreeNode* TV_GetRootParent(TTreeView*, TTreeNode* node) { return TV_GetRootParent(node); }

TTreeNode* TV_FindItemByText(TTreeView* treeView, const std::u16string& text)
{
    for (int i = 0; i < treeView->Count(); ++i) {
        TTreeNode* node = treeView->Items(i);
        if (node != nullptr && node->Text() == text)
            return node;
    }
    return nullptr;
}

// ---- menus and tool bars ----------------------------------------------------------------------

void MI_SetPopMenuImages(TPopupMenu* menu) { SetMenuImages(menu->Items()); }

void MI_SetMainMenuImages(TMainMenu* menu)
{
    TMenuItem* bar = menu->Items();
    for (int i = 0; i < bar->Count(); ++i)
        if (bar->Items(i)->Visible())
            SetMenuImages(bar->Items(i));
}

void MI_SetToolBarImages(TToolBar* toolBar)
{
    if (toolBar == nullptr || !toolBar->Visible() || toolBar->ButtonCount() == 0)
        return;
    for (int i = 0; i < toolBar->ControlCount(); ++i) {
        auto* button = dynamic_cast<TToolButton*>(toolBar->Controls(i));
        if (button == nullptr || !button->Visible() || button->ImageIndex() < 0 ||
            button->Style() == TToolButtonStyle::tbsSeparator || button->Style() == TToolButtonStyle::tbsDivider)
            continue;
        button->SetImageIndex(PairedImage(button->ImageIndex(), button->Enabled()));
    }
}

// ---- colours and images -----------------------------------------------------------------------

void AddCustomColor(TColorDialog* dialog, TColor color)
{
    dialog->CustomColors().Clear();
    dialog->CustomColors().Add(Format("ColorA=%X", static_cast<unsigned>(color)));
}

void AdjustColorImage(TSpeedButton* button, TColor color, int w, int h)
{
    const int width = button->Width() - kGlyphMarginWidthPx;
    const int height = button->Height() - kGlyphMarginHeightPx;
    if (width <= 0 || height <= 0)
        return;   // no room for a glyph
    const auto bitmap = std::make_unique<TBitmap>(width, height);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Brush().Color = clBtnFace;
    canvas->FillRect(Rect(0, 0, width, height));
    TRect swatch = Centred(width, height, w, h);
    canvas->Pen().Color = clWhite;
    canvas->Brush().Color = color;
    TRect frame = swatch;
    frame.Inflate(1, 1);
    canvas->Rectangle(frame);
    canvas->Rectangle(swatch);
    button->SetGlyph(bitmap.get());
    button->SetNumGlyphs(1);
}

void ReplaceColorImage(TImageList* imageList, int index, TColor fill, TColor frame, int w, int h)
{
    const int width = imageList->Width();
    const int height = imageList->Height();
    const auto bitmap = std::make_unique<TBitmap>(width, height);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Brush().Color = clBtnFace;
    canvas->FillRect(Rect(0, 0, width, height));
    canvas->Pen().Color = frame;
    canvas->Brush().Color = fill;
    canvas->Rectangle(Centred(width, height, w, h));
    if (index >= 0)
        imageList->ReplaceMasked(index, bitmap.get(), clBtnFace);
    else
        imageList->AddMasked(bitmap.get(), clBtnFace);
}

void ReplaceImage(TImageList* target, int index, TImageList* source, int sourceIndex, TColor maskColor)
{
    const auto bitmap = std::make_unique<TBitmap>();
    source->GetBitmap(sourceIndex, bitmap.get());
    target->ReplaceMasked(index, bitmap.get(), maskColor);
}

void GetImageFromList(TImageList* imageList, int index, TImage* image)
{
    auto bitmap = std::make_unique<TBitmap>();
    imageList->GetBitmap(index, bitmap.get());
    image->Picture().SetGraphic(std::move(bitmap));
}

TMenuItem* AddColorItem(TMenuItem* item, const std::u16string& caption, TColor color)
{
    auto* child = new TMenuItem(nullptr);
    child->SetCaption(caption);
    TBitmap* bitmap = child->Bitmap();
    bitmap->SetSize(kColorItemWidthPx, kColorItemHeightPx);
    bitmap->Canvas()->Pen().Color = clWhite;
    bitmap->Canvas()->Brush().Color = color;
    bitmap->Canvas()->Rectangle(Rect(0, 0, kColorItemWidthPx, kColorItemHeightPx));
    item->Add(child);
    return child;
}
