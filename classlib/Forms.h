// Forms, the application object and the screen (Windows builds only).
//
// TForm is a top-level window; its ActiveControl gets the focus back when the form is
// activated. TApplication owns a hidden window of the class "TApplication" (the owner of the
// forms and the parking place of windows that wait for their parent to come back), runs the
// message loop, and lets several parties hook that window (HookMainWindow: each hook sees a
// message first and may consume it). TScreen knows the active form.
//
// Application and Screen are process-wide objects made by FormsInit and freed by FormsDone,
// which the program (or a test) calls on the main thread.
#pragma once

#include "Controls.h"

class TForm;

using TCloseQueryEvent = TEvent<TObject*, bool&>;
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = TEvent<TObject*, TCloseAction&>;
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };

class TForm : public TWinControl {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& caption);
    TFormStyle FormStyle() const { return FFormStyle; }
    void SetFormStyle(TFormStyle style) { FFormStyle = style; }

    TWinControl* ActiveControl() const { return FActiveControl; }
    // Makes control the one that has (or gets, on activation) the focus.
    void SetActiveControl(TWinControl* control);
    bool Active() const { return FActive; }

    // Asks OnCloseQuery, then closes: the main form ends the application, another hides.
    void Close();
    bool CloseQuery();

    bool CanFocus() const override;
    void SetVisible(bool visible) override;

    TCloseQueryEvent OnCloseQuery;
    TCloseEvent OnClose;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;

    CL_CLASS_NAME(TForm)

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    void SetActive(bool active);

    std::string FCaption;
    TFormStyle FFormStyle = TFormStyle::fsNormal;
    TWinControl* FActiveControl = nullptr;
    bool FActive = false;
};

// A hook of the application window: answers true when it consumed the message.
using TWindowHook = TEvent<TMessage&, bool&>;
using TExceptionEvent = TEvent<TObject*, const std::exception&>;
using TMessageEvent = TEvent<MSG&, bool&>;

class TApplication : public TComponent {
public:
    explicit TApplication(TComponent* owner);
    ~TApplication() override;

    HWND Handle() const { return FHandle; }
    TForm* MainForm() const { return FMainForm; }
    // The first form made with CreateForm (or set here) is the main form.
    void SetMainForm(TForm* form) { FMainForm = form; }
    template <class F>
    F* CreateForm()
    {
        F* form = new F(this);
        if (FMainForm == nullptr) {
            FMainForm = form;
        }
        return form;
    }

    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& title);
    HICON Icon() const { return FIcon; }
    void SetIcon(HICON icon) { FIcon = icon; }
    // The application's compiled help file (UTF-16).
    const std::u16string& HelpFile() const { return FHelpFile; }
    void SetHelpFile(const std::u16string& fileName) { FHelpFile = fileName; }
    // How long a hint stays up, in milliseconds.
    int HintHidePause() const { return FHintHidePause; }
    void SetHintHidePause(int ms) { FHintHidePause = ms; }

    // Shows the main form and runs the message loop until Terminate. The loop also runs the
    // calls other threads hand to the main thread (TThread::Synchronize, see Threads.h).
    void Run();
    // Handles one message and the queued synchronised calls, waiting for either when there
    // is nothing to do.
    void HandleMessage();
    // Handles every pending message and synchronised call and returns.
    void ProcessMessages();
    // Asks the loop to end (posts WM_QUIT).
    void Terminate();
    // Restores the main form when it is minimised.
    void Restore();
    // Brings the main form (or the window of it that was active last, such as a dialog) to
    // the front and gives it the foreground.
    void BringToFront();
    bool Terminated() const { return FTerminated; }

    void HookMainWindow(TWindowHook hook);
    void UnhookMainWindow(TWindowHook hook);

    // Reports an exception that reached a window procedure or the loop: OnException when
    // assigned, else nothing is shown (EAbort is always silent).
    void HandleException(TObject* sender, const std::exception& error);

    TExceptionEvent OnException;
    TMessageEvent OnMessage;

    CL_CLASS_NAME(TApplication)

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend LRESULT CALLBACK ApplicationWindowProc(HWND, UINT, WPARAM, LPARAM);
    bool ProcessMessage(MSG& msg);
    bool IsKeyMsg(MSG& msg);
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);

    HWND FHandle = nullptr;
    TForm* FMainForm = nullptr;
    std::string FTitle;
    HICON FIcon = nullptr;
    std::u16string FHelpFile;
    int FHintHidePause = 2500;
    bool FTerminated = false;
    std::vector<TWindowHook> FWindowHooks;
};

// What a control's hint shows and for how long (times in milliseconds), filled in before the
// hint window appears.
struct THintInfo {
    TControl* HintControl = nullptr;
    POINT HintPos{};
    int HintMaxWidth = 0;
    RECT CursorRect{};
    POINT CursorPos{};
    int ReshowTimeout = 0;
    int HideTimeout = 0;
    std::string HintStr;
};

class TScreen : public TComponent {
public:
    explicit TScreen(TComponent* owner) : TComponent(owner) {}

    TForm* ActiveForm() const { return FActiveForm; }
    TForm* ActiveCustomForm() const { return FActiveForm; }
    TWinControl* ActiveControl() const { return FActiveForm ? FActiveForm->ActiveControl() : nullptr; }
    int FormCount() const { return static_cast<int>(FForms.size()); }
    TForm* Forms(int index) const { return FForms.at(static_cast<size_t>(index)); }
    int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
    int Height() const { return GetSystemMetrics(SM_CYSCREEN); }

    CL_CLASS_NAME(TScreen)

private:
    friend class TForm;
    std::vector<TForm*> FForms;
    TForm* FActiveForm = nullptr;
};

extern TApplication* Application;
extern TScreen* Screen;

// Makes Application and Screen (once; later calls do nothing) and frees them.
void FormsInit();
void FormsDone();
