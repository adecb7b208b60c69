// A program of the suite's kind: it knows suiteglobal, ctlaid and helpbridge only through their
// headers and import libraries, computes with the x87 (not SSE), and calls across each DLL
// boundary: strings made in one module and freed in another, the class layer's application
// object seen from both sides, a class made here from ctlaid's exported constructor and type
// descriptors, and exceptions thrown in ctlaid and the class layer and caught here. It
// registers the fake help control beside it for the help calls (it runs in the scratch prefix),
// prints each failed check and exits non-zero when one fails.
#include "CtlAid.h"
#include "FontP.h"
#include "HelpBridge.h"
#include "SuiteGlobal.h"

#include "CallerChecks.h"
#include "FakeHelpControl.h"
#include "tests/support/ReferenceText.h"

#include "classlib/Forms.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::u16string ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string folder = reinterpret_cast<const char16_t*>(path);
    return folder.substr(0, folder.rfind(u'\\'));
}

void CallSuiteGlobalAndHelpBridge()
{
    SetEnvironmentVariableW(L"PRODDIR_DATA_DIR", L"C:\\suite data");
    Check(sgl3_GetCtrlDir() == u"C:\\suite data\\Ctrl", "sgl3_GetCtrlDir");
    Check(sgl3_GetAppPath() == ProgramFolder() + u"\\", "sgl3_GetAppPath");
    Check(SGL3_GetModuleShortcut(u"tool3.exe") == u"tool", "SGL3_GetModuleShortcut (string by value)");
    Check(sgl3_GetSSRName(u"D:\\d\\", u"s1", 2) == u"D:\\d\\s1_station.txt", "sgl3_GetSSRName");
    Check(sgl3_SkipLine(u"*x") && !sgl3_SkipLine(u" *x"), "sgl3_SkipLine");
    const volatile float a = 1.5f, b = -2.5f;
    Check(sgl3_GetCompResolution(a, b) == 4.0 * 0.00001, "sgl3_GetCompResolution (floats in, double out)");
    TCPilVect points;
    points.push_back(TPoint{3, 4});
    Check(points.size() == 1 && points[0].Y == 4, "TCPilVect");
    THintInfo hint;
    sgl3_SetHintProps(hint, 300);
    Check(hint.HintMaxWidth == 300 && hint.HideTimeout == 10000, "sgl3_SetHintProps");

    // The fake help control takes the help calls; the help file set here is read by suiteglobal
    // from the same application object.
    const std::u16string fake = ProgramFolder() + u"\\fakehelp.dll";
    const std::string fakeAnsi(fake.begin(), fake.end());
    RegSetValueA(HKEY_CLASSES_ROOT, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", REG_SZ,
                 fakeAnsi.c_str(), static_cast<DWORD>(fakeAnsi.size()));
    Application->SetHelpFile(u"C:\\help\\suite.chm");
    sgl3_DisplayHelpTopic(nullptr, 1200);
    Check(HelpBridge(nullptr, "direct.chm", 1, 0) == reinterpret_cast<HWND>(kFakeHelpResult), "HelpBridge's answer");
    HMODULE control = GetModuleHandleA("fakehelp.dll");
    Check(control != nullptr, "help control loaded");
    if (control != nullptr) {
        auto calls = reinterpret_cast<FakeHelpCallsProc>(reinterpret_cast<void*>(GetProcAddress(control, "FakeHelpCalls")));
        const FakeHelpCall* record = nullptr;
        Check(calls(&record) == 2, "two help calls");
        Check(std::string(record[0].file) == "C:\\help\\suite.chm" && record[0].command == 15 && record[0].data == 1200,
              "sgl3_DisplayHelpTopic reached the control");
        Check(std::string(record[1].file) == "direct.chm" && record[1].command == 1, "HelpBridge reached the control");
    }
}

void CallCtlAid()
{
    TFontP font;   // ctlaid's exported constructor
    Check(font.SetFromString(u"Arial,255,10,bi"), "TFontP::SetFromString");
    Check(font.GetAsString() == u"Arial,255,10,bi", "TFontP::GetAsString");
    TFont* plain = &font;
    Check(dynamic_cast<TFontP*>(plain) == &font, "TFontP's type descriptor");
    TIniFile unwritable(u"Z:\\no such folder\\x\\y.set");
    bool caught = false;
    try {
        SaveFont(&font, &unwritable, u"S", u"K");
    } catch (const EIniFileException&) {
        caught = true;
    }
    Check(caught, "SaveFont's settings-file error reaches the caller");

    TImageList images(nullptr, 16, 16);
    ReplaceColorImage(&images, -1, 0x0000FF, 0, 8, 8);
    caught = false;
    try {
        ReplaceColorImage(&images, 5, 0x0000FF, 0, 8, 8);
    } catch (const EInvalidOperation&) {
        caught = true;
    }
    Check(caught && images.Count() == 1, "an image index beyond the list reaches the caller as an error");

    TForm form(nullptr);
    auto* combo = new TComboBox(&form);
    combo->SetParent(&form);
    combo->Items().Add(u"a");
    combo->Items().Add(u"b");
    Check(CB_SetOrAddCombo(combo, u"c") == 2 && combo->ItemIndex() == 2, "CB_SetOrAddCombo");
    Check(CB_AddToComboEx(combo, u"b", 2, false) == 0 && combo->Items().Count() == 2 &&
              combo->Items().Strings(0) == u"b",
          "CB_AddToComboEx");
}

