#include "ComCtrls.h"

namespace {

// The longest item text read back from a control, in characters.
constexpr int kItemTextChars = 1024;

void InitCommonControlClasses()
{
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&classes);
}

HWND CreateCommonControl(const TCreateParams& params, const wchar_t* className, DWORD style)
{
    InitCommonControlClasses();
    HWND window = CreateWindowExW(params.ExStyle, className, L"", params.Style | style, params.X, params.Y,
                                  params.Width, params.Height, params.WndParent, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr)
        throw EOSError("Error creating window of class " + FromWide(className));
    return window;
}

}  // namespace

// ---- TListView --------------------------------------------------------------------------------

TListView::TListView(TComponent* owner) : TWinControl(owner)
{
    FWidth = 250;
    FHeight = 150;
    SetTabStop(true);
}

void TListView::CreateWnd()
{
    TCreateParams params;
    CreateParams(params);
    HWND window = CreateCommonControl(params, WC_LISTVIEWW, LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = params.Width > 0 ? params.Width : 100;
    SendMessageW(window, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    SetHandle(window);
}

int TListView::ItemCount() { return static_cast<int>(SendMessageW(Handle(), LVM_GETITEMCOUNT, 0, 0)); }

int TListView::AddItem(const std::u16string& caption)
{
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = ItemCount();
    item.pszText = const_cast<wchar_t*>(WideChars(caption));
    const LRESULT index = SendMessageW(Handle(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (index < 0)
        throw EOutOfMemory("Out of system resources");
    return static_cast<int>(index);
}

std::u16string TListView::ItemCaption(int index)
{
    wchar_t text[kItemTextChars] = {};
    LVITEMW item{};
    item.pszText = text;
    item.cchTextMax = kItemTextChars;
    const LRESULT length = SendMessageW(Handle(), LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(&item));
    return std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length < 0 ? 0 : length));
}

int TListView::SelectedIndex()
{
    return static_cast<int>(SendMessageW(Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TListView::SetSelected(int index, bool selected)
{
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

int TListView::FocusedIndex()
{
    return static_cast<int>(SendMessageW(Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

void TListView::SetFocused(int index)
{
    LVITEMW item{};
    item.stateMask = LVIS_FOCUSED;
    item.state = LVIS_FOCUSED;
    SendMessageW(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

int TListView::GetItemAt(int x, int y)
{
    LVHITTESTINFO hit{};
    hit.pt = POINT{x, y};
    const LRESULT index = SendMessageW(Handle(), LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    return (hit.flags & LVHT_ONITEM) != 0 ? static_cast<int>(index) : -1;
}

int TListView::ItemTop(int index)
{
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    SendMessageW(Handle(), LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&bounds));
    return bounds.top;
}

void TListView::UpdateItems(int first, int last)
{
    SendMessageW(Handle(), LVM_REDRAWITEMS, static_cast<WPARAM>(first), static_cast<LPARAM>(last));
}

// ---- TTreeView --------------------------------------------------------------------------------

std::u16string TTreeNode::Text() const
{
    wchar_t text[kItemTextChars] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = FItem;
    item.pszText = text;
    item.cchTextMax = kItemTextChars;
    SendMessageW(FOwner->Handle(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return reinterpret_cast<const char16_t*>(text);
}

TTreeNode* TTreeNode::Parent() const
{
    auto parent = reinterpret_cast<HTREEITEM>(
        SendMessageW(FOwner->Handle(), TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(FItem)));
    return FOwner->NodeOf(parent);
}

TTreeView::TTreeView(TComponent* owner) : TWinControl(owner)
{
    FWidth = 200;
    FHeight = 200;
    SetTabStop(true);
}

TTreeView::~TTreeView() = default;

void TTreeView::CreateWnd()
{
    TCreateParams params;
    CreateParams(params);
    FNodes.clear();
    SetHandle(CreateCommonControl(params, WC_TREEVIEWW, TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT));
}

TTreeNode* TTreeView::AddChild(TTreeNode* parent, const std::u16string& text)
{
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent != nullptr ? parent->ItemId() : TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t*>(WideChars(text));
    auto item = reinterpret_cast<HTREEITEM>(
        SendMessageW(Handle(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    if (item == nullptr)
        throw EOutOfMemory("Out of system resources");
    FNodes.push_back(std::make_unique<TTreeNode>(this, item));
    return FNodes.back().get();
}

TTreeNode* TTreeView::NodeOf(HTREEITEM item) const
{
    if (item == nullptr)
        return nullptr;
    for (const auto& node : FNodes)
        if (node->ItemId() == item)
            return node.get();
    return nullptr;
}

TTreeNode* TTreeView::Items(int index)
{
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%d)", index));
    HWND tree = Handle();
    auto next = [tree](UINT relation, HTREEITEM from) {
        return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from)));
    };
    HTREEITEM item = next(TVGN_ROOT, nullptr);
    for (int i = 0; i < index && item != nullptr; ++i) {
        HTREEITEM step = next(TVGN_CHILD, item);
        while (step == nullptr && item != nullptr) {
            step = next(TVGN_NEXT, item);
            if (step == nullptr)
                item = next(TVGN_PARENT, item);
        }
        item = step;
    }
    return NodeOf(item);
}

// ---- TToolBar ---------------------------------------------------------------------------------

int TToolBar::ButtonCount() const
{
    int count = 0;
    for (int i = 0; i < ControlCount(); ++i)
        if (dynamic_cast<TToolButton*>(Controls(i)) != nullptr)
            ++count;
    return count;
}
