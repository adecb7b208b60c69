#include "SHDocVw_PGB.h"

// ---- loaders ----------------------------------------------------------------------------------

namespace {

constexpr int32_t kENotImpl = static_cast<int32_t>(0x80004001);

// The system's libraries (none on the host: tests set their own there).
const TLibraryApi kSystemApi{plat::LoadSystemLibrary, plat::LoadedModule, plat::ProcAddress};
const TLibraryApi* gApi = &kSystemApi;

// The process-wide caches (0: not yet asked).
bool gHHCtrlAsked = false;
TModuleHandle gHHCtrl = 0;
bool gUrlMonAsked = false;
TModuleHandle gUrlMon = 0;
TProcAddress gSetFeatureEnabled = 0;
TProcAddress gIsFeatureEnabled = 0;
bool gShdoclcAsked = false;
TModuleHandle gShdoclc = 0;

// A handle of 32 or less is no module.
TModuleHandle ValidModule(TModuleHandle module) { return module > 32 ? module : 0; }

}  // namespace

void SetLibraryApi(const TLibraryApi* api)
{
    gApi = api != nullptr ? api : &kSystemApi;
    gHHCtrlAsked = false;
    gHHCtrl = 0;
    gUrlMonAsked = false;
    gUrlMon = 0;
    gSetFeatureEnabled = 0;
    gIsFeatureEnabled = 0;
    gShdoclcAsked = false;
    gShdoclc = 0;
}

TModuleHandle LoadHHCtrl()
{
    if (!gHHCtrlAsked && gApi != nullptr) {
        gHHCtrlAsked = true;
        gHHCtrl = ValidModule(gApi->LoadSystemLibrary("hhctrl.ocx"));
    }
    return gHHCtrl;
}

intptr_t HtmlHelpCall(void* window, const std::string& file, unsigned command, uintptr_t data)
{
    using HtmlHelpProc = void*(PLAT_WINAPI*)(void*, const char*, unsigned, uintptr_t);
    const TModuleHandle module = LoadHHCtrl();
    if (module == 0) {
        return 0;
    }
    const TProcAddress proc = gApi->GetProc(module, "HtmlHelpA");
    if (proc == 0) {
        return 0;
    }
    return reinterpret_cast<intptr_t>(reinterpret_cast<HtmlHelpProc>(proc)(window, file.c_str(), command, data));
}

bool LoadUrlMon()
{
    if (!gUrlMonAsked && gApi != nullptr) {
        gUrlMonAsked = true;
        gUrlMon = ValidModule(gApi->LoadSystemLibrary("URLMON.DLL"));
    }
    return gUrlMon != 0;
}

bool GetUrlMonProc(const char* name, TProcAddress& cache)
{
    if (!LoadUrlMon()) {
        return false;
    }
    const TProcAddress proc = gApi->GetProc(gUrlMon, name);
    cache = proc != 0 ? proc : kProcMissing;
    return proc != 0;
}

int32_t CoInternetSetFeatureEnabled(int feature, uint32_t flags, bool enable)
{
    using Proc = int32_t(PLAT_WINAPI*)(int, uint32_t, int);
    if (gSetFeatureEnabled == 0) {
        GetUrlMonProc("CoInternetSetFeatureEnabled", gSetFeatureEnabled);
    }
    if (gSetFeatureEnabled <= kProcMissing) {
        return kENotImpl;
    }
    return reinterpret_cast<Proc>(gSetFeatureEnabled)(feature, flags, enable ? 1 : 0);
}

int32_t CoInternetIsFeatureEnabled(int feature, uint32_t flags)
{
    using Proc = int32_t(PLAT_WINAPI*)(int, uint32_t);
    if (gIsFeatureEnabled == 0) {
        GetUrlMonProc("CoInternetIsFeatureEnabled", gIsFeatureEnabled);
    }
    if (gIsFeatureEnabled <= kProcMissing) {
        return kENotImpl;
    }
    return reinterpret_cast<Proc>(gIsFeatureEnabled)(feature, flags);
}

TModuleHandle LoadShdoclc()
{
    if (!gShdoclcAsked && gApi != nullptr) {
        gShdoclcAsked = true;   // a missing module is remembered as well
        gShdoclc = ValidModule(gApi->LoadedModule("SHDOCLC.DLL"));
        if (gShdoclc == 0) {
            gShdoclc = ValidModule(gApi->LoadSystemLibrary("SHDOCLC.DLL"));
        }
    }
    return gShdoclc;
}

int CharPos(char c, const std::string& text)
{
    const size_t i = text.find(c);
    return i == std::string::npos ? 0 : static_cast<int>(i) + 1;
}
