// List views, tree views and tool bars (Windows builds only).
//
// TListView and TTreeView stand over the platform's list-view and tree-view controls and keep
// their items in the window (made on demand), so that what the helpers see is what the control
// holds; re-creating the window loses the items. A list view's items are addressed by index.
// A tree view's nodes are TTreeNode objects that the tree owns, each tied to its control item;
// Items(i) walks the nodes in the tree's order (each node, then its children, then its next
// sibling). TToolBar is a plain window holding TToolButton controls, which carry only the
// properties of a button that the class layer uses (image index, style, enabled, visible).
#pragma once

#include "Controls.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

class TListView : public TWinControl {
public:
    explicit TListView(TComponent* owner);

    int ItemCount();
    int AddItem(const std::u16string& caption);
    std::u16string ItemCaption(int index);
    // The first selected item, -1 for none.
    int SelectedIndex();
    void SetSelected(int index, bool selected);
    // The focused item, -1 for none.
    int FocusedIndex();
    void SetFocused(int index);
    // The item at a point of the client area, -1 for none.
    int GetItemAt(int x, int y);
    // The item's top edge in the client area.
    int ItemTop(int index);
    // Redraws the items first to last.
    void UpdateItems(int first, int last);

    CL_CLASS_NAME(TListView)

protected:
    void CreateWnd() override;
};

class TTreeView;

class TTreeNode : public TObject {
public:
    TTreeNode(TTreeView* owner, HTREEITEM item) : FOwner(owner), FItem(item) {}

    HTREEITEM ItemId() const { return FItem; }
    TTreeView* TreeView() const { return FOwner; }
    std::u16string Text() const;
    // The parent node, or null for a top-level node.
    TTreeNode* Parent() const;

    CL_CLASS_NAME(TTreeNode)

private:
    TTreeView* FOwner;
    HTREEITEM FItem;
};

class TTreeView : public TWinControl {
public:
    explicit TTreeView(TComponent* owner);
    ~TTreeView() override;

    // Adds a node at the end of parent's children (top level for null).
    TTreeNode* AddChild(TTreeNode* parent, const std::u16string& text);
    int Count() const { return static_cast<int>(FNodes.size()); }
    // The node at index in the tree's order; raises EListError outside 0..Count-1.
    TTreeNode* Items(int index);
    // The node of a control item, or null.
    TTreeNode* NodeOf(HTREEITEM item) const;

    CL_CLASS_NAME(TTreeView)

protected:
    void CreateWnd() override;

private:
    std::vector<std::unique_ptr<TTreeNode>> FNodes;
};

enum class TToolButtonStyle { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };

class TToolButton : public TControl {
public:
    explicit TToolButton(TComponent* owner) : TControl(owner) {}

    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int index) { FImageIndex = index; }
    TToolButtonStyle Style() const { return FStyle; }
    void SetStyle(TToolButtonStyle style) { FStyle = style; }

    CL_CLASS_NAME(TToolButton)

private:
    int FImageIndex = -1;
    TToolButtonStyle FStyle = TToolButtonStyle::tbsButton;
};

class TToolBar : public TWinControl {
public:
    explicit TToolBar(TComponent* owner) : TWinControl(owner) {}

    // The tool buttons among the controls.
    int ButtonCount() const;

    CL_CLASS_NAME(TToolBar)
};
