// Standard controls over the platform's own (Windows builds only): combo boxes and memos.
//
// A TComboBox keeps its items in its window (made on demand): Items reads and changes them
// through the control's messages, so what the helpers see is what the control holds. Items are
// UTF-16 strings with an optional object pointer (never owned) each; the list is not sorted.
// Re-creating the window loses the items.
#pragma once

#include "Controls.h"

#include <string>
#include <vector>

class TComboBox;

class TComboBoxStrings {
public:
    explicit TComboBoxStrings(TComboBox* combo) : FCombo(combo) {}

    int Count() const;
    // Raises EListError "List index out of bounds (<index>)" outside the list.
    std::u16string Strings(int index) const;
    TObject* Objects(int index) const;
    void SetObjects(int index, TObject* object);
    // The first item equal to text with letter case ignored (the control's exact search), or -1.
    int IndexOf(const std::u16string& text) const;
    int Add(const std::u16string& text);
    void Insert(int index, const std::u16string& text);
    void Delete(int index);
    // Moves an item, with its object, from one index to another.
    void Move(int from, int to);
    void Clear();

private:
    void CheckIndex(int index) const;
    HWND Window() const;

    TComboBox* FCombo;
};

class TComboBox : public TWinControl {
public:
    explicit TComboBox(TComponent* owner);

    TComboBoxStrings& Items() { return FItems; }
    // The selected item, -1 for none.
    int ItemIndex();
    void SetItemIndex(int index);

    CL_CLASS_NAME(TComboBox)

protected:
    void CreateWnd() override;

private:
    TComboBoxStrings FItems;
};

// A multi-line edit control with a vertical scroll bar, holding lines.
class TMemo : public TWinControl {
public:
    explicit TMemo(TComponent* owner);
    ~TMemo() override;

    const std::vector<std::string>& Lines() const { return FLines; }
    void AddLine(const std::string& line);
    void SetLines(const std::vector<std::string>& lines);
    // The text the window shows (its lines joined by CR LF).
    std::string WindowText();
    void SetFont(HFONT font);

    CL_CLASS_NAME(TMemo)

protected:
    void CreateWnd() override;

private:
    void UpdateWindowText();

    std::vector<std::string> FLines;
    HFONT FFont = nullptr;  // not owned
};
