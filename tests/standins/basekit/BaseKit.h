// basekit (stand-in): the string, file, process and registry helpers and the string list that
// suiteglobal and ctlaid import from the suite's basekit library.
//
// basekit lies outside this project; this small DLL of our own gives what our libraries expect
// of it and nothing more, so that they can be built and tested. Strings are UTF-16; the
// functions use the compiler's default calling convention and C++ names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32) && defined(BASEKIT_BUILD_DLL)
#define BASEKIT_API __declspec(dllexport)
#elif defined(_WIN32)
#define BASEKIT_API __declspec(dllimport)
#else
#define BASEKIT_API
#endif

struct _PROCESS_INFORMATION;

// An ordered list of UTF-16 strings.
class BASEKIT_API BCStringList {
public:
    BCStringList();
    ~BCStringList();
    BCStringList(const BCStringList&) = delete;
    BCStringList& operator=(const BCStringList&) = delete;

    int Count() const;
    // The string at index (0-based); raises std::out_of_range beyond the list.
    const std::u16string& Strings(int index) const;
    int Add(const std::u16string& text);
    void Clear();
    void Sort();

private:
    std::vector<std::u16string> FItems;
};

// The text before the first ch; the whole text when ch does not occur.
BASEKIT_API std::u16string S_Before(const std::u16string& text, char16_t ch);
// The text in double quotes for a command line; inner double quotes are doubled.
BASEKIT_API std::u16string S_Quote(const std::u16string& text);
// Appends the pieces of text between the separators to list, in order. Empty pieces are kept,
// a separator at the very end included (it ends with an empty piece); an empty text gives none.
BASEKIT_API void S_StrToStrArray(const std::u16string& text, const std::u16string& separator,
                                 BCStringList* list);

// Copies source to destination, replacing an existing destination; true on success.
BASEKIT_API bool F_CopyFile(const std::u16string& source, const std::u16string& destination);
// Appends the names of the files that match pattern (a folder and a mask with * and ?) to list:
// without their folder, or with it when fullPaths; also those of the sub-folders, each under
// its path relative to the pattern's folder, when subFolders; sorted when sorted. True when at
// least one name was appended.
BASEKIT_API bool F_AppendFileList(const std::u16string& pattern, BCStringList* list,
                                  bool fullPaths, bool subFolders, bool sorted);

// Starts a process with commandLine. With info, the caller receives the process and thread
// handles and closes them; without, they are closed here. True when the process started.
BASEKIT_API bool CP_CreateProc(const std::u16string& commandLine, _PROCESS_INFORMATION* info);

// The string value valueName of the key HKEY_LOCAL_MACHINE\SOFTWARE\<key>; empty when there is
// none or it is not a string.
BASEKIT_API std::u16string RG_GetRegString1(const std::u16string& key,
                                            const std::u16string& valueName);
