// The single-instance component over the platform: the named mapping, the semaphore and the
// message window (see RelkOneInstance.h). Built in the Windows tree only.
#include "lectern/app/RelkOneInstance.h"

#include "classlib/Forms.h"

#include "classlib/Platform.h"
#include "classlib/PlatformText.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

namespace {

constexpr DWORD kSemaphoreWaitMs = 10000;
constexpr const char* kWindowClassName = "TOneInstanceWindow";

TOneInstance* gInstance = nullptr;

}  // namespace

struct TOneInstance::TMessageWindow {
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

TOneInstance::TOneInstance(TComponent* owner) : TComponent(owner)
{
    if (gInstance != nullptr) {
        throw Exception("Drop only one of these components on your form !");
    }
    gInstance = this;
}

TOneInstance::~TOneInstance()
{
    CloseSemaphore();
    if (FWindow != nullptr) {
        DestroyWindow(FWindow);
    }
    if (FMapping != nullptr) {
        CloseHandle(FMapping);
    }
    if (gInstance == this) {
        gInstance = nullptr;
    }
}

void TOneInstance::Loaded()
{
    CheckInstance();
}

void TOneInstance::DoInstanceStarted(TStringList* params)
{
    if (ShowOnNewInstance && Application != nullptr) {
        // The main form is owned by the application's window: it is the application's to
        // restore and bring to the front (the second instance let this one take the foreground).
        Application->Restore();
        Application->BringToFront();
    }
    if (OnInstanceStarted) {
        OnInstanceStarted(this, params);
    }
}

std::vector<std::u16string> CommandLineParams()
{
    std::vector<std::u16string> params;
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr) {
        return params;
    }
    for (int i = 1; i < count; ++i) {
        params.emplace_back(reinterpret_cast<const char16_t*>(args[i]));
    }
    LocalFree(args);
    return params;
}

std::u16string BookInstanceKey(const std::u16string& bookPath)
{
    const wchar_t* path = WideChars(bookPath);
    std::u16string key(MAX_PATH, u'\0');
    for (;;) {
        const DWORD n = GetFullPathNameW(path, static_cast<DWORD>(key.size()), reinterpret_cast<wchar_t*>(key.data()),
                                         nullptr);
        if (n == 0) {
            key = bookPath;  // no full path: the path as given
            break;
        }
        if (n < key.size()) {
            key.resize(n);
            break;
        }
        key.resize(n);
    }
    CharUpperBuffW(reinterpret_cast<wchar_t*>(key.data()), static_cast<DWORD>(key.size()));
    return key;
}

void TOneInstance::CheckInstance()
{
    FName = InstanceBlockName(plat::ExePathWide(), Book.empty() ? std::u16string() : BookInstanceKey(Book));
    FMapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kInstanceBlockSize,
                                  WideChars(FName));
    if (FMapping == nullptr) {
        return;
    }
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    auto* block = static_cast<uint8_t*>(MapViewOfFile(FMapping, FILE_MAP_WRITE, 0, 0, kInstanceBlockSize));
    if (block == nullptr) {
        CloseHandle(FMapping);
        FMapping = nullptr;
        return;
    }
    bool unmapped = false;
    if (existed) {
        unmapped = ForwardParams(block);
    } else {
        BecomeFirst(block);
    }
    if (!unmapped) {
        UnmapViewOfFile(block);
    }
}

void TOneInstance::BecomeFirst(uint8_t* block)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = &TMessageWindow::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClassName;
    RegisterClassA(&wc);  // fails harmlessly when registered before
    FWindow = CreateWindowExA(0, kWindowClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (FWindow != nullptr) {
        SetWindowLongPtrA(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    ReleaseSemaphore();
    CloseSemaphore();
    const std::u16string semName = FName + u"Sem";
    FSemaphore = CreateSemaphoreW(nullptr, 0, 1, WideChars(semName));
    Assert(FSemaphore != nullptr, "Unable to create semaphore");

    WriteInstanceWindow(block, static_cast<int32_t>(reinterpret_cast<intptr_t>(FWindow)));
    ReleaseSemaphore();
}

bool TOneInstance::ForwardParams(uint8_t* block)
{
    if (WaitSemaphore()) {
        // The parameters after a book named first: the running viewer shows that book already.
        const std::vector<std::u16string> all = CommandLineParams();
        std::vector<std::string> params;
        for (size_t i = Book.empty() ? 0 : 1; i < all.size(); ++i) {
            params.push_back(plat::WideToSystem(all[i]));
        }
        WriteInstanceParams(block, params);
        const HWND first = reinterpret_cast<HWND>(static_cast<intptr_t>(ReadInstanceWindow(block)));
        DWORD firstProcess = 0;
        GetWindowThreadProcessId(first, &firstProcess);
        if (firstProcess != 0) {
            AllowSetForegroundWindow(firstProcess);
        }
        PostMessageA(first, kInstanceMessage, 0, 0);
        if (WaitSemaphore()) {
            ReleaseSemaphore();
            CloseSemaphore();
            UnmapViewOfFile(block);
            CloseHandle(FMapping);
            FMapping = nullptr;
            FHandedOver = true;
            if (UseHaltToExit) {
                ExitProcess(0);
            }
            return true;
        }
    }
    BecomeFirst(block);
    return false;
}

bool TOneInstance::WaitSemaphore()
{
    if (FSemaphore == nullptr) {
        const std::u16string semName = FName + u"Sem";
        FSemaphore = OpenSemaphoreW(SYNCHRONIZE | SEMAPHORE_MODIFY_STATE, FALSE,
                                    WideChars(semName));
        if (FSemaphore == nullptr) {
            return false;
        }
    }
    return WaitForSingleObject(FSemaphore, kSemaphoreWaitMs) == WAIT_OBJECT_0;
}

void TOneInstance::ReleaseSemaphore()
{
    if (FSemaphore != nullptr) {
        ::ReleaseSemaphore(FSemaphore, 1, nullptr);
    }
}

void TOneInstance::CloseSemaphore()
{
    if (FSemaphore != nullptr) {
        CloseHandle(FSemaphore);
        FSemaphore = nullptr;
    }
}

void TOneInstance::ReceiveParams()
{
    auto* block = static_cast<uint8_t*>(MapViewOfFile(FMapping, FILE_MAP_READ, 0, 0, kInstanceBlockSize));
    try {
        auto params = std::make_unique<TStringList>();
        if (block != nullptr) {
            for (const std::string& p : ReadInstanceParams(block)) {
                params->Add(p);
            }
        }
        DoInstanceStarted(params.get());
    } catch (...) {
        // A failing handler must not keep the semaphore: the next start would wait in vain.
    }
    if (block != nullptr) {
        UnmapViewOfFile(block);
    }
    ReleaseSemaphore();
}

LRESULT CALLBACK TOneInstance::TMessageWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kInstanceMessage) {
        auto* self = reinterpret_cast<TOneInstance*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr && self->FMapping != nullptr) {
            self->ReceiveParams();
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
