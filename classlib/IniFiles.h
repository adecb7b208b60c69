// Settings files of sections and Name=Value keys (Windows builds only), read and written through
// the platform's profile functions: each call opens the file, so nothing is held between calls.
// Strings are UTF-16.
#pragma once

#include "SysUtils.h"

#include <string>

CL_DECLARE_EXCEPTION(EIniFileException, Exception)

class TIniFile : public TObject {
public:
    explicit TIniFile(std::u16string fileName) : FFileName(std::move(fileName)) {}

    const std::u16string& FileName() const { return FFileName; }

    // The value of key in section, or defaultValue when there is none.
    std::u16string ReadString(const std::u16string& section, const std::u16string& key,
                              const std::u16string& defaultValue) const;
    // Raises EIniFileException "Unable to write to <file>" when the platform refuses. A text the
    // system code page cannot hold goes into a file in UTF-16 (byte-order mark first), which the
    // profile functions read and write as such: a file in the code page is turned into that form
    // first, every line kept as they read it (so their 8-bit calls read the same as before);
    // when that cannot be done, the same exception is raised and the file is left as it was. A
    // file whose text the code page holds is written as before.
    void WriteString(const std::u16string& section, const std::u16string& key,
                     const std::u16string& value);

    CL_CLASS_NAME(TIniFile)

private:
    std::u16string FFileName;
};
