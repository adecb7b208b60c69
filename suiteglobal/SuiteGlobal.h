// suiteglobal: the suite's folders and settings files, installation tests, template databases,
// help, hints and the text viewer.
//
// Every function is stateless: it computes its answer from the running program's path, the
// registry, the platform's folders, basekit, proddir and the file system each time it is
// called. Folders have no trailing backslash, except sgl3_GetAppPath's; file names are plain
// concatenations of their pieces, neither normalised nor tested unless said so below.
//
// Calling convention and linkage (SuiteApi.h): the register convention of the suite's programs,
// this toolchain's C++ names; strings are the class layer's UTF-16 strings (std::u16string), and
// the class layer (classlib.dll) and the C++ run-time DLLs are shared with the caller.
//
// What a caller needs:
//   - C++20 (-std=c++20) and this toolchain (i686-w64-mingw32 g++ of the posix thread model):
//     the interface passes the C++ library's strings and vectors;
//   - the repository root on the include path (this header includes "classlib/Types.h"), and
//     suiteglobal/ (this header and SuiteApi.h);
//   - suiteglobal's import library, and classlib.dll's for the class layer the program uses
//     itself (the application object, THintInfo in classlib/Forms.h);
//   - the C++ run-time linked shared (not -static), and beside the program suiteglobal.dll,
//     helpbridge.dll, classlib.dll, the suite's basekit.dll and proddir.dll, libstdc++-6.dll,
//     libgcc_s_dw2-1.dll and libwinpthread-1.dll;
//   - for the help and hint functions, the class layer's application object (FormsInit() of
//     classlib/Forms.h, FormsDone() at the end); without it sgl3_SetHelpFile sets nothing,
//     sgl3_DisplayHelpTopic passes an empty file name and sgl3_SetHintProps(info, 0) sets a
//     hide pause of 0.
#pragma once

#include "SuiteApi.h"

#include "classlib/Types.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#if defined(SUITEGLOBAL_BUILD_DLL)
#define SGL3_API __declspec(dllexport)
#else
#define SGL3_API __declspec(dllimport)
#endif

struct THintInfo;

// A vector of integer points; the library gives its default constructor (an empty vector).
class TCPilVect : public std::vector<TPoint> {
public:
    SGL3_API SUITE_CALL TCPilVect();
};

// Folders and settings files.
SGL3_API std::u16string SUITE_CALL sgl3_GetOrluAppDataDir();   // proddir's folder for product 83
SGL3_API std::u16string SUITE_CALL sgl3_GetCtrlDir();          // data folder + "\Ctrl"
SGL3_API std::u16string SUITE_CALL sgl3_GetCmnIniFile();       // Ctrl + "\common2.set"
SGL3_API std::u16string SUITE_CALL sgl3_GetImpexDirListFile(); // Ctrl + "\iedir.lst"
SGL3_API std::u16string SUITE_CALL sgl3_GetSegyTextFile();     // Ctrl + "\ytext.npd"
SGL3_API std::u16string SUITE_CALL sgl3_GetRasterOptFile();    // Ctrl + "\0.opt"
SGL3_API std::u16string SUITE_CALL sgl3_GetRasterInfoFile();   // Ctrl + "\amvrast.xtb"
SGL3_API std::u16string SUITE_CALL sgl3_GetRasterJobFile(const std::u16string& folder);
SGL3_API std::u16string SUITE_CALL sgl3_GetRasterPreviewFile(const std::u16string& folder);
// The folder of the running program's executable, with its trailing backslash.
SGL3_API std::u16string SUITE_CALL sgl3_GetAppPath();
// The parent of that folder.
SGL3_API std::u16string SUITE_CALL sgl3_GetOrluDir();
SGL3_API std::u16string SUITE_CALL sgl3_GetDBSampleDir();      // sgl3_GetOrluDir + "\ADB"
// The older suite's common settings file when it exists, else empty text.
SGL3_API std::u16string SUITE_CALL sgl3_GetOrlu2CmnIniFile();

// Installation tests, from the registry string "Location" of the key "Vorlex\Orlu".
SGL3_API bool SUITE_CALL sgl3_Orlu3Installed();   // names an existing folder
SGL3_API bool SUITE_CALL sgl3_Orlu2Installed();   // holds "\vrask2.exe"

// Template databases from sgl3_GetDBSampleDir; true when the copy succeeded.
SGL3_API bool SUITE_CALL sgl3_CreateGeomDb(const std::u16string& path);
SGL3_API bool SUITE_CALL sgl3_CreateExportDb(const std::u16string& path);
SGL3_API bool SUITE_CALL sgl3_CreateMapDb(const std::u16string& path);
// The map template to folder + "\" + number + ".abs".
SGL3_API bool SUITE_CALL sgl3_CreateMapDb(int number, const std::u16string& folder);
SGL3_API bool SUITE_CALL sgl3_CreateLamDB(const std::u16string& path);

// Small services.
SGL3_API double SUITE_CALL sgl3_GetCompResolution(float a, float b);
SGL3_API std::u16string SUITE_CALL SGL3_GetModuleShortcut(std::u16string name);
SGL3_API bool SUITE_CALL sgl3_SkipLine(const std::u16string& line);
// folder + base + "_" + "shot.txt" (kind 1), "station.txt" (2) or "relation.txt" (3); empty
// text for any other kind.
SGL3_API std::u16string SUITE_CALL sgl3_GetSSRName(const std::u16string& folder,
                                                   const std::u16string& baseName, uint8_t kind);
SGL3_API void SUITE_CALL sgl3_SetHintProps(THintInfo& info, int width);
SGL3_API bool SUITE_CALL sgl3_RunTextViewer(const std::u16string& fileName);

// Help: the suite's compiled help file becomes the application's; topics are shown through
// helpbridge.
SGL3_API void SUITE_CALL sgl3_SetHelpFile();
SGL3_API void SUITE_CALL sgl3_DisplayHelpTopic(HWND window, int topic);
