// suiteglobal: see SuiteGlobal.h.
#include "SuiteGlobal.h"

#include "BaseKit.h"
#include "HelpBridge.h"
#include "ProdDir.h"

#include "classlib/Forms.h"

#include <shlobj.h>

#include <cmath>
#include <memory>

namespace {

// The suite's product number for proddir.
constexpr int kOrluProduct = 83;
// The registry key (read through basekit) and value that name the installation folder.
constexpr char16_t kInstallKey[] = u"Vorlex\\Orlu";
constexpr char16_t kInstallValue[] = u"Location";
// Help commands of the HTML Help control.
constexpr uint32_t kHelpDisplayToc = 1;
constexpr uint32_t kHelpDisplayContext = 15;
constexpr int kHelpContentsTopic = -1;
// Hint times in milliseconds.
constexpr int kHintReshowMs = 30;
constexpr int kHintHideMs = 10000;

const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

std::u16string U16(const wchar_t* text) { return std::u16string(reinterpret_cast<const char16_t*>(text)); }

// The text up to its last backslash (without it), or empty text when there is none.
std::u16string BeforeLastBackslash(const std::u16string& path)
{
    const size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

// The full path of the running program's executable.
std::u16string ExecutablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Existence tests follow links, as the file attributes do.
bool FileExistsW(const std::u16string& path)
{
    const DWORD attributes = GetFileAttributesW(W(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExistsW(const std::u16string& path)
{
    const DWORD attributes = GetFileAttributesW(W(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PlatformCopy(const std::u16string& source, const std::u16string& destination)
{
    return CopyFileW(W(source), W(destination), FALSE) != 0;
}

std::u16string DecimalText(int number)
{
    const std::wstring digits = std::to_wstring(number);
    return std::u16string(digits.begin(), digits.end());
}

// UTF-16 to the system's default code page.
std::string ToAnsi(const std::u16string& text)
{
    if (text.empty()) {
        return {};
    }
    const int bytes = WideCharToMultiByte(CP_ACP, 0, W(text), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, W(text), static_cast<int>(text.size()), result.data(), bytes, nullptr,
                        nullptr);
    return result;
}

}  // namespace

TCPilVect::TCPilVect() = default;

std::u16string sgl3_GetOrluAppDataDir() { return nekProdDataDir(kOrluProduct); }
std::u16string sgl3_GetCtrlDir() { return sgl3_GetOrluAppDataDir() + u"\\Ctrl"; }
std::u16string sgl3_GetCmnIniFile() { return sgl3_GetCtrlDir() + u"\\common2.set"; }
std::u16string sgl3_GetImpexDirListFile() { return sgl3_GetCtrlDir() + u"\\iedir.lst"; }
std::u16string sgl3_GetSegyTextFile() { return sgl3_GetCtrlDir() + u"\\ytext.npd"; }
std::u16string sgl3_GetRasterOptFile() { return sgl3_GetCtrlDir() + u"\\0.opt"; }
std::u16string sgl3_GetRasterInfoFile() { return sgl3_GetCtrlDir() + u"\\amvrast.xtb"; }

std::u16string sgl3_GetRasterJobFile(const std::u16string& folder)
{
    return folder + u"\\temp" + u"\\rstjob.xtb";
}

std::u16string sgl3_GetRasterPreviewFile(const std::u16string& folder)
{
    return folder + u"\\temp" + u"\\preview.bmp";
}

std::u16string sgl3_GetAppPath()
{
    const std::u16string exe = ExecutablePath();
    return exe.substr(0, exe.rfind(u'\\') + 1);
}

std::u16string sgl3_GetOrluDir() { return BeforeLastBackslash(BeforeLastBackslash(ExecutablePath())); }

std::u16string sgl3_GetDBSampleDir() { return sgl3_GetOrluDir() + u"\\ADB"; }

std::u16string sgl3_GetOrlu2CmnIniFile()
{
    wchar_t common[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common))) {
        return {};
    }
    const std::u16string file = U16(common) + u"\\Vorlex\\Orlu" + u"\\Ctrl" + u"\\orlu2cmn.set";
    return FileExistsW(file) ? file : std::u16string();
}

bool sgl3_Orlu3Installed()
{
    const std::u16string location = RG_GetRegString1(kInstallKey, kInstallValue);
    return !location.empty() && DirectoryExistsW(location);
}

bool sgl3_Orlu2Installed()
{
    const std::u16string location = RG_GetRegString1(kInstallKey, kInstallValue);
    return !location.empty() && FileExistsW(location + u"\\vrask2.exe");
}

bool sgl3_CreateGeomDb(const std::u16string& path)
{
    return F_CopyFile(sgl3_GetDBSampleDir() + u"\\geom.abs", path);
}

bool sgl3_CreateExportDb(const std::u16string& path)
{
    return F_CopyFile(sgl3_GetDBSampleDir() + u"\\export.abs", path);
}

bool sgl3_CreateMapDb(const std::u16string& path)
{
    return PlatformCopy(sgl3_GetDBSampleDir() + u"\\amap.abs", path);
}

bool sgl3_CreateMapDb(int number, const std::u16string& folder)
{
    return PlatformCopy(sgl3_GetDBSampleDir() + u"\\amap.abs", folder + u"\\" + DecimalText(number) + u".abs");
}

bool sgl3_CreateLamDB(const std::u16string& path)
{
    return PlatformCopy(sgl3_GetDBSampleDir() + u"\\lam.abs", path);
}

double sgl3_GetCompResolution(float a, float b)
{
    return std::fabs(static_cast<double>(a) - static_cast<double>(b)) * 0.00001;
}

std::u16string SGL3_GetModuleShortcut(std::u16string name)
{
    std::u16string shortcut = S_Before(name, u'.');
    if (!shortcut.empty() && shortcut.back() >= u'2' && shortcut.back() <= u'8') {
        shortcut.pop_back();
    }
    return shortcut;
}

bool sgl3_SkipLine(const std::u16string& line)
{
    return !line.empty() && (line[0] == u'*' || line[0] == u'/');
}

std::u16string sgl3_GetSSRName(const std::u16string& folder, const std::u16string& baseName, uint8_t kind)
{
    const char16_t* suffix = nullptr;
    switch (kind) {
    case 1: suffix = u"shot.txt"; break;
    case 2: suffix = u"station.txt"; break;
    case 3: suffix = u"relation.txt"; break;
    default: return {};
    }
    return folder + baseName + u"_" + suffix;
}

void sgl3_SetHintProps(THintInfo& info, int width)
{
    if (width != 0) {
        info.HintMaxWidth = width;
        info.ReshowTimeout = kHintReshowMs;
        info.HideTimeout = kHintHideMs;
    } else {
        info.HintMaxWidth = Screen != nullptr ? Screen->Width() : GetSystemMetrics(SM_CXSCREEN);
        info.ReshowTimeout = 0;
        info.HideTimeout = Application != nullptr ? Application->HintHidePause() : 0;
    }
}

bool sgl3_RunTextViewer(const std::u16string& fileName)
{
    const std::u16string commandLine = S_Quote(sgl3_GetAppPath() + u"pelnote.exe") + u" " + S_Quote(fileName);
    return CP_CreateProc(commandLine, nullptr);
}

void sgl3_SetHelpFile()
{
    const std::u16string pattern = sgl3_GetOrluDir() + u"\\Help\\orlu3*.chm";
    const auto list = std::make_unique<BCStringList>();
    if (F_AppendFileList(pattern, list.get(), false, false, false) && Application != nullptr) {
        Application->SetHelpFile(pattern.substr(0, pattern.rfind(u'\\') + 1) + list->Strings(0));
    }
}

void sgl3_DisplayHelpTopic(HWND, int topic)
{
    const std::string file = Application != nullptr ? ToAnsi(Application->HelpFile()) : std::string();
    if (topic == kHelpContentsTopic) {
        HelpBridge(nullptr, file.c_str(), kHelpDisplayToc, 0);
    } else {
        HelpBridge(nullptr, file.c_str(), kHelpDisplayContext, topic >= 0 ? static_cast<uintptr_t>(topic) : 0);
    }
}
