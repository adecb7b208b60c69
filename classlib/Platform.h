// The platform seam: the few operating-system calls that the platform-free code needs, with
// one implementation over Win32 and one over POSIX for the native host build. This header
// and Platform.cpp are the only places of the class layer that know which system they run on.
//
// Texts are 8-bit strings in the system code page, as everywhere in the program. File names
// and the executable's path also come wide (UTF-16), for names the code page lacks: on Windows
// the narrow forms are their code-page spelling, read through the same wide calls; the host
// takes a wide name by its code-page bytes, so both forms name the same file there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

// ---- text -------------------------------------------------------------------------------

enum class TextOrder { Less, Equal, Greater, Failed };

// Locale-aware comparison with letter case ignored: on Windows CompareStringA with the user's
// default locale and NORM_IGNORECASE (which is not ASCII order: "a-b" > "ab"); on the host an
// unsigned byte comparison after ASCII lower-casing. Failed only where the platform fails.
TextOrder CompareTextLocale(std::string_view a, std::string_view b);

// ---- process and environment --------------------------------------------------------------

std::string ExePath();        // full path of the running executable
std::u16string ExePathWide();  // the same, whole when it holds characters the code page lacks
std::string TempDir();     // the temporary folder, ending in the path delimiter
char PathDelim();          // '\\' on Windows, '/' on the host
uint32_t CurrentThreadId();
void SleepMs(uint32_t milliseconds);

// ---- files ---------------------------------------------------------------------------------

// Open modes: one access value or'ed with one share value; fmCreate creates or truncates.
constexpr uint32_t fmOpenRead = 0x0000;
constexpr uint32_t fmOpenWrite = 0x0001;
constexpr uint32_t fmOpenReadWrite = 0x0002;
constexpr uint32_t fmShareCompat = 0x0000;
constexpr uint32_t fmShareExclusive = 0x0010;
constexpr uint32_t fmShareDenyWrite = 0x0020;
constexpr uint32_t fmShareDenyRead = 0x0030;
constexpr uint32_t fmShareDenyNone = 0x0040;
constexpr uint32_t fmCreate = 0xFF00;

using FileHandle = intptr_t;
constexpr FileHandle kInvalidFile = -1;

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

// True for an existing file that is not a folder.
bool FileExists(const std::string& name);
bool FileExists(const std::u16string& name);
bool RemoveFile(const std::string& name);
bool RemoveFile(const std::u16string& name);
// Opens an existing file. On Windows the share bits become CreateFile's share flags; the
// host has no share modes and ignores them.
FileHandle FileOpen(const std::string& name, uint32_t mode);
FileHandle FileOpen(const std::u16string& name, uint32_t mode);
// Creates (or truncates) a file for reading and writing with the given share bits.
FileHandle FileCreate(const std::string& name, uint32_t shareMode = fmShareExclusive);
FileHandle FileCreate(const std::u16string& name, uint32_t shareMode = fmShareExclusive);
int32_t FileRead(FileHandle file, void* buffer, int32_t count);          // -1 on failure
int32_t FileWrite(FileHandle file, const void* buffer, int32_t count);   // -1 on failure
int64_t FileSeek(FileHandle file, int64_t offset, SeekOrigin origin);   // -1 on failure
// Reads at offset without using the file's own position, so that threads can read one
// handle at once; -1 on failure. (On Windows the handle's position may move: a handle read
// this way is not also read or written at its position.)
int32_t FileReadAt(FileHandle file, int64_t offset, void* buffer, int32_t count);
bool FileTruncate(FileHandle file);  // ends the file at its current position
// Maps the first size bytes of an open file read-only into memory, without touching the
// handle's position; nullptr when the system cannot (a 32-bit process may lack the address
// space for a large file) or size is not positive. The view stays valid until UnmapFile, also
// after the handle is closed.
const uint8_t* MapFileReadOnly(FileHandle file, int64_t size);
void UnmapFile(const uint8_t* view, int64_t size);
void FileClose(FileHandle file);

// ---- program resources ----------------------------------------------------------------------

// The bytes of the running program's RCDATA resource called name (they live as long as the
// program); false when it has none of that name (always on the host, whose programs have none).
bool ProgramResource(const std::string& name, const uint8_t*& data, uint32_t& size);

// ---- the system's libraries ----------------------------------------------------------------

// The calling convention of the system's library functions (stdcall on 32-bit Windows; the
// host's functions have no other).
#ifdef _WIN32
#define PLAT_WINAPI __stdcall
#else
#define PLAT_WINAPI
#endif

using ModuleHandle = uintptr_t;
// Loads a library of the system folder by its full path (never by bare name, so no folder on
// the search path can put a library of its own in its place), error boxes suppressed; 0 on
// failure. The host has no libraries of the platform: 0 there, as from the two below.
ModuleHandle LoadSystemLibrary(const char* fileName);
// The handle of a library already loaded into the process (by name), or 0.
ModuleHandle LoadedModule(const char* fileName);
// The address of an export, or 0.
uintptr_t ProcAddress(ModuleHandle module, const char* name);

// The text of the last failed system call, for messages.
std::string LastErrorMessage();

}  // namespace plat
