#include "StdCtrls.h"

namespace {

// The combo box's height with its list dropped down.
constexpr int kDroppedHeightPx = 200;

}  // namespace

HWND TComboBoxStrings::Window() const { return FCombo->Handle(); }

int TComboBoxStrings::Count() const { return static_cast<int>(SendMessageW(Window(), CB_GETCOUNT, 0, 0)); }

void TComboBoxStrings::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%d)", index));
}

std::u16string TComboBoxStrings::Strings(int index) const
{
    CheckIndex(index);
    const LRESULT length = SendMessageW(Window(), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    std::u16string text(static_cast<size_t>(length < 0 ? 0 : length) + 1, u'\0');
    const LRESULT got = SendMessageW(Window(), CB_GETLBTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return text;
}

TObject* TComboBoxStrings::Objects(int index) const
{
    CheckIndex(index);
    return reinterpret_cast<TObject*>(SendMessageW(Window(), CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

void TComboBoxStrings::SetObjects(int index, TObject* object)
{
    CheckIndex(index);
    SendMessageW(Window(), CB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(object));
}

int TComboBoxStrings::IndexOf(const std::u16string& text) const
{
    return static_cast<int>(SendMessageW(Window(), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(WideChars(text))));
}

int TComboBoxStrings::Add(const std::u16string& text)
{
    const LRESULT index = SendMessageW(Window(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideChars(text)));
    if (index < 0)
        throw EOutOfMemory("Out of system resources");
    return static_cast<int>(index);
}

void TComboBoxStrings::Insert(int index, const std::u16string& text)
{
    if (index < 0 || index > Count())
        throw EListError(Format("List index out of bounds (%d)", index));
    if (SendMessageW(Window(), CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(WideChars(text))) < 0)
        throw EOutOfMemory("Out of system resources");
}

void TComboBoxStrings::Delete(int index)
{
    CheckIndex(index);
    SendMessageW(Window(), CB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void TComboBoxStrings::Move(int from, int to)
{
    if (from == to)
        return;
    const std::u16string text = Strings(from);
    TObject* object = Objects(from);
    CheckIndex(to);
    Delete(from);
    Insert(to, text);
    SetObjects(to, object);
}

void TComboBoxStrings::Clear() { SendMessageW(Window(), CB_RESETCONTENT, 0, 0); }

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner), FItems(this)
{
    FWidth = 145;
    FHeight = 21;
    SetTabStop(true);
}

int TComboBox::ItemIndex() { return static_cast<int>(SendMessageW(Handle(), CB_GETCURSEL, 0, 0)); }

void TComboBox::SetItemIndex(int index) { SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

void TComboBox::CreateWnd()
{
    TCreateParams params;
    CreateParams(params);
    HWND window = CreateWindowExW(params.ExStyle, L"COMBOBOX", L"",
                                  params.Style | CBS_DROPDOWNLIST | WS_VSCROLL, params.X, params.Y,
                                  params.Width, kDroppedHeightPx, params.WndParent, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr)
        throw EOSError("Error creating window of class COMBOBOX");
    SetHandle(window);
}

// ---- TMemo ------------------------------------------------------------------------------------

TMemo::TMemo(TComponent* owner) : TWinControl(owner) {}

TMemo::~TMemo() = default;

void TMemo::CreateWnd()
{
    TCreateParams params;
    CreateParams(params);
    HWND window = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                  params.Style | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | ES_NOHIDESEL, params.X,
                                  params.Y, params.Width, params.Height, params.WndParent, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        throw EOSError("Error creating window: TMemo");
    }
    SetHandle(window);
    if (FFont != nullptr) {
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    }
    UpdateWindowText();
}

void TMemo::SetFont(HFONT font)
{
    FFont = font;
    if (HandleAllocated()) {
        SendMessageW(HandleValue(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

void TMemo::AddLine(const std::string& line)
{
    FLines.push_back(line);
    UpdateWindowText();
}

void TMemo::SetLines(const std::vector<std::string>& lines)
{
    FLines = lines;
    UpdateWindowText();
}

std::string TMemo::WindowText()
{
    if (!HandleAllocated()) {
        return {};
    }
    const int length = GetWindowTextLengthW(HandleValue());
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(HandleValue(), text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return FromWide(text);
}

void TMemo::UpdateWindowText()
{
    if (!HandleAllocated()) {
        return;
    }
    std::string text;
    for (size_t i = 0; i < FLines.size(); ++i) {
        if (i > 0) {
            text += "\r\n";
        }
        text += FLines[i];
    }
    SetWindowTextW(HandleValue(), ToWide(text).c_str());
    SendMessageW(HandleValue(), EM_LINESCROLL, 0, static_cast<LPARAM>(FLines.size()));
}