// Cyrillic and CJK: texts the system code page cannot hold, which ctlaid carries as they are.
const std::u16string kWideNames[] = {u"Шрифт", u"宋体"};

std::u16string TempFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    return reinterpret_cast<const char16_t*>(path);
}

void CallCtlAidWithWideTexts()
{
    // A settings file in UTF-16 (byte-order mark first), as one holding such names is.
    const std::u16string path = TempFolder() + u"suite-caller-fonts.set";
    const wchar_t* file = reinterpret_cast<const wchar_t*>(path.c_str());
    HANDLE created = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(created, "\xFF\xFE", 2, &written, nullptr);
    CloseHandle(created);
    TIniFile settings(path);
    for (const std::u16string& name : kWideNames) {
        TFontP font;
        const std::u16string text = name + u",255,10,b";
        Check(font.SetFromString(text) && font.GetAsString() == text, "a wide face name through TFontP");
        settings.WriteString(u"Fonts", u"Stored", name + u",0,12,i");
        TFont loaded;
        Check(LoadFont(&loaded, &settings, u"Fonts", u"Stored"), "LoadFont of a wide face name");
        SaveFont(&loaded, &settings, u"Fonts", u"Saved");
        Check(settings.ReadString(u"Fonts", u"Saved", u"") == name + u",0,12,i", "SaveFont of a wide face name");

        // The item's text as GDI's wide TextOut draws it with the same font and colours.
        TBitmap drawn(120, 16), wanted(120, 16);
        CB_DrawItem(drawn.Canvas(), Rect(0, 0, 120, 16), false, 0x0000FF, name);
        CB_DrawItem(wanted.Canvas(), Rect(0, 0, 120, 16), false, 0x0000FF, u"");
        DrawReferenceText(wanted.Canvas(), 16 + 3 + 1, 0, name);
        Check(SamePixels(drawn, wanted), "CB_DrawItem draws a wide text");

        TMenuItem colours(nullptr);
        Check(AddColorItem(&colours, name, 0x0000FF)->WideCaption() == name, "AddColorItem keeps a wide caption");
    }
    DeleteFileW(file);
}

// SaveFont and LoadFont with such names, on a settings file the caller did not prepare: a new
// one, and one another program wrote with the 8-bit profile calls, whose entry those calls must
// still read as it was.
void CallCtlAidWithWideFontNames()
{
    const std::u16string path = TempFolder() + u"suite-caller-new-fonts.set";
    const wchar_t* file = reinterpret_cast<const wchar_t*>(path.c_str());
    const std::string pathAnsi(path.begin(), path.end());
    const struct {
        const char* label;
        bool eightBitFile;
    } files[] = {{"a new settings file", false}, {"a settings file of the 8-bit calls", true}};
    for (const auto& start : files) {
        for (const std::u16string& name : kWideNames) {
            WritePrivateProfileStringW(nullptr, nullptr, nullptr, file);
            DeleteFileW(file);
            if (start.eightBitFile) {
                WritePrivateProfileStringA("Other", "Name", "Caf\xE9", pathAnsi.c_str());
            }
            TIniFile settings(path);
            TFontP font;
            font.SetFromString(name + u",0,8,");
            bool saved = false;
            try {
                SaveFont(&font, &settings, u"Fonts", u"Label");
                saved = true;
            } catch (const EIniFileException&) {
            }
            TFont loaded;
            const bool read = LoadFont(&loaded, &settings, u"Fonts", u"Label");
            const std::string what = std::string("SaveFont/LoadFont of a wide face name in ") + start.label;
            Check(saved && read && loaded.Name() == name, what.c_str());
            if (start.eightBitFile) {
                char other[64] = {};
                GetPrivateProfileStringA("Other", "Name", "", other, sizeof other, pathAnsi.c_str());
                Check(std::string(other) == "Caf\xE9", "the 8-bit calls' entry beside a wide face name");
            }
        }
    }
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, file);
    DeleteFileW(file);
}

}  // namespace

int main()
{
    FormsInit();
    CallSuiteGlobalAndHelpBridge();
    CallCtlAid();
    CallCtlAidWithWideTexts();
    CallCtlAidWithWideFontNames();
    FormsDone();
    if (gFailures == 0)
        std::printf("all checks passed\n");
    return gFailures == 0 ? 0 : 1;
}
