// The export tables of geomprim.dll and numkit.dll: every function of their interface is
// found by name with GetProcAddress, and the DLLs export nothing else. The names are this
// toolchain's C++ names (with the register convention's "@<bytes>" suffix for geomprim).
#include <windows.h>

#include "tests/support/PeExports.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// geomprim: BCFPoint (8), TCFCrvPoint (14), TCFCrvPointEx (4), BCFRect (28), free functions and
// operators (17), FPointArray (19).
const char* const kGeomPrimExports[] = {
    "_Z14FRectIntersectRK7BCFRectS1_@8",
    "_Z5FRectRK8BCFPointS1_@8",
    "_Z5FRectffff@16",
    "_Z6FPointR11TCFCrvPoint@4",
    "_Z6FPointff@8",
    "_Z7IsEmptyRKN6System5Types5TRectERKi@8",
    "_Z9FDistance8BCFPointS_@24",
    "_ZN11FPointArray3AddERK8BCFPoint@8",
    "_ZN11FPointArray3AddEff@12",
    "_ZN11FPointArray3SetEjRK8BCFPoint@12",
    "_ZN11FPointArray4SetXEjf@12",
    "_ZN11FPointArray4SetZEjf@12",
    "_ZN11FPointArray5ClearEv@4",
    "_ZN11FPointArray6DeleteEi@8",
    "_ZN11FPointArray6ResizeEi@8",
    "_ZN11FPointArray7ReserveEi@8",
    "_ZN11FPointArrayC1Ei@8",
    "_ZN11FPointArrayC1Ev@4",
    "_ZN11TCFCrvPoint11GetAsFPointEv@4",
    "_ZN11TCFCrvPoint12GetPrecisionEv@0",
    "_ZN11TCFCrvPoint17SetPointIndicatorEb@8",
    "_ZN11TCFCrvPoint8SetIdentEj@8",
    "_ZN11TCFCrvPointC1ERKS_@8",
    "_ZN11TCFCrvPointC1Effj@16",
    "_ZN11TCFCrvPointC1Ev@4",
    "_ZN11TCFCrvPointaSERKS_@8",
    "_ZN13TCFCrvPointExC1ERKS_@8",
    "_ZN13TCFCrvPointExC1Efffj@20",
    "_ZN13TCFCrvPointExC1Ev@4",
    "_ZN13TCFCrvPointExaSERKS_@8",
    "_ZN7BCFRect10DeflateRelEf@8",
    "_ZN7BCFRect10InflateRelEf@8",
    "_ZN7BCFRect4MoveERK8BCFPoint@8",
    "_ZN7BCFRect5EmptyEv@4",
    "_ZN7BCFRect7DeflateEf@8",
    "_ZN7BCFRect7InflateEf@8",
    "_ZN7BCFRect8GetEmptyEv@0",
    "_ZN7BCFRect9NormalizeEv@4",
    "_ZN7BCFRectC1ERK8BCFPointS2_@12",
    "_ZN7BCFRectC1ERKS_@8",
    "_ZN7BCFRectC1Effff@20",
    "_ZN7BCFRectC1Ev@4",
    "_ZN8BCFPointC1ERK7TFPoint@8",
    "_ZN8BCFPointC1ERKS_@8",
    "_ZN8BCFPointC1Efff@16",
    "_ZN8BCFPointC1Ev@4",
    "_ZN8BCFPointaSERKS_@8",
    "_ZNK11FPointArray3GetEj@8",
    "_ZNK11FPointArray3PtrEv@4",
    "_ZNK11FPointArray4GetXEj@8",
    "_ZNK11FPointArray4GetZEj@8",
    "_ZNK11FPointArray4LastEv@4",
    "_ZNK11FPointArray4SizeEv@4",
    "_ZNK11FPointArray5BytesEv@4",
    "_ZNK11FPointArray5FirstEv@4",
    "_ZNK11TCFCrvPoint10IsBadPointEv@4",
    "_ZNK11TCFCrvPoint8GetIdentEv@4",
    "_ZNK11TCFCrvPointeqERKS_@8",
    "_ZNK11TCFCrvPointltERKS_@8",
    "_ZNK11TCFCrvPointneERKS_@8",
    "_ZNK11TCFCrvPointorERKS_@8",
    "_ZNK7BCFRect10GetBotLeftEv@4",
    "_ZNK7BCFRect10GetTopLeftEv@4",
    "_ZNK7BCFRect11GetBotRightEv@4",
    "_ZNK7BCFRect11GetTopRightEv@4",
    "_ZNK7BCFRect5WidthEv@4",
    "_ZNK7BCFRect6HeightEv@4",
    "_ZNK7BCFRect6InsideERK8BCFPoint@8",
    "_ZNK7BCFRect7IsEmptyEv@4",
    "_ZNK7BCFRect7PInsideERK8BCFPointd@16",
    "_ZNK7BCFRect8ContainsERKS_@8",
    "_ZNK7BCFRect8DeflateREf@8",
    "_ZNK7BCFRect8InflateREf@8",
    "_ZNK7BCFRect8IsNormalEv@4",
    "_ZNK7BCFRect9PContainsERKS_@8",
    "_ZNK7BCFRecteqERKS_@8",
    "_ZNK7BCFRectneERKS_@8",
    "_ZNK8BCFPointeqERKS_@8",
    "_ZNK8BCFPointneERKS_@8",
    "_ZNK8BCFPointplERKS_@8",
    "_ZaaRK7BCFRectS1_@8",
    "_ZaaRK8BCFPointRK7BCFRect@8",
    "_ZaaRKN6System5Types6TPointERKNS0_5TRectE@8",
    "_ZanRK7BCFRectS1_@8",
    "_ZanRK8BCFPointRK7BCFRect@8",
    "_ZanRKN6System5Types6TPointERKNS0_5TRectE@8",
    "_ZmlRK7BCFRectS1_@8",
    "_ZmlRKN6System5Types5TRectES3_@8",
    "_ZplRKN6System5Types6TPointES3_@8",
    "_ZrmRKN6System5Types5TRectES3_@8",
};

