// The single-instance guard: one viewer runs per executable name, and per book when the
// command line names one. A second start hands its command-line parameters to the running
// instance, which comes to the front and receives them in OnInstanceStarted; the second
// instance then ends without showing a window. A start with another book is a first instance
// of its own.
//
// The instances meet in a named file mapping of the paging file (InstanceBlockName,
// kInstanceBlockSize bytes) and a semaphore of that name + "Sem" (maximum count 1):
//
//   offset 0    4 bytes   handle of the first instance's message window
//   offset 4    4 bytes   number of parameters (0 to 10)
//   offset 8    10 x 301  parameter slots: up to 300 characters and a zero byte each
//
// The first instance creates the block, its message window and the semaphore (count 1: the
// block is free). A second one takes the semaphore, writes its parameters, posts message 1324
// (WM_USER + 300) to the window, and waits for the semaphore again, which the first instance
// releases once it has read the block. A first instance that does not answer within 10
// seconds (for either wait) lets the new one take over as the first.
//
// The block is written by another process: the reader clamps the count to 10 and reads each
// slot only up to its 300 characters, whatever the bytes say. The second instance lets the
// first one take the foreground (the platform grants that only to a process the foreground
// process names).
#pragma once

#include "classlib/Components.h"
#include "classlib/Events.h"
#include "classlib/StringList.h"

#include <cstdint>
#include <string>
#include <vector>

struct HWND__;

constexpr int kInstanceMaxParams = 10;
constexpr int kInstanceParamChars = 300;
constexpr int kInstanceSlotBytes = kInstanceParamChars + 1;
constexpr int kInstanceSlotsOffset = 8;
constexpr int kInstanceBlockSize = kInstanceSlotsOffset + kInstanceMaxParams * kInstanceSlotBytes;  // 3018
constexpr unsigned kInstanceMessage = 0x0400 + 300;  // WM_USER + 300

// The first instance's message window in a block (its handle as 32 bits).
int32_t ReadInstanceWindow(const uint8_t* block);
void WriteInstanceWindow(uint8_t* block, int32_t window);
// The count and slots of a block: the first ten parameters, each cut to 300 characters.
void WriteInstanceParams(uint8_t* block, const std::vector<std::string>& params);
// The parameters in a block: the count clamped to 0..10, each slot up to its zero byte and
// never beyond its 300 characters.
std::vector<std::string> ReadInstanceParams(const uint8_t* block);

using TOnInstanceStarted = TEvent<TObject*, TStringList*>;

// The component itself talks to the platform (a named mapping, a semaphore, a message window):
// it is built in the Windows tree only, from RelkOneInstanceWin.cpp. The block's layout above
// is platform-free and tested natively.
class TOneInstance : public TComponent {
public:
    // Raises Exception "Drop only one of these components on your form !" when one exists.
    explicit TOneInstance(TComponent* owner);
    ~TOneInstance() override;

    bool ShowOnNewInstance = true;
    bool UseHaltToExit = false;
    TOnInstanceStarted OnInstanceStarted;
    // The book the first command-line parameter names, set before Loaded; empty for the book
    // appended to the executable. With one, the guard is that book's and a second start hands
    // over the parameters after it; without, the guard is the executable's and every parameter
    // is handed over.
    std::u16string Book;

    // Runs the check once the owner has set the properties: the first instance takes the block;
    // a second one hands its parameters over and (unless UseHaltToExit ends it at once) reports
    // HandedOver, after which its program ends without showing a window.
    virtual void Loaded();
    bool HandedOver() const { return FHandedOver; }

    CL_CLASS_NAME(TOneInstance)

protected:
    virtual void DoInstanceStarted(TStringList* params);

private:
    struct TMessageWindow;  // the window procedure of the message window

    void CheckInstance();
    void BecomeFirst(uint8_t* block);
    bool ForwardParams(uint8_t* block);  // true when the view was unmapped
    bool WaitSemaphore();
    void ReleaseSemaphore();
    void CloseSemaphore();
    void ReceiveParams();

    std::u16string FName;        // the block's; the semaphore's is FName + "Sem"
    void* FMapping = nullptr;    // the mapping's and the semaphore's handles
    HWND__* FWindow = nullptr;
    void* FSemaphore = nullptr;
    bool FHandedOver = false;
};

// The command-line parameters without the program path, whole (Windows tree).
std::vector<std::u16string> CommandLineParams();
// The name of the block: the executable's file name without its folder; for a book named on
// the command line, followed by ":" and 16 hexadecimal digits of a 64-bit FNV-1a hash of
// bookKey (the book's full path in one letter case, BookInstanceKey), so that every book has a
// guard of its own under a name that stays short and holds no "\" (which object names may
// not).
std::u16string InstanceBlockName(const std::u16string& exePath, const std::u16string& bookKey);
// A book's path as the guard compares it: full (a relative name resolved against the current
// folder) and upper-cased, as the file system ignores letter case (Windows tree).
std::u16string BookInstanceKey(const std::u16string& bookPath);
