// The export tables of suiteglobal.dll, ctlaid.dll and helpbridge.dll: every function of their
// interface is found by name with GetProcAddress, and the DLLs export nothing else. The names
// are this toolchain's C++ names with the register convention's "@<bytes>" suffix; helpbridge's
// one export has its plain name.
#include <windows.h>

#include "tests/support/PeExports.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// suiteglobal: folders and files (13), installation tests (2), template databases (5), small
// services (6), help (2) and the point vector's constructor.
const char* const kSuiteGlobalExports[] = {
    "_Z13sgl3_SkipLineRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@4",
    "_Z15sgl3_GetAppPathB5cxx11v@0",
    "_Z15sgl3_GetCtrlDirB5cxx11v@0",
    "_Z15sgl3_GetOrluDirB5cxx11v@0",
    "_Z15sgl3_GetSSRNameRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEES6_h@12",
    "_Z16sgl3_CreateLamDBRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@4",
    "_Z16sgl3_CreateMapDbRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@4",
    "_Z16sgl3_CreateMapDbiRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@8",
    "_Z16sgl3_SetHelpFilev@0",
    "_Z17sgl3_CreateGeomDbRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@4",
    "_Z17sgl3_SetHintPropsR9THintInfoi@8",
    "_Z18sgl3_GetCmnIniFileB5cxx11v@0",
    "_Z18sgl3_RunTextViewerRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@4",
    "_Z19sgl3_CreateExportDbRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@4",
    "_Z19sgl3_GetDBSampleDirB5cxx11v@0",
    "_Z19sgl3_Orlu2Installedv@0",
    "_Z19sgl3_Orlu3Installedv@0",
    "_Z20sgl3_GetSegyTextFileB5cxx11v@0",
    "_Z21sgl3_DisplayHelpTopicP6HWND__i@8",
    "_Z21sgl3_GetRasterJobFileRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@4",
    "_Z21sgl3_GetRasterOptFileB5cxx11v@0",
    "_Z22SGL3_GetModuleShortcutNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@24",
    "_Z22sgl3_GetCompResolutionff@8",
    "_Z22sgl3_GetOrluAppDataDirB5cxx11v@0",
    "_Z22sgl3_GetRasterInfoFileB5cxx11v@0",
    "_Z23sgl3_GetOrlu2CmnIniFileB5cxx11v@0",
    "_Z24sgl3_GetImpexDirListFileB5cxx11v@0",
    "_Z25sgl3_GetRasterPreviewFileRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@4",
    "_ZN9TCPilVectC1Ev@4",
};

// ctlaid: combo boxes (6), owner-drawn items (2), list and tree views (4), menus and tool bars (3),
// colours and images (6), fonts (2) and TFontP (constructor, four operations, type descriptors).
const char* const kCtlAidExports[] = {
    "_Z11CB_DrawItemP7TCanvasRK5TRectbiRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@20",
    "_Z11CB_SetComboP9TComboBoxNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@28",
    "_Z12AddColorItemP9TMenuItemRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEEi@12",
    "_Z12ReplaceImageP16TCustomImageListiS0_ii@20",
    "_Z13CB_AddToComboP9TComboBoxRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEEb@12",
    "_Z13CB_SetComboToP9TComboBoxRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEEbb@16",
    "_Z14AddCustomColorP12TColorDialogi@8",
    "_Z15CB_AddToComboExP9TComboBoxRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEEib@16",
    "_Z15LV_AlwaysSelectP9TListViewiP11TWinControl@12",
    "_Z16AdjustColorImageP12TSpeedButtoniii@16",
    "_Z16CB_DrawItemImageP7TCanvasRK5TRectbP7TBitmapRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@20",
    "_Z16CB_SetOrAddComboP9TComboBoxNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@28",
    "_Z16GetImageFromListP16TCustomImageListiP6TImage@12",
    "_Z16TV_GetRootParentP9TTreeNode@4",
    "_Z16TV_GetRootParentP9TTreeViewP9TTreeNode@8",
    "_Z17CB_MoveSelectedUpP9TComboBoxi@8",
    "_Z17ReplaceColorImageP16TCustomImageListiiiii@24",
    "_Z17TV_FindItemByTextP9TTreeViewRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@8",
    "_Z19MI_SetPopMenuImagesP10TPopupMenu@4",
    "_Z19MI_SetToolBarImagesP8TToolBar@4",
    "_Z20MI_SetMainMenuImagesP9TMainMenu@4",
    "_Z8LoadFontP5TFontP8TIniFileRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEESA_@16",
    "_Z8SaveFontP5TFontP8TIniFileRKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEESA_@16",
    "_ZN6TFontP10StrToStyleERKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@8",
    "_ZN6TFontP13SetFromStringERKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE@8",
    "_ZN6TFontPC1Ev@4",
    "_ZNK6TFontP10StyleToStrB5cxx11Ev@4",
    "_ZNK6TFontP11GetAsStringB5cxx11Ev@4",
    "_ZTI6TFontP",
    "_ZTV6TFontP",
};

// The base-object constructors the compiler emits beside each complete-object constructor.
const char* const kBaseConstructors[] = {
    "_ZN9TCPilVectC2Ev@4",
    "_ZN6TFontPC2Ev@4",
};

template <size_t N>
void ExpectExactly(const char* dll, const char* const (&expected)[N])
{
    HMODULE module = LoadLibraryA(dll);
    ASSERT_NE(module, nullptr) << dll;
    std::set<std::string> wanted(expected, expected + N);
    EXPECT_EQ(wanted.size(), N) << "a name is listed twice";
    for (const std::string& name : wanted)
        EXPECT_NE(GetProcAddress(module, name.c_str()), nullptr) << name;
    size_t baseConstructors = 0;
    for (const std::string& name : ExportedNames(module)) {
        if (wanted.count(name))
            continue;
        bool isBase = false;
        for (const char* base : kBaseConstructors)
            isBase = isBase || name == base;
        EXPECT_TRUE(isBase) << "unexpected export " << name;
        if (isBase) {
            ++baseConstructors;
            std::string complete = name;
            complete.replace(complete.find("C2E"), 3, "C1E");
            EXPECT_EQ(GetProcAddress(module, name.c_str()), GetProcAddress(module, complete.c_str())) << name;
        }
    }
    EXPECT_EQ(ExportedNames(module).size(), N + baseConstructors) << dll;
    FreeLibrary(module);
}

TEST(SuiteExports, SuiteGlobal) { ExpectExactly("suiteglobal.dll", kSuiteGlobalExports); }

TEST(SuiteExports, CtlAid) { ExpectExactly("ctlaid.dll", kCtlAidExports); }

TEST(SuiteExports, HelpBridgeByItsPlainName)
{
    const char* const kHelpBridgeExports[] = {"HelpBridge"};
    ExpectExactly("helpbridge.dll", kHelpBridgeExports);
}

}  // namespace
