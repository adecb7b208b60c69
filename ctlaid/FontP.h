// Fonts as one line of text, for the suite's settings files.
//
// The text is Name,Color,Size,Style: the face name as it is, the colour value and the size in
// points as signed decimal integers (system colours are negative), and the style letters "b",
// "i", "u", "s" (bold, italic, underline, strike-out), written in that order; for example a bold,
// italic 10-point Arial in colour 255 is "Arial,255,10,bi". SaveFont and LoadFont keep such a
// line under a key of a settings file.
//
// What a caller needs: as for CtlAid.h, C++20 (-std=c++20) and this toolchain, the repository
// root (this header includes "classlib/Graphics.h" and "classlib/IniFiles.h"), ctlaid/ and
// suiteglobal/ on the include path, the import libraries of ctlaid and classlib.dll, and the C++
// run-time linked shared, with ctlaid.dll, classlib.dll, basekit.dll and the run-time DLLs
// beside the program: SaveFont passes the settings file's error on as an exception
// (EIniFileException). The fonts need no application object.
#pragma once

#include "CtlAidApi.h"

#include "classlib/Graphics.h"
#include "classlib/IniFiles.h"

#include <string>

// A font that turns itself into the text above and back. It adds no fields to TFont.
class CTLAID_API TFontP : public TFont {
public:
    SUITE_CALL TFontP();

    // The style letters in the order b, i, u, s; empty for a plain font.
    std::u16string SUITE_CALL StyleToStr() const;
    // The style becomes exactly the styles whose lower-case letters occur in text.
    void SUITE_CALL StrToStyle(const std::u16string& text);
    std::u16string SUITE_CALL GetAsString() const;
    // Reads a font text. False, with the font unchanged, for fewer than four parts; false when a
    // number does not read, with the parts before it already set. Parts after the fourth are
    // ignored.
    bool SUITE_CALL SetFromString(const std::u16string& text);

    CL_CLASS_NAME(TFontP)
};

// Writes font's text as the value of key in section.
CTLAID_API void SUITE_CALL SaveFont(TFont* font, TIniFile* iniFile, const std::u16string& section,
                                    const std::u16string& key);
// Reads the value of key in section into font; false, with font unchanged, when there is no
// value or it does not read as a font text.
CTLAID_API bool SUITE_CALL LoadFont(TFont* font, TIniFile* iniFile, const std::u16string& section,
                                    const std::u16string& key);