// The base-object constructors the compiler emits beside each complete-object constructor;
// each must be the same code as its twin.
const char* const kGeomPrimBaseConstructors[] = {
    "_ZN11FPointArrayC2Ei@8",
    "_ZN11FPointArrayC2Ev@4",
    "_ZN11TCFCrvPointC2ERKS_@8",
    "_ZN11TCFCrvPointC2Effj@16",
    "_ZN11TCFCrvPointC2Ev@4",
    "_ZN13TCFCrvPointExC2ERKS_@8",
    "_ZN13TCFCrvPointExC2Efffj@20",
    "_ZN13TCFCrvPointExC2Ev@4",
    "_ZN7BCFRectC2ERK8BCFPointS2_@12",
    "_ZN7BCFRectC2ERKS_@8",
    "_ZN7BCFRectC2Effff@20",
    "_ZN7BCFRectC2Ev@4",
    "_ZN8BCFPointC2ERK7TFPoint@8",
    "_ZN8BCFPointC2ERKS_@8",
    "_ZN8BCFPointC2Efff@16",
    "_ZN8BCFPointC2Ev@4",
};

const char* const kNumKitExports[] = {
    "_Z10M_linttabdiPdS_iS_S_",
    "_Z10M_linttabfiPfS_iS_S_",
    "_Z10M_lintvaldiPdS_dS_",
    "_Z10M_lintvalfiPfS_dPd",
    "_Z12M_DerivativePdS_S_ii",
    "_Z12M_DerivativePfS_S_ii",
    "_Z6M_Normddd",
    "_Z6M_NormiPd",
    "_Z6M_Signf",
    "_Z8M_IsZerof",
    "_Z8M_LinLSQPdS_iRdS0_S0_",
    "_Z8M_LinLSQPfS_iRdS0_S0_",
    "_Z8M_LinLSQRSt6vectorIdSaIdEES2_iRdS3_S3_",
    "_Z8M_LinLSQRSt6vectorIfSaIfEES2_iRdS3_S3_",
    "_Z8M_LinLSQRSt6vectorIfSaIfEES2_iRfS3_S3_",
    "_Z8M_SmoothPdS_iib",
    "_Z8M_SmoothPfS_iib",
};

template <size_t N>
void ExpectExactly(HMODULE module, const char* const (&expected)[N], std::set<std::string> alsoAllowed) {
  std::set<std::string> wanted(expected, expected + N);
  EXPECT_EQ(wanted.size(), N) << "a name is listed twice";
  for (const std::string& name : wanted)
    EXPECT_NE(GetProcAddress(module, name.c_str()), nullptr) << name;
  for (const std::string& name : ExportedNames(module))
    EXPECT_TRUE(wanted.count(name) || alsoAllowed.count(name)) << "unexpected export " << name;
}

TEST(SuiteLibExports, GeomPrim) {
  HMODULE module = LoadLibraryA("geomprim.dll");
  ASSERT_NE(module, nullptr);
  std::set<std::string> base(std::begin(kGeomPrimBaseConstructors), std::end(kGeomPrimBaseConstructors));
  ExpectExactly(module, kGeomPrimExports, base);
  for (const std::string& name : base) {
    std::string complete = name;
    complete.replace(complete.find("C2E"), 3, "C1E");
    FARPROC twin = GetProcAddress(module, complete.c_str());
    EXPECT_NE(twin, nullptr) << complete;
    EXPECT_EQ(GetProcAddress(module, name.c_str()), twin) << name;
  }
  EXPECT_EQ(ExportedNames(module).size(), std::size(kGeomPrimExports) + base.size());
  FreeLibrary(module);
}

TEST(SuiteLibExports, NumKit) {
  HMODULE module = LoadLibraryA("numkit.dll");
  ASSERT_NE(module, nullptr);
  ExpectExactly(module, kNumKitExports, {});
  EXPECT_EQ(ExportedNames(module).size(), std::size(kNumKitExports));
  FreeLibrary(module);
}

}  // namespace
